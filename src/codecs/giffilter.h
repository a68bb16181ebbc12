#pragma once
// GIF container: one image read, single-image write, insert, delete, count, animation.
#include <string>

#include "io/codec.h"

namespace vx {

// Reads image GIF_ImageIndex; imageCount receives the number of images met.
void ReadGifStream(TStream& stream, TBitmap& bitmap, int& imageCount, bool preview,
                   TIOParamsVals& params, TProgressRec& progress);
void WriteGifStream(TStream& stream, TBitmap& bitmap, TIOParamsVals& params,
                    TProgressRec& progress);
// The file forms of the two above (reading never previews). Writing encodes the image
// first and creates the file only then, so a refused or aborted write leaves any file of
// that name as it was. Opening, creating or writing the file throws (EFOpenError,
// EFCreateError, EWriteError; a file that could not be written whole is removed); refused
// data sets Aborting as the stream forms do.
void ReadGif(const std::string& fileName, TBitmap& bitmap, int& imageCount, TIOParamsVals& params,
             TProgressRec& progress);
void WriteGif(const std::string& fileName, TBitmap& bitmap, TIOParamsVals& params,
              TProgressRec& progress);
// Inserts the bitmap as image GIF_ImageIndex; returns the number of images.
int InsertGifIm(const std::string& fileName, TBitmap& bitmap, TIOParamsVals& params,
                TProgressRec& progress);
int InsertGifImStream(TStream& stream, TBitmap& bitmap, TIOParamsVals& params,
                      TProgressRec& progress);
// With doDelete removes image index and rewrites the file; with doDelete false and
// index -1 only counts. Returns the number of images kept.
int DeleteGifIm(const std::string& fileName, int index, bool doDelete);
bool CheckGifAnimate(const std::string& fileName);
void GifMakeAnimate(const std::string& fileName, int loopCount, int screenWidth, int screenHeight);

}  // namespace vx
