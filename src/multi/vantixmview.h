#pragma once
// TVantixMView: a view holding a list of images, shown as a scrollable grid of
// thumbnails or one at a time, and played as an animation with per-image delays.
//
// Images rest as packed DIBs and are expanded into bitmaps only while in use
// (GetBitmap/ReleaseBitmap, counted). They come as bitmaps, as file names loaded on
// demand, or as IDs the application resolves through OnImageIDRequest; those that can
// be loaded again are dropped when they scroll out of sight. The selected image is the
// view's current bitmap, so input/output and processing components attached to the view
// work on it.
#include <QImage>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/vxdefs.h"
#include "platform/bitmap.h"
#include "platform/event.h"
#include "platform/set.h"
#include "view/vantixview.h"

class QPainter;
class QTimer;

namespace vx {

class TVantixIO;

enum class TVXStoreType { vxtNormal, vxtThumb };
using enum TVXStoreType;

enum class TVXMDisplayMode { mdGrid, mdSingle };
using enum TVXMDisplayMode;

enum class TVXMMouseInteractItems { mmiScroll, mmiSelect };
using enum TVXMMouseInteractItems;
using TVXMMouseInteract = TSet<TVXMMouseInteractItems>;

enum class TVXMKeyInteractItems { mkiMoveSelected };
using enum TVXMKeyInteractItems;
using TVXMKeyInteract = TSet<TVXMKeyInteractItems>;

enum class TVXSeek { iskLeft, iskRight, iskUp, iskDown, iskPagDown, iskPagUp, iskLast, iskFirst };
using enum TVXSeek;

// (Sender, ID, Bitmap): the handler points Bitmap at the image of ID (the view copies
// it and never frees it) or leaves it null.
using TVXImageIDRequestEvent = TMethod<TObject*, int, TBitmap*&>;
// (Sender, idx, Left, Top, painter): after a cell is drawn.
using TVXImageDrawEvent = TMethod<TObject*, int, int, int, QPainter&>;
using TVXImageSelectEvent = TMethod<TObject*, int>;
// (Sender, percent, idx).
using TVXMProgressEvent = TMethod<TObject*, int, int>;

// Size of a w x h image fitted into W x H keeping its proportions; (0, 0) when w or h is 0.
TPoint ThumbFit(int w, int h, int W, int H);

class TVantixMView : public TVXView {
  Q_OBJECT
  Q_PROPERTY(int ScrollBars READ ScrollBarsInt WRITE SetScrollBarsInt)
  Q_PROPERTY(int StoreType READ StoreTypeInt WRITE SetStoreTypeInt)
  Q_PROPERTY(int ThumbWidth READ ThumbWidth WRITE SetThumbWidth)
  Q_PROPERTY(int ThumbHeight READ ThumbHeight WRITE SetThumbHeight)
  Q_PROPERTY(int HorizBorder READ HorizBorder WRITE SetHorizBorder)
  Q_PROPERTY(int VertBorder READ VertBorder WRITE SetVertBorder)
  Q_PROPERTY(int UpperGap READ UpperGap WRITE SetUpperGap)
  Q_PROPERTY(int BottomGap READ BottomGap WRITE SetBottomGap)
  Q_PROPERTY(int GridWidth READ GridWidth WRITE SetGridWidth)
  Q_PROPERTY(int DisplayMode READ DisplayModeInt WRITE SetDisplayModeInt)
  Q_PROPERTY(bool VisibleSelection READ VisibleSelection WRITE SetVisibleSelection)
  Q_PROPERTY(int SelectionWidth READ SelectionWidth WRITE SetSelectionWidth)
  Q_PROPERTY(int SelectionColor READ SelectionColor WRITE SetSelectionColor)
  Q_PROPERTY(int MouseInteract READ MouseInteractBits WRITE SetMouseInteractBits)
  Q_PROPERTY(int KeyInteract READ KeyInteractBits WRITE SetKeyInteractBits)
  Q_PROPERTY(int SelectedImage READ SelectedImage WRITE SetSelectedImage)
  Q_PROPERTY(bool Playing READ Playing WRITE SetPlaying)
  Q_PROPERTY(int VisibleFrame READ VisibleFrame WRITE SetVisibleFrame)

 public:
  explicit TVantixMView(QWidget* parent = nullptr);
  ~TVantixMView() override;

  // ---- image host ----
  TBitmap* GetFBitmap() override;
  void Update() override;
  void ImageChange() override;
  void SetBackground(TColor c) override;

