// Enhanced Metafile (32-bit records with a frame in hundredths of a millimetre).
#include <cmath>
#include <memory>
#include <vector>

#include "metafile/formats.h"
#include "metafile/recordreader.h"

namespace vx::metafile {

namespace {

constexpr uint32_t kSignature = 0x464D4520;  // " EMF"
constexpr uint32_t kMaxHandles = 65536;
constexpr uint32_t kStockBit = 0x80000000;

enum : uint32_t {
  kHeader = 1,
  kPolyBezier,
  kPolygon,
  kPolyline,
  kPolyBezierTo,
  kPolylineTo,
  kPolyPolyline,
  kPolyPolygon,
  kSetWindowExtEx,
  kSetWindowOrgEx,
  kSetViewportExtEx,
  kSetViewportOrgEx,
  kSetBrushOrgEx,
  kEof,
  kSetPixelV,
  kSetMapperFlags,
  kSetMapMode,
  kSetBkMode,
  kSetPolyFillMode,
  kSetRop2,
  kSetStretchBltMode,
  kSetTextAlign,
  kSetColorAdjustment,
  kSetTextColor,
  kSetBkColor,
  kOffsetClipRgn,
  kMoveToEx,
  kSetMetaRgn,
  kExcludeClipRect,
  kIntersectClipRect,
  kScaleViewportExtEx,
  kScaleWindowExtEx,
  kSaveDc,
  kRestoreDc,
  kSetWorldTransform,
  kModifyWorldTransform,
  kSelectObject,
  kCreatePen,
  kCreateBrushIndirect,
  kDeleteObject,
  kAngleArc,
  kEllipse,
  kRectangle,
  kRoundRect,
  kArc,
  kChord,
  kPie,
  kSelectPalette,
  kCreatePalette,
  kSetPaletteEntries,
  kResizePalette,
  kRealizePalette,
  kExtFloodFill,
  kLineTo,
  kArcTo,
  kPolyDraw,
  kSetArcDirection,
  kSetMiterLimit,
  kBeginPath,
  kEndPath,
  kCloseFigure,
  kFillPath,
  kStrokeAndFillPath,
  kStrokePath,
  kFlattenPath,
  kWidenPath,
  kSelectClipPath,
  kAbortPath,
  kGdiComment = 70,
  kFillRgn,
  kFrameRgn,
  kInvertRgn,
  kPaintRgn,
  kExtSelectClipRgn,
  kBitBlt,
  kStretchBlt,
  kMaskBlt,
  kPlgBlt,
  kSetDiBitsToDevice,
  kStretchDiBits,
  kExtCreateFontIndirectW,
  kExtTextOutA,
  kExtTextOutW,
  kPolyBezier16,
  kPolygon16,
  kPolyline16,
  kPolyBezierTo16,
  kPolylineTo16,
  kPolyPolyline16,
  kPolyPolygon16,
  kPolyDraw16,
  kCreateMonoBrush,
  kCreateDibPatternBrushPt,
  kExtCreatePen,
  kAlphaBlend = 114,
};

TGdiObject StockObject(uint32_t index) {
  TGdiObject o;
  const auto brush = [&](int style, TColorRef c) {
    o.kind = TGdiObject::kBrush;
    o.brush.style = style;
    o.brush.color = c;
  };
  const auto pen = [&](int style, TColorRef c) {
    o.kind = TGdiObject::kPen;
    o.pen.style = style;
    o.pen.color = c;
  };
  switch (index) {
    case 0:
      brush(kBsSolid, 0xFFFFFF);
      break;
    case 1:
      brush(kBsSolid, 0xC0C0C0);
      break;
    case 2:
      brush(kBsSolid, 0x808080);
      break;
    case 3:
      brush(kBsSolid, 0x404040);
      break;
    case 4:
      brush(kBsSolid, 0x000000);
      break;
    case 5:
      brush(kBsNull, 0);
      break;
    case 6:
      pen(kPsSolid, 0xFFFFFF);
      break;
    case 7:
      pen(kPsSolid, 0x000000);
      break;
    case 8:
      pen(kPsNull, 0);
      break;
    case 18:
      brush(kBsSolid, 0xFFFFFF);
      break;
    case 19:
      pen(kPsSolid, 0x000000);
      break;
    default:
      if (index >= 10 && index <= 17) {
        o.kind = TGdiObject::kFont;
        o.font.height = -12;
        o.font.face = index == 10 || index == 11 || index == 16 ? "monospace" : "sans-serif";
      }
      break;
  }
  return o;
}

class TEmfPlayer {
 public:
  TEmfPlayer(const TEmfLayout& layout, TGdiDevice& device) : device_(device) {
    (void)layout;  // the header's handle count is a hint that some writers get wrong
  }

