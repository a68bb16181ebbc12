// GIF container: one-image reads, single-image writes, and the rewrites (insert,
// delete, make-animate).
//
// Every routine first walks the file's blocks in memory, checking each length against
// the bytes actually there, so nothing later can read past the data. Rewrites build the
// complete new file in memory and only then replace the old content, so a failure
// midway leaves the original untouched.
#include "codecs/giffilter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "codecs/lzw/giflzw.h"
#include "core/vxutils.h"
#include "io/lzwhooks.h"
#include "platform/exceptions.h"
#include "platform/screen.h"
#include "proc/colorhelpers.h"
#include "proc/convert1bit.h"
#include "quant/neurquant.h"

namespace vx {

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kExtension = 0x21;
constexpr uint8_t kImage = 0x2C;
constexpr uint8_t kTrailer = 0x3B;
constexpr uint8_t kGraphicControl = 0xF9;
constexpr uint8_t kApplication = 0xFF;
constexpr int kHeaderSize = 13;
constexpr int kLoopExtensionSize = 19;

// A read-only stream over bytes held elsewhere: the LZW hooks read an image's data
// straight out of the parsed buffer, and can never get past the image's own bytes.
class TSpanStream : public TStream {
 public:
  TSpanStream(const uint8_t* data, int64_t size) : data_(data), size_(size) {}
  int64_t Read(void* buffer, int64_t count) override {
    if (count <= 0 || pos_ >= size_) return 0;
    const int64_t n = std::min(count, size_ - pos_);
    std::memcpy(buffer, data_ + pos_, static_cast<size_t>(n));
    pos_ += n;
    return n;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    int64_t base = 0;
    if (origin == soCurrent) base = pos_;
    if (origin == soEnd) base = size_;
    pos_ = std::max<int64_t>(0, base + offset);
    return pos_;
  }
  int64_t Size() override { return size_; }
  void SetSize(int64_t) override {}

