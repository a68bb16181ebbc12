#pragma once
// The two dialogs of scanning on the Qt side: the source manager's choice of a source,
// and a source's own settings dialog (resolution, mode, feeder, area; Scan, Cancel).
// Loading the widget library installs them as the acquisition's platform hooks; they
// are used only while a QApplication runs.
#include <QDialog>
#include <string>
#include <vector>

#include "acquire/twaindsm.h"

class QComboBox;
class QDoubleSpinBox;
class QListWidget;

namespace vx {

class TVXTWSelectSourceDialog : public QDialog {
  Q_OBJECT
 public:
  TVXTWSelectSourceDialog(const std::vector<std::string>& names, int current,
                          QWidget* parent = nullptr);
  // The chosen row, -1 for none.
  int Chosen() const;

 private:
  QListWidget* list_;
};

// Shown without blocking: Scan and Cancel close it, and the source reads the outcome.
class TVXTWSourceUIDialog : public QDialog {
  Q_OBJECT
 public:
  TVXTWSourceUIDialog(const std::string& title, const TVXTWSourceDialogValues& values,
                      QWidget* parent = nullptr);
  bool IsFinished() const { return finished_; }
  bool IsAccepted() const { return accepted_; }
  TVXTWSourceDialogValues CurrentValues() const;

  QDoubleSpinBox* ResolutionBox() const { return resolution_; }
  QComboBox* ModeBox() const { return mode_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Finish(bool accepted);

  TVXTWSourceDialogValues values_;
  QDoubleSpinBox* resolution_ = nullptr;
  QComboBox* resolutionList_ = nullptr;
  QComboBox* mode_ = nullptr;
  QComboBox* source_ = nullptr;
  QDoubleSpinBox* frame_[4] = {};
  bool finished_ = false;
  bool accepted_ = false;
};

// Installs the hooks (done once when the library loads; callable again after a test
// replaced them).
void InstallTwainDialogs();

}  // namespace vx
