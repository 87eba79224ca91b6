// Wiring clean-up of the picture list: merging and cutting wires, fitting dropped elements
// into wires. Node numbering is in Numbering.cpp.
#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "components/CCmp.h"
#include "sheet/CPcts.h"
#include "sheet/PointKey.h"

namespace {

// Sorted, distinct (line, coordinate) pairs: the stops along each grid line, in one block.
using Stops = std::vector<std::pair<int32_t, int32_t>>;
using Stop = std::pair<int32_t, int32_t>;

void SortStops(Stops& stops) {
  std::sort(stops.begin(), stops.end());
  stops.erase(std::unique(stops.begin(), stops.end()), stops.end());
}

// The stops lying strictly between lo and hi on one grid line.
std::pair<const Stop*, const Stop*> StopsInside(const Stops& stops, int32_t line, int32_t lo,
                                                int32_t hi) {
  const auto first = std::upper_bound(stops.begin(), stops.end(), Stop{line, lo});
  const auto last = std::lower_bound(first, stops.end(), Stop{line, hi});
  return {stops.data() + (first - stops.begin()), stops.data() + (last - stops.begin())};
}

}  // namespace

// ---- normalisation

void CPcts::Normalize() {
  Sort();
  RemoveDuplicateDots();
  MergeWires();
  CutWiresAtConnections();
  // Pieces stand where their wire stood; sorted, the list is written and read back in the
  // same order.
  Sort();
}

bool CPcts::Settle() {
  for (auto& p : items)
    if (CLine* w = AsLine(p.get())) w->Normalize();
  // Normalising changes no node by the rules; these two steps can.
  bool rejoined = RemoveZeroWires();
  Normalize();
  if (RemoveWiresUnderBodies()) {
    Normalize();
    rejoined = true;
  }
  return rejoined;
}

void CPcts::RemoveDuplicateDots() {
  // The list is sorted, so equal dots are neighbours and the dots end where another kind
  // starts; each dot is compared with the last one kept before it.
  const CPct* kept = nullptr;
  bool dotsEnded = false;
  RemovePictures([&](const CPct& p) {
    const bool duplicate = !dotsEnded && kept != nullptr && kept->PictureKind() == PctDot &&
                           p.PictureKind() == PctDot && p.x == kept->x && p.y == kept->y;
    if (kept != nullptr && kept->PictureKind() == PctDot && p.PictureKind() != PctDot)
      dotsEnded = true;
    if (!duplicate) kept = &p;
    return duplicate;
  });
}

namespace {

// Successor chains through the wires of one row, one column or one point, in list order.
struct SWireChains {
  static constexpr int32_t End = -1;
  std::vector<int32_t> row, column, point;
  std::vector<char> gone;

  explicit SWireChains(const std::vector<std::unique_ptr<CPct>>& items)
      : row(items.size(), End),
        column(items.size(), End),
        point(items.size(), End),
        gone(items.size(), 0) {
    std::unordered_map<int32_t, int32_t> lastRow, lastColumn;
    std::unordered_map<uint64_t, int32_t> lastPoint;
    const auto link = [](auto& last, auto key, std::vector<int32_t>& next, int32_t i) {
      const auto [it, added] = last.try_emplace(key, i);
      if (!added) next[static_cast<size_t>(std::exchange(it->second, i))] = i;
    };
    for (size_t k = 0; k < items.size(); ++k) {
      const CLine* w = AsLine(items[k].get());
      if (w == nullptr) continue;
      const auto i = static_cast<int32_t>(k);
      if (w->IsHorizontal()) link(lastRow, w->y, row, i);
      if (w->IsVertical()) link(lastColumn, w->x, column, i);
      if (w->IsHorizontal() && w->IsVertical()) link(lastPoint, PointKey({w->x, w->y}), point, i);
    }
  }

  // The first wire after i on the chain that is still there; later walks skip the gone ones.
  int32_t Next(std::vector<int32_t>& next, int32_t i) {
    int32_t j = next[static_cast<size_t>(i)];
    while (j != End && gone[static_cast<size_t>(j)] != 0) j = next[static_cast<size_t>(j)];
    next[static_cast<size_t>(i)] = j;
    return j;
  }
};

}  // namespace

