// The parameter dialog: edits one parameter of one component as engineering text, checks it
// at every keystroke and stores it on Enter or OK.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <QRect>
#include <memory>
#include <string>

class CCmp;
struct CParam;

namespace Ui {
class TElemWinForm;
}

class TElemWinForm : public QDialog {
  Q_OBJECT
 public:
  explicit TElemWinForm(QWidget* parent = nullptr);
  ~TElemWinForm() override;

  // Sets parameter `index` of `cmp`, centres the dialog over `mainFrame` (the main window's
  // frame in screen coordinates) and shows it modally. Returns the dialog's result code.
  int Edit(CCmp& cmp, int index, const QRect& mainFrame);

  // Stores the edited value if it is valid and reports it with ValueStored.
  bool ApplyValue();

  // Loads the bound parameter into the controls; runs whenever the dialog is shown.
  void FormShow();
  // Checks ParamEdit's text after every change and shows the value it stands for.
  void ParamEditChange();
  // Shows or hides the suffix table beside the inputs.
  void SpeedButton1Click();

  // The suffix letters as a black-on-white table, the picture shown in ExpImage.
  static QPixmap SuffixTablePicture(const QSize& size);

  CCmp* component = nullptr;  // the component being edited, while Edit runs; not owned
  int parameterIndex = -1;
  std::string text;
  double value = 0.0;
  bool valid = false;

  std::unique_ptr<Ui::TElemWinForm> ui;

 signals:
  // A value went into the component, before the dialog closes.
  void ValueStored();

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Enter and Escape in ParamEdit; returns true when the key was consumed.
  bool ParamEditKeyPress(int key);
  void OkBtnClick();
  void HideSuffixTable();
  void CentreOverMainWindow();
  // The edited entry of `component`'s table; null when the index is past its end.
  CParam* BoundParameter() const;

  QRect centreOver;  // the main window's frame while Edit runs
};
