// Numbering, stamping and assembly of the nodal system, and the steps of one solve: the wiring
// analysis, the compressed pattern of the stamps, the factorisation and the substitution.
#include "analysis/CCalc.h"

#include <algorithm>
#include <limits>
#include <map>
#include <new>
#include <numbers>

#include "components/CCmp.h"
#include "components/Kinds.h"

namespace {

uint64_t Key(int row, int col) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(row)) << 32) | static_cast<uint32_t>(col);
}

}  // namespace

CCalc::~CCalc() {
  Release();
}

void CCalc::Release() {
  VecRe = VecIm = nullptr;
  vecRe.reset();
  vecIm.reset();
  rhs.reset();
  solution.reset();
  correction.reset();
  shortRhs.reset();
  shortSolution.reset();
  assembled = false;
  lanesReady = false;
  for (std::vector<double>* v : {&laneRe, &laneIm, &laneXRe, &laneXIm, &laneDRe, &laneDIm})
    std::vector<double>().swap(*v);
  std::vector<SComplex>().swap(laneResidual);
  std::vector<SStamp>().swap(stamps);
  lu.ReleaseWork();
  Count = 0;
  wiringMeter = -1;
}

size_t CCalc::StorageBytes() const {
  const size_t n = static_cast<size_t>(Ready() ? Count : 0);
  return n * (4 * sizeof(double) + 3 * sizeof(SComplex)) + stamps.capacity() * sizeof(SStamp) +
         patternKeys.capacity() * sizeof(uint64_t) + patternGrounded.capacity() +
         slotOf.capacity() * sizeof(int) +
         (entries.capacity() + fixedEntries.capacity()) * sizeof(SMatrixEntry) +
         omegaEntries.capacity() * sizeof(SOmegaEntry) + topology.Grounded.capacity() + lu.Bytes() +
         LaneBytes();
}

size_t CCalc::LaneBytes() const {
  size_t bytes = laneResidual.capacity() * sizeof(SComplex);
  for (const std::vector<double>* v : {&laneRe, &laneIm, &laneXRe, &laneXIm, &laneDRe, &laneDIm})
    bytes += v->capacity() * sizeof(double);
  return bytes;
}

// Numbers the nodes 1, 2, ... in the order of their numbers on the sheet; returns how many.
// Numbers that are few and small, as the sheet gives them, are ranked through a table.
int CCalc::RankNodes() {
  const int cmpCount = Cmps->Count();
  std::vector<int32_t> nodes;
  int32_t largest = 0;
  for (int i = 0; i < cmpCount; ++i)
    for (int32_t node : Cmps->At(i)->Nodes)
      if (node != 0) {
        nodes.push_back(node);
        largest = std::max(largest, node);
      }
  const bool positive = std::all_of(nodes.begin(), nodes.end(), [](int32_t v) { return v > 0; });
  if (positive && static_cast<size_t>(largest) <= 4 * nodes.size() + 64) {
    std::vector<int32_t> rank(static_cast<size_t>(largest) + 1, 0);
    for (int32_t node : nodes) rank[static_cast<size_t>(node)] = 1;
    int32_t count = 0;
    for (int32_t& r : rank)
      if (r != 0) r = ++count;
    for (int i = 0; i < cmpCount; ++i)
      for (int32_t& node : Cmps->At(i)->Nodes)
        if (node != 0) node = rank[static_cast<size_t>(node)];
    return count;
  }
  std::sort(nodes.begin(), nodes.end());
  nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
  for (int i = 0; i < cmpCount; ++i)
    for (int32_t& node : Cmps->At(i)->Nodes)
      if (node != 0)
        node = static_cast<int32_t>(std::lower_bound(nodes.begin(), nodes.end(), node) -
                                    nodes.begin() + 1);
  return static_cast<int>(nodes.size());
}

void CCalc::NumberUnknowns() {
  Count = 0;
  nodeCount = 0;
  if (Cmps == nullptr) {
    Count = 1;
    return;
  }
  const int cmpCount = Cmps->Count();
  nodeCount = RankNodes();

  // The running index is kept wide so that absurd extra counts fail instead of wrapping.
  int64_t next = static_cast<int64_t>(nodeCount) + 1;
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
  if (fits && next <= std::numeric_limits<int32_t>::max()) Count = static_cast<int>(next);
}

