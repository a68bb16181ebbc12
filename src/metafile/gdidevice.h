#pragma once
// The drawing state machine both metafile formats play into: a device context with its
// mapping (window, viewport, world transform), selected pen, brush and font, text and
// background settings, clip and path, and a stack of saved states. Coordinates come in
// as logical units; cairo does the rasterising on an image surface.
#include <cairo.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vx::metafile {

// GDI constants the players share.
enum : int {
  kMmText = 1,
  kMmLoMetric,
  kMmHiMetric,
  kMmLoEnglish,
  kMmHiEnglish,
  kMmTwips,
  kMmIsotropic,
  kMmAnisotropic
};
enum : int {
  kPsSolid = 0,
  kPsDash,
  kPsDot,
  kPsDashDot,
  kPsDashDotDot,
  kPsNull,
  kPsInsideFrame,
  kPsUserStyle
};
enum : int {
  kBsSolid = 0,
  kBsNull = 1,
  kBsHatched = 2,
  kBsPattern = 3,
  kBsDibPattern = 5,
  kBsDibPatternPt = 6
};
enum : int { kTransparent = 1, kOpaque = 2 };
enum : int { kAlternate = 1, kWinding = 2 };
enum : int { kRgnAnd = 1, kRgnOr = 2, kRgnXor = 3, kRgnDiff = 4, kRgnCopy = 5 };
inline constexpr uint32_t kSrcCopy = 0x00CC0020;

// A colour as GDI stores it: 0x00BBGGRR.
using TColorRef = uint32_t;

struct TGdiPen {
  int style = kPsSolid;  // low nibble: dash style; 0x0F00 end cap; 0xF000 join
  double width = 0;      // logical units; 0 = one device pixel
  TColorRef color = 0;
  bool cosmetic = true;        // width is in device pixels, not transformed
  std::vector<double> dashes;  // user style, logical units
};

struct TGdiBrush {
  int style = kBsSolid;
  TColorRef color = 0xFFFFFF;
  int hatch = 0;
  std::shared_ptr<cairo_surface_t> pattern;  // pattern brushes (device pixels)
};

struct TGdiFont {
  double height = 0;      // GDI lfHeight: < 0 character height, > 0 cell height, 0 default
  double escapement = 0;  // tenths of a degree, counter-clockwise
  int weight = 400;
  bool italic = false, underline = false, strikeOut = false;
  int charset = 0;
  std::string face;
};

// A rectangle list in logical (WMF) or device (EMF) units.
struct TGdiRegion {
  std::vector<double> rects;  // left, top, right, bottom, ...
};

struct TGdiObject {
  enum Kind { kNone, kPen, kBrush, kFont, kPalette, kRegion } kind = kNone;
  TGdiPen pen;
  TGdiBrush brush;
  TGdiFont font;
  TGdiRegion region;
};

// One step of the clip: a device-space path the drawing is limited to (or kept out of).
struct TClipStep {
  std::shared_ptr<cairo_path_t> path;
  bool exclude = false;
  bool evenOdd = false;
};

struct TDcState {
  TGdiPen pen{kPsSolid, 0, 0, true, {}};
  TGdiBrush brush{kBsSolid, 0xFFFFFF, 0, nullptr};
  TGdiFont font;
  TColorRef textColor = 0, bkColor = 0xFFFFFF;
  int bkMode = kOpaque, polyFill = kAlternate, textAlign = 0, mapMode = kMmText;
  bool arcClockwise = false;
  double winOrgX = 0, winOrgY = 0, winExtX = 1, winExtY = 1;
  double vpOrgX = 0, vpOrgY = 0, vpExtX = 1, vpExtY = 1;
  cairo_matrix_t world{1, 0, 0, 1, 0, 0};
  double curX = 0, curY = 0;
  double miterLimit = 10;
  std::vector<TClipStep> clip;
};

// Text as the records carry it: UTF-16 code units (ANSI text is widened first) and the
// optional advance of each, in logical units.
struct TTextRun {
  double x = 0, y = 0;
  std::u16string text;
  std::vector<double> dx;
  uint32_t options = 0;       // ETO_OPAQUE 2, ETO_CLIPPED 4
  bool glyphIndices = false;  // ETO_GLYPH_INDEX: the units are glyphs of the font
  bool hasRect = false;
  double rect[4] = {0, 0, 0, 0};
};

class TGdiDevice {
 public:
  // Draws into surface (an image surface of width x height). refPerMm* tell how many
  // reference-device pixels one millimetre holds, for the fixed mapping modes; the
  // output matrix maps reference-device pixels onto the surface.
  TGdiDevice(cairo_surface_t* surface, int width, int height);
  ~TGdiDevice();
  TGdiDevice(const TGdiDevice&) = delete;
  TGdiDevice& operator=(const TGdiDevice&) = delete;

  void SetOutput(const cairo_matrix_t& output) { output_ = output; }
  void SetReferencePixelsPerMm(double x, double y) {
    refPerMmX_ = x;
    refPerMmY_ = y;
  }
  // The WMF model: mapping is always window -> viewport; the mapping-mode and viewport
  // records of the file are not applied (the viewport is the output rectangle).
  void SetFixedViewport(bool fixed) { fixedViewport_ = fixed; }
  const cairo_matrix_t& Output() const { return output_; }

