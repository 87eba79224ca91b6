// A sheet host for tests and benchmarks: records what the sheet asks of the main window and
// does the main window's part of a recompute (renumber, paint, measure).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "analysis/CCalc.h"
#include "analysis/Measure.h"
#include "sheet/CSheet.h"
#include "sheet/SheetHost.h"

class FakeHost : public SheetHost {
 public:
  // Becomes the sheet's host; fills the kind table and the drawing style as the program's
  // start-up does.
  explicit FakeHost(CSheet& sheet);
  ~FakeHost() override;

  void PaintSheet() override;
  void Recompute(bool renumber) override;
  void UpdateReadoutState() override;
  void SetSheetCursor(int id) override;
  void EditParameter(CCmp& cmp, int index) override;
  CCmp* Meter() const override { return meter; }
  void EditCompleted() override {
    ++editsCompleted;
    if (onEditCompleted) onEditCompleted();
  }

  // What the main window does on start and on New: a cleared sheet holding only the meter at
  // (-4, -2), orientation 1, not selected, zoom 32, no pan, a first paint and measurement.
  void ResetSheet();
  // A press on a palette entry: the sheet places `kind` with the next press.
  void ArmPlacing(int kind, Orientation orientation = Orientation::R90);
  // Makes the parameter dialog accept `text` whenever it opens: the text and its parsed value
  // go into the bound slot, the sheet is repainted and measured without renumbering.
  void ScriptEntry(const std::string& text);

  CSheet& sheet;
  SRect client{0, 0, 640, 480};

  // The settings below as the measurement takes them.
  SMeasureSettings MeasureSettings() const;

  // Settings of the main window that the measurement reads.
  double frequency = 1.0;
  int frequencyUnit = 0;
  int displayMode = 0;
  int digits = 3;
  CCmp* meter = nullptr;
  bool hasReactive = false;

  // Recorded calls.
  int paints = 0;
  int readoutStates = 0;
  int cursor = 0;  // last cursor id, 0 before any
  int cursorCalls = 0;
  std::vector<bool> recomputes;  // the renumber flag of every Recompute
  int editCalls = 0;
  int editsCompleted = 0;   // EditCompleted reports
  std::string editedLabel;  // Label of the parameter entry last handed to the dialog
  SReadout readout;

  // What the dialog does when opened, on the entry bound to the edited component; nothing (a
  // cancelled dialog) by default.
  std::function<void(CParam&)> onEditParameter;
  // Called on every EditCompleted report.
  std::function<void()> onEditCompleted;

  CCalc solver;
};
