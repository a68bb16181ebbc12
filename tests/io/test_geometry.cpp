// Quarter turns, rotation by any angle, flips, canvas resize and cropping, through
// the workers and the processing component.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

#include "platform/canvas.h"
#include "proc/geometry.h"
#include "proc/vantixproc.h"
#include "testhost.h"

using namespace vx;

namespace {

TBitmap RandomImage(int w, int h, unsigned seed, TPixelFormat pf = pf24bit) {
  TBitmap b;
  SizeBitmap(b, w, h, pf);
  std::mt19937 rng(seed);
  const int bytes = (w * StorageBits(pf) + 7) / 8;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < bytes; ++x) b.ScanLine(y)[x] = static_cast<uint8_t>(rng());
  if (pf == pf1bit && w % 8)  // keep the padding bits clear
    for (int y = 0; y < h; ++y)
      b.ScanLine(y)[bytes - 1] &= static_cast<uint8_t>(0xFF << (8 - w % 8));
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

bool Bit(const TBitmap& b, int x, int y) {
  return GetPixelbw(b.ScanLine(y), x);
}

bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat())
    return false;
  const size_t n = static_cast<size_t>((a.Width() * StorageBits(a.PixelFormat()) + 7) / 8);
  for (int y = 0; y < a.Height(); ++y)
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), n) != 0) return false;
  return true;
}

// A generic pixel read for the format-independent checks.
uint32_t Value(const TBitmap& b, int x, int y) {
  if (b.PixelFormat() == pf1bit) return Bit(b, x, y);
  const TRGB c = Px(b, x, y);
  return c.r << 16 | c.g << 8 | c.b;
}

// ---- quarter turns and whole turns ----

TEST(Rotate, QuarterTurnsAreExactAndReversible) {
  for (TPixelFormat pf : {pf24bit, pf1bit}) {
    const TBitmap src = RandomImage(13, 7, 1, pf);
    TVantixProc proc;
    TBitmap b(src);
    proc.SetAttachedBitmap(&b);
    proc.SetAutoUndo(false);

    proc.Rotate(90, true);  // counter-clockwise: the top-right corner goes to the top-left
    ASSERT_EQ(b.Width(), 7);
    ASSERT_EQ(b.Height(), 13);
    for (int y = 0; y < 13; ++y)
      for (int x = 0; x < 7; ++x) ASSERT_EQ(Value(b, x, y), Value(src, 12 - y, x)) << x << "," << y;
    for (int i = 0; i < 3; ++i) proc.Rotate(90, false);
    EXPECT_TRUE(SamePixels(b, src)) << "four quarter turns, format " << static_cast<int>(pf);

    proc.Rotate(180, true);
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 13; ++x) ASSERT_EQ(Value(b, x, y), Value(src, 12 - x, 6 - y));
    proc.Rotate(-180, true);
    EXPECT_TRUE(SamePixels(b, src));

    TBitmap cw(src), ccw270(src);
    proc.SetAttachedBitmap(&cw);
    proc.Rotate(-90, true);
    proc.SetAttachedBitmap(&ccw270);
    proc.Rotate(270, true);
    EXPECT_TRUE(SamePixels(cw, ccw270));
    ASSERT_EQ(cw.Width(), 7);
    EXPECT_EQ(Value(cw, 0, 0), Value(src, 0, 6));  // clockwise: bottom-left to top-left

    for (int whole : {0, 360, -720, 3600}) {
      TBitmap same(src);
      proc.SetAttachedBitmap(&same);
      proc.Rotate(whole, true);
      EXPECT_TRUE(SamePixels(same, src)) << whole;
    }
    TBitmap far(src), near(src);
    proc.SetAttachedBitmap(&far);
    proc.Rotate(90 + 360 * 1000, false);
    proc.SetAttachedBitmap(&near);
    proc.Rotate(90, false);
    EXPECT_TRUE(SamePixels(far, near));
  }
}

// ---- three-shear rotation ----

