#include "acquire/vxcapdialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vx {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

QFormLayout* MakeLayout(QDialog* dialog, const QString& title) {
  dialog->setWindowTitle(title);
  auto* outer = new QVBoxLayout(dialog);
  auto* form = new QFormLayout;
  outer->addLayout(form);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  outer->addWidget(buttons);
  return form;
}

QWidget* ActiveParent() {
  return QApplication::activeWindow();
}

template <class Dialog>
bool RunModal(TCapHwnd window) {
  Dialog dialog(window, ActiveParent());
  return dialog.exec() == QDialog::Accepted && dialog.Apply();
}

bool DialogHook(TCapHwnd window, TCapDialog which) {
  switch (which) {
    case cdVideoSource:
      return RunModal<TCapSourceDialog>(window);
    case cdVideoFormat:
      return RunModal<TCapFormatDialog>(window);
    case cdVideoDisplay:
      return RunModal<TCapDisplayDialog>(window);
    case cdVideoCompression:
      return RunModal<TCapCompressionDialog>(window);
  }
  return false;
}

}  // namespace

void InstallCaptureDialogs() {
  capSetDialogHook(&DialogHook);
}

// ---- source ----

TCapSourceDialog::TCapSourceDialog(TCapHwnd window, QWidget* parent)
    : QDialog(parent), window_(window), info_(capGetSourceInfo(window)) {
  QFormLayout* form = MakeLayout(this, tr("Video source"));
  inputs_ = new QComboBox(this);
  for (const std::string& input : info_.Inputs) inputs_->addItem(Q(input));
  inputs_->setCurrentIndex(info_.CurrentInput);
  inputs_->setEnabled(info_.Inputs.size() > 1);
  form->addRow(tr("Input:"), inputs_);
  for (const TCapControl& c : info_.Controls) {
    QWidget* editor = nullptr;
    if (c.Kind == cckBoolean) {
      auto* box = new QCheckBox(this);
      box->setChecked(c.Value != 0);
      editor = box;
    } else if (c.Kind == cckMenu) {
      auto* box = new QComboBox(this);
      for (const std::string& item : c.Items) box->addItem(Q(item));
      box->setCurrentIndex(c.Value - c.Minimum);
      editor = box;
    } else {
      auto* spin = new QSpinBox(this);
      spin->setRange(c.Minimum, c.Maximum);
      spin->setSingleStep(c.Step);
      spin->setValue(c.Value);
      editor = spin;
    }
    form->addRow(Q(c.Name) + ":", editor);
    editors_.push_back(editor);
  }
  if (info_.Controls.empty())
    form->addRow(new QLabel(tr("The source has no adjustable controls."), this));
}

bool TCapSourceDialog::Apply() {
  bool ok = true;
  if (inputs_->currentIndex() >= 0 && inputs_->currentIndex() != info_.CurrentInput)
    ok = capSetInput(window_, inputs_->currentIndex());
  for (size_t i = 0; i < info_.Controls.size(); ++i) {
    const TCapControl& c = info_.Controls[i];
    int value = c.Value;
    if (auto* box = qobject_cast<QCheckBox*>(editors_[i]))
      value = box->isChecked() ? 1 : 0;
    else if (auto* combo = qobject_cast<QComboBox*>(editors_[i]))
      value = c.Minimum + combo->currentIndex();
    else if (auto* spin = qobject_cast<QSpinBox*>(editors_[i]))
      value = spin->value();
    if (value != c.Value) ok = capSetControl(window_, c.Id, value) && ok;
  }
  return ok;
}

// ---- format ----

