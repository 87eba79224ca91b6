// The settings dialog: the radio group and the digits list write the two program-wide
// display settings and refresh the readout at once; the check boxes and Z0 are stored as they
// are applied.
#include "Settings.h"

#include <QButtonGroup>
#include <QLineEdit>
#include <QShowEvent>
#include <QVariant>
#include <array>
#include <cmath>

#include "analysis/Measure.h"
#include "components/CCmp.h"
#include "ui_Settings.h"
#include "value/Value.h"

int DisplayMode = 0;
int SignificantDigits = 3;
bool DimIdleParts = true;
const char* const DimIdlePartsKey = "DimIdleParts";
ESeries TuningSeries = DefaultESeries;
const char* const TuningSeriesKey = "TuningSeries";

namespace {

// Each kind's stored percentage and the field of SKindTolerances it sets.
struct STolerancePercent {
  const char* Key;
  double SKindTolerances::*Field;
};
constexpr STolerancePercent TolerancePercents[] = {
    {"ToleranceR", &SKindTolerances::R},        {"ToleranceC", &SKindTolerances::C},
    {"ToleranceL", &SKindTolerances::L},        {"ToleranceTurns", &SKindTolerances::Turns},
    {"ToleranceK", &SKindTolerances::Coupling},
};

}  // namespace

SKindTolerances LoadTolerances() {
  SKindTolerances t;
  const QSettings store = UserStore();
  for (const auto& [key, field] : TolerancePercents) {
    bool ok = false;
    const double percent = store.value(QString::fromLatin1(key)).toString().toDouble(&ok);
    if (ok && IsPartTolerance(percent / 100)) t.*field = percent / 100;
  }
  return t;
}

void StoreTolerances(const SKindTolerances& t) {
  QSettings store = UserStore();
  for (const auto& [key, field] : TolerancePercents)
    store.setValue(QString::fromLatin1(key), QString::number(t.*field * 100, 'g', 15));
}

std::optional<double> ReadPercent(const QString& text) {
  QString number = text.trimmed();
  if (number.endsWith(QLatin1Char('%'))) number.chop(1);
  try {
    const double percent = ParseValue(number.toStdString());
    if (std::isfinite(percent)) return percent / 100;
  } catch (const Exception&) {
  }
  return std::nullopt;
}

QString PercentText(double fraction) {
  return QString::number(fraction * 100, 'g', 6);
}

ESeries ReadTuningSeries(const QString& name) {
  for (int i = 0; i < ESeriesCount; ++i) {
    const auto series = static_cast<ESeries>(i);
    if (name == QLatin1String(ESeriesName(series))) return series;
  }
  return DefaultESeries;
}

std::string ReferenceImpedanceText = DefaultReferenceImpedance;
double ReferenceImpedance = *PositiveValue(DefaultReferenceImpedance);
const char* const ReferenceImpedanceKey = "Z0";
bool ShowMatch = false;
const char* const ShowMatchKey = "ShowMatch";

bool PutReferenceImpedance(const std::string& text) {
  const std::optional<double> z0 = PositiveValue(text);
  if (!z0) return false;
  ReferenceImpedanceText = TrimText(text);
  ReferenceImpedance = *z0;
  return true;
}

void LoadMatchSettings() {
  const QSettings store = UserStore();
  const QVariant z0 = store.value(QString::fromLatin1(ReferenceImpedanceKey));
  if (z0.metaType().id() != QMetaType::QString ||
      !PutReferenceImpedance(z0.toString().toStdString()))
    PutReferenceImpedance(DefaultReferenceImpedance);
  ShowMatch = store.value(QString::fromLatin1(ShowMatchKey), false).toBool();
}

TSettingsForm::TSettingsForm(QWidget* parent) : QDialog(parent), ui(new Ui::TSettingsForm) {
  ui->setupUi(this);
  setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setFixedSize(189, 420);
  move(452, 338);

  radioItems = new QButtonGroup(this);
  radioItems->addButton(ui->ZRadioItem0, 0);
  radioItems->addButton(ui->ZRadioItem1, 1);
  connect(radioItems, &QButtonGroup::idClicked, this, [this] { ZChanged(); });
  connect(ui->ZComboBox, &QComboBox::currentIndexChanged, this, [this] { ZChanged(); });
  connect(ui->DimCheckBox, &QCheckBox::toggled, this, [this](bool on) {
    if (guard) return;
    DimIdleParts = on;
    UserStore().setValue(QString::fromLatin1(DimIdlePartsKey), on);
    emit DimIdlePartsChanged();
  });
  connect(ui->MatchCheckBox, &QCheckBox::toggled, this, [this](bool on) {
    if (guard) return;
    ShowMatch = on;
    UserStore().setValue(QString::fromLatin1(ShowMatchKey), on);
    emit ShowMatchChanged();
  });
  connect(ui->Z0Edit, &QLineEdit::editingFinished, this, [this] { ReferenceImpedanceEdited(); });
  ConnectDesignControls();
  // A refused Z0 keeps the dialog open, so that its note is read.
  connect(ui->OkBtn, &QPushButton::clicked, this, [this] {
    if (ReferenceImpedanceEdited()) accept();
  });
}

