// The main window's part in keeping the work: sheet files (open, save, recent files, drops),
// the undo history of edits, the prompt before unsaved changes are dropped, copying the
// readout and exporting the sheet as a picture.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStyle>
#include <QSvgGenerator>
#include <QToolBar>
#include <QToolButton>
#include <QUndoStack>

#include "Main.h"
#include "QtCanvas.h"
#include "ResponseDock.h"
#include "Settings.h"
#include "analysis/Measure.h"
#include "document/SheetFile.h"
#include "sheet/SheetPainting.h"
#include "ui_Main.h"
#include "value/Frequency.h"
#include "value/Value.h"

namespace {

constexpr int RecentCount = 5;
constexpr int UndoLimit = 500;
const char* const RecentKey = "RecentFiles";
const char* const Suffix = ".vorzeta";

// One completed edit: the sheet text before and after it. The edit is already on the sheet
// when the step is pushed, so the first redo does nothing.
class CSheetStep : public QUndoCommand {
 public:
  CSheetStep(TMainForm& form, std::string before, std::string after,
             std::optional<TMainForm::STuningRun> run)
      : form(form), before(std::move(before)), after(std::move(after)), run(run) {
    setText(QObject::tr("edit"));
  }
  void undo() override { form.RestoreText(before); }
  void redo() override {
    if (pushed) form.RestoreText(after);
    pushed = true;
  }
  // Notches of one run on one label take the place of each other's end.
  int id() const override { return run ? 1 : -1; }
  bool mergeWith(const QUndoCommand* other) override {
    const auto* next = static_cast<const CSheetStep*>(other);
    if (!run || !next->run || next->run->Cmp != run->Cmp || next->run->Label != run->Label ||
        next->run->Run != run->Run)
      return false;
    after = next->after;
    setObsolete(after == before);  // notched back to where the run began
    return true;
  }

 private:
  TMainForm& form;
  std::string before;
  std::string after;
  std::optional<TMainForm::STuningRun> run;
  bool pushed = false;
};

// Two overlapping sheets, the usual picture of copying, small enough for the narrow button.
QIcon CopyIcon() {
  QPixmap pixmap(QSize(24, 24));
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setPen(QPen(Qt::black, 2));
  p.setBrush(Qt::white);
  p.drawRect(3, 2, 12, 15);
  p.drawRect(9, 7, 12, 15);
  return QIcon(pixmap);
}

// The window's file, history and copy actions, each with its shortcut, all added to the window.
struct SDocumentActions {
  QAction* open;
  QAction* save;
  QAction* saveAs;
  QAction* exportAs;
  QAction* copy;
  QAction* undo;
  QAction* redo;
};

QAction* MakeAction(QWidget& window, const QString& name, const QString& text, const QIcon& icon,
                    QList<QKeySequence> keys) {
  auto* a = new QAction(icon, text, &window);
  a->setObjectName(name);
  a->setShortcuts(keys);
  a->setToolTip(text + " (" + keys.front().toString(QKeySequence::NativeText) + ")");
  window.addAction(a);
  return a;
}

SDocumentActions MakeDocumentActions(QWidget& window, QUndoStack& undoStack) {
  QStyle* s = window.style();
  SDocumentActions a{};
  a.open =
      MakeAction(window, "FileOpen", TMainForm::tr("Open"),
                 s->standardIcon(QStyle::SP_DialogOpenButton), {QKeySequence(QKeySequence::Open)});
  a.save =
      MakeAction(window, "FileSave", TMainForm::tr("Save"),
                 s->standardIcon(QStyle::SP_DialogSaveButton), {QKeySequence(QKeySequence::Save)});
  a.saveAs = MakeAction(window, "FileSaveAs", TMainForm::tr("Save as"), QIcon(),
                        {QKeySequence("Ctrl+Shift+S")});
  a.exportAs = MakeAction(window, "FileExport", TMainForm::tr("Export picture"),
                          s->standardIcon(QStyle::SP_FileDialogDetailedView), {QKeySequence()});
  a.exportAs->setToolTip(TMainForm::tr("Export the sheet as PNG or SVG"));
  a.copy = MakeAction(window, "CopyReadout", TMainForm::tr("Copy the result"), QIcon(),
                      {QKeySequence("Ctrl+Shift+C")});
  a.undo = undoStack.createUndoAction(&window, TMainForm::tr("Undo"));
  a.undo->setObjectName("EditUndo");
  a.undo->setIcon(s->standardIcon(QStyle::SP_ArrowBack));
  a.undo->setShortcuts({QKeySequence("Ctrl+Z")});
  a.redo = undoStack.createRedoAction(&window, TMainForm::tr("Redo"));
  a.redo->setObjectName("EditRedo");
  a.redo->setIcon(s->standardIcon(QStyle::SP_ArrowForward));
  a.redo->setShortcuts({QKeySequence("Ctrl+Shift+Z"), QKeySequence("Ctrl+Y")});
  window.addAction(a.undo);
  window.addAction(a.redo);
  return a;
}

// The copy button stands in the gap right of the two result fields.
void PlaceCopyButton(Ui::TMainForm& ui, QAction* copy) {
  auto* copyButton = new QToolButton(ui.REdit->parentWidget());
  copyButton->setObjectName("CopyBtn");
  copyButton->setDefaultAction(copy);
  copyButton->setIcon(CopyIcon());
  copyButton->setGeometry(ui.REdit->geometry().right() + 2, ui.REdit->geometry().top(), 14,
                          ui.XEdit->geometry().bottom() - ui.REdit->geometry().top() + 1);
  copy->setToolTip(TMainForm::tr("Copy the result (Ctrl+Shift+C)"));
}

}  // namespace

