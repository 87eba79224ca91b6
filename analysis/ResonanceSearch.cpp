// The resonance search: the points that bracket every change of sign of X, the roots refined by
// direct solves, and each resonance's Q from its -3 dB band.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>

#include "analysis/CCalc.h"
#include "analysis/Response.h"
#include "components/Kinds.h"

namespace {

constexpr double Infinite = std::numeric_limits<double>::infinity();
constexpr double Pi = std::numbers::pi;
// A root is bracketed this tightly, relative to the frequency.
constexpr double RootWidth = 1e-11;
// Band edges are bracketed this tightly, relative to their distance from the resonance.
constexpr double EdgeWidth = 1e-8;
// Relative step of the central difference behind the slope Q.
constexpr long double SlopeStep = 1e-6L;
// A band edge is looked for no further than this factor from its resonance.
constexpr double EdgeReach = 1e3;
// Each step of the walk to a band edge goes this much further than the last.
constexpr double EdgeStride = 1.25;
// A resonance lies on an axis root when they agree this closely.
constexpr double SameRoot = 1e-6;
// Steps narrower than this (relative) are not split further.
constexpr double NarrowestStep = 1e-9;
// A lossless pole is stepped over between points this far (relative) either side of it.
constexpr double PoleGuard = 1e-9;
// A root's turn over a step is bounded by the step times its fastest rate up to this turn.
constexpr double CoarseTurn = 0.01;
// Slack on the phase bounds for the rounding of the roots.
constexpr double PhaseSlack = 1e-6;
// Without natural frequencies a step is split while the phase turns more than this, or |Z|
// changes by more than a factor of two, down to this relative width.
constexpr double MaxTurn = 0.3;
constexpr double NarrowestGuessStep = 1e-7;

// +1 inductive, -1 capacitive, 0 for a reactance lost in the rounding of the resistance.
int ReactanceSign(long double r, long double x) {
  if (std::fabs(x) <= 1e-12L * std::fabs(r) || x == 0) return 0;
  return x > 0 ? 1 : -1;
}

int ReactanceSign(const SResponsePoint& p) {
  return p.Solved ? ReactanceSign(p.R, p.X) : 0;
}

// What a reading says about the change of sign sought; none where it says nothing, which ends
// the search there.
using SignedReading = std::function<std::optional<long double>(const std::optional<Complex>&)>;

// A search that needs one reading at a time: Next names the frequency it needs (none once it
// has its answer), Take hands it the reading there.
class CStepSearch {
 public:
  virtual ~CStepSearch() = default;
  virtual std::optional<double> Next() = 0;
  virtual void Take(const std::optional<Complex>& z) = 0;
};

// Reads the impedance at several frequencies, together where that is cheaper.
struct SReader {
  const ImpedanceFunction& One;
  const ImpedanceBatch* Many = nullptr;
  const std::atomic<bool>* Cancel = nullptr;

  bool Cancelled() const { return Cancel != nullptr && Cancel->load(std::memory_order_relaxed); }
  void Read(const std::vector<double>& hertz, std::vector<std::optional<Complex>>& out) const {
    if (Many != nullptr) {
      (*Many)(hertz, out);
      return;
    }
    out.resize(hertz.size());
    for (size_t i = 0; i < hertz.size(); ++i) out[i] = One(hertz[i]);
  }
};

// Runs the searches side by side, the frequencies they ask for in one round read together.
// False when cancelled.
bool RunTogether(const std::vector<CStepSearch*>& searches, const SReader& reader) {
  std::vector<CStepSearch*> asking;
  std::vector<double> hertz;
  std::vector<std::optional<Complex>> readings;
  for (;;) {
    if (reader.Cancelled()) return false;
    asking.clear();
    hertz.clear();
    for (CStepSearch* s : searches)
      if (const std::optional<double> f = s->Next()) {
        asking.push_back(s);
        hertz.push_back(*f);
      }
    if (asking.empty()) return true;
    reader.Read(hertz, readings);
    for (size_t i = 0; i < asking.size(); ++i) asking[i]->Take(readings[i]);
  }
}

// Narrows [lo, hi], over which g changes sign (from gLo to gHi), to `width` hertz: regula
// falsi with the Illinois correction, which needs a handful of solves on a smooth crossing,
// and a halving whenever the bracket stops shrinking (a pole, or a kink).
class CCrossing : public CStepSearch {
 public:
  CCrossing(SignedReading g, double lo, double hi, long double gLo, long double gHi, double width)
      : g(std::move(g)), lo(lo), hi(hi), gLo(gLo), gHi(gHi), width(width) {}

