// Plain integer points and rectangles shared by the sheet, the view and the drawing.
#pragma once

#include <cstdint>

// Fine units per grid step: symbols, labels and hit tests are measured in fine units.
constexpr int32_t FinePerGrid = 32;

// How a picture is turned: each step is one quarter turn clockwise on screen. The number is the
// one a sheet file stores.
enum class Orientation : int32_t { R0 = 0, R90 = 1, R180 = 2, R270 = 3 };

// 0..3: indexes the label places of a kind and turns a pin's own direction.
constexpr int QuarterTurns(Orientation o) {
  return static_cast<int>(o);
}

// The caller has checked that n lies in 0..3 (the sheet file reader does).
constexpr Orientation OrientationFromInt(int32_t n) {
  return static_cast<Orientation>(n);
}

// o turned by r more quarter turns clockwise; r may be any count, either sign.
constexpr Orientation Turned(Orientation o, int r) {
  return static_cast<Orientation>(((QuarterTurns(o) + r) % 4 + 4) % 4);
}

struct SPoint {
  int32_t x = 0;
  int32_t y = 0;
  friend bool operator==(const SPoint&, const SPoint&) = default;
  friend SPoint operator+(SPoint a, SPoint b) { return {a.x + b.x, a.y + b.y}; }
  friend SPoint operator-(SPoint a, SPoint b) { return {a.x - b.x, a.y - b.y}; }
};

// left, top, right, bottom; closed on every side where used for hit tests.
struct SRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  friend bool operator==(const SRect&, const SRect&) = default;
  bool Contains(SPoint p) const {
    return left <= p.x && p.x <= right && top <= p.y && p.y <= bottom;
  }
};

struct SColor {
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
  friend bool operator==(const SColor&, const SColor&) = default;
};
