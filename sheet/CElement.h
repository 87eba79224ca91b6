// The picture of one component on the sheet: draws its symbol and value labels and answers
// the sheet's geometric questions from its kind's type record.
#pragma once

#include "components/CCmp.h"
#include "sheet/CPct.h"

class CElement : public CPct {
 public:
  explicit CElement(const SElemType* type) : Type(type) {}

  int PictureKind() const override { return PctElement; }
  void Draw(Canvas& canvas, const CVC& view) override;
  bool HitPoint(SPoint p) const override;
  bool BodyContains(SPoint p) const override;
  SPoint RefPoint() const override;
  SRect BodyRect() const override;
  bool HitNear(SPoint fine, SPoint grid) const override;
  bool EndNear(SPoint fine, SPoint grid) const override;
  int PinCount() const override { return Type->PinCount; }
  SPoint PinPos(int i) const override;
  PinDirCode PinDir(int i) const override;
  SRect Bounds() const override { return BodyRect(); }

  const SElemType* Type = nullptr;  // not owned

 private:
  void DrawFrame(Canvas& canvas, const CVC& view, SColor color, int widths) const;
};
