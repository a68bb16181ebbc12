#pragma once
// The four driver dialogs of the capture window as Qt dialogs: source (inputs and
// controls), format (pixel formats and sizes, and the test pattern's frame rate),
// display (scaling) and compression (the recording encoder). Each reads the connected
// driver when built and changes it only in Apply.
#include <QDialog>
#include <vector>

#include "acquire/capturewindow.h"

class QCheckBox;
class QComboBox;
class QSlider;
class QSpinBox;
class QWidget;

namespace vx {

// Makes the capture windows' dialog messages open these dialogs (modal).
void InstallCaptureDialogs();

class TCapSourceDialog : public QDialog {
 public:
  TCapSourceDialog(TCapHwnd window, QWidget* parent = nullptr);
  bool Apply();
  QComboBox* Inputs() const { return inputs_; }
  // One editor per control, in the driver's order (QSpinBox, QCheckBox or QComboBox).
  const std::vector<QWidget*>& ControlEditors() const { return editors_; }

 private:
  TCapHwnd window_;
  TCapSourceInfo info_;
  QComboBox* inputs_ = nullptr;
  std::vector<QWidget*> editors_;
};

class TCapFormatDialog : public QDialog {
 public:
  TCapFormatDialog(TCapHwnd window, QWidget* parent = nullptr);
  bool Apply();
  QComboBox* Formats() const { return formats_; }
  QComboBox* Sizes() const { return sizes_; }
  QSpinBox* FrameRate() const { return rate_; }

 private:
  void FillSizes();
  TCapHwnd window_;
  std::vector<TCapFormatOption> options_;
  QComboBox* formats_ = nullptr;
  QComboBox* sizes_ = nullptr;
  QSpinBox* rate_ = nullptr;
};

class TCapDisplayDialog : public QDialog {
 public:
  TCapDisplayDialog(TCapHwnd window, QWidget* parent = nullptr);
  bool Apply();
  QCheckBox* Scale() const { return scale_; }

 private:
  TCapHwnd window_;
  QCheckBox* scale_ = nullptr;
};

class TCapCompressionDialog : public QDialog {
 public:
  TCapCompressionDialog(TCapHwnd window, QWidget* parent = nullptr);
  bool Apply();
  QComboBox* Encoders() const { return encoders_; }
  QSlider* Quality() const { return quality_; }

 private:
  TCapHwnd window_;
  std::vector<TCapCompressor> compressors_;
  QComboBox* encoders_ = nullptr;
  QSlider* quality_ = nullptr;
};

}  // namespace vx
