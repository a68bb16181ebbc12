// The PNG adapter against libpng driven directly and Pillow: the PngSuite decoded with
// the same transformations, compositing, progress, resolution, every output kind read
// back by both peers, and failures.
#include <gtest/gtest.h>

#include <png.h>

#include <algorithm>
#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "codecs/pngfilt.h"
#include "codecs/vxzlib.h"
#include "core/vxdefs.h"
#include "io/ioparams.h"
#include "io/vantixio.h"
#include "pixellimit.h"
#include "platform/screen.h"
#include "platform/stream.h"
#include "testsupport.h"

using namespace vx;

namespace {

// ---- libpng driven directly ----

struct MemReader {
  const std::vector<uint8_t>* data;
  size_t pos;
};
void MemRead(png_structp png, png_bytep out, size_t n) {
  auto* r = static_cast<MemReader*>(png_get_io_ptr(png));
  if (r->pos + n > r->data->size()) png_error(png, "eof");
  std::memcpy(out, r->data->data() + r->pos, n);
  r->pos += n;
}
void Quiet(png_structp, png_const_charp) {}

template <class F>
[[gnu::noinline]] bool RefCall(png_structp png, F&& f) {
  if (setjmp(png_jmpbuf(png)) != 0) return false;
  f();
  return true;
}

struct Image {
  bool ok = false;
  int width = 0, height = 0;
  size_t rowBytes = 0;
  std::vector<uint8_t> rows;  // packed rows of rowBytes
};

// mode 0: the adapter's transformations (composited, blue-green-red, 8 bits);
// mode 1: no transformation at all (one-bit images);
// mode 2: plain 8-bit red, green, blue, ignoring alpha (reading back our own files).
Image RefDecode(const std::vector<uint8_t>& data, int mode, TRGB background = {}) {
  Image img;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, Quiet);
  png_infop info = png_create_info_struct(png);
  MemReader reader{&data, 0};
  img.ok = RefCall(png, [&] {
    png_set_read_fn(png, &reader, MemRead);
    png_read_info(png, info);
    const int ct = png_get_color_type(png, info), bd = png_get_bit_depth(png, info);
    if (mode == 0) {
      if ((ct & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS)) {
        png_color_16p file;
        if (png_get_bKGD(png, info, &file)) {
          png_set_background(png, file, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);
        } else {
          png_color_16 bg{};
          bg.red = background.r;
          bg.green = background.g;
          bg.blue = background.b;
          bg.gray = static_cast<png_uint_16>(RGBToGray(background));
          png_set_background(png, &bg, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
        }
      }
    }
    if (mode == 0 || mode == 2) {
      png_set_expand(png);
      png_set_strip_16(png);
      png_set_gray_to_rgb(png);
      if (mode == 2) png_set_strip_alpha(png);
      if (mode == 0) png_set_bgr(png);
    }
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    img.width = static_cast<int>(png_get_image_width(png, info));
    img.height = static_cast<int>(png_get_image_height(png, info));
    img.rowBytes = png_get_rowbytes(png, info);
    img.rows.assign(img.rowBytes * img.height, 0);
    (void)bd;
    for (int p = 0; p < passes; ++p)
      for (int y = 0; y < img.height; ++y) png_read_row(png, &img.rows[y * img.rowBytes], nullptr);
    png_read_end(png, nullptr);
  });
  png_destroy_read_struct(&png, &info, nullptr);
  return img;
}

struct Result {
  bool aborted = false;
  TBitmap bitmap;
  TIOParamsVals params;
  int32_t value = 0;
  int events = 0;
  TFailure failure;
};

Result Read(const std::vector<uint8_t>& data, TRGB background = {}, bool preview = false,
            const TBitmap* start = nullptr) {
  Result r;
  r.params.PNG_Background = background;
  if (start) r.bitmap = *start;
  TMemoryStream s(data);
  TProgressRec p;
  p.Aborting = &r.aborted;
  p.Failure = &r.failure;
  p.ProgressEvent = [&](TObject*, int) { ++r.events; };
  ReadPNGStream(s, r.bitmap, r.params, p, preview);
  r.value = p.Value;
  return r;
}

std::vector<uint8_t> Rows(const TBitmap& b, size_t rowBytes) {
  std::vector<uint8_t> out;
  for (int y = 0; y < b.Height(); ++y)
    out.insert(out.end(), b.ScanLine(y), b.ScanLine(y) + rowBytes);
  return out;
}

std::vector<uint8_t> Suite(const std::string& name) {
  return ReadWholeFile(vxtest::CorpusPath("png/" + name));
}

bool BlackWhitePalette(const std::string& path) {
  // basn3p01 has a coloured two-entry palette; the other one-bit files are grey.
  return path.find("3p01") == std::string::npos;
}

TEST(PngRead, PngSuiteMatchesLibpng) {
  const auto files = vxtest::CorpusFiles("png", {".png"});
  ASSERT_GE(files.size(), 40u);
  for (const TRGB background : {TRGB{0, 0, 0}, TRGB{30, 20, 10}}) {
    for (const std::string& path : files) {
      SCOPED_TRACE(path);
      const auto data = ReadWholeFile(path);
      Result r = Read(data, background);
      ASSERT_FALSE(r.aborted);
      const bool oneBit = r.params.BitsPerSample == 1 && BlackWhitePalette(path);
      const Image ref = RefDecode(data, oneBit ? 1 : 0, background);
      ASSERT_TRUE(ref.ok);
      EXPECT_EQ(r.bitmap.PixelFormat(), oneBit ? pf1bit : pf24bit);
      ASSERT_EQ(r.bitmap.Width(), ref.width);
      ASSERT_EQ(r.bitmap.Height(), ref.height);
      EXPECT_EQ(Rows(r.bitmap, ref.rowBytes), ref.rows);
      EXPECT_EQ(r.params.Width, ref.width);
      EXPECT_EQ(r.params.PNG_Interlaced, data.at(28) != 0);  // the header's interlace byte
      const std::string base = path.substr(path.rfind('/') + 1);
      const char* kinds[] = {"0g", "2c", "3p", "4a", "6a"};
      const int samples[] = {1, 3, 1, 2, 4};
      for (int k = 0; k < 5; ++k) {
        if (base.find(kinds[k]) != std::string::npos) {
          EXPECT_EQ(r.params.SamplesPerPixel, samples[k]);
        }
      }
      EXPECT_EQ(r.params.BitsPerSample, std::stoi(base.substr(base.size() - 6, 2)));
      EXPECT_EQ(r.params.ColorMapCount > 0, base.find("3p") != std::string::npos);
    }
  }
}

TEST(PngRead, CompositesOnTheRightBackground) {
  // Fully transparent corner pixels show the background we give.
  for (const char* name : {"basn6a08.png", "basn6a16.png", "basn4a08.png", "basn4a16.png"}) {
    SCOPED_TRACE(name);
    Result r = Read(Suite(name), TRGB{30, 20, 10});
    ASSERT_FALSE(r.aborted);
    const uint8_t* px = r.bitmap.ScanLine(0);
    EXPECT_EQ(px[0], 30);
    EXPECT_EQ(px[1], 20);
    EXPECT_EQ(px[2], 10);
  }
  // A file background replaces ours and is reported in 8 bits, whatever the depth.
  struct Case {
    const char* name;
    TRGB expected;
  };
  for (const Case c :
       {Case{"ftbbn0g04.png", TRGB{0, 0, 0}}, Case{"ftbwn0g16.png", TRGB{255, 255, 255}},
        Case{"ftbrn2c08.png", TRGB{0, 0, 255}}, Case{"ftbyn3p08.png", TRGB{0, 255, 255}},
        Case{"ftbgn2c16.png", TRGB{0, 255, 0}}}) {
    SCOPED_TRACE(c.name);
    Result r = Read(Suite(c.name), TRGB{1, 2, 3});
    ASSERT_FALSE(r.aborted);
    EXPECT_EQ(r.params.PNG_Background, c.expected);
  }
  // Without one ours stays.
  Result plain = Read(Suite("basn6a08.png"), TRGB{1, 2, 3});
  EXPECT_EQ(plain.params.PNG_Background, (TRGB{1, 2, 3}));
}

TEST(PngRead, OneBitFiles) {
  // Grey: the bits as stored, 1 = white.
  Result g = Read(Suite("basn0g01.png"));
  ASSERT_FALSE(g.aborted);
  EXPECT_EQ(g.bitmap.PixelFormat(), pf1bit);
  // A coloured two-entry palette keeps its colours.
  Result p = Read(Suite("basn3p01.png"));
  ASSERT_FALSE(p.aborted);
  EXPECT_EQ(p.bitmap.PixelFormat(), pf24bit);
  EXPECT_EQ(p.params.BitsPerSample, 1);
  ASSERT_EQ(p.params.ColorMapCount, 2);
  const TRGB first = *reinterpret_cast<const TRGB*>(p.bitmap.ScanLine(0));
  EXPECT_TRUE(first == p.params.ColorMap[0] || first == p.params.ColorMap[1]);
}

TEST(PngRead, InterlacedFilesReportSevenPasses) {
  for (const char* name : {"ibasn2c08.png", "ibasn0g16.png", "basn2c08.png"}) {
    SCOPED_TRACE(name);
    Result r = Read(Suite(name));
    ASSERT_FALSE(r.aborted);
    const int passes = name[0] == 'i' ? 7 : 1;
    EXPECT_EQ(r.value, r.bitmap.Height() * passes);
    EXPECT_EQ(r.events, r.bitmap.Height() * passes);
  }
}

TEST(PngRead, ResolutionAndPreview) {
  const auto data = Suite("basn2c08.png");  // no pHYs
  Result r = Read(data, {}, true);
  EXPECT_FALSE(r.aborted);
  EXPECT_EQ(r.params.DpiX, gSystemDPIX);
  EXPECT_EQ(r.params.DpiY, gSystemDPIY);
  EXPECT_EQ(r.params.Width, 32);
  EXPECT_TRUE(r.bitmap.Empty());
  EXPECT_EQ(r.events, 0);
}

void PutBE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// The file with its header claiming another size (and a header checksum to match).
std::vector<uint8_t> WithHeaderSize(std::vector<uint8_t> data, uint32_t w, uint32_t h) {
  PutBE32(&data[16], w);
  PutBE32(&data[20], h);
  PutBE32(&data[29], static_cast<uint32_t>(crc32(0, &data[12], 17)));
  return data;
}

TEST(PngRead, DamagedFilesEndInAborting) {
  const auto data = Suite("basn2c08.png");
  // Cut in the image data: the rows read so far stay.
  Result cut = Read(std::vector<uint8_t>(data.begin(), data.end() - 60));
  EXPECT_TRUE(cut.aborted);
  // Not a PNG, a broken CRC in the header, an empty stream.
  auto badCrc = data;
  badCrc[29] ^= 0xFF;
  for (const auto& bad : {std::vector<uint8_t>{'G', 'I', 'F'}, badCrc, std::vector<uint8_t>{},
                          std::vector<uint8_t>(data.begin(), data.begin() + 40)}) {
    Result r = Read(bad);
    EXPECT_TRUE(r.aborted);
    EXPECT_TRUE(r.bitmap.Empty());
  }
  // Huge dimensions with a few bytes of data are refused before any allocation.
  Result h = Read(WithHeaderSize(data, 999999, 999999));
  EXPECT_TRUE(h.aborted);
  EXPECT_TRUE(h.bitmap.Empty());
  EXPECT_EQ(h.params.Width, 999999);
}

// ---- writing ----

TBitmap Photo(int w, int h) {
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  uint32_t seed = 99;
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      row[x * 3] = static_cast<uint8_t>(x * 255 / w);
      row[x * 3 + 1] = static_cast<uint8_t>(y * 255 / h);
      row[x * 3 + 2] = static_cast<uint8_t>(seed >> 24);
    }
  }
  return b;
}

