// Lens and wave pixel values worked out by hand from their formulas. The source images
// encode each pixel's position in its colour, so every output pixel tells which point of
// the source it took.
#include <gtest/gtest.h>

#include <cstdint>

#include "core/vxdefs.h"
#include "platform/bitmap.h"
#include "proc/effects.h"

namespace {

using namespace vx;

TRGB Px(const TBitmap& b, int x, int y) {
  return reinterpret_cast<const TRGB*>(b.ScanLine(y))[x];
}

// ---- lens ----

// 40 x 30; red = 6x, green = 8y: a pixel names its own column and row.
TBitmap LensSource() {
  TBitmap b;
  SizeBitmap(b, 40, 30, pf24bit);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x)
      reinterpret_cast<TRGB*>(b.ScanLine(y))[x] =
          CreateRGB(static_cast<uint8_t>(6 * x), static_cast<uint8_t>(8 * y), 77);
  return b;
}

struct TLensCase {
  double refraction;
  int x, y;          // the image pixel, box cell (x - 10, y - 7)
  int fromX, fromY;  // the source pixel it takes
};

// Lens(20, 15, 20, 16): box (10, 7)-(30, 23), w = 20, h = 16, a = 10, b = 8, min(a, b)^2 =
// 64. For box cell (c, r): dx = c - 9.5, dy = 7.5 - r, z = sqrt((1 - dx^2/100 - dy^2/64) *
// 64), alpha = pi/2 - cos(dx / sqrt(dx^2 + z^2)), beta = pi/2 - asin(dy / sqrt(dy^2 + z^2)),
// sx = dx - z tan(alpha - acos(sin(alpha) / n)), sy = dy - z tan(beta - acos(sin(beta) / n));
// the source is (10 + clamp(trunc(sx + 10)), 7 + clamp(trunc(8 - sy))), kept in the image.
const TLensCase kLensCases[] = {
    // cell (10, 8): dx 0.5, dy -0.5, z 7.97433, alpha 0.57275, beta 1.63342,
    // sx 6.29447, sy -8.55765 -> trunc(16.29447) = 16, trunc(16.55765) = 16.
    {1.5, 20, 15, 26, 23},
    // cell (4, 8): dx -5.5, dy -0.5, z 6.66258, alpha 0.76668, beta 1.64570,
    // sx -3.26767, sy -7.38932 -> trunc(6.73233) = 6, trunc(15.38932) = 15.
    {1.5, 14, 15, 16, 22},
    // cell (10, 3): dx 0.5, dy 4.5, z 6.60227, alpha 0.57365, beta 0.97254,
    // sx 5.28307, sy 4.59800 -> trunc(15.28307) = 15, trunc(3.40200) = 3.
    {1.5, 20, 10, 25, 10},
    // cell (15, 12): dx 5.5, dy -4.5, z 4.93862, alpha 0.83507, beta 2.30976,
    // sx 6.59803, sy -19.57653 -> trunc(16.59803) = 16, trunc(27.57653) = 27: row
    // 7 + 27 = 34 lies below the image and is kept at its last row, 29.
    {1.5, 25, 19, 26, 29},
    // cell (10, 1): dx 0.5, dy 6.5, z 4.64650, alpha 0.57651, beta 0.62062,
    // sx 3.83379, sy 9.36190 -> trunc(13.83379) = 13, trunc(-1.36190) = -1 -> 0.
    {1.5, 20, 8, 23, 7},
    // cell (5, 5): dx -4.5, dy 2.5, z 6.69253, alpha 0.72247, beta 1.21330,
    // sx -1.73488, sy 0.30433 -> trunc(8.26512) = 8, trunc(7.69567) = 7.
    {1.5, 15, 12, 18, 14},
    // The same cell through a stronger lens, n = 3: sx 0.33961, sy 2.76738 ->
    // trunc(10.33961) = 10, trunc(5.23262) = 5.
    {3.0, 15, 12, 20, 12},
};

TEST(EffectValues, LensPixelsComeFromTheRefractedPoints) {
  const TBitmap src = LensSource();
  for (const TLensCase& k : kLensCases) {
    TBitmap b(src);
    Lens(b, 20, 15, 20, 16, k.refraction, nullpr);
    EXPECT_EQ(Px(b, k.x, k.y), Px(src, k.fromX, k.fromY))
        << "pixel " << k.x << "," << k.y << " refraction " << k.refraction;
  }
}

