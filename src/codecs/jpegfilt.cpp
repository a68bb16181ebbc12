#include "codecs/jpegfilt.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "core/arith.h"
#include "platform/screen.h"

namespace vx {

bool JpegTryStream(TStream& stream) {
  const int64_t pos = stream.Position();
  uint8_t b[3] = {};
  const bool ok = stream.Read(b, 3) == 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF;
  stream.SetPosition(pos);
  return ok;
}

namespace {

// The library reads and writes through a buffer of this size.
constexpr size_t kIOBufferSize = 64 * 1024;

// ---- errors ----
//
// The library reports a fatal error by calling error_exit, which must not return into
// the library. We format its message into a plain buffer (nothing there allocates) and
// leave with longjmp back to the setjmp in JpegCall, the only frame that calls setjmp.
// Every frame between the two is the library's (C) or one of the small callbacks below,
// none of which holds an object with a destructor at the point where it jumps, so no
// destructor is skipped; JpegCall keeps no local that changes after setjmp, so nothing
// there needs to be volatile. C++ exceptions never cross the library: the callbacks
// use the stream's no-throw calls, and whatever may allocate (the failure's reason, the
// bitmap) runs between library calls, never inside one.

struct ErrorMgr {
  jpeg_error_mgr pub;  // first, so that the library's pointer is also ours
  std::jmp_buf jump;
  bool eofHit;        // the source ran out of data and fed the library a fake end marker
  bool streamFailed;  // the stream itself refused a read or a write
  char message[JMSG_LENGTH_MAX];
};

ErrorMgr* Errors(j_common_ptr cinfo) {
  return reinterpret_cast<ErrorMgr*>(cinfo->err);
}

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  ErrorMgr* err = Errors(cinfo);
  // Whatever goes wrong once the data has run out follows from that.
  if (err->eofHit && cinfo->err->msg_code != JERR_OUT_OF_MEMORY)
    cinfo->err->msg_code = JWRN_JPEG_EOF;
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

[[noreturn]] void Fail(j_common_ptr cinfo, int code) {
  cinfo->err->msg_code = code;
  ErrorExit(cinfo);
}

// Warnings are normally ignored; once the data has run out, a warning means the
// decoder is now inventing pixels (a truncated file), which we treat as the error it is.
void EmitMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;
  ++cinfo->err->num_warnings;
  if (Errors(cinfo)->eofHit) ErrorExit(cinfo);
}

void OutputMessage(j_common_ptr) {}

void ResetErrorMgr(j_common_ptr cinfo) {
  cinfo->err->num_warnings = 0;
  cinfo->err->msg_code = 0;
}

void InitErrorMgr(ErrorMgr& err) {
  jpeg_std_error(&err.pub);  // keeps the library's own format_message
  err.pub.error_exit = ErrorExit;
  err.pub.emit_message = EmitMessage;
  err.pub.output_message = OutputMessage;
  err.pub.reset_error_mgr = ResetErrorMgr;
  err.eofHit = false;
  err.streamFailed = false;
  err.message[0] = '\0';
}

// Records why the library stopped, now that no library frame is below us.
void FailFromLibrary(const TProgressRec& progress, const ErrorMgr& err, TStream& stream) noexcept {
  vx::FailFromLibrary(progress, "JPEG", err.pub.msg_code == JERR_OUT_OF_MEMORY, err.streamFailed,
                      err.message, stream);
}

// Runs one library call; false when the library raised an error (the library object
// may then only be destroyed).
template <class F>
[[gnu::noinline]] bool JpegCall(ErrorMgr& err, F&& call) {
  if (setjmp(err.jump) != 0) return false;
  call();
  return true;
}

// ---- source manager over a TStream ----

struct SourceMgr {
  jpeg_source_mgr pub;  // first
  TStream* stream;
  ErrorMgr* err;
  JOCTET* buffer;
};

SourceMgr* Source(j_decompress_ptr cinfo) {
  return reinterpret_cast<SourceMgr*>(cinfo->src);
}

void InitSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  SourceMgr* src = Source(cinfo);
  const int64_t n = ReadNoThrow(*src->stream, src->buffer, kIOBufferSize);
  if (n < 0) {
    src->err->streamFailed = true;
    Fail(reinterpret_cast<j_common_ptr>(cinfo), JERR_FILE_READ);
  }
  size_t got = static_cast<size_t>(n);
  if (got == 0) {
    // Out of data: hand the library an end-of-image marker so that it stops cleanly
    // (a file missing only its final marker still decodes), and remember it.
    src->err->eofHit = true;
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    got = 2;
  }
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = got;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  SourceMgr* src = Source(cinfo);
  auto left = static_cast<size_t>(count);
  while (left > src->pub.bytes_in_buffer) {
    left -= src->pub.bytes_in_buffer;
    FillInputBuffer(cinfo);
  }
  src->pub.next_input_byte += left;
  src->pub.bytes_in_buffer -= left;
}

