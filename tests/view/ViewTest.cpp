// The view's arithmetic: MulDiv, rotation, zoom steps and the conversions between screen
// pixels, grid points and fine units.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <vector>

#include "view/CVC.h"

TEST(MulDivTest, RoundsToNearestWithHalvesAwayFromZero) {
  struct Row {
    int a, b, c, expected;
  };
  const Row rows[] = {
      {1, 16, 32, 1},
      {1, 15, 32, 0},
      {-1, 16, 32, -1},
      {-1, 15, 32, 0},
      {1, 47, 32, 1},
      {1, 48, 32, 2},
      {3, 1, 2, 2},
      {-3, 1, 2, -2},
      {5, 5, -2, -13},
      {-5, 5, -2, 13},
      {22, 10, 32, 7},
      {7, 1, 0, -1},
      {INT_MAX, INT_MAX, INT_MAX, INT_MAX},  // needs the 64-bit intermediate
      {INT_MAX, 2, 1, -1},                   // result does not fit: reported as -1
      {INT_MIN, 1, 2, INT_MIN / 2},
      {-INT_MAX, INT_MAX, INT_MAX, -INT_MAX},
      {INT_MIN, 1, 1, -1},  // like the Win32 call: only -INT_MAX..INT_MAX are results
  };
  for (const Row& r : rows)
    EXPECT_EQ(MulDiv(r.a, r.b, r.c), r.expected) << r.a << "*" << r.b << "/" << r.c;
}

TEST(RotatePointTest, QuarterTurnsClockwiseOnScreen) {
  const SPoint expected[] = {{1, 2}, {-2, 1}, {-1, -2}, {2, -1}};
  for (int r = -4; r < 8; ++r)
    EXPECT_EQ(RotatePoint(r, 1, 2), expected[((r % 4) + 4) % 4]) << "r=" << r;
  EXPECT_EQ(RotatePoint(1, 16, 0), (SPoint{0, 16}));  // east turns to south
}

TEST(OrientationTest, TurnsWrapEitherWayAndTurnPointsLikeTheirCount) {
  using enum Orientation;
  struct Row {
    Orientation from;
    int r;
    Orientation to;
  };
  const Row rows[] = {{R0, 1, R90},   {R270, 1, R0},  {R0, -1, R270},
                      {R90, 9, R180}, {R180, -6, R0}, {R270, -4, R270}};
  for (const Row& row : rows)
    EXPECT_EQ(QuarterTurns(Turned(row.from, row.r)), QuarterTurns(row.to))
        << QuarterTurns(row.from) << " turned " << row.r;
  const SPoint expected[] = {{1, 2}, {-2, 1}, {-1, -2}, {2, -1}};
  for (int n = 0; n < 4; ++n) EXPECT_EQ(RotatePoint(OrientationFromInt(n), 1, 2), expected[n]);
}

TEST(ZoomTest, StepSequencesStopAtTheLimits) {
  struct Row {
    int start;
    bool in;
    std::vector<int> steps;
  };
  const Row rows[] = {
      {32, true, {44, 61, 85, 118, 128}},
      {32, false, {22, 15, 10}},
      {128, false, {91, 65, 46, 32, 22, 15, 10}},
      {10, true, {13, 18, 25, 34, 47, 65, 90, 125, 128}},
      {85, true, {118}},
      {14, false, {10}},
      {11, false, {10}},
  };
  for (const Row& row : rows) {
    CVC view;
    view.Zoom = row.start;
    for (int expected : row.steps) {
      ASSERT_TRUE(row.in ? view.ZoomIn() : view.ZoomOut()) << "from " << row.start;
      EXPECT_EQ(view.Zoom, expected) << "from " << row.start;
    }
    if (row.steps.back() == 128 || row.steps.back() == 10) {
      const int last = view.Zoom;
      EXPECT_FALSE(row.in ? view.ZoomIn() : view.ZoomOut()) << "past the limit " << last;
      EXPECT_EQ(view.Zoom, last);
    }
  }
}

TEST(ZoomTest, EveryZoomStaysInRangeAndMoves) {
  for (int z = 10; z <= 128; ++z) {
    CVC in, out;
    in.Zoom = out.Zoom = z;
    EXPECT_EQ(in.ZoomIn(), z < 128);
    EXPECT_EQ(out.ZoomOut(), z > 10);
    if (z < 128) {
      EXPECT_GT(in.Zoom, z);
    }
    if (z > 10) {
      EXPECT_LT(out.Zoom, z);
    }
    EXPECT_LE(in.Zoom, 128);
    EXPECT_GE(out.Zoom, 10);
  }
}

TEST(ViewportTest, OriginIsHalfTheSize) {
  CVC view;
  view.SetViewport(0, 0, 641, 481);
  EXPECT_EQ(view.OriginX, 320);
  EXPECT_EQ(view.OriginY, 240);
  view.SetViewport(10, 20, 110, 220);
  EXPECT_EQ(view.OriginX, 50);
  EXPECT_EQ(view.OriginY, 100);
}

