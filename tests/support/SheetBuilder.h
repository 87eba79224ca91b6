// Drawing on a sheet the way a user does: mouse gestures given in grid points, and an RC
// ladder for tests and benchmarks.
#pragma once

#include <string>
#include <vector>

#include "FakeHost.h"
#include "sheet/CSheet.h"
#include "view/Geometry.h"

// Drives the sheet's mouse operations at the pixels of grid points, as the main window
// forwards them. The view's origin must be set (any painting through the host does that).
class SheetMouse {
 public:
  explicit SheetMouse(FakeHost& h) : host(h) {}

  SPoint Pixel(SPoint grid) const;
  void Press(SPoint grid);
  bool Move(SPoint grid);
  void Release(SPoint grid);
  void PressPixel(SPoint pixel);
  bool MovePixel(SPoint pixel);
  void ReleasePixel(SPoint pixel);

  // A component from the palette, dropped with its body centre on `centre`.
  void Place(int kind, Orientation orientation, SPoint centre);
  // A wire from a pin or wire end at `from` to `to` (an L through `corner` when given).
  void Wire(SPoint from, SPoint to);
  void Wire(SPoint from, SPoint corner, SPoint to);
  // Press at `from`, one move to `to`, release there.
  void Drag(SPoint from, SPoint to);
  // Press and release on the same grid point.
  void Click(SPoint at);

  FakeHost& host;
};

// Grid layout of the ladder drawn on a sheet that holds the meter at (-4, -2), orientation 1:
// section k has a horizontal resistor from (4k, -2) to (4k + 2, -2), a wire on to (4k + 4, -2)
// and a vertical capacitor from there down to the common rail at y = 0; the meter's pins are
// wired to (0, -2) and along the rail to the last capacitor.
struct RcLadder {
  static SPoint ResistorCentre(int k) { return {4 * k + 1, -2}; }
  static SPoint CapacitorCentre(int k) { return {4 * k + 4, -1}; }
};

// Adds the ladder's pictures straight to the list (no recompute); elements end unselected.
void BuildRcLadder(CSheet& sheet, int sections);
// Draws the same ladder with the mouse, each step finished by the host's recompute.
void DrawRcLadder(SheetMouse& mouse, int sections);

// A sheet holding the meter and a measured ladder of `sections` sections, with its host.
struct MeasuredLadder {
  explicit MeasuredLadder(int sections) : host(sheet) {
    host.ResetSheet();
    BuildRcLadder(sheet, sections);
    host.UpdateReadoutState();
    host.Recompute(true);
  }
  CSheet sheet;
  FakeHost host;
};

// The entries of CPcts::Describe, sorted: compares two lists regardless of the order in which
// pictures with equal sort keys happen to stand.
std::vector<std::string> PictureSet(const CPcts& list);