  std::optional<double> Next() override {
    if (done) return std::nullopt;
    if (round >= 300 || !(hi - lo > width)) return Finish(lo + (hi - lo) / 2);
    span = hi - lo;
    mid = static_cast<double>(lo + span * (gLo / (gLo - gHi)));
    if (slow >= 2 || !(mid > lo && mid < hi)) {
      mid = lo + span / 2;
      slow = 0;
    }
    if (mid <= lo || mid >= hi) return Finish(lo + (hi - lo) / 2);
    return mid;
  }

  void Take(const std::optional<Complex>& z) override {
    const std::optional<long double> v = g(z);
    // Interpolation that approaches from one side has settled once its steps are this small.
    if (!v || *v == 0 || std::fabs(mid - previous) < width / 4) {
      Finish(mid);
      return;
    }
    previous = mid;
    if ((*v < 0) == (gLo < 0)) {
      lo = mid;
      gLo = *v;
      if (side == -1) gHi /= 2;
      side = -1;
    } else {
      hi = mid;
      gHi = *v;
      if (side == 1) gLo /= 2;
      side = 1;
    }
    slow = hi - lo > span / 2 ? slow + 1 : 0;
    ++round;
  }

  double Result() const { return result; }

 private:
  std::nullopt_t Finish(double f) {
    done = true;
    result = f;
    return std::nullopt;
  }

  SignedReading g;
  double lo, hi;
  long double gLo, gHi;
  double width;
  int side = 0, slow = 0, round = 0;
  double previous = std::numeric_limits<double>::quiet_NaN();
  double span = 0, mid = 0, result = 0;
  bool done = false;
};

// The change of sign of X between lo and hi, found on X / |Z|, the sine of the angle of Z,
// which stays bounded and nearly straight through a resonance, series or parallel. A frequency
// without a solution is taken as the resonance itself: that is a lossless pole.
CCrossing RootSearch(double lo, double hi, Complex zLo, Complex zHi) {
  const auto sine = [](Complex v) { return v.imag() / std::abs(v); };
  SignedReading reactance = [sine](const std::optional<Complex>& v) -> std::optional<long double> {
    if (!v || ReactanceSign(v->real(), v->imag()) == 0) return std::nullopt;
    return sine(*v);
  };
  return CCrossing(std::move(reactance), lo, hi, sine(zLo), sine(zHi), RootWidth * lo);
}

struct SEdgeSearch {
  double F0 = 0;
  long double Mag0 = 0;
  long double Target = 0;
  bool Series = true;
  double Stride = 0;  // the first step away from the resonance
};

// Walks from the resonance towards `bound` (a neighbouring resonance, or the reach) in steps
// that grow from the expected half band, to the first point past the -3 dB level, and refines
// the edge there; none when the level is not crossed before the bound.
class CEdgeWalk : public CStepSearch {
 public:
  CEdgeWalk(const SEdgeSearch& s, double bound)
      : s(s),
        bound(bound),
        direction(bound > s.F0 ? 1 : -1),
        inside(s.F0),
        insideMag(s.Mag0),
        step(s.Stride) {}

  std::optional<double> Next() override {
    if (done) return std::nullopt;
    if (crossing) {
      const std::optional<double> f = crossing->Next();
      if (!f) Finish(crossing->Result());
      return f;
    }
    if (round >= 400) return Finish(std::nullopt);
    at = s.F0 + direction * step;
    last = direction > 0 ? at >= bound : at <= bound;
    if (last) at = bound;
    return at;
  }

