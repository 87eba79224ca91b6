// Cross-check of the solver against ngspice: random well-posed networks of resistors,
// capacitors, inductors, coupled inductors and ideal transformers are solved by CCalc and by
// `ngspice -b` (AC analysis at one frequency), and the impedances must agree. A second family
// holds what a sheet being drawn holds: parts with a free end, separate islands, islands driven
// through a transformer or coupled inductors, and values over eleven decades; each of those
// networks is also solved with its nodes renumbered and its parts reordered.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <numbers>
#include <numeric>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "Circuit.h"
#include "analysis/Sweep.h"

namespace {

using Complex = std::complex<double>;
constexpr int NetworkCount = 320;
constexpr uint64_t FirstSeed = 20261208;
constexpr int HardNetworkCount = 400;
constexpr int LargeNetworkCount = 300;
constexpr uint64_t LargeFirstSeed = 60000;
constexpr uint64_t HardFirstSeed = 7000;

struct SNetPart {
  int kind;
  std::vector<int32_t> nodes;
  std::vector<double> values;
};

struct SNetwork {
  uint64_t seed = 0;
  int nodes = 0;
  double hertz = 0;
  std::vector<SNetPart> parts;  // the meter is implied on nodes meterA (pin 0) and meterB
  int32_t meterA = 1, meterB = 2;
  double zMin = 1, zMax = 1;  // the range of the element impedances, where it was noted
};

// Disjoint sets over node numbers, to keep the windings of transformers out of loops.
struct SUnion {
  std::vector<int> parent;
  explicit SUnion(int n) : parent(static_cast<size_t>(n + 1)) {
    std::iota(parent.begin(), parent.end(), 0);
  }
  int Find(int x) {
    while (parent[static_cast<size_t>(x)] != x) x = parent[static_cast<size_t>(x)];
    return x;
  }
  bool Join(int a, int b) {
    a = Find(a);
    b = Find(b);
    if (a == b) return false;
    parent[static_cast<size_t>(a)] = b;
    return true;
  }
};

// A network both solvers must answer: a random tree of passive parts reaches every node from
// the meter (so no node hangs on current-defined branches alone), more passive parts close
// loops, and coupled inductors (k < 1) and transformers sit between random node pairs. The
// transformers' primaries, which ngspice models as voltage sources, never form a loop among
// themselves. Element impedances lie between 1 Ω and 100 kΩ at the chosen frequency, so the
// values span many decades while their ratios stay moderate.
SNetwork Generate(uint64_t seed, int fewestNodes = 2, int mostNodes = 12, double hertz = 0) {
  std::mt19937_64 rng(seed);
  auto uniform = [&](double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng);
  };
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };

  SNetwork net;
  net.seed = seed;
  net.nodes = pick(fewestNodes, mostNodes);
  net.hertz = hertz > 0 ? hertz : std::pow(10.0, uniform(1, 6));
  const double omega = 2 * std::numbers::pi * net.hertz;
  auto impedance = [&] { return std::pow(10.0, uniform(0, 5)); };
  auto passive = [&](int32_t a, int32_t b) {
    const int kind = pick(KindR, KindL);
    const double z = impedance();
    const double value = kind == KindR ? z : kind == KindC ? 1 / (omega * z) : z / omega;
    net.parts.push_back({kind, {a, b}, {value}});
  };
  auto otherNode = [&](int32_t a) {
    int32_t b = pick(1, net.nodes - 1);
    return b >= a ? b + 1 : b;
  };

  for (int32_t node = 2; node <= net.nodes; ++node) passive(pick(1, node - 1), node);
  for (int extra = pick(0, net.nodes); extra > 0; --extra) {
    const int32_t a = pick(1, net.nodes);
    passive(a, otherNode(a));
  }
  for (int count = pick(0, 2); count > 0; --count) {
    const int32_t a = pick(1, net.nodes), c = pick(1, net.nodes);
    net.parts.push_back({KindLC,
                         {a, otherNode(a), c, otherNode(c)},
                         {impedance() / omega, impedance() / omega, uniform(0.1, 0.99)}});
  }
  SUnion primaries(net.nodes);
  for (int count = pick(0, 2); count > 0; --count) {
    const int32_t a = pick(1, net.nodes), b = otherNode(a);
    const int32_t c = pick(1, net.nodes), d = otherNode(c);
    if (!primaries.Join(a, b)) continue;
    net.parts.push_back({KindW, {a, b, c, d}, {uniform(1, 10), uniform(1, 10)}});
  }
  // Shuffle the list order too: it decides the extra unknowns and the stamping order.
  std::shuffle(net.parts.begin(), net.parts.end(), rng);
  return net;
}

