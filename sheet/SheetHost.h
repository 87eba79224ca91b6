// What the sheet asks of the main window. The program's main window implements it; tests use
// a fake host that records the calls.
#pragma once

class CCmp;

class SheetHost {
 public:
  virtual ~SheetHost() = default;
  virtual void PaintSheet() = 0;
  virtual void Recompute(bool renumber) = 0;
  virtual void UpdateReadoutState() = 0;
  virtual void SetSheetCursor(int id) = 0;
  // Shows the parameter dialog modally on parameter `index` of `cmp`, centred over the main
  // window.
  virtual void EditParameter(CCmp& cmp, int index) = 0;
  virtual CCmp* Meter() const = 0;
  // Called once when an edit of the sheet is complete (after the release that ends it, a
  // deletion, a rotation or a value accepted in the parameter dialog), after its recompute.
  // Gestures that are aborted or change nothing do not report.
  virtual void EditCompleted() {}
  // A step of a move was not taken: the wires of the moving part could not follow it without
  // joining two nets.
  virtual void MoveRefused() {}
};
