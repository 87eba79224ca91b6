// The component picture: pins, body and hit tests from the kind's type record, and the drawing
// of the symbol and one value label per parameter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "RecordingCanvas.h"
#include "components/CCmp.h"
#include "sheet/CElement.h"
#include "view/CVC.h"
#include "view/DrawStyle.h"

namespace {

using enum Orientation;

class ElementTest : public ::testing::Test {
 protected:
  void SetUp() override { InitDrawStyle(); }

  CElement& Make(int kind, Orientation orientation, int x, int y) {
    auto e = std::make_unique<CElement>(ElemTypes[kind]);
    e->orientation = orientation;
    e->x = x;
    e->y = y;
    e->cmp = cmps.Create(kind);
    elements.push_back(std::move(e));
    return *elements.back();
  }

  CCmps cmps;
  std::vector<std::unique_ptr<CElement>> elements;
  CVC view;
};

bool RowMajor(SPoint a, SPoint b) {
  return a.y != b.y ? a.y < b.y : a.x < b.x;
}

template <typename Pred>
std::vector<SPoint> Scan(Pred pred) {
  std::vector<SPoint> found;
  for (int y = -8; y <= 8; ++y)
    for (int x = -8; x <= 8; ++x)
      if (pred(SPoint{x, y})) found.push_back({x, y});
  return found;
}

std::string Text(const std::vector<SPoint>& points) {
  std::string s;
  for (SPoint p : points) {
    s += '(';
    s += std::to_string(p.x);
    s += ',';
    s += std::to_string(p.y);
    s += ") ";
  }
  return s;
}

struct Placement {
  int kind;
  Orientation orientation;
  int x, y;
  std::vector<SPoint> pins;  // in pin order
  std::vector<int> dirs;
  std::vector<SPoint> body;  // row-major
  SPoint ref;
  SRect rect;
};

const Placement placements[] = {
    {KindR, R0, 0, 0, {{2, 0}, {0, 0}}, {2, 0}, {{1, 0}}, {1, 0}, {1, 0, 1, 0}},
    {KindR, R90, 5, 5, {{5, 7}, {5, 5}}, {3, 1}, {{5, 6}}, {5, 6}, {5, 6, 5, 6}},
    {KindR, R180, 0, 0, {{-2, 0}, {0, 0}}, {0, 2}, {{-1, 0}}, {-1, 0}, {-1, 0, -1, 0}},
    {KindR, R270, 0, 0, {{0, -2}, {0, 0}}, {1, 3}, {{0, -1}}, {0, -1}, {0, -1, 0, -1}},
    {KindMeter, R0, -4, -2, {{-2, -2}, {-4, -2}}, {2, 0}, {{-3, -2}}, {-3, -2}, {-3, -2, -3, -2}},
    {KindLC,
     R0,
     0,
     0,
     {{2, 0}, {0, 0}, {2, -2}, {0, -2}},
     {2, 0, 2, 0},
     {{1, -2}, {1, -1}, {1, 0}},
     {1, -1},
     {1, -2, 1, 0}},
    {KindW,
     R90,
     3,
     3,
     {{3, 5}, {3, 3}, {5, 5}, {5, 3}},
     {0, 0, 2, 2},
     {{3, 4}, {4, 4}, {5, 4}},
     {4, 4},
     {3, 4, 5, 4}},
};

}  // namespace

TEST_F(ElementTest, PinsBodyAndReferencePointFollowPositionAndOrientation) {
  for (const Placement& p : placements) {
    const CElement& e = Make(p.kind, p.orientation, p.x, p.y);
    SCOPED_TRACE("kind " + std::to_string(p.kind) + " orientation " +
                 std::to_string(QuarterTurns(p.orientation)));
    ASSERT_EQ(e.PinCount(), static_cast<int>(p.pins.size()));
    for (int i = 0; i < e.PinCount(); ++i) {
      EXPECT_EQ(e.PinPos(i), p.pins[i]) << "pin " << i;
      EXPECT_EQ(static_cast<int>(e.PinDir(i)), p.dirs[i]) << "pin " << i;
    }
    // HitPoint is true at the pins and nowhere else, not even at the body centre.
    std::vector<SPoint> pins = p.pins;
    std::sort(pins.begin(), pins.end(), RowMajor);
    EXPECT_EQ(Text(Scan([&](SPoint q) { return e.HitPoint(q); })), Text(pins));
    EXPECT_FALSE(e.HitPoint(e.RefPoint()));
    EXPECT_EQ(Text(Scan([&](SPoint q) { return e.BodyContains(q); })), Text(p.body));
    EXPECT_EQ(e.RefPoint(), p.ref);
    EXPECT_EQ(e.BodyRect(), p.rect);
    EXPECT_EQ(e.Bounds(), p.rect);
  }
}

