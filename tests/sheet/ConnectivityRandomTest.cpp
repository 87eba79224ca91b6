// Numbering and normalisation checked on many random sheets against a plain recursive
// numbering written straight from the rules, plus invariants and a very long chain of wires.
#include <gtest/gtest.h>

#include <random>

#include "SheetBuilder.h"
#include "WiringFixture.h"
#include "sheet/Numbering.h"

namespace {

// The numbering as first written: a linear search of the point records and a recursive
// walk along the wires. Slow and stack-hungry, but obviously right for small sheets.
class ReferenceNumbering {
 public:
  explicit ReferenceNumbering(Wiring& s) : w(s), list(s.pcts) {}

  void Normalize() {
    list.Sort();
    for (int i = 0; i + 1 < list.Count();) {  // duplicate dots, which sort side by side
      const CPct *a = list.At(i), *b = list.At(i + 1);
      if (a->PictureKind() == PctDot && b->PictureKind() != PctDot) break;
      if (a->PictureKind() == PctDot && a->x == b->x && a->y == b->y) {
        list.DeleteAt(i + 1);
      } else {
        ++i;
      }
    }
    for (int i = 0; i + 1 < list.Count();) i += MergeInto(i) ? 0 : 1;
    for (int i = 0; i < list.Count(); ++i)
      for (int k = 0; k < list.At(i)->PinCount(); ++k) SplitWiresAt(list, list.At(i)->PinPos(k));
    list.Sort();
  }

  void Renumber() {
    Normalize();
    records.clear();
    for (int i = 0; i < list.Count(); ++i) {
      const CPct* q = list.At(i);
      for (int k = 0; k < q->PinCount(); ++k) {
        PointRecord& r = Record(q->PinPos(k));
        r.mask |= 1 << static_cast<int>(q->PinDir(k));
        if (static_cast<int>(q->PinDir(k)) <= 4) ++r.count;
      }
    }
    bool deleted = false;
    for (int i = 0; i < list.Count();) {
      const CPct* q = list.At(i);
      if (q->PictureKind() == PctDot && Record({q->x, q->y}).count <= 2) {
        Record({q->x, q->y}).mask &= ~32;
        list.DeleteAt(i);
        deleted = true;
      } else {
        ++i;
      }
    }
    if (deleted) Normalize();
    for (size_t k = 0; k < records.size(); ++k) {
      PointRecord& r = records[k];  // AddDot leaves the records alone
      if (r.count >= 3 && (r.mask & 32) == 0 && r.mask != 15) {
        list.AddDot({r.x, r.y});
        r.mask |= 32;
      }
    }
    for (int i = 0; i < list.Count(); ++i) list.At(i)->visited = 0;
    int next = 1;
    for (int i = 0; i < list.Count(); ++i) {
      CPct* e = list.At(i);
      if (e->PictureKind() != PctElement) continue;
      for (int m = 0; m < e->PinCount(); ++m) {
        int32_t& node = e->cmp->Nodes[static_cast<size_t>(m)];
        if (node >= 0) {
          Propagate(static_cast<int>(e->PinDir(m)), node, e->PinPos(m));
        } else {
          node = next;
          Propagate(static_cast<int>(e->PinDir(m)), next, e->PinPos(m));
          ++next;
        }
      }
    }
  }

 private:
  // Wire i swallows the next wire on its line that touches it; the scan stops where the sort
  // order says no later wire can.
  bool MergeInto(int i) {
    auto* p = dynamic_cast<CLine*>(list.At(i));
    if (p == nullptr || (!p->IsHorizontal() && !p->IsVertical())) return false;
    for (int j = i + 1; j < list.Count(); ++j) {
      auto* q = dynamic_cast<CLine*>(list.At(j));
      if (q == nullptr || (p->IsHorizontal() && !q->IsHorizontal()) ||
          (p->IsVertical() && !q->IsVertical()))
        continue;
      if (p->IsHorizontal()) {
        if (q->y != p->y || p->x2 < q->x) return false;
        p->x2 = std::max(p->x2, q->x2);
      } else {
        if (p->y2 < q->y) return false;
        if (q->x != p->x) continue;
        p->y2 = std::max(p->y2, q->y2);
      }
      list.DeleteAt(j);
      return true;
    }
    return false;
  }
  int Mask(SPoint p) {
    for (const auto& r : records)
      if (r.x == p.x && r.y == p.y) return r.mask;
    return 0;
  }
  PointRecord& Record(SPoint p) {
    for (auto& r : records)
      if (r.x == p.x && r.y == p.y) return r;
    records.push_back({p.x, p.y, 0, 0});
    return records.back();
  }

