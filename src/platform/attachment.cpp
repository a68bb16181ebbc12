#include "platform/attachment.h"

#include "platform/bitmap.h"

namespace vx {

TImageAttachment::~TImageAttachment() {
  DetachView();
}

void TImageAttachment::OnViewBitmapChange(TObject*) {
  if (view_) bitmap_ = view_->GetFBitmap();
}

// Detaching also drops the control's bitmap: once the destruction notice is withdrawn
// nothing would tell us when that bitmap goes away.
void TImageAttachment::DetachView() {
  if (!view_) return;
  view_->RemoveBitmapChangeEvent(TNotifyEvent::Bind(this, &TImageAttachment::OnViewBitmapChange));
  view_->RemoveFreeNotification(&self_);
  view_ = nullptr;
  bitmap_ = nullptr;
}

void TImageAttachment::DetachPicture() {
  if (!picture_) return;
  picture_->RemoveFreeNotification(&self_);
  picture_ = nullptr;
  bitmap_ = nullptr;
}

void TImageAttachment::SetAttachedVantix(IImageHost* view) {
  DetachView();
  view_ = view;
  if (!view_) return;
  DetachPicture();
  bitmap_ = view_->GetFBitmap();
  view_->FreeNotification(&self_);
  view_->RegisterBitmapChangeEvent(TNotifyEvent::Bind(this, &TImageAttachment::OnViewBitmapChange));
}

void TImageAttachment::SetAttachedTImage(IPictureHost* picture) {
  DetachView();
  DetachPicture();
  picture_ = picture;
  if (!picture_) return;
  bitmap_ = picture_->PictureBitmap();
  picture_->FreeNotification(&self_);
}

void TImageAttachment::SetAttachedBitmap(TBitmap* bitmap) {
  if (!bitmap && (view_ || picture_)) return;
  DetachView();
  DetachPicture();
  bitmap_ = bitmap;
}

void TImageAttachment::AttachmentNotification(TFreeNotifier* object, TOperation operation) {
  if (operation != opRemove) return;
  // The control is half destroyed: forget it and its bitmap without calling it.
  if (view_ && object == static_cast<TFreeNotifier*>(view_)) {
    view_ = nullptr;
    bitmap_ = nullptr;
  }
  if (picture_ && object == static_cast<TFreeNotifier*>(picture_)) {
    picture_ = nullptr;
    bitmap_ = nullptr;
  }
}

TColor TImageAttachment::Background() const {
  return view_ ? view_->Background() : background_;
}

void TImageAttachment::SetBackground(TColor c) {
  if (view_)
    view_->SetBackground(c);
  else
    background_ = c;
}

void TImageAttachment::Update() {
  if (view_) {
    view_->Update();
    view_->ImageChange();
  } else if (bitmap_) {
    bitmap_->SetModified(true);
  }
}

}  // namespace vx
