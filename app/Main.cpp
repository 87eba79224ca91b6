#include "Main.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QUndoStack>
#include <cmath>

#include "Cursors.h"
#include "ElemWin.h"
#include "Pictures.h"
#include "QtCanvas.h"
#include "ResponseDock.h"
#include "Settings.h"
#include "analysis/CCalc.h"
#include "analysis/Measure.h"
#include "components/CCmp.h"
#include "sheet/SheetPainting.h"
#include "ui_Main.h"
#include "value/Frequency.h"
#include "value/Value.h"
#include "view/DrawStyle.h"

SPoint ToSPoint(QPoint p) {
  return {p.x(), p.y()};
}

namespace {

// Ctrl+Z, Ctrl+Shift+Z and Ctrl+Y: the keys of the undo history.
bool IsHistoryKey(const QKeyEvent& key) {
  const auto mods = key.modifiers() & ~Qt::KeypadModifier;
  const bool ctrl = mods == Qt::ControlModifier;
  const bool ctrlShift = mods == (Qt::ControlModifier | Qt::ShiftModifier);
  return (key.key() == Qt::Key_Z && (ctrl || ctrlShift)) || (key.key() == Qt::Key_Y && ctrl);
}

// The text shown for a frequency; the point is the decimal separator in every locale.
QString FrequencyText(double f) {
  return QString::fromStdString(FloatText(f));
}

}  // namespace

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent), ui(new Ui::TMainForm) {
  ui->setupUi(this);
  ui->PaintBox->Form = this;
  move(335, 190);
  setWindowIcon(WindowIcon());

  Sheet = std::make_unique<CSheet>(this);
  Solver.Cmps = &Sheet->components;
  LoadSheetCursors();
  Frequency = 1.0;
  FrequencyUnit = 0;
  HasReactive = false;

  SetUpColours();
  SetUpStatusLine();
  SetUpEntryFields();
  InstallEventFilters();
  SetUpToolbarActions();
  ui->PaintBox->setCursor(SheetCursor(CursorHand));
  SetUpDocumentActions();
  QAction* toggle = SetUpResponseDock();
  ConnectResponseDock(toggle);
  SetUpComparison();
  SetUpMatchLine();
}

void TMainForm::SetUpColours() {
  // The window's own colour is the sheet's background; the toolbar and status bar keep the
  // ordinary colours so their icons and text stay legible.
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  ui->ToolBar->setPalette(QGuiApplication::palette());
  ui->ToolBar->setAutoFillBackground(true);
  ui->StatusBar1->setPalette(QGuiApplication::palette());
  ui->StatusBar1->setAutoFillBackground(true);
  ui->SelectCmpPanel->setPalette(QGuiApplication::palette());
}

void TMainForm::SetUpStatusLine() {
  idleHint =
      tr("Drag a component onto the sheet, wire it to the meter; "
         "press a value to change it");
  statusLine = new QLabel(idleHint);
  statusLine->setStyleSheet(QStringLiteral("color: black;"));
  ui->StatusBar1->setStyleSheet(
      QStringLiteral("QStatusBar#StatusBar1 { background-color: rgb(239, 239, 239); }"));
  ui->StatusBar1->addWidget(statusLine, 1);
  ui->StatusBar1->setFixedHeight(25);
}

void TMainForm::SetUpEntryFields() {
  // Disabled entry fields take the button face colour.
  for (QLineEdit* edit : {ui->FEdit, ui->XEdit, ui->REdit}) {
    QPalette pal = edit->palette();
    pal.setColor(QPalette::Disabled, QPalette::Base, pal.color(QPalette::Active, QPalette::Button));
    edit->setPalette(pal);
  }
}

void TMainForm::InstallEventFilters() {
  // The frequency field's keys, the hint panel's clicks and the palette's presses.
  ui->FEdit->installEventFilter(this);
  ui->HintPanel->installEventFilter(this);
  ui->HintLabel->installEventFilter(this);
  for (QWidget* w : {static_cast<QWidget*>(ui->PanelR), static_cast<QWidget*>(ui->ImageR),
                     static_cast<QWidget*>(ui->PanelC), static_cast<QWidget*>(ui->ImageC),
                     static_cast<QWidget*>(ui->PanelL), static_cast<QWidget*>(ui->ImageL),
                     static_cast<QWidget*>(ui->PanelLC), static_cast<QWidget*>(ui->ImageLC),
                     static_cast<QWidget*>(ui->PanelW), static_cast<QWidget*>(ui->ImageW)}) {
    w->installEventFilter(this);
  }
}

