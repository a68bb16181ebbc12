// The viewer's Process menu: Adjust... opens the processing preview dialog on the
// selection (or the whole picture), and a Histogram panel follows the picture through
// every change. Colours the viewer asks for are chosen in the HSV box.
#include <QDockWidget>
#include <QMenu>
#include <QStatusBar>

#include "controls/histogrambox.h"
#include "dialogs/hsvcolordialog.h"
#include "viewerwindow.h"

using namespace vx;

namespace vxviewer {

void TViewerWindow::BuildProcessMenu() {
  QMenu* m = AddMenu(tr("&Process"));
  AddAction(m, tr("&Adjust..."), "processAdjust", {QKeySequence(Qt::CTRL | Qt::Key_J)},
            [this] { AdjustImage(); });

  auto* dock = new QDockWidget(tr("Histogram"), this);
  dock->setObjectName("histogramPanel");
  histogram_ = new THistogramBox(dock);
  histogram_->setObjectName("histogram");
  histogram_->setMinimumSize(280, 140);
  histogram_->SetHistogramKindFlags(THistogramBox::hkRed | THistogramBox::hkGreen |
                                    THistogramBox::hkBlue | THistogramBox::hkGray);
  histogram_->SetHistogramStyle(THistogramBox::hsLines);
  histogram_->SetAttachedVantixProc(proc_.get());
  dock->setWidget(histogram_);
  addDockWidget(Qt::RightDockWidgetArea, dock);
  dock->hide();
  QAction* toggle = dock->toggleViewAction();
  toggle->setObjectName("processHistogram");
  toggle->setText(tr("&Histogram"));
  m->addAction(toggle);
  connect(dock, &QDockWidget::visibilityChanged, this, [this](bool shown) {
    if (shown) histogram_->Update();
  });

  // Every change of the picture (processing, loading, undo) ends in the view's image
  // change; the panel recounts then, if it is shown.
  TNotifyEvent previous = view_->OnImageChange;
  view_->OnImageChange = [this, previous, dock](TObject* sender) {
    previous(sender);
    if (dock->isVisible()) histogram_->Update();
  };
}

void TViewerWindow::AdjustImage() {
  if (view_->Bitmap().Empty()) return;
  // The dialog works on true colour; a cancelled dialog leaves the picture as it was.
  const bool converted = view_->Bitmap().PixelFormat() == pf1bit && proc_->AutoUndo();
  if (converted) proc_->ConvertTo24Bit();
  if (view_->Bitmap().PixelFormat() != pf24bit)
    return Report(tr("Adjust works on true-colour and two-colour pictures"));
  if (!proc_->DoPreviews({peAll})) {
    if (converted) proc_->Undo();
    return;
  }
  SetModified(true);
  ShowStatus();
  statusBar()->showMessage(tr("Adjusted"), 3000);
}

bool TViewerWindow::ChooseColour(TColor& colour, const QString& title) {
  return THSVColorDialog::Choose(this, colour, title);
}

}  // namespace vxviewer
