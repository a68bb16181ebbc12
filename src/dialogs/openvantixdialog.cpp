#include "dialogs/openvantixdialog.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "io/fileformats.h"
#include "multi/vantixmio.h"
#include "multi/vantixmview.h"
#include "platform/bitmap.h"
#include "view/vantixview.h"

namespace vx {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t at = s.find(sep, start);
    parts.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  return parts;
}

// A byte count as the pane prints it: whole kilobytes from 1024 bytes on.
std::string SizeText(int64_t n) {
  return n > 1023 ? std::to_string(n / 1024) + " Kb" : std::to_string(n) + " bytes";
}

struct TZoomItem {
  const char* text;
  int percent;  // 0: fit
};
constexpr TZoomItem kZoomItems[] = {{"Fit", 0},    {"25%", 25},   {"50%", 50},   {"75%", 75},
                                    {"100%", 100}, {"125%", 125}, {"150%", 150}, {"175%", 175},
                                    {"200%", 200}, {"300%", 300}, {"400%", 400}};

constexpr TColor kWhite = 0xFFFFFF;

}  // namespace

// ============================== rules ==============================

std::string VXBuildFilter() {
  std::vector<std::string> patternLists, entries;
  for (const auto& f : vxgFileFormats()) {
    std::vector<std::string> exts;
    for (const std::string& e : Split(f->Extensions, ';'))
      if (!e.empty()) exts.push_back(e);
    // A format without extensions cannot be chosen by name.
    if (exts.empty()) continue;
    std::string patterns, upper;
    for (size_t i = 0; i < exts.size(); ++i) {
      patterns += (i ? ";*." : "*.") + Lower(exts[i]);
      upper += (i ? ";" : "") + Upper(exts[i]);
    }
    patternLists.push_back(patterns);
    entries.push_back(f->FullName + " (" + upper + ")|" + patterns);
  }
  std::string all;
  for (const std::string& p : patternLists) all += p + ";";
  std::string result = "All graphics|" + all + "*.avi";
  for (const std::string& e : entries) result += "|" + e;
  return result + "|Video for Windows (AVI)|*.avi";
}

QStringList VXFilterToNameFilters(const std::string& filter, QStringList* patterns) {
  QStringList filters;
  if (patterns) patterns->clear();
  const std::vector<std::string> parts = Split(filter, '|');
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    QString list = QString::fromStdString(parts[i + 1]);
    if (patterns) *patterns << list;
    list.replace(';', ' ');
    filters << QString::fromStdString(parts[i]) + " (" + list + ")";
  }
  return filters;
}

std::string VXPatternExtension(const std::string& patterns) {
  const size_t dot = patterns.find('.');
  if (dot == std::string::npos) return {};
  const size_t end = patterns.find(';', dot);
  return patterns.substr(dot, end == std::string::npos ? std::string::npos : end - dot);
}

bool VXPreviewPageOf(const std::string& nameOrExtension, bool bare, TPreviewParamsItems& page) {
  const std::string ext =
      bare ? "." + Lower(nameOrExtension) : ExtractFileExtLower(nameOrExtension);
  static const std::pair<const char*, TPreviewParamsItems> table[] = {
      {".jpg", ppJPEG}, {".jpeg", ppJPEG}, {".jpe", ppJPEG}, {".tif", ppTIFF}, {".tiff", ppTIFF},
      {".gif", ppGIF},  {".bmp", ppBMP},   {".pcx", ppPCX},  {".png", ppPNG}};
  for (const auto& [e, p] : table)
    if (ext == e) {
      page = p;
      return true;
    }
  return false;
}

