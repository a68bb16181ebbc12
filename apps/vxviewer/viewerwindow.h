#pragma once
// The viewer's main window: a view with an input/output and a processing component
// attached, menus for every view feature, progress in the status bar.
#include <QMainWindow>
#include <memory>
#include <string>

#include "io/vantixio.h"
#include "proc/vantixproc.h"
#include "view/vantixview.h"

class QLabel;
class QProgressBar;
class QActionGroup;

namespace vxviewer {

class TViewerWindow : public QMainWindow {
  Q_OBJECT

 public:
  TViewerWindow();
  ~TViewerWindow() override;

  vx::TVantixView& View() { return *view_; }
  // Loads any readable file, the format found from its content. False on failure.
  bool Open(const std::string& fileName);
  // Saves in the format of the extension. False on failure.
  bool Save(const std::string& fileName);

 private:
  void BuildMenus();
  void OpenDialog();
  void SaveDialog();
  void Progress(vx::TObject* sender, int percent);
  void ViewChanged(vx::TObject* sender, int change);
  void SelectionChanged(vx::TObject* sender);
  void ShowStatus();
  void SetMode(vx::TVXMouseInteract mode, int cursor);
  template <class F>
  void Process(F&& f);

  vx::TVantixView* view_;
  std::unique_ptr<vx::TVantixIO> io_;
  std::unique_ptr<vx::TVantixProc> proc_;
  QLabel* status_;
  QProgressBar* progress_;
};

}  // namespace vxviewer
