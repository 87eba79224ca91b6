#include "FakeHost.h"

#include "RecordingCanvas.h"
#include "components/CCmp.h"
#include "sheet/SheetPainting.h"
#include "value/Value.h"
#include "view/DrawStyle.h"

FakeHost::FakeHost(CSheet& s) : sheet(s) {
  InitDrawStyle();
  sheet.Host = this;
  solver.Cmps = &sheet.components;
}

FakeHost::~FakeHost() {
  if (sheet.Host == this) sheet.Host = nullptr;
}

void FakeHost::PaintSheet() {
  ++paints;
  // Painting writes the view's origin and the label rectangles that presses are tested on.
  CountingCanvas canvas;
  PaintSheetOnCanvas(canvas, sheet.view, sheet.pictures, client);
}

void FakeHost::Recompute(bool renumber) {
  recomputes.push_back(renumber);
  if (renumber) {
    sheet.RenumberNodes();
    PaintSheet();
  }
  if (meter == nullptr) return;
  readout = MeasureImpedance(sheet.components, *meter, solver, MeasureSettings());
}

SMeasureSettings FakeHost::MeasureSettings() const {
  return {.frequency = frequency,
          .frequencyUnit = frequencyUnit,
          .displayMode = displayMode,
          .digits = digits,
          .hasReactive = hasReactive};
}

void FakeHost::UpdateReadoutState() {
  ++readoutStates;
  hasReactive = false;
  for (int i = 0; i < sheet.components.Count() && !hasReactive; ++i)
    hasReactive = sheet.components.At(i)->Reactive;
}

void FakeHost::SetSheetCursor(int id) {
  cursor = id;
  ++cursorCalls;
}

void FakeHost::EditParameter(CCmp& cmp, int index) {
  ++editCalls;
  CParam& param = cmp.Params()[index];
  editedLabel = param.Label != nullptr ? param.Label : "";
  if (onEditParameter) onEditParameter(param);
}

void FakeHost::ResetSheet() {
  sheet.Clear();
  const int i = sheet.AddElement(KindMeter, Orientation::R90, -4, -2);
  meter = sheet.pictures.At(i)->cmp;
  sheet.pictures.At(i)->selected = false;
  sheet.view.Zoom = DefaultZoom;
  sheet.view.PanX = 0.0;
  sheet.view.PanY = 0.0;
  UpdateReadoutState();
  PaintSheet();
  Recompute(true);
}

void FakeHost::ArmPlacing(int kind, Orientation orientation) {
  sheet.ArmPlacing(kind, orientation);
}

void FakeHost::ScriptEntry(const std::string& text) {
  onEditParameter = [this, text](CParam& param) {
    param.Value->Value = ParseValue(text);
    param.Value->Text = text;
    PaintSheet();
    Recompute(false);
  };
}
