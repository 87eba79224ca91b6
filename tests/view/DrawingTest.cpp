// The two drawing primitives, checked through a canvas that records its calls: symbol command
// lists (scaling, pen width, the bar's minimum thickness) and value labels (font, rectangle).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "RecordingCanvas.h"
#include "view/CVC.h"

namespace {

using enum Orientation;

const SColor cyan{0, 255, 255};
const SColor yellow{255, 255, 0};

// Records a symbol drawn at grid (gx, gy) by a view at `zoom` with its origin at (0, 0).
RecordingCanvas Draw(const std::vector<int32_t>& symbol, int zoom, Orientation orientation = R0,
                     int w = 1, int gx = 0, int gy = 0) {
  CVC view;
  view.Zoom = zoom;
  RecordingCanvas canvas;
  view.DrawSymbol(canvas, orientation, w, cyan, symbol.data(), gx, gy);
  return canvas;
}

std::vector<std::string> Shapes(const RecordingCanvas& canvas) {
  std::vector<std::string> shapes;
  for (const std::string& line : canvas.lines)
    if (!line.starts_with("pen") && !line.starts_with("brush")) shapes.push_back(line);
  return shapes;
}

}  // namespace

TEST(DrawSymbolTest, PenWidthFollowsTheZoom) {
  const std::vector<int32_t> stroke{SymMove, 0, 0, SymLine, 64, 0, SymEnd};
  for (int zoom = 10; zoom <= 128; ++zoom) {
    const int expected = zoom < 16 ? 0 : zoom <= 47 ? 1 : zoom <= 79 ? 2 : zoom <= 111 ? 3 : 4;
    const RecordingCanvas c = Draw(stroke, zoom);
    ASSERT_GE(c.lines.size(), 2u);
    EXPECT_EQ(c.lines[0], "pen 0,255,255 w" + std::to_string(expected)) << "zoom " << zoom;
    EXPECT_EQ(c.lines[1], "brush 0,255,255") << "zoom " << zoom;
  }
  // A negative width means one pixel whatever the zoom.
  EXPECT_EQ(Draw(stroke, 128, R0, -1).lines[0], "pen 0,255,255 w1");
  EXPECT_EQ(Draw(stroke, 10, R0, -3).lines[0], "pen 0,255,255 w1");
  EXPECT_EQ(Draw(stroke, 64, R0, 3).lines[0], "pen 0,255,255 w6");
}

TEST(DrawSymbolTest, PointsAreRotatedScaledAndPlacedAtTheGridPoint) {
  const std::vector<int32_t> stroke{SymMove, 0, 0, SymLine, 64, 0, SymLine, 64, -32, SymEnd};
  struct Row {
    int zoom;
    Orientation orientation;
    int gx, gy;
    std::vector<std::string> shapes;
  };
  const Row rows[] = {
      {32, R0, 1, 2, {"move 32,64", "line 32,64-96,64", "line 96,64-96,32"}},
      {32, R90, 1, 2, {"move 32,64", "line 32,64-32,128", "line 32,128-64,128"}},
      {32, R180, 0, 0, {"move 0,0", "line 0,0--64,0", "line -64,0--64,32"}},
      {32, R270, 0, 0, {"move 0,0", "line 0,0-0,-64", "line 0,-64--32,-64"}},
      // 64 and 32 fine units at zoom 10: 20 and 10 pixels
      {10, R0, 0, 0, {"move 0,0", "line 0,0-20,0", "line 20,0-20,-10"}},
  };
  for (const Row& r : rows)
    EXPECT_EQ(Shapes(Draw(stroke, r.zoom, r.orientation, 1, r.gx, r.gy)), r.shapes)
        << "zoom " << r.zoom << " orientation " << QuarterTurns(r.orientation);
}

