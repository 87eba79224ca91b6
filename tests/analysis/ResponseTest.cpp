// The frequency response: resonances and Q against closed forms, the sweep against the
// readout, the circuit copy and the text exports.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <numbers>
#include <optional>
#include <string>

#include "Circuit.h"
#include "analysis/Response.h"
#include "analysis/Sweep.h"
#include "value/Value.h"

namespace {

double SeriesF0(long double l, long double c) {
  return static_cast<double>(1 / (2 * std::numbers::pi_v<long double> * std::sqrt(l * c)));
}

// Where Im f changes sign between lo and hi, by bisection on the closed-form impedance.
double ClosedFormRoot(const std::function<Complex(long double)>& z, long double lo,
                      long double hi) {
  const bool loPositive = z(lo).imag() > 0;
  for (int i = 0; i < 200; ++i) {
    const long double mid = (lo + hi) / 2;
    ((z(mid).imag() > 0) == loPositive ? lo : hi) = mid;
  }
  return static_cast<double>((lo + hi) / 2);
}

struct SExpected {
  double Hertz;
  bool Series;
  double Q;  // 0: not checked
  double QTolerance;
};

struct SResonanceCase {
  const char* Name;
  std::function<void(CCircuit&)> Build;
  double Start, Stop;
  std::vector<SExpected> Expected;
};

// Crystal: motional arm R, L, C in parallel with C0. The zeros of X lie slightly off the
// lossless fs and fp; they are found on the closed-form impedance.
constexpr long double Rm = 10, Lm = 10e-3, Cm = 10e-12, C0 = 5e-12;
Complex Crystal(long double f) {
  const long double w = 2 * std::numbers::pi_v<long double> * f;
  const Complex zm(Rm, w * Lm - 1 / (w * Cm));
  const Complex y = 1.0L / zm + Complex(0, w * C0);
  return 1.0L / y;
}

}  // namespace

TEST(Response, ResonancesAndQMatchClosedForms) {
  const double fs = SeriesF0(Lm, Cm);
  const double fp = static_cast<double>(fs * std::sqrt(1 + Cm / C0));
  const double crystalSeries = ClosedFormRoot(Crystal, fs * (1 - 1e-6), fs * (1 + 1e-6));
  const double crystalParallel = ClosedFormRoot(Crystal, fp * (1 - 1e-3), fp * (1 + 1e-3));
  const double rlcF0 = SeriesF0(1e-3L, 1e-6L);
  const std::vector<SResonanceCase> cases = {
      {"series RLC",
       [](CCircuit& c) {
         c.R(1, 3, 10);
         c.L(3, 4, 1e-3);
         c.C(4, 2, 1e-6);
       },
       rlcF0 / 1000,
       rlcF0 * 1000,
       {{rlcF0, true, std::sqrt(1e-3 / 1e-6) / 10, 1e-6}}},
      {"parallel tank with a loss resistor",
       [](CCircuit& c) {
         c.R(1, 2, 10e3);
         c.L(1, 2, 1e-3);
         c.C(1, 2, 1e-6);
       },
       rlcF0 / 1000,
       rlcF0 * 1000,
       {{rlcF0, false, 10e3 * std::sqrt(1e-6 / 1e-3), 1e-6}}},
      {"crystal",
       [](CCircuit& c) {
         c.R(1, 3, static_cast<double>(Rm));
         c.L(3, 4, static_cast<double>(Lm));
         c.C(4, 2, static_cast<double>(Cm));
         c.C(1, 2, static_cast<double>(C0));
       },
       fs / 10,
       fs * 10,
       // the series Q is that of the motional arm, up to the small effect of C0
       {{crystalSeries, true,
         static_cast<double>(2 * std::numbers::pi_v<long double> * fs * Lm / Rm), 1e-3},
        {crystalParallel, false, 0, 0}}},
      {"series RLC behind a 1:3 transformer",
       [](CCircuit& c) {
         c.Transformer(1, 2, 3, 4, 1, 3);
         c.R(3, 5, 90);
         c.L(5, 6, 1e-3);
         c.C(6, 4, 1e-6);
       },
       rlcF0 / 1000,
       rlcF0 * 1000,
       {{rlcF0, true, std::sqrt(1e-3 / 1e-6) / 90, 1e-6}}},
      {"series RLC whose band leaves the range",
       [](CCircuit& c) {
         c.R(1, 3, 10);
         c.L(3, 4, 1e-3);
         c.C(4, 2, 1e-6);
       },
       rlcF0 * 0.99,
       rlcF0 * 1.01,
       {{rlcF0, true, std::sqrt(1e-3 / 1e-6) / 10, 1e-6}}},
  };
  for (const SResonanceCase& test : cases) {
    SCOPED_TRACE(test.Name);
    CCircuit circuit;
    test.Build(circuit);
    circuit.Renumber();
    const SResponse response = SweepMeter(circuit.Cmps, *circuit.Meter, circuit.Solver,
                                          LogFrequencies(test.Start, test.Stop, 400));
    const ImpedanceFunction z = MeterImpedance(circuit.Cmps, *circuit.Meter, circuit.Solver);
    ASSERT_EQ(response.Resonances.size(), test.Expected.size());
    for (size_t i = 0; i < test.Expected.size(); ++i) {
      const SResonance& got = response.Resonances[i];
      const SExpected& want = test.Expected[i];
      EXPECT_NEAR(got.Hertz / want.Hertz, 1.0, 1e-9) << got.Hertz << " vs " << want.Hertz;
      EXPECT_EQ(got.Series, want.Series);
      if (want.Q > 0) {
        EXPECT_NEAR(got.Q / want.Q, 1.0, want.QTolerance) << got.Q << " vs " << want.Q;
      }
      const std::optional<Complex> at = z(got.Hertz);
      ASSERT_TRUE(at.has_value());
      EXPECT_NEAR(got.Magnitude, static_cast<double>(std::abs(*at)), 1e-9 * got.Magnitude);
    }
  }
}

