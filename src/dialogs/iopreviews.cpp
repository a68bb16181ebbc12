#include "dialogs/iopreviews.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "core/vxdefs.h"
#include "core/vxlists.h"
#include "core/vxutils.h"
#include "io/iopreviewhook.h"
#include "platform/bitmap.h"
#include "platform/stream.h"
#include "proc/pointops.h"
#include "view/vantixview.h"
#include "view/vxhint.h"

namespace vx {

namespace {

const char* const kPageTitles[kIOPreviewPageCount] = {"JPEG", "TIFF", "GIF", "BMP", "PCX", "PNG"};

TPreviewParamsItems PageItem(TIOPreviewPage page) {
  return static_cast<TPreviewParamsItems>(static_cast<int>(ppJPEG) + static_cast<int>(page));
}

QComboBox* List(std::initializer_list<const char*> items) {
  auto* box = new QComboBox;
  for (const char* i : items) box->addItem(QString::fromLatin1(i));
  return box;
}

QSpinBox* UpDown(int lo, int hi) {
  auto* box = new QSpinBox;
  box->setRange(lo, hi);
  return box;
}

// A number typed in an edit box; what does not read as one counts as fallback.
int NumberIn(const QLineEdit* edit, int fallback) {
  bool ok = false;
  const int v = edit->text().trimmed().toInt(&ok);
  return ok ? v : fallback;
}

void SetText(QLineEdit* edit, const std::string& text) {
  edit->setText(QString::fromStdString(text));
}

std::string TextOf(const QLineEdit* edit) {
  return edit->text().toStdString();
}

QString Bytes(int64_t n) {
  return QString::number(n) + QStringLiteral(" bytes");
}

bool PhotometricFixesColours(TIOTIFFPhotometInterpret p) {
  return p == ioTIFF_CMYK || p == ioTIFF_YCBCR || p == ioTIFF_CIELAB;
}

constexpr int kColoursBW = 0;
constexpr int kTiffColours16M = 4;

}  // namespace

const std::vector<TColourPair>& ColourPairs(TIOPreviewPage page) {
  static const std::vector<TColourPair> tiff = {{1, 1}, {4, 1}, {8, 1}, {16, 1}, {8, 3}};
  static const std::vector<TColourPair> bmp = {{1, 1}, {4, 1}, {8, 1}, {5, 3}, {8, 3}, {8, 3}};
  static const std::vector<TColourPair> pcx = {{1, 1}, {4, 1}, {8, 1}, {8, 3}};
  static const std::vector<TColourPair> png = {{1, 1}, {8, 1}, {8, 3}};
  static const std::vector<TColourPair> none;
  switch (page) {
    case ipTIFF:
      return tiff;
    case ipBMP:
      return bmp;
    case ipPCX:
      return pcx;
    case ipPNG:
      return png;
    default:
      return none;
  }
}

int ColourIndexOf(TIOPreviewPage page, int bits, int samples) {
  if (page == ipPNG) return samples > 1 ? 2 : (bits == 1 ? 0 : 1);
  const std::vector<TColourPair>& pairs = ColourPairs(page);
  // BMP's second 16M entry (32 bits a pixel) is only ever chosen by the user.
  const size_t count = page == ipBMP ? pairs.size() - 1 : pairs.size();
  for (size_t i = 0; i < count; ++i)
    if (pairs[i].Bits == bits && pairs[i].Samples == samples) return static_cast<int>(i);
  // A pair the list does not hold (a CMYK TIFF, an odd depth) shows as the richest entry
  // for colour images and as the first for the rest.
  return samples > 1 ? static_cast<int>(count) - 1 : 0;
}

// ============================== construction ==============================

TfIOPreviews::TfIOPreviews(QWidget* parent) : QDialog(parent), io_(std::make_unique<TVantixIO>()) {
  setModal(true);
  setObjectName("fIOPreviews");
  io_->SetStreamHeaders(false);
  io_->OnProgress = TProgressEvent::Bind(this, &TfIOPreviews::OnProgress);

  tabs_ = new QTabWidget;
  tabs_->setTabPosition(QTabWidget::South);
  tabs_->addTab(WithSizes(BuildJpegPage(), ipJPEG), kPageTitles[0]);
  tabs_->addTab(WithSizes(BuildTiffPage(), ipTIFF), kPageTitles[1]);
  tabs_->addTab(WithSizes(BuildGifPage(), ipGIF), kPageTitles[2]);
  tabs_->addTab(WithSizes(BuildBmpPage(), ipBMP), kPageTitles[3]);
  tabs_->addTab(WithSizes(BuildPcxPage(), ipPCX), kPageTitles[4]);
  tabs_->addTab(WithSizes(BuildPngPage(), ipPNG), kPageTitles[5]);
  connect(tabs_, &QTabWidget::currentChanged, this, [this] {
    // The handlers stay quiet from the first moment of the change.
    muted_ = true;
    if (activated_) PageChanged();
  });

  source_ = new TVantixView;
  result_ = new TVantixView;
  for (TVantixView* v : {source_, result_}) {
    v->setMinimumSize(160, 160);
    v->SetScrollBars(ssBoth);
    v->SetBackgroundStyle(vxbsChessboard);
    v->SetBackground(0xFFFFFF);
  }
  source_->setObjectName("SourceView");
  result_->setObjectName("ResultView");
  source_->SetMouseInteract({miScroll});
  source_->OnViewChange = TViewChangeEvent::Bind(this, &TfIOPreviews::FollowSource);

  progress_ = new QProgressBar;
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setTextVisible(false);

  lock_ = new QToolButton;
  lock_->setObjectName("LockButton");
  lock_->setCheckable(true);
  lock_->setText(QStringLiteral("\u25A3"));
  preview_ = new QPushButton;
  preview_->setObjectName("PreviewButton");
  ok_ = new QPushButton;
  ok_->setDefault(true);
  cancel_ = new QPushButton;
  captions_.push_back({preview_, VXMSG_PREVIEW, Caption::Button});
  captions_.push_back({ok_, VXMSG_OK, Caption::Button});
  captions_.push_back({cancel_, VXMSG_CANCEL, Caption::Button});
  connect(lock_, &QToolButton::toggled, this, [this](bool down) {
    preview_->setEnabled(!down);
    if (down && activated_) MakePreview();
  });
  connect(preview_, &QPushButton::clicked, this, [this] { MakePreview(); });
  connect(ok_, &QPushButton::clicked, this, &TfIOPreviews::accept);
  connect(cancel_, &QPushButton::clicked, this, &TfIOPreviews::reject);

  auto* views = new QHBoxLayout;
  views->addWidget(source_);
  views->addWidget(result_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(lock_);
  buttons->addWidget(preview_);
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addLayout(views, 1);
  layout->addWidget(progress_);
  layout->addLayout(buttons);
  SetLanguage(msSystem);
}

TfIOPreviews::~TfIOPreviews() {
  source_->OnViewChange = nullptr;
}

QLabel* TfIOPreviews::AddLabel(int word) {
  auto* l = new QLabel;
  captions_.push_back({l, word, Caption::Label});
  return l;
}

QGroupBox* TfIOPreviews::AddGroup(int word) {
  auto* g = new QGroupBox;
  captions_.push_back({g, word, Caption::Group});
  return g;
}

QCheckBox* TfIOPreviews::AddCheck(int word) {
  auto* c = new QCheckBox;
  captions_.push_back({c, word, Caption::Check});
  connect(c, &QCheckBox::toggled, this, &TfIOPreviews::ControlChanged);
  return c;
}

QPushButton* TfIOPreviews::ColourPanel() {
  auto* b = new QPushButton;
  b->setFixedSize(40, 20);
  b->setFlat(true);
  b->setAutoFillBackground(true);
  return b;
}

QWidget* TfIOPreviews::WithSizes(QWidget* page, TIOPreviewPage which) {
  auto* sizes = new QFormLayout;
  const int i = static_cast<int>(which);
  originalSize_[i] = new QLabel;
  compressedSize_[i] = new QLabel(QStringLiteral("---"));
  originalSize_[i]->setObjectName("OriginalSize");
  compressedSize_[i]->setObjectName("CompressedSize");
  sizes->addRow(AddLabel(VXMSG_ORIGINALSIZE), originalSize_[i]);
  sizes->addRow(AddLabel(VXMSG_COMPRESSEDSIZE), compressedSize_[i]);
  auto* outer = new QWidget;
  auto* box = new QHBoxLayout(outer);
  box->addWidget(page, 1);
  box->addLayout(sizes);
  return outer;
}

QWidget* TfIOPreviews::BuildJpegPage() {
  auto* page = new QWidget;
  auto* form = new QFormLayout(page);
  Jpeg.Quality = new QLineEdit;
  Jpeg.Quality->setMaxLength(3);
  Jpeg.QualityBar = new QSlider(Qt::Horizontal);
  Jpeg.QualityBar->setRange(0, 100);
  Jpeg.QualityBar->setPageStep(10);
  auto* quality = new QHBoxLayout;
  quality->addWidget(Jpeg.Quality);
  quality->addWidget(Jpeg.QualityBar, 1);
  form->addRow(AddLabel(VXMSG_QUALITY), quality);
  Jpeg.ColorSpace = List({"RGB", "GrayScale", "YCbCr", "CMYK", "YCbCrK"});
  form->addRow(AddLabel(VXMSG_PHOTOMETRIC), Jpeg.ColorSpace);
  Jpeg.DCTMethod = List({"ISLOW", "IFAST", "FLOAT"});
  form->addRow(AddLabel(VXMSG_DCTMETHOD), Jpeg.DCTMethod);
  Jpeg.Smooth = UpDown(0, 100);
  form->addRow(AddLabel(VXMSG_SMOOTHINGFACTOR), Jpeg.Smooth);
  Jpeg.OptimalHuffman = AddCheck(VXMSG_OPTIMALHUFFMAN);
  Jpeg.Progressive = AddCheck(VXMSG_PROGRESSIVE);
  form->addRow(Jpeg.OptimalHuffman);
  form->addRow(Jpeg.Progressive);
  // The edit box drives the bar; the bar drives the working copy.
  connect(Jpeg.Quality, &QLineEdit::textEdited, this, &TfIOPreviews::QualityTyped);
  connect(Jpeg.QualityBar, &QSlider::valueChanged, this, [this](int v) {
    if (NumberIn(Jpeg.Quality, -1) != v) {
      const QSignalBlocker quiet(Jpeg.Quality);
      Jpeg.Quality->setText(QString::number(v));
    }
    ControlChanged();
  });
  for (QComboBox* c : {Jpeg.ColorSpace, Jpeg.DCTMethod})
    connect(c, &QComboBox::currentIndexChanged, this, &TfIOPreviews::ControlChanged);
  connect(Jpeg.Smooth, &QSpinBox::valueChanged, this, &TfIOPreviews::ControlChanged);
  return page;
}

QWidget* TfIOPreviews::BuildTiffPage() {
  auto* page = new QWidget;
  auto* columns = new QHBoxLayout(page);
  auto* form = new QFormLayout;
  Tiff.Compression = List({"UNCOMPRESSED", "CCITT1D", "G3FAX1D", "G3FAX2D", "G4FAX", "LZW",
                           "OLDJPEG", "JPEG", "PACKBITS", "DEFLATE"});
  form->addRow(AddLabel(VXMSG_COMPRESSION), Tiff.Compression);
  Tiff.ImageIndex = UpDown(0, 1000);
  form->addRow(AddLabel(VXMSG_IMAGEINDEX), Tiff.ImageIndex);
  Tiff.Photometric = List(
      {"WHITEISZERO", "BLACKISZERO", "RGB", "RGBPALETTE", "TRANSPMASK", "CMYK", "YCBCR", "CIELAB"});
  form->addRow(AddLabel(VXMSG_PHOTOMETRIC), Tiff.Photometric);
  Tiff.Colours = List({"B/W", "16", "256", "65536", "16M"});
  form->addRow(AddLabel(VXMSG_COLORS), Tiff.Colours);
  columns->addLayout(form);

  QGroupBox* doc = AddGroup(VXMSG_SCANNDEDDOCUMENTINFO);
  auto* docForm = new QFormLayout(doc);
  Tiff.XPos = new QLineEdit;
  Tiff.YPos = new QLineEdit;
  Tiff.DocumentName = new QLineEdit;
  Tiff.Description = new QLineEdit;
  Tiff.PageName = new QLineEdit;
  Tiff.PageNumber = UpDown(0, 65535);
  Tiff.PageCount = UpDown(0, 65535);
  docForm->addRow(AddLabel(VXMSG_HORIZPOSITIONINCH), Tiff.XPos);
  docForm->addRow(AddLabel(VXMSG_VERTPOSITIONINCH), Tiff.YPos);
  docForm->addRow(AddLabel(VXMSG_NAME), Tiff.DocumentName);
  docForm->addRow(AddLabel(VXMSG_DESCRIPTION), Tiff.Description);
  docForm->addRow(AddLabel(VXMSG_PAGENAME), Tiff.PageName);
  auto* pages = new QHBoxLayout;
  pages->addWidget(Tiff.PageNumber);
  auto* of = new QLabel;
  captions_.push_back({of, VXMSG_OF, Caption::Button});
  pages->addWidget(of);
  pages->addWidget(Tiff.PageCount);
  docForm->addRow(AddLabel(VXMSG_PAGENUMBER), pages);
  columns->addWidget(doc);

  for (QComboBox* c : {Tiff.Compression, Tiff.Photometric, Tiff.Colours})
    connect(c, &QComboBox::currentIndexChanged, this, &TfIOPreviews::ControlChanged);
  connect(Tiff.Photometric, &QComboBox::currentIndexChanged, this, [this] {
    if (!muted_) FillTiffColours();
  });
  for (QSpinBox* s : {Tiff.ImageIndex, Tiff.PageNumber, Tiff.PageCount})
    connect(s, &QSpinBox::valueChanged, this, &TfIOPreviews::ControlChanged);
  for (QLineEdit* e : {Tiff.XPos, Tiff.YPos, Tiff.DocumentName, Tiff.Description, Tiff.PageName})
    connect(e, &QLineEdit::textChanged, this, &TfIOPreviews::ControlChanged);
  return page;
}

QWidget* TfIOPreviews::BuildGifPage() {
  auto* page = new QWidget;
  auto* columns = new QHBoxLayout(page);
  auto* form = new QFormLayout;
  Gif.ImageIndex = UpDown(0, 1000);
  form->addRow(AddLabel(VXMSG_IMAGEINDEX), Gif.ImageIndex);
  Gif.Colours = List({"B/W", "4", "8", "16", "32", "64", "128", "256"});
  form->addRow(AddLabel(VXMSG_COLORS), Gif.Colours);
  Gif.Transparent = AddCheck(VXMSG_TRANSPARENT);
  form->addRow(Gif.Transparent);
  Gif.TranspLabel = AddLabel(VXMSG_TRANSPARENTCOLOR);
  Gif.TranspColor = ColourPanel();
  Gif.TranspColor->setObjectName("TranspColorPanel");
  form->addRow(Gif.TranspLabel, Gif.TranspColor);
  Gif.Interlaced = AddCheck(VXMSG_INTERLACED);
  form->addRow(Gif.Interlaced);
  Gif.Background = ColourPanel();
  Gif.Background->setObjectName("GifBackgroundPanel");
  form->addRow(AddLabel(VXMSG_BACKGROUND), Gif.Background);
  columns->addLayout(form);

  QGroupBox* adv = AddGroup(VXMSG_ADVANCED);
  auto* advForm = new QFormLayout(adv);
  Gif.DelayTime = UpDown(0, 65535);
  Gif.XPos = new QLineEdit;
  Gif.YPos = new QLineEdit;
  advForm->addRow(AddLabel(VXMSG_DELAYTIME), Gif.DelayTime);
  advForm->addRow(AddLabel(VXMSG_HORIZPOSITION), Gif.XPos);
  advForm->addRow(AddLabel(VXMSG_VERTPOSITION), Gif.YPos);
  columns->addWidget(adv);

  connect(Gif.Colours, &QComboBox::currentIndexChanged, this, &TfIOPreviews::ControlChanged);
  for (QSpinBox* s : {Gif.ImageIndex, Gif.DelayTime})
    connect(s, &QSpinBox::valueChanged, this, &TfIOPreviews::ControlChanged);
  for (QLineEdit* e : {Gif.XPos, Gif.YPos})
    connect(e, &QLineEdit::textChanged, this, &TfIOPreviews::ControlChanged);
  connect(Gif.Transparent, &QCheckBox::toggled, this, [this](bool on) {
    Gif.TranspLabel->setEnabled(on);
    Gif.TranspColor->setEnabled(on);
  });
  connect(Gif.TranspColor, &QPushButton::clicked, this, [this] {
    ChooseColour(Gif.TranspColor, work_.GIF_TranspColor,
                 1 << std::clamp(work_.BitsPerSample, 1, 8));
  });
  connect(Gif.Background, &QPushButton::clicked, this, [this] {
    ChooseColour(Gif.Background, work_.GIF_Background, 1 << std::clamp(work_.BitsPerSample, 1, 8));
  });
  return page;
}

QWidget* TfIOPreviews::BuildBmpPage() {
  auto* page = new QWidget;
  auto* form = new QFormLayout(page);
  Bmp.Compression = List({"UNCOMPRESSED", "RLE"});
  Bmp.Colours = List({"B/W", "16", "256", "65536", "16M", "16M (32bit)"});
  form->addRow(AddLabel(VXMSG_COMPRESSION), Bmp.Compression);
  form->addRow(AddLabel(VXMSG_COLORS), Bmp.Colours);
  for (QComboBox* c : {Bmp.Compression, Bmp.Colours})
    connect(c, &QComboBox::currentIndexChanged, this, &TfIOPreviews::ControlChanged);
  return page;
}

QWidget* TfIOPreviews::BuildPcxPage() {
  auto* page = new QWidget;
  auto* form = new QFormLayout(page);
  Pcx.Compression = List({"UNCOMPRESSED", "RLE"});
  Pcx.Colours = List({"B/W", "16", "256", "16M"});
  form->addRow(AddLabel(VXMSG_COMPRESSION), Pcx.Compression);
  form->addRow(AddLabel(VXMSG_COLORS), Pcx.Colours);
  for (QComboBox* c : {Pcx.Compression, Pcx.Colours})
    connect(c, &QComboBox::currentIndexChanged, this, &TfIOPreviews::ControlChanged);
  return page;
}

QWidget* TfIOPreviews::BuildPngPage() {
  auto* page = new QWidget;
  auto* form = new QFormLayout(page);
  Png.Colours = List({"B/W", "256", "16M"});
  form->addRow(AddLabel(VXMSG_COLORS), Png.Colours);
  Png.Interlaced = AddCheck(VXMSG_INTERLACED);
  form->addRow(Png.Interlaced);
  Png.Background = ColourPanel();
  Png.Background->setObjectName("PngBackgroundPanel");
  form->addRow(AddLabel(VXMSG_BACKGROUND), Png.Background);
  Png.Filter = List({"NONE", "SUB", "PAETH"});
  form->addRow(AddLabel(VXMSG_FILTER), Png.Filter);
  Png.Compression = List({"NONE", "1", "2", "3", "4", "5", "6", "7", "8", "MAX"});
  form->addRow(AddLabel(VXMSG_COMPRESSION), Png.Compression);
  for (QComboBox* c : {Png.Colours, Png.Filter, Png.Compression})
    connect(c, &QComboBox::currentIndexChanged, this, &TfIOPreviews::ControlChanged);
  connect(Png.Background, &QPushButton::clicked, this, [this] {
    const TColourPair pair = ColourPairs(ipPNG)[static_cast<size_t>(Png.Colours->currentIndex())];
    const int64_t entries = GetNumCol(pair.Bits, pair.Samples);
    ChooseColour(Png.Background, work_.PNG_Background,
                 entries <= 256 ? static_cast<int>(entries) : 0);
  });
  return page;
}

// ============================== set-up ==============================

void TfIOPreviews::SetLanguage(TMsgLanguage language) {
  language_ = language;
  setWindowTitle(QString::fromStdString(vxmsg(VXMSG_PARAMETERSPREVIEW, language)));
  for (const Caption& c : captions_) {
    const QString word = QString::fromStdString(vxmsg(c.word, language));
    switch (c.kind) {
      case Caption::Label:
        static_cast<QLabel*>(c.widget)->setText(word + ':');
        break;
      case Caption::Group:
        static_cast<QGroupBox*>(c.widget)->setTitle(' ' + word + ' ');
        break;
      case Caption::Button:
        if (auto* b = qobject_cast<QPushButton*>(c.widget))
          b->setText(word);
        else if (auto* l = qobject_cast<QLabel*>(c.widget))
          l->setText(word);
        break;
      case Caption::Check:
        static_cast<QCheckBox*>(c.widget)->setText(word);
        break;
    }
  }
  lock_->setToolTip(QString::fromStdString(vxmsg(VXMSG_LOCKPREVIEW, language)));
}

void TfIOPreviews::SetPreviewFont(const TFont& font) {
  setFont(ToQFont(font));
}

bool TfIOPreviews::SetPreviewParams(TPreviewParams pages) {
  // ppAUTO adds the page of the format the parameters were read from.
  static constexpr std::pair<int, TPreviewParamsItems> kAutoPages[] = {
      {ioTIFF, ppTIFF}, {ioGIF, ppGIF}, {ioJPEG, ppJPEG},
      {ioPCX, ppPCX},   {ioBMP, ppBMP}, {ioPNG, ppPNG}};
  if (pages.Contains(ppAUTO) && params_)
    for (const auto& [type, page] : kAutoPages)
      if (params_->FileType == type) pages.Include(page);
  pages_ = pages;
  // With no page at all (the empty set, or ppAUTO that found none) there is nothing to
  // show, and a form with no page would offer OK on nothing.
  if (pages.Contains(ppALL)) return true;
  for (int i = 0; i < kIOPreviewPageCount; ++i)
    if (pages.Contains(PageItem(static_cast<TIOPreviewPage>(i)))) return true;
  return false;
}

void TfIOPreviews::SetSourceImage(const TBitmap& image) {
  source_->Assign(&image);
  source_->Update();
}

bool TfIOPreviews::PageVisible(TIOPreviewPage page) const {
  return pages_.Contains(ppALL) || pages_.Contains(PageItem(page));
}

TIOPreviewPage TfIOPreviews::ActivePage() const {
  return static_cast<TIOPreviewPage>(std::max(0, tabs_->currentIndex()));
}

void TfIOPreviews::SetActivePage(TIOPreviewPage page) {
  tabs_->setCurrentIndex(static_cast<int>(page));
}

const TIOParamsVals& TfIOPreviews::PreviewParamsSet() const {
  return io_->Params();
}

QString TfIOPreviews::OriginalSizeText() const {
  return originalSize_[static_cast<int>(ActivePage())]->text();
}

QString TfIOPreviews::CompressedSizeText() const {
  return compressedSize_[static_cast<int>(ActivePage())]->text();
}

void TfIOPreviews::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!activated_) Activate();
}

