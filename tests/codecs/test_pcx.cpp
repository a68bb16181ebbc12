// The PCX codec: files we write read by ImageMagick and Pillow, files they write read by
// us, hand-made fixtures for the planar and run-length details, and damaged input.
#include "codecs/pcxfilter.h"

#include <gtest/gtest.h>

#include "pixellimit.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "io/vantixio.h"
#include "platform/bitmap.h"
#include "platform/screen.h"
#include "platform/stream.h"
#include "proc/convert1bit.h"
#include "testsupport.h"

namespace {

using namespace vx;
using Bytes = std::vector<uint8_t>;

Bytes MagickPixels(const std::string& file) {
  const std::string s = vxtest::RunCommand("convert '" + file + "' -depth 8 rgb:-");
  return Bytes(s.begin(), s.end());
}

Bytes PillowPixels(const std::string& file) {
  const std::string s = vxtest::RunCommand(
      "/usr/bin/python3 -c \"import sys; from PIL import Image; "
      "sys.stdout.buffer.write(Image.open(sys.argv[1]).convert('RGB').tobytes())\" '" +
      file + "' 2>/dev/null");
  return Bytes(s.begin(), s.end());
}

Bytes Pixels(const TBitmap& b) {
  Bytes out;
  for (int y = 0; y < b.Height(); ++y) {
    const uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < b.Width(); ++x) {
      if (b.PixelFormat() == pf1bit) {
        const uint8_t v = GetPixelbw(row, x) ? 255 : 0;
        out.insert(out.end(), {v, v, v});
      } else {
        out.insert(out.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
      }
    }
  }
  return out;
}

TBitmap MakeImage(int w, int h) {
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<TRGB*>(b.ScanLine(y));
    for (int x = 0; x < w; ++x)
      row[x] = CreateRGB(static_cast<uint8_t>(x * 255 / w), static_cast<uint8_t>(y * 255 / h),
                         static_cast<uint8_t>((x * y * 3) & 0xFF));
  }
  return b;
}

struct ReadResult {
  bool aborted = false;
  TBitmap bitmap;
  TIOParamsVals params;
  TFailure failure;
};

// Reads into bitmap (moved in, so that a test can see what a refusal leaves).
ReadResult ReadOurs(const Bytes& file, bool preview = false, TBitmap bitmap = {}) {
  ReadResult r;
  r.bitmap.Swap(bitmap);
  TMemoryStream s(file);
  TProgressRec pr;
  pr.Aborting = &r.aborted;
  pr.Failure = &r.failure;
  ReadPcxStream(s, r.bitmap, r.params, preview, pr, static_cast<int64_t>(file.size()));
  return r;
}

Bytes WriteOurs(TBitmap& b, TIOParamsVals& p, bool* aborted = nullptr) {
  bool a = false;
  TProgressRec pr;
  pr.Aborting = &a;
  TMemoryStream s;
  WritePcxStream(s, b, p, pr);
  if (aborted) *aborted = a;
  return s.Data();
}

// A 128-byte header for hand-made files.
Bytes Header(int bits, int planes, int w, int h, int lineLen, bool rle) {
  Bytes hd(128, 0);
  hd[0] = 10;
  hd[1] = 5;
  hd[2] = rle ? 1 : 0;
  hd[3] = static_cast<uint8_t>(bits);
  hd[8] = static_cast<uint8_t>(w - 1);
  hd[10] = static_cast<uint8_t>(h - 1);
  hd[12] = 72;
  hd[14] = 72;
  hd[65] = static_cast<uint8_t>(planes);
  hd[66] = static_cast<uint8_t>(lineLen);
  hd[68] = 1;
  return hd;
}

struct Layout {
  const char* name;
  int bits, samples;
  // ImageMagick reads one-bit files with set bits black whatever the palette says
  // (Pillow's own one-bit files too), so those are left to Pillow.
  bool magickReads;
  // Pillow has no reader for 16 colours packed in one plane.
  bool pillowReads;
};

