#include "controls/hsvbox.h"

#include <QMouseEvent>
#include <algorithm>

#include "platform/syscolors.h"
#include "proc/colorspace.h"

namespace vx {

namespace {

void PutPixel(uint8_t* row, int x, const TRGB& c) {
  row[3 * x] = c.b;
  row[3 * x + 1] = c.g;
  row[3 * x + 2] = c.r;
}

}  // namespace

THSVBox::THSVBox(QWidget* parent) : TBufferedControl(parent, 105, 105) {
  Redraw();
}

void THSVBox::DrawSquare() {
  const int h = buffer_.Height(), s = SquareWidth();
  if (s <= 0) return;
  // Both steps are single precision, as the square has always been drawn.
  const float vStep = 100.0f / static_cast<float>(h);
  const float sStep = 100.0f / static_cast<float>(s);
  for (int c = 0; c < h; ++c) {
    uint8_t* row = buffer_.ScanLine(h - 1 - c);
    const int v = static_cast<int>(c * static_cast<double>(vStep));
    for (int f = 0; f < s; ++f)
      PutPixel(row, f, HSV2RGB(hue_, static_cast<int>(f * static_cast<double>(sStep)), v));
  }
}

void THSVBox::DrawStrip() {
  const int h = buffer_.Height(), w = buffer_.Width(), s = SquareWidth();
  const TColor bg = ColorToRGB(background_);
  const TRGB gap{static_cast<uint8_t>(bg >> 16), static_cast<uint8_t>(bg >> 8),
                 static_cast<uint8_t>(bg)};
  const double hStep = 360.0 / h;
  for (int c = 0; c < h; ++c) {
    uint8_t* row = buffer_.ScanLine(h - 1 - c);
    for (int x = std::max(0, s); x < std::min(w, s + kGap); ++x) PutPixel(row, x, gap);
    const TRGB hueColor = HSV2RGB(static_cast<int>(c * hStep), 99, 99);
    for (int x = std::max(0, s + kGap); x < w; ++x) PutPixel(row, x, hueColor);
  }
}

void THSVBox::InvertGrips() {
  const int h = buffer_.Height(), w = buffer_.Width(), s = SquareWidth();
  if (h <= 0 || w <= 0) return;
  const int hy = RoundEven((h - 1) * ((359 - hue_) / 360.0));
  InvertFrame(s + kGap, hy - 2, w, hy + 2);
  const int sx = RoundEven(sat_ / 99.0 * (s - 1));
  const int sy = h - 1 - RoundEven((h - 1) * val_ / 99.0);
  InvertFrame(sx - 3, sy - 3, sx + 3, sy + 3);
}

void THSVBox::Redraw() {
  if (buffer_.Empty()) return;
  DrawSquare();
  DrawStrip();
  InvertGrips();
}

void THSVBox::ColorFromHSV() {
  const TRGB c = HSV2RGB(hue_, sat_, val_);
  red_ = c.r;
  green_ = c.g;
  blue_ = c.b;
  color_ = red_ | (green_ << 8) | (blue_ << 16);
}

void THSVBox::SetHSV(int h, int s, int v) {
  h = std::clamp(h, 0, 359);
  s = std::clamp(s, 0, 99);
  v = std::clamp(v, 0, 99);
  InvertGrips();
  const bool hueChanged = h != hue_;
  hue_ = h;
  sat_ = s;
  val_ = v;
  ColorFromHSV();
  if (hueChanged) DrawSquare();
  InvertGrips();
  update();
}

void THSVBox::SetHue(int h) {
  SetHSV(h, sat_, val_);
}
void THSVBox::SetSat(int s) {
  SetHSV(hue_, s, val_);
}
void THSVBox::SetVal(int v) {
  SetHSV(hue_, sat_, v);
}

void THSVBox::SetRGB(uint8_t r, uint8_t g, uint8_t b) {
  red_ = r;
  green_ = g;
  blue_ = b;
  RGB2HSV(TRGB{b, g, r}, hue_, sat_, val_);
  color_ = red_ | (green_ << 8) | (blue_ << 16);
  Refresh();
}

void THSVBox::SetColor(TColor c) {
  const TColor rgb = ColorToRGB(c);
  red_ = static_cast<uint8_t>(rgb);
  green_ = static_cast<uint8_t>(rgb >> 8);
  blue_ = static_cast<uint8_t>(rgb >> 16);
  RGB2HSV(TRGB{blue_, green_, red_}, hue_, sat_, val_);
  color_ = c;
  Refresh();
}

void THSVBox::SetBackground(TColor c) {
  background_ = c;
  Refresh();
}

void THSVBox::ApplyPoint(int x, int y) {
  const int h = buffer_.Height(), s = SquareWidth();
  InvertGrips();
  if (dragMode_ == 1) {
    sat_ = s > 1 ? RoundEven(static_cast<double>(x) / (s - 1) * 99) : 0;
    val_ = h > 1 ? 99 - RoundEven(static_cast<double>(y) / (h - 1) * 99) : 99;
  } else {
    hue_ = h > 1 ? 359 - RoundEven(static_cast<double>(y) / (h - 1) * 359) : 359;
    DrawSquare();
  }
  ColorFromHSV();
  OnChange(this);
  InvertGrips();
  update();
}

void THSVBox::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const int x = event->position().toPoint().x(), s = SquareWidth();
  dragMode_ = x < s ? 1 : x >= s + kGap ? 2 : 0;
  if (dragMode_ != 0) mouseMoveEvent(event);
}

void THSVBox::mouseMoveEvent(QMouseEvent* event) {
  if (dragMode_ == 0 || !(event->buttons() & Qt::LeftButton)) return;
  const int h = buffer_.Height(), w = buffer_.Width(), s = SquareWidth();
  const QPoint p = event->position().toPoint();
  const int y = std::clamp(p.y(), 0, std::max(0, h - 1));
  const int x = dragMode_ == 1 ? std::clamp(p.x(), 0, std::max(0, s - 1))
                               : std::clamp(p.x(), s + kGap, std::max(s + kGap, w - 1));
  ApplyPoint(x, y);
}

void THSVBox::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) dragMode_ = 0;
}

}  // namespace vx