TEST_F(ElementTest, HitNearCoversTheBodyAndTheLeadOfThePinUnderThePointer) {
  struct Row {
    int kind;
    Orientation orientation;
    SPoint fine, grid;
    bool hit;
  };
  const Row rows[] = {
      // resistor at (0, 0), horizontal: pin 1 at (0, 0) looks east, pin 0 at (2, 0) west
      {KindR, R0, {24, 0}, {0, 0}, true},
      {KindR, R0, {-8, 0}, {0, 0}, false},
      {KindR, R0, {8, 8}, {0, 0}, true},  // corner of the widened lead
      {KindR, R0, {7, 0}, {0, 0}, false},
      {KindR, R0, {40, -8}, {0, 0}, true},
      {KindR, R0, {41, 0}, {0, 0}, false},
      {KindR, R0, {24, 9}, {0, 0}, false},
      {KindR, R0, {56, 0}, {2, 0}, true},
      {KindR, R0, {57, 0}, {2, 0}, false},
      {KindR, R0, {64, 0}, {2, 0}, false},    // the pin itself is not its lead
      {KindR, R0, {500, 500}, {1, 0}, true},  // anywhere, once the grid point is the body
      {KindR, R0, {96, 0}, {3, 0}, false},
      // upright resistor: the leads run along y
      {KindR, R90, {0, 24}, {0, 0}, true},
      {KindR, R90, {24, 0}, {0, 0}, false},
      {KindR, R90, {0, 40}, {0, 2}, true},
      {KindR, R90, {0, 60}, {0, 2}, false},
      // coupled inductors: the second winding's pins
      {KindLC, R0, {48, -64}, {2, -2}, true},
      {KindLC, R0, {16, -64}, {0, -2}, true},
      // transformer: its leads are vertical although the element is not turned
      {KindW, R0, {0, -24}, {0, 0}, true},
      {KindW, R0, {24, 0}, {0, 0}, false},
      {KindW, R0, {64, -40}, {2, -2}, true},
  };
  for (const Row& r : rows) {
    const CElement& e = Make(r.kind, r.orientation, 0, 0);
    EXPECT_EQ(e.HitNear(r.fine, r.grid), r.hit)
        << "kind " << r.kind << " o" << QuarterTurns(r.orientation) << " fine " << Text({r.fine})
        << "grid " << Text({r.grid});
  }
}

TEST_F(ElementTest, EndNearAllowsEightFineUnitsAroundAPin) {
  const CElement& e = Make(KindR, R0, 0, 0);
  struct Row {
    SPoint fine, grid;
    bool near;
  };
  const Row rows[] = {
      {{8, 8}, {0, 0}, true},    {{-8, -8}, {0, 0}, true}, {{9, 0}, {0, 0}, false},
      {{0, -9}, {0, 0}, false},  {{72, 8}, {2, 0}, true},  {{73, 0}, {2, 0}, false},
      {{32, 0}, {1, 0}, false},  // the body is not an end
      {{96, 96}, {3, 3}, false},
  };
  for (const Row& r : rows)
    EXPECT_EQ(e.EndNear(r.fine, r.grid), r.near) << Text({r.fine}) << Text({r.grid});
}