// Close resonances against an independent oracle on the closed-form impedance: the roots of X
// from a fine scan, the Q from the nearest -3 dB crossings either side, bisected.
struct SCloseCase {
  const char* Name;
  std::function<void(CCircuit&)> Build;
  std::function<Complex(long double)> Z;
  double Working;
};

Complex Parallel(Complex a, Complex b) {
  return 1.0L / (1.0L / a + 1.0L / b);
}
Complex Arm(long double r, long double l, long double c, long double f) {
  const long double w = 2 * std::numbers::pi_v<long double> * f;
  return {r, w * l - 1 / (w * c)};
}
Complex Shunt(long double c, long double f) {
  return {0, -1 / (2 * std::numbers::pi_v<long double> * f * c)};
}

double Bisect(const std::function<bool(long double)>& beyond, long double in, long double out) {
  for (int i = 0; i < 200; ++i) ((beyond((in + out) / 2)) ? out : in) = (in + out) / 2;
  return static_cast<double>((in + out) / 2);
}

std::vector<SExpected> ClosedFormResonances(const std::function<Complex(long double)>& z,
                                            double start, double stop) {
  std::vector<double> roots;
  for (long double f = start, g = f * (1 + 1e-5L); g <= stop; f = g, g *= 1 + 1e-5L)
    if ((z(f).imag() > 0) != (z(g).imag() > 0))
      roots.push_back(Bisect(
          [&, up = z(g).imag() > 0](long double h) { return (z(h).imag() > 0) == up; }, f, g));
  std::vector<SExpected> out;
  for (size_t i = 0; i < roots.size(); ++i) {
    const long double f0 = roots[i], mag0 = std::abs(z(f0));
    const bool series = z(f0 * (1 + 1e-9L)).imag() > 0;
    const auto beyond = [&](long double f) {
      return series ? std::abs(z(f)) > mag0 * std::sqrt(2.0L)
                    : std::abs(z(f)) < mag0 / std::sqrt(2.0L);
    };
    std::optional<double> edge[2];
    for (int side = 0; side < 2; ++side)
      for (long double d = f0 * 1e-9L, last = f0; !edge[side];
           last = f0 + (side ? d : -d), d *= 1.01L) {
        const long double f = f0 + (side ? d : -d);
        if (side ? (i + 1 < roots.size() && f > roots[i + 1]) : (i > 0 && f < roots[i - 1])) break;
        if (beyond(f)) edge[side] = Bisect(beyond, last, f);
      }
    out.push_back(
        {roots[i], series, edge[0] && edge[1] ? roots[i] / (*edge[1] - *edge[0]) : 0, 1e-6});
  }
  return out;
}

