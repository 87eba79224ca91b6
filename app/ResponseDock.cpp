// The frequency-response panel; see ResponseDock.h.
#include "ResponseDock.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineEdit>
#include <QLineSeries>
#include <QListWidget>
#include <QLogValueAxis>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScatterSeries>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <functional>

#include "ResponseExport.h"
#include "analysis/Measure.h"
#include "analysis/Sweep.h"
#include "value/Frequency.h"
#include "value/Value.h"

// The chart view hands its pointer movements and clicks to the panel.
class TResponseChartView : public QChartView {
 public:
  using QChartView::QChartView;
  std::function<void(QPointF)> OnMove;
  std::function<void(QPointF)> OnClick;

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    pressAt = event->position();
    QChartView::mousePressEvent(event);
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    const QPointF d = event->position() - pressAt;
    if (event->button() == Qt::LeftButton && std::abs(d.x()) + std::abs(d.y()) < 4 && OnClick)
      OnClick(event->position());
    QChartView::mouseReleaseEvent(event);
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    if (OnMove) OnMove(event->position());
    QChartView::mouseMoveEvent(event);
  }

 private:
  QPointF pressAt;
};

namespace {

const QColor FirstTrace(20, 90, 200);
const QColor SecondTrace(210, 80, 0);
const QColor Marker(0, 150, 60);
const QColor Reference(150, 150, 150);

// A frequency in the unit that keeps the number short: "5.0329 kHz".
QString HertzText(double hertz, int digits) {
  const int unit = FrequencyUnitOf(hertz);
  return QString::number(hertz / std::pow(1e3, unit), 'g', digits) +
         QLatin1String(FrequencyUnitSuffix(unit));
}

QString OhmText(int digits, double value) {
  if (std::isinf(value)) return QStringLiteral("∞ Ω");
  return QString::fromStdString(FormatValue(digits, value)) + QStringLiteral(" Ω");
}

// The texts of the two traces for a display mode.
QString FirstName(int mode) {
  return mode == 1 ? QStringLiteral("|Z|") : QStringLiteral("R");
}
QString SecondName(int mode) {
  return mode == 1 ? QStringLiteral("Phase") : QStringLiteral("X");
}

// A range limit as engineering text that the field parses back: "5", "2.4G", "100m".
QString LimitText(double hertz) {
  static const std::pair<double, char> prefixes[] = {{1e12, 'T'}, {1e9, 'G'},  {1e6, 'M'},
                                                     {1e3, 'k'},  {1, 0},      {1e-3, 'm'},
                                                     {1e-6, 'u'}, {1e-9, 'n'}, {1e-12, 'p'}};
  for (const auto& [scale, prefix] : prefixes) {
    if (std::fabs(hertz) >= scale || scale == 1e-12) {
      QString text = QString::number(hertz / scale, 'g', 6);
      if (prefix != 0) text += QLatin1Char(prefix);
      return text;
    }
  }
  return QString::number(hertz, 'g', 6);
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
  secondAxis->setTitleText(mode == 1 ? TResponseDock::tr("Phase (°)") : TResponseDock::tr("X (Ω)"));
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
    firstAxis->setTitleText(TResponseDock::tr("|Z| (Ω)"));
    secondAxis->setRange(-90, 90);
    secondAxis->setTickCount(7);
  } else {
    auto* linear = new QValueAxis();
    linear->setLabelFormat(QStringLiteral("%g"));
    const auto [low, high] = LinearRange(firstLow, firstHigh);
    linear->setRange(low, high);
    linear->applyNiceNumbers();
    firstAxis = linear;
    firstAxis->setTitleText(TResponseDock::tr("R (Ω)"));
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

}  // namespace

TResponseDock::TResponseDock(QWidget* parent) : QDockWidget(tr("Frequency response"), parent) {
  setObjectName(QStringLiteral("ResponseDock"));
  UseOrdinaryPalette();
  sweeper = new TResponseSweeper(this);
  connect(sweeper, &TResponseSweeper::Done, this, [this](const SSweepResult& r) { Finished(r); });
  auto* body = new QWidget(this);
  auto* layout = new QVBoxLayout(body);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addLayout(MakeRangeRow(body));
  AddChart(body, *layout);
  AddReadings(body, *layout);
  setWidget(body);
  ConnectControls();
  UpdateRangeFields();
  Redraw();
}

void TResponseDock::UseOrdinaryPalette() {
  // The main window's own colour is the sheet's black; the panel keeps the ordinary colours.
  // Each role is set on its own: a palette equal to the application's would simply inherit.
  QPalette ordinary = palette();
  const QPalette app = QGuiApplication::palette();
  for (QPalette::ColorRole role : {QPalette::Window, QPalette::WindowText})
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
      ordinary.setColor(group, role, app.color(group, role));
  setPalette(ordinary);
  setAutoFillBackground(true);
}

QHBoxLayout* TResponseDock::MakeRangeRow(QWidget* body) {
  auto* range = new QHBoxLayout();
  startEdit = new QLineEdit(body);
  stopEdit = new QLineEdit(body);
  pointsEdit = new QSpinBox(body);
  pointsEdit->setRange(10, 10000);
  pointsEdit->setValue(points);
  pointsEdit->setKeyboardTracking(false);
  follow = new QCheckBox(tr("Around f"), body);
  follow->setChecked(true);
  follow->setToolTip(tr("Three decades either side of the working frequency"));
  exportButton = new QToolButton(body);
  exportButton->setText(tr("Export"));
  exportButton->setPopupMode(QToolButton::InstantPopup);
  auto* menu = new QMenu(exportButton);
  menu->addAction(tr("Sweep as CSV…"), this, [this] { ExportWithDialog(0); });
  menu->addAction(tr("Sweep as Touchstone…"), this, [this] { ExportWithDialog(1); });
  menu->addAction(tr("Plot as PNG or SVG…"), this, [this] { ExportWithDialog(2); });
  menu->addAction(tr("Copy plot"), this, [this] { CopyImage(); });
  exportButton->setMenu(menu);
  for (QLineEdit* edit : {startEdit, stopEdit}) {
    edit->setMaximumWidth(80);
    connect(edit, &QLineEdit::editingFinished, this, [this] { RangeEdited(); });
  }
  range->addWidget(new QLabel(tr("Start"), body));
  range->addWidget(startEdit);
  range->addWidget(new QLabel(tr("Stop"), body));
  range->addWidget(stopEdit);
  range->addWidget(new QLabel(tr("Points"), body));
  range->addWidget(pointsEdit);
  range->addWidget(follow);
  range->addStretch(1);
  range->addWidget(exportButton);
  return range;
}

void TResponseDock::AddChart(QWidget* body, QVBoxLayout& layout) {
  chart = new QChart();
  chart->legend()->setAlignment(Qt::AlignTop);
  chart->setMargins(QMargins(2, 2, 2, 2));
  view = new TResponseChartView(chart, body);
  view->setRenderHint(QPainter::Antialiasing);
  view->setMouseTracking(true);
  view->setMinimumSize(360, 260);
  view->OnMove = [this](QPointF p) { Hover(p); };
  view->OnClick = [this](QPointF p) {
    // A pixel spans a few per cent of frequency: four digits keep the entry readable.
    if (const std::optional<double> f = HertzAt(p))
      emit FrequencyPicked(QString::number(*f, 'g', 4).toDouble());
  };
  layout.addWidget(view, 1);
}

void TResponseDock::AddReadings(QWidget* body, QVBoxLayout& layout) {
  hoverLabel = new QLabel(body);
  noteLabel = new QLabel(body);
  noteLabel->setWordWrap(true);
  layout.addWidget(hoverLabel);
  layout.addWidget(noteLabel);
  resonanceList = new QListWidget(body);
  resonanceList->setMaximumHeight(110);
  resonanceList->setToolTip(tr("Double-click a resonance to make it the working frequency"));
  connect(resonanceList, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    emit FrequencyPicked(item->data(Qt::UserRole).toDouble());
  });
  layout.addWidget(resonanceList);
}

