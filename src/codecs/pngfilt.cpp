#include "codecs/pngfilt.h"

#include <cstring>

namespace vx {

bool IsPNGStream(TStream& stream) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  const int64_t pos = stream.Position();
  uint8_t b[8] = {};
  const int64_t n = stream.Read(b, 8);
  stream.SetPosition(pos);
  return n == 8 && std::memcmp(b, kSignature, 8) == 0;
}

}  // namespace vx
