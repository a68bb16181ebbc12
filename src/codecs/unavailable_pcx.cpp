// Formats whose codecs are not part of this build yet. Each entry point reports
// failure through the abort flag (never success) and leaves the bitmap alone; the
// real codec replaces this file when it lands.
#include "codecs/pcxfilter.h"

namespace vx {

void ReadPcxStream(TStream&, TBitmap&, TIOParamsVals&, bool, TProgressRec& progress, int64_t) {
  progress.Abort();
}
void WritePcxStream(TStream&, TBitmap&, TIOParamsVals&, TProgressRec& progress) {
  progress.Abort();
}

}  // namespace vx
