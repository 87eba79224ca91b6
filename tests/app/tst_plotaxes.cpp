// The response plot's axes: every range gets at least three labels at rising positions that
// read back as the values they mark, the symmetric logarithmic scale is odd, rising and
// invertible, and the panel remembers the reactance axis chosen.
#include <QAreaSeries>
#include <QCategoryAxis>
#include <QChart>
#include <QComboBox>
#include <QLegendMarker>
#include <QLineSeries>
#include <QScatterSeries>
#include <QtTest>
#include <cmath>
#include <memory>
#include <random>

#include "PlotAxes.h"
#include "ResponseDock.h"
#include "ResponsePlot.h"
#include "WindowFixture.h"
#include "value/Value.h"

namespace {

const IsolatedSettings isolatedSettings;

// A label as it would be typed: without the space, micro as "u".
double ReadLabel(QString text) {
  text.remove(QLatin1Char(' ')).replace(QStringLiteral("µ"), QStringLiteral("u"));
  return ParseValue(text.toStdString());
}

// Everything a chart shows, axis by axis and series by series, as text.
QStringList Describe(const QChart& chart) {
  QStringList out;
  const auto points = [&out](const QList<QPointF>& list) {
    for (const QPointF& p : list)
      out << QString::number(p.x(), 'g', 17) + ',' + QString::number(p.y(), 'g', 17);
  };
  for (QAbstractAxis* axis : chart.axes()) {
    const auto* value = qobject_cast<QValueAxis*>(axis);
    out << QString::number(int(axis->alignment())) << axis->titleText()
        << axis->linePenColor().name() << QString::number(value->min(), 'g', 17)
        << QString::number(value->max(), 'g', 17);
    if (auto* ticked = qobject_cast<QCategoryAxis*>(axis))
      for (const QString& label : ticked->categoriesLabels())
        out << label << QString::number(ticked->endValue(label), 'g', 17);
  }
  for (QAbstractSeries* series : chart.series()) {
    out << QString::number(series->type()) << series->name()
        << QString::number(series->attachedAxes().back()->alignment())
        << QString::number(chart.legend()->markers(series).front()->isVisible());
    if (auto* area = qobject_cast<QAreaSeries*>(series)) {
      out << area->brush().color().name(QColor::HexArgb);
      points(area->upperSeries()->points()), points(area->lowerSeries()->points());
    } else if (auto* xy = qobject_cast<QXYSeries*>(series)) {
      out << xy->pen().color().name() << QString::number(xy->pen().style()) << xy->color().name();
      points(xy->points());
    }
  }
  return out;
}

}  // namespace

class PlotAxesTest : public QObject {
  Q_OBJECT

 private slots:
  void ticksOfWideOneDecadeAndNarrowRanges() {
    const SPlotScale log{EPlotScale::Log}, linear{EPlotScale::Linear};
    const SPlotScale symlog{EPlotScale::Symlog, 10}, symlog100{EPlotScale::Symlog, 100};
    const struct {
      SPlotScale scale;
      double low, high;
    } cases[] = {
        {log, 1e-3, 1e9},    {log, 1e-7, 2e-4},     {log, 10, 100},        {log, 2, 999},
        {log, 5020, 5090},   {log, 1.0001, 1.0003}, {linear, -37.3, 1234}, {linear, 100.01, 100.04},
        {linear, 0, 1e-6},   {symlog, -2e5, 3e3},   {symlog, -5e4, -20},   {symlog100, 120, 160},
        {symlog, -1e9, 1e9}, {symlog, -3, 4},
    };
    for (const auto& c : cases) {
      const std::vector<SAxisTick> ticks = AxisTicks(c.scale, c.low, c.high, 8);
      const QByteArray where = QByteArray::number(c.low) + " .. " + QByteArray::number(c.high);
      QVERIFY2(ticks.size() >= 3 && ticks.size() <= 8, where);
      double largest = 0;
      for (const SAxisTick& t : ticks) largest = std::max(largest, std::fabs(t.Value));
      const double a = c.scale.Forward(c.low), b = c.scale.Forward(c.high);
      for (size_t i = 0; i < ticks.size(); ++i) {
        const SAxisTick& t = ticks[i];
        QVERIFY2(t.At >= a - (b - a) * 1e-9 && t.At <= b + (b - a) * 1e-9, where);
        QCOMPARE(t.At, c.scale.Forward(t.Value));
        if (i > 0) QVERIFY2(t.At > ticks[i - 1].At, where);
        const QString text = QString::fromStdString(t.Text);
        QVERIFY2(!text.contains(QLatin1Char('e')), qPrintable(text));
        QVERIFY2(std::fabs(ReadLabel(text) - t.Value) <= largest * 1e-9, qPrintable(text));
      }
    }
    // A span the numbers cannot divide gets no ticks rather than repeated ones.
    QVERIFY(AxisTicks(linear, 10, std::nextafter(10.0, 11.0), 8).empty());
  }

