// The standard series of preferred values (E6 to E96): the values a part can be bought in,
// snapping a value to its series and stepping through it decade after decade, and the
// engineering text a series value is written as ("4k7", "2u2").
#pragma once

#include <optional>
#include <span>
#include <string>

enum class ESeries { E6 = 0, E12 = 1, E24 = 2, E48 = 3, E96 = 4 };
constexpr int ESeriesCount = 5;
constexpr ESeries DefaultESeries = ESeries::E12;

// "E6", "E12", "E24", "E48", "E96".
const char* ESeriesName(ESeries series);

// The series' values in one decade, from 1 up (1.0, 1.5, 2.2, ...), as published.
std::span<const double> ESeriesDecade(ESeries series);

// The series value nearest to x on a logarithmic scale; none for x that is not a finite number
// above zero.
std::optional<double> SnapToSeries(double x, ESeries series);

// The value `steps` places above (below, when negative) x in the series, decade after decade.
// An x that is not itself a series value first snaps to the nearest one, which counts as the
// first step. None for x that is not a finite number above zero, or where the result would
// leave the range the value texts can write (1f to 999T).
std::optional<double> StepSeries(double x, ESeries series, int steps);

// A series value as engineering text with its multiplier letter standing for the decimal point:
// 4.7e3 "4k7", 2.2e-6 "2u2", 470e-9 "470n", 10e3 "10k", 4.7 "4.7". Reads back with ParseValue
// as the value that the text stands for.
std::string SeriesText(double x);
