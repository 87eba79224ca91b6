// The wires that follow a move: which net every connection point belongs to when the move
// begins, and the laying of each stretched or bridging wire so that it joins no other net.
#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "sheet/CPcts.h"
#include "sheet/PointKey.h"

namespace {

// How far a detour may stray from the straight line, in grid steps.
constexpr int DetourReach = 8;

SRect Spanned(SRect r, SPoint p) {
  return {std::min(r.left, p.x), std::min(r.top, p.y), std::max(r.right, p.x),
          std::max(r.bottom, p.y)};
}

// The box of a picture with its pins.
SRect Extent(const CPct& p) {
  SRect r = p.Bounds();
  for (int k = 0; k < p.PinCount(); ++k) r = Spanned(r, p.PinPos(k));
  return r;
}

bool Overlaps(const SRect& a, const SRect& b) {
  return a.left <= b.right && b.left <= a.right && a.top <= b.bottom && b.top <= a.bottom;
}

// One grid step in a quarter direction.
SPoint Step(PinDirCode d) {
  switch (d) {
    case PinDirCode::East:
      return {1, 0};
    case PinDirCode::South:
      return {0, 1};
    case PinDirCode::West:
      return {-1, 0};
    default:
      return {0, -1};
  }
}

bool Between(int32_t v, int32_t a, int32_t b) {
  return std::min(a, b) <= v && v <= std::max(a, b);
}

// Whether p lies on the segment a–b as a wire does: anywhere along an axis-parallel one, only
// at the ends of an oblique one.
bool OnSegment(SPoint p, SPoint a, SPoint b) {
  if (a.x == b.x || a.y == b.y) return Between(p.x, a.x, b.x) && Between(p.y, a.y, b.y);
  return p == a || p == b;
}

// The side of pin m along a line where another pin of the element lies with the body between
// them: +1 toward larger coordinates, -1 toward smaller, 0 for none (as the attaching sees it).
int PartnerSide(const CPct& e, int m, bool horizontal) {
  const SPoint p = e.PinPos(m);
  for (int k = 0; k < e.PinCount(); ++k) {
    const SPoint q = e.PinPos(k);
    if (k == m || (horizontal ? q.y != p.y : q.x != p.x)) continue;
    const SPoint mid{static_cast<int32_t>((int64_t{p.x} + q.x) / 2),
                     static_cast<int32_t>((int64_t{p.y} + q.y) / 2)};
    if (e.BodyContains(mid)) return (horizontal ? q.x > p.x : q.y > p.y) ? 1 : -1;
  }
  return 0;
}

// Whether attaching element e to a wire a–b would trim or cut it, as CPcts::CutWiresUnder
// does: two pins with the body between them, or one with the wire running on toward the other.
bool CutsWire(const CPct& e, SPoint a, SPoint b) {
  const CLine w(a, b, false);
  int found = 0, m1 = -1;
  SPoint p1, p2;
  for (int m = 0; m < e.PinCount() && found < 3; ++m) {
    const SPoint pin = e.PinPos(m);
    if (!w.HitPoint(pin)) continue;
    (found == 0 ? p1 : p2) = pin;
    if (found == 0) m1 = m;
    ++found;
  }
  if (found == 2) {
    const SPoint mid{static_cast<int32_t>((int64_t{p1.x} + p2.x) / 2),
                     static_cast<int32_t>((int64_t{p1.y} + p2.y) / 2)};
    return e.BodyContains(mid);
  }
  const bool horizontal = w.IsHorizontal();
  if (found != 1 || (!horizontal && !w.IsVertical())) return false;
  const int side = PartnerSide(e, m1, horizontal);
  if (side == 0) return false;
  return !(side > 0 ? SPoint{w.x2, w.y2} == p1 : SPoint{w.x, w.y} == p1);
}

// Connection points and axis-parallel wires of the sheet during one step of a move, each with
// its net, and the elements; nets that the moving pictures have been dropped onto count as one.
struct SObstacles {
  struct SPointNet {
    SPoint p;
    int net;
    bool mover;
  };
  struct SWireNet {
    SPoint a, b;
    int net;
    bool mover;
  };
  std::vector<SPointNet> points;
  std::vector<SWireNet> wires;
  std::vector<const CPct*> elements;
  std::unordered_map<int, int> joined;

