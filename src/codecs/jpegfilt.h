#pragma once
// JPEG adapter.
#include "platform/stream.h"

namespace vx {
// True when the next three bytes are FF D8 FF; the position is restored.
bool JpegTryStream(TStream& stream);
}  // namespace vx

#include "io/codec.h"

namespace vx {
void ReadJPegStream(TStream& stream, TBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress,
                    bool preview);
void WriteJPegStream(TStream& stream, TBitmap& bitmap, TIOParamsVals& params,
                     TProgressRec& progress);
}  // namespace vx
