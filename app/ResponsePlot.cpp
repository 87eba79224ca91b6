// The response panel's plot; see ResponsePlot.h.
#include "ResponsePlot.h"

#include <QChart>
#include <QCoreApplication>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QScatterSeries>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "analysis/Measure.h"

namespace {

const QColor FirstTrace(20, 90, 200);
const QColor SecondTrace(210, 80, 0);
const QColor Marker(0, 150, 60);
const QColor Reference(150, 150, 150);

// The panel's texts keep the panel's translation context.
QString Tr(const char* text) {
  return QCoreApplication::translate("TResponseDock", text);
}

// Padded bounds of the values, never empty.
std::pair<double, double> LinearRange(double low, double high) {
  if (!(low <= high)) return {-1.0, 1.0};
  double pad = (high - low) * 0.05;
  if (pad == 0) pad = std::max(std::fabs(high) * 0.1, 1.0);
  return {low - pad, high + pad};
}

// The two traces of a sweep as the readout shows them, in runs split at gaps (and at |Z| = 0,
// which a log axis cannot show), with the bounds of their values.
struct STraces {
  std::vector<std::vector<QPointF>> first{1}, second{1};
  double firstLow = INFINITY, firstHigh = -INFINITY, secondLow = INFINITY, secondHigh = -INFINITY;
};

void SplitTraces(const std::vector<SResponsePoint>& points, int mode, STraces& t) {
  auto add = [](std::vector<std::vector<QPointF>>& runs, bool ok, double f, double v, double& low,
                double& high) {
    if (ok) {
      runs.back().emplace_back(f, v);
      low = std::min(low, v);
      high = std::max(high, v);
    } else if (!runs.back().empty()) {
      runs.emplace_back();
    }
  };
  for (const SResponsePoint& p : points) {
    double first = 0, second = 0;
    if (p.Solved) DisplayValues(mode, p.R, p.X, first, second);
    add(t.first, p.Solved && std::isfinite(first) && (mode != 1 || first > 0), p.Hertz, first,
        t.firstLow, t.firstHigh);
    add(t.second, p.Solved && std::isfinite(second), p.Hertz, second, t.secondLow, t.secondHigh);
  }
}

// One trace's runs as line series on `yAxis`, with one legend entry however many gaps split it.
void AddRuns(QChart& chart, QAbstractAxis* fAxis, const std::vector<std::vector<QPointF>>& runs,
             const QString& name, const QPen& pen, QAbstractAxis* yAxis) {
  bool named = false;
  for (const std::vector<QPointF>& run : runs) {
    if (run.empty()) continue;
    auto* series = new QLineSeries();
    series->setName(name);
    series->setPen(pen);
    series->replace(QList<QPointF>(run.begin(), run.end()));
    chart.addSeries(series);
    series->attachAxis(fAxis);
    series->attachAxis(yAxis);
    if (named)
      for (QLegendMarker* m : chart.legend()->markers(series)) m->setVisible(false);
    named = true;
  }
}

struct SValueAxes {
  QAbstractAxis* first = nullptr;  // R, or |Z| on a log scale
  QValueAxis* second = nullptr;    // X, or the phase
};

// The value axes, ranged to hold the live and the pinned traces.
SValueAxes AddValueAxes(QChart& chart, int mode, const STraces& live, const STraces& reference) {
  QAbstractAxis* firstAxis = nullptr;
  auto* secondAxis = new QValueAxis();
  secondAxis->setTitleText(mode == 1 ? Tr("Phase (°)") : Tr("X (Ω)"));
  secondAxis->setLabelFormat(QStringLiteral("%g"));
  const double firstLow = std::min(live.firstLow, reference.firstLow);
  const double firstHigh = std::max(live.firstHigh, reference.firstHigh);
  const double secondLow = std::min(live.secondLow, reference.secondLow);
  const double secondHigh = std::max(live.secondHigh, reference.secondHigh);
  if (mode == 1) {
    auto* log = new QLogValueAxis();
    log->setLabelFormat(QStringLiteral("%g"));
    log->setMinorTickCount(-1);
    if (firstLow <= firstHigh) {
      log->setRange(firstLow / (firstLow == firstHigh ? 2 : 1.2),
                    firstHigh * (firstLow == firstHigh ? 2 : 1.2));
    } else {
      log->setRange(1, 1e3);
    }
    firstAxis = log;
    firstAxis->setTitleText(Tr("|Z| (Ω)"));
    secondAxis->setRange(-90, 90);
    secondAxis->setTickCount(7);
  } else {
    auto* linear = new QValueAxis();
    linear->setLabelFormat(QStringLiteral("%g"));
    const auto [low, high] = LinearRange(firstLow, firstHigh);
    linear->setRange(low, high);
    linear->applyNiceNumbers();
    firstAxis = linear;
    firstAxis->setTitleText(Tr("R (Ω)"));
    const auto [low2, high2] = LinearRange(secondLow, secondHigh);
    secondAxis->setRange(low2, high2);
    secondAxis->applyNiceNumbers();
  }
  firstAxis->setLinePenColor(FirstTrace);
  firstAxis->setTitleBrush(FirstTrace);
  secondAxis->setLinePenColor(SecondTrace);
  secondAxis->setTitleBrush(SecondTrace);
  chart.addAxis(firstAxis, Qt::AlignLeft);
  chart.addAxis(secondAxis, Qt::AlignRight);
  return {firstAxis, secondAxis};
}

QLogValueAxis* AddFrequencyAxis(QChart& chart, const SPlotInput& in) {
  auto* fAxis = new QLogValueAxis();
  fAxis->setTitleText(Tr("Frequency (Hz)"));
  fAxis->setMinorTickCount(-1);
  fAxis->setRange(in.Start, in.Stop);
  if (!in.Shown.Points.empty())
    fAxis->setRange(in.Shown.Points.front().Hertz, in.Shown.Points.back().Hertz);
  // Over many decades a label at every power of ten runs into the next; every second one fits.
  fAxis->setLabelFormat(QStringLiteral("%g"));
  if (fAxis->max() / fAxis->min() > 1e4) fAxis->setBase(100);
  chart.addAxis(fAxis, Qt::AlignBottom);
  return fAxis;
}

// The working frequency, drawn across the whole height of the plot.
void AddWorkingLine(QChart& chart, double working, QLogValueAxis* fAxis, QValueAxis* secondAxis,
                    int mode) {
  if (working >= fAxis->min() && working <= fAxis->max()) {
    auto* line = new QLineSeries();
    line->setName(Tr("f"));
    line->setPen(QPen(Marker, 1.2, Qt::DashLine));
    line->append(working, -90);
    line->append(working, 90);
    chart.addSeries(line);
    line->attachAxis(fAxis);
    line->attachAxis(secondAxis);
    if (mode != 1) {
      line->replace(0, working, secondAxis->min());
      line->replace(1, working, secondAxis->max());
    }
    for (QLegendMarker* m : chart.legend()->markers(line)) m->setVisible(false);
  }
}

// Each resonance on the phase/X axis at its zero, where the reactance changes sign.
void AddResonanceMarks(QChart& chart, const SResponse& shown, QLogValueAxis* fAxis,
                       QValueAxis* secondAxis) {
  if (shown.Resonances.empty()) return;
  auto* marks = new QScatterSeries();
  marks->setName(Tr("Resonance"));
  marks->setMarkerSize(9);
  marks->setColor(Marker);
  for (const SResonance& r : shown.Resonances) marks->append(r.Hertz, 0.0);
  chart.addSeries(marks);
  marks->attachAxis(fAxis);
  marks->attachAxis(secondAxis);
}

}  // namespace

