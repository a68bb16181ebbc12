#pragma once
// The compressor chooser shown before an AVI is written interactively: a list of the
// compressors this library writes, with the quality of Motion JPEG and the bit rate of
// MPEG-4.
#include <QDialog>

#include "multi/avifile.h"

class QComboBox;
class QLabel;
class QSpinBox;

namespace vx {

class TAVICompressorDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TAVICompressorDialog(QWidget* parent = nullptr);

  // Shows options (an unavailable compressor falls back to the first one listed).
  void SetOptions(const TAVICompressorOptions& options);
  // What the controls hold now.
  TAVICompressorOptions Options() const;

 private:
  void UpdateSettings();

  QComboBox* compressor_ = nullptr;
  QLabel* qualityLabel_ = nullptr;
  QSpinBox* quality_ = nullptr;
  QLabel* bitRateLabel_ = nullptr;
  QSpinBox* bitRate_ = nullptr;  // kbit/s
};

// Shows the chooser modally, starting from options. True with options changed when the
// user pressed OK; false (options untouched) when the user cancelled, which ends the save
// with an empty file (TAVIWriter::Cancel).
bool ChooseAVICompressor(TAVICompressorOptions& options, QWidget* parent = nullptr);

}  // namespace vx
