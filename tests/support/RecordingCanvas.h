// Canvases for tests and benchmarks: one that records every drawing call as a line of text
// (with fixed text metrics, so label rectangles are predictable) and one that only counts.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "view/Canvas.h"
#include "view/Geometry.h"

// Readable points, rectangles and colours in test failure messages.
inline void PrintTo(const SPoint& p, std::ostream* os) {
  *os << "(" << p.x << "," << p.y << ")";
}
inline void PrintTo(const SRect& r, std::ostream* os) {
  *os << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
}
inline void PrintTo(const SColor& c, std::ostream* os) {
  *os << "rgb(" << int{c.r} << "," << int{c.g} << "," << int{c.b} << ")";
}

// Records calls as lines such as
//   "pen 0,255,255 w1"            SetPen
//   "brush 0,0,0"                 SetBrush
//   "move 10,20"                  MoveTo
//   "line 10,20-30,40"            LineTo, from the pen position before the call
//   "circle 1,2,3,4"              CircleOutline (box)
//   "ellipse 1,2,3,4"             Ellipse (box)
//   "rect 1,2,3,4"                Rectangle (box)
//   "fill 1,2,3,4"                FillRect
//   "pixel 5,5 0,0,255"           SetPixel
//   "font Tahoma 10pt h20 255,255,0"  SetFont
//   "text 12,3 '1k'"              TextOut
// TextExtent is a query and is not recorded: every character is CharWidth pixels wide and the
// text is as high as the font's pixel height (or FallbackHeight when that height is 0).
class RecordingCanvas : public Canvas {
 public:
  static constexpr int CharWidth = 8;
  static constexpr int FallbackHeight = 13;

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

  // Forgets the recorded lines; the current pen, brush, font and position stay.
  void Clear() { lines.clear(); }
  // All lines joined with '\n' (no trailing newline), for readable failure output.
  std::string Text() const;
  // Number of lines that start with `prefix`.
  int Count(std::string_view prefix) const;
  // Index of the first line from `from` on that equals `line`, or -1.
  int IndexOf(std::string_view line, int from = 0) const;
  // Index of the first line from `from` on that starts with `prefix`, or -1.
  int IndexOfPrefix(std::string_view prefix, int from = 0) const;
  // The lines that start with `prefix`, in order.
  std::vector<std::string> Matching(std::string_view prefix) const;

  // "r,g,b", the colour form used in the lines.
  static std::string ColorText(SColor c);

  std::vector<std::string> lines;

  // State as set by the last calls.
  SColor penColor{};
  int penWidth = 0;
  SColor brushColor{};
  SFont font;
  SPoint pos{};  // pen position
};

// Counts calls without keeping anything: a cheap target for benchmarks.
class CountingCanvas : public Canvas {
 public:
  void SetPen(SColor, int) override { ++calls; }
  void SetBrush(SColor) override { ++calls; }
  void MoveTo(int, int) override { ++calls; }
  void LineTo(int, int) override {
    ++calls;
    ++shapes;
  }
  void CircleOutline(int, int, int, int) override {
    ++calls;
    ++shapes;
  }
  void Ellipse(int, int, int, int) override {
    ++calls;
    ++shapes;
  }
  void Rectangle(int, int, int, int) override {
    ++calls;
    ++shapes;
  }
  void FillRect(const SRect&) override { ++calls; }
  void SetPixel(int, int, SColor) override {
    ++calls;
    ++pixels;
  }
  void SetFont(const SFont& f) override {
    ++calls;
    fontHeight = f.Height;
  }
  SPoint TextExtent(const std::string& text) override {
    ++calls;
    return {static_cast<int32_t>(text.size()) * RecordingCanvas::CharWidth,
            fontHeight > 0 ? fontHeight : RecordingCanvas::FallbackHeight};
  }
  void TextOut(int, int, const std::string&) override {
    ++calls;
    ++texts;
  }

  int64_t calls = 0;
  int64_t shapes = 0;  // lines, circles, ellipses, rectangles
  int64_t pixels = 0;
  int64_t texts = 0;

 private:
  int fontHeight = 0;
};
