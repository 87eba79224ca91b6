#include "analysis/Tune.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <utility>
#include <vector>

#include "analysis/CCalc.h"
#include "analysis/Match.h"
#include "analysis/Response.h"
#include "analysis/Sweep.h"
#include "components/CCmp.h"
#include "components/Tuning.h"

namespace {

// The window searched for a followed resonance: this factor either side of where it was last,
// with this many points. A scan step moves a resonance far less than the window.
constexpr double FollowWindow = 4.0;
constexpr int FollowPoints = 41;
// The refinement ends when the bracket on the scan variable is this narrow: on the logarithm
// of a value this is a relative width, well inside 1e-9.
constexpr double SolveTolerance = 1e-12;
// A refined crossing counts only where the quantity lands this close to the target, relative
// to the target and the bracket's ends: a sign change across a pole is no crossing.
constexpr double LandingTolerance = 1e-6;

struct SSample {
  double U = 0.0;
  std::optional<double> Q;
};

class CTuner {
 public:
  CTuner(CCmps& cmps, const CCmp& meter, CCmp& part, int param, const STuneTarget& target,
         const std::atomic<bool>* stop = nullptr)
      : cmps(cmps), meter(meter), target(target), stop(stop) {
    if (param < 0 || param >= part.ParamCount()) return;
    slot = part.Params()[param].Value;
    kept = *slot;
    coupling = StepOf(KindOf(part.Type), param) == ParamStep::Coupling;
    const double p0 = std::isfinite(kept.Value) ? kept.Value : 0.0;
    sign = p0 < 0.0 ? -1.0 : 1.0;
    if (coupling)
      u0 = std::clamp(p0, -1.0, 1.0);
    else
      u0 = p0 == 0.0 ? 0.0 : std::log(std::fabs(p0));
  }
  ~CTuner() {
    if (slot != nullptr) *slot = kept;
  }
  CTuner(const CTuner&) = delete;
  CTuner& operator=(const CTuner&) = delete;

  bool Usable() const { return slot != nullptr; }
  bool Stopped() const { return stopped; }
  double ValueOf(double u) const { return coupling ? u : sign * std::exp(u); }
  std::optional<double> Read(double value, double guess);
  STuneResult Solve();

 private:
  std::optional<double> ResonanceNear(double guess);
  std::optional<double> ReadAt(double u);
  std::vector<SSample> Scan();
  void Follow(std::vector<SSample>& samples, size_t from, int step);
  std::optional<double> Refine(SSample a, SSample b);
  std::optional<double> Crossing(const std::vector<SSample>& samples);
  double BestMatch(const std::vector<SSample>& samples);

