// The JPEG adapter against libjpeg-turbo driven directly: decoding the corpus, scaling,
// colour spaces, density, the encoder's settings, truncation, abort and stream errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "codecs/jpegfilt.h"
#include "core/vxdefs.h"
#include "io/ioparams.h"
#include "io/vantixio.h"
#include "pixellimit.h"
#include "platform/screen.h"
#include "platform/stream.h"
#include "testsupport.h"

using namespace vx;

namespace {

std::vector<uint8_t> Corpus(const std::string& name) {
  return ReadWholeFile(vxtest::CorpusPath("jpeg/" + name));
}

struct Decoded {
  bool ok = false;
  int width = 0, height = 0, comps = 0;
  std::vector<uint8_t> pixels;  // rows packed, comps bytes a pixel
};

// ---- libjpeg driven directly, as the reference ----

struct RefError {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};
[[noreturn]] void RefErrorExit(j_common_ptr c) {
  std::longjmp(reinterpret_cast<RefError*>(c->err)->jump, 1);
}
void RefSilent(j_common_ptr, int) {}

template <class F>
[[gnu::noinline]] bool RefCall(RefError& e, F&& f) {
  if (setjmp(e.jump) != 0) return false;
  f();
  return true;
}

Decoded RefDecode(const std::vector<uint8_t>& data, J_COLOR_SPACE out, unsigned denom = 1,
                  J_DCT_METHOD dct = JDCT_ISLOW) {
  Decoded d;
  jpeg_decompress_struct cinfo{};
  RefError err{};
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = RefErrorExit;
  err.pub.emit_message = RefSilent;
  std::vector<uint8_t>& px = d.pixels;
  d.ok = RefCall(err, [&] {
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = out;
    cinfo.scale_num = 1;
    cinfo.scale_denom = denom;
    cinfo.dct_method = dct;
    jpeg_start_decompress(&cinfo);
    d.width = static_cast<int>(cinfo.output_width);
    d.height = static_cast<int>(cinfo.output_height);
    d.comps = cinfo.output_components;
    px.resize(static_cast<size_t>(d.width) * d.height * d.comps);
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = px.data() + static_cast<size_t>(cinfo.output_scanline) * d.width * d.comps;
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
  });
  jpeg_destroy_decompress(&cinfo);
  return d;
}

struct RefSettings {
  J_COLOR_SPACE in = JCS_EXT_BGR;
  int comps = 3;
  J_COLOR_SPACE file = JCS_YCbCr;
  int quality = 50;
  J_DCT_METHOD dct = JDCT_ISLOW;
  bool optimize = false;
  int smooth = 0;
  bool progressive = false;
  bool arith = false;
  const jpeg_scan_info* scans = nullptr;  // a scan script of our own
  int scanCount = 0;
  int dpiX = 96, dpiY = 96;
};

// Encodes rows of width * comps bytes.
std::vector<uint8_t> RefEncode(const std::vector<uint8_t>& rows, int width, int height,
                               const RefSettings& s) {
  jpeg_compress_struct cinfo{};
  RefError err{};
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = RefErrorExit;
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  std::vector<uint8_t> out;
  const bool ok = RefCall(err, [&] {
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &mem, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = s.comps;
    cinfo.in_color_space = s.in;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, s.file);
    cinfo.density_unit = 1;
    cinfo.X_density = static_cast<UINT16>(s.dpiX);
    cinfo.Y_density = static_cast<UINT16>(s.dpiY);
    cinfo.dct_method = s.dct;
    cinfo.optimize_coding = s.optimize;
    cinfo.smoothing_factor = s.smooth;
    jpeg_set_quality(&cinfo, s.quality, TRUE);
    if (s.progressive) jpeg_simple_progression(&cinfo);
    cinfo.arith_code = s.arith ? TRUE : FALSE;
    if (s.scans) {
      cinfo.scan_info = s.scans;
      cinfo.num_scans = s.scanCount;
    }
    jpeg_start_compress(&cinfo, TRUE);
    // Rows of one (a flat picture) repeat the first row.
    const size_t rowBytes = static_cast<size_t>(width) * s.comps;
    const bool flat = rows.size() == rowBytes;
    while (cinfo.next_scanline < cinfo.image_height) {
      JSAMPROW row = const_cast<JSAMPROW>(rows.data()) +
                     (flat ? 0 : static_cast<size_t>(cinfo.next_scanline) * rowBytes);
      jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
  });
  jpeg_destroy_compress(&cinfo);
  if (ok) out.assign(mem, mem + size);
  std::free(mem);
  return out;
}

// ---- helpers ----

struct Result {
  bool aborted = false;
  TBitmap bitmap;
  TIOParamsVals params;
  int lastValue = 0;
  TFailure failure;
};

Result Read(const std::vector<uint8_t>& data, const TIOParamsVals& params, bool preview = false,
            const TBitmap* start = nullptr) {
  Result r;
  r.params = params;
  if (start) r.bitmap = *start;
  TMemoryStream s(data);
  TProgressRec p;
  p.Aborting = &r.aborted;
  p.Failure = &r.failure;
  ReadJPegStream(s, r.bitmap, r.params, p, preview);
  r.lastValue = p.Value;
  return r;
}

Result Read(const std::vector<uint8_t>& data) {
  return Read(data, TIOParamsVals());
}

std::vector<uint8_t> Write(TBitmap& bitmap, TIOParamsVals& params, bool* aborted = nullptr) {
  TMemoryStream s;
  bool abort = false;
  TProgressRec p;
  p.Aborting = &abort;
  WriteJPegStream(s, bitmap, params, p);
  if (aborted) *aborted = abort;
  return s.Data();
}

// Rows of a pf24bit bitmap packed without padding (blue, green, red).
std::vector<uint8_t> Packed(const TBitmap& b) {
  std::vector<uint8_t> out;
  for (int y = 0; y < b.Height(); ++y)
    out.insert(out.end(), b.ScanLine(y), b.ScanLine(y) + b.Width() * 3);
  return out;
}

std::vector<uint8_t> SwapRB(std::vector<uint8_t> v) {
  for (size_t i = 0; i + 2 < v.size(); i += 3) std::swap(v[i], v[i + 2]);
  return v;
}

// Smooth gradients plus a little deterministic noise.
TBitmap Photo(int w, int h) {
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  uint32_t seed = 12345;
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int n = static_cast<int>(seed >> 28) - 8;
      row[x * 3] = blimit(x * 255 / w + n);
      row[x * 3 + 1] = blimit(y * 255 / h + n);
      row[x * 3 + 2] = blimit((x + y) * 127 / (w + h) + 64 + n);
    }
  }
  return b;
}

