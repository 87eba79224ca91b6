#include "Application.h"

#include <QMessageBox>
#include <exception>

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ShowException(QString::fromLocal8Bit(e.what()));
  } catch (...) {
    ShowException(QString());
  }
  return false;
}

void Application::ShowException(const QString& message) {
  QMessageBox::critical(activeWindow(), applicationDisplayName(), message);
}
