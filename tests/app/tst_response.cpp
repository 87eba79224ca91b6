// The frequency-response panel in the main window: shown by F4, swept after every edit off
// the window's thread, picking the working frequency, and never showing a stale curve.
#include <QChartView>
#include <QComboBox>
#include <QLineEdit>
#include <QLineSeries>
#include <QListWidget>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QUndoStack>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

#include "Main.h"
#include "ResponseDock.h"
#include "ResponseSweeper.h"
#include "SensitivityTab.h"
#include "SmithChart.h"
#include "WindowFixture.h"
#include "Windows.h"
#include "analysis/Match.h"
#include "analysis/Measure.h"
#include "components/CCmp.h"
#include "sheet/CPct.h"
#include "ui_Main.h"
#include "value/Value.h"

namespace {

const IsolatedSettings isolatedSettings;

using Program = TProgramWindows<>;

}  // namespace

class ResponseDockTest : public QObject {
  Q_OBJECT

  std::unique_ptr<Program> program;
  TMainForm& form() { return program->form; }
  CSheet& sheet() { return program->form.CurrentSheet(); }
  TResponseDock& dock() { return program->form.Response(); }

  CCmp* Part(int kind, Orientation orientation, SPoint at, std::vector<const char*> texts = {}) {
    return PlacePart(sheet(), kind, orientation, at, texts);
  }
  void Wire(SPoint a, SPoint b) { AddWire(sheet(), a, b); }
  void Finish() { FinishSheet(form()); }
  bool SweepDone() {
    if (!dock().Busy()) return true;
    QSignalSpy shown(&dock(), &TResponseDock::SweepShown);
    return shown.wait(20000) && !dock().Busy();
  }

  // The meter sits at (-4, -2) with its pins at (-4, -2) and (-4, 0).
  void SeriesRlc() {
    Part(KindR, Orientation::R0, {0, -2}, {"10"});
    Part(KindL, Orientation::R0, {4, -2}, {"1m"});
    Part(KindC, Orientation::R90, {8, -2}, {"1u"});
    Wire({-4, -2}, {0, -2});
    Wire({2, -2}, {4, -2});
    Wire({6, -2}, {8, -2});
    Wire({-4, 0}, {8, 0});
  }
  void Crystal() {
    // The motional arm in series, the holder's capacitance across the meter.
    SeriesRlc();
    Part(KindC, Orientation::R90, {-2, -2}, {"470n"});
  }
  void Transformer() {
    Part(KindW, Orientation::R90, {0, -2}, {"1", "3"});
    Part(KindR, Orientation::R0, {4, -2}, {"90"});
    Part(KindL, Orientation::R0, {8, -2}, {"1m"});
    Part(KindC, Orientation::R90, {12, -2}, {"1u"});
    Wire({-4, -2}, {0, -2});
    Wire({-4, 0}, {0, 0});
    Wire({2, -2}, {4, -2});
    Wire({6, -2}, {8, -2});
    Wire({10, -2}, {12, -2});
    Wire({2, 0}, {12, 0});
  }

  // The impedance of the live sheet at `hertz`, solved now on the window's thread.
  std::optional<Complex> LiveImpedance(double hertz) {
    SCircuitCopy copy = CopyCircuit(sheet().components, form().Meter());
    CCalc solver;
    return MeterImpedance(*copy.Cmps, *copy.Meter, solver)(hertz);
  }

 private slots:
  void init() {
    // Settings are written as they change; each test starts from none.
    program = StartProgram<Program>();
    QVERIFY(QTest::qWaitForWindowExposed(&form()));
  }
  void cleanup() { program.reset(); }

