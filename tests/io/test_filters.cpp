// Convolution, kernel files, morphology and the effects, through the workers and
// the processing component.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "platform/canvas.h"
#include "platform/exceptions.h"
#include "proc/effects.h"
#include "proc/filters.h"
#include "proc/vantixproc.h"
#include "proc/vxfft.h"
#include "testhost.h"

using namespace vx;

namespace {

TBitmap RandomImage(int w, int h, unsigned seed) {
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < 3 * w; ++x) b.ScanLine(y)[x] = static_cast<uint8_t>(rng());
  return b;
}

TBitmap Uniform(int w, int h, TRGB c) {
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) reinterpret_cast<TRGB*>(b.ScanLine(y))[x] = c;
  return b;
}

TRGB Px(const TBitmap& b, int x, int y) {
  return reinterpret_cast<const TRGB*>(b.ScanLine(y))[x];
}
void SetPx(TBitmap& b, int x, int y, TRGB c) {
  reinterpret_cast<TRGB*>(b.ScanLine(y))[x] = c;
}

bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat())
    return false;
  for (int y = 0; y < a.Height(); ++y)
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), static_cast<size_t>(a.Width()) * 3) != 0)
      return false;
  return true;
}

// The convolution written out plainly: clamped neighbours, 64-bit sums, division
// toward zero, clamp to a byte.
TBitmap ReferenceConvolution(const TBitmap& src, const TGraphFilter& f, int x1, int y1, int x2,
                             int y2) {
  TBitmap out(src);
  const int64_t d = f.Divisor == 0 ? 1 : f.Divisor;
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x)
      for (int c = 0; c < 3; ++c) {
        int64_t sum = 0;
        for (int k = 0; k < 9; ++k) {
          const int sx = std::clamp(x + k % 3 - 1, 0, src.Width() - 1);
          const int sy = std::clamp(y + k / 3 - 1, 0, src.Height() - 1);
          sum += int64_t{f.Values[static_cast<size_t>(k)]} * src.ScanLine(sy)[3 * sx + c];
        }
        const int64_t q = sum / d;
        out.ScanLine(y)[3 * x + c] = static_cast<uint8_t>(q < 0 ? 0 : q > 255 ? 255 : q);
      }
  return out;
}

std::string TempPath(const char* name) {
  return testing::TempDir() + "vx_filters_" + name;
}

// ---- convolution ----

TEST(Convolution, PresetsMatchTheirFormulas) {
  // Wide enough for the vector path, odd so that it ends in a partial block.
  const TBitmap src = RandomImage(37, 9, 1);
  for (bool simd : {true, false}) {
    ApplyFilterEnableSimd(simd);
    for (int p = 0; p < kFilterPresetCount; ++p) {
      const TGraphFilter f = FilterPreset(static_cast<TVXFilterPresets>(p));
      TBitmap b(src);
      ApplyFilter(b, f, 0, 0, 36, 8, nullpr);
      EXPECT_TRUE(SamePixels(b, ReferenceConvolution(src, f, 0, 0, 36, 8)))
          << "preset " << p << " simd " << simd;
    }
  }
  ApplyFilterEnableSimd(true);
}

