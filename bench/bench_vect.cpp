// The vector object store: adding a million objects, saving and loading 100,000 objects
// as VXV, and finding the object nearest to a click among 10,000. There is no peer for
// these; each figure is printed beside the time it should stay under.
//
// The objects are mixed kinds spread over a 6000 x 4000 image; the view for the search
// is a 1920 x 1080 viewport at zoom 100 at the image's top left, so most of the objects
// lie off screen and only the rest are candidates.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <iostream>
#include <random>

#include "platform/stream.h"
#include "vect/vxvstore.h"

namespace {

constexpr int kImageW = 6000, kImageH = 4000;

void Fill(vx::TVXVObjectStore& st, int count, uint32_t seed) {
  static const vx::TVXVObjectKind kinds[] = {vx::vxkLINE, vx::vxkBOX,    vx::vxkELLIPSE,
                                             vx::vxkARC,  vx::vxkBITMAP, vx::vxkTEXT};
  std::mt19937 rng(seed);
  st.SetImageSize(kImageW, kImageH);
  vx::TVXVObject o = st.Template();
  for (int k = 0; k < count; ++k) {
    o.Kind = kinds[k % 6];
    o.Left = static_cast<int>(rng() % kImageW);
    o.Top = static_cast<int>(rng() % kImageH);
    o.Right = o.Left + static_cast<int>(rng() % 300);
    o.Bottom = o.Top + static_cast<int>(rng() % 200);
    o.BrushStyle = k % 4 == 0 ? vx::bsSolid : vx::bsClear;
    o.Text = o.Kind == vx::vxkTEXT ? "label " + std::to_string(k) : std::string();
    o.Name = k % 10 == 0 ? "n" + std::to_string(k) : std::string();
    o.ID = k;
    st.AddVObject(vx::kVXVRoot, o);  // bitmap objects share the template's picture
  }
}

void BM_AddNewObject1M(benchmark::State& state) {
  for (auto _ : state) {
    vx::TVXVObjectStore st;
    st.Template().Kind = vx::vxkBOX;
    for (int k = 0; k < 1000000; ++k) benchmark::DoNotOptimize(st.AddNewObject());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_AddNewObject1M)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_VXVSaveLoad100k(benchmark::State& state) {
  vx::TVXVObjectStore st;
  Fill(st, 100000, 1);
  int64_t bytes = 0;
  for (auto _ : state) {
    vx::TMemoryStream s;
    st.SaveToStreamVXV(s);
    bytes = s.Size();
    s.SetPosition(0);
    vx::TVXVObjectStore back;
    back.LoadFromStreamVXV(s);
    benchmark::DoNotOptimize(back.ObjectsCount());
  }
  state.counters["stream_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_VXVSaveLoad100k)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_FindNearObj10k(benchmark::State& state) {
  vx::TVXVObjectStore st;
  Fill(st, 10000, 2);
  const vx::TRect visible = vx::VisibleImagePart(0, 0, 1920, 1080, 100);
  std::mt19937 rng(3);
  for (auto _ : state) {
    const int x = static_cast<int>(rng() % 1920), y = static_cast<int>(rng() % 1080);
    benchmark::DoNotOptimize(st.FindNearObj(vx::kVXVRoot, x, y, visible));
  }
}
BENCHMARK(BM_FindNearObj10k)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::cout << "goals: AddNewObject x 1,000,000 < 1000 ms; VXV save + load of 100,000 objects"
               " < 1000 ms; FindNearObj over 10,000 objects < 1000 us\n";
  return 0;
}