TEST(DrawSymbolTest, ScalingRoundsEachCoordinateToTheNearestPixel) {
  // At zoom 10 a fine unit is 0.3125 pixels: 3 -> 0.94 -> 1, 1 -> 0.31 -> 0, -16 -> -5.
  const std::vector<int32_t> s{SymMove, 3, 1, SymLine, -16, 16, SymEnd};
  EXPECT_EQ(Shapes(Draw(s, 10)), (std::vector<std::string>{"move 1,0", "line 1,0--5,5"}));
}

TEST(DrawSymbolTest, CirclesAndDiscs) {
  const std::vector<int32_t> s{SymCircle, 32, 0, 22, SymDisc, 0, 0, 2, SymEnd};
  EXPECT_EQ(Shapes(Draw(s, 32)),
            (std::vector<std::string>{"circle 10,-22,54,22", "ellipse -2,-2,2,2"}));
  // A radius that scales to nothing is still one pixel.
  const std::vector<int32_t> tiny{SymDisc, 0, 0, 1, SymCircle, 64, 0, 1, SymEnd};
  EXPECT_EQ(Shapes(Draw(tiny, 10)),
            (std::vector<std::string>{"ellipse -1,-1,1,1", "circle 19,-1,21,1"}));
}

TEST(DrawSymbolTest, AnUnknownCommandEndsTheSymbolAndEmptyListsDrawNothing) {
  // Nothing past the unknown word is read: here the list ends right after it.
  const std::vector<int32_t> s{SymMove, 5, 6, SymLine, 7, 8, 'q', SymEnd};
  EXPECT_EQ(Shapes(Draw(s, 32)), (std::vector<std::string>{"move 5,6", "line 5,6-7,8"}));
  EXPECT_TRUE(Shapes(Draw({'x', SymEnd}, 32)).empty());

  CVC view;
  RecordingCanvas canvas;
  view.DrawSymbol(canvas, R0, 1, cyan, nullptr, 0, 0);
  EXPECT_TRUE(canvas.lines.empty());
}

TEST(DrawSymbolTest, ThinBarsAreWidenedToTwiceTheUnscaledWidth) {
  // The transformer core: one fine unit thick, so at most four pixels even at zoom 128.
  const std::vector<int32_t> core{SymBar, 8, -31, 56, -32, SymEnd};
  for (int zoom = 10; zoom <= 128; ++zoom) {
    int l, t, r, b;
    const std::vector<std::string> shapes = Shapes(Draw(core, zoom));
    ASSERT_EQ(shapes.size(), 1u);
    ASSERT_EQ(std::sscanf(shapes[0].c_str(), "rect %d,%d,%d,%d", &l, &t, &r, &b), 4);
    EXPECT_GE(b - t, 2) << "zoom " << zoom;
    EXPECT_LE(b - t, 4) << "zoom " << zoom;
  }
  // Up to zoom 80 the scaled core is at most two pixels thick and is widened to exactly 2·w.
  for (int zoom = 10; zoom <= 80; ++zoom)
    for (int w : {1, 2, 3}) {
      const std::vector<std::string> shapes = Shapes(Draw(core, zoom, R0, w));
      ASSERT_EQ(shapes.size(), 1u);
      int l, t, r, b;
      ASSERT_EQ(std::sscanf(shapes[0].c_str(), "rect %d,%d,%d,%d", &l, &t, &r, &b), 4);
      EXPECT_EQ(b - t, 2 * w) << "zoom " << zoom;
      EXPECT_GT(r - l, 2) << "zoom " << zoom;  // the long side keeps its length
      // Orientation 1 turns the bar upright: now its width is the one widened.
      const std::vector<std::string> turned = Shapes(Draw(core, zoom, R90, w));
      ASSERT_EQ(std::sscanf(turned[0].c_str(), "rect %d,%d,%d,%d", &l, &t, &r, &b), 4);
      EXPECT_EQ(r - l, 2 * w) << "zoom " << zoom;
    }
  // A bar thicker than two pixels is drawn as it is, corners in either order.
  EXPECT_EQ(Shapes(Draw({SymBar, 32, 32, 0, 0, SymEnd}, 32)),
            (std::vector<std::string>{"rect 0,0,32,32"}));
  // At zoom 10 the core's corners land on the same row: -10 -> bar from -11 to -9.
  EXPECT_EQ(Shapes(Draw(core, 10)), (std::vector<std::string>{"rect 3,-11,18,-9"}));
}

