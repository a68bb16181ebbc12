#include "codecs/pngfilt.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "codecs/vxzlib.h"
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

// ---- libpng's own limits ----
//
// Width and height: the format's own maximum. The pixel limit and the data bound below
// refuse oversized pictures with a reason of their own, and a preview reports any size
// the format allows (libpng's default of a million refuses real panoramas).
constexpr png_uint_32 kUserDimensionMax = PNG_UINT_31_MAX;
// libpng refuses a file outright when any chunk but the image data is longer than this,
// and it bounds what one ancillary chunk may take once decompressed (an ICC profile).
// Larger than any profile or metadata block met in practice.
constexpr png_alloc_size_t kChunkMallocMax = png_alloc_size_t{32} << 20;
// Ancillary chunks libpng may keep in memory (suggested palettes, ...).
constexpr png_uint_32 kChunkCacheMax = 128;
// Text chunks are never used here; skipped unread, compressed text cannot cost memory.
constexpr png_byte kIgnoredChunks[] = "tEXt\0zTXt\0iTXt";
constexpr int kIgnoredChunkCount = 3;

// ---- errors ----
//
// libpng reports a fatal error through our error callback, which must not return. It
// copies the message into a plain buffer (nothing there allocates) and leaves with
// libpng's own longjmp to the setjmp in PngCall, the only frame that calls setjmp.
// Between the two there are only libpng's C frames and the small callbacks below, which
// hold no object with a destructor when they raise, so no destructor is skipped; PngCall
// has no local that changes after setjmp, so nothing needs to be volatile. C++
// exceptions never cross libpng: the callbacks use the stream's no-throw calls and the
// no-throw allocation, and whatever may throw (the failure's reason, the bitmap) runs
// between libpng calls, never inside one.

struct PngState {
  bool outOfMemory = false;   // an allocation for libpng was refused
  bool streamFailed = false;  // the stream itself refused a read or a write
  char message[160] = {};
};

PngState& StateOf(png_const_structrp png) {
  return *static_cast<PngState*>(png_get_error_ptr(png));
}