TCapFormatDialog::TCapFormatDialog(TCapHwnd window, QWidget* parent)
    : QDialog(parent), window_(window), options_(capGetFormatOptions(window)) {
  QFormLayout* form = MakeLayout(this, tr("Video format"));
  TBitmapInfoHeader current{};
  capSendMessage(window, WM_CAP_GET_VIDEOFORMAT, sizeof current,
                 reinterpret_cast<intptr_t>(&current));
  formats_ = new QComboBox(this);
  int selected = 0;
  for (size_t i = 0; i < options_.size(); ++i) {
    formats_->addItem(Q(options_[i].Description));
    if (options_[i].Compression == current.biCompression) selected = static_cast<int>(i);
  }
  formats_->setCurrentIndex(selected);
  form->addRow(tr("Pixel format:"), formats_);
  sizes_ = new QComboBox(this);
  form->addRow(tr("Size:"), sizes_);
  FillSizes();
  const QString now = QString("%1 x %2").arg(current.biWidth).arg(std::abs(current.biHeight));
  if (sizes_->findText(now) < 0)
    sizes_->addItem(now, QSize(current.biWidth, std::abs(current.biHeight)));
  sizes_->setCurrentIndex(sizes_->findText(now));
  connect(formats_, &QComboBox::currentIndexChanged, this, [this] { FillSizes(); });
  const int rate = capGetFrameRate(window);
  if (rate > 0) {
    rate_ = new QSpinBox(this);
    rate_->setRange(1, 240);
    rate_->setValue(rate);
    rate_->setSuffix(tr(" frames/s"));
    form->addRow(tr("Frame rate:"), rate_);
  }
}

void TCapFormatDialog::FillSizes() {
  const QString keep = sizes_->currentText();
  sizes_->clear();
  const int i = formats_->currentIndex();
  if (i < 0 || i >= static_cast<int>(options_.size())) return;
  for (const TCapSize& s : options_[static_cast<size_t>(i)].Sizes)
    sizes_->addItem(QString("%1 x %2").arg(s.Width).arg(s.Height), QSize(s.Width, s.Height));
  const int again = sizes_->findText(keep);
  if (again >= 0) sizes_->setCurrentIndex(again);
}

bool TCapFormatDialog::Apply() {
  const int i = formats_->currentIndex();
  const QSize size = sizes_->currentData().toSize();
  if (i < 0 || i >= static_cast<int>(options_.size()) || size.isEmpty()) return false;
  if (rate_ && rate_->value() != capGetFrameRate(window_) &&
      !capSetFrameRate(window_, rate_->value()))
    return false;
  TBitmapInfoHeader format{};
  format.biWidth = size.width();
  format.biHeight = size.height();
  format.biCompression = options_[static_cast<size_t>(i)].Compression;
  format.biBitCount = static_cast<uint16_t>(options_[static_cast<size_t>(i)].BitCount);
  return capSendMessage(window_, WM_CAP_SET_VIDEOFORMAT, sizeof format,
                        reinterpret_cast<intptr_t>(&format)) != 0;
}

// ---- display ----

TCapDisplayDialog::TCapDisplayDialog(TCapHwnd window, QWidget* parent)
    : QDialog(parent), window_(window) {
  QFormLayout* form = MakeLayout(this, tr("Video display"));
  scale_ = new QCheckBox(tr("Stretch the video to the window"), this);
  scale_->setChecked(capGetScale(window));
  form->addRow(scale_);
}

bool TCapDisplayDialog::Apply() {
  return capSendMessage(window_, WM_CAP_SET_SCALE, scale_->isChecked() ? 1 : 0) != 0;
}

// ---- compression ----

TCapCompressionDialog::TCapCompressionDialog(TCapHwnd window, QWidget* parent)
    : QDialog(parent), window_(window), compressors_(capListCompressors()) {
  QFormLayout* form = MakeLayout(this, tr("Video compression"));
  const TCapCompressor current = capGetCompressor(window);
  encoders_ = new QComboBox(this);
  for (size_t i = 0; i < compressors_.size(); ++i) {
    encoders_->addItem(Q(compressors_[i].Display));
    if (compressors_[i].Name == current.Name) encoders_->setCurrentIndex(static_cast<int>(i));
  }
  form->addRow(tr("Compressor:"), encoders_);
  quality_ = new QSlider(Qt::Horizontal, this);
  quality_->setRange(1, 100);
  quality_->setValue(current.Quality);
  form->addRow(tr("Quality:"), quality_);
  const auto enable = [this] {
    const int i = encoders_->currentIndex();
    quality_->setEnabled(i >= 0 && compressors_[static_cast<size_t>(i)].HasQuality);
  };
  connect(encoders_, &QComboBox::currentIndexChanged, this, enable);
  enable();
}

bool TCapCompressionDialog::Apply() {
  const int i = encoders_->currentIndex();
  if (i < 0) return false;
  TCapCompressor chosen = compressors_[static_cast<size_t>(i)];
  chosen.Quality = quality_->value();
  return capSetCompressor(window_, chosen);
}

}  // namespace vx
