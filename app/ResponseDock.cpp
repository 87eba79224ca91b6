// The frequency-response panel; see ResponseDock.h.
#include "ResponseDock.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

#include "ResponseExport.h"
#include "ResponsePlot.h"
#include "SensitivityTab.h"
#include "Settings.h"
#include "SmithChart.h"
#include "analysis/Match.h"
#include "analysis/Measure.h"
#include "document/SheetFile.h"
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

QString HertzText(double hertz, int digits) {
  const int unit = FrequencyUnitOf(hertz);
  return QString::number(hertz / std::pow(1e3, unit), 'g', digits) +
         QLatin1String(FrequencyUnitSuffix(unit));
}

namespace {

// The user's choice of reactance axis, an EReactanceAxis.
const char* const ReactanceAxisKey = "ReactanceAxis";
// Whether the tolerance band is drawn, and |S11| in place of the second trace.
const char* const BandKey = "ToleranceBand";
const char* const ReflectionKey = "ReflectionTrace";

QString OhmText(int digits, double value) {
  if (std::isinf(value)) return QStringLiteral("∞ Ω");
  return QString::fromStdString(FormatValue(digits, value)) + QStringLiteral(" Ω");
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

// The frequency of point `i` in the fewest digits (four at least) that keep it nearer to that
// point than to its neighbours: the points crowd around a sharp resonance.
double PickedHertz(const std::vector<SResponsePoint>& points, size_t i) {
  const double f = points[i].Hertz;
  const double low = i > 0 ? std::sqrt(points[i - 1].Hertz * f) : 0.0;
  const double high = i + 1 < points.size() ? std::sqrt(points[i + 1].Hertz * f) : INFINITY;
  for (int digits = 4; digits <= 17; ++digits) {
    const double rounded = QString::number(f, 'g', digits).toDouble();
    if (rounded > low && rounded < high) return rounded;
  }
  return f;
}

}  // namespace

TResponseDock::TResponseDock(QWidget* parent) : QDockWidget(tr("Frequency response"), parent) {
  setObjectName(QStringLiteral("ResponseDock"));
  UseOrdinaryPalette();
  sweeper = new TResponseSweeper(this);
  connect(sweeper, &TResponseSweeper::Done, this, [this](const SSweepResult& r) { Finished(r); });
  connect(sweeper, &TResponseSweeper::BandDone, this, [this](const SToleranceBand& b) {
    band = b;
    Redraw();
    emit BandChanged();
  });
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
  pointsEdit->setRange(SweepPointsMin, SweepPointsMax);
  pointsEdit->setValue(points);
  pointsEdit->setKeyboardTracking(false);
  follow = new QCheckBox(tr("Around f"), body);
  follow->setChecked(true);
  follow->setToolTip(tr("Three decades either side of the working frequency"));
  reactanceAxis = new QComboBox(body);
  reactanceAxis->addItems({tr("X linear"), tr("|X| log"), tr("X symlog")});
  reactanceAxis->setToolTip(
      tr("How the reactance is drawn: linear, its magnitude on a "
         "logarithmic axis, or signed on a symmetric logarithmic axis"));
  const int stored =
      UserStore()
          .value(QString::fromLatin1(ReactanceAxisKey), static_cast<int>(EReactanceAxis::Symlog))
          .toInt();
  reactanceAxis->setCurrentIndex(stored >= 0 && stored < ReactanceAxisCount
                                     ? stored
                                     : static_cast<int>(EReactanceAxis::Symlog));
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
  range->addWidget(reactanceAxis);
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
  // A new sweep moves nearly every item of the chart: one rectangle to repaint is cheaper than
  // clipping each line to the union of the items' old and new places.
  view->setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
  view->setMouseTracking(true);
  view->setMinimumSize(360, 260);
  view->OnMove = [this](QPointF p) { Hover(p); };
  view->OnClick = [this](QPointF p) {
    // A pixel spans a few per cent of frequency: four digits keep the entry readable.
    if (const std::optional<double> f = HertzAt(p))
      emit FrequencyPicked(QString::number(*f, 'g', 4).toDouble());
  };
  tabs = new QTabWidget(body);
  tabs->setDocumentMode(true);
  tabs->addTab(view, tr("Plot"));
  tabs->addTab(MakeSmithPage(), tr("Smith chart"));
  sensitivity = new TSensitivityTab();
  connect(sensitivity, &TSensitivityTab::PartHovered, this, &TResponseDock::PartHovered);
  tabs->addTab(sensitivity, tr("Sensitivity"));
  connect(tabs, &QTabWidget::currentChanged, this, [this] {
    hover.clear();
    hoverLabel->setText(hover);
    DrawWaitingTabs();
  });
  layout.addWidget(tabs, 1);
}

QWidget* TResponseDock::MakeSmithPage() {
  auto* page = new QWidget();
  auto* column = new QVBoxLayout(page);
  column->setContentsMargins(0, 2, 0, 0);
  auto* grid = new QCheckBox(tr("Admittance grid"), page);
  smith = new TSmithChart(shown, shownReference, page);
  smith->OnHover = [this](std::optional<size_t> i) { SmithHover(i); };
  smith->OnPick = [this](size_t i) { emit FrequencyPicked(PickedHertz(shown.Points, i)); };
  connect(grid, &QCheckBox::toggled, smith, &TSmithChart::SetAdmittanceGrid);
  column->addWidget(grid);
  column->addWidget(smith, 1);
  return page;
}

void TResponseDock::SetReferenceImpedance(double z0) {
  smith->SetReferenceImpedance(z0);
  if (ShowsReflection()) Redraw();
}

bool TResponseDock::ShowsReflection() const {
  return reflectionBox->isChecked();
}

void TResponseDock::ShowReflection(bool on) {
  reflectionBox->setChecked(on);
}

double TResponseDock::ReferenceImpedance() const {
  return smith->ReferenceImpedance();
}

void TResponseDock::SmithHover(std::optional<size_t> index) {
  hover.clear();
  if (index) {
    const SResponsePoint& p = shown.Points[*index];
    const std::complex<double> g = smith->GammaOf(p).value_or(0.0);
    hover = tr("f %1, Z %2 %3 j%4, Γ %5 ∠ %6°")
                .arg(HertzText(PickedHertz(shown.Points, *index), 12),
                     QString::fromStdString(FormatValue(digits, p.R)),
                     p.X < 0 ? QStringLiteral("−") : QStringLiteral("+"),
                     OhmText(digits, std::fabs(p.X)), QString::number(std::abs(g), 'g', digits),
                     QString::number(std::arg(g) * 180 / std::numbers::pi, 'f', 1));
  }
  hoverLabel->setText(hover);
}

void TResponseDock::AddReadings(QWidget* body, QVBoxLayout& layout) {
  hoverLabel = new QLabel(body);
  noteLabel = new QLabel(body);
  noteLabel->setWordWrap(true);
  bandBox = new QCheckBox(tr("Tolerance band"), body);
  bandBox->setChecked(UserStore().value(QString::fromLatin1(BandKey), false).toBool());
  bandBox->setToolTip(tr("Shade the range of the traces over the parts' tolerances (Settings)"));
  connect(bandBox, &QCheckBox::toggled, this, [this](bool on) {
    UserStore().setValue(QString::fromLatin1(BandKey), on);
    band = {};
    emit BandChanged();
    Redraw();
    Start();
  });
  reflectionBox = new QCheckBox(tr("|S11| (dB)"), body);
  reflectionBox->setChecked(UserStore().value(QString::fromLatin1(ReflectionKey), false).toBool());
  reflectionBox->setToolTip(
      tr("Plot the reflection against Z0 in dB in place of the second trace: the return loss, "
         "negated, with its dip where the load is matched"));
  connect(reflectionBox, &QCheckBox::toggled, this, [this](bool on) {
    UserStore().setValue(QString::fromLatin1(ReflectionKey), on);
    Redraw();
  });
  auto* options = new QHBoxLayout();
  options->addWidget(bandBox);
  options->addWidget(reflectionBox);
  options->addStretch(1);
  layout.addLayout(options);
  layout.addWidget(hoverLabel);
  layout.addWidget(noteLabel);
  resonanceList = new QListWidget(body);
  resonanceList->setMaximumHeight(110);
  // A line with its range over the tolerances is wider than the panel: it wraps rather than
  // hiding its end behind a sideways scroll.
  resonanceList->setWordWrap(true);
  resonanceList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  resonanceList->setToolTip(tr("Double-click a resonance to make it the working frequency"));
  connect(resonanceList, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    emit FrequencyPicked(item->data(Qt::UserRole).toDouble());
  });
  connect(resonanceList, &QListWidget::currentRowChanged, this, [this] { UpdateSensitivity(); });
  layout.addWidget(resonanceList);
}

