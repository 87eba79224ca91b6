// Mouse editing of the sheet: drawing wires, moving with stretching or bridging, placing,
// deleting, rotating, panning and the cursors.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "FakeHost.h"
#include "SheetBuilder.h"
#include "components/CCmp.h"
#include "sheet/CElement.h"
#include "sheet/CPct.h"
#include "sheet/CSheet.h"

namespace {

std::string Text(SPoint p) {
  std::string text(1, '(');
  text += std::to_string(p.x);
  text += ',';
  text += std::to_string(p.y);
  text += ')';
  return text;
}

std::string WireText(const CPct* p) {
  const auto* w = static_cast<const CLine*>(p);
  return Text({w->x, w->y}) + "-" + Text({w->x2, w->y2});
}

int CountKind(const CPcts& list, int kind) {
  int n = 0;
  for (int i = 0; i < list.Count(); ++i) n += list.At(i)->PictureKind() == kind;
  return n;
}

int IndexOfElement(const CPcts& list, const CCmp* c) {
  for (int i = 0; i < list.Count(); ++i)
    if (list.At(i)->cmp == c) return i;
  return -1;
}

CLine* AddWire(CSheet& sheet, SPoint a, SPoint b, bool selected = false) {
  auto w = std::make_unique<CLine>(a, b, selected);
  CLine* raw = w.get();
  sheet.pictures.Add(std::move(w));
  return raw;
}

// A sheet with the fake host and the meter in place, as after start-up.
class SheetEditing : public ::testing::Test {
 protected:
  SheetEditing() : host(sheet), mouse(host) { host.ResetSheet(); }

  // An unselected element; returns its picture.
  CPct* Add(int kind, Orientation orientation, int x, int y) {
    const int i = sheet.AddElement(kind, orientation, x, y);
    CPct* p = sheet.pictures.At(i);
    p->selected = false;
    return p;
  }

