// The response panel's Smith chart; see SmithChart.h.
#include "SmithChart.h"

#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "ResponseColors.h"
#include "analysis/Match.h"

namespace {

using Gamma = std::complex<double>;

// The conventional grid: resistances and reactances normalised to Z0.
constexpr double GridValues[] = {0.2, 0.5, 1.0, 2.0, 5.0};
constexpr int CurveSteps = 120;

const QColor GridColor(185, 185, 195);
const QColor RimColor(90, 90, 100);
const QColor AdmittanceColor(232, 200, 170);
const QColor LabelColor(70, 70, 80);

// A grid value as its label shows it: "0.2", "1", "5".
QString GridText(double value) {
  return QString::number(value, 'g', 3);
}

// The path of the normalised impedances z(t), t from 0 to 1, on the chart; mirrored through
// the centre for the admittance grid (the admittance y sits where the impedance 1/y would).
QPainterPath CurvePath(const SSmithFrame& frame, const std::function<Gamma(double)>& z,
                       bool mirrored) {
  QPainterPath path;
  bool started = false;
  for (int i = 0; i <= CurveSteps; ++i) {
    const std::optional<Gamma> g = Reflection(z(static_cast<double>(i) / CurveSteps), 1.0);
    if (!g) continue;
    const QPointF p = frame.PointOf(mirrored ? -*g : *g);
    if (started) {
      path.lineTo(p);
    } else {
      path.moveTo(p);
      started = true;
    }
  }
  return path;
}

// The circle of constant resistance r: x runs over the whole axis, spaced evenly in angle.
Gamma OnResistance(double r, double t) {
  const double angle = std::numbers::pi * (t - 0.5) * 0.9999;
  return {r, (r + 1.0) * std::tan(angle)};
}

// The arc of constant reactance x from r = 0 out to r = ∞ (the chart's right edge), spaced
// evenly in angle.
Gamma OnReactance(double x, double t) {
  const double u = std::atan(std::fabs(x)) * (1.0 - t);
  if (u <= 0.0) return {std::numeric_limits<double>::infinity(), 0.0};
  return {std::max(0.0, std::fabs(x) / std::tan(u) - 1.0), x};
}

// A label's box of `text` with its centre `distance` pixels beyond `rim` away from `centre`.
QRectF LabelBox(const QFontMetricsF& metrics, const QString& text, QPointF centre, QPointF rim,
                double gap) {
  const QSizeF size = metrics.size(Qt::TextSingleLine, text);
  const QPointF outward = rim - centre;
  const double length = std::hypot(outward.x(), outward.y());
  const QPointF unit = length > 0 ? outward / length : QPointF(1, 0);
  // Far enough along the direction that the box's nearest corner clears the rim by `gap`.
  const double reach =
      std::fabs(unit.x()) * size.width() / 2 + std::fabs(unit.y()) * size.height() / 2 + gap;
  QRectF box(QPointF(), size);
  box.moveCenter(rim + unit * reach);
  return box;
}

}  // namespace

QPointF SSmithFrame::PointOf(std::complex<double> gamma) const {
  return {Centre.x() + gamma.real() * Radius, Centre.y() - gamma.imag() * Radius};
}

std::complex<double> SSmithFrame::GammaAt(QPointF point) const {
  return {(point.x() - Centre.x()) / Radius, (Centre.y() - point.y()) / Radius};
}

SSmithFrame SmithFrameFor(QSizeF size, double margin) {
  const double side = std::min(size.width(), size.height()) - 2 * margin;
  return {QPointF(size.width() / 2, size.height() / 2), std::max(side / 2, 1.0)};
}

