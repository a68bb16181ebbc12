// Median-cut and neural-net quantizers, and the two reductions to one bit a
// pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "core/vxdefs.h"
#include "proc/convert1bit.h"
#include "quant/neurquant.h"
#include "quant/stdquant.h"

namespace vx {
namespace {

TRGB* Row(TBitmap& b, int y) {
  return reinterpret_cast<TRGB*>(b.ScanLine(y));
}

TBitmap Solid(int w, int h, TRGB c) {
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) Row(b, y)[x] = c;
  return b;
}

// A smooth photograph-like image: gradients with some structure.
TBitmap Photo(int w, int h) {
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      Row(b, y)[x] = CreateRGB(static_cast<uint8_t>(x * 255 / (w - 1)),
                               static_cast<uint8_t>(y * 255 / (h - 1)),
                               static_cast<uint8_t>(((x * y) / 7 + (x ^ y)) & 255));
  return b;
}

// An image made only of the given colours, in a scattered arrangement.
TBitmap FromColours(const std::vector<TRGB>& cols, int w, int h) {
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  std::mt19937 rng(7);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) Row(b, y)[x] = cols[rng() % cols.size()];
  return b;
}

std::vector<TRGB> GridColours(int n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::set<int> seen;
  std::vector<TRGB> out;
  while (static_cast<int>(out.size()) < n) {
    const int r = rng() % 32, g = rng() % 32, b = rng() % 32;
    if (!seen.insert(r * 1024 + g * 32 + b).second) continue;
    out.push_back(CreateRGB(static_cast<uint8_t>(r * 8), static_cast<uint8_t>(g * 8),
                            static_cast<uint8_t>(b * 8)));
  }
  return out;
}

int L1(const TRGB& a, const TRGB& b) {
  return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
}

TEST(MedianCut, SingleColourGivesOneEntryWithLowBitsCleared) {
  // Two colours that differ only in their low 3 bits fall in one cell: still
  // one entry.
  TBitmap b = Solid(9, 7, CreateRGB(201, 77, 13));
  Row(b, 3)[4] = CreateRGB(206, 79, 15);
  std::vector<TRGB> pal(16, CreateRGB(1, 2, 3));
  auto q = CreateMedianCutQuantizer(b, pal.data(), 0, 16);
  EXPECT_EQ(q->colorsMade, 1);
  EXPECT_EQ(pal[0], CreateRGB(200, 72, 8));
  EXPECT_EQ(pal[1], CreateRGB(1, 2, 3));  // entries not made are left alone
  EXPECT_EQ(MedianCutFindIndex(*q, CreateRGB(0, 255, 255)), 0);
  EXPECT_EQ(MedianCutFindIndex(*q, CreateRGB(201, 77, 13)), 0);
  FreeMedianCutQuantizer(q);
  EXPECT_EQ(q, nullptr);
}

TEST(MedianCut, PhotoGetsAllEntriesOnTheFiveBitGrid) {
  const TBitmap b = Photo(120, 90);
  for (int n : {2, 16, 256}) {
    std::vector<TRGB> pal(static_cast<size_t>(n));
    auto q = CreateMedianCutQuantizer(b, pal.data(), 0, n);
    EXPECT_EQ(q->colorsMade, n) << n;
    for (int k = 0; k < q->colorsMade; ++k) {
      EXPECT_EQ(pal[k].r % 8, 0);
      EXPECT_EQ(pal[k].g % 8, 0);
      EXPECT_EQ(pal[k].b % 8, 0);
    }
    // Every cell maps to the last box whose bounds hold it, or 0 outside all
    // boxes.
    for (int cell = 0; cell < 32768; cell += 37) {
      const int r = cell >> 10, g = (cell >> 5) & 31, bl = cell & 31;
      int expect = 0;
      for (int k = 0; k < q->colorsMade; ++k) {
        const auto& box = q->boxes[k];
        if (r >= box.lower[0] && r < box.upper[0] && g >= box.lower[1] && g < box.upper[1] &&
            bl >= box.lower[2] && bl < box.upper[2])
          expect = k;
      }
      const TRGB c = CreateRGB(static_cast<uint8_t>(r * 8 + 5), static_cast<uint8_t>(g * 8 + 2),
                               static_cast<uint8_t>(bl * 8 + 7));
      ASSERT_EQ(MedianCutFindIndex(*q, c), expect) << "cell " << cell;
    }
  }
}

