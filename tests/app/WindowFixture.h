// What the window tests share: a private settings store, and sheets put together in code the
// way the mouse would leave them.
#pragma once

#include <QSettings>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "Main.h"
#include "Settings.h"
#include "analysis/Measure.h"
#include "components/CCmp.h"
#include "sheet/CPct.h"
#include "value/Value.h"

// Settings go to a private folder: no real user settings are read or written. One object per
// test program, made before the first window.
struct IsolatedSettings {
  QTemporaryDir dir;
  IsolatedSettings() { qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit()); }
  // Settings are written as they change; each test starts from none.
  static void Clear() {
    QSettings(QSettings::NativeFormat, QSettings::UserScope, OrganisationName, ApplicationName)
        .clear();
  }
};

// The program as it starts for the first time, from an empty store, its main window not yet
// shown (a test shows it and waits for it).
template <class Program>
std::unique_ptr<Program> StartProgram() {
  IsolatedSettings::Clear();
  DisplayMode = 0;
  SignificantDigits = 3;
  auto program = std::make_unique<Program>();
  program->form.show();
  return program;
}

// A part placed in code, its values given as typed.
inline CCmp* PlacePart(CSheet& sheet, int kind, Orientation orientation, SPoint at,
                       const std::vector<const char*>& texts = {}) {
  CCmp* c = sheet.pictures.At(sheet.AddElement(kind, orientation, at.x, at.y))->cmp;
  CParam* p = c->Params();
  for (size_t i = 0; i < texts.size(); ++i) *p[i].Value = {ParseValue(texts[i]), texts[i]};
  return c;
}

inline void AddWire(CSheet& sheet, SPoint a, SPoint b) {
  sheet.pictures.Add(std::make_unique<CLine>(a, b, false));
}

// Attaches what was put on the sheet and lets the window read it, as the end of an edit does.
inline void FinishSheet(TMainForm& form) {
  form.CurrentSheet().SelectOnly(-1);
  form.CurrentSheet().pictures.AttachElements();
  form.UpdateReadoutState();
  form.Recompute(true);
}
