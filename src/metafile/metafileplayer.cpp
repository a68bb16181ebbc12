#include "metafile/metafileplayer.h"

#include <cairo.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "metafile/formats.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/screen.h"

namespace vx {

namespace metafile {

std::u16string WidenAnsi(const uint8_t* text, size_t length) {
  // Windows-1252 differs from Latin-1 only in 0x80..0x9F.
  static constexpr char16_t kHigh[32] = {
      0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
  std::u16string out;
  out.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    const uint8_t c = text[i];
    out += c >= 0x80 && c < 0xA0 ? kHigh[c - 0x80] : static_cast<char16_t>(c);
  }
  return out;
}

bool DibBottomUp(const uint8_t* bmi, size_t size) {
  if (!bmi || size < 12) return true;
  const int32_t height = static_cast<int32_t>(bmi[8] | bmi[9] << 8 | bmi[10] << 16 |
                                              static_cast<uint32_t>(bmi[11]) << 24);
  return height > 0;
}

}  // namespace metafile

namespace {

using namespace metafile;

class TMetafilePlayer final : public IMetafilePlayer {
 public:
  bool Load(const std::string& fileName, int& width, int& height, bool& enhanced) override {
    bytes_.clear();
    std::ifstream in(fileName, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff length = in.tellg();
    // Beyond this no real drawing goes; refusing it keeps a stray file from filling memory.
    constexpr std::streamoff kMaxBytes = std::streamoff{1} << 30;
    if (length <= 0 || length > kMaxBytes) return false;
    in.seekg(0);
    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), length)) return false;
    TMetafileInfo info;
    if (!ProbeMetafile(bytes, info)) return false;
    bytes_.swap(bytes);
    width = info.width;
    height = info.height;
    enhanced = info.enhanced;
    return true;
  }

  void Play(TCanvas& canvas, int width, int height) override {
    if (!bytes_.empty()) RenderMetafile(bytes_, canvas.Bitmap(), width, height);
  }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace

bool ProbeMetafile(const std::vector<uint8_t>& bytes, TMetafileInfo& info) {
  info = TMetafileInfo{};
  TEmfLayout emf;
  if (ReadEmfLayout(bytes.data(), bytes.size(), emf)) {
    info.enhanced = true;
    EmfNaturalSize(emf, gSystemDPIX, gSystemDPIY, info.width, info.height);
  } else {
    TWmfLayout wmf;
    if (!ReadWmfLayout(bytes.data(), bytes.size(), wmf)) return false;
    WmfNaturalSize(wmf, gSystemDPIX, gSystemDPIY, info.width, info.height);
  }
  return info.width > 0 && info.height > 0;
}

bool RenderMetafile(const std::vector<uint8_t>& bytes, TBitmap& target, int width, int height) {
  if (target.PixelFormat() != pf24bit || width <= 0 || height <= 0) return false;
  const int w = std::min(width, target.Width()), h = std::min(height, target.Height());
  if (w <= 0 || h <= 0) return false;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return false;
  }
  uint8_t* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < h; ++y) {
    const uint8_t* src = target.ScanLine(y);
    auto* dst = reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
    for (int x = 0; x < w; ++x)
      dst[x] = uint32_t{src[3 * x + 2]} << 16 | uint32_t{src[3 * x + 1]} << 8 | src[3 * x];
  }
  cairo_surface_mark_dirty(surface);
  bool played = true;
  {
    TGdiDevice device(surface, w, h);
    TEmfLayout emf;
    TWmfLayout wmf;
    if (ReadEmfLayout(bytes.data(), bytes.size(), emf))
      PlayEmf(bytes.data(), bytes.size(), emf, device, width, height);
    else if (ReadWmfLayout(bytes.data(), bytes.size(), wmf))
      PlayWmf(bytes.data(), bytes.size(), wmf, device, width, height);
    else
      played = false;
  }
  cairo_surface_flush(surface);
  for (int y = 0; y < h; ++y) {
    uint8_t* dst = target.ScanLine(y);
    const auto* src = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
    for (int x = 0; x < w; ++x) {
      dst[3 * x] = static_cast<uint8_t>(src[x]);
      dst[3 * x + 1] = static_cast<uint8_t>(src[x] >> 8);
      dst[3 * x + 2] = static_cast<uint8_t>(src[x] >> 16);
    }
  }
  cairo_surface_destroy(surface);
  return played;
}

std::unique_ptr<IMetafilePlayer> MakeMetafilePlayer() {
  return std::make_unique<TMetafilePlayer>();
}

}  // namespace vx
