#include "codecs/jpegfilt.h"

namespace vx {

bool JpegTryStream(TStream& stream) {
  const int64_t pos = stream.Position();
  uint8_t b[3] = {};
  const bool ok = stream.Read(b, 3) == 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF;
  stream.SetPosition(pos);
  return ok;
}

}  // namespace vx
