#include "QtCanvas.h"

#include <QHash>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>
#include <QStaticText>

namespace {

QColor ToQColor(SColor c) {
  return QColor(c.r, c.g, c.b);
}

bool SameFont(const SFont& a, const SFont& b) {
  return a.Face == b.Face && a.Points == b.Points && a.Height == b.Height && a.Color == b.Color;
}

// A sheet repeats a few label texts many times ("1k", "1n"), and shaping a text is the
// dearest part of painting one; the widths and laid-out texts are kept between paints, per
// font and device resolution. The caches start afresh once they grow large.
constexpr qsizetype CacheLimit = 4096;

QHash<QString, int>& Advances() {
  static QHash<QString, int> cache;
  return cache;
}

QHash<QString, QStaticText>& LaidOutTexts() {
  static QHash<QString, QStaticText> cache;
  return cache;
}

// The entry under `key`, made by `make` when it is missing.
template <typename T, typename Make>
const T& Cached(QHash<QString, T>& cache, const QString& key, Make make) {
  auto it = cache.constFind(key);
  if (it == cache.constEnd()) {
    if (cache.size() >= CacheLimit) cache.clear();
    it = cache.insert(key, make());
  }
  return *it;
}

}  // namespace

QtCanvas::QtCanvas(QPainter& p) : painter(p) {
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setBackgroundMode(Qt::TransparentMode);
  painter.setBrush(brushColor);
}

void QtCanvas::SetPen(SColor color, int width) {
  // Width 0 is a cosmetic pen: one device pixel wide at any scale, as a zero-width GDI pen.
  QPen pen(ToQColor(color));
  pen.setWidth(width < 0 ? 0 : width);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  painter.setPen(pen);
}

void QtCanvas::SetBrush(SColor color) {
  brushColor = ToQColor(color);
  painter.setBrush(brushColor);
}

void QtCanvas::MoveTo(int x, int y) {
  penPos = QPoint(x, y);
}

void QtCanvas::LineTo(int x, int y) {
  const QPoint to(x, y);
  painter.drawLine(penPos, to);
  penPos = to;
}

void QtCanvas::CircleOutline(int left, int top, int right, int bottom) {
  painter.save();
  painter.setBrush(Qt::NoBrush);
  painter.drawEllipse(QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)));
  painter.restore();
}

void QtCanvas::Ellipse(int left, int top, int right, int bottom) {
  painter.drawEllipse(QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)));
}

void QtCanvas::Rectangle(int left, int top, int right, int bottom) {
  // Like a GDI rectangle, the right and bottom edges are exclusive: the outline covers
  // left..right-1 and top..bottom-1.
  painter.drawRect(QRect(left, top, right - left - 1, bottom - top - 1));
}

void QtCanvas::FillRect(const SRect& r) {
  painter.fillRect(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top), brushColor);
}

void QtCanvas::SetPixel(int x, int y, SColor color) {
  painter.fillRect(QRect(x, y, 1, 1), ToQColor(color));
}

QFont QtCanvas::ToQFont(const SFont& f) {
  QFont q(QString::fromStdString(f.Face));
  // A GDI height below zero asks for the character height; either sign means pixels here.
  if (f.Height != 0) {
    q.setPixelSize(f.Height < 0 ? -f.Height : f.Height);
  } else if (f.Points > 0) {
    q.setPointSize(f.Points);
  }
  return q;
}

void QtCanvas::SetFont(const SFont& f) {
  if (currentFont && SameFont(*currentFont, f)) return;
  currentFont = f;
  font = ToQFont(f);
  textColor = ToQColor(f.Color);
  metrics.emplace(font, painter.device());
  painter.setFont(font);
  const QPaintDevice* device = painter.device();
  fontKey = font.key() + QLatin1Char('|') +
            QString::number(device != nullptr ? device->logicalDpiX() : 0) + QLatin1Char('|');
}

SPoint QtCanvas::TextExtent(const std::string& text) {
  if (!metrics) SetFont(SFont{});
  const QString s = QString::fromStdString(text);
  const int advance =
      Cached(Advances(), fontKey + s, [&] { return metrics->horizontalAdvance(s); });
  return {advance, metrics->height()};
}

void QtCanvas::TextOut(int x, int y, const std::string& text) {
  if (!metrics) SetFont(SFont{});
  const QString s = QString::fromStdString(text);
  const QStaticText& laidOut = Cached(LaidOutTexts(), fontKey + s, [&] {
    QStaticText made(s);
    made.setTextFormat(Qt::PlainText);
    made.setPerformanceHint(QStaticText::AggressiveCaching);
    made.prepare(QTransform(), font);
    return made;
  });
  painter.save();
  painter.setPen(textColor);
  // A laid-out text is placed by its top left corner, which is where (x, y) asks for it.
  painter.drawStaticText(QPoint(x, y), laidOut);
  painter.restore();
}
