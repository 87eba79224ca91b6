// The main window: palette, paint area, frequency entry, impedance readout, toolbar, hint
// panel and status bar. Owns the one sheet and the solver and measures after every edit.
#pragma once

#include <QMainWindow>
#include <memory>

#include "analysis/CCalc.h"
#include "sheet/CSheet.h"
#include "sheet/SheetHost.h"

class TElemWinForm;
class TSettingsForm;

namespace Ui {
class TMainForm;
}

class TMainForm : public QMainWindow, public SheetHost {
  Q_OBJECT
 public:
  explicit TMainForm(QWidget* parent = nullptr);
  ~TMainForm() override;

  // SheetHost
  void PaintSheet() override;
  void Recompute(bool renumber) override;
  void UpdateReadoutState() override;
  void SetSheetCursor(int id) override;
  void EditParameter(CParam& param) override;
  int PaletteKind() const override { return paletteKind; }
  int PlacingOrientation() const override { return placingOrientation; }
  CCmp* Meter() const override { return meter; }

  void ResetSheet();
  // save = false loads "Display", "Digits", "F", "FP" all-or-nothing; save = true writes them.
  void StoreSettings(bool save);

  // The dialogs are created after the main window by the program entry (or a test).
  TElemWinForm* ElemWinForm = nullptr;   // not owned
  TSettingsForm* SettingsForm = nullptr;  // not owned

  int paletteKind = 0;
  int placingOrientation = 0;
  std::unique_ptr<CSheet> Sheet;
  CCmp* meter = nullptr;  // not owned
  CCalc Solver;
  double Frequency = 1.0;
  int FrequencyUnit = 0;
  bool HasReactive = false;

  std::unique_ptr<Ui::TMainForm> ui;
};
