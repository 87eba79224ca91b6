// Whole edits done the way a user does them, through the sheet's mouse operations only, with
// the readout that the main window would show after each one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeHost.h"
#include "SheetBuilder.h"
#include "components/CCmp.h"
#include "sheet/CPct.h"
#include "sheet/CSheet.h"

namespace {

const CPct* ElementOf(const CSheet& sheet, int kind) {
  for (int i = 0; i < sheet.pictures.Count(); ++i) {
    const CPct* p = sheet.pictures.At(i);
    if (p->PictureKind() == PctElement && p->cmp->Type == ElemTypes[kind]) return p;
  }
  return nullptr;
}

SPoint Centre(const SRect& r) {
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

//   meter pin 1 (-4,-2) ---------------- (0,-2) resistor pin 1
//                                            R  (vertical, centre (0,-1))
//   meter pin 0 (-4, 0) ---------------- (0, 0) resistor pin 0
TEST(Scenario, PlaceWireRetypeAndDeleteAResistorAcrossTheMeter) {
  CSheet sheet;
  FakeHost host(sheet);
  SheetMouse mouse(host);
  host.ResetSheet();
  EXPECT_EQ(host.readout.R, "Infinity");

  // From the palette: the first press lands near the window's corner, the first move brings
  // the resistor under the pointer, the release inside the paint box keeps it.
  host.ArmPlacing(KindR, Orientation::R90);
  sheet.MouseDown({4, 3});
  host.PaintSheet();
  EXPECT_TRUE(sheet.MouseMove(mouse.Pixel({0, -1})));
  sheet.MouseUp(host.client, mouse.Pixel({0, -1}));
  const CPct* r = ElementOf(sheet, KindR);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->PinPos(0), (SPoint{0, 0}));
  EXPECT_EQ(r->PinPos(1), (SPoint{0, -2}));
  EXPECT_EQ(host.readout.R, "Infinity");  // not connected yet

  mouse.Wire({-4, -2}, {0, -2});
  EXPECT_EQ(host.readout.R, "Infinity");
  mouse.Wire({-4, 0}, {0, 0});
  EXPECT_FALSE(sheet.buttonDown);
  EXPECT_EQ(host.readout.R, "1e+3");
  EXPECT_FALSE(host.readout.X.has_value());

  // The value label opens the parameter entry; the new value is measured without renumbering.
  host.ScriptEntry("4k7");
  ASSERT_EQ(r->labelCount, 1);
  const SPoint label = Centre(r->labelRects[0]);
  const size_t recomputes = host.recomputes.size();
  mouse.PressPixel(label);
  mouse.ReleasePixel(label);
  EXPECT_EQ(host.editedLabel, "Resistance, Ohm");
  ASSERT_EQ(host.recomputes.size(), recomputes + 1);
  EXPECT_FALSE(host.recomputes.back());
  EXPECT_EQ(host.readout.R, "4.7e+3");
  EXPECT_FALSE(sheet.buttonDown);

  // Select by a press on the body, then Delete as the toolbar does it.
  host.onEditParameter = nullptr;
  mouse.Click({0, -1});
  EXPECT_TRUE(r->selected);
  ASSERT_TRUE(sheet.CanDelete(host.meter));
  sheet.DeleteSelected();
  host.UpdateReadoutState();
  host.Recompute(true);
  EXPECT_EQ(ElementOf(sheet, KindR), nullptr);
  EXPECT_EQ(sheet.components.Count(), 1);
  EXPECT_EQ(host.readout.R, "Infinity");
}

TEST(Scenario, AnInductorReadsItsReactanceAndMovingItAwayOpensTheCircuit) {
  CSheet sheet;
  FakeHost host(sheet);
  SheetMouse mouse(host);
  host.ResetSheet();
  host.frequency = 1.0;
  host.frequencyUnit = 1;  // kHz

  // An inductor dropped straight across the meter's pins connects without wires.
  mouse.Place(KindL, Orientation::R90, {-4, -1});
  host.ScriptEntry("1m");
  const CPct* l = ElementOf(sheet, KindL);
  ASSERT_NE(l, nullptr);
  mouse.PressPixel(Centre(l->labelRects[0]));
  mouse.ReleasePixel(Centre(l->labelRects[0]));
  ASSERT_TRUE(host.hasReactive);
  EXPECT_EQ(host.readout.R, "0");
  EXPECT_EQ(host.readout.X, "6.28");

  // Dragging it away leaves bridges from the meter's pins, which carry the connection.
  host.onEditParameter = nullptr;
  mouse.Drag({-4, -1}, {-1, -1});
  EXPECT_EQ(host.readout.X, "6.28");
  EXPECT_EQ(l->RefPoint(), (SPoint{-1, -1}));

  // Deleting one bridge opens the circuit.
  int wires = 0;
  for (int i = 0; i < sheet.pictures.Count(); ++i)
    wires += sheet.pictures.At(i)->PictureKind() == PctLine;
  EXPECT_EQ(wires, 2);
  mouse.Click({-2, 0});  // the interior of the lower bridge
  sheet.DeleteSelected();
  EXPECT_EQ(host.readout.R, "Infinity");
}

TEST(Scenario, ALadderDrawnWithTheMouseEqualsTheBuiltOne) {
  for (int sections : {1, 3}) {
    SCOPED_TRACE(sections);
    CSheet drawn;
    FakeHost drawnHost(drawn);
    drawnHost.client = {0, 0, 1200, 480};  // every drop lands inside the paint box
    drawnHost.ResetSheet();
    SheetMouse mouse(drawnHost);
    DrawRcLadder(mouse, sections);
    drawnHost.UpdateReadoutState();
    drawnHost.Recompute(true);

    CSheet built;
    FakeHost builtHost(built);
    builtHost.ResetSheet();
    BuildRcLadder(built, sections);
    builtHost.UpdateReadoutState();
    builtHost.Recompute(true);

    // Equal positions may sit in a different order, so the pictures are compared as sets.
    EXPECT_EQ(PictureSet(drawn.pictures), PictureSet(built.pictures));
    EXPECT_EQ(drawnHost.readout.R, builtHost.readout.R);
    EXPECT_EQ(drawnHost.readout.X, builtHost.readout.X);
    if (sections == 1) {
      // 1k in series with 1n at 1 Hz: 1000 - j159.15e6.
      EXPECT_EQ(builtHost.readout.R, "1e+3");
      EXPECT_EQ(builtHost.readout.X, "-159e+6");
    }
  }
}

}  // namespace
