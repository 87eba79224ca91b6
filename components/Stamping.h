// What a component writes its equations into. The solver implements it; the components see
// neither how the system is stored nor how it is solved.
#pragma once

class CCmp;

class CStampTarget {
 public:
  virtual ~CStampTarget() = default;

  // Angular frequency in rad/s of the system being assembled.
  double Omega = 0.0;

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

  // False when the winding (pins 2w and 2w + 1) of cmp lies on no closed current path, so it
  // carries no current and must not be stamped.
  virtual bool Carries(const CCmp& cmp, int winding) const = 0;
};
