// The schematic sheet: owns its view, pictures and components and turns left-button mouse
// gestures into edits.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "components/CCmp.h"
#include "sheet/CPcts.h"
#include "sheet/SheetHost.h"
#include "view/CVC.h"
#include "view/Geometry.h"

// What the left button is doing on the sheet.
enum class SheetMode : int32_t {
  Idle = 0,
  Placing = 1,
  Wiring = 2,
  Pressed = 3,
  Moving = 4,
  Panning = 5,
};

// Cursor ids handed to SheetHost::SetSheetCursor.
enum SheetCursor : int {
  CursorDraw = 1,
  CursorArrow = 2,
  CursorHand = 3,
  CursorGrab = 4,
  CursorShow = 6
};

class CSheet {
 public:
  explicit CSheet(SheetHost* host = nullptr);
  ~CSheet();
  CSheet(const CSheet&) = delete;
  CSheet& operator=(const CSheet&) = delete;

  void SelectOnly(int i) { pictures.SelectOnly(i); }
  void DeselectNonElements() { pictures.DeselectNonElements(); }
  int AddElement(int kind, Orientation orientation, int x, int y);
  void Clear();

  // A press on a palette entry: the next press on the sheet places an element of `kind`
  // turned to `orientation`.
  void ArmPlacing(int kind, Orientation orientation);
  int ArmedKind() const { return armedKind; }
  Orientation ArmedOrientation() const { return armedOrientation; }

  void MouseDown(SPoint point);
  bool MouseMove(SPoint point);
  // A placed element is kept only when released inside `rect`, the paint area.
  void MouseUp(const SRect& rect, SPoint point);
  void UpdateCursor(SPoint point);
  void DeleteSelected();
  // Turns the selected element by r quarter turns; false when none is selected or a wire,
  // move or placing is under way.
  bool Rotate(int r);
  // Aborts the wire, move or placing under way and puts the sheet back as it was at the
  // press, selection included; false when no such gesture was under way.
  bool AbortGesture();
  // Turns the L of the wire being drawn the other way round its corner; false when no wire is
  // being drawn.
  bool FlipWireCorner();

  // The wiring half of a recompute: wires and dots lose their selection, every pin gets
  // node -1 and the nodes are numbered again from the wiring.
  void RenumberNodes();

  // The enabling rules of the toolbar's Delete and Rotate: no mouse operation under way, and
  // a selection that may be deleted (not the meter) or rotated (a component picture).
  bool CanDelete(const CCmp* meter) const;
  bool CanRotate() const;

  // The component whose value label j lies under a screen point, and that label's slot;
  // null when no value label lies there.
  CCmp* LabelledAt(SPoint screen, int& j);
  // True while a wire, a move or a placing is under way.
  bool Busy() const { return GestureOpen(); }

  SheetHost* Host = nullptr;  // not owned
  SheetMode mode = SheetMode::Idle;
  // Declared before the lists so that destruction frees components, then pictures, then view.
  CVC view;
  CPcts pictures;
  CCmps components;
  SPoint mouse;
  SPoint panLast;
  SPoint grid;
  SPoint prevGrid;
  SPoint fine;
  bool buttonDown = false;

 private:
  int armedKind = -1;
  Orientation armedOrientation = Orientation::R0;
  // A wire has begun (StartWire) and not yet ended; its legs are the list's to track.
  bool wireStarted = false;
  // A move has begun (BeginMove) and not yet ended.
  bool moveStarted = false;
  // What an aborted gesture puts back: the selection at the press, and the pictures as they
  // were when the gesture began to change them.
  std::vector<bool> pressSelection;
  std::vector<std::unique_ptr<CPct>> gestureStart;
  bool gestureStartTaken = false;
  // The wiring was renumbered while a gesture was under way.
  bool renumberedInGesture = false;
  // The paint area at the last release: where a placing whose release was lost is judged.
  SRect lastRect{0, 0, -1, -1};
  // A wire, move or placed element not yet finished.
  bool GestureOpen() const;
  // Ends a gesture whose release never came as if released where the pointer was last seen.
  void EndLostGesture();
  void TakeGestureStart();
  bool SameAsGestureStart() const;
  // Fits to the wiring the elements that the gesture under way placed, moved or wired to.
  void AttachChanged();
  // Ends the wire or move under way (also one whose release never came); true if it did.
  bool FinishEdits(bool wiring, bool moving);
  // The parts of a press: what every press does first, a press that places the armed
  // element, and one on value label j of picture `labelled`, which opens its dialog.
  void BeginPress(SPoint point);
  void PlaceArmedElement(SPoint point);
  void EditLabel(int labelled, int j);
};