 private:
  const uint8_t* data_;
  int64_t size_;
  int64_t pos_ = 0;
};

inline int LE16(const uint8_t* p) {
  return p[0] | (p[1] << 8);
}
inline void PutLE16(Bytes& out, int v) {
  const int c = ilimit(v, 0, 0xFFFF);
  out.push_back(static_cast<uint8_t>(c & 0xFF));
  out.push_back(static_cast<uint8_t>(c >> 8));
}

// One image of the file as the block walk found it.
struct TGifImage {
  size_t start = 0;     // the 0x2C byte
  size_t tablePos = 0;  // local colour table, when tableEntries > 0
  int tableEntries = 0;
  size_t dataPos = 0;    // the minimum code size byte
  size_t end = 0;        // just past the data's terminator
  size_t codeBytes = 0;  // LZW data in the sub-blocks, their length bytes not counted
  int left = 0, top = 0, width = 0, height = 0;
  uint8_t packed = 0;
  // The graphic control extension that precedes it (the last one, when several do).
  bool hasControl = false;
  uint8_t controlPacked = 0;
  int delay = 0;
  int transparentIndex = 0;
};

struct TGifBlock {
  uint8_t kind = 0;   // kExtension or kImage
  uint8_t label = 0;  // extension label
  size_t start = 0;
  size_t end = 0;
  int imagesBefore = 0;  // images met before this block
};

// The block structure of a GIF held in memory.
struct TGifLayout {
  bool valid = false;  // signature, header and global table present
  int globalEntries = 0;
  size_t blocksPos = kHeaderSize;  // first block, after the global table
  std::vector<TGifBlock> blocks;   // complete blocks only, in file order
  std::vector<TGifImage> images;   // complete images only
  bool trailer = false;
  bool truncated = false;  // a block ran past the end of the data
  size_t blocksEnd = 0;    // just past the last complete block
  size_t end = 0;          // past the trailer, or where the walk stopped
};

// Skips data sub-blocks from pos; false when they run past size. payload, when given,
// receives the bytes they carry.
bool SkipSubBlocks(const uint8_t* data, size_t size, size_t& pos, size_t* payload = nullptr) {
  size_t carried = 0;
  for (;;) {
    if (pos >= size) return false;
    const size_t len = data[pos++];
    if (len == 0) break;
    if (len > size - pos) return false;
    pos += len;
    carried += len;
  }
  if (payload) *payload = carried;
  return true;
}

bool HasSignature(const uint8_t* data, size_t size) {
  return size >= 3 && data[0] == 'G' && data[1] == 'I' && data[2] == 'F';
}

bool IsLoopExtension(const uint8_t* data, size_t size, const TGifBlock& b) {
  return b.kind == kExtension && b.label == kApplication && b.start + 14 <= size &&
         data[b.start + 2] == 11 && std::memcmp(data + b.start + 3, "NETSCAPE2.0", 11) == 0;
}

TGifLayout ParseGif(const uint8_t* data, size_t size) {
  TGifLayout g;
  if (!HasSignature(data, size) || size < kHeaderSize) return g;
  const uint8_t packed = data[10];
  if (packed & 0x80) g.globalEntries = 2 << (packed & 7);
  g.blocksPos = kHeaderSize + 3 * static_cast<size_t>(g.globalEntries);
  if (g.blocksPos > size) return g;
  g.valid = true;

  TGifImage pending;  // carries the control extension to the next image
  size_t pos = g.blocksPos;
  g.blocksEnd = pos;
  while (pos < size) {
    const uint8_t introducer = data[pos];
    if (introducer == kTrailer) {
      g.trailer = true;
      pos += 1;
      break;
    }
    if (introducer == 0) {
      // A stray terminator between blocks, as some writers leave: skipped.
      ++pos;
      continue;
    }
    TGifBlock b;
    b.kind = introducer;
    b.start = pos;
    b.imagesBefore = static_cast<int>(g.images.size());
    if (introducer == kExtension) {
      if (size - pos < 2) {
        g.truncated = true;
        break;
      }
      b.label = data[pos + 1];
      size_t p = pos + 2;
      if (!SkipSubBlocks(data, size, p)) {
        g.truncated = true;
        break;
      }
      b.end = p;
      if (b.label == kGraphicControl && data[pos + 2] >= 4) {
        pending.hasControl = true;
        pending.controlPacked = data[pos + 3];
        pending.delay = LE16(data + pos + 4);
        pending.transparentIndex = data[pos + 6];
      }
    } else if (introducer == kImage) {
      if (size - pos < 11) {
        g.truncated = true;
        break;
      }
      TGifImage im = pending;
      pending = TGifImage{};
      const uint8_t* d = data + pos + 1;
      im.start = pos;
      im.left = LE16(d);
      im.top = LE16(d + 2);
      im.width = LE16(d + 4);
      im.height = LE16(d + 6);
      im.packed = d[8];
      size_t p = pos + 10;
      if (im.packed & 0x80) {
        im.tableEntries = 2 << (im.packed & 7);
        im.tablePos = p;
        p += 3 * static_cast<size_t>(im.tableEntries);
      }
      if (p >= size) {
        g.truncated = true;
        break;
      }
      im.dataPos = p;
      ++p;  // minimum code size
      if (!SkipSubBlocks(data, size, p, &im.codeBytes)) {
        g.truncated = true;
        break;
      }
      im.end = p;
      b.end = p;
      g.images.push_back(im);
    } else {
      // Not a block: whatever follows is not GIF data. Treated as the end of the file.
      break;
    }
    g.blocks.push_back(b);
    pos = b.end;
    g.blocksEnd = pos;
  }
  g.end = pos;
  return g;
}

// Colour table at pos (red, green, blue) in TRGB order.
std::vector<TRGB> ReadTable(const uint8_t* p, int entries) {
  std::vector<TRGB> t(static_cast<size_t>(entries));
  for (int i = 0; i < entries; ++i) t[i] = CreateRGB(p[3 * i], p[3 * i + 1], p[3 * i + 2]);
  return t;
}

TGIFLZWDecompFunc Decoder(const TIOParamsVals& params) {
  return params.GIF_LZWDecompress ? params.GIF_LZWDecompress : DefGIF_LZWDECOMPFUNC;
}
TGIFLZWCompFunc Encoder(const TIOParamsVals& params) {
  return params.GIF_LZWCompress ? params.GIF_LZWCompress : DefGIF_LZWCOMPFUNC;
}

// The colour table an image is shown through.
struct TGifPalette {
  std::vector<TRGB> table;
  int bits = 8;
};

// The most pixels codeBytes of LZW data can describe. Each code yields one string, and
// each table entry is one pixel longer than the entry it extends: a first-after-clear
// literal is 1 pixel, entry `first` (clear + 2) at most 2, entry k at most k - first + 2,
// so the longest string, of code 4095, holds 4097 - first pixels. A code w bits wide
// names at most entry 2^w - 1, that is 2^w + 1 - first pixels, which per bit grows with w:
// the densest stream is 12-bit codes that each name the longest entry (a full table kept,
// or rebuilt, with no clear code), 4097 - first pixels per 12 bits. For code size 8 that
// is 3839 per 12 bits, about 2559 pixels a byte; no real stream comes near it, since
// reaching the long entries takes a code for each shorter one first.
uint64_t MostPixelsFrom(size_t codeBytes, int minCodeSize) {
  const uint64_t first = (uint64_t{1} << minCodeSize) + 2;
  return static_cast<uint64_t>(codeBytes) * 8 * (4097 - first) / 12;
}

// Decodes image im into out, sized here; false, with progress failed, when it cannot.
bool DecodeImage(const uint8_t* data, const TGifImage& im, TGIFLZWDecompFunc decode,
                 const TGifPalette& pal, TBitmap& out, TProgressRec& progress) {
  const int w = im.width, h = im.height;
  const int codeSize = data[im.dataPos];
  if (w == 0 || h == 0) {
    progress.Fail("GIF: the image has no pixels (width or height 0)");
    return false;
  }
  if (codeSize > kGIFLZWMaxCodeSize) {
    progress.Fail("GIF: LZW minimum code size " + std::to_string(codeSize) +
                  " leaves no room for codes in 12 bits");
    return false;
  }
  if (!ImageSizeAllowed(w, h, progress)) return false;
  const uint64_t count = static_cast<uint64_t>(w) * static_cast<uint64_t>(h);
  if (count > MostPixelsFrom(im.codeBytes, codeSize)) {
    progress.Fail("GIF: " + std::to_string(w) + " x " + std::to_string(h) +
                  " pixels are more than " + std::to_string(im.codeBytes) +
                  " bytes of LZW data can describe");
    return false;
  }
  const TRGB black = CreateRGB(0, 0, 0), white = CreateRGB(255, 255, 255);
  const bool bw = pal.bits == 1 && pal.table[0] == black && pal.table[1] == white;
  if (!SizeImage(out, w, h, bw ? pf1bit : pf24bit, progress)) return false;
  Bytes pixels;
  try {
    pixels.assign(static_cast<size_t>(count), 0);
  } catch (const std::bad_alloc&) {
    progress.FailOutOfMemory("for the GIF image's palette indices");
    return false;
  }
  TSpanStream s(data + im.dataPos, static_cast<int64_t>(im.end - im.dataPos));
  const bool interlaced = (im.packed & 0x40) != 0;
  // Our own decoder says when it refuses the data; another one only by not reading it.
  if (decode == &GIFLZWDecompress) {
    if (GIFLZWDecode(s, h, w, interlaced, pixels.data()) == TGIFLZWResult::Refused) {
      progress.Fail("GIF: LZW data of code size " + std::to_string(codeSize) +
                    " holds pixel values beyond 255");
      return false;
    }
  } else {
    decode(s, h, w, interlaced, pixels.data());
    if (s.Position() == 0) {
      progress.Fail("GIF: the LZW decoder refused the image data");
      return false;
    }
  }
  progress.Report(70);
  if (progress.Aborted()) return false;

  // Indices beyond the table show black rather than reading past it.
  TRGB lookup[256] = {};
  for (size_t i = 0; i < pal.table.size() && i < 256; ++i) lookup[i] = pal.table[i];
  for (int y = 0; y < h; ++y) {
    const uint8_t* src = pixels.data() + static_cast<size_t>(y) * w;
    uint8_t* row = out.ScanLine(y);
    if (bw) {
      std::memset(row, 0, static_cast<size_t>((w + 7) / 8));
      for (int x = 0; x < w; ++x)
        if (src[x]) row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
    } else {
      auto* d = reinterpret_cast<TRGB*>(row);
      for (int x = 0; x < w; ++x) d[x] = lookup[src[x]];
    }
  }
  return true;
}

// The stream's bytes from its position to its end: a memory stream's own buffer when it
// is one, else a copy.
struct TStreamBytes {
  const uint8_t* data = nullptr;
  size_t size = 0;
  Bytes copy;
};

void LoadStreamBytes(TStream& stream, TStreamBytes& out) {
  const int64_t start = stream.Position();
  if (auto* ms = dynamic_cast<TMemoryStream*>(&stream)) {
    const int64_t total = ms->Size();
    if (start >= 0 && start <= total) {
      out.data = ms->Memory() + start;
      out.size = static_cast<size_t>(total - start);
      return;
    }
  }
  const int64_t rest = std::max<int64_t>(0, stream.Size() - start);
  out.copy.resize(static_cast<size_t>(rest));
  const int64_t got = rest > 0 ? stream.Read(out.copy.data(), rest) : 0;
  out.copy.resize(static_cast<size_t>(std::max<int64_t>(0, got)));
  stream.SetPosition(start);
  out.data = out.copy.data();
  out.size = out.copy.size();
}

// The image reduced to palette indices, as writing and inserting need it.
struct TIndexedImage {
  int width = 0;
  int height = 0;
  int bits = 8;
  Bytes indices;              // width * height, display order
  std::vector<TRGB> palette;  // 2^bits entries
  int used = 0;               // entries that hold image colours
  std::unique_ptr<TVXQuantizer> quantizer;

