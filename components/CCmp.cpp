// The component base class, the kind table and the sheet's component list.
#include "components/CCmp.h"

#include <algorithm>

#include "components/Kinds.h"

const SElemType* ElemTypes[ElemKindCount] = {};

void FillElemTypes() {
  ElemTypes[KindMeter] = &CElemA::TypeRecord;
  ElemTypes[KindR] = &CElemR::TypeRecord;
  ElemTypes[KindC] = &CElemC::TypeRecord;
  ElemTypes[KindL] = &CElemL::TypeRecord;
  ElemTypes[KindLC] = &CElemLC::TypeRecord;
  ElemTypes[KindW] = &CElemW::TypeRecord;
}

// ---- CCmp

CCmp::CCmp(const SElemType* type) : Type(type) {
  SetNodeCount(type != nullptr ? type->PinCount : 0);
}

CCmp::~CCmp() = default;

CParam* CCmp::Params() {
  return nullptr;
}

int32_t CCmp::ExtraCount() const {
  return Type != nullptr ? Type->ExtraCount : 0;
}

void CCmp::Stamp(CStampTarget& /*calc*/) const {}

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
  // An unknown kind or a table not filled yet creates nothing rather than reading past it.
  if (kind < 0 || kind >= ElemKindCount) return nullptr;
  if (ElemTypes[kind] == nullptr) FillElemTypes();
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