void CPcts::MergeWires() {
  // Each wire p in list order swallows the wires after it on its line that start at or before
  // its far end, up to the first that does not (a wire of zero length only its duplicates).
  // The list is sorted, so the chains of p's row, column or point hold exactly the wires that
  // walking the rest of the list would meet, in the same order.
  SWireChains chains(items);
  bool merged = false;
  for (size_t k = 0; k < items.size(); ++k) {
    CLine* p = AsLine(items[k].get());
    if (p == nullptr || chains.gone[k] != 0) continue;
    const bool horizontal = p->IsHorizontal(), vertical = p->IsVertical();
    if (!horizontal && !vertical) continue;
    std::vector<int32_t>& next = horizontal && vertical ? chains.point
                                 : horizontal           ? chains.row
                                                        : chains.column;
    const auto i = static_cast<int32_t>(k);
    for (int32_t j = chains.Next(next, i); j != SWireChains::End; j = chains.Next(next, i)) {
      const CLine* q = AsLine(items[static_cast<size_t>(j)].get());
      if (vertical && !horizontal) {
        if (p->y2 < q->y) break;
        p->y2 = std::max(p->y2, q->y2);
      } else {
        if (p->x2 < q->x) break;
        p->x2 = std::max(p->x2, q->x2);
      }
      chains.gone[static_cast<size_t>(j)] = 1;
      merged = true;
    }
  }
  if (!merged) return;
  size_t k = 0;
  RemovePictures([&](const CPct&) { return chains.gone[k++] != 0; });
}

void CPcts::CutWiresAtConnections() {
  // Cutting every wire at one connection point after the other ends with each axis-parallel
  // wire replaced, in its place, by its pieces in ascending order, cut at every connection
  // point strictly inside it. Building that result directly keeps large sheets fast.
  Stops rows, columns;
  for (const auto& p : items) {
    for (int k = 0; k < p->PinCount(); ++k) {
      const SPoint c = p->PinPos(k);
      rows.emplace_back(c.y, c.x);
      columns.emplace_back(c.x, c.y);
    }
  }
  SortStops(rows);
  SortStops(columns);

  std::vector<std::unique_ptr<CPct>> result;
  result.reserve(items.size());
  for (auto& p : items) {
    CLine* w = AsLine(p.get());
    std::pair<const Stop*, const Stop*> cuts{nullptr, nullptr};
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
    for (const Stop* c = cuts.first; c != cuts.second; ++c) {
      auto rest = std::make_unique<CLine>(*w);  // keeps selection, visited and move marks
      (horizontal ? w->x2 : w->y2) = c->second;
      (horizontal ? rest->x : rest->y) = c->second;
      result.push_back(std::move(piece));
      w = rest.get();
      piece = std::move(rest);
    }
    result.push_back(std::move(piece));
  }
  items = std::move(result);
}