void TfIOPreviews::Activate() {
  if (!params_) return;
  {
    const QSignalBlocker quiet(lock_);
    lock_->setChecked(defaultLock_);
  }
  preview_->setEnabled(!defaultLock_);
  int first = -1;
  for (int i = 0; i < kIOPreviewPageCount; ++i) {
    const bool visible = PageVisible(static_cast<TIOPreviewPage>(i));
    tabs_->setTabVisible(i, visible);
    if (visible && first < 0) first = i;
  }
  muted_ = true;
  {
    const QSignalBlocker quiet(tabs_);
    if (first >= 0) tabs_->setCurrentIndex(first);
  }
  work_.Assign(*params_);
  FillPage(ActivePage());
  source_->Fit();
  activated_ = true;
  PageChanged();
}

// ============================== pages ==============================

void TfIOPreviews::PageChanged() {
  muted_ = true;
  // Edits made on the page left are dropped.
  work_.Assign(*params_);
  FillPage(ActivePage());
  muted_ = false;
  MakePreview();
}

void TfIOPreviews::FillPage(TIOPreviewPage page) {
  const bool wasMuted = muted_;
  muted_ = true;
  const TBitmap& src = source_->Bitmap();
  const int64_t bits = src.PixelFormat() == pf1bit ? 1 : 24;
  const int64_t original = (bits * src.Width() + 31) / 32 * 4 * src.Height();
  originalSize_[static_cast<int>(page)]->setText(Bytes(original));
  const TIOParamsVals& w = work_;
  switch (page) {
    case ipJPEG:
      Jpeg.QualityBar->setValue(w.JPEG_Quality);
      Jpeg.Quality->setText(QString::number(w.JPEG_Quality));
      Jpeg.ColorSpace->setCurrentIndex(w.JPEG_ColorSpace);
      Jpeg.DCTMethod->setCurrentIndex(w.JPEG_DCTMethod);
      Jpeg.Smooth->setValue(w.JPEG_Smooth);
      Jpeg.OptimalHuffman->setChecked(w.JPEG_OptimalHuffman);
      Jpeg.Progressive->setChecked(w.JPEG_Progressive);
      break;
    case ipTIFF:
      Tiff.Compression->setCurrentIndex(w.TIFF_Compression);
      Tiff.ImageIndex->setValue(w.TIFF_ImageIndex);
      Tiff.Photometric->setCurrentIndex(w.TIFF_PhotometInterpret);
      Tiff.Colours->setCurrentIndex(ColourIndexOf(ipTIFF, w.BitsPerSample, w.SamplesPerPixel));
      Tiff.XPos->setText(QString::number(w.TIFF_XPos));
      Tiff.YPos->setText(QString::number(w.TIFF_YPos));
      SetText(Tiff.DocumentName, w.TIFF_DocumentName);
      SetText(Tiff.Description, w.TIFF_ImageDescription);
      SetText(Tiff.PageName, w.TIFF_PageName);
      Tiff.PageNumber->setValue(w.TIFF_PageNumber);
      Tiff.PageCount->setValue(w.TIFF_PageCount);
      FillTiffColours();
      break;
    case ipGIF:
      Gif.ImageIndex->setValue(w.GIF_ImageIndex);
      Gif.Colours->setCurrentIndex(std::clamp(w.BitsPerSample, 1, 8) - 1);
      Gif.Transparent->setChecked(w.GIF_FlagTranspColor);
      Gif.TranspLabel->setEnabled(w.GIF_FlagTranspColor);
      Gif.TranspColor->setEnabled(w.GIF_FlagTranspColor);
      ShowPanel(Gif.TranspColor, w.GIF_TranspColor);
      Gif.Interlaced->setChecked(w.GIF_Interlaced);
      ShowPanel(Gif.Background, w.GIF_Background);
      Gif.DelayTime->setValue(w.GIF_DelayTime);
      Gif.XPos->setText(QString::number(w.GIF_XPos));
      Gif.YPos->setText(QString::number(w.GIF_YPos));
      break;
    case ipBMP:
      Bmp.Compression->setCurrentIndex(w.BMP_Compression);
      Bmp.Colours->setCurrentIndex(ColourIndexOf(ipBMP, w.BitsPerSample, w.SamplesPerPixel));
      break;
    case ipPCX:
      Pcx.Compression->setCurrentIndex(w.PCX_Compression);
      Pcx.Colours->setCurrentIndex(ColourIndexOf(ipPCX, w.BitsPerSample, w.SamplesPerPixel));
      break;
    case ipPNG:
      Png.Colours->setCurrentIndex(ColourIndexOf(ipPNG, w.BitsPerSample, w.SamplesPerPixel));
      Png.Interlaced->setChecked(w.PNG_Interlaced);
      ShowPanel(Png.Background, w.PNG_Background);
      Png.Filter->setCurrentIndex(w.PNG_Filter);
      Png.Compression->setCurrentIndex(std::clamp(w.PNG_Compression, 0, 9));
      break;
  }
  muted_ = wasMuted;
}

