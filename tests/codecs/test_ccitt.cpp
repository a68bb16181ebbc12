// CCITT row coding checked against libtiff: our decoders on the raw strips of fax files
// (corpus files and files libtiff's tiffcp writes in every scheme and both fill orders),
// compared row by row with libtiff's own decode; our encoders by letting libtiff read our
// data back; hand-made bit strings for the codes libtiff does not write (EOL handling,
// uncompressed mode); damaged and truncated data.
#include "codecs/tifccitt.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/stream.h"
#include "testsupport.h"

namespace {

using namespace vx;
using Bytes = std::vector<uint8_t>;
using Rows = std::vector<Bytes>;

int RowBytes(int width) {
  return (width + 7) / 8;
}

bool Pixel(const Bytes& row, int x) {
  return (row[size_t(x / 8)] >> (7 - x % 8)) & 1;
}

// Rows equal over the first width pixels; invert compares a with the complement of b.
::testing::AssertionResult SameRow(const Bytes& a, const Bytes& b, int width, bool invert) {
  for (int x = 0; x < width; ++x) {
    if (Pixel(a, x) != (Pixel(b, x) != invert))
      return ::testing::AssertionFailure() << "first difference at pixel " << x;
  }
  return ::testing::AssertionSuccess();
}

// libtiff messages, collected so that a test can insist on a clean decode.
std::vector<std::string>& TiffMessages() {
  static std::vector<std::string> messages;
  return messages;
}
void CollectTiffMessage(const char* module, const char* fmt, va_list ap) {
  char text[512];
  std::vsnprintf(text, sizeof text, fmt, ap);
  TiffMessages().push_back(std::string(module ? module : "") + ": " + text);
}
struct TiffMessageCapture {
  TiffMessageCapture() {
    TiffMessages().clear();
    oldError = TIFFSetErrorHandler(CollectTiffMessage);
    oldWarning = TIFFSetWarningHandler(CollectTiffMessage);
  }
  ~TiffMessageCapture() {
    TIFFSetErrorHandler(oldError);
    TIFFSetWarningHandler(oldWarning);
  }
  TIFFErrorHandler oldError, oldWarning;
};

// A bilevel TIFF page as libtiff sees it: tags, raw strips and decoded rows (libtiff's
// convention: a set bit is a pixel coded black).
struct FaxPage {
  int width = 0, height = 0, rowsPerStrip = 0;
  uint16_t compression = 0, fillOrder = 1;
  uint32_t t4Options = 0;
  std::vector<Bytes> strips;
  Rows rows;
};

FaxPage ReadFaxPage(const std::string& path) {
  FaxPage p;
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) return p;
  uint32_t w = 0, h = 0, rps = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rps);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &p.compression);
  TIFFGetFieldDefaulted(tif, TIFFTAG_FILLORDER, &p.fillOrder);
  if (p.compression == COMPRESSION_CCITTFAX3)
    TIFFGetFieldDefaulted(tif, TIFFTAG_GROUP3OPTIONS, &p.t4Options);
  p.width = int(w);
  p.height = int(h);
  p.rowsPerStrip = int(std::min(rps, h));
  for (tstrip_t s = 0; s < TIFFNumberOfStrips(tif); ++s) {
    const tmsize_t size = TIFFRawStripSize(tif, s);
    Bytes strip(size_t(std::max<tmsize_t>(size, 0)));
    if (size > 0) TIFFReadRawStrip(tif, s, strip.data(), size);
    p.strips.push_back(std::move(strip));
  }
  for (int y = 0; y < p.height; ++y) {
    Bytes row(size_t(TIFFScanlineSize(tif)));
    TIFFReadScanline(tif, row.data(), uint32_t(y), 0);
    p.rows.push_back(std::move(row));
  }
  TIFFClose(tif);
  return p;
}