bool CCalc::Build() {
  Release();
  NumberUnknowns();
  if (Count == 0 || Count > MaxUnknowns) return false;
  const size_t n = static_cast<size_t>(Count);
  vecRe.reset(new (std::nothrow) double[n]());
  vecIm.reset(new (std::nothrow) double[n]());
  rhs.reset(new (std::nothrow) SComplex[n]);
  solution.reset(new (std::nothrow) SComplex[n]);
  correction.reset(new (std::nothrow) SComplex[n]);
  shortRhs.reset(new (std::nothrow) SComplexD[n]);
  shortSolution.reset(new (std::nothrow) SComplexD[n]);
  if (!vecRe || !vecIm || !rhs || !solution || !correction || !shortRhs || !shortSolution)
    return false;
  VecRe = vecRe.get();
  VecIm = vecIm.get();
  return true;
}

// ---- stamping

void CCalc::ClearSystem() {
  stamps.clear();
}

void CCalc::Record(int row, int col, uint8_t how, long double value) {
  // Only positions inside the system are kept; row and column 0 are dropped when compressed.
  if (row < 0 || col < 0 || row >= Count || col >= Count) return;
  stamps.push_back({row, col, how, value});
}

void CCalc::AddRe(int row, int col, long double value) {
  Record(row, col, 0, value);
}
void CCalc::AddIm(int row, int col, long double value) {
  Record(row, col, Imaginary, value);
}
void CCalc::SetRe(int row, int col, long double value) {
  Record(row, col, Assign, value);
}
void CCalc::SetIm(int row, int col, long double value) {
  Record(row, col, Imaginary | Assign, value);
}
void CCalc::AddOmegaIm(int row, int col, long double coefficient) {
  Record(row, col, Imaginary | PerOmega, coefficient);
}
void CCalc::SetOmegaIm(int row, int col, long double coefficient) {
  Record(row, col, Imaginary | Assign | PerOmega, coefficient);
}

namespace {

// The value a stamp adds at angular frequency `omega`.
template <class Stamp>
long double ValueAt(const Stamp& s, uint8_t perOmega, double omega) {
  return (s.how & perOmega) != 0 ? static_cast<long double>(omega) * s.value : s.value;
}

}  // namespace

long double CCalc::Stamped(int row, int col, bool imaginary) const {
  long double sum = 0;
  for (const SStamp& s : stamps) {
    if (s.row != row || s.col != col || ((s.how & Imaginary) != 0) != imaginary) continue;
    const long double value = ValueAt(s, PerOmega, Omega);
    sum = (s.how & Assign) != 0 ? value : sum + value;
  }
  return sum;
}

void CCalc::StampResistance(int a, int b, double r) {
  if (a == b) return;
  const double g = std::isinf(r) ? 0.0 : 1.0 / r;
  AddRe(a, a, -g);
  AddRe(a, b, g);
  AddRe(b, a, g);
  AddRe(b, b, -g);
}

void CCalc::StampVoltageBranch(int a, int b, int k) {
  if (a == b) return;
  AddRe(a, k, 1);
  AddRe(b, k, -1);
  AddRe(k, a, -1);
  AddRe(k, b, 1);
}

void CCalc::StampCurrentBranch(int a, int b, int k) {
  if (a != b) {
    AddRe(a, k, 1);
    AddRe(b, k, -1);
  }
  SetRe(k, k, 1);
}

void CCalc::StampMeterBranch(int a, int b, int k) {
  if (a != b) {
    AddRe(a, k, -1);
    AddRe(b, k, 1);
  }
  SetRe(k, k, 1);
}

bool CCalc::Carries(const CCmp& cmp, int winding) const {
  if (stamping < 0 || Cmps == nullptr || Cmps->At(stamping) != &cmp) return true;
  return topology.Live(stamping, winding);
}

// ---- the steps of a solve

