// Markowitz ordering, factoring and substitution of the sparse complex system. Every
// subtraction goes through CSparseLu::SubtractWithCancel, so a difference that cancels to within
// the tolerance becomes an exact zero and leaves the pattern.
#include "analysis/SparseLu.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

template <class T>
inline TComplex<T> Mul(TComplex<T> a, TComplex<T> b) {
  return {a.Re * b.Re - a.Im * b.Im, a.Re * b.Im + a.Im * b.Re};
}

template <class T>
inline TComplex<T> Div(TComplex<T> a, TComplex<T> p) {
  const T d = 1 / (p.Re * p.Re + p.Im * p.Im);
  return Mul(a, {p.Re * d, -p.Im * d});
}

template <class T>
inline T Weight(TComplex<T> a) {
  return a.Re * a.Re + a.Im * a.Im;
}

template <class T>
inline T Size(TComplex<T> a) {
  return std::fabs(a.Re) + std::fabs(a.Im);
}

template <class T>
inline bool IsZero(TComplex<T> a) {
  return a.Re == 0 && a.Im == 0;
}

// A difference far above the rounding of the arithmetic that the cancellation rule still
// turned into zero: a genuine value may have been lost there.
template <class T>
inline bool LostValue(T d, T x) {
  constexpr T Rounding = sizeof(T) > sizeof(double) ? 1e-16L : 1e-13;
  return d != 0 && std::fabs(d) > Rounding * std::fabs(x);
}

// Subtracts x from the entry, both parts through the cancellation rule; false when both
// parts ended as exact zeros. Counts the parts whose difference was lost.
// `zeroed` counts every nonzero difference the rule took, rounding or not.
template <class T>
inline bool Subtract(TComplex<T>& entry, TComplex<T> x, int& lost, int& zeroed) {
  const T dRe = entry.Re - x.Re, dIm = entry.Im - x.Im;
  const bool re = CSparseLu::SubtractWithCancel(entry.Re, x.Re);
  const bool im = CSparseLu::SubtractWithCancel(entry.Im, x.Im);
  lost += (!re && LostValue(dRe, x.Re)) + (!im && LostValue(dIm, x.Im));
  zeroed += (!re && dRe != 0) + (!im && dIm != 0);
  return re || im;
}

// A value that is no larger than the tolerance times the terms it was formed from is what is
// left of a cancellation spread over several subtractions: rounding, not a pivot.
template <class T>
inline bool Genuine(TComplex<T> v, T scale) {
  return Size(v) > static_cast<T>(CSparseLu::CancelTolerance) * scale;
}

template <class T>
inline bool Acceptable(TComplex<T> v, T scale, T peak) {
  const T w = Weight(v);
  return w > 0 && w >= static_cast<T>(CSparseLu::Threshold * CSparseLu::Threshold) * peak &&
         Genuine(v, scale);
}

}  // namespace

void CSparseLu::ForgetOrder() {
  order.clear();
  orderN = 0;
  planned = false;
  lanesValid = false;
  spares.clear();
}

void CSparseLu::ExchangePlan(SPlan& spare) {
  std::swap(order, spare.order);
  std::swap(orderN, spare.orderN);
  std::swap(planned, spare.planned);
  std::swap(slotCount, spare.slotCount);
  std::swap(inputSlot, spare.inputSlot);
  std::swap(steps, spare.steps);
  std::swap(lower, spare.lower);
  std::swap(upper, spare.upper);
  std::swap(updates, spare.updates);
  std::swap(restSlots, spare.restSlots);
  std::swap(pivotRow, spare.pivotRow);
  baseReady = false;
  lanesValid = false;
  fastValid = false;
}

bool CSparseLu::SwapOrder(size_t i) {
  if (i >= spares.size() || spares[i].orderN != orderN) return false;
  ExchangePlan(spares[i]);
  return true;
}

void CSparseLu::ClearPlan(size_t un) {
  steps.clear();
  lower.clear();
  upper.clear();
  updates.clear();
  restSlots.clear();
  pivotRow.assign(un, 0);
}

void CSparseLu::Load(int size, const std::vector<SMatrixEntry>& entries) {
  n = size;
  const size_t un = static_cast<size_t>(n);
  // Room for what each row and column holds, and some fill.
  rooms.assign(un, 4);
  for (const SMatrixEntry& e : entries) ++rooms[static_cast<size_t>(e.Row)];
  rows.Reset(un, rooms);
  rooms.assign(un, 4);
  for (const SMatrixEntry& e : entries) ++rooms[static_cast<size_t>(e.Col)];
  cols.Reset(un, rooms);
  where.assign(un, -1);
  // The plan is recorded on the way; an entry that is zero now has no place in it.
  recording = true;
  slotCount = static_cast<int>(entries.size());
  inputSlot.resize(entries.size());
  ClearPlan(un);
  exact.v.assign(entries.size(), {});
  for (size_t i = 0; i < entries.size(); ++i) {
    const SMatrixEntry& e = entries[i];
    inputSlot[i] = static_cast<int>(i);
    if (IsZero(e.Value)) {
      recording = false;
      continue;
    }
    rows[static_cast<size_t>(e.Row)].push_back(
        {e.Col, static_cast<int>(i), e.Value, Size(e.Value)});
    cols[static_cast<size_t>(e.Col)].push_back(e.Row);
  }
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
auto FindIn(const Row& row, int col) -> decltype(&row[0]) {
  for (auto& e : row)
    if (e.col == col) return &e;
  return nullptr;
}

}  // namespace

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
      // The column's entries, each found once: its peak first, then the candidates against it.
      candidates.clear();
      long double peak = 0;
      for (int i : cols[static_cast<size_t>(c)]) {
        const SEntry* e = FindIn(rows[static_cast<size_t>(i)], c);
        if (e == nullptr) continue;
        const SCandidate found{i, Weight(e->v), Genuine(e->v, e->scale)};
        if (found.genuine) peak = std::max(peak, found.weight);
        candidates.push_back(found);
      }
      if (peak == 0) continue;
      const long double least = Threshold * Threshold * peak;
      for (const SCandidate& e : candidates) {
        // A dearer candidate cannot win, whatever its weight.
        const size_t size = rows[static_cast<size_t>(e.row)].size();
        const long long cost = static_cast<long long>(size - 1) * (count - 1);
        if (cost > best || !e.genuine || e.weight <= 0 || e.weight < least) continue;
        if (cost < best || e.weight > bestWeight) {
          best = cost;
          bestWeight = e.weight;
          row = e.row;
          col = c;
        }
      }
      if (best == 0 || ++examined >= SearchLimit) return true;
    }
  }
  return examined > 0;
}

