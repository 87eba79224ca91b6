// Tuning a part to a goal: the value of one parameter that puts a resonance on a frequency,
// makes R, X or |Z| at the working frequency a given number, or matches the meter's impedance
// to a reference impedance as well as that part can. Window-free; the circuit is left as it
// was found.
#pragma once

#include <atomic>
#include <optional>

class CCmp;
class CCmps;

enum class TuneKind { Resonance, R, X, Magnitude, Match };

struct STuneTarget {
  TuneKind Kind = TuneKind::X;
  // The frequency in hertz (Resonance) or the ohms (R, X, |Z|); unused for Match.
  double Value = 0.0;
  // The working frequency at which R, X, |Z| and the match are read.
  double Hertz = 1.0;
  // Resonance: the resonance followed, by its frequency at the part's present value and its
  // kind (a series resonance, a |Z| minimum, or a parallel one).
  double FromHertz = 0.0;
  bool Series = true;
  // Match: the reference impedance.
  double Z0 = 50.0;
};

struct STuneResult {
  // The value that reaches the target (for Match: that matches best); none where no value does.
  std::optional<double> Exact;
  // The target quantity at Exact: the resonance's hertz, the ohms, or |Γ| for Match.
  double Reached = 0.0;
  // The least and the most of the target quantity over the values scanned and Exact; Known
  // false where no scanned value gave a reading.
  bool Known = false;
  double Low = 0.0;
  double High = 0.0;
  // The search was stopped before it ended; nothing above holds.
  bool Stopped = false;
};

// The values scanned between the extremes, before the crossing found is refined.
constexpr int TuneScanPoints = 60;
// How far the scan reaches either side of a series value or a count of turns: this factor
// below and above the present value.
constexpr double TuneScanReach = 1e6;

// Solves for parameter `param` of `part` (a component of `cmps`) that reaches `target` in what
// `meter` sees. The parameter holds its value again on return. A set `stop` ends the search
// at its next reading, with Stopped set.
STuneResult TuneToTarget(CCmps& cmps, const CCmp& meter, CCmp& part, int param,
                         const STuneTarget& target, const std::atomic<bool>* stop = nullptr);

// The target quantity with parameter `param` of `part` at `value` (a resonance followed from
// target.FromHertz); none where it cannot be read. The parameter holds its value again on
// return.
std::optional<double> TuneQuantity(CCmps& cmps, const CCmp& meter, CCmp& part, int param,
                                   const STuneTarget& target, double value);
