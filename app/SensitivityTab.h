// The response panel's "Sensitivity" tab: for every part value, how much the reading (and a
// chosen resonance's frequency) moves per relative change of that value, ranked by size with
// a bar per number. Computed on the window's thread: one solve and one adjoint solve.
#pragma once

#include <QString>
#include <QWidget>
#include <optional>

#include "analysis/CCalc.h"
#include "analysis/Response.h"

class QLabel;
class QTableWidget;

struct SSensitivityRequest {
  double Hertz = 1.0;
  int DisplayMode = 0;  // as the readout: 0 R and X, 1 |Z| and phase
  int Digits = 3;
  std::optional<SResonance> Resonance;  // the one selected in the resonance list
  // The two frequencies as the panel writes them.
  QString HertzText, ResonanceText;
};

class TSensitivityTab : public QWidget {
  Q_OBJECT
 public:
  explicit TSensitivityTab(QWidget* parent = nullptr);

  // Fills the table for `cmps` as it stands; the solver writes the components' extra unknowns.
  void Update(CCmps& cmps, const CCmp& meter, const SSensitivityRequest& request);
  // Empties the table and says why.
  void ShowNone(const QString& why);

  QTableWidget* Table() const { return table; }
  QString NoteText() const;

 signals:
  // The pointer rests on the row of the component with this Id; -1 when it left the rows.
  void PartHovered(int id);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct SRow;
  void Fill(const std::vector<SRow>& rows, const SSensitivityRequest& request, bool withF0);

  CCalc solver;
  QLabel* note = nullptr;
  QTableWidget* table = nullptr;
  int hovered = -1;
};
