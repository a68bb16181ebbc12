#include "view/vantixview.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>

#include "core/arith.h"
#include "core/vxdefs.h"
#include "core/vxutils.h"
#include "platform/canvas.h"
#include "platform/screen.h"
#include "platform/syscolors.h"
#include "proc/dibtransfer.h"
#include "quant/neurquant.h"
#include "view/qtplatform.h"

namespace vx {

QColor ToQColor(TColor c) {
  const TColor rgb = ColorToRGB(c);
  return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
}

QImage WrapBitmap(const TBitmap& bitmap, std::unique_ptr<TBitmap>* scratch) {
  if (bitmap.Empty()) return {};
  if (bitmap.PixelFormat() == pf24bit)
    return QImage(bitmap.Bits(), bitmap.Width(), bitmap.Height(), bitmap.RowLen(),
                  QImage::Format_BGR888);
  if (bitmap.PixelFormat() == pf1bit) {
    QImage img(bitmap.Bits(), bitmap.Width(), bitmap.Height(), bitmap.RowLen(),
               QImage::Format_Mono);
    img.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    return img;
  }
  if (!scratch) return {};
  // Any other storage format is shown through a true-colour copy.
  *scratch = std::make_unique<TBitmap>();
  (*scratch)->SetPixelFormat(pf24bit);
  (*scratch)->SetSize(bitmap.Width(), bitmap.Height());
  (*scratch)->Canvas().Draw(0, 0, bitmap);
  return WrapBitmap(**scratch, nullptr);
}

TColor PatternColor(TColor rgb) {
  const TColor complement = ~rgb & 0xFFFFFF;
  // Grey 0x808080 and its complement 0x7F7F7F look the same: near the middle the
  // complement does not show, and black or white (whichever is farther) does.
  const int luma =
      (299 * (rgb & 0xFF) + 587 * ((rgb >> 8) & 0xFF) + 114 * ((rgb >> 16) & 0xFF)) / 1000;
  if (std::abs(2 * luma - 255) >= 96) return complement;
  return luma >= 128 ? 0x000000 : 0xFFFFFF;
}

// ============================== TVXView ==============================

TVXView::TVXView(QWidget* parent) : QAbstractScrollArea(parent), background_(clBtnFace) {
  InitDisplayUnit();
  dpiX_ = gSystemDPIX;
  dpiY_ = gSystemDPIY;
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // Painting covers the whole client area: no erasing first.
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setAttribute(Qt::WA_NoSystemBackground);
}

TVXView::~TVXView() = default;

void TVXView::SetBorderStyle(TVXBorderStyle s) {
  if (s == borderStyle_) return;
  borderStyle_ = s;
  setFrameStyle(s == bsSingle ? (QFrame::StyledPanel | QFrame::Sunken) : QFrame::NoFrame);
  Update();
}

void TVXView::RegisterBitmapChangeEvent(const TNotifyEvent& handler) {
  bitmapChange_.push_back(handler);
}

void TVXView::RemoveBitmapChangeEvent(const TNotifyEvent& handler) {
  auto it = std::find_if(bitmapChange_.begin(), bitmapChange_.end(),
                         [&](const TNotifyEvent& e) { return e.SameAs(handler); });
  if (it != bitmapChange_.end()) bitmapChange_.erase(it);
}

void TVXView::CallBitmapChangeEvents() {
  // A handler may remove itself while being called: walk a copy.
  const std::vector<TNotifyEvent> handlers = bitmapChange_;
  for (const auto& h : handlers)
    if (h.Assigned()) h(this);
}

// ============================== TVantixView ==============================

TVantixView::TVantixView(QWidget* parent) : TVXView(parent), cursor_(crCross2) {
  image_ = std::make_unique<TBitmap>();
  image_->SetPixelFormat(pf24bit);
  resize(105, 105);
  viewport()->setMouseTracking(true);
  viewport()->setCursor(VXCursor(cursor_));
  shownCursor_ = cursor_;
  timer_ = new QTimer(this);
  timer_->setInterval(150);
  connect(timer_, &QTimer::timeout, this, [this] { AnimationStep(true); });
  sel_ = AnimPolygonNew(clBlack, clWhite, true, true);
}

TVantixView::~TVantixView() {
  timer_->stop();
  RestoreCursor();
}

int TVantixView::ClientWidth() const {
  return viewport()->width();
}
int TVantixView::ClientHeight() const {
  return viewport()->height();
}

// ---- coordinate mapping ----

int TVantixView::RoundSat(long double v) {
  if (!(v < static_cast<long double>(INT_MAX))) return INT_MAX;
  if (!(v > static_cast<long double>(INT_MIN))) return INT_MIN;
  return RoundI(v);
}

int TVantixView::TruncSat(long double v) {
  if (!(v < static_cast<long double>(INT_MAX))) return INT_MAX;
  if (!(v > static_cast<long double>(INT_MIN))) return INT_MIN;
  return TruncI(v);
}

int TVantixView::XScr2Bmp(int x) const {
  return RoundSat((100.0L / zoom_) * (static_cast<extended>(x) + viewX_ - offsetX_));
}
int TVantixView::YScr2Bmp(int y) const {
  return RoundSat((100.0L / zoom_) * (static_cast<extended>(y) + viewY_ - offsetY_));
}
int TVantixView::XBmp2Scr(int x) const {
  return RoundSat(x * (zoom_ / 100.0L) + (offsetX_ - viewX_));
}
int TVantixView::YBmp2Scr(int y) const {
  return RoundSat(y * (zoom_ / 100.0L) + (offsetY_ - viewY_));
}

void TVantixView::GetMaxViewXY(int& mx, int& my) const {
  const double f = zoom_ / 100.0;
  const int zw = RoundSat(static_cast<extended>(image_->Width()) * f);
  const int zh = RoundSat(static_cast<extended>(f) * image_->Height());
  mx = my = 0;
  if (zw <= 0 || zh <= 0) return;
  mx = std::max(0, zw - ClientWidth());
  my = std::max(0, zh - ClientHeight());
  if (width() >= zw && height() >= zh) mx = my = 0;
}

// ---- the central recomputation ----

void TVantixView::SyncScrollBars(bool horizontal, bool vertical) {
  int mx = 0, my = 0;
  GetMaxViewXY(mx, my);
  syncingBars_ = true;
  const bool wantH = scrollBars_ == ssHorizontal || scrollBars_ == ssBoth;
  const bool wantV = scrollBars_ == ssVertical || scrollBars_ == ssBoth;
  if (horizontal) {
    QScrollBar* bar = horizontalScrollBar();
    if (!wantH || mx < 1) {
      setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    } else {
      bar->setRange(0, mx);
      bar->setPageStep(std::max(1, ClientWidth()));
      bar->setSingleStep(1);
      bar->setValue(viewX_);
      setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    }
  }
  if (vertical) {
    QScrollBar* bar = verticalScrollBar();
    if (!wantV || my < 1) {
      setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    } else {
      bar->setRange(0, my);
      bar->setPageStep(std::max(1, ClientHeight()));
      bar->setSingleStep(1);
      bar->setValue(viewY_);
      setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    }
  }
  syncingBars_ = false;
}

void TVantixView::Update() {
  if (inUpdate_) {  // a resize caused by our own scroll bars
    updateAgain_ = true;
    return;
  }
  inUpdate_ = true;
  const int iw = image_->Width(), ih = image_->Height();
  // Showing or hiding a bar changes the client size; the second pass sees the final one.
  for (int pass = 0; pass < 4; ++pass) {
    updateAgain_ = false;
    if (autoFit_ && iw > 0 && ih > 0) {
      // Never below 1: an image a hundred times larger than the control still shows.
      zoom_ = std::max(1, static_cast<int>(std::min(Trunc(width() / (iw / 100.0L)),
                                                    Trunc(height() / (ih / 100.0L)))));
      ViewChange(1);
    }
    if (iw != lastImageWidth_ || ih != lastImageHeight_) {
      lastImageWidth_ = iw;
      lastImageHeight_ = ih;
      if (selected_) DeSelect();
    }
    const int cw = ClientWidth(), ch = ClientHeight();
    int mx = 0, my = 0;
    GetMaxViewXY(mx, my);
    bool moved = false;
    if (viewX_ > mx) viewX_ = mx, moved = true;
    if (viewY_ > my) viewY_ = my, moved = true;
    if (moved) ViewChange(0);
    try {
      SyncScrollBars(true, true);
    } catch (...) {
      // The platform's scroll-bar errors never stop the layout.
    }
    if (!updateAgain_ && cw == ClientWidth() && ch == ClientHeight()) break;
  }
  inUpdate_ = false;

  zoomedWidth_ = RoundSat(static_cast<extended>(iw) / 100 * zoom_);
  zoomedHeight_ = RoundSat(static_cast<extended>(ih) / 100 * zoom_);
  offsetX_ = offsetY_ = 0;
  const int cw = ClientWidth(), ch = ClientHeight();
  extentX_ = std::min(zoomedWidth_, cw);
  extentY_ = std::min(zoomedHeight_, ch);
  if (center_) {
    if (extentX_ < cw) offsetX_ = (cw - extentX_) / 2;
    if (extentY_ < ch) offsetY_ = (ch - extentY_) / 2;
  }
  bufferDirty_ = true;
  if (UpdateInvalidates) viewport()->update();
}

void TVantixView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  Update();
}

