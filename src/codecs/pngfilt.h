#pragma once
// PNG adapter.
#include "platform/exceptions.h"
#include "platform/stream.h"

namespace vx {
// True when the next 8 bytes are the PNG signature; the position is restored.
bool IsPNGStream(TStream& stream);

// Raised by WritePNGStream when libpng cannot make the file (including a stream that
// refuses the data); the reader never raises.
class EInvalidGraphic : public EVXError {
 public:
  using EVXError::EVXError;
};
}  // namespace vx

#include "io/codec.h"

namespace vx {
void ReadPNGStream(TStream& stream, TBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress,
                   bool preview);
void WritePNGStream(TStream& stream, TBitmap& bitmap, TIOParamsVals& params,
                    TProgressRec& progress);
}  // namespace vx
