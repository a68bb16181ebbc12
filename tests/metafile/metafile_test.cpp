// The metafile player: real WMF and EMF files from Inkscape, LibreOffice and libEMF
// against LibreOffice's renderings, exact shapes from records we write, the size rules
// of ImportMetafile, and damaged input.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "imagecompare.h"
#include "io/ioparams.h"
#include "io/vantixio.h"
#include "metafile/metafileplayer.h"
#include "pixellimit.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "recordwriter.h"
#include "testsupport.h"

namespace {

using vxtest::EmfWriter;
using vxtest::WmfWriter;

std::string DataPath(const std::string& name) {
  return std::string(VX_METAFILE_DATA_DIR) + "/" + name;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
}

std::string WriteTemp(const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string path = vxtest::TempDir() + "/" + name;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return path;
}

// 0xRRGGBB of a pf24bit pixel.
uint32_t Rgb(const vx::TBitmap& b, int x, int y) {
  const uint8_t* p = b.ScanLine(y) + 3 * x;
  return uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

vx::TBitmap WhiteBitmap(int w, int h) {
  vx::TBitmap b;
  b.SetPixelFormat(vx::pf24bit);
  b.SetSize(w, h);
  b.Canvas().Brush().Color = vx::clWhite;
  b.Canvas().FillRect(vx::TRect{0, 0, w, h});
  return b;
}

vx::TBitmap Render(const std::vector<uint8_t>& bytes, int w, int h) {
  vx::TBitmap b = WhiteBitmap(w, h);
  EXPECT_TRUE(vx::RenderMetafile(bytes, b, w, h));
  return b;
}

struct Probe {
  int x, y;
  uint32_t rgb;
  const char* what;
};

void ExpectPixels(const vx::TBitmap& b, const std::vector<Probe>& probes) {
  for (const Probe& p : probes)
    EXPECT_EQ(Rgb(b, p.x, p.y), p.rgb) << p.what << " at " << p.x << "," << p.y;
}

// ---- real files against LibreOffice ----

struct OracleCase {
  const char* file;
  const char* oracle;
  double minSsim;
};

void PrintTo(const OracleCase& c, std::ostream* os) {
  *os << c.file;
}

class MetafileOracle : public ::testing::TestWithParam<OracleCase> {};

TEST_P(MetafileOracle, RendersAsLibreOfficeDoes) {
  const OracleCase& c = GetParam();
  vx::TBitmap ours;
  vx::TVantixIO io;
  io.SetAttachedBitmap(&ours);
  io.SetBackground(vx::clWhite);
  io.ImportMetafile(DataPath(c.file), -1, -1);
  ASSERT_FALSE(io.Aborting()) << io.LastError();

  vx::TBitmap oracle;
  vx::TVantixIO oio;
  oio.SetAttachedBitmap(&oracle);
  oio.LoadFromFile(DataPath(c.oracle));
  ASSERT_FALSE(oio.Aborting()) << oio.LastError();
  oracle.SetPixelFormat(vx::pf24bit);

  const vx::TBitmap a = vxtest::Crop(ours, vxtest::InkBounds(ours));
  const vx::TBitmap b = vxtest::Crop(oracle, vxtest::InkBounds(oracle));
  // The drawings keep their proportions in both renderings.
  EXPECT_NEAR(static_cast<double>(a.Width()) / a.Height(),
              static_cast<double>(b.Width()) / b.Height(), 0.03 * b.Width() / b.Height());
  const double ssim = vxtest::Ssim(vxtest::ScaledTo(a, b.Width(), b.Height()), b);
  EXPECT_GE(ssim, c.minSsim) << c.file;
  std::printf("%s: SSIM %.3f against LibreOffice\n", c.file, ssim);
}

INSTANTIATE_TEST_SUITE_P(
    RealFiles, MetafileOracle,
    ::testing::Values(OracleCase{"ink_shapes.emf", "oracle_ink_shapes_emf.png", 0.9},
                      OracleCase{"ink_shapes.wmf", "oracle_ink_shapes_wmf.png", 0.9},
                      OracleCase{"ink_text.emf", "oracle_ink_text_emf.png", 0.9},
                      OracleCase{"ink_text.wmf", "oracle_ink_text_wmf.png", 0.9},
                      OracleCase{"ink_image.emf", "oracle_ink_image_emf.png", 0.9},
                      OracleCase{"ink_image.wmf", "oracle_ink_image_wmf.png", 0.9},
                      OracleCase{"lo_shapes.emf", "oracle_lo_shapes_emf.png", 0.9},
                      OracleCase{"lo_shapes.wmf", "oracle_lo_shapes_wmf.png", 0.9},
                      OracleCase{"lo_text.emf", "oracle_lo_text_emf.png", 0.9},
                      // LibreOffice also paints the part of the outline this file's
                      // clip rectangle cuts away; GDI and we do not.
                      OracleCase{"lo_text.wmf", "oracle_lo_text_wmf.png", 0.8},
                      OracleCase{"libemf_gdi.emf", "oracle_libemf_gdi_emf.png", 0.9}),
    [](const auto& param) {
      std::string n = param.param.file;
      for (char& ch : n)
        if (ch == '.') ch = '_';
      return n;
    });

// Flat fills and bitmaps of real files land where the drawing put them, in the exact
// colour; drawn at the SVG's own size its units are pixels.
struct FlatCase {
  const char* file;
  int width, height;
  std::vector<Probe> probes;
};

TEST(MetafileRealFiles, FlatFillsAreExact) {
  const std::vector<Probe> shapes = {
      {100, 75, 0xD02020, "red box"},    {25, 25, 0xD02020, "red box corner"},
      {300, 75, 0x2040C0, "blue box"},   {300, 250, 0xF0C000, "triangle"},
      {200, 10, 0xFFFFFF, "background"}, {1, 150, 0x000000, "frame"}};
  const std::vector<Probe> image = {{60, 60, 0xFF0000, "red quarter of the bitmap"},
                                    {140, 60, 0x00FF00, "green quarter"},
                                    {60, 140, 0x0000FF, "blue quarter"},
                                    {240, 100, 0xFF8000, "circle"},
                                    {195, 30, 0xFFFFFF, "background"}};
  const FlatCase cases[] = {{"ink_shapes.emf", 400, 300, shapes},
                            {"ink_shapes.wmf", 400, 300, shapes},
                            {"ink_image.emf", 300, 200, image},
                            {"ink_image.wmf", 300, 200, image}};
  for (const FlatCase& c : cases) {
    SCOPED_TRACE(c.file);
    vx::TMetafileInfo info;
    const std::vector<uint8_t> bytes = ReadBytes(DataPath(c.file));
    ASSERT_TRUE(vx::ProbeMetafile(bytes, info));
    ExpectPixels(Render(bytes, c.width, c.height), c.probes);
  }
}

// ---- exact shapes from records we write ----

// Words of a COLORREF.
constexpr int Lo(uint32_t c) {
  return static_cast<int>(c & 0xFFFF);
}
constexpr int Hi(uint32_t c) {
  return static_cast<int>(c >> 16);
}
// COLORREF of 0xRRGGBB.
constexpr uint32_t Ref(uint32_t rgb) {
  return (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;
}

WmfWriter& Brush(WmfWriter& w, uint32_t rgb) {
  return w.Rec(0x02FC, {0, Lo(Ref(rgb)), Hi(Ref(rgb)), 0});
}

std::vector<uint8_t> WmfScene() {
  WmfWriter w;
  w.Rec(0x02FA, {5, 0, 0, 0, 0});  // 0: null pen
  Brush(w, 0xFF0000);              // 1: red
  w.Rec(0x012D, {0}).Rec(0x012D, {1});
  w.Rec(0x041B, {50, 60, 10, 10});    // rectangle 10,10 - 60,50
  w.Rec(0x001E, {});                  // save
  w.Rec(0x0416, {50, 150, 10, 100});  // intersect clip 100,10 - 150,50
  w.Rec(0x0415, {40, 135, 20, 115});  // exclude 115,20 - 135,40
  Brush(w, 0x0000FF);                 // 2: blue
  w.Rec(0x012D, {2}).Rec(0x041B, {100, 200, 0, 0});
  w.Rec(0x0127, {0xFFFF});  // restore: clip gone
  Brush(w, 0x00FF00);       // 3: green
  w.Rec(0x012D, {3}).Rec(0x041B, {90, 190, 60, 170});
  w.Rec(0x012D, {1});  // red pie: upper right quarter of 10,60 - 50,100
  w.Rec(0x081A, {60, 30, 80, 50, 100, 50, 60, 10});
  const std::vector<uint8_t> dib =
      vxtest::PackedDib(2, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF});
  w.Rec(0x0F43, {0x0020, 0x00CC, 0, 2, 2, 0, 0, 40, 40, 60, 70}, dib);  // 70,60 40x40
  Brush(w, 0xC0C0C0);                                                   // 4: grey
  w.Rec(0x012D, {4}).Rec(0x041B, {100, 160, 60, 120});
  const std::vector<uint8_t> white = vxtest::PackedDib(1, 1, {0xFFFFFF});
  const std::vector<uint8_t> green = vxtest::PackedDib(1, 1, {0x00FF00});
  w.Rec(0x0F43, {0x0046, 0x0066, 0, 1, 1, 0, 0, 20, 20, 60, 120}, white);  // SRCINVERT
  w.Rec(0x0F43, {0x00C6, 0x0088, 0, 1, 1, 0, 0, 20, 20, 60, 140}, green);  // SRCAND
  w.Rec(0x0F43, {0x0086, 0x00EE, 0, 1, 1, 0, 0, 20, 20, 80, 120}, green);  // SRCPAINT
  w.Rec(0x012D, {3}).Rec(0x061D, {0x0021, 0x00F0, 20, 20, 10, 170});       // PATCOPY 170,10
  w.Rec(0x041F, {Lo(Ref(0x123456)), Hi(Ref(0x123456)), 5, 195});           // pixel 195,5
  return w.Bytes(true, 0, 0, 200, 100, 96);
}

TEST(MetafileRecords, WmfShapesClipBitmapsAndRops) {
  const vx::TBitmap b = Render(WmfScene(), 200, 100);
  ExpectPixels(b, {{35, 30, 0xFF0000, "rectangle"},
                   {65, 30, 0xFFFFFF, "right of the rectangle"},
                   {105, 15, 0x0000FF, "inside the clip"},
                   {95, 30, 0xFFFFFF, "left of the clip"},
                   {155, 30, 0xFFFFFF, "right of the clip"},
                   {125, 30, 0xFFFFFF, "excluded hole"},
                   {105, 55, 0xFFFFFF, "below the clip"},
                   {180, 75, 0x00FF00, "drawn after restoring"},
                   {40, 70, 0xFF0000, "pie, upper right"},
                   {20, 90, 0xFFFFFF, "pie, lower left left out"},
                   {20, 70, 0xFFFFFF, "pie, upper left left out"},
                   {80, 70, 0xFF0000, "bitmap top left"},
                   {100, 70, 0x00FF00, "bitmap top right"},
                   {80, 90, 0x0000FF, "bitmap bottom left"},
                   {100, 90, 0xFFFFFF, "bitmap bottom right"},
                   {130, 70, 0x3F3F3F, "SRCINVERT"},
                   {150, 70, 0x00C000, "SRCAND"},
                   {130, 90, 0xC0FFC0, "SRCPAINT"},
                   {150, 90, 0xC0C0C0, "untouched grey"},
                   {180, 20, 0x00FF00, "PATCOPY"},
                   {195, 5, 0x123456, "set pixel"}});
}

std::vector<uint8_t> FloatBytes(std::initializer_list<float> v) {
  std::vector<uint8_t> out;
  for (float f : v) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    vxtest::Put32(out, bits);
  }
  return out;
}

std::vector<uint8_t> EmfScene() {
  EmfWriter w;
  w.Rec(37, {0x80000008});                           // null pen
  w.Rec(39, {1, 0, Ref(0xFF0000), 0}).Rec(37, {1});  // red brush
  w.Rec(35, {}, FloatBytes({2, 0, 0, 2, 10, 10}));   // scale 2, move 10,10
  w.Rec(43, {0, 0, 20, 20});                         // -> 10,10 - 50,50
  w.Rec(36, {}, [] {
    std::vector<uint8_t> b = FloatBytes({1, 0, 0, 1, 0, 0});
    vxtest::Put32(b, 1);
    return b;
  }());
  // A clip path, then a fill limited to it, then the clip cleared.
  w.Rec(59, {});
  w.Rec(3, {60, 10, 100, 50, 4, 60, 10, 100, 10, 100, 50, 60, 50});
  w.Rec(60, {});
  w.Rec(67, {5});
  w.Rec(39, {2, 0, Ref(0x0000FF), 0}).Rec(37, {2});
  w.Rec(43, {0, 0, 200, 100});
  w.Rec(75, {0, 5});
  // Horizontal hatch, transparent background.
  w.Rec(18, {1});
  w.Rec(39, {3, 2, Ref(0x000000), 0}).Rec(37, {3});
  w.Rec(43, {110, 10, 150, 50});
  // Dark red box lit by a green bitmap through SRCPAINT.
  w.Rec(39, {4, 0, Ref(0x800000), 0}).Rec(37, {4});
  w.Rec(43, {160, 10, 190, 50});
  {
    const std::vector<uint8_t> dib = vxtest::PackedDib(1, 1, {0x00FF00});
    // bounds, xDest yDest xSrc ySrc cxSrc cySrc, offBmi cbBmi offBits cbBits, usage,
    // rop, cxDest cyDest; the header and pixels follow at offset 80.
    std::vector<uint8_t> tail(dib.begin(), dib.end());
    w.Rec(81, {0, 0, 0, 0, 165, 15, 0, 0, 1, 1, 80, 40, 120, 4, 0, 0x00EE0086, 20, 30}, tail);
  }
  // Alpha blending: a half-covering red pixel of its own alpha, and an opaque blue one
  // laid on at constant half alpha.
  for (const bool ownAlpha : {true, false}) {
    std::vector<uint8_t> dib;
    for (uint32_t v : {40u, 1u, 1u, 0x00200001u, 0u, 4u, 0u, 0u, 0u, 0u}) vxtest::Put32(dib, v);
    const std::vector<uint8_t> pixel =
        ownAlpha ? std::vector<uint8_t>{0, 0, 128, 128} : std::vector<uint8_t>{255, 0, 0, 255};
    dib.insert(dib.end(), pixel.begin(), pixel.end());
    const int64_t x = ownAlpha ? 70 : 170;
    const int64_t blend = ownAlpha ? 0x01FF0000 : 0x00800000;
    // bounds, dest, blend, source origin, source transform, background, usage,
    // offBmi cbBmi offBits cbBits, source size
    w.Rec(114,
          {0, 0, 0, 0, x, 60, 30, 30, blend, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 108, 40, 148, 4, 1, 1},
          dib);
  }
  // y up: window 1000 x 1000 onto a 200 x -100 viewport from the bottom left.
  w.Rec(33, {});
  w.Rec(17, {8});
  w.Rec(9, {1000, 1000}).Rec(11, {200, -100}).Rec(12, {0, 100});
  w.Rec(39, {5, 0, Ref(0x00FF00), 0}).Rec(37, {5});
  w.Rec(43, {100, 100, 300, 300});  // -> 20,70 - 60,90
  w.Rec(34, {-1});
  // Unicode text, top-left aligned.
  w.Rec(82, {6, static_cast<uint32_t>(-24), 0, 0, 0, 400, 0, 0}, [] {
    std::vector<uint8_t> face(64, 0);
    const char name[] = "Liberation Sans";
    for (size_t i = 0; i + 1 < sizeof name; ++i) face[2 * i] = static_cast<uint8_t>(name[i]);
    return face;
  }());
  w.Rec(37, {6});
  w.Rec(24, {Ref(0x000000)});
  w.Rec(22, {0});
  // bounds, mode, scales, reference, chars, offString, options, rect, offDx; "HI" at 76
  w.Rec(84, {0, 0, 0, 0, 1, 0, 0, 120, 60, 2, 76, 0, 0, 0, 0, 0, 0}, {'H', 0, 'I', 0});
  return w.Bytes(200, 100);
}

TEST(MetafileRecords, EmfTransformsPathsClipsHatchAndText) {
  const vx::TBitmap b = Render(EmfScene(), 200, 100);
  ExpectPixels(b, {{30, 30, 0xFF0000, "scaled rectangle"},
                   {55, 30, 0xFFFFFF, "beyond the scaled rectangle"},
                   {80, 30, 0x0000FF, "inside the clip path"},
                   {105, 30, 0xFFFFFF, "outside the clip path"},
                   {130, 15, 0x000000, "hatch line"},
                   {130, 12, 0xFFFFFF, "between hatch lines"},
                   {175, 30, 0x80FF00, "SRCPAINT"},
                   {162, 12, 0x800000, "box outside the bitmap"},
                   {40, 80, 0x00FF00, "y-up rectangle"},
                   {40, 65, 0xFFFFFF, "above the y-up rectangle"}});
  // Half of white stays under both blends (cairo rounds, so one unit either way).
  const auto near = [&](int x, int y, int r, int g, int bl) {
    const uint32_t c = Rgb(b, x, y);
    return std::abs(static_cast<int>(c >> 16) - r) <= 1 &&
           std::abs(static_cast<int>(c >> 8 & 255) - g) <= 1 &&
           std::abs(static_cast<int>(c & 255) - bl) <= 1;
  };
  EXPECT_TRUE(near(85, 75, 255, 127, 127)) << std::hex << Rgb(b, 85, 75);
  EXPECT_TRUE(near(185, 75, 127, 127, 255)) << std::hex << Rgb(b, 185, 75);
  int dark = 0, strayDark = 0;
  for (int y = 55; y < 100; ++y)
    for (int x = 110; x < 200; ++x) {
      const bool isDark = Rgb(b, x, y) < 0x404040;
      const bool inBox = x >= 120 && x < 160 && y >= 60 && y < 90;
      (inBox ? dark : strayDark) += isDark;
    }
  EXPECT_GT(dark, 40) << "text drawn";
  EXPECT_EQ(strayDark, 0) << "text stays near its reference point";
}

// ---- sizes ----

struct SizeCase {
  int width, height, expectW, expectH;
};

TEST(MetafileImport, SizeRules) {
  // ink_shapes.wmf: placeable bounds 4999 x 3749 at 1200 an inch = 400 x 300 at 96 dpi.
  const SizeCase cases[] = {
      {-1, -1, 400, 300}, {-1, 150, 200, 150}, {100, -1, 100, 75}, {50, 60, 50, 60}};
  for (const SizeCase& c : cases) {
    vx::TBitmap b;
    vx::TVantixIO io;
    io.SetAttachedBitmap(&b);
    io.ImportMetafile(DataPath("ink_shapes.wmf"), c.width, c.height);
    ASSERT_FALSE(io.Aborting()) << io.LastError();
    EXPECT_EQ(b.Width(), c.expectW) << c.width << "," << c.height;
    EXPECT_EQ(b.Height(), c.expectH) << c.width << "," << c.height;
    EXPECT_EQ(io.Params().FileType, vx::ioWMF);
  }
  vx::TBitmap e;
  vx::TVantixIO io;
  io.SetAttachedBitmap(&e);
  io.LoadFromFile(DataPath("ink_shapes.emf"));  // the .emf branch: own size
  ASSERT_FALSE(io.Aborting()) << io.LastError();
  EXPECT_EQ(io.Params().FileType, vx::ioEMF);
  EXPECT_EQ(e.Width(), 401);  // frame 10599 x 7999 hundredths of a millimetre
  EXPECT_EQ(e.Height(), 302);
}

TEST(MetafileImport, ZeroSizeDoesNothing) {
  vx::TBitmap b = WhiteBitmap(7, 5);
  vx::TVantixIO io;
  io.SetAttachedBitmap(&b);
  io.ImportMetafile(DataPath("ink_shapes.wmf"), 0, 100);
  EXPECT_FALSE(io.Aborting());
  EXPECT_EQ(b.Width(), 7);
  EXPECT_EQ(b.Height(), 5);
  EXPECT_EQ(Rgb(b, 3, 3), 0xFFFFFFu);
}

TEST(MetafileImport, VxtoolConvertTakesTheSize) {
  const std::string out = vxtest::TempDir() + "/converted.png";
  const std::string cmd = std::string(VXTOOL_PATH) + " convert " + DataPath("ink_shapes.emf") +
                          " " + out + " --width 200 --height -1";
  ASSERT_TRUE(vxtest::CommandSucceeds(cmd)) << cmd;
  vx::TBitmap b;
  vx::TVantixIO io;
  io.SetAttachedBitmap(&b);
  io.LoadFromFile(out);
  ASSERT_FALSE(io.Aborting());
  EXPECT_EQ(b.Width(), 200);
  EXPECT_EQ(b.Height(), 200 * 302 / 401);
  EXPECT_EQ(Rgb(b, 50, 37), 0xD02020u);  // inside the red box
  EXPECT_FALSE(vxtest::CommandSucceeds(std::string(VXTOOL_PATH) + " convert " +
                                       DataPath("ink_shapes.emf") + " " + out + " --width x"));
}

// ---- the libEMF writer ----

#ifdef VX_GDI_EMF_WRITER
TEST(MetafileRealFiles, LibEmfDrawingCalls) {
  const std::string path = vxtest::TempDir() + "/gdi.emf";
  ASSERT_TRUE(vxtest::CommandSucceeds(std::string(VX_GDI_EMF_WRITER) + " " + path));
  const std::vector<uint8_t> bytes = ReadBytes(path);
  vx::TMetafileInfo info;
  ASSERT_TRUE(vx::ProbeMetafile(bytes, info));
  ASSERT_TRUE(info.enhanced);
  const vx::TBitmap b = Render(bytes, info.width, info.height);
  // Logical units (anisotropic 400 x 300 onto as many reference pixels) to output
  // pixels: through the reference device and the frame the writer recorded.
  const auto i32 = [&](size_t at) {
    return static_cast<int32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                                static_cast<uint32_t>(bytes[at + 3]) << 24);
  };
  const double perMm = static_cast<double>(i32(72)) / i32(80);
  const double left = i32(24) / 100.0 * perMm, top = i32(28) / 100.0 * perMm;
  const double sx = info.width / ((i32(32) - i32(24)) / 100.0 * perMm);
  const double sy = info.height / ((i32(36) - i32(28)) / 100.0 * perMm);
  const auto at = [&](int x, int y, uint32_t rgb, const char* what) {
    return Probe{static_cast<int>((x - left) * sx), static_cast<int>((y - top) * sy), rgb, what};
  };
  ExpectPixels(b, {at(50, 40, 0xDC1E1E, "red rectangle"),
                   at(150, 40, 0xFFFFFF, "hole of the alternate-filled polygon"),
                   at(115, 15, 0x1E3CC8, "blue ring"), at(150, 130, 0xFA9614, "turned square"),
                   at(50, 250, 0x00AABE, "filled Bezier path"),
                   at(250, 130, 0xFFFFFF, "inside the unfilled ellipse")});
}
#endif

