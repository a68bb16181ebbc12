#pragma once
// TVantixDBView: a TVantix whose image is the contents of a database field. The
// field's value comes and goes through the imageData property, the widget's user
// property, so QDataWidgetMapper (or any item delegate) binds it to a BLOB column of a
// Qt SQL model without further glue:
//
//   mapper->addMapping(view, model->fieldIndex("picture"));
//
// The bytes are read by content, in any format the library reads. Empty, NULL or
// unreadable fields show a blank image and are handed back exactly as they came, so a
// record the view cannot show is never changed by it. Once the image is edited
// (processing, paste, a load, anything that reports an image change) the view is
// Modified and imageData is the image written in DataFormat; until then it is exactly
// the value it was given.
//
// The property is a QVariant holding a QByteArray, not a QByteArray: SQL models hand a
// NULL field over as a null value of the column's type (a null QString for SQLite),
// which Qt cannot convert into a QByteArray property. A QByteArray property would then
// silently keep the previous record's picture, and the mapper would write it into
// the NULL record on the next submit.
#include <QByteArray>
#include <QVariant>

#include "facade/vantix.h"

namespace vx {

class TVantixDBView : public TVantix {
  Q_OBJECT
  Q_PROPERTY(QVariant imageData READ ImageDataValue WRITE SetImageDataValue NOTIFY imageDataChanged
                 USER true DESIGNABLE false)
  Q_PROPERTY(int DataFormat READ DataFormat WRITE SetDataFormat)
  Q_PROPERTY(bool ReadOnly READ ReadOnly WRITE SetReadOnly)
  Q_PROPERTY(bool AutoDisplay READ AutoDisplay WRITE SetAutoDisplay)
  Q_PROPERTY(bool Modified READ Modified WRITE SetModified DESIGNABLE false)

 public:
  explicit TVantixDBView(QWidget* parent = nullptr);
  ~TVantixDBView() override;

  // The field's value: what was set while the image is unchanged (or ReadOnly),
  // otherwise the edited image encoded in DataFormat. Should that encoding fail, the
  // value that was set is returned, so the record keeps what it had.
  QVariant ImageDataValue() const;
  // Any value: its bytes (a QByteArray, or what the value converts to) are shown; a
  // null or invalid value is an empty field.
  void SetImageDataValue(const QVariant& value);
  // The same as bytes.
  QByteArray imageData() const;
  void setImageData(const QByteArray& bytes) { SetImageDataValue(QVariant(bytes)); }

  // The file type written back (ioTIFF … ioPNG). ioUnknown writes in the format the
  // field was read in, or PNG where that format cannot be written (icons, cursors,
  // registered formats, a blank field). Default ioPNG.
  int DataFormat() const { return dataFormat_; }
  void SetDataFormat(int fileType);
  // The file type of the bytes shown (ioUnknown for a blank field).
  int ReadFormat() const { return readFormat_; }
  // The type imageData writes when the image was edited.
  int WriteFormat() const;

  // Never writes back: edits still show, imageData stays what was set.
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool v);

  // When false, new field bytes are kept but not decoded until LoadPicture (or a
  // double click) asks for them: browsing a table of large images stays quick.
  bool AutoDisplay() const { return autoDisplay_; }
  void SetAutoDisplay(bool v);
  void LoadPicture();
  // Whether the bytes held are the ones shown (false while AutoDisplay waits).
  bool PictureLoaded() const { return pictureLoaded_; }
  // Whether the bytes held decoded to an image (false for an empty or unreadable field).
  bool PictureValid() const { return pictureValid_; }

  // Set by every image change while not ReadOnly; cleared by setImageData. An
  // application that changes pixels behind the view's back sets it itself.
  bool Modified() const { return modified_; }
  void SetModified(bool v);

  void ImageChange() override;

 signals:
  void imageDataChanged();

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void ShowBytes();
  QByteArray Encode() const;

  QVariant value_;    // as it was set
  QByteArray bytes_;  // its bytes
  mutable QByteArray encoded_;
  mutable bool encodedValid_ = false;
  int dataFormat_;
  int readFormat_;
  bool readOnly_ = false;
  bool autoDisplay_ = true;
  bool pictureLoaded_ = true;  // a new view shows its (empty) field
  bool pictureValid_ = false;
  bool modified_ = false;
  bool loading_ = false;
};

}  // namespace vx
