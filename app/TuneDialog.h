// The "Tune to…" dialog: a target for one value of one part (a resonance's frequency, R, X or
// |Z| at the working frequency, or the best match to Z0), the value that reaches it, the two
// nearest values of a series of preferred values with what each gives, and the one picked.
#pragma once

#include <QDialog>
#include <QFutureWatcher>
#include <atomic>
#include <optional>
#include <vector>

#include "analysis/Response.h"
#include "analysis/Tune.h"
#include "value/ESeries.h"

class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

// The reference impedance of the match target, in ohms.
double TuneReferenceImpedance();

class TTuneDialog : public QDialog {
  Q_OBJECT
 public:
  // Tunes parameter `param` of the component at list position `part` of `circuit` (a copy the
  // dialog keeps); `resonances` are those the user can pick to follow.
  TTuneDialog(SCircuitCopy circuit, int part, int param, double workingHertz,
              std::vector<SResonance> resonances, QWidget* parent = nullptr);
  ~TTuneDialog() override;

  // Starts solving for the target as the controls say, off the window's thread, and shows the
  // answer when it comes; while a search runs, stops it instead.
  void SolveNow();
  bool Solving() const { return running; }
  // Stops a search under way before the dialog closes.
  void reject() override;
  // Takes the exact value (0) or the lower (1) or upper (2) series value and closes the dialog.
  void Pick(int which);
  // The value picked, once the dialog is accepted.
  const std::optional<SParam>& Picked() const { return picked; }

  QComboBox* TargetBox = nullptr;
  QComboBox* ResonanceBox = nullptr;
  QLineEdit* ValueEdit = nullptr;
  QComboBox* SeriesBox = nullptr;
  QLabel* Answer = nullptr;
  QPushButton* SolveButton = nullptr;
  QProgressBar* Busy = nullptr;
  QPushButton* Choices[3] = {};

 private:
  QFormLayout* MakeForm();
  void TargetChanged();
  std::optional<STuneTarget> ReadTarget();
  void Solved();
  void ShowChoices();
  void StopAndWait();
  QString QuantityText(double q) const;

  SCircuitCopy circuit;
  CCmp* part = nullptr;  // into circuit
  int param = 0;
  double hertz = 1.0;
  std::vector<SResonance> resonances;
  STuneTarget target;
  STuneResult result;
  SParam values[3];  // exact, lower, upper; a Text left empty where there is none
  std::optional<SParam> picked;
  // The search runs on the dialog's own copy of the circuit, which nothing else touches
  // until it ends.
  QFutureWatcher<STuneResult> search;
  std::atomic<bool> stop{false};
  bool running = false;
};
