#include "resizedialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSpinBox>
#include <algorithm>
#include <cmath>

namespace vxviewer {

namespace {

constexpr int kMaxSide = 65535;

struct TMethod {
  const char* name;
  bool resample;
  vx::TResampleFilter filter;
};

constexpr TMethod kMethods[] = {
    {"Lanczos 3 (sharp)", true, vx::rfLanczos3},
    {"Mitchell", true, vx::rfMitchell},
    {"B-spline (smooth)", true, vx::rfBSpline},
    {"Bell", true, vx::rfBell},
    {"Hermite", true, vx::rfHermite},
    {"Triangle (bilinear)", true, vx::rfTriangle},
    {"Stretch (no filter)", true, vx::rfNone},
    {"Canvas size only (crop or pad)", false, vx::rfNone},
};

int Scaled(int value, int numerator, int denominator) {
  const double v = std::round(static_cast<double>(value) * numerator / std::max(1, denominator));
  return static_cast<int>(std::clamp(v, 1.0, static_cast<double>(kMaxSide)));
}

}  // namespace

TResizeDialog::TResizeDialog(int width, int height, QWidget* parent)
    : QDialog(parent), originalWidth_(std::max(1, width)), originalHeight_(std::max(1, height)) {
  setWindowTitle(tr("Resize image"));
  width_ = new QSpinBox(this);
  height_ = new QSpinBox(this);
  for (QSpinBox* box : {width_, height_}) {
    box->setRange(1, kMaxSide);
    box->setSuffix(tr(" px"));
  }
  width_->setValue(originalWidth_);
  height_->setValue(originalHeight_);
  keepAspect_ = new QCheckBox(tr("Keep the aspect ratio"), this);
  keepAspect_->setChecked(true);
  method_ = new QComboBox(this);
  for (const TMethod& m : kMethods) method_->addItem(tr(m.name));

  auto* form = new QFormLayout(this);
  form->addRow(tr("&Width:"), width_);
  form->addRow(tr("&Height:"), height_);
  form->addRow(QString(), keepAspect_);
  form->addRow(tr("&Method:"), method_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  form->addRow(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(width_, &QSpinBox::valueChanged, this, &TResizeDialog::WidthChanged);
  connect(height_, &QSpinBox::valueChanged, this, &TResizeDialog::HeightChanged);
}

void TResizeDialog::WidthChanged(int w) {
  if (syncing_ || !keepAspect_->isChecked()) return;
  syncing_ = true;
  height_->setValue(Scaled(w, originalHeight_, originalWidth_));
  syncing_ = false;
}

void TResizeDialog::HeightChanged(int h) {
  if (syncing_ || !keepAspect_->isChecked()) return;
  syncing_ = true;
  width_->setValue(Scaled(h, originalWidth_, originalHeight_));
  syncing_ = false;
}

TResizeRequest TResizeDialog::Request() const {
  const TMethod& m =
      kMethods[std::clamp(method_->currentIndex(), 0, static_cast<int>(std::size(kMethods)) - 1)];
  return {width_->value(), height_->value(), m.resample, m.filter};
}

}  // namespace vxviewer