TEST(Convolution, HandComputedValues) {
  // fpNone is bit-identical; blur and edge on a uniform image keep it / make it black.
  const TBitmap noise = RandomImage(40, 5, 2);
  TBitmap b(noise);
  ApplyFilter(b, FilterPreset(fpNone), 0, 0, 39, 4, nullpr);
  EXPECT_TRUE(SamePixels(b, noise));
  TBitmap flat = Uniform(20, 3, TRGB{10, 128, 250});
  ApplyFilter(flat, FilterPreset(fpBlur), 0, 0, 19, 2, nullpr);
  EXPECT_EQ(Px(flat, 7, 1), (TRGB{10, 128, 250}));
  ApplyFilter(flat, FilterPreset(fpEdge), 0, 0, 19, 2, nullpr);
  EXPECT_EQ(Px(flat, 0, 0), (TRGB{0, 0, 0}));
  EXPECT_EQ(Px(flat, 12, 2), (TRGB{0, 0, 0}));

  // One 90 in the middle of a 3 x 3 black image: every window holds it once
  // (clamping repeats only edge pixels), so blur gives 90 div 9 = 10 everywhere and
  // low-pass 1 gives 9; high-pass 1 gives 5 * 90 in the middle (clamped to 255), and
  // -90 (clamped to 0) beside it, but its corners stay 0.
  TBitmap dot = Uniform(3, 3, TRGB{});
  SetPx(dot, 1, 1, TRGB{90, 90, 90});
  TBitmap blur(dot), low(dot), high(dot);
  ApplyFilter(blur, FilterPreset(fpBlur), 0, 0, 2, 2, nullpr);
  ApplyFilter(low, FilterPreset(fpLowPass1), 0, 0, 2, 2, nullpr);
  ApplyFilter(high, FilterPreset(fpHighPass1), 0, 0, 2, 2, nullpr);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) {
      EXPECT_EQ(Px(blur, x, y).g, 10);
      EXPECT_EQ(Px(low, x, y).g, 9);
    }
  EXPECT_EQ(Px(high, 1, 1).g, 255);
  EXPECT_EQ(Px(high, 1, 0).g, 0);
  // The first row uses itself as the row above: a 1 x 1 image convolved with
  // low-pass 2 sees its own pixel with weight 16.
  TBitmap one = Uniform(1, 1, TRGB{33, 66, 99});
  ApplyFilter(one, FilterPreset(fpLowPass2), 0, 0, 0, 0, nullpr);
  EXPECT_EQ(Px(one, 0, 0), (TRGB{33, 66, 99}));
}

TEST(Convolution, UserKernelsAndTheVectorPathAgree) {
  std::mt19937 rng(5);
  const TBitmap src = RandomImage(53, 6, 3);
  for (int trial = 0; trial < 40; ++trial) {
    TGraphFilter f;
    for (int32_t& v : f.Values) v = static_cast<int32_t>(rng() % 21) - 10;
    const int32_t divisors[] = {0, 1, -1, 3, -7, 16, 1000, 1 << 25};
    f.Divisor = divisors[trial % 8];
    TBitmap a(src), b(src);
    ApplyFilterEnableSimd(true);
    ApplyFilter(a, f, 2, 1, 50, 5, nullpr);
    ApplyFilterEnableSimd(false);
    ApplyFilter(b, f, 2, 1, 50, 5, nullpr);
    const TBitmap ref = ReferenceConvolution(src, f, 2, 1, 50, 5);
    EXPECT_TRUE(SamePixels(a, ref)) << "trial " << trial;
    EXPECT_TRUE(SamePixels(b, ref)) << "trial " << trial;
  }
  ApplyFilterEnableSimd(true);
  // Weights far beyond 16 bits take the wide path and do not overflow.
  TGraphFilter big;
  big.Values = {1 << 30, -(1 << 30), 1 << 30, 0, 1 << 30, 0, -(1 << 30), 1 << 30, 7};
  big.Divisor = 1 << 28;
  TBitmap c(src);
  ApplyFilter(c, big, 0, 0, 52, 5, nullpr);
  EXPECT_TRUE(SamePixels(c, ReferenceConvolution(src, big, 0, 0, 52, 5)));
}

TEST(Convolution, SelectionOnlyButNeighboursFromOutside) {
  const TBitmap src = RandomImage(30, 20, 4);
  TBitmap b(src);
  TVantixProc proc;
  proc.SetAttachedBitmap(&b);
  proc.Select(4, 3, 25, 12);
  proc.ApplyFilterPreset(fpHighPass2);
  EXPECT_TRUE(SamePixels(b, ReferenceConvolution(src, FilterPreset(fpHighPass2), 4, 3, 25, 12)));
  EXPECT_TRUE(proc.CanUndo());
  proc.Undo();
  EXPECT_TRUE(SamePixels(b, src));
  // Out-of-range presets act as the identity instead of reading past the table.
  proc.SelectAll();
  proc.ApplyFilterPreset(static_cast<TVXFilterPresets>(200));
  EXPECT_TRUE(SamePixels(b, src));
}