  void f4ShowsThePanelAndItSweepsWhatIsDrawn() {
    QVERIFY(!dock().isVisible());
    // The window keeps its size; one too narrow for both grows as it must and returns.
    for (const int width : {700, 541}) {
      form().resize(width, form().height());
      QTest::keyClick(&form(), Qt::Key_F4);
      QVERIFY(dock().isVisible());
      QTest::qWait(10);
      QCOMPARE(form().width(), std::max(width, form().minimumSizeHint().width()));
      QTest::keyClick(&form(), Qt::Key_F4);
      QTRY_COMPARE(form().width(), width);
    }
    const int narrow = form().width();
    QTest::keyClick(&form(), Qt::Key_F4);
    QVERIFY(dock().isVisible());
    // The button beside the readout does the same.
    auto* button = form().findChild<QToolButton*>(QStringLiteral("ResponseBtn"));
    QVERIFY(button != nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(!dock().isVisible());
    QTRY_COMPARE(form().width(), narrow);
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(dock().isVisible());
    form().SetWorkingFrequency(5000);
    QCOMPARE(form().Controls().FEdit->text(),
             QString());  // nothing reactive yet: the entry is empty
    QCOMPARE(form().WorkingFrequency().Unit, 1);
    SeriesRlc();
    Finish();
    QVERIFY(SweepDone());
    QCOMPARE(dock().StartHertz(), 5.0);
    QCOMPARE(dock().StopHertz(), 5e6);
    const SResponse& r = dock().Shown();
    // The 400 points asked for, and more around the resonance.
    QVERIFY(r.Points.size() > 400);
    QCOMPARE(static_cast<int>(r.Resonances.size()), 1);
    QVERIFY(r.Resonances[0].Series);
    QVERIFY(std::fabs(r.Resonances[0].Hertz / 5032.9212104487 - 1) < 1e-9);
    QCOMPARE(dock().ResonanceList()->count(), 1);

    // Double-clicking the resonance makes it the working frequency.
    QListWidget* list = dock().ResonanceList();
    const QRect item = list->visualItemRect(list->item(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, item.center());
    QVERIFY(std::fabs(
                FrequencyInHertz(form().WorkingFrequency().Value, form().WorkingFrequency().Unit) /
                    r.Resonances[0].Hertz -
                1) < 1e-12);
    QCOMPARE(form().Controls().REdit->text(), QStringLiteral("10"));

    QTemporaryDir dir;
    QString error;
    const QString csv = dir.filePath("z.csv");
    QVERIFY(SweepDone());
    QVERIFY(dock().ExportCsv(csv, error));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    // A header and one line per point shown.
    QCOMPARE(file.readAll().count('\n'), static_cast<qsizetype>(dock().Shown().Points.size() + 1));
    QVERIFY(!dock().ExportCsv(dir.filePath("missing/z.csv"), error));
    QVERIFY(!error.isEmpty());
    // Touchstone: S11 against the panel's Z0 unless the Z form is asked for.
    dock().SetReferenceImpedance(75);
    for (const bool impedance : {false, true}) {
      QFile s1p(dir.filePath("z.s1p"));
      QVERIFY(dock().ExportTouchstone(s1p.fileName(), error, impedance) &&
              s1p.open(QFile::ReadOnly));
      QVERIFY(s1p.readAll().contains(impedance ? "\n# Hz Z RI R 1\n" : "\n# Hz S RI R 75\n"));
    }

    // The panel is still there when the program starts again.
    form().History().setClean();  // nothing to save: no prompt
    form().close();
    program = std::make_unique<Program>();
    form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&form()));
    QVERIFY(dock().isVisible());
  }

  void aClickOnThePlotSetsTheWorkingFrequency() {
    dock().show();
    SeriesRlc();
    Finish();
    QVERIFY(SweepDone());
    QChartView* view = dock().ChartView();
    const QPoint at = view->rect().center();
    const std::optional<double> f = dock().HertzAt(at);
    QVERIFY(f.has_value());
    const double before =
        FrequencyInHertz(form().WorkingFrequency().Value, form().WorkingFrequency().Unit);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    const double picked =
        FrequencyInHertz(form().WorkingFrequency().Value, form().WorkingFrequency().Unit);
    QVERIFY(std::fabs(picked / *f - 1) < 1e-3);
    // The unit keeps the number below a thousand, and above one unless it is hertz.
    QVERIFY(form().WorkingFrequency().Value < 1000 &&
            (form().WorkingFrequency().Unit == 0 || form().WorkingFrequency().Value >= 1));
    QCOMPARE(form().Controls().FEdit->text(),
             QString::fromStdString(FloatText(form().WorkingFrequency().Value)));
    // The pick is one step back.
    form().History().undo();
    QCOMPARE(FrequencyInHertz(form().WorkingFrequency().Value, form().WorkingFrequency().Unit),
             before);
  }