void CSparseLu::RemoveFromColumn(int c, int row) {
  const TLists<int>::Ref col = cols[static_cast<size_t>(c)];
  int* it = std::find(col.begin(), col.end(), row);
  if (it == col.end()) return;
  *it = col.back();
  col.pop_back();
  Relink(c);
}

// Row i -= m times the pivot row's entries.
void CSparseLu::UpdateRow(int i, SComplex m) {
  const TLists<SEntry>::Ref row = rows[static_cast<size_t>(i)];
  for (size_t k = 0; k < row.size(); ++k)
    where[static_cast<size_t>(row[k].col)] = static_cast<int>(k);
  bool cancelled = false;
  for (const SUpper& up : pivotEntries) {
    const SComplex t = Mul(m, up.v);
    const int k = where[static_cast<size_t>(up.col)];
    if (k >= 0) {
      SEntry& e = row[static_cast<size_t>(k)];
      if (recording) updates.push_back(e.slot);
      if (IsZero(t)) continue;
      e.scale = std::max(e.scale, Size(t));
      if (!Subtract(e.v, t, lost, bent)) cancelled = true;
    } else {
      // A product of zero leaves a position of the plan unfilled here.
      if (IsZero(t)) {
        recording = false;
        continue;
      }
      if (recording) updates.push_back(slotCount);
      where[static_cast<size_t>(up.col)] = static_cast<int>(row.size());
      row.push_back({up.col, slotCount++, {-t.Re, -t.Im}, Size(t)});
      cols[static_cast<size_t>(up.col)].push_back(i);
      Relink(up.col);
    }
  }
  for (const SEntry& e : row) where[static_cast<size_t>(e.col)] = -1;
  if (!cancelled) return;
  // Entries cancelled to exact zeros leave the pattern, and the plan has to be made apart.
  recording = false;
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
  const TLists<SEntry>::Ref pivotRowEntries = rows[static_cast<size_t>(r)];
  SComplex pivot;
  int pivotSlot = -1;
  pivotEntries.clear();
  for (const SEntry& e : pivotRowEntries) {
    if (e.col == c) {
      pivot = e.v;
      pivotSlot = e.slot;
    } else {
      pivotEntries.push_back({e.col, e.slot, e.v});
    }
    RemoveFromColumn(e.col, r);
  }
  pivotRowEntries.clear();
  pivotRow[static_cast<size_t>(r)] = 1;
  if (exact.v.size() < static_cast<size_t>(slotCount))
    exact.v.resize(static_cast<size_t>(slotCount));
  exact.v[static_cast<size_t>(pivotSlot)] = pivot;
  for (const SUpper& up : pivotEntries) {
    upper.push_back({up.col, up.slot});
    exact.v[static_cast<size_t>(up.slot)] = up.v;
  }

  const TLists<int>::Ref column = cols[static_cast<size_t>(c)];
  targets.assign(column.begin(), column.end());
  column.clear();
  if (tracking) Unlink(c);
  for (int i : targets) {
    const TLists<SEntry>::Ref row = rows[static_cast<size_t>(i)];
    SEntry* e = FindIn(row, c);
    if (e == nullptr) continue;
    const SComplex m = Div(e->v, pivot);
    lower.push_back({i, e->slot});
    exact.v[static_cast<size_t>(e->slot)] = m;
    *e = row.back();
    row.pop_back();
    UpdateRow(i, m);
  }
  steps.push_back({r, c, pivotSlot, static_cast<int>(lower.size()), static_cast<int>(upper.size()),
                   static_cast<int>(updates.size())});
}

// The elimination on the active matrix that chooses the pivots; its values are not kept.
void CSparseLu::ChooseOrder(const std::vector<SMatrixEntry>& entries) {
  Load(n, entries);
  lost = 0;
  bent = 0;
  tracking = true;
  const size_t un = static_cast<size_t>(n);
  bucketHead.assign(un + 1, -1);
  bucketNext.assign(un, -1);
  bucketPrev.assign(un, -1);
  bucketOf.assign(un, -1);
  largestCount = 0;
  for (int c = 0; c < n; ++c) Relink(c);
  order.clear();
  int r = 0, c = 0;
  while (FindPivot(r, c)) {
    order.push_back({r, c});
    Eliminate(r, c);
  }
  tracking = false;
  orderN = n;
  planned = recording;
  baseReady = false;
  lanesValid = false;
  if (!recording) return;
  exact.v.resize(static_cast<size_t>(slotCount));
  for (size_t i = 0; i < static_cast<size_t>(n); ++i)
    if (!pivotRow[i])
      for (const SEntry& e : rows[i]) restSlots.push_back(e.slot);
}

// ---- the plan

