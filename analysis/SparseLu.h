// Sparse LU factorisation of the complex nodal system in extended precision: Markowitz
// ordering with threshold partial pivoting, a stored pivot order that later factorisations of
// the same pattern replay, and the two triangular substitutions.
#pragma once

#include <cstddef>
#include <vector>

struct SComplex {
  long double Re = 0;
  long double Im = 0;
};

// One position of the matrix and its value.
struct SMatrixEntry {
  int Row = 0;
  int Col = 0;
  SComplex Value;
};

class CSparseLu {
 public:
  // A candidate pivot must reach this share of the largest magnitude in its column.
  static constexpr long double Threshold = 0.1L;

  // Factors the n x n matrix given by its entries (each position once). With `replay` the
  // stored pivot order is followed; false then means that a replayed pivot failed the
  // threshold, that the cancellation rule took a difference far above rounding, or that the
  // stored order no longer fits: nothing usable was factored. Without it a fresh Markowitz
  // order is chosen and stored; that always succeeds.
  bool Factor(int n, const std::vector<SMatrixEntry>& entries, bool replay);
  bool HasOrder() const { return !order.empty() || orderN > 0; }
  void ForgetOrder();

  // Solves for the right-hand side `b` (n values by row; overwritten) into `x` (n values by
  // column; unknowns left without a pivot are 0). False when a row left without a pivot keeps a
  // right-hand side: the system has no solution.
  bool Substitute(SComplex* b, SComplex* x) const;
  // Where Substitute refuses `b`: per row, the weight with which the factored rows add up to a
  // row of zeros whose right-hand side is not zero; the rows with a weight are the equations
  // that contradict each other. Empty when `b` has a solution.
  std::vector<SComplex> Contradiction(const SComplex* b) const;

  // Bytes held by the factors, the stored order and the working storage.
  size_t Bytes() const;
  // Releases the factors and the working storage; the stored order stays.
  void ReleaseWork();

 private:
  struct SEntry {
    int col;
    SComplex v;
    long double scale;  // largest magnitude among the terms that formed the value
  };
  struct SStep {
    int row, col;
    SComplex pivot;
    int lowerEnd, upperEnd;  // one past this step's entries in lower and upper
  };
  struct SLower {
    int row;
    SComplex m;
  };
  struct SUpper {
    int col;
    SComplex v;
  };
  struct SPivot {
    int row, col;
  };

  void Load(int size, const std::vector<SMatrixEntry>& entries);
  long double ColumnPeak(int c) const;
  bool Acceptable(const SEntry& e, long double peak) const;
  bool FindPivot(int& row, int& col);
  bool StoredPivot(size_t step, int& row, int& col) const;
  bool AnyPivotLeft() const;
  void Eliminate(int row, int col);
  void UpdateRow(int i, SComplex m, int from, int to);
  void RemoveFromColumn(int c, int row);
  // Column buckets by count, kept only while a fresh order is searched.
  void Relink(int c);
  void Unlink(int c);

  int n = 0;
  bool tracking = false;
  int lost = 0;  // subtractions of this factorisation whose difference the rule took
  std::vector<std::vector<SEntry>> rows;  // the active part of the matrix, row-wise
  std::vector<std::vector<int>> cols;     // active rows per column
  std::vector<int> where;                 // column -> index in the row being updated, or -1
  std::vector<int> bucketHead, bucketNext, bucketPrev, bucketOf;
  int largestCount = 0;  // no bucket above it was ever filled

  std::vector<SStep> steps;
  std::vector<SLower> lower;
  std::vector<SUpper> upper;
  std::vector<unsigned char> pivotRow;  // per row: chosen as a pivot row

  std::vector<SPivot> order;  // the stored analysis
  int orderN = 0;
};
