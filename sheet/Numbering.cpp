// Node numbering of the picture list; see Numbering.h.
#include "sheet/Numbering.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "components/CCmp.h"
#include "sheet/CPcts.h"
#include "sheet/PointKey.h"

void CPcts::Renumber() {
  Normalize();
  CNodeNumbering(*this).Run();
}

PointRecord& CNodeNumbering::RecordAt(SPoint p) {
  const auto [it, added] = pointIndex.try_emplace(PointKey(p), static_cast<int32_t>(points.size()));
  if (added) points.push_back({p.x, p.y, 0, 0});
  return points[static_cast<size_t>(it->second)];
}

int CNodeNumbering::RecordIndex(SPoint p) const {
  // RecordAt is the only way records are made, so the lookup table holds every one of them.
  const auto it = pointIndex.find(PointKey(p));
  return it != pointIndex.end() ? it->second : -1;
}

void CNodeNumbering::Run() {
  RecordConnectionPoints();
  if (RemoveIdleDots()) list.Normalize();
  AddJunctionDots();
  for (auto& q : list.items) q->visited = 0;
  BuildPinIndex();
  NumberFromElements();
}

void CNodeNumbering::RecordConnectionPoints() {
  points.clear();
  pointIndex.clear();
  for (const auto& q : list.items) {
    for (int k = 0; k < q->PinCount(); ++k) {
      const PinDirCode d = q->PinDir(k);
      PointRecord& r = RecordAt(q->PinPos(k));
      r.mask |= DirBit(d);
      if (d != PinDirCode::Dot) ++r.count;
    }
  }
}

bool CNodeNumbering::RemoveIdleDots() {
  // Dots where two or fewer ends meet join nothing that is not joined already.
  return list.RemovePictures([this](const CPct& q) {
    if (q.PictureKind() != PctDot) return false;
    const int k = RecordIndex({q.x, q.y});
    if (k < 0 || points[static_cast<size_t>(k)].count > 2) return false;
    points[static_cast<size_t>(k)].mask &= ~DotBit;
    return true;
  });
}

void CNodeNumbering::AddJunctionDots() {
  // The list is sorted here: the new dots are merged in at once, each where a sorted
  // insertion would put it (no dot stands at their places).
  const auto before = static_cast<std::ptrdiff_t>(list.items.size());
  for (auto& r : points) {
    if (r.count >= 3 && (r.mask & DotBit) == 0 && r.mask != PlainCrossing) {
      list.items.push_back(std::make_unique<CDot>(r.x, r.y));
      r.mask |= DotBit;
    }
  }
  const auto less = [](const auto& a, const auto& b) { return CPcts::Compare(*a, *b) < 0; };
  std::stable_sort(list.items.begin() + before, list.items.end(), less);
  std::inplace_merge(list.items.begin(), list.items.begin() + before, list.items.end(), less);
}

void CNodeNumbering::NumberFromElements() {
  // Each pin without a number starts a new one; numbers spread from the pins in list order.
  // While the numbers spread, pins hold the sets their numbers belong to; a join keeps the
  // set of the smaller number, as if the larger had been replaced on every pin at once.
  BeginNumberSets();
  expanded.assign(points.size() * 5, -1);
  int next = 1;
  for (int e = 0; e < list.Count(); ++e) {
    CPct* q = list.At(e);
    if (q->PictureKind() != PctElement || q->cmp == nullptr) continue;
    for (int m = 0; m < q->PinCount(); ++m) {
      auto& nodes = q->cmp->Nodes;
      if (static_cast<size_t>(m) >= nodes.size()) break;
      int32_t& set = nodes[static_cast<size_t>(m)];
      if (set < 0) set = FreshSet(next++);
      Propagate(q->PinDir(m), FindSet(set), q->PinPos(m));
    }
  }
  ForEachComponent([this](CCmp& c) {
    for (auto& n : c.Nodes)
      if (n >= 0) n = setNumber[static_cast<size_t>(FindSet(n))];
  });
  setParent.clear();
  setNumber.clear();
  setOfNumber.clear();
  expanded.clear();
}

void CNodeNumbering::ForEachComponent(const std::function<void(CCmp&)>& f) {
  if (list.Cmps != nullptr) {
    for (int i = 0; i < list.Cmps->Count(); ++i) f(*list.Cmps->At(i));
    return;
  }
  for (const auto& q : list.items)
    if (q->PictureKind() == PctElement && q->cmp != nullptr) f(*q->cmp);
}

