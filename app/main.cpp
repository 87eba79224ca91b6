// Program entry: the application object, the main window and its two dialogs.
#include <QMessageBox>
#include <exception>

#include "Application.h"
#include "ElemWin.h"
#include "Main.h"
#include "Settings.h"

int main(int argc, char** argv) {
  Application app(argc, argv);
  try {
    QCoreApplication::setOrganizationName("Brackenworks");
    QCoreApplication::setApplicationName("Vorzeta");
    QGuiApplication::setApplicationDisplayName("Vorzeta");
    QGuiApplication::setDesktopFileName("vorzeta");

    TMainForm mainForm;
    TElemWinForm elemWinForm(&mainForm);
    TSettingsForm settingsForm(&mainForm);
    elemWinForm.Host = &mainForm;
    settingsForm.Host = &mainForm;
    mainForm.ElemWinForm = &elemWinForm;
    mainForm.SettingsForm = &settingsForm;

    mainForm.show();
    app.exec();
  } catch (const std::exception& e) {
    Application::ShowException(QString::fromLocal8Bit(e.what()));
  } catch (...) {
    Application::ShowException(QString());
  }
  return 0;
}