  TDcState& State() { return state_; }
  void SaveDC();
  void RestoreDC(int which);  // < 0 relative, > 0 absolute
  void SetMapMode(int mode);
  void SetWindowOrg(double x, double y) { state_.winOrgX = x, state_.winOrgY = y; }
  void SetWindowExt(double x, double y);
  void SetViewportOrg(double x, double y);
  void SetViewportExt(double x, double y);
  void SetWorldTransform(const cairo_matrix_t& m) { state_.world = m; }
  // mode: 1 identity, 2 left multiply, 3 right multiply, 4 set.
  void ModifyWorldTransform(const cairo_matrix_t& m, int mode);

  // Drawing, in logical coordinates.
  void MoveTo(double x, double y);
  void LineTo(double x, double y);
  void Polyline(const std::vector<double>& pts, bool fromCurrent);
  void Polygon(const std::vector<double>& pts);
  void PolyPolygon(const std::vector<double>& pts, const std::vector<uint32_t>& counts);
  void PolyPolyline(const std::vector<double>& pts, const std::vector<uint32_t>& counts);
  void PolyBezier(const std::vector<double>& pts, bool fromCurrent);
  void Rectangle(double l, double t, double r, double b);
  void RoundRect(double l, double t, double r, double b, double w, double h);
  void Ellipse(double l, double t, double r, double b);
  enum class ArcKind { kArc, kArcTo, kChord, kPie };
  void Arc(ArcKind kind, double l, double t, double r, double b, double xs, double ys, double xe,
           double ye);
  void AngleArc(double x, double y, double radius, double startDeg, double sweepDeg);
  void SetPixel(double x, double y, TColorRef c);
  void Text(const TTextRun& run);
  // Raster operation over the logical rectangle: the source (when given) scaled from
  // its rectangle, combined with the brush and what is there by the ternary code rop.
  void Blit(double x, double y, double w, double h, cairo_surface_t* source, double sx, double sy,
            double sw, double sh, uint32_t rop);
  // The source scaled into the rectangle and laid over what is there, its own alpha
  // (premultiplied) times alpha.
  void AlphaBlend(double x, double y, double w, double h, cairo_surface_t* source, double sx,
                  double sy, double sw, double sh, double alpha);
  // Region fill with a brush; device says the rectangles are reference-device pixels.
  void FillRegion(const TGdiRegion& region, const TGdiBrush& brush, bool device);

  // Paths (EMF).
  void BeginPath();
  void EndPath();
  void AbortPath();
  void CloseFigure();
  void FillPath();
  void StrokePath();
  void StrokeAndFillPath();
  void SelectClipPath(int mode);

  // Clipping.
  void IntersectClipRect(double l, double t, double r, double b);
  void ExcludeClipRect(double l, double t, double r, double b);
  void SelectClipRegion(const TGdiRegion* region, int mode, bool device);

  // A budget on the work a file may ask for; false once it is spent.
  bool Spend(uint64_t points);

 private:
  cairo_matrix_t Full() const;
  bool UseLogical();     // sets cairo's matrix to logical -> surface; false when degenerate
  void UseDevice();      // identity
  double Scale() const;  // logical length -> surface pixels, geometric mean
  void SyncClip();
  // Limits cr (device space) to the clip of the current state.
  void ApplyClip(cairo_t* cr) const;
  void PaintPath(bool fill, bool stroke);
  bool BeginDraw();
  void Finish(bool fill, bool stroke);
  bool SetSourceBrush(const TGdiBrush& brush);
  bool SetSourcePen();
  void Colour(TColorRef c);
  void AddRect(double l, double t, double r, double b);
  void AddArcPath(ArcKind kind, double l, double t, double r, double b, double xs, double ys,
                  double xe, double ye, bool continuePath);
  std::shared_ptr<cairo_path_t> CopyDevicePath();
  void AddClip(std::shared_ptr<cairo_path_t> path, bool exclude, bool evenOdd, int mode);
  void RasterOp(double x, double y, double w, double h, cairo_surface_t* source, double sx,
                double sy, double sw, double sh, uint32_t rop);
  void AddSourceRect(cairo_t* cr, double x, double y, double w, double h, cairo_surface_t* source,
                     double sx, double sy, double sw, double sh, cairo_filter_t filter);

  cairo_surface_t* surface_;
  cairo_t* cr_;
  int width_, height_;
  cairo_matrix_t output_{1, 0, 0, 1, 0, 0};
  double refPerMmX_ = 96 / 25.4, refPerMmY_ = 96 / 25.4;
  bool fixedViewport_ = false;
  TDcState state_;
  std::vector<TDcState> saved_;
  bool clipDirty_ = true;
  bool inPath_ = false;
  std::shared_ptr<cairo_path_t> path_;  // the closed path, device space
  uint64_t budget_ = 0;
};

using TSurfacePtr = std::shared_ptr<cairo_surface_t>;

// Decodes a device-independent bitmap (header and colour table in bmi, the pixel rows in
// bits, or after the colour table when bits is null) into a cairo surface; nullptr when
// the bitmap is damaged, beyond the pixel limit or too large for cairo.
TSurfacePtr DecodeDib(const uint8_t* bmi, size_t bmiSize, const uint8_t* bits, size_t bitsSize);
// A 32-bit uncompressed DIB whose fourth byte is premultiplied alpha (as alpha blending
// takes it); nullptr for any other kind or a damaged one.
TSurfacePtr DecodeDibWithAlpha(const uint8_t* bmi, size_t bmiSize, const uint8_t* bits,
                               size_t bitsSize);

}  // namespace vx::metafile