// Decodes rows of one strip with our decoders (rows: 1 = code white). Stops at the first
// row that reports -1; failedRow receives its index (-1 when none failed).
Rows DecodeStrip(const Bytes& strip, int width, int rows, uint16_t compression, uint32_t t4Options,
                 int fillOrder, int& failedRow) {
  Rows out;
  Bytes ref(size_t(RowBytes(width)), 0xFF);
  std::vector<int32_t> refChanges;
  int64_t bitPos = 0;
  failedRow = -1;
  for (int y = 0; y < rows; ++y) {
    Bytes row(size_t(RowBytes(width)), 0);
    const int64_t bytePos = bitPos / 8;
    int64_t r;
    if (compression == COMPRESSION_CCITTRLE) {
      const int n = CCITTHuffmanGetLine(row.data(), strip.data() + bytePos,
                                        int64_t(strip.size()) - bytePos, width, fillOrder);
      r = n < 0 ? -1 : bitPos + int64_t(n) * 8;
    } else if (compression == COMPRESSION_CCITTFAX3 && !(t4Options & GROUP3OPT_2DENCODING)) {
      r = CCITTHuffmanGetLine(row.data(), strip.data(), int64_t(strip.size()), width, bitPos,
                              fillOrder);
    } else {
      r = CCITT3_2D_GetLine(row.data(), strip.data(), int64_t(strip.size()), width, ref.data(),
                            bitPos, fillOrder, &refChanges);
    }
    out.push_back(row);
    if (r < 0) {
      failedRow = y;
      return out;
    }
    bitPos = r;
  }
  return out;
}

// Our decode of a whole page compared with libtiff's rows.
void ExpectPageDecodesLikeLibtiff(const FaxPage& p, const std::string& what) {
  ASSERT_GT(p.height, 0) << what;
  ASSERT_FALSE(p.strips.empty()) << what;
  int y0 = 0;
  for (size_t s = 0; s < p.strips.size() && y0 < p.height; ++s) {
    const int rows = std::min(p.rowsPerStrip, p.height - y0);
    int failed = 0;
    const Rows ours =
        DecodeStrip(p.strips[s], p.width, rows, p.compression, p.t4Options, p.fillOrder, failed);
    ASSERT_EQ(failed, -1) << what << ": strip " << s;
    for (int y = 0; y < rows; ++y)
      ASSERT_TRUE(SameRow(ours[size_t(y)], p.rows[size_t(y0 + y)], p.width, true))
          << what << ": row " << y0 + y;
    y0 += rows;
  }
}

int Shell(const std::string& command) {
  return std::system((command + " 2>/dev/null").c_str());
}

std::string Temp(const std::string& name) {
  return vxtest::TempDir() + "/" + name;
}

// ---------------------------------------------------------------------------------
// Decoding real files.

TEST(CCITTDecode, CorpusGroup4Page) {
  const FaxPage p = ReadFaxPage(vxtest::CorpusPath("tiff/testfax4.tiff"));
  ASSERT_EQ(p.compression, COMPRESSION_CCITTFAX4);
  ExpectPageDecodesLikeLibtiff(p, "testfax4.tiff");
}

// The raw Group 3 fax of the corpus (1728 pixels wide, one-dimensional, EOL before every
// row, most significant bit first); libtiff decodes it through fax2tiff.
TEST(CCITTDecode, CorpusRawGroup3Fax) {
  const std::string raw = vxtest::CorpusPath("tiff/miniswhite-1c-1b.g3");
  const std::string tif = Temp("rawfax.tif");
  ASSERT_EQ(Shell("fax2tiff -M -1 -X 1728 -o " + tif + " " + raw), 0);
  const FaxPage p = ReadFaxPage(tif);
  ASSERT_EQ(p.width, 1728);
  Bytes data;
  {
    FILE* f = std::fopen(raw.c_str(), "rb");
    ASSERT_TRUE(f);
    int c;
    while ((c = std::fgetc(f)) != EOF) data.push_back(uint8_t(c));
    std::fclose(f);
  }
  // The data ends with the return-to-control sequence (six EOLs), which libtiff counts as
  // blank rows; the rows before it must match exactly.
  int failed = 0;
  const Rows ours = DecodeStrip(data, p.width, p.height, COMPRESSION_CCITTFAX3, 0, 1, failed);
  const int compared = failed < 0 ? p.height : failed;
  ASSERT_GE(compared, p.height - 6);
  for (int y = 0; y < compared; ++y)
    ASSERT_TRUE(SameRow(ours[size_t(y)], p.rows[size_t(y)], p.width, true)) << "row " << y;
}

