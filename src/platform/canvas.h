#pragma once
// Drawing on a TBitmap: solid and hatch brushes, fills, blits, stretching and
// even-odd polygons. Works on any storage format; 24-bit is the fast path.
//
// Colours are resolved with ColorToRGB and only their low 24 bits count. On an
// indexed format (1, 4, 8 bits) a colour is stored as the nearest palette entry, the
// same choice TBitmap::SetPixelFormat makes, so on a default two-colour bitmap it is
// the nearer of black and white. The canvas does not mark the bitmap modified; the
// caller does that once its drawing is finished.
#include <vector>

#include "platform/types.h"

namespace vx {

class TBitmap;

// Hatch styles are 8x8 patterns aligned to the bitmap origin (pixel (0, 0) is pattern
// cell (0, 0)). With x and y taken modulo 8, a pixel belongs to the pattern when
//   bsHorizontal  y == 0              bsVertical    x == 0
//   bsFDiagonal   x == y   ("\")      bsBDiagonal   x + y == 7   ("/")
//   bsCross       horizontal or vertical
//   bsDiagCross   forward or backward diagonal.
// Pattern pixels take the brush colour; the others are left as they are.
enum class TBrushStyle {
  bsSolid,
  bsClear,
  bsHorizontal,
  bsVertical,
  bsFDiagonal,
  bsBDiagonal,
  bsCross,
  bsDiagCross
};
using enum TBrushStyle;

struct TBrush {
  TColor Color = clWhite;
  TBrushStyle Style = bsSolid;
};

struct TPen {
  TColor Color = clBlack;
  int Width = 1;
};

// How StretchDraw maps source pixels: nearest neighbour, or averaging every source
// pixel that falls under a destination pixel (halftone).
enum class TStretchMode { smNearest, smHalftone };
using enum TStretchMode;

class TCanvas {
 public:
  explicit TCanvas(TBitmap& bitmap) : bitmap_(bitmap) {}

  TBrush& Brush() { return brush_; }
  TPen& Pen() { return pen_; }
  TBitmap& Bitmap() { return bitmap_; }

  // Fills rect (right and bottom exclusive, clipped to the bitmap) with the brush.
  // Hatch styles paint the hatch lines in the brush colour and leave the rest.
  // Empty or inverted rectangles draw nothing.
  void FillRect(const TRect& rect);

  // Copies source with its top-left corner at (x, y), clipped on every side. Any
  // source format may be drawn onto any destination format; the colours are
  // converted when the formats (or palettes) differ.
  void Draw(int x, int y, const TBitmap& source);
  // Copies only sourceRect of source (clipped to the source) with its top-left
  // corner at (x, y).
  void Draw(int x, int y, const TBitmap& source, const TRect& sourceRect);

  // Scales source into dest (clipped to the bitmap; an empty or inverted dest draws
  // nothing).
  //  smNearest:  destination column dx (0-based inside dest) takes source column
  //              floor((dx + 0.5) * sw / dw), i.e. the source pixel under the
  //              destination pixel's centre; rows alike. Integer zooms replicate
  //              each source pixel exactly.
  //  smHalftone: each destination pixel is the area-weighted mean of the source
  //              pixels it covers, per channel, rounded half up. Enlarging by an
  //              integer factor is plain replication; other enlargements blend
  //              only where a destination pixel straddles two source pixels.
  void StretchDraw(const TRect& dest, const TBitmap& source, TStretchMode mode = smNearest);

  // Fills the polygon with the brush using the even-odd rule: a pixel is filled when
  // its centre (x + 0.5, y + 0.5) is inside (see PointInPolygonEvenOdd). Fewer than
  // three points draw nothing.
  void Polygon(const std::vector<TPoint>& points);

  // Copies the pixels of source (drawn with its top-left at (x, y)) only where they
  // fall inside the polygon (even-odd rule); polygon points are in this canvas's
  // coordinates.
  void DrawClipped(int x, int y, const TBitmap& source, const std::vector<TPoint>& polygon);

  // Single pixels, for tests and small tools (not for per-pixel work in loops).
  // Outside the bitmap Pixel returns clNone and SetPixel does nothing.
  TColor Pixel(int x, int y) const;
  void SetPixel(int x, int y, TColor c);

  // Straight line with the pen from (x1, y1) to (x2, y2), end point excluded
  // (Bresenham). A pen wider than one pixel paints a Width x Width square centred on
  // each point of the line; widths below one count as one.
  void Line(int x1, int y1, int x2, int y2);

 private:
  TBitmap& bitmap_;
  TBrush brush_;
  TPen pen_;
};

// Whether (x + 0.5, y + 0.5) lies inside the polygon by the even-odd rule. Edges are
// half-open: a point exactly on a left edge or a top edge is inside, on a right or
// bottom edge outside, so polygons that share an edge never both own a pixel.
bool PointInPolygonEvenOdd(const std::vector<TPoint>& polygon, double x, double y);

}  // namespace vx
