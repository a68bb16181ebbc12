// Selections of the single-image view: the animated polygons, grips, resizing and
// moving, and the mouse state machine.
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

#include "core/arith.h"
#include "core/vxdefs.h"
#include "core/vxutils.h"
#include "proc/dibtransfer.h"
#include "view/qtplatform.h"
#include "view/vantixview.h"

namespace vx {

namespace {

// Lines are stepped the usual Bresenham way from (x1, y1) towards (x2, y2), end point
// excluded: n = max(|dx|, |dy|) pixels, the major coordinate moving every step. After k
// steps the minor coordinate has moved floor((2 minor k + major) / (2 major)) pixels,
// so any pixel of the line is found without walking to it. The products need more
// than 64 bits: screen positions span the whole int range at high zooms.
__extension__ typedef __int128 Wide;

int64_t MinorOffset(int64_t major, int64_t minor, int64_t k) {
  return static_cast<int64_t>((Wide{2} * minor * k + major) / (Wide{2} * major));
}

// The steps k in [0, n) whose offset, non-decreasing in k, lies in [lo, hi]; empty
// when first > last.
template <class Offset>
std::pair<int64_t, int64_t> StepsWithin(int64_t n, int64_t lo, int64_t hi, Offset&& offset) {
  int64_t a = 0, b = n;  // first k with offset(k) >= lo
  while (a < b) {
    const int64_t m = a + (b - a) / 2;
    if (offset(m) >= lo)
      b = m;
    else
      a = m + 1;
  }
  const int64_t first = a;
  a = 0, b = n;  // first k with offset(k) > hi
  while (a < b) {
    const int64_t m = a + (b - a) / 2;
    if (offset(m) > hi)
      b = m;
    else
      a = m + 1;
  }
  return {first, a - 1};
}

// Visits the pixels of the line inside clip, calling skip(n) for the pixels before and
// after them, so that a pattern counted along the line keeps its phase. The pixels on
// a line inside a rectangle are one run, as both coordinates move monotonically; the
// cost is that run plus a few binary searches, whatever the line's length: at high
// zooms the edges of a selection run for millions of pixels beyond the client area.
template <class F, class S>
void StepLineClipped(int64_t x1, int64_t y1, int64_t x2, int64_t y2, const QRect& clip, F&& plot,
                     S&& skip) {
  const int64_t ax = std::abs(x2 - x1), ay = std::abs(y2 - y1);
  const int64_t n = std::max(ax, ay);
  if (n == 0) return;
  const int64_t sx = x1 < x2 ? 1 : -1, sy = y1 < y2 ? 1 : -1;
  const bool xMajor = ax >= ay;
  const int64_t minor = xMajor ? ay : ax;
  auto offX = [&](int64_t k) { return xMajor ? k : MinorOffset(n, minor, k); };
  auto offY = [&](int64_t k) { return xMajor ? MinorOffset(n, minor, k) : k; };
  // The clip as offsets from the start along each axis's direction of travel.
  auto range = [](int64_t start, int64_t s, int64_t lo, int64_t hi) {
    return s > 0 ? std::pair{lo - start, hi - start} : std::pair{start - hi, start - lo};
  };
  const auto [xl, xh] = range(x1, sx, clip.left(), clip.right());
  const auto [yl, yh] = range(y1, sy, clip.top(), clip.bottom());
  const auto [kx0, kx1] = StepsWithin(n, xl, xh, offX);
  const auto [ky0, ky1] = StepsWithin(n, yl, yh, offY);
  const int64_t k0 = std::max(kx0, ky0), k1 = std::min(kx1, ky1);
  if (k0 > k1) {
    skip(n);
    return;
  }
  skip(k0);
  for (int64_t k = k0; k <= k1; ++k) plot(x1 + sx * offX(k), y1 + sy * offY(k));
  skip(n - 1 - k1);
}

constexpr int kZoomSteps[] = {2, 5, 10, 25, 33, 50, 75, 100};

}  // namespace

TPoint TVantixView::PolySel(int i) const {
  if (i < 0 || i >= sel_->Count()) return {};
  return sel_->Points[static_cast<size_t>(i)];
}

// ---- animated polygons ----

TVXAnimPolygon* TVantixView::AnimPolygonNew(TColor color1, TColor color2, bool animated,
                                            bool sizeable) {
  auto poly = std::make_unique<TVXAnimPolygon>();
  poly->Color1 = color1;
  poly->Color2 = color2;
  poly->Animated = animated;
  poly->Sizeable = sizeable;
  poly->Points.reserve(64);
  TVXAnimPolygon* raw = poly.get();
  polygons_.push_back(std::move(poly));
  if (polygons_.size() == 1) timer_->start();
  return raw;
}

void TVantixView::AnimPolygonAddPtEx(TVXAnimPolygon* poly, int x, int y) {
  if (!poly) return;
  if (poly->Points.size() == poly->Points.capacity())
    poly->Points.reserve(poly->Points.size() + 64);
  poly->Points.push_back({x, y});
  if (poly->Count() == 2) {
    poly->X1 = poly->Points[0].x, poly->Y1 = poly->Points[0].y;
    poly->X2 = x, poly->Y2 = y;
    OrdCor(poly->X1, poly->Y1, poly->X2, poly->Y2);
  } else if (poly->Count() > 2) {
    poly->X1 = std::min(poly->X1, x), poly->X2 = std::max(poly->X2, x);
    poly->Y1 = std::min(poly->Y1, y), poly->Y2 = std::max(poly->Y2, y);
  }
  selected_ = true;
}

void TVantixView::AnimPolygonAddPt(TVXAnimPolygon* poly, int x, int y) {
  AnimPolygonAddPtEx(poly, x, y);
  Paint();
}

void TVantixView::AnimPolygonClear(TVXAnimPolygon* poly) {
  if (!poly) return;
  poly->Points.clear();
  Paint();
}

void TVantixView::AnimPolygonDel(TVXAnimPolygon* poly) {
  if (!poly || poly == sel_) return;  // the selection polygon lives as long as the view
  auto it = std::find_if(polygons_.begin(), polygons_.end(),
                         [&](const auto& p) { return p.get() == poly; });
  if (it == polygons_.end()) return;
  polygons_.erase(it);
  if (polygons_.empty()) timer_->stop();
  Paint();
}

bool TVantixView::AnimationTimerActive() const {
  return timer_->isActive();
}

void TVantixView::AnimationStep(bool fromTimer) {
  bool redraw = !fromTimer;
  for (auto& poly : polygons_) {
    if (!poly->Visible) continue;
    if (poly->Animated && !polygonDrawing_ && !rectDragging_ && !circleDragging_ && fromTimer) {
      poly->Phase = (poly->Phase + 1) % 6;
      if (poly->Count() > 0) redraw = true;
    }
  }
  // The ants are an overlay over the cached rendering: this repaints without
  // rendering the image again.
  if (redraw && lockCount_ == 0) viewport()->update();
  if (filterCountdown_ > 0 && --filterCountdown_ == 0) Update();
}

void TVantixView::DrawAnts(QPainter& p, TVXAnimPolygon& poly) {
  const int n = poly.Count();
  if (n == 0) return;
  const QRect clip = viewport()->rect().adjusted(-1, -1, 1, 1);
  QList<QPoint> first, second;
  poly.DashCounter = poly.Phase;
  auto plot = [&](int64_t x, int64_t y) {  // x, y lie between two int vertices
    const bool one = poly.DashCounter < 3;
    if (!one && poly.DashCounter >= 5) poly.DashCounter = -1;
    ++poly.DashCounter;
    const QPoint q(static_cast<int>(x), static_cast<int>(y));
    if (clip.contains(q)) (one ? first : second).push_back(q);
  };
  // count pixels passed without drawing: once in 0..5 the counter repeats every 6.
  auto skip = [&](int64_t count) {
    for (; count > 0 && (poly.DashCounter < 0 || poly.DashCounter > 5); --count)
      poly.DashCounter = poly.DashCounter >= 5 ? 0 : poly.DashCounter + 1;
    poly.DashCounter = static_cast<int>((poly.DashCounter + count % 6) % 6);
  };
  std::vector<QPoint> scr(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i)
    scr[static_cast<size_t>(i)] = QPoint(XBmp2Scr(poly.Points[static_cast<size_t>(i)].x),
                                         YBmp2Scr(poly.Points[static_cast<size_t>(i)].y));
  for (size_t i = 1; i < scr.size(); ++i)
    StepLineClipped(scr[i - 1].x(), scr[i - 1].y(), scr[i].x(), scr[i].y(), clip, plot, skip);
  if (!polygonDrawing_)
    StepLineClipped(scr.back().x(), scr.back().y(), scr[0].x(), scr[0].y(), clip, plot, skip);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(ToQColor(poly.Color1), 1));
  p.drawPoints(first.data(), static_cast<int>(first.size()));
  p.setPen(QPen(ToQColor(poly.Color2), 1));
  p.drawPoints(second.data(), static_cast<int>(second.size()));
  if (poly.Sizeable && !rectDragging_ && IsRectangle(poly.Points)) {
    for (const QPoint& s : scr) {
      if (!clip.adjusted(-3, -3, 3, 3).contains(s)) continue;  // off screen
      p.fillRect(QRect(s.x() - 3, s.y() - 3, 6, 6), ToQColor(poly.Color1));
      p.fillRect(QRect(s.x() - 2, s.y() - 2, 4, 4), ToQColor(poly.Color2));
    }
  }
}

