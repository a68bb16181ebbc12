#include "vect/vxvstore.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "core/arith.h"
#include "core/vxdefs.h"
#include "platform/exceptions.h"
#include "proc/bitmapcompare.h"
#include "vect/vxvmeasure.h"

namespace vx {

namespace {

constexpr int kIconSize = 64;

// The template's stand-in bitmap: a red disc with a white cross, the usual look of an
// error sign, on white.
TBitmap MakeErrorIcon() {
  TBitmap icon;
  icon.SetPixelFormat(pf24bit);
  icon.SetSize(kIconSize, kIconSize);
  const double c = (kIconSize - 1) / 2.0;
  for (int y = 0; y < kIconSize; ++y) {
    uint8_t* row = icon.ScanLine(y);
    for (int x = 0; x < kIconSize; ++x) {
      const double dx = x - c, dy = y - c;
      const double r = std::hypot(dx, dy);
      TRGB p{255, 255, 255};
      if (r <= c - 1) p = CreateRGB(0xD0, 0x10, 0x10);
      const bool onCross = std::abs(std::abs(dx) - std::abs(dy)) <= 4.5 && r <= c * 0.6;
      if (onCross) p = TRGB{255, 255, 255};
      row[x * 3] = p.b;
      row[x * 3 + 1] = p.g;
      row[x * 3 + 2] = p.r;
    }
  }
  return icon;
}

// Child lists grow in whole blocks of 512 entries, doubling once they are large, so that
// appending to a frame of a million objects stays linear.
void ReserveChild(std::vector<int32_t>& children) {
  if (children.size() < children.capacity()) return;
  constexpr size_t kChildBlock = 512;
  const size_t want = std::max(children.size() + kChildBlock, children.size() * 2);
  children.reserve((want + kChildBlock - 1) / kChildBlock * kChildBlock);
}

int32_t ClampToInt32(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

// Units per pixel of a unit at a resolution, before the scale.
double UnitsPerPixel(TVXUnits unit, int dpi) {
  const double inches = 1.0 / (dpi > 0 ? dpi : 1);
  switch (unit) {
    case vxuPIXELS:
      return 1.0;
    case vxuINCHES:
      return inches;
    case vxuCENTIMETERS:
      return inches * 2.54;
    case vxuMILLIMETERS:
      return inches * 2.54 * 10;
    case vxuMETERS:
      return inches * 2.54 / 100;
    case vxuKM:
      return inches * 2.54 / 100000;
  }
  return 1.0;
}

}  // namespace

TVXVObjectStore::TVXVObjectStore() {
  root_.Kind = vxkFRAME;
  root_.Right = kVXVUnsizedRootExtent;
  root_.Bottom = kVXVUnsizedRootExtent;
  root_.Style = kVXVStyleAll;
  root_.Parent = kVXVNone;
  root_.Font.reset();
  template_.Left = 0;
  template_.Top = 0;
  template_.Right = kIconSize - 1;
  template_.Bottom = kIconSize - 1;
  template_.Font = TVXLogFont{};
  const TBitmap icon = MakeErrorIcon();
  SetObjBitmap(kVXVTemplate, &icon);
  RecomputeCoefs();
}

TVXVObjectStore::~TVXVObjectStore() = default;

// ---- slots ----

TVXVObject* TVXVObjectStore::Slot(int32_t slot) {
  return &blocks_[static_cast<size_t>(slot / kBlockSize)][static_cast<size_t>(slot % kBlockSize)];
}

const TVXVObject* TVXVObjectStore::Slot(int32_t slot) const {
  return &blocks_[static_cast<size_t>(slot / kBlockSize)][static_cast<size_t>(slot % kBlockSize)];
}

int32_t TVXVObjectStore::Resolve(int32_t index) const {
  if (index == kVXVTemplate || index == kVXVRoot) return index;
  if (index == kVXVLastSlot) index = slotCount_ - 1;
  if (index < 0 || index >= slotCount_) return kVXVNone;
  return Slot(index)->Parent == kVXVNone ? kVXVNone : index;
}

TVXVObject* TVXVObjectStore::Object(int32_t index) {
  return const_cast<TVXVObject*>(std::as_const(*this).Object(index));
}

const TVXVObject* TVXVObjectStore::Object(int32_t index) const {
  const int32_t r = Resolve(index);
  if (r == kVXVTemplate) return &template_;
  if (r == kVXVRoot) return &root_;
  if (r == kVXVNone) return nullptr;
  return Slot(r);
}

TVXVObject& TVXVObjectStore::NewSlot() {
  if (slotCount_ == std::numeric_limits<int32_t>::max()) throw EOutOfResources("object store full");
  if (static_cast<size_t>(slotCount_) == blocks_.size() * kBlockSize)
    blocks_.push_back(std::make_unique<TVXVObject[]>(kBlockSize));
  return *Slot(slotCount_++);
}

void TVXVObjectStore::Changed(int32_t index) {
  if (index != kVXVTemplate) OnChanged(index);
}

void TVXVObjectStore::SetImageSize(int width, int height) {
  imageWidth_ = width;
  imageHeight_ = height;
  root_.Left = 0;
  root_.Top = 0;
  root_.Right = width - 1;
  root_.Bottom = height - 1;
}

// ---- adding and removing ----

int32_t TVXVObjectStore::AddNewObject() {
  return AddVObject(kVXVRoot, template_);
}

int32_t TVXVObjectStore::AddVObject(int32_t parent, const TVXVObject& source) {
  const int32_t p = Resolve(parent);
  if (p == kVXVNone || p == kVXVTemplate) return kVXVNone;
  if (!Object(p)->IsFrame()) return kVXVNone;
  // Taken before the slot exists: source may be the record whose entry it shares.
  const int32_t entry = source.Kind == vxkBITMAP ? ShareBitmapEntry(source.BitmapIndex) : -1;
  const int32_t slot = slotCount_;
  TVXVObject* o = nullptr;
  try {
    o = &NewSlot();
    *o = source;
  } catch (...) {
    if (entry >= 0) {
      TVXVObject holder;
      holder.BitmapIndex = entry;
      ReleaseBitmap(holder);
    }
    if (o) {
      *o = TVXVObject{};
      --slotCount_;
    }
    throw;
  }
  o->Children.clear();
  o->Children.shrink_to_fit();
  o->ChildCount = 0;
  o->Parent = p;
  o->BitmapIndex = entry;
  if (o->Kind != vxkTEXT) o->Text.clear();
  if (o->Kind != vxkLINE) o->OrderBox();
  TVXVObject& frame = *Object(p);
  ReserveChild(frame.Children);
  frame.Children.push_back(slot);
  frame.ChildCount = static_cast<int32_t>(frame.Children.size());
  ++objectsCount_;
  return slot;
}

void TVXVObjectStore::ReleaseObjectData(int32_t slot) {
  TVXVObject& o = *Slot(slot);
  ReleaseBitmap(o);
  o = TVXVObject{};
  o.Parent = kVXVNone;
  --objectsCount_;
}

void TVXVObjectStore::DetachFromParent(int32_t slot) {
  TVXVObject* frame = Object(Slot(slot)->Parent);
  if (!frame) return;
  auto& c = frame->Children;
  const auto it = std::find(c.begin(), c.end(), slot);
  if (it != c.end()) c.erase(it);
  frame->ChildCount = static_cast<int32_t>(c.size());
}

void TVXVObjectStore::RemoveObject(int32_t index) {
  const int32_t r = Resolve(index);
  if (r < 0) return;
  // Everything below r, parents before children, collected without recursion so that
  // deep frame trees cannot exhaust the stack.
  std::vector<int32_t> doomed{r};
  for (size_t k = 0; k < doomed.size(); ++k) {
    const TVXVObject& o = *Slot(doomed[k]);
    doomed.insert(doomed.end(), o.Children.begin(), o.Children.end());
  }
  for (int32_t s : doomed) OnRemoving(s);
  DetachFromParent(r);
  for (int32_t s : doomed) ReleaseObjectData(s);
  if (r == slotCount_ - 1) --slotCount_;
  Changed(r);
}

void TVXVObjectStore::RemoveAllObjects() {
  OnRemoving(kVXVNone);
  blocks_.clear();
  slotCount_ = 0;
  objectsCount_ = 0;
  root_.Children.clear();
  root_.Children.shrink_to_fit();
  root_.ChildCount = 0;
  bitmaps_.clear();
  template_.BitmapIndex = -1;
  root_.BitmapIndex = -1;
  Changed(kVXVNone);
}

// ---- z-order and lookup ----

bool TVXVObjectStore::IsInside(int32_t frame, int32_t ancestor) const {
  // Parent chains end at the root; the bound guards against a corrupted chain.
  for (int64_t steps = 0; frame >= 0 && steps <= slotCount_; ++steps) {
    if (frame == ancestor) return true;
    frame = Slot(frame)->Parent;
  }
  return false;
}

void TVXVObjectStore::InsertInFrame(int32_t frame, int32_t slot, int32_t position) {
  TVXVObject& f = *Object(frame);
  ReserveChild(f.Children);
  position = std::clamp<int32_t>(position, 0, static_cast<int32_t>(f.Children.size()));
  f.Children.insert(f.Children.begin() + position, slot);
  f.ChildCount = static_cast<int32_t>(f.Children.size());
  Slot(slot)->Parent = frame;
}

void TVXVObjectStore::SetObjFrontOf(int32_t i, int32_t j) {
  const int32_t ri = Resolve(i);
  if (ri < 0) return;
  int32_t frame = Slot(ri)->Parent;
  int32_t rj = kVXVNone;
  if (j >= 0) {
    rj = Resolve(j);
    if (rj < 0 || rj == ri) return;
    frame = Slot(rj)->Parent;
    if (IsInside(frame, ri)) return;
  }
  DetachFromParent(ri);
  const int32_t pos = rj >= 0 ? GetObjPos(frame, rj) + 1 : Object(frame)->ChildCount;
  InsertInFrame(frame, ri, pos);
  Changed(ri);
}

void TVXVObjectStore::SetObjBackTo(int32_t i, int32_t j) {
  const int32_t ri = Resolve(i);
  if (ri < 0) return;
  int32_t frame = Slot(ri)->Parent;
  int32_t rj = kVXVNone;
  if (j >= 0) {
    rj = Resolve(j);
    if (rj < 0 || rj == ri) return;
    frame = Slot(rj)->Parent;
    if (IsInside(frame, ri)) return;
  }
  DetachFromParent(ri);
  const int32_t pos = rj >= 0 ? GetObjPos(frame, rj) : 0;
  InsertInFrame(frame, ri, pos);
  Changed(ri);
}

template <class Match>
int32_t TVXVObjectStore::FindFirst(const Match& match) const {
  struct Level {
    const TVXVObject* frame;
    size_t next;
  };
  std::vector<Level> stack{{&root_, 0}};
  while (!stack.empty()) {
    Level& top = stack.back();
    if (top.next >= top.frame->Children.size()) {
      stack.pop_back();
      continue;
    }
    const int32_t s = top.frame->Children[top.next++];
    const TVXVObject& o = *Slot(s);
    if (match(o)) return s;
    if (o.IsFrame() && !o.Children.empty()) stack.push_back({&o, 0});
  }
  return -1;
}

int32_t TVXVObjectStore::GetObjFromName(std::string_view name) const {
  return FindFirst([&](const TVXVObject& o) { return o.Name == name; });
}

int32_t TVXVObjectStore::GetObjFromID(int32_t id) const {
  return FindFirst([&](const TVXVObject& o) { return o.ID == id; });
}

int32_t TVXVObjectStore::GetObjPos(int32_t frame, int32_t i) const {
  const TVXVObject* f = Object(frame);
  const int32_t ri = Resolve(i);
  if (!f || ri < 0) return -1;
  const auto it = std::find(f->Children.begin(), f->Children.end(), ri);
  return it == f->Children.end() ? -1 : static_cast<int32_t>(it - f->Children.begin());
}

TRect TVXVObjectStore::GetObjectsExtents() const {
  TRect r{};
  bool any = false;
  for (int32_t s = 0; s < slotCount_; ++s) {
    const TVXVObject& o = *Slot(s);
    if (o.Parent == kVXVNone) continue;
    const TRect b = o.OrderedBox();
    if (!any) {
      r = b;
      any = true;
      continue;
    }
    r.left = std::min(r.left, b.left);
    r.top = std::min(r.top, b.top);
    r.right = std::max(r.right, b.right);
    r.bottom = std::max(r.bottom, b.bottom);
  }
  return r;
}

// ---- properties ----

namespace {

template <class T>
T Field(const TVXVObject* o, T TVXVObject::*field) {
  return o ? o->*field : T{};
}

}  // namespace

TVXVObjectKind TVXVObjectStore::ObjKind(int32_t i) const {
  return Field(Object(i), &TVXVObject::Kind);
}
void TVXVObjectStore::SetObjKind(int32_t i, TVXVObjectKind kind) {
  TVXVObject* o = Object(i);
  // The root stays a frame, and a frame holding objects keeps them reachable.
  if (!o || o == &root_ || (o->IsFrame() && !o->Children.empty())) return;
  if (static_cast<int>(kind) >= kVXVKindCount) return;
  o->Kind = kind;
  Changed(i);
}
TColor TVXVObjectStore::ObjPenColor(int32_t i) const {
  return Field(Object(i), &TVXVObject::PenColor);
}
void TVXVObjectStore::SetObjPenColor(int32_t i, TColor c) {
  if (TVXVObject* o = Object(i)) {
    o->PenColor = c;
    Changed(i);
  }
}
TPenStyle TVXVObjectStore::ObjPenStyle(int32_t i) const {
  return Field(Object(i), &TVXVObject::PenStyle);
}
void TVXVObjectStore::SetObjPenStyle(int32_t i, TPenStyle s) {
  if (TVXVObject* o = Object(i)) {
    o->PenStyle = s;
    Changed(i);
  }
}
int32_t TVXVObjectStore::ObjPenWidth(int32_t i) const {
  return Field(Object(i), &TVXVObject::PenWidth);
}
void TVXVObjectStore::SetObjPenWidth(int32_t i, int32_t w) {
  if (TVXVObject* o = Object(i)) {
    o->PenWidth = w;
    Changed(i);
  }
}
TColor TVXVObjectStore::ObjBrushColor(int32_t i) const {
  return Field(Object(i), &TVXVObject::BrushColor);
}
void TVXVObjectStore::SetObjBrushColor(int32_t i, TColor c) {
  if (TVXVObject* o = Object(i)) {
    o->BrushColor = c;
    Changed(i);
  }
}
TBrushStyle TVXVObjectStore::ObjBrushStyle(int32_t i) const {
  return Field(Object(i), &TVXVObject::BrushStyle);
}
void TVXVObjectStore::SetObjBrushStyle(int32_t i, TBrushStyle s) {
  if (TVXVObject* o = Object(i)) {
    o->BrushStyle = s;
    Changed(i);
  }
}
TVXVStyle TVXVObjectStore::ObjStyle(int32_t i) const {
  return Field(Object(i), &TVXVObject::Style);
}
void TVXVObjectStore::SetObjStyle(int32_t i, TVXVStyle s) {
  if (TVXVObject* o = Object(i)) {
    o->Style = s * kVXVStyleAll;
    Changed(i);
  }
}
TRect TVXVObjectStore::ObjRect(int32_t i) const {
  const TVXVObject* o = Object(i);
  return o ? TRect{o->Left, o->Top, o->Right, o->Bottom} : TRect{};
}
void TVXVObjectStore::SetObjRect(int32_t i, const TRect& r) {
  if (TVXVObject* o = Object(i)) {
    o->Left = r.left;
    o->Top = r.top;
    o->Right = r.right;
    o->Bottom = r.bottom;
    Changed(i);
  }
}
int32_t TVXVObjectStore::ObjLeft(int32_t i) const {
  return Field(Object(i), &TVXVObject::Left);
}
void TVXVObjectStore::SetObjLeft(int32_t i, int32_t v) {
  if (TVXVObject* o = Object(i)) {
    o->Right = static_cast<int32_t>(int64_t{o->Right} + v - o->Left);
    o->Left = v;
    Changed(i);
  }
}
int32_t TVXVObjectStore::ObjTop(int32_t i) const {
  return Field(Object(i), &TVXVObject::Top);
}
void TVXVObjectStore::SetObjTop(int32_t i, int32_t v) {
  if (TVXVObject* o = Object(i)) {
    o->Bottom = static_cast<int32_t>(int64_t{o->Bottom} + v - o->Top);
    o->Top = v;
    Changed(i);
  }
}
int32_t TVXVObjectStore::ObjWidth(int32_t i) const {
  const TVXVObject* o = Object(i);
  return o ? static_cast<int32_t>(int64_t{o->Right} - o->Left + 1) : 0;
}
void TVXVObjectStore::SetObjWidth(int32_t i, int32_t v) {
  if (TVXVObject* o = Object(i)) {
    o->Right = static_cast<int32_t>(int64_t{o->Left} + v - 1);
    Changed(i);
  }
}
int32_t TVXVObjectStore::ObjHeight(int32_t i) const {
  const TVXVObject* o = Object(i);
  return o ? static_cast<int32_t>(int64_t{o->Bottom} - o->Top + 1) : 0;
}
void TVXVObjectStore::SetObjHeight(int32_t i, int32_t v) {
  if (TVXVObject* o = Object(i)) {
    o->Bottom = static_cast<int32_t>(int64_t{o->Top} + v - 1);
    Changed(i);
  }
}
int32_t TVXVObjectStore::ObjID(int32_t i) const {
  return Field(Object(i), &TVXVObject::ID);
}
void TVXVObjectStore::SetObjID(int32_t i, int32_t v) {
  if (TVXVObject* o = Object(i)) {
    o->ID = v;
    Changed(i);
  }
}
std::string TVXVObjectStore::ObjName(int32_t i) const {
  const TVXVObject* o = Object(i);
  return o ? o->Name : std::string{};
}
void TVXVObjectStore::SetObjName(int32_t i, std::string_view v) {
  if (TVXVObject* o = Object(i)) {
    o->Name = v;
    Changed(i);
  }
}
std::string TVXVObjectStore::ObjText(int32_t i) const {
  const TVXVObject* o = Object(i);
  return o ? o->Text : std::string{};
}
void TVXVObjectStore::SetObjText(int32_t i, std::string_view v) {
  if (TVXVObject* o = Object(i)) {
    o->Text = v;
    Changed(i);
  }
}
uint8_t TVXVObjectStore::ObjTextAlign(int32_t i) const {
  return Field(Object(i), &TVXVObject::TextAlign);
}
void TVXVObjectStore::SetObjTextAlign(int32_t i, uint8_t v) {
  if (TVXVObject* o = Object(i)) {
    o->TextAlign = v;
    Changed(i);
  }
}
TVXShape TVXVObjectStore::ObjBeginShape(int32_t i) const {
  return Field(Object(i), &TVXVObject::BeginShape);
}
void TVXVObjectStore::SetObjBeginShape(int32_t i, TVXShape v) {
  if (TVXVObject* o = Object(i)) {
    o->BeginShape = v;
    Changed(i);
  }
}
TVXShape TVXVObjectStore::ObjEndShape(int32_t i) const {
  return Field(Object(i), &TVXVObject::EndShape);
}
void TVXVObjectStore::SetObjEndShape(int32_t i, TVXShape v) {
  if (TVXVObject* o = Object(i)) {
    o->EndShape = v;
    Changed(i);
  }
}
int32_t TVXVObjectStore::ObjShapeWidth(int32_t i) const {
  return Field(Object(i), &TVXVObject::ShapeWidth);
}
void TVXVObjectStore::SetObjShapeWidth(int32_t i, int32_t v) {
  if (TVXVObject* o = Object(i)) {
    o->ShapeWidth = v;
    Changed(i);
  }
}
int32_t TVXVObjectStore::ObjShapeHeight(int32_t i) const {
  return Field(Object(i), &TVXVObject::ShapeHeight);
}
void TVXVObjectStore::SetObjShapeHeight(int32_t i, int32_t v) {
  if (TVXVObject* o = Object(i)) {
    o->ShapeHeight = v;
    Changed(i);
  }
}
double TVXVObjectStore::ObjArcBegin(int32_t i) const {
  return Field(Object(i), &TVXVObject::ArcBegin);
}
void TVXVObjectStore::SetObjArcBegin(int32_t i, double v) {
  if (TVXVObject* o = Object(i)) {
    o->ArcBegin = v;
    Changed(i);
  }
}
double TVXVObjectStore::ObjArcEnd(int32_t i) const {
  return Field(Object(i), &TVXVObject::ArcEnd);
}
void TVXVObjectStore::SetObjArcEnd(int32_t i, double v) {
  if (TVXVObject* o = Object(i)) {
    o->ArcEnd = v;
    Changed(i);
  }
}

const TVXLogFont* TVXVObjectStore::ObjFont(int32_t i) const {
  const TVXVObject* o = Object(i);
  return o && o->Font ? &*o->Font : nullptr;
}
double TVXVObjectStore::ObjFontAngle(int32_t i) const {
  const TVXLogFont* f = ObjFont(i);
  return f ? f->Escapement / 10.0 : 0.0;
}
void TVXVObjectStore::SetObjFontAngle(int32_t i, double degrees) {
  TVXVObject* o = Object(i);
  if (!o || !o->Font) return;
  o->Font->Escapement = ClampToInt32(degrees * 10);
  Changed(i);
}
int32_t TVXVObjectStore::ObjFontHeight(int32_t i) const {
  const TVXLogFont* f = ObjFont(i);
  return f ? f->Height : 0;
}
void TVXVObjectStore::SetObjFontHeight(int32_t i, int32_t v) {
  TVXVObject* o = Object(i);
  if (!o || !o->Font) return;
  o->Font->Height = v;
  Changed(i);
}
std::string TVXVObjectStore::ObjFontName(int32_t i) const {
  const TVXLogFont* f = ObjFont(i);
  return f ? f->FaceNameString() : std::string{};
}
void TVXVObjectStore::SetObjFontName(int32_t i, std::string_view v) {
  TVXVObject* o = Object(i);
  if (!o || !o->Font) return;
  o->Font->SetFaceName(v);
  Changed(i);
}
TFontStyles TVXVObjectStore::ObjFontStyles(int32_t i) const {
  const TVXLogFont* f = ObjFont(i);
  return f ? f->Styles() : TFontStyles{};
}
void TVXVObjectStore::SetObjFontStyles(int32_t i, TFontStyles v) {
  TVXVObject* o = Object(i);
  if (!o || !o->Font) return;
  o->Font->SetStyles(v);
  Changed(i);
}
void TVXVObjectStore::SetObjFont(int32_t i, const TVXLogFont& font, TColor color) {
  TVXVObject* o = Object(i);
  if (!o) return;
  o->Font = font;
  o->PenColor = color;
  Changed(i);
}

// ---- bitmaps ----

const TBitmap* TVXVObjectStore::ObjBitmap(int32_t i) const {
  const TVXVObject* o = Object(i);
  if (!o || o->BitmapIndex < 0 || static_cast<size_t>(o->BitmapIndex) >= bitmaps_.size())
    return nullptr;
  return bitmaps_[static_cast<size_t>(o->BitmapIndex)].Bitmap.get();
}

void TVXVObjectStore::ReleaseBitmap(TVXVObject& o) {
  const int32_t e = o.BitmapIndex;
  o.BitmapIndex = -1;
  if (e < 0 || static_cast<size_t>(e) >= bitmaps_.size()) return;
  TVXVBitmapEntry& entry = bitmaps_[static_cast<size_t>(e)];
  if (entry.RefCount <= 0) return;
  if (--entry.RefCount == 0) entry.Bitmap.reset();
}

namespace {

int32_t FreeEntry(std::vector<TVXVBitmapEntry>& table) {
  for (size_t k = 0; k < table.size(); ++k)
    if (table[k].RefCount <= 0 && !table[k].Bitmap) return static_cast<int32_t>(k);
  table.emplace_back();
  return static_cast<int32_t>(table.size() - 1);
}

}  // namespace

int32_t TVXVObjectStore::StoreBitmap(const TBitmap& bitmap) {
  if (shareBitmaps_) {
    for (size_t k = 0; k < bitmaps_.size(); ++k) {
      TVXVBitmapEntry& e = bitmaps_[k];
      if (e.RefCount > 0 && e.Bitmap && BitmapCompareX(*e.Bitmap, bitmap)) {
        ++e.RefCount;
        return static_cast<int32_t>(k);
      }
    }
  }
  auto copy = std::make_unique<TBitmap>(bitmap);
  const int32_t k = FreeEntry(bitmaps_);
  bitmaps_[static_cast<size_t>(k)].Bitmap = std::move(copy);
  bitmaps_[static_cast<size_t>(k)].RefCount = 1;
  return k;
}

int32_t TVXVObjectStore::ShareBitmapEntry(int32_t entry) {
  if (entry < 0 || static_cast<size_t>(entry) >= bitmaps_.size()) return -1;
  TVXVBitmapEntry& e = bitmaps_[static_cast<size_t>(entry)];
  if (!e.Bitmap) return -1;
  if (shareBitmaps_) {
    ++e.RefCount;
    return entry;
  }
  auto copy = std::make_unique<TBitmap>(*e.Bitmap);
  const int32_t k = FreeEntry(bitmaps_);
  bitmaps_[static_cast<size_t>(k)].Bitmap = std::move(copy);
  bitmaps_[static_cast<size_t>(k)].RefCount = 1;
  return k;
}

void TVXVObjectStore::SetObjBitmap(int32_t i, const TBitmap* bitmap) {
  TVXVObject* o = Object(i);
  if (!o || o == &root_) return;  // the root frame is never drawn as a picture
  // Storing the object's own bitmap again changes nothing (and must not free it first).
  if (bitmap && bitmap == ObjBitmap(i)) return;
  ReleaseBitmap(*o);
  if (bitmap) o->BitmapIndex = StoreBitmap(*bitmap);
  Changed(i);
}

void TVXVObjectStore::CompactBitmaps() {
  std::vector<int32_t> renumber(bitmaps_.size(), -1);
  std::vector<TVXVBitmapEntry> kept;
  for (size_t k = 0; k < bitmaps_.size(); ++k) {
    if (bitmaps_[k].RefCount <= 0 || !bitmaps_[k].Bitmap) continue;
    renumber[k] = static_cast<int32_t>(kept.size());
    kept.push_back(std::move(bitmaps_[k]));
  }
  bitmaps_ = std::move(kept);
  auto apply = [&](TVXVObject& o) {
    if (o.BitmapIndex >= 0 && static_cast<size_t>(o.BitmapIndex) < renumber.size())
      o.BitmapIndex = renumber[static_cast<size_t>(o.BitmapIndex)];
    else
      o.BitmapIndex = -1;
  };
  for (int32_t s = 0; s < slotCount_; ++s) apply(*Slot(s));
  apply(template_);
  apply(root_);
}

// ---- units ----

void TVXVObjectStore::RecomputeCoefs() {
  coefX_ = UnitsPerPixel(munit_, dpiX_) * scale_;
  coefY_ = UnitsPerPixel(munit_, dpiY_) * scale_;
}

void TVXVObjectStore::SetMUnit(TVXUnits u) {
  if (static_cast<int>(u) < 0 || static_cast<int>(u) >= kVXUnitCount) return;
  munit_ = u;
  RecomputeCoefs();
}

void TVXVObjectStore::SetScale(double s) {
  if (!std::isfinite(s)) return;
  scale_ = s;
  RecomputeCoefs();
}

void TVXVObjectStore::SetDPI(int dpiX, int dpiY) {
  dpiX_ = dpiX;
  dpiY_ = dpiY;
  RecomputeCoefs();
}

void TVXVObjectStore::SetScaleFromPixels(double pixels, double length) {
  // Units per pixel without the scale, i.e. CoefX / Scale, taken from the unit itself so
  // that a zero scale cannot divide by zero.
  const double base = UnitsPerPixel(munit_, dpiX_);
  if (!(pixels > 0) || !(length > 0) || !std::isfinite(length) || !(base > 0)) return;
  const double s = length / pixels / base;
  if (std::isfinite(s)) SetScale(s);
}

void TVXVObjectStore::SetScaleFromSelectionLen(double length,
                                               const std::function<double()>& selectionLength) {
  if (!selectionLength) return;
  const double cx = coefX_, cy = coefY_;
  coefX_ = coefY_ = 1;
  double measured = 0;
  try {
    measured = selectionLength();
  } catch (...) {
    coefX_ = cx;
    coefY_ = cy;
    throw;
  }
  coefX_ = cx;
  coefY_ = cy;
  if (!std::isfinite(measured)) return;
  SetScaleFromPixels(static_cast<double>(Trunc(std::clamp(measured, -1e18, 1e18))), length);
}

std::string TVXVObjectStore::MeasureText(double value, bool area) const {
  // to_chars: the same text whatever the process locale says about decimal points.
  char buf[400];
  const int digits = std::clamp(floatDigits_, 0, 18);
  const int precision = std::clamp(floatPrecision_, 1, 18);
  // Values with more integer digits than the precision allows read in exponent form, as
  // fixed notation would show digits that carry no information.
  const bool exponent = std::isfinite(value) && std::abs(value) >= std::pow(10.0, precision);
  const auto r =
      exponent ? std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific,
                               precision - 1)
               : std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, digits);
  std::string s(buf, r.ec == std::errc() ? r.ptr : buf);
  s += ' ';
  s += strunits[static_cast<int>(munit_)];
  if (area) s += "\u00B2";
  return s;
}

