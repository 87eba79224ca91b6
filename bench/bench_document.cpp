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

// ---- large files, as generated or damaged files may be

std::string Line(const char* kind, int x, int y, int orientation) {
  return "    {\"kind\": \"" + std::string(kind) + "\", \"x\": " + std::to_string(x) +
         ", \"y\": " + std::to_string(y) + ", \"orientation\": " + std::to_string(orientation) +
         ", \"values\": [\"1k\"]},\n";
}

std::string Wire(int x1, int y1, int x2, int y2) {
  return "    {\"from\": [" + std::to_string(x1) + ", " + std::to_string(y1) + "], \"to\": [" +
         std::to_string(x2) + ", " + std::to_string(y2) + "]}";
}

// A sheet text of about `bytes` bytes: resistors strung along one long wire from the meter
// (shape 0), resistors between two long rails (1), or one wire with a dot at every point
// that joins nothing (2).
std::string LargeSheet(int shape, size_t bytes) {
  std::string parts, dots;
  int n = 0;
  while (parts.size() + dots.size() < bytes) {
    if (shape == 0) parts += Line("resistor", 4 * n, -2, 0);
    if (shape == 1) parts += Line("resistor", 2 * n, 0, 1);
    if (shape == 2) dots += (n == 0 ? "\n    [" : ",\n    [") + std::to_string(n) + ", -2]";
    ++n;
  }
  const int end = shape == 0 ? 4 * n : n;
  std::string wires =
      Wire(-4, -2, end, -2) + ",\n" + Wire(end, -2, end, 0) + ",\n" + Wire(-4, 0, end, 0);
  if (shape == 1)
    wires = Wire(-4, 0, 2 * n, 0) + ",\n" + Wire(-4, -2, -2, -2) + ",\n" + Wire(-2, -2, -2, 2) +
            ",\n" + Wire(-2, 2, 2 * n, 2);
  return "{\n  \"format\": \"vorzeta-sheet\",\n  \"version\": 1,\n  \"frequency\": \"1\",\n"
         "  \"unit\": \"Hz\",\n  \"components\": [\n" +
         parts +
         "    {\"kind\": \"meter\", \"x\": -4, \"y\": -2, \"orientation\": 1, "
         "\"values\": []}\n  ],\n  \"wires\": [\n" +
         wires + "\n  ],\n  \"dots\": [" + dots + "]\n}\n";
}

// Opening as the window does: read, check, put on the sheet, settle and number, measure.
void BM_OpenLargeSheet(benchmark::State& state) {
  const std::string text =
      LargeSheet(static_cast<int>(state.range(0)), static_cast<size_t>(state.range(1)) << 20);
  CSheet sheet;
  FakeHost host(sheet);
  std::string notice;
  for (auto _ : state) {
    host.meter = ApplySheetFile(ReadSheetFile(text), sheet, &notice);
    host.Recompute(false);
    benchmark::DoNotOptimize(host.meter);
  }
  state.counters["bytes"] = static_cast<double>(text.size());
  state.counters["pictures"] = sheet.pictures.Count();
  state.SetLabel(host.readout.R);
}
BENCHMARK(BM_OpenLargeSheet)
    ->ArgNames({"shape", "MB"})
    ->ArgsProduct({{0, 1, 2}, {1, 10}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
