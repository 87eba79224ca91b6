// The measurement behind the main window's readout: build, solve and format the impedance
// that the meter sees, without any window.
#pragma once

#include <complex>
#include <optional>
#include <string>

class CCalc;
class CCmp;
class CCmps;

// The impedance the last solve reads across the meter's pins, not necessarily finite; none
// where the meter has no two pins inside the solver's numbering.
std::optional<std::complex<double>> MeterReading(const CCalc& solver, const CCmp& meter);

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

// The frequency a reading is taken at and how its numbers are written.
struct SMeasureSettings {
  double frequency = 1.0;
  int frequencyUnit = 0;     // 0 Hz, 1 kHz, 2 MHz, 3 GHz
  int displayMode = 0;       // 0 R and X, 1 magnitude and phase
  int digits = 3;            // significant digits; clamped to 2..8
  bool hasReactive = false;  // without a reactive part there is no second number
};

SReadout MeasureImpedance(CCmps& cmps, const CCmp& meter, CCalc& solver,
                          const SMeasureSettings& settings);