// ---- hit testing ----

double TVXVObjectStore::CalcDistPtObj(int32_t i, double x, double y) const {
  const TVXVObject* o = Object(i);
  return o ? vx::CalcDistPtObj(*o, x, y) : kVXVFarDistance;
}

namespace {

// No part of an object lies outside its box, so the distance to the box bounds the
// distance to the object from below.
double DistToBoxArea(const TRect& b, double x, double y) {
  const double dx = x < b.left ? b.left - x : x > b.right ? x - b.right : 0;
  const double dy = y < b.top ? b.top - y : y > b.bottom ? y - b.bottom : 0;
  return std::hypot(dx, dy);
}

}  // namespace

int32_t TVXVObjectStore::FindNearObj(int32_t frame, int x, int y, const TRect& visible) const {
  const int32_t rf = Resolve(frame);
  const TVXVObject* f = Object(rf);
  if (!f || !f->IsFrame()) return rf;
  double best = 1000000000;
  int32_t bestIndex = rf;
  for (size_t k = f->Children.size(); k-- > 0;) {
    const int32_t c = f->Children[k];
    const TVXVObject& o = *Slot(c);
    if (!o.Style.Contains(vxvsSelectable)) continue;
    const TRect box = o.OrderedBox();
    if (!BoxesMeet(box, visible)) continue;
    int32_t candidate = c;
    double d = 0;
    if (o.IsFrame()) {
      candidate = FindNearObj(c, x, y, visible);
      d = CalcDistPtObj(candidate, x, y);
    } else {
      if (DistToBoxArea(box, x, y) >= best) continue;
      d = vx::CalcDistPtObj(o, x, y);
    }
    if (d < best) {
      best = d;
      bestIndex = candidate;
    }
  }
  return bestIndex;
}

