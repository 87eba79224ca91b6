// The sheet file: round trips of real sheets, a table of broken files, and random damage.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
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
  r->cmp->Params()[0].Value->Tolerance = 0.001;  // the parts' own tolerances, zero among them
  AddWires(sheet, {{{-4, -2}, w->PinPos(0)},
                   {{-4, 0}, {w->PinPos(1).x, 0}},
                   {{w->PinPos(1).x, 0}, w->PinPos(1)},
                   {p2, r->PinPos(0)},
                   {w->PinPos(3), r->PinPos(1)}});
  CPct* lc = AddPart(sheet, KindLC, Orientation::R180, {-10, 8}, {"2u2", "10m", "0.95"});
  lc->cmp->Params()[1].Value->Tolerance = 1.0 / 3;
  lc->cmp->Params()[2].Value->Tolerance = 0.0;
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
std::string Drawn(CSheet& sheet, FakeHost& host, void (*build)(CSheet&),
                  const SSheetSettings& settings = {}) {
  host.ResetSheet();
  build(sheet);
  sheet.pictures.Sort();
  sheet.pictures.AttachElements();
  host.frequency = 2.5;
  host.frequencyUnit = 1;
  host.Recompute(true);
  return WriteSheetFile(sheet, 2.5, 1, true, settings);
}

TEST(SheetFile, RealSheetsReadTheSameAndSaveToTheSameBytes) {
  const struct {
    const char* name;
    void (*build)(CSheet&);
    SSheetSettings settings;  // what the file keeps beside the circuit, none where left out
  } sheets[] = {
      {"ladder", [](CSheet& s) { BuildRcLadder(s, 12); }, {}},
      {"transformer", TransformerCircuit, {"75", SSheetSweep{0.1 / 3, 2.4e9, 1234, false}}},
      {"dots and crossings", DotsAndCrossings, {" 1e-3 ", std::nullopt}}};
  for (const auto& [name, build, settings] : sheets) {
    SCOPED_TRACE(name);
    CSheet sheet, copy;
    FakeHost host(sheet), copyHost(copy);
    const std::string text = Drawn(sheet, host, build, settings);
    const SSheetContent content = ReadSheetFile(text);
    EXPECT_EQ(content.Settings.ReferenceImpedance, settings.ReferenceImpedance);
    EXPECT_EQ(content.Settings.Sweep, settings.Sweep);
    copyHost.meter = ApplySheetFile(content, copy);
    ASSERT_NE(copyHost.meter, nullptr);
    copyHost.frequency = content.Frequency;
    copyHost.frequencyUnit = content.FrequencyUnit;
    copyHost.Recompute(true);
    EXPECT_EQ(copyHost.readout.R, host.readout.R);
    EXPECT_EQ(copyHost.readout.X, host.readout.X);
    EXPECT_EQ(WriteSheetFile(copy, 2.5, 1, true, content.Settings), text);
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
  std::string many;
  for (size_t k = 0; k < SheetFileMaxParts; ++k) many += "[0, 0], ";
  const std::string sweep = "\"sweep\": {\"start\": ";
  const std::string tail = "\"points\": 10, \"follow\": true}, \"view\"";
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
      {"bad unit", Replace(ok, "\"Hz\"", "\"THz\""), "unit: unknown unit \"THz\""},
      {"tolerance of 100 %", Replace(ok, "\"tolerances\": [0.001]", "\"tolerances\": [1.0]"),
       "components[0].tolerances[0]: 1.0 is not a tolerance: a fraction from 0 to below 1"},
      {"negative tolerance", Replace(ok, "[0.001]", "[-1e-9]"),
       "components[0].tolerances[0]: -1e-09 is not a tolerance"},
      {"tolerance as text", Replace(ok, "[0.001]", "[\"1%\"]"),
       "components[0].tolerances[0]: expected a number or null, found string"},
      {"tolerances too many", Replace(ok, "[0.001]", "[0.001, null]"),
       "components[0].tolerances: expected 1 tolerances, found 2"},
      {"Z0 zero", Replace(ok, "\"view\"", "\"z0\": \"0\", \"view\""),
       "z0: \"0\" is not a resistance above zero"},
      {"sweep upside down", Replace(ok, "\"view\"", sweep + "\"1e3\", \"stop\": \"1\", " + tail),
       "sweep.stop: not above the start"},
      {"sweep of 9 points",
       Replace(ok, "\"view\"",
               sweep + "\"1\", \"stop\": \"9\", \"points\": 9, \"follow\": true}, \"view\""),
       "sweep.points: out of range (10 to 10000)"},
      {"zoom too large", Replace(ok, "\"zoom\": 32", "\"zoom\": 500"), "view.zoom: out of range"},
      {"10 MB of junk", junk, "file: not a sheet file"},
      {"number beyond a double", Replace(ok, "\"x\": -4", "\"x\": 1e400"),
       "file: not a sheet file"},
      {"1 MB of open brackets", std::string(1 << 20, '['), "file: not a sheet file: brackets"},
      {"beyond the size", ok + std::string(SheetFileMaxBytes, ' '), "file: 1677"},
      {"beyond the part count", Replace(ok, "\"dots\": [", "\"dots\": [" + many), "file: 1000"},
      {"a megabyte of value", Replace(ok, "\"4k7\"", '"' + std::string(1 << 20, '7') + "x\""),
       "components[0].values[0]: \"777"},
      {"a megabyte of kind", Replace(ok, "\"transformer\"", '"' + std::string(1 << 20, 'w') + '"'),
       "components[2].kind: unknown kind \"www"},
      {"a megabyte of bad token", Replace(ok, "\"Hz\"", std::string(1 << 20, 'H')),
       "file: not a sheet file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      ReadSheetFile(c.text);
      ADD_FAILURE() << "accepted";
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.what()).rfind(c.message, 0), 0u) << e.what();
      EXPECT_LT(std::string(e.what()).size(), 300u) << "quotes a short excerpt at most";
    }
  }
}