  void Take(const std::optional<Complex>& v) override {
    if (crossing) {
      crossing->Take(v);
      return;
    }
    if (!v) {
      Finish(std::nullopt);
      return;
    }
    const long double mag = std::abs(*v);
    if (s.Series ? mag >= s.Target : mag <= s.Target) {
      Refine(at, mag);
      return;
    }
    if (last) {
      Finish(std::nullopt);
      return;
    }
    inside = at;
    insideMag = mag;
    ++round;
    step *= EdgeStride;
  }

  std::optional<double> Edge() const { return edge; }

 private:
  std::nullopt_t Finish(std::optional<double> found) {
    done = true;
    edge = found;
    return std::nullopt;
  }

  // The frequency between `inside` (on the resonance's side) and `outside` where |Z| crosses
  // the target. Q is a frequency over the distance of two edges: each edge is found to a small
  // part of its distance from the resonance.
  void Refine(double outside, long double outsideMag) {
    const double width = EdgeWidth * std::fabs(outside - s.F0);
    // Beyond the edge counts as positive; no solution counts as beyond.
    const long double sign = s.Series ? 1 : -1;
    const long double target = s.Target;
    const auto level = [sign, target](long double mag) { return sign * std::log(mag / target); };
    SignedReading excess = [level](const std::optional<Complex>& v) -> std::optional<long double> {
      if (!v) return 1.0L;
      const long double d = level(std::abs(*v));
      return d == 0 ? std::nullopt : std::optional<long double>(d);
    };
    const long double in = level(insideMag), out = level(outsideMag);
    if (in == 0) {
      Finish(inside);
    } else if (out == 0) {
      Finish(outside);
    } else if (in > 0 || out < 0) {
      Finish(inside + (outside - inside) / 2);
    } else if (outside > inside) {
      crossing.emplace(std::move(excess), inside, outside, in, out, width);
    } else {
      crossing.emplace(std::move(excess), outside, inside, out, in, width);
    }
  }