void TermSource(j_decompress_ptr) {}

// ---- destination manager over a TStream ----

struct DestMgr {
  jpeg_destination_mgr pub;  // first
  TStream* stream;
  JOCTET* buffer;
};

DestMgr* Dest(j_compress_ptr cinfo) {
  return reinterpret_cast<DestMgr*>(cinfo->dest);
}

void InitDestination(j_compress_ptr cinfo) {
  DestMgr* dst = Dest(cinfo);
  dst->pub.next_output_byte = dst->buffer;
  dst->pub.free_in_buffer = kIOBufferSize;
}

// Hands the first count bytes of the buffer to the stream, or raises a write error.
void WriteOut(j_compress_ptr cinfo, int64_t count) {
  DestMgr* dst = Dest(cinfo);
  const auto common = reinterpret_cast<j_common_ptr>(cinfo);
  if (count > 0 && !WriteNoThrow(*dst->stream, dst->buffer, count)) {
    Errors(common)->streamFailed = true;
    Fail(common, JERR_FILE_WRITE);
  }
  dst->pub.next_output_byte = dst->buffer;
  dst->pub.free_in_buffer = kIOBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  // The library asks for this only with the whole buffer full.
  WriteOut(cinfo, static_cast<int64_t>(kIOBufferSize));
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  WriteOut(cinfo, static_cast<int64_t>(kIOBufferSize - Dest(cinfo)->pub.free_in_buffer));
}

// Denominator that brings the picture nearest to the wanted pixel count.
unsigned AutoScaleDenominator(int64_t target, int64_t width, int64_t height) {
  if (target <= 0) return 1;
  int best = 0;
  int64_t bestDiff = -1;
  for (int i = 0; i < 4; ++i) {
    const int64_t area = (width >> i) * (height >> i);
    const int64_t diff = target > area ? target - area : area - target;
    if (bestDiff < 0 || diff < bestDiff) {
      bestDiff = diff;
      best = i;
    }
  }
  return 1u << best;
}

unsigned ScaleDenominator(const TIOParamsVals& params, int64_t width, int64_t height) {
  switch (params.JPEG_Scale) {
    case ioJPEG_AUTOCALC:
      return AutoScaleDenominator(int64_t{params.Width} * params.Height, width, height);
    case ioJPEG_HALF:
      return 2;
    case ioJPEG_QUARTER:
      return 4;
    case ioJPEG_EIGHTH:
      return 8;
    case ioJPEG_FULLSIZE:
      break;
  }
  return 1;
}

J_DCT_METHOD DctMethod(TIOJPEGDctMethod m) {
  switch (m) {
    case ioJPEG_IFAST:
      return JDCT_IFAST;
    case ioJPEG_FLOAT:
      return JDCT_FLOAT;
    case ioJPEG_ISLOW:
      break;
  }
  return JDCT_ISLOW;
}

int DpiOrScreen(int dpi, int screen) {
  return dpi > 0 ? dpi : screen;
}