  // r spans the whole record, type and size included.
  void Record(uint32_t type, TRecordReader& r);

 private:
  void Store(uint32_t index, TGdiObject object) {
    if (index == 0 || index >= kMaxHandles) return;
    if (objects_.size() <= index) objects_.resize(index + 1);
    objects_[index] = std::make_unique<TGdiObject>(std::move(object));
  }
  // A created or stock object (stock ones are built into stock); nullptr when none.
  const TGdiObject* Lookup(uint32_t index, TGdiObject& stock) const;
  void Select(uint32_t index);
  std::vector<double> Points(TRecordReader& r, size_t count, bool small) {
    std::vector<double> pts;
    if (count > r.Remaining() / (small ? 4 : 8)) return pts;
    pts.resize(2 * count);
    for (size_t i = 0; i < 2 * count; ++i) pts[i] = small ? r.I16() : r.I32();
    return pts;
  }
  static void Box(TRecordReader& r, double& l, double& t, double& rt, double& b) {
    l = r.I32(), t = r.I32(), rt = r.I32(), b = r.I32();
  }
  static cairo_matrix_t Xform(TRecordReader& r) {
    cairo_matrix_t m;
    m.xx = r.F32(), m.yx = r.F32(), m.xy = r.F32(), m.yy = r.F32(), m.x0 = r.F32(), m.y0 = r.F32();
    return m;
  }
  static bool RegionData(TRecordReader& r, uint32_t bytes, TGdiRegion& region);
  TSurfacePtr Dib(TRecordReader& r, uint32_t offBmi, uint32_t cbBmi, uint32_t offBits,
                  uint32_t cbBits) {
    const uint8_t* bmi = r.Span(offBmi, cbBmi);
    const uint8_t* bits = r.Span(offBits, cbBits);
    if (!bmi || !bits || cbBmi == 0 || cbBits == 0) return nullptr;
    return DecodeDib(bmi, cbBmi, bits, cbBits);
  }
  void Poly(uint32_t type, TRecordReader& r);
  void PolyPoly(uint32_t type, TRecordReader& r);
  void Text(uint32_t type, TRecordReader& r);
  void Blt(uint32_t type, TRecordReader& r);

