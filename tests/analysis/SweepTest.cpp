// The sweep: one reading per frequency, each the same as a measurement of its own, with the
// analysis kept across frequencies and value edits and chosen anew where a pivot fails.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <optional>
#include <vector>

#include "Circuit.h"
#include "analysis/Sweep.h"

namespace {

using Complex = std::complex<double>;
const double Resonance = 1 / (2 * std::numbers::pi * std::sqrt(1e-3 * 1e-6));

// Every sweep reading must equal what a solver with no kept analysis reads at that frequency.
void ExpectSweepMatchesSingleSolves(CCircuit& circuit, const std::vector<double>& hertz) {
  circuit.Renumber();
  CCalc solver;
  const std::vector<SImpedance> sweep = SweepImpedance(circuit.Cmps, *circuit.Meter, solver, hertz);
  ASSERT_EQ(sweep.size(), hertz.size());
  for (size_t i = 0; i < hertz.size(); ++i) {
    CCalc fresh;
    const SImpedance single = ImpedanceAt(circuit.Cmps, *circuit.Meter, fresh, hertz[i]);
    ASSERT_EQ(sweep[i].has_value(), single.has_value()) << hertz[i] << " Hz";
    if (single) {
      EXPECT_LE(std::abs(*sweep[i] - *single), 1e-12 * std::abs(*single)) << hertz[i];
    }
  }
}

TEST(Sweep, ReadsWhatSingleMeasurementsRead) {
  CCircuit ladder;
  AddRcLadder(ladder, 30, 1000, 1e-9);
  ExpectSweepMatchesSingleSolves(ladder, {0, 1, 1e3, 1e5, 1e7, 1e9, 1e3});

  // Through an exact resonance and out again: the replayed order fails there and a new one is
  // chosen, and the frequencies after it still read right.
  CCircuit tank;
  tank.L(1, 2, 1e-3);
  tank.C(1, 3, 1e-6);
  tank.R(3, 2, 0);
  const std::vector<double> hertz = {Resonance * (1 - 1e-3), Resonance, Resonance * (1 + 1e-3),
                                     Resonance};
  ExpectSweepMatchesSingleSolves(tank, hertz);
  // Frequencies are prepared in groups: the resonance inside one, a new order chosen there, and
  // the rest of that group and the next still read right.
  ExpectSweepMatchesSingleSolves(
      tank, {Resonance / 2, Resonance * (1 - 1e-4), Resonance, Resonance * (1 + 1e-6),
             Resonance * (1 + 1e-3), Resonance * 2, Resonance * 3, Resonance * 4});
  CCalc solver;
  const std::vector<SImpedance> z = SweepImpedance(tank.Cmps, *tank.Meter, solver, hertz);
  EXPECT_TRUE(z[0] && z[2]);
  EXPECT_FALSE(z[1] || z[3]) << "the exact resonance has no solution";
}

TEST(Sweep, KeepsTheAnalysisWhileOnlyValuesChange) {
  CCircuit circuit;
  AddRcLadder(circuit, 5, 1000, 1e-9);
  CCalc& solver = circuit.Solver;
  solver.Cmps = &circuit.Cmps;
  ASSERT_TRUE(solver.Build());
  ASSERT_TRUE(solver.Solve(circuit.Meter->FirstExtra, 1e3));
  EXPECT_FALSE(solver.Replayed) << "nothing to replay yet";
  ASSERT_TRUE(solver.Solve(circuit.Meter->FirstExtra, 1e6));
  EXPECT_TRUE(solver.Replayed) << "another frequency";

  circuit.Parts[1].Cmp->Params()[0].Value->Value = 47;
  ASSERT_TRUE(solver.Build());
  ASSERT_TRUE(solver.Solve(circuit.Meter->FirstExtra, 1e3));
  EXPECT_TRUE(solver.Replayed) << "a value edit, built again";

  circuit.R(1, 2, 10);
  ASSERT_TRUE(solver.Build());
  ASSERT_TRUE(solver.Solve(circuit.Meter->FirstExtra, 1e3));
  EXPECT_FALSE(solver.Replayed) << "a new part changes the pattern";
  solver.Release();
}

}  // namespace