std::vector<uint8_t> Write(TBitmap& bitmap, TIOParamsVals& params) {
  TMemoryStream s;
  bool abort = false;
  TProgressRec p;
  p.Aborting = &abort;
  WritePNGStream(s, bitmap, params, p);
  EXPECT_FALSE(abort);
  return s.Data();
}

// A known picture a failed read must leave alone.
TBitmap Known() {
  TBitmap b;
  SizeBitmap(b, 7, 5, pf24bit);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 21; ++x) b.ScanLine(y)[x] = static_cast<uint8_t>(x * 11 + y);
  return b;
}

bool Unchanged(const TBitmap& b) {
  return b.Width() == 7 && b.Height() == 5 && Rows(b, 21) == Rows(Known(), 21);
}

// The bytes of the stream after the first image data chunk's header, as the reader
// counts them.
int64_t DataAfterFirstIdatHeader(const std::vector<uint8_t>& png) {
  for (size_t pos = 8; pos + 8 <= png.size();) {
    const uint32_t len =
        (uint32_t(png[pos]) << 24) | (png[pos + 1] << 16) | (png[pos + 2] << 8) | png[pos + 3];
    if (std::memcmp(&png[pos + 4], "IDAT", 4) == 0)
      return static_cast<int64_t>(png.size() - pos - 8);
    pos += 12 + len;
  }
  return -1;
}

