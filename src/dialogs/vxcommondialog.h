#pragma once
// TVXCommonDialog: a non-visual component that runs the toolkit's file dialog (always
// the toolkit's own widgets, never the desktop's native dialog, so that our preview
// pane can sit inside it) and reports when it is shown and closed.
#include <QFileDialog>
#include <QObject>
#include <QPointer>
#include <memory>

#include "core/vxwords.h"
#include "platform/event.h"
#include "platform/object.h"

class QLineEdit;

namespace vx {

class TVXCommonDialog;

// The file dialog the component runs: it asks the component before it accepts a name,
// and tells it when it is shown and closed.
class TVXFileDialog : public QFileDialog {
  Q_OBJECT

 public:
  explicit TVXFileDialog(TVXCommonDialog& owner, QWidget* parent);
  // The name box (empty pointer should the toolkit ever lay the dialog out without one).
  QLineEdit* NameEdit() const;
  // Asks the component first; a refusal keeps the dialog open.
  void accept() override;

 protected:
  void done(int result) override;
  void showEvent(QShowEvent* event) override;

 private:
  TVXCommonDialog& owner_;
  bool placed_ = false;
};

// (Sender, CanClose): CanClose starts true; a handler sets it false to keep the dialog open.
using TVXCanCloseEvent = TMethod<TObject*, bool&>;

class TVXCommonDialog : public QObject, public TFreeNotifier {
  Q_OBJECT
  Q_PROPERTY(bool Ctl3D READ Ctl3D WRITE SetCtl3D)
  Q_PROPERTY(int HelpContext READ HelpContext WRITE SetHelpContext)

 public:
  explicit TVXCommonDialog(QWidget* parent = nullptr);
  ~TVXCommonDialog() override;

  bool Ctl3D() const { return ctl3D_; }
  void SetCtl3D(bool v) { ctl3D_ = v; }
  int HelpContext() const { return helpContext_; }
  void SetHelpContext(int v) { helpContext_ = v; }
  TMsgLanguage MsgLanguage() const { return msgLanguage_; }
  void SetMsgLanguage(TMsgLanguage l) { msgLanguage_ = l; }

  TNotifyEvent OnShow;
  TNotifyEvent OnClose;

  // The toolkit dialog the component runs (created with the component).
  TVXFileDialog& Dialog() { return *dialog_; }

 protected:
  friend class TVXFileDialog;
  // Called by the file dialog: before it accepts a name (false keeps it open), once
  // it is on screen, and as it closes.
  virtual bool CanClose();
  virtual void DoShow();
  virtual void DoClose();
  // Runs the dialog modally; true when the user confirmed.
  bool RunDialog();

  QPointer<TVXFileDialog> dialog_;

 private:
  bool ctl3D_ = true;
  int helpContext_ = 0;
  TMsgLanguage msgLanguage_ = msSystem;
};

}  // namespace vx
