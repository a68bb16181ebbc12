#include "multi/vantixmview.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "io/vantixio.h"
#include "platform/canvas.h"
#include "proc/dibtransfer.h"

namespace vx {

namespace {

constexpr size_t kDibHeaderSize = 40;

int32_t DibField32(const std::vector<uint8_t>& dib, size_t offset) {
  int32_t v = 0;
  std::memcpy(&v, dib.data() + offset, sizeof v);
  return v;
}

int DibBitCount(const std::vector<uint8_t>& dib) {
  return dib[14] | (dib[15] << 8);
}

// The pixel rows of one of our own packed DIBs (24 or 1 bits, 40-byte header, the
// 1-bit table of two entries), wrapped without a copy. Rows run bottom-up.
QImage WrapDib(const std::vector<uint8_t>& dib) {
  if (dib.size() < kDibHeaderSize) return {};
  const int w = DibField32(dib, 4), h = DibField32(dib, 8), bits = DibBitCount(dib);
  if (w <= 0 || h <= 0) return {};
  const size_t rowLen = ((static_cast<size_t>(bits) * static_cast<size_t>(w) + 31) / 32) * 4;
  const size_t table = bits == 1 ? 8 : 0;
  if (dib.size() < kDibHeaderSize + table + rowLen * static_cast<size_t>(h)) return {};
  const uchar* rows = dib.data() + kDibHeaderSize + table;
  if (bits == 24) return QImage(rows, w, h, static_cast<qsizetype>(rowLen), QImage::Format_BGR888);
  if (bits == 1) {
    QImage img(rows, w, h, static_cast<qsizetype>(rowLen), QImage::Format_Mono);
    img.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    return img;
  }
  return {};
}

}  // namespace

TPoint ThumbFit(int w, int h, int W, int H) {
  if (w == 0 || h == 0) return {0, 0};
  const double f = std::min(static_cast<double>(H) / h, static_cast<double>(W) / w);
  return {static_cast<int>(w * f), static_cast<int>(h * f)};
}

// ============================== life cycle ==============================

TVantixMView::TVantixMView(QWidget* parent) : TVXView(parent) {
  io_ = std::make_unique<TVantixIO>();
  ioBitmap_ = std::make_unique<TBitmap>();
  playTimer_ = new QTimer(this);
  playTimer_->setSingleShot(true);
  connect(playTimer_, &QTimer::timeout, this, [this] { PlayFrame(); });
  setFocusPolicy(Qt::StrongFocus);
  connect(horizontalScrollBar(), &QScrollBar::actionTriggered, this,
          [this](int action) { PageScroll(true, action); });
  connect(verticalScrollBar(), &QScrollBar::actionTriggered, this,
          [this](int action) { PageScroll(false, action); });
  resize(180, 90);
}

TVantixMView::~TVantixMView() {
  destroying_ = true;
  playTimer_->stop();
  playing_ = false;
  if (Valid(selected_)) ReleaseBitmap(selected_);
  selected_ = -1;
  entries_.clear();
}

// ============================== image host ==============================

TBitmap* TVantixMView::GetFBitmap() {
  if (!Valid(selected_)) return nullptr;
  return entries_[static_cast<size_t>(selected_)].bitmap.get();
}

void TVantixMView::ImageChange() {}

void TVantixMView::SetBackground(TColor c) {
  background_ = c;
  Update();
}

// ============================== the list ==============================

void TVantixMView::InsertImage(int i) {
  StopPlaying();
  Entry e;
  e.background = background_;
  if (i < 0) i = 0;
  if (i >= ImageCount()) {
    entries_.push_back(std::move(e));
    i = ImageCount() - 1;
  } else {
    // The selected image's use count belongs to its entry and moves with it.
    entries_.insert(entries_.begin() + i, std::move(e));
    if (selected_ >= i) ++selected_;
  }
  SelectDirect(i);
  lastOp_ = 1;
  lastOpIdx_ = selected_;
  CallBitmapChangeEvents();
  Update();
}

int TVantixMView::AppendImage() {
  InsertImage(ImageCount());
  return ImageCount() - 1;
}

void TVantixMView::DeleteImage(int i) {
  StopPlaying();
  if (!Valid(i)) return;
  const int s = selected_;
  if (Valid(selected_)) ReleaseBitmap(selected_);
  selected_ = -1;
  entries_.erase(entries_.begin() + i);
  int next = s;
  if (s > i) next = s - 1;
  if (next >= ImageCount()) next = ImageCount() - 1;
  if (s >= 0 && Valid(next)) SelectDirect(next);
  lastOp_ = 2;
  lastOpIdx_ = i;
  CallBitmapChangeEvents();
  Update();
}

void TVantixMView::Clear() {
  StopPlaying();
  Deselect();
  // One by one, so that subscribers drop their per-image data in step.
  while (ImageCount() > 0) DeleteImage(ImageCount() - 1);
  Update();
}

void TVantixMView::SetImage(int i, const TBitmap& bitmap) {
  StoreBitmap(i, bitmap, 0, 0, bitmap.Width() - 1, bitmap.Height() - 1);
}

void TVantixMView::SetImageRect(int i, const TBitmap& bitmap, int x1, int y1, int x2, int y2) {
  StoreBitmap(i, bitmap, x1, y1, std::min(x2, bitmap.Width() - 1),
              std::min(y2, bitmap.Height() - 1));
}

void TVantixMView::StoreBitmap(int i, const TBitmap& bitmap, int x1, int y1, int x2, int y2) {
  if (!Valid(i)) return;
  Entry& e = entries_[static_cast<size_t>(i)];
  std::vector<uint8_t> dib;
  if (!bitmap.Empty() && x2 >= x1 && y2 >= y1) {
    TBitmap part;
    const TBitmap* source = &bitmap;
    if (x1 != 0 || y1 != 0 || x2 != bitmap.Width() - 1 || y2 != bitmap.Height() - 1) {
      CopyBitmapRect(bitmap, part, x1, y1, x2 + 1, y2 + 1);
      source = &part;
    }
    if (storeType_ == vxtThumb) {
      const TPoint size = ThumbFit(source->Width(), source->Height(), thumbWidth_, thumbHeight_);
      TBitmap thumb;
      thumb.SetPixelFormat(source->PixelFormat() == pf1bit ? pf1bit : pf24bit);
      thumb.SetSize(std::max(1, size.x), std::max(1, size.y));
      thumb.Canvas().StretchDraw(TRect{0, 0, thumb.Width(), thumb.Height()}, *source, smHalftone);
      dib = CopyBitmaptoDIB(thumb);
    } else {
      dib = CopyBitmaptoDIB(*source);
    }
  }
  if (e.bitmap) {
    // In use: the bitmap object stays (callers hold it), its pixels become the new ones.
    if (dib.empty() || CopyDIB2Bitmap(dib, *e.bitmap) == 0) e.bitmap->SetSize(0, 0);
  } else {
    e.dib = std::move(dib);
    if (i == selected_ && !e.dib.empty()) {
      // The selection holds its image; a selection made while the entry was empty held
      // nothing, unless this store comes from that very selection's own GetBitmap.
      Expand(e);
      if (!selecting_) ++e.useCount;
    }
  }
  // Loads made while painting change no layout: no new round of painting for them.
  if (!painting_) Update();
}

void TVantixMView::Expand(Entry& e) {
  auto bmp = std::make_unique<TBitmap>();
  if (!e.dib.empty() && CopyDIB2Bitmap(e.dib, *bmp) != 0) {
    e.bitmap = std::move(bmp);
    e.dib.clear();
    e.dib.shrink_to_fit();
  }
}

TBitmap* TVantixMView::GetBitmap(int i) {
  if (!Valid(i)) return nullptr;
  Entry& e = entries_[static_cast<size_t>(i)];
  ++e.useCount;
  if (e.bitmap) return e.bitmap.get();
  if (e.dib.empty()) ObtainImage(i);
  if (e.bitmap) return e.bitmap.get();  // obtained while selected
  Expand(e);
  if (!e.bitmap) {
    e.useCount = 0;
    return nullptr;
  }
  return e.bitmap.get();
}

void TVantixMView::ReleaseBitmap(int i) {
  if (!Valid(i)) return;
  Entry& e = entries_[static_cast<size_t>(i)];
  if (e.useCount > 0) --e.useCount;
  if (e.useCount > 0 || !e.bitmap) return;
  e.dib = CopyBitmaptoDIB(*e.bitmap);
  e.bitmap.reset();
}

const std::vector<uint8_t>* TVantixMView::GetBitmapInfo(int i) const {
  if (!Valid(i)) return nullptr;
  const Entry& e = entries_[static_cast<size_t>(i)];
  return e.dib.empty() ? nullptr : &e.dib;
}

int TVantixMView::ImageWidth(int i) const {
  if (!Valid(i)) return 0;
  const Entry& e = entries_[static_cast<size_t>(i)];
  if (e.dib.size() >= kDibHeaderSize) return DibField32(e.dib, 4);
  return e.bitmap ? e.bitmap->Width() : 0;
}

int TVantixMView::ImageHeight(int i) const {
  if (!Valid(i)) return 0;
  const Entry& e = entries_[static_cast<size_t>(i)];
  if (e.dib.size() >= kDibHeaderSize) return std::abs(DibField32(e.dib, 8));
  return e.bitmap ? e.bitmap->Height() : 0;
}

int TVantixMView::UseCount(int i) const {
  return Valid(i) ? entries_[static_cast<size_t>(i)].useCount : 0;
}

bool TVantixMView::ImageHeld(int i) const {
  if (!Valid(i)) return false;
  const Entry& e = entries_[static_cast<size_t>(i)];
  return !e.dib.empty() || e.bitmap;
}

// The application's bitmap for an ID, or else the file, at reduced size when only
// thumbnails are kept.
void TVantixMView::ObtainImage(int i) {
  Entry& e = entries_[static_cast<size_t>(i)];
  if (e.id >= 0 && OnImageIDRequest.Assigned()) {
    TBitmap* given = nullptr;
    OnImageIDRequest(this, e.id, given);
    if (given) SetImage(i, *given);
    return;
  }
  if (e.fileName.empty()) return;
  ioBitmap_->SetPixelFormat(pf24bit);
  ioBitmap_->SetSize(1, 1);
  io_->SetAttachedBitmap(ioBitmap_.get());
  io_->SetBackground(e.background);
  io_->OnProgress = OnIOProgress;
  TIOParamsVals& params = io_->Params();
  if (storeType_ == vxtThumb) {
    params.JPEG_Scale = ioJPEG_AUTOCALC;
    params.Width = thumbWidth_;
    params.Height = thumbHeight_;
  } else {
    params.JPEG_Scale = ioJPEG_FULLSIZE;
  }
  try {
    io_->LoadFromFile(e.fileName);
  } catch (const std::exception&) {
    // A file that cannot be opened leaves the image as it was: empty.
    ioBitmap_->SetSize(0, 0);
  }
  e.background = io_->Background();
  StoreBitmap(i, *ioBitmap_, 0, 0, ioBitmap_->Width() - 1, ioBitmap_->Height() - 1);
  ioBitmap_->SetSize(1, 1);
}

// ---- per-image properties ----

std::string TVantixMView::ImageFileName(int i) const {
  return Valid(i) ? entries_[static_cast<size_t>(i)].fileName : std::string();
}

void TVantixMView::SetImageFileName(int i, const std::string& name) {
  if (!Valid(i)) return;
  Entry& e = entries_[static_cast<size_t>(i)];
  e.fileName = name;
  e.id = -1;
}

int TVantixMView::ImageID(int i) const {
  return Valid(i) ? entries_[static_cast<size_t>(i)].id : -1;
}

void TVantixMView::SetImageID(int i, int id) {
  if (!Valid(i)) return;
  Entry& e = entries_[static_cast<size_t>(i)];
  e.id = id;
  e.fileName.clear();
}

TColor TVantixMView::ImageBackground(int i) const {
  return Valid(i) ? entries_[static_cast<size_t>(i)].background : 0;
}

void TVantixMView::SetImageBackground(int i, TColor c) {
  if (!Valid(i)) return;
  entries_[static_cast<size_t>(i)].background = c;
  Update();
}

int TVantixMView::ImageDelayTime(int i) const {
  return Valid(i) ? entries_[static_cast<size_t>(i)].delayTime : 0;
}

void TVantixMView::SetImageDelayTime(int i, int ms) {
  if (Valid(i)) entries_[static_cast<size_t>(i)].delayTime = ms;
}

int TVantixMView::ImageX(int i) const {
  return Valid(i) ? entries_[static_cast<size_t>(i)].x : 0;
}
int TVantixMView::ImageY(int i) const {
  return Valid(i) ? entries_[static_cast<size_t>(i)].y : 0;
}
int TVantixMView::ImageRow(int i) const {
  return Valid(i) ? entries_[static_cast<size_t>(i)].row : 0;
}
int TVantixMView::ImageCol(int i) const {
  return Valid(i) ? entries_[static_cast<size_t>(i)].col : 0;
}

int TVantixMView::GetLastOp() {
  const int op = lastOp_;
  lastOp_ = 0;
  return op;
}

// ============================== selection ==============================

// Makes i the selected image without telling anyone: the previous one is released and
// i is held expanded.
void TVantixMView::SelectDirect(int i) {
  if (Valid(selected_)) ReleaseBitmap(selected_);
  selected_ = i;
  selecting_ = true;
  if (Valid(i)) GetBitmap(i);
  selecting_ = false;
}

void TVantixMView::SetSelectedImage(int i) {
  if (playing_) return;
  if (Valid(i)) {
    SelectDirect(i);
    CallBitmapChangeEvents();
  }
  OnImageSelect(this, selected_);
  Update();
}

void TVantixMView::Deselect() {
  if (Valid(selected_)) ReleaseBitmap(selected_);
  selected_ = -1;
  CallBitmapChangeEvents();
  Update();
}

int TVantixMView::ImageAtPos(int x, int y) const {
  for (int i = 0; i < ImageCount(); ++i) {
    const Entry& e = entries_[static_cast<size_t>(i)];
    const int left = e.x - viewX_, top = e.y - viewY_;
    if (x >= left && x <= left + thumbWidth_ - 1 && y >= top && y <= top + thumbHeight_ - 1)
      return i;
  }
  return -1;
}

int TVantixMView::ImageVisibility(int i) const {
  if (!Valid(i)) return 0;
  const Entry& e = entries_[static_cast<size_t>(i)];
  const QRect cell(e.x - viewX_, e.y - viewY_, thumbWidth_, thumbHeight_);
  const QRect client(0, 0, ClientWidth(), ClientHeight());
  if (!cell.intersects(client)) return 0;
  return client.contains(cell) ? 2 : 1;
}

void TVantixMView::CenterSelected() {
  if (!Valid(selected_)) return;
  const Entry& e = entries_[static_cast<size_t>(selected_)];
  SetViewXY(e.x - (ClientWidth() - thumbWidth_) / 2, e.y - (ClientHeight() - thumbHeight_) / 2);
}

void TVantixMView::CenterFrame() {
  if (!Valid(selected_) || !Valid(visibleFrame_)) return;
  const Entry& e = entries_[static_cast<size_t>(visibleFrame_)];
  SetViewXY(e.x - (ClientWidth() - thumbWidth_) / 2, e.y - (ClientHeight() - thumbHeight_) / 2);
}

int TVantixMView::Columns() const {
  if (gridWidth_ == -1) return (ClientWidth() - horizBorder_) / (horizBorder_ + thumbWidth_);
  return gridWidth_;
}

// Brings the selected cell into view from above/left.
void TVantixMView::SeekScrollBack(int) {
  if (!Valid(selected_) || ImageVisibility(selected_) == 2) return;
  const Entry& e = entries_[static_cast<size_t>(selected_)];
  SetViewY(e.y - vertBorder_);
  if (ImageVisibility(selected_) != 2) SetViewX(e.x - horizBorder_);
}

// Brings the selected cell into view from below/right.
void TVantixMView::SeekScrollForward(int) {
  if (!Valid(selected_) || ImageVisibility(selected_) == 2) return;
  const Entry& e = entries_[static_cast<size_t>(selected_)];
  SetViewY(e.y + thumbHeight_ + vertBorder_ - ClientHeight());
  if (ImageVisibility(selected_) != 2) SetViewX(e.x + thumbWidth_ + horizBorder_ - ClientWidth());
}

void TVantixMView::SelectSeek(TVXSeek direction) {
  if (ImageCount() == 0) return;
  const int g = Columns();
  const int p = (ClientHeight() - vertBorder_) / (vertBorder_ + thumbHeight_);
  const int s = selected_;
  const int last = ImageCount() - 1;
  auto cell = [this]() -> const Entry& { return entries_[static_cast<size_t>(selected_)]; };
  switch (direction) {
    case iskLeft:
      if (s < 0) return;
      SetSelectedImage(s - 1);
      if (ImageVisibility(selected_) != 2)
        SetViewXY(cell().x - horizBorder_, cell().y - vertBorder_);
      break;
    case iskRight:
      if (s < 0) return;
      SetSelectedImage(s + 1);
      if (ImageVisibility(selected_) != 2)
        SetViewXY(cell().x + thumbWidth_ + horizBorder_ - ClientWidth(),
                  cell().y + thumbHeight_ + vertBorder_ - ClientHeight());
      break;
    case iskUp:
      if (s < 0) return;
      SetSelectedImage(gridWidth_ != 0 ? std::max(s - g, 0) : s - 1);
      SeekScrollBack(s);
      break;
    case iskPagUp:
      if (s < 0) return;
      SetSelectedImage(s - g * p);
      SeekScrollBack(s);
      break;
    case iskFirst:
      SetSelectedImage(0);
      if (ImageVisibility(selected_) != 2) SetViewXY(0, 0);
      break;
    case iskDown:
      if (s < 0) return;
      SetSelectedImage(gridWidth_ != 0 ? std::min(s + g, last) : s + 1);
      SeekScrollForward(s);
      break;
    case iskLast:
      SetSelectedImage(last);
      SeekScrollForward(s);
      break;
    case iskPagDown:
      if (s < 0) return;
      SetSelectedImage(s + g * p);
      SeekScrollForward(s);
      break;
  }
}

void TVantixMView::UpdateImage(int i) {
  Update();
  if (!Valid(i)) return;
  const Entry& e = entries_[static_cast<size_t>(i)];
  const int w = selectionWidth_;
  viewport()->update(
      QRect(e.x - viewX_ - w, e.y - viewY_ - w, thumbWidth_ + 2 * w, thumbHeight_ + 2 * w));
}

// ============================== layout and scrolling ==============================

int TVantixMView::ClientWidth() const {
  return viewport()->width();
}
int TVantixMView::ClientHeight() const {
  return viewport()->height();
}

void TVantixMView::UpdateCoords() {
  const int g = Columns();
  const bool single = (playing_ ? mdSingle : displayMode_) == mdSingle;
  int c = 0, r = 0, maxX = -1, maxY = -1;
  for (Entry& e : entries_) {
    e.x = horizBorder_ + c * (thumbWidth_ + horizBorder_);
    e.y = vertBorder_ + r * (thumbHeight_ + vertBorder_);
    e.row = r;
    e.col = c;
    maxX = std::max(maxX, e.x);
    maxY = std::max(maxY, e.y);
    ++c;
    if (single) {
      c = 0;
    } else if (c == g) {
      c = 0;
      ++r;
    }
  }
  if (entries_.empty()) {
    canvasWidth_ = thumbWidth_ + horizBorder_;
    canvasHeight_ = thumbHeight_ + vertBorder_;
  } else {
    canvasWidth_ = maxX + thumbWidth_ + horizBorder_;
    canvasHeight_ = maxY + thumbHeight_ + vertBorder_;
  }
}

void TVantixMView::GetMaxViewXY(int& mx, int& my) const {
  mx = std::max(canvasWidth_ - ClientWidth(), 0);
  my = std::max(canvasHeight_ - ClientHeight(), 0);
}

void TVantixMView::SyncScrollBars() {
  int mx = 0, my = 0;
  GetMaxViewXY(mx, my);
  syncingBars_ = true;
  auto sync = [](QScrollBar* bar, bool wanted, int limit, int page, int pos) {
    if (!wanted || limit <= 0) return Qt::ScrollBarAlwaysOff;
    bar->setRange(0, limit);
    bar->setPageStep(std::max(1, page));
    bar->setSingleStep(1);
    bar->setValue(pos);
    return Qt::ScrollBarAlwaysOn;
  };
  const bool wantH = scrollBars_ == ssHorizontal || scrollBars_ == ssBoth;
  const bool wantV = scrollBars_ == ssVertical || scrollBars_ == ssBoth;
  setHorizontalScrollBarPolicy(sync(horizontalScrollBar(), wantH, mx, ClientWidth(), viewX_));
  setVerticalScrollBarPolicy(sync(verticalScrollBar(), wantV, my, ClientHeight(), viewY_));
  syncingBars_ = false;
}

void TVantixMView::Update() {
  if (inUpdate_) return;
  inUpdate_ = true;
  // Showing or hiding a bar changes the client size and with it the layout.
  for (int pass = 0; pass < 4; ++pass) {
    const int cw = ClientWidth(), ch = ClientHeight();
    UpdateCoords();
    int mx = 0, my = 0;
    GetMaxViewXY(mx, my);
    const int vx = std::clamp(viewX_, 0, mx), vy = std::clamp(viewY_, 0, my);
    if (vx != viewX_ || vy != viewY_) {
      viewX_ = vx;
      viewY_ = vy;
      ViewChange(0);
    }
    try {
      SyncScrollBars();
    } catch (...) {
      // The platform's scroll-bar errors never stop the layout.
    }
    if (cw == ClientWidth() && ch == ClientHeight()) break;
  }
  inUpdate_ = false;
  CallBitmapChangeEvents();
  viewport()->update();
}

void TVantixMView::SetViewX(int v) {
  SetViewXY(v, viewY_);
}

void TVantixMView::SetViewY(int v) {
  SetViewXY(viewX_, v);
}

void TVantixMView::SetViewXY(int x, int y) {
  int mx = 0, my = 0;
  GetMaxViewXY(mx, my);
  x = std::clamp(x, 0, mx);
  y = std::clamp(y, 0, my);
  if (x == viewX_ && y == viewY_) return;
  viewX_ = x;
  viewY_ = y;
  syncingBars_ = true;
  if (scrollBars_ == ssHorizontal || scrollBars_ == ssBoth) horizontalScrollBar()->setValue(x);
  if (scrollBars_ == ssVertical || scrollBars_ == ssBoth) verticalScrollBar()->setValue(y);
  syncingBars_ = false;
  viewport()->update();
  ViewChange(0);
}

void TVantixMView::scrollContentsBy(int dx, int dy) {
  if (syncingBars_) return;
  if (dx != 0) SetViewX(horizontalScrollBar()->value());
  if (dy != 0) SetViewY(verticalScrollBar()->value());
}

// A page of the grid is one cell, not one client width.
void TVantixMView::PageScroll(bool horizontal, int action) {
  QScrollBar* bar = horizontal ? horizontalScrollBar() : verticalScrollBar();
  const int step = horizontal ? thumbWidth_ : thumbHeight_;
  const int from = horizontal ? viewX_ : viewY_;
  if (action == QAbstractSlider::SliderPageStepAdd)
    bar->setSliderPosition(std::min(from + step, bar->maximum()));
  else if (action == QAbstractSlider::SliderPageStepSub)
    bar->setSliderPosition(std::max(from - step, 0));
}

void TVantixMView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  Update();
}