TEST(KernelFile, RoundTripAndBadHeaders) {
  const std::string path = TempPath("kernel.flt");
  TGraphFilter f;
  f.Values = {-1, 2, -3, 4, 100000, -6, 7, -8, 9};
  f.Divisor = -12345;
  SaveFilterToFile(path, f);
  {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(bytes.size(), static_cast<size_t>(kFilterFileSize));
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[1], 3);
    EXPECT_EQ(bytes[2], 3);
    EXPECT_EQ(bytes[3], 0xFF);   // -1 little-endian
    EXPECT_EQ(bytes[19], 0xA0);  // 100000 = 0x000186A0
    EXPECT_EQ(bytes[20], 0x86);
  }
  TGraphFilter back;
  EXPECT_TRUE(LoadFilterFromFile(path, back));
  EXPECT_EQ(back, f);

  const TGraphFilter current = FilterPreset(fpEmboss);
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  std::vector<uint8_t> wrongVersion(kFilterFileSize, 0), short1(20, 0);
  wrongVersion[0] = 2;
  wrongVersion[1] = wrongVersion[2] = 3;
  short1[0] = 1;
  short1[1] = short1[2] = 3;
  for (const Case& c : {Case{"version 2", wrongVersion}, Case{"cut short", short1},
                        Case{"empty", {}}, Case{"5x5", {1, 5, 5, 0, 0}}}) {
    {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(c.bytes.data()),
                static_cast<std::streamsize>(c.bytes.size()));
    }
    TGraphFilter kept = current;
    EXPECT_FALSE(LoadFilterFromFile(path, kept)) << c.what;
    EXPECT_EQ(kept, current) << c.what;
  }
  std::remove(path.c_str());
  TGraphFilter kept = current;
  EXPECT_THROW(LoadFilterFromFile(path, kept), EFOpenError);
  EXPECT_EQ(kept, current);
}

// ---- morphology ----

int CountWhite(const TBitmap& b) {
  int n = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) n += Px(b, x, y) == TRGB{255, 255, 255};
  return n;
}

TEST(Morphology, GrowAndShrinkBySingleBrightPixel) {
  const TRGB white{255, 255, 255};
  TBitmap dot = Uniform(11, 9, TRGB{});
  SetPx(dot, 5, 4, white);
  struct Case {
    TMorphOp op;
    int k;
    int white;  // white pixels afterwards
  };
  for (const Case& c : {Case{moMaximum, 0, 1}, Case{moMaximum, 1, 9}, Case{moMaximum, 2, 25},
                        Case{moMaximum, 3, 49}, Case{moMaximum, -1, 1}, Case{moMinimum, 1, 0},
                        Case{moOpening, 1, 0}, Case{moClosing, 1, 1}, Case{moClosing, 2, 1},
                        Case{moMaximum, 100, 99}}) {
    TBitmap b(dot);
    MorphFilter(b, c.k, c.op, 0, 0, 10, 8, nullpr);
    EXPECT_EQ(CountWhite(b), c.white) << static_cast<int>(c.op) << " k " << c.k;
    if (c.op == moMaximum && c.k > 0 && c.k < 4) {
      for (int y = 4 - c.k; y <= 4 + c.k; ++y)
        for (int x = 5 - c.k; x <= 5 + c.k; ++x) {
          EXPECT_EQ(Px(b, x, y), white);
        }
    }
  }
  // The dual: a black pixel on white grows under Minimum.
  TBitmap hole = Uniform(7, 7, white);
  SetPx(hole, 0, 0, TRGB{});
  MorphFilter(hole, 2, moMinimum, 0, 0, 6, 6, nullpr);
  EXPECT_EQ(CountWhite(hole), 49 - 9);  // clamped at the corner: 3 x 3 black
  EXPECT_EQ(Px(hole, 2, 2), (TRGB{}));
  EXPECT_EQ(Px(hole, 3, 2), white);
}

