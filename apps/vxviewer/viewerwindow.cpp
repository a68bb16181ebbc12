#include "viewerwindow.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/vxdefs.h"
#include "filedialogs.h"
#include "imagefiles.h"
#include "multipage.h"
#include "platform/canvas.h"
#include "platform/clipboard.h"
#include "platform/exceptions.h"
#include "platform/stream.h"
#include "platform/syscolors.h"
#include "proc/orientation.h"

namespace vxviewer {

using namespace vx;

namespace {

constexpr int kMaxRecent = 8;

// Zoom steps of the keyboard and the wheel, in percent.
constexpr int kZoomLadder[] = {1,   2,    3,    5,    8,    10,   15,   20,   25,   33,
                               50,  67,   75,   100,  150,  200,  300,  400,  500,  600,
                               800, 1000, 1200, 1600, 2000, 2400, 3200, 4000, 4800, 6400};

// The next zoom of the ladder above (direction > 0) or below zoom; past the top it
// grows by a quarter.
int NextZoom(int zoom, int direction) {
  if (direction > 0) {
    for (int s : kZoomLadder)
      if (s > zoom) return s;
    return std::min(zoom + zoom / 4, 1'000'000);
  }
  int lower = 1;
  for (int s : kZoomLadder)
    if (s < zoom) lower = s;
  return std::min(zoom, lower);
}

QString FileLabel(const QString& path) {
  return QFileInfo(path).fileName();
}

}  // namespace

TViewerWindow::TViewerWindow(QSettings* settings) : settings_(settings) {
  if (!settings_) {
    ownSettings_ = std::make_unique<QSettings>("Vantix", "vxviewer");
    settings_ = ownSettings_.get();
  }
  view_ = new TVantixVect(this);
  view_->SetScrollBars(ssBoth);
  view_->SetCenter(true);
  // The components only write through Update, so the rendering can be cached.
  view_->SetDoubleBuffer(true);
  view_->SetBackground(static_cast<TColor>(settings_->value("background", clGray).toInt()));
  view_->SetBackgroundStyle(static_cast<TVXBackgroundStyle>(std::clamp(
      settings_->value("backgroundStyle", 0).toInt(), 0, static_cast<int>(vxbsDiagonals))));
  view_->SetMouseInteract({miSelect});
  view_->viewport()->installEventFilter(this);
  setCentralWidget(view_);
  setAcceptDrops(true);

  io_ = std::make_unique<TVantixIO>();
  io_->SetAttachedVantix(view_);
  proc_ = std::make_unique<TVantixProc>();
  proc_->SetAttachedVantix(view_);
  io_->OnProgress = TProgressEvent::Bind(this, &TViewerWindow::Progress);
  proc_->OnProgress = TProgressEvent::Bind(this, &TViewerWindow::Progress);
  view_->OnViewChange = TViewChangeEvent::Bind(this, &TViewerWindow::ViewChanged);
  view_->OnSelectionChange = TNotifyEvent::Bind(this, &TViewerWindow::SelectionDone);
  view_->OnSelectionChanging = TNotifyEvent::Bind(this, &TViewerWindow::SelectionChanged);
  view_->OnVectorialChanged = TNotifyEvent::Bind(this, &TViewerWindow::ObjectsChanged);
  view_->OnSelectObject = TNotifyEvent::Bind(this, &TViewerWindow::ObjectSelectionChanged);
  view_->OnMeasureHint = TVXVMeasureHintEvent::Bind(this, &TViewerWindow::MeasureHint);
  // New objects show on most pictures: a red two-pixel pen, red text.
  view_->SetObjPenColor(kVXVTemplate, clRed);
  view_->SetObjPenWidth(kVXVTemplate, 2);

  const char* tips[] = {"Pointer position in image pixels", "Colour of the pixel under the pointer",
                        "Image size and depth", "Zoom", "Selection"};
  for (int i = 0; i < 5; ++i) {
    status_[i] = new QLabel(this);
    status_[i]->setToolTip(tr(tips[i]));
    statusBar()->addPermanentWidget(status_[i]);
  }
  progress_ = new QProgressBar(this);
  progress_->setRange(0, 100);
  progress_->setMaximumWidth(160);
  progress_->hide();
  statusBar()->addPermanentWidget(progress_);

  BuildFileMenu();
  BuildEditMenu();
  BuildViewMenu();
  BuildImageMenu();
  BuildFiltersMenu();
  BuildProcessMenu();  // adjust.cpp
  BuildMouseMenu();
  BuildAnnotateMenu();
  BuildMeasureMenu();
  BuildCaptureMenu();
  multipage_ = new TMultipage(*this);
  resize(800, 600);
  UpdateTitle();
  ShowStatus();
}

TViewerWindow::~TViewerWindow() {
  // The components go first; they must not outlive the view they point to... and
  // if they did, its destruction notice would clear them anyway.
  proc_.reset();
  io_.reset();
}

// ============================== menus ==============================

QMenu* TViewerWindow::AddMenu(const QString& title) {
  return menuBar()->addMenu(title);
}

QAction* TViewerWindow::AddAction(QMenu* menu, const QString& text, const QString& name,
                                  const QList<QKeySequence>& keys, std::function<void()> run) {
  QAction* a = menu->addAction(text);
  a->setObjectName(name);
  a->setShortcuts(keys);
  connect(a, &QAction::triggered, this, [run = std::move(run)] { run(); });
  return a;
}

QAction* TViewerWindow::Action(const QString& name) const {
  return findChild<QAction*>(name);
}

void TViewerWindow::BuildFileMenu() {
  QMenu* m = AddMenu(tr("&File"));
  AddAction(m, tr("&Open..."), "fileOpen", {QKeySequence::Open}, [this] {
    if (!MaybeSave()) return;
    const QString name = ChooseOpenFile();
    if (!name.isEmpty()) Open(name);
  });
  recentMenu_ = m->addMenu(tr("Open &recent"));
  RebuildRecentMenu();
  AddAction(m, tr("&Next image in folder"), "fileNext", {QKeySequence(Qt::Key_PageDown)},
            [this] { OpenNeighbour(1); });
  AddAction(m, tr("&Previous image in folder"), "filePrevious", {QKeySequence(Qt::Key_PageUp)},
            [this] { OpenNeighbour(-1); });
  m->addSeparator();
  AddAction(m, tr("&Save"), "fileSave", {QKeySequence::Save}, [this] { Save(); });
  AddAction(m, tr("Save &as..."), "fileSaveAs", {QKeySequence::SaveAs}, [this] { SaveAsDialog(); });
  m->addSeparator();
  BuildObjectFileActions(m);
  m->addSeparator();
  BuildScanActions(m);
  m->addSeparator();
  AddAction(m, tr("&Quit"), "fileQuit", {QKeySequence::Quit}, [this] { close(); });
}

void TViewerWindow::RebuildRecentMenu() {
  if (!recentMenu_) return;
  recentMenu_->clear();
  const QStringList files = RecentFiles();
  for (int i = 0; i < files.size(); ++i) {
    const QString path = files[i];
    QAction* a = recentMenu_->addAction(QString("&%1 %2").arg(i + 1).arg(FileLabel(path)));
    a->setObjectName(QString("fileRecent%1").arg(i + 1));
    a->setToolTip(path);
    connect(a, &QAction::triggered, this, [this, path] { OpenAsking(path); });
  }
  if (!files.isEmpty()) recentMenu_->addSeparator();
  QAction* clear = recentMenu_->addAction(tr("&Clear list"));
  clear->setObjectName("fileRecentClear");
  clear->setEnabled(!files.isEmpty());
  connect(clear, &QAction::triggered, this, [this] {
    settings_->setValue("recentFiles", QStringList());
    RebuildRecentMenu();
  });
}

void TViewerWindow::BuildEditMenu() {
  QMenu* m = AddMenu(tr("&Edit"));
  AddAction(m, tr("&Undo"), "editUndo", {QKeySequence::Undo}, [this] {
    if (!proc_->CanUndo()) return;
    view_->DeSelect();
    Process(tr("Undone"), [](TVantixProc& p) { p.Undo(); });
  });
  m->addSeparator();
  AddAction(m, tr("Cu&t objects"), "editCut", {QKeySequence::Cut}, [this] {
    if (!view_->CutToClipboard()) Report(tr("Select the objects to cut first"));
  });
  AddAction(m, tr("&Copy"), "editCopy", {QKeySequence::Copy}, [this] {
    if (view_->SelObjectsCount() > 0)
      view_->CopyToClipboard();
    else if (view_->Selected())
      proc_->SelCopyToClip();
    else
      proc_->CopyToClipboard();
  });
  AddAction(m, tr("&Paste as the image"), "editPaste", {QKeySequence::Paste}, [this] {
    if (view_->PasteFromClipboard()) return;  // objects paste as objects
    if (!Clipboard().HasDIB()) return Report(tr("The clipboard holds no picture"));
    view_->DeSelect();
    Process(tr("Pasted"), [](TVantixProc& p) { p.PasteFromClipboard(); });
  });
  AddAction(m, tr("Paste at the &pointer"), "editPasteHere",
            {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V)}, [this] {
              if (!Clipboard().HasDIB()) return Report(tr("The clipboard holds no picture"));
              const QPoint at = pointer_;
              Process(tr("Pasted"), [at](TVantixProc& p) { p.PointPasteFromClip(at.x(), at.y()); });
            });
  AddAction(m, tr("C&lear selection"), "editClear", {QKeySequence::Delete}, [this] {
    if (view_->SelObjectsCount() > 0) return DeleteObjects();
    if (!view_->Selected()) return;
    Process(tr("Cleared"), [](TVantixProc& p) { p.ClearSel(); });
  });
  m->addSeparator();
  AddAction(m, tr("Select &all"), "editSelectAll", {QKeySequence::SelectAll},
            [this] { SelectAll(); });
  AddAction(m, tr("&Deselect"), "editDeselect", {QKeySequence(Qt::Key_Escape)},
            [this] { Deselect(); });
}

