#pragma once
// The view controls: TVXView, the base of every control that shows an image, and
// TVantixView, the single-image view with zoom, scrolling, background styles,
// smoothing, selections and mouse interaction.
//
// The view is a QAbstractScrollArea: its frame is the border, its scroll bars are the
// scroll bars and its viewport is the client area. All client coordinates below are
// viewport coordinates.
#include <QAbstractScrollArea>
#include <QImage>
#include <QPoint>
#include <memory>
#include <vector>

#include "platform/bitmap.h"
#include "platform/event.h"
#include "platform/imagehost.h"
#include "platform/set.h"
#include "platform/types.h"
#include "proc/resample.h"

class QPainter;
class QTimer;

namespace vx {

enum class TVXBorderStyle { bsNone, bsSingle };
using enum TVXBorderStyle;

enum class TVXBackgroundStyle {
  vxbsSolid,
  vxbsHorizontal,
  vxbsVertical,
  vxbsFDiagonal,
  vxbsBDiagonal,
  vxbsCross,
  vxbsDiagCross,
  vxbsChessboard,
  vxbsDiagonals
};
using enum TVXBackgroundStyle;

enum class TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
using enum TScrollStyle;

enum class TVXMouseInteractItems {
  miZoom,
  miScroll,
  miSelect,
  miSelectPolygon,
  miSelectCircle,
  miSelectZoom
};
using enum TVXMouseInteractItems;
using TVXMouseInteract = TSet<TVXMouseInteractItems>;

enum class TVXSelectionOptionsItems { vxsoAnimated, vxsoSizeable, vxsoMoveable };
using enum TVXSelectionOptionsItems;
using TVXSelectionOptions = TSet<TVXSelectionOptionsItems>;

enum class TVXSelectionBase { vxsbClientArea, vxsbBitmap };
using enum TVXSelectionBase;

// (Sender, Change): Change is 1 for a zoom, 0 for a scroll.
using TViewChangeEvent = TMethod<TObject*, int>;

// One polygon drawn as marching ants. Vertices are image coordinates.
struct TVXAnimPolygon {
  std::vector<TPoint> Points;
  TColor Color1 = clBlack;
  TColor Color2 = clWhite;
  bool Animated = true;
  int Phase = 0;
  int DashCounter = 0;
  int X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;  // bounding box, X1 <= X2, Y1 <= Y2
  bool Visible = true;
  bool Sizeable = true;
  int Count() const { return static_cast<int>(Points.size()); }
};

// Thirteen cursors of our own, under fixed ids.
inline constexpr int crZoomMinus = 1778;  // ZOOMMENO
inline constexpr int crZoomPlus = 1779;   // ZOOMPIU
inline constexpr int crCross = 1780;      // CROCE
inline constexpr int crEraser = 1781;     // GOMMA
inline constexpr int crHand = 1782;       // MANO
inline constexpr int crPen = 1783;        // PENNA
inline constexpr int crCross1 = 1784;     // CROCE1
inline constexpr int crCross2 = 1785;     // CROCE2, the view's default
inline constexpr int crMoveNWSE = 1786;   // MOVE2
inline constexpr int crMoveNS = 1787;     // MOVEY
inline constexpr int crMoveNESW = 1788;   // MOVE1
inline constexpr int crMoveWE = 1789;     // MOVEX
inline constexpr int crMove = 1790;       // MOVE

// Wraps the rows of a pf24bit or pf1bit bitmap in a QImage without copying; other
// formats are converted into *scratch, which must outlive the returned image.
QImage WrapBitmap(const TBitmap& bitmap, std::unique_ptr<TBitmap>* scratch = nullptr);
QColor ToQColor(TColor c);
// The second colour of the background patterns: the complement of rgb (0x00BBGGRR), or
// black or white where the complement is too close to rgb to be seen (mid greys).
TColor PatternColor(TColor rgb);

class TVXView : public QAbstractScrollArea, public IImageHost {
  Q_OBJECT
  Q_PROPERTY(int DPIX READ DpiX WRITE SetDPIX)
  Q_PROPERTY(int DPIY READ DpiY WRITE SetDPIY)
  Q_PROPERTY(int Background READ Background WRITE SetBackground)
  Q_PROPERTY(int BorderStyle READ BorderStyleInt WRITE SetBorderStyleInt)