// ============================== properties ==============================

void TVantixMView::SetScrollBars(TScrollStyle s) {
  scrollBars_ = s;
  Update();
}

void TVantixMView::SetStoreType(TVXStoreType t) {
  storeType_ = t;
  Update();
}

void TVantixMView::SetThumbWidth(int v) {
  StoreAndUpdate(thumbWidth_, v);
}
void TVantixMView::SetThumbHeight(int v) {
  StoreAndUpdate(thumbHeight_, v);
}
void TVantixMView::SetHorizBorder(int v) {
  StoreAndUpdate(horizBorder_, v);
}
void TVantixMView::SetVertBorder(int v) {
  StoreAndUpdate(vertBorder_, v);
}
void TVantixMView::SetUpperGap(int v) {
  StoreAndUpdate(upperGap_, v);
}
void TVantixMView::SetBottomGap(int v) {
  StoreAndUpdate(bottomGap_, v);
}
void TVantixMView::SetGridWidth(int v) {
  StoreAndUpdate(gridWidth_, v);
}
void TVantixMView::SetSelectionWidth(int v) {
  StoreAndUpdate(selectionWidth_, v);
}

void TVantixMView::SetSelectionColor(TColor c) {
  selectionColor_ = c;
  Update();
}

void TVantixMView::SetVisibleSelection(bool v) {
  visibleSelection_ = v;
  Update();
}

