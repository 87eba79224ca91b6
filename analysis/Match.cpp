#include "Match.h"

#include <cmath>
#include <limits>

namespace {

bool IsReference(double z0) {
  return std::isfinite(z0) && z0 > 0.0;
}

bool IsNumber(std::complex<double> z) {
  return !std::isnan(z.real()) && !std::isnan(z.imag());
}

}  // namespace

std::optional<std::complex<double>> Reflection(std::complex<double> z, double z0) {
  if (!IsReference(z0) || !IsNumber(z)) return std::nullopt;
  if (std::isinf(z.real()) || std::isinf(z.imag())) return std::complex<double>(1.0, 0.0);
  // Scaled by Z0 first, so that a huge or tiny Z0 does not overflow the sums.
  const std::complex<double> zn = z / z0;
  const std::complex<double> gamma = (zn - 1.0) / (zn + 1.0);
  if (!IsNumber(gamma)) return std::complex<double>(1.0, 0.0);  // |Z| beyond the range of a sum
  return gamma;
}

std::optional<std::complex<double>> ImpedanceOfReflection(std::complex<double> gamma, double z0) {
  if (!IsReference(z0) || !IsNumber(gamma)) return std::nullopt;
  const std::complex<double> denominator = 1.0 - gamma;
  if (denominator == 0.0) return std::complex<double>(std::numeric_limits<double>::infinity(), 0.0);
  return z0 * (1.0 + gamma) / denominator;
}

SMatch MatchFigures(std::complex<double> z, double z0) {
  SMatch match;
  match.Gamma = Reflection(z, z0);
  if (!match.Gamma) return match;
  const double magnitude = std::abs(*match.Gamma);
  constexpr double infinity = std::numeric_limits<double>::infinity();
  match.ReturnLossDb = magnitude == 0.0 ? infinity : -20.0 * std::log10(magnitude);
  if (magnitude > 1.0) return match;
  const double transmitted = 1.0 - magnitude;
  match.Vswr = transmitted == 0.0 ? infinity : (1.0 + magnitude) / transmitted;
  // 1 − |Γ|² as (1 − |Γ|)(1 + |Γ|) keeps its digits near a full reflection.
  const double delivered = transmitted * (1.0 + magnitude);
  match.MismatchLossDb = delivered == 0.0 ? infinity : -10.0 * std::log10(delivered);
  return match;
}