QString FirstTraceName(int mode) {
  return mode == 1 ? QStringLiteral("|Z|") : QStringLiteral("R");
}
QString SecondTraceName(int mode) {
  return mode == 1 ? QStringLiteral("Phase") : QStringLiteral("X");
}

void DrawResponse(QChart& chart, const SPlotInput& in) {
  chart.removeAllSeries();
  for (QAbstractAxis* axis : chart.axes()) {
    chart.removeAxis(axis);
    delete axis;
  }
  const int mode = in.Mode;
  QLogValueAxis* fAxis = AddFrequencyAxis(chart, in);
  STraces live, reference;
  // The pinned circuit's traces count in the ranges too.
  SplitTraces(in.Reference, mode, reference);
  SplitTraces(in.Shown.Points, mode, live);
  const SValueAxes axes = AddValueAxes(chart, mode, live, reference);

  // Grey and drawn first, the pinned traces lie behind the live ones.
  AddRuns(chart, fAxis, reference.first, Tr("pinned %1").arg(FirstTraceName(mode)),
          QPen(Reference, 1.4), axes.first);
  AddRuns(chart, fAxis, reference.second, Tr("pinned %1").arg(SecondTraceName(mode)),
          QPen(Reference, 1.4, Qt::DashLine), axes.second);
  AddRuns(chart, fAxis, live.first, FirstTraceName(mode), QPen(FirstTrace, 1.6), axes.first);
  AddRuns(chart, fAxis, live.second, SecondTraceName(mode), QPen(SecondTrace, 1.6), axes.second);
  AddWorkingLine(chart, in.Working, fAxis, axes.second, mode);
  AddResonanceMarks(chart, in.Shown, fAxis, axes.second);
}