TEST(ScreenToGridTest, RoundsHalvesAwayFromTheGridOrigin) {
  struct Row {
    int zoom;
    double pan;
    int origin, pixel, grid;
  };
  const Row rows[] = {
      {32, 0.0, 0, 16, 1},   {32, 0.0, 0, -16, -1}, {32, 0.0, 0, 15, 0},   {32, 0.0, 0, -15, 0},
      {32, 0.0, 0, 47, 1},   {32, 0.0, 0, 48, 2},   {13, 0.0, 0, 6, 0},    {13, 0.0, 0, 7, 1},
      {32, 2.5, 0, 0, 3},    {32, -2.5, 0, 0, -3},  {32, 2.0, 100, 84, 2}, {32, 2.0, 100, 83, 1},
      {10, 0.25, 0, -8, -1}, {10, 0.25, 0, -7, 0},
  };
  for (const Row& r : rows) {
    CVC view;
    view.Zoom = r.zoom;
    view.PanX = r.pan;
    view.PanY = r.pan;
    view.OriginX = view.OriginY = r.origin;
    const SPoint g = view.ScreenToGrid(r.pixel, r.pixel);
    EXPECT_EQ(g, (SPoint{r.grid, r.grid}))
        << "zoom " << r.zoom << " pan " << r.pan << " pixel " << r.pixel;
  }
}

TEST(ScreenToFineTest, FollowsThePixelToFineRule) {
  struct Row {
    int zoom, pixel, fine;
  };
  const Row rows[] = {
      // zoom below 64: no bias
      {32, 16, 16},
      {32, -16, -16},
      {10, 5, 17},
      {10, -5, -17},
      // 64..127: one pixel of bias
      {64, 0, 0},
      {64, 1, 1},
      {64, 63, 32},
      {64, -1, 0},
      {64, -3, -1},
      // 128: two pixels of bias
      {128, 0, 0},
      {128, 2, 1},
      {128, -3, 0},
      {128, -6, -1},
  };
  for (const Row& r : rows) {
    CVC view;
    view.Zoom = r.zoom;
    EXPECT_EQ(view.ScreenToFine(r.pixel, r.pixel), (SPoint{r.fine, r.fine}))
        << "zoom " << r.zoom << " pixel " << r.pixel;
  }
}

TEST(ScreenToFineTest, IsMonotonicAndCloseToTheExactScale) {
  for (int zoom = 10; zoom <= 128; ++zoom) {
    CVC view;
    view.Zoom = zoom;
    view.PanX = 2.0;
    view.OriginX = 40;
    int previous = INT_MIN;
    for (int s = -300; s <= 300; ++s) {
      const int fine = view.ScreenToFine(s, 0).x;
      const double exact = (zoom * 2.0 + (s - 40)) * 32.0 / zoom;
      EXPECT_LT(std::abs(fine - exact), 2.0) << "zoom " << zoom << " s " << s;
      EXPECT_GE(fine, previous) << "zoom " << zoom << " s " << s;
      previous = fine;
    }
  }
}

TEST(ScreenToFineTest, AtZoom32FineUnitsArePixels) {
  CVC view;
  view.OriginX = 100;
  view.OriginY = 50;
  view.PanX = 3.0;
  view.PanY = 5.0;
  for (int s = -70; s <= 70; ++s) {
    const SPoint f = view.ScreenToFine(s, s);
    EXPECT_EQ(f, (SPoint{s - 100 + 96, s - 50 + 160}));
    // Back to the same pixel (the way back truncates toward zero, so only where f >= 0).
    if (f.x >= 0) {
      EXPECT_EQ(view.FineToScreen(f), (SPoint{s, s}));
    }
  }
}

TEST(GridToScreenTest, PanAndOriginShiftAndTruncateTowardZero) {
  CVC view;
  view.OriginX = 100;
  view.OriginY = 50;
  view.PanX = 1.5;
  view.PanY = -0.25;
  EXPECT_EQ(view.GridToScreen(0, 0), (SPoint{52, 58}));
  EXPECT_EQ(view.GridToScreen(3, -1), (SPoint{148, 26}));

  CVC small;
  small.Zoom = 10;
  small.PanX = 0.25;
  small.PanY = -0.25;
  EXPECT_EQ(small.GridToScreen(0, 0), (SPoint{-2, 2}));  // -2.5 and 2.5 truncated

  // The pixel of a grid point maps back to that grid point at every zoom and pan.
  for (int zoom = 10; zoom <= 128; zoom += 9)
    for (double pan : {0.0, 0.5, -1.75, 3.25}) {
      CVC v;
      v.Zoom = zoom;
      v.PanX = pan;
      v.PanY = -pan;
      v.OriginX = 321;
      v.OriginY = 200;
      for (int g = -6; g <= 6; ++g)
        EXPECT_EQ(v.ScreenToGrid(v.GridToScreen(g, g)), (SPoint{g, g}))
            << "zoom " << zoom << " pan " << pan << " grid " << g;
    }
}

TEST(FineToScreenTest, ScalesWithRoundingAndPan) {
  CVC view;
  view.Zoom = 10;
  EXPECT_EQ(view.FineToScreen(32, 16), (SPoint{10, 5}));
  EXPECT_EQ(view.FineToScreen(-16, 0), (SPoint{-4, 0}));  // -4.5 truncated
  view.Zoom = 32;
  view.OriginX = 100;
  view.PanX = 0.5;
  view.PanY = 0.25;
  EXPECT_EQ(view.FineToScreen(0, 0), (SPoint{84, -8}));
}
