// Keeping the work, driven through real events: undo and redo of a drawing, the prompt before
// unsaved changes are dropped, Escape in the middle of a wire, saving and opening files.
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QUndoStack>
#include <QWindow>
#include <QtTest>
#include <memory>
#include <string>
#include <vector>

#include "Main.h"
#include "ResponseDock.h"
#include "Settings.h"
#include "WindowFixture.h"
#include "Windows.h"
#include "analysis/Measure.h"
#include "document/SheetFile.h"
#include "ui_Main.h"

namespace {

const IsolatedSettings isolatedSettings;

}  // namespace

class DocumentTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TProgramWindows<>> program;
  QString promptText;  // the text of the last message box answered
  TMainForm& form() { return program->form; }
  Ui::TMainForm& ui() { return program->form.Controls(); }
  std::string Text() {
    return WriteSheetFile(form().CurrentSheet(), form().WorkingFrequency().Value,
                          form().WorkingFrequency().Unit, false);
  }
  QPoint Pixel(SPoint g) {
    const SPoint p = form().CurrentSheet().view.GridToScreen(g);
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

  static void WriteFile(const QString& path, const char* text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
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
    QTest::mouseMove(ui().PaintBox, Pixel({0, -1}));
    QTest::mouseRelease(ui().PaintBox, Qt::LeftButton, {}, Pixel({0, -1}));
    texts.push_back(Text());
    Wire({-4, -2}, {0, -2});
    texts.push_back(Text());
    Wire({-4, 0}, {0, 0});
    texts.push_back(Text());
    return texts;
  }

 private slots:
  void init() {
    // Settings are written as they change; each test starts from none.
    program = StartProgram<TProgramWindows<>>();
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
    QVERIFY(!form().History().canUndo());
    QVERIFY(!form().isWindowModified());
    QCOMPARE(ui().REdit->text(), QStringLiteral("Infinity"));
    QTest::keyClick(&form(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(Text(), texts[1]);
    QTest::keyClick(&form(), Qt::Key_Y, Qt::ControlModifier);
    QTest::keyClick(&form(), Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(Text(), texts[3]);
    QCOMPARE(ui().REdit->text(), full);
    QVERIFY(!form().History().canRedo());

    // A frequency change is a step of its own.
    form().FComboBoxChange(2);
    QTest::keyClick(&form(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(form().WorkingFrequency().Unit, 0);
    QCOMPARE(Text(), texts[3]);

    // Escape in the middle of a wire: the sheet as at the press, and no step.
    const int steps = form().History().count();
    QTest::mousePress(ui().PaintBox, Qt::LeftButton, {}, Pixel({0, 0}));
    QTest::mouseMove(ui().PaintBox, Pixel({3, 0}));
    QTest::mouseMove(ui().PaintBox, Pixel({3, 4}));
    QVERIFY(Text() != texts[3]);
    QTest::keyClick(ui().PaintBox, Qt::Key_Escape);
    QTest::mouseRelease(ui().PaintBox, Qt::LeftButton, {}, Pixel({3, 4}));
    QCOMPARE(Text(), texts[3]);
    QCOMPARE(form().History().count(), steps);
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
    // Z0 and the response range go with the file; the panel's range is also remembered.
    QVERIFY(PutReferenceImpedance("75"));
    QVERIFY(form().Response().SetRange("10", "100k", 50));
    QVERIFY(form().SaveFile(path));
    {
      TProgramWindows<> again;
      again.form.show();
      const TResponseDock& d = again.form.Response();
      QVERIFY(d.StartHertz() == 10 && d.StopHertz() == 1e5 && d.PointCount() == 50 &&
              !d.FollowsWorkingFrequency());
    }
    QVERIFY(PutReferenceImpedance("50"));
    form().Response().SetFollowsWorkingFrequency(true);
    QVERIFY(!form().isWindowModified());
    QVERIFY(form().windowTitle().startsWith("ladder.vorzeta"));
    QCOMPARE(TMainForm::RecentFiles().value(0), path);
    ui().NewBtn->trigger();
    QCOMPARE(form().CurrentSheet().pictures.Count(), 1);
    QVERIFY(form().OpenFile(path));
    QCOMPARE(Text(), drawn);
    QCOMPARE(ui().REdit->text(), readout);
    QCOMPARE(ReferenceImpedance, 75.0);
    QCOMPARE(form().Response().ReferenceImpedance(), 75.0);
    QCOMPARE(form().Response().StopHertz(), 1e5);
    QVERIFY(!form().Response().FollowsWorkingFrequency());
    // A file that cannot be read is named in the message and changes nothing.
    Answer(QMessageBox::Ok);
    QVERIFY(!form().OpenFile(dir.filePath("missing.vorzeta")));
    QVERIFY2(promptText.contains("missing.vorzeta"), qPrintable(promptText));
    QCOMPARE(Text(), drawn);
    WriteFile(dir.filePath("new.vorzeta"), R"({"format": "vorzeta-sheet", "version": 9})");
    Answer(QMessageBox::Ok);
    QVERIFY(!form().OpenFile(dir.filePath("new.vorzeta")));
    QVERIFY2(promptText.contains("newer"), qPrintable(promptText));
    QCOMPARE(Text(), drawn);
  }

  // A 1 uF capacitor across the meter at 1 kHz: X = -1 / (2 pi 1e3 1e-6) = -159 ohm; the
  // readout shows the phase negated, +90.
  void copyExportAndSettingsKeepUpWithTheSheet() {
    QTemporaryDir dir;
    WriteFile(dir.filePath("c.vorzeta"),
              R"({"format": "vorzeta-sheet", "version": 1, "frequency": "1", "unit": "kHz",
      "components": [{"kind": "meter", "x": -4, "y": -2, "orientation": 1, "values": []},
                     {"kind": "capacitor", "x": 0, "y": -2, "orientation": 1, "values": ["1u"]}],
      "wires": [{"from": [-4, -2], "to": [0, -2]}, {"from": [-4, 0], "to": [0, 0]}],
      "dots": []})");
    // A file without Z0 and range leaves both as they are.
    QVERIFY(PutReferenceImpedance("33"));
    QVERIFY(form().Response().SetRange("1", "1M", 99));
    QVERIFY(form().OpenFile(dir.filePath("c.vorzeta")));
    QCOMPARE(ReferenceImpedance, 33.0);
    QCOMPARE(form().Response().PointCount(), 99);
    QVERIFY(!form().Response().FollowsWorkingFrequency());
    const struct {
      int mode;
      QString text;
    } rows[] = {{0, "Z = 0 - j159 Ω at 1 kHz"}, {1, "|Z| = 159 Ω, phase 90 ° at 1 kHz"}};
    for (const auto& row : rows) {
      DisplayMode = row.mode;
      form().Recompute(true);
      if (row.mode == 0)
        QTest::keyClick(&form(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
      else
        QTest::mouseClick(ui().REdit->parentWidget()->findChild<QWidget*>("CopyBtn"),
                          Qt::LeftButton);
      QCOMPARE(QApplication::clipboard()->text(), row.text);
    }
    DisplayMode = 0;

    // A picked frequency with more digits than the field shows is the one its text holds, so
    // the sheet text (and with it an undo or an open) reads at the same frequency.
    form().SetWorkingFrequency(5032.921210448712);
    QVERIFY(ReadSheetFile(Text()).Frequency ==
            form().WorkingFrequency().Value);  // exactly, not fuzzily

    // The unit is stored as soon as it is chosen, not only at close.
    form().FComboBoxChange(2);
    const QSettings store(QSettings::NativeFormat, QSettings::UserScope, OrganisationName,
                          ApplicationName);
    QCOMPARE(store.value("FP").toString(), QStringLiteral("2"));

    // Pictures of the sheet, drawn as on screen.
    QVERIFY(form().ExportSheet(dir.filePath("c.png")));
    QVERIFY(form().ExportSheet(dir.filePath("c.svg")));
    QCOMPARE(QImage(dir.filePath("c.png")).size(), ui().PaintBox->size());
    QFile svg(dir.filePath("c.svg"));
    QVERIFY(svg.open(QIODevice::ReadOnly));
    QVERIFY(svg.readAll().contains("<svg"));

    // Five recent files at most, the last saved first.
    for (int k = 0; k < 7; ++k)
      QVERIFY(form().SaveFile(dir.filePath(QString("s%1.vorzeta").arg(k))));
    const QStringList recent = TMainForm::RecentFiles();
    QCOMPARE(recent.size(), 5);
    QCOMPARE(recent.front(), dir.filePath("s6.vorzeta"));
  }

  // Ctrl+Z is the sheet's undo wherever the focus is, unless the frequency field holds typing
  // of its own; Ctrl+N is New; the title names the program once; a unit chosen in the middle
  // of a placing is a step of its own, without the part.
  void historyKeysNewAndTitle() {
    Draw();
    const QString title = form().windowHandle()->title();
    QVERIFY2(
        title.endsWith(ApplicationName) && title.count(ApplicationName) == 1 && title.contains('*'),
        qPrintable(title));
    PlacePart(form().CurrentSheet(), KindC, Orientation::R90, {6, 0});
    FinishSheet(form());
    form().CommitStep();
    const std::string withC = Text();
    form().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form()));
    ui().FEdit->setFocus();
    ui().FEdit->selectAll();
    QTest::keyClicks(ui().FEdit, "2k");
    QTest::keyClick(ui().FEdit, Qt::Key_Return);
    QCOMPARE(form().WorkingFrequency().Unit, 1);
    QTest::keyClick(ui().FEdit, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(Text(), withC);
    QTest::keyClicks(ui().FEdit, "7");
    QTest::keyClick(ui().FEdit, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(Text(), withC);  // the typing went, not the capacitor
    QCOMPARE(ui().FEdit->text(), QStringLiteral("1"));

    QTest::mousePress(ui().ImageC, Qt::LeftButton, {}, ui().ImageC->rect().center());
    QTest::mouseMove(ui().PaintBox, Pixel({6, 2}));
    const int step = form().History().index();
    form().FComboBoxChange(1);
    QCOMPARE(form().History().index(), step + 1);  // a step without the half-placed part
    QCOMPARE(ReadSheetFile(Text()).Components.size(), ReadSheetFile(withC).Components.size());
    QVERIFY(QWidget::mouseGrabber() == nullptr);

    form().CurrentSheet().view.PanX = 5;
    Answer(QMessageBox::Discard);
    QTest::keyClick(&form(), Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(form().CurrentSheet().view.PanX, 0.0);
  }
};

QTEST_MAIN(DocumentTest)
#include "tst_document.moc"
