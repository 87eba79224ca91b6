// Sweeps, resonance search and the text exports of a frequency response.
#include "analysis/Response.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "analysis/CCalc.h"
#include "analysis/Measure.h"
#include "analysis/Sweep.h"
#include "components/CCmp.h"

namespace {

constexpr double Infinite = std::numeric_limits<double>::infinity();
// A root is bracketed this tightly, relative to the frequency.
constexpr double RootWidth = 1e-11;
// Band edges are bracketed this tightly, relative to their distance from the resonance.
constexpr double EdgeWidth = 1e-9;
// Relative step of the central difference behind the slope Q.
constexpr long double SlopeStep = 1e-6L;

// +1 inductive, -1 capacitive, 0 for a reactance lost in the rounding of the resistance.
int ReactanceSign(long double r, long double x) {
  if (std::fabs(x) <= 1e-12L * std::fabs(r) || x == 0) return 0;
  return x > 0 ? 1 : -1;
}

int ReactanceSign(const SResponsePoint& p) {
  return p.Solved ? ReactanceSign(p.R, p.X) : 0;
}

// A function whose change of sign is sought; none where it has no value, which ends the search
// there.
using SignedFunction = std::function<std::optional<long double>(double)>;

// Narrows [lo, hi], over which g changes sign (from gLo to gHi), to `width` hertz: regula
// falsi with the Illinois correction, which needs a handful of solves on a smooth crossing,
// and a halving whenever the bracket stops shrinking (a pole, or a kink).
double FindCrossing(const SignedFunction& g, double lo, double hi, long double gLo, long double gHi,
                    double width) {
  int side = 0;
  int slow = 0;
  for (int i = 0; i < 300 && hi - lo > width; ++i) {
    const double span = hi - lo;
    double mid = static_cast<double>(lo + span * (gLo / (gLo - gHi)));
    if (slow >= 2 || !(mid > lo && mid < hi)) {
      mid = lo + span / 2;
      slow = 0;
    }
    if (mid <= lo || mid >= hi) break;
    const std::optional<long double> v = g(mid);
    if (!v || *v == 0) return mid;
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
  }
  return lo + (hi - lo) / 2;
}

// The change of sign of X between lo and hi, found on X / |Z|, the sine of the angle of Z,
// which stays bounded and nearly straight through a resonance, series or parallel. A frequency
// without a solution is taken as the resonance itself: that is a lossless pole.
double RefineRoot(const ImpedanceFunction& z, double lo, double hi, Complex zLo, Complex zHi) {
  const auto sine = [](Complex v) { return v.imag() / std::abs(v); };
  const SignedFunction reactance = [&](double f) -> std::optional<long double> {
    const std::optional<Complex> v = z(f);
    if (!v || ReactanceSign(v->real(), v->imag()) == 0) return std::nullopt;
    return sine(*v);
  };
  return FindCrossing(reactance, lo, hi, sine(zLo), sine(zHi), RootWidth * lo);
}

// The frequency between `inside` (on the resonance's side) and `outside` where |Z| crosses
// `target`. Q is a frequency over the distance of two edges: each edge is found to a small
// part of its distance from the resonance at f0.
double RefineEdge(const ImpedanceFunction& z, double f0, double inside, long double insideMag,
                  double outside, long double outsideMag, long double target, bool series) {
  const double width = EdgeWidth * std::fabs(outside - f0);
  // Beyond the edge counts as positive; no solution counts as beyond.
  const long double sign = series ? 1 : -1;
  const auto level = [&](long double mag) { return sign * std::log(mag / target); };
  const SignedFunction excess = [&](double f) -> std::optional<long double> {
    const std::optional<Complex> v = z(f);
    if (!v) return 1.0L;
    const long double d = level(std::abs(*v));
    return d == 0 ? std::nullopt : std::optional<long double>(d);
  };
  // Both ends were solved already, on the sweep or at the resonance.
  const long double in = level(insideMag), out = level(outsideMag);
  if (in == 0) return inside;
  if (out == 0) return outside;
  if (in > 0 || out < 0) return inside + (outside - inside) / 2;
  const bool upward = outside > inside;
  return upward ? FindCrossing(excess, inside, outside, in, out, width)
                : FindCrossing(excess, outside, inside, out, in, width);
}

// Walks the sweep from the resonance in one direction to the first point past the -3 dB
// level and refines the edge there; none when the band leaves the range.
std::optional<double> FindEdge(const std::vector<SResponsePoint>& points,
                               const ImpedanceFunction& z, double f0, long double mag0,
                               long double target, bool series, int direction) {
  const long n = static_cast<long>(points.size());
  long i = direction > 0 ? 0 : n - 1;
  while (i >= 0 && i < n &&
         (direction > 0 ? points[static_cast<size_t>(i)].Hertz <= f0
                        : points[static_cast<size_t>(i)].Hertz >= f0))
    i += direction;
  double inside = f0;
  long double insideMag = mag0;
  for (; i >= 0 && i < n; i += direction) {
    const SResponsePoint& p = points[static_cast<size_t>(i)];
    if (!p.Solved) continue;
    const long double mag = std::hypot(static_cast<long double>(p.R), p.X);
    if (series ? mag >= target : mag <= target)
      return RefineEdge(z, f0, inside, insideMag, p.Hertz, mag, target, series);
    inside = p.Hertz;
    insideMag = mag;
  }
  return std::nullopt;
}

// Q from the slope of the reactance (series) or of the susceptance (parallel) at f0.
double SlopeQ(const ImpedanceFunction& z, double f0, Complex z0, bool series) {
  const double below = static_cast<double>(f0 * (1 - SlopeStep));
  const double above = static_cast<double>(f0 * (1 + SlopeStep));
  const std::optional<Complex> zb = z(below);
  const std::optional<Complex> za = z(above);
  if (!zb || !za) return Infinite;
  const Complex w0 = series ? z0 : 1.0L / z0;
  const Complex wb = series ? *zb : 1.0L / *zb;
  const Complex wa = series ? *za : 1.0L / *za;
  if (w0.real() == 0) return Infinite;
  const long double slope = (wa.imag() - wb.imag()) / (static_cast<long double>(above) - below);
  return static_cast<double>(std::fabs(f0 * slope / (2 * w0.real())));
}

SResonance Characterise(const std::vector<SResponsePoint>& points, const ImpedanceFunction& z,
                        double f0, bool series) {
  SResonance res;
  res.Hertz = f0;
  res.Series = series;
  const std::optional<Complex> z0 = z(f0);
  if (!z0) {
    res.Magnitude = Infinite;
    res.Q = Infinite;
    return res;
  }
  const long double mag = std::abs(*z0);
  res.Magnitude = static_cast<double>(mag);
  // A lossless resonance: no resistance in series, or no conductance in parallel.
  if ((series && mag == 0) || !std::isfinite(res.Magnitude)) {
    res.Q = Infinite;
    return res;
  }
  const long double target = series ? mag * std::sqrt(2.0L) : mag / std::sqrt(2.0L);
  const std::optional<double> lower = FindEdge(points, z, f0, mag, target, series, -1);
  const std::optional<double> upper = FindEdge(points, z, f0, mag, target, series, +1);
  if (lower && upper && *upper > *lower) {
    res.Q = f0 / (*upper - *lower);
  } else {
    res.Q = SlopeQ(z, f0, *z0, series);
    res.QFromSlope = true;
  }
  return res;
}

void AppendNumber(std::string& out, double x) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, x);
  out.append(buffer, result.ptr);
}

}  // namespace