 public:
  explicit TVXView(QWidget* parent = nullptr);
  ~TVXView() override;

  TBitmap* GetFBitmap() override { return nullptr; }
  void Update() override {}
  void ImageChange() override {}

  virtual void SetDPIX(int dpi) { dpiX_ = dpi; }
  virtual void SetDPIY(int dpi) { dpiY_ = dpi; }
  void SetDPI(int dpiX, int dpiY) override {
    SetDPIX(dpiX);
    SetDPIY(dpiY);
  }
  int DpiX() const override { return dpiX_; }
  int DpiY() const override { return dpiY_; }

  TColor Background() const override { return background_; }
  void SetBackground(TColor c) override { background_ = c; }

  TVXBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TVXBorderStyle s);

  void RegisterBitmapChangeEvent(const TNotifyEvent& handler) override;
  void RemoveBitmapChangeEvent(const TNotifyEvent& handler) override;
  void CallBitmapChangeEvents();
  int BitmapChangeEventCount() const { return static_cast<int>(bitmapChange_.size()); }

  TPoint ClientToBitmap(int x, int y) const override { return {x, y}; }
  TSelectionKind SelectionKind() const override { return skNone; }
  TRect SelectionRect() const override { return {}; }
  std::vector<TPoint> SelectionPolygon() const override { return {}; }

 protected:
  TColor background_;

 private:
  int BorderStyleInt() const { return static_cast<int>(borderStyle_); }
  void SetBorderStyleInt(int v) { SetBorderStyle(v ? bsSingle : bsNone); }

  std::vector<TNotifyEvent> bitmapChange_;
  TVXBorderStyle borderStyle_ = bsSingle;
  int dpiX_;
  int dpiY_;
};

class TVantixView : public TVXView {
  Q_OBJECT
  Q_PROPERTY(int Zoom READ Zoom WRITE SetZoom)
  Q_PROPERTY(int ViewX READ ViewX WRITE SetViewX)
  Q_PROPERTY(int ViewY READ ViewY WRITE SetViewY)
  Q_PROPERTY(bool Center READ Center WRITE SetCenter)
  Q_PROPERTY(bool AutoFit READ AutoFit WRITE SetAutoFit)
  Q_PROPERTY(bool DoubleBuffer READ DoubleBuffer WRITE SetDoubleBuffer)
  Q_PROPERTY(int ZoomFilter READ ZoomFilterInt WRITE SetZoomFilterInt)
  Q_PROPERTY(int BackgroundStyle READ BackgroundStyleInt WRITE SetBackgroundStyleInt)
  Q_PROPERTY(int ScrollBars READ ScrollBarsInt WRITE SetScrollBarsInt)
  Q_PROPERTY(int Cursor READ Cursor WRITE SetCursor)
  Q_PROPERTY(int MouseInteract READ MouseInteractBits WRITE SetMouseInteractBits)
  Q_PROPERTY(int SelectionOptions READ SelectionOptionsBits WRITE SetSelectionOptionsBits)
  Q_PROPERTY(int SelectionBase READ SelectionBaseInt WRITE SetSelectionBaseInt)
  Q_PROPERTY(int SelColor1 READ SelColor1 WRITE SetSelColor1)
  Q_PROPERTY(int SelColor2 READ SelColor2 WRITE SetSelColor2)
  Q_PROPERTY(bool VisibleSelection READ VisibleSelection WRITE SetVisibleSelection)

 public:
  explicit TVantixView(QWidget* parent = nullptr);
  ~TVantixView() override;

