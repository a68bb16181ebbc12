// The TIFF codec against libtiff: our reader on the corpus and on files libtiff writes
// in every layout we read, libtiff (and ImageMagick) reading what we write, page
// insertion and deletion as libtiff sees the result, and damaged input.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <tiffio.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "codecs/tiffilt.h"
#include "core/vxdefs.h"
#include "io/ioparams.h"
#include "io/lzwhooks.h"
#include "io/vantixio.h"
#include "platform/bitmap.h"
#include "platform/exceptions.h"
#include "platform/screen.h"
#include "platform/stream.h"
#include "proc/orientation.h"
#include "testsupport.h"

namespace {

using namespace vx;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------
// Helpers

struct ReadResult {
  TBitmap bmp;
  TIOParamsVals params;
  int pages = 0;
  bool aborted = false;
};

void ReadOurs(TStream& s, int index, ReadResult& r, bool preview = false) {
  r.params.TIFF_ImageIndex = index;
  TProgressRec p;
  p.Aborting = &r.aborted;
  TIFFReadStream(&r.bmp, s, r.pages, &r.params, p, preview);
}

void ReadOursFile(const std::string& path, int index, ReadResult& r) {
  TFileStream f(path, fmOpenRead);
  ReadOurs(f, index, r);
}

// Warnings and errors libtiff reports while a test reads a file.
std::vector<std::string>& LibtiffMessages() {
  static std::vector<std::string> messages;
  return messages;
}
void CollectMessage(const char* module, const char* fmt, va_list ap) {
  char buf[512];
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  LibtiffMessages().push_back(std::string(module ? module : "") + ": " + buf);
}
struct CollectLibtiffMessages {
  TIFFErrorHandler oldWarn, oldErr;
  CollectLibtiffMessages() {
    LibtiffMessages().clear();
    oldWarn = TIFFSetWarningHandler(CollectMessage);
    oldErr = TIFFSetErrorHandler(CollectMessage);
  }
  ~CollectLibtiffMessages() {
    TIFFSetWarningHandler(oldWarn);
    TIFFSetErrorHandler(oldErr);
  }
};

struct PeerImage {
  int width = 0, height = 0;
  Bytes rgb;
  std::vector<uint32_t> rgba;  // libtiff's pixels, as it returns them
};

// libtiff's RGBA decode of page `index`, top row first; rgb only when asked for.
bool LibtiffRead(const std::string& path, int index, PeerImage& img, bool wantRGB = true) {
  TIFF* t = TIFFOpen(path.c_str(), "r");
  if (!t) return false;
  bool ok = TIFFSetDirectory(t, static_cast<tdir_t>(index)) == 1;
  uint32_t w = 0, h = 0;
  if (ok) {
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
    img.rgba.assign(static_cast<size_t>(w) * h, 0);
    ok = TIFFReadRGBAImageOriented(t, w, h, img.rgba.data(), ORIENTATION_TOPLEFT, 0) == 1;
    img.width = static_cast<int>(w);
    img.height = static_cast<int>(h);
    img.rgb.clear();
    if (wantRGB) {
      img.rgb.resize(img.rgba.size() * 3);
      for (size_t i = 0; i < img.rgba.size(); ++i) {
        img.rgb[3 * i] = static_cast<uint8_t>(TIFFGetR(img.rgba[i]));
        img.rgb[3 * i + 1] = static_cast<uint8_t>(TIFFGetG(img.rgba[i]));
        img.rgb[3 * i + 2] = static_cast<uint8_t>(TIFFGetB(img.rgba[i]));
      }
    }
  }
  TIFFClose(t);
  return ok;
}

// Largest channel difference between our bitmap and libtiff's RGBA pixels.
int MaxDiffToPeer(const TBitmap& b, const PeerImage& peer) {
  const size_t w = static_cast<size_t>(b.Width());
  int m = 0;
  for (int y = 0; y < b.Height(); ++y) {
    const uint8_t* row = b.ScanLine(y);
    const uint32_t* p = peer.rgba.data() + static_cast<size_t>(y) * w;
    if (b.PixelFormat() == pf1bit) {
      for (size_t x = 0; x < w; ++x) {
        const uint32_t v = (row[x >> 3] >> (7 - (x & 7))) & 1 ? 0xFFFFFFu : 0u;
        if ((p[x] & 0xFFFFFFu) != v) return 255;
      }
    } else {
      for (size_t x = 0; x < w; ++x) {
        m = std::max({m, std::abs(row[3 * x + 2] - static_cast<int>(TIFFGetR(p[x]))),
                      std::abs(row[3 * x + 1] - static_cast<int>(TIFFGetG(p[x]))),
                      std::abs(row[3 * x] - static_cast<int>(TIFFGetB(p[x])))});
      }
    }
  }
  return m;
}

int LibtiffPages(const std::string& path) {
  TIFF* t = TIFFOpen(path.c_str(), "r");
  if (!t) return -1;
  const int n = TIFFNumberOfDirectories(t);
  TIFFClose(t);
  return n;
}

// Largest difference of one channel; -1 when the sizes differ.
int MaxDiff(const Bytes& a, const Bytes& b) {
  if (a.size() != b.size()) return -1;
  int m = 0;
  for (size_t i = 0; i < a.size(); ++i) m = std::max(m, std::abs(a[i] - b[i]));
  return m;
}

std::string Temp(const std::string& name) {
  return vxtest::TempDir() + "/" + name;
}

bool Shell(const std::string& cmd) {
  return vxtest::CommandSucceeds(cmd);
}

bool HaveTool(const char* tool) {
  return Shell(std::string("command -v ") + tool);
}

Bytes FileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}
void SaveBytes(const std::string& path, const Bytes& b) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// A picture with gradients, edges and flat areas.
void MakePicture(TBitmap& b, int w, int h, int seed = 0) {
  SizeBitmap(b, w, h, pf24bit);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      const bool flat = (x / 16 + y / 16) % 3 == 0;
      row[3 * x] = flat ? 200 : static_cast<uint8_t>(x * 7 + seed);
      row[3 * x + 1] = flat ? 30 : static_cast<uint8_t>(y * 5 + x);
      row[3 * x + 2] = flat ? 90 : static_cast<uint8_t>((x ^ y) + seed * 3);
    }
  }
}

void MakeBilevel(TBitmap& b, int w, int h) {
  SizeBitmap(b, w, h, pf1bit);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      const int dx = x - w / 2, dy = y - h / 2;
      SetPixelbw(row, x, (dx * dx + dy * dy) % 97 > 30 || (x % 13 == 0));
    }
  }
}

// Writes our TIFF of bitmap with the given settings to a file; returns the pages.
int WriteOurs(const std::string& path, TBitmap& bmp, TIOTIFFCompression c, bool bilevel,
              bool insert = false, int index = 0, bool cmyk = false) {
  TIOParamsVals params;
  params.TIFF_Compression = c;
  params.BitsPerSample = bilevel ? 1 : 8;
  params.SamplesPerPixel = bilevel ? 1 : 3;
  params.TIFF_ImageIndex = index;
  if (cmyk) params.TIFF_PhotometInterpret = ioTIFF_CMYK;
  bool abort = false;
  TProgressRec p;
  p.Aborting = &abort;
  int n = 0;
  if (insert) {
    TFileStream f(path, fmOpenReadWrite);
    n = TIFFWriteStream(f, true, bmp, params, p);
  } else {
    TFileStream f(path, fmCreate);
    n = TIFFWriteStream(f, false, bmp, params, p);
  }
  return abort ? -1 : n;
}

// ---------------------------------------------------------------------------------
// Reading the corpus

// Corpus files in a layout we do not decode: they must end in Aborting.
const char* const kUncovered[] = {
    "logluv-3c-16b.tiff",                       // SGI LogLuv
    "ojpeg_chewey_subsamp21_multi_strip.tiff",  // old-style JPEG
    "ojpeg_single_strip_no_rowsperstrip.tiff",
    "ojpeg_zackthecat_subsamp22_single_strip.tiff",
    "test_float64_predictor2_be_lzw.tif",  // floating-point samples
    "test_float64_predictor2_le_lzw.tif",
};

bool IsUncovered(const std::string& path) {
  const std::string name = fs::path(path).filename().string();
  for (const char* u : kUncovered)
    if (name == u) return true;
  return false;
}

TEST(TiffRead, CorpusMatchesLibtiffPageByPage) {
  const auto files = vxtest::CorpusFiles("tiff", {".tif", ".tiff"});
  ASSERT_FALSE(files.empty());
  int compared = 0;
  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    if (IsUncovered(path)) {
      ReadResult r;
      ReadOursFile(path, 0, r);
      EXPECT_TRUE(r.aborted);
      continue;
    }
    const int peerPages = LibtiffPages(path);
    ReadResult first;
    ReadOursFile(path, 0, first);
    EXPECT_EQ(first.pages, peerPages);
    for (int page = 0; page < first.pages; ++page) {
      SCOPED_TRACE("page " + std::to_string(page));
      ReadResult r;
      ReadOursFile(path, page, r);
      PeerImage peer;
      ASSERT_TRUE(LibtiffRead(path, page, peer, false));
      ASSERT_FALSE(r.aborted);
      ASSERT_EQ(r.bmp.Width(), peer.width);
      ASSERT_EQ(r.bmp.Height(), peer.height);
      // libtiff scales 16-bit samples with rounding, we take the high byte.
      const int tolerance = r.params.BitsPerSample == 16 ? 1 : 0;
      EXPECT_LE(MaxDiffToPeer(r.bmp, peer), tolerance);
      ++compared;
    }
  }
  EXPECT_GE(compared, 14);
}

// Reads a binary PNM (P4, P5, P6, 8- or 16-bit) as RGB.
bool ReadPnm(const std::string& path, PeerImage& img) {
  const Bytes f = FileBytes(path);
  size_t pos = 0;
  auto token = [&]() {
    while (pos < f.size() && (isspace(f[pos]) || f[pos] == '#')) {
      if (f[pos] == '#')
        while (pos < f.size() && f[pos] != '\n') ++pos;
      else
        ++pos;
    }
    std::string t;
    while (pos < f.size() && !isspace(f[pos])) t += static_cast<char>(f[pos++]);
    return t;
  };
  const std::string magic = token();
  img.width = std::stoi(token());
  img.height = std::stoi(token());
  const int maxval = magic == "P4" ? 1 : std::stoi(token());
  ++pos;
  const size_t n = static_cast<size_t>(img.width) * img.height;
  img.rgb.clear();
  if (magic == "P4") {
    const size_t rowBytes = (img.width + 7) / 8;
    for (int y = 0; y < img.height; ++y)
      for (int x = 0; x < img.width; ++x) {
        const bool black = (f[pos + y * rowBytes + x / 8] >> (7 - x % 8)) & 1;
        const uint8_t v = black ? 0 : 255;
        img.rgb.insert(img.rgb.end(), {v, v, v});
      }
    return true;
  }
  const int channels = magic == "P6" ? 3 : 1;
  const int bytes = maxval > 255 ? 2 : 1;
  for (size_t i = 0; i < n; ++i)
    for (int c = 0; c < 3; ++c) {
      const size_t at = pos + (i * channels + (channels == 3 ? c : 0)) * bytes;
      img.rgb.push_back(f[at]);  // high byte of 16-bit samples
    }
  return true;
}

