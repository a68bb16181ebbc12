#pragma once
// Moving pixels between TBitmap and outside representations: packed
// device-independent bitmaps (the clipboard and stored-thumbnail layout), raw
// YUV video frames, rectangle and polygon-shaped region copies.
//
// DIB input is untrusted (clipboard content of other programs, frames from
// drivers): every size, count and offset is checked against the bytes given,
// and input that does not hold what its header promises is rejected without
// touching the destination bitmap.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/bitmap.h"
#include "platform/types.h"

namespace vx {

// Video luma/chroma to RGB (BT.601 studio range), each channel rounded half to
// even and clamped to 0..255.
TRGB YUV2RGB(int y, int u, int v);

// Little-endian value of a four-character code ("YUY2" -> 0x32595559).
constexpr uint32_t FourCC(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
         (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
         (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}

// Decodes a packed DIB: a BITMAPINFOHEADER (biSize >= 40), then the colour
// table or bit-field masks, then the pixel rows. When bits is given it holds
// the pixel data (bitsSize bytes) instead of the bytes after the header and
// colour table.
//
// Handled: 1, 4 and 8 bits with a palette (RLE4/RLE8 compressed too), 16 bits
// 5-5-5 and bit fields, 24 bits, 32 bits plain and bit fields, bottom-up and
// top-down (negative height) rows, and the YUV frame codes of the converters
// below. bitmap becomes pf1bit for a 1-bit DIB and pf24bit otherwise, sized to
// the DIB. A 1-bit DIB whose palette puts the lighter colour first has its bits
// inverted, so that bit 0 stays the dark colour as everywhere else in the
// library.
//
// Returns biBitCount, or 0 when the input is rejected (shorter than it claims,
// an impossible size or offset, more pixels than the pixel limit allows -
// MaxImagePixels - or than memory holds); a rejected input leaves bitmap
// unchanged. A well-formed DIB of a kind not decoded (24 bits with a
// compression code, unknown video codes, odd bit counts) leaves bitmap blank at
// its size and still returns biBitCount.
int CopyDIB2Bitmap(const uint8_t* dib, size_t size, TBitmap& bitmap, const uint8_t* bits = nullptr,
                   size_t bitsSize = 0);
inline int CopyDIB2Bitmap(const std::vector<uint8_t>& dib, TBitmap& bitmap) {
  return CopyDIB2Bitmap(dib.data(), dib.size(), bitmap);
}

// YUV frame converters. bitmap must already be pf24bit at the frame's size;
// data holds size bytes. Rows go from row 0 downward when topDown, else from
// the last row upward. Each returns false, leaving the bitmap untouched, when
// data is shorter than the frame needs (FrameBytes).
//   planar:  I420 (Y, U, V planes), YV12 (Y, V, U), chroma (W div 2) x (H div
//   2);
//            YVU9 (Y, V, U), chroma (W div 4) x (H div 4)
//   packed:  YUY2 Y0 U Y1 V, UYVY U Y0 V Y1, YVYU Y0 V Y1 U (2 pixels in 4
//   bytes),
//            IYU2 U Y V (1 pixel in 3 bytes), IYU1 U Y0 Y1 V Y2 Y3 (4 in 6),
//            Y41P U0 Y0 V0 Y1 U4 Y2 V4 Y3 Y4 Y5 Y6 Y7 (8 in 12),
//            Y211 Y0 U Y1 V (4 in 4, pixels 0-1 take Y0, 2-3 take Y1),
//            CLJR one 32-bit word per 4 pixels: V bits 0-5, U 6-11, Y0..Y3 in 5
//            bits each from bit 12 (scaled to 8 bits before conversion).
// Packed rows hold whole groups: a width that is not a multiple of the group is
// rounded up to one.
bool CopyI420ToBitmap(const uint8_t* data, size_t size, TBitmap& bitmap, bool topDown);
bool CopyYV12ToBitmap(const uint8_t* data, size_t size, TBitmap& bitmap, bool topDown);
bool CopyYVU9ToBitmap(const uint8_t* data, size_t size, TBitmap& bitmap, bool topDown);
bool CopyYUY2ToBitmap(const uint8_t* data, size_t size, TBitmap& bitmap, bool topDown);
bool CopyUYVYToBitmap(const uint8_t* data, size_t size, TBitmap& bitmap, bool topDown);
bool CopyYVYUToBitmap(const uint8_t* data, size_t size, TBitmap& bitmap, bool topDown);
bool CopyIYU2ToBitmap(const uint8_t* data, size_t size, TBitmap& bitmap, bool topDown);
bool CopyIYU1ToBitmap(const uint8_t* data, size_t size, TBitmap& bitmap, bool topDown);
bool CopyY41PToBitmap(const uint8_t* data, size_t size, TBitmap& bitmap, bool topDown);
bool CopyY211ToBitmap(const uint8_t* data, size_t size, TBitmap& bitmap, bool topDown);
bool CopyCLJRToBitmap(const uint8_t* data, size_t size, TBitmap& bitmap, bool topDown);

// Bytes a width x height frame of a video code needs; 0 for a code that is not
// one of the converters above.
uint64_t FrameBytes(uint32_t fourcc, int width, int height);

// The packed DIB of the inclusive rectangle (x1, y1)-(x2, y2) of bitmap:
// 40-byte header (biSize 40, width, height, planes 1, 24 or 1 bits, every other
// field 0), for 1-bit images the colour table 0x00000000, 0xFFFFFFFF, then the
// rows bottom-up, each padded to 4 bytes (padding bits and bytes zero). x2 = 0
// or y2 = 0 mean the last column/row; the rectangle is clipped to the image.
// Other pixel formats are written as 24 bits. Empty when nothing is left of the
// rectangle.
std::vector<uint8_t> CopyBitmaptoDIB(const TBitmap& bitmap, int x1 = 0, int y1 = 0, int x2 = 0,
                                     int y2 = 0);

// dest becomes a copy of the inclusive rectangle (x1, y1)-(x2, y2) of source in
// the source's pixel format (byte-exact rows; 1-bit rows re-aligned bit by
// bit). An x2 or y2 of 0, or one past the image, means the last column/row. An
// empty rectangle leaves dest 1 x 1.
void CopyBitmapRect(const TBitmap& source, TBitmap& dest, int x1, int y1, int x2, int y2);

// Draws source onto dest with its top-left at (x, y), only inside the polygon
// (dest coordinates, even-odd rule). The write-back of work done on a polygon's
// bounding box.
void CopyPolygonBitmap(const TBitmap& source, TBitmap& dest, int x, int y,
                       const std::vector<TPoint>& polygon);

// The part of source inside the polygon (source coordinates) is copied into
// dest with the polygon's bounding box top-left at point; dest grows (keeping
// its pixels) to hold the box. Fewer than three vertices: nothing.
void CopyPolygonToPoint(const TBitmap& source, const std::vector<TPoint>& polygon, TBitmap& dest,
                        TPoint point);

// The rectangle of source at point, of the polygon's bounding-box size, is
// copied into dest at the bounding box, clipped by the polygon (dest
// coordinates). dest grows (keeping its pixels) to x2 + 1 wide and y2 high when
// smaller. Fewer than three vertices: nothing.
void CopyPointToPolygon(const TBitmap& source, const std::vector<TPoint>& polygon, TBitmap& dest,
                        TPoint point);

// dest takes source's pixel format and the size (x2 - x1) x (y2 - y1); the
// source rectangle from (x1, y1) is copied onto it through the polygon shifted
// by
// (-x1, -y1) (even-odd rule). Pixels outside the polygon keep dest's fresh
// (zero) content.
void CopyBitmapPoly(const TBitmap& source, TBitmap& dest, int x1, int y1, int x2, int y2,
                    const std::vector<TPoint>& polygon);

// Copies count 3-byte pixels swapping the first and third byte of each.
void CopyBGR_RGB(uint8_t* dest, const uint8_t* source, int count);

}  // namespace vx