TEST(PcxWrite, PeersReadEveryLayoutWeWrite) {
  const bool magick = vxtest::CommandSucceeds("convert -version");
  const bool pillow = vxtest::CommandSucceeds("/usr/bin/python3 -c 'import PIL'");
  const std::string dir = vxtest::TempDir();
  TBitmap src = MakeImage(37, 11);  // odd width: every line needs its pad byte
  const Layout layouts[] = {{"1bit", 1, 1, false, true},
                            {"4bit", 4, 1, true, false},
                            {"8bit", 8, 1, true, true},
                            {"24bit", 8, 3, true, true}};
  for (const Layout& l : layouts)
    for (bool rle : {true, false}) {
      SCOPED_TRACE(testing::Message() << l.name << (rle ? " rle" : " raw"));
      TIOParamsVals p;
      p.BitsPerSample = l.bits;
      p.SamplesPerPixel = l.samples;
      p.PCX_Compression = rle ? ioPCX_RLE : ioPCX_UNCOMPRESSED;
      const Bytes file = WriteOurs(src, p);
      ReadResult ours = ReadOurs(file);
      ASSERT_FALSE(ours.aborted);
      EXPECT_EQ(file[66] % 2, 0);
      const Bytes mine = Pixels(ours.bitmap);
      if (l.bits == 8 && l.samples == 3) {
        EXPECT_EQ(mine, Pixels(src));
      }
      if (l.bits == 1) {
        TBitmap dithered;
        dithered.Assign(src);
        TProgressRec quiet;
        ConvertToBWOrdered(dithered, quiet);
        EXPECT_EQ(mine, Pixels(dithered));
      }
      const std::string name = dir + "/" + l.name + (rle ? "r" : "u") + ".pcx";
      TMemoryStream(file).SaveToFile(name);
      EXPECT_EQ(file[1], 5);
      if (magick && l.magickReads) {
        EXPECT_EQ(MagickPixels(name), mine);
      }
      // Pillow decodes every PCX file as run-length coded.
      if (pillow && l.pillowReads && rle) {
        EXPECT_EQ(PillowPixels(name), mine);
      }
    }
}

// Files the peers write, read by us with the pixels the peers decode.
TEST(PcxRead, FilesThePeersWrite) {
  const std::string dir = vxtest::TempDir();
  TBitmap src = MakeImage(29, 13);
  const std::string ppm = dir + "/src.ppm";
  {
    TMemoryStream s;
    const std::string head = "P6\n29 13\n255\n";
    s.WriteBuffer(head.data(), static_cast<int64_t>(head.size()));
    const Bytes px = Pixels(src);
    s.WriteBuffer(px.data(), static_cast<int64_t>(px.size()));
    s.SaveToFile(ppm);
  }
  struct Case {
    std::string name, command;
    bool pillowDecodes;  // the oracle: the writer's own decode
  };
  std::vector<Case> cases;
  if (vxtest::CommandSucceeds("convert -version")) {
    cases.push_back({"im-palette", "convert '" + ppm + "' -type palette '%s'", false});
    cases.push_back({"im-bilevel", "convert '" + ppm + "' -type bilevel '%s'", false});
    cases.push_back({"im-truecolor", "convert '" + ppm + "' -type truecolor '%s'", false});
  }
  if (vxtest::CommandSucceeds("/usr/bin/python3 -c 'import PIL'")) {
    for (const char* mode : {"1", "P", "RGB"})
      cases.push_back({std::string("pil-") + mode,
                       "/usr/bin/python3 -c \"import sys; from PIL import Image; "
                       "Image.open(sys.argv[1]).convert('" +
                           std::string(mode) + "').save(sys.argv[2])\" '" + ppm + "' '%s'",
                       true});
  }
  if (cases.empty()) GTEST_SKIP() << "no peer installed";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = dir + "/" + c.name + ".pcx";
    std::string cmd = c.command;
    cmd.replace(cmd.find("%s"), 2, out);
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    ReadResult r = ReadOurs(ReadWholeFile(out));
    ASSERT_FALSE(r.aborted);
    EXPECT_EQ(r.bitmap.Width(), 29);
    EXPECT_EQ(Pixels(r.bitmap), c.pillowDecodes ? PillowPixels(out) : MagickPixels(out));
  }
}