TEST(PngRead, ClaimedSizeMustBeWithinTheLimitAndWhatTheDataCanInflateTo) {
  const auto grey = Suite("basn0g08.png");  // 65 bytes of image data
  struct Case {
    const char* name;
    uint32_t w, h;
    uint64_t limit;
    const char* reason;
  };
  const Case cases[] = {
      {"beyond the limit", 100000, 100000, kDefaultMaxImagePixels, "pixel limit"},
      {"no limit", 100000, 100000, 0, "cannot inflate"},
      // A million bytes of rows need at least 970 compressed.
      {"within the limit", 1000, 1000, kDefaultMaxImagePixels, "cannot inflate"},
  };
  const TBitmap known = Known();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vxtest::PixelLimit limit(c.limit);
    const auto data = WithHeaderSize(grey, c.w, c.h);
    Result preview = Read(data, {}, true);
    EXPECT_FALSE(preview.aborted) << preview.failure.Reason;
    EXPECT_EQ(preview.params.Width, static_cast<int>(c.w));
    EXPECT_EQ(preview.params.Height, static_cast<int>(c.h));

    const auto start = std::chrono::steady_clock::now();
    Result r = Read(data, {}, false, &known);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_TRUE(r.aborted);
    EXPECT_NE(r.failure.Reason.find(c.reason), std::string::npos) << r.failure.Reason;
    EXPECT_TRUE(Unchanged(r.bitmap));
    EXPECT_LT(seconds, 0.5);
  }

  // zlib's best on a black picture comes within a few percent of deflate's limit; the
  // bound must still let it through.
  TBitmap black;
  SizeBitmap(black, 2000, 2000, pf24bit);
  TIOParamsVals params;
  params.PNG_Compression = 9;
  const auto data = Write(black, params);
  const double ratio = 2000.0 * (1 + 6000) / static_cast<double>(DataAfterFirstIdatHeader(data));
  EXPECT_GT(ratio, 1000);
  EXPECT_LE(ratio, kMaxDeflateExpansion);
  Result r = Read(data);
  ASSERT_FALSE(r.aborted) << r.failure.Reason;
  EXPECT_EQ(Rows(r.bitmap, 6000), Rows(black, 6000));
}

