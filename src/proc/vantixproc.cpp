// TVantixProc: attachment, selection, undo, the operation template's polygon
// path, the clipboard and clearing.
#include "proc/vantixproc.h"

#include <algorithm>
#include <utility>

#include "platform/canvas.h"
#include "platform/clipboard.h"
#include "platform/imagehost.h"

namespace vx {

namespace {

// An axis-aligned rectangle given as four vertices: the edges, starting with
// the closing one, alternate strictly between vertical and horizontal.
bool IsRectanglePolygon(const std::vector<TPoint>& p) {
  if (p.size() != 4) return false;
  // 1 vertical, 2 horizontal, 0 neither; edge i runs from vertex i - 1 to
  // vertex i.
  int kinds[4];
  for (int i = 0; i < 4; ++i) {
    const TPoint& a = p[(i + 3) % 4];
    const TPoint& b = p[i];
    kinds[i] = (a.x == b.x && a.y != b.y) ? 1 : (a.y == b.y && a.x != b.x) ? 2 : 0;
    if (kinds[i] == 0 || (i > 0 && kinds[i] == kinds[i - 1])) return false;
  }
  return true;
}

// Copy of the inclusive rectangle, also when it starts at column or row 0 and
// is one pixel wide or high (CopyBitmapRect reads a 0 there as "to the end").
void CopyRegion(const TBitmap& source, TBitmap& dest, int x1, int y1, int x2, int y2) {
  if (x2 > 0 && y2 > 0) {
    CopyBitmapRect(source, dest, x1, y1, x2, y2);
    return;
  }
  SizeBitmap(dest, x2 - x1 + 1, y2 - y1 + 1, source.PixelFormat());
  dest.SetPalette(source.Palette());
  dest.Canvas().Draw(0, 0, source, Rect(x1, y1, x2 + 1, y2 + 1));
}

}  // namespace

TVantixProc::TVantixProc(TComponent* owner)
    : TComponent(owner),
      TImageAttachment(static_cast<TFreeNotifier&>(*this)),
      undo_(std::make_unique<TBitmap>()) {}

TVantixProc::~TVantixProc() = default;

// ---- attachment ----

void TVantixProc::Notification(TFreeNotifier* object, TOperation operation) {
  TComponent::Notification(object, operation);
  AttachmentNotification(object, operation);
}

TProgressRec TVantixProc::MakeProgress() {
  TProgressRec progress;
  progress.ProgressEvent = OnProgress;
  progress.Sender = this;
  return progress;
}

// ---- selection ----

void TVantixProc::Select(int x1, int y1, int x2, int y2) {
  selX1_ = x1;
  selY1_ = y1;
  selX2_ = x2;
  selY2_ = y2;
  if (!view_) return;
  if (x1 >= 0)
    view_->SelectBitmapRect(x1, y1, x2, y2);
  else
    view_->DeSelect();
}

void TVantixProc::SelectAll() {
  selX1_ = selY1_ = selX2_ = selY2_ = -1;
  if (view_) view_->DeSelect();
}

bool TVantixProc::GetReSel(int& x1, int& y1, int& x2, int& y2, std::vector<TPoint>& polygon) {
  polygon.clear();
  const int w = bitmap_ ? bitmap_->Width() : 0;
  const int h = bitmap_ ? bitmap_->Height() : 0;
  // A view that reports a selection has one, wherever it lies; the own
  // selection uses x1 = -1 for none.
  bool has = false;
  if (view_) {
    const TSelectionKind kind = view_->SelectionKind();
    if (kind != skNone) {
      const TRect r = view_->SelectionRect();
      x1 = r.left;
      y1 = r.top;
      x2 = r.right;
      y2 = r.bottom;
      if (kind == skPolygon) polygon = view_->SelectionPolygon();
      has = true;
    }
  } else if (selX1_ >= 0) {
    x1 = selX1_;
    y1 = selY1_;
    x2 = selX2_;
    y2 = selY2_;
    has = true;
  }
  if (!has) {
    x1 = 0;
    y1 = 0;
    x2 = w - 1;
    y2 = h - 1;
    return false;
  }
  OrdCor(x1, y1, x2, y2);
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, w - 1);
  y2 = std::min(y2, h - 1);
  return true;
}

