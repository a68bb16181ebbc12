#include "proc/geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

#include "core/arith.h"
#include "platform/canvas.h"

namespace vx {

namespace {

constexpr int kTile = 32;

// Quarter turn in tiles so that neither side is walked column by column across
// the whole image. map(x, y) gives the source pixel of destination pixel (x,
// y).
template <class Map>
void QuarterTurn(const TBitmap& source, TBitmap& dest, Map map) {
  if (source.PixelFormat() != pf24bit) return;
  const int w = source.Width(), h = source.Height();
  SizeBitmap(dest, h, w, pf24bit);
  for (int ty = 0; ty < w; ty += kTile)
    for (int tx = 0; tx < h; tx += kTile)
      for (int y = ty; y < imin(ty + kTile, w); ++y) {
        auto* out = reinterpret_cast<TRGB*>(dest.ScanLine(y));
        for (int x = tx; x < imin(tx + kTile, h); ++x) {
          const TPoint s = map(x, y, w, h);
          out[x] = reinterpret_cast<const TRGB*>(source.ScanLine(s.y))[s.x];
        }
      }
}

// 12-bit blend of a pixel with its predecessor in the line: the pixel lies
// f / 4096 of a pixel further along, so the predecessor covers that much of it.
inline TRGB Blend(const TRGB& prev, const TRGB& cur, int f) {
  const int g = 4096 - f;
  return TRGB{static_cast<uint8_t>((prev.b * f + cur.b * g + 2048) >> 12),
              static_cast<uint8_t>((prev.g * f + cur.g * g + 2048) >> 12),
              static_cast<uint8_t>((prev.r * f + cur.r * g + 2048) >> 12)};
}

// Where a line shifted by v (minus a fixed correction) starts and, for
// blending, the fraction left over. Without blending the line goes to the
// nearest whole position; with it, to the whole position below and the fraction
// (0..4095) blends.
struct TShift {
  int offset;
  int f;
};
TShift LineShift(double v, int correction, bool antialias) {
  if (!antialias) return {static_cast<int>(Round(v)) - correction, 0};
  int o = static_cast<int>(std::floor(v));
  int f = static_cast<int>(Round((v - o) * 4096));
  if (f >= 4096) {
    ++o;
    f = 0;
  }
  return {o - correction, f};
}

// One horizontal shear of a line of n pixels into a line of len pixels that
// already holds the background.
void ShearRow(const TRGB* src, int n, TRGB* dst, int len, TShift s, bool antialias,
              const TRGB& bg) {
  const int from = imax(0, -s.offset), to = imin(n, len - s.offset);
  if (!antialias) {
    if (from < to)
      std::memcpy(dst + s.offset + from, src + from, static_cast<size_t>(to - from) * 3);
    return;
  }
  TRGB prev = from > 0 ? src[from - 1] : bg;
  for (int k = from; k < to; ++k) {
    dst[s.offset + k] = Blend(prev, src[k], s.f);
    prev = src[k];
  }
  const int tail = s.offset + n;
  if (s.f > 0 && tail >= 0 && tail < len) dst[tail] = Blend(n > 0 ? src[n - 1] : bg, bg, s.f);
}

}  // namespace

void Rot90(const TBitmap& source, TBitmap& dest) {
  QuarterTurn(source, dest, [](int x, int y, int w, int) { return TPoint{w - 1 - y, x}; });
}

void Rot90o(const TBitmap& source, TBitmap& dest) {
  QuarterTurn(source, dest, [](int x, int y, int, int h) { return TPoint{y, h - 1 - x}; });
}

TShearSize ShearRotateSize(int width, int height, int angle) {
  const double theta = angle * std::numbers::pi / 180;
  const double t = std::fabs(std::tan(theta / 2)), s = std::fabs(std::sin(theta));
  TShearSize r;
  r.W1 = static_cast<int>(Round(height * t + width + 1));
  const int s1 = static_cast<int>(Round((r.W1 - width) * s));
  const int hfull = static_cast<int>(Round(r.W1 * s + height + 1));
  const int s2 = static_cast<int>(Round((hfull - height - s1) * t));
  r.Height = hfull - 2 * s1;
  r.Width = static_cast<int>(Round(r.Height * t + r.W1 + 1 - 2 * s2));
  return r;
}

void Rotate(TBitmap& bitmap, int angle, bool antialias, const TRGB& background,
            const TProgressRec& progress) {
  if (bitmap.PixelFormat() == pf1bit) {
    Rotate1bit(bitmap, angle, !(background == TRGB{}), progress);
    return;
  }
  if (bitmap.PixelFormat() != pf24bit || bitmap.Empty()) return;
  angle %= 360;
  if (angle == 0) return;
  // Quarter turns first, exactly; the shears only ever see -45..45 degrees.
  auto work = std::make_unique<TBitmap>(), turned = std::make_unique<TBitmap>();
  const TBitmap* current = &bitmap;
  while (angle > 45 || angle < -45) {
    if (angle > 45) {
      Rot90(*current, *turned);
      angle -= 90;
    } else {
      Rot90o(*current, *turned);
      angle += 90;
    }
    std::swap(work, turned);
    current = work.get();
  }
  if (angle == 0) {
    CopyBitmap(*work, bitmap);
    return;
  }
  const int W = current->Width(), H = current->Height();
  const double theta = angle * std::numbers::pi / 180;
  const double t = std::fabs(std::tan(theta / 2)), s = std::fabs(std::sin(theta));
  const TShearSize size = ShearRotateSize(W, H, angle);
  const int W1 = size.W1;
  const bool positive = theta > 0;
  const TRGB bg = background;
  auto v1 = [&](int r) { return (positive ? r : H - r) * t; };
  auto v2 = [&](int c) { return (positive ? W1 - c : c) * s; };

  // The sizes follow the closed formulas, but their fixed trims (S1 rows, S2
  // columns) can cut a corner pixel off. The trims are therefore taken from where
  // the picture's border actually lands after the shears, centred in the output
  // (which grows in the rare case that the border does not fit).
  std::vector<TPoint> border;
  border.reserve(static_cast<size_t>(2 * (W + H)));
  for (int x = 0; x < W; ++x) border.push_back({x, 0}), border.push_back({x, H - 1});
  for (int y = 0; y < H; ++y) border.push_back({0, y}), border.push_back({W - 1, y});
  // Each shear may also spill a blended pixel one place further along the line.
  auto spill = [antialias](const TShift& sh) { return antialias && sh.f > 0 ? 1 : 0; };
  std::vector<TPoint> mid;  // (pass-1 column, pass-2 row before the trim)
  mid.reserve(border.size() * 4);
  int top = INT32_MAX, bottom = INT32_MIN;
  for (const TPoint& p : border) {
    const TShift a = LineShift(v1(p.y), 0, antialias);
    for (int dx = 0; dx <= spill(a); ++dx) {
      const int c = p.x + a.offset + dx;
      const TShift b = LineShift(v2(c), 0, antialias);
      for (int dy = 0; dy <= spill(b); ++dy) {
        const int r = p.y + b.offset + dy;
        mid.push_back({c, r});
        top = imin(top, r);
        bottom = imax(bottom, r);
      }
    }
  }
  const int Hout = imax(imax(size.Height, 1), bottom - top + 1);
  const int s1 = top - (Hout - (bottom - top + 1)) / 2;
  auto v3 = [&](int r) { return (positive ? r : Hout - r) * t; };
  int leftmost = INT32_MAX, rightmost = INT32_MIN;
  for (const TPoint& p : mid) {
    const TShift c = LineShift(v3(p.y - s1), 0, antialias);
    leftmost = imin(leftmost, p.x + c.offset);
    rightmost = imax(rightmost, p.x + c.offset + spill(c));
  }
  const int Wout = imax(imax(size.Width, 1), rightmost - leftmost + 1);
  const int s2 = leftmost - (Wout - (rightmost - leftmost + 1)) / 2;

  const double total = H + W1 + Hout + 0.5;
  int64_t count = 0;
  auto step = [&] { progress.Report(TruncI(static_cast<double>(count++) * 100 / total)); };

  // Pass 1: rows sheared horizontally into W1 x H.
  std::vector<TRGB> p1(static_cast<size_t>(W1) * H, bg);
  for (int r = 0; r < H; ++r) {
    step();
    ShearRow(reinterpret_cast<const TRGB*>(current->ScanLine(r)), W,
             p1.data() + static_cast<size_t>(r) * W1, W1, LineShift(v1(r), 0, antialias), antialias,
             bg);
  }

  // Pass 2: columns sheared vertically into W1 x Hout, a block of columns at a
  // time so that both buffers are read and written along their rows.
  std::vector<TRGB> p2(static_cast<size_t>(W1) * Hout, bg);
  constexpr int kBlock = 16;
  TShift shift[kBlock];
  TRGB prev[kBlock];
  for (int c0 = 0; c0 < W1; c0 += kBlock) {
    const int n = imin(kBlock, W1 - c0);
    for (int j = 0; j < n; ++j) {
      step();
      const int c = c0 + j;
      shift[j] = LineShift(v2(c), s1, antialias);
      prev[j] = bg;
    }
    for (int k = 0; k < H; ++k) {
      const TRGB* src = p1.data() + static_cast<size_t>(k) * W1 + c0;
      for (int j = 0; j < n; ++j) {
        const int row = shift[j].offset + k;
        if (row >= 0 && row < Hout) {
          TRGB& out = p2[static_cast<size_t>(row) * W1 + c0 + j];
          out = antialias ? Blend(prev[j], src[j], shift[j].f) : src[j];
        }
        prev[j] = src[j];
      }
    }
    if (antialias)
      for (int j = 0; j < n; ++j) {
        const int row = shift[j].offset + H;
        if (shift[j].f > 0 && row >= 0 && row < Hout)
          p2[static_cast<size_t>(row) * W1 + c0 + j] = Blend(prev[j], bg, shift[j].f);
      }
  }
  p1 = {};

  // Pass 3: rows sheared horizontally into the target.
  SizeBitmap(bitmap, Wout, Hout, pf24bit);
  for (int r = 0; r < Hout; ++r) {
    step();
    auto* out = reinterpret_cast<TRGB*>(bitmap.ScanLine(r));
    std::fill(out, out + Wout, bg);
    ShearRow(p2.data() + static_cast<size_t>(r) * W1, W1, out, Wout,
             LineShift(v3(r), s2, antialias), antialias, bg);
  }
}

void Rotate1bit(TBitmap& bitmap, int angle, bool fillBit, const TProgressRec& progress) {
  if (bitmap.PixelFormat() != pf1bit || bitmap.Empty()) return;
  // Whole turns change nothing; reducing first keeps the sine and cosine exact
  // for huge angles.
  const double theta = -(angle % 360) * std::numbers::pi / 180;
  const double c = static_cast<double>(Trunc(std::cos(theta) * 10000)) / 10000;
  const double s = static_cast<double>(Trunc(std::sin(theta) * 10000)) / 10000;
  const int W = bitmap.Width(), H = bitmap.Height();
  const int W2 = imax(1, TruncI(std::fabs(W * c) + std::fabs(H * s)));
  const int H2 = imax(1, TruncI(std::fabs(W * s) + std::fabs(H * c)));
  const double cx2 = W2 / 2.0 - 0.5, cy2 = H2 / 2.0 - 0.5;
  const double cx = W / 2.0 - 0.5, cy = H / 2.0 - 0.5;
  TBitmap result;
  SizeBitmap(result, W2, H2, pf1bit);
  result.SetPalette(bitmap.Palette());
  for (int r = 0; r < H2; ++r) {
    progress.Report(TruncI(r * 100.0 / H2));
    uint8_t* out = result.ScanLine(r);
    std::memset(out, 0, static_cast<size_t>(result.RowLen()));
    if (fillBit) {
      std::memset(out, 0xFF, static_cast<size_t>(W2 / 8));
      for (int i = W2 / 8 * 8; i < W2; ++i) SetPixelbw(out, i, true);
    }
    for (int i = 0; i < W2; ++i) {
      const int sx = TruncI(c * (i - cx2) + s * (r - cy2) + cx);
      const int sy = TruncI(-s * (i - cx2) + c * (r - cy2) + cy);
      if (sx >= 0 && sx < W && sy >= 0 && sy < H)
        SetPixelbw(out, i, GetPixelbw(bitmap.ScanLine(sy), sx));
    }
  }
  CopyBitmap(result, bitmap);
}

void Flip(TBitmap& bitmap, TFlipDir direction) {
  if (bitmap.Empty()) return;
  const int w = bitmap.Width(), h = bitmap.Height();
  if (direction == fdVertical) {
    std::vector<uint8_t> tmp(static_cast<size_t>(bitmap.RowLen()));
    for (int a = 0, b = h - 1; a < b; ++a, --b) {
      std::memcpy(tmp.data(), bitmap.ScanLine(a), tmp.size());
      std::memcpy(bitmap.ScanLine(a), bitmap.ScanLine(b), tmp.size());
      std::memcpy(bitmap.ScanLine(b), tmp.data(), tmp.size());
    }
    return;
  }
  const int bits = StorageBits(bitmap.PixelFormat());
  for (int y = 0; y < h; ++y) {
    uint8_t* row = bitmap.ScanLine(y);
    if (bits == 1) {
      for (int a = 0, b = w - 1; a < b; ++a, --b) {
        const bool pa = GetPixelbw(row, a), pb = GetPixelbw(row, b);
        SetPixelbw(row, a, pb);
        SetPixelbw(row, b, pa);
      }
    } else if (bits == 4) {
      auto get = [row](int x) { return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F; };
      auto set = [row](int x, int v) {
        const int shift = (x & 1) ? 0 : 4;
        row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & ~(0x0F << shift)) | (v << shift));
      };
      for (int a = 0, b = w - 1; a < b; ++a, --b) {
        const int va = get(a), vb = get(b);
        set(a, vb);
        set(b, va);
      }
    } else {
      const int bytes = bits / 8;
      uint8_t tmp[4];
      for (int a = 0, b = w - 1; a < b; ++a, --b) {
        uint8_t* pa = row + a * bytes;
        uint8_t* pb = row + b * bytes;
        std::memcpy(tmp, pa, static_cast<size_t>(bytes));
        std::memcpy(pa, pb, static_cast<size_t>(bytes));
        std::memcpy(pb, tmp, static_cast<size_t>(bytes));
      }
    }
  }
}

void ImageResize(TBitmap& bitmap, int width, int height, TColor background) {
  if (width < 1 || height < 1) return;
  TBitmap result;
  SizeBitmap(result, width, height, bitmap.PixelFormat());
  result.SetPalette(bitmap.Palette());
  TCanvas& canvas = result.Canvas();
  canvas.Brush().Color = background;
  canvas.Brush().Style = bsSolid;
  canvas.FillRect(Rect(0, 0, width, height));
  if (!bitmap.Empty()) canvas.Draw(0, 0, bitmap);
  CopyBitmap(result, bitmap);
}

}  // namespace vx
