// Writing, checking and applying the sheet file.
#include "document/SheetFile.h"

#include <charconv>
#include <cmath>
#include <memory>
#include <nlohmann/json.hpp>
#include <unordered_map>

#include "components/CCmp.h"
#include "sheet/CElement.h"
#include "sheet/CSheet.h"
#include "value/Frequency.h"
#include "value/Value.h"

namespace {

using json = nlohmann::json;

constexpr const char* KindNames[ElemKindCount] = {"meter",    "resistor",          "capacitor",
                                                  "inductor", "coupled-inductors", "transformer"};
constexpr int UnitCount = FrequencyHighestUnit + 1;
constexpr const char* UnitNames[UnitCount] = {"Hz", "kHz", "MHz", "GHz"};

// JSON text of one value; every character beyond ASCII is escaped, so any byte string of a
// value text survives.
std::string Text(const json& value) {
  return value.dump(-1, ' ', true, json::error_handler_t::replace);
}

std::string PointText(SPoint p) {
  // Appended piece by piece: g++ 12 warns falsely (-Wrestrict) on "[" + std::to_string(...).
  std::string text(1, '[');
  text += std::to_string(p.x);
  text += ", ";
  text += std::to_string(p.y);
  text += ']';
  return text;
}

int ParamCount(int kind) {
  const CParam* table = ElemTypes[kind] != nullptr ? ElemTypes[kind]->Params : nullptr;
  int n = 0;
  while (table != nullptr && table[n].Caption != nullptr) ++n;
  return n;
}

template <class Item, class Line>
void WriteList(std::string& out, const char* key, const std::vector<Item>& items, Line line,
               bool last = false) {
  out += "  \"";
  out += key;
  out += "\": [";
  for (size_t i = 0; i < items.size(); ++i) {
    out += i == 0 ? "\n    " : ",\n    ";
    out += line(items[i]);
  }
  out += items.empty() ? "]" : "\n  ]";
  out += last ? "\n" : ",\n";
}

// ---- checking

[[noreturn]] void Fail(const std::string& field, const std::string& problem) {
  throw Exception(field + ": " + problem);
}

// A text as a message quotes it: in JSON quotes, cut after its first 40 bytes, so that a
// damaged file of one huge value does not become a huge message.
std::string Quoted(const std::string& text) {
  constexpr size_t Shown = 40;
  if (text.size() <= Shown) return Text(json(text));
  return Text(json(text.substr(0, Shown))) + "... (" + std::to_string(text.size()) + " bytes)";
}

// Brackets nested deeper than any sheet needs: refused before parsing builds them, which
// would take memory by the bracket.
void CheckNesting(std::string_view text) {
  int depth = 0;
  bool quoted = false, escaped = false;
  for (const char c : text) {
    if (quoted) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        quoted = false;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == '[' || c == '{') {
      if (++depth > SheetFileMaxNesting)
        Fail("file", "not a sheet file: brackets nested deeper than " +
                         std::to_string(SheetFileMaxNesting) + " levels");
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
}

const char* TypeName(const json& v) {
  return v.type_name();
}

const json& Member(const json& object, const std::string& path, const char* key) {
  const auto it = object.find(key);
  const std::string field = path.empty() ? key : path + "." + key;
  if (it == object.end()) Fail(field, "missing");
  return *it;
}

std::string Field(const std::string& path, const char* key) {
  return path.empty() ? key : path + "." + key;
}

const json& Typed(const json& v, json::value_t type, const std::string& field,
                  const char* expected) {
  if (v.type() != type) Fail(field, std::string("expected ") + expected + ", found " + TypeName(v));
  return v;
}

const json& Object(const json& parent, const std::string& path, const char* key) {
  return Typed(Member(parent, path, key), json::value_t::object, Field(path, key), "an object");
}

const json& Array(const json& parent, const std::string& path, const char* key) {
  return Typed(Member(parent, path, key), json::value_t::array, Field(path, key), "an array");
}

std::string String(const json& v, const std::string& field) {
  return Typed(v, json::value_t::string, field, "a string").get<std::string>();
}

int64_t Integer(const json& v, const std::string& field, int64_t low, int64_t high) {
  int64_t n = 0;
  if (v.is_number_unsigned()) {
    const uint64_t u = v.get<uint64_t>();
    n = u > static_cast<uint64_t>(high) ? high + 1 : static_cast<int64_t>(u);
  } else if (v.is_number_integer()) {
    n = v.get<int64_t>();
  } else {
    Fail(field, std::string("expected an integer, found ") +
                    (v.is_number_float() ? "a number with a fraction or exponent" : TypeName(v)));
  }
  if (n < low || n > high)
    Fail(field, "out of range (" + std::to_string(low) + " to " + std::to_string(high) + ")");
  return n;
}

int32_t Coordinate(const json& v, const std::string& field, int32_t limit = SheetCoordinateLimit) {
  return static_cast<int32_t>(Integer(v, field, -limit, limit));
}

// A wire end or dot, which may lie where the pins of a component at the limit lie.
SPoint Point(const json& v, const std::string& field) {
  Typed(v, json::value_t::array, field, "an array [x, y]");
  if (v.size() != 2)
    Fail(field, "expected two coordinates [x, y], found " + std::to_string(v.size()));
  return {Coordinate(v[0], field + "[0]", SheetPointLimit),
          Coordinate(v[1], field + "[1]", SheetPointLimit)};
}

double Number(const json& v, const std::string& field) {
  if (!v.is_number()) Fail(field, std::string("expected a number, found ") + TypeName(v));
  const double d = v.get<double>();
  if (!std::isfinite(d) || std::fabs(d) > SheetCoordinateLimit) Fail(field, "out of range");
  return d;
}

// A value text as the parameter dialog accepts it: ParseValue takes it and it is finite.
double ValueText(const std::string& text, const std::string& field) {
  double v = 0.0;
  try {
    v = ParseValue(text);
  } catch (const Exception& e) {
    Fail(field, Quoted(text) + " is not a value");
  }
  if (!std::isfinite(v)) Fail(field, Quoted(text) + " is not a finite value");
  return v;
}

// The shortest text that reads back as the same double.
std::string ExactText(double v) {
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, v);
  return error == std::errc() ? std::string(buffer, end) : FloatText(v);
}

// Written as ExactText since the value rules (which older files were read with) do not give
// back the same double: their decade-by-decade scaling rounds at each step.
double Frequency(const std::string& text) {
  double v = 0.0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, v);
  if (error != std::errc() || stop != end || !std::isfinite(v)) v = ValueText(text, "frequency");
  return v;
}

