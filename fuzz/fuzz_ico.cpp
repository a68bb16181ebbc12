// Icon and cursor readers on arbitrary bytes: every entry index the first byte picks,
// full decode (DIB and PNG entries) and preview, and the content tests.
#include <vector>

#include "core/vxdefs.h"
#include "fuzz_target.h"
#include "codecs/bmpfilt.h"
#include "io/ioparams.h"
#include "platform/stream.h"

namespace {

int FuzzICO(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  for (int pass = 0; pass < 3; ++pass) {
    vx::TMemoryStream s(bytes);
    vx::TBitmap bitmap;
    vx::TIOParamsVals params;
    params.ICO_ImageIndex = size > 0 ? data[0] % 4 : 0;
    params.CUR_ImageIndex = params.ICO_ImageIndex;
    bool abort = false;
    vx::TProgressRec progress;
    progress.Aborting = &abort;
    switch (pass) {
      case 0:
        vx::ICOTryStream(s);
        s.SetPosition(0);
        vx::ICOReadStream(s, bitmap, params, progress, false, vx::TRGB{10, 20, 30});
        break;
      case 1:
        vx::CURTryStream(s);
        s.SetPosition(0);
        vx::CURReadStream(s, bitmap, params, progress, false);
        break;
      case 2:
        vx::ICOReadStream(s, bitmap, params, progress, true);
        break;
    }
  }
  return 0;
}

const vxfuzz::Registrar registrar("ico", FuzzICO);

}  // namespace