  int Nearest(const TRGB& c) const {
    if (quantizer) return quantizer->GetRGBIndex(c);
    return GetSimilColor(palette.data(), std::min(used, static_cast<int>(palette.size())), c);
  }
};

int WriteBits(const TIOParamsVals& params) {
  return ilimit(params.BitsPerSample, 1, 8);
}

// Indices of a pf1bit bitmap: one byte a pixel, 1 for a set bit.
void IndicesFrom1Bit(const TBitmap& bw, Bytes& out) {
  const int w = bw.Width(), h = bw.Height();
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = bw.ScanLine(y);
    uint8_t* d = out.data() + static_cast<size_t>(y) * w;
    for (int x = 0; x < w; ++x) d[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
  }
}

void BuildIndexed(const TBitmap& bitmap, int bits, TIndexedImage& out) {
  out.width = bitmap.Width();
  out.height = bitmap.Height();
  out.bits = bits;
  const int colors = 1 << bits;
  out.palette.assign(static_cast<size_t>(colors), TRGB{});
  out.indices.assign(static_cast<size_t>(out.width) * out.height, 0);
  if (bits == 1) {
    out.used = 2;
    out.palette[0] = CreateRGB(0, 0, 0);
    out.palette[1] = CreateRGB(255, 255, 255);
    if (bitmap.PixelFormat() == pf1bit) {
      IndicesFrom1Bit(bitmap, out.indices);
      return;
    }
    TBitmap source24;
    const TBitmap* src = &bitmap;
    if (bitmap.PixelFormat() != pf24bit) {
      source24.Assign(bitmap);
      source24.SetPixelFormat(pf24bit);
      src = &source24;
    }
    TRGB c0, c1;
    if (std::unique_ptr<TBitmap> two = ConvertTo1bit(*src, c0, c1)) {
      // An image of exactly two colours keeps them.
      out.palette[0] = c0;
      out.palette[1] = c1;
      IndicesFrom1Bit(*two, out.indices);
      return;
    }
    TBitmap dithered;
    dithered.Assign(*src);
    TProgressRec quiet;
    ConvertToBWOrdered(dithered, quiet);
    IndicesFrom1Bit(dithered, out.indices);
    return;
  }
  TBitmap expanded;
  const TBitmap* src = &bitmap;
  if (bitmap.PixelFormat() == pf1bit) {
    Conv1to24(bitmap, expanded, TProgressRec{});
    src = &expanded;
  } else if (bitmap.PixelFormat() != pf24bit) {
    expanded.Assign(bitmap);
    expanded.SetPixelFormat(pf24bit);
    src = &expanded;
  }
  out.quantizer = std::make_unique<TVXQuantizer>(*src, out.palette.data(), 0, colors, -1, 0);
  out.used = colors;
  for (int y = 0; y < out.height; ++y) {
    const auto* row = reinterpret_cast<const TRGB*>(src->ScanLine(y));
    uint8_t* d = out.indices.data() + static_cast<size_t>(y) * out.width;
    for (int x = 0; x < out.width; ++x)
      d[x] = static_cast<uint8_t>(out.quantizer->GetRGBIndex(row[x]));
  }
}

void PutTable(Bytes& out, const std::vector<TRGB>& palette) {
  for (const TRGB& c : palette) {
    out.push_back(c.r);
    out.push_back(c.g);
    out.push_back(c.b);
  }
}

void PutControlExtension(Bytes& out, const TIOParamsVals& params, const TIndexedImage& im) {
  out.push_back(kExtension);
  out.push_back(kGraphicControl);
  out.push_back(4);
  // Disposal 2: the area is restored to the background before the next image.
  out.push_back(static_cast<uint8_t>((params.GIF_FlagTranspColor ? 1 : 0) | 0x08));
  PutLE16(out, params.GIF_DelayTime);
  out.push_back(static_cast<uint8_t>(im.Nearest(params.GIF_TranspColor)));
  out.push_back(0);
}

void PutDescriptor(Bytes& out, const TIOParamsVals& params, const TIndexedImage& im,
                   uint8_t packed) {
  out.push_back(kImage);
  PutLE16(out, params.GIF_XPos);
  PutLE16(out, params.GIF_YPos);
  PutLE16(out, im.width);
  PutLE16(out, im.height);
  out.push_back(packed);
}

// Runs the encoder into a memory buffer and appends its output.
void PutImageData(Bytes& out, TGIFLZWCompFunc encoder, const TIndexedImage& im, bool interlaced) {
  TMemoryStream ms;
  encoder(ms, im.height, im.width, interlaced, im.indices.data(), im.bits);
  out.insert(out.end(), ms.Data().begin(), ms.Data().end());
}

bool SizeWritable(const TBitmap& bitmap) {
  return bitmap.Width() > 0 && bitmap.Height() > 0 && bitmap.Width() <= 0xFFFF &&
         bitmap.Height() <= 0xFFFF;
}

// The header of a rewritten file: version 89a, the rest as it was, with the logical
// screen set when asked.
void PutRewrittenHeader(Bytes& out, const uint8_t* data, const TGifLayout& g, int screenW,
                        int screenH) {
  out.insert(out.end(), {'G', 'I', 'F', '8', '9', 'a'});
  if (screenW > 0) {
    PutLE16(out, screenW);
  } else {
    out.insert(out.end(), data + 6, data + 8);
  }
  if (screenH > 0) {
    PutLE16(out, screenH);
  } else {
    out.insert(out.end(), data + 8, data + 10);
  }
  out.insert(out.end(), data + 10, data + g.blocksPos);
}

// Same test as the read-and-write open, so that a file we could not rewrite in place
// is refused the same way.
void CheckWritable(const std::string& fileName) {
  TFileStream probe(fileName, fmOpenReadWrite);
}

// Replaces the file's content: the bytes go to a new file beside it, which then takes
// the old one's name, so a failure at any point leaves the old file whole. A file we may
// not write is refused even though the rename would get past its permissions.
void ReplaceFileContent(const std::string& fileName, const Bytes& content) {
  CheckWritable(fileName);
  namespace fs = std::filesystem;
  const fs::path target(fileName);
  const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string pattern = (dir / ("." + target.filename().string() + ".vxtmp-XXXXXX")).string();
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0)
    throw EFCreateError("Cannot create file \"" + fileName + "\": " + std::strerror(errno));
  struct stat st {};
  if (::stat(fileName.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
  // Written straight to the descriptor and synced, so that every failure (a full disk
  // included, which a buffered stream only meets when it is closed) is seen before the
  // new file takes the old one's place.
  const uint8_t* p = content.data();
  size_t left = content.size();
  int err = 0;
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      err = n < 0 ? errno : EIO;
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (err == 0 && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err != 0) {
    std::remove(pattern.c_str());
    throw EWriteError("Cannot write file \"" + fileName + "\": " + std::strerror(err));
  }
  if (std::rename(pattern.c_str(), fileName.c_str()) != 0) {
    const std::string why = std::strerror(errno);
    std::remove(pattern.c_str());
    throw EFCreateError("Cannot replace file \"" + fileName + "\": " + why);
  }
}

}  // namespace

void ReadGifStream(TStream& stream, TBitmap& bitmap, int& imageCount, bool preview,
                   TIOParamsVals& params, TProgressRec& progress) {
  imageCount = 0;
  progress.Report(0);
  if (progress.Aborted()) return;

  const int64_t start = stream.Position();
  TStreamBytes src;
  LoadStreamBytes(stream, src);
  const uint8_t* data = src.data;
  if (!HasSignature(data, src.size) || src.size < kHeaderSize) {
    progress.Fail("GIF: no GIF signature and header");
    return;
  }
  const TGifLayout g = ParseGif(data, src.size);
  // The stream ends up after the trailer, or where the readable data stopped.
  stream.SetPosition(start + static_cast<int64_t>(g.end));

  params.GIF_Version.assign(reinterpret_cast<const char*>(data), 6);
  params.GIF_WinWidth = LE16(data + 6);
  params.GIF_WinHeight = LE16(data + 8);
  params.GIF_Ratio = data[12];
  params.DpiX = gSystemDPIX;
  params.DpiY = gSystemDPIY;
  params.SamplesPerPixel = 1;
  if (!g.valid) {
    progress.Fail("GIF: the global colour table runs past the end of the file");
    return;
  }
  std::vector<TRGB> global;
  if (g.globalEntries > 0) {
    global = ReadTable(data + kHeaderSize, g.globalEntries);
    const int bg = data[11];
    if (bg < g.globalEntries) params.GIF_Background = global[bg];
  }
  imageCount = static_cast<int>(g.images.size());

  const int wanted = params.GIF_ImageIndex;
  if (wanted < 0 || wanted >= imageCount) {
    // No such image (or it is cut short: only complete images are counted).
    progress.Fail(g.truncated && wanted == imageCount
                      ? "GIF: image " + std::to_string(wanted) + " is cut short"
                      : "GIF: no image " + std::to_string(wanted) + " (the file holds " +
                            std::to_string(imageCount) + ")");
    return;
  }
  const TGifImage& im = g.images[static_cast<size_t>(wanted)];
  progress.Report(30);
  if (progress.Aborted()) return;

  TGifPalette pal;
  if (im.tableEntries > 0) {
    pal.table = ReadTable(data + im.tablePos, im.tableEntries);
    pal.bits = (im.packed & 7) + 1;
  } else if (g.globalEntries > 0) {
    pal.table = global;
    pal.bits = (data[10] & 7) + 1;
  } else {
    // No table at all: a grey ramp over the code size's index range.
    pal.bits = ilimit(data[im.dataPos], 1, 8);
    const int n = 1 << pal.bits;
    pal.table.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
      const auto v = static_cast<uint8_t>(i * 255 / (n - 1));
      pal.table[i] = CreateRGB(v, v, v);
    }
  }
  const bool interlaced = (im.packed & 0x40) != 0;
  params.GIF_TranspColor = im.transparentIndex < static_cast<int>(pal.table.size())
                               ? pal.table[im.transparentIndex]
                               : TRGB{};
  params.GIF_XPos = im.left;
  params.GIF_YPos = im.top;
  params.Width = im.width;
  params.Height = im.height;
  params.GIF_DelayTime = im.delay;
  params.GIF_FlagTranspColor = (im.controlPacked & 1) != 0;
  params.GIF_Interlaced = interlaced;
  params.BitsPerSample = pal.bits;
  params.SetColorMap(pal.table);

