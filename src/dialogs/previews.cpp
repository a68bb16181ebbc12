#include "dialogs/previews.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "controls/histogrambox.h"
#include "controls/hsvbox.h"
#include "controls/rulerbox.h"
#include "platform/canvas.h"
#include "platform/exceptions.h"
#include "platform/syscolors.h"
#include "proc/colorspace.h"
#include "proc/effects.h"
#include "proc/filters.h"
#include "proc/geometry.h"
#include "proc/histogram.h"
#include "proc/pointops.h"
#include "view/vantixview.h"

namespace vx {

namespace {

using namespace previewparam;

constexpr int kPage(TPreviewPage p) {
  return static_cast<int>(p);
}

// Equalisation channel list rows.
enum { kChanRed, kChanGreen, kChanBlue, kChanGray };

constexpr TColor kGripGrey = 0x808080;
constexpr int kThumbSide = 128;

QString Text(int word, TMsgLanguage language) {
  return QString::fromStdString(vxmsg(word, language));
}

// The same text with an accelerator on its first letter, as the buttons show it.
QString Accel(const QString& s) {
  return "&" + s;
}

TVantixView* MakeView(QWidget* parent) {
  auto* v = new TVantixView(parent);
  v->SetCenter(true);
  v->SetBackground(clBtnFace);
  v->setMinimumSize(200, 160);
  return v;
}

QToolButton* MakeToggle(QWidget* parent, const QString& text) {
  auto* b = new QToolButton(parent);
  b->setCheckable(true);
  b->setText(text);
  return b;
}

}  // namespace

// ============================== construction ==============================

TfPreviews::TfPreviews(QWidget* parent) : QDialog(parent) {
  setObjectName("fPreviews");
  filter_ = FilterPreset(fpNone);

  source_ = MakeView(this);
  result_ = MakeView(this);
  source_->setObjectName("Vantix1");
  result_->setObjectName("Vantix2");
  sourceProc_ = std::make_unique<TVantixProc>();
  sourceProc_->SetAttachedVantix(source_);
  sourceProc_->SetAutoUndo(false);
  sourceProc_->SetBackground(clBtnFace);
  source_->OnViewChange = [this](TObject*, int) {
    if (activated_) CopyOrg();
  };
  result_->viewport()->installEventFilter(this);

  sourceLabel_ = new QLabel("Source:", this);
  resultLabel_ = new QLabel("Result:", this);
  auto* views = new QGridLayout;
  views->addWidget(sourceLabel_, 0, 0);
  views->addWidget(resultLabel_, 0, 1);
  views->addWidget(source_, 1, 0);
  views->addWidget(result_, 1, 1);

  lock_ = MakeToggle(this, QString::fromUtf8("\xF0\x9F\x94\x92"));  // padlock
  lock_->setObjectName("lockPreview");
  lock_->setToolTip("Lock preview");
  preview_ = new QPushButton("&Preview", this);
  preview_->setObjectName("preview");
  copy_ = new QPushButton("<<", this);
  copy_->setObjectName("copyResultToSource");
  copy_->setToolTip("Copy Result to Source");
  ok_ = new QPushButton("OK", this);
  ok_->setObjectName("ok");
  ok_->setDefault(true);
  cancel_ = new QPushButton("Cancel", this);
  cancel_->setObjectName("cancel");
  Caption(VXMSG_PREVIEW, [this](const QString& s) { setWindowTitle(s); });
  Caption(VXMSG_SOURCE, [this](const QString& s) { sourceLabel_->setText(s + ":"); });
  Caption(VXMSG_RESULT, [this](const QString& s) { resultLabel_->setText(s + ":"); });
  Caption(VXMSG_OK, [this](const QString& s) { ok_->setText(s); });
  Caption(VXMSG_CANCEL, [this](const QString& s) { cancel_->setText(s); });
  Caption(VXMSG_LOCKPREVIEW, [this](const QString& s) { lock_->setToolTip(s); });
  Caption(VXMSG_COPYRESULTTOSOURCE, [this](const QString& s) { copy_->setToolTip(s); });
  Caption(VXMSG_PREVIEW, [this](const QString& s) { preview_->setText(Accel(s)); });

  pages_ = new QTabWidget(this);
  pages_->setObjectName("pages");
  pages_->setTabPosition(QTabWidget::South);
  BuildContrastPage();
  BuildHSVPage();
  BuildHSLPage();
  BuildRGBPage();
  BuildUserFilterPage();
  BuildEqualizationPage();
  BuildBumpPage();
  BuildLensPage();
  BuildWavePage();
  BuildMorphPage();
  BuildRotatePage();
  BuildFFTPage();

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(lock_);
  buttons->addWidget(preview_);
  buttons->addWidget(copy_);
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);

  auto* top = new QVBoxLayout(this);
  top->addLayout(views, 1);
  top->addWidget(pages_);
  top->addLayout(buttons);

