// The pictures' geometric answers (wires, dots, the picture defaults) and the picture list's
// ordering, lookups, selection and drawing order.
#include <gtest/gtest.h>

#include "RecordingCanvas.h"
#include "WiringFixture.h"
#include "view/CVC.h"
#include "view/DrawStyle.h"

namespace {

SPoint Fine(int x, int y) {
  return {x, y};
}

// ---- wires

TEST(CLine, ConstructionNormalisesTheEnds) {
  struct Case {
    SPoint a, b;
    const char* wire;
  } const cases[] = {
      {{5, 0}, {0, 0}, "W (0,0)-(5,0)"},      // horizontal: left end first
      {{0, 5}, {0, 0}, "W (0,0)-(0,5)"},      // vertical: upper end first
      {{4, 4}, {0, 0}, "W (0,0)-(4,4)"},      // oblique: upper end first
      {{4, 0}, {0, 4}, "W (4,0)-(0,4)"},      // already upper end first
      {{3, -2}, {3, -2}, "W (3,-2)-(3,-2)"},  // zero length
  };
  for (const auto& c : cases) {
    Wiring s;
    s.Wire(c.a.x, c.a.y, c.b.x, c.b.y);
    EXPECT_EQ(s.Text(), c.wire);
  }
}

TEST(CLine, PinDirectionsPointAlongTheWire) {
  struct Case {
    SPoint a, b;
    PinDirCode first, second;
  } const cases[] = {
      {{0, 0}, {5, 0}, PinDirCode::East, PinDirCode::West},
      {{0, 0}, {0, 5}, PinDirCode::South, PinDirCode::North},
      {{2, 2}, {2, 2}, PinDirCode::West, PinDirCode::East},  // zero length counts as horizontal
      {{0, 0}, {3, 4}, PinDirCode::Oblique, PinDirCode::Oblique},
      {{3, 0}, {0, 4}, PinDirCode::Oblique, PinDirCode::Oblique},
  };
  for (const auto& c : cases) {
    const CLine w(c.a, c.b, false);
    EXPECT_EQ(w.PinDir(0), c.first) << w.x << "," << w.y << "-" << w.x2 << "," << w.y2;
    EXPECT_EQ(w.PinDir(1), c.second) << w.x << "," << w.y << "-" << w.x2 << "," << w.y2;
  }
  // While being stretched a wire may run backwards; its ends still face each other.
  CLine back({0, 0}, {5, 0}, false);
  back.x = 5;
  back.x2 = 0;
  EXPECT_EQ(back.PinDir(0), PinDirCode::West);
  EXPECT_EQ(back.PinDir(1), PinDirCode::East);
}

TEST(CLine, HitPointCoversAxisWiresButOnlyTheEndsOfObliqueOnes) {
  const CLine horizontal({0, 0}, {4, 0}, false);
  EXPECT_TRUE(horizontal.HitPoint({0, 0}));
  EXPECT_TRUE(horizontal.HitPoint({2, 0}));
  EXPECT_TRUE(horizontal.HitPoint({4, 0}));
  EXPECT_FALSE(horizontal.HitPoint({5, 0}));
  EXPECT_FALSE(horizontal.HitPoint({2, 1}));

  const CLine zero({3, 3}, {3, 3}, false);
  EXPECT_TRUE(zero.HitPoint({3, 3}));
  EXPECT_FALSE(zero.HitPoint({3, 4}));
  EXPECT_FALSE(zero.HitPoint({2, 3}));

  const CLine oblique({0, 0}, {4, 4}, false);
  EXPECT_TRUE(oblique.HitPoint({0, 0}));
  EXPECT_TRUE(oblique.HitPoint({4, 4}));
  EXPECT_FALSE(oblique.HitPoint({2, 2})) << "on the line, but not an end";
}

TEST(CLine, HitNearFollowsObliqueWiresAlongTheirLength) {
  // (0,0) to (4,4): the line y = x in fine units from 0 to 128.
  const CLine down({0, 0}, {4, 4}, false);
  EXPECT_TRUE(down.HitNear(Fine(64, 64), {2, 2}));
  EXPECT_TRUE(down.HitNear(Fine(72, 56), {2, 2})) << "8 off in both axes touches the line";
  EXPECT_TRUE(down.HitNear(Fine(70, 80), {2, 2}));
  EXPECT_FALSE(down.HitNear(Fine(64, 90), {2, 3})) << "inside the box, beside the line";
  EXPECT_FALSE(down.HitNear(Fine(90, 64), {3, 2}));
  EXPECT_FALSE(down.HitNear(Fine(140, 140), {4, 4})) << "beyond the end";
  EXPECT_TRUE(down.HitNear(Fine(134, 134), {4, 4}));

  // (4,0) to (0,4) runs right to left: the line x + y = 128.
  const CLine up({4, 0}, {0, 4}, false);
  EXPECT_TRUE(up.HitNear(Fine(64, 64), {2, 2}));
  EXPECT_TRUE(up.HitNear(Fine(20, 100), {1, 3}));
  EXPECT_FALSE(up.HitNear(Fine(20, 20), {1, 1}));
  EXPECT_FALSE(up.HitNear(Fine(110, 110), {3, 3}));
}

TEST(CLine, HitRectOnAxisWiresIsABoxTest) {
  const CLine horizontal({1, 1}, {3, 1}, false);  // fine (32,32)-(96,32)
  EXPECT_TRUE(horizontal.HitRect({40, 24, 48, 40}));
  EXPECT_TRUE(horizontal.HitRect({96, 32, 120, 40})) << "touching the end, borders closed";
  EXPECT_FALSE(horizontal.HitRect({97, 24, 120, 40}));
  EXPECT_FALSE(horizontal.HitRect({40, 33, 48, 40}));
  EXPECT_TRUE(horizontal.HitNear(Fine(64, 40), {2, 1}));
  EXPECT_FALSE(horizontal.HitNear(Fine(64, 41), {2, 1}));
  EXPECT_EQ(CLine({4, 0}, {0, 4}, false).Bounds(), (SRect{0, 0, 4, 4}));
}

TEST(CLine, EndNearOnlyAtTheEndUnderTheGridPoint) {
  const CLine w({0, 0}, {4, 0}, false);
  EXPECT_TRUE(w.EndNear(Fine(8, 8), {0, 0}));
  EXPECT_TRUE(w.EndNear(Fine(-8, -8), {0, 0}));
  EXPECT_FALSE(w.EndNear(Fine(9, 0), {0, 0}));
  EXPECT_TRUE(w.EndNear(Fine(120, -8), {4, 0}));
  EXPECT_FALSE(w.EndNear(Fine(119, 0), {4, 0}));
  EXPECT_FALSE(w.EndNear(Fine(64, 0), {2, 0})) << "the middle is no end";
}

// ---- dots and the picture defaults

TEST(CDot, HitNearWithinAQuarterStepOfTheCentre) {
  const CDot d(1, 1);
  EXPECT_TRUE(d.HitNear(Fine(40, 24), {1, 1}));
  EXPECT_TRUE(d.HitNear(Fine(24, 40), {1, 1}));
  EXPECT_FALSE(d.HitNear(Fine(41, 32), {1, 1}));
  EXPECT_FALSE(d.HitNear(Fine(32, 23), {1, 1}));
  EXPECT_EQ(d.PinDir(0), PinDirCode::Dot);
  EXPECT_FALSE(d.EndNear(Fine(32, 32), {1, 1}));
}

TEST(CPct, RotateKeepsTheBodyCentre) {
  Wiring s;
  for (int kind : {KindR, KindLC, KindW}) {
    for (Orientation orientation :
         {Orientation::R0, Orientation::R90, Orientation::R180, Orientation::R270}) {
      for (int r : {1, 2, 3, -1, 5}) {
        CElement& e = s.Element(kind, 3, -2, orientation);
        const SPoint centre = e.RefPoint();
        e.Rotate(r);
        EXPECT_EQ(e.RefPoint(), centre)
            << "kind " << kind << " o" << QuarterTurns(orientation) << " r" << r;
        EXPECT_EQ(e.orientation, OrientationFromInt(((QuarterTurns(orientation) + r) % 4 + 4) % 4));
      }
    }
  }
  // A resistor at (0,0) has its centre at (1,0): a quarter turn moves its origin to (1,-1).
  CElement& e = s.Element(KindR, 0, 0);
  e.Rotate(1);
  EXPECT_EQ((SPoint{e.x, e.y}), (SPoint{1, -1}));
}

// ---- drawing

class Drawing : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = DrawStyle;
    view.SetViewport(0, 0, 640, 480);
  }
  void TearDown() override { DrawStyle = saved; }
  SDrawStyle saved;
  CVC view;
  RecordingCanvas canvas;
};

