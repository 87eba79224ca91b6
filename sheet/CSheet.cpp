// The sheet: its construction, the creation and removal of components with their pictures,
// and the mouse gestures that edit it.
#include "sheet/CSheet.h"

#include <algorithm>
#include <memory>
#include <tuple>
#include <vector>

#include "sheet/CElement.h"

namespace {

std::vector<bool> Selection(const CPcts& list) {
  std::vector<bool> flags(static_cast<size_t>(list.Count()));
  for (int i = 0; i < list.Count(); ++i) flags[static_cast<size_t>(i)] = list.At(i)->selected;
  return flags;
}

void RestoreSelection(CPcts& list, const std::vector<bool>& flags) {
  if (static_cast<int>(flags.size()) != list.Count()) return;
  for (int i = 0; i < list.Count(); ++i) list.At(i)->selected = flags[static_cast<size_t>(i)];
}

std::unique_ptr<CPct> Clone(const CPct& p) {
  switch (p.PictureKind()) {
    case PctElement:
      return std::make_unique<CElement>(static_cast<const CElement&>(p));
    case PctDot:
      return std::make_unique<CDot>(static_cast<const CDot&>(p));
    case PctLine:
      return std::make_unique<CLine>(static_cast<const CLine&>(p));
    default:
      return std::make_unique<CPct>(p);
  }
}

// What a picture adds to the sheet's content, selection and marks aside.
using PictureKey = std::tuple<int, int32_t, int32_t, int, const CCmp*, int32_t, int32_t>;

PictureKey KeyOf(const CPct& p) {
  const auto* w = p.PictureKind() == PctLine ? static_cast<const CLine*>(&p) : nullptr;
  return {p.PictureKind(), p.x,           p.y,          QuarterTurns(p.orientation),
          p.cmp,           w ? w->x2 : 0, w ? w->y2 : 0};
}

// The content of a list, whatever order pictures with equal sort keys stand in.
std::vector<PictureKey> Content(const CPcts& list) {
  std::vector<PictureKey> keys;
  keys.reserve(static_cast<size_t>(list.Count()));
  for (int i = 0; i < list.Count(); ++i) keys.push_back(KeyOf(*list.At(i)));
  std::sort(keys.begin(), keys.end());
  return keys;
}

int FirstSelected(const CPcts& list) {
  for (int i = 0; i < list.Count(); ++i)
    if (list.At(i)->selected) return i;
  return -1;
}

}  // namespace

CSheet::CSheet(SheetHost* host) : Host(host) {
  pictures.Cmps = &components;
  view.Zoom = DefaultZoom;
  view.PanX = 0.0;
  view.PanY = 0.0;
}

// Members go in reverse order of declaration: components, then pictures, then the view.
CSheet::~CSheet() = default;

int CSheet::AddElement(int kind, Orientation orientation, int x, int y) {
  if (kind < 0 || kind >= ElemKindCount || ElemTypes[kind] == nullptr) return -1;
  auto element = std::make_unique<CElement>(ElemTypes[kind]);
  element->selected = true;
  element->x = x;
  element->y = y;
  element->orientation = orientation;
  element->cmp = components.Create(kind);
  return pictures.InsertSorted(std::move(element));
}

void CSheet::ArmPlacing(int kind, Orientation orientation) {
  // A placing, wire or move whose release never came ends before the new placing starts.
  if (GestureOpen()) EndLostGesture();
  mode = SheetMode::Placing;
  armedKind = kind;
  armedOrientation = orientation;
}

void CSheet::Clear() {
  // Every component belongs to an element picture: clearing the list removes them all at
  // once instead of looking each one up.
  components.Clear();
  pictures.Clear();
  wireStarted = false;
  moveStarted = false;
  gestureStart.clear();
  gestureStartTaken = false;
  mode = SheetMode::Idle;
  buttonDown = false;
}

