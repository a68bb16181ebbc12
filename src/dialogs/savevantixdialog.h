#pragma once
// TSaveVantixDialog: the file save dialog with the preview pane of the open dialog, an
// advanced button that opens the parameter dialog of the chosen format on the attached
// input/output component, and the file extension taken from the chosen file type.
// Cancelling gives the attached component back the parameters it had before.
#include "dialogs/openvantixdialog.h"
#include "io/ioparams.h"
#include "platform/set.h"

namespace vx {

class TComponent;

enum class TVXSaveDlgOptItems { sdShowPreview, sdShowAdvanced };
using enum TVXSaveDlgOptItems;
using TVXSaveDlgOpt = TSet<TVXSaveDlgOptItems>;

class TSaveVantixDialog : public TOpenVantixDialog {
  Q_OBJECT

 public:
  explicit TSaveVantixDialog(QWidget* parent = nullptr);
  ~TSaveVantixDialog() override;

  bool Execute() override;

  TVXSaveDlgOpt ExOptions{sdShowPreview, sdShowAdvanced};

  // A TVantixIO or a TVantixMIO; anything else is ignored. Cleared when it is destroyed.
  TComponent* AttachedVantixIO() const { return attached_; }
  void SetAttachedVantixIO(TComponent* component);

  // The advanced button: the parameter dialog for the format of the name in the dialog
  // (or of DefaultExt), on the attached component. False when nothing was opened or the
  // user cancelled it.
  bool DoAdvanced();
  // The attached component's parameters as they were when Execute began.
  const TIOParamsVals& Backup() const { return backup_; }

  void Notification(TFreeNotifier* object, TOperation operation) override;

 protected:
  void TypeChanged() override;

 private:
  TIOParamsVals* AttachedParams();
  QString NameInDialog();

  TComponent* attached_ = nullptr;
  TIOParamsVals backup_;
};

}  // namespace vx