// The photometric decides what the colours list may say.
void TfIOPreviews::FillTiffColours() {
  const auto p = static_cast<TIOTIFFPhotometInterpret>(Tiff.Photometric->currentIndex());
  const bool wasMuted = muted_;
  muted_ = true;
  if (PhotometricFixesColours(p)) {
    Tiff.Colours->setCurrentIndex(kTiffColours16M);
    Tiff.Colours->setEnabled(false);
  } else if (p == ioTIFF_WHITEISZERO || p == ioTIFF_BLACKISZERO) {
    Tiff.Colours->setCurrentIndex(kColoursBW);
    Tiff.Colours->setEnabled(false);
  } else {
    Tiff.Colours->setEnabled(true);
    if (Tiff.Colours->currentIndex() == kColoursBW) Tiff.Colours->setCurrentIndex(kTiffColours16M);
  }
  muted_ = wasMuted;
  if (!muted_) ControlChanged();
}

// ============================== editing ==============================

void TfIOPreviews::QualityTyped() {
  if (muted_) return;
  // An empty or unreadable quality counts as the default.
  Jpeg.QualityBar->setValue(std::clamp(NumberIn(Jpeg.Quality, 50), 0, 100));
}

void TfIOPreviews::ReadControls(TIOPreviewPage page, bool& changed) {
  TIOParamsVals& w = work_;
  auto take = [&changed](auto& field, auto value) {
    using F = std::remove_reference_t<decltype(field)>;
    const F v = static_cast<F>(value);
    if (!(field == v)) {
      field = v;
      changed = true;
    }
  };
  // Values that do not change the picture are copied without a new preview.
  auto copy = [](auto& field, auto value) {
    using F = std::remove_reference_t<decltype(field)>;
    field = static_cast<F>(value);
  };
  switch (page) {
    case ipJPEG:
      take(w.JPEG_Quality, Jpeg.QualityBar->value());
      take(w.JPEG_ColorSpace, Jpeg.ColorSpace->currentIndex());
      take(w.JPEG_DCTMethod, Jpeg.DCTMethod->currentIndex());
      take(w.JPEG_Smooth, Jpeg.Smooth->value());
      take(w.JPEG_OptimalHuffman, Jpeg.OptimalHuffman->isChecked());
      take(w.JPEG_Progressive, Jpeg.Progressive->isChecked());
      break;
    case ipTIFF: {
      take(w.TIFF_Compression, Tiff.Compression->currentIndex());
      take(w.TIFF_PhotometInterpret, Tiff.Photometric->currentIndex());
      TColourPair pair = ColourPairs(ipTIFF)[static_cast<size_t>(Tiff.Colours->currentIndex())];
      if (w.TIFF_PhotometInterpret == ioTIFF_CMYK) pair = {8, 4};
      take(w.BitsPerSample, pair.Bits);
      take(w.SamplesPerPixel, pair.Samples);
      copy(w.TIFF_ImageIndex, Tiff.ImageIndex->value());
      copy(w.TIFF_XPos, NumberIn(Tiff.XPos, 0));
      copy(w.TIFF_YPos, NumberIn(Tiff.YPos, 0));
      w.TIFF_DocumentName = TextOf(Tiff.DocumentName);
      w.TIFF_ImageDescription = TextOf(Tiff.Description);
      w.TIFF_PageName = TextOf(Tiff.PageName);
      copy(w.TIFF_PageNumber, Tiff.PageNumber->value());
      copy(w.TIFF_PageCount, Tiff.PageCount->value());
      break;
    }
    case ipGIF:
      take(w.BitsPerSample, Gif.Colours->currentIndex() + 1);
      take(w.GIF_Interlaced, Gif.Interlaced->isChecked());
      copy(w.GIF_ImageIndex, Gif.ImageIndex->value());
      copy(w.GIF_FlagTranspColor, Gif.Transparent->isChecked());
      copy(w.GIF_DelayTime, Gif.DelayTime->value());
      copy(w.GIF_XPos, NumberIn(Gif.XPos, 0));
      copy(w.GIF_YPos, NumberIn(Gif.YPos, 0));
      break;
    case ipBMP: {
      take(w.BMP_Compression, Bmp.Compression->currentIndex());
      const TColourPair pair = ColourPairs(ipBMP)[static_cast<size_t>(Bmp.Colours->currentIndex())];
      take(w.BitsPerSample, pair.Bits);
      take(w.SamplesPerPixel, pair.Samples);
      break;
    }
    case ipPCX: {
      take(w.PCX_Compression, Pcx.Compression->currentIndex());
      const TColourPair pair = ColourPairs(ipPCX)[static_cast<size_t>(Pcx.Colours->currentIndex())];
      take(w.BitsPerSample, pair.Bits);
      take(w.SamplesPerPixel, pair.Samples);
      break;
    }
    case ipPNG: {
      const TColourPair pair = ColourPairs(ipPNG)[static_cast<size_t>(Png.Colours->currentIndex())];
      take(w.BitsPerSample, pair.Bits);
      take(w.SamplesPerPixel, pair.Samples);
      take(w.PNG_Interlaced, Png.Interlaced->isChecked());
      take(w.PNG_Filter, Png.Filter->currentIndex());
      take(w.PNG_Compression, Png.Compression->currentIndex());
      break;
    }
  }
}

