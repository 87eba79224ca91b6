// Cost of the work behind every edit on a drawn RC ladder: renumbering the wiring, measuring,
// painting, and the three together as the main window's recompute runs them; and the
// numbering of one very long chain of wires.
#include <benchmark/benchmark.h>

#include <memory>

#include "FakeHost.h"
#include "RecordingCanvas.h"
#include "SheetBuilder.h"
#include "analysis/Diagnosis.h"
#include "analysis/Measure.h"
#include "sheet/SheetPainting.h"

namespace {

// A sheet holding the meter and a measured ladder of `sections` sections.
struct Ladder : MeasuredLadder {
  using MeasuredLadder::MeasuredLadder;
  SReadout Measure() {
    return MeasureImpedance(sheet.components, *host.meter, host.solver, host.MeasureSettings());
  }
};

void SetCounters(benchmark::State& state, const Ladder& ladder) {
  state.counters["pictures"] = ladder.sheet.pictures.Count();
}

void BM_Renumber(benchmark::State& state) {
  Ladder ladder(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    ladder.sheet.RenumberNodes();
    benchmark::ClobberMemory();
  }
  SetCounters(state, ladder);
}

// A staircase of wires from a pin of the meter to a resistor, two wires per step: numbering
// walks it end to end in one go.
void BM_RenumberLongChain(benchmark::State& state) {
  const int steps = static_cast<int>(state.range(0));
  CSheet sheet;
  FakeHost host(sheet);
  host.ResetSheet();
  const SPoint pin{-4, -2};  // a pin of the meter where ResetSheet places it
  CPcts& list = sheet.pictures;
  for (int j = 0; j < steps; ++j) {
    list.Add(std::make_unique<CLine>(SPoint{pin.x + j, pin.y + j}, SPoint{pin.x + j + 1, pin.y + j},
                                     false));
    list.Add(std::make_unique<CLine>(SPoint{pin.x + j + 1, pin.y + j},
                                     SPoint{pin.x + j + 1, pin.y + j + 1}, false));
  }
  sheet.AddElement(KindR, Orientation::R90, pin.x + steps, pin.y + steps);
  sheet.SelectOnly(-1);
  for (auto _ : state) {
    sheet.RenumberNodes();
    benchmark::ClobberMemory();
  }
  state.counters["pictures"] = sheet.pictures.Count();
}

void BM_Measure(benchmark::State& state) {
  Ladder ladder(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(ladder.Measure());
  SetCounters(state, ladder);
}

void BM_RenumberAndMeasure(benchmark::State& state) {
  Ladder ladder(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    ladder.sheet.RenumberNodes();
    benchmark::DoNotOptimize(ladder.Measure());
  }
  SetCounters(state, ladder);
}

void BM_Paint(benchmark::State& state) {
  Ladder ladder(static_cast<int>(state.range(0)));
  CountingCanvas canvas;
  for (auto _ : state)
    PaintSheetOnCanvas(canvas, ladder.sheet.view, ladder.sheet.pictures, ladder.host.client);
  SetCounters(state, ladder);
  state.counters["calls/paint"] =
      static_cast<double>(canvas.calls) / static_cast<double>(state.iterations());
}

// Renumber, paint and measure: what follows every finished edit.
void BM_Recompute(benchmark::State& state) {
  Ladder ladder(static_cast<int>(state.range(0)));
  for (auto _ : state) ladder.host.Recompute(true);
  SetCounters(state, ladder);
}

// The idle parts the window dims after every reading, beside the reading itself.
void BM_IdleParts(benchmark::State& state) {
  Ladder ladder(static_cast<int>(state.range(0)));
  for (auto _ : state)
    benchmark::DoNotOptimize(IdleParts(ladder.sheet.components, *ladder.host.meter));
  SetCounters(state, ladder);
}

// Why a reading fails, for a ladder whose meter lost its wire to the rail.
void BM_DiagnoseOpenLadder(benchmark::State& state) {
  Ladder ladder(static_cast<int>(state.range(0)));
  CCmp& meter = *ladder.host.meter;
  meter.Nodes[1] = 1 << 20;  // a node of its own: the pin is unwired
  for (auto _ : state)
    benchmark::DoNotOptimize(DiagnoseNoAnswer(ladder.sheet.components, meter, 1e3));
  SetCounters(state, ladder);
}

}  // namespace

BENCHMARK(BM_Renumber)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenumberLongChain)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Measure)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenumberAndMeasure)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Paint)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IdleParts)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DiagnoseOpenLadder)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Recompute)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