  connect(pages_, &QTabWidget::currentChanged, this, [this] {
    if (activated_) PageChanged();
  });
  connect(lock_, &QToolButton::toggled, this, &TfPreviews::LockToggled);
  connect(preview_, &QPushButton::clicked, this, &TfPreviews::Rerender);
  connect(copy_, &QPushButton::clicked, this, &TfPreviews::CopyPressed);
  connect(ok_, &QPushButton::clicked, this, &TfPreviews::OkPressed);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  ChooseFilterFile = [this](bool saving) {
    QFileDialog d(this, saving ? tr("Save filter") : tr("Load filter"), QString(),
                  "Filter (*.flt)");
    d.setOption(QFileDialog::DontUseNativeDialog);
    d.setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    d.setFileMode(saving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    d.setDefaultSuffix("flt");
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return QString();
    return d.selectedFiles().front();
  };

  SetLanguage(language_);
  resize(760, 620);
}

TfPreviews::~TfPreviews() {
  // The views outlive this body (Qt frees them with the dialog): nothing of theirs may
  // call back into a half-destroyed dialog.
  result_->viewport()->removeEventFilter(this);
  source_->OnViewChange = nullptr;
  // The components go before the views they are attached to.
  freqProc_.reset();
  sourceProc_.reset();
}

void TfPreviews::Caption(int word, std::function<void(const QString&)> set) {
  captions_.push_back({word, std::move(set)});
}

QWidget* TfPreviews::BuildPage(TPreviewPage page, const QString& fixedTitle, int word) {
  auto* w = new QWidget(pages_);
  w->setObjectName(QString("page%1").arg(kPage(page) + 1));
  const int index = pages_->addTab(w, fixedTitle);
  if (word >= 0) Caption(word, [this, index](const QString& s) { pages_->setTabText(index, s); });
  return w;
}

TfPreviews::TParam& TfPreviews::AddParam(TPreviewPage page, QWidget* parent, int word, int minimum,
                                         int maximum, int step, int fallback) {
  auto& list = params_[static_cast<size_t>(kPage(page))];
  const int index = static_cast<int>(list.size());
  TParam p;
  p.label = new QLabel(parent);
  p.bar = new QSlider(Qt::Horizontal, parent);
  p.bar->setRange(minimum, maximum);
  p.bar->setSingleStep(step);
  p.bar->setPageStep(step * 10);
  p.box = new QLineEdit("0", parent);
  p.box->setMaximumWidth(70);
  p.fallback = fallback;
  p.value = p.bar->value();
  p.box->setText(QString::number(p.value));
  if (word >= 0) {
    QLabel* label = p.label;
    Caption(word, [label](const QString& s) { label->setText(s); });
  }
  connect(p.bar, &QSlider::valueChanged, this,
          [this, page, index](int v) { BarChanged(page, index, v); });
  // A number box only moves its track bar; the track bar does the rest (and clamps).
  QSlider* bar = p.bar;
  const int fb = fallback;
  connect(p.box, &QLineEdit::textEdited, this,
          [bar, fb](const QString& t) { bar->setValue(ParseNumber(t, fb)); });
  auto* grid = qobject_cast<QGridLayout*>(parent->layout());
  if (!grid) grid = new QGridLayout(parent);
  const int row = grid->rowCount();
  grid->addWidget(p.label, row, 0);
  grid->addWidget(p.bar, row, 1);
  grid->addWidget(p.box, row, 2);
  list.push_back(p);
  return list.back();
}

QWidget* TfPreviews::BuildContrastPage() {
  QWidget* w = BuildPage(ppContrast, "Contrast", VXMSG_CONTRAST);
  AddParam(ppContrast, w, VXMSG_CONTRAST, -100, 100);
  AddParam(ppContrast, w, VXMSG_BRIGHTNESS, -100, 100);
  return w;
}

QWidget* TfPreviews::BuildHSVPage() {
  QWidget* w = BuildPage(ppHSV, "HSV", -1);
  auto* bars = new QWidget(w);
  AddParam(ppHSV, bars, VXMSG_HUE, -180, 180);
  AddParam(ppHSV, bars, VXMSG_SATURATION, -100, 100);
  AddParam(ppHSV, bars, VXMSG_VALUE, -100, 100);
  auto* baseLabel = new QLabel("Base color", w);
  auto* newLabel = new QLabel("New color", w);
  Caption(VXMSG_BASECOLOR, [baseLabel](const QString& s) { baseLabel->setText(s); });
  Caption(VXMSG_NEWCOLOR, [newLabel](const QString& s) { newLabel->setText(s); });
  baseColor_ = new THSVBox(w);
  newColor_ = new THSVBox(w);
  baseColor_->setObjectName("baseColor");
  newColor_->setObjectName("newColor");
  for (THSVBox* b : {baseColor_, newColor_}) {
    b->setFixedSize(120, 90);
    b->OnChange = [this](TObject*) { ColorBoxChanged(); };
  }
  auto* grid = new QGridLayout(w);
  grid->addWidget(bars, 0, 0, 2, 1);
  grid->addWidget(baseLabel, 0, 1);
  grid->addWidget(newLabel, 0, 2);
  grid->addWidget(baseColor_, 1, 1);
  grid->addWidget(newColor_, 1, 2);
  return w;
}

QWidget* TfPreviews::BuildHSLPage() {
  QWidget* w = BuildPage(ppHSL, "HSL", -1);
  AddParam(ppHSL, w, VXMSG_HUE, -180, 180);
  AddParam(ppHSL, w, VXMSG_SATURATION, -100, 100);
  AddParam(ppHSL, w, VXMSG_LUMINOSITY, -100, 100);
  return w;
}

QWidget* TfPreviews::BuildRGBPage() {
  QWidget* w = BuildPage(ppRGB, "RGB", -1);
  AddParam(ppRGB, w, VXMSG_RED, -255, 255);
  AddParam(ppRGB, w, VXMSG_GREEN, -255, 255);
  AddParam(ppRGB, w, VXMSG_BLUE, -255, 255);
  return w;
}

QWidget* TfPreviews::BuildUserFilterPage() {
  QWidget* w = BuildPage(ppUserFilter, "User filter", VXMSG_USERFILTER);
  auto* values = new QGroupBox("Filter values", w);
  Caption(VXMSG_FILTERVALUES, [values](const QString& s) { values->setTitle(s); });
  auto* grid = new QGridLayout(values);
  for (int t = 0; t < 10; ++t) {
    auto* box = new QLineEdit(values);
    box->setObjectName(QString("filterValue%1").arg(t));
    box->setMaximumWidth(60);
    box->setProperty("tag", t);
    filterBoxes_[static_cast<size_t>(t)] = box;
    connect(box, &QLineEdit::textChanged, this, [this, t] { FilterBoxEdited(t); });
    if (t < 9) grid->addWidget(box, t / 3, t % 3);
  }
  auto* divisor = new QLabel("Divisor", values);
  Caption(VXMSG_DIVISOR, [divisor](const QString& s) { divisor->setText(s); });
  grid->addWidget(divisor, 3, 0, 1, 2);
  grid->addWidget(filterBoxes_[9], 3, 2);

  auto* presetsBox = new QGroupBox("Presets", w);
  Caption(VXMSG_PRESETS, [presetsBox](const QString& s) { presetsBox->setTitle(s); });
  auto* pl = new QVBoxLayout(presetsBox);
  presets_ = new QListWidget(presetsBox);
  presets_->setObjectName("presets");
  presets_->addItems({"None", "Blur", "Edges", "Emboss", "High Pass 1", "High Pass 2",
                      "High Pass 3", "Low Pass 1", "Low Pass 2"});
  connect(presets_, &QListWidget::currentRowChanged, this, &TfPreviews::PresetChosen);
  pl->addWidget(presets_);
  load_ = new QPushButton("&Load", w);
  save_ = new QPushButton("&Save", w);
  load_->setObjectName("loadFilter");
  save_->setObjectName("saveFilter");
  Caption(VXMSG_LOAD, [this](const QString& s) { load_->setText(Accel(s)); });
  Caption(VXMSG_SAVE, [this](const QString& s) { save_->setText(Accel(s)); });
  connect(load_, &QPushButton::clicked, this, &TfPreviews::LoadFilterFile);
  connect(save_, &QPushButton::clicked, this, &TfPreviews::SaveFilterFile);
  auto* side = new QVBoxLayout;
  side->addWidget(load_);
  side->addWidget(save_);
  side->addStretch(1);
  auto* row = new QHBoxLayout(w);
  row->addWidget(values);
  row->addWidget(presetsBox);
  row->addLayout(side);
  LoadFilt();
  return w;
}

QWidget* TfPreviews::BuildEqualizationPage() {
  QWidget* w = BuildPage(ppEqualization, "Equalization", VXMSG_EQUALIZATION);
  auto* group = new QGroupBox("Histogram", w);
  Caption(VXMSG_HISTOGRAM, [group](const QString& s) { group->setTitle(s); });
  // The histogram and its rulers are placed by hand: the threshold ruler follows the
  // histogram's plotting area.
  histogramArea_ = new QWidget(group);
  histogramArea_->setFixedSize(300, 150);
  histogram_ = new THistogramBox(histogramArea_);
  histogram_->setObjectName("histogram");
  histogram_->setGeometry(0, 0, 300, 100);
  histogram_->SetAttachedVantixProc(sourceProc_.get());
  auto makeRuler = [this](const char* name) {
    auto* r = new TRulerBox(histogramArea_);
    r->setObjectName(name);
    r->SetViewMin(0);
    r->SetViewMax(255);
    r->SetFitInView(true);
    r->SetRuler(false);
    r->SetGripsCount(2);
    for (int i = 0; i < 2; ++i) {
      r->SetGripsMin(i, 0);
      r->SetGripsMax(i, 255);
    }
    r->OnRulerPosChange = [this, r](TObject*, int grip) { GripMoved(r, grip); };
    return r;
  };
  thresholdRuler_ = makeRuler("thresholdRuler");
  rangeRuler_ = makeRuler("rangeRuler");
  for (auto& l : gripLabels_) {
    l = new QLabel("0", histogramArea_);
    l->setFixedWidth(28);
  }
  auto* gl = new QVBoxLayout(group);
  gl->addWidget(histogramArea_);

  auto* thrLabel = new QLabel("Threshold", w);
  auto* eqLabel = new QLabel("Equalization", w);
  Caption(VXMSG_THRESHOLD, [thrLabel](const QString& s) { thrLabel->setText(s); });
  Caption(VXMSG_EQUALIZATION, [eqLabel](const QString& s) { eqLabel->setText(s); });
  channels_ = new QListWidget(w);
  channels_->setObjectName("channels");
  const int words[] = {VXMSG_RED, VXMSG_GREEN, VXMSG_BLUE, VXMSG_GRAY};
  const char* names[] = {"Red", "Green", "Blue", "Gray"};
  for (int i = 0; i < 4; ++i) {
    auto* item = new QListWidgetItem(names[i], channels_);
    item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
    item->setCheckState(i == kChanGray ? Qt::Checked : Qt::Unchecked);
    Caption(words[i], [item](const QString& s) { item->setText(s); });
  }
  channels_->setMaximumWidth(110);
  connect(channels_, &QListWidget::itemChanged, this, [this] { ChannelsChanged(); });
  equalize_ = MakeToggle(w, "Equalize");
  equalize_->setObjectName("equalize");
  Caption(VXMSG_EQUALIZE, [this](const QString& s) { equalize_->setText(s); });
  connect(equalize_, &QToolButton::toggled, this, [this] { Rerender(); });
  auto* side = new QVBoxLayout;
  side->addWidget(thrLabel);
  side->addWidget(eqLabel);
  side->addWidget(channels_);
  side->addWidget(equalize_);
  auto* row = new QHBoxLayout(w);
  row->addWidget(group);
  row->addLayout(side);
  AlignRulers();
  return w;
}

QWidget* TfPreviews::BuildBumpPage() {
  QWidget* w = BuildPage(ppBumpMap, "Bump map", -1);
  auto* light = new QGroupBox("Light", w);
  Caption(VXMSG_LIGHT, [light](const QString& s) { light->setTitle(s); });
  AddParam(ppBumpMap, light, VXMSG_LEFT, 0, 32767, 10);
  AddParam(ppBumpMap, light, VXMSG_TOP, 0, 32767, 10);
  AddParam(ppBumpMap, light, VXMSG_WIDTH, 0, 32767, 10);
  AddParam(ppBumpMap, light, VXMSG_HEIGHT, 0, 32767, 10);
  auto* rest = new QWidget(w);
  AddParam(ppBumpMap, rest, VXMSG_SOURCEIMAGEQUANTITY, 0, 100, 10);
  auto* colorLabel = new QLabel("Color", w);
  Caption(VXMSG_COLOR, [colorLabel](const QString& s) { colorLabel->setText(s); });
  bumpColor_ = new THSVBox(w);
  bumpColor_->setObjectName("bumpColor");
  bumpColor_->setFixedSize(120, 90);
  bumpColor_->OnChange = [this](TObject*) {
    bumpRGB_ =
        TRGB{static_cast<uint8_t>(bumpColor_->Blue()), static_cast<uint8_t>(bumpColor_->Green()),
             static_cast<uint8_t>(bumpColor_->Red())};
    RerenderIfLocked();
  };
  auto* grid = new QGridLayout(w);
  grid->addWidget(light, 0, 0, 3, 1);
  grid->addWidget(colorLabel, 0, 1);
  grid->addWidget(bumpColor_, 1, 1);
  grid->addWidget(rest, 2, 1);
  return w;
}

QWidget* TfPreviews::BuildLensPage() {
  QWidget* w = BuildPage(ppLens, "Lens", VXMSG_LENS);
  auto* group = new QGroupBox("Lens", w);
  Caption(VXMSG_LENS, [group](const QString& s) { group->setTitle(s); });
  AddParam(ppLens, group, VXMSG_LEFT, 0, 32767, 10);
  AddParam(ppLens, group, VXMSG_TOP, 0, 32767, 10);
  AddParam(ppLens, group, VXMSG_WIDTH, 0, 32767, 10);
  AddParam(ppLens, group, VXMSG_HEIGHT, 0, 32767, 10);
  AddParam(ppLens, group, VXMSG_REFRACTION, 0, 32767);
  (new QVBoxLayout(w))->addWidget(group);
  return w;
}

QWidget* TfPreviews::BuildWavePage() {
  QWidget* w = BuildPage(ppWave, "Wave", VXMSG_WAVE);
  auto* group = new QGroupBox("Wave", w);
  Caption(VXMSG_WAVE, [group](const QString& s) { group->setTitle(s); });
  AddParam(ppWave, group, VXMSG_AMPLITUDE, 0, 32767);
  AddParam(ppWave, group, VXMSG_WAVELENGTH, 0, 32767);
  AddParam(ppWave, group, VXMSG_PHASE, 0, 359);
  reflective_ = new QCheckBox("Reflective", group);
  reflective_->setObjectName("reflective");
  Caption(VXMSG_REFLECTIVE, [this](const QString& s) { reflective_->setText(s); });
  connect(reflective_, &QCheckBox::toggled, this, [this] { RerenderIfLocked(); });
  qobject_cast<QGridLayout*>(group->layout())->addWidget(reflective_, 3, 1);
  (new QVBoxLayout(w))->addWidget(group);
  return w;
}

QWidget* TfPreviews::BuildMorphPage() {
  QWidget* w = BuildPage(ppMorph, "Morph filters", VXMSG_MORPHFILTER);
  auto* group = new QGroupBox("Morphing filters", w);
  Caption(VXMSG_MORPHFILTER, [group](const QString& s) { group->setTitle(s); });
  auto* filterLabel = new QLabel("Filter", group);
  Caption(VXMSG_FILTER, [filterLabel](const QString& s) { filterLabel->setText(s); });
  morphList_ = new QListWidget(group);
  morphList_->setObjectName("morphFilters");
  const int words[] = {VXMSG_MAXIMUM, VXMSG_MINIMUM, VXMSG_OPEN, VXMSG_CLOSE};
  for (int i = 0; i < 4; ++i) {
    auto* item = new QListWidgetItem(morphList_);
    Caption(words[i], [item](const QString& s) { item->setText(s); });
  }
  morphList_->setCurrentRow(0);
  connect(morphList_, &QListWidget::currentRowChanged, this, [this] { RerenderIfLocked(); });
  auto* grid = new QGridLayout(group);
  grid->addWidget(filterLabel, 0, 0);
  grid->addWidget(morphList_, 0, 1, 1, 2);
  AddParam(ppMorph, group, VXMSG_WINDOWSIZE, 1, 64, 1, 1);
  (new QVBoxLayout(w))->addWidget(group);
  return w;
}

QWidget* TfPreviews::BuildRotatePage() {
  QWidget* w = BuildPage(ppRotate, "Rotate", VXMSG_ROTATE);
  auto* bars = new QWidget(w);
  AddParam(ppRotate, bars, VXMSG_ROTATE, -180, 180);
  auto* flip = new QGroupBox("Flip", w);
  Caption(VXMSG_FLIP, [flip](const QString& s) { flip->setTitle(s); });
  flipHor_ = MakeToggle(flip, "Horizontally");
  flipVer_ = MakeToggle(flip, "Vertically");
  flipHor_->setObjectName("flipHorizontal");
  flipVer_->setObjectName("flipVertical");
  Caption(VXMSG_FLIPHOR, [this](const QString& s) { flipHor_->setText(s); });
  Caption(VXMSG_FLIPVER, [this](const QString& s) { flipVer_->setText(s); });
  connect(flipHor_, &QToolButton::toggled, this, &TfPreviews::FlipToggled);
  connect(flipVer_, &QToolButton::toggled, this, &TfPreviews::FlipToggled);
  auto* fl = new QHBoxLayout(flip);
  fl->addWidget(flipHor_);
  fl->addWidget(flipVer_);
  auto* col = new QVBoxLayout(w);
  col->addWidget(bars);
  col->addWidget(flip);
  return w;
}

QWidget* TfPreviews::BuildFFTPage() {
  QWidget* w = BuildPage(ppFFT, "FFT", -1);
  auto* group = new QGroupBox("Select the region to clean", w);
  Caption(VXMSG_SELECTTHEREGIONTOCLEAR, [group](const QString& s) { group->setTitle(s); });
  freqView_ = MakeView(group);
  freqView_->setObjectName("frequencyView");
  freqView_->setMinimumSize(140, 140);
  freqView_->SetSelectionBase(vxsbBitmap);
  freqView_->SetMouseInteract({miZoom, miSelect});
  freqProc_ = std::make_unique<TVantixProc>();
  freqProc_->SetAttachedVantix(freqView_);
  freqProc_->SetBackground(clBtnFace);
  freqProgress_ = new QProgressBar(group);
  freqProgress_->setRange(0, 100);
  freqProgress_->setValue(0);
  freqProc_->OnProgress = [this](TObject*, int percent) { freqProgress_->setValue(percent); };
  clear_ = new QPushButton("Clear", group);
  reset_ = new QPushButton("Reset", group);
  grayScale_ = new QCheckBox("Gray scale", group);
  clear_->setObjectName("clearZone");
  reset_->setObjectName("resetZone");
  grayScale_->setObjectName("grayScale");
  grayScale_->setChecked(true);
  Caption(VXMSG_CLEAR, [this](const QString& s) { clear_->setText(s); });
  Caption(VXMSG_RESET, [this](const QString& s) { reset_->setText(s); });
  Caption(VXMSG_GRAYSCALE, [this](const QString& s) { grayScale_->setText(s); });
  connect(clear_, &QPushButton::clicked, this, [this] { RerenderIfLocked(); });
  connect(reset_, &QPushButton::clicked, this, [this] {
    freqView_->DeSelect();
    CopyOrg();
  });
  connect(grayScale_, &QCheckBox::toggled, this, [this] { CopyOrg(); });
  auto* side = new QVBoxLayout;
  side->addWidget(clear_);
  side->addWidget(reset_);
  side->addWidget(grayScale_);
  side->addWidget(freqProgress_);
  side->addStretch(1);
  auto* row = new QHBoxLayout(group);
  row->addWidget(freqView_, 1);
  row->addLayout(side);
  (new QVBoxLayout(w))->addWidget(group);
  return w;
}

// ============================== hand-over ==============================

void TfPreviews::SetSourceImage(const TBitmap& image) {
  source_->Assign(&image);
}

void TfPreviews::SetCaller(TProgressEvent onProgress, TObject* sender) {
  callerProgress_ = std::move(onProgress);
  callerSender_ = sender;
}

void TfPreviews::SetLanguage(TMsgLanguage language) {
  language_ = language;
  for (const TCaption& c : captions_) c.set(Text(c.word, language));
}

void TfPreviews::SetPreviewFont(const TFont& font) {
  QFont f = QApplication::font();
  if (!font.Name.empty()) f.setFamily(QString::fromStdString(font.Name));
  if (font.Size > 0) f.setPointSize(font.Size);
  f.setBold(font.Bold);
  f.setItalic(font.Italic);
  f.setUnderline(font.Underline);
  setFont(f);
}

const TBitmap& TfPreviews::Image() const {
  return *source_->GetFBitmap();
}

TPreviewPage TfPreviews::ActivePage() const {
  return static_cast<TPreviewPage>(std::max(0, pages_->currentIndex()));
}

// ============================== parameters ==============================

QSlider* TfPreviews::Bar(TPreviewPage page, int index) const {
  const auto& list = params_[static_cast<size_t>(kPage(page))];
  return index >= 0 && index < static_cast<int>(list.size()) ? list[size_t(index)].bar : nullptr;
}

QLineEdit* TfPreviews::Box(TPreviewPage page, int index) const {
  const auto& list = params_[static_cast<size_t>(kPage(page))];
  return index >= 0 && index < static_cast<int>(list.size()) ? list[size_t(index)].box : nullptr;
}

QLabel* TfPreviews::ParamLabel(TPreviewPage page, int index) const {
  const auto& list = params_[static_cast<size_t>(kPage(page))];
  return index >= 0 && index < static_cast<int>(list.size()) ? list[size_t(index)].label : nullptr;
}

int TfPreviews::Value(TPreviewPage page, int index) const {
  const auto& list = params_[static_cast<size_t>(kPage(page))];
  return index >= 0 && index < static_cast<int>(list.size()) ? list[size_t(index)].value : 0;
}

int TfPreviews::ParseNumber(const QString& text, int fallback) {
  bool ok = false;
  const int v = text.trimmed().toInt(&ok);
  return ok ? v : fallback;
}

void TfPreviews::SetParam(TPreviewPage page, int index, int value) {
  TParam& p = params_[static_cast<size_t>(kPage(page))][static_cast<size_t>(index)];
  const QSignalBlocker b1(p.bar), b2(p.box);
  p.bar->setValue(value);
  p.value = p.bar->value();
  p.box->setText(QString::number(p.value));
}

void TfPreviews::BarChanged(TPreviewPage page, int index, int value) {
  TParam& p = params_[static_cast<size_t>(kPage(page))][static_cast<size_t>(index)];
  if (value == p.value) return;
  p.value = value;
  if (ParseNumber(p.box->text(), p.fallback) != value) {
    const QSignalBlocker b(p.box);
    p.box->setText(QString::number(value));
  }
  ParamsChanged();
}

void TfPreviews::ParamsChanged() {
  if (!batching_) RerenderIfLocked();
}

void TfPreviews::RerenderIfLocked() {
  if (lock_->isChecked()) Rerender();
}

void TfPreviews::Rerender() {
  if (!activated_ || resultUndo_.Empty()) return;
  TBitmap& r = result_->Bitmap();
  CopyBitmap(resultUndo_, r);
  ApplyAct(*result_);
  result_->Update();
}

void TfPreviews::ResetParameters(bool all) {
  if (all) initialised_.fill(false);
  const TPreviewPage page = ActivePage();
  bool& done = initialised_[static_cast<size_t>(kPage(page))];
  if (done) return;
  done = true;
  const TBitmap& src = source_->Bitmap();
  const int w = src.Width(), h = src.Height();
  const int half = std::max(w, h) / 2;
  batching_ = true;
  for (size_t i = 0; i < params_[size_t(kPage(page))].size(); ++i)
    SetParam(page, static_cast<int>(i), 0);
  switch (page) {
    case ppContrast:
      GetMediaContrastRGB(src, refR_, refG_, refB_);
      break;
    case ppHSV: {
      // Equal colours: no shift.
      const QSignalBlocker b1(baseColor_), b2(newColor_);
      baseColor_->SetColor(clWhite);
      newColor_->SetColor(clWhite);
      break;
    }
    case ppUserFilter: {
      filter_ = FilterPreset(fpNone);
      const QSignalBlocker b(presets_);
      presets_->setCurrentRow(0);
      LoadFilt();
      break;
    }
    case ppEqualization: {
      histogram_->SetHistogramKindFlags(THistogramBox::hkGray);
      {
        const QSignalBlocker b(channels_);
        for (int i = 0; i < 4; ++i)
          channels_->item(i)->setCheckState(i == kChanGray ? Qt::Checked : Qt::Unchecked);
      }
      for (TRulerBox* r : {thresholdRuler_, rangeRuler_}) {
        for (int i = 0; i < 2; ++i) {
          r->SetGripsCol(i, kGripGrey);
          if (r == thresholdRuler_) r->SetGripsKind(i, TRulerBox::gkArrow2);
          r->SetGripsPos(i, i == 0 ? 0 : 255);
        }
      }
      thrLo_ = eqLo_ = TRGB{0, 0, 0};
      thrHi_ = eqHi_ = TRGB{255, 255, 255};
      {
        const QSignalBlocker b(equalize_);
        equalize_->setChecked(false);
      }
      AlignRulers();
      break;
    }
    case ppBumpMap:
    case ppLens:
      SetParam(page, kLeft, w / 2);
      SetParam(page, kTop, h / 2);
      SetParam(page, kWidth, half);
      SetParam(page, kHeight, half);
      if (page == ppLens) SetParam(page, kRefraction, 7);
      if (page == ppBumpMap) {
        bumpColor_->SetColor(clWhite);
        bumpRGB_ = TRGB{255, 255, 255};
      }
      break;
    case ppWave: {
      SetParam(page, kAmplitude, 10);
      SetParam(page, kWaveLength, 10);
      const QSignalBlocker b(reflective_);
      reflective_->setChecked(false);
      break;
    }
    case ppMorph: {
      SetParam(page, kWindowSize, 1);
      const QSignalBlocker b(morphList_);
      morphList_->setCurrentRow(0);
      break;
    }
    case ppRotate: {
      const QSignalBlocker b1(flipHor_), b2(flipVer_);
      flipHor_->setChecked(false);
      flipVer_->setChecked(false);
      break;
    }
    case ppFFT:
      freqView_->DeSelect();
      break;
    default:
      break;
  }
  batching_ = false;
}

void TfPreviews::LoadFilt() {
  for (int t = 0; t < 10; ++t) {
    QLineEdit* box = filterBoxes_[static_cast<size_t>(t)];
    const QSignalBlocker b(box);
    box->setText(QString::number(t < 9 ? filter_.Values[static_cast<size_t>(t)] : filter_.Divisor));
  }
}

// ============================== events ==============================

void TfPreviews::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!activated_) Activate();
}

