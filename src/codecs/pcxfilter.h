#pragma once
// PCX codec.
#include "io/codec.h"

namespace vx {

// dataLength: bytes of PCX data in the stream from the header on.
void ReadPcxStream(TStream& stream, TBitmap& bitmap, TIOParamsVals& params, bool preview,
                   TProgressRec& progress, int64_t dataLength);
void WritePcxStream(TStream& stream, TBitmap& bitmap, TIOParamsVals& params,
                    TProgressRec& progress);

}  // namespace vx
