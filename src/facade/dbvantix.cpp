#include "facade/dbvantix.h"

#include <QMouseEvent>

#include "platform/stream.h"

namespace vx {

namespace {

bool Writable(int fileType) {
  switch (fileType) {
    case ioTIFF:
    case ioGIF:
    case ioJPEG:
    case ioPCX:
    case ioBMP:
    case ioPNG:
      return true;
    default:
      return false;
  }
}

}  // namespace

TVantixDBView::TVantixDBView(QWidget* parent)
    : TVantix(parent),
      value_(QMetaType::fromType<QByteArray>()),
      dataFormat_(ioPNG),
      readFormat_(ioUnknown) {
  Blank();
}

TVantixDBView::~TVantixDBView() = default;

void TVantixDBView::SetDataFormat(int fileType) {
  if (fileType != ioUnknown && !Writable(fileType)) return;
  if (fileType == dataFormat_) return;
  dataFormat_ = fileType;
  encodedValid_ = false;
  if (modified_) emit imageDataChanged();
}

int TVantixDBView::WriteFormat() const {
  if (dataFormat_ != ioUnknown) return dataFormat_;
  return Writable(readFormat_) ? readFormat_ : ioPNG;
}

void TVantixDBView::SetReadOnly(bool v) {
  if (v == readOnly_) return;
  readOnly_ = v;
  // An edit made before the field became read-only is not written either.
  if (modified_) emit imageDataChanged();
}

void TVantixDBView::SetAutoDisplay(bool v) {
  if (v == autoDisplay_) return;
  autoDisplay_ = v;
  if (autoDisplay_ && !pictureLoaded_) ShowBytes();
}

void TVantixDBView::SetModified(bool v) {
  if (v && readOnly_) return;
  if (v == modified_ && !v) return;
  modified_ = v;
  encodedValid_ = false;
  emit imageDataChanged();
}

// The edited image in WriteFormat, encoded once per change; empty when it cannot be.
QByteArray TVantixDBView::imageData() const {
  if (!modified_ || readOnly_) return bytes_;
  if (!encodedValid_) {
    encoded_ = Encode();
    encodedValid_ = true;
  }
  return encoded_.isEmpty() ? bytes_ : encoded_;
}

QVariant TVantixDBView::ImageDataValue() const {
  if (!modified_ || readOnly_) return value_;
  const QByteArray bytes = imageData();
  return encoded_.isEmpty() ? value_ : QVariant(bytes);
}

void TVantixDBView::SetImageDataValue(const QVariant& value) {
  value_ = value;
  bytes_ = value.isNull() ? QByteArray() : value.toByteArray();
  encoded_.clear();
  encodedValid_ = false;
  modified_ = false;
  pictureLoaded_ = false;
  pictureValid_ = false;
  readFormat_ = ioUnknown;
  if (autoDisplay_) {
    ShowBytes();
  } else {
    loading_ = true;
    Blank();
    loading_ = false;
  }
  emit imageDataChanged();
}

void TVantixDBView::LoadPicture() {
  if (!pictureLoaded_) ShowBytes();
}

// Decodes the held bytes into the view; anything that does not decode leaves a blank
// image, never a half-read one.
void TVantixDBView::ShowBytes() {
  loading_ = true;
  pictureLoaded_ = true;
  pictureValid_ = false;
  readFormat_ = ioUnknown;
  if (!bytes_.isEmpty()) {
    TMemoryStream stream;
    stream.WriteBuffer(bytes_.constData(), bytes_.size());
    stream.SetPosition(0);
    try {
      IO().LoadFromStream(stream);
      pictureValid_ = !Aborting() && Bitmap().Width() > 0 && Bitmap().Height() > 0;
    } catch (const std::exception&) {
      pictureValid_ = false;
    }
    if (pictureValid_) readFormat_ = IOParams().FileType;
  }
  if (!pictureValid_) Blank();
  // The undo copy belongs to the previous record.
  Proc().ClearUndo();
  loading_ = false;
}

// The image in WriteFormat, through a component of its own so that the view's
// Aborting and LastError stay those of the last load; the view's parameters steer it.
QByteArray TVantixDBView::Encode() const {
  auto& self = const_cast<TVantixDBView&>(*this);
  TVantixIO writer;
  writer.AssignParams(&IO());
  writer.SetAttachedBitmap(&self.Bitmap());
  TMemoryStream stream;
  try {
    writer.SaveToStream(stream, WriteFormat());
  } catch (const std::exception&) {
    return {};
  }
  if (writer.Aborting() || stream.Size() <= 0) return {};
  return QByteArray(reinterpret_cast<const char*>(stream.Memory()),
                    static_cast<qsizetype>(stream.Size()));
}

void TVantixDBView::ImageChange() {
  TVantix::ImageChange();
  // An edit of the placeholder shown while AutoDisplay waits is not the field's image:
  // writing it back would replace a picture nobody has seen.
  if (loading_ || readOnly_ || !pictureLoaded_) return;
  SetModified(true);
}

void TVantixDBView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (!pictureLoaded_) {
    LoadPicture();
    event->accept();
    return;
  }
  TVantix::mouseDoubleClickEvent(event);
}

}  // namespace vx