  TGdiDevice& device_;
  std::vector<std::unique_ptr<TGdiObject>> objects_;
};

const TGdiObject* TEmfPlayer::Lookup(uint32_t index, TGdiObject& stock) const {
  if (index & kStockBit) {
    stock = StockObject(index & ~kStockBit);
    return &stock;
  }
  return index < objects_.size() ? objects_[index].get() : nullptr;
}

void TEmfPlayer::Select(uint32_t index) {
  TGdiObject stock;
  const TGdiObject* o = Lookup(index, stock);
  if (!o) return;
  TDcState& s = device_.State();
  if (o->kind == TGdiObject::kPen) s.pen = o->pen;
  if (o->kind == TGdiObject::kBrush) s.brush = o->brush;
  if (o->kind == TGdiObject::kFont) s.font = o->font;
}

bool TEmfPlayer::RegionData(TRecordReader& r, uint32_t bytes, TGdiRegion& region) {
  if (bytes < 32 || bytes > r.Remaining()) return false;
  r.U32();  // header size
  r.U32();  // type
  const uint32_t count = r.U32();
  r.U32();
  r.Skip(16);
  if (count > (bytes - 32) / 16) return false;
  for (uint32_t i = 0; i < count; ++i) {
    const double l = r.I32(), t = r.I32(), rt = r.I32(), b = r.I32();
    region.rects.insert(region.rects.end(), {l, t, rt, b});
  }
  return r.Ok();
}

void TEmfPlayer::Poly(uint32_t type, TRecordReader& r) {
  const bool small = type >= kPolyBezier16;
  const uint32_t base = small ? type - kPolyBezier16 + kPolyBezier : type;
  r.Skip(16);
  const std::vector<double> pts = Points(r, r.U32(), small);
  if (pts.empty()) return;
  switch (base) {
    case kPolyBezier:
      device_.PolyBezier(pts, false);
      break;
    case kPolygon:
      device_.Polygon(pts);
      break;
    case kPolyline:
      device_.Polyline(pts, false);
      break;
    case kPolyBezierTo:
      device_.PolyBezier(pts, true);
      break;
    case kPolylineTo:
      device_.Polyline(pts, true);
      break;
    default:
      break;
  }
}

void TEmfPlayer::PolyPoly(uint32_t type, TRecordReader& r) {
  const bool small = type == kPolyPolyline16 || type == kPolyPolygon16;
  r.Skip(16);
  const uint32_t n = r.U32(), total = r.U32();
  if (n > r.Remaining() / 4) return;
  std::vector<uint32_t> counts(n);
  for (auto& c : counts) c = r.U32();
  const std::vector<double> pts = Points(r, total, small);
  if (pts.empty()) return;
  if (type == kPolyPolygon || type == kPolyPolygon16)
    device_.PolyPolygon(pts, counts);
  else
    device_.PolyPolyline(pts, counts);
}

void TEmfPlayer::Text(uint32_t type, TRecordReader& r) {
  r.Skip(16 + 12);  // bounds, graphics mode, scales
  TTextRun run;
  run.x = r.I32(), run.y = r.I32();
  const uint32_t n = r.U32(), offString = r.U32();
  run.options = r.U32();
  for (double& v : run.rect) v = r.I32();
  const uint32_t offDx = r.U32();
  if (!r.Ok()) return;
  run.hasRect = run.rect[2] > run.rect[0] && run.rect[3] > run.rect[1];
  run.glyphIndices = (run.options & 0x10) != 0;
  const bool wide = type == kExtTextOutW;
  const uint8_t* text = r.Span(offString, uint64_t{n} * (wide ? 2 : 1));
  if (!text) return;
  if (wide) {
    run.text.resize(n);
    for (uint32_t i = 0; i < n; ++i)
      run.text[i] = static_cast<char16_t>(text[2 * i] | text[2 * i + 1] << 8);
  } else {
    run.text = WidenAnsi(text, n);
  }
  // ETO_PDY stores a vertical advance after each horizontal one.
  const uint32_t step = (run.options & 0x2000) ? 8 : 4;
  if (const uint8_t* dx = offDx ? r.Span(offDx, uint64_t{n} * step) : nullptr) {
    for (uint32_t i = 0; i < n; ++i) {
      const uint8_t* p = dx + size_t{i} * step;
      run.dx.push_back(static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24));
    }
  }
  device_.Text(run);
}

void TEmfPlayer::Blt(uint32_t type, TRecordReader& r) {
  r.Skip(16);  // bounds
  double dx = 0, dy = 0, dw = 0, dh = 0, sx = 0, sy = 0, sw = 0, sh = 0;
  uint32_t rop = kSrcCopy, offBmi = 0, cbBmi = 0, offBits = 0, cbBits = 0;
  bool bottomUpOrigin = false;
  if (type == kStretchDiBits || type == kSetDiBitsToDevice) {
    dx = r.I32(), dy = r.I32(), sx = r.I32(), sy = r.I32(), sw = r.I32(), sh = r.I32();
    offBmi = r.U32(), cbBmi = r.U32(), offBits = r.U32(), cbBits = r.U32();
    r.U32();  // colour usage
    if (type == kStretchDiBits) {
      rop = r.U32();
      dw = r.I32(), dh = r.I32();
    } else {
      dw = sw, dh = sh;
    }
    bottomUpOrigin = true;
  } else {
    dx = r.I32(), dy = r.I32(), dw = r.I32(), dh = r.I32();
    rop = r.U32();
    sx = r.I32(), sy = r.I32();
    r.Skip(24);  // source transform
    r.U32();     // source background
    r.U32();     // colour usage
    offBmi = r.U32(), cbBmi = r.U32(), offBits = r.U32(), cbBits = r.U32();
    if (type == kStretchBlt || type == kAlphaBlend) {
      sw = r.I32(), sh = r.I32();
    } else {
      sw = dw, sh = dh;
    }
  }
  if (!r.Ok()) return;
  if (type == kAlphaBlend) {
    // The raster operation's place holds the blend: constant alpha in bits 16..23, and
    // bit 24 when the bitmap carries its own (premultiplied) alpha.
    const uint8_t* bmi = r.Span(offBmi, cbBmi);
    const uint8_t* bits = r.Span(offBits, cbBits);
    TSurfacePtr source = (rop >> 24 & 1) && bmi && bits
                             ? DecodeDibWithAlpha(bmi, cbBmi, bits, cbBits)
                             : Dib(r, offBmi, cbBmi, offBits, cbBits);
    if (source)
      device_.AlphaBlend(dx, dy, dw, dh, source.get(), sx, sy, sw, sh, (rop >> 16 & 0xFF) / 255.0);
    return;
  }
  TSurfacePtr source = Dib(r, offBmi, cbBmi, offBits, cbBits);
  if (source && bottomUpOrigin && DibBottomUp(r.Span(offBmi, cbBmi), cbBmi))
    sy = cairo_image_surface_get_height(source.get()) - sy - sh;
  device_.Blit(dx, dy, dw, dh, source.get(), sx, sy, sw, sh, rop);
}

void TEmfPlayer::Record(uint32_t type, TRecordReader& r) {
  TDcState& s = device_.State();
  double l, t, rt, b;
  r.Skip(8);
  switch (type) {
    case kPolyBezier:
    case kPolygon:
    case kPolyline:
    case kPolyBezierTo:
    case kPolylineTo:
    case kPolyBezier16:
    case kPolygon16:
    case kPolyline16:
    case kPolyBezierTo16:
    case kPolylineTo16:
      Poly(type, r);
      break;
    case kPolyPolyline:
    case kPolyPolygon:
    case kPolyPolyline16:
    case kPolyPolygon16:
      PolyPoly(type, r);
      break;
    case kSetWindowExtEx:
    case kSetWindowOrgEx:
    case kSetViewportExtEx:
    case kSetViewportOrgEx:
    case kMoveToEx:
    case kLineTo: {
      const double x = r.I32(), y = r.I32();
      if (!r.Ok()) break;
      if (type == kSetWindowExtEx) device_.SetWindowExt(x, y);
      if (type == kSetWindowOrgEx) device_.SetWindowOrg(x, y);
      if (type == kSetViewportExtEx) device_.SetViewportExt(x, y);
      if (type == kSetViewportOrgEx) device_.SetViewportOrg(x, y);
      if (type == kMoveToEx) device_.MoveTo(x, y);
      if (type == kLineTo) device_.LineTo(x, y);
      break;
    }
    case kScaleViewportExtEx:
    case kScaleWindowExtEx: {
      const double xn = r.I32(), xd = r.I32(), yn = r.I32(), yd = r.I32();
      if (!r.Ok() || xd == 0 || yd == 0) break;
      if (type == kScaleWindowExtEx)
        device_.SetWindowExt(s.winExtX * xn / xd, s.winExtY * yn / yd);
      else
        device_.SetViewportExt(s.vpExtX * xn / xd, s.vpExtY * yn / yd);
      break;
    }
    case kSetPixelV: {
      const double x = r.I32(), y = r.I32();
      const TColorRef c = r.U32() & 0xFFFFFF;
      if (r.Ok()) device_.SetPixel(x, y, c);
      break;
    }
    case kSetMapMode:
      device_.SetMapMode(static_cast<int>(r.U32()));
      break;
    case kSetBkMode:
      s.bkMode = static_cast<int>(r.U32());
      break;
    case kSetPolyFillMode:
      s.polyFill = static_cast<int>(r.U32());
      break;
    case kSetTextAlign:
      s.textAlign = static_cast<int>(r.U32() & 0xFFFF);
      break;
    case kSetTextColor:
      s.textColor = r.U32() & 0xFFFFFF;
      break;
    case kSetBkColor:
      s.bkColor = r.U32() & 0xFFFFFF;
      break;
    case kSetArcDirection:
      s.arcClockwise = r.U32() == 2;
      break;
    case kSetMiterLimit:
      s.miterLimit = r.U32();
      break;
    case kExcludeClipRect:
    case kIntersectClipRect:
      Box(r, l, t, rt, b);
      if (!r.Ok()) break;
      if (type == kIntersectClipRect)
        device_.IntersectClipRect(l, t, rt, b);
      else
        device_.ExcludeClipRect(l, t, rt, b);
      break;
    case kSaveDc:
      device_.SaveDC();
      break;
    case kRestoreDc:
      device_.RestoreDC(r.I32());
      break;
    case kSetWorldTransform: {
      const cairo_matrix_t m = Xform(r);
      if (r.Ok()) device_.ModifyWorldTransform(m, 4);
      break;
    }
    case kModifyWorldTransform: {
      const cairo_matrix_t m = Xform(r);
      const uint32_t mode = r.U32();
      if (r.Ok()) device_.ModifyWorldTransform(m, static_cast<int>(mode));
      break;
    }
    case kSelectObject:
      Select(r.U32());
      break;
    case kDeleteObject: {
      const uint32_t i = r.U32();
      if (i < objects_.size()) objects_[i].reset();
      break;
    }
    case kCreatePen: {
      const uint32_t index = r.U32();
      TGdiObject o;
      o.kind = TGdiObject::kPen;
      o.pen.style = static_cast<int>(r.U32() & 0xFFFF);
      o.pen.width = std::abs(static_cast<double>(r.I32()));
      r.I32();
      o.pen.color = r.U32() & 0xFFFFFF;
      o.pen.cosmetic = o.pen.width == 0;
      if (r.Ok()) Store(index, std::move(o));
      break;
    }
    case kExtCreatePen: {
      const uint32_t index = r.U32();
      r.Skip(16);  // the pattern bitmap of a pattern pen is not used
      TGdiObject o;
      o.kind = TGdiObject::kPen;
      const uint32_t style = r.U32();
      o.pen.width = r.U32();
      const uint32_t brushStyle = r.U32();
      o.pen.color = r.U32() & 0xFFFFFF;
      r.U32();  // hatch
      const uint32_t entries = r.U32();
      o.pen.style = static_cast<int>(style & 0xFFFF);
      o.pen.cosmetic = !(style & 0x10000);
      if (brushStyle == kBsNull) o.pen.style = kPsNull;
      if ((style & 0x0F) == kPsUserStyle && entries <= 16 && entries <= r.Remaining() / 4)
        for (uint32_t i = 0; i < entries; ++i) o.pen.dashes.push_back(r.U32());
      if (r.Ok()) Store(index, std::move(o));
      break;
    }
    case kCreateBrushIndirect: {
      const uint32_t index = r.U32();
      TGdiObject o;
      o.kind = TGdiObject::kBrush;
      o.brush.style = static_cast<int>(r.U32());
      o.brush.color = r.U32() & 0xFFFFFF;
      o.brush.hatch = static_cast<int>(r.U32());
      if (o.brush.style != kBsNull && o.brush.style != kBsHatched) o.brush.style = kBsSolid;
      if (r.Ok()) Store(index, std::move(o));
      break;
    }
    case kCreateMonoBrush:
    case kCreateDibPatternBrushPt: {
      const uint32_t index = r.U32();
      r.U32();  // colour usage
      const uint32_t offBmi = r.U32(), cbBmi = r.U32(), offBits = r.U32(), cbBits = r.U32();
      TGdiObject o;
      o.kind = TGdiObject::kBrush;
      o.brush.style = kBsDibPatternPt;
      o.brush.color = 0x808080;
      o.brush.pattern = Dib(r, offBmi, cbBmi, offBits, cbBits);
      if (r.Ok()) Store(index, std::move(o));
      break;
    }
    case kExtCreateFontIndirectW: {
      const uint32_t index = r.U32();
      TGdiObject o;
      o.kind = TGdiObject::kFont;
      o.font.height = r.I32();
      r.I32();  // width
      o.font.escapement = r.I32();
      r.I32();  // orientation
      o.font.weight = r.I32();
      o.font.italic = r.U8() != 0;
      o.font.underline = r.U8() != 0;
      o.font.strikeOut = r.U8() != 0;
      o.font.charset = r.U8();
      r.Skip(4);
      for (int i = 0; i < 32 && r.Remaining() >= 2; ++i) {
        const char16_t c = r.U16();
        if (!c) break;
        if (c < 0x80) o.font.face += static_cast<char>(c);
      }
      Store(index, std::move(o));
      break;
    }
    case kAngleArc: {
      const double x = r.I32(), y = r.I32(), radius = r.U32();
      const double start = r.F32(), sweep = r.F32();
      if (r.Ok()) device_.AngleArc(x, y, radius, start, sweep);
      break;
    }
    case kEllipse:
    case kRectangle:
      Box(r, l, t, rt, b);
      if (!r.Ok()) break;
      if (type == kEllipse)
        device_.Ellipse(l, t, rt, b);
      else
        device_.Rectangle(l, t, rt, b);
      break;
    case kRoundRect: {
      Box(r, l, t, rt, b);
      const double w = r.I32(), h = r.I32();
      if (r.Ok()) device_.RoundRect(l, t, rt, b, w, h);
      break;
    }
    case kArc:
    case kChord:
    case kPie:
    case kArcTo: {
      Box(r, l, t, rt, b);
      const double xs = r.I32(), ys = r.I32(), xe = r.I32(), ye = r.I32();
      if (!r.Ok()) break;
      const auto kind = type == kArc     ? TGdiDevice::ArcKind::kArc
                        : type == kChord ? TGdiDevice::ArcKind::kChord
                        : type == kPie   ? TGdiDevice::ArcKind::kPie
                                         : TGdiDevice::ArcKind::kArcTo;
      device_.Arc(kind, l, t, rt, b, xs, ys, xe, ye);
      break;
    }
    case kBeginPath:
      device_.BeginPath();
      break;
    case kEndPath:
      device_.EndPath();
      break;
    case kCloseFigure:
      device_.CloseFigure();
      break;
    case kFillPath:
      device_.FillPath();
      break;
    case kStrokeAndFillPath:
      device_.StrokeAndFillPath();
      break;
    case kStrokePath:
      device_.StrokePath();
      break;
    case kAbortPath:
      device_.AbortPath();
      break;
    case kSelectClipPath:
      device_.SelectClipPath(static_cast<int>(r.U32()));
      break;
    case kExtSelectClipRgn: {
      const uint32_t bytes = r.U32(), mode = r.U32();
      TGdiRegion region;
      if (bytes == 0 || !RegionData(r, bytes, region))
        device_.SelectClipRegion(nullptr, static_cast<int>(mode), true);
      else
        device_.SelectClipRegion(&region, static_cast<int>(mode), true);
      break;
    }
    case kFillRgn:
    case kPaintRgn: {
      r.Skip(16);
      const uint32_t bytes = r.U32();
      TGdiBrush brush = s.brush;
      if (type == kFillRgn) {
        TGdiObject stock;
        const TGdiObject* o = Lookup(r.U32(), stock);
        if (!o || o->kind != TGdiObject::kBrush) break;
        brush = o->brush;
      }
      TGdiRegion region;
      if (RegionData(r, bytes, region)) device_.FillRegion(region, brush, true);
      break;
    }
    case kBitBlt:
    case kStretchBlt:
    case kAlphaBlend:
    case kStretchDiBits:
    case kSetDiBitsToDevice:
      Blt(type, r);
      break;
    case kExtTextOutA:
    case kExtTextOutW:
      Text(type, r);
      break;
    default:
      break;  // skipped by its size
  }
}

}  // namespace

