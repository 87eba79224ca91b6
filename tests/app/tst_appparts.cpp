// The window's small layers: the canvas on a QPainter, the sheet cursors and the pictures
// rendered from the component kinds.
#include <QBitmap>
#include <QPainter>
#include <QtTest>

#include "Cursors.h"
#include "Pictures.h"
#include "QtCanvas.h"
#include "components/CCmp.h"

namespace {

const QColor White(Qt::white);

// The bounding box of the pixels that differ from `background`.
QRect Changed(const QImage& image, const QColor& background) {
  QRect box;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixelColor(x, y) != background) box |= QRect(x, y, 1, 1);
  return box;
}

int Opaque(const QImage& image) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixelColor(x, y).alpha() > 0) ++n;
  return n;
}

QImage Blank(int w = 40, int h = 40, const QColor& fill = White) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(fill);
  return image;
}

}  // namespace

class AppPartsTest : public QObject {
  Q_OBJECT

 private slots:
  void pixelsAndFillsCoverExactlyTheirArea() {
    QImage image = Blank();
    {
      QPainter p(&image);
      QtCanvas c(p);
      c.SetPixel(5, 7, SColor{255, 0, 0});
      c.SetBrush(SColor{0, 0, 255});
      c.FillRect(SRect{10, 10, 14, 12});
    }
    QCOMPARE(image.pixelColor(5, 7), QColor(255, 0, 0));
    QCOMPARE(Changed(image, White), QRect(QPoint(5, 7), QPoint(13, 11)));
    QCOMPARE(image.pixelColor(10, 10), QColor(0, 0, 255));
    QCOMPARE(image.pixelColor(13, 11), QColor(0, 0, 255));
    QCOMPARE(image.pixelColor(14, 11), White);
    QCOMPARE(image.pixelColor(13, 12), White);
  }

  void rectangleOutlinesWithThePenAndFillsWithTheBrush() {
    QImage image = Blank();
    {
      QPainter p(&image);
      QtCanvas c(p);
      c.SetPen(SColor{0, 0, 0}, 0);
      c.SetBrush(SColor{0, 255, 0});
      c.Rectangle(2, 2, 8, 8);
    }
    // Right and bottom are exclusive, as for the sheet's rectangles.
    QCOMPARE(Changed(image, White), QRect(QPoint(2, 2), QPoint(7, 7)));
    QCOMPARE(image.pixelColor(2, 2), QColor(Qt::black));
    QCOMPARE(image.pixelColor(7, 7), QColor(Qt::black));
    QCOMPARE(image.pixelColor(4, 5), QColor(0, 255, 0));
  }

  void linesRunFromThePenPosition() {
    QImage image = Blank();
    {
      QPainter p(&image);
      QtCanvas c(p);
      c.SetPen(SColor{255, 0, 0}, 0);
      c.MoveTo(2, 20);
      c.LineTo(12, 20);
      c.LineTo(12, 30);  // continues from where the last line ended
    }
    QCOMPARE(image.pixelColor(7, 20), QColor(255, 0, 0));
    QCOMPARE(image.pixelColor(7, 21), White);  // a zero-width pen is one pixel wide
    QCOMPARE(image.pixelColor(12, 25), QColor(255, 0, 0));
    QCOMPARE(Changed(image, White), QRect(QPoint(2, 20), QPoint(12, 30)));
  }

  void wideLinesAndCircles() {
    QImage image = Blank();
    {
      QPainter p(&image);
      QtCanvas c(p);
      c.SetPen(SColor{0, 0, 0}, 3);
      c.MoveTo(5, 5);
      c.LineTo(30, 5);
      c.SetPen(SColor{0, 0, 0}, 0);
      c.SetBrush(SColor{255, 0, 0});
      c.CircleOutline(10, 15, 30, 35);
    }
    QCOMPARE(image.pixelColor(15, 4), QColor(Qt::black));
    QCOMPARE(image.pixelColor(15, 6), QColor(Qt::black));
    // An outline only: the brush does not fill the circle.
    QCOMPARE(image.pixelColor(20, 25), White);
    const QRect circle = Changed(image.copy(0, 12, 40, 28), White).translated(0, 12);
    QVERIFY2(qAbs(circle.left() - 10) <= 1 && qAbs(circle.right() - 29) <= 1,
             qPrintable(QString("circle spans x %1..%2").arg(circle.left()).arg(circle.right())));
  }

  void textIsDrawnFromItsTopLeftWithoutBackground() {
    QImage image = Blank(80, 40, QColor(0, 128, 0));
    SPoint extent;
    {
      QPainter p(&image);
      QtCanvas c(p);
      SFont font;
      font.Face = "DejaVu Sans";
      font.Height = 14;
      font.Color = SColor{255, 255, 0};
      c.SetFont(font);
      extent = c.TextExtent("Hg8");
      c.TextOut(10, 12, "Hg8");
    }
    QVERIFY(extent.x > 10 && extent.x < 60);
    QVERIFY(extent.y >= 14 && extent.y <= 20);
    const QRect inked = Changed(image, QColor(0, 128, 0));
    QVERIFY(!inked.isEmpty());
    QVERIFY2(inked.top() >= 12 && inked.left() >= 9 && inked.bottom() < 12 + extent.y &&
                 inked.right() < 10 + extent.x + 1,
             qPrintable(QString("ink at %1,%2 %3x%4")
                            .arg(inked.x())
                            .arg(inked.y())
                            .arg(inked.width())
                            .arg(inked.height())));
    // Transparent: the green shows between the strokes; the ink is the font's yellow.
    int yellow = 0, green = 0;
    for (int y = inked.top(); y <= inked.bottom(); ++y)
      for (int x = inked.left(); x <= inked.right(); ++x) {
        const QColor c = image.pixelColor(x, y);
        if (c == QColor(255, 255, 0)) ++yellow;
        if (c == QColor(0, 128, 0)) ++green;
      }
    QVERIFY(yellow > 5);
    QVERIFY(green > 5);
  }

