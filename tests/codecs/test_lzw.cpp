// The library's GIF and TIFF LZW coders, checked against giflib and libtiff: our decoders
// against the peers' decode of the corpus files, our encoders by letting the peers read
// our output back, plus damaged and truncated input.
#include "codecs/lzw/giflzw.h"
#include "codecs/lzw/tifflzw.h"

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "io/lzwhooks.h"
#include "platform/stream.h"
#include "testsupport.h"

namespace {

using namespace vx;
using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------------------------
// Helpers: a minimal GIF block walker, GIF assembly, giflib over memory.

struct GifImageInfo {
  int width = 0, height = 0;
  bool interlaced = false;
  size_t dataPos = 0;  // the minimum-code-size byte
  size_t dataEnd = 0;  // just past the terminator (or the end of the file)
};

// Skips sub-blocks from pos; returns the position after the terminator, or the file
// size when the file ends first.
size_t SkipSubBlocks(const Bytes& f, size_t pos) {
  while (pos < f.size()) {
    const uint8_t len = f[pos++];
    if (len == 0) return pos;
    pos += len;
  }
  return f.size();
}

// Walks the blocks of a GIF file and lists its images.
std::vector<GifImageInfo> WalkGif(const Bytes& f) {
  std::vector<GifImageInfo> images;
  if (f.size() < 13 || std::memcmp(f.data(), "GIF", 3) != 0) return images;
  size_t pos = 13;
  if (f[10] & 0x80) pos += 3u * (1u << ((f[10] & 7) + 1));
  while (pos < f.size()) {
    const uint8_t b = f[pos++];
    if (b == 0x3B) break;
    if (b == 0x21) {
      if (pos >= f.size()) break;
      pos = SkipSubBlocks(f, pos + 1);
    } else if (b == 0x2C) {
      if (pos + 9 > f.size()) break;
      GifImageInfo im;
      im.width = f[pos + 4] | (f[pos + 5] << 8);
      im.height = f[pos + 6] | (f[pos + 7] << 8);
      const uint8_t packed = f[pos + 8];
      im.interlaced = (packed & 0x40) != 0;
      pos += 9;
      if (packed & 0x80) pos += 3u * (1u << ((packed & 7) + 1));
      if (pos >= f.size()) break;
      im.dataPos = pos;
      im.dataEnd = SkipSubBlocks(f, pos + 1);
      images.push_back(im);
      pos = im.dataEnd;
    } else {
      break;
    }
  }
  return images;
}

// A single-image GIF around LZW data (minimum code size, sub-blocks, terminator).
Bytes MakeGif(int width, int height, int bits, bool interlaced, const Bytes& lzw) {
  Bytes g = {'G', 'I', 'F', '8', '9', 'a'};
  auto le16 = [&](int v) {
    g.push_back(static_cast<uint8_t>(v & 0xFF));
    g.push_back(static_cast<uint8_t>(v >> 8));
  };
  le16(width);
  le16(height);
  g.push_back(static_cast<uint8_t>(0x80 | ((bits - 1) << 4) | (bits - 1)));
  g.push_back(0);
  g.push_back(0);
  for (int i = 0; i < (1 << bits); ++i) {
    g.push_back(static_cast<uint8_t>(i * 37));
    g.push_back(static_cast<uint8_t>(i * 91));
    g.push_back(static_cast<uint8_t>(i * 13));
  }
  g.push_back(0x2C);
  le16(0);
  le16(0);
  le16(width);
  le16(height);
  g.push_back(static_cast<uint8_t>(interlaced ? 0x40 : 0));
  g.insert(g.end(), lzw.begin(), lzw.end());
  g.push_back(0x3B);
  return g;
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

struct GiflibResult {
  bool ok = false;
  std::vector<Bytes> images;  // RasterBits of every image giflib completed
};

// giflib's DGifSlurp stores every image in display order (it de-interlaces).
GiflibResult GiflibSlurp(const Bytes& file) {
  GiflibResult res;
  MemReader reader{&file, 0};
  int err = 0;
  GifFileType* gif = DGifOpen(&reader, GifRead, &err);
  if (gif == nullptr) return res;
  res.ok = DGifSlurp(gif) == GIF_OK;
  for (int i = 0; i < gif->ImageCount; ++i) {
    const SavedImage& si = gif->SavedImages[i];
    if (si.RasterBits == nullptr) continue;
    const size_t n =
        static_cast<size_t>(si.ImageDesc.Width) * static_cast<size_t>(si.ImageDesc.Height);
    res.images.emplace_back(si.RasterBits, si.RasterBits + n);
  }
  DGifCloseFile(gif, &err);
  return res;
}

Bytes Encode(int width, int height, bool interlaced, const Bytes& src, int bits) {
  TMemoryStream ms;
  GIFLZWCompress(ms, height, width, interlaced, src.data(), bits);
  return ms.Data();
}

// Decodes LZW data with our decoder into a guarded buffer; checks the guard bytes and
// returns the pixels. position receives the stream position afterwards.
Bytes Decode(const Bytes& lzw, int width, int height, bool interlaced, int64_t* position = nullptr,
             uint8_t fill = 0xCD) {
  const size_t total =
      static_cast<size_t>(std::max(width, 0)) * static_cast<size_t>(std::max(height, 0));
  Bytes buf(total + 64, fill);
  TMemoryStream ms(lzw);
  GIFLZWDecompress(ms, height, width, interlaced, buf.data() + 32);
  for (size_t i = 0; i < 32; ++i) {
    EXPECT_EQ(buf[i], fill) << "wrote before the buffer";
    EXPECT_EQ(buf[32 + total + i], fill) << "wrote past the buffer";
  }
  if (position) *position = ms.Position();
  return Bytes(buf.begin() + 32, buf.begin() + 32 + static_cast<std::ptrdiff_t>(total));
}

// Test images.
Bytes Noise(size_t n, int bits, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng() & ((1u << bits) - 1));
  return v;
}

// Smooth gradients with a little noise: compresses the way photographs do.
Bytes PhotoLike(int width, int height, int bits, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes v(static_cast<size_t>(width) * static_cast<size_t>(height));
  const int levels = 1 << bits;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const double t =
          0.5 + 0.25 * std::sin(x * 0.013 + y * 0.007) + 0.2 * std::cos(y * 0.021 - x * 0.004);
      int q = static_cast<int>(t * levels) + static_cast<int>(rng() % 3) - 1;
      v[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
          static_cast<uint8_t>(std::clamp(q, 0, levels - 1));
    }
  return v;
}

// Display-order image to file (interlaced) order.
Bytes ToFileOrder(const Bytes& img, int width, int height) {
  Bytes out;
  static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
  for (int p = 0; p < 4; ++p)
    for (int y = start[p]; y < height; y += step[p])
      out.insert(out.end(), img.begin() + static_cast<std::ptrdiff_t>(y) * width,
                 img.begin() + static_cast<std::ptrdiff_t>(y + 1) * width);
  return out;
}

// A decode of damaged data must be a prefix of the good decode followed by zeros.
void ExpectPrefixThenZeros(const Bytes& got, const Bytes& good) {
  ASSERT_EQ(got.size(), good.size());
  size_t m = 0;
  while (m < got.size() && got[m] == good[m]) ++m;
  for (size_t i = m; i < got.size(); ++i)
    ASSERT_EQ(got[i], 0) << "pixel " << i << " after the first difference at " << m;
}

// ---------------------------------------------------------------------------------
// GIF: corpus against giflib.

TEST(GifLzw, CorpusMatchesGiflib) {
  const auto files = vxtest::CorpusFiles("gif", {".gif"});
  ASSERT_FALSE(files.empty());
  size_t compared = 0;
  for (const auto& path : files) {
    SCOPED_TRACE(path);
    const Bytes file = ReadWholeFile(path);
    const auto images = WalkGif(file);
    const GiflibResult peer = GiflibSlurp(file);
    ASSERT_FALSE(images.empty());
    EXPECT_TRUE(peer.ok) << "giflib could not read the whole file";
    ASSERT_LE(peer.images.size(), images.size());
    for (size_t i = 0; i < images.size(); ++i) {
      SCOPED_TRACE("image " + std::to_string(i));
      const auto& im = images[i];
      TMemoryStream ms(file);
      ms.SetPosition(static_cast<int64_t>(im.dataPos));
      const size_t total = static_cast<size_t>(im.width) * static_cast<size_t>(im.height);
      Bytes ours(total + 1, 0xEE);
      GIFLZWDecompress(ms, im.height, im.width, im.interlaced, ours.data());
      EXPECT_EQ(ours[total], 0xEE);
      ours.resize(total);
      EXPECT_EQ(ms.Position(), static_cast<int64_t>(im.dataEnd))
          << "stream not left after the terminator";
      if (i < peer.images.size()) {
        EXPECT_TRUE(ours == peer.images[i]) << "pixels differ from giflib";
        ++compared;
      }
    }
  }
  EXPECT_GE(compared, files.size());
}

// The interlaced and plain copies of the same picture decode to the same pixels, so the
// decoder puts interlaced rows in display order.
TEST(GifLzw, InterlacedCorpusCopyEqualsPlain) {
  const Bytes a = ReadWholeFile(vxtest::CorpusPath("gif/treescap.gif"));
  const Bytes b = ReadWholeFile(vxtest::CorpusPath("gif/treescap-interlaced.gif"));
  const auto ia = WalkGif(a), ib = WalkGif(b);
  ASSERT_EQ(ia.size(), 1u);
  ASSERT_EQ(ib.size(), 1u);
  ASSERT_FALSE(ia[0].interlaced);
  ASSERT_TRUE(ib[0].interlaced);
  auto decode = [](const Bytes& f, const GifImageInfo& im) {
    TMemoryStream ms(f);
    ms.SetPosition(static_cast<int64_t>(im.dataPos));
    Bytes out(static_cast<size_t>(im.width) * static_cast<size_t>(im.height));
    GIFLZWDecompress(ms, im.height, im.width, im.interlaced, out.data());
    return out;
  };
  EXPECT_TRUE(decode(a, ia[0]) == decode(b, ib[0]));
}

// ---------------------------------------------------------------------------------
// GIF: our encoder read back by giflib (and by our decoder).

struct GifCase {
  int width, height, bits;
  bool interlaced;
  int kind;  // 0 noise, 1 photo-like, 2 constant
};

class GifEncode : public ::testing::TestWithParam<GifCase> {};

TEST_P(GifEncode, GiflibReadsBackSameIndices) {
  const GifCase c = GetParam();
  const size_t n = static_cast<size_t>(c.width) * static_cast<size_t>(c.height);
  Bytes src = c.kind == 0   ? Noise(n, c.bits, 7u + static_cast<uint32_t>(c.width))
              : c.kind == 1 ? PhotoLike(c.width, c.height, c.bits, 11)
                            : Bytes(n, static_cast<uint8_t>((1 << c.bits) - 1));
  const Bytes lzw = Encode(c.width, c.height, c.interlaced, src, c.bits);
  ASSERT_GE(lzw.size(), 3u);
  EXPECT_EQ(lzw[0], std::max(c.bits, 2)) << "minimum code size";
  // Sub-blocks: at most 255 bytes each, ending with the terminator exactly at the end.
  size_t pos = 1;
  while (pos < lzw.size() && lzw[pos] != 0) pos += 1 + lzw[pos];
  EXPECT_EQ(pos, lzw.size() - 1);

  const Bytes gif = MakeGif(c.width, c.height, c.bits, c.interlaced, lzw);
  const GiflibResult peer = GiflibSlurp(gif);
  ASSERT_TRUE(peer.ok);
  ASSERT_EQ(peer.images.size(), 1u);
  EXPECT_TRUE(peer.images[0] == src) << "giflib decodes other indices";

  int64_t position = 0;
  EXPECT_TRUE(Decode(lzw, c.width, c.height, c.interlaced, &position) == src);
  EXPECT_EQ(position, static_cast<int64_t>(lzw.size()));

  // Interlacing is the row order in the file: decoding as non-interlaced shows it.
  if (c.interlaced) {
    EXPECT_TRUE(Decode(lzw, c.width, c.height, false) == ToFileOrder(src, c.width, c.height));
  }
}

std::vector<GifCase> GifCases() {
  std::vector<GifCase> v;
  for (int bits : {1, 2, 4, 8})
    for (bool il : {false, true}) {
      v.push_back({1, 1, bits, il, 0});
      v.push_back({7, 5, bits, il, 0});
      v.push_back({1, 37, bits, il, 1});
      v.push_back({64, 33, bits, il, 1});
      v.push_back({512, 512, bits, il, 0});  // fills the table over and over
      v.push_back({300, 211, bits, il, 1});
      v.push_back({1024, 700, bits, il, 2});  // long strings
    }
  return v;
}

INSTANTIATE_TEST_SUITE_P(All, GifEncode, ::testing::ValuesIn(GifCases()), [](const auto& p) {
  const GifCase& c = p.param;
  return std::to_string(c.width) + "x" + std::to_string(c.height) + "_b" + std::to_string(c.bits) +
         (c.interlaced ? "_il" : "") + "_k" + std::to_string(c.kind);
});

TEST(GifLzw, EncoderMasksIndicesOutsideTheCodeSize) {
  Bytes src = {0, 1, 2, 3, 4, 5, 6, 7, 255};
  const Bytes lzw = Encode(9, 1, false, src, 2);
  const Bytes got = Decode(lzw, 9, 1, false);
  for (size_t i = 0; i < src.size(); ++i) EXPECT_EQ(got[i], src[i] & 3);
}

TEST(GifLzw, EmptyImageStillWritesAValidStream) {
  const Bytes lzw = Encode(0, 0, false, {}, 8);
  ASSERT_GE(lzw.size(), 3u);
  EXPECT_EQ(lzw.back(), 0);
  int64_t position = 0;
  Decode(lzw, 0, 0, false, &position);
  EXPECT_EQ(position, static_cast<int64_t>(lzw.size()));
}

// ---------------------------------------------------------------------------------
// GIF: damaged input.

// Writes GIF LZW codes by hand (LSB first) inside sub-blocks.
Bytes HandGif(int minCodeSize, const std::vector<std::pair<uint32_t, int>>& codes) {
  Bytes data;
  uint64_t acc = 0;
  int n = 0;
  for (auto [code, bits] : codes) {
    acc |= static_cast<uint64_t>(code) << n;
    n += bits;
    while (n >= 8) {
      data.push_back(static_cast<uint8_t>(acc));
      acc >>= 8;
      n -= 8;
    }
  }
  if (n > 0) data.push_back(static_cast<uint8_t>(acc));
  Bytes out = {static_cast<uint8_t>(minCodeSize)};
  for (size_t i = 0; i < data.size(); i += 255) {
    const size_t k = std::min<size_t>(255, data.size() - i);
    out.push_back(static_cast<uint8_t>(k));
    out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(i),
               data.begin() + static_cast<std::ptrdiff_t>(i + k));
  }
  out.push_back(0);
  return out;
}

