// Pixel transfer: DIB and video-frame decoding, the packed-DIB encoder, region
// and polygon copies, the magic wand.
#include <gtest/gtest.h>

#include "pixellimit.h"

#include <cmath>
#include <cstring>
#include <deque>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "core/vxdefs.h"
#include "platform/canvas.h"
#include "platform/clipboard.h"
#include "proc/dibtransfer.h"
#include "proc/magicwand.h"
#include "proc/vantixproc.h"

using namespace vx;

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Append32(Bytes& b, uint32_t v) {
  b.resize(b.size() + 4);
  Put32(b, b.size() - 4, v);
}

Bytes Header(int w, int h, int bits, uint32_t compression = 0, uint32_t clrUsed = 0) {
  Bytes b(40, 0);
  Put32(b, 0, 40);
  Put32(b, 4, static_cast<uint32_t>(w));
  Put32(b, 8, static_cast<uint32_t>(h));
  Put16(b, 12, 1);
  Put16(b, 14, static_cast<uint32_t>(bits));
  Put32(b, 16, compression);
  Put32(b, 32, clrUsed);
  return b;
}

TRGB Px(const TBitmap& b, int x, int y) {
  const uint8_t* p = b.ScanLine(y) + x * 3;
  return TRGB{p[0], p[1], p[2]};
}

void PutPx(uint8_t* p, const TRGB& c) {
  std::memcpy(p, &c, 3);
}

std::string Str(const TRGB& c) {
  return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + ")";
}

// Every pixel of a pf24bit bitmap against expect(x, y).
void ExpectPixels(const TBitmap& b, int w, int h, const std::function<TRGB(int, int)>& expect) {
  ASSERT_EQ(b.PixelFormat(), pf24bit);
  ASSERT_EQ(b.Width(), w);
  ASSERT_EQ(b.Height(), h);
  int errors = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const TRGB want = expect(x, y), got = Px(b, x, y);
      if (!(want == got) && errors++ < 5)
        ADD_FAILURE() << "pixel " << x << "," << y << " want " << Str(want) << " got " << Str(got);
    }
}

TRGB Colour(int x, int y) {
  return TRGB{static_cast<uint8_t>(x * 37 + y * 11), static_cast<uint8_t>(x * 5 + y * 71),
              static_cast<uint8_t>(x * 101 ^ y * 13)};
}