// ---- what the data can justify ----
//
// A small file may claim a huge picture; the library would then allocate for it and
// decode it from invented (zero) data. Before anything is allocated for the picture we
// ask whether the bytes left in the stream could code that many blocks at all, from
// the least any coding mode can spend on a block:
// - Huffman, sequential: every block of every component in the scan has a DC code and
//   an end-of-block code (or more coefficients), each at least 1 bit long: 2 bits.
// - Huffman, progressive: end-of-band runs let AC scans skip thousands of blocks a
//   symbol, but a component's first scan is its DC scan, one DC code (>= 1 bit) per
//   block: 1 bit.
// - Arithmetic coding spends less than a bit on a likely decision: at the smallest
//   probability estimate (1, against an interval register kept between 0x8000 and
//   0x10000) a decision takes 1 from the register, which shifts out one coded bit each
//   time it falls below 0x8000, so at most 0x8001 decisions share one bit. A block
//   takes at least two decisions in a sequential scan (DC "no change", "end of block"
//   at the first coefficient) and one in a progressive DC scan: a flat 65500 x 65500
//   grey picture can truly be 512 bytes, and only the pixel limit keeps it out.
// A file in several scans (progressive, or components in separate scans) may end after
// its first scan and still be a picture, so only the smallest component is sure to be
// coded; a single interleaved scan codes every block of every component.
constexpr int64_t kArithDecisionsPerBit = 0x8001;

// The library's own test (jpeg_has_multiple_scans), made without calling into it outside
// a protected call.
bool SeveralScans(const jpeg_decompress_struct& cinfo) {
  return cinfo.progressive_mode || cinfo.comps_in_scan < cinfo.num_components;
}

int64_t BlocksOf(const jpeg_component_info& comp) {
  return int64_t{comp.width_in_blocks} * comp.height_in_blocks;
}

// Blocks the data is sure to code, from the library's own count of each component.
int64_t BlocksSurelyCoded(const jpeg_decompress_struct& cinfo) {
  int64_t total = 0, smallest = -1;
  for (int i = 0; i < cinfo.num_components; ++i) {
    const int64_t blocks = BlocksOf(cinfo.comp_info[i]);
    total += blocks;
    if (smallest < 0 || blocks < smallest) smallest = blocks;
  }
  return SeveralScans(cinfo) ? std::max<int64_t>(smallest, 0) : total;
}

// The fewest bytes of coded data that can describe the picture.
int64_t MinimumCodedBytes(const jpeg_decompress_struct& cinfo) {
  const int64_t blocks = BlocksSurelyCoded(cinfo);
  const int64_t perBlock = cinfo.progressive_mode ? 1 : 2;  // bits, or decisions
  const int64_t bits =
      cinfo.arith_code ? blocks * perBlock / kArithDecisionsPerBit : blocks * perBlock;
  return bits / 8;
}

// A file in several scans is held whole in the decoder, as coefficients of the full
// picture (up to 8 bytes a pixel), however much the output is scaled down: its full size
// must be within the pixel limit as well.
bool WholeFileFitsTheLimit(const jpeg_decompress_struct& cinfo) {
  const uint64_t limit = MaxImagePixels();
  return limit == 0 || !SeveralScans(cinfo) ||
         uint64_t{cinfo.image_width} * cinfo.image_height <= limit;
}

// ---- reading ----

