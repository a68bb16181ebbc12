#pragma once
// Helpers of the facade, data-aware view and plugin tests.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QImage>
#include <string>

#include "platform/bitmap.h"

namespace vx {
class TVantixView;
}

namespace vxtest {

// Files of every format the library reads (corpus files, and ours or ImageMagick's
// where the corpus has none), made once per test binary in its temporary folder.
struct Fixtures {
  std::string png, jpeg, gif, bmp, pcx, tiff, ico, cur;
  std::string wmf;  // a name only: the tests' metafile player draws it
  Fixtures();
};
const Fixtures& F();

// A 40 x 30 pf24bit image with distinct colours everywhere (gradients in all three
// channels), so that every operation changes something.
vx::TBitmap SampleBitmap();
// Width, height, pixel format and pixels in one comparable string.
std::string Digest(const vx::TBitmap& bitmap);
// Same size, format and pixels; on failure says where they first differ.
::testing::AssertionResult SameImage(const vx::TBitmap& actual, const vx::TBitmap& expected);
// The bytes of a file (empty when it cannot be read).
std::string FileBytes(const std::string& path);
QByteArray FileBytesQ(const std::string& path);
// The bitmap the library decodes from a file, by content.
vx::TBitmap DecodeFile(const std::string& path);
// The bitmap as a QImage in RGB888, to compare with grabbed pixels.
QImage ToQImage(const vx::TBitmap& bitmap);
// What a widget shows, grabbed, as RGB888.
QImage Grab(vx::TVantixView& view);

}  // namespace vxtest