TEST(Morphology, TiesGoToTheEarliestPositionAndTheWindowStaysInTheRegion) {
  // Two colours of grey 21: (R 100) one row above and to the right, (G 30) below and
  // to the left. Reading order puts the upper one first.
  TBitmap b = Uniform(7, 7, TRGB{});
  const TRGB red = CreateRGB(100, 0, 0), green = CreateRGB(0, 30, 0);
  ASSERT_EQ(RGBToGray(red), RGBToGray(green));
  SetPx(b, 5, 2, red);
  SetPx(b, 1, 4, green);
  TBitmap m(b);
  MorphFilter(m, 2, moMaximum, 0, 0, 6, 6, nullpr);
  EXPECT_EQ(Px(m, 3, 3), red);
  EXPECT_EQ(Px(m, 0, 6), green);  // only green in its window
  EXPECT_EQ(Px(m, 6, 0), red);

  // A bright pixel just outside the region does not leak into it.
  TBitmap r = Uniform(9, 9, TRGB{});
  SetPx(r, 7, 4, TRGB{255, 255, 255});
  TVantixProc proc;
  proc.SetAttachedBitmap(&r);
  proc.Select(2, 2, 6, 6);
  proc.Maximum(3);
  EXPECT_EQ(CountWhite(r), 1);
  proc.Select(2, 2, 7, 6);
  proc.Maximum(1);
  EXPECT_EQ(CountWhite(r), 6);  // columns 6..7, rows 3..5
  EXPECT_EQ(Px(r, 8, 4), (TRGB{}));
}

// ---- effects ----

TEST(Effects, BumpMappingHandValues) {
  // A flat image has no slope, so only the light's distance counts: at the light
  // L = 255, half way to the rim L = 128, at the rim L = 0.
  TBitmap b = Uniform(41, 5, TRGB{100, 100, 100});
  const TRGB tint = CreateRGB(255, 128, 0);
  BumpMapping(b, 10, 2, 20, 20, 50, tint, 0, 0, 40, 4, nullpr);
  // R: round(50 + 127.5) = 178 (half to even), G: 50 + 127.5 * 128 / 255 = 114, B: 50.
  EXPECT_EQ(Px(b, 10, 2), CreateRGB(178, 114, 50));
  // x - left = 10: trunc(64) -> i = 64, L = trunc(0.5 * 256) = 128; G 50 + 32.125.
  EXPECT_EQ(Px(b, 20, 2), CreateRGB(114, 82, 50));
  EXPECT_EQ(Px(b, 30, 2), CreateRGB(50, 50, 50));
  // Width 0: nothing.
  TBitmap same = Uniform(5, 5, TRGB{100, 100, 100});
  BumpMapping(same, 1, 1, 0, 5, 50, tint, 0, 0, 4, 4, nullpr);
  EXPECT_EQ(Px(same, 1, 1), (TRGB{100, 100, 100}));
}

TEST(Effects, LensAndWaveBasics) {
  const TBitmap src = RandomImage(40, 30, 7);
  TBitmap a(src), b(src);
  Lens(a, 20, 15, 20, 16, 0.3, nullpr);
  Lens(b, 20, 15, 20, 16, 1.0, nullpr);
  EXPECT_TRUE(SamePixels(a, b));  // refraction below 1 counts as 1
  TBitmap c(src);
  Lens(c, 20, 15, 20, 16, 2.5, nullpr);
  EXPECT_FALSE(SamePixels(c, src));
  // Box (10, 7)-(30, 23), a = 10, b = 8: its corners lie outside the ellipse, and
  // nothing outside the box moves.
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      const bool inBox = x >= 10 && x < 30 && y >= 7 && y < 23;
      const double dx = x - 10 - 10 + 0.5, dy = 8 - (y - 7) - 0.5;
      const bool inEllipse = 64 - 64 * dx * dx / 100 > dy * dy;
      if (!inBox || !inEllipse) {
        EXPECT_EQ(Px(c, x, y), Px(src, x, y)) << x << "," << y;
      }
    }
  // Boxes past the border and degenerate boxes do not crash.
  TBitmap d(src);
  Lens(d, -100, 500, 1000, 1000, 1.5, nullpr);
  Lens(d, 39, 29, 100, 100, 1.5, nullpr);
  Lens(d, 5, 5, 0, 0, 1.5, nullpr);

  TBitmap w(src);
  Wave(w, 0, 10, 0, false, nullpr);
  EXPECT_TRUE(SamePixels(w, src));
  Wave(w, 3, 0, 0, true, nullpr);
  EXPECT_TRUE(SamePixels(w, src));
  Wave(w, 3, 8, 30, false, nullpr);
  EXPECT_FALSE(SamePixels(w, src));
  // The centre of a non-reflective wave with phase 0 does not move: d = 0, s = 0.
  TBitmap odd = RandomImage(9, 7, 8), oddw(odd);
  Wave(oddw, 5, 4, 0, false, nullpr);
  EXPECT_EQ(Px(oddw, 4, 3), Px(odd, 4, 3));
  // Reflective with |s| = 1 at the centre samples the centre itself (u * 0).
  TBitmap tiny = RandomImage(1, 1, 9), tinyw(tiny);
  Wave(tinyw, 1000000, 1, 90, true, nullpr);
  EXPECT_TRUE(SamePixels(tinyw, tiny));
  TBitmap line = RandomImage(1, 6, 9);
  Wave(line, 1 << 30, 1, 45, false, nullpr);  // far-away samples clamp, no crash
}

