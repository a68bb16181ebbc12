// PCX codec: 1-bit, 16-colour (packed or four 1-bit planes), 256-colour and true-colour
// files, run-length coded or raw.
//
// The reader holds the whole image data in memory and decodes it as one run-length
// stream, so a run may cross from one plane line into the next, and every run and
// literal is checked against the end of the data.
#include "codecs/pcxfilter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/exceptions.h"
#include "platform/screen.h"
#include "proc/convert1bit.h"
#include "quant/neurquant.h"

namespace vx {

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kHeaderSize = 128;
constexpr int kPaletteSize = 768;
// The most scan-line bytes run-length data can stand for: a 2-byte run (count byte
// 0xC0 + n, value) gives at most 63 bytes, a literal byte gives one. N bytes of data
// thus decode to at most floor(63 * N / 2) bytes (an odd last byte is a literal).
constexpr int64_t kMaxRunBytes = 63;

inline int LE16(const uint8_t* p) {
  return p[0] | (p[1] << 8);
}
inline void PutLE16(uint8_t* p, int v) {
  const int c = ilimit(v, 0, 0xFFFF);
  p[0] = static_cast<uint8_t>(c & 0xFF);
  p[1] = static_cast<uint8_t>(c >> 8);
}

// Run-length (or raw) decoding of the image bytes, carried across plane lines.
class TPcxDecoder {
 public:
  TPcxDecoder(const uint8_t* data, size_t size, bool rle) : data_(data), size_(size), rle_(rle) {}

