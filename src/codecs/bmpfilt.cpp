#include "codecs/bmpfilt.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "core/arith.h"
#include "core/vxutils.h"
#include "platform/exceptions.h"
#include "platform/screen.h"
#include "proc/convert1bit.h"
#include "quant/neurquant.h"

namespace vx {

namespace {

constexpr uint16_t kBM = 0x4D42;
// Uncompressed data may be cut short, but a file must hold at least this share
// of the pixel bytes it announces (or be small) before a bitmap of that size is
// made.
constexpr int64_t kTruncatedShare = 4;
constexpr int64_t kSmallData = 64 * 1024;
// RLE4/RLE8 data and what it can justify. Every code is a 2-byte unit (an absolute
// run adds its literal bytes). The unit that paints the most is an encoded run: 255
// pixels in 2 bytes; an absolute run of n pixels costs 2 + n (RLE8) or 2 + n/2 (RLE4)
// bytes, so it paints fewer. End of line (00 00), delta (00 02 dx dy) and end of
// bitmap (00 01) paint nothing: they leave pixels at background, and a few of them
// skip any area (a 4-byte delta skips 255 rows of the whole width, an early end of
// bitmap everything that is left). Skipped background cannot justify a large bitmap,
// so past a floor the image may hold at most the pixels the data can paint:
// (bytes / 2) * 255. A file whose every pixel is coded - what GDI, ImageMagick, GIMP
// and this library's writer produce - can never exceed that; sparse files that skip
// (sprites, video deltas) are admitted up to the floor, 2048 x 2048.
constexpr int64_t kMaxPixelsPerRLEUnit = 255;
constexpr int64_t kSmallImagePixels = int64_t{1} << 22;
// Widest row the buffer's int row length can take at 32 bits a pixel.
constexpr int64_t kMaxDimension = (std::numeric_limits<int>::max() - 31) / 32;

inline uint16_t LE16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t LE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline int32_t LE32s(const uint8_t* p) {
  return static_cast<int32_t>(LE32(p));
}
inline void PutLE16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Reads from a stream without ever going past a fixed end position.
class BoundedReader {
 public:
  BoundedReader(TStream& s, int64_t end) : s_(s), end_(end) {}
  int64_t Pos() { return s_.Position(); }
  int64_t End() const { return end_; }
  int64_t Remaining() { return std::max<int64_t>(0, end_ - Pos()); }
  // Reads up to count bytes; returns how many were read.
  int64_t ReadSome(void* buffer, int64_t count) {
    count = std::min(count, Remaining());
    if (count <= 0) return 0;
    return s_.Read(buffer, count);
  }
  bool Read(void* buffer, int64_t count) { return ReadSome(buffer, count) == count; }
  bool Seek(int64_t pos) {
    if (pos < 0 || pos > end_) return false;
    return s_.Seek(pos, soBeginning) == pos;
  }
  bool Skip(int64_t count) { return count >= 0 && Seek(Pos() + count); }

