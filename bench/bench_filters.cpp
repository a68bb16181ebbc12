// 3x3 convolution against OpenCV's filter2D and antialiased rotation against
// Pillow's rotate(BICUBIC, expand=True), on the same pixels.
//
// Input: a 4000 x 3000 photograph-like picture made in code (smooth shading, edges,
// fine texture and a little noise). The peers run in a /usr/bin/python3 subprocess
// on the same raw bytes read from a temporary file; only the call itself is timed
// there (the best of several runs, like the minimum Google Benchmark converges to).
// OpenCV is timed single-threaded, as our code runs, and with its default threads.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "core/vxdefs.h"
#include "photo.h"
#include "proc/filters.h"
#include "proc/geometry.h"

namespace {

const vx::TBitmap& Photo() {
  static const vx::TBitmap photo = vxbench::MakePhotoLike(4000, 3000);
  return photo;
}

struct FilterCase {
  std::string name;
  vx::TVXFilterPresets preset;
};
const FilterCase kFilterCases[] = {{"sharpen_fpHighPass1", vx::fpHighPass1},
                                   {"blur_fpBlur", vx::fpBlur}};

void OursFilter(benchmark::State& state, const FilterCase* c) {
  vx::TBitmap b(Photo());
  const vx::TGraphFilter f = vx::FilterPreset(c->preset);
  for (auto _ : state) {
    vx::ApplyFilter(b, f, 0, 0, b.Width() - 1, b.Height() - 1, vx::nullpr);
    benchmark::DoNotOptimize(b.Bits());
  }
}

void OursRotate(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    vx::TBitmap b(Photo());
    state.ResumeTiming();
    vx::Rotate(b, 30, true, vx::TRGB{}, vx::nullpr);
    benchmark::DoNotOptimize(b.Bits());
  }
}

// Writes the picture as raw RGB rows; empty on failure.
std::string WriteRaw(const vx::TBitmap& src) {
  char path[] = "/tmp/vx_bench_filters_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return {};
  close(fd);
  std::ofstream out(path, std::ios::binary);
  for (int y = 0; y < src.Height(); ++y)
    out.write(reinterpret_cast<const char*>(src.ScanLine(y)), 3 * src.Width());
  return path;
}

// Runs a Python snippet that prints seconds; negative when it cannot run.
double PythonSeconds(const std::string& script, const std::string& args) {
  const std::string cmd = "/usr/bin/python3 -c \"" + script + "\" " + args + " 2>/dev/null";
  double seconds = -1;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    if (std::fscanf(p, "%lf", &seconds) != 1) seconds = -1;
    pclose(p);
  }
  return seconds;
}

double OpenCvSeconds(const std::string& raw, const vx::TGraphFilter& f, bool singleThread) {
  std::string kernel;
  for (size_t k = 0; k < 9; ++k) kernel += (k ? "," : "") + std::to_string(f.Values[k]);
  const std::string script =
      "import sys, time\n"
      "import numpy as np, cv2\n"
      "w, h, threads = int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])\n"
      "if threads: cv2.setNumThreads(threads)\n"
      "im = np.fromfile(sys.argv[1], np.uint8).reshape(h, w, 3)\n"
      "k = np.array([" +
      kernel + "], np.float32).reshape(3, 3) / " + std::to_string(f.Divisor == 0 ? 1 : f.Divisor) +
      "\n"
      "best = 1e9\n"
      "for _ in range(10):\n"
      "    t = time.perf_counter()\n"
      "    cv2.filter2D(im, -1, k, borderType=cv2.BORDER_REPLICATE)\n"
      "    best = min(best, time.perf_counter() - t)\n"
      "print(best)\n";
  return PythonSeconds(script, raw + " 4000 3000 " + (singleThread ? "1" : "0"));
}

double PillowRotateSeconds(const std::string& raw) {
  const std::string script =
      "import sys, time\n"
      "from PIL import Image\n"
      "im = Image.frombytes('RGB', (4000, 3000), open(sys.argv[1], 'rb').read())\n"
      "best = 1e9\n"
      "for _ in range(3):\n"
      "    t = time.perf_counter()\n"
      "    im.rotate(30, Image.BICUBIC, expand=True)\n"
      "    best = min(best, time.perf_counter() - t)\n"
      "print(best)\n";
  return PythonSeconds(script, raw);
}

// Console output as usual, plus each run's time kept for the ratios at the end.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& r : runs)
      if (!r.error_occurred && r.run_type == Run::RT_Iteration)
        times[r.benchmark_name()] = r.GetAdjustedRealTime();  // milliseconds
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
  Photo();
  for (const FilterCase& c : kFilterCases)
    benchmark::RegisterBenchmark(("ours/ApplyFilter_" + c.name).c_str(), OursFilter, &c)
        ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("ours/Rotate30_antialias", OursRotate)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const std::string raw = WriteRaw(Photo());
  std::printf("\n4000 x 3000: peer time / our time (above 1: ours is faster)\n");
  for (const FilterCase& c : kFilterCases) {
    const auto ours = reporter.times.find("ours/ApplyFilter_" + c.name);
    if (ours == reporter.times.end() || ours->second <= 0) continue;
    const vx::TGraphFilter f = vx::FilterPreset(c.preset);
    const double one = OpenCvSeconds(raw, f, true) * 1000;
    const double all = OpenCvSeconds(raw, f, false) * 1000;
    if (one < 0) {
      std::printf("  ApplyFilter %-20s ours %7.1f ms   OpenCV unavailable\n", c.name.c_str(),
                  ours->second);
      continue;
    }
    std::printf(
        "  ApplyFilter %-20s ours %7.1f ms   filter2D %7.1f ms (1 thread) ratio %.2fx,"
        " %7.1f ms (default threads) ratio %.2fx\n",
        c.name.c_str(), ours->second, one, one / ours->second, all, all / ours->second);
  }
  // The name carries the fixed iteration count: ".../iterations:3".
  const auto rot = reporter.times.lower_bound("ours/Rotate30_antialias");
  if (rot != reporter.times.end() && rot->second > 0) {
    const double pil = PillowRotateSeconds(raw) * 1000;
    if (pil < 0)
      std::printf("  Rotate 30 antialias            ours %7.1f ms   Pillow unavailable\n",
                  rot->second);
    else
      std::printf(
          "  Rotate 30 antialias            ours %7.1f ms   Pillow BICUBIC %7.1f ms   "
          "ratio %.2fx\n",
          rot->second, pil, pil / rot->second);
  }
  if (!raw.empty()) std::remove(raw.c_str());
  return 0;
}
