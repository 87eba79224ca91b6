// The sweep: one build, one solve per frequency, one release.
#include "analysis/Sweep.h"

#include <algorithm>
#include <cmath>

#include "analysis/CCalc.h"
#include "analysis/Measure.h"
#include "components/CCmp.h"

CImpedanceProbe::CImpedanceProbe(CCmps& cmps, const CCmp& m, CCalc& s) : meter(m), solver(s) {
  solver.Cmps = &cmps;
  built = solver.Build();
}

CImpedanceProbe::~CImpedanceProbe() {
  solver.Release();
}

SImpedance CImpedanceProbe::At(double hertz) {
  if (!built || !solver.Resolve(meter.FirstExtra, hertz)) return std::nullopt;
  const SImpedance z = MeterReading(solver, meter);
  if (!z || !std::isfinite(z->real()) || !std::isfinite(z->imag())) return std::nullopt;
  return z;
}

SImpedance CImpedanceProbe::AtListed(const std::vector<double>& hertz, size_t i) {
  if (built)
    solver.Prefactor(meter.FirstExtra, hertz.data() + i,
                     std::min(CSparseLu::Lanes, hertz.size() - i));
  return At(hertz[i]);
}

bool CImpedanceProbe::Pencil(SMeterPencil& pencil) {
  pencil = {};
  SPencil system;
  if (!built || meter.Nodes.size() < 2 || !solver.Pencil(meter.FirstExtra, system)) return false;
  const std::vector<uint8_t>& grounded = solver.Wiring().Grounded;
  const auto kept = [&](int unknown) {
    return unknown > 0 && unknown < system.Count && !grounded[static_cast<size_t>(unknown)]
               ? unknown
               : -1;
  };
  pencil.MeterRow = kept(meter.FirstExtra);
  pencil.PinA = kept(meter.Nodes[0]);
  pencil.PinB = kept(meter.Nodes[1]);
  // Both parts are real: the pencil of a network of real parts.
  for (const SMatrixEntry& e : system.A)
    pencil.Entries.push_back({e.Row, e.Col, static_cast<double>(e.Value.Re), 0});
  for (const SMatrixEntry& e : system.B)
    pencil.Entries.push_back({e.Row, e.Col, 0, static_cast<double>(e.Value.Re)});
  return pencil.MeterRow >= 0;
}

std::vector<SImpedance> CImpedanceProbe::Sweep(const std::vector<double>& hertz,
                                               const std::atomic<bool>* cancel) {
  std::vector<SImpedance> out(hertz.size());
  for (size_t i = 0; i < hertz.size(); ++i) {
    if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) break;
    out[i] = AtListed(hertz, i);
  }
  return out;
}

bool CImpedanceProbe::Restamp() {
  built = built && solver.Restamp(meter.FirstExtra);
  return built;
}

std::vector<SImpedance> SweepImpedance(CCmps& cmps, const CCmp& meter, CCalc& solver,
                                       const std::vector<double>& hertz,
                                       const std::atomic<bool>* cancel) {
  CImpedanceProbe probe(cmps, meter, solver);
  return probe.Sweep(hertz, cancel);
}

SImpedance ImpedanceAt(CCmps& cmps, const CCmp& meter, CCalc& solver, double hertz) {
  return SweepImpedance(cmps, meter, solver, {hertz}).front();
}