TSmithChart::TSmithChart(const SResponse& shownResponse,
                         const std::vector<SResponsePoint>& pinnedPoints, QWidget* parent)
    : QWidget(parent), shown(shownResponse), pinned(pinnedPoints) {
  setMouseTracking(true);
  setMinimumSize(260, 260);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TSmithChart::SetWorkingFrequency(double hertz) {
  working = hertz;
  update();
}

void TSmithChart::SetReferenceImpedance(double referenceOhms) {
  z0 = referenceOhms;
  update();
}

void TSmithChart::SetAdmittanceGrid(bool on) {
  admittance = on;
  update();
}

double TSmithChart::Margin() const {
  return QFontMetricsF(font()).horizontalAdvance(QStringLiteral("−j0.5")) + 8;
}

SSmithFrame TSmithChart::Frame() const {
  return SmithFrameFor(size(), Margin());
}

std::optional<std::complex<double>> TSmithChart::GammaOf(const SResponsePoint& point) const {
  if (!point.Solved) return std::nullopt;
  return Reflection({point.R, point.X}, z0);
}

// Γ at the working frequency, interpolated in log f between the sweep's neighbouring points.
std::optional<std::complex<double>> TSmithChart::WorkingGamma() const {
  const std::vector<SResponsePoint>& points = shown.Points;
  const auto after =
      std::lower_bound(points.begin(), points.end(), working,
                       [](const SResponsePoint& p, double hertz) { return p.Hertz < hertz; });
  if (after == points.end()) return std::nullopt;
  if (after->Hertz == working) return GammaOf(*after);
  if (after == points.begin()) return std::nullopt;
  const auto before = after - 1;
  const std::optional<Gamma> a = GammaOf(*before), b = GammaOf(*after);
  if (!a || !b) return std::nullopt;
  const double t = std::log(working / before->Hertz) / std::log(after->Hertz / before->Hertz);
  return *a + (*b - *a) * t;
}

std::optional<size_t> TSmithChart::NearestPoint(QPointF at, double reach) const {
  const SSmithFrame frame = Frame();
  std::optional<size_t> nearest;
  double best = reach;
  for (size_t i = 0; i < shown.Points.size(); ++i) {
    const std::optional<Gamma> g = GammaOf(shown.Points[i]);
    if (!g) continue;
    const QPointF d = frame.PointOf(*g) - at;
    const double distance = std::hypot(d.x(), d.y());
    if (distance <= best) {
      best = distance;
      nearest = i;
    }
  }
  return nearest;
}

void TSmithChart::Paint(QPainter& painter, QSizeF size) const {
  PaintGridLayer(painter, size);
  PaintTraceLayer(painter, size);
}

void TSmithChart::PaintGridLayer(QPainter& painter, QSizeF size) const {
  painter.save();
  painter.fillRect(QRectF(QPointF(), size), Qt::white);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setFont(font());
  const SSmithFrame frame = SmithFrameFor(size, Margin());
  PaintGrid(painter, frame);
  PaintLabels(painter, frame);
  painter.restore();
}

void TSmithChart::PaintTraceLayer(QPainter& painter, QSizeF size) const {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setFont(font());
  const SSmithFrame frame = SmithFrameFor(size, Margin());
  PaintTrace(painter, frame, pinned, QPen(ResponseColor::Pinned, 2.2));
  PaintTrace(painter, frame, shown.Points, QPen(ResponseColor::Trace, 1.8));
  PaintMarks(painter, frame);
  PaintKey(painter, size.width() - 4);
  painter.restore();
}

void TSmithChart::PaintGrid(QPainter& painter, const SSmithFrame& frame) const {
  painter.setBrush(Qt::NoBrush);
  // The admittance grid first and lighter, under the impedance grid.
  for (const bool mirrored : {true, false}) {
    if (mirrored && !admittance) continue;
    painter.setPen(QPen(mirrored ? AdmittanceColor : GridColor, 0.8));
    for (const double value : GridValues) {
      painter.drawPath(CurvePath(
          frame, [value](double t) { return OnResistance(value, t); }, mirrored));
      for (const double x : {value, -value})
        painter.drawPath(CurvePath(
            frame, [x](double t) { return OnReactance(x, t); }, mirrored));
    }
  }
  // The rim (r = 0, |Γ| = 1) and the real axis (x = 0).
  painter.setPen(QPen(RimColor, 1.2));
  painter.drawEllipse(frame.Centre, frame.Radius, frame.Radius);
  painter.setPen(QPen(RimColor, 0.8));
  painter.drawLine(frame.PointOf(-1.0), frame.PointOf(1.0));
}

void TSmithChart::PaintLabels(QPainter& painter, const SSmithFrame& frame) const {
  const QFontMetricsF metrics(painter.font());
  painter.setPen(LabelColor);
  // Resistances just above the real axis, right of where their circles cross it.
  for (const double r : GridValues) {
    const QPointF at = frame.PointOf(*Reflection(r, 1.0));
    painter.drawText(at + QPointF(2, -metrics.descent() - 1), GridText(r));
  }
  // Reactances outside the rim where their arcs meet it; the ends of the real axis too.
  for (const double value : GridValues) {
    for (const double x : {value, -value}) {
      const QPointF rim = frame.PointOf(*Reflection({0.0, x}, 1.0));
      const QString text = (x > 0 ? QStringLiteral("+j") : QStringLiteral("−j")) + GridText(value);
      painter.drawText(LabelBox(metrics, text, frame.Centre, rim, 2), Qt::AlignCenter, text);
    }
  }
  for (const auto& [gamma, text] :
       {std::pair{-1.0, QStringLiteral("0")}, {1.0, QStringLiteral("∞")}})
    painter.drawText(LabelBox(metrics, text, frame.Centre, frame.PointOf(gamma), 3),
                     Qt::AlignCenter, text);
  const QString reference = tr("Z0 = %1 Ω").arg(z0, 0, 'g', 6);
  painter.drawText(QPointF(4, metrics.ascent() + 2), reference);
}

void TSmithChart::PaintTrace(QPainter& painter, const SSmithFrame& frame,
                             const std::vector<SResponsePoint>& points, const QPen& pen) const {
  // A point with no number breaks the trace.
  QPainterPath path;
  bool inRun = false;
  for (const SResponsePoint& p : points) {
    const std::optional<Gamma> g = GammaOf(p);
    if (!g) {
      inRun = false;
      continue;
    }
    if (inRun) {
      path.lineTo(frame.PointOf(*g));
    } else {
      path.moveTo(frame.PointOf(*g));
      inRun = true;
    }
  }
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(path);
}

namespace {

// A circle dashed by hand, each dash a chord (dash and gap in pixels): the painter's own
// dashing of a curve costs more than the rest of the chart's marks together, and it is
// redrawn on every new sweep.
QList<QLineF> DashedCircle(QPointF centre, double radius, double dash, double gap) {
  QList<QLineF> dashes;
  int count = static_cast<int>(std::floor(2 * std::numbers::pi * radius / (dash + gap)));
  if (!(radius > 0)) return {};
  count = std::max(count, 4);
  const double period = 2 * std::numbers::pi / count;
  const double span = period * dash / (dash + gap);
  const auto at = [&](double a) {
    return centre + QPointF(radius * std::cos(a), -radius * std::sin(a));
  };
  dashes.reserve(count);
  for (int i = 0; i < count; ++i) dashes.append(QLineF(at(i * period), at(i * period + span)));
  return dashes;
}

}  // namespace

void TSmithChart::PaintMarks(QPainter& painter, const SSmithFrame& frame) const {
  const std::optional<Gamma> g = WorkingGamma();
  if (g) {
    // The constant-|Γ| circle through the working point: every load of the same VSWR.
    const double radius = std::abs(*g) * frame.Radius;
    painter.setBrush(Qt::NoBrush);
    // On the screen dashed by hand; a picture file keeps one dashed circle.
    if (painter.paintEngine()->type() == QPaintEngine::Raster) {
      painter.setPen(QPen(ResponseColor::Working, 1.2));
      painter.drawLines(DashedCircle(frame.Centre, radius, 4.8, 2.4));
    } else {
      painter.setPen(QPen(ResponseColor::Working, 1.2, Qt::DashLine));
      painter.drawEllipse(frame.Centre, radius, radius);
    }
    painter.setPen(QPen(Qt::white, 1.0));
    painter.setBrush(ResponseColor::Working);
    painter.drawEllipse(frame.PointOf(*g), 6.0, 6.0);
  }
  // Smaller and on top, a resonance at the working frequency stays in sight. At a resonance
  // X is zero, so Z is the |Z| that the search found there.
  painter.setPen(QPen(Qt::white, 1.0));
  painter.setBrush(ResponseColor::Resonance);
  for (const SResonance& r : shown.Resonances)
    if (const std::optional<Gamma> at = Reflection(r.Magnitude, z0))
      painter.drawEllipse(frame.PointOf(*at), 3.5, 3.5);
}

void TSmithChart::PaintKey(QPainter& painter, double right) const {
  // Top right, clear of the rim's labels: what the marks are, and the working point's figures.
  const QFontMetricsF metrics(painter.font());
  const std::optional<Gamma> g = WorkingGamma();
  const double line = metrics.height();
  double y = metrics.ascent() + 2;
  const auto row = [&](const QColor& color, const QString& text) {
    const double w = metrics.horizontalAdvance(text);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QPointF(right - w - 8, y - metrics.ascent() / 2 + 1), 3.5, 3.5);
    painter.setPen(LabelColor);
    painter.drawText(QPointF(right - w, y), text);
    y += line;
  };
  if (g) {
    QString vswr = QStringLiteral("—");
    if (const std::optional<std::complex<double>> z = ImpedanceOfReflection(*g, z0))
      if (const std::optional<double> v = MatchFigures(*z, z0).Vswr)
        vswr = std::isinf(*v) ? QStringLiteral("∞") : QString::number(*v, 'g', 3);
    row(ResponseColor::Working,
        tr("f: |Γ| %1, VSWR %2").arg(QString::number(std::abs(*g), 'f', 3), vswr));
  }
  if (!shown.Resonances.empty()) row(ResponseColor::Resonance, tr("Resonance"));
}

