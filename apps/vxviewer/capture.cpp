// The viewer's Capture window: live video from a capture driver, freezing a frame,
// recording AVI files, the driver's four dialogs, and copying a frozen frame into the
// main picture.
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "acquire/vxcapview.h"
#include "viewerwindow.h"

namespace vxviewer {

using namespace vx;

namespace {

class TCapturePanel : public QWidget {
 public:
  TCapturePanel(TViewerWindow* viewer) : QWidget(viewer, Qt::Window), viewer_(viewer) {
    setObjectName("capturePanel");
    setWindowTitle(tr("Capture"));
    auto* layout = new QVBoxLayout(this);
    drivers_ = new QComboBox(this);
    drivers_->setObjectName("captureDrivers");
    video_ = new TVantixVideoView(this);
    video_->setMinimumSize(320, 240);
    for (const std::string& d : video_->VideoSourceList)
      drivers_->addItem(QString::fromStdString(d));
    layout->addWidget(drivers_);
    layout->addWidget(video_, 1);

    auto* row = new QHBoxLayout;
    show_ = Button(row, tr("Show video"), "captureShow", true);
    freeze_ = Button(row, tr("Freeze"), "captureFreeze", true);
    record_ = Button(row, tr("Record..."), "captureRecord", true);
    copy_ = Button(row, tr("Copy to picture"), "captureCopy", false);
    layout->addLayout(row);
    auto* dialogs = new QHBoxLayout;
    layout->addLayout(dialogs);
    status_ = new QLabel(this);
    layout->addWidget(status_);

    connect(drivers_, &QComboBox::currentIndexChanged, this,
            [this](int i) { Guard([&] { video_->SetVideoSource(i); }); });
    connect(show_, &QPushButton::toggled, this, [this](bool on) {
      Guard([&] { video_->SetShowVideo(on); });
      Sync();
    });
    connect(freeze_, &QPushButton::toggled, this, [this](bool on) {
      Guard([&] { video_->SetFrozen(on); });
      Sync();
    });
    connect(record_, &QPushButton::toggled, this, [this](bool on) { Record(on); });
    connect(copy_, &QPushButton::clicked, this, [this] { CopyToPicture(); });
    const struct {
      const char* text;
      const char* name;
      bool (TVantixVideoView::*run)();
    } kDialogs[] = {
        {"Source...", "captureSource", &TVantixVideoView::DoConfigureSource},
        {"Format...", "captureFormat", &TVantixVideoView::DoConfigureFormat},
        {"Display...", "captureDisplay", &TVantixVideoView::DoConfigureDisplay},
        {"Compression...", "captureCompression", &TVantixVideoView::DoConfigureCompression}};
    for (const auto& d : kDialogs) {
      QPushButton* b = Button(dialogs, tr(d.text), d.name, false);
      const auto run = d.run;
      connect(b, &QPushButton::clicked, this, [this, run] { (video_->*run)(); });
    }
    resize(700, 600);
    Sync();
  }

  TVantixVideoView& Video() { return *video_; }

  // Starts or stops a recording into fileName (asked for when empty).
  void Record(bool on, QString fileName = {}) {
    if (!on) {
      video_->StopRecord();
      Sync();
      return;
    }
    if (fileName.isEmpty())
      fileName = QFileDialog::getSaveFileName(this, tr("Record video"), "Capture.avi",
                                              tr("AVI files (*.avi)"));
    if (fileName.isEmpty()) {
      Sync();
      return;
    }
    video_->RecordFileName = fileName.toStdString();
    Guard([&] {
      if (!video_->ShowVideo()) video_->SetShowVideo(true);
      video_->StartRecord();
    });
    Sync();
  }

  void CopyToPicture() {
    if (!video_->Frozen()) return;
    viewer_->View().Assign(&video_->Bitmap());
    viewer_->SetModified(true);
    viewer_->statusBar()->showMessage(tr("Frozen frame copied into the picture"), 3000);
  }

 private:
  QPushButton* Button(QHBoxLayout* row, const QString& text, const char* name, bool checkable) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    b->setCheckable(checkable);
    row->addWidget(b);
    return b;
  }

  template <class F>
  void Guard(F&& f) {
    try {
      f();
    } catch (const TVideoCapException& e) {
      status_->setText(QString::fromUtf8(e.what()));
      if (isVisible()) QMessageBox::warning(this, tr("Capture"), QString::fromUtf8(e.what()));
    }
  }

  // The buttons follow the view's state.
  void Sync() {
    const QSignalBlocker a(show_), b(freeze_), c(record_);
    show_->setChecked(video_->ShowVideo());
    freeze_->setChecked(video_->Frozen());
    freeze_->setEnabled(video_->ShowVideo());
    record_->setChecked(video_->Recording());
    copy_->setEnabled(video_->Frozen());
    if (video_->Recording())
      status_->setText(tr("Recording into %1").arg(QString::fromStdString(video_->RecordFileName)));
    else if (video_->ShowVideo())
      status_->setText(tr("Showing video"));
  }

  TViewerWindow* viewer_;
  QComboBox* drivers_;
  TVantixVideoView* video_;
  QPushButton* show_;
  QPushButton* freeze_;
  QPushButton* record_;
  QPushButton* copy_;
  QLabel* status_;
};

}  // namespace

void TViewerWindow::BuildCaptureMenu() {
  QMenu* m = AddMenu(tr("&Capture"));
  AddAction(m, tr("&Capture window..."), "captureWindow", {}, [this] { ShowCaptureWindow(); });
}

QWidget* TViewerWindow::ShowCaptureWindow() {
  auto* panel = findChild<TCapturePanel*>("capturePanel");
  if (!panel) panel = new TCapturePanel(this);
  panel->show();
  panel->raise();
  return panel;
}

}  // namespace vxviewer