TEST(JpegRead, TestorigIsTheLibrarysDecodeAndNearItsSource) {
  // testorig.ppm is the picture testorig.jpg was made from, not a decode of it: the
  // library's own slow-integer decode differs from it by up to 3 levels. Ours must be
  // that decode exactly, and as near the source.
  const auto ppm = Corpus("testorig.ppm");
  int w = 0, h = 0, maxv = 0, consumed = 0;
  ASSERT_EQ(std::sscanf(reinterpret_cast<const char*>(ppm.data()), "P6 %d %d %d%n", &w, &h, &maxv,
                        &consumed),
            3);
  const size_t offset = static_cast<size_t>(consumed) + 1;
  ASSERT_EQ(ppm.size(), offset + static_cast<size_t>(w) * h * 3);
  const std::vector<uint8_t> rgb(ppm.begin() + static_cast<std::ptrdiff_t>(offset), ppm.end());

  Result r = Read(Corpus("testorig.jpg"));
  ASSERT_FALSE(r.aborted);
  ASSERT_EQ(r.bitmap.PixelFormat(), pf24bit);
  ASSERT_EQ(r.bitmap.Width(), w);
  ASSERT_EQ(r.bitmap.Height(), h);
  const Decoded ref = RefDecode(Corpus("testorig.jpg"), JCS_EXT_BGR, 1, JDCT_ISLOW);
  ASSERT_TRUE(ref.ok);
  const auto ours = Packed(r.bitmap);
  EXPECT_EQ(ours, ref.pixels);
  const auto source = SwapRB(rgb);
  ASSERT_EQ(ours.size(), source.size());
  int maxDiff = 0;
  for (size_t i = 0; i < ours.size(); ++i)
    maxDiff = std::max(maxDiff, std::abs(int(ours[i]) - int(source[i])));
  EXPECT_LE(maxDiff, 3);
  EXPECT_EQ(r.params.Width, w);
  EXPECT_EQ(r.params.Height, h);
  EXPECT_EQ(r.params.JPEG_ColorSpace, ioJPEG_YCbCr);
  EXPECT_EQ(r.params.BitsPerSample, 8);
  EXPECT_EQ(r.params.SamplesPerPixel, 3);
  EXPECT_FALSE(r.params.JPEG_Progressive);
  // Density unit 0 with aspect 1:1.
  EXPECT_EQ(r.params.DpiX, 1);
  EXPECT_EQ(r.params.DpiY, 1);
  EXPECT_EQ(r.lastValue, h);
}