 private:
  TStream& s_;
  int64_t end_;
};

int DpiFromPpm(int32_t ppm, int screen) {
  const int dpi = RoundI(static_cast<extended>(ppm) / 100 * 2.54L);
  return dpi > 0 ? dpi : screen;
}

// One channel of a bit-field pixel, brought to 8 bits the same way the plain
// 5-5-5 layout is (value shifted up, not replicated), so that a file with
// explicit 5-5-5 masks reads exactly like one without.
struct MaskChannel {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
  explicit MaskChannel(uint32_t m = 0) : mask(m) {
    if (m == 0) return;
    while (((m >> shift) & 1u) == 0) ++shift;
    bits = GetBitCount(m);
  }
  uint8_t Get(uint32_t v) const {
    if (bits == 0) return 0;
    const uint32_t run = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1);
    const uint32_t x = (v >> shift) & run;
    return static_cast<uint8_t>(bits >= 8 ? x >> (bits - 8) : x << (8 - bits));
  }
};

struct BmpInfo {
  int width = 0;
  int height = 0;  // always positive; topDown tells the row order
  bool topDown = false;
  int bits = 0;
  uint32_t compression = 0;
  uint32_t imageSize = 0;
  bool haveMasks = false;
  uint32_t masks[3] = {};  // red, green, blue
};

// Palette of 256 entries for index lookups; entries past the file's table are
// black.
std::array<TRGB, 256> LookupPalette(const TIOParamsVals& params) {
  std::array<TRGB, 256> pal{};
  const int n = std::min<int>(params.ColorMapCount, 256);
  for (int i = 0; i < n && i < static_cast<int>(params.ColorMap.size()); ++i)
    pal[static_cast<size_t>(i)] = params.ColorMap[static_cast<size_t>(i)];
  return pal;
}

inline bool IsWhiteBlack(const TIOParamsVals& params) {
  return params.ColorMapCount == 2 && params.ColorMap.size() >= 2 &&
         params.ColorMap[0] == TRGB{255, 255, 255} && params.ColorMap[1] == TRGB{0, 0, 0};
}

// Decodes one stored row of an uncompressed image into bitmap row dst.
void DecodeRow(const BmpInfo& info, const uint8_t* src, uint8_t* dst,
               const std::array<TRGB, 256>& pal, const MaskChannel* mc) {
  const int w = info.width;
  auto* out = reinterpret_cast<TRGB*>(dst);
  switch (info.bits) {
    case 1:
      std::memcpy(dst, src, static_cast<size_t>(BitmapRowLen(w, 1)));
      break;
    case 4:
      for (int x = 0; x < w; ++x) {
        const uint8_t b = src[x >> 1];
        out[x] = pal[(x & 1) ? (b & 0x0F) : (b >> 4)];
      }
      break;
    case 8:
      for (int x = 0; x < w; ++x) out[x] = pal[src[x]];
      break;
    case 16:
      for (int x = 0; x < w; ++x) {
        const uint32_t v = LE16(src + 2 * x);
        if (mc) {
          out[x] = TRGB{mc[2].Get(v), mc[1].Get(v), mc[0].Get(v)};
        } else {
          out[x] =
              TRGB{static_cast<uint8_t>((v & 0x001F) << 3), static_cast<uint8_t>((v & 0x03E0) >> 2),
                   static_cast<uint8_t>((v & 0x7C00) >> 7)};
        }
      }
      break;
    case 24:
      std::memcpy(dst, src, static_cast<size_t>(w) * 3);
      break;
    case 32:
      for (int x = 0; x < w; ++x) {
        const uint8_t* p = src + 4 * x;
        if (mc) {
          const uint32_t v = LE32(p);
          out[x] = TRGB{mc[2].Get(v), mc[1].Get(v), mc[0].Get(v)};
        } else {
          out[x] = TRGB{p[0], p[1], p[2]};
        }
      }
      break;
    default:
      break;
  }
}

// Run-length decoding of RLE8 (rle4 false) and RLE4 data into a pf24bit bitmap.
// Returns false when the data ends before the image does.
bool DecodeRLE(const BmpInfo& info, const uint8_t* data, size_t size, TBitmap& bitmap,
               const std::array<TRGB, 256>& pal, bool rle4, TProgressRec& progress) {
  const int w = info.width, h = info.height;
  int fileRow = 0;  // rows counted from the first one stored
  int64_t x = 0;
  size_t p = 0;
  auto put = [&](int64_t px, uint8_t index) {
    if (px < 0 || px >= w || fileRow < 0 || fileRow >= h) return;
    const int row = info.topDown ? fileRow : h - 1 - fileRow;
    reinterpret_cast<TRGB*>(bitmap.ScanLine(row))[px] = pal[index];
  };
  while (p + 2 <= size) {
    const uint8_t n = data[p], b = data[p + 1];
    p += 2;
    if (n > 0) {
      for (int i = 0; i < n; ++i, ++x) put(x, rle4 ? ((i & 1) ? (b & 0x0F) : (b >> 4)) : b);
      continue;
    }
    if (b == 0) {  // end of line
      ++fileRow;
      x = 0;
      if (fileRow >= h) return true;
      progress.Report(TruncI((fileRow + 1) * progress.PercentPerStep));
      if (progress.Aborted()) return true;
    } else if (b == 1) {  // end of bitmap
      return true;
    } else if (b == 2) {  // delta
      if (p + 2 > size) break;
      x += data[p];
      fileRow += data[p + 1];
      p += 2;
      if (fileRow >= h) return true;
    } else {  // absolute run of b pixels
      size_t bytes = rle4 ? (static_cast<size_t>(b) + 1) / 2 : b;
      const size_t padded = bytes + (bytes & 1);
      if (p + bytes > size) {
        bytes = size - p;  // decode what is there, then report the cut
        for (size_t i = 0; i < (rle4 ? bytes * 2 : bytes); ++i, ++x) {
          const uint8_t v = data[p + (rle4 ? i / 2 : i)];
          put(x, rle4 ? ((i & 1) ? (v & 0x0F) : (v >> 4)) : v);
        }
        return false;
      }
      for (int i = 0; i < b; ++i, ++x) {
        const uint8_t v = data[p + (rle4 ? static_cast<size_t>(i) / 2 : static_cast<size_t>(i))];
        put(x, rle4 ? ((i & 1) ? (v & 0x0F) : (v >> 4)) : v);
      }
      p += std::min(padded, size - p);
    }
  }
  // Data ran out without an end-of-bitmap code: complete only when the last row
  // was being written.
  return fileRow >= h - 1;
}

// Reads a colour table of count entries (blue, green, red and for 4-byte
// entries a reserved byte) into params.ColorMap. At most 256 entries are kept,
// and never more than lie before limit (an absolute position; the pixel data or
// the end). Returns false when the table is cut short.
bool ReadColorTable(BoundedReader& in, int64_t count, int entryBytes, TIOParamsVals& params,
                    int64_t limit) {
  const int64_t keep = std::min<int64_t>(count, 256);
  const int64_t avail = std::max<int64_t>(0, std::min(limit, in.End()) - in.Pos()) / entryBytes;
  const int64_t n = std::min(keep, avail);
  std::vector<uint8_t> raw(static_cast<size_t>(n * entryBytes));
  if (n > 0 && !in.Read(raw.data(), n * entryBytes)) return false;
  std::vector<TRGB> map(static_cast<size_t>(n));
  for (int64_t i = 0; i < n; ++i) {
    const uint8_t* e = raw.data() + i * entryBytes;
    map[static_cast<size_t>(i)] = TRGB{e[0], e[1], e[2]};
  }
  params.SetColorMap(std::move(map));
  if (n < keep) return false;  // the table is cut short
  // Entries past the 256 that can be used are skipped (to the end at most).
  in.Skip(std::min((count - keep) * entryBytes, in.Remaining()));
  return true;
}

// Whether a bitmap of w x h may be made for data of dataBytes of which
// needBytes would be the full uncompressed amount (0 for compressed data).
bool SizeJustified(int w, int h, int64_t needBytes, int64_t dataBytes) {
  if (needBytes > 0) return needBytes <= std::max(dataBytes * kTruncatedShare, kSmallData);
  const int64_t pixels = static_cast<int64_t>(w) * h;
  return pixels <= std::max(dataBytes / 2 * kMaxPixelsPerRLEUnit, kSmallImagePixels);
}

std::string SizeText(int64_t w, int64_t h) {
  return std::to_string(w) + " x " + std::to_string(h);
}

}  // namespace