  void fontHeightWinsOverPoints() {
    SFont font;
    font.Points = 30;
    font.Height = -12;
    QCOMPARE(QtCanvas::ToQFont(font).pixelSize(), 12);
    font.Height = 0;
    QCOMPARE(QtCanvas::ToQFont(font).pointSize(), 30);
  }

  void cursorsHaveTheirHotSpotsOnTheirShape_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QPoint>("hotSpot");
    QTest::newRow("pencil") << 1 << QPoint(2, 2);
    QTest::newRow("arrow") << 2 << QPoint(12, 12);
    QTest::newRow("open hand") << 3 << QPoint(12, 12);
    QTest::newRow("closed hand") << 4 << QPoint(12, 12);
    QTest::newRow("pointing hand") << 6 << QPoint(12, 12);
  }
  void cursorsHaveTheirHotSpotsOnTheirShape() {
    QFETCH(int, id);
    QFETCH(QPoint, hotSpot);
    LoadSheetCursors();
    const QCursor cursor = SheetCursor(id);
    QCOMPARE(cursor.shape(), Qt::BitmapCursor);
    QCOMPARE(cursor.hotSpot(), hotSpot);
    const QImage bitmap = cursor.bitmap().toImage();
    const QImage mask = cursor.mask().toImage();
    QCOMPARE(bitmap.size(), QSize(32, 32));
    QCOMPARE(mask.size(), QSize(32, 32));
    // The hot spot is a drawn pixel, and the shape has both black outline and white inside.
    QVERIFY(mask.pixelIndex(hotSpot) == 1 || QColor(mask.pixel(hotSpot)) == QColor(Qt::black));
    int black = 0, white = 0;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) {
        if (QColor(mask.pixel(x, y)) != QColor(Qt::black)) continue;
        (QColor(bitmap.pixel(x, y)) == QColor(Qt::black) ? black : white)++;
      }
    QVERIFY(black > 10);
    QVERIFY(white > 10);
  }

  void unusedCursorIdsFallBackToTheArrow() {
    LoadSheetCursors();
    for (int id : {0, 5, 7, -1}) {
      QCOMPARE(SheetCursor(id).shape(), Qt::ArrowCursor);
    }
  }

  void paletteImagesShowEachKindsSymbol() {
    std::vector<QImage> images;
    for (int kind = KindR; kind <= KindW; ++kind) {
      const QSize size = kind >= KindLC ? QSize(40, 51) : QSize(18, 51);
      const QPixmap pixmap = PalettePicture(kind, size, 1.0);
      QCOMPARE(pixmap.size(), size);
      const QImage image = pixmap.toImage();
      QVERIFY2(Opaque(image) > 20, qPrintable(QString("kind %1").arg(kind)));
      // Scaled to fill the image in one direction at least.
      QRect ink;
      for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
          if (image.pixelColor(x, y).alpha() > 0) ink |= QRect(x, y, 1, 1);
      QVERIFY2(
          ink.height() >= size.height() * 3 / 4 || ink.width() >= size.width() * 3 / 4,
          qPrintable(QString("kind %1 ink %2x%3").arg(kind).arg(ink.width()).arg(ink.height())));
      images.push_back(image);
    }
    QVERIFY(images[0] != images[1]);  // resistor and capacitor differ
    QVERIFY(images[3] != images[4]);  // coupled inductors and transformer differ
    QCOMPARE(Opaque(PalettePicture(KindMeter + 99, QSize(18, 51), 1.0).toImage()), 0);
  }

  void highDensityPaletteImagesKeepTheirLogicalSize() {
    const QPixmap pixmap = PalettePicture(KindR, QSize(18, 51), 2.0);
    QCOMPARE(pixmap.size(), QSize(36, 102));
    QCOMPARE(pixmap.devicePixelRatio(), 2.0);
  }

  void everyToolbarActionHasAnIcon() {
    for (const char* name : {"NewBtn", "SettingsBtn", "EditDelete", "RotateLeft", "RotateRight",
                             "CirZoomIn", "CirZoomOut"}) {
      const QImage image = ToolIcon(name).pixmap(24, 24).toImage();
      QVERIFY2(Opaque(image) > 20, name);
    }
    QVERIFY(ToolIcon("NoSuchAction").isNull());
    QVERIFY(ToolIcon("RotateLeft").pixmap(24, 24).toImage() !=
            ToolIcon("RotateRight").pixmap(24, 24).toImage());
    QVERIFY(!WindowIcon().isNull());
  }
};

QTEST_MAIN(AppPartsTest)
#include "tst_appparts.moc"
