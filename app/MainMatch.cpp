// The main window's match line (how well the reading matches a line of impedance Z0), the
// settings a sheet file keeps beside the circuit, and the response panel's remembered range.
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSettings>
#include <QVariant>
#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>

#include "Main.h"
#include "ResponseDock.h"
#include "Settings.h"
#include "analysis/Match.h"
#include "document/SheetFile.h"
#include "ui_Main.h"
#include "value/Value.h"

namespace {

constexpr int MatchLineHeight = 14;

const char* const SweepStartKey = "SweepStart";
const char* const SweepStopKey = "SweepStop";
const char* const SweepPointsKey = "SweepPoints";
const char* const SweepFollowKey = "SweepFollow";

// A figure as the readout writes its numbers, "—" where there is none.
QString Figure(const std::optional<double>& value, int digits) {
  if (!value) return QStringLiteral("—");
  return QString::fromStdString(FormatValue(digits, *value));
}

std::optional<double> StoredNumber(const QSettings& store, const char* key) {
  bool ok = false;
  const double v = store.value(QString::fromLatin1(key)).toString().toDouble(&ok);
  return ok ? std::optional<double>(v) : std::nullopt;
}

// The line reaches to the readout frame's right edge, or further when its text needs it (at
// many digits); the top panel, and with it the window, is at least as wide as it.
void FitMatchLine(QLabel& line, QWidget& panel, const QRect& frame, bool shown) {
  line.ensurePolished();
  const int text = line.fontMetrics().horizontalAdvance(line.text()) + 6;
  const int width = std::max(frame.right() + 1, shown ? text : 0);
  line.resize(width, line.height());
  panel.setMinimumWidth(width + 4);
}

}  // namespace

void TMainForm::SetUpMatchLine() {
  matchLine = new QLabel(ui->SelectCmpPanel);
  matchLine->setObjectName(QStringLiteral("MatchLine"));
  matchLine->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  // Opaque in the panel's colour, as the panel's form gives it: the palette's frame reaches
  // below the panel's usual height.
  const QString panelColour = QRegularExpression(QStringLiteral("background-color:\\s*([^;}]+)"))
                                  .match(ui->SelectCmpPanel->styleSheet())
                                  .captured(1);
  matchLine->setStyleSheet(
      QStringLiteral("font-size: 11px; color: rgb(0, 64, 0); background-color: %1;")
          .arg(panelColour));
  matchLine->setToolTip(
      tr("Reflection coefficient, return loss, VSWR and mismatch loss against Z0 at the working "
         "frequency"));
  matchLine->hide();
}

int TMainForm::PlaceMatchLine(int top) {
  if (!matchLine) return 0;
  matchLine->setVisible(ShowMatch);
  // From the panel's left edge to the readout frame's right one, down to the panel's bottom.
  const QRect frame = ui->ImpedanceFrame->geometry();
  matchLine->setGeometry(0, top, frame.right() + 1, MatchLineHeight + 2);
  FitMatchLine(*matchLine, *ui->SelectCmpPanel, frame, ShowMatch);
  return ShowMatch ? MatchLineHeight : 0;
}

bool TMainForm::MatchShown() const {
  return matchLine != nullptr && ShowMatch;
}

QString TMainForm::MatchText() const {
  // An open reads "Infinity": it reflects everything, and that has figures of its own.
  const std::optional<std::complex<double>> z =
      reading ? reading
      : ui->REdit->text() == QLatin1String("Infinity")
          ? std::optional<std::complex<double>>(std::numeric_limits<double>::infinity())
          : std::nullopt;
  const SMatch m = z ? MatchFigures(*z, ReferenceImpedance) : SMatch{};
  const int digits = std::clamp(SignificantDigits, 2, 8);
  std::optional<double> magnitude, angle;
  if (m.Gamma) {
    magnitude = std::abs(*m.Gamma);
    angle = std::arg(*m.Gamma) * 180 / std::numbers::pi;
  }
  return tr("Z0 %1 Ω: |Γ| %2 ∠ %3°, RL %4 dB, VSWR %5, ML %6 dB")
      .arg(QString::fromStdString(ReferenceImpedanceText), Figure(magnitude, digits),
           Figure(angle, digits), Figure(m.ReturnLossDb, digits), Figure(m.Vswr, digits),
           Figure(m.MismatchLossDb, digits));
}

void TMainForm::ShowMatchFigures() {
  if (!MatchShown()) return;
  matchLine->setText(MatchText());
  FitMatchLine(*matchLine, *ui->SelectCmpPanel, ui->ImpedanceFrame->geometry(), true);
}

void TMainForm::MatchSettingsChanged(bool growWindow) {
  if (ResponseDock) ResponseDock->SetReferenceImpedance(ReferenceImpedance);
  const int before = ui->SelectCmpPanel->maximumHeight();
  SetPinLayout(Pinned());
  // The sheet keeps its room: the window grows by the line and gives it back.
  const int grow = ui->SelectCmpPanel->maximumHeight() - before;
  if (growWindow && grow != 0 && isVisible() && !isMaximized() && !isFullScreen())
    resize(width(), height() + grow);
  ShowMatchFigures();
}

SSheetSettings TMainForm::SheetSettings() const {
  SSheetSettings s;
  s.ReferenceImpedance = ReferenceImpedanceText;
  s.Sweep = SSheetSweep{ResponseDock->StartHertz(), ResponseDock->StopHertz(),
                        ResponseDock->PointCount(), ResponseDock->FollowsWorkingFrequency()};
  return s;
}

void TMainForm::ApplySheetSettings(const SSheetSettings& settings) {
  if (settings.ReferenceImpedance && PutReferenceImpedance(*settings.ReferenceImpedance)) {
    UserStore().setValue(QString::fromLatin1(ReferenceImpedanceKey),
                         QString::fromStdString(ReferenceImpedanceText));
    MatchSettingsChanged(false);
  }
  if (const std::optional<SSheetSweep>& s = settings.Sweep) {
    ResponseDock->SetRangeHertz(s->Start, s->Stop, s->Points);
    ResponseDock->SetFollowsWorkingFrequency(s->Follow);
  }
}

void TMainForm::StoreSweep() const {
  QSettings store = UserStore();
  store.setValue(SweepStartKey, QString::number(ResponseDock->StartHertz(), 'g', 17));
  store.setValue(SweepStopKey, QString::number(ResponseDock->StopHertz(), 'g', 17));
  store.setValue(SweepPointsKey, QString::number(ResponseDock->PointCount()));
  store.setValue(SweepFollowKey, ResponseDock->FollowsWorkingFrequency());
}

void TMainForm::RestoreSweep() {
  const QSettings store = UserStore();
  const std::optional<double> start = StoredNumber(store, SweepStartKey);
  const std::optional<double> stop = StoredNumber(store, SweepStopKey);
  const std::optional<double> points = StoredNumber(store, SweepPointsKey);
  // A stored range the panel refuses leaves it as it is.
  if (start && stop && points && *points == std::floor(*points) && std::fabs(*points) < 1e9)
    ResponseDock->SetRangeHertz(*start, *stop, static_cast<int>(*points));
  if (store.contains(SweepFollowKey))
    ResponseDock->SetFollowsWorkingFrequency(store.value(SweepFollowKey).toBool());
}
