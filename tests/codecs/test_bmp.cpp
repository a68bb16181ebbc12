// BMP reader and writer, icon and cursor readers. Decoding is checked against
// ImageMagick's decode of the same file; files we write are read back by ImageMagick.
#include <gtest/gtest.h>

#include <malloc.h>
#include <sys/resource.h>
#include "pixellimit.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "core/vxdefs.h"
#include "core/vxutils.h"
#include "codecs/bmpfilt.h"
#include "io/ioparams.h"
#include "platform/stream.h"
#include "quant/neurquant.h"
#include "testsupport.h"

namespace vx {
namespace {

using Bytes = std::vector<uint8_t>;

// ---- helpers ----

std::string Tmp(const std::string& name) {
  return vxtest::TempDir() + "/" + name;
}

void WriteFile(const std::string& path, const Bytes& data) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

Bytes RunCapture(const std::string& cmd) {
  Bytes out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.insert(out.end(), buf, buf + n);
  pclose(p);
  return out;
}

// The peer's decode: width, height and RGB bytes, top row first.
struct PeerImage {
  int w = 0, h = 0;
  Bytes rgb;
};
PeerImage PeerDecode(const std::string& path, const std::string& extra = "") {
  PeerImage img;
  const Bytes dims = RunCapture("identify -format '%w %h' '" + path + "' 2>/dev/null");
  std::sscanf(std::string(dims.begin(), dims.end()).c_str(), "%d %d", &img.w, &img.h);
  img.rgb = RunCapture("convert '" + path + "' " + extra + " -depth 8 rgb:- 2>/dev/null");
  return img;
}

struct Decoded {
  TBitmap bitmap;
  TIOParamsVals params;
  bool aborted = false;
};

Decoded DecodeBMP(const Bytes& data, int64_t dataLength = -1, bool preview = false) {
  Decoded d;
  TMemoryStream s(data);
  bool abort = false;
  TProgressRec pr;
  pr.Aborting = &abort;
  BMPReadStream(s, d.bitmap, dataLength < 0 ? static_cast<int64_t>(data.size()) : dataLength,
                preview, d.params, pr);
  d.aborted = abort;
  return d;
}

Decoded DecodeIcon(const Bytes& data, bool cursor, int index, TRGB background = {}) {
  Decoded d;
  TMemoryStream s(data);
  bool abort = false;
  TProgressRec pr;
  pr.Aborting = &abort;
  if (cursor) {
    d.params.CUR_ImageIndex = index;
    CURReadStream(s, d.bitmap, d.params, pr, false, background);
  } else {
    d.params.ICO_ImageIndex = index;
    ICOReadStream(s, d.bitmap, d.params, pr, false, background);
  }
  d.aborted = abort;
  return d;
}

// Our bitmap as RGB bytes; a pf1bit image shows the file's own two colours (bit 0 is
// black after the white, black inversion, else it is palette entry 0).
Bytes ToRGB(const TBitmap& b, const TIOParamsVals* params = nullptr) {
  Bytes out;
  TRGB c0{0, 0, 0}, c1{255, 255, 255};
  if (b.PixelFormat() == pf1bit && params && params->ColorMapCount == 2) {
    const bool whiteBlack =
        params->ColorMap[0] == TRGB{255, 255, 255} && params->ColorMap[1] == TRGB{0, 0, 0};
    if (!whiteBlack) {
      c0 = params->ColorMap[0];
      c1 = params->ColorMap[1];
    }
  }
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      TRGB c;
      if (b.PixelFormat() == pf1bit)
        c = GetPixelbw(b.ScanLine(y), x) ? c1 : c0;
      else
        c = reinterpret_cast<const TRGB*>(b.ScanLine(y))[x];
      out.insert(out.end(), {c.r, c.g, c.b});
    }
  return out;
}

// Pixels equal after keeping the top bits of each channel (16-bit files: the peer
// replicates the high bits into the low ones, we shift).
void ExpectSamePixels(const Bytes& ours, const Bytes& peer, const std::string& what,
                      int keepBits[3] = nullptr, int tolerance = 0) {
  ASSERT_EQ(ours.size(), peer.size()) << what;
  int bad = 0;
  for (size_t i = 0; i < ours.size(); ++i) {
    int a = ours[i], b = peer[i];
    if (keepBits) {
      const int drop = 8 - keepBits[i % 3];
      a >>= drop;
      b >>= drop;
    }
    if (std::abs(a - b) > tolerance && ++bad <= 3)
      ADD_FAILURE() << what << ": byte " << i << " (pixel " << i / 3 << ") ours " << +ours[i]
                    << " peer " << +peer[i];
  }
  EXPECT_EQ(bad, 0) << what;
}

void ExpectMatchesPeer(const std::string& path, int keepBits[3] = nullptr) {
  const Bytes data = ReadWholeFile(path);
  const Decoded d = DecodeBMP(data);
  EXPECT_FALSE(d.aborted) << path;
  const PeerImage peer = PeerDecode(path);
  ASSERT_GT(peer.w, 0) << "peer could not read " << path;
  EXPECT_EQ(d.bitmap.Width(), peer.w) << path;
  EXPECT_EQ(d.bitmap.Height(), peer.h) << path;
  ExpectSamePixels(ToRGB(d.bitmap, &d.params), peer.rgb, path, keepBits);
}

uint32_t Get32(const Bytes& d, size_t o) {
  return d[o] | (d[o + 1] << 8) | (d[o + 2] << 16) | (static_cast<uint32_t>(d[o + 3]) << 24);
}
uint16_t Get16(const Bytes& d, size_t o) {
  return static_cast<uint16_t>(d[o] | (d[o + 1] << 8));
}
void Put32(Bytes& d, size_t o, uint32_t v) {
  for (int i = 0; i < 4; ++i) d[o + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(Bytes& d, size_t o, uint32_t v) {
  d[o] = static_cast<uint8_t>(v);
  d[o + 1] = static_cast<uint8_t>(v >> 8);
}

// A test image with smooth and busy areas, 24 bits.
TBitmap Photo(int w, int h) {
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      reinterpret_cast<TRGB*>(b.ScanLine(y))[x] = CreateRGB(
          static_cast<uint8_t>(x * 255 / (w - 1)), static_cast<uint8_t>(y * 255 / (h - 1)),
          static_cast<uint8_t>(((x * y) / 5 + (x ^ y) * 3) & 255));
  return b;
}

Bytes Encode(TBitmap& b, TIOParamsVals& p, bool* aborted = nullptr) {
  TMemoryStream s;
  bool abort = false;
  TProgressRec pr;
  pr.Aborting = &abort;
  BMPWriteStream(s, b, p, pr);
  if (aborted) *aborted = abort;
  return s.Data();
}

// A hand-made BMP: 40-byte header, the given palette, raw rows (bottom-up unless the
// height is negative).
Bytes MakeBMP(int w, int h, int bits, uint32_t comp, const std::vector<TRGB>& pal,
              const Bytes& pixels, uint32_t colorsUsed = 0, const Bytes& extraAfterHeader = {}) {
  Bytes d(54, 0);
  d[0] = 'B';
  d[1] = 'M';
  Put32(d, 14, 40);
  Put32(d, 18, static_cast<uint32_t>(w));
  Put32(d, 22, static_cast<uint32_t>(h));
  Put16(d, 26, 1);
  Put16(d, 28, static_cast<uint32_t>(bits));
  Put32(d, 30, comp);
  Put32(d, 34, static_cast<uint32_t>(pixels.size()));
  Put32(d, 38, 2835);
  Put32(d, 42, 2835);
  Put32(d, 46, colorsUsed ? colorsUsed : static_cast<uint32_t>(pal.size()));
  d.insert(d.end(), extraAfterHeader.begin(), extraAfterHeader.end());
  for (const TRGB& c : pal) d.insert(d.end(), {c.b, c.g, c.r, 0});
  Put32(d, 10, static_cast<uint32_t>(d.size()));
  d.insert(d.end(), pixels.begin(), pixels.end());
  Put32(d, 2, static_cast<uint32_t>(d.size()));
  return d;
}

// Makes the peer's fixtures once per test process.
const std::string& Fixtures() {
  static const std::string dir = [] {
    const std::string d = Tmp("fixtures");
    std::system(("mkdir -p '" + d + "'").c_str());
    const std::string src = d + "/src.png";
    std::system(("convert -size 37x23 plasma:fractal -seed 4 '" + src + "'").c_str());
    const char* jobs[][2] = {
        {"", "BMP3:b24.bmp"},
        {"", "BMP2:os2.bmp"},
        {"", "BMP:v5.bmp"},
        {"-monochrome", "BMP3:mono.bmp"},
        {"-colors 16 -compress none", "BMP3:c16.bmp"},
        {"-colors 16", "BMP:c16v5.bmp"},
        {"-colors 200 -compress none", "BMP3:c200.bmp"},
        {"-colors 200 -compress RLE", "BMP3:c200rle.bmp"},
        {"-colors 200 -compress none", "BMP2:os2pal.bmp"},
        {"-define bmp:subtype=RGB565", "BMP:r565.bmp"},
        {"-define bmp:subtype=RGB555", "BMP:r555.bmp"},
        {"-alpha on -channel A -evaluate set 100% +channel", "BMP:argb.bmp"},
    };
    for (const auto& j : jobs)
      std::system(("cd '" + d + "' && convert src.png " + j[0] + " " + j[1]).c_str());
    return d;
  }();
  return dir;
}

// ---- reading ----

TEST(BMPRead, CorpusMatchesPeer) {
  const auto files = vxtest::CorpusFiles("bmp", {".bmp"});
  ASSERT_FALSE(files.empty());
  for (const auto& f : files) ExpectMatchesPeer(f);
}

TEST(BMPRead, EveryDepthAndHeaderMatchesPeer) {
  struct Case {
    const char* file;
    TIOBMPVersion version;
    int bitsPerSample;
    TIOBMPCompression compression;
  };
  const Case cases[] = {
      {"b24.bmp", ioBMP_BM3, 8, ioBMP_UNCOMPRESSED},
      {"os2.bmp", ioBMP_BMOS2V1, 8, ioBMP_UNCOMPRESSED},
      {"v5.bmp", ioBMP_BM, 8, ioBMP_UNCOMPRESSED},
      {"mono.bmp", ioBMP_BM3, 1, ioBMP_UNCOMPRESSED},  // palette white, black
      {"c16.bmp", ioBMP_BM3, 4, ioBMP_UNCOMPRESSED},
      {"c16v5.bmp", ioBMP_BM, 4, ioBMP_UNCOMPRESSED},
      {"c200.bmp", ioBMP_BM3, 8, ioBMP_UNCOMPRESSED},
      {"c200rle.bmp", ioBMP_BM3, 8, ioBMP_RLE},
      {"os2pal.bmp", ioBMP_BMOS2V1, 8, ioBMP_UNCOMPRESSED},
      {"argb.bmp", ioBMP_BM, 8, ioBMP_UNCOMPRESSED},
  };
  for (const Case& c : cases) {
    const std::string path = Fixtures() + "/" + c.file;
    SCOPED_TRACE(c.file);
    ExpectMatchesPeer(path);
    const Decoded d = DecodeBMP(ReadWholeFile(path));
    EXPECT_EQ(d.params.BMP_Version, c.version);
    EXPECT_EQ(d.params.BitsPerSample, c.bitsPerSample);
    EXPECT_EQ(d.params.BMP_Compression, c.compression);
    EXPECT_EQ(d.bitmap.PixelFormat(), c.bitsPerSample == 1 ? pf1bit : pf24bit);
    EXPECT_EQ(d.params.Width, 37);
    EXPECT_EQ(d.params.Height, 23);
  }
}

TEST(BMPRead, SixteenBitFilesDecodeThroughTheirMasks) {
  int b565[3] = {5, 6, 5}, b555[3] = {5, 5, 5};
  ExpectMatchesPeer(Fixtures() + "/r565.bmp", b565);  // masks inside a 124-byte header
  // Masks after a 40-byte header: the 124-byte file's header cut to 40 bytes, its
  // masks moved behind it.
  const Bytes v5 = ReadWholeFile(Fixtures() + "/r565.bmp");
  ASSERT_EQ(Get32(v5, 14), 124u);
  Bytes v3(v5.begin(), v5.begin() + 54);
  v3.insert(v3.end(), v5.begin() + 54, v5.begin() + 66);
  Put32(v3, 14, 40);
  v3.insert(v3.end(), v5.begin() + Get32(v5, 10), v5.end());
  Put32(v3, 10, 66);
  Put32(v3, 2, static_cast<uint32_t>(v3.size()));
  const std::string path40 = Tmp("r565_40.bmp");
  WriteFile(path40, v3);
  ExpectMatchesPeer(path40, b565);
  EXPECT_EQ(ToRGB(DecodeBMP(v3).bitmap), ToRGB(DecodeBMP(v5).bitmap));
  ExpectMatchesPeer(Fixtures() + "/r555.bmp", b555);
  // Without masks a 16-bit file is 5-5-5: each channel shifted up.
  Bytes px;
  const uint16_t words[4] = {0x7C00, 0x03E0, 0x001F, 0x7FFF};
  for (uint16_t w : words)
    px.insert(px.end(), {static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8)});
  const Decoded d = DecodeBMP(MakeBMP(4, 1, 16, 0, {}, px));
  ASSERT_FALSE(d.aborted);
  EXPECT_EQ(ToRGB(d.bitmap), (Bytes{248, 0, 0, 0, 248, 0, 0, 0, 248, 248, 248, 248}));
  EXPECT_EQ(d.params.BitsPerSample, 5);
  EXPECT_EQ(d.params.SamplesPerPixel, 3);
}

TEST(BMPRead, HeaderVersionsAndPaletteAfterLongHeaders) {
  const Bytes v5 = ReadWholeFile(Fixtures() + "/c16v5.bmp");
  ASSERT_EQ(Get32(v5, 14), 124u);
  const Bytes want = ToRGB(DecodeBMP(v5).bitmap);
  // 108 bytes: the same file without the last 16 bytes of the header.
  Bytes v4 = v5;
  v4.erase(v4.begin() + 14 + 108, v4.begin() + 14 + 124);
  Put32(v4, 14, 108);
  Put32(v4, 10, Get32(v5, 10) - 16);
  Put32(v4, 2, static_cast<uint32_t>(v4.size()));
  // 64 bytes (OS/2 2.x): a 40-byte file with 24 more header bytes, zero.
  const Bytes v3 = ReadWholeFile(Fixtures() + "/c16.bmp");
  Bytes os2v2 = v3;
  os2v2.insert(os2v2.begin() + 54, 24, 0);
  Put32(os2v2, 14, 64);
  Put32(os2v2, 10, Get32(v3, 10) + 24);
  Put32(os2v2, 2, static_cast<uint32_t>(os2v2.size()));
  struct Case {
    const Bytes* data;
    TIOBMPVersion version;
  };
  for (const Case& c : {Case{&v5, ioBMP_BM}, Case{&v4, ioBMP_BM}, Case{&os2v2, ioBMP_BMOS2V2},
                        Case{&v3, ioBMP_BM3}}) {
    const Decoded d = DecodeBMP(*c.data);
    EXPECT_FALSE(d.aborted);
    EXPECT_EQ(d.params.BMP_Version, c.version);
    EXPECT_EQ(d.params.ColorMapCount, 16);
    EXPECT_EQ(ToRGB(d.bitmap), want);
  }
}

TEST(BMPRead, TwoColourPalettes) {
  // One row of 9 pixels: bits 1,0,1,1,0,0,0,1,1.
  const Bytes px{0xB1, 0x80, 0, 0};
  const TRGB white{255, 255, 255}, black{}, red = CreateRGB(255, 0, 0), blue = CreateRGB(0, 0, 255);
  struct Case {
    TRGB c0, c1;
    bool inverted;
  };
  for (const Case& c :
       {Case{white, black, true}, Case{black, white, false}, Case{red, blue, false}}) {
    const Decoded d = DecodeBMP(MakeBMP(9, 1, 1, 0, {c.c0, c.c1}, px));
    ASSERT_EQ(d.bitmap.PixelFormat(), pf1bit);
    const uint8_t first = d.bitmap.ScanLine(0)[0];
    EXPECT_EQ(first, c.inverted ? 0x4E : 0xB1);
    ASSERT_EQ(d.params.ColorMapCount, 2);
    EXPECT_EQ(d.params.ColorMap[0], c.c0);
    EXPECT_EQ(d.params.ColorMap[1], c.c1);
  }
}

TEST(BMPRead, TopDownFilesLoadUpright) {
  for (const char* name : {"b24.bmp", "c200.bmp", "c16.bmp"}) {
    SCOPED_TRACE(name);
    const Bytes bottomUp = ReadWholeFile(Fixtures() + "/" + name);
    const int h = static_cast<int>(Get32(bottomUp, 22));
    const int bits = Get16(bottomUp, 28);
    const size_t rowLen =
        static_cast<size_t>(BitmapRowLen(static_cast<int>(Get32(bottomUp, 18)), bits));
    const size_t off = Get32(bottomUp, 10);
    Bytes topDown = bottomUp;
    Put32(topDown, 22, static_cast<uint32_t>(-h));
    for (int r = 0; r < h; ++r)
      std::memcpy(&topDown[off + static_cast<size_t>(r) * rowLen],
                  &bottomUp[off + static_cast<size_t>(h - 1 - r) * rowLen], rowLen);
    const Decoded a = DecodeBMP(bottomUp), b = DecodeBMP(topDown);
    EXPECT_FALSE(b.aborted);
    EXPECT_EQ(b.params.Height, h);
    EXPECT_EQ(ToRGB(a.bitmap), ToRGB(b.bitmap));
  }
}

TEST(BMPRead, ColourTablesAreBounded) {
  const std::vector<TRGB> pal{CreateRGB(10, 20, 30), CreateRGB(200, 100, 50)};
  const Bytes px{0x01, 0x00, 0x01, 0x00};
  // Claims 1000 entries but holds 2 before the pixels: the table stops at the pixels.
  Decoded d = DecodeBMP(MakeBMP(3, 1, 8, 0, pal, px, 1000));
  EXPECT_FALSE(d.aborted);
  EXPECT_EQ(d.params.ColorMapCount, 2);
  EXPECT_EQ(ToRGB(d.bitmap), (Bytes{200, 100, 50, 10, 20, 30, 200, 100, 50}));
  // 300 real entries: only 256 are kept, the pixels are still found.
  std::vector<TRGB> big(300, CreateRGB(1, 2, 3));
  big[255] = CreateRGB(9, 8, 7);
  d = DecodeBMP(MakeBMP(1, 1, 8, 0, big, Bytes{255, 0, 0, 0}));
  EXPECT_FALSE(d.aborted);
  EXPECT_EQ(d.params.ColorMapCount, 256);
  EXPECT_EQ(ToRGB(d.bitmap), (Bytes{9, 8, 7}));
  // Indices past a short table read as black instead of past the table.
  d = DecodeBMP(MakeBMP(2, 1, 8, 0, pal, Bytes{1, 77, 0, 0}));
  EXPECT_EQ(ToRGB(d.bitmap), (Bytes{200, 100, 50, 0, 0, 0}));
}

TEST(BMPRead, BadAndTruncatedData) {
  const Bytes good = ReadWholeFile(Fixtures() + "/b24.bmp");
  const Decoded full = DecodeBMP(good);
  const size_t off = Get32(good, 10);
  const size_t rowLen = static_cast<size_t>(BitmapRowLen(37, 24));
  // Cut after 10 stored rows: aborted, and the 10 bottom rows are there.
  Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(off + rowLen * 10 + 7));
  Decoded d = DecodeBMP(cut);
  EXPECT_TRUE(d.aborted);
  ASSERT_EQ(d.bitmap.Height(), 23);
  for (int y = 13; y < 23; ++y)
    EXPECT_EQ(0, std::memcmp(d.bitmap.ScanLine(y), full.bitmap.ScanLine(y), 37 * 3)) << y;
  // The same with the stream variant's unknown data length.
  d = DecodeBMP(cut, 0);
  EXPECT_TRUE(d.aborted);
  // The last row may come without its padding.
  Bytes noPad(good.begin(), good.end() - 1);
  d = DecodeBMP(noPad);
  EXPECT_FALSE(d.aborted);
  EXPECT_EQ(ToRGB(d.bitmap), ToRGB(full.bitmap));

  // Wrong signature; sizes the data cannot hold are refused before any allocation.
  Bytes wrong = good;
  wrong[0] = 'X';
  EXPECT_TRUE(DecodeBMP(wrong).aborted);
  for (auto [w, h] :
       {std::pair{100000, 100000}, std::pair{-5, 10}, std::pair{10, 0}, std::pair{0x7FFFFFFF, 2}}) {
    Bytes huge = good;
    Put32(huge, 18, static_cast<uint32_t>(w));
    Put32(huge, 22, static_cast<uint32_t>(h));
    TBitmap bmp;
    SizeBitmap(bmp, 3, 2, pf24bit);
    TMemoryStream s(huge);
    bool abort = false;
    TProgressRec pr;
    pr.Aborting = &abort;
    TIOParamsVals p;
    BMPReadStream(s, bmp, 0, false, p, pr);
    EXPECT_TRUE(abort) << w << "x" << h;
    EXPECT_EQ(bmp.Width(), 3);
  }
  // A truncated RLE stream, and every prefix of a file, never crash.
  const Bytes rle = ReadWholeFile(Fixtures() + "/c200rle.bmp");
  d = DecodeBMP(Bytes(rle.begin(), rle.begin() + static_cast<std::ptrdiff_t>(rle.size() / 2)));
  EXPECT_TRUE(d.aborted);
  for (size_t n = 0; n < rle.size(); n += 97)
    DecodeBMP(Bytes(rle.begin(), rle.begin() + static_cast<std::ptrdiff_t>(n)));
}

TEST(BMPRead, PreviewFillsOnlyTheParameters) {
  TBitmap bmp;
  SizeBitmap(bmp, 2, 2, pf24bit);
  std::vector<TRGB> pal(256, CreateRGB(1, 2, 3));
  TMemoryStream s(MakeBMP(37, 23, 8, 0, pal, Bytes(40 * 23, 0)));
  TIOParamsVals p;
  BMPReadStream(s, bmp, 0, true, p, ResetNullpr());
  EXPECT_EQ(bmp.Width(), 2);
  EXPECT_EQ(p.Width, 37);
  EXPECT_EQ(p.Height, 23);
  EXPECT_EQ(p.BitsPerSample, 8);
  EXPECT_EQ(p.SamplesPerPixel, 1);
  EXPECT_EQ(p.ColorMapCount, 256);
  EXPECT_EQ(p.DpiX, 72);  // 2835 pixels a metre
}

// ---- writing ----

struct WriteCase {
  int bitsPerSample, samplesPerPixel;
  TIOBMPCompression compression;
  TIOBMPVersion version;
  int fileBits;
  uint32_t fileComp;
};

TEST(BMPWrite, PeerReadsWhatWeWrite) {
  const WriteCase cases[] = {
      {8, 3, ioBMP_UNCOMPRESSED, ioBMP_BM3, 24, 0},
      {8, 3, ioBMP_UNCOMPRESSED, ioBMP_BMOS2V1, 24, 0},
      {8, 3, ioBMP_UNCOMPRESSED, ioBMP_BMOS2V2, 24, 0},
      {8, 1, ioBMP_UNCOMPRESSED, ioBMP_BM3, 8, 0},
      {8, 1, ioBMP_RLE, ioBMP_BM3, 8, 1},
      {8, 1, ioBMP_RLE, ioBMP_BMOS2V1, 8, 0},
      {4, 1, ioBMP_UNCOMPRESSED, ioBMP_BM3, 4, 0},
      {4, 1, ioBMP_RLE, ioBMP_BM, 4, 2},
      {1, 1, ioBMP_UNCOMPRESSED, ioBMP_BM3, 1, 0},
      {1, 1, ioBMP_UNCOMPRESSED, ioBMP_BMOS2V1, 1, 0},
  };
  TBitmap src = Photo(53, 31);
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bitsPerSample << "/" << c.samplesPerPixel << " rle "
                                    << c.compression << " version " << c.version);
    TIOParamsVals p;
    p.BitsPerSample = c.bitsPerSample;
    p.SamplesPerPixel = c.samplesPerPixel;
    p.BMP_Compression = c.compression;
    p.BMP_Version = c.version;
    bool aborted = true;
    const Bytes file = Encode(src, p, &aborted);
    ASSERT_FALSE(aborted);
    EXPECT_EQ(Get32(file, 2), file.size());  // file-size field = bytes written
    const bool core = c.version == ioBMP_BMOS2V1;
    EXPECT_EQ(Get16(file, core ? 24 : 28), c.fileBits);
    if (!core) {
      EXPECT_EQ(Get32(file, 30), c.fileComp);
    }
    if (c.fileComp != 0) {
      EXPECT_EQ(Bytes(file.end() - 2, file.end()), (Bytes{0, 1}));
    }
    const std::string path = Tmp("w.bmp");
    WriteFile(path, file);
    const PeerImage peer = PeerDecode(path);
    ASSERT_EQ(peer.w, 53);
    ASSERT_EQ(peer.h, 31);
    const Decoded back = DecodeBMP(file);
    EXPECT_FALSE(back.aborted);
    ExpectSamePixels(ToRGB(back.bitmap, &back.params), peer.rgb, "our reread vs peer");
    if (c.fileBits == 24) ExpectSamePixels(ToRGB(src), peer.rgb, "source vs peer");
    if (c.fileBits == 4 || c.fileBits == 8) {
      // Every pixel is its quantizer entry.
      TVXQuantizer q(src, 1 << c.fileBits);
      TBitmap mapped = src;
      for (int y = 0; y < 31; ++y)
        for (int x = 0; x < 53; ++x) {
          TRGB& px = reinterpret_cast<TRGB*>(mapped.ScanLine(y))[x];
          px = q.Palette()[static_cast<size_t>(q.GetRGBIndex(px))];
        }
      ExpectSamePixels(ToRGB(mapped), peer.rgb, "quantized source vs peer");
      EXPECT_EQ(p.ColorMapCount, 1 << c.fileBits);
    }
  }
}