// ---------------------------------------------------------------------------------
// Reading

void BMPReadStream(TStream& stream, TBitmap& bitmap, int64_t dataLength, bool preview,
                   TIOParamsVals& params, TProgressRec& progress) {
  const int64_t start = stream.Position();
  const int64_t streamEnd = stream.Size();
  BoundedReader in(stream, streamEnd);

  uint8_t fh[14];
  if (!in.Read(fh, 14) || LE16(fh) != kBM) {
    progress.Fail("BMP: no \"BM\" file header");
    return;
  }
  const uint32_t fileSize = LE32(fh + 2);
  const uint32_t pixelOffset = LE32(fh + 10);
  const int64_t callerLength = dataLength;
  if (dataLength <= 0 && fileSize != 0) dataLength = fileSize;

  uint8_t hdr[64] = {};
  if (!in.Read(hdr, 4)) {
    progress.Fail("BMP: file ends inside the info header");
    return;
  }
  const uint32_t hsize = LE32(hdr);
  params.FreeColorMap();

  BmpInfo info;
  int32_t rawHeight = 0;
  int64_t tableCount = 0;
  int tableEntry = 4;
  if (hsize == 12) {
    if (!in.Read(hdr + 4, 8)) {
      progress.Fail("BMP: file ends inside the info header");
      return;
    }
    info.width = LE16(hdr + 4);
    rawHeight = LE16(hdr + 6);
    info.bits = LE16(hdr + 10);
    params.BMP_Version = ioBMP_BMOS2V1;
    params.DpiX = gSystemDPIX;
    params.DpiY = gSystemDPIY;
    if (info.bits <= 8) tableCount = int64_t{1} << info.bits;
    tableEntry = 3;
  } else {
    if (hsize < 16 || hsize > static_cast<uint64_t>(in.Remaining() + 4)) {
      progress.Fail("BMP: info header size " + std::to_string(hsize) + " does not fit the file");
      return;
    }
    const int64_t first = std::min<int64_t>(64, hsize);
    if (!in.Read(hdr + 4, first - 4) || !in.Skip(static_cast<int64_t>(hsize) - first)) {
      progress.Fail("BMP: file ends inside the info header");
      return;
    }
    info.width = LE32s(hdr + 4);
    rawHeight = LE32s(hdr + 8);
    info.bits = LE16(hdr + 14);
    info.compression = LE32(hdr + 16);
    info.imageSize = LE32(hdr + 20);
    params.DpiX = DpiFromPpm(LE32s(hdr + 24), gSystemDPIX);
    params.DpiY = DpiFromPpm(LE32s(hdr + 28), gSystemDPIY);
    tableCount = LE32(hdr + 32);
    params.BMP_Version = hsize == 40 ? ioBMP_BM3 : hsize == 64 ? ioBMP_BMOS2V2 : ioBMP_BM;
    if (tableCount == 0 && info.bits <= 8) tableCount = int64_t{1} << info.bits;
    // Bit-field masks: inside the later headers, after the 40-byte one. OS/2
    // headers use compression 3 for Huffman coding and carry no masks.
    if (info.compression == 3 && hsize != 64 && (info.bits == 16 || info.bits == 32)) {
      if (hsize >= 52) {
        for (int i = 0; i < 3; ++i) info.masks[i] = LE32(hdr + 40 + 4 * i);
      } else {
        uint8_t m[12];
        if (!in.Read(m, 12)) {
          progress.Fail("BMP: file ends inside the bit-field masks");
          return;
        }
        for (int i = 0; i < 3; ++i) info.masks[i] = LE32(m + 4 * i);
      }
      info.haveMasks = true;
    }
  }
  if (rawHeight < 0) {
    info.topDown = true;
    info.height = rawHeight == std::numeric_limits<int32_t>::min() ? -1 : -rawHeight;
  } else {
    info.height = rawHeight;
  }

  params.Width = info.width;
  params.Height = info.height;
  params.BMP_Compression =
      (info.compression == 1 || info.compression == 2) ? ioBMP_RLE : ioBMP_UNCOMPRESSED;
  switch (info.bits) {
    case 1:
    case 4:
    case 8:
      params.BitsPerSample = info.bits;
      params.SamplesPerPixel = 1;
      break;
    case 16:
      params.BitsPerSample = 5;
      params.SamplesPerPixel = 3;
      break;
    default:
      params.BitsPerSample = 8;
      params.SamplesPerPixel = 3;
      break;
  }

  // A table that claims more entries than lie before the pixels is cut there.
  const int64_t tableLimit = pixelOffset != 0 ? start + pixelOffset : in.End();
  if (tableCount > 0 && !ReadColorTable(in, tableCount, tableEntry, params, tableLimit) &&
      pixelOffset == 0) {
    progress.Fail("BMP: colour table cut short");
    return;
  }

  const bool knownBits = info.bits == 1 || info.bits == 4 || info.bits == 8 || info.bits == 16 ||
                         info.bits == 24 || info.bits == 32;
  if (info.width <= 0 || info.height <= 0 || info.width > kMaxDimension ||
      info.height > kMaxDimension) {
    progress.Fail("BMP: impossible image size " + SizeText(info.width, rawHeight));
    return;
  }
  if (!knownBits) {
    progress.Fail("BMP: unsupported bit count " + std::to_string(info.bits));
    return;
  }

  if (pixelOffset != 0 && !in.Seek(start + pixelOffset)) {
    progress.Fail("BMP: pixel data offset lies past the end of the file");
    return;
  }
  // What can be decoded: uncompressed (0, or 3 for 16/32 bits with masks, and 3
  // is tolerated for 24 bits) for every depth; RLE8 for 8 bits; RLE4 for 4
  // bits.
  const uint32_t comp = info.compression;
  const bool uncompressed = comp == 0 || (comp == 3 && info.bits >= 16);
  const bool rle8 = comp == 1 && info.bits == 8;
  const bool rle4 = comp == 2 && info.bits == 4;

  // Bytes of pixel data that may be read: never past the stream or the length
  // the caller gave. Compressed data ends where the file does (by the given
  // length or the file-size field), else after the header's image size.
  int64_t dataBytes = in.Remaining();
  if (callerLength > 0)
    dataBytes = std::min(dataBytes, std::max<int64_t>(0, callerLength + start - in.Pos()));
  if (!uncompressed) {
    int64_t compressed = dataLength > 0 ? dataLength + start - in.Pos() : 0;
    if (compressed <= 0) compressed = info.imageSize;
    if (compressed > 0) dataBytes = std::min(dataBytes, compressed);
  }
  const int64_t rowLen = (static_cast<int64_t>(info.width) * info.bits + 31) / 32 * 4;
  const int64_t need = uncompressed ? rowLen * info.height : 0;
  // The pixel limit speaks first (its reason says how to lift it); previews are not
  // limited.
  if (!preview && !ImageSizeAllowed(info.width, info.height, progress)) return;
  if (!SizeJustified(info.width, info.height, need, dataBytes)) {
    progress.Fail(
        std::string(uncompressed ? "BMP: file too short" : "BMP: compressed data too short") +
        " for a " + SizeText(info.width, info.height) + " image (" + std::to_string(dataBytes) +
        " bytes)");
    return;
  }
  if (preview) return;

  if (!SizeImage(bitmap, info.width, info.height, info.bits == 1 ? pf1bit : pf24bit, progress))
    return;
  progress.PercentPerStep = 100.0 / info.height;
  const auto pal = LookupPalette(params);

  if (uncompressed) {
    MaskChannel mc[3];
    const MaskChannel* masks = nullptr;
    if (info.haveMasks) {
      for (int i = 0; i < 3; ++i) mc[i] = MaskChannel(info.masks[i]);
      masks = mc;
    }
    const int64_t pixelBytes = (static_cast<int64_t>(info.width) * info.bits + 7) / 8;
    std::vector<uint8_t> row(static_cast<size_t>(rowLen));
    int64_t left = dataBytes;
    for (int i = 0; i < info.height; ++i) {
      const int y = info.topDown ? i : info.height - 1 - i;
      progress.Report(TruncI(i * progress.PercentPerStep));
      if (progress.Aborted()) break;
      const int64_t want = std::min(rowLen, left);
      std::fill(row.begin(), row.end(), uint8_t{0});
      const int64_t got = want > 0 ? in.ReadSome(row.data(), want) : 0;
      left -= got;
      if (got > 0) DecodeRow(info, row.data(), bitmap.ScanLine(y), pal, masks);
      // The last row may come without its padding.
      if (got < pixelBytes || (got < rowLen && i + 1 < info.height)) {
        progress.Fail("BMP: pixel data ends before the last row");
        break;
      }
    }
  } else if (rle8 || rle4) {
    std::vector<uint8_t> data(static_cast<size_t>(dataBytes));
    const int64_t got = in.ReadSome(data.data(), dataBytes);
    if (!DecodeRLE(info, data.data(), static_cast<size_t>(got), bitmap, pal, rle4, progress))
      progress.Fail("BMP: RLE data ends before the image does");
  }
  // Other compressions: the bitmap stays sized and unfilled.

  if (info.bits == 1 && IsWhiteBlack(params)) Negative1Bit(bitmap);
}

