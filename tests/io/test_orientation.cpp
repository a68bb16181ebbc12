// ApplyOrientation: each of the eight TIFF / EXIF orientations against where the
// stored pixels must end up, for true colour and for two colours.
#include "proc/orientation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "core/vxdefs.h"

using namespace vx;

namespace {

// Where view pixel (x, y) comes from in a stored image of w x h, and the view's size.
struct Case {
  int orientation;
  bool swapsSides;
  std::function<TPoint(int x, int y, int w, int h)> source;
};

const Case kCases[] = {
    {1, false,
     [](int x, int y, int, int) {
       return TPoint{x, y};
     }},
    {2, false,
     [](int x, int y, int w, int) {
       return TPoint{w - 1 - x, y};
     }},
    {3, false,
     [](int x, int y, int w, int h) {
       return TPoint{w - 1 - x, h - 1 - y};
     }},
    {4, false,
     [](int x, int y, int, int h) {
       return TPoint{x, h - 1 - y};
     }},
    // Stored row 0 is the view's left column, stored column 0 its top row.
    {5, true,
     [](int x, int y, int, int) {
       return TPoint{y, x};
     }},
    // Row 0 on the right, column 0 on top: a quarter turn clockwise.
    {6, true,
     [](int x, int y, int, int h) {
       return TPoint{y, h - 1 - x};
     }},
    {7, true,
     [](int x, int y, int w, int h) {
       return TPoint{w - 1 - y, h - 1 - x};
     }},
    // Row 0 on the left, column 0 at the bottom: counter-clockwise.
    {8, true,
     [](int x, int y, int w, int) {
       return TPoint{w - 1 - y, x};
     }},
};

// Every pixel different: its colour names its stored position.
TBitmap Numbered(int w, int h) {
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      reinterpret_cast<TRGB*>(b.ScanLine(y))[x] =
          TRGB{static_cast<uint8_t>(x), static_cast<uint8_t>(y), 200};
  return b;
}

// Two colours with no symmetry any orientation could preserve.
bool BitAt(int x, int y) {
  return (x * 7 + y * 3 + x * y) % 5 < 2;
}

TBitmap TwoColours(int w, int h) {
  TBitmap b;
  SizeBitmap(b, w, h, pf1bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) SetPixelbw(b.ScanLine(y), x, BitAt(x, y));
  return b;
}

TEST(ApplyOrientation, EveryOrientationPutsEachPixelWhereItBelongs) {
  // Sides that are not multiples of eight, so 1-bit rows end inside a byte.
  const int w = 11, h = 6;
  for (const Case& c : kCases) {
    SCOPED_TRACE("orientation " + std::to_string(c.orientation));
    const int vw = c.swapsSides ? h : w, vh = c.swapsSides ? w : h;

    TBitmap colour = Numbered(w, h);
    ASSERT_TRUE(ApplyOrientation(colour, c.orientation));
    ASSERT_EQ(colour.Width(), vw);
    ASSERT_EQ(colour.Height(), vh);
    EXPECT_EQ(colour.PixelFormat(), pf24bit);
    int wrong = 0;
    for (int y = 0; y < vh; ++y)
      for (int x = 0; x < vw; ++x) {
        const TPoint s = c.source(x, y, w, h);
        const TRGB got = reinterpret_cast<const TRGB*>(colour.ScanLine(y))[x];
        if (got.b != s.x || got.g != s.y) ++wrong;
      }
    EXPECT_EQ(wrong, 0);

    TBitmap bits = TwoColours(w, h);
    ASSERT_TRUE(ApplyOrientation(bits, c.orientation));
    ASSERT_EQ(bits.Width(), vw);
    ASSERT_EQ(bits.Height(), vh);
    EXPECT_EQ(bits.PixelFormat(), pf1bit);
    wrong = 0;
    for (int y = 0; y < vh; ++y)
      for (int x = 0; x < vw; ++x) {
        const TPoint s = c.source(x, y, w, h);
        if (GetPixelbw(bits.ScanLine(y), x) != BitAt(s.x, s.y)) ++wrong;
      }
    EXPECT_EQ(wrong, 0);
  }
}

TEST(ApplyOrientation, ValuesOutsideTheEightChangeNothing) {
  for (int orientation : {0, 9, -1, 1000}) {
    TBitmap b = Numbered(5, 3);
    ASSERT_TRUE(ApplyOrientation(b, orientation));
    const TBitmap ref = Numbered(5, 3);
    ASSERT_EQ(b.Width(), 5);
    for (int y = 0; y < 3; ++y)
      EXPECT_EQ(std::memcmp(b.ScanLine(y), ref.ScanLine(y), 15), 0) << orientation;
  }
}

}  // namespace