void TVantixMView::SetDisplayMode(TVXMDisplayMode m) {
  if (playing_) {
    savedDisplayMode_ = m;
    return;
  }
  displayMode_ = m;
  Update();
}

void TVantixMView::SetVisibleFrame(int v) {
  visibleFrame_ = v;
  Update();
}

// ============================== playing ==============================

void TVantixMView::SetPlaying(bool v) {
  if (v == playing_) return;
  if (v) {
    savedDisplayMode_ = displayMode_;
    savedSelected_ = selected_;
    Deselect();
    playing_ = true;
    PlayFrame();
    return;
  }
  playTimer_->stop();
  playing_ = false;
  displayMode_ = savedDisplayMode_;
  Update();
  SetSelectedImage(savedSelected_);
}

void TVantixMView::StopPlaying() {
  if (playing_) SetPlaying(false);
}

void TVantixMView::PlayFrame() {
  if (inPlayFrame_ || destroying_) return;
  inPlayFrame_ = true;
  playTimer_->stop();
  if (playing_) {
    if (displayMode_ != mdSingle) {
      displayMode_ = mdSingle;
      Update();
    }
    visibleFrame_ = std::min(visibleFrame_, ImageCount() - 1);
    if (visibleFrame_ < 0) {
      visibleFrame_ = 0;
      inPlayFrame_ = false;
      SetPlaying(false);
      return;
    }
    const int shown = visibleFrame_;
    shownFrame_ = shown;
    viewport()->repaint();
    ++visibleFrame_;
    bool stop = false;
    if (visibleFrame_ >= ImageCount()) {
      visibleFrame_ = 0;
      CallBitmapChangeEvents();
      stop = !PlayLoop;
    }
    if (stop) {
      inPlayFrame_ = false;
      SetPlaying(false);
      return;
    }
    playTimer_->start(std::max(entries_[static_cast<size_t>(shown)].delayTime, 10));
  }
  inPlayFrame_ = false;
}