  CSheet sheet;
  FakeHost host;
  SheetMouse mouse;
};

// ---- drawing a wire as an L of two legs

struct WireStep {
  SPoint pointer;
  const char* leg1;
  const char* leg2;
};

TEST(DragWire, FollowsThePointerAsAnLFromTheStart) {
  const std::vector<std::vector<WireStep>> paths = {
      {
          {{3, 0}, "(0,0)-(3,0)", "(3,0)-(3,0)"},  // first step chooses horizontal
          {{3, 2}, "(0,0)-(3,0)", "(3,0)-(3,2)"},  // leaving the line makes the corner
          {{5, 4}, "(0,0)-(5,0)", "(5,0)-(5,4)"},  // the corner follows in x
          {{0, 4}, "(0,0)-(0,4)", "(0,4)-(0,4)"},  // back on the perpendicular: flips
          {{2, 4}, "(0,0)-(0,4)", "(0,4)-(2,4)"},
      },
      {
          {{2, 3}, "(0,0)-(2,0)", "(2,0)-(2,3)"},  // a diagonal first step goes horizontal
      },
      {
          {{0, -3}, "(0,0)-(0,-3)", "(0,-3)-(0,-3)"},  // a vertical first step
          {{4, -3}, "(0,0)-(0,-3)", "(0,-3)-(4,-3)"},
          {{4, 0}, "(0,0)-(4,0)", "(4,0)-(4,0)"},  // onto the line through the start
          {{4, 0}, "(0,0)-(4,0)", "(4,0)-(4,0)"},
      },
      {
          {{3, 0}, "(0,0)-(3,0)", "(3,0)-(3,0)"},
          {{3, 2}, "(0,0)-(3,0)", "(3,0)-(3,2)"},
          {{3, 0}, "(0,0)-(3,0)", "(3,0)-(3,0)"},  // back onto the corner: straight again
          {{6, 0}, "(0,0)-(6,0)", "(6,0)-(6,0)"},
          {{0, 0}, "(0,0)-(0,0)", "(0,0)-(0,0)"},
      },
  };
  for (size_t n = 0; n < paths.size(); ++n) {
    CPcts list;
    list.StartWire({0, 0});
    ASSERT_EQ(list.Count(), 2);
    EXPECT_TRUE(list.At(0)->selected && list.At(1)->selected);
    for (const WireStep& step : paths[n]) {
      SCOPED_TRACE("path " + std::to_string(n) + " at " + Text(step.pointer));
      list.DragWire(step.pointer);
      EXPECT_EQ(WireText(list.WireLeg(0)), step.leg1);
      EXPECT_EQ(WireText(list.WireLeg(1)), step.leg2);
    }
  }
}

TEST(DragWire, LegsAreAppendedAfterEverythingElse) {
  CPcts list;
  list.Add(std::make_unique<CLine>(SPoint{5, 5}, SPoint{9, 5}, false));
  list.Add(std::make_unique<CDot>(5, 5));
  list.StartWire({1, 1});
  EXPECT_EQ(list.WireLeg(0), list.At(2));
  EXPECT_EQ(list.WireLeg(1), list.At(3));
  EXPECT_TRUE(list.LegFree());
}

TEST_F(SheetEditing, ReleasedWiresKeepNoZeroLengthLeg) {
  Add(KindR, Orientation::R0, 0, 0);  // pins (2,0) and (0,0)
  const int before = CountKind(sheet.pictures, PctLine);

  mouse.Wire({2, 0}, {6, 0});  // straight: the second leg has zero length
  EXPECT_EQ(CountKind(sheet.pictures, PctLine), before + 1);
  EXPECT_EQ(host.recomputes, (std::vector<bool>{true, true}));

  mouse.Press({0, 0});
  mouse.Move({-3, 0});
  mouse.Move({-3, 2});
  mouse.Move({0, 0});  // back onto the start: both legs collapse
  mouse.Release({0, 0});
  EXPECT_EQ(CountKind(sheet.pictures, PctLine), before + 1);
  for (int i = 0; i < sheet.pictures.Count(); ++i) {
    const CPct* p = sheet.pictures.At(i);
    if (p->PictureKind() == PctLine) {
      EXPECT_NE(WireText(p), "(0,0)-(0,0)");
    }
  }
  EXPECT_EQ(sheet.mode, SheetMode::Idle);
}

TEST_F(SheetEditing, AnLShapedWireIsNormalisedAndDeselectedByTheRecompute) {
  Add(KindR, Orientation::R0, 0, 0);
  mouse.Wire({2, 0}, {5, 0}, {5, -3});
  std::vector<std::string> wires;
  for (int i = 0; i < sheet.pictures.Count(); ++i) {
    const CPct* p = sheet.pictures.At(i);
    if (p->PictureKind() != PctLine) continue;
    wires.push_back(WireText(p));
    EXPECT_FALSE(p->selected);
  }
  EXPECT_EQ(wires, (std::vector<std::string>{"(5,-3)-(5,0)", "(2,0)-(5,0)"}));
}

// ---- moving: stretching versus bridging

struct MoveCase {
  const char* name;
  std::vector<std::pair<SPoint, SPoint>> wires;  // unselected, around a resistor at (0,0)
  bool dotAtPin;                                 // a dot at the resistor's pin (2,0)
  std::vector<MoveMode> moveModes;               // of the wires, in the order given
  int bridges;                                   // new zero-length wires
};

//   R = resistor at (0,0), pins (0,0) and (2,0); the selection is the resistor only.
//   stretch first:   R(2,0)------(6,0)       the wire's first end follows the pin
//   stretch second:  (-3,0)------R(0,0)      the wire's second end follows
//   two wires:       R(2,0)----(6,0) and (2,0)|(2,4): a bridge is inserted
//   wire and dot:    R(2,0)----(6,0) with a dot at (2,0): a bridge
TEST_F(SheetEditing, BeginMoveStretchesALoneWireAndBridgesAJunction) {
  constexpr MoveMode W = MoveMode::Whole, F = MoveMode::FirstEnd, S = MoveMode::SecondEnd;
  const std::vector<MoveCase> cases = {
      {"stretch first", {{{2, 0}, {6, 0}}}, false, {F}, 0},
      {"stretch second", {{{-3, 0}, {0, 0}}}, false, {S}, 0},
      {"both pins stretch", {{{2, 0}, {6, 0}}, {{-3, 0}, {0, 0}}}, false, {F, S}, 0},
      {"two wires", {{{2, 0}, {6, 0}}, {{2, 0}, {2, 4}}}, false, {W, W}, 1},
      {"wire and dot", {{{2, 0}, {6, 0}}}, true, {W}, 1},
      {"untouched wire", {{{7, 7}, {9, 7}}}, false, {W}, 0},
  };
  for (const MoveCase& c : cases) {
    SCOPED_TRACE(c.name);
    CSheet s;
    s.AddElement(KindR, Orientation::R0, 0, 0);  // selected
    std::vector<CLine*> wires;
    for (const auto& [a, b] : c.wires) wires.push_back(AddWire(s, a, b));
    if (c.dotAtPin) s.pictures.Add(std::make_unique<CDot>(2, 0));
    const int before = s.pictures.Count();

    s.pictures.BeginMove();
    ASSERT_EQ(s.pictures.Count(), before + c.bridges);
    for (size_t k = 0; k < wires.size(); ++k) EXPECT_EQ(wires[k]->moveMode, c.moveModes[k]);
    std::vector<CLine*> bridges;
    for (int i = 0; i < s.pictures.Count(); ++i) {
      CPct* p = s.pictures.At(i);
      if (p->PictureKind() == PctLine && p->moveMode == MoveMode::FirstEnd &&
          WireText(p) == "(2,0)-(2,0)") {
        bridges.push_back(static_cast<CLine*>(p));
        EXPECT_FALSE(p->selected);
      }
    }
    EXPECT_EQ(static_cast<int>(bridges.size()), c.bridges);

    s.pictures.MoveSelection({0, -3});
    for (CLine* b : bridges) EXPECT_EQ(WireText(b), "(2,-3)-(2,0)");
    s.pictures.EndMove();
    for (int i = 0; i < s.pictures.Count(); ++i)
      EXPECT_EQ(s.pictures.At(i)->moveMode, MoveMode::Whole);
    EXPECT_EQ(s.pictures.At(0)->y, -3);
  }
}

TEST_F(SheetEditing, AStretchedWireTurnsObliqueAndIsNormalised) {
  CPct* r = Add(KindR, Orientation::R0, 0, 0);
  CLine* w = AddWire(sheet, {2, 0}, {6, 0});
  // Press the body (a move starts at the first grid step), drag one step up and right.
  mouse.Press({1, 0});
  EXPECT_EQ(sheet.mode, SheetMode::Pressed);
  EXPECT_TRUE(r->selected);
  mouse.Move({2, -2});
  EXPECT_EQ(sheet.mode, SheetMode::Moving);
  mouse.Release({2, -2});
  EXPECT_EQ(Text({r->x, r->y}), "(1,-2)");
  // (3,-2)-(6,0) is oblique and normalised so that its first end is the upper one.
  EXPECT_EQ(WireText(w), "(3,-2)-(6,0)");
  EXPECT_EQ(host.recomputes.back(), true);
}

TEST_F(SheetEditing, DraggingAJunctionDotBridgesFromTheJunction) {
  //            (5,0)
  //  (0,0)-------o-------(9,0)
  //              |
  //            (5,4)
  AddWire(sheet, {0, 0}, {5, 0});
  AddWire(sheet, {5, 0}, {9, 0});
  AddWire(sheet, {5, 0}, {5, 4});
  host.Recompute(true);
  ASSERT_GE(sheet.pictures.FindAt(PictureFilter::Dot, {5, 0}), 0);

  // A press where a dot stands selects (the dot) instead of starting a wire.
  mouse.Press({5, 0});
  EXPECT_EQ(sheet.mode, SheetMode::Pressed);
  const int dot = sheet.pictures.FindAt(PictureFilter::Dot, {5, 0});
  EXPECT_TRUE(sheet.pictures.At(dot)->selected);
  EXPECT_EQ(sheet.pictures.CountSelected(), 1);
  mouse.Move({7, -3});
  mouse.Release({7, -3});

  // The dot's new place meets only the bridge, so the recompute removed it there; the
  // junction keeps three wires and the bridge, and gets its dot back.
  EXPECT_LT(sheet.pictures.FindAt(PictureFilter::Dot, {7, -3}), 0);
  EXPECT_GE(sheet.pictures.FindAt(PictureFilter::Dot, {5, 0}), 0);
  int bridges = 0;
  for (int i = 0; i < sheet.pictures.Count(); ++i) {
    const CPct* p = sheet.pictures.At(i);
    bridges += p->PictureKind() == PctLine && WireText(p) == "(7,-3)-(5,0)";
  }
  EXPECT_EQ(bridges, 1);
}

TEST_F(SheetEditing, APressWithoutAGridStepOnlySelects) {
  CPct* r = Add(KindR, Orientation::R0, 0, 0);
  const std::string before = sheet.pictures.Describe();
  const size_t recomputes = host.recomputes.size();
  const SPoint at = mouse.Pixel({1, 0});
  mouse.PressPixel(at);
  EXPECT_FALSE(mouse.MovePixel({at.x + 3, at.y - 2}));  // same grid point
  mouse.ReleasePixel({at.x + 3, at.y - 2});
  EXPECT_TRUE(r->selected);
  r->selected = false;
  EXPECT_EQ(sheet.pictures.Describe(), before);
  EXPECT_EQ(host.recomputes.size(), recomputes);
  EXPECT_EQ(sheet.mode, SheetMode::Idle);
  EXPECT_FALSE(sheet.buttonDown);
}

// ---- panning

TEST_F(SheetEditing, PanningByOnePixelMovesByAFractionOfAStep) {
  const size_t recomputes = host.recomputes.size();
  const SPoint at = mouse.Pixel({6, 5});  // empty sheet
  mouse.PressPixel(at);
  ASSERT_EQ(sheet.mode, SheetMode::Panning);
  EXPECT_FALSE(mouse.MovePixel(at));
  EXPECT_TRUE(mouse.MovePixel({at.x + 1, at.y}));
  EXPECT_DOUBLE_EQ(sheet.view.PanX, -1.0 / 32);
  EXPECT_DOUBLE_EQ(sheet.view.PanY, 0.0);
  EXPECT_TRUE(mouse.MovePixel({at.x + 1, at.y - 2}));
  EXPECT_DOUBLE_EQ(sheet.view.PanY, 2.0 / 32);
  mouse.ReleasePixel({at.x + 1, at.y - 2});
  EXPECT_EQ(host.recomputes.size(), recomputes);
}

// ---- placing from the palette

TEST_F(SheetEditing, PlacingCentresTheBodyOnThePointerAndFollowsIt) {
  host.ArmPlacing(KindR, Orientation::R90);
  mouse.Press({3, 3});
  CPct* e = sheet.pictures.NewElement();
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(Text(e->RefPoint()), "(3,3)");
  EXPECT_TRUE(e->selected);
  EXPECT_EQ(e->orientation, Orientation::R90);
  EXPECT_EQ(host.cursor, CursorGrab);
  EXPECT_TRUE(mouse.Move({5, 1}));
  EXPECT_EQ(Text(e->RefPoint()), "(5,1)");
  mouse.Release({5, 1});
  EXPECT_EQ(sheet.mode, SheetMode::Idle);
  EXPECT_EQ(sheet.components.Count(), 2);
  EXPECT_EQ(host.recomputes.back(), true);
  EXPECT_GE(host.readoutStates, 2);
}

TEST_F(SheetEditing, AComponentDroppedOutsideIsDiscardedWithItsComponent) {
  const std::string before = sheet.pictures.Describe();
  const size_t recomputes = host.recomputes.size();
  const int states = host.readoutStates;
  host.ArmPlacing(KindC, Orientation::R90);
  mouse.Press({2, 2});
  ASSERT_EQ(sheet.components.Count(), 2);
  mouse.ReleasePixel({host.client.right + 5, 100});
  EXPECT_EQ(sheet.pictures.Describe(), before);
  EXPECT_EQ(sheet.components.Count(), 1);
  EXPECT_EQ(host.recomputes.size(), recomputes);
  EXPECT_EQ(host.readoutStates, states + 1);
}

TEST_F(SheetEditing, ArmedPlacingMovesNothingBeforeThePress) {
  Add(KindR, Orientation::R0, 0, 0);
  const std::string before = sheet.pictures.Describe();
  host.ArmPlacing(KindL, Orientation::R90);
  EXPECT_FALSE(mouse.Move({4, 4}));
  EXPECT_FALSE(mouse.Move({-2, 3}));
  mouse.Release({-2, 3});  // a release with nothing placed keeps and discards nothing
  EXPECT_EQ(sheet.pictures.Describe(), before);
  EXPECT_EQ(sheet.components.Count(), 2);
  EXPECT_EQ(sheet.mode, SheetMode::Idle);
}

TEST_F(SheetEditing, ThePlacedElementIsFollowedEvenWhenAttachingReordersTheList) {
  // Attaching the new resistor to the wire sorts the list and puts the resistor ahead of
  // the meter; the following moves must still carry the resistor, not the meter.
  AddWire(sheet, {-5, -4}, {-5, -2});
  host.ArmPlacing(KindR, Orientation::R90);
  mouse.Press({-5, -1});  // body centre (-5,-1): pins (-5,-2) and (-5,0)
  mouse.Move({-8, -1});
  mouse.Release({-8, -1});
  const int meter = IndexOfElement(sheet.pictures, host.meter);
  ASSERT_GE(meter, 0);
  EXPECT_EQ(Text({sheet.pictures.At(meter)->x, sheet.pictures.At(meter)->y}), "(-4,-2)");
  int moved = 0;
  for (int i = 0; i < sheet.pictures.Count(); ++i) {
    const CPct* p = sheet.pictures.At(i);
    if (p->PictureKind() == PctElement && p->cmp != host.meter)
      moved += Text(p->RefPoint()) == "(-8,-1)";
  }
  EXPECT_EQ(moved, 1);
}

// ---- delete and rotate

TEST_F(SheetEditing, DeleteRemovesOnlyTheFirstSelectedPictureAndAlwaysRecomputes) {
  CPct* r = Add(KindR, Orientation::R0, 0, 0);
  CLine* w = AddWire(sheet, {2, 0}, {6, 0});
  CCmp* rc = r->cmp;
  r->selected = true;
  w->selected = true;
  sheet.DeleteSelected();  // the resistor comes first in the list
  EXPECT_EQ(IndexOfElement(sheet.pictures, rc), -1);
  EXPECT_EQ(sheet.components.Count(), 1);
  EXPECT_EQ(CountKind(sheet.pictures, PctLine), 1);
  EXPECT_EQ(host.recomputes.back(), true);

  const size_t recomputes = host.recomputes.size();
  sheet.SelectOnly(-1);
  sheet.DeleteSelected();
  EXPECT_EQ(host.recomputes.size(), recomputes + 1);
  EXPECT_EQ(sheet.pictures.Count(), 2);  // the meter and the wire
}

TEST_F(SheetEditing, TheMeterIsNeverDeleted) {
  CPct* r = Add(KindR, Orientation::R0, 0, 0);
  const int meter = IndexOfElement(sheet.pictures, host.meter);
  // Enabling: the meter selected first disables Delete; a component enables it; a drag under
  // way disables it.
  sheet.SelectOnly(meter);
  EXPECT_FALSE(sheet.CanDelete(host.meter));
  EXPECT_TRUE(sheet.CanRotate());
  r->selected = true;  // the meter still comes first
  EXPECT_FALSE(sheet.CanDelete(host.meter));
  sheet.SelectOnly(IndexOfElement(sheet.pictures, r->cmp));
  EXPECT_TRUE(sheet.CanDelete(host.meter));
  sheet.buttonDown = true;
  EXPECT_FALSE(sheet.CanDelete(host.meter));
  EXPECT_FALSE(sheet.CanRotate());
  sheet.buttonDown = false;
  sheet.SelectOnly(-1);
  EXPECT_FALSE(sheet.CanDelete(host.meter));

  // Even when asked directly, the meter stays and the readout can still be measured.
  sheet.SelectOnly(IndexOfElement(sheet.pictures, host.meter));
  sheet.DeleteSelected();
  EXPECT_GE(IndexOfElement(sheet.pictures, host.meter), 0);
  EXPECT_EQ(sheet.components.Count(), 2);
  EXPECT_EQ(host.readout.R, "Infinity");
}

TEST_F(SheetEditing, RotatingKeepsTheBodyCentreAndTurnsThePins) {
  CPct* r = Add(KindR, Orientation::R0, 0, 0);  // pins (2,0) and (0,0), centre (1,0)
  sheet.SelectOnly(IndexOfElement(sheet.pictures, r->cmp));
  const size_t recomputes = host.recomputes.size();
  EXPECT_TRUE(sheet.CanRotate());
  EXPECT_EQ(r->orientation, Orientation::R0);
  EXPECT_EQ(host.recomputes.size(), recomputes);

  const std::vector<std::pair<int, std::vector<std::string>>> turns = {
      {1, {"(1,1)", "(1,-1)"}},
      {1, {"(0,0)", "(2,0)"}},
      {3, {"(1,1)", "(1,-1)"}},
      {3, {"(2,0)", "(0,0)"}},
  };
  for (const auto& [quarter, pins] : turns) {
    const int i = IndexOfElement(sheet.pictures, r->cmp);
    sheet.SelectOnly(i);
    EXPECT_TRUE(sheet.Rotate(quarter));
    EXPECT_EQ(Text(r->RefPoint()), "(1,0)");
    EXPECT_EQ(Text(r->PinPos(0)), pins[0]);
    EXPECT_EQ(Text(r->PinPos(1)), pins[1]);
  }
  EXPECT_EQ(host.recomputes.size(), recomputes + 4);

  // Only an element can turn: a wire first in the selection, or nothing, refuses.
  sheet.SelectOnly(-1);
  CLine* w = AddWire(sheet, {5, 5}, {8, 5}, true);
  EXPECT_FALSE(sheet.Rotate(1));
  w->selected = false;
  sheet.SelectOnly(-1);
  EXPECT_FALSE(sheet.Rotate(1));
  EXPECT_EQ(host.recomputes.size(), recomputes + 4);
  // The meter can be turned.
  sheet.SelectOnly(IndexOfElement(sheet.pictures, host.meter));
  EXPECT_TRUE(sheet.Rotate(1));
}

// ---- cursors

TEST_F(SheetEditing, CursorsFollowTheStateAndWhatLiesUnderThePointer) {
  Add(KindR, Orientation::R0, 0, 0);
  AddWire(sheet, {2, 0}, {2, 3});
  AddWire(sheet, {2, 3}, {6, 3});
  AddWire(sheet, {4, 3}, {4, 6});  // (4,3) gets a dot
  host.Recompute(true);
  const CPct* r = sheet.pictures.At(IndexOfElement(sheet.pictures, sheet.components.At(1)));
  const SRect label = r->labelRects[0];
  ASSERT_EQ(r->labelCount, 1);
  const SPoint labelCentre{(label.left + label.right) / 2, (label.top + label.bottom) / 2};

  struct Hover {
    const char* what;
    SPoint pixel;
    int cursor;
  };
  const std::vector<Hover> idle = {
      {"pin", mouse.Pixel({0, 0}), CursorDraw},
      {"wire end", mouse.Pixel({6, 3}), CursorDraw},
      {"dot", mouse.Pixel({4, 3}), CursorShow},
      {"wire interior", mouse.Pixel({2, 2}), CursorShow},
      {"body", mouse.Pixel({1, 0}), CursorShow},
      {"label", labelCentre, CursorArrow},
      {"empty", mouse.Pixel({9, -5}), CursorHand},
  };
  for (const Hover& h : idle) {
    SCOPED_TRACE(h.what);
    EXPECT_FALSE(mouse.MovePixel(h.pixel));
    EXPECT_EQ(host.cursor, h.cursor);
  }

  struct Gesture {
    const char* what;
    SPoint press;
    SheetMode mode;
    int cursor;
  };
  const std::vector<Gesture> gestures = {
      {"wiring", mouse.Pixel({6, 3}), SheetMode::Wiring, CursorDraw},
      {"pressed", mouse.Pixel({1, 0}), SheetMode::Pressed, CursorGrab},
      {"panning", mouse.Pixel({9, -5}), SheetMode::Panning, CursorGrab},
  };
  for (const Gesture& g : gestures) {
    SCOPED_TRACE(g.what);
    mouse.PressPixel(g.press);
    EXPECT_EQ(sheet.mode, g.mode);
    EXPECT_EQ(host.cursor, g.cursor);
    mouse.ReleasePixel(g.press);
    EXPECT_EQ(sheet.mode, SheetMode::Idle);
  }
  mouse.Move({1, 0});
  host.ArmPlacing(KindR, Orientation::R90);
  mouse.Press({9, -5});
  EXPECT_EQ(host.cursor, CursorGrab);
  mouse.Release({9, -5});
  EXPECT_EQ(host.cursor, CursorShow);  // the new element lies under the pointer
}

// ---- the value label

TEST_F(SheetEditing, APressOnAValueLabelOpensTheDialogAndEndsTheGesture) {
  CPct* r = Add(KindR, Orientation::R0, 0, 0);
  host.PaintSheet();
  ASSERT_EQ(r->labelCount, 1);
  const SRect label = r->labelRects[0];
  const SPoint at{label.left, label.bottom};  // borders count
  host.ScriptEntry("4k7");
  const size_t recomputes = host.recomputes.size();

  mouse.PressPixel(at);
  EXPECT_EQ(host.editCalls, 1);
  EXPECT_EQ(host.editedLabel, "Resistance, Ohm");
  EXPECT_TRUE(r->selected);
  EXPECT_EQ(sheet.mode, SheetMode::Idle);
  EXPECT_FALSE(sheet.buttonDown);  // the button was released inside the modal dialog
  ASSERT_EQ(host.recomputes.size(), recomputes + 1);
  EXPECT_FALSE(host.recomputes.back());
  const CParam* table = r->cmp->Params();
  EXPECT_EQ(table[0].Value->Text, "4k7");
  EXPECT_DOUBLE_EQ(table[0].Value->Value, 4700.0);

  // The release that the toolkit may still deliver changes nothing.
  const std::string before = sheet.pictures.Describe();
  mouse.ReleasePixel(at);
  EXPECT_EQ(host.recomputes.size(), recomputes + 1);
  EXPECT_EQ(sheet.pictures.Describe(), before);
  EXPECT_FALSE(sheet.buttonDown);
}

TEST_F(SheetEditing, AReleaseWithoutAPressDoesNoHarm) {
  Add(KindR, Orientation::R0, 0, 0);
  const std::string before = sheet.pictures.Describe();
  const size_t recomputes = host.recomputes.size();
  for (SheetMode m : {SheetMode::Idle, SheetMode::Pressed, SheetMode::Panning, SheetMode::Wiring,
                      SheetMode::Moving, SheetMode::Placing}) {
    SCOPED_TRACE(static_cast<int>(m));
    sheet.mode = m;
    mouse.Release({1, 0});
    EXPECT_EQ(sheet.mode, SheetMode::Idle);
    EXPECT_FALSE(sheet.buttonDown);
  }
  EXPECT_EQ(sheet.pictures.Describe(), before);
  EXPECT_EQ(sheet.components.Count(), 2);
  // SheetMode::Wiring and moving without legs or records still finish the (empty) edit.
  EXPECT_LE(host.recomputes.size(), recomputes + 2);
}

TEST_F(SheetEditing, DeletingALegWhileWiringLeavesAConsistentSheet) {
  Add(KindR, Orientation::R0, 0, 0);
  mouse.Press({2, 0});
  ASSERT_EQ(sheet.mode, SheetMode::Wiring);
  mouse.Move({5, 0});
  sheet.DeleteSelected();  // the first leg
  mouse.Move({5, 3});
  mouse.Release({5, 3});
  EXPECT_EQ(sheet.mode, SheetMode::Idle);
  for (int i = 0; i < sheet.pictures.Count(); ++i) {
    const CPct* p = sheet.pictures.At(i);
    if (p->PictureKind() == PctLine) {
      EXPECT_FALSE(p->PinPos(0) == p->PinPos(1));
    }
  }
}

// A wire drawn right to left, or a move, interrupted by a palette press (right button, so the
// left release still comes) or by a release that never arrives (the next press comes first).
TEST_F(SheetEditing, AnInterruptedWireOrMoveIsFinishedAndMeasured) {
  enum Interruption { PaletteThenRelease, LostRelease };
  for (bool wire : {true, false}) {
    for (Interruption how : {PaletteThenRelease, LostRelease}) {
      SCOPED_TRACE(std::string(wire ? "wire" : "move") +
                   (how == PaletteThenRelease ? ", palette press" : ", lost release"));
      host.ResetSheet();
      Add(KindR, Orientation::R0, 0, 0);
      AddWire(sheet, {2, 0}, {2, 4});
      AddWire(sheet, {2, 0}, {6, 0});
      host.Recompute(true);
      const size_t recomputes = host.recomputes.size();

      if (wire) {
        mouse.Press({0, 0});
        mouse.Move({-3, 0});  // first leg (0,0)-(-3,0) reversed, second of zero length
      } else {
        mouse.Press({1, 0});
        mouse.Move({1, -2});  // a bridge from the junction at (2,0) follows the pin
      }
      if (how == PaletteThenRelease) {
        host.ArmPlacing(KindC, Orientation::R90);
        mouse.Release({1, -2});
      } else {
        mouse.Press({9, 5});  // empty sheet
        mouse.Release({9, 5});
      }

      EXPECT_EQ(host.recomputes.size(), recomputes + 1);
      EXPECT_EQ(sheet.mode, SheetMode::Idle);
      for (int i = 0; i < sheet.pictures.Count(); ++i) {
        const CPct* p = sheet.pictures.At(i);
        EXPECT_EQ(p->moveMode, MoveMode::Whole);
        if (p->PictureKind() != PctLine) continue;
        const auto* w = static_cast<const CLine*>(p);
        EXPECT_FALSE(w->selected) << WireText(w);
        EXPECT_FALSE(w->x == w->x2 && w->y == w->y2) << "zero-length wire left";
        EXPECT_TRUE(w->y == w->y2 ? w->x <= w->x2 : w->y <= w->y2) << WireText(w);
      }
    }
  }
}

// A recompute in the middle of a drag (the frequency entry takes Enter while the button is
// held) merges the reversed first leg into the wire before it; the second leg, reversed too,
// must still end normalised, or attaching the resistor lying on it would cut it forever.
//
//                 (6,-6)
//                   |            the L is drawn from (10,0) left to (6,0), then up
//                  R1 (6,-4)..(6,-2)
//                   |
//                 (6,0) <---- (8,0)====(10,0) R2
TEST_F(SheetEditing, AWireDrawnBackwardsSurvivesARecomputeDuringTheDrag) {
  Add(KindR, Orientation::R90, 6, -4);
  Add(KindR, Orientation::R0, 10, 0);
  // Blocks the L's other corner too, so that the second leg keeps running along (6,-4).
  Add(KindR, Orientation::R90, 10, -4);
  AddWire(sheet, {8, 0}, {10, 0});
  mouse.Press({10, 0});
  ASSERT_EQ(sheet.mode, SheetMode::Wiring);
  mouse.Move({6, 0});
  mouse.Move({6, -6});
  host.Recompute(true);
  mouse.Release({6, -6});
  std::vector<std::string> wires;
  for (int i = 0; i < sheet.pictures.Count(); ++i) {
    const CPct* p = sheet.pictures.At(i);
    if (p->PictureKind() != PctLine) continue;
    wires.push_back(WireText(p));
    const auto* w = static_cast<const CLine*>(p);
    EXPECT_TRUE(w->y == w->y2 ? w->x <= w->x2 : w->y <= w->y2) << WireText(w);
  }
  // The resistor is attached: the second leg is cut out between its pins.
  EXPECT_EQ(std::count(wires.begin(), wires.end(), "(6,-6)-(6,-4)"), 1);
  EXPECT_EQ(std::count(wires.begin(), wires.end(), "(6,-2)-(6,0)"), 1);
}

// The recompute sorts the legs ahead of the wire added before them; the drag that follows,
// the release and an abort must still work on the legs and leave that wire alone.
TEST_F(SheetEditing, TheLegsAreFollowedAfterARecomputeReordersTheList) {
  for (bool abort : {false, true}) {
    SCOPED_TRACE(abort ? "aborted" : "released");
    host.ResetSheet();
    Add(KindR, Orientation::R0, 0, 0);  // pins (2,0) and (0,0)
    AddWire(sheet, {-5, 5}, {-5, 9});
    mouse.Press({2, 0});
    ASSERT_EQ(sheet.mode, SheetMode::Wiring);
    mouse.Move({5, 3});
    host.Recompute(true);
    EXPECT_TRUE(mouse.Move({7, 3}));
    if (abort) {
      EXPECT_TRUE(sheet.AbortGesture());
    } else {
      mouse.Release({7, 3});
    }
    std::vector<std::string> wires;
    for (int i = 0; i < sheet.pictures.Count(); ++i)
      if (sheet.pictures.At(i)->PictureKind() == PctLine)
        wires.push_back(WireText(sheet.pictures.At(i)));
    const std::vector<std::string> expected =
        abort ? std::vector<std::string>{"(-5,5)-(-5,9)"}
              : std::vector<std::string>{"(2,0)-(7,0)", "(7,0)-(7,3)", "(-5,5)-(-5,9)"};
    EXPECT_EQ(wires, expected);
  }
}

TEST_F(SheetEditing, RotateWaitsUntilTheMoveHasEnded) {
  CPct* r = Add(KindR, Orientation::R0, 0, 0);
  CLine* w = AddWire(sheet, {-3, 0}, {0, 0});
  mouse.Press({1, 0});
  mouse.Move({1, 3});  // the wire's second end follows the pin
  EXPECT_EQ(WireText(w), "(-3,0)-(0,3)");
  EXPECT_FALSE(sheet.Rotate(1));
  EXPECT_EQ(r->orientation, Orientation::R0);
  mouse.Release({1, 3});
  EXPECT_EQ(WireText(w), "(-3,0)-(0,3)");
  EXPECT_TRUE(sheet.Rotate(1));
  EXPECT_EQ(r->orientation, Orientation::R90);
}

// ---- the container

TEST(SheetContainer, AddElementAndClear) {
  CSheet sheet;
  EXPECT_EQ(sheet.view.Zoom, 32);
  EXPECT_EQ(sheet.mode, SheetMode::Idle);
  EXPECT_FALSE(sheet.buttonDown);
  EXPECT_EQ(sheet.pictures.Cmps, &sheet.components);

  const int meter = sheet.AddElement(KindMeter, Orientation::R90, -4, -2);
  EXPECT_EQ(meter, 0);
  const CPct* m = sheet.pictures.At(0);
  EXPECT_TRUE(m->selected);
  EXPECT_EQ(m->orientation, Orientation::R90);
  ASSERT_NE(m->cmp, nullptr);
  EXPECT_EQ(m->cmp->Id, 1);
  EXPECT_EQ(static_cast<const CElement*>(m)->Type, ElemTypes[KindMeter]);
  // Sorted by row, then column: a resistor higher up goes first.
  EXPECT_EQ(sheet.AddElement(KindR, Orientation::R0, 7, -5), 0);
  EXPECT_EQ(sheet.AddElement(KindC, Orientation::R0, 7, 5), 2);
  EXPECT_EQ(sheet.components.Count(), 3);

  sheet.pictures.Add(std::make_unique<CLine>(SPoint{0, 0}, SPoint{3, 0}, false));
  sheet.view.Zoom = 61;
  sheet.Clear();
  EXPECT_EQ(sheet.pictures.Count(), 0);
  EXPECT_EQ(sheet.components.Count(), 0);
  EXPECT_EQ(sheet.view.Zoom, 61);
  sheet.AddElement(KindR, Orientation::R0, 0, 0);
  EXPECT_EQ(sheet.components.At(0)->Id, 1);

  // A sheet of wires only loses no component.
  sheet.Clear();
  sheet.pictures.Add(std::make_unique<CLine>(SPoint{0, 0}, SPoint{3, 0}, false));
  sheet.pictures.Add(std::make_unique<CDot>(3, 0));
  sheet.Clear();
  EXPECT_EQ(sheet.pictures.Count(), 0);
}

TEST(SheetContainer, RenumberNodesGivesTheFreshMeterTwoNodes) {
  CSheet sheet;
  FakeHost host(sheet);
  host.ResetSheet();
  const CPct* m = sheet.pictures.At(0);
  EXPECT_FALSE(m->selected);
  EXPECT_EQ(Text(m->PinPos(0)), "(-4,0)");
  EXPECT_EQ(host.meter->Nodes, (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(host.readout.R, "Infinity");
}

}  // namespace

// ---- a press on the palette, edits reported once, gestures aborted

// The palette press reaches the sheet off the paint area, at (x,-4) on a hidden wire
// (x,-6)-(x,-2), where nothing may be cut. The part attaches where dropped, or, dropped
// outside, leaves the sheet, its selection and the readout exactly as they were.
TEST_F(SheetEditing, APartFromThePaletteAttachesOnlyWhereItIsDropped) {
  const SPoint pressPixel{-40, 60};  // left of the paint area, as a palette entry is
  const SPoint h = sheet.view.ScreenToGrid(pressPixel);
  const std::string wire = "W " + Text({h.x, h.y - 2}) + "-" + Text({h.x, h.y + 2});
  for (bool inside : {true, false}) {
    SCOPED_TRACE(inside ? "dropped inside" : "dropped outside");
    host.ResetSheet();
    AddWire(sheet, {h.x, h.y - 2}, {h.x, h.y + 2});
    host.Recompute(true);
    Add(KindR, Orientation::R0, 0, 0)->selected = true;
    const std::string before = sheet.pictures.Describe(), readout = host.readout.R;
    const size_t recomputes = host.recomputes.size();
    const int edits = host.editsCompleted;
    host.ArmPlacing(KindR, Orientation::R90);  // upright, along the hidden wire
    mouse.PressPixel(pressPixel);
    EXPECT_NE(sheet.pictures.Describe().find(wire), std::string::npos) << "cut at the press";
    const SPoint drop = inside ? mouse.Pixel({6, 6}) : SPoint{-60, 200};
    mouse.MovePixel(drop);
    mouse.ReleasePixel(drop);
    EXPECT_NE(sheet.pictures.Describe().find(wire), std::string::npos);
    EXPECT_EQ(sheet.components.Count(), inside ? 3 : 2);
    EXPECT_EQ(host.editsCompleted, edits + inside);
    if (!inside) {
      EXPECT_EQ(sheet.pictures.Describe(), before);
      EXPECT_EQ(host.recomputes.size(), recomputes);
      EXPECT_EQ(host.readout.R, readout);
    }
  }
}

TEST_F(SheetEditing, EveryCompletedEditIsReportedOnceAndNothingElseIs) {
  CPct* r = Add(KindR, Orientation::R0, 0, 0);
  AddWire(sheet, {2, 0}, {6, 0});
  host.Recompute(true);
  host.ScriptEntry("4k7");
  const struct {
    const char* gesture;
    int reports;
  } cases[] = {{"wire", 1},  {"move", 1},      {"click", 0},  {"pan", 0},
               {"place", 1}, {"rotate", 1},    {"delete", 1}, {"delete nothing", 0},
               {"value", 1}, {"same value", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.gesture);
    const int before = host.editsCompleted;
    const std::string g = c.gesture;
    if (g == "wire") mouse.Wire({6, 0}, {6, 3});
    if (g == "move") mouse.Drag({1, 0}, {1, 2});
    if (g == "click") mouse.Click({1, 2});
    if (g == "pan") mouse.Drag({20, 20}, {22, 21});
    if (g == "place") mouse.Place(KindC, Orientation::R90, {4, 4});
    if (g == "rotate") sheet.Rotate(1);
    if (g == "delete") sheet.DeleteSelected();
    if (g == "delete nothing") sheet.SelectOnly(-1), sheet.DeleteSelected();
    if (g == "value" || g == "same value") {
      host.PaintSheet();  // the labels are where they were last drawn
      mouse.PressPixel({r->labelRects[0].left, r->labelRects[0].top});
    }
    EXPECT_EQ(host.editsCompleted - before, c.reports);
  }
}

// Escape in the middle of each gesture puts back what was there at the press.
TEST_F(SheetEditing, AnAbortedGestureLeavesTheSheetAsAtThePress) {
  for (const std::string g : {"wire", "move with stretch and bridge", "move a wire", "place"}) {
    SCOPED_TRACE(g);
    host.ResetSheet();
    Add(KindR, Orientation::R0, 0, 0);
    for (SRect w : {SRect{2, 0, 4, 0}, SRect{4, 0, 4, 6}, SRect{0, 0, 0, 3}, SRect{-2, 0, 0, 0}})
      AddWire(sheet, {w.left, w.top}, {w.right, w.bottom});
    host.Recompute(true);
    sheet.pictures.At(0)->selected = true;
    const std::string before = sheet.pictures.Describe(), readout = host.readout.R;
    const int edits = host.editsCompleted;
    if (g == "wire") mouse.Press({2, 0}), mouse.Move({5, 0}), mouse.Move({5, 3});
    if (g[0] == 'm') mouse.Press(g == "move a wire" ? SPoint{4, 4} : SPoint{1, 0});
    if (g[0] == 'm') mouse.Move({3, -2});
    if (g == "place")
      host.ArmPlacing(KindL, Orientation::R90), mouse.Press({9, 9}), mouse.Move({2, 4});
    ASSERT_NE(sheet.pictures.Describe(), before);
    EXPECT_TRUE(sheet.AbortGesture());
    mouse.Release({2, 4});  // the release that still comes changes nothing
    EXPECT_EQ(sheet.mode, SheetMode::Idle);
    EXPECT_EQ(sheet.pictures.Describe(), before);
    EXPECT_EQ(sheet.components.Count(), 2);
    EXPECT_EQ(host.readout.R, readout);
    EXPECT_EQ(host.editsCompleted, edits);
  }
  EXPECT_FALSE(sheet.AbortGesture());
}

// ---- moves that must not join nets

//   o--R1--+--R2--+   C1 dragged straight down past the rail (or up past the top node): its
//   M      C1     C2  wires would overlap the rail and each other; they are laid round
//   o------+------+   instead, and the readout stays.
TEST(SheetMoves, DraggingALadderCapacitorAcrossTheRailKeepsItsNets) {
  for (const int dy : {4, 5, -3}) {
    MeasuredLadder ladder(2);
    SheetMouse mouse(ladder.host);
    const SReadout before = ladder.host.readout;
    const SPoint c1 = RcLadder::CapacitorCentre(0);
    mouse.Drag(c1, {c1.x, c1.y + dy});
    EXPECT_EQ(ladder.host.readout.R, before.R) << dy << ": " << ladder.sheet.pictures.Describe();
    EXPECT_EQ(ladder.host.readout.X, before.X);
  }
}

// A palette press whose release never came, then a second one dropped outside: neither part
// stays behind, and nothing is reported.
TEST_F(SheetEditing, APaletteDragWhoseReleaseWasLostLeavesNoPart) {
  const std::string before = sheet.pictures.Describe();
  const int edits = host.editsCompleted;
  host.ArmPlacing(KindR);
  mouse.PressPixel({-40, 60});  // the press of a palette entry, left of the paint area
  host.ArmPlacing(KindC);
  mouse.PressPixel({-40, 60});
  mouse.ReleasePixel({-60, 200});
  EXPECT_EQ(sheet.pictures.Describe(), before);
  EXPECT_EQ(sheet.components.Count(), 1);
  EXPECT_EQ(host.editsCompleted, edits);
}

//   meter  o (-4,-2) ---------+        R upright with its middle on the meter's top row:
//          |                  R (2,-3)  the wire to its top pin goes up first, not along R
//          o (-4,0)           R (2,-1)  from its middle; Space turns the corner back.
TEST_F(SheetEditing, AWireFromPinToPinEndsOnThePin) {
  CPct* r = Add(KindR, Orientation::R90, 2, -3);  // pins (2,-1) and (2,-3)
  mouse.Press({-4, -2});
  mouse.Move({2, -2});
  mouse.Move({2, -3});
  EXPECT_EQ(WireText(sheet.pictures.WireLeg(0)), "(-4,-2)-(-4,-3)");
  EXPECT_TRUE(sheet.FlipWireCorner());
  EXPECT_EQ(WireText(sheet.pictures.WireLeg(0)), "(-4,-2)-(2,-2)");
  EXPECT_TRUE(sheet.FlipWireCorner());
  mouse.Release({2, -3});
  EXPECT_EQ(r->cmp->Nodes[1], host.meter->Nodes[1]);
  EXPECT_FALSE(sheet.FlipWireCorner());  // no wire under way
}

//        |          The inductor's pins sit in two plain crossings, where only what runs
//   -----+-----     straight on is joined: its wires would have to leave both the way its
//        L          body lay, into one point, so the part waits where it is.
//   -----+-----
//        |
TEST_F(SheetEditing, AMoveWhoseWiresCannotFollowWaits) {
  CPct* l = Add(KindL, Orientation::R90, 3, 0);  // pins (3,2) and (3,0)
  for (SRect w : {SRect{3, -2, 3, 0}, SRect{0, 0, 3, 0}, SRect{3, 0, 6, 0}, SRect{0, 2, 3, 2},
                  SRect{3, 2, 6, 2}, SRect{3, 2, 3, 4}})
    AddWire(sheet, {w.left, w.top}, {w.right, w.bottom});
  host.Recompute(true);
  const int edits = host.editsCompleted;
  mouse.Drag({3, 1}, {-6, -6});
  EXPECT_EQ(Text({l->x, l->y}), "(3,0)");
  EXPECT_EQ(host.editsCompleted, edits);
}
