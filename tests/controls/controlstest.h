#pragma once
// Helpers of the small-control tests: one QApplication (offscreen), grabbed pixels and
// the label font the controls draw with.
#include <QFont>
#include <QImage>
#include <QWidget>

#include "platform/types.h"

namespace vxtest {

// What the widget shows now, as 0x00BBGGRR (comparable with TColor).
QImage GrabWidget(QWidget& w);
vx::TColor Px(const QImage& img, int x, int y);

// Mouse input at widget point (x, y), any point including (0, 0) and points outside.
void Press(QWidget* w, int x, int y, Qt::MouseButton b = Qt::LeftButton, bool dbl = false);
void Move(QWidget* w, int x, int y, Qt::MouseButtons held = Qt::LeftButton);
void Release(QWidget* w, int x, int y, Qt::MouseButton b = Qt::LeftButton);
void Click(QWidget* w, int x, int y, Qt::MouseButton b = Qt::LeftButton);

// The widget's font as the controls use it for labels (no antialiasing).
QFont LabelFontOf(const QWidget& w);

}  // namespace vxtest