bool TSettingsForm::ReferenceImpedanceEdited() {
  if (guard) return true;
  const std::string typed = ui->Z0Edit->text().toStdString();
  if (TrimText(typed) == ReferenceImpedanceText) {
    ui->Z0Note->hide();
    return true;
  }
  // A refused text stays in the field to be mended; the setting keeps its old value.
  if (!PutReferenceImpedance(typed)) {
    ui->Z0Note->setText(tr("Not a resistance above zero; Z0 stays %1 Ω.")
                            .arg(QString::fromStdString(ReferenceImpedanceText)));
    ui->Z0Note->show();
    return false;
  }
  ui->Z0Note->hide();
  ui->Z0Edit->setText(QString::fromStdString(ReferenceImpedanceText));
  UserStore().setValue(QString::fromLatin1(ReferenceImpedanceKey), ui->Z0Edit->text());
  emit ReferenceImpedanceChanged();
  return true;
}

namespace {

// The tolerance fields of the dialog in the order of the stored percentages.
std::array<QLineEdit*, std::size(TolerancePercents)> ToleranceEdits(Ui::TSettingsForm& ui) {
  return {ui.ToleranceREdit, ui.ToleranceCEdit, ui.ToleranceLEdit, ui.ToleranceNEdit,
          ui.ToleranceKEdit};
}

}  // namespace

void TSettingsForm::ConnectDesignControls() {
  for (int i = 0; i < ESeriesCount; ++i)
    ui->SeriesComboBox->addItem(QLatin1String(ESeriesName(static_cast<ESeries>(i))));
  connect(ui->SeriesComboBox, &QComboBox::currentIndexChanged, this, [this](int i) {
    if (guard || i < 0) return;
    TuningSeries = static_cast<ESeries>(i);
    UserStore().setValue(QString::fromLatin1(TuningSeriesKey),
                         QLatin1String(ESeriesName(TuningSeries)));
  });
  const auto edits = ToleranceEdits(*ui);
  for (size_t i = 0; i < edits.size(); ++i) {
    connect(edits[i], &QLineEdit::editingFinished, this, [this, i, edits] {
      if (guard) return;
      // A percentage from 0 to below 100 is taken; anything else reverts to the one in use.
      SKindTolerances t = LoadTolerances();
      double& field = t.*TolerancePercents[i].Field;
      const std::optional<double> fraction = ReadPercent(edits[i]->text());
      if (fraction && IsPartTolerance(*fraction)) field = *fraction;
      edits[i]->setText(PercentText(field));
      StoreTolerances(t);
      emit TolerancesChanged();
    });
  }
}

TSettingsForm::~TSettingsForm() = default;

void TSettingsForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TSettingsForm::FormShow() {
  guard = true;
  SetRadioIndex(DisplayMode);
  ui->ZComboBox->setCurrentIndex(SignificantDigits - 2);
  ui->DimCheckBox->setChecked(DimIdleParts);
  ui->MatchCheckBox->setChecked(ShowMatch);
  ui->Z0Edit->setText(QString::fromStdString(ReferenceImpedanceText));
  ui->Z0Note->hide();
  ui->SeriesComboBox->setCurrentIndex(static_cast<int>(TuningSeries));
  const SKindTolerances t = LoadTolerances();
  const auto edits = ToleranceEdits(*ui);
  for (size_t i = 0; i < edits.size(); ++i)
    edits[i]->setText(PercentText(t.*TolerancePercents[i].Field));
  guard = false;
}

void TSettingsForm::ZChanged() {
  if (guard) return;
  const int radio = RadioIndex();
  const int combo = ui->ZComboBox->currentIndex();
  // Nothing chosen in a control leaves its setting as it is rather than storing -1 or 1.
  if (radio >= 0) DisplayMode = radio;
  if (combo >= 0) SignificantDigits = combo + 2;
  emit SettingsChanged();
}

int TSettingsForm::RadioIndex() const {
  return radioItems->checkedId();
}

void TSettingsForm::SetRadioIndex(int index) {
  if (QAbstractButton* item = radioItems->button(index)) {
    item->setChecked(true);
    return;
  }
  // An index with no item clears the group, as a radio group with item index -1 shows.
  radioItems->setExclusive(false);
  for (QAbstractButton* b : radioItems->buttons()) b->setChecked(false);
  radioItems->setExclusive(true);
}
