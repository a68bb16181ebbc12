// PNG-compressed icon entries (the 256x256 images of modern icon files). Decoded with
// libpng into 8-bit BGRA - no gamma conversion, the samples as stored - and flattened
// onto a background colour.
//
// libpng reports a fatal error through OnError, which leaves with png_longjmp to the
// setjmp of one of the small step functions below. Between the two there are only
// libpng's C frames and the memory read callback, none of which holds an object with
// a destructor, and no C++ exception can start there (the callbacks only copy bytes).
// Everything that may throw - the row buffers, the bitmap - is allocated outside those
// steps, and the libpng structures belong to a holder that frees them on every path.
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "codecs/bmpfilt.h"

namespace vx {

namespace {

// Deflate expands a byte to at most about 1032; with one bit a pixel that bounds the
// pixels a blob of data can describe. Small images are always allowed.
constexpr uint64_t kPixelsPerByte = 8 * 1032;
constexpr uint64_t kSmallImagePixels = uint64_t{1} << 22;
constexpr png_uint_32 kMaxSide = 1u << 16;

// What the callbacks share with the decoder: the blob, and libpng's first error.
struct Context {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t pos = 0;
  char message[128] = {};
};

void ReadFromMemory(png_structp png, png_bytep out, size_t count) noexcept {
  auto* src = static_cast<Context*>(png_get_io_ptr(png));
  if (count > src->size - src->pos) png_error(png, "data cut short");
  std::memcpy(out, src->data + src->pos, count);
  src->pos += count;
}

void OnWarning(png_structp, png_const_charp) noexcept {}

[[noreturn]] void OnError(png_structp png, png_const_charp message) noexcept {
  auto* ctx = static_cast<Context*>(png_get_error_ptr(png));
  if (ctx && ctx->message[0] == 0 && message) {
    std::strncpy(ctx->message, message, sizeof ctx->message - 1);
  }
  png_longjmp(png, 1);
}

// Owns the read structures; destroying it destroys them on every path.
class PngReadState {
 public:
  explicit PngReadState(Context* ctx) {
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, ctx, OnError, OnWarning);
    if (png_) info_ = png_create_info_struct(png_);
  }
  ~PngReadState() {
    if (png_) png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr);
  }
  PngReadState(const PngReadState&) = delete;
  PngReadState& operator=(const PngReadState&) = delete;
  bool Valid() const { return png_ && info_; }
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

// The steps that may jump back on an error; nothing with a destructor lives in them.
bool ReadHeader(png_structp png, png_infop info, png_uint_32& w, png_uint_32& h, int& passes) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  w = png_get_image_width(png, info);
  h = png_get_image_height(png, info);
  png_set_expand(png);
  png_set_scale_16(png);  // rounds, where stripping would truncate
  png_set_gray_to_rgb(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_bgr(png);
  passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  return true;
}

bool ReadRow(png_structp png, png_bytep row) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_row(png, row, nullptr);
  return true;
}

bool ReadImage(png_structp png, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  return true;
}

// One BGRA row onto the background.
void BlendRow(const uint8_t* p, TRGB* out, int width, const TRGB& background) {
  for (int x = 0; x < width; ++x, p += 4) {
    const int a = p[3];
    auto blend = [a](int c, int bg) {
      return static_cast<uint8_t>((c * a + bg * (255 - a) + 127) / 255);
    };
    out[x] = TRGB{blend(p[0], background.b), blend(p[1], background.g), blend(p[2], background.r)};
  }
}

// The reason of a libpng error; its allocation failures count as out of memory.
bool DecoderFailed(const Context& ctx, const TProgressRec& progress) {
  const std::string message = ctx.message[0] ? ctx.message : "bad data";
  if (message.find("memory") != std::string::npos)
    progress.FailOutOfMemory("for the PNG decoder of an icon entry");
  else
    progress.Fail("ICO: PNG entry: " + message);
  return false;
}

// Decodes the rows into bitmap (already sized), reading one row at a time, or for
// interlaced images the whole picture into bgra first. Rows the data never reaches
// show the background.
bool DecodeRows(png_structp png, int passes, std::vector<uint8_t>& bgra, TBitmap& bitmap,
                const TRGB& background) {
  const int w = bitmap.Width(), h = bitmap.Height();
  const size_t rowBytes = static_cast<size_t>(w) * 4;
  auto out = [&](int y) { return reinterpret_cast<TRGB*>(bitmap.ScanLine(y)); };
  if (passes <= 1) {
    bool ok = true;
    for (int y = 0; y < h; ++y) {
      ok = ok && ReadRow(png, bgra.data());
      if (ok)
        BlendRow(bgra.data(), out(y), w, background);
      else
        std::fill(out(y), out(y) + w, background);
    }
    return ok;
  }
  std::vector<png_bytep> rows(static_cast<size_t>(h));
  for (int y = 0; y < h; ++y) rows[static_cast<size_t>(y)] = bgra.data() + rowBytes * y;
  const bool ok = ReadImage(png, rows.data());
  for (int y = 0; y < h; ++y) BlendRow(rows[static_cast<size_t>(y)], out(y), w, background);
  return ok;
}

}  // namespace

bool ICODecodePNG(const uint8_t* data, size_t size, TBitmap& bitmap, const TRGB& background,
                  int& width, int& height, const TProgressRec& progress) {
  width = height = 0;
  Context ctx;
  ctx.data = data;
  ctx.size = size;
  PngReadState state(&ctx);
  if (!state.Valid()) {
    progress.FailOutOfMemory("for the PNG decoder of an icon entry");
    return false;
  }
  png_structp png = state.png();
  png_set_read_fn(png, &ctx, ReadFromMemory);
  png_set_user_limits(png, kMaxSide, kMaxSide);

  png_uint_32 w = 0, h = 0;
  int passes = 1;
  if (!ReadHeader(png, state.info(), w, h, passes)) return DecoderFailed(ctx, progress);
  if (w == 0 || h == 0 || png_get_rowbytes(png, state.info()) != static_cast<size_t>(w) * 4) {
    progress.Fail("ICO: PNG entry has an unusable header");
    return false;
  }
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  if (!ImageSizeAllowed(width, height, progress)) return false;
  const uint64_t pixels = static_cast<uint64_t>(w) * h;
  if (pixels > std::max<uint64_t>(size * kPixelsPerByte, kSmallImagePixels)) {
    progress.Fail("ICO: PNG entry of " + std::to_string(size) + " bytes cannot hold a " +
                  std::to_string(w) + " x " + std::to_string(h) + " image");
    return false;
  }
  // The decode buffer comes first, so that a refused allocation leaves the bitmap as
  // it was.
  std::vector<uint8_t> bgra;
  try {
    bgra.assign(static_cast<size_t>(w) * 4 * (passes > 1 ? h : 1), 0);
  } catch (const std::bad_alloc&) {
    progress.FailOutOfMemory("for the rows of a PNG icon entry");
    return false;
  }
  if (!SizeImage(bitmap, width, height, pf24bit, progress)) return false;
  try {
    if (!DecodeRows(png, passes, bgra, bitmap, background)) return DecoderFailed(ctx, progress);
  } catch (const std::bad_alloc&) {
    progress.FailOutOfMemory("for the rows of a PNG icon entry");
    return false;
  }
  return true;
}

}  // namespace vx
