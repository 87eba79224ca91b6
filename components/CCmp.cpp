// The component base class, the kind table and the sheet's component list.
#include "components/CCmp.h"

#include <algorithm>

#include "components/Kinds.h"

// Constant-initialised: the table is whole before any code runs, on every thread.
constinit const SElemType* const ElemTypes[ElemKindCount] = {
    &CElemA::TypeRecord, &CElemR::TypeRecord,  &CElemC::TypeRecord,
    &CElemL::TypeRecord, &CElemLC::TypeRecord, &CElemW::TypeRecord,
};

int KindOf(const SElemType* type) {
  for (int kind = 0; kind < ElemKindCount; ++kind) {
    if (type != nullptr && ElemTypes[kind] == type) return kind;
  }
  return -1;
}

// ---- CCmp

CCmp::CCmp(const SElemType* type) : Type(type) {
  SetNodeCount(type != nullptr ? type->PinCount : 0);
}

CCmp::~CCmp() = default;

int32_t CCmp::ExtraCount() const {
  return Type != nullptr ? Type->ExtraCount : 0;
}

void CCmp::Stamp(CStampTarget& /*calc*/) const {}

void CCmp::StampDerivative(CStampTarget& /*calc*/, int /*param*/) const {}

void CCmp::BindParams(SParam* slots, int count) {
  const CParam* table = Type != nullptr ? Type->Params : nullptr;
  valueCount = 0;
  values = slots;
  if (table == nullptr) return;
  // The copy keeps the table's end marker; a table longer than the slots is cut at them.
  while (valueCount < count && valueCount < MaxParams && table[valueCount].Caption != nullptr) {
    bound[valueCount] = table[valueCount];
    bound[valueCount].Value = &slots[valueCount];
    ++valueCount;
  }
  bound[valueCount] = {};
}

void CCmp::SetNodeCount(int32_t n) {
  if (n == NodeCount) return;
  NodeCount = n;
  Nodes.assign(static_cast<size_t>(std::max(n, 0)), 0);
}

int32_t CCmp::AssignExtra(int32_t first) {
  const int32_t count = ExtraCount();
  FirstExtra = count != 0 ? first : 0;
  return count;
}

// ---- CCmps

CCmps::~CCmps() {
  Clear();
}

int CCmps::Add(std::unique_ptr<CCmp> c) {
  if (!c) return -1;  // the list never holds an empty entry
  items.push_back(std::move(c));
  return Count() - 1;
}

void CCmps::Remove(CCmp* c) {
  auto it = std::find_if(items.begin(), items.end(),
                         [c](const std::unique_ptr<CCmp>& item) { return item.get() == c; });
  if (it != items.end()) items.erase(it);
}

void CCmps::Clear() {
  items.clear();
}

int32_t CCmps::NextId() const {
  int32_t largest = 0;
  for (const auto& item : items) largest = std::max(largest, item->Id);
  return largest + 1;
}

CCmp* CCmps::Create(int kind) {
  return Create(kind, NextId());
}

CCmp* CCmps::Create(int kind, int32_t id) {
  // An unknown kind creates nothing rather than reading past the table.
  if (kind < 0 || kind >= ElemKindCount) return nullptr;
  const SElemType* type = ElemTypes[kind];
  std::unique_ptr<CCmp> c = type->Create(type);
  c->Id = id;
  CCmp* created = c.get();
  Add(std::move(c));
  return created;
}

void CCmps::ReplaceNode(int32_t from, int32_t to) {
  for (const auto& item : items) {
    for (int32_t& node : item->Nodes) {
      if (node == from) node = to;
    }
  }
}
