#include "codecs/pngfilt.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <vector>

#include "core/arith.h"
#include "core/vxutils.h"
#include "platform/screen.h"
#include "proc/convert1bit.h"
#include "quant/neurquant.h"

namespace vx {

bool IsPNGStream(TStream& stream) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  const int64_t pos = stream.Position();
  uint8_t b[8] = {};
  const int64_t n = stream.Read(b, 8);
  stream.SetPosition(pos);
  return n == 8 && std::memcmp(b, kSignature, 8) == 0;
}

namespace {

// Deflate cannot expand data by more than about 1032 to 1: an image whose rows could
// not come out of the bytes left in the stream is refused before its bitmap is made.
constexpr int64_t kMaxDeflateRatio = 1032;
constexpr int64_t kSmallRawBytes = int64_t{1} << 20;

// ---- errors ----
//
// libpng reports a fatal error through our error callback, which must not return. We
// leave with libpng's own longjmp to the setjmp in PngCall, the only frame that calls
// setjmp. Between the two there are only libpng's C frames and the small stream
// callbacks below, which hold no object with a destructor when they raise, so no
// destructor is skipped; PngCall has no local that changes after setjmp, so nothing
// needs to be volatile. C++ exceptions never cross libpng: the callbacks catch them and
// raise a libpng error instead.

[[noreturn]] void OnError(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

template <class F>
[[gnu::noinline]] bool PngCall(png_structp png, F&& call) {
  std::jmp_buf& jump = png_jmpbuf(png);
  if (setjmp(jump) != 0) return false;
  call();
  return true;
}

void ReadData(png_structp png, png_bytep data, size_t length) {
  auto* stream = static_cast<TStream*>(png_get_io_ptr(png));
  if (ReadNoThrow(*stream, data, static_cast<int64_t>(length)) != static_cast<int64_t>(length))
    png_error(png, "read error");
}

void WriteData(png_structp png, png_bytep data, size_t length) {
  auto* stream = static_cast<TStream*>(png_get_io_ptr(png));
  if (!WriteNoThrow(*stream, data, static_cast<int64_t>(length))) png_error(png, "write error");
}

void FlushData(png_structp) {}

// Owns the read structures; destroying it destroys them on every path.
class PngReader {
 public:
  PngReader() {
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (png_) info_ = png_create_info_struct(png_);
  }
  ~PngReader() {
    if (png_) png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr);
  }
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;
  bool Valid() const { return png_ && info_; }
  template <class F>
  bool Call(F&& f) {
    return PngCall(png_, std::forward<F>(f));
  }
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

class PngWriter {
 public:
  PngWriter() {
    png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (png_) info_ = png_create_info_struct(png_);
  }
  ~PngWriter() {
    if (png_) png_destroy_write_struct(&png_, info_ ? &info_ : nullptr);
  }
  PngWriter(const PngWriter&) = delete;
  PngWriter& operator=(const PngWriter&) = delete;
  bool Valid() const { return png_ && info_; }
  template <class F>
  bool Call(F&& f) {
    return PngCall(png_, std::forward<F>(f));
  }
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

// A file sample of the given depth brought to 0..255.
uint8_t To8Bits(unsigned v, int depth) {
  if (depth >= 16) return static_cast<uint8_t>(v >> 8);
  if (depth == 8) return static_cast<uint8_t>(v);
  const unsigned maxv = (1u << depth) - 1;
  return static_cast<uint8_t>(std::min(v, maxv) * 255 / maxv);
}

int SamplesOf(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_RGB:
      return 3;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      return 2;
    case PNG_COLOR_TYPE_RGB_ALPHA:
      return 4;
    default:
      return 1;
  }
}

int DpiFromPpm(png_uint_32 ppm, int screen) {
  const int64_t dpi = Round(static_cast<extended>(ppm) / 100 * 2.54L);
  return dpi > 0 && dpi <= 0x7FFFFFFF ? static_cast<int>(dpi) : screen;
}

png_uint_32 PpmFromDpi(int dpi) {
  return static_cast<png_uint_32>(Round(static_cast<extended>(dpi) * 100 / 2.54L));
}

}  // namespace

void ReadPNGStream(TStream& stream, TBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress,
                   bool preview) {
  PngReader reader;
  if (!reader.Valid()) {
    progress.Abort();
    return;
  }
  png_structp png = reader.png();
  png_infop info = reader.info();

  png_uint_32 width = 0, height = 0;
  int depth = 0, colorType = 0, interlace = 0;
  if (!reader.Call([&] {
        png_set_read_fn(png, &stream, ReadData);
        png_read_info(png, info);
        png_get_IHDR(png, info, &width, &height, &depth, &colorType, &interlace, nullptr, nullptr);
      })) {
    progress.Abort();
    return;
  }
  const int64_t available = [&]() -> int64_t {
    try {
      return std::max<int64_t>(0, stream.Size() - stream.Position());
    } catch (...) {
      return -1;
    }
  }();

  png_colorp palette = nullptr;
  int paletteCount = 0;
  if (colorType == PNG_COLOR_TYPE_PALETTE &&
      png_get_PLTE(png, info, &palette, &paletteCount) != PNG_INFO_PLTE) {
    palette = nullptr;
    paletteCount = 0;
  }

  // One-bit images keep their bits in a pf1bit bitmap, 1 = white. A two-colour palette
  // that is not black and white would lose its colours there, so it is read as colour.
  bool oneBit = depth == 1;
  bool invertBits = false;
  if (oneBit && colorType == PNG_COLOR_TYPE_PALETTE) {
    auto is = [&](int i, uint8_t v) {
      return i < paletteCount && palette[i].red == v && palette[i].green == v &&
             palette[i].blue == v;
    };
    if (is(0, 0) && (paletteCount < 2 || is(1, 255))) {
    } else if (is(0, 255) && is(1, 0)) {
      invertBits = true;
    } else {
      oneBit = false;
    }
  }

  const bool hasAlpha = (colorType & PNG_COLOR_MASK_ALPHA) != 0;
  const bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  png_color_16p fileBackground = nullptr;
  if (png_get_bKGD(png, info, &fileBackground) != PNG_INFO_bKGD) fileBackground = nullptr;
  if (fileBackground) {
    const int d = colorType == PNG_COLOR_TYPE_PALETTE ? 8 : depth;
    params.PNG_Background =
        CreateRGB(To8Bits(fileBackground->red, d), To8Bits(fileBackground->green, d),
                  To8Bits(fileBackground->blue, d));
  }

  int passes = 1;
  const bool ok = reader.Call([&] {
    if (!oneBit) {
      // Flatten alpha and transparency onto the file's background, else ours. An
      // opaque image has nothing to composite.
      if (hasAlpha || hasTrns) {
        if (fileBackground) {
          png_set_background(png, fileBackground, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);
        } else {
          // Given in the output's 8-bit form; libpng scales it for 16-bit data.
          const TRGB& c = params.PNG_Background;
          png_color_16 bg{};
          bg.red = c.r;
          bg.green = c.g;
          bg.blue = c.b;
          bg.gray = static_cast<png_uint_16>(RGBToGray(c));
          png_set_background(png, &bg, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
        }
      }
      // Transparency becomes alpha before anything else: compositing it as a colour
      // match goes wrong once grey has been widened to RGB.
      if (hasTrns) png_set_tRNS_to_alpha(png);
      if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_expand(png);
      if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand(png);
      if (depth == 16) png_set_strip_16(png);
      if (depth < 8) png_set_packing(png);
      if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
      png_set_bgr(png);
    }
    passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
  });
  if (!ok) {
    progress.Abort();
    return;
  }

  params.Width = static_cast<int>(width);
  params.Height = static_cast<int>(height);
  params.BitsPerSample = depth;
  params.SamplesPerPixel = SamplesOf(colorType);
  png_uint_32 resX = 0, resY = 0;
  int unit = 0;
  if (png_get_pHYs(png, info, &resX, &resY, &unit) != PNG_INFO_pHYs || unit != PNG_RESOLUTION_METER)
    resX = resY = 0;
  params.DpiX = DpiFromPpm(resX, gSystemDPIX);
  params.DpiY = DpiFromPpm(resY, gSystemDPIY);
  params.FreeColorMap();
  if (palette && paletteCount > 0) {
    std::vector<TRGB> map(static_cast<size_t>(paletteCount));
    for (int i = 0; i < paletteCount; ++i)
      map[static_cast<size_t>(i)] = CreateRGB(palette[i].red, palette[i].green, palette[i].blue);
    params.SetColorMap(std::move(map));
  }
  params.PNG_Interlaced = interlace != PNG_INTERLACE_NONE;
  if (preview) return;

  // What the library will hand us must be exactly one of our rows.
  const size_t rowBytes = png_get_rowbytes(png, info);
  const size_t wantBytes = oneBit ? (static_cast<size_t>(width) + 7) / 8 : size_t{width} * 3;
  const int64_t rawBytes =
      static_cast<int64_t>(height) *
      (1 + (static_cast<int64_t>(width) * SamplesOf(colorType) * depth + 7) / 8);
  if (rowBytes != wantBytes || width > 0x3FFFFFFF / 4 || height > 0x7FFFFFFF ||
      (available >= 0 && rawBytes > kSmallRawBytes &&
       rawBytes / kMaxDeflateRatio > available + 1)) {
    progress.Abort();
    return;
  }

  SizeBitmap(bitmap, static_cast<int>(width), static_cast<int>(height), oneBit ? pf1bit : pf24bit);
  const int h = static_cast<int>(height);
  progress.PercentPerStep = h > 0 ? 100.0 / (static_cast<double>(h) * passes) : 0;
  progress.Value = 0;
  bool failed = false;
  for (int pass = 0; pass < passes && !failed && !progress.Aborted(); ++pass) {
    for (int y = 0; y < h; ++y) {
      png_bytep row = bitmap.ScanLine(y);
      if (!reader.Call([&] { png_read_row(png, row, nullptr); })) {
        failed = true;
        break;
      }
      ++progress.Value;
      progress.Report();
      if (progress.Aborted()) break;
    }
  }
  if (invertBits) Negative1Bit(bitmap);
  if (failed) {
    progress.Abort();
    return;
  }
  if (!progress.Aborted() && !reader.Call([&] { png_read_end(png, nullptr); })) progress.Abort();
}

void WritePNGStream(TStream& stream, TBitmap& bitmap, TIOParamsVals& params,
                    TProgressRec& progress) {
  enum class Kind { Rgb, Gray1, Palette };
  // Colour output whenever more than one sample a pixel is asked for, whatever the
  // bits a sample say.
  const Kind kind = params.SamplesPerPixel != 1 ? Kind::Rgb
                    : params.BitsPerSample == 1 ? Kind::Gray1
                                                : Kind::Palette;

  std::unique_ptr<TBitmap> temp;
  const TBitmap* source = &bitmap;
  if (kind == Kind::Gray1) {
    if (bitmap.PixelFormat() != pf1bit) {
      TBitmap colour(bitmap);
      if (colour.PixelFormat() != pf24bit) colour.SetPixelFormat(pf24bit);
      TRGB c0{}, c1{};
      temp = ConvertTo1bit(colour, c0, c1);
      if (!temp) {
        temp = std::make_unique<TBitmap>(std::move(colour));
        ConvertToBWOrdered(*temp, ResetNullpr());
      }
      source = temp.get();
    }
  } else if (bitmap.PixelFormat() == pf1bit) {
    temp = std::make_unique<TBitmap>();
    Conv1to24(bitmap, *temp, nullpr);
    source = temp.get();
  } else if (bitmap.PixelFormat() != pf24bit) {
    temp = std::make_unique<TBitmap>(bitmap);
    temp->SetPixelFormat(pf24bit);
    source = temp.get();
  }
  const int width = source->Width();
  const int height = source->Height();

  std::unique_ptr<TVXQuantizer> quantizer;
  std::vector<png_color> palette;
  if (kind == Kind::Palette) {
    std::vector<TRGB> pal(256, TRGB{});
    quantizer = std::make_unique<TVXQuantizer>(*source, pal.data(), 0x7FFFFFF, 256, -1, 0);
    palette.resize(256);
    for (size_t i = 0; i < 256; ++i) palette[i] = png_color{pal[i].r, pal[i].g, pal[i].b};
  }

  PngWriter writer;
  if (!writer.Valid()) throw EInvalidGraphic("Error on creating PNG");
  png_structp png = writer.png();
  png_infop info = writer.info();

  int passes = 1;
  const bool ok = writer.Call([&] {
    png_set_write_fn(png, &stream, WriteData, FlushData);
    const int colorType = kind == Kind::Rgb     ? PNG_COLOR_TYPE_RGB
                          : kind == Kind::Gray1 ? PNG_COLOR_TYPE_GRAY
                                                : PNG_COLOR_TYPE_PALETTE;
    png_set_IHDR(png, info, static_cast<png_uint_32>(std::max(width, 0)),
                 static_cast<png_uint_32>(std::max(height, 0)), kind == Kind::Gray1 ? 1 : 8,
                 colorType, params.PNG_Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (kind == Kind::Palette) png_set_PLTE(png, info, palette.data(), 256);
    if (params.DpiX > 0 && params.DpiY > 0)
      png_set_pHYs(png, info, PpmFromDpi(params.DpiX), PpmFromDpi(params.DpiY),
                   PNG_RESOLUTION_METER);
    png_set_filter(png, PNG_FILTER_TYPE_BASE,
                   params.PNG_Filter == ioPNG_FILTER_SUB     ? PNG_FILTER_SUB
                   : params.PNG_Filter == ioPNG_FILTER_PAETH ? PNG_FILTER_PAETH
                                                             : PNG_FILTER_NONE);
    // The background in the image's own sample form: a palette index, a 1-bit grey, or
    // 8-bit red, green and blue.
    const TRGB& bg = params.PNG_Background;
    png_color_16 background{};
    if (kind == Kind::Palette)
      background.index = static_cast<png_byte>(quantizer->GetRGBIndex(bg));
    else if (kind == Kind::Gray1)
      background.gray = RGBToGray(bg) >= 128 ? 1 : 0;
    else {
      background.red = bg.r;
      background.green = bg.g;
      background.blue = bg.b;
    }
    png_set_bKGD(png, info, &background);
    png_set_compression_level(png, ilimit(params.PNG_Compression, 0, 9));
    if (kind == Kind::Rgb) png_set_bgr(png);
    png_write_info(png, info);
    passes = png_set_interlace_handling(png);
  });
  if (!ok) throw EInvalidGraphic("Error on creating PNG");

  // Palette indices: one row at a time, or the whole picture once when the passes of
  // an interlaced file would otherwise map every row several times.
  std::vector<png_byte> indices;
  auto mapRow = [&](int y, png_bytep out) {
    const uint8_t* s = source->ScanLine(y);
    for (int x = 0; x < width; ++x, s += 3)
      out[x] = static_cast<png_byte>(quantizer->GetRGBIndex(TRGB{s[0], s[1], s[2]}));
  };
  const bool mapAll = kind == Kind::Palette && passes > 1;
  if (kind == Kind::Palette) {
    indices.resize(static_cast<size_t>(width) * (mapAll ? height : 1));
    if (mapAll)
      for (int y = 0; y < height; ++y) mapRow(y, &indices[static_cast<size_t>(y) * width]);
  }

  progress.PercentPerStep = height > 0 ? 100.0 / (static_cast<double>(height) * passes) : 0;
  progress.Value = 0;
  for (int pass = 0; pass < passes && !progress.Aborted(); ++pass) {
    for (int y = 0; y < height; ++y) {
      png_bytep row;
      if (kind != Kind::Palette) {
        row = const_cast<png_bytep>(source->ScanLine(y));  // libpng only reads it
      } else if (mapAll) {
        row = &indices[static_cast<size_t>(y) * width];
      } else {
        mapRow(y, indices.data());
        row = indices.data();
      }
      if (!writer.Call([&] { png_write_row(png, row); }))
        throw EInvalidGraphic("Error on creating PNG");
      ++progress.Value;
      progress.Report();
      if (progress.Aborted()) break;
    }
  }
  if (!progress.Aborted() && !writer.Call([&] { png_write_end(png, info); }))
    throw EInvalidGraphic("Error on creating PNG");
}

}  // namespace vx
