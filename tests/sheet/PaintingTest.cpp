// Painting a whole sheet: background, grid dots and the pictures in drawing order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>
#include <string>

#include "RecordingCanvas.h"
#include "components/CCmp.h"
#include "sheet/CElement.h"
#include "sheet/CPcts.h"
#include "sheet/SheetPainting.h"
#include "view/CVC.h"
#include "view/DrawStyle.h"

namespace {

class PaintingTest : public ::testing::Test {
 protected:
  void SetUp() override { InitDrawStyle(); }
  void TearDown() override { InitDrawStyle(); }

  RecordingCanvas Paint() {
    RecordingCanvas canvas;
    PaintSheetOnCanvas(canvas, view, pictures, client);
    return canvas;
  }

  CCmps cmps;
  CPcts pictures;
  CVC view;
  SRect client{0, 0, 640, 480};
};

std::vector<SPoint> Pixels(const RecordingCanvas& canvas) {
  std::vector<SPoint> pixels;
  for (const std::string& line : canvas.Matching("pixel ")) {
    SPoint p;
    EXPECT_EQ(std::sscanf(line.c_str(), "pixel %d,%d 0,0,255", &p.x, &p.y), 2) << line;
    pixels.push_back(p);
  }
  return pixels;
}

}  // namespace

TEST_F(PaintingTest, BackgroundFirstThenAGridDotAtTheCentre) {
  view.PanX = 3.0;
  view.PanY = -2.0;
  const RecordingCanvas canvas = Paint();
  ASSERT_GE(canvas.lines.size(), 3u);
  EXPECT_EQ(canvas.lines[0], "brush 0,0,0");
  EXPECT_EQ(canvas.lines[1], "fill 0,0,640,480");
  EXPECT_EQ(view.OriginX, 320);
  EXPECT_EQ(view.OriginY, 240);
  EXPECT_GE(canvas.IndexOf("pixel 320,240 0,0,255"), 0);
}

TEST_F(PaintingTest, GridOnlyAboveZoom12AndWhenShown) {
  view.Zoom = 12;
  EXPECT_EQ(Paint().Count("pixel "), 0);
  view.Zoom = 13;
  EXPECT_GT(Paint().Count("pixel "), 0);
  DrawStyle.ShowGrid = false;
  view.Zoom = 32;
  EXPECT_EQ(Paint().Text(), "brush 0,0,0\nfill 0,0,640,480");
}

TEST_F(PaintingTest, GridDotsSitOnGridPointsAndCoverTheArea) {
  struct Row {
    int zoom;
    double panX, panY;
    SRect client;
  };
  const Row rows[] = {
      {32, 0.0, 0.0, {0, 0, 640, 480}},    {32, 1.75, -2.5, {0, 0, 640, 480}},
      {32, -0.5, 0.25, {0, 0, 301, 199}},  {16, 0.5, -0.75, {0, 0, 301, 199}},
      {128, -3.25, 7.5, {0, 0, 300, 100}}, {64, 0.5, 0.25, {0, 0, 1000, 700}},
  };
  for (const Row& r : rows) {
    view.Zoom = r.zoom;
    view.PanX = r.panX;
    view.PanY = r.panY;
    client = r.client;
    SCOPED_TRACE("zoom " + std::to_string(r.zoom) + " pan " + std::to_string(r.panX) + "," +
                 std::to_string(r.panY));
    const std::vector<SPoint> pixels = Pixels(Paint());
    ASSERT_FALSE(pixels.empty());
    std::set<int> xs, ys;
    for (SPoint p : pixels) {
      // The pan values are whole pixels at these zooms, so each dot is a grid point exactly.
      EXPECT_EQ(view.GridToScreen(view.ScreenToGrid(p)), p) << p.x << "," << p.y;
      xs.insert(p.x);
      ys.insert(p.y);
    }
    EXPECT_EQ(pixels.size(), xs.size() * ys.size());  // one dot per grid point, no repeats
    EXPECT_LE(*xs.begin(), r.client.left);
    EXPECT_GE(*xs.rbegin(), r.client.right);
    EXPECT_LE(*ys.begin(), r.client.top);
    EXPECT_GE(*ys.rbegin(), r.client.bottom);
    for (auto it = std::next(xs.begin()); it != xs.end(); ++it)
      EXPECT_EQ(*it - *std::prev(it), r.zoom);
  }
}

TEST_F(PaintingTest, PicturesComeAfterTheGridSelectedOnTop) {
  auto element = std::make_unique<CElement>(ElemTypes[KindR]);
  element->cmp = cmps.Create(KindR);
  element->selected = true;
  pictures.Add(std::move(element));  // elements sort first
  pictures.Add(std::make_unique<CLine>(SPoint{-2, 0}, SPoint{4, 0}, false));
  ASSERT_EQ(pictures.At(0)->PictureKind(), PctElement);

  const RecordingCanvas canvas = Paint();
  const int lastPixel = [&] {
    int last = -1;
    for (int i = 0; i < static_cast<int>(canvas.lines.size()); ++i)
      if (canvas.lines[static_cast<size_t>(i)].starts_with("pixel ")) last = i;
    return last;
  }();
  const int wire = canvas.IndexOfPrefix("pen 0,128,0 ");
  const int selected = canvas.IndexOfPrefix("pen 255,255,255 ");
  ASSERT_GE(lastPixel, 0);
  ASSERT_GE(wire, 0);
  ASSERT_GE(selected, 0);
  EXPECT_GT(wire, lastPixel);
  EXPECT_GT(selected, wire);
}
