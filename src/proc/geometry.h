#pragma once
// Operations that change an image's size or orientation: quarter turns,
// rotation by any whole angle (three shears for true colour, inverse mapping
// for two colours), flips and canvas resizing.
#include "core/vxdefs.h"
#include "platform/bitmap.h"

namespace vx {

enum class TFlipDir { fdHorizontal, fdVertical };
using enum TFlipDir;

// Quarter turns of a pf24bit source into dest (made pf24bit, height x width).
// Rot90 turns counter-clockwise: dest(x, y) = src(width - 1 - y, x); Rot90o
// clockwise: dest(x, y) = src(y, height - 1 - x). Other formats leave dest
// alone.
void Rot90(const TBitmap& source, TBitmap& dest);
void Rot90o(const TBitmap& source, TBitmap& dest);

// The size a three-shear rotation by angle degrees (already reduced to -45..45,
// not 0) gives a width x height image; also the intermediate width W1.
struct TShearSize {
  int W1 = 0;
  int Width = 0;
  int Height = 0;
};
TShearSize ShearRotateSize(int width, int height, int angle);

// Rotates a pf24bit image by angle degrees, counter-clockwise on screen for
// positive angles. The angle is taken modulo 360; quarter turns are exact, what
// remains
// (-45..45) is done by three shears (horizontal, vertical, horizontal) by
// tan(angle / 2), sin(angle) and tan(angle / 2). Uncovered corners take
// background. Without antialias every pixel moves by a whole number of pixels
// (nearest position); with it, each shear blends a pixel with its predecessor
// in the line by the shift's fraction (12-bit weights). Progress over the three
// passes. pf1bit images go to Rotate1bit (fill white when background is not
// black); other formats are left alone.
void Rotate(TBitmap& bitmap, int angle, bool antialias, const TRGB& background,
            const TProgressRec& progress);

// Rotates a pf1bit image by inverse mapping about the centres, with cosine and
// sine truncated to four decimals; the new size is trunc(|W c| + |H s|) x
// trunc(|W s| + |H c|). Destination pixels whose source lies outside take
// fillBit. Quarter turns are exact. Progress trunc(rowIndex * 100 / newHeight)
// per row.
void Rotate1bit(TBitmap& bitmap, int angle, bool fillBit, const TProgressRec& progress);

// Mirrors the image: fdHorizontal swaps columns x and width - 1 - x, fdVertical
// rows. Works on every storage format.
void Flip(TBitmap& bitmap, TFlipDir direction);

// Changes the canvas size without scaling: the old pixels stay at the top-left,
// new area takes background. A width or height below 1 changes nothing.
void ImageResize(TBitmap& bitmap, int width, int height, TColor background);

}  // namespace vx
