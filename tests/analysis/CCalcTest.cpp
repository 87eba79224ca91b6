// The nodal solver: numbering of the unknowns, the stamping conventions, the impedances of
// small networks with known answers, and the build/solve/release cycle.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <limits>
#include <map>
#include <numbers>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "Circuit.h"
#include "analysis/CCalc.h"
#include "components/CCmp.h"

// Giant allocations must come back as null (a failed build) under the address sanitizer too.
extern "C" const char* __asan_default_options() {
  return "allocator_may_return_null=1";
}

namespace {

using Complex = std::complex<double>;

std::vector<int32_t> NodesOf(const CCmp* cmp) {
  return cmp->Nodes;
}

TEST(CCalcNumbering, CompactsNodeNumbersAndHandsOutExtrasInListOrder) {
  CCircuit circuit(7, 3);
  CCmp* cap = circuit.C(7, 12, 1e-6);
  circuit.Solver.Cmps = &circuit.Cmps;
  ASSERT_TRUE(circuit.Solver.Build());
  EXPECT_EQ(NodesOf(circuit.Meter), (std::vector<int32_t>{2, 1}));
  EXPECT_EQ(NodesOf(cap), (std::vector<int32_t>{2, 3}));
  EXPECT_EQ(circuit.Meter->FirstExtra, 4);
  EXPECT_EQ(cap->FirstExtra, 5);
  EXPECT_EQ(circuit.Solver.Count, 6);

  // The compact numbers map onto themselves, so a second build changes nothing.
  ASSERT_TRUE(circuit.Solver.Build());
  EXPECT_EQ(NodesOf(circuit.Meter), (std::vector<int32_t>{2, 1}));
  EXPECT_EQ(NodesOf(cap), (std::vector<int32_t>{2, 3}));
  EXPECT_EQ(cap->FirstExtra, 5);
  EXPECT_EQ(circuit.Solver.Count, 6);
}

TEST(CCalcNumbering, KeepsTheReferenceAndSortsBySignedValue) {
  struct SCase {
    std::vector<int32_t> meter, resistor;
    std::vector<int32_t> meterAfter, resistorAfter;
    int count;
  };
  const SCase cases[] = {
      // pins on 0 stay tied to the reference and take no number
      {{0, 5}, {5, 0}, {0, 1}, {1, 0}, 3},
      // a pin still at -1 sorts before every positive number
      {{9, -1}, {-1, 4}, {3, 1}, {1, 2}, 5},
      {{100, 100}, {100, 100}, {1, 1}, {1, 1}, 3},
      // numbers with gaps rank alike, whether few and small or spread far apart
      {{9, 4}, {4, 2}, {3, 2}, {2, 1}, 5},
      {{1, 1000000}, {1000000, 7}, {1, 3}, {3, 2}, 5},
  };
  for (const SCase& c : cases) {
    CCircuit circuit(c.meter[0], c.meter[1]);
    CCmp* r = circuit.R(c.resistor[0], c.resistor[1], 10);
    circuit.Solver.Cmps = &circuit.Cmps;
    ASSERT_TRUE(circuit.Solver.Build());
    EXPECT_EQ(NodesOf(circuit.Meter), c.meterAfter);
    EXPECT_EQ(NodesOf(r), c.resistorAfter);
    EXPECT_EQ(r->FirstExtra, 0) << "a nonzero resistor needs no extra unknown";
    EXPECT_EQ(circuit.Solver.Count, c.count);
  }
}

TEST(CCalcNumbering, ResistorOfZeroTakesAnExtraUnknownOnlyWhileItIsZero) {
  CCircuit circuit;
  CCmp* r = circuit.R(1, 2, 0.0);
  circuit.Solver.Cmps = &circuit.Cmps;
  ASSERT_TRUE(circuit.Solver.Build());
  EXPECT_EQ(r->FirstExtra, 4);
  EXPECT_EQ(circuit.Solver.Count, 5);
  r->Params()[0].Value->Value = 1e-300;
  ASSERT_TRUE(circuit.Solver.Build());
  EXPECT_EQ(r->FirstExtra, 0);
  EXPECT_EQ(circuit.Solver.Count, 4);
}

// Each helper's entries, read back from the matrix; row and column 0 take no flags.
TEST(CCalcStamps, HelpersFollowTheCurrentSignConventions) {
  CCircuit circuit;
  circuit.Add(KindMeter, {1, 2});  // a second meter only to get more slots
  circuit.Add(KindMeter, {1, 2});
  CCalc& calc = circuit.Solver;
  calc.Cmps = &circuit.Cmps;
  ASSERT_TRUE(calc.Build());
  ASSERT_EQ(calc.Count, 6);
  using Stamp = std::function<void(CCalc&)>;
  struct SCase {
    const char* name;
    Stamp stamp;
    std::vector<std::tuple<int, int, long double>> entries;
  };
  const SCase cases[] = {
      {"resistance",
       [](CCalc& c) { c.StampResistance(1, 2, 4.0); },
       {{1, 1, -0.25L}, {1, 2, 0.25L}, {2, 1, 0.25L}, {2, 2, -0.25L}}},
      {"infinite resistance",
       [](CCalc& c) { c.StampResistance(1, 2, std::numeric_limits<double>::infinity()); },
       {}},
      {"resistance on one node", [](CCalc& c) { c.StampResistance(2, 2, 4.0); }, {}},
      {"voltage branch",
       [](CCalc& c) { c.StampVoltageBranch(1, 2, 3); },
       {{1, 3, 1}, {2, 3, -1}, {3, 1, -1}, {3, 2, 1}}},
      {"voltage branch on one node", [](CCalc& c) { c.StampVoltageBranch(2, 2, 3); }, {}},
      {"current branch",
       [](CCalc& c) { c.StampCurrentBranch(1, 2, 4); },
       {{1, 4, 1}, {2, 4, -1}, {4, 4, 1}}},
      {"current branch on one node", [](CCalc& c) { c.StampCurrentBranch(1, 1, 4); }, {{4, 4, 1}}},
      {"current branch assigns its diagonal",
       [](CCalc& c) {
         c.SetRe(5, 5, 7);
         c.StampCurrentBranch(1, 2, 5);
       },
       {{1, 5, 1}, {2, 5, -1}, {5, 5, 1}}},
      {"meter branch",
       [](CCalc& c) { c.StampMeterBranch(1, 2, 5); },
       {{1, 5, -1}, {2, 5, 1}, {5, 5, 1}}},
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.name);
    calc.ClearSystem();
    c.stamp(calc);
    for (int i = 1; i < calc.Count; ++i)
      for (int l = 1; l < calc.Count; ++l) {
        long double expected = 0;
        for (const auto& [row, col, value] : c.entries)
          if (row == i && col == l) expected = value;
        EXPECT_EQ(calc.StampedRe(i, l), expected) << "entry " << i << "," << l;
        EXPECT_EQ(calc.StampedIm(i, l), 0.0L);
      }
  }
}

