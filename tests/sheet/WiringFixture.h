// A picture list with its component list for wiring tests: elements are made the way the
// sheet makes them (through the kind table), wires and dots are appended as drawn.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "components/CCmp.h"
#include "sheet/CElement.h"
#include "sheet/CPcts.h"

// Cuts every axis-parallel wire running strictly through p in two, the second piece right
// after the first: the cut one point at a time that the program's clean-up is checked against.
inline void SplitWiresAt(CPcts& list, SPoint p) {
  for (int i = 0; i < list.Count(); ++i) {
    if (list.At(i)->PictureKind() != PctLine) continue;
    auto* w = static_cast<CLine*>(list.At(i));
    const bool inside =
        (w->IsHorizontal() && w->y == p.y && w->x < p.x && p.x < w->x2) ||
        (!w->IsHorizontal() && w->IsVertical() && w->x == p.x && w->y < p.y && p.y < w->y2);
    if (!inside) continue;
    auto n = std::make_unique<CLine>(*w);
    n->x = p.x;
    n->y = p.y;
    w->x2 = p.x;
    w->y2 = p.y;
    list.InsertAt(i + 1, std::move(n));
    ++i;
  }
}

struct Wiring {
  Wiring() { pcts.Cmps = &comps; }

  // An element at (x, y) turned by `orientation`, sorted in among the pictures, unselected.
  CElement& Element(int kind, int x, int y, Orientation orientation = Orientation::R0) {
    auto e = std::make_unique<CElement>(ElemTypes[kind]);
    e->x = x;
    e->y = y;
    e->orientation = orientation;
    e->cmp = comps.Create(kind);
    e->cmp->Nodes.assign(static_cast<size_t>(e->PinCount()), -1);
    CElement& ref = *e;
    pcts.InsertSorted(std::move(e));
    return ref;
  }
  CLine& Wire(int x1, int y1, int x2, int y2, bool selected = false) {
    auto w = std::make_unique<CLine>(SPoint{x1, y1}, SPoint{x2, y2}, selected);
    CLine& ref = *w;
    pcts.InsertAt(pcts.Count(), std::move(w));
    return ref;
  }
  CDot& Dot(int x, int y) {
    auto d = std::make_unique<CDot>(x, y);
    CDot& ref = *d;
    pcts.InsertAt(pcts.Count(), std::move(d));
    return ref;
  }

  // What a recompute does: every pin forgets its node, then the wiring is numbered.
  void Renumber() {
    ResetNodes();
    pcts.Renumber();
  }
  void ResetNodes() {
    for (int i = 0; i < comps.Count(); ++i)
      for (auto& n : comps.At(i)->Nodes) n = -1;
  }

  // The node numbers of every element pin, elements in list order.
  std::vector<std::vector<int>> Nodes() const {
    std::vector<std::vector<int>> all;
    for (int i = 0; i < pcts.Count(); ++i)
      if (pcts.At(i)->PictureKind() == PctElement)
        all.emplace_back(pcts.At(i)->cmp->Nodes.begin(), pcts.At(i)->cmp->Nodes.end());
    return all;
  }

  // Which pins are connected, independent of the numbers: each pin gets the letter of the
  // first pin (in list order) that shares its node, e.g. "ab ca" for two resistors in series
  // from one pin to the other.
  std::string Partition() const {
    std::vector<int> seen;
    std::string text;
    for (const auto& element : Nodes()) {
      if (!text.empty()) text += ' ';
      for (int n : element) {
        size_t k = 0;
        while (k < seen.size() && seen[k] != n) ++k;
        if (k == seen.size()) seen.push_back(n);
        text += static_cast<char>('a' + static_cast<int>(k % 26));
      }
    }
    return text;
  }

  std::string Text() const { return pcts.Describe(); }

  // Declared before the pictures, which point into it, so that it outlives them.
  CCmps comps;
  CPcts pcts;
};