// Bilevel sources: a thresholded photo and a dithered one (short runs everywhere), both
// with widths that are not multiples of 8.
class CCITTTiffcp : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::string pgm = vxtest::CorpusPath("tiff/minisblack-1c-8b.pgm");
    const std::string bmp = vxtest::CorpusPath("bmp/nightshot_iso_100.bmp");
    sources_ = {Temp("threshold.tif"), Temp("dither.tif")};
    made_ =
        Shell("convert " + pgm + " -threshold 50% -depth 1 -compress none " + sources_[0]) == 0 &&
        Shell("convert " + bmp + " -resize 330x -colorspace gray -dither FloydSteinberg " +
              "-monochrome -depth 1 -compress none " + sources_[1]) == 0;
  }
  static std::vector<std::string> sources_;
  static bool made_;
};
std::vector<std::string> CCITTTiffcp::sources_;
bool CCITTTiffcp::made_ = false;

TEST_F(CCITTTiffcp, EverySchemeAndFillOrderDecodesLikeLibtiff) {
  ASSERT_TRUE(made_);
  const char* schemes[] = {"g3:1d", "g3:1d:fill", "g3:2d", "g3:2d:fill", "g4"};
  const char* orders[] = {"msb2lsb", "lsb2msb"};
  int n = 0;
  for (const std::string& src : sources_) {
    for (const char* scheme : schemes) {
      for (const char* order : orders) {
        // 40 rows a strip: every strip restarts the bit position and the reference row.
        const std::string out = Temp("tiffcp" + std::to_string(n++) + ".tif");
        ASSERT_EQ(Shell(std::string("tiffcp -r 40 -c ") + scheme + " -f " + order + " " + src +
                        " " + out),
                  0);
        const FaxPage p = ReadFaxPage(out);
        ASSERT_EQ(p.fillOrder, std::string(order) == "lsb2msb" ? 2 : 1);
        ASSERT_GT(p.strips.size(), 1u);
        ExpectPageDecodesLikeLibtiff(p, src + " " + scheme + " " + order);
      }
    }
  }
}

// ---------------------------------------------------------------------------------
// Encoding: our data wrapped in a TIFF by libtiff and read back by libtiff.

enum class Scheme { MH, G3, G32D, G4 };

Bytes Encode(const Rows& rows, int width, Scheme scheme) {
  TMemoryStream ms;
  uint8_t pendingByte = 0;
  int pendingBits = 0;
  std::vector<uint8_t> ref;
  for (const Bytes& row : rows) {
    switch (scheme) {
      case Scheme::MH:
        CCITTHuffmanPutLine(row.data(), width, ms);
        break;
      case Scheme::G3:
        CCITTHuffmanPutLineG3(row.data(), width, ms, pendingByte, pendingBits);
        break;
      case Scheme::G32D:
        CCITTHuffmanPutLineG32D(row.data(), width, ms, pendingByte, pendingBits, ref);
        break;
      case Scheme::G4:
        CCITTHuffmanPutLineG4(row.data(), width, ms, pendingByte, pendingBits, ref);
        break;
    }
  }
  if (scheme == Scheme::G3) CCITTHuffmanPutLineG3(nullptr, 0, ms, pendingByte, pendingBits);
  if (scheme == Scheme::G32D)
    CCITTHuffmanPutLineG32D(nullptr, 0, ms, pendingByte, pendingBits, ref);
  if (scheme == Scheme::G4) CCITTHuffmanPutLineG4(nullptr, 0, ms, pendingByte, pendingBits, ref);
  Bytes out(size_t(ms.Size()));
  ms.SetPosition(0);
  if (!out.empty()) ms.ReadBuffer(out.data(), int64_t(out.size()));
  return out;
}

uint16_t CompressionOf(Scheme s) {
  switch (s) {
    case Scheme::MH:
      return COMPRESSION_CCITTRLE;
    case Scheme::G3:
    case Scheme::G32D:
      return COMPRESSION_CCITTFAX3;
    case Scheme::G4:
      return COMPRESSION_CCITTFAX4;
  }
  return 0;
}

