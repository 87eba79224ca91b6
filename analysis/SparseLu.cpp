// Markowitz ordering, factoring and substitution of the sparse complex system. Every
// subtraction goes through CCalc::SubtractWithCancel, so a difference that cancels to within
// the tolerance becomes an exact zero and leaves the pattern.
#include "analysis/SparseLu.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/CCalc.h"

namespace {

inline SComplex Mul(SComplex a, SComplex b) {
  return {a.Re * b.Re - a.Im * b.Im, a.Re * b.Im + a.Im * b.Re};
}

inline SComplex Div(SComplex a, SComplex p) {
  const long double d = 1 / (p.Re * p.Re + p.Im * p.Im);
  return Mul(a, {p.Re * d, -p.Im * d});
}

inline long double Weight(SComplex a) {
  return a.Re * a.Re + a.Im * a.Im;
}

inline long double Size(SComplex a) {
  return std::fabs(a.Re) + std::fabs(a.Im);
}

inline bool IsZero(SComplex a) {
  return a.Re == 0 && a.Im == 0;
}

// A difference far above the rounding of extended precision that the cancellation rule still
// turned into zero: a genuine value may have been lost there.
inline bool LostValue(long double d, long double x) {
  return d != 0 && std::fabs(d) > 1e-16L * std::fabs(x);
}

// Subtracts x from the entry, both parts through the cancellation rule; false when both
// parts ended as exact zeros. Counts the parts whose difference was lost.
inline bool Subtract(SComplex& entry, SComplex x, int& lost) {
  const long double dRe = entry.Re - x.Re, dIm = entry.Im - x.Im;
  const bool re = CCalc::SubtractWithCancel(entry.Re, x.Re);
  const bool im = CCalc::SubtractWithCancel(entry.Im, x.Im);
  lost += (!re && LostValue(dRe, x.Re)) + (!im && LostValue(dIm, x.Im));
  return re || im;
}

// A value that is no larger than the tolerance times the terms it was formed from is what is
// left of a cancellation spread over several subtractions: rounding, not a pivot.
inline bool Genuine(SComplex v, long double scale) {
  return Size(v) > static_cast<long double>(CancelTolerance) * scale;
}

}  // namespace

void CSparseLu::ForgetOrder() {
  order.clear();
  orderN = 0;
}

void CSparseLu::Load(int size, const std::vector<SMatrixEntry>& entries) {
  n = size;
  const size_t un = static_cast<size_t>(n);
  rows.resize(un);
  cols.resize(un);
  for (auto& row : rows) row.clear();
  for (auto& col : cols) col.clear();
  where.assign(un, -1);
  for (const SMatrixEntry& e : entries) {
    if (IsZero(e.Value)) continue;
    rows[static_cast<size_t>(e.Row)].push_back({e.Col, e.Value, Size(e.Value)});
    cols[static_cast<size_t>(e.Col)].push_back(e.Row);
  }
  steps.clear();
  lower.clear();
  upper.clear();
  pivotRow.assign(un, 0);
}

// ---- ordering

void CSparseLu::Unlink(int c) {
  const size_t uc = static_cast<size_t>(c);
  if (bucketOf[uc] < 0) return;
  const int prev = bucketPrev[uc], next = bucketNext[uc];
  if (prev >= 0)
    bucketNext[static_cast<size_t>(prev)] = next;
  else
    bucketHead[static_cast<size_t>(bucketOf[uc])] = next;
  if (next >= 0) bucketPrev[static_cast<size_t>(next)] = prev;
  bucketOf[uc] = -1;
}

void CSparseLu::Relink(int c) {
  if (!tracking) return;
  const size_t uc = static_cast<size_t>(c);
  const int count = static_cast<int>(cols[uc].size());
  if (bucketOf[uc] == count) return;
  Unlink(c);
  if (count == 0) return;
  const size_t head = static_cast<size_t>(count);
  bucketOf[uc] = count;
  largestCount = std::max(largestCount, count);
  bucketPrev[uc] = -1;
  bucketNext[uc] = bucketHead[head];
  if (bucketHead[head] >= 0) bucketPrev[static_cast<size_t>(bucketHead[head])] = c;
  bucketHead[head] = c;
}

