// Filtered resampling: pixels against sums worked out here from the kernel formulas in
// long double, flat images, progress, and the edge cases of tiny and odd inputs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "platform/canvas.h"
#include "proc/resample.h"

namespace {

using namespace vx;
using ld = long double;

ld SincL(ld t) {
  if (t == 0) return 1;
  const ld pt = std::numbers::pi_v<ld> * t;
  return std::sin(pt) / pt;
}

ld KernelL(TResampleFilter f, ld x) {
  const ld a = std::fabs(x);
  switch (f) {
    case rfTriangle:
      return a < 1 ? 1 - a : 0;
    case rfHermite:
      return a < 1 ? 2 * a * a * a - 3 * a * a + 1 : 0;
    case rfBell:
      return a < 0.5L ? 0.75L - a * a : a < 1.5L ? (a - 1.5L) * (a - 1.5L) / 2 : 0;
    case rfBSpline:
      return a < 1 ? a * a * a / 2 - a * a + 2.0L / 3 : a < 2 ? (2 - a) * (2 - a) * (2 - a) / 6 : 0;
    case rfLanczos3:
      return a < 3 ? SincL(a) * SincL(a / 3) : 0;
    case rfMitchell:
      return a < 1   ? (7 * a * a * a - 12 * a * a + 16.0L / 3) / 6
             : a < 2 ? (-7.0L / 3 * a * a * a + 12 * a * a - 20 * a + 32.0L / 3) / 6
                     : 0;
    default:
      return 0;
  }
}

ld SupportL(TResampleFilter f) {
  switch (f) {
    case rfTriangle:
    case rfHermite:
      return 1;
    case rfBell:
      return 1.5L;
    case rfLanczos3:
      return 3;
    default:
      return 2;
  }
}

struct Tap {
  int index;
  ld weight;
};

// Taps of destination position i: kernel samples (scaled by the reduction factor),
// mirrored at the edges, divided by their sum.
std::vector<Tap> Taps(TResampleFilter f, int srcLen, int dstLen, int i) {
  const ld scale = static_cast<ld>(dstLen) / srcLen;
  const ld factor = scale >= 1 ? 1 : 1 / scale;
  const ld reach = SupportL(f) * factor, centre = i / scale;
  std::vector<Tap> taps;
  ld sum = 0;
  for (int j = static_cast<int>(std::floor(centre - reach)); j <= std::ceil(centre + reach); ++j) {
    const ld w = KernelL(f, (centre - j) / factor) / factor;
    if (w == 0) continue;
    int m = j < 0 ? -j : j >= srcLen ? 2 * srcLen - 1 - j : j;
    m = m < 0 ? 0 : m >= srcLen ? srcLen - 1 : m;
    taps.push_back({m, w});
    sum += w;
  }
  for (Tap& t : taps) t.weight /= sum;
  return taps;
}

// Clamped, rounded half to even; flags sums too close to a boundary to call.
int Finish(ld s, bool& unsure) {
  const ld frac = s - std::floor(s);
  if (std::fabs(frac - 0.5L) < 1e-9L) unsure = true;
  if (s > 255) return 255;
  if (s < 0) return 0;
  return static_cast<int>(std::nearbyint(s));  // default rounding mode: half to even
}

int Expected(const TBitmap& src, int dw, int dh, TResampleFilter f, int x, int y, int ch,
             bool& unsure) {
  ld s = 0;
  for (const Tap& v : Taps(f, src.Height(), dh, y)) {
    ld h = 0;
    for (const Tap& t : Taps(f, src.Width(), dw, x))
      h += t.weight * src.ScanLine(v.index)[3 * t.index + ch];
    s += v.weight * Finish(h, unsure);
  }
  return Finish(s, unsure);
}

TBitmap Fixture(int w, int h, uint32_t seed) {
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  uint32_t r = seed;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < 3 * w; ++x) {
      r = r * 1664525u + 1013904223u;
      // Noise over a ramp with a hard edge, so that sums overshoot and clamp.
      const int base = (x / 3 < w / 2) ? 30 + 8 * y : 220;
      b.ScanLine(y)[x] = static_cast<uint8_t>((base + static_cast<int>(r >> 28)) & 255);
    }
  return b;
}

TBitmap Flat(int w, int h, uint8_t v) {
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < 3 * w; ++x) b.ScanLine(y)[x] = v;
  return b;
}

TBitmap Sized(int w, int h) {
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  return b;
}

bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < 3 * a.Width(); ++x)
      if (a.ScanLine(y)[x] != b.ScanLine(y)[x]) return false;
  return true;
}

const TResampleFilter kFilters[] = {rfTriangle, rfHermite,  rfBell,
                                    rfBSpline,  rfLanczos3, rfMitchell};

class ResampleFilterTest : public ::testing::TestWithParam<TResampleFilter> {
 protected:
  void TearDown() override { ResampleEnableSimd(true); }
};

