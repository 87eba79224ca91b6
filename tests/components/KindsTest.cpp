// The six kinds as the sheet, the dialog and the solver see them: pins, bodies, parameters
// with their defaults and label places, reserved unknowns, reactive flags and symbols.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "components/CCmp.h"
#include "view/CVC.h"

namespace {

struct ParamRow {
  const char* label;
  double value;
  const char* text;
  SLabelPlace place[4];
};

struct KindRow {
  int kind;
  int pins;
  std::vector<CPin> pinTable;
  std::vector<int32_t> body;
  int extra;
  bool reactive;
  const char* caption;
  std::vector<ParamRow> params;
};

std::vector<KindRow> KindRows() {
  const SLabelPlace r[4] = {{32, -22, 0}, {32, -22, 1}, {32, -22, 0}, {32, -22, -1}};
  const SLabelPlace cl[4] = {{32, -28, 0}, {32, -28, 1}, {32, -28, 0}, {32, -28, -1}};
  const SLabelPlace first[4] = {{32, 10, 0}, {32, 10, -1}, {32, 10, 0}, {32, 10, 1}};
  const SLabelPlace second[4] = {{32, -74, 0}, {32, -74, 1}, {32, -74, 0}, {32, -74, -1}};
  const SLabelPlace k[4] = {{-28, -32, -1}, {-28, -32, 0}, {-28, -32, 1}, {-28, -32, 0}};
  auto row = [](const char* label, double value, const char* text, const SLabelPlace* p) {
    return ParamRow{label, value, text, {p[0], p[1], p[2], p[3]}};
  };
  const std::vector<CPin> two = {{2, 0, 2}, {0, 0, 0}};
  return {
      {KindMeter, 2, two, {1, 0, 1, 0}, 1, false, nullptr, {}},
      {KindR, 2, two, {1, 0, 1, 0}, 0, false, "Resistor", {row("Resistance, Ohm", 1000, "1k", r)}},
      {KindC, 2, two, {1, 0, 1, 0}, 1, true, "Capacitor", {row("Capacitance, F", 1e-9, "1n", cl)}},
      {KindL, 2, two, {1, 0, 1, 0}, 1, true, "Inductor", {row("Inductance, H", 1e-6, "1u", cl)}},
      {KindLC,
       4,
       {{2, 0, 2}, {0, 0, 0}, {2, -2, 2}, {0, -2, 0}},
       {1, 0, 1, -2},
       2,
       true,
       "Coupled inductors",
       {row("Inductance 1, H", 1e-6, "1u", first), row("Inductance 2, H", 1e-6, "1u", second),
        row("Couplng coefficient", 1, "1", k)}},
      {KindW,
       4,
       {{2, 0, 3}, {0, 0, 3}, {2, -2, 1}, {0, -2, 1}},
       {1, 0, 1, -2},
       3,
       false,
       "Ideal transformer",
       {row("Number of turns 1", 1, "1", first), row("Number of turns 2", 1, "1", second)}},
  };
}

TEST(Kinds, TableIsFilledInKindOrderAndOnlyOnce) {
  FillElemTypes();
  const SElemType* first[ElemKindCount];
  for (int kind = 0; kind < ElemKindCount; ++kind) {
    ASSERT_NE(ElemTypes[kind], nullptr);
    first[kind] = ElemTypes[kind];
    for (int other = 0; other < kind; ++other) EXPECT_NE(first[other], first[kind]);
  }
  FillElemTypes();
  for (int kind = 0; kind < ElemKindCount; ++kind) EXPECT_EQ(ElemTypes[kind], first[kind]);
}

TEST(Kinds, EachKindMatchesItsCatalogueRow) {
  FillElemTypes();
  CCmps cmps;
  for (const KindRow& row : KindRows()) {
    SCOPED_TRACE("kind " + std::to_string(row.kind));
    const SElemType* t = ElemTypes[row.kind];
    EXPECT_EQ(t->PinCount, row.pins);
    for (int i = 0; i < row.pins; ++i) {
      EXPECT_EQ(t->Pins[i].X, row.pinTable[i].X) << "pin " << i;
      EXPECT_EQ(t->Pins[i].Y, row.pinTable[i].Y) << "pin " << i;
      EXPECT_EQ(t->Pins[i].Dir, row.pinTable[i].Dir) << "pin " << i;
    }
    EXPECT_EQ(std::vector<int32_t>(t->Body, t->Body + 4), row.body);
    EXPECT_EQ(t->ExtraCount, row.extra);

    CCmp* c = cmps.Create(row.kind);
    EXPECT_EQ(c->Reactive, row.reactive);
    EXPECT_EQ(c->ExtraCount(), row.extra);
    CParam* table = c->Params();
    EXPECT_EQ(table, t->Params);
    if (row.params.empty()) {
      EXPECT_EQ(table, nullptr);
      continue;
    }
    ASSERT_NE(table, nullptr);
    size_t i = 0;
    for (; table[i].Caption != nullptr; ++i) {
      ASSERT_LT(i, row.params.size());
      const ParamRow& p = row.params[i];
      EXPECT_STREQ(table[i].Caption, row.caption);
      EXPECT_STREQ(table[i].Label, p.label);
      EXPECT_EQ(table[i].Value->Value, p.value) << p.label;
      EXPECT_EQ(table[i].Value->Text, p.text) << p.label;
      for (int o = 0; o < 4; ++o) {
        EXPECT_EQ(table[i].Place[o].X, p.place[o].X) << p.label << " orientation " << o;
        EXPECT_EQ(table[i].Place[o].Y, p.place[o].Y) << p.label << " orientation " << o;
        EXPECT_EQ(table[i].Place[o].Align, p.place[o].Align) << p.label << " orientation " << o;
      }
    }
    EXPECT_EQ(i, row.params.size());
    // the terminating entry is empty throughout
    EXPECT_EQ(table[i].Label, nullptr);
    for (int o = 0; o < 4; ++o) {
      EXPECT_EQ(table[i].Place[o].X, 0);
      EXPECT_EQ(table[i].Place[o].Y, 0);
      EXPECT_EQ(table[i].Place[o].Align, 0);
    }
  }
}

TEST(Kinds, ResistorReservesAnUnknownExactlyWhenItsValueIsZero) {
  FillElemTypes();
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
  FillElemTypes();
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
  FillElemTypes();
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
  FillElemTypes();
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
