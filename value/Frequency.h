// The working frequency as its entry holds it: a number and a unit (Hz, kHz, MHz), read from
// typed text and normalised, and the one choice of a frequency unit for every text that shows
// one.
#pragma once

#include <optional>
#include <string>

// Units by index: 0 Hz, 1 kHz, 2 MHz, 3 GHz; the entry offers all four.
constexpr int FrequencyHighestUnit = 3;
constexpr int FrequencyEntryHighestUnit = FrequencyHighestUnit;

// The unit, up to `highest`, that keeps the number of |hertz| below 1000.
int FrequencyUnitOf(double hertz, int highest = FrequencyHighestUnit);
// " Hz", " kHz", " MHz", " GHz"; " Hz" for an index out of range.
const char* FrequencyUnitSuffix(int unit);

struct SFrequencyEntry {
  double Value = 1.0;
  int Unit = 0;
};

// The frequency that its own text (FloatText) reads back as. The field, the settings, the
// sheet file and the undo steps all hold that text, so a frequency with more digits than it
// shows would read differently after an undo or an open than before it.
double AsShown(double value);

// Typed text, moved to the unit that keeps the number within 1 to 1000 where the entry has
// one; none for text that is no frequency (not a number, negative, not finite). A plain number
// is in `unit`; a number with its own multiplier letter means what it says in hertz ("2.4G" is
// 2.4 GHz whatever unit was selected).
std::optional<SFrequencyEntry> ReadFrequencyEntry(const std::string& text, int unit);
// A frequency in hertz as the entry shows it; none when it is negative or not finite.
std::optional<SFrequencyEntry> FrequencyEntryOf(double hertz);
