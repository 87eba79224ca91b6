// The four persisted values of the main window in the user's settings store, and the
// settings dialog that changes the display with immediate effect.
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <numbers>
#include <string>
#include <utility>

#include "ElemWin.h"
#include "LoggingMainForm.h"
#include "Main.h"
#include "Settings.h"
#include "Windows.h"
#include "analysis/Match.h"
#include "analysis/Measure.h"
#include "components/CCmp.h"
#include "sheet/CPct.h"
#include "ui_Main.h"
#include "ui_Settings.h"
#include "value/Value.h"

namespace {

// A main window that counts its measurements; the dialog reaches it through SheetHost.
class CountingMainForm : public TMainForm {
 public:
  void Recompute(bool renumber) override {
    ++recomputes;
    TMainForm::Recompute(renumber);
  }
  int recomputes = 0;
};

using Program = TProgramWindows<CountingMainForm>;

using LoggingProgram = TProgramWindows<LoggingMainForm>;

QSettings ExpectedStore() {
  return QSettings(QSettings::NativeFormat, QSettings::UserScope, OrganisationName,
                   ApplicationName);
}

struct Stored {
  int display;
  int digits;
  double frequency;
  int unit;
};
const Stored Defaults{0, 3, 1.0, 0};
// Differs from the defaults in every field, so that a partial load shows.
const Stored Stray{1, 7, 9.5, 2};

void Put(TMainForm& form, const Stored& s) {
  DisplayMode = s.display;
  SignificantDigits = s.digits;
  form.PutWorkingFrequency({s.frequency, s.unit});
}

Stored Taken(const TMainForm& form) {
  return {DisplayMode, SignificantDigits, form.WorkingFrequency().Value,
          form.WorkingFrequency().Unit};
}

bool Same(const Stored& a, const Stored& b) {
  return a.display == b.display && a.digits == b.digits && a.unit == b.unit &&
         std::abs(a.frequency - b.frequency) <= 1e-14 * std::abs(b.frequency);
}

// A click where a user clicks a radio item: on its indicator, not in the empty space beyond
// its caption.
void ClickItem(QRadioButton* item) {
  QTest::mouseClick(item, Qt::LeftButton, {}, QPoint(8, item->height() / 2));
}

// Runs `inside` once the modal dialog is up; a failed check there must not leave it open.
void WhileOpen(QDialog& dialog, std::function<void()> inside) {
  QTimer::singleShot(0, &dialog, [&dialog, inside] {
    inside();
    if (dialog.isVisible()) dialog.reject();
  });
}

// A part across the meter's pins, the wiring attached as after an edit.
void AcrossMeter(TMainForm& form, int kind, SParam value) {
  CSheet& sheet = form.CurrentSheet();
  const CPct* meter = nullptr;
  for (int i = 0; i < sheet.pictures.Count(); ++i)
    if (sheet.pictures.At(i)->cmp == form.Meter()) meter = sheet.pictures.At(i);
  QVERIFY(meter != nullptr);
  const CPct* part = sheet.pictures.At(sheet.AddElement(kind, Orientation::R90, 0, -2));
  for (int pin = 0; pin < 2; ++pin)
    sheet.pictures.Add(std::make_unique<CLine>(meter->PinPos(pin), part->PinPos(pin), false));
  *part->cmp->Params()[0].Value = value;
  sheet.SelectOnly(-1);
  sheet.pictures.AttachElements();
}

QString Text(const Stored& s) {
  return QString("Display %1, Digits %2, F %3, FP %4")
      .arg(s.display)
      .arg(s.digits)
      .arg(s.frequency, 0, 'g', 17)
      .arg(s.unit);
}

}  // namespace

class SettingsTest : public QObject {
  Q_OBJECT

  QString configHome;
  QString storeFile;

  void ClearStore() {
    QSettings store = ExpectedStore();
    store.clear();
    store.sync();
  }

 public:
  explicit SettingsTest(QString home) : configHome(std::move(home)) {}

 private slots:
  void initTestCase() {
    // The user's store lies under the temporary folder set before the application started.
    storeFile = ExpectedStore().fileName();
    QVERIFY2(storeFile.startsWith(configHome + "/"), qPrintable(storeFile));
  }