std::vector<double> LogFrequencies(double start, double stop, int count) {
  std::vector<double> hertz;
  if (count <= 0 || !(start > 0) || !(stop > 0)) return hertz;
  hertz.reserve(static_cast<size_t>(count));
  const long double ratio = std::log(static_cast<long double>(stop) / start);
  for (int i = 0; i < count; ++i) {
    const long double t = count == 1 ? 0.0L : static_cast<long double>(i) / (count - 1);
    hertz.push_back(static_cast<double>(start * std::exp(ratio * t)));
  }
  hertz.back() = count == 1 ? start : stop;
  hertz.front() = start;
  return hertz;
}

std::vector<SResonance> FindResonances(const std::vector<SResponsePoint>& points,
                                       const ImpedanceFunction& impedance,
                                       const std::atomic<bool>* cancel) {
  std::vector<SResonance> found;
  const SResponsePoint* last = nullptr;  // the last point with a definite sign of X
  int lastSign = 0;
  for (const SResponsePoint& p : points) {
    const int s = ReactanceSign(p);
    if (s == 0) continue;
    if (last != nullptr && s != lastSign) {
      // Each resonance costs dozens of solves; a superseded sweep must not hold the thread.
      if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) return found;
      const double f0 = RefineRoot(impedance, last->Hertz, p.Hertz, {last->R, last->X}, {p.R, p.X});
      // Capacitive below and inductive above is a series resonance.
      found.push_back(Characterise(points, impedance, f0, lastSign < 0));
    }
    last = &p;
    lastSign = s;
  }
  return found;
}

