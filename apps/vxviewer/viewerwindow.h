#pragma once
// The viewer's main window: a vector view with an input/output and a processing
// component attached, a menu per subject (File, Edit, View, Image, Filters, Mouse,
// Annotate, Measure), an Annotate tool bar, and a status bar with the cursor position,
// its pixel, the image's size and depth, the zoom and the selection.
//
// Everything that asks the user something goes through a virtual Choose/Ask/Show
// function, so that tests (and embedders) answer without modal dialogs.
#include <QMainWindow>
#include <QMessageBox>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "io/vantixio.h"
#include "proc/vantixproc.h"
#include "resizedialog.h"
#include "vect/vantixvect.h"
#include "view/vantixview.h"

class QActionGroup;
class QFont;
class QLabel;
class QMenu;
class QProgressBar;
class QSettings;

namespace vx {
class THistogramBox;
}

namespace vxviewer {

enum class TStatusField { Position, Colour, Size, Zoom, Selection };

class TMultipage;  // multipage.cpp: the strip of pages and the folder grid

class TViewerWindow : public QMainWindow {
  Q_OBJECT
  friend class TMultipage;

 public:
  // Recent files, the fit toggle and the background live in settings; nullptr uses the
  // user's own settings of the program.
  explicit TViewerWindow(QSettings* settings = nullptr);
  ~TViewerWindow() override;

  vx::TVantixView& View() { return *view_; }
  vx::TVantixVect& Vect() { return *view_; }
  vx::TVantixProc& Proc() { return *proc_; }
  vx::TVantixIO& IO() { return *io_; }

  // Loads any readable file, the format found from its content. On failure the shown
  // picture stays as it was, the reason is reported (ShowError, or the status bar and
  // standard error when quiet), and the result is false. Does not ask to save.
  bool Open(const QString& fileName);
  // Asks to save a modified picture first, then opens.
  bool OpenAsking(const QString& fileName);
  // Saves in the format of the extension; the file becomes the current one.
  bool SaveAs(const QString& fileName);
  // Saves to the current file in its format, or asks for a name when there is none or
  // its format cannot be written. False when nothing was saved.
  bool Save();
  // Opens (or raises) the Capture window; returns it.
  QWidget* ShowCaptureWindow();
  // Save as with the dialog (ChooseSaveFile).
  bool SaveAsDialog();
  // Offers to save a modified picture; false when the user cancelled.
  bool MaybeSave();

  const QString& CurrentFile() const { return currentFile_; }
  bool IsModified() const { return modified_; }
  void SetModified(bool m);

  // Selects the inclusive image rectangle and refreshes the status line.
  void SelectImageRect(int x1, int y1, int x2, int y2);
  // Opens the next (step > 0) or previous image of the current file's folder.
  bool OpenNeighbour(int step);

  // ---- objects over the picture ----
  // Loads objects from a VXV file in place of the current ones; saves them; adds a DXF
  // drawing's lines, circles and arcs fitted to the picture. Failures are reported as
  // for pictures and return false.
  bool LoadObjects(const QString& fileName);
  bool SaveObjects(const QString& fileName);
  bool ImportDXF(const QString& fileName);
  // Objects added or changed since they were last loaded or saved.
  bool ObjectsModified() const { return objectsModified_; }
  void SetObjectsModified(bool m);

  // Quiet: failures go to the status bar and standard error, never to a dialog, and
  // the recent-files list is left alone (headless screenshots).
  void SetQuiet(bool q) { quiet_ = q; }
  bool FitOnOpen() const;
  void SetFitOnOpen(bool on);
  // Whether opened images are turned upright by their orientation tag (on by default).
  bool AutoOrient() const;
  void SetAutoOrient(bool on);
  QStringList RecentFiles() const;

  QString StatusText(TStatusField field) const;
  // An action by its object name (every menu entry has one, e.g. "imageRotateLeft").
  QAction* Action(const QString& name) const;

 protected:
  // ---- questions to the user ----
  virtual QString ChooseOpenFile();
  // The chosen name and, in *filter, the chosen filter; empty when cancelled.
  virtual QString ChooseSaveFile(QString* filter);
  // Save, Discard or Cancel.
  virtual QMessageBox::StandardButton AskSaveChanges();
  virtual bool AskYesNo(const QString& question);
  virtual void ShowError(const QString& text);
  virtual bool ChooseResize(TResizeRequest& request);
  virtual bool ChooseBackground(vx::TColor& colour);
  // A file to read or write objects or drawings; filter as for file dialogs. Empty when
  // cancelled.
  virtual QString ChooseObjectsFile(bool save, const QString& filter);
  virtual bool ChooseColour(vx::TColor& colour, const QString& title);
  virtual bool ChooseFont(QFont& font);
  // A number: value holds the current one and receives the answer.
  virtual bool AskNumber(const QString& title, const QString& label, double& value, double minimum,
                         double maximum, int decimals);
  // Save, Discard or Cancel for objects that were not saved.
  virtual QMessageBox::StandardButton AskSaveObjectChanges();

  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