int TVantixProc::GetSelX1() {
  int x1, y1, x2, y2;
  std::vector<TPoint> p;
  GetReSel(x1, y1, x2, y2, p);
  return x1;
}
int TVantixProc::GetSelY1() {
  int x1, y1, x2, y2;
  std::vector<TPoint> p;
  GetReSel(x1, y1, x2, y2, p);
  return y1;
}
int TVantixProc::GetSelX2() {
  int x1, y1, x2, y2;
  std::vector<TPoint> p;
  GetReSel(x1, y1, x2, y2, p);
  return x2;
}
int TVantixProc::GetSelY2() {
  int x1, y1, x2, y2;
  std::vector<TPoint> p;
  GetReSel(x1, y1, x2, y2, p);
  return y2;
}

bool TVantixProc::NeedsPolygonPath(const std::vector<TPoint>& polygon) {
  return !polygon.empty() && !IsRectanglePolygon(polygon);
}

void TVantixProc::RunPolygon(int x1, int y1, int x2, int y2, const std::vector<TPoint>& polygon,
                             const TMethod<TBitmap&, int, int, int, int>& worker) {
  TBitmap box;
  CopyRegion(*bitmap_, box, x1, y1, x2, y2);
  worker(box, 0, 0, box.Width() - 1, box.Height() - 1);
  CopyPolygonBitmap(box, *bitmap_, x1, y1, polygon);
}

// ---- undo ----

void TVantixProc::SaveUndo() {
  if (!bitmap_) return;
  undoOf_ = bitmap_;
  // Copied over the previous undo image: of the same shape, its block is reused.
  if (bitmap_->Width() > 0 && bitmap_->Height() > 0)
    CopyBitmap(*bitmap_, *undo_);
  else
    ClearUndo();
}

void TVantixProc::Undo() {
  if (!bitmap_ || !CanUndo()) return;
  CopyBitmap(*undo_, *bitmap_);
  Update();
}

void TVantixProc::ClearUndo() {
  undo_->SetSize(1, 1);
}

bool TVantixProc::CanUndo() const {
  return undo_->Width() > 1 && undo_->Height() > 1 && undoOf_ == bitmap_;
}

namespace {
TPreviewDialogFactory gPreviewDialogFactory = nullptr;
}  // namespace

TPreviewDialogFactory RegisterPreviewDialog(TPreviewDialogFactory factory) {
  return std::exchange(gPreviewDialogFactory, factory);
}

TPreviewDialogFactory PreviewDialogFactory() {
  return gPreviewDialogFactory;
}

bool TVantixProc::DoPreviews(TPreviewEffects effects) {
  const TPreviewDialogFactory factory = gPreviewDialogFactory;
  if (!factory || !bitmap_ || bitmap_->PixelFormat() != pf24bit || bitmap_->Width() < 2 ||
      bitmap_->Height() < 2)
    return false;
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  std::vector<TPoint> polygon;
  const bool selected = GetReSel(x1, y1, x2, y2, polygon);
  if (x1 > x2 || y1 > y2) return false;
  TBitmap region;
  CopyRegion(*bitmap_, region, x1, y1, x2, y2);

  TPreviewSetup setup;
  setup.Effects = effects;
  setup.DefaultLockPreview = previewsParams_.Contains(prppDefaultLockPreview);
  setup.Language = msgLanguage_;
  setup.Font = &previewFont_;
  setup.OnProgress = OnProgress;
  setup.Sender = this;
  const std::unique_ptr<IPreviewDialog> dialog = factory(region, setup);
  if (!dialog) return false;
  OnPreview(this, dialog->Form());
  if (!dialog->Execute()) return false;
  const TBitmap& result = dialog->Image();
  if (result.Empty()) return false;

  // The target may have been replaced or detached while the dialog ran.
  if (!bitmap_) return false;
  if (autoUndo_) SaveUndo();
  if (!selected) {
    // The whole image was processed: it takes the result's size (a rotation
    // grows it).
    CopyBitmap(result, *bitmap_);
  } else if (!NeedsPolygonPath(polygon)) {
    // Only the selected part goes back; the rest of the image keeps its size
    // and pixels, and a result larger than the selection is clipped.
    bitmap_->Canvas().Draw(x1, y1, result);
  } else {
    CopyPolygonBitmap(result, *bitmap_, x1, y1, polygon);
  }
  Update();
  return true;
}

