// The program's three windows, created in the order the program entry creates them (the main
// window, then the parameter dialog, then the settings dialog) and wired to each other.
#pragma once

#include "ElemWin.h"
#include "Main.h"
#include "ResponseDock.h"
#include "Settings.h"

// MainForm lets tests put a subclass of the main window in its place.
template <class MainForm = TMainForm>
struct TProgramWindows {
  MainForm form;
  TElemWinForm elemWin{&form};
  TSettingsForm settings{&form};

  TProgramWindows() {
    form.UseDialogs(&elemWin, &settings);
    // The stored value's label is drawn anew before the measurement, which keeps the wiring
    // as it is.
    QObject::connect(&elemWin, &TElemWinForm::ValueStored, &form, [this] {
      form.PaintSheet();
      form.Recompute(false);
    });
    // The readout follows a setting at once: its captions, then its numbers.
    QObject::connect(&settings, &TSettingsForm::SettingsChanged, &form, [this] {
      form.UpdateReadoutState();
      form.Recompute(true);
    });
    QObject::connect(&settings, &TSettingsForm::DimIdlePartsChanged, &form,
                     [this] { form.Recompute(false); });
    QObject::connect(&settings, &TSettingsForm::ReferenceImpedanceChanged, &form,
                     [this] { form.MatchSettingsChanged(); });
    QObject::connect(&settings, &TSettingsForm::ShowMatchChanged, &form,
                     [this] { form.MatchSettingsChanged(); });
    QObject::connect(&settings, &TSettingsForm::TolerancesChanged, &form,
                     [this] { form.Response().SetTolerances(LoadTolerances()); });
    // A setting is stored the moment it changes (after the readout followed it), so that a
    // crash does not lose it.
    QObject::connect(&settings, &TSettingsForm::SettingsChanged, &form,
                     [this] { form.SaveSettings(); });
  }
  TProgramWindows(const TProgramWindows&) = delete;
  TProgramWindows& operator=(const TProgramWindows&) = delete;
};