void TSmithChart::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // Painted into a file (an SVG) the chart is drawn whole, as lines and text.
  if (painter.paintEngine()->type() != QPaintEngine::Raster) {
    Paint(painter, size());
    return;
  }
  // On the screen the grid and its labels are kept as a picture until the size, the pixel
  // ratio, Z0, the admittance grid or the font change: only the traces follow each sweep.
  const qreal ratio = devicePixelRatioF();
  const QString key = QStringLiteral("%1 %2 %3 %4 %5 ")
                          .arg(width())
                          .arg(height())
                          .arg(ratio)
                          .arg(z0, 0, 'g', 17)
                          .arg(admittance) +
                      font().key();
  if (key != gridKey || grid.isNull()) {
    grid = QPixmap(size() * ratio);
    grid.setDevicePixelRatio(ratio);
    QPainter gridPainter(&grid);
    PaintGridLayer(gridPainter, size());
    gridKey = key;
  }
  painter.drawPixmap(0, 0, grid);
  PaintTraceLayer(painter, size());
}

void TSmithChart::mouseMoveEvent(QMouseEvent* event) {
  if (OnHover) OnHover(NearestPoint(event->position(), 24));
  QWidget::mouseMoveEvent(event);
}

void TSmithChart::mousePressEvent(QMouseEvent* event) {
  pressAt = event->position();
  QWidget::mousePressEvent(event);
}

void TSmithChart::mouseReleaseEvent(QMouseEvent* event) {
  const QPointF d = event->position() - pressAt;
  if (event->button() == Qt::LeftButton && std::abs(d.x()) + std::abs(d.y()) < 4 && OnPick)
    if (const std::optional<size_t> i = NearestPoint(event->position(), 10)) OnPick(*i);
  QWidget::mouseReleaseEvent(event);
}

void TSmithChart::leaveEvent(QEvent* event) {
  if (OnHover) OnHover(std::nullopt);
  QWidget::leaveEvent(event);
}
