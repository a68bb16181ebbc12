#pragma once
// Image statistics and the level adjustments derived from them: the
// four-channel histogram, distinct-colour counting, an optimised palette,
// automatic equalisation with a 3x3 neighbourhood rule and a two-threshold
// levels stretch.
//
// Region workers take an inclusive rectangle x1, y1, x2, y2 clamped to the
// bitmap (x1, y1 to 0, x2, y2 to the last column and row); an empty rectangle
// or a bitmap that is not pf24bit leaves everything as it was. Workers that
// edit report progress after each row: trunc((y - y1 + 1) * 100 / (y2 - y1 +
// 0.5)).
#include <array>
#include <vector>

#include "core/vxdefs.h"
#include "platform/bitmap.h"

namespace vx {

// Defined with the processing component (four 32-bit counters R, G, B, Gray).
struct THistogramItem;
using THistogram = std::array<THistogramItem, 256>;

// Zeroes the whole histogram, then counts each pixel of the rectangle once in
// each field: entry v counts the pixels whose red (R), green (G), blue (B) and
// grey (Gray) value is v. A bitmap that is not pf24bit leaves the histogram
// untouched.
void GetHistogram(const TBitmap& bitmap, THistogram& histogram, int x1, int y1, int x2, int y2);

// Number of distinct 24-bit colours in the rectangle; 0 for an empty rectangle
// or a bitmap that is not pf24bit.
int GetImageNumColors(const TBitmap& bitmap, int x1, int y1, int x2, int y2);

// An optimised palette of colours entries for the whole pf24bit bitmap
// (TVXQuantizer with quality -1): palette is resized to colours entries and
// filled. reserved is accepted for callers that pass it and is not read.
// colours below 1, an empty bitmap or one that is not pf24bit clear the
// palette. colours is capped at kMaxPaletteColours.
inline constexpr int kMaxPaletteColours = 65536;
void CalcImagePalette(const TBitmap& bitmap, std::vector<TRGB>& palette, int reserved, int colours);

// Automatic equalisation. The level tables come from the grey histogram of the
// whole bitmap; only the rectangle is rewritten, from the image as it was
// before the call. A bitmap of fewer than 256 pixels is left unchanged (its
// level quota would be 0).
void HistAutoEqualize(TBitmap& bitmap, int x1, int y1, int x2, int y2,
                      const TProgressRec& progress);

// Per-channel levels stretch: loThresh maps to 0 (black point), hiThresh to 255
// (white point, each channel raised to at least 1). Nothing happens when the
// raised hiThresh equals loThresh.
void HistEqualize(TBitmap& bitmap, const TRGB& loThresh, const TRGB& hiThresh, int x1, int y1,
                  int x2, int y2, const TProgressRec& progress);

}  // namespace vx
