// Wiring clean-up and node numbering of the picture list: merging and cutting wires, fitting
// dropped elements into wires, junction dots and the spreading of node numbers.
#include <algorithm>
#include <unordered_map>
#include <utility>
#include <vector>

#include "components/CCmp.h"
#include "sheet/CPcts.h"
#include "sheet/PointKey.h"

namespace {

// Ends from the four axis directions and nothing else.
constexpr int32_t PlainCrossing = DirBit(PinDirCode::East) | DirBit(PinDirCode::South) |
                                  DirBit(PinDirCode::West) | DirBit(PinDirCode::North);
constexpr int32_t DotBit = DirBit(PinDirCode::Dot);

// Sorted, distinct coordinates along one grid line.
using Stops = std::unordered_map<int32_t, std::vector<int32_t>>;

void SortStops(Stops& stops) {
  for (auto& [line, v] : stops) {
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
  }
}

// The stops lying strictly between lo and hi on one grid line.
std::pair<const int32_t*, const int32_t*> StopsInside(const Stops& stops, int32_t line, int32_t lo,
                                                      int32_t hi) {
  const auto it = stops.find(line);
  if (it == stops.end()) return {nullptr, nullptr};
  const auto& v = it->second;
  const auto first = std::upper_bound(v.begin(), v.end(), lo);
  const auto last = std::lower_bound(first, v.end(), hi);
  return {v.data() + (first - v.begin()), v.data() + (last - v.begin())};
}

}  // namespace

// ---- normalisation

void CPcts::Normalize() {
  Sort();
  RemoveDuplicateDots();
  MergeWires();
  CutWiresAtConnections();
}

void CPcts::RemoveDuplicateDots() {
  // The list is sorted, so equal dots are neighbours and the dots end where another kind starts.
  int i = 0;
  while (i < Count() - 1) {
    const CPct* a = At(i);
    if (a->PictureKind() == PctDot) {
      const CPct* b = At(i + 1);
      if (b->PictureKind() != PctDot) break;
      if (a->x == b->x && a->y == b->y) {
        DeleteAt(i + 1);
        continue;
      }
    }
    ++i;
  }
}

void CPcts::MergeWires() {
  // The early stops rely on the sort: wires by the row, then the column of their first end.
  int i = 0;
  while (i < Count() - 1) {
    CLine* p = AsLine(At(i));
    bool merged = false;
    if (p != nullptr && (p->IsHorizontal() || p->IsVertical())) {
      for (int j = i + 1; j < Count(); ++j) {
        CLine* q = AsLine(At(j));
        if (q == nullptr) continue;
        if (p->IsHorizontal() && !q->IsHorizontal()) continue;
        if (p->IsVertical() && !q->IsVertical()) continue;
        if (p->IsHorizontal()) {
          if (q->y != p->y || p->x2 < q->x) break;
          p->x2 = std::max(p->x2, q->x2);
        } else {
          if (p->y2 < q->y) break;
          if (q->x != p->x) continue;
          p->y2 = std::max(p->y2, q->y2);
        }
        DeleteAt(j);
        merged = true;
        break;
      }
    }
    if (!merged) ++i;
  }
}

void CPcts::CutWiresAtConnections() {
  // Cutting every wire at one connection point after the other ends with each axis-parallel
  // wire replaced, in its place, by its pieces in ascending order, cut at every connection
  // point strictly inside it. Building that result directly keeps large sheets fast.
  Stops rows, columns;
  for (const auto& p : items) {
    for (int k = 0; k < p->PinCount(); ++k) {
      const SPoint c = p->PinPos(k);
      rows[c.y].push_back(c.x);
      columns[c.x].push_back(c.y);
    }
  }
  SortStops(rows);
  SortStops(columns);

  std::vector<std::unique_ptr<CPct>> result;
  result.reserve(items.size());
  for (auto& p : items) {
    CLine* w = AsLine(p.get());
    std::pair<const int32_t*, const int32_t*> cuts{nullptr, nullptr};
    const bool horizontal = w != nullptr && w->IsHorizontal();
    if (w != nullptr && horizontal && w->x < w->x2) {
      cuts = StopsInside(rows, w->y, w->x, w->x2);
    } else if (w != nullptr && !horizontal && w->IsVertical() && w->y < w->y2) {
      cuts = StopsInside(columns, w->x, w->y, w->y2);
    }
    if (cuts.first == cuts.second) {
      result.push_back(std::move(p));
      continue;
    }
    auto piece = std::move(p);
    for (const int32_t* c = cuts.first; c != cuts.second; ++c) {
      auto rest = std::make_unique<CLine>(*w);  // keeps selection, visited and move marks
      (horizontal ? w->x2 : w->y2) = *c;
      (horizontal ? rest->x : rest->y) = *c;
      result.push_back(std::move(piece));
      w = rest.get();
      piece = std::move(rest);
    }
    result.push_back(std::move(piece));
  }
  items = std::move(result);
}

