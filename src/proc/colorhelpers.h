#pragma once
// Palette helpers shared by the codecs, the processing unit and the controls.
#include <cstdint>
#include <vector>

#include "platform/types.h"

namespace vx {

// Swaps the first and third byte of each of the n entries: turns a palette stored red,
// green, blue (GIF, PCX) into TRGB order, and back.
void RGB2BGR(TRGB* palette, int n);

// Index of the first of the n entries nearest to colour by the sum of absolute channel
// differences (the earliest entry wins ties); 0 when there are no entries.
int GetSimilColor(const TRGB* palette, int n, const TRGB& colour);

// One entry of a logical palette: red, green, blue, flags, in this order.
struct TPaletteEntry {
  uint8_t Red = 0;
  uint8_t Green = 0;
  uint8_t Blue = 0;
  uint8_t Flags = 0;
  friend bool operator==(const TPaletteEntry&, const TPaletteEntry&) = default;
};

inline constexpr uint16_t kLogPaletteVersion = 0x300;

// A platform logical palette: what a display with a colour table selects and realises.
struct TLogPalette {
  uint16_t Version = kLogPaletteVersion;
  std::vector<TPaletteEntry> Entries;
};

// The logical palette of the n entries, each with flags 0; empty when there are none.
TLogPalette CreateWinPalette(const TRGB* palette, int n);

}  // namespace vx
