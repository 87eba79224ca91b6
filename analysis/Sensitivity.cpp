// The adjoint method: with M x = b solved and Z = c^T x the meter's reading, the solution y of
// M^T y = c gives dZ/dp = -y^T (dM/dp) x for every parameter p at the price of one more solve.
// Each kind stamps dM/dp itself; the target below contracts the stamps with y and x at once.
#include "analysis/Sensitivity.h"

#include <cmath>
#include <limits>
#include <map>
#include <numbers>

#include "analysis/CCalc.h"
#include "analysis/SparseLu.h"
#include "components/CCmp.h"

namespace {

using LComplex = std::complex<long double>;

struct SReleaseOnExit {
  CCalc& solver;
  ~SReleaseOnExit() { solver.Release(); }
};

// Collects y^T D x for the derivative stamps D of one component. Index 0 is the reference,
// and a derivative only adds: an assignment counts as an addition.
class CContraction : public CStampTarget {
 public:
  CContraction(const std::vector<LComplex>& y, const std::vector<LComplex>& x, long double omega,
               const CTopology& wiring)
      : y(y), x(x), omega(omega), wiring(wiring) {}

  void Begin(int cmp) {
    current = cmp;
    Sum = 0;
  }

  void StampResistance(int, int, double) override {}
  void StampVoltageBranch(int, int, int) override {}
  void StampCurrentBranch(int, int, int) override {}
  void StampMeterBranch(int, int, int) override {}
  void AddRe(int row, int col, long double value) override { Add(row, col, {value, 0}); }
  void AddIm(int row, int col, long double value) override { Add(row, col, {0, value}); }
  void SetRe(int row, int col, long double value) override { AddRe(row, col, value); }
  void SetIm(int row, int col, long double value) override { AddIm(row, col, value); }
  void AddOmegaIm(int row, int col, long double coefficient) override {
    Add(row, col, {0, omega * coefficient});
  }
  void SetOmegaIm(int row, int col, long double coefficient) override {
    AddOmegaIm(row, col, coefficient);
  }
  bool Carries(const CCmp&, int winding) const override { return wiring.Live(current, winding); }

  LComplex Sum;

 private:
  void Add(int row, int col, LComplex value) {
    const size_t n = y.size();
    if (row <= 0 || col <= 0 || static_cast<size_t>(row) >= n || static_cast<size_t>(col) >= n)
      return;
    Sum += y[static_cast<size_t>(row)] * value * x[static_cast<size_t>(col)];
  }

