// Engineering text typed by the user: accepted forms, rejected forms, and extreme inputs.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "value/Value.h"

namespace {

struct ParseCase {
  const char* text;
  double value;
};

class ParseAccepts : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseAccepts, GivesTheValue) {
  const ParseCase& c = GetParam();
  const double got = ParseValue(c.text);
  if (c.value == 0.0) {
    EXPECT_EQ(got, 0.0) << c.text;
  } else {
    EXPECT_NEAR(got, c.value, std::fabs(c.value) * 1e-14) << c.text;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseAccepts,
    testing::Values(
        // plain numbers and signs
        ParseCase{"0", 0.0}, ParseCase{"+3", 3.0}, ParseCase{"47", 47.0}, ParseCase{".5", 0.5},
        ParseCase{"5.", 5.0}, ParseCase{"-470m", -0.47}, ParseCase{"-4.7n", -4.7e-9},
        // surrounding white space and control characters are trimmed
        ParseCase{"  4.7k  ", 4700.0}, ParseCase{"\t\n4k7\r\x01", 4700.0},
        // suffix and unit letters
        ParseCase{"10n", 1e-8}, ParseCase{"2u2", 2.2e-6}, ParseCase{"3f", 3e-15},
        ParseCase{"1T", 1e12}, ParseCase{"1x", 1.0}, ParseCase{"10uF", 1e-5},
        ParseCase{"100Ohm", 100.0}, ParseCase{"1meg", 1e-3}, ParseCase{"1.5kOhm", 1500.0},
        // a suffix or unit letter stands for the decimal point
        ParseCase{"k5", 500.0}, ParseCase{"4k7", 4700.0}, ParseCase{"2R2", 2.2},
        ParseCase{"4R7", 4.7}, ParseCase{"1kOhm5", 1500.0}, ParseCase{"1K5", 1500.0},
        // the second separator ends the scan; the last suffix's power wins
        ParseCase{"1.5k7", 1500.0}, ParseCase{"1k5k", 1500.0}, ParseCase{"1M5G", 1.5e9},
        ParseCase{"1.k", 1000.0}, ParseCase{"2m5u3", 2.5e-6},
        // exponents
        ParseCase{"1e3", 1000.0}, ParseCase{"1E-3", 0.001}, ParseCase{"1e", 1.0},
        ParseCase{"2.5e+2x", 250.0}, ParseCase{"1e3.5", 1000.0}, ParseCase{"1e 3", 1000.0},
        ParseCase{"1e+-3", 1.0}, ParseCase{"1k2e5", 1.2e5}, ParseCase{"1ke3", 1300.0},
        ParseCase{"1e-0", 1.0}, ParseCase{"7e0015", 7e15}));

TEST(ParseValue, RejectsWithTheTrimmedTextInTheMessage) {
  const std::vector<std::string> rejected = {
      "4,7", "1 k",  "1.2.3", "--3",       "+-3", "-",     "k",    ".",
      "",    "   ",  "x1",    "Ohm",       "e3",  "1k e3", "1..2", "1+2",
      "3-",  "1k.5", "1Ge-3", "1\xc2\xb5", "+",   "-.",    "1/2",  " \t-e5 "};
  for (const std::string& text : rejected) {
    try {
      const double v = ParseValue(text);
      ADD_FAILURE() << "'" << text << "' was accepted as " << v;
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.what()), "Syntax error: " + TrimText(text));
    }
  }
  // The message quotes the text after trimming, not as passed.
  try {
    ParseValue("  4,7 \t");
    ADD_FAILURE() << "4,7 was accepted";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Syntax error: 4,7");
  }
}

TEST(ParseValue, AppliesTheExponentOneRoundedStepAtATime) {
  // 1 multiplied n times by 0.1, each product rounded: not the double nearest to 10^-n.
  EXPECT_EQ(ParseValue("1m"), 0x1.0624dd2f1a9fdp-10);
  EXPECT_EQ(ParseValue("1u"), 0x1.0c6f7a0b5ed8fp-20);
  EXPECT_EQ(ParseValue("1p"), 0x1.19799812dea14p-40);
  EXPECT_NE(ParseValue("1p"), 1e-12);
  // Growing powers are exact as long as the digits fit.
  EXPECT_EQ(ParseValue("1T"), 1e12);
  EXPECT_EQ(ParseValue("25e20"), 2.5e21);
}

TEST(TrimText, RemovesCodesUpToSpaceOnBothEnds) {
  EXPECT_EQ(TrimText(" \t\r\n\x1f 4k7 \x7f\x01 "), "4k7 \x7f");
  EXPECT_EQ(TrimText(std::string("\0 1 \0", 5)), "1");
  EXPECT_EQ(TrimText("\t \n"), "");
  EXPECT_EQ(TrimText("a b"), "a b");
}

TEST(ParseValue, HugeExponentsSaturate) {
  EXPECT_EQ(ParseValue("1e999999999"), INFINITY);
  EXPECT_EQ(ParseValue("-1e999999999"), -INFINITY);
  EXPECT_EQ(ParseValue("1e-999999999"), 0.0);
  EXPECT_EQ(ParseValue("1e2147483647"), INFINITY);
  EXPECT_EQ(ParseValue("1e-2147483648"), 0.0);
  // beyond the int range of the exponent: saturated, not wrapped round to a small power
  EXPECT_EQ(ParseValue("1e99999999999999999999999"), INFINITY);
  EXPECT_EQ(ParseValue("1e-99999999999999999999999"), 0.0);
  EXPECT_EQ(ParseValue("1e4294967296"), INFINITY);
  EXPECT_EQ(ParseValue("1e-4294967297"), 0.0);
  EXPECT_EQ(ParseValue("0e999999999"), 0.0);
  EXPECT_EQ(ParseValue("1e400"), INFINITY);
  EXPECT_EQ(ParseValue("1e-400"), 0.0);
  // the largest power of ten below overflow still reads as a number, within the rounding of
  // its 308 steps
  const double top = ParseValue("1e308");
  EXPECT_TRUE(std::isfinite(top));
  EXPECT_NEAR(top, 1e308, 1e308 * 1e-13);
  EXPECT_GT(ParseValue("1e-320"), 0.0);  // still a subnormal, not cut short
}

TEST(ParseValue, AcceptsTextsOfAnyLength) {
  const std::string many(2'000'000, '9');
  EXPECT_EQ(ParseValue(many), INFINITY);
  EXPECT_EQ(ParseValue("0." + std::string(1'000'000, '0') + "1"), 0.0);
  EXPECT_NEAR(ParseValue("0." + std::string(1'000'000, '3')), 1.0 / 3, 1e-15);
  EXPECT_EQ(ParseValue("1k" + std::string(1'000'000, 'x')), 1000.0);
  EXPECT_EQ(ParseValue("2e3" + std::string(1'000'000, '#')), 2000.0);
  EXPECT_EQ(ParseValue(std::string(1'000'000, ' ') + "5" + std::string(1'000'000, ' ')), 5.0);
  EXPECT_EQ(ParseValue("1e" + std::string(1'000'000, '0') + "3"), 1000.0);
  EXPECT_THROW(ParseValue(std::string(1'000'000, '1') + ","), Exception);
}

}  // namespace
