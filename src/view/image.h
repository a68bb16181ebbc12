#pragma once
// TImage: the plain picture control. It owns a bitmap and repaints whenever the
// bitmap is marked modified, so components attached to it only have to call
// SetModified(true) when they are done.
#include <QWidget>
#include <memory>

#include "platform/bitmap.h"
#include "platform/imagehost.h"

namespace vx {

class TImage : public QWidget, public IPictureHost {
  Q_OBJECT
  Q_PROPERTY(bool Stretch READ Stretch WRITE SetStretch)
  Q_PROPERTY(bool Center READ Center WRITE SetCenter)

 public:
  explicit TImage(QWidget* parent = nullptr);
  ~TImage() override;

  TBitmap* PictureBitmap() override { return bitmap_.get(); }
  TBitmap& Bitmap() { return *bitmap_; }

  bool Stretch() const { return stretch_; }
  void SetStretch(bool v);
  bool Center() const { return center_; }
  void SetCenter(bool v);
  // Number of times the bitmap told us it changed.
  int ChangeCount() const { return changes_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void BitmapChanged(TObject* sender);

  std::unique_ptr<TBitmap> bitmap_;
  bool stretch_ = false;
  bool center_ = false;
  int changes_ = 0;
};

}  // namespace vx