TEST(MedianCut, BoxesPartitionThePixelsAndErrorsAreConsistent) {
  const TBitmap b = Photo(64, 48);
  std::vector<TRGB> pal(64);
  auto q = CreateMedianCutQuantizer(b, pal.data(), 0, 64);
  int64_t total = 0;
  for (int k = 0; k < q->colorsMade; ++k) {
    const auto& box = q->boxes[k];
    int64_t inCube = 0;
    for (int r = box.lower[0]; r < box.upper[0]; ++r)
      for (int g = box.lower[1]; g < box.upper[1]; ++g)
        for (int bl = box.lower[2]; bl < box.upper[2]; ++bl)
          inCube += q->cube[r * 1024 + g * 32 + bl];
    EXPECT_EQ(inCube, box.count) << k;
    EXPECT_GE(box.error, 0) << k;
    total += box.count;
  }
  EXPECT_EQ(total, 64 * 48);
}

TEST(Quantizer, FewGridColoursMapExactlyInBothReductions) {
  // Median cut reproduces colours on the 5-bit grid exactly when it has a box
  // for each; the network converges with truncating steps and lands within a
  // unit or two. (The quantizer object gives such an image its exact palette,
  // so the reductions are called directly.)
  for (int kinds : {16, 256, 300}) {
    const auto cols = GridColours(12, static_cast<uint32_t>(kinds));
    const TBitmap b = FromColours(cols, 40, 30);
    const bool neural = kinds > 256;
    std::vector<TRGB> pal(static_cast<size_t>(kinds));
    std::function<int(const TRGB&)> index;
    TMedianCutHandle medianCut;
    std::unique_ptr<TNeuralQuantizer> net;
    if (neural) {
      net = CreateNeuralQuantizer(b, pal.data(), kinds, -1);
      index = [&](const TRGB& c) { return NeuralFindIndex(*net, c); };
    } else {
      medianCut = CreateMedianCutQuantizer(b, pal.data(), 0, kinds);
      EXPECT_LE(medianCut->colorsMade, kinds);
      index = [&](const TRGB& c) { return MedianCutFindIndex(*medianCut, c); };
    }
    std::set<int> used;
    for (const TRGB& c : cols) {
      const int i = index(c);
      ASSERT_GE(i, 0);
      ASSERT_LT(i, kinds);
      used.insert(i);
      const TRGB p = pal[static_cast<size_t>(i)];
      if (neural)
        EXPECT_LE(L1(p, c), 3) << kinds;
      else
        EXPECT_EQ(p, c) << kinds;
    }
    EXPECT_EQ(used.size(),
              cols.size());  // distinct colours never share an entry
  }
}

TEST(Quantizer, KindChosenByColourCountAlone) {
  const TBitmap b = Photo(50, 40);
  EXPECT_EQ(TVXQuantizer(b, 256).Kind(), TVXQuantizer::kMedianCut);
  EXPECT_EQ(TVXQuantizer(b, 257).Kind(), TVXQuantizer::kNeuralNet);
  EXPECT_EQ(TVXQuantizer(b, 1).ColorsMade(), 1);
  // Writing into a caller's array: the same palette as the own one.
  std::vector<TRGB> pal(16);
  TVXQuantizer q(b, pal.data(), 15, 16, -1, 0);
  EXPECT_EQ(pal, q.Palette());
}

TEST(Quantizer, NeuralMappingIsNearestInCityBlockDistance) {
  const TBitmap b = Photo(90, 70);
  TVXQuantizer q(b, 300);
  const auto& pal = q.Palette();
  std::mt19937 rng(3);
  for (int t = 0; t < 2000; ++t) {
    const TRGB c = CreateRGB(static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()),
                             static_cast<uint8_t>(rng()));
    int best = 1 << 30;
    for (const TRGB& p : pal) best = std::min(best, L1(p, c));
    const int i = q.GetRGBIndex(c);
    ASSERT_GE(i, 0);
    ASSERT_LT(i, 300);
    ASSERT_EQ(L1(pal[static_cast<size_t>(i)], c), best);
  }
}

