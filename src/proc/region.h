#pragma once
// Shared by the workers that run over an inclusive rectangle of a bitmap.
#include "core/arith.h"
#include "core/vxdefs.h"
#include "platform/bitmap.h"

namespace vx {

// Clamps the inclusive rectangle to the bitmap; false when nothing is left.
inline bool ClampRegion(const TBitmap& bitmap, int& x1, int& y1, int& x2, int& y2) {
  if (bitmap.Empty()) return false;
  x1 = imax(x1, 0);
  y1 = imax(y1, 0);
  x2 = imin(x2, bitmap.Width() - 1);
  y2 = imin(y2, bitmap.Height() - 1);
  return x1 <= x2 && y1 <= y2;
}

// Progress after row y of rows y1..y2: trunc((y - y1 + 1) * 100 / (rows - 0.5)), so the
// last row reports a little over 100 (133 rows -> 100, 2 rows -> 133). The product is
// taken in double: in int it overflows past 21 million rows.
inline void ReportRow(const TProgressRec& progress, int y, int y1, int y2) {
  progress.Report(TruncI(static_cast<double>(y - y1 + 1) * 100 / (y2 - y1 + 0.5)));
}

}  // namespace vx
