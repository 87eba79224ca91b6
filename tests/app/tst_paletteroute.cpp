// The palette drag with mouse events routed as the window system delivers them: the press
// lands on the palette image, and the moves and the release must still reach the sheet.
#define QTEST_QPA_MOUSE_HANDLING
#include <QFrame>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "Main.h"
#include "WindowFixture.h"
#include "components/CCmp.h"
#include "ui_Main.h"

namespace {

const IsolatedSettings isolatedSettings;

}  // namespace

class PaletteRouteTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TMainForm> form;

  QPoint GridPixel(SPoint grid) {
    const SPoint p = form->CurrentSheet().view.GridToScreen(grid);
    return {p.x, p.y};
  }
  int CountKind(int kind) {
    int n = 0;
    for (int i = 0; i < form->CurrentSheet().pictures.Count(); ++i) {
      const CPct* p = form->CurrentSheet().pictures.At(i);
      if (p->cmp && p->cmp->Type == ElemTypes[kind]) ++n;
    }
    return n;
  }

 private slots:
  void init() {
    form = std::make_unique<TMainForm>();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
  }
  void cleanup() { form.reset(); }

  void dragFromThePaletteByWindowSystemEvents_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("image");
    QTest::newRow("resistor") << int(KindR) << "ImageR";
    QTest::newRow("coupled inductors") << int(KindLC) << "ImageLC";
  }
  void dragFromThePaletteByWindowSystemEvents() {
    QFETCH(int, kind);
    QFETCH(QString, image);
    auto* source = form->findChild<QWidget*>(image);
    QVERIFY(source);
    QWidget* box = form->Controls().PaintBox;
    QTest::mousePress(source, Qt::LeftButton, {}, source->rect().center());
    QCOMPARE(static_cast<int32_t>(form->CurrentSheet().mode),
             static_cast<int32_t>(SheetMode::Placing));
    // Moves and the release are given at paint-area positions; the window system routing
    // decides who receives them.
    QTest::mouseMove(box, GridPixel({1, 2}));
    QTest::mouseMove(box, GridPixel({3, 2}));
    QTest::mouseRelease(box, Qt::LeftButton, {}, GridPixel({3, 2}));
    QCOMPARE(CountKind(kind), 1);
    QCOMPARE(static_cast<int32_t>(form->CurrentSheet().mode),
             static_cast<int32_t>(SheetMode::Idle));
    QVERIFY(!form->CurrentSheet().buttonDown);
    QVERIFY(QWidget::mouseGrabber() == nullptr);
    QVERIFY(!form->Controls().HintPanel->isVisible());
    // A plain press and release on empty sheet afterwards goes to the sheet as usual.
    QTest::mouseClick(box, Qt::LeftButton, {}, GridPixel({-8, 4}));
    QVERIFY(!form->CurrentSheet().buttonDown);
    QCOMPARE(CountKind(kind), 1);
  }

  // The palette names each kind as the parameter dialog's caption does.
  void paletteNamesEachKindAsItsParameterCaption() {
    int named = 0;
    for (QFrame* panel : form->findChildren<QFrame*>()) {
      const QVariant tag = panel->property("Tag");
      if (!tag.isValid() || !panel->objectName().startsWith("Panel")) continue;
      QVERIFY(tag.toInt() > 0 && tag.toInt() < ElemKindCount);
      const SElemType* type = ElemTypes[tag.toInt()];
      QVERIFY2(type && type->Params, qPrintable(panel->objectName()));
      QCOMPARE(panel->toolTip().replace('\n', ' '), QString(type->Params[0].Caption));
      ++named;
    }
    QCOMPARE(named, ElemKindCount - 1);  // every kind but the meter
  }
};

QTEST_MAIN(PaletteRouteTest)
#include "tst_paletteroute.moc"