// Four 1-bit planes: plane n contributes value 2^n; colours from the header palette.
TEST(PcxRead, SixteenColourPlanarFile) {
  Bytes f = Header(1, 4, 8, 2, 2, false);
  for (int i = 0; i < 16; ++i) {
    f[16 + 3 * i] = static_cast<uint8_t>(i * 16);
    f[17 + 3 * i] = static_cast<uint8_t>(255 - i * 16);
    f[18 + 3 * i] = static_cast<uint8_t>(i);
  }
  // Row 0: pixel x has value x (planes hold its bits); row 1: all 15.
  const uint8_t rows[2][4] = {{0x55, 0x33, 0x0F, 0x00}, {0xFF, 0xFF, 0xFF, 0xFF}};
  for (const auto& row : rows)
    for (uint8_t plane : row) f.insert(f.end(), {plane, 0});
  ReadResult r = ReadOurs(f);
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.params.BitsPerSample, 4);
  EXPECT_EQ(r.params.SamplesPerPixel, 1);
  EXPECT_EQ(r.params.ColorMapCount, 16);
  Bytes expected;
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 8; ++x) {
      const int v = y == 0 ? x : 15;
      expected.insert(expected.end(),
                      {static_cast<uint8_t>(v * 16), static_cast<uint8_t>(255 - v * 16),
                       static_cast<uint8_t>(v)});
    }
  EXPECT_EQ(Pixels(r.bitmap), expected);
  if (vxtest::CommandSucceeds("convert -version")) {
    const std::string name = vxtest::TempDir() + "/planar.pcx";
    TMemoryStream(f).SaveToFile(name);
    EXPECT_EQ(MagickPixels(name), expected);
  }
}

TEST(PcxRead, RunCrossesIntoTheNextPlaneLine) {
  Bytes f = Header(8, 3, 4, 1, 4, true);
  // Six 7s: the whole red line and the first two green bytes.
  f.insert(f.end(), {0xC6, 7, 8, 8, 0xC4, 9});
  ReadResult r = ReadOurs(f);
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.params.BitsPerSample, 8);
  EXPECT_EQ(r.params.SamplesPerPixel, 3);
  EXPECT_EQ(Pixels(r.bitmap), (Bytes{7, 7, 9, 7, 7, 9, 7, 8, 9, 7, 8, 9}));
}