// Owns the decompressor; destroying it destroys the library object on every path.
class JpegReader {
 public:
  explicit JpegReader(TStream& stream) : stream_(stream), buffer_(kIOBufferSize) {
    std::memset(&cinfo_, 0, sizeof cinfo_);
    InitErrorMgr(err_);
    cinfo_.err = &err_.pub;
    src_.pub.init_source = InitSource;
    src_.pub.fill_input_buffer = FillInputBuffer;
    src_.pub.skip_input_data = SkipInputData;
    src_.pub.resync_to_restart = jpeg_resync_to_restart;
    src_.pub.term_source = TermSource;
    src_.pub.next_input_byte = nullptr;
    src_.pub.bytes_in_buffer = 0;
    src_.stream = &stream;
    src_.err = &err_;
    src_.buffer = buffer_.data();
  }
  ~JpegReader() {
    if (created_) {
      // Leave the stream right after the data the library used.
      if (!err_.eofHit && cinfo_.src && src_.pub.bytes_in_buffer > 0) {
        try {
          stream_.Seek(-static_cast<int64_t>(src_.pub.bytes_in_buffer), soCurrent);
        } catch (...) {
        }
      }
      jpeg_destroy_decompress(&cinfo_);
    }
  }
  JpegReader(const JpegReader&) = delete;
  JpegReader& operator=(const JpegReader&) = delete;

