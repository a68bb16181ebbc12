// Windows Metafile (16-bit records, optionally behind the placeable header).
#include <cmath>
#include <memory>
#include <vector>

#include "metafile/formats.h"
#include "metafile/recordreader.h"

namespace vx::metafile {

namespace {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr size_t kObjectsWithoutCount = 256;

// The record function numbers handled here.
enum : uint16_t {
  kEof = 0x0000,
  kSaveDc = 0x001E,
  kRealizePalette = 0x0035,
  kCreatePalette = 0x00F7,
  kSetBkMode = 0x0102,
  kSetMapMode = 0x0103,
  kSetPolyFillMode = 0x0106,
  kRestoreDc = 0x0127,
  kInvertRegion = 0x012A,
  kPaintRegion = 0x012B,
  kSelectClipRegion = 0x012C,
  kSelectObject = 0x012D,
  kSetTextAlign = 0x012E,
  kDibCreatePatternBrush = 0x0142,
  kDeleteObject = 0x01F0,
  kCreatePatternBrush = 0x01F9,
  kSetBkColor = 0x0201,
  kSetTextColor = 0x0209,
  kSetWindowOrg = 0x020B,
  kSetWindowExt = 0x020C,
  kSetViewportOrg = 0x020D,
  kSetViewportExt = 0x020E,
  kOffsetWindowOrg = 0x020F,
  kLineTo = 0x0213,
  kMoveTo = 0x0214,
  kFillRegion = 0x0228,
  kCreatePenIndirect = 0x02FA,
  kCreateFontIndirect = 0x02FB,
  kCreateBrushIndirect = 0x02FC,
  kPolygon = 0x0324,
  kPolyline = 0x0325,
  kScaleWindowExt = 0x0410,
  kEllipse = 0x0418,
  kRectangle = 0x041B,
  kSetPixel = 0x041F,
  kExcludeClipRect = 0x0415,
  kIntersectClipRect = 0x0416,
  kTextOut = 0x0521,
  kPolyPolygon = 0x0538,
  kRoundRect = 0x061C,
  kPatBlt = 0x061D,
  kCreateRegion = 0x06FF,
  kArc = 0x0817,
  kPie = 0x081A,
  kChord = 0x0830,
  kDibBitBlt = 0x0940,
  kExtTextOut = 0x0A32,
  kDibStretchBlt = 0x0B41,
  kStretchDib = 0x0F43,
};

class TWmfPlayer {
 public:
  TWmfPlayer(const TWmfLayout& layout, TGdiDevice& device)
      : device_(device), objects_(layout.objects ? layout.objects : kObjectsWithoutCount) {}

  void Record(uint16_t function, TRecordReader& r, size_t words);

 private:
  void Create(TGdiObject object);
  TGdiObject* Object(uint16_t index) {
    return index < objects_.size() ? objects_[index].get() : nullptr;
  }
  std::vector<double> Points(TRecordReader& r, size_t count) {
    std::vector<double> pts;
    if (count > r.Remaining() / 4) return pts;
    pts.resize(2 * count);
    for (size_t i = 0; i < 2 * count; ++i) pts[i] = r.I16();
    return pts;
  }
  // Reads four shorts given bottom, right, top, left.
  static void Box(TRecordReader& r, double& l, double& t, double& rt, double& b) {
    b = r.I16(), rt = r.I16(), t = r.I16(), l = r.I16();
  }
  void Bitmap(TRecordReader& r, uint16_t function, size_t words);
  TGdiRegion Region(TRecordReader& r);

