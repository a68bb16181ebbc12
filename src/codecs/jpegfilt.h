// HELPER NOTE (temporary, the lead removes it): before writing any code read /tmp/common.txt — the
// working rules for this shared tree (draft in /tmp, never break the build, no git commands that
// change state, own build folder, no spec citations in code, no reading other implementations).
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