// Wraps one coded strip in a TIFF (photometric BlackIsZero, like our writer) and returns
// libtiff's rows; libtiffClean reports whether libtiff complained.
Rows LibtiffReadBack(const Bytes& data, int width, int height, Scheme scheme,
                     const std::string& path, bool& libtiffClean) {
  TiffMessageCapture capture;
  Rows rows;
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (!tif) return rows;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(width));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(height));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, CompressionOf(scheme));
  TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(height));
  if (scheme == Scheme::G3) TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, uint32_t(0));
  if (scheme == Scheme::G32D) TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, uint32_t(1));
  TIFFWriteRawStrip(tif, 0, const_cast<uint8_t*>(data.data()), tmsize_t(data.size()));
  TIFFClose(tif);
  tif = TIFFOpen(path.c_str(), "r");
  if (!tif) return rows;
  for (int y = 0; y < height; ++y) {
    Bytes row(size_t(TIFFScanlineSize(tif)));
    if (TIFFReadScanline(tif, row.data(), uint32_t(y), 0) < 0) break;
    rows.push_back(std::move(row));
  }
  TIFFClose(tif);
  libtiffClean = TiffMessages().empty();
  for (const std::string& m : TiffMessages()) ADD_FAILURE() << "libtiff: " << m;
  return rows;
}

// Encoder rows: bit 1 = a pixel coded black.
struct TestImage {
  std::string name;
  int width;
  Rows rows;
};

