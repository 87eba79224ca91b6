// The parameter dialog on a bound capacitor parameter: the live check of the typed text,
// the store on Enter and OK, Escape and Cancel, the suffix table and the placement.
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <cmath>
#include <functional>
#include <string>

#include "ElemWin.h"
#include "LoggingMainForm.h"
#include "WindowFixture.h"
#include "Windows.h"
#include "components/CCmp.h"
#include "ui_ElemWin.h"
#include "value/Value.h"

namespace {

const IsolatedSettings isolatedSettings;

const QColor Green(204, 255, 204);
const QColor Yellow(255, 255, 204);

// Runs `inside` once the modal dialog is up on the first parameter of `cmp`, then returns what
// exec() returned.
int EditWith(TElemWinForm& dialog, CCmp& cmp, const QRect& frame,
             const std::function<void()>& inside) {
  QTimer::singleShot(0, &dialog, [&] {
    inside();
    if (dialog.isVisible()) dialog.reject();
  });
  return dialog.Edit(cmp, 0, frame);
}

std::unique_ptr<CCmp> NewCapacitor(const SParam& value) {
  std::unique_ptr<CCmp> c = ElemTypes[KindC]->Create(ElemTypes[KindC]);
  *c->Params()[0].Value = value;
  return c;
}

void Retype(QLineEdit* edit, const QString& s) {
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Backspace);
  QTest::keyClicks(edit, s);
}

}  // namespace

