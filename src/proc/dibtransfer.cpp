#include "proc/dibtransfer.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/arith.h"
#include "core/vxdefs.h"
#include "core/vxutils.h"
#include "codecs/bmpfilt.h"
#include "io/ioparams.h"
#include "platform/canvas.h"
#include "platform/stream.h"

namespace vx {

namespace {

// Largest side and pixel count accepted for a frame that brings no data to
// justify its size (formats we keep blank); decoded formats are bounded by
// their data.
constexpr int64_t kMaxSide = 1 << 24;
constexpr int64_t kMaxBlankPixels = int64_t{4096} * 4096;

uint16_t LE16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t LE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void PutLE16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void PutLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint8_t Clamp255(double v) {
  const int64_t r = Round(v);
  return static_cast<uint8_t>(r < 0 ? 0 : r > 255 ? 255 : r);
}

// ---- YUV frames ----

bool FrameFits(const TBitmap& bitmap, uint32_t code, size_t size) {
  if (bitmap.PixelFormat() != pf24bit || bitmap.Empty()) return false;
  const uint64_t need = FrameBytes(code, bitmap.Width(), bitmap.Height());
  return need > 0 && need <= size;
}

uint8_t* OutRow(TBitmap& bitmap, int row, bool topDown) {
  return bitmap.ScanLine(topDown ? row : bitmap.Height() - 1 - row);
}

// Planar formats: a full-size Y plane and two subsampled chroma planes; first
// is the plane stored right after Y. A row index that runs past the last chroma
// row (odd heights) re-reads the last one; a frame too small for any chroma is
// grey.
bool CopyPlanar(const uint8_t* data, size_t size, TBitmap& bitmap, bool topDown, uint32_t code,
                int block, bool uFirst) {
  if (!FrameFits(bitmap, code, size)) return false;
  const int w = bitmap.Width(), h = bitmap.Height();
  const int cw = w / block, ch = h / block;
  const uint8_t* yPlane = data;
  const uint8_t* p1 = data + static_cast<size_t>(w) * h;
  const uint8_t* p2 = p1 + static_cast<size_t>(cw) * ch;
  const uint8_t* uPlane = uFirst ? p1 : p2;
  const uint8_t* vPlane = uFirst ? p2 : p1;
  for (int y = 0; y < h; ++y) {
    uint8_t* out = OutRow(bitmap, y, topDown);
    const uint8_t* yr = yPlane + static_cast<size_t>(y) * w;
    const bool chroma = cw > 0 && ch > 0;
    const size_t crow = chroma ? static_cast<size_t>(std::min(y / block, ch - 1)) * cw : 0;
    for (int x = 0; x < w; ++x, out += 3) {
      int u = 128, v = 128;
      if (chroma) {
        const size_t ci = crow + static_cast<size_t>(std::min(x / block, cw - 1));
        u = uPlane[ci];
        v = vPlane[ci];
      }
      const TRGB c = YUV2RGB(yr[x], u, v);
      out[0] = c.b;
      out[1] = c.g;
      out[2] = c.r;
    }
  }
  return true;
}

// Packed formats: groups of groupPixels pixels in groupBytes bytes; sample(g,
// k) gives pixel k of the group at g as {Y, U, V}.
struct YUV {
  int y, u, v;
};

template <class Sample>
bool CopyPacked(const uint8_t* data, size_t size, TBitmap& bitmap, bool topDown, uint32_t code,
                int groupPixels, int groupBytes, Sample&& sample) {
  if (!FrameFits(bitmap, code, size)) return false;
  const int w = bitmap.Width(), h = bitmap.Height();
  const size_t stride =
      static_cast<size_t>((w + groupPixels - 1) / groupPixels) * static_cast<size_t>(groupBytes);
  for (int y = 0; y < h; ++y) {
    uint8_t* out = OutRow(bitmap, y, topDown);
    const uint8_t* g = data + stride * static_cast<size_t>(y);
    for (int x = 0; x < w; x += groupPixels, g += groupBytes) {
      const int n = std::min(groupPixels, w - x);
      for (int k = 0; k < n; ++k, out += 3) {
        const YUV s = sample(g, k);
        const TRGB c = YUV2RGB(s.y, s.u, s.v);
        out[0] = c.b;
        out[1] = c.g;
        out[2] = c.r;
      }
    }
  }
  return true;
}

// ---- DIB decoding ----

struct DibHeader {
  uint32_t headerSize = 0;
  int width = 0;
  int height = 0;  // absolute value
  bool topDown = false;
  int bitCount = 0;
  uint32_t compression = 0;
  uint32_t clrUsed = 0;
};

bool ReadHeader(const uint8_t* dib, size_t size, DibHeader& h) {
  if (!dib || size < 40) return false;
  h.headerSize = LE32(dib);
  if (h.headerSize < 40 || h.headerSize > size) return false;
  const auto w = static_cast<int32_t>(LE32(dib + 4));
  const auto ht = static_cast<int32_t>(LE32(dib + 8));
  if (w <= 0 || ht == 0 || w > kMaxSide || ht > kMaxSide || ht < -kMaxSide) return false;
  h.width = w;
  h.topDown = ht < 0;
  h.height = ht < 0 ? -ht : ht;
  h.bitCount = LE16(dib + 14);
  h.compression = LE32(dib + 16);
  h.clrUsed = LE32(dib + 32);
  return true;
}

// One channel of a bit-field pixel scaled to 8 bits: the masked value shifted
// down to bit 0, then widened or narrowed to 8 bits by shifting (a 5-bit 31
// gives 248).
struct Field {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
  explicit Field(uint32_t m) : mask(m) {
    if (!m) return;
    while (!(m & 1u)) {
      m >>= 1;
      ++shift;
    }
    bits = GetBitCount(mask);
  }
  uint8_t Get(uint32_t p) const {
    if (!mask) return 0;
    const uint32_t v = (p & mask) >> shift;
    return static_cast<uint8_t>(bits <= 8 ? (v << (8 - bits)) : (v >> (bits - 8)));
  }
};

// RLE4/RLE8: the BMP reader already decodes these (with every check, among them
// the bound on the pixels the data can justify and the pixel limit), so the DIB is
// handed to it behind a file header.
int DecodeRle(const uint8_t* dib, size_t headerAndTable, const uint8_t* pixels, size_t pixelBytes,
              const DibHeader& h, TBitmap& bitmap, TProgressRec& progress) {
  std::vector<uint8_t> file(14 + headerAndTable + pixelBytes);
  file[0] = 'B';
  file[1] = 'M';
  PutLE32(&file[2], static_cast<uint32_t>(std::min<size_t>(file.size(), 0xFFFFFFFFu)));
  PutLE32(&file[10], static_cast<uint32_t>(14 + headerAndTable));
  std::memcpy(&file[14], dib, headerAndTable);
  if (pixelBytes) std::memcpy(&file[14 + headerAndTable], pixels, pixelBytes);
  TMemoryStream stream(std::move(file));
  TBitmap decoded;
  TIOParamsVals params;
  BMPReadStream(stream, decoded, stream.Size(), false, params, progress);
  if (progress.Aborted() || decoded.Width() != h.width || decoded.Height() != h.height ||
      decoded.PixelFormat() != pf24bit)
    return 0;
  bitmap.Swap(decoded);
  return h.bitCount;
}

bool Blank(TBitmap& bitmap, const DibHeader& h, const TProgressRec& progress) {
  if (!SizeImage(bitmap, h.width, h.height, h.bitCount == 1 ? pf1bit : pf24bit, progress))
    return false;
  std::memset(bitmap.Bits(), 0, bitmap.BitsSize());
  return true;
}

uint32_t FourccOf(uint32_t compression) {
  // "IYUV" and "YUNV", "UYNV" are other names of the same layouts.
  switch (compression) {
    case FourCC('I', 'Y', 'U', 'V'):
      return FourCC('I', '4', '2', '0');
    case FourCC('Y', 'U', 'N', 'V'):
      return FourCC('Y', 'U', 'Y', '2');
    case FourCC('U', 'Y', 'N', 'V'):
    case FourCC('c', 'y', 'u', 'v'):
      return FourCC('U', 'Y', 'V', 'Y');
    default:
      return compression;
  }
}

bool ConvertFrame(uint32_t code, const uint8_t* data, size_t size, TBitmap& bitmap, bool topDown) {
  switch (code) {
    case FourCC('I', '4', '2', '0'):
      return CopyI420ToBitmap(data, size, bitmap, topDown);
    case FourCC('Y', 'V', '1', '2'):
      return CopyYV12ToBitmap(data, size, bitmap, topDown);
    case FourCC('Y', 'V', 'U', '9'):
      return CopyYVU9ToBitmap(data, size, bitmap, topDown);
    case FourCC('Y', 'U', 'Y', '2'):
      return CopyYUY2ToBitmap(data, size, bitmap, topDown);
    case FourCC('U', 'Y', 'V', 'Y'):
      return CopyUYVYToBitmap(data, size, bitmap, topDown);
    case FourCC('Y', 'V', 'Y', 'U'):
      return CopyYVYUToBitmap(data, size, bitmap, topDown);
    case FourCC('I', 'Y', 'U', '2'):
      return CopyIYU2ToBitmap(data, size, bitmap, topDown);
    case FourCC('I', 'Y', 'U', '1'):
      return CopyIYU1ToBitmap(data, size, bitmap, topDown);
    case FourCC('Y', '4', '1', 'P'):
      return CopyY41PToBitmap(data, size, bitmap, topDown);
    case FourCC('Y', '2', '1', '1'):
      return CopyY211ToBitmap(data, size, bitmap, topDown);
    case FourCC('C', 'L', 'J', 'R'):
      return CopyCLJRToBitmap(data, size, bitmap, topDown);
    default:
      return false;
  }
}

int DecodeFrame(const uint8_t* dib, size_t size, const DibHeader& h, int32_t signedHeight,
                const uint8_t* bits, size_t bitsSize, TBitmap& bitmap,
                const TProgressRec& progress) {
  const uint32_t code = FourccOf(h.compression);
  const uint8_t* data = bits ? bits : dib + h.headerSize;
  const size_t avail = bits ? bitsSize : size - h.headerSize;
  const uint64_t need = FrameBytes(code, h.width, h.height);
  if (need == 0) {
    if (static_cast<int64_t>(h.width) * h.height > kMaxBlankPixels) return 0;
    return Blank(bitmap, h, progress) ? h.bitCount : 0;
  }
  if (!data || need > avail) return 0;
  // Video frames are stored top-down for a positive height, except these two.
  const bool reversed =
      h.compression == FourCC('c', 'y', 'u', 'v') || h.compression == FourCC('Y', '4', '1', 'P');
  const bool topDown = reversed ? signedHeight < 0 : signedHeight > 0;
  if (!SizeImage(bitmap, h.width, h.height, pf24bit, progress)) return 0;
  ConvertFrame(code, data, avail, bitmap, topDown);
  return h.bitCount;
}

}  // namespace

TRGB YUV2RGB(int y, int u, int v) {
  const double l = 1.164 * (y - 16);
  TRGB c;
  c.b = Clamp255(l + 2.018 * (u - 128));
  c.g = Clamp255(l - 0.813 * (v - 128) - 0.391 * (u - 128));
  c.r = Clamp255(l + 1.596 * (v - 128));
  return c;
}

uint64_t FrameBytes(uint32_t fourcc, int width, int height) {
  if (width <= 0 || height <= 0) return 0;
  const uint64_t w = static_cast<uint64_t>(width), h = static_cast<uint64_t>(height);
  const auto packed = [&](uint64_t groupPixels, uint64_t groupBytes) {
    return (w + groupPixels - 1) / groupPixels * groupBytes * h;
  };
  switch (FourccOf(fourcc)) {
    case FourCC('I', '4', '2', '0'):
    case FourCC('Y', 'V', '1', '2'):
      return w * h + 2 * (w / 2) * (h / 2);
    case FourCC('Y', 'V', 'U', '9'):
      return w * h + 2 * (w / 4) * (h / 4);
    case FourCC('Y', 'U', 'Y', '2'):
    case FourCC('U', 'Y', 'V', 'Y'):
    case FourCC('Y', 'V', 'Y', 'U'):
      return packed(2, 4);
    case FourCC('I', 'Y', 'U', '2'):
      return packed(1, 3);
    case FourCC('I', 'Y', 'U', '1'):
      return packed(4, 6);
    case FourCC('Y', '4', '1', 'P'):
      return packed(8, 12);
    case FourCC('Y', '2', '1', '1'):
    case FourCC('C', 'L', 'J', 'R'):
      return packed(4, 4);
    default:
      return 0;
  }
}

bool CopyI420ToBitmap(const uint8_t* data, size_t size, TBitmap& bitmap, bool topDown) {
  return CopyPlanar(data, size, bitmap, topDown, FourCC('I', '4', '2', '0'), 2, true);
}
bool CopyYV12ToBitmap(const uint8_t* data, size_t size, TBitmap& bitmap, bool topDown) {
  return CopyPlanar(data, size, bitmap, topDown, FourCC('Y', 'V', '1', '2'), 2, false);
}
bool CopyYVU9ToBitmap(const uint8_t* data, size_t size, TBitmap& bitmap, bool topDown) {
  return CopyPlanar(data, size, bitmap, topDown, FourCC('Y', 'V', 'U', '9'), 4, false);
}
bool CopyYUY2ToBitmap(const uint8_t* data, size_t size, TBitmap& bitmap, bool topDown) {
  return CopyPacked(data, size, bitmap, topDown, FourCC('Y', 'U', 'Y', '2'), 2, 4,
                    [](const uint8_t* g, int k) {
                      return YUV{g[k * 2], g[1], g[3]};
                    });
}
bool CopyUYVYToBitmap(const uint8_t* data, size_t size, TBitmap& bitmap, bool topDown) {
  return CopyPacked(data, size, bitmap, topDown, FourCC('U', 'Y', 'V', 'Y'), 2, 4,
                    [](const uint8_t* g, int k) {
                      return YUV{g[1 + k * 2], g[0], g[2]};
                    });
}
bool CopyYVYUToBitmap(const uint8_t* data, size_t size, TBitmap& bitmap, bool topDown) {
  return CopyPacked(data, size, bitmap, topDown, FourCC('Y', 'V', 'Y', 'U'), 2, 4,
                    [](const uint8_t* g, int k) {
                      return YUV{g[k * 2], g[3], g[1]};
                    });
}
bool CopyIYU2ToBitmap(const uint8_t* data, size_t size, TBitmap& bitmap, bool topDown) {
  return CopyPacked(data, size, bitmap, topDown, FourCC('I', 'Y', 'U', '2'), 1, 3,
                    [](const uint8_t* g, int) {
                      return YUV{g[1], g[0], g[2]};
                    });
}
bool CopyIYU1ToBitmap(const uint8_t* data, size_t size, TBitmap& bitmap, bool topDown) {
  static constexpr std::array<int, 4> kY{1, 2, 4, 5};
  return CopyPacked(data, size, bitmap, topDown, FourCC('I', 'Y', 'U', '1'), 4, 6,
                    [](const uint8_t* g, int k) {
                      return YUV{g[kY[k]], g[0], g[3]};
                    });
}
bool CopyY41PToBitmap(const uint8_t* data, size_t size, TBitmap& bitmap, bool topDown) {
  static constexpr std::array<int, 8> kY{1, 3, 5, 7, 8, 9, 10, 11};
  return CopyPacked(data, size, bitmap, topDown, FourCC('Y', '4', '1', 'P'), 8, 12,
                    [](const uint8_t* g, int k) {
                      return k < 4 ? YUV{g[kY[k]], g[0], g[2]} : YUV{g[kY[k]], g[4], g[6]};
                    });
}
bool CopyY211ToBitmap(const uint8_t* data, size_t size, TBitmap& bitmap, bool topDown) {
  return CopyPacked(data, size, bitmap, topDown, FourCC('Y', '2', '1', '1'), 4, 4,
                    [](const uint8_t* g, int k) {
                      return YUV{k < 2 ? g[0] : g[2], g[1], g[3]};
                    });
}
bool CopyCLJRToBitmap(const uint8_t* data, size_t size, TBitmap& bitmap, bool topDown) {
  // The samples are 5 (Y) and 6 (U, V) bits; they are widened to 8 bits by bit
  // replication before conversion, otherwise every frame comes out nearly
  // black.
  return CopyPacked(
      data, size, bitmap, topDown, FourCC('C', 'L', 'J', 'R'), 4, 4, [](const uint8_t* g, int k) {
        const uint32_t w = LE32(g);
        const uint32_t v6 = w & 63u, u6 = (w >> 6) & 63u;
        const uint32_t y5 = (w >> (12 + 5 * k)) & 31u;
        return YUV{static_cast<int>((y5 << 3) | (y5 >> 2)), static_cast<int>((u6 << 2) | (u6 >> 4)),
                   static_cast<int>((v6 << 2) | (v6 >> 4))};
      });
}

int CopyDIB2Bitmap(const uint8_t* dib, size_t size, TBitmap& bitmap, const uint8_t* bits,
                   size_t bitsSize) {
  DibHeader h;
  if (!ReadHeader(dib, size, h)) return 0;
  // Callers learn only the return value; this record takes the refusals of the pixel
  // limit and of the sizing step, which leave the bitmap as it was.
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  if (!ImageSizeAllowed(h.width, h.height, progress)) return 0;
  if (bits == nullptr) bitsSize = 0;
  const auto signedHeight = static_cast<int32_t>(LE32(dib + 8));
  if (h.compression > 3)
    return DecodeFrame(dib, size, h, signedHeight, bits, bitsSize, bitmap, progress);

  const int bc = h.bitCount;
  const bool decodable =
      bc == 1 || bc == 4 || bc == 8 || bc == 16 || (bc == 24 && h.compression == 0) || bc == 32;
  if (!decodable) {
    if (static_cast<int64_t>(h.width) * h.height > kMaxBlankPixels) return 0;
    return Blank(bitmap, h, progress) ? bc : 0;
  }

  // What follows the header: bit-field masks (inside a larger header, or after
  // a 40-byte one), then the colour table.
  size_t pos = h.headerSize;
  const bool bitFields = h.compression == 3 && (bc == 16 || bc == 32);
  uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
  if (bitFields) {
    const uint8_t* m = nullptr;
    if (h.headerSize >= 52) {
      m = dib + 40;
    } else {
      if (size - pos < 12) return 0;
      m = dib + pos;
      pos += 12;
    }
    for (int i = 0; i < 3; ++i) masks[i] = LE32(m + 4 * i);
  } else if (bc == 32) {
    masks[0] = 0x00FF0000;
    masks[1] = 0x0000FF00;
    masks[2] = 0x000000FF;
  }
  uint64_t entries = h.clrUsed;
  if (bc <= 8 && entries == 0) entries = uint64_t{1} << bc;
  if (entries > (size - pos) / 4) return 0;
  const uint8_t* table = dib + pos;
  pos += static_cast<size_t>(entries) * 4;

  const uint8_t* pixels = bits ? bits : dib + pos;
  const size_t avail = bits ? bitsSize : size - pos;
  const bool rle = (bc == 8 && h.compression == 1) || (bc == 4 && h.compression == 2);
  if (rle) return DecodeRle(dib, pos, pixels, avail, h, bitmap, progress);

  const uint64_t rowSize = static_cast<uint64_t>(BitmapRowLen(h.width, bc));
  // The last row needs only its pixel bytes, not its padding.
  const uint64_t lastRow = (static_cast<uint64_t>(h.width) * static_cast<uint64_t>(bc) + 7) / 8;
  if (!pixels || rowSize * (static_cast<uint64_t>(h.height) - 1) + lastRow > avail) return 0;

  if (!SizeImage(bitmap, h.width, h.height, bc == 1 ? pf1bit : pf24bit, progress)) return 0;
  const int width = h.width, height = h.height;
  const auto srcRow = [&](int y) {
    const int stored = h.topDown ? y : height - 1 - y;
    return pixels + static_cast<size_t>(rowSize) * static_cast<size_t>(stored);
  };

  if (bc == 1) {
    // The library's 1-bit images are black/white with bit 0 dark; a palette
    // that puts the lighter colour first is honoured by inverting the bits.
    bool invert = false;
    if (entries >= 2) {
      const auto grey = [&](int i) {
        const uint8_t* e = table + 4 * i;
        return RGBToGray(TRGB{e[0], e[1], e[2]});
      };
      invert = grey(0) > grey(1);
    }
    const size_t n = static_cast<size_t>(lastRow);
    const int rest = width % 8;
    for (int y = 0; y < height; ++y) {
      uint8_t* dst = bitmap.ScanLine(y);
      std::memcpy(dst, srcRow(y), n);
      if (invert)
        for (size_t i = 0; i < n; ++i) dst[i] = static_cast<uint8_t>(~dst[i]);
      if (rest) dst[n - 1] &= static_cast<uint8_t>(0xFF00 >> rest);
      std::memset(dst + n, 0, static_cast<size_t>(bitmap.RowLen()) - n);
    }
    return bc;
  }

  if (bc == 4 || bc == 8) {
    std::array<TRGB, 256> pal{};
    const size_t usable = std::min<uint64_t>(entries, uint64_t{1} << bc);
    for (size_t i = 0; i < usable; ++i)
      pal[i] = TRGB{table[4 * i], table[4 * i + 1], table[4 * i + 2]};
    for (int y = 0; y < height; ++y) {
      const uint8_t* src = srcRow(y);
      uint8_t* dst = bitmap.ScanLine(y);
      for (int x = 0; x < width; ++x, dst += 3) {
        const int index = bc == 8 ? src[x] : (x & 1) ? (src[x >> 1] & 0x0F) : (src[x >> 1] >> 4);
        std::memcpy(dst, &pal[static_cast<size_t>(index)], 3);
      }
    }
    return bc;
  }

  if (bc == 24) {
    const size_t n = static_cast<size_t>(width) * 3;
    for (int y = 0; y < height; ++y) std::memcpy(bitmap.ScanLine(y), srcRow(y), n);
    return bc;
  }

  const Field r(masks[0]), g(masks[1]), b(masks[2]);
  const bool plain32 =
      bc == 32 && masks[0] == 0x00FF0000 && masks[1] == 0x0000FF00 && masks[2] == 0xFF;
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = srcRow(y);
    uint8_t* dst = bitmap.ScanLine(y);
    if (plain32) {
      for (int x = 0; x < width; ++x, src += 4, dst += 3) {
        dst[0] = src[0];
        dst[1] = src[1];
        dst[2] = src[2];
      }
      continue;
    }
    for (int x = 0; x < width; ++x, dst += 3) {
      const uint32_t p = bc == 16 ? LE16(src + 2 * x) : LE32(src + 4 * x);
      dst[0] = b.Get(p);
      dst[1] = g.Get(p);
      dst[2] = r.Get(p);
    }
  }
  return bc;
}

