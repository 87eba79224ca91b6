#include "SheetBuilder.h"

#include <algorithm>
#include <memory>

#include "components/CCmp.h"
#include "sheet/CPct.h"

SPoint SheetMouse::Pixel(SPoint grid) const {
  return host.sheet.view.GridToScreen(grid);
}

void SheetMouse::Press(SPoint grid) {
  PressPixel(Pixel(grid));
}
bool SheetMouse::Move(SPoint grid) {
  return MovePixel(Pixel(grid));
}
void SheetMouse::Release(SPoint grid) {
  ReleasePixel(Pixel(grid));
}

void SheetMouse::PressPixel(SPoint pixel) {
  // The main window repaints after every press.
  host.sheet.MouseDown(pixel);
  host.PaintSheet();
}

bool SheetMouse::MovePixel(SPoint pixel) {
  const bool repaint = host.sheet.MouseMove(pixel);
  if (repaint) host.PaintSheet();
  return repaint;
}

void SheetMouse::ReleasePixel(SPoint pixel) {
  host.sheet.MouseUp(host.client, pixel);
}

void SheetMouse::Place(int kind, Orientation orientation, SPoint centre) {
  host.ArmPlacing(kind, orientation);
  Press(centre);
  Release(centre);
}

void SheetMouse::Wire(SPoint from, SPoint to) {
  Press(from);
  Move(to);
  Release(to);
}

void SheetMouse::Wire(SPoint from, SPoint corner, SPoint to) {
  Press(from);
  Move(corner);
  Move(to);
  Release(to);
}

void SheetMouse::Drag(SPoint from, SPoint to) {
  Press(from);
  Move(to);
  Release(to);
}

void SheetMouse::Click(SPoint at) {
  Press(at);
  Release(at);
}

void BuildRcLadder(CSheet& sheet, int sections) {
  for (int k = 0; k < sections; ++k) {
    sheet.AddElement(KindR, Orientation::R0, 4 * k, -2);
    sheet.AddElement(KindC, Orientation::R90, 4 * k + 4, -2);
  }
  CPcts& list = sheet.pictures;
  list.Add(std::make_unique<CLine>(SPoint{-4, -2}, SPoint{0, -2}, false));
  for (int k = 0; k < sections; ++k)
    list.Add(std::make_unique<CLine>(SPoint{4 * k + 2, -2}, SPoint{4 * k + 4, -2}, false));
  list.Add(std::make_unique<CLine>(SPoint{-4, 0}, SPoint{4 * sections, 0}, false));
  sheet.SelectOnly(-1);
  list.AttachElements();
}

void DrawRcLadder(SheetMouse& mouse, int sections) {
  for (int k = 0; k < sections; ++k) {
    mouse.Place(KindR, Orientation::R0, RcLadder::ResistorCentre(k));
    mouse.Place(KindC, Orientation::R90, RcLadder::CapacitorCentre(k));
  }
  mouse.Wire({-4, -2}, {0, -2});
  for (int k = 0; k < sections; ++k) mouse.Wire({4 * k + 2, -2}, {4 * k + 4, -2});
  mouse.Wire({-4, 0}, {4 * sections, 0});
  mouse.host.sheet.SelectOnly(-1);
}

std::vector<std::string> PictureSet(const CPcts& list) {
  std::vector<std::string> entries;
  const std::string text = list.Describe();
  if (text.empty()) return entries;
  size_t from = 0;
  for (;;) {
    const size_t bar = text.find(" | ", from);
    entries.push_back(text.substr(from, bar == std::string::npos ? bar : bar - from));
    if (bar == std::string::npos) break;
    from = bar + 3;
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}
