// The window-free measurement: builds and solves the circuit at the chosen frequency and turns
// the impedance between the meter's pins into the two readout texts.
#include "analysis/Measure.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "analysis/CCalc.h"
#include "components/CCmp.h"
#include "value/Value.h"

namespace {

double UnitFactor(int frequencyUnit) {
  switch (frequencyUnit) {
    case 1:
      return 1e3;
    case 2:
      return 1e6;
    case 3:
      return 1e9;
    default:
      return 1.0;
  }
}

// Releases the solver on every way out of the measurement.
struct SReleaseOnExit {
  CCalc& solver;
  ~SReleaseOnExit() { solver.Release(); }
};

}  // namespace

double FrequencyInHertz(double frequency, int frequencyUnit) {
  return frequency * UnitFactor(frequencyUnit);
}

std::optional<std::complex<double>> MeterReading(const CCalc& solver, const CCmp& meter) {
  if (meter.Nodes.size() < 2 || solver.VecRe == nullptr) return std::nullopt;
  const int32_t a = meter.Nodes[0], b = meter.Nodes[1];
  // A meter outside the component list was not numbered with it: nothing to read.
  if (a < 0 || b < 0 || a >= solver.Count || b >= solver.Count) return std::nullopt;
  const size_t ua = static_cast<size_t>(a), ub = static_cast<size_t>(b);
  return std::complex<double>(solver.VecRe[ub] - solver.VecRe[ua],
                              solver.VecIm[ub] - solver.VecIm[ua]);
}

void DisplayValues(int displayMode, double r, double x, double& first, double& second) {
  first = r;
  second = x;
  if (displayMode != 1) return;
  const long double sum = static_cast<long double>(r) * r + static_cast<long double>(x) * x;
  double mag = std::sqrt(static_cast<double>(sum));
  // The square sum of two finite readings can exceed a double; its root cannot.
  if (std::isinf(mag)) mag = static_cast<double>(std::sqrt(sum));
  first = mag;
  second = mag == 0 ? 0.0 : -std::atan2(x, r) * 180 / std::numbers::pi;
}

SReadout MeasureImpedance(CCmps& cmps, const CCmp& meter, CCalc& solver,
                          const SMeasureSettings& settings) {
  SReleaseOnExit release{solver};
  solver.Cmps = &cmps;
  if (!solver.Build()) return {"Error", std::string()};
  // A meter without two numbered pins cannot be read; treat it like a failed build.
  if (meter.Nodes.size() < 2) return {"Error", std::string()};

  const double hertz = FrequencyInHertz(settings.frequency, settings.frequencyUnit);
  const bool solved = solver.Solve(meter.FirstExtra, hertz);
  // Infinite or NaN values in the system make any answer meaningless, even "no solution".
  if (!solver.Finite) return {"Error", std::string()};
  if (!solved) return {"Infinity", std::string()};

  const std::optional<std::complex<double>> z = MeterReading(solver, meter);
  if (!z) return {"Error", std::string()};
  const double r = z->real(), x = z->imag();
  // Overflow inside the solve (infinite or extreme values) must never reach the readout as
  // raw "inf" or "nan" text.
  if (std::isnan(r) || std::isnan(x)) return {"Error", std::string()};
  if (std::isinf(r) || std::isinf(x)) return {"Infinity", std::string()};

  double first = 0, second = 0;
  DisplayValues(settings.displayMode, r, x, first, second);

  // Stored settings can hold any number; the formatter gets a sane digit count.
  const int shown = std::clamp(settings.digits, 2, 8);
  SReadout out;
  out.R = FormatValue(shown, first);
  if (settings.hasReactive) out.X = FormatValue(shown, second);
  out.Z = std::complex<double>(r, x);
  return out;
}
