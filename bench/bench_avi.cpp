// AVI decoding: our reader against the ffmpeg program on the same file.
//
// Input: a 1920 x 1080 Motion JPEG AVI of 300 frames that ffmpeg writes once into the
// temporary folder. Ours decodes every frame into a TBitmap (24-bit rows, as the
// multi-image loader gets them); the peer is
//   ffmpeg -i FILE -f rawvideo -pix_fmt bgr24 -y /dev/null
// which decodes and converts the same frames and throws them away. Both run once with a
// single decoding thread and once with the threads the decoder picks itself. The last
// lines printed are our time over ffmpeg's (real time; CPU time of ffmpeg is its child
// process time).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>

#include "core/vxdefs.h"
#include "multi/avifile.h"

namespace {

constexpr int kFrames = 300;

const std::string& Clip() {
  static const std::string path = [] {
    const std::string p =
        (std::filesystem::temp_directory_path() / "vxbench_mjpeg_1080p_300.avi").string();
    if (!std::filesystem::exists(p)) {
      const std::string cmd =
          "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=25 -frames:v " +
          std::to_string(kFrames) + " -c:v mjpeg -q:v 3 '" + p + ".part' && mv '" + p + ".part' '" +
          p + "'";
      if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "bench_avi: ffmpeg could not write the clip\n");
        std::exit(1);
      }
    }
    return p;
  }();
  return path;
}

double ChildCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::map<std::string, double> gReal, gCpu;

void Ours(benchmark::State& state, int threads) {
  const std::string& clip = Clip();
  vx::TBitmap bitmap;
  for (auto _ : state) {
    bool abort = false;
    vx::TProgressRec progress;
    progress.Aborting = &abort;
    vx::TAVIReader reader;
    reader.SetDecoderThreads(threads);
    if (!reader.Open(clip, progress)) state.SkipWithError("open failed");
    int frames = 0;
    while (reader.ReadFrame(bitmap, progress) == vx::avirFrame) ++frames;
    if (frames != kFrames) state.SkipWithError("wrong frame count");
    benchmark::DoNotOptimize(bitmap.Bits());
  }
  state.SetItemsProcessed(state.iterations() * kFrames);
}

void Peer(benchmark::State& state, int threads) {
  const std::string cmd = "ffmpeg -nostdin -v error " +
                          (threads ? "-threads " + std::to_string(threads) + " " : std::string()) +
                          "-i '" + Clip() + "' -f rawvideo -pix_fmt bgr24 -y /dev/null";
  double cpu = 0;
  for (auto _ : state) {
    const double before = ChildCpuSeconds();
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("ffmpeg failed");
    cpu += ChildCpuSeconds() - before;
  }
  state.counters["child_cpu_s"] = cpu / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations() * kFrames);
}

void OursDecode(benchmark::State& s) {
  Ours(s, 1);
}
void LibDecode(benchmark::State& s) {
  Peer(s, 1);
}
void OursDecodeThreads(benchmark::State& s) {
  Ours(s, 0);
}
void LibDecodeThreads(benchmark::State& s) {
  Peer(s, 0);
}

BENCHMARK(OursDecode)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(LibDecode)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(OursDecodeThreads)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(LibDecodeThreads)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

class Reporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration) continue;
      const std::string name = r.benchmark_name().substr(0, r.benchmark_name().find('/'));
      real_[name] = r.GetAdjustedRealTime();
      const auto child = r.counters.find("child_cpu_s");
      // Milliseconds, as the adjusted times are.
      cpu_[name] = child != r.counters.end() ? child->second.value * 1000 : r.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios() const {
    for (const char* what : {"Decode", "DecodeThreads"}) {
      const std::string ours = std::string("Ours") + what, lib = std::string("Lib") + what;
      if (!real_.count(ours) || !real_.count(lib)) continue;
      std::cout << what << ": ours / ffmpeg = " << real_.at(ours) / real_.at(lib)
                << " (real time), " << cpu_.at(ours) / cpu_.at(lib) << " (CPU time)\n";
    }
  }

 private:
  std::map<std::string, double> real_, cpu_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Clip();
  Reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