TEST(TiffRead, CorpusMatchesPnmReferences) {
  const std::pair<const char*, const char*> cases[] = {
      {"minisblack-1c-8b.tiff", "minisblack-1c-8b.pgm"},
      {"miniswhite-1c-1b.tiff", "miniswhite-1c-1b.pbm"},
      {"rgb-3c-8b.tiff", "rgb-3c-8b.ppm"},
      {"rgb-3c-16b.tiff", "rgb-3c-16b.ppm"},
  };
  for (const auto& [tif, ref] : cases) {
    SCOPED_TRACE(tif);
    ReadResult r;
    ReadOursFile(vxtest::CorpusPath(std::string("tiff/") + tif), 0, r);
    PeerImage peer;
    ASSERT_TRUE(ReadPnm(vxtest::CorpusPath(std::string("tiff/") + ref), peer));
    ASSERT_FALSE(r.aborted);
    EXPECT_EQ(MaxDiff(vxtest::BitmapRGB(r.bmp), peer.rgb), 0);
  }
}

TEST(TiffRead, LoopingChainsCountTheirPagesAndStop) {
  const std::pair<const char*, int> cases[] = {
      {"test_ifd_loop_to_self.tif", 1},
      {"test_ifd_loop_to_first.tif", 2},
      {"test_two_ifds.tif", 2},
  };
  for (const auto& [name, pages] : cases) {
    SCOPED_TRACE(name);
    TFileStream f(vxtest::CorpusPath(std::string("tiff/") + name), fmOpenRead);
    EXPECT_EQ(EnumTIFFImStream(f), pages);
    // A page index past the end leaves bitmap and parameters alone, without failing.
    ReadResult r;
    SizeBitmap(r.bmp, 3, 2, pf24bit);
    r.params.Width = 1234;
    f.SetPosition(0);
    ReadOurs(f, pages, r);
    EXPECT_EQ(r.pages, pages);
    EXPECT_FALSE(r.aborted);
    EXPECT_EQ(r.bmp.Width(), 3);
    EXPECT_EQ(r.params.Width, 1234);
  }
}

// ---------------------------------------------------------------------------------
// Variants made by tiffcp read the same as the original

TEST(TiffRead, TiffcpVariantsReadTheSame) {
  if (!HaveTool("tiffcp")) GTEST_SKIP() << "tiffcp not installed";
  struct Case {
    const char* source;
    const char* options;
  };
  const Case cases[] = {
      {"rgb-3c-8b.tiff", "-B"},
      {"rgb-3c-8b.tiff", "-L"},
      {"rgb-3c-16b.tiff", "-B"},
      {"minisblack-1c-16b.tiff", "-B -c lzw:2"},
      {"rgb-3c-8b.tiff", "-c packbits"},
      {"rgb-3c-8b.tiff", "-c lzw"},
      {"rgb-3c-8b.tiff", "-B -c lzw:2"},
      {"rgb-3c-8b.tiff", "-c zip"},
      {"rgb-3c-8b.tiff", "-c zip:2 -r 7"},
      {"rgb-3c-8b.tiff", "-c lzw:2 -t -w 32 -l 48"},
      {"rgb-3c-8b.tiff", "-c zip -p separate"},
      {"rgb-3c-8b.tiff", "-c packbits -p separate -t -w 64 -l 16"},
      {"palette-1c-4b.tiff", "-c lzw -t -w 16 -l 16"},
      {"minisblack-1c-8b.tiff", "-c zip:2 -t -w 16 -l 32"},
      {"minisblack-1c-8b.tiff", "-f lsb2msb -c packbits"},
      {"miniswhite-1c-1b.tiff", "-c g3"},
      {"miniswhite-1c-1b.tiff", "-c g3:2d -r 10"},
      {"miniswhite-1c-1b.tiff", "-c g3:2d:fill"},
      {"miniswhite-1c-1b.tiff", "-c g4 -B"},
      {"miniswhite-1c-1b.tiff", "-c g4 -f lsb2msb"},
      {"miniswhite-1c-1b.tiff", "-c g4 -t -w 64 -l 64"},
      {"miniswhite-1c-1b.tiff", "-c lzw -r 9"},
      {"testfax4.tiff", "-c g3:2d"},
  };
  int i = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " " + c.options);
    const std::string src = vxtest::CorpusPath(std::string("tiff/") + c.source);
    const std::string out = Temp("variant" + std::to_string(i++) + ".tif");
    ASSERT_TRUE(Shell(std::string("tiffcp ") + c.options + " " + src + " " + out));
    ReadResult orig, variant;
    ReadOursFile(src, 0, orig);
    ReadOursFile(out, 0, variant);
    ASSERT_FALSE(orig.aborted);
    ASSERT_FALSE(variant.aborted);
    EXPECT_EQ(vxtest::BitmapRGB(orig.bmp), vxtest::BitmapRGB(variant.bmp));
    PeerImage peer;
    ASSERT_TRUE(LibtiffRead(out, 0, peer));
    const int tolerance = variant.params.BitsPerSample == 16 ? 1 : 0;
    const int diff = MaxDiff(vxtest::BitmapRGB(variant.bmp), peer.rgb);
    EXPECT_TRUE(diff >= 0 && diff <= tolerance) << diff;
  }
}

// ---------------------------------------------------------------------------------
// Layouts libtiff writes for us: CMYK, L*a*b*, 4-bit grey, 16-bit grey

struct PeerLayout {
  uint16_t photometric, spp, bps, compression = COMPRESSION_NONE, planar = PLANARCONFIG_CONTIG;
  const char* software = nullptr;
  std::vector<uint16_t> extraSamples = {};  // ExtraSamples values, when any
  uint16_t sampleFormat = SAMPLEFORMAT_UINT;
  uint16_t orientation = 0;  // 0: no Orientation tag
};

// The colour map palette pages get: every entry a different colour.
std::vector<uint16_t> PeerColorMap(int bps) {
  const int n = 1 << bps;
  std::vector<uint16_t> map(static_cast<size_t>(3 * n));
  for (int i = 0; i < n; ++i) {
    map[static_cast<size_t>(i)] = static_cast<uint16_t>((i * 255 / (n - 1)) * 257);
    map[static_cast<size_t>(n + i)] = static_cast<uint16_t>((255 - i * 255 / (n - 1)) * 257);
    map[static_cast<size_t>(2 * n + i)] = static_cast<uint16_t>(((i * 37) & 255) * 257);
  }
  return map;
}

// Writes samples (already in the layout's order, contiguous rows) with libtiff.
void LibtiffWrite(const std::string& path, const PeerLayout& l, int w, int h, const Bytes& data) {
  TIFF* t = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(t, nullptr);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, l.spp);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, l.bps);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, l.photometric);
  TIFFSetField(t, TIFFTAG_COMPRESSION, l.compression);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, l.planar);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 3);
  if (l.software) TIFFSetField(t, TIFFTAG_SOFTWARE, l.software);
  if (!l.extraSamples.empty())
    TIFFSetField(t, TIFFTAG_EXTRASAMPLES, static_cast<uint16_t>(l.extraSamples.size()),
                 l.extraSamples.data());
  if (l.sampleFormat != SAMPLEFORMAT_UINT) TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, l.sampleFormat);
  if (l.orientation) TIFFSetField(t, TIFFTAG_ORIENTATION, l.orientation);
  const std::vector<uint16_t> map = PeerColorMap(l.bps <= 8 ? l.bps : 8);
  const size_t n = size_t{1} << (l.bps <= 8 ? l.bps : 8);
  if (l.photometric == PHOTOMETRIC_PALETTE)
    TIFFSetField(t, TIFFTAG_COLORMAP, map.data(), map.data() + n, map.data() + 2 * n);
  const size_t rowBytes = (static_cast<size_t>(w) * l.spp * l.bps + 7) / 8;
  for (int y = 0; y < h; ++y)
    TIFFWriteScanline(t, const_cast<uint8_t*>(data.data() + y * rowBytes), static_cast<uint32_t>(y),
                      0);
  TIFFClose(t);
}

TEST(TiffRead, CmykMatchesLibtiff) {
  const int w = 23, h = 9;
  Bytes data;
  for (int i = 0; i < w * h; ++i)
    data.insert(data.end(), {static_cast<uint8_t>(i * 7), static_cast<uint8_t>(i * 13),
                             static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 3)});
  const std::string path = Temp("cmyk.tif");
  LibtiffWrite(path, {PHOTOMETRIC_SEPARATED, 4, 8, COMPRESSION_LZW}, w, h, data);
  ReadResult r;
  ReadOursFile(path, 0, r);
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.params.TIFF_PhotometInterpret, ioTIFF_CMYK);
  PeerImage peer;
  ASSERT_TRUE(LibtiffRead(path, 0, peer));
  EXPECT_EQ(MaxDiff(vxtest::BitmapRGB(r.bmp), peer.rgb), 0);
}