// ---- bad input ----

TEST(MetafileBadInput, NotAMetafileFails) {
  vx::TBitmap b;
  vx::TVantixIO io;
  io.SetAttachedBitmap(&b);
  const std::string path = WriteTemp("garbage.wmf", std::vector<uint8_t>(300, 0x41));
  io.ImportMetafile(path, -1, -1);
  EXPECT_TRUE(io.Aborting());
  io.ImportMetafile(vxtest::TempDir() + "/missing.emf", -1, -1);
  EXPECT_TRUE(io.Aborting());
}

// Every prefix of real files plays without harm; what was read before the cut is drawn.
TEST(MetafileBadInput, TruncatedFilesRenderWhatWasRead) {
  for (const char* file : {"ink_shapes.wmf", "lo_shapes.emf", "ink_image.emf", "ink_text.wmf"}) {
    const std::vector<uint8_t> whole = ReadBytes(DataPath(file));
    for (size_t n = 0; n < whole.size(); n += 1 + whole.size() / 97) {
      const std::vector<uint8_t> part(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(n));
      vx::TMetafileInfo info;
      if (!vx::ProbeMetafile(part, info)) continue;
      vx::TBitmap b = WhiteBitmap(64, 48);
      vx::RenderMetafile(part, b, 64, 48);
    }
  }
  // The red box of the WMF survives a cut right after it.
  const std::vector<uint8_t> whole = WmfScene();
  const std::vector<uint8_t> cut(whole.begin(), whole.begin() + 120);
  vx::TBitmap b = WhiteBitmap(200, 100);
  vx::RenderMetafile(cut, b, 200, 100);
  EXPECT_EQ(Rgb(b, 35, 30), 0xFF0000u);
}