void CPcts::RemoveZeroWires() {
  int i = 0;
  while (i < Count()) {
    const CLine* w = AsLine(At(i));
    if (w != nullptr && w->x == w->x2 && w->y == w->y2) {
      DeleteAt(i);
    } else {
      ++i;
    }
  }
}

void CPcts::AddDot(SPoint p) {
  for (const auto& q : items)
    if (q->PictureKind() == PctDot && q->x == p.x && q->y == p.y) return;
  InsertSorted(std::make_unique<CDot>(p.x, p.y));
}

// ---- elements dropped on wires

namespace {

// How an element's pins lie on one wire: how many (counting stops at three), the first with
// its pin index, and the second.
struct SPinsOnWire {
  int found = 0;
  int m1 = -1;
  SPoint p1;
  SPoint p2;
};

SPinsOnWire PinsOnWire(const CPct* e, const CLine* w) {
  SPinsOnWire r;
  for (int m = 0; m < e->PinCount() && r.found < 3; ++m) {
    const SPoint pin = e->PinPos(m);
    if (!w->HitPoint(pin)) continue;
    if (r.found == 0) {
      r.p1 = pin;
      r.m1 = m;
    } else if (r.found == 1) {
      r.p2 = pin;
    }
    ++r.found;
  }
  return r;
}

// What CutWiresUnder does to one wire: nothing, a change reported though no end moves (an end
// set to the pin where it already is), or a real change.
enum WireCut { CutNothing = 0, CutInPlace = 1, CutMoves = 2 };

WireCut CutOf(const CPct* e, const CLine* w, const SPinsOnWire& on) {
  if (on.found == 1) {
    const PinDirCode d = e->PinDir(on.m1);
    const bool horizontal = w->IsHorizontal();
    const bool vertical = !horizontal && w->IsVertical();
    if ((horizontal && d == PinDirCode::East) || (vertical && d == PinDirCode::South))
      return w->x2 == on.p1.x && w->y2 == on.p1.y ? CutInPlace : CutMoves;
    if ((horizontal && d == PinDirCode::West) || (vertical && d == PinDirCode::North))
      return w->x == on.p1.x && w->y == on.p1.y ? CutInPlace : CutMoves;
    return CutNothing;
  }
  if (on.found == 2) {
    const SPoint mid{static_cast<int32_t>((int64_t{on.p1.x} + on.p2.x) / 2),
                     static_cast<int32_t>((int64_t{on.p1.y} + on.p2.y) / 2)};
    return e->BodyContains(mid) ? CutMoves : CutNothing;
  }
  return CutNothing;
}

// The wires through each grid point (a superset of those whose HitPoint is true there), or
// nothing when the wires are too long to list point by point.
using WireCover = std::unordered_map<uint64_t, std::vector<const CLine*>>;

bool BuildWireCover(const CPcts& list, WireCover& cover) {
  cover.clear();
  int64_t budget = 8 * int64_t{list.Count()} + 1024;
  for (int k = 0; k < list.Count(); ++k) {
    const CPct* p = list.At(k);
    if (p->PictureKind() != PctLine) continue;
    const auto* w = static_cast<const CLine*>(p);
    if (w->y == w->y2 || w->x == w->x2) {
      const bool horizontal = w->y == w->y2;
      const int32_t from = horizontal ? std::min(w->x, w->x2) : std::min(w->y, w->y2);
      const int32_t to = horizontal ? std::max(w->x, w->x2) : std::max(w->y, w->y2);
      budget -= int64_t{to} - from + 1;
      if (budget < 0) return false;
      for (int64_t t = from; t <= to; ++t) {
        const SPoint at = horizontal ? SPoint{static_cast<int32_t>(t), w->y}
                                     : SPoint{w->x, static_cast<int32_t>(t)};
        cover[PointKey(at)].push_back(w);
      }
    } else {
      cover[PointKey({w->x, w->y})].push_back(w);
      cover[PointKey({w->x2, w->y2})].push_back(w);
    }
  }
  return true;
}

// Sorted and free of zero-length wires: the clean-up after a cut would change nothing.
bool Tidy(const CPcts& list) {
  for (int k = 0; k < list.Count(); ++k) {
    const CPct* p = list.At(k);
    if (k > 0 && CPcts::Compare(*list.At(k - 1), *p) > 0) return false;
    if (p->PictureKind() == PctLine) {
      const auto* w = static_cast<const CLine*>(p);
      if (w->x == w->x2 && w->y == w->y2) return false;
    }
  }
  return true;
}

}  // namespace