TEST(JpegRead, CorpusFilesMatchTheLibraryForEveryDctMethod) {
  struct Case {
    const char* file;
    bool progressive;
  };
  for (const Case c : {Case{"testorig.jpg", false}, Case{"testimgint.jpg", false},
                       Case{"testimgari.jpg", false}}) {
    for (const auto& [ours, lib] :
         {std::pair{ioJPEG_ISLOW, JDCT_ISLOW}, std::pair{ioJPEG_IFAST, JDCT_IFAST},
          std::pair{ioJPEG_FLOAT, JDCT_FLOAT}}) {
      SCOPED_TRACE(std::string(c.file) + " dct " + std::to_string(ours));
      const auto data = Corpus(c.file);
      const Decoded ref = RefDecode(data, JCS_EXT_BGR, 1, lib);
      ASSERT_TRUE(ref.ok);
      TIOParamsVals params;
      params.JPEG_DCTMethod = ours;
      Result r = Read(data, params);
      ASSERT_FALSE(r.aborted);
      EXPECT_EQ(r.params.JPEG_Progressive, c.progressive);
      EXPECT_EQ(Packed(r.bitmap), ref.pixels);
    }
  }
}

TEST(JpegRead, TwelveBitFileAbortsCleanly) {
  Result r = Read(Corpus("testorig12.jpg"));
  EXPECT_TRUE(r.aborted);
  EXPECT_TRUE(r.bitmap.Empty());
}

TEST(JpegRead, ScalesAndAutoCalc) {
  const auto data = Corpus("testorig.jpg");  // 227 x 149
  struct Case {
    TIOJPEGScale scale;
    int wantW, wantH;  // desired size for AUTOCALC
    unsigned denom;
  };
  const Case cases[] = {
      {ioJPEG_FULLSIZE, 0, 0, 1},       {ioJPEG_HALF, 0, 0, 2},     {ioJPEG_QUARTER, 0, 0, 4},
      {ioJPEG_EIGHTH, 0, 0, 8},         {ioJPEG_AUTOCALC, 0, 0, 1},  // no desired size: full size
      {ioJPEG_AUTOCALC, 227, 149, 1},                                // the picture's own size
      {ioJPEG_AUTOCALC, 113, 74, 2},                                 // a quarter of the area: half
      {ioJPEG_AUTOCALC, 56, 37, 4},                                  // a sixteenth
      {ioJPEG_AUTOCALC, 10, 10, 8},                                  // tiny: the smallest reduction
      {ioJPEG_AUTOCALC, 2000, 2000, 1},                              // larger than the picture
      {ioJPEG_AUTOCALC, 170, 112, 2},  // 19040 is nearer 113 x 74 than 227 x 149
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.scale) + " " + std::to_string(c.wantW) + "x" +
                 std::to_string(c.wantH));
    TIOParamsVals params;
    params.JPEG_Scale = c.scale;
    params.Width = c.wantW;
    params.Height = c.wantH;
    const Decoded ref = RefDecode(data, JCS_EXT_BGR, c.denom);
    ASSERT_TRUE(ref.ok);
    Result r = Read(data, params);
    ASSERT_FALSE(r.aborted);
    EXPECT_EQ(r.params.Width, ref.width);
    EXPECT_EQ(r.params.Height, ref.height);
    EXPECT_EQ(r.bitmap.Width(), ref.width);
    EXPECT_EQ(Packed(r.bitmap), ref.pixels);

    // Preview gives the same size and leaves the bitmap alone.
    params.Width = c.wantW;
    params.Height = c.wantH;
    Result p = Read(data, params, true);
    EXPECT_FALSE(p.aborted);
    EXPECT_EQ(p.params.Width, ref.width);
    EXPECT_EQ(p.params.Height, ref.height);
    EXPECT_TRUE(p.bitmap.Empty());
  }
}

TEST(JpegRead, TruncatedFileKeepsTheRowsReadSoFar) {
  const auto data = Corpus("testorig.jpg");
  const Decoded ref = RefDecode(data, JCS_EXT_BGR);
  ASSERT_TRUE(ref.ok);
  const std::vector<uint8_t> cut(data.begin(), data.begin() + data.size() / 2);
  Result r = Read(cut);
  EXPECT_TRUE(r.aborted);
  ASSERT_EQ(r.bitmap.Height(), ref.height);
  ASSERT_GT(r.lastValue, 0);
  ASSERT_LT(r.lastValue, ref.height);
  const size_t rowBytes = static_cast<size_t>(ref.width) * 3;
  for (int y = 0; y < r.lastValue; ++y)
    ASSERT_EQ(0, std::memcmp(r.bitmap.ScanLine(y), &ref.pixels[y * rowBytes], rowBytes)) << y;
  // Nothing invented below: the last row is untouched.
  const uint8_t* last = r.bitmap.ScanLine(ref.height - 1);
  EXPECT_TRUE(std::all_of(last, last + rowBytes, [](uint8_t v) { return v == 0; }));

  // Cut inside the header: nothing but Aborting.
  const std::vector<uint8_t> header(data.begin(), data.begin() + 100);
  Result h = Read(header);
  EXPECT_TRUE(h.aborted);
  EXPECT_TRUE(h.bitmap.Empty());
}

