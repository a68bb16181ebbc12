#pragma once
// Filtered resampling of true-colour images with six reconstruction kernels.
#include "core/vxdefs.h"
#include "platform/bitmap.h"

namespace vx {

enum class TResampleFilter {
  rfNone,
  rfTriangle,
  rfHermite,
  rfBell,
  rfBSpline,
  rfLanczos3,
  rfMitchell
};
using enum TResampleFilter;

// Support radius of a kernel in source pixels (0 for rfNone).
double ResampleFilterSupport(TResampleFilter filter);
// The kernel value at distance x (source pixels); 0 for rfNone.
double ResampleFilterKernel(TResampleFilter filter, double x);

// Scales a pf24bit source into dest, whose size the caller has set, in two separable
// passes (rows, then columns) through a pf24bit intermediate of dest width x source
// height. The weights of each destination column (row) are divided by their sum, so
// a flat image stays flat; every channel sum is clamped to 0..255 and rounded half to
// even. Source indices past an edge are mirrored. Progress goes to onProgress after
// each intermediate row and each destination column:
// trunc(done * 100 / (destWidth + sourceHeight + 0.5)). A source that is not pf24bit,
// or an empty source or dest, leaves dest as the caller made it; dest is made pf24bit
// otherwise. rfNone, which has no kernel, halftone-stretches.
void Resample(const TBitmap& source, TBitmap& dest, TResampleFilter filter,
              const TProgressEvent& onProgress = nullptr, TObject* sender = nullptr);

// Turns the vector (AVX2) paths off or back on; results are the same either way. For
// tests and measurements.
void ResampleEnableSimd(bool enable);

// The display variant: works on a pf24bit copy of a source of any format, makes dest
// pf24bit, filters only in a direction that magnifies and halftone-stretches the
// direction that reduces. rfNone halftone-stretches both directions.
void QuickResample(const TBitmap& source, TBitmap& dest, TResampleFilter filter,
                   const TProgressEvent& onProgress = nullptr, TObject* sender = nullptr);

}  // namespace vx