bool CPcts::RemoveZeroWires() {
  return RemovePictures([](const CPct& p) {
    const auto* w = p.PictureKind() == PctLine ? static_cast<const CLine*>(&p) : nullptr;
    return w != nullptr && w->x == w->x2 && w->y == w->y2;
  });
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

// The side of pin m, along a horizontal or vertical line, where another pin of the element
// lies on that line with the body between them: +1 toward larger coordinates, -1 toward
// smaller, 0 for none. No wire may run between two such pins; one that holds the pin but not
// the other is cut back to the pin on that side. The rule looks at the pins, not at how the
// wire is cut into pieces, so settling a sheet twice cuts nothing more.
int PartnerSide(const CPct* e, int m, bool horizontal) {
  const SPoint p = e->PinPos(m);
  for (int k = 0; k < e->PinCount(); ++k) {
    const SPoint q = e->PinPos(k);
    if (k == m || (horizontal ? q.y != p.y : q.x != p.x)) continue;
    const SPoint mid{static_cast<int32_t>((int64_t{p.x} + q.x) / 2),
                     static_cast<int32_t>((int64_t{p.y} + q.y) / 2)};
    if (e->BodyContains(mid)) return (horizontal ? q.x > p.x : q.y > p.y) ? 1 : -1;
  }
  return 0;
}

// The end of w that the single pin on1 cuts back to itself: 2 the second, 1 the first, 0 none.
int EndCutToPin(const CPct* e, const CLine* w, int m1) {
  const bool horizontal = w->IsHorizontal();
  if (!horizontal && !w->IsVertical()) return 0;
  const int side = PartnerSide(e, m1, horizontal);
  return side > 0 ? 2 : side < 0 ? 1 : 0;
}

// Where an element cuts one wire: nowhere, one end back to the single pin on the wire, or out
// between its two pins where the body lies between them. The one rule of both the clean-up
// and the check whether a clean-up would move anything.
enum class CutAt { Nowhere, FirstEnd, SecondEnd, BetweenPins };

CutAt WhereToCut(const CPct* e, const CLine* w, const SPinsOnWire& on) {
  if (on.found == 1) {
    const int end = EndCutToPin(e, w, on.m1);
    return end == 2 ? CutAt::SecondEnd : end == 1 ? CutAt::FirstEnd : CutAt::Nowhere;
  }
  if (on.found == 2) {
    const SPoint mid{static_cast<int32_t>((int64_t{on.p1.x} + on.p2.x) / 2),
                     static_cast<int32_t>((int64_t{on.p1.y} + on.p2.y) / 2)};
    return e->BodyContains(mid) ? CutAt::BetweenPins : CutAt::Nowhere;
  }
  return CutAt::Nowhere;
}

// What CutWiresUnder does to one wire: nothing, a change reported though no end moves (an end
// set to the pin where it already is), or a real change.
enum WireCut { CutNothing = 0, CutInPlace = 1, CutMoves = 2 };

WireCut CutOf(const CPct* e, const CLine* w, const SPinsOnWire& on) {
  switch (WhereToCut(e, w, on)) {
    case CutAt::Nowhere:
      return CutNothing;
    case CutAt::FirstEnd:
      return SPoint{w->x, w->y} == on.p1 ? CutInPlace : CutMoves;
    case CutAt::SecondEnd:
      return SPoint{w->x2, w->y2} == on.p1 ? CutInPlace : CutMoves;
    case CutAt::BetweenPins:
      break;
  }
  return CutMoves;
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
    SPoint p1 = on.p1, p2 = on.p2;
    const CutAt cut = WhereToCut(e, w, on);
    if (cut == CutAt::Nowhere) continue;
    changed = true;
    if (cut == CutAt::SecondEnd) {
      // Drop the part of the wire that runs under the body, beyond the pin.
      w->x2 = p1.x;
      w->y2 = p1.y;
    } else if (cut == CutAt::FirstEnd) {
      w->x = p1.x;
      w->y = p1.y;
    } else {
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

bool CPcts::RemoveWiresUnderBodies() {
  // Normalised, a wire holds a pin only at an end, so cutting it under a body leaves it
  // whole or of zero length: the wires ending at each pin are all there is to look at.
  std::unordered_map<uint64_t, std::vector<const CLine*>> ends;
  for (const auto& p : items) {
    const CLine* w = AsLine(p.get());
    if (w == nullptr) continue;
    ends[PointKey({w->x, w->y})].push_back(w);
    if (w->x2 != w->x || w->y2 != w->y) ends[PointKey({w->x2, w->y2})].push_back(w);
  }
  std::unordered_set<const CPct*> doomed;
  for (const auto& p : items) {
    const CPct* e = p.get();
    if (e->PictureKind() != PctElement) continue;
    for (int m = 0; m < e->PinCount(); ++m) {
      const auto it = ends.find(PointKey(e->PinPos(m)));
      if (it == ends.end()) continue;
      for (const CLine* w : it->second)
        if (CutOf(e, w, PinsOnWire(e, w)) == CutMoves) doomed.insert(w);
    }
  }
  if (doomed.empty()) return false;
  RemovePictures([&](const CPct& p) { return doomed.count(&p) > 0; });
  return true;
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