// ---- clipboard ----

bool TVantixProc::ClipboardBitmap(TBitmap& bitmap) {
  TClipboard& clip = Clipboard();
  if (!clip.HasDIB()) return false;
  const std::vector<uint8_t> dib = clip.GetDIB();
  return !dib.empty() && CopyDIB2Bitmap(dib, bitmap) != 0 && !bitmap.Empty();
}

void TVantixProc::CopyToClipboard() {
  if (!bitmap_ || bitmap_->Empty()) return;
  std::vector<uint8_t> dib = CopyBitmaptoDIB(*bitmap_);
  Clipboard().Clear();
  Clipboard().SetDIB(dib);
}

void TVantixProc::PasteFromClipboard() {
  if (!bitmap_) return;
  TBitmap pasted;
  if (!ClipboardBitmap(pasted)) return;
  if (autoUndo_) SaveUndo();
  CopyBitmap(pasted, *bitmap_);
  Update();
}

void TVantixProc::PointPasteFromClip(int x, int y) {
  if (!bitmap_) return;
  TBitmap pasted;
  if (!ClipboardBitmap(pasted)) return;
  if (autoUndo_) SaveUndo();
  // A view is given a point of its client area: paste at the pixel shown there.
  if (view_) {
    const TPoint at = view_->ClientToBitmap(x, y);
    x = at.x;
    y = at.y;
  }
  bitmap_->Canvas().Draw(x, y, pasted);
  Update();
}

void TVantixProc::SelPasteFromClipStretch() {
  if (!bitmap_) return;
  int x1, y1, x2, y2;
  std::vector<TPoint> polygon;
  if (!GetReSel(x1, y1, x2, y2, polygon)) {
    PasteFromClipboard();
    return;
  }
  if (x1 > x2 || y1 > y2) return;
  TBitmap pasted;
  if (!ClipboardBitmap(pasted)) return;
  if (autoUndo_) SaveUndo();
  bitmap_->Canvas().StretchDraw(Rect(x1, y1, x2 + 1, y2 + 1), pasted);
  Update();
}

void TVantixProc::SelCopyToClip() {
  if (!bitmap_ || bitmap_->Empty()) return;
  int x1, y1, x2, y2;
  std::vector<TPoint> polygon;
  if (!GetReSel(x1, y1, x2, y2, polygon)) {
    CopyToClipboard();
    return;
  }
  if (x1 > x2 || y1 > y2) return;
  TBitmap part;
  if (!NeedsPolygonPath(polygon))
    CopyRegion(*bitmap_, part, x1, y1, x2, y2);
  else
    CopyBitmapPoly(*bitmap_, part, x1, y1, x2, y2, polygon);
  std::vector<uint8_t> dib = CopyBitmaptoDIB(part);
  Clipboard().Clear();
  Clipboard().SetDIB(dib);
}

void TVantixProc::FillSelection() {
  int x1, y1, x2, y2;
  std::vector<TPoint> polygon;
  GetReSel(x1, y1, x2, y2, polygon);
  TCanvas& canvas = bitmap_->Canvas();
  canvas.Brush().Color = Background();
  canvas.Brush().Style = bsSolid;
  if (NeedsPolygonPath(polygon))
    canvas.Polygon(polygon);
  else
    canvas.FillRect(Rect(x1, y1, x2 + 1, y2 + 1));
}

void TVantixProc::SelCutToClip() {
  if (!bitmap_) return;
  int x1, y1, x2, y2;
  std::vector<TPoint> polygon;
  if (!GetReSel(x1, y1, x2, y2, polygon)) return;
  if (autoUndo_) SaveUndo();
  SelCopyToClip();
  FillSelection();
  Update();
}

void TVantixProc::Clear() {
  if (!bitmap_) return;
  if (autoUndo_) SaveUndo();
  TCanvas& canvas = bitmap_->Canvas();
  canvas.Brush().Color = Background();
  canvas.Brush().Style = bsSolid;
  canvas.FillRect(Rect(0, 0, bitmap_->Width(), bitmap_->Height()));
  Update();
}

void TVantixProc::ClearSel() {
  if (!bitmap_) return;
  if (autoUndo_) SaveUndo();
  FillSelection();
  Update();
}

}  // namespace vx