// ---- encoding and region copies ----

namespace {

// Copies count bits starting at bit srcBit of src (most significant bit first)
// to the start of dst, leaving the bits after count in the last byte zero.
// Reads only the bytes that hold the count bits.
void CopyBitsAligned(uint8_t* dst, const uint8_t* src, int srcBit, int count) {
  if (count <= 0) return;
  const uint8_t* s = src + (srcBit >> 3);
  const int shift = srcBit & 7;
  const int outBytes = (count + 7) / 8;
  const int inBytes = (shift + count + 7) / 8;
  for (int i = 0; i < outBytes; ++i) {
    unsigned v = static_cast<unsigned>(s[i]) << shift;
    if (shift && i + 1 < inBytes) v |= s[i + 1] >> (8 - shift);
    dst[i] = static_cast<uint8_t>(v);
  }
  if (count % 8) dst[outBytes - 1] &= static_cast<uint8_t>(0xFF00 >> (count % 8));
}

bool ClipRect(const TBitmap& b, int& x1, int& y1, int& x2, int& y2) {
  if (b.Empty()) return false;
  if (x2 == 0 || x2 >= b.Width()) x2 = b.Width() - 1;
  if (y2 == 0 || y2 >= b.Height()) y2 = b.Height() - 1;
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  return x1 <= x2 && y1 <= y2;
}

struct Box {
  int x1, y1, x2, y2;
};
Box BoundingBox(const std::vector<TPoint>& p) {
  Box b{p[0].x, p[0].y, p[0].x, p[0].y};
  for (const TPoint& q : p) {
    b.x1 = std::min(b.x1, q.x);
    b.y1 = std::min(b.y1, q.y);
    b.x2 = std::max(b.x2, q.x);
    b.y2 = std::max(b.y2, q.y);
  }
  return b;
}

// Grows dest to at least w x h, keeping its pixels; a fresh dest takes format.
void GrowKeeping(TBitmap& dest, int w, int h, TPixelFormat format) {
  if (dest.Empty()) {
    SizeBitmap(dest, std::max(w, 1), std::max(h, 1), format);
    std::memset(dest.Bits(), 0, dest.BitsSize());
    return;
  }
  if (dest.Width() >= w && dest.Height() >= h) return;
  const TBitmap old(dest);
  dest.SetSize(std::max(w, old.Width()), std::max(h, old.Height()));
  std::memset(dest.Bits(), 0, dest.BitsSize());
  dest.Canvas().Draw(0, 0, old);
}

}  // namespace