  SEdgeSearch s;
  double bound;
  int direction;
  double inside;
  long double insideMag;
  double step;
  int round = 0;
  double at = 0;
  bool last = false, done = false;
  std::optional<CCrossing> crossing;
  std::optional<double> edge;
};

// The two frequencies of the central difference behind the slope Q.
std::array<double, 2> SlopePoints(double f0) {
  return {static_cast<double>(f0 * (1 - SlopeStep)), static_cast<double>(f0 * (1 + SlopeStep))};
}

// Q from the slope of the reactance (series) or of the susceptance (parallel) at f0, from the
// readings at the slope points.
double SlopeQ(double f0, Complex z0, bool series, const std::optional<Complex>& zb,
              const std::optional<Complex>& za) {
  const auto [below, above] = SlopePoints(f0);
  if (!zb || !za) return Infinite;
  const Complex w0 = series ? z0 : 1.0L / z0;
  const Complex wb = series ? *zb : 1.0L / *zb;
  const Complex wa = series ? *za : 1.0L / *za;
  if (w0.real() == 0) return Infinite;
  const long double slope = (wa.imag() - wb.imag()) / (static_cast<long double>(above) - below);
  return static_cast<double>(std::fabs(f0 * slope / (2 * w0.real())));
}

// The root behind a resonance: a zero for a series one, a pole for a parallel one, the nearest.
const std::complex<double>* RootAt(const SNaturalFrequencies* natural, double f0, bool series) {
  if (natural == nullptr || !natural->Known) return nullptr;
  const std::complex<double>* best = nullptr;
  for (const std::complex<double>& r : series ? natural->Zeros : natural->Poles)
    if (best == nullptr || std::fabs(r.imag() - f0) < std::fabs(best->imag() - f0)) best = &r;
  return best;
}

struct SNeighbours {
  double Below = 0, Above = 0;  // the resonances either side, or the reach of the edge search
};

// One resonance on its way through the characterisation; `open` until its Q is settled.
struct SCharacterising {
  SResonance Res;
  SNeighbours Bounds;
  const std::complex<double>* Root = nullptr;
  Complex Z0;
  std::optional<double> Slope;
  std::optional<SEdgeSearch> Search;
  std::optional<double> Lower, Upper;
  bool Open = true;
};

// Reads the impedance at `want(c)` for every open resonance that wants a reading, together,
// and hands each its readings.
template <class Want, class Use>
bool ReadFor(std::vector<SCharacterising>& all, const SReader& reader, Want want, Use use) {
  std::vector<double> hertz;
  std::vector<size_t> owner;
  for (size_t i = 0; i < all.size(); ++i)
    if (all[i].Open)
      for (double f : want(all[i])) {
        hertz.push_back(f);
        owner.push_back(i);
      }
  if (reader.Cancelled()) return false;
  std::vector<std::optional<Complex>> readings;
  if (!hertz.empty()) reader.Read(hertz, readings);
  for (size_t i = 0; i < all.size(); ++i) {
    if (!all[i].Open) continue;
    std::vector<std::optional<Complex>> own;
    for (size_t k = 0; k < owner.size(); ++k)
      if (owner[k] == i) own.push_back(readings[k]);
    use(all[i], own);
  }
  return true;
}

// The reading at the resonance, and the first step of its edge walks: most of the half band
// that the root promises, or else the slope.
bool PrepareEdgeWalks(std::vector<SCharacterising>& all, const SReader& reader) {
  const auto none = [](const SCharacterising&) { return std::vector<double>{}; };
  const auto own = [](const SCharacterising& c) { return std::vector<double>{c.Res.Hertz}; };
  if (!ReadFor(all, reader, own, [](SCharacterising& c, const auto& z) {
        c.Open = z[0].has_value();
        if (!c.Open) return;
        c.Z0 = *z[0];
        const long double mag = std::abs(c.Z0);
        c.Res.Magnitude = static_cast<double>(mag);
        c.Open = !((c.Res.Series && mag == 0) || !std::isfinite(c.Res.Magnitude));
      }))
    return false;
  const auto nearRoot = [](const SCharacterising& c) {
    const double f0 = c.Res.Hertz;
    return c.Root != nullptr && std::fabs(c.Root->imag() - f0) < 4 * std::fabs(c.Root->real());
  };
  const auto slopePoints = [&](const SCharacterising& c) {
    if (nearRoot(c)) return none(c);
    const auto p = SlopePoints(c.Res.Hertz);
    return std::vector<double>{p[0], p[1]};
  };
  return ReadFor(all, reader, slopePoints, [&](SCharacterising& c, const auto& z) {
    const double f0 = c.Res.Hertz;
    if (!z.empty()) c.Slope = SlopeQ(f0, c.Z0, c.Res.Series, z[0], z[1]);
    double half = nearRoot(c) ? std::fabs(c.Root->real()) : f0 * 1e-3;
    if (c.Slope && std::isfinite(*c.Slope) && *c.Slope > 0) half = f0 / (2 * *c.Slope);
    const long double mag = std::abs(c.Z0);
    c.Search = SEdgeSearch{f0, mag, c.Res.Series ? mag * std::sqrt(2.0L) : mag / std::sqrt(2.0L),
                           c.Res.Series, std::min(half * 0.8, f0 / 2)};
  });
}

// The walks to the lower edges side by side, then those to the upper edges where a lower one
// was found.
bool WalkToEdges(std::vector<SCharacterising>& all, const SReader& reader) {
  for (bool upper : {false, true}) {
    std::vector<CEdgeWalk> walks;
    std::vector<SCharacterising*> owners;
    for (SCharacterising& c : all)
      if (c.Open && (!upper || c.Lower)) {
        walks.emplace_back(*c.Search, upper ? c.Bounds.Above : c.Bounds.Below);
        owners.push_back(&c);
      }
    std::vector<CStepSearch*> searches;
    for (CEdgeWalk& w : walks) searches.push_back(&w);
    if (!RunTogether(searches, reader)) return false;
    for (size_t i = 0; i < walks.size(); ++i)
      (upper ? owners[i]->Upper : owners[i]->Lower) = walks[i].Edge();
  }
  return true;
}

// Q of every resonance from its -3 dB band, or from the slope where there is no band; a
// resonance on a root on the axis, or with a loss under the solver's own cancellation
// tolerance, is lossless: a pole or a zero of Z itself.
bool Characterise(std::vector<SCharacterising>& all, const SReader& reader,
                  const SNaturalFrequencies* natural) {
  for (SCharacterising& c : all) {
    const double f0 = c.Res.Hertz;
    c.Root = RootAt(natural, f0, c.Res.Series);
    c.Open =
        !(c.Root != nullptr && OnAxis(*c.Root) && std::fabs(c.Root->imag() - f0) <= SameRoot * f0);
  }
  if (!PrepareEdgeWalks(all, reader) || !WalkToEdges(all, reader)) return false;
  const auto slopeStill = [](const SCharacterising& c) {
    if (c.Slope || (c.Lower && c.Upper && *c.Upper > *c.Lower)) return std::vector<double>{};
    const auto p = SlopePoints(c.Res.Hertz);
    return std::vector<double>{p[0], p[1]};
  };
  return ReadFor(all, reader, slopeStill, [](SCharacterising& c, const auto& z) {
    const double f0 = c.Res.Hertz;
    if (c.Lower && c.Upper && *c.Upper > *c.Lower) {
      c.Res.Q = f0 / (*c.Upper - *c.Lower);
    } else {
      c.Res.Q = c.Slope ? *c.Slope : SlopeQ(f0, c.Z0, c.Res.Series, z[0], z[1]);
      c.Res.QFromSlope = true;
    }
    if (c.Res.Q * CSparseLu::CancelTolerance > 1)
      c.Res = {f0, c.Res.Series, Infinite, false, c.Res.Series ? 0.0 : Infinite};
  });
}

struct SRoot {
  double Sigma = 0;  // the distance from the axis; negative for a growing mode
  double Nu = 0;     // where it lies along the axis
  bool Zero = false;
  bool Axis = false;
};

std::vector<SRoot> RootTerms(const SNaturalFrequencies& natural) {
  std::vector<SRoot> roots;
  for (bool zero : {false, true})
    for (const std::complex<double>& r : zero ? natural.Zeros : natural.Poles)
      roots.push_back({-r.real(), r.imag(), zero, OnAxis(r)});
  return roots;
}

// Over [a, b], the phase of Z is a constant plus the angles of jf - root of the zeros, minus
// those of the poles; each angle moves one way only, at a rate sigma / (sigma² + (f - nu)²).
struct SPhaseBounds {
  double Rise = 0, Fall = 0;         // how far the terms that raise or lower the phase move it
  double RateLow = 0, RateHigh = 0;  // bounds on the rate of the phase
};

// How a step [a, b] is settled: X changes sign at most once inside (Settled), a lossless pole
// inside is to be stepped over (Guard), or the step is split at `At`.
struct SStepVerdict {
  enum { Settled, Guard, Split } Kind = Settled;
  double At = 0;
};

// Judges steps by the roots' bounds on the phase. Neighbouring steps share an end, and a split
// step shares both with its halves: the rate and the angle of every root's term at the last few
// ends are kept, so that each is computed once.
class CPhaseJudge {
 public:
  explicit CPhaseJudge(std::vector<SRoot> all) : roots(std::move(all)) {
    for (size_t k = 0; k < roots.size(); ++k) {
      const SRoot& r = roots[k];
      sigma.push_back(r.Sigma);
      nu.push_back(r.Nu);
      peak.push_back(Rate(r.Sigma, r.Nu, r.Nu));
      if (r.Axis)
        axis.push_back(r.Nu);
      else  // a zero raises the phase and a pole lowers it, the other way round for a growing mode
        terms.push_back({k, r.Zero, r.Zero == (r.Sigma > 0)});
    }
  }