void TfPreviews::hideEvent(QHideEvent* event) {
  // Shown again, the dialog starts afresh, as on its first showing.
  activated_ = false;
  QDialog::hideEvent(event);
}

void TfPreviews::Activate() {
  applyOnOK_ = false;
  {
    const QSignalBlocker b(lock_);
    lock_->setChecked(defaultLock_);
  }
  preview_->setEnabled(!defaultLock_);
  const bool all = effects_.Contains(peAll) || effects_.Empty();
  int first = -1;
  for (int i = 0; i < kPreviewPageCount; ++i) {
    const bool shown = all || effects_.Contains(static_cast<TPreviewEffect>(i + 1));
    pages_->setTabVisible(i, shown);
    if (shown && first < 0) first = i;
  }
  {
    const QSignalBlocker b(pages_);
    pages_->setCurrentIndex(first);
  }
  ResetParameters(true);
  source_->Fit();
  QApplication::processEvents();
  activated_ = true;
  PageChanged();
}

void TfPreviews::SetSourceInteraction(TPreviewPage page) {
  if (page == ppFFT) {
    source_->SetMouseInteract({});
    source_->Fit();
  } else if (page == ppWave) {
    // The wave circles the image centre: the preview must show the whole image for
    // its centre to be the same.
    source_->SetMouseInteract({miScroll});
    source_->Fit();
  } else {
    source_->SetMouseInteract({miZoom, miScroll});
  }
}