// A crystal's motional arm across the holder's capacitance c0, working at 10 MHz.
SCloseCase Quartz(const char* name, double c0) {
  return {name,
          [c0](CCircuit& k) {
            k.R(1, 3, 20);
            k.L(3, 4, 10e-3);
            k.C(4, 2, 25.3e-15);
            k.C(1, 2, c0);
          },
          [c0](long double h) { return Parallel(Arm(20, 10e-3L, 25.3e-15L, h), Shunt(c0, h)); },
          10e6};
}

TEST(Response, CloseResonancesAreListedAlikeAtEveryPointCount) {
  const long double f = 1e6, l = 10e-6,
                    c = 1 / (l * 4 * std::pow(std::numbers::pi_v<long double>, 2) * f * f);
  const std::vector<SCloseCase> cases = {
      Quartz("crystal, fs and fp 0.25 % apart", 5e-12),
      Quartz("crystal, 0.1 % apart", 12.6e-12),
      Quartz("crystal, 1 % apart", 1.26e-12),
      {"double-tuned pair, capacitor coupled",
       [&](CCircuit& k) {
         for (int32_t n : {1, 3}) {
           k.R(n, 2, 10e3);
           k.L(n, 2, static_cast<double>(l));
           k.C(n, 2, static_cast<double>(c));
         }
         k.C(1, 3, 50e-12);
       },
       [&](long double h) {
         const Complex tank = Parallel(
             Parallel(10e3L, Complex(0, 2 * std::numbers::pi_v<long double> * h * l)), Shunt(c, h));
         return Parallel(tank, Shunt(50e-12L, h) + tank);
       },
       1e6},
      {"three-mode resonator",
       [](CCircuit& k) {
         int32_t n = 3;
         for (double cm : {25.3e-15, 25.15e-15, 24.9e-15}) {
           k.R(1, n, 20 + n);
           k.L(n, n + 1, 10e-3);
           k.C(n + 1, 2, cm);
           n += 2;
         }
         k.C(1, 2, 5e-12);
       },
       [](long double h) {
         Complex y = 1.0L / Shunt(5e-12L, h);
         const long double cm[] = {25.3e-15L, 25.15e-15L, 24.9e-15L};
         for (int i = 0; i < 3; ++i) y += 1.0L / Arm(23 + 2 * i, 10e-3L, cm[i], h);
         return 1.0L / y;
       },
       10e6},
  };
  for (const SCloseCase& test : cases) {
    const std::vector<SExpected> want =
        ClosedFormResonances(test.Z, test.Working / 1e3, test.Working * 1e3);
    for (int count : {12, 16, 31, 50, 100, 131, 400}) {
      SCOPED_TRACE(std::string(test.Name) + ", " + std::to_string(count) + " points");
      CCircuit circuit;
      test.Build(circuit);
      circuit.Renumber();
      const SResponse got =
          SweepMeter(circuit.Cmps, *circuit.Meter, circuit.Solver,
                     LogFrequencies(test.Working / 1e3, test.Working * 1e3, count));
      ASSERT_EQ(got.Resonances.size(), want.size());
      for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_NEAR(got.Resonances[i].Hertz / want[i].Hertz, 1.0, 1e-9);
        EXPECT_EQ(got.Resonances[i].Series, want[i].Series);
        ASSERT_GT(want[i].Q, 0);
        EXPECT_NEAR(got.Resonances[i].Q / want[i].Q, 1.0, 1e-6)
            << got.Resonances[i].Q << " vs " << want[i].Q;
      }
    }
  }
}

