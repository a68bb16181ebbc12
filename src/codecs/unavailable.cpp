// Formats whose codecs are not part of this build yet. Each entry point reports
// failure through the abort flag — never success — and leaves the bitmap alone; the
// real codec replaces its entries here when it lands.
#include <string>

#include "codecs/giffilter.h"
#include "codecs/jpegfilt.h"
#include "codecs/pcxfilter.h"
#include "codecs/pngfilt.h"
#include "codecs/tiffilt.h"

namespace vx {

void ReadGifStream(TStream&, TBitmap&, int& imageCount, bool, TIOParamsVals&,
                   TProgressRec& progress) {
  imageCount = 0;
  progress.Abort();
}
void WriteGifStream(TStream&, TBitmap&, TIOParamsVals&, TProgressRec& progress) {
  progress.Abort();
}
int InsertGifIm(const std::string&, TBitmap&, TIOParamsVals&, TProgressRec& progress) {
  progress.Abort();
  return 0;
}
int InsertGifImStream(TStream&, TBitmap&, TIOParamsVals&, TProgressRec& progress) {
  progress.Abort();
  return 0;
}
int DeleteGifIm(const std::string&, int, bool) {
  return 0;
}
bool CheckGifAnimate(const std::string&) {
  return false;
}
void GifMakeAnimate(const std::string&, int, int, int) {}

void TIFFReadStream(TBitmap*, TStream&, int& numImages, TIOParamsVals*, TProgressRec& progress,
                    bool) {
  numImages = 0;
  progress.Abort();
}
int TIFFWriteStream(TStream&, bool, TBitmap&, TIOParamsVals&, TProgressRec& progress) {
  progress.Abort();
  return 0;
}
int EnumTIFFImStream(TStream&) {
  return 0;
}
int DeleteTIFFImStream(TStream&, int) {
  return 0;
}

void ReadPcxStream(TStream&, TBitmap&, TIOParamsVals&, bool, TProgressRec& progress, int64_t) {
  progress.Abort();
}
void WritePcxStream(TStream&, TBitmap&, TIOParamsVals&, TProgressRec& progress) {
  progress.Abort();
}

void ReadJPegStream(TStream&, TBitmap&, TIOParamsVals&, TProgressRec& progress, bool) {
  progress.Abort();
}
void WriteJPegStream(TStream&, TBitmap&, TIOParamsVals&, TProgressRec& progress) {
  progress.Abort();
}

void ReadPNGStream(TStream&, TBitmap&, TIOParamsVals&, TProgressRec& progress, bool) {
  progress.Abort();
}
void WritePNGStream(TStream&, TBitmap&, TIOParamsVals&, TProgressRec& progress) {
  progress.Abort();
}

}  // namespace vx
