// The multi-image component: every page of a TIFF and every frame of a GIF in and out of
// a thumbnail view, checked against libtiff and giflib; the parameter list in step.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <tiffio.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "io/lzwhooks.h"
#include "multi/vantixmio.h"
#include "mviewtest.h"
#include "platform/stream.h"
#include "testsupport.h"

using namespace vx;
using vxtest::ImageRGB;
using vxtest::MakeMView;
using vxtest::PatternBitmap;
using vxtest::SolidBitmap;

namespace {

struct PageSize {
  int w, h;
};
const std::vector<PageSize> kPages = {{30, 20}, {25, 15}, {40, 10}};

// Row-major RGB of page p as written into the fixture.
std::vector<uint8_t> PageRGB(int p) {
  return vxtest::BitmapRGB(PatternBitmap(kPages[p].w, kPages[p].h, p + 1));
}

// A 3-page RGB TIFF written by libtiff.
std::string ThreePageTiff() {
  static const std::string path = [] {
    const std::string name = vxtest::TempDir() + "/three.tif";
    TIFF* t = TIFFOpen(name.c_str(), "w");
    for (int p = 0; p < 3; ++p) {
      const std::vector<uint8_t> rgb = PageRGB(p);
      TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kPages[p].w);
      TIFFSetField(t, TIFFTAG_IMAGELENGTH, kPages[p].h);
      TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
      TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
      TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
      TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
      TIFFSetField(t, TIFFTAG_COMPRESSION, p == 1 ? COMPRESSION_LZW : COMPRESSION_NONE);
      TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 4);
      for (int y = 0; y < kPages[p].h; ++y)
        TIFFWriteScanline(t, const_cast<uint8_t*>(rgb.data()) + 3 * kPages[p].w * y,
                          static_cast<uint32_t>(y), 0);
      TIFFWriteDirectory(t);
    }
    TIFFClose(t);
    return name;
  }();
  return path;
}

// Pages of a TIFF as libtiff decodes them: size and row-major RGB.
struct Decoded {
  int w = 0, h = 0;
  std::vector<uint8_t> rgb;
};

std::vector<Decoded> LibtiffPages(const std::string& path) {
  std::vector<Decoded> out;
  TIFF* t = TIFFOpen(path.c_str(), "r");
  if (!t) return out;
  do {
    Decoded d;
    uint32_t w = 0, h = 0;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
    std::vector<uint32_t> raster(static_cast<size_t>(w) * h);
    if (!TIFFReadRGBAImageOriented(t, w, h, raster.data(), ORIENTATION_TOPLEFT, 0)) break;
    d.w = static_cast<int>(w);
    d.h = static_cast<int>(h);
    for (uint32_t px : raster) {
      d.rgb.push_back(static_cast<uint8_t>(TIFFGetR(px)));
      d.rgb.push_back(static_cast<uint8_t>(TIFFGetG(px)));
      d.rgb.push_back(static_cast<uint8_t>(TIFFGetB(px)));
    }
    out.push_back(std::move(d));
  } while (TIFFReadDirectory(t));
  TIFFClose(t);
  return out;
}

// Frames of the GIF fixture: 16 x 8, four colours, delays in hundredths of a second.
constexpr int kGifW = 16, kGifH = 8;
const std::vector<int> kGifDelays = {0, 0, 20, 0};
const GifColorType kGifColours[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {10, 20, 250}};

uint8_t GifIndex(int frame, int x, int y) {
  return static_cast<uint8_t>((x / 4 + y / 2 + frame) % 4);
}

std::string AnimatedGif() {
  static const std::string path = [] {
    const std::string name = vxtest::TempDir() + "/anim.gif";
    int err = 0;
    GifFileType* g = EGifOpenFileName(name.c_str(), false, &err);
    ColorMapObject* map = GifMakeMapObject(4, kGifColours);
    EGifPutScreenDesc(g, kGifW, kGifH, 2, 0, map);
    for (int f = 0; f < static_cast<int>(kGifDelays.size()); ++f) {
      GraphicsControlBlock gcb{};
      gcb.DelayTime = kGifDelays[f];
      gcb.TransparentColor = NO_TRANSPARENT_COLOR;
      GifByteType ext[4];
      const size_t len = EGifGCBToExtension(&gcb, ext);
      EGifPutExtension(g, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(len), ext);
      EGifPutImageDesc(g, 0, 0, kGifW, kGifH, false, nullptr);
      for (int y = 0; y < kGifH; ++y) {
        GifPixelType line[kGifW];
        for (int x = 0; x < kGifW; ++x) line[x] = GifIndex(f, x, y);
        EGifPutLine(g, line, kGifW);
      }
    }
    EGifCloseFile(g, &err);
    GifFreeMapObject(map);
    return name;
  }();
  return path;
}

// Frames of a GIF as giflib decodes them (row-major RGB) and their delays.
struct GifFrames {
  std::vector<std::vector<uint8_t>> rgb;
  std::vector<int> delays;
};