TEST(Rotate, ShearSizesFollowTheFormulas) {
  // 40 x 30 by 30 degrees: T = tan 15 = 0.267949, S = 0.5.
  // W1 = round(30 T + 41) = 49; S1 = round(9 * 0.5) = 4 (half to even);
  // Hfull = round(49 * 0.5 + 31) = 56 (half to even); S2 = round(22 T) = 6;
  // Hout = 56 - 8 = 48; Wout = round(48 T + 49 + 1 - 12) = 51.
  const TShearSize s = ShearRotateSize(40, 30, 30);
  EXPECT_EQ(s.W1, 49);
  EXPECT_EQ(s.Width, 51);
  EXPECT_EQ(s.Height, 48);
  // The turned picture always fits: its bounding box is W cos + H sin by W sin + H cos.
  for (int a : {-45, -30, -7, 1, 12, 29, 44, 45})
    for (auto [w, h] : {std::pair{40, 30}, std::pair{7, 61}, std::pair{200, 3}}) {
      const double t = std::abs(a) * std::numbers::pi / 180;
      const TShearSize z = ShearRotateSize(w, h, a);
      EXPECT_GE(z.Width + 0.5, w * std::cos(t) + h * std::sin(t)) << a << " " << w << "x" << h;
      EXPECT_GE(z.Height + 0.5, w * std::sin(t) + h * std::cos(t)) << a << " " << w << "x" << h;
    }
}

TEST(Rotate, WithoutAntialiasEveryPixelMovesWhole) {
  // Each shear only moves whole pixels along lines, so the picture's pixels all come
  // through, each once, and each lands next to where an exact rotation puts it.
  const int W = 31, H = 22;
  TBitmap src;
  SizeBitmap(src, W, H, pf24bit);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)  // unique colours, none black (the background)
      reinterpret_cast<TRGB*>(src.ScanLine(y))[x] =
          TRGB{static_cast<uint8_t>(x + 1), static_cast<uint8_t>(y + 1), 77};
  for (int angle : {30, -30, 17, -44, 45, 100, -150, 200}) {
    TBitmap b(src);
    Rotate(b, angle, false, TRGB{}, nullpr);
    int a = angle % 360;
    int quarter = 0;
    while (a > 45) a -= 90, ++quarter;
    while (a < -45) a += 90, --quarter;
    const bool odd = quarter % 2 != 0;
    const TShearSize size = ShearRotateSize(odd ? H : W, odd ? W : H, a);
    ASSERT_EQ(b.Width(), size.Width) << angle;
    ASSERT_EQ(b.Height(), size.Height) << angle;
    std::vector<int> seen(static_cast<size_t>(W * H), 0);
    const double t = angle * std::numbers::pi / 180;
    double worst = 0;
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) {
        const TRGB c = Px(b, x, y);
        if (c == TRGB{}) continue;
        ASSERT_EQ(c.r, 77);
        const int sx = c.b - 1, sy = c.g - 1;
        ++seen[static_cast<size_t>(sy * W + sx)];
        // Counter-clockwise on screen (y down) about the centres.
        const double dx = sx + 0.5 - W / 2.0, dy = sy + 0.5 - H / 2.0;
        const double ex = b.Width() / 2.0 + dx * std::cos(t) + dy * std::sin(t);
        const double ey = b.Height() / 2.0 - dx * std::sin(t) + dy * std::cos(t);
        worst = std::max(worst, std::hypot(x + 0.5 - ex, y + 0.5 - ey));
      }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), W * H) << angle;
    EXPECT_LT(worst, 2.0) << angle;
  }
}

TEST(Rotate, AntialiasBlendsWithinTheColours) {
  // A flat picture on another background: the inside keeps its colour exactly, the
  // edges blend between the two and never overshoot, and the total amount of colour
  // (ink) is what it was, up to rounding. The output has the closed-formula size, or
  // one more where the faint blended edge would otherwise be cut.
  const TRGB ink{100, 100, 100}, paper{200, 200, 200};
  const TBitmap src = Uniform(30, 20, ink);
  for (int angle : {30, -23, 45, 10}) {
    TBitmap b(src);
    Rotate(b, angle, true, paper, nullpr);
    const TShearSize size = ShearRotateSize(30, 20, angle);
    ASSERT_GE(b.Width(), size.Width);
    ASSERT_LE(b.Width(), size.Width + 1);
    ASSERT_GE(b.Height(), size.Height);
    ASSERT_LE(b.Height(), size.Height + 1);
    double amount = 0;
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) {
        const TRGB c = Px(b, x, y);
        ASSERT_TRUE(c.r == c.g && c.g == c.b);
        ASSERT_GE(c.r, 100) << angle << " " << x << "," << y;
        ASSERT_LE(c.r, 200) << angle << " " << x << "," << y;
        amount += (200 - c.r) / 100.0;
      }
    EXPECT_NEAR(amount, 600, 3) << angle;
    EXPECT_EQ(Px(b, 0, 0), paper);
    EXPECT_EQ(Px(b, b.Width() - 1, b.Height() - 1), paper);
    EXPECT_EQ(Px(b, b.Width() / 2, b.Height() / 2), ink);
  }
}

