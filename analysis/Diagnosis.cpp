// The diagnosis of a missing reading: the wiring verdict, the parts open at the frequency, the
// rows of a contradiction, and values that are not numbers, each turned into one sentence.
#include "analysis/Diagnosis.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "analysis/CCalc.h"
#include "analysis/Measure.h"
#include "analysis/UnionFind.h"
#include "components/CCmp.h"
#include "components/Kinds.h"
#include "value/Frequency.h"
#include "value/Value.h"

namespace {

bool IsKind(const CCmp& cmp, const SElemType& type) {
  return cmp.Type == &type;
}

std::vector<SParam> ValuesOf(const CCmp& cmp) {
  return {cmp.ParamValues(), cmp.ParamValues() + cmp.ParamCount()};
}

std::string HertzText(double hertz) {
  const int unit = FrequencyUnitOf(hertz);
  return FormatValue(4, hertz / std::pow(1e3, unit)) + FrequencyUnitSuffix(unit);
}

// "a", "a and b", "a, b and c"; beyond four names the rest is counted.
std::string JoinNames(const std::vector<std::string>& names) {
  constexpr size_t Shown = 4;
  std::vector<std::string> list(names.begin(),
                                names.begin() + static_cast<long>(std::min(names.size(), Shown)));
  if (names.size() > Shown) list.push_back(std::to_string(names.size() - Shown) + " more parts");
  std::string out;
  for (size_t i = 0; i < list.size(); ++i) {
    if (i > 0) out += i + 1 == list.size() ? " and " : ", ";
    out += list[i];
  }
  return out;
}

std::string Capitalised(std::string text) {
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 32);
  return text;
}

// Why a stamped part passes no current at this frequency, or empty when it passes some.
std::string OpenReason(const CCmp& cmp, double hertz) {
  if (IsKind(cmp, CElemR::TypeRecord)) {
    const double r = ValuesOf(cmp)[0].Value;
    if (std::isinf(r)) return "is open (infinite resistance)";
  }
  if (IsKind(cmp, CElemC::TypeRecord)) {
    const double c = ValuesOf(cmp)[0].Value;
    if (c == 0) return "is open (no capacitance)";
    if (hertz == 0) return "is open at 0 Hz";
    if (static_cast<long double>(hertz) * 2 * std::numbers::pi * c == 0)
      return "is open at this frequency";
  }
  return {};
}

SNoAnswer Answer(ENoAnswer kind, std::string sentence, std::vector<const CCmp*> parts = {}) {
  return {kind, std::move(sentence), std::move(parts)};
}

SNoAnswer NotFinite(CCalc& solver, double hertz) {
  if (!std::isfinite(hertz * 2 * std::numbers::pi))
    return Answer(ENoAnswer::NotFinite, "The frequency is beyond the range of numbers");
  std::vector<const CCmp*> parts;
  std::vector<std::string> ownValue, product;
  bool notNumber = false;
  for (int i : solver.NonFiniteComponents()) {
    const CCmp* cmp = solver.Cmps->At(i);
    parts.push_back(cmp);
    bool own = false;
    for (const SParam& v : ValuesOf(*cmp))
      if (!std::isfinite(v.Value)) {
        own = true;
        notNumber |= std::isnan(v.Value);
      }
    (own ? ownValue : product).push_back(PartName(*cmp));
  }
  std::string sentence;
  if (!ownValue.empty())
    sentence =
        "The value of " + JoinNames(ownValue) + (notNumber ? " is not a number" : " is infinite");
  if (!product.empty()) {
    if (!sentence.empty()) sentence += "; ";
    sentence += "at " + HertzText(hertz) + " no finite number comes out of " + JoinNames(product);
  }
  if (sentence.empty()) sentence = "A value of the circuit is not a finite number";
  return Answer(ENoAnswer::NotFinite, Capitalised(sentence), parts);
}

// The meter's galvanic group holds a path, but each ends on a transformer winding whose partner
// carries nothing: name those transformers.
SNoAnswer CutOff(CCalc& solver) {
  std::vector<const CCmp*> parts;
  std::vector<std::string> names;
  const CTopology& wiring = solver.Wiring();
  for (int i = 0; i < solver.Cmps->Count(); ++i) {
    const CCmp* cmp = solver.Cmps->At(i);
    if (!IsKind(*cmp, CElemW::TypeRecord)) continue;
    if (wiring.PartnerIdleWinding(i, 0) || wiring.PartnerIdleWinding(i, 1)) {
      parts.push_back(cmp);
      names.push_back("the other winding of " + PartName(*cmp));
    }
  }
  if (names.empty()) return Answer(ENoAnswer::OpenPaths, "The meter's current has no path");
  return Answer(ENoAnswer::OpenPaths,
                "The meter's current has no path: " + JoinNames(names) +
                    (names.size() == 1 ? " is open" : " are open"),
                parts);
}

