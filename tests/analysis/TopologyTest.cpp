// What the wiring alone decides (which windings carry current, the meter's verdict, one held
// node per galvanic group) and the sentence-free part of the diagnosis of a missing number.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <set>
#include <vector>

#include "Circuit.h"
#include "analysis/Diagnosis.h"

namespace {

using Idle = CTopology::EIdle;

struct STopologyCase {
  const char* name;
  std::function<void(CCircuit&)> build;
  CTopology::EVerdict verdict;
  std::vector<Idle> idle;  // per part after the meter
  int heldNodes;           // galvanic groups, each with one node held at zero
};

TEST(Topology, DecidesCurrentPathsFromTheWiringAlone) {
  const std::vector<STopologyCase> cases = {
      {"resistor across the pins",
       [](CCircuit& c) { c.R(1, 2, 1e3); },
       CTopology::MeterClosed,
       {Idle::Carrying},
       1},
      {"meter alone", [](CCircuit&) {}, CTopology::MeterOpen, {}, -1},
      // 1 --R-- 2, and a resistor from 1 to a loose end 3
      {"part with a loose end",
       [](CCircuit& c) { c.R(1, 2, 1e3), c.R(1, 3, 1); },
       CTopology::MeterClosed,
       {Idle::Carrying, Idle::OffClosedPath},
       1},
      // a loop of two resistors between 3 and 4 joined to nothing
      {"island loop",
       [](CCircuit& c) { c.R(1, 2, 1e3), c.R(3, 4, 1), c.R(3, 4, 2); },
       CTopology::MeterClosed,
       {Idle::Carrying, Idle::Unreached, Idle::Unreached},
       1},
      {"transformer loaded",
       [](CCircuit& c) { c.Transformer(1, 2, 3, 4, 1, 2), c.R(3, 4, 50); },
       CTopology::MeterClosed,
       {Idle::Carrying, Idle::Carrying},
       2},
      {"transformer with an open secondary",
       [](CCircuit& c) { c.Transformer(1, 2, 3, 4, 1, 2), c.R(3, 5, 50); },
       CTopology::MeterCutOff,
       {},
       -1},
      // a resistor from the primary's group to the secondary's is a bridge: no loop closes
      // through it, so it carries nothing and the groups stay two
      {"bridged transformer",
       [](CCircuit& c) { c.Transformer(1, 2, 3, 4, 1, 2), c.R(3, 4, 50), c.R(2, 3, 10); },
       CTopology::MeterClosed,
       {Idle::Carrying, Idle::Carrying, Idle::OffClosedPath},
       2},
      {"second meter",
       [](CCircuit& c) {
         c.R(1, 2, 1e3), c.Add(KindMeter, {1, 2});
       },
       CTopology::MeterClosed,
       {Idle::Carrying, Idle::OtherMeter},
       1},
  };
  for (const STopologyCase& t : cases) {
    SCOPED_TRACE(t.name);
    CCircuit c;
    t.build(c);
    c.Impedance(1e3);
    const CTopology& w = c.Solver.Wiring();
    EXPECT_EQ(w.Verdict, t.verdict);
    if (t.verdict != CTopology::MeterClosed) continue;
    for (size_t i = 0; i < t.idle.size(); ++i)
      EXPECT_EQ(int{w.Idle(static_cast<int>(i + 1))}, int{t.idle[i]}) << i;
    std::set<int32_t> liveNodes;
    for (int i = 0; i < c.Cmps.Count(); ++i)
      if (w.Stamped(i))
        for (int32_t node : c.Cmps.At(i)->Nodes) liveNodes.insert(node);
    int held = 0;
    for (int32_t node : liveNodes) held += w.Grounded[static_cast<size_t>(node)] != 0;
    EXPECT_EQ(held, t.heldNodes);
  }
}

TEST(Diagnosis, NamesTheKindOfMissingNumberAndItsParts) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  const double unitOmega = 1 / (2 * std::numbers::pi);  // where 1 H and 1 F resonate
  struct SCase {
    const char* name;
    std::function<void(CCircuit&)> build;
    double hertz;
    ENoAnswer kind;
    std::vector<int> parts;  // list positions, the meter being 0
  };
  const std::vector<SCase> cases = {
      {"a reading", [](CCircuit& c) { c.R(1, 2, 1e3); }, 1e3, ENoAnswer::None, {}},
      {"meter alone", [](CCircuit&) {}, 1e3, ENoAnswer::NotConnected, {0}},
      {"capacitor at 0 Hz", [](CCircuit& c) { c.C(1, 2, 1e-9); }, 0, ENoAnswer::OpenPaths, {1}},
      {"infinite resistance", [](CCircuit& c) { c.R(1, 2, inf); }, 1e3, ENoAnswer::OpenPaths, {1}},
      {"lossless tank at resonance",
       [](CCircuit& c) { c.L(1, 2, 1), c.C(1, 2, 1), c.R(1, 3, 5); },
       unitOmega,
       ENoAnswer::Singular,
       {1, 2}},
      {"resistance not a number",
       [](CCircuit& c) { c.R(1, 2, 1), c.R(1, 2, std::nan("")); },
       1e3,
       ENoAnswer::NotFinite,
       {2}},
  };
  for (const SCase& t : cases) {
    SCOPED_TRACE(t.name);
    CCircuit c;
    t.build(c);
    c.Renumber();
    const SNoAnswer why = DiagnoseNoAnswer(c.Cmps, *c.Meter, t.hertz);
    EXPECT_EQ(why.Kind, t.kind) << why.Sentence;
    EXPECT_EQ(why.Sentence.empty(), t.kind == ENoAnswer::None) << why.Sentence;
    std::vector<int> parts;
    for (const CCmp* p : why.Parts)
      for (int i = 0; i < c.Cmps.Count(); ++i)
        if (c.Cmps.At(i) == p) parts.push_back(i);
    std::sort(parts.begin(), parts.end());
    EXPECT_EQ(parts, t.parts) << why.Sentence;
  }
}

}  // namespace