// Grouping and pruning depend on the wiring and the meter only, so they run once per build.
bool CCalc::AnalyseWiring(int meterUnknown) {
  if (wiringMeter == meterUnknown) return meterHasPath;
  static const CCmps none;
  meterHasPath = topology.Analyse(Cmps != nullptr ? *Cmps : none, nodeCount, Count, meterUnknown);
  wiringMeter = meterUnknown;
  return meterHasPath;
}

// Only the parts that can carry current stamp.
void CCalc::Assemble() {
  if (Cmps == nullptr) return;
  for (int i = 0; i < Cmps->Count(); ++i) {
    if (!topology.Stamped(i)) continue;
    stamping = i;
    Cmps->At(i)->Stamp(*this);
  }
  stamping = -1;
}

bool CCalc::SamePattern() const {
  if (stamps.size() != patternKeys.size() || topology.Grounded != patternGrounded) return false;
  for (size_t t = 0; t < stamps.size(); ++t)
    if (Key(stamps[t].row, stamps[t].col) != patternKeys[t]) return false;
  return true;
}

// Gives every stamped position outside the grounded rows and columns one slot of the
// compressed matrix; stamps on grounded unknowns are discarded.
void CCalc::Compress() {
  const std::vector<uint8_t>& grounded = topology.Grounded;
  patternKeys.resize(stamps.size());
  slotOf.assign(stamps.size(), -1);
  std::vector<int> kept;
  for (size_t t = 0; t < stamps.size(); ++t) {
    const SStamp& s = stamps[t];
    patternKeys[t] = Key(s.row, s.col);
    if (grounded[static_cast<size_t>(s.row)] || grounded[static_cast<size_t>(s.col)]) continue;
    kept.push_back(static_cast<int>(t));
  }
  // Ordered by row, column and stamp: two stable counting passes, the column first.
  std::vector<int> sorted(kept.size()), start(static_cast<size_t>(Count) + 1);
  for (bool byRow : {false, true}) {
    auto key = [&](int t) {
      const SStamp& s = stamps[static_cast<size_t>(t)];
      return static_cast<size_t>(byRow ? s.row : s.col);
    };
    std::fill(start.begin(), start.end(), 0);
    for (int t : kept) ++start[key(t) + 1];
    for (size_t i = 1; i < start.size(); ++i) start[i] += start[i - 1];
    for (int t : kept) sorted[static_cast<size_t>(start[key(t)]++)] = t;
    kept.swap(sorted);
  }
  entries.clear();
  for (size_t i = 0; i < kept.size(); ++i) {
    const size_t t = static_cast<size_t>(kept[i]);
    if (i == 0 || patternKeys[t] != patternKeys[static_cast<size_t>(kept[i - 1])])
      entries.push_back({stamps[t].row, stamps[t].col, {}});
    slotOf[t] = static_cast<int>(entries.size()) - 1;
  }
  patternGrounded = grounded;
  lu.ForgetOrder();
}

// Sums the stamps of each entry into its constant part and its part per unit of angular
// frequency. An assignment sets the entry to exactly its value, so it clears the other part.
void CCalc::Gather() {
  constant.assign(entries.size(), {});
  perOmega.assign(entries.size(), {});
  omegaPeak = -1;
  partsFinite = true;
  for (size_t t = 0; t < stamps.size(); ++t) {
    if (slotOf[t] < 0) continue;
    const SStamp& s = stamps[t];
    const size_t slot = static_cast<size_t>(slotOf[t]);
    const bool imaginary = (s.how & Imaginary) != 0, assign = (s.how & Assign) != 0;
    long double& fixed = imaginary ? constant[slot].Im : constant[slot].Re;
    long double& scaled = imaginary ? perOmega[slot].Im : perOmega[slot].Re;
    long double& part = (s.how & PerOmega) != 0 ? scaled : fixed;
    if (assign) fixed = scaled = 0;
    part = assign ? s.value : part + s.value;
    if ((s.how & PerOmega) != 0) omegaPeak = std::max(omegaPeak, std::fabs(s.value));
  }
  // Zero times a value is zero for every finite value and NaN otherwise: one test at the end.
  long double probe = 0;
  for (size_t i = 0; i < entries.size(); ++i)
    probe += constant[i].Re * 0 + constant[i].Im * 0 + perOmega[i].Re * 0 + perOmega[i].Im * 0;
  partsFinite = probe == 0;
  lu.SetParts(constant, perOmega);
  fixedEntries.clear();
  omegaEntries.clear();
  for (size_t i = 0; i < entries.size(); ++i) {
    const SComplex& w = perOmega[i];
    if (omegaPeak >= 0 && (w.Re != 0 || w.Im != 0))
      omegaEntries.push_back({entries[i].Row, entries[i].Col, constant[i], w});
    else
      fixedEntries.push_back({entries[i].Row, entries[i].Col, constant[i]});
  }
}

