// The measurement behind the main window's readout: build, solve and format the impedance
// that the meter sees, without any window.
#pragma once

#include <complex>
#include <optional>
#include <string>

class CCalc;
class CCmp;
class CCmps;

// Program-wide display settings: 0 R and X, 1 magnitude and phase; significant digits 2..8.
extern int DisplayMode;
extern int SignificantDigits;

struct SReadout {
  std::string R;                 // text for REdit
  std::optional<std::string> X;  // text for XEdit, or none (XEdit keeps its text)
  std::optional<std::complex<double>> Z = std::nullopt;  // behind a number; none otherwise
};

// The frequency in hertz for a number and a unit index (0 Hz, 1 kHz, 2 MHz, 3 GHz).
double FrequencyInHertz(double frequency, int frequencyUnit);

// The two numbers the readout shows for R + jX: R and X, or in display mode 1 the magnitude
// and the phase in degrees, which is the negated angle of R + jX.
void DisplayValues(int displayMode, double r, double x, double& first, double& second);

// frequencyUnit: 0 Hz, 1 kHz, 2 MHz, 3 GHz (only a stored value can hold 3).
SReadout MeasureImpedance(CCmps& cmps, const CCmp& meter, CCalc& solver, double frequency,
                          int frequencyUnit, int displayMode, int digits, bool hasReactive);
