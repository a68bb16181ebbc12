#pragma once
// The Image > Resize dialog: a new size, with the aspect ratio kept or not, and how the
// pixels get there (one of the resampling filters, plain stretching, or a canvas
// resize that only crops or pads).
#include <QDialog>

#include "proc/resample.h"

class QCheckBox;
class QComboBox;
class QSpinBox;

namespace vxviewer {

struct TResizeRequest {
  int width = 0;
  int height = 0;
  // False: the canvas changes size, the picture is not scaled.
  bool resample = true;
  vx::TResampleFilter filter = vx::rfLanczos3;
};

class TResizeDialog : public QDialog {
  Q_OBJECT

 public:
  TResizeDialog(int width, int height, QWidget* parent = nullptr);
  TResizeRequest Request() const;

  QSpinBox* WidthBox() const { return width_; }
  QSpinBox* HeightBox() const { return height_; }
  QCheckBox* KeepAspectBox() const { return keepAspect_; }
  QComboBox* MethodBox() const { return method_; }

 private:
  void WidthChanged(int w);
  void HeightChanged(int h);

  int originalWidth_;
  int originalHeight_;
  bool syncing_ = false;
  QSpinBox* width_;
  QSpinBox* height_;
  QCheckBox* keepAspect_;
  QComboBox* method_;
};

}  // namespace vxviewer