// Reduction, enlargement, and reduction in one direction with enlargement in the other,
// checked at the corners (mirrored taps) and inside, with and without the vector paths.
TEST_P(ResampleFilterTest, PixelsMatchHandComputedSums) {
  const TResampleFilter f = GetParam();
  const TBitmap src = Fixture(23, 17, 11);
  const int sizes[][2] = {{7, 5}, {50, 38}, {9, 40}, {23, 17}};
  for (bool simd : {true, false}) {
    ResampleEnableSimd(simd);
    for (const auto& sz : sizes) {
      TBitmap dst = Sized(sz[0], sz[1]);
      Resample(src, dst, f);
      int checked = 0;
      const int xs[] = {0, 1, sz[0] / 2, sz[0] - 2, sz[0] - 1};
      const int ys[] = {0, sz[1] / 3, sz[1] - 1};
      for (int y : ys)
        for (int x : xs)
          for (int ch = 0; ch < 3; ++ch) {
            bool unsure = false;
            const int want = Expected(src, sz[0], sz[1], f, x, y, ch, unsure);
            if (unsure) continue;
            ++checked;
            EXPECT_EQ(dst.ScanLine(y)[3 * x + ch], want)
                << "filter " << static_cast<int>(f) << " to " << sz[0] << "x" << sz[1] << " at "
                << x << "," << y << " ch " << ch << " simd " << simd;
          }
      EXPECT_GT(checked, 20);
    }
  }
}

TEST_P(ResampleFilterTest, FlatImageStaysFlat) {
  const int sizes[][4] = {{40, 30, 13, 9}, {9, 7, 31, 23}, {30, 20, 29, 19},
                          {1, 1, 5, 4},    {2, 3, 1, 1},   {300, 2, 3, 7}};
  for (uint8_t v : {0, 1, 128, 200, 255})
    for (const auto& sz : sizes) {
      TBitmap dst = Sized(sz[2], sz[3]);
      Resample(Flat(sz[0], sz[1], v), dst, GetParam());
      EXPECT_TRUE(SamePixels(dst, Flat(sz[2], sz[3], v)))
          << "value " << int{v} << " " << sz[0] << "x" << sz[1] << " -> " << sz[2] << "x" << sz[3];
    }
}

INSTANTIATE_TEST_SUITE_P(AllFilters, ResampleFilterTest, ::testing::ValuesIn(kFilters));

TEST(Resample, TriangleToSameSizeReproducesImage) {
  const TBitmap src = Fixture(13, 9, 3);
  TBitmap dst = Sized(13, 9);
  Resample(src, dst, rfTriangle);
  EXPECT_TRUE(SamePixels(src, dst));
}

TEST(Resample, ProgressCountsRowsThenColumns) {
  const TBitmap src = Fixture(6, 3, 1);
  TBitmap dst = Sized(4, 5);
  std::vector<int> seen;
  Resample(src, dst, rfBell, [&](TObject*, int p) { seen.push_back(p); });
  // 3 intermediate rows then 4 destination columns, out of 3 + 4 + 0.5.
  const std::vector<int> want = {13, 26, 40, 53, 66, 80, 93};
  EXPECT_EQ(seen, want);
}

TEST(Resample, UnhandledInputsLeaveDestAlone) {
  TBitmap mono;
  SizeBitmap(mono, 8, 8, pf1bit);
  TBitmap dst = Flat(4, 4, 77);
  Resample(mono, dst, rfLanczos3);
  EXPECT_TRUE(SamePixels(dst, Flat(4, 4, 77)));

  TBitmap empty;
  SizeBitmap(empty, 0, 0, pf24bit);
  Resample(empty, dst, rfLanczos3);
  EXPECT_TRUE(SamePixels(dst, Flat(4, 4, 77)));
  Resample(Fixture(5, 5, 2), empty, rfLanczos3);  // nothing to fill, no crash
  EXPECT_TRUE(empty.Empty());
}

TEST(Resample, ExtremeReductionMatchesSums) {
  // Thousands of taps a list: the integer sums must not overflow.
  const TBitmap src = Fixture(3000, 2, 9);
  TBitmap dst = Sized(2, 1);
  Resample(src, dst, rfLanczos3);
  for (int x = 0; x < 2; ++x)
    for (int ch = 0; ch < 3; ++ch) {
      bool unsure = false;
      const int want = Expected(src, 2, 1, rfLanczos3, x, 0, ch, unsure);
      if (!unsure) {
        EXPECT_EQ(dst.ScanLine(0)[3 * x + ch], want);
      }
    }
}

TEST(QuickResample, EnlargementFiltersReductionStretches) {
  const TBitmap src = Fixture(11, 8, 5);
  TBitmap full = Sized(30, 20), quick = Sized(30, 20);
  Resample(src, full, rfMitchell);
  QuickResample(src, quick, rfMitchell);
  EXPECT_TRUE(SamePixels(full, quick));

  // Each reducing direction is its own halftone stretch, rows first.
  TBitmap reduced = Sized(5, 3), across = Sized(5, 8), stretched = Sized(5, 3);
  QuickResample(src, reduced, rfMitchell);
  across.Canvas().StretchDraw(Rect(0, 0, 5, 8), src, smHalftone);
  stretched.Canvas().StretchDraw(Rect(0, 0, 5, 3), across, smHalftone);
  EXPECT_TRUE(SamePixels(reduced, stretched));

  TBitmap mono;
  SizeBitmap(mono, 9, 9, pf1bit);
  TBitmap out = Sized(18, 18);
  QuickResample(mono, out, rfTriangle);  // converted to 24 bits first: all black
  EXPECT_TRUE(SamePixels(out, Flat(18, 18, 0)));
}

}  // namespace