// ---------------------------------------------------------------------------------
// Writing

namespace {

void FlushLiteral(const uint8_t* idx, int from, int to, bool rle4, std::vector<uint8_t>& out) {
  const int len = to - from;
  if (len <= 0) return;
  const uint8_t a = idx[from];
  if (len == 1) {
    out.insert(out.end(), {uint8_t{1}, rle4 ? static_cast<uint8_t>(a << 4) : a});
    return;
  }
  if (len == 2) {
    const uint8_t b = idx[from + 1];
    if (rle4)
      out.insert(out.end(), {uint8_t{2}, static_cast<uint8_t>((a << 4) | b)});
    else
      out.insert(out.end(), {uint8_t{1}, a, uint8_t{1}, b});
    return;
  }
  out.push_back(0);
  out.push_back(static_cast<uint8_t>(len));
  size_t bytes = 0;
  if (rle4) {
    for (int i = from; i < to; i += 2) {
      uint8_t v = static_cast<uint8_t>(idx[i] << 4);
      if (i + 1 < to) v |= idx[i + 1];
      out.push_back(v);
      ++bytes;
    }
  } else {
    out.insert(out.end(), idx + from, idx + to);
    bytes = static_cast<size_t>(len);
  }
  if (bytes & 1) out.push_back(0);
}

// Encodes one row of indices (one a byte; 4-bit indices for RLE4) with its
// end-of-line code.
void EncodeRLERow(const uint8_t* idx, int w, bool rle4, std::vector<uint8_t>& out) {
  int litStart = 0, x = 0;
  while (x < w) {
    if (x - litStart == 255) {
      FlushLiteral(idx, litStart, x, rle4, out);
      litStart = x;
    }
    if (x + 1 < w && idx[x] == idx[x + 1]) {
      FlushLiteral(idx, litStart, x, rle4, out);
      int run = 1;
      while (x + run < w && run < 255 && idx[x + run] == idx[x]) ++run;
      out.push_back(static_cast<uint8_t>(run));
      out.push_back(rle4 ? static_cast<uint8_t>((idx[x] << 4) | idx[x]) : idx[x]);
      x += run;
      litStart = x;
    } else {
      ++x;
    }
  }
  FlushLiteral(idx, litStart, w, rle4, out);
  out.push_back(0);
  out.push_back(0);
}

void WritePalette(TStream& s, const std::vector<TRGB>& pal, bool os2v1) {
  std::vector<uint8_t> raw;
  for (const TRGB& c : pal) {
    raw.insert(raw.end(), {c.b, c.g, c.r});
    if (!os2v1) raw.push_back(0);
  }
  s.WriteBuffer(raw.data(), static_cast<int64_t>(raw.size()));
}

}  // namespace

