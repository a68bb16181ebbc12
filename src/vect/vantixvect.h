#pragma once
// TVantixVect: the single-image view with a layer of vector objects over the image -
// lines with arrow heads, boxes, ellipses, arcs, placed bitmaps and text, grouped in
// frames - drawn at the view's zoom and scroll, burnt into the image on request, saved
// as VXV, imported from DXF, and edited with the mouse: placing, selecting, resizing and
// moving objects, editing text in place, and measuring the view's selection.
//
// The objects live in a TVXVObjectStore (vect/vxvstore.h) that the view owns; the
// object operations below forward to it, and Objects() gives the store itself for
// everything else. Writers repaint the view.
//
// Painting: the image and the objects are rendered into the view's cached rendering;
// the grips of selected objects and the previews of a drag are drawn over it by
// inversion on every repaint, so selecting objects never renders the image again.
//
// Clipboard: the selected objects travel as a VXV stream of their own under the MIME
// type kVXVMimeType, with a picture of them for other programs.
#include <QFont>
#include <QIcon>
#include <QPoint>
#include <QRect>
#include <QString>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/set.h"
#include "vect/vxvstore.h"
#include "view/vantixview.h"
#include "view/vxhint.h"

class QKeyEvent;
class QLineEdit;
class QMimeData;
class QPainter;
class QTimer;

namespace vx {

enum class TVXMouseInteractVtItems {
  miArea,
  miLineLen,
  miPutLine,
  miPutBox,
  miPutEllipse,
  miPutBitmap,
  miPutText,
  miObjectSelect,
  miDragLen
};
using enum TVXMouseInteractVtItems;
using TVXMouseInteractVt = TSet<TVXMouseInteractVtItems>;

// (Sender, Text, Value): may rewrite the text of a measurement hint before it shows.
using TVXVMeasureHintEvent = TMethod<TObject*, std::string&, double>;

// The clipboard format of object fragments (a VXV stream).
inline constexpr const char* kVXVMimeType = "application/x-vantix-vxv";

// Grips of a selected object, as FindSelGrip returns them.
inline constexpr int kGripNone = 0;
inline constexpr int kGripTopLeft = 1;
inline constexpr int kGripBottomRight = 2;
inline constexpr int kGripCentre = 3;
inline constexpr int kGripTopRight = 4;
inline constexpr int kGripBottomLeft = 5;

// The stored font record as a Qt font. pixelHeight follows the record's convention:
// negative is the character height (the em), positive the cell height (ascent plus
// descent); 0 counts as 1. Weight, italic, underline, strike-out and a non-zero width
// (as a stretch against the face's average character width) are taken over; the
// escapement is not part of a QFont (the painter rotates).
QFont LogFontToQFont(const TVXLogFont& font, int pixelHeight);
// A Qt font as a record: the height as a character height in pixels (point sizes
// converted at dpi), weight, styles and family; escapement and orientation 0.
TVXLogFont QFontToLogFont(const QFont& font, int dpi);
// Text as the objects keep it (UTF-8; other bytes read as Latin-1) and back.
QString ObjectTextToQString(const std::string& text);

class TVantixVect : public TVantixView {
  Q_OBJECT
  Q_PROPERTY(bool AllObjectsHidden READ AllObjectsHidden WRITE SetAllObjectsHidden)
  Q_PROPERTY(bool ZoomObjectsWidth READ ZoomObjectsWidth WRITE SetZoomObjectsWidth)
  Q_PROPERTY(bool ShareBitmaps READ ShareBitmaps WRITE SetShareBitmaps)
  Q_PROPERTY(int FloatDigits READ FloatDigits WRITE SetFloatDigits)
  Q_PROPERTY(int FloatPrecision READ FloatPrecision WRITE SetFloatPrecision)
  Q_PROPERTY(double Scale READ Scale WRITE SetScale)

 public:
  explicit TVantixVect(QWidget* parent = nullptr);
  ~TVantixVect() override;

