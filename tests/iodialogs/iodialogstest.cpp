#include "iodialogstest.h"

#include <QTimer>
#include <filesystem>
#include <map>

#include "io/vantixio.h"
#include "testsupport.h"

namespace vxtest {

using namespace vx;

TBitmap Picture(int w, int h) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      const bool block = ((x / 8) + (y / 8)) % 5 == 0;
      row[3 * x + 0] = static_cast<uint8_t>(block ? 255 : x * 255 / std::max(1, w - 1));
      row[3 * x + 1] = static_cast<uint8_t>(y * 255 / std::max(1, h - 1));
      row[3 * x + 2] = static_cast<uint8_t>(block ? 0 : (x * y) % 256);
    }
  }
  return b;
}

TBitmap Bilevel(int w, int h) {
  TBitmap b;
  b.SetPixelFormat(pf1bit);
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < w; ++x)
      if ((x + y) % 3 == 0) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
  }
  return b;
}

namespace {

std::map<std::string, std::string> MakeFixtures() {
  std::map<std::string, std::string> files;
  const std::string dir = TempDir();
  auto path = [&](const std::string& name) { return (std::filesystem::path(dir) / name).string(); };

  TBitmap frame = Picture(40, 30);
  TVantixIO io;
  io.SetAttachedBitmap(&frame);
  io.Params().BitsPerSample = 8;
  io.Params().SamplesPerPixel = 1;
  io.SaveToFileGif(files["one.gif"] = path("one.gif"));
  io.SaveToFileGif(files["three.gif"] = path("three.gif"));
  for (int i = 1; i < 3; ++i) {
    io.Params().GIF_ImageIndex = i;
    io.InsertToFileGif(files["three.gif"]);
  }

  io.Params().SetDefaultParams();
  for (const char* name : {"pages.tif", "pages.tiff"}) {
    files[name] = path(name);
    io.SaveToFileTIFF(files[name]);
    for (int i = 1; i < 3; ++i) io.InsertToFileTIFF(files[name]);
  }
  io.SaveToFilePNG(files["photo.png"] = path("photo.png"));

  TBitmap bw = Bilevel(100, 10);
  TVantixIO bwio;
  bwio.SetAttachedBitmap(&bw);
  bwio.Params().BitsPerSample = 1;
  bwio.Params().SamplesPerPixel = 1;
  bwio.SaveToFileBMP(files["bilevel.bmp"] = path("bilevel.bmp"));
  return files;
}

}  // namespace

std::string Fixture(const std::string& name) {
  static const std::map<std::string, std::string> files = MakeFixtures();
  return files.at(name);
}

void WhenModal(std::function<void()> step) {
  QTimer::singleShot(0, std::move(step));
}

}  // namespace vxtest