  const TGIFLZWDecompFunc decode = Decoder(params);
  if (!decode) {
    progress.Fail("GIF: no LZW decoder is installed");
    return;
  }
  if (preview) {
    progress.Report(100);
    return;
  }
  // Decoded into an image of its own, so that a refused image leaves the caller's as it was.
  TBitmap image;
  if (!DecodeImage(data, im, decode, pal, image, progress)) return;
  bitmap.Swap(image);
  progress.Report(100);
}

void WriteGifStream(TStream& stream, TBitmap& bitmap, TIOParamsVals& params,
                    TProgressRec& progress) {
  progress.Report(0);
  if (progress.Aborted()) return;
  const TGIFLZWCompFunc encode = Encoder(params);
  // Checked before anything is written, so that a failed write leaves no partial file.
  if (!encode || !SizeWritable(bitmap)) {
    progress.Abort();
    return;
  }
  TIndexedImage im;
  BuildIndexed(bitmap, WriteBits(params), im);
  progress.Report(30);
  if (progress.Aborted()) return;

  const int bits = im.bits;
  Bytes out;
  const std::string& v = params.GIF_Version;
  if (v.size() >= 6 && v.compare(0, 3, "GIF") == 0)
    out.insert(out.end(), v.begin(), v.begin() + 6);
  else
    out.insert(out.end(), {'G', 'I', 'F', '8', '9', 'a'});
  // The screen covers the image where its position puts it.
  PutLE16(out, im.width + imax(0, params.GIF_XPos));
  PutLE16(out, im.height + imax(0, params.GIF_YPos));
  out.push_back(static_cast<uint8_t>(0x80 | ((bits - 1) << 4) | (bits - 1)));
  out.push_back(static_cast<uint8_t>(im.Nearest(params.GIF_Background)));
  out.push_back(0);
  PutTable(out, im.palette);
  PutControlExtension(out, params, im);
  PutDescriptor(out, params, im, params.GIF_Interlaced ? 0x40 : 0);
  progress.Report(70);
  if (progress.Aborted()) return;
  PutImageData(out, encode, im, params.GIF_Interlaced);
  out.push_back(kTrailer);
  stream.WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
  progress.Report(100);
}

