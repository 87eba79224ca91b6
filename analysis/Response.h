// The frequency response that the meter sees: log-spaced sweeps, the resonances within a
// sweep with their Q, a frozen copy of a circuit for work off the user-interface thread, and
// the sweep as CSV and Touchstone text.
#pragma once

#include <atomic>
#include <complex>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/NaturalFrequencies.h"
#include "components/CCmp.h"

class CCalc;

using Complex = std::complex<long double>;

// The impedance between the meter's pins at `hertz`, or none where the circuit has no
// finite solution there (the readout's "Infinity" or "Error").
using ImpedanceFunction = std::function<std::optional<Complex>(double hertz)>;

struct SResponsePoint {
  double Hertz = 0.0;
  bool Solved = false;  // false: a gap in the traces
  double R = 0.0;
  double X = 0.0;
};

struct SResonance {
  double Hertz = 0.0;
  bool Series = true;       // a |Z| minimum where X turns from capacitive to inductive
  double Q = 0.0;           // infinite for a lossless resonance
  bool QFromSlope = false;  // the -3 dB band left the range; Q comes from the reactance slope
  double Magnitude = 0.0;   // |Z| at the resonance; infinite where there is no solution
};

struct SResponse {
  std::vector<SResponsePoint> Points;
  std::vector<SResonance> Resonances;
};

// `count` frequencies from `start` to `stop`, evenly spaced on a logarithmic axis; both ends
// are included exactly.
std::vector<double> LogFrequencies(double start, double stop, int count);

// The resonances between the sweep's first and last point: every change of sign of X between
// neighbouring points, refined with direct solves to 1e-11 relative. Each is characterised by
// its -3 dB band: the nearest crossings of that level either side, searched beyond the points
// where needed but never beyond a neighbouring resonance. With `natural` known, a resonance on
// a root that lies on the frequency axis is lossless (Q infinite). A set `cancel` stops the
// search before the next resonance.
std::vector<SResonance> FindResonances(const std::vector<SResponsePoint>& points,
                                       const ImpedanceFunction& impedance,
                                       const std::atomic<bool>* cancel = nullptr,
                                       const SNaturalFrequencies* natural = nullptr);

// `hertz` (ascending) with the points that draw each lightly damped root inside the range: the
// root's own frequency and its band edges.
std::vector<double> WithNaturalPoints(const std::vector<double>& hertz,
                                      const SNaturalFrequencies& natural);

// The points (ascending) with more points solved between them until, by the phase of Z that the
// natural frequencies bound, X changes sign at most once between neighbours: then no resonance
// hides inside a step. Without natural frequencies, until the phase turns little between
// neighbours (a heuristic).
std::vector<SResponsePoint> BracketPoints(const std::vector<SResponsePoint>& points,
                                          const ImpedanceFunction& impedance,
                                          const SNaturalFrequencies& natural,
                                          const std::atomic<bool>* cancel = nullptr);

// True when X cannot change sign at any frequency: only capacitors, or only inductors, with
// positive values beside resistors and transformers.
bool ReactanceKeepsItsSign(const CCmps& cmps);

// The impedance that `meter` sees in `cmps`, solved by `solver` one frequency at a time; all
// three must outlive the function, and nothing else may use the solver meanwhile.
ImpedanceFunction MeterImpedance(CCmps& cmps, const CCmp& meter, CCalc& solver);

// Sweeps what `meter` sees from one analysis of the circuit at `hertz` (ascending) and at the
// points that draw its natural frequencies and resonances, then searches the resonances with
// direct solves. With `smooth`, points are also solved between neighbours where Z moves far,
// so that no step draws a long chord on a Smith chart. A set `cancel` ends the work early and
// returns whatever was done (the caller throws it away).
SResponse SweepMeter(CCmps& cmps, const CCmp& meter, CCalc& solver,
                     const std::vector<double>& hertz, const std::atomic<bool>* cancel = nullptr,
                     bool smooth = false);

// A copy of a circuit that shares nothing with the original: parameter values, node numbers
// and extra unknowns as they stand. Taking it binds the kinds' parameter tables, so it must
// be taken on the thread that edits the circuit.
struct SCircuitCopy {
  std::unique_ptr<CCmps> Cmps;
  const CCmp* Meter = nullptr;  // into Cmps; null when the meter was not in the list
};
SCircuitCopy CopyCircuit(CCmps& cmps, const CCmp* meter);

// Text exports of a sweep: CSV with f, R, X, |Z| and phase (gaps as empty fields), and a
// one-port Touchstone file of Z parameters in real and imaginary form (gaps left out).
std::string ResponseCsv(const std::vector<SResponsePoint>& points);
std::string ResponseTouchstone(const std::vector<SResponsePoint>& points);