TEST_F(ElementTest, DrawsOneLabelPerParameterWithTheComponentsText) {
  struct Row {
    int kind;
    std::vector<std::string> texts;
  };
  const Row rows[] = {
      {KindMeter, {}},
      {KindR, {"'1k'"}},
      {KindC, {"'1n'"}},
      {KindL, {"'1u'"}},
      {KindLC, {"'1u'", "'1u'", "'1'"}},
      {KindW, {"'1'", "'1'"}},
  };
  for (const Row& r : rows) {
    CElement& e = Make(r.kind, R0, 2, 1);
    e.labelCount = 4;  // left over from an earlier drawing
    RecordingCanvas canvas;
    e.Draw(canvas, view);
    ASSERT_EQ(e.labelCount, static_cast<int>(r.texts.size())) << "kind " << r.kind;
    const std::vector<std::string> texts = canvas.Matching("text ");
    ASSERT_EQ(texts.size(), r.texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
      int x, y;
      ASSERT_EQ(std::sscanf(texts[i].c_str(), "text %d,%d", &x, &y), 2);
      EXPECT_TRUE(texts[i].ends_with(r.texts[i])) << texts[i];
      // The stored rectangle is where the text went.
      EXPECT_EQ(e.labelRects[i].left, x);
      EXPECT_EQ(e.labelRects[i].top, y);
    }
    EXPECT_GT(canvas.Count("line ") + canvas.Count("circle "), 0) << "kind " << r.kind;
  }
}

TEST_F(ElementTest, LabelsReadTheirOwnComponentThroughTheSharedTable) {
  CElement& a = Make(KindR, R0, 0, 0);
  CElement& b = Make(KindR, R0, 0, 4);
  b.cmp->Params()[0].Value->Text = "4k7";
  RecordingCanvas canvas;
  b.Draw(canvas, view);
  a.Draw(canvas, view);  // the table was last bound to b
  const std::vector<std::string> texts = canvas.Matching("text ");
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_TRUE(texts[0].ends_with("'4k7'")) << texts[0];
  EXPECT_TRUE(texts[1].ends_with("'1k'")) << texts[1];
}

TEST_F(ElementTest, ResistorLabelSitsBesideTheBodyWhenUpright) {
  // The body runs along x = 0 (origin at pixel 0) at orientations 1 and 3.
  CElement& r0 = Make(KindR, R0, 0, 0);
  CElement& r1 = Make(KindR, R90, 0, 0);
  CElement& r3 = Make(KindR, R270, 0, 0);
  RecordingCanvas canvas;
  for (CElement* e : {&r0, &r1, &r3}) e->Draw(canvas, view);
  EXPECT_EQ(r0.labelRects[0].left + r0.labelRects[0].right, 64);  // centred over the middle
  EXPECT_GT(r1.labelRects[0].left, 0);                            // text runs to the right
  EXPECT_LT(r3.labelRects[0].right, 0);                           // text ends left of the body
  EXPECT_EQ(r1.labelRects[0].right - r1.labelRects[0].left, 16);
  EXPECT_EQ(r3.labelRects[0].right - r3.labelRects[0].left, 16);
}

TEST_F(ElementTest, SelectionChangesSymbolAndLabelColours) {
  CElement& e = Make(KindR, R0, 0, 0);
  for (bool selected : {true, false, true}) {
    e.selected = selected;
    RecordingCanvas canvas;
    e.Draw(canvas, view);
    const std::vector<std::string> fonts = canvas.Matching("font ");
    ASSERT_EQ(fonts.size(), 1u);
    EXPECT_EQ(canvas.lines.front(), selected ? "pen 255,255,255 w1" : "pen 0,255,255 w1");
    EXPECT_TRUE(fonts[0].ends_with(selected ? " 255,255,255" : " 255,255,0")) << fonts[0];
  }
}

TEST_F(ElementTest, TransformerCoreIsVisibleAtTheSmallestZoom) {
  view.Zoom = 10;
  CElement& e = Make(KindW, R0, 0, 0);
  RecordingCanvas canvas;
  e.Draw(canvas, view);
  const std::vector<std::string> bars = canvas.Matching("rect ");
  ASSERT_EQ(bars.size(), 1u);
  int l, t, r, b;
  ASSERT_EQ(std::sscanf(bars[0].c_str(), "rect %d,%d,%d,%d", &l, &t, &r, &b), 4);
  EXPECT_GE(b - t, 2);
}
