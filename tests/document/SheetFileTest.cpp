// The sheet file: round trips of real sheets, a table of broken files, and random damage.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <string>

#include "FakeHost.h"
#include "SheetBuilder.h"
#include "components/CCmp.h"
#include "document/SheetFile.h"
#include "value/Value.h"

namespace {

void AddWires(CSheet& sheet, std::initializer_list<std::pair<SPoint, SPoint>> wires) {
  for (const auto& [a, b] : wires) sheet.pictures.Add(std::make_unique<CLine>(a, b, false));
}

CPct* AddPart(CSheet& sheet, int kind, Orientation orientation, SPoint at,
              std::vector<std::string> texts) {
  CPct* p = sheet.pictures.At(sheet.AddElement(kind, orientation, at.x, at.y));
  p->selected = false;
  for (size_t j = 0; j < texts.size(); ++j)
    *p->cmp->Params()[j].Value = {ParseValue(texts[j]), texts[j]};
  return p;
}

// Meter pins (-4,-2) and (-4,0); a transformer with a load on its secondary, and unwired
// coupled inductors.
void TransformerCircuit(CSheet& sheet) {
  const CPct* w = AddPart(sheet, KindW, Orientation::R0, {0, -2}, {"10", "2.5"});
  const SPoint p2 = w->PinPos(2);
  const CPct* r = AddPart(sheet, KindR, Orientation::R90, {p2.x + 3, p2.y}, {"4k7"});
  AddWires(sheet, {{{-4, -2}, w->PinPos(0)},
                   {{-4, 0}, {w->PinPos(1).x, 0}},
                   {{w->PinPos(1).x, 0}, w->PinPos(1)},
                   {p2, r->PinPos(0)},
                   {w->PinPos(3), r->PinPos(1)}});
  AddPart(sheet, KindLC, Orientation::R180, {-10, 8}, {"2u2", "10m", "0.95"});
}

//   (-4,-2)---R---+----+-- (8,-2)
//                 |    |
//   (-4, 0)-------+----C     crossing at (4,0) without a dot, a T with a dot at (4,-2)
//                 |
//               (4, 3)
void DotsAndCrossings(CSheet& sheet) {
  AddPart(sheet, KindR, Orientation::R0, {-2, -2}, {"330"});
  AddPart(sheet, KindC, Orientation::R90, {7, -1}, {"47n"});
  AddWires(sheet, {{{-4, -2}, {-2, -2}}, {{0, -2}, {8, -2}}, {{4, -2}, {4, 3}}, {{-4, 0}, {7, 0}}});
  sheet.pictures.Add(std::make_unique<CDot>(4, -2));
  sheet.view.Zoom = 20;
  sheet.view.PanX = -1.40625;
}

// A sheet as after an edit, measured at 2.5 kHz; returns its file text.
std::string Drawn(CSheet& sheet, FakeHost& host, void (*build)(CSheet&)) {
  host.ResetSheet();
  build(sheet);
  sheet.pictures.Sort();
  sheet.pictures.AttachElements();
  host.frequency = 2.5;
  host.frequencyUnit = 1;
  host.Recompute(true);
  return WriteSheetFile(sheet, 2.5, 1);
}

TEST(SheetFile, RealSheetsReadTheSameAndSaveToTheSameBytes) {
  const std::pair<const char*, void (*)(CSheet&)> sheets[] = {
      {"ladder", [](CSheet& s) { BuildRcLadder(s, 12); }},
      {"transformer", TransformerCircuit},
      {"dots and crossings", DotsAndCrossings}};
  for (const auto& [name, build] : sheets) {
    SCOPED_TRACE(name);
    CSheet sheet, copy;
    FakeHost host(sheet), copyHost(copy);
    const std::string text = Drawn(sheet, host, build);
    const SSheetContent content = ReadSheetFile(text);
    copyHost.meter = ApplySheetFile(content, copy);
    ASSERT_NE(copyHost.meter, nullptr);
    copyHost.frequency = content.Frequency;
    copyHost.frequencyUnit = content.FrequencyUnit;
    copyHost.Recompute(true);
    EXPECT_EQ(copyHost.readout.R, host.readout.R);
    EXPECT_EQ(copyHost.readout.X, host.readout.X);
    EXPECT_EQ(WriteSheetFile(copy, 2.5, 1), text);
    EXPECT_EQ(copy.pictures.Describe(), sheet.pictures.Describe());
  }
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

std::string Valid() {
  CSheet sheet;
  FakeHost host(sheet);
  return Replace(Replace(Drawn(sheet, host, TransformerCircuit), "\"2.5\",\n", "\"1\",\n"),
                 "\"kHz\"", "\"Hz\"");
}

TEST(SheetFile, BrokenFilesAreRefusedWithTheFieldAndTheProblem) {
  const std::string ok = Valid();
  const std::string meter = "{\"kind\": \"meter\", \"x\": -4, \"y\": -2, \"orientation\": 1, ";
  std::string junk(10 * 1024 * 1024, '\0');
  std::mt19937 random(8);
  for (char& c : junk) c = static_cast<char>(random());
  const struct {
    const char* name;
    std::string text;
    const char* message;
  } cases[] = {
      {"truncated", ok.substr(0, ok.size() / 2), "file: not a sheet file"},
      {"not JSON", "format = vorzeta", "file: not a sheet file"},
      {"not an object", "[1, 2]", "file: expected a JSON object, found array"},
      {"other format", Replace(ok, "vorzeta-sheet", "kicad"), "format: \"kicad\" is not"},
      {"future version", Replace(ok, "\"version\": 1", "\"version\": 2"),
       "version: the file is of version 2, written by a newer Vorzeta"},
      {"version as text", Replace(ok, "\"version\": 1", "\"version\": \"1\""),
       "version: expected an integer, found string"},
      {"no components", Replace(ok, "\"components\"", "\"parts\""), "components: missing"},
      {"meter turned resistor", Replace(ok, "\"meter\"", "\"resistor\""),
       "components[1].values: expected 1 value texts for a resistor, found 0"},
      {"no meter", Replace(Replace(ok, meter, ""), "\"values\": []},", ""), "components: no meter"},
      {"two meters", Replace(ok, meter, meter + "\"values\": []}, " + meter),
       "components: 2 meters, not one"},
      {"unknown kind", Replace(ok, "\"transformer\"", "\"diode\""),
       "components[2].kind: unknown kind \"diode\""},
      {"huge coordinate", Replace(ok, "\"x\": -4", "\"x\": 4000000000"),
       "components[1].x: out of range"},
      {"fractional coordinate", Replace(ok, "\"y\": -2", "\"y\": -2.5"),
       "components[1].y: expected an integer, found a number with a fraction"},
      {"point of three numbers", Replace(ok, "\"from\": [", "\"from\": [0, "),
       "wires[0].from: expected two coordinates [x, y], found 3"},
      {"orientation 4", Replace(ok, "\"orientation\": 1", "\"orientation\": 4"),
       "components[0].orientation: out of range (0 to 3)"},
      {"value that does not parse", Replace(ok, "\"4k7\"", "\"x4k7\""),
       "components[0].values[0]: \"x4k7\" is not a value"},
      {"too many values", Replace(ok, "[\"4k7\"]", "[\"4k7\", \"1\"]"),
       "components[0].values: expected 1 value texts for a resistor, found 2"},
      {"bad unit", Replace(ok, "\"Hz\"", "\"GHz\""), "unit: unknown unit \"GHz\""},
      {"zoom too large", Replace(ok, "\"zoom\": 32", "\"zoom\": 500"), "view.zoom: out of range"},
      {"10 MB of junk", junk, "file: not a sheet file"},
      {"number beyond a double", Replace(ok, "\"x\": -4", "\"x\": 1e400"),
       "file: not a sheet file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      ReadSheetFile(c.text);
      ADD_FAILURE() << "accepted";
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.what()).rfind(c.message, 0), 0u) << e.what();
    }
  }
}