// ============================== painting ==============================

int TVantixMView::LockPaint() {
  return ++lockCount_;
}

int TVantixMView::UnLockPaint() {
  if (lockCount_ > 0) --lockCount_;
  if (lockCount_ == 0) Update();
  return lockCount_;
}

int TVantixMView::NPUnLockPaint() {
  if (lockCount_ > 0) --lockCount_;
  return lockCount_;
}

void TVantixMView::Paint() {
  if (lockCount_ == 0) viewport()->update();
}

void TVantixMView::paintEvent(QPaintEvent*) {
  // A progress handler that runs the event loop while a cell loads must not start a
  // second painting of the view inside the first.
  if (lockCount_ != 0 || painting_) return;
  QPainter p(viewport());
  painting_ = true;
  PaintTo(p);
  painting_ = false;
}

// Nearest-neighbour stretch of the image (stored or expanded) onto target.
void TVantixMView::DrawEntry(QPainter& p, Entry& e, const QRect& target) {
  p.setRenderHint(QPainter::SmoothPixmapTransform, false);
  if (e.bitmap) {
    p.drawImage(target, WrapBitmap(*e.bitmap));
    return;
  }
  const QImage rows = WrapDib(e.dib);
  if (rows.isNull()) return;
  // The stored rows run bottom-up: draw them mirrored instead of copying them.
  p.save();
  p.translate(target.left(), target.top() + target.height());
  p.scale(1, -1);
  p.drawImage(QRect(0, 0, target.width(), target.height()), rows);
  p.restore();
}