void TMainForm::SetUpToolbarActions() {
  for (QAction* a : {ui->NewBtn, ui->SettingsBtn, ui->EditDelete, ui->RotateLeft, ui->RotateRight,
                     ui->CirZoomIn, ui->CirZoomOut}) {
    a->setIcon(ToolIcon(a->objectName()));
  }
  connect(ui->NewBtn, &QAction::triggered, this, [this] { NewBtnClick(); });
  connect(ui->SettingsBtn, &QAction::triggered, this, [this] { SettingsBtnClick(); });
  connect(ui->EditDelete, &QAction::triggered, this, [this] { EditDeleteExecute(); });
  connect(ui->RotateLeft, &QAction::triggered, this, [this] { RotateExecute(ui->RotateLeft); });
  connect(ui->RotateRight, &QAction::triggered, this, [this] { RotateExecute(ui->RotateRight); });
  connect(ui->CirZoomIn, &QAction::triggered, this, [this] { CirZoomInExecute(); });
  connect(ui->CirZoomOut, &QAction::triggered, this, [this] { CirZoomOutExecute(); });
  connect(ui->FComboBox, &QComboBox::activated, this, [this](int i) { FComboBoxChange(i); });
}

QAction* TMainForm::SetUpResponseDock() {
  // The frequency-response panel starts hidden; F4 or its toolbar button shows it, and the
  // window grows by the panel's width so that the sheet keeps its size.
  ResponseDock = new TResponseDock(this);
  addDockWidget(Qt::RightDockWidgetArea, ResponseDock);
  ResponseDock->hide();
  QAction* toggle = ResponseDock->toggleViewAction();
  toggle->setIcon(ToolIcon(QStringLiteral("Response")));
  toggle->setShortcut(Qt::Key_F4);
  toggle->setToolTip(tr("Frequency response (F4)"));
  addAction(toggle);
  ui->ToolBar->addAction(toggle);
  // The toolbar's column is full at the window's first height, so the panel's button also
  // stands beside the X field, under the copy button, where the question "and around f?"
  // arises.
  if (auto* copyButton =
          ui->REdit->parentWidget()->findChild<QToolButton*>(QStringLiteral("CopyBtn"))) {
    const QRect r = ui->REdit->geometry(), x = ui->XEdit->geometry();
    copyButton->setGeometry(r.right() + 2, r.top(), 14, r.height());
    auto* plotButton = new QToolButton(copyButton->parentWidget());
    plotButton->setObjectName(QStringLiteral("ResponseBtn"));
    plotButton->setDefaultAction(toggle);
    plotButton->setIconSize(QSize(12, 12));
    plotButton->setGeometry(x.right() + 2, x.top(), 14, x.height());
  }
  return toggle;
}

void TMainForm::ConnectResponseDock(QAction* toggle) {
  connect(toggle, &QAction::triggered, this, [this](bool shown) {
    if (ResponseDock->isFloating() || isMaximized() || isFullScreen()) return;
    // The window keeps its size: the panel takes its room from the sheet and gives it back.
    // A window too narrow for both grows only as far as the layout needs, and returns to its
    // own width when the panel goes.
    const QSize keep(shown || widthWithoutPanel <= 0 ? width() : widthWithoutPanel, height());
    QTimer::singleShot(0, this, [this, keep] {
      layout()->activate();  // the minimum width without the panel, before the resize
      resize(keep);
    });
  });
  ResponseDock->ExportFolder = DialogFolder();
  connect(ResponseDock, &QDockWidget::visibilityChanged, this, [this] { StoreDockState(); });
  connect(ResponseDock, &QDockWidget::dockLocationChanged, this, [this] { StoreDockState(); });
  connect(ResponseDock, &QDockWidget::topLevelChanged, this, [this] { StoreDockState(); });
  connect(ResponseDock, &TResponseDock::FrequencyPicked, this,
          [this](double hertz) { SetWorkingFrequency(hertz); });
  connect(ResponseDock, &TResponseDock::PartHovered, this, [this](int id) { HighlightPart(id); });
  connect(ResponseDock, &TResponseDock::BandChanged, this, [this] { ShowReadoutSpread(); });
  ResponseDock->SetTolerances(LoadTolerances());
  connect(ResponseDock, &TResponseDock::RangeChanged, this, [this] {
    if (formShown) StoreSweep();
  });
}

