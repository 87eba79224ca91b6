// The adjoint sensitivities against central differences of the solver's own readings on random
// networks, and the resonance sensitivities against the closed forms of RLC circuits.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <numeric>
#include <random>

#include "Circuit.h"
#include "analysis/Sensitivity.h"

namespace {

// A tree of R, L and C from the meter's nodes reaches every node, more parts close loops, and
// coupled inductors (k < 1) and transformers join random node pairs; no transformer windings
// form a loop among themselves. Element impedances lie between 1 Ω and 100 kΩ at `hertz`.
void RandomNetwork(CCircuit& circuit, std::mt19937_64& rng, double hertz) {
  auto uniform = [&](double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng);
  };
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const double omega = 2 * std::numbers::pi * hertz;
  auto z = [&] { return std::pow(10.0, uniform(0, 5)); };
  auto passive = [&](int32_t a, int32_t b) {
    const int kind = pick(KindR, KindL);
    const double value = kind == KindR ? z() : kind == KindC ? 1 / (omega * z()) : z() / omega;
    circuit.Add(kind, {a, b}, {value});
  };
  const int nodes = pick(2, 9);
  auto other = [&](int32_t a) {
    const int32_t b = pick(1, nodes - 1);
    return b >= a ? b + 1 : b;
  };
  for (int32_t node = 2; node <= nodes; ++node) passive(pick(1, node - 1), node);
  for (int extra = pick(0, nodes); extra > 0; --extra) {
    const int32_t a = pick(1, nodes);
    passive(a, other(a));
  }
  for (int count = pick(0, 2); count > 0; --count) {
    const int32_t a = pick(1, nodes), c = pick(1, nodes);
    circuit.Coupled(a, other(a), c, other(c), z() / omega, z() / omega, uniform(0.1, 0.99));
  }
  std::vector<int> group(static_cast<size_t>(nodes) + 1);
  std::iota(group.begin(), group.end(), 0);
  auto root = [&](int n) {
    while (group[static_cast<size_t>(n)] != n) n = group[static_cast<size_t>(n)];
    return n;
  };
  for (int count = pick(0, 2); count > 0; --count) {
    const int32_t a = pick(1, nodes), b = other(a), c = pick(1, nodes);
    if (root(a) == root(b)) continue;
    group[static_cast<size_t>(root(a))] = root(b);
    circuit.Transformer(a, b, c, other(c), uniform(1, 10), uniform(1, 10));
  }
}

double& ValueOf(CCircuit& circuit, const SPartSensitivity& part) {
  return circuit.Cmps.At(part.Cmp)->Params()[part.Param].Value->Value;
}