bool CSheet::GestureOpen() const {
  return wireStarted || moveStarted || pictures.NewElement() != nullptr;
}

void CSheet::EndLostGesture() {
  MouseUp(lastRect, mouse);
}

void CSheet::TakeGestureStart() {
  gestureStart.clear();
  gestureStart.reserve(static_cast<size_t>(pictures.Count()));
  for (int i = 0; i < pictures.Count(); ++i) gestureStart.push_back(Clone(*pictures.At(i)));
  gestureStartTaken = true;
  renumberedInGesture = false;
}

bool CSheet::SameAsGestureStart() const {
  if (!gestureStartTaken || static_cast<int>(gestureStart.size()) != pictures.Count()) return false;
  std::vector<PictureKey> start;
  start.reserve(gestureStart.size());
  for (const auto& p : gestureStart) start.push_back(KeyOf(*p));
  std::sort(start.begin(), start.end());
  return start == Content(pictures);
}

bool CSheet::FinishEdits(bool wiring, bool moving) {
  const bool wire = wiring || wireStarted;
  const bool move = moving || moveStarted;
  if (!wire && !move) return false;
  if (wire) {
    for (int k = 0; k < 2; ++k)
      if (CLine* leg = pictures.WireLeg(k)) leg->Normalize();
    pictures.ForgetWire();
    wireStarted = false;
    pictures.RemoveZeroWires();
  }
  if (move) {
    pictures.EndMove();
    moveStarted = false;
  }
  // A recompute in the middle of the gesture may have merged or cut a reversed leg or a
  // stretched wire into pieces that no leg or move mode reaches any more; attaching
  // elements to a reversed wire would cut it without end, so every wire is put right here.
  for (int i = 0; i < pictures.Count(); ++i) {
    CPct* p = pictures.At(i);
    if (p->PictureKind() == PctLine) static_cast<CLine*>(p)->Normalize();
  }
  pictures.Sort();
  AttachChanged();
  return true;
}

void CSheet::AttachChanged() {
  if (!gestureStartTaken) {
    pictures.AttachElements();
    return;
  }
  // Only elements that the gesture placed or moved, or whose pins its new wires reach, are
  // fitted to the wiring: wiring it left alone is never cut again behind the user's back.
  std::vector<PictureKey> start;
  start.reserve(gestureStart.size());
  for (const auto& p : gestureStart) start.push_back(KeyOf(*p));
  std::sort(start.begin(), start.end());
  const auto isNew = [&](const CPct& p) {
    return !std::binary_search(start.begin(), start.end(), KeyOf(p));
  };
  std::vector<const CPct*> changedWires, touched;
  for (int i = 0; i < pictures.Count(); ++i)
    if (pictures.At(i)->PictureKind() == PctLine && isNew(*pictures.At(i)))
      changedWires.push_back(pictures.At(i));
  for (int i = 0; i < pictures.Count(); ++i) {
    const CPct* e = pictures.At(i);
    if (e->PictureKind() != PctElement) continue;
    bool reached = isNew(*e);
    for (int m = 0; m < e->PinCount() && !reached; ++m)
      for (const CPct* w : changedWires) reached = reached || w->HitPoint(e->PinPos(m));
    if (reached) touched.push_back(e);
  }
  // Elements sort first: cutting wires moves no element's index.
  for (int i = 0; i < pictures.Count(); ++i)
    if (std::find(touched.begin(), touched.end(), pictures.At(i)) != touched.end())
      pictures.CutWiresUnder(i);
}

void CSheet::BeginPress(SPoint point) {
  // A wire, move or placing whose release was lost ends before this press starts anything.
  if (GestureOpen()) EndLostGesture();

  buttonDown = true;
  pressSelection = Selection(pictures);
  mouse = point;
  panLast = point;
  grid = view.ScreenToGrid(point);
  fine = view.ScreenToFine(point);
  prevGrid = grid;
}

