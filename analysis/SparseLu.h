// Sparse LU factorisation of the complex nodal system in extended precision: Markowitz
// ordering with threshold partial pivoting, a stored pivot order that later factorisations of
// the same pattern replay on a fixed plan, and the two triangular substitutions.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

// Lists of values, one per row or column, in one pool: a list that outgrows its room moves to
// the pool's end with twice the room, so that filling them costs no allocation per list.
template <class T>
class TLists {
 public:
  class Ref {
   public:
    Ref(TLists* o, size_t i) : owner(o), list(i) {}
    size_t size() const { return static_cast<size_t>(owner->count[list]); }
    T* begin() const { return owner->pool.data() + owner->first[list]; }
    T* end() const { return begin() + size(); }
    T& operator[](size_t k) const { return begin()[k]; }
    T& back() const { return begin()[size() - 1]; }
    void pop_back() const { --owner->count[list]; }
    void clear() const { owner->count[list] = 0; }
    void resize(size_t k) const { owner->count[list] = static_cast<int>(k); }
    void push_back(const T& value) const {
      if (owner->count[list] == owner->room[list]) owner->Move(list);
      owner->pool[static_cast<size_t>(owner->first[list] + owner->count[list]++)] = value;
    }

   private:
    TLists* owner;
    size_t list;
  };

  // `lists` empty lists, list i with room for room[i] values.
  void Reset(size_t lists, const std::vector<int>& rooms) {
    first.resize(lists);
    count.assign(lists, 0);
    room.assign(rooms.begin(), rooms.end());
    int at = 0;
    for (size_t i = 0; i < lists; ++i) {
      first[i] = at;
      at += room[i];
    }
    pool.resize(static_cast<size_t>(at));
  }
  Ref operator[](size_t i) const { return Ref(const_cast<TLists*>(this), i); }
  size_t Bytes() const {
    return pool.capacity() * sizeof(T) +
           (first.capacity() + count.capacity() + room.capacity()) * sizeof(int);
  }
  void Release() { *this = {}; }

 private:
  void Move(size_t list) {
    const int moved = std::max(4, 2 * room[list]);
    const size_t at = pool.size();
    pool.resize(at + static_cast<size_t>(moved));
    std::copy_n(pool.begin() + first[list], count[list], pool.begin() + static_cast<ptrdiff_t>(at));
    first[list] = static_cast<int>(at);
    room[list] = moved;
  }

  std::vector<T> pool;
  std::vector<int> first, count, room;
};