void TResponseDock::ConnectControls() {
  connect(pointsEdit, &QSpinBox::valueChanged, this, [this](int n) {
    points = n;
    Start();
    emit RangeChanged();
  });
  connect(follow, &QCheckBox::toggled, this, [this](bool on) {
    if (on) {
      // Back to the default range around the working frequency.
      const double f = working > 0 ? working : 1e3;
      start = f / 1e3;
      stop = f * 1e3;
      UpdateRangeFields();
      Start();
    }
    emit RangeChanged();
  });
  connect(reactanceAxis, &QComboBox::currentIndexChanged, this, [this](int index) {
    UserStore().setValue(QString::fromLatin1(ReactanceAxisKey), index);
    Redraw();
  });
  connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
    if (visible) Start();
    if (visible) DrawWaitingTabs();
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
  UpdateSensitivity();
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
  return SetRangeHertz(a, b, count);
}

bool TResponseDock::SetRangeHertz(double a, double b, int count) {
  if (!(a > 0) || !(b > a) || !std::isfinite(b) || count < SweepPointsMin || count > SweepPointsMax)
    return false;
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
  emit RangeChanged();
  return true;
}

void TResponseDock::SetFollowsWorkingFrequency(bool on) {
  follow->setChecked(on);
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
  // The working frequency is swept too: the Smith chart's working point is then exact.
  std::vector<double> hertz = LogFrequencies(start, stop, points);
  const auto at = std::lower_bound(hertz.begin(), hertz.end(), working);
  if (at != hertz.begin() && at != hertz.end() && *at != working) hertz.insert(at, working);
  sweeper->Start(circuit, reference, hertz, displayMode, BandShown() ? &tolerances : nullptr,
                 working);
}