void CSheet::PlaceArmedElement(SPoint point) {
  SelectOnly(-1);
  TakeGestureStart();
  const int i = AddElement(armedKind, armedOrientation, grid.x, grid.y);
  if (i < 0) {
    // Nothing placeable was armed: the press ends the placing.
    mode = SheetMode::Idle;
    gestureStart.clear();
    gestureStartTaken = false;
    UpdateCursor(point);
    return;
  }
  CPct* e = pictures.At(i);
  const SPoint c = e->RefPoint();
  e->x += grid.x - c.x;
  e->y += grid.y - c.y;
  pictures.SetNewElement(e);
  pictures.MoveNewElement(pictures.LimitPlacing({0, 0}));
  // The press point lies wherever the palette entry is, usually off the visible sheet: the
  // element joins the wiring only where it is dropped.
  if (Host != nullptr) Host->PaintSheet();
  UpdateCursor(point);
}

namespace {

// The component's parameter that label j shows; null where it has none. Label j belongs to
// parameter j; a stale rectangle must not reach past the table.
CParam* LabelParam(CCmp* c, int j) {
  CParam* table = c != nullptr ? c->Params() : nullptr;
  if (table == nullptr || j < 0) return nullptr;
  for (int k = 0; k <= j; ++k) {
    if (table[k].Caption == nullptr) return nullptr;
  }
  return &table[j];
}

}  // namespace

CCmp* CSheet::LabelledAt(SPoint screen, int& j) {
  const int labelled = pictures.FindLabel(j, screen);
  if (labelled < 0) return nullptr;
  CCmp* c = pictures.At(labelled)->cmp;
  return LabelParam(c, j) != nullptr ? c : nullptr;
}

void CSheet::EditLabel(int labelled, int j) {
  SelectOnly(labelled);
  if (Host != nullptr) Host->PaintSheet();
  CCmp* c = pictures.At(labelled)->cmp;
  const CParam* parameter = LabelParam(c, j);
  if (parameter != nullptr && Host != nullptr) {
    const SParam* slot = parameter->Value;
    const SParam before = slot != nullptr ? *slot : SParam{};
    Host->EditParameter(*c, j);
    if (slot != nullptr && (slot->Text != before.Text || slot->Value != before.Value))
      Host->EditCompleted();
  }
  // The dialog is modal: the button was released while it was open, so the gesture is over
  // here; a release that still arrives finds the sheet idle.
  buttonDown = false;
}

void CSheet::MouseDown(SPoint point) {
  BeginPress(point);
  if (mode == SheetMode::Placing) {
    PlaceArmedElement(point);
    return;
  }

  mode = SheetMode::Idle;
  if (pictures.FindAt(PictureFilter::Dot, grid) < 0 && pictures.CountEndsNear(fine, grid) > 0) {
    SelectOnly(-1);
    mode = SheetMode::Wiring;
    TakeGestureStart();
    pictures.StartWire(grid);
    wireStarted = true;
    UpdateCursor(point);
    return;
  }

  int j = -1;
  const int labelled = pictures.FindLabel(j, point);
  if (labelled >= 0 && j >= 0) {
    EditLabel(labelled, j);
    return;
  }

  const int i = pictures.FindNear(fine, grid);
  if (i >= 0) {
    SelectOnly(i);
    mode = SheetMode::Pressed;
  } else {
    SelectOnly(-1);
    mode = SheetMode::Panning;
  }
  UpdateCursor(point);
}