TEST(GifLzw, CodeBeyondNextFreeEntryStopsDecoding) {
  // clear, 1, 2, 1 (codes widen to 4 bits), then 12 where the next free entry is 8.
  const Bytes lzw = HandGif(2, {{4, 3}, {1, 3}, {2, 3}, {1, 3}, {12, 4}, {1, 4}, {5, 4}});
  int64_t position = 0;
  const Bytes got = Decode(lzw, 3, 2, false, &position);
  EXPECT_EQ(got, (Bytes{1, 2, 1, 0, 0, 0}));
  EXPECT_EQ(position, static_cast<int64_t>(lzw.size()));
}

TEST(GifLzw, KwKwKAndEndCode) {
  // clear, 1, 6 (= the entry being defined: "1 1"), 6 again, end.
  const Bytes lzw = HandGif(2, {{4, 3}, {1, 3}, {6, 3}, {6, 3}, {5, 4}});
  const Bytes got = Decode(lzw, 7, 1, false);
  EXPECT_EQ(got, (Bytes{1, 1, 1, 1, 1, 0, 0}));
}

TEST(GifLzw, MissingInitialClearIsAccepted) {
  const Bytes lzw = HandGif(2, {{3, 3}, {2, 3}, {5, 3}});
  EXPECT_EQ(Decode(lzw, 2, 1, false), (Bytes{3, 2}));
}

