#pragma once
// Bit, row and geometry helpers, and the small containers and streams of vxlists.h.
#include <cstdint>
#include <limits>
#include <string>

#include "core/arith.h"
#include "core/vxlists.h"
#include "core/vxwords.h"
#include "platform/bitmap.h"

namespace vx {

class TComponent;

// Length of the first run of set bits, counted from the lowest set bit (0x00F0 -> 4).
int GetBitCount(uint32_t mask);
// Bits a pixel needed for n colours: highest set bit position, plus one when a lower
// bit is also set (2 -> 1, 16 -> 4, 17 -> 5, 256 -> 8, 257 -> 9).
int NColToBitsPixel(int ncolors);
// 2^(bits * samples), as a product of one factor 2^bits a sample.
int64_t GetNumCol(int bitsPerSample, int samplesPerPixel);
// Bytes of one row padded to 4 bytes. The bit count is taken in 64 bits: a width from a
// file header times 24 or 32 overflows an int long before the row length does. A row
// longer than an int saturates at INT_MAX, so that size checks built on it refuse rather
// than see a wrapped length; a width or bit count below 1 gives 0.
inline constexpr int BitmapRowLen(int width, int bits) {
  if (width <= 0 || bits <= 0) return 0;
  const int64_t len = (static_cast<int64_t>(width) * bits + 31) / 32 * 4;
  return len > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                               : static_cast<int>(len);
}
int Pixelformat2BitCount(TPixelFormat pf);
TPixelFormat Bitcount2Pixelformat(int bits);

// Reverses the 32 bits of v in place and returns the result.
uint32_t ReverseBits(uint32_t& v);
// Reverses the 8 bits of v in place (table driven) and returns the result.
uint8_t ReverseBitsB(uint8_t& v);
// The table behind ReverseBitsB, for codecs that reverse whole buffers.
const uint8_t* ReverseBitsTable();

bool InRect(int x, int y, int x1, int y1, int x2, int y2);
// Overlap of (x1,y1)-(x2,y2) and (x3,y3)-(x4,y4), inclusive corners; touching counts.
bool RectXRect(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
// 0 disjoint, 2 the second lies wholly inside the first, 1 partial overlap.
int RectPRect(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
double DistPoint2Line(double px, double py, double x1, double y1, double x2, double y2);
double DistPoint2Seg(double px, double py, double x1, double y1, double x2, double y2);
// Constrains polygon vertex (x, y) placed from anchor (ax, ay): snaps to the anchor's
// row or column when the offsets differ by more than 30 pixels, else onto the 45 degree
// diagonal through the anchor.
void CastPolySelCC(int ax, int ay, int& x, int& y);

// Size in bytes of a file opened for reading (throws EFOpenError).
int64_t getfilesize(const std::string& fileName);

// Walks the owner chain to the first component that has a window and returns its
// handle; 0 when there is none. Components with windows register a resolver.
using TWindowHandle = uintptr_t;
TWindowHandle VXFindHandle(const TComponent* component);
// Installed by the widget library: returns a window handle for a component, or 0.
using THandleResolver = TWindowHandle (*)(const TComponent*);
void SetWindowHandleResolver(THandleResolver resolver);

}  // namespace vx
