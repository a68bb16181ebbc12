// Histogram, colour count, palette and the two equalisations: worked values, the
// degenerate images, and regions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <utility>
#include <vector>

#include "proc/histogram.h"
#include "proc/vantixproc.h"

namespace {

using namespace vx;

TBitmap Filled(int w, int h, TRGB c) {
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) reinterpret_cast<TRGB*>(b.ScanLine(y))[x] = c;
  return b;
}

TBitmap Noise(int w, int h, uint32_t seed) {
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < 3 * w; ++x) b.ScanLine(y)[x] = static_cast<uint8_t>(rng() >> 24);
  return b;
}

TRGB& At(TBitmap& b, int x, int y) {
  return reinterpret_cast<TRGB*>(b.ScanLine(y))[x];
}
TRGB At(const TBitmap& b, int x, int y) {
  return reinterpret_cast<const TRGB*>(b.ScanLine(y))[x];
}
TRGB Grey(int v) {
  return CreateRGB(static_cast<uint8_t>(v), static_cast<uint8_t>(v), static_cast<uint8_t>(v));
}

bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (!(At(a, x, y) == At(b, x, y))) return false;
  return true;
}

const TProgressRec& NoProgress() {
  return ResetNullpr();
}

// ---- histogram ----

TEST(Histogram, CountsEachFieldOfTheRectangleAndZeroesFirst) {
  TBitmap b = Filled(4, 3, CreateRGB(1, 2, 3));
  At(b, 1, 1) = CreateRGB(10, 20, 30);
  At(b, 2, 1) = CreateRGB(10, 200, 0);
  At(b, 3, 2) = CreateRGB(255, 255, 255);  // outside the rectangle below
  THistogram h;
  for (auto& item : h) item = THistogramItem{7, 7, 7, 7};
  GetHistogram(b, h, 1, 0, 2, 1);  // 2 x 2 pixels
  EXPECT_EQ(h[10].R, 2u);
  EXPECT_EQ(h[1].R, 2u);
  EXPECT_EQ(h[20].G, 1u);
  EXPECT_EQ(h[200].G, 1u);
  EXPECT_EQ(h[2].G, 2u);
  EXPECT_EQ(h[30].B, 1u);
  EXPECT_EQ(h[0].B, 1u);
  EXPECT_EQ(h[3].B, 2u);
  EXPECT_EQ(h[18].Gray, 1u);                     // (210 + 1420 + 210) div 100
  EXPECT_EQ(h[(210 + 14200) / 100].Gray, 1u);    // (10, 200, 0)
  EXPECT_EQ(h[(21 + 142 + 21) / 100].Gray, 2u);  // (1, 2, 3)
  EXPECT_EQ(h[255].R, 0u);
  uint32_t total[4] = {};
  for (const auto& item : h) {
    total[0] += item.R;
    total[1] += item.G;
    total[2] += item.B;
    total[3] += item.Gray;
  }
  for (uint32_t t : total) EXPECT_EQ(t, 4u);
}

TEST(Histogram, RectangleIsClampedAndOtherFormatsAreLeftAlone) {
  TBitmap b = Filled(3, 2, Grey(9));
  THistogram h{};
  GetHistogram(b, h, -5, -5, 100, 100);
  EXPECT_EQ(h[9].R, 6u);
  EXPECT_EQ(h[8].Gray, 6u);  // 9 * 99 div 100

  // Empty rectangle: zeroed, nothing counted.
  GetHistogram(b, h, 2, 0, 1, 1);
  EXPECT_EQ(h[9].R, 0u);
  EXPECT_EQ(h[8].Gray, 0u);

  TBitmap mono;
  SizeBitmap(mono, 8, 8, pf1bit);
  h[5].R = 42;
  GetHistogram(mono, h, 0, 0, 7, 7);
  EXPECT_EQ(h[5].R, 42u);
}

// ---- colour count and palette ----

