// The metafile player on arbitrary bytes: the header probe, then the records played
// onto a small bitmap, as the bytes stand and with a placeable WMF header put in front
// (so that bytes meant as records are played as records).
#include <algorithm>
#include <cstring>
#include <vector>

#include "fuzz_target.h"
#include "metafile/metafileplayer.h"
#include "platform/bitmap.h"

namespace {

void Play(const std::vector<uint8_t>& bytes) {
  vx::TMetafileInfo info;
  if (!vx::ProbeMetafile(bytes, info)) return;
  const int w = std::clamp(info.width, 1, 96), h = std::clamp(info.height, 1, 96);
  vx::TBitmap bitmap;
  bitmap.SetPixelFormat(vx::pf24bit);
  bitmap.SetSize(w, h);
  vx::RenderMetafile(bytes, bitmap, w, h);
}

int FuzzMetafile(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  Play(bytes);
  // Placeable header (bounds 0,0 - 64,48 at 96 an inch) and a standard header.
  static constexpr uint8_t kHeader[] = {
      0xD7, 0xCD, 0xC6, 0x9A, 0,  0, 0, 0, 0, 0, 64, 0, 48, 0, 96, 0,  // key, bounds, inch
      0,    0,    0,    0,    0,  0,                                   // reserved, checksum
      1,    0,    9,    0,    0,  3,                                   // type, words, version
      0,    0,    0,    0,    16, 0, 0, 0, 0, 0, 0,  0};               // size, objects, ...
  std::vector<uint8_t> wmf(sizeof kHeader + size);
  std::memcpy(wmf.data(), kHeader, sizeof kHeader);
  if (size) std::memcpy(wmf.data() + sizeof kHeader, data, size);
  Play(wmf);
  return 0;
}

const vxfuzz::Registrar registrar("metafile", FuzzMetafile);

}  // namespace

// Fontconfig keeps its configuration and cairo its font faces for the life of the
// process, behind pointers stored as offsets that the leak checker cannot follow.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
