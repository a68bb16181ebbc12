// GIF LZW decoding: ours against giflib on the same images, held in memory.
//
// Inputs: the corpus pictures treescap.gif (40 x 40), porsche.gif (320 x 200) and
// solid2.gif (640 x 400, large flat areas), and a 1024 x 1024 photo-like 8-bit image
// that our encoder writes into a GIF. Ours decodes the image data from a memory stream;
// giflib reads the same file from memory with DGifSlurp (which also parses the few
// header bytes, a negligible part of the work) and, as a second figure, with
// DGifGetLine over the whole image.
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "codecs/lzw/giflzw.h"
#include "platform/stream.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct GifInput {
  std::string name;
  Bytes file;
  size_t dataPos = 0;
  int width = 0, height = 0;
  bool interlaced = false;
};

size_t SkipSubBlocks(const Bytes& f, size_t pos) {
  while (pos < f.size()) {
    const uint8_t len = f[pos++];
    if (len == 0) return pos;
    pos += len;
  }
  return f.size();
}

// Finds the first image of a GIF file.
bool FindImage(GifInput& in) {
  const Bytes& f = in.file;
  if (f.size() < 13) return false;
  size_t pos = 13;
  if (f[10] & 0x80) pos += 3u * (1u << ((f[10] & 7) + 1));
  while (pos < f.size()) {
    const uint8_t b = f[pos++];
    if (b == 0x21) {
      pos = SkipSubBlocks(f, pos + 1);
    } else if (b == 0x2C) {
      if (pos + 9 > f.size()) return false;
      in.width = f[pos + 4] | (f[pos + 5] << 8);
      in.height = f[pos + 6] | (f[pos + 7] << 8);
      const uint8_t packed = f[pos + 8];
      in.interlaced = (packed & 0x40) != 0;
      pos += 9;
      if (packed & 0x80) pos += 3u * (1u << ((packed & 7) + 1));
      in.dataPos = pos;
      return pos < f.size();
    } else {
      return false;
    }
  }
  return false;
}

GifInput LoadCorpus(const std::string& name) {
  GifInput in;
  in.name = name;
  try {
    in.file = vx::ReadWholeFile(std::string(VX_CORPUS_DIR) + "/gif/" + name);
  } catch (...) {
    in.file.clear();
  }
  if (!FindImage(in)) in.file.clear();
  return in;
}

// A smooth, slightly noisy 8-bit picture, as a palette image of a photograph looks.
GifInput MakePhotoLike(int w, int h) {
  std::mt19937 rng(1);
  Bytes px(static_cast<size_t>(w) * static_cast<size_t>(h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double t = 0.5 + 0.22 * std::sin(x * 0.011 + y * 0.006) + 0.18 * std::cos(y * 0.017 - x * 0.005) +
                       0.08 * std::sin((x + y) * 0.05);
      const int q = static_cast<int>(t * 256) + static_cast<int>(rng() % 5) - 2;
      px[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] =
          static_cast<uint8_t>(std::clamp(q, 0, 255));
    }
  vx::TMemoryStream lzw;
  vx::GIFLZWCompress(lzw, h, w, false, px.data(), 8);
  GifInput in;
  in.name = "photo1024";
  Bytes& g = in.file;
  g = {'G', 'I', 'F', '8', '9', 'a', static_cast<uint8_t>(w & 0xFF), static_cast<uint8_t>(w >> 8),
       static_cast<uint8_t>(h & 0xFF), static_cast<uint8_t>(h >> 8), 0xF7, 0, 0};
  for (int i = 0; i < 256; ++i) g.insert(g.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i)});
  g.insert(g.end(), {0x2C, 0, 0, 0, 0, static_cast<uint8_t>(w & 0xFF), static_cast<uint8_t>(w >> 8),
                     static_cast<uint8_t>(h & 0xFF), static_cast<uint8_t>(h >> 8), 0});
  g.insert(g.end(), lzw.Data().begin(), lzw.Data().end());
  g.push_back(0x3B);
  FindImage(in);
  return in;
}

struct MemReader {
  const Bytes* data;
  size_t pos;
};