  TGdiDevice& device_;
  std::vector<std::unique_ptr<TGdiObject>> objects_;
};

void TWmfPlayer::Create(TGdiObject object) {
  for (auto& slot : objects_)
    if (!slot) {
      slot = std::make_unique<TGdiObject>(std::move(object));
      return;
    }
}

TGdiRegion TWmfPlayer::Region(TRecordReader& r) {
  // nextInChain, objectType, objectCount, regionSize, scanCount, maxScan, bounds.
  TGdiRegion region;
  r.Skip(2 + 2 + 4 + 2);
  const uint16_t scans = r.U16();
  r.Skip(2 + 8);
  for (uint16_t s = 0; s < scans && r.Remaining() >= 6; ++s) {
    const uint16_t count = r.U16();
    const double top = r.I16(), bottom = r.I16();
    if (count % 2 || count / 2 > r.Remaining() / 4) break;
    for (uint16_t k = 0; k < count / 2; ++k) {
      const double left = r.I16(), right = r.I16();
      region.rects.insert(region.rects.end(), {left, top, right, bottom});
    }
    r.U16();
  }
  return region;
}

void TWmfPlayer::Bitmap(TRecordReader& r, uint16_t function, size_t words) {
  const uint32_t rop = r.U32();
  double sx = 0, sy = 0, sw = 0, sh = 0, dx = 0, dy = 0, dw = 0, dh = 0;
  // A record without a bitmap is exactly its fixed parameters long.
  const bool noBitmap = words == static_cast<size_t>((function >> 8) + 3);
  bool bottomUpOrigin = false;
  if (function == kStretchDib) {
    r.U16();  // colour usage
    sh = r.I16(), sw = r.I16(), sy = r.I16(), sx = r.I16();
    dh = r.I16(), dw = r.I16(), dy = r.I16(), dx = r.I16();
    bottomUpOrigin = true;
  } else if (function == kDibStretchBlt) {
    sh = r.I16(), sw = r.I16(), sy = r.I16(), sx = r.I16();
    if (noBitmap) r.U16();
    dh = r.I16(), dw = r.I16(), dy = r.I16(), dx = r.I16();
  } else {
    sy = r.I16(), sx = r.I16();
    if (noBitmap) r.U16();
    dh = r.I16(), dw = r.I16(), dy = r.I16(), dx = r.I16();
    sw = dw, sh = dh;
  }
  if (!r.Ok()) return;
  if (noBitmap) {
    device_.Blit(dx, dy, dw, dh, nullptr, 0, 0, 0, 0, rop);
    return;
  }
  const uint8_t* dib = r.Data() + r.Position();
  const size_t dibSize = r.Remaining();
  TSurfacePtr source = DecodeDib(dib, dibSize, nullptr, 0);
  if (!source) return;
  if (bottomUpOrigin && DibBottomUp(dib, dibSize))
    sy = cairo_image_surface_get_height(source.get()) - sy - sh;
  device_.Blit(dx, dy, dw, dh, source.get(), sx, sy, sw, sh, rop);
}

void TWmfPlayer::Record(uint16_t function, TRecordReader& r, size_t words) {
  TDcState& s = device_.State();
  double l, t, rt, b;
  switch (function) {
    case kSaveDc:
      device_.SaveDC();
      break;
    case kRestoreDc:
      device_.RestoreDC(r.I16());
      break;
    case kSetBkMode:
      s.bkMode = r.U16();
      break;
    case kSetMapMode:
      break;  // the window is always mapped onto the output
    case kSetPolyFillMode:
      s.polyFill = r.U16();
      break;
    case kSetTextAlign:
      s.textAlign = r.U16();
      break;
    case kSetBkColor:
      s.bkColor = r.U32() & 0xFFFFFF;
      break;
    case kSetTextColor:
      s.textColor = r.U32() & 0xFFFFFF;
      break;
    case kSetWindowOrg: {
      const double y = r.I16(), x = r.I16();
      if (r.Ok()) device_.SetWindowOrg(x, y);
      break;
    }
    case kSetWindowExt: {
      const double y = r.I16(), x = r.I16();
      if (r.Ok()) device_.SetWindowExt(x, y);
      break;
    }
    case kOffsetWindowOrg: {
      const double y = r.I16(), x = r.I16();
      if (r.Ok()) device_.SetWindowOrg(s.winOrgX + x, s.winOrgY + y);
      break;
    }
    case kScaleWindowExt: {
      const double yd = r.I16(), yn = r.I16(), xd = r.I16(), xn = r.I16();
      if (r.Ok() && xd != 0 && yd != 0)
        device_.SetWindowExt(s.winExtX * xn / xd, s.winExtY * yn / yd);
      break;
    }
    case kSetViewportOrg:
    case kSetViewportExt:
      break;  // the viewport is the output rectangle
    case kMoveTo: {
      const double y = r.I16(), x = r.I16();
      if (r.Ok()) device_.MoveTo(x, y);
      break;
    }
    case kLineTo: {
      const double y = r.I16(), x = r.I16();
      if (r.Ok()) device_.LineTo(x, y);
      break;
    }
    case kPolygon:
    case kPolyline: {
      const std::vector<double> pts = Points(r, r.U16());
      if (function == kPolygon)
        device_.Polygon(pts);
      else
        device_.Polyline(pts, false);
      break;
    }
    case kPolyPolygon: {
      const uint16_t n = r.U16();
      if (n > r.Remaining() / 2) break;
      std::vector<uint32_t> counts(n);
      size_t total = 0;
      for (auto& c : counts) total += c = r.U16();
      const std::vector<double> pts = Points(r, total);
      if (!pts.empty()) device_.PolyPolygon(pts, counts);
      break;
    }
    case kRectangle:
    case kEllipse:
      Box(r, l, t, rt, b);
      if (!r.Ok()) break;
      if (function == kRectangle)
        device_.Rectangle(l, t, rt, b);
      else
        device_.Ellipse(l, t, rt, b);
      break;
    case kRoundRect: {
      const double h = r.I16(), w = r.I16();
      Box(r, l, t, rt, b);
      if (r.Ok()) device_.RoundRect(l, t, rt, b, w, h);
      break;
    }
    case kArc:
    case kPie:
    case kChord: {
      const double ye = r.I16(), xe = r.I16(), ys = r.I16(), xs = r.I16();
      Box(r, l, t, rt, b);
      if (!r.Ok()) break;
      const auto kind = function == kArc   ? TGdiDevice::ArcKind::kArc
                        : function == kPie ? TGdiDevice::ArcKind::kPie
                                           : TGdiDevice::ArcKind::kChord;
      device_.Arc(kind, l, t, rt, b, xs, ys, xe, ye);
      break;
    }
    case kSetPixel: {
      const TColorRef c = r.U32() & 0xFFFFFF;
      const double y = r.I16(), x = r.I16();
      if (r.Ok()) device_.SetPixel(x, y, c);
      break;
    }
    case kTextOut: {
      const uint16_t n = r.U16();
      const uint8_t* text = r.Span(r.Position(), n);
      if (!text || !r.Skip(n + (n & 1u))) break;
      TTextRun run;
      run.text = WidenAnsi(text, n);
      run.y = r.I16(), run.x = r.I16();
      if (r.Ok()) device_.Text(run);
      break;
    }
    case kExtTextOut: {
      TTextRun run;
      run.y = r.I16(), run.x = r.I16();
      const uint16_t n = r.U16();
      run.options = r.U16();
      if (run.options & 6 && r.Remaining() >= 8) {
        run.hasRect = true;
        for (double& v : run.rect) v = r.I16();
      }
      const uint8_t* text = r.Span(r.Position(), n);
      if (!r.Ok() || !text) break;
      run.text = WidenAnsi(text, n);
      r.Skip(n + (n & 1u));
      if (r.Remaining() >= size_t{n} * 2)
        for (uint16_t i = 0; i < n; ++i) run.dx.push_back(r.I16());
      device_.Text(run);
      break;
    }
    case kIntersectClipRect:
    case kExcludeClipRect:
      Box(r, l, t, rt, b);
      if (!r.Ok()) break;
      if (function == kIntersectClipRect)
        device_.IntersectClipRect(l, t, rt, b);
      else
        device_.ExcludeClipRect(l, t, rt, b);
      break;
    case kPatBlt: {
      const uint32_t rop = r.U32();
      const double h = r.I16(), w = r.I16(), y = r.I16(), x = r.I16();
      if (r.Ok()) device_.Blit(x, y, w, h, nullptr, 0, 0, 0, 0, rop);
      break;
    }
    case kDibBitBlt:
    case kDibStretchBlt:
    case kStretchDib:
      Bitmap(r, function, words);
      break;

    case kCreatePenIndirect: {
      TGdiObject o;
      o.kind = TGdiObject::kPen;
      o.pen.style = r.U16();
      o.pen.width = std::abs(r.I16());
      r.I16();
      o.pen.color = r.U32() & 0xFFFFFF;
      o.pen.cosmetic = o.pen.width == 0;
      Create(std::move(o));
      break;
    }
    case kCreateBrushIndirect: {
      TGdiObject o;
      o.kind = TGdiObject::kBrush;
      o.brush.style = r.U16();
      o.brush.color = r.U32() & 0xFFFFFF;
      o.brush.hatch = r.U16();
      if (o.brush.style == kBsPattern || o.brush.style > kBsDibPatternPt) o.brush.style = kBsSolid;
      Create(std::move(o));
      break;
    }
    case kDibCreatePatternBrush:
    case kCreatePatternBrush: {
      TGdiObject o;
      o.kind = TGdiObject::kBrush;
      o.brush.style = kBsDibPattern;
      o.brush.color = 0x808080;
      if (function == kDibCreatePatternBrush) {
        r.Skip(4);
        o.brush.pattern = DecodeDib(r.Data() + r.Position(), r.Remaining(), nullptr, 0);
      }
      Create(std::move(o));
      break;
    }
    case kCreateFontIndirect: {
      TGdiObject o;
      o.kind = TGdiObject::kFont;
      o.font.height = r.I16();
      r.I16();  // width
      o.font.escapement = r.I16();
      r.I16();  // orientation
      o.font.weight = r.I16();
      o.font.italic = r.U8() != 0;
      o.font.underline = r.U8() != 0;
      o.font.strikeOut = r.U8() != 0;
      o.font.charset = r.U8();
      r.Skip(4);
      std::string face;
      while (r.Remaining() && face.size() < 32) {
        const uint8_t c = r.U8();
        if (!c) break;
        face += static_cast<char>(c);
      }
      std::u16string wide = WidenAnsi(reinterpret_cast<const uint8_t*>(face.data()), face.size());
      o.font.face.clear();
      for (char16_t c : wide)
        if (c < 0x80) o.font.face += static_cast<char>(c);
      Create(std::move(o));
      break;
    }
    case kCreatePalette: {
      TGdiObject o;
      o.kind = TGdiObject::kPalette;
      Create(std::move(o));
      break;
    }
    case kCreateRegion: {
      TGdiObject o;
      o.kind = TGdiObject::kRegion;
      o.region = Region(r);
      Create(std::move(o));
      break;
    }
    case kSelectObject: {
      const TGdiObject* o = Object(r.U16());
      if (!o) break;
      if (o->kind == TGdiObject::kPen) s.pen = o->pen;
      if (o->kind == TGdiObject::kBrush) s.brush = o->brush;
      if (o->kind == TGdiObject::kFont) s.font = o->font;
      if (o->kind == TGdiObject::kRegion) device_.SelectClipRegion(&o->region, kRgnCopy, false);
      break;
    }
    case kSelectClipRegion: {
      const TGdiObject* o = Object(r.U16());
      device_.SelectClipRegion(o && o->kind == TGdiObject::kRegion ? &o->region : nullptr, kRgnCopy,
                               false);
      break;
    }
    case kDeleteObject: {
      const uint16_t i = r.U16();
      if (r.Ok() && i < objects_.size()) objects_[i].reset();
      break;
    }
    case kFillRegion: {
      const TGdiObject* region = Object(r.U16());
      const TGdiObject* brush = Object(r.U16());
      if (region && brush && region->kind == TGdiObject::kRegion &&
          brush->kind == TGdiObject::kBrush)
        device_.FillRegion(region->region, brush->brush, false);
      break;
    }
    case kPaintRegion: {
      const TGdiObject* region = Object(r.U16());
      if (region && region->kind == TGdiObject::kRegion)
        device_.FillRegion(region->region, s.brush, false);
      break;
    }
    default:
      break;  // skipped by its size
  }
}

}  // namespace

bool ReadWmfLayout(const uint8_t* data, size_t size, TWmfLayout& layout) {
  layout = TWmfLayout{};
  TRecordReader r(data, size);
  if (r.U32() == kPlaceableKey) {
    layout.placeable = true;
    r.U16();
    for (double& v : layout.bounds) v = r.I16();
    layout.unitsPerInch = r.U16();
    r.Skip(4 + 2);
    layout.firstRecord = 22;
  }
  TRecordReader h(data + std::min(size, layout.firstRecord),
                  size - std::min(size, layout.firstRecord));
  const uint16_t type = h.U16(), headerWords = h.U16();
  h.U16();  // version
  h.U32();  // size
  layout.objects = h.U16();
  if (!h.Ok() || (type != 1 && type != 2) || headerWords != 9) return false;
  layout.firstRecord += 18;
  if (layout.placeable) return true;
  // Without the placeable header the window the records set tells the size.
  bool haveOrg = false, haveExt = false;
  size_t pos = layout.firstRecord;
  while (pos + 6 <= size && !(haveOrg && haveExt)) {
    TRecordReader rec(data + pos, size - pos);
    const uint32_t words = rec.U32();
    const uint16_t function = rec.U16();
    if (words < 3 || words > (size - pos) / 2 || function == kEof) break;
    if ((function == kSetWindowOrg && !haveOrg) || (function == kSetWindowExt && !haveExt)) {
      const double y = rec.I16(), x = rec.I16();
      if (function == kSetWindowOrg) {
        layout.bounds[0] = x, layout.bounds[1] = y, haveOrg = true;
      } else {
        layout.bounds[2] = x, layout.bounds[3] = y, haveExt = true;
      }
    }
    pos += size_t{words} * 2;
  }
  if (!haveExt || layout.bounds[2] == 0 || layout.bounds[3] == 0) return false;
  layout.bounds[2] += layout.bounds[0];
  layout.bounds[3] += layout.bounds[1];
  return true;
}

void WmfNaturalSize(const TWmfLayout& layout, int dpiX, int dpiY, int& width, int& height) {
  const double w = std::fabs(layout.bounds[2] - layout.bounds[0]);
  const double h = std::fabs(layout.bounds[3] - layout.bounds[1]);
  const double perInch = layout.placeable && layout.unitsPerInch ? layout.unitsPerInch : 0;
  const double pw = perInch ? w * dpiX / perInch : w, ph = perInch ? h * dpiY / perInch : h;
  width = static_cast<int>(std::lround(std::min(pw, 1e9)));
  height = static_cast<int>(std::lround(std::min(ph, 1e9)));
}

void PlayWmf(const uint8_t* data, size_t size, const TWmfLayout& layout, TGdiDevice& device,
             int width, int height) {
  device.SetFixedViewport(true);
  TDcState& s = device.State();
  s.mapMode = kMmAnisotropic;
  s.vpExtX = width, s.vpExtY = height;
  device.SetWindowOrg(layout.bounds[0], layout.bounds[1]);
  device.SetWindowExt(layout.bounds[2] - layout.bounds[0], layout.bounds[3] - layout.bounds[1]);
  TWmfPlayer player(layout, device);
  size_t pos = layout.firstRecord;
  while (pos + 6 <= size) {
    TRecordReader head(data + pos, 6);
    const uint32_t words = head.U32();
    const uint16_t function = head.U16();
    if (function == kEof || words < 3 || words > (size - pos) / 2) break;
    TRecordReader r(data + pos + 6, size_t{words} * 2 - 6);
    player.Record(function, r, words);
    pos += size_t{words} * 2;
    if (!device.Spend(1)) break;
  }
}

}  // namespace vx::metafile
