// The response panel's plot: R and X (or |Z| and phase) over a logarithmic frequency axis,
// the pinned circuit's traces in grey behind them, the working frequency and the resonances.
// Every axis but the phase is labelled in engineering text ("1 k", "10 M").
#pragma once

#include <QColor>
#include <QString>
#include <vector>

#include "analysis/Response.h"
#include "analysis/Tolerance.h"

class QChart;

// How X is drawn in the R and X display mode: on a linear axis, as |X| on a logarithmic one,
// or signed on a symmetric logarithmic axis, where a large reactance far from a resonance does
// not flatten the region around it.
enum class EReactanceAxis { Linear = 0, Magnitude = 1, Symlog = 2 };
inline constexpr int ReactanceAxisCount = 3;

struct SPlotInput {
  const SResponse& Shown;
  const std::vector<SResponsePoint>& Reference;  // the pinned circuit's points, or none
  int Mode = 0;                                  // the display mode: 1 polar, else R and X
  double Start = 1e-3;                           // the range while there are no points
  double Stop = 1e3;
  double Working = 1.0;
  EReactanceAxis Reactance = EReactanceAxis::Symlog;
  // The live traces' range over the parts' tolerances, at the live points; null for none.
  const SToleranceBand* Band = nullptr;
  // Above zero, the second trace is |S11| in dB against this reference impedance instead.
  double ReflectionZ0 = 0.0;
};

// Makes the chart show the plot of `in`: its series and axes are updated in place while the
// plot keeps its structure (the same series on the same kinds of axes), else built anew.
void DrawResponse(QChart& chart, const SPlotInput& in);
// The names of the two traces in a display mode (and, in R and X, a reactance axis).
QString FirstTraceName(int mode);
QString SecondTraceName(int mode, EReactanceAxis reactance = EReactanceAxis::Linear);