TEST(GifLzw, MinimumCodeSizeOne) {
  // Code size 1: clear 2, end 3, literals 0 and 1; widths 2 then 3 bits at once.
  const Bytes lzw = HandGif(1, {{2, 2}, {1, 2}, {0, 3}, {4, 3}, {3, 3}});
  EXPECT_EQ(Decode(lzw, 4, 1, false), (Bytes{1, 0, 1, 0}));
}

TEST(GifLzw, CodeSizesUpToElevenDecodeAndBeyondAreRefused) {
  // Above 8 the codes work as below it: clear 1 << size, end clear + 1, entries from
  // clear + 2, first width size + 1 (at most 12). Codes 7, 9, then the first entry
  // ("7 9"), then the entry being defined ("7 9 7"), end.
  for (const int cs : {9, 10, 11}) {
    SCOPED_TRACE(cs);
    const uint32_t clear = 1u << cs, first = clear + 2;
    const int bits = cs + 1;
    const Bytes lzw = HandGif(
        cs,
        {{clear, bits}, {7, bits}, {9, bits}, {first, bits}, {first + 2, bits}, {clear + 1, bits}});
    int64_t position = 0;
    EXPECT_EQ(Decode(lzw, 8, 1, false, &position), (Bytes{7, 9, 7, 9, 7, 9, 7, 0}));
    EXPECT_EQ(position, static_cast<int64_t>(lzw.size()));
  }
  // Code size 0 has the single literal 0; widths grow 1, 2, 3 bits as entries come.
  {
    const Bytes lzw = HandGif(0, {{1, 1}, {0, 1}, {3, 2}, {4, 3}, {2, 3}});
    int64_t position = 0;
    EXPECT_EQ(Decode(lzw, 7, 1, false, &position, 0x5A), Bytes(7, 0));
    EXPECT_EQ(position, static_cast<int64_t>(lzw.size()));
  }
  // Refused, all pixels 0 and the data still read to its end: a literal past 255 (no
  // byte holds it), and code sizes that leave no room for codes in 12 bits.
  const Bytes wide = HandGif(9, {{512, 10}, {7, 10}, {300, 10}, {513, 10}});
  const Bytes good = Encode(16, 16, false, Noise(256, 4, 3), 4);
  std::vector<Bytes> refused = {wide};
  for (const uint8_t cs : {12, 13, 200}) {
    refused.push_back(good);
    refused.back()[0] = cs;
  }
  for (const Bytes& bad : refused) {
    SCOPED_TRACE(int(bad[0]));
    int64_t position = -1;
    EXPECT_EQ(Decode(bad, 16, 16, false, &position), Bytes(256, 0));
    EXPECT_EQ(position, static_cast<int64_t>(bad.size()));
    Bytes pixels(256, 0xCD);
    TMemoryStream ms(bad);
    EXPECT_EQ(GIFLZWDecode(ms, 16, 16, false, pixels.data()), TGIFLZWResult::Refused);
    EXPECT_EQ(pixels, Bytes(256, 0));
  }
  TMemoryStream ms(good);
  Bytes pixels(256);
  EXPECT_EQ(GIFLZWDecode(ms, 16, 16, false, pixels.data()), TGIFLZWResult::Decoded);
  EXPECT_EQ(pixels, Noise(256, 4, 3));
}