  // ---- the store ----
  TVXVObjectStore& Objects() { return store_; }
  const TVXVObjectStore& Objects() const { return store_; }
  int32_t ObjectsCount() const { return store_.ObjectsCount(); }
  int32_t AddNewObject();
  int32_t AddVObject(int32_t parent, const TVXVObject& source);
  void RemoveObject(int32_t i) { store_.RemoveObject(i); }
  void RemoveAllObjects() { store_.RemoveAllObjects(); }
  void SetObjFrontOf(int32_t i, int32_t j) { store_.SetObjFrontOf(i, j); }
  void SetObjBackTo(int32_t i, int32_t j) { store_.SetObjBackTo(i, j); }
  int32_t GetObjFromName(std::string_view name) const { return store_.GetObjFromName(name); }
  int32_t GetObjFromID(int32_t id) const { return store_.GetObjFromID(id); }
  int32_t GetObjPos(int32_t frame, int32_t i) const { return store_.GetObjPos(frame, i); }
  TRect GetObjectsExtents() const { return store_.GetObjectsExtents(); }

  // ---- per-object properties (the store's; writers repaint) ----
  TVXVObjectKind ObjKind(int32_t i) const { return store_.ObjKind(i); }
  void SetObjKind(int32_t i, TVXVObjectKind k) { store_.SetObjKind(i, k); }
  TColor ObjPenColor(int32_t i) const { return store_.ObjPenColor(i); }
  void SetObjPenColor(int32_t i, TColor c) { store_.SetObjPenColor(i, c); }
  TPenStyle ObjPenStyle(int32_t i) const { return store_.ObjPenStyle(i); }
  void SetObjPenStyle(int32_t i, TPenStyle s) { store_.SetObjPenStyle(i, s); }
  int32_t ObjPenWidth(int32_t i) const { return store_.ObjPenWidth(i); }
  void SetObjPenWidth(int32_t i, int32_t w) { store_.SetObjPenWidth(i, w); }
  TColor ObjBrushColor(int32_t i) const { return store_.ObjBrushColor(i); }
  void SetObjBrushColor(int32_t i, TColor c) { store_.SetObjBrushColor(i, c); }
  TBrushStyle ObjBrushStyle(int32_t i) const { return store_.ObjBrushStyle(i); }
  void SetObjBrushStyle(int32_t i, TBrushStyle s) { store_.SetObjBrushStyle(i, s); }
  TVXVStyle ObjStyle(int32_t i) const { return store_.ObjStyle(i); }
  void SetObjStyle(int32_t i, TVXVStyle s) { store_.SetObjStyle(i, s); }
  TRect ObjRect(int32_t i) const { return store_.ObjRect(i); }
  void SetObjRect(int32_t i, const TRect& r) { store_.SetObjRect(i, r); }
  int32_t ObjLeft(int32_t i) const { return store_.ObjLeft(i); }
  void SetObjLeft(int32_t i, int32_t v) { store_.SetObjLeft(i, v); }
  int32_t ObjTop(int32_t i) const { return store_.ObjTop(i); }
  void SetObjTop(int32_t i, int32_t v) { store_.SetObjTop(i, v); }
  int32_t ObjWidth(int32_t i) const { return store_.ObjWidth(i); }
  void SetObjWidth(int32_t i, int32_t v) { store_.SetObjWidth(i, v); }
  int32_t ObjHeight(int32_t i) const { return store_.ObjHeight(i); }
  void SetObjHeight(int32_t i, int32_t v) { store_.SetObjHeight(i, v); }
  int32_t ObjID(int32_t i) const { return store_.ObjID(i); }
  void SetObjID(int32_t i, int32_t v) { store_.SetObjID(i, v); }
  std::string ObjName(int32_t i) const { return store_.ObjName(i); }
  void SetObjName(int32_t i, std::string_view v) { store_.SetObjName(i, v); }
  std::string ObjText(int32_t i) const { return store_.ObjText(i); }
  void SetObjText(int32_t i, std::string_view v) { store_.SetObjText(i, v); }
  uint8_t ObjTextAlign(int32_t i) const { return store_.ObjTextAlign(i); }
  void SetObjTextAlign(int32_t i, uint8_t v) { store_.SetObjTextAlign(i, v); }
  TVXShape ObjBeginShape(int32_t i) const { return store_.ObjBeginShape(i); }
  void SetObjBeginShape(int32_t i, TVXShape v) { store_.SetObjBeginShape(i, v); }
  TVXShape ObjEndShape(int32_t i) const { return store_.ObjEndShape(i); }
  void SetObjEndShape(int32_t i, TVXShape v) { store_.SetObjEndShape(i, v); }
  int32_t ObjShapeWidth(int32_t i) const { return store_.ObjShapeWidth(i); }
  void SetObjShapeWidth(int32_t i, int32_t v) { store_.SetObjShapeWidth(i, v); }
  int32_t ObjShapeHeight(int32_t i) const { return store_.ObjShapeHeight(i); }
  void SetObjShapeHeight(int32_t i, int32_t v) { store_.SetObjShapeHeight(i, v); }
  double ObjArcBegin(int32_t i) const { return store_.ObjArcBegin(i); }
  void SetObjArcBegin(int32_t i, double v) { store_.SetObjArcBegin(i, v); }
  double ObjArcEnd(int32_t i) const { return store_.ObjArcEnd(i); }
  void SetObjArcEnd(int32_t i, double v) { store_.SetObjArcEnd(i, v); }
  double ObjFontAngle(int32_t i) const { return store_.ObjFontAngle(i); }
  void SetObjFontAngle(int32_t i, double degrees) { store_.SetObjFontAngle(i, degrees); }
  int32_t ObjFontHeight(int32_t i) const { return store_.ObjFontHeight(i); }
  void SetObjFontHeight(int32_t i, int32_t v) { store_.SetObjFontHeight(i, v); }
  std::string ObjFontName(int32_t i) const { return store_.ObjFontName(i); }
  void SetObjFontName(int32_t i, std::string_view v) { store_.SetObjFontName(i, v); }
  TFontStyles ObjFontStyles(int32_t i) const { return store_.ObjFontStyles(i); }
  void SetObjFontStyles(int32_t i, TFontStyles v) { store_.SetObjFontStyles(i, v); }
  // Takes the font as a record (keeping the object's escapement and orientation, which
  // a QFont does not carry) and colour as the text colour (PenColor); without a colour,
  // the view's text colour.
  void SetObjFont(int32_t i, const QFont& font);
  void SetObjFont(int32_t i, const QFont& font, TColor colour);
  // The object's font as a Qt font at its stored height (none: the view's font).
  QFont ObjQFont(int32_t i) const;
  const TBitmap* ObjBitmap(int32_t i) const { return store_.ObjBitmap(i); }
  void SetObjBitmap(int32_t i, const TBitmap* bitmap) { store_.SetObjBitmap(i, bitmap); }
  // Renders the icon at w x h onto white in a pf24bit bitmap and stores that.
  void SetObjBitmapICO(int32_t i, const QIcon& icon, int w, int h);