// Every position the step can fill is given a slot, whatever the values: a value that cancels
// at one frequency need not at the next.
void CSparseLu::PlanStep(int r, int c, std::vector<std::vector<SRef>>& active,
                         std::vector<std::vector<int>>& column) {
  auto drop = [](std::vector<int>& list, int item) {
    auto it = std::find(list.begin(), list.end(), item);
    if (it == list.end()) return;
    *it = list.back();
    list.pop_back();
  };
  std::vector<SRef>& pivotRefs = active[static_cast<size_t>(r)];
  int pivotSlot = -1;
  const size_t upperBegin = upper.size();
  for (const SRef& ref : pivotRefs) {
    if (ref.index == c)
      pivotSlot = ref.slot;
    else
      upper.push_back(ref);
    drop(column[static_cast<size_t>(ref.index)], r);
  }
  pivotRefs.clear();
  pivotRow[static_cast<size_t>(r)] = 1;
  if (pivotSlot < 0) planned = false;
  std::vector<int> targets;
  targets.swap(column[static_cast<size_t>(c)]);
  for (int i : targets) {
    std::vector<SRef>& row = active[static_cast<size_t>(i)];
    for (size_t k = 0; k < row.size(); ++k) {
      if (row[k].index != c) continue;
      lower.push_back({i, row[k].slot});
      row[k] = row.back();
      row.pop_back();
      break;
    }
    for (size_t k = 0; k < row.size(); ++k)
      where[static_cast<size_t>(row[k].index)] = static_cast<int>(k);
    for (size_t u = upperBegin; u < upper.size(); ++u) {
      const size_t j = static_cast<size_t>(upper[u].index);
      if (where[j] < 0) {
        where[j] = static_cast<int>(row.size());
        row.push_back({upper[u].index, slotCount++});
        column[j].push_back(i);
      }
      updates.push_back(row[static_cast<size_t>(where[j])].slot);
    }
    for (const SRef& ref : row) where[static_cast<size_t>(ref.index)] = -1;
  }
  steps.push_back({r, c, pivotSlot, static_cast<int>(lower.size()), static_cast<int>(upper.size()),
                   static_cast<int>(updates.size())});
}

void CSparseLu::Plan(const std::vector<SMatrixEntry>& entries) {
  const size_t un = static_cast<size_t>(n);
  std::vector<std::vector<SRef>> active(un);
  std::vector<std::vector<int>> column(un);
  slotCount = 0;
  inputSlot.resize(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    inputSlot[i] = slotCount;
    active[static_cast<size_t>(entries[i].Row)].push_back({entries[i].Col, slotCount++});
    column[static_cast<size_t>(entries[i].Col)].push_back(entries[i].Row);
  }
  ClearPlan(un);
  where.assign(un, -1);
  planned = true;
  baseReady = false;
  lanesValid = false;
  for (const SPivot& p : order) PlanStep(p.row, p.col, active, column);
  for (size_t i = 0; i < un; ++i)
    if (!pivotRow[i])
      for (const SRef& ref : active[i]) restSlots.push_back(ref.slot);
}

// ---- factoring on the plan

template <class T>
bool CSparseLu::Refactor(SValues<T>& values, const std::vector<SMatrixEntry>& entries, bool check) {
  values.v.assign(static_cast<size_t>(slotCount), {});
  values.scale.assign(static_cast<size_t>(slotCount), 0);
  for (size_t i = 0; i < entries.size(); ++i) {
    const TComplex<T> v{static_cast<T>(entries[i].Value.Re), static_cast<T>(entries[i].Value.Im)};
    if (!std::isfinite(v.Re) || !std::isfinite(v.Im)) return false;
    const size_t slot = static_cast<size_t>(inputSlot[i]);
    values.v[slot] = v;
    values.scale[slot] = Size(v);
  }
  lost = 0;
  return Run(values, check);
}

// The elimination of the stored order. With `check`, the replay gives up where the pivot fails
// the threshold, where the rule took a value, or where a genuine entry is left without a pivot.
template <class T>
bool CSparseLu::Run(SValues<T>& values, bool check) {
  std::vector<TComplex<T>>& v = values.v;
  std::vector<T>& scale = values.scale;
  size_t lo = 0, up = 0, update = 0;
  bent = 0;
  for (const SStep& s : steps) {
    const size_t ps = static_cast<size_t>(s.pivotSlot);
    const TComplex<T> pivot = v[ps];
    if (check) {
      T peak = Genuine(pivot, scale[ps]) ? Weight(pivot) : 0;
      for (size_t k = lo; k < static_cast<size_t>(s.lowerEnd); ++k) {
        const size_t slot = static_cast<size_t>(lower[k].slot);
        if (Genuine(v[slot], scale[slot])) peak = std::max(peak, Weight(v[slot]));
      }
      if (lost > 0 || !Acceptable(pivot, scale[ps], peak)) return false;
    }
    const size_t upEnd = static_cast<size_t>(s.upperEnd);
    for (; lo < static_cast<size_t>(s.lowerEnd); ++lo) {
      TComplex<T>& e = v[static_cast<size_t>(lower[lo].slot)];
      if (IsZero(e)) {
        update += upEnd - up;
        continue;
      }
      const TComplex<T> m = Div(e, pivot);
      e = m;
      for (size_t u = up; u < upEnd; ++u, ++update) {
        const TComplex<T> t = Mul(m, v[static_cast<size_t>(upper[u].slot)]);
        if (IsZero(t)) continue;
        const size_t target = static_cast<size_t>(updates[update]);
        if (IsZero(v[target])) {
          v[target] = {-t.Re, -t.Im};
          scale[target] = Size(t);
        } else {
          scale[target] = std::max(scale[target], Size(t));
          if (!Subtract(v[target], t, lost, bent)) scale[target] = 0;
        }
      }
    }
    up = upEnd;
  }
  if (!check) return true;
  if (lost > 0) return false;
  for (int slot : restSlots) {
    const size_t at = static_cast<size_t>(slot);
    if (!IsZero(v[at]) && Genuine(v[at], scale[at])) return false;
  }
  return true;
}

