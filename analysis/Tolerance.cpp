#include "analysis/Tolerance.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

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
                        StepOf(kind, j) == ParamStep::Coupling});
    }
  }
  return varied;
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

// The root of X nearest to `guess` with the slope of the nominal resonance (rising through a
// series resonance, falling through a parallel one), searched within a factor `reach` either
// side; none where X shows no such change of sign there.
std::optional<double> FollowResonance(CImpedanceProbe& probe, const SResonance& nominal,
                                      double guess, double reach) {
  const double sign = nominal.Series ? 1.0 : -1.0;
  // The signed reactance, positive above the root; none where there is no reading.
  const auto xAt = [&](double f) -> std::optional<double> {
    const SImpedance z = probe.At(f);
    if (!z || !std::isfinite(z->imag())) return std::nullopt;
    return sign * z->imag();
  };
  // Widening steps either side of the guess until a change of sign.
  double lo = guess, hi = guess;
  std::optional<double> xLo = xAt(guess), xHi = xLo;
  for (double step = 1e-3; xLo && xHi && !(*xLo <= 0.0 && *xHi >= 0.0 && lo < hi); step *= 2.0) {
    if (step > reach) return std::nullopt;
    if (*xLo > 0.0) lo = guess / (1.0 + step), xLo = xAt(lo);
    if (*xHi < 0.0) hi = guess * (1.0 + step), xHi = xAt(hi);
  }
  if (!xLo || !xHi) return std::nullopt;
  // Regula falsi on log f, the stale end's value halved (Illinois): a spread needs a handful of
  // digits, and a pole between the ends (a lossless parallel resonance) falls back to halving.
  double a = std::log(lo), b = std::log(hi), fa = *xLo, fb = *xHi;
  int stale = 0;
  for (int i = 0; i < 60 && b - a > 1e-9; ++i) {
    double m = fb - fa > 0.0 ? a - fa * (b - a) / (fb - fa) : 0.5 * (a + b);
    if (!(m > a && m < b)) m = 0.5 * (a + b);
    const std::optional<double> fm = xAt(std::exp(m));
    if (!fm) return std::nullopt;
    if (*fm <= 0.0) {
      a = m, fa = *fm;
      if (++stale > 1) fb *= 0.5;
      stale = stale > 1 ? 0 : stale;
    } else {
      b = m, fb = *fm;
      if (--stale < -1) fa *= 0.5;
      stale = stale < -1 ? 0 : stale;
    }
    if (std::fabs(*fm) == 0.0) return std::exp(m);
  }
  return std::exp(0.5 * (a + b));
}

void SampleValues(std::vector<SVaried>& varied, std::mt19937& random) {
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (SVaried& v : varied) {
    double value = v.Nominal * (1.0 + v.Tolerance * unit(random));
    if (v.Coupling) value = std::clamp(value, -1.0, 1.0);
    v.Slot->Value = value;
  }
}

void SpreadResonances(CCmps& cmps, const CCmp& meter, CCalc& solver, const SBandRequest& request,
                      SToleranceBand& band) {
  CImpedanceProbe probe(cmps, meter, solver);
  for (size_t i = 0; i < request.Resonances.size(); ++i) {
    const SResonance& nominal = request.Resonances[i];
    // Never as far as a neighbouring resonance: halfway to it at most.
    double reach = 0.5;
    if (i > 0)
      reach = std::min(reach, std::sqrt(nominal.Hertz / request.Resonances[i - 1].Hertz) - 1.0);
    if (i + 1 < request.Resonances.size())
      reach = std::min(reach, std::sqrt(request.Resonances[i + 1].Hertz / nominal.Hertz) - 1.0);
    const std::optional<double> f = FollowResonance(probe, nominal, nominal.Hertz, reach);
    if (!f) continue;
    band.Resonances[i].Min = std::min(band.Resonances[i].Min, *f);
    band.Resonances[i].Max = std::max(band.Resonances[i].Max, *f);
  }
}

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
  const int last = request.Count < 0 ? request.Samples
                                     : std::min(request.Samples, request.First + request.Count);
  for (int s = std::max(0, request.First); s < last; ++s) {
    if (cancel && cancel->load(std::memory_order_relaxed)) break;
    std::mt19937 random(request.Seed + 7919u * static_cast<uint32_t>(s));
    if (s > 0) SampleValues(varied, random);  // sample 0 is the nominal circuit
    const std::vector<SImpedance> z = SweepImpedance(cmps, meter, solver, request.Hertz, cancel);
    for (size_t k = 0; k < z.size(); ++k) {
      if (z[k] && std::isfinite(z[k]->real()) && std::isfinite(z[k]->imag()))
        Include(band.Points[k], Reading(request.Hertz[k], z[k]->real(), z[k]->imag()));
    }
    if (s > 0 && !request.Resonances.empty()) SpreadResonances(cmps, meter, solver, request, band);
    ++band.Samples;
  }
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
