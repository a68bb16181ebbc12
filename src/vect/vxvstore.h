#pragma once
// The object store of the vector layer: every object, the frame tree, the new-object
// template, the shared bitmap table, measurement units, VXV streams and DXF import.
// It is a plain class with no toolkit; a widget owns one and delegates to it.
//
// How a widget uses it:
//  - it owns a TVXVObjectStore and forwards its object operations to it, calling
//    SetImageSize(w, h) from its own Update (the root frame's box follows the image),
//    and SetDPI(dpiX, dpiY) whenever its resolution changes (CoefX/CoefY follow);
//  - it assigns OnRemoving to end its interactions (inline editor, grip drags) and drop
//    the index from its object selection before a slot goes away (one call per removed
//    slot, children included; kVXVNone for "everything");
//  - it assigns OnChanged to repaint: the store fires it, with the index concerned (or
//    kVXVNone when many objects changed), after property writes, bitmap changes,
//    z-order moves, removals, loading and importing - never for writes to the template
//    (kVXVTemplate), and not for AddNewObject/AddVObject, which callers use in bulk
//    and follow with one repaint of their own;
//  - it draws by walking Root().Children recursively (Object(i) for each), skipping
//    objects without vxvsVisible, and takes bitmaps from ObjBitmap(i);
//  - for hit testing it passes the visible part of the image (VisibleImagePart) to
//    FindNearObj, and uses ObjectsInside for rubber-band selection;
//  - it measures its selection with vxvmeasure.h and the store's CoefX/CoefY, and
//    calls SetScaleFromSelectionLen with a routine that measures its selection.
//  - it maps fonts between its toolkit and TVXLogFont, and calls SetObjFont.
//
// Indices: a slot keeps its number while its object lives; removed slots in the middle
// stay unused. Every operation also accepts kVXVTemplate, kVXVLastSlot and kVXVRoot.
// An index naming nothing (out of range, an unused slot) makes readers return a neutral
// value and writers do nothing.
//
// Failures: LoadFromStreamVXV raises EInvalidGraphic ("unrecognized VXV stream") for an
// unknown signature and EReadError for truncated or damaged data (the objects read
// before the fault stay in the store); SaveToStreamVXV raises EWriteError when the
// stream refuses data. File forms raise EFOpenError / EFCreateError.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bitmap.h"
#include "platform/event.h"
#include "platform/stream.h"
#include "platform/types.h"
#include "vect/vxvfont.h"
#include "vect/vxvobject.h"

namespace vx {

enum class TVXUnits { vxuPIXELS, vxuINCHES, vxuKM, vxuMETERS, vxuCENTIMETERS, vxuMILLIMETERS };
using enum TVXUnits;
inline constexpr int kVXUnitCount = 6;
// Unit names shown in measurement texts, by TVXUnits.
inline constexpr const char* strunits[kVXUnitCount] = {"Pixels", "Inches", "Km", "Mt", "CM", "MM"};

// One entry of the shared bitmap table. An entry with RefCount 0 is empty (no bitmap).
struct TVXVBitmapEntry {
  std::unique_ptr<TBitmap> Bitmap;
  int32_t RefCount = 0;
};

// Limits that keep a damaged or hostile VXV stream from building an absurd store.
inline constexpr int64_t kVXVMaxObjects = int64_t{1} << 22;
inline constexpr int kVXVMaxFrameDepth = 256;
inline constexpr int64_t kVXVMaxStringBytes = int64_t{1} << 24;

// The root frame's box before the first SetImageSize.
inline constexpr int32_t kVXVUnsizedRootExtent = 100000000;

class TVXVObjectStore {
 public:
  static constexpr int32_t kBlockSize = 512;

  TVXVObjectStore();
  ~TVXVObjectStore();
  TVXVObjectStore(const TVXVObjectStore&) = delete;
  TVXVObjectStore& operator=(const TVXVObjectStore&) = delete;

  // ---- owner hooks (see the top of this file) ----
  TMethod<int32_t> OnRemoving;
  TMethod<int32_t> OnChanged;

  // ---- the array ----
  int32_t SlotCount() const { return slotCount_; }
  int32_t ObjectsCount() const { return objectsCount_; }
  // The slot an index names (kVXVLastSlot resolved), kVXVTemplate, kVXVRoot, or kVXVNone
  // when it names nothing.
  int32_t Resolve(int32_t index) const;
  bool Exists(int32_t index) const { return Resolve(index) != kVXVNone; }
  // The record an index names, or null. Writing through it bypasses the store's rules
  // (ordering, bitmap counts, child lists): keep to plain drawing fields.
  TVXVObject* Object(int32_t index);
  const TVXVObject* Object(int32_t index) const;
  TVXVObject& Root() { return root_; }
  const TVXVObject& Root() const { return root_; }
  TVXVObject& Template() { return template_; }
  const TVXVObject& Template() const { return template_; }

  // The image the objects lie on: the root frame becomes (0, 0, w - 1, h - 1).
  void SetImageSize(int width, int height);
  int ImageWidth() const { return imageWidth_; }
  int ImageHeight() const { return imageHeight_; }