void TfPreviews::PageChanged() {
  ResetParameters(false);
  SetSourceInteraction(ActivePage());
  CopyOrg();
}

void TfPreviews::LockToggled(bool down) {
  preview_->setEnabled(!down);
  if (down) Rerender();
}

void TfPreviews::FlipToggled() {
  RerenderIfLocked();
}

void TfPreviews::CopyPressed() {
  CopyModToOrg();
  ResetParameters(true);
  CopyOrg();
}

void TfPreviews::OkPressed() {
  applyOnOK_ = true;
  ApplyAct(*source_);
  source_->Update();
  applyOnOK_ = false;
  accept();
}

void TfPreviews::CopyModToOrg() {
  ApplyAct(*source_);
  source_->Update();
  CopyOrg();
}

void TfPreviews::ColorBoxChanged() {
  int dh = newColor_->Hue() - baseColor_->Hue();
  const int ds = newColor_->Sat() - baseColor_->Sat();
  const int dv = newColor_->Val() - baseColor_->Val();
  // The shortest way round the hue circle, which also keeps it in the bar's range.
  if (dh > 180) dh -= 360;
  if (dh < -180) dh += 360;
  batching_ = true;
  Bar(ppHSV, kHue)->setValue(dh);
  Bar(ppHSV, kSaturation)->setValue(ds);
  Bar(ppHSV, kValue)->setValue(dv);
  batching_ = false;
  RerenderIfLocked();
}

