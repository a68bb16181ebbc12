#pragma once
// Byte moves the LZW decoders share: eight bytes read as one little-endian word for the
// bit buffer, and eight bytes copied at once when a string is copied from earlier output.
#include <cstdint>
#include <cstring>

namespace vx::lzw {

inline uint64_t Load64LE(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap64(v);
#endif
  return v;
}

inline void Copy8(uint8_t* d, const uint8_t* s) {
  uint64_t v;
  std::memcpy(&v, s, 8);
  std::memcpy(d, &v, 8);
}

}  // namespace vx::lzw