// The system has no solution although the wiring closes the meter's path. Either parts that
// are open at this frequency break every path, or the equations contradict each other.
SNoAnswer NoSolution(CCalc& solver, const CCmp& meter, double hertz) {
  CCmps& cmps = *solver.Cmps;
  const CTopology& wiring = solver.Wiring();
  CTopology opened;
  opened.Open.assign(static_cast<size_t>(cmps.Count()), 0);
  bool anyOpen = false;
  for (int i = 0; i < cmps.Count(); ++i)
    if (wiring.Stamped(i) && !OpenReason(*cmps.At(i), hertz).empty()) {
      opened.Open[static_cast<size_t>(i)] = 1;
      anyOpen = true;
    }
  if (anyOpen && !opened.Analyse(cmps, solver.NodeCount(), solver.Count, meter.FirstExtra)) {
    // Name the open parts that nothing else bridges: those the current would have to pass.
    CUnion groups(solver.NodeCount() + 1);
    for (int i = 0; i < cmps.Count(); ++i) {
      const CCmp* cmp = cmps.At(i);
      if (!wiring.Stamped(i) || opened.Open[static_cast<size_t>(i)] || cmp == &meter) continue;
      for (size_t p = 0; p + 1 < cmp->Nodes.size(); p += 2)
        groups.Join(cmp->Nodes[p], cmp->Nodes[p + 1]);
    }
    std::vector<const CCmp*> all, needed;
    for (int i = 0; i < cmps.Count(); ++i) {
      if (!opened.Open[static_cast<size_t>(i)]) continue;
      const CCmp* cmp = cmps.At(i);
      all.push_back(cmp);
      if (groups.Find(cmp->Nodes[0]) != groups.Find(cmp->Nodes[1])) needed.push_back(cmp);
    }
    const std::vector<const CCmp*>& named = needed.empty() ? all : needed;
    std::vector<std::string> clauses;
    for (const CCmp* cmp : named) clauses.push_back(PartName(*cmp) + " " + OpenReason(*cmp, hertz));
    return Answer(ENoAnswer::OpenPaths, "The meter's current has no path: " + JoinNames(clauses),
                  named);
  }

  std::vector<const CCmp*> parts;
  std::vector<std::string> names;
  for (int i : solver.ContradictingComponents(meter.FirstExtra)) {
    parts.push_back(cmps.At(i));
    names.push_back(PartName(*cmps.At(i)));
  }
  // The hint is given only where it holds: a nearby frequency does give a number.
  const bool nearby =
      hertz > 0 && solver.Solve(meter.FirstExtra, hertz * (1 + 1e-6)) && solver.Finite;
  std::string sentence;
  if (nearby) {
    sentence = "Singular at " + HertzText(hertz);
    if (!names.empty())
      sentence += ": " + JoinNames(names) + (names.size() == 1 ? " resonates" : " resonate");
    sentence += "; a slightly different frequency gives a value";
  } else {
    sentence = "The circuit's equations have no solution";
    if (!names.empty()) sentence += ": those of " + JoinNames(names) + " contradict each other";
  }
  return Answer(ENoAnswer::Singular, sentence, parts);
}

}  // namespace

std::string PartName(const CCmp& cmp) {
  if (IsKind(cmp, CElemA::TypeRecord)) return "the meter";
  const std::vector<SParam> v = ValuesOf(cmp);
  auto text = [&](size_t i) { return i < v.size() ? TrimText(v[i].Text) : std::string(); };
  if (IsKind(cmp, CElemR::TypeRecord)) return "the " + text(0) + " resistor";
  if (IsKind(cmp, CElemC::TypeRecord)) return "the " + text(0) + " capacitor";
  if (IsKind(cmp, CElemL::TypeRecord)) return "the " + text(0) + " inductor";
  if (IsKind(cmp, CElemLC::TypeRecord))
    return "the " + text(0) + "/" + text(1) + " coupled inductors";
  if (IsKind(cmp, CElemW::TypeRecord)) return "the " + text(0) + ":" + text(1) + " transformer";
  return "a part";
}

SNoAnswer DiagnoseNoAnswer(CCmps& cmps, const CCmp& meter, double hertz) {
  CCalc solver;
  solver.Cmps = &cmps;
  if (!solver.Build()) return Answer(ENoAnswer::Unsolvable, "The circuit is too large to solve");
  if (meter.Nodes.size() < 2)
    return Answer(ENoAnswer::Unsolvable, "The meter cannot be read", {&meter});

  const bool solved = solver.Solve(meter.FirstExtra, hertz);
  if (!solver.Finite) return NotFinite(solver, hertz);
  if (!solved) {
    switch (solver.Wiring().Verdict) {
      case CTopology::MeterOpen:
        return Answer(ENoAnswer::NotConnected,
                      "The meter's pins are not connected through any component", {&meter});
      case CTopology::MeterCutOff:
        return CutOff(solver);
      case CTopology::NodesInvalid:
        return Answer(ENoAnswer::Unsolvable, "The meter cannot be read", {&meter});
      case CTopology::MeterClosed:
        break;
    }
    return NoSolution(solver, meter, hertz);
  }

  const std::optional<std::complex<double>> z = MeterReading(solver, meter);
  if (!z) return Answer(ENoAnswer::Unsolvable, "The meter cannot be read", {&meter});
  if (!std::isfinite(z->real()) || !std::isfinite(z->imag()))
    return Answer(ENoAnswer::Overflow,
                  "The impedance at " + HertzText(hertz) + " is beyond the range of numbers");
  return {};
}

std::vector<SIdlePart> IdleParts(const CCmps& cmps, const CCmp& meter) {
  int nodes = 0;
  for (int i = 0; i < cmps.Count(); ++i)
    for (int32_t node : cmps.At(i)->Nodes) nodes = std::max(nodes, static_cast<int>(node));
  CTopology wiring;
  wiring.Analyse(cmps, nodes, nodes + 1, meter.FirstExtra);
  std::vector<SIdlePart> idle;
  for (int i = 0; i < cmps.Count(); ++i) {
    const CCmp* cmp = cmps.At(i);
    if (cmp == &meter) continue;
    std::string why;
    switch (wiring.Idle(i)) {
      case CTopology::OffClosedPath:
        why = "it lies on no closed path (one of its ends leads nowhere)";
        break;
      case CTopology::PartnerIdle:
        why = "its other winding lies on no closed path";
        break;
      case CTopology::Unreached:
        why = "it is not joined to the meter's circuit";
        break;
      default:
        continue;
    }
    idle.push_back({cmp, Capitalised(PartName(*cmp)) + " carries no current: " + why});
  }
  return idle;
}