void TVantixView::DrawRubberBand(QPainter& p) {
  if (sel_->Count() == 0) return;
  const TPoint& last = sel_->Points.back();
  p.save();
  p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  p.setPen(QPen(Qt::white, 1));
  p.drawLine(rubberPoint_.x, rubberPoint_.y, XBmp2Scr(last.x), YBmp2Scr(last.y));
  p.restore();
}

void TVantixView::DrawOverlay(QPainter& p) {
  if (lockCount_ == 0)
    for (auto& poly : polygons_)
      if (poly->Visible) DrawAnts(p, *poly);
  if (polygonDrawing_) DrawRubberBand(p);
}

// ---- selection operations ----

TPoint TVantixView::ToBitmap(int x, int y) const {
  if (selectionBase_ == vxsbClientArea) return {XScr2Bmp(x), YScr2Bmp(y)};
  return {x, y};
}

void TVantixView::Select(int x1, int y1, int x2, int y2) {
  if (x1 == x2 || y1 == y2) return;
  const TPoint a = ToBitmap(x1, y1), b = ToBitmap(x2, y2);
  x1 = a.x, y1 = a.y, x2 = b.x, y2 = b.y;
  selected_ = true;
  AnimPolygonClear(sel_);
  OrdCor(x1, y1, x2, y2);
  AnimPolygonAddPtEx(sel_, x1, y1);
  AnimPolygonAddPtEx(sel_, x2, y1);
  AnimPolygonAddPtEx(sel_, x2, y2);
  AnimPolygonAddPtEx(sel_, x1, y2);
  ShowSelectionEx(true);
}

