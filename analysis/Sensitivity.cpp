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

// M^T y = c with M = A + jwB from the pencil; empty where the transpose has no solution.
std::vector<LComplex> Adjoint(const SPencil& pencil, long double omega,
                              const std::vector<LComplex>& c) {
  std::map<std::pair<int, int>, SComplex> sum;
  for (const SMatrixEntry& e : pencil.A) {
    SComplex& v = sum[{e.Col, e.Row}];
    v.Re += e.Value.Re;
    v.Im += e.Value.Im;
  }
  for (const SMatrixEntry& e : pencil.B) {
    SComplex& v = sum[{e.Col, e.Row}];
    v.Re -= omega * e.Value.Im;
    v.Im += omega * e.Value.Re;
  }
  std::vector<SMatrixEntry> entries;
  entries.reserve(sum.size());
  for (const auto& [at, v] : sum) entries.push_back({at.first, at.second, v});
  const size_t n = static_cast<size_t>(pencil.Count);
  std::vector<SComplex> b(n), y(n);
  for (size_t i = 0; i < n; ++i) b[i] = {c[i].real(), c[i].imag()};
  CSparseLu lu;
  lu.Factor(pencil.Count, entries, false);
  if (!lu.Substitute(b.data(), y.data())) return {};
  std::vector<LComplex> out(n);
  for (size_t i = 0; i < n; ++i) out[i] = {y[i].Re, y[i].Im};
  return out;
}

bool FiniteComplex(LComplex z) {
  return std::isfinite(z.real()) && std::isfinite(z.imag());
}

void Differentiate(CCmps& cmps, CContraction& target, const CTopology& wiring, SSensitivities& s) {
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

SSensitivities Sensitivities(CCmps& cmps, const CCmp& meter, CCalc& solver, double hertz) {
  SSensitivities s;
  s.Hertz = hertz;
  SReleaseOnExit release{solver};
  solver.Cmps = &cmps;
  if (!solver.Build() || meter.Nodes.size() < 2) return s;
  if (!solver.Solve(meter.FirstExtra, hertz) || !solver.Finite) return s;
  const size_t n = static_cast<size_t>(solver.Count);
  const int32_t a = meter.Nodes[0], b = meter.Nodes[1];
  if (a < 0 || b < 0 || static_cast<size_t>(a) >= n || static_cast<size_t>(b) >= n) return s;

  // The solver publishes the negated solution; Z = x(a) - x(b).
  std::vector<LComplex> x(n), c(n);
  for (size_t i = 0; i < n; ++i) x[i] = {-solver.VecRe[i], -solver.VecIm[i]};
  const LComplex z = x[static_cast<size_t>(a)] - x[static_cast<size_t>(b)];
  if (!FiniteComplex(z)) return s;
  SPencil pencil;
  if (!solver.Pencil(meter.FirstExtra, pencil)) return s;
  const std::vector<uint8_t>& grounded = solver.Wiring().Grounded;
  if (a > 0 && !grounded[static_cast<size_t>(a)]) c[static_cast<size_t>(a)] += 1;
  if (b > 0 && !grounded[static_cast<size_t>(b)]) c[static_cast<size_t>(b)] -= 1;
  const long double omega = solver.Omega;
  const std::vector<LComplex> y = Adjoint(pencil, omega, c);
  if (y.empty()) return s;

  // w dM/dw = jw B.
  LComplex perOmega = 0;
  for (const SMatrixEntry& e : pencil.B)
    perOmega += y[static_cast<size_t>(e.Row)] * LComplex(e.Value.Re, e.Value.Im) *
                x[static_cast<size_t>(e.Col)];
  const LComplex scaledOmega = -LComplex(0, omega) * perOmega;
  s.Z = {static_cast<double>(z.real()), static_cast<double>(z.imag())};
  s.ScaledOmega = {static_cast<double>(scaledOmega.real()),
                   static_cast<double>(scaledOmega.imag())};
  CContraction target(y, x, omega, solver.Wiring());
  Differentiate(cmps, target, solver.Wiring(), s);
  s.Valid = true;
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

std::vector<double> ResonanceSensitivities(const SSensitivities& s, bool series) {
  const double none = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> out(s.Parts.size(), none);
  if (!s.Valid) return out;
  // The condition's imaginary part g(p, w) = 0 gives (p / w0) dw0/dp = -(p dg/dp) / (w dg/dw).
  // For a parallel resonance g = Im(1/Z), whose derivatives are those of Z times -1/Z^2.
  const std::complex<double> factor = series ? 1.0 : -1.0 / (s.Z * s.Z);
  const double slope = (s.ScaledOmega * factor).imag();
  if (slope == 0 || !std::isfinite(slope)) return out;
  for (size_t i = 0; i < s.Parts.size(); ++i) {
    if (!s.Parts[i].Finite) continue;
    const double v = -(s.Parts[i].Scaled * factor).imag() / slope;
    if (std::isfinite(v)) out[i] = v;
  }
  return out;
}