  // ---- menus: one builder per menu; a new menu is one more Build...Menu ----
  QMenu* AddMenu(const QString& title);
  // A menu entry with an object name (for Action and for tests) and shortcuts.
  QAction* AddAction(QMenu* menu, const QString& text, const QString& name,
                     const QList<QKeySequence>& keys, std::function<void()> run);
  // Runs a processing step on the picture, converting it to true colour first when
  // the step only works there; the picture is then modified.
  void Process(const QString& what, const std::function<void(vx::TVantixProc&)>& step,
               bool needsTrueColour = false);

 private:
  void BuildFileMenu();
  void BuildEditMenu();
  void BuildViewMenu();
  void BuildBackgroundMenu(QMenu* parent);
  void BuildSmoothingMenu(QMenu* parent);
  void BuildImageMenu();
  void BuildColourActions(QMenu* menu);
  void BuildFiltersMenu();
  void BuildMouseMenu();
  void BuildObjectFileActions(QMenu* file);
  // Scanning (scan.cpp): Select source, Acquire, Acquire pages.
  void BuildScanActions(QMenu* file);
  bool AcquireImage();
  bool AcquirePages();
  void BuildAnnotateMenu();
  void BuildPropertiesMenu(QMenu* parent);
  void BuildMeasureMenu();
  void BuildCaptureMenu();  // capture.cpp
  void RebuildRecentMenu();

  // ---- Process menu and Histogram panel (adjust.cpp) ----
  void BuildProcessMenu();
  void AdjustImage();
  vx::THistogramBox* histogram_ = nullptr;

  // ---- objects (annotate.cpp) ----
  void SetTool(vx::TVXMouseInteractVt tool, vx::TVXShape endShape);
  void ChoosePicture();
  void SetMeasure(vx::TVXMouseInteractVt item);
  void SyncModeActions();
  // The selected objects, or the template when none is selected.
  std::vector<int32_t> PropertyTargets() const;
  void ApplyToTargets(const std::function<void(int32_t)>& set);
  void BurnObjects();
  void DeleteObjects();
  bool SaveObjectsDialog();
  void ObjectsChanged(vx::TObject* sender);
  void ObjectSelectionChanged(vx::TObject* sender);
  void MeasureHint(vx::TObject* sender, std::string& text, double value);

  // ---- operations ----
  void Rotate(int degrees);
  void Flip(vx::TFlipDir direction);
  void CropToSelection();
  void ResizeImage();
  void SelectAll();
  void Deselect();
  void ChooseBackgroundColour();
  void SetMode(vx::TVXMouseInteract mode, int cursor);

  // ---- zoom ----
  // The next zoom step up (direction > 0) or down from the current zoom.
  int ZoomStep(int direction) const;
  void ZoomAboutCentre(int zoom);
  // Zooms keeping the image point under client point p where it is.
  void ZoomAboutPoint(QPoint p, int zoom);
  void FitAfterOpen();

  // ---- status ----
  void ShowStatus();
  void ShowPointer(QPoint client);
  void UpdateTitle();
  void UpdateActions();
  void Report(const QString& text);
  void AddRecent(const QString& fileName);
  void Progress(vx::TObject* sender, int percent);
  void ViewChanged(vx::TObject* sender, int change);
  void SelectionChanged(vx::TObject* sender);
  void SelectionDone(vx::TObject* sender);
  bool WheelOnView(QWheelEvent* event);
  // The image pixel under a client point (the pixel it lies in, not the nearest
  // corner); false outside the image.
  bool ImagePixelAt(QPoint client, QPoint& pixel) const;

  vx::TVantixVect* view_;
  std::unique_ptr<vx::TVantixIO> io_;
  std::unique_ptr<vx::TVantixProc> proc_;
  std::unique_ptr<QSettings> ownSettings_;
  QSettings* settings_;
  QLabel* status_[5];
  QProgressBar* progress_;
  QMenu* recentMenu_ = nullptr;
  QActionGroup* modeGroup_ = nullptr;
  QActionGroup* measureGroup_ = nullptr;
  QString objectsFile_;
  bool objectsModified_ = false;
  QString currentFile_;
  bool modified_ = false;
  bool quiet_ = false;
  QPoint pressPoint_;
  bool clickRelease_ = false;
  bool pointerInside_ = false;
  QPoint pointer_;
  TMultipage* multipage_ = nullptr;
};

}  // namespace vxviewer
