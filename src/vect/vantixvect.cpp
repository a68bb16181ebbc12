// The vector view: the store it owns, drawing the objects over the image and into it,
// fonts, bitmaps, units, files and the clipboard. Mouse and keyboard editing, the
// inline editor and the measuring hints are in vantixvectedit.cpp.
#include "vect/vantixvect.h"

#include <QBuffer>
#include <QClipboard>
#include <QCursor>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QPaintEvent>
#include <QPainter>
#include <QStringDecoder>
#include <QTransform>
#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <numbers>

#include "core/arith.h"
#include "platform/exceptions.h"
#include "platform/stream.h"
#include "platform/syscolors.h"
#include "vect/vxvmeasure.h"

namespace vx {

namespace {

// Screen coordinates handed to the painter's own primitives stay within this distance of
// the client area; beyond it shapes are cut (lines, polygons) or followed point by point
// (ellipses), so that extreme zooms neither overflow nor make the painter walk millions
// of pixels nobody sees.
constexpr int64_t kNativeRange = int64_t{1} << 16;
constexpr int kMaxPenWidth = 1 << 15;
constexpr int kMaxFontPixels = 1 << 15;
// Pictures are kept at their size on screen up to this many pixels each, and this many
// in all.
constexpr int64_t kMaxScaledPicturePixels = int64_t{1} << 22;
constexpr int64_t kMaxScaledCachePixels = int64_t{1} << 25;
// Texts are kept drawn up to this many pixels; larger ones are drawn each time.
constexpr double kMaxTextPicturePixels = 1 << 20;
// A picture of the copied objects for other programs is skipped beyond this many pixels.
constexpr int64_t kMaxClipPicturePixels = int64_t{1} << 24;

int SatInt(int64_t v) {
  return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
}

int32_t SatAdd(int32_t a, int64_t b) {
  return static_cast<int32_t>(std::clamp<int64_t>(int64_t{a} + b, INT32_MIN, INT32_MAX));
}

Qt::PenStyle QtPenStyle(TPenStyle s, int width) {
  switch (s) {
    case psClear:
      return Qt::NoPen;
    case psDash:
    case psDot:
    case psDashDot:
    case psDashDotDot:
      // Styled pens wider than a pixel draw solid, as the platform's simple pens do.
      if (width > 1) return Qt::SolidLine;
      return s == psDash      ? Qt::DashLine
             : s == psDot     ? Qt::DotLine
             : s == psDashDot ? Qt::DashDotLine
                              : Qt::DashDotDotLine;
    default:
      return Qt::SolidLine;
  }
}

QPen MakePen(const TVXVObject& o, int width) {
  QPen pen(ToQColor(o.PenColor));
  pen.setWidth(width);
  if (o.PenStyle == psAlternate && width <= 1) {
    pen.setDashPattern({1, 1});  // every other pixel
  } else {
    pen.setStyle(QtPenStyle(o.PenStyle, width));
  }
  // Wide pens end and join round; up to 3 pixels that is a pixel at most, and square
  // ends (which the painter strokes several times faster) look the same.
  if (width > 3) {
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
  } else if (width > 1) {
    pen.setCapStyle(Qt::SquareCap);
    pen.setJoinStyle(Qt::MiterJoin);
  }
  return pen;
}

QBrush MakeBrush(const TVXVObject& o) {
  static constexpr Qt::BrushStyle kStyles[kBrushStyleCount] = {
      Qt::SolidPattern, Qt::NoBrush,      Qt::HorPattern,   Qt::VerPattern,
      Qt::FDiagPattern, Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
  const int s = static_cast<int>(o.BrushStyle);
  if (s < 0 || s >= kBrushStyleCount) return Qt::NoBrush;
  return QBrush(ToQColor(o.BrushColor), kStyles[s]);
}

bool InNativeRange(int64_t v, int lo, int hi) {
  return v >= lo - kNativeRange && v <= hi + kNativeRange;
}

// Liang-Barsky: cuts the segment to clip; false when nothing of it is inside.
bool ClipSegment(QPointF& a, QPointF& b, const QRectF& clip) {
  const double dx = b.x() - a.x(), dy = b.y() - a.y();
  double t0 = 0, t1 = 1;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {a.x() - clip.left(), clip.right() - a.x(), a.y() - clip.top(),
                       clip.bottom() - a.y()};
  for (int k = 0; k < 4; ++k) {
    if (p[k] == 0) {
      if (q[k] < 0) return false;
      continue;
    }
    const double t = q[k] / p[k];
    if (p[k] < 0)
      t0 = std::max(t0, t);
    else
      t1 = std::min(t1, t);
    if (t0 > t1) return false;
  }
  const QPointF a0 = a;
  a = QPointF(a0.x() + t0 * dx, a0.y() + t0 * dy);
  b = QPointF(a0.x() + t1 * dx, a0.y() + t1 * dy);
  return true;
}

// Sutherland-Hodgman against an axis-aligned rectangle.
QPolygonF ClipPolygon(const QPolygonF& poly, const QRectF& clip) {
  QPolygonF out = poly;
  for (int edge = 0; edge < 4 && !out.isEmpty(); ++edge) {
    auto inside = [&](const QPointF& p) {
      switch (edge) {
        case 0:
          return p.x() >= clip.left();
        case 1:
          return p.x() <= clip.right();
        case 2:
          return p.y() >= clip.top();
        default:
          return p.y() <= clip.bottom();
      }
    };
    auto cross = [&](const QPointF& a, const QPointF& b) {
      double t = 0;
      switch (edge) {
        case 0:
          t = (clip.left() - a.x()) / (b.x() - a.x());
          break;
        case 1:
          t = (clip.right() - a.x()) / (b.x() - a.x());
          break;
        case 2:
          t = (clip.top() - a.y()) / (b.y() - a.y());
          break;
        default:
          t = (clip.bottom() - a.y()) / (b.y() - a.y());
          break;
      }
      return a + (b - a) * t;
    };
    const QPolygonF in = out;
    out.clear();
    for (qsizetype k = 0; k < in.size(); ++k) {
      const QPointF& cur = in[k];
      const QPointF& prev = in[(k + in.size() - 1) % in.size()];
      if (inside(cur)) {
        if (!inside(prev)) out << cross(prev, cur);
        out << cur;
      } else if (inside(prev)) {
        out << cross(prev, cur);
      }
    }
  }
  return out;
}

// The outline of an ellipse (centre c, radii rx, ry; angle t counter-clockwise on screen,
// 0 at three o'clock) from t0 over span, as polylines inside clip. Pieces are split until
// they deviate from their chord by less than a quarter pixel or lie outside clip; the
// whole outline as a polygon (outer pieces by their chords) goes to *fill when asked.
void EllipsePieces(QPointF c, double rx, double ry, double t0, double span, const QRectF& clip,
                   std::vector<QPolygonF>& lines, QPolygonF* fill) {
  auto at = [&](double t) { return QPointF(c.x() + rx * std::cos(t), c.y() - ry * std::sin(t)); };
  const double r = std::max(std::abs(rx), std::abs(ry));
  QPolygonF current;
  auto flush = [&] {
    if (current.size() > 1) lines.push_back(current);
    current.clear();
  };
  struct Piece {
    double a, b;
    int depth;
  };
  constexpr int kCoarse = 64;
  std::vector<Piece> stack;
  for (int k = kCoarse - 1; k >= 0; --k)
    stack.push_back({t0 + span * k / kCoarse, t0 + span * (k + 1) / kCoarse, 0});
  if (fill) *fill << at(t0);
  while (!stack.empty()) {
    const Piece piece = stack.back();
    stack.pop_back();
    const QPointF pa = at(piece.a), pb = at(piece.b);
    const double sagitta = r * (1 - std::cos((piece.b - piece.a) / 2));
    QRectF around = QRectF(pa, pb).normalized().adjusted(-sagitta, -sagitta, sagitta, sagitta);
    if (!around.intersects(clip)) {
      flush();
      if (fill) *fill << pb;
      continue;
    }
    if (sagitta > 0.25 && piece.depth < 48) {
      const double mid = (piece.a + piece.b) / 2;
      stack.push_back({mid, piece.b, piece.depth + 1});
      stack.push_back({piece.a, mid, piece.depth + 1});
      continue;
    }
    if (current.isEmpty()) current << pa;
    current << pb;
    if (fill) *fill << pb;
  }
  flush();
}

bool IsHatch(TBrushStyle s) {
  return s != bsSolid && s != bsClear && static_cast<int>(s) < kBrushStyleCount;
}

int FloorDiv8(int64_t v) {
  return static_cast<int>(v >= 0 ? v / 8 : -((-v + 7) / 8));
}

// The hatch of a box or ellipse as one-pixel lines, drawn in one call: the painter's
// pattern brushes cost several times more per pixel. The pattern is the canvas's 8 x 8
// one, aligned to the target's origin (x and y modulo 8: horizontal y == 0, vertical
// x == 0, forward diagonal x == y, backward diagonal x + y == 7). Only what lies in clip
// is produced. An ellipse's lines are its chords through the pixel centres inside it.
void HatchLines(TBrushStyle style, const QRect& box, bool ellipse, const QRect& clip,
                QList<QLine>& out) {
  const QRect area = box.intersected(clip);
  if (area.isEmpty()) return;
  const double cx = (box.left() + box.right()) / 2.0, cy = (box.top() + box.bottom()) / 2.0;
  const double rx = (box.right() - box.left()) / 2.0, ry = (box.bottom() - box.top()) / 2.0;
  if (ellipse && (rx <= 0 || ry <= 0)) return;
  // The steps t of the line (x0, y0) + t (dx, dy) that lie in the area, and for an
  // ellipse also inside it: one run of whole steps.
  auto addRun = [&](double x0, double y0, double dx, double dy) {
    double t0 = -1e18, t1 = 1e18;
    const double lo[2] = {static_cast<double>(area.left()), static_cast<double>(area.top())};
    const double hi[2] = {static_cast<double>(area.right()), static_cast<double>(area.bottom())};
    const double o[2] = {x0, y0}, d[2] = {dx, dy};
    for (int k = 0; k < 2; ++k) {
      if (d[k] == 0) {
        if (o[k] < lo[k] || o[k] > hi[k]) return;
        continue;
      }
      const double a = (lo[k] - o[k]) / d[k], b = (hi[k] - o[k]) / d[k];
      t0 = std::max(t0, std::min(a, b));
      t1 = std::min(t1, std::max(a, b));
    }
    if (ellipse) {
      const double ex = (x0 - cx) / rx, ey = (y0 - cy) / ry, fx = dx / rx, fy = dy / ry;
      const double qa = fx * fx + fy * fy, qb = 2 * (ex * fx + ey * fy), qc = ex * ex + ey * ey - 1;
      const double disc = qb * qb - 4 * qa * qc;
      if (disc < 0) return;
      const double root = std::sqrt(disc);
      t0 = std::max(t0, (-qb - root) / (2 * qa));
      t1 = std::min(t1, (-qb + root) / (2 * qa));
    }
    const double k0 = std::ceil(t0), k1 = std::floor(t1);
    if (k0 > k1) return;
    out << QLine(static_cast<int>(x0 + dx * k0), static_cast<int>(y0 + dy * k0),
                 static_cast<int>(x0 + dx * k1), static_cast<int>(y0 + dy * k1));
  };
  const bool horizontal = style == bsHorizontal || style == bsCross;
  const bool vertical = style == bsVertical || style == bsCross;
  const bool forward = style == bsFDiagonal || style == bsDiagCross;
  const bool backward = style == bsBDiagonal || style == bsDiagCross;
  // The first multiple of 8 (plus phase) at or above v.
  auto first = [](int64_t v, int phase) { return int64_t{FloorDiv8(v - phase + 7)} * 8 + phase; };
  if (horizontal)
    for (int64_t y = first(area.top(), 0); y <= area.bottom(); y += 8)
      addRun(0, static_cast<double>(y), 1, 0);
  if (vertical)
    for (int64_t x = first(area.left(), 0); x <= area.right(); x += 8)
      addRun(static_cast<double>(x), 0, 0, 1);
  // Diagonals by their offset, x - y = 8k or x + y = 8k + 7, each walked from where it
  // crosses the area's top row.
  const double top = area.top();
  if (forward)
    for (int64_t d = first(int64_t{area.left()} - area.bottom(), 0);
         d <= int64_t{area.right()} - area.top(); d += 8)
      addRun(static_cast<double>(d) + top, top, 1, 1);
  if (backward)
    for (int64_t d = first(int64_t{area.left()} + area.top(), 7);
         d <= int64_t{area.right()} + area.bottom(); d += 8)
      addRun(static_cast<double>(d) - top, top, -1, 1);
}

// Cell height / character height of a face, measured once per face and style.
double CellPerEm(const QFont& font) {
  static std::unordered_map<std::string, double> cache;
  const std::string key = font.family().toStdString() + '/' + std::to_string(font.weight()) +
                          (font.italic() ? "i" : "r");
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  QFont probe(font);
  probe.setPixelSize(1000);
  const double h = QFontMetricsF(probe).height();
  const double ratio = h > 0 ? h / 1000 : 1.0;
  if (cache.size() > 512) cache.clear();
  cache.emplace(key, ratio);
  return ratio;
}

void CopyQImageInto(const QImage& source, TBitmap& target) {
  const QImage rgb = source.convertToFormat(QImage::Format_BGR888);
  target.SetPixelFormat(pf24bit);
  target.SetSize(rgb.width(), rgb.height());
  for (int y = 0; y < rgb.height(); ++y)
    std::memcpy(target.ScanLine(y), rgb.constScanLine(y), static_cast<size_t>(rgb.width()) * 3);
}

}  // namespace

// ============================== fonts ==============================

QFont LogFontToQFont(const TVXLogFont& record, int pixelHeight) {
  QFont f;
  const std::string face = record.FaceNameString();
  f.setFamily(face.empty() ? QStringLiteral("Arial") : QString::fromUtf8(face.c_str()));
  f.setWeight(static_cast<QFont::Weight>(record.Weight <= 0 ? kFontWeightNormal
                                                            : std::clamp(record.Weight, 1, 1000)));
  f.setItalic(record.Italic != 0);
  f.setUnderline(record.Underline != 0);
  f.setStrikeOut(record.StrikeOut != 0);
  int px = std::max(1, std::min(std::abs(pixelHeight), kMaxFontPixels));
  if (pixelHeight > 0) px = std::max(1, static_cast<int>(std::lround(px / CellPerEm(f))));
  f.setPixelSize(px);
  if (record.Width > 0) {
    const double average = QFontMetricsF(f).averageCharWidth();
    if (average > 0)
      f.setStretch(
          std::clamp(static_cast<int>(std::lround(100.0 * record.Width / average)), 1, 4000));
  }
  return f;
}

TVXLogFont QFontToLogFont(const QFont& font, int dpi) {
  TVXLogFont r;
  if (font.pixelSize() > 0)
    r.Height = -font.pixelSize();
  else
    r.Height = -static_cast<int32_t>(std::lround(font.pointSizeF() * (dpi > 0 ? dpi : 96) / 72));
  r.Weight = static_cast<int32_t>(font.weight());
  r.Italic = font.italic() ? 1 : 0;
  r.Underline = font.underline() ? 1 : 0;
  r.StrikeOut = font.strikeOut() ? 1 : 0;
  r.SetFaceName(font.family().toStdString());
  return r;
}

QString ObjectTextToQString(const std::string& text) {
  QStringDecoder utf8(QStringDecoder::Utf8);
  QString s = utf8(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  if (!utf8.hasError()) return s;
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// ============================== construction ==============================

struct TVantixVect::TMapping {
  double f = 1;            // zoom factor; 1 into the image
  int64_t dx = 0, dy = 0;  // added after truncation
  bool toImage = false;
  bool scaleSizes = true;  // pen widths, arrow sizes and font heights follow f
  TRect visible;           // on screen, inclusive: an object's box must meet it
  QRect clip;              // what can be seen of the target
  int64_t X(int32_t x) const { return Trunc(static_cast<extended>(x) * f) + dx; }
  int64_t Y(int32_t y) const { return Trunc(static_cast<extended>(y) * f) + dy; }
  int Size(int32_t v) const { return scaleSizes ? SatInt(Trunc(f * v)) : v; }
};

struct TVantixVect::TTextLayout {
  std::string text;
  std::array<uint8_t, kLogFontBytes> font{};
  int pixelHeight = 0;
  TColor colour = 0;
  QFont qfont;
  QString shown;
  double width = 0, height = 0, ascent = 0;
  // The text drawn turned, and where its origin (the cell's top-left corner) lies in it;
  // empty when it would be too large to keep.
  QImage picture;
  QPoint origin;
};

TVantixVect::TVantixVect(QWidget* parent) : TVantixView(parent) {
  store_.SetImageSize(Bitmap().Width(), Bitmap().Height());
  store_.SetDPI(DpiX(), DpiY());
  store_.OnChanged = TMethod<int32_t>::Bind(this, &TVantixVect::StoreChanged);
  store_.OnRemoving = TMethod<int32_t>::Bind(this, &TVantixVect::StoreRemoving);
  // The template writes with the control's font in the usual sans face.
  QFont f = font();
  f.setFamily(QStringLiteral("Arial"));
  SetObjFont(kVXVTemplate, f);
  hint_ = new TVXHint(this);
}

TVantixVect::~TVantixVect() {
  // The store's hooks point back here; nothing may call them while members go.
  store_.OnChanged = nullptr;
  store_.OnRemoving = nullptr;
  if (editor_) {
    editor_->hide();
    editor_->deleteLater();
    editor_ = nullptr;
  }
}

void TVantixVect::DropCaches() {
  pictureCache_.clear();
  scaledCache_.clear();
  scaledPixels_ = 0;
  textCache_.clear();
}

void TVantixVect::StoreChanged(int32_t) {
  DropCaches();
  Update();
}

void TVantixVect::StoreRemoving(int32_t index) {
  DropCaches();
  CancelInteracts();
  if (index == kVXVNone) {
    if (selObjects_.empty()) return;
    selObjects_.clear();
    FireSelect();
    return;
  }
  const auto it = std::find(selObjects_.begin(), selObjects_.end(), index);
  if (it == selObjects_.end()) return;
  selObjects_.erase(it);
  FireSelect();
}

void TVantixVect::Update() {
  store_.SetImageSize(Bitmap().Width(), Bitmap().Height());
  TVantixView::Update();
  if (editor_) PlaceEditor();
}

int32_t TVantixVect::AddNewObject() {
  const int32_t i = store_.AddNewObject();
  Update();
  return i;
}

int32_t TVantixVect::AddVObject(int32_t parent, const TVXVObject& source) {
  const int32_t i = store_.AddVObject(parent, source);
  Update();
  return i;
}

// ============================== fonts and bitmaps ==============================

void TVantixVect::SetObjFont(int32_t i, const QFont& font) {
  SetObjFont(i, font,
             RGB2TColor(static_cast<uint8_t>(palette().color(QPalette::WindowText).red()),
                        static_cast<uint8_t>(palette().color(QPalette::WindowText).green()),
                        static_cast<uint8_t>(palette().color(QPalette::WindowText).blue())));
}

void TVantixVect::SetObjFont(int32_t i, const QFont& font, TColor colour) {
  TVXLogFont record = QFontToLogFont(font, DpiY());
  if (const TVXLogFont* old = store_.ObjFont(i)) {
    record.Escapement = old->Escapement;
    record.Orientation = old->Orientation;
  }
  store_.SetObjFont(i, record, colour);
}

QFont TVantixVect::ObjQFont(int32_t i) const {
  const TVXLogFont* f = store_.ObjFont(i);
  if (!f) return font();
  return LogFontToQFont(*f, f->Height != 0 ? f->Height : store_.ObjHeight(i));
}

void TVantixVect::SetObjBitmapICO(int32_t i, const QIcon& icon, int w, int h) {
  if (w <= 0 || h <= 0 || !store_.Exists(i)) return;
  QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::white);
  {
    QPainter p(&img);
    icon.paint(&p, QRect(0, 0, w, h));
  }
  TBitmap b;
  CopyQImageInto(img, b);
  store_.SetObjBitmap(i, &b);
}

// ============================== drawing ==============================

QRect TVantixVect::ImageOnScreen() const {
  return QRect(OffsetX(), OffsetY(), ExtentX(), ExtentY());
}

TVantixVect::TMapping TVantixVect::ScreenMapping() const {
  TMapping m;
  m.f = Zoom() / 100.0;
  m.dx = int64_t{OffsetX()} - ViewX();
  m.dy = int64_t{OffsetY()} - ViewY();
  m.scaleSizes = zoomObjectsWidth_;
  m.visible = {OffsetX(), OffsetY(), OffsetX() + ExtentX(), OffsetY() + ExtentY()};
  m.clip = QRect(0, 0, ClientWidth(), ClientHeight());
  return m;
}

void TVantixVect::PaintTo(QPainter& p) {
  TVantixView::PaintTo(p);
  DrawObjects(p, ScreenMapping());
  // Painted into the cache, the grips are the overlay's (paintEvent) instead.
  if (!cachePass_) {
    p.save();
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    DrawGrips(p);
    p.restore();
  }
}

void TVantixVect::DrawObjectsAt(QPainter& p, int originX, int originY,
                                const std::vector<int32_t>& which) {
  TMapping m;
  m.toImage = true;
  m.dx = -int64_t{originX};
  m.dy = -int64_t{originY};
  m.clip = p.device() ? QRect(0, 0, p.device()->width(), p.device()->height()) : QRect();
  for (int32_t i : which)
    if (const TVXVObject* o = store_.Object(i)) DrawObject(p, *o, m);
}

void TVantixVect::CopyObjectsToBack() {
  TBitmap& image = Bitmap();
  if (image.Empty() || allHidden_) return;
  TBitmap work;
  const bool direct = image.PixelFormat() == pf24bit;
  if (!direct) {
    work.Assign(image);
    work.SetPixelFormat(pf24bit);
  }
  TBitmap& target = direct ? image : work;
  {
    QImage img(target.Bits(), target.Width(), target.Height(), target.RowLen(),
               QImage::Format_BGR888);
    QPainter p(&img);
    TMapping m;
    m.toImage = true;
    m.clip = QRect(0, 0, target.Width(), target.Height());
    DrawObjects(p, m);
  }
  // Other formats get the drawing in their own colours (nearest palette entry).
  if (!direct) image.Canvas().Draw(0, 0, work);
  image.SetModified(true);
  Update();
}

void TVantixVect::SetAllObjectsHidden(bool hidden) {
  if (hidden == allHidden_) return;
  allHidden_ = hidden;
  Update();
}

void TVantixVect::SetZoomObjectsWidth(bool zoom) {
  if (zoom == zoomObjectsWidth_) return;
  zoomObjectsWidth_ = zoom;
  Update();
}

void TVantixVect::DrawObjects(QPainter& p, const TMapping& m) {
  if (allHidden_) return;
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setRenderHint(QPainter::SmoothPixmapTransform, false);
  p.setBackgroundMode(Qt::TransparentMode);
  // Frames are walked with a stack of our own: nesting has no depth limit.
  struct Level {
    const TVXVObject* frame;
    size_t next;
  };
  std::vector<Level> stack;
  auto enter = [&](const TVXVObject& frame) {
    if (!frame.Visible()) return;
    if (!m.toImage && !BoxesMeet(TRect{SatInt(m.X(frame.Left)), SatInt(m.Y(frame.Top)),
                                       SatInt(m.X(frame.Right)), SatInt(m.Y(frame.Bottom))},
                                 m.visible))
      return;
    stack.push_back({&frame, 0});
  };
  enter(store_.Root());
  while (!stack.empty()) {
    Level& top = stack.back();
    if (top.next >= top.frame->Children.size()) {
      stack.pop_back();
      continue;
    }
    const TVXVObject* o = store_.Object(top.frame->Children[top.next++]);
    if (!o) continue;
    if (o->IsFrame())
      enter(*o);
    else
      DrawObject(p, *o, m);
  }
  p.restore();
}

void TVantixVect::DrawObject(QPainter& p, const TVXVObject& o, const TMapping& m) {
  if (!o.Visible()) return;
  if (o.IsFrame()) {
    // Reached only through DrawObjectsAt: the walk in DrawObjects enters frames itself.
    for (int32_t c : o.Children)
      if (const TVXVObject* child = store_.Object(c)) DrawObject(p, *child, m);
    return;
  }
  const int64_t x1 = m.X(o.Left), y1 = m.Y(o.Top), x2 = m.X(o.Right), y2 = m.Y(o.Bottom);
  const int64_t l = std::min(x1, x2), t = std::min(y1, y2), r = std::max(x1, x2),
                b = std::max(y1, y2);
  if (!m.toImage &&
      (r < m.visible.left || l > m.visible.right || b < m.visible.top || t > m.visible.bottom))
    return;
  const int width =
      std::clamp(m.scaleSizes ? std::max(1, m.Size(o.PenWidth)) : o.PenWidth, 1, kMaxPenWidth);
  p.setPen(MakePen(o, width));
  p.setBrush(MakeBrush(o));
  if (o.Kind == vxkLINE) return DrawLine(p, o, m);
  // Beyond the native range the box is held just outside what can be seen: its edges
  // there are not visible anyway.
  const int margin = width + 2;
  auto hold = [&](int64_t v, int lo, int hi) {
    return static_cast<int>(std::clamp<int64_t>(v, int64_t{lo} - margin, int64_t{hi} + margin));
  };
  const QRect held(
      QPoint(hold(l, m.clip.left(), m.clip.right()), hold(t, m.clip.top(), m.clip.bottom())),
      QPoint(hold(r, m.clip.left(), m.clip.right()), hold(b, m.clip.top(), m.clip.bottom())));
  // (l, t)-(r, b) inclusive, as the painter's rectangles with a one-pixel pen cover it.
  const QRect box(held.left(), held.top(), held.width() - 1, held.height() - 1);
  switch (o.Kind) {
    case vxkBOX: {
      QRect drawn = box;
      if (o.PenStyle == psInsideFrame && width > 1)
        drawn.adjust(width / 2, width / 2, -(width - 1) / 2, -(width - 1) / 2);
      if (IsHatch(o.BrushStyle)) {
        DrawHatch(p, o, QRect(box.left(), box.top(), box.width() + 1, box.height() + 1), false, m);
        p.setBrush(Qt::NoBrush);
      }
      if (width > 1 && p.pen().style() == Qt::SolidLine) {
        DrawWideBox(p, drawn, width);
        break;
      }
      p.drawRect(drawn);
      break;
    }
    case vxkELLIPSE:
    case vxkARC: {
      const bool native = InNativeRange(l, m.clip.left(), m.clip.right()) &&
                          InNativeRange(r, m.clip.left(), m.clip.right()) &&
                          InNativeRange(t, m.clip.top(), m.clip.bottom()) &&
                          InNativeRange(b, m.clip.top(), m.clip.bottom());
      if (native) {
        const QRect r4(static_cast<int>(l), static_cast<int>(t), static_cast<int>(r - l),
                       static_cast<int>(b - t));
        if (o.Kind == vxkELLIPSE && IsHatch(o.BrushStyle)) {
          DrawHatch(p, o, QRect(r4.left(), r4.top(), r4.width() + 1, r4.height() + 1), true, m);
          p.setBrush(Qt::NoBrush);
        }
        DrawEllipseOrArc(p, o, r4, m);
      } else {
        // Follow the outline only where it can be seen.
        const QRectF clip = QRectF(m.clip).adjusted(-margin, -margin, margin, margin);
        const QPointF c((static_cast<double>(l) + r) / 2, (static_cast<double>(t) + b) / 2);
        const double rx = (static_cast<double>(r) - l) / 2, ry = (static_cast<double>(b) - t) / 2;
        double t0 = 0, span = 2 * std::numbers::pi;
        if (o.Kind == vxkARC) {
          // Same start and span as the native path computes, from the end points.
          const double ax = (static_cast<double>(r) - l) / 2, ay = (static_cast<double>(b) - t) / 2;
          auto radial = [&](double a) {
            const double px = l + Trunc(std::cos(a) * ax + ax) - c.x();
            const double py = t + Trunc(std::sin(a) * ay + ay) - c.y();
            const double phi = std::atan2(-py, px);
            return std::atan2(rx * std::sin(phi), ry * std::cos(phi));
          };
          t0 = radial(o.ArcBegin);
          span = radial(o.ArcEnd) - t0;
          while (span <= 0) span += 2 * std::numbers::pi;
        }
        std::vector<QPolygonF> lines;
        QPolygonF fill;
        EllipsePieces(c, rx, ry, t0, span, clip, lines, o.Kind == vxkELLIPSE ? &fill : nullptr);
        if (o.Kind == vxkELLIPSE && p.brush().style() != Qt::NoBrush) {
          const QPen pen = p.pen();
          p.setPen(Qt::NoPen);
          p.drawPolygon(ClipPolygon(fill, clip));
          p.setPen(pen);
        }
        for (const QPolygonF& piece : lines) p.drawPolyline(piece);
      }
      break;
    }
    case vxkBITMAP:
      DrawBitmapObject(p, o, QRect(held.left(), held.top(), held.width(), held.height()), m);
      break;
    case vxkTEXT: {
      // Text is placed from its whole box: held only as far as the native range.
      auto far = [&](int64_t v, int lo, int hi) {
        return static_cast<int>(std::clamp<int64_t>(v, lo - kNativeRange, hi + kNativeRange));
      };
      const QPoint tl(far(l, m.clip.left(), m.clip.right()), far(t, m.clip.top(), m.clip.bottom()));
      const QPoint br(far(r, m.clip.left(), m.clip.right()), far(b, m.clip.top(), m.clip.bottom()));
      DrawText(p, o, QRect(tl.x(), tl.y(), br.x() - tl.x(), br.y() - tl.y()), m);
      break;
    }
    default:
      break;
  }
}

void TVantixVect::DrawWideBox(QPainter& p, const QRect& r, int width) {
  // The outline as four bands centred on the edges: the painter fills them far faster
  // than it strokes a wide rectangle.
  const QColor c = p.pen().color();
  if (p.brush().style() != Qt::NoBrush)
    p.fillRect(QRect(r.left(), r.top(), r.width(), r.height()), p.brush());
  const int a = width / 2, b = (width - 1) / 2;
  const QPoint tl(r.left() - a, r.top() - a), br(r.right() + 1 + b, r.bottom() + 1 + b);
  p.fillRect(QRect(tl, QPoint(br.x(), r.top() + b)), c);
  p.fillRect(QRect(QPoint(tl.x(), r.bottom() + 1 - a), br), c);
  p.fillRect(QRect(QPoint(tl.x(), r.top() + b + 1), QPoint(r.left() + b, r.bottom() - a)), c);
  p.fillRect(QRect(QPoint(r.right() + 1 - a, r.top() + b + 1), QPoint(br.x(), r.bottom() - a)), c);
}

void TVantixVect::DrawHatch(QPainter& p, const TVXVObject& o, const QRect& area, bool ellipse,
                            const TMapping& m) {
  QList<QLine> lines;
  HatchLines(o.BrushStyle, area, ellipse, m.clip, lines);
  if (lines.isEmpty()) return;
  const QPen pen = p.pen();
  p.setPen(QPen(ToQColor(o.BrushColor), 0));
  p.drawLines(lines);
  p.setPen(pen);
}

void TVantixVect::DrawEllipseOrArc(QPainter& p, const TVXVObject& o, const QRect& r,
                                   const TMapping&) {
  if (o.Kind == vxkELLIPSE) {
    QRect drawn = r;
    const int width = p.pen().width();
    if (o.PenStyle == psInsideFrame && width > 1)
      drawn.adjust(width / 2, width / 2, -(width - 1) / 2, -(width - 1) / 2);
    p.drawEllipse(drawn);
    return;
  }
  // The arc runs counter-clockwise from the radial through its start point to the
  // radial through its end point; the points come from the angles on the box.
  const double rx = r.width() / 2.0, ry = r.height() / 2.0;
  const double cx = r.left() + rx, cy = r.top() + ry;
  auto endPoint = [&](double a) {
    return QPoint(r.left() + static_cast<int>(Trunc(std::cos(a) * rx + rx)),
                  r.top() + static_cast<int>(Trunc(std::sin(a) * ry + ry)));
  };
  const QPoint s = endPoint(o.ArcBegin), e = endPoint(o.ArcEnd);
  if (s == e) {  // one radial: the whole ellipse
    p.save();
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(r);
    p.restore();
    return;
  }
  // The painter's arc angles are those of the ellipse's parameter: turn each radial
  // (a geometric angle) into the parameter where it meets the ellipse.
  auto parameter = [&](QPoint q) {
    const double phi = std::atan2(-(q.y() - cy), q.x() - cx);
    return std::atan2(rx * std::sin(phi), ry * std::cos(phi)) * 180 / std::numbers::pi;
  };
  const double a0 = parameter(s);
  double span = parameter(e) - a0;
  while (span <= 0) span += 360;
  p.drawArc(r, static_cast<int>(std::lround(a0 * 16)), static_cast<int>(std::lround(span * 16)));
}

void TVantixVect::DrawLine(QPainter& p, const TVXVObject& o, const TMapping& m) {
  const int64_t x1 = m.X(o.Left), y1 = m.Y(o.Top), x2 = m.X(o.Right), y2 = m.Y(o.Bottom);
  const QRect& c = m.clip;
  const bool native =
      InNativeRange(x1, c.left(), c.right()) && InNativeRange(x2, c.left(), c.right()) &&
      InNativeRange(y1, c.top(), c.bottom()) && InNativeRange(y2, c.top(), c.bottom());
  const QPointF from(static_cast<double>(x1), static_cast<double>(y1));
  const QPointF to(static_cast<double>(x2), static_cast<double>(y2));
  if (native) {
    p.drawLine(QPoint(static_cast<int>(x1), static_cast<int>(y1)),
               QPoint(static_cast<int>(x2), static_cast<int>(y2)));
  } else {
    const int margin = p.pen().width() + 2;
    QPointF a = from, b = to;
    if (ClipSegment(a, b, QRectF(c).adjusted(-margin, -margin, margin, margin))) p.drawLine(a, b);
  }
  DrawArrow(p, o.BeginShape, from, to, m, o);
  DrawArrow(p, o.EndShape, to, from, m, o);
}

void TVantixVect::DrawArrow(QPainter& p, TVXShape shape, QPointF at, QPointF other,
                            const TMapping& m, const TVXVObject& o) {
  if (shape != vxsINARROW && shape != vxsOUTARROW) return;
  const double w = m.Size(o.ShapeWidth), h = m.Size(o.ShapeHeight);
  double ux = 0, uy = 0;
  if (at.x() == other.x()) {
    uy = other.y() > at.y() ? 1 : -1;  // straight down when the other end is below
  } else {
    const double len = std::hypot(other.x() - at.x(), other.y() - at.y());
    ux = (other.x() - at.x()) / len;
    uy = (other.y() - at.y()) / len;
  }
  const double nx = -uy, ny = ux;
  // A vector is applied to a point by its truncated components.
  auto plus = [](QPointF q, double vx, double vy) {
    return QPointF(q.x() + static_cast<double>(Trunc(vx)), q.y() + static_cast<double>(Trunc(vy)));
  };
  QPolygonF tri;
  if (shape == vxsINARROW) {
    tri << plus(at, w / 2 * nx, w / 2 * ny) << plus(at, -w / 2 * nx, -w / 2 * ny)
        << plus(at, h * ux, h * uy);
  } else {
    const QPointF base = plus(at, h * ux, h * uy);
    tri << at << plus(base, w / 2 * nx, w / 2 * ny) << plus(base, -w / 2 * nx, -w / 2 * ny);
  }
  const QRect& c = m.clip;
  bool native = true;
  for (const QPointF& q : tri)
    native = native && InNativeRange(static_cast<int64_t>(q.x()), c.left(), c.right()) &&
             InNativeRange(static_cast<int64_t>(q.y()), c.top(), c.bottom());
  if (native) {
    p.drawPolygon(tri.toPolygon());
    return;
  }
  const int margin = p.pen().width() + 2;
  const QPolygonF cut = ClipPolygon(tri, QRectF(c).adjusted(-margin, -margin, margin, margin));
  if (cut.size() >= 3) p.drawPolygon(cut);
}

void TVantixVect::DrawBitmapObject(QPainter& p, const TVXVObject& o, const QRect& held,
                                   const TMapping& m) {
  // The record is the store's own: take the entry it names.
  const TBitmap* bitmap = nullptr;
  const auto& table = store_.Bitmaps();
  if (o.BitmapIndex >= 0 && static_cast<size_t>(o.BitmapIndex) < table.size())
    bitmap = table[static_cast<size_t>(o.BitmapIndex)].Bitmap.get();
  if (!bitmap || bitmap->Empty()) {
    // A placeholder: the box and both diagonals.
    const QRect r(held.left(), held.top(), held.width() - 1, held.height() - 1);
    p.drawRect(r);
    p.drawLine(r.topLeft(), r.bottomRight() + QPoint(1, 1));
    p.drawLine(QPoint(r.right() + 1, r.top()), QPoint(r.left(), r.bottom() + 1));
    return;
  }
  const QImage& img = Picture(*bitmap);
  if (img.isNull()) return;
  const int64_t bw = m.X(o.Right) - m.X(o.Left) + 1, bh = m.Y(o.Bottom) - m.Y(o.Top) + 1;
  if (bw > 0 && bh > 0 && bw * bh <= kMaxScaledPicturePixels) {
    // Kept at its size on screen: a repaint copies the visible part.
    const QImage& scaled = ScaledPicture(*bitmap, img, static_cast<int>(bw), static_cast<int>(bh));
    const QRect target(static_cast<int>(m.X(o.Left)), static_cast<int>(m.Y(o.Top)),
                       static_cast<int>(bw), static_cast<int>(bh));
    const QRect seen = target.intersected(m.clip);
    if (!seen.isEmpty()) p.drawImage(seen.topLeft(), scaled, seen.translated(-target.topLeft()));
    return;
  }
  // The whole box on screen, in doubles: only the part that can be seen is drawn, with
  // the source cut in proportion.
  const double x1 = static_cast<double>(m.X(o.Left)), y1 = static_cast<double>(m.Y(o.Top));
  const double x2 = static_cast<double>(m.X(o.Right)) + 1,
               y2 = static_cast<double>(m.Y(o.Bottom)) + 1;
  const QRectF whole(QPointF(x1, y1), QPointF(x2, y2));
  const QRectF seen = whole.intersected(QRectF(m.clip));
  if (seen.isEmpty()) return;
  if (seen == whole) {
    p.drawImage(whole, img, QRectF(img.rect()));
    return;
  }
  const double sx = img.width() / whole.width(), sy = img.height() / whole.height();
  const QRectF source((seen.left() - whole.left()) * sx, (seen.top() - whole.top()) * sy,
                      seen.width() * sx, seen.height() * sy);
  p.drawImage(seen, img, source);
}

const QImage& TVantixVect::Picture(const TBitmap& bitmap) {
  auto it = pictureCache_.find(&bitmap);
  if (it != pictureCache_.end()) return it->second;
  std::unique_ptr<TBitmap> scratch;
  QImage img = WrapBitmap(bitmap, &scratch).convertToFormat(QImage::Format_RGB32);
  return pictureCache_.emplace(&bitmap, std::move(img)).first->second;
}

const QImage& TVantixVect::ScaledPicture(const TBitmap& bitmap, const QImage& picture, int w,
                                         int h) {
  const TPictureKey key{&bitmap, w, h};
  auto it = scaledCache_.find(key);
  if (it != scaledCache_.end()) return it->second;
  if (scaledPixels_ > kMaxScaledCachePixels) {
    scaledCache_.clear();
    scaledPixels_ = 0;
  }
  // Nearest neighbour by pixel centres, as the canvas stretches: destination column x
  // takes source column floor((x + 0.5) * sw / w).
  QImage out(w, h, QImage::Format_RGB32);
  const int sw = picture.width(), sh = picture.height();
  std::vector<int> columns(static_cast<size_t>(w));
  for (int x = 0; x < w; ++x)
    columns[static_cast<size_t>(x)] =
        static_cast<int>((2 * int64_t{x} + 1) * sw / (2 * int64_t{w}));
  for (int y = 0; y < h; ++y) {
    const int sy = static_cast<int>((2 * int64_t{y} + 1) * sh / (2 * int64_t{h}));
    const auto* src = reinterpret_cast<const QRgb*>(picture.constScanLine(sy));
    auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < w; ++x) dst[x] = src[columns[static_cast<size_t>(x)]];
  }
  scaledPixels_ += int64_t{w} * h;
  return scaledCache_.emplace(key, std::move(out)).first->second;
}

const TVantixVect::TTextLayout& TVantixVect::TextLayout(const TVXVObject& o, const TVXLogFont& font,
                                                        int pixelHeight) {
  std::unique_ptr<TTextLayout>& slot = textCache_[&o];
  const auto bytes = font.ToBytes();
  if (slot && slot->text == o.Text && slot->font == bytes && slot->pixelHeight == pixelHeight &&
      slot->colour == o.PenColor)
    return *slot;
  slot = std::make_unique<TTextLayout>();
  TTextLayout& t = *slot;
  t.text = o.Text;
  t.font = bytes;
  t.pixelHeight = pixelHeight;
  t.colour = o.PenColor;
  t.qfont = ScaledFont(font, pixelHeight);
  t.shown = ObjectTextToQString(o.Text);
  const QFontMetricsF fm(t.qfont);
  t.width = fm.horizontalAdvance(t.shown);
  t.height = fm.height();
  t.ascent = fm.ascent();
  // The turned cell's bounds around its origin, with room for overhanging glyphs.
  const double deg = font.Escapement / 10.0, a = deg * std::numbers::pi / 180;
  const double ca = std::cos(a), sa = std::sin(a);
  double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
  for (auto [cx, cy] : {std::pair{t.width, 0.0}, {0.0, t.height}, {t.width, t.height}}) {
    const double x = cx * ca + cy * sa, y = -cx * sa + cy * ca;
    x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
  }
  const double margin = 2 + t.height / 4;
  t.origin =
      QPoint(static_cast<int>(std::floor(x0 - margin)), static_cast<int>(std::floor(y0 - margin)));
  const double pw = std::ceil(x1 + margin) - t.origin.x(),
               ph = std::ceil(y1 + margin) - t.origin.y();
  if (pw > 0 && ph > 0 && pw * ph <= kMaxTextPicturePixels) {
    t.picture =
        QImage(static_cast<int>(pw), static_cast<int>(ph), QImage::Format_ARGB32_Premultiplied);
    t.picture.fill(Qt::transparent);
    QPainter q(&t.picture);
    q.setRenderHint(QPainter::TextAntialiasing, true);
    q.setFont(t.qfont);
    q.setPen(ToQColor(o.PenColor));
    q.translate(-t.origin.x(), -t.origin.y());
    if (font.Escapement != 0) q.rotate(-deg);
    q.drawText(QPointF(0, t.ascent), t.shown);
  }
  return t;
}

QFont TVantixVect::ScaledFont(const TVXLogFont& font, int pixelHeight) {
  std::string key(reinterpret_cast<const char*>(font.ToBytes().data()), kLogFontBytes);
  key.append(reinterpret_cast<const char*>(&pixelHeight), sizeof pixelHeight);
  auto it = fontCache_.find(key);
  if (it != fontCache_.end()) return it->second;
  if (fontCache_.size() > 256) fontCache_.clear();
  return fontCache_.emplace(std::move(key), LogFontToQFont(font, pixelHeight)).first->second;
}

void TVantixVect::DrawText(QPainter& p, const TVXVObject& o, const QRect& box, const TMapping& m) {
  const bool edited = !m.toImage && editedText_ >= 0 && store_.Object(editedText_) == &o;
  if (edited) {
    // The editor shows the text; the object shows where it is.
    p.setBrush(Qt::NoBrush);
    p.drawRect(box.adjusted(-1, -1, 0, 0));
    return;
  }
  if (o.Text.empty()) return;
  const TVXLogFont record = o.Font ? *o.Font : TVXLogFont{};
  const int boxW = box.width(), boxH = box.height();
  TVXLogFont scaled = record;
  scaled.Width = m.Size(record.Width);
  const int height = record.Height != 0 ? m.Size(record.Height) : boxH;
  const TTextLayout& laid = TextLayout(o, scaled, height);
  const double w = laid.width, h = laid.height;
  const double a = record.Escapement / 10.0 * std::numbers::pi / 180;
  const double ca = std::cos(a), sa = std::sin(a);
  const int dy = static_cast<int>(Trunc((boxH - ca * h) + sa * w) / 2);
  int dx = 0;
  switch (o.TextAlign) {
    case kTextAlignRight:
      dx = static_cast<int>(Trunc(boxW - ca * w));
      break;
    case kTextAlignCenter:
      dx = static_cast<int>(Trunc((boxW - ca * w) - sa * h) / 2);
      break;
    default:
      dx = static_cast<int>(std::abs(Trunc(sa * h)));
      break;
  }
  const QRect clip(box.left(), box.top(), boxW, boxH);
  // An opaque brush fills the box behind the text; any other leaves the image showing.
  if (o.BrushStyle == bsSolid) p.fillRect(clip, ToQColor(o.BrushColor));
  const QPoint at(box.left() + dx, box.top() + dy);
  if (!laid.picture.isNull()) {
    // The kept picture, cut to the box.
    const QRect target(at + laid.origin, laid.picture.size());
    const QRect seen = target.intersected(clip);
    if (!seen.isEmpty())
      p.drawImage(seen.topLeft(), laid.picture, seen.translated(-target.topLeft()));
    return;
  }
  p.save();
  p.setClipRect(clip, Qt::IntersectClip);
  p.setPen(ToQColor(o.PenColor));
  p.setFont(laid.qfont);
  p.setRenderHint(QPainter::TextAntialiasing, true);
  p.translate(at);
  if (record.Escapement != 0) p.rotate(-record.Escapement / 10.0);
  p.drawText(QPointF(0, laid.ascent), laid.shown);
  p.restore();
}

// ============================== grips ==============================

QRect TVantixVect::ScreenBox(const TVXVObject& o) const {
  // The truncating mapping of the objects, corners as stored (a line's may be reversed).
  const double f = Zoom() / 100.0;
  auto mx = [&](int32_t x) {
    return SatInt(Trunc(static_cast<extended>(x) * f) + OffsetX() - ViewX());
  };
  auto my = [&](int32_t y) {
    return SatInt(Trunc(static_cast<extended>(y) * f) + OffsetY() - ViewY());
  };
  return QRect(QPoint(mx(o.Left), my(o.Top)), QPoint(mx(o.Right), my(o.Bottom)));
}

namespace {

// The outline of a 9 x 9 square around (x, y) as four bands that share no pixel.
void SquareGrip(int x, int y, std::vector<QRect>& bands) {
  bands.emplace_back(x - 4, y - 4, 9, 1);
  bands.emplace_back(x - 4, y + 4, 9, 1);
  bands.emplace_back(x - 4, y - 3, 1, 7);
  bands.emplace_back(x + 4, y - 3, 1, 7);
}

// The pixels of a diamond whose vertices lie 4 pixels from (x, y).
void DiamondGrip(int x, int y, std::vector<QPoint>& pts) {
  for (int k = 0; k < 4; ++k) {
    pts.emplace_back(x + k, y - 4 + k);
    pts.emplace_back(x + 4 - k, y + k);
    pts.emplace_back(x - k, y + 4 - k);
    pts.emplace_back(x - 4 + k, y - k);
  }
}

bool MeetsRect(const QRect& box, const QRect& area) {
  return BoxesMeet(
      TRect{box.left(), box.top(), box.right(), box.bottom()},
      TRect{area.left(), area.top(), area.left() + area.width(), area.top() + area.height()});
}

}  // namespace

void TVantixVect::AddGripPoints(int32_t i, std::vector<QPoint>& pts,
                                std::vector<QRect>& bands) const {
  // Frames first show their children's grips; nesting is walked without recursion.
  std::vector<int32_t> pending{i};
  while (!pending.empty()) {
    const int32_t k = pending.back();
    pending.pop_back();
    const TVXVObject* o = store_.Object(k);
    if (!o) continue;
    const QRect s = ScreenBox(*o);  // corners as stored
    const QRect ordered = s.normalized();
    if (!MeetsRect(ordered, ImageOnScreen())) continue;
    if (o->IsFrame() && k != kVXVRoot)
      for (auto c = o->Children.rbegin(); c != o->Children.rend(); ++c) pending.push_back(*c);
    SquareGrip(s.left(), s.top(), bands);
    SquareGrip(s.right(), s.bottom(), bands);
    DiamondGrip(s.left() + (s.right() - s.left() + 1) / 2, s.top() + (s.bottom() - s.top() + 1) / 2,
                pts);
    if (o->Kind != vxkLINE) {
      SquareGrip(s.right(), s.top(), bands);
      SquareGrip(s.left(), s.bottom(), bands);
    }
  }
}

void TVantixVect::DrawGrips(QPainter& p) const {
  if (selObjects_.empty()) return;
  std::vector<QPoint> pts;
  std::vector<QRect> bands;
  for (int32_t i : selObjects_) AddGripPoints(i, pts, bands);
  const QRect client = QRect(0, 0, ClientWidth(), ClientHeight());
  QList<QPoint> shown;
  shown.reserve(static_cast<qsizetype>(pts.size()));
  for (const QPoint& q : pts)
    if (client.contains(q)) shown.push_back(q);
  // Inverted, so a grip shows on any colour; two grips on one pixel cancel out.
  p.setPen(QPen(Qt::white, 1));
  p.setRenderHint(QPainter::Antialiasing, false);
  p.drawPoints(shown.data(), static_cast<int>(shown.size()));
  for (const QRect& r : bands) {
    const QRect seen = r.intersected(client);
    if (!seen.isEmpty()) p.fillRect(seen, Qt::white);
  }
}

int TVantixVect::FindSelGrip(int x, int y) const {
  auto hit = [&](int gx, int gy) { return gx - 4 <= x && x < gx + 4 && gy - 4 <= y && y < gy + 4; };
  for (int32_t i : selObjects_) {
    const TVXVObject* o = store_.Object(i);
    if (!o) continue;
    const QRect s = ScreenBox(*o);
    if (!MeetsRect(s.normalized(), ImageOnScreen())) continue;
    int grip = kGripNone;
    if (hit(s.left(), s.top()))
      grip = kGripTopLeft;
    else if (hit(s.right(), s.bottom()))
      grip = kGripBottomRight;
    else if (hit(s.left() + (s.right() - s.left() + 1) / 2,
                 s.top() + (s.bottom() - s.top() + 1) / 2))
      grip = kGripCentre;
    if (o->Kind != vxkLINE) {
      if (hit(s.right(), s.top()))
        grip = kGripTopRight;
      else if (hit(s.left(), s.bottom()))
        grip = kGripBottomLeft;
    }
    if (grip != kGripNone) return grip;
  }
  return kGripNone;
}

int32_t TVantixVect::FindNearObj(int32_t frame, int x, int y) const {
  return store_.FindNearObj(frame, x, y,
                            VisibleImagePart(ViewX(), ViewY(), ExtentX(), ExtentY(), Zoom()));
}

// ============================== object selection ==============================

void TVantixVect::AddSelObject(int32_t i) {
  const int32_t r = store_.Resolve(i);
  if (r >= 0 && !IsSelObject(r)) selObjects_.push_back(r);
  FireSelect();
  viewport()->update();
}

void TVantixVect::UnSelObject(int32_t i) {
  const int32_t r = store_.Resolve(i);
  const auto it = std::find(selObjects_.begin(), selObjects_.end(), r);
  if (it != selObjects_.end()) selObjects_.erase(it);
  FireSelect();
  viewport()->update();
}

void TVantixVect::UnSelAllObjects() {
  selObjects_.clear();
  FireSelect();
  viewport()->update();
}

void TVantixVect::SelAllObjects() {
  selObjects_.clear();
  const TBitmap& b = Bitmap();
  if (!b.Empty()) selObjects_ = store_.ObjectsInside(TRect{0, 0, b.Width() - 1, b.Height() - 1});
  FireSelect();
  Update();
}

bool TVantixVect::IsSelObject(int32_t i) const {
  const int32_t r = store_.Resolve(i);
  return std::find(selObjects_.begin(), selObjects_.end(), r) != selObjects_.end();
}

int32_t TVantixVect::SelObjects(int k) const {
  if (k < 0 || k >= SelObjectsCount()) return kVXVNone;
  return selObjects_[static_cast<size_t>(k)];
}

// ============================== units and files ==============================

void TVantixVect::SetMUnit(TVXUnits u) {
  store_.SetMUnit(u);
  RefreshHints();
}

void TVantixVect::SetScale(double s) {
  store_.SetScale(s);
  RefreshHints();
}

void TVantixVect::SetScaleFromPixels(double pixels, double length) {
  store_.SetScaleFromPixels(pixels, length);
  RefreshHints();
}

void TVantixVect::SetScaleFromSelectionLen(double length) {
  store_.SetScaleFromSelectionLen(length, [this] { return GetSelectionLen(); });
  RefreshHints();
}

void TVantixVect::SetFloatDigits(int d) {
  store_.SetFloatDigits(d);
  RefreshHints();
}

void TVantixVect::SetFloatPrecision(int p) {
  store_.SetFloatPrecision(p);
  RefreshHints();
}

void TVantixVect::SetDPIX(int dpi) {
  TVantixView::SetDPIX(dpi);
  store_.SetDPI(DpiX(), DpiY());
  RefreshHints();
}

void TVantixVect::SetDPIY(int dpi) {
  TVantixView::SetDPIY(dpi);
  store_.SetDPI(DpiX(), DpiY());
  RefreshHints();
}

void TVantixVect::LoadFromStreamVXV(TStream& stream) {
  CancelInteracts();
  store_.LoadFromStreamVXV(stream);
}

void TVantixVect::LoadFromFileVXV(const std::string& fileName) {
  CancelInteracts();
  store_.LoadFromFileVXV(fileName);
}

void TVantixVect::ImportDXF(const std::string& fileName) {
  CancelInteracts();
  store_.SetImageSize(Bitmap().Width(), Bitmap().Height());
  store_.ImportDXF(fileName);
}

// ============================== clipboard ==============================

void TVantixVect::CopyObjectTree(const TVXVObjectStore& from, int32_t source, TVXVObjectStore& to,
                                 int32_t parent, int dx, int dy,
                                 std::vector<int32_t>* added) const {
  struct Item {
    int32_t source, parent;
  };
  std::vector<Item> pending{{source, parent}};
  while (!pending.empty()) {
    const Item item = pending.back();
    pending.pop_back();
    const TVXVObject* o = from.Object(item.source);
    if (!o) continue;
    TVXVObject copy = *o;
    copy.BitmapIndex = -1;  // an index into the other store's table
    copy.Left = SatAdd(copy.Left, dx);
    copy.Right = SatAdd(copy.Right, dx);
    copy.Top = SatAdd(copy.Top, dy);
    copy.Bottom = SatAdd(copy.Bottom, dy);
    const int32_t slot = to.AddVObject(item.parent, copy);
    if (slot < 0) continue;
    if (added && item.parent == parent) added->push_back(slot);
    if (o->Kind == vxkBITMAP) {
      if (const TBitmap* b = from.ObjBitmap(item.source)) to.SetObjBitmap(slot, b);
    }
    // Children in order: pushed last first.
    for (auto c = o->Children.rbegin(); c != o->Children.rend(); ++c) pending.push_back({*c, slot});
  }
}

std::vector<int32_t> TVantixVect::TopSelected() const {
  std::vector<int32_t> top;
  for (int32_t i : selObjects_) {
    if (!store_.Exists(i)) continue;
    bool inside = false;
    // An object inside a selected frame goes with the frame.
    for (int32_t p = store_.Object(i)->Parent; p >= 0 && !inside; p = store_.Object(p)->Parent)
      inside = IsSelObject(p);
    if (!inside && std::find(top.begin(), top.end(), i) == top.end()) top.push_back(i);
  }
  return top;
}

QImage TVantixVect::RenderObjects(const std::vector<int32_t>& which, const TRect& box) {
  const int64_t w = int64_t{box.right} - box.left + 1, h = int64_t{box.bottom} - box.top + 1;
  if (w <= 0 || h <= 0 || w * h > kMaxClipPicturePixels) return {};
  QImage img(static_cast<int>(w), static_cast<int>(h), QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  DrawObjectsAt(p, box.left, box.top, which);
  return img;
}

QMimeData* TVantixVect::SelectedObjectsMimeData() {
  const std::vector<int32_t> top = TopSelected();
  if (top.empty()) return nullptr;
  TVXVObjectStore fragment;
  fragment.SetImageSize(Bitmap().Width(), Bitmap().Height());
  for (int32_t i : top) CopyObjectTree(store_, i, fragment, kVXVRoot, 0, 0, nullptr);
  TMemoryStream stream;
  fragment.SaveToStreamVXV(stream);
  auto* data = new QMimeData;
  data->setData(kVXVMimeType, QByteArray(reinterpret_cast<const char*>(stream.Data().data()),
                                         static_cast<qsizetype>(stream.Data().size())));
  // The picture: what the objects look like at 1:1, with room for wide pens and arrows.
  TRect box = fragment.GetObjectsExtents();
  int margin = 1;
  for (int32_t s = 0; s < fragment.SlotCount(); ++s)
    if (const TVXVObject* o = fragment.Object(s))
      margin = std::max({margin, o->PenWidth, o->Kind == vxkLINE ? o->ShapeWidth : 0,
                         o->Kind == vxkLINE ? o->ShapeHeight : 0});
  margin = std::min(margin, 4096);
  box = {SatAdd(box.left, -margin), SatAdd(box.top, -margin), SatAdd(box.right, margin),
         SatAdd(box.bottom, margin)};
  const QImage picture = RenderObjects(top, box);
  if (!picture.isNull()) data->setImageData(picture);
  return data;
}

bool TVantixVect::CopyToClipboard() {
  QMimeData* data = SelectedObjectsMimeData();
  if (!data) return false;
  QGuiApplication::clipboard()->setMimeData(data);
  return true;
}

bool TVantixVect::CutToClipboard() {
  if (!CopyToClipboard()) return false;
  const std::vector<int32_t> top = TopSelected();
  for (int32_t i : top) store_.RemoveObject(i);
  FireChanged();
  return true;
}

bool TVantixVect::PasteFromClipboard() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  return data && PasteMimeData(*data);
}

bool TVantixVect::PasteMimeData(const QMimeData& data) {
  if (!data.hasFormat(kVXVMimeType)) return false;
  const QByteArray bytes = data.data(kVXVMimeType);
  TVXVObjectStore fragment;
  try {
    TMemoryStream stream(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    fragment.LoadFromStreamVXV(stream);
  } catch (const std::exception&) {
    return false;  // a damaged fragment adds nothing
  }
  if (fragment.ObjectsCount() == 0) return false;
  CancelInteracts();
  const TRect e = fragment.GetObjectsExtents();
  const TRect v = VisibleImagePart(ViewX(), ViewY(), ExtentX(), ExtentY(), Zoom());
  int64_t dx = 0, dy = 0;
  const bool inSight =
      e.left >= v.left && e.top >= v.top && e.right <= v.right && e.bottom <= v.bottom;
  if (!inSight) {
    dx = int64_t{v.left} - e.left;
    dy = int64_t{v.top} - e.top;
  } else {
    // A copy pasted where its original lies would hide behind it: step aside.
    const int step = std::max(1, RoundI(10 * 100.0L / Zoom()));
    auto covers = [&](int64_t ox, int64_t oy) {
      for (int32_t c : fragment.Root().Children) {
        const TVXVObject& f = *fragment.Object(c);
        for (int32_t k : store_.Root().Children) {
          const TVXVObject& o = *store_.Object(k);
          if (o.Kind == f.Kind && o.Left == f.Left + ox && o.Top == f.Top + oy &&
              o.Right == f.Right + ox && o.Bottom == f.Bottom + oy)
            return true;
        }
      }
      return false;
    };
    for (int tries = 0; tries < 64 && covers(dx, dy); ++tries) dx += step, dy += step;
  }
  std::vector<int32_t> added;
  for (int32_t c : std::vector<int32_t>(fragment.Root().Children))
    CopyObjectTree(fragment, c, store_, kVXVRoot, SatInt(dx), SatInt(dy), &added);
  selObjects_ = added;
  FireSelect();
  FireChanged();
  Update();
  return true;
}

bool TVantixVect::InsertFromClipboard() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  if (!data || !data->hasImage()) return false;
  const QImage picture = qvariant_cast<QImage>(data->imageData());
  if (picture.isNull()) return false;
  CancelInteracts();
  TBitmap bitmap;
  CopyQImageInto(picture, bitmap);
  const TRect v = VisibleImagePart(ViewX(), ViewY(), ExtentX(), ExtentY(), Zoom());
  TVXVObject o = store_.Template();
  o.Kind = vxkBITMAP;
  o.BitmapIndex = -1;
  o.Left = v.left;
  o.Top = v.top;
  o.Right = SatAdd(v.left, bitmap.Width() - 1);
  o.Bottom = SatAdd(v.top, bitmap.Height() - 1);
  const int32_t i = store_.AddVObject(kVXVRoot, o);
  if (i < 0) return false;
  store_.SetObjBitmap(i, &bitmap);
  selObjects_ = {i};
  FireSelect();
  FireChanged();
  Update();
  return true;
}

}  // namespace vx
