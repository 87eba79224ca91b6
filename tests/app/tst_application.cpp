// An exception that escapes an event handler is shown in a message box and the program goes on.
#include <QMessageBox>
#include <QTimer>
#include <QtTest>
#include <stdexcept>

#include "Application.h"
#include "value/Value.h"

namespace {

// Throws from its event handler whatever it is told to throw.
class Thrower : public QObject {
 public:
  int what = 0;
  int handled = 0;

 protected:
  bool event(QEvent* e) override {
    if (e->type() != QEvent::User) return QObject::event(e);
    ++handled;
    if (what == 1) throw Exception("Syntax error: 1,5");
    if (what == 2) throw std::runtime_error("out of range");
    if (what == 3) throw 42;
    return true;
  }
};

}  // namespace

class ApplicationTest : public QObject {
  Q_OBJECT

 private slots:
  void escapedExceptionsAreShownAndTheProgramGoesOn_data() {
    QTest::addColumn<int>("what");
    QTest::addColumn<QString>("message");
    QTest::newRow("the program's error") << 1 << "Syntax error: 1,5";
    QTest::newRow("a library error") << 2 << "out of range";
    QTest::newRow("an unknown exception") << 3 << "";
  }
  void escapedExceptionsAreShownAndTheProgramGoesOn() {
    QFETCH(int, what);
    QFETCH(QString, message);
    Thrower thrower;
    thrower.what = what;
    QString shown = "<no box>";
    QTimer::singleShot(0, this, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      shown = box->text();
      QCOMPARE(box->icon(), QMessageBox::Critical);
      box->accept();
    });
    QEvent event(QEvent::User);
    QCOMPARE(QCoreApplication::sendEvent(&thrower, &event), false);
    QCOMPARE(shown, message);
    // The loop still runs: a later event is handled normally.
    thrower.what = 0;
    QEvent again(QEvent::User);
    QVERIFY(QCoreApplication::sendEvent(&thrower, &again));
    QCOMPARE(thrower.handled, 2);
  }
};

int main(int argc, char** argv) {
  Application app(argc, argv);
  ApplicationTest test;
  return QTest::qExec(&test, argc, argv);
}
#include "tst_application.moc"