  size_t Count() const { return roots.size(); }

  SStepVerdict Judge(const SResponsePoint& a, const SResponsePoint& b) {
    const double fa = a.Hertz, fb = b.Hertz;
    if (!a.Solved || !b.Solved || !(fb > fa * (1 + NarrowestStep))) return {};
    for (double f : axis)
      if (f > fa && f < fb) return {SStepVerdict::Guard, f};
    const SPhaseBounds p = Bounds(fa, fb);
    // The phase cannot reach a multiple of pi: X keeps its sign.
    const double theta = std::atan2(a.X, a.R);
    const double low = theta - p.Fall - PhaseSlack, high = theta + p.Rise + PhaseSlack;
    if (std::ceil(low / Pi) * Pi > high) return {};
    // Monotonic over less than pi: it passes a multiple of pi once at most.
    if (p.Rise + p.Fall < Pi - PhaseSlack && (p.RateLow > 0 || p.RateHigh < 0)) return {};
    // Split at the sharpest root inside, where the bounds are loosest, or in the middle.
    double at = std::sqrt(fa * fb);
    double sharpest = Infinite;
    for (const SRoot& r : roots)
      if (r.Nu > fa * (1 + NarrowestStep) && r.Nu < fb * (1 - NarrowestStep) &&
          std::fabs(r.Sigma) < sharpest) {
        sharpest = std::fabs(r.Sigma);
        at = r.Nu;
      }
    return {SStepVerdict::Split, at};
  }