std::vector<uint8_t> CopyBitmaptoDIB(const TBitmap& bitmap, int x1, int y1, int x2, int y2) {
  if (!ClipRect(bitmap, x1, y1, x2, y2)) return {};
  if (bitmap.PixelFormat() != pf24bit && bitmap.PixelFormat() != pf1bit) {
    TBitmap copy(bitmap);
    copy.SetPixelFormat(pf24bit);
    return CopyBitmaptoDIB(copy, x1, y1, x2, y2);
  }
  const bool mono = bitmap.PixelFormat() == pf1bit;
  const int w = x2 - x1 + 1, h = y2 - y1 + 1;
  const int bitsPerPixel = mono ? 1 : 24;
  const size_t rowBytes = static_cast<size_t>(BitmapRowLen(w, bitsPerPixel));
  const size_t headerBytes = mono ? 48 : 40;
  // The historical block size carries 4 spare bytes after the rows; they stay
  // zero.
  std::vector<uint8_t> dib(headerBytes + 4 + rowBytes * static_cast<size_t>(h), 0);
  PutLE32(&dib[0], 40);
  PutLE32(&dib[4], static_cast<uint32_t>(w));
  PutLE32(&dib[8], static_cast<uint32_t>(h));
  PutLE16(&dib[12], 1);
  PutLE16(&dib[14], static_cast<uint32_t>(bitsPerPixel));
  if (mono) PutLE32(&dib[44], 0xFFFFFFFFu);
  uint8_t* rows = dib.data() + headerBytes;
  for (int r = 0; r < h; ++r) {
    const uint8_t* src = bitmap.ScanLine(y2 - r);
    uint8_t* dst = rows + rowBytes * static_cast<size_t>(r);
    if (mono)
      CopyBitsAligned(dst, src, x1, w);
    else
      std::memcpy(dst, src + static_cast<size_t>(x1) * 3, static_cast<size_t>(w) * 3);
  }
  return dib;
}