// A network with the parts that broke the dense solver (see the file comment). The meter's
// nodes 1 and 2 are joined by a random tree with loops as above. Odd seeds spread the element
// impedances from 1 mΩ to 100 MΩ, even seeds keep them between 1 Ω and 100 kΩ.
SNetwork GenerateHard(uint64_t seed) {
  std::mt19937_64 rng(seed);
  auto uniform = [&](double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng);
  };
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };

  SNetwork net;
  net.seed = seed;
  net.hertz = std::pow(10.0, uniform(1, 7));
  const double omega = 2 * std::numbers::pi * net.hertz;
  const bool wide = seed % 2 == 1;
  auto impedance = [&] { return std::pow(10.0, wide ? uniform(-3, 8) : uniform(0, 5)); };
  auto passive = [&](int32_t a, int32_t b) {
    const int kind = pick(KindR, KindL);
    const double z = impedance();
    net.zMin = std::min(net.zMin, z);
    net.zMax = std::max(net.zMax, z);
    const double value = kind == KindR ? z : kind == KindC ? 1 / (omega * z) : z / omega;
    net.parts.push_back({kind, {a, b}, {value}});
  };
  // A tree with loops over the nodes first..last.
  auto mesh = [&](int32_t first, int32_t last) {
    for (int32_t node = first + 1; node <= last; ++node) passive(pick(first, node - 1), node);
    for (int extra = pick(0, last - first + 1); extra > 0; --extra) {
      const int32_t a = pick(first, last), b = pick(first, last);
      if (a != b) passive(a, b);
    }
  };
  auto coupling = [&](int32_t a, int32_t b, int32_t c, int32_t d) {
    if (pick(0, 1) == 0)
      net.parts.push_back({KindW, {a, b, c, d}, {uniform(1, 10), uniform(1, 10)}});
    else
      net.parts.push_back(
          {KindLC, {a, b, c, d}, {impedance() / omega, impedance() / omega, uniform(0.1, 0.99)}});
  };

  const int32_t main = pick(2, 8);
  mesh(1, main);
  net.nodes = main;
  for (int count = pick(0, 3); count > 0; --count) passive(pick(1, main), ++net.nodes);
  for (int count = pick(0, 2); count > 0; --count) {
    const int32_t first = net.nodes + 1, last = net.nodes + pick(2, 4);
    net.nodes = last;
    mesh(first, last);
    const int how = pick(0, 2);
    const int32_t a = pick(1, main), b = a == 1 ? 2 : 1;
    const int32_t c = pick(first, last), d = c == first ? last : first;
    if (how == 1) coupling(a, b, c, d);  // the island on the second winding
    if (how == 2) coupling(c, d, a, b);  // the island on the first
  }
  std::shuffle(net.parts.begin(), net.parts.end(), rng);
  return net;
}

// The same network with its node numbers permuted and its parts in another order.
SNetwork Renumbered(const SNetwork& net) {
  std::mt19937_64 rng(net.seed ^ 0x5eed);
  std::vector<int32_t> to(static_cast<size_t>(net.nodes) + 1);
  std::iota(to.begin(), to.end(), 0);
  std::shuffle(to.begin() + 1, to.end(), rng);
  SNetwork out = net;
  for (SNetPart& p : out.parts)
    for (int32_t& node : p.nodes) node = to[static_cast<size_t>(node)];
  out.meterA = to[static_cast<size_t>(net.meterA)];
  out.meterB = to[static_cast<size_t>(net.meterB)];
  std::shuffle(out.parts.begin(), out.parts.end(), rng);
  return out;
}

