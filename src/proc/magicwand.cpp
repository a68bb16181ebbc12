#include "proc/magicwand.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/vxdefs.h"

namespace vx {

namespace {

// A run of row y known to touch filled pixels of row y - dy, still to be
// scanned.
struct Segment {
  int y, left, right, dy;
};

}  // namespace

void MakeMagicWandBitmap(const TBitmap& source, TBitmap& mask, int x, int y, int tolerance) {
  if (x < 0 || y < 0 || x >= source.Width() || y >= source.Height()) return;
  if (source.PixelFormat() != pf24bit) {
    TBitmap copy(source);
    copy.SetPixelFormat(pf24bit);
    MakeMagicWandBitmap(copy, mask, x, y, tolerance);
    return;
  }
  const int w = source.Width(), h = source.Height();
  SizeBitmap(mask, w, h, pf1bit);
  std::memset(mask.Bits(), 0, mask.BitsSize());
  const uint8_t* seedPx = source.ScanLine(y) + static_cast<size_t>(x) * 3;
  const int sb = seedPx[0], sg = seedPx[1], sr = seedPx[2];

  // Row pointers of the row being scanned, refreshed when the row changes.
  int rowY = -1;
  const uint8_t* src = nullptr;
  uint8_t* dst = nullptr;
  const auto row = [&](int r) {
    if (r != rowY) {
      rowY = r;
      src = source.ScanLine(r);
      dst = mask.ScanLine(r);
    }
  };
  const auto qualifies = [&](int px) {
    if (GetPixelbw(dst, px)) return false;
    const uint8_t* p = src + static_cast<size_t>(px) * 3;
    return std::abs(p[0] - sb) <= tolerance && std::abs(p[1] - sg) <= tolerance &&
           std::abs(p[2] - sr) <= tolerance;
  };

  std::vector<Segment> stack;
  stack.reserve(static_cast<size_t>(2) * static_cast<size_t>(w));
  // Fills the run of row r that contains or starts scanning from px; returns
  // its end.
  const auto fillRun = [&](int px, int& start) {
    start = px;
    while (start > 0 && qualifies(start - 1)) --start;
    int end = px;
    while (end < w && qualifies(end)) SetPixelbw(dst, end++, true);
    for (int i = start; i < px; ++i) SetPixelbw(dst, i, true);
    return end - 1;
  };

  row(y);
  if (!qualifies(x)) return;  // a negative tolerance selects nothing
  int s = 0;
  const int e = fillRun(x, s);
  stack.push_back({y + 1, s, e, 1});
  stack.push_back({y - 1, s, e, -1});
  while (!stack.empty()) {
    const Segment seg = stack.back();
    stack.pop_back();
    if (seg.y < 0 || seg.y >= h) continue;
    row(seg.y);
    int px = seg.left;
    while (px <= seg.right) {
      if (!qualifies(px)) {
        ++px;
        continue;
      }
      int start = 0;
      const int end = fillRun(px, start);
      row(seg.y);
      stack.push_back({seg.y + seg.dy, start, end, seg.dy});
      // Parts of the run that overhang the parent run by more than one pixel
      // may reach pixels of the parent's row that the parent did not see.
      if (start < seg.left - 1) stack.push_back({seg.y - seg.dy, start, seg.left - 2, -seg.dy});
      if (end > seg.right + 1) stack.push_back({seg.y - seg.dy, seg.right + 2, end, -seg.dy});
      px = end + 2;
    }
  }
}

}  // namespace vx
