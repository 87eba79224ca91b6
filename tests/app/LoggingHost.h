// A stand-in for the main window that records, in order, the calls a dialog makes into it.
#pragma once

#include <string>

#include "sheet/SheetHost.h"

class LoggingHost : public SheetHost {
 public:
  void PaintSheet() override { log += "PaintSheet;"; }
  void Recompute(bool renumber) override {
    log += renumber ? "Recompute(true);" : "Recompute(false);";
  }
  void UpdateReadoutState() override { log += "UpdateReadoutState;"; }
  void SetSheetCursor(int) override {}
  void EditParameter(CParam&) override {}
  CCmp* Meter() const override { return nullptr; }
  std::string log;
};
