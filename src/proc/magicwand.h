#pragma once
// Colour-based selection: the mask of the 4-connected region of similar colour
// around a seed pixel.
#include "platform/bitmap.h"

namespace vx {

// mask becomes a pf1bit bitmap of source's size with bit 1 on every pixel of
// the 4-connected region around (x, y) whose colour differs from the seed's by
// at most tolerance in each of R, G and B, and 0 elsewhere. Nothing happens
// when (x, y) lies outside source. A source that is not pf24bit is compared
// through a 24-bit copy.
void MakeMagicWandBitmap(const TBitmap& source, TBitmap& mask, int x, int y, int tolerance);

}  // namespace vx
