// Images with no more colours than a palette holds come back from every palette
// writer, and from the processing component's colour reduction, exactly as they were.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "io/vantixio.h"
#include "platform/bitmap.h"
#include "proc/vantixproc.h"
#include "testsupport.h"

using namespace vx;

namespace {

// count colours that neighbour each other closely (red steps of one, green of one
// every sixteenth): a reduction on a 5-bit grid merges them.
std::vector<TRGB> CloseColours(int count) {
  std::vector<TRGB> out;
  for (int i = 0; i < count; ++i)
    out.push_back(CreateRGB(static_cast<uint8_t>(i), static_cast<uint8_t>(200 - i / 16),
                            static_cast<uint8_t>(37 + (i & 1))));
  return out;
}

// Pixel p takes colour 13p mod count: every colour, in several places, in an order
// unrelated to the colours' values (the image must hold at least count pixels).
TBitmap Scattered(const std::vector<TRGB>& cols, int w = 61, int h = 37) {
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  const int n = static_cast<int>(cols.size());
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<TRGB*>(b.ScanLine(y));
    for (int x = 0; x < w; ++x) row[x] = cols[static_cast<size_t>((y * w + x) * 13 % n)];
  }
  return b;
}

TBitmap Checker() {
  TBitmap b;
  SizeBitmap(b, 45, 23, pf1bit);
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 45; ++x) SetPixelbw(b.ScanLine(y), x, (x / 3 + y / 2) % 2 == 0);
  return b;
}

struct Case {
  const char* label;
  const char* ext;
  int bits;     // bits a sample asked for
  int samples;  // samples a pixel asked for
  int colours;  // colours of the image (0: the pf1bit checker)
  void (*tune)(TIOParamsVals&);
  int fileBits;  // bits a pixel the file must report back
  // ImageMagick shows the file's colours (not for 1-bit PCX: it ignores the header's two
  // colours and takes set bits as black).
  bool peer;
};

void Plain(TIOParamsVals&) {}
void BmpRle(TIOParamsVals& p) {
  p.BMP_Compression = ioBMP_RLE;
}
void GifInterlaced(TIOParamsVals& p) {
  p.GIF_Interlaced = true;
}
void PcxRaw(TIOParamsVals& p) {
  p.PCX_Compression = ioPCX_UNCOMPRESSED;
}
void PngInterlaced(TIOParamsVals& p) {
  p.PNG_Interlaced = true;
}

// Pixels as red, green, blue bytes. A 1-bit file is read as a pf1bit image with its two
// colours in the parameters' colour map (a white-first map is read with the bits
// inverted, so it stands for black and white).
std::vector<uint8_t> ReadBackRGB(const TBitmap& b, const TIOParamsVals& params) {
  if (b.PixelFormat() != pf1bit || params.ColorMapCount != 2) return vxtest::BitmapRGB(b);
  const TRGB white = CreateRGB(255, 255, 255);
  if (params.ColorMap[0] == white && params.ColorMap[1] == TRGB{}) return vxtest::BitmapRGB(b);
  std::vector<uint8_t> out;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const TRGB& c = params.ColorMap[GetPixelbw(b.ScanLine(y), x) ? 1 : 0];
      out.insert(out.end(), {c.r, c.g, c.b});
    }
  return out;
}

std::string Describe(const Case& c) {
  return std::string(c.label) + " (" + std::to_string(c.colours) + " colours)";
}

