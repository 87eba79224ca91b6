// The main window: palette, paint area, frequency entry, impedance readout, toolbar, hint
// panel and status bar. Owns the one sheet and the solver and measures after every edit.
#pragma once

#include <QMainWindow>
#include <QPixmap>
#include <QStringList>
#include <complex>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/CCalc.h"
#include "sheet/CSheet.h"
#include "sheet/SheetHost.h"
#include "value/ESeries.h"
#include "value/Frequency.h"

class QAction;
class QLabel;
class QMenu;
class QPainter;
class QToolButton;
class QUndoStack;
struct SSheetContent;
struct SSheetSettings;
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
  void EditParameter(CCmp& cmp, int index) override;
  CCmp* Meter() const override { return meter; }
  // Every completed edit of the sheet becomes one undo step.
  void EditCompleted() override;
  // Says on the status line why the dragged part stopped following the pointer.
  void MoveRefused() override;

  void ResetSheet();
  // Loads "Display", "Digits", "F", "FP" all-or-nothing: any one missing or unusable gives the
  // defaults for all four. Z0 and "Show match" are loaded beside them, each on its own.
  void LoadSettings();
  // Writes "Display", "Digits", "F", "FP", in that order, as strings.
  void SaveSettings();

  // The paint area's client rectangle in its own pixels.
  SRect ClientRect() const;
  // Enables the toolbar actions by their rules; run after every event that may change them.
  void UpdateActions();

  // ---- event handlers, named as the window's controls
  void FormShow();
  void ImageMouseDown(int tag, Qt::MouseButton button, QPoint pointInControl);
  void FormMouseDown(Qt::MouseButton button, QPoint point);
  void PaintBoxPaint(QPainter& painter);
  void PaintBoxMouseDown(Qt::MouseButton button, QPoint point);
  void PaintBoxMouseMove(Qt::MouseButtons buttons, QPoint point);
  void PaintBoxMouseUp(Qt::MouseButton button, QPoint point);
  // Ctrl zooms; over a value label the wheel tunes that value (MainTuning.cpp).
  bool PaintBoxWheel(int delta, Qt::KeyboardModifiers modifiers, QPoint point);
  bool PaintBoxKeyPress(int key, Qt::KeyboardModifiers modifiers);
  // The menu of the value label under a point of the paint area, offering "Tune to…" and
  // "Tolerance…"; null where there is no label or a gesture is under way (MainTuning.cpp).
  // The caller owns it.
  QMenu* LabelMenu(QPoint point);
  // Shows LabelMenu at `global`; false where there is none.
  bool PaintBoxContextMenu(QPoint point, QPoint global);
  // "Tune to…" for parameter j of c: the dialog, then the value picked as one undo step.
  void TuneToTarget(CCmp& c, int j);
  void ApplyTuned(CCmp& c, int j, const SParam& value);
  // "Tolerance…" for parameter j of c: the dialog, then the part's own tolerance (a fraction;
  // none for its kind's) as one undo step, the tolerance band following.
  void EditTolerance(CCmp& c, int j);
  void ApplyTolerance(CCmp& c, int j, std::optional<double> fraction);
  // The tooltip of the value label under a point: its tolerance and whose it is; else empty.
  QString LabelTip(QPoint point) const;
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

  // ---- the sheet file, undo and redo (MainDocument.cpp)
  // Opens a sheet file; on failure shows a message box with the file's name and the reason
  // and leaves the sheet as it was. Asks nothing about unsaved changes.
  bool OpenFile(const QString& path);
  // Writes the sheet to `path` in one piece; on failure shows a message box and returns false.
  bool SaveFile(const QString& path);
  bool FileSave();    // Ctrl+S: under the sheet's name, or asks for one
  bool FileSaveAs();  // Ctrl+Shift+S
  void FileOpen();    // Ctrl+O: asks about unsaved changes, then for a file
  // With unsaved changes asks Save / Discard / Cancel; true when the sheet may be dropped.
  bool MaybeSave();
  // The text of the readout for the clipboard: "Z = 4.7e+3 - j139 Ω at 1 kHz".
  QString ReadoutText() const;
  void CopyReadout();
  // Draws the sheet as on screen into a PNG or SVG file (by the name's suffix).
  bool ExportSheet(const QString& path);
  void FileExport();
  // The undo step of a change: snapshot of the sheet text (without view) after the change.
  // The steps of one run of wheel notches on a value label merge into one.
  struct STuningRun {
    const CCmp* Cmp = nullptr;
    int Label = -1;
    unsigned Run = 0;
  };
  void CommitStep(std::optional<STuningRun> run = std::nullopt);
  // Puts a snapshot back: the sheet, the frequency and its unit; the view stays.
  void RestoreText(const std::string& text);
  // The sheet as it is now counts as saved and has no history (start, New, Open).
  void StartHistory();
  static QStringList RecentFiles();

  // ---- why there is no number, idle parts, pin and compare (MainCompare.cpp)
  // After a reading: a failed one gets its reason on the status line and its parts named on
  // the sheet; idle parts are dimmed (when the setting asks for it). True when a part's marks
  // changed, so that the sheet needs drawing again.
  bool ExplainReading(bool failed);
  // The reason under a point of the paint area when a dimmed part lies there, else empty.
  QString HoverReason(QPoint point) const;
  // Outlines the part with this Id on the sheet (none for -1), as the panel points at it.
  void HighlightPart(int id);
  QString StatusText() const;
  // Keeps the sheet text as it is now for comparison; Unpin drops it. New and Open keep it.
  void Pin();
  void Unpin();
  bool Pinned() const { return pinnedSheet != nullptr; }
  const std::string& PinnedText() const { return pinnedText; }
  // The differences now shown under the readout: now minus pinned, in the display mode.
  QString DeltaFirstText() const;
  QString DeltaSecondText() const;

  // ---- the match line, Z0 and the remembered sweep (MainMatch.cpp)
  // The match line's text: Z0, |Γ| and its angle, return loss, VSWR and mismatch loss at the
  // working frequency, "—" where there is no number.
  QString MatchText() const;
  bool MatchShown() const;
  // Follows a change of Z0 or of "Show match": the panel's Z0, the layout, the line; with
  // `growWindow` a shown window grows or shrinks by the line, so that the sheet keeps its size.
  void MatchSettingsChanged(bool growWindow = true);
  // The settings a saved sheet keeps: Z0 and the response panel's range.
  SSheetSettings SheetSettings() const;
  // Puts the settings a sheet file holds in place; those it leaves out stay as they are.
  void ApplySheetSettings(const SSheetSettings& settings);
  // The response panel's range in the user store, written as it changes and read at start.
  void StoreSweep() const;
  void RestoreSweep();

  // ---- what the program entry and the tests reach
  // The dialogs are created after the main window by the program entry (or a test).
  void UseDialogs(TElemWinForm* elemWin, TSettingsForm* settings) {
    ElemWinForm = elemWin;
    SettingsForm = settings;
  }
  CSheet& CurrentSheet() const { return *Sheet; }
  Ui::TMainForm& Controls() const { return *ui; }
  TResponseDock& Response() const { return *ResponseDock; }
  QUndoStack& History() const { return *UndoStack; }
  // The sheet's file, empty while it has none.
  const QString& SheetPath() const { return FileName; }
  // The working frequency as its entry holds it.
  SFrequencyEntry WorkingFrequency() const { return {Frequency, FrequencyUnit}; }
  // Puts an entry in place as the settings or a sheet file would, measuring nothing.
  void PutWorkingFrequency(SFrequencyEntry entry) {
    Frequency = entry.Value;
    FrequencyUnit = entry.Unit;
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  QUndoStack* UndoStack = nullptr;  // owned by the window as its Qt parent
  QString FileName;                 // the sheet's file, empty while it has none

  TElemWinForm* ElemWinForm = nullptr;    // not owned
  TSettingsForm* SettingsForm = nullptr;  // not owned

  std::unique_ptr<CSheet> Sheet;
  CCmp* meter = nullptr;  // not owned
  CCalc Solver;
  double Frequency = 1.0;
  int FrequencyUnit = 0;
  bool HasReactive = false;

  std::unique_ptr<Ui::TMainForm> ui;
  TResponseDock* ResponseDock = nullptr;  // owned by the window

  // The constructor's parts, in the order it runs them.
  void SetUpColours();
  void SetUpStatusLine();
  void SetUpEntryFields();
  void InstallEventFilters();
  void SetUpToolbarActions();
  void SetUpDocumentActions();
  // Creates the hidden frequency-response panel; returns the action that shows it.
  QAction* SetUpResponseDock();
  void ConnectResponseDock(QAction* toggle);
  // `notice`: see ApplySheetFile.
  void ApplyContent(const SSheetContent& content, std::string* notice = nullptr);
  void UpdateTitle();
  void AddRecentFile(const QString& path);
  void FillRecentMenu();
  // Escape: aborts the wire, move or placing under way; true when there was one.
  bool AbortGesture();
  void RenderSheet();
  QPoint ToPaintBox(QPoint formPoint) const;

  // The frequency field holds typing not yet entered.
  bool FrequencyBeingTyped() const;
  // Where the file dialogs start: the sheet's folder, else that of the last file, else the
  // user's documents.
  QString DialogFolder() const;

  int widthWithoutPanel = 0;  // the window's width while the panel was last hidden
  QPixmap sheetBitmap;
  bool sheetBitmapFresh = false;  // rendered by PaintSheet and not yet shown
  bool formShown = false;
  bool dialogDuringPress = false;  // the press being handled opened the parameter dialog
  QLabel* statusLine = nullptr;    // owned by the status bar
  std::string committedText;       // the sheet text after the last undo step
  bool restoring = false;          // an undo step is being put back
  // Wheel tuning: the run of notches under way, and the part of a notch turned so far (a fine
  // wheel turns in smaller steps than a notch).
  bool TuneLabel(QPoint point, int delta, Qt::KeyboardModifiers modifiers);
  void EndTuningRun() { tuning = {nullptr, -1, tuning.Run + 1}, wheelRemainder = 0; }
  STuningRun tuning;
  // The readout's tooltips: the range of its numbers over the parts' tolerances, while the
  // response panel has a band for the working frequency.
  void ShowReadoutSpread();
  int wheelRemainder = 0;
  QMenu* recentMenu = nullptr;  // owned by the window
  void StoreDockState();

  void SetUpMatchLine();
  void ShowMatchFigures();
  // Puts the match line at `top` of the top panel, or hides it; returns the height it takes.
  int PlaceMatchLine(int top);
  QLabel* matchLine = nullptr;  // owned by the top panel

  void SetUpComparison();
  void ShowComparison();
  void SetPinLayout(bool pinned);
  void FitStatusLine();
  QString idleHint;    // the status line's ordinary text
  QString statusText;  // what the status line says, before any shortening
  qreal statusPoints = 9;
  std::vector<std::pair<const CCmp*, QString>> idleReasons;
  std::string pinnedText;
  std::unique_ptr<CSheet> pinnedSheet;  // the pinned text put on a sheet of its own
  CCmp* pinnedMeter = nullptr;          // into pinnedSheet
  CCalc pinnedSolver;
  std::optional<std::complex<double>> reading;  // the impedance the readout shows, if any
  QToolButton* pinButton = nullptr;             // owned by the top panel
  QLabel* deltaFirst = nullptr;                 // owned by the top panel
  QLabel* deltaSecond = nullptr;                // owned by the top panel
};

// A point of the paint area in the sheet's screen coordinates.
SPoint ToSPoint(QPoint p);