bool CSparseLu::Factor(int size, const std::vector<SMatrixEntry>& entries, bool replay) {
  fastValid = false;
  if (replay) {
    if (orderN != size || !planned || inputSlot.size() != entries.size()) return false;
    n = size;
    return Refactor(exact, entries, true);
  }
  if (planned && orderN == size) {
    spares.insert(spares.begin(), SPlan{});
    ExchangePlan(spares.front());
    if (spares.size() > KeptOrders) spares.pop_back();
  }
  n = size;
  // The elimination that chooses the order records its plan and its factors, unless an
  // entry was zero or cancelled: then the plan is made apart and the factors formed on it.
  ChooseOrder(entries);
  if (planned) return true;
  Plan(entries);
  Refactor(exact, entries, false);
  return true;
}

void CSparseLu::SetParts(const std::vector<SComplex>& constant,
                         const std::vector<SComplex>& perOmega) {
  partConstant = &constant;
  partOmega = &perOmega;
  baseReady = false;
  lanesValid = false;
}

void CSparseLu::PrepareBase() {
  baseReady = true;
  baseFinite = true;
  laneBase = {};
  base.v.assign(static_cast<size_t>(slotCount), {});
  base.scale.assign(static_cast<size_t>(slotCount), 0);
  omegaSlots.clear();
  std::vector<unsigned char> pivotCol(static_cast<size_t>(n), 0);
  for (const SStep& s : steps) pivotCol[static_cast<size_t>(s.col)] = 1;
  freeRows.clear();
  freeCols.clear();
  for (size_t i = 0; i < static_cast<size_t>(n); ++i) {
    if (!pivotRow[i]) freeRows.push_back(i);
    if (!pivotCol[i]) freeCols.push_back(i);
  }
  for (size_t i = 0; i < inputSlot.size(); ++i) {
    const size_t slot = static_cast<size_t>(inputSlot[i]);
    const SComplex& fixed = (*partConstant)[i];
    const TComplex<double> c{static_cast<double>(fixed.Re), static_cast<double>(fixed.Im)};
    const double wRe = static_cast<double>((*partOmega)[i].Re);
    const double wIm = static_cast<double>((*partOmega)[i].Im);
    baseFinite = baseFinite && std::isfinite(c.Re) && std::isfinite(c.Im) && std::isfinite(wRe) &&
                 std::isfinite(wIm);
    base.v[slot] = c;
    base.scale[slot] = Size(c);
    if (wRe != 0 || wIm != 0) omegaSlots.push_back({static_cast<int>(slot), wRe, wIm});
  }
}

bool CSparseLu::FactorFast(long double omega) {
  fastValid = false;
  if (!planned || orderN != n || partConstant == nullptr ||
      partConstant->size() != inputSlot.size() || partOmega->size() != inputSlot.size())
    return false;
  if (!baseReady) PrepareBase();
  if (!baseFinite) return false;
  fast.v = base.v;
  fast.scale = base.scale;
  const double w = static_cast<double>(omega);
  for (const SOmegaSlot& o : omegaSlots) {
    TComplex<double>& v = fast.v[static_cast<size_t>(o.slot)];
    v = {v.Re + w * o.re, v.Im + w * o.im};
    if (!std::isfinite(v.Re) || !std::isfinite(v.Im)) return false;
    fast.scale[static_cast<size_t>(o.slot)] = Size(v);
  }
  lost = 0;
  fastValid = Run(fast, true);
  return fastValid;
}

// ---- several frequencies at once

