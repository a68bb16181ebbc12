// Colour and point operations: worked values, colour-model extremes, regions, progress.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "proc/pointops.h"

namespace {

using namespace vx;

TBitmap Noise(int w, int h, uint32_t seed) {
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  uint32_t r = seed;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < 3 * w; ++x) {
      r = r * 1664525u + 1013904223u;
      b.ScanLine(y)[x] = static_cast<uint8_t>(r >> 24);
    }
  return b;
}

TBitmap OnePixel(TRGB c) {
  TBitmap b;
  SizeBitmap(b, 1, 1, pf24bit);
  *reinterpret_cast<TRGB*>(b.ScanLine(0)) = c;
  return b;
}

TRGB PixelAt(const TBitmap& b, int x, int y) {
  return reinterpret_cast<const TRGB*>(b.ScanLine(y))[x];
}

bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat())
    return false;
  const int bytes = (a.Width() * StorageBits(a.PixelFormat()) + 7) / 8;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < bytes; ++x)
      if (a.ScanLine(y)[x] != b.ScanLine(y)[x]) return false;
  return true;
}

const TProgressRec& NoProgress() {
  return ResetNullpr();
}

TEST(Contrast, ReferenceLevelsAreWholeImageMeans) {
  TBitmap b;
  SizeBitmap(b, 2, 2, pf24bit);
  const TRGB px[4] = {CreateRGB(10, 200, 0), CreateRGB(20, 200, 1), CreateRGB(30, 200, 2),
                      CreateRGB(41, 200, 3)};
  for (int i = 0; i < 4; ++i) reinterpret_cast<TRGB*>(b.ScanLine(i / 2))[i % 2] = px[i];
  int r, g, bl;
  GetMediaContrastRGB(b, r, g, bl);
  EXPECT_EQ(r, 25);  // 101 / 4, truncated
  EXPECT_EQ(g, 200);
  EXPECT_EQ(bl, 1);
  EXPECT_EQ(GetMediaContrast(b), (101 + 800 + 6) / 12);
  TBitmap mono;
  SizeBitmap(mono, 2, 2, pf1bit);
  GetMediaContrastRGB(mono, r, g, bl);
  EXPECT_EQ(r + g + bl, 3 * 128);
}

TEST(Contrast, FactorFormulaAndReferenceFromWholeImage) {
  const TBitmap src = Noise(8, 6, 4);
  int rr, rg, rb;
  GetMediaContrastRGB(src, rr, rg, rb);
  for (int amount : {0, -100, -30, 7, 25}) {
    TBitmap b = src;
    ContrastRGB(b, amount, 2, 1, 5, 3, NoProgress());  // references from all 8 x 6
    const double x =
        amount < 0 ? 1 - std::sqrt(static_cast<double>(-amount)) / 10 : amount / 10.0 + 1;
    for (int y = 0; y < 6; ++y)
      for (int px = 0; px < 8; ++px) {
        const TRGB s = PixelAt(src, px, y), d = PixelAt(b, px, y);
        if (px < 2 || px > 5 || y < 1 || y > 3) {
          EXPECT_EQ(s, d);
          continue;
        }
        auto want = [&](int c, int ref) {
          return blimit(ref + static_cast<int>(std::trunc((c - ref) * x)));
        };
        EXPECT_EQ(d.r, want(s.r, rr)) << amount;
        EXPECT_EQ(d.g, want(s.g, rg)) << amount;
        EXPECT_EQ(d.b, want(s.b, rb)) << amount;
        if (amount == -100) {
          EXPECT_EQ(d, CreateRGB(rr, rg, rb));
        }
      }
  }
}

TEST(Intensity, AddsAndClampsPerChannel) {
  TBitmap b = OnePixel(CreateRGB(250, 10, 128));
  IntensityRGBall(b, 10, -20, 5, 0, 0, 0, 0, NoProgress());
  EXPECT_EQ(PixelAt(b, 0, 0), CreateRGB(255, 0, 133));
  IntensityRGBall(b, INT32_MIN, INT32_MAX, 0, 0, 0, 0, 0, NoProgress());
  EXPECT_EQ(PixelAt(b, 0, 0), CreateRGB(0, 255, 133));
}

