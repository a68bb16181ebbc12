#include "viewerwindow.h"

#include <QActionGroup>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QStatusBar>

#include "platform/exceptions.h"
#include "platform/stream.h"

namespace vxviewer {

using namespace vx;

TViewerWindow::TViewerWindow() {
  setWindowTitle("Vantix viewer");
  view_ = new TVantixView(this);
  view_->SetScrollBars(ssBoth);
  view_->SetCenter(true);
  view_->SetBackground(clGray);
  view_->SetMouseInteract({miZoom, miSelect});
  setCentralWidget(view_);
  io_ = std::make_unique<TVantixIO>();
  io_->SetAttachedVantix(view_);
  proc_ = std::make_unique<TVantixProc>();
  proc_->SetAttachedVantix(view_);
  io_->OnProgress = TProgressEvent::Bind(this, &TViewerWindow::Progress);
  proc_->OnProgress = TProgressEvent::Bind(this, &TViewerWindow::Progress);
  view_->OnViewChange = TViewChangeEvent::Bind(this, &TViewerWindow::ViewChanged);
  view_->OnSelectionChange = TNotifyEvent::Bind(this, &TViewerWindow::SelectionChanged);
  view_->OnSelectionChanging = TNotifyEvent::Bind(this, &TViewerWindow::SelectionChanged);

  status_ = new QLabel(this);
  progress_ = new QProgressBar(this);
  progress_->setRange(0, 100);
  progress_->setMaximumWidth(160);
  progress_->hide();
  statusBar()->addWidget(status_, 1);
  statusBar()->addPermanentWidget(progress_);
  BuildMenus();
  resize(800, 600);
  ShowStatus();
}

TViewerWindow::~TViewerWindow() {
  // The components go first; they must not outlive the view they point to... and
  // if they did, its destruction notice would clear them anyway.
  proc_.reset();
  io_.reset();
}

bool TViewerWindow::Open(const std::string& fileName) {
  try {
    TFileStream stream(fileName, fmOpenRead);
    io_->LoadFromStream(stream);
  } catch (const std::exception& e) {
    statusBar()->showMessage(QString::fromStdString(e.what()), 5000);
    return false;
  }
  progress_->hide();
  if (io_->Aborting()) {
    statusBar()->showMessage(
        tr("Cannot read %1: %2")
            .arg(QString::fromStdString(fileName), QString::fromStdString(io_->LastError())),
        10000);
    return false;
  }
  proc_->ClearUndo();
  setWindowTitle(QString("Vantix viewer - %1").arg(QString::fromStdString(fileName)));
  ShowStatus();
  return true;
}

bool TViewerWindow::Save(const std::string& fileName) {
  try {
    io_->SaveToFile(fileName);
  } catch (const std::exception& e) {
    QString text = QString::fromStdString(e.what());
    if (!io_->LastError().empty()) text += ": " + QString::fromStdString(io_->LastError());
    statusBar()->showMessage(text, 10000);
    return false;
  }
  progress_->hide();
  if (io_->Aborting()) {
    statusBar()->showMessage(
        tr("Cannot write %1: %2")
            .arg(QString::fromStdString(fileName), QString::fromStdString(io_->LastError())),
        10000);
    return false;
  }
  return true;
}

void TViewerWindow::OpenDialog() {
  const QString name = QFileDialog::getOpenFileName(
      this, tr("Open image"), {},
      tr("Images (*.bmp *.dib *.ico *.cur *.pcx *.gif *.tif *.tiff *.jpg *.jpeg *.png);;"
         "All files (*)"),
      nullptr, QFileDialog::DontUseNativeDialog);
  if (!name.isEmpty()) Open(name.toStdString());
}

void TViewerWindow::SaveDialog() {
  const QString name = QFileDialog::getSaveFileName(
      this, tr("Save image"), {},
      tr("PNG (*.png);;JPEG (*.jpg);;TIFF (*.tif);;GIF (*.gif);;PCX (*.pcx);;BMP (*.bmp)"), nullptr,
      QFileDialog::DontUseNativeDialog);
  if (!name.isEmpty()) Save(name.toStdString());
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

void TViewerWindow::ShowStatus() {
  const TBitmap& b = view_->Bitmap();
  QString s = tr("%1 x %2  zoom %3 %").arg(b.Width()).arg(b.Height()).arg(view_->Zoom());
  if (view_->Selected())
    s += tr("  selection (%1, %2)-(%3, %4)")
             .arg(view_->SelX1())
             .arg(view_->SelY1())
             .arg(view_->SelX2())
             .arg(view_->SelY2());
  status_->setText(s);
}

void TViewerWindow::SetMode(TVXMouseInteract mode, int cursor) {
  view_->SetMouseInteract({});
  view_->SetMouseInteract(mode);
  view_->SetCursor(cursor);
}

template <class F>
void TViewerWindow::Process(F&& f) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  f(*proc_);
  QApplication::restoreOverrideCursor();
  progress_->hide();
  ShowStatus();
}

void TViewerWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  file->addAction(tr("&Open..."), QKeySequence::Open, this, &TViewerWindow::OpenDialog);
  file->addAction(tr("Save &as..."), QKeySequence::SaveAs, this, &TViewerWindow::SaveDialog);
  file->addSeparator();
  file->addAction(tr("&Quit"), QKeySequence::Quit, this, &QWidget::close);

