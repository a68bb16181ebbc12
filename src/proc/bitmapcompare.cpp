#include "proc/bitmapcompare.h"

#include <cstring>

namespace vx {

namespace {

bool IndexedFormat(TPixelFormat pf) {
  return StorageBits(pf) <= 8;
}

}  // namespace

bool BitmapCompareX(const TBitmap& a, const TBitmap& b) {
  if (&a == &b) return true;
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat())
    return false;
  if (IndexedFormat(a.PixelFormat()) && a.Palette() != b.Palette()) return false;
  if (a.Empty()) return true;
  // Only the bits that hold pixels count: row padding and the unused low bits of a
  // row's last byte may differ between two bitmaps of the same picture.
  const int64_t bits = static_cast<int64_t>(a.Width()) * StorageBits(a.PixelFormat());
  const size_t fullBytes = static_cast<size_t>(bits / 8);
  const int restBits = static_cast<int>(bits % 8);
  const auto lastMask = static_cast<uint8_t>(0xFF << (8 - restBits));
  for (int y = 0; y < a.Height(); ++y) {
    const uint8_t* ra = a.ScanLine(y);
    const uint8_t* rb = b.ScanLine(y);
    if (std::memcmp(ra, rb, fullBytes) != 0) return false;
    if (restBits != 0 && ((ra[fullBytes] ^ rb[fullBytes]) & lastMask) != 0) return false;
  }
  return true;
}

}  // namespace vx