TEST(JpegRead, RejectsOtherData) {
  for (const std::vector<uint8_t>& data : {std::vector<uint8_t>{}, std::vector<uint8_t>{0xFF, 0xD8},
                                           std::vector<uint8_t>{'G', 'I', 'F', '8', '9', 'a'},
                                           std::vector<uint8_t>{0xFF, 0xD8, 0xFF, 0xD9}}) {
    Result r = Read(data);
    EXPECT_TRUE(r.aborted);
    EXPECT_TRUE(r.bitmap.Empty());
  }
}

TEST(JpegRead, UserAbortStopsAfterTheCurrentRow) {
  const auto data = Corpus("testorig.jpg");
  TMemoryStream s(data);
  TBitmap bitmap;
  TIOParamsVals params;
  bool abort = false;
  int calls = 0, lastPercent = -1;
  TProgressRec p;
  p.Aborting = &abort;
  p.ProgressEvent = [&](TObject*, int per) {
    EXPECT_GE(per, lastPercent);
    lastPercent = per;
    if (++calls == 10) abort = true;
  };
  ReadJPegStream(s, bitmap, params, p, false);
  EXPECT_TRUE(abort);
  EXPECT_EQ(calls, 10);
  EXPECT_EQ(p.Value, 10);
  EXPECT_EQ(lastPercent, 10 * 100 / 149);
}

TEST(JpegRead, LeavesTheStreamAfterTheImage) {
  TBitmap photo = Photo(64, 40);
  TIOParamsVals params;
  const auto one = Write(photo, params);
  std::vector<uint8_t> two = one;
  two.insert(two.end(), one.begin(), one.end());
  two.push_back(0x42);
  TMemoryStream s(two);
  for (int i = 0; i < 2; ++i) {
    TBitmap b;
    TIOParamsVals p;
    bool abort = false;
    TProgressRec pr;
    pr.Aborting = &abort;
    ReadJPegStream(s, b, p, pr, false);
    EXPECT_FALSE(abort);
    EXPECT_EQ(s.Position(), static_cast<int64_t>(one.size()) * (i + 1));
  }
}

TEST(JpegRead, DensityUnits) {
  TBitmap photo = Photo(16, 16);
  TIOParamsVals params;
  params.DpiX = 300;
  params.DpiY = 150;
  auto data = Write(photo, params);
  // JFIF APP0 right after SOI: units at 13, X density at 14, Y density at 16 (big-endian).
  ASSERT_EQ(std::memcmp(&data[6], "JFIF", 5), 0);
  struct Case {
    uint8_t units;
    int x, y, dpiX, dpiY;
  };
  for (const Case c : {Case{1, 300, 150, 300, 150}, Case{0, 2, 3, 2, 3}, Case{2, 118, 39, 299, 99},
                       Case{1, 0, 0, -1, -1}}) {
    data[13] = c.units;
    data[14] = static_cast<uint8_t>(c.x >> 8);
    data[15] = static_cast<uint8_t>(c.x);
    data[16] = static_cast<uint8_t>(c.y >> 8);
    data[17] = static_cast<uint8_t>(c.y);
    Result r = Read(data);
    ASSERT_FALSE(r.aborted);
    // A zero density is no resolution: the screen's is used.
    EXPECT_EQ(r.params.DpiX, c.dpiX < 0 ? gSystemDPIX : c.dpiX);
    EXPECT_EQ(r.params.DpiY, c.dpiY < 0 ? gSystemDPIY : c.dpiY);
  }
  // No JFIF marker at all (an RGB file): the screen resolution too.
  params.JPEG_ColorSpace = ioJPEG_RGB;
  Result rgb = Read(Write(photo, params));
  ASSERT_FALSE(rgb.aborted);
  EXPECT_EQ(rgb.params.DpiX, gSystemDPIX);
  EXPECT_EQ(rgb.params.DpiY, gSystemDPIY);
}