[[noreturn]] void OnError(png_structp png, png_const_charp message) {
  PngState& state = StateOf(png);
  std::strncpy(state.message, message ? message : "", sizeof state.message - 1);
  state.message[sizeof state.message - 1] = '\0';
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// libpng's blocks come from the C++ heap without exceptions, so that a refused one is
// told apart from damaged data (and an installed new-handler gets its chance).
png_voidp Allocate(png_structp png, png_alloc_size_t size) {
  void* p = ::operator new(size, std::nothrow);
  if (!p) static_cast<PngState*>(png_get_mem_ptr(png))->outOfMemory = true;
  return p;
}

void Release(png_structp, png_voidp p) {
  ::operator delete(p);
}

template <class F>
[[gnu::noinline]] bool PngCall(png_structp png, F&& call) {
  std::jmp_buf& jump = png_jmpbuf(png);
  if (setjmp(jump) != 0) return false;
  call();
  return true;
}

void ReadData(png_structp png, png_bytep data, size_t length) {
  auto* stream = static_cast<TStream*>(png_get_io_ptr(png));
  const int64_t n = ReadNoThrow(*stream, data, static_cast<int64_t>(length));
  if (n < 0) {
    StateOf(png).streamFailed = true;
    png_error(png, "read error");
  }
  if (n != static_cast<int64_t>(length)) png_error(png, "the data ends before the image does");
}

void WriteData(png_structp png, png_bytep data, size_t length) {
  auto* stream = static_cast<TStream*>(png_get_io_ptr(png));
  if (!WriteNoThrow(*stream, data, static_cast<int64_t>(length))) {
    StateOf(png).streamFailed = true;
    png_error(png, "write error");
  }
}

void FlushData(png_structp) {}

// Records why the library stopped, now that no library frame is below us.
void FailFromLibrary(const TProgressRec& progress, const PngState& state,
                     TStream& stream) noexcept {
  vx::FailFromLibrary(progress, "PNG", state.outOfMemory, state.streamFailed, state.message,
                      stream);
}

// Owns the read structures; destroying it destroys them on every path.
class PngReader {
 public:
  explicit PngReader(TStream& stream) : stream_(stream) {
    png_ = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &state_, OnError, OnWarning, &state_,
                                    Allocate, Release);
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
  // Records why the last call failed.
  void Fail(const TProgressRec& progress) const { FailFromLibrary(progress, state_, stream_); }

 private:
  TStream& stream_;
  PngState state_;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

class PngWriter {
 public:
  explicit PngWriter(TStream& stream) : stream_(stream) {
    png_ = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, &state_, OnError, OnWarning, &state_,
                                     Allocate, Release);
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
  // Records why the writer cannot go on (the component adds the stream's own complaint
  // as well) and raises the writer's error.
  [[noreturn]] void Refuse(const TProgressRec& progress) const {
    if (Valid())
      FailFromLibrary(progress, state_, stream_);
    else
      FailSafely(progress, "", "for the PNG encoder", true);
    throw EInvalidGraphic("Error on creating PNG");
  }

 private:
  TStream& stream_;
  PngState state_;
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

// ---- reading ----

// The header as read, with what the reader makes of it.
struct Header {
  png_uint_32 width = 0, height = 0;
  int depth = 0, colorType = 0, interlace = 0;
  png_colorp palette = nullptr;
  int paletteCount = 0;
  bool oneBit = false;      // kept as a pf1bit bitmap, 1 = white
  bool invertBits = false;  // the palette says 0 = white
  bool hasAlpha = false, hasTrns = false;
  png_color_16p fileBackground = nullptr;
};

// One-bit images keep their bits in a pf1bit bitmap, 1 = white. A two-colour palette
// that is not black and white would lose its colours there, so it is read as colour.
void ChooseOneBit(Header& h) {
  h.oneBit = h.depth == 1;
  h.invertBits = false;
  if (!h.oneBit || h.colorType != PNG_COLOR_TYPE_PALETTE) return;
  auto is = [&](int i, uint8_t v) {
    return i < h.paletteCount && h.palette[i].red == v && h.palette[i].green == v &&
           h.palette[i].blue == v;
  };
  if (is(0, 0) && (h.paletteCount < 2 || is(1, 255))) return;
  if (is(0, 255) && is(1, 0))
    h.invertBits = true;
  else
    h.oneBit = false;
}

void ReadHeaderChunks(png_structp png, png_infop info, Header& h) {
  if (h.colorType != PNG_COLOR_TYPE_PALETTE ||
      png_get_PLTE(png, info, &h.palette, &h.paletteCount) != PNG_INFO_PLTE) {
    h.palette = nullptr;
    h.paletteCount = 0;
  }
  ChooseOneBit(h);
  h.hasAlpha = (h.colorType & PNG_COLOR_MASK_ALPHA) != 0;
  h.hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  if (png_get_bKGD(png, info, &h.fileBackground) != PNG_INFO_bKGD) h.fileBackground = nullptr;
}

void NoteParams(png_structp png, png_infop info, const Header& h, TIOParamsVals& params) {
  if (h.fileBackground) {
    const int d = h.colorType == PNG_COLOR_TYPE_PALETTE ? 8 : h.depth;
    params.PNG_Background =
        CreateRGB(To8Bits(h.fileBackground->red, d), To8Bits(h.fileBackground->green, d),
                  To8Bits(h.fileBackground->blue, d));
  }
  params.Width = static_cast<int>(h.width);
  params.Height = static_cast<int>(h.height);
  params.BitsPerSample = h.depth;
  params.SamplesPerPixel = SamplesOf(h.colorType);
  png_uint_32 resX = 0, resY = 0;
  int unit = 0;
  if (png_get_pHYs(png, info, &resX, &resY, &unit) != PNG_INFO_pHYs || unit != PNG_RESOLUTION_METER)
    resX = resY = 0;
  params.DpiX = DpiFromPpm(resX, gSystemDPIX);
  params.DpiY = DpiFromPpm(resY, gSystemDPIY);
  params.FreeColorMap();
  if (h.palette && h.paletteCount > 0) {
    std::vector<TRGB> map(static_cast<size_t>(h.paletteCount));
    for (int i = 0; i < h.paletteCount; ++i)
      map[static_cast<size_t>(i)] =
          CreateRGB(h.palette[i].red, h.palette[i].green, h.palette[i].blue);
    params.SetColorMap(std::move(map));
  }
  params.PNG_Interlaced = h.interlace != PNG_INTERLACE_NONE;
}

// False, with progress failed, when the picture must not be decoded: beyond the pixel
// limit, beyond what a bitmap can hold, or more than the data can inflate to. Each row
// is a filter byte and its samples once inflated, and deflate expands by at most
// kMaxDeflateExpansion; an interlaced file has more rows (more filter bytes) for the same
// samples, so the plain count is the least either needs. The compressed data lies
// within the bytes left in the stream.
bool PictureIsPlausible(const Header& h, int64_t available, const TProgressRec& progress) {
  if (!ImageSizeAllowed(h.width, h.height, progress)) return false;
  if (h.width > 0x3FFFFFFF / 4 || h.height > 0x7FFFFFFF) {
    progress.Fail("PNG: the picture is too wide for a bitmap");
    return false;
  }
  const int64_t rowBytes = (int64_t{h.width} * SamplesOf(h.colorType) * h.depth + 7) / 8;
  const int64_t rawBytes = int64_t{h.height} * (1 + rowBytes);
  const int64_t leastCompressed = (rawBytes + kMaxDeflateExpansion - 1) / kMaxDeflateExpansion;
  if (available >= 0 && leastCompressed > available) {
    FailSafely(progress, "PNG: ",
               std::to_string(available) + " bytes of data cannot inflate to the " +
                   std::to_string(rawBytes) + " bytes of a " + std::to_string(h.width) + " x " +
                   std::to_string(h.height) + " picture",
               false);
    return false;
  }
  return true;
}

// Asks libpng for 8-bit blue, green, red rows with alpha and transparency flattened, or
// for the bits as stored in a one-bit image; returns the number of passes.
int SetTransformations(png_structp png, png_infop info, const Header& h, const TRGB& background) {
  if (!h.oneBit) {
    // Flatten alpha and transparency onto the file's background, else ours. An
    // opaque image has nothing to composite.
    if (h.hasAlpha || h.hasTrns) {
      if (h.fileBackground) {
        png_set_background(png, h.fileBackground, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);
      } else {
        // Given in the output's 8-bit form; libpng scales it for 16-bit data.
        png_color_16 bg{};
        bg.red = background.r;
        bg.green = background.g;
        bg.blue = background.b;
        bg.gray = static_cast<png_uint_16>(RGBToGray(background));
        png_set_background(png, &bg, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
      }
    }
    // Transparency becomes alpha before anything else: compositing it as a colour
    // match goes wrong once grey has been widened to RGB.
    if (h.hasTrns) png_set_tRNS_to_alpha(png);
    if (h.colorType == PNG_COLOR_TYPE_PALETTE) png_set_expand(png);
    if (h.colorType == PNG_COLOR_TYPE_GRAY && h.depth < 8) png_set_expand(png);
    if (h.depth == 16) png_set_strip_16(png);
    if (h.depth < 8) png_set_packing(png);
    if (h.colorType == PNG_COLOR_TYPE_GRAY || h.colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
      png_set_gray_to_rgb(png);
    png_set_bgr(png);
  }
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  return passes;
}

// Reads every pass into the sized bitmap; false when libpng failed (the reason is
// recorded). A user abort stops after the current row and returns true.
bool ReadRows(PngReader& reader, TBitmap& bitmap, int passes, TProgressRec& progress) {
  const int h = bitmap.Height();
  const int64_t total = int64_t{h} * passes;
  int64_t done = 0;
  progress.PercentPerStep = h > 0 ? 100.0 / static_cast<double>(total) : 0;
  progress.Value = 0;
  for (int pass = 0; pass < passes; ++pass) {
    for (int y = 0; y < h; ++y) {
      png_bytep row = bitmap.ScanLine(y);
      if (!reader.Call([&] { png_read_row(reader.png(), row, nullptr); })) {
        reader.Fail(progress);
        return false;
      }
      ++done;
      progress.Value = static_cast<int32_t>(std::min<int64_t>(done, INT32_MAX));
      progress.Report(PercentOf(done, total));
      if (progress.Aborted()) return true;
    }
  }
  return true;
}

void ReadPng(TStream& stream, TBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress,
             bool preview) {
  PngReader reader(stream);
  if (!reader.Valid()) {
    FailSafely(progress, "", "for the PNG decoder", true);
    return;
  }
  png_structp png = reader.png();
  png_infop info = reader.info();

  Header h;
  if (!reader.Call([&] {
        png_set_read_fn(png, &stream, ReadData);
        png_set_user_limits(png, kUserDimensionMax, kUserDimensionMax);
        png_set_chunk_malloc_max(png, kChunkMallocMax);
        png_set_chunk_cache_max(png, kChunkCacheMax);
        png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks,
                                    kIgnoredChunkCount);
        png_read_info(png, info);
        png_get_IHDR(png, info, &h.width, &h.height, &h.depth, &h.colorType, &h.interlace, nullptr,
                     nullptr);
      })) {
    reader.Fail(progress);
    return;
  }
  // libpng stops reading at the start of the image data.
  const int64_t available = [&]() -> int64_t {
    try {
      return std::max<int64_t>(0, stream.Size() - stream.Position());
    } catch (...) {
      return -1;
    }
  }();
  ReadHeaderChunks(png, info, h);
  NoteParams(png, info, h, params);
  if (preview) return;

  // Nothing sized by the picture is allocated before this check, libpng's row buffers
  // (made by png_read_update_info) included.
  if (!PictureIsPlausible(h, available, progress)) return;
  int passes = 1;
  if (!reader.Call([&] { passes = SetTransformations(png, info, h, params.PNG_Background); })) {
    reader.Fail(progress);
    return;
  }
  // What the library will hand us must be exactly one of our rows.
  const size_t wantBytes = h.oneBit ? (size_t{h.width} + 7) / 8 : size_t{h.width} * 3;
  if (png_get_rowbytes(png, info) != wantBytes) {
    progress.Fail("PNG: the decoded rows do not match the bitmap's");
    return;
  }
  if (!SizeImage(bitmap, static_cast<int>(h.width), static_cast<int>(h.height),
                 h.oneBit ? pf1bit : pf24bit, progress))
    return;
  const bool ok = ReadRows(reader, bitmap, passes, progress);
  if (h.invertBits) Negative1Bit(bitmap);
  if (ok && !progress.Aborted() && !reader.Call([&] { png_read_end(png, nullptr); }))
    reader.Fail(progress);
}

}  // namespace

void ReadPNGStream(TStream& stream, TBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress,
                   bool preview) {
  // Only C++ frames lie between here and any allocation of ours, and the reader object
  // releases libpng's state as a refused allocation unwinds to this point.
  try {
    ReadPng(stream, bitmap, params, progress, preview);
  } catch (const std::bad_alloc&) {
    FailSafely(progress, "", "to read the PNG image", true);
  }
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

  PngWriter writer(stream);
  if (!writer.Valid()) writer.Refuse(progress);
  png_structp png = writer.png();
  png_infop info = writer.info();

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

  int passes = 1;
  const bool ok = writer.Call([&] {
    png_set_write_fn(png, &stream, WriteData, FlushData);
    png_set_user_limits(png, kUserDimensionMax, kUserDimensionMax);  // it checks ours too
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
    png_set_bKGD(png, info, &background);
    png_set_compression_level(png, ilimit(params.PNG_Compression, 0, 9));
    if (kind == Kind::Rgb) png_set_bgr(png);
    png_write_info(png, info);
    passes = png_set_interlace_handling(png);
  });
  if (!ok) writer.Refuse(progress);

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

  const int64_t total = int64_t{height} * passes;
  int64_t done = 0;
  progress.PercentPerStep = height > 0 ? 100.0 / static_cast<double>(total) : 0;
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
      if (!writer.Call([&] { png_write_row(png, row); })) writer.Refuse(progress);
      ++done;
      progress.Value = static_cast<int32_t>(std::min<int64_t>(done, INT32_MAX));
      progress.Report(PercentOf(done, total));
      if (progress.Aborted()) break;
    }
  }
  if (!progress.Aborted() && !writer.Call([&] { png_write_end(png, info); }))
    writer.Refuse(progress);
}

}  // namespace vx