bool CSheet::MouseMove(SPoint point) {
  mouse = point;
  grid = view.ScreenToGrid(point);
  fine = view.ScreenToFine(point);
  const SPoint d = grid - prevGrid;
  const bool stepped = !(d == SPoint{0, 0});

  switch (mode) {
    case SheetMode::Panning:
      if (point == panLast) return false;
      // The view stops where a file could no longer hold it.
      view.PanX = std::clamp(view.PanX - static_cast<double>(point.x - panLast.x) / view.Zoom,
                             -double{SheetCoordinateLimit}, double{SheetCoordinateLimit});
      view.PanY = std::clamp(view.PanY - static_cast<double>(point.y - panLast.y) / view.Zoom,
                             -double{SheetCoordinateLimit}, double{SheetCoordinateLimit});
      panLast = point;
      return true;
    case SheetMode::Placing:
      if (!stepped) return false;
      prevGrid = grid;
      // Placing armed from the palette follows the pointer only once the element exists.
      if (pictures.NewElement() == nullptr) return false;
      pictures.MoveNewElement(pictures.LimitPlacing(d));
      return true;
    case SheetMode::Wiring:
      if (!stepped) return false;
      prevGrid = grid;
      if (pictures.WireLeg(0) == nullptr) {
        wireStarted = false;  // a recompute took the legs: nothing is left to finish
        return false;
      }
      pictures.DragWire(CPcts::LimitPoint(grid));
      return true;
    case SheetMode::Pressed:
    case SheetMode::Moving:
      if (!stepped) return false;
      if (mode == SheetMode::Pressed) {
        TakeGestureStart();
        pictures.BeginMove();
        moveStarted = true;
        mode = SheetMode::Moving;
      }
      // A step its wires cannot follow without joining nets is not taken: the selection
      // waits where it is until the pointer reaches a place they can.
      if (pictures.MoveSelection(pictures.LimitMove(d)))
        prevGrid = grid;
      else if (Host != nullptr)
        Host->MoveRefused();
      return true;
    default:
      UpdateCursor(point);
      prevGrid = grid;
      return false;
  }
}

void CSheet::MouseUp(const SRect& rect, SPoint point) {
  lastRect = rect;
  mouse = point;
  grid = view.ScreenToGrid(point);
  fine = view.ScreenToFine(point);
  buttonDown = false;
  // A wire or move ends here, or one that a palette press interrupted.
  bool changed = FinishEdits(mode == SheetMode::Wiring, mode == SheetMode::Moving);

  switch (mode) {
    case SheetMode::Placing:
      if (CPct* e = pictures.NewElement()) {
        if (rect.Contains(point)) {
          AttachChanged();
          changed = true;
        } else {
          if (e->cmp != nullptr) components.Remove(e->cmp);
          pictures.Remove(e);
          RestoreSelection(pictures, pressSelection);
          if (Host != nullptr) Host->PaintSheet();
        }
      }
      pictures.SetNewElement(nullptr);
      if (Host != nullptr) Host->UpdateReadoutState();
      break;
    default:
      break;  // a press without a grid step only selects
  }

  mode = SheetMode::Idle;
  UpdateCursor(point);
  if (changed && Host != nullptr) {
    Host->Recompute(true);
    // A wire drawn back to its start or a part moved back to its place changed nothing.
    if (!SameAsGestureStart()) Host->EditCompleted();
  }
  gestureStart.clear();
  gestureStartTaken = false;
}

bool CSheet::AbortGesture() {
  const bool gesture = mode == SheetMode::Placing || mode == SheetMode::Wiring ||
                       mode == SheetMode::Pressed || mode == SheetMode::Moving;
  if (!gesture && !GestureOpen()) return false;
  // Placing armed by a palette entry whose press made nothing yet has no selection to put back.
  const bool restore = mode != SheetMode::Placing || pictures.NewElement() != nullptr;
  if (CPct* placed = pictures.NewElement(); placed != nullptr && placed->cmp != nullptr)
    components.Remove(placed->cmp);
  if (gestureStartTaken) {
    // The pictures as they were, whatever the gesture or a recompute in its middle did.
    pictures.Clear();
    for (auto& p : gestureStart) pictures.InsertAt(pictures.Count(), std::move(p));
  }
  gestureStart.clear();
  gestureStartTaken = false;
  pictures.SetNewElement(nullptr);
  pictures.ForgetWire();
  wireStarted = false;
  moveStarted = false;
  if (restore) RestoreSelection(pictures, pressSelection);
  mode = SheetMode::Idle;
  buttonDown = false;
  if (Host != nullptr) {
    Host->UpdateReadoutState();
    // Nodes numbered from the gesture's wiring are numbered again from the restored one.
    if (renumberedInGesture)
      Host->Recompute(true);
    else
      Host->PaintSheet();
  }
  renumberedInGesture = false;
  return true;
}