TEST(Quantizer, Deterministic) {
  const TBitmap b = Photo(80, 60);
  for (int n : {16, 256, 512}) {
    TVXQuantizer a(b, n), c(b, n);
    EXPECT_EQ(a.Palette(), c.Palette());
    for (int y = 0; y < 60; y += 7)
      for (int x = 0; x < 80; x += 5) {
        const TRGB px = reinterpret_cast<const TRGB*>(b.ScanLine(y))[x];
        EXPECT_EQ(a.GetRGBIndex(px), c.GetRGBIndex(px));
      }
  }
}

TEST(Quantizer, NeuralSamplingFactor) {
  EXPECT_EQ(NeuralSamplingFactor(100000, 100), 1);
  EXPECT_EQ(NeuralSamplingFactor(100000, 0), 30);
  EXPECT_EQ(NeuralSamplingFactor(100000, 50), 15);  // trunc(0.5 * 29) + 1
  EXPECT_EQ(NeuralSamplingFactor(1999, -1), 1);
  EXPECT_EQ(NeuralSamplingFactor(100000, -1),
            11);  // round(1274000 / 148000 + 2) = round(10.6)
  EXPECT_EQ(NeuralSamplingFactor(10000000, -1), 30);
}

TEST(Quantizer, TinyImageStillLearnsItsColours) {
  // 5x4 = 20 samples, fewer than the 100 report steps: the network moves on
  // every sample, and the chosen neurons end next to the image colours (they
  // start as a grey ramp, hundreds of units away).
  const std::vector<TRGB> cols{CreateRGB(250, 10, 10), CreateRGB(10, 10, 250)};
  const TBitmap b = FromColours(cols, 5, 4);
  std::vector<TRGB> pal(400);
  const auto q = CreateNeuralQuantizer(b, pal.data(), 400, -1);
  for (const TRGB& c : cols) EXPECT_LE(L1(pal[static_cast<size_t>(NeuralFindIndex(*q, c))], c), 3);
}

// Every byte of every pixel drawn from a seeded generator.
TBitmap Noise(int w, int h, uint32_t seed) {
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < 3 * w; ++x) b.ScanLine(y)[x] = static_cast<uint8_t>(rng() >> 24);
  return b;
}

// FNV-1a over a palette and the indices a quantizer gives a fixed spread of colours.
uint64_t PaletteDigest(const TRGB* palette, size_t count, const std::function<int(TRGB)>& index) {
  uint64_t h = 1469598103934665603ull;
  const auto mix = [&](uint8_t v) {
    h ^= v;
    h *= 1099511628211ull;
  };
  for (size_t i = 0; i < count; ++i) {
    mix(palette[i].r);
    mix(palette[i].g);
    mix(palette[i].b);
  }
  for (int c = 0; c < 4096; ++c) {
    const int i = index(CreateRGB(static_cast<uint8_t>(c * 37), static_cast<uint8_t>(c * 11),
                                  static_cast<uint8_t>(c * 5)));
    for (int k = 0; k < 4; ++k) mix(static_cast<uint8_t>(i >> (8 * k)));
  }
  return h;
}

TEST(Quantizer, NeuralPalettesBelowTheLargeSizesAreUnchanged) {
  // Digests recorded from the learning as it stood before its weights were computed in
  // 64 bits and its index sort stopped rescanning the rest at every step: palettes that
  // did not overflow must not move (the view's 256-colour palette and stored files
  // depend on them), nor the entries equal greens map to. 23175 colours is the largest
  // count whose neighbourhood (n div 8 = 2896) fit the old 32-bit arithmetic.
  const TBitmap b = Noise(256, 256, 1);
  std::vector<TRGB> pal(256);
  const auto direct = CreateNeuralQuantizer(b, pal.data(), 256, -1);
  EXPECT_EQ(
      PaletteDigest(pal.data(), pal.size(), [&](TRGB c) { return NeuralFindIndex(*direct, c); }),
      0x0c1236c767b6fd06ull);
  // 4096 pixels for 23175 entries would get their exact palette from the quantizer
  // object: the network is asked directly.
  std::vector<TRGB> large(23175);
  const auto q = CreateNeuralQuantizer(Noise(64, 64, 1), large.data(), 23175, -1);
  EXPECT_EQ(
      PaletteDigest(large.data(), large.size(), [&](TRGB c) { return NeuralFindIndex(*q, c); }),
      0x74d6e37845f1260dull);
}

