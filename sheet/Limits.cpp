// The sheet's coordinate limits while editing: a gesture stops where the sheet file would
// refuse what it leaves.
#include <algorithm>
#include <cstdint>

#include "sheet/CPcts.h"
#include "sheet/PointKey.h"

namespace {

// The steps along one axis that keep coordinates within a limit, narrowed point by point.
struct SAllowed {
  int64_t low = INT64_MIN;
  int64_t high = INT64_MAX;
  void Keep(int32_t at, int32_t limit) {
    low = std::max(low, int64_t{-limit} - at);
    high = std::min(high, int64_t{limit} - at);
  }
  // The step nearest to d within the range; none when pictures lie out on both sides.
  int32_t Clamp(int32_t d) const {
    if (low > high) return 0;
    return static_cast<int32_t>(std::clamp(int64_t{d}, low, high));
  }
};

struct SAllowedStep {
  SAllowed x, y;
  void Keep(SPoint p, int32_t limit) {
    x.Keep(p.x, limit);
    y.Keep(p.y, limit);
  }
  // An element by its position (its pins follow within their reach); a wire or dot by its
  // points.
  void KeepPicture(const CPct& p) {
    if (p.PictureKind() == PctElement) {
      Keep({p.x, p.y}, SheetCoordinateLimit);
      return;
    }
    for (int k = 0; k < p.PinCount(); ++k) Keep(p.PinPos(k), SheetPointLimit);
  }
  SPoint Clamp(SPoint d) const { return {x.Clamp(d.x), y.Clamp(d.y)}; }
};

}  // namespace

SPoint CPcts::LimitMove(SPoint d) const {
  SAllowedStep allowed;
  for (const auto& p : items) {
    const CLine* w = p->PictureKind() == PctLine ? static_cast<const CLine*>(p.get()) : nullptr;
    if (p->moveMode == MoveMode::Whole) {
      if (p->selected) allowed.KeepPicture(*p);
    } else if (p->moveMode == MoveMode::FirstEnd) {
      allowed.Keep({p->x, p->y}, SheetPointLimit);
    } else if (w != nullptr) {
      allowed.Keep({w->x2, w->y2}, SheetPointLimit);
    }
  }
  return allowed.Clamp(d);
}

SPoint CPcts::LimitPlacing(SPoint d) const {
  SAllowedStep allowed;
  if (newElement != nullptr) allowed.KeepPicture(*newElement);
  return allowed.Clamp(d);
}

SPoint CPcts::LimitPoint(SPoint p) {
  return {std::clamp(p.x, -SheetPointLimit, SheetPointLimit),
          std::clamp(p.y, -SheetPointLimit, SheetPointLimit)};
}

SPoint CPcts::IntoLimits(const CPct& p) {
  SAllowedStep allowed;
  allowed.KeepPicture(p);
  return allowed.Clamp({0, 0});
}