TEST(GifLzw, MorePixelsThanTheImageHolds) {
  const Bytes src = Noise(100, 8, 5);
  const Bytes lzw = Encode(10, 10, false, src, 8);
  int64_t position = 0;
  const Bytes got = Decode(lzw, 5, 5, false, &position);
  EXPECT_TRUE(std::equal(got.begin(), got.end(), src.begin()));
  EXPECT_EQ(position, static_cast<int64_t>(lzw.size()));
}

TEST(GifLzw, EmptyAndEndedStreams) {
  int64_t position = -1;
  EXPECT_EQ(Decode({}, 4, 4, false, &position), Bytes(16, 0));
  EXPECT_EQ(position, 0) << "nothing to read: the position does not move";
  EXPECT_EQ(Decode({8}, 4, 4, false, &position), Bytes(16, 0));
  EXPECT_EQ(position, 1);
  EXPECT_EQ(Decode({8, 0}, 4, 4, false, &position), Bytes(16, 0));
  EXPECT_EQ(position, 2);
  Decode({8, 0}, -3, 4, false, &position);
  EXPECT_EQ(position, 2);
  Decode({8, 0}, 4, 0, true, &position);
  EXPECT_EQ(position, 2);
}

TEST(GifLzw, TruncatedDataGivesPrefixThenZeros) {
  const int w = 97, h = 61;
  const Bytes src = PhotoLike(w, h, 8, 3);
  const Bytes lzw = Encode(w, h, false, src, 8);
  for (size_t cut = 1; cut < lzw.size(); cut += std::max<size_t>(1, lzw.size() / 53)) {
    SCOPED_TRACE(cut);
    const Bytes part(lzw.begin(), lzw.begin() + static_cast<std::ptrdiff_t>(cut));
    int64_t position = 0;
    const Bytes got = Decode(part, w, h, false, &position);
    EXPECT_EQ(position, static_cast<int64_t>(cut)) << "read to the end of the stream";
    ExpectPrefixThenZeros(got, src);
  }
  // Terminated early: a zero-length sub-block in the middle of the data.
  Bytes early(lzw.begin(), lzw.begin() + 300);
  early[1 + 1 + 255] = 0;  // the second sub-block's length byte
  int64_t position = 0;
  ExpectPrefixThenZeros(Decode(early, w, h, false, &position), src);
  EXPECT_EQ(position, 1 + 1 + 255 + 1);
}

TEST(GifLzw, BitFlipsNeverWriteOutOfBounds) {
  std::mt19937 rng(99);
  for (bool il : {false, true}) {
    const int w = 83, h = 47;
    const Bytes lzw = Encode(w, h, il, Noise(static_cast<size_t>(w * h), 3, 8), 3);
    for (int i = 0; i < 300; ++i) {
      Bytes bad = lzw;
      const size_t p = 1 + rng() % (bad.size() - 1);
      bad[p] ^= static_cast<uint8_t>(1u << (rng() % 8));
      if (i % 4 == 0) bad[1 + rng() % (bad.size() - 1)] = static_cast<uint8_t>(rng());
      int64_t position = 0;
      Decode(bad, w, h, il, &position);
      EXPECT_GT(position, 0);
      EXPECT_LE(position, static_cast<int64_t>(bad.size()));
    }
  }
}