void CopyBitmapRect(const TBitmap& source, TBitmap& dest, int x1, int y1, int x2, int y2) {
  if (&source == &dest) {
    const TBitmap copy(source);
    CopyBitmapRect(copy, dest, x1, y1, x2, y2);
    return;
  }
  dest.SetSize(1, 1);
  dest.SetPixelFormat(source.PixelFormat());
  dest.SetPalette(source.Palette());
  if (!ClipRect(source, x1, y1, x2, y2)) return;
  const int w = x2 - x1 + 1, h = y2 - y1 + 1;
  dest.SetSize(w, h);
  const int bpp = StorageBits(source.PixelFormat());
  for (int r = 0; r < h; ++r) {
    const uint8_t* src = source.ScanLine(y1 + r);
    uint8_t* dst = dest.ScanLine(r);
    if (bpp % 8 == 0) {
      const size_t px = static_cast<size_t>(bpp / 8);
      std::memcpy(dst, src + px * static_cast<size_t>(x1), px * static_cast<size_t>(w));
    } else if (bpp == 1) {
      CopyBitsAligned(dst, src, x1, w);
    } else {
      dest.Canvas().Draw(0, 0, source, Rect(x1, y1, x2 + 1, y2 + 1));
      break;
    }
  }
}

void CopyPolygonBitmap(const TBitmap& source, TBitmap& dest, int x, int y,
                       const std::vector<TPoint>& polygon) {
  if (polygon.size() < 3) return;
  dest.Canvas().DrawClipped(x, y, source, polygon);
}

