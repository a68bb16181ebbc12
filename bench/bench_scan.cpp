// A 300 dpi A4 colour scan from SANE's test backend: through the TWAIN-style
// acquisition (memory transfer into a bitmap) against scanimage writing PNM to
// /dev/null. Real time is the figure: scanimage's work happens in another process.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "acquire/imscan.h"
#include "acquire/twainparams.h"
#include "platform/bitmap.h"
#include "ratio_reporter.h"

namespace {

constexpr double kMm = 1 / 25.4;

// A private SANE set-up naming only the test backend, with room for A4.
void UseTestBackend() {
  const auto dir =
      std::filesystem::temp_directory_path() / ("vx-bench-sane-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "dll.conf") << "test\n";
  std::ofstream(dir / "test.conf") << "number_of_devices 2\ntest-picture \"Color pattern\"\n"
                                      "geometry_max 300.0\ngeometry_quant 1.0\n";
  setenv("SANE_CONFIG_DIR", dir.c_str(), 1);
  vx::SetTwainManagerChoice(vx::TVXTWManagerChoice::twmBuiltin);
}

void OursScanA4(benchmark::State& state) {
  vx::TVXTWainParams tw;
  tw.SetVisibleDialog(false);
  tw.SetBufferedTransfer(true);
  tw.XResolution().SetCurrentValue(300);
  tw.YResolution().SetCurrentValue(300);
  tw.PixelType().SetCurrentValue(2);
  const double frame[4] = {0, 0, 210 * kMm, 297 * kMm};
  for (int i = 0; i < 4; ++i) tw.SetAcquireFrame(i, frame[i]);
  for (auto _ : state) {
    vx::TBitmap bmp;
    vx::TProgressRec pr = vx::ResetNullpr();
    if (!vx::VXTW_Acquire(0, &bmp, false, pr, nullptr, tw) || bmp.Width() != 2480) {
      state.SkipWithError(("the scan failed: " + tw.LastError()).c_str());
      break;
    }
    benchmark::DoNotOptimize(bmp.ScanLine(0));
  }
}

void LibScanA4(benchmark::State& state) {
  for (auto _ : state)
    if (std::system("scanimage -d test:0 --format=pnm --mode Color --depth 8 --resolution 300 "
                    "-l 0 -t 0 -x 210 -y 297 --test-picture 'Color pattern' > /dev/null 2>&1") !=
        0) {
      state.SkipWithError("scanimage failed");
      break;
    }
}

BENCHMARK(OursScanA4)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(LibScanA4)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  UseTestBackend();
  vxbench::RatioReporter reporter("scanimage", {"ScanA4"});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
