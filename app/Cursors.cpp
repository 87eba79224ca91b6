#include "Cursors.h"

#include <QBitmap>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <array>
#include <optional>

namespace {

constexpr int CursorSize = 32;

struct SCursorRecord {
  int Id;
  int HotX;
  int HotY;
};

constexpr std::array<SCursorRecord, 5> CursorRecords{{
    {1, 2, 2},    // DRAW
    {2, 12, 12},  // ARROW
    {3, 12, 12},  // HAND
    {4, 12, 12},  // GRAB
    {6, 12, 12},  // SHOW
}};

std::array<std::optional<QCursor>, 7> cursorTable;

QPainterPath Polygon(std::initializer_list<QPoint> points) {
  QPainterPath path;
  path.addPolygon(QPolygonF(QPolygon(QList<QPoint>(points))));
  path.closeSubpath();
  return path;
}

QPainterPath Rounded(int x, int y, int w, int h) {
  QPainterPath path;
  path.addRoundedRect(QRectF(x, y, w, h), 1.5, 1.5);
  return path;
}

// The outline of each shape, white inside; `details` are extra black lines.
struct SShape {
  QPainterPath outline;
  std::vector<QLine> details;
};

SShape Pencil() {
  // Tip at (2, 2), the shaft running down to the right.
  SShape s;
  s.outline = Polygon({{2, 2}, {10, 5}, {27, 22}, {22, 27}, {5, 10}});
  s.details = {
      {QLine(5, 9, 9, 5)}, {QLine(3, 5, 5, 3)}, {QLine(19, 24, 24, 19)}, {QLine(8, 7, 24, 23)}};
  return s;
}

SShape Arrow() {
  SShape s;
  s.outline = Polygon({{12, 12}, {12, 28}, {16, 24}, {19, 31}, {22, 30}, {19, 23}, {24, 23}});
  return s;
}

// A hand: the palm, four fingers (or the pointing finger and three folded ones), the thumb
// and three creases between the fingers, in cursor pixels.
struct SHand {
  QRect palm;
  std::array<QRect, 4> fingers;
  std::array<QPoint, 4> thumb;
  std::array<QLine, 3> creases;
};

SShape Hand(const SHand& hand) {
  auto rounded = [](const QRect& r) { return Rounded(r.x(), r.y(), r.width(), r.height()); };
  QPainterPath p = rounded(hand.palm);
  for (const QRect& finger : hand.fingers) p = p.united(rounded(finger));
  const auto& t = hand.thumb;
  p = p.united(Polygon({t[0], t[1], t[2], t[3]}));
  SShape s;
  s.outline = p.simplified();
  s.details.assign(hand.creases.begin(), hand.creases.end());
  return s;
}

SShape OpenHand() {
  return Hand({QRect(7, 14, 15, 13),
               {QRect(7, 6, 3, 11), QRect(11, 3, 3, 13), QRect(15, 4, 3, 12), QRect(19, 7, 3, 10)},
               {QPoint(2, 14), QPoint(4, 12), QPoint(9, 18), QPoint(8, 22)},
               {QLine(10, 10, 10, 15), QLine(14, 8, 14, 15), QLine(18, 9, 18, 15)}});
}

SShape ClosedHand() {
  return Hand({QRect(7, 11, 15, 15),
               {QRect(7, 8, 4, 6), QRect(11, 7, 4, 6), QRect(15, 7, 4, 6), QRect(19, 9, 3, 6)},
               {QPoint(4, 13), QPoint(6, 12), QPoint(9, 16), QPoint(8, 19)},
               {QLine(11, 9, 11, 13), QLine(15, 9, 15, 13), QLine(19, 10, 19, 14)}});
}

SShape PointingHand() {
  // The index finger points up with its tip at (12, 12); the hand itself is its palm.
  return Hand(
      {QRect(10, 12, 4, 12),
       {QRect(10, 20, 15, 11), QRect(14, 18, 4, 5), QRect(18, 19, 4, 4), QRect(21, 20, 4, 4)},
       {QPoint(5, 21), QPoint(7, 19), QPoint(11, 24), QPoint(10, 27)},
       {QLine(14, 20, 14, 23), QLine(18, 21, 18, 23), QLine(21, 22, 21, 24)}});
}

QCursor MakeCursor(const SShape& shape, int hotX, int hotY) {
  QBitmap bitmap(CursorSize, CursorSize);
  QBitmap mask(CursorSize, CursorSize);
  bitmap.clear();
  mask.clear();
  {
    QPainter m(&mask);
    m.setRenderHint(QPainter::Antialiasing, false);
    m.setPen(QPen(Qt::color1, 1));
    m.setBrush(Qt::color1);
    m.drawPath(shape.outline);
  }
  {
    QPainter b(&bitmap);
    b.setRenderHint(QPainter::Antialiasing, false);
    b.setPen(QPen(Qt::color1, 1));
    b.setBrush(Qt::NoBrush);
    b.drawPath(shape.outline);
    for (const QLine& line : shape.details) b.drawLine(line);
  }
  return QCursor(bitmap, mask, hotX, hotY);
}

SShape ShapeOf(int id) {
  switch (id) {
    case 1:
      return Pencil();
    case 2:
      return Arrow();
    case 3:
      return OpenHand();
    case 4:
      return ClosedHand();
    default:
      return PointingHand();
  }
}

}  // namespace

void LoadSheetCursors() {
  for (const SCursorRecord& r : CursorRecords) {
    auto& slot = cursorTable[static_cast<size_t>(r.Id)];
    if (!slot) slot = MakeCursor(ShapeOf(r.Id), r.HotX, r.HotY);
  }
}

QCursor SheetCursor(int id) {
  if (id < 0 || id >= static_cast<int>(cursorTable.size())) return QCursor(Qt::ArrowCursor);
  const auto& slot = cursorTable[static_cast<size_t>(id)];
  return slot ? *slot : QCursor(Qt::ArrowCursor);
}