// ---- wave ----

// 16 x 10; red = 12x + 20, green = 20y + 10, blue 0. Linear in x and in y, so bilinear
// sampling at (x0 + fx, y0 + fy) gives red 12(x0 + fx) + 20 and green 20(y0 + fy) + 10
// before truncation.
TBitmap WaveSource() {
  TBitmap b;
  SizeBitmap(b, 16, 10, pf24bit);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 16; ++x)
      reinterpret_cast<TRGB*>(b.ScanLine(y))[x] =
          CreateRGB(static_cast<uint8_t>(12 * x + 20), static_cast<uint8_t>(20 * y + 10), 0);
  return b;
}

struct TWaveCase {
  int x, y;
  uint8_t red, green;
};

// Centre (7.5, 4.5); the half sizes 8 > 5 give sx = 1, sy = 1.6: dx = x - 7.5,
// dy = 1.6 (y - 4.5), d = sqrt(dx^2 + dy^2).
//
// Amplitude 3, wavelength 4, phase 30, not reflective: s = sin(d / 8 * 2pi + pi/6),
// u = 3s, X = u + dx + 7.5, Y = (u + dy) / 1.6 + 4.5.
const TWaveCase kWaveCases[] = {
    // d 10.39663, s 0.67109, X 2.01328 (x0 2, fx 0.01328), Y 1.25830 (y0 1, fy 0.25830):
    // red trunc(44.15934), green trunc(35.16598).
    {0, 0, 44, 35},
    // d 6.02080, s -0.85774, X 0.42677, Y 5.39173: red trunc(25.12125), green
    // trunc(117.83463).
    {3, 7, 25, 117},
    // The point opposite through the centre: X 9.42677, Y 0.39173.
    {12, 2, 133, 17},
    // X 17.01328, Y 10.25830: x0 and y0 stop at 14 and 8, the fractions stay 0.01328 and
    // 0.25830: red trunc(188.15934), green trunc(175.16598).
    {15, 9, 188, 175},
    // Next to the centre: d 0.94340, s 0.95347, X 9.86041, Y 5.78776.
    {7, 4, 138, 125},
};

// Amplitude 5, wavelength 6, phase 0, reflective: s = sin(d / 12 * 2pi), u = 5|s|,
// X = 7.5 + dx u, Y = 4.5 + dy u / 1.6.
const TWaveCase kReflectiveCases[] = {
    // d 6.02080, s -0.01089, X 7.25499, Y 4.63612: red trunc(107.05991), green
    // trunc(102.72231).
    {3, 7, 107, 102},
    // d 2.62488, s 0.98077, X 19.75966 (x0 stops at 14, fx 0.75966), Y 6.95193: red
    // trunc(197.11597), green trunc(149.03866).
    {10, 5, 197, 149},
    // d 8.57963, s -0.97587, X -24.21591, Y -12.57780: x0 = y0 = 0 and the fractions
    // are the negative ones plus 1, 0.78409 and 0.42220: red trunc(29.40908), green
    // trunc(18.44405).
    {1, 1, 29, 18},
};

void ExpectWave(const TBitmap& b, const TWaveCase& k, const char* what) {
  const TRGB p = Px(b, k.x, k.y);
  EXPECT_EQ(p.r, k.red) << what << " pixel " << k.x << "," << k.y;
  EXPECT_EQ(p.g, k.green) << what << " pixel " << k.x << "," << k.y;
  EXPECT_EQ(p.b, 0) << what << " pixel " << k.x << "," << k.y;
}

TEST(EffectValues, WavePixelsAreBilinearSamplesOfTheMovedPoints) {
  const TBitmap src = WaveSource();
  TBitmap wave(src);
  Wave(wave, 3, 4, 30, false, nullpr);
  for (const TWaveCase& k : kWaveCases) ExpectWave(wave, k, "wave");
  TBitmap reflective(src);
  Wave(reflective, 5, 6, 0, true, nullpr);
  for (const TWaveCase& k : kReflectiveCases) ExpectWave(reflective, k, "reflective");
}

}  // namespace