  // ---- image host ----
  TBitmap* GetFBitmap() override { return image_.get(); }
  TBitmap& Bitmap() { return *image_; }
  void Update() override;
  void ImageChange() override;
  void SetBackground(TColor c) override;
  TPoint ClientToBitmap(int x, int y) const override { return {XScr2Bmp(x), YScr2Bmp(y)}; }
  TSelectionKind SelectionKind() const override;
  TRect SelectionRect() const override;
  void SelectBitmapRect(int x1, int y1, int x2, int y2) override;
  std::vector<TPoint> SelectionPolygon() const override;

  // ---- zoom and scrolling ----
  int Zoom() const { return zoom_; }
  void SetZoom(int z);
  int ViewX() const { return viewX_; }
  int ViewY() const { return viewY_; }
  void SetViewX(int v);
  void SetViewY(int v);
  void SetViewXY(int x, int y);
  void GetMaxViewXY(int& mx, int& my) const;
  bool Center() const { return center_; }
  void SetCenter(bool v);
  bool AutoFit() const { return autoFit_; }
  void SetAutoFit(bool v);
  void Fit();
  void ZoomAt(int x, int y, int z);
  int IdealComponentWidth() const;
  int IdealComponentHeight() const;

  int XScr2Bmp(int x) const;
  int YScr2Bmp(int y) const;
  int XBmp2Scr(int x) const;
  int YBmp2Scr(int y) const;

  int OffsetX() const { return offsetX_; }
  int OffsetY() const { return offsetY_; }
  int ExtentX() const { return extentX_; }
  int ExtentY() const { return extentY_; }
  int ZoomedWidth() const { return zoomedWidth_; }
  int ZoomedHeight() const { return zoomedHeight_; }
  int ClientWidth() const;
  int ClientHeight() const;

  // ---- painting ----
  int LockPaint();
  int UnLockPaint();
  int NPUnLockPaint();
  int PaintLockCount() const { return lockCount_; }
  // Repaints now from the cached rendering when nothing changed.
  void Paint();
  virtual void PaintTo(QPainter& painter);
  void PaintTo(TBitmap& target);
  void DrawTo(QPainter& painter);
  void DrawTo(TBitmap& target);
  // The source rectangle (image pixels) that PaintTo draws: x, y, width, height.
  TRect PaintSourceRect() const;
  bool BufferDirty() const { return bufferDirty_; }
  // Number of times the image was rendered into the cache (not just copied).
  int RenderCount() const { return renderCount_; }

  TVXBackgroundStyle BackgroundStyle() const { return backgroundStyle_; }
  void SetBackgroundStyle(TVXBackgroundStyle s);
  TResampleFilter ZoomFilter() const { return zoomFilter_; }
  void SetZoomFilter(TResampleFilter f);
  bool DeferZoomFilter = false;
  int FilterCountdown() const { return filterCountdown_; }
  TScrollStyle ScrollBars() const { return scrollBars_; }
  virtual void SetScrollBars(TScrollStyle s);
  bool DoubleBuffer() const { return doubleBuffer_; }
  void SetDoubleBuffer(bool v);
  bool UpdateInvalidates = true;

  int Cursor() const { return cursor_; }
  // The id of the cursor shown right now (over a grip it differs from Cursor).
  int ShownCursor() const { return shownCursor_; }
  void SetCursor(int id);
  void SaveCursor(int id);
  void RestoreCursor();

  // ---- image ----
  void Clear();
  void Blank();
  // Copies another view's image, background and resolution, or a bitmap.
  void Assign(const TVantixView* source);
  void Assign(const TBitmap* source);
  void CopyFromPolygon(const TBitmap& source, const std::vector<TPoint>& polygon, TPoint point);
  void CopyToPolygon(TBitmap& target, const std::vector<TPoint>& polygon, TPoint point);
  // The image's 256 most representative colours (the neural-net quantizer).
  std::vector<TRGB> CreatePalette();