TEST(Effects, SelectionRules) {
  const TBitmap src = RandomImage(40, 30, 11);
  const std::vector<vx::TPoint> triangle = {{5, 3}, {34, 8}, {12, 26}};
  auto insideTriangle = [&](int x, int y) { return PointInPolygonEvenOdd(triangle, x, y); };
  vxtest::TTestHost host;
  TVantixProc proc;
  proc.SetAttachedVantix(&host);
  TBitmap& b = *host.GetFBitmap();

  // A rectangle selection limits bump mapping but not the wave, which covers the
  // whole image.
  host.selKind = skRectangle;
  host.selRect = Rect(10, 10, 19, 19);
  b.Assign(src);
  proc.BumpMapping(15, 15, 10, 10, 30, CreateRGB(255, 255, 255));
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x)
      if (x < 10 || x > 19 || y < 10 || y > 19) {
        ASSERT_EQ(Px(b, x, y), Px(src, x, y));
      }
  EXPECT_FALSE(SamePixels(b, src));
  b.Assign(src);
  proc.Wave(4, 6, 0, false);
  bool cornerMoved = false;
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) cornerMoved |= !(Px(b, x, y) == Px(src, x, y));
  EXPECT_TRUE(cornerMoved);

  // A polygon confines every effect to its inside.
  host.selKind = skPolygon;
  host.selRect = Rect(5, 3, 34, 26);
  host.selPolygon = triangle;
  auto onlyInside = [&](const char* what) {
    int changed = 0;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x) {
        const bool same = Px(b, x, y) == Px(src, x, y);
        if (!insideTriangle(x, y)) {
          ASSERT_TRUE(same) << what << " " << x << "," << y;
        } else {
          changed += !same;
        }
      }
    EXPECT_GT(changed, 20) << what;
  };
  b.Assign(src);
  proc.Wave(4, 6, 0, false);
  onlyInside("wave");
  b.Assign(src);
  proc.Lens(18, 12, 16, 14, 2.0);
  onlyInside("lens");
  b.Assign(src);
  proc.BumpMapping(15, 12, 10, 10, 30, CreateRGB(255, 255, 255));
  onlyInside("bump");
  b.Assign(src);
  proc.Maximum(1);
  onlyInside("maximum");

  // The light stays at its image position under a polygon selection: the same
  // pixel inside the triangle comes out as without a selection.
  const TBitmap flat = Uniform(40, 30, TRGB{100, 100, 100});
  b.Assign(flat);
  proc.BumpMapping(15, 12, 20, 20, 50, CreateRGB(255, 128, 0));
  ASSERT_TRUE(insideTriangle(15, 12));
  EXPECT_EQ(Px(b, 15, 12), CreateRGB(178, 114, 50));
  proc.SetAttachedVantix(nullptr);
}