std::string Number(double x) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", x);
  return text;
}

// The name of the meter's pin 0 in the netlist of network `index`; it names the reading in
// ngspice's output, so that every reading is tied to its network whatever the output order.
std::string ProbeNode(size_t index) {
  std::string name(1, 'a');
  name += std::to_string(index);
  return name;
}

// Meter pin 0 is the probe node, pin 1 the ground "0"; a unit current leaves the source into
// the probe node.
std::string Netlist(const SNetwork& net, size_t index) {
  const std::string probe = ProbeNode(index);
  auto node = [&](int32_t n) {
    if (n == net.meterA) return probe;
    if (n == net.meterB) return std::string(1, '0');
    std::string name(1, 'n');
    name += std::to_string(n);
    return name;
  };
  std::ostringstream out;
  out << "network " << net.seed << " at " << Number(net.hertz) << " Hz\n";
  out << "I1 0 " << probe << " AC 1\n";
  int serial = 0;
  for (const SNetPart& p : net.parts) {
    const std::string id = std::to_string(++serial);
    const auto& v = p.values;
    switch (p.kind) {
      case KindR:
      case KindC:
      case KindL:
        out << (p.kind == KindR   ? "R"
                : p.kind == KindC ? "C"
                                  : "L")
            << id << " " << node(p.nodes[0]) << " " << node(p.nodes[1]) << " " << Number(v[0])
            << "\n";
        break;
      case KindLC:
        out << "L" << id << "p " << node(p.nodes[0]) << " " << node(p.nodes[1]) << " "
            << Number(v[0]) << "\n";
        out << "L" << id << "s " << node(p.nodes[2]) << " " << node(p.nodes[3]) << " "
            << Number(v[1]) << "\n";
        out << "K" << id << " L" << id << "p L" << id << "s " << Number(v[2]) << "\n";
        break;
      case KindW: {
        // E and V carry winding 1, F drives winding 2 with the turns ratio of that current.
        const std::string ratio = Number(v[0] / v[1]);
        out << "E" << id << " " << node(p.nodes[0]) << " x" << id << " " << node(p.nodes[2]) << " "
            << node(p.nodes[3]) << " " << ratio << "\n";
        out << "V" << id << " x" << id << " " << node(p.nodes[1]) << " 0\n";
        out << "F" << id << " " << node(p.nodes[3]) << " " << node(p.nodes[2]) << " V" << id << " "
            << ratio << "\n";
        break;
      }
      default:
        break;
    }
  }
  // A galvanic group apart from the meter's floats; one resistor to ground fixes its
  // potentials and, being the group's only tie, carries no current.
  SUnion groups(net.nodes);
  for (const SNetPart& p : net.parts)
    for (size_t pin = 0; pin + 1 < p.nodes.size(); pin += 2)
      groups.Join(p.nodes[pin], p.nodes[pin + 1]);
  for (int32_t n = 1; n <= net.nodes; ++n)
    if (groups.Find(n) == n && groups.Find(net.meterB) != n)
      out << "Rtie" << n << " " << node(n) << " 0 1\n";
  out << ".option noopac\n.end\n";
  return out.str();
}

bool HaveNgspice() {
  return std::system("command -v ngspice >/dev/null 2>&1") == 0;
}