  // ---- adding and removing ----
  // A copy of the template, added to the root frame.
  int32_t AddNewObject();
  // Adds a copy of source to frame parent (kVXVRoot or a frame's slot) and returns the
  // new slot, or kVXVNone when parent is no frame. The copy gets no children (they are
  // added after it), takes the source's bitmap by index through the sharing rule
  // (bitmap objects only), and has its box ordered unless it is a line.
  int32_t AddVObject(int32_t parent, const TVXVObject& source);
  // Removes the object (a frame with everything below it).
  void RemoveObject(int32_t index);
  // Removes every object and empties the bitmap table (the template loses its bitmap).
  void RemoveAllObjects();

  // ---- z-order and lookup ----
  // Moves i directly after j in j's frame (into that frame if i was elsewhere), or to the
  // end of its own frame when j < 0. Moves that would put a frame inside itself do
  // nothing.
  void SetObjFrontOf(int32_t i, int32_t j);
  // Moves i directly before j in j's frame, or to the start of its own frame when j < 0.
  void SetObjBackTo(int32_t i, int32_t j);
  // Depth first from the root in child order; -1 when nothing matches.
  int32_t GetObjFromName(std::string_view name) const;
  int32_t GetObjFromID(int32_t id) const;
  // Position of i in frame's child list, or -1.
  int32_t GetObjPos(int32_t frame, int32_t i) const;
  // The inclusive box enclosing every object's ordered box; (0, 0, 0, 0) with none.
  TRect GetObjectsExtents() const;

  // ---- per-object properties (index as above; writers fire OnChanged) ----
  TVXVObjectKind ObjKind(int32_t i) const;
  void SetObjKind(int32_t i, TVXVObjectKind kind);
  TColor ObjPenColor(int32_t i) const;
  void SetObjPenColor(int32_t i, TColor c);
  TPenStyle ObjPenStyle(int32_t i) const;
  void SetObjPenStyle(int32_t i, TPenStyle s);
  int32_t ObjPenWidth(int32_t i) const;
  void SetObjPenWidth(int32_t i, int32_t w);
  TColor ObjBrushColor(int32_t i) const;
  void SetObjBrushColor(int32_t i, TColor c);
  TBrushStyle ObjBrushStyle(int32_t i) const;
  void SetObjBrushStyle(int32_t i, TBrushStyle s);
  TVXVStyle ObjStyle(int32_t i) const;
  void SetObjStyle(int32_t i, TVXVStyle s);
  // The box as stored (inclusive; a line's may be reversed). Written as given.
  TRect ObjRect(int32_t i) const;
  void SetObjRect(int32_t i, const TRect& r);
  // Left/Top move the object keeping its size; Width/Height are Right - Left + 1 and
  // Bottom - Top + 1 and move Right/Bottom.
  int32_t ObjLeft(int32_t i) const;
  void SetObjLeft(int32_t i, int32_t v);
  int32_t ObjTop(int32_t i) const;
  void SetObjTop(int32_t i, int32_t v);
  int32_t ObjWidth(int32_t i) const;
  void SetObjWidth(int32_t i, int32_t v);
  int32_t ObjHeight(int32_t i) const;
  void SetObjHeight(int32_t i, int32_t v);
  int32_t ObjID(int32_t i) const;
  void SetObjID(int32_t i, int32_t v);
  std::string ObjName(int32_t i) const;
  void SetObjName(int32_t i, std::string_view v);
  std::string ObjText(int32_t i) const;
  void SetObjText(int32_t i, std::string_view v);
  uint8_t ObjTextAlign(int32_t i) const;
  void SetObjTextAlign(int32_t i, uint8_t v);
  TVXShape ObjBeginShape(int32_t i) const;
  void SetObjBeginShape(int32_t i, TVXShape v);
  TVXShape ObjEndShape(int32_t i) const;
  void SetObjEndShape(int32_t i, TVXShape v);
  int32_t ObjShapeWidth(int32_t i) const;
  void SetObjShapeWidth(int32_t i, int32_t v);
  int32_t ObjShapeHeight(int32_t i) const;
  void SetObjShapeHeight(int32_t i, int32_t v);
  double ObjArcBegin(int32_t i) const;
  void SetObjArcBegin(int32_t i, double v);
  double ObjArcEnd(int32_t i) const;
  void SetObjArcEnd(int32_t i, double v);
  // Font properties; 0 / empty for an object without a font, whose writers do nothing.
  // The angle is escapement / 10 in degrees; writing stores Trunc(angle * 10).
  double ObjFontAngle(int32_t i) const;
  void SetObjFontAngle(int32_t i, double degrees);
  int32_t ObjFontHeight(int32_t i) const;
  void SetObjFontHeight(int32_t i, int32_t v);
  std::string ObjFontName(int32_t i) const;
  void SetObjFontName(int32_t i, std::string_view v);
  TFontStyles ObjFontStyles(int32_t i) const;
  void SetObjFontStyles(int32_t i, TFontStyles v);
  const TVXLogFont* ObjFont(int32_t i) const;
  // Takes the font record and its colour (which becomes PenColor, the text colour).
  void SetObjFont(int32_t i, const TVXLogFont& font, TColor color);

