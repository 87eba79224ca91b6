// Designing by hand. Tuning by wheel: a notch over a value label steps that value through its
// series of preferred values (Shift: E96), a transformer's turns by one, a coupling
// coefficient by a hundredth; the readout and the response panel follow every notch, and a
// run of notches on one label is one undo step. The readout's spread over the parts'
// tolerances, in its tooltips.
#include "Main.h"
#include "ResponseDock.h"
#include "Settings.h"
#include "components/Tuning.h"
#include "ui_Main.h"
#include "value/Value.h"

namespace {

// One notch of an ordinary wheel, in eighths of a degree.
constexpr int NotchDelta = 120;

}  // namespace

bool TMainForm::TuneLabel(QPoint point, int delta, Qt::KeyboardModifiers modifiers) {
  int j = -1;
  CCmp* c = Sheet->LabelledAt(ToSPoint(point), j);
  if (c == nullptr) return false;
  if (Sheet->Busy() || Sheet->buttonDown) return true;  // a gesture under way is left alone
  if (c != tuning.Cmp || j != tuning.Label) {
    EndTuningRun();
    tuning.Cmp = c;
    tuning.Label = j;
  }
  wheelRemainder += delta;
  const int notches = wheelRemainder / NotchDelta;
  wheelRemainder -= notches * NotchDelta;
  if (notches == 0) return true;
  SParam* slot = c->Params()[j].Value;
  const ESeries series = (modifiers & Qt::ShiftModifier) ? ESeries::E96 : TuningSeries;
  const std::optional<SParam> next = SteppedParam(KindOf(c->Type), j, *slot, series, notches);
  if (!next || (next->Text == slot->Text && next->Value == slot->Value)) return true;
  *slot = *next;
  PaintSheet();
  Recompute(false);
  CommitStep(tuning);
  return true;
}

void TMainForm::ShowReadoutSpread() {
  const std::optional<SBandPoint> b = ResponseDock ? ResponseDock->WorkingBand() : std::nullopt;
  QString first, second;
  if (b) {
    const auto range = [](double low, double high, const char* unit) {
      return QObject::tr("Over the tolerances: %1 to %2%3")
          .arg(QString::fromStdString(FormatValue(SignificantDigits, low)),
               QString::fromStdString(FormatValue(SignificantDigits, high)), QLatin1String(unit));
    };
    if (DisplayMode == 1) {
      first = range(b->MagnitudeMin, b->MagnitudeMax, " Ω");
      second = range(b->PhaseMin, b->PhaseMax, "°");
    } else {
      first = range(b->RMin, b->RMax, " Ω");
      second = range(b->XMin, b->XMax, " Ω");
    }
  }
  ui->REdit->setToolTip(first);
  ui->XEdit->setToolTip(second);
}