  template <class F>
  bool Call(F&& f) {
    return JpegCall(err_, std::forward<F>(f));
  }
  bool Create() {
    created_ = true;  // destroying a half-made object is safe
    return Call([this] {
      jpeg_CreateDecompress(&cinfo_, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
      cinfo_.src = &src_.pub;
    });
  }
  jpeg_decompress_struct& Info() { return cinfo_; }
  // Records why the last call failed.
  void Fail(const TProgressRec& progress) const { FailFromLibrary(progress, err_, stream_); }

 private:
  TStream& stream_;
  jpeg_decompress_struct cinfo_;
  ErrorMgr err_;
  SourceMgr src_;
  std::vector<JOCTET> buffer_;
  bool created_ = false;
};

// The header's colour space as our parameter; false for layouts that cannot become a
// picture.
bool NoteColorSpace(J_COLOR_SPACE space, TIOParamsVals& params, bool& cmyk) {
  cmyk = false;
  switch (space) {
    case JCS_GRAYSCALE:
      params.JPEG_ColorSpace = ioJPEG_GRAYLEV;
      return true;
    case JCS_RGB:
      params.JPEG_ColorSpace = ioJPEG_RGB;
      return true;
    case JCS_YCbCr:
      params.JPEG_ColorSpace = ioJPEG_YCbCr;
      return true;
    case JCS_CMYK:
      params.JPEG_ColorSpace = ioJPEG_CMYK;
      cmyk = true;
      return true;
    case JCS_YCCK:
      params.JPEG_ColorSpace = ioJPEG_YCbCrK;
      cmyk = true;
      return true;
    default:
      return false;
  }
}

void NoteDensity(const jpeg_decompress_struct& cinfo, TIOParamsVals& params) {
  if (cinfo.saw_JFIF_marker) {
    if (cinfo.density_unit == 2) {
      params.DpiX = TruncI(cinfo.X_density * 2.54L);
      params.DpiY = TruncI(cinfo.Y_density * 2.54L);
    } else {
      params.DpiX = cinfo.X_density;
      params.DpiY = cinfo.Y_density;
    }
  } else {
    params.DpiX = params.DpiY = 0;  // no density stored at all
  }
  // A zero density would be a division by zero for whoever uses the resolution.
  params.DpiX = DpiOrScreen(params.DpiX, gSystemDPIX);
  params.DpiY = DpiOrScreen(params.DpiY, gSystemDPIY);
}

// False, with progress failed, when the picture must not be decoded: beyond the pixel
// limit, more than the data can code, or a whole file too large to hold.
bool PictureIsPlausible(const jpeg_decompress_struct& cinfo, int64_t available,
                        const TProgressRec& progress) {
  if (!ImageSizeAllowed(cinfo.output_width, cinfo.output_height, progress)) return false;
  if (available >= 0 && available < MinimumCodedBytes(cinfo)) {
    FailSafely(progress, "JPEG: ",
               std::to_string(available) + " bytes of data cannot code a picture of " +
                   std::to_string(cinfo.image_width) + " x " + std::to_string(cinfo.image_height) +
                   " pixels (at least " + std::to_string(MinimumCodedBytes(cinfo)) + " are needed)",
               false);
    return false;
  }
  if (!WholeFileFitsTheLimit(cinfo)) {
    FailSafely(progress, "JPEG: ",
               "a file in several scans is decoded whole, and " +
                   std::to_string(cinfo.image_width) + " x " + std::to_string(cinfo.image_height) +
                   " pixels exceed the pixel limit of " + std::to_string(MaxImagePixels()) +
                   " (vx::SetMaxImagePixels raises it)",
               false);
    return false;
  }
  return true;
}

// Stored inverted (Adobe): each of C, M, Y scaled by K is red, green, blue.
void CmykToBgr(const JSAMPLE* s, uint8_t* row, int width) {
  for (int x = 0; x < width; ++x, s += 4, row += 3) {
    const int k = s[3];
    row[0] = static_cast<uint8_t>(s[2] * k / 255);
    row[1] = static_cast<uint8_t>(s[1] * k / 255);
    row[2] = static_cast<uint8_t>(s[0] * k / 255);
  }
}

// Decodes every row into the sized bitmap; false when the library failed (the reason
// is recorded). A user abort stops after the current row and returns true.
bool DecodeRows(JpegReader& reader, TBitmap& bitmap, bool cmyk, TProgressRec& progress) {
  jpeg_decompress_struct& cinfo = reader.Info();
  const int width = bitmap.Width();
  const int64_t height = bitmap.Height();
  std::vector<JSAMPLE> cmykRow(cmyk ? static_cast<size_t>(width) * 4 : 0);
  while (cinfo.output_scanline < cinfo.output_height) {
    uint8_t* row = bitmap.ScanLine(static_cast<int>(cinfo.output_scanline));
    JSAMPROW target = cmyk ? cmykRow.data() : row;
    JDIMENSION got = 0;
    if (!reader.Call([&] { got = jpeg_read_scanlines(&cinfo, &target, 1); })) {
      reader.Fail(progress);
      return false;
    }
    if (got == 0) {  // a stall, which our source never causes
      progress.Fail("JPEG: the decoder stopped delivering rows");
      return false;
    }
    if (cmyk) CmykToBgr(cmykRow.data(), row, width);
    progress.Value = static_cast<int32_t>(cinfo.output_scanline);
    progress.Report(PercentOf(cinfo.output_scanline, height));
    if (progress.Aborted()) break;
  }
  return true;
}

void ReadJpeg(TStream& stream, TBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress,
              bool preview) {
  if (!JpegTryStream(stream)) {
    progress.Fail("JPEG: no start-of-image marker");
    return;
  }
  const int64_t available = [&]() -> int64_t {
    try {
      return std::max<int64_t>(0, stream.Size() - stream.Position());
    } catch (...) {
      return -1;  // unknown
    }
  }();

  JpegReader reader(stream);
  jpeg_decompress_struct& cinfo = reader.Info();
  if (!reader.Create() || !reader.Call([&] { jpeg_read_header(&cinfo, TRUE); })) {
    reader.Fail(progress);
    return;
  }

  bool cmyk = false;
  if (!NoteColorSpace(cinfo.jpeg_color_space, params, cmyk)) {
    progress.Fail("JPEG: the components form no known colour space");
    return;
  }
  // The library delivers blue, green, red itself, from every three-component and grey
  // file alike; that is the order of our rows.
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
  cinfo.dct_method = DctMethod(params.JPEG_DCTMethod);
  NoteDensity(cinfo, params);
  params.BitsPerSample = 8;
  params.SamplesPerPixel = 3;
  params.FreeColorMap();
  params.JPEG_Progressive = SeveralScans(cinfo);

  cinfo.scale_num = 1;
  cinfo.scale_denom = ScaleDenominator(params, cinfo.image_width, cinfo.image_height);
  if (!reader.Call([&] { jpeg_calc_output_dimensions(&cinfo); })) {
    reader.Fail(progress);
    return;
  }
  const int width = static_cast<int>(cinfo.output_width);
  const int height = static_cast<int>(cinfo.output_height);
  params.Width = width;
  params.Height = height;
  if (preview) return;

  // Everything up to here is small; the library's picture-sized buffers come with
  // jpeg_start_decompress, and ours after it.
  if (!PictureIsPlausible(cinfo, available, progress)) return;
  if (!reader.Call([&] { jpeg_start_decompress(&cinfo); })) {
    reader.Fail(progress);
    return;
  }
  if (static_cast<int>(cinfo.output_width) != width ||
      static_cast<int>(cinfo.output_height) != height) {
    progress.Fail("JPEG: the decoder changed the picture's size");
    return;
  }
  if (!SizeImage(bitmap, width, height, pf24bit, progress)) return;
  progress.PercentPerStep = height > 0 ? 100.0 / height : 0;
  progress.Value = 0;
  if (!DecodeRows(reader, bitmap, cmyk, progress)) return;
  // A problem while finishing (trailing garbage, a missing end marker) does not spoil
  // the pixels already delivered.
  if (!progress.Aborted()) (void)reader.Call([&] { jpeg_finish_decompress(&cinfo); });
}

}  // namespace