int Named(const std::string& name, const char* const* names, int count, const std::string& field,
          const char* what) {
  for (int i = 0; i < count; ++i)
    if (name == names[i]) return i;
  Fail(field, std::string("unknown ") + what + " " + Quoted(name));
}

// A component's own tolerances: a list beside its values, each a fraction from 0 to below 1 or
// null for its kind's. A file without the list gives the kinds' tolerances throughout.
std::vector<std::optional<double>> ReadTolerances(const json& c, const std::string& path,
                                                  size_t count) {
  std::vector<std::optional<double>> out(count);
  if (!c.contains("tolerances")) return out;
  const json& list = Array(c, path, "tolerances");
  if (list.size() != count)
    Fail(Field(path, "tolerances"),
         "expected " + std::to_string(count) + " tolerances, found " + std::to_string(list.size()));
  for (size_t j = 0; j < count; ++j) {
    if (list[j].is_null()) continue;
    const std::string field = Field(path, "tolerances") + "[" + std::to_string(j) + "]";
    if (!list[j].is_number())
      Fail(field, std::string("expected a number or null, found ") + TypeName(list[j]));
    const double fraction = list[j].get<double>();
    if (!IsPartTolerance(fraction))
      Fail(field, Text(list[j]) + " is not a tolerance: a fraction from 0 to below 1");
    out[j] = fraction;
  }
  return out;
}

SSheetComponent ReadComponent(const json& c, const std::string& path) {
  Typed(c, json::value_t::object, path, "an object");
  SSheetComponent out;
  out.Kind = Named(String(Member(c, path, "kind"), Field(path, "kind")), KindNames, ElemKindCount,
                   Field(path, "kind"), "kind");
  out.Position = {Coordinate(Member(c, path, "x"), Field(path, "x")),
                  Coordinate(Member(c, path, "y"), Field(path, "y"))};
  out.Orientation = OrientationFromInt(static_cast<int32_t>(
      Integer(Member(c, path, "orientation"), Field(path, "orientation"), 0, 3)));
  const json& values = Array(c, path, "values");
  const int expected = ParamCount(out.Kind);
  if (static_cast<int>(values.size()) != expected)
    Fail(Field(path, "values"), "expected " + std::to_string(expected) + " value texts for a " +
                                    KindNames[out.Kind] + ", found " +
                                    std::to_string(values.size()));
  for (size_t j = 0; j < values.size(); ++j) {
    const std::string field = Field(path, "values") + "[" + std::to_string(j) + "]";
    out.Texts.push_back(String(values[j], field));
    ValueText(out.Texts.back(), field);
  }
  out.Tolerances = ReadTolerances(c, path, values.size());
  return out;
}