TEST(JpegWrite, SettingsGiveTheLibrarysOwnBytes) {
  TBitmap photo = Photo(97, 61);
  const auto bgr = Packed(photo);
  struct Case {
    const char* name;
    TIOJPEGColorspace cs;
    int quality;
    TIOJPEGDctMethod dct;
    bool optimal;
    int smooth;
    bool progressive;
  };
  const Case cases[] = {
      {"defaults", ioJPEG_YCbCr, 50, ioJPEG_ISLOW, false, 0, false},
      {"quality 95 optimal", ioJPEG_YCbCr, 95, ioJPEG_ISLOW, true, 0, false},
      {"quality 5 fast dct", ioJPEG_YCbCr, 5, ioJPEG_IFAST, false, 0, false},
      {"float dct smoothed", ioJPEG_YCbCr, 75, ioJPEG_FLOAT, false, 40, false},
      {"progressive", ioJPEG_YCbCr, 80, ioJPEG_ISLOW, false, 0, true},
      {"grey", ioJPEG_GRAYLEV, 60, ioJPEG_ISLOW, false, 0, false},
      {"rgb", ioJPEG_RGB, 90, ioJPEG_ISLOW, false, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TIOParamsVals params;
    params.JPEG_ColorSpace = c.cs;
    params.JPEG_Quality = c.quality;
    params.JPEG_DCTMethod = c.dct;
    params.JPEG_OptimalHuffman = c.optimal;
    params.JPEG_Smooth = c.smooth;
    params.JPEG_Progressive = c.progressive;
    params.DpiX = 72;
    params.DpiY = 144;
    bool aborted = true;
    const auto ours = Write(photo, params, &aborted);
    ASSERT_FALSE(aborted);
    RefSettings s;
    s.file = c.cs == ioJPEG_GRAYLEV ? JCS_GRAYSCALE : c.cs == ioJPEG_RGB ? JCS_RGB : JCS_YCbCr;
    s.quality = c.quality;
    s.dct = c.dct == ioJPEG_IFAST ? JDCT_IFAST : c.dct == ioJPEG_FLOAT ? JDCT_FLOAT : JDCT_ISLOW;
    s.optimize = c.optimal;
    s.smooth = c.smooth;
    s.progressive = c.progressive;
    s.dpiX = 72;
    s.dpiY = 144;
    // Fed red, green, blue rows the classic way: the bytes must not differ.
    s.in = JCS_RGB;
    EXPECT_EQ(ours, RefEncode(SwapRB(bgr), photo.Width(), photo.Height(), s));

    Result back = Read(ours);
    ASSERT_FALSE(back.aborted);
    EXPECT_EQ(back.params.JPEG_ColorSpace, c.cs);
    EXPECT_EQ(back.params.JPEG_Progressive, c.progressive);
  }
}

TEST(JpegWrite, PillowReadsWhatWeWrite) {
  TBitmap photo = Photo(40, 24);
  const std::string dir = vxtest::TempDir();
  for (const TIOJPEGColorspace cs : {ioJPEG_YCbCr, ioJPEG_RGB, ioJPEG_CMYK}) {
    TIOParamsVals params;
    params.JPEG_ColorSpace = cs;
    params.JPEG_Quality = 100;
    const std::string path = dir + "/pil" + std::to_string(cs) + ".jpg";
    {
      const auto data = Write(photo, params);
      std::ofstream(path, std::ios::binary)
          .write(reinterpret_cast<const char*>(data.data()),
                 static_cast<std::streamsize>(data.size()));
    }
    // Pillow prints the file's mode and the RGB pixel at (5, 7).
    const uint8_t* px = photo.ScanLine(7) + 5 * 3;
    // Pillow's own CMYK conversion expects the inverted (Adobe) form we write.
    const std::string cmd = "/usr/bin/python3 -c \"from PIL import Image; im=Image.open('" + path +
                            "'); print(im.mode, *im.convert('RGB').getpixel((5,7)))\" 2>&1";
    FILE* pipe = popen(cmd.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char mode[16] = {};
    int r = -1, g = -1, b = -1;
    const int n = std::fscanf(pipe, "%15s %d %d %d", mode, &r, &g, &b);
    pclose(pipe);
    ASSERT_EQ(n, 4) << cmd;
    EXPECT_STREQ(mode, cs == ioJPEG_CMYK ? "CMYK" : "RGB");
    EXPECT_NEAR(r, px[2], 6) << cs;
    EXPECT_NEAR(g, px[1], 6) << cs;
    EXPECT_NEAR(b, px[0], 6) << cs;
  }
}

TEST(JpegWrite, CmykAndYcckRoundTrip) {
  for (const TIOJPEGColorspace cs : {ioJPEG_CMYK, ioJPEG_YCbCrK}) {
    SCOPED_TRACE(cs);
    TBitmap black;
    SizeBitmap(black, 24, 16, pf24bit);  // all zero
    TIOParamsVals params;
    params.JPEG_ColorSpace = cs;
    params.JPEG_Quality = 95;
    const auto data = Write(black, params);
    // What the file holds is 0, 0, 0, 1 in every pixel.
    const Decoded raw = RefDecode(data, JCS_CMYK);
    ASSERT_TRUE(raw.ok);
    ASSERT_EQ(raw.comps, 4);
    for (size_t i = 0; i < raw.pixels.size(); i += 4) {
      ASSERT_LE(raw.pixels[i], 2);
      ASSERT_LE(raw.pixels[i + 1], 2);
      ASSERT_LE(raw.pixels[i + 2], 2);
      ASSERT_LE(raw.pixels[i + 3], 3);
    }
    Result r = Read(data);
    ASSERT_FALSE(r.aborted);
    EXPECT_EQ(r.params.JPEG_ColorSpace, cs);
    const auto px = Packed(r.bitmap);
    EXPECT_TRUE(std::all_of(px.begin(), px.end(), [](uint8_t v) { return v == 0; }));

    // Colours come back near where they were.
    TBitmap photo = Photo(48, 32);
    params.JPEG_Quality = 100;
    Result c = Read(Write(photo, params));
    ASSERT_FALSE(c.aborted);
    const auto want = Packed(photo), got = Packed(c.bitmap);
    ASSERT_EQ(want.size(), got.size());
    long total = 0;
    for (size_t i = 0; i < want.size(); ++i) total += std::abs(int(want[i]) - int(got[i]));
    EXPECT_LT(static_cast<double>(total) / want.size(), 3.0);
  }
}

TEST(JpegWrite, OneBitImagesAreExpanded) {
  TBitmap bw;
  SizeBitmap(bw, 32, 8, pf1bit);
  for (int y = 0; y < 8; ++y) bw.ScanLine(y)[0] = 0xFF;  // first 8 columns white
  TIOParamsVals params;
  params.JPEG_Quality = 100;
  Result r = Read(Write(bw, params));
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.bitmap.PixelFormat(), pf24bit);
  EXPECT_GT(r.bitmap.ScanLine(4)[2 * 3], 240);
  EXPECT_LT(r.bitmap.ScanLine(4)[20 * 3], 15);
  EXPECT_EQ(bw.PixelFormat(), pf1bit);  // the caller's bitmap is not changed
}

TEST(JpegWrite, UserAbortLeavesATruncatedStream) {
  TBitmap photo = Photo(64, 64);
  TMemoryStream s;
  bool abort = false;
  TProgressRec p;
  p.Aborting = &abort;
  p.ProgressEvent = [&](TObject*, int per) {
    if (per >= 50) abort = true;
  };
  TIOParamsVals params;
  WriteJPegStream(s, photo, params, p);
  EXPECT_TRUE(abort);
  EXPECT_EQ(p.Value, 32);
  const auto& d = s.Data();
  EXPECT_FALSE(d.size() >= 2 && d[d.size() - 2] == 0xFF && d[d.size() - 1] == 0xD9);
}

// A stream that accepts a few bytes and then fails, by a short write (saying why when it
// is given a text) or by throwing.
class FailingStream : public TMemoryStream {
 public:
  FailingStream(int64_t limit, bool throws, std::string why = {})
      : limit_(limit), throws_(throws), why_(std::move(why)) {}
  int64_t Write(const void* buffer, int64_t count) override {
    if (Size() + count > limit_) {
      if (throws_) throw std::runtime_error("disk full");
      failed_ = true;
      return 0;
    }
    return TMemoryStream::Write(buffer, count);
  }
  int64_t Read(void*, int64_t) override {
    if (throws_) throw std::runtime_error("read failed");
    return 0;
  }
  std::string ErrorText() const override { return failed_ ? why_ : std::string(); }

 private:
  int64_t limit_;
  bool throws_;
  std::string why_;
  bool failed_ = false;
};

TEST(JpegWrite, StreamFailuresEndInAbortingWithTheirReason) {
  TBitmap photo = Photo(300, 300);
  const std::string libraryText = "JPEG: Output file write error --- out of disk space?";
  struct Case {
    bool throws;
    const char* why;
    std::string reason;
  };
  for (const Case& c : {Case{false, "No space left on device", "No space left on device"},
                        Case{false, "", libraryText}, Case{true, "", libraryText}}) {
    SCOPED_TRACE(c.reason);
    FailingStream s(1000, c.throws, c.why);
    bool abort = false;
    TFailure failure;
    TProgressRec p;
    p.Aborting = &abort;
    p.Failure = &failure;
    TIOParamsVals params;
    params.JPEG_Quality = 100;
    WriteJPegStream(s, photo, params, p);
    EXPECT_TRUE(abort);
    EXPECT_EQ(failure.Reason, c.reason);
  }
  // An empty bitmap cannot be encoded.
  TBitmap empty;
  TMemoryStream out;
  bool abort = false;
  TFailure failure;
  TProgressRec p;
  p.Aborting = &abort;
  p.Failure = &failure;
  TIOParamsVals params;
  WriteJPegStream(out, empty, params, p);
  EXPECT_TRUE(abort);
  EXPECT_EQ(failure.Reason, "JPEG: Empty JPEG image (DNL not supported)");
}

// The file with its frame header claiming another size; the coded data stays as it was.
std::vector<uint8_t> WithFrameSize(std::vector<uint8_t> data, int w, int h) {
  for (size_t i = 2; i + 9 < data.size() && data[i] == 0xFF;) {
    const uint8_t m = data[i + 1];
    if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC) {
      data[i + 5] = static_cast<uint8_t>(h >> 8);
      data[i + 6] = static_cast<uint8_t>(h);
      data[i + 7] = static_cast<uint8_t>(w >> 8);
      data[i + 8] = static_cast<uint8_t>(w);
      return data;
    }
    i += 2 + ((size_t{data[i + 2]} << 8) | data[i + 3]);
  }
  ADD_FAILURE() << "no frame header";
  return data;
}

