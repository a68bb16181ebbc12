// TIFF reader, page counter, page deletion and page insertion on arbitrary bytes.
#include <vector>

#include "codecs/tiffilt.h"
#include "core/vxdefs.h"
#include "fuzz_target.h"
#include "io/ioparams.h"
#include "platform/bitmap.h"
#include "platform/stream.h"

namespace {

int FuzzTIFF(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  // Every page the chain holds (a few at most), full decode and preview.
  int pages = 1;
  for (int index = 0; index < pages && index < 4; ++index) {
    for (const bool preview : {false, true}) {
      vx::TMemoryStream s(bytes);
      vx::TBitmap bitmap;
      vx::TIOParamsVals params;
      params.TIFF_ImageIndex = index;
      bool abort = false;
      vx::TProgressRec progress;
      progress.Aborting = &abort;
      vx::TIFFReadStream(&bitmap, s, pages, &params, progress, preview);
    }
  }
  {
    vx::TMemoryStream s(bytes);
    vx::EnumTIFFImStream(s);
  }
  {
    // Deleting a page must leave something our reader can take without harm.
    vx::TMemoryStream s(bytes);
    if (vx::DeleteTIFFImStream(s, size > 0 ? data[size - 1] % 3 : 0) > 0) {
      s.SetPosition(0);
      vx::TBitmap bitmap;
      vx::TIOParamsVals params;
      bool abort = false;
      vx::TProgressRec progress;
      progress.Aborting = &abort;
      int n = 0;
      vx::TIFFReadStream(&bitmap, s, n, &params, progress, false);
    }
  }
  {
    vx::TMemoryStream s(bytes);
    vx::TBitmap page;
    vx::SizeBitmap(page, 3, 2, vx::pf24bit);
    vx::TIOParamsVals params;
    params.TIFF_ImageIndex = size > 1 ? data[1] % 4 : 0;
    bool abort = false;
    vx::TProgressRec progress;
    progress.Aborting = &abort;
    vx::TIFFWriteStream(s, true, page, params, progress);
  }
  return 0;
}

const vxfuzz::Registrar registrar("tiff", FuzzTIFF);

}  // namespace