void TResponseDock::SetTolerances(const SKindTolerances& t) {
  tolerances = t;
  if (BandShown()) Start();
}

bool TResponseDock::BandShown() const {
  return bandBox->isChecked();
}

void TResponseDock::ShowBand(bool on) {
  bandBox->setChecked(on);
}

std::optional<SBandPoint> TResponseDock::WorkingBand() const {
  if (band.Points.size() != shown.Points.size() + 1 || !band.Points.back().Solved)
    return std::nullopt;
  return band.Points.back();
}

void TResponseDock::SetReference(CCmps* cmps, const CCmp* meter) {
  reference = cmps != nullptr ? CopyCircuit(*cmps, meter) : SCircuitCopy{};
  if (!reference.Cmps) shownReference.clear();
  Redraw();
  Start();
}

void TResponseDock::Finished(SSweepResult result) {
  shown = std::move(result.Response);
  if (!band.Points.empty()) {
    band = {};  // drawn for other points; a new one follows when it is on
    emit BandChanged();
  }
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
  DrawPlot();
  reactanceAxis->setEnabled(shownMode != 1 && !ShowsReflection());
  smith->SetWorkingFrequency(working);
  ShowResonances();
  ShowNote();
  hoverLabel->setText(hover);
}

void TResponseDock::DrawPlot(bool hiddenToo) {
  // Out of sight the chart waits: it is drawn when its tab shows, or when it is exported.
  plotStale = !hiddenToo && !view->isVisible();
  if (plotStale) return;
  const bool haveBand = band.Points.size() == shown.Points.size() + 1;
  DrawResponse(*chart,
               {shown, shownReference, shownMode, start, stop, working,
                static_cast<EReactanceAxis>(reactanceAxis->currentIndex()),
                haveBand ? &band : nullptr, ShowsReflection() ? ReferenceImpedance() : 0.0});
}