TEST(ColourModels, HSLExtremesAndRoundTrips) {
  double h, s, l;
  RGB2HSL(CreateRGB(255, 255, 255), h, s, l);
  EXPECT_EQ(s, 0);
  EXPECT_EQ(l, 1);
  RGB2HSL(CreateRGB(0, 0, 255), h, s, l);
  EXPECT_DOUBLE_EQ(h, 2.0 / 3);
  EXPECT_EQ(s, 1);
  EXPECT_EQ(l, 0.5);
  EXPECT_EQ(HSL2RGB(h, s, l), CreateRGB(0, 0, 255));
  EXPECT_EQ(HSL2RGB(1.0 / 3, 1, 0.5), CreateRGB(0, 255, 0));
  EXPECT_EQ(HSL2RGB(-3, 7, 2), CreateRGB(255, 255, 255));  // clamped first

  // Hue is clamped, not wrapped: +360 degrees on red reaches 1.0, which is red again.
  TBitmap red = OnePixel(CreateRGB(255, 0, 0));
  HSLvar(red, 360, 0, 0, 0, 0, 0, 0, NoProgress());
  EXPECT_EQ(PixelAt(red, 0, 0), CreateRGB(255, 0, 0));
  HSLvar(red, 0, -100, 0, 0, 0, 0, 0, NoProgress());
  EXPECT_EQ(PixelAt(red, 0, 0), CreateRGB(127, 127, 127));
  TBitmap half = OnePixel(CreateRGB(0, 0, 255));
  HSLvar(half, 180, 0, 0, 0, 0, 0, 0, NoProgress());  // 2/3 + 1/2 clamps to 1: red
  EXPECT_EQ(PixelAt(half, 0, 0), CreateRGB(255, 0, 0));
}

TEST(ColourModels, HSVScaleAndExtremes) {
  int h, s, v;
  const struct {
    TRGB c;
    int h, s, v;
  } cases[] = {{CreateRGB(255, 0, 0), 0, 99, 99},   {CreateRGB(0, 255, 0), 120, 99, 99},
               {CreateRGB(0, 0, 255), 240, 99, 99}, {CreateRGB(255, 0, 255), 300, 99, 99},
               {CreateRGB(0, 0, 0), 0, 0, 0},       {CreateRGB(255, 255, 255), 0, 0, 99},
               {CreateRGB(255, 128, 0), 30, 99, 99}};
  for (const auto& c : cases) {
    RGB2HSV(c.c, h, s, v);
    EXPECT_EQ(h, c.h);
    EXPECT_EQ(s, c.s);
    EXPECT_EQ(v, c.v);
  }
  EXPECT_EQ(HSV2RGB(0, 99, 99), CreateRGB(255, 0, 0));
  EXPECT_EQ(HSV2RGB(-50, 500, 500), CreateRGB(255, 0, 0));  // clamped to 0, 99, 99
  EXPECT_EQ(HSV2RGB(400, 0, 50), CreateRGB(129, 129, 129));
  // Not lossless: channels pass through the 0..99 scale.
  TBitmap b = OnePixel(CreateRGB(255, 128, 0));
  HSVvar(b, 0, 0, 0, 0, 0, 0, 0, NoProgress());
  EXPECT_EQ(PixelAt(b, 0, 0).r, 255);
  EXPECT_EQ(PixelAt(b, 0, 0).b, 0);
  TBitmap grey = OnePixel(CreateRGB(128, 128, 128));
  HSVvar(grey, 0, 0, 0, 0, 0, 0, 0, NoProgress());
  EXPECT_EQ(PixelAt(grey, 0, 0), CreateRGB(129, 129, 129));
}

TEST(Threshold, LimitsAndOrderOfTests) {
  const TBitmap src = Noise(6, 4, 8);
  TBitmap b = src;
  int calls = 0;
  TProgressRec pr;
  pr.ProgressEvent = [&](TObject*, int) { ++calls; };
  Threshold(b, TRGB{0, 0, 0}, TRGB{255, 255, 255}, TRGB{9, 9, 9}, TRGB{7, 7, 7}, 0, 0, 5, 3, pr);
  EXPECT_TRUE(SamePixels(b, src));
  EXPECT_EQ(calls, 0);

  Threshold(b, TRGB{100, 100, 100}, TRGB{100, 100, 100}, TRGB{0, 0, 0}, TRGB{255, 255, 255}, 0, 0,
            5, 3, NoProgress());
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 18; ++x) EXPECT_EQ(b.ScanLine(y)[x], src.ScanLine(y)[x] <= 100 ? 0 : 255);

  // The upper test sees the lower one's result: 50 -> 200 -> above 150 -> 0.
  TBitmap one = OnePixel(CreateRGB(50, 120, 160));
  Threshold(one, CreateRGB(100, 100, 100), CreateRGB(150, 150, 150), CreateRGB(200, 200, 200),
            CreateRGB(0, 0, 0), 0, 0, 0, 0, NoProgress());
  EXPECT_EQ(PixelAt(one, 0, 0), CreateRGB(0, 120, 0));
}

