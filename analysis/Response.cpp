// Sweeps, resonance search and the text exports of a frequency response.
#include "analysis/Response.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>

#include "analysis/CCalc.h"
#include "analysis/Measure.h"
#include "analysis/Sweep.h"
#include "components/CCmp.h"

namespace {

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

ImpedanceFunction MeterImpedance(CCmps& cmps, const CCmp& meter, CCalc& solver) {
  return [&cmps, &meter, &solver](double hertz) -> std::optional<Complex> {
    const SImpedance z = ImpedanceAt(cmps, meter, solver, hertz);
    if (!z) return std::nullopt;
    return Complex(z->real(), z->imag());
  };
}

namespace {

std::vector<SResponsePoint> SolvePoints(CImpedanceProbe& probe, const std::vector<double>& hertz,
                                        const std::atomic<bool>* cancel) {
  std::vector<SResponsePoint> points;
  points.reserve(hertz.size());
  for (size_t i = 0; i < hertz.size(); ++i) {
    if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) break;
    const double f = hertz[i];
    SResponsePoint p{f, false, 0, 0};
    if (const SImpedance z = probe.AtListed(hertz, i)) p = {f, true, z->real(), z->imag()};
    points.push_back(p);
  }
  return points;
}

// A step of the trace is split while Z moves along it by more than this part of the geometric
// mean of |Z| at its ends. The chord that the step draws on a Smith chart is then shorter than
// this (in radii of the chart) whatever the reference impedance: for loads with R >= 0,
// |Γb - Γa| = 2 Z0 |Zb - Za| / |(Za + Z0)(Zb + Z0)| <= |Zb - Za| / sqrt(|Za| |Zb|).
constexpr double SmoothChord = 0.04;
// A step is halved (on the logarithmic axis) at most this often, and never below a millionth.
constexpr int SmoothDepth = 40;

class CSmoother {
 public:
  CSmoother(const ImpedanceFunction& z, const std::atomic<bool>* cancel, size_t count)
      : z(z), cancel(cancel), budget(static_cast<long>(count) + 200) {}

  // The points strictly between `a` and `b` that keep the steps short, in order, into `out`.
  void Between(const SResponsePoint& a, const SResponsePoint& b, int depth,
               std::vector<SResponsePoint>& out) {
    if (depth == 0 || budget <= 0 || !a.Solved || !b.Solved || !(b.Hertz > a.Hertz * 1.000001))
      return;
    if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) return;
    const double moved = std::hypot(b.R - a.R, b.X - a.X);
    const double mean = std::sqrt(std::hypot(a.R, a.X) * std::hypot(b.R, b.X));
    if (!(moved > SmoothChord * mean)) return;
    --budget;
    const double f = std::sqrt(a.Hertz * b.Hertz);
    const std::optional<Complex> v = z(f);
    const SResponsePoint m{f, v.has_value(), v ? static_cast<double>(v->real()) : 0.0,
                           v ? static_cast<double>(v->imag()) : 0.0};
    Between(a, m, depth - 1, out);
    out.push_back(m);
    Between(m, b, depth - 1, out);
  }

 private:
  const ImpedanceFunction& z;
  const std::atomic<bool>* cancel;
  long budget;
};

// The points with more solved between neighbours where Z moves far, so that no step of the
// trace draws a long chord across a loop on the Smith chart.
std::vector<SResponsePoint> SmoothPoints(const std::vector<SResponsePoint>& points,
                                         const ImpedanceFunction& z,
                                         const std::atomic<bool>* cancel) {
  if (points.empty()) return points;
  CSmoother smoother(z, cancel, points.size());
  std::vector<SResponsePoint> out{points.front()};
  for (size_t i = 1; i < points.size(); ++i) {
    smoother.Between(points[i - 1], points[i], SmoothDepth, out);
    out.push_back(points[i]);
  }
  return out;
}

// The plotted points gain each resonance: its peak or notch as solved, a lossless pole as a gap.
void AddResonancePoints(SResponse& response, const ImpedanceFunction& z) {
  std::vector<SResponsePoint> at;
  for (const SResonance& r : response.Resonances) {
    const std::optional<Complex> v = std::isinf(r.Magnitude) ? std::nullopt : z(r.Hertz);
    at.push_back({r.Hertz, v.has_value(), v ? static_cast<double>(v->real()) : 0.0,
                  v ? static_cast<double>(v->imag()) : 0.0});
  }
  std::vector<SResponsePoint> merged;
  merged.reserve(response.Points.size() + at.size());
  std::merge(response.Points.begin(), response.Points.end(), at.begin(), at.end(),
             std::back_inserter(merged),
             [](const SResponsePoint& a, const SResponsePoint& b) { return a.Hertz < b.Hertz; });
  response.Points = std::move(merged);
}

}  // namespace

SResponse SweepMeter(CCmps& cmps, const CCmp& meter, CCalc& solver,
                     const std::vector<double>& hertz, const std::atomic<bool>* cancel,
                     bool smooth) {
  SResponse response;
  const auto cancelled = [cancel] {
    return cancel != nullptr && cancel->load(std::memory_order_relaxed);
  };
  // One build serves the sweep and the search of its resonances.
  CImpedanceProbe probe(cmps, meter, solver);
  const ImpedanceFunction z = [&probe](double f) -> std::optional<Complex> {
    const SImpedance v = probe.At(f);
    if (!v) return std::nullopt;
    return Complex(v->real(), v->imag());
  };
  // Where X keeps one sign there is nothing to search; elsewhere the natural frequencies say
  // where to look.
  const bool oneSign = ReactanceKeepsItsSign(cmps);
  SNaturalFrequencies natural;
  SMeterPencil pencil;
  if (!oneSign && hertz.size() >= 2 && probe.Pencil(pencil))
    natural = NaturalFrequencies(pencil, std::sqrt(hertz.front() * hertz.back()));
  response.Points = SolvePoints(probe, WithNaturalPoints(hertz, natural), cancel);
  if (smooth) response.Points = SmoothPoints(response.Points, z, cancel);
  if (cancelled()) return response;
  response.Resonances =
      FindResonances(oneSign ? response.Points : BracketPoints(response.Points, z, natural, cancel),
                     z, cancel, &natural);
  if (cancelled()) return response;
  AddResonancePoints(response, z);
  return response;
}

SCircuitCopy CopyCircuit(CCmps& cmps, const CCmp* meter) {
  SCircuitCopy copy;
  copy.Cmps = std::make_unique<CCmps>();
  for (int i = 0; i < cmps.Count(); ++i) {
    CCmp* from = cmps.At(i);
    const int kind = KindOf(from->Type);
    if (kind < 0) continue;  // not made through the kind table: nothing to copy
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
    CParam* slots = to->Params();
    for (int k = 0; k < std::min(from->ParamCount(), to->ParamCount()); ++k)
      *slots[k].Value = from->ParamValues()[k];
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
