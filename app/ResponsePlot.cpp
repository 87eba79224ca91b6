// The response panel's plot; see ResponsePlot.h.
#include "ResponsePlot.h"

#include <QAreaSeries>
#include <QCategoryAxis>
#include <QChart>
#include <QCoreApplication>
#include <QGraphicsLayout>
#include <QLegend>
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

// What the plot draws, before any of it is on a chart: its three axes and its series in the
// order they are drawn. A redraw whose plan has the chart's structure (the same series kinds on
// the same axes, the same kinds of axes) updates the chart's items in place: a wheel notch then
// costs Qt Charts a new layout of its points, not a new set of items.
struct SAxisPlan {
  bool Ticked = true;  // labelled ticks (a category axis); else a plain value axis
  QString Title;
  QColor Colour;  // of the line and the title; invalid: the chart theme's
  double Start = 0, Min = 0, Max = 1;
  std::vector<std::pair<QString, double>> Ticks;  // label and axis coordinate, rising
};

struct SSeriesPlan {
  QAbstractSeries::SeriesType Type = QAbstractSeries::SeriesTypeLine;
  QString Name;
  QPen Pen;
  QColor Fill;                   // an area's brush, the marks' colour
  QList<QPointF> Points, Lower;  // an area's upper and lower edges
  bool OnSecond = false;         // on the second value axis, else on the first
  bool InLegend = true;
};

struct SPlotPlan {
  SAxisPlan Frequency, First, Second;
  std::vector<SSeriesPlan> Series;
};

// An axis over [low, high] of `scale`, drawn linear in the scale's coordinate, its grid lines
// and labels at the ticks.
SAxisPlan ScaleAxis(const SPlotScale& scale, double low, double high, int most) {
  SAxisPlan axis;
  const double a = scale.Forward(low), b = scale.Forward(high);
  // The first tick may lie on the lower end: the start is put a hair below it.
  axis.Start = a - (b - a) * 1e-9;
  for (const SAxisTick& tick : AxisTicks(scale, low, high, most))
    axis.Ticks.emplace_back(QString::fromStdString(tick.Text), tick.At);
  axis.Min = a;
  axis.Max = b;
  return axis;
}

// One trace's values as runs of chart points, split wherever the scale has no place for one.
std::vector<QList<QPointF>> Runs(const std::vector<double>& hertz,
                                 const std::vector<double>& values, const SPlotScale& scale) {
  std::vector<QList<QPointF>> runs(1);
  for (size_t i = 0; i < hertz.size(); ++i) {
    if (scale.Shows(values[i]))
      runs.back().append(QPointF(std::log10(hertz[i]), scale.Forward(values[i])));
    else if (!runs.back().empty())
      runs.emplace_back();
  }
  return runs;
}

// One trace's runs as line series, with one legend entry however many gaps split it.
void AddRuns(SPlotPlan& plan, std::vector<QList<QPointF>> runs, const QString& name,
             const QPen& pen, bool onSecond) {
  bool named = false;
  for (QList<QPointF>& run : runs) {
    if (run.empty()) continue;
    SSeriesPlan& series = plan.Series.emplace_back();
    series.Name = name;
    series.Pen = pen;
    series.Points = std::move(run);
    series.OnSecond = onSecond;
    series.InLegend = !named;
    named = true;
  }
}

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
void PlanValueAxes(SPlotPlan& plan, int mode, const SScales& scales, const STraceValues& live,
                   const STraceValues& reference, bool reflection) {
  const auto [low, high] = ValueRange(scales.first, live.first, reference.first);
  plan.First = ScaleAxis(scales.first, low, high, MostValueLabels);
  plan.First.Title = mode == 1 ? Tr("|Z| (Ω)") : Tr("R (Ω)");
  if (mode == 1 && !reflection) {
    plan.Second.Ticked = false;
    plan.Second.Title = Tr("Phase (°)");
    plan.Second.Min = -90;
    plan.Second.Max = 90;
  } else {
    const auto [low2, high2] = ValueRange(scales.second, live.second, reference.second);
    plan.Second = ScaleAxis(scales.second, low2, high2, MostValueLabels);
    plan.Second.Title = reflection                              ? Tr("|S11| (dB)")
                        : scales.second.Kind == EPlotScale::Log ? Tr("|X| (Ω)")
                                                                : Tr("X (Ω)");
  }
  plan.First.Colour = FirstTrace;
  plan.Second.Colour = SecondTrace;
}