  // ---- selection ----
  // Selects the rectangle (x1, y1)-(x2, y2), or appends a polygon vertex; client or image
  // coordinates as SelectionBase says. The mouse builds its selections through these.
  virtual void Select(int x1, int y1, int x2, int y2);
  virtual void AddSelPoint(int x, int y);
  void DeSelect() override;
  void ZoomSelection();
  void AssignSelTo(TVantixView& target);
  void AssignSelTo(TBitmap& target);
  bool Selected() const { return selected_; }
  int SelX1() const { return sel_->X1; }
  int SelY1() const { return sel_->Y1; }
  int SelX2() const { return sel_->X2; }
  int SelY2() const { return sel_->Y2; }
  int PolySelCount() const { return sel_->Count(); }
  const std::vector<TPoint>& PolySelPoints() const { return sel_->Points; }
  TPoint PolySel(int i) const;
  bool VisibleSelection() const { return sel_->Visible; }
  void SetVisibleSelection(bool v);
  TColor SelColor1() const { return sel_->Color1; }
  void SetSelColor1(TColor c);
  TColor SelColor2() const { return sel_->Color2; }
  void SetSelColor2(TColor c);
  TVXSelectionOptions SelectionOptions() const { return selectionOptions_; }
  void SetSelectionOptions(TVXSelectionOptions o);
  TVXSelectionBase SelectionBase() const { return selectionBase_; }
  void SetSelectionBase(TVXSelectionBase b) { selectionBase_ = b; }
  void ShowSelectionEx(bool draw);
  void HideSelectionEx(bool repaint);

  TVXMouseInteract MouseInteract() const { return mouseInteract_; }
  virtual void SetMouseInteract(TVXMouseInteract m);
  bool PolygonDrawing() const { return polygonDrawing_; }
  bool RectDragging() const { return rectDragging_; }
  bool CircleDragging() const { return circleDragging_; }
  int ResizeGrip() const { return resizeGrip_; }
  int MoveGrip() const { return moveGrip_; }

  static bool IsRectangle(const std::vector<TPoint>& points);
  int GetResizingGrip(int x, int y) const;
  int GetMovingGrip(int x, int y);

  // Animated polygons (the view owns them).
  TVXAnimPolygon* AnimPolygonNew(TColor color1, TColor color2, bool animated, bool sizeable);
  void AnimPolygonAddPtEx(TVXAnimPolygon* poly, int x, int y);
  void AnimPolygonAddPt(TVXAnimPolygon* poly, int x, int y);
  void AnimPolygonClear(TVXAnimPolygon* poly);
  void AnimPolygonDel(TVXAnimPolygon* poly);
  // One animation step; fromTimer advances the ants. The timer calls it every 150 ms.
  void AnimationStep(bool fromTimer);
  bool AnimationTimerActive() const;

  // ---- events ----
  TNotifyEvent OnImageChange;
  TViewChangeEvent OnViewChange;
  TNotifyEvent OnSelectionChanging;
  TNotifyEvent OnSelectionChange;

 protected:
  virtual void ViewChange(int change);
  // The scroll step of a drag with miScroll, (x, y) the unclamped client point of the
  // mouse: the image follows the hand from where the button went down.
  virtual void SubMouseMoveScroll(int x, int y);
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void DrawBackground(QPainter& p, const QRect& except);
  template <class Draw>
  void DrawOntoBitmap(TBitmap& target, Draw&& draw);
  void DrawImagePart(QPainter& p, bool forDrawTo);
  void DrawOverlay(QPainter& p);
  void DrawAnts(QPainter& p, TVXAnimPolygon& poly);
  void DrawRubberBand(QPainter& p);
  void Invalidate();
  void SyncScrollBars(bool horizontal, bool vertical);
  TPoint ToBitmap(int x, int y) const;
  void RebuildRect(int x1, int y1, int x2, int y2);
  int SelectResizeEx(int grip, int x, int y);
  void SelectMoveEx(int dx, int dy);
  void AutoScroll(QPoint raw);
  void MouseDown(QMouseEvent* event);
  QPoint ClampClient(QPoint p) const;
  void UpdateCursorOverGrips(int x, int y);
  void FireChanging() { OnSelectionChanging(this); }
  // Round (halves to even) and trunc held at the int range: at extreme zooms the zoomed
  // sizes and screen positions do not fit, and a wrapped value would flip their sign.
  static int RoundSat(long double v);
  static int TruncSat(long double v);

