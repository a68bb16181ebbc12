// TVantixProc: canvas resize, rotation, flips and cropping. All but CropSel work
// on the whole image.
#include "platform/canvas.h"
#include "proc/geometry.h"
#include "proc/vantixproc.h"

namespace vx {

void TVantixProc::ImageResize(int newWidth, int newHeight) {
  if (!bitmap_ || newWidth < 1 || newHeight < 1) return;
  const TColor background = Background();
  RunOnWhole(false, [&](TBitmap& b, TProgressRec&) {
    vx::ImageResize(b, newWidth, newHeight, background);
  });
}

void TVantixProc::Rotate(int angle, bool antialias) {
  const TRGB background = TColor2TRGB(Background());
  RunOnWhole(false,
             [&](TBitmap& b, TProgressRec& p) { vx::Rotate(b, angle, antialias, background, p); });
}

void TVantixProc::Flip(TFlipDir direction) {
  RunOnWhole(false, [&](TBitmap& b, TProgressRec&) { vx::Flip(b, direction); });
}

void TVantixProc::CropSel() {
  if (!bitmap_) return;
  if (autoUndo_) SaveUndo();
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  std::vector<TPoint> polygon;
  if (GetReSel(x1, y1, x2, y2, polygon) && x1 <= x2 && y1 <= y2) {
    TBitmap result;
    SizeBitmap(result, x2 - x1 + 1, y2 - y1 + 1, bitmap_->PixelFormat());
    result.SetPalette(bitmap_->Palette());
    if (NeedsPolygonPath(polygon)) {
      std::vector<TPoint> shifted = polygon;
      for (TPoint& p : shifted) {
        p.x -= x1;
        p.y -= y1;
      }
      result.Canvas().DrawClipped(-x1, -y1, *bitmap_, shifted);
    } else {
      result.Canvas().Draw(0, 0, *bitmap_, Rect(x1, y1, x2 + 1, y2 + 1));
    }
    CopyBitmap(result, *bitmap_);
  }
  Update();
}

}  // namespace vx
