// Numbers shown to the user: engineering notation at a digits setting, the general float text,
// and the promise that a shown text reads back as the same value.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <random>
#include <string>

#include "value/Value.h"

namespace {

struct FormatCase {
  int digits;
  double value;
  const char* text;
};

class FormatGives : public testing::TestWithParam<FormatCase> {};

TEST_P(FormatGives, TheEngineeringText) {
  const FormatCase& c = GetParam();
  EXPECT_EQ(FormatValue(c.digits, c.value), c.text) << c.digits << " digits of " << c.value;
}

INSTANTIATE_TEST_SUITE_P(
    Values, FormatGives,
    testing::Values(
        FormatCase{3, 1234.5, "1.23e+3"}, FormatCase{3, 0.5, "500e-3"}, FormatCase{3, 47, "47"},
        FormatCase{3, 1000, "1e+3"}, FormatCase{3, 4.7e-9, "4.7e-9"},
        FormatCase{3, -2200, "-2.2e+3"}, FormatCase{3, 1.0 / 3, "333e-3"}, FormatCase{3, 0.0, "0"},
        FormatCase{3, -0.0, "0"}, FormatCase{8, -0.0, "0"}, FormatCase{4, 999.96, "1e+3"},
        FormatCase{12, 1.0 / 3, "333.333333333e-3"}, FormatCase{12, 1e-12, "1e-12"},
        FormatCase{3, 3.3e9, "3.3e+9"}, FormatCase{8, 1e306, "1e+306"},
        FormatCase{5, -6.2832, "-6.2832"}, FormatCase{5, 159.15494, "159.15"},
        FormatCase{3, 1e-15, "1e-15"}, FormatCase{3, 999.4, "999"}, FormatCase{6, 100000, "100e+3"},
        FormatCase{3, DBL_MAX, "180e+306"}, FormatCase{3, 4.9406564584124654e-324, "4.94e-324"},
        // the "1p" that the parser builds still shows as 1e-12
        FormatCase{12, 0x1.19799812dea14p-40, "1e-12"},
        // mantissas that "%g" would print in scientific form stay positional
        FormatCase{2, 123, "120"}, FormatCase{2, 150.4, "150"}, FormatCase{2, 0.1234, "120e-3"},
        FormatCase{2, 99.6, "100"}, FormatCase{2, 9.96, "10"}, FormatCase{2, 996, "1e+3"},
        FormatCase{2, -456789, "-460e+3"}, FormatCase{3, 999.7, "1e+3"},
        FormatCase{3, -999.7, "-1e+3"}, FormatCase{3, 99.96, "100"}, FormatCase{3, 0.99996, "1"},
        FormatCase{3, 999.7e-6, "1e-3"}, FormatCase{4, 999.951, "1e+3"},
        FormatCase{4, 999.949, "999.9"}));

TEST(FormatValue, NonFiniteValuesGiveAWordAtOnce) {
  for (int digits : {2, 3, 8, 12}) {
    EXPECT_EQ(FormatValue(digits, INFINITY), "Infinity");
    EXPECT_EQ(FormatValue(digits, -INFINITY), "-Infinity");
    EXPECT_EQ(FormatValue(digits, NAN), "NaN");
    EXPECT_EQ(FormatValue(digits, -NAN), "NaN");
  }
}

TEST(FormatValue, DigitsOutsideTheSettingsAreClamped) {
  const double values[] = {47, 1.0 / 3, -2200, 999.7, 6.02214076e23, 1e-300, DBL_MAX, DBL_TRUE_MIN};
  for (double x : values) {
    for (int digits : {INT_MIN, -5, 0}) {
      EXPECT_EQ(FormatValue(digits, x), FormatValue(1, x)) << digits << " digits of " << x;
    }
    for (int digits : {18, 1000, INT_MAX}) {
      EXPECT_EQ(FormatValue(digits, x), FormatValue(17, x)) << digits << " digits of " << x;
    }
    // 17 digits carry the double through the text and back, up to the parser's stepping of
    // the exponent (which may overflow at the very top of the range or round a subnormal).
    if (x == DBL_MAX || x == DBL_TRUE_MIN) continue;
    EXPECT_NEAR(ParseValue(FormatValue(17, x)), x, std::fabs(x) * 1e-13) << x;
  }
  EXPECT_EQ(FormatValue(0, 47), "50");
  EXPECT_EQ(FormatValue(1000, 0.5), "500e-3");
}

// Every text a digits setting produces has a mantissa of 1 to below 1000 with at most `digits`
// significant digits, and an exponent that is a multiple of three.
void ExpectWellFormed(const std::string& text, int digits) {
  std::string body = text[0] == '-' ? text.substr(1) : text;
  const size_t e = body.find('e');
  const std::string mantissa = body.substr(0, e);
  ASSERT_FALSE(mantissa.empty()) << text;
  EXPECT_EQ(mantissa.find_first_not_of("0123456789."), std::string::npos) << text;
  if (mantissa != "0") {
    const double m = std::stod(mantissa);
    EXPECT_GE(m, 1.0) << text;
    EXPECT_LT(m, 1000.0) << text;
    std::string significant;
    for (char ch : mantissa) {
      if (ch != '.') significant += ch;
    }
    significant.erase(0, significant.find_first_not_of('0'));
    // trailing zeros of an integer mantissa ("120") only pad the places
    if (mantissa.find('.') == std::string::npos) {
      significant.erase(significant.find_last_not_of('0') + 1);
    } else {
      EXPECT_NE(mantissa.back(), '0') << text;
      EXPECT_NE(mantissa.back(), '.') << text;
    }
    EXPECT_LE(static_cast<int>(significant.size()), digits) << text;
  }
  if (e != std::string::npos) {
    const std::string exponent = body.substr(e + 1);
    ASSERT_GE(exponent.size(), 2u) << text;
    EXPECT_TRUE(exponent[0] == '+' || exponent[0] == '-') << text;
    EXPECT_NE(exponent[1], '0') << text;
    EXPECT_EQ(std::stoi(exponent) % 3, 0) << text;
  }
}

TEST(FormatValue, TextReadsBackToTheShownPrecision) {
  std::mt19937_64 random(20261208);
  std::uniform_real_distribution<double> decade(-290.0, 290.0);
  std::uniform_real_distribution<double> fraction(1.0, 10.0);
  for (int digits : {2, 3, 4, 5, 6, 7, 8, 12}) {
    const double tolerance = 0.5 * std::pow(10.0, 1 - digits) * (1 + 1e-9) + 1e-13;
    for (int i = 0; i < 4000; ++i) {
      const double x =
          (i % 2 ? -1 : 1) * fraction(random) * std::pow(10.0, std::floor(decade(random)));
      const std::string text = FormatValue(digits, x);
      ExpectWellFormed(text, digits);
      const double back = ParseValue(text);
      ASSERT_LE(std::fabs(back - x), std::fabs(x) * tolerance)
          << digits << " digits of " << x << " gave " << text << ", read back as " << back;
      ASSERT_EQ(FormatValue(digits, back), text) << digits << " digits of " << x;
    }
  }
}

TEST(FormatValue, CarriedAndPaddedMantissasReadBack) {
  // values just below a power of ten: every digits setting rounds some of them up
  for (int digits = 1; digits <= 12; ++digits) {
    for (double base : {1.0, 10.0, 100.0, 1000.0, 1e-6, 1e9}) {
      for (double below : {1e-2, 1e-4, 1e-7, 1e-10, 1e-13}) {
        const double x = base * (1 - below);
        const std::string text = FormatValue(digits, x);
        ExpectWellFormed(text, digits);
        EXPECT_LE(std::fabs(ParseValue(text) - x), x * (0.5 * std::pow(10.0, 1 - digits) + 1e-13))
            << digits << " digits of " << x << " gave " << text;
      }
    }
  }
}

struct FloatCase {
  double value;
  const char* text;
};

TEST(FloatText, GeneralFormAsTheFrequencyShowsIt) {
  const FloatCase cases[] = {
      {1, "1"},
      {2.5, "2.5"},
      {0.5, "0.5"},
      {0.00005, "5E-5"},
      {1e15, "1E15"},
      {0, "0"},
      {-0.0, "0"},
      {4000, "4000"},
      {1.0 / 3, "0.333333333333333"},
      {1.5e-7, "1.5E-7"},
      {0.0001, "0.0001"},
      {0.000099999, "9.9999E-5"},
      {999999999999999, "999999999999999"},
      {123456789012345678.0, "1.23456789012346E17"},
      {1e100, "1E100"},
      {1e-300, "1E-300"},
      {-2.5, "-2.5"},
      {-0.00005, "-5E-5"},
      {1234567.125, "1234567.125"},
      {0.1 + 0.2, "0.3"},
      {INFINITY, "Infinity"},
      {-INFINITY, "-Infinity"},
      {NAN, "NaN"},
  };
  for (const FloatCase& c : cases) {
    EXPECT_EQ(FloatText(c.value), c.text) << c.value;
  }
}

TEST(FloatText, ReadsBackThroughTheParser) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> decade(-20.0, 20.0);
  for (int i = 0; i < 2000; ++i) {
    const double x = std::pow(10.0, decade(random));
    EXPECT_NEAR(ParseValue(FloatText(x)), x, x * 1e-13) << FloatText(x);
  }
}

}  // namespace