GifFrames GiflibFrames(const std::string& path) {
  GifFrames out;
  int err = 0;
  GifFileType* g = DGifOpenFileName(path.c_str(), &err);
  if (!g) return out;
  if (DGifSlurp(g) == GIF_OK) {
    for (int i = 0; i < g->ImageCount; ++i) {
      const SavedImage& im = g->SavedImages[i];
      const ColorMapObject* map = im.ImageDesc.ColorMap ? im.ImageDesc.ColorMap : g->SColorMap;
      std::vector<uint8_t> rgb;
      for (int p = 0; p < im.ImageDesc.Width * im.ImageDesc.Height; ++p) {
        const GifColorType c = map->Colors[im.RasterBits[p]];
        rgb.insert(rgb.end(), {c.Red, c.Green, c.Blue});
      }
      out.rgb.push_back(std::move(rgb));
      GraphicsControlBlock gcb{};
      out.delays.push_back(DGifSavedExtensionToGCB(g, i, &gcb) == GIF_OK ? gcb.DelayTime : -1);
    }
  }
  DGifCloseFile(g, &err);
  return out;
}

// A view with n solid images, and the component attached to it.
struct Fixture {
  std::unique_ptr<TVantixMView> view = MakeMView(300, 120);
  TVantixMIO mio;
  explicit Fixture(int n) {
    mio.SetAttachedMView(view.get());
    for (int i = 0; i < n; ++i) view->SetImage(view->AppendImage(), SolidBitmap(5, 5, 0x404040));
  }
};

}  // namespace

TEST(MIOTiff, PagesGoInAtTheSelectedImageWithTheirParameters) {
  Fixture f(3);
  ASSERT_EQ(f.mio.ParamsCount(), 3);
  f.view->SetImage(2, SolidBitmap(7, 7, 0x0000FF));
  f.view->SetSelectedImage(2);
  std::vector<int> percents;
  f.mio.OnProgress = [&](TObject*, int per) { percents.push_back(per); };
  f.mio.LoadFromFile(ThreePageTiff());
  ASSERT_FALSE(f.mio.Aborting()) << f.mio.LastError();
  ASSERT_EQ(f.view->ImageCount(), 6);
  ASSERT_EQ(f.mio.ParamsCount(), 6);
  const std::vector<Decoded> peer = LibtiffPages(ThreePageTiff());
  ASSERT_EQ(peer.size(), 3u);
  for (int p = 0; p < 3; ++p) {
    SCOPED_TRACE(p);
    EXPECT_EQ(f.view->ImageWidth(2 + p), peer[p].w);
    EXPECT_EQ(ImageRGB(*f.view, 2 + p), peer[p].rgb);
    EXPECT_EQ(f.view->ImageDelayTime(2 + p), 100);
    EXPECT_EQ(f.mio.Params(2 + p)->TIFF_ImageIndex, 2 + p);
    EXPECT_EQ(f.mio.Params(2 + p)->GIF_ImageIndex, 2 + p);
    EXPECT_EQ(f.mio.Params(2 + p)->FileType, ioTIFF);
    EXPECT_EQ(f.mio.Params(2 + p)->Width, kPages[p].w);
  }
  EXPECT_EQ(f.view->ImageWidth(5), 7);  // the old image 2
  EXPECT_EQ(f.mio.Params(5)->TIFF_ImageIndex, 5);
  EXPECT_EQ(f.mio.Params(1)->TIFF_ImageIndex, 1);
  EXPECT_NE(std::find(percents.begin(), percents.end(), 100), percents.end());

  // Deleting in the view removes the set and renumbers the rest.
  f.view->DeleteImage(0);
  ASSERT_EQ(f.mio.ParamsCount(), 5);
  EXPECT_EQ(f.mio.Params(1)->Width, kPages[0].w);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(f.mio.Params(i)->TIFF_ImageIndex, i);
  EXPECT_EQ(f.mio.Params(5), nullptr);
  f.view->Clear();
  EXPECT_EQ(f.mio.ParamsCount(), 0);
}

TEST(MIOTiff, SavedPagesOpenInLibtiffWithTheSamePixels) {
  Fixture f(0);
  f.mio.LoadFromFileTIFF(ThreePageTiff());
  ASSERT_EQ(f.view->ImageCount(), 3);
  // A page given as a bitmap, with its parameters taken from its neighbour.
  f.view->SetImage(f.view->AppendImage(), PatternBitmap(9, 33, 7));
  const std::string out = vxtest::TempDir() + "/saved.tif";
  f.mio.SaveToFile(out);
  ASSERT_FALSE(f.mio.Aborting()) << f.mio.LastError();
  const std::vector<Decoded> peer = LibtiffPages(out);
  ASSERT_EQ(peer.size(), 4u);
  for (int p = 0; p < 4; ++p) {
    SCOPED_TRACE(p);
    EXPECT_EQ(peer[p].rgb, ImageRGB(*f.view, p));
  }
  EXPECT_EQ(peer[3].w, 9);
}