TEST(BMPWrite, TwoColourImagesKeepTheirColoursDarkerFirst) {
  TBitmap b;
  SizeBitmap(b, 11, 5, pf24bit);
  const TRGB light = CreateRGB(250, 240, 30), dark = CreateRGB(20, 40, 160);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 11; ++x)
      reinterpret_cast<TRGB*>(b.ScanLine(y))[x] = (x + y) % 3 ? light : dark;
  reinterpret_cast<TRGB*>(b.ScanLine(0))[0] = light;  // the lighter colour comes first
  TIOParamsVals p;
  p.BitsPerSample = 1;
  p.SamplesPerPixel = 1;
  const Bytes file = Encode(b, p);
  EXPECT_EQ(Get16(file, 28), 1);
  const size_t pal = 54;
  EXPECT_EQ(Bytes(file.begin() + pal, file.begin() + pal + 8),
            (Bytes{dark.b, dark.g, dark.r, 0, light.b, light.g, light.r, 0}));
  const std::string path = Tmp("two.bmp");
  WriteFile(path, file);
  ExpectSamePixels(ToRGB(b), PeerDecode(path).rgb, "two colours");
  // A pf1bit image is written as it is, black first.
  TBitmap mono;
  SizeBitmap(mono, 9, 3, pf1bit);
  mono.ScanLine(1)[0] = 0xA5;
  const Bytes mfile = Encode(mono, p);
  EXPECT_EQ(Bytes(mfile.begin() + pal, mfile.begin() + pal + 8),
            (Bytes{0, 0, 0, 0, 255, 255, 255, 0}));
  WriteFile(path, mfile);
  ExpectSamePixels(ToRGB(mono), PeerDecode(path).rgb, "pf1bit");
}