TEST(CastColorRange, InclusiveOnAllChannels) {
  TBitmap b;
  SizeBitmap(b, 3, 1, pf24bit);
  auto* row = reinterpret_cast<TRGB*>(b.ScanLine(0));
  row[0] = CreateRGB(10, 20, 30);
  row[1] = CreateRGB(40, 20, 30);
  row[2] = CreateRGB(10, 21, 30);
  CastColorRange(b, CreateRGB(10, 0, 30), CreateRGB(40, 20, 30), CreateRGB(1, 2, 3), 0, 0, 2, 0,
                 NoProgress());
  EXPECT_EQ(row[0], CreateRGB(1, 2, 3));
  EXPECT_EQ(row[1], CreateRGB(1, 2, 3));
  EXPECT_EQ(row[2], CreateRGB(10, 21, 30));
}

TEST(Merge, PercentBlendsWithStretchedBitmap) {
  const TBitmap src = Noise(6, 5, 2);
  TBitmap b = src;
  Merge(b, src, 50, 0, 0, 5, 4, NoProgress());
  EXPECT_TRUE(SamePixels(b, src));
  Merge(b, src, 100, 0, 0, 5, 4, NoProgress());
  EXPECT_TRUE(SamePixels(b, src));

  // The region 2..3 x 1..2 receives a 1x1 bitmap stretched over it.
  const TBitmap dot = OnePixel(CreateRGB(200, 0, 101));
  Merge(b, dot, 0, 2, 1, 3, 2, NoProgress());
  EXPECT_EQ(PixelAt(b, 3, 2), CreateRGB(200, 0, 101));
  EXPECT_EQ(PixelAt(b, 1, 1), PixelAt(src, 1, 1));
  TBitmap c = OnePixel(CreateRGB(100, 1, 3));
  Merge(c, OnePixel(CreateRGB(0, 0, 0)), 50, 0, 0, 0, 0, NoProgress());
  EXPECT_EQ(PixelAt(c, 0, 0), CreateRGB(50, 0, 2));  // 0.5 and 1.5 round to even
}

TEST(Channels, RGBAndHSVExtraction) {
  const TBitmap src = Noise(5, 3, 6);
  for (int ch : {0, 1, 2, 5}) {
    auto out = GetRGBChannel(src, ch, NoProgress());
    ASSERT_TRUE(out);
    const int off = ch > 2 ? 2 : ch;
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) {
        const uint8_t v = src.ScanLine(y)[3 * x + off];
        EXPECT_EQ(PixelAt(*out, x, y), CreateRGB(v, v, v));
      }
  }
  EXPECT_FALSE(GetRGBChannel(src, -1, NoProgress()));

  const TBitmap magenta = OnePixel(CreateRGB(255, 0, 255));                   // H 300, S 99, V 99
  EXPECT_EQ(PixelAt(*GetHSVChannel(magenta, 0, NoProgress()), 0, 0).r, 213);  // 300/359*255
  EXPECT_EQ(PixelAt(*GetHSVChannel(magenta, 1, NoProgress()), 0, 0).r, 255);
  EXPECT_EQ(PixelAt(*GetHSVChannel(magenta, 9, NoProgress()), 0, 0).r, 213);

  TBitmap r, g, bl;
  GetRGBChannelAll(src, r, g, bl, NoProgress());
  EXPECT_TRUE(SamePixels(r, *GetRGBChannel(src, 2, NoProgress())));
  EXPECT_TRUE(SamePixels(bl, *GetRGBChannel(src, 0, NoProgress())));
  TBitmap h, s, v;
  GetHSVChannelAll(src, h, s, v, NoProgress());
  EXPECT_TRUE(SamePixels(s, *GetHSVChannel(src, 1, NoProgress())));
  EXPECT_TRUE(SamePixels(v, *GetHSVChannel(src, 2, NoProgress())));

  std::vector<int> seen;
  TProgressRec pr;
  pr.ProgressEvent = [&](TObject*, int p) { seen.push_back(p); };
  GetRGBChannel(src, 0, pr);
  EXPECT_EQ(seen, (std::vector<int>{0, 33, 66}));
}

