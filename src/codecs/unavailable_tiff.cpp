// Formats whose codecs are not part of this build yet. Each entry point reports
// failure through the abort flag (never success) and leaves the bitmap alone; the
// real codec replaces this file when it lands.
#include "codecs/tiffilt.h"

namespace vx {

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

}  // namespace vx
