#include "proc/colorhelpers.h"

#include <cstdlib>

namespace vx {

void RGB2BGR(TRGB* palette, int n) {
  if (!palette) return;
  for (int i = 0; i < n; ++i) {
    const uint8_t t = palette[i].b;
    palette[i].b = palette[i].r;
    palette[i].r = t;
  }
}

int GetSimilColor(const TRGB* palette, int n, const TRGB& colour) {
  if (!palette) return 0;
  // Above the largest possible distance (3 * 255), so the first entry always takes it.
  int best = 0, bestDistance = 1000;
  for (int i = 0; i < n; ++i) {
    const TRGB& p = palette[i];
    const int d = std::abs(p.r - colour.r) + std::abs(p.g - colour.g) + std::abs(p.b - colour.b);
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
    }
  }
  return best;
}

TLogPalette CreateWinPalette(const TRGB* palette, int n) {
  TLogPalette log;
  if (!palette || n <= 0) return log;
  log.Entries.reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i)
    log.Entries.push_back(TPaletteEntry{palette[i].r, palette[i].g, palette[i].b, 0});
  return log;
}

}  // namespace vx