// Each step is judged on its own ends: bracketing the whole sweep adds the same points as
// bracketing its steps one at a time, however the steps before were split.
TEST(Response, BracketingAStepDoesNotDependOnTheStepsBefore) {
  CCircuit circuit;
  int32_t node = 1;
  for (int i = 0; i < 5; ++i) {
    circuit.L(node, 10 + 2 * i, 1e-3 * (1 + 0.1 * i));
    circuit.C(10 + 2 * i, 11 + 2 * i, 1e-6);
    circuit.L(11 + 2 * i, 2, 2e-3);
    circuit.C(11 + 2 * i, 2, 0.5e-6 * (1 + 0.2 * i));
    node = 11 + 2 * i;
  }
  circuit.R(node, 2, 50);
  circuit.Renumber();
  SMeterPencil pencil;
  CImpedanceProbe(circuit.Cmps, *circuit.Meter, circuit.Solver).Pencil(pencil);
  const SNaturalFrequencies natural = NaturalFrequencies(pencil, 5e3);
  ASSERT_TRUE(natural.Known);
  // A solver of its own for every reading, so that no reading depends on the ones before.
  const ImpedanceFunction z = [&](double f) {
    CCalc own;
    return MeterImpedance(circuit.Cmps, *circuit.Meter, own)(f);
  };
  for (int count : {12, 31, 131}) {
    SCOPED_TRACE(count);
    std::vector<SResponsePoint> points;
    for (double f : WithNaturalPoints(LogFrequencies(50, 500e3, count), natural)) {
      const std::optional<Complex> v = z(f);
      points.push_back({f, v.has_value(), v ? static_cast<double>(v->real()) : 0.0,
                        v ? static_cast<double>(v->imag()) : 0.0});
    }
    std::vector<double> whole, alone{points.front().Hertz};
    for (const SResponsePoint& p : BracketPoints(points, z, natural)) whole.push_back(p.Hertz);
    for (size_t i = 1; i < points.size(); ++i) {
      const std::vector<SResponsePoint> step =
          BracketPoints({points[i - 1], points[i]}, z, natural);
      for (size_t k = 1; k < step.size(); ++k) alone.push_back(step[k].Hertz);
    }
    EXPECT_GT(whole.size(), points.size());
    EXPECT_EQ(whole, alone);
  }
}

TEST(Response, LosslessResonancesHaveInfiniteQAndNetworksWithoutReactanceNone) {
  CCircuit tank;
  tank.L(1, 2, 1e-3);
  tank.C(1, 2, 1e-6);
  tank.Renumber();
  const double f0 = SeriesF0(1e-3L, 1e-6L);
  const SResponse r =
      SweepMeter(tank.Cmps, *tank.Meter, tank.Solver, LogFrequencies(f0 / 100, f0 * 100, 401));
  ASSERT_EQ(r.Resonances.size(), 1u);
  EXPECT_FALSE(r.Resonances[0].Series);
  EXPECT_NEAR(r.Resonances[0].Hertz / f0, 1.0, 1e-9);
  // A pole reads as a pole.
  EXPECT_TRUE(std::isinf(r.Resonances[0].Q));
  EXPECT_TRUE(std::isinf(r.Resonances[0].Magnitude));

  // Behind two transformers in parallel, whose equations repeat each other, a series LC that
  // shorts the secondary is a zero.
  CCircuit shorting;
  for (int i = 0; i < 2; ++i) shorting.Transformer(1, 2, 3, 4, 1, 2);
  shorting.L(3, 5, 1e-3);
  shorting.C(5, 4, 1e-6);
  shorting.R(3, 4, 1e3);
  shorting.Renumber();
  const SResponse zero = SweepMeter(shorting.Cmps, *shorting.Meter, shorting.Solver,
                                    LogFrequencies(f0 / 1000, f0 * 1000, 131));
  ASSERT_EQ(zero.Resonances.size(), 1u);
  EXPECT_TRUE(zero.Resonances[0].Series);
  EXPECT_TRUE(std::isinf(zero.Resonances[0].Q));
  EXPECT_EQ(zero.Resonances[0].Magnitude, 0.0);

  CCircuit resistive;
  resistive.R(1, 2, 50);
  resistive.Transformer(1, 2, 3, 4, 1, 2);
  resistive.R(3, 4, 200);
  resistive.Renumber();
  const SResponse flat =
      SweepMeter(resistive.Cmps, *resistive.Meter, resistive.Solver, LogFrequencies(1, 1e9, 50));
  EXPECT_TRUE(flat.Resonances.empty());
  for (const SResponsePoint& p : flat.Points) {
    EXPECT_TRUE(p.Solved);
    EXPECT_DOUBLE_EQ(p.R, 25.0);
    EXPECT_EQ(p.X, 0.0);
  }
}