TEST(PngRead, WidePanoramaAndLongAncillaryChunksLoad) {
  // Wider than libpng's default limit of a million pixels, yet far within ours.
  TBitmap wide = Photo(1500000, 2);
  TIOParamsVals params;
  const auto panorama = Write(wide, params);
  Result p = Read(panorama);
  ASSERT_FALSE(p.aborted) << p.failure.Reason;
  EXPECT_EQ(Rows(p.bitmap, 4500000), Rows(wide, 4500000));

  // A private chunk longer than libpng's default allowance before the image data, and
  // a large text chunk: both are skipped.
  auto data = Suite("basn2c08.png");
  const size_t at = 8 + 25 + 16;  // after the header and gAMA
  for (const char* type : {"prVt", "tEXt"}) {
    const uint32_t len = 10u << 20;
    std::vector<uint8_t> chunk(12 + len, 'x');
    PutBE32(&chunk[0], len);
    std::memcpy(&chunk[4], type, 4);
    if (std::strcmp(type, "tEXt") == 0) chunk[8 + 7] = 0;  // keyword "xxxxxxx"
    PutBE32(&chunk[8 + len], static_cast<uint32_t>(crc32(0, &chunk[4], len + 4)));
    data.insert(data.begin() + at, chunk.begin(), chunk.end());
  }
  Result r = Read(data);
  ASSERT_FALSE(r.aborted) << r.failure.Reason;
  Result plain = Read(Suite("basn2c08.png"));
  EXPECT_EQ(Rows(r.bitmap, 96), Rows(plain.bitmap, 96));
}

