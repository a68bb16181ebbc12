// Formats whose codecs are not part of this build yet. Each entry point reports
// failure through the abort flag (never success) and leaves the bitmap alone; the
// real codec replaces this file when it lands.
#include "codecs/jpegfilt.h"

namespace vx {

void ReadJPegStream(TStream&, TBitmap&, TIOParamsVals&, TProgressRec& progress, bool) {
  progress.Abort();
}
void WriteJPegStream(TStream&, TBitmap&, TIOParamsVals&, TProgressRec& progress) {
  progress.Abort();
}

}  // namespace vx