TEST(Effects, WrongFormatIsLeftAlone) {
  TBitmap mono;
  SizeBitmap(mono, 16, 4, pf1bit);
  mono.ScanLine(1)[0] = 0x5A;
  const TBitmap before(mono);
  ApplyFilter(mono, FilterPreset(fpBlur), 0, 0, 15, 3, nullpr);
  MorphFilter(mono, 1, moMaximum, 0, 0, 15, 3, nullpr);
  BumpMapping(mono, 0, 0, 5, 5, 50, TRGB{}, 0, 0, 15, 3, nullpr);
  Lens(mono, 8, 2, 8, 4, 2, nullpr);
  Wave(mono, 3, 3, 0, false, nullpr);
  EXPECT_EQ(std::memcmp(mono.Bits(), before.Bits(), mono.BitsSize()), 0);
}

// ---- statistics, level adjustments and the Fourier transform on the component ----

TEST(ProcAnalysis, HistogramAndColourCountReadTheSelectionOnly) {
  vxtest::TTestHost host;
  TVantixProc proc;
  proc.SetAttachedVantix(&host);
  TBitmap& b = *host.GetFBitmap();
  b.Assign(RandomImage(20, 10, 21));
  SetPx(b, 4, 3, CreateRGB(10, 20, 30));
  host.selKind = skRectangle;
  host.selRect = Rect(4, 3, 4, 3);
  THistogram h;
  h.fill(THistogramItem{7, 7, 7, 7});
  const int updates = host.updates;
  proc.GetHistogram(h);
  for (int v = 0; v < 256; ++v) {
    const auto i = static_cast<size_t>(v);
    EXPECT_EQ(h[i].R, v == 10 ? 1u : 0u);
    EXPECT_EQ(h[i].G, v == 20 ? 1u : 0u);
    EXPECT_EQ(h[i].B, v == 30 ? 1u : 0u);
    EXPECT_EQ(h[i].Gray, v == 18 ? 1u : 0u);  // (210 + 1420 + 210) div 100
  }
  EXPECT_EQ(proc.CalcImageNumColors(), 1);
  host.selRect = Rect(0, 0, 1, 1);
  SetPx(b, 0, 0, TRGB{1, 1, 1});
  SetPx(b, 1, 0, TRGB{1, 1, 1});
  SetPx(b, 0, 1, TRGB{2, 1, 1});
  SetPx(b, 1, 1, TRGB{1, 1, 1});
  EXPECT_EQ(proc.CalcImageNumColors(), 2);
  EXPECT_EQ(host.updates, updates);  // reading changes nothing
  EXPECT_FALSE(proc.CanUndo());

  std::vector<TRGB> palette;
  proc.CalcImagePalette(palette, 0, 16);
  EXPECT_EQ(palette.size(), 16u);

  TBitmap mono;
  SizeBitmap(mono, 8, 8, pf1bit);
  proc.SetAttachedBitmap(&mono);
  EXPECT_EQ(proc.CalcImageNumColors(), 2);
  h.fill(THistogramItem{7, 7, 7, 7});
  proc.GetHistogram(h);
  EXPECT_EQ(h[0].R, 7u);  // untouched
  proc.CalcImagePalette(palette, 0, 16);
  EXPECT_TRUE(palette.empty());
  TVantixProc detached;
  EXPECT_EQ(detached.CalcImageNumColors(), 0);
}

