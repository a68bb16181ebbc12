#include "dialogs/vxcommondialog.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>

namespace vx {

TVXFileDialog::TVXFileDialog(TVXCommonDialog& owner, QWidget* parent)
    : QFileDialog(parent), owner_(owner) {
  setOption(QFileDialog::DontUseNativeDialog, true);
}

QLineEdit* TVXFileDialog::NameEdit() const {
  return findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

void TVXFileDialog::accept() {
  if (!owner_.CanClose()) return;
  QFileDialog::accept();
}

void TVXFileDialog::done(int result) {
  owner_.DoClose();
  QFileDialog::done(result);
}

void TVXFileDialog::showEvent(QShowEvent* event) {
  QFileDialog::showEvent(event);
  if (!placed_) {
    placed_ = true;
    // Centred across, a third of the free height down.
    if (QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen()) {
      const QRect area = s->availableGeometry();
      const QSize size = frameGeometry().size();
      move(area.x() + (area.width() - size.width()) / 2,
           area.y() + std::max(0, (area.height() - size.height()) / 3));
    }
  }
  owner_.DoShow();
}

TVXCommonDialog::TVXCommonDialog(QWidget* parent)
    : QObject(parent), dialog_(new TVXFileDialog(*this, parent)) {}

TVXCommonDialog::~TVXCommonDialog() {
  delete dialog_;
}

bool TVXCommonDialog::CanClose() {
  return true;
}

void TVXCommonDialog::DoShow() {
  OnShow(this);
}

void TVXCommonDialog::DoClose() {
  OnClose(this);
}

bool TVXCommonDialog::RunDialog() {
  return dialog_->exec() == QDialog::Accepted;
}

}  // namespace vx