void TfIOPreviews::ControlChanged() {
  if (muted_ || !activated_) return;
  bool changed = false;
  ReadControls(ActivePage(), changed);
  if (changed && lock_->isChecked()) MakePreview();
}

void TfIOPreviews::ShowPanel(QPushButton* panel, TRGB c) {
  panel->setStyleSheet(QString("background-color: rgb(%1,%2,%3); border: 1px solid gray;")
                           .arg(c.r)
                           .arg(c.g)
                           .arg(c.b));
}

void TfIOPreviews::ChooseColour(QPushButton* panel, TRGB& target, int entries) {
  std::vector<TRGB> palette;
  const TIOParamsVals& pp = io_->Params();
  if (entries > 0 && pp.ColorMapCount > 0) {
    const int n = std::min({entries, pp.ColorMapCount, static_cast<int>(pp.ColorMap.size())});
    palette.assign(pp.ColorMap.begin(), pp.ColorMap.begin() + n);
  }
  TRGB chosen = target;
  bool ok = false;
  if (ColourChooser) {
    ok = ColourChooser(palette, chosen);
  } else if (!palette.empty()) {
    TVantixPaletteDialog dialog(this);
    if (auto* cancel = dialog.findChild<QPushButton*>())
      cancel->setText(QString::fromStdString(vxmsg(VXMSG_CANCEL, language_)));
    dialog.SetPalette(palette);
    ok = dialog.Execute();
    if (ok) chosen = TColor2TRGB(dialog.Color());
  } else {
    const QColor c = QColorDialog::getColor(QColor(target.r, target.g, target.b), this, QString(),
                                            QColorDialog::DontUseNativeDialog);
    ok = c.isValid();
    if (ok)
      chosen = TRGB{static_cast<uint8_t>(c.blue()), static_cast<uint8_t>(c.green()),
                    static_cast<uint8_t>(c.red())};
  }
  if (!ok) return;
  target = chosen;
  ShowPanel(panel, chosen);
}

