// Formats whose codecs are not part of this build yet. Each entry point reports
// failure through the abort flag (never success) and leaves the bitmap alone; the
// real codec replaces this file when it lands.
#include <string>

#include "codecs/giffilter.h"

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

}  // namespace vx