void TVantixView::ImageChange() {
  OnImageChange(this);
}

void TVantixView::ViewChange(int change) {
  OnViewChange(this, change);
}

// ---- zoom and scrolling ----

void TVantixView::SetZoom(int z) {
  if (z <= 0 || z == zoom_) return;
  if (DeferZoomFilter) filterCountdown_ = 2;
  LockPaint();
  zoom_ = z;
  Update();
  NPUnLockPaint();
  Paint();
  ViewChange(1);
}

void TVantixView::SetViewX(int v) {
  if (v == viewX_) return;
  SetViewXY(v, viewY_);
}

void TVantixView::SetViewY(int v) {
  if (v == viewY_) return;
  SetViewXY(viewX_, v);
}

void TVantixView::SetViewXY(int x, int y) {
  if (x == viewX_ && y == viewY_) return;
  const bool touchH = x != viewX_, touchV = y != viewY_;
  if (DeferZoomFilter) filterCountdown_ = 2;
  int mx = 0, my = 0;
  GetMaxViewXY(mx, my);
  viewX_ = std::min(mx, std::max(0, x));
  viewY_ = std::min(my, std::max(0, y));
  bufferDirty_ = true;
  Paint();
  ViewChange(0);
  syncingBars_ = true;
  if (touchH && (scrollBars_ == ssHorizontal || scrollBars_ == ssBoth))
    horizontalScrollBar()->setValue(viewX_);
  if (touchV && (scrollBars_ == ssVertical || scrollBars_ == ssBoth))
    verticalScrollBar()->setValue(viewY_);
  syncingBars_ = false;
}