TEST(CCalcStamps, SubtractWithCancelTurnsNearCancellationIntoExactZero) {
  struct SCase {
    long double entry, x;
    bool kept;
    long double result;
  };
  const SCase cases[] = {
      {3.0L, 1.0L, true, 2.0L},
      {1.0L, 1.0L, false, 0.0L},
      {1.0L + 1e-13L, 1.0L, false, 0.0L},  // within twelve digits of what was subtracted
      {1.0L + 1e-11L, 1.0L, true, 1e-11L},
      {1.0L + 1e-9L, 1.0L, true, 1e-9L},
      {-2e-30L, 0.0L, true, -2e-30L},  // nothing subtracted: any nonzero survives
      {0.0L, 0.0L, false, 0.0L},
      {0.0L, -5.0L, true, 5.0L},
  };
  for (const SCase& c : cases) {
    long double entry = c.entry;
    EXPECT_EQ(CSparseLu::SubtractWithCancel(entry, c.x), c.kept) << static_cast<double>(c.entry);
    EXPECT_NEAR(static_cast<double>(entry), static_cast<double>(c.result), 1e-18);
    if (!c.kept) {
      EXPECT_FALSE(std::signbit(entry)) << "a cancelled entry is +0";
    }
  }
}

struct SNetworkCase {
  std::string name;
  std::function<void(CCircuit&)> build;
  double hertz;
  std::optional<Complex> expected;  // none: no solution
  double tolerance = 1e-12;         // relative to |expected|
};

