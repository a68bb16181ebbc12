#pragma once
// Median-cut colour reduction on a 32x32x32 cube (5 bits a channel): the box
// with the largest error is split along the channel whose split leaves the
// smallest error, and a 32768-entry table then maps any colour to its palette
// index in one read.
#include <cstdint>
#include <memory>

#include "platform/bitmap.h"
#include "platform/types.h"

namespace vx {

// One box of the partition of the colour cube.
struct TMedianCutBox {
  double error = 0;          // summed squared deviation from the mean, over the pixel total
  double mean[3] = {};       // red, green, blue mean in 5-bit units
  int64_t count = 0;         // pixels in the box
  int64_t hist[3][32] = {};  // per-channel histograms of the box's pixels
  int lower[3] = {};         // first 5-bit value per channel
  int upper[3] = {};         // one past the last
};

// Quantizer state. Owned by the caller through the handle that
// CreateMedianCutQuantizer returns.
struct TMedianCutQuantizer {
  std::unique_ptr<uint32_t[]> cube;        // 32768 cells, red * 1024 + green * 32 + blue
  std::unique_ptr<TMedianCutBox[]> boxes;  // 256 boxes
  std::unique_ptr<uint8_t[]> lookup;       // 32768 cells -> palette index
  int64_t pixelTotal = 0;
  int colorsWanted = 0;
  int colorsMade = 0;
  int width = 0;
  int height = 0;
};

using TMedianCutHandle = std::unique_ptr<TMedianCutQuantizer>;

// Analyses the bitmap (pf24bit; other formats are read through a 24-bit copy)
// and writes palette entries 0 .. colours made - 1; entries beyond are left as
// they were. palette must hold at least ncolors entries (ncolors is limited
// to 1..256). reserved is accepted for callers that pass it and is not read.
TMedianCutHandle CreateMedianCutQuantizer(const TBitmap& bitmap, TRGB* palette, int reserved,
                                          int ncolors);
// Palette index of a colour: one table read at its cube cell. Inline: writers call
// it once a pixel.
inline int MedianCutFindIndex(const TMedianCutQuantizer& handle, const TRGB& color) {
  return handle.lookup[(color.r >> 3) << 10 | (color.g >> 3) << 5 | color.b >> 3];
}
// Frees the quantizer and all its memory.
void FreeMedianCutQuantizer(TMedianCutHandle& handle);

}  // namespace vx
