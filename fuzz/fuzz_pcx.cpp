// PCX reader on arbitrary bytes: with the whole size, a shorter and a longer data
// length than the bytes hold, and preview.
#include <vector>

#include "codecs/pcxfilter.h"
#include "core/vxdefs.h"
#include "fuzz_target.h"
#include "io/ioparams.h"
#include "platform/stream.h"

namespace {

int FuzzPCX(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  const auto n = static_cast<int64_t>(size);
  const int64_t lengths[] = {n, n / 2, n + 1000, n};
  for (int pass = 0; pass < 4; ++pass) {
    vx::TMemoryStream s(bytes);
    vx::TBitmap bitmap;
    vx::TIOParamsVals params;
    bool abort = false;
    vx::TProgressRec progress;
    progress.Aborting = &abort;
    vx::ReadPcxStream(s, bitmap, params, pass == 3, progress, lengths[pass]);
  }
  return 0;
}

const vxfuzz::Registrar registrar("pcx", FuzzPCX);

}  // namespace
