// TCanvas over TBitmap. Fixtures are written byte by byte or through the bitmap's own
// format conversion, and results are read back the same way, so the canvas's colour
// coding is checked against an independent path.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/syscolors.h"

namespace vx {
namespace {

TColor Grey(int v) {
  return v | (v << 8) | (v << 16);
}

// A bitmap of the given format whose pixels come from f(x, y), built as 24 bits and
// converted by TBitmap itself.
TBitmap Make(int w, int h, TPixelFormat pf, const std::function<TColor(int, int)>& f) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      const TColor c = f(x, y);
      row[3 * x] = static_cast<uint8_t>(c >> 16);
      row[3 * x + 1] = static_cast<uint8_t>(c >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(c);
    }
  }
  b.SetPixelFormat(pf);
  return b;
}

TBitmap Solid(int w, int h, TPixelFormat pf, TColor c) {
  return Make(w, h, pf, [c](int, int) { return c; });
}

// All pixels as 0x00BBGGRR, row by row, read after TBitmap's own conversion to 24 bits.
std::vector<TColor> Pixels(const TBitmap& src) {
  TBitmap b(src);
  b.SetPixelFormat(pf24bit);
  std::vector<TColor> out;
  for (int y = 0; y < b.Height(); ++y) {
    const uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < b.Width(); ++x)
      out.push_back(row[3 * x + 2] | (row[3 * x + 1] << 8) | (row[3 * x] << 16));
  }
  return out;
}

// Compares every pixel with expect(x, y); reports the first few differences.
void ExpectPixels(const TBitmap& b, const std::function<TColor(int, int)>& expect,
                  const std::string& what) {
  const std::vector<TColor> px = Pixels(b);
  int bad = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const TColor got = px[static_cast<size_t>(y * b.Width() + x)], want = expect(x, y);
      if (got != want && ++bad <= 5)
        ADD_FAILURE() << what << ": pixel (" << x << ", " << y << ") is " << std::hex << got
                      << ", expected " << want;
    }
}

