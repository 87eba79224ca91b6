// The six component kinds: meter, resistor, capacitor, inductor, coupled inductors and ideal
// transformer, each with its static type record. Components are created only through ElemTypes.
#pragma once

#include "components/CCmp.h"

// The meter: the one source of the circuit; the impedance is read across its pins.
class CElemA : public CCmp {
 public:
  explicit CElemA(const SElemType* type) : CCmp(type) {}
  void Stamp(CStampTarget& calc) const override;

  static const SElemType TypeRecord;
};

class CElemR : public CCmp {
 public:
  explicit CElemR(const SElemType* type);
  // A resistance of exactly 0 is a short carried by its own current unknown.
  int32_t ExtraCount() const override;
  void Stamp(CStampTarget& calc) const override;
  void StampDerivative(CStampTarget& calc, int param) const override;

  SParam Values[1];  // resistance
  static const SElemType TypeRecord;
};

class CElemC : public CCmp {
 public:
  explicit CElemC(const SElemType* type);
  void Stamp(CStampTarget& calc) const override;
  void StampDerivative(CStampTarget& calc, int param) const override;

  SParam Values[1];  // capacitance
  static const SElemType TypeRecord;
};

class CElemL : public CCmp {
 public:
  explicit CElemL(const SElemType* type);
  void Stamp(CStampTarget& calc) const override;
  void StampDerivative(CStampTarget& calc, int param) const override;

  SParam Values[1];  // inductance
  static const SElemType TypeRecord;
};

class CElemLC : public CCmp {
 public:
  explicit CElemLC(const SElemType* type);
  void Stamp(CStampTarget& calc) const override;
  void StampDerivative(CStampTarget& calc, int param) const override;

  SParam Values[3];  // L1, L2, coupling coefficient
  static const SElemType TypeRecord;
};

class CElemW : public CCmp {
 public:
  explicit CElemW(const SElemType* type);
  void Stamp(CStampTarget& calc) const override;
  void StampDerivative(CStampTarget& calc, int param) const override;

  SParam Values[2];  // turns N1, turns N2
  static const SElemType TypeRecord;
};
