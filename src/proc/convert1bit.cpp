#include "proc/convert1bit.h"

#include <cstdint>

#include "core/arith.h"
#include "core/vxutils.h"

namespace vx {

namespace {

// Indexed [x mod 8][y mod 8].
constexpr uint8_t kDither[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
};

inline int GreyWeight(const TRGB& c) {
  return c.r * 21 + c.g * 71 + c.b * 7;
}

}  // namespace

std::unique_ptr<TBitmap> ConvertTo1bit(const TBitmap& bitmap, TRGB& color0, TRGB& color1) {
  if (bitmap.PixelFormat() != pf24bit || bitmap.Empty()) return nullptr;
  const int w = bitmap.Width(), h = bitmap.Height();
  auto out = std::make_unique<TBitmap>();
  SizeBitmap(*out, w, h, pf1bit);
  int distinct = 0;
  TRGB c0{}, c1{};
  for (int y = 0; y < h; ++y) {
    const auto* src = reinterpret_cast<const TRGB*>(bitmap.ScanLine(y));
    uint8_t* dst = out->ScanLine(y);
    for (int x = 0; x < w; ++x) {
      const TRGB& p = src[x];
      if (distinct == 0) {
        c0 = p;
        distinct = 1;
      }
      if (p == c0) {
        SetPixelbw(dst, x, false);
        continue;
      }
      if (distinct == 1) {
        c1 = p;
        distinct = 2;
      } else if (!(p == c1)) {
        return nullptr;  // a third colour
      }
      SetPixelbw(dst, x, true);
    }
  }
  if (distinct != 2) return nullptr;
  if (Round(GreyWeight(c1) / 100.0L) < Round(GreyWeight(c0) / 100.0L)) {
    Negative1Bit(*out);
    std::swap(c0, c1);
  }
  out->SetPalette({c0, c1});
  color0 = c0;
  color1 = c1;
  return out;
}

void ConvertToBWOrdered(TBitmap& bitmap, TProgressRec& progress) {
  if (bitmap.PixelFormat() == pf1bit) return;
  const TBitmap* source = &bitmap;
  TBitmap converted;
  if (bitmap.PixelFormat() != pf24bit) {
    converted.Assign(bitmap);
    converted.SetPixelFormat(pf24bit);
    source = &converted;
  }
  const int w = source->Width(), h = source->Height();
  TBitmap out;
  SizeBitmap(out, w, h, pf1bit);
  for (int y = 0; y < h; ++y) {
    const auto* src = reinterpret_cast<const TRGB*>(source->ScanLine(y));
    uint8_t* dst = out.ScanLine(y);
    const int ym = y & 7;
    for (int x = 0; x < w; ++x) SetPixelbw(dst, x, kDither[x & 7][ym] < GreyWeight(src[x]) / 400);
    progress.Report(TruncI(100 / (h + 0.5L) * (y + 1)));
  }
  out.SetPalette({TRGB{0, 0, 0}, TRGB{255, 255, 255}});
  bitmap.Assign(out);
}

}  // namespace vx
