// The colours of the response panel's pictures, one for each thing drawn, the same in the plot
// and the Smith chart.
#pragma once

#include <QColor>

namespace ResponseColor {
inline const QColor Trace(20, 90, 200);       // the live trace (the plot's first trace)
inline const QColor SecondTrace(210, 80, 0);  // the plot's second trace
inline const QColor Pinned(150, 150, 150);    // the pinned circuit's traces
inline const QColor Resonance(0, 150, 60);    // the resonances' marks
inline const QColor Working(200, 30, 140);    // the working frequency's mark
}  // namespace ResponseColor
