// The sparse complex nodal solver: numbers the unknowns of the sheet's components, lets each
// component stamp its equations and solves the system in 80-bit extended precision.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class CCmps;

// Relative tolerance under which a difference counts as cancelled to an exact zero.
extern double CancelTolerance;

class CCalc {
 public:
  CCalc() = default;
  virtual ~CCalc();
  CCalc(const CCalc&) = delete;
  CCalc& operator=(const CCalc&) = delete;

  bool Build();
  bool Solve(int meterUnknown, double frequency);
  void Release();

  // Stamping helpers for CCmp::Stamp; a, b node indices, k an extra unknown.
  void StampResistance(int a, int b, double r);
  void StampVoltageBranch(int a, int b, int k);
  void StampCurrentBranch(int a, int b, int k);
  void StampMeterBranch(int a, int b, int k);

  // Count stays 0 when the unknowns would not fit an int (Build then fails).
  void NumberUnknowns();
  // Zeroes the system. After a solve only flagged entries, row 0 and column 0 can hold
  // anything, so only those are cleared; entries written from outside Assemble must go
  // through the stamping helpers for this to hold.
  void ClearSystem();
  void Assemble();
  bool Eliminate();
  static bool SubtractWithCancel(long double& entry, long double x);

  CCmps* Cmps = nullptr;  // not owned
  double Omega = 0.0;
  int Count = 0;
  long double** MatRe = nullptr;  // row tables; rows are swapped by pointer
  long double** MatIm = nullptr;
  double* VecRe = nullptr;
  double* VecIm = nullptr;
  uint8_t* NzRe = nullptr;  // n x n, row-major
  uint8_t* NzIm = nullptr;
  // False when the last assembly produced an infinite or NaN entry (values or frequency at
  // the limits of a double); the solution then means nothing.
  bool Finite = true;

  // Bytes that Build allocated for the current system (0 when empty).
  size_t StorageBytes() const;

 private:
  // The pointers are set only once every array was obtained.
  bool Ready() const { return Count > 0 && NzIm != nullptr; }
  // What ClearSystem may assume about the matrices: all zero, every nonzero entry of rows
  // and columns 1..n-1 flagged, or nothing known.
  enum class SystemState { Zero, Flagged, Unknown };
  SystemState state = SystemState::Unknown;
  std::vector<int> columnRows;  // scratch of Eliminate, kept to avoid reallocating
  std::vector<int> pivotCols;
  std::vector<int> rowFirst;

  // owners of the storage behind the pointers above
  std::unique_ptr<long double[]> block;
  std::unique_ptr<long double*[]> rowsRe, rowsIm;
  std::unique_ptr<double[]> vecRe, vecIm;
  std::unique_ptr<uint8_t[]> nzRe, nzIm;
};
