#include "acquire/twaindialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QEventLoop>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace vx {

namespace {

bool ToolkitRuns() {
  return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

QWidget* WindowOf(uintptr_t handle) {
  return reinterpret_cast<QWidget*>(handle);
}

const char* PixelTypeName(int type) {
  switch (type) {
    case TWPT_BW:
      return "Black and white";
    case TWPT_GRAY:
      return "Grey";
    default:
      return "Colour";
  }
}

// What the source polls: the dialog, for as long as it lives.
class TDialogHandle : public TVXTWSourceDialog {
 public:
  explicit TDialogHandle(TVXTWSourceUIDialog* d) : dialog_(d) {}
  ~TDialogHandle() override {
    if (dialog_) dialog_->deleteLater();
  }
  bool Finished() const override { return !dialog_ || dialog_->IsFinished(); }
  bool Accepted() const override { return dialog_ && dialog_->IsAccepted(); }
  TVXTWSourceDialogValues Values() const override {
    return dialog_ ? dialog_->CurrentValues() : TVXTWSourceDialogValues{};
  }

 private:
  QPointer<TVXTWSourceUIDialog> dialog_;
};

}  // namespace

TVXTWSelectSourceDialog::TVXTWSelectSourceDialog(const std::vector<std::string>& names, int current,
                                                 QWidget* parent)
    : QDialog(parent), list_(new QListWidget(this)) {
  setWindowTitle(tr("Select Source"));
  for (const std::string& n : names) list_->addItem(QString::fromStdString(n));
  if (current >= 0 && current < list_->count()) list_->setCurrentRow(current);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(tr("Sources:"), this));
  layout->addWidget(list_);
  layout->addWidget(buttons);
}

int TVXTWSelectSourceDialog::Chosen() const {
  return list_->currentRow();
}

TVXTWSourceUIDialog::TVXTWSourceUIDialog(const std::string& title,
                                         const TVXTWSourceDialogValues& values, QWidget* parent)
    : QDialog(parent), values_(values) {
  setWindowTitle(QString::fromStdString(title));
  auto* form = new QFormLayout;
  if (values.ResolutionIsRange || values.Resolutions.empty()) {
    resolution_ = new QDoubleSpinBox(this);
    resolution_->setDecimals(0);
    resolution_->setSuffix(tr(" dpi"));
    resolution_->setRange(values.Resolutions.size() >= 2 ? values.Resolutions[0] : 1,
                          values.Resolutions.size() >= 2 ? values.Resolutions[1] : 9600);
    resolution_->setValue(values.Resolution);
    form->addRow(tr("Resolution:"), resolution_);
  } else {
    resolutionList_ = new QComboBox(this);
    for (double r : values.Resolutions) {
      resolutionList_->addItem(tr("%1 dpi").arg(r), r);
      if (r == values.Resolution) resolutionList_->setCurrentIndex(resolutionList_->count() - 1);
    }
    form->addRow(tr("Resolution:"), resolutionList_);
  }
  mode_ = new QComboBox(this);
  for (int t : values.PixelTypes) {
    mode_->addItem(tr(PixelTypeName(t)), t);
    if (t == values.PixelType) mode_->setCurrentIndex(mode_->count() - 1);
  }
  form->addRow(tr("Mode:"), mode_);
  if (values.HasFeeder) {
    source_ = new QComboBox(this);
    source_->addItem(tr("Flatbed"), false);
    source_->addItem(tr("Document feeder"), true);
    source_->setCurrentIndex(values.Feeder ? 1 : 0);
    form->addRow(tr("Source:"), source_);
  }
  auto* area = new QGridLayout;
  const char* labels[4] = {"Left", "Top", "Right", "Bottom"};
  for (int i = 0; i < 4; ++i) {
    frame_[i] = new QDoubleSpinBox(this);
    frame_[i]->setDecimals(2);
    frame_[i]->setSingleStep(0.1);
    frame_[i]->setSuffix(tr(" in"));
    frame_[i]->setRange(0, (i % 2 == 0 ? values.MaxWidth : values.MaxHeight) > 0
                               ? (i % 2 == 0 ? values.MaxWidth : values.MaxHeight)
                               : 100);
    frame_[i]->setValue(values.Frame[i]);
    area->addWidget(new QLabel(tr(labels[i]), this), i / 2, (i % 2) * 2);
    area->addWidget(frame_[i], i / 2, (i % 2) * 2 + 1);
  }
  form->addRow(tr("Area:"), area);
  auto* scan = new QPushButton(tr("Scan"), this);
  scan->setObjectName("scan");
  scan->setDefault(true);
  auto* cancel = new QPushButton(tr("Cancel"), this);
  cancel->setObjectName("cancel");
  connect(scan, &QPushButton::clicked, this, [this] { Finish(true); });
  connect(cancel, &QPushButton::clicked, this, [this] { Finish(false); });
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(scan, QDialogButtonBox::AcceptRole);
  buttons->addButton(cancel, QDialogButtonBox::RejectRole);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
}