// Runs every network through one ngspice process and returns the impedance per index (none
// where ngspice gave no reading).
std::vector<std::optional<Complex>> RunNgspice(const std::vector<SNetwork>& nets,
                                               std::string& transcript) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("vorzeta-oracle-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream control(dir / "run.cir");
  control << "oracle batch\n.control\noption numdgt=15\n";
  for (size_t i = 0; i < nets.size(); ++i) {
    const fs::path file = dir / ("net" + std::to_string(i) + ".cir");
    std::ofstream(file) << Netlist(nets[i], i);
    control << "source " << file.string() << "\n";
    control << "ac lin 1 " << Number(nets[i].hertz) << " " << Number(nets[i].hertz) << "\n";
    control << "print vr(" << ProbeNode(i) << ") vi(" << ProbeNode(i) << ")\n";
  }
  control << ".endc\n.end\n";
  control.close();

  // ngspice's notes go to the error stream and can land inside a reading's line.
  const std::string command = "cd " + dir.string() + " && ngspice -b run.cir 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  std::vector<std::optional<Complex>> results(nets.size());
  if (pipe == nullptr) return results;
  char line[4096];
  std::vector<std::optional<double>> re(nets.size());
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    transcript += line;
    size_t index = 0;
    double value = 0;
    if (std::sscanf(line, "vr(a%zu) = %lf", &index, &value) == 2 && index < nets.size()) {
      re[index] = value;
    } else if (std::sscanf(line, "vi(a%zu) = %lf", &index, &value) == 2 && index < nets.size() &&
               re[index]) {
      results[index] = Complex(*re[index], value);
    }
  }
  ::pclose(pipe);
  fs::remove_all(dir);
  return results;
}

// With `sweep`, the network is read in a sweep whose first frequency lies elsewhere, so that
// its own frequency replays the pivot order chosen there.
std::optional<Complex> Solve(const SNetwork& net, bool sweep = false) {
  CCircuit circuit(net.meterA, net.meterB);
  for (const SNetPart& p : net.parts) circuit.Add(p.kind, p.nodes, p.values);
  if (!sweep) return circuit.Impedance(net.hertz);
  circuit.Renumber();
  return SweepImpedance(circuit.Cmps, *circuit.Meter, circuit.Solver, {net.hertz * 3, net.hertz})
      .back();
}

void ExpectAgreement(const SNetwork& net, const std::optional<Complex>& z, const Complex& spice) {
  ASSERT_TRUE(z.has_value()) << "the solver found no solution at " << Number(net.hertz)
                             << " Hz; ngspice reads " << spice;
  // A transformer with both windings on one node pair can force the reading to exactly 0,
  // where ngspice keeps its rounding noise: a floor far below any element's impedance.
  // ngspice works in doubles, so across element impedances that span many decades its own
  // rounding grows with their ratio.
  const double relative = 1e-9 + std::numeric_limits<double>::epsilon() * net.zMax / net.zMin;
  const double error = std::abs(*z - spice);
  EXPECT_LE(error, relative * std::abs(spice) + 1e-9)
      << "solver " << Number(z->real()) << " " << Number(z->imag()) << "j, ngspice "
      << Number(spice.real()) << " " << Number(spice.imag()) << "j at " << Number(net.hertz)
      << " Hz";
}

TEST(NgspiceOracle, RandomNetworksAgreeWithNgspice) {
  ASSERT_TRUE(HaveNgspice()) << "ngspice is not installed; scripts/deps installs it";

  std::vector<SNetwork> nets;
  for (int i = 0; i < NetworkCount; ++i) nets.push_back(Generate(FirstSeed + i));
  std::string transcript;
  const std::vector<std::optional<Complex>> spice = RunNgspice(nets, transcript);

  int answered = 0;
  std::map<int, int> kinds;
  for (size_t i = 0; i < nets.size(); ++i) {
    const SNetwork& net = nets[i];
    SCOPED_TRACE("seed " + std::to_string(net.seed) + "\n" + Netlist(net, i));
    ASSERT_TRUE(spice[i].has_value()) << "ngspice gave no reading";
    for (const SNetPart& p : net.parts) ++kinds[p.kind];
    ExpectAgreement(net, Solve(net), *spice[i]);
    ++answered;
  }
  EXPECT_EQ(answered, NetworkCount);
  // The generator must really have produced every kind.
  for (int kind : {KindR, KindC, KindL, KindLC, KindW}) EXPECT_GT(kinds[kind], 10) << kind;
}