TVXPreviewInfo VXPreviewInfo(const TIOParamsVals* p, int frames, int64_t fileSize,
                             TMsgLanguage language) {
  TVXPreviewInfo info;
  if (!p) return info;
  std::string size = std::to_string(p->Width) + " x " + std::to_string(p->Height) + " pixel";
  if (frames > 1) size += " , " + std::to_string(frames) + " frames";
  info.Texts[0] = size;
  const int64_t bits = static_cast<int64_t>(p->BitsPerSample) * p->SamplesPerPixel;
  std::string colours;
  if (p->SamplesPerPixel == 4 && p->BitsPerSample == 8)
    colours = "16777216";
  else if (bits >= 0 && bits < 63)
    colours = std::to_string(int64_t{1} << bits);
  else
    colours = "2^" + std::to_string(bits);
  info.Texts[1] =
      colours + " " + vxmsg(VXMSG_COLORS, language) + " (" + std::to_string(bits) + " bit)";
  info.Texts[2] = std::to_string(p->DpiX) + " x " + std::to_string(p->DpiY) + " dpi";
  info.Texts[3] = p->GetFileTypeStr();
  const int64_t depth = p->SamplesPerPixel == 1 && p->BitsPerSample == 1 ? 1 : 24;
  const int64_t rowBytes = (int64_t{p->Width} * depth + 31) / 32 * 4;
  const int64_t memory = rowBytes * p->Height * std::max(frames, 1);
  info.Texts[4] = "File: " + SizeText(fileSize) + "   Mem: " + SizeText(memory);
  return info;
}

// ============================== the dialog ==============================

TOpenVantixDialog::TOpenVantixDialog(QWidget* parent)
    : TVXCommonDialog(parent),
      io_(std::make_unique<TVantixIO>()),
      mio_(std::make_unique<TVantixMIO>()) {
  BuildPane();
  QFileDialog& d = Dialog();
  // The list reports the file under the cursor; a name typed or chosen through
  // selectFile only changes the selection, so both lead to the preview.
  connect(&d, &QFileDialog::currentChanged, this, [this](const QString& path) { Selected(path); });
  if (auto* list = d.findChild<QAbstractItemView*>(QStringLiteral("listView"));
      list && list->selectionModel())
    connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
      const QStringList files = Dialog().selectedFiles();
      if (files.size() == 1) Selected(files.first());
    });
  connect(&d, &QFileDialog::directoryEntered, this, [this] { OnFolderChange(this); });
  connect(&d, &QFileDialog::filterSelected, this, [this] { TypeChanged(); });
}

TOpenVantixDialog::~TOpenVantixDialog() {
  if (mview_) mview_->OnImageSelect = nullptr;
  mio_->SetAttachedMView(nullptr);
  io_->SetAttachedVantix(nullptr);
}