TVXTWSourceDialogValues TVXTWSourceUIDialog::CurrentValues() const {
  TVXTWSourceDialogValues v = values_;
  if (resolution_) v.Resolution = resolution_->value();
  if (resolutionList_ && resolutionList_->currentIndex() >= 0)
    v.Resolution = resolutionList_->currentData().toDouble();
  if (mode_->currentIndex() >= 0) v.PixelType = mode_->currentData().toInt();
  if (source_) v.Feeder = source_->currentData().toBool();
  for (int i = 0; i < 4; ++i) v.Frame[i] = frame_[i]->value();
  return v;
}

void TVXTWSourceUIDialog::closeEvent(QCloseEvent* event) {
  // Closing the window is a cancel: the source must hear of it.
  if (!finished_) Finish(false);
  event->accept();
}

void TVXTWSourceUIDialog::Finish(bool accepted) {
  if (finished_) return;
  finished_ = true;
  accepted_ = accepted;
  hide();
}

void InstallTwainDialogs() {
  TVXTWPlatformHooks& h = TwainPlatformHooks();
  h.PumpEvents = [] {
    if (!ToolkitRuns()) return false;
    // Runs the events of a short moment; the source's message is looked at after it.
    QEventLoop loop;
    QTimer::singleShot(10, &loop, &QEventLoop::quit);
    loop.exec();
    return true;
  };
  h.EnableWindow = [](uintptr_t window, bool enabled) {
    if (ToolkitRuns() && WindowOf(window)) WindowOf(window)->setEnabled(enabled);
  };
  h.FocusWindow = [](uintptr_t window) {
    if (ToolkitRuns() && WindowOf(window)) {
      WindowOf(window)->activateWindow();
      WindowOf(window)->setFocus();
    }
  };
  h.SelectSource = [](uintptr_t window, const std::vector<std::string>& names, int current) {
    if (!ToolkitRuns()) return -2;
    TVXTWSelectSourceDialog d(names, current, WindowOf(window));
    return d.exec() == QDialog::Accepted ? d.Chosen() : -1;
  };
  h.SourceDialog = [](uintptr_t window, const std::string& title,
                      const TVXTWSourceDialogValues& values) -> std::unique_ptr<TVXTWSourceDialog> {
    if (!ToolkitRuns()) return nullptr;
    // A window of its own rather than a child: the acquisition disables the parent
    // window while it runs, and a child would go grey with it.
    (void)window;
    auto* d = new TVXTWSourceUIDialog(title, values, nullptr);
    d->setWindowModality(Qt::ApplicationModal);
    d->show();
    return std::make_unique<TDialogHandle>(d);
  };
}

namespace {
// Loading the widget library makes its dialogs the ones scanning shows.
const bool gInstalled = (InstallTwainDialogs(), true);
}  // namespace

}  // namespace vx
