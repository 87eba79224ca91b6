// The match figures against their closed forms, and the two directions of Γ against each other.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>

#include "analysis/Match.h"

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();

struct SMatchCase {
  const char* Name;
  std::complex<double> Z;
  double Z0;
};

// Closed forms computed here from Γ alone, for loads of every sort: matched, open, short,
// purely reactive, resistive above and below Z0, complex, and a Z0 that is not 50.
TEST(Match, FiguresFollowTheirClosedForms) {
  const SMatchCase cases[] = {
      {"matched", {50, 0}, 50},     {"double", {100, 0}, 50},   {"half", {25, 0}, 50},
      {"complex", {30, -40}, 50},   {"inductive", {0, 50}, 50}, {"capacitive", {0, -7}, 75},
      {"short", {0, 0}, 50},        {"open", {Inf, 0}, 50},     {"antenna", {3, 0.2}, 50},
      {"high Z0", {1e6, 1e6}, 377},
  };
  for (const SMatchCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const SMatch m = MatchFigures(c.Z, c.Z0);
    ASSERT_TRUE(m.Gamma);
    const std::complex<double> expected =
        std::isinf(c.Z.real()) ? std::complex<double>(1, 0) : (c.Z - c.Z0) / (c.Z + c.Z0);
    EXPECT_NEAR(std::abs(*m.Gamma - expected), 0.0, 1e-15);
    const double g = std::abs(expected);
    ASSERT_TRUE(m.ReturnLossDb && m.Vswr && m.MismatchLossDb);
    EXPECT_DOUBLE_EQ(*m.ReturnLossDb, g == 0 ? Inf : -20 * std::log10(g));
    if (std::abs(g - 1.0) < 1e-15) {
      EXPECT_EQ(*m.Vswr, Inf);
      EXPECT_EQ(*m.MismatchLossDb, Inf);
    } else {
      EXPECT_NEAR(*m.Vswr, (1 + g) / (1 - g), 1e-12 * (1 + g) / (1 - g));
      EXPECT_NEAR(*m.MismatchLossDb, -10 * std::log10(1 - g * g), 1e-12);
    }
    const auto back = ImpedanceOfReflection(*m.Gamma, c.Z0);
    ASSERT_TRUE(back);
    if (!std::isinf(c.Z.real()) && std::abs(c.Z) < 1e5) {
      EXPECT_NEAR(std::abs(*back - c.Z), 0.0, 1e-9 * (1 + std::abs(c.Z)));
    }
  }
}

TEST(Match, NoNumberWhereThereIsNone) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(MatchFigures({50, 0}, 0).Gamma);
  EXPECT_FALSE(MatchFigures({50, 0}, -50).Gamma);
  EXPECT_FALSE(MatchFigures({nan, 0}, 50).Gamma);
  // A load with negative resistance reflects more than it receives: a return loss below zero,
  // no VSWR and no mismatch loss.
  const SMatch active = MatchFigures({-10, 0}, 50);
  ASSERT_TRUE(active.ReturnLossDb);
  EXPECT_LT(*active.ReturnLossDb, 0.0);
  EXPECT_FALSE(active.Vswr);
  EXPECT_FALSE(active.MismatchLossDb);
}

}  // namespace
