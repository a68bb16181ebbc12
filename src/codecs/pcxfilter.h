#pragma once
// PCX codec.
#include <string>

#include "io/codec.h"

namespace vx {

// dataLength: bytes of PCX data in the stream from the header on.
void ReadPcxStream(TStream& stream, TBitmap& bitmap, TIOParamsVals& params, bool preview,
                   TProgressRec& progress, int64_t dataLength);
void WritePcxStream(TStream& stream, TBitmap& bitmap, TIOParamsVals& params,
                    TProgressRec& progress);

// The file forms. Reading takes the whole file as the PCX data. Writing encodes the image
// first and creates the file only then, so a refused or aborted write leaves any file of
// that name as it was. Opening, creating or writing the file throws (EFOpenError,
// EFCreateError, EWriteError; a file that could not be written whole is removed); refused
// data sets Aborting as the stream forms do.
void ReadPcx(const std::string& fileName, TBitmap& bitmap, TIOParamsVals& params, bool preview,
             TProgressRec& progress);
void WritePcx(const std::string& fileName, TBitmap& bitmap, TIOParamsVals& params,
              TProgressRec& progress);

}  // namespace vx
