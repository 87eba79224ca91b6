// How well what the meter sees matches a line of reference impedance Z0: the reflection
// coefficient and the figures read from it. The match readout, the Smith chart and the
// S-parameter file all take Γ from here.
#pragma once

#include <complex>
#include <optional>

// Γ = (Z − Z0) / (Z + Z0). An infinite Z (an open) gives 1, Z0 itself 0, a short −1. None
// where Z0 is not a finite number above zero or Z is not a number.
std::optional<std::complex<double>> Reflection(std::complex<double> z, double z0);

// The impedance that reflects Γ against Z0, the inverse of Reflection: Γ = 1 gives an infinite
// resistance. None where Z0 is not a finite number above zero or Γ is not a number.
std::optional<std::complex<double>> ImpedanceOfReflection(std::complex<double> gamma, double z0);

// The match figures of one load. A field is none where it is no number: the figures of a load
// that reflects more than it receives (|Γ| > 1) other than the return loss, and all of them
// where Γ itself is none. Infinity is a number here: a matched load's return loss, the VSWR
// and mismatch loss of a load that reflects everything.
struct SMatch {
  std::optional<std::complex<double>> Gamma;
  std::optional<double> ReturnLossDb;    // −20 log10 |Γ|
  std::optional<double> Vswr;            // (1 + |Γ|) / (1 − |Γ|)
  std::optional<double> MismatchLossDb;  // −10 log10 (1 − |Γ|²)
};

SMatch MatchFigures(std::complex<double> z, double z0);