TEST(HistogramColours, CountsDistinctColoursOfTheRectangle) {
  // 40 x 30 image: colour (x mod 7, y mod 5, 0) -> 35 colours, 12 in columns 0..3, rows 0..2.
  TBitmap b;
  SizeBitmap(b, 40, 30, pf24bit);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x)
      At(b, x, y) = CreateRGB(static_cast<uint8_t>(x % 7), static_cast<uint8_t>(y % 5), 0);
  EXPECT_EQ(GetImageNumColors(b, 0, 0, 39, 29), 35);
  EXPECT_EQ(GetImageNumColors(b, 0, 0, 3, 2), 12);
  // Colours differing only in blue or red are distinct.
  At(b, 0, 0) = CreateRGB(0, 0, 1);
  At(b, 1, 0) = CreateRGB(0x10, 0, 0);
  EXPECT_EQ(GetImageNumColors(b, 0, 0, 39, 29), 37);
  EXPECT_EQ(GetImageNumColors(b, 5, 5, 4, 4), 0);
  TBitmap mono;
  SizeBitmap(mono, 8, 8, pf1bit);
  EXPECT_EQ(GetImageNumColors(mono, 0, 0, 7, 7), 0);
}

TEST(HistogramColours, PaletteOfATwoColourImageHoldsBothColours) {
  // Colours on the quantizer's 8-level grid come back exactly.
  TBitmap b = Filled(16, 16, CreateRGB(200, 8, 8));
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) At(b, x, y) = CreateRGB(8, 8, 200);
  std::vector<TRGB> palette;
  CalcImagePalette(b, palette, 0, 2);
  ASSERT_EQ(palette.size(), 2u);
  EXPECT_TRUE(std::find(palette.begin(), palette.end(), CreateRGB(200, 8, 8)) != palette.end());
  EXPECT_TRUE(std::find(palette.begin(), palette.end(), CreateRGB(8, 8, 200)) != palette.end());
  CalcImagePalette(b, palette, 0, 0);
  EXPECT_TRUE(palette.empty());
}

// ---- levels stretch ----

TEST(HistEqualize, NeutralThresholdsChangeNothing) {
  const TBitmap original = Noise(13, 7, 1);
  struct Case {
    TRGB lo, hi;
  };
  for (const Case& c : {Case{Grey(0), Grey(255)}, Case{Grey(50), Grey(50)},
                        Case{Grey(1), Grey(0)}}) {  // hi raised to 1 = lo
    TBitmap b = original;
    HistEqualize(b, c.lo, c.hi, 0, 0, 12, 6, NoProgress());
    EXPECT_TRUE(SamePixels(b, original)) << int(c.lo.r) << " " << int(c.hi.r);
  }
}

TEST(HistEqualize, WhitePointAndBlackPointPerChannel) {
  TBitmap b;
  SizeBitmap(b, 256, 1, pf24bit);
  for (int v = 0; v < 256; ++v) At(b, v, 0) = Grey(v);
  TBitmap white = b;
  // White point 128 on red only (green and blue keep 255): v -> round(v * 255 / 128).
  HistEqualize(white, Grey(0), CreateRGB(128, 255, 255), 0, 0, 255, 0, NoProgress());
  for (int v = 0; v < 256; ++v) {
    const int expect = std::min(255, static_cast<int>(std::nearbyint(v * 255.0 / 128)));
    ASSERT_EQ(At(white, v, 0).r, expect) << v;
    ASSERT_EQ(At(white, v, 0).g, v);
    ASSERT_EQ(At(white, v, 0).b, v);
  }
  // Black point 127 on blue: (v - 127) / 128 * 255, 127 and below to 0, 255 stays 255.
  TBitmap black = b;
  HistEqualize(black, CreateRGB(0, 0, 127), Grey(255), 0, 0, 255, 0, NoProgress());
  EXPECT_EQ(At(black, 100, 0).b, 0);
  EXPECT_EQ(At(black, 127, 0).b, 0);
  EXPECT_EQ(At(black, 191, 0).b, 128);  // 64 / 128 * 255 = 127.5 -> even neighbour
  EXPECT_EQ(At(black, 255, 0).b, 255);
  EXPECT_EQ(At(black, 100, 0).r, 100);
  // A white point of 0 is raised to 1: everything but 0 saturates.
  TBitmap zero = b;
  HistEqualize(zero, Grey(0), Grey(0), 0, 0, 255, 0, NoProgress());
  EXPECT_EQ(At(zero, 0, 0).g, 0);
  EXPECT_EQ(At(zero, 1, 0).g, 255);
}

