// The program's three windows, created in the order the program entry creates them (the main
// window, then the parameter dialog, then the settings dialog) and wired to each other.
#pragma once

#include "ElemWin.h"
#include "Main.h"
#include "Settings.h"

// MainForm lets tests put a subclass of the main window in its place.
template <class MainForm = TMainForm>
struct TProgramWindows {
  MainForm form;
  TElemWinForm elemWin{&form};
  TSettingsForm settings{&form};

  TProgramWindows() {
    elemWin.Host = &form;
    settings.Host = &form;
    form.ElemWinForm = &elemWin;
    form.SettingsForm = &settings;
    // A setting is stored the moment it changes, so that a crash does not lose it.
    QObject::connect(&settings, &TSettingsForm::SettingsChanged, &form,
                     [this] { form.StoreSettings(true); });
  }
  TProgramWindows(const TProgramWindows&) = delete;
  TProgramWindows& operator=(const TProgramWindows&) = delete;
};
