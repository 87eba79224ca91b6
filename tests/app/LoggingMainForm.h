// A main window that records, in order, the calls the dialogs' signals make into it. Calls
// these make in turn (a recompute that repaints) are not recorded.
#pragma once

#include <string>

#include "Main.h"

class LoggingMainForm : public TMainForm {
 public:
  void PaintSheet() override {
    Logged("PaintSheet;", [this] { TMainForm::PaintSheet(); });
  }
  void Recompute(bool renumber) override {
    Logged(renumber ? "Recompute(true);" : "Recompute(false);",
           [this, renumber] { TMainForm::Recompute(renumber); });
  }
  void UpdateReadoutState() override {
    Logged("UpdateReadoutState;", [this] { TMainForm::UpdateReadoutState(); });
  }
  std::string log;

 private:
  template <class Call>
  void Logged(const char* name, const Call& call) {
    if (depth == 0) log += name;
    ++depth;
    call();
    --depth;
  }
  int depth = 0;
};
