// The view: zoom and pan of the sheet, conversions between screen pixels, grid points and
// fine units (1/FinePerGrid grid step), and the two drawing primitives of every picture.
#pragma once

#include <cstdint>
#include <string>

#include "view/Canvas.h"
#include "view/Geometry.h"

// Turns (x, y) by r quarter turns clockwise on screen (r taken modulo 4).
SPoint RotatePoint(int r, int x, int y);
inline SPoint RotatePoint(int r, SPoint p) {
  return RotatePoint(r, p.x, p.y);
}
inline SPoint RotatePoint(Orientation o, int x, int y) {
  return RotatePoint(QuarterTurns(o), x, y);
}
inline SPoint RotatePoint(Orientation o, SPoint p) {
  return RotatePoint(QuarterTurns(o), p.x, p.y);
}
inline SPoint GridToFine(int x, int y) {
  return {FinePerGrid * x, FinePerGrid * y};
}
inline SPoint GridToFine(SPoint p) {
  return GridToFine(p.x, p.y);
}

// The grid pitch in pixels: its limits and the pitch of a new or reset sheet.
constexpr int32_t MinZoom = 10;
constexpr int32_t MaxZoom = 128;
constexpr int32_t DefaultZoom = 32;

// Symbol command words (fine units, element frame); a word 0 ends the list.
enum SymbolCommand : int32_t {
  SymEnd = 0,
  SymMove = 'm',    // x, y
  SymLine = 'l',    // x, y
  SymCircle = 'c',  // x, y, r: outline
  SymDisc = 'e',    // x, y, r: filled
  SymBar = 'b',     // x1, y1, x2, y2: filled, with a minimum thickness
};

// One command of a symbol list with its operands, in the element's own frame (fine units).
struct SSymbolCommand {
  int32_t Command = SymEnd;
  SPoint P1;           // every command's point; a bar's first corner
  SPoint P2;           // a bar's second corner
  int32_t Radius = 0;  // a circle's or a disc's
};

// Reads the command at `word` into `out` and returns the word after it; null at the end of the
// list and at an unknown word, whose operands, and so where the next command starts, are unknown.
const int32_t* ReadSymbolCommand(const int32_t* word, SSymbolCommand& out);

// Calls visit(const SSymbolCommand&) for each command of `symbol` up to its end or to the first
// unknown word; a null list has none.
template <class Visit>
void WalkSymbol(const int32_t* symbol, Visit&& visit) {
  SSymbolCommand command;
  for (const int32_t* s = symbol; (s = ReadSymbolCommand(s, command)) != nullptr;) visit(command);
}

class CVC {
 public:
  virtual ~CVC() = default;

  int32_t Zoom = DefaultZoom;  // grid pitch in pixels, MinZoom..MaxZoom
  int32_t OriginX = 0;
  int32_t OriginY = 0;  // screen pixel of the view centre
  double PanX = 0.0;
  double PanY = 0.0;  // sheet point (grid units) shown at the view centre

  void SetViewport(int left, int top, int right, int bottom);
  SPoint ScreenToGrid(int sx, int sy) const;
  SPoint GridToScreen(int gx, int gy) const;
  SPoint ScreenToFine(int sx, int sy) const;
  SPoint FineToScreen(int fx, int fy) const;
  SPoint ScreenToGrid(SPoint p) const { return ScreenToGrid(p.x, p.y); }
  SPoint GridToScreen(SPoint p) const { return GridToScreen(p.x, p.y); }
  SPoint ScreenToFine(SPoint p) const { return ScreenToFine(p.x, p.y); }
  SPoint FineToScreen(SPoint p) const { return FineToScreen(p.x, p.y); }
  bool ZoomIn();
  bool ZoomOut();

  void DrawSymbol(Canvas& canvas, Orientation orientation, int penWidth, SColor color,
                  const int32_t* symbol, int gx, int gy) const;
  // Returns the screen rectangle of the text, left <= right and top <= bottom.
  SRect DrawLabel(Canvas& canvas, const SFont& font, int align, SColor color,
                  const std::string& text, int ax, int ay, Orientation orientation, int gx,
                  int gy) const;
};