bool TfPreviews::eventFilter(QObject* watched, QEvent* event) {
  if (watched == result_->viewport() && event->type() == QEvent::MouseButtonPress) {
    const auto* me = static_cast<QMouseEvent*>(event);
    ResultPressed(me->position().toPoint(), me->button());
  }
  return QDialog::eventFilter(watched, event);
}

void TfPreviews::ResultPressed(QPoint client, Qt::MouseButton button) {
  const TPreviewPage page = ActivePage();
  if (page == ppHSV && button == Qt::LeftButton) {
    const TBitmap& b = result_->Bitmap();
    const int x = result_->XScr2Bmp(client.x()), y = result_->YScr2Bmp(client.y());
    if (b.PixelFormat() != pf24bit || x < 0 || y < 0 || x >= b.Width() || y >= b.Height()) return;
    const uint8_t* px = b.ScanLine(y) + 3 * x;
    int h = 0, s = 0, v = 0;
    RGB2HSV(TRGB{px[0], px[1], px[2]}, h, s, v);
    baseColor_->SetHue(h);
    baseColor_->SetSat(s);
    baseColor_->SetVal(v);
    ColorBoxChanged();
  } else if (page == ppBumpMap || page == ppLens) {
    // The preview pixel back to the image: undo the offset, the scroll and the zoom.
    const double z = source_->Zoom() / 100.0;
    if (z <= 0) return;
    const int left = static_cast<int>((client.x() - result_->OffsetX() + source_->ViewX()) / z);
    const int top = static_cast<int>((client.y() - result_->OffsetY() + source_->ViewY()) / z);
    batching_ = true;
    Bar(page, kLeft)->setValue(left);
    Bar(page, kTop)->setValue(top);
    batching_ = false;
    RerenderIfLocked();
  }
}

