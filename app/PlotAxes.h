// The scales of the response plot and the ticks of its axes: a plotted value is mapped to an
// axis coordinate that the chart treats as linear, and each axis labels its ticks in
// engineering text, never fewer than three of them however narrow the range.
#pragma once

#include <string>
#include <vector>

enum class EPlotScale { Linear, Log, Symlog };

struct SPlotScale {
  EPlotScale Kind = EPlotScale::Linear;
  // Symmetric logarithmic: nearly linear within ±Knee, a decade per unit well beyond it.
  double Knee = 1.0;

  // The axis coordinate of a value: v, log10 v, or sign(v)·log10(1 + |v|/Knee).
  double Forward(double value) const;
  double Inverse(double coordinate) const;
  // Whether the scale can place the value (a logarithmic one only above zero).
  bool Shows(double value) const;
};

// The knee of a symmetric logarithmic axis for values whose smallest magnitude of interest is
// `smallest` and whose largest is `largest`: the power of ten a decade below the smallest (or
// below a millionth of the largest), so that the smallest decade of interest is labelled.
double SymlogKnee(double smallest, double largest);

struct SAxisTick {
  double Value = 0;  // the plotted value at the tick
  double At = 0;     // its axis coordinate
  std::string Text;  // its label, the same significant digits for every tick of an axis
};

// Ticks of `scale` between the values low < high, in rising order: decades on a logarithmic
// scale (every second or third one when more than `most` would show; on a symmetric one zero
// and the decades from ten times the knee), the 1-2-5 steps of a
// decade when fewer than three decades fall inside, and 1-2-5 multiples of a round step
// otherwise, so that a range inside a decade still shows at least three labels.
std::vector<SAxisTick> AxisTicks(const SPlotScale& scale, double low, double high, int most);
