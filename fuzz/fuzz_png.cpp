// PNG reader on arbitrary bytes (full decode and preview), the zlib helpers on the same
// bytes, and re-encoding whatever decoded.
#include <vector>

#include "codecs/pngfilt.h"
#include "codecs/vxzlib.h"
#include "core/vxdefs.h"
#include "fuzz_target.h"
#include "io/ioparams.h"
#include "platform/stream.h"

namespace {

int FuzzPNG(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  for (int pass = 0; pass < 2; ++pass) {
    vx::TMemoryStream s(bytes);
    vx::TBitmap bitmap;
    vx::TIOParamsVals params;
    params.PNG_Background = vx::TRGB{10, 20, 30};
    bool abort = false;
    vx::TProgressRec progress;
    progress.Aborting = &abort;
    vx::IsPNGStream(s);
    vx::ReadPNGStream(s, bitmap, params, progress, pass == 1);
    if (pass == 0 && !abort && !bitmap.Empty() && bitmap.Width() * bitmap.Height() < 1 << 16) {
      vx::TMemoryStream out;
      params.SamplesPerPixel = size % 2 ? 1 : 3;
      params.PNG_Interlaced = size % 3 == 0;
      try {
        vx::WritePNGStream(out, bitmap, params, progress);
      } catch (const vx::EInvalidGraphic&) {
      }
    }
  }
  // The whole-buffer and stream inflaters on the raw bytes.
  try {
    std::vector<uint8_t> out;
    int64_t n = 0;
    vx::DecompressBuf(data, static_cast<int64_t>(size), static_cast<int64_t>(size) * 4, out, n,
                      int64_t{1} << 24);
  } catch (const vx::EZlibError&) {
  }
  try {
    vx::TMemoryStream s(bytes);
    vx::TDecompressionStream d(s);
    uint8_t buf[4096];
    for (int i = 0; i < 64 && d.Read(buf, sizeof buf) > 0; ++i) {
    }
  } catch (const vx::EZlibError&) {
  }
  return 0;
}

const vxfuzz::Registrar registrar("png", FuzzPNG);

}  // namespace