// False when some value at the angular frequency of the last Solve is infinite or not a
// number (a stamp's product with the frequency counts, even where its entry cancels).
bool CCalc::FiniteAt() const {
  return partsFinite &&
         (omegaPeak < 0 || std::isfinite(static_cast<long double>(Omega) * omegaPeak));
}

// The entry `i` at the angular frequency of the last Solve.
SComplex CCalc::EntryAt(size_t i) const {
  SComplex v = constant[i];
  if (omegaPeak < 0) return v;
  const long double w = Omega;
  v.Re += w * perOmega[i].Re;
  v.Im += w * perOmega[i].Im;
  return v;
}

bool CCalc::FillValues() {
  if (!FiniteAt()) return false;
  for (size_t i = 0; i < entries.size(); ++i) entries[i].Value = EntryAt(i);
  return true;
}

// Replays the kept pivot order; a pivot that fails the threshold there asks for a new one.
void CCalc::Factor() {
  Replayed = lu.HasOrder() && lu.Factor(Count, entries, true);
  if (!Replayed) lu.Factor(Count, entries, false);
}

// The meter drives a unit current: its row holds -1.
void CCalc::Excite(int meterUnknown, SComplex* b) const {
  std::fill_n(b, Count, SComplex{});
  if (meterUnknown > 0 && meterUnknown < Count &&
      !topology.Grounded[static_cast<size_t>(meterUnknown)])
    b[static_cast<size_t>(meterUnknown)].Re = -1;
}

namespace {

// t -= v y; returns the magnitude of the product.
inline long double SubtractProduct(SComplex& t, const SComplex& v, const SComplex& y) {
  const SComplex p{v.Re * y.Re - v.Im * y.Im, v.Re * y.Im + v.Im * y.Re};
  t.Re -= p.Re;
  t.Im -= p.Im;
  return std::fabs(p.Re) + std::fabs(p.Im);
}

}  // namespace

// rhs = b - A x against the entries as stamped; returns its largest magnitude, and in `terms`
// the largest magnitude of a product summed into it.
long double CCalc::Residual(int meterUnknown, long double& terms) {
  SComplex* r = rhs.get();
  const SComplex* x = solution.get();
  Excite(meterUnknown, r);
  long double peak = 1;
  for (const SMatrixEntry& e : fixedEntries)
    peak = std::max(peak, SubtractProduct(r[static_cast<size_t>(e.Row)], e.Value,
                                          x[static_cast<size_t>(e.Col)]));
  const long double w = Omega;
  for (const SOmegaEntry& e : omegaEntries) {
    const SComplex v{e.fixed.Re + w * e.scaled.Re, e.fixed.Im + w * e.scaled.Im};
    peak = std::max(
        peak, SubtractProduct(r[static_cast<size_t>(e.row)], v, x[static_cast<size_t>(e.col)]));
  }
  terms = peak;
  long double largest = 0;
  for (size_t i = 0; i < static_cast<size_t>(Count); ++i)
    largest = std::max(largest, std::fabs(r[i].Re) + std::fabs(r[i].Im));
  return largest;
}

