// Designing by hand. Tuning by wheel: a notch over a value label steps that value through its
// series of preferred values (Shift: E96), a transformer's turns by one, a coupling
// coefficient by a hundredth; the readout and the response panel follow every notch, and a
// run of notches on one label is one undo step. "Tune to…" in a value label's menu solves for
// the value that meets a target. "Tolerance…" sets a part's own tolerance of a value, which
// its label's tooltip shows. The readout's spread over the parts' tolerances, in its tooltips.
#include <QMenu>

#include "Main.h"
#include "ResponseDock.h"
#include "Settings.h"
#include "ToleranceDialog.h"
#include "TuneDialog.h"
#include "analysis/CCalc.h"
#include "analysis/Measure.h"
#include "analysis/Tolerance.h"
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
  slot->TakeValue(*next);
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

QMenu* TMainForm::LabelMenu(QPoint point) {
  int j = -1;
  CCmp* c = Sheet->LabelledAt(ToSPoint(point), j);
  if (c == nullptr || Sheet->Busy() || Sheet->buttonDown) return nullptr;
  auto* menu = new QMenu(this);
  menu->addAction(tr("Tune to…"), this, [this, c, j] { TuneToTarget(*c, j); });
  menu->addAction(tr("Tolerance…"), this, [this, c, j] { EditTolerance(*c, j); });
  return menu;
}

QString TMainForm::LabelTip(QPoint point) const {
  int j = -1;
  const CCmp* c = Sheet->LabelledAt(ToSPoint(point), j);
  if (c == nullptr) return {};
  const SParam& value = c->ParamValues()[j];
  const double tolerance = ToleranceOf(*c, j, LoadTolerances());
  return (value.Tolerance ? tr("Tolerance ±%1 %, this part's own")
                          : tr("Tolerance ±%1 %, the kind's (Settings)"))
      .arg(PercentText(tolerance));
}

bool TMainForm::PaintBoxContextMenu(QPoint point, QPoint global) {
  QMenu* menu = LabelMenu(point);
  if (menu == nullptr) return false;
  EndTuningRun();
  menu->exec(global);
  menu->deleteLater();
  return true;
}

void TMainForm::TuneToTarget(CCmp& c, int j) {
  if (meter == nullptr || j < 0 || j >= c.ParamCount()) return;
  CCmps& cmps = Sheet->components;
  int index = -1;
  for (int i = 0; i < cmps.Count(); ++i)
    if (cmps.At(i) == &c) index = i;
  if (index < 0) return;
  const double hertz = FrequencyInHertz(Frequency, FrequencyUnit);
  // The resonances the panel lists, or, while it has none to show, those of its range.
  std::vector<SResonance> resonances = ResponseDock->Shown().Resonances;
  if (ResponseDock->Busy() || ResponseDock->Shown().Points.empty()) {
    SCircuitCopy copy = CopyCircuit(cmps, meter);
    CCalc solver;
    if (copy.Meter != nullptr)
      resonances = SweepMeter(*copy.Cmps, *copy.Meter, solver,
                              LogFrequencies(ResponseDock->StartHertz(), ResponseDock->StopHertz(),
                                             ResponseDock->PointCount()))
                       .Resonances;
  }
  SCircuitCopy copy = CopyCircuit(cmps, meter);
  if (copy.Meter == nullptr || copy.Cmps->Count() != cmps.Count()) return;
  TTuneDialog dialog(std::move(copy), index, j, hertz, std::move(resonances), this);
  if (dialog.exec() != QDialog::Accepted || !dialog.Picked()) return;
  ApplyTuned(c, j, *dialog.Picked());
}

void TMainForm::ApplyTuned(CCmp& c, int j, const SParam& value) {
  EndTuningRun();
  c.Params()[j].Value->TakeValue(value);
  PaintSheet();
  Recompute(false);
  CommitStep();
}

void TMainForm::EditTolerance(CCmp& c, int j) {
  if (j < 0 || j >= c.ParamCount()) return;
  const CParam& parameter = c.Params()[j];
  const QString value = tr("%1: %2").arg(QLatin1String(parameter.Label),
                                         QString::fromStdString(parameter.Value->Text));
  TToleranceDialog dialog(QLatin1String(parameter.Caption), value, parameter.Value->Tolerance,
                          KindToleranceOf(KindOf(c.Type), j, LoadTolerances()), this);
  if (dialog.exec() != QDialog::Accepted) return;
  ApplyTolerance(c, j, dialog.Chosen());
}

void TMainForm::ApplyTolerance(CCmp& c, int j, std::optional<double> fraction) {
  EndTuningRun();
  SParam& slot = *c.Params()[j].Value;
  if (slot.Tolerance == fraction) return;
  slot.Tolerance = fraction;
  Recompute(false);  // the band, where it is shown, is taken again
  CommitStep();
}