void TVantixMView::PaintCell(QPainter& p, int index, QRegion& rest) {
  Entry& e = entries_[static_cast<size_t>(index)];
  const int left = e.x - viewX_, top = e.y - viewY_;
  const QRect cell(left, top, thumbWidth_, thumbHeight_);
  if (!cell.intersects(QRect(0, 0, width(), height()))) {
    // Out of sight: what can be loaded again gives its memory back.
    if (index != selected_ && !e.dib.empty() && e.Reloadable() && e.useCount == 0) {
      e.dib.clear();
      e.dib.shrink_to_fit();
    }
    return;
  }
  if (e.dib.empty() && !e.bitmap) ObtainImage(index);
  Entry& f = entries_[static_cast<size_t>(index)];
  const QColor bg = ToQColor(f.background);
  const int a = thumbHeight_ - bottomGap_ - upperGap_;
  const int iw = ImageWidth(index), ih = ImageHeight(index);
  if (iw > 0 && ih > 0) {
    const TPoint fit = ThumbFit(iw, ih, thumbWidth_, a);
    const int x0 = left + (thumbWidth_ - fit.x) / 2;
    const int y0 = top + upperGap_ + (a - fit.y) / 2;
    if (fit.x > 0 && fit.y > 0) DrawEntry(p, f, QRect(x0, y0, fit.x, fit.y));
    const int right = left + thumbWidth_, bottom = top + thumbHeight_;
    p.fillRect(QRect(QPoint(left, top), QPoint(x0 - 1, bottom - 1)), bg);
    p.fillRect(QRect(QPoint(x0 + fit.x, top), QPoint(right - 1, bottom - 1)), bg);
    p.fillRect(QRect(QPoint(x0, top), QPoint(x0 + fit.x - 1, y0 - 1)), bg);
    p.fillRect(QRect(QPoint(x0, y0 + fit.y), QPoint(x0 + fit.x - 1, bottom - 1)), bg);
  } else {
    p.fillRect(cell, bg);
  }
  OnImageDraw(this, index, left, top, p);
  if (index == selected_ && visibleSelection_) {
    const int w = hasFocus() ? selectionWidth_ : 1;
    p.save();
    p.setPen(QPen(ToQColor(selectionColor_), 1));
    p.setBrush(Qt::NoBrush);
    for (int b = 1; b <= w; ++b)
      p.drawRect(left - b, top - b, thumbWidth_ + 2 * b - 1, thumbHeight_ + 2 * b - 1);
    p.restore();
    rest -= QRegion(left - w, top - w, thumbWidth_ + 2 * w, thumbHeight_ + 2 * w);
  } else {
    rest -= QRegion(cell);
  }
}

