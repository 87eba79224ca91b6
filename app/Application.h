// The application object: shows an exception that escapes an event handler in a message box
// and lets the program go on, so Qt never unwinds through its own event loop.
#pragma once

#include <QApplication>

class Application : public QApplication {
  Q_OBJECT
 public:
  Application(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;

  // The standard message box for an escaped exception; an empty message for unknown ones.
  static void ShowException(const QString& message);
};
