// What the main window says about a reading besides its number: why there is none, which parts
// carry no current, and the difference to a pinned circuit.
#include <QEvent>
#include <QHelpEvent>
#include <QLabel>
#include <QStatusBar>
#include <QToolButton>
#include <QToolTip>
#include <algorithm>
#include <functional>
#include <optional>
#include <utility>

#include "Main.h"
#include "ResponseDock.h"
#include "Settings.h"
#include "analysis/Diagnosis.h"
#include "analysis/Measure.h"
#include "analysis/Sweep.h"
#include "document/SheetFile.h"
#include "ui_Main.h"
#include "value/Value.h"

namespace {

// The extra height the top panel takes while a circuit is pinned: one small line under each
// readout field.
constexpr int DeltaLine = 12;

// Shows a value label's tolerance, or the reason of a dimmed part, when the pointer rests on it.
class TToolTipFilter : public QObject {
 public:
  explicit TToolTipFilter(TMainForm* form) : QObject(form), form(form) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::ToolTip) return QObject::eventFilter(watched, event);
    auto* help = static_cast<QHelpEvent*>(event);
    QString reason = form->LabelTip(help->pos());
    if (reason.isEmpty()) reason = form->HoverReason(help->pos());
    if (reason.isEmpty()) {
      QToolTip::hideText();
      event->ignore();
    } else {
      QToolTip::showText(help->globalPos(), reason, static_cast<QWidget*>(watched));
    }
    return true;
  }

 private:
  TMainForm* form;
};

// Calls back when the watched widget changes its size.
class TResizeWatcher : public QObject {
 public:
  TResizeWatcher(QObject* parent, std::function<void()> onResize)
      : QObject(parent), onResize(std::move(onResize)) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Resize) onResize();
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> onResize;
};

}  // namespace

// ---- why there is no number, and the idle parts

// The status bar keeps its one line: a long reason takes a smaller type (down to 7 points)
// before it is cut short; the whole sentence is always in the line's tool tip.
void TMainForm::FitStatusLine() {
  QFont font = statusLine->font();
  font.setPointSizeF(statusPoints);
  const int room = std::max(40, ui->StatusBar1->width() - 16);
  while (font.pointSizeF() > 7 && QFontMetrics(font).horizontalAdvance(statusText) > room)
    font.setPointSizeF(font.pointSizeF() - 0.5);
  statusLine->setFont(font);
  statusLine->setText(QFontMetrics(font).elidedText(statusText, Qt::ElideRight, room));
}

bool TMainForm::ExplainReading(bool failed) {
  SNoAnswer why;
  const double hertz = FrequencyInHertz(Frequency, FrequencyUnit);
  // A lone meter is the empty sheet: the usage hint says more than a reason would.
  if (failed && meter && Sheet->components.Count() > 1)
    why = DiagnoseNoAnswer(Sheet->components, *meter, hertz);
  std::vector<SIdlePart> idle;
  if (DimIdleParts && meter) idle = IdleParts(Sheet->components, *meter);

  idleReasons.clear();
  for (const SIdlePart& p : idle)
    idleReasons.emplace_back(p.Part, QString::fromStdString(p.Reason));
  // Sorted for lookup: a large sheet whose meter is not wired yet has every part idle, and
  // this runs after every edit.
  std::vector<const CCmp*> flaggedParts = why.Parts, idleParts;
  for (const SIdlePart& p : idle) idleParts.push_back(p.Part);
  // std::less, not <: only it orders pointers into different objects.
  const std::less<const CCmp*> before;
  std::sort(flaggedParts.begin(), flaggedParts.end(), before);
  std::sort(idleParts.begin(), idleParts.end(), before);
  bool changed = false;
  for (int i = 0; i < Sheet->pictures.Count(); ++i) {
    CPct* picture = Sheet->pictures.At(i);
    if (picture->PictureKind() != PctElement) continue;
    const CCmp* cmp = picture->cmp;
    const bool flagged = std::binary_search(flaggedParts.begin(), flaggedParts.end(), cmp, before);
    const bool dimmed = std::binary_search(idleParts.begin(), idleParts.end(), cmp, before);
    changed |= picture->flagged != flagged || picture->dimmed != dimmed;
    picture->flagged = flagged;
    picture->dimmed = dimmed;
  }

  const bool explained = why.Kind != ENoAnswer::None && !why.Sentence.empty();
  statusText = explained ? QString::fromStdString(why.Sentence) : idleHint;
  statusLine->setToolTip(explained ? statusText : QString());
  FitStatusLine();
  // The reason in the colour of the parts it names, so the two are read together.
  statusLine->setStyleSheet(explained ? QStringLiteral("color: rgb(176, 0, 0);")
                                      : QStringLiteral("color: black;"));
  return changed;
}

void TMainForm::HighlightPart(int id) {
  bool changed = false;
  for (int i = 0; i < Sheet->pictures.Count(); ++i) {
    CPct* picture = Sheet->pictures.At(i);
    const bool on = id >= 0 && picture->cmp != nullptr && picture->cmp->Id == id;
    changed |= picture->highlighted != on;
    picture->highlighted = on;
  }
  if (changed) PaintSheet();
}

QString TMainForm::HoverReason(QPoint point) const {
  const SPoint screen{point.x(), point.y()};
  const int i =
      Sheet->pictures.FindNear(Sheet->view.ScreenToFine(screen), Sheet->view.ScreenToGrid(screen));
  if (i < 0) return {};
  const CPct* picture = Sheet->pictures.At(i);
  if (!picture->dimmed) return {};
  for (const auto& [cmp, reason] : idleReasons)
    if (cmp == picture->cmp) return reason;
  return {};
}

QString TMainForm::StatusText() const {
  return statusText;
}

