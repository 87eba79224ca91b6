// The factoriser alone: singular and nearly singular systems, a replayed order, and the fresh
// factorisation that a replay refused by the threshold falls back to.
#include <gtest/gtest.h>

#include <complex>
#include <vector>

#include "analysis/SparseLu.h"

namespace {

using Z = std::complex<long double>;
using Rows = std::vector<std::vector<Z>>;

// Factors a (replaying the stored order when asked) and solves a x = b; a solution must leave
// only rounding in every row. False where the factoriser or the substitution refuses.
bool FactorAndSolve(CSparseLu& lu, const Rows& a, const std::vector<Z>& b, bool replay) {
  const size_t n = a.size();
  std::vector<SMatrixEntry> entries;
  for (size_t i = 0; i < n; ++i)
    for (size_t j = 0; j < n; ++j)
      if (a[i][j] != Z{}) entries.push_back({int(i), int(j), {a[i][j].real(), a[i][j].imag()}});
  std::vector<SComplex> rhs(n), x(n);
  for (size_t i = 0; i < n; ++i) rhs[i] = {b[i].real(), b[i].imag()};
  if (!lu.Factor(static_cast<int>(n), entries, replay) || !lu.Substitute(rhs.data(), x.data()))
    return false;
  for (size_t i = 0; i < n; ++i) {
    Z sum = -b[i];
    long double size = std::abs(b[i]);
    for (size_t j = 0; j < n; ++j) sum += a[i][j] * Z(x[j].Re, x[j].Im);
    for (size_t j = 0; j < n; ++j) size += std::abs(a[i][j] * Z(x[j].Re, x[j].Im));
    EXPECT_LE(std::abs(sum), 1e-13L * size) << "row " << i;
  }
  return true;
}

TEST(CSparseLu, SolvesRefusesAndReplaysAsTheSystemAsks) {
  const Z i(0, 1);
  struct SCase {
    const char* name;
    Rows a;
    std::vector<Z> b;
    bool solvable;
    Rows again = {};  // factored next by replay, falling back to a fresh order; b must solve it
    bool replays = false;
  } cases[] = {
      // clang-format off
      {"regular, replayed with other values", {{4, 1, 0}, {1, 3, i}, {0, 2, 5}}, {1, i, 2}, true,
       {{5, 2, 0}, {1, 4, 2.0L * i}, {0, 1, 6}}, true},
      {"singular: row 2 is row 0 + row 1", {{1, 2, 0}, {0, 1, 3}, {1, 3, 3}}, {1, 2, 4}, false},
      {"near-singular, genuine", {{1, 2, 0}, {0, 1, 3}, {1, 3, 3 + 1e-6L}}, {1, 2, 4}, true},
      {"near-singular, under the tolerance", {{1, 2, 0}, {0, 1, 3}, {1, 3, 3 + 1e-14L}},
       {1, 2, 4}, false},
      {"stored pivot fails the threshold", {{2, 1}, {1, 1}}, {1, 0}, true,
       {{1e-9L, 1}, {1, 1}}, false},
      // clang-format on
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.name);
    CSparseLu lu;
    EXPECT_EQ(FactorAndSolve(lu, c.a, c.b, false), c.solvable);
    if (c.again.empty()) continue;
    EXPECT_EQ(FactorAndSolve(lu, c.again, c.b, true), c.replays);
    EXPECT_TRUE(c.replays || FactorAndSolve(lu, c.again, c.b, false));
  }
}

}  // namespace
