// The component list and the component base: creation through the kind table, ids, node
// arrays, removal and the shared parameter tables' binding.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "components/CCmp.h"

namespace {

// "a0", "b2": a text that tells which component a slot belongs to.
std::string Tag(char owner, int i) {
  std::string text(1, owner);
  text += std::to_string(i);
  return text;
}

class ComponentList : public testing::Test {
 protected:
  CCmps cmps;
};

// A component that reports its destruction, to see what the list destroys.
class CProbe : public CCmp {
 public:
  CProbe(const SElemType* type, std::vector<int>* destroyed, int tag)
      : CCmp(type), destroyed(destroyed), tag(tag) {}
  ~CProbe() override { destroyed->push_back(tag); }
  std::vector<int>* destroyed;
  int tag;
};

TEST_F(ComponentList, CreatesEveryKindThroughTheTableWithNodesAtZero) {
  for (int kind = 0; kind < ElemKindCount; ++kind) {
    CCmp* c = cmps.Create(kind);
    ASSERT_NE(c, nullptr) << kind;
    EXPECT_EQ(c->Type, ElemTypes[kind]);
    EXPECT_EQ(cmps.At(kind), c);
    EXPECT_EQ(c->Id, kind + 1);
    EXPECT_EQ(c->NodeCount, ElemTypes[kind]->PinCount);
    EXPECT_EQ(c->Nodes, std::vector<int32_t>(static_cast<size_t>(c->NodeCount), 0)) << kind;
    EXPECT_EQ(c->FirstExtra, 0);
  }
  EXPECT_EQ(cmps.Count(), ElemKindCount);
  // No kind outside the table: nothing is created and the list stays as it is.
  EXPECT_EQ(cmps.Create(-1), nullptr);
  EXPECT_EQ(cmps.Create(ElemKindCount), nullptr);
  EXPECT_EQ(cmps.Count(), ElemKindCount);
}

TEST_F(ComponentList, NextIdFollowsTheLargestIdAndReusesAFreedTop) {
  EXPECT_EQ(cmps.NextId(), 1);
  CCmp* a = cmps.Create(KindR);
  CCmp* b = cmps.Create(KindC);
  CCmp* c = cmps.Create(KindL);
  EXPECT_EQ(a->Id, 1);
  EXPECT_EQ(b->Id, 2);
  EXPECT_EQ(c->Id, 3);
  cmps.Remove(c);
  EXPECT_EQ(cmps.NextId(), 3);
  EXPECT_EQ(cmps.Create(KindR)->Id, 3);
  cmps.Remove(a);  // a gap below the top is not filled
  EXPECT_EQ(cmps.NextId(), 4);
  b->Id = 41;
  EXPECT_EQ(cmps.NextId(), 42);
  cmps.Clear();
  EXPECT_EQ(cmps.NextId(), 1);
}

TEST_F(ComponentList, RemoveDestroysOnlyItsOwnEntry) {
  std::vector<int> destroyed;
  for (int tag = 0; tag < 3; ++tag) {
    EXPECT_EQ(cmps.Add(std::make_unique<CProbe>(ElemTypes[KindR], &destroyed, tag)), tag);
  }
  CCmp* middle = cmps.At(1);

  CCmps other;
  CCmp* foreign = other.Create(KindR);
  cmps.Remove(foreign);
  cmps.Remove(nullptr);
  EXPECT_EQ(cmps.Count(), 3);
  EXPECT_TRUE(destroyed.empty());
  EXPECT_EQ(other.Count(), 1);

  cmps.Remove(middle);
  EXPECT_EQ(destroyed, std::vector<int>{1});
  ASSERT_EQ(cmps.Count(), 2);
  EXPECT_EQ(static_cast<CProbe*>(cmps.At(0))->tag, 0);
  EXPECT_EQ(static_cast<CProbe*>(cmps.At(1))->tag, 2);

  cmps.Clear();
  EXPECT_EQ(destroyed, (std::vector<int>{1, 0, 2}));
  EXPECT_EQ(cmps.Count(), 0);
}

TEST_F(ComponentList, DestroysItsComponentsWhenDestroyed) {
  std::vector<int> destroyed;
  {
    CCmps list;
    list.Add(std::make_unique<CProbe>(ElemTypes[KindL], &destroyed, 7));
    list.Add(std::make_unique<CProbe>(ElemTypes[KindC], &destroyed, 8));
  }
  EXPECT_EQ(destroyed, (std::vector<int>{7, 8}));
  EXPECT_EQ(cmps.Add(nullptr), -1);
  EXPECT_EQ(cmps.Count(), 0);
}

TEST_F(ComponentList, ReplaceNodeMergesNetsAcrossComponents) {
  CCmp* r = cmps.Create(KindR);
  CCmp* w = cmps.Create(KindW);
  r->Nodes = {3, 5};
  w->Nodes = {5, 3, 3, 9};
  cmps.ReplaceNode(3, 5);
  EXPECT_EQ(r->Nodes, (std::vector<int32_t>{5, 5}));
  EXPECT_EQ(w->Nodes, (std::vector<int32_t>{5, 5, 5, 9}));
  cmps.ReplaceNode(4, 1);  // a number no pin has
  EXPECT_EQ(w->Nodes, (std::vector<int32_t>{5, 5, 5, 9}));
}

TEST_F(ComponentList, SetNodeCountKeepsTheArrayOnlyForTheSameCount) {
  CCmp* c = cmps.Create(KindLC);
  c->Nodes = {4, 6, 8, 10};
  const int32_t* before = c->Nodes.data();
  c->SetNodeCount(4);
  EXPECT_EQ(c->Nodes.data(), before);
  EXPECT_EQ(c->Nodes, (std::vector<int32_t>{4, 6, 8, 10}));

  c->SetNodeCount(2);
  EXPECT_EQ(c->NodeCount, 2);
  EXPECT_EQ(c->Nodes, (std::vector<int32_t>{0, 0}));
  c->SetNodeCount(0);
  EXPECT_TRUE(c->Nodes.empty());
  c->SetNodeCount(-1);
  EXPECT_EQ(c->NodeCount, -1);
  EXPECT_TRUE(c->Nodes.empty());
}

TEST_F(ComponentList, AssignExtraHandsOutIndicesOnlyWhereUnknownsAreReserved) {
  CCmp* meter = cmps.Create(KindMeter);
  CCmp* r = cmps.Create(KindR);
  CCmp* lc = cmps.Create(KindLC);
  CCmp* w = cmps.Create(KindW);
  int next = 7;
  for (CCmp* c : {meter, r, lc, w}) c->FirstExtra = 99;
  for (CCmp* c : {meter, r, lc, w}) next += c->AssignExtra(next);
  EXPECT_EQ(meter->FirstExtra, 7);
  EXPECT_EQ(r->FirstExtra, 0);
  EXPECT_EQ(lc->FirstExtra, 8);
  EXPECT_EQ(w->FirstExtra, 10);
  EXPECT_EQ(next, 13);
}

TEST_F(ComponentList, ParamsAreEachComponentsOwnTable) {
  CCmp* a = cmps.Create(KindLC);
  CCmp* b = cmps.Create(KindLC);
  CParam* ta = a->Params();
  ASSERT_NE(ta, nullptr);
  for (int i = 0; ta[i].Caption != nullptr; ++i) ta[i].Value->Text = Tag('a', i);

  CParam* tb = b->Params();
  EXPECT_NE(tb, ta);  // asking for b's table leaves a's bound to a
  for (int i = 0; tb[i].Caption != nullptr; ++i) {
    EXPECT_NE(tb[i].Value->Text, Tag('a', i)) << i;
    tb[i].Value->Text = Tag('b', i);
    tb[i].Value->Value = i + 0.5;
  }
  // Writing through b's table left a alone; the kind's own table has no slots.
  EXPECT_EQ(a->Type->Params[0].Value, nullptr);
  ta = a->Params();
  for (int i = 0; ta[i].Caption != nullptr; ++i) {
    EXPECT_EQ(ta[i].Value->Text, Tag('a', i)) << i;
    EXPECT_NE(ta[i].Value->Value, i + 0.5) << i;
  }
  tb = b->Params();
  for (int i = 0; tb[i].Caption != nullptr; ++i) EXPECT_EQ(tb[i].Value->Value, i + 0.5);

  // The slots of one component are distinct.
  EXPECT_NE(tb[0].Value, tb[1].Value);
  EXPECT_NE(tb[1].Value, tb[2].Value);
  EXPECT_EQ(cmps.Create(KindMeter)->Params(), nullptr);
}

}  // namespace