// ============================== preview ==============================

void TfIOPreviews::WritePage(TIOPreviewPage page, TIOParamsVals& p) const {
  const TIOParamsVals& w = work_;
  switch (page) {
    case ipJPEG:
      p.JPEG_Quality = w.JPEG_Quality;
      p.JPEG_ColorSpace = w.JPEG_ColorSpace;
      p.JPEG_DCTMethod = w.JPEG_DCTMethod;
      p.JPEG_Smooth = w.JPEG_Smooth;
      p.JPEG_OptimalHuffman = w.JPEG_OptimalHuffman;
      p.JPEG_Progressive = w.JPEG_Progressive;
      break;
    case ipTIFF:
      p.TIFF_Compression = w.TIFF_Compression;
      p.TIFF_ImageIndex = w.TIFF_ImageIndex;
      p.TIFF_PhotometInterpret = w.TIFF_PhotometInterpret;
      p.BitsPerSample = w.BitsPerSample;
      p.SamplesPerPixel = w.SamplesPerPixel;
      p.TIFF_XPos = w.TIFF_XPos;
      p.TIFF_YPos = w.TIFF_YPos;
      p.TIFF_DocumentName = w.TIFF_DocumentName;
      p.TIFF_ImageDescription = w.TIFF_ImageDescription;
      p.TIFF_PageName = w.TIFF_PageName;
      p.TIFF_PageNumber = w.TIFF_PageNumber;
      p.TIFF_PageCount = w.TIFF_PageCount;
      break;
    case ipGIF:
      p.GIF_ImageIndex = w.GIF_ImageIndex;
      p.BitsPerSample = w.BitsPerSample;
      p.SamplesPerPixel = 1;
      p.GIF_FlagTranspColor = w.GIF_FlagTranspColor;
      p.GIF_TranspColor = w.GIF_TranspColor;
      p.GIF_Interlaced = w.GIF_Interlaced;
      p.GIF_Background = w.GIF_Background;
      p.GIF_DelayTime = w.GIF_DelayTime;
      p.GIF_XPos = w.GIF_XPos;
      p.GIF_YPos = w.GIF_YPos;
      break;
    case ipBMP:
      p.BMP_Compression = w.BMP_Compression;
      p.BitsPerSample = w.BitsPerSample;
      p.SamplesPerPixel = w.SamplesPerPixel;
      break;
    case ipPCX:
      p.PCX_Compression = w.PCX_Compression;
      p.BitsPerSample = w.BitsPerSample;
      p.SamplesPerPixel = w.SamplesPerPixel;
      break;
    case ipPNG:
      p.BitsPerSample = w.BitsPerSample;
      p.SamplesPerPixel = w.SamplesPerPixel;
      p.PNG_Interlaced = w.PNG_Interlaced;
      p.PNG_Background = w.PNG_Background;
      p.PNG_Filter = w.PNG_Filter;
      p.PNG_Compression = w.PNG_Compression;
      break;
  }
}

