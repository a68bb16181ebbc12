#include "platform/canvas.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <type_traits>

#include "platform/bitmap.h"
#include "platform/syscolors.h"

namespace vx {

namespace {

TRGB ToRGB(TColor c) {
  const auto v = static_cast<uint32_t>(ColorToRGB(c));
  return {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

TColor FromRGB(TRGB c) {
  return c.r | (c.g << 8) | (c.b << 16);
}

// Storage layouts. Each knows how to read and write the "native" value of column x
// of a row: a palette index, a packed 16-bit word, or the bytes of a true-colour
// pixel (b | g << 8 | r << 16, plus the fourth byte on 32 bits). Every drawing
// routine picks the layout once per call and then runs inlined code per pixel.
struct Px1 {
  static uint32_t Get(const uint8_t* row, int x) { return (row[x >> 3] >> (7 - (x & 7))) & 1u; }
  static void Put(uint8_t* row, int x, uint32_t v) {
    const auto m = static_cast<uint8_t>(0x80u >> (x & 7));
    if (v & 1u)
      row[x >> 3] |= m;
    else
      row[x >> 3] &= static_cast<uint8_t>(~m);
  }
};

struct Px4 {
  static uint32_t Get(const uint8_t* row, int x) {
    return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15u;
  }
  static void Put(uint8_t* row, int x, uint32_t v) {
    uint8_t& b = row[x >> 1];
    if (x & 1)
      b = static_cast<uint8_t>((b & 0xF0) | (v & 15u));
    else
      b = static_cast<uint8_t>((b & 0x0F) | ((v & 15u) << 4));
  }
};

struct Px8 {
  static uint32_t Get(const uint8_t* row, int x) { return row[x]; }
  static void Put(uint8_t* row, int x, uint32_t v) { row[x] = static_cast<uint8_t>(v); }
};

struct Px16 {
  static uint32_t Get(const uint8_t* row, int x) {
    return row[2 * x] | (static_cast<uint32_t>(row[2 * x + 1]) << 8);
  }
  static void Put(uint8_t* row, int x, uint32_t v) {
    row[2 * x] = static_cast<uint8_t>(v);
    row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
  }
};

struct Px24 {
  static uint32_t Get(const uint8_t* row, int x) {
    const uint8_t* p = row + 3 * x;
    return p[0] | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16);
  }
  static void Put(uint8_t* row, int x, uint32_t v) {
    uint8_t* p = row + 3 * x;
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
  }
};

struct Px32 {
  static uint32_t Get(const uint8_t* row, int x) {
    uint32_t v;
    std::memcpy(&v, row + 4 * x, 4);
    return v;
  }
  static void Put(uint8_t* row, int x, uint32_t v) { std::memcpy(row + 4 * x, &v, 4); }
};
// The 32-bit native value is read and written as the bytes b, g, r, x in order; a
// colour drawn onto a 32-bit bitmap leaves x at zero, as the bitmap's own conversion
// does, while 32-bit to 32-bit copies keep it.
static_assert(std::endian::native == std::endian::little,
              "native pixel values assume little endian");

template <class Fn>
void Dispatch(int bits, Fn&& fn) {
  switch (bits) {
    case 1:
      fn(Px1{});
      break;
    case 4:
      fn(Px4{});
      break;
    case 8:
      fn(Px8{});
      break;
    case 16:
      fn(Px16{});
      break;
    case 32:
      fn(Px32{});
      break;
    default:
      fn(Px24{});
      break;
  }
}

// Colour <-> native value of one bitmap. Indexed formats map a colour to the nearest
// palette entry (lowest index on a tie, as the bitmap's own conversion does); a small
// cache keeps repeated colours cheap when converting whole rows.
class Codec {
 public:
  explicit Codec(const TBitmap& bmp)
      : pf_(bmp.PixelFormat()), bits_(StorageBits(pf_)), pal_(bmp.Palette()) {
    cacheKey_.fill(UINT32_MAX);
  }

  int Bits() const { return bits_; }

  uint32_t Encode(TRGB c) {
    switch (bits_) {
      case 1:
      case 4:
      case 8: {
        const uint32_t key = c.b | (c.g << 8) | (c.r << 16);
        const size_t slot = (key * 2654435761u) >> 22;  // 1024 slots
        if (cacheKey_[slot] != key) {
          cacheKey_[slot] = key;
          cacheVal_[slot] = static_cast<uint8_t>(Nearest(c));
        }
        return cacheVal_[slot];
      }
      case 16:
        if (pf_ == pf15bit) return ((c.r >> 3u) << 10) | ((c.g >> 3u) << 5) | (c.b >> 3u);
        return ((c.r >> 3u) << 11) | ((c.g >> 2u) << 5) | (c.b >> 3u);
      default:
        return c.b | (c.g << 8) | (static_cast<uint32_t>(c.r) << 16);
    }
  }

  TRGB Decode(uint32_t v) const {
    switch (bits_) {
      case 1:
      case 4:
      case 8:
        return v < pal_.size() ? pal_[v] : TRGB{};
      case 16:
        if (pf_ == pf15bit)
          return {static_cast<uint8_t>((v & 31) * 255 / 31),
                  static_cast<uint8_t>(((v >> 5) & 31) * 255 / 31),
                  static_cast<uint8_t>(((v >> 10) & 31) * 255 / 31)};
        return {static_cast<uint8_t>((v & 31) * 255 / 31),
                static_cast<uint8_t>(((v >> 5) & 63) * 255 / 63),
                static_cast<uint8_t>(((v >> 11) & 31) * 255 / 31)};
      default:
        return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                static_cast<uint8_t>(v >> 16)};
    }
  }

 private:
  int Nearest(TRGB c) const {
    int best = 0;
    long bestD = -1;
    // A 1-bit row can only hold index 0 or 1, a 4-bit row 0..15.
    const size_t n = std::min(pal_.size(), size_t{1} << bits_);
    for (size_t i = 0; i < n; ++i) {
      const long db = pal_[i].b - c.b, dg = pal_[i].g - c.g, dr = pal_[i].r - c.r;
      const long d = db * db + dg * dg + dr * dr;
      if (bestD < 0 || d < bestD) {
        bestD = d;
        best = static_cast<int>(i);
      }
    }
    return best;
  }

  TPixelFormat pf_;
  int bits_;
  const std::vector<TRGB>& pal_;
  std::array<uint32_t, 1024> cacheKey_{};
  std::array<uint8_t, 1024> cacheVal_{};
};

// Whether two bitmaps store colours the same way, so native values can be copied.
bool SameStorage(const TBitmap& a, const TBitmap& b) {
  const int bits = StorageBits(a.PixelFormat());
  if (bits != StorageBits(b.PixelFormat())) return false;
  if (bits == 16) return a.PixelFormat() == b.PixelFormat();
  if (bits <= 8) return a.Palette() == b.Palette();
  return true;
}

template <class P>
void FillSpan(uint8_t* row, int x0, int x1, uint32_t v) {
  if constexpr (std::is_same_v<P, Px8>) {
    std::memset(row + x0, static_cast<int>(v & 0xFF), static_cast<size_t>(x1 - x0));
  } else if constexpr (std::is_same_v<P, Px24>) {
    const auto b = static_cast<uint8_t>(v), g = static_cast<uint8_t>(v >> 8),
               r = static_cast<uint8_t>(v >> 16);
    uint8_t* p = row + 3 * x0;
    if (b == g && g == r) {
      std::memset(p, b, static_cast<size_t>(x1 - x0) * 3);
    } else {
      for (int x = x0; x < x1; ++x, p += 3) {
        p[0] = b;
        p[1] = g;
        p[2] = r;
      }
    }
  } else if constexpr (std::is_same_v<P, Px1>) {
    // Ragged ends bit by bit, whole bytes in between.
    int x = x0;
    for (; x < x1 && (x & 7); ++x) Px1::Put(row, x, v);
    const int whole = (x1 - x) >> 3;
    if (whole > 0) {
      std::memset(row + (x >> 3), (v & 1u) ? 0xFF : 0x00, static_cast<size_t>(whole));
      x += whole << 3;
    }
    for (; x < x1; ++x) Px1::Put(row, x, v);
  } else {
    for (int x = x0; x < x1; ++x) P::Put(row, x, v);
  }
}

// Columns (bit k = x mod 8 == k) that a brush paints on a row with y mod 8 == row.
unsigned HatchMask(TBrushStyle style, int row) {
  const unsigned horizontal = row == 0 ? 0xFFu : 0u;
  const unsigned vertical = 1u;
  const unsigned forward = 1u << row;         // x == y
  const unsigned backward = 1u << (7 - row);  // x + y == 7
  switch (style) {
    case bsSolid:
      return 0xFFu;
    case bsClear:
      return 0u;
    case bsHorizontal:
      return horizontal;
    case bsVertical:
      return vertical;
    case bsFDiagonal:
      return forward;
    case bsBDiagonal:
      return backward;
    case bsCross:
      return horizontal | vertical;
    case bsDiagCross:
      return forward | backward;
  }
  return 0u;
}

// Paints columns x0..x1-1 of row y with the brush value v.
template <class P>
void BrushSpan(uint8_t* row, int y, int x0, int x1, uint32_t v, TBrushStyle style) {
  const unsigned mask = HatchMask(style, y & 7);
  if (mask == 0xFFu) {
    FillSpan<P>(row, x0, x1, v);
    return;
  }
  for (int k = 0; k < 8; ++k) {
    if (!(mask & (1u << k))) continue;
    for (int x = x0 + ((k - (x0 & 7)) & 7); x < x1; x += 8) P::Put(row, x, v);
  }
}

// Converts columns x0..x0+n-1 of a row to 24-bit pixels and back.
void DecodeSpan(const TBitmap& bmp, const Codec& codec, int y, int x0, int n, TRGB* out) {
  const uint8_t* row = bmp.ScanLine(y);
  if (codec.Bits() == 24) {
    std::memcpy(out, row + 3 * static_cast<size_t>(x0), static_cast<size_t>(n) * 3);
    return;
  }
  Dispatch(codec.Bits(), [&](auto px) {
    using P = decltype(px);
    for (int i = 0; i < n; ++i) out[i] = codec.Decode(P::Get(row, x0 + i));
  });
}

void EncodeSpan(TBitmap& bmp, Codec& codec, int y, int x0, int n, const TRGB* in) {
  uint8_t* row = bmp.ScanLine(y);
  if (codec.Bits() == 24) {
    std::memcpy(row + 3 * static_cast<size_t>(x0), in, static_cast<size_t>(n) * 3);
    return;
  }
  Dispatch(codec.Bits(), [&](auto px) {
    using P = decltype(px);
    for (int i = 0; i < n; ++i) P::Put(row, x0 + i, codec.Encode(in[i]));
  });
}

// Copies n pixels from (sx, sy) of src to (dx, dy) of dst. One per row, so the
// format decisions are made per row, never per pixel.
class RowCopier {
 public:
  RowCopier(TBitmap& dst, const TBitmap& src)
      : dst_(dst), src_(src), same_(SameStorage(dst, src)), dcodec_(dst), scodec_(src) {}

