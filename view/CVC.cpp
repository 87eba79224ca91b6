#include "view/CVC.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

// Truncates toward zero; values beyond the int range (a pan far off the sheet) are clamped
// instead of overflowing the conversion.
int TruncToInt(double v) {
  constexpr double lo = std::numeric_limits<int32_t>::min();
  constexpr double hi = std::numeric_limits<int32_t>::max();
  if (!(v > lo)) return std::numeric_limits<int32_t>::min();  // also NaN
  if (v >= hi) return std::numeric_limits<int32_t>::max();
  return static_cast<int>(v);
}

// Distance in pixels of a screen coordinate from the sheet's grid origin along one axis.
int PixelsFromGridOrigin(int zoom, double pan, int s, int origin) {
  return TruncToInt(zoom * pan + (static_cast<double>(s) - origin));
}

int GridAxis(int zoom, double pan, int s, int origin) {
  const int64_t c = PixelsFromGridOrigin(zoom, pan, s, origin);
  const int64_t h = zoom / 2;
  // Halves round away from the grid origin.
  return static_cast<int>(c > 0 ? (c + h) / zoom : (c - h) / zoom);
}

int FineAxis(int zoom, double pan, int s, int origin) {
  const int64_t c = PixelsFromGridOrigin(zoom, pan, s, origin);
  constexpr int64_t half = FinePerGrid / 2;
  const int64_t q = (zoom / FinePerGrid) / 2;
  return static_cast<int>(c >= 0 ? ((c + q) * FinePerGrid + half) / zoom
                                 : ((c + q) * FinePerGrid - half) / zoom);
}

int FineToScreenAxis(int zoom, double pan, int f, int origin) {
  const int64_t q = (static_cast<int64_t>(f) * zoom + FinePerGrid / 2) / FinePerGrid;
  return TruncToInt(static_cast<double>(origin + q) - zoom * pan);
}

// A bar thinner than the pen would vanish at small zooms (the transformer's core is one fine
// unit thick), so it is widened to 2·w pixels around its middle.
void DrawBar(Canvas& canvas, SPoint p1, SPoint p2, int w) {
  if (std::abs(p1.x - p2.x) <= 2) {
    const int m = (p1.x + p2.x) / 2;
    p1.x = m - w;
    p2.x = m + w;
  }
  if (std::abs(p1.y - p2.y) <= 2) {
    const int m = (p1.y + p2.y) / 2;
    p1.y = m - w;
    p2.y = m + w;
  }
  canvas.Rectangle(std::min(p1.x, p2.x), std::min(p1.y, p2.y), std::max(p1.x, p2.x),
                   std::max(p1.y, p2.y));
}

}  // namespace

const int32_t* ReadSymbolCommand(const int32_t* word, SSymbolCommand& out) {
  if (word == nullptr || *word == SymEnd) return nullptr;
  out = SSymbolCommand{};
  out.Command = *word++;
  switch (out.Command) {
    case SymMove:
    case SymLine:
      out.P1 = {word[0], word[1]};
      return word + 2;
    case SymCircle:
    case SymDisc:
      out.P1 = {word[0], word[1]};
      out.Radius = word[2];
      return word + 3;
    case SymBar:
      out.P1 = {word[0], word[1]};
      out.P2 = {word[2], word[3]};
      return word + 4;
    default:
      return nullptr;
  }
}

SPoint RotatePoint(int r, int x, int y) {
  switch (((r % 4) + 4) % 4) {
    case 1:
      return {-y, x};
    case 2:
      return {-x, -y};
    case 3:
      return {y, -x};
    default:
      return {x, y};
  }
}

void CVC::SetViewport(int left, int top, int right, int bottom) {
  OriginX = (right - left) / 2;
  OriginY = (bottom - top) / 2;
}

SPoint CVC::ScreenToGrid(int sx, int sy) const {
  return {GridAxis(Zoom, PanX, sx, OriginX), GridAxis(Zoom, PanY, sy, OriginY)};
}

