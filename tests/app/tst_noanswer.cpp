// The main window explains a readout without a number, dims the parts that carry no current,
// and compares the circuit with a pinned one in the readout and in the response plot.
#include <QCheckBox>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>
#include <algorithm>
#include <memory>

#include "Main.h"
#include "ResponseDock.h"
#include "Settings.h"
#include "WindowFixture.h"
#include "Windows.h"
#include "analysis/Measure.h"
#include "analysis/Sweep.h"
#include "document/SheetFile.h"
#include "ui_Main.h"
#include "value/Value.h"

namespace {

using enum Orientation;

const IsolatedSettings isolatedSettings;

struct SPartAt {
  int kind;
  Orientation orientation;
  SPoint at;
  std::vector<const char*> texts;
};
struct SSheet {
  std::vector<SPartAt> parts;
  std::vector<std::pair<SPoint, SPoint>> wires;
};

// The meter sits at (-4, -2) with its pins at (-4, -2) and (-4, 0); a part turned once runs
// down from its position by two steps.
struct SSheetCase {
  const char* name;
  SSheet sheet;
  double hertz;
  QString readout, status;
  std::vector<int> flagged;  // kinds, sorted
};
const SSheetCase SheetCases[] = {
    // an inductor on one pin and a capacitor on the other, both ends free
    {"open meter",
     {{{KindL, R0, {0, -2}, {"1m"}}, {KindC, R0, {0, 0}, {"1n"}}},
      {{{-4, -2}, {0, -2}}, {{-4, 0}, {0, 0}}}},
     1e3,
     "Infinity",
     "The meter's pins are not connected through any component",
     {KindMeter}},
    // a resistor, then a capacitor down to the rail
    {"capacitor at 0 Hz",
     {{{KindR, R0, {0, -2}, {"1k"}}, {KindC, R90, {2, -2}, {"1n"}}},
      {{{-4, -2}, {0, -2}}, {{-4, 0}, {2, 0}}}},
     0,
     "Infinity",
     "The meter's current has no path: the 1n capacitor is open at 0 Hz",
     {KindC}},
    // the meter on the first winding; the second one ends in a resistor's free end
    {"open transformer winding",
     {{{KindW, R90, {0, -2}, {"1", "3"}}, {KindR, R0, {4, -2}, {"90"}}},
      {{{-4, -2}, {0, -2}}, {{-4, 0}, {0, 0}}, {{2, -2}, {4, -2}}}},
     1e3,
     "Infinity",
     "The meter's current has no path: the other winding of the 1:3 transformer is open",
     {KindW}},
    // an inductor and a capacitor side by side across the meter, at their resonance
    {"tank at resonance",
     {{{KindL, R90, {0, -2}, {"1m"}}, {KindC, R90, {2, -2}, {"1u"}}},
      {{{-4, -2}, {0, -2}}, {{0, -2}, {2, -2}}, {{-4, 0}, {0, 0}}, {{0, 0}, {2, 0}}}},
     5032.9212104487,
     "Infinity",
     "Singular at 5.033 kHz: the 1m inductor and the 1u capacitor resonate; a slightly "
     "different frequency gives a value",
     {KindC, KindL}},
    // the same with a second capacitor across the resistor: bypassed, so not named
    {"bypassed capacitor at 0 Hz",
     {{{KindR, R0, {0, -2}, {"1k"}}, {KindC, R0, {0, -2}, {"10n"}}, {KindC, R90, {2, -2}, {"1n"}}},
      {{{-4, -2}, {0, -2}}, {{-4, 0}, {2, 0}}}},
     0,
     "Infinity",
     "The meter's current has no path: the 1n capacitor is open at 0 Hz",
     {KindC}},
    {"infinite resistance",
     {{{KindL, R0, {0, -2}, {"1m"}}, {KindR, R90, {2, -2}, {"1e999"}}},
      {{{-4, -2}, {0, -2}}, {{-4, 0}, {2, 0}}}},
     50,
     "Infinity",
     "The meter's current has no path: the 1e999 resistor is open (infinite resistance)",
     {KindR}},
    // a negative inductance makes the mutual inductance the root of a negative number
    {"coupling not a number",
     {{{KindLC, R90, {0, -2}, {"-1u", "1u", "0.5"}}, {KindR, R90, {4, -2}, {"50"}}},
      {{{-4, -2}, {0, -2}}, {{-4, 0}, {0, 0}}, {{2, -2}, {4, -2}}, {{2, 0}, {4, 0}}}},
     1e3,
     "Error",
     "At 1 kHz no finite number comes out of the -1u/1u coupled inductors",
     {KindLC}},
    {"frequency beyond range",
     {{{KindC, R90, {0, -2}, {"1n"}}}, {{{-4, -2}, {0, -2}}, {{-4, 0}, {0, 0}}}},
     1e308,
     "Error",
     "The frequency is beyond the range of numbers",
     {}},
    {"infinite value",
     {{{KindC, R90, {0, -2}, {"1e400"}}}, {{{-4, -2}, {0, -2}}, {{-4, 0}, {0, 0}}}},
     1e3,
     "Error",
     "The value of the 1e400 capacitor is infinite",
     {KindC}},
};
// A 1k resistor across the meter and a 470 one hanging from its top end.
const SSheet Dangling{{{KindR, R90, {0, -2}, {"1k"}}, {KindR, R0, {2, -2}, {"470"}}},
                      {{{-4, -2}, {0, -2}}, {{-4, 0}, {0, 0}}, {{0, -2}, {2, -2}}}};
// 10 in series with a tank of 1u and 1m.
const SSheet Tank{
    {{KindC, R90, {2, -2}, {"1u"}}, {KindR, R0, {0, -2}, {"10"}}, {KindL, R90, {4, -2}, {"1m"}}},
    {{{-4, -2}, {0, -2}}, {{2, -2}, {4, -2}}, {{-4, 0}, {4, 0}}}};

double Number(const QString& text) {
  return ParseValue(text.toStdString());
}

}  // namespace

class NoAnswerTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TProgramWindows<>> program;
  TMainForm& form() { return program->form; }
  CSheet& sheet() { return program->form.CurrentSheet(); }
  TResponseDock& dock() { return program->form.Response(); }

  void Fresh() {
    program = std::make_unique<TProgramWindows<>>();
    form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&form()));
    form().Controls().HintPanel->hide();
  }
  // Draws the sheet at `hertz` and returns its first part's component.
  CCmp* Draw(const SSheet& s, double hertz) {
    CCmp* first = nullptr;
    for (const SPartAt& p : s.parts) {
      CCmp* c = PlacePart(sheet(), p.kind, p.orientation, p.at, p.texts);
      if (!first) first = c;
    }
    for (const auto& [a, b] : s.wires) Wire(a, b);
    form().SetWorkingFrequency(hertz);
    Finish();
    return first;
  }
  void Wire(SPoint a, SPoint b) { AddWire(sheet(), a, b); }
  void Finish() { FinishSheet(form()); }
  std::vector<int> KindsWith(bool CPct::*flag) {
    std::vector<int> kinds;
    for (int i = 0; i < sheet().pictures.Count(); ++i) {
      const CPct* p = sheet().pictures.At(i);
      if (p->PictureKind() == PctElement && p->*flag)
        kinds.push_back(static_cast<int>(
            std::find(ElemTypes, ElemTypes + ElemKindCount, p->cmp->Type) - ElemTypes));
    }
    std::sort(kinds.begin(), kinds.end());
    return kinds;
  }
  // Saves the window when VORZETA_SCREENSHOT_DIR names a folder, for looking at by eye.
  void Shot(const QString& name) {
    const QString folder = QString::fromLocal8Bit(qgetenv("VORZETA_SCREENSHOT_DIR"));
    if (!folder.isEmpty()) QVERIFY(form().grab().save(folder + "/noanswer-" + name + ".png"));
  }
  bool SweepDone() {
    if (!dock().Busy()) return true;
    QSignalSpy shown(&dock(), &TResponseDock::SweepShown);
    return shown.wait(20000) && !dock().Busy();
  }

 private slots:
  void init() {
    // Settings are written as they change; each test starts from none.
    IsolatedSettings::Clear();
    DisplayMode = 0;
    SignificantDigits = 3;
    Fresh();
  }
  void cleanup() { program.reset(); }

  void eachFailureSaysWhyAndMarksItsParts() {
    const QString hint = form().StatusText();
    int cleared = 0;
    for (const SSheetCase& c : SheetCases) {
      Fresh();
      Draw(c.sheet, c.hertz);
      QVERIFY2(form().Controls().REdit->text() == c.readout, c.name);
      QVERIFY2(form().StatusText() == c.status, qPrintable(form().StatusText()));
      QVERIFY2(KindsWith(&CPct::flagged) == c.flagged, c.name);
      Shot(QString::fromLatin1(c.name).replace(' ', '-'));
      // A wire across the meter: mostly that reads 0, and the edit takes the reason and the
      // marks away; a value that is still not a number keeps them.
      Wire({-4, -2}, {-6, -2});
      Wire({-6, -2}, {-6, 0});
      Wire({-6, 0}, {-4, 0});
      Finish();
      const bool number = form().Controls().REdit->text() == QStringLiteral("0");
      cleared += number;
      QVERIFY2(number || form().Controls().REdit->text() == "Error", c.name);
      QVERIFY2(KindsWith(&CPct::flagged).empty() == number, c.name);
      QVERIFY2((form().StatusText() == hint) == number, c.name);
    }
    QCOMPARE(cleared, static_cast<int>(std::size(SheetCases)) - 1);  // all but the coupling
  }

  void aDanglingResistorIsDimmedUntilItsEndIsWired() {
    Draw(Dangling, 1e3);
    Shot("dimmed");
    QCOMPARE(KindsWith(&CPct::dimmed), std::vector<int>{KindR});
    const SPoint on = sheet().view.GridToScreen(3, -2), off = sheet().view.GridToScreen(0, -1);
    QCOMPARE(form().HoverReason({on.x, on.y}),
             QStringLiteral("The 470 resistor carries no current: it lies on no closed path (one "
                            "of its ends leads nowhere)"));
    QCOMPARE(form().HoverReason({off.x, off.y}), QString());

    // Off in the settings: nothing is dimmed, and the choice is stored at once.
    program->settings.show();
    auto* dim = program->settings.findChild<QCheckBox*>(QStringLiteral("DimCheckBox"));
    dim->click();
    QVERIFY(KindsWith(&CPct::dimmed).empty());
    QCOMPARE(UserStore().value(QString::fromLatin1(DimIdlePartsKey)).toBool(), false);
    dim->click();
    QCOMPARE(KindsWith(&CPct::dimmed), std::vector<int>{KindR});

    Wire({4, -2}, {4, 0});
    Wire({0, 0}, {4, 0});
    Finish();
    QVERIFY(KindsWith(&CPct::dimmed).empty());
    QCOMPARE(form().Controls().REdit->text(), QStringLiteral("320"));
  }

  void thePinnedDifferenceIsTheDifferenceOfTwoReadings() {
    SignificantDigits = 8;
    CCmp* c = Draw(Tank, 4000);
    for (int mode : {0, 1}) {
      DisplayMode = mode;
      c->Params()[0].Value->Value = 1e-6;
      form().UpdateReadoutState();
      form().Recompute(true);
      const double r0 = Number(form().Controls().REdit->text()),
                   x0 = Number(form().Controls().XEdit->text());
      form().Pin();
      c->Params()[0].Value->Value = 2.2e-6;
      form().Recompute(false);
      const double r1 = Number(form().Controls().REdit->text()),
                   x1 = Number(form().Controls().XEdit->text());
      // "ΔX -2.4e+3" or "Δ|Z| +23.5": the number after the caption.
      const double d1 = Number(form().DeltaFirstText().section(' ', 1));
      const double d2 = Number(form().DeltaSecondText().section(' ', 1));
      QVERIFY2(std::fabs(d1 - (r1 - r0)) <= 1e-6 * std::fabs(r1),
               qPrintable(form().DeltaFirstText()));
      QVERIFY2(std::fabs(d2 - (x1 - x0)) <= 1e-6 * std::fabs(x1),
               qPrintable(form().DeltaSecondText()));
      QVERIFY(d2 != 0);
      form().Unpin();
    }

    // New keeps the pin (a lone meter has no number to compare); Unpin hides the differences.
    form().Pin();
    form().History().setClean();  // nothing to save: no prompt
    form().NewBtnClick();
    QVERIFY(form().Pinned());
    QCOMPARE(form().DeltaFirstText(), QStringLiteral("Δ|Z| –"));
    QVERIFY(form().findChild<QLabel*>(QStringLiteral("DeltaFirst"))->isVisible());
    form().Unpin();
    QVERIFY(!form().findChild<QLabel*>(QStringLiteral("DeltaFirst"))->isVisible());
  }

  void thePlotDrawsThePinnedCircuitBehind() {
    dock().show();
    form().resize(1100, 640);
    CCmp* c = Draw(Tank, 5000);
    form().Pin();
    *c->Params()[0].Value = {2.2e-6, "2u2"};
    form().PaintSheet();
    form().Recompute(false);
    QVERIFY(SweepDone());
    QTest::qWait(50);  // the chart lays itself out from posted events
    Shot("pinned");
    const std::vector<SResponsePoint>& reference = dock().ShownReference();
    QCOMPARE(reference.size(), dock().Shown().Points.size());

    // The pinned text put on a sheet of its own and swept at the plot's frequencies.
    CSheet pinned;
    CCmp* meter = ApplySheetFile(ReadSheetFile(form().PinnedText()), pinned);
    std::vector<double> hertz;
    for (const SResponsePoint& p : reference) hertz.push_back(p.Hertz);
    CCalc solver;
    const std::vector<SImpedance> z = SweepImpedance(pinned.components, *meter, solver, hertz);
    int differ = 0;
    for (size_t i = 0; i < z.size(); ++i) {
      QCOMPARE(reference[i].Solved, z[i].has_value());
      if (!z[i]) continue;
      QCOMPARE(reference[i].R, z[i]->real());
      QCOMPARE(reference[i].X, z[i]->imag());
      differ += reference[i].X != dock().Shown().Points[i].X;
    }
    QVERIFY(differ > 0);  // the live trace moved away from the pinned one
    form().Unpin();
    QVERIFY(dock().ShownReference().empty());
  }
};

QTEST_MAIN(NoAnswerTest)
#include "tst_noanswer.moc"