TEST(TiffRead, GreyLevelsOfFourAndSixteenBits) {
  // 4 bits, odd width: values 0, 16, ... 240.
  {
    const int w = 17, h = 2;
    Bytes data(static_cast<size_t>((w + 1) / 2) * h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        data[y * 9 + x / 2] |= static_cast<uint8_t>((x % 16) << (x % 2 ? 0 : 4));
    const std::string path = Temp("grey4.tif");
    LibtiffWrite(path, {PHOTOMETRIC_MINISBLACK, 1, 4}, w, h, data);
    ReadResult r;
    ReadOursFile(path, 0, r);
    ASSERT_FALSE(r.aborted);
    for (int x = 0; x < w; ++x) EXPECT_EQ(r.bmp.ScanLine(1)[3 * x], (x % 16) * 16) << x;
  }
  // 16 bits: a shift of 8, or of 4 for files from Look@Molli v1.1.
  for (const char* software : {"other", "Look@Molli v1.1 build 7"}) {
    SCOPED_TRACE(software);
    const int w = 4, h = 1;
    const uint16_t values[4] = {0x0010, 0x0ABC, 0x0FFF, 0x1234};
    Bytes data(8);
    std::memcpy(data.data(), values, 8);  // host (little-endian) order, as libtiff writes
    const std::string path = Temp("grey16.tif");
    LibtiffWrite(path,
                 {PHOTOMETRIC_MINISBLACK, 1, 16, COMPRESSION_NONE, PLANARCONFIG_CONTIG, software},
                 w, h, data);
    ReadResult r;
    ReadOursFile(path, 0, r);
    ASSERT_FALSE(r.aborted);
    const int shift = software[0] == 'L' ? 4 : 8;
    for (int x = 0; x < w; ++x)
      EXPECT_EQ(r.bmp.ScanLine(0)[3 * x], std::min(values[x] >> shift, 255)) << x;
  }
}

TEST(TiffRead, CieLabExtremes) {
  // L*a*b* black, white and a saturated red.
  const Bytes data = {0, 0, 0, 255, 0, 0, 128, 100, 60};
  const std::string path = Temp("lab.tif");
  LibtiffWrite(path, {PHOTOMETRIC_CIELAB, 3, 8}, 3, 1, data);
  ReadResult r;
  ReadOursFile(path, 0, r);
  ASSERT_FALSE(r.aborted);
  const Bytes rgb = vxtest::BitmapRGB(r.bmp);
  EXPECT_LE(std::max({rgb[0], rgb[1], rgb[2]}), 10);
  EXPECT_GE(std::min({rgb[3], rgb[4], rgb[5]}), 240);
  EXPECT_GT(rgb[6], 200);
  EXPECT_LT(rgb[7], 100);
}

// ---------------------------------------------------------------------------------
// Parameters, preview, hooks

TEST(TiffRead, PreviewFillsParametersOnly) {
  ReadResult r;
  SizeBitmap(r.bmp, 5, 5, pf24bit);
  TFileStream f(vxtest::CorpusPath("tiff/palette-1c-8b.tiff"), fmOpenRead);
  ReadOurs(f, 0, r, true);
  EXPECT_FALSE(r.aborted);
  EXPECT_EQ(r.bmp.Width(), 5);
  EXPECT_EQ(r.params.Width, 157);
  EXPECT_EQ(r.params.Height, 151);
  EXPECT_EQ(r.params.BitsPerSample, 8);
  EXPECT_EQ(r.params.TIFF_PhotometInterpret, ioTIFF_RGBPALETTE);
  EXPECT_EQ(r.params.ColorMapCount, 256);
}

TEST(TiffRead, LzwWithoutDecoderAborts) {
  const TTIFFLZWDecompFunc saved = DefTIFF_LZWDECOMPFUNC;
  DefTIFF_LZWDECOMPFUNC = nullptr;
  ReadResult r;
  r.params.TIFF_LZWDecompress = nullptr;
  TFileStream f(vxtest::CorpusPath("tiff/quad-lzw-compat.tiff"), fmOpenRead);
  ReadOurs(f, 0, r);
  DefTIFF_LZWDECOMPFUNC = saved;
  EXPECT_TRUE(r.aborted);
  EXPECT_EQ(r.params.TIFF_Compression, ioTIFF_LZW);
  EXPECT_EQ(r.params.Width, 512);
}

// ---------------------------------------------------------------------------------
// Damaged input

void PutLE32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutLE16(Bytes& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

// A small little-endian grey file we write ourselves, with the position of each entry.
Bytes SmallGreyFile(size_t& ifd) {
  TBitmap b;
  MakePicture(b, 40, 30);
  TIOParamsVals params;
  params.BitsPerSample = 8;
  TMemoryStream s;
  TIFFWriteStream(s, false, b, params, ResetNullpr());
  Bytes bytes = s.Data();
  ifd = bytes[4] | (bytes[5] << 8) | (bytes[6] << 16) | (static_cast<size_t>(bytes[7]) << 24);
  return bytes;
}

size_t EntryPos(const Bytes& b, size_t ifd, uint16_t tag) {
  const size_t n = b[ifd] | (b[ifd + 1] << 8);
  for (size_t i = 0; i < n; ++i) {
    const size_t at = ifd + 2 + 12 * i;
    if ((b[at] | (b[at + 1] << 8)) == tag) return at;
  }
  return 0;
}

TEST(TiffRead, DamagedFilesAbortWithoutReadingPastTheData) {
  size_t ifd = 0;
  const Bytes good = SmallGreyFile(ifd);
  struct Case {
    const char* what;
    void (*damage)(Bytes&, size_t);
    bool refusedBeforeSizing = false;  // the bitmap is not touched
  };
  const Case cases[] = {
      {"first IFD beyond the end", [](Bytes& b, size_t) { PutLE32(b, 4, 0x7FFFFFF0); }},
      {"entry count beyond the end", [](Bytes& b, size_t d) { PutLE16(b, d, 0xFFFF); }},
      {"strip offset beyond the end",
       [](Bytes& b, size_t d) { PutLE32(b, EntryPos(b, d, 273) + 8, 0x10000000); }},
      {"strip byte count beyond the end",
       [](Bytes& b, size_t d) { PutLE32(b, EntryPos(b, d, 279) + 8, 0x10000000); }},
      {"huge image, tiny data",
       [](Bytes& b, size_t d) {
         PutLE32(b, EntryPos(b, d, 256) + 8, 1000000);
         PutLE32(b, EntryPos(b, d, 257) + 8, 1000000);
       }},
      {"strip count beyond the data",
       [](Bytes& b, size_t d) {
         PutLE32(b, EntryPos(b, d, 273) + 4, 0x40000000);
         PutLE32(b, EntryPos(b, d, 278) + 8, 1);
       }},
      {"bits per sample that differ",
       [](Bytes& b, size_t d) {
         const size_t e = EntryPos(b, d, 258) + 8;
         b[(b[e] | (b[e + 1] << 8)) + 2] = 16;  // 8, 16, 8
       }},
      {"samples per pixel far beyond the data",
       [](Bytes& b, size_t d) {
         const size_t e = EntryPos(b, d, 277);
         PutLE16(b, e + 2, 4);  // LONG
         PutLE32(b, e + 8, 0x40000000);
       },
       true},
      {"not a TIFF", [](Bytes& b, size_t) { b[0] = 'X'; }},
      {"cut in the middle of the strip", [](Bytes& b, size_t) { b.resize(b.size() / 4); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes bad = good;
    c.damage(bad, ifd);
    TMemoryStream s(bad);
    ReadResult r;
    ReadOurs(s, 0, r);
    EXPECT_TRUE(r.aborted);
    if (c.refusedBeforeSizing) {
      EXPECT_TRUE(r.bmp.Empty());
    }
  }
  // The undamaged file reads.
  TMemoryStream s(good);
  ReadResult r;
  ReadOurs(s, 0, r);
  EXPECT_FALSE(r.aborted);
}

TEST(TiffRead, ResolutionBelowOneGivesTheScreenResolution) {
  size_t ifd = 0;
  const Bytes good = SmallGreyFile(ifd);
  struct Case {
    uint16_t type;  // of XResolution
    uint32_t numerator;
    int expected;  // 0: the screen resolution
  };
  const Case cases[] = {
      {10, static_cast<uint32_t>(-300), 0},  // SRATIONAL, negative
      {5, 0, 0},
      {5, 300, 300},
      {10, 150, 150},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.numerator);
    Bytes b = good;
    const size_t e = EntryPos(b, ifd, 282);
    PutLE16(b, e + 2, c.type);
    const size_t at = b[e + 8] | (b[e + 9] << 8) | (b[e + 10] << 16);
    PutLE32(b, at, c.numerator);
    PutLE32(b, at + 4, 1);
    TMemoryStream s(b);
    ReadResult r;
    ReadOurs(s, 0, r, true);
    ASSERT_FALSE(r.aborted);
    EXPECT_EQ(r.params.DpiX, c.expected ? c.expected : gSystemDPIX);
  }
}

// A stream over a file's bytes whose reads fail with an exception from a given offset on,
// as an application's stream over a network or a database may.
class FailingReadStream : public TStream {
 public:
  FailingReadStream(Bytes data, int64_t failFrom) : ms_(std::move(data)), failFrom_(failFrom) {}
  int64_t Read(void* buffer, int64_t count) override {
    if (ms_.Position() + count > failFrom_) throw EReadError("device gone");
    return ms_.Read(buffer, count);
  }
  int64_t Write(const void* buffer, int64_t count) override { return ms_.Write(buffer, count); }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override { return ms_.Seek(offset, origin); }
  int64_t Size() override { return ms_.Size(); }

 private:
  TMemoryStream ms_;
  int64_t failFrom_;
};

TEST(TiffRead, StreamThatThrowsAbortsInsteadOfRaising) {
  size_t ifd = 0;
  const Bytes good = SmallGreyFile(ifd);
  const size_t strip =
      good[EntryPos(good, ifd, 273) + 8] | (good[EntryPos(good, ifd, 273) + 9] << 8);
  // Failing in the header, in the directory, and in the strip's pixels.
  for (const int64_t failFrom :
       {int64_t{4}, static_cast<int64_t>(ifd) + 6, static_cast<int64_t>(strip) + 100}) {
    SCOPED_TRACE(failFrom);
    FailingReadStream s(good, failFrom);
    ReadResult r;
    EXPECT_NO_THROW(ReadOurs(s, 0, r));
    EXPECT_TRUE(r.aborted);
  }
  FailingReadStream whole(good, static_cast<int64_t>(good.size()));
  EXPECT_NO_THROW(EXPECT_EQ(EnumTIFFImStream(whole), 1));
}

TEST(TiffRead, RunningOutOfMemoryIsReportedAsSuchAndTheComponentKeepsItsImage) {
  size_t ifd = 0;
  const Bytes good = SmallGreyFile(ifd);
  const size_t strip =
      good[EntryPos(good, ifd, 273) + 8] | (good[EntryPos(good, ifd, 273) + 9] << 8);
  // A stream that cannot allocate what it reads into when a read takes in byte `at`:
  // here the strip's, read after the directory and the sizing of the page.
  class OutOfMemoryStream : public TMemoryStream {
   public:
    OutOfMemoryStream(Bytes data, int64_t at) : TMemoryStream(std::move(data)), at_(at) {}
    int64_t Read(void* buffer, int64_t count) override {
      const int64_t pos = Position();
      if (pos <= at_ && pos + count > at_) throw std::bad_alloc();
      return TMemoryStream::Read(buffer, count);
    }

   private:
    int64_t at_;
  };
  {
    OutOfMemoryStream s(good, static_cast<int64_t>(strip) + 100);
    ReadResult r;
    TFailure failure;
    TProgressRec p;
    p.Aborting = &r.aborted;
    p.Failure = &failure;
    EXPECT_NO_THROW(TIFFReadStream(&r.bmp, s, r.pages, &r.params, p, false));
    EXPECT_TRUE(r.aborted);
    EXPECT_TRUE(failure.OutOfMemory);
    EXPECT_NE(failure.Reason.find("not enough memory"), std::string::npos) << failure.Reason;
  }
  TBitmap picture;
  MakePicture(picture, 7, 5);
  const Bytes before = vxtest::BitmapRGB(picture);
  TVantixIO io;
  io.SetAttachedBitmap(&picture);
  OutOfMemoryStream s(good, static_cast<int64_t>(strip) + 100);
  io.LoadFromStreamTIFF(s);
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(vxtest::BitmapRGB(picture), before) << "the half-read page is not adopted";
}

// ---------------------------------------------------------------------------------
// Sizes the limit or the data cannot back

// Sets the pixel limit for one scope and puts the previous one back.
struct PixelLimit {
  uint64_t saved = MaxImagePixels();
  explicit PixelLimit(uint64_t pixels) { SetMaxImagePixels(pixels); }
  ~PixelLimit() { SetMaxImagePixels(saved); }
  PixelLimit(const PixelLimit&) = delete;
  PixelLimit& operator=(const PixelLimit&) = delete;
};

// Makes entry `tag` a LONG holding v.
void SetLong(Bytes& b, size_t ifd, uint16_t tag, uint32_t v) {
  const size_t e = EntryPos(b, ifd, tag);
  ASSERT_NE(e, 0u) << tag;
  PutLE16(b, e + 2, 4);
  PutLE32(b, e + 4, 1);
  PutLE32(b, e + 8, v);
}

uint32_t ReadLE32(const Bytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

size_t FirstIfd(const Bytes& b) {
  return ReadLE32(b, 4);
}

struct Outcome {
  bool aborted = false;
  TFailure failure;
  TBitmap bitmap;
  bool untouched = false;  // the bitmap still holds the picture it held before
};

// Reads page 0 into a bitmap that holds a small picture.
Outcome ReadOverPicture(const Bytes& file) {
  Outcome out;
  MakePicture(out.bitmap, 6, 4);
  const Bytes before = vxtest::BitmapRGB(out.bitmap);
  TMemoryStream s(file);
  TIOParamsVals params;
  TProgressRec p;
  p.Aborting = &out.aborted;
  p.Failure = &out.failure;
  int pages = 0;
  TIFFReadStream(&out.bitmap, s, pages, &params, p, false);
  out.untouched = out.bitmap.Width() == 6 && out.bitmap.Height() == 4 &&
                  out.bitmap.PixelFormat() == pf24bit && vxtest::BitmapRGB(out.bitmap) == before;
  return out;
}

bool Has(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

TEST(TiffRead, ClaimedSizeBeyondTheLimitOrTheDataIsRefusedBeforeAllocating) {
  size_t ifd = 0;
  Bytes huge = SmallGreyFile(ifd);
  SetLong(huge, ifd, 256, 100000);
  SetLong(huge, ifd, 257, 100000);
  SetLong(huge, ifd, 278, 100000);
  {
    const Outcome r = ReadOverPicture(huge);
    EXPECT_TRUE(r.aborted);
    EXPECT_TRUE(Has(r.failure.Reason, "pixel limit")) << r.failure.Reason;
    EXPECT_TRUE(r.untouched);
  }
  {
    PixelLimit none(0);
    const Outcome r = ReadOverPicture(huge);
    EXPECT_TRUE(r.aborted);
    EXPECT_TRUE(Has(r.failure.Reason, "bytes of data can hold")) << r.failure.Reason;
    EXPECT_FALSE(r.failure.OutOfMemory);
    EXPECT_TRUE(r.untouched);
  }
  {
    // A preview allocates nothing and tells the size as it is.
    TMemoryStream s(huge);
    ReadResult r;
    ReadOurs(s, 0, r, true);
    EXPECT_FALSE(r.aborted);
    EXPECT_EQ(r.params.Width, 100000);
    EXPECT_EQ(r.params.Height, 100000);
  }
  {
    // Extra samples count too: 1000 x 1000 RGB pixels of 200 samples each are within a
    // limit of 1M pixels but not within its 4M samples.
    PixelLimit small(1000000);
    Bytes many = SmallGreyFile(ifd);
    PutLE16(many, EntryPos(many, ifd, 277) + 8, 200);
    PutLE16(many, EntryPos(many, ifd, 262) + 8, 2);
    SetLong(many, ifd, 256, 1000);
    SetLong(many, ifd, 257, 1000);
    SetLong(many, ifd, 278, 1000);
    const Outcome r = ReadOverPicture(many);
    EXPECT_TRUE(r.aborted);
    EXPECT_TRUE(Has(r.failure.Reason, "samples each exceed the pixel limit")) << r.failure.Reason;
    EXPECT_TRUE(r.untouched);
  }
  EXPECT_EQ(MaxImagePixels(), kDefaultMaxImagePixels);
}

TEST(TiffRead, DensestDataOfEachCompressionLoadsWhileLessDataIsRefused) {
  // One-colour pages just over the size read whatever the data, in one strip, written by
  // libtiff as densely as it codes: each must load. The same page with its strip's byte
  // count cut `cut` times holds less than the page needs and must be refused before
  // anything is sized. The cuts are small where the bound is close to what libtiff
  // reaches; Group 3 rows cost libtiff EOL codes and one-dimensional rows, which the bound
  // (a bit a row) cannot count on.
  // The pixel limit is lifted: a one-bit page over that size is over the limit as well.
  PixelLimit none(0);
  struct Case {
    const char* what;
    uint16_t compression;
    uint32_t g3Options;
    bool bilevel;
    uint32_t cut;
  };
  const Case cases[] = {
      {"none", COMPRESSION_NONE, 0, false, 2},
      {"PackBits", COMPRESSION_PACKBITS, 0, false, 2},
      {"LZW", COMPRESSION_LZW, 0, false, 3},
      {"Deflate", COMPRESSION_ADOBE_DEFLATE, 0, false, 2},
      {"Group 3 one-dimensional", COMPRESSION_CCITTFAX3, 0, true, 40},
      {"Group 3 two-dimensional", COMPRESSION_CCITTFAX3, GROUP3OPT_2DENCODING, true, 80},
      {"Group 4", COMPRESSION_CCITTFAX4, 0, true, 2},
      // libtiff's standard Huffman tables spend about 20 bits on three blocks of flat
      // colour, where the bound (any tables, any sampling) counts one bit a block.
      {"JPEG", COMPRESSION_JPEG, 0, false, 25},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const uint32_t w = c.bilevel ? 16384 : 3400, h = c.bilevel ? 16500 : 3400;
    const std::string path = Temp("dense.tif");
    {
      TIFF* t = TIFFOpen(path.c_str(), "w");
      ASSERT_NE(t, nullptr);
      TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
      TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
      TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, c.bilevel ? 1 : 3);
      TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, c.bilevel ? 1 : 8);
      TIFFSetField(t, TIFFTAG_PHOTOMETRIC, c.bilevel ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_RGB);
      TIFFSetField(t, TIFFTAG_COMPRESSION, c.compression);
      if (c.compression == COMPRESSION_ADOBE_DEFLATE) TIFFSetField(t, TIFFTAG_ZIPQUALITY, 9);
      if (c.compression == COMPRESSION_CCITTFAX3)
        TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, c.g3Options);
      TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
      TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, h);
      Bytes row(c.bilevel ? w / 8 : 3 * w, 0);
      // Grey: every byte the same, which the byte-oriented coders take furthest.
      if (!c.bilevel) std::fill(row.begin(), row.end(), uint8_t{90});
      for (uint32_t y = 0; y < h; ++y) ASSERT_EQ(TIFFWriteScanline(t, row.data(), y, 0), 1);
      TIFFClose(t);
    }
    const Bytes file = FileBytes(path);
    {
      const Outcome loaded = ReadOverPicture(file);
      ASSERT_FALSE(loaded.aborted) << loaded.failure.Reason;
      const TBitmap& b = loaded.bitmap;
      ASSERT_EQ(b.Width(), static_cast<int>(w));
      ASSERT_EQ(b.Height(), static_cast<int>(h));
      const size_t rowLen = c.bilevel ? w / 8 : 3 * w;
      const Bytes first(b.ScanLine(0), b.ScanLine(0) + rowLen);
      EXPECT_EQ(first[0], c.bilevel ? 0xFF : 90);  // white, or the grey
      for (uint32_t y = 1; y < h; y += 97)
        ASSERT_TRUE(std::equal(first.begin(), first.end(), b.ScanLine(static_cast<int>(y))));
    }
    Bytes bomb = file;
    const size_t ifd = FirstIfd(bomb);
    const size_t counts = EntryPos(bomb, ifd, 279);
    const uint32_t count = bomb[counts + 2] == 3 ? (bomb[counts + 8] | (bomb[counts + 9] << 8))
                                                 : ReadLE32(bomb, counts + 8);
    SetLong(bomb, ifd, 279, count / c.cut);
    const Outcome r = ReadOverPicture(bomb);
    EXPECT_TRUE(r.aborted);
    EXPECT_TRUE(Has(r.failure.Reason, "bytes of data can hold")) << r.failure.Reason;
    EXPECT_TRUE(r.untouched);
  }
}

// ---------------------------------------------------------------------------------
// Alpha and extra samples, 2-bit and signed grey, JPEG, orientation: against libtiff

// Sample `index` of every pixel of page 0 (strips of 8- or 16-bit samples), as libtiff
// decodes it; contiguous or separate planes.
bool LibtiffSamples(const std::string& path, int index, std::vector<uint32_t>& out) {
  TIFF* t = TIFFOpen(path.c_str(), "r");
  if (!t) return false;
  uint32_t w = 0, h = 0;
  uint16_t spp = 1, bps = 8, planar = PLANARCONFIG_CONTIG;
  TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
  TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bps);
  TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
  const bool separate = planar == PLANARCONFIG_SEPARATE;
  Bytes row(static_cast<size_t>(TIFFScanlineSize(t)));
  const size_t bytes = bps / 8u, step = separate ? 1 : spp;
  const size_t first = separate ? 0 : static_cast<size_t>(index);
  out.clear();
  bool ok = true;
  for (uint32_t y = 0; y < h && ok; ++y) {
    ok = TIFFReadScanline(t, row.data(), y, static_cast<uint16_t>(separate ? index : 0)) == 1;
    for (uint32_t x = 0; x < w && ok; ++x) {
      const uint8_t* p = row.data() + (x * step + first) * bytes;
      uint16_t v16 = p[0];
      if (bytes == 2) std::memcpy(&v16, p, 2);
      out.push_back(v16);
    }
  }
  TIFFClose(t);
  return ok;
}

