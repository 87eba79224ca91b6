// Program entry: the application object, the main window and its two dialogs.
#include <QMessageBox>
#include <exception>

#include "Application.h"
#include "Windows.h"

int main(int argc, char** argv) {
  Application app(argc, argv);
  try {
    QCoreApplication::setOrganizationName("Brackenworks");
    QCoreApplication::setApplicationName("Vorzeta");
    QGuiApplication::setApplicationDisplayName("Vorzeta");
    QGuiApplication::setDesktopFileName("vorzeta");

    TProgramWindows<> windows;
    windows.form.show();
    app.exec();
  } catch (const std::exception& e) {
    Application::ShowException(QString::fromLocal8Bit(e.what()));
  } catch (...) {
    Application::ShowException(QString());
  }
  return 0;
}