  // ---- drawing ----
  // Draws every object into the image itself at 1:1 (keeping the image's pixel format)
  // and updates.
  void CopyObjectsToBack();
  bool AllObjectsHidden() const { return allHidden_; }
  void SetAllObjectsHidden(bool hidden);
  bool ZoomObjectsWidth() const { return zoomObjectsWidth_; }
  void SetZoomObjectsWidth(bool zoom);
  // The view's painting, then the objects and the grips of the selected ones.
  void PaintTo(QPainter& painter) override;
  using TVantixView::PaintTo;
  // The objects alone, drawn at 1:1 with their image pixel (x, y) at painter (0, 0)
  // shifted by (-originX, -originY).
  void DrawObjectsAt(QPainter& painter, int originX, int originY,
                     const std::vector<int32_t>& which);
  bool ShareBitmaps() const { return store_.ShareBitmaps(); }
  void SetShareBitmaps(bool s) { store_.SetShareBitmaps(s); }

  // ---- measurement units ----
  TVXUnits MUnit() const { return store_.MUnit(); }
  void SetMUnit(TVXUnits u);
  double Scale() const { return store_.Scale(); }
  void SetScale(double s);
  double CoefX() const { return store_.CoefX(); }
  double CoefY() const { return store_.CoefY(); }
  void SetScaleFromPixels(double pixels, double length);
  // Scale so that the current selection's length (GetSelectionLen in pixels) measures
  // length units.
  void SetScaleFromSelectionLen(double length);
  int FloatDigits() const { return store_.FloatDigits(); }
  void SetFloatDigits(int d);
  int FloatPrecision() const { return store_.FloatPrecision(); }
  void SetFloatPrecision(int p);
  void SetDPIX(int dpi) override;
  void SetDPIY(int dpi) override;