// The settings a sheet keeps, each on a line of its own; version 1 readers pass over keys
// they do not know, so these need no new version.
void WriteSettings(std::string& out, const SSheetSettings& settings) {
  if (settings.ReferenceImpedance) out += "  \"z0\": " + Text(*settings.ReferenceImpedance) + ",\n";
  if (const std::optional<SSheetSweep>& s = settings.Sweep) {
    out += "  \"sweep\": {\"start\": " + Text(ExactText(s->Start)) +
           ", \"stop\": " + Text(ExactText(s->Stop)) +
           ", \"points\": " + std::to_string(s->Points) +
           ", \"follow\": " + (s->Follow ? "true" : "false") + "},\n";
  }
}

// The part's own tolerances, written only where it has one: null for each value that has
// none, a number that reads back as the same double for each that has. Only what reading
// takes is written, and a negative zero as zero, which JSON reads back as the same.
void AppendTolerances(std::string& line, const SParam* values, int count) {
  const auto own = [&](int j) {
    return values[j].Tolerance && IsPartTolerance(*values[j].Tolerance);
  };
  bool any = false;
  for (int j = 0; j < count; ++j) any |= own(j);
  if (!any) return;
  line += ", \"tolerances\": [";
  for (int j = 0; j < count; ++j) {
    if (j > 0) line += ", ";
    line += own(j) ? ExactText(*values[j].Tolerance + 0.0) : "null";
  }
  line += "]";
}

// A sweep limit as written: exact float text, finite and above zero.
double SweepLimit(const json& v, const std::string& field) {
  const std::string text = String(v, field);
  double d = 0.0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, d);
  if (error != std::errc() || stop != end) d = ValueText(text, field);
  if (!std::isfinite(d) || !(d > 0)) Fail(field, Quoted(text) + " is not a frequency above zero");
  return d;
}

SSheetSettings ReadSettings(const json& root) {
  SSheetSettings out;
  if (root.contains("z0")) {
    const std::string text = String(Member(root, "", "z0"), "z0");
    if (!PositiveValue(text)) Fail("z0", Quoted(text) + " is not a resistance above zero");
    out.ReferenceImpedance = text;
  }
  if (root.contains("sweep")) {
    const json& sweep = Object(root, "", "sweep");
    SSheetSweep s;
    s.Start = SweepLimit(Member(sweep, "sweep", "start"), "sweep.start");
    s.Stop = SweepLimit(Member(sweep, "sweep", "stop"), "sweep.stop");
    if (!(s.Stop > s.Start)) Fail("sweep.stop", "not above the start");
    s.Points = static_cast<int>(
        Integer(Member(sweep, "sweep", "points"), "sweep.points", SweepPointsMin, SweepPointsMax));
    s.Follow = Typed(Member(sweep, "sweep", "follow"), json::value_t::boolean, "sweep.follow",
                     "true or false")
                   .get<bool>();
    out.Sweep = s;
  }
  return out;
}

}  // namespace

