// Tuning one part to a target, against closed forms: a resonance put on a frequency,
// an L-match from 10 Ω to 50 Ω found by its best match and by X = 0, and a target out of reach.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "Circuit.h"
#include "analysis/Tune.h"

namespace {

constexpr double W = 2 * std::numbers::pi * 1e6;  // 1 MHz

// The solved value for `part`'s first parameter, which must hold its value again afterwards.
STuneResult Tuned(CCircuit& circuit, CCmp* part, const STuneTarget& target,
                  const std::atomic<bool>* stop = nullptr) {
  const double before = part->ParamValues()[0].Value;
  circuit.Renumber();
  const STuneResult result = TuneToTarget(circuit.Cmps, *circuit.Meter, *part, 0, target, stop);
  EXPECT_EQ(part->ParamValues()[0].Value, before);
  return result;
}

// Series R–L–C and parallel R ∥ L ∥ C both resonate where ω²LC = 1.
TEST(Tune, PutsAResonanceOnTheTypedFrequency) {
  const double l = 10e-6;
  for (const bool series : {true, false}) {
    for (const double c0 : {1e-9, 47e-12, 10e-6}) {
      CCircuit circuit(1, 2);
      circuit.R(1, series ? 3 : 2, series ? 1.0 : 1e3);
      circuit.L(series ? 3 : 1, series ? 4 : 2, l);
      CCmp* cap = circuit.C(series ? 4 : 1, 2, c0);
      STuneTarget target{TuneKind::Resonance, 1e6};
      target.FromHertz = 1 / (2 * std::numbers::pi * std::sqrt(l * c0));
      target.Series = series;
      const STuneResult r = Tuned(circuit, cap, target);
      ASSERT_TRUE(r.Exact) << series << c0;
      EXPECT_NEAR(*r.Exact / (1 / (W * W * l)), 1.0, 1e-9) << series << c0;
      EXPECT_NEAR(r.Reached, 1e6, 1e-3);
    }
  }
}

// The L-match: the 10 Ω load in series with L, C across the 50 Ω side. Y = 1/(10 + jX) + jB
// is 1/50 where X = 20 and B = 0.04; with that B, Im Y = 0 where 0.04 X² − X + 4 = 0, at X = 20
// and at X = 5. The crossing nearest the present value is the one found.
TEST(Tune, SolvesTheSeriesInductorOfAnLMatch) {
  struct SCase {
    TuneKind Kind;
    double Start, Expected;  // reactances of L
  } const cases[] = {
      {TuneKind::Match, 40, 20}, {TuneKind::Match, 0.3, 20}, {TuneKind::X, 30, 20},
      {TuneKind::X, 4, 5},       {TuneKind::X, 7, 5},
  };
  for (const SCase& c : cases) {
    CCircuit circuit(1, 2);
    circuit.C(1, 2, 0.04 / W);
    CCmp* ind = circuit.L(1, 3, c.Start / W);
    circuit.R(3, 2, 10.0);
    STuneTarget target{c.Kind, 0.0, 1e6};
    const STuneResult r = Tuned(circuit, ind, target);
    ASSERT_TRUE(r.Exact) << c.Start;
    EXPECT_NEAR(*r.Exact * W / c.Expected, 1.0, 1e-9) << c.Start;
    EXPECT_NEAR(r.Reached, 0.0, 1e-9) << c.Start;
    EXPECT_LE(r.Low, r.Reached);
    EXPECT_GE(r.High, r.Reached);
  }
}

// |10 + jωL| never falls below 10 Ω: asked for less, the tuner reports the range it saw.
TEST(Tune, ReportsTheReachableRangeOfATargetOutOfReach) {
  CCircuit circuit(1, 2);
  circuit.R(1, 3, 10.0);
  CCmp* ind = circuit.L(3, 2, 1e-6);
  const STuneResult r = Tuned(circuit, ind, {TuneKind::Magnitude, 5.0, 1e6});
  EXPECT_FALSE(r.Exact);
  ASSERT_TRUE(r.Known);
  EXPECT_NEAR(r.Low, std::hypot(10.0, W * 1e-12), 1e-9);
  EXPECT_NEAR(r.High, std::hypot(10.0, W * 1.0), 1e-3);
}

// A stopped search says so and gives no value, whatever it had found on the way.
TEST(Tune, AStoppedSearchGivesNoAnswer) {
  CCircuit circuit(1, 2);
  circuit.R(1, 3, 10.0);
  CCmp* ind = circuit.L(3, 2, 1e-6);
  const std::atomic<bool> stop{true};
  for (const TuneKind kind : {TuneKind::X, TuneKind::Match}) {
    const STuneResult r = Tuned(circuit, ind, {kind, 20.0, 1e6}, &stop);
    EXPECT_TRUE(r.Stopped);
    EXPECT_FALSE(r.Exact);
    EXPECT_FALSE(r.Known);
  }
}

}  // namespace