  void init() {
    ClearStore();
    DisplayMode = 0;
    SignificantDigits = 3;
  }

  void firstRunTakesTheDefaults() {
    QFile::remove(storeFile);
    TMainForm form;
    Put(form, Stray);
    form.LoadSettings();
    QVERIFY2(Same(Taken(form), Defaults), qPrintable(Text(Taken(form))));
  }

  void savedValuesComeBackInANewWindow_data() {
    QTest::addColumn<int>("display");
    QTest::addColumn<int>("digits");
    QTest::addColumn<double>("frequency");
    QTest::addColumn<int>("unit");
    QTest::newRow("kHz") << 1 << 5 << 2.5 << 1;
    QTest::newRow("smallest digits") << 0 << 2 << 5e-5 << 0;
    QTest::newRow("largest digits") << 1 << 8 << 123456.789 << 2;
    QTest::newRow("zero frequency") << 0 << 3 << 0.0 << 0;
    QTest::newRow("fifteen digits") << 0 << 4 << 1.23456789012345 << 1;
    QTest::newRow("large") << 1 << 6 << 4e20 << 2;
  }

  void savedValuesComeBackInANewWindow() {
    QFETCH(int, display);
    QFETCH(int, digits);
    QFETCH(double, frequency);
    QFETCH(int, unit);
    const Stored saved{display, digits, frequency, unit};
    {
      TMainForm form;
      Put(form, saved);
      form.SaveSettings();
    }
    TMainForm form;
    Put(form, Stray);
    form.LoadSettings();
    QVERIFY2(Same(Taken(form), saved), qPrintable(Text(Taken(form))));
  }

  void storedTextIsCheckedAllOrNothing_data() {
    QTest::addColumn<QVariant>("display");  // an invalid QVariant: the value is missing
    QTest::addColumn<QVariant>("digits");
    QTest::addColumn<QVariant>("frequency");
    QTest::addColumn<QVariant>("unit");
    QTest::addColumn<bool>("taken");  // false: all four defaults
    QTest::addColumn<double>("expectedFrequency");
    QTest::addColumn<QVariant>("z0");  // Z0 stands apart: it alone falls back to its default
    QTest::addColumn<double>("expectedZ0");

    const QVariant none;
    auto row = [](const char* name, QVariant d, QVariant g, QVariant f, QVariant p, bool taken,
                  double expected = 1.0, QVariant z0 = QVariant(), double expectedZ0 = 50) {
      QTest::newRow(name) << d << g << f << p << taken << expected << z0 << expectedZ0;
    };
    row("all good", "1", "5", "2.5", "1", true, 2.5);
    row("scientific", "1", "5", "5E-5", "1", true, 5e-5);
    row("suffix letter", "1", "5", "4k7", "1", true, 4700.0);
    row("signed integers", "+1", "-0", "2.5", "1", false);  // digits 0 is out of range
    row("explicit plus", "+1", "+5", "2.5", "+1", true, 2.5);
    row("F missing", "1", "5", none, "1", false);
    row("Display missing", none, "5", "2.5", "1", false);
    row("FP missing", "1", "5", "2.5", none, false);
    row("digits as a word", "1", "five", "2.5", "1", false);
    row("digits padded", "1", " 5", "2.5", "1", false);
    row("digits with a tail", "1", "5x", "2.5", "1", false);
    row("digits as a decimal", "1", "5.0", "2.5", "1", false);
    row("digits beyond int", "1", "99999999999", "2.5", "1", false);
    row("empty display", "", "5", "2.5", "1", false);
    row("F not a number", "1", "5", "1,5", "1", false);
    row("F empty", "1", "5", "", "1", false);
    row("F a list", "1", "5", QStringList{"1", "5"}, "1", false);
    row("display 2", "2", "5", "2.5", "1", false);
    row("display -1", "-1", "5", "2.5", "1", false);
    row("digits 1", "1", "1", "2.5", "1", false);
    row("digits 9", "1", "9", "2.5", "1", false);
    row("digits 2", "1", "2", "2.5", "1", true, 2.5);
    row("digits 8", "1", "8", "2.5", "1", true, 2.5);
    row("unit 4", "1", "5", "2.5", "4", false);
    row("unit 3 (GHz)", "1", "5", "2.5", "3", true, 2.5);
    row("unit -1", "1", "5", "2.5", "-1", false);
    row("unit 2", "1", "5", "2.5", "2", true, 2.5);
    row("negative frequency", "1", "5", "-2.5", "1", false);
    row("infinite frequency", "1", "5", "1e400", "1", false);
    row("zero frequency", "1", "5", "0", "1", true, 0.0);
    row("Z0 with a suffix", "1", "5", "2.5", "1", true, 2.5, "1k2", 1200);
    row("Z0 beside a bad F", "1", "5", "x", "1", false, 1.0, "75", 75);
    row("Z0 zero", "1", "5", "2.5", "1", true, 2.5, "0", 50);
  }