  int Find(int n) {
    auto it = joined.find(n);
    while (it != joined.end() && it->second != n) {
      n = it->second;
      it = joined.find(n);
    }
    return n;
  }
  bool Same(int a, int b) { return a >= 0 && b >= 0 && Find(a) == Find(b); }
  void Join(int a, int b) {
    a = Find(a);
    b = Find(b);
    if (a != b && a >= 0 && b >= 0) joined[std::max(a, b)] = std::min(a, b);
  }

  // Where a moving picture touches a resting one, the user has joined their nets.
  void JoinLandings() {
    for (const SPointNet& m : points) {
      if (!m.mover) continue;
      for (const SPointNet& q : points)
        if (!q.mover && q.p == m.p) Join(m.net, q.net);
      for (const SWireNet& w : wires)
        if (!w.mover && OnSegment(m.p, w.a, w.b)) Join(m.net, w.net);
    }
    for (const SWireNet& w : wires) {
      if (!w.mover) continue;
      for (const SPointNet& q : points)
        if (!q.mover && OnSegment(q.p, w.a, w.b)) Join(w.net, q.net);
    }
  }

  // Whether a wire a–b of `net` would touch another net, or be trimmed or cut by an element;
  // `strict` also keeps it off every pin but its ends and out of every body.
  bool Blocks(SPoint a, SPoint b, int net, bool strict) {
    if (a == b) return false;
    for (const CPct* e : elements)
      if (CutsWire(*e, a, b)) return true;
    for (const SPointNet& q : points)
      if (!Same(q.net, net) && OnSegment(q.p, a, b)) return true;
    for (const SWireNet& w : wires)
      if (!Same(w.net, net) && (OnSegment(a, w.a, w.b) || OnSegment(b, w.a, w.b))) return true;
    if (!strict || (a.x != b.x && a.y != b.y)) return false;
    const SRect box{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
    for (const CPct* e : elements) {
      if (Overlaps(e->BodyRect(), box)) return true;
      for (int m = 0; m < e->PinCount(); ++m) {
        const SPoint pin = e->PinPos(m);
        if (box.Contains(pin) && !(pin == a) && !(pin == b)) return true;
      }
    }
    return false;
  }

  bool PathBlocks(const std::vector<SPoint>& path, int net, bool strict) {
    for (size_t i = 0; i + 1 < path.size(); ++i)
      if (Blocks(path[i], path[i + 1], net, strict)) return true;
    return false;
  }

  void AddPath(const std::vector<SPoint>& path, int net) {
    for (size_t i = 0; i < path.size(); ++i) {
      points.push_back({path[i], net, false});
      if (i + 1 < path.size() && (path[i].x == path[i + 1].x || path[i].y == path[i + 1].y))
        wires.push_back({path[i], path[i + 1], net, false});
    }
  }
};

// The corners of the orthogonal ways from a to b that a schematic user would draw, shortest
// first: the two L's, then detours to either side of the straight line.
std::vector<std::vector<SPoint>> Detours(SPoint a, SPoint b) {
  std::vector<std::vector<SPoint>> ways;
  if (a.x != b.x && a.y != b.y) {
    ways.push_back({a, {b.x, a.y}, b});
    ways.push_back({a, {a.x, b.y}, b});
  }
  const bool vertical = a.x == b.x;
  for (int k = 1; k <= DetourReach; ++k) {
    for (const int s : {-k, k}) {
      if (vertical)
        ways.push_back({a, {a.x + s, a.y}, {a.x + s, b.y}, b});
      else
        ways.push_back({a, {a.x, a.y + s}, {b.x, a.y + s}, b});
    }
  }
  return ways;
}

// Two oblique legs over a free point beside the straight line: oblique wires meet others only
// at their ends, so this way exists wherever one free point does.
std::vector<std::vector<SPoint>> DogLegs(SPoint a, SPoint b) {
  std::vector<std::vector<SPoint>> ways;
  const bool vertical = a.x == b.x;
  const int32_t from = vertical ? a.y : a.x, to = vertical ? b.y : b.x;
  const int32_t across = vertical ? a.x : a.y;
  const int32_t along = std::abs(to - from) >= 2 ? from + (to - from) / 2 : std::min(from, to) - 1;
  for (int k = 1; k <= DetourReach; ++k) {
    for (const int s : {-k, k}) {
      const SPoint c = vertical ? SPoint{across + s, along} : SPoint{along, across + s};
      if (c.x != a.x && c.y != a.y && c.x != b.x && c.y != b.y) ways.push_back({a, c, b});
    }
  }
  return ways;
}

// The way from a to b that joins no other net; none when every way tried would.
std::optional<std::vector<SPoint>> FindPath(SPoint a, SPoint b, int net, SObstacles& obstacles) {
  if (!obstacles.Blocks(a, b, net, false)) return std::vector<SPoint>{a, b};
  const auto detours = Detours(a, b);
  for (const bool strict : {true, false})
    for (const auto& way : detours)
      if (!obstacles.PathBlocks(way, net, strict)) return way;
  for (const auto& way : DogLegs(a, b))
    if (!obstacles.PathBlocks(way, net, false)) return way;
  return std::nullopt;
}

}  // namespace

void CPcts::LabelNets() {
  // Union-find over every connection point, joined as the numbering joins them: the two ends
  // of a wire, everything at one point, and at a plain crossing only what runs straight on.
  std::vector<int> offset(items.size() + 1, 0);
  for (size_t i = 0; i < items.size(); ++i) offset[i + 1] = offset[i] + items[i]->PinCount();
  std::vector<int> parent(static_cast<size_t>(offset.back()));
  std::iota(parent.begin(), parent.end(), 0);
  const auto find = [&](int v) {
    while (parent[static_cast<size_t>(v)] != v)
      v = parent[static_cast<size_t>(v)] =
          parent[static_cast<size_t>(parent[static_cast<size_t>(v)])];
    return v;
  };
  const auto unite = [&](int a, int b) { parent[static_cast<size_t>(find(a))] = find(b); };
  std::unordered_map<uint64_t, std::vector<int>> at;
  for (size_t i = 0; i < items.size(); ++i) {
    const CPct& p = *items[i];
    for (int k = 0; k < p.PinCount(); ++k) at[PointKey(p.PinPos(k))].push_back(offset[i] + k);
    if (p.PictureKind() == PctLine) unite(offset[i], offset[i] + 1);
  }
  std::vector<PinDirCode> dir(parent.size());
  for (size_t i = 0; i < items.size(); ++i)
    for (int k = 0; k < items[i]->PinCount(); ++k)
      dir[static_cast<size_t>(offset[i] + k)] = items[i]->PinDir(k);
  for (const auto& [key, ids] : at) {
    int32_t mask = 0;
    for (int id : ids) mask |= DirBit(dir[static_cast<size_t>(id)]);
    std::array<int, 4> first{-1, -1, -1, -1};  // per axis of a plain crossing
    for (int id : ids) {
      const int axis =
          mask == PlainCrossing ? static_cast<int>(dir[static_cast<size_t>(id)]) % 2 : 0;
      if (first[static_cast<size_t>(axis)] < 0)
        first[static_cast<size_t>(axis)] = id;
      else
        unite(id, first[static_cast<size_t>(axis)]);
    }
  }
  moveNets.clear();
  for (size_t i = 0; i < items.size(); ++i) {
    std::vector<int>& nets = moveNets[items[i].get()];
    for (int k = 0; k < items[i]->PinCount(); ++k) nets.push_back(find(offset[i] + k));
  }
}

int CPcts::NetAt(const CPct* p, int pin) const {
  const auto it = moveNets.find(p);
  if (it == moveNets.end() || pin >= static_cast<int>(it->second.size())) return -1;
  return it->second[static_cast<size_t>(pin)];
}

bool CPcts::RouteRubbers() {
  std::unordered_set<const CPct*> laid;
  for (SRubber& r : rubbers) {
    laid.insert(r.wire);
    const std::vector<CLine*> legs = r.legs;
    for (CLine* leg : legs) Remove(leg);
    r.legs.clear();
  }
  // Only what lies where a rubber wire may run can stand in its way: on a large sheet each
  // step of the drag looks at a small part of it.
  SRect region{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  for (const SRubber& r : rubbers)
    for (const SPoint p : {r.fixed, r.start + moveOffset}) region = Spanned(region, p);
  region = {region.left - DetourReach - 2, region.top - DetourReach - 2,
            region.right + DetourReach + 2, region.bottom + DetourReach + 2};
  SObstacles obstacles;
  for (const auto& p : items) {
    if (laid.count(p.get()) != 0) continue;
    const bool mover = p->selected || p->moveMode == MoveMode::BothEnds;
    if (!mover && !Overlaps(Extent(*p), region)) continue;
    for (int k = 0; k < p->PinCount(); ++k)
      obstacles.points.push_back({p->PinPos(k), NetAt(p.get(), k), mover});
    if (const CLine* w = AsLine(p.get()); w != nullptr && (w->IsHorizontal() || w->IsVertical()))
      obstacles.wires.push_back({{w->x, w->y}, {w->x2, w->y2}, NetAt(w, 0), mover});
    if (p->PictureKind() == PctElement) obstacles.elements.push_back(p.get());
  }
  obstacles.JoinLandings();
  bool joinsNone = true;
  for (SRubber& r : rubbers) {
    if (r.wire == nullptr) continue;
    const SPoint b = r.start + moveOffset;
    SPoint a = r.fixed;
    if (r.lead && !(b == r.fixed)) {
      a = r.fixed + Step(*r.lead);
      joinsNone = joinsNone && !obstacles.Blocks(r.fixed, a, r.net, false);
    }
    std::optional<std::vector<SPoint>> way = FindPath(a, b, r.net, obstacles);
    joinsNone = joinsNone && way.has_value();
    std::vector<SPoint> path = way.value_or(std::vector<SPoint>{a, b});
    if (!(a == r.fixed)) path.insert(path.begin(), r.fixed);
    obstacles.AddPath(path, r.net);
    LayRubber(r, path);
  }
  return joinsNone;
}

void CPcts::LayRubber(SRubber& r, const std::vector<SPoint>& path) {
  // The rubber wire keeps its fixed end; the rest of the way is new legs.
  const SPoint next = path[1];
  r.wire->x = r.movingSecond ? r.fixed.x : next.x;
  r.wire->y = r.movingSecond ? r.fixed.y : next.y;
  r.wire->x2 = r.movingSecond ? next.x : r.fixed.x;
  r.wire->y2 = r.movingSecond ? next.y : r.fixed.y;
  for (size_t i = 1; i + 1 < path.size(); ++i) {
    auto leg = std::make_unique<CLine>(path[i], path[i + 1], false);
    leg->moveMode = MoveMode::FirstEnd;
    r.legs.push_back(leg.get());
    InsertAt(Count(), std::move(leg));
  }
}

bool CPcts::WireLegsCut() const {
  const CLine* leg1 = wireLegs[0];
  const CLine* leg2 = wireLegs[1];
  if (leg1 == nullptr || leg2 == nullptr) return false;
  const SPoint s{leg1->x, leg1->y}, k{leg1->x2, leg1->y2}, q{leg2->x2, leg2->y2};
  for (const auto& p : items) {
    if (p->PictureKind() != PctElement) continue;
    if ((!(s == k) && CutsWire(*p, s, k)) || (!(k == q) && CutsWire(*p, k, q))) return true;
  }
  return false;
}