  const std::vector<LComplex>& y;
  const std::vector<LComplex>& x;
  long double omega;
  const CTopology& wiring;
  int current = -1;
};

// The entries of M = A + jwB from the pencil, transposed on request. With `port` set, the
// meter's row (whose current the circuit is driven by) is replaced by v(a) - v(b): the port is
// then driven by a voltage, and the meter's current unknown carries -Y.
struct SPort {
  int row = -1;
  int a = 0, b = 0;  // the pins' unknowns; 0 where held at zero
};
std::vector<SMatrixEntry> Entries(const SPencil& pencil, long double omega, bool transpose,
                                  const SPort& port) {
  std::map<std::pair<int, int>, SComplex> sum;
  auto at = [&](int row, int col) -> SComplex& {
    return transpose ? sum[{col, row}] : sum[{row, col}];
  };
  for (const SMatrixEntry& e : pencil.A) {
    if (e.Row == port.row) continue;
    SComplex& v = at(e.Row, e.Col);
    v.Re += e.Value.Re;
    v.Im += e.Value.Im;
  }
  for (const SMatrixEntry& e : pencil.B) {
    if (e.Row == port.row) continue;
    SComplex& v = at(e.Row, e.Col);
    v.Re -= omega * e.Value.Im;
    v.Im += omega * e.Value.Re;
  }
  if (port.row >= 0 && port.a > 0) at(port.row, port.a).Re += 1;
  if (port.row >= 0 && port.b > 0) at(port.row, port.b).Re -= 1;
  std::vector<SMatrixEntry> entries;
  entries.reserve(sum.size());
  for (const auto& [where, v] : sum) entries.push_back({where.first, where.second, v});
  return entries;
}

// The solution of the system for the right-hand side c; empty where it has none.
std::vector<LComplex> SolveFor(int n, const std::vector<SMatrixEntry>& entries,
                               const std::vector<LComplex>& c) {
  const size_t count = static_cast<size_t>(n);
  std::vector<SComplex> b(count), y(count);
  for (size_t i = 0; i < count; ++i) b[i] = {c[i].real(), c[i].imag()};
  CSparseLu lu;
  lu.Factor(n, entries, false);
  if (!lu.Substitute(b.data(), y.data())) return {};
  std::vector<LComplex> out(count);
  for (size_t i = 0; i < count; ++i) out[i] = {y[i].Re, y[i].Im};
  return out;
}

bool FiniteComplex(LComplex z) {
  return std::isfinite(z.real()) && std::isfinite(z.imag());
}

void DifferentiateParts(CCmps& cmps, CContraction& target, const CTopology& wiring,
                        SSensitivities& s) {
  for (int i = 0; i < cmps.Count(); ++i) {
    const CCmp& cmp = *cmps.At(i);
    if (KindOf(cmp.Type) == KindMeter) continue;
    for (int j = 0; j < cmp.ParamCount(); ++j) {
      SPartSensitivity part{i, j, cmp.ParamValues()[j].Value, {}, true};
      if (wiring.Stamped(i)) {
        target.Begin(i);
        cmp.StampDerivative(target, j);
        const LComplex scaled = -target.Sum * static_cast<long double>(part.Value);
        part.Finite = FiniteComplex(scaled);
        if (part.Finite)
          part.Scaled = {static_cast<double>(scaled.real()), static_cast<double>(scaled.imag())};
      }
      s.Parts.push_back(part);
    }
  }
}

}  // namespace

namespace {

// Z (or Y) = value with the solution x and the adjoint y: its derivatives by frequency and by
// every part value.
void Differentiate(CCmps& cmps, const CCalc& solver, const SPencil& pencil, LComplex value,
                   const std::vector<LComplex>& x, const std::vector<LComplex>& y,
                   long double omega, SSensitivities& s) {
  // w dM/dw = jw B.
  LComplex perOmega = 0;
  for (const SMatrixEntry& e : pencil.B)
    perOmega += y[static_cast<size_t>(e.Row)] * LComplex(e.Value.Re, e.Value.Im) *
                x[static_cast<size_t>(e.Col)];
  const LComplex scaledOmega = -LComplex(0, omega) * perOmega;
  s.Z = {static_cast<double>(value.real()), static_cast<double>(value.imag())};
  s.ScaledOmega = {static_cast<double>(scaledOmega.real()),
                   static_cast<double>(scaledOmega.imag())};
  CContraction target(y, x, omega, solver.Wiring());
  DifferentiateParts(cmps, target, solver.Wiring(), s);
  s.Valid = true;
}

// The meter's pins as unknowns of the system: 0 where held at zero; false where either lies
// outside the numbering. The wiring must be analysed first (Pencil does).
bool PortOf(const CCalc& solver, const CCmp& meter, SPort& port) {
  const int32_t a = meter.Nodes[0], b = meter.Nodes[1];
  if (a < 0 || b < 0 || a >= solver.Count || b >= solver.Count) return false;
  const std::vector<uint8_t>& grounded = solver.Wiring().Grounded;
  port.row = meter.FirstExtra;
  port.a = grounded.size() > static_cast<size_t>(a) && grounded[static_cast<size_t>(a)] ? 0 : a;
  port.b = grounded.size() > static_cast<size_t>(b) && grounded[static_cast<size_t>(b)] ? 0 : b;
  return true;
}

}  // namespace