// The rule decided that there is a solution; the number reported is the solution of the
// entries as stamped. Each round corrects the solution by its residual against them, in
// extended precision, through the factors without the rule. True when the last correction
// fell to `enough` times the solution.
bool CCalc::Refine(int meterUnknown, long double enough) {
  const size_t n = static_cast<size_t>(Count);
  SComplex* x = solution.get();
  SComplex* d = correction.get();
  long double terms = 0, residual = Residual(meterUnknown, terms);
  for (int round = 0; round < 3; ++round) {
    lu.Correct(rhs.get(), d);
    long double step = 0, size = 0;
    for (size_t i = 0; i < n; ++i) {
      step = std::max(step, std::fabs(d[i].Re) + std::fabs(d[i].Im));
      size = std::max(size, std::fabs(x[i].Re) + std::fabs(x[i].Im));
    }
    if (!std::isfinite(step)) return false;
    for (size_t i = 0; i < n; ++i) x[i] = {x[i].Re + d[i].Re, x[i].Im + d[i].Im};
    // A small correction shows convergence only where the residual was small too; where it is
    // as large as its terms, the factors have lost the system and cannot correct anything.
    if (size > 0 && step <= enough * size) return residual <= 1e-10L * terms;
    // A correction that leaves a clearly larger residual only adds the factors' error: take it
    // back. Near the rounding of the residual's own terms the two are noise of one size.
    const long double before = terms, next = Residual(meterUnknown, terms);
    if (!(next <= 2 * residual || next <= 1e-18L * std::min(before, terms))) {
      for (size_t i = 0; i < n; ++i) x[i] = {x[i].Re - d[i].Re, x[i].Im - d[i].Im};
      return false;
    }
    residual = next;
  }
  return false;
}

void CCalc::Publish() {
  for (size_t i = 0; i < static_cast<size_t>(Count); ++i) {
    VecRe[i] = static_cast<double>(-solution[i].Re);
    VecIm[i] = static_cast<double>(-solution[i].Im);
  }
}

bool CCalc::Substitute(int meterUnknown) {
  Excite(meterUnknown, rhs.get());
  if (!lu.Substitute(rhs.get(), solution.get())) return false;
  if (lu.Bent() > 0) Refine(meterUnknown, 1e-18L);
  Publish();
  return true;
}

// The factors in double precision give a reading only where it refines to the accuracy of a
// single solve; false leaves the decision, and "no solution" too, to the extended precision.
bool CCalc::SubstituteFast(int meterUnknown) {
  const size_t n = static_cast<size_t>(Count);
  Excite(meterUnknown, rhs.get());
  for (size_t i = 0; i < n; ++i)
    shortRhs[i] = {static_cast<double>(rhs[i].Re), static_cast<double>(rhs[i].Im)};
  if (!lu.SubstituteFast(shortRhs.get(), shortSolution.get())) return false;
  for (size_t i = 0; i < n; ++i) solution[i] = {shortSolution[i].Re, shortSolution[i].Im};
  if (Quick) {
    long double probe = 0;  // zero for finite values, NaN otherwise
    for (size_t i = 0; i < n; ++i) probe += solution[i].Re * 0 + solution[i].Im * 0;
    if (probe != 0) return false;
  } else if (!Refine(meterUnknown, 1e-13L)) {
    // A correction this small leaves an error far below it.
    return false;
  }
  Publish();
  return true;
}

namespace {

double AngularFrequency(double hertz) {
  return static_cast<double>(static_cast<long double>(hertz) * 2 * std::numbers::pi);
}

}  // namespace

void CCalc::Restart(double frequency) {
  Omega = AngularFrequency(frequency);
  Finite = true;
  Replayed = false;
  std::fill_n(VecRe, Count, 0.0);
  std::fill_n(VecIm, Count, 0.0);
}

bool CCalc::Restamp(int meterUnknown) {
  assembled = false;
  lanesReady = false;
  if (!Ready() || !AnalyseWiring(meterUnknown)) return false;
  ClearSystem();
  Assemble();
  if (!SamePattern()) Compress();
  Gather();
  assembled = true;
  return true;
}

bool CCalc::Solve(int meterUnknown, double frequency) {
  if (!Ready()) return false;
  Restart(frequency);
  if (!Restamp(meterUnknown)) return false;
  if (!FillValues()) {
    Finite = false;
    return false;
  }
  Factor();
  return Substitute(meterUnknown);
}

