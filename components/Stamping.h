// What a component writes its equations into. The solver implements it; the components see
// neither how the system is stored nor how it is solved.
#pragma once

class CCmp;

class CStampTarget {
 public:
  virtual ~CStampTarget() = default;

  // a, b node indices, k an extra unknown; row and col any unknown. Writes into index 0 are
  // discarded (it is the reference).
  virtual void StampResistance(int a, int b, double r) = 0;
  virtual void StampVoltageBranch(int a, int b, int k) = 0;
  virtual void StampCurrentBranch(int a, int b, int k) = 0;
  virtual void StampMeterBranch(int a, int b, int k) = 0;
  virtual void AddRe(int row, int col, long double value) = 0;
  virtual void AddIm(int row, int col, long double value) = 0;
  // Assign rather than add: the entry holds exactly this value until the next write.
  virtual void SetRe(int row, int col, long double value) = 0;
  virtual void SetIm(int row, int col, long double value) = 0;
  // The part that grows with the angular frequency w: the entry's imaginary part gains
  // w * coefficient. A kind stamps it once; the solver forms it at every frequency.
  virtual void AddOmegaIm(int row, int col, long double coefficient) = 0;
  virtual void SetOmegaIm(int row, int col, long double coefficient) = 0;

  // False when the winding (pins 2w and 2w + 1) of cmp lies on no closed current path, so it
  // carries no current and must not be stamped.
  virtual bool Carries(const CCmp& cmp, int winding) const = 0;
};