TEST(Rotate, AntialiasHandValues) {
  // A 1 x 1 picture of 255 on black by 30 degrees: W1 = 2, Hout = 3, Wout = 2.
  // Pass 1: v = 0, so the row is [255, bg]. Pass 2: column 0 shifts by v = 1 to row
  // 1; column 1 (background) by 0.5. Pass 3, row 1: v = T = 0.267949, so the pixel
  // lies 0.267949 of a pixel right of a whole position: f = round(0.267949 * 4096) =
  // 1098. It keeps (255 * 2998 + 2048) >> 12 = 187 and spills
  // (255 * 1098 + 2048) >> 12 = 68 into the next column.
  TBitmap b = Uniform(1, 1, TRGB{255, 255, 255});
  Rotate(b, 30, true, TRGB{}, nullpr);
  ASSERT_EQ(b.Width(), 2);
  ASSERT_EQ(b.Height(), 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 2; ++x)
      EXPECT_EQ(Px(b, x, y).g, y != 1 ? 0 : x == 0 ? 187 : 68) << x << "," << y;
}

TEST(Rotate, OneBitByInverseMapping) {
  // 20 x 10 by 30 degrees: c = 0.866, s = -0.5 (four decimals); the new size is
  // trunc(17.32 + 5) x trunc(10 + 8.66) = 22 x 18.
  TBitmap src;
  SizeBitmap(src, 20, 10, pf1bit);  // black
  for (int y = 4; y <= 5; ++y)
    for (int x = 9; x <= 10; ++x) SetPixelbw(src.ScanLine(y), x, true);
  TBitmap b(src);
  Rotate1bit(b, 30, false, nullpr);
  ASSERT_EQ(b.PixelFormat(), pf1bit);
  ASSERT_EQ(b.Width(), 22);
  ASSERT_EQ(b.Height(), 18);
  // Destination (i, r) reads source (trunc(c (i - 10.5) + s (r - 8.5) + 9.5),
  // trunc(-s (i - 10.5) + c (r - 8.5) + 4.5)); exactly the pixels that read the 2 x 2 block at (9,
  // 4) hold its set bits.
  int set = 0;
  for (int r = 0; r < 18; ++r)
    for (int i = 0; i < 22; ++i) {
      const int sx = static_cast<int>(0.866 * (i - 10.5) - 0.5 * (r - 8.5) + 9.5);
      const int sy = static_cast<int>(0.5 * (i - 10.5) + 0.866 * (r - 8.5) + 4.5);
      EXPECT_EQ(Bit(b, i, r), sx >= 9 && sx <= 10 && sy >= 4 && sy <= 5) << i << "," << r;
      set += Bit(b, i, r);
    }
  EXPECT_GE(set, 1);
  // Corners outside the source take the fill bit: white through a non-black
  // background of the component.
  TBitmap w(src);
  TVantixProc proc;
  proc.SetAttachedBitmap(&w);
  proc.SetBackground(clWhite);
  proc.Rotate(30, true);
  EXPECT_TRUE(Bit(w, 0, 0));
  EXPECT_TRUE(Bit(w, 21, 17));
  EXPECT_FALSE(Bit(w, 11, 12));
}

// ---- flips ----

TEST(Flip, MirrorsAndTwiceRestores) {
  for (TPixelFormat pf : {pf24bit, pf1bit, pf8bit}) {
    for (int w : {1, 7, 8, 13}) {
      const TBitmap src = RandomImage(w, 5, 3 + w, pf == pf8bit ? pf24bit : pf);
      TBitmap start(src);
      if (pf == pf8bit) start.SetPixelFormat(pf8bit);
      TBitmap h(start), v(start);
      Flip(h, fdHorizontal);
      Flip(v, fdVertical);
      for (int y = 0; y < 5; ++y)
        for (int x = 0; x < w; ++x) {
          if (pf == pf8bit) {
            ASSERT_EQ(h.ScanLine(y)[x], start.ScanLine(y)[w - 1 - x]);
            ASSERT_EQ(v.ScanLine(y)[x], start.ScanLine(4 - y)[x]);
          } else {
            ASSERT_EQ(Value(h, x, y), Value(start, w - 1 - x, y));
            ASSERT_EQ(Value(v, x, y), Value(start, x, 4 - y));
          }
        }
      Flip(h, fdHorizontal);
      Flip(v, fdVertical);
      EXPECT_TRUE(SamePixels(h, start)) << static_cast<int>(pf) << " width " << w;
      EXPECT_TRUE(SamePixels(v, start)) << static_cast<int>(pf) << " width " << w;
    }
  }
}

