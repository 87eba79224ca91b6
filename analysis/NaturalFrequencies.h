// The natural frequencies of what the meter sees: the poles of its impedance (the network with
// the meter's port open) and its zeros (the port shorted), from the system's pencil A + sB.
#pragma once

#include <complex>
#include <vector>

// One entry of the system A + sB (s = jω) as assembled, the unknowns held at zero left out.
struct SPencilEntry {
  int Row = 0;
  int Col = 0;
  double A = 0;
  double B = 0;
};

struct SMeterPencil {
  std::vector<SPencilEntry> Entries;
  int MeterRow = -1;         // the meter's own row: as stamped, the port is open
  int PinA = -1, PinB = -1;  // the unknowns of the meter's pins; -1 where held at zero
};

// Roots in hertz, s / 2π: a root -σ + jν lies at ν on the frequency axis and its band is
// about σ either side of it.
struct SNaturalFrequencies {
  bool Known = false;
  std::vector<std::complex<double>> Poles, Zeros;
};

// Beyond this many unknowns with an ω part the dense eigenvalue step (cubic) costs more than the
// panel may spend, and no natural frequencies are given.
constexpr int MaxModeUnknowns = 300;

// Unknown (Known false) when the pencil is singular at every frequency or too large.
// `centreHertz` should lie inside the range of interest: the roots are found relative to it.
SNaturalFrequencies NaturalFrequencies(const SMeterPencil& pencil, double centreHertz);

// A root so close to the frequency axis that it is lossless within the precision of the roots.
bool OnAxis(std::complex<double> root);