void TfPreviews::ChannelsChanged() {
  THistogramBox::HistogramKinds kind;
  const THistogramBox::THistogramKindItem kinds[] = {THistogramBox::hkRed, THistogramBox::hkGreen,
                                                     THistogramBox::hkBlue, THistogramBox::hkGray};
  for (int i = 0; i < 4; ++i)
    if (channels_->item(i)->checkState() == Qt::Checked) kind |= kinds[i];
  histogram_->SetHistogramKindFlags(kind);
  AlignRulers();
}

void TfPreviews::AlignRulers() {
  const int left = histogram_->PlotLeft();
  const int margin = left - histogram_->x();
  const int width = std::max(1, histogram_->width() - margin);
  int y = histogram_->geometry().bottom() + 1;
  for (TRulerBox* r : {thresholdRuler_, rangeRuler_}) {
    r->setGeometry(left, y, width, 16);
    r->Update();
    PlaceGripLabels(r);
    y += 24;
  }
}

void TfPreviews::PlaceGripLabels(TRulerBox* ruler) {
  const size_t base = ruler == thresholdRuler_ ? 0 : 2;
  for (int i = 0; i < 2; ++i) {
    QLabel* l = gripLabels_[base + size_t(i)];
    l->setText(QString::number(static_cast<int>(std::lround(ruler->GripsPos(i)))));
    const int x = ruler->x() + ruler->GripScreenPos(i) - l->width() / 2;
    l->move(std::clamp(x, 0, histogramArea_->width() - l->width()), ruler->geometry().bottom());
  }
}

