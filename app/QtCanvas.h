// The drawing surface of the program: the sheet's Canvas primitives on a QPainter, in logical
// pixels (the painter's device may carry a device pixel ratio).
#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPoint>
#include <optional>

#include "view/Canvas.h"

class QPainter;

class QtCanvas : public Canvas {
 public:
  explicit QtCanvas(QPainter& painter);

  void SetPen(SColor color, int width) override;
  void SetBrush(SColor color) override;
  void MoveTo(int x, int y) override;
  void LineTo(int x, int y) override;
  void CircleOutline(int left, int top, int right, int bottom) override;
  void Ellipse(int left, int top, int right, int bottom) override;
  void Rectangle(int left, int top, int right, int bottom) override;
  void FillRect(const SRect& r) override;
  void SetPixel(int x, int y, SColor color) override;
  void SetFont(const SFont& font) override;
  SPoint TextExtent(const std::string& text) override;
  void TextOut(int x, int y, const std::string& text) override;

  // The Qt font that an SFont stands for: its face, its pixel height or else its points.
  static QFont ToQFont(const SFont& font);

 private:
  QPainter& painter;
  QPoint penPos;
  QColor brushColor{Qt::white};
  QColor textColor{Qt::black};
  std::optional<SFont> currentFont;  // the last font set, so equal fonts are not rebuilt
  QFont font;
  std::optional<QFontMetrics> metrics;
  QString fontKey;  // the font and the device's resolution, the key of the text caches
};