TEST(PcxWrite, LineEncoderCases) {
  struct Case {
    const char* name;
    std::vector<uint8_t> red;  // the red plane of a one-row true-colour image
    std::vector<uint8_t> encoded;
  };
  const std::vector<Case> cases = {
      {"0xC5 alone", {0xC5, 0x10}, {0xC1, 0xC5, 0x10}},
      {"odd length, pad byte", {1, 2, 3, 4, 5}, {1, 2, 3, 4, 5, 0}},
      {"run then pad", {9, 9, 9}, {0xC3, 9, 0}},
      {"run of 63 and the rest", std::vector<uint8_t>(70, 4), {0xFF, 4, 0xC7, 4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int w = static_cast<int>(c.red.size());
    TBitmap b;
    SizeBitmap(b, w, 1, pf24bit);
    for (int x = 0; x < w; ++x)
      reinterpret_cast<TRGB*>(b.ScanLine(0))[x] = CreateRGB(c.red[x], 0, 0);
    TIOParamsVals p;
    p.BitsPerSample = 8;
    p.SamplesPerPixel = 3;
    const Bytes f = WriteOurs(b, p);
    ASSERT_GT(f.size(), 128 + c.encoded.size());
    EXPECT_EQ(f[66] | (f[67] << 8), w + (w & 1));
    EXPECT_EQ(Bytes(f.begin() + 128, f.begin() + 128 + static_cast<long>(c.encoded.size())),
              c.encoded);
    EXPECT_EQ(Pixels(ReadOurs(f).bitmap), Pixels(b));
  }
  // An 8-bit image five pixels wide: six bytes a line, the sixth an encoded pad.
  TBitmap b = MakeImage(5, 3);
  TIOParamsVals p;
  p.BitsPerSample = 8;
  p.SamplesPerPixel = 1;
  const Bytes f = WriteOurs(b, p);
  EXPECT_EQ(f[66], 6);
  EXPECT_EQ(f[f.size() - 769], 0x0C);
}

TEST(PcxRead, HeaderChecksAndDamagedData) {
  const Bytes good = [] {
    Bytes f = Header(8, 3, 4, 2, 4, true);
    f.insert(f.end(), {0xCC, 1, 0xCC, 2});
    return f;
  }();
  ASSERT_FALSE(ReadOurs(good).aborted);
  struct Case {
    const char* name;
    size_t offset;
    uint8_t value;
  };
  for (const Case& c : {Case{"manufacturer", 0, 11}, Case{"encoding", 2, 2}, Case{"bits", 3, 16}}) {
    SCOPED_TRACE(c.name);
    Bytes f = good;
    f[c.offset] = c.value;
    EXPECT_TRUE(ReadOurs(f).aborted);
  }
  // A count byte with no value after it, a short file and a missing row.
  EXPECT_TRUE(ReadOurs(Bytes(good.begin(), good.end() - 1)).aborted);
  EXPECT_TRUE(ReadOurs(Bytes(good.begin(), good.begin() + 100)).aborted);
  EXPECT_TRUE(ReadOurs(Bytes(good.begin(), good.end() - 2)).aborted);
  // A huge image with a few bytes of data is refused before anything is allocated.
  Bytes huge = good;
  huge[8] = 0xFE;
  huge[9] = huge[10] = huge[11] = 0xFF;
  huge[66] = huge[67] = 0xFF;
  EXPECT_TRUE(ReadOurs(huge).aborted);
  // A layout without a reader is reported as a failure.
  Bytes twoBit = Header(2, 1, 4, 1, 2, false);
  twoBit.insert(twoBit.end(), {0, 0});
  EXPECT_TRUE(ReadOurs(twoBit).aborted);
  // Resolution: one value 0 gives the screen resolution for both.
  Bytes dpi = good;
  dpi[12] = 0;
  dpi[14] = 44;
  dpi[15] = 1;  // 300
  ReadResult r = ReadOurs(dpi, true);
  EXPECT_EQ(r.params.DpiX, gSystemDPIX);
  EXPECT_EQ(r.params.DpiY, gSystemDPIY);
}

TEST(PcxWrite, UnsupportedLayoutWritesNothing) {
  TBitmap b = MakeImage(4, 4);
  TIOParamsVals p;
  p.BitsPerSample = 2;
  p.SamplesPerPixel = 1;
  bool aborted = false;
  EXPECT_TRUE(WriteOurs(b, p, &aborted).empty());
  EXPECT_TRUE(aborted);
}

TEST(PcxStream, HeadedImagesReadOneAfterTheOther) {
  TBitmap a = MakeImage(9, 5), b = MakeImage(6, 7);
  TMemoryStream s;
  TVantixIO io;
  io.SetStreamHeaders(true);
  for (TBitmap* bm : {&a, &b}) {
    io.SetAttachedBitmap(bm);
    io.Params().BitsPerSample = 8;
    io.Params().SamplesPerPixel = 3;
    io.SaveToStreamPCX(s);
    ASSERT_FALSE(io.Aborting());
  }
  const int64_t end = s.Position();
  s.SetPosition(0);
  TBitmap got;
  io.SetAttachedBitmap(&got);
  io.LoadFromStream(s);
  ASSERT_FALSE(io.Aborting());
  EXPECT_EQ(Pixels(got), Pixels(a));
  io.LoadFromStream(s);
  ASSERT_FALSE(io.Aborting());
  EXPECT_EQ(Pixels(got), Pixels(b));
  EXPECT_EQ(s.Position(), end);
}

// ---- hostile sizes ----

using vxtest::PixelLimit;

// Refused with a reason that says why, quickly, the bitmap (MakeImage(5, 4)) as it was.
void ExpectRefused(const Bytes& file, const std::string& why) {
  const auto t0 = std::chrono::steady_clock::now();
  const ReadResult r = ReadOurs(file, false, MakeImage(5, 4));
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 2.0);
  EXPECT_TRUE(r.aborted);
  EXPECT_NE(r.failure.Reason.find(why), std::string::npos) << "reason: " << r.failure.Reason;
  EXPECT_EQ(Pixels(r.bitmap), Pixels(MakeImage(5, 4)));
}

// An RLE file of the given header whose data is n runs of 63 zero bytes.
Bytes RunsFile(int bits, int planes, int w, int h, int lineLen, int runs) {
  Bytes f = Header(bits, planes, w, h, lineLen, true);
  f[9] = static_cast<uint8_t>((w - 1) >> 8);
  f[11] = static_cast<uint8_t>((h - 1) >> 8);
  f[67] = static_cast<uint8_t>(lineLen >> 8);
  for (int i = 0; i < runs; ++i) f.insert(f.end(), {0xFF, 0});
  return f;
}

TEST(PcxRead, HugeHeaderIsRefusedBeforeAnythingIsAllocated) {
  // 65534 x 65535 in three planes (12.9 GB of scan lines) behind 64 kB of runs.
  const Bytes huge = RunsFile(8, 3, 65534, 65535, 65534, 32768);
  {
    PixelLimit limit(kDefaultMaxImagePixels);
    ExpectRefused(huge, "pixel limit");
  }
  PixelLimit none(0);
  ExpectRefused(huge, "data too short");
  // A preview is not limited and reports the size.
  const ReadResult r = ReadOurs(huge, true);
  EXPECT_EQ(r.params.Width, 65534);
  EXPECT_EQ(r.params.Height, 65535);
}

TEST(PcxRead, RunLengthDataJustifiesAtMost63BytesPerRun) {
  // 200 runs in 400 bytes give 12600 bytes: 100 lines of 126 bytes load, 101 do not.
  const Bytes exact = RunsFile(1, 1, 1008, 100, 126, 200);
  const ReadResult r = ReadOurs(exact);
  ASSERT_FALSE(r.aborted) << r.failure.Reason;
  EXPECT_EQ(r.bitmap.Height(), 100);
  EXPECT_EQ(Pixels(r.bitmap), Bytes(1008 * 100 * 3, 0));
  ExpectRefused(RunsFile(1, 1, 1008, 101, 126, 200), "data too short");
}

TEST(PcxRead, ImagesUpToTheLimitLoadAndOneMorePixelIsRefused) {
  TBitmap image = MakeImage(9, 5);
  for (const int samples : {1, 3}) {
    SCOPED_TRACE(samples);
    TIOParamsVals p;
    p.BitsPerSample = 8;
    p.SamplesPerPixel = samples;
    const Bytes file = WriteOurs(image, p);
    const ReadResult free = ReadOurs(file);
    ASSERT_FALSE(free.aborted);
    {
      PixelLimit limit(45);
      const ReadResult r = ReadOurs(file);
      EXPECT_FALSE(r.aborted) << r.failure.Reason;
      EXPECT_EQ(Pixels(r.bitmap), Pixels(free.bitmap));
    }
    PixelLimit limit(44);
    ExpectRefused(file, "pixel limit");
    const ReadResult preview = ReadOurs(file, true);
    EXPECT_FALSE(preview.aborted);
    EXPECT_EQ(preview.params.Width, 9);
  }
}

TEST(PcxRead, FailuresSayWhy) {
  const Bytes good = RunsFile(8, 3, 4, 2, 4, 1);
  struct Case {
    const char* name;
    Bytes data;
    const char* why;
  };
  Bytes wrong = good;
  wrong[0] = 11;
  Bytes twoBit = Header(2, 1, 4, 1, 2, false);
  twoBit.insert(twoBit.end(), {0, 0});
  Bytes narrow = good;
  narrow[66] = 3;
  const Case cases[] = {
      {"header", wrong, "not a PCX header"},
      {"layout", twoBit, "unsupported layout"},
      {"line length", narrow, "too short for the width"},
      {"palette", Header(8, 1, 4, 1, 4, false), "palette"},
      {"rows", Bytes(good.begin(), good.end() - 1), "ends before the last row"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ReadResult r = ReadOurs(c.data);
    EXPECT_TRUE(r.aborted);
    EXPECT_NE(r.failure.Reason.find(c.why), std::string::npos) << "reason: " << r.failure.Reason;
  }
}

}  // namespace
