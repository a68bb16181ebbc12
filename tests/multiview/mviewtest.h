#pragma once
// Helpers of the thumbnail-view tests: views of a known client size and bitmaps of known
// colours.
#include <QImage>
#include <QPainter>
#include <memory>
#include <vector>

#include "multi/vantixmview.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "testsupport.h"

namespace vxtest {

// A frameless view whose client area is exactly w x h.
inline std::unique_ptr<vx::TVantixMView> MakeMView(int w, int h) {
  auto v = std::make_unique<vx::TVantixMView>();
  v->SetBorderStyle(vx::bsNone);
  v->resize(w, h);
  v->show();
  v->Update();
  return v;
}

// A w x h pf24bit bitmap filled with colour (0x00BBGGRR).
inline vx::TBitmap SolidBitmap(int w, int h, vx::TColor color) {
  vx::TBitmap b;
  b.SetPixelFormat(vx::pf24bit);
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      row[3 * x] = static_cast<uint8_t>(color >> 16);
      row[3 * x + 1] = static_cast<uint8_t>(color >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(color);
    }
  }
  return b;
}

// A pattern that differs for every pixel and every seed.
inline vx::TBitmap PatternBitmap(int w, int h, int seed) {
  vx::TBitmap b;
  b.SetPixelFormat(vx::pf24bit);
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      row[3 * x] = static_cast<uint8_t>(x * 7 + seed * 40);
      row[3 * x + 1] = static_cast<uint8_t>(y * 5 + seed * 13);
      row[3 * x + 2] = static_cast<uint8_t>((x ^ y) + seed * 71);
    }
  }
  return b;
}

// Image i of the view as row-major RGB (empty when it has no pixels).
inline std::vector<uint8_t> ImageRGB(vx::TVantixMView& v, int i) {
  vx::TBitmap* b = v.GetBitmap(i);
  std::vector<uint8_t> rgb = b ? BitmapRGB(*b) : std::vector<uint8_t>{};
  v.ReleaseBitmap(i);
  return rgb;
}

// What the view paints into its client area, as 0x00BBGGRR per pixel.
inline QImage Render(vx::TVantixMView& v) {
  QImage img(v.ClientWidth(), v.ClientHeight(), QImage::Format_RGB32);
  img.fill(Qt::magenta);
  QPainter p(&img);
  v.PaintTo(p);
  return img;
}

inline vx::TColor PixelOf(const QImage& img, int x, int y) {
  const QRgb c = img.pixel(x, y);
  return static_cast<vx::TColor>(qRed(c) | (qGreen(c) << 8) | (qBlue(c) << 16));
}

}  // namespace vxtest
