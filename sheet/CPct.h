// Pictures of the sheet: the abstract picture with its fourteen operations, the junction dot
// and the wire segment. Coordinates are grid units; hit tests compare in fine units.
#pragma once

#include <cstdint>

#include "view/Canvas.h"
#include "view/Geometry.h"

class CCmp;
class CVC;

// Picture kinds as PictureKind() reports them; also the primary sort key.
enum PictureKindCode : int { PctBase = 0, PctElement = 1, PctDot = 2, PctLine = 3 };

// The filter of CPcts::FindAt: any picture, or only those of one kind.
enum class PictureFilter : int { Any = 0, Element = PctElement, Dot = PctDot, Line = PctLine };

// Pin directions: the side where the body lies, seen from the connection point. The numbers
// are bit positions in PointRecord::mask.
enum class PinDirCode : int32_t { East = 0, South = 1, West = 2, North = 3, Oblique = 4, Dot = 5 };

// The bit of direction d in PointRecord::mask.
constexpr int32_t DirBit(PinDirCode d) {
  return int32_t{1} << static_cast<int>(d);
}

// The mask of a point where ends from the four axis directions meet and nothing else: there
// numbers pass straight through only.
constexpr int32_t PlainCrossing = DirBit(PinDirCode::East) | DirBit(PinDirCode::South) |
                                  DirBit(PinDirCode::West) | DirBit(PinDirCode::North);
constexpr int32_t DotBit = DirBit(PinDirCode::Dot);

// The quarter direction opposite d (east and west, south and north); d must be a quarter.
constexpr PinDirCode Opposite(PinDirCode d) {
  return static_cast<PinDirCode>((static_cast<int>(d) + 2) % 4);
}

// What a move does to a picture: moves it whole when selected, or stretches a wire by
// letting one of its ends follow the selection, or carries a wire whose both ends follow.
enum class MoveMode : int32_t { Whole = 0, FirstEnd = 1, SecondEnd = 2, BothEnds = 3 };

constexpr int HitTolerance = 8;  // fine units

class CPct {
 public:
  CPct() = default;
  virtual ~CPct() = default;

  virtual int PictureKind() const { return PctBase; }
  virtual void Draw(Canvas& canvas, const CVC& view);
  virtual bool HitPoint(SPoint p) const { return p == SPoint{x, y}; }
  virtual bool BodyContains(SPoint) const { return false; }
  virtual SPoint RefPoint() const { return {x, y}; }
  virtual SRect BodyRect() const { return {}; }
  virtual bool HitNear(SPoint, SPoint) const { return false; }
  virtual bool EndNear(SPoint, SPoint) const { return false; }
  virtual int PinCount() const { return 1; }
  virtual SPoint PinPos(int) const { return {x, y}; }
  virtual PinDirCode PinDir(int) const { return PinDirCode::East; }
  virtual SRect Bounds() const { return {x, y, x, y}; }

  // Turns the picture by r quarter turns about RefPoint().
  void Rotate(int r);

  int32_t x = 0;
  int32_t y = 0;
  Orientation orientation = Orientation::R0;
  CCmp* cmp = nullptr;  // not owned
  bool selected = false;
  int32_t visited = 0;
  MoveMode moveMode = MoveMode::Whole;
  SRect labelRects[4];
  int32_t labelCount = 0;
  // Set by the main window after each reading: the part carries no current, or it is named
  // by the reason why the reading has no number. Neither is part of the sheet's content.
  bool dimmed = false;
  bool flagged = false;
  // Set while the pointer rests on the part's row in the window's list of sensitivities.
  bool highlighted = false;
};

class CDot : public CPct {
 public:
  CDot(int32_t px, int32_t py) {
    x = px;
    y = py;
  }
  int PictureKind() const override { return PctDot; }
  void Draw(Canvas& canvas, const CVC& view) override;
  bool HitNear(SPoint fine, SPoint grid) const override;
  PinDirCode PinDir(int) const override { return PinDirCode::Dot; }
};

class CLine : public CPct {
 public:
  CLine(SPoint a, SPoint b, bool isSelected);
  int PictureKind() const override { return PctLine; }
  void Draw(Canvas& canvas, const CVC& view) override;
  bool HitPoint(SPoint p) const override;
  bool HitNear(SPoint fine, SPoint grid) const override;
  bool EndNear(SPoint fine, SPoint grid) const override;
  // Whether the wire touches r (fine units, borders closed).
  bool HitRect(const SRect& r) const;
  int PinCount() const override { return 2; }
  SPoint PinPos(int i) const override { return i == 0 ? SPoint{x, y} : SPoint{x2, y2}; }
  PinDirCode PinDir(int i) const override;
  SRect Bounds() const override;

  // Swaps the ends so that a horizontal wire has x <= x2 and any other y <= y2.
  void Normalize();
  bool IsHorizontal() const { return y == y2; }
  bool IsVertical() const { return x == x2; }

  int32_t x2 = 0;
  int32_t y2 = 0;
};