// Meshes of 40 to 60 nodes at 10 MHz, where heavy fill once made the cancellation rule fire on
// genuine values.
TEST(NgspiceOracle, LargeMeshesAgreeWithNgspice) {
  ASSERT_TRUE(HaveNgspice()) << "ngspice is not installed; scripts/deps installs it";
  std::vector<SNetwork> nets;
  for (int i = 0; i < LargeNetworkCount; ++i)
    nets.push_back(Generate(LargeFirstSeed + i, 40, 60, 1e7));
  std::string transcript;
  const std::vector<std::optional<Complex>> spice = RunNgspice(nets, transcript);
  for (size_t i = 0; i < nets.size(); ++i) {
    SCOPED_TRACE("seed " + std::to_string(nets[i].seed) + "\n" + Netlist(nets[i], i));
    ASSERT_TRUE(spice[i].has_value()) << "ngspice gave no reading";
    ExpectAgreement(nets[i], Solve(nets[i]), *spice[i]);
  }
}

// Dangling parts and islands must change nothing, however the nodes are numbered and the
// parts ordered, and whether the pivot order was chosen at this frequency or replayed from
// another; ngspice sees each island tied to ground by one resistor.
TEST(NgspiceOracle, DanglingPartsAndIslandsAgreeInEveryNumbering) {
  ASSERT_TRUE(HaveNgspice()) << "ngspice is not installed; scripts/deps installs it";
  std::vector<SNetwork> nets;
  for (int i = 0; i < HardNetworkCount; ++i) nets.push_back(GenerateHard(HardFirstSeed + i));
  std::string transcript;
  const std::vector<std::optional<Complex>> spice = RunNgspice(nets, transcript);
  for (size_t i = 0; i < nets.size(); ++i) {
    const SNetwork renumbered = Renumbered(nets[i]);
    SCOPED_TRACE("seed " + std::to_string(nets[i].seed) + "\n" + Netlist(nets[i], i) +
                 "renumbered:\n" + Netlist(renumbered, i));
    ASSERT_TRUE(spice[i].has_value()) << "ngspice gave no reading";
    ExpectAgreement(nets[i], Solve(nets[i]), *spice[i]);
    ExpectAgreement(renumbered, Solve(renumbered, true), *spice[i]);
  }
}

// The circuit of the bug report: 3.3 MΩ and 6.8 mH in series across the meter, with a 3.3 mΩ
// and a 6.8 Ω resistor each left with one end free. It reads the same in all 120 numberings of
// its five nodes and in every order of its parts.
TEST(NgspiceOracle, ReproductionReadsTheSameInEveryNumbering) {
  const double hertz = 6800;
  const Complex expected(3.3e6, 2 * std::numbers::pi * hertz * 6.8e-3);
  std::array<int32_t, 5> number = {1, 2, 3, 4, 5};  // a, b, c and the two free ends
  std::mt19937_64 rng(FirstSeed);
  int numberings = 0;
  do {
    const auto [a, b, c, free1, free2] = number;
    SNetwork net{0, 5, hertz, {}, a, b};
    net.parts = {{KindR, {a, c}, {3.3e6}},
                 {KindL, {c, b}, {6.8e-3}},
                 {KindR, {a, free1}, {3.3e-3}},
                 {KindR, {c, free2}, {6.8}}};
    std::shuffle(net.parts.begin(), net.parts.end(), rng);
    const std::optional<Complex> z = Solve(net);
    ASSERT_TRUE(z.has_value()) << "a=" << a << " b=" << b << " c=" << c;
    EXPECT_LE(std::abs(*z - expected), 1e-12 * std::abs(expected))
        << "a=" << a << " b=" << b << " c=" << c << ": " << *z;
    ++numberings;
  } while (std::next_permutation(number.begin(), number.end()));
  EXPECT_EQ(numberings, 120);
}