TEST(BMPWrite, FourBitSavesGoThroughTheQuantizer) {
  TBitmap src = Photo(40, 20);
  TIOParamsVals p;
  p.BitsPerSample = 4;
  p.SamplesPerPixel = 3;  // 4 bits wins over the sample count
  const Bytes file = Encode(src, p);
  EXPECT_EQ(Get16(file, 28), 4);
  EXPECT_EQ(Get32(file, 46), 16u);
  EXPECT_EQ(Get32(file, 10), 54u + 16 * 4);
  TVXQuantizer q(src, 16);
  for (int i = 0; i < 16; ++i) {
    const TRGB c = q.Palette()[static_cast<size_t>(i)];
    EXPECT_EQ(Bytes(file.begin() + 54 + 4 * i, file.begin() + 58 + 4 * i),
              (Bytes{c.b, c.g, c.r, 0}));
  }
}

// Parses RLE codes and checks that literal runs stay within 255 pixels.
void CheckRLECodes(const Bytes& file, bool rle4, int width, int height) {
  size_t p = Get32(file, 10);
  int rows = 0, x = 0;
  bool sawEnd = false;
  while (p + 1 < file.size() && !sawEnd) {
    const int n = file[p], b = file[p + 1];
    p += 2;
    if (n > 0) {
      x += n;
    } else if (b == 0) {
      EXPECT_EQ(x, width);
      x = 0;
      ++rows;
    } else if (b == 1) {
      sawEnd = true;
    } else {
      ASSERT_GE(b, 3);
      ASSERT_LE(b, 255);
      x += b;
      const size_t bytes = rle4 ? (static_cast<size_t>(b) + 1) / 2 : static_cast<size_t>(b);
      p += bytes + (bytes & 1);
    }
  }
  EXPECT_TRUE(sawEnd);
  EXPECT_EQ(p, file.size());
  EXPECT_EQ(rows, height);
}