TEST(Negative, TwentyFourAndOneBitRectangles) {
  const TBitmap src = Noise(4, 3, 1);
  TBitmap b = src;
  Negative(b, 1, 1, 2, 1, NoProgress());
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 12; ++x) {
      const bool in = y == 1 && x >= 3 && x < 9;
      EXPECT_EQ(b.ScanLine(y)[x], in ? 255 - src.ScanLine(y)[x] : src.ScanLine(y)[x]);
    }

  TBitmap mono;
  SizeBitmap(mono, 29, 2, pf1bit);
  Negative(mono, 3, 0, 25, 0, NoProgress());
  for (int x = 0; x < 29; ++x) {
    EXPECT_EQ(GetPixelbw(mono.ScanLine(0), x), x >= 3 && x <= 25) << x;
    EXPECT_FALSE(GetPixelbw(mono.ScanLine(1), x));
  }
}

TEST(Grey, WeightedIntegerGrey) {
  TBitmap b = OnePixel(CreateRGB(200, 100, 50));
  ConvertToGray(b, 0, 0, 0, 0, NoProgress());
  const uint8_t g = (200 * 21 + 100 * 71 + 50 * 7) / 100;
  EXPECT_EQ(PixelAt(b, 0, 0), CreateRGB(g, g, g));
}

// Every region worker leaves the outside alone, and out-of-range or empty rectangles,
// and the wrong pixel format, change nothing.
TEST(RegionWorkers, OutsideUntouchedAndBadInputsIgnored) {
  using Worker = std::function<void(TBitmap&, int, int, int, int)>;
  const TProgressRec& np = NoProgress();
  const Worker workers[] = {
      [&](TBitmap& b, int a, int c, int d, int e) { ContrastRGB(b, 30, a, c, d, e, np); },
      [&](TBitmap& b, int a, int c, int d, int e) { Contrast(b, -40, a, c, d, e, np); },
      [&](TBitmap& b, int a, int c, int d, int e) {
        IntensityRGBall(b, 9, -9, 30, a, c, d, e, np);
      },
      [&](TBitmap& b, int a, int c, int d, int e) { HSLvar(b, 40, 10, -5, a, c, d, e, np); },
      [&](TBitmap& b, int a, int c, int d, int e) { HSVvar(b, 40, 10, -5, a, c, d, e, np); },
      [&](TBitmap& b, int a, int c, int d, int e) { Negative(b, a, c, d, e, np); },
      [&](TBitmap& b, int a, int c, int d, int e) { ConvertToGray(b, a, c, d, e, np); },
      [&](TBitmap& b, int a, int c, int d, int e) {
        Threshold(b, TRGB{90, 90, 90}, TRGB{160, 160, 160}, TRGB{}, TRGB{255, 255, 255}, a, c, d, e,
                  np);
      },
      [&](TBitmap& b, int a, int c, int d, int e) {
        CastColorRange(b, TRGB{0, 0, 0}, TRGB{200, 200, 200}, TRGB{1, 2, 3}, a, c, d, e, np);
      },
      [&](TBitmap& b, int a, int c, int d, int e) {
        Merge(b, OnePixel(CreateRGB(9, 9, 9)), 20, a, c, d, e, np);
      },
  };
  const TBitmap src = Noise(9, 8, 3);
  for (size_t i = 0; i < std::size(workers); ++i) {
    TBitmap b = src;
    workers[i](b, 2, 3, 6, 5);
    bool changedInside = false;
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 9; ++x) {
        const bool in = x >= 2 && x <= 6 && y >= 3 && y <= 5;
        if (!in)
          EXPECT_EQ(PixelAt(b, x, y), PixelAt(src, x, y)) << "worker " << i;
        else if (!(PixelAt(b, x, y) == PixelAt(src, x, y)))
          changedInside = true;
      }
    EXPECT_TRUE(changedInside) << "worker " << i;

    for (const auto& r : {std::array<int, 4>{5, 2, 4, 6}, std::array<int, 4>{20, 0, 30, 7},
                          std::array<int, 4>{0, 9, 8, 12}, std::array<int, 4>{-5, -5, -1, -1}}) {
      TBitmap c = src;
      workers[i](c, r[0], r[1], r[2], r[3]);
      EXPECT_TRUE(SamePixels(c, src)) << "worker " << i;
    }
    // Corners beyond the image are clamped to it.
    TBitmap whole = src, clamped = src;
    workers[i](whole, 0, 0, 8, 7);
    workers[i](clamped, -3, -3, 100, 100);
    EXPECT_TRUE(SamePixels(whole, clamped)) << "worker " << i;
    TBitmap empty;
    SizeBitmap(empty, 0, 0, pf24bit);
    workers[i](empty, 0, 0, 5, 5);
    if (i != 5) {  // Negative also handles pf1bit
      TBitmap mono;
      SizeBitmap(mono, 16, 2, pf1bit);
      mono.ScanLine(0)[0] = 0x5A;
      const TBitmap before = mono;
      workers[i](mono, 0, 0, 15, 1);
      EXPECT_TRUE(SamePixels(mono, before)) << "worker " << i;
    }
  }
}

