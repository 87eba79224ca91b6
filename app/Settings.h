// The settings dialog: display mode, significant digits, dimming, the match line and the
// reference impedance Z0, each with immediate effect.
#pragma once

#include <QDialog>
#include <QSettings>
#include <memory>
#include <optional>
#include <string>

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
// A tolerance as the user types and reads it: a percentage in engineering text ("2", "0.5",
// "500m"), a trailing "%" allowed, read as a fraction; none where it is no finite number.
std::optional<double> ReadPercent(const QString& text);
// A fraction as a percentage without the sign: 0.05 gives "5".
QString PercentText(double fraction);

// The reference impedance Z0 of the match figures and the S-parameter file: the text as typed
// and its value. Stored under its own key; a stored text that is no value above zero gives
// the default.
inline constexpr char DefaultReferenceImpedance[] = "50";
extern std::string ReferenceImpedanceText;
extern double ReferenceImpedance;
extern const char* const ReferenceImpedanceKey;
// Makes `text` the reference impedance when it is a value above zero; else false and nothing
// changes.
bool PutReferenceImpedance(const std::string& text);

// The match line under the readout; stored under its own key, off by default.
extern bool ShowMatch;
extern const char* const ShowMatchKey;

// Reads Z0 and the match line's setting from the store, each on its own.
void LoadMatchSettings();

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
  // A new reference impedance was applied and stored.
  void ReferenceImpedanceChanged();
  // ShowMatch was applied and stored.
  void ShowMatchChanged();
  // A part kind's tolerance was applied and stored.
  void TolerancesChanged();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QButtonGroup* radioItems = nullptr;  // owned by the dialog as its Qt parent
  // Applies the typed reference impedance; false when it is refused (with a note saying why).
  bool ReferenceImpedanceEdited();
  // The wheel's series and the tolerance fields, each applied and stored as it changes.
  void ConnectDesignControls();
};