  void symlogIsOddRisingAndInvertible() {
    std::mt19937 random(18);
    std::uniform_real_distribution<double> exponent(-12, 12);
    for (double knee : {1e-3, 1.0, 10.0, 1e5}) {
      const SPlotScale s{EPlotScale::Symlog, knee};
      std::vector<double> values{0.0};
      for (int i = 0; i < 400; ++i) {
        const double v = std::pow(10.0, exponent(random)) * (i % 2 == 0 ? 1 : -1);
        values.push_back(v);
        QCOMPARE(s.Forward(-v), -s.Forward(v));
        QVERIFY(std::fabs(s.Inverse(s.Forward(v)) - v) <= std::fabs(v) * 1e-9 + knee * 1e-12);
      }
      std::sort(values.begin(), values.end());
      for (size_t i = 1; i < values.size(); ++i)
        QVERIFY(s.Forward(values[i]) > s.Forward(values[i - 1]));
    }
  }

  // A redraw that keeps the plot's structure updates the chart's items in place; the chart must
  // then show what one drawn afresh shows, and so after a change of mode that rebuilds it.
  void aPlotUpdatedInPlaceShowsWhatAFreshOneShows() {
    static const std::vector<SResponsePoint> none;
    const auto input = [](double r, int mode, SResponse& shown, SToleranceBand& band) {
      for (int i = 0; i <= 60; ++i) {
        const double f = std::pow(10.0, 1 + i * 0.08), x = f / 1e3 - 1e6 / f;
        shown.Points.push_back({f, i != 20, r, x});
        band.Points.push_back({f, i != 20, r * 0.9, r * 1.1, x - r, x + r, r, 2 * r, -10, 10});
      }
      band.Points.push_back(band.Points.back());
      shown.Resonances = {{std::sqrt(1e9), true, 30, false, r}};
      return SPlotInput{shown, none, mode, 1, 1e6, 2e4, EReactanceAxis::Symlog, &band};
    };
    SResponse shown[4];
    SToleranceBand band[4];
    const SPlotInput steps[] = {input(12, 0, shown[0], band[0]), input(4.7e3, 0, shown[1], band[1]),
                                input(68, 1, shown[2], band[2]), input(0.5, 0, shown[3], band[3])};
    QChart kept;
    kept.resize(700, 450);
    DrawResponse(kept, steps[0]);
    const QPointer<QAbstractSeries> first = kept.series().front();
    for (const SPlotInput& step : steps) {
      DrawResponse(kept, step);
      QChart fresh;
      fresh.resize(700, 450);
      DrawResponse(fresh, step);
      QCOMPARE(Describe(kept), Describe(fresh));
    }
    QVERIFY(first.isNull());  // the mode's change rebuilt it
    const QPointer<QAbstractSeries> last = kept.series().front();
    DrawResponse(kept, steps[1]);
    QCOMPARE(kept.series().front(), last.data());
  }

  void theReactanceAxisIsRemembered() {
    IsolatedSettings::Clear();
    const auto choice = [](TResponseDock& dock) {
      for (QComboBox* box : dock.findChildren<QComboBox*>())
        if (box->findText(QStringLiteral("|X| log")) >= 0) return box;
      return static_cast<QComboBox*>(nullptr);
    };
    auto dock = std::make_unique<TResponseDock>();
    QVERIFY(choice(*dock) != nullptr);
    const int first = choice(*dock)->currentIndex();
    const int other = (first + 1) % choice(*dock)->count();
    choice(*dock)->setCurrentIndex(other);
    dock = std::make_unique<TResponseDock>();
    QCOMPARE(choice(*dock)->currentIndex(), other);
  }
};

QTEST_MAIN(PlotAxesTest)
#include "tst_plotaxes.moc"