class TestElemWin : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<CCmp> capacitor;
  SParam* slot = nullptr;  // the capacitor's own value
  std::unique_ptr<TElemWinForm> dialog;
  std::unique_ptr<QSignalSpy> valueStored;  // ValueStored

  Ui::TElemWinForm& ui() { return *dialog->ui; }
  QColor EditColour() { return ui().ParamEdit->palette().color(QPalette::Base); }
  // The suffix table sits right of the entry; the dialog's width shows all of it or none.
  bool SuffixTableHidden() { return dialog->width() <= ui().ExpImage->geometry().left(); }
  bool SuffixTableShown() { return dialog->width() > ui().ExpImage->geometry().right(); }

  // Shows the dialog without a nested loop so that keys can be typed step by step.
  void Open() {
    dialog->component = capacitor.get();
    dialog->parameterIndex = 0;
    dialog->show();
  }

 private slots:
  void init() {
    capacitor = NewCapacitor(SParam{1e-9, "1n"});
    slot = capacitor->Params()[0].Value;
    dialog = std::make_unique<TElemWinForm>();
    valueStored = std::make_unique<QSignalSpy>(dialog.get(), &TElemWinForm::ValueStored);
  }
  void cleanup() {
    valueStored.reset();
    dialog.reset();
  }

  void openingShowsTheStoredParameter() {
    const int result = EditWith(*dialog, *capacitor, QRect(100, 50, 548, 456), [&] {
      QCOMPARE(ui().NameLabel->text(), QString("Capacitor"));
      QCOMPARE(ui().ParameterLabel->text(), QString("Capacitance, F"));
      QCOMPARE(ui().Label3->text(), QString("Component :"));
      QCOMPARE(ui().Label4->text(), QString("Parameter :"));
      QCOMPARE(ui().ParamEdit->text(), QString("1n"));
      QCOMPARE(ui().ParamEdit->selectedText(), QString("1n"));
      QCOMPARE(dialog->focusWidget(), ui().ParamEdit);
      QCOMPARE(ui().ValueLabel->text(), QString("1e-9"));
      QCOMPARE(EditColour(), Green);
      QVERIFY(ui().OkBtn->isEnabled());
      QVERIFY(dialog->valid);
      QVERIFY(SuffixTableHidden());
    });
    QCOMPARE(result, int(QDialog::Rejected));
    QCOMPARE(slot->Text, std::string("1n"));
    QCOMPARE(valueStored->count(), 0);
  }

  void openingCentresOverTheMainWindow() {
    // Odd and negative differences of both parities: the halves truncate toward zero, which
    // for a dialog larger than the main window is not the same as rounding down.
    const QRect frames[] = {QRect(100, 50, 548, 456), QRect(100, 50, 549, 101),
                            QRect(300, 400, 101, 100), QRect(-40, -30, 100, 99)};
    for (const QRect& main : frames) {
      QRect seen;
      EditWith(*dialog, *capacitor, main, [&] { seen = dialog->frameGeometry(); });
      const int dx = main.width() - seen.width();
      const int dy = main.height() - seen.height();
      const auto half = [](int d) { return d >= 0 ? d / 2 : -(-d / 2); };
      const QPoint expected(main.left() + half(dx), main.top() + half(dy));
      QCOMPARE(seen.topLeft(), expected);
    }
  }

  void typedTextIsCheckedAtEveryChange_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");  // empty: "Invalid format"
    QTest::addColumn<double>("value");

    QTest::newRow("suffix as point") << "4k7"
                                     << "4.7e+3" << 4700.0;
    QTest::newRow("unit letters") << "10uF"
                                  << "10e-6" << 10e-6;
    QTest::newRow("negative milli") << "-470m"
                                    << "-470e-3" << -0.47;
    QTest::newRow("padded") << "  2u2  "
                            << "2.2e-6" << 2.2e-6;
    QTest::newRow("exponent") << "1.5e-3"
                              << "1.5e-3" << 1.5e-3;
    QTest::newRow("twelve digits") << "0.333333333333333"
                                   << "333.333333333e-3" << 1.0 / 3;
    QTest::newRow("zero with suffix") << "0.00k"
                                      << "0" << 0.0;
    QTest::newRow("empty") << ""
                           << "0" << 0.0;
    QTest::newRow("lone minus") << "-"
                                << "0" << 0.0;
    QTest::newRow("lone plus") << "+"
                               << "0" << 0.0;
    QTest::newRow("lone point") << "."
                                << "0" << 0.0;
    QTest::newRow("lone k") << "k"
                            << "0" << 0.0;
    QTest::newRow("lone T") << "T"
                            << "0" << 0.0;
    QTest::newRow("lone f") << "f"
                            << "0" << 0.0;
    QTest::newRow("comma") << "4,7"
                           << "" << 0.0;
    QTest::newRow("inner space") << "1 k"
                                 << "" << 0.0;
    QTest::newRow("two points") << "1.2.3"
                                << "" << 0.0;
    QTest::newRow("letter first") << "x1"
                                  << "" << 0.0;
    QTest::newRow("two signs") << "+-3"
                               << "" << 0.0;
    QTest::newRow("lone E") << "E"
                            << "" << 0.0;
    QTest::newRow("non-ASCII inside") << QString::fromUtf8("4\u00b57") << "" << 0.0;
    QTest::newRow("beyond double range") << "1e400"
                                         << "" << 0.0;
    QTest::newRow("overflowing digits") << QString(400, '9') << "" << 0.0;
  }

  void typedTextIsCheckedAtEveryChange() {
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(double, value);
    Open();
    Retype(ui().ParamEdit, typed);
    const bool valid = !shown.isEmpty();
    QCOMPARE(ui().ValueLabel->text(), valid ? shown : QString("Invalid format"));
    QCOMPARE(dialog->valid, valid);
    QCOMPARE(ui().OkBtn->isEnabled(), valid);
    QCOMPARE(EditColour(), valid ? Green : Yellow);
    if (valid) {
      QVERIFY2(std::abs(dialog->value - value) <= 1e-12 * std::abs(value),
               qPrintable(QString::number(dialog->value, 'g', 17)));
      QCOMPARE(dialog->text, TrimText(typed.toStdString()));
    }
    // Typing never stores anything by itself.
    QCOMPARE(slot->Text, std::string("1n"));
    QCOMPARE(valueStored->count(), 0);
  }

  void invalidTextKeepsThePreviousValue() {
    Open();
    Retype(ui().ParamEdit, "4k7");
    QTest::keyClick(ui().ParamEdit, Qt::Key_Comma);
    QVERIFY(!dialog->valid);
    QCOMPARE(dialog->value, 4700.0);
    QTest::keyClick(ui().ParamEdit, Qt::Key_Backspace);
    QVERIFY(dialog->valid);
    QCOMPARE(EditColour(), Green);
  }

  void enterOnInvalidTextStaysOpenAndStoresNothing() {
    Open();
    Retype(ui().ParamEdit, "4,7");
    QTest::keyClick(ui().ParamEdit, Qt::Key_Return);
    QTest::keyClick(ui().ParamEdit, Qt::Key_Enter);
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->ApplyValue());
    QCOMPARE(slot->Text, std::string("1n"));
    QCOMPARE(slot->Value, 1e-9);
    QCOMPARE(valueStored->count(), 0);
  }

  void enterStoresTextAndValue_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<double>("value");
    QTest::newRow("cleared") << ""
                             << "0" << 0.0;
    QTest::newRow("lone k") << "k"
                            << "0" << 0.0;
    QTest::newRow("worth zero") << "0.00k"
                                << "0" << 0.0;
    QTest::newRow("number") << " 4k7 "
                            << "4k7" << 4700.0;
    QTest::newRow("negative") << "-2n2"
                              << "-2n2" << -2.2e-9;
  }

  void enterStoresTextAndValue() {
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(double, value);
    const int result = EditWith(*dialog, *capacitor, QRect(0, 0, 548, 456), [&] {
      Retype(ui().ParamEdit, typed);
      QTest::keyClick(ui().ParamEdit, Qt::Key_Return);
      QVERIFY(!dialog->isVisible());
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(QString::fromStdString(slot->Text), stored);
    QVERIFY(std::abs(slot->Value - value) <= 1e-12 * std::abs(value));
    QCOMPARE(valueStored->count(), 1);
  }

  void okStoresAndCloses() {
    const int result = EditWith(*dialog, *capacitor, QRect(0, 0, 548, 456), [&] {
      Retype(ui().ParamEdit, "22p");
      QTest::mouseClick(ui().OkBtn, Qt::LeftButton);
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(slot->Text, std::string("22p"));
    QVERIFY(std::abs(slot->Value - 22e-12) < 1e-24);
    QCOMPARE(valueStored->count(), 1);
  }

  void escapeAndCancelStoreNothing() {
    for (const bool viaEscape : {true, false}) {
      valueStored->clear();
      const int result = EditWith(*dialog, *capacitor, QRect(0, 0, 548, 456), [&] {
        Retype(ui().ParamEdit, "47u");
        if (viaEscape) {
          QTest::keyClick(ui().ParamEdit, Qt::Key_Escape);
        } else {
          QTest::mouseClick(ui().CancelBtn, Qt::LeftButton);
        }
        QVERIFY(!dialog->isVisible());
      });
      QCOMPARE(result, int(QDialog::Rejected));
      QCOMPARE(slot->Text, std::string("1n"));
      QCOMPARE(slot->Value, 1e-9);
      QCOMPARE(valueStored->count(), 0);
    }
  }

  void reopeningStartsFromTheStoredText() {
    // Left with an invalid text, the next opening must show the parameter's own state.
    EditWith(*dialog, *capacitor, QRect(0, 0, 548, 456), [&] { Retype(ui().ParamEdit, "4,7"); });
    *slot = SParam{4700.0, "4k7"};
    EditWith(*dialog, *capacitor, QRect(0, 0, 548, 456), [&] {
      QCOMPARE(ui().ParamEdit->text(), QString("4k7"));
      QCOMPARE(ui().ValueLabel->text(), QString("4.7e+3"));
      QCOMPARE(EditColour(), Green);
      QVERIFY(ui().OkBtn->isEnabled());
    });
  }

  void storedValueIsDrawnThenMeasuredByTheWindow() {
    TProgramWindows<LoggingMainForm> program;
    EditWith(program.elemWin, *capacitor, QRect(0, 0, 548, 456), [&] {
      QCOMPARE(program.form.log, std::string());
      Retype(program.elemWin.ui->ParamEdit, "4k7");
      QTest::keyClick(program.elemWin.ui->ParamEdit, Qt::Key_Return);
    });
    // The label is repainted before the measurement, which keeps the wiring as it is.
    QCOMPARE(program.form.log, std::string("PaintSheet;Recompute(false);"));
  }

  void storeReachesTheEditedComponentAfterAnotherBinding() {
    // Another capacitor's table is asked for (painting does) while the dialog is open.
    const std::unique_ptr<CCmp> other = NewCapacitor(SParam{3.3e-6, "3u3"});
    EditWith(*dialog, *capacitor, QRect(0, 0, 548, 456), [&] {
      Retype(ui().ParamEdit, "22p");
      other->Params();
      QTest::keyClick(ui().ParamEdit, Qt::Key_Return);
    });
    QCOMPARE(slot->Text, std::string("22p"));
    QCOMPARE(other->Params()[0].Value->Text, std::string("3u3"));
    QCOMPARE(other->Params()[0].Value->Value, 3.3e-6);
  }

  void speedButtonShowsAndHidesTheSuffixTable() {
    Open();
    QVERIFY(SuffixTableHidden());
    const int height = dialog->height();
    QTest::mouseClick(ui().SpeedButton1, Qt::LeftButton);
    QVERIFY(SuffixTableShown());
    QTest::mouseClick(ui().SpeedButton1, Qt::LeftButton);
    QVERIFY(SuffixTableHidden());
    // Left open at the last close, the table is hidden again at the next opening.
    QTest::mouseClick(ui().SpeedButton1, Qt::LeftButton);
    dialog->hide();
    Open();
    QVERIFY(SuffixTableHidden());
    QCOMPARE(dialog->height(), height);
  }

  void suffixTableIsBlackOnWhite() {
    const QImage image = TElemWinForm::SuffixTablePicture(QSize(175, 156)).toImage();
    QCOMPARE(image.size(), QSize(175, 156));
    int black = 0;
    int white = 0;
    int other = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const QColor c = image.pixelColor(x, y);
        if (c == Qt::black) {
          ++black;
        } else if (c == Qt::white) {
          ++white;
        } else if (c.red() != c.green() || c.green() != c.blue()) {
          ++other;  // anti-aliased text stays grey, never coloured
        }
      }
    }
    QVERIFY(white > black);
    QVERIFY(black > 0);
    QCOMPARE(other, 0);
    // Every one of the ten rows carries some ink in both columns.
    const int rowHeight = 155 / 10;
    for (int r = 0; r < 10; ++r) {
      for (const auto& [x0, x1] : {std::pair{2, 66}, std::pair{72, 172}}) {
        bool ink = false;
        for (int y = r * rowHeight + 2; y < (r + 1) * rowHeight - 1 && !ink; ++y) {
          for (int x = x0; x < x1 && !ink; ++x) ink = image.pixelColor(x, y) != Qt::white;
        }
        QVERIFY2(ink, qPrintable(QString("row %1 column at %2").arg(r).arg(x0)));
      }
    }
  }
};

QTEST_MAIN(TestElemWin)
#include "tst_elemwin.moc"
