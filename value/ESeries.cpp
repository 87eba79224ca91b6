#include "value/ESeries.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string_view>

#include "value/Value.h"

namespace {

// As published: E24 keeps the older values 2.7, 3.0, 3.3, 3.6, 3.9, 4.3, 4.7 and 8.2 where the
// geometric rule would round otherwise. E12 and E6 take every second and fourth of them.
constexpr std::array<double, 24> E24 = {1.0, 1.1, 1.2, 1.3, 1.5, 1.6, 1.8, 2.0, 2.2, 2.4, 2.7, 3.0,
                                        3.3, 3.6, 3.9, 4.3, 4.7, 5.1, 5.6, 6.2, 6.8, 7.5, 8.2, 9.1};
constexpr std::array<double, 12> E12 = {1.0, 1.2, 1.5, 1.8, 2.2, 2.7, 3.3, 3.9, 4.7, 5.6, 6.8, 8.2};
constexpr std::array<double, 6> E6 = {1.0, 1.5, 2.2, 3.3, 4.7, 6.8};
// E96 and E48 follow the geometric rule 10^(i/n) rounded to three significant digits.
constexpr std::array<double, 96> E96 = {
    1.00, 1.02, 1.05, 1.07, 1.10, 1.13, 1.15, 1.18, 1.21, 1.24, 1.27, 1.30, 1.33, 1.37, 1.40, 1.43,
    1.47, 1.50, 1.54, 1.58, 1.62, 1.65, 1.69, 1.74, 1.78, 1.82, 1.87, 1.91, 1.96, 2.00, 2.05, 2.10,
    2.15, 2.21, 2.26, 2.32, 2.37, 2.43, 2.49, 2.55, 2.61, 2.67, 2.74, 2.80, 2.87, 2.94, 3.01, 3.09,
    3.16, 3.24, 3.32, 3.40, 3.48, 3.57, 3.65, 3.74, 3.83, 3.92, 4.02, 4.12, 4.22, 4.32, 4.42, 4.53,
    4.64, 4.75, 4.87, 4.99, 5.11, 5.23, 5.36, 5.49, 5.62, 5.76, 5.90, 6.04, 6.19, 6.34, 6.49, 6.65,
    6.81, 6.98, 7.15, 7.32, 7.50, 7.68, 7.87, 8.06, 8.25, 8.45, 8.66, 8.87, 9.09, 9.31, 9.53, 9.76};
constexpr std::array<double, 48> E48 = {
    1.00, 1.05, 1.10, 1.15, 1.21, 1.27, 1.33, 1.40, 1.47, 1.54, 1.62, 1.69, 1.78, 1.87, 1.96, 2.05,
    2.15, 2.26, 2.37, 2.49, 2.61, 2.74, 2.87, 3.01, 3.16, 3.32, 3.48, 3.65, 3.83, 4.02, 4.22, 4.42,
    4.64, 4.87, 5.11, 5.36, 5.62, 5.90, 6.19, 6.49, 6.81, 7.15, 7.50, 7.87, 8.25, 8.66, 9.09, 9.53};

// The written range of a value text: the multiplier letters run from f to T.
constexpr int LowestDecade = -15;
constexpr int HighestDecade = 14;

// A series position: decade d and index i stand for decade[i] * 10^d.
struct SPosition {
  int Decade = 0;
  int Index = 0;
};

// The value at a position, as its text reads back, so that the value on the sheet is the one
// its text stands for.
double ValueAt(std::span<const double> decade, SPosition p) {
  return ParseValue(SeriesText(decade[static_cast<size_t>(p.Index)] * std::pow(10.0, p.Decade)));
}

// Log-distance between x and a position's value.
double Distance(double x, std::span<const double> decade, SPosition p) {
  return std::fabs(std::log10(x) - std::log10(decade[static_cast<size_t>(p.Index)]) - p.Decade);
}

SPosition Moved(SPosition p, int steps, int size) {
  const int flat = p.Decade * size + p.Index + steps;
  const int decade = flat >= 0 ? flat / size : -((-flat + size - 1) / size);
  return {decade, flat - decade * size};
}

bool Writable(SPosition p) {
  return p.Decade >= LowestDecade && p.Decade <= HighestDecade;
}

// The nearest position to x > 0: the candidates are the two neighbours around x in its decade
// and the first value of the next decade.
SPosition Nearest(double x, std::span<const double> decade) {
  const int d = static_cast<int>(std::floor(std::log10(x)));
  const double mantissa = x / std::pow(10.0, d);
  const auto above = std::upper_bound(decade.begin(), decade.end(), mantissa);
  const int i = std::max(0, static_cast<int>(above - decade.begin()) - 1);
  SPosition best{d, i};
  const int size = static_cast<int>(decade.size());
  for (const SPosition candidate : {Moved(best, -1, size), Moved(best, 1, size)}) {
    if (Distance(x, decade, candidate) < Distance(x, decade, best)) best = candidate;
  }
  return best;
}

bool IsValue(double x) {
  return std::isfinite(x) && x > 0.0;
}

}  // namespace