TEST(BMPWrite, LongLiteralRunsRoundTrip) {
  for (bool rle4 : {false, true}) {
    SCOPED_TRACE(rle4 ? "RLE4" : "RLE8");
    // 300 pixels a row, no two neighbours equal, colours on the quantizer's grid so
    // that the palette holds them exactly.
    const int ncol = rle4 ? 16 : 200;
    std::vector<TRGB> cols;
    for (int i = 0; i < ncol; ++i)
      cols.push_back(CreateRGB(static_cast<uint8_t>((i * 37 % 32) * 8),
                               static_cast<uint8_t>((i % 32) * 8),
                               static_cast<uint8_t>((i / 32) * 40)));
    TBitmap b;
    SizeBitmap(b, 300, 3, pf24bit);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 300; ++x)
        reinterpret_cast<TRGB*>(b.ScanLine(y))[x] = cols[static_cast<size_t>((x * 7 + y) % ncol)];
    // One row with a run as well, to mix repeat and literal codes.
    for (int x = 100; x < 130; ++x) reinterpret_cast<TRGB*>(b.ScanLine(1))[x] = cols[0];
    TIOParamsVals p;
    p.BitsPerSample = rle4 ? 4 : 8;
    p.SamplesPerPixel = 1;
    p.BMP_Compression = ioBMP_RLE;
    const Bytes file = Encode(b, p);
    EXPECT_EQ(Get32(file, 30), rle4 ? 2u : 1u);
    EXPECT_EQ(Get32(file, 2), file.size());
    CheckRLECodes(file, rle4, 300, 3);
    const Decoded back = DecodeBMP(file);
    EXPECT_FALSE(back.aborted);
    ExpectSamePixels(ToRGB(back.bitmap), ToRGB(b), "reread vs source");
    const std::string path = Tmp(rle4 ? "lit4.bmp" : "lit8.bmp");
    WriteFile(path, file);
    ExpectSamePixels(PeerDecode(path).rgb, ToRGB(b), "peer vs source");
  }
}

