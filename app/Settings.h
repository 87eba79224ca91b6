// The settings dialog: display mode and significant digits, with immediate effect.
#pragma once

#include <QDialog>
#include <QSettings>
#include <memory>

#include "analysis/Tolerance.h"
#include "value/ESeries.h"

class QButtonGroup;

// The names the program and its settings go by.
inline constexpr char OrganisationName[] = "Brackenworks";
inline constexpr char ApplicationName[] = "Vorzeta";

// The user's own settings store: one user's choices are no business of the machine's other
// users.
QSettings UserStore();

// The window's display settings, handed to the measurement with each reading: 0 R and X,
// 1 magnitude and phase; significant digits 2..8.
extern int DisplayMode;
extern int SignificantDigits;

// Parts that carry no current are drawn dimmed; stored under its own key, on by default.
extern bool DimIdleParts;
extern const char* const DimIdlePartsKey;

// The series of preferred values that the wheel steps a value through; stored by name.
extern ESeries TuningSeries;
extern const char* const TuningSeriesKey;
// The stored name read back; the default series for a name that is none.
ESeries ReadTuningSeries(const QString& name);

// The parts' tolerances by kind, stored in percent; the defaults for what is not stored.
SKindTolerances LoadTolerances();
void StoreTolerances(const SKindTolerances& tolerances);

namespace Ui {
class TSettingsForm;
}

class TSettingsForm : public QDialog {
  Q_OBJECT
 public:
  explicit TSettingsForm(QWidget* parent = nullptr);
  ~TSettingsForm() override;

  // Loads DisplayMode and SignificantDigits into the controls without applying them.
  void FormShow();
  // Applies both controls at once and reports it with SettingsChanged.
  void ZChanged();
  // The item index of ZRadioGroup: 0 "R and X", 1 "Mag and Phase", -1 none checked.
  int RadioIndex() const;
  void SetRadioIndex(int index);

  bool guard = false;  // keeps the dialog from applying the values it loads itself

  std::unique_ptr<Ui::TSettingsForm> ui;

 signals:
  // The display mode or the digits were applied.
  void SettingsChanged();
  // DimIdleParts was applied and stored.
  void DimIdlePartsChanged();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QButtonGroup* radioItems = nullptr;  // owned by the dialog as its Qt parent
};
