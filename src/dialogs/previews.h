#pragma once
// TfPreviews: the processing preview dialog. It shows the part of the image to be
// processed in a source view, lets the user pick one effect on one of twelve pages and
// set its parameters, shows the effect on what the source view shows in a result view,
// and on OK applies the effect at full resolution to the source image. Every effect
// goes through the same free workers the processing component uses, over a whole
// bitmap.
#include <QDialog>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "platform/object.h"
#include "proc/vantixproc.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSlider;
class QTabWidget;
class QToolButton;

namespace vx {

class TVantixView;
class THistogramBox;
class TRulerBox;
class THSVBox;

// The pages in their order; page p shows for the effect TPreviewEffect(p + 1).
enum class TPreviewPage {
  ppContrast,
  ppHSV,
  ppHSL,
  ppRGB,
  ppUserFilter,
  ppEqualization,
  ppBumpMap,
  ppLens,
  ppWave,
  ppMorph,
  ppRotate,
  ppFFT
};
using enum TPreviewPage;
inline constexpr int kPreviewPageCount = 12;

// Parameters of the pages that have track bars, by their index on the page.
namespace previewparam {
inline constexpr int kContrast = 0, kBrightness = 1;
inline constexpr int kHue = 0, kSaturation = 1, kValue = 2, kLuminosity = 2;
inline constexpr int kRed = 0, kGreen = 1, kBlue = 2;
inline constexpr int kLeft = 0, kTop = 1, kWidth = 2, kHeight = 3, kQuantity = 4, kRefraction = 4;
inline constexpr int kAmplitude = 0, kWaveLength = 1, kPhase = 2;
inline constexpr int kWindowSize = 0;
inline constexpr int kAngle = 0;
}  // namespace previewparam

class TfPreviews : public QDialog, public TObject {
  Q_OBJECT

 public:
  explicit TfPreviews(QWidget* parent = nullptr);
  ~TfPreviews() override;

  // ---- what the opener hands over ----
  // The image to process; the source view gets a copy.
  void SetSourceImage(const TBitmap& image);
  // An empty set shows every page, as peAll does.
  void SetEffects(TPreviewEffects effects) { effects_ = effects; }
  TPreviewEffects Effects() const { return effects_; }
  void SetDefaultLockPreview(bool on) { defaultLock_ = on; }
  // Progress of the final application (after OK) goes to onProgress with sender.
  void SetCaller(TProgressEvent onProgress, TObject* sender);
  // Every caption and hint from the message table.
  void SetLanguage(TMsgLanguage language);
  TMsgLanguage Language() const { return language_; }
  void SetPreviewFont(const TFont& font);

  // The image as it stands: after OK, the processed one.
  const TBitmap& Image() const;

  // ---- operations ----
  // all: every page is marked uninitialised. Then the active page gets its defaults
  // if it has none yet.
  void ResetParameters(bool all);
  // The active page's effect over the whole bitmap of the source or the result view.
  void ApplyAct(TVantixView& view);
  // Rebuilds the preview from what the source view shows, and renders the effect on it.
  void CopyOrg();
  // The result becomes the source.
  void CopyModToOrg();
  // Shows the page's kernel in its ten boxes.
  void LoadFilt();
  TPreviewPage ActivePage() const;

  // ---- the controls, for embedders and tests ----
  TVantixView& SourceView() { return *source_; }
  TVantixView& ResultView() { return *result_; }
  TVantixView& FrequencyView() { return *freqView_; }
  TVantixProc& SourceProc() { return *sourceProc_; }
  QTabWidget* Pages() const { return pages_; }
  QToolButton* LockButton() const { return lock_; }
  QPushButton* PreviewButton() const { return preview_; }
  QPushButton* CopyButton() const { return copy_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }
  QLabel* SourceLabel() const { return sourceLabel_; }
  QLabel* ResultLabel() const { return resultLabel_; }
  // A parameter's track bar and number box; nullptr where the page has none.
  QSlider* Bar(TPreviewPage page, int index) const;
  QLineEdit* Box(TPreviewPage page, int index) const;
  int Value(TPreviewPage page, int index) const;
  QLabel* ParamLabel(TPreviewPage page, int index) const;
  // User filter: boxes 0..8 hold the kernel, 9 the divisor.
  QLineEdit* FilterBox(int tag) const { return filterBoxes_[static_cast<size_t>(tag)]; }
  QListWidget* FilterPresets() const { return presets_; }
  QPushButton* LoadButton() const { return load_; }
  QPushButton* SaveButton() const { return save_; }
  const TGraphFilter& Filter() const { return filter_; }
  // Equalisation.
  QListWidget* ChannelList() const { return channels_; }
  QToolButton* EqualizeButton() const { return equalize_; }
  TRulerBox* ThresholdRuler() const { return thresholdRuler_; }
  TRulerBox* RangeRuler() const { return rangeRuler_; }
  THistogramBox* Histogram() const { return histogram_; }
  TRGB ThresholdLow() const { return thrLo_; }
  TRGB ThresholdHigh() const { return thrHi_; }
  TRGB RangeLow() const { return eqLo_; }
  TRGB RangeHigh() const { return eqHi_; }
  // Colour boxes.
  THSVBox* BaseColorBox() const { return baseColor_; }
  THSVBox* NewColorBox() const { return newColor_; }
  THSVBox* BumpColorBox() const { return bumpColor_; }
  TRGB BumpColor() const { return bumpRGB_; }
  QCheckBox* ReflectiveBox() const { return reflective_; }
  QListWidget* MorphList() const { return morphList_; }
  QToolButton* FlipHorButton() const { return flipHor_; }
  QToolButton* FlipVerButton() const { return flipVer_; }
  QCheckBox* GrayScaleBox() const { return grayScale_; }
  QPushButton* ClearButton() const { return clear_; }
  QPushButton* ResetButton() const { return reset_; }
  QProgressBar* FrequencyProgress() const { return freqProgress_; }

