// Colour Fourier transform of a 1024 x 1024 image: ours (TVXFtImage::BuildFT, vxitRGB)
// against FFTW's single-precision two-dimensional plan run once per channel.
//
// Both sides start from the same bitmap and do the same work: spread each channel into a
// complex plane (normalised, with the centring checkerboard) and transform it forward.
// FFTW's plan is made once, outside the timed loop (FFTW_MEASURE), on interleaved complex
// data of its own alignment.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>

#ifdef VX_HAVE_FFTW
#include <fftw3.h>
#endif

#include "core/vxdefs.h"
#include "proc/vxfft.h"

namespace {

constexpr int kSide = 1024;

const vx::TBitmap& Source() {
  static const vx::TBitmap bmp = [] {
    vx::TBitmap b;
    vx::SizeBitmap(b, kSide, kSide, vx::pf24bit);
    std::mt19937 rng(3);
    for (int y = 0; y < kSide; ++y)
      for (int x = 0; x < 3 * kSide; ++x)
        b.ScanLine(y)[x] = static_cast<uint8_t>((x / 3 + y) % 256 / 2 + rng() % 128);
    return b;
  }();
  return bmp;
}

void BM_VantixFtRGB(benchmark::State& state) {
  const vx::TBitmap& src = Source();
  vx::TVXFtImage ft;
  for (auto _ : state) {
    ft.BuildFT(src, vx::vxitRGB);
    benchmark::DoNotOptimize(ft.GetComplexImage(kSide / 2, kSide / 2).RedReal);
  }
}
BENCHMARK(BM_VantixFtRGB)->Unit(benchmark::kMillisecond)->MinTime(2.0);

#ifdef VX_HAVE_FFTW
void BM_FftwRGB(benchmark::State& state) {
  const vx::TBitmap& src = Source();
  const size_t count = static_cast<size_t>(kSide) * kSide;
  auto* in = static_cast<fftwf_complex*>(fftwf_malloc(sizeof(fftwf_complex) * count));
  auto* out = static_cast<fftwf_complex*>(fftwf_malloc(sizeof(fftwf_complex) * count));
  const fftwf_plan plan =
      fftwf_plan_dft_2d(kSide, kSide, in, out, FFTW_FORWARD, static_cast<unsigned>(state.range(0)));
  for (auto _ : state) {
    for (int channel = 2; channel >= 0; --channel) {
      int largest = 1;
      for (int y = 0; y < kSide; ++y) {
        const uint8_t* row = src.ScanLine(y);
        for (int x = 0; x < kSide; ++x) largest = std::max<int>(largest, row[3 * x + channel]);
      }
      const float divisor = static_cast<float>(largest);
      for (int y = 0; y < kSide; ++y) {
        const uint8_t* row = src.ScanLine(y);
        fftwf_complex* c = in + static_cast<size_t>(y) * kSide;
        for (int x = 0; x < kSide; ++x) {
          const float v = row[3 * x + channel] / divisor;
          c[x][0] = (x + y) & 1 ? -v : v;
          c[x][1] = 0;
        }
      }
      fftwf_execute(plan);
      benchmark::DoNotOptimize(out[0][0]);
    }
  }
  fftwf_destroy_plan(plan);
  fftwf_free(in);
  fftwf_free(out);
}
BENCHMARK(BM_FftwRGB)
    ->Arg(FFTW_ESTIMATE)
    ->Arg(FFTW_MEASURE)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
#endif

}  // namespace

BENCHMARK_MAIN();
