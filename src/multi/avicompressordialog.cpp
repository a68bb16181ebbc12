#include "multi/avicompressordialog.h"

#include <algorithm>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vx {

TAVICompressorDialog::TAVICompressorDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Video Compression"));
  setObjectName("AVICompressorDialog");

  compressor_ = new QComboBox(this);
  compressor_->setObjectName("compressor");
  for (TAVICompressor c : AVICompressors())
    if (AVICompressorAvailable(c))
      compressor_->addItem(QString::fromUtf8(AVICompressorCaption(c)), static_cast<int>(c));

  quality_ = new QSpinBox(this);
  quality_->setObjectName("quality");
  quality_->setRange(1, 100);
  qualityLabel_ = new QLabel(tr("&Quality:"), this);
  qualityLabel_->setBuddy(quality_);

  bitRate_ = new QSpinBox(this);
  bitRate_->setObjectName("bitRate");
  bitRate_->setRange(1, 1000000);
  bitRate_->setSuffix(tr(" kbit/s"));
  bitRate_->setSingleStep(100);
  bitRateLabel_ = new QLabel(tr("&Data rate:"), this);
  bitRateLabel_->setBuddy(bitRate_);

  auto* form = new QFormLayout;
  form->addRow(tr("&Compressor:"), compressor_);
  form->addRow(qualityLabel_, quality_);
  form->addRow(bitRateLabel_, bitRate_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);

  connect(compressor_, &QComboBox::currentIndexChanged, this, [this] { UpdateSettings(); });
  SetOptions({});
}

void TAVICompressorDialog::SetOptions(const TAVICompressorOptions& options) {
  const int at = compressor_->findData(static_cast<int>(options.Compressor));
  compressor_->setCurrentIndex(at >= 0 ? at : 0);
  quality_->setValue(options.Quality);
  bitRate_->setValue(static_cast<int>(std::clamp<int64_t>(options.BitRate / 1000, 1, 1000000)));
  UpdateSettings();
}

TAVICompressorOptions TAVICompressorDialog::Options() const {
  TAVICompressorOptions options;
  if (compressor_->currentIndex() >= 0)
    options.Compressor = static_cast<TAVICompressor>(compressor_->currentData().toInt());
  options.Quality = quality_->value();
  options.BitRate = int64_t{bitRate_->value()} * 1000;
  return options;
}

void TAVICompressorDialog::UpdateSettings() {
  const TAVICompressor c = Options().Compressor;
  // Only the settings of the chosen compressor are offered.
  qualityLabel_->setVisible(c == aviMJPEG);
  quality_->setVisible(c == aviMJPEG);
  bitRateLabel_->setVisible(c == aviMPEG4);
  bitRate_->setVisible(c == aviMPEG4);
}

bool ChooseAVICompressor(TAVICompressorOptions& options, QWidget* parent) {
  TAVICompressorDialog dialog(parent);
  dialog.SetOptions(options);
  if (dialog.exec() != QDialog::Accepted) return false;
  options = dialog.Options();
  return true;
}

}  // namespace vx