  QMenu* edit = menuBar()->addMenu(tr("&Edit"));
  edit->addAction(tr("&Undo"), QKeySequence::Undo, this, [this] {
    if (proc_->CanUndo()) Process([](TVantixProc& p) { p.Undo(); });
  });
  edit->addSeparator();
  edit->addAction(tr("&Copy"), QKeySequence::Copy, this, [this] {
    if (view_->Selected())
      proc_->SelCopyToClip();
    else
      proc_->CopyToClipboard();
  });
  edit->addAction(tr("&Paste"), QKeySequence::Paste, this, [this] {
    view_->DeSelect();
    Process([](TVantixProc& p) { p.PasteFromClipboard(); });
  });
  edit->addSeparator();
  edit->addAction(tr("Select &all"), QKeySequence::SelectAll, this, [this] {
    view_->SetSelectionBase(vxsbBitmap);
    view_->Select(0, 0, view_->Bitmap().Width(), view_->Bitmap().Height());
    view_->SetSelectionBase(vxsbClientArea);
    ShowStatus();
  });
  edit->addAction(tr("&Deselect"), this, [this] {
    view_->DeSelect();
    ShowStatus();
  });

  QMenu* viewMenu = menuBar()->addMenu(tr("&View"));
  viewMenu->addAction(tr("Zoom &in"), QKeySequence::ZoomIn, this,
                      [this] { view_->SetZoom(view_->Zoom() + (view_->Zoom() >= 100 ? 50 : 10)); });
  viewMenu->addAction(tr("Zoom &out"), QKeySequence::ZoomOut, this, [this] {
    const int z = view_->Zoom();
    view_->SetZoom(z > 100 ? z - 50 : std::max(1, z - 10));
  });
  viewMenu->addAction(tr("&Fit"), this, [this] { view_->Fit(); });
  viewMenu->addAction(tr("&100 %"), this, [this] { view_->SetZoom(100); });
  viewMenu->addSeparator();
  QAction* center = viewMenu->addAction(tr("&Centre"));
  center->setCheckable(true);
  center->setChecked(view_->Center());
  connect(center, &QAction::toggled, this, [this](bool on) { view_->SetCenter(on); });
  QAction* bars = viewMenu->addAction(tr("&Scroll bars"));
  bars->setCheckable(true);
  bars->setChecked(true);
  connect(bars, &QAction::toggled, this,
          [this](bool on) { view_->SetScrollBars(on ? ssBoth : ssNone); });