  void storedTextIsCheckedAllOrNothing() {
    QFETCH(QVariant, display);
    QFETCH(QVariant, digits);
    QFETCH(QVariant, frequency);
    QFETCH(QVariant, unit);
    QFETCH(bool, taken);
    QFETCH(double, expectedFrequency);
    QFETCH(QVariant, z0);
    QFETCH(double, expectedZ0);
    PutReferenceImpedance("33");
    {
      QSettings store = ExpectedStore();
      if (z0.isValid()) store.setValue("Z0", z0);
      if (display.isValid()) store.setValue("Display", display);
      if (digits.isValid()) store.setValue("Digits", digits);
      if (frequency.isValid()) store.setValue("F", frequency);
      if (unit.isValid()) store.setValue("FP", unit);
    }
    TMainForm form;
    Put(form, Stray);
    form.LoadSettings();
    const Stored expected = taken ? Stored{display.toString().toInt(), digits.toString().toInt(),
                                           expectedFrequency, unit.toString().toInt()}
                                  : Defaults;
    QVERIFY2(Same(Taken(form), expected), qPrintable(Text(Taken(form))));
    QCOMPARE(ReferenceImpedance, expectedZ0);
  }

  void valuesAreWrittenAsText() {
    TMainForm form;
    Put(form, Stored{1, 5, 5e-5, 2});
    form.SaveSettings();
    QFile file(storeFile);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    QStringList entries;
    for (const QByteArray& line : file.readAll().split('\n')) {
      if (line.contains('=')) entries << QString::fromLatin1(line.trimmed());
    }
    // The file keeps its keys sorted; what matters is one plain text entry per value.
    entries.sort();
    QCOMPARE(entries, QStringList({"Digits=5", "Display=1", "F=5E-5", "FP=2"}));
  }

  void showingTheMainWindowLoadsAndClosingItSaves() {
    {
      QSettings store = ExpectedStore();
      store.setValue("Display", "1");
      store.setValue("Digits", "4");
      store.setValue("F", "2.5");
      store.setValue("FP", "1");
    }
    {
      Program program;
      program.form.show();
      QVERIFY(QTest::qWaitForWindowExposed(&program.form));
      QCOMPARE(program.form.WorkingFrequency().Value, 2.5);
      QCOMPARE(program.form.WorkingFrequency().Unit, 1);
      QCOMPARE(program.form.Controls().FComboBox->currentIndex(), 1);
      QCOMPARE(program.form.Controls().RLabel->text(), QString("Mag"));
      QCOMPARE(SignificantDigits, 4);
      program.form.PutWorkingFrequency({47.0, 2});
      DisplayMode = 0;
      SignificantDigits = 6;
      program.form.close();
    }
    TMainForm form;
    Put(form, Stray);
    form.LoadSettings();
    QVERIFY2(Same(Taken(form), Stored{0, 6, 47.0, 2}), qPrintable(Text(Taken(form))));
  }