void TOpenVantixDialog::BuildPane() {
  QFileDialog& d = Dialog();
  picturePanel_ = new QFrame;
  picturePanel_->setObjectName("PicturePanel");
  auto* pic = new QVBoxLayout(picturePanel_);
  pic->setContentsMargins(6, 6, 6, 6);

  auto* tools = new QHBoxLayout;
  zoomCombo_ = new QComboBox;
  zoomCombo_->setObjectName("ZoomCombo");
  zoomCombo_->setToolTip(QStringLiteral("Zoom"));
  for (const TZoomItem& z : kZoomItems) zoomCombo_->addItem(QString::fromLatin1(z.text));
  connect(zoomCombo_, &QComboBox::activated, this, [this] { ApplyZoom(); });
  previewButton_ = new QToolButton;
  previewButton_->setObjectName("PreviewButton");
  previewButton_->setAutoRaise(true);
  previewButton_->setIcon(d.style()->standardIcon(QStyle::SP_FileDialogContentsView));
  previewButton_->setEnabled(false);
  connect(previewButton_, &QToolButton::clicked, this, [this] { ShowFullPreview(); });
  playButton_ = new QToolButton;
  playButton_->setObjectName("PlayButton");
  playButton_->setAutoRaise(true);
  playButton_->setCheckable(true);
  playButton_->setIcon(d.style()->standardIcon(QStyle::SP_MediaPlay));
  playButton_->setEnabled(false);
  connect(playButton_, &QToolButton::toggled, this, [this](bool down) { PlayToggled(down); });
  tools->addWidget(zoomCombo_);
  tools->addWidget(previewButton_);
  tools->addWidget(playButton_);
  tools->addStretch();
  pic->addLayout(tools);

  view_ = new TVantixView;
  view_->setObjectName("VantixView");
  view_->setMinimumSize(133, 139);
  view_->SetBackground(kWhite);
  view_->SetBackgroundStyle(vxbsDiagonals);
  view_->SetMouseInteract({miScroll});
  view_->SetCenter(true);
  view_->viewport()->installEventFilter(this);
  mview_ = new TVantixMView;
  mview_->setObjectName("VantixMView");
  mview_->setMinimumSize(133, 139);
  mview_->SetThumbWidth(100);
  mview_->SetThumbHeight(109);
  mview_->SetMouseInteract({mmiScroll, mmiSelect});
  mview_->SetKeyInteract({mkiMoveSelected});
  mview_->SetScrollBars(ssHorizontal);
  mview_->SetBackground(kWhite);
  mview_->hide();
  mview_->OnImageSelect = TVXImageSelectEvent::Bind(this, &TOpenVantixDialog::FrameSelected);
  progressBar_ = new QProgressBar;
  progressBar_->setObjectName("ProgressBar");
  progressBar_->setRange(0, 100);
  progressBar_->setTextVisible(false);
  progressBar_->setMaximumHeight(19);
  progressBar_->hide();
  pic->addWidget(view_, 1);
  pic->addWidget(mview_, 1);
  pic->addWidget(progressBar_);
  for (size_t i = 0; i < picLabels_.size(); ++i) {
    picLabels_[i] = new QLabel;
    picLabels_[i]->setObjectName(QString("PicLabel%1").arg(i + 1));
    pic->addWidget(picLabels_[i]);
  }

  infoPanel_ = new QFrame;
  infoPanel_->setObjectName("InfoPanel");
  auto* info = new QHBoxLayout(infoPanel_);
  info->setContentsMargins(0, 0, 0, 0);
  auto* texts = new QVBoxLayout;
  for (size_t i = 0; i < infoLabels_.size(); ++i) {
    infoLabels_[i] = new QLabel;
    infoLabels_[i]->setObjectName(QString("InfoLabel%1").arg(i + 1));
    texts->addWidget(infoLabels_[i]);
  }
  info->addLayout(texts, 1);
  advancedButton_ = new QPushButton;
  advancedButton_->setObjectName("AdvancedButton");
  advancedButton_->hide();
  previewCheck_ = new QCheckBox;
  previewCheck_->setObjectName("PreviewCheck");
  previewCheck_->setChecked(true);
  connect(previewCheck_, &QCheckBox::toggled, this, [this](bool on) { PreviewToggled(on); });
  info->addWidget(advancedButton_, 0, Qt::AlignTop);
  info->addWidget(previewCheck_, 0, Qt::AlignTop);

  io_->SetAttachedVantix(view_);
  mio_->SetAttachedMView(mview_);
  io_->OnProgress = TProgressEvent::Bind(this, &TOpenVantixDialog::OnProgress);
  mio_->OnProgress = TProgressEvent::Bind(this, &TOpenVantixDialog::OnProgress);

  // The toolkit's own dialog lays itself out on a grid: the picture goes in a column
  // of its own at the right, the information below everything.
  if (auto* grid = qobject_cast<QGridLayout*>(d.layout())) {
    const int rows = grid->rowCount(), cols = grid->columnCount();
    grid->addWidget(picturePanel_, 0, cols, rows, 1);
    grid->addWidget(infoPanel_, rows, 0, 1, cols + 1);
  } else if (d.layout()) {
    d.layout()->addWidget(picturePanel_);
    d.layout()->addWidget(infoPanel_);
  }
}

void TOpenVantixDialog::PrepareDialog(bool showPane) {
  paneShown_ = showPane;
  QFileDialog& d = Dialog();
  picturePanel_->setVisible(showPane);
  for (QLabel* l : infoLabels_) l->setVisible(showPane);
  previewCheck_->setText(QString::fromStdString(vxmsg(VXMSG_PREVIEW, MsgLanguage())));
  previewButton_->setToolTip(QString::fromStdString(vxmsg(VXMSG_PREVIEW, MsgLanguage())));
  zoomCombo_->setCurrentIndex(0);
  if (AutoSetFilter) Filter = QString::fromStdString(VXBuildFilter());
  const QStringList filters = VXFilterToNameFilters(Filter.toStdString(), &patterns_);
  d.setOptions(Options | QFileDialog::DontUseNativeDialog);
  d.setNameFilters(filters);
  if (FilterIndex >= 1 && FilterIndex <= filters.size())
    d.selectNameFilter(filters[FilterIndex - 1]);
  if (!Title.isEmpty()) d.setWindowTitle(Title);
  if (!InitialDir.isEmpty()) d.setDirectory(InitialDir);
  if (!HistoryList.isEmpty()) d.setHistory(HistoryList);
  if (!FileName.isEmpty()) d.selectFile(FileName);
  ClearInfo();
}