void ReadJPegStream(TStream& stream, TBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress,
                    bool preview) {
  // Only C++ frames lie between here and any allocation of ours, and the reader object
  // releases the library's state as a refused allocation unwinds to this point.
  try {
    ReadJpeg(stream, bitmap, params, progress, preview);
  } catch (const std::bad_alloc&) {
    FailSafely(progress, "", "to read the JPEG image", true);
  }
}

// ---- writing ----

namespace {

class JpegWriter {
 public:
  explicit JpegWriter(TStream& stream) : stream_(stream), buffer_(kIOBufferSize) {
    std::memset(&cinfo_, 0, sizeof cinfo_);
    InitErrorMgr(err_);
    cinfo_.err = &err_.pub;
    dst_.pub.init_destination = InitDestination;
    dst_.pub.empty_output_buffer = EmptyOutputBuffer;
    dst_.pub.term_destination = TermDestination;
    dst_.pub.next_output_byte = nullptr;
    dst_.pub.free_in_buffer = 0;
    dst_.stream = &stream;
    dst_.buffer = buffer_.data();
  }
  ~JpegWriter() {
    if (created_) jpeg_destroy_compress(&cinfo_);
  }
  JpegWriter(const JpegWriter&) = delete;
  JpegWriter& operator=(const JpegWriter&) = delete;

  template <class F>
  bool Call(F&& f) {
    return JpegCall(err_, std::forward<F>(f));
  }
  bool Create() {
    created_ = true;
    return Call([this] {
      jpeg_CreateCompress(&cinfo_, JPEG_LIB_VERSION, sizeof(jpeg_compress_struct));
      cinfo_.dest = &dst_.pub;
    });
  }
  jpeg_compress_struct& Info() { return cinfo_; }
  // Records why the last call failed: the stream's own complaint when it refused the
  // data, else the library's message.
  void Fail(const TProgressRec& progress) const { FailFromLibrary(progress, err_, stream_); }

 private:
  TStream& stream_;
  jpeg_compress_struct cinfo_;
  ErrorMgr err_;
  DestMgr dst_;
  std::vector<JOCTET> buffer_;
  bool created_ = false;
};

J_COLOR_SPACE FileColorSpace(TIOJPEGColorspace cs) {
  switch (cs) {
    case ioJPEG_RGB:
      return JCS_RGB;
    case ioJPEG_GRAYLEV:
      return JCS_GRAYSCALE;
    case ioJPEG_CMYK:
      return JCS_CMYK;
    case ioJPEG_YCbCrK:
      return JCS_YCCK;
    case ioJPEG_YCbCr:
      break;
  }
  return JCS_YCbCr;
}

}  // namespace

