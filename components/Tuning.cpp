#include "components/Tuning.h"

#include <cmath>

#include "value/Value.h"

namespace {

// The written text of a whole or hundredth number, read back as the value it stands for.
SParam Written(double x) {
  SParam p;
  p.Text = FloatText(x);
  p.Value = ParseValue(p.Text);
  return p;
}

}  // namespace

ParamStep StepOf(int kind, int j) {
  if (kind == KindW) return ParamStep::Turns;
  if (kind == KindLC && j == 2) return ParamStep::Coupling;
  return ParamStep::Series;
}

std::optional<SParam> SteppedParam(int kind, int j, const SParam& current, ESeries series,
                                   int notches) {
  if (notches == 0 || !std::isfinite(current.Value)) return std::nullopt;
  switch (StepOf(kind, j)) {
    case ParamStep::Turns: {
      // Whole turns; zero turns would leave no transformer, so the step passes over it.
      double turns = std::round(current.Value) + notches;
      if (turns == 0.0) turns += notches > 0 ? 1 : -1;
      return Written(turns);
    }
    case ParamStep::Coupling: {
      const double hundredths = std::round(current.Value * 100.0) + notches;
      if (std::fabs(hundredths) > 100.0) {
        if (std::fabs(current.Value) >= 1.0) return std::nullopt;
        return Written(hundredths > 0 ? 1.0 : -1.0);
      }
      return Written(hundredths / 100.0);
    }
    case ParamStep::Series:
      break;
  }
  const std::optional<double> value = StepSeries(current.Value, series, notches);
  if (!value) return std::nullopt;
  SParam p;
  p.Text = SeriesText(*value);
  p.Value = *value;
  return p;
}
