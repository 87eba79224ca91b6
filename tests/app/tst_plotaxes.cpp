// The response plot's axes: every range gets at least three labels at rising positions that
// read back as the values they mark, the symmetric logarithmic scale is odd, rising and
// invertible, and the panel remembers the reactance axis chosen.
#include <QComboBox>
#include <QtTest>
#include <cmath>
#include <memory>
#include <random>

#include "PlotAxes.h"
#include "ResponseDock.h"
#include "WindowFixture.h"
#include "value/Value.h"

namespace {

const IsolatedSettings isolatedSettings;

// A label as it would be typed: without the space, micro as "u".
double ReadLabel(QString text) {
  text.remove(QLatin1Char(' ')).replace(QStringLiteral("µ"), QStringLiteral("u"));
  return ParseValue(text.toStdString());
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
