// Cost of the sheet file on large ladders: writing the text, and opening it (reading, checking,
// putting it on a sheet with its wiring attached, normalised and numbered). The measurement
// that follows an open is the solver's cost and is timed by bench_sheet and bench_solver.
#include <benchmark/benchmark.h>

#include <string>

#include "FakeHost.h"
#include "SheetBuilder.h"
#include "document/SheetFile.h"

namespace {

using Ladder = MeasuredLadder;

void BM_SaveSheet(benchmark::State& state) {
  Ladder ladder(static_cast<int>(state.range(0)));
  size_t bytes = 0;
  for (auto _ : state) {
    const std::string text = WriteSheetFile(ladder.sheet, 1.0, 0);
    bytes = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_SaveSheet)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_OpenSheet(benchmark::State& state) {
  Ladder source(static_cast<int>(state.range(0)));
  const std::string text = WriteSheetFile(source.sheet, 1.0, 0);
  CSheet sheet;
  FakeHost host(sheet);
  for (auto _ : state) {
    host.meter = ApplySheetFile(ReadSheetFile(text), sheet);
    benchmark::DoNotOptimize(host.meter);
  }
  if (WriteSheetFile(sheet, 1.0, 0) != text) state.SkipWithError("the opened sheet differs");
}
BENCHMARK(BM_OpenSheet)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
