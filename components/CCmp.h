// The electrical half of a component: the per-kind type records, the component base class,
// its parameter records and the sheet's component list.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CStampTarget;
class CCmp;

// Component kinds, the index into ElemTypes.
enum ElemKind : int { KindMeter = 0, KindR = 1, KindC = 2, KindL = 3, KindLC = 4, KindW = 5 };
constexpr int ElemKindCount = 6;

// A pin of a kind in the element's own frame: offset in grid units and the direction
// (0 east, 1 south, 2 west, 3 north) in which the body lies, seen from the pin.
struct CPin {
  int32_t X = 0;
  int32_t Y = 0;
  int32_t Dir = 0;
};

// One parameter value held inside a component: the value in SI units, the text as typed, and
// the part's own tolerance of it as a fraction (0.02 is 2 %), none where its kind's applies.
struct SParam {
  double Value = 0.0;
  std::string Text;
  std::optional<double> Tolerance = std::nullopt;
  // Takes the value and text of `other`; the part keeps its own tolerance.
  void TakeValue(const SParam& other) {
    Value = other.Value;
    Text = other.Text;
  }
};

// Whether `fraction` may be a tolerance, a part's own or its kind's: finite, from 0 up to but
// not including 1 (a part that may reach zero or twice its value has no tolerance worth the
// name).
constexpr bool IsPartTolerance(double fraction) {
  return fraction >= 0.0 && fraction < 1.0;
}

// Where a value label is drawn for one orientation: anchor in fine units (element frame) and
// alignment (0 centred, 1 text to the right, -1 text to the left).
struct SLabelPlace {
  int32_t X = 0;
  int32_t Y = 0;
  int32_t Align = 0;
};

// One parameter of a kind. A table ends with an entry whose Caption is null. In the kind's
// table Value is null; in a component's own copy (CCmp::Params) it addresses that
// component's slot.
struct CParam {
  const char* Caption = nullptr;
  const char* Label = nullptr;
  SParam* Value = nullptr;
  SLabelPlace Place[4];
};

using CmpFactory = std::unique_ptr<CCmp> (*)(const struct SElemType* type);

struct SElemType {
  int32_t PinCount = 0;
  const int32_t* Symbol = nullptr;  // symbol command list, fine units
  const CPin* Pins = nullptr;       // PinCount entries
  int32_t Body[4] = {0, 0, 0, 0};   // x1, y1, x2, y2 in grid units
  CmpFactory Create = nullptr;
  const CParam* Params = nullptr;  // null for the meter
  int32_t ExtraCount = 0;          // extra unknowns reserved in the solver
};

// The most parameters a kind has.
constexpr int MaxParams = 3;

// Indexed by kind; complete before the program runs and never written.
extern const SElemType* const ElemTypes[ElemKindCount];
// The kind of a type record; -1 for a record that is none of ElemTypes.
int KindOf(const SElemType* type);

class CCmp {
 public:
  explicit CCmp(const SElemType* type);
  virtual ~CCmp();
  CCmp(const CCmp&) = delete;
  CCmp& operator=(const CCmp&) = delete;

  // This component's copy of its kind's table, each Value addressing this component's own
  // slot; null for a kind without parameters. Nothing shared is written.
  CParam* Params() { return valueCount > 0 ? bound : nullptr; }
  const CParam* Params() const { return valueCount > 0 ? bound : nullptr; }
  // The values alone, in the table's order.
  const SParam* ParamValues() const { return values; }
  int ParamCount() const { return valueCount; }
  virtual int32_t ExtraCount() const;
  virtual void Stamp(CStampTarget& calc) const;
  // The derivative of what Stamp writes with respect to parameter `param` (its index in the
  // table), at the values as they stand. Only adds: a derivative has no assignments, and the
  // windings Stamp leaves out are left out here too. Nothing for a kind without parameters.
  virtual void StampDerivative(CStampTarget& calc, int param) const;

  void SetNodeCount(int32_t n);
  int32_t AssignExtra(int32_t first);

  int32_t Id = 0;
  const SElemType* Type = nullptr;
  int32_t NodeCount = -1;
  std::vector<int32_t> Nodes;  // one node number per pin
  int32_t FirstExtra = 0;
  bool Reactive = false;

 protected:
  // Copies the kind's table and points its entries at `slots`, the kind's count of them.
  void BindParams(SParam* slots, int count);

 private:
  CParam bound[MaxParams + 1] = {};
  SParam* values = nullptr;
  int valueCount = 0;
};

class CCmps {
 public:
  CCmps() = default;
  virtual ~CCmps();
  CCmps(const CCmps&) = delete;
  CCmps& operator=(const CCmps&) = delete;

  int Count() const { return static_cast<int>(items.size()); }
  CCmp* At(int i) const { return items[static_cast<size_t>(i)].get(); }
  int Add(std::unique_ptr<CCmp> c);
  void Remove(CCmp* c);  // destroys it; nothing when c is not in the list
  void Clear();
  int32_t NextId() const;
  CCmp* Create(int kind);  // through ElemTypes only
  // The same with the Id given: a list built from scratch numbers its components itself,
  // without looking for the largest Id at every one.
  CCmp* Create(int kind, int32_t id);
  void ReplaceNode(int32_t from, int32_t to);

 private:
  std::vector<std::unique_ptr<CCmp>> items;
};
