// The response panel's plot; see ResponsePlot.h.
#include "ResponsePlot.h"

#include <QAreaSeries>
#include <QCategoryAxis>
#include <QChart>
#include <QCoreApplication>
#include <QLegendMarker>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "PlotAxes.h"
#include "ResponseColors.h"
#include "analysis/Match.h"
#include "analysis/Measure.h"

namespace {

const QColor& FirstTrace = ResponseColor::Trace;
const QColor& SecondTrace = ResponseColor::SecondTrace;
const QColor& Reference = ResponseColor::Pinned;

// Labels along the frequency axis need more room than those up the value axes.
constexpr int MostFrequencyLabels = 8;
constexpr int MostValueLabels = 9;

// The panel's texts keep the panel's translation context.
QString Tr(const char* text) {
  return QCoreApplication::translate("TResponseDock", text);
}

// A sweep's two traces as the plot shows them, NaN where a point has no value.
struct STraceValues {
  std::vector<double> hertz, first, second;
};

STraceValues TraceValues(const std::vector<SResponsePoint>& points, int mode,
                         EReactanceAxis reactance) {
  STraceValues t;
  for (const SResponsePoint& p : points) {
    double first = NAN, second = NAN;
    if (p.Solved) DisplayValues(mode, p.R, p.X, first, second);
    if (mode != 1 && reactance == EReactanceAxis::Magnitude) second = std::fabs(second);
    t.hertz.push_back(p.Hertz);
    t.first.push_back(first);
    t.second.push_back(second);
  }
  return t;
}

struct SScales {
  SPlotScale first, second;
};

// |Z| on a log scale, the phase on a linear one; R linear and X as chosen. A symmetric
// logarithmic X bends a decade below the smallest |Z| at a resonance, or without one below the
// smallest |Z| of either circuit.
SScales ChooseScales(int mode, EReactanceAxis reactance, const STraceValues& live,
                     const STraceValues& reference, const std::vector<SResonance>& resonances) {
  if (mode == 1) return {{EPlotScale::Log}, {EPlotScale::Linear}};
  if (reactance == EReactanceAxis::Linear) return {{EPlotScale::Linear}, {EPlotScale::Linear}};
  if (reactance == EReactanceAxis::Magnitude) return {{EPlotScale::Linear}, {EPlotScale::Log}};
  double smallest = INFINITY, largest = 0;
  for (const STraceValues* t : {&live, &reference}) {
    for (size_t i = 0; i < t->hertz.size(); ++i) {
      if (!std::isfinite(t->first[i]) || !std::isfinite(t->second[i])) continue;
      smallest = std::min(smallest, std::hypot(t->first[i], t->second[i]));
      largest = std::max(largest, std::fabs(t->second[i]));
    }
  }
  if (!resonances.empty()) {
    smallest = INFINITY;
    for (const SResonance& r : resonances) smallest = std::min(smallest, r.Magnitude);
  }
  return {{EPlotScale::Linear}, {EPlotScale::Symlog, SymlogKnee(smallest, largest)}};
}

// The range of values to show: the values the scale can place in both circuits, padded by a
// twentieth of their span on the axis, never empty.
std::pair<double, double> ValueRange(const SPlotScale& scale, const std::vector<double>& live,
                                     const std::vector<double>& reference) {
  double low = INFINITY, high = -INFINITY;
  for (const std::vector<double>* values : {&live, &reference}) {
    for (double v : *values) {
      if (!scale.Shows(v)) continue;
      low = std::min(low, v);
      high = std::max(high, v);
    }
  }
  if (!(low <= high)) {
    if (scale.Kind == EPlotScale::Log) return {1.0, 1e3};
    if (scale.Kind == EPlotScale::Symlog) return {-10 * scale.Knee, 10 * scale.Knee};
    return {-1.0, 1.0};
  }
  // A logarithmic axis shows six decades below the largest value: a dip to nearly nothing
  // at a resonance runs off its foot instead of squeezing the rest.
  if (scale.Kind == EPlotScale::Log) low = std::min(std::max(low, high * 1e-6), high);
  double a = scale.Forward(low), b = scale.Forward(high);
  double pad = (b - a) * 0.05;
  // A trace flat but for rounding gets the room of a flat one.
  const bool linear = scale.Kind == EPlotScale::Linear;
  if (!(b - a > 1e-9 * (linear ? std::max(std::fabs(a), std::fabs(b)) : 1.0))) {
    a = b = (a + b) / 2;
    pad = linear ? std::max(std::fabs(a) * 0.1, 1.0) : 0.3;
  }
  return {scale.Inverse(a - pad), scale.Inverse(b + pad)};
}

// An axis over [low, high] of `scale`, drawn linear in the scale's coordinate, its grid lines
// and labels at the ticks.
QCategoryAxis* ScaleAxis(const SPlotScale& scale, double low, double high, int most) {
  auto* axis = new QCategoryAxis();
  axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  const double a = scale.Forward(low), b = scale.Forward(high);
  // The first tick may lie on the lower end: the start is put a hair below it.
  axis->setStartValue(a - (b - a) * 1e-9);
  for (const SAxisTick& tick : AxisTicks(scale, low, high, most))
    axis->append(QString::fromStdString(tick.Text), tick.At);
  axis->setRange(a, b);
  return axis;
}

// One trace's values as runs of chart points, split wherever the scale has no place for one.
std::vector<std::vector<QPointF>> Runs(const std::vector<double>& hertz,
                                       const std::vector<double>& values, const SPlotScale& scale) {
  std::vector<std::vector<QPointF>> runs(1);
  for (size_t i = 0; i < hertz.size(); ++i) {
    if (scale.Shows(values[i]))
      runs.back().emplace_back(std::log10(hertz[i]), scale.Forward(values[i]));
    else if (!runs.back().empty())
      runs.emplace_back();
  }
  return runs;
}

// One trace's runs as line series, with one legend entry however many gaps split it.
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
  QValueAxis* first = nullptr;   // R, or |Z|
  QValueAxis* second = nullptr;  // X as chosen, or the phase
};