void PrintTo(const SNetworkCase& c, std::ostream* os) {
  *os << c.name;
}

class CCalcNetwork : public testing::TestWithParam<SNetworkCase> {};

TEST_P(CCalcNetwork, ImpedanceBetweenTheMeterPins) {
  const SNetworkCase& c = GetParam();
  CCircuit circuit;
  c.build(circuit);
  const std::optional<Complex> z = circuit.Impedance(c.hertz);
  if (!c.expected) {
    EXPECT_FALSE(z.has_value()) << "got " << z.value_or(Complex());
    return;
  }
  ASSERT_TRUE(z.has_value());
  const double scale = std::max(1.0, std::abs(*c.expected));
  EXPECT_NEAR(z->real(), c.expected->real(), c.tolerance * scale);
  EXPECT_NEAR(z->imag(), c.expected->imag(), c.tolerance * scale);
}

const double W1k = 2 * std::numbers::pi * 1000;
// Resonance of 1 mH with 1 µF: f = 1 / (2π √(LC)).
const double Resonance = 1 / (2 * std::numbers::pi * std::sqrt(1e-3 * 1e-6));

// Formed in extended precision: near resonance the two admittances cancel to a few ppm.
Complex ParallelLc(double hertz) {
  const long double w = 2 * static_cast<long double>(std::numbers::pi) * hertz;
  const long double x = w * 1e-3L / (1 - w * w * 1e-3L * 1e-6L);
  return Complex(0, static_cast<double>(x));
}

