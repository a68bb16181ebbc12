#pragma once
// A photograph-like test image made in code (sky gradient, hills with texture, a little
// noise), so benchmarks need no image files and peers get exactly the same pixels.
#include <algorithm>
#include <cmath>
#include <random>

#include "core/vxdefs.h"

namespace vxbench {

inline vx::TBitmap MakePhotoLike(int w, int h) {
  vx::TBitmap bmp;
  vx::SizeBitmap(bmp, w, h, vx::pf24bit);
  std::mt19937 rng(7);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = bmp.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      const double u = static_cast<double>(x) / w, v = static_cast<double>(y) / h;
      const double sky = 0.55 + 0.3 * v + 0.08 * std::sin(x * 0.004 + y * 0.003);
      const bool hill = v > 0.55 + 0.12 * std::sin(u * 9.0);
      const double tex = 0.06 * std::sin(x * 0.21) * std::cos(y * 0.17);
      for (int c = 0; c < 3; ++c) {
        double t = hill ? 0.25 + 0.2 * c * (1 - v) + tex + 0.1 * std::sin((x + y) * 0.013 + c)
                        : sky * (0.6 + 0.2 * c);
        t += (static_cast<int>(rng() % 9) - 4) / 255.0;
        row[3 * x + c] = static_cast<uint8_t>(std::clamp(static_cast<int>(t * 255), 0, 255));
      }
    }
  }
  return bmp;
}

// Smooth gradients in each channel with a little noise: what a codec sees in a photograph
// without the cost of drawing one.
inline vx::TBitmap MakeNoisyGradient(int w, int h) {
  vx::TBitmap b;
  vx::SizeBitmap(b, w, h, vx::pf24bit);
  uint32_t seed = 1;
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int n = static_cast<int>(seed >> 27) - 16;
      row[x * 3] = vx::blimit(x * 200 / w + 30 + n);
      row[x * 3 + 1] = vx::blimit(y * 220 / h + 20 + n);
      row[x * 3 + 2] = vx::blimit(((x / 7 + y / 5) % 256) / 2 + 60 + n);
    }
  }
  return b;
}

}  // namespace vxbench