void CNodeNumbering::BeginNumberSets() {
  // Pins that arrive numbered share a set when their numbers are equal.
  setParent.clear();
  setNumber.clear();
  setOfNumber.clear();
  ForEachComponent([this](CCmp& c) {
    for (auto& n : c.Nodes)
      if (n >= 0) n = FreshSet(n);
  });
}

int32_t CNodeNumbering::FreshSet(int32_t number) {
  // A number that some pin holds now names that pin's set.
  const auto [it, added] = setOfNumber.try_emplace(number, static_cast<int32_t>(setParent.size()));
  if (added) {
    setParent.push_back(it->second);
    setNumber.push_back(number);
  }
  return it->second;
}

int32_t CNodeNumbering::FindSet(int32_t set) {
  int32_t root = set;
  while (setParent[static_cast<size_t>(root)] != root) root = setParent[static_cast<size_t>(root)];
  while (set != root) set = std::exchange(setParent[static_cast<size_t>(set)], root);
  return root;
}

void CNodeNumbering::BuildPinIndex() {
  // Only elements and wires carry numbers; dots are joined through the records' masks. The
  // connection points at each point record lie side by side, in list order.
  std::vector<std::pair<int32_t, PinRef>> at;
  for (int i = 0; i < list.Count(); ++i) {
    const CPct* q = list.At(i);
    const int kind = q->PictureKind();
    if (kind != PctElement && kind != PctLine) continue;
    for (int m = 0; m < q->PinCount(); ++m) {
      const SPoint p = q->PinPos(m);
      RecordAt(p);  // a point without a record gets one, of mask 0
      at.push_back({RecordIndex(p), {i, m}});
    }
  }
  pinStart.assign(points.size() + 1, 0);
  for (const auto& [record, ref] : at) ++pinStart[static_cast<size_t>(record) + 1];
  for (size_t r = 1; r < pinStart.size(); ++r) pinStart[r] += pinStart[r - 1];
  pinRefs.resize(at.size());
  std::vector<uint32_t> fill(pinStart.begin(), pinStart.end() - 1);
  for (const auto& [record, ref] : at) pinRefs[fill[static_cast<size_t>(record)]++] = ref;
}

void CNodeNumbering::MergeNodes(CCmp& c, int m, int& node) {
  if (static_cast<size_t>(m) >= c.Nodes.size()) return;
  int32_t& v = c.Nodes[static_cast<size_t>(m)];
  if (v < 0) {
    v = node;
    return;
  }
  const int32_t set = FindSet(v);
  if (set == node) return;
  // The lower number survives; the other is free to be handed out again.
  int32_t loser = set, winner = node;
  if (setNumber[static_cast<size_t>(set)] < setNumber[static_cast<size_t>(node)])
    std::swap(loser, winner);
  setParent[static_cast<size_t>(loser)] = winner;
  setOfNumber.erase(setNumber[static_cast<size_t>(loser)]);
  node = winner;
}

int CNodeNumbering::Propagate(std::optional<PinDirCode> dir, int node, SPoint p) {
  // The walk along the wires, with an explicit stack instead of recursion so that long
  // chains of wires cannot exhaust the call stack. Each frame is one visit of a point and
  // resumes its scan of the point's connection points, in list order, where it left off.
  struct Frame {
    std::optional<PinDirCode> dir;
    const PinRef* refs;
    size_t count;
    size_t next;
    int32_t picture;  // picture of the last entry examined
    bool accepted;    // whether that picture was open to the walk when first met here
  };
  std::vector<Frame> stack;
  const auto enter = [&](std::optional<PinDirCode> d, SPoint at) {
    // Across a plain crossing numbers pass straight through only; there every direction is
    // a quarter, so Opposite applies.
    const int record = RecordIndex(at);
    if (record < 0) return;  // no picture has a connection point here
    if (points[static_cast<size_t>(record)].mask != PlainCrossing) d.reset();
    // A point already walked, the same way, for a number of the same set has nothing left
    // to give: its elements share the set and its wires are walked. Skipping it keeps many
    // wires or stacked parts at one point from being scanned once for each of them.
    int32_t& walked = expanded[static_cast<size_t>(record) * 5 + (d ? static_cast<size_t>(*d) : 4)];
    if (walked >= 0 && FindSet(walked) == node) return;
    walked = node;
    const size_t first = pinStart[static_cast<size_t>(record)];
    stack.push_back({d, pinRefs.data() + first, pinStart[static_cast<size_t>(record) + 1] - first,
                     0, -1, false});
  };

  enter(dir, p);
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.next >= f.count) {
      stack.pop_back();
      continue;
    }
    const auto [i, m] = f.refs[f.next++];
    CPct* q = list.At(i);
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
