// AVI reader on arbitrary bytes: opening (demuxer, stream choice, decoder set-up) and up
// to a few frames decoded into bitmaps with their parameter sets filled.
extern "C" {
#include <libavutil/log.h>
}

#include <vector>

#include "core/vxdefs.h"
#include "fuzz_target.h"
#include "io/ioparams.h"
#include "multi/avifile.h"
#include "platform/stream.h"

namespace {

// Enough frames to reach inter-coded ones and the dropped-frame path, few enough that a
// long clip does not slow the run.
constexpr int kMaxFrames = 12;

int FuzzAVI(const uint8_t* data, size_t size) {
  // The decoders' complaints about broken data are expected here.
  av_log_set_level(AV_LOG_QUIET);
  vx::TMemoryStream stream(std::vector<uint8_t>(data, data + size));
  bool abort = false;
  vx::TFailure failure;
  vx::TProgressRec progress;
  progress.Aborting = &abort;
  progress.Failure = &failure;
  vx::TAVIReader reader;
  if (!reader.Open(stream, progress)) return 0;
  vx::TBitmap bitmap;
  vx::TIOParamsVals params;
  for (int i = 0; i < kMaxFrames; ++i) {
    if (reader.ReadFrame(bitmap, progress) != vx::avirFrame) break;
    reader.FillParams(params, bitmap, i);
  }
  // Reading on after the end or a failure must stay harmless.
  reader.ReadFrame(bitmap, progress);
  return 0;
}

const vxfuzz::Registrar registrar("avi", FuzzAVI);

}  // namespace
