// The drawing surface the sheet paints on: exactly the primitives the pictures need.
// The program wraps a QPainter; tests record the calls.
#pragma once

#include <string>

#include "view/Geometry.h"

struct SFont {
  std::string Face = "Tahoma";
  int Points = 10;
  int Height = 0;  // pixel height; 0 = derived from Points by the canvas
  SColor Color{255, 255, 0};
};

class Canvas {
 public:
  virtual ~Canvas() = default;
  // Solid pen; width 0 draws one pixel wide lines.
  virtual void SetPen(SColor color, int width) = 0;
  virtual void SetBrush(SColor color) = 0;
  virtual void MoveTo(int x, int y) = 0;
  virtual void LineTo(int x, int y) = 0;  // line from the pen position; the pen moves there
  virtual void CircleOutline(int left, int top, int right, int bottom) = 0;  // not filled
  virtual void Ellipse(int left, int top, int right, int bottom) = 0;  // brush fill, pen outline
  virtual void Rectangle(int left, int top, int right, int bottom) = 0;  // brush fill, pen outline
  virtual void FillRect(const SRect& r) = 0;  // brush only
  virtual void SetPixel(int x, int y, SColor color) = 0;
  virtual void SetFont(const SFont& font) = 0;
  virtual SPoint TextExtent(const std::string& text) = 0;  // (width, height) in pixels
  virtual void TextOut(int x, int y, const std::string& text) = 0;  // transparent background
};

// a * b / c rounded to the nearest integer (halves away from zero); -1 when c is 0.
int MulDiv(int a, int b, int c);