TEST(BMPWrite, AbortLeavesPlaceholderHeaders) {
  TBitmap src = Photo(20, 30);
  TIOParamsVals p;
  TMemoryStream s;
  bool abort = false;
  TProgressRec pr;
  pr.Aborting = &abort;
  int calls = 0;
  pr.ProgressEvent = [&](TObject*, int) {
    if (++calls == 5) abort = true;
  };
  BMPWriteStream(s, src, p, pr);
  EXPECT_TRUE(abort);
  EXPECT_EQ(Get32(s.Data(), 2), 0u);
  EXPECT_LT(s.Data().size(), 54u + 20 * 3 * 30);
}

// ---- icons and cursors ----

const std::string& IconFixtures() {
  static const std::string dir = [] {
    const std::string d = Tmp("icons");
    std::system(("mkdir -p '" + d + "'").c_str());
    const char* jobs[] = {
        "convert -size 64x64 plasma:fractal -seed 9 src.png",
        "convert src.png -define icon:auto-resize=16,32,256 multi.ico",
        "convert src.png -resize 32x32! -colors 16 -type palette ICO:p16.ico",
        "convert src.png -resize 32x32! -colors 200 -type palette ICO:p256.ico",
        "convert src.png -resize 32x32! -monochrome ICO:p2.ico",
        "convert src.png -resize 24x24! -alpha on -channel A -fx 'i/w' +channel alpha.png",
        "convert alpha.png ICO:alpha.ico",
    };
    for (const char* j : jobs) std::system(("cd '" + d + "' && " + j).c_str());
    return d;
  }();
  return dir;
}

TEST(ICORead, EntriesMatchPeer) {
  struct Case {
    const char* file;
    int index;
    int w;
  };
  for (const Case& c :
       {Case{"multi.ico", 0, 16}, Case{"multi.ico", 1, 32}, Case{"multi.ico", 2, 256},
        Case{"p16.ico", 0, 32}, Case{"p256.ico", 0, 32}, Case{"p2.ico", 0, 32}}) {
    SCOPED_TRACE(testing::Message() << c.file << "[" << c.index << "]");
    const std::string path = IconFixtures() + "/" + c.file;
    const Bytes data = ReadWholeFile(path);
    TMemoryStream s(data);
    EXPECT_TRUE(ICOTryStream(s));
    EXPECT_FALSE(CURTryStream(s));
    EXPECT_EQ(s.Position(), 0);
    const Decoded d = DecodeIcon(data, false, c.index);
    EXPECT_FALSE(d.aborted);
    EXPECT_EQ(d.params.Width, c.w);
    const PeerImage peer = PeerDecode(path + "[" + std::to_string(c.index) + "]");
    ASSERT_EQ(peer.w, c.w);
    EXPECT_EQ(d.bitmap.Width(), c.w);
    EXPECT_EQ(d.bitmap.Height(), c.w);
    // The 256 entry is a 16-bit PNG: we round to 8 bits, the peer truncates.
    ExpectSamePixels(ToRGB(d.bitmap, &d.params), peer.rgb, "icon", nullptr, c.w == 256 ? 1 : 0);
  }
}

