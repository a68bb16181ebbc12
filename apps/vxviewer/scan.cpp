// The viewer's scanning: choosing a source, acquiring one picture into the view, and
// acquiring a feeder's pages into the strip of pages.
#include <QMenu>
#include <QStatusBar>

#include "acquire/twainparams.h"
#include "io/vantixio.h"
#include "multipage.h"
#include "viewerwindow.h"

namespace vxviewer {

using namespace vx;

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
  return multipage_->AcquirePages(io_->TWainParams());
}

}  // namespace vxviewer
