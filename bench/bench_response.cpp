// Cost of the frequency response: a 400-point sweep with the resonance search on a 20-part
// filter and on RC ladders, and the copy of the circuit that the window's thread makes for
// each sweep.
#include <benchmark/benchmark.h>

#include "Circuit.h"
#include "analysis/Response.h"

namespace {

// A ten-section LC band-pass ladder with its terminating resistors: 20 parts, a handful of
// resonances in the swept range.
void AddBandPass(CCircuit& circuit) {
  int32_t node = 1;
  for (int i = 0; i < 5; ++i) {
    const int32_t next = 10 + 2 * i;
    circuit.L(node, next, 1e-3 * (1 + 0.1 * i));
    circuit.C(next, next + 1, 1e-6);
    circuit.L(next + 1, 2, 2e-3);
    circuit.C(next + 1, 2, 0.5e-6 * (1 + 0.2 * i));
    node = next + 1;
  }
  circuit.R(node, 2, 50);
  circuit.R(1, 2, 10e3);
  circuit.Renumber();
}

void Sweep(benchmark::State& state, CCircuit& circuit) {
  const std::vector<double> hertz = LogFrequencies(50, 500e3, 400);
  size_t resonances = 0;
  for (auto _ : state) {
    SResponse r = SweepMeter(circuit.Cmps, *circuit.Meter, circuit.Solver, hertz);
    resonances = r.Resonances.size();
    benchmark::DoNotOptimize(r);
  }
  state.counters["resonances"] = static_cast<double>(resonances);
}

void BM_SweepBandPass20Parts(benchmark::State& state) {
  CCircuit circuit;
  AddBandPass(circuit);
  Sweep(state, circuit);
}
BENCHMARK(BM_SweepBandPass20Parts)->Unit(benchmark::kMillisecond);

void BM_SweepRcLadder(benchmark::State& state) {
  CCircuit circuit;
  AddRcLadder(circuit, static_cast<int>(state.range(0)));
  circuit.Renumber();
  Sweep(state, circuit);
}
BENCHMARK(BM_SweepRcLadder)->ArgName("sections")->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

void BM_CopyCircuit(benchmark::State& state) {
  CCircuit circuit;
  AddRcLadder(circuit, static_cast<int>(state.range(0)));
  circuit.Renumber();
  for (auto _ : state) {
    SCircuitCopy copy = CopyCircuit(circuit.Cmps, circuit.Meter);
    benchmark::DoNotOptimize(copy);
  }
}
BENCHMARK(BM_CopyCircuit)->ArgName("sections")->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