  void quickEditsEndWithTheLastCircuitsCurve() {
    dock().show();
    form().SetWorkingFrequency(5000);
    SeriesRlc();
    Finish();
    CCmp* resistor = nullptr;
    for (int i = 0; i < sheet().components.Count(); ++i)
      if (sheet().components.At(i)->Type == ElemTypes[KindR]) resistor = sheet().components.At(i);
    QVERIFY(resistor != nullptr);
    for (int i = 1; i <= 12; ++i) {
      resistor->Params()[0].Value->Value = 10.0 * i;
      form().Recompute(false);
    }
    QVERIFY(SweepDone());
    for (const SResponsePoint& p : dock().Shown().Points) {
      const std::optional<Complex> z = LiveImpedance(p.Hertz);
      QCOMPARE(p.Solved, z.has_value());
      if (z) QCOMPARE(p.R, static_cast<double>(z->real()));
    }
    QCOMPARE(dock().Shown().Resonances.size(), size_t{1});
    QCOMPARE(dock().Shown().Resonances.front().Magnitude, 120.0);
  }

  // With the band on, the series RLC's band holds every trace point and the readout's numbers,
  // the resonance lists its spread, and the readout's tooltips give the range.
  void theToleranceBandFollowsTheSweep() {
    dock().show();
    dock().ShowBand(true);
    form().SetWorkingFrequency(4000);
    SeriesRlc();
    Finish();
    QTRY_VERIFY_WITH_TIMEOUT(!dock().ShownBand().Points.empty(), 20000);
    const SToleranceBand& band = dock().ShownBand();
    QCOMPARE(band.Points.size(), dock().Shown().Points.size() + 1);
    for (size_t i = 0; i < dock().Shown().Points.size(); ++i) {
      const SResponsePoint& p = dock().Shown().Points[i];
      const SBandPoint& b = band.Points[i];
      QVERIFY(b.Solved && b.RMin <= p.R && p.R <= b.RMax && b.XMin <= p.X && p.X <= b.XMax);
    }
    const std::optional<SBandPoint> working = dock().WorkingBand();
    QVERIFY(working && working->XMin < working->XMax);
    QVERIFY(dock().ResonanceList()->item(0)->text().contains("over the tolerances"));
    QVERIFY(form().Controls().XEdit->toolTip().startsWith("Over the tolerances"));
    dock().ShowBand(false);
    QVERIFY(dock().ShownBand().Points.empty());
    QVERIFY(form().Controls().XEdit->toolTip().isEmpty());
  }

  // With |S11| chosen, the second trace is the reflection against Z0 in dB: with Z0 equal to the
  // series RLC's resistance it dips to its lowest at the resonance.
  void theReflectionTraceDipsWhereTheLoadIsMatched() {
    dock().show();
    dock().SetReferenceImpedance(10);
    dock().ShowReflection(true);
    form().SetWorkingFrequency(4000);
    SeriesRlc();
    Finish();
    QVERIFY(SweepDone());
    QLineSeries* trace = nullptr;
    for (QAbstractSeries* series : dock().ChartView()->chart()->series())
      if (series->name() == "|S11|") trace = qobject_cast<QLineSeries*>(series);
    QVERIFY(trace && trace->count() > 10);
    QPointF lowest = trace->at(0);
    for (const QPointF& p : trace->points()) {
      if (p.y() < lowest.y()) lowest = p;
      const double hertz = std::pow(10.0, p.x());
      const std::optional<Complex> z = LiveImpedance(hertz);
      QVERIFY(z);
      const double db = std::max(-*MatchFigures(std::complex<double>(*z), 10).ReturnLossDb, -80.0);
      QCOMPARE_LE(std::fabs(p.y() - db), 1e-6 * std::fabs(p.y()));
    }
    const double f0 = dock().Shown().Resonances.at(0).Hertz;
    QCOMPARE_LT(std::fabs(lowest.x() - std::log10(f0)), 0.02);
    QCOMPARE_LT(lowest.y(), -40.0);
  }