// A grey picture of one level, encoded by the library itself.
std::vector<uint8_t> FlatGrey(int w, int h, RefSettings s) {
  s.in = JCS_GRAYSCALE;
  s.comps = 1;
  s.file = JCS_GRAYSCALE;
  return RefEncode(std::vector<uint8_t>(static_cast<size_t>(w), 128), w, h, s);
}

// A known picture a failed read must leave alone.
TBitmap Known() {
  return Photo(7, 5);
}

bool Unchanged(const TBitmap& b) {
  const TBitmap k = Known();
  return b.Width() == k.Width() && b.Height() == k.Height() && Packed(b) == Packed(k);
}

TEST(JpegRead, DataBoundRefusesWhatTheDataCannotCodeAndKeepsWhatItCan) {
  TBitmap photo = Photo(16, 16);
  RefSettings colour;
  colour.in = JCS_EXT_BGR;
  RefSettings progressive = colour;
  progressive.progressive = true;
  RefSettings arith;
  arith.arith = true;
  RefSettings arithProgressive = arith;
  arithProgressive.progressive = true;
  const auto bgr = Packed(photo);
  const auto baselineFile = RefEncode(bgr, 16, 16, colour);
  const auto progressiveFile = RefEncode(bgr, 16, 16, progressive);
  const auto arithFile = FlatGrey(16, 16, arith);
  const auto arithProgressiveFile = FlatGrey(16, 16, arithProgressive);
  struct Case {
    const char* name;
    const std::vector<uint8_t>* file;
    int w, h;
    uint64_t limit;
    const char* reason;
  };
  const Case cases[] = {
      {"baseline beyond the limit", &baselineFile, 65500, 65500, kDefaultMaxImagePixels,
       "pixel limit"},
      {"20000 x 15000 beyond the limit", &baselineFile, 20000, 15000, kDefaultMaxImagePixels,
       "pixel limit"},
      // 16 million pixels need 94 KB even when flat.
      {"baseline within the limit", &baselineFile, 4000, 4000, kDefaultMaxImagePixels,
       "cannot code"},
      {"baseline, no limit", &baselineFile, 65500, 65500, 0, "cannot code"},
      {"progressive within the limit", &progressiveFile, 4000, 4000, kDefaultMaxImagePixels,
       "cannot code"},
      {"progressive, no limit", &progressiveFile, 65500, 65500, 0, "cannot code"},
      // Arithmetic coding needs only 512 bytes for 65500 x 65500 flat grey pixels.
      {"arithmetic, no limit", &arithFile, 65500, 65500, 0, "cannot code"},
      {"arithmetic progressive, no limit", &arithProgressiveFile, 65500, 65500, 0, "cannot code"},
  };
  const TBitmap known = Known();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vxtest::PixelLimit limit(c.limit);
    const auto data = WithFrameSize(*c.file, c.w, c.h);
    Result preview = Read(data, TIOParamsVals(), true);
    EXPECT_FALSE(preview.aborted);
    EXPECT_EQ(preview.params.Width, c.w);
    EXPECT_EQ(preview.params.Height, c.h);

    const auto start = std::chrono::steady_clock::now();
    Result r = Read(data, TIOParamsVals(), false, &known);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_TRUE(r.aborted);
    EXPECT_NE(r.failure.Reason.find(c.reason), std::string::npos) << r.failure.Reason;
    EXPECT_FALSE(r.failure.OutOfMemory);
    EXPECT_TRUE(Unchanged(r.bitmap));
    EXPECT_LT(seconds, 0.5);
  }

  // Optimised tables code a flat block in exactly the least the bound allows: a 1-bit DC
  // code and a 1-bit end of block in a sequential scan, a 1-bit DC code in the first
  // scan of a progressive file whose AC scan is a few end-of-band runs. Each file is
  // its bound plus headers, and must load.
  const jpeg_scan_info dcThenAc[] = {{1, {0, 0, 0, 0}, 0, 0, 0, 0}, {1, {0, 0, 0, 0}, 1, 63, 0, 0}};
  RefSettings optimised;
  optimised.optimize = true;
  RefSettings dcFirst = optimised;
  dcFirst.scans = dcThenAc;
  dcFirst.scanCount = 2;
  const int64_t blocks = 256 * 256;
  struct Flat {
    const char* name;
    const RefSettings* settings;
    int64_t boundBytes;
  };
  for (const Flat c : {Flat{"sequential", &optimised, blocks * 2 / 8},
                       Flat{"progressive", &dcFirst, blocks / 8}}) {
    SCOPED_TRACE(c.name);
    const auto data = FlatGrey(2048, 2048, *c.settings);
    ASSERT_GE(static_cast<int64_t>(data.size()), c.boundBytes);
    EXPECT_LT(static_cast<int64_t>(data.size()), c.boundBytes + 1000);
    Result r = Read(data);
    ASSERT_FALSE(r.aborted) << r.failure.Reason;
    EXPECT_EQ(r.params.JPEG_Progressive, c.settings == &dcFirst);
    EXPECT_EQ(Packed(r.bitmap), RefDecode(data, JCS_EXT_BGR).pixels);
  }
}