void TVantixView::scrollContentsBy(int dx, int dy) {
  if (syncingBars_) return;
  // Line, page, track, top and bottom all arrive as a new bar value; SetViewX clamps.
  if (dx != 0) SetViewX(horizontalScrollBar()->value());
  if (dy != 0) SetViewY(verticalScrollBar()->value());
}

void TVantixView::SetCenter(bool v) {
  if (v == center_) return;
  center_ = v;
  Update();
}

void TVantixView::SetAutoFit(bool v) {
  autoFit_ = v;
  Update();
}

void TVantixView::SetZoomFilter(TResampleFilter f) {
  zoomFilter_ = f;
  Update();
}

void TVantixView::SetBackgroundStyle(TVXBackgroundStyle s) {
  backgroundStyle_ = s;
  Update();
}

void TVantixView::SetBackground(TColor c) {
  background_ = c;
  Update();
  ImageChange();
}

void TVantixView::SetScrollBars(TScrollStyle s) {
  scrollBars_ = s;
  if (s != ssVertical && s != ssBoth) setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  if (s != ssHorizontal && s != ssBoth) setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Update();
}

void TVantixView::SetDoubleBuffer(bool v) {
  doubleBuffer_ = v;
  Update();
}

void TVantixView::SetCursor(int id) {
  cursor_ = id;
  shownCursor_ = id;
  viewport()->setCursor(VXCursor(id));
}

void TVantixView::SaveCursor(int id) {
  if (cursorSaved_) QGuiApplication::restoreOverrideCursor();
  QGuiApplication::setOverrideCursor(VXCursor(id));
  cursorSaved_ = true;
}

void TVantixView::RestoreCursor() {
  if (!cursorSaved_) return;
  QGuiApplication::restoreOverrideCursor();
  cursorSaved_ = false;
}

int TVantixView::IdealComponentWidth() const {
  int64_t w = int64_t{TruncSat(image_->Width() / 100.0L * zoom_)} + 1;
  if (scrollBars_ == ssHorizontal || scrollBars_ == ssBoth) w += width() - ClientWidth();
  return static_cast<int>(std::min<int64_t>(w, INT_MAX));
}

