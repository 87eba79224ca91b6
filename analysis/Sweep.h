// Impedance readings at many frequencies from one build and one analysis of the circuit, for
// a frequency-response plot, and at single frequencies for refining its resonances. Reads no
// program-wide setting and writes none: a worker thread may run it on its own CCalc and its
// own copy of the components.
#pragma once

#include <atomic>
#include <complex>
#include <optional>
#include <vector>

#include "analysis/NaturalFrequencies.h"

class CCalc;
class CCmp;
class CCmps;

// The impedance between the meter's pins, or none where the circuit has no solution (the
// readout's "Infinity") or no finite reading (its "Error").
using SImpedance = std::optional<std::complex<double>>;

// One reading per frequency in hertz, in the order given. The circuit is built and analysed
// once; every frequency replays that analysis (choosing a new one only where a pivot fails).
// A set `cancel` leaves the remaining frequencies without a reading.
std::vector<SImpedance> SweepImpedance(CCmps& cmps, const CCmp& meter, CCalc& solver,
                                       const std::vector<double>& hertz,
                                       const std::atomic<bool>* cancel = nullptr);

// Readings of one circuit at frequencies chosen one after another (a search), all from one
// build. The circuit must not change while the probe lives.
class CImpedanceProbe {
 public:
  CImpedanceProbe(CCmps& cmps, const CCmp& meter, CCalc& solver);
  ~CImpedanceProbe();
  CImpedanceProbe(const CImpedanceProbe&) = delete;
  CImpedanceProbe& operator=(const CImpedanceProbe&) = delete;

  SImpedance At(double hertz);
  // At for hertz[i], its next frequencies prepared together where that helps.
  SImpedance AtListed(const std::vector<double>& hertz, size_t i);
  // One reading per frequency, as SweepImpedance gives them.
  std::vector<SImpedance> Sweep(const std::vector<double>& hertz,
                                const std::atomic<bool>* cancel = nullptr);
  // The circuit's values changed since the probe was made, not its wiring: reads them from now
  // on, keeping the solver's analysis.
  bool Restamp();
  // The system as A + sB; false when the meter's current has no path or a value is not finite.
  bool Pencil(SMeterPencil& pencil);

 private:
  const CCmp& meter;
  CCalc& solver;
  bool built = false;
};

// One frequency; the solver's kept analysis makes repeated calls on one circuit cheap.
SImpedance ImpedanceAt(CCmps& cmps, const CCmp& meter, CCalc& solver, double hertz);
