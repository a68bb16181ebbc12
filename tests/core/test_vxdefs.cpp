// Pixel conventions, colour helpers and bit helpers.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "core/arith.h"
#include "core/vxdefs.h"
#include "core/vxutils.h"
#include "platform/syscolors.h"

using namespace vx;

TEST(Arith, RoundHalfToEven) {
  const struct {
    long double v;
    int64_t want;
  } cases[] = {{0.5L, 0},   {1.5L, 2},    {2.5L, 2},    {-0.5L, 0},  {-1.5L, -2},
               {-2.5L, -2}, {2.4999L, 2}, {2.5001L, 3}, {-2.6L, -3}, {7.0L, 7}};
  for (const auto& c : cases) EXPECT_EQ(Round(c.v), c.want) << static_cast<double>(c.v);
}

TEST(Arith, TruncDivLimitFloor) {
  EXPECT_EQ(Trunc(-2.7L), -2);
  EXPECT_EQ(Trunc(2.7L), 2);
  EXPECT_EQ(Div(-7, 2), -3);
  EXPECT_EQ(blimit(-5), 0);
  EXPECT_EQ(blimit(300), 255);
  EXPECT_EQ(blimit(128), 128);
  EXPECT_EQ(VXFloor(-2.5L), -3);
  EXPECT_EQ(VXFloor(-3.0L), -3);
  EXPECT_EQ(VXFloor(2.9L), 2);
  EXPECT_EQ(ilimit(12, 0, 10), 10);
}