 private:
  struct SEnd {
    double F = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> Rate, Angle;  // an angle not computed yet is NaN
  };

  static double Rate(double s, double n, double f) { return s / (s * s + (f - n) * (f - n)); }

  // The kept end at `f`, made in a place other than `keep`'s where it is not kept yet.
  SEnd& End(double f, const SEnd* keep = nullptr) {
    for (SEnd& e : ends)
      if (e.F == f) return e;
    if (&ends[next] == keep) next = (next + 1) % ends.size();
    SEnd& e = ends[next];
    next = (next + 1) % ends.size();
    e.F = f;
    e.Rate.resize(roots.size());
    e.Angle.assign(roots.size(), std::numeric_limits<double>::quiet_NaN());
    for (size_t k = 0; k < roots.size(); ++k) e.Rate[k] = Rate(sigma[k], nu[k], f);
    return e;
  }

  double Angle(SEnd& e, size_t k) const {
    if (std::isnan(e.Angle[k])) e.Angle[k] = std::atan((e.F - nu[k]) / sigma[k]);
    return e.Angle[k];
  }

  SPhaseBounds Bounds(double a, double b) {
    SPhaseBounds out;
    SEnd& ea = End(a);
    SEnd& eb = End(b, &ea);
    for (const STerm& t : terms) {
      const size_t k = t.Root;
      const double ra = ea.Rate[k], rb = eb.Rate[k];
      double low = std::min(ra, rb), high = std::max(ra, rb);
      if (nu[k] > a && nu[k] < b) {
        low = std::min(low, peak[k]);
        high = std::max(high, peak[k]);
      }
      // The step times the fastest rate bounds the turn; where that bound is coarse, the angles.
      double turn = (b - a) * std::max(std::fabs(low), std::fabs(high));
      if (turn > CoarseTurn) turn = std::fabs(Angle(eb, k) - Angle(ea, k));
      (t.Rises ? out.Rise : out.Fall) += turn;
      out.RateLow += t.Zero ? low : -high;
      out.RateHigh += t.Zero ? high : -low;
    }
    return out;
  }