// |S11| in dB against z0 in place of a sweep's second trace: 20 log10 |Γ|, a dip where the
// load is matched. A dip deeper than the floor is drawn on it: a point that falls exactly on a
// match would otherwise stretch the axis to hundreds of decibels.
constexpr double ReflectionFloorDb = -80.0;

void UseReflection(STraceValues& t, const std::vector<SResponsePoint>& points, double z0) {
  for (size_t i = 0; i < points.size() && i < t.second.size(); ++i) {
    const SMatch m = MatchFigures({points[i].R, points[i].X}, z0);
    t.second[i] =
        points[i].Solved && m.ReturnLossDb ? std::max(-*m.ReturnLossDb, ReflectionFloorDb) : NAN;
  }
}

// The value axes, ranged to hold the live and the pinned traces.
SValueAxes AddValueAxes(QChart& chart, int mode, const SScales& scales, const STraceValues& live,
                        const STraceValues& reference, bool reflection) {
  const auto [low, high] = ValueRange(scales.first, live.first, reference.first);
  QValueAxis* first = ScaleAxis(scales.first, low, high, MostValueLabels);
  first->setTitleText(mode == 1 ? Tr("|Z| (Ω)") : Tr("R (Ω)"));
  QValueAxis* second = nullptr;
  if (mode == 1 && !reflection) {
    second = new QValueAxis();
    second->setLabelFormat(QStringLiteral("%g"));
    second->setRange(-90, 90);
    second->setTickCount(7);
    second->setTitleText(Tr("Phase (°)"));
  } else {
    const auto [low2, high2] = ValueRange(scales.second, live.second, reference.second);
    second = ScaleAxis(scales.second, low2, high2, MostValueLabels);
    second->setTitleText(reflection                              ? Tr("|S11| (dB)")
                         : scales.second.Kind == EPlotScale::Log ? Tr("|X| (Ω)")
                                                                 : Tr("X (Ω)"));
  }
  first->setLinePenColor(FirstTrace);
  first->setTitleBrush(FirstTrace);
  second->setLinePenColor(SecondTrace);
  second->setTitleBrush(SecondTrace);
  chart.addAxis(first, Qt::AlignLeft);
  chart.addAxis(second, Qt::AlignRight);
  return {first, second};
}

