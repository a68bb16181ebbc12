// TIFF reading: ours against libtiff on the same large LZW file.
//
// Input: a 2048 x 2048 photo-like RGB image that libtiff writes with LZW and horizontal
// differencing, 16 rows a strip (the layout most writers use). Ours decodes the page
// from a file stream into a pf24bit bitmap; libtiff decodes the same file with
// TIFFReadEncodedStrip over every strip (decompression and predictor only) and, as a
// second figure, with TIFFReadRGBAImage (which also converts to RGBA, as ours converts
// to BGR). The ratio to the strip figure is printed as a counter of the ours benchmark
// (wall time of the last runs) and, after the table, in CPU and real time over all runs.
#include <benchmark/benchmark.h>

#if __has_include(<tiffio.h>)
#include <tiffio.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "codecs/tiffilt.h"
#include "core/vxdefs.h"
#include "io/ioparams.h"
#include "platform/bitmap.h"
#include "platform/stream.h"
#include "ratio_reporter.h"

namespace {

constexpr int kSide = 2048;
constexpr int kRowsPerStrip = 16;

const std::string& InputFile() {
  static const std::string path = [] {
    const std::string p =
        (std::filesystem::temp_directory_path() / "vx_bench_tiff_lzw.tif").string();
    TIFF* t = TIFFOpen(p.c_str(), "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kSide);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, kSide);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(t, TIFFTAG_PREDICTOR, 2);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, kRowsPerStrip);
    std::vector<uint8_t> row(kSide * 3);
    uint32_t noise = 12345;
    for (int y = 0; y < kSide; ++y) {
      for (int x = 0; x < kSide; ++x) {
        noise = noise * 1103515245u + 12345u;
        const double v = 128 + 60 * std::sin(x * 0.01) * std::cos(y * 0.013);
        const int n = static_cast<int>((noise >> 16) & 7);
        row[3 * x] = static_cast<uint8_t>(v + n);
        row[3 * x + 1] = static_cast<uint8_t>(v * 0.7 + (x >> 4) + n);
        row[3 * x + 2] = static_cast<uint8_t>(255 - v + n);
      }
      TIFFWriteScanline(t, row.data(), static_cast<uint32_t>(y), 0);
    }
    TIFFClose(t);
    return p;
  }();
  return path;
}

double g_libtiffStripSeconds = 0;

void BM_LibtiffReadEncodedStrip(benchmark::State& state) {
  const std::string& path = InputFile();
  TIFFSetWarningHandler(nullptr);
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    TIFF* t = TIFFOpen(path.c_str(), "r");
    const tmsize_t stripSize = TIFFStripSize(t);
    std::vector<uint8_t> buf(static_cast<size_t>(stripSize) * TIFFNumberOfStrips(t));
    for (uint32_t s = 0; s < TIFFNumberOfStrips(t); ++s)
      TIFFReadEncodedStrip(t, s, buf.data() + s * stripSize, stripSize);
    TIFFClose(t);
    benchmark::DoNotOptimize(buf.data());
    g_libtiffStripSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  state.SetBytesProcessed(state.iterations() * int64_t{kSide} * kSide * 3);
}

void BM_LibtiffReadRGBAImage(benchmark::State& state) {
  const std::string& path = InputFile();
  std::vector<uint32_t> px(static_cast<size_t>(kSide) * kSide);
  for (auto _ : state) {
    TIFF* t = TIFFOpen(path.c_str(), "r");
    TIFFReadRGBAImage(t, kSide, kSide, px.data(), 0);
    TIFFClose(t);
    benchmark::DoNotOptimize(px.data());
  }
  state.SetBytesProcessed(state.iterations() * int64_t{kSide} * kSide * 3);
}

void BM_OursTIFFReadStream(benchmark::State& state) {
  const std::string& path = InputFile();
  vx::TBitmap bmp;
  double seconds = 0;
  int64_t runs = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    vx::TFileStream f(path, vx::fmOpenRead);
    vx::TIOParamsVals params;
    bool abort = false;
    vx::TProgressRec p;
    p.Aborting = &abort;
    int pages = 0;
    vx::TIFFReadStream(&bmp, f, pages, &params, p, false);
    if (abort) state.SkipWithError("our reader failed");
    benchmark::DoNotOptimize(bmp.Bits());
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    ++runs;
  }
  state.SetBytesProcessed(state.iterations() * int64_t{kSide} * kSide * 3);
  if (runs && g_libtiffStripSeconds > 0)
    state.counters["ours/libtiff_strips"] = seconds / runs / g_libtiffStripSeconds;
}

}  // namespace

int main(int argc, char** argv) {
  // Named Lib<What> / Ours<What> for the ratio lines.
  benchmark::RegisterBenchmark("LibTiffLzwStrips", BM_LibtiffReadEncodedStrip)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("LibTiffLzwRGBA", BM_LibtiffReadRGBAImage)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("OursTiffLzwStrips", BM_OursTIFFReadStream)
      ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  vxbench::RatioReporter reporter("libtiff", {"TiffLzwStrips"});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}

#else
// Without libtiff's header there is no peer to measure against.
static void BM_TiffPeerMissing(benchmark::State& state) {
  for (auto _ : state) {
  }
  state.SkipWithError("libtiff (tiffio.h) not available");
}
BENCHMARK(BM_TiffPeerMissing);
BENCHMARK_MAIN();
#endif