// Rows bottom-up (or top-down) from a per-row encoder, padded to 4 bytes.
Bytes Rows(int h, size_t rowBytes, bool topDown, const std::function<void(int, uint8_t*)>& row) {
  const size_t stride = (rowBytes + 3) / 4 * 4;
  Bytes out(stride * static_cast<size_t>(h), 0);
  for (int i = 0; i < h; ++i) row(topDown ? i : h - 1 - i, &out[stride * static_cast<size_t>(i)]);
  return out;
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// ---- RGB DIBs ----

TEST(CopyDIB2Bitmap, TrueColourFormatsBottomUpAndTopDown) {
  const int w = 5, h = 3;
  for (const bool topDown : {false, true}) {
    SCOPED_TRACE(topDown ? "top-down" : "bottom-up");
    const int hh = topDown ? -h : h;
    // 24 bits.
    {
      const Bytes dib = Concat(Header(w, hh, 24), Rows(h, w * 3, topDown, [&](int y, uint8_t* r) {
                                 for (int x = 0; x < w; ++x) PutPx(r + 3 * x, Colour(x, y));
                               }));
      TBitmap b;
      EXPECT_EQ(CopyDIB2Bitmap(dib, b), 24);
      ExpectPixels(b, w, h, Colour);
    }
    // 32 bits plain: B, G, R, ignored byte.
    {
      const Bytes dib = Concat(Header(w, hh, 32), Rows(h, w * 4, topDown, [&](int y, uint8_t* r) {
                                 for (int x = 0; x < w; ++x) {
                                   PutPx(r + 4 * x, Colour(x, y));
                                   r[4 * x + 3] = 0xAB;
                                 }
                               }));
      TBitmap b;
      EXPECT_EQ(CopyDIB2Bitmap(dib, b), 32);
      ExpectPixels(b, w, h, Colour);
    }
    // 32 bits with bit fields that put red in the low byte.
    {
      Bytes dib = Header(w, hh, 32, 3);
      Append32(dib, 0x000000FF);
      Append32(dib, 0x0000FF00);
      Append32(dib, 0x00FF0000);
      dib = Concat(dib, Rows(h, w * 4, topDown, [&](int y, uint8_t* r) {
                     for (int x = 0; x < w; ++x) {
                       const TRGB d = Colour(x, y);
                       r[4 * x] = d.r;
                       r[4 * x + 1] = d.g;
                       r[4 * x + 2] = d.b;
                     }
                   }));
      TBitmap b;
      EXPECT_EQ(CopyDIB2Bitmap(dib, b), 32);
      ExpectPixels(b, w, h, Colour);
    }
  }
}

TEST(CopyDIB2Bitmap, SixteenBitMasks) {
  const auto f5 = [](int v) { return static_cast<uint8_t>((v & 31) << 3); };
  const auto f6 = [](int v) { return static_cast<uint8_t>((v & 63) << 2); };
  const int w = 3, h = 2;
  const auto pixel = [](int x, int y) {
    return static_cast<uint16_t>(x * 0x1357 + y * 0x2461 + 0x7FFF * (x == 0 && y == 0));
  };
  // 5-5-5 without masks; pixel (0, 0) = 0x7FFF decodes as 248 grey.
  {
    const Bytes dib = Concat(Header(w, h, 16), Rows(h, w * 2, false, [&](int y, uint8_t* r) {
                               for (int x = 0; x < w; ++x) {
                                 const uint16_t p = x == 0 && y == 0 ? 0x7FFF : pixel(x, y);
                                 r[2 * x] = static_cast<uint8_t>(p);
                                 r[2 * x + 1] = static_cast<uint8_t>(p >> 8);
                               }
                             }));
    TBitmap b;
    EXPECT_EQ(CopyDIB2Bitmap(dib, b), 16);
    ExpectPixels(b, w, h, [&](int x, int y) {
      const int p = x == 0 && y == 0 ? 0x7FFF : pixel(x, y);
      return CreateRGB(f5(p >> 10), f5(p >> 5), f5(p));
    });
    EXPECT_EQ(Px(b, 0, 0), CreateRGB(248, 248, 248));
  }
  // 5-6-5 bit fields; pure red 0xF800 is (248, 0, 0).
  {
    Bytes dib = Header(w, h, 16, 3);
    Append32(dib, 0xF800);
    Append32(dib, 0x07E0);
    Append32(dib, 0x001F);
    dib = Concat(dib, Rows(h, w * 2, false, [&](int y, uint8_t* r) {
                   for (int x = 0; x < w; ++x) {
                     const uint16_t p = x == 0 && y == 0 ? 0xF800 : pixel(x, y);
                     r[2 * x] = static_cast<uint8_t>(p);
                     r[2 * x + 1] = static_cast<uint8_t>(p >> 8);
                   }
                 }));
    TBitmap b;
    EXPECT_EQ(CopyDIB2Bitmap(dib, b), 16);
    ExpectPixels(b, w, h, [&](int x, int y) {
      const int p = x == 0 && y == 0 ? 0xF800 : pixel(x, y);
      return CreateRGB(f5(p >> 11), f6(p >> 5), f5(p));
    });
    EXPECT_EQ(Px(b, 0, 0), CreateRGB(248, 0, 0));
  }
}

TEST(CopyDIB2Bitmap, PaletteFormats) {
  std::vector<TRGB> pal(256);
  for (int i = 0; i < 256; ++i)
    pal[i] = CreateRGB(static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                       static_cast<uint8_t>(i * 7));
  const auto table = [&](int n) {
    Bytes t;
    for (int i = 0; i < n; ++i) {
      t.push_back(pal[i].b);
      t.push_back(pal[i].g);
      t.push_back(pal[i].r);
      t.push_back(0);
    }
    return t;
  };
  const auto index = [](int x, int y, int bits) { return (x * 3 + y * 5) % (1 << bits); };
  // 8 bits with the full table, and with a shorter biClrUsed table.
  for (const int used : {0, 40}) {
    const int w = 7, h = 3;
    const int entries = used ? used : 256;
    const Bytes dib =
        Concat(Concat(Header(w, h, 8, 0, static_cast<uint32_t>(used)), table(entries)),
               Rows(h, w, false, [&](int y, uint8_t* r) {
                 for (int x = 0; x < w; ++x) r[x] = static_cast<uint8_t>(index(x, y, 8) % entries);
               }));
    TBitmap b;
    EXPECT_EQ(CopyDIB2Bitmap(dib, b), 8);
    ExpectPixels(b, w, h, [&](int x, int y) { return pal[index(x, y, 8) % entries]; });
  }
  // 4 bits, odd width: the last byte holds only a high nibble.
  {
    const int w = 5, h = 4;
    const Bytes dib =
        Concat(Concat(Header(w, -h, 4), table(16)), Rows(h, 3, true, [&](int y, uint8_t* r) {
                 for (int x = 0; x < w; ++x)
                   r[x / 2] |= static_cast<uint8_t>(index(x, y, 4) << (x % 2 ? 0 : 4));
               }));
    TBitmap b;
    EXPECT_EQ(CopyDIB2Bitmap(dib, b), 4);
    ExpectPixels(b, w, h, [&](int x, int y) { return pal[index(x, y, 4)]; });
  }
}

TEST(CopyDIB2Bitmap, OneBitKeepsDarkAsZero) {
  const int w = 11, h = 3;
  const auto bit = [](int x, int y) { return ((x * 7 + y * 3) % 5) < 2; };
  for (const bool whiteFirst : {false, true}) {
    SCOPED_TRACE(whiteFirst ? "palette white, black" : "palette black, white");
    Bytes dib = Header(w, h, 1);
    Append32(dib, whiteFirst ? 0xFFFFFF : 0);
    Append32(dib, whiteFirst ? 0 : 0xFFFFFF);
    // A set pixel is bit 1 when black is entry 0.
    dib = Concat(dib, Rows(h, 2, false, [&](int y, uint8_t* r) {
                   for (int x = 0; x < w; ++x)
                     if (bit(x, y) != whiteFirst) r[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
                 }));
    TBitmap b;
    EXPECT_EQ(CopyDIB2Bitmap(dib, b), 1);
    ASSERT_EQ(b.PixelFormat(), pf1bit);
    ASSERT_EQ(b.Width(), w);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        EXPECT_EQ(GetPixelbw(b.ScanLine(y), x), bit(x, y)) << x << "," << y;
  }
}

TEST(CopyDIB2Bitmap, Rle8GoesThroughTheBmpReader) {
  // 4 x 2: bottom row "5 5 5 7", top row "1 2 3 4" (absolute run).
  Bytes table;
  for (int i = 0; i < 256; ++i) {
    table.push_back(static_cast<uint8_t>(i));
    table.push_back(static_cast<uint8_t>(i * 2));
    table.push_back(static_cast<uint8_t>(i * 3));
    table.push_back(0);
  }
  const Bytes data = {3, 5, 1, 7, 0, 0, 0, 4, 1, 2, 3, 4, 0, 1};
  Bytes dib = Concat(Concat(Header(4, 2, 8, 1), table), data);
  TBitmap b;
  EXPECT_EQ(CopyDIB2Bitmap(dib, b), 8);
  const int top[4] = {1, 2, 3, 4}, bottom[4] = {5, 5, 5, 7};
  ExpectPixels(b, 4, 2, [&](int x, int y) {
    const int i = y == 0 ? top[x] : bottom[x];
    return TRGB{static_cast<uint8_t>(i), static_cast<uint8_t>(i * 2), static_cast<uint8_t>(i * 3)};
  });
}

TEST(CopyDIB2Bitmap, SeparatePixelPointer) {
  const int w = 2, h = 2;
  const Bytes rows = Rows(h, w * 3, false, [&](int y, uint8_t* r) {
    for (int x = 0; x < w; ++x) PutPx(r + 3 * x, Colour(x, y));
  });
  const Bytes header = Header(w, h, 24);
  TBitmap b;
  EXPECT_EQ(CopyDIB2Bitmap(header.data(), header.size(), b, rows.data(), rows.size()), 24);
  ExpectPixels(b, w, h, Colour);
  // The same header without pixels is rejected.
  TBitmap c;
  EXPECT_EQ(CopyDIB2Bitmap(header.data(), header.size(), c), 0);
}

TEST(CopyDIB2Bitmap, UndecodedKindsStayBlankAtSize) {
  TBitmap b;
  EXPECT_EQ(CopyDIB2Bitmap(Concat(Header(3, 2, 24, 1), Bytes(64, 0x55)), b), 24);
  EXPECT_EQ(b.Width(), 3);
  EXPECT_EQ(b.Height(), 2);
  ExpectPixels(b, 3, 2, [](int, int) { return TRGB{}; });
  EXPECT_EQ(
      CopyDIB2Bitmap(Concat(Header(3, 2, 16, FourCC('M', 'J', 'P', 'G')), Bytes(64, 0x55)), b), 16);
  ExpectPixels(b, 3, 2, [](int, int) { return TRGB{}; });
}

using vxtest::PixelLimit;

TBitmap Prefilled() {
  TBitmap b;
  SizeBitmap(b, 3, 2, pf24bit);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) PutPx(b.ScanLine(y) + 3 * x, Colour(x, y));
  return b;
}

// 20 x 10 DIBs of every decoding path: 200 pixels each.
std::vector<std::pair<const char*, Bytes>> TwentyByTen() {
  Bytes table;
  for (int i = 0; i < 256; ++i) table.insert(table.end(), {uint8_t(i), uint8_t(i), uint8_t(i), 0});
  Bytes runs;
  for (int y = 0; y < 10; ++y) runs.insert(runs.end(), {20, 9, 0, 0});
  runs.insert(runs.end(), {0, 1});
  return {
      {"24-bit", Concat(Header(20, 10, 24), Bytes(60 * 10, 0x33))},
      {"8-bit", Concat(Concat(Header(20, 10, 8), table), Bytes(20 * 10, 0x44))},
      {"rle8", Concat(Concat(Header(20, 10, 8, 1), table), runs)},
      {"yuy2", Concat(Header(20, 10, 16, FourCC('Y', 'U', 'Y', '2')), Bytes(40 * 10, 0x80))},
      {"blank", Concat(Header(20, 10, 24, 1), Bytes(64, 0x55))},
  };
}

TEST(CopyDIB2Bitmap, PixelLimitRefusesWithoutTouchingTheBitmap) {
  for (const auto& [name, dib] : TwentyByTen()) {
    SCOPED_TRACE(name);
    {
      PixelLimit limit(200);
      TBitmap b = Prefilled();
      EXPECT_NE(CopyDIB2Bitmap(dib, b), 0);
      EXPECT_EQ(b.Width(), 20);
      EXPECT_EQ(b.Height(), 10);
    }
    PixelLimit limit(199);
    TBitmap b = Prefilled();
    EXPECT_EQ(CopyDIB2Bitmap(dib, b), 0);
    ExpectPixels(b, 3, 2, Colour);
  }
}

TEST(CopyDIB2Bitmap, PasteOverTheLimitLeavesTheImage) {
  Clipboard().Clear();
  Clipboard().SetDIB(TwentyByTen()[0].second);
  TBitmap image = Prefilled();
  TVantixProc proc;
  proc.SetAttachedBitmap(&image);
  {
    PixelLimit limit(199);
    proc.PasteFromClipboard();
    ExpectPixels(image, 3, 2, Colour);
  }
  PixelLimit limit(200);
  proc.PasteFromClipboard();
  EXPECT_EQ(image.Width(), 20);
  Clipboard().Clear();
}

TEST(CopyDIB2Bitmap, RejectsTruncatedAndAbsurdInput) {
  TBitmap keep;
  SizeBitmap(keep, 2, 2, pf24bit);
  std::memset(keep.Bits(), 0x42, keep.BitsSize());
  const auto unchanged = [&](const Bytes& dib, const std::string& what) {
    TBitmap b;
    b.Assign(keep);
    EXPECT_EQ(CopyDIB2Bitmap(dib.data(), dib.size(), b), 0) << what;
    EXPECT_EQ(b.Width(), 2) << what;
    EXPECT_EQ(b.Bits()[0], 0x42) << what;
  };
  // Every truncation of valid DIBs of several kinds.
  std::vector<Bytes> valid;
  // (Widths without row padding, so that every cut removes needed bytes.)
  valid.push_back(Concat(Header(4, 3, 24), Bytes(12 * 3, 1)));
  valid.push_back(Concat(Concat(Header(8, 3, 8, 0, 2), Bytes(8, 9)), Bytes(8 * 3, 1)));
  valid.push_back(Concat(Concat(Header(6, 3, 16, 3), Bytes(12, 0xFF)), Bytes(12 * 3, 1)));
  valid.push_back(Concat(Header(4, 2, 16, FourCC('Y', 'U', 'Y', '2')), Bytes(16, 1)));
  valid.push_back(Concat(Header(4, 2, 12, FourCC('I', '4', '2', '0')), Bytes(12, 1)));
  for (const Bytes& v : valid) {
    TBitmap b;
    ASSERT_NE(CopyDIB2Bitmap(v, b), 0);
    for (size_t n = 0; n < v.size(); ++n)
      unchanged(Bytes(v.begin(), v.begin() + static_cast<long>(n)), "cut at " + std::to_string(n));
  }
  Bytes bad = Header(5, 3, 24);
  Put32(bad, 0, 1000);  // header longer than the block
  unchanged(Concat(bad, Bytes(64, 0)), "biSize");
  unchanged(Concat(Header(0, 3, 24), Bytes(64, 0)), "zero width");
  unchanged(Concat(Header(-4, 3, 24), Bytes(64, 0)), "negative width");
  unchanged(Concat(Header(3, 0, 24), Bytes(64, 0)), "zero height");
  unchanged(Concat(Header(0x7FFFFFFF, 0x7FFFFFFF, 24), Bytes(64, 0)), "huge");
  Bytes minH = Header(3, 1, 24);
  Put32(minH, 8, 0x80000000u);
  unchanged(Concat(minH, Bytes(64, 0)), "INT_MIN height");
  unchanged(Concat(Header(2, 2, 8, 0, 0xFFFFFFFFu), Bytes(64, 0)), "colour count");
  unchanged(Concat(Header(60000, 60000, 2), Bytes(64, 0)), "blank kind too large for its data");
  // Two bytes of run-length data (end of bitmap) must not make a 200 MB image.
  unchanged(Concat(Concat(Header(8192, 8192, 8, 1), Bytes(256 * 4, 0)), Bytes{0, 1}),
            "run-length size not backed by data");
  unchanged(Bytes(39, 0), "short header");
}

// ---- YUV ----

TRGB RefYUV(int y, int u, int v) {
  // std::nearbyint rounds halves to even in the default rounding mode.
  const auto c = [](double x) {
    return static_cast<uint8_t>(std::clamp(std::nearbyint(x), 0.0, 255.0));
  };
  const double l = 1.164 * (y - 16);
  return CreateRGB(c(l + 1.596 * (v - 128)), c(l - 0.813 * (v - 128) - 0.391 * (u - 128)),
                   c(l + 2.018 * (u - 128)));
}

TEST(YUV, ConversionFormula) {
  EXPECT_EQ(YUV2RGB(16, 128, 128), CreateRGB(0, 0, 0));
  EXPECT_EQ(YUV2RGB(235, 128, 128), CreateRGB(255, 255, 255));
  EXPECT_EQ(YUV2RGB(81, 90, 240), RefYUV(81, 90, 240));
  for (int y = 0; y < 256; y += 15)
    for (int u = 0; u < 256; u += 17)
      for (int v = 0; v < 256; v += 19) ASSERT_EQ(YUV2RGB(y, u, v), RefYUV(y, u, v));
}

struct PackedCase {
  const char* code;
  int groupPixels, groupBytes;
  std::vector<int> yOff, uOff, vOff;  // per pixel of the group
  bool topDownWhenPositive;
};

TEST(YUV, PackedFramesMatchTheFormulaAndRowOrder) {
  const std::vector<PackedCase> cases = {
      {"YUY2", 2, 4, {0, 2}, {1, 1}, {3, 3}, true},
      {"YUNV", 2, 4, {0, 2}, {1, 1}, {3, 3}, true},
      {"UYVY", 2, 4, {1, 3}, {0, 0}, {2, 2}, true},
      {"UYNV", 2, 4, {1, 3}, {0, 0}, {2, 2}, true},
      {"cyuv", 2, 4, {1, 3}, {0, 0}, {2, 2}, false},
      {"YVYU", 2, 4, {0, 2}, {3, 3}, {1, 1}, true},
      {"IYU2", 1, 3, {1}, {0}, {2}, true},
      {"IYU1", 4, 6, {1, 2, 4, 5}, {0, 0, 0, 0}, {3, 3, 3, 3}, true},
      {"Y41P",
       8,
       12,
       {1, 3, 5, 7, 8, 9, 10, 11},
       {0, 0, 0, 0, 4, 4, 4, 4},
       {2, 2, 2, 2, 6, 6, 6, 6},
       false},
      {"Y211", 4, 4, {0, 0, 2, 2}, {1, 1, 1, 1}, {3, 3, 3, 3}, true},
  };
  std::mt19937 rng(7);
  for (const PackedCase& c : cases) {
    for (const int w : {8, 13}) {
      const int h = 3;
      SCOPED_TRACE(std::string(c.code) + " width " + std::to_string(w));
      const int groups = (w + c.groupPixels - 1) / c.groupPixels;
      const size_t stride = static_cast<size_t>(groups * c.groupBytes);
      Bytes data(stride * h);
      for (auto& d : data) d = static_cast<uint8_t>(rng());
      const uint32_t code = FourCC(c.code[0], c.code[1], c.code[2], c.code[3]);
      ASSERT_EQ(FrameBytes(code, w, h), data.size());
      for (const int sign : {1, -1}) {
        const bool topDown = (sign > 0) == c.topDownWhenPositive;
        TBitmap b;
        ASSERT_EQ(CopyDIB2Bitmap(Concat(Header(w, sign * h, 16, code), data), b), 16);
        ExpectPixels(b, w, h, [&](int x, int y) {
          const int row = topDown ? y : h - 1 - y;
          const uint8_t* g =
              &data[stride * row + static_cast<size_t>((x / c.groupPixels) * c.groupBytes)];
          const int k = x % c.groupPixels;
          return RefYUV(g[c.yOff[k]], g[c.uOff[k]], g[c.vOff[k]]);
        });
      }
    }
  }
}

TEST(YUV, PlanarFrames) {
  struct Case {
    const char* code;
    int block;
    bool uFirst;
  };
  std::mt19937 rng(11);
  for (const Case c : {Case{"I420", 2, true}, Case{"IYUV", 2, true}, Case{"YV12", 2, false},
                       Case{"YVU9", 4, false}}) {
    for (const auto& [w, h] : {std::pair{8, 4}, std::pair{9, 5}}) {
      SCOPED_TRACE(std::string(c.code) + " " + std::to_string(w) + "x" + std::to_string(h));
      const int cw = w / c.block, ch = h / c.block;
      Bytes data(static_cast<size_t>(w * h + 2 * cw * ch));
      for (auto& d : data) d = static_cast<uint8_t>(rng());
      const uint32_t code = FourCC(c.code[0], c.code[1], c.code[2], c.code[3]);
      TBitmap b;
      ASSERT_EQ(CopyDIB2Bitmap(Concat(Header(w, h, 12, code), data), b), 12);
      const uint8_t* first = &data[static_cast<size_t>(w * h)];
      const uint8_t* second = first + cw * ch;
      ExpectPixels(b, w, h, [&](int x, int y) {
        // The odd last row and column reuse the last chroma sample.
        const int ci = std::min(y / c.block, ch - 1) * cw + std::min(x / c.block, cw - 1);
        const int u = (c.uFirst ? first : second)[ci], v = (c.uFirst ? second : first)[ci];
        return RefYUV(data[static_cast<size_t>(y * w + x)], u, v);
      });
    }
  }
}

TEST(YUV, ClJrSamplesAreWidenedToEightBits) {
  const int w = 4, h = 1;
  const uint32_t v6 = 40, u6 = 20, ys[4] = {3, 10, 20, 31};
  uint32_t word = v6 | (u6 << 6);
  for (int k = 0; k < 4; ++k) word |= ys[k] << (12 + 5 * k);
  Bytes data(4);
  Put32(data, 0, word);
  TBitmap b;
  ASSERT_EQ(CopyDIB2Bitmap(Concat(Header(w, h, 8, FourCC('C', 'L', 'J', 'R')), data), b), 8);
  ExpectPixels(b, w, h, [&](int x, int) {
    const int y8 = static_cast<int>((ys[x] << 3) | (ys[x] >> 2));
    return RefYUV(y8, static_cast<int>((u6 << 2) | (u6 >> 4)),
                  static_cast<int>((v6 << 2) | (v6 >> 4)));
  });
}

// ---- encoder ----

TEST(CopyBitmaptoDIB, TwentyFourBitLayoutIsByteExact) {
  TBitmap b;
  SizeBitmap(b, 6, 4, pf24bit);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) PutPx(b.ScanLine(y) + 3 * x, Colour(x, y));
  // Rectangle (1, 1)-(3, 2): 3 x 2, rows of 9 bytes padded to 12.
  const Bytes dib = CopyBitmaptoDIB(b, 1, 1, 3, 2);
  Bytes want = Header(3, 2, 24);
  for (int y : {2, 1}) {
    for (int x = 1; x <= 3; ++x) {
      const TRGB c = Colour(x, y);
      want.insert(want.end(), {c.b, c.g, c.r});
    }
    want.insert(want.end(), 3, 0);
  }
  want.insert(want.end(), 4, 0);  // 44 + rows
  EXPECT_EQ(dib, want);
  // x2 = y2 = 0 mean the last column and row.
  EXPECT_EQ(CopyBitmaptoDIB(b).size(), 44u + 20u * 4u);
  TBitmap back;
  EXPECT_EQ(CopyDIB2Bitmap(CopyBitmaptoDIB(b), back), 24);
  ExpectPixels(back, 6, 4, Colour);
}