  // ---- files ----
  void SaveToStreamVXV(TStream& stream) { store_.SaveToStreamVXV(stream); }
  void LoadFromStreamVXV(TStream& stream);
  void SaveToFileVXV(const std::string& fileName) { store_.SaveToFileVXV(fileName); }
  void LoadFromFileVXV(const std::string& fileName);
  void ImportDXF(const std::string& fileName);

  // ---- mouse interaction ----
  TVXMouseInteractVt MouseInteractVt() const { return mouseInteractVt_; }
  void SetMouseInteractVt(TVXMouseInteractVt m);
  void SetMouseInteract(TVXMouseInteract m) override;
  // Ends every interaction: no insertion, no grip drag, the inline editor closed with
  // its text stored.
  void CancelInteracts();
  // The kind the current drag inserts (as an int; 0 none), and the grip being dragged.
  int InsertKind() const { return insertKind_; }
  int DragGrip() const { return dragGrip_; }
  TPoint CurrentPoint() const { return currentPoint_; }
  // Client point of the last mouse-down, shifted as the drag scrolls the view.
  TPoint DownPoint() const { return downPoint_; }
  bool MeasureToCursor = true;

  // ---- object selection ----
  void AddSelObject(int32_t i);
  void UnSelObject(int32_t i);
  void UnSelAllObjects();
  void SelAllObjects();
  bool IsSelObject(int32_t i) const;
  int32_t SelObjects(int k) const;
  int SelObjectsCount() const { return static_cast<int>(selObjects_.size()); }
  const std::vector<int32_t>& SelectedObjects() const { return selObjects_; }
  // The grip of a selected object under client point (x, y), kGripNone for none.
  int FindSelGrip(int x, int y) const;
  // The selectable object nearest to image point (x, y) among the visible ones.
  int32_t FindNearObj(int32_t frame, int x, int y) const;
  double CalcDistPtObj(int32_t i, double x, double y) const {
    return store_.CalcDistPtObj(i, x, y);
  }

  // ---- the inline text editor ----
  // Opens the editor on text object i (nothing for other kinds).
  void OpenTextEditor(int32_t i);
  // Stores the typed text and closes the editor.
  void CloseTextEditor();
  int32_t EditedText() const { return editedText_; }
  // The editor while one is open, else null.
  QLineEdit* TextEditor() const { return editor_; }

  // ---- measurement ----
  double GetSelectionArea() const;
  double GetSelectionLen() const;
  TVXHint* Hint() const { return hint_; }

  // ---- clipboard ----
  // Copy and cut the selected objects (with their frames' contents) as a VXV fragment
  // and a picture; paste adds a fragment's objects, moved into sight when they would
  // lie outside the visible part of the image and off their originals when they would
  // cover them, and selects them; insert adds the clipboard's picture as a bitmap
  // object at the top-left of the visible part. Each returns whether it did anything.
  bool CopyToClipboard();
  bool CutToClipboard();
  bool PasteFromClipboard();
  bool InsertFromClipboard();
  // The selected objects as a clipboard fragment (VXV bytes and picture), and back.
  QMimeData* SelectedObjectsMimeData();
  bool PasteMimeData(const QMimeData& data);

  // ---- events ----
  TNotifyEvent OnSelectObject;
  TNotifyEvent OnVectorialChanged;
  TVXVMeasureHintEvent OnMeasureHint;

  void Update() override;

 protected:
  void ViewChange(int change) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct TMapping;
  struct TTextLayout;

  // drawing (vantixvect.cpp)
  TMapping ScreenMapping() const;
  void DrawObjects(QPainter& p, const TMapping& m);
  void DrawObject(QPainter& p, const TVXVObject& o, const TMapping& m);
  void DrawLine(QPainter& p, const TVXVObject& o, const TMapping& m);
  void DrawArrow(QPainter& p, TVXShape shape, QPointF at, QPointF other, const TMapping& m,
                 const TVXVObject& o);
  void DrawWideBox(QPainter& p, const QRect& r, int width);
  void DrawHatch(QPainter& p, const TVXVObject& o, const QRect& area, bool ellipse,
                 const TMapping& m);
  void DrawEllipseOrArc(QPainter& p, const TVXVObject& o, const QRect& r, const TMapping& m);
  void DrawBitmapObject(QPainter& p, const TVXVObject& o, const QRect& r, const TMapping& m);
  void DrawText(QPainter& p, const TVXVObject& o, const QRect& r, const TMapping& m);
  QFont ScaledFont(const TVXLogFont& font, int pixelHeight);
  const QImage& Picture(const TBitmap& bitmap);
  const QImage& ScaledPicture(const TBitmap& bitmap, const QImage& picture, int w, int h);
  const TTextLayout& TextLayout(const TVXVObject& o, const TVXLogFont& font, int pixelHeight);
  void DropCaches();
  void StoreChanged(int32_t index);
  void StoreRemoving(int32_t index);
  void DrawGrips(QPainter& p) const;
  void AddGripPoints(int32_t i, std::vector<QPoint>& pts, std::vector<QRect>& bands) const;
  QRect ScreenBox(const TVXVObject& o) const;
  QRect ImageOnScreen() const;

