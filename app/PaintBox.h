// The paint area of the main window: hands its paint, mouse, wheel and key events to the
// main window, which owns the sheet.
#pragma once

#include <QWidget>

class TMainForm;

class TPaintBox : public QWidget {
  Q_OBJECT
 public:
  explicit TPaintBox(QWidget* parent = nullptr);

  TMainForm* Form = nullptr;  // not owned; set by the main window after its layout is built

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};
