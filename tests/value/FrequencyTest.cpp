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
    const int unit = static_cast<int>(random() % (FrequencyEntryHighestUnit + 1));
    const auto typed = ReadFrequencyEntry(FloatText(hertz / std::pow(1000.0, unit)), unit);
    const auto picked = FrequencyEntryOf(hertz);
    ASSERT_TRUE(typed && picked) << hertz;
    ExpectNormalised(*typed, hertz);
    ExpectNormalised(*picked, hertz);
    EXPECT_EQ(typed->Unit, picked->Unit) << hertz;
    EXPECT_EQ(FrequencyUnitOf(hertz, FrequencyEntryHighestUnit), picked->Unit);
  }
}

// A plain number is in the selected unit; a multiplier letter says the unit itself, whatever
// was selected.
TEST(FrequencyEntry, ATypedMultiplierMeansWhatItSays) {
  struct SCase {
    const char* Typed;
    int Selected;
    double Hertz;
  };
  const SCase cases[] = {
      {"2.4G", 2, 2.4e9},   {"2.4G", 0, 2.4e9}, {"5.033k", 2, 5033}, {"4k7", 1, 4700},
      {"2.4GHz", 1, 2.4e9}, {"10m", 1, 0.01},   {"100M", 3, 1e8},    {"2.4", 3, 2.4e9},
      {"2400", 2, 2.4e9},   {"1e3", 1, 1e6},    {"3.3kHz", 2, 3300}, {"7", 0, 7},
  };
  for (const SCase& c : cases) {
    const auto entry = ReadFrequencyEntry(c.Typed, c.Selected);
    ASSERT_TRUE(entry) << c.Typed;
    ExpectNormalised(*entry, c.Hertz);
    EXPECT_EQ(entry->Value, AsShown(entry->Value)) << c.Typed;
  }
  EXPECT_FALSE(HasMultiplier("1k5e3"));  // the exponent written last decides
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