// Random damage to a valid file: every text gives either a sheet, which then saves and reads
// again, or the one error type; never a crash (this also runs under the sanitizers).
TEST(SheetFile, DamagedFilesGiveASheetOrAnError) {
  const std::string ok = Valid(), alphabet = "{}[]\",:-.0123456789eE+ \n\\tnuaklzmx";
  CSheet sheet;
  FakeHost host(sheet);
  int sheets = 0;
  for (unsigned seed = 1; seed <= 3000; ++seed) {
    std::mt19937 random(seed);
    std::string text = ok;
    for (int k = 1 + static_cast<int>(random() % 4); k > 0 && !text.empty(); --k) {
      const size_t at = random() % text.size(), how = random() % 4;
      const char c = alphabet[random() % alphabet.size()];
      if (how == 0) text.erase(at, 1 + random() % 8);
      if (how == 1) text.insert(at, 1, c);
      if (how == 2) text[at] = c;
      if (how == 3) text.insert(at, text.substr(random() % text.size(), random() % 40));
    }
    try {
      host.meter = ApplySheetFile(ReadSheetFile(text), sheet);
      host.Recompute(true);
      ReadSheetFile(WriteSheetFile(sheet, 1, 0));  // a sheet that opened saves a valid file
      ++sheets;
    } catch (const Exception&) {
    } catch (const std::exception& e) {
      ADD_FAILURE() << "seed " << seed << ": " << e.what();
    }
  }
  EXPECT_GT(sheets, 0);
}

}  // namespace