int TVantixView::IdealComponentHeight() const {
  int64_t h = int64_t{TruncSat(image_->Height() / 100.0L * zoom_)} + 1;
  if (scrollBars_ == ssVertical || scrollBars_ == ssBoth) h += height() - ClientHeight();
  return static_cast<int>(std::min<int64_t>(h, INT_MAX));
}

void TVantixView::Fit() {
  const int iw = image_->Width(), ih = image_->Height();
  if (iw == 0 || ih == 0) return;
  SetZoom(
      static_cast<int>(std::min(Trunc(width() / (iw / 100.0L)), Trunc(height() / (ih / 100.0L)))));
}

void TVantixView::ZoomAt(int x, int y, int z) {
  LockPaint();
  const int bx = XScr2Bmp(x), by = YScr2Bmp(y);
  SetZoom(z);
  const double f = zoom_ / 100.0;
  SetViewXY(TruncSat(static_cast<extended>(f) * bx - ClientWidth() / 2),
            TruncSat(static_cast<extended>(by) * f - ClientHeight() / 2));
  UnLockPaint();
}

// ---- paint locking ----

int TVantixView::LockPaint() {
  return ++lockCount_;
}

int TVantixView::UnLockPaint() {
  if (lockCount_ > 0) --lockCount_;
  if (lockCount_ == 0) Update();
  return lockCount_;
}

int TVantixView::NPUnLockPaint() {
  if (lockCount_ > 0) --lockCount_;
  return lockCount_;
}

void TVantixView::Paint() {
  if (lockCount_ != 0) return;
  // Without the double buffer every Paint shows the image as it is now, so pixels a
  // caller wrote straight into Bitmap() appear without an Update. With it, the cached
  // rendering is shown until something marks it dirty.
  if (!doubleBuffer_) bufferDirty_ = true;
  viewport()->update();
}

// ---- painting ----