// A superseded sweep gives its thread back: a set flag stops the resonance search.
TEST(Response, CancelledSearchSolvesNothingMore) {
  const std::vector<SResponsePoint> points = {{1e3, true, 1, -1}, {2e3, true, 1, 1}};
  int solves = 0;
  const ImpedanceFunction z = [&](double f) -> std::optional<Complex> {
    ++solves;
    return Complex(1, f - 1.5e3);
  };
  const std::atomic<bool> cancel{true};
  EXPECT_TRUE(FindResonances(points, z, &cancel).empty());
  EXPECT_EQ(solves, 0);
}

TEST(Response, SweepPointsReadAsTheReadoutAndGapsWhereItReadsInfinity) {
  CCircuit circuit;
  circuit.R(1, 3, 4.7e3);
  circuit.C(3, 2, 10e-9);
  circuit.L(1, 2, 2.2e-3);
  circuit.C(5, 6, 1e-9);  // an island
  const std::vector<double> hertz = LogFrequencies(10, 10e6, 37);
  circuit.Renumber();
  const SResponse response = SweepMeter(circuit.Cmps, *circuit.Meter, circuit.Solver, hertz);
  ASSERT_EQ(response.Points.size(), hertz.size());
  for (const SResponsePoint& p : response.Points) {
    for (int mode : {0, 1}) {
      for (int digits : {2, 5, 8}) {
        const SReadout readout = circuit.Measure(p.Hertz, 0, mode, digits);
        ASSERT_TRUE(p.Solved);
        double first = 0, second = 0;
        DisplayValues(mode, p.R, p.X, first, second);
        EXPECT_EQ(FormatValue(digits, first), readout.R) << p.Hertz;
        EXPECT_EQ(FormatValue(digits, second), readout.X.value_or("")) << p.Hertz;
      }
    }
  }
  CCircuit open;
  open.C(1, 2, 1e-9);
  open.Renumber();
  const SResponse gaps = SweepMeter(open.Cmps, *open.Meter, open.Solver, {0.0, 1e3});
  EXPECT_FALSE(gaps.Points[0].Solved);  // a capacitor at 0 Hz
  EXPECT_TRUE(gaps.Points[1].Solved);
}

TEST(Response, CopyOfACircuitReadsTheSameAndSharesNothing) {
  CCircuit circuit;
  circuit.R(1, 3, 100);
  circuit.Coupled(3, 2, 4, 2, 1e-3, 2e-3, 0.7);
  circuit.R(4, 2, 330);
  circuit.Renumber();
  SCircuitCopy copy = CopyCircuit(circuit.Cmps, circuit.Meter);
  ASSERT_NE(copy.Meter, nullptr);
  CCalc solver;
  const std::optional<Complex> before = MeterImpedance(*copy.Cmps, *copy.Meter, solver)(5e3);
  ASSERT_TRUE(before.has_value());
  EXPECT_EQ(*before, *MeterImpedance(circuit.Cmps, *circuit.Meter, circuit.Solver)(5e3));
  // An edit of the original after the copy leaves the copy's reading alone.
  circuit.Parts[1].Cmp->Params()[0].Value->Value = 1;
  circuit.Parts[1].Cmp->Nodes[1] = 9;
  EXPECT_EQ(*MeterImpedance(*copy.Cmps, *copy.Meter, solver)(5e3), *before);
}