bool CSheet::FlipWireCorner() {
  if (mode != SheetMode::Wiring || pictures.WireLeg(0) == nullptr) return false;
  pictures.FlipWireCorner();
  return true;
}

void CSheet::UpdateCursor(SPoint point) {
  if (Host == nullptr) return;
  int id = CursorHand;
  switch (mode) {
    case SheetMode::Placing:
    case SheetMode::Pressed:
    case SheetMode::Moving:
    case SheetMode::Panning:
      id = CursorGrab;
      break;
    case SheetMode::Wiring:
      id = CursorDraw;
      break;
    default: {
      const SPoint g = view.ScreenToGrid(point);
      const SPoint f = view.ScreenToFine(point);
      int j = -1;
      if (pictures.FindAt(PictureFilter::Dot, g) < 0 && pictures.CountEndsNear(f, g) > 0)
        id = CursorDraw;
      else if (pictures.FindLabel(j, point) >= 0 && j >= 0)
        id = CursorArrow;
      else if (pictures.FindNear(f, g) >= 0)
        id = CursorShow;
      break;
    }
  }
  Host->SetSheetCursor(id);
}

void CSheet::DeleteSelected() {
  // Nothing is taken out from under a gesture: it would end half done.
  if (GestureOpen()) return;
  const int i = FirstSelected(pictures);
  const std::vector<PictureKey> before = Content(pictures);
  bool deleted = false;
  if (i >= 0) {
    CPct* p = pictures.At(i);
    // The host keeps a pointer to the meter's component: removing it would leave the
    // measurement reading freed memory, so the meter stays whatever asks for its removal.
    const bool meter = p->cmp != nullptr && Host != nullptr && p->cmp == Host->Meter();
    if (!meter) {
      if (p->cmp != nullptr) components.Remove(p->cmp);
      pictures.DeleteAt(i);
      deleted = true;
    }
  }
  if (Host != nullptr) {
    Host->Recompute(true);
    // A junction dot deleted comes back with the numbering: then nothing changed.
    if (deleted && Content(pictures) != before) Host->EditCompleted();
  }
}

bool CSheet::Rotate(int r) {
  const int i = pictures.SelectedElement();
  // Stretched wires are unnormalised until the move ends; attaching to them must wait.
  if (i < 0 || GestureOpen()) return false;
  CPct* e = pictures.At(i);
  e->Rotate(r);
  // Turning about the body centre moves the position: at the limit it is moved back in.
  const SPoint back = CPcts::IntoLimits(*e);
  e->x += back.x;
  e->y += back.y;
  pictures.CutWiresUnder(i);
  if (Host != nullptr) {
    Host->Recompute(true);
    Host->EditCompleted();
  }
  return true;
}

bool CSheet::CanDelete(const CCmp* meter) const {
  return !buttonDown && pictures.CountSelected() > 0 && !pictures.SelectedIsMeter(meter);
}

bool CSheet::CanRotate() const {
  return !buttonDown && pictures.SelectedElement() >= 0;
}

void CSheet::RenumberNodes() {
  if (GestureOpen()) renumberedInGesture = true;
  DeselectNonElements();
  for (int i = 0; i < components.Count(); ++i) {
    CCmp* c = components.At(i);
    for (int32_t& node : c->Nodes) node = -1;
  }
  pictures.Renumber();
}
