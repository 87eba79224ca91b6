#include "Pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <climits>
#include <cmath>

#include "QtCanvas.h"
#include "components/CCmp.h"
#include "view/CVC.h"

namespace {

struct SBounds {
  int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
  void Add(SPoint p, int r = 0) {
    left = std::min(left, p.x - r);
    top = std::min(top, p.y - r);
    right = std::max(right, p.x + r);
    bottom = std::max(bottom, p.y + r);
  }
  bool Empty() const { return left > right || top > bottom; }
};

// Bounds of a symbol command list in fine units once turned to `orientation`.
SBounds SymbolBounds(const int32_t* symbol, Orientation orientation) {
  SBounds b;
  WalkSymbol(symbol, [&](const SSymbolCommand& c) {
    b.Add(RotatePoint(orientation, c.P1), c.Radius);
    if (c.Command == SymBar) b.Add(RotatePoint(orientation, c.P2));
  });
  return b;
}

constexpr int ImageMargin = 1;  // pixels left free around the symbol

QPixmap Blank(QSize size, qreal dpr) {
  QPixmap pixmap(size * dpr);
  pixmap.setDevicePixelRatio(dpr);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

void StrokeIcon(QPainter& p, const QColor& color, qreal width = 2.0) {
  p.setRenderHint(QPainter::Antialiasing, true);
  QPen pen(color, width);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
}

void DrawNew(QPainter& p) {
  StrokeIcon(p, QColor(40, 40, 40), 1.5);
  p.setBrush(Qt::white);
  p.drawPolygon(QPolygonF({{5, 2}, {15, 2}, {20, 7}, {20, 22}, {5, 22}}));
  p.drawPolyline(QPolygonF({{15, 2}, {15, 7}, {20, 7}}));
}

void DrawSettings(QPainter& p) {
  StrokeIcon(p, QColor(50, 50, 50), 1.5);
  p.setBrush(QColor(150, 150, 160));
  QPainterPath gear;
  for (int i = 0; i < 8; ++i) {
    QPainterPath tooth;
    tooth.addRect(QRectF(-2, -10.5, 4, 5));
    gear = gear.united(QTransform().rotate(45.0 * i).map(tooth));
  }
  QPainterPath body;
  body.addEllipse(QPointF(0, 0), 7.5, 7.5);
  gear = gear.united(body);
  p.save();
  p.translate(12, 12);
  p.drawPath(gear.simplified());
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(0, 0), 3, 3);
  p.restore();
}

void DrawDelete(QPainter& p) {
  StrokeIcon(p, QColor(200, 30, 30), 3.0);
  p.drawLine(QPointF(5, 5), QPointF(19, 19));
  p.drawLine(QPointF(19, 5), QPointF(5, 19));
}

void DrawRotate(QPainter& p, bool clockwise) {
  StrokeIcon(p, QColor(20, 90, 170), 2.2);
  const QRectF circle(4, 4, 16, 16);
  // The arc leaves a gap at the top; the head sits at the arc's end in the turning direction.
  if (clockwise) {
    p.drawArc(circle, 60 * 16, -300 * 16);
    p.setBrush(QColor(20, 90, 170));
    p.drawPolygon(QPolygonF({{12, 1}, {17, 4.5}, {12, 8}}));
  } else {
    p.drawArc(circle, 120 * 16, 300 * 16);
    p.setBrush(QColor(20, 90, 170));
    p.drawPolygon(QPolygonF({{12, 1}, {7, 4.5}, {12, 8}}));
  }
}

void DrawZoom(QPainter& p, bool in) {
  StrokeIcon(p, QColor(40, 40, 40), 2.0);
  p.setBrush(QColor(220, 235, 255));
  p.drawEllipse(QPointF(10, 10), 7, 7);
  StrokeIcon(p, QColor(40, 40, 40), 3.5);
  p.drawLine(QPointF(15.5, 15.5), QPointF(21, 21));
  StrokeIcon(p, QColor(20, 90, 170), 2.0);
  p.drawLine(QPointF(6.5, 10), QPointF(13.5, 10));
  if (in) p.drawLine(QPointF(10, 6.5), QPointF(10, 13.5));
}

// A resonance curve over an axis.
void DrawResponse(QPainter& p) {
  StrokeIcon(p, QColor(40, 40, 40), 1.5);
  p.drawPolyline(QPolygonF({{3, 2}, {3, 21}, {22, 21}}));
  StrokeIcon(p, QColor(20, 90, 200), 2.0);
  QPainterPath curve(QPointF(4, 18));
  curve.cubicTo(QPointF(10, 17), QPointF(10, 3), QPointF(13, 3));
  curve.cubicTo(QPointF(16, 3), QPointF(16, 17), QPointF(22, 18));
  p.drawPath(curve);
}

}  // namespace

