// The six component kinds: their pins, bodies, parameter tables, symbols and stamps.
#include "components/Kinds.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <memory>

#include "components/Stamping.h"
#include "view/CVC.h"

namespace {

constexpr int32_t M = SymMove;
constexpr int32_t L = SymLine;
constexpr int32_t C = SymCircle;
constexpr int32_t E = SymDisc;
constexpr int32_t B = SymBar;

// Concatenates symbol fragments; the last one carries the terminating 0.
template <size_t... N>
constexpr auto Join(const std::array<int32_t, N>&... parts) {
  std::array<int32_t, (N + ...)> out{};
  size_t i = 0;
  ((std::copy(parts.begin(), parts.end(), out.begin() + static_cast<ptrdiff_t>(i)),
    i += parts.size()),
   ...);
  return out;
}

constexpr std::array<int32_t, 1> End = {SymEnd};

// clang-format off
constexpr auto MeterSymbol = Join(
    std::to_array<int32_t>({C, 32, 0, 22,  M, 0, 0,  L, 10, 0,  M, 54, 0,  L, 64, 0}),
    // the omega sign, one polyline
    std::to_array<int32_t>({M, 40, -10,  L, 40, -3,  L, 38, -3,  L, 33, -8,  L, 28, -9,
                            L, 24, -8,  L, 21, -5,  L, 20, -2,  L, 20, 2,  L, 21, 5,  L, 24, 8,
                            L, 28, 9,  L, 33, 8,  L, 38, 3,  L, 40, 3,  L, 40, 10}),
    End);

constexpr auto ResistorSymbol = Join(
    std::to_array<int32_t>({M, 0, 0,  L, 14, 0,  L, 17, 6,  L, 23, -6,  L, 29, 6,  L, 35, -6,
                            L, 41, 6,  L, 47, -6,  L, 50, 0,  L, 64, 0}),
    End);

constexpr auto CapacitorSymbol = Join(
    std::to_array<int32_t>({M, 0, 0,  L, 24, 0,  M, 64, 0,  L, 40, 0,
                            M, 25, 12,  L, 25, -12,  M, 39, 12,  L, 39, -12}),
    End);

constexpr auto InductorSymbol = Join(
    std::to_array<int32_t>({M, 0, 0,  L, 8, 0,
                            L, 10, -8,  L, 14, -12,  L, 18, -12,  L, 22, -8,  L, 24, 0,
                            L, 26, -8,  L, 30, -12,  L, 34, -12,  L, 38, -8,  L, 40, 0,
                            L, 42, -8,  L, 46, -12,  L, 50, -12,  L, 54, -8,  L, 56, 0,
                            L, 64, 0}),
    End);

// Winding 1 runs from pin 1 (0, 0) to pin 0 (64, 0); the dot marks the end at pin 0.
constexpr auto Winding1 = std::to_array<int32_t>({
    M, 0, 0,  L, 0, -10,  L, 8, -10,
    L, 10, -18,  L, 14, -22,  L, 18, -22,  L, 22, -18,  L, 24, -10,
    L, 26, -18,  L, 30, -22,  L, 34, -22,  L, 38, -18,  L, 40, -10,
    L, 42, -18,  L, 46, -22,  L, 50, -22,  L, 54, -18,  L, 56, -10,
    L, 64, -10,  L, 64, 0,  E, 62, -17, 2});

// Winding 2 runs from pin 3 (0, -64) to pin 2 (64, -64); the dot marks the end at pin 2.
constexpr auto Winding2 = std::to_array<int32_t>({
    M, 0, -64,  L, 0, -54,  L, 8, -54,
    L, 10, -46,  L, 14, -42,  L, 18, -42,  L, 22, -46,  L, 24, -54,
    L, 26, -46,  L, 30, -42,  L, 34, -42,  L, 38, -46,  L, 40, -54,
    L, 42, -46,  L, 46, -42,  L, 50, -42,  L, 54, -46,  L, 56, -54,
    L, 64, -54,  L, 64, -64,  E, 62, -47, 2});

constexpr auto CoupledSymbol = Join(
    Winding1, Winding2,
    // the curved double arrow left of the windings
    std::to_array<int32_t>({M, 0, -16,  L, -8, -24,  L, -10, -32,  L, -8, -40,  L, 0, -48,
                            L, -3, -40,  M, 0, -48,  L, -8, -45,  M, 0, -16,  L, -3, -24,
                            M, 0, -16,  L, -8, -19}),
    End);

constexpr auto TransformerSymbol = Join(
    Winding1, Winding2,
    // the core
    std::to_array<int32_t>({B, 8, -31, 56, -32}),
    End);
// clang-format on

const CPin TwoPins[2] = {{2, 0, 2}, {0, 0, 0}};
const CPin CoupledPins[4] = {{2, 0, 2}, {0, 0, 0}, {2, -2, 2}, {0, -2, 0}};
const CPin TransformerPins[4] = {{2, 0, 3}, {0, 0, 3}, {2, -2, 1}, {0, -2, 1}};

// A parameter entry whose value label has the same anchor in every orientation and the given
// alignment per orientation.
constexpr CParam Entry(const char* caption, const char* label, int32_t x, int32_t y,
                       std::array<int32_t, 4> align) {
  CParam entry{caption, label, nullptr, {}};
  for (size_t r = 0; r < 4; ++r) entry.Place[r] = {x, y, align[r]};
  return entry;
}

constexpr CParam ResistorParams[2] = {
    Entry("Resistor", "Resistance, Ohm", 32, -22, {0, 1, 0, -1}),
    {},
};
constexpr CParam CapacitorParams[2] = {
    Entry("Capacitor", "Capacitance, F", 32, -28, {0, 1, 0, -1}),
    {},
};
constexpr CParam InductorParams[2] = {
    Entry("Inductor", "Inductance, H", 32, -28, {0, 1, 0, -1}),
    {},
};
constexpr CParam CoupledParams[4] = {
    Entry("Coupled inductors", "Inductance 1, H", 32, 10, {0, -1, 0, 1}),
    Entry("Coupled inductors", "Inductance 2, H", 32, -74, {0, 1, 0, -1}),
    Entry("Coupled inductors", "Couplng coefficient", -28, -32, {-1, 0, 1, 0}),
    {},
};
constexpr CParam TransformerParams[3] = {
    Entry("Ideal transformer", "Number of turns 1", 32, 10, {0, -1, 0, 1}),
    Entry("Ideal transformer", "Number of turns 2", 32, -74, {0, 1, 0, -1}),
    {},
};

template <class Kind>
std::unique_ptr<CCmp> CreateKind(const SElemType* type) {
  return std::make_unique<Kind>(type);
}

}  // namespace

