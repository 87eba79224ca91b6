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

// Reads a symbol's operands, turned by the orientation and scaled onto the screen.
struct SymbolReader {
  const int32_t* word;
  Orientation orientation;
  int zoom;
  SPoint origin;  // screen pixel of the element's grid point

  SPoint Point() {
    const SPoint r = RotatePoint(orientation, word[0], word[1]);
    word += 2;
    return {MulDiv(r.x, zoom, FinePerGrid) + origin.x, MulDiv(r.y, zoom, FinePerGrid) + origin.y};
  }
  int Radius() { return std::max(MulDiv(*word++, zoom, FinePerGrid), 1); }
};

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

  SymbolReader in{symbol, orientation, Zoom, GridToScreen(gx, gy)};
  while (*in.word != SymEnd) {
    const int32_t command = *in.word++;
    switch (command) {
      case SymMove: {
        const SPoint p = in.Point();
        canvas.MoveTo(p.x, p.y);
        break;
      }
      case SymLine: {
        const SPoint p = in.Point();
        canvas.LineTo(p.x, p.y);
        break;
      }
      case SymCircle:
      case SymDisc: {
        const SPoint p = in.Point();
        const int r = in.Radius();
        if (command == SymCircle)
          canvas.CircleOutline(p.x - r, p.y - r, p.x + r, p.y + r);
        else
          canvas.Ellipse(p.x - r, p.y - r, p.x + r, p.y + r);
        break;
      }
      case SymBar: {
        const SPoint p1 = in.Point();
        const SPoint p2 = in.Point();
        DrawBar(canvas, p1, p2, w);
        break;
      }
      default:
        in.word += 4;  // an unknown command carries two points that are not drawn
        break;
    }
  }
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