TEST_F(Drawing, WireIsOneLineWithAPenScaledByTheZoom) {
  DrawStyle.LineWidth = 2;
  view.Zoom = 80;
  CLine w({1, 2}, {5, 2}, false);
  w.Draw(canvas, view);
  const SPoint a = view.GridToScreen(1, 2), b = view.GridToScreen(5, 2);
  ASSERT_EQ(canvas.Count("pen"), 1) << canvas.Text();
  EXPECT_EQ(canvas.lines[0], "pen " + RecordingCanvas::ColorText(DrawStyle.Wire) + " w5");
  EXPECT_EQ(canvas.Count("line"), 1);
  EXPECT_EQ(canvas.lines.back(), "line " + std::to_string(a.x) + "," + std::to_string(a.y) + "-" +
                                     std::to_string(b.x) + "," + std::to_string(b.y));

  canvas.Clear();
  w.selected = true;
  view.Zoom = 32;
  DrawStyle.LineWidth = 1;
  w.Draw(canvas, view);
  EXPECT_EQ(canvas.lines[0], "pen " + RecordingCanvas::ColorText(DrawStyle.Selected) + " w1");
}

TEST_F(Drawing, DotIsADiscSymbolGrowingWithTheLineWidth) {
  for (int width : {1, 3}) {
    DrawStyle.LineWidth = width;
    for (bool selected : {false, true}) {
      CDot d(2, -1);
      d.selected = selected;
      canvas.Clear();
      d.Draw(canvas, view);

      RecordingCanvas expected;
      const int32_t disc[] = {SymDisc, 0, 0, width + 4, SymEnd};
      view.DrawSymbol(expected, Orientation::R0, 1, selected ? DrawStyle.Selected : DrawStyle.Wire,
                      disc, 2, -1);
      EXPECT_EQ(canvas.Text(), expected.Text()) << "width " << width;
      EXPECT_EQ(canvas.Count("ellipse"), 1) << canvas.Text();
    }
  }
}

