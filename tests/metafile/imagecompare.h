#pragma once
// Comparing a rendering with an oracle's: trimming the blank margin, scaling to the
// oracle's size, and structural similarity on grey levels.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/vxdefs.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/types.h"

namespace vxtest {

inline bool NearWhite(const uint8_t* p) {
  return p[0] >= 245 && p[1] >= 245 && p[2] >= 245;
}

// The smallest rectangle holding every pixel that is not near white (the whole bitmap
// when all are).
inline vx::TRect InkBounds(const vx::TBitmap& b) {
  int l = b.Width(), t = b.Height(), r = -1, bt = -1;
  for (int y = 0; y < b.Height(); ++y) {
    const uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < b.Width(); ++x)
      if (!NearWhite(row + 3 * x)) {
        l = std::min(l, x), r = std::max(r, x), t = std::min(t, y), bt = std::max(bt, y);
      }
  }
  if (r < 0) return vx::TRect{0, 0, b.Width(), b.Height()};
  return vx::TRect{l, t, r + 1, bt + 1};
}

inline vx::TBitmap Crop(const vx::TBitmap& b, const vx::TRect& r) {
  vx::TBitmap out;
  out.SetPixelFormat(vx::pf24bit);
  out.SetSize(r.Width(), r.Height());
  out.Canvas().Draw(-r.left, -r.top, b);
  return out;
}

inline vx::TBitmap ScaledTo(const vx::TBitmap& b, int w, int h) {
  vx::TBitmap out;
  out.SetPixelFormat(vx::pf24bit);
  out.SetSize(w, h);
  out.Canvas().StretchDraw(vx::TRect{0, 0, w, h}, b, vx::TStretchMode::smHalftone);
  return out;
}

// Mean structural similarity of the grey levels over 8 x 8 windows (step 4).
inline double Ssim(const vx::TBitmap& a, const vx::TBitmap& b) {
  const int w = std::min(a.Width(), b.Width()), h = std::min(a.Height(), b.Height());
  const auto grey = [](const vx::TBitmap& bm, int x, int y) {
    const uint8_t* p = bm.ScanLine(y) + 3 * x;
    return (p[2] * 21 + p[1] * 71 + p[0] * 7) / 100.0;
  };
  const double c1 = 6.5025, c2 = 58.5225;
  double sum = 0;
  int windows = 0;
  for (int y0 = 0; y0 + 8 <= h; y0 += 4)
    for (int x0 = 0; x0 + 8 <= w; x0 += 4) {
      double ma = 0, mb = 0, va = 0, vb = 0, cov = 0;
      for (int y = y0; y < y0 + 8; ++y)
        for (int x = x0; x < x0 + 8; ++x) ma += grey(a, x, y), mb += grey(b, x, y);
      ma /= 64, mb /= 64;
      for (int y = y0; y < y0 + 8; ++y)
        for (int x = x0; x < x0 + 8; ++x) {
          const double da = grey(a, x, y) - ma, db = grey(b, x, y) - mb;
          va += da * da, vb += db * db, cov += da * db;
        }
      va /= 63, vb /= 63, cov /= 63;
      sum += ((2 * ma * mb + c1) * (2 * cov + c2)) / ((ma * ma + mb * mb + c1) * (va + vb + c2));
      ++windows;
    }
  return windows ? sum / windows : 0;
}

}  // namespace vxtest
