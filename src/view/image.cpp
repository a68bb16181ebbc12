#include "view/image.h"

#include <QPainter>

#include "view/vantixview.h"

namespace vx {

TImage::TImage(QWidget* parent) : QWidget(parent), bitmap_(std::make_unique<TBitmap>()) {
  bitmap_->SetPixelFormat(pf24bit);
  bitmap_->OnChange = TNotifyEvent::Bind(this, &TImage::BitmapChanged);
}

TImage::~TImage() {
  bitmap_->OnChange = nullptr;
}

void TImage::BitmapChanged(TObject*) {
  ++changes_;
  update();
}

void TImage::SetStretch(bool v) {
  stretch_ = v;
  update();
}

void TImage::SetCenter(bool v) {
  center_ = v;
  update();
}

void TImage::paintEvent(QPaintEvent*) {
  QPainter p(this);
  std::unique_ptr<TBitmap> scratch;  // other formats than 24 and 1 bit are shown via a copy
  const QImage img = WrapBitmap(*bitmap_, &scratch);
  if (img.isNull()) return;
  if (stretch_) {
    p.drawImage(rect(), img);
  } else if (center_) {
    p.drawImage((width() - img.width()) / 2, (height() - img.height()) / 2, img);
  } else {
    p.drawImage(0, 0, img);
  }
}

}  // namespace vx
