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
#include <numbers>

namespace {

constexpr double TwoPi = 2 * std::numbers::pi;
// Relative distance from the axis under which a root counts as lossless.
constexpr double AxisTolerance = 1e-10;

bool Roots(const std::vector<SPencilEntry>& entries, double s0,
           std::vector<std::complex<double>>& roots) {
  // Compact numbers for the unknowns that occur.
  std::vector<int> index;
  for (const SPencilEntry& e : entries) {
    index.push_back(e.Row);
    index.push_back(e.Col);
  }
  std::sort(index.begin(), index.end());
  index.erase(std::unique(index.begin(), index.end()), index.end());
  const auto at = [&](int unknown) {
    return static_cast<int>(std::lower_bound(index.begin(), index.end(), unknown) - index.begin());
  };
  const int n = static_cast<int>(index.size());
  std::vector<Eigen::Triplet<double>> shifted, omega;
  std::vector<int> modeColumns;
  for (const SPencilEntry& e : entries) {
    shifted.emplace_back(at(e.Row), at(e.Col), e.A + s0 * e.B);
    if (e.B == 0) continue;
    omega.emplace_back(at(e.Row), at(e.Col), e.B);
    modeColumns.push_back(at(e.Col));
  }
  std::sort(modeColumns.begin(), modeColumns.end());
  modeColumns.erase(std::unique(modeColumns.begin(), modeColumns.end()), modeColumns.end());
  const int k = static_cast<int>(modeColumns.size());
  if (k > MaxModeUnknowns) return false;
  Eigen::SparseMatrix<double> m0(n, n), b(n, n);
  m0.setFromTriplets(shifted.begin(), shifted.end());
  b.setFromTriplets(omega.begin(), omega.end());
  Eigen::SparseLU<Eigen::SparseMatrix<double>> lu;
  lu.compute(m0);
  if (lu.info() != Eigen::Success) return false;
  Eigen::MatrixXd block(k, k);
  for (int j = 0; j < k; ++j) {
    const Eigen::VectorXd w = lu.solve(Eigen::VectorXd(b.col(modeColumns[static_cast<size_t>(j)])));
    if (lu.info() != Eigen::Success || !w.allFinite()) return false;
    for (int i = 0; i < k; ++i) block(i, j) = w(modeColumns[static_cast<size_t>(i)]);
  }
  roots.clear();
  if (k == 0) return true;
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
  if (!Roots(pencil.Entries, s0, natural.Poles)) return natural;
  // The shorted port: the meter's row ties its pins instead of setting its current.
  std::vector<SPencilEntry> shorted;
  for (const SPencilEntry& e : pencil.Entries)
    if (e.Row != pencil.MeterRow) shorted.push_back(e);
  if (pencil.PinA >= 0) shorted.push_back({pencil.MeterRow, pencil.PinA, -1, 0});
  if (pencil.PinB >= 0) shorted.push_back({pencil.MeterRow, pencil.PinB, 1, 0});
  natural.Known = Roots(shorted, s0, natural.Zeros);
  return natural;
}
