#pragma once
// TfIOPreviews: the modal form that edits the save parameters of one format while
// showing the result. The left view holds the image to be saved, the right view the
// image as the chosen settings would store it, and a label the bytes the saved stream
// takes. The form edits a working copy; OK writes the active page's values into the
// parameter set it was given, Cancel leaves that set alone.
#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/vxwords.h"
#include "io/ioparams.h"
#include "io/vantixio.h"
#include "platform/font.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSlider;
class QSpinBox;
class QTabWidget;
class QToolButton;

namespace vx {

class TVantixView;

// The format pages, in tab order.
enum class TIOPreviewPage { ipJPEG, ipTIFF, ipGIF, ipBMP, ipPCX, ipPNG };
using enum TIOPreviewPage;
inline constexpr int kIOPreviewPageCount = 6;

// The colour lists of the TIFF, BMP, PCX and PNG pages: entry -> (bits per sample,
// samples per pixel), and back from a parameter set's pair.
struct TColourPair {
  int Bits;
  int Samples;
};
const std::vector<TColourPair>& ColourPairs(TIOPreviewPage page);
int ColourIndexOf(TIOPreviewPage page, int bitsPerSample, int samplesPerPixel);

class TfIOPreviews : public QDialog {
  Q_OBJECT

 public:
  explicit TfIOPreviews(QWidget* parent = nullptr);
  ~TfIOPreviews() override;

  // ---- set up by the caller, before the form is shown ----
  void SetLanguage(TMsgLanguage language);
  void SetPreviewFont(const TFont& font);
  // The parameter set edited; it must outlive the form. OK writes into it.
  void SetParams(TIOParamsVals* params) { params_ = params; }
  TIOParamsVals* Params() const { return params_; }
  // Whether the lock button starts down.
  void SetDefaultLockPreview(bool locked) { defaultLock_ = locked; }
  // Chooses the pages; with ppAUTO the page of the parameter set's file type joins
  // them. False when nothing would be shown.
  bool SetPreviewParams(TPreviewParams pages);
  TPreviewParams PreviewParams() const { return pages_; }
  // The image to preview (copied into the source view).
  void SetSourceImage(const TBitmap& image);

  // ---- state, for callers and tests ----
  TVantixView& SourceView() { return *source_; }
  TVantixView& ResultView() { return *result_; }
  bool PageVisible(TIOPreviewPage page) const;
  TIOPreviewPage ActivePage() const;
  void SetActivePage(TIOPreviewPage page);
  const TIOParamsVals& WorkingCopy() const { return work_; }
  // The private component's parameters after the last preview (its colour map is the
  // palette the result was reduced to).
  const TIOParamsVals& PreviewParamsSet() const;
  QString OriginalSizeText() const;
  QString CompressedSizeText() const;
  QToolButton* LockButton() const { return lock_; }
  QPushButton* PreviewButton() const { return preview_; }
  QProgressBar* ProgressBar() const { return progress_; }
  int PreviewCount() const { return previewCount_; }

  // Fills the form from the parameter set and makes the first preview; showing the form
  // does this once by itself.
  void Activate();
  // Renders the active page's settings into the result view.
  void MakePreview();

  // Writes the active page's working values into params: what OK stores, and what
  // the preview saves with.
  void WritePage(TIOPreviewPage page, TIOParamsVals& params) const;

  // OK: the active page's values go into the parameter set.
  void accept() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  struct Caption {
    QWidget* widget;
    int word;
    enum Kind { Label, Group, Button, Check } kind;
  };
  QLabel* AddLabel(int word);
  QGroupBox* AddGroup(int word);
  QCheckBox* AddCheck(int word);
  QWidget* BuildJpegPage();
  QWidget* BuildTiffPage();
  QWidget* BuildGifPage();
  QWidget* BuildBmpPage();
  QWidget* BuildPcxPage();
  QWidget* BuildPngPage();
  QWidget* WithSizes(QWidget* page, TIOPreviewPage which);
  QPushButton* ColourPanel();

  void PageChanged();
  void FillPage(TIOPreviewPage page);
  void FillTiffColours();
  void ReadControls(TIOPreviewPage page, bool& pictureChanged);
  void ControlChanged();
  void QualityTyped();
  void ChooseColour(QPushButton* panel, TRGB& target, int entries);
  void ShowPanel(QPushButton* panel, TRGB colour);
  void OnProgress(TObject* sender, int percent);
  void FollowSource(TObject* sender, int change);
  void SetCompressedSize(int64_t bytes);
  void ReduceResult(int colours, bool keepPalette);

  TIOParamsVals* params_ = nullptr;
  TIOParamsVals work_;
  TPreviewParams pages_;
  bool defaultLock_ = false;
  bool muted_ = false;
  bool activated_ = false;
  int progressOffset_ = 0;
  int progressDivisor_ = 1;
  int previewCount_ = 0;
  TMsgLanguage language_ = msSystem;
  std::unique_ptr<TVantixIO> io_;
  std::vector<Caption> captions_;

  QTabWidget* tabs_;
  TVantixView* source_;
  TVantixView* result_;
  QProgressBar* progress_;
  QToolButton* lock_;
  QPushButton* preview_;
  QPushButton* ok_;
  QPushButton* cancel_;
  QLabel* originalSize_[kIOPreviewPageCount] = {};
  QLabel* compressedSize_[kIOPreviewPageCount] = {};

 public:
  // The page controls, by page (public so tests and embedders can reach them).
  struct {
    QLineEdit* Quality;
    QSlider* QualityBar;
    QComboBox* ColorSpace;
    QComboBox* DCTMethod;
    QSpinBox* Smooth;
    QCheckBox* OptimalHuffman;
    QCheckBox* Progressive;
  } Jpeg{};
  struct {
    QComboBox* Compression;
    QSpinBox* ImageIndex;
    QComboBox* Photometric;
    QComboBox* Colours;
    QLineEdit* XPos;
    QLineEdit* YPos;
    QLineEdit* DocumentName;
    QLineEdit* Description;
    QLineEdit* PageName;
    QSpinBox* PageNumber;
    QSpinBox* PageCount;
  } Tiff{};
  struct {
    QSpinBox* ImageIndex;
    QComboBox* Colours;
    QCheckBox* Transparent;
    QLabel* TranspLabel;
    QPushButton* TranspColor;
    QCheckBox* Interlaced;
    QPushButton* Background;
    QSpinBox* DelayTime;
    QLineEdit* XPos;
    QLineEdit* YPos;
  } Gif{};
  struct {
    QComboBox* Compression;
    QComboBox* Colours;
  } Bmp{}, Pcx{};
  struct {
    QComboBox* Colours;
    QCheckBox* Interlaced;
    QPushButton* Background;
    QComboBox* Filter;
    QComboBox* Compression;
  } Png{};

  // Replaces the colour choosers (palette or colour dialog), for tests and embedders:
  // given the palette offered (empty: any colour) and the current colour, returns
  // whether a colour was chosen.
  std::function<bool(const std::vector<TRGB>& palette, TRGB& colour)> ColourChooser;
};

}  // namespace vx