TMainForm::~TMainForm() {
  // The panel hides while the window is taken down; nothing of the window may answer then.
  ResponseDock->disconnect(this);
}

// ---- start-up and reset

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!formShown) {
    formShown = true;
    FormShow();
  }
}

void TMainForm::FormShow() {
  const QRect z = ui->ZPanel->geometry();
  resize(z.left() + z.width() + 4, height());
  // The match line's room is part of the first size; a stored size already has it.
  LoadMatchSettings();
  MatchSettingsChanged();
  {
    const QSettings store = UserStore();
    const QByteArray state = store.value(QStringLiteral("Panels")).toByteArray();
    // Without a stored size the window grows by a docked panel, so the sheet keeps its room.
    if (!state.isEmpty() && restoreState(state) && ResponseDock->isVisible() &&
        !ResponseDock->isFloating())
      resize(width() + ResponseDock->sizeHint().width(), height());
    const QByteArray geometry = store.value(QStringLiteral("WindowGeometry")).toByteArray();
    if (!geometry.isEmpty()) restoreGeometry(geometry);
  }
  InitDrawStyle();
  LoadSettings();
  DimIdleParts = UserStore().value(QString::fromLatin1(DimIdlePartsKey), true).toBool();
  TuningSeries =
      ReadTuningSeries(UserStore().value(QString::fromLatin1(TuningSeriesKey)).toString());
  RestoreSweep();
  ui->FEdit->setText(FrequencyText(Frequency));
  {
    const QSignalBlocker block(ui->FComboBox);
    ui->FComboBox->setCurrentIndex(FrequencyUnit);
  }
  const qreal dpr = devicePixelRatioF();
  const std::pair<QWidget*, QLabel*> palette[] = {{ui->PanelR, ui->ImageR},
                                                  {ui->PanelC, ui->ImageC},
                                                  {ui->PanelL, ui->ImageL},
                                                  {ui->PanelLC, ui->ImageLC},
                                                  {ui->PanelW, ui->ImageW}};
  for (const auto& [panel, image] : palette) {
    image->move((panel->width() - image->width()) / 2, (panel->height() - image->height()) / 2);
    image->setPixmap(PalettePicture(image->property("Tag").toInt(), image->size(), dpr));
  }
  ResetSheet();
  StartHistory();
}

void TMainForm::ResetSheet() {
  const int i = Sheet->AddElement(KindMeter, Orientation::R90, -4, -2);
  CPct* picture = Sheet->pictures.At(i);
  meter = picture->cmp;
  picture->selected = false;
  Sheet->view.Zoom = DefaultZoom;
  Sheet->view.PanX = 0.0;
  Sheet->view.PanY = 0.0;
  UpdateReadoutState();
  PaintSheet();
  Recompute(true);
}

void TMainForm::StoreDockState() {
  // Written as it changes, so that a killed program still remembers the panel.
  if (!formShown) return;
  UserStore().setValue(QStringLiteral("Panels"), saveState());
}

void TMainForm::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  if (ResponseDock && (ResponseDock->isHidden() || ResponseDock->isFloating()))
    widthWithoutPanel = event->size().width();
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (!MaybeSave()) {
    event->ignore();
    return;
  }
  StoreDockState();
  SaveSettings();
  UserStore().setValue(QStringLiteral("WindowGeometry"), saveGeometry());
  event->accept();
}

// ---- readout