TEST(Quantizer, LargestPalettesStayBetweenTheStartingRampAndTheImage) {
  // Every step pulls a neuron part of the way towards a sample, so with one colour in
  // the image each neuron ends between its starting grey, i * 256 div n, and that
  // colour. Weights that overflowed pushed neurons away instead, out of 0..255 (and the
  // green index then wrote outside its table).
  for (const int v : {0, 128}) {
    const TRGB colour =
        CreateRGB(static_cast<uint8_t>(v), static_cast<uint8_t>(v), static_cast<uint8_t>(v));
    const TBitmap b = Solid(64, 64, colour);
    const int n = 65536;
    std::vector<TRGB> pal(static_cast<size_t>(n));
    const auto q = CreateNeuralQuantizer(b, pal.data(), n, -1);
    int outside = 0;
    for (int i = 0; i < n; ++i) {
      const int start = static_cast<int>(static_cast<int64_t>(i) * 256 / n);
      const int lo = std::min(start, v), hi = std::max(start, v);
      const TRGB& p = pal[static_cast<size_t>(i)];
      for (const int c : {p.r, p.g, p.b}) outside += c < lo || c > hi;
    }
    EXPECT_EQ(outside, 0) << v;
    EXPECT_EQ(pal[static_cast<size_t>(NeuralFindIndex(*q, colour))], colour) << v;
  }
}

TEST(Quantizer, NoiseToTheLargestPaletteMapsToNearestEntries) {
  // The first neighbourhood of 65536 neurons has radius 8192: its weights need 64 bits
  // (the sanitizer build reports the overflow of the 32-bit ones here).
  const TBitmap b = Noise(64, 64, 5);
  const int n = 65536;
  std::vector<TRGB> pal(static_cast<size_t>(n));
  const auto q = CreateNeuralQuantizer(b, pal.data(), n, -1);
  std::set<int> distinct;
  for (const TRGB& p : pal) distinct.insert(p.r << 16 | p.g << 8 | p.b);
  EXPECT_GT(distinct.size(), 4000u);  // spread over the colours, not collapsed
  for (int t = 0; t < 128; ++t) {
    const TRGB c = reinterpret_cast<const TRGB*>(b.ScanLine(t % 64))[(t * 97) % 64];
    int best = 1 << 30;
    for (const TRGB& p : pal) best = std::min(best, L1(p, c));
    const int i = NeuralFindIndex(*q, c);
    ASSERT_GE(i, 0);
    ASSERT_LT(i, n);
    ASSERT_EQ(L1(pal[static_cast<size_t>(i)], c), best) << t;
  }
}

// ---- exact palettes ----

// count distinct colours, neighbours differing by one in red (all of them in a few
// cells of the 5-bit grid that median cut works on).
std::vector<TRGB> CloseColours(int count) {
  std::vector<TRGB> out;
  for (int i = 0; i < count; ++i)
    out.push_back(CreateRGB(static_cast<uint8_t>(i & 255), static_cast<uint8_t>(40 + (i >> 8)),
                            static_cast<uint8_t>((i * 13) & 255)));
  return out;
}

// Every colour at least twice, scattered: pixel p takes colour (p * 7919) mod count.
TBitmap Scattered(const std::vector<TRGB>& cols) {
  const int count = static_cast<int>(cols.size());
  const int w = 97, h = (2 * count + w - 1) / w + 1;
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      Row(b, y)[x] = cols[static_cast<size_t>((int64_t{y} * w + x) * 7919 % count)];
  return b;
}

uint32_t Packed(const TRGB& c) {
  return static_cast<uint32_t>(c.r) << 16 | static_cast<uint32_t>(c.g) << 8 | c.b;
}

