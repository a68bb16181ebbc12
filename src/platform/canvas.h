#pragma once
// Drawing on a TBitmap: solid and hatch brushes, fills, blits, stretching and
// even-odd polygons. Works on any storage format; 24-bit is the fast path.
#include <vector>

#include "platform/types.h"

namespace vx {

class TBitmap;

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
  void FillRect(const TRect& rect);

  // Copies source with its top-left corner at (x, y), clipped.
  void Draw(int x, int y, const TBitmap& source);

  // Scales source into dest.
  void StretchDraw(const TRect& dest, const TBitmap& source, TStretchMode mode = smNearest);

  // Fills the polygon with the brush using the even-odd rule.
  void Polygon(const std::vector<TPoint>& points);

  // Copies the pixels of source (drawn with its top-left at (x, y)) only where they
  // fall inside the polygon (even-odd rule); polygon points are in this canvas's
  // coordinates.
  void DrawClipped(int x, int y, const TBitmap& source, const std::vector<TPoint>& polygon);

  // Single pixels, for tests and small tools (not for per-pixel work in loops).
  TColor Pixel(int x, int y) const;
  void SetPixel(int x, int y, TColor c);

  // Straight line with the pen from (x1, y1) to (x2, y2), end point excluded.
  void Line(int x1, int y1, int x2, int y2);

 private:
  TBitmap& bitmap_;
  TBrush brush_;
  TPen pen_;
};

// Whether (x + 0.5, y + 0.5) lies inside the polygon by the even-odd rule.
bool PointInPolygonEvenOdd(const std::vector<TPoint>& polygon, double x, double y);

}  // namespace vx