namespace {

template <class Row>
auto FindIn(Row& row, int col) -> decltype(&row[0]) {
  for (auto& e : row)
    if (e.col == col) return &e;
  return nullptr;
}

}  // namespace

// The largest weight among the genuine entries of column c; 0 when it has none.
long double CSparseLu::ColumnPeak(int c) const {
  long double peak = 0;
  for (int i : cols[static_cast<size_t>(c)]) {
    const SEntry* e = FindIn(rows[static_cast<size_t>(i)], c);
    if (e != nullptr && Genuine(e->v, e->scale)) peak = std::max(peak, Weight(e->v));
  }
  return peak;
}

bool CSparseLu::Acceptable(const SEntry& e, long double peak) const {
  const long double w = Weight(e.v);
  return w > 0 && w >= Threshold * Threshold * peak && Genuine(e.v, e.scale);
}

// Markowitz's choice: the acceptable entry with the least (row count - 1)(column count - 1),
// searched over the columns of fewest entries first; a few columns with candidates are enough
// to find a pivot of (nearly) least fill.
bool CSparseLu::FindPivot(int& row, int& col) {
  constexpr int SearchLimit = 4;
  long long best = std::numeric_limits<long long>::max();
  long double bestWeight = 0;
  int examined = 0;
  for (int count = 1; count <= largestCount; ++count) {
    for (int c = bucketHead[static_cast<size_t>(count)]; c >= 0;
         c = bucketNext[static_cast<size_t>(c)]) {
      const long double peak = ColumnPeak(c);
      if (peak == 0) continue;
      for (int i : cols[static_cast<size_t>(c)]) {
        const auto& r = rows[static_cast<size_t>(i)];
        const SEntry* e = FindIn(r, c);
        if (e == nullptr || !Acceptable(*e, peak)) continue;
        const long long cost = static_cast<long long>(r.size() - 1) * (count - 1);
        const long double w = Weight(e->v);
        if (cost < best || (cost == best && w > bestWeight)) {
          best = cost;
          bestWeight = w;
          row = i;
          col = c;
        }
      }
      if (best == 0 || ++examined >= SearchLimit) return true;
    }
  }
  return examined > 0;
}

bool CSparseLu::StoredPivot(size_t step, int& row, int& col) const {
  row = order[step].row;
  col = order[step].col;
  if (pivotRow[static_cast<size_t>(row)]) return false;
  const SEntry* e = FindIn(rows[static_cast<size_t>(row)], col);
  return e != nullptr && Acceptable(*e, ColumnPeak(col));
}

bool CSparseLu::AnyPivotLeft() const {
  for (int c = 0; c < n; ++c)
    if (!cols[static_cast<size_t>(c)].empty() && ColumnPeak(c) > 0) return true;
  return false;
}

// ---- factoring

void CSparseLu::RemoveFromColumn(int c, int row) {
  std::vector<int>& col = cols[static_cast<size_t>(c)];
  auto it = std::find(col.begin(), col.end(), row);
  if (it == col.end()) return;
  *it = col.back();
  col.pop_back();
  Relink(c);
}

// Row i -= m times the pivot row's entries upper[from, to).
void CSparseLu::UpdateRow(int i, SComplex m, int from, int to) {
  std::vector<SEntry>& row = rows[static_cast<size_t>(i)];
  for (size_t k = 0; k < row.size(); ++k)
    where[static_cast<size_t>(row[k].col)] = static_cast<int>(k);
  bool cancelled = false;
  for (int u = from; u < to; ++u) {
    const SUpper& up = upper[static_cast<size_t>(u)];
    const SComplex t = Mul(m, up.v);
    if (IsZero(t)) continue;
    const int k = where[static_cast<size_t>(up.col)];
    if (k >= 0) {
      SEntry& e = row[static_cast<size_t>(k)];
      e.scale = std::max(e.scale, Size(t));
      if (!Subtract(e.v, t, lost)) cancelled = true;
    } else {
      where[static_cast<size_t>(up.col)] = static_cast<int>(row.size());
      row.push_back({up.col, {-t.Re, -t.Im}, Size(t)});
      cols[static_cast<size_t>(up.col)].push_back(i);
      Relink(up.col);
    }
  }
  for (const SEntry& e : row) where[static_cast<size_t>(e.col)] = -1;
  if (!cancelled) return;
  // Entries cancelled to exact zeros leave the pattern.
  size_t kept = 0;
  for (size_t k = 0; k < row.size(); ++k) {
    if (IsZero(row[k].v))
      RemoveFromColumn(row[k].col, i);
    else
      row[kept++] = row[k];
  }
  row.resize(kept);
}

