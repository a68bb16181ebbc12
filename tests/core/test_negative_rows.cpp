// Negative on rows long enough for its fixed-length blocks, with a rest after them and
// an odd start inside the row.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "core/vxdefs.h"
#include "proc/pointops.h"

namespace vx {
namespace {

TEST(Negative, LongRowsInvertTheRectangleOnly) {
  TBitmap src;
  SizeBitmap(src, 100, 4, pf24bit);
  std::mt19937 rng(11);
  for (int y = 0; y < 4; ++y)
    for (int i = 0; i < 300; ++i) src.ScanLine(y)[i] = static_cast<uint8_t>(rng());
  // Columns 5..93: 267 bytes a row, four blocks of 64 and 11 left over; a rectangle
  // of one column and the whole width as well.
  struct Rect {
    int x1, y1, x2, y2;
  };
  for (const Rect r : {Rect{5, 1, 93, 2}, Rect{0, 0, 99, 3}, Rect{64, 3, 64, 3}}) {
    TBitmap b = src;
    TProgressRec quiet;
    Negative(b, r.x1, r.y1, r.x2, r.y2, quiet);
    int wrong = 0;
    for (int y = 0; y < 4; ++y)
      for (int i = 0; i < 300; ++i) {
        const bool in = y >= r.y1 && y <= r.y2 && i >= 3 * r.x1 && i < 3 * (r.x2 + 1);
        const uint8_t v = src.ScanLine(y)[i];
        wrong += b.ScanLine(y)[i] != (in ? 255 - v : v);
      }
    EXPECT_EQ(wrong, 0) << r.x1 << ".." << r.x2;
  }
}

}  // namespace
}  // namespace vx