void CCalc::Prefactor(int meterUnknown, const double* hertz, size_t count) {
  if (!Ready() || !assembled || meterUnknown != wiringMeter || !lu.HasOrder() || count == 0) return;
  const double first = AngularFrequency(hertz[0]);
  if (lanesReady &&
      std::find(laneOmega, laneOmega + CSparseLu::Lanes, first) != laneOmega + CSparseLu::Lanes)
    return;
  // Lanes beyond the list repeat its last frequency.
  for (size_t f = 0; f < CSparseLu::Lanes; ++f)
    laneOmega[f] = AngularFrequency(hertz[std::min(f, count - 1)]);
  lu.FactorFastLanes(laneOmega, laneOk);
  lanesReady = true;
  SolveLanes(meterUnknown);
}

// The residual of each lane's solution in laneXRe and laneXIm against its entries as stamped,
// formed as Residual forms it, into laneRe and laneIm (zero for the lanes that did not replay).
// Lane by lane, each row's products are subtracted in the order Residual takes them.
void CCalc::LaneResiduals(int meterUnknown, long double* residual, long double* terms) {
  constexpr size_t L = CSparseLu::Lanes;
  const size_t n = static_cast<size_t>(Count);
  laneResidual.resize(n);
  SComplex* r = laneResidual.data();
  for (size_t f = 0; f < L; ++f) {
    residual[f] = 0;
    terms[f] = 1;
    // A lane that repeats the frequency before it repeats its factors and solution too.
    if (f > 0 && laneOmega[f] == laneOmega[f - 1] && laneOk[f] == laneOk[f - 1]) {
      residual[f] = residual[f - 1];
      terms[f] = terms[f - 1];
      for (size_t i = 0; i < n; ++i) {
        laneRe[i * L + f] = laneRe[i * L + f - 1];
        laneIm[i * L + f] = laneIm[i * L + f - 1];
      }
      continue;
    }
    if (!laneOk[f]) {
      for (size_t i = 0; i < n; ++i) laneRe[i * L + f] = laneIm[i * L + f] = 0.0;
      continue;
    }
    Excite(meterUnknown, r);
    const double* xRe = laneXRe.data() + f;
    const double* xIm = laneXIm.data() + f;
    const auto x = [&](int col) {
      const size_t at = static_cast<size_t>(col) * L;
      return SComplex{xRe[at], xIm[at]};
    };
    long double peak = 1;
    for (const SMatrixEntry& e : fixedEntries)
      peak = std::max(peak, SubtractProduct(r[static_cast<size_t>(e.Row)], e.Value, x(e.Col)));
    const long double w = laneOmega[f];
    for (const SOmegaEntry& e : omegaEntries) {
      const SComplex v{e.fixed.Re + w * e.scaled.Re, e.fixed.Im + w * e.scaled.Im};
      peak = std::max(peak, SubtractProduct(r[static_cast<size_t>(e.row)], v, x(e.col)));
    }
    long double largest = 0;
    for (size_t i = 0; i < n; ++i) {
      largest = std::max(largest, std::fabs(r[i].Re) + std::fabs(r[i].Im));
      laneRe[i * L + f] = static_cast<double>(r[i].Re);
      laneIm[i * L + f] = static_cast<double>(r[i].Im);
    }
    residual[f] = largest;
    terms[f] = peak;
  }
}

