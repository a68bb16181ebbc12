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

// The widget's font as the controls use it for labels (no antialiasing).
QFont LabelFontOf(const QWidget& w);

}  // namespace vxtest
