// BMP, icon and cursor readers on arbitrary bytes: with a known and an unknown data
// length, full decode and preview, and the content tests.
#include <vector>

#include "core/vxdefs.h"
#include "fuzz_target.h"
#include "codecs/bmpfilt.h"
#include "io/ioparams.h"
#include "platform/stream.h"

namespace {

int FuzzBMP(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  for (int pass = 0; pass < 4; ++pass) {
    vx::TMemoryStream s(bytes);
    vx::TBitmap bitmap;
    vx::TIOParamsVals params;
    bool abort = false;
    vx::TProgressRec progress;
    progress.Aborting = &abort;
    const bool preview = pass == 3;
    switch (pass) {
      case 0:
      case 3:
        vx::BMPReadStream(s, bitmap, static_cast<int64_t>(size), preview, params, progress);
        break;
      case 1:
        vx::BMPReadStream(s, bitmap, 0, false, params, progress);
        break;
      case 2:
        params.ICO_ImageIndex = size > 0 ? data[0] % 3 : 0;
        params.CUR_ImageIndex = params.ICO_ImageIndex;
        vx::ICOTryStream(s);
        vx::CURTryStream(s);
        vx::ICOReadStream(s, bitmap, params, progress, false, vx::TRGB{10, 20, 30});
        s.SetPosition(0);
        abort = false;
        vx::CURReadStream(s, bitmap, params, progress, false);
        s.SetPosition(0);
        abort = false;
        vx::ICOReadStream(s, bitmap, params, progress, true);
        break;
    }
  }
  return 0;
}

const vxfuzz::Registrar registrar("bmp", FuzzBMP);

}  // namespace