int InsertGifImStream(TStream& stream, TBitmap& bitmap, TIOParamsVals& params,
                      TProgressRec& progress) {
  const int64_t start = stream.Position();
  TStreamBytes src;
  LoadStreamBytes(stream, src);
  const uint8_t* data = src.data;
  if (!HasSignature(data, src.size)) return 0;
  progress.Report(0);
  if (progress.Aborted()) return 0;
  const TGifLayout g = ParseGif(data, src.size);
  const TGIFLZWCompFunc encode = Encoder(params);
  const int count = static_cast<int>(g.images.size());
  const int index = params.GIF_ImageIndex;
  // A damaged file, a missing encoder or an index with no place in the file: nothing is
  // changed.
  if (!g.valid || g.truncated || !encode || !SizeWritable(bitmap) || index < 0 || index > count) {
    progress.Abort();
    return 0;
  }
  TIndexedImage im;
  BuildIndexed(bitmap, WriteBits(params), im);
  progress.Report(30);
  if (progress.Aborted()) return 0;

  Bytes image;
  PutControlExtension(image, params, im);
  PutDescriptor(image, params, im,
                static_cast<uint8_t>(0x80 | (params.GIF_Interlaced ? 0x40 : 0) | (im.bits - 1)));
  PutTable(image, im.palette);
  PutImageData(image, encode, im, params.GIF_Interlaced);
  progress.Report(70);
  if (progress.Aborted()) return 0;

  // The new image goes before the control extension or descriptor of image `index`,
  // that is right after image index - 1 (for index 0: before the first control
  // extension or image, so that a looping extension at the front stays first).
  size_t at = g.blocks.size();
  for (size_t i = 0; i < g.blocks.size(); ++i) {
    const TGifBlock& b = g.blocks[i];
    if (index == 0) {
      if (b.kind == kImage || (b.kind == kExtension && b.label == kGraphicControl)) {
        at = i;
        break;
      }
    } else if (b.imagesBefore == index) {
      at = i;
      break;
    }
  }

  const int screenW = std::max(LE16(data + 6), im.width + imax(0, params.GIF_XPos));
  const int screenH = std::max(LE16(data + 8), im.height + imax(0, params.GIF_YPos));
  Bytes out;
  out.reserve(src.size + image.size() + 1);
  PutRewrittenHeader(out, data, g, screenW, screenH);
  for (size_t i = 0; i <= g.blocks.size(); ++i) {
    if (i == at) out.insert(out.end(), image.begin(), image.end());
    if (i == g.blocks.size()) break;
    out.insert(out.end(), data + g.blocks[i].start, data + g.blocks[i].end);
  }
  out.push_back(kTrailer);

  stream.SetPosition(start);
  stream.WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
  stream.SetSize(start + static_cast<int64_t>(out.size()));
  progress.Report(100);
  return count + 1;
}

