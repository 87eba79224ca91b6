// The "Tolerance…" dialog of a value label: the part's own tolerance of that value, in percent,
// or none, so that the kind's tolerance from the settings applies.
#pragma once

#include <QDialog>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

class TToleranceDialog : public QDialog {
  Q_OBJECT
 public:
  // `part` names the part ("Capacitor"), `value` the value ("Capacitance, F: 10n"); `own` is
  // the part's tolerance now (none: the kind's), `kind` the kind's, both as fractions.
  TToleranceDialog(const QString& part, const QString& value, std::optional<double> own,
                   double kind, QWidget* parent = nullptr);

  // Reads the field: a percentage from 0 to below 100, or nothing for the kind's. False for
  // anything else, with a message saying why; the tolerance chosen is then left as it was.
  bool Read();
  // The tolerance chosen, as a fraction; none for the kind's. Set by Read.
  const std::optional<double>& Chosen() const { return chosen; }

  // Closes with the entry when Read takes it; else stays open with its message.
  void accept() override;

  QLineEdit* PercentEdit = nullptr;
  QPushButton* KindButton = nullptr;  // empties the field: the kind's tolerance
  QLabel* Message = nullptr;          // why an entry is refused; hidden while none is

 private:
  std::optional<double> chosen;
};