  void theMeterAloneShowsAnEmptyPlotWithANote() {
    dock().show();
    form().Recompute(true);
    QVERIFY(SweepDone());
    QVERIFY(!dock().Shown().Points.empty());
    for (const SResponsePoint& p : dock().Shown().Points) QVERIFY(!p.Solved);
    QVERIFY(!dock().NoteText().isEmpty());
    QCOMPARE(dock().ResonanceList()->count(), 0);
  }

  // The worker alone, without a chart: of requests in a row only the newest is reported, and
  // a cancelled one never is.
  void theSweeperReportsOnlyTheNewestRequest() {
    SeriesRlc();
    Finish();
    const SCircuitCopy live = CopyCircuit(sheet().components, form().Meter());
    TResponseSweeper sweeper;
    std::vector<SSweepResult> results;
    connect(&sweeper, &TResponseSweeper::Done,
            [&](const SSweepResult& r) { results.push_back(r); });
    const auto settle = [] {
      QThreadPool::globalInstance()->waitForDone();
      QCoreApplication::processEvents();
    };
    sweeper.Start(live, {}, LogFrequencies(1, 1e7, 5000), 0);
    sweeper.Start(live, {}, LogFrequencies(100, 1e5, 60), 1);
    QVERIFY(sweeper.Busy());
    settle();
    QVERIFY(!sweeper.Busy());
    QCOMPARE(results.size(), size_t{1});
    QCOMPARE(results[0].Mode, 1);
    QCOMPARE(results[0].Response.Points.front().Hertz, 100.0);
    QCOMPARE(results[0].Response.Resonances.size(), size_t{1});
    const double expected = 1 / (2 * std::numbers::pi * std::sqrt(1e-3 * 1e-6));
    QVERIFY(std::fabs(results[0].Response.Resonances[0].Hertz / expected - 1) < 1e-6);
    sweeper.Start(live, {}, LogFrequencies(1, 1e7, 5000), 0);
    sweeper.Cancel();
    settle();
    QCOMPARE(results.size(), size_t{1});
  }

  // Loads of known reflection through the mapping that the painting, hover and click use.
  void theSmithMappingPlacesKnownLoads() {
    const SSmithFrame frame = SmithFrameFor(QSizeF(440, 300), 50);
    QCOMPARE(frame.Radius, 100.0);
    const QPointF c = frame.Centre;
    const double z0 = 50, inf = std::numeric_limits<double>::infinity();
    const std::pair<std::complex<double>, QPointF> loads[] = {
        {{z0, 0}, c},                       // matched: the centre
        {{0, 0}, c - QPointF(100, 0)},      // short: the left edge
        {{inf, 0}, c + QPointF(100, 0)},    // open: the right edge
        {{0, z0}, c - QPointF(0, 100)},     // +jZ0: the top of the rim
        {{0, -z0}, c + QPointF(0, 100)},    // −jZ0: the bottom of the rim
        {{z0, z0}, c + QPointF(20, -40)}};  // Γ = (1 + 2j) / 5
    for (const auto& [z, at] : loads) {
      const std::optional<std::complex<double>> g = Reflection(z, z0);
      QVERIFY(g.has_value());
      const QPointF p = frame.PointOf(*g);
      QVERIFY2(std::hypot(p.x() - at.x(), p.y() - at.y()) < 1e-9,
               qPrintable(QString::number(z.imag())));
      QVERIFY(std::abs(frame.GammaAt(p) - *g) < 1e-12);
    }
    // Z0 + jZ0 lies on the circle of r = 1 (centre halfway to the right edge), above the axis.
    const QPointF p = frame.PointOf(*Reflection({z0, z0}, z0));
    QVERIFY(std::fabs(std::hypot(p.x() - (c.x() + 50), p.y() - c.y()) - 50) < 1e-9);
    QVERIFY(p.y() < c.y());
  }