void TViewerWindow::BuildViewMenu() {
  QMenu* m = AddMenu(tr("&View"));
  AddAction(m, tr("Zoom &in"), "viewZoomIn",
            {QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal), QKeySequence::ZoomIn},
            [this] { ZoomAboutCentre(ZoomStep(1)); });
  AddAction(m, tr("Zoom &out"), "viewZoomOut", {QKeySequence(Qt::Key_Minus), QKeySequence::ZoomOut},
            [this] { ZoomAboutCentre(ZoomStep(-1)); });
  AddAction(m, tr("&Actual size (100 %)"), "viewZoom100", {QKeySequence(Qt::Key_0)},
            [this] { ZoomAboutCentre(100); });
  AddAction(m, tr("&Fit to window"), "viewFit", {QKeySequence(Qt::Key_F)}, [this] {
    const QSize room = view_->contentsRect().size();
    const TBitmap& b = view_->Bitmap();
    if (b.Empty() || room.isEmpty()) return;
    const int64_t z = std::min(int64_t{room.width()} * 100 / b.Width(),
                               int64_t{room.height()} * 100 / b.Height());
    view_->SetZoom(static_cast<int>(std::clamp<int64_t>(z, 1, 100'000)));
  });
  QAction* fit = AddAction(m, tr("Fit &large images on open"), "viewFitOnOpen", {}, [] {});
  fit->setCheckable(true);
  fit->setChecked(FitOnOpen());
  connect(fit, &QAction::toggled, this, [this](bool on) { SetFitOnOpen(on); });
  QAction* orient = AddAction(m, tr("&Upright by orientation tag"), "viewAutoOrient", {}, [] {});
  orient->setCheckable(true);
  orient->setChecked(AutoOrient());
  connect(orient, &QAction::toggled, this, [this](bool on) { SetAutoOrient(on); });
  m->addSeparator();
  QAction* center = AddAction(m, tr("&Centre"), "viewCentre", {}, [] {});
  center->setCheckable(true);
  center->setChecked(view_->Center());
  connect(center, &QAction::toggled, this, [this](bool on) { view_->SetCenter(on); });
  QAction* bars = AddAction(m, tr("&Scroll bars"), "viewScrollBars", {}, [] {});
  bars->setCheckable(true);
  bars->setChecked(true);
  connect(bars, &QAction::toggled, this,
          [this](bool on) { view_->SetScrollBars(on ? ssBoth : ssNone); });
  BuildBackgroundMenu(m);
  BuildSmoothingMenu(m);
}

void TViewerWindow::BuildBackgroundMenu(QMenu* parent) {
  QMenu* bg = parent->addMenu(tr("&Background"));
  auto* group = new QActionGroup(this);
  const char* styles[] = {
      "Solid", "Horizontal",     "Vertical",   "Forward diagonal", "Backward diagonal",
      "Cross", "Diagonal cross", "Chessboard", "Diagonals"};
  for (int i = 0; i < 9; ++i) {
    QAction* a = AddAction(bg, tr(styles[i]), QString("viewBackground%1").arg(i), {}, [this, i] {
      view_->SetBackgroundStyle(static_cast<TVXBackgroundStyle>(i));
      settings_->setValue("backgroundStyle", i);
    });
    a->setCheckable(true);
    a->setChecked(i == static_cast<int>(view_->BackgroundStyle()));
    group->addAction(a);
  }
  bg->addSeparator();
  AddAction(bg, tr("&Colour..."), "viewBackgroundColour", {}, [this] { ChooseBackgroundColour(); });
}

void TViewerWindow::BuildSmoothingMenu(QMenu* parent) {
  QMenu* filter = parent->addMenu(tr("Smooth &zoom"));
  auto* group = new QActionGroup(this);
  const char* filters[] = {"None",     "Triangle",  "Hermite", "Bell",
                           "B-spline", "Lanczos 3", "Mitchell"};
  for (int i = 0; i < 7; ++i) {
    QAction* a = AddAction(filter, tr(filters[i]), QString("viewSmooth%1").arg(i), {}, [this, i] {
      view_->DeferZoomFilter = i != 0;
      view_->SetZoomFilter(static_cast<TResampleFilter>(i));
    });
    a->setCheckable(true);
    a->setChecked(i == 0);
    group->addAction(a);
  }
}

void TViewerWindow::BuildImageMenu() {
  QMenu* m = AddMenu(tr("&Image"));
  AddAction(m, tr("Rotate 90\u00B0 &left"), "imageRotateLeft", {QKeySequence(Qt::CTRL | Qt::Key_L)},
            [this] { Rotate(90); });
  AddAction(m, tr("Rotate 90\u00B0 &right"), "imageRotateRight",
            {QKeySequence(Qt::CTRL | Qt::Key_R)}, [this] { Rotate(-90); });
  AddAction(m, tr("Rotate 18&0\u00B0"), "imageRotate180", {}, [this] { Rotate(180); });
  AddAction(m, tr("Flip &horizontally"), "imageFlipHorizontal", {}, [this] { Flip(fdHorizontal); });
  AddAction(m, tr("Flip &vertically"), "imageFlipVertical", {}, [this] { Flip(fdVertical); });
  m->addSeparator();
  AddAction(m, tr("&Crop to selection"), "imageCrop",
            {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_X)}, [this] { CropToSelection(); });
  AddAction(m, tr("Re&size..."), "imageResize", {}, [this] { ResizeImage(); });
  AddAction(m, tr("&Burn objects into image"), "imageBurnObjects", {}, [this] { BurnObjects(); });
  m->addSeparator();
  BuildColourActions(m);
}

void TViewerWindow::BuildColourActions(QMenu* m) {
  struct TStep {
    const char* text;
    const char* name;
    void (*run)(TVantixProc&);
  };
  // Point operations work on the selection, or the whole image without one.
  const TStep adjust[] = {
      {"&Negative", "imageNegative", [](TVantixProc& p) { p.Negative(); }},
      {"&Grey", "imageGrey", [](TVantixProc& p) { p.ConvertToGray(); }},
      {"More c&ontrast", "imageMoreContrast", [](TVantixProc& p) { p.Contrast(20); }},
      {"Less co&ntrast", "imageLessContrast", [](TVantixProc& p) { p.Contrast(-20); }},
      {"&Brighter", "imageBrighter", [](TVantixProc& p) { p.IntensityRGBall(20, 20, 20); }},
      {"&Darker", "imageDarker", [](TVantixProc& p) { p.IntensityRGBall(-20, -20, -20); }},
      {"Sa&turate", "imageSaturate", [](TVantixProc& p) { p.HSVvar(0, 30, 0); }},
  };
  for (const TStep& s : adjust)
    AddAction(m, tr(s.text), s.name, {},
              [this, s] { Process(tr(s.text).remove('&'), s.run, /*needsTrueColour=*/true); });
  m->addSeparator();
  // Conversions change the whole image's depth.
  const TStep convert[] = {
      {"T&wo colours (ordered dither)", "imageTwoColours",
       [](TVantixProc& p) { p.ConvertToBWOrdered(); }},
      {"2&56 colours", "image256Colours", [](TVantixProc& p) { p.ConvertTo(256); }},
      {"True co&lour", "imageTrueColour", [](TVantixProc& p) { p.ConvertTo24Bit(); }},
  };
  for (const TStep& s : convert)
    AddAction(m, tr(s.text), s.name, {}, [this, s] {
      view_->DeSelect();
      Process(tr(s.text).remove('&'), s.run);
    });
}

void TViewerWindow::BuildFiltersMenu() {
  QMenu* m = AddMenu(tr("F&ilters"));
  struct TStep {
    const char* text;
    const char* name;
    void (*run)(TVantixProc&);
  };
  const TStep steps[] = {
      {"&Blur", "filterBlur", [](TVantixProc& p) { p.ApplyFilterPreset(fpBlur); }},
      {"&Sharpen", "filterSharpen", [](TVantixProc& p) { p.ApplyFilterPreset(fpHighPass1); }},
      {"&Edges", "filterEdges", [](TVantixProc& p) { p.ApplyFilterPreset(fpEdge); }},
      {"E&mboss", "filterEmboss", [](TVantixProc& p) { p.ApplyFilterPreset(fpEmboss); }},
      {"Ma&ximum (dilate)", "filterMaximum", [](TVantixProc& p) { p.Maximum(1); }},
      {"M&inimum (erode)", "filterMinimum", [](TVantixProc& p) { p.Minimum(1); }},
      {"&Auto levels", "filterAutoLevels", [](TVantixProc& p) { p.HistAutoEqualize(); }},
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    if (i == 4) m->addSeparator();  // convolutions, then morphology and levels
    const TStep s = steps[i];
    AddAction(m, tr(s.text), s.name, {},
              [this, s] { Process(tr(s.text).remove('&'), s.run, /*needsTrueColour=*/true); });
  }
}

void TViewerWindow::BuildMouseMenu() {
  QMenu* mouse = AddMenu(tr("&Mouse"));
  // One mode at a time, shared with the Annotate tools; measuring a drag needs none.
  auto* group = modeGroup_ = new QActionGroup(this);
  group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  struct TMode {
    const char* text;
    const char* name;
    TVXMouseInteract set;
    int cursor;
  };
  const TMode modes[] = {
      {"&Rectangle selection", "mouseSelect", {miSelect}, crCross2},
      {"&Polygon selection", "mousePolygon", {miSelectPolygon}, crCross2},
      {"&Ellipse selection", "mouseEllipse", {miSelectCircle}, crCross2},
      {"&Zoom (left in, right out)", "mouseZoom", {miZoom}, crZoomPlus},
      {"Select and z&oom", "mouseSelectZoom", {miSelectZoom}, crZoomPlus},
      {"&Scroll", "mouseScroll", {miScroll}, crHand},
  };
  for (const TMode& m : modes) {
    const TVXMouseInteract set = m.set;
    const int cursor = m.cursor;
    QAction* a =
        AddAction(mouse, tr(m.text), m.name, {}, [this, set, cursor] { SetMode(set, cursor); });
    a->setCheckable(true);
    a->setChecked(m.set == view_->MouseInteract());
    group->addAction(a);
  }
}

// ============================== files ==============================

bool TViewerWindow::Open(const QString& fileName) {
  if (TMultipage::IsVideo(fileName)) return multipage_->OpenVideo(fileName);
  // Read into a bitmap of our own: a file that fails half-way must not replace the
  // picture on screen with what was decoded of it.
  TBitmap fresh;
  TVantixIO loader;
  loader.SetAttachedBitmap(&fresh);
  loader.OnProgress = TProgressEvent::Bind(this, &TViewerWindow::Progress);
  QString failure;
  try {
    // Metafiles are drawings, recognised by their extension: the loader draws them at
    // their own size. Everything else is told by its content.
    const QString ext = QFileInfo(fileName).suffix().toLower();
    if (ext == "wmf" || ext == "emf") {
      loader.LoadFromFile(fileName.toStdString());
    } else {
      TFileStream stream(fileName.toStdString(), fmOpenRead);
      loader.LoadFromStream(stream);
    }
    if (loader.Aborting() || fresh.Empty())
      failure = loader.LastError().empty() ? tr("not a picture this program reads")
                                           : QString::fromStdString(loader.LastError());
  } catch (const std::exception& e) {
    failure = QString::fromStdString(e.what());
  }
  progress_->hide();
  if (!failure.isEmpty()) {
    Report(tr("Cannot open %1: %2").arg(FileLabel(fileName), failure));
    return false;
  }
  // Pixels stay as the file stores them; a camera's or scanner's orientation tag says how
  // to turn them upright for showing.
  if (AutoOrient()) ApplyOrientation(fresh, loader.Params().TIFF_Orientation);
  view_->DeSelect();
  // Objects belong to the picture they were drawn on.
  view_->RemoveAllObjects();
  objectsFile_.clear();
  objectsModified_ = false;
  view_->Bitmap().Swap(fresh);
  view_->SetDPI(loader.Params().DpiX, loader.Params().DpiY);
  io_->Params().Assign(loader.Params());
  view_->Update();
  view_->ImageChange();
  proc_->ClearUndo();
  currentFile_ = QFileInfo(fileName).absoluteFilePath();
  modified_ = false;
  FitAfterOpen();
  AddRecent(currentFile_);
  UpdateTitle();
  ShowStatus();
  statusBar()->showMessage(tr("Opened %1").arg(FileLabel(fileName)), 3000);
  multipage_->FileOpened(currentFile_);
  return true;
}

bool TViewerWindow::OpenAsking(const QString& fileName) {
  return MaybeSave() && Open(fileName);
}

bool TViewerWindow::SaveAs(const QString& fileName) {
  QString failure;
  try {
    io_->SaveToFile(fileName.toStdString());
    if (io_->Aborting())
      failure = io_->LastError().empty() ? tr("the writer failed")
                                         : QString::fromStdString(io_->LastError());
  } catch (const std::exception& e) {
    failure = QString::fromStdString(e.what());
    if (!io_->LastError().empty()) failure += ": " + QString::fromStdString(io_->LastError());
  }
  progress_->hide();
  if (!failure.isEmpty()) {
    Report(tr("Cannot save %1: %2").arg(FileLabel(fileName), failure));
    return false;
  }
  currentFile_ = QFileInfo(fileName).absoluteFilePath();
  modified_ = false;
  AddRecent(currentFile_);
  UpdateTitle();
  statusBar()->showMessage(tr("Saved %1").arg(FileLabel(fileName)), 3000);
  return true;
}

bool TViewerWindow::Save() {
  if (view_->Bitmap().Empty()) return false;
  if (currentFile_.isEmpty() || !IsWritableExtension(QFileInfo(currentFile_).suffix()))
    return SaveAsDialog();
  return SaveAs(currentFile_);
}

bool TViewerWindow::SaveAsDialog() {
  if (view_->Bitmap().Empty()) return false;
  QString filter;
  const QString chosen = ChooseSaveFile(&filter);
  if (chosen.isEmpty()) return false;
  const QString name = WithFilterExtension(chosen, filter);
  // The dialog asked about replacing the name typed, not the one with the extension.
  if (name != chosen && QFile::exists(name) &&
      !AskYesNo(tr("%1 already exists. Replace it?").arg(FileLabel(name))))
    return false;
  return SaveAs(name);
}

bool TViewerWindow::MaybeSave() {
  if (objectsModified_ && view_->ObjectsCount() > 0) {
    switch (AskSaveObjectChanges()) {
      case QMessageBox::Save:
        if (!SaveObjectsDialog()) return false;
        break;
      case QMessageBox::Discard:
        break;
      default:
        return false;
    }
  }
  if (!modified_) return true;
  switch (AskSaveChanges()) {
    case QMessageBox::Save:
      return Save();
    case QMessageBox::Discard:
      return true;
    default:
      return false;
  }
}

bool TViewerWindow::OpenNeighbour(int step) {
  if (currentFile_.isEmpty()) return false;
  const QString next = NeighbourImage(currentFile_, step);
  if (next.isEmpty()) {
    statusBar()->showMessage(step > 0 ? tr("This is the last image of the folder")
                                      : tr("This is the first image of the folder"),
                             3000);
    return false;
  }
  return OpenAsking(next);
}

void TViewerWindow::SetModified(bool m) {
  modified_ = m;
  UpdateTitle();
}

bool TViewerWindow::AutoOrient() const {
  return settings_->value("autoOrient", true).toBool();
}

void TViewerWindow::SetAutoOrient(bool on) {
  settings_->setValue("autoOrient", on);
  if (QAction* a = Action("viewAutoOrient"); a && a->isChecked() != on) a->setChecked(on);
}

bool TViewerWindow::FitOnOpen() const {
  return settings_->value("fitOnOpen", true).toBool();
}

void TViewerWindow::SetFitOnOpen(bool on) {
  settings_->setValue("fitOnOpen", on);
  if (QAction* a = Action("viewFitOnOpen"); a && a->isChecked() != on) a->setChecked(on);
}

QStringList TViewerWindow::RecentFiles() const {
  return settings_->value("recentFiles").toStringList();
}

void TViewerWindow::AddRecent(const QString& fileName) {
  if (quiet_) return;
  QStringList files = RecentFiles();
  files.removeAll(fileName);
  files.prepend(fileName);
  while (files.size() > kMaxRecent) files.removeLast();
  settings_->setValue("recentFiles", files);
  RebuildRecentMenu();
}

// ============================== questions ==============================

QString TViewerWindow::ChooseOpenFile() {
  const QString folder = currentFile_.isEmpty() ? QString() : QFileInfo(currentFile_).path();
  return ChooseImageWithPreview(this, folder);
}

QString TViewerWindow::ChooseSaveFile(QString* filter) {
  return ChooseSaveNameWithPreview(this, *io_, currentFile_, filter);
}

QMessageBox::StandardButton TViewerWindow::AskSaveChanges() {
  const QString name = currentFile_.isEmpty() ? tr("The picture") : FileLabel(currentFile_);
  return QMessageBox::question(
      this, tr("Save changes?"), tr("%1 has been changed. Save the changes?").arg(name),
      QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
}

bool TViewerWindow::AskYesNo(const QString& question) {
  return QMessageBox::question(this, windowTitle(), question) == QMessageBox::Yes;
}

void TViewerWindow::ShowError(const QString& text) {
  QMessageBox::warning(this, tr("Vantix viewer"), text);
}

bool TViewerWindow::ChooseResize(TResizeRequest& request) {
  TResizeDialog dialog(view_->Bitmap().Width(), view_->Bitmap().Height(), this);
  if (dialog.exec() != QDialog::Accepted) return false;
  request = dialog.Request();
  return true;
}

bool TViewerWindow::ChooseBackground(TColor& colour) {
  return ChooseColour(colour, tr("Background colour"));
}

void TViewerWindow::Report(const QString& text) {
  statusBar()->showMessage(text, 10000);
  if (quiet_)
    std::fprintf(stderr, "vxviewer: %s\n", text.toLocal8Bit().constData());
  else
    ShowError(text);
}

// ============================== operations ==============================

void TViewerWindow::Process(const QString& what, const std::function<void(TVantixProc&)>& step,
                            bool needsTrueColour) {
  if (view_->Bitmap().Empty()) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  if (needsTrueColour && view_->Bitmap().PixelFormat() != pf24bit) proc_->ConvertTo24Bit();
  step(*proc_);
  QApplication::restoreOverrideCursor();
  progress_->hide();
  SetModified(true);
  ShowStatus();
  statusBar()->showMessage(what, 3000);
}

void TViewerWindow::Rotate(int degrees) {
  view_->DeSelect();
  const TPixelFormat pf = view_->Bitmap().PixelFormat();
  Process(
      tr("Rotated"), [degrees](TVantixProc& p) { p.Rotate(degrees, false); },
      pf != pf24bit && pf != pf1bit);
}

void TViewerWindow::Flip(TFlipDir direction) {
  view_->DeSelect();
  Process(tr("Flipped"), [direction](TVantixProc& p) { p.Flip(direction); });
}

void TViewerWindow::CropToSelection() {
  if (!view_->Selected()) return Report(tr("Select the part to keep first"));
  Process(tr("Cropped"), [](TVantixProc& p) { p.CropSel(); });
  view_->DeSelect();
  ShowStatus();
}

void TViewerWindow::ResizeImage() {
  if (view_->Bitmap().Empty()) return;
  TResizeRequest r;
  if (!ChooseResize(r) || r.width < 1 || r.height < 1) return;
  view_->DeSelect();
  if (r.resample) {
    // The filters work on true colour; two-colour images only stretch.
    const TPixelFormat pf = view_->Bitmap().PixelFormat();
    Process(
        tr("Resized"), [r](TVantixProc& p) { p.Resample(r.width, r.height, r.filter); },
        pf != pf24bit && pf != pf1bit);
  } else {
    Process(tr("Canvas resized"), [r](TVantixProc& p) { p.ImageResize(r.width, r.height); });
  }
}

void TViewerWindow::SelectImageRect(int x1, int y1, int x2, int y2) {
  view_->SelectBitmapRect(x1, y1, x2, y2);
  ShowStatus();
}

void TViewerWindow::SelectAll() {
  const TBitmap& b = view_->Bitmap();
  if (b.Empty()) return;
  SelectImageRect(0, 0, b.Width() - 1, b.Height() - 1);
}

void TViewerWindow::Deselect() {
  view_->CancelInteracts();
  view_->DeSelect();
  view_->UnSelAllObjects();
  ShowStatus();
}

void TViewerWindow::ChooseBackgroundColour() {
  TColor c = ColorToRGB(view_->Background());
  if (!ChooseBackground(c)) return;
  view_->SetBackground(c);
  settings_->setValue("background", static_cast<int>(c));
}

void TViewerWindow::SetMode(TVXMouseInteract mode, int cursor) {
  view_->SetMouseInteract({});
  view_->SetMouseInteract(mode);
  view_->SetCursor(cursor);
  SyncModeActions();
}

// ============================== zoom ==============================

int TViewerWindow::ZoomStep(int direction) const {
  return NextZoom(view_->Zoom(), direction);
}

void TViewerWindow::ZoomAboutCentre(int zoom) {
  view_->ZoomAt(view_->ClientWidth() / 2, view_->ClientHeight() / 2, zoom);
  ShowStatus();
}

void TViewerWindow::ZoomAboutPoint(QPoint p, int zoom) {
  if (zoom == view_->Zoom()) return;
  // The image position under p, unrounded, before and after.
  const double bx = (p.x() + view_->ViewX() - view_->OffsetX()) * 100.0 / view_->Zoom();
  const double by = (p.y() + view_->ViewY() - view_->OffsetY()) * 100.0 / view_->Zoom();
  view_->LockPaint();
  view_->SetZoom(zoom);
  const double f = view_->Zoom() / 100.0;
  view_->SetViewXY(static_cast<int>(std::lround(bx * f - (p.x() - view_->OffsetX()))),
                   static_cast<int>(std::lround(by * f - (p.y() - view_->OffsetY()))));
  view_->UnLockPaint();
  ShowPointer(p);
}

void TViewerWindow::FitAfterOpen() {
  const TBitmap& b = view_->Bitmap();
  const QSize room = view_->contentsRect().size();
  const bool large = b.Width() > room.width() || b.Height() > room.height();
  view_->SetViewXY(0, 0);
  if (FitOnOpen() && large && isVisible())
    Action("viewFit")->trigger();
  else
    view_->SetZoom(100);
}

bool TViewerWindow::WheelOnView(QWheelEvent* event) {
  const QPoint angle = event->angleDelta();
  if (event->modifiers() & Qt::ControlModifier) {
    // Touchpads send fractions of a notch: every event counts as at least one step.
    int notches = angle.y() / 120;
    if (notches == 0) notches = (angle.y() > 0) - (angle.y() < 0);
    int z = view_->Zoom();
    for (int i = 0; i < std::abs(notches); ++i) z = NextZoom(z, notches);
    ZoomAboutPoint(event->position().toPoint(), z);
    ShowStatus();
    return true;
  }
  // A sensible step: a few lines of a tenth of the client each, not 3 pixels a notch.
  QPoint delta = event->pixelDelta();
  if (delta.isNull()) {
    const int line = std::max(16, std::min(view_->ClientWidth(), view_->ClientHeight()) / 10);
    delta = angle * QApplication::wheelScrollLines() * line / 120;
  }
  if (event->modifiers() & Qt::ShiftModifier && delta.x() == 0) delta = QPoint(delta.y(), 0);
  view_->SetViewXY(view_->ViewX() - delta.x(), view_->ViewY() - delta.y());
  return true;
}

// ============================== status ==============================

bool TViewerWindow::ImagePixelAt(QPoint client, QPoint& pixel) const {
  const TBitmap& b = view_->Bitmap();
  if (b.Empty()) return false;
  const double z = view_->Zoom() / 100.0;
  const int x = static_cast<int>(std::floor((client.x() + view_->ViewX() - view_->OffsetX()) / z));
  const int y = static_cast<int>(std::floor((client.y() + view_->ViewY() - view_->OffsetY()) / z));
  if (x < 0 || y < 0 || x >= b.Width() || y >= b.Height()) return false;
  pixel = {x, y};
  return true;
}

void TViewerWindow::ShowPointer(QPoint client) {
  pointer_ = client;
  pointerInside_ = true;
  QPoint px;
  if (ImagePixelAt(client, px)) {
    status_[0]->setText(QString("%1, %2").arg(px.x()).arg(px.y()));
    const TColor c = ColorToRGB(view_->Bitmap().Canvas().Pixel(px.x(), px.y()));
    const int r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
    status_[1]->setText(
        QString("RGB %1 %2 %3  #%4")
            .arg(r)
            .arg(g)
            .arg(b)
            .arg(QString("%1").arg((r << 16) | (g << 8) | b, 6, 16, QChar('0')).toUpper()));
  } else {
    status_[0]->clear();
    status_[1]->clear();
  }
}

void TViewerWindow::ShowStatus() {
  const TBitmap& b = view_->Bitmap();
  status_[2]->setText(
      b.Empty()
          ? QString()
          : tr("%1 x %2, %3 bit").arg(b.Width()).arg(b.Height()).arg(StorageBits(b.PixelFormat())));
  status_[3]->setText(tr("%1 %").arg(view_->Zoom()));
  QString sel;
  if (view_->Selected() && view_->SelectionKind() != skNone) {
    const TRect r = view_->SelectionRect();
    sel = tr("%1 %2 x %3 at %4, %5")
              .arg(view_->SelectionKind() == skRectangle ? tr("selection") : tr("polygon"))
              .arg(r.right - r.left + 1)
              .arg(r.bottom - r.top + 1)
              .arg(r.left)
              .arg(r.top);
  }
  if (const int n = view_->SelObjectsCount(); n > 0) {
    const QString objects = n == 1 ? tr("1 object") : tr("%1 objects").arg(n);
    sel = sel.isEmpty() ? objects : sel + ", " + objects;
  }
  status_[4]->setText(sel);
  if (pointerInside_) ShowPointer(pointer_);
  UpdateActions();
}

QString TViewerWindow::StatusText(TStatusField field) const {
  return status_[static_cast<int>(field)]->text();
}

void TViewerWindow::UpdateTitle() {
  QString title = tr("Vantix viewer");
  const bool changed = modified_ || objectsModified_;
  if (!currentFile_.isEmpty() || changed) {
    const QString name = currentFile_.isEmpty() ? tr("untitled") : FileLabel(currentFile_);
    title = QString("%1%2 - %3").arg(name, changed ? "*" : "", title);
  }
  setWindowTitle(title);
}

void TViewerWindow::UpdateActions() {
  const bool image = !view_->Bitmap().Empty();
  const bool selected = view_->Selected();
  if (QAction* a = Action("imageCrop")) a->setEnabled(selected);
  if (QAction* a = Action("editClear")) a->setEnabled(selected || view_->SelObjectsCount() > 0);
  if (QAction* a = Action("editUndo")) a->setEnabled(proc_ && proc_->CanUndo());
  for (const char* name : {"fileSave", "fileSaveAs", "imageResize"})
    if (QAction* a = Action(name)) a->setEnabled(image);
}

void TViewerWindow::Progress(TObject*, int percent) {
  progress_->setVisible(percent < 100);
  progress_->setValue(percent);
  // Let the bar repaint during long work on this thread.
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TViewerWindow::ViewChanged(TObject*, int) {
  ShowStatus();
}

void TViewerWindow::SelectionChanged(TObject*) {
  ShowStatus();
}

void TViewerWindow::SelectionDone(TObject*) {
  // A plain click in selection mode deselects, as people expect.
  if (clickRelease_) view_->DeSelect();
  clickRelease_ = false;
  ShowStatus();
}

// ============================== events ==============================

bool TViewerWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched != view_->viewport()) return QMainWindow::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::MouseMove:
      ShowPointer(static_cast<QMouseEvent*>(event)->position().toPoint());
      break;
    case QEvent::Leave:
      pointerInside_ = false;
      status_[0]->clear();
      status_[1]->clear();
      break;
    case QEvent::MouseButtonPress:
      pressPoint_ = static_cast<QMouseEvent*>(event)->position().toPoint();
      clickRelease_ = false;
      break;
    case QEvent::MouseButtonRelease: {
      auto* e = static_cast<QMouseEvent*>(event);
      clickRelease_ = e->button() == Qt::LeftButton && e->position().toPoint() == pressPoint_;
      break;
    }
    case QEvent::Wheel:
      return WheelOnView(static_cast<QWheelEvent*>(event));
    default:
      break;
  }
  return false;
}

void TViewerWindow::closeEvent(QCloseEvent* event) {
  if (MaybeSave())
    event->accept();
  else
    event->ignore();
}

void TViewerWindow::dragEnterEvent(QDragEnterEvent* event) {
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) return event->acceptProposedAction();
}

void TViewerWindow::dropEvent(QDropEvent* event) {
  for (const QUrl& url : event->mimeData()->urls()) {
    if (!url.isLocalFile()) continue;
    event->acceptProposedAction();
    OpenAsking(url.toLocalFile());
    return;
  }
}

}  // namespace vxviewer
