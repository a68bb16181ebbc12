#pragma once
// Neighbourhood operations on pf24bit images: 3x3 convolution with user or
// preset kernels (and the small kernel file that stores one), and the
// morphological maximum, minimum, opening and closing.
//
// Region workers take an inclusive rectangle x1, y1, x2, y2 clamped to the
// bitmap; an empty rectangle or a bitmap that is not pf24bit is left as it is.
// Progress goes to the record's event after each finished row: trunc((y - y1 +
// 1) * 100 / (y2 - y1 + 0.5)).
#include <array>
#include <cstdint>
#include <string>

#include "core/vxdefs.h"
#include "platform/bitmap.h"

namespace vx {

// A 3x3 convolution kernel and its divisor. Value k (0..8) weighs the pixel at
// column offset (k mod 3) - 1 and row offset (k div 3) - 1 from the centre (top
// row first, left to right). Stored as nine signed 32-bit values and the
// divisor, 40 bytes little-endian.
struct TGraphFilter {
  std::array<int32_t, 9> Values{};
  int32_t Divisor = 1;
  friend bool operator==(const TGraphFilter&, const TGraphFilter&) = default;
};

enum class TVXFilterPresets {
  fpNone,
  fpBlur,
  fpEdge,
  fpEmboss,
  fpHighPass1,
  fpHighPass2,
  fpHighPass3,
  fpLowPass1,
  fpLowPass2
};
using enum TVXFilterPresets;
inline constexpr int kFilterPresetCount = 9;

// The kernel of a preset. A value outside the enumeration gives the identity
// kernel (fpNone).
TGraphFilter FilterPreset(TVXFilterPresets preset);

// Convolves the rectangle with the kernel. A divisor of 0 counts as 1. Each
// channel becomes blimit(sum div divisor) (division truncating toward zero),
// the sum taken over the 3x3 neighbourhood with rows and columns outside the
// image clamped to the nearest edge; neighbours outside the rectangle but
// inside the image are used. All sums read the image as it was before the call.
void ApplyFilter(TBitmap& bitmap, const TGraphFilter& filter, int x1, int y1, int x2, int y2,
                 const TProgressRec& progress);

// Turns the vector (AVX2) path of ApplyFilter off or back on; results are the
// same either way. For tests and measurements.
void ApplyFilterEnableSimd(bool enable);

// ---- kernel files ----
// Layout: bytes 1, 3, 3 (version 1, 3 columns, 3 rows), then the 40-byte
// kernel; 43 bytes in all, little-endian.
inline constexpr int kFilterFileSize = 43;

// Creates (or truncates) the file and writes the kernel. Throws EFCreateError
// when the file cannot be created, EWriteError when it cannot be written.
void SaveFilterToFile(const std::string& fileName, const TGraphFilter& filter);
// Reads a kernel into filter. A file whose first three bytes are not 1, 3, 3,
// or one too short to hold the whole kernel, leaves filter untouched and
// returns false. Throws EFOpenError when the file cannot be opened.
bool LoadFilterFromFile(const std::string& fileName, TGraphFilter& filter);

// ---- morphology ----

enum class TMorphOp { moMaximum = 0, moMinimum = 1, moOpening = 2, moClosing = 3 };
using enum TMorphOp;

// Each pass replaces every pixel of the region by the pixel of its
// (2k + 1) x (2k + 1) window (clamped to the region, not the image) with the
// largest (maximum) or smallest (minimum) grey level, all three channels
// together. Ties go to the earliest window position, top row first, left to
// right. A window whose best grey is no better than the start value (0 for
// maximum, 255 for minimum) keeps the pixel's own colour. Opening is a minimum
// pass then a maximum pass; closing the reverse; each pass reads the result of
// the previous one. k < 0 changes nothing. Any k larger than the region behaves
// as the region's size.
void MorphFilter(TBitmap& bitmap, int windowSize, TMorphOp op, int x1, int y1, int x2, int y2,
                 const TProgressRec& progress);
// The numeric form: op 0 maximum, 1 minimum, 2 opening, 3 closing; any other op
// does nothing.
void MorphFilter(TBitmap& bitmap, int windowSize, int op, int x1, int y1, int x2, int y2,
                 const TProgressRec& progress);

}  // namespace vx
