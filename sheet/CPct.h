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

// Pin directions: the side where the body lies, seen from the connection point.
enum PinDirCode : int {
  DirEast = 0,
  DirSouth = 1,
  DirWest = 2,
  DirNorth = 3,
  DirOblique = 4,
  DirDot = 5
};

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
  virtual bool HitRect(const SRect& r) const;  // r in fine units
  virtual int PinCount() const { return 1; }
  virtual SPoint PinPos(int) const { return {x, y}; }
  virtual int PinDir(int) const { return 0; }
  virtual SRect Bounds() const { return {x, y, x, y}; }

  // Turns the picture by r quarter turns about RefPoint().
  void Rotate(int r);

  int32_t x = 0;
  int32_t y = 0;
  int32_t orientation = 0;
  CCmp* cmp = nullptr;  // not owned
  bool selected = false;
  int32_t visited = 0;
  int32_t moveMode = 0;  // 0 whole, 1 first end follows, 2 second end follows
  SRect labelRects[4];
  int32_t labelCount = 0;
  // Set by the main window after each reading: the part carries no current, or it is named
  // by the reason why the reading has no number. Neither is part of the sheet's content.
  bool dimmed = false;
  bool flagged = false;
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
  int PinDir(int) const override { return DirDot; }
};

class CLine : public CPct {
 public:
  CLine(SPoint a, SPoint b, bool isSelected);
  int PictureKind() const override { return PctLine; }
  void Draw(Canvas& canvas, const CVC& view) override;
  bool HitPoint(SPoint p) const override;
  bool HitNear(SPoint fine, SPoint grid) const override;
  bool EndNear(SPoint fine, SPoint grid) const override;
  bool HitRect(const SRect& r) const override;
  int PinCount() const override { return 2; }
  SPoint PinPos(int i) const override { return i == 0 ? SPoint{x, y} : SPoint{x2, y2}; }
  int PinDir(int i) const override;
  SRect Bounds() const override;

  // Swaps the ends so that a horizontal wire has x <= x2 and any other y <= y2.
  void Normalize();
  bool IsHorizontal() const { return y == y2; }
  bool IsVertical() const { return x == x2; }

  int32_t x2 = 0;
  int32_t y2 = 0;
};