INSTANTIATE_TEST_SUITE_P(
    KnownAnswers, CCalcNetwork,
    testing::Values(
        SNetworkCase{"MeterAlone", [](CCircuit&) {}, 1000, std::nullopt},
        SNetworkCase{"ShortedMeter",
                     [](CCircuit& c) {
                       c.Parts[0].Nodes = {1, 1};
                       c.R(1, 3, 5);
                     },
                     1000, Complex(0, 0)},
        SNetworkCase{"Resistor100", [](CCircuit& c) { c.R(1, 2, 100); }, 1000, Complex(100, 0)},
        SNetworkCase{"ResistorReversed", [](CCircuit& c) { c.R(2, 1, 100); }, 1000,
                     Complex(100, 0)},
        SNetworkCase{"Inductor1mAt1k", [](CCircuit& c) { c.L(1, 2, 1e-3); }, 1000,
                     Complex(0, W1k * 1e-3)},
        SNetworkCase{"Capacitor1uAt1k", [](CCircuit& c) { c.C(1, 2, 1e-6); }, 1000,
                     Complex(0, -1 / (W1k * 1e-6))},
        SNetworkCase{"SeriesRL",
                     [](CCircuit& c) {
                       c.R(1, 3, 10);
                       c.L(3, 2, 1e-3);
                     },
                     1000, Complex(10, W1k * 1e-3)},
        SNetworkCase{"ParallelRC",
                     [](CCircuit& c) {
                       c.R(1, 2, 1000);
                       c.C(2, 1, 1e-7);
                     },
                     1000, 1.0 / (1.0 / 1000 + Complex(0, W1k * 1e-7))},
        SNetworkCase{"Transformer1to2",
                     [](CCircuit& c) {
                       c.Transformer(1, 2, 3, 4, 1, 2);
                       c.R(3, 4, 100);
                     },
                     50, Complex(25, 0)},
        SNetworkCase{"TransformerSecondarySwapped",
                     [](CCircuit& c) {
                       c.Transformer(1, 2, 4, 3, 1, 2);
                       c.R(3, 4, 100);
                     },
                     50, Complex(25, 0)},
        SNetworkCase{"TransformerPrimarySwapped",
                     [](CCircuit& c) {
                       c.Transformer(2, 1, 3, 4, 1, 2);
                       c.R(3, 4, 100);
                     },
                     50, Complex(25, 0)},
        SNetworkCase{"TransformerAtZeroHertz",
                     [](CCircuit& c) {
                       c.Transformer(1, 2, 3, 4, 3, 1);
                       c.R(3, 4, 10);
                     },
                     0, Complex(90, 0)},
        SNetworkCase{"TransformerSecondaryOpen",
                     [](CCircuit& c) { c.Transformer(1, 2, 3, 4, 1, 2); }, 50, std::nullopt},
        SNetworkCase{"ZeroOhms", [](CCircuit& c) { c.R(1, 2, 0); }, 1000, Complex(0, 0)},
        SNetworkCase{"TwoZeroOhmsInParallel",
                     [](CCircuit& c) {
                       c.R(1, 2, 0);
                       c.R(2, 1, 0);
                     },
                     1000, Complex(0, 0)},
        SNetworkCase{"TwoInductorsInParallelAtZeroHertz",
                     [](CCircuit& c) {
                       c.L(1, 2, 1e-3);
                       c.L(1, 2, 2e-3);
                     },
                     0, Complex(0, 0)},
        SNetworkCase{"ZeroOhmsInSeries",
                     [](CCircuit& c) {
                       c.R(1, 3, 0);
                       c.R(3, 2, 47);
                     },
                     1000, Complex(47, 0)},
        SNetworkCase{"InfiniteResistanceIsOpen",
                     [](CCircuit& c) { c.R(1, 2, std::numeric_limits<double>::infinity()); }, 1000,
                     std::nullopt},
        SNetworkCase{"CapacitorOpenAtZeroHertz", [](CCircuit& c) { c.C(1, 2, 1e-6); }, 0,
                     std::nullopt},
        SNetworkCase{"CapacitorOfZeroIsOpen", [](CCircuit& c) { c.C(1, 2, 0); }, 1000,
                     std::nullopt},
        SNetworkCase{"InductorShortAtZeroHertz",
                     [](CCircuit& c) {
                       c.L(1, 2, 1e-3);
                       c.R(1, 2, 10);
                     },
                     0, Complex(0, 0)},
        SNetworkCase{"InductorInSeriesAtZeroHertz",
                     [](CCircuit& c) {
                       c.L(1, 3, 1e-3);
                       c.R(3, 2, 10);
                     },
                     0, Complex(10, 0)},
        SNetworkCase{"ParallelLcAtResonance",
                     [](CCircuit& c) {
                       c.L(1, 2, 1e-3);
                       c.C(1, 2, 1e-6);
                     },
                     Resonance, std::nullopt},
        SNetworkCase{"ParallelLcFewPpmAway",
                     [](CCircuit& c) {
                       c.L(1, 2, 1e-3);
                       c.C(1, 2, 1e-6);
                     },
                     // the rounding of ω to a double is magnified by the cancellation
                     Resonance*(1 + 5e-6), ParallelLc(Resonance*(1 + 5e-6)), 1e-9},
        SNetworkCase{"CoupledFullySecondaryOpen",
                     [](CCircuit& c) { c.Coupled(1, 2, 3, 4, 1e-3, 1e-3, 1); }, 1000,
                     Complex(0, W1k * 1e-3)},
        SNetworkCase{"CoupledFullySecondaryWired",
                     [](CCircuit& c) { c.Coupled(1, 2, 3, 3, 1e-3, 1e-3, 1); }, 1000,
                     Complex(0, 0)},
        SNetworkCase{"CoupledFullySecondaryZeroOhms",
                     [](CCircuit& c) {
                       c.Coupled(1, 2, 3, 4, 1e-3, 1e-3, 1);
                       c.R(3, 4, 0);
                     },
                     1000, Complex(0, 0)},
        SNetworkCase{"CoupledHalfSecondaryZeroOhms",
                     [](CCircuit& c) {
                       c.Coupled(1, 2, 3, 4, 1e-3, 4e-3, 0.5);
                       c.R(4, 3, 0);
                     },
                     1000, Complex(0, W1k * 1e-3 * (1 - 0.25))},
        SNetworkCase{"CoupledSecondaryLoadedByResistor",
                     [](CCircuit& c) {
                       c.Coupled(1, 2, 3, 4, 1e-3, 2e-3, 0.8);
                       c.R(3, 4, 5);
                     },
                     1000,
                     [] {
                       // reflected load: Z1 = jωL1 + (ωM)² / (R + jωL2)
                       const double m = 0.8 * std::sqrt(1e-3 * 2e-3);
                       return Complex(0, W1k * 1e-3) +
                              (W1k * m) * (W1k * m) / Complex(5, W1k * 2e-3);
                     }()},
        SNetworkCase{"SeparateCircuitLeavesResultUnchanged",
                     [](CCircuit& c) {
                       c.R(1, 2, 100);
                       c.R(5, 6, 33);
                       c.C(6, 7, 1e-9);
                       c.L(7, 5, 1e-3);
                     },
                     1000, Complex(100, 0)},
        SNetworkCase{"ComponentOnOneNodeLeavesResultUnchanged",
                     [](CCircuit& c) {
                       c.R(1, 2, 100);
                       c.R(2, 2, 5);
                       c.C(1, 1, 1e-6);
                       c.L(2, 2, 1e-3);
                       c.R(1, 1, 0);
                       c.Transformer(2, 2, 1, 1, 1, 3);
                     },
                     1000, Complex(100, 0)}),
    [](const testing::TestParamInfo<SNetworkCase>& info) { return info.param.name; });

