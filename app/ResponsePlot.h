// The response panel's plot: R and X (or |Z| and phase) over a logarithmic frequency axis,
// the pinned circuit's traces in grey behind them, the working frequency and the resonances.
#pragma once

#include <QString>
#include <vector>

#include "analysis/Response.h"

class QChart;

struct SPlotInput {
  const SResponse& Shown;
  const std::vector<SResponsePoint>& Reference;  // the pinned circuit's points, or none
  int Mode = 0;                                  // the display mode: 1 polar, else R and X
  double Start = 1e-3;                           // the range while there are no points
  double Stop = 1e3;
  double Working = 1.0;
};

// Replaces everything on the chart with the plot of `in`.
void DrawResponse(QChart& chart, const SPlotInput& in);
// The names of the two traces in a display mode.
QString FirstTraceName(int mode);
QString SecondTraceName(int mode);
