// The tolerance band of a series RLC against its closed-form extremes: every sample lies within
// them, the samples fill most of them, and the nominal circuit is put back.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <tuple>

#include "Circuit.h"
#include "analysis/Tolerance.h"

namespace {

// A series RLC across the meter (R from 1 to 3, L from 3 to 4, C from 4 to 2) and a band
// request over a decade either side of its resonance, R at `tr` and L and C at `t`.
SBandRequest SeriesRlc(CCircuit& circuit, double r, double l, double c, double tr, double t) {
  circuit.R(1, 3, r);
  circuit.L(3, 4, l);
  circuit.C(4, 2, c);
  circuit.Renumber();
  const double f0 = 1.0 / (2 * std::numbers::pi * std::sqrt(l * c));
  SBandRequest request;
  request.Hertz = LogFrequencies(f0 / 10, f0 * 10, 41);
  request.Resonances = {{.Hertz = f0, .Series = true}};
  request.Tolerances = {.R = tr, .C = t, .L = t};
  return request;
}

TEST(Tolerance, SeriesRlcBandLiesWithinItsCornersAndFillsThem) {
  const double r = 10, l = 1e-3, c = 1e-6, t = 0.05;
  CCircuit circuit;
  const SBandRequest request = SeriesRlc(circuit, r, l, c, 0.01, t);
  const double f0 = request.Resonances[0].Hertz;
  const SToleranceBand band = ToleranceBand(circuit.Cmps, *circuit.Meter, circuit.Solver, request);
  ASSERT_EQ(band.Samples, request.Samples);
  const double slack = 1e-9;
  for (const SBandPoint& p : band.Points) {
    ASSERT_TRUE(p.Solved);
    const double w = 2 * std::numbers::pi * p.Hertz;
    // X = wL - 1/(wC) rises with L and with C: its extremes are at the corners.
    const double xLow = w * l * (1 - t) - 1 / (w * c * (1 - t));
    const double xHigh = w * l * (1 + t) - 1 / (w * c * (1 + t));
    EXPECT_GE(p.XMin, xLow - slack * std::fabs(xLow));
    EXPECT_LE(p.XMax, xHigh + slack * std::fabs(xHigh));
    EXPECT_GT(p.XMax - p.XMin, 0.7 * (xHigh - xLow)) << p.Hertz;
    EXPECT_GE(p.RMin, r * 0.99 - slack);
    EXPECT_LE(p.RMax, r * 1.01 + slack);
    EXPECT_LE(p.MagnitudeMin, p.MagnitudeMax);
  }
  ASSERT_EQ(band.Resonances.size(), 1u);
  const SResonanceSpread& s = band.Resonances[0];
  EXPECT_GE(s.Min, f0 / (1 + t) * (1 - 1e-6));
  EXPECT_LE(s.Max, f0 / (1 - t) * (1 + 1e-6));
  EXPECT_GT(s.Max / s.Min, std::pow((1 + t) / (1 - t), 0.7));
  // Split in two and merged, the samples give the same band.
  SBandRequest first = request, second = request;
  first.Count = 80;
  second.First = 80;
  SToleranceBand merged = ToleranceBand(circuit.Cmps, *circuit.Meter, circuit.Solver, first);
  MergeBands(merged, ToleranceBand(circuit.Cmps, *circuit.Meter, circuit.Solver, second));
  EXPECT_EQ(merged.Samples, band.Samples);
  for (size_t k = 0; k < band.Points.size(); ++k) {
    EXPECT_NEAR(merged.Points[k].XMin, band.Points[k].XMin, 1e-9 * std::fabs(band.Points[k].XMin));
    EXPECT_NEAR(merged.Points[k].PhaseMax, band.Points[k].PhaseMax, 1e-9);
  }
  EXPECT_NEAR(merged.Resonances[0].Max, s.Max, 1e-6 * s.Max);
  // The nominal values are back.
  EXPECT_EQ(circuit.Parts[2].Cmp->ParamValues()[0].Value, l);
  EXPECT_EQ(circuit.Parts[3].Cmp->ParamValues()[0].Value, c);
}

// A part's own tolerance, zero included, comes before its kind's; the band follows it.
TEST(Tolerance, APartsOwnToleranceComesBeforeItsKinds) {
  CCircuit circuit;
  CCmp* r = circuit.R(1, 2, 100);
  CCmp* lc = circuit.Coupled(1, 3, 3, 2, 1e-3, 2e-3, 0.5);
  circuit.Renumber();
  const SKindTolerances kinds{.R = 0.5, .L = 0.3, .Coupling = 0.07};
  lc->Params()[0].Value->Tolerance = 0.0;
  lc->Params()[2].Value->Tolerance = 0.25;
  const std::tuple<const CCmp*, int, double, double> rows[] = {// part, value, picked, kind's
                                                               {r, 0, 0.5, 0.5},
                                                               {lc, 0, 0.0, 0.3},
                                                               {lc, 1, 0.3, 0.3},
                                                               {lc, 2, 0.25, 0.07}};
  for (const auto& [cmp, j, picked, kind] : rows) {
    EXPECT_EQ(ToleranceOf(*cmp, j, kinds), picked) << j;
    EXPECT_EQ(KindToleranceOf(KindOf(cmp->Type), j, kinds), kind) << j;
  }
  // A resistor held to 0 % though its kind allows 50 %: the band has no width.
  CCircuit alone;
  alone.R(1, 2, 100)->Params()[0].Value->Tolerance = 0.0;
  alone.Renumber();
  const SBandRequest request{.Hertz = {1, 1e3}, .Resonances = {}, .Tolerances = kinds};
  for (const SBandPoint& p : ToleranceBand(alone.Cmps, *alone.Meter, alone.Solver, request).Points)
    EXPECT_EQ(p.RMin, p.RMax);
}

}  // namespace