TEST(GifLzw, HookHoldsOurCoder) {
  EXPECT_EQ(DefGIF_LZWDECOMPFUNC, &GIFLZWDecompress);
  EXPECT_EQ(DefGIF_LZWCOMPFUNC, &GIFLZWCompress);
  EXPECT_EQ(DefTIFF_LZWDECOMPFUNC, &TIFFLZWDecompress);
  EXPECT_EQ(DefTIFF_LZWCOMPFUNC, &TIFFLZWCompress);
}

// ---------------------------------------------------------------------------------
// TIFF helpers.

struct TiffQuiet {
  TIFFErrorHandler oldErr = TIFFSetErrorHandler(nullptr);
  TIFFErrorHandler oldWarn = TIFFSetWarningHandler(nullptr);
  ~TiffQuiet() {
    TIFFSetErrorHandler(oldErr);
    TIFFSetWarningHandler(oldWarn);
  }
};

// The one-pass strip decoder against the rows the row calls gave (`rowsOut`, whole
// rows, the last perhaps completed with zeros): the same bytes, and it stops where the
// row calls stopped.
void ExpectOnePassAgrees(const uint8_t* strip, size_t size, size_t rowBytes, size_t rows,
                         const Bytes& rowsOut) {
  Bytes whole(rowBytes * rows);
  bool corrupt = false;
  const size_t got =
      TIFFLZWDecodeStrip(strip, static_cast<int64_t>(size), whole.data(), whole.size(), corrupt);
  ASSERT_LE(got, whole.size());
  const size_t rowsGot = got / rowBytes + (!corrupt && got % rowBytes != 0 ? 1 : 0);
  EXPECT_EQ(rowsGot * rowBytes, rowsOut.size()) << "one pass: " << got << " bytes";
  const size_t common = std::min(got, rowsOut.size());
  EXPECT_TRUE(std::equal(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(common),
                         rowsOut.begin()))
      << "one pass gives other bytes";
}

// Decodes a whole strip row by row with our decoder; stops at the first failing row
// and reports it through ok. The one-pass decoder must agree.
Bytes DecodeStrip(const Bytes& strip, size_t rowBytes, size_t rows, bool* ok = nullptr) {
  Bytes out;
  void* state = nullptr;
  bool good = true;
  for (size_t r = 0; r < rows; ++r) {
    const uint8_t* row = TIFFLZWDecompress(strip.data(), static_cast<int64_t>(strip.size()),
                                           static_cast<int>(rowBytes), state);
    if (row == nullptr) {
      good = false;
      break;
    }
    out.insert(out.end(), row, row + rowBytes);
  }
  TIFFLZWDecompress(nullptr, 0, 0, state);
  EXPECT_EQ(state, nullptr);
  ExpectOnePassAgrees(strip.data(), strip.size(), rowBytes, rows, out);
  if (ok) *ok = good;
  return out;
}

// Undoes horizontal differencing the way libtiff does for integer samples of 8 to 64
// bits, on data already in host byte order.
template <class T>
void Accumulate(uint8_t* data, size_t rowBytes, size_t rows, int spp) {
  const size_t count = rowBytes / sizeof(T);
  for (size_t r = 0; r < rows; ++r) {
    uint8_t* row = data + r * rowBytes;
    for (size_t i = static_cast<size_t>(spp); i < count; ++i) {
      T a, b;
      std::memcpy(&a, row + (i - static_cast<size_t>(spp)) * sizeof(T), sizeof(T));
      std::memcpy(&b, row + i * sizeof(T), sizeof(T));
      b = static_cast<T>(a + b);
      std::memcpy(row + i * sizeof(T), &b, sizeof(T));
    }
  }
}

// Brings raw LZW output to what TIFFReadEncoded* returns: host byte order, predictor undone.
bool PostDecode(Bytes& data, size_t rowBytes, size_t rows, int bps, int spp, bool swab,
                int predictor) {
  if (swab && bps > 8) {
    const size_t s = static_cast<size_t>(bps / 8);
    for (size_t i = 0; i + s <= data.size(); i += s)
      std::reverse(data.begin() + i, data.begin() + i + s);
  }
  if (predictor == 1) return true;
  if (predictor != 2) return false;
  switch (bps) {
    case 8:
      Accumulate<uint8_t>(data.data(), rowBytes, rows, spp);
      return true;
    case 16:
      Accumulate<uint16_t>(data.data(), rowBytes, rows, spp);
      return true;
    case 32:
      Accumulate<uint32_t>(data.data(), rowBytes, rows, spp);
      return true;
    case 64:
      Accumulate<uint64_t>(data.data(), rowBytes, rows, spp);
      return true;
    default:
      return false;
  }
}

std::vector<std::string> LzwTiffFiles() {
  std::vector<std::string> out;
  TiffQuiet quiet;
  for (const auto& p : vxtest::CorpusFiles("tiff", {".tif", ".tiff"})) {
    TIFF* t = TIFFOpen(p.c_str(), "r");
    if (!t) continue;
    bool lzw = false;
    do {
      uint16_t comp = 0;
      TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &comp);
      lzw |= comp == COMPRESSION_LZW;
    } while (!lzw && TIFFReadDirectory(t));
    TIFFClose(t);
    if (lzw) out.push_back(p);
  }
  return out;
}

// ---------------------------------------------------------------------------------
// TIFF: corpus against libtiff.