void TVantixView::AddSelPoint(int x, int y) {
  const TPoint b = ToBitmap(x, y);
  AnimPolygonAddPt(sel_, b.x, b.y);
  ShowSelectionEx(true);
}

void TVantixView::DeSelect() {
  if (selected_) {
    selected_ = false;
    HideSelectionEx(true);
  }
  AnimPolygonClear(sel_);
  selected_ = polygonDrawing_ = rectDragging_ = circleDragging_ = false;
  resizeGrip_ = moveGrip_ = -1;
}

void TVantixView::ShowSelectionEx(bool draw) {
  sel_->Visible = true;
  if (draw) AnimationStep(false);
}

void TVantixView::HideSelectionEx(bool repaint) {
  sel_->Visible = false;
  if (repaint && lockCount_ == 0) Paint();
}

void TVantixView::SetVisibleSelection(bool v) {
  if (v)
    ShowSelectionEx(true);
  else
    HideSelectionEx(true);
}

void TVantixView::SetSelColor1(TColor c) {
  sel_->Color1 = c;
  Paint();
}

void TVantixView::SetSelColor2(TColor c) {
  sel_->Color2 = c;
  Paint();
}

void TVantixView::SetSelectionOptions(TVXSelectionOptions o) {
  selectionOptions_ = o;
  sel_->Animated = o.Contains(vxsoAnimated);
  sel_->Sizeable = o.Contains(vxsoSizeable);
  Paint();
}