void TVantixMView::PaintTo(QPainter& p) {
  const int count = ImageCount();
  const bool single = (playing_ ? mdSingle : displayMode_) == mdSingle;
  const int n = single && count > 0 ? 1 : count;
  // While playing, a repaint between two steps shows the frame on screen, not the next.
  const int first = playing_ ? shownFrame_ : visibleFrame_;
  int index = (playing_ || single) ? std::clamp(first, 0, std::max(count - 1, 0)) : 0;
  QRegion rest(0, 0, ClientWidth(), ClientHeight());
  const bool progress = OnDrawProgress.Assigned() && n > 1;
  for (int k = 0; k < n; ++k) {
    if (progress) OnDrawProgress(this, static_cast<int>(static_cast<double>(k) / n * 100), index);
    if (index >= ImageCount()) break;  // a handler emptied the list
    PaintCell(p, index, rest);
    index = (index + 1) % std::max(ImageCount(), 1);
  }
  p.save();
  p.setClipRegion(rest);
  p.fillRect(QRect(0, 0, ClientWidth(), ClientHeight()), ToQColor(background_));
  p.restore();
  if (progress) OnDrawProgress(this, 100, 0);
}

void TVantixMView::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  viewport()->update();
}

void TVantixMView::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  viewport()->update();
}

