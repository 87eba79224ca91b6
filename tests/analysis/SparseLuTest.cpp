// The factoriser alone: singular and nearly singular systems, a replayed order, and the fresh
// factorisation that a replay refused by the threshold or by a new pattern falls back to.
#include <gtest/gtest.h>

#include <complex>
#include <vector>

#include "analysis/SparseLu.h"

namespace {

using Z = std::complex<long double>;
using Rows = std::vector<std::vector<Z>>;

std::vector<SMatrixEntry> Entries(const Rows& a) {
  std::vector<SMatrixEntry> out;
  for (size_t i = 0; i < a.size(); ++i)
    for (size_t j = 0; j < a.size(); ++j)
      if (a[i][j] != Z{}) out.push_back({int(i), int(j), {a[i][j].real(), a[i][j].imag()}});
  return out;
}

// Substitutes b on the last factors. Solved, every row's residual is rounding; refused, the
// contradiction's weights sum the rows to zero and the right-hand sides to something else.
bool SolveChecked(const CSparseLu& lu, const Rows& a, const std::vector<Z>& b) {
  const size_t n = a.size();
  std::vector<SComplex> rhs(n), x(n);
  for (size_t i = 0; i < n; ++i) rhs[i] = {b[i].real(), b[i].imag()};
  const std::vector<SComplex> given = rhs;
  const bool solved = lu.Substitute(rhs.data(), x.data());
  const std::vector<SComplex> w = solved ? std::vector<SComplex>{} : lu.Contradiction(given.data());
  EXPECT_EQ(w.size(), solved ? 0 : n);
  auto at = [](const std::vector<SComplex>& v, size_t k) { return Z(v[k].Re, v[k].Im); };
  // Solved: row k of a x - b. Refused: column k of the weighted rows, b's column last.
  for (size_t k = 0; k < (solved ? n : n + 1); ++k) {
    Z sum = solved ? -b[k] : 0;
    long double size = std::abs(sum);
    for (size_t m = 0; m < n; ++m) {
      const Z t = solved ? a[k][m] * at(x, m) : at(w, m) * (k < n ? a[m][k] : b[m]);
      sum += t;
      size += std::abs(t);
    }
    if (k == n) {
      EXPECT_GT(std::abs(sum), 1e-6L * size) << "the right-hand sides";
    } else {
      EXPECT_LE(std::abs(sum), 1e-13L * size) << k;
    }
  }
  return solved;
}

TEST(CSparseLu, SolvesRefusesAndReplaysAsTheSystemAsks) {
  const Z i(0, 1);
  struct SCase {
    const char* name;
    Rows a;
    std::vector<Z> b;
    bool solvable;
    Rows again = {};  // factored next with replay; b must solve it
    bool replays = false;
  } cases[] = {
      // clang-format off
      {"regular, replayed with other values", {{4, 1, 0}, {1, 3, i}, {0, 2, 5}}, {1, i, 2}, true,
       {{5, 2, 0}, {1, 4, 2.0L * i}, {0, 1, 6}}, true},
      {"singular, contradicting", {{1, 2, 0}, {0, 1, 3}, {1, 3, 3}}, {1, 2, 4}, false},
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
    const int n = static_cast<int>(c.a.size());
    ASSERT_TRUE(lu.Factor(n, Entries(c.a), false));
    EXPECT_EQ(SolveChecked(lu, c.a, c.b), c.solvable);
    if (c.again.empty()) continue;
    const bool replayed = lu.Factor(n, Entries(c.again), true);
    EXPECT_EQ(replayed, c.replays);
    if (!replayed) {
      EXPECT_TRUE(lu.Factor(n, Entries(c.again), false));
    }
    EXPECT_TRUE(SolveChecked(lu, c.again, c.b));
  }
}

}  // namespace
