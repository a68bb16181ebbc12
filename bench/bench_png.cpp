// PNG decoding and encoding: our adapter against libpng called directly on the same data.
//
// Input: a 3000 x 2000 photograph-like picture made in code (smooth gradients plus
// noise), encoded once in memory (sub filter, level 6). Both sides decode to
// blue-green-red rows in a freshly allocated image buffer (ours: a TBitmap from a memory
// stream; libpng: a std::vector, png_set_bgr, one row a call from a memory reader) and
// encode the same rows with the same settings (ours: into a memory stream; libpng: a
// write callback appending to a std::vector). The last lines printed are our time over
// libpng's.
#include <benchmark/benchmark.h>

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "codecs/pngfilt.h"
#include "core/vxdefs.h"
#include "io/ioparams.h"
#include "photo.h"
#include "platform/stream.h"
#include "ratio_reporter.h"

namespace {

constexpr int kWidth = 3000, kHeight = 2000;
constexpr const char* kPeer = "libpng";

const vx::TBitmap& Picture() {
  static const vx::TBitmap picture = vxbench::MakeNoisyGradient(kWidth, kHeight);
  return picture;
}

vx::TIOParamsVals Params() {
  vx::TIOParamsVals p;
  p.PNG_Filter = vx::ioPNG_FILTER_SUB;
  p.PNG_Compression = 6;
  return p;
}

const std::vector<uint8_t>& Encoded() {
  static const std::vector<uint8_t> data = [] {
    vx::TBitmap copy(Picture());
    vx::TMemoryStream s;
    vx::TIOParamsVals p = Params();
    bool abort = false;
    vx::TProgressRec pr;
    pr.Aborting = &abort;
    vx::WritePNGStream(s, copy, p, pr);
    if (abort) std::abort();
    return s.Data();
  }();
  return data;
}

struct Reader {
  const uint8_t* data;
  size_t pos;
};
void ReadMem(png_structp png, png_bytep out, size_t n) {
  auto* r = static_cast<Reader*>(png_get_io_ptr(png));
  std::memcpy(out, r->data + r->pos, n);
  r->pos += n;
}
void WriteVec(png_structp png, png_bytep in, size_t n) {
  auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  v->insert(v->end(), in, in + n);
}
void NoFlush(png_structp) {}

void OursDecode(benchmark::State& state) {
  vx::TMemoryStream s(Encoded());
  for (auto _ : state) {
    s.SetPosition(0);
    vx::TBitmap bitmap;
    vx::TIOParamsVals params;
    bool abort = false;
    vx::TProgressRec pr;
    pr.Aborting = &abort;
    vx::ReadPNGStream(s, bitmap, params, pr, false);
    if (abort) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(bitmap.Bits());
  }
}

void LibDecode(benchmark::State& state) {
  const auto& data = Encoded();
  for (auto _ : state) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    Reader r{data.data(), 0};
    png_set_read_fn(png, &r, ReadMem);
    png_read_info(png, info);
    png_set_bgr(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    const png_uint_32 h = png_get_image_height(png, info);
    std::vector<uint8_t> image(rowBytes * h);
    for (int p = 0; p < passes; ++p)
      for (png_uint_32 y = 0; y < h; ++y) png_read_row(png, image.data() + rowBytes * y, nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    benchmark::DoNotOptimize(image.data());
  }
}

void OursEncode(benchmark::State& state) {
  vx::TBitmap picture(Picture());
  for (auto _ : state) {
    vx::TMemoryStream s;
    vx::TIOParamsVals params = Params();
    bool abort = false;
    vx::TProgressRec pr;
    pr.Aborting = &abort;
    vx::WritePNGStream(s, picture, params, pr);
    if (abort) state.SkipWithError("encode failed");
    benchmark::DoNotOptimize(s.Memory());
  }
}

void LibEncode(benchmark::State& state) {
  const vx::TBitmap& picture = Picture();
  for (auto _ : state) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, WriteVec, NoFlush);
    png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_pHYs(png, info, 3780, 3780, PNG_RESOLUTION_METER);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_color_16 bg{};
    png_set_bKGD(png, info, &bg);
    png_set_compression_level(png, 6);
    png_set_bgr(png);
    png_write_info(png, info);
    for (int y = 0; y < kHeight; ++y)
      png_write_row(png, const_cast<png_bytep>(picture.ScanLine(y)));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    benchmark::DoNotOptimize(out.data());
  }
}

BENCHMARK(OursDecode)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(LibDecode)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(OursEncode)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(LibEncode)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Encoded();  // made before timing starts
  vxbench::RatioReporter reporter(kPeer, {"Decode", "Encode"});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