namespace {

// A canvas whose texts are 15 x 13 pixels, for the truncated halves of odd sizes.
class OddTextCanvas : public RecordingCanvas {
 public:
  SPoint TextExtent(const std::string&) override { return {15, 13}; }
};

}  // namespace

TEST(DrawLabelTest, FontIsACopyScaledWithTheZoomInTheGivenColour) {
  struct Row {
    int zoom, points;
    std::string font;
  };
  const Row rows[] = {
      {32, 10, "font Tahoma 10pt h20 255,255,255"},
      {10, 10, "font Tahoma 10pt h6 255,255,255"},
      {128, 10, "font Tahoma 10pt h80 255,255,255"},
      {10, 1, "font Tahoma 1pt h1 255,255,255"},  // 2·0 pixels becomes 1
  };
  for (const Row& r : rows) {
    CVC view;
    view.Zoom = r.zoom;
    SFont font;
    font.Points = r.points;
    RecordingCanvas canvas;
    view.DrawLabel(canvas, font, 0, SColor{255, 255, 255}, "1k", 0, 0, R0, 0, 0);
    EXPECT_EQ(canvas.lines.front(), r.font);
    EXPECT_EQ(font.Height, 0);  // the given font is left alone
    EXPECT_EQ(font.Color, yellow);
  }
}

TEST(DrawLabelTest, RectangleByAlignment) {
  // "1k" is 16 x 20 pixels at zoom 32. The anchor (32, -22) of grid (0, 0) is pixel (32, -21):
  // the half-pixel rounding of the fine-to-screen step truncates toward zero.
  struct Row {
    int align;
    SRect rect;
  };
  const Row rows[] = {
      {0, {24, -31, 40, -11}},   // centred on the anchor
      {1, {22, -31, 38, -11}},   // starts h2 = 10 left of the anchor
      {-1, {26, -31, 42, -11}},  // ends h2 right of the anchor
  };
  for (const Row& r : rows) {
    CVC view;
    RecordingCanvas canvas;
    const SRect got = view.DrawLabel(canvas, SFont{}, r.align, yellow, "1k", 32, -22, R0, 0, 0);
    EXPECT_EQ(got, r.rect) << "align " << r.align;
    EXPECT_EQ(canvas.lines.back(),
              "text " + std::to_string(r.rect.left) + "," + std::to_string(r.rect.top) + " '1k'");
  }
}

TEST(DrawLabelTest, AnchorTurnsWithTheElementButTheTextDoesNot) {
  CVC view;
  view.OriginX = 100;
  view.OriginY = 100;
  RecordingCanvas canvas;
  // (32, -22) turned once is (22, 32); grid (2, 3) adds (64, 96); origin adds 100.
  const SRect r = view.DrawLabel(canvas, SFont{}, 1, yellow, "4k7", 32, -22, R90, 2, 3);
  EXPECT_EQ(r, (SRect{176, 218, 200, 238}));
}

TEST(DrawLabelTest, OddTextSizesTruncateTheHalves) {
  CVC view;
  OddTextCanvas canvas;
  EXPECT_EQ(view.DrawLabel(canvas, SFont{}, 0, yellow, "x", 0, 0, R0, 0, 0), (SRect{-7, -6, 7, 6}));
  EXPECT_EQ(view.DrawLabel(canvas, SFont{}, 1, yellow, "x", 0, 0, R0, 0, 0), (SRect{-6, -6, 9, 7}));
  EXPECT_EQ(view.DrawLabel(canvas, SFont{}, -1, yellow, "x", 0, 0, R0, 0, 0),
            (SRect{-9, -6, 6, 7}));
}