void TResponseDock::ConnectControls() {
  connect(pointsEdit, &QSpinBox::valueChanged, this, [this](int n) {
    points = n;
    Start();
  });
  connect(follow, &QCheckBox::toggled, this, [this](bool on) {
    if (!on) return;
    // Back to the default range around the working frequency.
    const double f = working > 0 ? working : 1e3;
    start = f / 1e3;
    stop = f * 1e3;
    UpdateRangeFields();
    Start();
  });
  connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
    if (visible) Start();
  });
}

// The sweeper, a child, cancels a sweep still running.
TResponseDock::~TResponseDock() = default;

QChartView* TResponseDock::ChartView() const {
  return view;
}

bool TResponseDock::FollowsWorkingFrequency() const {
  return follow->isChecked();
}

void TResponseDock::Request(CCmps& cmps, const CCmp* meter, double workingHertz, int mode,
                            int shownDigits) {
  circuit = CopyCircuit(cmps, meter);
  haveCircuit = true;
  working = workingHertz;
  displayMode = mode;
  digits = shownDigits;
  if (follow->isChecked()) {
    const double f = working > 0 && std::isfinite(working) ? working : 1e3;
    start = f / 1e3;
    stop = f * 1e3;
    UpdateRangeFields();
  }
  Start();
}

