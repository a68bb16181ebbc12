// Lanczos-3 resampling: ours against Pillow's resize(LANCZOS) on the same pixels.
//
// Input: a 4000 x 3000 photograph-like picture made in code (smooth shading, edges,
// fine texture and a little noise), reduced to 1000 x 750, and that 1000 x 750 result
// enlarged back to 4000 x 3000. Pillow runs in a /usr/bin/python3 subprocess on the
// same raw bytes read from a temporary file; only the resize call is timed there
// (the best of several runs, like the minimum Google Benchmark converges to).
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "core/vxdefs.h"
#include "photo.h"
#include "proc/resample.h"

namespace {

struct Case {
  std::string name;
  const vx::TBitmap* source;
  int dstW, dstH;
};

void Ours(benchmark::State& state, const Case* c) {
  vx::TBitmap dest;
  vx::SizeBitmap(dest, c->dstW, c->dstH, vx::pf24bit);
  for (auto _ : state) {
    vx::Resample(*c->source, dest, vx::rfLanczos3);
    benchmark::DoNotOptimize(dest.Bits());
  }
}

// Seconds Pillow needs for the same resize, or a negative value when it cannot run.
double PillowSeconds(const vx::TBitmap& src, int dstW, int dstH) {
  char path[] = "/tmp/vx_bench_resample_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return -1;
  close(fd);
  {
    std::ofstream out(path, std::ios::binary);
    for (int y = 0; y < src.Height(); ++y)
      out.write(reinterpret_cast<const char*>(src.ScanLine(y)), 3 * src.Width());
  }
  const std::string script =
      "import sys, time\n"
      "from PIL import Image\n"
      "w, h, dw, dh = map(int, sys.argv[2:6])\n"
      "im = Image.frombytes('RGB', (w, h), open(sys.argv[1], 'rb').read())\n"
      "best = 1e9\n"
      "for _ in range(5):\n"
      "    t = time.perf_counter()\n"
      "    im.resize((dw, dh), Image.LANCZOS)\n"
      "    best = min(best, time.perf_counter() - t)\n"
      "print(best)\n";
  const std::string cmd = "/usr/bin/python3 -c \"" + script + "\" " + path + " " +
                          std::to_string(src.Width()) + " " + std::to_string(src.Height()) + " " +
                          std::to_string(dstW) + " " + std::to_string(dstH) + " 2>/dev/null";
  double seconds = -1;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    if (std::fscanf(p, "%lf", &seconds) != 1) seconds = -1;
    pclose(p);
  }
  std::remove(path);
  return seconds;
}

// Console output as usual, plus each run's time kept for the ratios at the end.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& r : runs)
      if (!r.error_occurred && r.run_type == Run::RT_Iteration)
        times[r.benchmark_name()] = r.GetAdjustedRealTime();  // milliseconds, see Unit below
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
  static const vx::TBitmap large = vxbench::MakePhotoLike(4000, 3000);
  static vx::TBitmap small;
  vx::SizeBitmap(small, 1000, 750, vx::pf24bit);
  vx::Resample(large, small, vx::rfLanczos3);
  static const Case cases[] = {{"down_4000x3000_to_1000x750", &large, 1000, 750},
                               {"up_1000x750_to_4000x3000", &small, 4000, 3000}};
  for (const Case& c : cases)
    benchmark::RegisterBenchmark(("ours/" + c.name).c_str(), Ours, &c)
        ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\nLanczos-3 resize, Pillow time / our time (above 1: ours is faster)\n");
  for (const Case& c : cases) {
    const auto ours = reporter.times.find("ours/" + c.name);
    if (ours == reporter.times.end() || ours->second <= 0) continue;
    const double pillowMs = PillowSeconds(*c.source, c.dstW, c.dstH) * 1000;
    if (pillowMs < 0) {
      std::printf("  %-28s ours %8.1f ms   Pillow unavailable\n", c.name.c_str(), ours->second);
      continue;
    }
    std::printf("  %-28s ours %8.1f ms   Pillow %8.1f ms   ratio %.2fx\n", c.name.c_str(),
                ours->second, pillowMs, pillowMs / ours->second);
  }
  return 0;
}