// Our page over background bg.
void ReadOursOnto(const std::string& path, const TRGB& bg, ReadResult& r) {
  r.params.TIFF_Background = bg;
  ReadOursFile(path, 0, r);
}

// How a page must look over bg: libtiff's colour of each pixel (RGB, top row first)
// put over bg by the pixel's alpha (0..max). libtiff's RGBA reading gives colour
// premultiplied by alpha for RGB pages (it premultiplies unassociated alpha itself) and
// as stored for grey and palette pages.
Bytes OverBackground(const Bytes& peerRGB, const std::vector<uint32_t>& alpha, uint32_t max,
                     bool premultiplied, const TRGB& bg) {
  Bytes out(peerRGB.size());
  const uint32_t under[3] = {bg.r, bg.g, bg.b};
  for (size_t i = 0; i < alpha.size() && 3 * i + 2 < out.size(); ++i)
    for (size_t k = 0; k < 3; ++k) {
      const uint32_t c = peerRGB[3 * i + k], a = alpha[i], rest = max - a;
      const uint32_t v = premultiplied ? c + (under[k] * rest + max / 2) / max
                                       : (c * a + under[k] * rest + max / 2) / max;
      out[3 * i + k] = static_cast<uint8_t>(std::min<uint32_t>(v, 255));
    }
  return out;
}

