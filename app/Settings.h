// The settings dialog: display mode and significant digits, with immediate effect.
#pragma once

#include <QDialog>
#include <memory>

class SheetHost;

namespace Ui {
class TSettingsForm;
}

class TSettingsForm : public QDialog {
  Q_OBJECT
 public:
  explicit TSettingsForm(QWidget* parent = nullptr);
  ~TSettingsForm() override;

  SheetHost* Host = nullptr;  // the main window: UpdateReadoutState and Recompute; not owned
  bool guard = false;         // keeps the dialog from applying the values it loads itself

  std::unique_ptr<Ui::TSettingsForm> ui;
};