TEST(JpegRead, PixelLimitAppliesToTheOutputUnlessTheFileIsHeldWhole) {
  TBitmap photo = Photo(1200, 1000);
  TIOParamsVals params;
  const auto baseline = Write(photo, params);
  params.JPEG_Progressive = true;
  const auto progressive = Write(photo, params);
  const TBitmap known = Known();

  vxtest::PixelLimit limit(1'000'000);
  Result full = Read(baseline, TIOParamsVals(), false, &known);
  EXPECT_TRUE(full.aborted);
  EXPECT_NE(full.failure.Reason.find("pixel limit"), std::string::npos) << full.failure.Reason;
  EXPECT_TRUE(Unchanged(full.bitmap));
  Result preview = Read(baseline, TIOParamsVals(), true);
  EXPECT_FALSE(preview.aborted);
  EXPECT_EQ(preview.params.Width, 1200);

  TIOParamsVals half;
  half.JPEG_Scale = ioJPEG_HALF;
  Result scaled = Read(baseline, half);
  ASSERT_FALSE(scaled.aborted) << scaled.failure.Reason;
  EXPECT_EQ(scaled.bitmap.Width(), 600);
  EXPECT_EQ(Packed(scaled.bitmap), RefDecode(baseline, JCS_EXT_BGR, 2).pixels);
  // A progressive file is decoded whole at full size, whatever the output.
  Result whole = Read(progressive, half, false, &known);
  EXPECT_TRUE(whole.aborted);
  EXPECT_NE(whole.failure.Reason.find("decoded whole"), std::string::npos) << whole.failure.Reason;
  EXPECT_TRUE(Unchanged(whole.bitmap));

  vxtest::PixelLimit raised(1'200'000);
  Result now = Read(progressive);
  ASSERT_FALSE(now.aborted) << now.failure.Reason;
  EXPECT_EQ(Packed(now.bitmap), RefDecode(progressive, JCS_EXT_BGR).pixels);
}