TEST(CopyBitmaptoDIB, OneBitRowsAreRealigned) {
  TBitmap b;
  SizeBitmap(b, 20, 2, pf1bit);
  const auto bit = [](int x, int y) { return ((x * 5 + y) % 3) == 0; };
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 20; ++x) SetPixelbw(b.ScanLine(y), x, bit(x, y));
  // Columns 3..13 (11 pixels) start inside a byte.
  const Bytes dib = CopyBitmaptoDIB(b, 3, 0, 13, 1);
  Bytes want = Header(11, 2, 1);
  Append32(want, 0);
  Append32(want, 0xFFFFFFFF);
  for (int y : {1, 0}) {
    uint8_t row[4] = {};
    for (int x = 0; x < 11; ++x)
      if (bit(x + 3, y)) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    want.insert(want.end(), row, row + 4);
  }
  want.insert(want.end(), 4, 0);  // 52 + rows
  EXPECT_EQ(dib, want);
  TBitmap back;
  EXPECT_EQ(CopyDIB2Bitmap(dib, back), 1);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 11; ++x) EXPECT_EQ(GetPixelbw(back.ScanLine(y), x), bit(x + 3, y));
}

// ---- region copies ----

TBitmap Pattern(int w, int h) {
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) PutPx(b.ScanLine(y) + 3 * x, Colour(x, y));
  return b;
}

