#include "dialogs/savevantixdialog.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

#include "multi/vantixmio.h"
#include "platform/component.h"

namespace vx {

TSaveVantixDialog::TSaveVantixDialog(QWidget* parent) : TOpenVantixDialog(parent) {
  Filter = QStringLiteral(
      "JPEG Bitmap (JPG)|*.jpg|CompuServe Bitmap (GIF)|*.gif|TIFF Bitmap (TIF)|*.tif|"
      "PaintBrush (PCX)|*.pcx|Portable Network Graphics (PNG)|*.png|"
      "Windows Bitmap (BMP)|*.bmp|OS/2 Bitmap (BMP)|*.bmp");
  connect(AdvancedButton(), &QPushButton::clicked, this, [this] { DoAdvanced(); });
}

TSaveVantixDialog::~TSaveVantixDialog() {
  SetAttachedVantixIO(nullptr);
}

void TSaveVantixDialog::SetAttachedVantixIO(TComponent* component) {
  if (component && !dynamic_cast<TVantixIO*>(component) && !dynamic_cast<TVantixMIO*>(component))
    return;
  if (attached_) attached_->RemoveFreeNotification(this);
  attached_ = component;
  if (attached_) attached_->FreeNotification(this);
}

void TSaveVantixDialog::Notification(TFreeNotifier* object, TOperation operation) {
  if (operation == opRemove && object == attached_) attached_ = nullptr;
  TOpenVantixDialog::Notification(object, operation);
}

TIOParamsVals* TSaveVantixDialog::AttachedParams() {
  if (auto* io = dynamic_cast<TVantixIO*>(attached_)) return &io->Params();
  if (auto* mio = dynamic_cast<TVantixMIO*>(attached_)) return mio->Params(0);
  return nullptr;
}

bool TSaveVantixDialog::Execute() {
  const bool pane = ExOptions.Contains(sdShowPreview);
  PrepareDialog(pane);
  AdvancedButton()->setText(QString::fromStdString(vxmsg(VXMSG_ADVANCED, MsgLanguage())) + "...");
  AdvancedButton()->setVisible(ExOptions.Contains(sdShowAdvanced));
  PreviewCheck()->setVisible(pane);

  // What the advanced button may change is put back if the user cancels.
  if (auto* mio = dynamic_cast<TVantixMIO*>(attached_); mio && mio->ParamsCount() == 0)
    return false;
  if (TIOParamsVals* p = AttachedParams()) backup_.Assign(*p);

  QFileDialog& d = Dialog();
  d.setAcceptMode(QFileDialog::AcceptSave);
  d.setFileMode(QFileDialog::AnyFile);
  const bool ok = RunDialog();
  if (!ok) {
    if (TIOParamsVals* p = AttachedParams()) p->Assign(backup_);
    return false;
  }
  TakeResults();
  if (!FileName.isEmpty() && QFileInfo(FileName).suffix().isEmpty()) {
    QString name = FileName;
    if (name.endsWith('.')) name.chop(1);
    FileName = name + QString::fromStdString(VXPatternExtension(CurrentPatterns()));
    if (!Files.isEmpty()) Files.first() = FileName;
  }
  return true;
}

QString TSaveVantixDialog::NameInDialog() {
  if (QLineEdit* edit = Dialog().NameEdit(); edit && !edit->text().isEmpty()) return edit->text();
  return FileName;
}

bool TSaveVantixDialog::DoAdvanced() {
  TPreviewParamsItems page;
  if (!VXPreviewPageOf(NameInDialog().toStdString(), false, page) &&
      !VXPreviewPageOf(DefaultExt.toStdString(), true, page))
    return false;
  if (auto* io = dynamic_cast<TVantixIO*>(attached_)) return io->DoPreviews({page});
  if (auto* mio = dynamic_cast<TVantixMIO*>(attached_)) return mio->DoPreviews(0, {page});
  return false;
}

void TSaveVantixDialog::TypeChanged() {
  // The name keeps its stem and takes the extension of the new type.
  if (QLineEdit* edit = Dialog().NameEdit()) {
    QString name = QFileInfo(edit->text()).fileName();
    const std::string ext = VXPatternExtension(CurrentPatterns());
    if (!name.isEmpty() && !ext.empty()) {
      if (const qsizetype dot = name.indexOf('.'); dot >= 0) name.truncate(dot);
      edit->setText(name + QString::fromStdString(ext));
    }
  }
  TOpenVantixDialog::TypeChanged();
}

}  // namespace vx
