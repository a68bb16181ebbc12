// JPEG decoding and encoding: our adapter against libjpeg-turbo called directly on the
// same data.
//
// Input: a 4000 x 3000 photograph-like picture made in code (smooth gradients plus
// noise), encoded once in memory at quality 90. Both sides decode to blue-green-red rows
// in a freshly allocated image buffer (ours: a TBitmap from a memory stream; the
// library: a std::vector from jpeg_mem_src, one scan line a call), and encode the same
// rows (ours: into a memory stream; the library: jpeg_mem_dest). The last lines printed
// are our time over the library's.
#include <benchmark/benchmark.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "codecs/jpegfilt.h"
#include "core/vxdefs.h"
#include "io/ioparams.h"
#include "photo.h"
#include "platform/stream.h"
#include "ratio_reporter.h"

namespace {

constexpr int kWidth = 4000, kHeight = 3000;
constexpr const char* kPeer = "libjpeg-turbo";

const vx::TBitmap& Picture() {
  static const vx::TBitmap picture = vxbench::MakeNoisyGradient(kWidth, kHeight);
  return picture;
}

vx::TIOParamsVals Params() {
  vx::TIOParamsVals p;
  p.JPEG_Quality = 90;
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
    vx::WriteJPegStream(s, copy, p, pr);
    if (abort) std::abort();
    return s.Data();
  }();
  return data;
}

void OursDecode(benchmark::State& state) {
  vx::TMemoryStream s(Encoded());
  for (auto _ : state) {
    s.SetPosition(0);
    vx::TBitmap bitmap;
    vx::TIOParamsVals params;
    bool abort = false;
    vx::TProgressRec pr;
    pr.Aborting = &abort;
    vx::ReadJPegStream(s, bitmap, params, pr, false);
    if (abort) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(bitmap.Bits());
  }
}

void LibDecode(benchmark::State& state) {
  const auto& data = Encoded();
  for (auto _ : state) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    const size_t rowBytes = static_cast<size_t>(cinfo.output_width) * 3;
    std::vector<uint8_t> image(rowBytes * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = image.data() + rowBytes * cinfo.output_scanline;
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
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
    vx::WriteJPegStream(s, picture, params, pr);
    if (abort) state.SkipWithError("encode failed");
    benchmark::DoNotOptimize(s.Memory());
  }
}

void LibEncode(benchmark::State& state) {
  const vx::TBitmap& picture = Picture();
  for (auto _ : state) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &mem, &size);
    cinfo.image_width = kWidth;
    cinfo.image_height = kHeight;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, JCS_YCbCr);
    cinfo.density_unit = 1;
    cinfo.X_density = cinfo.Y_density = 96;
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
      JSAMPROW row = const_cast<JSAMPROW>(picture.ScanLine(static_cast<int>(cinfo.next_scanline)));
      jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    benchmark::DoNotOptimize(mem);
    std::free(mem);
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
