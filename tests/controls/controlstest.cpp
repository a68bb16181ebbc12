#include "controlstest.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <memory>

namespace vxtest {

void Press(QWidget* w, int x, int y, Qt::MouseButton b, bool dbl) {
  const QPointF p(x, y);
  QMouseEvent e(dbl ? QEvent::MouseButtonDblClick : QEvent::MouseButtonPress, p, w->mapToGlobal(p),
                b, b, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &e);
}
void Move(QWidget* w, int x, int y, Qt::MouseButtons held) {
  const QPointF p(x, y);
  QMouseEvent e(QEvent::MouseMove, p, w->mapToGlobal(p), Qt::NoButton, held, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &e);
}
void Release(QWidget* w, int x, int y, Qt::MouseButton b) {
  const QPointF p(x, y);
  QMouseEvent e(QEvent::MouseButtonRelease, p, w->mapToGlobal(p), b, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &e);
}
void Click(QWidget* w, int x, int y, Qt::MouseButton b) {
  Press(w, x, y, b);
  Release(w, x, y, b);
}

QImage GrabWidget(QWidget& w) {
  return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

vx::TColor Px(const QImage& img, int x, int y) {
  const QRgb c = img.pixel(x, y);
  return qRed(c) | (qGreen(c) << 8) | (qBlue(c) << 16);
}

QFont LabelFontOf(const QWidget& w) {
  QFont f = w.font();
  f.setStyleStrategy(QFont::NoAntialias);
  return f;
}

}  // namespace vxtest