// ---- canvas resize and crop ----

TEST(ImageResize, NewAreaTakesTheBackground) {
  const TBitmap src = RandomImage(5, 4, 9);
  vxtest::TTestHost host;
  TVantixProc proc;
  proc.SetAttachedVantix(&host);
  TBitmap& b = *host.GetFBitmap();
  b.Assign(src);
  host.background = clRed;
  proc.ImageResize(8, 6);
  ASSERT_EQ(b.Width(), 8);
  ASSERT_EQ(b.Height(), 6);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(Px(b, x, y), x < 5 && y < 4 ? Px(src, x, y) : CreateRGB(255, 0, 0))
          << x << "," << y;
  EXPECT_GE(host.updates, 1);
  proc.ImageResize(3, 2);
  ASSERT_EQ(b.Width(), 3);
  EXPECT_EQ(Px(b, 2, 1), Px(src, 2, 1));
  proc.ImageResize(0, 5);
  proc.ImageResize(4, -1);
  EXPECT_EQ(b.Width(), 3);
  EXPECT_EQ(b.Height(), 2);
  proc.Undo();  // the copy from before the last change that happened
  EXPECT_EQ(b.Width(), 8);

  TBitmap mono;
  SizeBitmap(mono, 3, 3, pf1bit);
  proc.SetAttachedBitmap(&mono);
  proc.SetBackground(clWhite);
  proc.ImageResize(10, 4);
  ASSERT_EQ(mono.PixelFormat(), pf1bit);
  EXPECT_FALSE(Bit(mono, 2, 2));
  EXPECT_TRUE(Bit(mono, 9, 3));
  EXPECT_TRUE(Bit(mono, 0, 3));
}

TEST(CropSel, KeepsExactlyTheInclusiveSelection) {
  const TBitmap src = RandomImage(30, 25, 10);
  TBitmap b(src);
  TVantixProc proc;
  proc.SetAttachedBitmap(&b);
  proc.CropSel();  // no selection: nothing
  EXPECT_TRUE(SamePixels(b, src));
  proc.Select(10, 10, 20, 20);
  proc.CropSel();
  ASSERT_EQ(b.Width(), 11);
  ASSERT_EQ(b.Height(), 11);
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x < 11; ++x) ASSERT_EQ(Px(b, x, y), Px(src, 10 + x, 10 + y));
  proc.Undo();
  EXPECT_TRUE(SamePixels(b, src));
  // Corners given the other way round, and a selection reaching past the image.
  proc.Select(29, 24, 25, 100);
  proc.CropSel();
  ASSERT_EQ(b.Width(), 5);
  ASSERT_EQ(b.Height(), 1);
  EXPECT_EQ(Px(b, 4, 0), Px(src, 29, 24));

  // A polygon keeps only what lies inside it; the rest is black.
  vxtest::TTestHost host;
  proc.SetAttachedVantix(&host);
  host.GetFBitmap()->Assign(src);
  const std::vector<vx::TPoint> triangle = {{4, 2}, {24, 6}, {8, 20}};
  host.selKind = skPolygon;
  host.selRect = Rect(4, 2, 24, 20);
  host.selPolygon = triangle;
  proc.CropSel();
  const TBitmap& c = *host.GetFBitmap();
  ASSERT_EQ(c.Width(), 21);
  ASSERT_EQ(c.Height(), 19);
  for (int y = 0; y < 19; ++y)
    for (int x = 0; x < 21; ++x) {
      const bool in = PointInPolygonEvenOdd(triangle, x + 4, y + 2);
      ASSERT_EQ(Px(c, x, y), in ? Px(src, x + 4, y + 2) : TRGB{}) << x << "," << y;
    }
  proc.SetAttachedVantix(nullptr);
}

TEST(Geometry, EmptyAndTinyImagesAreSafe) {
  TBitmap empty;
  Rotate(empty, 30, true, TRGB{}, nullpr);
  Flip(empty, fdHorizontal);
  Rotate1bit(empty, 30, true, nullpr);
  TBitmap one = Uniform(1, 1, TRGB{1, 2, 3});
  for (int a : {1, 44, 45, 46, -89, 91, 359, -1}) {
    TBitmap b(one);
    Rotate(b, a, a % 2 == 0, TRGB{}, nullpr);
    EXPECT_GE(b.Width(), 1);
    EXPECT_GE(b.Height(), 1);
  }
  TBitmap line = RandomImage(200, 1, 4);
  Rotate(line, 33, true, TRGB{9, 9, 9}, nullpr);
  EXPECT_GT(line.Height(), 100);
}

}  // namespace