TEST(ExactPalette, ImagesThatFitGetTheirOwnColoursSorted) {
  struct Case {
    int colours, asked;
  };
  const TRGB sentinel = CreateRGB(1, 2, 3);
  for (const Case& c : {Case{1, 1}, Case{2, 2}, Case{16, 16}, Case{12, 256}, Case{256, 256},
                        Case{300, 1000}, Case{4000, 65536}}) {
    SCOPED_TRACE(testing::Message() << c.colours << " colours, " << c.asked << " asked");
    const auto cols = CloseColours(c.colours);
    const TBitmap b = Scattered(cols);
    std::vector<TRGB> pal(static_cast<size_t>(c.asked), sentinel);
    const TVXQuantizer q(b, pal.data(), 0x7FFFFFF, c.asked, -1, 0);
    EXPECT_EQ(q.Kind(), TVXQuantizer::kExact);
    ASSERT_EQ(q.ColorsMade(), c.colours);
    auto sorted = cols;
    std::sort(sorted.begin(), sorted.end(),
              [](const TRGB& a, const TRGB& d) { return Packed(a) < Packed(d); });
    EXPECT_TRUE(std::equal(sorted.begin(), sorted.end(), pal.begin()));
    EXPECT_TRUE(std::all_of(pal.begin() + c.colours, pal.end(),
                            [&](const TRGB& e) { return e == sentinel; }));
    EXPECT_EQ(q.Palette(), pal);
    int wrong = 0;
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) {
        const TRGB px = reinterpret_cast<const TRGB*>(b.ScanLine(y))[x];
        const int i = q.GetRGBIndex(px);
        wrong += i < 0 || i >= c.colours || !(pal[static_cast<size_t>(i)] == px);
      }
    EXPECT_EQ(wrong, 0);
  }
}

TEST(ExactPalette, OneColourTooManyIsReducedExactlyAsBefore) {
  // The colour that ends the count is the very last pixel; the reductions must then
  // give what they give when called directly (stored palettes depend on them).
  for (const int n : {2, 16, 256, 300}) {
    SCOPED_TRACE(n);
    const auto cols = CloseColours(n + 1);
    TBitmap b = Scattered(std::vector<TRGB>(cols.begin(), cols.end() - 1));
    Row(b, b.Height() - 1)[b.Width() - 1] = cols.back();
    std::vector<TRGB> direct(static_cast<size_t>(n));
    std::function<int(const TRGB&)> index;
    TMedianCutHandle medianCut;
    std::unique_ptr<TNeuralQuantizer> net;
    if (n > 256) {
      net = CreateNeuralQuantizer(b, direct.data(), n, -1);
      index = [&](const TRGB& c) { return NeuralFindIndex(*net, c); };
    } else {
      medianCut = CreateMedianCutQuantizer(b, direct.data(), 0, n);
      index = [&](const TRGB& c) { return MedianCutFindIndex(*medianCut, c); };
    }
    const TVXQuantizer q(b, n);
    EXPECT_EQ(q.Kind(), n > 256 ? TVXQuantizer::kNeuralNet : TVXQuantizer::kMedianCut);
    EXPECT_EQ(q.Palette(), direct);
    for (const TRGB& c : cols) ASSERT_EQ(q.GetRGBIndex(c), index(c));
  }
}

TEST(ExactPalette, MedianCutPalettesOfPhotosAreUnchanged) {
  // Digests of the median-cut palettes and lookups as they were before images that fit
  // got exact palettes: a photo never fits, and must not move.
  const TBitmap b = Photo(120, 90);
  for (const auto& [n, digest] :
       {std::pair{16, 0xe0c5bd5f496905c3ull}, std::pair{256, 0xfb49bb98f60e462bull}}) {
    const TVXQuantizer q(b, n);
    EXPECT_EQ(q.Kind(), TVXQuantizer::kMedianCut);
    EXPECT_EQ(PaletteDigest(q.Palette().data(), q.Palette().size(),
                            [&](TRGB c) { return q.GetRGBIndex(c); }),
              digest)
        << n;
  }
}

TEST(ExactPalette, OtherColoursGetTheNearestEntry) {
  // Writers also ask for colours the image lacks (a background, a transparent colour).
  const TRGB black{}, dark = CreateRGB(100, 0, 0), white = CreateRGB(255, 255, 255);
  const TBitmap b = FromColours({white, dark, black}, 6, 5);
  const TVXQuantizer q(b, 8);
  ASSERT_EQ(q.Kind(), TVXQuantizer::kExact);
  ASSERT_EQ(q.ColorsMade(), 3);
  EXPECT_EQ(q.GetRGBIndex(CreateRGB(101, 0, 0)), 1);  // the twin in the same 5-bit cell
  EXPECT_EQ(q.GetRGBIndex(CreateRGB(60, 0, 0)), 1);
  EXPECT_EQ(q.GetRGBIndex(CreateRGB(50, 0, 0)), 0);  // a tie goes to the first entry
  EXPECT_EQ(q.GetRGBIndex(CreateRGB(200, 200, 250)), 2);
}

