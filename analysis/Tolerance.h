// The spread of what the meter sees when every part value may lie anywhere within its
// tolerance: the range of R, X, |Z| and phase at each frequency of a sweep, and of each
// resonance's frequency, by Monte Carlo sampling of the part values, widened by the worst-case
// corners that the sensitivities name. The samples are read in double precision on the
// circuit's kept analysis (a spread needs a few digits), the corners exactly. Works on a
// circuit copy of its own, so a worker may run it.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "analysis/Response.h"

class CCalc;
class CCmp;
class CCmps;

// Relative tolerances by kind of value, as fractions (0.05 is 5 %).
struct SKindTolerances {
  double R = 0.01;
  double C = 0.05;
  double L = 0.05;
  double Turns = 0.0;
  double Coupling = 0.0;
};

// The tolerance of parameter j of a component: the part's own where it has one, else its kind's.
double ToleranceOf(const CCmp& cmp, int j, const SKindTolerances& tolerances);
// The kind's tolerance of parameter j of a part of that kind, whatever the part's own is.
double KindToleranceOf(int kind, int j, const SKindTolerances& tolerances);

// The range at one frequency over every sample that solved there; Solved false where none did.
struct SBandPoint {
  double Hertz = 0.0;
  bool Solved = false;
  double RMin = 0.0, RMax = 0.0;
  double XMin = 0.0, XMax = 0.0;
  double MagnitudeMin = 0.0, MagnitudeMax = 0.0;
  double PhaseMin = 0.0, PhaseMax = 0.0;  // degrees, the negated angle of R + jX as shown
};

// The range of one resonance's frequency; Min and Max equal its nominal frequency where no
// sample moved it or none could be followed.
struct SResonanceSpread {
  double Hertz = 0.0;  // the nominal resonance
  double Min = 0.0;
  double Max = 0.0;
};

struct SToleranceBand {
  std::vector<SBandPoint> Points;
  std::vector<SResonanceSpread> Resonances;
  int Samples = 0;  // the samples taken, the nominal circuit among them
};

struct SBandRequest {
  std::vector<double> Hertz;           // ascending
  std::vector<SResonance> Resonances;  // the nominal circuit's, whose spread is wanted
  SKindTolerances Tolerances;
  int Samples = 200;
  uint32_t Seed = 1;
  // The samples this call takes, of the `Samples` above: sample s is the same whichever call
  // takes it, so that the work may be split between threads and merged. The call that takes
  // sample 0 adds the corners.
  int First = 0;
  int Count = -1;  // all from First on
};

// Samples the values of `cmps` (the nominal circuit, which is put back as it was before the
// function returns) uniformly within their tolerances; the nominal circuit is sample 0. At
// each frequency, for the largest and the smallest of each of R, X, |Z| and phase, and for each
// resonance's highest and lowest frequency, the corner that sets every value to the end of its
// tolerance named by the sign of its sensitivity is solved too. A set `cancel` ends the work
// early with what was done.
SToleranceBand ToleranceBand(CCmps& cmps, const CCmp& meter, CCalc& solver,
                             const SBandRequest& request,
                             const std::atomic<bool>* cancel = nullptr);

// Widens `into` by a band of the same request's other samples.
void MergeBands(SToleranceBand& into, const SToleranceBand& other);