  // Chooses the kernel file to load (save false) or save; empty when cancelled.
  // Replaceable, so that embedders and tests answer without a modal file dialog.
  std::function<QString(bool save)> ChooseFilterFile;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct TParam {
    QSlider* bar = nullptr;
    QLineEdit* box = nullptr;
    QLabel* label = nullptr;
    int value = 0;
    int fallback = 0;  // what text that is not a number reads as
  };
  struct TCaption {
    int word;
    std::function<void(const QString&)> set;
  };

  // ---- building ----
  QWidget* BuildPage(TPreviewPage page, const QString& fixedTitle, int word);
  TParam& AddParam(TPreviewPage page, QWidget* parent, int word, int minimum, int maximum,
                   int step = 1, int fallback = 0);
  void Caption(int word, std::function<void(const QString&)> set);
  QWidget* BuildContrastPage();
  QWidget* BuildHSVPage();
  QWidget* BuildHSLPage();
  QWidget* BuildRGBPage();
  QWidget* BuildUserFilterPage();
  QWidget* BuildEqualizationPage();
  QWidget* BuildBumpPage();
  QWidget* BuildLensPage();
  QWidget* BuildWavePage();
  QWidget* BuildMorphPage();
  QWidget* BuildRotatePage();
  QWidget* BuildFFTPage();

  // ---- parameter plumbing ----
  void SetParam(TPreviewPage page, int index, int value);
  void BarChanged(TPreviewPage page, int index, int value);
  void ParamsChanged();
  // Undo the result view to the unprocessed preview, apply, repaint.
  void Rerender();
  void RerenderIfLocked();
  static int ParseNumber(const QString& text, int fallback);

  // ---- page handlers ----
  void Activate();
  void PageChanged();
  void ColorBoxChanged();
  void ResultPressed(QPoint client, Qt::MouseButton button);
  void ChannelsChanged();
  void AlignRulers();
  void GripMoved(TRulerBox* ruler, int grip);
  void PlaceGripLabels(TRulerBox* ruler);
  void FilterBoxEdited(int tag);
  void PresetChosen(int row);
  void LoadFilterFile();
  void SaveFilterFile();
  void FlipToggled();
  void LockToggled(bool down);
  void CopyPressed();
  void OkPressed();

  // ---- application ----
  TProgressRec Progress() const;
  void ApplyFFT(TVantixView& view);
  // The preview shows the source at zoom z scrolled by ViewX/ViewY: a distance or
  // position in image pixels as it lands on the preview.
  int ToPreviewX(int x) const;
  int ToPreviewY(int y) const;
  int ToPreviewLength(int v) const;
  void SetSourceInteraction(TPreviewPage page);

  // ---- state ----
  TPreviewEffects effects_;
  bool defaultLock_ = false;
  TProgressEvent callerProgress_;
  TObject* callerSender_ = nullptr;
  TMsgLanguage language_ = TMsgLanguage::msSystem;
  bool applyOnOK_ = false;
  bool activated_ = false;
  bool batching_ = false;
  std::array<bool, kPreviewPageCount> initialised_{};
  std::array<std::vector<TParam>, kPreviewPageCount> params_;
  std::vector<TCaption> captions_;
  TBitmap resultUndo_;  // the unprocessed preview
  std::unique_ptr<TVXFtImage> ft_;
  int refR_ = 128, refG_ = 128, refB_ = 128;
  TGraphFilter filter_;
  TRGB thrLo_{0, 0, 0}, thrHi_{255, 255, 255}, eqLo_{0, 0, 0}, eqHi_{255, 255, 255};
  TRGB bumpRGB_{255, 255, 255};

  // ---- controls ----
  TVantixView* source_ = nullptr;
  TVantixView* result_ = nullptr;
  TVantixView* freqView_ = nullptr;
  std::unique_ptr<TVantixProc> sourceProc_;
  std::unique_ptr<TVantixProc> freqProc_;
  QLabel* sourceLabel_ = nullptr;
  QLabel* resultLabel_ = nullptr;
  QTabWidget* pages_ = nullptr;
  QToolButton* lock_ = nullptr;
  QPushButton* preview_ = nullptr;
  QPushButton* copy_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  std::array<QLineEdit*, 10> filterBoxes_{};
  QListWidget* presets_ = nullptr;
  QPushButton* load_ = nullptr;
  QPushButton* save_ = nullptr;
  QListWidget* channels_ = nullptr;
  QToolButton* equalize_ = nullptr;
  QWidget* histogramArea_ = nullptr;
  THistogramBox* histogram_ = nullptr;
  TRulerBox* thresholdRuler_ = nullptr;
  TRulerBox* rangeRuler_ = nullptr;
  std::array<QLabel*, 4> gripLabels_{};
  THSVBox* baseColor_ = nullptr;
  THSVBox* newColor_ = nullptr;
  THSVBox* bumpColor_ = nullptr;
  QCheckBox* reflective_ = nullptr;
  QListWidget* morphList_ = nullptr;
  QToolButton* flipHor_ = nullptr;
  QToolButton* flipVer_ = nullptr;
  QCheckBox* grayScale_ = nullptr;
  QPushButton* clear_ = nullptr;
  QPushButton* reset_ = nullptr;
  QProgressBar* freqProgress_ = nullptr;
};

}  // namespace vx
