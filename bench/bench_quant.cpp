// Palette building and pixel mapping through the quantizer object, as a palette writer
// does it, on a 4000 x 3000 image: against the median-cut path called directly.
//
// "Fitting": the photo already reduced to at most 256 colours, which the quantizer now
// gives its exact palette (a colour count, a sort and a hash probe a pixel instead of
// the 5-bit histogram, the box splits and a table read a pixel). "Photo": the photo
// itself, where the count stops early and median cut runs as before.
#include <benchmark/benchmark.h>

#include <vector>

#include "photo.h"
#include "quant/neurquant.h"
#include "quant/stdquant.h"
#include "ratio_reporter.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;
constexpr int kColours = 256;

const vx::TBitmap& Photo() {
  static const vx::TBitmap image = vxbench::MakePhotoLike(kWidth, kHeight);
  return image;
}

const vx::TBitmap& Fitting() {
  static const vx::TBitmap image = [] {
    vx::TBitmap b = Photo();
    std::vector<vx::TRGB> palette(kColours);
    auto q = vx::CreateMedianCutQuantizer(b, palette.data(), 0, kColours);
    for (int y = 0; y < kHeight; ++y) {
      auto* row = reinterpret_cast<vx::TRGB*>(b.ScanLine(y));
      for (int x = 0; x < kWidth; ++x) row[x] = palette[vx::MedianCutFindIndex(*q, row[x])];
    }
    return b;
  }();
  return image;
}

template <class Index>
void MapAll(const vx::TBitmap& b, std::vector<uint8_t>& out, Index index) {
  for (int y = 0; y < kHeight; ++y) {
    const auto* row = reinterpret_cast<const vx::TRGB*>(b.ScanLine(y));
    for (int x = 0; x < kWidth; ++x)
      out[static_cast<size_t>(x)] = static_cast<uint8_t>(index(row[x]));
    benchmark::DoNotOptimize(out.data());
  }
}

void Ours(benchmark::State& state, const vx::TBitmap& b) {
  std::vector<uint8_t> indices(kWidth);
  std::vector<vx::TRGB> palette(kColours);
  for (auto _ : state) {
    const vx::TVXQuantizer q(b, palette.data(), 0x7FFFFFF, kColours, -1, 0);
    MapAll(b, indices, [&](const vx::TRGB& c) { return q.GetRGBIndex(c); });
  }
}

void MedianCut(benchmark::State& state, const vx::TBitmap& b) {
  std::vector<uint8_t> indices(kWidth);
  std::vector<vx::TRGB> palette(kColours);
  for (auto _ : state) {
    auto q = vx::CreateMedianCutQuantizer(b, palette.data(), 0, kColours);
    MapAll(b, indices, [&](const vx::TRGB& c) { return vx::MedianCutFindIndex(*q, c); });
  }
}

}  // namespace

int main(int argc, char** argv) {
  Fitting();
  benchmark::RegisterBenchmark("OursFitting", [](benchmark::State& s) {
    Ours(s, Fitting());
  })->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("LibFitting", [](benchmark::State& s) {
    MedianCut(s, Fitting());
  })->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("OursPhoto", [](benchmark::State& s) {
    Ours(s, Photo());
  })->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("LibPhoto", [](benchmark::State& s) {
    MedianCut(s, Photo());
  })->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  vxbench::RatioReporter reporter("median cut", {"Fitting", "Photo"});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