  QMenu* bg = viewMenu->addMenu(tr("&Background"));
  auto* bgGroup = new QActionGroup(this);
  const char* styles[] = {
      "Solid", "Horizontal",     "Vertical",   "Forward diagonal", "Backward diagonal",
      "Cross", "Diagonal cross", "Chessboard", "Diagonals"};
  for (int i = 0; i < 9; ++i) {
    QAction* a = bg->addAction(tr(styles[i]));
    a->setCheckable(true);
    a->setChecked(i == 0);
    bgGroup->addAction(a);
    connect(a, &QAction::triggered, this,
            [this, i] { view_->SetBackgroundStyle(static_cast<TVXBackgroundStyle>(i)); });
  }
  QMenu* filter = viewMenu->addMenu(tr("Smooth &zoom"));
  auto* filterGroup = new QActionGroup(this);
  const char* filters[] = {"None",     "Triangle",  "Hermite", "Bell",
                           "B-spline", "Lanczos 3", "Mitchell"};
  for (int i = 0; i < 7; ++i) {
    QAction* a = filter->addAction(tr(filters[i]));
    a->setCheckable(true);
    a->setChecked(i == 0);
    filterGroup->addAction(a);
    connect(a, &QAction::triggered, this, [this, i] {
      view_->DeferZoomFilter = i != 0;
      view_->SetZoomFilter(static_cast<TResampleFilter>(i));
    });
  }

  QMenu* mouse = menuBar()->addMenu(tr("&Mouse"));
  auto* modeGroup = new QActionGroup(this);
  struct Mode {
    const char* name;
    TVXMouseInteract set;
    int cursor;
  };
  const Mode modes[] = {{"&Scroll", {miScroll}, crHand},
                        {"&Zoom", {miZoom}, crZoomPlus},
                        {"&Rectangle selection", {miZoom, miSelect}, crCross2},
                        {"&Polygon selection", {miSelectPolygon}, crCross2},
                        {"&Ellipse selection", {miSelectCircle}, crCross2},
                        {"Select and z&oom", {miSelectZoom}, crZoomPlus}};
  for (const Mode& m : modes) {
    QAction* a = mouse->addAction(tr(m.name));
    a->setCheckable(true);
    a->setChecked(m.set == view_->MouseInteract());
    modeGroup->addAction(a);
    const TVXMouseInteract set = m.set;
    const int cursor = m.cursor;
    connect(a, &QAction::triggered, this, [this, set, cursor] { SetMode(set, cursor); });
  }

  QMenu* process = menuBar()->addMenu(tr("&Process"));
  process->addAction(tr("&Negative"), this,
                     [this] { Process([](TVantixProc& p) { p.Negative(); }); });
  process->addAction(tr("&Grey"), this,
                     [this] { Process([](TVantixProc& p) { p.ConvertToGray(); }); });
  process->addAction(tr("More &contrast"), this,
                     [this] { Process([](TVantixProc& p) { p.Contrast(20); }); });
  process->addAction(tr("Less c&ontrast"), this,
                     [this] { Process([](TVantixProc& p) { p.Contrast(-20); }); });
  process->addAction(tr("&Brighter"), this,
                     [this] { Process([](TVantixProc& p) { p.IntensityRGBall(20, 20, 20); }); });
  process->addAction(tr("&Darker"), this,
                     [this] { Process([](TVantixProc& p) { p.IntensityRGBall(-20, -20, -20); }); });
  process->addAction(tr("&Saturate"), this,
                     [this] { Process([](TVantixProc& p) { p.HSVvar(0, 30, 0); }); });
  process->addAction(tr("&Clear selection"), this,
                     [this] { Process([](TVantixProc& p) { p.ClearSel(); }); });
  process->addSeparator();
  process->addAction(tr("&Two colours (ordered)"), this,
                     [this] { Process([](TVantixProc& p) { p.ConvertToBWOrdered(); }); });
  process->addAction(tr("&256 colours"), this,
                     [this] { Process([](TVantixProc& p) { p.ConvertTo(256); }); });
  process->addAction(tr("T&rue colour"), this,
                     [this] { Process([](TVantixProc& p) { p.ConvertTo24Bit(); }); });
  process->addAction(tr("&Half size (Lanczos 3)"), this, [this] {
    view_->DeSelect();
    const int w = view_->Bitmap().Width() / 2;
    Process([w](TVantixProc& p) { p.Resample(std::max(1, w), -1, rfLanczos3); });
  });
}

}  // namespace vxviewer