// w x h pixels of spp samples of bps bits: colour in gradients (palette indices for a
// palette page), then the extra samples. The first extra runs through transparent,
// opaque and values between; any further ones are noise.
Bytes ExtraSamplePicture(int w, int h, int spp, int colour, int bps) {
  Bytes out;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int s = 0; s < spp; ++s) {
        uint32_t v;
        if (s < colour)
          v = static_cast<uint32_t>(x * 11 + y * 23 + s * 80) & 255;
        else if (s == colour)
          v = x == 0 ? 0 : x == 1 ? 255 : static_cast<uint32_t>(x * 41 + y * 67) & 255;
        else
          v = static_cast<uint32_t>(x * 7 ^ y * 13 ^ s * 5) & 255;
        if (bps == 16) {
          // Opaque stays full; the low byte is not a copy of the high one.
          const uint32_t low = v == 255 ? 255 : static_cast<uint32_t>(x * 13 + y) & 255;
          const uint16_t v16 = static_cast<uint16_t>((v << 8) | low);
          out.insert(out.end(), {static_cast<uint8_t>(v16), static_cast<uint8_t>(v16 >> 8)});
        } else {
          out.push_back(static_cast<uint8_t>(v));
        }
      }
  return out;
}

TEST(TiffRead, AlphaIsCompositedOntoTheBackgroundOverLibtiffsColours) {
  enum Colour { kStraight, kPremultiplied, kNoAlpha };
  struct Case {
    const char* what;
    PeerLayout layout;
    const char* tiffcp;  // options of a variant to read instead, or null
    Colour peer;
    // Where libtiff premultiplies, its colour is rounded before ours is: one level.
    // 16-bit colour it also scales with rounding, where we take the high byte.
    int tolerance;
  };
  const uint16_t kAssoc = EXTRASAMPLE_ASSOCALPHA, kUnass = EXTRASAMPLE_UNASSALPHA,
                 kOther = EXTRASAMPLE_UNSPECIFIED;
  const uint16_t grey = PHOTOMETRIC_MINISBLACK, rgb = PHOTOMETRIC_RGB, pal = PHOTOMETRIC_PALETTE;
  const uint16_t contig = PLANARCONFIG_CONTIG;
  const Case cases[] = {
      {"grey, associated alpha",
       {grey, 2, 8, COMPRESSION_NONE, contig, nullptr, {kAssoc}},
       nullptr,
       kPremultiplied,
       0},
      {"grey, unassociated alpha, LZW",
       {grey, 2, 8, COMPRESSION_LZW, contig, nullptr, {kUnass}},
       nullptr,
       kStraight,
       0},
      {"min-is-white grey, unassociated alpha",
       {PHOTOMETRIC_MINISWHITE, 2, 8, COMPRESSION_NONE, contig, nullptr, {kUnass}},
       nullptr,
       kStraight,
       0},
      {"grey, an extra sample that is not alpha",
       {grey, 2, 8, COMPRESSION_NONE, contig, nullptr, {kOther}},
       nullptr,
       kNoAlpha,
       0},
      {"16-bit grey, unassociated alpha, big-endian",
       {grey, 2, 16, COMPRESSION_NONE, contig, nullptr, {kUnass}},
       "-B",
       kStraight,
       0},
      {"palette, unassociated alpha",
       {pal, 2, 8, COMPRESSION_NONE, contig, nullptr, {kUnass}},
       nullptr,
       kStraight,
       0},
      {"palette, associated alpha, PackBits",
       {pal, 2, 8, COMPRESSION_PACKBITS, contig, nullptr, {kAssoc}},
       nullptr,
       kPremultiplied,
       0},
      {"RGBA, unassociated alpha",
       {rgb, 4, 8, COMPRESSION_NONE, contig, nullptr, {kUnass}},
       nullptr,
       kPremultiplied,
       1},
      {"RGBA, associated alpha, Deflate",
       {rgb, 4, 8, COMPRESSION_ADOBE_DEFLATE, contig, nullptr, {kAssoc}},
       nullptr,
       kPremultiplied,
       0},
      {"RGB, alpha and two more samples",
       {rgb, 6, 8, COMPRESSION_NONE, contig, nullptr, {kUnass, kOther, kOther}},
       nullptr,
       kPremultiplied,
       1},
      {"RGB, alpha and two more, separate planes, LZW with predictor",
       {rgb, 6, 8, COMPRESSION_NONE, contig, nullptr, {kUnass, kOther, kOther}},
       "-p separate -c lzw:2",
       kPremultiplied,
       1},
      {"RGB, alpha and two more, tiles",
       {rgb, 6, 8, COMPRESSION_NONE, contig, nullptr, {kUnass, kOther, kOther}},
       "-c zip -t -w 16 -l 16",
       kPremultiplied,
       1},
      {"RGB, an unspecified sample before the alpha",
       {rgb, 5, 8, COMPRESSION_NONE, contig, nullptr, {kOther, kUnass}},
       nullptr,
       kNoAlpha,
       0},
      {"16-bit RGBA, unassociated alpha",
       {rgb, 4, 16, COMPRESSION_NONE, contig, nullptr, {kUnass}},
       nullptr,
       kPremultiplied,
       2},
  };
  const TRGB backgrounds[] = {TRGB{}, CreateRGB(40, 160, 220)};
  const int w = 37, h = 9;
  int i = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const PeerLayout& l = c.layout;
    const int colour = l.spp - static_cast<int>(l.extraSamples.size());
    const std::string written = Temp("alpha" + std::to_string(i) + ".tif");
    const std::string path = c.tiffcp ? Temp("alpha" + std::to_string(i) + "v.tif") : written;
    ++i;
    LibtiffWrite(written, l, w, h, ExtraSamplePicture(w, h, l.spp, colour, l.bps));
    if (c.tiffcp) {
      ASSERT_TRUE(Shell(std::string("tiffcp ") + c.tiffcp + " " + written + " " + path));
    }
    std::vector<uint32_t> alpha;
    ASSERT_TRUE(LibtiffSamples(written, colour, alpha));
    PeerImage peer;
    ASSERT_TRUE(LibtiffRead(path, 0, peer));
    for (const TRGB& bg : backgrounds) {
      SCOPED_TRACE("background " + std::to_string(bg.r) + "," + std::to_string(bg.g) + "," +
                   std::to_string(bg.b));
      ReadResult r;
      ReadOursOnto(path, bg, r);
      ASSERT_FALSE(r.aborted);
      const Bytes expected = c.peer == kNoAlpha
                                 ? peer.rgb
                                 : OverBackground(peer.rgb, alpha, l.bps == 16 ? 65535 : 255,
                                                  c.peer == kPremultiplied, bg);
      const int diff = MaxDiff(vxtest::BitmapRGB(r.bmp), expected);
      EXPECT_TRUE(diff >= 0 && diff <= c.tolerance) << diff;
    }
  }
  // The corpus file, over a colour.
  const std::string corpus = vxtest::CorpusPath("tiff/minisblack-2c-8b-alpha.tiff");
  std::vector<uint32_t> alpha;
  ASSERT_TRUE(LibtiffSamples(corpus, 1, alpha));
  PeerImage peer;
  ASSERT_TRUE(LibtiffRead(corpus, 0, peer));
  ReadResult r;
  ReadOursOnto(corpus, backgrounds[1], r);
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(
      MaxDiff(vxtest::BitmapRGB(r.bmp), OverBackground(peer.rgb, alpha, 255, true, backgrounds[1])),
      0);
}

