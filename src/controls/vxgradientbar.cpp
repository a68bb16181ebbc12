#include "controls/vxgradientbar.h"

#include <QMouseEvent>
#include <algorithm>

#include "platform/syscolors.h"

namespace vx {

namespace {

// Entry shown at position a of an axis of `size` pixels: trunc(255 / (size - 1) * a).
// A one-pixel axis shows entry 0.
int EntryAt(int a, int size) {
  if (size <= 1) return 0;
  const double step = 255.0 / (size - 1);
  return std::clamp(static_cast<int>(step * a), 0, 255);
}

}  // namespace

TVXGradientBar::TVXGradientBar(QWidget* parent) : TBufferedControl(parent, 40, 300) {
  MakeTable();
  Redraw();
}

void TVXGradientBar::MakeTable() {
  const TColor b = ColorToRGB(begin_), e = ColorToRGB(end_);
  for (int i = 0; i < 256; ++i) {
    TColor c = 0;
    for (int shift : {0, 8, 16}) {
      const int from = (b >> shift) & 0xFF, to = (e >> shift) & 0xFF;
      const double step = (to - from) / 255.0;
      c |= (from + static_cast<int>(i * step)) << shift;
    }
    table_[static_cast<size_t>(i)] = c;
  }
}

void TVXGradientBar::SetBeginColor(TColor c) {
  begin_ = c;
  MakeTable();
  Refresh();
}

void TVXGradientBar::SetEndColor(TColor c) {
  end_ = c;
  MakeTable();
  Refresh();
}

void TVXGradientBar::SetDirection(TVXGradientDir d) {
  direction_ = d;
  Refresh();
}

void TVXGradientBar::SetColorIndex(int i) {
  index_ = std::clamp(i, 0, 255);
  Refresh();
}

TRGB TVXGradientBar::RGB() const {
  const TColor c = Color();
  return TRGB{static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)};
}

int TVXGradientBar::AxisLength() const {
  return direction_ == gdHorizontal ? buffer_.Width() : buffer_.Height();
}

void TVXGradientBar::Redraw() {
  const int w = buffer_.Width(), h = buffer_.Height();
  if (direction_ == gdHorizontal) {
    for (int x = 0; x < w; ++x) FillRect(x, 0, x + 1, h, table_[size_t(EntryAt(x, w))]);
  } else {
    for (int a = 0; a < h; ++a) FillRect(0, h - a - 1, w, h - a, table_[size_t(EntryAt(a, h))]);
  }
  if (!Designing() && interact_.testFlag(migDragGrip)) InvertGrip();
}

void TVXGradientBar::InvertGrip() {
  const int size = AxisLength();
  const int p = static_cast<int>(index_ * ((size - 1) / 255.0));
  if (direction_ == gdHorizontal) {
    InvertFrame(p - 3, 0, p + 3, buffer_.Height());
  } else {
    // Counted from the bottom row, like the ramp.
    const int y = size - 1 - p;
    InvertFrame(0, y - 3, buffer_.Width(), y + 3);
  }
}

void TVXGradientBar::Pick(QPoint p) {
  const int w = buffer_.Width(), h = buffer_.Height();
  if (w <= 0 || h <= 0 || Designing()) return;
  const int x = std::clamp(p.x(), 0, w - 1), y = std::clamp(p.y(), 0, h - 1);
  InvertGrip();
  if (direction_ == gdHorizontal)
    index_ = w > 1 ? static_cast<int>(static_cast<double>(x) / (w - 1) * 255) : 0;
  else
    index_ = h > 1 ? static_cast<int>(static_cast<double>(h - 1 - y) / (h - 1) * 255) : 0;
  InvertGrip();
  update();
  OnChange(this);
}

void TVXGradientBar::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !interact_.testFlag(migDragGrip)) return;
  Pick(event->position().toPoint());
}

void TVXGradientBar::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton) || !interact_.testFlag(migDragGrip)) return;
  Pick(event->position().toPoint());
}

}  // namespace vx
