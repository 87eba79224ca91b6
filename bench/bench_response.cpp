// Cost of the frequency response panel's work: a 400-point sweep with the points added around
// the natural frequencies and the resonance search, on a 20-part filter, on RC ladders and on a
// crystal, and the copy of the circuit that the window's thread makes for
// each sweep.
#include <benchmark/benchmark.h>

#include "Circuit.h"
#include "analysis/Response.h"
#include "analysis/Sensitivity.h"
#include "analysis/Tolerance.h"

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

void Sweep(benchmark::State& state, CCircuit& circuit, double start = 50, double stop = 500e3) {
  const std::vector<double> hertz = LogFrequencies(start, stop, 400);
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

// The tolerance band of the 20-part filter: 200 samples of 400 points, with the spread of each
// resonance and the worst-case corners, as the worker computes it after a sweep (there in two
// halves on two threads).
void BM_ToleranceBand20Parts(benchmark::State& state) {
  CCircuit circuit;
  AddBandPass(circuit);
  SBandRequest request;
  request.Hertz = LogFrequencies(50, 500e3, 400);
  request.Resonances =
      SweepMeter(circuit.Cmps, *circuit.Meter, circuit.Solver, request.Hertz).Resonances;
  for (auto _ : state) {
    SToleranceBand band = ToleranceBand(circuit.Cmps, *circuit.Meter, circuit.Solver, request);
    benchmark::DoNotOptimize(band);
  }
  state.counters["resonances"] = static_cast<double>(request.Resonances.size());
}
BENCHMARK(BM_ToleranceBand20Parts)->Unit(benchmark::kMillisecond);

void BM_SweepRcLadder(benchmark::State& state) {
  CCircuit circuit;
  AddRcLadder(circuit, static_cast<int>(state.range(0)));
  circuit.Renumber();
  Sweep(state, circuit);
}
BENCHMARK(BM_SweepRcLadder)
    ->ArgName("sections")
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond);

// A quartz crystal in the panel's default view: two resonances 0.25 % apart.
void BM_SweepCrystal(benchmark::State& state) {
  CCircuit circuit;
  circuit.R(1, 3, 20);
  circuit.L(3, 4, 10e-3);
  circuit.C(4, 2, 25.3e-15);
  circuit.C(1, 2, 5e-12);
  circuit.Renumber();
  Sweep(state, circuit, 10e3, 10e9);
}
BENCHMARK(BM_SweepCrystal)->Unit(benchmark::kMillisecond);

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

// The sensitivity tab's work after each recompute: one solve, the pencil, one factorisation of
// the transpose and the derivative stamps of every part.
void BM_SensitivitiesRcLadder(benchmark::State& state) {
  CCircuit circuit;
  AddRcLadder(circuit, static_cast<int>(state.range(0)));
  circuit.Renumber();
  for (auto _ : state) {
    const SSensitivities s = Sensitivities(circuit.Cmps, *circuit.Meter, circuit.Solver, 1e4);
    benchmark::DoNotOptimize(s.Parts.data());
  }
}
BENCHMARK(BM_SensitivitiesRcLadder)->ArgName("sections")->Arg(100)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