void TMainForm::UpdateReadoutState() {
  // The captions follow the measurement's own rule, so a stored mode other than 0 or 1
  // never labels resistance and reactance as magnitude and phase.
  const bool polar = DisplayMode == 1;
  ui->RLabel->setText(polar ? QStringLiteral("Mag") : QStringLiteral("R"));
  ui->XLabel->setText(polar ? QStringLiteral("Phase") : QStringLiteral("X"));

  HasReactive = false;
  for (int i = 0; i < Sheet->components.Count(); ++i) {
    if (Sheet->components.At(i)->Reactive) {
      HasReactive = true;
      break;
    }
  }
  ui->FEdit->setEnabled(HasReactive);
  ui->FComboBox->setEnabled(HasReactive);
  ui->FEdit->setText(HasReactive ? FrequencyText(Frequency) : QString());
  ui->XEdit->setEnabled(HasReactive);
  if (!HasReactive) ui->XEdit->clear();
}

void TMainForm::Recompute(bool renumber) {
  if (renumber) Sheet->RenumberNodes();
  // Drawn once, after the reading has set which parts are dimmed or named by its reason.
  bool repaint = renumber;
  if (meter) {
    const SReadout r = MeasureImpedance(Sheet->components, *meter, Solver,
                                        {.frequency = Frequency,
                                         .frequencyUnit = FrequencyUnit,
                                         .displayMode = DisplayMode,
                                         .digits = SignificantDigits,
                                         .hasReactive = HasReactive});
    ui->REdit->setText(QString::fromStdString(r.R));
    if (r.X) ui->XEdit->setText(QString::fromStdString(*r.X));
    repaint |= ExplainReading(r.R == "Infinity" || r.R == "Error");
    reading = r.Z;
    ShowComparison();
    ShowMatchFigures();
  }
  if (repaint) PaintSheet();
  if (ResponseDock)
    ResponseDock->Request(Sheet->components, meter, FrequencyInHertz(Frequency, FrequencyUnit),
                          DisplayMode, SignificantDigits);
  UpdateActions();
}

// ---- painting

SRect TMainForm::ClientRect() const {
  return {0, 0, ui->PaintBox->width(), ui->PaintBox->height()};
}

void TMainForm::RenderSheet() {
  const qreal dpr = ui->PaintBox->devicePixelRatioF();
  const QSize size = ui->PaintBox->size();
  const QSize pixels = size * dpr;
  if (sheetBitmap.size() != pixels || sheetBitmap.devicePixelRatio() != dpr) {
    sheetBitmap = QPixmap(pixels);
    sheetBitmap.setDevicePixelRatio(dpr);
  }
  if (sheetBitmap.isNull()) {
    // No bitmap: the paint event draws straight onto the paint area; the view still follows
    // the area's size now, for the mouse work that comes before it.
    const SRect r = ClientRect();
    Sheet->view.SetViewport(r.left, r.top, r.right, r.bottom);
    return;
  }
  QPainter painter(&sheetBitmap);
  QtCanvas canvas(painter);
  PaintSheetOnCanvas(canvas, Sheet->view, Sheet->pictures, ClientRect());
  sheetBitmapFresh = true;
}

void TMainForm::PaintSheet() {
  RenderSheet();
  ui->PaintBox->update();
  UpdateActions();
}

void TMainForm::PaintBoxPaint(QPainter& painter) {
  const QSize pixels = ui->PaintBox->size() * ui->PaintBox->devicePixelRatioF();
  if (!sheetBitmapFresh || sheetBitmap.size() != pixels) RenderSheet();
  sheetBitmapFresh = false;
  if (!sheetBitmap.isNull()) {
    painter.drawPixmap(0, 0, sheetBitmap);
  } else {
    QtCanvas canvas(painter);
    PaintSheetOnCanvas(canvas, Sheet->view, Sheet->pictures, ClientRect());
  }
}

void TMainForm::SetSheetCursor(int id) {
  ui->PaintBox->ShowCursor(SheetCursor(id));
}

void TMainForm::MoveRefused() {
  statusText =
      tr("The part waits here: its wires cannot follow it further that way without "
         "joining two nets");
  FitStatusLine();
}

// ---- parameter dialog

void TMainForm::EditParameter(CCmp& cmp, int index) {
  if (!ElemWinForm) return;
  ElemWinForm->Edit(cmp, index, frameGeometry());
  dialogDuringPress = true;
}

// ---- palette and mouse forwarding

QPoint TMainForm::ToPaintBox(QPoint formPoint) const {
  return ui->PaintBox->mapFromGlobal(mapToGlobal(formPoint));
}