TEST_F(Drawing, DrawAllDrawsSelectedPicturesLast) {
  Wiring s;
  s.Wire(0, 0, 1, 0, true);
  s.Wire(0, 1, 1, 1);
  s.Wire(0, 2, 1, 2, true);
  s.Wire(0, 3, 1, 3);
  s.pcts.DrawAll(canvas, view);
  std::vector<std::string> order;
  for (const auto& line : canvas.Matching("move")) order.push_back(line);
  const auto at = [&](int gy) {
    const SPoint p = view.GridToScreen(0, gy);
    return "move " + std::to_string(p.x) + "," + std::to_string(p.y);
  };
  EXPECT_EQ(order, (std::vector<std::string>{at(1), at(3), at(0), at(2)}));
}

// ---- the list: ordering

TEST(CPctsOrder, SortGroupsKindsThenRowsThenColumnsAndKeepsTiesInOrder) {
  Wiring s;
  s.Wire(0, 0, 0, 3);  // ties with the next wire: both start at (0,0)
  s.Dot(5, 1);
  s.Wire(0, 0, 4, 0);
  s.Dot(2, 1);
  s.Wire(-3, 2, 0, 2);
  s.Element(KindR, 9, 9);
  s.Dot(7, -1);
  s.pcts.Sort();
  EXPECT_EQ(s.Text(),
            "E1 (9,9) o0 | D (7,-1) | D (2,1) | D (5,1) | W (0,0)-(0,3) | W (0,0)-(4,0) | "
            "W (-3,2)-(0,2)");

  // Sorted input, ties included, stays exactly as it is: the same pictures in their places.
  std::vector<const CPct*> before;
  for (int i = 0; i < s.pcts.Count(); ++i) before.push_back(s.pcts.At(i));
  s.pcts.Sort();
  for (int i = 0; i < s.pcts.Count(); ++i) EXPECT_EQ(s.pcts.At(i), before[static_cast<size_t>(i)]);

  Wiring r;
  for (int k = 4; k >= 0; --k) r.Dot(k, 0);
  r.pcts.Sort();
  EXPECT_EQ(r.Text(), "D (0,0) | D (1,0) | D (2,0) | D (3,0) | D (4,0)");
}