QPixmap PalettePicture(int kind, QSize size, qreal dpr) {
  QPixmap pixmap = Blank(size, dpr);
  if (kind < 0 || kind >= ElemKindCount || !ElemTypes[kind]) return pixmap;
  const int32_t* symbol = ElemTypes[kind]->Symbol;

  // Take the orientation that lets the symbol grow largest in the image.
  const int usableW = std::max(1, size.width() - 2 * ImageMargin);
  const int usableH = std::max(1, size.height() - 2 * ImageMargin);
  Orientation bestOrientation = Orientation::R0;
  int bestZoom = 0;
  SBounds best;
  for (Orientation orientation : {Orientation::R90, Orientation::R0}) {
    const SBounds b = SymbolBounds(symbol, orientation);
    if (b.Empty()) continue;
    const int w = std::max(1, b.right - b.left);
    const int h = std::max(1, b.bottom - b.top);
    const int zoom = std::min(usableW * FinePerGrid / w, usableH * FinePerGrid / h);
    if (zoom > bestZoom) {
      bestZoom = zoom;
      bestOrientation = orientation;
      best = b;
    }
  }
  if (bestZoom <= 0) return pixmap;

  CVC view;
  view.Zoom = bestZoom;
  view.PanX = (best.left + best.right) / 2.0 / FinePerGrid;
  view.PanY = (best.top + best.bottom) / 2.0 / FinePerGrid;
  view.SetViewport(0, 0, size.width(), size.height());
  QPainter painter(&pixmap);
  QtCanvas canvas(painter);
  canvas.SetBrush(SColor{0, 0, 0});
  view.DrawSymbol(canvas, bestOrientation, 1, SColor{0, 0, 0}, symbol, 0, 0);
  return pixmap;
}

QIcon ToolIcon(const QString& name) {
  QIcon icon;
  for (qreal dpr : {1.0, 2.0}) {
    QPixmap pixmap = Blank(QSize(24, 24), dpr);
    QPainter p(&pixmap);
    if (name == "NewBtn") {
      DrawNew(p);
    } else if (name == "SettingsBtn") {
      DrawSettings(p);
    } else if (name == "EditDelete") {
      DrawDelete(p);
    } else if (name == "RotateLeft") {
      DrawRotate(p, false);
    } else if (name == "RotateRight") {
      DrawRotate(p, true);
    } else if (name == "CirZoomIn") {
      DrawZoom(p, true);
    } else if (name == "CirZoomOut") {
      DrawZoom(p, false);
    } else if (name == "Response") {
      DrawResponse(p);
    } else {
      return QIcon();
    }
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

QIcon WindowIcon() {
  QIcon icon;
  for (int side : {16, 32, 64}) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.scale(side / 64.0, side / 64.0);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
    QPen pen(QColor(0, 255, 255), 5);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    p.setPen(pen);
    p.drawPolyline(QPolygonF(
        {{8, 32}, {16, 32}, {20, 20}, {26, 44}, {32, 20}, {38, 44}, {44, 20}, {48, 32}, {56, 32}}));
    p.setPen(QPen(QColor(255, 255, 0), 4));
    p.drawLine(QPointF(8, 52), QPointF(56, 52));
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}