// Opens a file text on a fresh sheet as the program does and measures it.
struct SOpened {
  explicit SOpened(const std::string& file) : host(sheet) {
    const SSheetContent content = ReadSheetFile(file);
    host.meter = ApplySheetFile(content, sheet, &notice);
    host.frequency = content.Frequency;
    host.frequencyUnit = content.FrequencyUnit;
    host.UpdateReadoutState();
    host.Recompute(true);
    text = WriteSheetFile(sheet, content.Frequency, content.FrequencyUnit);
  }
  CSheet sheet;
  FakeHost host;
  std::string notice, text;
};

std::string StoredFile(const std::string& name) {
  std::ifstream in(std::string(VORZETA_TEST_FILES) + "/" + name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  EXPECT_FALSE(text.str().empty()) << name;
  return text.str();
}

// A file opens as one circuit, and its save opens as the same circuit and saves the same text.
// Wiring an edit never leaves is settled once; when that changes which pins are joined, the
// opening says so.
//   M(-4,-2)---(0,-2)R(2,-2)---(6,-2)      the wire runs on under the resistor: read as drawn
//   M(-4, 0)----------------------(6,0)    it would short the meter
TEST(SheetFile, FilesOpenSavedAndReopenedReadTheSame) {
  const std::string underBody =
      Replace(Replace(StoredFile("zero-length-wire.vorzeta"), "[3, 3], \"to\": [3, 3]",
                      "[-4, -2], \"to\": [6, -2]}, {\"from\": [6, -2], \"to\": [6, 0]}, "
                      "{\"from\": [6, 0], \"to\": [-4, 0]"),
              "\"values\": []}",
              "\"values\": []}, {\"kind\": \"resistor\", \"x\": 0, \"y\": -2, "
              "\"orientation\": 0, \"values\": [\"1k\"]}");
  const struct {
    std::string name, file, reading;
    bool notice;
    std::string x = "";  // checked where given
  } cases[] = {
      {"transformer on a wire", StoredFile("reopen-loses-wire.vorzeta"), "1e+3", false},
      {"wire of zero length", StoredFile("zero-length-wire.vorzeta"), "Infinity", false},
      {"wire under a resistor", underBody, "1e+3", true},
      {"parts at the edge", StoredFile("edge-part-unreadable-save.vorzeta"), "Infinity", false},
      // Files of version 1 as saved: 4k7 through 10:2.5, 100 behind 1m:4m at k 0.5, RLC.
      {"v1 transformer", StoredFile("v1-transformer-load.vorzeta"), "75.2e+3", false, "0"},
      {"v1 coupled", StoredFile("v1-coupled-load.vorzeta"), "371e-3", false, "6.19"},
      {"v1 series RLC", StoredFile("v1-series-rlc.vorzeta"), "50", false, "-96.3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const SOpened first(c.file);
    EXPECT_EQ(first.host.readout.R, c.reading);
    EXPECT_TRUE(c.x.empty() || first.host.readout.X == c.x) << first.host.readout.X.value_or("");
    EXPECT_EQ(!first.notice.empty(), c.notice) << first.notice;
    EXPECT_EQ(first.text.find("[3, 3]"), std::string::npos) << "a zero-length wire stays";
    EXPECT_TRUE(!c.name.starts_with("v1") || first.text == c.file) << "saved as read";
    const SOpened again(first.text);
    EXPECT_EQ(again.host.readout.R, c.reading);
    EXPECT_EQ(again.notice, "");
    EXPECT_EQ(again.text, first.text);
  }
}

// Panning, placing and moving stop at the coordinate limit, so that what they leave saves a
// file that opens: three parts dropped on one spot at the window's edge, one dragged on.
TEST(SheetFile, EditsAtTheCoordinateLimitSaveFilesThatOpen) {
  CSheet sheet;
  FakeHost host(sheet);
  host.ResetSheet();
  SheetMouse mouse(host);
  mouse.PressPixel({320, 240});
  mouse.MovePixel({320 - 40000000, 240 + 40000000});
  mouse.ReleasePixel({320 - 40000000, 240 + 40000000});
  EXPECT_EQ(sheet.view.PanX, SheetCoordinateLimit);
  EXPECT_EQ(sheet.view.PanY, -SheetCoordinateLimit);
  const SPoint edge = sheet.view.ScreenToGrid({639, 479});
  for (int k = 0; k < 3; ++k) mouse.Place(KindR, Orientation::R0, edge);
  mouse.Drag(edge, edge + SPoint{7, 0});
  for (int r = 1; r <= 4; ++r) sheet.Rotate(r);
  const SOpened opened(WriteSheetFile(sheet, 1, 0));
  EXPECT_EQ(opened.text, WriteSheetFile(sheet, 1, 0));
  for (int i = 0; i < sheet.pictures.Count(); ++i) {
    const CPct* p = sheet.pictures.At(i);
    EXPECT_LE(p->x, p->PictureKind() == PctElement ? SheetCoordinateLimit : SheetPointLimit)
        << sheet.pictures.Describe();
  }
}

// The frequency is kept as the double it is; the texts of older files still read.
TEST(SheetFile, FrequencyComesBackAsTheSameDouble) {
  CSheet sheet;
  FakeHost host(sheet);
  host.ResetSheet();
  std::mt19937_64 random(16);
  std::uniform_real_distribution<double> decades(-15.0, 20.0);
  for (int k = 0; k < 20000; ++k) {
    const double f = std::pow(10.0, decades(random));
    ASSERT_EQ(ReadSheetFile(WriteSheetFile(sheet, f, 0)).Frequency, f) << std::hexfloat << f;
  }
  const std::string one = WriteSheetFile(sheet, 1.0, 0);
  for (const auto& [text, value] : {std::pair{"7.40900000000002E-11", 7.40900000000002E-11},
                                    std::pair{"2k5", 2500.0}, std::pair{"0.5", 0.5}})
    EXPECT_EQ(ReadSheetFile(Replace(one, "\"1\"", '"' + std::string(text) + '"')).Frequency, value);
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