void TfIOPreviews::SetCompressedSize(int64_t bytes) {
  compressedSize_[static_cast<int>(ActivePage())]->setText(Bytes(bytes));
}

// The result becomes the source reduced to colours entries; the palette built is kept
// as the private parameters' colour map when asked (the colour panels offer it).
void TfIOPreviews::ReduceResult(int colours, bool keepPalette) {
  TBitmap& r = result_->Bitmap();
  CopyBitmap(source_->Bitmap(), r);
  TIOParamsVals& pp = io_->Params();
  if (colours > 256 || r.PixelFormat() != pf24bit) {
    if (keepPalette) pp.FreeColorMap();
    return;
  }
  std::vector<TRGB> palette;
  TProgressRec pr = nullpr;
  pr.ProgressEvent = io_->OnProgress;
  pr.Sender = io_.get();
  ConvertToPalette(r, colours, palette, pr);
  if (keepPalette) pp.SetColorMap(std::move(palette));
}

void TfIOPreviews::MakePreview() {
  if (!params_ || !activated_) return;
  ++previewCount_;
  const TIOPreviewPage page = ActivePage();
  TBitmap& src = source_->Bitmap();
  // The private component saves with exactly what OK would store, so the size shown is
  // the size of the file these settings give.
  TIOParamsVals& pp = io_->Params();
  pp.Assign(*params_);
  WritePage(page, pp);
  io_->SetAttachedBitmap(&src);
  progressOffset_ = 0;
  progressDivisor_ = 1;
  auto colourCount = [&pp] {
    const int64_t n = GetNumCol(pp.BitsPerSample, pp.SamplesPerPixel);
    return n > 256 ? 257 : static_cast<int>(n);
  };
  try {
    if (page == ipJPEG) {
      TMemoryStream mem;
      io_->SaveToStreamJpeg(mem);
      SetCompressedSize(mem.Size());
      // Loaded back, the result shows the real artefacts of these settings.
      io_->SetAttachedBitmap(&result_->Bitmap());
      progressOffset_ = 50;
      progressDivisor_ = 2;
      mem.Seek(0, soBeginning);
      io_->LoadFromStreamJpeg(mem);
    } else {
      TNulStream counter;
      switch (page) {
        case ipTIFF:
          io_->SaveToStreamTIFF(counter);
          break;
        case ipGIF:
          io_->SaveToStreamGif(counter);
          break;
        case ipBMP:
          io_->SaveToStreamBMP(counter);
          break;
        case ipPCX:
          io_->SaveToStreamPCX(counter);
          break;
        default:
          io_->SaveToStreamPNG(counter);
          break;
      }
      SetCompressedSize(counter.Size());
      if (page == ipTIFF && PhotometricFixesColours(pp.TIFF_PhotometInterpret)) {
        CopyBitmap(src, result_->Bitmap());
        pp.FreeColorMap();
      } else if (page == ipGIF) {
        ReduceResult(1 << std::clamp(pp.BitsPerSample, 1, 8), true);
      } else {
        ReduceResult(colourCount(), page == ipTIFF || page == ipPNG);
      }
    }
  } catch (const std::exception&) {
    // A preview that could not be made leaves what was produced; the form stays usable.
    io_->SetAborting(true);
  }
  progress_->setValue(0);
  result_->SetZoom(source_->Zoom());
  result_->SetViewXY(source_->ViewX(), source_->ViewY());
  result_->Update();
}