const SElemType CElemA::TypeRecord = {
    2, MeterSymbol.data(), TwoPins, {1, 0, 1, 0}, &CreateKind<CElemA>, nullptr, 1};
const SElemType CElemR::TypeRecord = {
    2, ResistorSymbol.data(), TwoPins, {1, 0, 1, 0}, &CreateKind<CElemR>, ResistorParams, 0};
const SElemType CElemC::TypeRecord = {
    2, CapacitorSymbol.data(), TwoPins, {1, 0, 1, 0}, &CreateKind<CElemC>, CapacitorParams, 1};
const SElemType CElemL::TypeRecord = {
    2, InductorSymbol.data(), TwoPins, {1, 0, 1, 0}, &CreateKind<CElemL>, InductorParams, 1};
const SElemType CElemLC::TypeRecord = {
    4, CoupledSymbol.data(), CoupledPins, {1, 0, 1, -2}, &CreateKind<CElemLC>, CoupledParams, 2};
const SElemType CElemW::TypeRecord = {4,
                                      TransformerSymbol.data(),
                                      TransformerPins,
                                      {1, 0, 1, -2},
                                      &CreateKind<CElemW>,
                                      TransformerParams,
                                      3};

// ---- meter

void CElemA::Stamp(CStampTarget& calc) const {
  calc.StampMeterBranch(Nodes[0], Nodes[1], FirstExtra);
}

// ---- resistor

CElemR::CElemR(const SElemType* type) : CCmp(type) {
  Values[0] = {1000.0, "1k"};
  BindParams(Values, 1);
}

int32_t CElemR::ExtraCount() const {
  return Values[0].Value == 0.0 ? 1 : 0;
}

void CElemR::Stamp(CStampTarget& calc) const {
  const double r = Values[0].Value;
  if (r == 0.0) {
    calc.StampVoltageBranch(Nodes[0], Nodes[1], FirstExtra);
  } else {
    calc.StampResistance(Nodes[0], Nodes[1], r);
  }
}

void CElemR::StampDerivative(CStampTarget& calc, int param) const {
  if (param != 0) return;
  const int a = Nodes[0], b = Nodes[1];
  const long double r = Values[0].Value;
  if (r == 0) {
    // The short's branch reads -v(a) + v(b) - r i = 0 around r = 0.
    calc.AddRe(FirstExtra, FirstExtra, -1);
    return;
  }
  if (a == b || std::isinf(r)) return;
  // The conductance 1 / r changes by -1 / r^2 per ohm.
  const long double dg = -1 / (r * r);
  calc.AddRe(a, a, -dg);
  calc.AddRe(a, b, dg);
  calc.AddRe(b, a, dg);
  calc.AddRe(b, b, -dg);
}

// ---- capacitor

CElemC::CElemC(const SElemType* type) : CCmp(type) {
  Values[0] = {1.0e-9, "1n"};
  Reactive = true;
  BindParams(Values, 1);
}

void CElemC::Stamp(CStampTarget& calc) const {
  const int a = Nodes[0], b = Nodes[1], k = FirstExtra;
  calc.StampCurrentBranch(a, b, k);
  const long double c = Values[0].Value;
  calc.AddOmegaIm(k, a, c);
  calc.AddOmegaIm(k, b, -c);
}

