// How strongly each part value moves what the meter reads: the normalised derivatives of the
// impedance at one frequency, and of a resonance's frequency, exact from one solve of the
// system and one of its transpose (the adjoint), not from differences.
#pragma once

#include <complex>
#include <vector>

class CCalc;
class CCmp;
class CCmps;

// One part value p and p dZ/dp: what Z gains per unit of relative change of p.
struct SPartSensitivity {
  int Cmp = 0;    // the component's list position
  int Param = 0;  // the parameter's index in its kind's table
  double Value = 0.0;
  std::complex<double> Scaled;  // p dZ/dp; zero for a part that carries no current
  bool Finite = true;           // false where the derivative is no finite number
};

struct SSensitivities {
  bool Valid = false;  // false where the reading has no number (or no adjoint solution)
  // Z, ScaledOmega and each Scaled are of the admittance Y = 1/Z rather than of Z.
  bool Admittance = false;
  double Hertz = 0.0;
  std::complex<double> Z;
  std::complex<double> ScaledOmega;  // w dZ/dw
  std::vector<SPartSensitivity> Parts;
};

// Solves the circuit at `hertz` and differentiates the meter's impedance with respect to every
// value of every component but meters, in list order and table order.
SSensitivities Sensitivities(CCmps& cmps, const CCmp& meter, CCalc& solver, double hertz);
// The same for the admittance Y = 1/Z, with the port driven by a voltage: it has a number at
// a lossless parallel resonance, where Z has none.
SSensitivities AdmittanceSensitivities(CCmps& cmps, const CCmp& meter, CCalc& solver, double hertz);

// The two numbers the readout would show, differentiated and normalised by |Z| so that they
// stay finite where R or X is 0: in display mode 0 p dR/dp / |Z| and p dX/dp / |Z|; in mode 1
// (p / |Z|) d|Z|/dp and p dφ/dp in degrees, φ the readout's phase (the negated angle of Z).
// False (both 0) where |Z| is 0 or the part's derivative is not finite.
bool NormalisedSensitivity(int displayMode, std::complex<double> z, std::complex<double> scaled,
                           double& first, double& second);

// (p / F0) dF0/dp for a resonance at `s.Hertz`, by implicit differentiation of its condition:
// X(F0) = 0 for a series resonance (s of Z), the susceptance Im Y(F0) = 0 for a parallel one
// (s of Y: the same condition where Z is finite, and one that holds at a lossless pole too).
// One value per entry of s.Parts; NaN where it has none.
std::vector<double> ResonanceSensitivities(const SSensitivities& s);
