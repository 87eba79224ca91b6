// Natural frequencies by shift and invert: with M0 = A + s0 B for a real s0 > 0 (never a root
// of a passive network), A + sB = M0 (I + (s - s0) M0⁻¹B). Only the columns where B has entries
// take part, so the eigenvalues μ of that small block of M0⁻¹B give every finite root as
// s0 - 1/μ; a zero μ is a root at infinity.
#include "analysis/NaturalFrequencies.h"

#include <Eigen/Dense>
#include <Eigen/Eigenvalues>
#include <Eigen/SparseCore>
#include <Eigen/SparseLU>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace {

constexpr double TwoPi = 2 * std::numbers::pi;
// Relative distance from the axis under which a root counts as lossless.
constexpr double AxisTolerance = 1e-10;

// Compact numbers for the unknowns that occur in a pencil.
struct SCompact {
  std::vector<int> Index;
  explicit SCompact(const std::vector<SPencilEntry>& entries) {
    for (const SPencilEntry& e : entries) {
      Index.push_back(e.Row);
      Index.push_back(e.Col);
    }
    std::sort(Index.begin(), Index.end());
    Index.erase(std::unique(Index.begin(), Index.end()), Index.end());
  }
  int Size() const { return static_cast<int>(Index.size()); }
  int At(int unknown) const {
    return static_cast<int>(std::lower_bound(Index.begin(), Index.end(), unknown) - Index.begin());
  }
};

Eigen::SparseMatrix<double> Shifted(const std::vector<SPencilEntry>& entries, double s0,
                                    const SCompact& c) {
  std::vector<Eigen::Triplet<double>> t;
  for (const SPencilEntry& e : entries) t.emplace_back(c.At(e.Row), c.At(e.Col), e.A + s0 * e.B);
  Eigen::SparseMatrix<double> m(c.Size(), c.Size());
  m.setFromTriplets(t.begin(), t.end());
  return m;
}

// The eigenvalues of the block of M0⁻¹B on the columns where B has entries.
bool ModeBlock(const std::vector<SPencilEntry>& entries, double s0, Eigen::MatrixXd& block) {
  const SCompact c(entries);
  std::vector<Eigen::Triplet<double>> omega;
  std::vector<int> modes;
  for (const SPencilEntry& e : entries) {
    if (e.B == 0) continue;
    omega.emplace_back(c.At(e.Row), c.At(e.Col), e.B);
    modes.push_back(c.At(e.Col));
  }
  std::sort(modes.begin(), modes.end());
  modes.erase(std::unique(modes.begin(), modes.end()), modes.end());
  const int k = static_cast<int>(modes.size());
  if (k > MaxModeUnknowns) return false;
  Eigen::SparseMatrix<double> b(c.Size(), c.Size());
  b.setFromTriplets(omega.begin(), omega.end());
  Eigen::SparseLU<Eigen::SparseMatrix<double>> lu;
  lu.compute(Shifted(entries, s0, c));
  if (lu.info() != Eigen::Success) return false;
  block.resize(k, k);
  for (int j = 0; j < k; ++j) {
    const Eigen::VectorXd w = lu.solve(Eigen::VectorXd(b.col(modes[static_cast<size_t>(j)])));
    if (lu.info() != Eigen::Success || !w.allFinite()) return false;
    for (int i = 0; i < k; ++i) block(i, j) = w(modes[static_cast<size_t>(i)]);
  }
  return true;
}

// A pencil whose equations repeat each other (two transformers in parallel) is singular at
// every frequency. Its regular part keeps the independent rows and columns, found at s0, the
// meter's row and current among them; the unknowns left out are held at zero, as the solver
// holds them. False when there is none that small.
bool RegularPart(std::vector<SPencilEntry>& entries, double s0, int meterRow) {
  const SCompact c(entries);
  if (c.Size() > 2 * MaxModeUnknowns) return false;
  const Eigen::MatrixXd m = Eigen::MatrixXd(Shifted(entries, s0, c));
  const Eigen::ColPivHouseholderQR<Eigen::MatrixXd> cols(m), rows(m.transpose());
  if (cols.rank() != rows.rank() || cols.rank() == c.Size()) return false;
  std::vector<uint8_t> keepRow(c.Index.size()), keepCol(c.Index.size());
  for (Eigen::Index i = 0; i < cols.rank(); ++i) {
    keepCol[static_cast<size_t>(cols.colsPermutation().indices()[i])] = 1;
    keepRow[static_cast<size_t>(rows.colsPermutation().indices()[i])] = 1;
  }
  const size_t meter = static_cast<size_t>(c.At(meterRow));
  if (!keepRow[meter] || !keepCol[meter]) return false;
  std::erase_if(entries, [&](const SPencilEntry& e) {
    return !keepRow[static_cast<size_t>(c.At(e.Row))] || !keepCol[static_cast<size_t>(c.At(e.Col))];
  });
  return true;
}

bool Roots(std::vector<SPencilEntry> entries, double s0, int meterRow,
           std::vector<std::complex<double>>& roots) {
  Eigen::MatrixXd block;
  if (!ModeBlock(entries, s0, block) &&
      !(RegularPart(entries, s0, meterRow) && ModeBlock(entries, s0, block)))
    return false;
  roots.clear();
  if (block.size() == 0) return true;
  const Eigen::EigenSolver<Eigen::MatrixXd> solver(block, false);
  if (solver.info() != Eigen::Success) return false;
  for (const std::complex<double> mu : solver.eigenvalues()) {
    if (mu == 0.0) continue;
    const std::complex<double> s = (s0 - 1.0 / mu) / TwoPi;
    if (std::isfinite(s.real()) && std::isfinite(s.imag())) roots.push_back(s);
  }
  return true;
}

}  // namespace

bool OnAxis(std::complex<double> root) {
  return std::fabs(root.real()) <= AxisTolerance * std::abs(root);
}

SNaturalFrequencies NaturalFrequencies(const SMeterPencil& pencil, double centreHertz) {
  SNaturalFrequencies natural;
  if (pencil.MeterRow < 0 || !(centreHertz > 0) || !std::isfinite(centreHertz)) return natural;
  const double s0 = TwoPi * centreHertz;
  if (!Roots(pencil.Entries, s0, pencil.MeterRow, natural.Poles)) return natural;
  // The shorted port: the meter's row ties its pins instead of setting its current.
  std::vector<SPencilEntry> shorted;
  for (const SPencilEntry& e : pencil.Entries)
    if (e.Row != pencil.MeterRow) shorted.push_back(e);
  if (pencil.PinA >= 0) shorted.push_back({pencil.MeterRow, pencil.PinA, -1, 0});
  if (pencil.PinB >= 0) shorted.push_back({pencil.MeterRow, pencil.PinB, 1, 0});
  natural.Known = Roots(shorted, s0, pencil.MeterRow, natural.Zeros);
  return natural;
}
