// Small helpers shared by the picture list's editing and connectivity code; private to sheet/.
#pragma once

#include <cstdint>

#include "sheet/CPct.h"
#include "view/Geometry.h"

// A hash key of a grid point: both coordinates side by side.
inline uint64_t PointKey(SPoint p) {
  return (uint64_t{static_cast<uint32_t>(p.x)} << 32) | static_cast<uint32_t>(p.y);
}

// The picture as a wire, or null when it is none (or null).
inline CLine* AsLine(CPct* p) {
  return p != nullptr && p->PictureKind() == PctLine ? static_cast<CLine*>(p) : nullptr;
}
