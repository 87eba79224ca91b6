// The main window: palette, paint area, frequency entry, impedance readout, toolbar, hint
// panel and status bar. Owns the one sheet and the solver and measures after every edit.
#pragma once

#include <QMainWindow>
#include <QPixmap>
#include <memory>

#include "analysis/CCalc.h"
#include "sheet/CSheet.h"
#include "sheet/SheetHost.h"

class Canvas;
class QAction;
class QLabel;
class QPainter;
class TElemWinForm;
class TResponseDock;
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

  // Grid dots of the paint area on `canvas`; the sheet painting draws them itself.
  void PaintGrid(Canvas& canvas);
  // The paint area's client rectangle in its own pixels.
  SRect ClientRect() const;
  // Enables the toolbar actions by their rules; run after every event that may change them.
  void UpdateActions();

  // ---- event handlers, named as the window's controls
  void FormShow();
  void ImageMouseDown(int tag, Qt::MouseButton button, QPoint pointInControl);
  void FormMouseDown(Qt::MouseButton button, QPoint point);
  void FormMouseMove(Qt::MouseButtons buttons, QPoint point);
  void FormMouseUp(Qt::MouseButton button, QPoint point);
  void PaintBoxPaint(QPainter& painter);
  void PaintBoxMouseDown(Qt::MouseButton button, QPoint point);
  void PaintBoxMouseMove(Qt::MouseButtons buttons, QPoint point);
  void PaintBoxMouseUp(Qt::MouseButton button, QPoint point);
  bool PaintBoxWheel(int delta, Qt::KeyboardModifiers modifiers);
  bool PaintBoxKeyPress(int key, Qt::KeyboardModifiers modifiers);
  bool FEditKeyPress(int key);
  void FComboBoxChange(int index);
  void NewBtnClick();
  void SettingsBtnClick();
  void EditDeleteExecute();
  void RotateExecute(QAction* action);
  void CirZoomInExecute();
  void CirZoomOutExecute();
  void HintPanelHide();
  // Makes `hertz` the working frequency, in the unit that keeps the number readable, and
  // recomputes.
  void SetWorkingFrequency(double hertz);

  // The dialogs are created after the main window by the program entry (or a test).
  TElemWinForm* ElemWinForm = nullptr;    // not owned
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
  TResponseDock* ResponseDock = nullptr;  // owned by the window

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void RenderSheet();
  QPoint ToPaintBox(QPoint formPoint) const;
  bool Capturing() const;

  QPixmap sheetBitmap;
  bool sheetBitmapFresh = false;  // rendered by PaintSheet and not yet shown
  bool formShown = false;
  bool dialogDuringPress = false;  // the press being handled opened the parameter dialog
  QLabel* statusLine = nullptr;    // owned by the status bar
  int dockWidth = 0;               // the panel's width when it was last hidden
  void StoreDockState();
};