TEST(CopyBitmapRect, TrueColourAndOneBit) {
  const TBitmap src = Pattern(12, 9);
  TBitmap d;
  CopyBitmapRect(src, d, 2, 3, 6, 7);
  ExpectPixels(d, 5, 5, [](int x, int y) { return Colour(x + 2, y + 3); });
  CopyBitmapRect(src, d, 4, 5, 0,
                 100);  // 0 and past the end: to the last column/row
  ExpectPixels(d, 8, 4, [](int x, int y) { return Colour(x + 4, y + 5); });

  TBitmap mono;
  SizeBitmap(mono, 21, 3, pf1bit);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 21; ++x) SetPixelbw(mono.ScanLine(y), x, (x + y) % 3 == 0);
  CopyBitmapRect(mono, d, 5, 1, 19, 2);
  ASSERT_EQ(d.PixelFormat(), pf1bit);
  ASSERT_EQ(d.Width(), 15);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 15; ++x) EXPECT_EQ(GetPixelbw(d.ScanLine(y), x), (x + 5 + y + 1) % 3 == 0);
}

TEST(PolygonCopies, OnlyPixelsInsideThePolygon) {
  const TBitmap src = Pattern(30, 25);
  const std::vector<TPoint> tri = {{4, 3}, {20, 6}, {9, 19}};  // box (4, 3)-(20, 19)
  const TRGB fill{9, 9, 9};
  const auto filled = [&](int w, int h) {
    TBitmap d;
    SizeBitmap(d, w, h, pf24bit);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) std::memcpy(d.ScanLine(y) + 3 * x, &fill, 3);
    return d;
  };
  // To a point: the inside lands with the box's corner at (2, 1); dest grows.
  {
    TBitmap d = filled(5, 5);
    CopyPolygonToPoint(src, tri, d, Point(2, 1));
    ExpectPixels(d, 2 + 17, 1 + 17, [&](int x, int y) {
      const int sx = x - 2 + 4, sy = y - 1 + 3;
      if (x < 2 || y < 1 || !PointInPolygonEvenOdd(tri, sx, sy))
        return x < 5 && y < 5 ? fill : TRGB{};
      return Colour(sx, sy);
    });
  }
  // From a point: the rectangle at (1, 2) goes into the polygon's place.
  {
    TBitmap d = filled(40, 40);
    CopyPointToPolygon(src, tri, d, Point(1, 2));
    ExpectPixels(d, 40, 40, [&](int x, int y) {
      return PointInPolygonEvenOdd(tri, x, y) ? Colour(x - 4 + 1, y - 3 + 2) : fill;
    });
    TBitmap small = filled(3, 3);
    CopyPointToPolygon(src, tri, small, Point(0, 0));
    EXPECT_EQ(small.Width(), 21);
    EXPECT_EQ(small.Height(), 19);
  }
  // Poly: dest is the box minus its last column and row, outside stays zero.
  {
    TBitmap d = filled(2, 2);
    CopyBitmapPoly(src, d, 4, 3, 20, 19, tri);
    ExpectPixels(d, 16, 16, [&](int x, int y) {
      return PointInPolygonEvenOdd(tri, x + 4, y + 3) ? Colour(x + 4, y + 3) : TRGB{};
    });
  }
  // Fewer than three vertices do nothing.
  TBitmap d = filled(3, 3);
  CopyPolygonToPoint(src, {{1, 1}, {5, 5}}, d, Point(0, 0));
  ExpectPixels(d, 3, 3, [&](int, int) { return fill; });
}