TEST(PngRead, FailuresGiveTheLibrarysReason) {
  const auto data = Suite("basn2c08.png");
  auto badCrc = data;
  badCrc[29] ^= 0xFF;
  struct Case {
    const char* name;
    std::vector<uint8_t> data;
    const char* reason;
  };
  const Case cases[] = {
      {"not a PNG", {'G', 'I', 'F', '8', '9', 'a', 0, 0}, "PNG: Not a PNG file"},
      {"header checksum", badCrc, "PNG: IHDR: CRC error"},
      {"cut in the image data", std::vector<uint8_t>(data.begin(), data.end() - 40),
       "PNG: the data ends before the image does"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Result r = Read(c.data);
    EXPECT_TRUE(r.aborted);
    EXPECT_EQ(r.failure.Reason, c.reason);
    EXPECT_FALSE(r.failure.OutOfMemory);
  }
}

// Pillow's red, green, blue bytes of a file.
std::vector<uint8_t> PillowRGB(const std::string& path) {
  const std::string cmd =
      "/usr/bin/python3 -c \"import sys; from PIL import Image; "
      "sys.stdout.buffer.write(Image.open('" +
      path + "').convert('RGB').tobytes())\"";
  std::vector<uint8_t> out;
  FILE* pipe = popen(cmd.c_str(), "r");
  if (!pipe) return out;
  uint8_t buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.insert(out.end(), buf, buf + n);
  pclose(pipe);
  return out;
}

// The filter type byte of every row of a non-interlaced file.
std::vector<int> RowFilters(const std::vector<uint8_t>& png, int height, size_t rowBytes) {
  std::vector<uint8_t> idat;
  for (size_t pos = 8; pos + 8 <= png.size();) {
    const uint32_t len =
        (uint32_t(png[pos]) << 24) | (png[pos + 1] << 16) | (png[pos + 2] << 8) | png[pos + 3];
    if (std::memcmp(&png[pos + 4], "IDAT", 4) == 0)
      idat.insert(idat.end(), png.begin() + pos + 8, png.begin() + pos + 8 + len);
    pos += 12 + len;
  }
  std::vector<uint8_t> raw;
  int64_t n = 0;
  DecompressBuf(idat.data(), static_cast<int64_t>(idat.size()), 0, raw, n);
  std::vector<int> filters;
  for (int y = 0; y < height; ++y) filters.push_back(raw.at(y * (rowBytes + 1)));
  return filters;
}

TEST(PngWrite, EveryOutputKindReadsBackInLibpngAndPillow) {
  TBitmap photo = Photo(37, 23);
  TBitmap bw;
  SizeBitmap(bw, 37, 23, pf1bit);
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 37; ++x) SetPixelbw(bw.ScanLine(y), x, (x * y + x) % 3 == 0);
  const std::string dir = vxtest::TempDir();
  enum { kRgb, kGray1, kPalette };
  int fileNo = 0;
  for (const int kind : {kRgb, kGray1, kPalette})
    for (const bool interlaced : {false, true})
      for (const TIOPNGFilter filter : {ioPNG_FILTER_NONE, ioPNG_FILTER_SUB, ioPNG_FILTER_PAETH}) {
        SCOPED_TRACE(std::to_string(kind) + (interlaced ? " interlaced " : " ") +
                     std::to_string(filter));
        TIOParamsVals params;
        params.SamplesPerPixel = kind == kRgb ? 3 : 1;
        params.BitsPerSample = kind == kGray1 ? 1 : 8;
        params.PNG_Interlaced = interlaced;
        params.PNG_Filter = filter;
        params.PNG_Compression = 9;
        params.DpiX = 300;
        params.DpiY = 72;
        TBitmap& source = kind == kGray1 ? bw : photo;
        const auto data = Write(source, params);

        // What we expect in red, green, blue.
        std::vector<uint8_t> expected;
        Result back = Read(data);
        ASSERT_FALSE(back.aborted);
        EXPECT_EQ(back.params.PNG_Interlaced, interlaced);
        EXPECT_EQ(back.params.DpiX, 300);
        EXPECT_EQ(back.params.DpiY, 72);
        if (kind == kRgb) {
          EXPECT_EQ(back.params.SamplesPerPixel, 3);
          for (int y = 0; y < 23; ++y)
            for (int x = 0; x < 37; ++x) {
              const uint8_t* p = photo.ScanLine(y) + x * 3;
              expected.insert(expected.end(), {p[2], p[1], p[0]});
            }
        } else if (kind == kGray1) {
          EXPECT_EQ(back.bitmap.PixelFormat(), pf1bit);
          EXPECT_EQ(Rows(back.bitmap, 5), Rows(bw, 5));
          for (int y = 0; y < 23; ++y)
            for (int x = 0; x < 37; ++x) {
              const uint8_t v = GetPixelbw(bw.ScanLine(y), x) ? 255 : 0;
              expected.insert(expected.end(), {v, v, v});
            }
        } else {
          // Every pixel is a palette entry near the original colour.
          EXPECT_EQ(back.params.ColorMapCount, 256);
          for (int y = 0; y < 23; ++y)
            for (int x = 0; x < 37; ++x) {
              const uint8_t* p = back.bitmap.ScanLine(y) + x * 3;
              const uint8_t* o = photo.ScanLine(y) + x * 3;
              expected.insert(expected.end(), {p[2], p[1], p[0]});
              EXPECT_TRUE(std::find(back.params.ColorMap.begin(), back.params.ColorMap.end(),
                                    TRGB{p[0], p[1], p[2]}) != back.params.ColorMap.end());
              EXPECT_LE(std::abs(p[1] - o[1]), 48);
            }
        }
        const Image ref = RefDecode(data, 2);
        ASSERT_TRUE(ref.ok);
        EXPECT_EQ(ref.rows, expected);

        const std::string path = dir + "/w" + std::to_string(fileNo++) + ".png";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()),
                   static_cast<std::streamsize>(data.size()));
        EXPECT_EQ(PillowRGB(path), expected);

        if (!interlaced) {
          const size_t rowBytes = kind == kRgb ? 37 * 3 : kind == kGray1 ? 5 : 37;
          const int want = filter == ioPNG_FILTER_NONE ? 0 : filter == ioPNG_FILTER_SUB ? 1 : 4;
          EXPECT_EQ(RowFilters(data, 23, rowBytes), std::vector<int>(23, want));
        }
      }
}

