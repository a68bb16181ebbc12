#pragma once
// The exact palette of an image that has no more colours than a palette holds:
// its distinct colours, sorted, and a hash table from colour to palette index.
// Approximating such an image (flat graphics, screenshots, scans of a few
// inks) would change pixels for nothing.
//
// The colours are sorted by their value red * 65536 + green * 256 + blue, so
// the palette depends only on which colours the image has, never on where they
// lie: a black-and-white image gets black at 0 and white at 1, as one-bit
// images have them, and a flipped or cropped copy with the same colours gets
// the same palette.
#include <cstdint>
#include <vector>

#include "platform/bitmap.h"
#include "platform/types.h"

namespace vx {

class TExactPalette {
 public:
  // Collects the distinct colours of a pf24bit bitmap, stopping as soon as
  // there are more than limit. Returns true (and keeps them) when the bitmap
  // has at least one pixel and at most limit colours; false otherwise, with
  // nothing kept.
  bool Collect(const TBitmap& bitmap, int limit);

  // The colours in palette order.
  const std::vector<TRGB>& Colours() const { return colours_; }
  int Size() const { return static_cast<int>(colours_.size()); }

  // Index of a colour of the image: one hash probe. A colour the image does
  // not have (a background or transparent colour asked for by a writer) gets
  // the nearest entry in city-block distance, the first on ties.
  int Find(const TRGB& color) const {
    const uint32_t key = Key(color);
    for (uint32_t slot = Slot(key);; slot = (slot + 1) & mask_) {
      const TSlot& s = slots_[slot];
      if (s.key == key) return s.index;
      if (s.key == kEmpty) return Nearest(color);
    }
  }

 private:
  struct TSlot {
    uint32_t key;
    int32_t index;
  };
  static constexpr uint32_t kEmpty = 0xFFFFFFFFu;  // no 24-bit colour has this key

  static uint32_t Key(const TRGB& c) {
    return static_cast<uint32_t>(c.r) << 16 | static_cast<uint32_t>(c.g) << 8 | c.b;
  }
  // Multiplicative hashing: the top bits of the product, which depend on every bit of
  // the colour.
  uint32_t Slot(uint32_t key) const { return (key * 0x9E3779B1u) >> shift_; }
  // Adds key when absent; true when it was new.
  bool Insert(uint32_t key);
  int Nearest(const TRGB& color) const;
  void Clear();

  std::vector<TSlot> slots_;
  std::vector<TRGB> colours_;
  uint32_t mask_ = 0;
  int shift_ = 32;
};

}  // namespace vx