void CopyPolygonToPoint(const TBitmap& source, const std::vector<TPoint>& polygon, TBitmap& dest,
                        TPoint point) {
  if (polygon.size() < 3 || &source == &dest) return;
  const Box b = BoundingBox(polygon);
  GrowKeeping(dest, point.x + b.x2 - b.x1 + 1, point.y + b.y2 - b.y1 + 1, source.PixelFormat());
  const int dx = point.x - b.x1, dy = point.y - b.y1;
  std::vector<TPoint> shifted(polygon);
  for (TPoint& p : shifted) {
    p.x += dx;
    p.y += dy;
  }
  dest.Canvas().DrawClipped(dx, dy, source, shifted);
}

void CopyPointToPolygon(const TBitmap& source, const std::vector<TPoint>& polygon, TBitmap& dest,
                        TPoint point) {
  if (polygon.size() < 3 || &source == &dest) return;
  const Box b = BoundingBox(polygon);
  GrowKeeping(dest, b.x2 + 1, b.y2, source.PixelFormat());
  dest.Canvas().DrawClipped(b.x1 - point.x, b.y1 - point.y, source, polygon);
}

void CopyBitmapPoly(const TBitmap& source, TBitmap& dest, int x1, int y1, int x2, int y2,
                    const std::vector<TPoint>& polygon) {
  if (&source == &dest) {
    const TBitmap copy(source);
    CopyBitmapPoly(copy, dest, x1, y1, x2, y2, polygon);
    return;
  }
  OrdCor(x1, y1, x2, y2);
  SizeBitmap(dest, std::max(x2 - x1, 1), std::max(y2 - y1, 1), source.PixelFormat());
  std::memset(dest.Bits(), 0, dest.BitsSize());
  if (polygon.size() < 3) return;
  std::vector<TPoint> shifted(polygon);
  for (TPoint& p : shifted) {
    p.x -= x1;
    p.y -= y1;
  }
  dest.Canvas().DrawClipped(-x1, -y1, source, shifted);
}

void CopyBGR_RGB(uint8_t* dest, const uint8_t* source, int count) {
  for (int i = 0; i < count; ++i, dest += 3, source += 3) {
    const uint8_t b = source[0];
    dest[0] = source[2];
    dest[1] = source[1];
    dest[2] = b;
  }
}

}  // namespace vx