TEST(MIOGif, FramesKeepTheirDelaysAndPixels) {
  Fixture f(0);
  f.mio.LoadFromFile(AnimatedGif());
  ASSERT_FALSE(f.mio.Aborting()) << f.mio.LastError();
  const GifFrames peer = GiflibFrames(AnimatedGif());
  ASSERT_EQ(peer.rgb.size(), 4u);
  ASSERT_EQ(f.view->ImageCount(), 4);
  // No delay: 10 ms until a frame has one; then that frame's delay for the rest.
  const std::vector<int> delays = {10, 10, 200, 200};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(ImageRGB(*f.view, i), peer.rgb[i]);
    EXPECT_EQ(f.view->ImageDelayTime(i), delays[i]);
    EXPECT_EQ(f.mio.Params(i)->GIF_ImageIndex, i);
    EXPECT_EQ(f.mio.Params(i)->FileType, ioGIF);
  }

  const std::string out = vxtest::TempDir() + "/saved.gif";
  f.mio.SaveToFileGif(out);
  ASSERT_FALSE(f.mio.Aborting()) << f.mio.LastError();
  const GifFrames back = GiflibFrames(out);
  ASSERT_EQ(back.rgb.size(), 4u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(back.rgb[i], peer.rgb[i]) << i;
  EXPECT_EQ(back.delays[2], 20);
}

TEST(MIOTiff, APageThatFailsEndsTheLoadAndKeepsThePagesBefore) {
  // Page 1 of the fixture is LZW-coded: without a decoder it cannot be read.
  const TTIFFLZWDecompFunc decoder = DefTIFF_LZWDECOMPFUNC;
  DefTIFF_LZWDECOMPFUNC = nullptr;
  Fixture f(1);
  f.view->SetSelectedImage(0);
  f.mio.LoadFromFile(ThreePageTiff());
  DefTIFF_LZWDECOMPFUNC = decoder;
  EXPECT_TRUE(f.mio.Aborting());
  EXPECT_FALSE(f.mio.LastError().empty());
  ASSERT_EQ(f.view->ImageCount(), 2);  // page 0, then the image that was there
  EXPECT_EQ(f.view->ImageWidth(0), kPages[0].w);
  EXPECT_EQ(f.view->ImageWidth(1), 5);
  ASSERT_EQ(f.mio.ParamsCount(), 2);
  EXPECT_EQ(f.mio.Params(1)->TIFF_ImageIndex, 1);
}

TEST(MIOFiles, TheExtensionChoosesTheFormat) {
  const std::string upper = vxtest::TempDir() + "/PAGES.TIFF";
  std::filesystem::copy_file(ThreePageTiff(), upper,
                             std::filesystem::copy_options::overwrite_existing);
  Fixture f(0);
  f.mio.LoadFromFile(upper);
  EXPECT_EQ(f.view->ImageCount(), 3);
  f.mio.LoadFromFile(vxtest::CorpusPath("bmp/vgl_6434_0018a.bmp"));  // not multi-image
  EXPECT_EQ(f.view->ImageCount(), 3);
  EXPECT_FALSE(f.mio.Aborting());
  // A save that fails leaves the earlier file whole.
  const std::string keep = vxtest::TempDir() + "/keep.tif";
  std::filesystem::copy_file(ThreePageTiff(), keep,
                             std::filesystem::copy_options::overwrite_existing);
  f.view->InsertImage(0);  // an image with no pixels
  f.mio.SaveToFile(keep);
  EXPECT_TRUE(f.mio.Aborting());
  EXPECT_EQ(LibtiffPages(keep).size(), 3u);
}

TEST(MIOFiles, NothingHappensWithoutAViewOrImages) {
  TVantixMIO mio;
  mio.LoadFromFile(ThreePageTiff());
  EXPECT_EQ(mio.ParamsCount(), 0);
  Fixture f(0);
  const std::string out = vxtest::TempDir() + "/none.gif";
  f.mio.SaveToFile(out);
  EXPECT_FALSE(std::filesystem::exists(out));
  // No scanner at all: a SANE set-up with no backend, not the machine's (whose network
  // backends would be probed).
  const std::string noScanners = vxtest::TempDir() + "/sane-none";
  std::filesystem::create_directories(noScanners);
  std::ofstream(noScanners + "/dll.conf").flush();
  setenv("SANE_CONFIG_DIR", noScanners.c_str(), 1);
  EXPECT_FALSE(f.mio.Acquire());
  EXPECT_FALSE(f.mio.SelectAcquireSource());
  EXPECT_FALSE(f.mio.DoPreviews(0, {}));
  // The view going away detaches the component.
  f.view.reset();
  EXPECT_EQ(f.mio.AttachedMView(), nullptr);
  f.mio.LoadFromFile(AnimatedGif());
}
