#pragma once
// Reduction of true-colour images to one bit a pixel, as the image writers need
// it: an exact two-colour split when the image has exactly two colours, an
// ordered black-and-white dither otherwise.
#include <memory>

#include "core/vxdefs.h"
#include "platform/bitmap.h"

namespace vx {

// For a pf24bit image of exactly two colours: a new pf1bit bitmap where bit 0
// is color0 and bit 1 is color1, color0 being the darker one (rounded grey
// (r*21 + g*71 + b*7) / 100; on equal grey the colour met first). Returns
// nullptr for one colour, three or more, and for any bitmap that is not
// pf24bit; the given bitmap is never changed.
std::unique_ptr<TBitmap> ConvertTo1bit(const TBitmap& bitmap, TRGB& color0, TRGB& color1);

// Converts the bitmap in place to pf1bit by an 8x8 ordered dither: a pixel
// becomes white (1) when the matrix cell is below (r*21 + g*71 + b*7) div 400.
// A pf1bit bitmap is left as it is.
void ConvertToBWOrdered(TBitmap& bitmap, TProgressRec& progress);

}  // namespace vx