TEST(CPctsOrder, InsertSortedGoesBeforeTheFirstEqualOrGreater) {
  Wiring s;
  s.Dot(0, 0);
  s.Dot(3, 0);
  s.Wire(0, 0, 2, 0);
  EXPECT_EQ(s.pcts.InsertSorted(std::make_unique<CDot>(1, 0)), 1);
  EXPECT_EQ(s.pcts.Add(std::make_unique<CDot>(3, 0)), 2) << "before its equal";
  EXPECT_EQ(s.pcts.Add(std::make_unique<CLine>(SPoint{9, 9}, SPoint{9, 9}, true)), 5);
  EXPECT_EQ(s.Text(), "D (0,0) | D (1,0) | D (3,0) | D (3,0) | W (0,0)-(2,0) | W (9,9)-(9,9)*");
}

// ---- the list: lookups and selection

TEST(CPctsLookup, FindAtByKindInListOrder) {
  Wiring s;
  s.Element(KindR, 2, 0);  // pins (4,0) and (2,0)
  s.Dot(4, 0);
  s.Wire(0, 0, 8, 0);
  EXPECT_EQ(s.pcts.FindAt(PictureFilter::Any, {4, 0}), 0) << "any kind: the element comes first";
  EXPECT_EQ(s.pcts.FindAt(PictureFilter::Element, {4, 0}), 0);
  EXPECT_EQ(s.pcts.FindAt(PictureFilter::Dot, {4, 0}), 1);
  EXPECT_EQ(s.pcts.FindAt(PictureFilter::Line, {4, 0}), 2);
  EXPECT_EQ(s.pcts.FindAt(PictureFilter::Dot, {2, 0}), -1) << "only dots, though others are there";
  EXPECT_EQ(s.pcts.FindAt(PictureFilter::Any, {3, 0}), 2)
      << "the body centre is no pin; the wire is there";
  EXPECT_EQ(s.pcts.FindAt(PictureFilter::Any, {3, 1}), -1);
}

TEST(CPctsLookup, FindNearPrefersASelectedPicture) {
  Wiring s;
  s.Wire(0, 0, 4, 0);
  s.Wire(2, -2, 2, 2);
  const SPoint fine{64, 0}, grid{2, 0};  // where the wires cross
  EXPECT_EQ(s.pcts.FindNear(fine, grid), 0);
  s.pcts.At(1)->selected = true;
  EXPECT_EQ(s.pcts.FindNear(fine, grid), 1);
  s.pcts.At(0)->selected = true;
  EXPECT_EQ(s.pcts.FindNear(fine, grid), 0);
  EXPECT_EQ(s.pcts.FindNear({64, 200}, {2, 6}), -1);
}

TEST(CPctsLookup, CountEndsNearCountsEveryEndUnderThePointer) {
  Wiring s;
  s.Wire(0, 0, 4, 0);
  s.Wire(4, 0, 4, 3);
  s.Wire(4, 0, 8, 0);
  s.Wire(0, 3, 8, 3);
  s.Dot(4, 0);
  EXPECT_EQ(s.pcts.CountEndsNear({130, 4}, {4, 0}), 3);
  EXPECT_EQ(s.pcts.CountEndsNear({140, 4}, {4, 0}), 0);
  EXPECT_EQ(s.pcts.CountEndsNear({128, 96}, {4, 3}), 1) << "the bottom wire has no end there";
}