  // ---- the list ----
  void InsertImage(int i);
  int AppendImage();
  void DeleteImage(int i);
  void Clear();
  int ImageCount() const { return static_cast<int>(entries_.size()); }
  // Stores a copy of bitmap (with vxtThumb only its thumbnail) as image i.
  void SetImage(int i, const TBitmap& bitmap);
  // As SetImage, of the inclusive rectangle (x1, y1)-(x2, y2), limited to the bitmap.
  void SetImageRect(int i, const TBitmap& bitmap, int x1, int y1, int x2, int y2);
  // Image i expanded, loaded on demand if need be; nullptr when there is none. Each call
  // must be paired with ReleaseBitmap(i).
  TBitmap* GetBitmap(int i);
  void ReleaseBitmap(int i);
  // The stored packed DIB of image i, or nullptr (absent, or expanded right now).
  const std::vector<uint8_t>* GetBitmapInfo(int i) const;
  int ImageWidth(int i) const;
  int ImageHeight(int i) const;
  int UseCount(int i) const;
  // True when image i has its pixels at hand (stored or expanded).
  bool ImageHeld(int i) const;

  std::string ImageFileName(int i) const;
  void SetImageFileName(int i, const std::string& name);
  int ImageID(int i) const;
  void SetImageID(int i, int id);
  TColor ImageBackground(int i) const;
  void SetImageBackground(int i, TColor c);
  int ImageDelayTime(int i) const;
  void SetImageDelayTime(int i, int ms);
  int ImageX(int i) const;
  int ImageY(int i) const;
  int ImageRow(int i) const;
  int ImageCol(int i) const;

  // ---- selection and view ----
  int SelectedImage() const { return selected_; }
  void SetSelectedImage(int i);
  void Deselect();
  int ImageAtPos(int x, int y) const;
  // 0 not visible, 1 partly visible, 2 wholly inside the client area.
  int ImageVisibility(int i) const;
  void CenterSelected();
  void CenterFrame();
  void SelectSeek(TVXSeek direction);
  void UpdateImage(int i);

  int ViewX() const { return viewX_; }
  int ViewY() const { return viewY_; }
  void SetViewX(int v);
  void SetViewY(int v);
  void SetViewXY(int x, int y);
  void GetMaxViewXY(int& mx, int& my) const;
  int CanvasWidth() const { return canvasWidth_; }
  int CanvasHeight() const { return canvasHeight_; }
  int ClientWidth() const;
  int ClientHeight() const;

  int LockPaint();
  int UnLockPaint();
  int NPUnLockPaint();
  void Paint();
  virtual void PaintTo(QPainter& painter);

  // ---- properties ----
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle s);
  TVXStoreType StoreType() const { return storeType_; }
  void SetStoreType(TVXStoreType t);
  int ThumbWidth() const { return thumbWidth_; }
  void SetThumbWidth(int v);
  int ThumbHeight() const { return thumbHeight_; }
  void SetThumbHeight(int v);
  int HorizBorder() const { return horizBorder_; }
  void SetHorizBorder(int v);
  int VertBorder() const { return vertBorder_; }
  void SetVertBorder(int v);
  int UpperGap() const { return upperGap_; }
  void SetUpperGap(int v);
  int BottomGap() const { return bottomGap_; }
  void SetBottomGap(int v);
  int GridWidth() const { return gridWidth_; }
  void SetGridWidth(int v);
  TVXMDisplayMode DisplayMode() const { return playing_ ? savedDisplayMode_ : displayMode_; }
  void SetDisplayMode(TVXMDisplayMode m);
  bool VisibleSelection() const { return visibleSelection_; }
  void SetVisibleSelection(bool v);
  int SelectionWidth() const { return selectionWidth_; }
  void SetSelectionWidth(int v);
  TColor SelectionColor() const { return selectionColor_; }
  void SetSelectionColor(TColor c);
  TVXMMouseInteract MouseInteract() const { return mouseInteract_; }
  void SetMouseInteract(TVXMMouseInteract m) { mouseInteract_ = m; }
  TVXMKeyInteract KeyInteract() const { return keyInteract_; }
  void SetKeyInteract(TVXMKeyInteract k) { keyInteract_ = k; }

  bool Playing() const { return playing_; }
  void SetPlaying(bool v);
  bool PlayLoop = true;
  int VisibleFrame() const { return visibleFrame_; }
  void SetVisibleFrame(int v);

  // The last list operation (1 insert, 2 delete, 0 none), reset to 0 by reading it, and
  // its index: subscribers keep their own per-image lists in step with these.
  int GetLastOp();
  int GetLastOpIdx() const { return lastOpIdx_; }