TEST(ICORead, AlphaIsFlattenedOntoTheBackground) {
  const std::string path = IconFixtures() + "/alpha.ico";
  const Bytes data = ReadWholeFile(path);
  const TRGB bg = CreateRGB(40, 200, 90);
  const Decoded d = DecodeIcon(data, false, 0, bg);
  ASSERT_FALSE(d.aborted);
  const PeerImage peer = PeerDecode(path, "-background 'rgb(40,200,90)' -alpha remove -alpha off");
  const Bytes ours = ToRGB(d.bitmap);
  ASSERT_EQ(ours.size(), peer.rgb.size());
  for (size_t i = 0; i < ours.size(); ++i)
    ASSERT_LE(std::abs(ours[i] - peer.rgb[i]), 1) << "byte " << i;
  // Left column fully transparent: the background itself.
  EXPECT_EQ(reinterpret_cast<const TRGB*>(d.bitmap.ScanLine(5))[0], bg);
}

// An icon around a 24-bit BMP: the directory, the header with doubled height, rows and
// an AND mask.
Bytes Make24BitIcon(const TBitmap& img, uint16_t type, uint16_t hx, uint16_t hy) {
  const int w = img.Width(), h = img.Height();
  Bytes d(6 + 16 + 40, 0);
  Put16(d, 2, type);
  Put16(d, 4, 1);
  d[6] = static_cast<uint8_t>(w);
  d[7] = static_cast<uint8_t>(h);
  Put16(d, 10, hx);
  Put16(d, 12, hy);
  Put32(d, 18, 22);
  Put32(d, 22, 40);
  Put32(d, 26, static_cast<uint32_t>(w));
  Put32(d, 30, static_cast<uint32_t>(2 * h));
  Put16(d, 34, 1);
  Put16(d, 36, 24);
  const int rowLen = BitmapRowLen(w, 24);
  for (int y = h - 1; y >= 0; --y) {
    Bytes row(static_cast<size_t>(rowLen), 0);
    std::memcpy(row.data(), img.ScanLine(y), static_cast<size_t>(w) * 3);
    d.insert(d.end(), row.begin(), row.end());
  }
  d.insert(d.end(), static_cast<size_t>(BitmapRowLen(w, 1) * h), 0);
  Put32(d, 14, static_cast<uint32_t>(d.size() - 22));
  return d;
}

TEST(CURRead, TwentyFourBitCursorWithHotspot) {
  const TBitmap img = Photo(16, 16);
  const Bytes cur = Make24BitIcon(img, 2, 3, 11);
  TMemoryStream s(cur);
  EXPECT_TRUE(CURTryStream(s));
  EXPECT_FALSE(ICOTryStream(s));
  const Decoded d = DecodeIcon(cur, true, 0);
  ASSERT_FALSE(d.aborted);
  EXPECT_EQ(d.params.CUR_XHotSpot, 3);
  EXPECT_EQ(d.params.CUR_YHotSpot, 11);
  EXPECT_EQ(ToRGB(d.bitmap), ToRGB(img));
  // The same entry as an icon, and the peer's view of it.
  const Bytes ico = Make24BitIcon(img, 1, 1, 24);
  const Decoded di = DecodeIcon(ico, false, 0);
  EXPECT_EQ(ToRGB(di.bitmap), ToRGB(img));
  const std::string path = Tmp("i24.ico");
  WriteFile(path, ico);
  ExpectSamePixels(ToRGB(di.bitmap), PeerDecode(path).rgb, "24-bit icon");
}

TEST(ICORead, ColourTableSizeComesFromTheHeader) {
  // An 8-bit entry whose header says 2 colours (the directory says 0): the pixels start
  // after those 2 entries, not after 256.
  Bytes d(6 + 16 + 40, 0);
  Put16(d, 2, 1);
  Put16(d, 4, 1);
  d[6] = 4;
  d[7] = 2;
  Put16(d, 12, 8);
  Put32(d, 18, 22);
  Put32(d, 22, 40);
  Put32(d, 26, 4);
  Put32(d, 30, 4);
  Put16(d, 34, 1);
  Put16(d, 36, 8);
  Put32(d, 54, 2);
  d.insert(d.end(), {10, 20, 30, 0, 200, 150, 100, 0});
  d.insert(d.end(), {1, 0, 0, 1, 0, 1, 1, 0});  // bottom row, then top row
  d.insert(d.end(), 8, 0);                      // AND mask
  Put32(d, 14, static_cast<uint32_t>(d.size() - 22));
  const Decoded dec = DecodeIcon(d, false, 0);
  ASSERT_FALSE(dec.aborted);
  EXPECT_EQ(dec.params.ColorMapCount, 2);
  EXPECT_EQ(dec.params.BitsPerSample, 8);
  const Bytes a{100, 150, 200}, b{30, 20, 10};
  Bytes want;
  for (const Bytes* px : {&b, &a, &a, &b, &a, &b, &b, &a})
    want.insert(want.end(), px->begin(), px->end());
  EXPECT_EQ(ToRGB(dec.bitmap), want);
}

