// Timings of the main window: start-up to the first painted window, painting ladder sheets of
// growing size at 1280 x 800, one complete edit from the mouse release to the readout, and one
// notch of the wheel over a value until the readout, the plot and the Smith chart show it.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QUndoStack>
#include <memory>

#include "ElemWin.h"
#include "Main.h"
#include "ResponseDock.h"
#include "Settings.h"
#include "SheetBuilder.h"
#include "SmithChart.h"
#include "Windows.h"
#include "ui_Main.h"

namespace {

using Program = TProgramWindows<>;

// Shows the window with a paint area of 1280 x 800 pixels.
std::unique_ptr<Program> ShowLarge() {
  auto p = std::make_unique<Program>();
  p->form.show();
  QApplication::processEvents();
  QWidget* box = p->form.Controls().PaintBox;
  p->form.resize(p->form.width() + 1280 - box->width(), p->form.height() + 800 - box->height());
  QApplication::processEvents();
  p->form.Controls().HintPanel->hide();
  return p;
}

std::unique_ptr<Program> ShowLadder(int sections) {
  auto p = ShowLarge();
  BuildRcLadder(p->form.CurrentSheet(), sections);
  p->form.UpdateReadoutState();
  p->form.Recompute(true);
  QApplication::processEvents();
  return p;
}

void BM_StartUpToFirstPaint(benchmark::State& state) {
  for (auto _ : state) {
    auto p = std::make_unique<Program>();
    p->form.show();
    QApplication::processEvents();
    benchmark::DoNotOptimize(p->form.Controls().REdit->text());
    state.PauseTiming();
    p.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_StartUpToFirstPaint)->Unit(benchmark::kMillisecond);

void BM_PaintSheet(benchmark::State& state) {
  auto p = ShowLadder(static_cast<int>(state.range(0)));
  if (p->form.Controls().PaintBox->width() != 1280 || p->form.Controls().PaintBox->height() != 800)
    state.SkipWithError("paint area is not 1280 x 800");
  for (auto _ : state) {
    p->form.PaintSheet();
    QApplication::processEvents();
  }
  state.counters["pictures"] = p->form.CurrentSheet().pictures.Count();
}
BENCHMARK(BM_PaintSheet)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// A pixel on the body of the element centred on `centre` where a press selects it rather than
// opening its value.
SPoint BodyPixel(TMainForm& form, SPoint centre) {
  const CVC& view = form.CurrentSheet().view;
  const SPoint middle = view.GridToScreen(centre);
  for (int d = 0; d < view.Zoom; ++d) {
    for (int sign : {1, -1}) {
      const SPoint p{middle.x, middle.y + sign * d};
      int j = -1;
      const int labelled = form.CurrentSheet().pictures.FindLabel(j, p);
      if ((labelled < 0 || j < 0) &&
          form.CurrentSheet().pictures.FindNear(view.ScreenToFine(p), view.ScreenToGrid(p)) >= 0)
        return p;
    }
  }
  return middle;
}

// Drags the resistor of the middle section one grid step down and, next time, back up: the
// release renumbers, repaints and measures.
void BM_CompleteEdit(benchmark::State& state) {
  auto p = ShowLadder(static_cast<int>(state.range(0)));
  TMainForm& form = p->form;
  form.UseDialogs(nullptr, &p->settings);  // a stray press on a value must not block
  const int k = static_cast<int>(state.range(0)) / 2;
  SPoint centre = RcLadder::ResistorCentre(k);
  int step = 1;
  for (auto _ : state) {
    state.PauseTiming();
    const CVC& view = form.CurrentSheet().view;
    const SPoint from = BodyPixel(form, centre);
    const SPoint to = from + SPoint{0, step * view.Zoom};
    form.PaintBoxMouseDown(Qt::LeftButton, QPoint(from.x, from.y));
    form.PaintBoxMouseMove(Qt::LeftButton, QPoint(to.x, to.y));
    QApplication::processEvents();
    state.ResumeTiming();
    form.PaintBoxMouseUp(Qt::LeftButton, QPoint(to.x, to.y));
    QApplication::processEvents();
    benchmark::DoNotOptimize(form.Controls().REdit->text());
    centre.y += step;
    step = -step;
  }
  state.SetLabel(form.Controls().REdit->text().toStdString());
}
BENCHMARK(BM_CompleteEdit)->Arg(100)->Unit(benchmark::kMillisecond);

// One undo step after rotating a resistor of the ladder: the sheet text read back, the sheet
// rebuilt and numbered, painted and measured. The redo between two undos is not timed.
void BM_UndoStep(benchmark::State& state) {
  auto p = ShowLadder(static_cast<int>(state.range(0)));
  TMainForm& form = p->form;
  form.StartHistory();
  const int k = static_cast<int>(state.range(0)) / 2;
  const SPoint centre = RcLadder::ResistorCentre(k);
  for (int i = 0; i < form.CurrentSheet().pictures.Count(); ++i)
    if (form.CurrentSheet().pictures.At(i)->cmp &&
        form.CurrentSheet().pictures.At(i)->RefPoint() == centre)
      form.CurrentSheet().SelectOnly(i);
  if (!form.CurrentSheet().Rotate(1) || !form.History().canUndo())
    state.SkipWithError("the rotation made no undo step");
  for (auto _ : state) {
    form.History().undo();
    QApplication::processEvents();
    benchmark::DoNotOptimize(form.Controls().REdit->text());
    state.PauseTiming();
    form.History().redo();
    QApplication::processEvents();
    state.ResumeTiming();
  }
  state.SetLabel(form.Controls().REdit->text().toStdString());
}
BENCHMARK(BM_UndoStep)->Arg(100)->Unit(benchmark::kMillisecond);

// The centre of the first value label of the picture centred on `centre`.
std::optional<QPoint> LabelCentre(TMainForm& form, SPoint centre) {
  for (int i = 0; i < form.CurrentSheet().pictures.Count(); ++i) {
    const CPct* q = form.CurrentSheet().pictures.At(i);
    if (q->cmp && q->RefPoint() == centre && q->labelCount > 0) {
      const SRect r = q->labelRects[0];
      return QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
  }
  return std::nullopt;
}

// Waits until the response panel has drawn its newest sweep. The wait sleeps until the sweep's
// result arrives: spinning here would take a core from the sweep itself.
void WaitForPanel(TResponseDock& dock) {
  QApplication::processEvents();
  while (dock.Busy()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  QApplication::processEvents();
}

// One notch up (and next time down) over the third capacitor's value, with the response
// panel open: the readout, the sweep and its plot, and a painting of the Smith chart.
void BM_WheelNotch(benchmark::State& state) {
  const int sections = static_cast<int>(state.range(0));
  auto p = ShowLadder(sections);
  TMainForm& form = p->form;
  TResponseDock& dock = form.Response();
  dock.show();
  WaitForPanel(dock);
  const std::optional<QPoint> at = LabelCentre(form, RcLadder::CapacitorCentre(2));
  if (!at) state.SkipWithError("no value label on the third capacitor");
  int delta = 120;
  for (auto _ : state) {
    if (!at) break;
    form.PaintBoxWheel(delta, Qt::NoModifier, *at);
    WaitForPanel(dock);
    benchmark::DoNotOptimize(dock.SmithChart()->grab());
    delta = -delta;
  }
  state.counters["points"] = static_cast<double>(dock.Shown().Points.size());
  state.SetLabel(form.Controls().REdit->text().toStdString());
}
BENCHMARK(BM_WheelNotch)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  QTemporaryDir settingsDir;
  qputenv("XDG_CONFIG_HOME", settingsDir.path().toLocal8Bit());
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
