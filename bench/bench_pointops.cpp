// Point operations through the processing component against a plain memory pass over
// the same bytes, on a 4000 x 3000 true-colour image.
//
// "plain" is the least any implementation must do: one loop over the pixel block with
// the same arithmetic (255 - c; the grey formula per pixel). Its byte loop has a trip
// count known at compile time, which is what -O2 needs to vectorise it; the worker's
// rows have a run-time length and go in fixed-length blocks for the same effect. "proc" is
// TVantixProc::Negative / ConvertToGray with AutoUndo off (selection resolution,
// worker with row pointers and per-row progress, Update); "proc_undo" adds the undo
// copy a default component takes first.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>

#include "proc/vantixproc.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

vx::TBitmap& Image() {
  static vx::TBitmap image = [] {
    vx::TBitmap b;
    vx::SizeBitmap(b, kWidth, kHeight, vx::pf24bit);
    std::mt19937 rng(1);
    for (size_t i = 0; i < b.BitsSize(); i += 4) {
      const uint32_t v = rng();
      std::memcpy(b.Bits() + i, &v, std::min<size_t>(4, b.BitsSize() - i));
    }
    return b;
  }();
  return image;
}

void PlainNegative(benchmark::State& state) {
  vx::TBitmap& b = Image();
  for (auto _ : state) {
    for (int y = 0; y < kHeight; ++y) {
      uint8_t* p = b.ScanLine(y);
      for (int i = 0; i < kWidth * 3; ++i) p[i] = static_cast<uint8_t>(255 - p[i]);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void PlainGray(benchmark::State& state) {
  vx::TBitmap& b = Image();
  for (auto _ : state) {
    for (int y = 0; y < kHeight; ++y) {
      uint8_t* p = b.ScanLine(y);
      for (int x = 0; x < kWidth; ++x, p += 3) {
        const auto g = static_cast<uint8_t>((p[2] * 21 + p[1] * 71 + p[0] * 7) / 100);
        p[0] = p[1] = p[2] = g;
      }
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

template <bool Gray>
void Proc(benchmark::State& state, bool autoUndo) {
  vx::TBitmap& b = Image();
  vx::TVantixProc proc;
  proc.SetAttachedBitmap(&b);
  proc.SetAutoUndo(autoUndo);
  proc.OnProgress = [](vx::TObject*, int percent) { benchmark::DoNotOptimize(percent); };
  for (auto _ : state) {
    if constexpr (Gray)
      proc.ConvertToGray();
    else
      proc.Negative();
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

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
  benchmark::RegisterBenchmark("plain/Negative", PlainNegative)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("proc/Negative", [](benchmark::State& s) {
    Proc<false>(s, false);
  })->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("proc_undo/Negative", [](benchmark::State& s) {
    Proc<false>(s, true);
  })->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("plain/ConvertToGray", PlainGray)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("proc/ConvertToGray", [](benchmark::State& s) {
    Proc<true>(s, false);
  })->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("proc_undo/ConvertToGray", [](benchmark::State& s) {
    Proc<true>(s, true);
  })->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\n%dx%d point operations, component time / plain pass time (goal: 2 or less)\n",
              kWidth, kHeight);
  for (const char* op : {"Negative", "ConvertToGray"}) {
    const auto plain = reporter.times.find(std::string("plain/") + op);
    if (plain == reporter.times.end() || plain->second <= 0) continue;
    std::printf("  %-14s", op);
    for (const char* kind : {"proc", "proc_undo"}) {
      const auto t = reporter.times.find(std::string(kind) + "/" + op);
      if (t != reporter.times.end()) std::printf("  %s %.2fx", kind, t->second / plain->second);
    }
    std::printf("\n");
  }
  return 0;
}