TEST(ICORead, BadIndexAndBadData) {
  const Bytes data = ReadWholeFile(IconFixtures() + "/multi.ico");
  // An index outside the directory: nothing read, parameters as they were.
  Decoded d = DecodeIcon(data, false, 3);
  EXPECT_TRUE(d.aborted);
  EXPECT_EQ(d.params.Width, 0);
  EXPECT_EQ(d.bitmap.Width(), 0);
  // Content tests refuse short, non-icon and inconsistent data and keep the position.
  Bytes wrongOffset = data;
  Put32(wrongOffset, 6 + 12, 10);  // data inside the directory
  for (const Bytes& b : {Bytes(data.begin(), data.begin() + 22),
                         ReadWholeFile(Fixtures() + "/b24.bmp"), wrongOffset}) {
    TMemoryStream s(b);
    s.SetPosition(0);
    EXPECT_FALSE(ICOTryStream(s));
    EXPECT_EQ(s.Position(), 0);
  }
  // Every prefix and some corrupted copies decode without harm; cuts inside an entry's
  // pixels are reported.
  for (size_t n = 0; n < data.size(); n += 1777) {
    const Bytes part(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
    for (int i = 0; i < 3; ++i) DecodeIcon(part, false, i);
  }
  d = DecodeIcon(Bytes(data.begin(), data.begin() + 600), false, 0);
  EXPECT_TRUE(d.aborted);
  std::mt19937 rng(5);
  for (int t = 0; t < 200; ++t) {
    Bytes c = data;
    c[rng() % 600] ^= static_cast<uint8_t>(1 + rng() % 255);
    DecodeIcon(c, false, static_cast<int>(rng() % 3));
  }
}

// ---- hostile sizes: the pixel limit and what the data can justify ----

using vxtest::PixelLimit;

using Reader = std::function<void(TStream&, TBitmap&, TIOParamsVals&, TProgressRec&)>;

Reader BmpReader(bool preview = false) {
  return [preview](TStream& s, TBitmap& b, TIOParamsVals& p, TProgressRec& pr) {
    BMPReadStream(s, b, s.Size(), preview, p, pr);
  };
}
Reader IcoReader(int index, bool preview = false) {
  return [index, preview](TStream& s, TBitmap& b, TIOParamsVals& p, TProgressRec& pr) {
    p.ICO_ImageIndex = index;
    ICOReadStream(s, b, p, pr, preview);
  };
}

// A read into a bitmap that already holds a picture, with a failure record.
struct Outcome {
  TBitmap bitmap = Photo(5, 4);
  TIOParamsVals params;
  bool aborted = false;
  TFailure failure;
  double seconds = 0;
};

Outcome ReadOver(const Bytes& data, const Reader& read) {
  Outcome o;
  TMemoryStream s(data);
  TProgressRec pr;
  pr.Aborting = &o.aborted;
  pr.Failure = &o.failure;
  const auto t0 = std::chrono::steady_clock::now();
  read(s, o.bitmap, o.params, pr);
  o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return o;
}

// Refused with a reason that mentions why, quickly, the bitmap as it was.
void ExpectRefused(const Outcome& o, const std::string& why) {
  EXPECT_TRUE(o.aborted);
  EXPECT_NE(o.failure.Reason.find(why), std::string::npos) << "reason: " << o.failure.Reason;
  EXPECT_FALSE(o.failure.OutOfMemory);
  EXPECT_LT(o.seconds, 2.0);
  EXPECT_EQ(o.bitmap.Width(), 5);
  EXPECT_EQ(o.bitmap.Height(), 4);
  const TBitmap before = Photo(5, 4);
  EXPECT_EQ(ToRGB(o.bitmap), ToRGB(before));
}

uint32_t Crc32(const uint8_t* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
  }
  return ~c;
}

// An icon with one PNG entry whose header says w x h, 8-bit RGBA, followed by an IDAT
// of idatBytes (a zlib header, then zeros) and the end chunk.
Bytes PngIcon(uint32_t w, uint32_t h, bool interlaced, size_t idatBytes) {
  Bytes png{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  auto chunk = [&png](const char* type, const Bytes& body) {
    const uint32_t n = static_cast<uint32_t>(body.size());
    png.insert(png.end(), {static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                           static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
    const size_t from = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), body.begin(), body.end());
    const uint32_t crc = Crc32(png.data() + from, png.size() - from);
    png.insert(png.end(), {static_cast<uint8_t>(crc >> 24), static_cast<uint8_t>(crc >> 16),
                           static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc)});
  };
  Bytes ihdr(13, 0);
  for (int i = 0; i < 4; ++i) {
    ihdr[static_cast<size_t>(i)] = static_cast<uint8_t>(w >> (24 - 8 * i));
    ihdr[static_cast<size_t>(4 + i)] = static_cast<uint8_t>(h >> (24 - 8 * i));
  }
  ihdr[8] = 8;
  ihdr[9] = 6;
  ihdr[12] = interlaced ? 1 : 0;
  chunk("IHDR", ihdr);
  Bytes idat(idatBytes, 0);
  idat[0] = 0x78;
  idat[1] = 0x9C;
  chunk("IDAT", idat);
  chunk("IEND", {});
  Bytes ico(6 + 16, 0);
  Put16(ico, 2, 1);
  Put16(ico, 4, 1);
  Put16(ico, 10, 1);
  Put16(ico, 12, 32);
  Put32(ico, 14, static_cast<uint32_t>(png.size()));
  Put32(ico, 18, 22);
  ico.insert(ico.end(), png.begin(), png.end());
  return ico;
}

TEST(HostileSizes, HugeHeadersAreRefusedBeforeAnythingIsAllocated) {
  // 65536 x 65536 (4.3 G pixels) behind a few kilobytes of rows, behind 4.3 MB of RLE8
  // runs of 255 pixels (enough for 550 M pixels at most), and in a PNG icon entry.
  Bytes rle;
  for (int i = 0; i < 2150000; ++i) rle.insert(rle.end(), {0xFF, static_cast<uint8_t>(i)});
  const std::vector<TRGB> pal(256, CreateRGB(7, 8, 9));
  struct Case {
    const char* name;
    Bytes data;
    Reader read;
    const char* dataReason;
  };
  const Case cases[] = {
      {"plain", MakeBMP(65536, 65536, 24, 0, {}, Bytes(4096, 0x55)), BmpReader(), "too short"},
      {"rle8", MakeBMP(65536, 65536, 8, 1, pal, rle), BmpReader(), "too short"},
      {"png icon", PngIcon(65536, 65536, false, 4096), IcoReader(0), "cannot hold"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      PixelLimit limit(kDefaultMaxImagePixels);
      ExpectRefused(ReadOver(c.data, c.read), "pixel limit");
    }
    {
      PixelLimit none(0);
      const Outcome o = ReadOver(c.data, c.read);
      ExpectRefused(o, c.dataReason);
      EXPECT_EQ(o.params.Width, 65536);
      EXPECT_EQ(o.params.Height, 65536);
    }
  }
  // Previews are not limited and say how large the image claims to be.
  PixelLimit limit(kDefaultMaxImagePixels);
  const Outcome o = ReadOver(cases[1].data, BmpReader(true));
  EXPECT_EQ(o.params.Width, 65536);
  EXPECT_EQ(o.params.Height, 65536);
  EXPECT_EQ(o.failure.Reason.find("pixel limit"), std::string::npos) << o.failure.Reason;
}