Rows FromRuns(int width, const std::vector<std::vector<int>>& runsPerRow) {
  Rows rows;
  for (const auto& runs : runsPerRow) {
    Bytes row(size_t(RowBytes(width)), 0);
    int x = 0;
    bool black = false;
    for (int r : runs) {
      for (int i = 0; i < r && x < width; ++i, ++x)
        if (black) row[size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
      black = !black;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<TestImage> EncoderImages() {
  std::vector<TestImage> images;
  std::mt19937 rng(1234);
  // Text-like: blocks of short random runs, blank bands, rows repeated (vertical modes).
  {
    const int w = 157;
    std::vector<std::vector<int>> runs;
    for (int y = 0; y < 60; ++y) {
      std::vector<int> r;
      if (y % 12 < 9) {
        for (int x = 0; x < w;) {
          const int n = int(rng() % 9) + (r.size() % 2 ? 1 : 0);
          r.push_back(n);
          x += n;
        }
      }
      if (y % 3 == 1 && !runs.empty()) r = runs.back();
      runs.push_back(r);
    }
    images.push_back({"text", w, FromRuns(w, runs)});
  }
  images.push_back({"white", 13, FromRuns(13, {{13}, {13}, {13}})});
  images.push_back({"black", 13, FromRuns(13, {{0, 13}, {0, 13}, {0, 13}})});
  images.push_back({"one pixel", 1, FromRuns(1, {{1}, {0, 1}, {0, 1}, {1}})});
  {
    Rows rows;
    const int w = 101;
    for (int y = 0; y < 6; ++y) rows.push_back(Bytes(size_t(RowBytes(w)), y % 2 ? 0x55 : 0xAA));
    images.push_back({"alternating", w, rows});
  }
  // Every terminating length, every make-up length and the runs past 2560, in both colours.
  {
    std::vector<int> lengths;
    for (int i = 0; i <= 70; ++i) lengths.push_back(i);
    for (int k = 1; k <= 41; ++k) lengths.push_back(64 * k + (k * 7) % 64);
    for (int l : {2559, 2560, 2561, 5120, 5121, 6000}) lengths.push_back(l);
    const int w = 6007;
    std::vector<std::vector<int>> runs;
    for (int l : lengths) {
      runs.push_back({l, l, l, l});
      runs.push_back({0, l, std::max(1, l / 3), l});
    }
    images.push_back({"long runs", w, FromRuns(w, runs)});
  }
  // Random rows against random references: every kind of 2-D mode.
  {
    const int w = 300;
    std::vector<std::vector<int>> runs;
    for (int y = 0; y < 40; ++y) {
      std::vector<int> r;
      for (int x = 0; x < w;) {
        const int n = int(rng() % 40);
        r.push_back(n);
        x += n;
      }
      runs.push_back(r);
    }
    images.push_back({"random", w, FromRuns(w, runs)});
  }
  return images;
}

TEST(CCITTEncode, LibtiffReadsOurDataInEveryScheme) {
  const std::pair<Scheme, const char*> schemes[] = {
      {Scheme::MH, "MH"}, {Scheme::G3, "G3"}, {Scheme::G32D, "G3-2D"}, {Scheme::G4, "G4"}};
  int n = 0;
  for (const TestImage& img : EncoderImages()) {
    for (const auto& [scheme, name] : schemes) {
      const std::string what = img.name + " " + name;
      const Bytes data = Encode(img.rows, img.width, scheme);
      const int height = int(img.rows.size());
      bool clean = false;
      const Rows back = LibtiffReadBack(data, img.width, height, scheme,
                                        Temp("enc" + std::to_string(n++) + ".tif"), clean);
      ASSERT_TRUE(clean) << what;
      ASSERT_EQ(int(back.size()), height) << what;
      for (int y = 0; y < height; ++y)
        ASSERT_TRUE(SameRow(back[size_t(y)], img.rows[size_t(y)], img.width, false))
            << what << ": row " << y;
      // And our own decoders read it back too (their rows: 1 = code white).
      int failed = 0;
      const Rows ours = DecodeStrip(data, img.width, height, CompressionOf(scheme),
                                    scheme == Scheme::G32D ? 1 : 0, 1, failed);
      ASSERT_EQ(failed, -1) << what;
      for (int y = 0; y < height; ++y)
        ASSERT_TRUE(SameRow(ours[size_t(y)], img.rows[size_t(y)], img.width, true))
            << what << ": our decode, row " << y;
    }
  }
}

Bytes Hex(std::initializer_list<int> v) {
  Bytes b;
  for (int x : v) b.push_back(uint8_t(x));
  return b;
}

TEST(CCITTEncode, ExactCodes) {
  // A white row against an all-white reference is the single code V0; the strip then ends
  // with EOFB and zero padding: 1 000000000001 000000000001 0000000.
  EXPECT_EQ(Encode(FromRuns(40, {{40}}), 40, Scheme::G4), Hex({0x80, 0x08, 0x00, 0x80}));
  // A white run of 2561: make-up 2560 (000000011111), terminating 1 (000111), byte-padded.
  EXPECT_EQ(Encode(FromRuns(2561, {{2561}}), 2561, Scheme::MH), Hex({0x01, 0xF1, 0xC0}));
  // A row starting black opens with white run 0 (00110101), then black 3 (10).
  EXPECT_EQ(Encode(FromRuns(3, {{0, 3}}), 3, Scheme::MH), Hex({0x35, 0x80}));
  // Group 3 2-D: EOL, tag 1 and the 1-D row (white 8 = 10011); the closing EOL; padding.
  EXPECT_EQ(Encode(FromRuns(8, {{8}}), 8, Scheme::G32D), Hex({0x00, 0x1C, 0xC0, 0x04}));
}

// ---------------------------------------------------------------------------------
// Hand-made bit strings.

// Packs a string of '0'/'1' (other characters ignored) into bytes, most significant first.
Bytes Bits(const std::string& s) {
  Bytes b;
  int n = 0;
  for (char c : s) {
    if (c != '0' && c != '1') continue;
    if (n % 8 == 0) b.push_back(0);
    if (c == '1') b.back() |= uint8_t(0x80 >> (n % 8));
    ++n;
  }
  return b;
}

Bytes Reversed(Bytes b) {
  for (uint8_t& v : b) {
    uint8_t r = 0;
    for (int i = 0; i < 8; ++i) r |= uint8_t(((v >> i) & 1) << (7 - i));
    v = r;
  }
  return b;
}

// A row as a string of 'w'/'b' in our decoder convention.
std::string RowString(const Bytes& row, int width) {
  std::string s;
  for (int x = 0; x < width; ++x) s += Pixel(row, x) ? 'w' : 'b';
  return s;
}

TEST(CCITTDecode, OneDimensionalEOLHandling) {
  const int w = 20;
  // EOL (with fill zeros) in front of a row is skipped: white 10 (00111), black 10 (0000100).
  const Bytes d = Bits("0000 000000000001  00111 0000100   000000000001 000000000001 00111 0");
  Bytes row(3, 0);
  for (int fill = 1; fill <= 2; ++fill) {
    const Bytes in = fill == 1 ? d : Reversed(d);
    const int64_t p1 = CCITTHuffmanGetLine(row.data(), in.data(), int64_t(in.size()), w, 0, fill);
    EXPECT_EQ(p1, 4 + 12 + 5 + 7);
    EXPECT_EQ(RowString(row, w), "wwwwwwwwwwbbbbbbbbbb");
    // EOL straight after the row's EOL: the row ends there, all white, and the second EOL
    // stays for the next row.
    std::fill(row.begin(), row.end(), 0);
    const int64_t p2 = CCITTHuffmanGetLine(row.data(), in.data(), int64_t(in.size()), w, p1, fill);
    EXPECT_EQ(p2, p1 + 12);
    EXPECT_EQ(RowString(row, w), std::string(w, 'w'));
    // The data stops inside the following row.
    const int64_t p3 = CCITTHuffmanGetLine(row.data(), in.data(), int64_t(in.size()), w, p2, fill);
    EXPECT_EQ(p3, -1);
  }
  // An EOL after some runs ends the row early: the rest is white, whatever the colour of
  // the next run would have been, and the EOL starts the next row.
  const Bytes e = Bits("000000000001 0111 0010 1000 000000000001 00111 0000100");
  std::fill(row.begin(), row.end(), 0);
  const int64_t p = CCITTHuffmanGetLine(row.data(), e.data(), int64_t(e.size()), w, 0, 1);
  EXPECT_EQ(p, 12 + 4 + 4 + 4);
  EXPECT_EQ(RowString(row, w), "wwbbbbbbwwwwwwwwwwww");
  EXPECT_EQ(CCITTHuffmanGetLine(row.data(), e.data(), int64_t(e.size()), w, p, 1), p + 12 + 5 + 7);
  EXPECT_EQ(RowString(row, w), "wwwwwwwwwwbbbbbbbbbb");
}

TEST(CCITTDecode, UncompressedMode) {
  const int w = 16;
  Bytes row(2, 0);
  Bytes ref(2, 0xFF);
  // Group 4: 2-D extension 0000001111, patterns 01 (wb), 1 (b), 000001 (wwwww), exit
  // 00000001 (one white) with colour bit 0, then V0 to the row end against a white row.
  const Bytes g4 = Bits("0000001111 01 1 000001 00000001 0 1");
  EXPECT_EQ(CCITT3_2D_GetLine(row.data(), g4.data(), int64_t(g4.size()), w, ref.data(), 0, 1),
            10 + 2 + 1 + 6 + 8 + 1 + 1);
  EXPECT_EQ(RowString(row, w), "wbbwwwwwwwwwwwww");
  EXPECT_EQ(RowString(ref, w), "wbbwwwwwwwwwwwww");
  // One-dimensional: 1-D extension 000000001111, 001 (wwb), exit 0000001 with colour bit 1,
  // then black 3 (10), white 10 (00111).
  const Bytes g3 = Bits("000000001111 001 0000001 1 10 00111");
  EXPECT_EQ(CCITTHuffmanGetLine(row.data(), g3.data(), int64_t(g3.size()), w, 0, 1),
            12 + 3 + 7 + 1 + 2 + 5);
  EXPECT_EQ(RowString(row, w), "wwbbbbwwwwwwwwww");
}

TEST(CCITTDecode, Group3TwoDimensionalTags) {
  const int w = 8;
  Bytes row(1, 0), ref(1, 0xFF);
  // EOL + 1: a 1-D row (white 2 = 0111, black 6 = 0010). EOL + 0: a 2-D row against it:
  // V0 (a1 = b1 = 2), VL1 (a1 = 7, one left of b1 = the row end), V0 (a1 = b1 = 8).
  const Bytes d = Bits("000000000001 1 0111 0010   000000000001 0 1 010 1");
  int64_t p = CCITT3_2D_GetLine(row.data(), d.data(), int64_t(d.size()), w, ref.data(), 0, 1);
  EXPECT_EQ(p, 13 + 8);
  EXPECT_EQ(RowString(row, w), "wwbbbbbb");
  p = CCITT3_2D_GetLine(row.data(), d.data(), int64_t(d.size()), w, ref.data(), p, 1);
  EXPECT_EQ(p, 13 + 8 + 13 + 5);
  EXPECT_EQ(RowString(row, w), "wwbbbbbw");
}

// ---------------------------------------------------------------------------------
// Damaged data: every decoder stops with -1 or decodes rows, never reads outside the
// buffer (each input sits in a heap block of its exact size for the sanitizer run).

TEST(CCITTDecode, BadCodesAndEmptyInput) {
  Bytes row(2, 0), ref(2, 0xFF);
  const Bytes bad = Bits("00000000 1000 0000 0000");  // eight zeros, then a 1: no code
  EXPECT_EQ(CCITTHuffmanGetLine(row.data(), bad.data(), int64_t(bad.size()), 16, 0, 1), -1);
  EXPECT_EQ(CCITTHuffmanGetLine(row.data(), bad.data(), int64_t(bad.size()), 16, 1), -1);
  EXPECT_EQ(CCITT3_2D_GetLine(row.data(), bad.data(), int64_t(bad.size()), 16, ref.data(), 0, 1),
            -1);
  const Bytes badMode = Bits("0000001000 0000");  // 2-D extension other than uncompressed
  EXPECT_EQ(
      CCITT3_2D_GetLine(row.data(), badMode.data(), int64_t(badMode.size()), 16, ref.data(), 0, 1),
      -1);
  // Nothing to read, a start past the data, no width.
  EXPECT_EQ(CCITTHuffmanGetLine(row.data(), nullptr, 0, 16, 0, 1), -1);
  EXPECT_EQ(CCITT3_2D_GetLine(row.data(), nullptr, 0, 16, ref.data(), 0, 1), -1);
  EXPECT_EQ(CCITTHuffmanGetLine(row.data(), bad.data(), int64_t(bad.size()), 16, 100, 1), -1);
  EXPECT_EQ(CCITTHuffmanGetLine(row.data(), bad.data(), int64_t(bad.size()), 0, 0, 1), -1);
  // A failing row keeps what was decoded and is white after it: black 3 (10) cut short.
  const Bytes cut = Bits("0011 0101 10");  // white 0, black 3, then the data ends
  std::fill(row.begin(), row.end(), 0);
  EXPECT_EQ(CCITTHuffmanGetLine(row.data(), cut.data(), int64_t(cut.size()), 16, 0, 1), -1);
  EXPECT_EQ(RowString(row, 16), "bbbwwwwwwwwwwwww");
}

TEST_F(CCITTTiffcp, TruncatedAndCorruptStrips) {
  ASSERT_TRUE(made_);
  std::mt19937 rng(99);
  const char* schemes[] = {"g3:1d", "g3:2d", "g4"};
  int n = 0;
  for (const char* scheme : schemes) {
    const std::string out = Temp("damage" + std::to_string(n++) + ".tif");
    ASSERT_EQ(Shell(std::string("tiffcp -r 100000 -c ") + scheme + " " + sources_[1] + " " + out),
              0);
    const FaxPage p = ReadFaxPage(out);
    ASSERT_EQ(p.strips.size(), 1u);
    const Bytes& full = p.strips[0];
    // Truncated: the rows before the cut are exact, then a row fails.
    for (size_t keep : {size_t(0), size_t(1), full.size() / 3, full.size() - 1}) {
      const Bytes part(full.begin(), full.begin() + std::ptrdiff_t(keep));
      int failed = 0;
      const Rows ours = DecodeStrip(part, p.width, p.height, p.compression, p.t4Options, 1, failed);
      if (keep < full.size() / 2) {
        ASSERT_GE(failed, 0) << scheme << " keep " << keep;
      }
      const int good = failed < 0 ? p.height : failed;
      for (int y = 0; y < good; ++y)
        ASSERT_TRUE(SameRow(ours[size_t(y)], p.rows[size_t(y)], p.width, true))
            << scheme << " keep " << keep << " row " << y;
    }
    // Flipped bits and random bytes: whatever comes out, nothing is read out of bounds.
    for (int trial = 0; trial < 30; ++trial) {
      Bytes bad = full;
      for (int k = 0; k < 1 + trial % 5; ++k) bad[rng() % bad.size()] ^= uint8_t(1u << (rng() % 8));
      if (trial % 10 == 9)
        for (uint8_t& b : bad) b = uint8_t(rng());
      int failed = 0;
      DecodeStrip(bad, p.width, p.height, p.compression, p.t4Options, 1 + trial % 2, failed);
    }
  }
}

}  // namespace
