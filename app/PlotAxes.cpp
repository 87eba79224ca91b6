// The response plot's scales and axis ticks; see PlotAxes.h.
#include "PlotAxes.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "value/Value.h"

namespace {

// 10^e, exact for the powers a double holds exactly and correctly rounded below one.
double PowerOfTen(int e) {
  return e >= 0 ? std::pow(10.0, e) : 1.0 / std::pow(10.0, -e);
}

int FloorLog10(double x) {
  return static_cast<int>(std::floor(std::log10(x)));
}

// m·10^e for each mantissa m within [low, high] (0 < low), rising, of the decades whose
// exponent is a multiple of `stride`.
std::vector<double> DecadeValues(double low, double high, const std::vector<double>& mantissas,
                                 int stride) {
  std::vector<double> values;
  if (!(low > 0) || !(high >= low) || !std::isfinite(high)) return values;
  const double slack = 1e-12;
  for (int e = FloorLog10(low); e <= FloorLog10(high) + 1; ++e) {
    if (((e % stride) + stride) % stride != 0) continue;
    for (double m : mantissas) {
      const double v = e >= 0 ? m * PowerOfTen(e) : m / PowerOfTen(-e);
      if (v >= low * (1 - slack) && v <= high * (1 + slack)) values.push_back(v);
    }
  }
  return values;
}

// The largest step of 1, 2 or 5 times a power of ten that leaves three steps in `span`.
double RoundStep(double span) {
  const double raw = span / 3;
  const int e = FloorLog10(raw);
  for (double m : {5.0, 2.0, 1.0, 0.5}) {
    const double step = e >= 0 ? m * PowerOfTen(e) : m / PowerOfTen(-e);
    if (step <= raw) return step;
  }
  return raw;
}

// The multiples of a round step within [low, high]: three to eight of them, none for a span
// too narrow for the numbers to tell its steps apart.
std::vector<double> LinearValues(double low, double high) {
  std::vector<double> values;
  const double span = high - low;
  if (!(span > 1e-12 * std::max(std::fabs(low), std::fabs(high))) || !std::isfinite(span))
    return values;
  const double step = RoundStep(span);
  const double slack = step * 1e-9;
  for (double k = std::ceil((low - slack) / step); k * step <= high + slack; k += 1) {
    values.push_back(k * step == 0 ? 0.0 : k * step);
  }
  return values;
}

// The values at ±decades and zero of a symmetric logarithmic scale, of magnitude at least
// `smallest`: the decade of the knee itself would crowd the zero.
std::vector<double> SymlogValues(double low, double high, double smallest,
                                 const std::vector<double>& mantissas, int stride) {
  std::vector<double> values;
  if (low < 0) {
    for (double v : DecadeValues(std::max(smallest, -std::min(high, 0.0)), -low, mantissas, stride))
      values.push_back(-v);
    std::reverse(values.begin(), values.end());
  }
  if (low <= 0 && high >= 0) values.push_back(0.0);
  if (high > 0)
    for (double v : DecadeValues(std::max(smallest, std::max(low, 0.0)), high, mantissas, stride))
      values.push_back(v);
  return values;
}

std::vector<double> ScaleValues(const SPlotScale& scale, double low, double high,
                                const std::vector<double>& mantissas, int stride) {
  if (scale.Kind == EPlotScale::Log) return DecadeValues(low, high, mantissas, stride);
  return SymlogValues(low, high, scale.Knee * (mantissas.size() == 1 ? 10 : 2), mantissas, stride);
}

// The tick values: decades, thinned to `most`; else 1-2-5 steps; else round multiples.
std::vector<double> TickValues(const SPlotScale& scale, double low, double high, int most) {
  if (scale.Kind != EPlotScale::Linear) {
    std::vector<double> values = ScaleValues(scale, low, high, {1.0}, 1);
    for (int stride = 2; static_cast<int>(values.size()) > std::max(most, 3); ++stride)
      values = ScaleValues(scale, low, high, {1.0}, stride);
    if (values.size() >= 3) return values;
    values = ScaleValues(scale, low, high, {1.0, 2.0, 5.0}, 1);
    if (values.size() >= 3 && static_cast<int>(values.size()) <= std::max(most, 3)) return values;
  }
  return LinearValues(low, high);
}

// The fewest significant digits that write every value so that it reads back as itself.
int LabelDigits(const std::vector<double>& values) {
  double largest = 0;
  for (double v : values) largest = std::max(largest, std::fabs(v));
  for (int digits = 1; digits < 15; ++digits) {
    const bool exact = std::all_of(values.begin(), values.end(), [&](double v) {
      return std::fabs(ParseValue(FormatValue(digits, v)) - v) <= largest * 1e-9;
    });
    if (exact) return digits;
  }
  return 15;
}

}  // namespace

double SPlotScale::Forward(double value) const {
  switch (Kind) {
    case EPlotScale::Log:
      return std::log10(value);
    case EPlotScale::Symlog:
      return std::copysign(std::log1p(std::fabs(value) / Knee) / std::numbers::ln10, value);
    default:
      return value;
  }
}

double SPlotScale::Inverse(double coordinate) const {
  switch (Kind) {
    case EPlotScale::Log:
      return std::pow(10.0, coordinate);
    case EPlotScale::Symlog:
      return std::copysign(Knee * std::expm1(std::fabs(coordinate) * std::numbers::ln10),
                           coordinate);
    default:
      return coordinate;
  }
}

bool SPlotScale::Shows(double value) const {
  return std::isfinite(value) && (Kind != EPlotScale::Log || value > 0);
}

double SymlogKnee(double smallest, double largest) {
  if (!(largest > 0) || !std::isfinite(largest)) return 1.0;
  const double scale = std::max(std::isfinite(smallest) ? smallest : 0.0, largest * 1e-6);
  return PowerOfTen(FloorLog10(scale) - 1);
}

std::vector<SAxisTick> AxisTicks(const SPlotScale& scale, double low, double high, int most) {
  std::vector<SAxisTick> ticks;
  if (!(low < high) || !std::isfinite(low) || !std::isfinite(high)) return ticks;
  const std::vector<double> values = TickValues(scale, low, high, most);
  const int digits = LabelDigits(values);
  for (double v : values) ticks.push_back({v, scale.Forward(v), PrefixedValue(digits, v)});
  return ticks;
}