bool TResponseDock::SetRange(const QString& startText, const QString& stopText, int count) {
  double a = 0, b = 0;
  try {
    a = ParseValue(startText.toStdString());
    b = ParseValue(stopText.toStdString());
  } catch (const Exception&) {
    return false;
  }
  if (!(a > 0) || !(b > a) || !std::isfinite(b) || count < 10 || count > 10000) return false;
  start = a;
  stop = b;
  points = count;
  {
    const QSignalBlocker block(follow);
    follow->setChecked(false);
  }
  {
    const QSignalBlocker block(pointsEdit);
    pointsEdit->setValue(count);
  }
  UpdateRangeFields();
  Start();
  return true;
}

void TResponseDock::RangeEdited() {
  // A bad entry reverts, as the frequency entry does.
  if (startEdit->text() == LimitText(start) && stopEdit->text() == LimitText(stop)) return;
  if (!SetRange(startEdit->text(), stopEdit->text(), points)) UpdateRangeFields();
}

void TResponseDock::UpdateRangeFields() {
  startEdit->setText(LimitText(start));
  stopEdit->setText(LimitText(stop));
}

void TResponseDock::Start() {
  if (!haveCircuit || !isVisible()) {
    sweeper->Cancel();
    return;
  }
  sweeper->Start(circuit, reference, LogFrequencies(start, stop, points), displayMode);
}

void TResponseDock::SetReference(CCmps* cmps, const CCmp* meter) {
  reference = cmps != nullptr ? CopyCircuit(*cmps, meter) : SCircuitCopy{};
  if (!reference.Cmps) shownReference.clear();
  Redraw();
  Start();
}

void TResponseDock::Finished(SSweepResult result) {
  shown = std::move(result.Response);
  shownReference = std::move(result.Reference);
  shownMode = result.Mode;
  hover.clear();
  Redraw();
  emit SweepShown();
}

QString TResponseDock::NoteText() const {
  return noteLabel->text();
}

QString TResponseDock::HoverText() const {
  return hover;
}

void TResponseDock::Redraw() {
  chart->removeAllSeries();
  for (QAbstractAxis* axis : chart->axes()) {
    chart->removeAxis(axis);
    delete axis;
  }
  const int mode = shownMode;
  QLogValueAxis* fAxis = AddFrequencyAxis();
  STraces live, reference;
  // The pinned circuit's traces count in the ranges too.
  SplitTraces(shownReference, mode, reference);
  SplitTraces(shown.Points, mode, live);
  const SValueAxes axes = AddValueAxes(*chart, mode, live, reference);

  // Grey and drawn first, the pinned traces lie behind the live ones.
  AddRuns(*chart, fAxis, reference.first, tr("pinned %1").arg(FirstName(mode)),
          QPen(Reference, 1.4), axes.first);
  AddRuns(*chart, fAxis, reference.second, tr("pinned %1").arg(SecondName(mode)),
          QPen(Reference, 1.4, Qt::DashLine), axes.second);
  AddRuns(*chart, fAxis, live.first, FirstName(mode), QPen(FirstTrace, 1.6), axes.first);
  AddRuns(*chart, fAxis, live.second, SecondName(mode), QPen(SecondTrace, 1.6), axes.second);
  AddWorkingLine(fAxis, axes.second, mode);
  ShowResonances(fAxis, axes.second);
  ShowNote();
  hoverLabel->setText(hover);
}

QLogValueAxis* TResponseDock::AddFrequencyAxis() {
  auto* fAxis = new QLogValueAxis();
  fAxis->setTitleText(tr("Frequency (Hz)"));
  fAxis->setMinorTickCount(-1);
  fAxis->setRange(start, stop);
  if (!shown.Points.empty()) fAxis->setRange(shown.Points.front().Hertz, shown.Points.back().Hertz);
  // Over many decades a label at every power of ten runs into the next; every second one fits.
  fAxis->setLabelFormat(QStringLiteral("%g"));
  if (fAxis->max() / fAxis->min() > 1e4) fAxis->setBase(100);
  chart->addAxis(fAxis, Qt::AlignBottom);
  return fAxis;
}

// The working frequency, drawn across the whole height of the plot.
void TResponseDock::AddWorkingLine(QLogValueAxis* fAxis, QValueAxis* secondAxis, int mode) {
  if (working >= fAxis->min() && working <= fAxis->max()) {
    auto* line = new QLineSeries();
    line->setName(tr("f"));
    line->setPen(QPen(Marker, 1.2, Qt::DashLine));
    line->append(working, -90);
    line->append(working, 90);
    chart->addSeries(line);
    line->attachAxis(fAxis);
    line->attachAxis(secondAxis);
    if (mode != 1) {
      line->replace(0, working, secondAxis->min());
      line->replace(1, working, secondAxis->max());
    }
    for (QLegendMarker* m : chart->legend()->markers(line)) m->setVisible(false);
  }
}

