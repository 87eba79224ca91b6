// The picture base with its default answers, the junction dot and the wire segment.
#include "sheet/CPct.h"

#include <algorithm>
#include <cstdlib>

#include "view/CVC.h"
#include "view/DrawStyle.h"

namespace {

// True when a and b differ by at most the hit tolerance in both axes.
bool WithinTolerance(SPoint a, SPoint b) {
  return std::abs(static_cast<int64_t>(a.x) - b.x) <= HitTolerance &&
         std::abs(static_cast<int64_t>(a.y) - b.y) <= HitTolerance;
}

SColor WireColor(bool selected) {
  return selected ? DrawStyle.Selected : DrawStyle.Wire;
}

}  // namespace

// ---- CPct

void CPct::Draw(Canvas&, const CVC&) {}

void CPct::Rotate(int r) {
  const SPoint c = RefPoint();
  const SPoint turned = RotatePoint(r, x - c.x, y - c.y);
  x = c.x + turned.x;
  y = c.y + turned.y;
  orientation = Turned(orientation, r);
}

// ---- CDot

void CDot::Draw(Canvas& canvas, const CVC& view) {
  // The dot is a one-command symbol so that it scales with the zoom like every other symbol.
  const int32_t symbol[] = {SymDisc, 0, 0, DrawStyle.LineWidth + 4, SymEnd};
  view.DrawSymbol(canvas, Orientation::R0, 1, WireColor(selected), symbol, x, y);
}

bool CDot::HitNear(SPoint fine, SPoint) const {
  return WithinTolerance(GridToFine(x, y), fine);
}

// ---- CLine

CLine::CLine(SPoint a, SPoint b, bool isSelected) {
  x = a.x;
  y = a.y;
  x2 = b.x;
  y2 = b.y;
  selected = isSelected;
  Normalize();
}

void CLine::Normalize() {
  const bool swap = IsHorizontal() ? x > x2 : y > y2;
  if (swap) {
    std::swap(x, x2);
    std::swap(y, y2);
  }
}

void CLine::Draw(Canvas& canvas, const CVC& view) {
  canvas.SetPen(WireColor(selected), MulDiv(DrawStyle.LineWidth, view.Zoom, FinePerGrid));
  const SPoint a = view.GridToScreen(x, y);
  const SPoint b = view.GridToScreen(x2, y2);
  canvas.MoveTo(a.x, a.y);
  canvas.LineTo(b.x, b.y);
}

bool CLine::HitPoint(SPoint p) const {
  if (IsHorizontal() || IsVertical()) {
    // min/max keep the closed-segment meaning while a wire is being stretched unnormalised.
    return std::min(y, y2) <= p.y && p.y <= std::max(y, y2) && std::min(x, x2) <= p.x &&
           p.x <= std::max(x, x2);
  }
  return p == SPoint{x, y} || p == SPoint{x2, y2};
}

PinDirCode CLine::PinDir(int i) const {
  PinDirCode base;
  if (IsHorizontal()) {
    base = x < x2 ? PinDirCode::East : PinDirCode::West;
  } else if (IsVertical()) {
    base = y < y2 ? PinDirCode::South : PinDirCode::North;
  } else {
    return PinDirCode::Oblique;
  }
  return i == 1 ? Opposite(base) : base;
}

bool CLine::HitRect(const SRect& r) const {
  const int64_t ax = int64_t{x} * FinePerGrid, ay = int64_t{y} * FinePerGrid;
  const int64_t bx = int64_t{x2} * FinePerGrid, by = int64_t{y2} * FinePerGrid;
  if (ay > r.bottom || by < r.top) return false;
  if (x <= x2) {
    if (ax > r.right || bx < r.left) return false;
  } else {
    if (bx > r.right || ax < r.left) return false;
  }
  if (IsHorizontal() || IsVertical()) return true;

  // Oblique: the wire's line passes through the rectangle when its corners do not all lie
  // on the same side of it.
  const auto positive = [&](int64_t px, int64_t py) {
    return (px - ax) * (by - ay) - (py - ay) * (bx - ax) > 0;
  };
  const bool first = positive(r.left, r.top);
  return positive(r.right, r.top) != first || positive(r.right, r.bottom) != first ||
         positive(r.left, r.bottom) != first;
}

bool CLine::HitNear(SPoint fine, SPoint) const {
  return HitRect(
      {fine.x - HitTolerance, fine.y - HitTolerance, fine.x + HitTolerance, fine.y + HitTolerance});
}

bool CLine::EndNear(SPoint fine, SPoint grid) const {
  if (grid == SPoint{x, y}) return WithinTolerance(GridToFine(x, y), fine);
  if (grid == SPoint{x2, y2}) return WithinTolerance(GridToFine(x2, y2), fine);
  return false;
}

SRect CLine::Bounds() const {
  return {std::min(x, x2), std::min(y, y2), std::max(x, x2), std::max(y, y2)};
}