TEST(TiffRead, TwoBitAndSignedSixteenBitGreyMatchLibtiff) {
  struct Case {
    const char* what;
    PeerLayout layout;
    const char* tiffcp;
  };
  const uint16_t black = PHOTOMETRIC_MINISBLACK, white = PHOTOMETRIC_MINISWHITE;
  const uint16_t contig = PLANARCONFIG_CONTIG;
  const Case cases[] = {
      {"2-bit grey", {black, 1, 2}, nullptr},
      {"2-bit min-is-white, LZW", {white, 1, 2, COMPRESSION_LZW}, nullptr},
      {"2-bit grey, tiles", {black, 1, 2}, "-c packbits -t -w 16 -l 16"},
      {"signed 16-bit grey",
       {black, 1, 16, COMPRESSION_NONE, contig, nullptr, {}, SAMPLEFORMAT_INT},
       nullptr},
      {"signed 16-bit min-is-white",
       {white, 1, 16, COMPRESSION_NONE, contig, nullptr, {}, SAMPLEFORMAT_INT},
       nullptr},
      {"signed 16-bit, big-endian, LZW with predictor",
       {black, 1, 16, COMPRESSION_NONE, contig, nullptr, {}, SAMPLEFORMAT_INT},
       "-B -c lzw:2"},
  };
  // 2 bits: every level at every phase of a byte, odd width. 16 bits: the extremes
  // of both signs around a ramp.
  const int w = 13, h = 5;
  Bytes twoBit(static_cast<size_t>((w + 3) / 4) * h, 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      twoBit[static_cast<size_t>(y * ((w + 3) / 4) + x / 4)] |=
          static_cast<uint8_t>(((x + y) % 4) << (6 - 2 * (x % 4)));
  const int16_t pinned[] = {-32768, -1, 0, 1, 255, 256, -256, 32767};
  Bytes sixteen;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const auto v =
          static_cast<int16_t>(x < 8 && y == 0 ? pinned[x] : (x * 5000 - y * 3333 - 20000));
      sixteen.insert(sixteen.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
    }
  int i = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string written = Temp("grey" + std::to_string(i) + ".tif");
    const std::string path = c.tiffcp ? Temp("grey" + std::to_string(i) + "v.tif") : written;
    ++i;
    LibtiffWrite(written, c.layout, w, h, c.layout.bps == 2 ? twoBit : sixteen);
    if (c.tiffcp) {
      ASSERT_TRUE(Shell(std::string("tiffcp ") + c.tiffcp + " " + written + " " + path));
    }
    ReadResult r;
    ReadOursFile(path, 0, r);
    ASSERT_FALSE(r.aborted);
    PeerImage peer;
    ASSERT_TRUE(LibtiffRead(path, 0, peer));
    EXPECT_EQ(MaxDiff(vxtest::BitmapRGB(r.bmp), peer.rgb), 0);
    const uint8_t* row0 = r.bmp.ScanLine(0);
    const bool minIsWhite = c.layout.photometric == white;
    if (c.layout.bps == 2) {
      // Levels 0..3 spread over the whole range.
      for (int x = 0; x < 4; ++x) EXPECT_EQ(row0[3 * x], minIsWhite ? 255 - 85 * x : 85 * x) << x;
    } else {
      // libtiff shows signed samples as their bit patterns: -1 near white, 1 black.
      EXPECT_EQ(row0[3 * 1], minIsWhite ? 0 : 255);
      EXPECT_EQ(row0[3 * 3], minIsWhite ? 255 : 0);
      EXPECT_EQ(row0[3 * 0], minIsWhite ? 127 : 128);
    }
  }
}

// Writes an RGB or grey picture (contiguous samples) as JPEG strips with libtiff; RGB
// goes in as YCbCr with the given subsampling, as libtiff's own writers and scanners
// store it.
void LibtiffWriteJpeg(const std::string& path, bool grey, uint16_t hs, uint16_t vs,
                      uint32_t rowsPerStrip, int w, int h, const Bytes& data) {
  TIFF* t = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(t, nullptr);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, grey ? 1 : 3);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, grey ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_YCBCR);
  if (!grey) {
    TIFFSetField(t, TIFFTAG_YCBCRSUBSAMPLING, hs, vs);
    TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
  }
  TIFFSetField(t, TIFFTAG_JPEGQUALITY, 80);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
  const size_t rowBytes = static_cast<size_t>(w) * (grey ? 1 : 3);
  for (int y = 0; y < h; ++y)
    ASSERT_EQ(TIFFWriteScanline(t, const_cast<uint8_t*>(data.data() + y * rowBytes),
                                static_cast<uint32_t>(y), 0),
              1);
  TIFFClose(t);
}

// libjpeg does the decoding on both sides, with the same settings, so the pages
// normally agree exactly; two levels leave room for a libtiff built against another
// libjpeg's rounding.
constexpr int kJpegTolerance = 2;

TEST(TiffRead, JpegStripsAndTilesMatchLibtiff) {
  const int w = 157, h = 101;  // MCUs and tiles cut at both edges
  TBitmap picture;
  MakePicture(picture, w, h, 3);
  const Bytes rgb = vxtest::BitmapRGB(picture);
  Bytes grey(static_cast<size_t>(w) * h);
  for (size_t i = 0; i < grey.size(); ++i) grey[i] = rgb[3 * i + 1];
  const std::string plainRGB = Temp("jpeg-src-rgb.tif"), plainGrey = Temp("jpeg-src-grey.tif");
  LibtiffWrite(plainRGB, {PHOTOMETRIC_RGB, 3, 8}, w, h, rgb);
  LibtiffWrite(plainGrey, {PHOTOMETRIC_MINISBLACK, 1, 8}, w, h, grey);
  struct Case {
    const char* what;
    bool grey;
    uint16_t hs, vs;
    uint32_t rowsPerStrip;
    const char* command;  // made by tools from the plain file {in} instead, as {out}
  };
  const Case cases[] = {
      {"YCbCr 2x2, strips of 16", false, 2, 2, 16, nullptr},
      {"YCbCr 1x1, strips of 8", false, 1, 1, 8, nullptr},
      {"YCbCr 2x1, strips of 24", false, 2, 1, 24, nullptr},
      {"YCbCr 4x2, strips of 32", false, 4, 2, 32, nullptr},
      {"YCbCr 2x2, one strip", false, 2, 2, static_cast<uint32_t>(h), nullptr},
      {"grey, strips of 24", true, 1, 1, 24, nullptr},
      {"YCbCr tiles of 32 x 48", false, 0, 0, 0, "tiffcp -c jpeg -t -w 32 -l 48 {in} {out}"},
      {"YCbCr, big-endian", false, 0, 0, 0, "tiffcp -B -c jpeg -r 16 {in} {out}"},
      {"RGB components, separate planes", false, 0, 0, 0,
       "tiffcp -c jpeg:r -p separate -r 16 {in} {out}"},
      {"RGB components, tiles", false, 0, 0, 0, "tiffcp -c jpeg:r -t -w 64 -l 16 {in} {out}"},
      {"grey tiles of 16 x 64", true, 0, 0, 0, "tiffcp -c jpeg -t -w 16 -l 64 {in} {out}"},
      {"ImageMagick", false, 0, 0, 0, "convert {in} -compress JPEG -quality 85 {out}"},
      // JPEG data is bytes: libtiff does not reverse their bits, nor do we.
      {"fill order 2", false, 0, 0, 0, "tiffcp -c jpeg -r 16 {in} {out} && tiffset -s 266 2 {out}"},
  };
  int worst = 0, i = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = Temp("jpeg" + std::to_string(i++) + ".tif");
    if (c.command) {
      if (std::string(c.command).rfind("convert", 0) == 0 && !HaveTool("convert")) continue;
      std::string cmd = c.command;
      for (size_t at; (at = cmd.find("{in}")) != std::string::npos;)
        cmd.replace(at, 4, c.grey ? plainGrey : plainRGB);
      for (size_t at; (at = cmd.find("{out}")) != std::string::npos;) cmd.replace(at, 5, path);
      ASSERT_TRUE(Shell(cmd)) << cmd;
    } else {
      LibtiffWriteJpeg(path, c.grey, c.hs, c.vs, c.rowsPerStrip, w, h, c.grey ? grey : rgb);
    }
    ReadResult r;
    ReadOursFile(path, 0, r);
    ASSERT_FALSE(r.aborted);
    EXPECT_EQ(r.params.TIFF_Compression, ioTIFF_JPEG);
    PeerImage peer;
    ASSERT_TRUE(LibtiffRead(path, 0, peer));
    const int diff = MaxDiffToPeer(r.bmp, peer);
    EXPECT_LE(diff, kJpegTolerance);
    worst = std::max(worst, diff);
    // And both show the picture, not some other decoding of it.
    const Bytes ours = vxtest::BitmapRGB(r.bmp);
    long long error = 0;
    for (size_t k = 0; k < ours.size(); ++k)
      error += std::abs(ours[k] - (c.grey ? grey[k / 3] : rgb[k]));
    EXPECT_LT(error / static_cast<long long>(ours.size()), 12);
  }
  RecordProperty("largest_difference_to_libtiff", worst);

  // Nor does a predictor: some writers tag one all the same. PlanarConfig (1, the
  // default) becomes Predictor 2, which keeps the entries in order.
  Bytes file = FileBytes(Temp("jpeg0.tif"));
  const size_t planar = EntryPos(file, FirstIfd(file), 284);
  ASSERT_NE(planar, 0u);
  PutLE16(file, planar, 317);
  PutLE16(file, planar + 8, 2);
  const std::string predicted = Temp("jpeg-predictor.tif");
  SaveBytes(predicted, file);
  ReadResult r;
  ReadOursFile(predicted, 0, r);
  ASSERT_FALSE(r.aborted);
  CollectLibtiffMessages quiet;  // libtiff's JPEG codec does not know the tag
  PeerImage peer;
  ASSERT_TRUE(LibtiffRead(predicted, 0, peer));
  EXPECT_LE(MaxDiffToPeer(r.bmp, peer), kJpegTolerance);
}