// The frequency axis, its coordinate the decimal logarithm of the frequency.
QValueAxis* AddFrequencyAxis(QChart& chart, const SPlotInput& in) {
  double low = in.Start, high = in.Stop;
  if (!in.Shown.Points.empty()) {
    low = in.Shown.Points.front().Hertz;
    high = in.Shown.Points.back().Hertz;
  }
  if (!(low < high)) high = low * 10;
  QValueAxis* fAxis = ScaleAxis({EPlotScale::Log}, low, high, MostFrequencyLabels);
  fAxis->setTitleText(Tr("Frequency (Hz)"));
  chart.addAxis(fAxis, Qt::AlignBottom);
  return fAxis;
}

// The working frequency, drawn across the whole height of the plot.
void AddWorkingLine(QChart& chart, double working, QValueAxis* fAxis, QValueAxis* secondAxis) {
  const double at = std::log10(working);
  if (!(at >= fAxis->min() && at <= fAxis->max())) return;
  auto* line = new QLineSeries();
  line->setName(Tr("f"));
  line->setPen(QPen(ResponseColor::Working, 1.4, Qt::DashLine));
  line->append(at, secondAxis->min());
  line->append(at, secondAxis->max());
  chart.addSeries(line);
  line->attachAxis(fAxis);
  line->attachAxis(secondAxis);
  for (QLegendMarker* m : chart.legend()->markers(line)) m->setVisible(false);
}

// Each resonance on the phase or X axis at its zero, where the reactance changes sign; on a
// logarithmic |X| axis, which has no zero, along its lower edge.
void AddResonanceMarks(QChart& chart, const SResponse& shown, QValueAxis* fAxis,
                       QValueAxis* secondAxis, const SPlotScale& scale, double reflectionZ0) {
  if (shown.Resonances.empty()) return;
  auto* marks = new QScatterSeries();
  marks->setName(Tr("Resonance"));
  marks->setMarkerSize(9);
  marks->setColor(ResponseColor::Resonance);
  const double zero = scale.Shows(0.0) ? scale.Forward(0.0) : secondAxis->min();
  for (const SResonance& r : shown.Resonances) {
    double y = zero;
    // With |S11| drawn, a resonance sits on the trace (X is 0 there), a perfect match on the
    // axis's lower edge.
    if (reflectionZ0 > 0) {
      const SMatch m = MatchFigures({r.Magnitude, 0.0}, reflectionZ0);
      y = m.ReturnLossDb ? std::max(-*m.ReturnLossDb, ReflectionFloorDb) : secondAxis->min();
    }
    marks->append(std::log10(r.Hertz), y);
  }
  chart.addSeries(marks);
  marks->attachAxis(fAxis);
  marks->attachAxis(secondAxis);
}

}  // namespace

QString FirstTraceName(int mode) {
  return mode == 1 ? QStringLiteral("|Z|") : QStringLiteral("R");
}
QString SecondTraceName(int mode, EReactanceAxis reactance) {
  if (mode == 1) return QStringLiteral("Phase");
  return reactance == EReactanceAxis::Magnitude ? QStringLiteral("|X|") : QStringLiteral("X");
}

// The band's range of the two traces as the plot shows them, NaN where a point has none.
struct SBandValues {
  STraceValues low, high;
};

SBandValues BandValues(const SToleranceBand& band, int mode, EReactanceAxis reactance) {
  SBandValues v;
  for (const SBandPoint& p : band.Points) {
    double first[2] = {NAN, NAN}, second[2] = {NAN, NAN};
    if (p.Solved && mode == 1) {
      first[0] = p.MagnitudeMin, first[1] = p.MagnitudeMax;
      second[0] = p.PhaseMin, second[1] = p.PhaseMax;
    } else if (p.Solved) {
      first[0] = p.RMin, first[1] = p.RMax;
      second[0] = p.XMin, second[1] = p.XMax;
      if (reactance == EReactanceAxis::Magnitude) {
        const double a = std::fabs(p.XMin), b = std::fabs(p.XMax);
        second[0] = p.XMin <= 0 && p.XMax >= 0 ? 0.0 : std::min(a, b);
        second[1] = std::max(a, b);
      }
    }
    for (STraceValues* t : {&v.low, &v.high}) t->hertz.push_back(p.Hertz);
    v.low.first.push_back(first[0]), v.high.first.push_back(first[1]);
    v.low.second.push_back(second[0]), v.high.second.push_back(second[1]);
  }
  return v;
}