TEST(CopyBGR_RGB, SwapsEveryPixel) {
  const uint8_t src[6] = {1, 2, 3, 4, 5, 6};
  uint8_t dst[6] = {};
  CopyBGR_RGB(dst, src, 2);
  EXPECT_EQ(Bytes(dst, dst + 6), (Bytes{3, 2, 1, 6, 5, 4}));
}

// ---- magic wand ----

// A plain breadth-first fill as the oracle.
std::vector<bool> FloodOracle(const TBitmap& b, int sx, int sy, int tol) {
  const int w = b.Width(), h = b.Height();
  std::vector<bool> in(static_cast<size_t>(w * h));
  const TRGB seed = Px(b, sx, sy);
  const auto ok = [&](int x, int y) {
    const TRGB p = Px(b, x, y);
    return std::abs(p.r - seed.r) <= tol && std::abs(p.g - seed.g) <= tol &&
           std::abs(p.b - seed.b) <= tol;
  };
  std::deque<TPoint> q{{sx, sy}};
  in[static_cast<size_t>(sy * w + sx)] = true;
  while (!q.empty()) {
    const TPoint p = q.front();
    q.pop_front();
    for (const TPoint d : {TPoint{1, 0}, TPoint{-1, 0}, TPoint{0, 1}, TPoint{0, -1}}) {
      const int x = p.x + d.x, y = p.y + d.y;
      if (x < 0 || y < 0 || x >= w || y >= h || in[static_cast<size_t>(y * w + x)] || !ok(x, y))
        continue;
      in[static_cast<size_t>(y * w + x)] = true;
      q.push_back({x, y});
    }
  }
  return in;
}

