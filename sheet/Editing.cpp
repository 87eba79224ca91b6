// The picture list's part of the mouse editing: drawing a two-legged wire, moving the
// selection with its connections, and carrying a new element under the pointer.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "sheet/CPcts.h"
#include "sheet/PointKey.h"

namespace {

// One distinct connection point met while a move starts.
struct MoveRecord {
  int32_t x = 0;
  int32_t y = 0;
  int32_t selectedCount = 0;
  int32_t unselectedCount = 0;
  int32_t unselectedWireCount = 0;
  int net = -1;      // of a moving connection point here
  int32_t mask = 0;  // DirBit of every connection point here, as in the numbering
  PinDirCode movingDir = PinDirCode::Dot;  // of a moving connection point here
};

}  // namespace

void CPcts::StartWire(SPoint p) {
  legFree = true;
  for (CLine*& leg : wireLegs) {
    auto line = std::make_unique<CLine>(p, p, true);
    leg = line.get();
    InsertAt(Count(), std::move(line));
  }
}

void CPcts::DragWire(SPoint q) {
  // A recompute that deleted a leg since StartWire leaves no wire to drag.
  CLine* leg1 = wireLegs[0];
  CLine* leg2 = wireLegs[1];
  if (leg1 == nullptr || leg2 == nullptr) return;

  const SPoint s{leg1->x, leg1->y};
  SPoint k{leg1->x2, leg1->y2};
  const bool horizontal = s.y == k.y;
  if (legFree) {
    if (k == s) {
      // The first step away from the start chooses the first leg's direction.
      if (s.x == q.x)
        k.y = q.y;
      else
        k.x = q.x;
    } else if (horizontal) {
      k.x = q.x;
      if (k.y != q.y) legFree = false;
    } else {
      k.y = q.y;
      if (k.x != q.x) legFree = false;
    }
  } else {
    if (k == q) {
      legFree = true;
    } else if (horizontal) {
      if (s.x == q.x) {
        k = q;  // back on the perpendicular through the start: the L flips
        legFree = true;
      } else {
        k.x = q.x;
      }
    } else {
      if (s.y == q.y) {
        k = q;
        legFree = true;
      } else {
        k.y = q.y;
      }
    }
  }
  leg1->x2 = k.x;
  leg1->y2 = k.y;
  leg2->x = k.x;
  leg2->y = k.y;
  leg2->x2 = q.x;
  leg2->y2 = q.y;
  // A leg that would run along a part's body is cut away when the wire is attached: the L
  // turns the other way round when that way is clear.
  if (WireLegsCut()) {
    FlipWireCorner();
    if (WireLegsCut()) FlipWireCorner();
  }
}

void CPcts::FlipWireCorner() {
  CLine* leg1 = wireLegs[0];
  CLine* leg2 = wireLegs[1];
  if (leg1 == nullptr || leg2 == nullptr) return;
  const SPoint s{leg1->x, leg1->y}, k{leg1->x2, leg1->y2}, q{leg2->x2, leg2->y2};
  if (s.x == q.x || s.y == q.y) return;  // a straight wire has no corner to turn
  const SPoint across{q.x, s.y};
  const SPoint turned = k == across ? SPoint{s.x, q.y} : across;
  leg1->x2 = turned.x;
  leg1->y2 = turned.y;
  leg2->x = turned.x;
  leg2->y = turned.y;
  legFree = false;
}

