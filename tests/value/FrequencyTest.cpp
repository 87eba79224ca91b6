// The frequency entry: typed text and picked frequencies end in the same normalised entry, one
// whose text reads back as itself, in the unit that keeps the number readable.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "value/Frequency.h"
#include "value/Value.h"

namespace {

double Hertz(const SFrequencyEntry& e) {
  return e.Value * std::pow(1000.0, e.Unit);
}

void ExpectNormalised(const SFrequencyEntry& e, double hertz) {
  EXPECT_NEAR(Hertz(e), hertz, 1e-13 * hertz);
  EXPECT_TRUE(e.Unit == 0 || e.Value >= 1.0) << e.Value;
  EXPECT_TRUE(e.Unit == FrequencyEntryHighestUnit || e.Value < 1000.0) << e.Value;
}

TEST(FrequencyEntry, TypedAndPickedFrequenciesAgree) {
  std::mt19937 random(17);
  std::uniform_real_distribution<double> decades(-4, 11);
  for (int i = 0; i < 2000; ++i) {
    const double hertz = std::pow(10.0, decades(random));
    const int unit = static_cast<int>(random() % 3);
    const auto typed = ReadFrequencyEntry(FloatText(hertz / std::pow(1000.0, unit)), unit);
    const auto picked = FrequencyEntryOf(hertz);
    ASSERT_TRUE(typed && picked) << hertz;
    ExpectNormalised(*typed, hertz);
    ExpectNormalised(*picked, hertz);
    EXPECT_EQ(typed->Unit, picked->Unit) << hertz;
    EXPECT_EQ(FrequencyUnitOf(hertz, FrequencyEntryHighestUnit), picked->Unit);
  }
}

TEST(FrequencyEntry, RefusesWhatIsNoFrequency) {
  for (const char* text : {"", "abc", "-1", "-2k", "1e400"})
    EXPECT_FALSE(ReadFrequencyEntry(text, 1)) << text;
  EXPECT_FALSE(FrequencyEntryOf(-1));
  EXPECT_FALSE(FrequencyEntryOf(NAN));
  const auto zero = ReadFrequencyEntry("-0", 2);
  ASSERT_TRUE(zero);
  EXPECT_EQ(zero->Unit, 0);
  EXPECT_FALSE(std::signbit(zero->Value));
}

TEST(FrequencyUnit, KeepsTheNumberBelowAThousand) {
  for (double hertz : {0.0, 0.5, 999.0, 1e3, 2.5e5, 1e6, 4e9, 7e14}) {
    const int unit = FrequencyUnitOf(hertz);
    const double shown = hertz / std::pow(1000.0, unit);
    EXPECT_TRUE(unit == FrequencyHighestUnit || shown < 1000) << hertz;
    EXPECT_TRUE(unit == 0 || shown >= 1) << hertz;
    EXPECT_EQ(std::string(FrequencyUnitSuffix(unit)).back(), 'z');
  }
}

}  // namespace
