#pragma once
// Whether two bitmaps hold the same picture: same size, same pixel format and the same
// pixels (padding bytes at the row ends are ignored; indexed formats also compare their
// palettes).
#include "platform/bitmap.h"

namespace vx {

bool BitmapCompareX(const TBitmap& a, const TBitmap& b);

}  // namespace vx