// The frequency axis, its coordinate the decimal logarithm of the frequency.
void PlanFrequencyAxis(SPlotPlan& plan, const SPlotInput& in) {
  double low = in.Start, high = in.Stop;
  if (!in.Shown.Points.empty()) {
    low = in.Shown.Points.front().Hertz;
    high = in.Shown.Points.back().Hertz;
  }
  if (!(low < high)) high = low * 10;
  plan.Frequency = ScaleAxis({EPlotScale::Log}, low, high, MostFrequencyLabels);
  plan.Frequency.Title = Tr("Frequency (Hz)");
}

// The working frequency, drawn across the whole height of the plot.
void AddWorkingLine(SPlotPlan& plan, double working) {
  const double at = std::log10(working);
  if (!(at >= plan.Frequency.Min && at <= plan.Frequency.Max)) return;
  SSeriesPlan& line = plan.Series.emplace_back();
  line.Name = Tr("f");
  line.Pen = QPen(ResponseColor::Working, 1.4, Qt::DashLine);
  line.Points = {QPointF(at, plan.Second.Min), QPointF(at, plan.Second.Max)};
  line.OnSecond = true;
  line.InLegend = false;
}

// Each resonance on the phase or X axis at its zero, where the reactance changes sign; on a
// logarithmic |X| axis, which has no zero, along its lower edge.
void AddResonanceMarks(SPlotPlan& plan, const SResponse& shown, const SPlotScale& scale,
                       double reflectionZ0) {
  if (shown.Resonances.empty()) return;
  SSeriesPlan& marks = plan.Series.emplace_back();
  marks.Type = QAbstractSeries::SeriesTypeScatter;
  marks.Name = Tr("Resonance");
  marks.Fill = ResponseColor::Resonance;
  marks.OnSecond = true;
  const double zero = scale.Shows(0.0) ? scale.Forward(0.0) : plan.Second.Min;
  for (const SResonance& r : shown.Resonances) {
    double y = zero;
    // With |S11| drawn, a resonance sits on the trace (X is 0 there), a perfect match on the
    // axis's lower edge.
    if (reflectionZ0 > 0) {
      const SMatch m = MatchFigures({r.Magnitude, 0.0}, reflectionZ0);
      y = m.ReturnLossDb ? std::max(-*m.ReturnLossDb, ReflectionFloorDb) : plan.Second.Min;
    }
    marks.Points.append(QPointF(std::log10(r.Hertz), y));
  }
}

}  // namespace

QString FirstTraceName(int mode) {
  return mode == 1 ? QStringLiteral("|Z|") : QStringLiteral("R");
}
QString SecondTraceName(int mode, EReactanceAxis reactance) {
  if (mode == 1) return QStringLiteral("Phase");
  return reactance == EReactanceAxis::Magnitude ? QStringLiteral("|X|") : QStringLiteral("X");
}