  // ---- bitmaps ----
  bool ShareBitmaps() const { return shareBitmaps_; }
  void SetShareBitmaps(bool share) { shareBitmaps_ = share; }
  const std::vector<TVXVBitmapEntry>& Bitmaps() const { return bitmaps_; }
  // The object's bitmap, or null.
  const TBitmap* ObjBitmap(int32_t i) const;
  // Stores a copy of bitmap (or a shared reference to an equal one); null releases the
  // object's bitmap.
  void SetObjBitmap(int32_t i, const TBitmap* bitmap);
  // Removes empty entries and renumbers the objects' and the template's indices.
  void CompactBitmaps();

  // ---- units and scale ----
  TVXUnits MUnit() const { return munit_; }
  void SetMUnit(TVXUnits u);
  double Scale() const { return scale_; }
  void SetScale(double s);
  void SetDPI(int dpiX, int dpiY);
  int DpiX() const { return dpiX_; }
  int DpiY() const { return dpiY_; }
  // Measurement units per image pixel.
  double CoefX() const { return coefX_; }
  double CoefY() const { return coefY_; }
  // Scale so that pixels pixels measure length units (nothing for non-positive or
  // non-finite input).
  void SetScaleFromPixels(double pixels, double length);
  // Measures the selection with selectionLength (called while CoefX and CoefY are both
  // 1), truncates it to whole pixels and calls SetScaleFromPixels.
  void SetScaleFromSelectionLen(double length, const std::function<double()>& selectionLength);
  int FloatDigits() const { return floatDigits_; }
  void SetFloatDigits(int d) { floatDigits_ = d; }
  int FloatPrecision() const { return floatPrecision_; }
  void SetFloatPrecision(int p) { floatPrecision_ = p; }
  // A measurement as shown: fixed point, FloatDigits decimals, a space, the unit name,
  // and for areas the superscript two.
  std::string MeasureText(double value, bool area) const;

  // ---- hit testing ----
  // Distance from image point (x, y) to the object (see vxvmeasure.h).
  double CalcDistPtObj(int32_t i, double x, double y) const;
  // The selectable object under frame nearest to image point (x, y) among those whose
  // box meets visible (inclusive image rectangle; a line's box counts ordered, and a box
  // one pixel thin still meets it), topmost first on ties; frame itself when none
  // counts. A frame child is searched inside and stands for itself when empty.
  int32_t FindNearObj(int32_t frame, int x, int y, const TRect& visible) const;
  // Every selectable non-frame object lying completely inside rect (inclusive image
  // rectangle, any corner order), frames searched recursively, in tree order: the
  // rubber-band selection.
  std::vector<int32_t> ObjectsInside(const TRect& rect) const;

  // ---- files ----
  void SaveToStreamVXV(TStream& stream);
  void LoadFromStreamVXV(TStream& stream);
  void SaveToFileVXV(const std::string& fileName);
  void LoadFromFileVXV(const std::string& fileName);
  // Adds the lines, circles and arcs of a DXF drawing to the root frame, fitted to the
  // image size (SetImageSize). Text of any content is accepted; what cannot be read is
  // skipped.
  void ImportDXF(const std::string& fileName);
  void ImportDXFStream(TStream& stream);

 private:
  friend class TVXVReader;
  friend class TVXVWriter;

  TVXVObject* Slot(int32_t slot);
  const TVXVObject* Slot(int32_t slot) const;
  TVXVObject& NewSlot();
  void Changed(int32_t index);
  void ReleaseObjectData(int32_t slot);
  void ReleaseBitmap(TVXVObject& o);
  int32_t StoreBitmap(const TBitmap& bitmap);
  int32_t ShareBitmapEntry(int32_t entry);
  void DetachFromParent(int32_t slot);
  void InsertInFrame(int32_t frame, int32_t slot, int32_t position);
  bool IsInside(int32_t frame, int32_t ancestor) const;
  void RecomputeCoefs();
  template <class Match>
  int32_t FindFirst(const Match& match) const;

  std::vector<std::unique_ptr<TVXVObject[]>> blocks_;
  int32_t slotCount_ = 0;
  int32_t objectsCount_ = 0;
  TVXVObject root_;
  TVXVObject template_;
  std::vector<TVXVBitmapEntry> bitmaps_;
  bool shareBitmaps_ = true;
  int imageWidth_ = 0;
  int imageHeight_ = 0;
  TVXUnits munit_ = vxuPIXELS;
  double scale_ = 1.0;
  int dpiX_ = 96;
  int dpiY_ = 96;
  double coefX_ = 1.0;
  double coefY_ = 1.0;
  int floatDigits_ = 2;
  int floatPrecision_ = 15;
};

// The visible part of the image in image pixels (inclusive), from a view's scroll
// position, client extent and zoom (percent).
TRect VisibleImagePart(int viewX, int viewY, int extentX, int extentY, double zoom);

}  // namespace vx