TEST(MagicWand, UniformImageAndIsland) {
  TBitmap b;
  SizeBitmap(b, 9, 7, pf24bit);
  std::memset(b.Bits(), 80, b.BitsSize());
  b.ScanLine(3)[4 * 3] = 81;  // a one-pixel island
  TBitmap mask;
  MakeMagicWandBitmap(b, mask, 0, 0, 0);
  ASSERT_EQ(mask.PixelFormat(), pf1bit);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 9; ++x) EXPECT_EQ(GetPixelbw(mask.ScanLine(y), x), !(x == 4 && y == 3));
  MakeMagicWandBitmap(b, mask, 0, 0, 1);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 9; ++x) EXPECT_TRUE(GetPixelbw(mask.ScanLine(y), x));
  // Outside the image: mask untouched.
  TBitmap untouched;
  MakeMagicWandBitmap(b, untouched, 9, 0, 0);
  EXPECT_TRUE(untouched.Empty());
}

TEST(MagicWand, MatchesAFloodFillOnMazes) {
  std::mt19937 rng(3);
  for (int round = 0; round < 20; ++round) {
    const int w = 5 + static_cast<int>(rng() % 30), h = 5 + static_cast<int>(rng() % 20);
    TBitmap b;
    SizeBitmap(b, w, h, pf24bit);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const uint8_t v = (rng() % 100) < 35 ? 200 : static_cast<uint8_t>(rng() % 6);
        std::memset(b.ScanLine(y) + 3 * x, v, 3);
      }
    const int sx = static_cast<int>(rng() % static_cast<unsigned>(w));
    const int sy = static_cast<int>(rng() % static_cast<unsigned>(h));
    const int tol = static_cast<int>(rng() % 4);
    TBitmap mask;
    MakeMagicWandBitmap(b, mask, sx, sy, tol);
    const std::vector<bool> want = FloodOracle(b, sx, sy, tol);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        ASSERT_EQ(GetPixelbw(mask.ScanLine(y), x), want[static_cast<size_t>(y * w + x)])
            << "round " << round << " at " << x << "," << y;
  }
}

}  // namespace
