#pragma once
// Colour and point operations: per-pixel workers on a bitmap region.
//
// Region workers take an inclusive rectangle x1, y1, x2, y2. x2 and y2 are clamped to
// the last column and row, x1 and y1 to 0; an empty rectangle or a pixel format the
// worker does not handle leaves the bitmap untouched. Rows are visited top to bottom,
// pixels left to right, in place. After each finished row the progress record's event
// (when assigned) gets trunc((y - y1 + 1) * 100 / (y2 - y1 + 0.5)).
#include <memory>
#include <vector>

#include "core/vxdefs.h"
#include "platform/bitmap.h"
#include "proc/colorspace.h"
#include "proc/convert1bit.h"

namespace vx {

// ---- reference levels of the contrast operations ----

// Per-channel mean of the whole pf24bit bitmap (truncated). 128 each for an empty or
// non-24-bit bitmap.
void GetMediaContrastRGB(const TBitmap& bitmap, int& refR, int& refG, int& refB);
// Mean of all bytes of the whole pf24bit bitmap (truncated); 128 when there is none.
int GetMediaContrast(const TBitmap& bitmap);

// ---- region workers (pf24bit unless stated) ----

// c' = blimit(ref_c + trunc((c - ref_c) * x)), x = 1 - sqrt(-amount) / 10 for a
// negative amount, else amount / 10 + 1. The references are the caller's, normally
// GetMediaContrastRGB of the whole image even when only a part is processed.
void ContrastRGB(TBitmap& bitmap, int amount, int refR, int refG, int refB, int x1, int y1, int x2,
                 int y2, const TProgressRec& progress);
// The same with the references taken from the bitmap itself.
void ContrastRGB(TBitmap& bitmap, int amount, int x1, int y1, int x2, int y2,
                 const TProgressRec& progress);
// One common reference for the three channels.
void Contrast(TBitmap& bitmap, int amount, int reference, int x1, int y1, int x2, int y2,
              const TProgressRec& progress);
void Contrast(TBitmap& bitmap, int amount, int x1, int y1, int x2, int y2,
              const TProgressRec& progress);

// R' = blimit(R + r), G' = blimit(G + g), B' = blimit(B + b).
void IntensityRGBall(TBitmap& bitmap, int r, int g, int b, int x1, int y1, int x2, int y2,
                     const TProgressRec& progress);
// Hue in degrees, saturation and luminosity in percent, added in the HSL model.
void HSLvar(TBitmap& bitmap, int hue, int saturation, int luminosity, int x1, int y1, int x2,
            int y2, const TProgressRec& progress);
// Hue in degrees, saturation and value on the 0..99 scale, added in the HSV model.
void HSVvar(TBitmap& bitmap, int hue, int saturation, int value, int x1, int y1, int x2, int y2,
            const TProgressRec& progress);
// Each byte c -> 255 - c; on a pf1bit bitmap each bit of the rectangle toggles.
void Negative(TBitmap& bitmap, int x1, int y1, int x2, int y2, const TProgressRec& progress);
// R, G, B := (R*21 + G*71 + B*7) div 100.
void ConvertToGray(TBitmap& bitmap, int x1, int y1, int x2, int y2, const TProgressRec& progress);
// Per channel: c <= downLimit.c -> downValue.c; then c > upLimit.c -> upValue.c (the
// second test sees the first's result). Limits (0,0,0) and (255,255,255) do nothing.
void Threshold(TBitmap& bitmap, const TRGB& downLimit, const TRGB& upLimit, const TRGB& downValue,
               const TRGB& upValue, int x1, int y1, int x2, int y2, const TProgressRec& progress);
// A pixel with beginColor.c <= c <= endColor.c in all three channels becomes castColor.
void CastColorRange(TBitmap& bitmap, const TRGB& beginColor, const TRGB& endColor,
                    const TRGB& castColor, int x1, int y1, int x2, int y2,
                    const TProgressRec& progress);
// Blends the region with other stretched (nearest neighbour) over it:
// c' = blimit(round(c * percent / 100 + o * (100 - percent) / 100)).
void Merge(TBitmap& bitmap, const TBitmap& other, int percent, int x1, int y1, int x2, int y2,
           const TProgressRec& progress);

// ---- channel extraction (whole image; progress trunc(100 / height * rowIndex)) ----

// A new pf24bit grey image of the byte at offset channel of each pixel (0 blue, 1 green,
// 2 red; above 2 taken as 2). nullptr for a negative channel or a non-24-bit bitmap.
std::unique_ptr<TBitmap> GetRGBChannel(const TBitmap& bitmap, int channel,
                                       const TProgressRec& progress);
// A new pf24bit grey image of H (trunc(H / 359 * 255)), S or V (trunc(x / 99 * 255))
// for channel 0, 1, 2; any other channel is taken as 0. nullptr for a non-24-bit bitmap.
std::unique_ptr<TBitmap> GetHSVChannel(const TBitmap& bitmap, int channel,
                                       const TProgressRec& progress);
// Sizes the three bitmaps to the image as pf24bit and fills them with the R, G, B grey
// images in one pass. Nothing for a non-24-bit bitmap.
void GetRGBChannelAll(const TBitmap& bitmap, TBitmap& r, TBitmap& g, TBitmap& b,
                      const TProgressRec& progress);
void GetHSVChannelAll(const TBitmap& bitmap, TBitmap& h, TBitmap& s, TBitmap& v,
                      const TProgressRec& progress);

// ---- conversions (whole image) ----

inline constexpr int kMaxConvertColours = 65536;

// Reduces a pf24bit image to colours colours (at most kMaxConvertColours) (TVXQuantizer over the
// whole image), each pixel replaced by its palette entry; the image stays pf24bit. colours <= 2
// dithers to pf1bit (ConvertToBWOrdered). Progress trunc(100 / (height + 0.5) * rowsDone).
void ConvertTo(TBitmap& bitmap, int colours, TProgressRec& progress);
// As ConvertTo, the palette (colours entries) returned; black and white when dithering.
void ConvertToPalette(TBitmap& bitmap, int colours, std::vector<TRGB>& palette,
                      TProgressRec& progress);
// Grey below threshold -> 0 (black), else 1; the image becomes pf1bit. threshold -1
// means (R*21 + G*71 + B*7) div 100 of the GetMediaContrastRGB references.
void ConvertToBWThreshold(TBitmap& bitmap, int threshold, const TProgressRec& progress);
// pf1bit -> pf24bit (set bit white, clear bit black); other formats are left alone.
void ConvertTo24Bit(TBitmap& bitmap, const TProgressRec& progress);

}  // namespace vx
