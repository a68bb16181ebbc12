// The packed-DIB decoder on arbitrary bytes: as one block, with the pixels handed
// separately after the header, and as a clipboard paste through the component.
#include <algorithm>
#include <vector>

#include "fuzz_target.h"
#include "platform/clipboard.h"
#include "proc/dibtransfer.h"
#include "proc/vantixproc.h"

namespace {

int FuzzDIB(const uint8_t* data, size_t size) {
  {
    vx::TBitmap bitmap;
    vx::CopyDIB2Bitmap(data, size, bitmap);
  }
  if (size > 40) {
    // The same bytes split: header (and whatever the first byte says of a table),
    // then the pixels from a buffer of their own.
    const size_t split = std::min(size, static_cast<size_t>(40 + 4 * (data[0] & 15)));
    const std::vector<uint8_t> head(data, data + split), pixels(data + split, data + size);
    vx::TBitmap bitmap;
    vx::CopyDIB2Bitmap(head.data(), head.size(), bitmap, pixels.data(), pixels.size());
  }
  {
    vx::TBitmap target;
    vx::SizeBitmap(target, 3, 2, vx::pf24bit);
    vx::TVantixProc proc;
    proc.SetAttachedBitmap(&target);
    const std::vector<uint8_t> dib(data, data + size);
    vx::Clipboard().SetDIB(dib);
    proc.PasteFromClipboard();
    proc.PointPasteFromClip(1, 1);
    proc.CopyToClipboard();
    vx::Clipboard().Clear();
  }
  return 0;
}

const vxfuzz::Registrar registrar("dib", FuzzDIB);

}  // namespace
