#include "dialogs/hsvcolordialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "controls/hsvbox.h"
#include "platform/syscolors.h"

namespace vx {

THSVColorDialog::THSVColorDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("hsvColorDialog");
  box_ = new THSVBox(this);
  box_->setObjectName("hsvBox");
  box_->setMinimumSize(220, 160);
  swatch_ = new QLabel(this);
  swatch_->setFixedSize(48, 24);
  swatch_->setAutoFillBackground(true);
  values_ = new QLabel(this);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  box_->OnChange = [this](TObject*) { ShowChoice(); };
  auto* row = new QHBoxLayout;
  row->addWidget(swatch_);
  row->addWidget(values_, 1);
  auto* col = new QVBoxLayout(this);
  col->addWidget(box_, 1);
  col->addLayout(row);
  col->addWidget(buttons);
  ShowChoice();
}

TColor THSVColorDialog::Color() const {
  return static_cast<TColor>(box_->Red() | (box_->Green() << 8) | (box_->Blue() << 16));
}

void THSVColorDialog::SetColor(TColor c) {
  box_->SetColor(ColorToRGB(c));
  ShowChoice();
}

void THSVColorDialog::ShowChoice() {
  QPalette p = swatch_->palette();
  p.setColor(QPalette::Window, QColor(box_->Red(), box_->Green(), box_->Blue()));
  swatch_->setPalette(p);
  values_->setText(
      QString("R %1  G %2  B %3").arg(box_->Red()).arg(box_->Green()).arg(box_->Blue()));
}

bool THSVColorDialog::Choose(QWidget* parent, TColor& colour, const QString& title) {
  THSVColorDialog d(parent);
  d.setWindowTitle(title);
  d.SetColor(colour);
  if (d.exec() != QDialog::Accepted) return false;
  colour = d.Color();
  return true;
}

}  // namespace vx