void TMainForm::SetUpDocumentActions() {
  UndoStack = new QUndoStack(this);
  UndoStack->setUndoLimit(UndoLimit);
  connect(UndoStack, &QUndoStack::cleanChanged, this,
          [this](bool clean) { setWindowModified(!clean); });
  setAcceptDrops(true);

  const SDocumentActions actions = MakeDocumentActions(*this, *UndoStack);
  QAction* first = ui->ToolBar->actions().value(0);
  // The toolbar only grows by three buttons, so that it still fits the window's height; Save,
  // Save as, the export and the recent files drop down from the Open button.
  ui->ToolBar->insertActions(first, {actions.open, actions.undo, actions.redo});
  recentMenu = new QMenu(this);
  connect(recentMenu, &QMenu::aboutToShow, this, [this] { FillRecentMenu(); });
  if (auto* button = qobject_cast<QToolButton*>(ui->ToolBar->widgetForAction(actions.open))) {
    button->setMenu(recentMenu);
    button->setPopupMode(QToolButton::MenuButtonPopup);
  }
  PlaceCopyButton(*ui, actions.copy);

  ui->NewBtn->setShortcut(QKeySequence::New);
  ui->NewBtn->setToolTip(
      tr("New (%1)").arg(ui->NewBtn->shortcut().toString(QKeySequence::NativeText)));
  // A file command in the middle of a drag ends the drag first: no half-made edit is saved.
  connect(actions.open, &QAction::triggered, this, [this] { FileOpen(); });
  connect(actions.save, &QAction::triggered, this, [this] { AbortGesture(), FileSave(); });
  connect(actions.saveAs, &QAction::triggered, this, [this] { AbortGesture(), FileSaveAs(); });
  connect(actions.exportAs, &QAction::triggered, this, [this] { AbortGesture(), FileExport(); });
  connect(actions.copy, &QAction::triggered, this, [this] { CopyReadout(); });
  UpdateTitle();
}

// ---- history

void TMainForm::EditCompleted() {
  CommitStep();
}

void TMainForm::CommitStep(std::optional<STuningRun> run) {
  if (restoring || !UndoStack) return;
  std::string text = WriteSheetFile(*Sheet, Frequency, FrequencyUnit, false);
  if (text == committedText) return;
  // A step is restored by reading its text: one that would not read is never pushed, so
  // that undo and redo cannot fail. The gestures and the dialogs keep within what a file
  // holds; only a sheet put together some other way (a value of 1e999 set in code) gets
  // here, and its history goes on from the last text that reads.
  try {
    ReadSheetFile(text);
  } catch (const Exception&) {
    return;
  }
  std::string before = std::move(committedText);
  committedText = text;
  UndoStack->push(new CSheetStep(*this, std::move(before), std::move(text), run));
}

void TMainForm::RestoreText(const std::string& text) {
  EndTuningRun();
  restoring = true;
  try {
    ApplyContent(ReadSheetFile(text));
  } catch (...) {
    restoring = false;
    throw;
  }
  committedText = text;
  restoring = false;
}

void TMainForm::StartHistory() {
  committedText = WriteSheetFile(*Sheet, Frequency, FrequencyUnit, false);
  if (!UndoStack) return;
  UndoStack->clear();
  UndoStack->setClean();
  setWindowModified(false);
}

void TMainForm::ApplyContent(const SSheetContent& content, std::string* notice) {
  // An open, an undo or a redo in the middle of a drag ends the drag first.
  AbortGesture();
  meter = ApplySheetFile(content, *Sheet, notice);
  const bool frequencyChanged =
      Frequency != content.Frequency || FrequencyUnit != content.FrequencyUnit;
  Frequency = content.Frequency;
  FrequencyUnit = content.FrequencyUnit;
  {
    const QSignalBlocker block(ui->FComboBox);
    ui->FComboBox->setCurrentIndex(FrequencyUnit);
  }
  ApplySheetSettings(content.Settings);
  UpdateReadoutState();
  PaintSheet();
  Recompute(false);  // numbered by the load already
  if (frequencyChanged) SaveSettings();
}