void TVantixView::ZoomSelection() {
  if (!selected_) return;
  const int x1 = sel_->X1, y1 = sel_->Y1, x2 = sel_->X2, y2 = sel_->Y2;
  LockPaint();
  DeSelect();
  const int h = y2 - y1 + 1, w = x2 - x1 + 1;
  SetZoom(
      static_cast<int>(std::min(Trunc(width() / (w / 100.0L)), Trunc(height() / (h / 100.0L)))));
  const double f = zoom_ / 100.0;
  SetViewXY(TruncSat(Trunc(static_cast<extended>(x1) * f) - (ClientWidth() - Trunc(w * f)) / 2),
            TruncSat(Trunc(static_cast<extended>(f) * y1) - (ClientHeight() - Trunc(h * f)) / 2));
  UnLockPaint();
}

void TVantixView::AssignSelTo(TVantixView& target) {
  if (!selected_ || &target == this) return;
  CopyBitmapPoly(*image_, *target.image_, sel_->X1, sel_->Y1, sel_->X2, sel_->Y2, sel_->Points);
  target.background_ = background_;
  target.SetDPI(DpiX(), DpiY());
  target.Update();
  target.ImageChange();
}

void TVantixView::AssignSelTo(TBitmap& target) {
  if (!selected_ || &target == image_.get()) return;
  CopyBitmapPoly(*image_, target, sel_->X1, sel_->Y1, sel_->X2, sel_->Y2, sel_->Points);
  target.SetModified(true);
}

bool TVantixView::IsRectangle(const std::vector<TPoint>& pts) {
  if (pts.size() != 4) return false;
  // Edges p3->p0, p0->p1, p1->p2, p2->p3: 1 vertical, 2 horizontal, 0 neither.
  int kinds[4];
  for (int i = 0; i < 4; ++i) {
    const TPoint& a = pts[static_cast<size_t>((i + 3) % 4)];
    const TPoint& b = pts[static_cast<size_t>(i)];
    kinds[i] = (a.x == b.x && a.y != b.y) ? 1 : (a.y == b.y && a.x != b.x) ? 2 : 0;
    if (kinds[i] == 0) return false;
    if (i > 0 && kinds[i] == kinds[i - 1]) return false;
  }
  return true;
}

int TVantixView::GetResizingGrip(int x, int y) const {
  if (!sel_->Visible || !sel_->Sizeable || rectDragging_ || !IsRectangle(sel_->Points)) return -1;
  for (int i = 0; i < 4; ++i) {
    const TPoint& v = sel_->Points[static_cast<size_t>(i)];
    if (std::abs(int64_t{x} - XBmp2Scr(v.x)) <= 3 && std::abs(int64_t{y} - YBmp2Scr(v.y)) <= 3)
      return i;
  }
  const double sx1 = XBmp2Scr(sel_->X1), sy1 = YBmp2Scr(sel_->Y1);
  const double sx2 = XBmp2Scr(sel_->X2), sy2 = YBmp2Scr(sel_->Y2);
  if (DistPoint2Seg(x, y, sx1, sy1, sx1, sy2) < 3) return 4;
  if (DistPoint2Seg(x, y, sx2, sy1, sx2, sy2) < 3) return 5;
  if (DistPoint2Seg(x, y, sx1, sy1, sx2, sy1) < 3) return 6;
  if (DistPoint2Seg(x, y, sx1, sy2, sx2, sy2) < 3) return 7;
  return -1;
}

int TVantixView::GetMovingGrip(int x, int y) {
  if (!sel_->Visible || rectDragging_ || !IsRectangle(sel_->Points)) return -1;
  if (x >= XBmp2Scr(sel_->X1) && x <= XBmp2Scr(sel_->X2) && y >= YBmp2Scr(sel_->Y1) &&
      y <= YBmp2Scr(sel_->Y2)) {
    grabRect_ = TRect{sel_->X1, sel_->Y1, sel_->X2, sel_->Y2};
    return 0;
  }
  return -1;
}

void TVantixView::RebuildRect(int x1, int y1, int x2, int y2) {
  OrdCor(x1, y1, x2, y2);
  sel_->Points = {{x1, y1}, {x2, y1}, {x2, y2}, {x1, y2}};
  sel_->X1 = x1, sel_->Y1 = y1, sel_->X2 = x2, sel_->Y2 = y2;
  selected_ = true;
  ShowSelectionEx(true);
}