// Verdicts that depend on which parts can carry current and on where each group's reference
// lies rather than on arithmetic.
INSTANTIATE_TEST_SUITE_P(
    GroupsAndPaths, CCalcNetwork,
    testing::Values(SNetworkCase{"MeterOnNoClosedPath", [](CCircuit& c) { c.R(1, 3, 10); }, 1000,
                                 std::nullopt},
                    SNetworkCase{"MeterPinsInSeparateGroups",
                                 [](CCircuit& c) {
                                   c.R(1, 3, 10);
                                   c.L(3, 1, 1e-3);
                                   c.C(2, 4, 1e-6);
                                 },
                                 1000, std::nullopt},
                    SNetworkCase{"TransformerWithDanglingSecondaryCarriesNothing",
                                 [](CCircuit& c) {
                                   c.R(1, 2, 100);
                                   c.Transformer(1, 2, 3, 4, 1, 2);
                                 },
                                 50, Complex(100, 0)},
                    SNetworkCase{"CoupledWithDanglingSecondaryIsPlainInductor",
                                 [](CCircuit& c) {
                                   c.Coupled(1, 2, 3, 4, 1e-3, 4e-3, 0.9);
                                   c.R(3, 5, 7);
                                 },
                                 1000, Complex(0, W1k * 1e-3)},
                    SNetworkCase{"IslandAtItsOwnResonanceLeavesResultUnchanged",
                                 [](CCircuit& c) {
                                   c.R(1, 2, 100);
                                   c.L(5, 6, 1e-3);
                                   c.C(6, 5, 1e-6);
                                   c.R(6, 7, 1);
                                 },
                                 Resonance, Complex(100, 0)},
                    SNetworkCase{"IslandWithInfiniteValueLeavesResultUnchanged",
                                 [](CCircuit& c) {
                                   c.R(1, 2, 100);
                                   c.C(5, 6, std::numeric_limits<double>::infinity());
                                   c.R(6, 5, 1);
                                 },
                                 1000, Complex(100, 0)}),
    [](const testing::TestParamInfo<SNetworkCase>& info) { return info.param.name; });

TEST(CCalcNetwork, ResonanceFewPpmAwayIsLargeButFinite) {
  CCircuit circuit;
  circuit.L(1, 2, 1e-3);
  circuit.C(1, 2, 1e-6);
  for (double offset : {-4e-6, 4e-6}) {
    const std::optional<Complex> z = circuit.Impedance(Resonance * (1 + offset));
    ASSERT_TRUE(z.has_value());
    EXPECT_GT(std::abs(z->imag()), 1e4);
    EXPECT_TRUE(std::isfinite(z->imag()));
    EXPECT_EQ(z->imag() > 0, offset < 0) << "inductive below resonance, capacitive above";
  }
}