  int Propagate(int dir, int node, SPoint p) {
    if (Mask(p) != 15) dir = -1;
    for (int i = 0; i < list.Count(); ++i) {
      CPct* q = list.At(i);
      const int kind = q->PictureKind();
      if (kind != PctElement && !(kind == PctLine && q->visited == 0)) continue;
      for (int m = 0; m < q->PinCount(); ++m) {
        if (!(q->PinPos(m) == p) || (dir >= 0 && static_cast<int>(q->PinDir(m)) != (dir + 2) % 4))
          continue;
        if (kind == PctLine) {
          q->visited = 1;
          node = Propagate(static_cast<int>(q->PinDir(1 - m)), node, q->PinPos(1 - m));
          continue;
        }
        const int v = q->cmp->Nodes[static_cast<size_t>(m)];
        if (v < 0) {
          q->cmp->Nodes[static_cast<size_t>(m)] = node;
        } else if (v > node) {
          w.comps.ReplaceNode(v, node);
        } else if (v < node) {
          w.comps.ReplaceNode(node, v);
          node = v;
        }
      }
    }
    return node;
  }

  Wiring& w;
  CPcts& list;
  std::vector<PointRecord> records;
};

// A small crowded sheet: elements of every kind and wires of every shape on a 9 x 9 patch,
// so that ends, pins, crossings, T-junctions and overlaps meet often.
void FillRandom(Wiring& s, unsigned seed) {
  std::mt19937 rng(seed);
  const auto coord = [&] { return static_cast<int>(rng() % 9) - 4; };
  const auto chance = [&](unsigned percent) { return rng() % 100 < percent; };
  const int elements = static_cast<int>(rng() % 4) + 1;
  for (int k = 0; k < elements; ++k)
    s.Element(static_cast<int>(rng() % ElemKindCount), coord(), coord(),
              OrientationFromInt(static_cast<int32_t>(rng() % 4)));
  const int wires = static_cast<int>(rng() % 14) + 2;
  for (int k = 0; k < wires; ++k) {
    const int x = coord(), y = coord();
    if (chance(45)) {
      s.Wire(x, y, coord(), y, chance(20));
    } else if (chance(80)) {
      s.Wire(x, y, x, coord(), chance(20));
    } else {
      s.Wire(x, y, coord(), coord());  // oblique, or now and then zero length
    }
  }
  const int dots = static_cast<int>(rng() % 4);
  for (int k = 0; k < dots; ++k) s.Dot(coord(), coord());
  if (chance(30)) s.pcts.AttachElements();
  s.pcts.Sort();
}

constexpr unsigned RandomSheets = 600;

TEST(RandomSheets, NumberingMatchesTheRecursiveRules) {
  for (unsigned seed = 1; seed <= RandomSheets; ++seed) {
    Wiring fast, slow;
    FillRandom(fast, seed);
    FillRandom(slow, seed);
    ASSERT_EQ(fast.Text(), slow.Text()) << "seed " << seed;

    fast.Renumber();
    slow.ResetNodes();
    ReferenceNumbering(slow).Renumber();
    ASSERT_EQ(fast.Text(), slow.Text()) << "seed " << seed;
    ASSERT_EQ(fast.Nodes(), slow.Nodes()) << "seed " << seed << ": " << fast.Text();

    // Again without forgetting the numbers: pins arrive already numbered and groups merge.
    fast.pcts.Renumber();
    ReferenceNumbering(slow).Renumber();
    ASSERT_EQ(fast.Nodes(), slow.Nodes()) << "seed " << seed << ": " << fast.Text();

    // Stale numbers shared by unconnected pins: which number survives a merge now depends on
    // the order in which the walk meets the pins.
    std::mt19937 rng(seed);
    for (int i = 0; i < fast.comps.Count(); ++i) {
      for (size_t m = 0; m < fast.comps.At(i)->Nodes.size(); ++m) {
        const int n = static_cast<int>(rng() % 6) - 1;
        fast.comps.At(i)->Nodes[m] = n;
        slow.comps.At(i)->Nodes[m] = n;
      }
    }
    fast.pcts.Renumber();
    ReferenceNumbering(slow).Renumber();
    ASSERT_EQ(fast.Nodes(), slow.Nodes()) << "seed " << seed << ": " << fast.Text();
  }
}

TEST(RandomSheets, NormalizeCutsLikeCuttingPointByPoint) {
  for (unsigned seed = 1; seed <= RandomSheets; ++seed) {
    Wiring fast, slow;
    FillRandom(fast, seed);
    FillRandom(slow, seed);
    fast.pcts.Normalize();
    ReferenceNumbering(slow).Normalize();
    ASSERT_EQ(fast.Text(), slow.Text()) << "seed " << seed;
  }
}

// Attaching looks wires up by point on a tidy list; it must do what walking every wire for
// every element does, on raw sheets and on normalised ones (where the lookup is taken).
TEST(RandomSheets, AttachingMatchesTheWalkOverEveryWire) {
  for (unsigned seed = 1; seed <= RandomSheets; ++seed) {
    for (bool normalised : {false, true}) {
      Wiring fast, slow;
      FillRandom(fast, seed);
      FillRandom(slow, seed);
      if (normalised) {
        fast.pcts.Normalize();
        slow.pcts.Normalize();
      }
      bool changed = false;
      for (int i = 0; i < slow.pcts.Count(); ++i)
        if (slow.pcts.At(i)->PictureKind() == PctElement && slow.pcts.CutWiresUnder(i))
          changed = true;
      ASSERT_EQ(fast.pcts.AttachElements(), changed) << "seed " << seed;
      ASSERT_EQ(fast.Text(), slow.Text()) << "seed " << seed;
    }
  }
}

// An edit puts its wires in order, attaches the elements and renumbers; opening a file settles
// the wiring and renumbers. Both must leave the same sheet, and settling it again must change
// nothing, or a saved sheet would reopen as another circuit.
TEST(RandomSheets, SettlingIsTheEditsRuleAndChangesNothingTwice) {
  for (unsigned seed = 1; seed <= RandomSheets; ++seed) {
    Wiring edited, opened;
    FillRandom(edited, seed);
    FillRandom(opened, seed);
    for (int i = 0; i < edited.pcts.Count(); ++i)
      if (edited.pcts.At(i)->PictureKind() == PctLine)
        static_cast<CLine*>(edited.pcts.At(i))->Normalize();
    edited.pcts.RemoveZeroWires();
    edited.pcts.Sort();
    edited.pcts.AttachElements();
    edited.Renumber();
    opened.pcts.Settle();
    opened.Renumber();
    // Pieces inherit their wire's selection, and wires from one point their order from the
    // way they were cut: neither is part of the circuit.
    edited.pcts.SelectOnly(-1);
    opened.pcts.SelectOnly(-1);
    const std::string settled = opened.Text();
    ASSERT_EQ(PictureSet(opened.pcts), PictureSet(edited.pcts)) << "seed " << seed;
    ASSERT_EQ(opened.Partition(), edited.Partition()) << "seed " << seed;
    ASSERT_FALSE(opened.pcts.Settle()) << "seed " << seed << ": " << settled;
    opened.Renumber();
    ASSERT_EQ(opened.Text(), settled) << "seed " << seed;
  }
}

TEST(RandomSheets, NormalizingAndNumberingAreStable) {
  for (unsigned seed = 1; seed <= RandomSheets; ++seed) {
    Wiring s;
    FillRandom(s, seed);
    s.pcts.Normalize();
    const std::string once = s.Text();
    s.pcts.Normalize();
    ASSERT_EQ(s.Text(), once) << "seed " << seed << ": normalising twice";

    s.Renumber();
    const std::string dots = s.Text();
    const std::string partition = s.Partition();
    for (const auto& element : s.Nodes())
      for (int n : element) ASSERT_GE(n, 1) << "seed " << seed << ": " << dots;
    s.Renumber();
    ASSERT_EQ(s.Text(), dots) << "seed " << seed << ": renumbering twice";
    ASSERT_EQ(s.Partition(), partition) << "seed " << seed << ": " << dots;
  }
}

// A staircase of wires from the meter's pin 0 at (0,0) to a resistor's pin 1 at (n,n):
//   M(0,0)--(1,0)
//             |
//           (1,1)--(2,1)
//                    |
//                   ...--(n,n)R
// Numbering walks it end to end in one go.
TEST(LongChain, TwentyThousandWiresNumberWithoutExhaustingTheStack) {
  constexpr int Steps = 10000;  // two wires per step
  Wiring s;
  s.Element(KindMeter, -2, 0);
  s.Element(KindR, Steps, Steps, Orientation::R90);
  for (int j = 0; j < Steps; ++j) {
    s.Wire(j, j, j + 1, j);
    s.Wire(j + 1, j, j + 1, j + 1);
  }
  s.Renumber();

  EXPECT_EQ(s.pcts.Count(), 2 + 2 * Steps) << "no dot, no cut, no merge on the staircase";
  const auto nodes = s.Nodes();
  EXPECT_EQ(nodes[0][0], 1);  // the meter's pin 0 at (0,0)
  EXPECT_EQ(nodes[1][1], 1);  // the resistor's pin 1 at (Steps,Steps)
  EXPECT_EQ(s.Partition(), "ab ca");
}

}  // namespace