TEST(ProcAnalysis, EqualizationOnTheSelectionWithUndo) {
  const TBitmap src = RandomImage(20, 16, 22);
  TBitmap b(src);
  TVantixProc proc;
  proc.SetAttachedBitmap(&b);
  proc.Select(2, 3, 9, 8);
  proc.HistEqualize(TRGB{0, 0, 0}, TRGB{128, 128, 128});
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 20; ++x)
      for (int c = 0; c < 3; ++c) {
        const int v = src.ScanLine(y)[3 * x + c];
        const bool in = x >= 2 && x <= 9 && y >= 3 && y <= 8;
        const int want = in ? std::min<int>(255, static_cast<int>(Round(v * 255.0 / 128))) : v;
        ASSERT_EQ(b.ScanLine(y)[3 * x + c], want) << x << "," << y;
      }
  ASSERT_TRUE(proc.CanUndo());
  proc.Undo();
  EXPECT_TRUE(SamePixels(b, src));
  proc.HistEqualize(TRGB{50, 50, 50}, TRGB{50, 50, 50});
  EXPECT_TRUE(SamePixels(b, src));

  TBitmap black = Uniform(16, 16, TRGB{});
  proc.SetAttachedBitmap(&black);
  proc.SelectAll();
  proc.HistAutoEqualize();
  EXPECT_TRUE(SamePixels(black, Uniform(16, 16, TRGB{})));
  TBitmap small = RandomImage(5, 5, 23), smallCopy(small);
  proc.SetAttachedBitmap(&small);
  proc.HistAutoEqualize();  // fewer than 256 pixels: left alone
  EXPECT_TRUE(SamePixels(small, smallCopy));
}

TEST(ProcAnalysis, FourierTransformWrappers) {
  // 60 x 40, brightest channel value 200: the square is 64 with the picture at
  // (2, 12); back from an untouched transform every value comes out stretched by
  // 255 / 200 (the black padding supplies the minimum 0).
  TBitmap b;
  SizeBitmap(b, 60, 40, pf24bit);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 60; ++x) {
      const auto v = static_cast<uint8_t>((x * 3 + y * 2) % 201);
      SetPx(b, x, y, TRGB{v, v, v});
    }
  SetPx(b, 0, 0, TRGB{200, 200, 200});
  const TBitmap src(b);
  TVantixProc proc;
  proc.SetAttachedBitmap(&b);
  std::unique_ptr<TVXFtImage> ft = proc.FTCreateImage(vxitGrayscale, -1, -1);
  ASSERT_TRUE(ft);
  EXPECT_EQ(ft->N(), 64);
  EXPECT_EQ(ft->OffsetX(), 2);
  EXPECT_EQ(ft->OffsetY(), 12);
  proc.FTConvertFrom(*ft);
  ASSERT_EQ(b.Width(), 60);
  ASSERT_EQ(b.Height(), 40);
  for (int y = 0; y < 40; y += 7)
    for (int x = 0; x < 60; x += 5)
      EXPECT_NEAR(Px(b, x, y).g, Px(src, x, y).g * 255.0 / 200, 3.0) << x << "," << y;
  EXPECT_FALSE(proc.CanUndo());  // neither wrapper keeps an undo copy
  proc.FTDisplayFrom(*ft);
  EXPECT_EQ(b.Width(), 64);
  EXPECT_EQ(b.Height(), 64);

  // A size of its own: 32 wide, the height following the aspect ratio (40 * 32 div 60).
  b.Assign(src);
  std::unique_ptr<TVXFtImage> scaled = proc.FTCreateImage(vxitRGB, 32, -1);
  ASSERT_TRUE(scaled);
  EXPECT_EQ(scaled->SourceWidth(), 32);
  EXPECT_EQ(scaled->SourceHeight(), 21);
  EXPECT_EQ(scaled->N(), 32);
  EXPECT_TRUE(scaled->HasRGBPlanes());

  TBitmap mono;
  SizeBitmap(mono, 8, 8, pf1bit);
  proc.SetAttachedBitmap(&mono);
  EXPECT_FALSE(proc.FTCreateImage(vxitRGB, -1, -1));

  // The image itself is refused past the largest side; a size of its own still works.
  TBitmap strip;
  SizeBitmap(strip, 1, TVantixProc::kMaxFTImageSide + 1, pf24bit);
  proc.SetAttachedBitmap(&strip);
  EXPECT_FALSE(proc.FTCreateImage(vxitRGB, -1, -1));
  std::unique_ptr<TVXFtImage> fitted = proc.FTCreateImage(vxitGrayscale, 1, 64);
  ASSERT_TRUE(fitted);
  EXPECT_EQ(fitted->N(), 64);
  EXPECT_EQ(strip.Height(), TVantixProc::kMaxFTImageSide + 1);
}

}  // namespace