bool ReadEmfLayout(const uint8_t* data, size_t size, TEmfLayout& layout) {
  layout = TEmfLayout{};
  TRecordReader r(data, size);
  const uint32_t type = r.U32(), headerSize = r.U32();
  for (int32_t& v : layout.bounds) v = r.I32();
  for (int32_t& v : layout.frame) v = r.I32();
  const uint32_t signature = r.U32();
  r.U32();  // version
  r.U32();  // bytes
  r.U32();  // records
  layout.handles = r.U16();
  r.Skip(2 + 4 + 4 + 4);
  layout.device[0] = r.I32(), layout.device[1] = r.I32();
  layout.millimetres[0] = r.I32(), layout.millimetres[1] = r.I32();
  return r.Ok() && type == kHeader && signature == kSignature && headerSize >= 88 &&
         headerSize <= size && headerSize % 4 == 0;
}

namespace {
// The picture's rectangle in reference-device pixels: the frame, else the bounds.
bool PictureRect(const TEmfLayout& layout, double perMmX, double perMmY, double rect[4]) {
  const int32_t* f = layout.frame;
  if (f[2] > f[0] && f[3] > f[1]) {
    rect[0] = f[0] / 100.0 * perMmX, rect[1] = f[1] / 100.0 * perMmY;
    rect[2] = f[2] / 100.0 * perMmX, rect[3] = f[3] / 100.0 * perMmY;
    return true;
  }
  const int32_t* b = layout.bounds;
  if (b[2] < b[0] || b[3] < b[1]) return false;
  rect[0] = b[0], rect[1] = b[1], rect[2] = b[2] + 1.0, rect[3] = b[3] + 1.0;
  return true;
}

void ReferencePerMm(const TEmfLayout& layout, double& x, double& y) {
  x = y = 96 / 25.4;
  if (layout.device[0] > 0 && layout.millimetres[0] > 0)
    x = static_cast<double>(layout.device[0]) / layout.millimetres[0];
  if (layout.device[1] > 0 && layout.millimetres[1] > 0)
    y = static_cast<double>(layout.device[1]) / layout.millimetres[1];
}
}  // namespace