int TVantixView::SelectResizeEx(int grip, int x, int y) {
  const int bx = XScr2Bmp(x), by = YScr2Bmp(y);
  int x1 = sel_->X1, y1 = sel_->Y1, x2 = sel_->X2, y2 = sel_->Y2;
  // An edge dragged onto the opposite one stays one pixel away from it.
  if (grip == 0 || grip == 3 || grip == 4) x1 = (bx == x2) ? bx - 1 : bx;
  if (grip == 1 || grip == 2 || grip == 5) x2 = (x1 == bx) ? bx + 1 : bx;
  if (grip == 0 || grip == 1 || grip == 6) y1 = (by == y2) ? by - 1 : by;
  if (grip == 2 || grip == 3 || grip == 7) y2 = (y1 == by) ? by + 1 : by;
  // Crossed over: continue with the grip on the other side.
  if (x2 < x1) {
    static constexpr int kSwapX[8] = {1, 0, 3, 2, 5, 4, 6, 7};
    grip = kSwapX[grip];
  }
  if (y2 < y1) {
    static constexpr int kSwapY[8] = {3, 2, 1, 0, 4, 5, 7, 6};
    grip = kSwapY[grip];
  }
  RebuildRect(x1, y1, x2, y2);
  return grip;
}

void TVantixView::SelectMoveEx(int dx, int dy) {
  const int bdx = RoundI(100.0L / zoom_ * dx), bdy = RoundI(100.0L / zoom_ * dy);
  RebuildRect(grabRect_.left + bdx, grabRect_.top + bdy, grabRect_.right + bdx,
              grabRect_.bottom + bdy);
}

// ---- mouse interaction ----

void TVantixView::SetMouseInteract(TVXMouseInteract m) {
  if (m == mouseInteract_) return;
  if (polygonDrawing_) {
    if (!sel_->Points.empty()) sel_->Points.pop_back();
    polygonDrawing_ = false;
    viewport()->update();
  }
  const TVXMouseInteract added = m - mouseInteract_;
  struct Rule {
    TVXMouseInteractItems item;
    TVXMouseInteract keep;
  };
  static const Rule kRules[] = {
      {miScroll, {miZoom, miScroll}},         {miSelect, {miZoom, miSelect}},
      {miSelectPolygon, {miSelectPolygon}},   {miSelectCircle, {miSelectCircle}},
      {miSelectZoom, {miZoom, miSelectZoom}}, {miZoom, {miZoom, miScroll, miSelect, miSelectZoom}},
  };
  for (const Rule& r : kRules)
    if (added.Contains(r.item)) {
      m = m * r.keep;
      break;
    }
  mouseInteract_ = m;
}

QPoint TVantixView::ClampClient(QPoint p) const {
  const int x = std::max(offsetX_, std::min(offsetX_ + extentX_ - 1, p.x()));
  const int y = std::max(offsetY_, std::min(offsetY_ + extentY_ - 1, p.y()));
  return {x, y};
}

void TVantixView::AutoScroll(QPoint raw) {
  // One step per mouse event; a held mouse outside the image keeps the drag going
  // through the repeat timer started in mouseMoveEvent.
  int ex = 0, ey = 0;
  if (raw.x() < offsetX_)
    ex = raw.x() - offsetX_;
  else if (raw.x() > offsetX_ + extentX_ - 1)
    ex = raw.x() - (offsetX_ + extentX_ - 1);
  if (raw.y() < offsetY_)
    ey = raw.y() - offsetY_;
  else if (raw.y() > offsetY_ + extentY_ - 1)
    ey = raw.y() - (offsetY_ + extentY_ - 1);
  if (ex == 0 && ey == 0) return;
  const int ox = viewX_, oy = viewY_;
  SetViewXY(viewX_ + ex, viewY_ + ey);
  if (viewX_ == ox && viewY_ == oy) return;
  downPoint_.x += ox - viewX_;
  downPoint_.y += oy - viewY_;
  rubberPoint_.x -= ex;
  rubberPoint_.y -= ey;
}

