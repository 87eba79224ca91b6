#include "RecordingCanvas.h"

namespace {

std::string Pt(int x, int y) {
  return std::to_string(x) + "," + std::to_string(y);
}

std::string Box(int l, int t, int r, int b) {
  return Pt(l, t) + "," + Pt(r, b);
}

}  // namespace

std::string RecordingCanvas::ColorText(SColor c) {
  return std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b);
}

void RecordingCanvas::SetPen(SColor color, int width) {
  penColor = color;
  penWidth = width;
  lines.push_back("pen " + ColorText(color) + " w" + std::to_string(width));
}

void RecordingCanvas::SetBrush(SColor color) {
  brushColor = color;
  lines.push_back("brush " + ColorText(color));
}

void RecordingCanvas::MoveTo(int x, int y) {
  pos = {x, y};
  lines.push_back("move " + Pt(x, y));
}

void RecordingCanvas::LineTo(int x, int y) {
  lines.push_back("line " + Pt(pos.x, pos.y) + "-" + Pt(x, y));
  pos = {x, y};
}

void RecordingCanvas::CircleOutline(int left, int top, int right, int bottom) {
  lines.push_back("circle " + Box(left, top, right, bottom));
}

void RecordingCanvas::Ellipse(int left, int top, int right, int bottom) {
  lines.push_back("ellipse " + Box(left, top, right, bottom));
}

void RecordingCanvas::Rectangle(int left, int top, int right, int bottom) {
  lines.push_back("rect " + Box(left, top, right, bottom));
}

void RecordingCanvas::FillRect(const SRect& r) {
  lines.push_back("fill " + Box(r.left, r.top, r.right, r.bottom));
}

void RecordingCanvas::SetPixel(int x, int y, SColor color) {
  lines.push_back("pixel " + Pt(x, y) + " " + ColorText(color));
}

void RecordingCanvas::SetFont(const SFont& f) {
  font = f;
  lines.push_back("font " + f.Face + " " + std::to_string(f.Points) + "pt h" +
                  std::to_string(f.Height) + " " + ColorText(f.Color));
}

SPoint RecordingCanvas::TextExtent(const std::string& text) {
  return {static_cast<int32_t>(text.size()) * CharWidth,
          font.Height > 0 ? font.Height : FallbackHeight};
}

void RecordingCanvas::TextOut(int x, int y, const std::string& text) {
  lines.push_back("text " + Pt(x, y) + " '" + text + "'");
}

std::string RecordingCanvas::Text() const {
  std::string all;
  for (const std::string& line : lines) {
    if (!all.empty()) all += '\n';
    all += line;
  }
  return all;
}

int RecordingCanvas::Count(std::string_view prefix) const {
  int n = 0;
  for (const std::string& line : lines)
    if (line.starts_with(prefix)) ++n;
  return n;
}

int RecordingCanvas::IndexOf(std::string_view line, int from) const {
  for (int i = from < 0 ? 0 : from; i < static_cast<int>(lines.size()); ++i)
    if (lines[static_cast<size_t>(i)] == line) return i;
  return -1;
}

int RecordingCanvas::IndexOfPrefix(std::string_view prefix, int from) const {
  for (int i = from < 0 ? 0 : from; i < static_cast<int>(lines.size()); ++i)
    if (lines[static_cast<size_t>(i)].starts_with(prefix)) return i;
  return -1;
}

std::vector<std::string> RecordingCanvas::Matching(std::string_view prefix) const {
  std::vector<std::string> found;
  for (const std::string& line : lines)
    if (line.starts_with(prefix)) found.push_back(line);
  return found;
}