TEST(TiffLzw, CorpusMatchesLibtiff) {
  const auto files = LzwTiffFiles();
  std::vector<std::string> names;
  for (const auto& f : files) names.push_back(std::filesystem::path(f).filename().string());
  for (const char* must : {"lzw-single-strip.tiff", "quad-lzw-compat.tiff"})
    EXPECT_NE(std::find(names.begin(), names.end(), must), names.end()) << must;

  TiffQuiet quiet;
  size_t chunks = 0;
  for (const auto& path : files) {
    SCOPED_TRACE(path);
    TIFF* t = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(t, nullptr);
    int dir = 0;
    do {
      SCOPED_TRACE("directory " + std::to_string(dir++));
      uint16_t comp = 0, bps = 1, spp = 1, predictor = 1, planar = 1;
      TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &comp);
      if (comp != COMPRESSION_LZW) continue;
      TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bps);
      TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
      TIFFGetFieldDefaulted(t, TIFFTAG_PREDICTOR, &predictor);
      TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
      const int sppForPredictor = planar == PLANARCONFIG_CONTIG ? spp : 1;
      const bool tiled = TIFFIsTiled(t);
      uint32_t height = 0, rowsPerStrip = 0, tileLength = 0;
      TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height);
      TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
      if (tiled) TIFFGetField(t, TIFFTAG_TILELENGTH, &tileLength);
      const uint32_t nChunks = tiled ? TIFFNumberOfTiles(t) : TIFFNumberOfStrips(t);
      const uint32_t perPlane = planar == PLANARCONFIG_SEPARATE ? nChunks / spp : nChunks;
      const size_t rowBytes = static_cast<size_t>(tiled ? TIFFTileRowSize(t) : TIFFScanlineSize(t));
      for (uint32_t c = 0; c < nChunks; ++c) {
        SCOPED_TRACE("chunk " + std::to_string(c));
        uint64_t* counts = nullptr;
        TIFFGetField(t, tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS, &counts);
        Bytes raw(static_cast<size_t>(counts[c]));
        const tmsize_t got =
            tiled ? TIFFReadRawTile(t, c, raw.data(), static_cast<tmsize_t>(raw.size()))
                  : TIFFReadRawStrip(t, c, raw.data(), static_cast<tmsize_t>(raw.size()));
        ASSERT_EQ(got, static_cast<tmsize_t>(raw.size()));
        size_t rows;
        if (tiled) {
          rows = tileLength;
        } else {
          const uint32_t first = (c % perPlane) * rowsPerStrip;
          rows = std::min<uint32_t>(rowsPerStrip, height - first);
        }
        const tmsize_t expectSize =
            tiled ? TIFFTileSize(t) : TIFFVStripSize(t, static_cast<uint32_t>(rows));
        Bytes expect(static_cast<size_t>(expectSize));
        const tmsize_t n = tiled ? TIFFReadEncodedTile(t, c, expect.data(), expectSize)
                                 : TIFFReadEncodedStrip(t, c, expect.data(), expectSize);
        ASSERT_EQ(n, expectSize) << "libtiff could not decode it";
        bool ok = false;
        Bytes ours = DecodeStrip(raw, rowBytes, rows, &ok);
        ASSERT_TRUE(ok) << "our decoder failed a row";
        ASSERT_TRUE(
            PostDecode(ours, rowBytes, rows, bps, sppForPredictor, TIFFIsByteSwapped(t), predictor))
            << "predictor " << predictor;
        ASSERT_EQ(ours.size(), expect.size());
        EXPECT_TRUE(ours == expect) << "bytes differ from libtiff";
        ++chunks;
      }
    } while (TIFFReadDirectory(t));
    TIFFClose(t);
  }
  EXPECT_GT(chunks, 80u);
}

// Rows can end anywhere inside a code's string: any row length gives the same bytes.
TEST(TiffLzw, RowLengthDoesNotMatter) {
  TiffQuiet quiet;
  for (const char* name : {"lzw-single-strip.tiff", "quad-lzw-compat.tiff"}) {
    SCOPED_TRACE(name);
    TIFF* t = TIFFOpen(vxtest::CorpusPath(std::string("tiff/") + name).c_str(), "r");
    ASSERT_NE(t, nullptr);
    const uint32_t strip = TIFFNumberOfStrips(t) > 12 ? 12 : 0;
    uint64_t* counts = nullptr;
    TIFFGetField(t, TIFFTAG_STRIPBYTECOUNTS, &counts);
    Bytes raw(static_cast<size_t>(counts[strip]));
    TIFFReadRawStrip(t, strip, raw.data(), static_cast<tmsize_t>(raw.size()));
    Bytes expect(static_cast<size_t>(TIFFStripSize(t)));
    const tmsize_t n =
        TIFFReadEncodedStrip(t, strip, expect.data(), static_cast<tmsize_t>(expect.size()));
    ASSERT_GT(n, 0);
    expect.resize(static_cast<size_t>(n));
    TIFFClose(t);
    for (size_t rowBytes : {size_t{1}, size_t{3}, size_t{255}, size_t{4096}, size_t{5000}}) {
      SCOPED_TRACE(rowBytes);
      const size_t rows = expect.size() / rowBytes;
      const Bytes got = DecodeStrip(raw, rowBytes, rows);
      ASSERT_EQ(got.size(), rows * rowBytes);
      EXPECT_TRUE(std::equal(got.begin(), got.end(), expect.begin()));
    }
  }
}

// Our decoder reads what libtiff's own encoder writes (which also clears the table on
// a falling compression ratio, not only when it is full).
TEST(TiffLzw, DecodesLibtiffEncoderOutput) {
  TiffQuiet quiet;
  const std::string path = vxtest::TempDir() + "/libtiff-lzw.tif";
  const uint32_t w = 733, h = 97;
  Bytes img = PhotoLike(static_cast<int>(w), static_cast<int>(h), 8, 4);
  const Bytes noise = Noise(img.size() / 2, 8, 9);
  std::copy(noise.begin(), noise.end(), img.begin() + static_cast<std::ptrdiff_t>(img.size() / 3));
  TIFF* t = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(t, nullptr);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, h);
  ASSERT_EQ(TIFFWriteEncodedStrip(t, 0, img.data(), static_cast<tmsize_t>(img.size())),
            static_cast<tmsize_t>(img.size()));
  TIFFClose(t);
  t = TIFFOpen(path.c_str(), "r");
  ASSERT_NE(t, nullptr);
  uint64_t* counts = nullptr;
  TIFFGetField(t, TIFFTAG_STRIPBYTECOUNTS, &counts);
  Bytes raw(static_cast<size_t>(counts[0]));
  TIFFReadRawStrip(t, 0, raw.data(), static_cast<tmsize_t>(raw.size()));
  TIFFClose(t);
  EXPECT_TRUE(DecodeStrip(raw, w, h) == img);
}