void CSparseLu::Eliminate(int r, int c) {
  std::vector<SEntry>& pivotEntries = rows[static_cast<size_t>(r)];
  SComplex pivot;
  const int upperBegin = static_cast<int>(upper.size());
  for (const SEntry& e : pivotEntries) {
    if (e.col == c)
      pivot = e.v;
    else
      upper.push_back({e.col, e.v});
    RemoveFromColumn(e.col, r);
  }
  pivotEntries.clear();
  pivotRow[static_cast<size_t>(r)] = 1;
  const int upperEnd = static_cast<int>(upper.size());

  std::vector<int> targets;
  targets.swap(cols[static_cast<size_t>(c)]);
  if (tracking) Unlink(c);
  for (int i : targets) {
    std::vector<SEntry>& row = rows[static_cast<size_t>(i)];
    SEntry* e = FindIn(row, c);
    if (e == nullptr) continue;
    const SComplex m = Div(e->v, pivot);
    *e = row.back();
    row.pop_back();
    lower.push_back({i, m});
    UpdateRow(i, m, upperBegin, upperEnd);
  }
  targets.clear();
  targets.swap(cols[static_cast<size_t>(c)]);  // keep the column's storage
  steps.push_back({r, c, pivot, static_cast<int>(lower.size()), upperEnd});
}

bool CSparseLu::Factor(int size, const std::vector<SMatrixEntry>& entries, bool replay) {
  if (replay && orderN != size) return false;
  Load(size, entries);
  lost = 0;
  tracking = !replay;
  if (tracking) {
    const size_t un = static_cast<size_t>(n);
    bucketHead.assign(un + 1, -1);
    bucketNext.assign(un, -1);
    bucketPrev.assign(un, -1);
    bucketOf.assign(un, -1);
    largestCount = 0;
    for (int c = 0; c < n; ++c) Relink(c);
    order.clear();
  }
  for (size_t s = 0;; ++s) {
    int r = 0, c = 0;
    if (replay) {
      if (s == order.size()) break;
      if (!StoredPivot(s, r, c) || lost > 0) return false;
    } else {
      if (!FindPivot(r, c)) break;
      order.push_back({r, c});
    }
    Eliminate(r, c);
  }
  // A replayed order that lost values to the cancellation rule may lose what a fresh order
  // keeps; the fresh one decides then.
  if (replay && (lost > 0 || AnyPivotLeft())) return false;
  orderN = n;
  return true;
}

// ---- substitution

bool CSparseLu::Substitute(SComplex* b, SComplex* x) const {
  std::fill_n(x, n, SComplex{});
  int ignored = 0;
  // The largest magnitude that went into any right-hand side: a row without a pivot whose
  // right-hand side is within the tolerance of it holds only rounding and still reads 0 = 0.
  long double peak = 0;
  for (int i = 0; i < n; ++i) peak = std::max(peak, Size(b[i]));
  size_t k = 0;
  for (const SStep& s : steps) {
    const SComplex source = b[static_cast<size_t>(s.row)];
    const size_t end = static_cast<size_t>(s.lowerEnd);
    if (IsZero(source)) {
      k = end;
      continue;
    }
    for (; k < end; ++k) {
      const SComplex u = Mul(lower[k].m, source);
      Subtract(b[static_cast<size_t>(lower[k].row)], u, ignored);
      peak = std::max(peak, Size(u));
    }
  }
  for (int i = 0; i < n; ++i) {
    if (pivotRow[static_cast<size_t>(i)]) continue;
    const long double left = Size(b[static_cast<size_t>(i)]);
    if (left != 0 && left > static_cast<long double>(CancelTolerance) * peak) return false;
  }
  for (size_t s = steps.size(); s-- > 0;) {
    const SStep& step = steps[s];
    SComplex sum = b[static_cast<size_t>(step.row)];
    const size_t begin = s == 0 ? 0 : static_cast<size_t>(steps[s - 1].upperEnd);
    for (size_t u = begin; u < static_cast<size_t>(step.upperEnd); ++u) {
      const SComplex v = x[static_cast<size_t>(upper[u].col)];
      if (!IsZero(v)) Subtract(sum, Mul(upper[u].v, v), ignored);
    }
    x[static_cast<size_t>(step.col)] = Div(sum, step.pivot);
  }
  return true;
}