std::string WriteSheetFile(const CSheet& sheet, double frequency, int frequencyUnit, bool withView,
                           const SSheetSettings& settings) {
  const int unit = frequencyUnit >= 0 && frequencyUnit < UnitCount ? frequencyUnit : 0;
  std::string out = "{\n";
  out += "  \"format\": " + Text(SheetFileFormat) + ",\n";
  out += "  \"version\": " + std::to_string(SheetFileVersion) + ",\n";
  out += "  \"frequency\": " + Text(ExactText(frequency)) + ",\n";
  out += "  \"unit\": " + Text(UnitNames[unit]) + ",\n";
  WriteSettings(out, settings);
  if (withView) {
    out += "  \"view\": {\"zoom\": " + std::to_string(sheet.view.Zoom) +
           ", \"panX\": " + Text(sheet.view.PanX) + ", \"panY\": " + Text(sheet.view.PanY) + "},\n";
  }

  // Everything in list order, which decides hit priority where pictures share a place.
  std::vector<const CPct*> elements;
  std::vector<const CPct*> wires;
  std::vector<const CPct*> dots;
  for (int i = 0; i < sheet.pictures.Count(); ++i) {
    const CPct* p = sheet.pictures.At(i);
    // A part of no known kind has no name to be written under.
    if (p->PictureKind() == PctElement && p->cmp != nullptr && KindOf(p->cmp->Type) >= 0)
      elements.push_back(p);
    if (p->PictureKind() == PctLine) wires.push_back(p);
    if (p->PictureKind() == PctDot) dots.push_back(p);
  }
  WriteList(out, "components", elements, [&](const CPct* p) {
    CCmp* c = p->cmp;
    const int kind = KindOf(c->Type);
    std::string line = "{\"kind\": " + Text(KindNames[kind]) + ", \"x\": " + std::to_string(p->x) +
                       ", \"y\": " + std::to_string(p->y) +
                       ", \"orientation\": " + std::to_string(QuarterTurns(p->orientation)) +
                       ", \"values\": [";
    const CParam* table = c->Params();
    for (int j = 0; table != nullptr && table[j].Caption != nullptr; ++j) {
      if (j > 0) line += ", ";
      line += Text(table[j].Value != nullptr ? table[j].Value->Text : std::string());
    }
    line += "]";
    AppendTolerances(line, c->ParamValues(), c->ParamCount());
    return line + "}";
  });
  WriteList(out, "wires", wires, [](const CPct* p) {
    const auto* w = static_cast<const CLine*>(p);
    return "{\"from\": " + PointText({w->x, w->y}) + ", \"to\": " + PointText({w->x2, w->y2}) + "}";
  });
  WriteList(
      out, "dots", dots,
      [](const CPct* p) {
        return PointText({p->x, p->y});
      },
      true);
  out += "}\n";
  return out;
}

namespace {

// The file's JSON, refused early when it is too large or nested too deep to be a sheet.
json ParseSheetJson(std::string_view text) {
  if (text.size() > SheetFileMaxBytes)
    Fail("file", std::to_string(text.size()) + " bytes, more than the " +
                     std::to_string(SheetFileMaxBytes) + " a sheet file may hold");
  CheckNesting(text);
  try {
    return json::parse(text.begin(), text.end());
  } catch (const json::exception& e) {
    // Not only parse errors: a number beyond a double (1e400) is nlohmann's out_of_range.
    // The reason quotes the last token read, which may be the whole file: it is cut short.
    std::string reason = e.what();
    const size_t tag = reason.find("] ");
    if (tag != std::string::npos) reason.erase(0, tag + 2);
    if (reason.size() > 160) reason = reason.substr(0, 160) + "...";
    Fail("file", "not a sheet file: " + reason);
  }
}

}  // namespace

SSheetContent ReadSheetFile(std::string_view text) {
  const json root = ParseSheetJson(text);
  Typed(root, json::value_t::object, "file", "a JSON object");

  const std::string format = String(Member(root, "", "format"), "format");
  if (format != SheetFileFormat)
    Fail("format", Quoted(format) + " is not a Vorzeta sheet (" + Text(SheetFileFormat) + ")");
  const int64_t version = Integer(Member(root, "", "version"), "version", 1, INT32_MAX);
  if (version > SheetFileVersion)
    Fail("version", "the file is of version " + std::to_string(version) +
                        ", written by a newer Vorzeta; this one reads up to version " +
                        std::to_string(SheetFileVersion));

  SSheetContent out;
  out.Frequency = Frequency(String(Member(root, "", "frequency"), "frequency"));
  if (out.Frequency < 0) Fail("frequency", "negative");
  out.FrequencyUnit =
      Named(String(Member(root, "", "unit"), "unit"), UnitNames, UnitCount, "unit", "unit");

  out.Settings = ReadSettings(root);
  if (root.contains("view")) {
    const json& view = Object(root, "", "view");
    out.HasView = true;
    out.Zoom =
        static_cast<int32_t>(Integer(Member(view, "view", "zoom"), "view.zoom", MinZoom, MaxZoom));
    out.PanX = Number(Member(view, "view", "panX"), "view.panX");
    out.PanY = Number(Member(view, "view", "panY"), "view.panY");
  }

  const json& components = Array(root, "", "components");
  const size_t parts =
      components.size() + Array(root, "", "wires").size() + Array(root, "", "dots").size();
  if (parts > SheetFileMaxParts)
    Fail("file", std::to_string(parts) + " components, wires and dots, more than the " +
                     std::to_string(SheetFileMaxParts) + " a sheet may hold");
  int meters = 0;
  for (size_t i = 0; i < components.size(); ++i) {
    out.Components.push_back(ReadComponent(components[i], "components[" + std::to_string(i) + "]"));
    meters += out.Components.back().Kind == KindMeter;
  }
  if (meters != 1)
    Fail("components", meters == 0 ? "no meter" : std::to_string(meters) + " meters, not one");

  const json& wires = Array(root, "", "wires");
  for (size_t i = 0; i < wires.size(); ++i) {
    const std::string path = "wires[" + std::to_string(i) + "]";
    Typed(wires[i], json::value_t::object, path, "an object");
    out.Wires.push_back({Point(Member(wires[i], path, "from"), path + ".from"),
                         Point(Member(wires[i], path, "to"), path + ".to")});
  }
  const json& dots = Array(root, "", "dots");
  for (size_t i = 0; i < dots.size(); ++i)
    out.Dots.push_back(Point(dots[i], "dots[" + std::to_string(i) + "]"));
  return out;
}