bool In(int x, int y, const TRect& r) {
  return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// Distinct colour per source pixel.
TColor Tag(int x, int y) {
  return (x * 40 + 5) | ((y * 40 + 7) << 8) | (0x55 << 16);
}

// ---------------------------------------------------------------------------------

TEST(CanvasFill, SolidOnEachFormat) {
  struct Case {
    TPixelFormat pf;
    TColor brush;
    TColor stored;  // what the format keeps of it
  };
  const Case cases[] = {
      {pf24bit, 0x123456, 0x123456},
      {pf24bit, clBtnFace, 0xC8D0D4},  // system colour resolved
      {pf32bit, 0x123456, 0x123456},
      {pf8bit, clRed, Grey(85)},  // nearest entry of the grey palette
      {pf4bit, clLime, clLime},
      {pf1bit, clSilver, clWhite},  // nearer to white
      {pf1bit, clRed, clBlack},     // nearer to black
      {pf1bit, Grey(128), clWhite},
      {pf1bit, Grey(127), clBlack},
  };
  // 40 columns so the 1- and 4-bit fills cross several bytes with ragged ends.
  const TRect r = Rect(3, 1, 37, 3);
  for (const Case& c : cases) {
    TBitmap b = Solid(40, 4, c.pf, clBlack);
    if (c.pf == pf1bit && c.stored == clBlack) b = Solid(40, 4, c.pf, clWhite);
    const TColor background = Pixels(b)[0];
    b.Canvas().Brush().Color = c.brush;
    b.Canvas().FillRect(r);
    ExpectPixels(
        b, [&](int x, int y) { return In(x, y, r) ? c.stored : background; },
        "format " + std::to_string(static_cast<int>(c.pf)) + " brush " + std::to_string(c.brush));
  }
}

TEST(CanvasFill, ClearBrushDrawsNothing) {
  TBitmap b = Solid(8, 8, pf24bit, 0x102030);
  b.Canvas().Brush() = {clRed, bsClear};
  b.Canvas().FillRect(Rect(0, 0, 8, 8));
  b.Canvas().Polygon({{0, 0}, {8, 0}, {0, 8}});
  ExpectPixels(
      b, [](int, int) { return 0x102030; }, "bsClear");
}

TEST(CanvasFill, HatchPatterns) {
  struct Case {
    TBrushStyle style;
    std::vector<TPoint> painted;
    std::vector<TPoint> untouched;
  };
  const Case cases[] = {
      {bsHorizontal, {{0, 0}, {5, 0}, {13, 8}}, {{0, 1}, {3, 7}, {8, 9}}},
      {bsVertical, {{0, 0}, {0, 5}, {8, 13}}, {{1, 0}, {7, 7}, {9, 8}}},
      {bsFDiagonal, {{0, 0}, {3, 3}, {9, 1}, {7, 15}}, {{1, 0}, {7, 0}, {0, 7}}},
      {bsBDiagonal, {{7, 0}, {0, 7}, {6, 1}, {15, 0}}, {{0, 0}, {3, 3}, {8, 8}}},
      {bsCross, {{0, 0}, {5, 0}, {0, 5}, {8, 13}}, {{1, 1}, {3, 4}, {9, 9}}},
      {bsDiagCross, {{0, 0}, {7, 0}, {3, 4}, {4, 3}, {10, 10}}, {{1, 0}, {2, 3}, {0, 4}}},
  };
  // Unpainted pixels keep what was there: a colour on 24 bits, black on 1 bit.
  for (const auto& [pf, background] :
       {std::pair{pf24bit, TColor{0x102030}}, std::pair{pf1bit, clBlack}}) {
    for (const Case& c : cases) {
      TBitmap b = Solid(16, 16, pf, background);
      b.Canvas().Brush() = {clWhite, c.style};
      b.Canvas().FillRect(Rect(0, 0, 16, 16));
      const std::vector<TColor> px = Pixels(b);
      const auto at = [&](TPoint p) { return px[static_cast<size_t>(p.y * 16 + p.x)]; };
      const std::string what = "style " + std::to_string(static_cast<int>(c.style)) + " format " +
                               std::to_string(static_cast<int>(pf));
      for (TPoint p : c.painted) EXPECT_EQ(at(p), clWhite) << what << " at " << p.x << "," << p.y;
      for (TPoint p : c.untouched)
        EXPECT_EQ(at(p), background) << what << " at " << p.x << "," << p.y;
    }
  }
}

TEST(CanvasFill, HatchIsAlignedToTheBitmapNotTheRect) {
  TBitmap b = Solid(16, 16, pf24bit, clBlack);
  TCanvas& c = b.Canvas();
  c.Brush() = {clWhite, bsVertical};
  c.FillRect(Rect(3, 2, 12, 6));
  EXPECT_EQ(c.Pixel(3, 2), clBlack);  // first column of the rect is pattern column 3
  EXPECT_EQ(c.Pixel(8, 2), clWhite);
  EXPECT_EQ(c.Pixel(8, 5), clWhite);
  EXPECT_EQ(c.Pixel(8, 6), clBlack);  // below the rect
  EXPECT_EQ(c.Pixel(0, 3), clBlack);  // left of the rect
}

TEST(CanvasFill, ClipsToTheBitmap) {
  struct Case {
    TRect rect;
    TRect painted;
  };
  const Case cases[] = {
      {Rect(-5, -5, 2, 2), Rect(0, 0, 2, 2)},
      {Rect(3, 3, 100, 100), Rect(3, 3, 5, 5)},
      {Rect(-100, 1, 100, 2), Rect(0, 1, 5, 2)},
      {Rect(-10, -10, -1, -1), TRect{}},  // wholly outside
      {Rect(4, 4, 1, 1), TRect{}},        // inverted
      {Rect(2, 2, 2, 5), TRect{}},        // empty
      {Rect(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX), Rect(0, 0, 5, 5)},
  };
  for (const Case& c : cases) {
    for (TPixelFormat pf : {pf24bit, pf1bit}) {
      TBitmap b = Solid(5, 5, pf, clBlack);
      b.Canvas().Brush().Color = clWhite;
      b.Canvas().FillRect(c.rect);
      ExpectPixels(
          b, [&](int x, int y) { return In(x, y, c.painted) ? clWhite : clBlack; },
          "rect " + std::to_string(c.rect.left) + "," + std::to_string(c.rect.top) + "," +
              std::to_string(c.rect.right) + "," + std::to_string(c.rect.bottom));
    }
  }
}

// ---------------------------------------------------------------------------------

TEST(CanvasDraw, OffsetsAndClipping) {
  const TBitmap src = Make(4, 3, pf24bit, Tag);
  const TPoint offsets[] = {{1, 1}, {-2, -1}, {4, 3}, {-3, 2}, {10, 0}, {-4, 0}, {0, -3}};
  for (TPoint o : offsets) {
    TBitmap dst = Solid(6, 5, pf24bit, 0x808080);
    dst.Canvas().Draw(o.x, o.y, src);
    ExpectPixels(
        dst,
        [&](int x, int y) {
          return In(x, y, Rect(o.x, o.y, o.x + 4, o.y + 3)) ? Tag(x - o.x, y - o.y) : 0x808080;
        },
        "offset " + std::to_string(o.x) + "," + std::to_string(o.y));
  }
}

TEST(CanvasDraw, BetweenFormats) {
  // Black and white exist in every palette, so each pair must copy exactly; odd
  // widths and offsets make the 1- and 4-bit paths realign bits inside bytes.
  const auto pattern = [](int x, int y) { return (x * 7 + y * 3) % 5 < 2 ? clWhite : clBlack; };
  const std::pair<TPixelFormat, TPixelFormat> pairs[] = {
      {pf1bit, pf24bit}, {pf24bit, pf1bit}, {pf1bit, pf1bit}, {pf8bit, pf32bit},
      {pf32bit, pf8bit}, {pf24bit, pf4bit}, {pf4bit, pf1bit}, {pf16bit, pf24bit},
  };
  const int ox = 5, oy = 1;
  for (const auto& [sf, df] : pairs) {
    const TBitmap src = Make(11, 3, sf, pattern);
    // A striped destination shows whether bits next to the copy survive.
    const auto back = [](int x, int) { return x % 2 ? clWhite : clBlack; };
    TBitmap dst = Make(21, 5, df, back);
    dst.Canvas().Draw(ox, oy, src);
    ExpectPixels(
        dst,
        [&](int x, int y) {
          return In(x, y, Rect(ox, oy, ox + 11, oy + 3)) ? pattern(x - ox, y - oy) : back(x, y);
        },
        "formats " + std::to_string(static_cast<int>(sf)) + " -> " +
            std::to_string(static_cast<int>(df)));
  }
}

TEST(CanvasDraw, ConvertsColoursWhenPalettesDiffer) {
  // Index 0 is white in the source: the copy must keep the colour, not the index.
  TBitmap src = Solid(3, 1, pf8bit, clBlack);
  std::vector<TRGB> pal(256);
  pal[0] = {255, 255, 255};
  src.SetPalette(pal);
  TBitmap dst = Solid(3, 1, pf8bit, clBlack);
  dst.Canvas().Draw(0, 0, src);
  ExpectPixels(
      dst, [](int, int) { return clWhite; }, "palette");
}

TEST(CanvasDraw, SourceRectAndSelfOverlap) {
  TBitmap dst = Solid(6, 5, pf24bit, 0x808080);
  const TBitmap src = Make(4, 3, pf24bit, Tag);
  // Part of the source rect lies outside the source; only the real pixels land.
  dst.Canvas().Draw(1, 1, src, Rect(2, -1, 6, 2));
  ExpectPixels(
      dst, [&](int x, int y) { return In(x, y, Rect(1, 2, 3, 4)) ? Tag(x + 1, y - 2) : 0x808080; },
      "source rect");

  TBitmap self = Make(6, 2, pf24bit, Tag);
  self.Canvas().Draw(1, 0, self);
  ExpectPixels(
      self, [](int x, int y) { return Tag(x == 0 ? 0 : x - 1, y); }, "self overlap");
}

// ---------------------------------------------------------------------------------

TEST(CanvasStretch, NearestIntegerZoomsReplicate) {
  const TBitmap src = Make(3, 2, pf24bit, Tag);
  for (int k : {2, 3}) {
    for (TPixelFormat df : {pf24bit, pf32bit}) {
      TBitmap dst = Solid(3 * k, 2 * k, df, clBlack);
      dst.Canvas().StretchDraw(Rect(0, 0, 3 * k, 2 * k), src, smNearest);
      ExpectPixels(
          dst, [&](int x, int y) { return Tag(x / k, y / k); }, "zoom " + std::to_string(k));
    }
  }
  // Through 1-bit: every source bit becomes a k x k block.
  const auto bits = [](int x, int y) { return (x + y) % 2 ? clWhite : clBlack; };
  TBitmap dst = Solid(9, 9, pf24bit, 0x808080);
  dst.Canvas().StretchDraw(Rect(0, 0, 9, 9), Make(3, 3, pf1bit, bits), smNearest);
  ExpectPixels(
      dst, [&](int x, int y) { return bits(x / 3, y / 3); }, "1-bit zoom 3");
}

TEST(CanvasStretch, NearestReductionSamplesPixelCentres) {
  // floor((d + 0.5) * s / n): 4 -> 2 takes columns 1 and 3; 5 -> 2 takes 1 and 3.
  TBitmap dst = Solid(2, 2, pf24bit, clBlack);
  dst.Canvas().StretchDraw(Rect(0, 0, 2, 2), Make(4, 4, pf24bit, Tag), smNearest);
  ExpectPixels(
      dst, [](int x, int y) { return Tag(2 * x + 1, 2 * y + 1); }, "4 -> 2");
  dst.Canvas().StretchDraw(Rect(0, 0, 2, 2), Make(5, 5, pf24bit, Tag), smNearest);
  ExpectPixels(
      dst, [](int x, int y) { return Tag(2 * x + 1, 2 * y + 1); }, "5 -> 2");
}

TEST(CanvasStretch, DestPartlyOutsideIsClipped) {
  // dest (-2, -2)-(4, 4) doubles a 3x3 source; the bitmap shows dest columns and
  // rows 2..5 and nothing right of or below them.
  for (TStretchMode mode : {smNearest, smHalftone}) {
    TBitmap dst = Solid(5, 5, pf24bit, clBlack);
    dst.Canvas().StretchDraw(Rect(-2, -2, 4, 4), Make(3, 3, pf24bit, Tag), mode);
    ExpectPixels(
        dst,
        [](int x, int y) {
          return In(x, y, Rect(0, 0, 4, 4)) ? Tag((x + 2) / 2, (y + 2) / 2) : clBlack;
        },
        "mode " + std::to_string(static_cast<int>(mode)));
  }
  TBitmap dst = Solid(3, 3, pf24bit, clBlack);
  dst.Canvas().StretchDraw(Rect(2, 2, 1, 1), Make(3, 3, pf24bit, Tag));  // inverted
  dst.Canvas().StretchDraw(Rect(0, 0, 3, 3), TBitmap());                 // empty source
  ExpectPixels(
      dst, [](int, int) { return clBlack; }, "nothing drawn");
}

TEST(CanvasStretch, HalftoneAveragesCoveredArea) {
  // Rounding is half up: black/white checkerboard gives 127.5 -> 128.
  const auto checker = [](int x, int y) { return (x + y) % 2 ? clWhite : clBlack; };
  for (TPixelFormat sf : {pf24bit, pf1bit}) {
    TBitmap dst = Solid(1, 1, pf24bit, clRed);
    dst.Canvas().StretchDraw(Rect(0, 0, 1, 1), Make(2, 2, sf, checker), smHalftone);
    EXPECT_EQ(dst.Canvas().Pixel(0, 0), Grey(128)) << "source format " << static_cast<int>(sf);
  }

  // 4x4 -> 2x2: each destination pixel is the mean of one 2x2 block.
  const int grey[4][4] = {{0, 255, 10, 20}, {255, 0, 30, 40}, {1, 1, 100, 101}, {1, 2, 101, 101}};
  TBitmap dst = Solid(2, 2, pf24bit, clBlack);
  dst.Canvas().StretchDraw(Rect(0, 0, 2, 2),
                           Make(4, 4, pf24bit, [&](int x, int y) { return Grey(grey[y][x]); }),
                           smHalftone);
  const int want[2][2] = {{128, 25}, {1, 101}};  // 127.5, 25, 1.25, 100.75
  ExpectPixels(
      dst, [&](int x, int y) { return Grey(want[y][x]); }, "4x4 -> 2x2");

  // Fractional coverage: 3 -> 2 weighs the middle pixel half into each side, and
  // channels are averaged independently.
  dst = Solid(2, 1, pf24bit, clBlack);
  dst.Canvas().StretchDraw(
      Rect(0, 0, 2, 1),
      Make(3, 1, pf24bit, [](int x, int) { return (x * 90) | ((180 - x * 90) << 16); }),
      smHalftone);
  EXPECT_EQ(dst.Canvas().Pixel(0, 0), 30 | (150 << 16));
  EXPECT_EQ(dst.Canvas().Pixel(1, 0), 150 | (30 << 16));
}

TEST(CanvasStretch, HalftoneEnlargement) {
  const TBitmap src = Make(2, 1, pf24bit, [](int x, int) { return Grey(x * 200); });
  TBitmap dst = Solid(4, 1, pf24bit, clRed);
  dst.Canvas().StretchDraw(Rect(0, 0, 4, 1), src, smHalftone);
  ExpectPixels(
      dst, [](int x, int) { return Grey(x < 2 ? 0 : 200); }, "2 -> 4");
  dst = Solid(3, 1, pf24bit, clRed);
  dst.Canvas().StretchDraw(Rect(0, 0, 3, 1), src, smHalftone);
  ExpectPixels(
      dst, [](int x, int) { return Grey(x * 100); }, "2 -> 3");
}

// ---------------------------------------------------------------------------------

std::vector<TPoint> Star() {
  // A pentagram drawn as one self-intersecting path; its inner pentagon is crossed
  // twice and so lies outside by the even-odd rule.
  return {{20, 2}, {31, 36}, {2, 14}, {38, 14}, {9, 36}};
}

TEST(CanvasPolygon, EvenOddStar) {
  TBitmap b = Solid(40, 40, pf24bit, clBlack);
  b.Canvas().Brush().Color = clWhite;
  b.Canvas().Polygon(Star());
  TCanvas& c = b.Canvas();
  EXPECT_EQ(c.Pixel(20, 20), clBlack);  // centre
  EXPECT_EQ(c.Pixel(20, 5), clWhite);   // top point
  EXPECT_EQ(c.Pixel(6, 15), clWhite);   // left point
  EXPECT_EQ(c.Pixel(33, 15), clWhite);  // right point
  EXPECT_EQ(c.Pixel(10, 34), clWhite);  // lower left point
  EXPECT_EQ(c.Pixel(20, 34), clBlack);  // between the lower points
  EXPECT_EQ(c.Pixel(1, 1), clBlack);
  // The fill and the point test must agree on every pixel.
  ExpectPixels(
      b, [](int x, int y) { return PointInPolygonEvenOdd(Star(), x, y) ? clWhite : clBlack; },
      "star vs point test");
}

TEST(CanvasPolygon, RectangleAndClipping) {
  struct Case {
    std::vector<TPoint> poly;
    TRect filled;
  };
  const Case cases[] = {
      {{{2, 3}, {7, 3}, {7, 8}, {2, 8}}, Rect(2, 3, 7, 8)},
      {{{7, 8}, {7, 3}, {2, 3}, {2, 8}}, Rect(2, 3, 7, 8)},  // other winding
      {{{-5, -5}, {3, -5}, {3, 3}, {-5, 3}}, Rect(0, 0, 3, 3)},
      {{{-100, -100}, {100, -100}, {100, 100}, {-100, 100}}, Rect(0, 0, 10, 10)},
      {{{2, 2}, {8, 2}}, TRect{}},                // too few points
      {{{2, 2}, {8, 2}, {5, 2}}, TRect{}},        // no area
      {{{20, 20}, {30, 20}, {30, 30}}, TRect{}},  // outside
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    for (TPixelFormat pf : {pf24bit, pf1bit, pf8bit}) {
      TBitmap b = Solid(10, 10, pf, clBlack);
      b.Canvas().Brush().Color = clWhite;
      b.Canvas().Polygon(cases[i].poly);
      ExpectPixels(
          b, [&](int x, int y) { return In(x, y, cases[i].filled) ? clWhite : clBlack; },
          "case " + std::to_string(i) + " format " + std::to_string(static_cast<int>(pf)));
    }
  }
}

TEST(CanvasPolygon, PointTestEdges) {
  const std::vector<TPoint> square = {{0, 0}, {4, 0}, {4, 4}, {0, 4}};
  // Arguments are pixel coordinates; the point tested is (x + 0.5, y + 0.5).
  EXPECT_TRUE(PointInPolygonEvenOdd(square, 0, 0));
  EXPECT_TRUE(PointInPolygonEvenOdd(square, 3, 3));
  EXPECT_FALSE(PointInPolygonEvenOdd(square, 4, 0));
  EXPECT_FALSE(PointInPolygonEvenOdd(square, -1, 2));
  EXPECT_TRUE(PointInPolygonEvenOdd(square, -0.5, 1));  // on the left edge: inside
  EXPECT_FALSE(PointInPolygonEvenOdd(square, 3.5, 1));  // on the right edge: outside
  EXPECT_TRUE(PointInPolygonEvenOdd(square, 1, -0.5));  // top edge: inside
  EXPECT_FALSE(PointInPolygonEvenOdd(square, 1, 3.5));  // bottom edge: outside
  EXPECT_FALSE(PointInPolygonEvenOdd({{0, 0}, {4, 4}}, 1, 1));
}

TEST(CanvasPolygon, HatchBrush) {
  TBitmap b = Solid(16, 16, pf24bit, clBlack);
  b.Canvas().Brush() = {clWhite, bsHorizontal};
  b.Canvas().Polygon({{2, 2}, {14, 2}, {14, 14}, {2, 14}});
  ExpectPixels(
      b,
      [](int x, int y) { return In(x, y, Rect(2, 2, 14, 14)) && y % 8 == 0 ? clWhite : clBlack; },
      "hatched polygon");
}

TEST(CanvasDrawClipped, ThroughTriangle) {
  // The triangle reaches past the source's placement: pixels outside the source
  // stay, pixels outside the triangle stay.
  const std::vector<TPoint> tri = {{0, 0}, {12, 0}, {0, 12}};
  const TRect placed = Rect(2, 2, 8, 8);
  for (TPixelFormat df : {pf24bit, pf1bit}) {
    const TBitmap src = Solid(6, 6, pf24bit, clWhite);
    TBitmap dst = Solid(12, 12, df, clBlack);
    dst.Canvas().DrawClipped(placed.left, placed.top, src, tri);
    TCanvas& c = dst.Canvas();
    EXPECT_EQ(c.Pixel(2, 2), clWhite);
    EXPECT_EQ(c.Pixel(7, 3), clWhite);  // centre (7.5, 3.5): 11 < 12
    EXPECT_EQ(c.Pixel(7, 4), clBlack);  // centre (7.5, 4.5): 12, on the hypotenuse
    EXPECT_EQ(c.Pixel(7, 7), clBlack);  // inside the source, outside the triangle
    EXPECT_EQ(c.Pixel(1, 1), clBlack);  // inside the triangle, outside the source
    ExpectPixels(
        dst,
        [&](int x, int y) {
          return In(x, y, placed) && PointInPolygonEvenOdd(tri, x, y) ? clWhite : clBlack;
        },
        "format " + std::to_string(static_cast<int>(df)));
  }
}

TEST(CanvasDrawClipped, CopiesTheMatchingSourcePixels) {
  const TBitmap src = Make(5, 4, pf24bit, Tag);
  TBitmap dst = Solid(8, 8, pf24bit, clBlack);
  const std::vector<TPoint> poly = {{0, 0}, {8, 0}, {8, 8}, {0, 8}};
  dst.Canvas().DrawClipped(-1, 5, src, poly);
  ExpectPixels(
      dst, [](int x, int y) { return In(x, y, Rect(0, 5, 4, 8)) ? Tag(x + 1, y - 5) : clBlack; },
      "offset copy");
}

// ---------------------------------------------------------------------------------

TEST(CanvasPixel, BoundsChecked) {
  for (TPixelFormat pf : {pf24bit, pf1bit, pf8bit, pf32bit}) {
    TBitmap b = Solid(9, 3, pf, clBlack);
    TCanvas& c = b.Canvas();
    for (TPoint p : {TPoint{-1, 0}, TPoint{0, -1}, TPoint{9, 0}, TPoint{0, 3}}) {
      EXPECT_EQ(c.Pixel(p.x, p.y), clNone);
      c.SetPixel(p.x, p.y, clWhite);
    }
    ExpectPixels(
        b, [](int, int) { return clBlack; }, "outside writes");
    c.SetPixel(8, 2, clWindow);  // system colour, white by default
    EXPECT_EQ(c.Pixel(8, 2), clWhite);
    EXPECT_EQ(c.Pixel(7, 2), clBlack);
  }
  TBitmap empty;
  EXPECT_EQ(empty.Canvas().Pixel(0, 0), clNone);
}

TEST(CanvasLine, Bresenham) {
  struct Case {
    TPoint a, b;
    std::vector<TPoint> drawn;  // exactly these pixels
  };
  const Case cases[] = {
      {{0, 0}, {5, 0}, {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}}},
      {{5, 1}, {1, 1}, {{5, 1}, {4, 1}, {3, 1}, {2, 1}}},
      {{0, 0}, {4, 4}, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}},
      {{0, 0}, {2, 6}, {{0, 0}, {0, 1}, {1, 2}, {1, 3}, {1, 4}, {2, 5}}},
      {{0, 0}, {6, 2}, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}, {5, 2}}},
      {{-3, 2}, {3, 2}, {{0, 2}, {1, 2}, {2, 2}}},
      {{3, 3}, {3, 3}, {}},
      {{INT32_MIN, 4},
       {INT32_MAX, 4},
       {{0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}, {5, 4}, {6, 4}, {7, 4}}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    TBitmap b = Solid(8, 8, pf24bit, clBlack);
    b.Canvas().Pen().Color = clWhite;
    b.Canvas().Line(cases[i].a.x, cases[i].a.y, cases[i].b.x, cases[i].b.y);
    ExpectPixels(
        b,
        [&](int x, int y) {
          for (TPoint p : cases[i].drawn)
            if (p == TPoint{x, y}) return clWhite;
          return clBlack;
        },
        "line case " + std::to_string(i));
  }
}

TEST(CanvasLine, WidePenPaintsSquares) {
  TBitmap b = Solid(10, 10, pf1bit, clBlack);
  b.Canvas().Pen() = {clWhite, 3};
  b.Canvas().Line(5, 5, 7, 5);  // points (5, 5) and (6, 5)
  ExpectPixels(
      b, [](int x, int y) { return In(x, y, Rect(4, 4, 8, 7)) ? clWhite : clBlack; }, "width 3");
}

}  // namespace
}  // namespace vx