TEST(HistEqualize, OnlyTheRectangleChangesAndEachRowReportsProgress) {
  const TBitmap original = Noise(10, 8, 2);
  TBitmap b = original;
  std::vector<int> reports;
  TProgressRec progress;
  progress.ProgressEvent = [&](TObject*, int p) { reports.push_back(p); };
  HistEqualize(b, Grey(0), Grey(128), 2, 3, 6, 5, progress);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 10; ++x) {
      const bool inside = x >= 2 && x <= 6 && y >= 3 && y <= 5;
      const TRGB o = At(original, x, y);
      const int expect =
          inside ? std::min(255, static_cast<int>(std::nearbyint(o.g * 255.0 / 128))) : o.g;
      EXPECT_EQ(At(b, x, y).g, expect) << x << "," << y;
    }
  EXPECT_EQ(reports, (std::vector<int>{40, 80, 120}));  // trunc(k * 100 / 2.5)
}

// ---- automatic equalisation ----

TEST(HistAutoEqualize, BlackImageStaysBlack) {
  TBitmap b = Filled(16, 16, Grey(0));
  HistAutoEqualize(b, 0, 0, 15, 15, NoProgress());
  EXPECT_TRUE(SamePixels(b, Filled(16, 16, Grey(0))));
}

TEST(HistAutoEqualize, ImagesBelow256PixelsAreLeftUnchanged) {
  for (auto [w, h] : {std::pair{1, 1}, std::pair{15, 17}, std::pair{255, 1}}) {
    const TBitmap original = Noise(w, h, 3);
    TBitmap b = original;
    HistAutoEqualize(b, 0, 0, w - 1, h - 1, NoProgress());
    EXPECT_TRUE(SamePixels(b, original)) << w << "x" << h;
  }
}

TEST(HistAutoEqualize, HalfBlackHalfWhiteSmoothsOnlyTheEdge) {
  // Gray 0 spreads over levels 0..127 and 255 over 127..255; the neighbourhood average of
  // the two edge columns lies inside those ranges, so they take it: 3 * 255 div 9 = 85 and
  // 6 * 255 div 9 = 170. Everything else stays.
  TBitmap b = Filled(16, 16, Grey(255));
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 8; ++x) At(b, x, y) = Grey(0);
  const TBitmap original = b;
  HistAutoEqualize(b, 0, 0, 15, 15, NoProgress());
  for (int x = 0; x < 16; ++x) {
    const int expect = x == 7 ? 85 : x == 8 ? 170 : x < 8 ? 0 : 255;
    for (int y = 0; y < 16; ++y) ASSERT_EQ(At(b, x, y), Grey(expect)) << x << "," << y;
  }
  // Left half only: column 8 is outside; column 7 still sees the white neighbours.
  TBitmap left = original;
  HistAutoEqualize(left, 0, 0, 7, 15, NoProgress());
  for (int y = 0; y < 16; ++y) {
    EXPECT_EQ(At(left, 7, y), Grey(85));
    EXPECT_EQ(At(left, 8, y), Grey(255));
  }
}

TEST(HistAutoEqualize, IsolatedPixelsFollowTheirLevelRanges) {
  // Half black, half white, one white pixel in the black half and one black in the white
  // half: Gray 0 (128 pixels) spreads over 0..127, Gray 252 (128 pixels) over 127..255.
  // The black pixel's neighbourhood (Gray 223) lies above its range: it takes Hi of its
  // channels, 127. The white pixel's (Gray 27) lies below: it takes Lo of its channels,
  // and Lo[255] is 255. Their neighbours take the neighbourhood average.
  TBitmap b = Filled(16, 16, Grey(255));
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 8; ++x) At(b, x, y) = Grey(0);
  At(b, 3, 8) = Grey(255);
  At(b, 12, 8) = Grey(0);
  HistAutoEqualize(b, 0, 0, 15, 15, NoProgress());
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      int expect = x == 7 ? 85 : x == 8 ? 170 : x < 8 ? 0 : 255;
      if (std::abs(x - 3) <= 1 && std::abs(y - 8) <= 1) expect = 28;    // 255 div 9
      if (std::abs(x - 12) <= 1 && std::abs(y - 8) <= 1) expect = 226;  // 8 * 255 div 9
      if (x == 3 && y == 8) expect = 255;
      if (x == 12 && y == 8) expect = 127;
      ASSERT_EQ(At(b, x, y), Grey(expect)) << x << "," << y;
    }
}

}  // namespace