  void dialogAppliesBothControlsAtOnce() {
    LoggingProgram program;
    std::string& log = program.form.log;
    TSettingsForm& dialog = program.settings;
    DisplayMode = 1;
    SignificantDigits = 6;
    int result = -1;
    WhileOpen(dialog, [&] {
      // Loading its own controls applies nothing.
      QCOMPARE(log, std::string());
      QCOMPARE(dialog.RadioIndex(), 1);
      QCOMPARE(dialog.ui->ZComboBox->currentText(), QString("6"));
      QTest::keyClick(dialog.ui->ZComboBox, Qt::Key_Down);
      QCOMPARE(SignificantDigits, 7);
      QCOMPARE(DisplayMode, 1);
      ClickItem(dialog.ui->ZRadioItem0);
      QCOMPARE(DisplayMode, 0);
      QCOMPARE(SignificantDigits, 7);
      QCOMPARE(log, std::string("UpdateReadoutState;Recompute(true);"
                                "UpdateReadoutState;Recompute(true);"));
      // Dimming changes no caption, only what the reading marks; twice, to leave it as it was.
      log.clear();
      dialog.ui->DimCheckBox->toggle();
      dialog.ui->DimCheckBox->toggle();
      QCOMPARE(log, std::string("Recompute(false);Recompute(false);"));
      QTest::mouseClick(dialog.ui->OkBtn, Qt::LeftButton);
    });
    result = dialog.exec();
    QCOMPARE(result, int(QDialog::Accepted));
  }

  // The wheel's series and the tolerances are applied and stored as they change; a tolerance
  // that is no percentage below 100 reverts.
  void seriesAndTolerancesAreStored() {
    Program program;
    TSettingsForm& dialog = program.settings;
    WhileOpen(dialog, [&] {
      QCOMPARE(dialog.ui->SeriesComboBox->currentText(), QString("E12"));
      dialog.ui->SeriesComboBox->setCurrentIndex(static_cast<int>(ESeries::E24));
      for (const auto& [typed, shown] : {std::pair{"2.5", "2.5"}, {"x", "2.5"}, {"100", "2.5"}}) {
        dialog.ui->ToleranceCEdit->setText(typed);
        emit dialog.ui->ToleranceCEdit->editingFinished();
        QCOMPARE(dialog.ui->ToleranceCEdit->text(), QString(shown));
      }
      QTest::mouseClick(dialog.ui->OkBtn, Qt::LeftButton);
    });
    dialog.exec();
    QCOMPARE(TuningSeries, ESeries::E24);
    QCOMPARE(ReadTuningSeries(UserStore().value(TuningSeriesKey).toString()), ESeries::E24);
    QCOMPARE(LoadTolerances().C, 0.025);
    QCOMPARE(LoadTolerances().R, SKindTolerances{}.R);
    TuningSeries = DefaultESeries;
  }

  void readoutFollowsTheDialogWhileItIsOpen() {
    Program program;
    CountingMainForm& form = program.form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // A 1 uF capacitor across the meter, measured at 1 kHz.
    AcrossMeter(form, KindC, SParam{1e-6, "1u"});
    form.PutWorkingFrequency({1.0, 1});
    form.UpdateReadoutState();
    form.Recompute(true);
    QCOMPARE(form.Controls().XEdit->text(), QString("-159"));

    const int before = form.recomputes;
    WhileOpen(program.settings, [&] {
      QCOMPARE(form.recomputes, before);
      ClickItem(program.settings.ui->ZRadioItem1);
      QCOMPARE(form.Controls().RLabel->text(), QString("Mag"));
      QCOMPARE(form.Controls().XLabel->text(), QString("Phase"));
      QCOMPARE(form.Controls().REdit->text(), QString("159"));
      QCOMPARE(form.Controls().XEdit->text(), QString("90"));
      QTest::keyClick(program.settings.ui->ZComboBox, Qt::Key_Down);
      QCOMPARE(form.Controls().REdit->text(), QString("159.2"));
      QTest::mouseClick(program.settings.ui->OkBtn, Qt::LeftButton);
    });
    form.Controls().SettingsBtn->trigger();
    QVERIFY(!program.settings.isVisible());
    // One measurement per change in the dialog and one after it closed.
    QCOMPARE(form.recomputes, before + 3);
  }