int GifRead(GifFileType* gif, GifByteType* buf, int len) {
  auto* r = static_cast<MemReader*>(gif->UserData);
  const size_t n = std::min<size_t>(static_cast<size_t>(len), r->data->size() - r->pos);
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
  Bytes pixels(static_cast<size_t>(in->width) * static_cast<size_t>(in->height));
  for (auto _ : state) {
    ms.SetPosition(static_cast<int64_t>(in->dataPos));
    vx::GIFLZWDecompress(ms, in->height, in->width, in->interlaced, pixels.data());
    benchmark::DoNotOptimize(pixels.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(pixels.size()));
}

void GiflibSlurp(benchmark::State& state, const GifInput* in) {
  if (in->file.empty()) {
    state.SkipWithError("input missing");
    return;
  }
  for (auto _ : state) {
    MemReader r{&in->file, 0};
    int err = 0;
    GifFileType* gif = DGifOpen(&r, GifRead, &err);
    if (gif == nullptr || DGifSlurp(gif) != GIF_OK) {
      state.SkipWithError("giflib failed");
      if (gif) DGifCloseFile(gif, &err);
      return;
    }
    benchmark::DoNotOptimize(gif->SavedImages[0].RasterBits);
    DGifCloseFile(gif, &err);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * in->width * in->height);
}

void GiflibGetLine(benchmark::State& state, const GifInput* in) {
  if (in->file.empty() || in->interlaced) {
    state.SkipWithError("input missing or interlaced");
    return;
  }
  Bytes pixels(static_cast<size_t>(in->width) * static_cast<size_t>(in->height));
  for (auto _ : state) {
    MemReader r{&in->file, 0};
    int err = 0;
    GifFileType* gif = DGifOpen(&r, GifRead, &err);
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    bool ok = gif != nullptr;
    while (ok && DGifGetRecordType(gif, &type) == GIF_OK && type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* ext = nullptr;
      ok = DGifGetExtension(gif, &code, &ext) == GIF_OK;
      while (ok && ext != nullptr) ok = DGifGetExtensionNext(gif, &ext) == GIF_OK;
    }
    ok = ok && type == IMAGE_DESC_RECORD_TYPE && DGifGetImageDesc(gif) == GIF_OK &&
         DGifGetLine(gif, pixels.data(), static_cast<int>(pixels.size())) == GIF_OK;
    if (gif) DGifCloseFile(gif, &err);
    if (!ok) {
      state.SkipWithError("giflib failed");
      return;
    }
    benchmark::DoNotOptimize(pixels.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(pixels.size()));
}

// Console output as usual, plus each run's time kept for the ratios at the end.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& r : runs)
      if (!r.error_occurred && r.run_type == Run::RT_Iteration) times[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
  static const GifInput treescap = LoadCorpus("treescap.gif");
  static const GifInput porsche = LoadCorpus("porsche.gif");
  static const GifInput solid2 = LoadCorpus("solid2.gif");
  static const GifInput photo = MakePhotoLike(1024, 1024);
  const GifInput* inputs[] = {&treescap, &porsche, &solid2, &photo};
  for (const GifInput* in : inputs) {
    benchmark::RegisterBenchmark(("ours/" + in->name).c_str(), Ours, in);
    benchmark::RegisterBenchmark(("giflib_slurp/" + in->name).c_str(), GiflibSlurp, in);
    benchmark::RegisterBenchmark(("giflib_getline/" + in->name).c_str(), GiflibGetLine, in);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\nGIF LZW decode, giflib time / our time (above 1: ours is faster)\n");
  for (const GifInput* in : inputs) {
    const auto ours = reporter.times.find("ours/" + in->name);
    if (ours == reporter.times.end() || ours->second <= 0) continue;
    std::printf("  %-14s %dx%d, %zu bytes:", in->name.c_str(), in->width, in->height, in->file.size());
    for (const char* peer : {"giflib_slurp", "giflib_getline"}) {
      const auto p = reporter.times.find(std::string(peer) + "/" + in->name);
      if (p != reporter.times.end()) std::printf("  %s %.2fx", peer, p->second / ours->second);
    }
    std::printf("\n");
  }
  return 0;
}