// Ladder impedance by the recurrence from the far end: Z = R + (Zc ∥ Z_rest), the last
// section being R + Zc.
Complex LadderImpedance(int sections, double ohms, double farads, double hertz) {
  using Extended = std::complex<long double>;
  const Extended r(ohms);
  const Extended zc(0, -1 / (2 * static_cast<long double>(std::numbers::pi) * hertz * farads));
  Extended z = r + zc;
  for (int i = 1; i < sections; ++i) z = r + zc * z / (zc + z);
  return Complex(static_cast<double>(z.real()), static_cast<double>(z.imag()));
}

// Deep ladders spread the node potentials over many decades, so the floating circuit's
// redundant node row cancels only to rounding noise; that must not read as "no solution".
TEST(CCalcNetwork, DeepLaddersSolveAtEveryFrequency) {
  for (int sections : {1, 2, 6, 10, 40}) {
    for (double hertz : {1e3, 1e5, 1e7, 1e9}) {
      for (bool railLast : {false, true}) {
        CCircuit circuit(1, railLast ? sections + 2 : 2);
        AddRcLadder(circuit, sections, 1000, 1e-9);
        const std::optional<Complex> z = circuit.Impedance(hertz);
        const Complex expected = LadderImpedance(sections, 1000, 1e-9, hertz);
        ASSERT_TRUE(z.has_value()) << sections << " sections at " << hertz << " Hz";
        EXPECT_LT(std::abs(*z - expected), 1e-9 * std::abs(expected))
            << sections << " sections at " << hertz << " Hz: " << *z << " vs " << expected;
      }
    }
  }
}

// The pencil, formed at any frequency, is the system that a solve there stamps.
TEST(CCalcPencil, AtEveryFrequencyTheSystemIsAPlusJOmegaB) {
  CCircuit circuit;
  circuit.R(1, 3, 10);
  circuit.C(3, 2, 1e-6);
  circuit.L(3, 4, 1e-3);
  circuit.Coupled(4, 2, 5, 2, 1e-3, 2e-3, 0.5);
  circuit.Transformer(5, 2, 6, 2, 1, 3);
  circuit.R(6, 2, 50);
  CCalc& calc = circuit.Solver;
  calc.Cmps = &circuit.Cmps;
  ASSERT_TRUE(calc.Build());
  SPencil pencil;
  ASSERT_TRUE(calc.Pencil(circuit.Meter->FirstExtra, pencil));
  EXPECT_EQ(pencil.Count, calc.Count);
  EXPECT_EQ(pencil.B.size(), 6U) << "C: one entry (node 2 is the reference), L: one, coupled: four";
  for (double hertz : {0.0, 50.0, 1e6}) {
    calc.Solve(circuit.Meter->FirstExtra, hertz);
    std::map<std::pair<int, int>, std::complex<long double>> formed;
    for (const SMatrixEntry& e : pencil.A)
      formed[{e.Row, e.Col}] += std::complex<long double>(e.Value.Re, e.Value.Im);
    const long double w = calc.Omega;
    for (const SMatrixEntry& e : pencil.B)
      formed[{e.Row, e.Col}] +=
          std::complex<long double>(0, w) * std::complex<long double>(e.Value.Re, e.Value.Im);
    for (const auto& [at, v] : formed) {
      EXPECT_EQ(v.real(), calc.StampedRe(at.first, at.second)) << hertz;
      EXPECT_EQ(v.imag(), calc.StampedIm(at.first, at.second)) << hertz;
    }
  }
}

