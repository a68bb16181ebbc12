#include "multipage.h"

#include <QAction>
#include <QDir>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QStatusBar>

#include "acquire/twainparams.h"
#include "imagefiles.h"
#include "io/vantixio.h"
#include "viewerwindow.h"

using namespace vx;

namespace vxviewer {

namespace {

QString Extension(const QString& fileName) {
  return QFileInfo(fileName).suffix().toLower();
}

// Pages of a file the picture side opens: more than one means a strip is worth showing.
int PageCount(const QString& fileName) {
  const QString ext = Extension(fileName);
  try {
    if (ext == "gif") return EnumGifIm(fileName.toStdString());
    if (ext == "tif" || ext == "tiff") return EnumTIFFIm(fileName.toStdString());
  } catch (const std::exception&) {
  }
  return 0;
}

}  // namespace

TMultipage::TMultipage(TViewerWindow& window) : QObject(&window), window_(window) {
  dock_ = new QDockWidget(tr("Pages"), &window);
  dock_->setObjectName("pagesDock");
  strip_ = new TVantixMView(dock_);
  strip_->setObjectName("pagesStrip");
  strip_->SetScrollBars(ssVertical);
  strip_->SetGridWidth(1);
  strip_->setMinimumWidth(130);
  dock_->setWidget(strip_);
  window.addDockWidget(Qt::LeftDockWidgetArea, dock_);
  dock_->hide();
  mio_.SetAttachedMView(strip_);
  mio_.AVIAskCompressor = true;  // the user picks how a video is compressed
  mio_.OnProgress = TProgressEvent::Bind(&window_, &TViewerWindow::Progress);
  // Thumbnails load while the strip paints: no progress bar (which runs the event loop).
  strip_->OnImageSelect = TVXImageSelectEvent::Bind(this, &TMultipage::ImageSelected);
  strip_->OnImageDraw = TVXImageDrawEvent::Bind(this, &TMultipage::FrameDrawn);
  BuildMenu();
}

void TMultipage::BuildMenu() {
  QMenu* m = window_.AddMenu(tr("&Pages"));
  play_ = window_.AddAction(m, tr("&Play"), "pagesPlay", {QKeySequence(Qt::Key_F5)},
                            [this] { SetPlaying(!strip_->Playing()); });
  play_->setCheckable(true);
  saveAll_ = window_.AddAction(m, tr("&Save all pages..."), "pagesSaveAll", {}, [this] {
    const QString name = QFileDialog::getSaveFileName(
        &window_, tr("Save all pages"), QString(),
        tr("Multi-page TIFF (*.tif *.tiff);;Animated GIF (*.gif);;AVI video (*.avi)"));
    if (!name.isEmpty()) SaveAllPages(name);
  });
  window_.AddAction(m, tr("&Browse folder..."), "pagesBrowse", {}, [this] {
    const QString dir = QFileDialog::getExistingDirectory(&window_, tr("Browse folder"));
    if (!dir.isEmpty()) BrowseFolder(dir);
  });
  window_.AddAction(m, tr("&Hide strip"), "pagesHide", {}, [this] {
    SetPlaying(false);
    dock_->hide();
  });
}

QString TMultipage::Run(const std::function<void()>& operation) {
  QString failure;
  try {
    operation();
    if (mio_.Aborting()) failure = QString::fromStdString(mio_.LastError());
  } catch (const std::exception& e) {
    failure = QString::fromStdString(e.what());
  }
  window_.progress_->hide();
  return failure;
}

bool TMultipage::IsVideo(const QString& fileName) {
  return Extension(fileName) == "avi";
}

void TMultipage::ShowStrip(bool grid) {
  strip_->SetGridWidth(grid ? -1 : 1);
  strip_->setMinimumWidth(grid ? 3 * 104 + 4 + 20 : 130);
  play_->setEnabled(!grid);
  saveAll_->setEnabled(!grid);
  dock_->setWindowTitle(grid ? tr("Folder") : tr("Pages"));
  dock_->show();
}

// Every page into the strip (whole images, so that saving them all loses nothing).
bool TMultipage::LoadPages(const QString& fileName) {
  SetPlaying(false);
  browsing_ = false;
  strip_->Clear();
  strip_->SetStoreType(vxtNormal);
  const QString failure = Run([&] { mio_.LoadFromFile(fileName.toStdString()); });
  if (strip_->ImageCount() == 0) {
    window_.Report(
        tr("Cannot open %1: %2")
            .arg(QFileInfo(fileName).fileName(), failure.isEmpty() ? tr("no pages") : failure));
    return false;
  }
  // Pages read before a failure are worth showing; say that the rest are missing.
  if (!failure.isEmpty())
    window_.statusBar()->showMessage(
        tr("Only %1 pages read: %2").arg(strip_->ImageCount()).arg(failure), 10000);
  return true;
}

bool TMultipage::AcquirePages(const TVXTWainParams& settings) {
  SetPlaying(false);
  browsing_ = false;
  strip_->Clear();
  strip_->SetStoreType(vxtNormal);
  mio_.TWainParams().Assign(settings);
  const QString failure = Run([&] { mio_.Acquire(); });
  if (strip_->ImageCount() == 0) {
    if (!failure.isEmpty()) window_.Report(tr("Scanning failed: %1").arg(failure));
    return false;
  }
  window_.view_->DeSelect();
  window_.view_->RemoveAllObjects();
  strip_->SetSelectedImage(0);  // shows it
  window_.currentFile_.clear();
  window_.SetModified(true);
  window_.UpdateTitle();
  ShowStrip(false);
  window_.statusBar()->showMessage(tr("%n page(s) scanned", nullptr, strip_->ImageCount()), 10000);
  // Pages scanned before a failure are kept; say why the rest are missing.
  if (!failure.isEmpty()) window_.Report(tr("Scanning stopped early: %1").arg(failure));
  return true;
}

bool TMultipage::OpenVideo(const QString& fileName) {
  if (!LoadPages(fileName)) return false;
  window_.view_->DeSelect();
  window_.view_->RemoveAllObjects();
  strip_->SetSelectedImage(0);  // shows it
  window_.currentFile_ = QFileInfo(fileName).absoluteFilePath();
  window_.modified_ = false;
  window_.AddRecent(window_.currentFile_);
  window_.UpdateTitle();
  ShowStrip(false);
  return true;
}

void TMultipage::FileOpened(const QString& fileName) {
  if (openingFromGrid_) return;
  if (PageCount(fileName) > 1 && LoadPages(fileName)) {
    // The picture side shows page 0 already, turned upright: select it quietly.
    openingFromGrid_ = true;
    strip_->SetSelectedImage(0);
    openingFromGrid_ = false;
    ShowStrip(false);
    return;
  }
  SetPlaying(false);
  browsing_ = false;
  strip_->Clear();
  dock_->hide();
}

bool TMultipage::SaveAllPages(const QString& fileName) {
  if (browsing_ || strip_->ImageCount() == 0) return false;
  SetPlaying(false);
  QString failure = Run([&] { mio_.SaveToFile(fileName.toStdString()); });
  const QString ext = Extension(fileName);
  if (failure.isEmpty() && ext != "gif" && ext != "tif" && ext != "tiff" && ext != "avi")
    failure = tr("pages are saved as .tif, .gif or .avi");
  if (!failure.isEmpty()) {
    window_.Report(tr("Cannot save %1: %2").arg(QFileInfo(fileName).fileName(), failure));
    return false;
  }
  window_.statusBar()->showMessage(
      tr("Saved %1 pages to %2").arg(strip_->ImageCount()).arg(QFileInfo(fileName).fileName()),
      3000);
  return true;
}

int TMultipage::BrowseFolder(const QString& folder) {
  SetPlaying(false);
  strip_->Clear();
  // Only thumbnails are kept, read at reduced size as their cells come into sight.
  strip_->SetStoreType(vxtThumb);
  browsing_ = true;
  strip_->LockPaint();
  for (const QString& name : ImageFilesInFolder(folder)) {
    const int i = strip_->AppendImage();
    strip_->SetImageFileName(i, QFileInfo(QDir(folder), name).absoluteFilePath().toStdString());
  }
  strip_->Deselect();
  strip_->UnLockPaint();
  ShowStrip(true);
  return strip_->ImageCount();
}

void TMultipage::SetPlaying(bool on) {
  if (on && (browsing_ || strip_->ImageCount() == 0)) on = false;
  strip_->SetPlaying(on);
  play_->setChecked(strip_->Playing());
  lastShown_ = -1;
}

void TMultipage::ShowImage(int index) {
  TBitmap* b = strip_->GetBitmap(index);
  if (b) {
    TVantixVect& view = *window_.view_;
    view.DeSelect();
    view.Bitmap().Assign(*b);
    view.Update();
    view.ImageChange();
    window_.proc_->ClearUndo();
    window_.ShowStatus();
  }
  strip_->ReleaseBitmap(index);
  lastShown_ = index;
}

void TMultipage::ImageSelected(TObject*, int index) {
  if (openingFromGrid_ || index < 0) return;
  if (!browsing_) {
    ShowImage(index);
    return;
  }
  openingFromGrid_ = true;
  window_.OpenAsking(QString::fromStdString(strip_->ImageFileName(index)));
  openingFromGrid_ = false;
}

// While playing, the picture follows the frames.
void TMultipage::FrameDrawn(TObject*, int index, int, int, QPainter&) {
  if (strip_->Playing() && index != lastShown_) ShowImage(index);
}

}  // namespace vxviewer
