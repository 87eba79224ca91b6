// The readout texts of the measurement: resistance and reactance or magnitude and phase, the
// failure texts, the frequency units and the guards against readings that are not numbers.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <limits>
#include <optional>
#include <string>

#include "Circuit.h"
#include "analysis/Measure.h"
#include "value/Value.h"

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

struct SReadoutCase {
  std::string name;
  std::function<void(CCircuit&)> build;
  double frequency;
  int unit;
  int displayMode;
  int digits;
  std::string r;
  std::optional<std::string> x;
};

void PrintTo(const SReadoutCase& c, std::ostream* os) {
  *os << c.name;
}

class MeasureReadout : public testing::TestWithParam<SReadoutCase> {};

TEST_P(MeasureReadout, ShowsTheExpectedTexts) {
  const SReadoutCase& c = GetParam();
  CCircuit circuit;
  c.build(circuit);
  const SReadout out = circuit.Measure(c.frequency, c.unit, c.displayMode, c.digits);
  EXPECT_EQ(out.R, c.r);
  EXPECT_EQ(out.X, c.x);
}

void Inductor(CCircuit& c) {
  c.L(1, 2, 1e-3);
}
void Capacitor(CCircuit& c) {
  c.C(1, 2, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, MeasureReadout,
    testing::Values(
        // failures write both texts whatever the mode and the reactive flag
        SReadoutCase{"MeterAlone", [](CCircuit&) {}, 1, 0, 0, 3, "Infinity", ""},
        SReadoutCase{"MeterAloneMagPhase", [](CCircuit&) {}, 1, 0, 1, 3, "Infinity", ""},
        SReadoutCase{"OpenCapacitorAtZero", Capacitor, 0, 0, 0, 3, "Infinity", ""},
        SReadoutCase{"ShortedMeter",
                     [](CCircuit& c) {
                       c.Parts[0].Nodes = {1, 1};
                     },
                     1, 0, 0, 3, "0", std::nullopt},
        SReadoutCase{"ShortedMeterMagPhaseWithReactiveElsewhere",
                     [](CCircuit& c) {
                       c.Parts[0].Nodes = {1, 1};
                       c.L(5, 6, 1e-3);
                     },
                     1000, 0, 1, 3, "0", "0"},
        SReadoutCase{"Resistor1k", [](CCircuit& c) { c.R(1, 2, 1000); }, 1000, 0, 0, 3, "1e+3",
                     std::nullopt},
        SReadoutCase{"Resistor100", [](CCircuit& c) { c.R(1, 2, 100); }, 1000, 0, 0, 3, "100",
                     std::nullopt},
        SReadoutCase{"Inductor", Inductor, 1000, 0, 0, 3, "0", "6.28"},
        SReadoutCase{"InductorMagPhase", Inductor, 1000, 0, 1, 3, "6.28", "-90"},
        SReadoutCase{"InductorFiveDigits", Inductor, 1000, 0, 0, 5, "0", "6.2832"},
        SReadoutCase{"Capacitor", Capacitor, 1000, 0, 0, 3, "0", "-159"},
        SReadoutCase{"CapacitorMagPhase", Capacitor, 1000, 0, 1, 3, "159", "90"},
        SReadoutCase{"SeriesRLMagPhase",
                     [](CCircuit& c) {
                       c.R(1, 3, 10);
                       c.L(3, 2, 1e-3);
                     },
                     1000, 0, 1, 4, "11.81", "-32.14"},
        SReadoutCase{"TransformerNoReactive",
                     [](CCircuit& c) {
                       c.Transformer(1, 2, 3, 4, 1, 2);
                       c.R(3, 4, 100);
                     },
                     1, 0, 1, 3, "25", std::nullopt},
        SReadoutCase{"AnyOtherModeIsResistanceAndReactance", Inductor, 1000, 0, 7, 3, "0", "6.28"},
        SReadoutCase{"KilohertzUnit", Inductor, 1, 1, 0, 3, "0", "6.28"},
        SReadoutCase{"MegahertzUnit", Inductor, 0.001, 2, 0, 3, "0", "6.28"},
        SReadoutCase{"GigahertzUnit", Inductor, 1e-6, 3, 0, 3, "0", "6.28"},
        SReadoutCase{"UnknownUnitIsHertz", Inductor, 1000, 9, 0, 3, "0", "6.28"},
        // a reading too large for the square sum of a double keeps its magnitude
        SReadoutCase{"HugeMagnitude", [](CCircuit& c) { c.R(1, 2, 1e200); }, 1, 0, 1, 3, "100e+198",
                     std::nullopt}),
    [](const testing::TestParamInfo<SReadoutCase>& info) { return info.param.name; });

TEST(MeasureUnits, KilohertzAndHertzGiveTheSameResult) {
  for (int mode : {0, 1}) {
    CCircuit circuit;
    circuit.R(1, 3, 12);
    circuit.C(3, 2, 3.3e-6);
    circuit.L(1, 2, 4.7e-3);
    const SReadout hz = circuit.Measure(1000, 0, mode, 8);
    const SReadout khz = circuit.Measure(1, 1, mode, 8);
    EXPECT_EQ(hz.R, khz.R);
    EXPECT_EQ(hz.X, khz.X);
  }
}

TEST(MeasureDigits, OutOfRangeDigitsAreHeldToTwoThroughEight) {
  CCircuit circuit;
  circuit.R(1, 3, 12.3456789);
  circuit.L(3, 2, 1e-3);
  const SReadout two = circuit.Measure(1000, 0, 0, 2);
  const SReadout eight = circuit.Measure(1000, 0, 0, 8);
  ASSERT_NE(two.R, eight.R);
  for (int digits : {INT_MIN, -3, 0, 1}) {
    const SReadout out = circuit.Measure(1000, 0, 0, digits);
    EXPECT_EQ(out.R, two.R) << digits;
    EXPECT_EQ(out.X, two.X) << digits;
  }
  for (int digits : {9, 17, 1000, INT_MAX}) {
    const SReadout out = circuit.Measure(1000, 0, 0, digits);
    EXPECT_EQ(out.R, eight.R) << digits;
    EXPECT_EQ(out.X, eight.X) << digits;
  }
}

// Values at the limits of a double make the system or the reading overflow. The readout then
// shows a failure text, never a raw "inf" or "nan" and never a number computed from them:
// "Error" when the system itself holds infinities or NaN, "Infinity" when only the reading
// exceeds a double.
TEST(MeasureNonFinite, ReadingsThatAreNotNumbersShowFailureTexts) {
  struct SCase {
    const char* name;
    std::function<void(CCircuit&)> build;
    double frequency;
    const char* r;
  };
  // frequencies in GHz, so that a large one overflows when its unit is applied
  const SCase cases[] = {
      {"infinite capacitance", [](CCircuit& c) { c.C(1, 2, Inf); }, 1000, "Error"},
      {"infinite inductance", [](CCircuit& c) { c.L(1, 2, Inf); }, 1000, "Error"},
      {"infinite inductance in series",
       [](CCircuit& c) {
         c.L(1, 3, Inf);
         c.R(3, 2, 1);
       },
       1000, "Error"},
      {"resistance not a number", [](CCircuit& c) { c.R(1, 2, NaN); }, 1, "Error"},
      {"infinite frequency", [](CCircuit& c) { c.C(1, 2, 1e-9); }, Inf, "Error"},
      {"frequency not a number", [](CCircuit& c) { c.L(1, 2, 1e-3); }, NaN, "Error"},
      {"frequency overflowing its unit", [](CCircuit& c) { c.L(1, 2, 1e-3); }, 1e305, "Error"},
      {"infinite turns",
       [](CCircuit& c) {
         c.Transformer(1, 2, 3, 4, Inf, 1);
         c.R(3, 4, 1);
       },
       1, "Error"},
      // 2e308 Ω in series: the extended solve stays finite, the double reading does not
      {"reading past the double range",
       [](CCircuit& c) {
         c.R(1, 3, 1e308);
         c.R(3, 2, 1e308);
         c.C(5, 6, 1e-9);
       },
       1, "Infinity"},
      // an infinite resistance is a plain open branch, not an overflow
      {"infinite resistance", [](CCircuit& c) { c.R(1, 2, -Inf); }, 1, "Infinity"},
  };
  for (const SCase& c : cases) {
    for (int mode : {0, 1}) {
      SCOPED_TRACE(c.name);
      SCOPED_TRACE(mode);
      CCircuit circuit;
      c.build(circuit);
      const SReadout out = circuit.Measure(c.frequency, 3, mode, 3);
      EXPECT_EQ(out.R, c.r);
      EXPECT_EQ(out.X, std::optional<std::string>(""));
    }
  }
}

TEST(MeasureLifecycle, ReleasesTheSolverWhateverHappened) {
  CCircuit solved;
  solved.R(1, 2, 10);
  CCircuit unsolved;
  CCircuit overflowing;
  overflowing.C(1, 2, Inf);
  for (CCircuit* circuit : {&solved, &unsolved, &overflowing}) {
    circuit->Measure(1000, 0, 0, 3);
    EXPECT_EQ(circuit->Solver.Count, 0);
    EXPECT_EQ(circuit->Solver.VecRe, nullptr);
    EXPECT_EQ(circuit->Solver.VecIm, nullptr);
  }
}

TEST(MeasureLifecycle, ValueChangeWithoutRenumberingUsesTheCompactedNodes) {
  CCircuit circuit(40, 17);
  CCmp* r = circuit.R(40, 90, 100);
  circuit.L(90, 17, 1e-3);
  const SReadout first = circuit.Measure(1000, 0, 0, 4);
  EXPECT_EQ(first.R, "100");
  EXPECT_EQ(first.X, "6.283");
  r->Params()[0].Value->Value = 220;
  const SReadout second = circuit.Measure(1000, 0, 0, 4, false);
  EXPECT_EQ(second.R, "220");
  EXPECT_EQ(second.X, "6.283");
}

TEST(MeasureLifecycle, MeterOutsideTheListReadsError) {
  CCircuit circuit;
  circuit.R(1, 2, 10);
  CCircuit other(40, 90);
  const SReadout out =
      MeasureImpedance(circuit.Cmps, *other.Meter, circuit.Solver, {.frequency = 1000});
  EXPECT_EQ(out.R, "Error");
  EXPECT_EQ(out.X, std::optional<std::string>(""));
  EXPECT_EQ(circuit.Solver.Count, 0);
}

}  // namespace