TEST(CCalcLifecycle, BuildSolveReleaseCyclesAreSafe) {
  CCircuit circuit;
  circuit.R(1, 3, 10);
  circuit.C(3, 2, 1e-6);
  CCalc& calc = circuit.Solver;
  calc.Cmps = &circuit.Cmps;

  EXPECT_FALSE(calc.Solve(1, 1000)) << "nothing built yet";
  calc.Release();
  calc.Release();
  EXPECT_EQ(calc.Count, 0);

  ASSERT_TRUE(calc.Build());
  EXPECT_NE(calc.VecRe, nullptr);
  ASSERT_TRUE(calc.Solve(circuit.Meter->FirstExtra, 1000));
  const size_t a = static_cast<size_t>(circuit.Meter->Nodes[0]);
  const size_t b = static_cast<size_t>(circuit.Meter->Nodes[1]);
  const double r1 = calc.VecRe[b] - calc.VecRe[a];
  const double x1 = calc.VecIm[b] - calc.VecIm[a];
  EXPECT_NEAR(r1, 10, 1e-12);
  // A second solve on the same build clears and reassembles from scratch.
  ASSERT_TRUE(calc.Solve(circuit.Meter->FirstExtra, 1000));
  EXPECT_EQ(calc.VecRe[b] - calc.VecRe[a], r1);
  EXPECT_EQ(calc.VecIm[b] - calc.VecIm[a], x1);
  // Entries stamped by hand between two solves are cleared with the rest.
  calc.StampResistance(static_cast<int>(a), static_cast<int>(b), 1e-3);
  calc.AddIm(1, 2, 5);
  ASSERT_TRUE(calc.Solve(circuit.Meter->FirstExtra, 1000));
  EXPECT_EQ(calc.VecRe[b] - calc.VecRe[a], r1);
  EXPECT_EQ(calc.VecIm[b] - calc.VecIm[a], x1);
  // A different frequency on the same build.
  ASSERT_TRUE(calc.Solve(circuit.Meter->FirstExtra, 2000));
  EXPECT_NEAR(calc.VecIm[b] - calc.VecIm[a], x1 / 2, 1e-9);
  EXPECT_DOUBLE_EQ(calc.Omega, 2 * std::numbers::pi * 2000);

  calc.Release();
  calc.Release();
  EXPECT_EQ(calc.Count, 0);
  EXPECT_EQ(calc.VecRe, nullptr);
  EXPECT_EQ(calc.VecIm, nullptr);
  EXPECT_FALSE(calc.Solve(circuit.Meter->FirstExtra, 1000));

  // Building over a built system releases it first.
  ASSERT_TRUE(calc.Build());
  ASSERT_TRUE(calc.Build());
  ASSERT_TRUE(calc.Solve(circuit.Meter->FirstExtra, 1000));
  EXPECT_NEAR(calc.VecRe[b] - calc.VecRe[a], 10, 1e-12);
}

TEST(CCalcLifecycle, SolvesAfterFailureAndWithoutComponentList) {
  CCircuit circuit;
  CCmp* r = circuit.R(1, 2, std::numeric_limits<double>::infinity());
  EXPECT_FALSE(circuit.Impedance(1000).has_value());
  r->Params()[0].Value->Value = 50;
  const std::optional<Complex> z = circuit.Impedance(1000);
  ASSERT_TRUE(z.has_value());
  EXPECT_NEAR(z->real(), 50, 1e-12);

  CCalc bare;
  EXPECT_TRUE(bare.Build());
  EXPECT_EQ(bare.Count, 1);
  EXPECT_TRUE(bare.Solve(0, 1000));
}

// A component that asks for more unknowns than any machine can hold.
class CGreedy : public CCmp {
 public:
  CGreedy(const SElemType* type, int32_t extras) : CCmp(type), extras(extras) {}
  int32_t ExtraCount() const override { return extras; }

 private:
  int32_t extras;
};

TEST(CCalcLifecycle, BuildReportsStorageThatCannotBeHad) {
  struct SCase {
    int greedy;
    int32_t extras;
  };
  // refused by the allocator; too large to count in bytes; too many unknowns for an int
  for (SCase c : {SCase{1, 400'000'000}, SCase{2, 400'000'000}, SCase{2, 2'000'000'000}}) {
    CCircuit circuit;
    circuit.R(1, 2, 10);
    for (int i = 0; i < c.greedy; ++i)
      circuit.Cmps.Add(std::make_unique<CGreedy>(ElemTypes[KindR], c.extras));
    circuit.Solver.Cmps = &circuit.Cmps;
    EXPECT_FALSE(circuit.Solver.Build()) << c.greedy << " x " << c.extras;
    EXPECT_FALSE(circuit.Solver.Solve(circuit.Meter->FirstExtra, 1000));
    circuit.Solver.Release();
    EXPECT_EQ(circuit.Solver.Count, 0);
  }
}

}  // namespace