void WriteJPegStream(TStream& stream, TBitmap& bitmap, TIOParamsVals& params,
                     TProgressRec& progress) {
  // The encoder takes 24-bit rows; anything else is expanded into a temporary copy.
  std::unique_ptr<TBitmap> expanded;
  const TBitmap* source = &bitmap;
  if (bitmap.PixelFormat() == pf1bit) {
    expanded = std::make_unique<TBitmap>();
    Conv1to24(bitmap, *expanded, nullpr);
    source = expanded.get();
  } else if (bitmap.PixelFormat() != pf24bit) {
    expanded = std::make_unique<TBitmap>(bitmap);
    expanded->SetPixelFormat(pf24bit);
    source = expanded.get();
  }

  JpegWriter writer(stream);
  jpeg_compress_struct& cinfo = writer.Info();
  if (!writer.Create()) {
    writer.Fail(progress);
    return;
  }
  if (progress.Aborted()) return;

  const J_COLOR_SPACE fileSpace = FileColorSpace(params.JPEG_ColorSpace);
  const bool cmyk = fileSpace == JCS_CMYK || fileSpace == JCS_YCCK;
  const int width = source->Width();
  const int height = source->Height();
  cinfo.image_width = static_cast<JDIMENSION>(std::max(width, 0));
  cinfo.image_height = static_cast<JDIMENSION>(std::max(height, 0));
  cinfo.input_components = cmyk ? 4 : 3;
  cinfo.in_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
  const bool ok = writer.Call([&] {
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, fileSpace);
    cinfo.density_unit = 1;
    cinfo.X_density = static_cast<UINT16>(ilimit(params.DpiX, 0, 65535));
    cinfo.Y_density = static_cast<UINT16>(ilimit(params.DpiY, 0, 65535));
    cinfo.dct_method = DctMethod(params.JPEG_DCTMethod);
    cinfo.optimize_coding = params.JPEG_OptimalHuffman ? TRUE : FALSE;
    cinfo.smoothing_factor = ilimit(params.JPEG_Smooth, 0, 100);
    jpeg_set_quality(&cinfo, params.JPEG_Quality, TRUE);
    if (params.JPEG_Progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
  });
  if (!ok) {
    writer.Fail(progress);
    return;
  }

  progress.PercentPerStep = height > 0 ? 100.0 / height : 0;
  progress.Value = 0;
  std::vector<JSAMPLE> cmykRow(cmyk ? static_cast<size_t>(width) * 4 : 0);
  while (cinfo.next_scanline < cinfo.image_height) {
    const uint8_t* row = source->ScanLine(static_cast<int>(cinfo.next_scanline));
    JSAMPROW input = const_cast<JSAMPROW>(row);  // the library only reads it
    if (cmyk) {
      // Inverted CMYK with K = the brightest channel: the reader's C*K/255 gives the
      // pixel back.
      JSAMPLE* d = cmykRow.data();
      for (int x = 0; x < width; ++x, row += 3, d += 4) {
        const int b = row[0], g = row[1], r = row[2];
        int m = std::max(r, std::max(g, b));
        if (m == 0) m = 1;
        d[0] = static_cast<JSAMPLE>(r * 255 / m);
        d[1] = static_cast<JSAMPLE>(g * 255 / m);
        d[2] = static_cast<JSAMPLE>(b * 255 / m);
        d[3] = static_cast<JSAMPLE>(m);
      }
      input = cmykRow.data();
    }
    JDIMENSION done = 0;
    if (!writer.Call([&] { done = jpeg_write_scanlines(&cinfo, &input, 1); })) {
      writer.Fail(progress);
      return;
    }
    if (done == 0) {  // a stall, which our destination never causes
      progress.Fail("JPEG: the encoder stopped taking rows");
      return;
    }
    progress.Value = static_cast<int32_t>(cinfo.next_scanline);
    progress.Report(PercentOf(cinfo.next_scanline, height));
    if (progress.Aborted()) return;  // leaves the stream cut short, without an end marker
  }
  if (!writer.Call([&] { jpeg_finish_compress(&cinfo); })) writer.Fail(progress);
}

}  // namespace vx
