#pragma once
// TOpenVantixDialog: the file open dialog with a preview pane. While the user moves
// through files the pane reads the selected one with the library's own readers, shows
// it (or its frames, for animated and multi-page files) and prints its size, colours,
// resolution, file size and memory need.
//
// The helpers below the class hold the dialog's rules apart from its widgets: the
// filter string built from the format table, the information texts of a parameter set,
// the extension of a filter pattern and the parameter page of a file name.
#include <QString>
#include <QStringList>
#include <array>
#include <memory>
#include <string>

#include "dialogs/vxcommondialog.h"
#include "io/ioparams.h"
#include "io/vantixio.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace vx {

class TVantixView;
class TVantixMView;
class TVantixMIO;

// ---- rules ----

// "All graphics|<every pattern>;*.avi|<name> (<EXTS>)|<patterns>|...|Video for Windows (AVI)|*.avi"
// from the format table, in table order.
std::string VXBuildFilter();
// The "|" separated pairs of a filter string as the toolkit's name filters,
// "description (pattern pattern)"; patterns keeps each pair's own pattern list.
QStringList VXFilterToNameFilters(const std::string& filter, QStringList* patterns = nullptr);
// The part of a pattern list from its first "." up to the first ";" ("*.jpg;*.jpeg" -> ".jpg").
std::string VXPatternExtension(const std::string& patterns);
// The parameter page for a file name's extension, or for a bare extension ("jpg"); false
// when none fits.
bool VXPreviewPageOf(const std::string& nameOrExtension, bool bare, TPreviewParamsItems& page);

// The five information texts of the pane: PicLabel1 (size), PicLabel2 (colours),
// PicLabel3 (resolution), InfoLabel1 (file type), InfoLabel2 (file and memory size).
struct TVXPreviewInfo {
  std::array<std::string, 5> Texts;
};
TVXPreviewInfo VXPreviewInfo(const TIOParamsVals* params, int frames, int64_t fileSize,
                             TMsgLanguage language);

// ---- the dialog ----

class TOpenVantixDialog : public TVXCommonDialog {
  Q_OBJECT

 public:
  explicit TOpenVantixDialog(QWidget* parent = nullptr);
  ~TOpenVantixDialog() override;

  // Runs the dialog; true when the user confirmed a file.
  virtual bool Execute();

  // ---- properties ----
  QString DefaultExt;
  QString FileName;
  // "description|patterns|description|patterns..."; rebuilt from the format table on
  // Execute while AutoSetFilter is true.
  QString Filter;
  int FilterIndex = 1;  // 1-based
  QString InitialDir;
  QFileDialog::Options Options;
  QString Title;
  bool AutoSetFilter = true;
  bool AlwaysAnimate = false;
  QStringList Files;
  QStringList HistoryList;

  TVXCanCloseEvent OnCanClose;
  TNotifyEvent OnFolderChange;
  TNotifyEvent OnSelectionChange;
  TNotifyEvent OnTypeChange;

  // ---- the pane, for embedders and tests ----
  TVantixView& VantixView() { return *view_; }
  TVantixMView& VantixMView() { return *mview_; }
  TVantixIO& PreviewIO() { return *io_; }
  TVantixMIO& PreviewMIO() { return *mio_; }
  QComboBox* ZoomCombo() const { return zoomCombo_; }
  QToolButton* PreviewButton() const { return previewButton_; }
  QToolButton* PlayButton() const { return playButton_; }
  QLabel* PicLabel(int i) const { return picLabels_[static_cast<size_t>(i - 1)]; }
  QLabel* InfoLabel(int i) const { return infoLabels_[static_cast<size_t>(i - 1)]; }
  QPushButton* AdvancedButton() const { return advancedButton_; }
  QCheckBox* PreviewCheck() const { return previewCheck_; }
  QProgressBar* ProgressBar() const { return progressBar_; }
  QFrame* PicturePanel() const { return picturePanel_; }
  QFrame* InfoPanel() const { return infoPanel_; }
  bool PreviewShown() const { return paneShown_; }
  int FrameCount() const { return frames_; }

  // The selection-change handling for a full path (the dialog calls it as the user
  // moves; tests call it directly).
  void SelectionChanged(const QString& path);
  // The full preview window for what the pane shows (nullptr when nothing is shown).
  std::unique_ptr<QDialog> MakeFullPreview();
  void ShowFullPreview();
  // The current filter's pattern list ("*.jpg;*.jpeg").
  std::string CurrentPatterns() const;

 protected:
  bool CanClose() override;
  void DoClose() override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Prepares the toolkit dialog from the properties; showPane says whether the
  // preview pane is part of it.
  void PrepareDialog(bool showPane);
  // Reads FileName, Files, FilterIndex back from the toolkit dialog.
  void TakeResults();
  virtual void TypeChanged();
  void ShowInfo(const TIOParamsVals* params);
  void ClearInfo();

  QStringList patterns_;  // of each name filter, in order

 private:
  void BuildPane();
  void Selected(const QString& path);
  void ApplyZoom();
  void PreviewToggled(bool on);
  void PlayToggled(bool down);
  void FrameSelected(TObject* sender, int index);
  void OnProgress(TObject* sender, int percent);
  void BlankSingle();
  void LoadPreview(const QString& path, const std::string& ext);

  std::unique_ptr<TVantixIO> io_;
  std::unique_ptr<TVantixMIO> mio_;
  TVantixView* view_ = nullptr;
  TVantixMView* mview_ = nullptr;
  QFrame* picturePanel_ = nullptr;
  QFrame* infoPanel_ = nullptr;
  QComboBox* zoomCombo_ = nullptr;
  QToolButton* previewButton_ = nullptr;
  QToolButton* playButton_ = nullptr;
  std::array<QLabel*, 3> picLabels_{};
  std::array<QLabel*, 2> infoLabels_{};
  QPushButton* advancedButton_ = nullptr;
  QCheckBox* previewCheck_ = nullptr;
  QProgressBar* progressBar_ = nullptr;
  bool paneShown_ = true;
  bool inSelection_ = false;
  int frames_ = 0;
  int64_t fileSize_ = 0;
  QString currentPath_;
};

}  // namespace vx