bool TOpenVantixDialog::Execute() {
  PrepareDialog(true);
  previewCheck_->setVisible(true);
  QFileDialog& d = Dialog();
  d.setAcceptMode(QFileDialog::AcceptOpen);
  d.setFileMode(QFileDialog::ExistingFile);
  const bool ok = RunDialog();
  if (ok) TakeResults();
  return ok;
}

void TOpenVantixDialog::TakeResults() {
  QFileDialog& d = Dialog();
  Files = d.selectedFiles();
  FileName = Files.isEmpty() ? QString() : Files.first();
  const int index = static_cast<int>(d.nameFilters().indexOf(d.selectedNameFilter()));
  if (index >= 0) FilterIndex = index + 1;
}

std::string TOpenVantixDialog::CurrentPatterns() const {
  const QFileDialog& d = *dialog_;
  const int index = static_cast<int>(d.nameFilters().indexOf(d.selectedNameFilter()));
  if (index < 0 || index >= patterns_.size()) return {};
  return patterns_[index].toStdString();
}

bool TOpenVantixDialog::eventFilter(QObject* watched, QEvent* event) {
  // A double-click on the picture opens the full preview, once the click is over.
  if (watched == view_->viewport() && event->type() == QEvent::MouseButtonDblClick &&
      previewButton_->isEnabled())
    QTimer::singleShot(0, this, [this] { ShowFullPreview(); });
  return TVXCommonDialog::eventFilter(watched, event);
}

bool TOpenVantixDialog::CanClose() {
  bool canClose = true;
  OnCanClose(this, canClose);
  return canClose;
}

void TOpenVantixDialog::DoClose() {
  playButton_->setChecked(false);
  mview_->SetPlaying(false);
  mview_->Clear();
  BlankSingle();
  ClearInfo();
  currentPath_.clear();
  QToolTip::hideText();
  TVXCommonDialog::DoClose();
}

void TOpenVantixDialog::TypeChanged() {
  OnTypeChange(this);
}

// ============================== the pane ==============================

void TOpenVantixDialog::ClearInfo() {
  for (QLabel* l : picLabels_) l->clear();
  for (QLabel* l : infoLabels_) l->clear();
}

void TOpenVantixDialog::ShowInfo(const TIOParamsVals* params) {
  const TVXPreviewInfo info = VXPreviewInfo(params, frames_, fileSize_, MsgLanguage());
  for (size_t i = 0; i < 3; ++i) picLabels_[i]->setText(QString::fromStdString(info.Texts[i]));
  for (size_t i = 0; i < 2; ++i) infoLabels_[i]->setText(QString::fromStdString(info.Texts[3 + i]));
}

void TOpenVantixDialog::BlankSingle() {
  view_->SetBackground(kWhite);
  view_->SetZoom(100);
  view_->Blank();
}

void TOpenVantixDialog::ApplyZoom() {
  const int i = std::max(0, zoomCombo_->currentIndex());
  if (kZoomItems[i].percent == 0)
    view_->Fit();
  else
    view_->SetZoom(kZoomItems[i].percent);
}

void TOpenVantixDialog::OnProgress(TObject*, int percent) {
  progressBar_->setValue(std::clamp(percent, 0, 100));
}

void TOpenVantixDialog::Selected(const QString& path) {
  // The two reports of one choice load the file once.
  if (path == currentPath_ && !currentPath_.isEmpty()) return;
  SelectionChanged(path);
}

void TOpenVantixDialog::SelectionChanged(const QString& path) {
  // A change reported while one is being handled (the load pumps no events, but a
  // handler of ours might) is ignored.
  if (inSelection_) return;
  inSelection_ = true;
  struct TGuard {
    bool& flag;
    ~TGuard() { flag = false; }
  } guard{inSelection_};

  if (!paneShown_) {
    OnSelectionChange(this);
    return;
  }
  currentPath_ = path;
  bool failed = true;
  const QFileInfo fi(path);
  if (fi.isFile()) {
    fileSize_ = fi.size();
    try {
      if (previewCheck_->isChecked()) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        struct TCursor {
          ~TCursor() { QApplication::restoreOverrideCursor(); }
        } cursor;
        LoadPreview(path, ExtractFileExtLower(path.toStdString()));
        failed = false;
      } else {
        io_->ParamsFromFile(path.toStdString());
        frames_ = 1;
        if (io_->Params().FileType != ioUnknown)
          ShowInfo(&io_->Params());
        else
          ClearInfo();
        failed = false;
      }
    } catch (...) {
      failed = true;
    }
  }
  if (failed) {
    progressBar_->hide();
    ClearInfo();
    previewButton_->setEnabled(false);
    BlankSingle();
  }
  OnSelectionChange(this);
}

