#pragma once
// Geometric and lighting effects on pf24bit images: bump mapping, a lens and a
// circular wave. A bitmap that is not pf24bit is left as it is.
#include "core/vxdefs.h"
#include "platform/bitmap.h"

namespace vx {

// Lights the inclusive rectangle as a relief whose height is each pixel's grey
// level. The light sits at (left, top) in image coordinates; width and height
// scale the distance so that a pixel width pixels to the right of the light
// lies at the rim of the light disc. Each channel becomes blimit(round(c *
// sourcePercent / 100 + light * (100 - sourcePercent) / 100 * color.c / 255)).
// Nothing when width or height is 0. Progress after each row as the region
// workers report it.
void BumpMapping(TBitmap& bitmap, int left, int top, int width, int height, int sourcePercent,
                 const TRGB& color, int x1, int y1, int x2, int y2, const TProgressRec& progress);

// A half-ellipsoid lens of the given refraction index (below 1 counts as 1)
// over the width x height box centred at (x, y), the box clipped to the image.
// Pixels of the box outside the ellipse are kept. Reads the image as it was
// before the call. Progress after each column of the box: trunc((column + 1) *
// 100 / boxWidth).
void Lens(TBitmap& bitmap, int x, int y, int width, int height, double refraction,
          const TProgressRec& progress);

// A circular wave around the image centre over the whole bitmap: each pixel
// samples (bilinearly) a point moved along its radius by sin(distance / (2 *
// wavelength) * 2pi
// + phase in degrees) * amplitude; reflective moves the point by the size of
// the sine only. Nothing when amplitude or wavelength is 0. Progress
// trunc(rowIndex * 100 / height) before each row.
void Wave(TBitmap& bitmap, int amplitude, int wavelength, int phase, bool reflective,
          const TProgressRec& progress);

}  // namespace vx