  void Copy(int sx, int sy, int dx, int dy, int n) {
    if (n <= 0) return;
    const uint8_t* s = src_.ScanLine(sy);
    uint8_t* d = dst_.ScanLine(dy);
    const int bits = dcodec_.Bits();
    if (same_ && bits % 8 == 0) {
      const size_t bpp = static_cast<size_t>(bits / 8);
      std::memcpy(d + bpp * static_cast<size_t>(dx), s + bpp * static_cast<size_t>(sx),
                  bpp * static_cast<size_t>(n));
    } else if (same_) {
      Dispatch(bits, [&](auto px) {
        using P = decltype(px);
        for (int i = 0; i < n; ++i) P::Put(d, dx + i, P::Get(s, sx + i));
      });
    } else {
      buf_.resize(static_cast<size_t>(n));
      DecodeSpan(src_, scodec_, sy, sx, n, buf_.data());
      EncodeSpan(dst_, dcodec_, dy, dx, n, buf_.data());
    }
  }

 private:
  TBitmap& dst_;
  const TBitmap& src_;
  bool same_;
  Codec dcodec_;
  Codec scodec_;
  std::vector<TRGB> buf_;
};

// x where the edge a-b crosses the horizontal line at height yc, or nothing when it
// does not. Edges are half-open in y (the lower y end counts, the upper does not),
// so a vertex is counted once and horizontal edges never.
std::optional<double> EdgeCrossing(TPoint a, TPoint b, double yc) {
  if ((a.y <= yc) == (b.y <= yc)) return std::nullopt;
  return a.x + (yc - a.y) * (static_cast<double>(b.x) - a.x) / (static_cast<double>(b.y) - a.y);
}

// Calls fn(y, x0, x1) for every run of pixels x0..x1-1 of row y whose centres lie
// inside the polygon (even-odd rule), restricted to columns 0..w-1, rows 0..h-1.
// A pixel x is inside when an odd number of crossings lie at or left of x + 0.5; that
// is the same test PointInPolygonEvenOdd makes, with the same arithmetic.
template <class Fn>
void ForEachPolygonSpan(const std::vector<TPoint>& poly, int w, int h, Fn&& fn) {
  if (poly.size() < 3 || w <= 0 || h <= 0) return;
  int minY = poly[0].y, maxY = poly[0].y;
  for (const TPoint& p : poly) {
    minY = std::min(minY, p.y);
    maxY = std::max(maxY, p.y);
  }
  const int y0 = std::max(minY, 0), y1 = std::min(maxY, h);
  std::vector<double> xs;
  xs.reserve(poly.size());
  const auto column = [w](double edge) {
    // First pixel whose centre is at or right of edge.
    return static_cast<int>(std::clamp(std::ceil(edge - 0.5), 0.0, static_cast<double>(w)));
  };
  for (int y = y0; y < y1; ++y) {
    const double yc = y + 0.5;
    xs.clear();
    for (size_t i = 0; i < poly.size(); ++i) {
      const TPoint a = poly[i], b = poly[(i + 1) % poly.size()];
      if (const auto x = EdgeCrossing(a, b, yc)) xs.push_back(*x);
    }
    std::sort(xs.begin(), xs.end());
    for (size_t i = 0; i + 1 < xs.size(); i += 2) {
      const int x0 = column(xs[i]), x1 = column(xs[i + 1]);
      if (x0 < x1) fn(y, x0, x1);
    }
  }
}

TRect Intersect(const TRect& a, const TRect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

TRect Bounds(const TBitmap& b) {
  return {0, 0, b.Width(), b.Height()};
}

// Weights for averaging in one direction: source pixel i spans [i*dn, (i+1)*dn) and
// destination pixel d spans [d*sn, (d+1)*sn) in a common unit, so the overlaps are
// exact integers and the weights of one destination pixel add up to sn.
struct AreaTaps {
  std::vector<int> first;   // first source index, per destination pixel
  std::vector<int> offset;  // start in weight[], per destination pixel (+1 at the end)
  std::vector<int64_t> weight;
};

AreaTaps MakeAreaTaps(int64_t sn, int64_t dn, int64_t d0, int64_t d1) {
  AreaTaps t;
  t.offset.push_back(0);
  for (int64_t d = d0; d < d1; ++d) {
    const int64_t lo = d * sn, hi = lo + sn;
    const int64_t i0 = lo / dn, i1 = (hi + dn - 1) / dn;  // i1 exclusive
    t.first.push_back(static_cast<int>(i0));
    for (int64_t i = i0; i < i1; ++i) {
      const int64_t a = std::max(lo, i * dn), b = std::min(hi, (i + 1) * dn);
      t.weight.push_back(b - a);
    }
    t.offset.push_back(static_cast<int>(t.weight.size()));
  }
  return t;
}

int NearestSource(int64_t d, int64_t sn, int64_t dn) {
  return static_cast<int>(((2 * d + 1) * sn) / (2 * dn));
}

uint8_t RoundedMean(int64_t sum, int64_t total) {
  return static_cast<uint8_t>((2 * sum + total) / (2 * total));
}

}  // namespace

void TCanvas::FillRect(const TRect& rect) {
  if (brush_.Style == bsClear) return;
  const TRect r = Intersect(rect, Bounds(bitmap_));
  if (r.IsEmpty()) return;
  Codec codec(bitmap_);
  const uint32_t v = codec.Encode(ToRGB(brush_.Color));
  Dispatch(codec.Bits(), [&](auto px) {
    using P = decltype(px);
    for (int y = r.top; y < r.bottom; ++y)
      BrushSpan<P>(bitmap_.ScanLine(y), y, r.left, r.right, v, brush_.Style);
  });
}

void TCanvas::Draw(int x, int y, const TBitmap& source) {
  Draw(x, y, source, Bounds(source));
}

void TCanvas::Draw(int x, int y, const TBitmap& source, const TRect& sourceRect) {
  if (&source == &bitmap_) {
    // Drawing a bitmap onto itself may overlap; copy it first.
    const TBitmap copy(source);
    Draw(x, y, copy, sourceRect);
    return;
  }
  const TRect s = Intersect(sourceRect, Bounds(source));
  if (s.IsEmpty()) return;
  // Where the clipped source lands, then clipped to this bitmap.
  const int64_t ox = static_cast<int64_t>(x) + (s.left - sourceRect.left);
  const int64_t oy = static_cast<int64_t>(y) + (s.top - sourceRect.top);
  const int64_t left = std::max<int64_t>(ox, 0), top = std::max<int64_t>(oy, 0);
  const int64_t right = std::min<int64_t>(ox + s.Width(), bitmap_.Width());
  const int64_t bottom = std::min<int64_t>(oy + s.Height(), bitmap_.Height());
  if (left >= right || top >= bottom) return;
  RowCopier copier(bitmap_, source);
  for (int64_t dy = top; dy < bottom; ++dy)
    copier.Copy(static_cast<int>(s.left + (left - ox)), static_cast<int>(s.top + (dy - oy)),
                static_cast<int>(left), static_cast<int>(dy), static_cast<int>(right - left));
}

void TCanvas::StretchDraw(const TRect& dest, const TBitmap& source, TStretchMode mode) {
  if (dest.IsEmpty() || source.Empty()) return;
  if (&source == &bitmap_) {
    const TBitmap copy(source);
    StretchDraw(dest, copy, mode);
    return;
  }
  const TRect c = Intersect(dest, Bounds(bitmap_));
  if (c.IsEmpty()) return;
  const int sw = source.Width(), sh = source.Height();
  // Sizes and offsets in 64 bits: dest may lie far outside the bitmap.
  const int64_t dw = static_cast<int64_t>(dest.right) - dest.left;
  const int64_t dh = static_cast<int64_t>(dest.bottom) - dest.top;
  // Destination columns and rows relative to dest.
  const int64_t cx0 = static_cast<int64_t>(c.left) - dest.left, cx1 = cx0 + c.Width();
  const int64_t cy0 = static_cast<int64_t>(c.top) - dest.top, cy1 = cy0 + c.Height();
  const int n = c.Width();
  Codec dcodec(bitmap_);
  const Codec scodec(source);

  if (mode == smNearest) {
    std::vector<int> sx(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) sx[static_cast<size_t>(i)] = NearestSource(cx0 + i, sw, dw);
    if (SameStorage(bitmap_, source)) {
      Dispatch(dcodec.Bits(), [&](auto px) {
        using P = decltype(px);
        for (int64_t dy = cy0; dy < cy1; ++dy) {
          const uint8_t* s = source.ScanLine(NearestSource(dy, sh, dh));
          uint8_t* d = bitmap_.ScanLine(static_cast<int>(c.top + (dy - cy0)));
          for (int i = 0; i < n; ++i) P::Put(d, c.left + i, P::Get(s, sx[static_cast<size_t>(i)]));
        }
      });
      return;
    }
    // Different storage: expand the used part of each source row once, then pick.
    const int sx0 = sx.front(), sxn = sx.back() - sx0 + 1;
    std::vector<TRGB> srow(static_cast<size_t>(sxn)), drow(static_cast<size_t>(n));
    int lastSy = -1;
    for (int64_t dy = cy0; dy < cy1; ++dy) {
      const int sy = NearestSource(dy, sh, dh);
      if (sy != lastSy) {
        DecodeSpan(source, scodec, sy, sx0, sxn, srow.data());
        for (int i = 0; i < n; ++i)
          drow[static_cast<size_t>(i)] =
              srow[static_cast<size_t>(sx[static_cast<size_t>(i)] - sx0)];
        lastSy = sy;
      }
      EncodeSpan(bitmap_, dcodec, static_cast<int>(c.top + (dy - cy0)), c.left, n, drow.data());
    }
    return;
  }

  // Halftone: sum the covered source rows per column (weighted), then the covered
  // columns per destination pixel. Every weight is an exact overlap length, so the
  // total weight of a destination pixel is sw * sh.
  const AreaTaps tx = MakeAreaTaps(sw, dw, cx0, cx1);
  const AreaTaps ty = MakeAreaTaps(sh, dh, cy0, cy1);
  const int sx0 = tx.first.front();
  const int sx1 = tx.first.back() + (tx.offset.back() - tx.offset[tx.offset.size() - 2]);
  const int sn = sx1 - sx0;
  const int64_t total = static_cast<int64_t>(sw) * sh;
  std::vector<TRGB> srow(static_cast<size_t>(sn)), drow(static_cast<size_t>(n));
  std::vector<int64_t> acc(static_cast<size_t>(sn) * 3);
  for (int j = 0; j < c.Height(); ++j) {
    std::fill(acc.begin(), acc.end(), 0);
    const auto yj = static_cast<size_t>(j);
    for (int k = ty.offset[yj]; k < ty.offset[yj + 1]; ++k) {
      const int64_t wy = ty.weight[static_cast<size_t>(k)];
      DecodeSpan(source, scodec, ty.first[yj] + (k - ty.offset[yj]), sx0, sn, srow.data());
      for (size_t i = 0; i < srow.size(); ++i) {
        acc[3 * i] += wy * srow[i].b;
        acc[3 * i + 1] += wy * srow[i].g;
        acc[3 * i + 2] += wy * srow[i].r;
      }
    }
    for (int i = 0; i < n; ++i) {
      const auto xi = static_cast<size_t>(i);
      int64_t b = 0, g = 0, r = 0;
      for (int k = tx.offset[xi]; k < tx.offset[xi + 1]; ++k) {
        const int64_t wx = tx.weight[static_cast<size_t>(k)];
        const auto s = static_cast<size_t>(tx.first[xi] + (k - tx.offset[xi]) - sx0);
        b += wx * acc[3 * s];
        g += wx * acc[3 * s + 1];
        r += wx * acc[3 * s + 2];
      }
      drow[xi] = {RoundedMean(b, total), RoundedMean(g, total), RoundedMean(r, total)};
    }
    EncodeSpan(bitmap_, dcodec, c.top + j, c.left, n, drow.data());
  }
}

void TCanvas::Polygon(const std::vector<TPoint>& points) {
  if (brush_.Style == bsClear) return;
  Codec codec(bitmap_);
  const uint32_t v = codec.Encode(ToRGB(brush_.Color));
  Dispatch(codec.Bits(), [&](auto px) {
    using P = decltype(px);
    ForEachPolygonSpan(points, bitmap_.Width(), bitmap_.Height(), [&](int y, int x0, int x1) {
      BrushSpan<P>(bitmap_.ScanLine(y), y, x0, x1, v, brush_.Style);
    });
  });
}

void TCanvas::DrawClipped(int x, int y, const TBitmap& source, const std::vector<TPoint>& polygon) {
  if (&source == &bitmap_) {
    const TBitmap copy(source);
    DrawClipped(x, y, copy, polygon);
    return;
  }
  const int64_t right = static_cast<int64_t>(x) + source.Width();
  const int64_t bottom = static_cast<int64_t>(y) + source.Height();
  RowCopier copier(bitmap_, source);
  ForEachPolygonSpan(polygon, bitmap_.Width(), bitmap_.Height(), [&](int dy, int x0, int x1) {
    if (dy < y || dy >= bottom) return;
    const int64_t a = std::max<int64_t>(x0, x), b = std::min<int64_t>(x1, right);
    if (a >= b) return;
    copier.Copy(static_cast<int>(a - x), static_cast<int>(dy - static_cast<int64_t>(y)),
                static_cast<int>(a), dy, static_cast<int>(b - a));
  });
}

TColor TCanvas::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= bitmap_.Width() || y >= bitmap_.Height()) return clNone;
  const Codec codec(bitmap_);
  TRGB c;
  DecodeSpan(bitmap_, codec, y, x, 1, &c);
  return FromRGB(c);
}