int InsertGifIm(const std::string& fileName, TBitmap& bitmap, TIOParamsVals& params,
                TProgressRec& progress) {
  CheckWritable(fileName);
  TMemoryStream ms(ReadWholeFile(fileName));
  const int count = InsertGifImStream(ms, bitmap, params, progress);
  if (count > 0 && !progress.Aborted()) ReplaceFileContent(fileName, ms.Data());
  return count;
}

int DeleteGifIm(const std::string& fileName, int index, bool doDelete) {
  const Bytes f = ReadWholeFile(fileName);
  const TGifLayout g = ParseGif(f.data(), f.size());
  if (!g.valid) return 0;
  const int count = static_cast<int>(g.images.size());
  if (!doDelete || index < 0 || index >= count) return count;
  Bytes out;
  out.reserve(f.size());
  PutRewrittenHeader(out, f.data(), g, 0, 0);
  for (const TGifBlock& b : g.blocks) {
    if (b.imagesBefore == index) {
      if (b.kind == kImage) continue;
      if (b.kind == kExtension && b.label == kGraphicControl) continue;
    }
    out.insert(out.end(), f.data() + b.start, f.data() + b.end);
  }
  out.push_back(kTrailer);
  ReplaceFileContent(fileName, out);
  return count - 1;
}