void BMPWriteStream(TStream& stream, TBitmap& bitmap, TIOParamsVals& params,
                    TProgressRec& progress) {
  const int w = bitmap.Width(), h = bitmap.Height();
  const bool os2v1 = params.BMP_Version == ioBMP_BMOS2V1;
  // An empty image has no BMP form, and the OS/2 1.x header has 16-bit sizes.
  if (bitmap.Empty() || (os2v1 && (w > 0xFFFF || h > 0xFFFF))) {
    progress.Fail(bitmap.Empty() ? "BMP: empty image"
                                 : "BMP: image too large for the OS/2 1.x header");
    return;
  }
  int bits;
  if (params.BitsPerSample == 1 || params.BitsPerSample == 4)
    bits = params.BitsPerSample;
  else
    bits = params.SamplesPerPixel == 1 ? 8 : 24;
  const bool rle = params.BMP_Compression == ioBMP_RLE && !os2v1 && (bits == 4 || bits == 8);

  // The pixels in a working format: pf1bit stays for 1-bit files, everything
  // else is read as 24 bits.
  const TBitmap* src = &bitmap;
  TBitmap work;
  if (bitmap.PixelFormat() == pf1bit) {
    if (bits != 1) {
      Conv1to24(bitmap, work, ResetNullpr());
      src = &work;
    }
  } else if (bitmap.PixelFormat() != pf24bit) {
    work.Assign(bitmap);
    work.SetPixelFormat(pf24bit);
    src = &work;
  }

  try {
    const int64_t start = stream.Position();
    uint8_t fh[14] = {'B', 'M'};
    stream.WriteBuffer(fh, 14);
    const int64_t infoPos = stream.Position();
    const uint32_t hsize = os2v1 ? 12 : params.BMP_Version == ioBMP_BMOS2V2 ? 64 : 40;
    uint8_t ih[64] = {};
    PutLE32(ih, hsize);
    if (os2v1) {
      PutLE16(ih + 4, static_cast<uint32_t>(w));
      PutLE16(ih + 6, static_cast<uint32_t>(h));
      PutLE16(ih + 8, 1);
      PutLE16(ih + 10, static_cast<uint32_t>(bits));
    } else {
      PutLE32(ih + 4, static_cast<uint32_t>(w));
      PutLE32(ih + 8, static_cast<uint32_t>(h));
      PutLE16(ih + 12, 1);
      PutLE16(ih + 14, static_cast<uint32_t>(bits));
      PutLE32(ih + 16, rle ? (bits == 4 ? 2u : 1u) : 0u);
      PutLE32(ih + 24, static_cast<uint32_t>(Round(params.DpiX / 2.54L * 100)));
      PutLE32(ih + 28, static_cast<uint32_t>(Round(params.DpiY / 2.54L * 100)));
      PutLE32(ih + 32, bits <= 8 ? (1u << bits) : 0u);
      PutLE32(ih + 36, 1u << bits);
    }
    stream.WriteBuffer(ih, hsize);

    progress.PercentPerStep = 100.0 / h;
    const int rowLen = BitmapRowLen(w, bits);
    std::vector<uint8_t> row(static_cast<size_t>(rowLen));
    int64_t pixelStart = 0;
    bool aborted = false;

    if (bits == 4 || bits == 8) {
      std::vector<TRGB> pal(static_cast<size_t>(1) << bits);
      TVXQuantizer quant(*src, pal.data(), 0x7FFFFFF, static_cast<int>(pal.size()), -1, 0);
      params.SetColorMap(pal);
      WritePalette(stream, pal, os2v1);
      pixelStart = stream.Position();
      std::vector<uint8_t> idx(static_cast<size_t>(w));
      std::vector<uint8_t> codes;
      for (int y = h - 1; y >= 0; --y) {
        progress.Report(TruncI((h - 1 - y) * progress.PercentPerStep));
        if (progress.Aborted()) {
          aborted = true;
          break;
        }
        const auto* px = reinterpret_cast<const TRGB*>(src->ScanLine(y));
        for (int x = 0; x < w; ++x)
          idx[static_cast<size_t>(x)] = static_cast<uint8_t>(quant.GetRGBIndex(px[x]));
        if (rle) {
          codes.clear();
          EncodeRLERow(idx.data(), w, bits == 4, codes);
          if (y == 0) codes.insert(codes.end(), {uint8_t{0}, uint8_t{1}});
          stream.WriteBuffer(codes.data(), static_cast<int64_t>(codes.size()));
        } else {
          std::fill(row.begin(), row.end(), uint8_t{0});
          if (bits == 8) {
            std::copy(idx.begin(), idx.end(), row.begin());
          } else {
            for (int x = 0; x < w; ++x)
              row[static_cast<size_t>(x >> 1)] |= static_cast<uint8_t>(
                  (x & 1) ? idx[static_cast<size_t>(x)] : idx[static_cast<size_t>(x)] << 4);
          }
          stream.WriteBuffer(row.data(), rowLen);
        }
      }
    } else if (bits == 1) {
      const TBitmap* mono = src;
      std::unique_ptr<TBitmap> two;
      std::vector<TRGB> pal{TRGB{0, 0, 0}, TRGB{255, 255, 255}};
      if (src->PixelFormat() != pf1bit) {
        TRGB c0, c1;
        two = ConvertTo1bit(*src, c0, c1);
        if (two) {
          pal = {c0, c1};
        } else {
          two = std::make_unique<TBitmap>();
          CopyBitmap(*src, *two);
          ConvertToBWOrdered(*two, progress);
        }
        mono = two.get();
      }
      params.SetColorMap(pal);
      WritePalette(stream, pal, os2v1);
      pixelStart = stream.Position();
      for (int y = h - 1; y >= 0; --y) {
        progress.Report(TruncI((h - 1 - y) * progress.PercentPerStep));
        if (progress.Aborted()) {
          aborted = true;
          break;
        }
        stream.WriteBuffer(mono->ScanLine(y), rowLen);
      }
    } else {
      pixelStart = stream.Position();
      for (int y = h - 1; y >= 0; --y) {
        progress.Report(TruncI((h - 1 - y) * progress.PercentPerStep));
        if (progress.Aborted()) {
          aborted = true;
          break;
        }
        std::memcpy(row.data(), src->ScanLine(y), static_cast<size_t>(w) * 3);
        stream.WriteBuffer(row.data(), rowLen);
      }
    }
    if (aborted) return;

    const int64_t end = stream.Position();
    PutLE32(fh + 2, static_cast<uint32_t>(end - start));
    PutLE32(fh + 10, static_cast<uint32_t>(pixelStart - start));
    if (!os2v1) PutLE32(ih + 20, static_cast<uint32_t>(end - pixelStart));
    stream.Seek(start, soBeginning);
    stream.WriteBuffer(fh, 14);
    stream.Seek(infoPos, soBeginning);
    stream.WriteBuffer(ih, hsize);
    stream.Seek(end, soBeginning);
  } catch (const EWriteError& e) {
    progress.Fail(e.what());
  }
}

