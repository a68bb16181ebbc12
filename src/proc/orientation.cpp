// The eight orientations as quarter turns and flips of the geometry workers.
#include "proc/orientation.h"

#include "core/vxdefs.h"
#include "proc/geometry.h"

namespace vx {

namespace {

// A quarter turn clockwise (or counter-clockwise), in the image's own format.
bool QuarterTurn(TBitmap& bitmap, bool clockwise) {
  if (bitmap.PixelFormat() == pf1bit) {
    // Quarter turns of the inverse mapping are exact; no pixel falls outside.
    Rotate1bit(bitmap, clockwise ? -90 : 90, false, TProgressRec{});
    return true;
  }
  if (bitmap.PixelFormat() != pf24bit) return false;
  TBitmap turned;
  if (clockwise)
    Rot90o(bitmap, turned);
  else
    Rot90(bitmap, turned);
  bitmap.Swap(turned);
  return true;
}

}  // namespace

bool ApplyOrientation(TBitmap& bitmap, int orientation) {
  if (bitmap.Empty()) return true;
  switch (orientation) {
    case 2:
      Flip(bitmap, fdHorizontal);
      return true;
    case 3:
      Flip(bitmap, fdHorizontal);
      Flip(bitmap, fdVertical);
      return true;
    case 4:
      Flip(bitmap, fdVertical);
      return true;
    case 5:
      if (!QuarterTurn(bitmap, true)) return false;
      Flip(bitmap, fdHorizontal);
      return true;
    case 6:
      return QuarterTurn(bitmap, true);
    case 7:
      if (!QuarterTurn(bitmap, true)) return false;
      Flip(bitmap, fdVertical);
      return true;
    case 8:
      return QuarterTurn(bitmap, false);
    default:
      return true;
  }
}

}  // namespace vx