namespace {

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

// A trace's band as shaded areas under the traces, split wherever either end has no place on
// the scale.
void AddBand(SPlotPlan& plan, const std::vector<double>& hertz, const std::vector<double>& low,
             const std::vector<double>& high, const SPlotScale& scale, const QColor& colour,
             bool onSecond) {
  SSeriesPlan* area = nullptr;
  for (size_t i = 0; i < hertz.size(); ++i) {
    if (!scale.Shows(low[i]) || !scale.Shows(high[i])) {
      area = nullptr;
      continue;
    }
    if (area == nullptr) {
      area = &plan.Series.emplace_back();
      area->Type = QAbstractSeries::SeriesTypeArea;
      area->Pen = Qt::NoPen;
      area->Fill = colour;
      area->Fill.setAlpha(55);
      area->OnSecond = onSecond;
      area->InLegend = false;
    }
    area->Points.append(QPointF(std::log10(hertz[i]), scale.Forward(high[i])));
    area->Lower.append(QPointF(std::log10(hertz[i]), scale.Forward(low[i])));
  }
}

void AddBands(SPlotPlan& plan, const SPlotInput& in, const SScales& scales, size_t livePoints,
              bool reflection) {
  // The band's last point is the working frequency's, off the sweep.
  SBandValues band = BandValues(*in.Band, in.Mode, in.Reactance);
  const size_t n = std::min(band.low.hertz.size(), livePoints);
  for (STraceValues* t : {&band.low, &band.high}) {
    t->hertz.resize(n), t->first.resize(n), t->second.resize(n);
  }
  AddBand(plan, band.low.hertz, band.low.first, band.high.first, scales.first, FirstTrace, false);
  if (!reflection)
    AddBand(plan, band.low.hertz, band.low.second, band.high.second, scales.second, SecondTrace,
            true);
}

SPlotPlan PlanPlot(const SPlotInput& in) {
  SPlotPlan plan;
  const int mode = in.Mode;
  PlanFrequencyAxis(plan, in);
  const bool reflection = in.ReflectionZ0 > 0;
  STraceValues live = TraceValues(in.Shown.Points, mode, in.Reactance);
  STraceValues reference = TraceValues(in.Reference, mode, in.Reactance);
  SScales scales = ChooseScales(mode, in.Reactance, live, reference, in.Shown.Resonances);
  if (reflection) {
    UseReflection(live, in.Shown.Points, in.ReflectionZ0);
    UseReflection(reference, in.Reference, in.ReflectionZ0);
    scales.second = {EPlotScale::Linear};
  }
  PlanValueAxes(plan, mode, scales, live, reference, reflection);
  const QString first = FirstTraceName(mode);
  const QString second = reflection ? QStringLiteral("|S11|") : SecondTraceName(mode, in.Reactance);

  // Grey and drawn first, the pinned traces lie behind the live ones.
  AddRuns(plan, Runs(reference.hertz, reference.first, scales.first), Tr("pinned %1").arg(first),
          QPen(Reference, 1.4), false);
  AddRuns(plan, Runs(reference.hertz, reference.second, scales.second), Tr("pinned %1").arg(second),
          QPen(Reference, 1.4, Qt::DashLine), true);
  if (in.Band != nullptr) AddBands(plan, in, scales, live.hertz.size(), reflection);
  AddRuns(plan, Runs(live.hertz, live.first, scales.first), first, QPen(FirstTrace, 1.6), false);
  AddRuns(plan, Runs(live.hertz, live.second, scales.second), second, QPen(SecondTrace, 1.6), true);
  AddWorkingLine(plan, in.Working);
  AddResonanceMarks(plan, in.Shown, scales.second, in.ReflectionZ0);
  return plan;
}

// The chart's axis on one side, or null.
QAbstractAxis* AxisAt(const QChart& chart, Qt::Alignment side) {
  for (QAbstractAxis* axis : chart.axes())
    if (axis->alignment() == side) return axis;
  return nullptr;
}

constexpr Qt::Alignment FrequencySide = Qt::AlignBottom, FirstSide = Qt::AlignLeft,
                        SecondSide = Qt::AlignRight;

// Whether the chart has the items `plan` needs, in its order: then they are updated in place.
bool Fits(const QChart& chart, const SPlotPlan& plan) {
  const auto ticked = [](QAbstractAxis* axis) { return qobject_cast<QCategoryAxis*>(axis); };
  QAbstractAxis* second = AxisAt(chart, SecondSide);
  if (!ticked(AxisAt(chart, FrequencySide)) || !ticked(AxisAt(chart, FirstSide)) || !second ||
      (ticked(second) != nullptr) != plan.Second.Ticked || chart.axes().size() != 3)
    return false;
  const QList<QAbstractSeries*> series = chart.series();
  if (static_cast<size_t>(series.size()) != plan.Series.size()) return false;
  for (size_t i = 0; i < plan.Series.size(); ++i) {
    QAbstractSeries* s = series[static_cast<qsizetype>(i)];
    if (s->type() != plan.Series[i].Type ||
        s->attachedAxes().contains(second) != plan.Series[i].OnSecond)
      return false;
  }
  return true;
}

// Empties the chart and gives it the axes and the (empty) series of `plan`.
void Build(QChart& chart, const SPlotPlan& plan) {
  chart.removeAllSeries();
  for (QAbstractAxis* axis : chart.axes()) {
    chart.removeAxis(axis);
    delete axis;
  }
  for (const auto& [axisPlan, side] : {std::pair{&plan.Frequency, FrequencySide},
                                       {&plan.First, FirstSide},
                                       {&plan.Second, SecondSide}}) {
    QValueAxis* axis = axisPlan->Ticked ? new QCategoryAxis() : new QValueAxis();
    if (auto* ticked = qobject_cast<QCategoryAxis*>(axis)) {
      ticked->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    } else {
      axis->setLabelFormat(QStringLiteral("%g"));
      axis->setTickCount(7);
    }
    chart.addAxis(axis, side);
  }
  for (const SSeriesPlan& p : plan.Series) {
    QAbstractSeries* series = nullptr;
    if (p.Type == QAbstractSeries::SeriesTypeArea) {
      auto* area = new QAreaSeries(new QLineSeries(), new QLineSeries());
      area->upperSeries()->setParent(area);  // the area draws its edges but does not own them
      area->lowerSeries()->setParent(area);
      series = area;
    } else if (p.Type == QAbstractSeries::SeriesTypeScatter) {
      auto* marks = new QScatterSeries();
      marks->setMarkerSize(9);
      series = marks;
    } else {
      series = new QLineSeries();
    }
    chart.addSeries(series);
    series->attachAxis(AxisAt(chart, FrequencySide));
    series->attachAxis(AxisAt(chart, p.OnSecond ? SecondSide : FirstSide));
  }
}

void Update(QAbstractAxis& axis, const SAxisPlan& plan) {
  if (auto* ticked = qobject_cast<QCategoryAxis*>(&axis)) {
    // The labels are rewritten only when they moved: each change lays the chart out anew.
    const QStringList labels = ticked->categoriesLabels();
    bool same = labels.size() == static_cast<qsizetype>(plan.Ticks.size()) &&
                ticked->startValue() == plan.Start;
    for (size_t i = 0; same && i < plan.Ticks.size(); ++i)
      same = labels[static_cast<qsizetype>(i)] == plan.Ticks[i].first &&
             ticked->endValue(plan.Ticks[i].first) == plan.Ticks[i].second;
    if (!same) {
      for (const QString& label : labels) ticked->remove(label);
      ticked->setStartValue(plan.Start);
      for (const auto& [text, at] : plan.Ticks) ticked->append(text, at);
    }
  }
  axis.setRange(plan.Min, plan.Max);
  axis.setTitleText(plan.Title);
  if (plan.Colour.isValid()) {
    axis.setLinePenColor(plan.Colour);
    axis.setTitleBrush(plan.Colour);
  }
}

void Update(QChart& chart, QAbstractSeries& series, const SSeriesPlan& plan) {
  series.setName(plan.Name);
  if (auto* area = qobject_cast<QAreaSeries*>(&series)) {
    area->upperSeries()->replace(plan.Points);
    area->lowerSeries()->replace(plan.Lower);
    area->setBrush(plan.Fill);
    area->setPen(plan.Pen);
  } else if (auto* marks = qobject_cast<QScatterSeries*>(&series)) {
    marks->setColor(plan.Fill);
    marks->replace(plan.Points);
  } else if (auto* line = qobject_cast<QLineSeries*>(&series)) {
    line->setPen(plan.Pen);
    line->replace(plan.Points);
  }
  for (QLegendMarker* m : chart.legend()->markers(&series)) m->setVisible(plan.InLegend);
}

}  // namespace