TEST(PngWrite, ColourImageAsOneBitIsReducedToTwoColours) {
  TBitmap two;
  SizeBitmap(two, 16, 4, pf24bit);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 16; ++x) {
      uint8_t* p = two.ScanLine(y) + x * 3;
      p[0] = p[1] = p[2] = (x < 8) ? 20 : 200;
    }
  TIOParamsVals params;
  params.SamplesPerPixel = 1;
  params.BitsPerSample = 1;
  Result r = Read(Write(two, params));
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.bitmap.PixelFormat(), pf1bit);
  EXPECT_EQ(r.bitmap.ScanLine(2)[0], 0x00);
  EXPECT_EQ(r.bitmap.ScanLine(2)[1], 0xFF);
  // Asking for one bit but three samples gives colour, not a broken file.
  params.SamplesPerPixel = 3;
  Result c = Read(Write(two, params));
  ASSERT_FALSE(c.aborted);
  EXPECT_EQ(c.params.SamplesPerPixel, 3);
  EXPECT_EQ(c.bitmap.ScanLine(0)[0], 20);
}

TEST(PngWrite, BackgroundAndPaletteOfFewColours) {
  TBitmap photo;
  SizeBitmap(photo, 8, 8, pf24bit);  // one colour: black
  TIOParamsVals params;
  params.SamplesPerPixel = 1;
  params.PNG_Background = TRGB{0, 0, 0};
  Result p = Read(Write(photo, params), TRGB{9, 9, 9});
  ASSERT_FALSE(p.aborted);
  EXPECT_EQ(p.params.ColorMapCount, 256);
  EXPECT_EQ(p.params.PNG_Background, (TRGB{0, 0, 0}));

  params.SamplesPerPixel = 3;
  params.PNG_Background = TRGB{40, 50, 60};
  Result rgb = Read(Write(photo, params));
  ASSERT_FALSE(rgb.aborted);
  EXPECT_EQ(rgb.params.PNG_Background, (TRGB{40, 50, 60}));
}

