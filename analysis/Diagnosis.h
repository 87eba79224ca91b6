// Why the readout has no number: one sentence naming the parts concerned, decided from what the
// solver knows about the circuit; and which parts carry no current at all, with the reason.
#pragma once

#include <string>
#include <vector>

class CCmp;
class CCmps;

enum class ENoAnswer {
  None,          // the reading is a number
  NotConnected,  // the meter's pins lie in two galvanic groups
  OpenPaths,     // every path between the pins is open at this frequency
  Singular,      // a closed path, but the equations contradict each other here
  NotFinite,     // a value, a product with the frequency or the frequency is not a number
  Overflow,      // the solution itself left the range of numbers
  Unsolvable,    // the circuit could not be built or the meter not read
};

struct SNoAnswer {
  ENoAnswer Kind = ENoAnswer::None;
  std::string Sentence;            // no trailing full stop, for the status line
  std::vector<const CCmp*> Parts;  // the parts to highlight, into the list diagnosed
};

// Repeats the reading of `meter` at `hertz` on a solver of its own and, where it gives no
// number, says why. Renumbers nothing the reading would not.
SNoAnswer DiagnoseNoAnswer(CCmps& cmps, const CCmp& meter, double hertz);

// A part as its label shows it: "the 1n capacitor", "the 1:3 transformer".
std::string PartName(const CCmp& cmp);

struct SIdlePart {
  const CCmp* Part = nullptr;
  std::string Reason;  // one sentence for a hover
};

// The parts that the solver leaves out because no current can flow through them (on no closed
// path, or nowhere joined to the meter). The nodes must have been numbered by a reading.
std::vector<SIdlePart> IdleParts(const CCmps& cmps, const CCmp& meter);
