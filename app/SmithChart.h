// The response panel's Smith chart: the sweep's Z(f) as reflection coefficients against the
// reference impedance Z0, on an impedance grid (and, on request, the mirrored admittance grid),
// with the working frequency's point and its constant-|Γ| circle, the resonances and the pinned
// circuit's trace. Painted by one function for the screen and for picture files.
#pragma once

#include <QPixmap>
#include <QPointF>
#include <QSizeF>
#include <QWidget>
#include <complex>
#include <functional>
#include <optional>
#include <vector>

#include "analysis/Response.h"

// Where the unit disc of Γ lies in a widget: Γ = 0 at the centre, |Γ| = 1 on the circle of
// `Radius`, positive imaginary parts upward. The painting, the hover and the click all map
// through it.
struct SSmithFrame {
  QPointF Centre;
  double Radius = 1.0;

  QPointF PointOf(std::complex<double> gamma) const;
  std::complex<double> GammaAt(QPointF point) const;
};

// The largest disc that fits in `size` with `margin` left free all round for the labels.
SSmithFrame SmithFrameFor(QSizeF size, double margin);

class TSmithChart : public QWidget {
  Q_OBJECT
 public:
  // Shows `shown` and `pinned` as they change; both must outlive the chart.
  TSmithChart(const SResponse& shown, const std::vector<SResponsePoint>& pinned,
              QWidget* parent = nullptr);

  void SetWorkingFrequency(double hertz);
  void SetReferenceImpedance(double z0);
  double ReferenceImpedance() const { return z0; }
  void SetAdmittanceGrid(bool on);

  // The frame for the widget's present size.
  SSmithFrame Frame() const;
  // Γ of a sweep point; none where the point has no number.
  std::optional<std::complex<double>> GammaOf(const SResponsePoint& point) const;
  // The index of the live trace's point nearest `at` within `reach` pixels.
  std::optional<size_t> NearestPoint(QPointF at, double reach) const;

  // The one painting of the chart, into any device of `size`.
  void Paint(QPainter& painter, QSizeF size) const;

  // The pointer moved: the nearest point of the trace, or none away from it.
  std::function<void(std::optional<size_t>)> OnHover;
  // A click on (near) the trace: the point's index.
  std::function<void(size_t)> OnPick;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  // The white ground, the grid and its labels; then the traces, the marks and the key on top.
  void PaintGridLayer(QPainter& painter, QSizeF size) const;
  void PaintTraceLayer(QPainter& painter, QSizeF size) const;
  void PaintGrid(QPainter& painter, const SSmithFrame& frame) const;
  void PaintLabels(QPainter& painter, const SSmithFrame& frame) const;
  void PaintTrace(QPainter& painter, const SSmithFrame& frame,
                  const std::vector<SResponsePoint>& points, const QPen& pen) const;
  void PaintMarks(QPainter& painter, const SSmithFrame& frame) const;
  // What the marks mean, right-aligned at `right`, with the working point's |Γ| and VSWR.
  void PaintKey(QPainter& painter, double right) const;
  std::optional<std::complex<double>> WorkingGamma() const;
  double Margin() const;

  const SResponse& shown;
  const std::vector<SResponsePoint>& pinned;
  double working = 1.0;
  double z0 = 50.0;
  bool admittance = false;
  QPointF pressAt;
  QPixmap grid;     // the grid layer as last painted on the screen
  QString gridKey;  // what it was painted for
};