  void openingTheDialogAloneDoesNotMeasure() {
    Program program;
    program.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&program.form));
    // Settings that differ from what the controls show, so that loading them changes both.
    DisplayMode = 1;
    SignificantDigits = 6;
    const int before = program.form.recomputes;
    WhileOpen(program.settings, [&] {
      QCOMPARE(program.form.recomputes, before);
      QCOMPARE(program.settings.RadioIndex(), 1);
      QCOMPARE(program.settings.ui->ZComboBox->currentIndex(), 4);
      QTest::mouseClick(program.settings.ui->OkBtn, Qt::LeftButton);
    });
    program.form.Controls().SettingsBtn->trigger();
    QCOMPARE(program.form.recomputes, before + 1);
    QCOMPARE(DisplayMode, 1);
    QCOMPARE(SignificantDigits, 6);
  }
  // Z0 is refused unless above zero; the match line shows the reading's figures against Z0.
  void matchLineShowsTheFiguresOfTheReading() {
    Program program;
    CountingMainForm& form = program.form;
    TSettingsForm& dialog = program.settings;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto* line = form.findChild<QLabel*>("MatchLine");
    QVERIFY(line && !line->isVisible());
    const int sheetHeight = form.Controls().PaintBox->height();
    SignificantDigits = 6;
    for (const char* z0 : {"75", "33"}) {
      WhileOpen(dialog, [&] {
        if (!ShowMatch) dialog.ui->MatchCheckBox->click();
        const double before = ReferenceImpedance;
        for (const char* bad : {"0", "-50", "abc", "1e400"}) {
          dialog.ui->Z0Edit->setText(bad);
          QTest::mouseClick(dialog.ui->OkBtn, Qt::LeftButton);
          QVERIFY2(dialog.isVisible() && ReferenceImpedance == before, bad);
        }
        dialog.ui->Z0Edit->setText(z0);
        QTest::mouseClick(dialog.ui->OkBtn, Qt::LeftButton);
      });
      QCOMPARE(dialog.exec(), int(QDialog::Accepted));
      QCOMPARE(ExpectedStore().value("Z0").toString(), QString(z0));
      QVERIFY(line->isVisible() && line->text().startsWith(QString("Z0 %1 Ω").arg(z0)));
      // The meter alone reads "Infinity", an open; then 30 Ω across it.
      const QString r = form.Controls().REdit->text();
      const SMatch want = MatchFigures(
          r == "Infinity" ? std::numeric_limits<double>::infinity() : ParseValue(r.toStdString()),
          ReferenceImpedance);
      const QStringList shown =
          QRegularExpression("\\|Γ\\| (\\S+) ∠ (\\S+)°, RL (\\S+) dB, VSWR (\\S+), ML (\\S+) dB")
              .match(line->text())
              .capturedTexts();
      QVERIFY2(shown.size() == 6 && want.Gamma, qPrintable(line->text()));
      const double values[] = {std::abs(*want.Gamma),
                               std::arg(*want.Gamma) * 180 / std::numbers::pi, *want.ReturnLossDb,
                               *want.Vswr, *want.MismatchLossDb};
      for (int i = 0; i < 5; ++i)
        QVERIFY2(std::isinf(values[i]) ? shown[i + 1] == "Infinity"
                                       : std::abs(ParseValue(shown[i + 1].toStdString()) -
                                                  values[i]) <= 1e-3 * std::abs(values[i]) + 1e-9,
                 qPrintable(line->text()));
      if (r == "Infinity") {
        AcrossMeter(form, KindR, SParam{30, "30"});
        form.Recompute(true);
      }
    }
    QTRY_COMPARE(form.Controls().PaintBox->height(), sheetHeight);
    form.CopyReadout();
    QVERIFY(QGuiApplication::clipboard()->text().endsWith("; " + line->text()));
  }
};

// The settings store is pointed at a private folder before the application exists, so that
// no real user settings are read or written.
int main(int argc, char** argv) {
  QTemporaryDir configHome;
  if (!configHome.isValid()) return 1;
  qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
  QApplication app(argc, argv);
  SettingsTest test(configHome.path());
  return QTest::qExec(&test, argc, argv);
}

#include "tst_settings.moc"