void CElemC::StampDerivative(CStampTarget& calc, int param) const {
  if (param != 0) return;
  calc.AddOmegaIm(FirstExtra, Nodes[0], 1);
  calc.AddOmegaIm(FirstExtra, Nodes[1], -1);
}

// ---- inductor

CElemL::CElemL(const SElemType* type) : CCmp(type) {
  Values[0] = {1.0e-6, "1u"};
  Reactive = true;
  BindParams(Values, 1);
}

void CElemL::Stamp(CStampTarget& calc) const {
  const int k = FirstExtra;
  calc.StampVoltageBranch(Nodes[0], Nodes[1], k);
  calc.SetOmegaIm(k, k, -static_cast<long double>(Values[0].Value));
}

void CElemL::StampDerivative(CStampTarget& calc, int param) const {
  if (param == 0) calc.AddOmegaIm(FirstExtra, FirstExtra, -1);
}

// ---- coupled inductors

CElemLC::CElemLC(const SElemType* type) : CCmp(type) {
  Values[0] = {1.0e-6, "1u"};
  Values[1] = {1.0e-6, "1u"};
  Values[2] = {1.0, "1"};
  Reactive = true;
  BindParams(Values, 3);
}

void CElemLC::Stamp(CStampTarget& calc) const {
  const double l1 = Values[0].Value;
  const double l2 = Values[1].Value;
  // The coefficient is used as stored, without clamping; both roundings to double are kept.
  const double product = l1 * l2;
  const double mutual = Values[2].Value * std::sqrt(product);
  const int k = FirstExtra;
  // A winding whose partner carries no current is a plain inductor.
  const bool first = calc.Carries(*this, 0);
  const bool second = calc.Carries(*this, 1);
  if (first) {
    calc.StampVoltageBranch(Nodes[0], Nodes[1], k);
    calc.SetOmegaIm(k, k, -static_cast<long double>(l1));
  }
  if (second) {
    calc.StampVoltageBranch(Nodes[2], Nodes[3], k + 1);
    calc.SetOmegaIm(k + 1, k + 1, -static_cast<long double>(l2));
  }
  if (first && second) {
    calc.SetOmegaIm(k, k + 1, -static_cast<long double>(mutual));
    calc.SetOmegaIm(k + 1, k, -static_cast<long double>(mutual));
  }
}

void CElemLC::StampDerivative(CStampTarget& calc, int param) const {
  const long double l1 = Values[0].Value;
  const long double l2 = Values[1].Value;
  const long double root = std::sqrt(static_cast<long double>(Values[0].Value * Values[1].Value));
  const int k = FirstExtra;
  const bool first = calc.Carries(*this, 0);
  const bool second = calc.Carries(*this, 1);
  // The mutual inductance k sqrt(L1 L2) per unit of the parameter.
  long double mutual = 0;
  if (param == 0 && first) {
    calc.AddOmegaIm(k, k, -1);
    mutual = Values[2].Value * l2 / (2 * root);
  } else if (param == 1 && second) {
    calc.AddOmegaIm(k + 1, k + 1, -1);
    mutual = Values[2].Value * l1 / (2 * root);
  } else if (param == 2) {
    mutual = root;
  }
  if (!first || !second || mutual == 0) return;
  calc.AddOmegaIm(k, k + 1, -mutual);
  calc.AddOmegaIm(k + 1, k, -mutual);
}

// ---- ideal transformer

CElemW::CElemW(const SElemType* type) : CCmp(type) {
  Values[0] = {1.0, "1"};
  Values[1] = {1.0, "1"};
  BindParams(Values, 2);
}

void CElemW::Stamp(CStampTarget& calc) const {
  // Unknown k is minus the voltage per turn; k + 1 and k + 2 carry the winding currents.
  // A winding without current forces none in the other: then neither is stamped.
  if (!calc.Carries(*this, 0) || !calc.Carries(*this, 1)) return;
  const int k = FirstExtra;
  const long double n1 = Values[0].Value;
  const long double n2 = Values[1].Value;
  calc.StampVoltageBranch(Nodes[0], Nodes[1], k + 1);
  calc.AddRe(k, k + 1, n1);
  calc.AddRe(k + 1, k, -n1);
  calc.StampVoltageBranch(Nodes[2], Nodes[3], k + 2);
  calc.AddRe(k, k + 2, n2);
  calc.AddRe(k + 2, k, -n2);
}

void CElemW::StampDerivative(CStampTarget& calc, int param) const {
  if (param < 0 || param > 1 || !calc.Carries(*this, 0) || !calc.Carries(*this, 1)) return;
  // Turns N1 enter the rows of unknowns k and k + 1, turns N2 those of k and k + 2.
  const int k = FirstExtra, winding = k + 1 + param;
  calc.AddRe(k, winding, 1);
  calc.AddRe(winding, k, -1);
}