TEST(ExactPalettes, ImagesThatFitComeBackIdenticalFromEveryPaletteWriter) {
  const std::vector<Case> cases = {
      {"BMP 8-bit", "bmp", 8, 1, 256, Plain, 8, true},
      {"BMP 8-bit", "bmp", 8, 1, 16, Plain, 8, true},
      {"BMP 8-bit RLE", "bmp", 8, 1, 256, BmpRle, 8, true},
      {"BMP 8-bit RLE", "bmp", 8, 1, 2, BmpRle, 8, true},
      {"BMP 4-bit", "bmp", 4, 1, 16, Plain, 4, true},
      {"BMP 4-bit RLE", "bmp", 4, 1, 16, BmpRle, 4, true},
      {"BMP 4-bit", "bmp", 4, 1, 0, Plain, 4, true},
      {"BMP 1-bit", "bmp", 1, 1, 2, Plain, 1, true},
      {"BMP 1-bit", "bmp", 1, 1, 0, Plain, 1, true},
      {"GIF 1-bit", "gif", 1, 1, 2, Plain, 1, true},
      {"GIF 1-bit", "gif", 1, 1, 0, Plain, 1, true},
      {"GIF 2-bit", "gif", 2, 1, 4, Plain, 2, true},
      {"GIF 3-bit", "gif", 3, 1, 8, Plain, 3, true},
      {"GIF 4-bit", "gif", 4, 1, 16, Plain, 4, true},
      {"GIF 5-bit", "gif", 5, 1, 32, Plain, 5, true},
      {"GIF 6-bit", "gif", 6, 1, 64, Plain, 6, true},
      {"GIF 7-bit", "gif", 7, 1, 128, Plain, 7, true},
      {"GIF 8-bit", "gif", 8, 1, 256, Plain, 8, true},
      {"GIF 8-bit interlaced", "gif", 8, 1, 16, GifInterlaced, 8, true},
      {"GIF 8-bit", "gif", 8, 1, 0, Plain, 8, true},
      {"PCX 1-bit", "pcx", 1, 1, 2, Plain, 1, false},
      {"PCX 1-bit", "pcx", 1, 1, 0, Plain, 1, false},
      {"PCX 4-bit", "pcx", 4, 1, 16, Plain, 4, true},
      {"PCX 8-bit", "pcx", 8, 1, 256, Plain, 8, true},
      {"PCX 8-bit raw", "pcx", 8, 1, 3, PcxRaw, 8, true},
      {"PNG palette", "png", 8, 1, 256, Plain, 8, true},
      {"PNG palette interlaced", "png", 8, 1, 16, PngInterlaced, 8, true},
      {"PNG palette", "png", 8, 1, 0, Plain, 8, true},
      // TIFF has no palette output: one sample of 8 bits is written as RGB.
      {"TIFF 8-bit", "tif", 8, 1, 256, Plain, 24, true},
  };
  const bool peer = vxtest::CommandSucceeds("convert -version");
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(Describe(c));
    const TBitmap original = c.colours ? Scattered(CloseColours(c.colours)) : Checker();
    TBitmap work = original;
    TVantixIO out;
    out.SetAttachedBitmap(&work);
    out.Params().BitsPerSample = c.bits;
    out.Params().SamplesPerPixel = c.samples;
    c.tune(out.Params());
    const std::string file = vxtest::TempDir() + "/exact" + std::to_string(n++) + "." + c.ext;
    out.SaveToFile(file);
    ASSERT_FALSE(out.Aborting()) << out.LastError();

    TBitmap back;
    TVantixIO in;
    in.SetAttachedBitmap(&back);
    in.LoadFromFile(file);
    ASSERT_FALSE(in.Aborting()) << in.LastError();
    EXPECT_EQ(in.Params().BitsPerSample * in.Params().SamplesPerPixel, c.fileBits);
    const std::vector<uint8_t> expected = vxtest::BitmapRGB(original);
    EXPECT_TRUE(ReadBackRGB(back, in.Params()) == expected) << "our read back differs";
    if (peer && c.peer) {
      EXPECT_TRUE(vxtest::RunCommand("convert '" + file + "' -depth 8 rgb:- 2>/dev/null") ==
                  std::string(expected.begin(), expected.end()))
          << "ImageMagick reads other pixels";
    }
  }
}

TEST(ExactPalettes, ConvertToKeepsTheColoursOfImagesThatFit) {
  // Also above 256 colours, where an image that does not fit goes through the network.
  for (const int colours : {3, 16, 256, 700}) {
    SCOPED_TRACE(colours);
    const std::vector<TRGB> cols = CloseColours(colours);
    const TBitmap original = Scattered(cols, 97, 31);
    TBitmap work = original;
    TVantixProc proc;
    proc.SetAttachedBitmap(&work);
    proc.ConvertTo(colours);
    ASSERT_EQ(work.PixelFormat(), pf24bit);
    EXPECT_TRUE(vxtest::BitmapRGB(work) == vxtest::BitmapRGB(original));

    // Asked for more entries than there are colours: the palette holds the colours,
    // sorted, and black after them.
    work = original;
    std::vector<TRGB> palette;
    proc.ConvertToPalette(colours + 5, palette);
    EXPECT_TRUE(vxtest::BitmapRGB(work) == vxtest::BitmapRGB(original));
    ASSERT_EQ(palette.size(), static_cast<size_t>(colours + 5));
    for (size_t i = 1; i < static_cast<size_t>(colours); ++i) {
      const auto key = [](const TRGB& c) { return c.r << 16 | c.g << 8 | c.b; };
      EXPECT_LT(key(palette[i - 1]), key(palette[i])) << i;
    }
    for (size_t i = static_cast<size_t>(colours); i < palette.size(); ++i)
      EXPECT_EQ(palette[i], TRGB{}) << i;
  }
}

}  // namespace
