#include "platform/bitmap.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "platform/canvas.h"
#include "platform/exceptions.h"

namespace vx {

int StorageBits(TPixelFormat pf) {
  switch (pf) {
    case pf1bit:
      return 1;
    case pf4bit:
      return 4;
    case pf8bit:
      return 8;
    case pf15bit:
    case pf16bit:
      return 16;
    case pf32bit:
      return 32;
    case pfDevice:
    case pf24bit:
    case pfCustom:
      return 24;
  }
  return 24;
}

namespace {

// The row length is an int everywhere the rows are addressed; a size whose rows do not
// fit one is refused before anything changes, rather than wrapping round.
int RowBytes(int width, int bits) {
  const int64_t len = ((int64_t{width} * bits + 31) / 32) * 4;
  if (len > std::numeric_limits<int>::max())
    throw EOutOfResources("bitmap row of " + std::to_string(width) + " pixels at " +
                          std::to_string(bits) + " bits is too long");
  return static_cast<int>(len);
}

int NearestIndex(const std::vector<TRGB>& pal, TRGB c) {
  int best = 0;
  long bestD = -1;
  for (size_t i = 0; i < pal.size(); ++i) {
    const long db = pal[i].b - c.b, dg = pal[i].g - c.g, dr = pal[i].r - c.r;
    const long d = db * db + dg * dg + dr * dr;
    if (bestD < 0 || d < bestD) {
      bestD = d;
      best = static_cast<int>(i);
    }
  }
  return best;
}

// Expands one stored row to 24-bit pixels.
void DecodeRow(TPixelFormat pf, const uint8_t* src, int width, const std::vector<TRGB>& pal,
               TRGB* out) {
  auto palAt = [&](unsigned i) { return i < pal.size() ? pal[i] : TRGB{}; };
  switch (pf) {
    case pf1bit:
      for (int x = 0; x < width; ++x) out[x] = palAt((src[x >> 3] >> (7 - (x & 7))) & 1);
      break;
    case pf4bit:
      for (int x = 0; x < width; ++x) out[x] = palAt((src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15);
      break;
    case pf8bit:
      for (int x = 0; x < width; ++x) out[x] = palAt(src[x]);
      break;
    case pf15bit:
    case pf16bit:
      for (int x = 0; x < width; ++x) {
        const unsigned v = src[2 * x] | (src[2 * x + 1] << 8);
        TRGB& o = out[x];
        if (pf == pf15bit) {
          o.r = static_cast<uint8_t>(((v >> 10) & 31) * 255 / 31);
          o.g = static_cast<uint8_t>(((v >> 5) & 31) * 255 / 31);
        } else {
          o.r = static_cast<uint8_t>(((v >> 11) & 31) * 255 / 31);
          o.g = static_cast<uint8_t>(((v >> 5) & 63) * 255 / 63);
        }
        o.b = static_cast<uint8_t>((v & 31) * 255 / 31);
      }
      break;
    case pf32bit:
      for (int x = 0; x < width; ++x) out[x] = {src[4 * x], src[4 * x + 1], src[4 * x + 2]};
      break;
    default:
      std::memcpy(out, src, static_cast<size_t>(width) * 3);
      break;
  }
}

// Packs 24-bit pixels into one stored row.
void EncodeRow(TPixelFormat pf, const TRGB* in, int width, const std::vector<TRGB>& pal,
               uint8_t* dst, int rowLen) {
  std::memset(dst, 0, static_cast<size_t>(rowLen));
  switch (pf) {
    case pf1bit:
      for (int x = 0; x < width; ++x)
        if (NearestIndex(pal, in[x])) dst[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
      break;
    case pf4bit:
      for (int x = 0; x < width; ++x)
        dst[x >> 1] |= static_cast<uint8_t>(NearestIndex(pal, in[x]) << ((x & 1) ? 0 : 4));
      break;
    case pf8bit:
      for (int x = 0; x < width; ++x) dst[x] = static_cast<uint8_t>(NearestIndex(pal, in[x]));
      break;
    case pf15bit:
    case pf16bit:
      for (int x = 0; x < width; ++x) {
        const TRGB c = in[x];
        const unsigned v = pf == pf15bit ? ((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3)
                                         : ((c.r >> 3) << 11) | ((c.g >> 2) << 5) | (c.b >> 3);
        dst[2 * x] = static_cast<uint8_t>(v);
        dst[2 * x + 1] = static_cast<uint8_t>(v >> 8);
      }
      break;
    case pf32bit:
      for (int x = 0; x < width; ++x) {
        dst[4 * x] = in[x].b;
        dst[4 * x + 1] = in[x].g;
        dst[4 * x + 2] = in[x].r;
      }
      break;
    default:
      std::memcpy(dst, in, static_cast<size_t>(width) * 3);
      break;
  }
}

}  // namespace

TBitmap::TBitmap() : palette_(DefaultPalette(pf24bit)) {}
TBitmap::~TBitmap() = default;

TBitmap::TBitmap(const TBitmap& other) : TObject() {
  Assign(other);
}

TBitmap& TBitmap::operator=(const TBitmap& other) {
  if (this != &other) Assign(other);
  return *this;
}

std::vector<TRGB> TBitmap::DefaultPalette(TPixelFormat pf) {
  std::vector<TRGB> pal;
  switch (pf) {
    case pf1bit:
      pal = {TRGB{0, 0, 0}, TRGB{255, 255, 255}};
      break;
    case pf4bit: {
      // The sixteen colours of the classic display palette.
      static const uint32_t vga[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                       0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                       0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
      for (uint32_t v : vga)
        pal.push_back(
            {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16)});
      break;
    }
    case pf8bit:
      for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<uint8_t>(i);
        pal.push_back({v, v, v});
      }
      break;
    default:
      break;
  }
  return pal;
}

void TBitmap::SetWidth(int w) {
  SetSize(w, height_);
}
void TBitmap::SetHeight(int h) {
  SetSize(width_, h);
}

// Both setters allocate the new block first and commit afterwards, so a refused
// allocation (a throw) leaves the bitmap as it was.
void TBitmap::SetSize(int w, int h) {
  w = std::max(w, 0);
  h = std::max(h, 0);
  if (w == width_ && h == height_) return;
  const int rowLen = RowBytes(w, StorageBits(format_));
  std::vector<uint8_t> pixels(static_cast<size_t>(rowLen) * static_cast<size_t>(h), 0);
  width_ = w;
  height_ = h;
  rowLen_ = rowLen;
  pixels_.swap(pixels);
}

void TBitmap::SetPixelFormat(TPixelFormat pf) {
  if (pf == format_) return;
  const int rowLen = RowBytes(width_, StorageBits(pf));
  std::vector<TRGB> palette = DefaultPalette(pf);
  std::vector<uint8_t> pixels;
  if (!Empty() && StorageBits(format_) == 24 && StorageBits(pf) == 24) {
    pixels = pixels_;
  } else {
    pixels.assign(static_cast<size_t>(rowLen) * static_cast<size_t>(height_), 0);
    if (!Empty()) {
      std::vector<TRGB> row(static_cast<size_t>(width_));
      for (int y = 0; y < height_; ++y) {
        DecodeRow(format_, ScanLine(y), width_, palette_, row.data());
        EncodeRow(pf, row.data(), width_, palette,
                  pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(rowLen), rowLen);
      }
    }
  }
  format_ = pf;
  rowLen_ = rowLen;
  palette_.swap(palette);
  pixels_.swap(pixels);
}

uint8_t* TBitmap::ScanLine(int row) {
  return pixels_.data() + static_cast<size_t>(row) * static_cast<size_t>(rowLen_);
}
const uint8_t* TBitmap::ScanLine(int row) const {
  return pixels_.data() + static_cast<size_t>(row) * static_cast<size_t>(rowLen_);
}

TCanvas& TBitmap::Canvas() {
  if (!canvas_) canvas_ = std::make_unique<TCanvas>(*this);
  return *canvas_;
}

void TBitmap::Assign(const TBitmap& source) {
  if (&source == this) return;
  std::vector<uint8_t> pixels = source.pixels_;
  std::vector<TRGB> palette = source.palette_;
  width_ = source.width_;
  height_ = source.height_;
  rowLen_ = source.rowLen_;
  format_ = source.format_;
  pixels_.swap(pixels);
  palette_.swap(palette);
}

void TBitmap::Swap(TBitmap& other) noexcept {
  std::swap(width_, other.width_);
  std::swap(height_, other.height_);
  std::swap(rowLen_, other.rowLen_);
  std::swap(format_, other.format_);
  pixels_.swap(other.pixels_);
  palette_.swap(other.palette_);
}

void TBitmap::SetModified(bool m) {
  modified_ = m;
  if (m) OnChange(this);
}

}  // namespace vx