void TfPreviews::GripMoved(TRulerBox* ruler, int grip) {
  if (grip < 0 || grip > 1) return;
  const double pos = ruler->GripsPos(grip);
  const int other = 1 - grip;
  // Grips never cross: the moved one pushes the other along.
  if ((grip == 0 && ruler->GripsPos(other) < pos) || (grip == 1 && ruler->GripsPos(other) > pos))
    ruler->SetGripsPos(other, pos);
  PlaceGripLabels(ruler);
  const auto lo = static_cast<uint8_t>(std::clamp<long>(std::lround(ruler->GripsPos(0)), 0, 255));
  const auto hi = static_cast<uint8_t>(std::clamp<long>(std::lround(ruler->GripsPos(1)), 0, 255));
  TRGB& low = ruler == thresholdRuler_ ? thrLo_ : eqLo_;
  TRGB& high = ruler == thresholdRuler_ ? thrHi_ : eqHi_;
  const bool gray = channels_->item(kChanGray)->checkState() == Qt::Checked;
  auto checked = [&](int row) { return gray || channels_->item(row)->checkState() == Qt::Checked; };
  if (checked(kChanRed)) low.r = lo, high.r = hi;
  if (checked(kChanGreen)) low.g = lo, high.g = hi;
  if (checked(kChanBlue)) low.b = lo, high.b = hi;
  if (!batching_) RerenderIfLocked();
}

void TfPreviews::FilterBoxEdited(int tag) {
  const int v = ParseNumber(filterBoxes_[static_cast<size_t>(tag)]->text(), tag == 9 ? 1 : 0);
  if (tag < 9)
    filter_.Values[static_cast<size_t>(tag)] = v;
  else
    filter_.Divisor = v;
  RerenderIfLocked();
}

void TfPreviews::PresetChosen(int row) {
  if (row < 0 || row >= kFilterPresetCount) return;
  filter_ = FilterPreset(static_cast<TVXFilterPresets>(row));
  LoadFilt();
  RerenderIfLocked();
}

void TfPreviews::LoadFilterFile() {
  const QString name = ChooseFilterFile ? ChooseFilterFile(false) : QString();
  if (name.isEmpty()) return;
  try {
    // A file with a wrong header leaves the kernel as it was.
    if (!LoadFilterFromFile(name.toStdString(), filter_)) return;
  } catch (const EVXError& e) {
    QMessageBox::warning(this, windowTitle(), QString::fromStdString(e.what()));
    return;
  }
  LoadFilt();
  RerenderIfLocked();
}

void TfPreviews::SaveFilterFile() {
  QString name = ChooseFilterFile ? ChooseFilterFile(true) : QString();
  if (name.isEmpty()) return;
  if (QFileInfo(name).suffix().isEmpty()) name += ".flt";
  try {
    SaveFilterToFile(name.toStdString(), filter_);
  } catch (const EVXError& e) {
    QMessageBox::warning(this, windowTitle(), QString::fromStdString(e.what()));
  }
}

// ============================== rendering ==============================

TProgressRec TfPreviews::Progress() const {
  TProgressRec p;
  if (applyOnOK_) {
    p.ProgressEvent = callerProgress_;
    p.Sender = callerSender_;
  }
  return p;
}

int TfPreviews::ToPreviewX(int x) const {
  return static_cast<int>(x * (source_->Zoom() / 100.0) - source_->ViewX());
}

int TfPreviews::ToPreviewY(int y) const {
  return static_cast<int>(y * (source_->Zoom() / 100.0) - source_->ViewY());
}

int TfPreviews::ToPreviewLength(int v) const {
  return static_cast<int>(v * (source_->Zoom() / 100.0));
}

void TfPreviews::CopyOrg() {
  TBitmap& r = result_->Bitmap();
  result_->LockPaint();
  const int ew = source_->ExtentX(), eh = source_->ExtentY();
  r.SetPixelFormat(pf24bit);
  r.SetSize(std::max(0, ew), std::max(0, eh));
  if (!r.Empty()) source_->DrawTo(r);
  CopyBitmap(r, resultUndo_);

  if (!ft_) {
    ft_ = std::make_unique<TVXFtImage>();
    ft_->OnProgress = freqProc_->OnProgress;
    ft_->Sender = freqProc_.get();
  }
  const TBitmap& src = source_->Bitmap();
  if (!src.Empty()) {
    const int w = src.Width(), h = src.Height();
    const int tw = w >= h ? kThumbSide : std::max(1, kThumbSide * w / h);
    const int th = w >= h ? std::max(1, kThumbSide * h / w) : kThumbSide;
    TBitmap thumb;
    thumb.SetPixelFormat(pf24bit);
    thumb.SetSize(tw, th);
    thumb.Canvas().StretchDraw(TRect{0, 0, tw, th}, src, smHalftone);
    ft_->BuildFT(thumb, grayScale_->isChecked() ? vxitGrayscale : vxitRGB);
  }
  freqProgress_->setValue(0);

  if (!r.Empty()) ApplyAct(*result_);
  result_->UnLockPaint();
  result_->Update();
  if (ActivePage() == ppEqualization) histogram_->Update();
}

