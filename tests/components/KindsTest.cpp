// The six kinds as the sheet, the dialog and the solver see them: the kind table, the
// parameter tables, reserved unknowns, symbols and factories.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "components/CCmp.h"
#include "value/Value.h"
#include "view/CVC.h"

namespace {

TEST(Kinds, EveryKindHasItsOwnRecordAndKindOfFindsIt) {
  for (int kind = 0; kind < ElemKindCount; ++kind) {
    ASSERT_NE(ElemTypes[kind], nullptr);
    for (int other = 0; other < kind; ++other) EXPECT_NE(ElemTypes[other], ElemTypes[kind]);
    EXPECT_EQ(KindOf(ElemTypes[kind]), kind);
  }
  const SElemType stranger = *ElemTypes[KindR];
  EXPECT_EQ(KindOf(&stranger), -1);
  EXPECT_EQ(KindOf(nullptr), -1);
}

// The parameter tables as the dialog and the value labels use them: each ends with an empty
// entry, names its kind with one caption of its own, and starts with a value its text reads as.
TEST(Kinds, ParameterTablesAreTerminatedAndConsistent) {
  CCmps cmps;
  std::set<std::string> captions;
  for (int kind = 0; kind < ElemKindCount; ++kind) {
    SCOPED_TRACE("kind " + std::to_string(kind));
    const SElemType* t = ElemTypes[kind];
    CCmp* c = cmps.Create(kind);
    EXPECT_EQ(c->ExtraCount(), t->ExtraCount) << "a new component reserves what its kind does";
    CParam* table = c->Params();
    if (kind == KindMeter) {
      EXPECT_EQ(table, nullptr) << "the meter has nothing to edit";
      continue;
    }
    ASSERT_NE(table, nullptr);
    constexpr size_t MaxParams = 8;  // a missing terminator runs far past this
    size_t n = 0;
    std::set<std::string> labels;
    for (; n < MaxParams && table[n].Caption != nullptr; ++n) {
      const CParam& p = table[n];
      EXPECT_STREQ(p.Caption, table[0].Caption) << "one caption per kind";
      ASSERT_NE(p.Label, nullptr);
      EXPECT_TRUE(labels.insert(p.Label).second) << "label repeated: " << p.Label;
      ASSERT_NE(p.Value, nullptr) << p.Label;
      // within the rounding of the parser's power steps
      EXPECT_NEAR(ParseValue(p.Value->Text), p.Value->Value, std::fabs(p.Value->Value) * 1e-14)
          << p.Label;
      for (size_t q = 0; q < n; ++q)
        for (int o = 0; o < 4; ++o)
          EXPECT_FALSE(p.Place[o].X == table[q].Place[o].X && p.Place[o].Y == table[q].Place[o].Y)
              << p.Label << " and " << table[q].Label << " share a place, orientation " << o;
    }
    ASSERT_LT(n, MaxParams) << "table without its empty entry";
    EXPECT_GT(n, 0u);
    EXPECT_TRUE(captions.insert(table[0].Caption).second) << "caption of another kind";
    const CParam& end = table[n];
    EXPECT_EQ(end.Label, nullptr);
    for (const SLabelPlace& place : end.Place) {
      EXPECT_EQ(place.X, 0);
      EXPECT_EQ(place.Y, 0);
      EXPECT_EQ(place.Align, 0);
    }
  }
}

TEST(Kinds, ResistorReservesAnUnknownExactlyWhenItsValueIsZero) {
  CCmps cmps;
  CCmp* r = cmps.Create(KindR);
  SParam* value = r->Params()[0].Value;
  struct Case {
    double value;
    int extra;
  };
  const Case cases[] = {{1000, 0}, {0.0, 1},      {-0.0, 1},     {1e-300, 0},
                        {-5, 0},   {INFINITY, 0}, {4.9e-324, 0}, {0.0, 1}};
  for (const Case& c : cases) {
    value->Value = c.value;
    EXPECT_EQ(r->ExtraCount(), c.extra) << c.value;
    EXPECT_EQ(r->AssignExtra(5), c.extra) << c.value;
    EXPECT_EQ(r->FirstExtra, c.extra ? 5 : 0) << c.value;
  }
}

// One drawing command read from a symbol list.
struct SymbolStep {
  int32_t command;
  std::vector<int32_t> operands;
};

std::vector<SymbolStep> ReadSymbol(const int32_t* symbol) {
  std::vector<SymbolStep> steps;
  for (int guard = 0; guard < 1000; ++guard) {
    const int32_t command = *symbol++;
    if (command == SymEnd) return steps;
    int operands = 0;
    switch (command) {
      case SymMove:
      case SymLine:
        operands = 2;
        break;
      case SymCircle:
      case SymDisc:
        operands = 3;
        break;
      case SymBar:
        operands = 4;
        break;
      default:
        ADD_FAILURE() << "unknown command " << command;
        return steps;
    }
    steps.push_back({command, std::vector<int32_t>(symbol, symbol + operands)});
    symbol += operands;
  }
  ADD_FAILURE() << "symbol list without end";
  return steps;
}

int CountOf(const std::vector<SymbolStep>& steps, int32_t command) {
  int n = 0;
  for (const SymbolStep& s : steps) n += s.command == command;
  return n;
}

TEST(Kinds, SymbolsAreWellFormedAndReachEveryPin) {
  for (int kind = 0; kind < ElemKindCount; ++kind) {
    SCOPED_TRACE("kind " + std::to_string(kind));
    const SElemType* t = ElemTypes[kind];
    const std::vector<SymbolStep> steps = ReadSymbol(t->Symbol);
    ASSERT_FALSE(steps.empty());
    EXPECT_TRUE(steps.front().command == SymMove || steps.front().command == SymCircle);
    for (int p = 0; p < t->PinCount; ++p) {
      const int32_t px = 32 * t->Pins[p].X;
      const int32_t py = 32 * t->Pins[p].Y;
      bool reached = false;
      for (const SymbolStep& s : steps) {
        if ((s.command == SymMove || s.command == SymLine) && s.operands[0] == px &&
            s.operands[1] == py) {
          reached = true;
        }
      }
      EXPECT_TRUE(reached) << "pin " << p << " at (" << px << ", " << py << ")";
    }
    // Every drawn point lies within a grid step around the body's own span.
    for (const SymbolStep& s : steps) {
      for (size_t i = 0; i + 1 < s.operands.size(); i += 2) {
        EXPECT_GE(s.operands[i], -32);
        EXPECT_LE(s.operands[i], 96);
        EXPECT_GE(s.operands[i + 1], 32 * t->Body[3] - 32);
        EXPECT_LE(s.operands[i + 1], 32 * t->Body[1] + 32);
      }
    }
  }
}

TEST(Kinds, SymbolsCarryTheirDistinguishingMarks) {
  // the meter: one circle round the body's centre
  auto meter = ReadSymbol(ElemTypes[KindMeter]->Symbol);
  ASSERT_EQ(CountOf(meter, SymCircle), 1);
  for (const SymbolStep& s : meter) {
    if (s.command == SymCircle) {
      EXPECT_EQ(s.operands, (std::vector<int32_t>{32, 0, 22}));
    }
  }
  // the four-pin kinds: two like-polarity dots, nearer pin 0 and pin 2 than pins 1 and 3
  for (int kind : {KindLC, KindW}) {
    auto steps = ReadSymbol(ElemTypes[kind]->Symbol);
    std::vector<std::vector<int32_t>> dots;
    for (const SymbolStep& s : steps) {
      if (s.command == SymDisc) dots.push_back(s.operands);
    }
    ASSERT_EQ(dots.size(), 2u) << kind;
    const CPin* pins = ElemTypes[kind]->Pins;
    for (int w = 0; w < 2; ++w) {
      auto distance = [&](const CPin& pin) {
        return std::hypot(dots[w][0] - 32 * pin.X, dots[w][1] - 32 * pin.Y);
      };
      EXPECT_LT(distance(pins[2 * w]), distance(pins[2 * w + 1])) << kind << " dot " << w;
    }
  }
  EXPECT_EQ(CountOf(ReadSymbol(ElemTypes[KindW]->Symbol), SymBar), 1);
  EXPECT_EQ(CountOf(ReadSymbol(ElemTypes[KindLC]->Symbol), SymBar), 0);
  for (int kind : {KindR, KindC, KindL}) {
    auto steps = ReadSymbol(ElemTypes[kind]->Symbol);
    EXPECT_EQ(CountOf(steps, SymCircle) + CountOf(steps, SymDisc) + CountOf(steps, SymBar), 0);
  }
}

TEST(Kinds, EachFactoryBuildsItsOwnKindUnowned) {
  for (int kind = 0; kind < ElemKindCount; ++kind) {
    const SElemType* t = ElemTypes[kind];
    std::unique_ptr<CCmp> c = t->Create(t);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->Type, t);
    EXPECT_EQ(c->Id, 0);
    EXPECT_EQ(c->NodeCount, t->PinCount);
  }
}

}  // namespace