  // The roots off the axis (an axis root is a step, which the caller steps over), in order.
  struct STerm {
    size_t Root;
    bool Zero, Rises;
  };
  std::vector<SRoot> roots;
  std::vector<double> sigma, nu, peak, axis;
  std::vector<STerm> terms;
  std::array<SEnd, 3> ends;
  size_t next = 0;
};

SStepVerdict JudgeByTurn(const SResponsePoint& a, const SResponsePoint& b) {
  if (!a.Solved || !b.Solved || !(b.Hertz > a.Hertz * (1 + NarrowestGuessStep))) return {};
  const Complex za(a.R, a.X), zb(b.R, b.X);
  const long double turn = std::fabs(std::arg(zb / za));
  const long double growth = std::fabs(std::log(std::abs(zb) / std::abs(za)));
  if (turn <= MaxTurn && growth <= std::log(2.0L)) return {};
  return {SStepVerdict::Split, std::sqrt(a.Hertz * b.Hertz)};
}

class CBracketer {
 public:
  CBracketer(const ImpedanceFunction& z, const SNaturalFrequencies& natural,
             const std::atomic<bool>* cancel, size_t points)
      : z(z), known(natural.Known), judge(RootTerms(natural)), cancel(cancel) {
    budget = known ? 64 + 32 * static_cast<long>(judge.Count()) : 4 * static_cast<long>(points);
  }

  // Appends the points that go strictly between a and b, in order.
  void Between(const SResponsePoint& a, const SResponsePoint& b, std::vector<SResponsePoint>& out) {
    if (budget <= 0 || (cancel != nullptr && cancel->load(std::memory_order_relaxed))) return;
    const SStepVerdict v = known ? judge.Judge(a, b) : JudgeByTurn(a, b);
    if (v.Kind == SStepVerdict::Settled) return;
    if (v.Kind == SStepVerdict::Split) {
      const SResponsePoint m = Solve(v.At);
      Between(a, m, out);
      out.push_back(m);
      Between(m, b, out);
      return;
    }
    // Points close either side of a lossless pole: X changes sign once between them.
    const double below = v.At * (1 - PoleGuard), above = v.At * (1 + PoleGuard);
    const SResponsePoint lo = below > a.Hertz ? Solve(below) : a;
    const SResponsePoint hi = above < b.Hertz ? Solve(above) : b;
    if (below > a.Hertz) {
      Between(a, lo, out);
      out.push_back(lo);
    }
    if (above < b.Hertz) {
      out.push_back(hi);
      Between(hi, b, out);
    }
  }

 private:
  SResponsePoint Solve(double f) {
    --budget;
    const std::optional<Complex> v = z(f);
    if (!v) return {f, false, 0, 0};
    return {f, true, static_cast<double>(v->real()), static_cast<double>(v->imag())};
  }

  const ImpedanceFunction& z;
  bool known;
  CPhaseJudge judge;
  const std::atomic<bool>* cancel;
  long budget = 0;
};

}  // namespace

std::vector<double> WithNaturalPoints(const std::vector<double>& hertz,
                                      const SNaturalFrequencies& natural) {
  if (!natural.Known || hertz.size() < 2 || !std::is_sorted(hertz.begin(), hertz.end()))
    return hertz;
  // Grid points first in each tie, so that they all stay.
  std::vector<std::pair<double, int>> all;
  for (double f : hertz) all.emplace_back(f, 0);
  const auto add = [&](double f) {
    if (f > hertz.front() && f < hertz.back()) all.emplace_back(f, 1);
  };
  // A root whose band spans a step of the grid is drawn by the grid already.
  const double step =
      std::pow(hertz.back() / hertz.front(), 1.0 / static_cast<double>(hertz.size() - 1)) - 1;
  for (const SRoot& r : RootTerms(natural)) {
    // A lossless pole is drawn as the gap at its resonance.
    if (r.Nu <= 0 || (r.Axis && !r.Zero) || std::fabs(r.Sigma) > step * r.Nu) continue;
    add(r.Nu);
    if (!r.Axis && std::fabs(r.Sigma) < r.Nu) {
      add(r.Nu - std::fabs(r.Sigma));
      add(r.Nu + std::fabs(r.Sigma));
    }
  }
  std::sort(all.begin(), all.end());
  std::vector<double> out;
  for (const auto& [f, extra] : all)
    if (extra == 0 || out.empty() || f > out.back() * (1 + NarrowestStep)) out.push_back(f);
  return out;
}