  // Does nothing: a list of images is not copied wholesale.
  void Assign(const TVantixMView*) {}

  // The input/output component used for loading on demand.
  TVantixIO& IO() { return *io_; }

  // ---- events ----
  TViewChangeEvent OnViewChange;
  TVXImageIDRequestEvent OnImageIDRequest;
  TVXImageDrawEvent OnImageDraw;
  TVXImageSelectEvent OnImageSelect;
  TProgressEvent OnIOProgress;
  TVXMProgressEvent OnDrawProgress;

  // One step of playing: shows the current frame and arms the timer for the next one.
  void PlayFrame();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  struct Entry {
    std::vector<uint8_t> dib;         // the image at rest, or empty
    std::unique_ptr<TBitmap> bitmap;  // the image while in use
    int useCount = 0;
    int x = 0, y = 0, row = 0, col = 0;
    TColor background = 0;
    std::string fileName;
    int id = -1;
    int delayTime = 0;
    bool Reloadable() const { return id != -1 || !fileName.empty(); }
  };

  void StoreAndUpdate(int& member, int v) {
    member = v;
    Update();
  }
  bool Valid(int i) const { return i >= 0 && i < ImageCount(); }
  void StoreBitmap(int i, const TBitmap& bitmap, int x1, int y1, int x2, int y2);
  void ObtainImage(int i);
  void Expand(Entry& e);
  void SelectDirect(int i);
  void UpdateCoords();
  int Columns() const;
  void ViewChange(int change) { OnViewChange(this, change); }
  void SyncScrollBars();
  void PageScroll(bool horizontal, int action);
  void StopPlaying();
  void PaintCell(QPainter& p, int index, QRegion& rest);
  void DrawEntry(QPainter& p, Entry& e, const QRect& target);
  void SeekScrollBack(int s);
  void SeekScrollForward(int s);

  int ScrollBarsInt() const { return static_cast<int>(scrollBars_); }
  void SetScrollBarsInt(int v) { SetScrollBars(static_cast<TScrollStyle>(v)); }
  int StoreTypeInt() const { return static_cast<int>(storeType_); }
  void SetStoreTypeInt(int v) { SetStoreType(v ? vxtThumb : vxtNormal); }
  int DisplayModeInt() const { return static_cast<int>(DisplayMode()); }
  void SetDisplayModeInt(int v) { SetDisplayMode(v ? mdSingle : mdGrid); }
  int MouseInteractBits() const { return static_cast<int>(mouseInteract_.Bits()); }
  void SetMouseInteractBits(int v) { mouseInteract_ = TVXMMouseInteract::FromBits(uint64_t(v)); }
  int KeyInteractBits() const { return static_cast<int>(keyInteract_.Bits()); }
  void SetKeyInteractBits(int v) { keyInteract_ = TVXMKeyInteract::FromBits(uint64_t(v)); }

  std::vector<Entry> entries_;
  std::unique_ptr<TVantixIO> io_;
  std::unique_ptr<TBitmap> ioBitmap_;
  QTimer* playTimer_ = nullptr;

  TScrollStyle scrollBars_ = ssNone;
  TVXStoreType storeType_ = vxtNormal;
  int thumbWidth_ = 100, thumbHeight_ = 100;
  int horizBorder_ = 4, vertBorder_ = 4;
  int upperGap_ = 0, bottomGap_ = 0;
  int gridWidth_ = 0;
  TVXMDisplayMode displayMode_ = mdGrid;
  TVXMDisplayMode savedDisplayMode_ = mdGrid;
  bool visibleSelection_ = true;
  int selectionWidth_ = 3;
  TColor selectionColor_ = 0x0000FF;
  TVXMMouseInteract mouseInteract_{mmiSelect};
  TVXMKeyInteract keyInteract_{mkiMoveSelected};
  int viewX_ = 0, viewY_ = 0;
  int canvasWidth_ = 0, canvasHeight_ = 0;
  int selected_ = -1;
  bool playing_ = false;
  int savedSelected_ = -1;
  bool inPlayFrame_ = false;
  bool selecting_ = false;
  bool painting_ = false;
  int shownFrame_ = 0;
  bool destroying_ = false;
  int visibleFrame_ = 0;
  int lastOp_ = 0, lastOpIdx_ = 0;
  int lockCount_ = 0;
  bool inUpdate_ = false;
  bool syncingBars_ = false;
  QPoint downPoint_;
  int downViewX_ = 0, downViewY_ = 0;
  bool buttonDown_ = false;
};

}  // namespace vx
