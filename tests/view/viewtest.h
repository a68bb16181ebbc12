#pragma once
// Helpers of the widget tests: a QApplication for the whole binary (offscreen), views
// with an exact client size, synthesized mouse input and grabbed pixels.
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QWidget>
#include <memory>

#include "platform/canvas.h"
#include "view/vantixview.h"

namespace vxtest {

// A borderless, shown view whose client area is w x h, with a w0 x h0 image filled
// with colour.
std::unique_ptr<vx::TVantixView> MakeView(int w, int h, int imageW, int imageH,
                                          vx::TColor colour = 0x336699);

void FillImage(vx::TBitmap& b, vx::TColor c);

// Mouse input at client point (x, y).
void Press(QWidget* viewport, int x, int y, Qt::MouseButton b = Qt::LeftButton,
           Qt::KeyboardModifiers m = Qt::NoModifier);
void Move(QWidget* viewport, int x, int y, Qt::MouseButtons held = Qt::LeftButton,
          Qt::KeyboardModifiers m = Qt::NoModifier);
void Release(QWidget* viewport, int x, int y, Qt::MouseButton b = Qt::LeftButton,
             Qt::KeyboardModifiers m = Qt::NoModifier);
void DoubleClick(QWidget* viewport, int x, int y);
void Drag(QWidget* viewport, int x1, int y1, int x2, int y2);

// The client area as painted now.
QImage Grab(vx::TVantixView& view);
// 0x00BBGGRR of a grabbed pixel, comparable with TColor.
vx::TColor PixelAt(const QImage& img, int x, int y);

}  // namespace vxtest