  void theSmithChartShowsTheSweepAndPicksFromIt() {
    dock().show();
    form().SetWorkingFrequency(5000);
    SeriesRlc();
    Finish();
    QVERIFY(SweepDone());
    QTabWidget* tabs = dock().Tabs();
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(tabs->tabText(1), QStringLiteral("Smith chart"));
    tabs->setCurrentIndex(1);
    TSmithChart* chart = dock().SmithChart();
    QVERIFY(QTest::qWaitForWindowExposed(chart));
    // The point of least |X|, at the series resonance: Z = 10 Ω there.
    const std::vector<SResponsePoint>& points = dock().Shown().Points;
    const auto least = std::min_element(points.begin(), points.end(), [](auto& a, auto& b) {
      return std::fabs(a.X) < std::fabs(b.X);
    });
    const QPoint at = chart->Frame().PointOf(*chart->GammaOf(*least)).toPoint();
    const std::optional<size_t> under = chart->NearestPoint(at, 10);
    QVERIFY(under.has_value());
    QTest::mouseMove(chart, at);
    QVERIFY2(dock().HoverText().startsWith("f ") && dock().HoverText().contains("kHz"),
             qPrintable(dock().HoverText()));
    QSignalSpy picked(&dock(), &TResponseDock::FrequencyPicked);
    QTest::mouseClick(chart, Qt::LeftButton, {}, at);
    QCOMPARE(picked.count(), 1);
    // The pick is nearer to the point under the click than to any other point of the sweep.
    const double f = picked[0][0].toDouble();
    const auto nearest = std::min_element(points.begin(), points.end(), [f](auto& a, auto& b) {
      return std::fabs(std::log(a.Hertz / f)) < std::fabs(std::log(b.Hertz / f));
    });
    QCOMPARE(static_cast<size_t>(nearest - points.begin()), *under);
    // Against Z0 = 10 Ω the resonance is matched: the centre.
    dock().SetReferenceImpedance(10);
    QVERIFY(std::abs(*chart->GammaOf(*least)) < 1e-3);
    // The picture exported is the chart's.
    QTemporaryDir dir;
    QString error;
    QVERIFY(dock().ExportImage(dir.filePath("smith.png"), error));
    QCOMPARE(QImage(dir.filePath("smith.png")).size(), chart->size() * chart->devicePixelRatio());
  }

  void badRangesAreRefused() {
    dock().show();
    QVERIFY(dock().SetRange("10", "100k", 50));
    QVERIFY(!dock().FollowsWorkingFrequency());
    for (auto [a, b] : {std::pair{"0", "1k"}, {"1k", "10"}, {"x", "1k"}, {"1", "1e400"}})
      QVERIFY2(!dock().SetRange(a, b, 50), a);
    QVERIFY(!dock().SetRange("10", "1k", 9));
    QCOMPARE(dock().StartHertz(), 10.0);
    QCOMPARE(dock().StopHertz(), 1e5);
    QCOMPARE(dock().PointCount(), 50);
  }

  // The plot waits while another tab shows; exported from there it is drawn first: the same
  // picture its own tab then shows.
  void aPlotExportedFromAnotherTabShowsTheNewestSweep() {
    dock().show();
    SeriesRlc();
    Finish();
    QVERIFY(SweepDone());
    dock().Tabs()->setCurrentWidget(dock().Sensitivity());
    form().SetWorkingFrequency(2000);  // the range follows f: new axes
    QVERIFY(SweepDone());
    QTemporaryDir dir;
    QString error;
    QVERIFY(dock().ExportImage(dir.filePath("hidden.png"), error));
    dock().Tabs()->setCurrentIndex(0);
    QVERIFY(dock().ExportImage(dir.filePath("shown.png"), error));
    QCOMPARE(QImage(dir.filePath("hidden.png")), QImage(dir.filePath("shown.png")));
  }