void TResponseDock::ShowResonances() {
  // The selected row stays selected across sweeps, so that tuning keeps its resonance in view.
  const int selected = resonanceList->currentRow();
  const QSignalBlocker quiet(resonanceList);
  resonanceList->clear();
  const bool haveSpread = band.Resonances.size() == shown.Resonances.size();
  for (size_t i = 0; i < shown.Resonances.size(); ++i) {
    const SResonance& r = shown.Resonances[i];
    const QString q =
        std::isinf(r.Q) ? QStringLiteral("∞") : QString::fromStdString(FormatValue(digits, r.Q));
    QString text =
        tr("%1 resonance at %2, Q %3%4, |Z| %5")
            .arg(r.Series ? tr("Series") : tr("Parallel"), HertzText(r.Hertz, 10), q,
                 r.QFromSlope ? tr(" (from the slope)") : QString(), OhmText(digits, r.Magnitude));
    if (haveSpread)
      text += tr(", over the tolerances %1 to %2")
                  .arg(HertzText(band.Resonances[i].Min, digits),
                       HertzText(band.Resonances[i].Max, digits));
    auto* item = new QListWidgetItem(text, resonanceList);
    item->setToolTip(text);  // the whole line, however narrow the panel
    item->setData(Qt::UserRole, r.Hertz);
  }
  if (selected >= 0 && selected < resonanceList->count()) {
    resonanceList->setCurrentRow(selected);
    UpdateSensitivity();
  }
}

void TResponseDock::DrawWaitingTabs() {
  if (plotStale) DrawPlot();
  if (sensitivityStale) UpdateSensitivity();
}

void TResponseDock::UpdateSensitivity() {
  // Out of sight the table waits: it is filled when its tab shows.
  sensitivityStale = !sensitivity->isVisible();
  if (sensitivityStale) return;
  if (!haveCircuit || circuit.Meter == nullptr) {
    sensitivity->ShowNone(tr("No sensitivities: there is no meter to read."));
    return;
  }
  SSensitivityRequest request{working,      displayMode,           digits,
                              std::nullopt, HertzText(working, 6), QString()};
  const int row = resonanceList->currentRow();
  if (row >= 0 && static_cast<size_t>(row) < shown.Resonances.size()) {
    request.Resonance = shown.Resonances[static_cast<size_t>(row)];
    request.ResonanceText = HertzText(request.Resonance->Hertz, 10);
  }
  sensitivity->Update(*circuit.Cmps, *circuit.Meter, request);
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
      hover +=
          tr(", %1 %2, %3 %4")
              .arg(FirstTraceName(shownMode), OhmText(digits, first), SecondTraceName(shownMode),
                   shownMode == 1
                       ? QString::fromStdString(FormatValue(digits, second)) + QStringLiteral("°")
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

bool TResponseDock::ExportTouchstone(const QString& fileName, QString& error,
                                     bool impedance) const {
  return impedance ? ExportResponseTouchstone(shown.Points, fileName, error)
                   : ExportResponseTouchstoneS(shown.Points, ReferenceImpedance(), fileName, error);
}

bool TResponseDock::ExportImage(const QString& fileName, QString& error) {
  return ExportChartImage(FreshPicture(), fileName, error);
}

void TResponseDock::CopyImage() {
  CopyChartImage(FreshPicture());
}

QWidget& TResponseDock::FreshPicture() {
  QWidget& picture = ShownPicture();
  if (&picture == view && plotStale) DrawPlot(true);
  return picture;
}

QWidget& TResponseDock::ShownPicture() const {
  if (tabs->currentIndex() == 1) return *smith;
  return *view;
}

void TResponseDock::ExportWithDialog(int kind) {
  // The S-parameter form comes first: it is what RF tools read.
  static const char* const filters[] = {"CSV (*.csv)",
                                        "Touchstone S11 (*.s1p);;Touchstone Z (*.s1p *.z1p)",
                                        "PNG image (*.png);;SVG image (*.svg)"};
  static const char* const suffixes[] = {".csv", ".s1p", ".png"};
  QString filter;
  QString name = QFileDialog::getSaveFileName(this, tr("Export"), ExportFolder,
                                              QString::fromLatin1(filters[kind]), &filter);
  if (name.isEmpty()) return;
  if (QFileInfo(name).suffix().isEmpty()) name += QLatin1String(suffixes[kind]);
  QString error;
  const bool ok = kind == 0   ? ExportCsv(name, error)
                  : kind == 1 ? ExportTouchstone(name, error, filter.startsWith("Touchstone Z"))
                              : ExportImage(name, error);
  if (!ok)
    QMessageBox::warning(this, tr("Export"),
                         tr("Could not write %1:\n%2").arg(QDir::toNativeSeparators(name), error));
}