void TVantixView::MouseDown(QMouseEvent* event) {
  if (!buttonDown_) {
    // Dragging paints the fast way; the filter comes back on release.
    savedZoomFilter_ = zoomFilter_;
    zoomFilter_ = rfNone;
    buttonDown_ = true;
  }
  const TVXSelectionBase savedBase = selectionBase_;
  selectionBase_ = vxsbClientArea;
  const QPoint c = ClampClient(event->position().toPoint());
  int x = c.x(), y = c.y();
  lastMousePoint_ = downPoint_ = rubberPoint_ = {x, y};
  downViewX_ = viewX_;
  downViewY_ = viewY_;
  const bool ctrl = event->modifiers() & Qt::ControlModifier;
  if (mouseInteract_.Contains(miSelectPolygon)) {
    if (!polygonDrawing_) DeSelect();
    if (ctrl && sel_->Count() > 0) {
      const TPoint& last = sel_->Points.back();
      CastPolySelCC(XBmp2Scr(last.x), YBmp2Scr(last.y), x, y);
    }
    AddSelPoint(x, y);
    polygonDrawing_ = true;
    FireChanging();
  } else if (mouseInteract_.Contains(miSelect) || mouseInteract_.Contains(miSelectZoom)) {
    resizeGrip_ = GetResizingGrip(x, y);
    moveGrip_ = GetMovingGrip(x, y);
    if (resizeGrip_ == -1 && moveGrip_ == -1) {
      rectDragging_ = true;
      FireChanging();
    }
  } else if (mouseInteract_.Contains(miSelectCircle)) {
    if (!circleDragging_) DeSelect();
    circleDragging_ = true;
    sel_->Visible = true;
    FireChanging();
  }
  selectionBase_ = savedBase;
}

void TVantixView::mousePressEvent(QMouseEvent* event) {
  event->accept();
  MouseDown(event);
}

void TVantixView::UpdateCursorOverGrips(int x, int y) {
  int id = cursor_;
  switch (GetResizingGrip(x, y)) {
    case 0:
    case 2:
      id = crMoveNWSE;
      break;
    case 1:
    case 3:
      id = crMoveNESW;
      break;
    case 4:
    case 5:
      id = crMoveWE;
      break;
    case 6:
    case 7:
      id = crMoveNS;
      break;
    default:
      if (GetMovingGrip(x, y) == 0) id = crMove;
  }
  if (id != shownCursor_) {
    shownCursor_ = id;
    viewport()->setCursor(VXCursor(id));
  }
}

void TVantixView::SubMouseMoveScroll(int x, int y) {
  // The image follows the hand.
  SetViewXY(downViewX_ - (x - downPoint_.x), downViewY_ - (y - downPoint_.y));
}