// ---------------------------------------------------------------------------------
// Icons and cursors

namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

struct DirEntry {
  int width = 0, height = 0, colors = 0, reserved = 0;
  int planes = 0, bitCount = 0;
  uint32_t size = 0, offset = 0;
};

bool TryIconStream(TStream& stream, uint16_t type) {
  const int64_t pos = stream.Position();
  bool ok = false;
  const int64_t end = stream.Size();
  if (end - pos > 22) {
    BoundedReader in(stream, end);
    uint8_t d[6];
    if (in.Read(d, 6) && LE16(d) == 0 && LE16(d + 2) == type && LE16(d + 4) > 0) {
      const int count = LE16(d + 4);
      ok = true;
      for (int i = 0; i < count && ok; ++i) {
        uint8_t e[16];
        if (!in.Read(e, 16)) {
          ok = false;
          break;
        }
        const int64_t after = in.Pos() - pos;
        ok = e[3] == 0 && LE32(e + 8) != 0 && LE32(e + 12) >= after;
      }
    }
  }
  stream.Seek(pos, soBeginning);
  return ok;
}

void ReadIconOrCursor(TStream& stream, TBitmap& bitmap, TIOParamsVals& params,
                      TProgressRec& progress, bool preview, const TRGB& background, bool cursor) {
  const int64_t start = stream.Position();
  const int64_t end = stream.Size();
  BoundedReader in(stream, end);
  const std::string kind = cursor ? "CUR: " : "ICO: ";
  auto fail = [&](const std::string& why) { progress.Fail(kind + why); };
  uint8_t d[6];
  if (!in.Read(d, 6)) {
    fail("file ends inside the directory");
    return;
  }
  if (LE16(d) == kBM) {
    in.Seek(start);
    BMPReadStream(stream, bitmap, end - start, preview, params, progress);
    return;
  }
  const int count = LE16(d + 4);
  const int index = cursor ? params.CUR_ImageIndex : params.ICO_ImageIndex;
  if (LE16(d) != 0 || LE16(d + 2) != (cursor ? 2 : 1)) {
    fail("not a directory of this kind");
    return;
  }
  if (index < 0 || index >= count) {
    fail("image index " + std::to_string(index) + " outside the directory of " +
         std::to_string(count));
    return;
  }
  DirEntry de;
  for (int i = 0; i <= index; ++i) {
    uint8_t e[16];
    if (!in.Read(e, 16)) {
      fail("directory cut short");
      return;
    }
    de.width = e[0] ? e[0] : 256;  // 0 stands for 256
    de.height = e[1] ? e[1] : 256;
    de.colors = e[2];
    de.reserved = e[3];
    de.planes = LE16(e + 4);
    de.bitCount = LE16(e + 6);
    de.size = LE32(e + 8);
    de.offset = LE32(e + 12);
  }
  if (!in.Seek(start + de.offset)) {
    fail("entry data offset lies past the end of the file");
    return;
  }
  const int64_t entryEnd =
      de.size > 0 ? std::min<int64_t>(end, start + static_cast<int64_t>(de.offset) + de.size) : end;

  uint8_t ih[40] = {};
  const int64_t got = in.ReadSome(ih, 8);
  if (got == 8 && std::memcmp(ih, kPngSignature, 8) == 0) {
    params.Width = de.width;
    params.Height = de.height;
    params.BitsPerSample = 8;
    params.SamplesPerPixel = 3;
    params.DpiX = gSystemDPIX;
    params.DpiY = gSystemDPIY;
    if (cursor) {
      params.CUR_XHotSpot = de.planes;
      params.CUR_YHotSpot = de.bitCount;
    }
    params.FreeColorMap();
    // The PNG blob: the entry's data, which the size field bounds when it is
    // sane.
    const int64_t blobStart = start + de.offset;
    const int64_t blobEnd = std::max(entryEnd, std::min<int64_t>(end, blobStart + 8));
    std::vector<uint8_t> blob(static_cast<size_t>(blobEnd - blobStart));
    in.Seek(blobStart);
    const int64_t n = in.ReadSome(blob.data(), static_cast<int64_t>(blob.size()));
    if (preview) {
      // Size from the header chunk, without decoding.
      if (n >= 24 && LE32(blob.data() + 12) == 0x52444849u) {  // "IHDR"
        auto be32 = [&](size_t o) {
          return static_cast<int>((static_cast<uint32_t>(blob[o]) << 24) | (blob[o + 1] << 16) |
                                  (blob[o + 2] << 8) | blob[o + 3]);
        };
        params.Width = be32(16);
        params.Height = be32(20);
      }
      return;
    }
    int pw = 0, ph = 0;
    ICODecodePNG(blob.data(), static_cast<size_t>(n), bitmap, background, pw, ph, progress);
    if (pw > 0 && ph > 0) {
      params.Width = pw;
      params.Height = ph;
    }
    return;
  }
  if (got < 8 || !in.Read(ih + 8, 32)) {
    fail("file ends inside the entry header");
    return;
  }
  if (LE32(ih) < 40) {
    fail("entry header size " + std::to_string(LE32(ih)) + " is too small");
    return;
  }

  params.Width = de.width;
  params.Height = de.height;
  params.SamplesPerPixel = 1;
  if (cursor) {
    params.CUR_XHotSpot = de.planes;
    params.CUR_YHotSpot = de.bitCount;
  }
  const int32_t xppm = LE32s(ih + 24), yppm = LE32s(ih + 28);
  params.DpiX = DpiFromPpm(xppm, gSystemDPIX);
  params.DpiY = DpiFromPpm(yppm, gSystemDPIY);
  // Header sizes past 40 bytes: the table follows the whole header.
  const uint32_t hsize = LE32(ih);
  if (hsize > 40 && !in.Skip(std::min<int64_t>(hsize - 40, in.Remaining()))) {
    fail("file ends inside the entry header");
    return;
  }

  const int headerBits = LE16(ih + 14);
  int bits = cursor ? headerBits : (headerBits != 0 ? headerBits : de.bitCount);
  if (bits == 0) {
    if (de.colors == 0) {
      fail("entry gives neither a bit count nor a colour count");
      return;
    }
    bits = NColToBitsPixel(de.colors);
  }
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) {
    fail("unsupported bit count " + std::to_string(bits));
    return;
  }
  params.BitsPerSample = bits;
  params.FreeColorMap();
  if (bits <= 8) {
    // The table holds the header's colour count when it gives one, else the
    // entry's, else 2^bits; counts beyond 2^bits are not believed.
    const int64_t full = int64_t{1} << bits;
    const uint32_t used = LE32(ih + 32);
    int64_t colors = full;
    if (used > 0 && used <= full)
      colors = used;
    else if (de.colors > 0 && de.colors <= full)
      colors = de.colors;
    if (!ReadColorTable(in, colors, 4, params, entryEnd)) {
      fail("colour table cut short");
      return;
    }
  } else {
    params.BitsPerSample = 8;
    params.SamplesPerPixel = 3;
  }
  if (preview) return;

  const int w = de.width, h = de.height;
  if (!SizeImage(bitmap, w, h, bits == 1 ? pf1bit : pf24bit, progress)) return;
  progress.PercentPerStep = 100.0 / h;
  const auto pal = LookupPalette(params);
  const int rowLen = BitmapRowLen(w, bits);
  std::vector<uint8_t> row(static_cast<size_t>(rowLen));
  BmpInfo info;
  info.width = w;
  info.height = h;
  info.bits = bits;
  // 32-bit entries whose alpha is 0 throughout are opaque images from before
  // alpha channels (their AND mask carries the shape).
  bool useAlpha = false;
  std::vector<uint8_t> data;
  if (bits == 32) {
    data.resize(static_cast<size_t>(rowLen) * static_cast<size_t>(h));
    const int64_t n = in.ReadSome(data.data(), static_cast<int64_t>(data.size()));
    for (int64_t i = 3; i < n && !useAlpha; i += 4) useAlpha = data[static_cast<size_t>(i)] != 0;
    data.resize(static_cast<size_t>(n));
  }
  size_t offset = 0;
  for (int i = 0; i < h; ++i) {
    const int y = h - 1 - i;
    progress.Report(TruncI(i * progress.PercentPerStep));
    if (progress.Aborted()) return;
    std::fill(row.begin(), row.end(), uint8_t{0});
    int64_t n;
    if (bits == 32) {
      n = std::min<int64_t>(rowLen, static_cast<int64_t>(data.size() - offset));
      std::memcpy(row.data(), data.data() + offset, static_cast<size_t>(n));
      offset += static_cast<size_t>(n);
    } else {
      n = in.ReadSome(row.data(), rowLen);
    }
    if (n > 0) {
      if (bits == 32 && useAlpha) {
        auto* out = reinterpret_cast<TRGB*>(bitmap.ScanLine(y));
        for (int x = 0; x < w; ++x) {
          const uint8_t* p = row.data() + 4 * x;
          const int a = p[3];
          auto blend = [a](int c, int bg) {
            return static_cast<uint8_t>((c * a + bg * (255 - a) + 127) / 255);
          };
          out[x] =
              TRGB{blend(p[0], background.b), blend(p[1], background.g), blend(p[2], background.r)};
        }
      } else {
        DecodeRow(info, row.data(), bitmap.ScanLine(y), pal, nullptr);
      }
    }
    if (n < rowLen) {
      fail("pixel data ends before the last row");
      break;
    }
  }
  if (bits == 1 && IsWhiteBlack(params)) Negative1Bit(bitmap);
}

}  // namespace

void ICOReadStream(TStream& stream, TBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress,
                   bool preview, const TRGB& background) {
  ReadIconOrCursor(stream, bitmap, params, progress, preview, background, false);
}

void CURReadStream(TStream& stream, TBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress,
                   bool preview, const TRGB& background) {
  ReadIconOrCursor(stream, bitmap, params, progress, preview, background, true);
}

bool ICOTryStream(TStream& stream) {
  return TryIconStream(stream, 1);
}
bool CURTryStream(TStream& stream) {
  return TryIconStream(stream, 2);
}

}  // namespace vx
