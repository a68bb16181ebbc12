#include "proc/effects.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "core/arith.h"
#include "proc/region.h"

namespace vx {

namespace {

// trunc(v) limited to lo..hi; NaN gives lo. Far-away coordinates from extreme
// parameters must not overflow the integer conversion.
int TruncLimit(double v, int lo, int hi) {
  if (!(v > lo)) return lo;
  if (v >= hi) return hi;
  return TruncI(v);
}

// 1 - sqrt(nx^2 + ny^2) as a byte, nx and ny the table indices mapped to -1..1.
const std::vector<uint8_t>& LightTable() {
  static const std::vector<uint8_t> table = [] {
    std::vector<uint8_t> t(256 * 256);
    for (int i = 0; i < 256; ++i)
      for (int j = 0; j < 256; ++j) {
        const double nx = (i - 128) / 128.0, ny = (j - 128) / 128.0;
        double v = 1 - std::sqrt(nx * nx + ny * ny);
        if (v < 0) v = 0;
        t[static_cast<size_t>(i) * 256 + j] = static_cast<uint8_t>(imin(255, TruncI(v * 256)));
      }
    return t;
  }();
  return table;
}

}  // namespace

void BumpMapping(TBitmap& bitmap, int left, int top, int width, int height, int sourcePercent,
                 const TRGB& color, int x1, int y1, int x2, int y2, const TProgressRec& progress) {
  if (width == 0 || height == 0 || bitmap.PixelFormat() != pf24bit || bitmap.Empty()) return;
  x1 = imax(x1, 0);
  y1 = imax(y1, 0);
  x2 = imin(x2, bitmap.Width() - 1);
  y2 = imin(y2, bitmap.Height() - 1);
  if (x1 > x2 || y1 > y2) return;
  const std::vector<uint8_t>& light = LightTable();
  const int rw = x2 - x1 + 1, rh = y2 - y1 + 1;
  std::vector<uint8_t> hmap(static_cast<size_t>(rw) * rh);
  for (int y = 0; y < rh; ++y) {
    const auto* row = reinterpret_cast<const TRGB*>(bitmap.ScanLine(y1 + y)) + x1;
    for (int x = 0; x < rw; ++x)
      hmap[static_cast<size_t>(y) * rw + x] = static_cast<uint8_t>(RGBToGray(row[x]));
  }
  auto h = [&](int x, int y) {
    return static_cast<int>(hmap[static_cast<size_t>(y - y1) * rw + (x - x1)]);
  };
  const double keep = sourcePercent / 100.0;
  const double lit = (100 - sourcePercent) / 100.0;
  const double tint[3] = {color.b / 255.0, color.g / 255.0, color.r / 255.0};
  constexpr int kFar = 1 << 20;
  for (int y = y1; y <= y2; ++y) {
    uint8_t* row = bitmap.ScanLine(y);
    const int ty = TruncLimit((static_cast<double>(y) - top) / height * 128, -kFar, kFar);
    for (int x = x1; x <= x2; ++x) {
      const int gx = h(imin(x + 1, x2), y) - h(imax(x - 1, x1), y);
      const int gy = h(x, imin(y + 1, y2)) - h(x, imax(y - 1, y1));
      const int tx = TruncLimit((static_cast<double>(x) - left) / width * 128, -kFar, kFar);
      const int i = blimit(gx - tx + 128), j = blimit(gy - ty + 128);
      const int l = light[static_cast<size_t>(i) * 256 + j];
      uint8_t* p = row + 3 * x;
      for (int c = 0; c < 3; ++c)
        p[c] = blimit(
            static_cast<int>(std::clamp<int64_t>(Round(p[c] * keep + l * lit * tint[c]), -1, 256)));
    }
    ReportRow(progress, y, y1, y2);
  }
}

void Lens(TBitmap& bitmap, int x, int y, int width, int height, double refraction,
          const TProgressRec& progress) {
  if (bitmap.PixelFormat() != pf24bit || bitmap.Empty()) return;
  const int W = bitmap.Width(), H = bitmap.Height();
  const int64_t cx = x, cy = y, hw = width / 2, hh = height / 2;
  auto limit = [](int64_t v, int hi) { return static_cast<int>(v < 0 ? 0 : v > hi ? hi : v); };
  const int left = limit(cx - hw, W - 1), top = limit(cy - hh, H - 1);
  const int right = limit(cx + hw, W - 1), bottom = limit(cy + hh, H - 1);
  const int w = right - left, h = bottom - top;
  if (w <= 0 || h <= 0) return;
  const double a = w / 2.0, b = h / 2.0;
  const double n = refraction > 1 ? refraction : 1;
  const double m2 = std::min(a, b) * std::min(a, b);
  constexpr double kHalfPi = std::numbers::pi / 2;

  // The box is built aside and every read comes from the untouched image.
  std::vector<TRGB> box(static_cast<size_t>(w) * h);
  auto src = [&](int c, int r) { return reinterpret_cast<const TRGB*>(bitmap.ScanLine(r))[c]; };
  for (int c = 0; c < w; ++c) {
    const double dx = c - a + 0.5;
    for (int r = 0; r < h; ++r) {
      const double dy = b - r - 0.5;
      TRGB& out = box[static_cast<size_t>(r) * w + c];
      if (!(b * b - b * b * dx * dx / (a * a) > dy * dy)) {
        out = src(left + c, top + r);
        continue;
      }
      const double z = std::sqrt((1 - dx * dx / (a * a) - dy * dy / (b * b)) * m2);
      // The cosine (not its inverse) in alpha is what gives the lens its look.
      const double alpha = kHalfPi - std::cos(dx / std::sqrt(dx * dx + z * z));
      const double beta = kHalfPi - std::asin(dy / std::sqrt(dy * dy + z * z));
      const double sx = dx - z * std::tan(alpha - std::acos(std::sin(alpha) / n));
      const double sy = dy - z * std::tan(beta - std::acos(std::sin(beta) / n));
      const int col = ilimit(TruncLimit(sx + a, 0, W - 1) + left, 0, W - 1);
      const int row = ilimit(TruncLimit(b - sy, 0, H - 1) + top, 0, H - 1);
      out = src(col, row);
    }
    progress.Report(TruncI((c + 1) * 100.0 / w));
  }
  for (int r = 0; r < h; ++r)
    std::memcpy(bitmap.ScanLine(top + r) + 3 * left, box.data() + static_cast<size_t>(r) * w,
                static_cast<size_t>(w) * 3);
}

void Wave(TBitmap& bitmap, int amplitude, int wavelength, int phase, bool reflective,
          const TProgressRec& progress) {
  if (amplitude == 0 || wavelength == 0 || bitmap.PixelFormat() != pf24bit || bitmap.Empty())
    return;
  const int W = bitmap.Width(), H = bitmap.Height();
  const TBitmap source(bitmap);
  const double cx = (W - 1) / 2.0, cy = (H - 1) / 2.0;
  const double hw = W / 2.0, hh = H / 2.0;
  double sx = 1, sy = 1;
  if (hw > hh)
    sy = hw / hh;
  else if (hw < hh)
    sx = hh / hw;
  const double k = 2 * std::numbers::pi / (2.0 * wavelength);
  const double ph = phase * std::numbers::pi / 180;
  constexpr int kFar = 1 << 24;
  for (int y = 0; y < H; ++y) {
    progress.Report(TruncI(y * 100.0 / H));
    uint8_t* out = bitmap.ScanLine(y);
    for (int x = 0; x < W; ++x) {
      const double dx = (x - cx) * sx, dy = (y - cy) * sy;
      const double s = std::sin(std::sqrt(dx * dx + dy * dy) * k + ph);
      double X, Y;
      if (reflective) {
        const double u = std::fabs(s) * amplitude;
        X = cx + dx * u / sx;
        Y = cy + dy * u / sy;
      } else {
        const double u = s * amplitude;
        X = (u + dx) / sx + cx;
        Y = (u + dy) / sy + cy;
      }
      const int tx = TruncLimit(X, -kFar, kFar), ty = TruncLimit(Y, -kFar, kFar);
      double fx = X - tx, fy = Y - ty;
      if (fx < 0) fx += 1;
      if (fy < 0) fy += 1;
      if (!(fx >= 0 && fx < 1)) fx = 0;  // beyond the clamp or not a number
      if (!(fy >= 0 && fy < 1)) fy = 0;
      const int x0 = ilimit(tx, 0, imax(W - 2, 0)), y0 = ilimit(ty, 0, imax(H - 2, 0));
      const int xn = imin(x0 + 1, W - 1), yn = imin(y0 + 1, H - 1);
      const uint8_t* r0 = source.ScanLine(y0);
      const uint8_t* r1 = source.ScanLine(yn);
      const uint8_t* p00 = r0 + 3 * x0;
      const uint8_t* p10 = r0 + 3 * xn;
      const uint8_t* p01 = r1 + 3 * x0;
      const uint8_t* p11 = r1 + 3 * xn;
      uint8_t* o = out + 3 * x;
      for (int c = 0; c < 3; ++c)
        o[c] = blimit(TruncI((1 - fy) * ((1 - fx) * p00[c] + fx * p10[c]) +
                             fy * ((1 - fx) * p01[c] + fx * p11[c])));
    }
  }
}

}  // namespace vx