SPoint CVC::GridToScreen(int gx, int gy) const {
  return {TruncToInt((gx - PanX) * Zoom + OriginX), TruncToInt((gy - PanY) * Zoom + OriginY)};
}

SPoint CVC::ScreenToFine(int sx, int sy) const {
  return {FineAxis(Zoom, PanX, sx, OriginX), FineAxis(Zoom, PanY, sy, OriginY)};
}

SPoint CVC::FineToScreen(int fx, int fy) const {
  return {FineToScreenAxis(Zoom, PanX, fx, OriginX), FineToScreenAxis(Zoom, PanY, fy, OriginY)};
}

bool CVC::ZoomIn() {
  if (Zoom >= MaxZoom) return false;
  // A step of 1.4 with the double just below 1.4: a zoom divisible by 5 ends one short.
  int n = (7 * Zoom - 1) / 5;
  if (n == Zoom) n = Zoom + 1;
  Zoom = std::min(n, MaxZoom);
  return true;
}

bool CVC::ZoomOut() {
  if (Zoom <= MinZoom) return false;
  int n = 5 * Zoom / 7;
  if (n == Zoom) n = Zoom - 1;
  Zoom = std::max(n, MinZoom);
  return true;
}

void CVC::DrawSymbol(Canvas& canvas, Orientation orientation, int penWidth, SColor color,
                     const int32_t* symbol, int gx, int gy) const {
  if (symbol == nullptr) return;
  // A negative pen width asks for a one-pixel pen whatever the zoom.
  const int w = penWidth < 0 ? 1 : penWidth;
  canvas.SetPen(color, penWidth < 0 ? 1 : MulDiv(w, Zoom, FinePerGrid));
  canvas.SetBrush(color);

  // Operands are turned by the orientation and scaled onto the screen.
  const SPoint origin = GridToScreen(gx, gy);
  auto screen = [&](SPoint p) {
    const SPoint r = RotatePoint(orientation, p);
    return SPoint{MulDiv(r.x, Zoom, FinePerGrid) + origin.x,
                  MulDiv(r.y, Zoom, FinePerGrid) + origin.y};
  };
  WalkSymbol(symbol, [&](const SSymbolCommand& c) {
    const SPoint p = screen(c.P1);
    const int r = std::max(MulDiv(c.Radius, Zoom, FinePerGrid), 1);
    if (c.Command == SymMove) canvas.MoveTo(p.x, p.y);
    if (c.Command == SymLine) canvas.LineTo(p.x, p.y);
    if (c.Command == SymCircle) canvas.CircleOutline(p.x - r, p.y - r, p.x + r, p.y + r);
    if (c.Command == SymDisc) canvas.Ellipse(p.x - r, p.y - r, p.x + r, p.y + r);
    if (c.Command == SymBar) DrawBar(canvas, p, screen(c.P2), w);
  });
}

SRect CVC::DrawLabel(Canvas& canvas, const SFont& font, int align, SColor color,
                     const std::string& text, int ax, int ay, Orientation orientation, int gx,
                     int gy) const {
  SFont f = font;
  f.Height = 2 * MulDiv(Zoom, font.Points, FinePerGrid);
  if (f.Height == 0) f.Height = 1;
  f.Color = color;
  canvas.SetFont(f);

  const SPoint a = GridToFine(gx, gy) + RotatePoint(orientation, ax, ay);
  const SPoint s = FineToScreen(a);
  const SPoint extent = canvas.TextExtent(text);
  const int tw = extent.x;
  const int th = extent.y;
  const int h2 = th / 2;

  SRect r;
  if (align == 1) {
    r = {s.x - h2, s.y - h2, s.x + tw - h2, s.y + th - h2};
  } else if (align == -1) {
    r = {s.x - (tw - h2), s.y - h2, s.x + h2, s.y + th - h2};
  } else {
    r = {s.x - tw / 2, s.y - th / 2, s.x + tw / 2, s.y + th / 2};
  }
  canvas.TextOut(r.left, r.top, text);
  if (r.left > r.right) std::swap(r.left, r.right);
  if (r.top > r.bottom) std::swap(r.top, r.bottom);
  return r;
}