void CPcts::BeginMove() {
  rubbers.clear();
  moveOffset = {0, 0};
  LabelNets();
  std::vector<MoveRecord> records;
  std::unordered_map<uint64_t, size_t> recordAt;
  for (int i = 0; i < Count(); ++i) {
    CPct* p = At(i);
    p->moveMode = MoveMode::Whole;
    const bool wire = p->PictureKind() == PctLine;
    for (int k = 0; k < p->PinCount(); ++k) {
      const SPoint pos = p->PinPos(k);
      auto [it, added] = recordAt.try_emplace(PointKey(pos), records.size());
      if (added) records.push_back(MoveRecord{pos.x, pos.y, 0, 0, 0, -1, 0, PinDirCode::Dot});
      MoveRecord& r = records[it->second];
      r.mask |= DirBit(p->PinDir(k));
      if (p->selected) {
        ++r.selectedCount;
        r.net = NetAt(p, k);
        r.movingDir = p->PinDir(k);
      } else {
        ++r.unselectedCount;
        if (wire) ++r.unselectedWireCount;
      }
    }
  }
  for (const MoveRecord& r : records) {
    if (r.selectedCount == 0 || r.unselectedCount == 0) continue;
    // Where only what runs straight on is joined, a bridge must leave as the pin did.
    std::optional<PinDirCode> lead;
    if (r.mask == PlainCrossing) lead = r.movingDir;
    if (r.unselectedCount == 1 && r.unselectedWireCount == 1)
      StretchWireAt({r.x, r.y});
    else
      BridgeAt({r.x, r.y}, r.net, lead);
  }
  // A stretched wire whose far end is a plain crossing keeps leaving it as it did.
  for (SRubber& rubber : rubbers) {
    if (rubber.fixed == rubber.start) continue;  // a bridge, led above
    const auto it = recordAt.find(PointKey(rubber.fixed));
    if (it == recordAt.end() || records[it->second].mask != PlainCrossing) continue;
    rubber.lead = rubber.wire->PinDir(rubber.movingSecond ? 0 : 1);
  }
}

void CPcts::StretchWireAt(SPoint at) {
  // The one fixed wire ending here stretches to follow the moving end.
  for (int i = 0; i < Count(); ++i) {
    CLine* w = AsLine(At(i));
    if (w == nullptr || w->selected) continue;
    const bool first = w->x == at.x && w->y == at.y;
    if (!first && !(w->x2 == at.x && w->y2 == at.y)) continue;
    const auto other =
        std::find_if(rubbers.begin(), rubbers.end(), [w](const SRubber& r) { return r.wire == w; });
    if (other != rubbers.end()) {
      // Both ends follow the move: the wire goes along whole.
      rubbers.erase(other);
      w->moveMode = MoveMode::BothEnds;
      continue;
    }
    w->moveMode = first ? MoveMode::FirstEnd : MoveMode::SecondEnd;
    const SPoint fixed = first ? SPoint{w->x2, w->y2} : SPoint{w->x, w->y};
    rubbers.push_back({w, !first, fixed, at, NetAt(w, 0), std::nullopt, {}});
  }
}

void CPcts::BridgeAt(SPoint at, int net, std::optional<PinDirCode> lead) {
  // Several things stay here: a new wire bridges from them to the moving point.
  auto bridge = std::make_unique<CLine>(at, at, false);
  CLine* raw = bridge.get();
  InsertSorted(std::move(bridge));
  raw->moveMode = MoveMode::FirstEnd;
  rubbers.push_back({raw, false, at, at, net, lead, {}});
}

void CPcts::ShiftMovers(SPoint d) {
  for (int i = 0; i < Count(); ++i) {
    CPct* p = At(i);
    const bool whole = p->moveMode == MoveMode::Whole && p->selected;
    if (!whole && p->moveMode != MoveMode::BothEnds) continue;
    p->x += d.x;
    p->y += d.y;
    if (CLine* w = AsLine(p)) {
      w->x2 += d.x;
      w->y2 += d.y;
    }
  }
  moveOffset = moveOffset + d;
}

bool CPcts::MoveSelection(SPoint d) {
  ShiftMovers(d);
  if (rubbers.empty() || RouteRubbers()) return true;
  // The selection stays where its wires could still follow.
  ShiftMovers(SPoint{0, 0} - d);
  RouteRubbers();
  return false;
}

void CPcts::EndMove() {
  for (int i = 0; i < Count(); ++i) {
    CPct* p = At(i);
    if (p->moveMode != MoveMode::Whole) {
      if (CLine* w = AsLine(p)) w->Normalize();
    }
    p->moveMode = MoveMode::Whole;
  }
  rubbers.clear();
  moveNets.clear();
  RemoveZeroWires();
}

void CPcts::MoveNewElement(SPoint d) {
  if (newElement == nullptr) return;
  newElement->x += d.x;
  newElement->y += d.y;
}