bool CPcts::CutWiresUnder(int i) {
  const CPct* e = At(i);
  bool changed = false;
  for (int k = 0; k < Count(); ++k) {
    CLine* w = AsLine(At(k));
    if (w == nullptr) continue;

    const SPinsOnWire on = PinsOnWire(e, w);
    const int found = on.found, m1 = on.m1;
    SPoint p1 = on.p1, p2 = on.p2;

    if (found == 1) {
      // Drop the part of the wire that runs under the body, beyond the pin.
      const PinDirCode d = e->PinDir(m1);
      const bool horizontal = w->IsHorizontal();
      const bool vertical = !horizontal && w->IsVertical();
      if ((horizontal && d == PinDirCode::East) || (vertical && d == PinDirCode::South)) {
        w->x2 = p1.x;
        w->y2 = p1.y;
        changed = true;
      } else if ((horizontal && d == PinDirCode::West) || (vertical && d == PinDirCode::North)) {
        w->x = p1.x;
        w->y = p1.y;
        changed = true;
      }
    } else if (found == 2) {
      const SPoint mid{static_cast<int32_t>((int64_t{p1.x} + p2.x) / 2),
                       static_cast<int32_t>((int64_t{p1.y} + p2.y) / 2)};
      if (!e->BodyContains(mid)) continue;
      changed = true;
      const SPoint a{w->x, w->y}, b{w->x2, w->y2};
      if ((p1 == a && p2 == b) || (p1 == b && p2 == a)) {
        w->x2 = w->x;  // the element replaces the whole wire
        w->y2 = w->y;
      } else {
        // A wire caught reversed in the middle of an edit would keep both pins after the cut
        // and be cut again forever; in its normal order the cut leaves one pin on each piece.
        w->Normalize();
        if (p2.x < p1.x || p2.y < p1.y) std::swap(p1, p2);
        auto n = std::make_unique<CLine>(*w);
        w->x2 = p1.x;
        w->y2 = p1.y;
        n->x = p2.x;
        n->y = p2.y;
        // Before w, so that the walk meets w again next and finds only one pin on it.
        InsertAt(k, std::move(n));
      }
    }
  }
  if (changed) {
    RemoveZeroWires();
    Sort();
  }
  return changed;
}

bool CPcts::AttachElements() {
  // Elements sort first, so wires inserted or removed behind them leave their indices alone.
  // On a tidy list the wires at each pin are looked up instead of walking every wire for
  // every element; an element that would move nothing then needs no walk and no clean-up.
  bool changed = false;
  WireCover cover;
  bool indexed = Tidy(*this) && BuildWireCover(*this, cover);
  for (int i = 0; i < Count(); ++i) {
    const CPct* e = At(i);
    if (e->PictureKind() != PctElement) continue;
    if (indexed) {
      WireCut cut = CutNothing;
      for (int m = 0; m < e->PinCount() && cut != CutMoves; ++m) {
        const auto it = cover.find(PointKey(e->PinPos(m)));
        if (it == cover.end()) continue;
        for (const CLine* w : it->second) cut = std::max(cut, CutOf(e, w, PinsOnWire(e, w)));
      }
      if (cut == CutNothing) continue;
      if (cut == CutInPlace) {
        changed = true;
        continue;
      }
    }
    if (CutWiresUnder(i)) changed = true;
    indexed = Tidy(*this) && BuildWireCover(*this, cover);
  }
  return changed;
}

// ---- node numbering

PointRecord& CPcts::RecordAt(SPoint p) {
  const auto [it, added] = pointIndex.try_emplace(PointKey(p), static_cast<int32_t>(points.size()));
  if (added) points.push_back({p.x, p.y, 0, 0});
  return points[static_cast<size_t>(it->second)];
}

int CPcts::RecordIndex(SPoint p) const {
  // RecordAt is the only way records are made, so the lookup table holds every one of them.
  const auto it = pointIndex.find(PointKey(p));
  return it != pointIndex.end() ? it->second : -1;
}

int CPcts::PointMask(SPoint p) const {
  const int k = RecordIndex(p);
  return k >= 0 ? points[static_cast<size_t>(k)].mask : 0;
}

void CPcts::Renumber() {
  Normalize();
  RecordConnectionPoints();
  if (RemoveIdleDots()) Normalize();
  AddJunctionDots();
  for (auto& q : items) q->visited = 0;
  BuildPinIndex();
  NumberFromElements();
  pinIndex.clear();
  points.clear();
  pointIndex.clear();
}

void CPcts::RecordConnectionPoints() {
  points.clear();
  pointIndex.clear();
  for (const auto& q : items) {
    for (int k = 0; k < q->PinCount(); ++k) {
      const PinDirCode d = q->PinDir(k);
      PointRecord& r = RecordAt(q->PinPos(k));
      r.mask |= DirBit(d);
      if (d != PinDirCode::Dot) ++r.count;
    }
  }
}