// With a handful of samples Monte Carlo stays inside the corners; the worst-case corners from
// the sensitivities reach the closed-form extremes of R, X, |Z|, phase and F0 all the same.
TEST(Tolerance, CornersReachTheExtremesThatFewSamplesMiss) {
  const double r = 10, l = 1e-3, c = 1e-6, t = 0.05, tr = 0.01;
  CCircuit circuit;
  SBandRequest request = SeriesRlc(circuit, r, l, c, tr, t);
  const double f0 = request.Resonances[0].Hertz;
  request.Samples = 4;
  const SToleranceBand band = ToleranceBand(circuit.Cmps, *circuit.Meter, circuit.Solver, request);
  SBandRequest sampled = request;  // the same samples without the nominal one and the corners
  sampled.First = 1;
  const SToleranceBand alone = ToleranceBand(circuit.Cmps, *circuit.Meter, circuit.Solver, sampled);
  int missed = 0;
  for (size_t k = 0; k < band.Points.size(); ++k) {
    const SBandPoint& p = band.Points[k];
    const double w = 2 * std::numbers::pi * p.Hertz;
    const double xLow = w * l * (1 - t) - 1 / (w * c * (1 - t));
    const double xHigh = w * l * (1 + t) - 1 / (w * c * (1 + t));
    const double rLow = r * (1 - tr), rHigh = r * (1 + tr);
    // |Z| and phase are monotonic in each value only where X keeps its sign over the box.
    const bool oneSign = xLow * xHigh > 0;
    const double xNear = std::min(std::fabs(xLow), std::fabs(xHigh));
    const double xFar = std::max(std::fabs(xLow), std::fabs(xHigh));
    const auto phase = [](double x, double rr) {
      return -std::atan2(x, rr) * 180 / std::numbers::pi;
    };
    const struct {
      double got, want;
      bool checked;
    } extremes[] = {
        {p.RMin, rLow, true},
        {p.RMax, rHigh, true},
        {p.XMin, xLow, true},
        {p.XMax, xHigh, true},
        {p.MagnitudeMin, std::hypot(rLow, xNear), oneSign},
        {p.MagnitudeMax, std::hypot(rHigh, xFar), oneSign},
        {p.PhaseMin, std::min(phase(xHigh, rLow), phase(xHigh, rHigh)), oneSign},
        {p.PhaseMax, std::max(phase(xLow, rLow), phase(xLow, rHigh)), oneSign},
    };
    for (const auto& e : extremes) {
      if (e.checked) {
        EXPECT_NEAR(e.got, e.want, 1e-9 * std::fabs(e.want)) << p.Hertz;
      }
    }
    missed += alone.Points[k].XMax < xHigh - 1e-3 * std::fabs(xHigh);
  }
  EXPECT_GT(missed, 30);
  EXPECT_NEAR(band.Resonances[0].Min, f0 / (1 + t), 1e-6 * f0);
  EXPECT_NEAR(band.Resonances[0].Max, f0 / (1 - t), 1e-6 * f0);
}