const char* ESeriesName(ESeries series) {
  static const char* const names[ESeriesCount] = {"E6", "E12", "E24", "E48", "E96"};
  const int i = static_cast<int>(series);
  return names[i >= 0 && i < ESeriesCount ? i : 1];
}

std::span<const double> ESeriesDecade(ESeries series) {
  switch (series) {
    case ESeries::E6:
      return E6;
    case ESeries::E24:
      return E24;
    case ESeries::E48:
      return E48;
    case ESeries::E96:
      return E96;
    case ESeries::E12:
      break;
  }
  return E12;
}

std::optional<double> SnapToSeries(double x, ESeries series) {
  if (!IsValue(x)) return std::nullopt;
  const std::span<const double> decade = ESeriesDecade(series);
  const SPosition p = Nearest(x, decade);
  if (!Writable(p)) return std::nullopt;
  return ValueAt(decade, p);
}

std::optional<double> StepSeries(double x, ESeries series, int steps) {
  if (!IsValue(x)) return std::nullopt;
  const std::span<const double> decade = ESeriesDecade(series);
  SPosition p = Nearest(x, decade);
  // Off the series, the snap is the first step.
  if (std::fabs(ValueAt(decade, p) - x) > 1e-9 * x && steps != 0) steps += steps > 0 ? -1 : 1;
  p = Moved(p, steps, static_cast<int>(decade.size()));
  if (!Writable(p)) return std::nullopt;
  return ValueAt(decade, p);
}

std::string SeriesText(double x) {
  static const char letters[] = "fpnum kMGT";  // 10^-15 .. 10^12 by thirds; ' ' for none
  if (!IsValue(x)) return FormatValue(3, x);
  // Three significant digits carry every series value: "4.70e+03" gives the digits 470 and
  // the exponent 3, correctly rounded and free of the locale.
  char buffer[32];
  const auto written =
      std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::scientific, 2);
  const std::string_view text(buffer, static_cast<size_t>(written.ptr - buffer));
  const size_t e = text.find('e');
  int exponent = 0;
  std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(),
                  exponent);
  const int third = std::clamp(exponent >= 0 ? exponent / 3 : -((2 - exponent) / 3), -5, 4);
  std::string digits{text[0], text[2], text[3]};
  // The digits before the point: one more for every power of ten above the third's.
  const int whole = exponent - 3 * third + 1;
  if (whole <= 0 || whole > 3) return FormatValue(3, x);  // beyond the letters' range
  while (static_cast<int>(digits.size()) > whole && digits.back() == '0') digits.pop_back();
  const char letter = letters[third + 5];
  std::string out = digits.substr(0, static_cast<size_t>(whole));
  const std::string fraction = digits.substr(static_cast<size_t>(whole));
  if (letter != ' ') return out + letter + fraction;
  return fraction.empty() ? out : out + '.' + fraction;
}
