// Metafile rendering, whole process each: `vxtool convert drawing.wmf out.png` at
// 2000 x 1500 against libwmf's wmf2gd on the same WMF of about 2,000 records, and the
// EMF counterpart against LibreOffice's headless conversion for reference.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "../tests/metafile/recordwriter.h"

namespace {

namespace fs = std::filesystem;

fs::path WorkDir() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("vx-bench-metafile-" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

int Ref(uint32_t rgb) {
  return static_cast<int>((rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16);
}

// A drawing of shapes, outlines, polylines and labels: about 2,000 records.
std::vector<uint8_t> Drawing() {
  vxtest::WmfWriter w;
  w.Rec(0x020B, {0, 0}).Rec(0x020C, {3000, 4000});
  w.Rec(0x02FB, {-60, 0, 0, 0, 400, 0, 0, 0, 0}, {'A', 'r', 'i', 'a', 'l', 0});
  w.Rec(0x012D, {0});
  w.Rec(0x0102, {1});
  int records = 4;
  for (int i = 0; records < 2000; ++i) {
    const int x = (i % 20) * 200, y = (i / 20 % 15) * 200;
    const uint32_t c = 0x102030u * static_cast<uint32_t>(i % 7 + 1) ^ 0x00A0F0u;
    w.Rec(0x02FA, {0, 1 + i % 6, 0, Ref(c) & 0xFFFF, Ref(c) >> 16});  // pen: slot 1
    w.Rec(0x02FC, {i % 5 == 0 ? 2 : 0, Ref(~c) & 0xFFFF, (Ref(~c) >> 16) & 0xFF, i % 6});  // slot 2
    w.Rec(0x012D, {1}).Rec(0x012D, {2});
    switch (i % 4) {
      case 0:
        w.Rec(0x041B, {y + 180, x + 180, y + 20, x + 20});
        break;
      case 1:
        w.Rec(0x0418, {y + 180, x + 180, y + 20, x + 20});
        break;
      case 2:
        w.Rec(0x0324, {5, x + 100, y + 10, x + 190, y + 100, x + 100, y + 190, x + 10, y + 100,
                       x + 100, y + 10});
        break;
      default:
        w.Rec(0x0325, {6, x, y, x + 60, y + 150, x + 100, y + 30, x + 140, y + 170, x + 180, y + 50,
                       x + 200, y + 200});
        break;
    }
    w.Rec(0x0521, {4, 'T' | 'x' << 8, ('0' + i % 10) | '!' << 8, y + 120, x + 40});
    w.Rec(0x01F0, {1}).Rec(0x01F0, {2});
    records += 7;
  }
  return w.Bytes(true, 0, 0, 4000, 3000, 1000, 4);
}

std::vector<uint8_t> EmfDrawing() {
  vxtest::EmfWriter e;
  for (int i = 0; i < 400; ++i) {
    const int x = (i % 20) * 20, y = (i / 20) * 15;
    e.Rec(39, {1, 0, Ref(0x203040u * static_cast<uint32_t>(i % 5 + 1)), 0}).Rec(37, {1});
    e.Rec(i % 2 ? 42 : 43, {x + 2, y + 2, x + 18, y + 13});
    e.Rec(37, {0x80000004}).Rec(40, {1});
  }
  return e.Bytes(400, 300);
}

void Write(const fs::path& p, const std::vector<uint8_t>& bytes) {
  std::ofstream(p, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

const fs::path& WmfFile() {
  static const fs::path p = [] {
    fs::path f = WorkDir() / "drawing.wmf";
    Write(f, Drawing());
    return f;
  }();
  return p;
}

const fs::path& EmfFile() {
  static const fs::path p = [] {
    fs::path f = WorkDir() / "drawing.emf";
    Write(f, EmfDrawing());
    return f;
  }();
  return p;
}

double ChildCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Per benchmark: mean wall and child CPU seconds of one run of the command.
std::map<std::string, std::pair<double, double>>& Figures() {
  static std::map<std::string, std::pair<double, double>> f;
  return f;
}

void RunCommand(benchmark::State& state, const std::string& name, const std::string& cmd) {
  double wall = 0, cpu = 0;
  for (auto _ : state) {
    const double cpu0 = ChildCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    if (std::system(cmd.c_str()) != 0) {
      state.SkipWithError(("failed: " + cmd).c_str());
      return;
    }
    const double w = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.SetIterationTime(w);
    wall += w;
    cpu += ChildCpuSeconds() - cpu0;
  }
  const double n = static_cast<double>(state.iterations());
  Figures()[name] = {wall / n, cpu / n};
}

void OursWmf(benchmark::State& state) {
  RunCommand(state, "OursWmf",
             std::string(VXTOOL_PATH) + " convert " + WmfFile().string() + " " +
                 (WorkDir() / "ours.png").string() +
                 " --width 2000 --height 1500 2>/dev/null >/dev/null");
}
void LibWmf(benchmark::State& state) {
  RunCommand(state, "LibWmf",
             "wmf2gd -t png --maxwidth=2000 --maxheight=1500 --maxsize -o " +
                 (WorkDir() / "libwmf.png").string() + " " + WmfFile().string() + " 2>/dev/null");
}
void OursEmf(benchmark::State& state) {
  RunCommand(state, "OursEmf",
             std::string(VXTOOL_PATH) + " convert " + EmfFile().string() + " " +
                 (WorkDir() / "ours_emf.png").string() + " 2>/dev/null >/dev/null");
}
void LibEmfLibreOffice(benchmark::State& state) {
  RunCommand(state, "LibEmf",
             "soffice --headless --convert-to png --outdir " + (WorkDir() / "lo").string() + " " +
                 EmfFile().string() + " >/dev/null 2>&1");
}

BENCHMARK(OursWmf)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(LibWmf)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(OursEmf)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const bool haveOffice = std::system("command -v soffice >/dev/null 2>&1") == 0;
  if (haveOffice)
    benchmark::RegisterBenchmark("LibEmfLibreOffice", LibEmfLibreOffice)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
  benchmark::RunSpecifiedBenchmarks();
  const auto& f = Figures();
  const auto ratio = [&](const char* what, const char* ours, const char* lib, const char* peer) {
    if (!f.count(ours) || !f.count(lib) || f.at(lib).first <= 0) return;
    std::cout << what << ": ours / " << peer << " = " << f.at(ours).first / f.at(lib).first
              << " (wall time), " << f.at(ours).second / std::max(1e-9, f.at(lib).second)
              << " (CPU time of the process)\n";
  };
  ratio("WMF 2000 x 1500", "OursWmf", "LibWmf", "wmf2gd");
  ratio("EMF", "OursEmf", "LibEmf", "LibreOffice");
  // VX_BENCH_KEEP=1 keeps the drawing and the three renderings for a look.
  if (std::getenv("VX_BENCH_KEEP")) {
    std::cout << "files kept in " << WorkDir() << "\n";
  } else {
    std::error_code ec;
    fs::remove_all(WorkDir(), ec);
  }
  return 0;
}