namespace {

// Puts the content on a cleared sheet as it stands, in file order and sorted; returns the
// meter's component.
CCmp* PutContent(const SSheetContent& content, CSheet& sheet) {
  CCmp* meter = nullptr;
  // Pictures are appended in file order and sorted once: the sort is stable, so pictures with
  // equal places come back in the order in which they were saved.
  int32_t id = 0;
  for (const SSheetComponent& c : content.Components) {
    auto element = std::make_unique<CElement>(ElemTypes[c.Kind]);
    element->x = c.Position.x;
    element->y = c.Position.y;
    element->orientation = c.Orientation;
    element->cmp = sheet.components.Create(c.Kind, ++id);
    CPct* p = element.get();
    sheet.pictures.InsertAt(sheet.pictures.Count(), std::move(element));
    if (c.Kind == KindMeter) meter = p->cmp;
    CParam* table = p->cmp->Params();
    for (size_t j = 0; j < c.Texts.size() && table[j].Caption != nullptr; ++j) {
      table[j].Value->Text = c.Texts[j];
      table[j].Value->Value = ParseValue(c.Texts[j]);
      if (j < c.Tolerances.size()) table[j].Value->Tolerance = c.Tolerances[j];
    }
  }
  // Dots sort before wires: appended in that order, a saved list needs no exchange.
  for (const SPoint& d : content.Dots)
    sheet.pictures.InsertAt(sheet.pictures.Count(), std::make_unique<CDot>(d.x, d.y));
  // A wire is the segment between its ends, in whichever order the file gives them.
  for (const SSheetWire& w : content.Wires) {
    auto wire = std::make_unique<CLine>(w.From, w.To, false);
    wire->Normalize();
    sheet.pictures.InsertAt(sheet.pictures.Count(), std::move(wire));
  }
  sheet.pictures.Sort();
  return meter;
}

// Which pins share a node: for each pin of each component in list order, the index of the
// first pin joined to it.
std::vector<size_t> PinGroups(const CCmps& components) {
  std::vector<size_t> groups;
  std::unordered_map<int32_t, size_t> first;
  for (int i = 0; i < components.Count(); ++i)
    for (int32_t node : components.At(i)->Nodes)
      groups.push_back(first.try_emplace(node, groups.size()).first->second);
  return groups;
}

}  // namespace

CCmp* ApplySheetFile(const SSheetContent& content, CSheet& sheet, std::string* notice) {
  sheet.AbortGesture();
  sheet.Clear();
  CCmp* meter = PutContent(content, sheet);
  if (content.HasView) {
    sheet.view.Zoom = content.Zoom;
    sheet.view.PanX = content.PanX;
    sheet.view.PanY = content.PanY;
  }
  // A sheet the program wrote is settled already and comes back as it was; other wiring is
  // settled once here, as an edit would have left it.
  const bool rejoined = sheet.pictures.Settle();
  sheet.RenumberNodes();
  if (notice != nullptr) notice->clear();
  if (notice != nullptr && rejoined) {
    // Which pins the file's wiring joins by the rules as it stands.
    CSheet asWritten;
    PutContent(content, asWritten);
    asWritten.RenumberNodes();
    if (PinGroups(asWritten.components) != PinGroups(sheet.components))
      *notice =
          "The wiring in this file was tidied as the editor would have left it, and that "
          "changed which component pins are joined. Check the circuit.";
  }
  return meter;
}