bool CPcts::RemoveIdleDots() {
  // Dots where two or fewer ends meet join nothing that is not joined already.
  bool deleted = false;
  int i = 0;
  while (i < Count()) {
    const CPct* q = At(i);
    if (q->PictureKind() == PctDot) {
      const int k = RecordIndex({q->x, q->y});
      if (k >= 0 && points[static_cast<size_t>(k)].count <= 2) {
        points[static_cast<size_t>(k)].mask &= ~DotBit;
        DeleteAt(i);
        deleted = true;
        continue;
      }
    }
    ++i;
  }
  return deleted;
}

void CPcts::AddJunctionDots() {
  for (auto& r : points) {
    if (r.count >= 3 && (r.mask & DotBit) == 0 && r.mask != PlainCrossing) {
      AddDot({r.x, r.y});
      r.mask |= DotBit;
    }
  }
}

void CPcts::NumberFromElements() {
  // Each pin without a number starts a new one; numbers spread from the pins in list order.
  int next = 1;
  for (int e = 0; e < Count(); ++e) {
    CPct* q = At(e);
    if (q->PictureKind() != PctElement || q->cmp == nullptr) continue;
    for (int m = 0; m < q->PinCount(); ++m) {
      auto& nodes = q->cmp->Nodes;
      if (static_cast<size_t>(m) >= nodes.size()) break;
      const int node = nodes[static_cast<size_t>(m)];
      if (node >= 0) {
        Propagate(q->PinDir(m), node, q->PinPos(m));
      } else {
        nodes[static_cast<size_t>(m)] = next;
        Propagate(q->PinDir(m), next, q->PinPos(m));
        ++next;
      }
    }
  }
}

void CPcts::BuildPinIndex() {
  // Only elements and wires carry numbers; dots are joined through the records' masks.
  pinIndex.clear();
  for (int i = 0; i < Count(); ++i) {
    const CPct* q = At(i);
    const int kind = q->PictureKind();
    if (kind != PctElement && kind != PctLine) continue;
    for (int m = 0; m < q->PinCount(); ++m) pinIndex[PointKey(q->PinPos(m))].push_back({i, m});
  }
}

void CPcts::MergeNodes(CCmp& c, int m, int& node) {
  if (static_cast<size_t>(m) >= c.Nodes.size()) return;
  int32_t& v = c.Nodes[static_cast<size_t>(m)];
  int from = 0, to = 0;
  if (v < 0) {
    v = node;
    return;
  }
  if (v == node) return;
  // The lower number survives.
  if (v > node) {
    from = v;
    to = node;
  } else {
    from = node;
    to = v;
    node = v;
  }
  if (Cmps != nullptr) {
    Cmps->ReplaceNode(from, to);
    return;
  }
  for (const auto& q : items) {
    if (q->PictureKind() != PctElement || q->cmp == nullptr) continue;
    for (auto& n : q->cmp->Nodes)
      if (n == from) n = to;
  }
}

int CPcts::Propagate(std::optional<PinDirCode> dir, int node, SPoint p) {
  // The walk along the wires, with an explicit stack instead of recursion so that long
  // chains of wires cannot exhaust the call stack. Each frame is one visit of a point and
  // resumes its scan of the point's connection points, in list order, where it left off.
  struct Frame {
    std::optional<PinDirCode> dir;
    const std::vector<PinRef>* refs;
    size_t next;
    int32_t picture;  // picture of the last entry examined
    bool accepted;    // whether that picture was open to the walk when first met here
  };
  std::vector<Frame> stack;
  const auto enter = [&](std::optional<PinDirCode> d, SPoint at) {
    // Across a plain crossing numbers pass straight through only; there every direction is
    // a quarter, so Opposite applies.
    if (PointMask(at) != PlainCrossing) d.reset();
    const auto it = pinIndex.find(PointKey(at));
    stack.push_back({d, it != pinIndex.end() ? &it->second : nullptr, 0, -1, false});
  };

  enter(dir, p);
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.refs == nullptr || f.next >= f.refs->size()) {
      stack.pop_back();
      continue;
    }
    const auto [i, m] = (*f.refs)[f.next++];
    CPct* q = At(i);
    if (i != f.picture) {
      f.picture = i;
      f.accepted = q->PictureKind() == PctElement || q->visited == 0;
    }
    if (!f.accepted) continue;
    if (f.dir && q->PinDir(m) != Opposite(*f.dir)) continue;
    if (q->PictureKind() == PctLine) {
      q->visited = 1;
      enter(q->PinDir(1 - m), q->PinPos(1 - m));  // invalidates f
    } else if (q->cmp != nullptr) {
      MergeNodes(*q->cmp, m, node);
    }
  }
  return node;
}
