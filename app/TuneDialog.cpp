#include "TuneDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtConcurrent>
#include <cmath>

#include "ResponseDock.h"
#include "Settings.h"
#include "components/Tuning.h"
#include "value/Frequency.h"
#include "value/Value.h"

namespace {

// The digits the exact value is written with.
constexpr int ExactDigits = 12;
// The digits a quantity is shown with beside a value.
constexpr int QuantityDigits = 6;

enum TargetRow { RowResonance, RowR, RowX, RowMagnitude, RowMatch };

SParam Exactly(double x) {
  SParam p;
  p.Text = FormatValue(ExactDigits, x);
  p.Value = ParseValue(p.Text);
  return p;
}

// The two values either side of x that the part is bought or set in: a series' neighbours,
// whole turns, hundredths of a coupling.
std::pair<std::optional<SParam>, std::optional<SParam>> Neighbours(double x, ParamStep step,
                                                                   ESeries series) {
  if (step != ParamStep::Series) {
    const double unit = step == ParamStep::Turns ? 1.0 : 0.01;
    const auto at = [unit](double n) {
      SParam p;
      p.Text = FloatText(n * unit);
      p.Value = ParseValue(p.Text);
      return std::optional<SParam>(p);
    };
    return {at(std::floor(x / unit)), at(std::ceil(x / unit))};
  }
  const std::optional<double> snapped = SnapToSeries(x, series);
  if (!snapped) return {};
  const std::optional<double> other = StepSeries(*snapped, series, *snapped <= x ? 1 : -1);
  const auto as = [](std::optional<double> v) -> std::optional<SParam> {
    if (!v) return std::nullopt;
    return SParam{*v, SeriesText(*v)};
  };
  if (*snapped <= x) return {as(snapped), as(other)};
  return {as(other), as(snapped)};
}

}  // namespace

double TuneReferenceImpedance() {
  return ReferenceImpedance;
}