// One shaded area of a trace's band between two of its series, under the traces.
void AddArea(QChart& chart, QAbstractAxis* fAxis, QLineSeries* upper, QLineSeries* lower,
             const QColor& colour, QAbstractAxis* yAxis) {
  auto* area = new QAreaSeries(upper, lower);
  upper->setParent(area);  // the area draws its edges but does not own them
  lower->setParent(area);
  QColor fill = colour;
  fill.setAlpha(55);
  area->setBrush(fill);
  area->setPen(Qt::NoPen);
  chart.addSeries(area);
  area->attachAxis(fAxis);
  area->attachAxis(yAxis);
  for (QLegendMarker* m : chart.legend()->markers(area)) m->setVisible(false);
}

// A trace's band as shaded areas, split wherever either end has no place on the scale.
void AddBand(QChart& chart, QAbstractAxis* fAxis, const std::vector<double>& hertz,
             const std::vector<double>& low, const std::vector<double>& high,
             const SPlotScale& scale, const QColor& colour, QAbstractAxis* yAxis) {
  QLineSeries* upper = nullptr;
  QLineSeries* lower = nullptr;
  for (size_t i = 0; i <= hertz.size(); ++i) {
    const bool shows = i < hertz.size() && scale.Shows(low[i]) && scale.Shows(high[i]);
    if (shows) {
      if (!upper) upper = new QLineSeries(), lower = new QLineSeries();
      upper->append(std::log10(hertz[i]), scale.Forward(high[i]));
      lower->append(std::log10(hertz[i]), scale.Forward(low[i]));
    } else if (upper) {
      AddArea(chart, fAxis, upper, lower, colour, yAxis);
      upper = lower = nullptr;
    }
  }
}

void DrawResponse(QChart& chart, const SPlotInput& in) {
  chart.removeAllSeries();
  for (QAbstractAxis* axis : chart.axes()) {
    chart.removeAxis(axis);
    delete axis;
  }
  const int mode = in.Mode;
  QValueAxis* fAxis = AddFrequencyAxis(chart, in);
  const bool reflection = in.ReflectionZ0 > 0;
  STraceValues live = TraceValues(in.Shown.Points, mode, in.Reactance);
  STraceValues reference = TraceValues(in.Reference, mode, in.Reactance);
  SScales scales = ChooseScales(mode, in.Reactance, live, reference, in.Shown.Resonances);
  if (reflection) {
    UseReflection(live, in.Shown.Points, in.ReflectionZ0);
    UseReflection(reference, in.Reference, in.ReflectionZ0);
    scales.second = {EPlotScale::Linear};
  }
  const SValueAxes axes = AddValueAxes(chart, mode, scales, live, reference, reflection);
  const QString first = FirstTraceName(mode);
  const QString second = reflection ? QStringLiteral("|S11|") : SecondTraceName(mode, in.Reactance);

  // Grey and drawn first, the pinned traces lie behind the live ones.
  AddRuns(chart, fAxis, Runs(reference.hertz, reference.first, scales.first),
          Tr("pinned %1").arg(first), QPen(Reference, 1.4), axes.first);
  AddRuns(chart, fAxis, Runs(reference.hertz, reference.second, scales.second),
          Tr("pinned %1").arg(second), QPen(Reference, 1.4, Qt::DashLine), axes.second);
  if (in.Band != nullptr) {
    // Under the live traces: the band's last point is the working frequency's, off the sweep.
    SBandValues band = BandValues(*in.Band, mode, in.Reactance);
    const size_t n = std::min(band.low.hertz.size(), live.hertz.size());
    for (STraceValues* t : {&band.low, &band.high}) {
      t->hertz.resize(n), t->first.resize(n), t->second.resize(n);
    }
    AddBand(chart, fAxis, band.low.hertz, band.low.first, band.high.first, scales.first, FirstTrace,
            axes.first);
    if (!reflection)
      AddBand(chart, fAxis, band.low.hertz, band.low.second, band.high.second, scales.second,
              SecondTrace, axes.second);
  }
  AddRuns(chart, fAxis, Runs(live.hertz, live.first, scales.first), first, QPen(FirstTrace, 1.6),
          axes.first);
  AddRuns(chart, fAxis, Runs(live.hertz, live.second, scales.second), second,
          QPen(SecondTrace, 1.6), axes.second);
  AddWorkingLine(chart, in.Working, fAxis, axes.second);
  AddResonanceMarks(chart, in.Shown, fAxis, axes.second, scales.second, in.ReflectionZ0);
}