void TMainForm::ImageMouseDown(int tag, Qt::MouseButton button, QPoint pointInControl) {
  HintPanelHide();
  Sheet->ArmPlacing(tag, Orientation::R90);
  ui->PaintBox->Capture();
  // The press position inside the palette control is read as a window position: the new
  // component starts above the paint area and the first move brings it under the pointer.
  FormMouseDown(button, pointInControl);
}

void TMainForm::FormMouseDown(Qt::MouseButton button, QPoint point) {
  if (button == Qt::LeftButton) PaintBoxMouseDown(button, ToPaintBox(point));
}

void TMainForm::PaintBoxMouseDown(Qt::MouseButton button, QPoint point) {
  HintPanelHide();
  EndTuningRun();
  if (button == Qt::LeftButton) {
    dialogDuringPress = false;
    Sheet->MouseDown(ToSPoint(point));
    PaintSheet();
    // The release of a press that opened the modal dialog went to the dialog; the sheet
    // must still see it or it would think the button is held.
    if (dialogDuringPress && Sheet->buttonDown &&
        !(QGuiApplication::mouseButtons() & Qt::LeftButton)) {
      Sheet->MouseUp(ClientRect(), ToSPoint(ui->PaintBox->mapFromGlobal(QCursor::pos())));
    }
    dialogDuringPress = false;
  }
  UpdateActions();
}

void TMainForm::PaintBoxMouseMove(Qt::MouseButtons buttons, QPoint point) {
  // A release that went elsewhere (a dialog, another window) ends the gesture here.
  if (Sheet->buttonDown && !(buttons & Qt::LeftButton)) {
    PaintBoxMouseUp(Qt::LeftButton, point);
    return;
  }
  if (Sheet->MouseMove(ToSPoint(point))) PaintSheet();
}

void TMainForm::PaintBoxMouseUp(Qt::MouseButton button, QPoint point) {
  // A release found missing at a move ends a palette drag too: the mouse is let go.
  if (button == Qt::LeftButton) ui->PaintBox->Release();
  if (button == Qt::LeftButton) Sheet->MouseUp(ClientRect(), ToSPoint(point));
  UpdateActions();
}

bool TMainForm::PaintBoxWheel(int delta, Qt::KeyboardModifiers modifiers, QPoint point) {
  if (delta == 0) return false;
  if (!(modifiers & Qt::ControlModifier)) return TuneLabel(point, delta, modifiers);
  if (delta > 0) {
    CirZoomInExecute();
  } else {
    CirZoomOutExecute();
  }
  return true;
}

bool TMainForm::PaintBoxKeyPress(int key, Qt::KeyboardModifiers modifiers) {
  EndTuningRun();
  if (key == Qt::Key_Escape) return AbortGesture();
  // Space or '/' turns the corner of the wire being drawn.
  if ((key == Qt::Key_Space || key == Qt::Key_Slash) && Sheet->FlipWireCorner()) {
    PaintSheet();
    return true;
  }
  UpdateActions();
  const bool ctrl = modifiers & Qt::ControlModifier;
  QAction* action = nullptr;
  if (key == Qt::Key_Delete || key == Qt::Key_Backspace) {
    action = ui->EditDelete;
  } else if (key == Qt::Key_R && !ctrl) {
    action = (modifiers & Qt::ShiftModifier) ? ui->RotateLeft : ui->RotateRight;
  } else if (ctrl && (key == Qt::Key_Plus || key == Qt::Key_Equal)) {
    action = ui->CirZoomIn;
  } else if (ctrl && key == Qt::Key_Minus) {
    action = ui->CirZoomOut;
  }
  if (!action) return false;
  if (action->isEnabled()) action->trigger();
  return true;
}

// ---- frequency entry

bool TMainForm::FEditKeyPress(int key) {
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    AbortGesture();  // a half-finished gesture never becomes part of the frequency's step
    if (const auto entry = ReadFrequencyEntry(ui->FEdit->text().toStdString(), FrequencyUnit)) {
      Frequency = entry->Value;
      FrequencyUnit = entry->Unit;
      {
        const QSignalBlocker block(ui->FComboBox);
        ui->FComboBox->setCurrentIndex(FrequencyUnit);
      }
      Recompute(true);
      SaveSettings();
      CommitStep();
    }
    // Else the field simply reverts below.
    ui->FEdit->setText(FrequencyText(Frequency));
    return true;
  }
  if (key == Qt::Key_Escape) {
    ui->FEdit->setText(FrequencyText(Frequency));
    return true;
  }
  return false;
}

