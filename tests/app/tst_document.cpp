// Keeping the work, driven through real events: undo and redo of a drawing, the prompt before
// unsaved changes are dropped, Escape in the middle of a wire, saving and opening files.
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QUndoStack>
#include <QtTest>
#include <memory>
#include <string>
#include <vector>

#include "Main.h"
#include "Windows.h"
#include "document/SheetFile.h"
#include "ui_Main.h"

namespace {

struct IsolatedSettings {
  QTemporaryDir dir;
  IsolatedSettings() { qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit()); }
};
const IsolatedSettings isolatedSettings;

}  // namespace

class DocumentTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TProgramWindows<>> program;
  QString promptText;  // the text of the last message box answered
  TMainForm& form() { return program->form; }
  Ui::TMainForm& ui() { return *program->form.ui; }
  std::string Text() {
    return WriteSheetFile(*form().Sheet, form().Frequency, form().FrequencyUnit, false);
  }
  QPoint Pixel(SPoint g) {
    const SPoint p = form().Sheet->view.GridToScreen(g);
    return {p.x, p.y};
  }

  // Clicks `answer` on the next message box, from a timer, so the test never blocks.
  void Answer(QMessageBox::StandardButton answer) {
    QTimer::singleShot(0, this, [this, answer] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      QVERIFY(box);
      promptText = box->text() + "\n" + box->informativeText();
      box->button(answer)->click();
    });
  }

  void Wire(SPoint from, SPoint to) {
    QTest::mousePress(ui().PaintBox, Qt::LeftButton, {}, Pixel(from));
    QTest::mouseMove(ui().PaintBox, Pixel(to));
    QTest::mouseRelease(ui().PaintBox, Qt::LeftButton, {}, Pixel(to));
  }

  // A resistor from the palette between (0,-2) and (0,0), wired to the meter's pins.
  std::vector<std::string> Draw() {
    std::vector<std::string> texts{Text()};
    QTest::mousePress(ui().ImageR, Qt::LeftButton, {}, ui().ImageR->rect().center());
    const QPoint drop = ui().PaintBox->mapTo(&form(), Pixel({0, -1}));
    QTest::mouseMove(&form(), drop);
    QTest::mouseRelease(&form(), Qt::LeftButton, {}, drop);
    texts.push_back(Text());
    Wire({-4, -2}, {0, -2});
    texts.push_back(Text());
    Wire({-4, 0}, {0, 0});
    texts.push_back(Text());
    return texts;
  }

 private slots:
  void init() {
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "Brackenworks", "Vorzeta").clear();
    program = std::make_unique<TProgramWindows<>>();
    form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&form()));
  }
  void cleanup() {
    if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
    program.reset();
  }

  void undoWalksBackEveryEditAndRedoForward() {
    const std::vector<std::string> texts = Draw();
    const QString full = ui().REdit->text();
    QCOMPARE(full, QStringLiteral("1e+3"));
    QVERIFY(form().isWindowModified());
    for (int k = 2; k >= 0; --k) {
      QTest::keyClick(&form(), Qt::Key_Z, Qt::ControlModifier);
      QCOMPARE(Text(), texts[static_cast<size_t>(k)]);
    }
    QVERIFY(!form().UndoStack->canUndo());
    QVERIFY(!form().isWindowModified());
    QCOMPARE(ui().REdit->text(), QStringLiteral("Infinity"));
    QTest::keyClick(&form(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(Text(), texts[1]);
    QTest::keyClick(&form(), Qt::Key_Y, Qt::ControlModifier);
    QTest::keyClick(&form(), Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(Text(), texts[3]);
    QCOMPARE(ui().REdit->text(), full);
    QVERIFY(!form().UndoStack->canRedo());

    // A frequency change is a step of its own.
    form().FComboBoxChange(2);
    QTest::keyClick(&form(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(form().FrequencyUnit, 0);
    QCOMPARE(Text(), texts[3]);
  }

  void escapeMidWireLeavesTheSheetAndHistory() {
    Draw();
    const std::string before = Text();
    const int steps = form().UndoStack->count();
    QTest::mousePress(ui().PaintBox, Qt::LeftButton, {}, Pixel({0, 0}));
    QTest::mouseMove(ui().PaintBox, Pixel({3, 0}));
    QTest::mouseMove(ui().PaintBox, Pixel({3, 4}));
    QVERIFY(Text() != before);
    QTest::keyClick(ui().PaintBox, Qt::Key_Escape);
    QTest::mouseRelease(ui().PaintBox, Qt::LeftButton, {}, Pixel({3, 4}));
    QCOMPARE(Text(), before);
    QCOMPARE(form().UndoStack->count(), steps);
  }

  void unsavedChangesAreNotDroppedWithoutAQuestion() {
    const std::vector<std::string> texts = Draw();
    Answer(QMessageBox::Cancel);
    ui().NewBtn->trigger();
    QCOMPARE(Text(), texts.back());
    Answer(QMessageBox::Cancel);
    QVERIFY(!form().close());
    QVERIFY(form().isVisible());
    Answer(QMessageBox::Discard);
    ui().NewBtn->trigger();
    QCOMPARE(Text(), texts.front());
    QVERIFY(!form().isWindowModified());
    QVERIFY(form().close());  // nothing to lose: no question
  }

  void savedSheetOpensToTheSameTextAndReadout() {
    QTemporaryDir dir;
    const QString path = dir.filePath("ladder.vorzeta");
    const std::string drawn = Draw().back();
    const QString readout = ui().REdit->text();
    QVERIFY(form().SaveFile(path));
    QVERIFY(!form().isWindowModified());
    QVERIFY(form().windowTitle().startsWith("ladder.vorzeta"));
    QCOMPARE(TMainForm::RecentFiles().value(0), path);
    ui().NewBtn->trigger();
    QCOMPARE(form().Sheet->pictures.Count(), 1);
    QVERIFY(form().OpenFile(path));
    QCOMPARE(Text(), drawn);
    QCOMPARE(ui().REdit->text(), readout);
    QTest::keyClick(&form(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("Z = 1e+3 Ω"));

    // A file that cannot be read is named in the message and changes nothing.
    Answer(QMessageBox::Ok);
    QVERIFY(!form().OpenFile(dir.filePath("missing.vorzeta")));
    QVERIFY2(promptText.contains("missing.vorzeta"), qPrintable(promptText));
    QCOMPARE(Text(), drawn);
    QFile broken(dir.filePath("broken.vorzeta"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write(R"({"format": "vorzeta-sheet", "version": 9})");
    broken.close();
    Answer(QMessageBox::Ok);
    QVERIFY(!form().OpenFile(broken.fileName()));
    QVERIFY2(promptText.contains("newer"), qPrintable(promptText));
    QCOMPARE(Text(), drawn);
  }
};

QTEST_MAIN(DocumentTest)
#include "tst_document.moc"