  // editing (vantixvectedit.cpp)
  void VectMouseDown(QMouseEvent* e, bool doubleClick);
  void VectMouseMove(QMouseEvent* e);
  void VectMouseUp(QMouseEvent* e);
  void PlaceObject(QMouseEvent* e);
  void ClickSelect(bool shift);
  void FinishGripDrag();
  void DragGripStep(QPoint c);
  void RubberBandStep();
  void InsertStep(QPoint c, bool ctrl);
  QPoint ClampToImage(QPoint p) const;
  void AutoScroll(QPoint raw);
  void KeepScrolling(QMouseEvent* e, bool dragging);
  void DrawPreview(QPainter& p) const;
  void PlaceEditor();
  void EditorEnter();
  void EditorEscape();
  void ShowMeasureHints(QPoint at);
  void ShowHint(const std::string& text, QPoint at, bool clampToClient);
  void RefreshHints();
  TPoint RubberPoint() const;
  void FireSelect() { OnSelectObject(this); }
  void FireChanged() { OnVectorialChanged(this); }

  // clipboard (vantixvect.cpp)
  void CopyObjectTree(const TVXVObjectStore& from, int32_t source, TVXVObjectStore& to,
                      int32_t parent, int dx, int dy, std::vector<int32_t>* added) const;
  std::vector<int32_t> TopSelected() const;
  QImage RenderObjects(const std::vector<int32_t>& which, const TRect& box);

  TVXVObjectStore store_;
  bool allHidden_ = false;
  bool zoomObjectsWidth_ = true;
  bool cachePass_ = false;  // rendering the cached image: grips are the overlay's
  bool reopening_ = false;  // the editor is being moved after a view change
  std::unordered_map<std::string, QFont> fontCache_;
  // Pictures in the painter's own format, and texts laid out once: repaints of many
  // objects must not convert or shape again. Both are dropped when the store changes.
  std::unordered_map<const TBitmap*, QImage> pictureCache_;
  struct TPictureKey {
    const TBitmap* bitmap;
    int w, h;
    bool operator==(const TPictureKey&) const = default;
  };
  struct TPictureKeyHash {
    size_t operator()(const TPictureKey& k) const {
      return std::hash<const void*>()(k.bitmap) ^ (static_cast<size_t>(k.w) * 0x9E3779B1u) ^
             (static_cast<size_t>(k.h) << 20);
    }
  };
  std::unordered_map<TPictureKey, QImage, TPictureKeyHash> scaledCache_;
  int64_t scaledPixels_ = 0;
  std::unordered_map<const TVXVObject*, std::unique_ptr<TTextLayout>> textCache_;

  TVXMouseInteractVt mouseInteractVt_;
  int insertKind_ = 0;
  int dragGrip_ = kGripNone;
  bool leftDown_ = false;
  bool gripMoved_ = false;
  TPoint gripApplied_;  // image displacement a grip drag has applied so far
  TPoint downPoint_;
  TPoint currentPoint_;
  TPoint lastMouse_;
  bool lastCtrl_ = false;
  std::vector<int32_t> selObjects_;
  int32_t editedText_ = -1;
  QLineEdit* editor_ = nullptr;
  QString editorOriginal_;
  TVXHint* hint_ = nullptr;
  QTimer* scrollTimer_ = nullptr;
  QPoint scrollRaw_;
  Qt::MouseButtons scrollButtons_;
  Qt::KeyboardModifiers scrollModifiers_;
};

}  // namespace vx