  // Fills dest with count decoded bytes; false when the data ends first.
  bool Get(uint8_t* dest, size_t count) {
    if (!rle_) {
      if (count > size_ - pos_) return false;
      std::memcpy(dest, data_ + pos_, count);
      pos_ += count;
      return true;
    }
    size_t done = 0;
    while (done < count) {
      if (run_ > 0) {
        const size_t n = std::min(run_, count - done);
        std::memset(dest + done, runValue_, n);
        done += n;
        run_ -= n;
        continue;
      }
      if (pos_ >= size_) return false;
      const uint8_t b = data_[pos_++];
      if (b >= 0xC0) {
        if (pos_ >= size_) return false;
        run_ = b & 0x3F;
        runValue_ = data_[pos_++];
      } else {
        dest[done++] = b;
      }
    }
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool rle_;
  size_t run_ = 0;
  uint8_t runValue_ = 0;
};

std::vector<TRGB> PaletteFromRGB(const uint8_t* p, int entries) {
  std::vector<TRGB> pal(static_cast<size_t>(entries));
  for (int i = 0; i < entries; ++i) pal[i] = CreateRGB(p[3 * i], p[3 * i + 1], p[3 * i + 2]);
  return pal;
}

// Layouts the reader composes.
enum class TLayout { unsupported, mono, packed4, planar4, indexed8, rgb24 };

TLayout LayoutOf(int planes, int bits) {
  if (planes == 1 && bits == 1) return TLayout::mono;
  if (planes == 1 && bits == 4) return TLayout::packed4;
  if (planes == 1 && bits == 8) return TLayout::indexed8;
  if (planes == 3 && bits == 8) return TLayout::rgb24;
  if (planes == 4 && bits == 1) return TLayout::planar4;
  return TLayout::unsupported;
}

// Encodes one plane line: runs of up to 63 equal bytes, and single bytes of 0xC0 and
// above, as count and value; other single bytes as they are. The pad byte that makes an
// odd line even is encoded on its own.
void EncodeLine(const uint8_t* src, int count, int stride, Bytes& out) {
  int i = 0;
  while (i < count) {
    const uint8_t v = src[static_cast<size_t>(i) * stride];
    int run = 1;
    while (run < 63 && i + run < count && src[static_cast<size_t>(i + run) * stride] == v) ++run;
    if (run > 1 || v >= 0xC0) {
      out.push_back(static_cast<uint8_t>(0xC0 | run));
      out.push_back(v);
    } else {
      out.push_back(v);
    }
    i += run;
  }
  if (count & 1) out.push_back(0);
}

// A raw plane line: the bytes, then zeros up to the line length.
void RawLine(const uint8_t* src, int count, int stride, int lineLen, Bytes& out) {
  for (int i = 0; i < count; ++i) out.push_back(src[static_cast<size_t>(i) * stride]);
  for (int i = count; i < lineLen; ++i) out.push_back(0);
}

}  // namespace

void ReadPcxStream(TStream& stream, TBitmap& bitmap, TIOParamsVals& params, bool preview,
                   TProgressRec& progress, int64_t dataLength) {
  const int64_t start = stream.Position();
  uint8_t h[kHeaderSize];
  if (dataLength < kHeaderSize || stream.Read(h, kHeaderSize) != kHeaderSize || h[0] != 10 ||
      h[2] > 1 || h[3] > 8) {
    progress.Fail("PCX: not a PCX header");
    return;
  }
  const int width = LE16(h + 8) - LE16(h + 4) + 1;
  const int height = LE16(h + 10) - LE16(h + 6) + 1;
  const int bits = h[3];
  const int planes = h[65];
  const int lineLen = LE16(h + 66);
  const bool rle = h[2] == 1;
  const TLayout layout = LayoutOf(planes, bits);
  if (width <= 0 || height <= 0) {
    progress.Fail("PCX: window gives an empty image");
    return;
  }
  params.DpiX = LE16(h + 12);
  params.DpiY = LE16(h + 14);
  if (params.DpiX == 0 || params.DpiY == 0) {
    params.DpiX = gSystemDPIX;
    params.DpiY = gSystemDPIY;
  }

  // The stream may hold less than the caller said.
  const int64_t available = std::min(dataLength, stream.Size() - start);
  std::vector<TRGB> palette256;
  int64_t imageBytes = available - kHeaderSize;
  if (planes == 1 && bits > 4) {
    if (available < kHeaderSize + kPaletteSize) {
      progress.Fail("PCX: file too short for its 256-colour palette");
      return;
    }
    uint8_t pal[kPaletteSize];
    stream.SetPosition(start + available - kPaletteSize);
    if (stream.Read(pal, kPaletteSize) != kPaletteSize) {
      progress.Fail("PCX: cannot read the 256-colour palette");
      return;
    }
    palette256 = PaletteFromRGB(pal, 256);
    // The palette (and its marker, when there) is not image data.
    imageBytes -= kPaletteSize;
    stream.SetPosition(start + kHeaderSize);
  }
  const std::vector<TRGB> header16 = PaletteFromRGB(h + 16, 16);

  params.BitsPerSample = bits;
  params.SamplesPerPixel = planes;
  params.Width = width;
  params.Height = height;
  params.PCX_Version = h[1];
  if (bits == 8 && planes == 1) {
    params.SetColorMap(palette256);
  } else if (bits == 1 && planes == 4) {
    params.SetColorMap(header16);
    params.BitsPerSample = 4;
    params.SamplesPerPixel = 1;
  } else if (bits < 8) {
    params.SetColorMap(
        std::vector<TRGB>(header16.begin(), header16.begin() + (1 << imin(bits, 4))));
  } else {
    params.FreeColorMap();
  }
  if (preview) {
    stream.SetPosition(start + available);
    return;
  }

  const int needed = (width * bits + 7) / 8;  // bytes of one plane line that hold pixels
  // A layout this reader cannot compose, or plane lines too short for the width, is
  // reported as a failure (the bitmap is left alone rather than sized to a blank).
  if (layout == TLayout::unsupported) {
    progress.Fail("PCX: unsupported layout of " + std::to_string(planes) + " planes of " +
                  std::to_string(bits) + " bits");
    return;
  }
  if (lineLen < needed) {
    progress.Fail("PCX: plane lines of " + std::to_string(lineLen) +
                  " bytes are too short for the width");
    return;
  }
  if (!ImageSizeAllowed(width, height, progress)) return;
  // The data must be able to hold every plane line of the image.
  const int64_t rowBytes = static_cast<int64_t>(lineLen) * planes;
  const int64_t total = rowBytes * height;
  const int64_t most = imageBytes <= 0 ? 0 : rle ? kMaxRunBytes * imageBytes / 2 : imageBytes;
  if (total > most) {
    progress.Fail("PCX: data too short for a " + std::to_string(width) + " x " +
                  std::to_string(height) + " image");
    return;
  }
  Bytes data(static_cast<size_t>(imageBytes));
  stream.SetPosition(start + kHeaderSize);
  if (stream.Read(data.data(), imageBytes) != imageBytes) {
    progress.Fail("PCX: cannot read the image data");
    return;
  }
  stream.SetPosition(start + available);

  if (!SizeImage(bitmap, width, height, layout == TLayout::mono ? pf1bit : pf24bit, progress))
    return;
  progress.PercentPerStep = 100.0 / height;
  TPcxDecoder dec(data.data(), data.size(), rle);
  Bytes line(static_cast<size_t>(rowBytes));
  TRGB lookup[256] = {};
  if (layout == TLayout::indexed8)
    std::copy(palette256.begin(), palette256.end(), lookup);
  else
    std::copy(header16.begin(), header16.end(), lookup);

  for (int y = 0; y < height; ++y) {
    progress.Report(TruncI(y * progress.PercentPerStep));
    if (progress.Aborted()) return;
    if (!dec.Get(line.data(), line.size())) {
      progress.Fail("PCX: image data ends before the last row");
      return;
    }
    uint8_t* row = bitmap.ScanLine(y);
    auto* px = reinterpret_cast<TRGB*>(row);
    const uint8_t* p0 = line.data();
    switch (layout) {
      case TLayout::mono:
        std::memcpy(row, p0, static_cast<size_t>(needed));
        break;
      case TLayout::packed4:
        for (int x = 0; x < width; ++x) px[x] = lookup[(p0[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F];
        break;
      case TLayout::indexed8:
        for (int x = 0; x < width; ++x) px[x] = lookup[p0[x]];
        break;
      case TLayout::rgb24: {
        const uint8_t* r = p0;
        const uint8_t* g = p0 + lineLen;
        const uint8_t* b = p0 + 2 * lineLen;
        for (int x = 0; x < width; ++x) px[x] = CreateRGB(r[x], g[x], b[x]);
        break;
      }
      case TLayout::planar4:
        for (int x = 0; x < width; ++x) {
          const int shift = 7 - (x & 7);
          int v = 0;
          for (int p = 0; p < 4; ++p) v |= ((p0[p * lineLen + (x >> 3)] >> shift) & 1) << p;
          px[x] = lookup[v];
        }
        break;
      case TLayout::unsupported:
        break;
    }
  }
  progress.Report(100);
}

void WritePcxStream(TStream& stream, TBitmap& bitmap, TIOParamsVals& params,
                    TProgressRec& progress) {
  int bits, planes;
  const int total = params.BitsPerSample * params.SamplesPerPixel;
  if (params.BitsPerSample == 1) {
    bits = 1;
    planes = 1;
  } else if (total == 4) {
    bits = 4;
    planes = 1;
  } else if (total == 8) {
    bits = 8;
    planes = 1;
  } else if (total == 24) {
    bits = 8;
    planes = 3;
  } else {
    // A layout PCX cannot hold: nothing is written.
    progress.Fail("PCX: no PCX layout for " + std::to_string(total) + " bits a pixel");
    return;
  }
  const int width = bitmap.Width(), height = bitmap.Height();
  if (width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF) {
    progress.Fail("PCX: image size does not fit the PCX header");
    return;
  }

  uint8_t h[kHeaderSize] = {};
  TBitmap work;  // a converted copy, when the bitmap itself is not usable as it is
  const TBitmap* image = &bitmap;
  std::unique_ptr<TBitmap> two;
  std::unique_ptr<TVXQuantizer> quant;
  std::vector<TRGB> palette;
  if (bits == 1) {
    TRGB c0 = CreateRGB(0, 0, 0), c1 = CreateRGB(255, 255, 255);
    if (bitmap.PixelFormat() != pf1bit) {
      const TBitmap* src = &bitmap;
      if (bitmap.PixelFormat() != pf24bit) {
        work.Assign(bitmap);
        work.SetPixelFormat(pf24bit);
        src = &work;
      }
      TRGB f0, f1;
      two = ConvertTo1bit(*src, f0, f1);
      if (two) {
        c0 = f0;
        c1 = f1;
        image = two.get();
      } else {
        if (src != &work) work.Assign(bitmap);
        TProgressRec quiet;
        ConvertToBWOrdered(work, quiet);
        image = &work;
      }
    }
    const TRGB pal2[2] = {c0, c1};
    for (int i = 0; i < 2; ++i) {
      h[16 + 3 * i] = pal2[i].r;
      h[17 + 3 * i] = pal2[i].g;
      h[18 + 3 * i] = pal2[i].b;
    }
  } else {
    if (bitmap.PixelFormat() == pf1bit) {
      Conv1to24(bitmap, work, TProgressRec{});
      image = &work;
    } else if (bitmap.PixelFormat() != pf24bit) {
      work.Assign(bitmap);
      work.SetPixelFormat(pf24bit);
      image = &work;
    }
    if (planes == 1) {
      const int colors = bits == 4 ? 16 : 256;
      palette.assign(static_cast<size_t>(colors), TRGB{});
      quant = std::make_unique<TVXQuantizer>(*image, palette.data(), 0, colors, -1, 0);
      if (bits == 4)
        for (int i = 0; i < 16; ++i) {
          h[16 + 3 * i] = palette[i].r;
          h[17 + 3 * i] = palette[i].g;
          h[18 + 3 * i] = palette[i].b;
        }
    }
  }

  int dataLen = bits == 1 ? (width + 7) / 8 : bits == 4 ? (width + 1) / 2 : width;
  const int lineLen = dataLen + (dataLen & 1);
  const bool rle = params.PCX_Compression == ioPCX_RLE;
  h[0] = 10;
  h[1] = static_cast<uint8_t>(params.PCX_Version & 0xFF);
  h[2] = rle ? 1 : 0;
  h[3] = static_cast<uint8_t>(bits);
  PutLE16(h + 8, width - 1);
  PutLE16(h + 10, height - 1);
  PutLE16(h + 12, params.DpiX);
  PutLE16(h + 14, params.DpiY);
  h[65] = static_cast<uint8_t>(planes);
  PutLE16(h + 66, lineLen);
  PutLE16(h + 68, planes == 3 ? 0 : 1);
  stream.WriteBuffer(h, kHeaderSize);

  progress.PercentPerStep = 100.0 / height;
  Bytes out;
  Bytes indices(static_cast<size_t>(dataLen));
  for (int y = 0; y < height; ++y) {
    progress.Report(TruncI(y * progress.PercentPerStep));
    if (progress.Aborted()) return;
    out.clear();
    const uint8_t* row = image->ScanLine(y);
    auto line = [&](const uint8_t* src, int stride) {
      if (rle)
        EncodeLine(src, dataLen, stride, out);
      else
        RawLine(src, dataLen, stride, lineLen, out);
    };
    if (bits == 1) {
      line(row, 1);
    } else if (planes == 3) {
      line(row + 2, 3);  // red
      line(row + 1, 3);  // green
      line(row, 3);      // blue
    } else {
      const auto* px = reinterpret_cast<const TRGB*>(row);
      if (bits == 8) {
        for (int x = 0; x < width; ++x)
          indices[x] = static_cast<uint8_t>(quant->GetRGBIndex(px[x]));
      } else {
        std::fill(indices.begin(), indices.end(), 0);
        for (int x = 0; x < width; ++x)
          indices[x >> 1] |=
              static_cast<uint8_t>((quant->GetRGBIndex(px[x]) & 0x0F) << ((x & 1) ? 0 : 4));
      }
      line(indices.data(), 1);
    }
    stream.WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
  }
  if (bits == 8 && planes == 1) {
    uint8_t pal[1 + kPaletteSize];
    pal[0] = 0x0C;
    for (int i = 0; i < 256; ++i) {
      pal[1 + 3 * i] = palette[i].r;
      pal[2 + 3 * i] = palette[i].g;
      pal[3 + 3 * i] = palette[i].b;
    }
    stream.WriteBuffer(pal, sizeof pal);
  }
  progress.Report(100);
}

void ReadPcx(const std::string& fileName, TBitmap& bitmap, TIOParamsVals& params, bool preview,
             TProgressRec& progress) {
  TFileStream file(fileName, fmOpenRead);
  ReadPcxStream(file, bitmap, params, preview, progress, file.Size());
}

void WritePcx(const std::string& fileName, TBitmap& bitmap, TIOParamsVals& params,
              TProgressRec& progress) {
  TMemoryStream encoded;
  WritePcxStream(encoded, bitmap, params, progress);
  if (!progress.Aborted()) WriteWholeFile(fileName, encoded.Data());
}

}  // namespace vx
