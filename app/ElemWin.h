// The parameter dialog: edits one parameter of one component as engineering text, checks it
// at every keystroke and stores it on Enter or OK.
#pragma once

#include <QDialog>
#include <QRect>
#include <memory>
#include <string>

struct CParam;
class SheetHost;

namespace Ui {
class TElemWinForm;
}

class TElemWinForm : public QDialog {
  Q_OBJECT
 public:
  explicit TElemWinForm(QWidget* parent = nullptr);
  ~TElemWinForm() override;

  // Sets the parameter, centres the dialog over `mainFrame` (the main window's frame in screen
  // coordinates) and shows it modally. Returns the dialog's result code.
  int Edit(CParam& param, const QRect& mainFrame);

  // Stores the edited value if it is valid; repaints and recomputes through the host.
  bool ApplyValue();

  SheetHost* Host = nullptr;  // the main window; not owned
  CParam* parameter = nullptr;
  std::string text;
  double value = 0.0;
  bool valid = false;

  std::unique_ptr<Ui::TElemWinForm> ui;
};