// The solve and the first refinement of SubstituteFast for every prepared lane at once. The
// lanes whose correction settles there keep their published solution for Resolve; the others
// are solved one by one.
void CCalc::SolveLanes(int meterUnknown) {
  constexpr size_t L = CSparseLu::Lanes;
  std::fill_n(laneDone, L, false);
  const size_t n = static_cast<size_t>(Count);
  for (std::vector<double>* v : {&laneRe, &laneIm, &laneXRe, &laneXIm, &laneDRe, &laneDIm})
    v->resize(n * L);
  Excite(meterUnknown, rhs.get());
  for (size_t i = 0; i < n; ++i) {
    std::fill_n(laneRe.data() + i * L, L, static_cast<double>(rhs[i].Re));
    std::fill_n(laneIm.data() + i * L, L, static_cast<double>(rhs[i].Im));
  }
  if (!lu.CorrectLanes(laneRe.data(), laneIm.data(), laneXRe.data(), laneXIm.data())) return;
  lanesNegated = true;
  if (Quick) {
    TakeQuickLanes();
    return;
  }
  long double residual[L], terms[L];
  LaneResiduals(meterUnknown, residual, terms);
  lu.CorrectLanes(laneRe.data(), laneIm.data(), laneDRe.data(), laneDIm.data());
  // The largest of doubles is a double: compared in extended precision only at the end.
  double step[L] = {}, size[L] = {};
  for (size_t i = 0; i < n; ++i)
    for (size_t f = 0; f < L; ++f) {
      const size_t at = i * L + f;
      const double d = std::fabs(laneDRe[at]) + std::fabs(laneDIm[at]);
      const double x = std::fabs(laneXRe[at]) + std::fabs(laneXIm[at]);
      step[f] = step[f] < d ? d : step[f];
      size[f] = size[f] < x ? x : size[f];
    }
  for (size_t f = 0; f < L; ++f) {
    laneDone[f] = laneOk[f] && std::isfinite(step[f]) && size[f] > 0 &&
                  static_cast<long double>(step[f]) <= 1e-13L * size[f] &&
                  residual[f] <= 1e-10L * terms[f];
    if (!laneDone[f]) continue;
    for (size_t i = 0; i < n; ++i) {
      const size_t at = i * L + f;
      laneXRe[at] = static_cast<double>(-(static_cast<long double>(laneXRe[at]) + laneDRe[at]));
      laneXIm[at] = static_cast<double>(-(static_cast<long double>(laneXIm[at]) + laneDIm[at]));
    }
  }
}

// Each replayed lane's first solution in laneXRe and laneXIm, taken where it is finite; left
// as solved, so TakeLane negates it.
void CCalc::TakeQuickLanes() {
  constexpr size_t L = CSparseLu::Lanes;
  const size_t n = static_cast<size_t>(Count);
  double probe[L] = {};  // zero for finite values, NaN otherwise
  bool nonzero[L] = {};
  for (size_t i = 0; i < n * L; i += L)
    for (size_t f = 0; f < L; ++f) {
      const double re = laneXRe[i + f], im = laneXIm[i + f];
      probe[f] += re * 0 + im * 0;
      nonzero[f] |= (re != 0) | (im != 0);
    }
  for (size_t f = 0; f < L; ++f) laneDone[f] = laneOk[f] && probe[f] == 0 && nonzero[f];
  lanesNegated = false;
}

// The published solution of a lane prepared at Omega, where there is one.
bool CCalc::TakeLane() {
  constexpr size_t L = CSparseLu::Lanes;
  if (!lanesReady || !lu.LanesValid()) return false;
  for (size_t f = 0; f < L; ++f) {
    if (laneOmega[f] != Omega || !laneDone[f]) continue;
    const double sign = lanesNegated ? 1.0 : -1.0;
    for (size_t i = 0; i < static_cast<size_t>(Count); ++i) {
      VecRe[i] = sign * laneXRe[i * L + f];
      VecIm[i] = sign * laneXIm[i * L + f];
    }
    return true;
  }
  return false;
}

// The double precision factors at Omega: those of a prepared lane where there is one.
bool CCalc::FactorFast() {
  if (lanesReady && lu.LanesValid())
    for (size_t f = 0; f < CSparseLu::Lanes; ++f)
      if (laneOmega[f] == Omega) return laneOk[f] && lu.UseLane(f);
  return lu.FactorFast(Omega);
}

// The double precision replay at Omega, of the kept order or else, where asked, of one it
// replaced.
bool CCalc::ReplayFast(int meterUnknown) {
  if (FactorFast() && SubstituteFast(meterUnknown)) return true;
  if (!TryKeptOrders) return false;
  for (size_t i = 0; i < lu.KeptOrderCount(); ++i) {
    if (!lu.SwapOrder(i)) continue;
    if (lu.FactorFast(Omega) && SubstituteFast(meterUnknown)) return true;
    lu.SwapOrder(i);
  }
  return false;
}

bool CCalc::Resolve(int meterUnknown, double frequency) {
  if (!Ready() || !assembled || meterUnknown != wiringMeter) return Solve(meterUnknown, frequency);
  Restart(frequency);
  if (!FiniteAt()) {
    Finite = false;
    return false;
  }
  if (lu.HasOrder() && (TakeLane() || ReplayFast(meterUnknown))) {
    Replayed = true;
    return true;
  }
  FillValues();
  Factor();
  return Substitute(meterUnknown);
}

