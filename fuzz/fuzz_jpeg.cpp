// JPEG reader on arbitrary bytes: full decode at each scale and DCT method, preview, and
// re-encoding whatever decoded.
#include <vector>

#include "codecs/jpegfilt.h"
#include "core/vxdefs.h"
#include "fuzz_target.h"
#include "io/ioparams.h"
#include "platform/stream.h"

namespace {

int FuzzJPEG(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  const uint8_t selector = size > 0 ? data[size - 1] : 0;
  for (int pass = 0; pass < 3; ++pass) {
    vx::TMemoryStream s(bytes);
    vx::TBitmap bitmap;
    vx::TIOParamsVals params;
    params.JPEG_Scale = static_cast<vx::TIOJPEGScale>((selector + pass) % 5);
    params.JPEG_DCTMethod = static_cast<vx::TIOJPEGDctMethod>(selector / 5 % 3);
    params.Width = 40;
    params.Height = 30;
    bool abort = false;
    vx::TProgressRec progress;
    progress.Aborting = &abort;
    vx::JpegTryStream(s);
    vx::ReadJPegStream(s, bitmap, params, progress, pass == 2);
    if (pass == 0 && !abort && !bitmap.Empty() && bitmap.Width() * bitmap.Height() < 1 << 20) {
      vx::TMemoryStream out;
      params.JPEG_ColorSpace = static_cast<vx::TIOJPEGColorspace>(selector % 5);
      vx::WriteJPegStream(out, bitmap, params, progress);
    }
  }
  return 0;
}

const vxfuzz::Registrar registrar("jpeg", FuzzJPEG);

}  // namespace