TEST(RegionWorkers, ProgressAfterEachRow) {
  auto run = [](int rows, int y1) {
    TBitmap b = Noise(3, rows + y1, 5);
    std::vector<int> seen;
    TProgressRec pr;
    pr.ProgressEvent = [&](TObject*, int p) { seen.push_back(p); };
    Negative(b, 0, y1, 2, y1 + rows - 1, pr);
    return seen;
  };
  EXPECT_EQ(run(2, 0), (std::vector<int>{66, 133}));
  EXPECT_EQ(run(2, 4), (std::vector<int>{66, 133}));
  const std::vector<int> many = run(133, 1);
  ASSERT_EQ(many.size(), 133u);
  EXPECT_EQ(many.front(), 0);  // 100 / 132.5
  EXPECT_EQ(many.back(), 100);
  EXPECT_EQ(run(1, 0), (std::vector<int>{200}));
}

TEST(Conversions, NColoursPaletteAndBlackAndWhite) {
  TBitmap b;
  SizeBitmap(b, 8, 4, pf24bit);
  const TRGB four[4] = {CreateRGB(255, 0, 0), CreateRGB(0, 0, 255), CreateRGB(250, 250, 250),
                        CreateRGB(10, 10, 10)};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) reinterpret_cast<TRGB*>(b.ScanLine(y))[x] = four[(x + y) % 4];
  const TBitmap src = b;
  std::vector<TRGB> palette;
  ConvertToPalette(b, 4, palette, ResetNullpr());
  ASSERT_EQ(palette.size(), 4u);
  ASSERT_EQ(b.PixelFormat(), pf24bit);
  // Every pixel is an entry of the palette, and the four colours stay told apart.
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) {
      const TRGB p = PixelAt(b, x, y);
      EXPECT_NE(std::find(palette.begin(), palette.end(), p), palette.end());
      for (int x2 = 0; x2 < 8; ++x2)
        EXPECT_EQ(PixelAt(src, x, y) == PixelAt(src, x2, y), p == PixelAt(b, x2, y));
    }

  TBitmap bw = src;
  ConvertToPalette(bw, 2, palette, ResetNullpr());
  EXPECT_EQ(bw.PixelFormat(), pf1bit);
  EXPECT_EQ(palette, (std::vector<TRGB>{TRGB{0, 0, 0}, TRGB{255, 255, 255}}));

  // Threshold: grey below it is black. Greys: red 53, blue 17, (250) 247, (10) 9.
  TBitmap t = src;
  ConvertToBWThreshold(t, 53, ResetNullpr());
  ASSERT_EQ(t.PixelFormat(), pf1bit);
  for (int x = 0; x < 8; ++x)
    EXPECT_EQ(GetPixelbw(t.ScanLine(0), x), x % 4 == 0 || x % 4 == 2) << x;
  // Automatic threshold from the channel means (128, 65, 128): grey 81.
  TBitmap a = src;
  ConvertToBWThreshold(a, -1, ResetNullpr());
  for (int x = 0; x < 8; ++x) EXPECT_EQ(GetPixelbw(a.ScanLine(1), x), (x + 1) % 4 == 2) << x;

  ConvertTo24Bit(a, ResetNullpr());
  ASSERT_EQ(a.PixelFormat(), pf24bit);
  EXPECT_EQ(PixelAt(a, 1, 1), CreateRGB(255, 255, 255));
  EXPECT_EQ(PixelAt(a, 0, 1), CreateRGB(0, 0, 0));
  TBitmap keep = src;
  ConvertTo24Bit(keep, ResetNullpr());  // already 24 bits: untouched
  EXPECT_TRUE(SamePixels(keep, src));
}

}  // namespace
