// The paint area of the main window: hands its paint, mouse, wheel and key events to the
// main window, which owns the sheet, and holds the mouse for a gesture begun outside it.
#pragma once

#include <QWidget>

class TMainForm;

class TPaintBox : public QWidget {
  Q_OBJECT
 public:
  explicit TPaintBox(QWidget* parent = nullptr);

  TMainForm* Form = nullptr;  // not owned; set by the main window after its layout is built

  // Holds the mouse for a gesture begun outside the paint area (a drag from the palette), so
  // that its moves and its release come here wherever the pointer goes.
  void Capture();
  // Lets the mouse go, if held.
  void Release();
  bool Capturing() const;
  // The sheet's cursor; while the mouse is held it is the window's too, so that it stays
  // the same over the palette.
  void ShowCursor(const QCursor& cursor);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
};