TEST(HostileSizes, ImagesUpToTheLimitLoadAndOneMorePixelIsRefused) {
  const std::string multi = IconFixtures() + "/multi.ico";
  struct Case {
    std::string file;
    int index;  // -1 for a BMP file
    uint64_t pixels;
  };
  for (const Case& c :
       {Case{Fixtures() + "/b24.bmp", -1, 37 * 23}, Case{Fixtures() + "/c200rle.bmp", -1, 37 * 23},
        Case{multi, 1, 32 * 32}, Case{multi, 2, 256 * 256}}) {
    SCOPED_TRACE(c.file + "[" + std::to_string(c.index) + "]");
    const Bytes data = ReadWholeFile(c.file);
    const Reader read = c.index < 0 ? BmpReader() : IcoReader(c.index);
    const Outcome free = ReadOver(data, read);
    ASSERT_FALSE(free.aborted);
    {
      PixelLimit limit(c.pixels);
      const Outcome o = ReadOver(data, read);
      EXPECT_FALSE(o.aborted) << o.failure.Reason;
      EXPECT_EQ(ToRGB(o.bitmap, &o.params), ToRGB(free.bitmap, &free.params));
    }
    PixelLimit limit(c.pixels - 1);
    ExpectRefused(ReadOver(data, read), "pixel limit");
    // A preview still reads the parameters.
    const Outcome o = ReadOver(data, c.index < 0 ? BmpReader(true) : IcoReader(c.index, true));
    EXPECT_FALSE(o.aborted) << o.failure.Reason;
    EXPECT_EQ(static_cast<uint64_t>(o.params.Width) * o.params.Height, c.pixels);
  }
}

TEST(HostileSizes, RleDataJustifiesAtMost255PixelsPerCode) {
  // One row of 16450 runs of 255 pixels: 32900 bytes paint 4194750 pixels, past the
  // small-image floor. Exactly that many load; one pixel more is refused unread.
  const int runs = 16450, w = runs * 255;
  Bytes rle;
  for (int i = 0; i < runs; ++i) rle.insert(rle.end(), {0xFF, 7});
  std::vector<TRGB> pal(8);
  pal[7] = CreateRGB(10, 20, 30);
  PixelLimit none(0);
  const Outcome full = ReadOver(MakeBMP(w, 1, 8, 1, pal, rle), BmpReader());
  ASSERT_FALSE(full.aborted) << full.failure.Reason;
  ASSERT_EQ(full.bitmap.Width(), w);
  const auto* row = reinterpret_cast<const TRGB*>(full.bitmap.ScanLine(0));
  EXPECT_EQ(row[0], pal[7]);
  EXPECT_EQ(row[w - 1], pal[7]);
  ExpectRefused(ReadOver(MakeBMP(w + 1, 1, 8, 1, pal, rle), BmpReader()), "too short");

  // A real encoder near its best ratio (a flat 3000 x 1500 picture, 112 pixels a
  // byte) is well inside the bound.
  const std::string path = Tmp("flat_rle8.bmp");
  std::system(("convert -size 3000x1500 xc:'#336699' -fill red -draw 'rectangle 0,0 10,10' "
               "-fill lime -draw 'rectangle 20,20 30,30' -type palette -compress RLE BMP3:'" +
               path + "'")
                  .c_str());
  const Bytes flat = ReadWholeFile(path);
  ASSERT_GT(flat.size(), 54u);
  ASSERT_EQ(Get32(flat, 30), 1u);  // RLE8
  ASSERT_GT(3000.0 * 1500 / static_cast<double>(flat.size()), 100.0);
  ExpectMatchesPeer(path);
}

TEST(HostileSizes, FailuresSayWhy) {
  const Bytes good = ReadWholeFile(Fixtures() + "/b24.bmp");
  const Bytes rle = ReadWholeFile(Fixtures() + "/c200rle.bmp");
  const Bytes icons = ReadWholeFile(IconFixtures() + "/multi.ico");
  auto with = [](Bytes b, size_t at, uint32_t v, bool wide = true) {
    if (wide)
      Put32(b, at, v);
    else
      Put16(b, at, v);
    return b;
  };
  Bytes badPng = icons;
  const size_t pngAt = Get32(icons, 6 + 32 + 12);
  badPng[pngAt + 16] ^= 0xFF;  // IHDR width: its CRC no longer matches
  struct Case {
    const char* name;
    Bytes data;
    Reader read;
    const char* why;
  };
  const Case cases[] = {
      {"signature", with(good, 0, 0x4D58, false), BmpReader(), "\"BM\""},
      {"header size", with(good, 14, 5), BmpReader(), "info header size"},
      {"bit count", with(good, 28, 7, false), BmpReader(), "bit count 7"},
      {"zero width", with(good, 18, 0), BmpReader(), "impossible image size"},
      {"pixel offset", with(good, 10, 1u << 30), BmpReader(), "offset"},
      {"cut rows", Bytes(good.begin(), good.end() - 200), BmpReader(), "before the last row"},
      {"cut runs", Bytes(rle.begin(), rle.begin() + static_cast<std::ptrdiff_t>(rle.size() / 2)),
       BmpReader(), "RLE data ends"},
      {"icon index", icons, IcoReader(7), "index 7"},
      {"icon png", badPng, IcoReader(2), "PNG entry"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome o = ReadOver(c.data, c.read);
    EXPECT_TRUE(o.aborted);
    EXPECT_NE(o.failure.Reason.find(c.why), std::string::npos) << "reason: " << o.failure.Reason;
  }
}

// Bytes the heap has handed out and not taken back.
size_t HeapInUse() {
  const struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;
}

// Address space in use by this process, in bytes.
uint64_t AddressSpace() {
  std::ifstream statm("/proc/self/statm");
  uint64_t pages = 0;
  statm >> pages;
  return pages * 4096;
}

// Run in a child process: decodes the icon under an address-space cap and tells
// whether the refusal was clean (0) or not (1).
int DecodeUnderCap(const Bytes& ico) {
  SetMaxImagePixels(0);
  const rlimit cap{AddressSpace() + (uint64_t{1} << 30), RLIM_INFINITY};
  setrlimit(RLIMIT_AS, &cap);
  const size_t before = HeapInUse();
  const Outcome o = ReadOver(ico, IcoReader(0));
  const size_t after = HeapInUse();
  const bool same = o.bitmap.Width() == 5 && ToRGB(o.bitmap) == ToRGB(Photo(5, 4));
  std::fprintf(stderr, "aborted %d, out of memory %d, bitmap kept %d, heap %+td, reason: %s\n",
               o.aborted, o.failure.OutOfMemory, same,
               static_cast<std::ptrdiff_t>(after) - static_cast<std::ptrdiff_t>(before),
               o.failure.Reason.c_str());
  return o.aborted && o.failure.OutOfMemory && same && after < before + 4096 ? 0 : 1;
}

TEST(HostileSizes, PngEntryOutOfMemoryReleasesTheDecoder) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address-space cap does not suit the sanitizer's shadow memory";
#endif
  // 65536 x 32768 and 300 kB of data: within what the data may justify, but the
  // buffers (8 GB for interlaced rows, 6 GB for the bitmap) cannot be had under a cap
  // of 1 GB more address space. The decode must report that, keep the bitmap and give
  // back libpng's structures (over 500 kB at this width).
  for (const bool interlaced : {true, false}) {
    SCOPED_TRACE(interlaced ? "interlaced" : "progressive rows");
    const Bytes ico = PngIcon(65536, 32768, interlaced, 300000);
    EXPECT_EXIT(std::_Exit(DecodeUnderCap(ico)), testing::ExitedWithCode(0),
                "reason: not enough memory");
  }
}

}  // namespace
}  // namespace vx
