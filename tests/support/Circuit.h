// Networks assembled in code for the solver's tests and benchmarks: components are created
// through the kind table, their pins get node numbers and their values are set directly.
#pragma once

#include <complex>
#include <cstdint>
#include <optional>
#include <vector>

#include "analysis/CCalc.h"
#include "analysis/Measure.h"
#include "components/CCmp.h"

class CCircuit {
 public:
  // One part as it was added, kept for writing the same network in another notation.
  struct SPart {
    int Kind = 0;
    std::vector<int32_t> Nodes;
    std::vector<double> Values;
    CCmp* Cmp = nullptr;
  };

  // The meter comes first, its pin 0 on node `a` and pin 1 on node `b`.
  explicit CCircuit(int32_t a = 1, int32_t b = 2);

  CCmp* Add(int kind, std::vector<int32_t> nodes, std::vector<double> values = {});
  CCmp* R(int32_t a, int32_t b, double ohms) { return Add(KindR, {a, b}, {ohms}); }
  CCmp* C(int32_t a, int32_t b, double farads) { return Add(KindC, {a, b}, {farads}); }
  CCmp* L(int32_t a, int32_t b, double henries) { return Add(KindL, {a, b}, {henries}); }
  CCmp* Coupled(int32_t a, int32_t b, int32_t c, int32_t d, double l1, double l2, double k) {
    return Add(KindLC, {a, b, c, d}, {l1, l2, k});
  }
  CCmp* Transformer(int32_t a, int32_t b, int32_t c, int32_t d, double n1, double n2) {
    return Add(KindW, {a, b, c, d}, {n1, n2});
  }

  // Puts back the node numbers the parts were added with, as a renumbering of the wiring would.
  void Renumber();
  bool HasReactive() const;

  // The readout texts; renumbers first unless told not to.
  SReadout Measure(double frequency, int unit = 0, int displayMode = 0, int digits = 3,
                   bool renumber = true);
  // The impedance between the meter's pins at `hertz`, or none when the solver finds no
  // solution (or the build fails).
  std::optional<std::complex<double>> Impedance(double hertz);

  CCmps Cmps;
  CCmp* Meter = nullptr;
  CCalc Solver;
  std::vector<SPart> Parts;
};

// An RC ladder across the meter: `sections` series resistors along a line from the meter's
// pin 0, each followed by a capacitor back to the rail on the meter's pin 1. The line's nodes
// are numbered upwards from pin 0's number, passing over the rail's.
void AddRcLadder(CCircuit& circuit, int sections, double ohms = 1000.0, double farads = 1e-9);
