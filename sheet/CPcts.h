// The sheet's ordered picture list with its geometric operations: ordering and lookups,
// selection, normalisation of the wiring, node numbering, moving and wire drawing.
// List order decides hit priority and the order of numbering.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "sheet/CPct.h"
#include "view/Canvas.h"
#include "view/Geometry.h"

class CCmp;
class CCmps;
class CVC;

// The grid coordinates a sheet may use, as its file holds them: component positions within
// ±SheetCoordinateLimit (beyond, fine units and pixels would overflow), every other point
// (pins, wire ends, dots) within ±SheetPointLimit, which reaches the pins of a component at
// the limit.
constexpr int32_t SheetCoordinateLimit = 1000000;
constexpr int32_t SheetPinReach = 2;  // the farthest a pin lies from its component's position
constexpr int32_t SheetPointLimit = SheetCoordinateLimit + SheetPinReach;

class CPcts {
 public:
  CPcts() = default;
  virtual ~CPcts();
  CPcts(const CPcts&) = delete;
  CPcts& operator=(const CPcts&) = delete;

  // Node merging during numbering goes through the sheet's component list.
  CCmps* Cmps = nullptr;  // not owned

  // ---- list, ordering, lookups, selection
  int Count() const { return static_cast<int>(items.size()); }
  CPct* At(int i) const { return items[static_cast<size_t>(i)].get(); }
  void InsertAt(int i, std::unique_ptr<CPct> p);
  void DeleteAt(int i);
  void Clear();
  static int Compare(const CPct& a, const CPct& b);
  void Sort();
  int InsertSorted(std::unique_ptr<CPct> p);
  int Add(std::unique_ptr<CPct> p) { return InsertSorted(std::move(p)); }
  // Only the pictures that reach into `within` (grid units), when given.
  void DrawAll(Canvas& canvas, const CVC& view, const SRect* within = nullptr);
  int FindAt(PictureFilter kind, SPoint p) const;
  int CountEndsNear(SPoint fine, SPoint grid) const;
  int FindNear(SPoint fine, SPoint grid) const;
  int FindLabel(int& j, SPoint screen) const;
  void SelectOnly(int i);
  void DeselectNonElements();
  int CountSelected() const;
  int SelectedElement() const;
  bool SelectedIsMeter(const CCmp* meter) const;

  // ---- connectivity
  // Leaves the list sorted.
  void Normalize();
  // The steps of Normalize() between its sorts, in their order.
  void RemoveDuplicateDots();
  void MergeWires();
  void CutWiresAtConnections();
  bool RemoveZeroWires();  // true if any went
  // Brings any wiring into the form an edit leaves: wires in order of their ends, no wire of
  // zero length, normalised, and no wire under a body. The form is a fixed point: settling a
  // settled list changes nothing, so a sheet read back is the sheet that was written. True
  // when it removed a wire (of zero length, or under a body), which may change the nodes.
  bool Settle();
  // On a normalised list: deletes the wires that attaching would cut away whole.
  bool RemoveWiresUnderBodies();
  void AddDot(SPoint p);
  bool CutWiresUnder(int i);
  bool AttachElements();
  // Normalises the wiring and numbers its nodes (sheet/Numbering.cpp).
  void Renumber();

  // ---- editing
  void StartWire(SPoint p);
  void DragWire(SPoint q);
  void BeginMove();
  // Moves the selection by d, its wires following; false (and nothing moved) when they could
  // not follow without joining two nets.
  bool MoveSelection(SPoint d);
  void EndMove();
  void MoveNewElement(SPoint d);
  // Points the L of the wire being drawn the other way round its corner.
  void FlipWireCorner();
  // The part of step d that MoveSelection (or MoveNewElement) may take with every moving
  // point within the limits; a picture placed beyond them gets the step that brings it back.
  SPoint LimitMove(SPoint d) const;
  SPoint LimitPlacing(SPoint d) const;
  static SPoint LimitPoint(SPoint p);
  // The step that brings picture p within the limits: none when it lies within them.
  static SPoint IntoLimits(const CPct& p);

  // ---- the pictures a gesture under way works on. Deleting a picture forgets it here, so
  // each is the live picture or null whatever the list's order; the legs go as a pair.
  CLine* WireLeg(int k) const { return wireLegs[k]; }
  bool LegFree() const { return legFree; }
  void ForgetWire() { wireLegs[0] = wireLegs[1] = nullptr; }
  CPct* NewElement() const { return newElement; }
  void SetNewElement(CPct* e) { newElement = e; }
  // Deletes picture p if it is in the list.
  void Remove(const CPct* p);

  // A text rendering for tests and debugging, one picture per entry in list order:
  // "E1 (4,0) o0 | D (5,0) | W (0,0)-(4,0)"; selected pictures carry a trailing '*'.
  std::string Describe() const;

 private:
  friend class CNodeNumbering;

  void Forget(const CPct* p);
  // Deletes, in one pass, every picture for which `gone` is true (called once per picture in
  // list order); true if any went.
  bool RemovePictures(const std::function<bool(const CPct&)>& gone);

  // A wire that follows a move: a stretched wire or a bridge from `fixed` to the moving point,
  // with the extra legs of a detour that keeps it off other nets.
  struct SRubber {
    CLine* wire = nullptr;      // not owned; null once deleted
    bool movingSecond = false;  // which end of `wire` follows the move
    SPoint fixed;
    SPoint start;  // the moving end where the move began
    int net = 0;
    // The direction in which it must leave `fixed`: there a plain crossing joins only what
    // runs straight on.
    std::optional<PinDirCode> lead;
    std::vector<CLine*> legs;  // not owned
  };
  // The net of every connection point when the move began, by picture and pin.
  void LabelNets();
  int NetAt(const CPct* p, int pin) const;
  void StretchWireAt(SPoint at);
  void BridgeAt(SPoint at, int net, std::optional<PinDirCode> lead);
  // Lays every rubber wire from its fixed end to where its moving end is now; false when one
  // could find no way that joins no other net.
  bool RouteRubbers();
  void LayRubber(SRubber& r, const std::vector<SPoint>& path);
  // Moves the selection and the wires carried whole by d.
  void ShiftMovers(SPoint d);
  // Whether the L of the wire being drawn has a leg that attaching would trim or cut.
  bool WireLegsCut() const;

  std::vector<SRubber> rubbers;
  std::unordered_map<const CPct*, std::vector<int>> moveNets;
  SPoint moveOffset;

  std::vector<std::unique_ptr<CPct>> items;
  CLine* wireLegs[2] = {nullptr, nullptr};  // not owned: items holds them
  bool legFree = false;                     // the first leg may still turn (see DragWire)
  CPct* newElement = nullptr;               // not owned: items holds it
};
