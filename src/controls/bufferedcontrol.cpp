#include "controls/bufferedcontrol.h"

#include <QEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <cmath>

#include "platform/canvas.h"
#include "platform/syscolors.h"

namespace vx {

namespace {
bool gDesignMode = false;
}

void SetControlsDesignMode(bool designing) {
  gDesignMode = designing;
}
bool ControlsDesignMode() {
  return gDesignMode;
}

QColor ToQtColor(TColor c) {
  const TColor rgb = ColorToRGB(c);
  return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
}

int RoundEven(double v) {
  return static_cast<int>(std::nearbyint(v));
}

TBufferedControl::TBufferedControl(QWidget* parent, int width, int height)
    : QWidget(parent), defaultSize_(width, height) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  resize(width, height);
  buffer_.SetPixelFormat(pf24bit);
  buffer_.SetSize(width, height);
}

void TBufferedControl::SetDesigning(bool designing) {
  if (designing_ == designing) return;
  designing_ = designing;
  Refresh();
}

void TBufferedControl::Refresh() {
  SizeBuffer();
  Redraw();
  update();
}

void TBufferedControl::SizeBuffer() {
  if (buffer_.Width() != width() || buffer_.Height() != height())
    buffer_.SetSize(std::max(0, width()), std::max(0, height()));
}

void TBufferedControl::paintEvent(QPaintEvent* event) {
  if (buffer_.Empty()) return;
  const QImage img(buffer_.Bits(), buffer_.Width(), buffer_.Height(), buffer_.RowLen(),
                   QImage::Format_BGR888);
  QPainter p(this);
  p.drawImage(event->rect().topLeft(), img, event->rect());
}

void TBufferedControl::resizeEvent(QResizeEvent*) {
  Refresh();
}

void TBufferedControl::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) Refresh();
}

QFont TBufferedControl::LabelFont() const {
  QFont f = font();
  f.setStyleStrategy(QFont::NoAntialias);
  return f;
}

TColor TBufferedControl::FontColor() const {
  const QColor c = palette().color(QPalette::WindowText);
  return c.red() | (c.green() << 8) | (c.blue() << 16);
}

int TBufferedControl::FontHeight() const {
  return QFontInfo(LabelFont()).pixelSize();
}

int TBufferedControl::TextWidth(const QString& s) const {
  return QFontMetrics(LabelFont()).horizontalAdvance(s);
}

int TBufferedControl::TextHeight() const {
  return QFontMetrics(LabelFont()).height();
}

template <class Draw>
void TBufferedControl::PaintOnBuffer(Draw&& draw) {
  if (buffer_.Empty()) return;
  QImage img(buffer_.Bits(), buffer_.Width(), buffer_.Height(), buffer_.RowLen(),
             QImage::Format_BGR888);
  QPainter p(&img);
  p.setFont(LabelFont());
  p.setPen(ToQtColor(FontColor()));
  draw(p);
}

void TBufferedControl::WriteText(int x, int y, const QString& s, TColor background) {
  PaintOnBuffer([&](QPainter& p) {
    const QFontMetrics fm(p.font());
    p.fillRect(x, y, fm.horizontalAdvance(s), fm.height(), ToQtColor(background));
    p.drawText(x, y + fm.ascent(), s);
  });
}

void TBufferedControl::WriteTurnedText(int x, int y, const QString& s, TColor background,
                                       bool counterClockwise) {
  PaintOnBuffer([&](QPainter& p) {
    const QFontMetrics fm(p.font());
    p.translate(x, y);
    p.rotate(counterClockwise ? -90 : 90);
    p.fillRect(0, 0, fm.horizontalAdvance(s), fm.height(), ToQtColor(background));
    p.drawText(0, fm.ascent(), s);
  });
}

void TBufferedControl::FillRect(int left, int top, int right, int bottom, TColor c) {
  TCanvas& canvas = buffer_.Canvas();
  canvas.Brush().Color = c;
  canvas.Brush().Style = bsSolid;
  canvas.FillRect(TRect{left, top, right, bottom});
}

void TBufferedControl::InvertPixel(int x, int y) {
  if (x < 0 || y < 0 || x >= buffer_.Width() || y >= buffer_.Height()) return;
  uint8_t* p = buffer_.ScanLine(y) + 3 * x;
  p[0] = static_cast<uint8_t>(~p[0]);
  p[1] = static_cast<uint8_t>(~p[1]);
  p[2] = static_cast<uint8_t>(~p[2]);
}

void TBufferedControl::InvertFrame(int left, int top, int right, int bottom) {
  if (right <= left || bottom <= top) return;
  for (int x = left; x < right; ++x) {
    InvertPixel(x, top);
    if (bottom - 1 != top) InvertPixel(x, bottom - 1);
  }
  for (int y = top + 1; y < bottom - 1; ++y) {
    InvertPixel(left, y);
    if (right - 1 != left) InvertPixel(right - 1, y);
  }
}

}  // namespace vx