void EmfNaturalSize(const TEmfLayout& layout, int dpiX, int dpiY, int& width, int& height) {
  width = height = 0;
  const int32_t* f = layout.frame;
  double w = 0, h = 0;
  if (f[2] > f[0] && f[3] > f[1]) {
    w = (static_cast<double>(f[2]) - f[0]) * dpiX / 2540;
    h = (static_cast<double>(f[3]) - f[1]) * dpiY / 2540;
  } else {
    const int32_t* b = layout.bounds;
    w = static_cast<double>(b[2]) - b[0] + 1;
    h = static_cast<double>(b[3]) - b[1] + 1;
  }
  if (!(w > 0 && h > 0)) return;
  width = static_cast<int>(std::lround(std::min(w, 1e9)));
  height = static_cast<int>(std::lround(std::min(h, 1e9)));
}

void PlayEmf(const uint8_t* data, size_t size, const TEmfLayout& layout, TGdiDevice& device,
             int width, int height) {
  double perMmX, perMmY, rect[4];
  ReferencePerMm(layout, perMmX, perMmY);
  if (!PictureRect(layout, perMmX, perMmY, rect)) return;
  const double sx = width / (rect[2] - rect[0]), sy = height / (rect[3] - rect[1]);
  if (!std::isfinite(sx) || !std::isfinite(sy)) return;
  cairo_matrix_t output;
  cairo_matrix_init(&output, sx, 0, 0, sy, -rect[0] * sx, -rect[1] * sy);
  device.SetOutput(output);
  device.SetReferencePixelsPerMm(perMmX, perMmY);
  TEmfPlayer player(layout, device);
  size_t pos = 0;
  while (pos + 8 <= size) {
    TRecordReader head(data + pos, 8);
    const uint32_t type = head.U32(), bytes = head.U32();
    if (type == kEof || bytes < 8 || bytes % 4 || bytes > size - pos) break;
    TRecordReader r(data + pos, bytes);
    if (type != kHeader) player.Record(type, r);
    pos += bytes;
    if (!device.Spend(1)) break;
  }
}

}  // namespace vx::metafile