TEST(ExactPalette, OneBitImagesAndEmptyImages) {
  TBitmap mono;
  SizeBitmap(mono, 13, 5, pf1bit);
  for (int x = 0; x < 13; x += 3) SetPixelbw(mono.ScanLine(2), x, true);
  const TVXQuantizer two(mono, 16);
  EXPECT_EQ(two.Kind(), TVXQuantizer::kExact);
  ASSERT_EQ(two.ColorsMade(), 2);
  EXPECT_EQ(two.Palette()[0], TRGB{});
  EXPECT_EQ(two.Palette()[1], CreateRGB(255, 255, 255));
  // No pixels, no colours to keep: the reduction runs as it always did.
  const TBitmap empty;
  const TVXQuantizer none(empty, 16);
  EXPECT_EQ(none.Kind(), TVXQuantizer::kMedianCut);
  EXPECT_EQ(none.ColorsMade(), 1);
}

TEST(ConvertTo1bit, TwoColoursDarkerFirst) {
  struct Case {
    TRGB first, second, dark, light;
  };
  const TRGB black{}, white{255, 255, 255}, red = CreateRGB(255, 0, 0), blue = CreateRGB(0, 0, 255);
  for (const Case& c : {Case{white, black, black, white}, Case{black, white, black, white},
                        Case{red, blue, blue, red}}) {
    TBitmap b = Solid(13, 3, c.first);
    Row(b, 1)[10] = c.second;
    Row(b, 2)[0] = c.second;
    TRGB c0, c1;
    auto out = ConvertTo1bit(b, c0, c1);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->PixelFormat(), pf1bit);
    EXPECT_EQ(c0, c.dark);
    EXPECT_EQ(c1, c.light);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 13; ++x) {
        const TRGB px = Row(b, y)[x];
        EXPECT_EQ(GetPixelbw(out->ScanLine(y), x), px == c.light) << x << "," << y;
      }
  }
}

TEST(ConvertTo1bit, NotTwoColoursGivesNothing) {
  TRGB c0, c1;
  TBitmap one = Solid(4, 4, CreateRGB(9, 9, 9));
  EXPECT_EQ(ConvertTo1bit(one, c0, c1), nullptr);
  TBitmap three = Solid(4, 4, CreateRGB(9, 9, 9));
  Row(three, 0)[1] = CreateRGB(0, 0, 0);
  Row(three, 3)[3] = CreateRGB(1, 0, 0);
  EXPECT_EQ(ConvertTo1bit(three, c0, c1), nullptr);
  TBitmap mono;
  SizeBitmap(mono, 8, 2, pf1bit);
  EXPECT_EQ(ConvertTo1bit(mono, c0, c1), nullptr);
  EXPECT_EQ(three.PixelFormat(), pf24bit);  // never changed
}

TEST(ConvertToBWOrdered, MidGreyLightsTheCellsBelow31) {
  static const int M[8][8] = {{0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
                              {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
                              {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
                              {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};
  TBitmap b = Solid(16, 16, CreateRGB(128, 128, 128));
  int reports = 0, last = -1;
  TProgressRec pr;
  pr.ProgressEvent = [&](TObject*, int p) {
    ++reports;
    last = p;
  };
  ConvertToBWOrdered(b, pr);
  ASSERT_EQ(b.PixelFormat(), pf1bit);
  int white = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const bool w = GetPixelbw(b.ScanLine(y), x);
      EXPECT_EQ(w, M[x % 8][y % 8] < 31) << x << "," << y;
      white += w;
    }
  EXPECT_EQ(white, 4 * 31);
  EXPECT_EQ(reports, 16);
  EXPECT_EQ(last, 96);  // trunc(100 / 16.5 * 16)
  // Pure white weighs 255 * 99 div 400 = 63: every cell but the 63 turns white.
  TBitmap w = Solid(8, 8, CreateRGB(255, 255, 255));
  ConvertToBWOrdered(w, ResetNullpr());
  for (int y = 0; y < 8; ++y) EXPECT_EQ(w.ScanLine(y)[0], y == 0 ? 0xFE : 0xFF) << y;
}

}  // namespace
}  // namespace vx