std::vector<SResponsePoint> BracketPoints(const std::vector<SResponsePoint>& points,
                                          const ImpedanceFunction& impedance,
                                          const SNaturalFrequencies& natural,
                                          const std::atomic<bool>* cancel) {
  if (points.empty()) return points;
  CBracketer bracketer(impedance, natural, cancel, points.size());
  std::vector<SResponsePoint> out{points.front()};
  for (size_t i = 1; i < points.size(); ++i) {
    bracketer.Between(points[i - 1], points[i], out);
    out.push_back(points[i]);
  }
  return out;
}

bool ReactanceKeepsItsSign(const CCmps& cmps) {
  bool capacitive = false, inductive = false;
  for (int i = 0; i < cmps.Count(); ++i) {
    const CCmp* cmp = cmps.At(i);
    if (const auto* r = dynamic_cast<const CElemR*>(cmp)) {
      if (!(r->Values[0].Value >= 0)) return false;
    } else if (const auto* c = dynamic_cast<const CElemC*>(cmp)) {
      if (!(c->Values[0].Value > 0)) return false;
      capacitive = true;
    } else if (const auto* l = dynamic_cast<const CElemL*>(cmp)) {
      if (!(l->Values[0].Value > 0)) return false;
      inductive = true;
    } else if (const auto* lc = dynamic_cast<const CElemLC*>(cmp)) {
      const SParam* v = lc->Values;
      if (!(v[0].Value > 0 && v[1].Value > 0 && std::fabs(v[2].Value) <= 1)) return false;
      inductive = true;
    }
  }
  return !(capacitive && inductive);
}

std::vector<SResonance> FindResonances(const std::vector<SResponsePoint>& points,
                                       const ImpedanceFunction& impedance,
                                       const std::atomic<bool>* cancel,
                                       const SNaturalFrequencies* natural,
                                       const ImpedanceBatch* batch) {
  const SReader reader{impedance, batch, cancel};
  // The roots first, refined side by side: each one's band stops at its neighbours.
  std::vector<CCrossing> roots;
  std::vector<bool> series;
  const SResponsePoint* last = nullptr;  // the last point with a definite sign of X
  int lastSign = 0;
  for (const SResponsePoint& p : points) {
    const int s = ReactanceSign(p);
    if (s == 0) continue;
    if (last != nullptr && s != lastSign) {
      roots.push_back(RootSearch(last->Hertz, p.Hertz, {last->R, last->X}, {p.R, p.X}));
      // Capacitive below and inductive above is a series resonance.
      series.push_back(lastSign < 0);
    }
    last = &p;
    lastSign = s;
  }
  std::vector<CStepSearch*> searches;
  for (CCrossing& c : roots) searches.push_back(&c);
  // Each resonance costs dozens of solves; a superseded sweep must not hold the thread.
  if (!RunTogether(searches, reader)) return {};
  std::vector<SCharacterising> all(roots.size());
  for (size_t i = 0; i < roots.size(); ++i)
    all[i].Res = {roots[i].Result(), series[i], Infinite, false, series[i] ? 0.0 : Infinite};
  for (size_t i = 0; i < all.size(); ++i) {
    const double f0 = all[i].Res.Hertz;
    all[i].Bounds = {i > 0 ? all[i - 1].Res.Hertz : f0 / EdgeReach,
                     i + 1 < all.size() ? all[i + 1].Res.Hertz : f0 * EdgeReach};
  }
  if (!Characterise(all, reader, natural)) return {};
  std::vector<SResonance> found;
  for (const SCharacterising& c : all) found.push_back(c.Res);
  return found;
}