TEST(Sensitivity, AdjointAgreesWithCentralDifferences) {
  std::mt19937_64 rng(20261209);
  int checked = 0;
  for (int net = 0; net < 60; ++net) {
    CCircuit circuit;
    const double hertz = std::pow(10.0, std::uniform_real_distribution<double>(1, 6)(rng));
    RandomNetwork(circuit, rng, hertz);
    const std::optional<std::complex<double>> z0 = circuit.Impedance(hertz);
    const SSensitivities s = Sensitivities(circuit.Cmps, *circuit.Meter, circuit.Solver, hertz);
    ASSERT_EQ(s.Valid, z0.has_value()) << "network " << net;
    if (!s.Valid || std::abs(*z0) == 0) continue;
    for (const SPartSensitivity& part : s.Parts) {
      double& value = ValueOf(circuit, part);
      const double p = value, h = 1e-5;
      value = p * (1 + h);
      const std::optional<std::complex<double>> up = circuit.Impedance(hertz);
      value = p * (1 - h);
      const std::optional<std::complex<double>> down = circuit.Impedance(hertz);
      value = p;
      if (!up || !down) continue;
      const std::complex<double> scaled = (*up - *down) / (2 * h);
      // Both display modes, the second from the readout's own magnitude and phase.
      for (int mode : {0, 1}) {
        double first = 0, second = 0, f0 = 0, s0 = 0, f1 = 0, s1 = 0;
        ASSERT_TRUE(NormalisedSensitivity(mode, s.Z, part.Scaled, first, second));
        DisplayValues(mode, down->real(), down->imag(), f0, s0);
        DisplayValues(mode, up->real(), up->imag(), f1, s1);
        // R, X and |Z| relative to |Z|; the phase in degrees as it stands.
        const double wantFirst = (f1 - f0) / (2 * h) / std::abs(*z0);
        const double wantSecond = (s1 - s0) / (2 * h) / (mode == 0 ? std::abs(*z0) : 1.0);
        EXPECT_NEAR(first, wantFirst, 1e-6 * std::max(1.0, std::abs(wantFirst)))
            << "network " << net << " part " << part.Cmp << "." << part.Param << " mode " << mode;
        EXPECT_NEAR(second, wantSecond, 1e-6 * std::max(1.0, std::abs(wantSecond)))
            << "network " << net << " part " << part.Cmp << "." << part.Param << " mode " << mode;
      }
      EXPECT_NEAR(std::abs(part.Scaled - scaled), 0, 1e-6 * std::abs(*z0));
      ++checked;
    }
    // The admittance's, from the port driven by a voltage: dY = -dZ / Z^2.
    const SSensitivities y =
        AdmittanceSensitivities(circuit.Cmps, *circuit.Meter, circuit.Solver, hertz);
    ASSERT_TRUE(y.Valid) << "network " << net;
    EXPECT_NEAR(std::abs(y.Z * s.Z - 1.0), 0, 1e-9);
    for (size_t i = 0; i < s.Parts.size(); ++i)
      EXPECT_NEAR(std::abs(y.Parts[i].Scaled * s.Z * s.Z + s.Parts[i].Scaled), 0,
                  1e-9 * std::abs(s.Z) + 1e-9 * std::abs(s.Parts[i].Scaled))
          << "network " << net << " part " << i;
  }
  EXPECT_GT(checked, 300);
}

// Series and parallel RLC at f0 = 1 / (2π sqrt(LC)): S_L = S_C = -1/2 and S_R = 0 whichever
// the resistor, and a resistor in series with the parallel pair moves nothing either; the
// lossless pair has no impedance at f0, but its admittance is 0 there.
TEST(Sensitivity, ResonanceOfRlcFollowsClosedForm) {
  const double l = 10e-6, c = 2.2e-9, f0 = 1 / (2 * std::numbers::pi * std::sqrt(l * c));
  struct SCase {
    const char* name;
    bool series;
    void (*build)(CCircuit&, double, double);
  };
  const SCase cases[] = {
      {"series", true,
       [](CCircuit& k, double l, double c) {
         k.R(1, 3, 12);
         k.L(3, 4, l);
         k.C(4, 2, c);
       }},
      {"parallel", false,
       [](CCircuit& k, double l, double c) {
         k.R(1, 3, 5);
         k.R(3, 2, 4700);
         k.L(3, 2, l);
         k.C(3, 2, c);
       }},
      {"lossless parallel", false,
       [](CCircuit& k, double l, double c) {
         k.R(1, 3, 5);
         k.L(3, 2, l);
         k.C(3, 2, c);
       }},
  };
  for (const SCase& test : cases) {
    CCircuit circuit;
    test.build(circuit, l, c);
    circuit.Renumber();
    const SSensitivities s =
        test.series ? Sensitivities(circuit.Cmps, *circuit.Meter, circuit.Solver, f0)
                    : AdmittanceSensitivities(circuit.Cmps, *circuit.Meter, circuit.Solver, f0);
    ASSERT_TRUE(s.Valid) << test.name;
    const std::vector<double> shares = ResonanceSensitivities(s);
    ASSERT_EQ(shares.size(), s.Parts.size());
    for (size_t i = 0; i < shares.size(); ++i) {
      const int kind = KindOf(circuit.Cmps.At(s.Parts[i].Cmp)->Type);
      EXPECT_NEAR(shares[i], kind == KindR ? 0.0 : -0.5, 1e-9) << test.name << " part " << i;
    }
  }
}

}  // namespace