TTuneDialog::TTuneDialog(SCircuitCopy copy, int partIndex, int paramIndex, double workingHertz,
                         std::vector<SResonance> found, QWidget* parent)
    : QDialog(parent),
      circuit(std::move(copy)),
      param(paramIndex),
      hertz(workingHertz),
      resonances(std::move(found)) {
  part = circuit.Cmps->At(partIndex);
  setWindowTitle(tr("Tune to…"));
  QFormLayout* form = MakeForm();
  // Enter in the value field solves.
  SolveButton = new QPushButton(tr("Solve"), this);
  SolveButton->setDefault(true);
  Busy = new QProgressBar(this);
  Busy->setRange(0, 0);  // a search has no known length: the bar only says it runs
  Busy->setTextVisible(false);
  Busy->setVisible(false);
  Answer = new QLabel(this);
  Answer->setWordWrap(true);
  Answer->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* layout = new QVBoxLayout(this);
  const CParam& tuned = part->Params()[param];
  layout->addWidget(new QLabel(
      tr("%1: %2").arg(QLatin1String(tuned.Label), QString::fromStdString(tuned.Value->Text)),
      this));
  layout->addLayout(form);
  layout->addWidget(SolveButton);
  layout->addWidget(Busy);
  layout->addWidget(Answer);
  for (int i = 0; i < 3; ++i) {
    Choices[i] = new QPushButton(this);
    Choices[i]->setVisible(false);
    layout->addWidget(Choices[i]);
    connect(Choices[i], &QPushButton::clicked, this, [this, i] { Pick(i); });
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(SolveButton, &QPushButton::clicked, this, &TTuneDialog::SolveNow);
  connect(&search, &QFutureWatcher<STuneResult>::finished, this, &TTuneDialog::Solved);
  connect(TargetBox, &QComboBox::currentIndexChanged, this, &TTuneDialog::TargetChanged);
  connect(SeriesBox, &QComboBox::currentIndexChanged, this, &TTuneDialog::ShowChoices);
  TargetBox->setCurrentIndex(resonances.empty() ? RowX : RowResonance);
  TargetChanged();
  ValueEdit->setFocus();
}

TTuneDialog::~TTuneDialog() {
  StopAndWait();
}

void TTuneDialog::StopAndWait() {
  stop = true;
  search.waitForFinished();
}

void TTuneDialog::reject() {
  StopAndWait();
  QDialog::reject();
}

// The target, the resonance to follow, the value to reach and the series to offer.
QFormLayout* TTuneDialog::MakeForm() {
  auto* form = new QFormLayout;
  TargetBox = new QComboBox(this);
  TargetBox->addItems({tr("Resonance frequency"), tr("R at the working frequency"),
                       tr("X at the working frequency"), tr("|Z| at the working frequency"),
                       tr("Best match to Z0 (%1 Ω)").arg(TuneReferenceImpedance())});
  ResonanceBox = new QComboBox(this);
  for (const SResonance& r : resonances)
    ResonanceBox->addItem(
        (r.Series ? tr("series, %1") : tr("parallel, %1")).arg(HertzText(r.Hertz, QuantityDigits)));
  ValueEdit = new QLineEdit(this);
  SeriesBox = new QComboBox(this);
  for (int s = 0; s < ESeriesCount; ++s)
    SeriesBox->addItem(QLatin1String(ESeriesName(static_cast<ESeries>(s))));
  SeriesBox->setCurrentIndex(static_cast<int>(TuningSeries));
  form->addRow(tr("Target"), TargetBox);
  form->addRow(tr("Resonance"), ResonanceBox);
  form->addRow(tr("Value"), ValueEdit);
  form->addRow(tr("Series"), SeriesBox);
  return form;
}

void TTuneDialog::TargetChanged() {
  const int row = TargetBox->currentIndex();
  ResonanceBox->setEnabled(row == RowResonance && !resonances.empty());
  ValueEdit->setEnabled(row != RowMatch);
  ValueEdit->setPlaceholderText(row == RowResonance ? tr("frequency, e.g. 1M or 455k")
                                                    : tr("ohms, e.g. 50 or 4k7"));
}

// The target as the controls give it; none (with the reason shown) where they give none.
std::optional<STuneTarget> TTuneDialog::ReadTarget() {
  STuneTarget t;
  t.Hertz = hertz;
  t.Z0 = TuneReferenceImpedance();
  const int row = TargetBox->currentIndex();
  t.Kind = static_cast<TuneKind>(row);
  const std::string text = ValueEdit->text().toStdString();
  if (row == RowResonance) {
    const int i = ResonanceBox->currentIndex();
    const std::optional<SFrequencyEntry> f = ReadFrequencyEntry(text, 0);
    if (i < 0 || static_cast<size_t>(i) >= resonances.size()) {
      Answer->setText(tr("There is no resonance to follow in the panel's range."));
      return std::nullopt;
    }
    if (!f || f->Value <= 0.0) {
      Answer->setText(tr("Type the frequency to put the resonance on."));
      return std::nullopt;
    }
    t.Value = f->Value * std::pow(1e3, f->Unit);
    t.FromHertz = resonances[static_cast<size_t>(i)].Hertz;
    t.Series = resonances[static_cast<size_t>(i)].Series;
  } else if (row != RowMatch) {
    try {
      t.Value = ParseValue(text);
    } catch (const Exception&) {
      Answer->setText(tr("Type the ohms to reach."));
      return std::nullopt;
    }
  }
  return t;
}

QString TTuneDialog::QuantityText(double q) const {
  switch (target.Kind) {
    case TuneKind::Resonance:
      return HertzText(q, QuantityDigits);
    case TuneKind::Match:
      return tr("|Γ| = %1").arg(q, 0, 'g', QuantityDigits);
    default:
      return QString::number(q, 'g', QuantityDigits) + tr(" Ω");
  }
}

void TTuneDialog::SolveNow() {
  if (running) {
    stop = true;
    return;
  }
  for (QPushButton* b : Choices) b->setVisible(false);
  result = {};
  const std::optional<STuneTarget> read = ReadTarget();
  if (!read) return;
  target = *read;
  stop = false;
  running = true;
  SolveButton->setText(tr("Stop"));
  Busy->setVisible(true);
  Answer->setText(tr("Solving…"));
  search.setFuture(QtConcurrent::run([this, t = target] {
    return TuneToTarget(*circuit.Cmps, *circuit.Meter, *part, param, t, &stop);
  }));
}

void TTuneDialog::Solved() {
  running = false;
  SolveButton->setText(tr("Solve"));
  Busy->setVisible(false);
  result = search.result();
  if (result.Stopped) {
    Answer->setText(tr("Stopped."));
    return;
  }
  if (!result.Exact) {
    QString text = tr("no value of this part reaches the target");
    if (result.Known)
      text += tr("; over the values tried it ranges from %1 to %2")
                  .arg(QuantityText(result.Low), QuantityText(result.High));
    Answer->setText(text);
    return;
  }
  values[0] = Exactly(*result.Exact);
  Answer->setText(tr("Exact value: %1, giving %2")
                      .arg(QString::fromStdString(values[0].Text), QuantityText(result.Reached)));
  ShowChoices();
}

// The buttons of the exact value and its two neighbours, each with what it gives.
void TTuneDialog::ShowChoices() {
  if (running || !result.Exact) return;
  const auto [lower, upper] = Neighbours(*result.Exact, StepOf(KindOf(part->Type), param),
                                         static_cast<ESeries>(SeriesBox->currentIndex()));
  values[1] = lower.value_or(SParam{});
  values[2] = upper.value_or(SParam{});
  // A resonance is followed from where the exact value puts it.
  STuneTarget near = target;
  near.FromHertz = result.Reached;
  for (int i = 0; i < 3; ++i) {
    const SParam& v = values[i];
    const std::optional<double> q =
        v.Text.empty() || i == 0
            ? std::optional<double>(result.Reached)
            : TuneQuantity(*circuit.Cmps, *circuit.Meter, *part, param, near, v.Value);
    Choices[i]->setVisible(!v.Text.empty());
    Choices[i]->setText(v.Text.empty() ? QString()
                                       : tr("Apply %1 (gives %2)")
                                             .arg(QString::fromStdString(v.Text),
                                                  q ? QuantityText(*q) : tr("no reading")));
  }
}

void TTuneDialog::Pick(int which) {
  if (running || which < 0 || which > 2 || values[which].Text.empty() || Choices[which]->isHidden())
    return;
  picked = values[which];
  accept();
}
