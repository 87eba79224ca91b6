// Program entry: the application object, the main window and its two dialogs.
#include <QMessageBox>
#include <exception>

#include "Application.h"
#include "Settings.h"
#include "Windows.h"

int main(int argc, char** argv) {
  Application app(argc, argv);
  try {
    QCoreApplication::setOrganizationName(QString::fromLatin1(OrganisationName));
    QCoreApplication::setApplicationName(QString::fromLatin1(ApplicationName));
    QGuiApplication::setApplicationDisplayName(QString::fromLatin1(ApplicationName));
    QGuiApplication::setDesktopFileName("vorzeta");

    TProgramWindows<> windows;
    windows.form.show();
    // `vorzeta FILE` opens the sheet file named on the command line.
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 1) windows.form.OpenFile(arguments.at(1));
    app.exec();
  } catch (const std::exception& e) {
    Application::ShowException(QString::fromLocal8Bit(e.what()));
  } catch (...) {
    Application::ShowException(QString());
  }
  return 0;
}