  void sensitivityTabRanksEveryPartAndOutlinesTheHoveredOne() {
    dock().show();
    form().SetWorkingFrequency(3000);
    Transformer();
    Finish();
    QVERIFY(SweepDone());
    dock().Tabs()->setCurrentWidget(dock().Sensitivity());
    QTableWidget* table = dock().Sensitivity()->Table();
    auto rows = [table] {
      QStringList names;
      for (int i = 0; i < table->rowCount(); ++i) names << table->item(i, 0)->text();
      return names;
    };
    QStringList names = rows();
    names.sort();
    QCOMPARE(names, QStringList({"C 1u", "L 1m", "N1 1", "N2 3", "R 90"}));
    // Ranked by |p dZ/dp| / |Z|, the length of the R and X pair.
    double before = HUGE_VAL;
    for (int i = 0; i < table->rowCount(); ++i) {
      const double size =
          std::hypot(table->item(i, 1)->text().toDouble(), table->item(i, 2)->text().toDouble());
      QVERIFY2(size <= before * (1 + 1e-2), qPrintable(table->item(i, 0)->text()));
      before = size;
    }
    // The series resonance sits at 1 / (2π sqrt(LC)) whatever the turns and the resistor.
    QCOMPARE(dock().ResonanceList()->count(), 1);
    dock().ResonanceList()->setCurrentRow(0);
    QVERIFY(!table->isColumnHidden(3));
    QStringList first = rows().mid(0, 2);
    first.sort();
    QCOMPARE(first, QStringList({"C 1u", "L 1m"}));
    for (int i = 0; i < table->rowCount(); ++i)
      QCOMPARE(table->item(i, 3)->text(), i < 2 ? QStringLiteral("-0.5") : QStringLiteral("0"));
    // Hovering a row outlines that part alone; leaving the table clears it.
    QTest::mouseMove(table->viewport(), table->visualItemRect(table->item(0, 1)).center());
    auto outlined = [this] {
      QStringList found;
      for (int i = 0; i < sheet().pictures.Count(); ++i)
        if (const CPct* p = sheet().pictures.At(i); p->highlighted)
          found << QString::number(KindOf(p->cmp->Type));
      return found;
    };
    QTRY_COMPARE(outlined().size(), 1);
    QCOMPARE(outlined().front().toInt(), table->item(0, 0)->text().startsWith('C') ? KindC : KindL);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(table->viewport(), &leave);
    QVERIFY(outlined().isEmpty());
  }

  void picturesOfThreeCircuits() {
    // Saved only when VORZETA_SCREENSHOT_DIR names a folder, for looking at by eye.
    const QString folder = QString::fromLocal8Bit(qgetenv("VORZETA_SCREENSHOT_DIR"));
    if (folder.isEmpty()) QSKIP("VORZETA_SCREENSHOT_DIR is not set");
    const std::pair<const char*, void (ResponseDockTest::*)()> circuits[] = {
        {"rlc", &ResponseDockTest::SeriesRlc},
        {"crystal", &ResponseDockTest::Crystal},
        {"transformer", &ResponseDockTest::Transformer}};
    for (int mode : {0, 1}) {
      for (const auto& [name, build] : circuits) {
        program = std::make_unique<Program>();
        form().show();
        QVERIFY(QTest::qWaitForWindowExposed(&form()));
        DisplayMode = mode;
        form().UpdateReadoutState();
        form().Controls().HintPanel->hide();
        dock().show();
        form().resize(1100, 640);
        form().SetWorkingFrequency(5000);
        (this->*build)();
        Finish();
        QVERIFY(SweepDone());
        QTest::qWait(50);  // the chart lays itself out from posted events
        QVERIFY(form().grab().save(QStringLiteral("%1/%2-%3.png").arg(folder, name).arg(mode)));
      }
    }
  }
};

QTEST_MAIN(ResponseDockTest)
#include "tst_response.moc"