SSensitivities Sensitivities(CCmps& cmps, const CCmp& meter, CCalc& solver, double hertz) {
  SSensitivities s;
  s.Hertz = hertz;
  SReleaseOnExit release{solver};
  solver.Cmps = &cmps;
  if (!solver.Build() || meter.Nodes.size() < 2) return s;
  if (!solver.Solve(meter.FirstExtra, hertz) || !solver.Finite) return s;
  SPencil pencil;
  SPort port;
  if (!solver.Pencil(meter.FirstExtra, pencil) || !PortOf(solver, meter, port)) return s;
  // The solver publishes the negated solution; Z = x(a) - x(b).
  const size_t n = static_cast<size_t>(solver.Count);
  std::vector<LComplex> x(n), c(n);
  for (size_t i = 0; i < n; ++i) x[i] = {-solver.VecRe[i], -solver.VecIm[i]};
  const LComplex z =
      x[static_cast<size_t>(meter.Nodes[0])] - x[static_cast<size_t>(meter.Nodes[1])];
  if (!FiniteComplex(z)) return s;
  if (port.a > 0) c[static_cast<size_t>(port.a)] += 1;
  if (port.b > 0) c[static_cast<size_t>(port.b)] -= 1;
  const long double omega = solver.Omega;
  const std::vector<LComplex> y = SolveFor(solver.Count, Entries(pencil, omega, true, {}), c);
  if (y.empty()) return s;
  Differentiate(cmps, solver, pencil, z, x, y, omega, s);
  return s;
}

SSensitivities AdmittanceSensitivities(CCmps& cmps, const CCmp& meter, CCalc& solver,
                                       double hertz) {
  SSensitivities s;
  s.Hertz = hertz;
  s.Admittance = true;
  SReleaseOnExit release{solver};
  solver.Cmps = &cmps;
  if (!solver.Build() || meter.Nodes.size() < 2) return s;
  SPencil pencil;
  SPort port;
  if (!solver.Pencil(meter.FirstExtra, pencil) || !PortOf(solver, meter, port)) return s;
  if (port.a == 0 && port.b == 0) return s;
  // Driven by 1 V, the meter's current unknown carries -Y.
  const size_t n = static_cast<size_t>(solver.Count), k = static_cast<size_t>(port.row);
  const long double omega = static_cast<long double>(hertz) * 2 * std::numbers::pi_v<long double>;
  std::vector<LComplex> e(n);
  e[k] = 1;
  const std::vector<LComplex> x = SolveFor(solver.Count, Entries(pencil, omega, false, port), e);
  if (x.empty() || !FiniteComplex(x[k])) return s;
  e[k] = -1;
  const std::vector<LComplex> y = SolveFor(solver.Count, Entries(pencil, omega, true, port), e);
  if (y.empty()) return s;
  Differentiate(cmps, solver, pencil, -x[k], x, y, omega, s);
  return s;
}

bool NormalisedSensitivity(int displayMode, std::complex<double> z, std::complex<double> scaled,
                           double& first, double& second) {
  first = second = 0;
  const double magnitude = std::abs(z);
  if (magnitude == 0 || !std::isfinite(magnitude) || !std::isfinite(scaled.real()) ||
      !std::isfinite(scaled.imag()))
    return false;
  if (displayMode != 1) {
    first = scaled.real() / magnitude;
    second = scaled.imag() / magnitude;
    return true;
  }
  // d|Z| / |Z| = Re(dZ / Z) and d(angle Z) = Im(dZ / Z); the readout's phase is the negated angle.
  const std::complex<double> relative = scaled / z;
  first = relative.real();
  second = -relative.imag() * 180 / std::numbers::pi;
  return true;
}

std::vector<double> ResonanceSensitivities(const SSensitivities& s) {
  const double none = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> out(s.Parts.size(), none);
  if (!s.Valid) return out;
  // The condition Im g(p, w) = 0, g being Z or Y, gives (p / w0) dw0/dp = -Im(p dg/dp) /
  // Im(w dg/dw).
  const double slope = s.ScaledOmega.imag();
  if (slope == 0 || !std::isfinite(slope)) return out;
  for (size_t i = 0; i < s.Parts.size(); ++i) {
    if (!s.Parts[i].Finite) continue;
    const double v = -s.Parts[i].Scaled.imag() / slope;
    if (std::isfinite(v)) out[i] = v;
  }
  return out;
}
