// Why a reading fails: the sentence and the parts it names, for each way a circuit can leave
// the readout without a number; and the parts that carry no current.
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "Circuit.h"
#include "analysis/Diagnosis.h"

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();
const double Resonance = 1 / (2 * 3.141592653589793 * std::sqrt(1e-3 * 1e-6));

// Labels as the user typed them; the values are what the texts mean.
CCmp* Labelled(CCmp* cmp, std::vector<const char*> texts) {
  CParam* p = cmp->Params();
  for (size_t i = 0; i < texts.size(); ++i) p[i].Value->Text = texts[i];
  return cmp;
}

struct SCase {
  std::string name;
  double hertz;
  // Builds the circuit and returns the parts that must be highlighted, in list order.
  std::function<std::vector<const CCmp*>(CCircuit&)> build;
  ENoAnswer kind;
  std::string sentence;
};

const std::vector<SCase> Cases = {
    // meter 1-2; L from pin 1 and C from pin 2, their other ends free
    {"PinsNotJoined", 1e3,
     [](CCircuit& c) -> std::vector<const CCmp*> {
       Labelled(c.L(1, 3, 1e-3), {"1m"});
       Labelled(c.C(2, 4, 1e-9), {"1n"});
       return {c.Meter};
     },
     ENoAnswer::NotConnected, "The meter's pins are not connected through any component"},
    // 1 -R- 3 -C- 2: the capacitor is the only way back at 0 Hz
    {"CapacitorAtZeroHertz", 0,
     [](CCircuit& c) -> std::vector<const CCmp*> {
       Labelled(c.R(1, 3, 1e3), {"1k"});
       return {Labelled(c.C(3, 2, 1e-9), {"1n"})};
     },
     ENoAnswer::OpenPaths, "The meter's current has no path: the 1n capacitor is open at 0 Hz"},
    // a second capacitor across the resistor is bypassed by it and is not named
    {"BypassedCapacitorNotNamed", 0,
     [](CCircuit& c) -> std::vector<const CCmp*> {
       Labelled(c.R(1, 3, 1e3), {"1k"});
       Labelled(c.C(1, 3, 1e-8), {"10n"});
       return {Labelled(c.C(3, 2, 1e-9), {"1n"})};
     },
     ENoAnswer::OpenPaths, "The meter's current has no path: the 1n capacitor is open at 0 Hz"},
    {"InfiniteResistance", 50,
     [](CCircuit& c) -> std::vector<const CCmp*> {
       Labelled(c.L(1, 3, 1e-3), {"1m"});
       return {Labelled(c.R(3, 2, Inf), {"1e999"})};
     },
     ENoAnswer::OpenPaths,
     "The meter's current has no path: the 1e999 resistor is open (infinite "
     "resistance)"},
    // the meter across winding 1; winding 2 has a resistor on one end only
    {"TransformerOtherWindingOpen", 1e3,
     [](CCircuit& c) -> std::vector<const CCmp*> {
       CCmp* w = Labelled(c.Transformer(1, 2, 3, 4, 1, 3), {"1", "3"});
       Labelled(c.R(3, 5, 100), {"100"});
       return {w};
     },
     ENoAnswer::OpenPaths,
     "The meter's current has no path: the other winding of the 1:3 transformer is "
     "open"},
    // 1 -R- 3, then L and C in parallel from 3 to 2: the tank at its resonance; the resistor in
    // series takes no part in the contradiction
    {"TankAtResonance", Resonance,
     [](CCircuit& c) -> std::vector<const CCmp*> {
       Labelled(c.R(1, 3, 10), {"10"});
       return {Labelled(c.L(3, 2, 1e-3), {"1m"}), Labelled(c.C(3, 2, 1e-6), {"1u"})};
     },
     ENoAnswer::Singular,
     "Singular at 5.033 kHz: the 1m inductor and the 1u capacitor resonate; a slightly "
     "different frequency gives a value"},
    {"InfiniteCapacitance", 1e3,
     [](CCircuit& c) -> std::vector<const CCmp*> {
       Labelled(c.R(1, 2, 1e3), {"1k"});
       return {Labelled(c.C(1, 2, Inf), {"1e400"})};
     },
     ENoAnswer::NotFinite, "The value of the 1e400 capacitor is infinite"},
    // a negative inductance makes the mutual inductance the root of a negative number
    {"CouplingNotANumber", 1e3,
     [](CCircuit& c) -> std::vector<const CCmp*> {
       CCmp* lc = Labelled(c.Coupled(1, 2, 3, 4, -1e-6, 1e-6, 0.5), {"-1u", "1u", "0.5"});
       Labelled(c.R(3, 4, 50), {"50"});
       return {lc};
     },
     ENoAnswer::NotFinite, "At 1 kHz no finite number comes out of the -1u/1u coupled inductors"},
    {"FrequencyBeyondRange", Inf,
     [](CCircuit& c) -> std::vector<const CCmp*> {
       Labelled(c.C(1, 2, 1e-9), {"1n"});
       return {};
     },
     ENoAnswer::NotFinite, "The frequency is beyond the range of numbers"},
    {"ReadingIsANumber", 1e3,
     [](CCircuit& c) -> std::vector<const CCmp*> {
       Labelled(c.R(1, 3, 1e3), {"1k"});
       Labelled(c.C(3, 2, 1e-9), {"1n"});
       return {};
     },
     ENoAnswer::None, ""},
};

TEST(Diagnosis, EachFailureHasItsSentenceAndParts) {
  for (const SCase& c : Cases) {
    SCOPED_TRACE(c.name);
    CCircuit circuit;
    const std::vector<const CCmp*> parts = c.build(circuit);
    // The diagnosis explains the readout's own verdict.
    const SReadout readout = circuit.Measure(c.hertz);
    const SNoAnswer why = DiagnoseNoAnswer(circuit.Cmps, *circuit.Meter, c.hertz);
    EXPECT_EQ(why.Kind == ENoAnswer::None, readout.R != "Infinity" && readout.R != "Error");
    EXPECT_EQ(why.Kind == ENoAnswer::NotFinite, readout.R == "Error");
    EXPECT_EQ(why.Kind, c.kind);
    EXPECT_EQ(why.Sentence, c.sentence);
    EXPECT_EQ(why.Parts, parts);
  }
}

// A resistor with one end unwired carries nothing; joining that end brings it back.
TEST(Diagnosis, ADanglingPartIsIdleUntilItsEndIsWired) {
  CCircuit circuit;
  Labelled(circuit.R(1, 2, 1e3), {"1k"});
  CCmp* dangling = Labelled(circuit.R(1, 3, 470), {"470"});
  circuit.Measure(1e3);
  std::vector<SIdlePart> idle = IdleParts(circuit.Cmps, *circuit.Meter);
  ASSERT_EQ(idle.size(), 1u);
  EXPECT_EQ(idle[0].Part, dangling);
  EXPECT_EQ(idle[0].Reason,
            "The 470 resistor carries no current: it lies on no closed path (one of its ends "
            "leads nowhere)");

  circuit.Parts.back().Nodes = {1, 2};
  circuit.Measure(1e3);
  EXPECT_TRUE(IdleParts(circuit.Cmps, *circuit.Meter).empty());
}

}  // namespace
