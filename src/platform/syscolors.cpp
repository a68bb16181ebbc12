#include "platform/syscolors.h"

#include <array>
#include <cstddef>

#include "platform/screen.h"

namespace vx {

int gSystemDPIX = 96;
int gSystemDPIY = 96;

namespace {
// Classic desktop defaults, 0x00BBGGRR, by system colour index.
std::array<TColor, 31> gSystemColors = {
    0xC8D0D4, 0xA56E3A, 0x6A240A, 0x808080, 0xC8D0D4, 0xFFFFFF, 0x000000, 0x000000,
    0x000000, 0xFFFFFF, 0xC8D0D4, 0xC8D0D4, 0x808080, 0x6A240A, 0xFFFFFF, 0xC8D0D4,
    0x808080, 0x808080, 0x000000, 0xC8D0D4, 0xFFFFFF, 0x404040, 0xC8D0D4, 0x000000,
    0xE1FFFF, 0xB5B5B5, 0x800000, 0xF0CAA6, 0xC0C0C0, 0xC8D0D4, 0xC8D0D4};
}  // namespace

TColor ColorToRGB(TColor color) {
  if (color >= 0) return color;
  const int index = color & 0xFF;
  if (index < static_cast<int>(gSystemColors.size()))
    return gSystemColors[static_cast<size_t>(index)];
  return 0;
}

void SetSystemColor(int index, TColor rgb) {
  if (index >= 0 && index < static_cast<int>(gSystemColors.size()))
    gSystemColors[static_cast<size_t>(index)] = rgb & 0xFFFFFF;
}

}  // namespace vx
