// The sparse complex nodal solver: numbers the unknowns of the sheet's components, lets each
// component stamp its equations and solves the system in 80-bit extended precision. The
// analysis of a circuit (which parts carry current, the pattern of the system and its pivot
// order) is kept and replayed while only values or the frequency change.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "analysis/SparseLu.h"
#include "analysis/Topology.h"
#include "components/Stamping.h"

class CCmps;

// The system of a circuit split by frequency: at angular frequency w it is A + jwB. Rows and
// columns index the unknowns as CCalc numbers them; the unknowns held at zero are left out.
struct SPencil {
  int Count = 0;
  std::vector<SMatrixEntry> A;
  std::vector<SMatrixEntry> B;
};

class CCalc : public CStampTarget {
 public:
  // Systems beyond this many unknowns are refused as storage that cannot be had.
  static constexpr int MaxUnknowns = 1 << 24;

  CCalc() = default;
  ~CCalc() override;
  CCalc(const CCalc&) = delete;
  CCalc& operator=(const CCalc&) = delete;

  bool Build();
  // False when the system has no solution, or (with Finite false) holds values that are not
  // finite numbers.
  bool Solve(int meterUnknown, double frequency);
  // The same circuit, unchanged since the last Solve, at another frequency: the stamps of that
  // Solve are formed anew and the kept pivot order replayed in double precision, the reading
  // refined in extended precision. Solves from scratch where there is nothing to reuse.
  bool Resolve(int meterUnknown, double frequency);
  // Prepares Resolve at up to the next CSparseLu::Lanes of `hertz` (count of them) in one pass
  // over the kept pivot order; nothing where Resolve would not replay, or where the first of
  // them is prepared already.
  void Prefactor(int meterUnknown, const double* hertz, size_t count);
  // Frees the system; the analysis stays for the next build of the same circuit.
  void Release();
  // The built circuit with new values and the same wiring: stamps it again for Resolve,
  // keeping the wiring analysis and the pivot order. False where the meter's current has no
  // path or nothing is built.
  bool Restamp(int meterUnknown);

  void StampResistance(int a, int b, double r) override;
  void StampVoltageBranch(int a, int b, int k) override;
  void StampCurrentBranch(int a, int b, int k) override;
  void StampMeterBranch(int a, int b, int k) override;
  void AddRe(int row, int col, long double value) override;
  void AddIm(int row, int col, long double value) override;
  void SetRe(int row, int col, long double value) override;
  void SetIm(int row, int col, long double value) override;
  void AddOmegaIm(int row, int col, long double coefficient) override;
  void SetOmegaIm(int row, int col, long double coefficient) override;
  bool Carries(const CCmp& cmp, int winding) const override;

  // Count stays 0 when the unknowns would not fit an int (Build then fails).
  void NumberUnknowns();
  // Drops everything stamped so far.
  void ClearSystem();
  // What has been stamped at (row, col) since the last clear, adds and assignments in order.
  long double StampedRe(int row, int col) const { return Stamped(row, col, false); }
  long double StampedIm(int row, int col) const { return Stamped(row, col, true); }

  // The built circuit's system for reading the meter `meterUnknown`, assembled from the
  // components' stamps (a Solve is not needed first); Solve drives it with -1 in the meter's
  // row. False when nothing is built or the meter's current has no path.
  bool Pencil(int meterUnknown, SPencil& out);

  CCmps* Cmps = nullptr;  // not owned
  // Angular frequency in rad/s of the last Solve.
  double Omega = 0.0;
  int Count = 0;
  // The negated solution after a successful solve (index 0 and free unknowns hold 0).
  double* VecRe = nullptr;
  double* VecIm = nullptr;
  // False when the last assembly produced an infinite or NaN entry (values or frequency at
  // the limits of a double); the solution then means nothing.
  bool Finite = true;
  // True when the last solve replayed the kept pivot order rather than choosing a new one.
  bool Replayed = false;
  // Readings for a spread rather than the readout: where the double precision replay of the
  // kept order passes its pivot checks, Resolve and Prefactor take its solution as it is,
  // without the residual and refinement in extended precision. The replay is backward stable,
  // so such a reading is exact for values within rounding of a double of the circuit's.
  bool Quick = false;
  // Where the replay of the kept order fails, try the orders it replaced before choosing a new
  // one. It pays where values move about between solves (samples of a circuit over its
  // tolerances); in a sweep of one circuit a failed replay is mostly the cancellation rule's
  // doing, which an older order rarely mends, and each try costs a residual in long double.
  bool TryKeptOrders = false;

