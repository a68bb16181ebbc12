// JPEG-compressed TIFF blocks through libjpeg.
//
// Each block is a JPEG stream of its own, usually abbreviated: the tables it needs come
// from the page's JPEGTables stream, which one decompressor reads first (libjpeg keeps
// tables across images) before it reads the block. Colour handling follows libtiff's
// RGBA reading: a YCbCr page is upsampled and converted to RGB by libjpeg, every other
// page comes out as its stored components, untouched.
//
// libjpeg reports errors through a callback that must not return. It leaves with
// longjmp to the setjmp in RunLibjpeg, which is the only frame that calls setjmp; the
// frames between are libjpeg's own and our C-style callbacks, and RunLibjpeg itself
// holds no C++ object. Everything that outlives the jump (the decompressor, the error
// text, the row count) lives in the caller's frame.
#include "codecs/tiffjpeg.h"

#include <jpeglib.h>

#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace vx::tiff {

namespace {

struct TJpegError {
  jpeg_error_mgr pub;  // first: libjpeg's pointer to it is also a pointer to us
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

// Everything libjpeg works on for one block; plain C data, owned by DecodeJpegBlock.
struct TJpegState {
  jpeg_decompress_struct cinfo;
  TJpegError err;
  jpeg_source_mgr src;
  int rows;
};

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<TJpegError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

// Warnings (data that ends early, a bad restart marker) are not printed: libjpeg goes
// on with what it has, as libtiff lets it.
void IgnoreMessage(j_common_ptr, int) {}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

// The data has run out: an end-of-image marker closes the stream, and libjpeg fills
// what is missing.
boolean FillInput(j_decompress_ptr cinfo) {
  cinfo->src->next_input_byte = kEndOfImage;
  cinfo->src->bytes_in_buffer = sizeof kEndOfImage;
  return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
  jpeg_source_mgr* src = cinfo->src;
  if (count <= 0) return;
  if (static_cast<unsigned long>(count) > src->bytes_in_buffer) {
    FillInput(cinfo);
    return;
  }
  src->next_input_byte += count;
  src->bytes_in_buffer -= static_cast<size_t>(count);
}

void Feed(jpeg_source_mgr& src, const uint8_t* data, size_t size) {
  src.next_input_byte = data;
  src.bytes_in_buffer = size;
}

// Refuses the block with our own reason, through the same exit as libjpeg's errors.
[[noreturn]] void Refuse(TJpegState& st, const char* what, unsigned long got,
                         unsigned long expected) {
  std::snprintf(st.err.message, sizeof st.err.message, "%s %lu, the page expects %lu", what, got,
                expected);
  std::longjmp(st.err.jump, 1);
}

// The largest memory libjpeg may take for its whole-image buffers (progressive and
// multi-scan data keep every coefficient): four bytes a sample of the block, and a
// little on top; larger requests fail instead of allocating.
long MemoryCap(const TJpegBlock& b) {
  const long double cap = 16.0L * 1024 * 1024 + 4.0L * b.width * b.maxHeight * b.components;
  return cap >= static_cast<long double>(LONG_MAX) ? LONG_MAX : static_cast<long>(cap);
}

// Decodes the block into b.out, counting rows in st.rows. False when libjpeg (or a
// check of ours) stopped it; the reason is in st.err.message.
bool RunLibjpeg(TJpegState& st, const TJpegBlock& b) {
  if (setjmp(st.err.jump) != 0) return false;
  jpeg_create_decompress(&st.cinfo);
  st.cinfo.mem->max_memory_to_use = MemoryCap(b);
  st.src.init_source = InitSource;
  st.src.fill_input_buffer = FillInput;
  st.src.skip_input_data = SkipInput;
  st.src.resync_to_restart = jpeg_resync_to_restart;
  st.src.term_source = TermSource;
  st.cinfo.src = &st.src;
  if (b.tablesSize > 0) {
    Feed(st.src, b.tables, b.tablesSize);
    jpeg_read_header(&st.cinfo, FALSE);
  }
  Feed(st.src, b.data, b.dataSize);
  jpeg_read_header(&st.cinfo, TRUE);
  jpeg_decompress_struct& c = st.cinfo;
  if (c.image_width != b.width) Refuse(st, "JPEG block width", c.image_width, b.width);
  if (c.image_height > b.maxHeight) Refuse(st, "JPEG block height", c.image_height, b.maxHeight);
  if (b.ycbcrToRgb) {
    if (c.num_components != 3)
      Refuse(st, "YCbCr JPEG components", static_cast<unsigned long>(c.num_components), 3);
    c.jpeg_color_space = JCS_YCbCr;
    c.out_color_space = JCS_RGB;
  } else {
    if (c.num_components != b.components)
      Refuse(st, "JPEG components", static_cast<unsigned long>(c.num_components),
             static_cast<unsigned long>(b.components));
    c.jpeg_color_space = JCS_UNKNOWN;
    c.out_color_space = JCS_UNKNOWN;
  }
  jpeg_start_decompress(&c);
  if (c.output_components != b.components)
    Refuse(st, "JPEG output components", static_cast<unsigned long>(c.output_components),
           static_cast<unsigned long>(b.components));
  while (static_cast<uint32_t>(st.rows) < b.rows && c.output_scanline < c.output_height) {
    JSAMPROW row = b.out + static_cast<size_t>(st.rows) * b.rowBytes;
    if (jpeg_read_scanlines(&c, &row, 1) != 1) break;
    ++st.rows;
  }
  // Rows past the ones wanted (a tile below the page) are not decoded.
  jpeg_abort_decompress(&c);
  return true;
}

}  // namespace

int DecodeJpegBlock(const TJpegBlock& b, std::string& why) {
  TJpegState st;
  std::memset(&st, 0, sizeof st);
  st.cinfo.err = jpeg_std_error(&st.err.pub);
  st.err.pub.error_exit = ErrorExit;
  st.err.pub.emit_message = IgnoreMessage;
  const bool ok = RunLibjpeg(st, b);
  // Safe also when creating the decompressor failed: its memory manager is then unset.
  jpeg_destroy_decompress(&st.cinfo);
  if (!ok) why = st.err.message;
  return st.rows;
}

}  // namespace vx::tiff
