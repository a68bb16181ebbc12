// Headless user of vxcore: the README's example. Loads the BMP the test wrote, checks
// its pixels, saves it as PNG and reads that back.
//   core_consumer IN.bmp OUT.png
#include <cstdio>
#include <string>

#include "io/vantixio.h"
#include "platform/bitmap.h"
#include "sample.h"

namespace {

bool Fail(const char* step, const vx::TVantixIO& io) {
  std::fprintf(stderr, "core_consumer: %s failed: %s\n", step, io.LastError().c_str());
  return false;
}

bool IsSample(const vx::TBitmap& b) {
  if (b.Width() != sample::kWidth || b.Height() != sample::kHeight ||
      b.PixelFormat() != vx::pf24bit) {
    std::fprintf(stderr, "core_consumer: got %dx%d\n", b.Width(), b.Height());
    return false;
  }
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const vx::TRGB p = reinterpret_cast<const vx::TRGB*>(b.ScanLine(y))[x];
      if (p.r != sample::Red(x, y) || p.g != sample::Green(x, y) || p.b != sample::Blue(x, y)) {
        std::fprintf(stderr, "core_consumer: pixel %d,%d is %d,%d,%d\n", x, y, p.r, p.g, p.b);
        return false;
      }
    }
  return true;
}

bool Run(const std::string& in, const std::string& out) {
  vx::TBitmap bitmap;
  vx::TVantixIO io;
  io.SetAttachedBitmap(&bitmap);
  io.LoadFromFile(in);  // format chosen by extension
  if (io.Aborting()) return Fail("loading the BMP", io);
  if (!IsSample(bitmap)) return false;
  io.SaveToFile(out);
  if (io.Aborting()) return Fail("saving the PNG", io);

  vx::TBitmap again;
  io.SetAttachedBitmap(&again);
  io.LoadFromFile(out);
  if (io.Aborting()) return Fail("reading the PNG back", io);
  return IsSample(again);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: core_consumer IN.bmp OUT.png\n");
    return 2;
  }
  return Run(argv[1], argv[2]) ? 0 : 1;
}