TEST(PixelConventions, RowLengths) {
  EXPECT_EQ(BitmapRowLen(1, 24), 4);
  EXPECT_EQ(BitmapRowLen(1, 1), 4);
  EXPECT_EQ(BitmapRowLen(33, 1), 8);
  EXPECT_EQ(BitmapRowLen(5, 24), 16);
  EXPECT_EQ(BitmapRowLen(3, 8), 4);
  // Widths whose bit count passes 2^31 while the row still fits an int.
  EXPECT_EQ(BitmapRowLen(100'000'000, 24), 300'000'000);
  EXPECT_EQ(BitmapRowLen(536'870'911, 32), 2'147'483'644);
  EXPECT_EQ(BitmapRowLen(715'827'881, 24), 2'147'483'644);
  // Past that it saturates, so that a size check on it refuses; nothing for no width.
  constexpr int kMax = std::numeric_limits<int>::max();
  EXPECT_EQ(BitmapRowLen(715'827'882, 24), kMax);
  EXPECT_EQ(BitmapRowLen(kMax, 32), kMax);
  EXPECT_EQ(BitmapRowLen(0, 24), 0);
  EXPECT_EQ(BitmapRowLen(-100, 24), 0);
  TBitmap b;
  SizeBitmap(b, 13, 3, pf1bit);
  EXPECT_EQ(b.RowLen(), BitmapRowLen(13, 1));
  EXPECT_EQ(b.ScanLine(1) - b.ScanLine(0), b.RowLen());
}

TEST(BitHelpers, Table) {
  EXPECT_EQ(GetBitCount(0x00F0), 4);
  EXPECT_EQ(GetBitCount(0), 0);
  EXPECT_EQ(GetBitCount(0xF800), 5);
  EXPECT_EQ(GetBitCount(0x0F0F), 4);  // only the first run counts
  const std::pair<int, int> ncol[] = {{2, 1}, {16, 4}, {256, 8}, {257, 9}, {17, 5}, {1, 0}, {3, 2}};
  for (auto [n, bits] : ncol) EXPECT_EQ(NColToBitsPixel(n), bits) << n;
  EXPECT_EQ(GetNumCol(8, 3), int64_t{1} << 24);
  EXPECT_EQ(GetNumCol(1, 1), 2);
  EXPECT_EQ(GetNumCol(4, 1), 16);
  uint32_t v = 0x00000001u;
  EXPECT_EQ(ReverseBits(v), 0x80000000u);
  EXPECT_EQ(v, 0x80000000u);
  v = 0x12345678u;
  EXPECT_EQ(ReverseBits(v), 0x1E6A2C48u);
  uint8_t b = 0x01;
  EXPECT_EQ(ReverseBitsB(b), 0x80);
  b = 0xB0;
  EXPECT_EQ(ReverseBitsB(b), 0x0D);
}

TEST(BitHelpers, PixelFormatTable) {
  const struct {
    TPixelFormat pf;
    int bits;
  } t[] = {{pfDevice, 0}, {pf1bit, 1},   {pf4bit, 4},   {pf8bit, 8},  {pf15bit, 15},
           {pf16bit, 16}, {pf24bit, 24}, {pf32bit, 32}, {pfCustom, 0}};
  for (const auto& c : t) {
    EXPECT_EQ(Pixelformat2BitCount(c.pf), c.bits);
    if (c.bits) {
      EXPECT_EQ(Bitcount2Pixelformat(c.bits), c.pf);
    }
  }
  EXPECT_EQ(Bitcount2Pixelformat(2), pfCustom);
}

TEST(Geometry, RectsAndDistances) {
  EXPECT_TRUE(InRect(5, 5, 0, 0, 5, 5));
  EXPECT_FALSE(InRect(6, 5, 0, 0, 5, 5));
  EXPECT_TRUE(RectXRect(0, 0, 10, 10, 10, 10, 20, 20));  // touching counts
  EXPECT_FALSE(RectXRect(0, 0, 10, 10, 11, 0, 20, 20));
  EXPECT_EQ(RectPRect(0, 0, 10, 10, 2, 2, 8, 8), 2);
  EXPECT_EQ(RectPRect(0, 0, 10, 10, 5, 5, 15, 15), 1);
  EXPECT_EQ(RectPRect(0, 0, 10, 10, 20, 20, 30, 30), 0);
  EXPECT_DOUBLE_EQ(DistPoint2Line(0, 5, -10, 0, 10, 0), 5.0);
  EXPECT_DOUBLE_EQ(DistPoint2Line(20, 5, -10, 0, 10, 0), 5.0);  // infinite line
  EXPECT_DOUBLE_EQ(DistPoint2Seg(13, 4, 0, 0, 10, 0), 5.0);     // nearer end
  EXPECT_DOUBLE_EQ(DistPoint2Seg(5, 3, 0, 0, 10, 0), 3.0);
  EXPECT_DOUBLE_EQ(DistPoint2Seg(3, 4, 0, 0, 0, 0), 5.0);  // zero-length segment
}

TEST(Geometry, CastPolySelSnapsOrDiagonal) {
  int x = 100, y = 10;  // mostly horizontal: snap to the anchor's row
  CastPolySelCC(0, 0, x, y);
  EXPECT_EQ(x, 100);
  EXPECT_EQ(y, 0);
  x = -5, y = -80;  // mostly vertical: snap to the anchor's column
  CastPolySelCC(0, 0, x, y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, -80);
  x = 40, y = -30;  // near-diagonal: onto the 45 degree line
  CastPolySelCC(0, 0, x, y);
  EXPECT_EQ(std::abs(x), std::abs(y));
  EXPECT_GT(x, 0);
  EXPECT_LT(y, 0);
}

TEST(ColourHelpers, Conversions) {
  const TRGB c = CreateRGB(10, 20, 30);
  EXPECT_EQ(c.r, 10);
  EXPECT_EQ(c.b, 30);
  EXPECT_EQ(TRGB2TColor(c), 10 + 20 * 256 + 30 * 65536);
  EXPECT_EQ(RGB2TColor(10, 20, 30), TRGB2TColor(c));
  EXPECT_TRUE(EqualRGB(TColor2TRGB(TRGB2TColor(c)), c));
  EXPECT_EQ(RGBToGray(CreateRGB(255, 255, 255)), 255 * 99 / 100);
  EXPECT_EQ(RGBToGray(CreateRGB(100, 0, 0)), 21);
}

TEST(ColourHelpers, SystemColourResolvesToCurrentValue) {
  SetSystemColor(15, 0x123456);
  const TRGB c = TColor2TRGB(clBtnFace);
  EXPECT_EQ(c.r, 0x56);
  EXPECT_EQ(c.g, 0x34);
  EXPECT_EQ(c.b, 0x12);
  SetSystemColor(15, 0xC8D0D4);
  EXPECT_EQ(TColor2TRGB(clBtnFace).r, 0xD4);
}

TEST(OneBit, PixelAccessAndNegative) {
  TBitmap b;
  SizeBitmap(b, 13, 2, pf1bit);
  uint8_t* row = b.ScanLine(0);
  SetPixelbw(row, 0, true);
  SetPixelbw(row, 12, true);
  EXPECT_EQ(row[0], 0x80);
  EXPECT_EQ(row[1], 0x08);
  EXPECT_TRUE(GetPixelbw(row, 12));
  SetPixelbw(row, 12, false);
  EXPECT_FALSE(GetPixelbw(row, 12));
  Negative1Bit(b);
  EXPECT_EQ(b.ScanLine(0)[0], 0x7F);
  // The padding bytes are inverted too.
  EXPECT_EQ(b.ScanLine(1)[3], 0xFF);
}

TEST(CopyBitmap, EmptySourceLeavesOneByOneInItsFormat) {
  TBitmap src;
  SizeBitmap(src, 0, 0, pf1bit);
  TBitmap dst;
  SizeBitmap(dst, 20, 20, pf24bit);
  CopyBitmap(src, dst);
  EXPECT_EQ(dst.Width(), 1);
  EXPECT_EQ(dst.Height(), 1);
  EXPECT_EQ(dst.PixelFormat(), pf1bit);
}

TEST(CopyBitmap, CopiesWholeBlock) {
  TBitmap src;
  SizeBitmap(src, 7, 5, pf24bit);
  for (size_t i = 0; i < src.BitsSize(); ++i) src.Bits()[i] = static_cast<uint8_t>(i * 7);
  TBitmap dst;
  CopyBitmap(src, dst);
  ASSERT_EQ(dst.BitsSize(), src.BitsSize());
  EXPECT_EQ(std::memcmp(dst.Bits(), src.Bits(), src.BitsSize()), 0);
}

TEST(Conv1to24, PartialLastByteAndProgress) {
  TBitmap src;
  SizeBitmap(src, 13, 3, pf1bit);
  // Row 0: alternating bits; row 1: all set; row 2: only pixel 12.
  src.ScanLine(0)[0] = 0xAA;
  src.ScanLine(0)[1] = 0xA8;
  std::memset(src.ScanLine(1), 0xFF, static_cast<size_t>(src.RowLen()));
  SetPixelbw(src.ScanLine(2), 12, true);
  TBitmap dst;
  SizeBitmap(dst, 20, 20, pf24bit);
  std::vector<int> reports;
  TProgressRec p;
  p.ProgressEvent = [&](TObject*, int per) { reports.push_back(per); };
  Conv1to24(src, dst, p);
  ASSERT_EQ(dst.Width(), 13);
  ASSERT_EQ(dst.PixelFormat(), pf24bit);
  for (int x = 0; x < 13; ++x) {
    EXPECT_EQ(dst.ScanLine(0)[x * 3], (x % 2 == 0) ? 255 : 0) << x;
    EXPECT_EQ(dst.ScanLine(1)[x * 3 + 2], 255);
    EXPECT_EQ(dst.ScanLine(2)[x * 3 + 1], x == 12 ? 255 : 0);
  }
  // The padding after pixel 12 is left alone: the last byte wrote only 5 pixels.
  EXPECT_EQ(dst.ScanLine(1)[39], 0);
  EXPECT_EQ(reports, (std::vector<int>{0, 28, 57}));
}

TEST(Progress, NullprResetClearsStaleAbort) {
  nullpr.Abort();
  EXPECT_TRUE(nullpr.Aborted());
  EXPECT_FALSE(ResetNullpr().Aborted());
}
