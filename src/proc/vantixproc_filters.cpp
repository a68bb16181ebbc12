// TVantixProc: convolution, morphology and the effects, each the operation
// template over its worker.
#include <algorithm>
#include <cstdint>

#include "proc/effects.h"
#include "proc/filters.h"
#include "proc/vantixproc.h"

namespace vx {

namespace {

// v - by without overflow: positions far outside the image stay far outside.
int ShiftedBy(int v, int by) {
  const int64_t r = static_cast<int64_t>(v) - by;
  return static_cast<int>(std::clamp<int64_t>(r, INT32_MIN, INT32_MAX));
}

}  // namespace

void TVantixProc::ApplyFilter(const TGraphFilter& filter) {
  RunOnSelection(true, [&](TBitmap& b, int x1, int y1, int x2, int y2, const TProgressRec& p) {
    vx::ApplyFilter(b, filter, x1, y1, x2, y2, p);
  });
}

void TVantixProc::ApplyFilterPreset(TVXFilterPresets preset) {
  ApplyFilter(FilterPreset(preset));
}

// The morphology methods check no pixel format: the worker skips what it does
// not handle (after the undo copy, as for every operation).
void TVantixProc::Maximum(int windowSize) {
  RunOnSelection(false, [&](TBitmap& b, int x1, int y1, int x2, int y2, const TProgressRec& p) {
    MorphFilter(b, windowSize, moMaximum, x1, y1, x2, y2, p);
  });
}

void TVantixProc::Minimum(int windowSize) {
  RunOnSelection(false, [&](TBitmap& b, int x1, int y1, int x2, int y2, const TProgressRec& p) {
    MorphFilter(b, windowSize, moMinimum, x1, y1, x2, y2, p);
  });
}

void TVantixProc::Opening(int windowSize) {
  RunOnSelection(false, [&](TBitmap& b, int x1, int y1, int x2, int y2, const TProgressRec& p) {
    MorphFilter(b, windowSize, moOpening, x1, y1, x2, y2, p);
  });
}

void TVantixProc::Closing(int windowSize) {
  RunOnSelection(false, [&](TBitmap& b, int x1, int y1, int x2, int y2, const TProgressRec& p) {
    MorphFilter(b, windowSize, moClosing, x1, y1, x2, y2, p);
  });
}

void TVantixProc::BumpMapping(int left, int top, int width, int height, int sourcePercent,
                              const TRGB& color) {
  RunEffect(true,
            [&](TBitmap& b, int x1, int y1, int x2, int y2, int ox, int oy, const TProgressRec& p) {
              vx::BumpMapping(b, ShiftedBy(left, ox), ShiftedBy(top, oy), width, height,
                              sourcePercent, color, x1, y1, x2, y2, p);
            });
}

void TVantixProc::Lens(int x, int y, int width, int height, double refraction) {
  RunEffect(false, [&](TBitmap& b, int, int, int, int, int ox, int oy, const TProgressRec& p) {
    vx::Lens(b, ShiftedBy(x, ox), ShiftedBy(y, oy), width, height, refraction, p);
  });
}

void TVantixProc::Wave(int amplitude, int wavelength, int phase, bool reflective) {
  RunEffect(false, [&](TBitmap& b, int, int, int, int, int, int, const TProgressRec& p) {
    vx::Wave(b, amplitude, wavelength, phase, reflective, p);
  });
}

}  // namespace vx