TEST(PngWrite, ProgressAbortAndErrors) {
  TBitmap photo = Photo(20, 10);
  TIOParamsVals params;
  params.PNG_Interlaced = true;
  TMemoryStream s;
  bool abort = false;
  int events = 0;
  TProgressRec p;
  p.Aborting = &abort;
  p.ProgressEvent = [&](TObject*, int per) {
    EXPECT_LE(per, 100);
    ++events;
  };
  WritePNGStream(s, photo, params, p);
  EXPECT_FALSE(abort);
  EXPECT_EQ(p.Value, 70);
  EXPECT_EQ(events, 70);

  // A user abort stops the rows and leaves no end chunk.
  TMemoryStream cut;
  p.ProgressEvent = [&](TObject*, int per) {
    if (per >= 30) abort = true;
  };
  WritePNGStream(cut, photo, params, p);
  EXPECT_TRUE(abort);
  EXPECT_LT(p.Value, 70);
  const auto& d = cut.Data();
  ASSERT_GE(d.size(), 8u);
  EXPECT_NE(std::memcmp(&d[d.size() - 8], "IEND", 4), 0);

  // A stream that refuses the data, and an empty picture, raise.
  class Refusing : public TMemoryStream {
   public:
    int64_t Write(const void*, int64_t) override { return 0; }
  } refusing;
  abort = false;
  p.ProgressEvent = nullptr;
  EXPECT_THROW(WritePNGStream(refusing, photo, params, p), EInvalidGraphic);
  TBitmap empty;
  TMemoryStream out;
  try {
    WritePNGStream(out, empty, params, p);
    FAIL() << "no exception";
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "Error on creating PNG");
  }
}

TEST(PngWrite, FailuresRaiseAndKeepTheirReason) {
  // A stream that refuses the data, saying why when it can.
  class Refusing : public TMemoryStream {
   public:
    explicit Refusing(std::string why) : why_(std::move(why)) {}
    int64_t Write(const void*, int64_t) override { return 0; }
    std::string ErrorText() const override { return why_; }

   private:
    std::string why_;
  };
  TBitmap photo = Photo(20, 10);
  TBitmap empty;
  struct Case {
    const char* name;
    TBitmap* bitmap;
    std::string why;
    const char* reason;
  };
  const Case cases[] = {
      {"stream says why", &photo, "No space left on device", "No space left on device"},
      {"stream silent", &photo, "", "PNG: write error"},
      {"empty picture", &empty, "", "PNG: Invalid IHDR data"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Refusing refusing(c.why);
    TMemoryStream plain;
    TStream& out = c.bitmap == &empty ? static_cast<TStream&>(plain) : refusing;
    bool abort = false;
    TFailure failure;
    TProgressRec p;
    p.Aborting = &abort;
    p.Failure = &failure;
    TIOParamsVals params;
    try {
      WritePNGStream(out, *c.bitmap, params, p);
      ADD_FAILURE() << "no exception";
    } catch (const EInvalidGraphic& e) {
      EXPECT_STREQ(e.what(), "Error on creating PNG");
    }
    EXPECT_TRUE(abort);
    EXPECT_EQ(failure.Reason, c.reason);
  }
}

TEST(PngIO, ComponentUsesItsBackground) {
  TBitmap bitmap;
  TVantixIO io;
  io.SetAttachedBitmap(&bitmap);
  io.SetBackground(RGB2TColor(30, 20, 10));
  io.LoadFromFile(vxtest::CorpusPath("png/basn6a08.png"));
  ASSERT_FALSE(io.Aborting());
  EXPECT_EQ(io.Params().FileType, ioPNG);
  EXPECT_EQ(bitmap.ScanLine(0)[0], 10);  // blue
  EXPECT_EQ(bitmap.ScanLine(0)[2], 30);  // red
}

}  // namespace
