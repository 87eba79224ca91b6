// The series of preferred values against their published definitions, and stepping through them.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "value/ESeries.h"
#include "value/Value.h"

namespace {

// The geometric rule 10^(i/n) rounded to `digits` significant digits.
double Rule(int i, int n, int digits) {
  const double scale = std::pow(10.0, digits - 1);
  return std::round(std::pow(10.0, static_cast<double>(i) / n) * scale) / scale;
}

TEST(ESeries, TablesFollowTheirPublishedDefinitions) {
  const auto e96 = ESeriesDecade(ESeries::E96);
  ASSERT_EQ(e96.size(), 96u);
  for (int i = 0; i < 96; ++i) EXPECT_DOUBLE_EQ(e96[i], Rule(i, 96, 3)) << i;
  const auto e48 = ESeriesDecade(ESeries::E48);
  ASSERT_EQ(e48.size(), 48u);
  for (int i = 0; i < 48; ++i) EXPECT_EQ(e48[i], e96[2 * i]) << i;
  // E24 keeps eight older values a tenth away from the rule.
  const std::set<double> older = {2.7, 3.0, 3.3, 3.6, 3.9, 4.3, 4.7, 8.2};
  const auto e24 = ESeriesDecade(ESeries::E24);
  ASSERT_EQ(e24.size(), 24u);
  for (int i = 0; i < 24; ++i) {
    const double off = std::fabs(e24[i] - Rule(i, 24, 2));
    EXPECT_NEAR(off, older.count(e24[i]) ? 0.1 : 0.0, 1e-12) << e24[i];
  }
  const auto e12 = ESeriesDecade(ESeries::E12);
  const auto e6 = ESeriesDecade(ESeries::E6);
  ASSERT_EQ(e12.size(), 12u);
  ASSERT_EQ(e6.size(), 6u);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(e12[i], e24[2 * i]);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(e6[i], e24[4 * i]);
}

TEST(ESeries, SnapAndStep) {
  struct SCase {
    double From;
    ESeries Series;
    int Steps;
    double To;
  };
  const SCase cases[] = {
      {4700, ESeries::E12, 1, 5600},     {4700, ESeries::E12, -1, 3900},
      {8200, ESeries::E12, 1, 10000},    {1000, ESeries::E12, -1, 820},
      {5000, ESeries::E12, 1, 4700},  // off the series the first notch snaps to the nearest
      {5000, ESeries::E12, 2, 5600},     {5000, ESeries::E12, -1, 4700},
      {9.9e-9, ESeries::E6, 1, 10e-9},   {1e3, ESeries::E96, -1, 976},
      {2.2e-6, ESeries::E24, 25, 24e-6},
  };
  for (const SCase& c : cases) {
    const auto to = StepSeries(c.From, c.Series, c.Steps);
    ASSERT_TRUE(to) << c.From;
    EXPECT_NEAR(*to, c.To, 1e-12 * c.To) << c.From << " " << c.Steps;
  }
  for (double bad : {0.0, -1.0, double(INFINITY), double(NAN)})
    EXPECT_FALSE(StepSeries(bad, ESeries::E12, 1));
  EXPECT_FALSE(StepSeries(9.5e14, ESeries::E12, 1));  // past the last multiplier letter
}

// Every value of every series in every written decade: its text reads back as itself, steps
// there and back return to it, and the snap keeps it.
TEST(ESeries, TextsAndStepsRoundTrip) {
  for (int s = 0; s < ESeriesCount; ++s) {
    const auto series = static_cast<ESeries>(s);
    for (int decade = -15; decade <= 13; decade += 4) {
      for (const double m : ESeriesDecade(series)) {
        const double x = *SnapToSeries(m * std::pow(10.0, decade), series);
        const std::string text = SeriesText(x);
        EXPECT_EQ(ParseValue(text), x) << text;
        // The multiplier letter stands for the point: never both, and a letter only outside
        // 1 to 1000.
        const bool letter = text.find_first_of("fpnumkMGT") != std::string::npos;
        EXPECT_EQ(letter, x < 1 || x >= 1000) << text;
        EXPECT_FALSE(letter && text.find('.') != std::string::npos) << text;
        EXPECT_EQ(*StepSeries(*StepSeries(x, series, 3), series, -3), x) << text;
      }
    }
  }
  for (const auto& [x, text] : {std::pair{4.7e3, "4k7"},
                                {2.2e-6, "2u2"},
                                {470e-9, "470n"},
                                {10e3, "10k"},
                                {4.7, "4.7"},
                                {1.0, "1"}})
    EXPECT_EQ(SeriesText(x), text);
}

}  // namespace