TEST(CPctsLookup, FindLabelCountsBordersAsInsideAndWritesOnlyOnSuccess) {
  Wiring s;
  CElement& a = s.Element(KindR, 0, 0);
  CElement& b = s.Element(KindLC, 5, 0);
  a.labelRects[0] = {10, 10, 20, 20};
  a.labelRects[1] = {50, 50, 60, 60};  // stale: beyond labelCount
  a.labelCount = 1;
  b.labelRects[0] = {100, 10, 110, 20};
  b.labelRects[1] = {100, 30, 110, 40};
  b.labelRects[2] = {15, 15, 30, 30};
  b.labelCount = 3;

  struct Case {
    SPoint at;
    int index, label;
  } const cases[] = {
      {{10, 10}, 0, 0},   {{20, 20}, 0, 0},  // corners of a's label
      {{25, 25}, 1, 2},                      // b's third label
      {{110, 40}, 1, 1},                     // b's second, bottom-right corner
      {{55, 55}, -1, 77},                    // only a stale rectangle there
      {{21, 9}, -1, 77},
  };
  for (const auto& c : cases) {
    int j = 77;
    EXPECT_EQ(s.pcts.FindLabel(j, c.at), c.index) << c.at.x << "," << c.at.y;
    EXPECT_EQ(j, c.label) << c.at.x << "," << c.at.y;
  }
}

TEST(CPctsSelection, SelectOnlyAndDeselect) {
  Wiring s;
  s.Element(KindR, 0, 0);
  s.Element(KindC, 0, 4);
  s.Dot(1, 1);
  s.Wire(0, 0, 2, 0, true);
  s.pcts.At(1)->selected = true;

  s.pcts.SelectOnly(2);
  EXPECT_EQ(s.Text(), "E1 (0,0) o0 | E2 (0,4) o0 | D (1,1)* | W (0,0)-(2,0)");
  EXPECT_EQ(s.pcts.CountSelected(), 1);
  s.pcts.SelectOnly(-1);
  EXPECT_EQ(s.pcts.CountSelected(), 0);

  for (int i = 0; i < s.pcts.Count(); ++i) s.pcts.At(i)->selected = true;
  s.pcts.DeselectNonElements();
  EXPECT_EQ(s.Text(), "E1 (0,0) o0* | E2 (0,4) o0* | D (1,1) | W (0,0)-(2,0)");
}

TEST(CPctsSelection, SelectedElementIsTheFirstSelectedPictureIfAnElement) {
  Wiring s;
  s.Wire(0, 0, 2, 0);  // a wire ahead of the elements, as during an edit
  CElement& meter = s.Element(KindMeter, -4, -2, Orientation::R90);
  s.Element(KindR, 0, 0);
  // List: meter, resistor, wire (elements sort before wires on insertion).
  EXPECT_EQ(s.pcts.SelectedElement(), -1);
  EXPECT_FALSE(s.pcts.SelectedIsMeter(meter.cmp));

  s.pcts.At(1)->selected = true;
  EXPECT_EQ(s.pcts.SelectedElement(), 1);
  EXPECT_FALSE(s.pcts.SelectedIsMeter(meter.cmp));
  s.pcts.At(0)->selected = true;
  EXPECT_EQ(s.pcts.SelectedElement(), 0);
  EXPECT_TRUE(s.pcts.SelectedIsMeter(meter.cmp));

  // A wire selected ahead of the elements hides them.
  s.pcts.InsertAt(0, std::make_unique<CLine>(SPoint{5, 5}, SPoint{6, 5}, true));
  EXPECT_EQ(s.pcts.SelectedElement(), -1);
  EXPECT_FALSE(s.pcts.SelectedIsMeter(meter.cmp));
}

}  // namespace
