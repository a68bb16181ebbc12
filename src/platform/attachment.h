#pragma once
// What a non-visual component works on: the bitmap of an attached view, of an
// attached picture control, or a bare bitmap. Both the input/output and the
// processing components attach this way, so the rules live here once: attaching one
// kind drops the others, a view's bitmap replacement is followed, and when the view or
// picture control is destroyed, or detached (nullptr), its bitmap is forgotten with it and
// never touched again.
#include "platform/imagehost.h"
#include "platform/object.h"
#include "platform/types.h"

namespace vx {

class TBitmap;

class TImageAttachment {
 public:
  IImageHost* AttachedVantix() const { return view_; }
  // nullptr detaches the view and drops its bitmap; an attached picture control stays.
  void SetAttachedVantix(IImageHost* view);
  IPictureHost* AttachedTImage() const { return picture_; }
  // Detaches any view as well; nullptr detaches the picture control (and any view) and
  // drops its bitmap. A bare bitmap stays attached either way.
  void SetAttachedTImage(IPictureHost* picture);
  // nullptr is ignored while a view or picture control is attached.
  void SetAttachedBitmap(TBitmap* bitmap);

  // The attached view's background, or the component's own.
  TColor Background() const;
  void SetBackground(TColor c);

  // With a view: its Update and ImageChange; otherwise marks the bitmap modified.
  void Update();

 protected:
  // self receives the destruction notices; the component passes itself.
  explicit TImageAttachment(TFreeNotifier& self) : self_(self) {}
  ~TImageAttachment();
  TImageAttachment(const TImageAttachment&) = delete;
  TImageAttachment& operator=(const TImageAttachment&) = delete;

  // To be called from the component's Notification.
  void AttachmentNotification(TFreeNotifier* object, TOperation operation);

  TBitmap* bitmap_ = nullptr;
  IImageHost* view_ = nullptr;
  IPictureHost* picture_ = nullptr;
  TColor background_ = 0;

 private:
  void OnViewBitmapChange(TObject* sender);
  void DetachView();
  void DetachPicture();

  TFreeNotifier& self_;
};

}  // namespace vx