void TVantixView::mouseMoveEvent(QMouseEvent* event) {
  event->accept();
  const TVXSelectionBase savedBase = selectionBase_;
  selectionBase_ = vxsbClientArea;
  const QPoint raw = event->position().toPoint();
  const QPoint c = ClampClient(raw);
  int x = c.x(), y = c.y();
  const bool ctrl = event->modifiers() & Qt::ControlModifier;
  const bool held = buttonDown_ && event->buttons() != Qt::NoButton;
  bool dragging = false;
  if (held) {
    if (mouseInteract_.Contains(miScroll)) {
      SubMouseMoveScroll(raw.x(), raw.y());
    } else if (resizeGrip_ >= 0) {
      AutoScroll(raw);
      resizeGrip_ = SelectResizeEx(resizeGrip_, x, y);
      dragging = true;
      FireChanging();
    } else if (moveGrip_ >= 0) {
      AutoScroll(raw);
      SelectMoveEx(x - downPoint_.x, y - downPoint_.y);
      dragging = true;
      FireChanging();
    } else if (rectDragging_) {
      AutoScroll(raw);
      Select(downPoint_.x, downPoint_.y, x, y);
      dragging = true;
      FireChanging();
    } else if (polygonDrawing_) {  // freehand while the button is held
      AutoScroll(raw);
      AnimPolygonAddPtEx(sel_, XScr2Bmp(x), YScr2Bmp(y));
      AnimationStep(false);
      dragging = true;
      FireChanging();
    } else if (circleDragging_) {
      AutoScroll(raw);
      AnimPolygonClear(sel_);
      int rx = std::abs(downPoint_.x - x), ry = std::abs(downPoint_.y - y);
      if (ctrl) rx = ry = std::max(rx, ry);
      const extended twoPi = 2 * std::numbers::pi_v<extended>;
      const int n = TruncI(std::min(rx, ry) * twoPi) / 4;
      for (int i = 0; i < n; ++i) {
        const extended a = (twoPi / n) * i;
        AnimPolygonAddPtEx(sel_, XScr2Bmp(TruncI(std::cos(a) * rx + downPoint_.x)),
                           YScr2Bmp(TruncI(std::sin(a) * ry + downPoint_.y)));
      }
      AnimationStep(false);
      dragging = true;
      FireChanging();
    }
  } else if (polygonDrawing_) {
    if (ctrl && sel_->Count() > 0) {
      const TPoint& last = sel_->Points.back();
      CastPolySelCC(XBmp2Scr(last.x), YBmp2Scr(last.y), x, y);
    }
    rubberPoint_ = {x, y};
    viewport()->update();  // the band is redrawn over the cached rendering
    FireChanging();
  } else if (mouseInteract_.Contains(miSelect)) {
    UpdateCursorOverGrips(x, y);
  }
  rubberPoint_ = lastMousePoint_ = {x, y};
  selectionBase_ = savedBase;

  // Keep scrolling while the mouse is held outside the image.
  const bool outside = raw != c;
  if (dragging && outside) {
    if (!autoScrollTimer_) {
      autoScrollTimer_ = new QTimer(this);
      autoScrollTimer_->setInterval(30);
      connect(autoScrollTimer_, &QTimer::timeout, this, [this] {
        if (!buttonDown_) return autoScrollTimer_->stop();
        QMouseEvent again(QEvent::MouseMove, lastRawPoint_, mapToGlobal(lastRawPoint_),
                          Qt::NoButton, lastButtons_, lastModifiers_);
        mouseMoveEvent(&again);
      });
    }
    lastRawPoint_ = raw;
    lastButtons_ = event->buttons();
    lastModifiers_ = event->modifiers();
    if (!autoScrollTimer_->isActive()) autoScrollTimer_->start();
  } else if (autoScrollTimer_) {
    autoScrollTimer_->stop();
  }
}

void TVantixView::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
  if (autoScrollTimer_) autoScrollTimer_->stop();
  const QPoint raw = event->position().toPoint();
  const QPoint c = ClampClient(raw);
  const TPoint p{c.x(), c.y()};
  if (mouseInteract_.Contains(miZoom) && p == downPoint_) {
    int z = -1;
    if (event->button() == Qt::LeftButton) {
      if (zoom_ >= 100) {
        z = zoom_ + 100;
      } else {
        for (int s : kZoomSteps)
          if (s > zoom_) {
            z = s;
            break;
          }
      }
    } else if (event->button() == Qt::RightButton) {
      if (zoom_ >= 200) {
        z = zoom_ - 100;
      } else {
        z = 2;
        for (int s : kZoomSteps)
          if (s < zoom_) z = s;
      }
    }
    // A click is not a drag: no rectangle is left half made, and the grips found on the
    // way down must not move or resize the selection on a later drag.
    rectDragging_ = false;
    resizeGrip_ = moveGrip_ = -1;
    if (z > 0) ZoomAt(p.x, p.y, z);
  } else if (mouseInteract_.Contains(miScroll)) {
    SubMouseMoveScroll(raw.x(), raw.y());
  } else if (mouseInteract_.Contains(miSelectZoom)) {
    rectDragging_ = false;
    ZoomSelection();
  } else if (mouseInteract_.Contains(miSelect)) {
    rectDragging_ = false;
    resizeGrip_ = moveGrip_ = -1;
    OnSelectionChange(this);
  } else if (mouseInteract_.Contains(miSelectCircle)) {
    circleDragging_ = false;
  }
  if (buttonDown_ && event->buttons() == Qt::NoButton) {
    buttonDown_ = false;
    const bool changed = zoomFilter_ != savedZoomFilter_;
    zoomFilter_ = savedZoomFilter_;
    if (changed) Update();  // back to the smooth rendering
  }
}

void TVantixView::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second click of a double click is a mouse-down too (it adds a vertex).
  event->accept();
  MouseDown(event);
  if (polygonDrawing_) {
    if (!sel_->Points.empty()) sel_->Points.pop_back();
    polygonDrawing_ = false;  // finished: it closes on the next drawing
    viewport()->update();
  }
}

}  // namespace vx
