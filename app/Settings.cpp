// The settings dialog: the radio group and the digits list write the two program-wide
// display settings and refresh the readout at once.
#include "Settings.h"

#include <QButtonGroup>
#include <QShowEvent>
#include <cmath>

#include "analysis/Measure.h"
#include "ui_Settings.h"

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
    if (ok && std::isfinite(percent) && percent >= 0 && percent <= 100) t.*field = percent / 100;
  }
  return t;
}

void StoreTolerances(const SKindTolerances& t) {
  QSettings store = UserStore();
  for (const auto& [key, field] : TolerancePercents)
    store.setValue(QString::fromLatin1(key), QString::number(t.*field * 100, 'g', 15));
}

ESeries ReadTuningSeries(const QString& name) {
  for (int i = 0; i < ESeriesCount; ++i) {
    const auto series = static_cast<ESeries>(i);
    if (name == QLatin1String(ESeriesName(series))) return series;
  }
  return DefaultESeries;
}

TSettingsForm::TSettingsForm(QWidget* parent) : QDialog(parent), ui(new Ui::TSettingsForm) {
  ui->setupUi(this);
  setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setFixedSize(189, 209);
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
  connect(ui->OkBtn, &QPushButton::clicked, this, &QDialog::accept);
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
