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