void TfPreviews::ApplyFFT(TVantixView& view) {
  const bool selected = freqView_->Selected();
  const TRect sel = freqView_->SelectionRect();
  if (&view == result_) {
    if (!ft_ || (!ft_->HasGrayPlane() && !ft_->HasRGBPlanes())) return;
    // Clearing in the preview is never cumulative.
    const TVXFtImage keep(*ft_);
    if (selected) ft_->ClearZone(sel.left, sel.top, sel.right, sel.bottom);
    freqProc_->FTDisplayFrom(*ft_);
    freqView_->Fit();
    ft_->BuildBitmap(view.Bitmap());
    freqProgress_->setValue(0);
    ft_->Assign(keep);
    return;
  }
  TVXFtImage full;
  full.OnProgress = callerProgress_;
  full.Sender = callerSender_;
  if (!applyOnOK_) full.OnProgress = nullptr;
  if (!full.BuildFT(view.Bitmap(), grayScale_->isChecked() ? vxitGrayscale : vxitRGB)) return;
  if (selected && ft_ && ft_->N() > 0) {
    const double f = static_cast<double>(full.N()) / ft_->N();
    full.ClearZone(static_cast<int>(sel.left * f), static_cast<int>(sel.top * f),
                   static_cast<int>(sel.right * f), static_cast<int>(sel.bottom * f));
  }
  freqView_->DeSelect();
  full.BuildBitmap(view.Bitmap());
}

void TfPreviews::ApplyAct(TVantixView& view) {
  TBitmap& b = view.Bitmap();
  if (b.Empty() || b.PixelFormat() != pf24bit) return;
  const int x2 = b.Width() - 1, y2 = b.Height() - 1;
  const TProgressRec pr = Progress();
  const TPreviewPage page = ActivePage();
  auto val = [this, page](int i) { return Value(page, i); };
  const bool onSource = &view == source_;
  switch (page) {
    case ppContrast:
      ContrastRGB(b, val(kContrast), refR_, refG_, refB_, 0, 0, x2, y2, pr);
      IntensityRGBall(b, val(kBrightness), val(kBrightness), val(kBrightness), 0, 0, x2, y2, pr);
      break;
    // The colour-model round trip is not exact: with nothing to shift, leave the
    // pixels as they are rather than let them drift by a level.
    case ppHSV:
      if (val(kHue) != 0 || val(kSaturation) != 0 || val(kValue) != 0)
        HSVvar(b, val(kHue), val(kSaturation), val(kValue), 0, 0, x2, y2, pr);
      break;
    case ppHSL:
      if (val(kHue) != 0 || val(kSaturation) != 0 || val(kLuminosity) != 0)
        HSLvar(b, val(kHue), val(kSaturation), val(kLuminosity), 0, 0, x2, y2, pr);
      break;
    case ppRGB:
      IntensityRGBall(b, val(kRed), val(kGreen), val(kBlue), 0, 0, x2, y2, pr);
      break;
    case ppUserFilter:
      ApplyFilter(b, filter_, 0, 0, x2, y2, pr);
      break;
    case ppEqualization:
      Threshold(b, thrLo_, thrHi_, TRGB{0, 0, 0}, TRGB{255, 255, 255}, 0, 0, x2, y2, pr);
      HistEqualize(b, eqLo_, eqHi_, 0, 0, x2, y2, pr);
      if (equalize_->isChecked()) HistAutoEqualize(b, 0, 0, x2, y2, pr);
      break;
    case ppBumpMap:
    case ppLens: {
      int left = val(kLeft), top = val(kTop), width = val(kWidth), height = val(kHeight);
      if (!onSource) {
        left = ToPreviewX(left);
        top = ToPreviewY(top);
        width = ToPreviewLength(width);
        height = ToPreviewLength(height);
      }
      if (page == ppBumpMap)
        BumpMapping(b, left, top, width, height, val(kQuantity), bumpRGB_, 0, 0, x2, y2, pr);
      else
        Lens(b, left, top, width, height, val(kRefraction) / 10.0 + 1, pr);
      break;
    }
    case ppWave: {
      int amplitude = val(kAmplitude), wavelength = val(kWaveLength);
      if (!onSource) {
        amplitude = ToPreviewLength(amplitude);
        wavelength = ToPreviewLength(wavelength);
      }
      Wave(b, amplitude, wavelength, val(kPhase), reflective_->isChecked(), pr);
      break;
    }
    case ppMorph:
      MorphFilter(b, val(kWindowSize), std::max(0, morphList_->currentRow()), 0, 0, x2, y2, pr);
      break;
    case ppRotate: {
      if (val(kAngle) != 0)
        Rotate(b, val(kAngle), true, TColor2TRGB(ColorToRGB(view.Background())), pr);
      // The preview always shows the flips, so it matches what OK will apply.
      if (flipHor_->isChecked()) Flip(b, fdHorizontal);
      if (flipVer_->isChecked()) Flip(b, fdVertical);
      break;
    }
    case ppFFT:
      ApplyFFT(view);
      break;
  }
}

// ============================== registration ==============================

namespace {

// The dialog as the processing component opens it.
class TPreviewDialogAdapter : public IPreviewDialog {
 public:
  TPreviewDialogAdapter(const TBitmap& source, const TPreviewSetup& setup) {
    form_.SetDefaultLockPreview(setup.DefaultLockPreview);
    form_.SetLanguage(setup.Language);
    if (setup.Font) form_.SetPreviewFont(*setup.Font);
    form_.SetCaller(setup.OnProgress, setup.Sender);
    form_.SetSourceImage(source);
    form_.SetEffects(setup.Effects);
  }
  TObject* Form() override { return &form_; }
  bool Execute() override { return form_.exec() == QDialog::Accepted; }
  const TBitmap& Image() const override { return form_.Image(); }

 private:
  TfPreviews form_{QApplication::activeWindow()};
};

std::unique_ptr<IPreviewDialog> MakePreviewDialog(const TBitmap& source,
                                                  const TPreviewSetup& setup) {
  // Widgets need an application object; a program without one gets no dialog.
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
  return std::make_unique<TPreviewDialogAdapter>(source, setup);
}

// The widget library offers the dialog to every processing component as soon as it is
// loaded.
[[maybe_unused]] const bool kRegistered = (RegisterPreviewDialog(&MakePreviewDialog), true);

}  // namespace

}  // namespace vx