std::vector<SComplex> CSparseLu::Contradiction(const SComplex* b) const {
  // The forward substitution of Substitute, to find the first row that is left with a
  // right-hand side.
  if (n <= 0 || pivotRow.size() != static_cast<size_t>(n)) return {};
  std::vector<SComplex> rest(b, b + n);
  int ignored = 0;
  long double peak = 0;
  for (const SComplex& v : rest) peak = std::max(peak, Size(v));
  size_t k = 0;
  for (const SStep& s : steps) {
    const SComplex source = rest[static_cast<size_t>(s.row)];
    for (; k < static_cast<size_t>(s.lowerEnd); ++k) {
      const SComplex u = Mul(lower[k].m, source);
      Subtract(rest[static_cast<size_t>(lower[k].row)], u, ignored);
      peak = std::max(peak, Size(u));
    }
  }
  int bad = -1;
  for (int i = 0; i < n && bad < 0; ++i) {
    const long double left = Size(rest[static_cast<size_t>(i)]);
    if (!pivotRow[static_cast<size_t>(i)] && left != 0 &&
        left > static_cast<long double>(CancelTolerance) * peak)
      bad = i;
  }
  if (bad < 0) return {};

  // That row is its original minus multiples of the pivot rows as they stood when used, and
  // each of those is its original minus earlier ones: unwinding the steps from the last gives
  // the weight of every original row.
  std::vector<std::vector<std::pair<size_t, SComplex>>> usedBy(static_cast<size_t>(n));
  size_t from = 0;
  for (size_t s = 0; s < steps.size(); ++s) {
    for (; from < static_cast<size_t>(steps[s].lowerEnd); ++from)
      usedBy[static_cast<size_t>(lower[from].row)].emplace_back(s, lower[from].m);
  }
  std::vector<SComplex> weight(static_cast<size_t>(n)), ofStep(steps.size());
  weight[static_cast<size_t>(bad)] = {1, 0};
  for (const auto& [s, m] : usedBy[static_cast<size_t>(bad)])
    ofStep[s] = {ofStep[s].Re - m.Re, ofStep[s].Im - m.Im};
  for (size_t s = steps.size(); s-- > 0;) {
    const SComplex c = ofStep[s];
    if (IsZero(c)) continue;
    SComplex& w = weight[static_cast<size_t>(steps[s].row)];
    w = {w.Re + c.Re, w.Im + c.Im};
    for (const auto& [t, m] : usedBy[static_cast<size_t>(steps[s].row)]) {
      const SComplex u = Mul(c, m);
      ofStep[t] = {ofStep[t].Re - u.Re, ofStep[t].Im - u.Im};
    }
  }
  return weight;
}

size_t CSparseLu::Bytes() const {
  size_t bytes = rows.capacity() * sizeof(rows[0]) + cols.capacity() * sizeof(cols[0]);
  for (const auto& r : rows) bytes += r.capacity() * sizeof(SEntry);
  for (const auto& c : cols) bytes += c.capacity() * sizeof(int);
  bytes += (where.capacity() + bucketHead.capacity() + bucketNext.capacity() +
            bucketPrev.capacity() + bucketOf.capacity()) *
           sizeof(int);
  bytes += steps.capacity() * sizeof(SStep) + lower.capacity() * sizeof(SLower) +
           upper.capacity() * sizeof(SUpper) + pivotRow.capacity() +
           order.capacity() * sizeof(SPivot);
  return bytes;
}

void CSparseLu::ReleaseWork() {
  std::vector<std::vector<SEntry>>().swap(rows);
  std::vector<std::vector<int>>().swap(cols);
  std::vector<int>().swap(where);
  std::vector<int>().swap(bucketHead);
  std::vector<int>().swap(bucketNext);
  std::vector<int>().swap(bucketPrev);
  std::vector<int>().swap(bucketOf);
  std::vector<SStep>().swap(steps);
  std::vector<SLower>().swap(lower);
  std::vector<SUpper>().swap(upper);
  std::vector<unsigned char>().swap(pivotRow);
  n = 0;
}
