#include "quant/exactpal.h"

#include <algorithm>
#include <cstdlib>

namespace vx {

namespace {

// Every 24-bit colour at once fits a table of twice that many slots.
constexpr int64_t kMaxColours = int64_t{1} << 24;

TRGB FromKey(uint32_t key) {
  return TRGB{static_cast<uint8_t>(key & 0xFF), static_cast<uint8_t>((key >> 8) & 0xFF),
              static_cast<uint8_t>(key >> 16)};
}

}  // namespace

void TExactPalette::Clear() {
  slots_.clear();
  colours_.clear();
  mask_ = 0;
  shift_ = 32;
}

inline bool TExactPalette::Insert(uint32_t key) {
  for (uint32_t slot = Slot(key);; slot = (slot + 1) & mask_) {
    TSlot& s = slots_[slot];
    if (s.key == key) return false;
    if (s.key == kEmpty) {
      s.key = key;
      return true;
    }
  }
}

bool TExactPalette::Collect(const TBitmap& bitmap, int limit) {
  Clear();
  if (bitmap.PixelFormat() != pf24bit || bitmap.Empty() || limit < 1) return false;
  const int w = bitmap.Width(), h = bitmap.Height();
  // The table holds one colour more than can be kept (the one that ends the count),
  // and never more than all 24-bit colours. Palettes of writers (up to 256 colours) get
  // a table at most an eighth full, 32 KB, where nearly every colour sits in its home
  // slot; larger ones stay at most half full.
  const int64_t held = std::min({int64_t{limit} + 1, int64_t{w} * h, kMaxColours});
  const int64_t spread = held <= 4096 ? 8 : 2;
  int bits = 2;
  while ((int64_t{1} << bits) < spread * held) ++bits;
  slots_.assign(size_t{1} << bits, TSlot{kEmpty, 0});
  mask_ = (uint32_t{1} << bits) - 1;
  shift_ = 32 - bits;

  // No shortcut for runs of one colour: in a noisy image the test would be
  // mispredicted every other pixel, and a colour already met is found in its home
  // slot anyway.
  int64_t count = 0;
  for (int y = 0; y < h; ++y) {
    const auto* row = reinterpret_cast<const TRGB*>(bitmap.ScanLine(y));
    for (int x = 0; x < w; ++x) {
      if (Insert(Key(row[x])) && ++count > limit) {
        Clear();
        return false;
      }
    }
  }

  std::vector<uint32_t> keys;
  keys.reserve(static_cast<size_t>(count));
  for (const TSlot& s : slots_)
    if (s.key != kEmpty) keys.push_back(s.key);
  std::sort(keys.begin(), keys.end());
  colours_.reserve(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    colours_.push_back(FromKey(keys[i]));
    for (uint32_t slot = Slot(keys[i]);; slot = (slot + 1) & mask_)
      if (slots_[slot].key == keys[i]) {
        slots_[slot].index = static_cast<int32_t>(i);
        break;
      }
  }
  return true;
}

int TExactPalette::Nearest(const TRGB& color) const {
  int best = 0, bestDistance = 1 << 30;
  for (size_t i = 0; i < colours_.size(); ++i) {
    const TRGB& c = colours_[i];
    const int d = std::abs(c.r - color.r) + std::abs(c.g - color.g) + std::abs(c.b - color.b);
    if (d < bestDistance) {
      bestDistance = d;
      best = static_cast<int>(i);
    }
  }
  return best;
}

}  // namespace vx