std::vector<int32_t> TVXVObjectStore::ObjectsInside(const TRect& rect) const {
  const TRect r{std::min(rect.left, rect.right), std::min(rect.top, rect.bottom),
                std::max(rect.left, rect.right), std::max(rect.top, rect.bottom)};
  std::vector<int32_t> found;
  // Tree order: a frame's children before the next sibling's, without recursion.
  struct Level {
    const TVXVObject* frame;
    size_t next;
  };
  std::vector<Level> stack{{&root_, 0}};
  while (!stack.empty()) {
    Level& top = stack.back();
    if (top.next >= top.frame->Children.size()) {
      stack.pop_back();
      continue;
    }
    const int32_t s = top.frame->Children[top.next++];
    const TVXVObject& o = *Slot(s);
    if (o.IsFrame()) {
      if (!o.Children.empty()) stack.push_back({&o, 0});
      continue;
    }
    if (!o.Style.Contains(vxvsSelectable)) continue;
    const TRect b = o.OrderedBox();
    if (b.left >= r.left && b.right <= r.right && b.top >= r.top && b.bottom <= r.bottom)
      found.push_back(s);
  }
  return found;
}

TRect VisibleImagePart(int viewX, int viewY, int extentX, int extentY, double zoom) {
  if (!(zoom > 0)) return {};
  auto t = [](double v) { return ClampToInt32(v); };
  const double x = viewX, y = viewY;
  return {t(x * 100.0 / zoom), t(100.0 / zoom * y), t(100.0 / zoom * (x + extentX)),
          t(100.0 / zoom * (y + extentY))};
}

}  // namespace vx