bool TMainForm::FrequencyBeingTyped() const {
  return ui->FEdit->text() != (HasReactive ? FrequencyText(Frequency) : QString());
}

void TMainForm::SetWorkingFrequency(double hertz) {
  const auto entry = FrequencyEntryOf(hertz);
  if (!entry) return;
  AbortGesture();
  Frequency = entry->Value;
  FrequencyUnit = entry->Unit;
  {
    const QSignalBlocker block(ui->FComboBox);
    ui->FComboBox->setCurrentIndex(FrequencyUnit);
  }
  ui->FEdit->setText(HasReactive ? FrequencyText(Frequency) : QString());
  Recompute(true);
  SaveSettings();
  CommitStep();
}

void TMainForm::FComboBoxChange(int index) {
  AbortGesture();
  FrequencyUnit = index;
  Recompute(true);
  SaveSettings();
  CommitStep();
}

// ---- toolbar

void TMainForm::UpdateActions() {
  if (!ui || !Sheet) return;
  ui->EditDelete->setEnabled(Sheet->CanDelete(meter));
  const bool rotatable = Sheet->CanRotate();
  ui->RotateLeft->setEnabled(rotatable);
  ui->RotateRight->setEnabled(rotatable);
  ui->CirZoomIn->setEnabled(Sheet->view.Zoom < MaxZoom);
  ui->CirZoomOut->setEnabled(Sheet->view.Zoom > MinZoom);
}

void TMainForm::NewBtnClick() {
  AbortGesture();
  if (!MaybeSave()) return;
  Sheet->Clear();
  ResetSheet();
  FileName.clear();
  StartHistory();
  UpdateTitle();
}

bool TMainForm::AbortGesture() {
  if (!Sheet->AbortGesture()) return false;
  ui->PaintBox->Release();
  UpdateActions();
  return true;
}

void TMainForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && AbortGesture()) {
    event->accept();
    return;
  }
  QMainWindow::keyPressEvent(event);
}

void TMainForm::SettingsBtnClick() {
  AbortGesture();
  if (SettingsForm) SettingsForm->exec();
  Recompute(true);
}

void TMainForm::EditDeleteExecute() {
  UpdateActions();
  if (!ui->EditDelete->isEnabled()) return;
  Sheet->DeleteSelected();
  UpdateReadoutState();
  Recompute(true);
}

void TMainForm::RotateExecute(QAction* action) {
  UpdateActions();
  if (!action->isEnabled()) return;
  Sheet->Rotate(action->property("Tag").toInt());
  UpdateActions();
}

void TMainForm::CirZoomInExecute() {
  if (Sheet->view.ZoomIn()) PaintSheet();
  UpdateActions();
}

void TMainForm::CirZoomOutExecute() {
  if (Sheet->view.ZoomOut()) PaintSheet();
  UpdateActions();
}

void TMainForm::HintPanelHide() {
  ui->HintPanel->hide();
}

// ---- events of the window's controls

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui->FEdit && event->type() == QEvent::ShortcutOverride &&
      IsHistoryKey(*static_cast<QKeyEvent*>(event)) && !FrequencyBeingTyped()) {
    // Without typing of its own to take back, the field leaves Ctrl+Z to the sheet's undo.
    event->ignore();
    return true;
  }
  if (watched == ui->FEdit && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    // Escape belongs to a gesture under way before it reverts the typing.
    if (key == Qt::Key_Escape && AbortGesture()) return true;
    if (FEditKeyPress(key)) return true;
  } else if ((watched == ui->HintPanel || watched == ui->HintLabel) &&
             event->type() == QEvent::MouseButtonPress) {
    HintPanelHide();
    return true;
  } else if (event->type() == QEvent::MouseButtonPress) {
    const QVariant tag = watched->property("Tag");
    if (tag.isValid()) {
      auto* press = static_cast<QMouseEvent*>(event);
      ImageMouseDown(tag.toInt(), press->button(), press->position().toPoint());
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}