void TOpenVantixDialog::LoadPreview(const QString& path, const std::string& ext) {
  BlankSingle();
  playButton_->setChecked(false);
  mview_->Clear();
  const std::string name = path.toStdString();
  const bool multi = ext == ".avi" || (ext == ".gif" && EnumGifIm(name) > 1) ||
                     (ext == ".tif" && EnumTIFFIm(name) >= 2);
  progressBar_->setValue(0);
  progressBar_->show();
  if (multi) {
    playButton_->setEnabled(true);
    zoomCombo_->setEnabled(false);
    mview_->show();
    view_->hide();
    mio_->LoadFromFile(name);
    frames_ = mio_->ParamsCount();
    if (mio_->Aborting() || frames_ == 0) throw std::runtime_error("no frames");
    mview_->SetSelectedImage(0);
    ShowInfo(mio_->Params(0));
    if (AlwaysAnimate && (ext == ".avi" || ext == ".gif")) playButton_->setChecked(true);
  } else {
    playButton_->setEnabled(false);
    zoomCombo_->setEnabled(true);
    view_->show();
    mview_->hide();
    io_->LoadFromFile(name);
    frames_ = 1;
    if (io_->Aborting() || view_->Bitmap().Empty()) throw std::runtime_error("not read");
    ShowInfo(&io_->Params());
  }
  progressBar_->hide();
  zoomCombo_->setCurrentIndex(0);
  ApplyZoom();
  previewButton_->setEnabled(!mview_->Playing());
}

void TOpenVantixDialog::FrameSelected(TObject*, int index) {
  if (index >= 0 && index < mio_->ParamsCount()) ShowInfo(mio_->Params(index));
}

void TOpenVantixDialog::PlayToggled(bool down) {
  mview_->SetPlaying(down);
  previewButton_->setEnabled(!down && (mview_->ImageCount() > 0 || !view_->Bitmap().Empty()));
}

void TOpenVantixDialog::PreviewToggled(bool on) {
  if (on) {
    SelectionChanged(currentPath_);
    return;
  }
  ClearInfo();
  BlankSingle();
  mview_->Clear();
}

std::unique_ptr<QDialog> TOpenVantixDialog::MakeFullPreview() {
  const TBitmap* image = nullptr;
  if (!view_->isHidden())
    image = &view_->Bitmap();
  else
    image = mview_->GetFBitmap();
  if (!image || image->Empty()) return nullptr;
  auto form = std::make_unique<QDialog>(&Dialog(), Qt::Tool);
  form->setObjectName("PreviewForm");
  form->setModal(true);
  form->setSizeGripEnabled(true);
  form->setWindowTitle(previewButton_->toolTip() + ": " + currentPath_);
  auto* layout = new QVBoxLayout(form.get());
  layout->setContentsMargins(0, 0, 0, 0);
  auto* v = new TVantixView;
  v->setObjectName("PreviewView");
  v->SetMouseInteract({miZoom, miScroll});
  v->SetBackground(kWhite);
  v->SetBackgroundStyle(vxbsChessboard);
  v->SetCenter(true);
  v->SetScrollBars(ssBoth);
  v->SetBorderStyle(bsNone);
  v->Assign(image);
  v->Update();
  layout->addWidget(v);
  // Per axis: small images get a 100-pixel window, images that fit the screen a client
  // area of their size, larger ones the whole screen.
  QRect screen(0, 0, 1024, 768);
  if (QScreen* s = QGuiApplication::primaryScreen()) screen = s->availableGeometry();
  auto extent = [](int size, int screenExtent) {
    if (size <= 100) return 100;
    return size < screenExtent ? size : screenExtent;
  };
  form->resize(extent(image->Width(), screen.width()), extent(image->Height(), screen.height()));
  form->move(screen.center() - QPoint(form->width() / 2, form->height() / 2));
  return form;
}

void TOpenVantixDialog::ShowFullPreview() {
  if (std::unique_ptr<QDialog> form = MakeFullPreview()) form->exec();
}

}  // namespace vx
