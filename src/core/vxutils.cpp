#include "core/vxutils.h"

#include <array>
#include <cmath>
#include <cstdlib>

#include "platform/component.h"
#include "platform/stream.h"

namespace vx {

int GetBitCount(uint32_t mask) {
  if (mask == 0) return 0;
  while ((mask & 1) == 0) mask >>= 1;
  int n = 0;
  while (mask & 1) {
    ++n;
    mask >>= 1;
  }
  return n;
}

int NColToBitsPixel(int ncolors) {
  if (ncolors <= 0) return 0;
  const auto v = static_cast<uint32_t>(ncolors);
  int high = 31;
  while (!(v & (1u << high))) --high;
  // Bit positions count from 1 here: 2 (bit 1) needs 1 bit.
  return high + ((v & ((1u << high) - 1)) ? 1 : 0);
}

int64_t GetNumCol(int bitsPerSample, int samplesPerPixel) {
  int64_t n = 1;
  for (int i = 0; i < samplesPerPixel; ++i) n *= int64_t{1} << bitsPerSample;
  return n;
}

int Pixelformat2BitCount(TPixelFormat pf) {
  switch (pf) {
    case pf1bit:
      return 1;
    case pf4bit:
      return 4;
    case pf8bit:
      return 8;
    case pf15bit:
      return 15;
    case pf16bit:
      return 16;
    case pf24bit:
      return 24;
    case pf32bit:
      return 32;
    default:
      return 0;
  }
}

TPixelFormat Bitcount2Pixelformat(int bits) {
  switch (bits) {
    case 1:
      return pf1bit;
    case 4:
      return pf4bit;
    case 8:
      return pf8bit;
    case 15:
      return pf15bit;
    case 16:
      return pf16bit;
    case 24:
      return pf24bit;
    case 32:
      return pf32bit;
    default:
      return pfCustom;
  }
}

const uint8_t* ReverseBitsTable() {
  static const auto table = [] {
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
      int r = 0;
      for (int b = 0; b < 8; ++b)
        if (i & (1 << b)) r |= 0x80 >> b;
      t[static_cast<size_t>(i)] = static_cast<uint8_t>(r);
    }
    return t;
  }();
  return table.data();
}

uint32_t ReverseBits(uint32_t& v) {
  const uint8_t* t = ReverseBitsTable();
  v = (static_cast<uint32_t>(t[v & 0xFF]) << 24) |
      (static_cast<uint32_t>(t[(v >> 8) & 0xFF]) << 16) |
      (static_cast<uint32_t>(t[(v >> 16) & 0xFF]) << 8) | t[v >> 24];
  return v;
}

uint8_t ReverseBitsB(uint8_t& v) {
  v = ReverseBitsTable()[v];
  return v;
}

bool InRect(int x, int y, int x1, int y1, int x2, int y2) {
  return x1 <= x && x <= x2 && y1 <= y && y <= y2;
}

bool RectXRect(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
  return x1 <= x4 && x3 <= x2 && y1 <= y4 && y3 <= y2;
}

int RectPRect(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
  if (!RectXRect(x1, y1, x2, y2, x3, y3, x4, y4)) return 0;
  if (x3 >= x1 && x4 <= x2 && y3 >= y1 && y4 <= y2) return 2;
  return 1;
}

double DistPoint2Line(double px, double py, double x1, double y1, double x2, double y2) {
  const double dx = x2 - x1, dy = y2 - y1;
  const double len = std::hypot(dx, dy);
  if (len == 0) return std::hypot(px - x1, py - y1);
  return std::fabs(dy * (px - x1) - dx * (py - y1)) / len;
}

double DistPoint2Seg(double px, double py, double x1, double y1, double x2, double y2) {
  const double dx = x2 - x1, dy = y2 - y1;
  const double len2 = dx * dx + dy * dy;
  if (len2 == 0) return std::hypot(px - x1, py - y1);
  const double t = ((px - x1) * dx + (py - y1) * dy) / len2;
  if (t < 0) return std::hypot(px - x1, py - y1);
  if (t > 1) return std::hypot(px - x2, py - y2);
  return DistPoint2Line(px, py, x1, y1, x2, y2);
}

void CastPolySelCC(int ax, int ay, int& x, int& y) {
  const int e = std::abs(ax - x), f = std::abs(ay - y), d = std::abs(e - f);
  if (f > e + 30) {
    x = ax;  // steep: vertical
    return;
  }
  if (f < e - 30) {
    y = ay;  // flat: horizontal
    return;
  }
  // Near 45 degrees: one offset is moved by the difference of the two, which one and
  // in which direction depending on the quadrant (client y grows downwards). Up and to
  // the left the larger offset shrinks; in the other quadrants the smaller one grows.
  // A point exactly right of or below the anchor stays where it is.
  const bool steep = f > e;
  if (x > ax && y > ay) {
    (steep ? x : y) += d;
  } else if (x < ax && y < ay) {
    (steep ? y : x) += d;
  } else if (x < ax) {  // and not above
    if (steep)
      x -= d;
    else
      y += d;
  } else if (y < ay) {  // not left, above
    if (steep)
      x += d;
    else
      y -= d;
  }
}

int64_t getfilesize(const std::string& fileName) {
  TFileStream f(fileName, fmOpenRead);
  return f.Size();
}

namespace {
THandleResolver gResolver = nullptr;
}

void SetWindowHandleResolver(THandleResolver resolver) {
  gResolver = resolver;
}

TWindowHandle VXFindHandle(const TComponent* component) {
  for (const TComponent* c = component; c; c = c->Owner())
    if (gResolver)
      if (TWindowHandle h = gResolver(c)) return h;
  return 0;
}

}  // namespace vx
