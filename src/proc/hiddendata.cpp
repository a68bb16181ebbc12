// TVantixProc: data hidden in the least significant bits of a pf24bit image.
//
// Layout: an 8-byte header (four zero bytes, then the data length as a
// little-endian 32-bit integer) followed by the data. Bytes are stored least
// significant bit first, one bit per image byte, walking the rows from the top;
// in each row the last two bytes carry nothing. A byte is changed by at most 1
// and never wraps: a 1 turns an even byte odd by adding 1, a 0 turns an odd
// byte even by adding 1 (255 becomes 254).
#include <algorithm>
#include <cstring>
#include <limits>

#include "proc/vantixproc.h"

namespace vx {

namespace {

constexpr int kHeaderBytes = 8;

// Walks the image bytes that carry bits, in storage order.
class BitCursor {
 public:
  explicit BitCursor(TBitmap& bitmap)
      : bitmap_(bitmap), usable_(static_cast<int64_t>(bitmap.Width()) * 3 - 2) {}
  bool AtEnd() const { return usable_ <= 0 || row_ >= bitmap_.Height(); }
  uint8_t& Next() {
    uint8_t& b = bitmap_.ScanLine(row_)[col_];
    if (++col_ >= usable_) {
      col_ = 0;
      ++row_;
    }
    return b;
  }

 private:
  TBitmap& bitmap_;
  int64_t usable_;
  int row_ = 0;
  int64_t col_ = 0;
};

// Bytes the image can carry, header included.
int64_t StreamCapacity(const TBitmap& bitmap) {
  const int64_t usable = static_cast<int64_t>(bitmap.Width()) * 3 - 2;
  if (usable <= 0) return 0;
  return usable * bitmap.Height() / 8;
}

bool Embeddable(const TBitmap* bitmap) {
  return bitmap && bitmap->PixelFormat() == pf24bit && !bitmap->Empty();
}

// Reads n stream bytes into out; false when the image ends first.
bool ReadBytes(BitCursor& cursor, uint8_t* out, int64_t n) {
  for (int64_t i = 0; i < n; ++i) {
    uint8_t v = 0;
    for (int bit = 0; bit < 8; ++bit) {
      if (cursor.AtEnd()) return false;
      v = static_cast<uint8_t>(v | ((cursor.Next() & 1u) << bit));
    }
    if (out) out[i] = v;
  }
  return true;
}

}  // namespace

int TVantixProc::GetHiddenDataSpace() {
  if (!Embeddable(bitmap_)) return 0;
  const int64_t space = StreamCapacity(*bitmap_) - kHeaderBytes;
  return static_cast<int>(std::clamp<int64_t>(space, 0, std::numeric_limits<int32_t>::max()));
}

int TVantixProc::WriteHiddenData(const void* buffer, int size) {
  if (!Embeddable(bitmap_) || size < 0 || (size > 0 && !buffer)) return 0;
  // Only what fits is stored, and the header says so: a reader never gets a
  // length that the image does not hold.
  if (StreamCapacity(*bitmap_) < kHeaderBytes) return 0;
  const int stored = std::min(size, GetHiddenDataSpace());
  uint8_t header[kHeaderBytes] = {0,
                                  0,
                                  0,
                                  0,
                                  static_cast<uint8_t>(stored),
                                  static_cast<uint8_t>(stored >> 8),
                                  static_cast<uint8_t>(stored >> 16),
                                  static_cast<uint8_t>(stored >> 24)};
  const auto* data = static_cast<const uint8_t*>(buffer);
  BitCursor cursor(*bitmap_);
  const auto put = [&](uint8_t value) {
    for (int bit = 0; bit < 8; ++bit) {
      uint8_t& b = cursor.Next();
      const bool one = (value >> bit) & 1u;
      if (one && !(b & 1u))
        ++b;
      else if (!one && (b & 1u))
        b = b == 255 ? 254 : static_cast<uint8_t>(b + 1);
    }
  };
  for (uint8_t v : header) put(v);
  for (int i = 0; i < stored; ++i) put(data[i]);
  Update();
  return stored;
}

int TVantixProc::WriteHiddenText(const std::string& text) {
  if (text.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return 0;
  return WriteHiddenData(text.data(), static_cast<int>(text.size()));
}

int TVantixProc::ReadHiddenData(void* buffer, int size) {
  if (!Embeddable(bitmap_) || size < 0 || (size > 0 && !buffer)) return 0;
  BitCursor cursor(*bitmap_);
  uint8_t header[kHeaderBytes];
  if (!ReadBytes(cursor, header, kHeaderBytes)) return 0;
  const int64_t length = static_cast<int64_t>(header[4]) | (static_cast<int64_t>(header[5]) << 8) |
                         (static_cast<int64_t>(header[6]) << 16) |
                         (static_cast<int64_t>(header[7]) << 24);
  // An image that never had data written into it shows noise here; a header
  // that cannot be ours means there is nothing to read.
  if (header[0] || header[1] || header[2] || header[3] || length > GetHiddenDataSpace()) return 0;
  const int64_t n = std::min<int64_t>(size, length);
  ReadBytes(cursor, static_cast<uint8_t*>(buffer), n);
  return static_cast<int>(length);
}

std::string TVantixProc::ReadHiddenText() {
  const int length = ReadHiddenData(nullptr, 0);
  if (length <= 0) return {};
  std::string text(static_cast<size_t>(length), '\0');
  ReadHiddenData(text.data(), length);
  return text;
}

}  // namespace vx
