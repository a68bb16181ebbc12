#include "facadetest.h"

#include <QWidget>
#include <fstream>
#include <iterator>

#include "io/vantixio.h"
#include "testsupport.h"
#include "view/vantixview.h"

namespace vxtest {

Fixtures::Fixtures()
    : png(CorpusPath("png/basn2c08.png")),
      jpeg(CorpusPath("jpeg/testorig.jpg")),
      gif(CorpusPath("gif/treescap.gif")) {
  const std::string dir = TempDir();
  vx::TBitmap sample = SampleBitmap();
  vx::TVantixIO writer;
  writer.SetAttachedBitmap(&sample);
  bmp = dir + "/sample.bmp";
  pcx = dir + "/sample.pcx";
  tiff = dir + "/sample.tif";
  writer.SaveToFileBMP(bmp);
  writer.SaveToFilePCX(pcx);
  writer.SaveToFileTIFF(tiff);
  // Icons and cursors come from ImageMagick; a cursor is an icon file of type 2.
  ico = dir + "/sample.ico";
  cur = dir + "/sample.cur";
  RunCommand("convert '" + png + "' '" + ico + "' 2>/dev/null");
  std::string bytes = FileBytes(ico);
  if (bytes.size() > 4) {
    bytes[2] = 2;
    std::ofstream(cur, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  wmf = dir + "/drawing.wmf";
}

const Fixtures& F() {
  static const Fixtures fixtures;
  return fixtures;
}

vx::TBitmap SampleBitmap() {
  vx::TBitmap b;
  b.SetPixelFormat(vx::pf24bit);
  b.SetSize(40, 30);
  for (int y = 0; y < b.Height(); ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < b.Width(); ++x) {
      row[3 * x] = static_cast<uint8_t>(x * 6);            // blue
      row[3 * x + 1] = static_cast<uint8_t>(y * 8);        // green
      row[3 * x + 2] = static_cast<uint8_t>(255 - x * y);  // red
    }
  }
  return b;
}

std::string Digest(const vx::TBitmap& bitmap) {
  const std::vector<uint8_t> rgb = BitmapRGB(bitmap);
  return std::to_string(bitmap.Width()) + "x" + std::to_string(bitmap.Height()) + "/" +
         std::to_string(static_cast<int>(bitmap.PixelFormat())) + ":" +
         std::string(rgb.begin(), rgb.end());
}

::testing::AssertionResult SameImage(const vx::TBitmap& actual, const vx::TBitmap& expected) {
  if (actual.Width() != expected.Width() || actual.Height() != expected.Height() ||
      actual.PixelFormat() != expected.PixelFormat())
    return ::testing::AssertionFailure()
           << actual.Width() << "x" << actual.Height() << " format "
           << static_cast<int>(actual.PixelFormat()) << " instead of " << expected.Width() << "x"
           << expected.Height() << " format " << static_cast<int>(expected.PixelFormat());
  const std::vector<uint8_t> a = BitmapRGB(actual), e = BitmapRGB(expected);
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != e[i]) {
      const size_t pixel = i / 3;
      return ::testing::AssertionFailure()
             << "pixel (" << pixel % actual.Width() << ", " << pixel / actual.Width()
             << ") differs, channel " << i % 3 << ": " << int{a[i]} << " instead of " << int{e[i]};
    }
  return ::testing::AssertionSuccess();
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

QByteArray FileBytesQ(const std::string& path) {
  const std::string bytes = FileBytes(path);
  return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

vx::TBitmap DecodeFile(const std::string& path) {
  vx::TBitmap b;
  vx::TVantixIO io;
  io.SetAttachedBitmap(&b);
  io.LoadFromFile(path);
  return b;
}

QImage ToQImage(const vx::TBitmap& bitmap) {
  const std::vector<uint8_t> rgb = BitmapRGB(bitmap);
  QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_RGB888);
  for (int y = 0; y < bitmap.Height(); ++y)
    std::copy_n(rgb.data() + static_cast<size_t>(y) * bitmap.Width() * 3, bitmap.Width() * 3,
                image.scanLine(y));
  return image;
}

QImage Grab(vx::TVantixView& view) {
  return view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB888);
}

}  // namespace vxtest
