#pragma once
// The shapes of a format's reader, writer and content test, as the component and the
// format table call them.
#include "core/vxdefs.h"
#include "io/ioparams.h"
#include "platform/bitmap.h"
#include "platform/stream.h"

namespace vx {

// Reads one image from the stream into bitmap (or, with preview, only the parameters).
// Reports failure through progress.Aborting.
using TVXReadFunction = void (*)(TStream& stream, TBitmap& bitmap, TIOParamsVals& params,
                                 bool preview, TProgressRec& progress);
// Writes the bitmap (pf24bit or pf1bit) to the stream.
using TVXWriteFunction = void (*)(TStream& stream, TBitmap& bitmap, TIOParamsVals& params,
                                  TProgressRec& progress);
// True when the stream (at its current position) holds this format; must leave the
// position where it found it or the caller restores it.
using TVXTryFunction = bool (*)(TStream& stream);

}  // namespace vx