  // Bytes held now: the system, its factors and the kept analysis.
  size_t StorageBytes() const;

  // ---- why the last Solve gave no answer; these assemble again, so they are for failures.
  // The wiring analysis of the last Solve: its verdict on the meter and why parts are idle.
  const CTopology& Wiring() const { return topology; }
  int NodeCount() const { return nodeCount; }
  // List positions of the stamped components that wrote an entry that is not a finite number.
  std::vector<int> NonFiniteComponents();
  // After a Solve without a solution (the system finite): list positions of the components,
  // the meter left out, whose equations take part in the contradiction.
  std::vector<int> ContradictingComponents(int meterUnknown);

 private:
  enum : uint8_t { Imaginary = 1, Assign = 2, PerOmega = 4 };
  struct SStamp {
    int row, col;
    uint8_t how;
    long double value;
  };

  bool Ready() const { return Count > 0 && VecIm != nullptr; }
  int RankNodes();
  void Record(int row, int col, uint8_t how, long double value);
  long double Stamped(int row, int col, bool imaginary) const;
  bool AnalyseWiring(int meterUnknown);
  void Assemble();
  // Assembles again, recording where each component's stamps begin (one past the end last).
  std::vector<size_t> AssembleByComponent();
  bool SamePattern() const;
  void Compress();
  void Gather();
  bool FiniteAt() const;
  SComplex EntryAt(size_t i) const;
  bool FillValues();
  void Factor();
  void Restart(double frequency);
  void Excite(int meterUnknown, SComplex* b) const;
  bool Substitute(int meterUnknown);
  bool SubstituteFast(int meterUnknown);
  long double Residual(int meterUnknown, long double& terms);
  bool Refine(int meterUnknown, long double enough);
  void Publish();
  bool FactorFast();
  bool ReplayFast(int meterUnknown);
  size_t LaneBytes() const;
  void SolveLanes(int meterUnknown);
  void LaneResiduals(int meterUnknown, long double* residual, long double* terms);
  bool TakeLane();
  void TakeQuickLanes();

  int nodeCount = 0;
  CTopology topology;
  int wiringMeter = -1;  // the meter unknown the topology was analysed for; -1 none yet
  bool meterHasPath = false;
  int stamping = -1;  // list position of the component stamping now
  std::vector<SStamp> stamps;

  // The kept analysis: the stamped positions with the unknowns held at zero, the slot of
  // each stamp (-1: discarded) and the pivot order inside lu.
  std::vector<uint64_t> patternKeys;
  std::vector<uint8_t> patternGrounded;
  std::vector<int> slotOf;
  std::vector<SMatrixEntry> entries;
  // Per entry: the constant part and the part per unit of angular frequency, summed from the
  // stamps; whether all are finite, and the largest coefficient of a frequency stamp (-1: none).
  std::vector<SComplex> constant, perOmega;
  // The same entries for the residual, split so that only those that change with the
  // frequency pay for forming their value: the constant ones, and the others with both parts.
  struct SOmegaEntry {
    int row, col;
    SComplex fixed, scaled;
  };
  std::vector<SMatrixEntry> fixedEntries;
  std::vector<SOmegaEntry> omegaEntries;
  bool partsFinite = true;
  long double omegaPeak = -1;
  CSparseLu lu;

  // The angular frequencies of the last Prefactor, and which of them replayed.
  double laneOmega[CSparseLu::Lanes] = {};
  bool laneOk[CSparseLu::Lanes] = {};
  bool lanesReady = false;
  // Per lane, unknown by unknown (unknown * Lanes + lane): the right-hand sides, the solutions
  // and their corrections; where laneDone, the published solution of that frequency.
  std::vector<double> laneRe, laneIm, laneXRe, laneXIm, laneDRe, laneDIm;
  std::vector<SComplex> laneResidual;
  bool laneDone[CSparseLu::Lanes] = {};
  bool lanesNegated = true;  // laneXRe and laneXIm hold the published (negated) solutions

  std::unique_ptr<double[]> vecRe, vecIm;
  bool assembled = false;  // the stamps since the last Build are gathered, for wiringMeter
  std::unique_ptr<SComplex[]> rhs, solution, correction;
  std::unique_ptr<SComplexD[]> shortRhs, shortSolution;
};
