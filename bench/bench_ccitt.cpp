// Group 4 decoding: ours against libtiff's on the same data, both in memory.
//
// Input: a 2480 x 3508 page (A4 at 300 dpi) of text-like blocks: lines of glyph-sized
// strokes with word gaps and margins, plus a ruled box; libtiff codes it with Group 4 in a
// memory TIFF. Ours decodes the raw strip row by row (the way the TIFF reader calls it);
// libtiff decodes it with TIFFReadEncodedStrip through TIFFClientOpen over the same bytes
// (the directory is read once, outside the timed loop). A third figure decodes the corpus
// fax testfax4.tiff (2453 x 3369) with both.
#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "codecs/tifccitt.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A growable in-memory file for TIFFClientOpen.
struct MemFile {
  Bytes data;
  toff_t pos = 0;
};

tsize_t MemRead(thandle_t h, tdata_t buf, tsize_t size) {
  MemFile* f = static_cast<MemFile*>(h);
  const toff_t n =
      std::min<toff_t>(toff_t(size), f->pos < f->data.size() ? f->data.size() - f->pos : 0);
  std::memcpy(buf, f->data.data() + f->pos, size_t(n));
  f->pos += n;
  return tsize_t(n);
}
tsize_t MemWrite(thandle_t h, tdata_t buf, tsize_t size) {
  MemFile* f = static_cast<MemFile*>(h);
  if (f->pos + toff_t(size) > f->data.size()) f->data.resize(size_t(f->pos + toff_t(size)));
  std::memcpy(f->data.data() + f->pos, buf, size_t(size));
  f->pos += toff_t(size);
  return size;
}
toff_t MemSeek(thandle_t h, toff_t off, int whence) {
  MemFile* f = static_cast<MemFile*>(h);
  if (whence == SEEK_SET) f->pos = off;
  if (whence == SEEK_CUR) f->pos += off;
  if (whence == SEEK_END) f->pos = f->data.size() + off;
  return f->pos;
}
int MemClose(thandle_t) {
  return 0;
}
toff_t MemSize(thandle_t h) {
  return static_cast<MemFile*>(h)->data.size();
}
int MemMap(thandle_t, tdata_t*, toff_t*) {
  return 0;
}
void MemUnmap(thandle_t, tdata_t, toff_t) {}

TIFF* MemOpen(MemFile& f, const char* mode) {
  f.pos = 0;
  return TIFFClientOpen("mem", mode, &f, MemRead, MemWrite, MemSeek, MemClose, MemSize, MemMap,
                        MemUnmap);
}