void DrawResponse(QChart& chart, const SPlotInput& in) {
  const SPlotPlan plan = PlanPlot(in);
  if (Fits(chart, plan)) {
    // Qt Charts lays a series' points out again whenever an axis it hangs on changes its range:
    // emptied first, each series is laid out once, when its new points arrive.
    for (QAbstractSeries* series : chart.series()) {
      if (auto* area = qobject_cast<QAreaSeries*>(series)) {
        area->upperSeries()->replace(QList<QPointF>());
        area->lowerSeries()->replace(QList<QPointF>());
      } else if (auto* xy = qobject_cast<QXYSeries*>(series)) {
        xy->replace(QList<QPointF>());
      }
    }
  } else {
    Build(chart, plan);
  }
  Update(*AxisAt(chart, FrequencySide), plan.Frequency);
  Update(*AxisAt(chart, FirstSide), plan.First);
  Update(*AxisAt(chart, SecondSide), plan.Second);
  const QList<QAbstractSeries*> series = chart.series();
  for (size_t i = 0; i < plan.Series.size(); ++i)
    Update(chart, *series[static_cast<qsizetype>(i)], plan.Series[i]);
  // Laid out now, the legend too, not when the layouts' requests come round: a paint in between
  // would show the new points against the old axes' room, and cost a second paint.
  for (QGraphicsWidget* item :
       {static_cast<QGraphicsWidget*>(&chart), static_cast<QGraphicsWidget*>(chart.legend())})
    if (QGraphicsLayout* layout = item->layout()) layout->activate();
}