  int ZoomFilterInt() const { return static_cast<int>(zoomFilter_); }
  void SetZoomFilterInt(int v) { SetZoomFilter(static_cast<TResampleFilter>(v)); }
  int BackgroundStyleInt() const { return static_cast<int>(backgroundStyle_); }
  void SetBackgroundStyleInt(int v) { SetBackgroundStyle(static_cast<TVXBackgroundStyle>(v)); }
  int ScrollBarsInt() const { return static_cast<int>(scrollBars_); }
  void SetScrollBarsInt(int v) { SetScrollBars(static_cast<TScrollStyle>(v)); }
  int MouseInteractBits() const { return static_cast<int>(mouseInteract_.Bits()); }
  void SetMouseInteractBits(int v) {
    SetMouseInteract(TVXMouseInteract::FromBits(static_cast<uint64_t>(v)));
  }
  int SelectionOptionsBits() const { return static_cast<int>(selectionOptions_.Bits()); }
  void SetSelectionOptionsBits(int v) {
    SetSelectionOptions(TVXSelectionOptions::FromBits(static_cast<uint64_t>(v)));
  }
  int SelectionBaseInt() const { return static_cast<int>(selectionBase_); }
  void SetSelectionBaseInt(int v) { selectionBase_ = v ? vxsbBitmap : vxsbClientArea; }

  std::unique_ptr<TBitmap> image_;
  std::unique_ptr<TBitmap> scratch_;  // conversion of an unusual pixel format
  QImage buffer_;                     // the rendered client area
  bool bufferDirty_ = true;
  bool doubleBuffer_ = false;
  int renderCount_ = 0;
  int zoom_ = 100;
  int viewX_ = 0, viewY_ = 0;
  int offsetX_ = 0, offsetY_ = 0;
  int extentX_ = 0, extentY_ = 0;
  int zoomedWidth_ = 0, zoomedHeight_ = 0;
  int lastImageWidth_ = 0, lastImageHeight_ = 0;
  int lockCount_ = 0;
  bool center_ = false;
  bool autoFit_ = false;
  TVXBackgroundStyle backgroundStyle_ = vxbsSolid;
  TResampleFilter zoomFilter_ = rfNone;
  TResampleFilter savedZoomFilter_ = rfNone;
  bool buttonDown_ = false;
  int filterCountdown_ = 0;
  TScrollStyle scrollBars_ = ssNone;
  int cursor_;
  bool cursorSaved_ = false;
  bool inUpdate_ = false;
  bool updateAgain_ = false;
  bool syncingBars_ = false;

  // selection state
  std::vector<std::unique_ptr<TVXAnimPolygon>> polygons_;
  TVXAnimPolygon* sel_ = nullptr;
  QTimer* timer_ = nullptr;
  TVXSelectionOptions selectionOptions_{vxsoAnimated, vxsoSizeable, vxsoMoveable};
  TVXSelectionBase selectionBase_ = vxsbClientArea;
  TVXMouseInteract mouseInteract_;
  bool selected_ = false;
  bool polygonDrawing_ = false;
  bool rectDragging_ = false;
  bool circleDragging_ = false;
  int resizeGrip_ = -1;
  int moveGrip_ = -1;
  TPoint rubberPoint_;
  TPoint downPoint_;
  TPoint lastMousePoint_;
  int downViewX_ = 0, downViewY_ = 0;
  TRect grabRect_;  // inclusive box when a move began
  int shownCursor_ = 0;
  QTimer* autoScrollTimer_ = nullptr;
  QPoint lastRawPoint_;
  Qt::MouseButtons lastButtons_;
  Qt::KeyboardModifiers lastModifiers_;
};

}  // namespace vx