template <class T>
struct TComplex {
  T Re = 0;
  T Im = 0;
};
using SComplex = TComplex<long double>;
using SComplexD = TComplex<double>;

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
  // Relative tolerance under which a difference counts as cancelled to an exact zero. A
  // constant, so factorisers on any thread agree without sharing anything.
  static constexpr double CancelTolerance = 1e-12;

  // entry - x, made an exact zero (and false returned) where it is within the tolerance of x.
  template <class Real>
  static bool SubtractWithCancel(Real& entry, Real x) {
    const Real d = entry - x;
    if (std::fabs(d) > static_cast<Real>(CancelTolerance) * std::fabs(x)) {
      entry = d;
      return true;
    }
    entry = 0;
    return false;
  }

  // Factors the n x n matrix given by its entries (each position once). With `replay` the
  // stored pivot order is followed; false then means that a replayed pivot failed the
  // threshold, that the cancellation rule took a difference far above rounding, or that the
  // stored order no longer fits: nothing usable was factored. Without it a fresh Markowitz
  // order is chosen and stored; that always succeeds.
  bool Factor(int n, const std::vector<SMatrixEntry>& entries, bool replay);
  // The system as a constant part and a part per unit of angular frequency, one of each per
  // entry given to Factor and in its order, for FactorFast. Both are kept by reference.
  void SetParts(const std::vector<SComplex>& constant, const std::vector<SComplex>& perOmega);
  // The stored order replayed in double precision at angular frequency `omega`, the entries
  // formed in place from the parts; for sweeps that refine their readings afterwards. False
  // where a replay fails, or where a value lies outside the range of a double.
  bool FactorFast(long double omega);
  // FactorFast at Lanes angular frequencies at once, one pass over the plan for all; ok[f]
  // tells where FactorFast would have succeeded. UseLane makes the factors of one of them
  // those of the last FactorFast; false when the plan or the parts changed since.
  static constexpr size_t Lanes = 4;
  void FactorFastLanes(const double* omega, bool* ok);
  bool UseLane(size_t lane);
  bool LanesValid() const { return lanesValid; }
  // Correct on the factors of every lane at once; b and x hold Lanes values per row or column
  // (index * Lanes + lane), b is overwritten. False where a row without a pivot is left with
  // a right-hand side that is not an exact zero: then Substitute decides.
  bool CorrectLanes(double* bRe, double* bIm, double* xRe, double* xIm) const;
  bool HasOrder() const { return !order.empty() || orderN > 0; }
  void ForgetOrder();
  // A fresh order keeps the few it replaced, for the values where one of those is the better.
  // SwapOrder(i) puts the i-th kept order (the latest first) in use and keeps the one in use in
  // its place; false where there is none.
  static constexpr size_t KeptOrders = 3;
  size_t KeptOrderCount() const { return spares.size(); }
  bool SwapOrder(size_t i);

  // Solves for the right-hand side `b` (n values by row; overwritten) into `x` (n values by
  // column; unknowns left without a pivot are 0). False when a row left without a pivot keeps a
  // right-hand side: the system has no solution.
  bool Substitute(SComplex* b, SComplex* x) const;
  // The same on the factors of FactorFast.
  bool SubstituteFast(SComplexD* b, SComplexD* x) const;
  // Solves with plain arithmetic, the cancellation rule left out and rows without a pivot
  // ignored: for correcting a solution by its residual, whichever factors were formed last.
  void Correct(SComplex* b, SComplex* x) const;
  // Subtractions of the last factorisation and substitution whose nonzero difference the rule
  // turned into zero: where there are none, the solution is that of the entries as given.
  int Bent() const { return bent; }
  // Where Substitute refuses `b`: per row, the weight with which the factored rows add up to a
  // row of zeros whose right-hand side is not zero; the rows with a weight are the equations
  // that contradict each other. Empty when `b` has a solution.
  std::vector<SComplex> Contradiction(const SComplex* b) const;

  // Bytes held by the factors, the stored order and the working storage.
  size_t Bytes() const;
  // Releases the factors and the working storage; the stored order and its plan stay.
  void ReleaseWork();

 private:
  struct SEntry {
    int col, slot;
    SComplex v;
    long double scale;  // largest magnitude among the terms that formed the value
  };
  struct SPivot {
    int row, col;
  };
  struct SUpper {
    int col, slot;
    SComplex v;
  };
  // One elimination step of the plan: its pivot, and one past its entries in the lists below.
  struct SStep {
    int row, col, pivotSlot;
    int lowerEnd, upperEnd, updateEnd;
  };
  struct SRef {
    int index;  // a row for the lower list, a column for the upper list
    int slot;
  };
  template <class T>
  struct SValues {
    std::vector<TComplex<T>> v;
    std::vector<T> scale;
  };

  // ---- the Markowitz search on the active matrix
  // Empties the recorded steps and factors for a system of `un` unknowns.
  void ClearPlan(size_t un);
  void Load(int size, const std::vector<SMatrixEntry>& entries);
  bool FindPivot(int& row, int& col);
  void Eliminate(int row, int col);
  void UpdateRow(int i, SComplex m);
  void RemoveFromColumn(int c, int row);
  // Column buckets by count, kept only while a fresh order is searched.
  void Relink(int c);
  void Unlink(int c);
  void ChooseOrder(const std::vector<SMatrixEntry>& entries);

  // ---- the plan: every position the stored order can fill, and the updates of each step
  void Plan(const std::vector<SMatrixEntry>& entries);
  void PlanStep(int r, int c, std::vector<std::vector<SRef>>& active,
                std::vector<std::vector<int>>& column);
  template <class T>
  bool Refactor(SValues<T>& values, const std::vector<SMatrixEntry>& entries, bool check);
  template <class T>
  bool Run(SValues<T>& values, bool check);
  template <class T>
  bool Solve(const SValues<T>& values, TComplex<T>* b, TComplex<T>* x, int& ruled) const;
  template <class T>
  void Plain(const SValues<T>& values, TComplex<T>* b, TComplex<T>* x) const;
  std::vector<SComplex> Unwind(int bad) const;

  int n = 0;
  bool tracking = false;
  int lost = 0;  // subtractions of this factorisation whose difference the rule took
  mutable int bent = 0;
  TLists<SEntry> rows;  // the active part of the matrix, row-wise
  TLists<int> cols;     // active rows per column
  std::vector<int> targets, rooms;
  std::vector<int> where;  // column -> index in the row being updated, or -1
  std::vector<int> bucketHead, bucketNext, bucketPrev, bucketOf;
  int largestCount = 0;              // no bucket above it was ever filled
  std::vector<SUpper> pivotEntries;  // the pivot row of the step being eliminated
  struct SCandidate {
    int row;
    long double weight;
    bool genuine;
  };
  std::vector<SCandidate> candidates;  // of the column being searched

  std::vector<SPivot> order;  // the stored analysis
  int orderN = 0;
  // An order replaced by a fresh one, with its plan (the members below of the same names).
  struct SPlan {
    std::vector<SPivot> order;
    int orderN = 0;
    bool planned = false;
    int slotCount = 0;
    std::vector<int> inputSlot;
    std::vector<SStep> steps;
    std::vector<SRef> lower, upper;
    std::vector<int> updates, restSlots;
    std::vector<unsigned char> pivotRow;
  };
  std::vector<SPlan> spares;
  void ExchangePlan(SPlan& other);

  bool planned = false;
  bool recording = false;  // the elimination choosing the order is recording its plan
  int slotCount = 0;
  std::vector<int> inputSlot;  // per entry given to Factor
  std::vector<SStep> steps;
  std::vector<SRef> lower, upper;
  std::vector<int> updates;    // per lower entry and upper entry of its step: the slot changed
  std::vector<int> restSlots;  // entries of the rows left without a pivot
  std::vector<unsigned char> pivotRow;
  SValues<long double> exact;
  SValues<double> fast;
  bool fastValid = false;  // the last factorisation was FactorFast
  // The factors of FactorFastLanes, lane by lane within each slot: slot * Lanes + lane.
  // The reciprocal of each step's pivot, lane by lane within each step: step * Lanes + lane.
  struct SLaneValues {
    std::vector<double> re, im, scale;
    std::vector<double> inverseRe, inverseIm;
  };
  void RunLanes(bool* failed);
  template <class Ref>
  // `bad` holds a mask per lane, not zero once the lane's replay gives up.
  void CheckLanes(size_t pivot, const Ref* below, size_t count, std::int64_t* bad);
  void EliminateLanes(size_t step, size_t pivot, const SRef* below, size_t count, const SRef* right,
                      size_t width, const int* targets, std::int64_t* bad);
  SLaneValues lanes;
  bool lanesValid = false;
  // The parts, and the constant part per slot with the slots that change with the frequency.
  struct SOmegaSlot {
    int slot;
    double re, im;
  };
  void PrepareBase();
  const std::vector<SComplex>* partConstant = nullptr;
  const std::vector<SComplex>* partOmega = nullptr;
  SValues<double> base;
  SLaneValues laneBase;  // the constant part in every lane
  std::vector<SOmegaSlot> omegaSlots;
  std::vector<size_t> freeRows, freeCols;  // the rows and the columns without a pivot
  bool baseReady = false, baseFinite = false;
  mutable std::vector<SComplexD> shortB, shortX;
};
