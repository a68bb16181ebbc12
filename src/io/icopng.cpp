// PNG-compressed icon entries (the 256x256 images of modern icon files). Decoded with
// libpng into 8-bit BGRA - no gamma conversion, the samples as stored - and flattened
// onto a background colour.
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <vector>

#include "io/bmpfilt.h"

namespace vx {

namespace {

// Deflate expands a byte to at most about 1032; with one bit a pixel that bounds the
// pixels a blob of data can describe. Small images are always allowed.
constexpr uint64_t kPixelsPerByte = 8 * 1032;
constexpr uint64_t kSmallImagePixels = uint64_t{1} << 22;
constexpr png_uint_32 kMaxSide = 1u << 16;

struct MemorySource {
  const uint8_t* data;
  size_t size;
  size_t pos;
};

void ReadFromMemory(png_structp png, png_bytep out, size_t count) {
  auto* src = static_cast<MemorySource*>(png_get_io_ptr(png));
  if (count > src->size - src->pos) png_error(png, "truncated");
  std::memcpy(out, src->data + src->pos, count);
  src->pos += count;
}

void Warn(png_structp, png_const_charp) {}
void Fail(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}

// The two steps that may jump back on an error; nothing with a destructor lives in
// them.
bool ReadHeader(png_structp png, png_infop info, png_uint_32& w, png_uint_32& h) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  w = png_get_image_width(png, info);
  h = png_get_image_height(png, info);
  png_set_expand(png);
  png_set_scale_16(png);  // rounds, where stripping would truncate
  png_set_gray_to_rgb(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_bgr(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  return png_get_rowbytes(png, info) == static_cast<size_t>(w) * 4;
}

bool ReadPixels(png_structp png, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  return true;
}

}  // namespace

bool ICODecodePNG(const uint8_t* data, size_t size, TBitmap& bitmap, const TRGB& background,
                  int& width, int& height) {
  width = height = 0;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Warn);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  MemorySource src{data, size, 0};
  png_set_read_fn(png, &src, ReadFromMemory);
  png_set_user_limits(png, kMaxSide, kMaxSide);

  png_uint_32 w = 0, h = 0;
  bool ok = ReadHeader(png, info, w, h);
  const uint64_t pixels = static_cast<uint64_t>(w) * h;
  if (ok &&
      (w == 0 || h == 0 || pixels > std::max<uint64_t>(size * kPixelsPerByte, kSmallImagePixels)))
    ok = false;
  if (!ok) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  // Rows the data never reaches stay transparent, so they show the background.
  std::vector<uint8_t> bgra(static_cast<size_t>(pixels) * 4, 0);
  std::vector<png_bytep> rows(h);
  for (png_uint_32 y = 0; y < h; ++y) rows[y] = bgra.data() + static_cast<size_t>(y) * w * 4;
  ok = ReadPixels(png, rows.data());
  png_destroy_read_struct(&png, &info, nullptr);

  SizeBitmap(bitmap, width, height, pf24bit);
  for (int y = 0; y < height; ++y) {
    const uint8_t* p = rows[static_cast<size_t>(y)];
    auto* out = reinterpret_cast<TRGB*>(bitmap.ScanLine(y));
    for (int x = 0; x < width; ++x, p += 4) {
      const int a = p[3];
      auto blend = [a](int c, int bg) {
        return static_cast<uint8_t>((c * a + bg * (255 - a) + 127) / 255);
      };
      out[x] =
          TRGB{blend(p[0], background.b), blend(p[1], background.g), blend(p[2], background.r)};
    }
  }
  return ok;
}

}  // namespace vx
