#include "components/CElement.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string>

#include "view/CVC.h"
#include "view/DrawStyle.h"

namespace {

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

int CElement::PinDir(int i) const {
  return Quarter(Type->Pins[i].Dir + orientation);
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
    const SPoint u = RotatePoint(PinDir(i), 16, 0);
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

void CElement::Draw(Canvas& canvas, const CVC& view) {
  const SColor symbolColor = selected ? DrawStyle.Selected : DrawStyle.Symbol;
  const SColor labelColor = selected ? DrawStyle.Selected : DrawStyle.Font.Color;
  view.DrawSymbol(canvas, orientation, DrawStyle.LineWidth, symbolColor, Type->Symbol, x, y);

  labelCount = 0;
  if (cmp == nullptr) return;
  // Binding the kind's shared table to this component makes each Value point at our own slot.
  const CParam* table = cmp->Params();
  if (table == nullptr) return;  // the meter has no value
  const int maxLabels = static_cast<int>(std::size(labelRects));
  for (int i = 0; i < maxLabels && table[i].Caption != nullptr; ++i) {
    const SLabelPlace& place = table[i].Place[Quarter(orientation)];
    static const std::string noText;
    const std::string& text = table[i].Value != nullptr ? table[i].Value->Text : noText;
    labelRects[i] = view.DrawLabel(canvas, DrawStyle.Font, place.Align, labelColor, text, place.X,
                                   place.Y, orientation, x, y);
    ++labelCount;
  }
}