TEST(JpegRead, FailuresGiveTheLibrarysReason) {
  const auto orig = Corpus("testorig.jpg");
  struct Case {
    const char* name;
    std::vector<uint8_t> data;
    const char* reason;
  };
  const Case cases[] = {
      {"not a JPEG", {'G', 'I', 'F', '8', '9', 'a'}, "JPEG: no start-of-image marker"},
      {"12 bits", Corpus("testorig12.jpg"), "JPEG: Unsupported JPEG data precision 12"},
      {"cut in the data", std::vector<uint8_t>(orig.begin(), orig.begin() + orig.size() / 2),
       "JPEG: Premature end of JPEG file"},
      {"cut in the header", std::vector<uint8_t>(orig.begin(), orig.begin() + 100),
       "JPEG: Premature end of JPEG file"},
      {"no frame", {0xFF, 0xD8, 0xFF, 0xD9}, "JPEG: JPEG datastream contains no image"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Result r = Read(c.data);
    EXPECT_TRUE(r.aborted);
    EXPECT_EQ(r.failure.Reason, c.reason);
    EXPECT_FALSE(r.failure.OutOfMemory);
  }
}

TEST(JpegIO, ComponentLoadsAndSavesJpeg) {
  TBitmap bitmap;
  TVantixIO io;
  io.SetAttachedBitmap(&bitmap);
  io.LoadFromFile(vxtest::CorpusPath("jpeg/testimgint.jpg"));
  ASSERT_FALSE(io.Aborting());
  EXPECT_EQ(bitmap.Width(), 227);
  EXPECT_EQ(io.Params().FileType, ioJPEG);
  TMemoryStream s;
  io.SaveToStream(s, ioJPEG);
  ASSERT_FALSE(io.Aborting());
  s.SetPosition(0);
  TBitmap again;
  io.SetAttachedBitmap(&again);
  io.LoadFromStream(s);
  EXPECT_FALSE(io.Aborting());
  EXPECT_EQ(again.Width(), 227);
}

}  // namespace
