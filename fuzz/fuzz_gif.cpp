// GIF container on arbitrary bytes: every image index the data names, full decode and
// preview, insertion into the bytes as a stream, and the file rewrites.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "codecs/giffilter.h"
#include "core/vxdefs.h"
#include "fuzz_target.h"
#include "io/ioparams.h"
#include "platform/stream.h"

namespace {

int FuzzGIF(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  const int wanted = size > 0 ? data[size - 1] % 4 : 0;
  for (int pass = 0; pass < 3; ++pass) {
    vx::TMemoryStream s(bytes);
    vx::TBitmap bitmap;
    vx::TIOParamsVals params;
    params.GIF_ImageIndex = pass == 0 ? 0 : wanted;
    bool abort = false;
    vx::TProgressRec progress;
    progress.Aborting = &abort;
    int count = 0;
    vx::ReadGifStream(s, bitmap, count, pass == 2, params, progress);
  }
  {
    vx::TMemoryStream s(bytes);
    vx::TBitmap bitmap;
    vx::SizeBitmap(bitmap, 3, 2, vx::pf24bit);
    vx::TIOParamsVals params;
    params.GIF_ImageIndex = wanted;
    params.BitsPerSample = 2;
    bool abort = false;
    vx::TProgressRec progress;
    progress.Aborting = &abort;
    vx::InsertGifImStream(s, bitmap, params, progress);
  }
  // The file rewrites, on a scratch file (only worth it for data that passes the
  // signature test).
  if (size < 3 || data[0] != 'G' || data[1] != 'I' || data[2] != 'F') return 0;
  // In memory where the system has it: the rewrites sync the file before renaming it,
  // which on a disk would hold every run up for milliseconds.
  const std::string dir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  const std::string name = dir + "/vxfuzz_gif_" + std::to_string(::getpid()) + ".gif";
  try {
    vx::TMemoryStream(bytes).SaveToFile(name);
    vx::CheckGifAnimate(name);
    vx::DeleteGifIm(name, wanted, true);
    vx::GifMakeAnimate(name, 2, 10, 10);
    vx::DeleteGifIm(name, -1, false);
  } catch (...) {
  }
  std::remove(name.c_str());
  return 0;
}

const vxfuzz::Registrar registrar("gif", FuzzGIF);

}  // namespace
