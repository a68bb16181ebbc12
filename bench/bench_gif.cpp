// Whole-file GIF decode: ReadGifStream (container, LZW and the 24-bit bitmap) against
// giflib's DGifSlurp (container and LZW to palette indices) on the same file in memory.
//
// Input: a 4000 x 3000 photograph-like picture (smooth gradients with noise) that our
// writer stores as an 8-bit GIF, plain and interlaced. giflib stops at palette indices
// while ours also expands every pixel through the palette into the bitmap, so the
// comparison leans in giflib's favour.
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "codecs/giffilter.h"
#include "core/vxdefs.h"
#include "io/ioparams.h"
#include "platform/bitmap.h"
#include "platform/stream.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct GifInput {
  std::string name;
  Bytes file;
};

GifInput MakeLargeGif(bool interlaced) {
  const int w = 4000, h = 3000;
  vx::TBitmap b;
  vx::SizeBitmap(b, w, h, vx::pf24bit);
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> noise(-6, 6);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<vx::TRGB*>(b.ScanLine(y));
    for (int x = 0; x < w; ++x) {
      const int r = (x * 255) / w + noise(rng);
      const int g = (y * 255) / h + noise(rng);
      const int bl = ((x + y) * 255) / (w + h) + noise(rng);
      row[x] = vx::CreateRGB(vx::blimit(r), vx::blimit(g), vx::blimit(bl));
    }
  }
  vx::TIOParamsVals params;
  params.BitsPerSample = 8;
  params.GIF_Interlaced = interlaced;
  bool abort = false;
  vx::TProgressRec progress;
  progress.Aborting = &abort;
  vx::TMemoryStream ms;
  vx::WriteGifStream(ms, b, params, progress);
  GifInput in;
  in.name = interlaced ? "4000x3000_interlaced" : "4000x3000";
  if (!abort) in.file = ms.Data();
  return in;
}

struct MemReader {
  const Bytes* data;
  size_t pos;
};

int GifRead(GifFileType* gif, GifByteType* buf, int len) {
  auto* r = static_cast<MemReader*>(gif->UserData);
  const size_t n = std::min(static_cast<size_t>(len), r->data->size() - r->pos);
  std::memcpy(buf, r->data->data() + r->pos, n);
  r->pos += n;
  return static_cast<int>(n);
}

void Ours(benchmark::State& state, const GifInput* in) {
  if (in->file.empty()) {
    state.SkipWithError("input missing");
    return;
  }
  vx::TMemoryStream ms(in->file);
  vx::TBitmap bitmap;
  for (auto _ : state) {
    ms.SetPosition(0);
    vx::TIOParamsVals params;
    bool abort = false;
    vx::TProgressRec progress;
    progress.Aborting = &abort;
    int count = 0;
    vx::ReadGifStream(ms, bitmap, count, false, params, progress);
    if (abort) {
      state.SkipWithError("read failed");
      return;
    }
    benchmark::DoNotOptimize(bitmap.Bits());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * bitmap.Width() *
                          bitmap.Height());
}

void GiflibSlurp(benchmark::State& state, const GifInput* in) {
  if (in->file.empty()) {
    state.SkipWithError("input missing");
    return;
  }
  int64_t pixels = 0;
  for (auto _ : state) {
    MemReader r{&in->file, 0};
    int err = 0;
    GifFileType* gif = DGifOpen(&r, GifRead, &err);
    if (gif == nullptr || DGifSlurp(gif) != GIF_OK) {
      state.SkipWithError("giflib failed");
      if (gif) DGifCloseFile(gif, &err);
      return;
    }
    pixels = static_cast<int64_t>(gif->SWidth) * gif->SHeight;
    benchmark::DoNotOptimize(gif->SavedImages[0].RasterBits);
    DGifCloseFile(gif, &err);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * pixels);
}

// Console output as usual, plus each run's time kept for the ratios at the end.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& r : runs)
      if (!r.error_occurred && r.run_type == Run::RT_Iteration)
        times[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
  static const GifInput plain = MakeLargeGif(false);
  static const GifInput interlaced = MakeLargeGif(true);
  const GifInput* inputs[] = {&plain, &interlaced};
  for (const GifInput* in : inputs) {
    benchmark::RegisterBenchmark(("ours/" + in->name).c_str(), Ours, in)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("giflib_slurp/" + in->name).c_str(), GiflibSlurp, in)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\nWhole-file GIF decode, giflib time / our time (above 1: ours is faster)\n");
  for (const GifInput* in : inputs) {
    const auto o = reporter.times.find("ours/" + in->name);
    const auto g = reporter.times.find("giflib_slurp/" + in->name);
    if (o != reporter.times.end() && g != reporter.times.end() && o->second > 0)
      std::printf("  %-24s %.2f  (%zu bytes)\n", in->name.c_str(), g->second / o->second,
                  in->file.size());
  }
  return 0;
}