TEST(TiffRead, DamagedOrUnfitJpegDataIsRefusedWithAReason) {
  const int w = 64, h = 48;
  TBitmap picture;
  MakePicture(picture, w, h, 1);
  const std::string path = Temp("jpeg-damage.tif");
  LibtiffWriteJpeg(path, false, 2, 2, 16, w, h, vxtest::BitmapRGB(picture));
  const Bytes good = FileBytes(path);
  const size_t ifd = FirstIfd(good);
  ASSERT_FALSE(ReadOverPicture(good).aborted);
  auto firstStrip = [](const Bytes& b, size_t d) {
    const size_t e = EntryPos(b, d, 273);
    return static_cast<size_t>(ReadLE32(b, ReadLE32(b, e + 8)));
  };
  struct Case {
    const char* what;
    std::function<void(Bytes&, size_t)> damage;
    const char* reason;
  };
  const Case cases[] = {
      {"strip data that is not JPEG",
       [&](Bytes& b, size_t d) { std::memset(b.data() + firstStrip(b, d), 0, 4); }, "JPEG data"},
      {"no JPEGTables for strips that need them",
       [](Bytes& b, size_t d) { PutLE16(b, EntryPos(b, d, 347), 65000); }, "JPEG data"},
      {"a page wider than its JPEG strips", [](Bytes& b, size_t d) { SetLong(b, d, 256, 80); },
       "JPEG block width"},
      {"12-bit samples",
       [](Bytes& b, size_t d) {
         const size_t at = ReadLE32(b, EntryPos(b, d, 258) + 8);
         for (size_t k = 0; k < 3; ++k) PutLE16(b, at + 2 * k, 12);
       },
       "12 bits"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes bad = good;
    c.damage(bad, ifd);
    const Outcome r = ReadOverPicture(bad);
    EXPECT_TRUE(r.aborted);
    EXPECT_TRUE(Has(r.failure.Reason, c.reason)) << r.failure.Reason;
  }
  // Tiles far larger than their page would let libjpeg buffer them whole.
  {
    const std::string tiled = Temp("jpeg-tiles.tif");
    ASSERT_TRUE(Shell("tiffcp -c jpeg -t -w 32 -l 32 " + path + " " + tiled));
    Bytes bad = FileBytes(tiled);
    const size_t d = FirstIfd(bad);
    SetLong(bad, d, 322, 4096);
    SetLong(bad, d, 323, 4096);
    SetLong(bad, d, 256, 16);
    SetLong(bad, d, 257, 16);
    const Outcome r = ReadOverPicture(bad);
    EXPECT_TRUE(r.aborted);
    EXPECT_TRUE(Has(r.failure.Reason, "beyond the page")) << r.failure.Reason;
    EXPECT_TRUE(r.untouched);
  }
  // A strip cut short reads as libtiff reads it: libjpeg completes the rows in both.
  {
    Bytes cut = good;
    const size_t e = EntryPos(cut, ifd, 279);
    const size_t counts = ReadLE32(cut, e + 8);
    ASSERT_EQ(cut[e + 2], 3);  // libtiff stores these small counts as SHORT
    PutLE16(cut, counts, (cut[counts] | (cut[counts + 1] << 8)) / 2);
    const std::string cutPath = Temp("jpeg-cut.tif");
    SaveBytes(cutPath, cut);
    ReadResult r;
    TFailure failure;
    r.params.TIFF_ImageIndex = 0;
    {
      TFileStream f(cutPath, fmOpenRead);
      TProgressRec p;
      p.Aborting = &r.aborted;
      p.Failure = &failure;
      TIFFReadStream(&r.bmp, f, r.pages, &r.params, p, false);
    }
    ASSERT_FALSE(r.aborted) << failure.Reason;
    CollectLibtiffMessages quiet;
    PeerImage peer;
    LibtiffRead(cutPath, 0, peer);
    EXPECT_LE(MaxDiffToPeer(r.bmp, peer), kJpegTolerance);
  }
  // Flipped bits anywhere in the strips: refused or read, never more.
  std::mt19937 rng(7);
  const size_t from = firstStrip(good, ifd);
  for (int k = 0; k < 200; ++k) {
    Bytes bad = good;
    for (int n = 0; n < 3; ++n)
      bad[from + rng() % (bad.size() - from)] ^= static_cast<uint8_t>(1u << (rng() % 8));
    ReadOverPicture(bad);
  }
}

TEST(TiffRead, OrientationIsReportedWhileThePixelsStayAsStored) {
  const int w = 13, h = 7;
  TBitmap picture;
  MakePicture(picture, w, h, 5);
  const Bytes rgb = vxtest::BitmapRGB(picture);
  const bool magick = HaveTool("convert");
  for (uint16_t o = 1; o <= 8; ++o) {
    SCOPED_TRACE("orientation " + std::to_string(o));
    const std::string path = Temp("orient" + std::to_string(o) + ".tif");
    PeerLayout l{PHOTOMETRIC_RGB, 3, 8};
    l.orientation = o;
    LibtiffWrite(path, l, w, h, rgb);
    ReadResult r;
    ReadOursFile(path, 0, r);
    ASSERT_FALSE(r.aborted);
    EXPECT_EQ(r.params.TIFF_Orientation, o);
    EXPECT_EQ(vxtest::BitmapRGB(r.bmp), rgb);
    TFileStream f(path, fmOpenRead);
    ReadResult preview;
    ReadOurs(f, 0, preview, true);
    EXPECT_EQ(preview.params.TIFF_Orientation, o);
    // Turned as ImageMagick turns it for display.
    if (!magick) continue;
    const std::string raw = Temp("orient" + std::to_string(o) + ".rgb");
    ASSERT_TRUE(Shell("convert " + path + " -auto-orient -depth 8 rgb:" + raw));
    ASSERT_TRUE(ApplyOrientation(r.bmp, r.params.TIFF_Orientation));
    EXPECT_EQ(vxtest::BitmapRGB(r.bmp), FileBytes(raw));
  }
  // Values the tag does not define are taken as 1.
  const std::string path = Temp("orient-bad.tif");
  PeerLayout l{PHOTOMETRIC_RGB, 3, 8};
  l.orientation = 1;
  LibtiffWrite(path, l, w, h, rgb);
  Bytes file = FileBytes(path);
  for (uint32_t bad : {0u, 9u, 65535u}) {
    PutLE16(file, EntryPos(file, FirstIfd(file), 274) + 8, bad);
    TMemoryStream s(file);
    ReadResult r;
    r.params.TIFF_Orientation = 5;
    ReadOurs(s, 0, r);
    ASSERT_FALSE(r.aborted);
    EXPECT_EQ(r.params.TIFF_Orientation, 1) << bad;
  }
}

// Layouts we still do not read stay refused, with a reason.
TEST(TiffRead, LayoutsStillNotReadAreRefused) {
  struct Case {
    const char* what;
    PeerLayout layout;
    const char* reason;
  };
  const uint16_t contig = PLANARCONFIG_CONTIG;
  const Case cases[] = {
      {"signed 8-bit grey",
       {PHOTOMETRIC_MINISBLACK, 1, 8, COMPRESSION_NONE, contig, nullptr, {}, SAMPLEFORMAT_INT},
       "sample format 2"},
      {"4-bit grey with alpha",
       {PHOTOMETRIC_MINISBLACK, 2, 4, COMPRESSION_NONE, contig, nullptr, {EXTRASAMPLE_UNASSALPHA}},
       "not supported"},
      {"uncompressed YCbCr", {PHOTOMETRIC_YCBCR, 3, 8}, "photometric 6"},
  };
  const int w = 8, h = 4;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = Temp("refused.tif");
    LibtiffWrite(path, c.layout, w, h,
                 Bytes(static_cast<size_t>(w) * h * c.layout.spp * 2, uint8_t{77}));
    const Outcome r = ReadOverPicture(FileBytes(path));
    EXPECT_TRUE(r.aborted);
    EXPECT_TRUE(Has(r.failure.Reason, c.reason)) << r.failure.Reason;
    EXPECT_TRUE(r.untouched);
  }
}

// ---------------------------------------------------------------------------------
// Writing: libtiff and ImageMagick read what we write

struct WriteCase {
  TIOTIFFCompression compression;
  bool bilevel;
  bool cmyk;
};

TEST(TiffWrite, LibtiffReadsEveryCompressionWithoutWarnings) {
  const WriteCase cases[] = {
      {ioTIFF_UNCOMPRESSED, false, false}, {ioTIFF_PACKBITS, false, false},
      {ioTIFF_LZW, false, false},          {ioTIFF_DEFLATE, false, false},
      {ioTIFF_LZW, false, true},           {ioTIFF_UNCOMPRESSED, false, true},
      {ioTIFF_UNCOMPRESSED, true, false},  {ioTIFF_PACKBITS, true, false},
      {ioTIFF_LZW, true, false},           {ioTIFF_DEFLATE, true, false},
      {ioTIFF_CCITT1D, true, false},       {ioTIFF_G3FAX1D, true, false},
      {ioTIFF_G3FAX2D, true, false},       {ioTIFF_G4FAX, true, false},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.compression) + (c.bilevel ? " 1-bit" : " 24-bit") +
                 (c.cmyk ? " CMYK" : ""));
    TBitmap b;
    if (c.bilevel)
      MakeBilevel(b, 203, 77);
    else
      MakePicture(b, 203, 77);
    const std::string path = Temp("w.tif");
    ASSERT_EQ(WriteOurs(path, b, c.compression, c.bilevel, false, 0, c.cmyk), 1);
    CollectLibtiffMessages collect;
    PeerImage peer;
    ASSERT_TRUE(LibtiffRead(path, 0, peer));
    EXPECT_TRUE(LibtiffMessages().empty()) << LibtiffMessages().front();
    Bytes expected = vxtest::BitmapRGB(b);
    if (c.cmyk) {
      // CMYK keeps every colour exactly up to the integer steps of the ink split.
      EXPECT_LE(MaxDiff(expected, peer.rgb), 2);
    } else {
      EXPECT_EQ(MaxDiff(expected, peer.rgb), 0);
    }
    ReadResult back;
    ReadOursFile(path, 0, back);
    ASSERT_FALSE(back.aborted);
    EXPECT_EQ(vxtest::BitmapRGB(back.bmp), peer.rgb);
  }
}

TEST(TiffWrite, ImageMagickReadsOurFiles) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick not installed";
  const WriteCase cases[] = {{ioTIFF_LZW, false, false},
                             {ioTIFF_DEFLATE, false, false},
                             {ioTIFF_PACKBITS, false, false},
                             {ioTIFF_G4FAX, true, false},
                             {ioTIFF_G3FAX2D, true, false}};
  int i = 0;
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(i);
    TBitmap b;
    if (c.bilevel)
      MakeBilevel(b, 61, 40);
    else
      MakePicture(b, 61, 40);
    const std::string path = Temp("im" + std::to_string(i) + ".tif");
    const std::string raw = Temp("im" + std::to_string(i++) + ".rgb");
    ASSERT_EQ(WriteOurs(path, b, c.compression, c.bilevel), 1);
    ASSERT_TRUE(Shell("convert " + path + " -depth 8 rgb:" + raw));
    EXPECT_EQ(FileBytes(raw), vxtest::BitmapRGB(b));
  }
}

TEST(TiffWrite, BlackCmykAndLzwWithoutEncoder) {
  // Pure black in CMYK is C = M = Y = 255, K = 254.
  TBitmap b;
  SizeBitmap(b, 2, 1, pf24bit);
  std::memset(b.ScanLine(0), 0, 6);
  TIOParamsVals params;
  params.TIFF_PhotometInterpret = ioTIFF_CMYK;
  TMemoryStream s;
  TIFFWriteStream(s, false, b, params, ResetNullpr());
  const Bytes& d = s.Data();
  const size_t ifd = d[4] | (d[5] << 8) | (d[6] << 16) | (static_cast<size_t>(d[7]) << 24);
  const size_t strip = EntryPos(d, ifd, 273) + 8;
  const size_t at = d[strip] | (d[strip + 1] << 8) | (d[strip + 2] << 16);
  EXPECT_EQ(Bytes(d.begin() + at, d.begin() + at + 8),
            (Bytes{255, 255, 255, 254, 255, 255, 255, 254}));
  s.SetPosition(0);
  ReadResult r;
  ReadOurs(s, 0, r);
  EXPECT_EQ(vxtest::BitmapRGB(r.bmp), Bytes(6, 0));

  // LZW asked for with no encoder: an uncompressed page without a predictor.
  const TTIFFLZWCompFunc saved = DefTIFF_LZWCOMPFUNC;
  DefTIFF_LZWCOMPFUNC = nullptr;
  TIOParamsVals lzwParams;
  lzwParams.TIFF_Compression = ioTIFF_LZW;
  lzwParams.TIFF_LZWCompress = nullptr;
  MakePicture(b, 9, 4);
  const std::string path = Temp("nolzw.tif");
  {
    TFileStream f(path, fmCreate);
    TIFFWriteStream(f, false, b, lzwParams, ResetNullpr());
  }
  DefTIFF_LZWCOMPFUNC = saved;
  TIFF* t = TIFFOpen(path.c_str(), "r");
  ASSERT_NE(t, nullptr);
  uint16_t compression = 0, predictor = 0;
  TIFFGetField(t, TIFFTAG_COMPRESSION, &compression);
  EXPECT_EQ(compression, COMPRESSION_NONE);
  EXPECT_EQ(TIFFGetField(t, TIFFTAG_PREDICTOR, &predictor), 0);
  TIFFClose(t);
}