// ---------------------------------------------------------------------------------
// TIFF: our encoder read back by libtiff.

Bytes EncodeStrip(const Bytes& img, size_t rowBytes, size_t rows) {
  TMemoryStream ms;
  void* state = nullptr;
  for (size_t r = 0; r < rows; ++r)
    EXPECT_TRUE(TIFFLZWCompress(img.data() + r * rowBytes, static_cast<int>(rowBytes), ms, state));
  EXPECT_TRUE(TIFFLZWCompress(nullptr, 0, ms, state));
  EXPECT_EQ(state, nullptr);
  return ms.Data();
}

struct TiffCase {
  uint32_t width, height, rowsPerStrip;
  int kind;  // 0 noise, 1 photo-like, 2 constant, 3 ramp
};

class TiffEncode : public ::testing::TestWithParam<TiffCase> {};

TEST_P(TiffEncode, LibtiffReadsBackSameBytes) {
  const TiffCase c = GetParam();
  const size_t rowBytes = c.width;
  const size_t n = rowBytes * c.height;
  Bytes img;
  switch (c.kind) {
    case 0:
      img = Noise(n, 8, c.width);
      break;
    case 1:
      img = PhotoLike(static_cast<int>(c.width), static_cast<int>(c.height), 8, 5);
      break;
    case 2:
      img = Bytes(n, 0x5A);
      break;
    default:
      img.resize(n);
      for (size_t i = 0; i < n; ++i) img[i] = static_cast<uint8_t>(i % 251);
  }
  TiffQuiet quiet;
  const std::string path = vxtest::TempDir() + "/ours-" + std::to_string(c.width) + "x" +
                           std::to_string(c.height) + "-" + std::to_string(c.kind) + ".tif";
  TIFF* t = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(t, nullptr);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, c.width);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, c.height);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_NONE);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, c.rowsPerStrip);
  std::vector<Bytes> strips;
  for (uint32_t first = 0, s = 0; first < c.height; first += c.rowsPerStrip, ++s) {
    const size_t rows = std::min(c.rowsPerStrip, c.height - first);
    const Bytes part(img.begin() + static_cast<std::ptrdiff_t>(first * rowBytes),
                     img.begin() + static_cast<std::ptrdiff_t>((first + rows) * rowBytes));
    strips.push_back(EncodeStrip(part, rowBytes, rows));
    ASSERT_EQ(
        TIFFWriteRawStrip(t, s, strips.back().data(), static_cast<tmsize_t>(strips.back().size())),
        static_cast<tmsize_t>(strips.back().size()));
    // And our own decoder agrees.
    EXPECT_TRUE(DecodeStrip(strips.back(), rowBytes, rows) == part);
  }
  TIFFClose(t);

  t = TIFFOpen(path.c_str(), "r");
  ASSERT_NE(t, nullptr);
  Bytes back;
  for (uint32_t s = 0; s < TIFFNumberOfStrips(t); ++s) {
    Bytes buf(static_cast<size_t>(TIFFStripSize(t)));
    const tmsize_t got = TIFFReadEncodedStrip(t, s, buf.data(), static_cast<tmsize_t>(buf.size()));
    ASSERT_GT(got, 0) << "libtiff failed strip " << s;
    back.insert(back.end(), buf.begin(), buf.begin() + got);
  }
  TIFFClose(t);
  EXPECT_TRUE(back == img);
}

INSTANTIATE_TEST_SUITE_P(All, TiffEncode,
                         ::testing::Values(TiffCase{1, 1, 1, 0}, TiffCase{3, 5, 5, 1},
                                           TiffCase{17, 40, 7, 3}, TiffCase{100, 100, 100, 1},
                                           TiffCase{1000, 300, 300, 0}, TiffCase{512, 512, 512, 0},
                                           TiffCase{512, 512, 64, 0}, TiffCase{1000, 800, 800, 2},
                                           TiffCase{640, 480, 16, 1}, TiffCase{4099, 37, 37, 3}),
                         [](const auto& p) {
                           const TiffCase& c = p.param;
                           return std::to_string(c.width) + "x" + std::to_string(c.height) + "_r" +
                                  std::to_string(c.rowsPerStrip) + "_k" + std::to_string(c.kind);
                         });

// A stream whose writes fail makes the encoder report it.
class TFailingStream : public TStream {
 public:
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t, TSeekOrigin) override { return 0; }
};

TEST(TiffLzw, EncoderReportsWriteFailure) {
  TFailingStream out;
  void* state = nullptr;
  const Bytes row = Noise(5000, 8, 1);
  EXPECT_FALSE(TIFFLZWCompress(row.data(), static_cast<int>(row.size()), out, state));
  EXPECT_FALSE(TIFFLZWCompress(nullptr, 0, out, state));
  EXPECT_EQ(state, nullptr);
}

TEST(TiffLzw, EmptyStripIsStillAValidStream) {
  TMemoryStream ms;
  void* state = nullptr;
  EXPECT_TRUE(TIFFLZWCompress(nullptr, 0, ms, state));
  EXPECT_EQ(ms.Data(), (Bytes{0x80, 0x40, 0x40}));  // clear, end: 9 bits each, MSB first
}

