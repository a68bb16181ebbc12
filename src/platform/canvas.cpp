#include "platform/canvas.h"

#include "platform/bitmap.h"

namespace vx {
// Minimal start; the full canvas replaces this.
void TCanvas::FillRect(const TRect&) {}
}  // namespace vx