// A sweep forms each frequency's entries from the kept assembly and replays the kept pivot
// order in double precision, refining each reading; it must read what a single solve reads.
TEST(NgspiceOracle, SweepsReadWhatSingleSolvesRead) {
  std::vector<SNetwork> nets;
  for (int i = 0; i < NetworkCount; ++i) nets.push_back(Generate(FirstSeed + i));
  for (int i = 0; i < HardNetworkCount; ++i) nets.push_back(GenerateHard(HardFirstSeed + i));
  for (const SNetwork& net : nets) {
    SCOPED_TRACE("seed " + std::to_string(net.seed) + "\n" + Netlist(net, 0));
    CCircuit circuit(net.meterA, net.meterB);
    for (const SNetPart& p : net.parts) circuit.Add(p.kind, p.nodes, p.values);
    circuit.Renumber();
    std::vector<double> hertz;
    for (int i = 0; i <= 24; ++i) hertz.push_back(net.hertz * std::pow(10.0, (i - 12) / 4.0));
    const std::vector<SImpedance> sweep =
        SweepImpedance(circuit.Cmps, *circuit.Meter, circuit.Solver, hertz);
    for (size_t i = 0; i < hertz.size(); ++i) {
      CCalc fresh;
      const SImpedance single = ImpedanceAt(circuit.Cmps, *circuit.Meter, fresh, hertz[i]);
      ASSERT_EQ(sweep[i].has_value(), single.has_value()) << Number(hertz[i]) << " Hz";
      if (single) {
        EXPECT_LE(std::abs(*sweep[i] - *single), 1e-10 * std::abs(*single)) << hertz[i];
      }
    }
  }
}

// A small resistance in series with a tank near its resonance, or with a huge reactance: the
// resistance must stay in the reading beside the reactance, R and X each within 1e-9 of |Z|.
TEST(NgspiceOracle, SmallResistanceBesideHugeReactanceStaysInTheReading) {
  std::mt19937_64 rng(FirstSeed);
  auto decade = [&](double lo, double hi) {
    return std::pow(10.0, std::uniform_real_distribution<double>(lo, hi)(rng));
  };
  for (int i = 0; i < 600; ++i) {
    const double l = decade(-8, -1), c = decade(-14, -6), r = decade(-3, 3);
    const int shape = i % 4;
    const double f0 = 1 / (2 * std::numbers::pi * std::sqrt(l * c));
    const double offset = (i % 8 < 4 ? 1 : -1) * decade(-6, -3);
    // The series inductor's reactance lies 6 to 11 decades above the resistance.
    const double hertz =
        shape == 3 ? r * decade(6, 11) / (2 * std::numbers::pi * l * 1e6) : f0 * (1 + offset);
    CCircuit circuit;
    if (shape == 0) circuit.R(1, 3, r), circuit.L(3, 2, l), circuit.C(3, 2, c);
    if (shape == 1) circuit.L(1, 3, l), circuit.C(1, 3, c), circuit.R(3, 2, r);
    if (shape == 2) circuit.C(3, 2, c), circuit.R(1, 3, r), circuit.L(2, 3, l);
    if (shape == 3) circuit.R(1, 3, r), circuit.L(3, 2, l * 1e6);
    // The solver's angular frequency is a double.
    const long double w =
        static_cast<double>(static_cast<long double>(hertz) * 2 * std::numbers::pi);
    const long double x = shape == 3 ? w * l * 1e6 : 1 / (1 / (w * l) - w * c);
    const std::optional<Complex> z = circuit.Impedance(hertz);
    const double size = std::hypot(r, static_cast<double>(x));
    ASSERT_TRUE(z.has_value()) << i;
    EXPECT_LE(std::abs(z->real() - r), 1e-9 * size) << i << ": R " << z->real() << " for " << r;
    EXPECT_LE(std::abs(z->imag() - static_cast<double>(x)), 1e-9 * size) << i;
  }
}

}  // namespace
