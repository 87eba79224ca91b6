// Assembly and sparse complex elimination of the nodal system. Every entry is an 80-bit
// long double; the byte flag matrices mark entries that may be nonzero so that every loop
// skips absent ones.
#include "analysis/CCalc.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "components/CCmp.h"

double CancelTolerance = 1e-11;

namespace {

constexpr double Pi = 3.141592653589793;

// True when either flag byte of the 8-byte word is set; lets row scans skip absent entries
// eight at a time.
inline uint64_t LoadWord(const uint8_t* p) {
  uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

// Calls f(l) for every column l in [from, to) of a flag row pair where either flag is set, in
// increasing order. Words of eight absent entries cost one test.
template <class F>
inline void ForEachPresent(const uint8_t* re, const uint8_t* im, int from, int to, F&& f) {
  int l = from;
  while (l < to && (l & 7) != 0) {
    if (re[l] | im[l]) f(l);
    ++l;
  }
  for (; l + 8 <= to; l += 8) {
    uint64_t w = LoadWord(re + l) | LoadWord(im + l);
    while (w != 0) {
      const int bit = std::countr_zero(w);
      const int col = l + bit / 8;
      f(col);
      w &= ~(uint64_t{0xff} << (bit & ~7));
    }
  }
  for (; l < to; ++l)
    if (re[l] | im[l]) f(l);
}

// Sets flag[k] = (row[k] != 0) for k = 1..n-1 by looking at the bit pattern of each 80-bit
// entry (64-bit significand, then sign and 15-bit exponent; the six padding bytes are masked
// off), which avoids slow x87 compares on the mostly empty rows. Four empty entries cost one
// test. Returns nonzero when some entry is infinite or not a number.
inline uint32_t FlagRow(const long double* row, uint8_t* flag, int n) {
  static_assert(sizeof(long double) == 16 && std::numeric_limits<long double>::digits == 64,
                "entries are x86 80-bit extended reals");
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(row);
  constexpr uint64_t ExponentMask = 0x7fff;  // drops the sign: -0 is no entry
  auto low = [&](int k) {
    uint64_t w;
    std::memcpy(&w, bytes + 16 * static_cast<size_t>(k), 8);
    return w;
  };
  auto high = [&](int k) {
    uint64_t w;
    std::memcpy(&w, bytes + 16 * static_cast<size_t>(k) + 8, 8);
    return w & ExponentMask;
  };
  uint32_t nonFinite = 0;
  auto one = [&](int k) {
    const uint64_t exponent = high(k);
    flag[k] = (low(k) | exponent) != 0;
    nonFinite |= exponent == ExponentMask;
  };
  int k = 1;
  for (; k + 4 <= n; k += 4) {
    if ((low(k) | high(k) | low(k + 1) | high(k + 1) | low(k + 2) | high(k + 2) | low(k + 3) |
         high(k + 3)) == 0) {
      std::memset(flag + k, 0, 4);
      continue;
    }
    for (int i = k; i < k + 4; ++i) one(i);
  }
  for (; k < n; ++k) one(k);
  return nonFinite;
}

}  // namespace

CCalc::~CCalc() {
  Release();
}

void CCalc::Release() {
  MatRe = MatIm = nullptr;
  VecRe = VecIm = nullptr;
  NzRe = NzIm = nullptr;
  block.reset();
  rowsRe.reset();
  rowsIm.reset();
  vecRe.reset();
  vecIm.reset();
  nzRe.reset();
  nzIm.reset();
  Count = 0;
  state = SystemState::Unknown;
}

size_t CCalc::StorageBytes() const {
  const size_t n = static_cast<size_t>(Count);
  return 2 * n * n * sizeof(long double) + 2 * n * sizeof(long double*) + 2 * n * sizeof(double) +
         2 * n * n;
}

void CCalc::NumberUnknowns() {
  Count = 0;
  if (Cmps == nullptr) {
    Count = 1;
    return;
  }
  const int cmpCount = Cmps->Count();
  std::vector<int32_t> nodes;
  for (int i = 0; i < cmpCount; ++i)
    for (int32_t node : Cmps->At(i)->Nodes)
      if (node != 0) nodes.push_back(node);
  std::sort(nodes.begin(), nodes.end());
  nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
  for (int i = 0; i < cmpCount; ++i)
    for (int32_t& node : Cmps->At(i)->Nodes)
      if (node != 0)
        node = static_cast<int32_t>(std::lower_bound(nodes.begin(), nodes.end(), node) -
                                    nodes.begin() + 1);

  // The running index is kept wide so that absurd extra counts fail instead of wrapping.
  int64_t next = static_cast<int64_t>(nodes.size()) + 1;
  bool fits = true;
  for (int i = 0; i < cmpCount; ++i) {
    CCmp* cmp = Cmps->At(i);
    if (!fits || next > std::numeric_limits<int32_t>::max()) {
      fits = false;
      cmp->FirstExtra = 0;
      continue;
    }
    next += cmp->AssignExtra(static_cast<int32_t>(next));
  }
  // Count stays 0 when the unknowns cannot be counted in an int; Build then fails.
  if (fits && next <= std::numeric_limits<int32_t>::max()) Count = static_cast<int>(next);
}

bool CCalc::Build() {
  Release();
  NumberUnknowns();
  if (Count == 0) return false;
  const size_t n = static_cast<size_t>(Count);
  // 2n² entries must be countable in bytes; beyond that the storage simply cannot be had.
  if (n > std::numeric_limits<size_t>::max() / 4 / sizeof(long double) / n) return false;

  // Stop at the first refusal: what was obtained stays owned until Release.
  block.reset(new (std::nothrow) long double[2 * n * n]);
  if (!block) return false;
  // Zero bytes are +0.0 in every entry.
  std::memset(static_cast<void*>(block.get()), 0, 2 * n * n * sizeof(long double));
  rowsRe.reset(new (std::nothrow) long double*[n]);
  rowsIm.reset(new (std::nothrow) long double*[n]);
  if (!rowsRe || !rowsIm) return false;
  vecRe.reset(new (std::nothrow) double[n]());
  vecIm.reset(new (std::nothrow) double[n]());
  if (!vecRe || !vecIm) return false;
  nzRe.reset(new (std::nothrow) uint8_t[n * n]());
  nzIm.reset(new (std::nothrow) uint8_t[n * n]());
  if (!nzRe || !nzIm) return false;

  for (size_t i = 0; i < n; ++i) {
    rowsRe[i] = block.get() + i * n;
    rowsIm[i] = block.get() + (n + i) * n;
  }
  MatRe = rowsRe.get();
  MatIm = rowsIm.get();
  VecRe = vecRe.get();
  VecIm = vecIm.get();
  NzRe = nzRe.get();
  NzIm = nzIm.get();
  state = SystemState::Zero;  // everything above was allocated zeroed
  return true;
}

void CCalc::ClearSystem() {
  if (!Ready()) return;
  const size_t n = static_cast<size_t>(Count);
  std::fill_n(VecRe, n, 0.0);
  std::fill_n(VecIm, n, 0.0);
  if (state == SystemState::Zero) return;
  if (state == SystemState::Flagged) {
    // Both flags clear means the entry is exactly zero, so only flagged entries, column 0
    // (which carries the right-hand side) and row 0 (which takes discarded stamps) can
    // hold anything.
    std::fill_n(MatRe[0], n, 0.0L);
    std::fill_n(MatIm[0], n, 0.0L);
    for (size_t i = 1; i < n; ++i) {
      long double* re = MatRe[i];
      long double* im = MatIm[i];
      re[0] = im[0] = 0.0L;
      ForEachPresent(NzRe + i * n, NzIm + i * n, 1, Count, [&](int l) { re[l] = im[l] = 0.0L; });
    }
  } else {
    std::fill_n(block.get(), 2 * n * n, 0.0L);
  }
  std::memset(NzRe, 0, n * n);
  std::memset(NzIm, 0, n * n);
  state = SystemState::Zero;
}

void CCalc::StampResistance(int a, int b, double r) {
  state = SystemState::Unknown;
  if (a == b) return;
  const double g = std::isinf(r) ? 0.0 : 1.0 / r;
  MatRe[a][a] -= g;
  MatRe[a][b] += g;
  MatRe[b][a] += g;
  MatRe[b][b] -= g;
}

void CCalc::StampVoltageBranch(int a, int b, int k) {
  state = SystemState::Unknown;
  if (a == b) return;
  MatRe[a][k] += 1;
  MatRe[b][k] -= 1;
  MatRe[k][a] -= 1;
  MatRe[k][b] += 1;
}

void CCalc::StampCurrentBranch(int a, int b, int k) {
  state = SystemState::Unknown;
  if (a != b) {
    MatRe[a][k] += 1;
    MatRe[b][k] -= 1;
  }
  MatRe[k][k] = 1;
}

void CCalc::StampMeterBranch(int a, int b, int k) {
  state = SystemState::Unknown;
  if (a != b) {
    MatRe[a][k] -= 1;
    MatRe[b][k] += 1;
  }
  MatRe[k][k] = 1;
}

void CCalc::Assemble() {
  state = SystemState::Unknown;
  Finite = true;
  if (!Ready()) return;
  if (Cmps != nullptr)
    for (int i = 0; i < Cmps->Count(); ++i) Cmps->At(i)->Stamp(*this);
  const int n = Count;
  uint32_t nonFinite = 0;
  for (int j = 1; j < n; ++j) {
    uint8_t* fr = NzRe + static_cast<size_t>(j) * n;
    uint8_t* fi = NzIm + static_cast<size_t>(j) * n;
    nonFinite |= FlagRow(MatRe[j], fr, n);
    nonFinite |= FlagRow(MatIm[j], fi, n);
  }
  Finite = nonFinite == 0;
  state = SystemState::Flagged;
}

bool CCalc::Solve(int meterUnknown, double frequency) {
  if (!Ready()) return false;
  Omega = static_cast<double>(static_cast<long double>(frequency) * 2 * Pi);
  ClearSystem();
  Assemble();
  std::fill_n(VecRe, Count, 0.0);
  std::fill_n(VecIm, Count, 0.0);
  if (meterUnknown >= 0 && meterUnknown < Count) VecRe[meterUnknown] = -1.0;
  return Eliminate();
}

bool CCalc::SubtractWithCancel(long double& entry, long double x) {
  const long double d = entry - x;
  if (std::fabs(d) > CancelTolerance * std::fabs(x)) {
    entry = d;
    return true;
  }
  entry = 0.0L;
  return false;
}

bool CCalc::Eliminate() {
  if (!Ready()) return false;
  const int n = Count;
  long double** re = MatRe;
  long double** im = MatIm;
  uint8_t* fr = NzRe;
  uint8_t* fi = NzIm;
  const size_t stride = static_cast<size_t>(n);
  const long double tolerance = CancelTolerance;
  auto present = [&](int i, int l) {
    const size_t at = static_cast<size_t>(i) * stride + static_cast<size_t>(l);
    return (fr[at] | fi[at]) != 0;
  };
  auto settled = [&](int i) { return present(i, i); };
  // SubtractWithCancel with the tolerance held in a register.
  auto subtract = [tolerance](long double& entry, long double x) {
    const long double d = entry - x;
    const bool kept = std::fabs(d) > tolerance * std::fabs(x);
    entry = kept ? d : 0.0L;
    return kept;
  };

  // The largest magnitude that went into any right-hand side. An unsettled row whose
  // right-hand side is within the tolerance of it holds only rounding left over from larger
  // terms and still reads 0 = 0.
  long double peak = 0;
  auto note = [&](long double uRe, long double uIm) {
    peak = std::max(peak, std::fabs(uRe) + std::fabs(uIm));
  };
  for (int i = 1; i < n; ++i) {
    re[i][0] = VecRe[i];
    im[i][0] = VecIm[i];
    note(re[i][0], im[i][0]);
  }

  // first[k]: the leftmost present column of the row at position k (n when none). A row that is
  // still a candidate in column j has nothing left of j (every earlier column was eliminated
  // from it), so the rows to visit in column j are exactly those whose first is j. This keeps
  // the column walks off the strided flag matrices.
  std::vector<int>& first = rowFirst;
  first.assign(stride, n);
  auto firstFrom = [&](int k, int from) {
    int found = n;
    const uint8_t* kfr = fr + static_cast<size_t>(k) * stride;
    const uint8_t* kfi = fi + static_cast<size_t>(k) * stride;
    int l = from;
    for (; l < n && (l & 7) != 0; ++l)
      if (kfr[l] | kfi[l]) return l;
    for (; l + 8 <= n; l += 8) {
      const uint64_t w = LoadWord(kfr + l) | LoadWord(kfi + l);
      if (w != 0) return l + std::countr_zero(w) / 8;
    }
    for (; l < n; ++l)
      if (kfr[l] | kfi[l]) return l;
    return found;
  };
  for (int k = 1; k < n; ++k) first[static_cast<size_t>(k)] = firstFrom(k, 1);

  std::vector<int>& rows = columnRows;
  std::vector<int>& cols = pivotCols;
  for (int j = 1; j < n; ++j) {
    rows.clear();
    for (int k = 1; k < n; ++k)
      if (first[static_cast<size_t>(k)] == j) rows.push_back(k);
    if (rows.empty()) continue;

    int e = -1;
    long double best = 0.0L;
    for (int k : rows) {
      const long double w = re[k][j] * re[k][j] + im[k][j] * im[k][j];
      if (w > best) {
        best = w;
        e = k;
      }
    }
    if (e < 0) {
      // No pivot: row j stays unsettled. Rows whose entries here are all zero stay
      // candidates in the columns further right where they have entries.
      for (int k : rows) first[static_cast<size_t>(k)] = firstFrom(k, j + 1);
      continue;
    }

    if (e != j) {
      std::swap(re[e], re[j]);
      std::swap(im[e], im[j]);
      std::swap(first[static_cast<size_t>(e)], first[static_cast<size_t>(j)]);
      // Row 0 of each flag matrix is the spare row for the exchange.
      for (uint8_t* f : {fr, fi}) {
        std::memcpy(f, f + e * stride, stride);
        std::memcpy(f + e * stride, f + j * stride, stride);
        std::memcpy(f + j * stride, f, stride);
      }
      for (int& k : rows)
        if (k == e)
          k = j;
        else if (k == j)
          k = e;
      std::sort(rows.begin(), rows.end());
    }

    long double* pr = re[j];
    long double* pi = im[j];
    const uint8_t* pfr = fr + j * stride;
    const uint8_t* pfi = fi + j * stride;
    const long double pRe = pr[j];
    const long double pIm = pi[j];
    cols.clear();
    ForEachPresent(pfr, pfi, j + 1, n, [&](int l) { cols.push_back(l); });
    if (pIm == 0 && pRe == 1) {
      // already unit
    } else if (pIm == 0) {
      const long double s = 1 / pRe;
      for (int l : cols) {
        if (pfr[l]) pr[l] *= s;
        if (pfi[l]) pi[l] *= s;
      }
      pr[j] = 1;
      pi[j] = 0;
      pr[0] *= s;
      pi[0] *= s;
    } else {
      const long double d = 1 / (pRe * pRe + pIm * pIm);
      const long double qRe = pRe * d;
      const long double qIm = -pIm * d;
      auto scale = [&](int l) {
        const long double ar = pr[l];
        const long double ai = pi[l];
        pr[l] = ar * qRe - ai * qIm;
        pi[l] = ar * qIm + ai * qRe;
      };
      for (int l : cols) scale(l);
      pr[j] = 1;
      pi[j] = 0;
      scale(0);
    }

    for (int k : rows) {
      if (k == j) continue;
      long double* kr = re[k];
      long double* ki = im[k];
      uint8_t* kfr = fr + k * stride;
      uint8_t* kfi = fi + k * stride;
      const long double mRe = kr[j];
      const long double mIm = ki[j];
      for (int l : cols) {
        const long double tRe = mRe * pr[l] - mIm * pi[l];
        const long double tIm = mRe * pi[l] + mIm * pr[l];
        if ((kfr[l] | kfi[l]) == 0) {
          kr[l] = -tRe;
          ki[l] = -tIm;
          kfr[l] = tRe != 0;
          kfi[l] = tIm != 0;
        } else {
          kfr[l] = subtract(kr[l], tRe);
          kfi[l] = subtract(ki[l], tIm);
        }
      }
      kr[j] = ki[j] = 0;
      kfr[j] = kfi[j] = 0;
      const long double uRe = mRe * pr[0] - mIm * pi[0];
      const long double uIm = mRe * pi[0] + mIm * pr[0];
      subtract(kr[0], uRe);
      subtract(ki[0], uIm);
      note(uRe, uIm);
      first[static_cast<size_t>(k)] = firstFrom(k, j + 1);
    }
  }

  // Back substitution. Each row's right-hand side takes its subtractions in order of falling
  // column, exactly as a column-by-column sweep would give them, but the row is read along its
  // own contiguous flags. Unsettled rows are zero outside column 0, so their right-hand sides
  // are final here; a settled row's solution stays in its column 0 once formed.
  std::fill_n(VecRe, n, 0.0);
  std::fill_n(VecIm, n, 0.0);
  for (int j = n - 1; j >= 1; --j) {
    long double* jr = re[j];
    long double* ji = im[j];
    if (!settled(j)) {
      // 0 = nonzero: no solution. A floating circuit makes one node row the sum of the
      // others; its right-hand side then cancels only to rounding, which is not a value.
      const long double left = std::fabs(jr[0]) + std::fabs(ji[0]);
      if (left != 0 && left > tolerance * peak) return false;
      continue;
    }
    cols.clear();
    ForEachPresent(fr + j * stride, fi + j * stride, j + 1, n, [&](int l) {
      if (settled(l)) cols.push_back(l);
    });
    for (auto it = cols.rbegin(); it != cols.rend(); ++it) {
      const int l = *it;
      const long double xRe = re[l][0];
      const long double xIm = im[l][0];
      subtract(jr[0], jr[l] * xRe - ji[l] * xIm);
      subtract(ji[0], jr[l] * xIm + ji[l] * xRe);
    }
    VecRe[j] = static_cast<double>(-jr[0]);
    VecIm[j] = static_cast<double>(-ji[0]);
  }
  return true;
}
