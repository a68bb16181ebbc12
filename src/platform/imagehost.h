#pragma once
// What the non-visual components see of a display control. A view implements
// IImageHost; a plain picture control implements IPictureHost. Both send a
// destruction notice (TFreeNotifier) so that attached components drop their pointers.
#include <vector>

#include "platform/event.h"
#include "platform/object.h"
#include "platform/types.h"

namespace vx {

class TBitmap;

enum class TSelectionKind { skNone, skRectangle, skPolygon };
using enum TSelectionKind;

class IImageHost : public TFreeNotifier {
 public:
  // The bitmap currently shown (may change when the host replaces it).
  virtual TBitmap* GetFBitmap() = 0;
  // Recompute layout and repaint.
  virtual void Update() = 0;
  // The pixels of the current bitmap changed.
  virtual void ImageChange() = 0;
  virtual void SetDPI(int dpiX, int dpiY) = 0;
  virtual int DpiX() const = 0;
  virtual int DpiY() const = 0;
  virtual TColor Background() const = 0;
  virtual void SetBackground(TColor c) = 0;

  // Handlers called whenever the host replaces its bitmap object. Removal is by
  // (routine, object) identity.
  virtual void RegisterBitmapChangeEvent(const TNotifyEvent& handler) = 0;
  virtual void RemoveBitmapChangeEvent(const TNotifyEvent& handler) = 0;

  // The bitmap pixel under client point (x, y) of the control. A host that shows its
  // bitmap unzoomed at its top-left corner returns the point unchanged.
  virtual TPoint ClientToBitmap(int x, int y) const = 0;

  // The current selection in bitmap coordinates. The rectangle is inclusive
  // (x1, y1)-(x2, y2) packed as left, top, right, bottom.
  virtual TSelectionKind SelectionKind() const = 0;
  virtual TRect SelectionRect() const = 0;
  virtual std::vector<TPoint> SelectionPolygon() const = 0;

  // Selects the inclusive rectangle (x1, y1)-(x2, y2) in bitmap coordinates, and removes
  // the selection. Hosts that have no selections of their own ignore both.
  virtual void SelectBitmapRect(int /*x1*/, int /*y1*/, int /*x2*/, int /*y2*/) {}
  virtual void DeSelect() {}
};

class IPictureHost : public TFreeNotifier {
 public:
  // The bitmap of the control's picture; marking it modified repaints the control.
  virtual TBitmap* PictureBitmap() = 0;
};

}  // namespace vx
