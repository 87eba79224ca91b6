// The frequency entry's rules; see Frequency.h.
#include "value/Frequency.h"

#include <cmath>

#include "value/Value.h"

int FrequencyUnitOf(double hertz, int highest) {
  int unit = 0;
  while (unit < highest && std::fabs(hertz) >= 1000 * std::pow(1000.0, unit)) ++unit;
  return unit;
}

const char* FrequencyUnitSuffix(int unit) {
  static const char* const suffixes[] = {" Hz", " kHz", " MHz", " GHz"};
  return suffixes[unit >= 0 && unit <= FrequencyHighestUnit ? unit : 0];
}

double AsShown(double value) {
  try {
    return ParseValue(FloatText(value));
  } catch (const Exception&) {
    return value;
  }
}

std::optional<SFrequencyEntry> ReadFrequencyEntry(const std::string& text, int unit) {
  double f = 0;
  try {
    f = ParseValue(text);
    if (HasMultiplier(text)) unit = 0;
  } catch (const Exception&) {
    return std::nullopt;
  }
  // A negative, infinite or undefined frequency has no meaning: refused like bad text.
  if (!std::isfinite(f) || f < 0) return std::nullopt;
  if (f == 0) f = 0.0;  // no "-0"
  while (std::fabs(f) < 1 && unit > 0) {
    f *= 1000;
    --unit;
  }
  while (std::fabs(f) >= 1000 && unit < FrequencyEntryHighestUnit) {
    f *= 0.001;
    ++unit;
  }
  return SFrequencyEntry{AsShown(f), unit};
}

std::optional<SFrequencyEntry> FrequencyEntryOf(double hertz) {
  if (!std::isfinite(hertz) || hertz < 0) return std::nullopt;
  const int unit = FrequencyUnitOf(hertz, FrequencyEntryHighestUnit);
  return SFrequencyEntry{AsShown(hertz / std::pow(1000.0, unit)), unit};
}
