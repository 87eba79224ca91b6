#include "analysis/Tolerance.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <numbers>
#include <random>

#include "analysis/CCalc.h"
#include "analysis/Sensitivity.h"
#include "analysis/Sweep.h"
#include "components/CCmp.h"
#include "components/Tuning.h"

namespace {

double KindTolerance(int kind, int j, const SKindTolerances& t) {
  switch (StepOf(kind, j)) {
    case ParamStep::Turns:
      return t.Turns;
    case ParamStep::Coupling:
      return t.Coupling;
    case ParamStep::Series:
      break;
  }
  if (kind == KindR) return t.R;
  if (kind == KindC) return t.C;
  return t.L;  // inductors and coupled inductors' windings
}

// One varied value: where it lives, its nominal value and its tolerance.
struct SVaried {
  SParam* Slot = nullptr;
  double Nominal = 0.0;
  double Tolerance = 0.0;
  bool Coupling = false;
  int Cmp = 0, Param = 0;  // the component's list position and the parameter's index
};

std::vector<SVaried> VariedValues(CCmps& cmps, const SKindTolerances& t) {
  std::vector<SVaried> varied;
  for (int i = 0; i < cmps.Count(); ++i) {
    CCmp* c = cmps.At(i);
    CParam* params = c->Params();
    for (int j = 0; j < c->ParamCount(); ++j) {
      const double tolerance = ToleranceOf(*c, j, t);
      if (!(tolerance > 0.0) || !std::isfinite(params[j].Value->Value)) continue;
      const int kind = KindOf(c->Type);
      varied.push_back({params[j].Value, params[j].Value->Value, tolerance,
                        StepOf(kind, j) == ParamStep::Coupling, i, j});
    }
  }
  return varied;
}

// Sets every varied value, a coupling kept within [-1, 1].
template <class ValueOf>
void SetValues(std::vector<SVaried>& varied, ValueOf valueOf) {
  for (size_t i = 0; i < varied.size(); ++i) {
    double value = valueOf(i);
    if (varied[i].Coupling) value = std::clamp(value, -1.0, 1.0);
    varied[i].Slot->Value = value;
  }
}

// The signs in which the varied values move one quantity, -1, 0 or +1 each.
using SPattern = std::vector<int8_t>;

// Sets each varied value to the end of its tolerance that its sign in `pattern` names.
void SetCorner(std::vector<SVaried>& varied, const SPattern& pattern) {
  SetValues(varied,
            [&](size_t i) { return varied[i].Nominal * (1.0 + pattern[i] * varied[i].Tolerance); });
}

int8_t SignOf(double d) {
  return static_cast<int8_t>(d > 0.0 ? 1 : d < 0.0 ? -1 : 0);
}

// Per varied value, its position among the parts of a sensitivity result; -1 where missing.
std::vector<int> PartIndex(const std::vector<SVaried>& varied, const SSensitivities& s) {
  std::vector<int> index(varied.size(), -1);
  for (size_t i = 0; i < varied.size(); ++i)
    for (size_t p = 0; p < s.Parts.size(); ++p)
      if (s.Parts[p].Cmp == varied[i].Cmp && s.Parts[p].Param == varied[i].Param)
        index[i] = static_cast<int>(p);
  return index;
}

// Widens b to take in p, the range at the same frequency of other samples.
void Include(SBandPoint& b, const SBandPoint& p) {
  if (!p.Solved) return;
  if (!b.Solved) {
    b = p;
    return;
  }
  b.RMin = std::min(b.RMin, p.RMin), b.RMax = std::max(b.RMax, p.RMax);
  b.XMin = std::min(b.XMin, p.XMin), b.XMax = std::max(b.XMax, p.XMax);
  b.MagnitudeMin = std::min(b.MagnitudeMin, p.MagnitudeMin);
  b.MagnitudeMax = std::max(b.MagnitudeMax, p.MagnitudeMax);
  b.PhaseMin = std::min(b.PhaseMin, p.PhaseMin), b.PhaseMax = std::max(b.PhaseMax, p.PhaseMax);
}

// The range of a single reading.
SBandPoint Reading(double hertz, double r, double x) {
  const double magnitude = std::hypot(r, x);
  const double phase = -std::atan2(x, r) * 180.0 / std::numbers::pi;
  return {hertz, true, r, r, x, x, magnitude, magnitude, phase, phase};
}

// Widens the band's points by readings at their frequencies (those at `at`, all by default).
void IncludeReadings(SToleranceBand& band, const std::vector<SImpedance>& z,
                     const std::vector<size_t>* at = nullptr) {
  for (size_t k = 0; k < z.size(); ++k) {
    if (!z[k] || !std::isfinite(z[k]->real()) || !std::isfinite(z[k]->imag())) continue;
    SBandPoint& b = band.Points[at != nullptr ? (*at)[k] : k];
    Include(b, Reading(b.Hertz, z[k]->real(), z[k]->imag()));
  }
}

// How closely a followed resonance is found, in log f: a spread is read to six digits or so.
constexpr double RootTolerance = 1e-7;

// What changes sign at a resonance, positive above it: X rising through a series resonance,
// the susceptance Im(1/Z) rising through a parallel one (a smooth root where X has a pole);
// none where there is no reading.
struct SRootSide {
  CImpedanceProbe& probe;
  bool series;
  std::optional<double> operator()(double f) const {
    const SImpedance z = probe.At(f);
    if (!z) return std::nullopt;
    const double side = series ? z->imag() : (1.0 / *z).imag();
    if (!std::isfinite(side)) return std::nullopt;
    return side;
  }
};

// The secant method on log f from the estimate, within (floor, ceiling): a handful of readings
// where the estimate is good. None where it leaves the range, meets a root of the other slope
// or does not settle.
std::optional<double> Secant(const SRootSide& xAt, double guess, double floor, double ceiling) {
  double a = std::log(guess);
  std::optional<double> fa = xAt(guess);
  if (!fa || *fa == 0.0) return fa ? std::optional<double>(guess) : std::nullopt;
  double b = *fa > 0.0 ? a - 1e-4 : a + 1e-4;
  std::optional<double> fb = xAt(std::exp(b));
  for (int i = 0; i < 8 && fb; ++i) {
    const double slope = (*fb - *fa) / (b - a);
    if (!(slope > 0.0)) return std::nullopt;
    const double m = b - *fb / slope;
    if (!(m > std::log(floor) && m < std::log(ceiling))) return std::nullopt;
    if (std::fabs(m - b) < RootTolerance) return std::exp(m);
    a = b, fa = fb;
    b = m, fb = xAt(std::exp(m));
  }
  return std::nullopt;
}

// Regula falsi on log f between lo (x <= 0) and hi (x >= 0), the stale end's value halved
// (Illinois).
std::optional<double> Narrow(const SRootSide& xAt, double lo, double hi, double fa, double fb) {
  double a = std::log(lo), b = std::log(hi);
  int stale = 0;
  for (int i = 0; i < 60 && b - a > RootTolerance; ++i) {
    double m = fb - fa > 0.0 ? a - fa * (b - a) / (fb - fa) : 0.5 * (a + b);
    if (!(m > a && m < b)) m = 0.5 * (a + b);
    const std::optional<double> fm = xAt(std::exp(m));
    if (!fm) return std::nullopt;
    if (*fm == 0.0) return std::exp(m);
    if (*fm < 0.0) {
      a = m, fa = *fm;
      if (++stale > 1) fb *= 0.5;
      stale = stale > 1 ? 0 : stale;
    } else {
      b = m, fb = *fm;
      if (--stale < -1) fa *= 0.5;
      stale = stale < -1 ? 0 : stale;
    }
  }
  return std::exp(0.5 * (a + b));
}

// The root nearest to `guess` with the slope of the nominal resonance, never beyond a factor
// `reach` from the nominal: by the secant method, or else in widening steps either side of the
// guess and then narrowed; none where there is no such change of sign.
std::optional<double> FollowResonance(CImpedanceProbe& probe, const SResonance& nominal,
                                      double guess, double reach) {
  const SRootSide xAt{probe, nominal.Series};
  const double floor = nominal.Hertz / (1.0 + reach), ceiling = nominal.Hertz * (1.0 + reach);
  guess = std::clamp(guess, floor, ceiling);
  if (const std::optional<double> root = Secant(xAt, guess, floor, ceiling)) return root;
  double lo = guess, hi = guess;
  std::optional<double> xLo = xAt(guess), xHi = xLo;
  if (xLo && *xLo == 0.0) return guess;
  for (double step = 1e-4; xLo && xHi && !(*xLo <= 0.0 && *xHi >= 0.0 && lo < hi); step *= 4.0) {
    if (*xLo > 0.0) {
      if (lo <= floor) return std::nullopt;
      lo = std::max(floor, guess / (1.0 + step)), xLo = xAt(lo);
    }
    if (*xHi < 0.0) {
      if (hi >= ceiling) return std::nullopt;
      hi = std::min(ceiling, guess * (1.0 + step)), xHi = xAt(hi);
    }
  }
  if (!xLo || !xHi) return std::nullopt;
  return Narrow(xAt, lo, hi, *xLo, *xHi);
}

// What a resonance's search needs of the nominal circuit: how far it may go, and the
// normalised sensitivity of its frequency to each varied value (0 where it has none).
struct SFollowed {
  SResonance Nominal;
  double Reach = 0.5;
  std::vector<double> Sensitivity;
};

std::vector<SFollowed> FollowedResonances(CCmps& cmps, const CCmp& meter, CCalc& solver,
                                          const SBandRequest& request,
                                          const std::vector<SVaried>& varied) {
  std::vector<SFollowed> out;
  const std::vector<SResonance>& r = request.Resonances;
  for (size_t i = 0; i < r.size(); ++i) {
    SFollowed f{r[i], 0.5, std::vector<double>(varied.size(), 0.0)};
    // Never as far as a neighbouring resonance: halfway to it at most.
    if (i > 0) f.Reach = std::min(f.Reach, std::sqrt(r[i].Hertz / r[i - 1].Hertz) - 1.0);
    if (i + 1 < r.size()) f.Reach = std::min(f.Reach, std::sqrt(r[i + 1].Hertz / r[i].Hertz) - 1.0);
    const SSensitivities s = r[i].Series ? Sensitivities(cmps, meter, solver, r[i].Hertz)
                                         : AdmittanceSensitivities(cmps, meter, solver, r[i].Hertz);
    const std::vector<double> d = ResonanceSensitivities(s);
    const std::vector<int> index = PartIndex(varied, s);
    for (size_t v = 0; v < varied.size(); ++v)
      if (index[v] >= 0 && std::isfinite(d[static_cast<size_t>(index[v])]))
        f.Sensitivity[v] = d[static_cast<size_t>(index[v])];
    out.push_back(std::move(f));
  }
  return out;
}

// The first-order estimate of a resonance for the values set now, on log scales.
double Estimate(const SFollowed& f, const std::vector<SVaried>& varied) {
  double shift = 0.0;
  for (size_t v = 0; v < varied.size(); ++v) {
    const double ratio = varied[v].Slot->Value / varied[v].Nominal;
    if (f.Sensitivity[v] != 0.0 && ratio > 0.0 && std::isfinite(ratio))
      shift += f.Sensitivity[v] * std::log(ratio);
  }
  const double guess = f.Nominal.Hertz * std::exp(shift);
  return std::isfinite(guess) && guess > 0.0 ? guess : f.Nominal.Hertz;
}

// Follows resonance i for the values set now and widens its spread by what it finds.
void SpreadResonance(CImpedanceProbe& probe, const std::vector<SFollowed>& followed, size_t i,
                     const std::vector<SVaried>& varied, SToleranceBand& band) {
  const SFollowed& f = followed[i];
  const std::optional<double> root =
      FollowResonance(probe, f.Nominal, Estimate(f, varied), f.Reach);
  if (!root) return;
  band.Resonances[i].Min = std::min(band.Resonances[i].Min, *root);
  band.Resonances[i].Max = std::max(band.Resonances[i].Max, *root);
}

void SampleValues(std::vector<SVaried>& varied, std::mt19937& random) {
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  SetValues(varied, [&](size_t i) {
    return varied[i].Nominal * (1.0 + varied[i].Tolerance * unit(random));
  });
}

bool Cancelled(const std::atomic<bool>* cancel) {
  return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

// The worst-case corners at one frequency: for the largest and the smallest R, X, |Z| and
// phase, every varied value at the end of its tolerance that the sign of its sensitivity there
// names. None where the reading has no sensitivities.
using SCorners = std::array<SPattern, 8>;

std::optional<SCorners> CornersAt(CCmps& cmps, const CCmp& meter, CCalc& solver, double hertz,
                                  const std::vector<SVaried>& varied) {
  const SSensitivities s = Sensitivities(cmps, meter, solver, hertz);
  if (!s.Valid) return std::nullopt;
  const std::vector<int> index = PartIndex(varied, s);
  SCorners corners;
  for (size_t v = 0; v < varied.size(); ++v) {
    double d[4] = {};
    if (index[v] >= 0) {
      const SPartSensitivity& p = s.Parts[static_cast<size_t>(index[v])];
      NormalisedSensitivity(0, s.Z, p.Scaled, d[0], d[1]);
      NormalisedSensitivity(1, s.Z, p.Scaled, d[2], d[3]);
    }
    for (size_t q = 0; q < 4; ++q) {
      corners[2 * q].push_back(SignOf(d[q]));
      corners[2 * q + 1].push_back(static_cast<int8_t>(-SignOf(d[q])));
    }
  }
  return corners;
}

// The corners of every band frequency, each distinct one with the frequencies that ask for it.
// The sensitivities are taken at every other frequency; one that lies between its two listed
// neighbours whose corners agree has theirs, the signs changing nowhere between.
std::map<SPattern, std::vector<size_t>> BandCorners(CCmps& cmps, const CCmp& meter, CCalc& solver,
                                                    const SBandRequest& request,
                                                    const std::vector<SVaried>& varied,
                                                    const std::atomic<bool>* cancel) {
  const size_t count = request.Hertz.size();
  std::vector<std::optional<SCorners>> at(count);
  for (size_t k = 0; k < count && !Cancelled(cancel); k += 2)
    at[k] = CornersAt(cmps, meter, solver, request.Hertz[k], varied);
  const std::vector<double>& f = request.Hertz;
  for (size_t k = 1; k < count && !Cancelled(cancel); k += 2) {
    const bool between = k + 1 < count && f[k - 1] < f[k] && f[k] < f[k + 1];
    if (between && at[k - 1] && at[k + 1] && *at[k - 1] == *at[k + 1])
      at[k] = at[k - 1];
    else
      at[k] = CornersAt(cmps, meter, solver, request.Hertz[k], varied);
  }
  std::map<SPattern, std::vector<size_t>> corners;
  for (size_t k = 0; k < count; ++k) {
    if (!at[k]) continue;
    for (const SPattern& pattern : *at[k]) {
      std::vector<size_t>& frequencies = corners[pattern];
      if (frequencies.empty() || frequencies.back() != k) frequencies.push_back(k);
    }
  }
  return corners;
}

// Solves every corner exactly and widens the band by it: the band frequencies' corners, each
// swept once over the frequencies that ask for it, and each resonance followed at the corners
// that raise and lower it most.
void WidenByCorners(CImpedanceProbe& probe, const std::map<SPattern, std::vector<size_t>>& corners,
                    const std::vector<SFollowed>& followed, const SBandRequest& request,
                    std::vector<SVaried>& varied, SToleranceBand& band,
                    const std::atomic<bool>* cancel) {
  for (const auto& [pattern, at] : corners) {
    if (Cancelled(cancel)) return;
    SetCorner(varied, pattern);
    if (!probe.Restamp()) return;
    std::vector<double> hertz;
    for (const size_t k : at) hertz.push_back(request.Hertz[k]);
    IncludeReadings(band, probe.Sweep(hertz, cancel), &at);
  }
  for (size_t i = 0; i < followed.size(); ++i)
    for (const int side : {1, -1}) {
      if (Cancelled(cancel)) return;
      SPattern pattern;
      for (const double d : followed[i].Sensitivity) pattern.push_back(SignOf(side * d));
      SetCorner(varied, pattern);
      if (!probe.Restamp()) return;
      SpreadResonance(probe, followed, i, varied, band);
    }
}

// Restores a solver's settings when the scope ends.
struct SSolverScope {
  CCalc& solver;
  bool quick = solver.Quick;
  bool keptOrders = solver.TryKeptOrders;
  ~SSolverScope() {
    solver.Quick = quick;
    solver.TryKeptOrders = keptOrders;
  }
};

}  // namespace

double ToleranceOf(const CCmp& cmp, int j, const SKindTolerances& tolerances) {
  if (j >= 0 && j < cmp.ParamCount()) {
    const std::optional<double>& own = cmp.ParamValues()[j].Tolerance;
    if (own) return *own;
  }
  return KindTolerance(KindOf(cmp.Type), j, tolerances);
}

double KindToleranceOf(int kind, int j, const SKindTolerances& tolerances) {
  return KindTolerance(kind, j, tolerances);
}

SToleranceBand ToleranceBand(CCmps& cmps, const CCmp& meter, CCalc& solver,
                             const SBandRequest& request, const std::atomic<bool>* cancel) {
  SToleranceBand band;
  for (const double f : request.Hertz) band.Points.push_back({.Hertz = f});
  for (const SResonance& r : request.Resonances)
    band.Resonances.push_back({r.Hertz, r.Hertz, r.Hertz});
  std::vector<SVaried> varied = VariedValues(cmps, request.Tolerances);
  const SSolverScope restore{solver};
  solver.TryKeptOrders = true;
  const int first = std::max(0, request.First);
  const int last = request.Count < 0 ? request.Samples
                                     : std::min(request.Samples, request.First + request.Count);
  // The sensitivities come first: they build the circuit on the solver themselves.
  const std::vector<SFollowed> followed =
      varied.empty() ? std::vector<SFollowed>{}
                     : FollowedResonances(cmps, meter, solver, request, varied);
  // The corners go with the nominal sample: the call that takes sample 0 adds them.
  const bool corners = first == 0 && first < last && !varied.empty();
  const std::map<SPattern, std::vector<size_t>> patterns =
      corners ? BandCorners(cmps, meter, solver, request, varied, cancel)
              : std::map<SPattern, std::vector<size_t>>{};
  CImpedanceProbe probe(cmps, meter, solver);
  solver.Quick = true;
  for (int s = first; s < last && !Cancelled(cancel); ++s) {
    std::mt19937 random(request.Seed + 7919u * static_cast<uint32_t>(s));
    if (s > 0) SampleValues(varied, random);  // sample 0 is the nominal circuit
    probe.Restamp();
    IncludeReadings(band, probe.Sweep(request.Hertz, cancel));
    if (s > 0)
      for (size_t i = 0; i < followed.size(); ++i)
        SpreadResonance(probe, followed, i, varied, band);
    ++band.Samples;
  }
  solver.Quick = false;
  if (corners) WidenByCorners(probe, patterns, followed, request, varied, band, cancel);
  for (SVaried& v : varied) v.Slot->Value = v.Nominal;
  return band;
}

void MergeBands(SToleranceBand& into, const SToleranceBand& other) {
  for (size_t k = 0; k < std::min(into.Points.size(), other.Points.size()); ++k)
    Include(into.Points[k], other.Points[k]);
  for (size_t i = 0; i < std::min(into.Resonances.size(), other.Resonances.size()); ++i) {
    into.Resonances[i].Min = std::min(into.Resonances[i].Min, other.Resonances[i].Min);
    into.Resonances[i].Max = std::max(into.Resonances[i].Max, other.Resonances[i].Max);
  }
  into.Samples += other.Samples;
}
