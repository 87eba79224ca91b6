#include "sheet/CElement.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string>

#include "view/CVC.h"
#include "view/DrawStyle.h"

namespace {

constexpr int32_t HalfStep = FinePerGrid / 2;  // half a grid step in fine units

int Quarter(int r) {
  return ((r % 4) + 4) % 4;
}

SRect BoxOf(SPoint a, SPoint b) {
  return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

}  // namespace

SPoint CElement::PinPos(int i) const {
  const CPin& pin = Type->Pins[i];
  return SPoint{x, y} + RotatePoint(orientation, pin.X, pin.Y);
}

PinDirCode CElement::PinDir(int i) const {
  // The type record gives the direction in the element's own frame as a quarter turn count.
  return static_cast<PinDirCode>(Quarter(Type->Pins[i].Dir + QuarterTurns(orientation)));
}

bool CElement::HitPoint(SPoint p) const {
  for (int i = 0; i < Type->PinCount; ++i)
    if (PinPos(i) == p) return true;
  return false;
}

SRect CElement::BodyRect() const {
  const SPoint at{x, y};
  const SPoint a = at + RotatePoint(orientation, Type->Body[0], Type->Body[1]);
  const SPoint b = at + RotatePoint(orientation, Type->Body[2], Type->Body[3]);
  return BoxOf(a, b);
}

bool CElement::BodyContains(SPoint p) const {
  return BodyRect().Contains(p);
}

SPoint CElement::RefPoint() const {
  const int mx = (Type->Body[0] + Type->Body[2]) / 2;
  const int my = (Type->Body[1] + Type->Body[3]) / 2;
  return SPoint{x, y} + RotatePoint(orientation, mx, my);
}

bool CElement::HitNear(SPoint fine, SPoint grid) const {
  if (BodyContains(grid)) return true;
  for (int i = 0; i < Type->PinCount; ++i) {
    if (PinPos(i) != grid) continue;
    // The lead: from half a grid step to one grid step away from the pin, towards the body.
    const SPoint u = RotatePoint(static_cast<int>(PinDir(i)), HalfStep, 0);
    const SPoint p = GridToFine(grid);
    SRect lead = BoxOf(p + u, p + u + u);
    lead.left -= HitTolerance;
    lead.top -= HitTolerance;
    lead.right += HitTolerance;
    lead.bottom += HitTolerance;
    return lead.Contains(fine);
  }
  return false;
}

bool CElement::EndNear(SPoint fine, SPoint grid) const {
  for (int i = 0; i < Type->PinCount; ++i) {
    if (PinPos(i) != grid) continue;
    const SPoint p = GridToFine(grid);
    return std::abs(p.x - fine.x) <= HitTolerance && std::abs(p.y - fine.y) <= HitTolerance;
  }
  return false;
}

void CElement::DrawFrame(Canvas& canvas, const CVC& view, SColor color, int widths) const {
  // The box of the pins and the body widened by half a grid step: it clears the symbol.
  SRect box = BodyRect();
  for (int i = 0; i < Type->PinCount; ++i) {
    const SPoint p = PinPos(i);
    box = {std::min(box.left, p.x), std::min(box.top, p.y), std::max(box.right, p.x),
           std::max(box.bottom, p.y)};
  }
  const SPoint a = view.FineToScreen(GridToFine(box.left, box.top) - SPoint{HalfStep, HalfStep});
  const SPoint b =
      view.FineToScreen(GridToFine(box.right, box.bottom) + SPoint{HalfStep, HalfStep});
  const int left = std::min(a.x, b.x), right = std::max(a.x, b.x);
  const int top = std::min(a.y, b.y), bottom = std::max(a.y, b.y);
  canvas.SetPen(color, widths * std::max(1, view.Zoom / 16));
  canvas.MoveTo(left, top);
  canvas.LineTo(right, top);
  canvas.LineTo(right, bottom);
  canvas.LineTo(left, bottom);
  canvas.LineTo(left, top);
}

void CElement::Draw(Canvas& canvas, const CVC& view) {
  // A selected part shows as selected whatever else holds; a named part outranks a dim one.
  SColor symbolColor = DrawStyle.Symbol;
  SColor labelColor = DrawStyle.Font.Color;
  if (selected) {
    symbolColor = labelColor = DrawStyle.Selected;
  } else if (flagged) {
    symbolColor = labelColor = DrawStyle.Flagged;
  } else if (dimmed) {
    symbolColor = DrawStyle.DimmedSymbol;
    labelColor = DrawStyle.DimmedLabel;
  }
  if (flagged) DrawFrame(canvas, view, DrawStyle.Flagged, 1);
  // Drawn over the red frame, twice as wide: the part pointed at in a list stands out.
  if (highlighted) DrawFrame(canvas, view, DrawStyle.Highlighted, 2);
  view.DrawSymbol(canvas, orientation, DrawStyle.LineWidth, symbolColor, Type->Symbol, x, y);

  labelCount = 0;
  if (cmp == nullptr) return;
  const CParam* table = cmp->Params();
  if (table == nullptr) return;  // the meter has no value
  const int maxLabels = static_cast<int>(std::size(labelRects));
  for (int i = 0; i < maxLabels && table[i].Caption != nullptr; ++i) {
    const SLabelPlace& place = table[i].Place[QuarterTurns(orientation)];
    static const std::string noText;
    const std::string& text = table[i].Value != nullptr ? table[i].Value->Text : noText;
    labelRects[i] = view.DrawLabel(canvas, DrawStyle.Font, place.Align, labelColor, text, place.X,
                                   place.Y, orientation, x, y);
    ++labelCount;
  }
}
