#include "viewtest.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdlib>

namespace vxtest {

namespace {

void Send(QWidget* w, QEvent::Type type, int x, int y, Qt::MouseButton b, Qt::MouseButtons held,
          Qt::KeyboardModifiers m) {
  const QPointF local(x, y);
  QMouseEvent e(type, local, w->mapToGlobal(local), b, held, m);
  QCoreApplication::sendEvent(w, &e);
}

}  // namespace

void FillImage(vx::TBitmap& b, vx::TColor c) {
  vx::TCanvas& canvas = b.Canvas();
  canvas.Brush().Color = c;
  canvas.Brush().Style = vx::bsSolid;
  canvas.FillRect(vx::TRect{0, 0, b.Width(), b.Height()});
}

std::unique_ptr<vx::TVantixView> MakeView(int w, int h, int imageW, int imageH, vx::TColor colour) {
  auto v = std::make_unique<vx::TVantixView>();
  v->SetBorderStyle(vx::bsNone);
  v->resize(w, h);
  v->show();
  v->Bitmap().SetSize(imageW, imageH);
  FillImage(v->Bitmap(), colour);
  v->Update();
  return v;
}

void Press(QWidget* vp, int x, int y, Qt::MouseButton b, Qt::KeyboardModifiers m) {
  Send(vp, QEvent::MouseButtonPress, x, y, b, b, m);
}
void Move(QWidget* vp, int x, int y, Qt::MouseButtons held, Qt::KeyboardModifiers m) {
  const QPointF local(x, y);
  QMouseEvent e(QEvent::MouseMove, local, vp->mapToGlobal(local), Qt::NoButton, held, m);
  QCoreApplication::sendEvent(vp, &e);
}
void Release(QWidget* vp, int x, int y, Qt::MouseButton b, Qt::KeyboardModifiers m) {
  Send(vp, QEvent::MouseButtonRelease, x, y, b, Qt::NoButton, m);
}
void DoubleClick(QWidget* vp, int x, int y) {
  Press(vp, x, y);
  Release(vp, x, y);
  Send(vp, QEvent::MouseButtonDblClick, x, y, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  Release(vp, x, y);
}
void Drag(QWidget* vp, int x1, int y1, int x2, int y2) {
  Press(vp, x1, y1);
  Move(vp, (x1 + x2) / 2, (y1 + y2) / 2);
  Move(vp, x2, y2);
  Release(vp, x2, y2);
}

QImage Grab(vx::TVantixView& view) {
  return view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

vx::TColor PixelAt(const QImage& img, int x, int y) {
  const QRgb p = img.pixel(x, y);
  return qRed(p) | (qGreen(p) << 8) | (qBlue(p) << 16);
}

}  // namespace vxtest