void TfIOPreviews::OnProgress(TObject*, int percent) {
  progress_->setValue(std::clamp(percent / progressDivisor_ + progressOffset_, 0, 100));
}

void TfIOPreviews::FollowSource(TObject*, int) {
  if (result_->Zoom() != source_->Zoom()) result_->SetZoom(source_->Zoom());
  result_->SetViewXY(source_->ViewX(), source_->ViewY());
}

void TfIOPreviews::accept() {
  if (params_) WritePage(ActivePage(), *params_);
  QDialog::accept();
}

// ============================== the component's dialog ==============================

namespace {

bool RunDialog(const TIOPreviewRequest& request) {
  TfIOPreviews form;
  form.SetDefaultLockPreview(request.LockPreview);
  form.SetParams(request.Params);
  form.SetLanguage(request.Language);
  if (request.Font) form.SetPreviewFont(*request.Font);
  form.SetSourceImage(*request.Image);
  if (!form.SetPreviewParams(request.Pages)) return false;
  request.OnPreview(request.Sender, &form);
  return form.exec() == QDialog::Accepted;
}

// The widget library offers the dialog to the non-visual components as soon as it loads.
const bool kRegistered = [] {
  SetIOPreviewRunner(&RunDialog);
  return true;
}();

}  // namespace

}  // namespace vx
