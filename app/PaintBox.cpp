#include "PaintBox.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include "Main.h"

TPaintBox::TPaintBox(QWidget* parent) : QWidget(parent) {
  // Every paint covers the whole area from the off-screen bitmap.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
}

void TPaintBox::Capture() {
  grabMouse();
}

void TPaintBox::Release() {
  if (!Capturing()) return;
  releaseMouse();
  window()->unsetCursor();
}

bool TPaintBox::Capturing() const {
  return QWidget::mouseGrabber() == this;
}

void TPaintBox::ShowCursor(const QCursor& cursor) {
  setCursor(cursor);
  if (Capturing()) window()->setCursor(cursor);
}

void TPaintBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (Form) {
    Form->PaintBoxPaint(painter);
  } else {
    painter.fillRect(rect(), Qt::black);
  }
}

void TPaintBox::mousePressEvent(QMouseEvent* event) {
  if (!Form) return QWidget::mousePressEvent(event);
  setFocus(Qt::MouseFocusReason);
  Form->PaintBoxMouseDown(event->button(), event->position().toPoint());
}

void TPaintBox::mouseMoveEvent(QMouseEvent* event) {
  if (!Form) return QWidget::mouseMoveEvent(event);
  Form->PaintBoxMouseMove(event->buttons(), event->position().toPoint());
}

void TPaintBox::mouseReleaseEvent(QMouseEvent* event) {
  if (!Form) return QWidget::mouseReleaseEvent(event);
  Release();  // any button's release ends the hold; the sheet sees only the left one
  Form->PaintBoxMouseUp(event->button(), event->position().toPoint());
}

void TPaintBox::wheelEvent(QWheelEvent* event) {
  // Some systems turn a wheel held with Shift into a sideways one.
  const QPoint angle = event->angleDelta();
  const int delta = angle.y() != 0 ? angle.y() : angle.x();
  if (Form && Form->PaintBoxWheel(delta, event->modifiers(), event->position().toPoint())) {
    event->accept();
    return;
  }
  QWidget::wheelEvent(event);
}

void TPaintBox::contextMenuEvent(QContextMenuEvent* event) {
  if (Form && Form->PaintBoxContextMenu(event->pos(), event->globalPos())) {
    event->accept();
    return;
  }
  QWidget::contextMenuEvent(event);
}

void TPaintBox::keyPressEvent(QKeyEvent* event) {
  if (Form && Form->PaintBoxKeyPress(event->key(), event->modifiers())) {
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}