TEST(TiffWrite, ParametersRoundTrip) {
  TBitmap b;
  MakePicture(b, 12, 7);
  TIOParamsVals params;
  params.DpiX = 300;
  params.DpiY = 150;
  params.TIFF_DocumentName = "doc";
  params.TIFF_ImageDescription = "a longer description";
  params.TIFF_PageName = "p1";
  params.TIFF_PageNumber = 2;
  params.TIFF_PageCount = 5;
  params.TIFF_XPos = 3;
  const std::string path = Temp("params.tif");
  {
    TFileStream f(path, fmCreate);
    EXPECT_EQ(TIFFWriteStream(f, false, b, params, ResetNullpr()), 1);
  }
  ReadResult r;
  ReadOursFile(path, 0, r);
  EXPECT_EQ(r.params.DpiX, 300);
  EXPECT_EQ(r.params.DpiY, 150);
  EXPECT_EQ(r.params.TIFF_DocumentName, "doc");
  EXPECT_EQ(r.params.TIFF_ImageDescription, "a longer description");
  EXPECT_EQ(r.params.TIFF_PageName, "p1");
  EXPECT_EQ(r.params.TIFF_PageNumber, 2);
  EXPECT_EQ(r.params.TIFF_PageCount, 5);
  EXPECT_EQ(r.params.TIFF_XPos, 3);
  // libtiff sees the same page number (stored in the entry itself, as TIFF wants).
  TIFF* t = TIFFOpen(path.c_str(), "r");
  ASSERT_NE(t, nullptr);
  uint16_t num = 0, total = 0;
  ASSERT_EQ(TIFFGetField(t, TIFFTAG_PAGENUMBER, &num, &total), 1);
  EXPECT_EQ(num, 2);
  EXPECT_EQ(total, 5);
  TIFFClose(t);
}

TEST(TiffWrite, EmbeddedInALargerStreamStaysAValidTiff) {
  TBitmap b;
  MakePicture(b, 20, 10);
  TIOParamsVals params;
  params.TIFF_Compression = ioTIFF_PACKBITS;
  TMemoryStream s;
  const uint8_t junk[12] = {1, 2, 3};
  s.WriteBuffer(junk, 12);
  TIFFWriteStream(s, false, b, params, ResetNullpr());
  const std::string path = Temp("embedded.tif");
  SaveBytes(path, Bytes(s.Data().begin() + 12, s.Data().end()));
  PeerImage peer;
  ASSERT_TRUE(LibtiffRead(path, 0, peer));
  EXPECT_EQ(peer.rgb, vxtest::BitmapRGB(b));
  s.SetPosition(12);
  ReadResult r;
  ReadOurs(s, 0, r);
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(vxtest::BitmapRGB(r.bmp), vxtest::BitmapRGB(b));
}

// ---------------------------------------------------------------------------------
// Pages: insert, delete, count

// The widths of the pages of a file as libtiff sees them (each test page has its own
// width), after checking that libtiff decodes each one.
std::vector<int> LibtiffPageWidths(const std::string& path) {
  std::vector<int> widths;
  const int n = LibtiffPages(path);
  for (int i = 0; i < n; ++i) {
    PeerImage img;
    if (!LibtiffRead(path, i, img)) return {-1};
    widths.push_back(img.width);
  }
  return widths;
}

TEST(TiffPages, InsertAtStartMiddleAndEnd) {
  const std::string path = Temp("pages.tif");
  TBitmap b;
  MakePicture(b, 10, 5);
  ASSERT_EQ(WriteOurs(path, b, ioTIFF_LZW, false), 1);
  MakePicture(b, 11, 5, 1);
  EXPECT_EQ(WriteOurs(path, b, ioTIFF_PACKBITS, false, true, 0), 2);  // first
  MakeBilevel(b, 12, 5);
  EXPECT_EQ(WriteOurs(path, b, ioTIFF_G4FAX, true, true, 1), 3);  // middle
  MakePicture(b, 13, 5, 2);
  EXPECT_EQ(WriteOurs(path, b, ioTIFF_DEFLATE, false, true, 99), 4);  // past the end
  EXPECT_EQ(LibtiffPageWidths(path), (std::vector<int>{11, 12, 10, 13}));
  EXPECT_EQ(EnumTIFFIm(path), 4);

  // Deleting pages keeps the others in order, as libtiff sees them.
  EXPECT_EQ(DeleteTIFFIm(path, 1), 4);
  EXPECT_EQ(LibtiffPageWidths(path), (std::vector<int>{11, 10, 13}));
  EXPECT_EQ(DeleteTIFFIm(path, 2), 3);
  EXPECT_EQ(DeleteTIFFIm(path, 0), 2);
  EXPECT_EQ(LibtiffPageWidths(path), (std::vector<int>{10}));
  ReadResult r;
  ReadOursFile(path, 0, r);
  ASSERT_FALSE(r.aborted);
  MakePicture(b, 10, 5);
  EXPECT_EQ(vxtest::BitmapRGB(r.bmp), vxtest::BitmapRGB(b));
  // An index that is not a page changes nothing.
  const Bytes before = FileBytes(path);
  EXPECT_EQ(DeleteTIFFIm(path, 5), 1);
  EXPECT_EQ(FileBytes(path), before);
}

TEST(TiffPages, DeleteKeepsBigEndianAndForeignFilesReadable) {
  if (!HaveTool("tiffcp")) GTEST_SKIP() << "tiffcp not installed";
  const std::string c = vxtest::CorpusPath("tiff/");
  const std::string path = Temp("multi_be.tif");
  ASSERT_TRUE(Shell("tiffcp -B -c lzw " + c + "rgb-3c-8b.tiff " + c + "palette-1c-4b.tiff " + c +
                    "miniswhite-1c-1b.tiff " + c + "minisblack-1c-16b.tiff " + path));
  std::vector<PeerImage> pages(4);
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(LibtiffRead(path, i, pages[i]));
  EXPECT_EQ(DeleteTIFFIm(path, 1), 4);
  CollectLibtiffMessages collect;
  ASSERT_EQ(LibtiffPages(path), 3);
  for (int i = 0; i < 3; ++i) {
    PeerImage img;
    ASSERT_TRUE(LibtiffRead(path, i, img));
    EXPECT_EQ(img.rgb, pages[i == 0 ? 0 : i + 1].rgb) << i;
  }
  EXPECT_TRUE(LibtiffMessages().empty()) << LibtiffMessages().front();

  // A page whose directory points at EXIF and GPS directories.
  const std::string exif = Temp("exif.tif");
  ASSERT_TRUE(Shell("cp " + c + "custom_dir_EXIF_GPS.tiff " + exif));
  TBitmap b;
  MakePicture(b, 7, 3);
  EXPECT_EQ(WriteOurs(exif, b, ioTIFF_UNCOMPRESSED, false, true, 0), 2);
  EXPECT_EQ(DeleteTIFFIm(exif, 0), 2);
  PeerImage before, after;
  ASSERT_TRUE(LibtiffRead(c + "custom_dir_EXIF_GPS.tiff", 0, before));
  ASSERT_TRUE(LibtiffRead(exif, 0, after));
  EXPECT_EQ(after.rgb, before.rgb);
}

TEST(TiffPages, FailedInsertLeavesTheFileAsItWas) {
  const std::string path = Temp("keep.tif");
  TBitmap b;
  MakePicture(b, 30, 20);
  ASSERT_EQ(WriteOurs(path, b, ioTIFF_UNCOMPRESSED, false), 1);
  const Bytes before = FileBytes(path);

  // The user stops the insertion halfway.
  bool abort = false;
  TProgressRec p;
  p.Aborting = &abort;
  p.ProgressEvent = [&abort](TObject*, int per) {
    if (per >= 50) abort = true;
  };
  TIOParamsVals params;
  {
    TFileStream f(path, fmOpenReadWrite);
    EXPECT_EQ(TIFFWriteStream(f, true, b, params, p), 0);
  }
  EXPECT_TRUE(abort);
  EXPECT_EQ(FileBytes(path), before);

  // The disk fills up (here: the file size limit) before the small new page is all
  // written; the buffered bytes fail only when flushed. The insertion reports the failure
  // and the file keeps its one page.
  {
    TBitmap small;
    MakePicture(small, 4, 4);
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = before.size() + 40;
    setrlimit(RLIMIT_FSIZE, &limit);
    bool failed = false;
    TProgressRec q;
    q.Aborting = &failed;
    int pages = -1;
    {
      TFileStream f(path, fmOpenReadWrite);
      pages = TIFFWriteStream(f, true, small, params, q);
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(pages, 0);
    EXPECT_TRUE(failed);
    EXPECT_EQ(FileBytes(path), before);
  }

  // Big-endian files take no insertion.
  if (HaveTool("tiffcp")) {
    const std::string be = Temp("be.tif");
    ASSERT_TRUE(Shell("tiffcp -B " + path + " " + be));
    const Bytes beBefore = FileBytes(be);
    EXPECT_EQ(WriteOurs(be, b, ioTIFF_UNCOMPRESSED, false, true, 0), -1);
    EXPECT_EQ(FileBytes(be), beBefore);
  }

  // A file whose chain is broken: delete refuses and keeps it.
  Bytes broken = before;
  broken.resize(broken.size() - 20);
  const std::string bad = Temp("broken.tif");
  SaveBytes(bad, broken);
  EXPECT_EQ(DeleteTIFFIm(bad, 0), 0);
  EXPECT_EQ(FileBytes(bad), broken);
}

}  // namespace