ImpedanceFunction MeterImpedance(CCmps& cmps, const CCmp& meter, CCalc& solver) {
  return [&cmps, &meter, &solver](double hertz) -> std::optional<Complex> {
    const SImpedance z = ImpedanceAt(cmps, meter, solver, hertz);
    if (!z) return std::nullopt;
    return Complex(z->real(), z->imag());
  };
}

SResponse SweepMeter(CCmps& cmps, const CCmp& meter, CCalc& solver,
                     const std::vector<double>& hertz, const std::atomic<bool>* cancel) {
  SResponse response;
  response.Points.reserve(hertz.size());
  auto cancelled = [cancel] {
    return cancel != nullptr && cancel->load(std::memory_order_relaxed);
  };
  // One build serves the sweep and the search of its resonances.
  CImpedanceProbe probe(cmps, meter, solver);
  for (double f : hertz) {
    if (cancelled()) return response;
    SResponsePoint p;
    p.Hertz = f;
    if (const SImpedance z = probe.At(f)) {
      p.Solved = true;
      p.R = z->real();
      p.X = z->imag();
    }
    response.Points.push_back(p);
  }
  if (cancelled()) return response;
  response.Resonances = FindResonances(
      response.Points,
      [&probe](double f) -> std::optional<Complex> {
        const SImpedance z = probe.At(f);
        if (!z) return std::nullopt;
        return Complex(z->real(), z->imag());
      },
      cancel);
  return response;
}

SCircuitCopy CopyCircuit(CCmps& cmps, const CCmp* meter) {
  SCircuitCopy copy;
  copy.Cmps = std::make_unique<CCmps>();
  for (int i = 0; i < cmps.Count(); ++i) {
    CCmp* from = cmps.At(i);
    int kind = 0;
    while (kind < ElemKindCount && ElemTypes[kind] != from->Type) ++kind;
    if (kind == ElemKindCount) continue;  // not made through the kind table: nothing to copy
    // Made straight from the kind's record: the list's own Create looks for a free id,
    // which would make the copy quadratic in the number of parts.
    std::unique_ptr<CCmp> made = ElemTypes[kind]->Create(ElemTypes[kind]);
    CCmp* to = made.get();
    copy.Cmps->Add(std::move(made));
    to->Id = from->Id;
    to->Reactive = from->Reactive;
    to->SetNodeCount(from->NodeCount);
    to->Nodes = from->Nodes;
    to->FirstExtra = from->FirstExtra;
    // The parameter table is shared by a kind's components and points at the last bound one,
    // so the values are read out before the copy binds it.
    std::vector<SParam> values;
    for (CParam* p = from->Params(); p != nullptr && p->Caption != nullptr; ++p)
      values.push_back(*p->Value);
    size_t k = 0;
    for (CParam* p = to->Params(); p != nullptr && p->Caption != nullptr && k < values.size(); ++p)
      *p->Value = values[k++];
    if (from == meter) copy.Meter = to;
  }
  return copy;
}

std::string ResponseCsv(const std::vector<SResponsePoint>& points) {
  // The phase follows the readout: the negated angle of R + jX.
  std::string out = "f (Hz),R (Ohm),X (Ohm),|Z| (Ohm),phase (deg)\n";
  for (const SResponsePoint& p : points) {
    AppendNumber(out, p.Hertz);
    if (p.Solved) {
      double mag = 0, phase = 0;
      DisplayValues(1, p.R, p.X, mag, phase);
      for (double v : {p.R, p.X, mag, phase}) {
        out += ',';
        AppendNumber(out, v);
      }
    } else {
      out += ",,,,";
    }
    out += '\n';
  }
  return out;
}

std::string ResponseTouchstone(const std::vector<SResponsePoint>& points) {
  std::string out =
      "! One-port impedance between the meter's pins, written by Vorzeta\n"
      "! Frequencies without a finite impedance are left out\n"
      "# Hz Z RI R 1\n";
  for (const SResponsePoint& p : points) {
    if (!p.Solved) continue;
    AppendNumber(out, p.Hertz);
    out += ' ';
    AppendNumber(out, p.R);
    out += ' ';
    AppendNumber(out, p.X);
    out += '\n';
  }
  return out;
}