  CCmps& cmps;
  const CCmp& meter;
  STuneTarget target;
  // Once set, every reading is none, so each loop of the search runs out at once.
  const std::atomic<bool>* stop = nullptr;
  bool stopped = false;
  CCalc solver;
  SParam* slot = nullptr;
  SParam kept;
  bool coupling = false;
  double sign = 1.0;
  double u0 = 0.0;
  // Every reading of a followed resonance, for the guess of the next one.
  std::vector<SSample> followed;
};

std::optional<double> CTuner::ResonanceNear(double guess) {
  if (!std::isfinite(guess) || guess <= 0.0) return std::nullopt;
  const SResponse response =
      SweepMeter(cmps, meter, solver,
                 LogFrequencies(guess / FollowWindow, guess * FollowWindow, FollowPoints), stop);
  if (stop != nullptr && stop->load(std::memory_order_relaxed)) return std::nullopt;
  std::optional<double> best;
  for (const SResonance& r : response.Resonances) {
    if (r.Series != target.Series || !std::isfinite(r.Hertz) || r.Hertz <= 0.0) continue;
    if (!best || std::fabs(std::log(r.Hertz / guess)) < std::fabs(std::log(*best / guess)))
      best = r.Hertz;
  }
  return best;
}

std::optional<double> CTuner::Read(double value, double guess) {
  if (stop != nullptr && stop->load(std::memory_order_relaxed)) stopped = true;
  if (stopped || !std::isfinite(value)) return std::nullopt;
  slot->Value = value;
  if (target.Kind == TuneKind::Resonance) return ResonanceNear(guess);
  const SImpedance z = ImpedanceAt(cmps, meter, solver, target.Hertz);
  if (!z) return std::nullopt;
  double q = 0.0;
  switch (target.Kind) {
    case TuneKind::R:
      q = z->real();
      break;
    case TuneKind::X:
      q = z->imag();
      break;
    case TuneKind::Magnitude:
      q = std::abs(*z);
      break;
    case TuneKind::Match: {
      const std::optional<std::complex<double>> gamma = Reflection(*z, target.Z0);
      if (!gamma) return std::nullopt;
      q = std::abs(*gamma);
      break;
    }
    case TuneKind::Resonance:
      break;
  }
  if (!std::isfinite(q)) return std::nullopt;
  return q;
}

// A reading at scan variable u; a followed resonance starts from the nearest one read so far.
std::optional<double> CTuner::ReadAt(double u) {
  if (target.Kind != TuneKind::Resonance) return Read(ValueOf(u), 0.0);
  const SSample* nearest = nullptr;
  for (const SSample& s : followed)
    if (s.Q && (nearest == nullptr || std::fabs(s.U - u) < std::fabs(nearest->U - u))) nearest = &s;
  if (nearest == nullptr) return std::nullopt;
  const std::optional<double> q = Read(ValueOf(u), *nearest->Q);
  followed.push_back({u, q});
  return q;
}

// A resonance is followed outwards from the present value, each scan value starting from the
// last; once lost it stays lost in that direction.
void CTuner::Follow(std::vector<SSample>& samples, size_t from, int step) {
  std::optional<double> last = samples[from].Q;
  for (size_t i = from + step; i < samples.size() && last; i += step) {
    last = Read(ValueOf(samples[i].U), *last);
    samples[i].Q = last;
    followed.push_back(samples[i]);
  }
}

std::vector<SSample> CTuner::Scan() {
  std::vector<SSample> samples;
  const double low = coupling ? -1.0 : u0 - std::log(TuneScanReach);
  const double high = coupling ? 1.0 : u0 + std::log(TuneScanReach);
  for (int i = 0; i < TuneScanPoints; ++i)
    samples.push_back({low + (high - low) * i / (TuneScanPoints - 1), std::nullopt});
  samples.push_back({u0, std::nullopt});
  std::sort(samples.begin(), samples.end(),
            [](const SSample& a, const SSample& b) { return a.U < b.U; });
  if (target.Kind != TuneKind::Resonance) {
    for (SSample& s : samples) s.Q = Read(ValueOf(s.U), 0.0);
    return samples;
  }
  const size_t at = static_cast<size_t>(
      std::find_if(samples.begin(), samples.end(), [this](const SSample& s) { return s.U == u0; }) -
      samples.begin());
  samples[at].Q = Read(ValueOf(u0), target.FromHertz);
  followed.push_back(samples[at]);
  Follow(samples, at, 1);
  Follow(samples, at, -1);
  return samples;
}

// Brent's method on q(u) − target between two scan values of opposite sign.
std::optional<double> CTuner::Refine(SSample a, SSample b) {
  const double goal = target.Value;
  double fa = *a.Q - goal, fb = *b.Q - goal;
  const double scale = std::max({std::fabs(goal), std::fabs(*a.Q), std::fabs(*b.Q)});
  double c = a.U, fc = fa, d = b.U - a.U, e = d;
  for (int iteration = 0; iteration < 200; ++iteration) {
    if ((fb > 0) == (fc > 0)) c = a.U, fc = fa, d = e = b.U - a.U;
    if (std::fabs(fc) < std::fabs(fb)) {
      a.U = b.U, b.U = c, c = a.U;
      fa = fb, fb = fc, fc = fa;
    }
    const double tol = 2e-16 * std::fabs(b.U) + SolveTolerance / 2;
    const double m = (c - b.U) / 2;
    if (fb == 0.0 || std::fabs(m) <= tol) break;
    if (std::fabs(e) >= tol && std::fabs(fa) > std::fabs(fb)) {
      // Secant or inverse quadratic interpolation, kept when it stays well inside.
      const double s = fb / fa;
      double p, q;
      if (a.U == c) {
        p = 2 * m * s, q = 1 - s;
      } else {
        const double qa = fa / fc, r = fb / fc;
        p = s * (2 * m * qa * (qa - r) - (b.U - a.U) * (r - 1));
        q = (qa - 1) * (r - 1) * (s - 1);
      }
      if (p > 0) q = -q;
      p = std::fabs(p);
      if (2 * p < std::min(3 * m * q - std::fabs(tol * q), std::fabs(e * q))) {
        e = d, d = p / q;
      } else {
        d = m, e = m;
      }
    } else {
      d = m, e = m;
    }
    a.U = b.U, fa = fb;
    b.U += std::fabs(d) > tol ? d : (m > 0 ? tol : -tol);
    const std::optional<double> q = ReadAt(b.U);
    if (!q) return std::nullopt;
    fb = *q - goal;
  }
  if (!(std::fabs(fb) <= LandingTolerance * scale)) return std::nullopt;
  return b.U;
}

// The crossing of the target nearest to the present value, refined; none where none lands.
std::optional<double> CTuner::Crossing(const std::vector<SSample>& samples) {
  std::vector<std::pair<SSample, SSample>> brackets;
  for (size_t i = 0; i + 1 < samples.size(); ++i) {
    const SSample &a = samples[i], &b = samples[i + 1];
    if (!a.Q || !b.Q) continue;
    if (*a.Q == target.Value) return a.U;
    if ((*a.Q < target.Value) != (*b.Q < target.Value)) brackets.emplace_back(a, b);
  }
  if (!samples.empty() && samples.back().Q == target.Value) return samples.back().U;
  std::sort(brackets.begin(), brackets.end(), [this](const auto& x, const auto& y) {
    return std::fabs(x.first.U + x.second.U - 2 * u0) < std::fabs(y.first.U + y.second.U - 2 * u0);
  });
  for (const auto& [a, b] : brackets)
    if (const std::optional<double> u = Refine(a, b)) return u;
  return std::nullopt;
}

// Golden-section search for the least |Γ| between the neighbours of the best scan value.
double CTuner::BestMatch(const std::vector<SSample>& samples) {
  size_t best = samples.size();
  for (size_t i = 0; i < samples.size(); ++i)
    if (samples[i].Q && (best == samples.size() || *samples[i].Q < *samples[best].Q)) best = i;
  double lo = samples[best > 0 ? best - 1 : best].U;
  double hi = samples[std::min(best + 1, samples.size() - 1)].U;
  const auto cost = [this](double u) { return ReadAt(u).value_or(HUGE_VAL); };
  const double ratio = (std::sqrt(5.0) - 1) / 2;
  double x1 = hi - ratio * (hi - lo), x2 = lo + ratio * (hi - lo);
  double f1 = cost(x1), f2 = cost(x2);
  while (hi - lo > SolveTolerance * std::max(1.0, std::fabs(lo))) {
    if (f1 <= f2) {
      hi = x2, x2 = x1, f2 = f1;
      x1 = hi - ratio * (hi - lo), f1 = cost(x1);
    } else {
      lo = x1, x1 = x2, f1 = f2;
      x2 = lo + ratio * (hi - lo), f2 = cost(x2);
    }
  }
  const double u = f1 <= f2 ? x1 : x2;
  return std::min(f1, f2) <= *samples[best].Q ? u : samples[best].U;
}

STuneResult CTuner::Solve() {
  STuneResult result;
  const std::vector<SSample> samples = Scan();
  for (const SSample& s : samples) {
    if (!s.Q) continue;
    result.Low = result.Known ? std::min(result.Low, *s.Q) : *s.Q;
    result.High = result.Known ? std::max(result.High, *s.Q) : *s.Q;
    result.Known = true;
  }
  if (!result.Known) return result;
  const std::optional<double> u =
      target.Kind == TuneKind::Match ? BestMatch(samples) : Crossing(samples);
  if (!u) return result;
  const std::optional<double> reached = ReadAt(*u);
  if (!reached) return result;
  result.Exact = ValueOf(*u);
  result.Reached = *reached;
  result.Low = std::min(result.Low, *reached);
  result.High = std::max(result.High, *reached);
  return result;
}

}  // namespace

STuneResult TuneToTarget(CCmps& cmps, const CCmp& meter, CCmp& part, int param,
                         const STuneTarget& target, const std::atomic<bool>* stop) {
  CTuner tuner(cmps, meter, part, param, target, stop);
  if (!tuner.Usable()) return {};
  STuneResult result = tuner.Solve();
  if (tuner.Stopped()) {
    result = {};
    result.Stopped = true;
  }
  return result;
}

std::optional<double> TuneQuantity(CCmps& cmps, const CCmp& meter, CCmp& part, int param,
                                   const STuneTarget& target, double value) {
  CTuner tuner(cmps, meter, part, param, target);
  if (!tuner.Usable()) return std::nullopt;
  return tuner.Read(value, target.FromHertz);
}