bool CCalc::Pencil(int meterUnknown, SPencil& out) {
  out = {};
  if (!Restamp(meterUnknown)) return false;
  out.Count = Count;
  for (size_t i = 0; i < entries.size(); ++i) {
    const int row = entries[i].Row, col = entries[i].Col;
    const SComplex& c = constant[i];
    const SComplex& w = perOmega[i];
    if (c.Re != 0 || c.Im != 0) out.A.push_back({row, col, c});
    // w * (re + j im) = jw * (im - j re)
    if (w.Re != 0 || w.Im != 0) out.B.push_back({row, col, {w.Im, -w.Re}});
  }
  return true;
}

// ---- diagnosis of a failed solve

std::vector<size_t> CCalc::AssembleByComponent() {
  ClearSystem();
  std::vector<size_t> start;
  const int count = Cmps != nullptr ? Cmps->Count() : 0;
  for (int i = 0; i < count; ++i) {
    start.push_back(stamps.size());
    if (!topology.Stamped(i)) continue;
    stamping = i;
    Cmps->At(i)->Stamp(*this);
  }
  stamping = -1;
  start.push_back(stamps.size());
  return start;
}

std::vector<int> CCalc::NonFiniteComponents() {
  std::vector<int> found;
  if (!Ready()) return found;
  const std::vector<size_t> start = AssembleByComponent();
  for (size_t c = 0; c + 1 < start.size(); ++c)
    for (size_t t = start[c]; t < start[c + 1]; ++t)
      if (!std::isfinite(ValueAt(stamps[t], PerOmega, Omega))) {
        found.push_back(static_cast<int>(c));
        break;
      }
  return found;
}

std::vector<int> CCalc::ContradictingComponents(int meterUnknown) {
  std::vector<int> found;
  if (!Ready()) return found;
  const size_t n = static_cast<size_t>(Count);
  std::vector<SComplex> b(n);
  if (meterUnknown > 0 && meterUnknown < Count &&
      !topology.Grounded[static_cast<size_t>(meterUnknown)])
    b[static_cast<size_t>(meterUnknown)].Re = -1;
  const std::vector<SComplex> weight = lu.Contradiction(b.data());
  if (weight.size() != n) return found;
  long double heaviest = 0;
  for (const SComplex& w : weight) heaviest = std::max(heaviest, std::hypot(w.Re, w.Im));

  // A component takes part when its own entries, weighted by row, leave something in a column:
  // what the weighted rows cancel there, it cancels against other components. Entries that
  // merely pass through (a resistor in series with the contradiction) weigh out to zero.
  const std::vector<uint8_t>& grounded = topology.Grounded;
  const std::vector<size_t> start = AssembleByComponent();
  for (size_t c = 0; c + 1 < start.size(); ++c) {
    const CCmp* cmp = Cmps->At(static_cast<int>(c));
    if (cmp->Type == &CElemA::TypeRecord) continue;
    std::map<uint64_t, SComplex> own;
    for (size_t t = start[c]; t < start[c + 1]; ++t) {
      const SStamp& s = stamps[t];
      if (grounded[static_cast<size_t>(s.row)] || grounded[static_cast<size_t>(s.col)]) continue;
      SComplex& v = own[Key(s.row, s.col)];
      long double& part = (s.how & Imaginary) != 0 ? v.Im : v.Re;
      part = (s.how & Assign) != 0 ? s.value : part + s.value;
    }
    std::map<int, SComplex> column;
    long double largest = 0;
    for (const auto& [key, v] : own) {
      const SComplex& w = weight[static_cast<size_t>(key >> 32)];
      SComplex& sum = column[static_cast<int>(key & 0xffffffffU)];
      sum.Re += w.Re * v.Re - w.Im * v.Im;
      sum.Im += w.Re * v.Im + w.Im * v.Re;
      largest = std::max(largest, std::hypot(v.Re, v.Im));
    }
    for (const auto& [col, sum] : column)
      if (std::hypot(sum.Re, sum.Im) > 1e-9L * heaviest * largest) {
        found.push_back(static_cast<int>(c));
        break;
      }
  }
  return found;
}