// ---- files

bool TMainForm::OpenFile(const QString& path) {
  const QString name = QFileInfo(path).fileName();
  QFile file(path);
  QString reason;
  std::string notice;
  if (!file.open(QIODevice::ReadOnly)) {
    reason = file.errorString();
  } else {
    // No more than one byte beyond the largest sheet file: enough for the refusal to say so.
    const QByteArray bytes = file.read(static_cast<qint64>(SheetFileMaxBytes) + 1);
    try {
      const SSheetContent content =
          ReadSheetFile(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
      ApplyContent(content, &notice);
    } catch (const Exception& e) {
      reason = QString::fromStdString(e.what());
    }
  }
  if (!reason.isEmpty()) {
    QMessageBox::critical(this, tr("Open"), tr("Cannot open %1:\n%2").arg(name, reason));
    return false;
  }
  FileName = QFileInfo(path).absoluteFilePath();
  StartHistory();
  AddRecentFile(FileName);
  UpdateTitle();
  HintPanelHide();  // the sheet has its parts: the start-up hint would only cover them
  if (!notice.empty()) {
    // Said where the reasons for a missing number are said; the next edit replaces it.
    statusText = QString::fromStdString(notice);
    statusLine->setToolTip(statusText);
    statusLine->setStyleSheet(QStringLiteral("color: rgb(176, 0, 0);"));
    FitStatusLine();
  }
  return true;
}

bool TMainForm::SaveFile(const QString& path) {
  const std::string text = WriteSheetFile(*Sheet, Frequency, FrequencyUnit, true, SheetSettings());
  QSaveFile file(path);
  bool ok = file.open(QIODevice::WriteOnly);
  if (ok) {
    ok = file.write(text.data(), static_cast<qint64>(text.size())) ==
         static_cast<qint64>(text.size());
    if (ok) {
      ok = file.commit();
    } else {
      file.cancelWriting();
    }
  }
  if (!ok) {
    QMessageBox::critical(
        this, tr("Save"),
        tr("Cannot save %1:\n%2").arg(QFileInfo(path).fileName(), file.errorString()));
    return false;
  }
  FileName = QFileInfo(path).absoluteFilePath();
  UndoStack->setClean();
  AddRecentFile(FileName);
  UpdateTitle();
  return true;
}

bool TMainForm::FileSave() {
  return FileName.isEmpty() ? FileSaveAs() : SaveFile(FileName);
}

bool TMainForm::FileSaveAs() {
  const QString start =
      FileName.isEmpty() ? DialogFolder() + QStringLiteral("/untitled") + Suffix : FileName;
  QString path = QFileDialog::getSaveFileName(this, tr("Save sheet"), start,
                                              tr("%1 sheets (*.vorzeta)").arg(ApplicationName));
  if (path.isEmpty()) return false;
  if (QFileInfo(path).suffix().isEmpty()) path += Suffix;
  return SaveFile(path);
}

void TMainForm::FileOpen() {
  AbortGesture();
  if (!MaybeSave()) return;
  const QString path =
      QFileDialog::getOpenFileName(this, tr("Open sheet"), DialogFolder(),
                                   tr("%1 sheets (*.vorzeta);;All files (*)").arg(ApplicationName));
  if (!path.isEmpty()) OpenFile(path);
}

bool TMainForm::MaybeSave() {
  if (!UndoStack || UndoStack->isClean()) return true;
  const QString name = FileName.isEmpty() ? tr("The sheet") : QFileInfo(FileName).fileName();
  const auto answer = QMessageBox::warning(
      this, tr("Unsaved changes"), tr("%1 has changes that are not saved.").arg(name),
      QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
  if (answer == QMessageBox::Save) return FileSave();
  return answer == QMessageBox::Discard;
}

void TMainForm::UpdateTitle() {
  // "name* — Vorzeta": ending in the program's name, the title gets no second one from the
  // window system.
  const QString application = QString::fromLatin1(ApplicationName);
  const QString name = FileName.isEmpty() ? tr("Untitled") : QFileInfo(FileName).fileName();
  setWindowTitle(name + QStringLiteral("[*] — ") + application);
  setWindowModified(UndoStack && !UndoStack->isClean());
  if (ResponseDock) ResponseDock->ExportFolder = DialogFolder();
}

QString TMainForm::DialogFolder() const {
  if (!FileName.isEmpty()) return QFileInfo(FileName).absolutePath();
  const QStringList recent = RecentFiles();
  if (!recent.isEmpty() && QFileInfo(recent.front()).absoluteDir().exists())
    return QFileInfo(recent.front()).absolutePath();
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  return documents.isEmpty() ? QDir::homePath() : documents;
}

QStringList TMainForm::RecentFiles() {
  return UserStore().value(RecentKey).toStringList();
}

void TMainForm::AddRecentFile(const QString& path) {
  QStringList files = RecentFiles();
  files.removeAll(path);
  files.prepend(path);
  while (files.size() > RecentCount) files.removeLast();
  QSettings store = UserStore();
  store.setValue(RecentKey, files);
  store.sync();
}

void TMainForm::FillRecentMenu() {
  recentMenu->clear();
  for (const char* name : {"FileOpen", "FileSave", "FileSaveAs", "FileExport"})
    recentMenu->addAction(findChild<QAction*>(QString::fromLatin1(name)));
  recentMenu->addSeparator();
  const QStringList files = RecentFiles();
  for (const QString& path : files) {
    recentMenu
        ->addAction(QFileInfo(path).fileName(), this,
                    [this, path] {
                      if (MaybeSave()) OpenFile(path);
                    })
        ->setToolTip(path);
  }
  if (files.isEmpty()) recentMenu->addAction(tr("No recent sheets"))->setEnabled(false);
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (!urls.isEmpty() && urls.front().isLocalFile()) event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.isEmpty() || !urls.front().isLocalFile()) return;
  event->acceptProposedAction();
  if (MaybeSave()) OpenFile(urls.front().toLocalFile());
}

// ---- the readout and pictures of the sheet

QString TMainForm::ReadoutText() const {
  const QString r = ui->REdit->text();
  const QString x = ui->XEdit->text();
  const bool polar = DisplayMode == 1;
  bool number = false;
  r.toDouble(&number);
  if (!number) return QStringLiteral("Z = ") + r;  // "Error", "Infinity"
  const QString at = QStringLiteral(" at ") + QString::fromStdString(FloatText(Frequency)) +
                     QLatin1String(FrequencyUnitSuffix(FrequencyUnit));
  if (polar) {
    QString text = QStringLiteral("|Z| = ") + r + QStringLiteral(" Ω");
    if (HasReactive && !x.isEmpty()) text += QStringLiteral(", phase ") + x + QStringLiteral(" °");
    return HasReactive ? text + at : text;
  }
  if (!HasReactive || x.isEmpty()) return QStringLiteral("Z = ") + r + QStringLiteral(" Ω");
  const bool negative = x.startsWith('-');
  return QStringLiteral("Z = ") + r + (negative ? QStringLiteral(" - j") : QStringLiteral(" + j")) +
         (negative ? x.mid(1) : x) + QStringLiteral(" Ω") + at;
}

void TMainForm::CopyReadout() {
  QString text = ReadoutText();
  if (MatchShown()) text += QStringLiteral("; ") + MatchText();
  QGuiApplication::clipboard()->setText(text);
}

bool TMainForm::ExportSheet(const QString& path) {
  const SRect client = ClientRect();
  const QSize size(client.right - client.left, client.bottom - client.top);
  bool ok = false;
  if (QFileInfo(path).suffix().compare("svg", Qt::CaseInsensitive) == 0) {
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(windowTitle().remove("[*]"));
    QPainter painter;
    ok = painter.begin(&svg);
    if (ok) {
      QtCanvas canvas(painter);
      PaintSheetOnCanvas(canvas, Sheet->view, Sheet->pictures, client);
      ok = painter.end();
    }
  } else {
    QImage image(size, QImage::Format_RGB32);
    {
      QPainter painter(&image);
      QtCanvas canvas(painter);
      PaintSheetOnCanvas(canvas, Sheet->view, Sheet->pictures, client);
    }
    QSaveFile file(path);
    ok = file.open(QIODevice::WriteOnly) && image.save(&file, "PNG") && file.commit();
  }
  if (!ok) {
    QMessageBox::critical(this, tr("Export"),
                          tr("Cannot write %1.").arg(QFileInfo(path).fileName()));
  }
  return ok;
}

void TMainForm::FileExport() {
  QString filter;
  QString path = QFileDialog::getSaveFileName(
      this, tr("Export sheet"),
      DialogFolder() + '/' +
          (FileName.isEmpty() ? QStringLiteral("untitled")
                              : QFileInfo(FileName).completeBaseName()),
      tr("PNG picture (*.png);;SVG drawing (*.svg)"), &filter);
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += filter.contains("svg") ? ".svg" : ".png";
  ExportSheet(path);
}
