// Builder of networks in code; see Circuit.h.
#include "Circuit.h"

#include <algorithm>
#include <utility>

CCircuit::CCircuit(int32_t a, int32_t b) {
  Meter = Add(KindMeter, {a, b});
}

CCmp* CCircuit::Add(int kind, std::vector<int32_t> nodes, std::vector<double> values) {
  CCmp* cmp = Cmps.Create(kind);
  CParam* params = cmp->Params();
  for (size_t i = 0; i < values.size() && params != nullptr; ++i)
    params[i].Value->Value = values[i];
  Parts.push_back({kind, std::move(nodes), std::move(values), cmp});
  const SPart& part = Parts.back();
  for (size_t i = 0; i < part.Nodes.size() && i < cmp->Nodes.size(); ++i)
    cmp->Nodes[i] = part.Nodes[i];
  return cmp;
}

void CCircuit::Renumber() {
  for (const SPart& part : Parts)
    for (size_t i = 0; i < part.Nodes.size() && i < part.Cmp->Nodes.size(); ++i)
      part.Cmp->Nodes[i] = part.Nodes[i];
}

bool CCircuit::HasReactive() const {
  for (int i = 0; i < Cmps.Count(); ++i)
    if (Cmps.At(i)->Reactive) return true;
  return false;
}

SReadout CCircuit::Measure(double frequency, int unit, int displayMode, int digits, bool renumber) {
  if (renumber) Renumber();
  return MeasureImpedance(Cmps, *Meter, Solver,
                          {.frequency = frequency,
                           .frequencyUnit = unit,
                           .displayMode = displayMode,
                           .digits = digits,
                           .hasReactive = HasReactive()});
}

std::optional<std::complex<double>> CCircuit::Impedance(double hertz) {
  Renumber();
  Solver.Cmps = &Cmps;
  std::optional<std::complex<double>> z;
  if (Solver.Build() && Solver.Solve(Meter->FirstExtra, hertz)) {
    const size_t a = static_cast<size_t>(Meter->Nodes[0]);
    const size_t b = static_cast<size_t>(Meter->Nodes[1]);
    z = std::complex<double>(Solver.VecRe[b] - Solver.VecRe[a], Solver.VecIm[b] - Solver.VecIm[a]);
  }
  Solver.Release();
  return z;
}

void AddRcLadder(CCircuit& circuit, int sections, double ohms, double farads) {
  const int32_t a = circuit.Parts.front().Nodes[0];
  const int32_t b = circuit.Parts.front().Nodes[1];
  int32_t previous = a;
  int32_t next = a;
  for (int i = 0; i < sections; ++i) {
    ++next;
    if (next == b) ++next;  // the rail keeps the meter's own number
    circuit.R(previous, next, ohms);
    circuit.C(next, b, farads);
    previous = next;
  }
}
