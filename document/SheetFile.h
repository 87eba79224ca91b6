// The sheet file: a versioned JSON text with the meter and every component (kind, position,
// orientation, each value's text as typed, the part's own tolerances where it has any), the wires,
// the junction dots, the frequency with its unit and the view. Reading checks the whole text before
// anything touches a sheet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sheet/CPcts.h"
#include "view/CVC.h"
#include "view/Geometry.h"

class CCmp;
class CSheet;

constexpr const char* SheetFileFormat = "vorzeta-sheet";
constexpr int SheetFileVersion = 1;
// Larger files are refused before they are parsed: opening stays quick (loading grows as
// n log n; a file of 10 MB opens in about a second).
constexpr size_t SheetFileMaxBytes = size_t{16} << 20;
// Components, wires and dots together.
constexpr size_t SheetFileMaxParts = 1000000;
// A sheet needs four levels of brackets; deeper files are damaged or hostile.
constexpr int SheetFileMaxNesting = 16;

struct SSheetComponent {
  int Kind = 0;
  SPoint Position;
  ::Orientation Orientation = ::Orientation::R0;  // `::` names the enum this member hides
  std::vector<std::string> Texts;                 // one per parameter of the kind, as typed
  // One per parameter: the part's own tolerance as a fraction, none where its kind's applies.
  std::vector<std::optional<double>> Tolerances;
};

// The frequency-response panel's range as a sheet keeps it: from Start to Stop hertz in
// Points steps, or three decades either side of the working frequency while Follow is set.
inline constexpr int SweepPointsMin = 10;
inline constexpr int SweepPointsMax = 10000;
struct SSheetSweep {
  double Start = 1e-3;
  double Stop = 1e3;
  int Points = 400;
  bool Follow = true;
  bool operator==(const SSheetSweep&) const = default;
};

// What a sheet file keeps beside the circuit and that the window holds as settings: each may
// be left out, and a sheet opened without one keeps the window's own.
struct SSheetSettings {
  std::optional<std::string> ReferenceImpedance;  // Z0 in ohms as typed, above zero
  std::optional<SSheetSweep> Sweep;
};

struct SSheetWire {
  SPoint From;
  SPoint To;
};

// Everything a sheet file holds, checked and ready to be put on a sheet.
struct SSheetContent {
  double Frequency = 1.0;
  int FrequencyUnit = 0;  // 0 Hz, 1 kHz, 2 MHz, 3 GHz
  bool HasView = false;   // a file may leave the view out; the sheet then keeps its own
  int32_t Zoom = DefaultZoom;
  double PanX = 0.0;
  double PanY = 0.0;
  std::vector<SSheetComponent> Components;  // in the order of the sheet's pictures
  std::vector<SSheetWire> Wires;
  std::vector<SPoint> Dots;
  SSheetSettings Settings;
};

// The sheet as file text: one line per component, wire and dot, keys in a fixed order, so
// that two saves of the same sheet give the same bytes and a changed sheet diffs by lines.
// Without `withView` the view is left out (the undo steps keep the view where the user has it);
// the settings are written as far as `settings` holds them (the undo steps hold none).
std::string WriteSheetFile(const CSheet& sheet, double frequency, int frequencyUnit,
                           bool withView = true, const SSheetSettings& settings = {});

// Reads and checks a whole file text. Throws Exception("field: problem") for the first fault
// found: too large, nested too deep, not JSON, another format, a newer version, a wrong type,
// too many parts, an unknown kind, not exactly one meter, a wrong number of values, a value
// text that does not parse, a part's tolerance that is no fraction from 0 to below 1, a coordinate
// that is not an integer or lies beyond the limits, a reference impedance not above zero, a sweep
// range that is empty or of too few or many points. A message quotes at most a short excerpt of an
// offending text.
SSheetContent ReadSheetFile(std::string_view text);

// Replaces everything on the sheet by the content (the view only when the content has one),
// then settles and numbers the wiring as after an edit: a sheet that the program wrote comes
// back unchanged. When settling changed which pins are joined (a file with wiring an edit
// never leaves), `notice` receives a sentence saying so, else it is emptied. Returns the
// meter's component. Does not throw for content that ReadSheetFile returned.
CCmp* ApplySheetFile(const SSheetContent& content, CSheet& sheet, std::string* notice = nullptr);