TEST(Response, LogFrequenciesAndExports) {
  const std::vector<double> f = LogFrequencies(10, 1e5, 5);
  ASSERT_EQ(f.size(), 5u);
  EXPECT_EQ(f.front(), 10.0);
  EXPECT_EQ(f.back(), 1e5);
  EXPECT_NEAR(f[2], 1e3, 1e-9);
  EXPECT_TRUE(LogFrequencies(0, 1e3, 10).empty());

  const std::vector<SResponsePoint> points = {{1e3, true, 50, -25}, {2e3, false, 0, 0}};
  EXPECT_EQ(ResponseCsv(points),
            "f (Hz),R (Ohm),X (Ohm),|Z| (Ohm),phase (deg)\n"
            "1000,50,-25,55.90169943749474,26.56505117707799\n"
            "2000,,,,\n");
  const std::string touchstone = ResponseTouchstone(points);
  EXPECT_NE(touchstone.find("\n# Hz Z RI R 1\n1000 50 -25\n"), std::string::npos);
  EXPECT_EQ(touchstone.find("2000"), std::string::npos);
}

// The S11 file of a known sweep, read back by scikit-rf where it is installed, gives the
// sweep's Z; Z0 of 75 Ω shows that the file's own reference is the one read.
TEST(Response, TouchstoneS11OpensInScikitRfWithTheSameImpedance) {
  // Debian's scikit-rf (0.15, which asks numpy for an alias that numpy 1.24 dropped).
  const std::string python = "/usr/bin/python3", dir = testing::TempDir() + "/vorzeta-s11";
  if (std::system((python + " -c 'import skrf' >/dev/null 2>&1").c_str()) != 0)
    GTEST_SKIP() << "python3 with scikit-rf is not installed";
  // A 50 Ω antenna model, a series RLC with a 3 Ω loss resistor, and a gap to be left out.
  CCircuit circuit;
  circuit.R(1, 3, 3);
  circuit.L(3, 4, 1e-6);
  circuit.C(4, 2, 10e-12);
  std::vector<SResponsePoint> points =
      SweepMeter(circuit.Cmps, *circuit.Meter, circuit.Solver, LogFrequencies(1e6, 1e9, 101))
          .Points;
  points.push_back({2e9, false, 0, 0});
  std::ofstream(dir + ".s1p") << ResponseTouchstoneS(points, 75);
  std::ofstream(dir + ".py") << "import sys, numpy; numpy.complex = complex; import skrf\n"
                                "n = skrf.Network(sys.argv[1]); print(n.z0[0, 0].real, *(f'{f!r} "
                                "{z.real!r} {z.imag!r}' for f, z in zip(n.f, n.z[:, 0, 0])), "
                                "file=open(sys.argv[2], 'w'))\n";
  ASSERT_EQ(std::system((python + " " + dir + ".py " + dir + ".s1p " + dir + ".txt").c_str()), 0);
  std::ifstream in(dir + ".txt");
  double z0 = 0, f = 0, r = 0, x = 0;
  in >> z0;
  EXPECT_EQ(z0, 75.0) << "the file's own reference is read";
  size_t read = 0;
  for (; read < points.size() && in >> f >> r >> x; ++read) {
    const std::complex<double> z(points[read].R, points[read].X);
    EXPECT_EQ(f, points[read].Hertz);
    EXPECT_LE(std::abs(std::complex<double>(r, x) - z), 1e-9 * std::abs(z)) << f;
  }
  EXPECT_EQ(read, points.size() - 1);
}