namespace {

constexpr size_t Lanes = CSparseLu::Lanes;
static_assert(Lanes == 4, "the lane loops work on two pairs");

// Two lanes side by side, for the loops that keep the cancellation rule: a comparison gives a
// mask of all ones or zeros per lane, and Keep takes a value where its mask is set, else +0.
using PairD = double __attribute__((vector_size(16)));
using PairI = std::int64_t __attribute__((vector_size(16)));

inline PairD Both(double x) {
  return PairD{x, x};
}
inline PairD Get(const double* p) {
  PairD v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void Put(double* p, PairD v) {
  std::memcpy(p, &v, sizeof v);
}
inline PairI GetMask(const std::int64_t* p) {
  PairI v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline PairD Keep(PairI mask, PairD v) {
  return reinterpret_cast<PairD>(reinterpret_cast<PairI>(v) & mask);
}
inline PairD Abs(PairD v) {
  const PairI magnitude = {std::numeric_limits<std::int64_t>::max(),
                           std::numeric_limits<std::int64_t>::max()};
  return reinterpret_cast<PairD>(reinterpret_cast<PairI>(v) & magnitude);
}

// Two lanes side by side, each operation done on both at once with the rounding of one.
class CPair {
 public:
  using V = double __attribute__((vector_size(16)));
  static CPair At(const double* p) {
    CPair r;
    std::memcpy(&r.v, p, sizeof r.v);
    return r;
  }
  void Put(double* p) const { std::memcpy(p, &v, sizeof v); }
  friend CPair operator*(CPair a, CPair b) { return Make(a.v * b.v); }
  friend CPair operator+(CPair a, CPair b) { return Make(a.v + b.v); }
  friend CPair operator-(CPair a, CPair b) { return Make(a.v - b.v); }

 private:
  static CPair Make(V v) {
    CPair r;
    r.v = v;
    return r;
  }
  V v;
};

template <class T>
inline T Select(bool keep, T value) {
  return keep ? value : T{0};
}

}  // namespace

// Whether each lane's pivot passes the test of Run against the genuine entries below it.
template <class Ref>
[[gnu::always_inline]] inline void CSparseLu::CheckLanes(size_t pivot, const Ref* below,
                                                         size_t count, std::int64_t* bad) {
  const double* re = lanes.re.data();
  const double* im = lanes.im.data();
  const double* scale = lanes.scale.data();
  const PairD tol = Both(CancelTolerance), zero = Both(0);
  const PairD threshold = Both(static_cast<double>(Threshold * Threshold));
  const auto weight = [&](size_t at) {
    return Get(re + at) * Get(re + at) + Get(im + at) * Get(im + at);
  };
  const auto genuine = [&](size_t at) {
    return Abs(Get(re + at)) + Abs(Get(im + at)) > tol * Get(scale + at);
  };
  for (size_t h = 0; h < 2; ++h) {
    const size_t p = pivot * Lanes + 2 * h;
    PairD peak = Keep(genuine(p), weight(p));
    for (size_t k = 0; k < count; ++k) {
      const size_t e = static_cast<size_t>(below[k].slot) * Lanes + 2 * h;
      const PairD w = Keep(genuine(e), weight(e));
      peak = peak < w ? w : peak;
    }
    const PairD w = weight(p);
    const PairI pass = (w > zero) & (w >= threshold * peak) & genuine(p);
    const PairI now = ~pass | GetMask(bad + 2 * h);
    std::memcpy(bad + 2 * h, &now, sizeof now);
  }
}

// One step of Run in every lane: the multipliers below the pivot, and the updates of the rows
// they reach, each subtraction through the cancellation rule as in Subtract. A lane whose
// rule takes a value far above rounding fails. The pivot's reciprocal is kept for the
// substitutions.
[[gnu::always_inline]] inline void CSparseLu::EliminateLanes(size_t step, size_t pivot,
                                                             const SRef* below, size_t count,
                                                             const SRef* right, size_t width,
                                                             const int* targets,
                                                             std::int64_t* bad) {
  double* re = lanes.re.data();
  double* im = lanes.im.data();
  double* scale = lanes.scale.data();
  const PairD tol = Both(CancelTolerance), rounding = Both(1e-13), zero = Both(0);
  PairD pRe[2], pIm[2];
  PairI lost[2] = {};
  for (size_t h = 0; h < 2; ++h) {
    const size_t p = pivot * Lanes + 2 * h;
    const PairD vRe = Get(re + p), vIm = Get(im + p);
    const PairD d = Both(1) / (vRe * vRe + vIm * vIm);
    pRe[h] = vRe * d;
    pIm[h] = -vIm * d;
    Put(lanes.inverseRe.data() + step * Lanes + 2 * h, pRe[h]);
    Put(lanes.inverseIm.data() + step * Lanes + 2 * h, pIm[h]);
  }
  for (size_t k = 0; k < count; ++k, targets += width) {
    PairD mRe[2], mIm[2];
    const size_t e = static_cast<size_t>(below[k].slot) * Lanes;
    for (size_t h = 0; h < 2; ++h) {
      const PairD eRe = Get(re + e + 2 * h), eIm = Get(im + e + 2 * h);
      const PairI live = (eRe != zero) | (eIm != zero);
      mRe[h] = Keep(live, eRe * pRe[h] - eIm * pIm[h]);
      mIm[h] = Keep(live, eRe * pIm[h] + eIm * pRe[h]);
      Put(re + e + 2 * h, mRe[h]);
      Put(im + e + 2 * h, mIm[h]);
    }
    for (size_t u = 0; u < width; ++u) {
      const size_t from = static_cast<size_t>(right[u].slot) * Lanes;
      const size_t to = static_cast<size_t>(targets[u]) * Lanes;
      for (size_t h = 0; h < 2; ++h) {
        const PairD fRe = Get(re + from + 2 * h), fIm = Get(im + from + 2 * h);
        const PairD tRe = mRe[h] * fRe - mIm[h] * fIm;
        const PairD tIm = mRe[h] * fIm + mIm[h] * fRe;
        const PairD dRe = Get(re + to + 2 * h) - tRe, dIm = Get(im + to + 2 * h) - tIm;
        const PairD aRe = Abs(tRe), aIm = Abs(tIm);
        const PairI keepRe = Abs(dRe) > tol * aRe, keepIm = Abs(dIm) > tol * aIm;
        // The rule takes a difference only now and then: what it took is looked at then.
        const PairI taken = ~(keepRe & keepIm);
        if (taken[0] != 0 || taken[1] != 0)
          lost[h] |= (~keepRe & (dRe != zero) & (Abs(dRe) > rounding * aRe)) |
                     (~keepIm & (dIm != zero) & (Abs(dIm) > rounding * aIm));
        Put(re + to + 2 * h, Keep(keepRe, dRe));
        Put(im + to + 2 * h, Keep(keepIm, dIm));
        const PairD was = Get(scale + to + 2 * h), sum = aRe + aIm;
        Put(scale + to + 2 * h, Keep(keepRe | keepIm, was < sum ? sum : was));
      }
    }
  }
  for (size_t h = 0; h < 2; ++h) {
    const PairI now = lost[h] | GetMask(bad + 2 * h);
    std::memcpy(bad + 2 * h, &now, sizeof now);
  }
}

// Run with its check, in every lane; `failed` gains the lanes whose replay gives up.
void CSparseLu::RunLanes(bool* failed) {
  size_t lo = 0, up = 0, update = 0;
  std::int64_t bad[Lanes] = {};
  lanes.inverseRe.resize(steps.size() * Lanes);
  lanes.inverseIm.resize(steps.size() * Lanes);
  for (size_t step = 0; step < steps.size(); ++step) {
    const SStep& s = steps[step];
    const size_t count = static_cast<size_t>(s.lowerEnd) - lo;
    const size_t width = static_cast<size_t>(s.upperEnd) - up;
    CheckLanes(static_cast<size_t>(s.pivotSlot), lower.data() + lo, count, bad);
    EliminateLanes(step, static_cast<size_t>(s.pivotSlot), lower.data() + lo, count,
                   upper.data() + up, width, updates.data() + update, bad);
    lo += count;
    up += width;
    update += count * width;
  }
  for (size_t f = 0; f < Lanes; ++f) failed[f] = failed[f] || bad[f] != 0;
  const double tol = CancelTolerance;
  for (int slot : restSlots)
    for (size_t f = 0; f < Lanes; ++f) {
      const size_t at = static_cast<size_t>(slot) * Lanes + f;
      const double size = std::fabs(lanes.re[at]) + std::fabs(lanes.im[at]);
      failed[f] = failed[f] || (size != 0 && size > tol * lanes.scale[at]);
    }
  // Factors that are not finite leave their lane to the extended precision.
  PairD probe[2] = {};
  const PairD zero = Both(0);
  for (size_t i = 0; i < lanes.re.size(); i += Lanes)
    for (size_t h = 0; h < 2; ++h)
      probe[h] += Get(lanes.re.data() + i + 2 * h) * zero + Get(lanes.im.data() + i + 2 * h) * zero;
  for (size_t f = 0; f < Lanes; ++f) failed[f] = failed[f] || probe[f / 2][f % 2] != 0;
}

void CSparseLu::FactorFastLanes(const double* omega, bool* ok) {
  std::fill_n(ok, Lanes, false);
  lanesValid = false;
  if (!planned || orderN != n || partConstant == nullptr ||
      partConstant->size() != inputSlot.size() || partOmega->size() != inputSlot.size())
    return;
  if (!baseReady) PrepareBase();
  if (!baseFinite) return;
  if (laneBase.re.size() != static_cast<size_t>(slotCount) * Lanes) {
    const size_t slots = static_cast<size_t>(slotCount);
    laneBase.re.resize(slots * Lanes);
    laneBase.im.resize(slots * Lanes);
    laneBase.scale.resize(slots * Lanes);
    for (size_t s = 0; s < slots; ++s)
      for (size_t f = 0; f < Lanes; ++f) {
        laneBase.re[s * Lanes + f] = base.v[s].Re;
        laneBase.im[s * Lanes + f] = base.v[s].Im;
        laneBase.scale[s * Lanes + f] = base.scale[s];
      }
  }
  lanes.re = laneBase.re;
  lanes.im = laneBase.im;
  lanes.scale = laneBase.scale;
  // Zero times a value is zero for every finite value and NaN otherwise.
  PairD probe[2] = {};
  const PairD zero = Both(0), w[2] = {Get(omega), Get(omega + 2)};
  for (const SOmegaSlot& o : omegaSlots) {
    const size_t at = static_cast<size_t>(o.slot) * Lanes;
    for (size_t h = 0; h < 2; ++h) {
      const size_t p = at + 2 * h;
      const PairD re = Get(lanes.re.data() + p) + w[h] * Both(o.re);
      const PairD im = Get(lanes.im.data() + p) + w[h] * Both(o.im);
      Put(lanes.re.data() + p, re);
      Put(lanes.im.data() + p, im);
      probe[h] += re * zero + im * zero;
      Put(lanes.scale.data() + p, Abs(re) + Abs(im));
    }
  }
  bool failed[Lanes];
  for (size_t f = 0; f < Lanes; ++f) failed[f] = probe[f / 2][f % 2] != 0;
  RunLanes(failed);
  for (size_t f = 0; f < Lanes; ++f) ok[f] = !failed[f];
  lanesValid = true;
}

bool CSparseLu::UseLane(size_t lane) {
  fastValid = false;
  if (!lanesValid || lane >= Lanes) return false;
  const size_t slots = static_cast<size_t>(slotCount);
  fast.v.resize(slots);
  for (size_t s = 0; s < slots; ++s)
    fast.v[s] = {lanes.re[s * Lanes + lane], lanes.im[s * Lanes + lane]};
  fastValid = true;
  return true;
}

bool CSparseLu::CorrectLanes(double* bRe, double* bIm, double* xRe, double* xIm) const {
  // Without factors from the last FactorFastLanes there is nothing to solve with.
  if (!lanesValid) return false;
  const double* re = lanes.re.data();
  const double* im = lanes.im.data();
  // Every column with a pivot is written below; the others are unknowns held at 0.
  for (size_t c : freeCols) {
    std::fill_n(xRe + c * Lanes, Lanes, 0.0);
    std::fill_n(xIm + c * Lanes, Lanes, 0.0);
  }
  size_t k = 0;
  for (const SStep& s : steps) {
    const size_t from = static_cast<size_t>(s.row) * Lanes;
    const CPair sRe[2] = {CPair::At(bRe + from), CPair::At(bRe + from + 2)};
    const CPair sIm[2] = {CPair::At(bIm + from), CPair::At(bIm + from + 2)};
    for (; k < static_cast<size_t>(s.lowerEnd); ++k) {
      const size_t m = static_cast<size_t>(lower[k].slot) * Lanes;
      const size_t to = static_cast<size_t>(lower[k].index) * Lanes;
      for (size_t h = 0; h < 2; ++h) {
        const CPair mRe = CPair::At(re + m + 2 * h), mIm = CPair::At(im + m + 2 * h);
        (CPair::At(bRe + to + 2 * h) - (mRe * sRe[h] - mIm * sIm[h])).Put(bRe + to + 2 * h);
        (CPair::At(bIm + to + 2 * h) - (mRe * sIm[h] + mIm * sRe[h])).Put(bIm + to + 2 * h);
      }
    }
  }
  double left = 0;
  for (size_t i : freeRows)
    for (size_t f = 0; f < Lanes; ++f)
      left += std::fabs(bRe[i * Lanes + f]) + std::fabs(bIm[i * Lanes + f]);
  for (size_t s = steps.size(); s-- > 0;) {
    const SStep& step = steps[s];
    const size_t row = static_cast<size_t>(step.row) * Lanes;
    CPair sRe[2] = {CPair::At(bRe + row), CPair::At(bRe + row + 2)};
    CPair sIm[2] = {CPair::At(bIm + row), CPair::At(bIm + row + 2)};
    const size_t begin = s == 0 ? 0 : static_cast<size_t>(steps[s - 1].upperEnd);
    for (size_t u = begin; u < static_cast<size_t>(step.upperEnd); ++u) {
      const size_t v = static_cast<size_t>(upper[u].slot) * Lanes;
      const size_t c = static_cast<size_t>(upper[u].index) * Lanes;
      for (size_t h = 0; h < 2; ++h) {
        const CPair vRe = CPair::At(re + v + 2 * h), vIm = CPair::At(im + v + 2 * h);
        const CPair cRe = CPair::At(xRe + c + 2 * h), cIm = CPair::At(xIm + c + 2 * h);
        sRe[h] = sRe[h] - (vRe * cRe - vIm * cIm);
        sIm[h] = sIm[h] - (vRe * cIm + vIm * cRe);
      }
    }
    const size_t col = static_cast<size_t>(step.col) * Lanes;
    for (size_t h = 0; h < 2; ++h) {
      const CPair pRe = CPair::At(lanes.inverseRe.data() + s * Lanes + 2 * h);
      const CPair pIm = CPair::At(lanes.inverseIm.data() + s * Lanes + 2 * h);
      (sRe[h] * pRe - sIm[h] * pIm).Put(xRe + col + 2 * h);
      (sRe[h] * pIm + sIm[h] * pRe).Put(xIm + col + 2 * h);
    }
  }
  return left == 0;
}

// ---- substitution

template <class T>
bool CSparseLu::Solve(const SValues<T>& values, TComplex<T>* b, TComplex<T>* x, int& ruled) const {
  const std::vector<TComplex<T>>& v = values.v;
  std::fill_n(x, n, TComplex<T>{});
  int ignored = 0;
  // The largest magnitude that went into any right-hand side: a row without a pivot whose
  // right-hand side is within the tolerance of it holds only rounding and still reads 0 = 0.
  T peak = 0;
  for (int i = 0; i < n; ++i) peak = std::max(peak, Size(b[i]));
  size_t k = 0;
  for (const SStep& s : steps) {
    const TComplex<T> source = b[static_cast<size_t>(s.row)];
    const size_t end = static_cast<size_t>(s.lowerEnd);
    if (IsZero(source)) {
      k = end;
      continue;
    }
    for (; k < end; ++k) {
      const TComplex<T> m = v[static_cast<size_t>(lower[k].slot)];
      if (IsZero(m)) continue;
      const TComplex<T> u = Mul(m, source);
      Subtract(b[static_cast<size_t>(lower[k].index)], u, ignored, ruled);
      peak = std::max(peak, Size(u));
    }
  }
  for (int i = 0; i < n; ++i) {
    if (pivotRow[static_cast<size_t>(i)]) continue;
    const T left = Size(b[static_cast<size_t>(i)]);
    if (left != 0 && left > static_cast<T>(CancelTolerance) * peak) return false;
  }
  for (size_t s = steps.size(); s-- > 0;) {
    const SStep& step = steps[s];
    TComplex<T> sum = b[static_cast<size_t>(step.row)];
    const size_t begin = s == 0 ? 0 : static_cast<size_t>(steps[s - 1].upperEnd);
    for (size_t u = begin; u < static_cast<size_t>(step.upperEnd); ++u) {
      const TComplex<T> xv = x[static_cast<size_t>(upper[u].index)];
      if (!IsZero(xv))
        Subtract(sum, Mul(v[static_cast<size_t>(upper[u].slot)], xv), ignored, ruled);
    }
    x[static_cast<size_t>(step.col)] = Div(sum, v[static_cast<size_t>(step.pivotSlot)]);
  }
  return true;
}

bool CSparseLu::Substitute(SComplex* b, SComplex* x) const {
  return Solve(exact, b, x, bent);
}

bool CSparseLu::SubstituteFast(SComplexD* b, SComplexD* x) const {
  return fastValid && Solve(fast, b, x, bent);
}

template <class T>
void CSparseLu::Plain(const SValues<T>& values, TComplex<T>* b, TComplex<T>* x) const {
  const std::vector<TComplex<T>>& v = values.v;
  std::fill_n(x, n, TComplex<T>{});
  size_t k = 0;
  for (const SStep& s : steps) {
    const TComplex<T> source = b[static_cast<size_t>(s.row)];
    for (; k < static_cast<size_t>(s.lowerEnd); ++k) {
      const TComplex<T> u = Mul(v[static_cast<size_t>(lower[k].slot)], source);
      TComplex<T>& target = b[static_cast<size_t>(lower[k].index)];
      target = {target.Re - u.Re, target.Im - u.Im};
    }
  }
  for (size_t s = steps.size(); s-- > 0;) {
    const SStep& step = steps[s];
    TComplex<T> sum = b[static_cast<size_t>(step.row)];
    const size_t begin = s == 0 ? 0 : static_cast<size_t>(steps[s - 1].upperEnd);
    for (size_t u = begin; u < static_cast<size_t>(step.upperEnd); ++u) {
      const TComplex<T> p =
          Mul(v[static_cast<size_t>(upper[u].slot)], x[static_cast<size_t>(upper[u].index)]);
      sum = {sum.Re - p.Re, sum.Im - p.Im};
    }
    x[static_cast<size_t>(step.col)] = Div(sum, v[static_cast<size_t>(step.pivotSlot)]);
  }
}

void CSparseLu::Correct(SComplex* b, SComplex* x) const {
  if (!fastValid) {
    Plain(exact, b, x);
    return;
  }
  const size_t un = static_cast<size_t>(n);
  shortB.resize(un);
  shortX.resize(un);
  for (size_t i = 0; i < un; ++i)
    shortB[i] = {static_cast<double>(b[i].Re), static_cast<double>(b[i].Im)};
  Plain(fast, shortB.data(), shortX.data());
  for (size_t i = 0; i < un; ++i) x[i] = {shortX[i].Re, shortX[i].Im};
}

std::vector<SComplex> CSparseLu::Contradiction(const SComplex* b) const {
  // The forward substitution of Substitute, to find the first row that is left with a
  // right-hand side.
  if (n <= 0 || pivotRow.size() != static_cast<size_t>(n) || !planned) return {};
  const std::vector<SComplex>& v = exact.v;
  std::vector<SComplex> rest(b, b + n);
  int ignored = 0;
  long double peak = 0;
  for (const SComplex& r : rest) peak = std::max(peak, Size(r));
  size_t k = 0;
  for (const SStep& s : steps) {
    const SComplex source = rest[static_cast<size_t>(s.row)];
    for (; k < static_cast<size_t>(s.lowerEnd); ++k) {
      const SComplex u = Mul(v[static_cast<size_t>(lower[k].slot)], source);
      Subtract(rest[static_cast<size_t>(lower[k].index)], u, ignored, ignored);
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
  return Unwind(bad);
}

// The row `bad` is its original minus multiples of the pivot rows as they stood when used,
// and each of those is its original minus earlier ones: unwinding the steps from the last
// gives the weight of every original row.
std::vector<SComplex> CSparseLu::Unwind(int bad) const {
  const std::vector<SComplex>& v = exact.v;
  std::vector<std::vector<std::pair<size_t, SComplex>>> usedBy(static_cast<size_t>(n));
  size_t from = 0;
  for (size_t s = 0; s < steps.size(); ++s) {
    for (; from < static_cast<size_t>(steps[s].lowerEnd); ++from) {
      const SComplex m = v[static_cast<size_t>(lower[from].slot)];
      if (!IsZero(m)) usedBy[static_cast<size_t>(lower[from].index)].emplace_back(s, m);
    }
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
  size_t bytes =
      rows.Bytes() + cols.Bytes() + (targets.capacity() + rooms.capacity()) * sizeof(int);
  bytes +=
      (where.capacity() + bucketHead.capacity() + bucketNext.capacity() + bucketPrev.capacity() +
       bucketOf.capacity() + inputSlot.capacity() + updates.capacity() + restSlots.capacity()) *
      sizeof(int);
  bytes += steps.capacity() * sizeof(SStep) + (lower.capacity() + upper.capacity()) * sizeof(SRef) +
           pivotRow.capacity() + order.capacity() * sizeof(SPivot) +
           pivotEntries.capacity() * sizeof(SUpper);
  bytes += exact.v.capacity() * sizeof(SComplex) + exact.scale.capacity() * sizeof(long double) +
           fast.v.capacity() * sizeof(SComplexD) + fast.scale.capacity() * sizeof(double) +
           (shortB.capacity() + shortX.capacity()) * sizeof(SComplexD) +
           (freeRows.capacity() + freeCols.capacity()) * sizeof(size_t) +
           (lanes.re.capacity() + lanes.im.capacity() + lanes.scale.capacity() +
            lanes.inverseRe.capacity() + lanes.inverseIm.capacity() + laneBase.re.capacity() +
            laneBase.im.capacity() + laneBase.scale.capacity()) *
               sizeof(double);
  for (const SPlan& p : spares)
    bytes +=
        (p.inputSlot.capacity() + p.updates.capacity() + p.restSlots.capacity()) * sizeof(int) +
        p.steps.capacity() * sizeof(SStep) +
        (p.lower.capacity() + p.upper.capacity()) * sizeof(SRef) + p.pivotRow.capacity() +
        p.order.capacity() * sizeof(SPivot);
  return bytes;
}

void CSparseLu::ReleaseWork() {
  rows.Release();
  cols.Release();
  std::vector<int>().swap(targets);
  std::vector<int>().swap(rooms);
  std::vector<int>().swap(bucketHead);
  std::vector<int>().swap(bucketNext);
  std::vector<int>().swap(bucketPrev);
  std::vector<int>().swap(bucketOf);
  std::vector<SUpper>().swap(pivotEntries);
  exact = {};
  fast = {};
  fastValid = false;
  lanes = {};
  laneBase = {};
  base = {};
  std::vector<size_t>().swap(freeRows);
  std::vector<size_t>().swap(freeCols);
  baseReady = false;
  lanesValid = false;
  std::vector<SComplexD>().swap(shortB);
  std::vector<SComplexD>().swap(shortX);
}