void TResponseDock::ShowResonances(QLogValueAxis* fAxis, QValueAxis* secondAxis) {
  resonanceList->clear();
  if (!shown.Resonances.empty()) {
    auto* marks = new QScatterSeries();
    marks->setName(tr("Resonance"));
    marks->setMarkerSize(9);
    marks->setColor(Marker);
    for (const SResonance& r : shown.Resonances) {
      // Placed on the phase/X axis at its zero, where the reactance changes sign.
      marks->append(r.Hertz, 0.0);
      const QString q =
          std::isinf(r.Q) ? QStringLiteral("∞") : QString::fromStdString(FormatValue(digits, r.Q));
      auto* item = new QListWidgetItem(
          tr("%1 resonance at %2, Q %3%4, |Z| %5")
              .arg(r.Series ? tr("Series") : tr("Parallel"), HertzText(r.Hertz, 10), q,
                   r.QFromSlope ? tr(" (from the slope)") : QString(),
                   OhmText(digits, r.Magnitude)),
          resonanceList);
      item->setData(Qt::UserRole, r.Hertz);
    }
    chart->addSeries(marks);
    marks->attachAxis(fAxis);
    marks->attachAxis(secondAxis);
  }
}

void TResponseDock::ShowNote() {
  QString note;
  const bool anySolved = std::any_of(shown.Points.begin(), shown.Points.end(),
                                     [](const SResponsePoint& p) { return p.Solved; });
  if (!shown.Points.empty() && !anySolved)
    note =
        tr("No finite impedance anywhere in this range: the meter's pins are not joined "
           "through a path that carries current.");
  else if (anySolved && shown.Resonances.empty())
    note = tr("No resonance in this range.");
  noteLabel->setText(note);
}

std::optional<double> TResponseDock::HertzAt(QPointF viewPoint) const {
  const QRectF area = chart->plotArea();
  const QPointF p = chart->mapFromScene(view->mapToScene(viewPoint.toPoint()));
  if (!area.contains(p) || area.width() <= 0) return std::nullopt;
  double low = start, high = stop;
  if (!shown.Points.empty()) {
    low = shown.Points.front().Hertz;
    high = shown.Points.back().Hertz;
  }
  const double t = (p.x() - area.left()) / area.width();
  return low * std::pow(high / low, t);
}

void TResponseDock::Hover(QPointF viewPoint) {
  const std::optional<double> f = HertzAt(viewPoint);
  hover.clear();
  if (f && !shown.Points.empty()) {
    // The sweep point nearest on the logarithmic axis.
    const auto nearest = std::min_element(shown.Points.begin(), shown.Points.end(),
                                          [&](const SResponsePoint& a, const SResponsePoint& b) {
                                            return std::fabs(std::log(a.Hertz / *f)) <
                                                   std::fabs(std::log(b.Hertz / *f));
                                          });
    hover = tr("f %1").arg(HertzText(nearest->Hertz, digits));
    if (nearest->Solved) {
      double first = 0, second = 0;
      DisplayValues(shownMode, nearest->R, nearest->X, first, second);
      hover += tr(", %1 %2, %3 %4")
                   .arg(FirstName(shownMode), OhmText(digits, first), SecondName(shownMode),
                        shownMode == 1 ? QString::fromStdString(FormatValue(digits, second)) +
                                             QStringLiteral("°")
                                       : OhmText(digits, second));
    } else {
      hover += tr(": Infinity");
    }
  }
  hoverLabel->setText(hover);
}

bool TResponseDock::ExportCsv(const QString& fileName, QString& error) const {
  return ExportResponseCsv(shown.Points, fileName, error);
}

bool TResponseDock::ExportTouchstone(const QString& fileName, QString& error) const {
  return ExportResponseTouchstone(shown.Points, fileName, error);
}

bool TResponseDock::ExportImage(const QString& fileName, QString& error) {
  return ExportChartImage(*view, fileName, error);
}

void TResponseDock::CopyImage() {
  CopyChartImage(*view);
}

void TResponseDock::ExportWithDialog(int kind) {
  static const char* const filters[] = {"CSV (*.csv)", "Touchstone (*.s1p *.z1p)",
                                        "PNG image (*.png);;SVG image (*.svg)"};
  static const char* const suffixes[] = {".csv", ".s1p", ".png"};
  QString name = QFileDialog::getSaveFileName(this, tr("Export"), ExportFolder,
                                              QString::fromLatin1(filters[kind]));
  if (name.isEmpty()) return;
  if (QFileInfo(name).suffix().isEmpty()) name += QLatin1String(suffixes[kind]);
  QString error;
  const bool ok = kind == 0   ? ExportCsv(name, error)
                  : kind == 1 ? ExportTouchstone(name, error)
                              : ExportImage(name, error);
  if (!ok)
    QMessageBox::warning(this, tr("Export"),
                         tr("Could not write %1:\n%2").arg(QDir::toNativeSeparators(name), error));
}
