// The viewer's scanning: choosing a source, acquiring one picture into the view, and
// acquiring a feeder's pages. Until the viewer has a thumbnail strip, the pages go to a
// multi-page TIFF in the temporary folder, which is then opened (its first page shown).
#include <QDateTime>
#include <QDir>
#include <QMenu>
#include <QProgressBar>
#include <QStandardPaths>
#include <QStatusBar>
#include <memory>
#include <vector>

#include "acquire/imscan.h"
#include "acquire/twainparams.h"
#include "io/ioparams.h"
#include "io/vantixio.h"
#include "platform/bitmap.h"
#include "platform/exceptions.h"
#include "viewerwindow.h"

namespace vxviewer {

using namespace vx;

namespace {

// Writes the pages to one TIFF, the first as a new file and the others appended.
bool WriteTiffPages(std::vector<TBitmap>& pages,
                    std::vector<std::unique_ptr<TIOParamsVals>>& params,
                    const std::string& fileName, std::string& why) {
  TVantixIO io;
  try {
    for (size_t i = 0; i < pages.size(); ++i) {
      io.SetAttachedBitmap(&pages[i]);
      io.Params().Assign(*params[i]);
      io.Params().TIFF_ImageIndex = static_cast<int>(i);
      if (i == 0)
        io.SaveToFileTIFF(fileName);
      else
        io.InsertToFileTIFF(fileName);
      if (io.Aborting()) {
        why = io.LastError();
        return false;
      }
    }
  } catch (const EVXError& e) {
    why = e.what();
    return false;
  }
  return true;
}

}  // namespace

void TViewerWindow::BuildScanActions(QMenu* file) {
  AddAction(file, tr("Select so&urce..."), "fileSelectSource", {}, [this] {
    if (!io_->SelectAcquireSource()) return;
    statusBar()->showMessage(tr("Scanner: %1")
                                 .arg(QString::fromStdString(io_->TWainParams().GetSourceName(
                                     io_->TWainParams().SelectedSource()))),
                             10000);
  });
  AddAction(file, tr("&Acquire..."), "fileAcquire", {}, [this] { AcquireImage(); });
  AddAction(file, tr("Acquire &pages..."), "fileAcquirePages", {}, [this] { AcquirePages(); });
}

bool TViewerWindow::AcquireImage() {
  if (!MaybeSave()) return false;
  if (!io_->Acquire()) {
    if (!io_->LastError().empty())
      ShowError(tr("Scanning failed: %1").arg(QString::fromStdString(io_->LastError())));
    return false;
  }
  currentFile_.clear();
  SetModified(true);
  FitAfterOpen();
  UpdateTitle();
  ShowStatus();
  return true;
}

bool TViewerWindow::AcquirePages() {
  if (!MaybeSave()) return false;
  std::vector<TBitmap> pages;
  std::vector<std::unique_ptr<TIOParamsVals>> params;
  bool aborting = false;
  TFailure failure;
  TProgressRec pr;
  pr.ProgressEvent = TProgressEvent::Bind(this, &TViewerWindow::Progress);
  pr.Aborting = &aborting;
  pr.Failure = &failure;
  TVXTWainParams& tw = io_->TWainParams();
  VXTW_Acquire(reinterpret_cast<TWindowHandle>(this), nullptr, true, pr, nullptr, tw,
               [&](TBitmap& page, TIOParamsVals*& p) {
                 pages.push_back(page);
                 params.push_back(std::make_unique<TIOParamsVals>());
                 p = params.back().get();
               });
  progress_->hide();
  if (pages.empty()) {
    if (!tw.LastError().empty())
      ShowError(tr("Scanning failed: %1").arg(QString::fromStdString(tw.LastError())));
    return false;
  }
  const QString dir = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
  const QString name = QDir(dir).filePath(
      QString("scan-%1.tif").arg(QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss")));
  std::string why;
  if (!WriteTiffPages(pages, params, name.toStdString(), why)) {
    ShowError(tr("The scanned pages could not be written to %1: %2")
                  .arg(name, QString::fromStdString(why)));
    return false;
  }
  if (!Open(name)) return false;
  statusBar()->showMessage(
      tr("%n page(s) scanned to %1", nullptr, static_cast<int>(pages.size())).arg(name), 10000);
  if (!tw.LastError().empty())
    ShowError(tr("Scanning stopped early: %1").arg(QString::fromStdString(tw.LastError())));
  return true;
}

}  // namespace vxviewer