void TVantixView::DrawBackground(QPainter& p, const QRect& except) {
  const int cw = ClientWidth(), ch = ClientHeight();
  const QRect client(0, 0, cw, ch);
  p.save();
  p.setClipRegion(QRegion(client).subtracted(QRegion(except)));
  const QColor bg = ToQColor(background_);
  const QColor inv = ToQColor(PatternColor(ColorToRGB(background_)));
  static constexpr Qt::BrushStyle kHatch[] = {
      Qt::SolidPattern, Qt::HorPattern,   Qt::VerPattern,      Qt::FDiagPattern,
      Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
  switch (backgroundStyle_) {
    case vxbsSolid:
      p.fillRect(client, bg);
      break;
    case vxbsChessboard:
      for (int y = 0; y < ch; y += 16)
        for (int x = 0; x < cw; x += 16)
          p.fillRect(QRect(x, y, 16, 16), ((x / 16 + y / 16) % 2 == 0) ? inv : bg);
      break;
    case vxbsDiagonals:
      p.fillRect(client, bg);
      p.setPen(QPen(inv, 1));
      p.drawLine(0, 0, cw, ch);
      p.drawLine(cw, 0, 0, ch);
      break;
    default:
      // The hatch lines take the background colour; the ground between them the
      // pattern colour, so the pattern shows on any colour and nothing stale remains.
      p.fillRect(client, inv);
      p.setBrushOrigin(0, 0);
      p.fillRect(client, QBrush(bg, kHatch[static_cast<int>(backgroundStyle_)]));
      break;
  }
  p.restore();
}

TRect TVantixView::PaintSourceRect() const {
  TRect r;  // left = x, top = y, right = width, bottom = height
  const int iw = image_->Width(), ih = image_->Height();
  if (zoomedWidth_ != 0) {
    const double rx = static_cast<double>(iw) / zoomedWidth_;
    r.left = RoundI(static_cast<extended>(viewX_) * rx);
    r.right = RoundI(static_cast<extended>(extentX_) * rx);
    if (iw < r.left + r.right) r.right -= 1;
  }
  if (zoomedHeight_ != 0) {
    const double ry = static_cast<double>(ih) / zoomedHeight_;
    r.top = RoundI(static_cast<extended>(viewY_) * ry);
    r.bottom = RoundI(static_cast<extended>(extentY_) * ry);
    if (ih < r.top + r.bottom) r.bottom -= 1;
  }
  return r;
}

void TVantixView::DrawImagePart(QPainter& p, bool forDrawTo) {
  const int iw = image_->Width(), ih = image_->Height();
  int sx = 0, sy = 0, sw = 0, sh = 0;
  if (forDrawTo) {
    if (zoomedWidth_ != 0) {
      sx = RoundI(static_cast<extended>(iw) / zoomedWidth_ * viewX_);
      sw = RoundI(static_cast<extended>(iw) / zoomedWidth_ * extentX_);
    }
    if (zoomedHeight_ != 0) {
      sy = RoundI(static_cast<extended>(ih) / zoomedHeight_ * viewY_);
      sh = RoundI(static_cast<extended>(ih) / zoomedHeight_ * extentY_);
    }
  } else {
    const TRect r = PaintSourceRect();
    sx = r.left, sy = r.top, sw = r.right, sh = r.bottom;
  }
  // Never read outside the image, whatever the rounding gave.
  sx = std::clamp(sx, 0, iw);
  sy = std::clamp(sy, 0, ih);
  sw = std::min(sw, iw - sx);
  sh = std::min(sh, ih - sy);
  // Zoomed in so far that the client shows less than half an image pixel: the source
  // rounds to nothing, yet the client must show the pixel under it, not stale pixels.
  if (sw < 1 && iw > 0 && extentX_ > 0) sx = std::min(sx, iw - 1), sw = 1;
  if (sh < 1 && ih > 0 && extentY_ > 0) sy = std::min(sy, ih - 1), sh = 1;
  if (sw <= 0 || sh <= 0 || extentX_ <= 0 || extentY_ <= 0) return;
  const int dx = forDrawTo ? 0 : offsetX_, dy = forDrawTo ? 0 : offsetY_;
  const bool filtered = forDrawTo ? (zoomFilter_ != rfNone && zoom_ != 100)
                                  : (zoomFilter_ != rfNone && filterCountdown_ < 1 && zoom_ > 100);
  if (!filtered) {
    const QImage src = WrapBitmap(*image_, &scratch_);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(QRect(dx, dy, extentX_, extentY_), src, QRect(sx, sy, sw, sh));
    return;
  }
  // Only the visible part is resampled, straight to its size on screen.
  TBitmap part;
  part.SetPixelFormat(pf24bit);
  part.SetSize(sw, sh);
  part.Canvas().Draw(0, 0, *image_, TRect{sx, sy, sx + sw, sy + sh});
  TBitmap zoomed;
  zoomed.SetPixelFormat(pf24bit);
  zoomed.SetSize(extentX_, extentY_);
  QuickResample(part, zoomed, zoomFilter_);
  p.drawImage(dx, dy, WrapBitmap(zoomed));
}

void TVantixView::PaintTo(QPainter& p) {
  const int cw = ClientWidth(), ch = ClientHeight();
  const int ih = image_->Height();
  if (((extentX_ < cw || extentY_ < ch) && !center_) || ih == 0)
    DrawBackground(p, QRect(0, 0, extentX_, extentY_));
  if (ih < 1) return;
  if (center_) DrawBackground(p, QRect(offsetX_, offsetY_, extentX_, extentY_));
  DrawImagePart(p, false);
}

template <class Draw>
void TVantixView::DrawOntoBitmap(TBitmap& target, Draw&& draw) {
  if (target.PixelFormat() != pf24bit) target.SetPixelFormat(pf24bit);
  if (target.Empty()) return;
  auto onto = [&](TBitmap& b) {
    QImage img(b.Bits(), b.Width(), b.Height(), b.RowLen(), QImage::Format_BGR888);
    QPainter p(&img);
    draw(p);
  };
  if (&target != image_.get()) return onto(target);
  // Drawing onto our own image would read pixels it has already overwritten: draw onto
  // a copy, which then becomes the image.
  TBitmap result(target);
  onto(result);
  target.Swap(result);
}

void TVantixView::PaintTo(TBitmap& target) {
  DrawOntoBitmap(target, [this](QPainter& p) { PaintTo(p); });
}

void TVantixView::DrawTo(QPainter& p) {
  if (image_->Height() < 1) return;
  DrawImagePart(p, true);
}

void TVantixView::DrawTo(TBitmap& target) {
  DrawOntoBitmap(target, [this](QPainter& p) { DrawTo(p); });
}

void TVantixView::paintEvent(QPaintEvent*) {
  const QSize cs = viewport()->size();
  if (cs.isEmpty()) return;
  if (lockCount_ != 0) {
    // Whoever locked is changing the image or the view: show what was there, never a
    // half-made state, and render once when the lock is released.
    QPainter p(viewport());
    if (!buffer_.isNull())
      p.drawImage(0, 0, buffer_);
    else
      p.fillRect(viewport()->rect(), ToQColor(background_));
    return;
  }
  // The rendering is cached: overlays (ants, grips, rubber band) and repaints with
  // nothing changed only copy it.
  if (buffer_.size() != cs) {
    buffer_ = QImage(cs, QImage::Format_RGB32);
    bufferDirty_ = true;
  }
  if (bufferDirty_) {
    QPainter bp(&buffer_);
    PaintTo(bp);
    bufferDirty_ = false;
    ++renderCount_;
  }
  QPainter p(viewport());
  p.drawImage(0, 0, buffer_);
  DrawOverlay(p);
}

// ---- image ----

void TVantixView::Clear() {
  TCanvas& c = image_->Canvas();
  c.Brush().Color = background_;
  c.Brush().Style = bsSolid;
  c.FillRect(TRect{0, 0, image_->Width(), image_->Height()});
  image_->SetModified(true);
  Update();
}

void TVantixView::Blank() {
  image_->SetSize(1, 1);
  Clear();
}

void TVantixView::Assign(const TVantixView* source) {
  if (!source) return Clear();
  if (source == this) return;
  image_->Assign(*source->image_);
  background_ = source->background_;
  SetDPI(source->DpiX(), source->DpiY());
  Update();
  ImageChange();
}

void TVantixView::Assign(const TBitmap* source) {
  if (!source) return Clear();
  if (source == image_.get()) return;
  if (source->PixelFormat() == pf24bit || source->PixelFormat() == pf1bit) {
    image_->Assign(*source);
  } else {
    auto fresh = std::make_unique<TBitmap>();
    fresh->SetPixelFormat(pf24bit);
    fresh->SetSize(source->Width(), source->Height());
    fresh->Canvas().Draw(0, 0, *source);
    image_->Assign(*fresh);
  }
  Update();
  ImageChange();
}

void TVantixView::CopyFromPolygon(const TBitmap& source, const std::vector<TPoint>& polygon,
                                  TPoint point) {
  CopyPolygonToPoint(source, polygon, *image_, point);
  Update();
}

void TVantixView::CopyToPolygon(TBitmap& target, const std::vector<TPoint>& polygon, TPoint point) {
  CopyPointToPolygon(*image_, polygon, target, point);
}

std::vector<TRGB> TVantixView::CreatePalette() {
  if (image_->Empty()) return {};
  std::vector<TRGB> palette(256);
  if (image_->PixelFormat() == pf24bit) {
    CreateNeuralQuantizer(*image_, palette.data(), 256, -1);
  } else {
    TBitmap copy;
    copy.SetPixelFormat(pf24bit);
    copy.SetSize(image_->Width(), image_->Height());
    copy.Canvas().Draw(0, 0, *image_);
    CreateNeuralQuantizer(copy, palette.data(), 256, -1);
  }
  return palette;
}

// ---- image host: the selection ----

TSelectionKind TVantixView::SelectionKind() const {
  if (!selected_ || sel_->Count() == 0) return skNone;
  return IsRectangle(sel_->Points) ? skRectangle : skPolygon;
}

TRect TVantixView::SelectionRect() const {
  if (sel_->Count() == 0) return {};
  // From the vertices themselves: the stored box lags behind a one-vertex polygon.
  TRect r{sel_->Points[0].x, sel_->Points[0].y, sel_->Points[0].x, sel_->Points[0].y};
  for (const TPoint& p : sel_->Points) {
    r.left = std::min(r.left, p.x);
    r.top = std::min(r.top, p.y);
    r.right = std::max(r.right, p.x);
    r.bottom = std::max(r.bottom, p.y);
  }
  return r;
}

std::vector<TPoint> TVantixView::SelectionPolygon() const {
  return selected_ ? sel_->Points : std::vector<TPoint>{};
}

// Components select in bitmap coordinates whatever the view's own base is.
void TVantixView::SelectBitmapRect(int x1, int y1, int x2, int y2) {
  const TVXSelectionBase saved = selectionBase_;
  selectionBase_ = vxsbBitmap;
  Select(x1, y1, x2, y2);
  selectionBase_ = saved;
}

}  // namespace vx