TEST(MetafileBadInput, AbsurdCountsAndSizesAreRefused) {
  WmfWriter w;
  w.Rec(0x02FA, {5, 0, 0, 0, 0});
  Brush(w, 0xFF0000);
  w.Rec(0x012D, {0}).Rec(0x012D, {1});
  w.Rec(0x0324, {60000, 1, 2, 3, 4});                // polygon claiming 60000 points
  w.Rec(0x0538, {30000, 7});                         // poly-polygon with no room for counts
  for (int i = 0; i < 3000; ++i) w.Rec(0x001E, {});  // deep saves
  for (int i = 0; i < 300; ++i) Brush(w, 0x00FF00);  // more objects than the table holds
  // A bitmap header claiming 100000 x 100000 pixels.
  std::vector<uint8_t> huge = vxtest::PackedDib(1, 1, {0});
  huge[4] = 0xA0, huge[5] = 0x86, huge[6] = 0x01;
  huge[8] = 0xA0, huge[9] = 0x86, huge[10] = 0x01;
  w.Rec(0x0F43, {0x0020, 0x00CC, 0, 1, 1, 0, 0, 100, 200, 0, 0}, huge);
  w.Rec(0x041B, {50, 60, 10, 10});  // still drawn afterwards
  w.Rec(0x0F43, {0x0020, 0x00CC, 0, 1, 1, 0, 0, 100, 200, 0, 0}, {1, 2, 3});  // short DIB
  std::vector<uint8_t> bytes = w.Bytes(true, 0, 0, 200, 100, 96, 8);
  // A record claiming more words than the file holds ends the play.
  const std::vector<uint8_t> tail = {0xFF, 0xFF, 0xFF, 0x7F, 0x1B, 0x04};
  bytes.insert(bytes.end() - 6, tail.begin(), tail.end());
  vxtest::PixelLimit limit(1 << 20);
  const auto start = std::chrono::steady_clock::now();
  vx::TBitmap b = WhiteBitmap(200, 100);
  EXPECT_TRUE(vx::RenderMetafile(bytes, b, 200, 100));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(Rgb(b, 35, 30), 0xFF0000u);
  EXPECT_EQ(Rgb(b, 150, 80), 0xFFFFFFu);

  // EMF: counts beyond the record, a zero-size record, a size beyond the file.
  EmfWriter e;
  e.Rec(39, {1, 0, Ref(0x0000FF), 0}).Rec(37, {1}).Rec(37, {0x80000008});
  e.Rec(8, {0, 0, 0, 0, 0x7FFFFFFF, 0x7FFFFFFF});
  e.Rec(3, {0, 0, 0, 0, 0x40000000, 1, 2});
  e.Rec(81, {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0xFFFFFF00, 40, 80, 4, 0, 0x00CC0020, 10, 10});
  e.Rec(84, {0, 0, 0, 0, 1, 0, 0, 10, 10, 0x7FFFFFFF, 76, 0, 0, 0, 0, 0, 0});
  e.Rec(43, {10, 10, 60, 50});
  e.Raw({0x2B, 0, 0, 0, 0, 0, 0, 0});  // a rectangle of size 0
  const std::vector<uint8_t> emf = e.Bytes(200, 100);
  vx::TBitmap c = WhiteBitmap(200, 100);
  EXPECT_TRUE(vx::RenderMetafile(emf, c, 200, 100));
  EXPECT_EQ(Rgb(c, 35, 30), 0x0000FFu);
}

TEST(MetafileBadInput, HugeCoordinatesAndDashesStayFast) {
  EmfWriter e;
  e.Rec(38, {1, 1, 1, 0, 0});  // dashed cosmetic pen
  e.Rec(37, {1});
  for (int i = 0; i < 2000; ++i) e.Rec(4, {0, 0, 0, 0, 2, -2000000000, i, 2000000000, i + 1});
  e.Rec(39, {2, 0, 0, 0}).Rec(37, {2});
  e.Rec(42, {-2000000000, -2000000000, 2000000000, 2000000000});
  e.Rec(82, {3, static_cast<uint32_t>(-2000000000), 0, 0, 0, 400, 0, 0},
        std::vector<uint8_t>(64, 0));
  e.Rec(37, {3});
  e.Rec(84, {0, 0, 0, 0, 1, 0, 0, 10, 10, 1, 76, 0, 0, 0, 0, 0, 0}, {'W', 0});
  const auto start = std::chrono::steady_clock::now();
  vx::TBitmap b = WhiteBitmap(100, 50);
  EXPECT_TRUE(vx::RenderMetafile(e.Bytes(100, 50), b, 100, 50));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

}  // namespace