bool CheckGifAnimate(const std::string& fileName) {
  TFileStream fs(fileName, fmOpenRead);
  uint8_t head[kHeaderSize + 768 + 14];
  const int64_t got = fs.Read(head, sizeof head);
  if (got < kHeaderSize || !HasSignature(head, static_cast<size_t>(got))) return false;
  const size_t size = static_cast<size_t>(got);
  const size_t pos = kHeaderSize + ((head[10] & 0x80) ? 3u * (2u << (head[10] & 7)) : 0u);
  if (pos + 14 > size) return false;
  TGifBlock b;
  b.kind = head[pos];
  b.label = head[pos + 1];
  b.start = pos;
  return IsLoopExtension(head, size, b);
}

void GifMakeAnimate(const std::string& fileName, int loopCount, int screenWidth, int screenHeight) {
  const Bytes f = ReadWholeFile(fileName);
  const TGifLayout g = ParseGif(f.data(), f.size());
  if (!g.valid) return;
  Bytes out;
  out.reserve(f.size() + kLoopExtensionSize);
  PutRewrittenHeader(out, f.data(), g, screenWidth, screenHeight);
  out.insert(out.end(), {kExtension, kApplication, 11});
  out.insert(out.end(), {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'});
  out.insert(out.end(), {3, 1});
  PutLE16(out, loopCount);
  out.push_back(0);
  // Any looping extension already present is dropped: a file carries one.
  for (const TGifBlock& b : g.blocks) {
    if (IsLoopExtension(f.data(), f.size(), b)) continue;
    out.insert(out.end(), f.data() + b.start, f.data() + b.end);
  }
  // The trailer, and whatever the walk could not take apart, stay as they were.
  out.insert(out.end(), f.data() + g.blocksEnd, f.data() + f.size());
  ReplaceFileContent(fileName, out);
}

void ReadGif(const std::string& fileName, TBitmap& bitmap, int& imageCount, TIOParamsVals& params,
             TProgressRec& progress) {
  TFileStream file(fileName, fmOpenRead);
  ReadGifStream(file, bitmap, imageCount, false, params, progress);
}

void WriteGif(const std::string& fileName, TBitmap& bitmap, TIOParamsVals& params,
              TProgressRec& progress) {
  TMemoryStream encoded;
  WriteGifStream(encoded, bitmap, params, progress);
  if (!progress.Aborted()) WriteWholeFile(fileName, encoded.Data());
}

}  // namespace vx
