// Cost of one recomputation (build, solve and readout texts) on RC ladders of growing size,
// with the solver's storage per size; a value-only re-solve; sweeps of 400 frequencies, beside
// ngspice's AC analysis of the same ladder where its library is installed; and the cost of the
// value text conversions.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "Circuit.h"
#include "analysis/Sweep.h"
#include "value/Value.h"

#ifdef VORZETA_HAVE_NGSPICE
#include <ngspice/sharedspice.h>
#endif

namespace {

// Arguments: sections; where the rail's node number lies (0 first, 1 last), which decides the
// fill-in of the elimination; frequency in hertz. With 1 kΩ and 1 nF the capacitors' admittance
// is far below the resistors' conductance at 1 kHz and far above it at 10 MHz, which decides
// the pivots and with them the fill-in.
void BM_RecomputeRcLadder(benchmark::State& state) {
  const int sections = static_cast<int>(state.range(0));
  const bool railLast = state.range(1) != 0;
  const double hertz = static_cast<double>(state.range(2));
  CCircuit circuit(1, railLast ? sections + 2 : 2);
  AddRcLadder(circuit, sections);
  const bool reactive = circuit.HasReactive();
  size_t bytes = 0;
  for (auto _ : state) {
    SReadout out = MeasureImpedance(circuit.Cmps, *circuit.Meter, circuit.Solver,
                                    {.frequency = hertz, .hasReactive = reactive});
    benchmark::DoNotOptimize(out);
  }
  // The storage of one build and solve, measured outside the timed loop.
  circuit.Solver.Cmps = &circuit.Cmps;
  if (circuit.Solver.Build() && circuit.Solver.Solve(circuit.Meter->FirstExtra, hertz))
    bytes = circuit.Solver.StorageBytes();
  state.counters["unknowns"] = circuit.Solver.Count;
  state.counters["solver_bytes"] = static_cast<double>(bytes);
  circuit.Solver.Release();
}
BENCHMARK(BM_RecomputeRcLadder)
    ->ArgNames({"sections", "rail_last", "hz"})
    ->ArgsProduct({{10, 100, 1000}, {0, 1}, {1000, 10'000'000}})
    ->Unit(benchmark::kMicrosecond);

// The same recomputation on a solver that has kept no analysis: the pivot order is chosen anew
// every time, as for the first measurement after an edit of the wiring.
void BM_RecomputeRcLadderFresh(benchmark::State& state) {
  const int sections = static_cast<int>(state.range(0));
  const double hertz = static_cast<double>(state.range(1));
  CCircuit circuit(1, 2);
  AddRcLadder(circuit, sections);
  for (auto _ : state) {
    CCalc solver;
    SReadout out = MeasureImpedance(circuit.Cmps, *circuit.Meter, solver,
                                    {.frequency = hertz, .hasReactive = true});
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_RecomputeRcLadderFresh)
    ->ArgNames({"sections", "hz"})
    ->ArgsProduct({{10, 100, 1000}, {1000, 10'000'000}})
    ->Unit(benchmark::kMicrosecond);

// A value edit in the parameter dialog: one resistor changes, nothing is renumbered.
void BM_ValueOnlyResolve(benchmark::State& state) {
  const int sections = static_cast<int>(state.range(0));
  CCircuit circuit(1, 2);
  AddRcLadder(circuit, sections);
  SParam* value = circuit.Parts[static_cast<size_t>(sections)].Cmp->Params()[0].Value;
  const SMeasureSettings at1k{.frequency = 1000, .hasReactive = true};
  MeasureImpedance(circuit.Cmps, *circuit.Meter, circuit.Solver, at1k);
  int i = 0;
  for (auto _ : state) {
    value->Value = (++i & 1) != 0 ? 1200.0 : 1000.0;
    SReadout out = MeasureImpedance(circuit.Cmps, *circuit.Meter, circuit.Solver, at1k);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_ValueOnlyResolve)
    ->ArgName("sections")
    ->Arg(100)
    ->Arg(1000)
    ->Unit(benchmark::kMicrosecond);

// A wiring edit on the window's solver: a resistor at the line's far end is moved back and
// forth between two nodes, so every measurement meets a new pattern and chooses a new order.
void BM_WiringEditResolve(benchmark::State& state) {
  const int sections = static_cast<int>(state.range(0));
  CCircuit circuit(1, 2);
  AddRcLadder(circuit, sections);
  CCmp* moved = circuit.R(sections + 2, 2, 1000);
  const SMeasureSettings at1k{.frequency = 1000, .hasReactive = true};
  MeasureImpedance(circuit.Cmps, *circuit.Meter, circuit.Solver, at1k);
  int i = 0;
  for (auto _ : state) {
    moved->Nodes[0] = (++i & 1) != 0 ? sections + 1 : sections + 2;
    SReadout out = MeasureImpedance(circuit.Cmps, *circuit.Meter, circuit.Solver, at1k);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_WiringEditResolve)
    ->ArgName("sections")
    ->Arg(100)
    ->Arg(1000)
    ->Unit(benchmark::kMicrosecond);

// 400 frequencies spaced evenly on a log scale from 10 Hz to 100 MHz.
void BM_SweepRcLadder(benchmark::State& state) {
  const int sections = static_cast<int>(state.range(0));
  CCircuit circuit(1, 2);
  AddRcLadder(circuit, sections);
  std::vector<double> hertz(400);
  for (size_t i = 0; i < hertz.size(); ++i)
    hertz[i] = std::pow(10.0, 1 + 7 * static_cast<double>(i) / (hertz.size() - 1));
  for (auto _ : state) {
    std::vector<SImpedance> z = SweepImpedance(circuit.Cmps, *circuit.Meter, circuit.Solver, hertz);
    benchmark::DoNotOptimize(z);
  }
}
BENCHMARK(BM_SweepRcLadder)->ArgName("sections")->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

// The sweep that ngspice runs below: 400 points from 1 Hz to 1 MHz, the whole sweep per
// iteration (build, analysis, every point).
void BM_SweepRcLadder1HzTo1MHz(benchmark::State& state) {
  const int sections = static_cast<int>(state.range(0));
  CCircuit circuit(1, 2);
  AddRcLadder(circuit, sections);
  std::vector<double> hertz(400);
  for (size_t i = 0; i < hertz.size(); ++i)
    hertz[i] = std::pow(10.0, 6 * static_cast<double>(i) / (hertz.size() - 1));
  for (auto _ : state) {
    std::vector<SImpedance> z = SweepImpedance(circuit.Cmps, *circuit.Meter, circuit.Solver, hertz);
    benchmark::DoNotOptimize(z);
  }
}
BENCHMARK(BM_SweepRcLadder1HzTo1MHz)
    ->ArgName("sections")
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond);

#ifdef VORZETA_HAVE_NGSPICE
// ngspice in the same process, on the same ladder: the meter is a 1 A AC current source into
// the line's first node, the rail is ground.
int Quiet(char*, int, void*) {
  return 0;
}
int QuietStatus(char*, int, void*) {
  return 0;
}
int Exited(int, NG_BOOL, NG_BOOL, int, void*) {
  return 0;
}

bool LoadLadder(int sections) {
  static const bool ready =
      ngSpice_Init(Quiet, QuietStatus, Exited, nullptr, nullptr, nullptr, nullptr) == 0;
  if (!ready) return false;
  ngSpice_Command(const_cast<char*>("remcirc"));
  std::vector<std::string> lines = {"rc ladder", "I1 0 n0 AC 1"};
  char line[96];
  for (int i = 0; i < sections; ++i) {
    std::snprintf(line, sizeof line, "R%d n%d n%d 1k", i, i, i + 1);
    lines.emplace_back(line);
    std::snprintf(line, sizeof line, "C%d n%d 0 1n", i, i + 1);
    lines.emplace_back(line);
  }
  lines.push_back(".end");
  std::vector<char*> text;
  for (std::string& line : lines) text.push_back(line.data());
  text.push_back(nullptr);
  return ngSpice_Circ(text.data()) == 0;
}

// One analysis command, timed with the reading of the meter's voltage; the plots it leaves
// are destroyed outside the timing.
void RunNgspice(benchmark::State& state, const char* command) {
  if (!LoadLadder(static_cast<int>(state.range(0)))) {
    state.SkipWithError("ngspice did not load the ladder");
    return;
  }
  int points = 0;
  for (auto _ : state) {
    ngSpice_Command(const_cast<char*>(command));
    pvector_info v = ngGet_Vec_Info(const_cast<char*>("n0"));
    points = v != nullptr ? v->v_length : 0;
    benchmark::DoNotOptimize(v);
    state.PauseTiming();
    ngSpice_Command(const_cast<char*>("destroy all"));
    state.ResumeTiming();
  }
  state.counters["points"] = points;
}

// 6 decades at 67 points each and both ends: 403 points from 1 Hz to 1 MHz.
void BM_NgspiceSweepRcLadder(benchmark::State& state) {
  RunNgspice(state, "ac dec 67 1 1meg");
}
BENCHMARK(BM_NgspiceSweepRcLadder)
    ->ArgName("sections")
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond);

void BM_NgspiceSinglePointRcLadder(benchmark::State& state) {
  RunNgspice(state, "ac lin 1 1k 1k");
}
BENCHMARK(BM_NgspiceSinglePointRcLadder)
    ->ArgName("sections")
    ->Arg(100)
    ->Arg(1000)
    ->Unit(benchmark::kMicrosecond);
#endif

// Parses the texts in turn, one per iteration.
template <size_t N>
void ParseInTurn(benchmark::State& state, const std::string (&texts)[N]) {
  size_t i = 0;
  for (auto _ : state) {
    double v = ParseValue(texts[i]);
    benchmark::DoNotOptimize(v);
    i = (i + 1) % N;
  }
}

void BM_ParseValue(benchmark::State& state) {
  const std::string texts[] = {"4k7", "10n", "2u2", "1.5e-3", "100", "0.33M"};
  ParseInTurn(state, texts);
}
BENCHMARK(BM_ParseValue);

// Exponents far outside the double range must saturate without stepping power by power.
void BM_ParseHugeExponent(benchmark::State& state) {
  const std::string texts[] = {
      "1e999999999", "-1e999999999", "1e-999999999", "1e2147483647", "1e99999999999999999999999",
      "0e999999999"};
  ParseInTurn(state, texts);
}
BENCHMARK(BM_ParseHugeExponent);

void BM_FormatValue(benchmark::State& state) {
  const double values[] = {4700, 1e-8, 2.2e-6, -159.15494309189535, 6.283185307179586, 0};
  size_t i = 0;
  for (auto _ : state) {
    std::string text = FormatValue(3, values[i]);
    benchmark::DoNotOptimize(text);
    i = (i + 1) % std::size(values);
  }
}
BENCHMARK(BM_FormatValue);

}  // namespace

BENCHMARK_MAIN();