// ---------------------------------------------------------------------------------
// TIFF: damaged input.

Bytes HandTiff(const std::vector<std::pair<uint32_t, int>>& codes) {
  Bytes out;
  uint64_t acc = 0;
  int n = 0;
  for (auto [code, bits] : codes) {
    acc = (acc << bits) | code;
    n += bits;
    while (n >= 8) {
      n -= 8;
      out.push_back(static_cast<uint8_t>(acc >> n));
    }
  }
  if (n > 0) out.push_back(static_cast<uint8_t>(acc << (8 - n)));
  return out;
}

TEST(TiffLzw, CodeBeyondNextFreeEntryFails) {
  const Bytes strip = HandTiff({{256, 9}, {65, 9}, {66, 9}, {300, 9}, {257, 9}});
  void* state = nullptr;
  const uint8_t* row =
      TIFFLZWDecompress(strip.data(), static_cast<int64_t>(strip.size()), 2, state);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row[0], 65);
  EXPECT_EQ(row[1], 66);
  EXPECT_EQ(TIFFLZWDecompress(strip.data(), static_cast<int64_t>(strip.size()), 2, state), nullptr);
  TIFFLZWDecompress(nullptr, 0, 0, state);
  EXPECT_EQ(state, nullptr);
}

TEST(TiffLzw, KwKwKAndFirstCodeAfterClear) {
  // clear, 'A', 258 (= "AA", being defined), 259 ("AAA"), clear, 258 (not a literal: corrupt).
  const Bytes strip = HandTiff({{256, 9}, {65, 9}, {258, 9}, {259, 9}, {256, 9}, {258, 9}});
  void* state = nullptr;
  const uint8_t* row =
      TIFFLZWDecompress(strip.data(), static_cast<int64_t>(strip.size()), 6, state);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(row), 6), "AAAAAA");
  EXPECT_EQ(TIFFLZWDecompress(strip.data(), static_cast<int64_t>(strip.size()), 1, state), nullptr);
  TIFFLZWDecompress(nullptr, 0, 0, state);
}

TEST(TiffLzw, LastPartialRowIsZeroFilledThenFails) {
  const Bytes img = PhotoLike(50, 3, 8, 1);
  Bytes strip = EncodeStrip(img, 50, 3);
  // Asked for rows of 60: two full rows, then 30 bytes, then nothing.
  void* state = nullptr;
  const auto* in = strip.data();
  const auto size = static_cast<int64_t>(strip.size());
  const uint8_t* r0 = TIFFLZWDecompress(in, size, 60, state);
  ASSERT_NE(r0, nullptr);
  EXPECT_TRUE(std::equal(r0, r0 + 60, img.begin()));
  const uint8_t* r1 = TIFFLZWDecompress(in, size, 60, state);
  ASSERT_NE(r1, nullptr);
  EXPECT_TRUE(std::equal(r1, r1 + 60, img.begin() + 60));
  const uint8_t* r2 = TIFFLZWDecompress(in, size, 60, state);
  ASSERT_NE(r2, nullptr);
  EXPECT_TRUE(std::equal(r2, r2 + 30, img.begin() + 120));
  EXPECT_TRUE(std::all_of(r2 + 30, r2 + 60, [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(TIFFLZWDecompress(in, size, 60, state), nullptr);
  TIFFLZWDecompress(nullptr, 0, 0, state);

  // Without the end code (cut short) the same holds for whatever was decoded.
  strip.resize(strip.size() / 2);
  bool ok = true;
  const Bytes got = DecodeStrip(strip, 50, 3, &ok);
  EXPECT_FALSE(ok);
  ASSERT_FALSE(got.empty());
  ExpectPrefixThenZeros(got,
                        Bytes(img.begin(), img.begin() + static_cast<std::ptrdiff_t>(got.size())));
}

TEST(TiffLzw, EmptyAndNullInput) {
  void* state = nullptr;
  const uint8_t dummy = 0;
  EXPECT_EQ(TIFFLZWDecompress(&dummy, 0, 10, state), nullptr);
  EXPECT_EQ(TIFFLZWDecompress(nullptr, 100, 10, state), nullptr);
  TIFFLZWDecompress(nullptr, 0, 0, state);
  EXPECT_EQ(state, nullptr);
  TIFFLZWDecompress(nullptr, 0, 0, state);  // freeing nothing is fine
}

TEST(TiffLzw, DamagedStripsNeverReadOrWriteOutOfBounds) {
  std::mt19937 rng(5);
  const Bytes img = Noise(300 * 40, 8, 2);
  const Bytes good = EncodeStrip(img, 300, 40);
  // The old bit order too: byte 0 zero and bit 0 of byte 1 set switch the decoder.
  for (int i = 0; i < 400; ++i) {
    Bytes bad = good;
    if (i % 5 == 0) bad.resize(rng() % bad.size());
    for (int k = 0; k < 1 + i % 3 && !bad.empty(); ++k)
      bad[rng() % bad.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
    if (i % 7 == 0 && bad.size() >= 2) {
      bad[0] = 0;
      bad[1] |= 1;
    }
    // Exactly sized heap copy, so a sanitizer sees any read past the strip.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[std::max<size_t>(bad.size(), 1)]);
    std::copy(bad.begin(), bad.end(), exact.get());
    void* state = nullptr;
    Bytes rows;
    for (int r = 0; r < 45; ++r) {
      const uint8_t* row =
          TIFFLZWDecompress(exact.get(), static_cast<int64_t>(bad.size()), 300, state);
      if (!row) break;
      rows.insert(rows.end(), row, row + 300);
    }
    TIFFLZWDecompress(nullptr, 0, 0, state);
    EXPECT_EQ(state, nullptr);
    ExpectOnePassAgrees(exact.get(), bad.size(), 300, 45, rows);
  }
}

}  // namespace