void TCanvas::SetPixel(int x, int y, TColor color) {
  if (x < 0 || y < 0 || x >= bitmap_.Width() || y >= bitmap_.Height()) return;
  Codec codec(bitmap_);
  const TRGB c = ToRGB(color);
  EncodeSpan(bitmap_, codec, y, x, 1, &c);
}

void TCanvas::Line(int x1, int y1, int x2, int y2) {
  const int w = bitmap_.Width(), h = bitmap_.Height();
  if (w == 0 || h == 0 || (x1 == x2 && y1 == y2)) return;
  const int64_t pw = std::max(pen_.Width, 1);
  const int64_t before = (pw - 1) / 2;  // the pen square spans [p - before, p - before + pw)
  // Bresenham's midpoint rule in closed form: step k moves k pixels along the major
  // axis and round(k * minor / major) pixels (halves away from the start) along the
  // minor one. The closed form lets the loop start and stop where the pen can touch
  // the bitmap, however far away the end points are.
  const int64_t adx = std::abs(static_cast<int64_t>(x2) - x1);
  const int64_t ady = std::abs(static_cast<int64_t>(y2) - y1);
  const bool xMajor = adx >= ady;
  const int64_t major = xMajor ? adx : ady, minor = xMajor ? ady : adx;
  const int64_t m1 = xMajor ? x1 : y1, n1 = xMajor ? y1 : x1;
  const int64_t sm = (xMajor ? x2 > x1 : y2 > y1) ? 1 : -1;
  const int64_t sn = (xMajor ? y2 > y1 : x2 > x1) ? 1 : -1;
  // Major coordinates m whose pen square meets the bitmap: lo <= m < hi.
  const int64_t lo = before - pw + 1, hi = (xMajor ? w : h) + before;
  int64_t k0 = sm > 0 ? lo - m1 : m1 - hi + 1;
  int64_t k1 = sm > 0 ? hi - m1 : m1 - lo + 1;
  k0 = std::max<int64_t>(k0, 0);
  k1 = std::min(k1, major);  // the end point itself is not drawn
  if (k0 >= k1) return;
  Codec codec(bitmap_);
  const uint32_t v = codec.Encode(ToRGB(pen_.Color));
  __extension__ using Wide = __int128;  // 2 * k * minor can pass 64 bits
  Dispatch(codec.Bits(), [&](auto pxl) {
    using P = decltype(pxl);
    for (int64_t k = k0; k < k1; ++k) {
      const auto step = static_cast<int64_t>((2 * static_cast<Wide>(k) * minor + major) /
                                             (2 * static_cast<Wide>(major)));
      const int64_t m = m1 + sm * k, n = n1 + sn * step;
      const int64_t x = xMajor ? m : n, y = xMajor ? n : m;
      const int64_t l = std::max<int64_t>(x - before, 0), r = std::min<int64_t>(x - before + pw, w);
      const int64_t t = std::max<int64_t>(y - before, 0), b = std::min<int64_t>(y - before + pw, h);
      if (l >= r) continue;
      for (int64_t yy = t; yy < b; ++yy)
        FillSpan<P>(bitmap_.ScanLine(static_cast<int>(yy)), static_cast<int>(l),
                    static_cast<int>(r), v);
    }
  });
}

bool PointInPolygonEvenOdd(const std::vector<TPoint>& polygon, double x, double y) {
  if (polygon.size() < 3) return false;
  const double px = x + 0.5, py = y + 0.5;
  bool inside = false;
  for (size_t i = 0; i < polygon.size(); ++i) {
    const auto c = EdgeCrossing(polygon[i], polygon[(i + 1) % polygon.size()], py);
    if (c && *c <= px) inside = !inside;
  }
  return inside;
}

}  // namespace vx