// ---- pin and compare

void TMainForm::SetUpComparison() {
  ui->PaintBox->installEventFilter(new TToolTipFilter(this));
  statusPoints = statusLine->font().pointSizeF();
  statusText = statusLine->text();
  ui->StatusBar1->installEventFilter(new TResizeWatcher(this, [this] { FitStatusLine(); }));

  // The pin sits in the readout's title bar; the differences go under the two fields.
  const QRect title = ui->ZPanel->geometry();
  pinButton = new QToolButton(ui->SelectCmpPanel);
  pinButton->setObjectName(QStringLiteral("PinBtn"));
  pinButton->setText(tr("Pin"));
  pinButton->setCheckable(true);
  pinButton->setToolTip(tr("Keep this circuit and show the readout's difference to it"));
  pinButton->setGeometry(title.right() - 38, title.top() + 2, 36, title.height() - 4);
  pinButton->setStyleSheet(
      QStringLiteral("QToolButton { font-size: 9px; color: white; background-color: rgb(0, 96, 0);"
                     " border: 1px solid white; border-radius: 2px; }"
                     "QToolButton:checked { color: rgb(0, 96, 0); background-color: white; }"));
  pinButton->raise();
  connect(pinButton, &QToolButton::clicked, this, [this](bool on) { on ? Pin() : Unpin(); });

  for (QLabel** label : {&deltaFirst, &deltaSecond}) {
    *label = new QLabel(ui->SelectCmpPanel);
    (*label)->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    (*label)->setStyleSheet(QStringLiteral("font-size: 9px; color: rgb(64, 64, 64);"));
    (*label)->hide();
  }
  deltaFirst->setObjectName(QStringLiteral("DeltaFirst"));
  deltaSecond->setObjectName(QStringLiteral("DeltaSecond"));
}

// While pinned the top panel grows by two small lines, and by the match line while that is
// shown; otherwise it has its usual layout.
void TMainForm::SetPinLayout(bool pinned) {
  const int grow = pinned ? 2 * DeltaLine : 0;
  const int match = PlaceMatchLine(80 + grow);
  ui->SelectCmpPanel->setMinimumHeight(82 + grow + match);
  ui->SelectCmpPanel->setMaximumHeight(82 + grow + match);
  QRect frame = ui->ImpedanceFrame->geometry();
  frame.setHeight(57 + grow);
  ui->ImpedanceFrame->setGeometry(frame);
  const int shift = pinned ? DeltaLine : 0;
  ui->XLabel->move(ui->XLabel->x(), 54 + shift);
  ui->XEdit->move(ui->XEdit->x(), 50 + shift);
  const QRect r = ui->REdit->geometry(), x = ui->XEdit->geometry();
  deltaFirst->setGeometry(r.left(), r.bottom() + 1, r.width(), DeltaLine);
  deltaSecond->setGeometry(x.left(), x.bottom() + 1, x.width(), DeltaLine);
  deltaFirst->setVisible(pinned);
  deltaSecond->setVisible(pinned);
}

void TMainForm::Pin() {
  AbortGesture();  // the pinned circuit is a finished one
  pinnedText = WriteSheetFile(*Sheet, Frequency, FrequencyUnit, false);
  auto sheet = std::make_unique<CSheet>();
  pinnedMeter = ApplySheetFile(ReadSheetFile(pinnedText), *sheet);
  pinnedSheet = std::move(sheet);
  pinButton->setChecked(true);
  SetPinLayout(true);
  if (ResponseDock) ResponseDock->SetReference(&pinnedSheet->components, pinnedMeter);
  ShowComparison();
}

void TMainForm::Unpin() {
  pinnedSheet.reset();
  pinnedMeter = nullptr;
  pinnedText.clear();
  pinButton->setChecked(false);
  SetPinLayout(false);
  if (ResponseDock) ResponseDock->SetReference(nullptr, nullptr);
}

void TMainForm::ShowComparison() {
  if (!pinnedSheet || !meter || !pinnedMeter) return;
  const double hertz = FrequencyInHertz(Frequency, FrequencyUnit);
  // The readout's own reading: the circuit on the sheet is not solved a second time.
  const SImpedance& now = reading;
  const SImpedance then = ImpedanceAt(pinnedSheet->components, *pinnedMeter, pinnedSolver, hertz);
  const bool polar = DisplayMode == 1;
  QString first = polar ? QStringLiteral("Δ|Z| ") : QStringLiteral("ΔR ");
  QString second = polar ? QStringLiteral("Δphase ") : QStringLiteral("ΔX ");
  if (now && then) {
    double a1 = 0, a2 = 0, b1 = 0, b2 = 0;
    DisplayValues(DisplayMode, now->real(), now->imag(), a1, a2);
    DisplayValues(DisplayMode, then->real(), then->imag(), b1, b2);
    const int digits = std::clamp(SignificantDigits, 2, 8);
    auto signedText = [digits](double d) {
      const QString text = QString::fromStdString(FormatValue(digits, d));
      return d > 0 ? QStringLiteral("+") + text : text;
    };
    first += signedText(a1 - b1);
    second += signedText(a2 - b2);
  } else {
    // One of the two has no number: there is no difference to show.
    first += QStringLiteral("–");
    second += QStringLiteral("–");
  }
  deltaFirst->setText(first);
  deltaSecond->setText(HasReactive ? second : QString());
  deltaFirst->setToolTip(tr("Now minus the pinned circuit at this frequency"));
  deltaSecond->setToolTip(deltaFirst->toolTip());
}

QString TMainForm::DeltaFirstText() const {
  return deltaFirst->text();
}

QString TMainForm::DeltaSecondText() const {
  return deltaSecond->text();
}
