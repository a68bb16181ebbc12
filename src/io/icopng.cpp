// PNG-compressed icon entries (the 256x256 images of modern icon files),
// decoded with libpng's simplified interface into 8-bit BGRA and flattened onto
// a background.
#include <png.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "io/bmpfilt.h"

namespace vx {

namespace {
// Deflate expands a byte to at most about 1032; with one bit a pixel that
// bounds the pixels a blob of data can describe. Small images are always
// allowed.
constexpr uint64_t kPixelsPerByte = 8 * 1032;
constexpr uint64_t kSmallImagePixels = uint64_t{1} << 22;
constexpr png_uint_32 kMaxSide = 1u << 16;
} // namespace

bool ICODecodePNG(const uint8_t *data, size_t size, TBitmap &bitmap,
                  const TRGB &background, int &width, int &height) {
  width = height = 0;
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, data, size)) {
    png_image_free(&image);
    return false;
  }
  const png_uint_32 w = image.width, h = image.height;
  const uint64_t pixels = static_cast<uint64_t>(w) * h;
  if (w == 0 || h == 0 || w > kMaxSide || h > kMaxSide ||
      pixels > std::max<uint64_t>(size * kPixelsPerByte, kSmallImagePixels)) {
    png_image_free(&image);
    return false;
  }
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  image.format = PNG_FORMAT_BGRA;
  std::vector<uint8_t> rgba(static_cast<size_t>(pixels) * 4);
  const bool ok =
      png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr) != 0;
  png_image_free(&image);

  SizeBitmap(bitmap, width, height, pf24bit);
  for (int y = 0; y < height; ++y) {
    const uint8_t *src = rgba.data() + static_cast<size_t>(y) * w * 4;
    auto *out = reinterpret_cast<TRGB *>(bitmap.ScanLine(y));
    for (int x = 0; x < width; ++x, src += 4) {
      const int a = src[3];
      auto blend = [a](int c, int bg) {
        return static_cast<uint8_t>((c * a + bg * (255 - a) + 127) / 255);
      };
      out[x] = TRGB{blend(src[0], background.b), blend(src[1], background.g),
                    blend(src[2], background.r)};
    }
  }
  return ok;
}

} // namespace vx
