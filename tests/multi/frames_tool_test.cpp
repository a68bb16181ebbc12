// vxtool frames, split and join on multi-page TIFF, animated GIF and AVI, with libtiff,
// giflib and ffmpeg reading what the tool wrote.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <tiffio.h>

#include <filesystem>

#include "avi_peer.h"
#include "io/vantixio.h"
#include "testsupport.h"

using namespace vx;
using namespace avitest;

namespace {

std::string Dir() {
  static const std::string dir = [] {
    const std::string d = vxtest::TempDir() + "/frames";
    std::filesystem::create_directories(d);
    return d;
  }();
  return dir;
}

// Exit status of vxtool with the arguments; output goes to stdout (captured).
int Tool(const std::string& args, std::string* output = nullptr) {
  const std::string cmd = std::string(VXTOOL_PATH) + " " + args + " 2>/dev/null";
  if (output) {
    *output = vxtest::RunCommand(cmd + "; echo \"exit=$?\"");
    const size_t at = output->rfind("exit=");
    const int status = std::atoi(output->c_str() + at + 5);
    output->resize(at);
    return status;
  }
  const int rc = std::system((cmd + " >/dev/null").c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// A picture of four colours, so that a GIF holds it exactly.
TBitmap FewColours(int w, int h, int seed) {
  TBitmap b;
  b.SetSize(w, h);
  const uint8_t colours[4][3] = {{0, 0, 0}, {255, 0, 0}, {0, 200, 40}, {30, 60, 250}};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* c = colours[(x / 3 + y / 2 + seed) % 4];
      b.ScanLine(y)[3 * x] = c[0];
      b.ScanLine(y)[3 * x + 1] = c[1];
      b.ScanLine(y)[3 * x + 2] = c[2];
    }
  return b;
}

// Three PNG inputs (the second of another size), written once per process.
const std::vector<std::string>& Inputs() {
  static const std::vector<std::string> files = [] {
    std::vector<std::string> f;
    for (int i = 0; i < 3; ++i) {
      TBitmap b = FewColours(i == 1 ? 20 : 24, i == 1 ? 10 : 14, i);
      TVantixIO io;
      io.SetAttachedBitmap(&b);
      f.push_back(Dir() + "/in" + std::to_string(i) + ".png");
      io.SaveToFilePNG(f.back());
    }
    return f;
  }();
  return files;
}

std::vector<uint8_t> InputPixels(int i) {
  return PackedBGR(FewColours(i == 1 ? 20 : 24, i == 1 ? 10 : 14, i));
}

std::string Joined() {
  std::string s;
  for (const auto& f : Inputs()) s += " '" + f + "'";
  return s;
}

// A TIFF page through libtiff, as packed BGR.
std::vector<uint8_t> TiffPage(TIFF* t, int& w, int& h) {
  uint32_t tw = 0, th = 0;
  TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &tw);
  TIFFGetField(t, TIFFTAG_IMAGELENGTH, &th);
  w = static_cast<int>(tw);
  h = static_cast<int>(th);
  std::vector<uint32_t> rgba(static_cast<size_t>(tw) * th);
  if (!TIFFReadRGBAImageOriented(t, tw, th, rgba.data(), ORIENTATION_TOPLEFT, 0)) return {};
  std::vector<uint8_t> out;
  for (uint32_t p : rgba)
    out.insert(out.end(), {static_cast<uint8_t>(TIFFGetB(p)), static_cast<uint8_t>(TIFFGetG(p)),
                           static_cast<uint8_t>(TIFFGetR(p))});
  return out;
}

TEST(FramesTool, JoinTiffPagesReadByLibtiffAndSplitBack) {
  for (const char* codec : {"none", "lzw"}) {
    const std::string tif = Dir() + "/joined_" + codec + ".tif";
    ASSERT_EQ(Tool("join '" + tif + "'" + Joined() + " --codec " + codec), 0) << codec;
    TIFF* t = TIFFOpen(tif.c_str(), "r");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(TIFFNumberOfDirectories(t), 3);
    for (int i = 0; i < 3; ++i) {
      ASSERT_EQ(TIFFSetDirectory(t, static_cast<tdir_t>(i)), 1);
      int w = 0, h = 0;
      EXPECT_EQ(TiffPage(t, w, h), InputPixels(i)) << codec << " page " << i;
      EXPECT_EQ(w, i == 1 ? 20 : 24);
    }
    TIFFClose(t);
  }

  const std::string tif = Dir() + "/joined_none.tif";
  std::string out;
  ASSERT_EQ(Tool("frames '" + tif + "'", &out), 0);
  EXPECT_NE(out.find(": 3 images"), std::string::npos) << out;
  EXPECT_NE(out.find("    1  20 x 10, 24 bits, delay 100 ms"), std::string::npos) << out;

  ASSERT_EQ(Tool("split '" + tif + "' '" + Dir() + "/page-%03d.bmp'"), 0);
  for (int i = 0; i < 3; ++i) {
    TBitmap b;
    TVantixIO io;
    io.SetAttachedBitmap(&b);
    io.LoadFromFile(Dir() + "/page-00" + std::to_string(i) + ".bmp");
    EXPECT_EQ(PackedBGR(b), InputPixels(i)) << i;
  }
}

TEST(FramesTool, JoinAnimatedGifReadByGiflib) {
  const std::string gif = Dir() + "/joined.gif";
  ASSERT_EQ(Tool("join '" + gif + "'" + Joined() + " --delay 70"), 0);
  int error = 0;
  GifFileType* g = DGifOpenFileName(gif.c_str(), &error);
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(DGifSlurp(g), GIF_OK);
  ASSERT_EQ(g->ImageCount, 3);
  for (int i = 0; i < 3; ++i) {
    const SavedImage& im = g->SavedImages[i];
    GraphicsControlBlock gcb{};
    ASSERT_EQ(DGifSavedExtensionToGCB(g, i, &gcb), GIF_OK);
    EXPECT_EQ(gcb.DelayTime, 7);
    const ColorMapObject* map = im.ImageDesc.ColorMap ? im.ImageDesc.ColorMap : g->SColorMap;
    std::vector<uint8_t> pixels;
    for (int p = 0; p < im.ImageDesc.Width * im.ImageDesc.Height; ++p) {
      const GifColorType c = map->Colors[im.RasterBits[p]];
      pixels.insert(pixels.end(), {c.Blue, c.Green, c.Red});
    }
    EXPECT_EQ(pixels, InputPixels(i)) << "frame " << i;
  }
  DGifCloseFile(g, &error);

  std::string out;
  ASSERT_EQ(Tool("frames '" + gif + "'", &out), 0);
  EXPECT_NE(out.find(": 3 images"), std::string::npos) << out;
  EXPECT_NE(out.find("    2  24 x 14, 8 bits, delay 70 ms"), std::string::npos) << out;
}

// Images of another size than the first are replaced by the last one of the first's size.
TEST(FramesTool, JoinAviReadByFFmpegAndSplitBack) {
  if (!HaveFFmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const std::string avi = Dir() + "/joined.avi";
  ASSERT_EQ(Tool("join '" + avi + "'" + Joined() + " --codec huffyuv --delay 50"), 0);
  const TProbed p = Probe(avi);
  EXPECT_EQ(p.Codec, "huffyuv");
  EXPECT_EQ(p.Frames, "3");
  EXPECT_EQ(p.Rate, "20/1");
  const auto peer = PeerFrames(avi, 24, 14);
  ASSERT_EQ(peer.size(), 3u);
  EXPECT_EQ(peer[0], InputPixels(0));
  EXPECT_EQ(peer[1], InputPixels(0));
  EXPECT_EQ(peer[2], InputPixels(2));

  std::string out;
  ASSERT_EQ(Tool("frames '" + avi + "'", &out), 0);
  EXPECT_NE(out.find("huffyuv video, 24 x 14, 20.000 frames a second, 3 frames declared"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("    2  24 x 14, 24 bits, delay 50 ms"), std::string::npos) << out;

  ASSERT_EQ(Tool("split '" + avi + "' '" + Dir() + "/frame%d.png'"), 0);
  TBitmap b;
  TVantixIO io;
  io.SetAttachedBitmap(&b);
  io.LoadFromFile(Dir() + "/frame2.png");
  EXPECT_EQ(PackedBGR(b), InputPixels(2));
}

TEST(FramesTool, FailuresAndUsageErrors) {
  const std::string in = Inputs()[0];
  struct {
    std::string args;
    int status;
  } cases[] = {
      {"frames", 2},
      {"frames '" + in + "'", 2},                                        // not multi-image
      {"split '" + Dir() + "/x.gif' '" + Dir() + "/no-field.png'", 2},   // no %d
      {"split '" + Dir() + "/x.gif' '" + Dir() + "/two-%d-%d.png'", 2},  // two fields
      {"join '" + Dir() + "/o.avi' '" + in + "' --codec h264", 2},
      {"join '" + Dir() + "/o.gif' '" + in + "' --codec lzw", 2},
      {"join '" + Dir() + "/o.png' '" + in + "'", 2},
      {"join '" + Dir() + "/o.avi' '" + in + "' --delay", 2},
      {"frames '" + Dir() + "/missing.avi'", 1},
      {"join '" + Dir() + "/no/such/dir/o.avi' '" + in + "'", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(Tool(c.args), c.status) << c.args;
}

}  // namespace