// ============================== mouse and keys ==============================

void TVantixMView::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  downPoint_ = event->position().toPoint();
  downViewX_ = viewX_;
  downViewY_ = viewY_;
  buttonDown_ = true;
}

void TVantixMView::mouseMoveEvent(QMouseEvent* event) {
  if (!buttonDown_ || !mouseInteract_.Contains(mmiScroll) || event->buttons() == Qt::NoButton)
    return;
  const QPoint at = event->position().toPoint();
  SetViewXY(downViewX_ + downPoint_.x() - at.x(), downViewY_ + downPoint_.y() - at.y());
}

void TVantixMView::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (buttonDown_ && mouseInteract_.Contains(mmiScroll))
    SetViewXY(downViewX_ + downPoint_.x() - at.x(), downViewY_ + downPoint_.y() - at.y());
  buttonDown_ = false;
  if (playing_ || !mouseInteract_.Contains(mmiSelect)) return;
  const int hit = ImageAtPos(at.x(), at.y());
  if (hit < 0) return;
  SelectDirect(hit);
  if (visibleSelection_) Update();
  OnImageSelect(this, selected_);
  CallBitmapChangeEvents();
}

void TVantixMView::keyPressEvent(QKeyEvent* event) {
  TVXSeek seek;
  switch (event->key()) {
    case Qt::Key_Left:
      seek = iskLeft;
      break;
    case Qt::Key_Right:
      seek = iskRight;
      break;
    case Qt::Key_Up:
      seek = iskUp;
      break;
    case Qt::Key_Down:
      seek = iskDown;
      break;
    case Qt::Key_Home:
      seek = iskFirst;
      break;
    case Qt::Key_End:
      seek = iskLast;
      break;
    case Qt::Key_PageDown:
      seek = iskPagDown;
      break;
    case Qt::Key_PageUp:
      seek = iskPagUp;
      break;
    default:
      QAbstractScrollArea::keyPressEvent(event);
      return;
  }
  event->accept();
  if (playing_) return;
  SelectSeek(seek);
  Update();
}

}  // namespace vx