void SetBlack(Bytes& page, int stride, int x, int y) {
  page[size_t(y) * size_t(stride) + size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
}

// libtiff's convention for the rows it codes: a set bit is black.
Bytes MakePage(int w, int h) {
  const int stride = (w + 7) / 8;
  Bytes page(size_t(stride) * size_t(h), 0);
  std::mt19937 rng(7);
  const int margin = 200;
  for (int line = margin; line + 40 < h - margin; line += 60) {
    int x = margin;
    while (x < w - margin - 40) {
      const int word = 3 + int(rng() % 8);
      for (int g = 0; g < word && x < w - margin - 30; ++g) {
        const int gw = 14 + int(rng() % 10);
        // A glyph: two or three strokes, vertical, horizontal or diagonal.
        const int strokes = 2 + int(rng() % 2);
        for (int s = 0; s < strokes; ++s) {
          const int kind = int(rng() % 3);
          const int off = int(rng() % unsigned(gw - 4));
          for (int t = 0; t < 30; ++t) {
            for (int k = 0; k < 3; ++k) {
              int px = x, py = line + t;
              if (kind == 0) px = x + off + k;
              if (kind == 1) {
                px = x + (t * gw) / 30;
                py = line + off + k;
              }
              if (kind == 2) px = x + (t * gw) / 30 + k;
              if (py < line + 30) SetBlack(page, stride, px, py);
            }
          }
        }
        x += gw + 4;
      }
      x += 25;
    }
  }
  for (int x = 100; x < w - 100; ++x)
    for (int k = 0; k < 4; ++k) {
      SetBlack(page, stride, x, 100 + k);
      SetBlack(page, stride, x, h - 104 + k);
    }
  return page;
}

struct G4Input {
  MemFile file;
  Bytes strip;
  int width = 0, height = 0;
  bool ok = false;
};

G4Input FromTiff(MemFile file) {
  G4Input in;
  in.file = std::move(file);
  TIFF* tif = MemOpen(in.file, "r");
  if (!tif) return in;
  uint32_t w = 0, h = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
  in.width = int(w);
  in.height = int(h);
  in.ok = TIFFNumberOfStrips(tif) == 1;
  const tmsize_t size = TIFFRawStripSize(tif, 0);
  in.strip.resize(size_t(std::max<tmsize_t>(size, 0)));
  if (size > 0) TIFFReadRawStrip(tif, 0, in.strip.data(), size);
  TIFFClose(tif);
  return in;
}

const G4Input& Page() {
  static const G4Input in = [] {
    const int w = 2480, h = 3508;
    const Bytes page = MakePage(w, h);
    MemFile f;
    TIFF* tif = MemOpen(f, "w");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(w));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(h));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(h));
    const int stride = (w + 7) / 8;
    for (int y = 0; y < h; ++y)
      TIFFWriteScanline(tif, const_cast<uint8_t*>(page.data()) + size_t(y) * size_t(stride),
                        uint32_t(y), 0);
    TIFFClose(tif);
    return FromTiff(std::move(f));
  }();
  return in;
}

const G4Input& Corpus() {
  static const G4Input in = [] {
    MemFile f;
    const std::string path = std::string(VX_CORPUS_DIR) + "/tiff/testfax4.tiff";
    if (FILE* fp = std::fopen(path.c_str(), "rb")) {
      int c;
      while ((c = std::fgetc(fp)) != EOF) f.data.push_back(uint8_t(c));
      std::fclose(fp);
    }
    return FromTiff(std::move(f));
  }();
  return in;
}

void Ours(benchmark::State& state, const G4Input& in) {
  if (!in.ok) {
    state.SkipWithError("no input");
    return;
  }
  const size_t stride = size_t((in.width + 7) / 8);
  Bytes image(stride * size_t(in.height));
  Bytes ref(stride);
  std::vector<int32_t> refChanges;
  for (auto _ : state) {
    std::fill(ref.begin(), ref.end(), 0xFF);
    refChanges.clear();
    int64_t pos = 0;
    for (int y = 0; y < in.height && pos >= 0; ++y)
      pos = vx::CCITT3_2D_GetLine(image.data() + size_t(y) * stride, in.strip.data(),
                                  int64_t(in.strip.size()), in.width, ref.data(), pos, 1,
                                  &refChanges);
    if (pos < 0) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(image.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.size()));
}

void Libtiff(benchmark::State& state, const G4Input& in) {
  if (!in.ok) {
    state.SkipWithError("no input");
    return;
  }
  MemFile f = in.file;
  TIFF* tif = MemOpen(f, "r");
  Bytes image(size_t(TIFFStripSize(tif)));
  for (auto _ : state) {
    if (TIFFReadEncodedStrip(tif, 0, image.data(), tmsize_t(image.size())) < 0)
      state.SkipWithError("libtiff failed");
    benchmark::DoNotOptimize(image.data());
  }
  TIFFClose(tif);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.size()));
}

void BM_G4Page_Ours(benchmark::State& s) {
  Ours(s, Page());
}
void BM_G4Page_Libtiff(benchmark::State& s) {
  Libtiff(s, Page());
}
void BM_G4Corpus_Ours(benchmark::State& s) {
  Ours(s, Corpus());
}
void BM_G4Corpus_Libtiff(benchmark::State& s) {
  Libtiff(s, Corpus());
}

BENCHMARK(BM_G4Page_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_G4Page_Libtiff)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_G4Corpus_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_G4Corpus_Libtiff)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
