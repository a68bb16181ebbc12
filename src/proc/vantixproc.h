#pragma once
// TVantixProc: edits the image of whatever it is attached to (a view, a picture
// control or a bare bitmap) in place. Every region operation follows one
// template: find the target bitmap, check its pixel format, save an undo copy,
// resolve the selection (whole image, rectangle or polygon), run a worker over
// it with progress, and tell the owner that the image changed. The workers
// themselves are free functions (pointops.h, resample.h, …) so that other
// components call the same code.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/vxdefs.h"
#include "core/vxwords.h"
#include "platform/attachment.h"
#include "platform/bitmap.h"
#include "platform/component.h"
#include "platform/exceptions.h"
#include "platform/font.h"
#include "platform/set.h"
#include "proc/dibtransfer.h"
#include "proc/effects.h"
#include "proc/filters.h"
#include "proc/geometry.h"
#include "proc/resample.h"
#include "proc/vxfft.h"

namespace vx {

class IImageHost;
class IPictureHost;

// Raised by no operation; kept for applications that catch it.
class EFilterInvalid : public EVXError {
 public:
  using EVXError::EVXError;
};

enum class TPRPreviewsParamsItems { prppDefaultLockPreview };
using enum TPRPreviewsParamsItems;
using TPRPreviewsParams = TSet<TPRPreviewsParamsItems>;

enum class TPreviewEffect {
  peAll,
  peContrast,
  peHSV,
  peHSL,
  peRGB,
  peUserFilt,
  peEqualize,
  peBumpMap,
  peLens,
  peWave,
  peMorph,
  peRotate,
  peFFT
};
using enum TPreviewEffect;
using TPreviewEffects = TSet<TPreviewEffect>;

// (Sender, dialog form): fired just before the preview dialog is shown.
using TVXPreviewEvent = TMethod<TObject*, TObject*>;

// TGraphFilter and TVXFilterPresets come from proc/filters.h, TFlipDir from
// proc/geometry.h.

// What the preview dialog is handed when it opens.
struct TPreviewSetup {
  TPreviewEffects Effects;
  bool DefaultLockPreview = false;
  TMsgLanguage Language = TMsgLanguage::msSystem;
  const TFont* Font = nullptr;
  // The caller's progress event and the component to report as its Sender;
  // used only while the dialog applies the effect after OK.
  TProgressEvent OnProgress;
  TObject* Sender = nullptr;
};

// The preview dialog as the processing component sees it. The dialog is a
// widget, and this library has no widgets: the widget library registers a
// factory when it loads.
class IPreviewDialog {
 public:
  virtual ~IPreviewDialog() = default;
  // The form handed to OnPreview.
  virtual TObject* Form() = 0;
  // Shows the dialog modally; true when it was closed with OK.
  virtual bool Execute() = 0;
  // The image with the effect applied (valid after Execute returned true).
  virtual const TBitmap& Image() const = 0;
};
using TPreviewDialogFactory = std::unique_ptr<IPreviewDialog> (*)(const TBitmap& source,
                                                                  const TPreviewSetup& setup);
// nullptr removes the factory. Returns the one registered before.
TPreviewDialogFactory RegisterPreviewDialog(TPreviewDialogFactory factory);
TPreviewDialogFactory PreviewDialogFactory();

struct THistogramItem {
  uint32_t R = 0, G = 0, B = 0, Gray = 0;
};
using THistogram = std::array<THistogramItem, 256>;

class TVantixProc : public TComponent, public TImageAttachment {
 public:
  explicit TVantixProc(TComponent* owner = nullptr);
  ~TVantixProc() override;

  // ---- attachment ----
  // The bitmap every operation edits; nullptr when nothing is attached (or what
  // it came from was destroyed).
  TBitmap* AttachedBitmap() const { return bitmap_; }
  // nullptr is ignored while a view or picture control is attached.

  // ---- properties ----
  bool AutoUndo() const { return autoUndo_; }
  void SetAutoUndo(bool v) { autoUndo_ = v; }
  // The attached view's background, or the component's own; fills what cut and
  // clear uncover.
  TMsgLanguage MsgLanguage() const { return msgLanguage_; }
  void SetMsgLanguage(TMsgLanguage l) { msgLanguage_ = l; }
  TPRPreviewsParams PreviewsParams() const { return previewsParams_; }
  void SetPreviewsParams(TPRPreviewsParams p) { previewsParams_ = p; }
  const TFont& PreviewFont() const { return previewFont_; }
  void SetPreviewFont(const TFont& f) { previewFont_ = f; }

  TProgressEvent OnProgress;
  TVXPreviewEvent OnPreview;

  // With a view: its Update and ImageChange; otherwise marks the bitmap
  // modified.

  // ---- selection ----
  // Sets the component's own selection (inclusive corners, bitmap coordinates),
  // used when no view is attached; x1 = -1 means none.
  void Select(int x1, int y1, int x2, int y2);
  void SelectAll();
  // The region every operation works on. True when a selection exists: x1..y2
  // are its inclusive bounds (ordered and clipped to the image, so they may
  // describe an empty rectangle when the selection lies outside it) and polygon
  // holds its vertices when it is not a plain rectangle. False: the whole
  // image.
  bool GetReSel(int& x1, int& y1, int& x2, int& y2, std::vector<TPoint>& polygon);
  int GetSelX1();
  int GetSelY1();
  int GetSelX2();
  int GetSelY2();

  // ---- undo (one full copy of the image) ----
  virtual void SaveUndo();
  // Restores the copy (size and format included) and keeps it, so Undo repeats.
  void Undo();
  void ClearUndo();
  // False for a copy narrower or lower than 2 pixels: a 1 x N image cannot be
  // undone. Also false once the target is another bitmap than the one the copy
  // was taken from (a view that replaced its bitmap, a new attachment): the
  // copy would overwrite a different image.
  bool CanUndo() const;
  const TBitmap& UndoBitmap() const { return *undo_; }

  // Opens the preview dialog on the selection's bounding rectangle (the whole
  // image without a selection) and, on OK, writes its result back (with undo
  // when AutoUndo is set): without a selection the image becomes the result,
  // size included; a rectangle selection takes the result at its corner; a
  // polygon takes it through the polygon. False without a pf24bit image of at
  // least 2 x 2, when the dialog is cancelled, and when no dialog is
  // registered (a program without the widget library).
  bool DoPreviews(TPreviewEffects effects);

  // ---- clipboard (packed DIB) ----
  void CopyToClipboard();
  // Replaces the image with the clipboard's; nothing when the clipboard holds
  // no DIB or one that does not decode.
  void PasteFromClipboard();
  // Draws the clipboard image with its top-left at (x, y): a point of the attached
  // view's client area (converted to bitmap coordinates), or bitmap coordinates when no
  // view is attached.
  void PointPasteFromClip(int x, int y);
  void SelPasteFromClipStretch();
  void SelCopyToClip();
  void SelCutToClip();
  void Clear();
  void ClearSel();

  // ---- hidden data (least significant bits of a pf24bit image) ----
  // Bytes that fit besides the 8-byte header; 0 without a pf24bit image.
  int GetHiddenDataSpace();
  // Stores min(size, GetHiddenDataSpace()) bytes and returns that count.
  int WriteHiddenData(const void* buffer, int size);
  int WriteHiddenText(const std::string& text);
  // Copies up to size bytes of the stored data and returns the stored length; 0
  // when the image holds no valid header. size 0 only reads the length.
  int ReadHiddenData(void* buffer, int size);
  std::string ReadHiddenText();

  // ---- colour and point operations (on the selection) ----
  void Contrast(int amount);
  void IntensityRGBall(int r, int g, int b);
  void HSLvar(int hue, int saturation, int luminosity);
  void HSVvar(int hue, int saturation, int value);
  void Negative();
  void ConvertToGray();
  void Threshold(const TRGB& downLimit, const TRGB& upLimit, const TRGB& downValue,
                 const TRGB& upValue);
  void CastColorRange(const TRGB& beginColor, const TRGB& endColor, const TRGB& castColor);
  void Merge(const TBitmap& bitmap, int percent);

  // ---- channel extraction (whole image; no undo, no Update) ----
  // nullptr for a negative channel or without a pf24bit image.
  std::unique_ptr<TBitmap> GetRGBChannel(int channel);
  std::unique_ptr<TBitmap> GetHSVChannel(int channel);
  void GetRGBChannelAll(TBitmap& r, TBitmap& g, TBitmap& b);
  void GetHSVChannelAll(TBitmap& h, TBitmap& s, TBitmap& v);

  // ---- conversions (whole image) ----
  void ConvertTo(int colours);
  void ConvertToPalette(int colours, std::vector<TRGB>& palette);
  void ConvertToBWOrdered();
  void ConvertToBWThreshold(int threshold);
  void ConvertTo24Bit();

  // ---- geometry ----
  // A negative size follows from the other one keeping the aspect ratio; both
  // negative: nothing (after SaveUndo).
  void Resample(int newWidth, int newHeight, TResampleFilter filter);
  // Canvas resize without scaling; new area takes Background. A size below 1:
  // nothing.
  void ImageResize(int newWidth, int newHeight);
  // Whole degrees, counter-clockwise for positive angles; the canvas grows to
  // hold the turned image and the corners take Background. pf24bit and pf1bit
  // (where a non-black Background fills white and antialias is ignored).
  void Rotate(int angle, bool antialias);
  void Flip(TFlipDir direction);
  // The selection (inclusive; only the pixels inside a polygon, the rest black)
  // becomes the image. Without a selection nothing changes.
  void CropSel();

  // ---- convolution filters and effects (pf24bit) ----
  void ApplyFilter(const TGraphFilter& filter);
  void ApplyFilterPreset(TVXFilterPresets preset);
  // Morphology over a (2 * windowSize + 1) square window, on the selection.
  void Maximum(int windowSize);
  void Minimum(int windowSize);
  void Opening(int windowSize);
  void Closing(int windowSize);
  // On the selection (a polygon through its bounding box). The light position
  // is in image coordinates whatever the selection.
  void BumpMapping(int left, int top, int width, int height, int sourcePercent, const TRGB& color);
  // The whole image, or with a polygon selection only inside it; (x, y) is in
  // image coordinates either way.
  void Lens(int x, int y, int width, int height, double refraction);
  // The whole image around its centre, or a polygon selection around the centre
  // of its bounding box.
  void Wave(int amplitude, int wavelength, int phase, bool reflective);

  // ---- statistics and automatic adjustments (pf24bit) ----
  // Counts the selection rectangle (a polygon counts as its bounding box). No
  // undo, no Update; untouched without a pf24bit image.
  void GetHistogram(THistogram& histogram);
  // Distinct colours of the selection rectangle; 2 for pf1bit, 0 without an
  // image or for other formats.
  int CalcImageNumColors();
  // An optimised palette of colours entries for the whole image (cleared
  // without a pf24bit image). No undo, no Update.
  void CalcImagePalette(std::vector<TRGB>& palette, int reserved, int colours);
  void HistAutoEqualize();
  void HistEqualize(const TRGB& loThresh, const TRGB& hiThresh);

  // ---- Fourier transform ----
  // The transform of the image, owned by the caller; nullptr without a pf24bit
  // image. Both sizes negative: the image itself; otherwise the image scaled
  // (halftone) to width x height first, a negative one following from the
  // other by the aspect ratio. Sizes are at least 1 and at most
  // kMaxFTImageSide. The image itself is refused (nullptr) when a side exceeds
  // kMaxFTImageSide: its transform would not fit in memory, and scaling it behind
  // the caller's back would give a different image back; ask for a size instead.
  static constexpr int kMaxFTImageSide = TVXFtImage::kMaxN;
  std::unique_ptr<TVXFtImage> FTCreateImage(TVXFtImageType type, int width, int height);
  // The inverse transform replaces the image (no undo).
  void FTConvertFrom(const TVXFtImage& image);
  // The log-magnitude spectrum replaces the image (no undo).
  void FTDisplayFrom(const TVXFtImage& image);

  void Notification(TFreeNotifier* object, TOperation operation) override;

 protected:
  // The progress record handed to workers: OnProgress with this component as
  // Sender.
  TProgressRec MakeProgress();

  // The operation template. worker(bitmap, x1, y1, x2, y2, progress) runs on
  // the target's selected rectangle, or for a polygon selection on a copy of
  // its bounding box that is then drawn back through the polygon (even-odd).
  // needs24: return at once unless the target is pf24bit.
  template <class Worker>
  void RunOnSelection(bool needs24, Worker&& worker);

  // Runs worker(bitmap, progress) on the whole target (conversions, geometry).
  template <class Worker>
  void RunOnWhole(bool needs24, Worker&& worker);

  // The effects' variant of the template (pf24bit only): any polygon goes
  // through its bounding-box copy; otherwise the selected rectangle, or the
  // whole image when useRect is false. worker(bitmap, x1, y1, x2, y2, ox, oy,
  // progress) gets in (ox, oy) where the bitmap's origin lies in the image, so
  // that positions given in image coordinates can be moved onto the copy.
  template <class Worker>
  void RunEffect(bool useRect, Worker&& worker);

  // Whether the polygon selection has to go through the bounding-box copy.
  static bool NeedsPolygonPath(const std::vector<TPoint>& polygon);
  void RunPolygon(int x1, int y1, int x2, int y2, const std::vector<TPoint>& polygon,
                  const TMethod<TBitmap&, int, int, int, int>& worker);
  // Fills the selection (rectangle or polygon; whole image without one) with
  // the background colour.
  void FillSelection();

 private:
  // Decodes the clipboard's DIB into bitmap; false when there is none or it is
  // bad.
  static bool ClipboardBitmap(TBitmap& bitmap);

  std::unique_ptr<TBitmap> undo_;
  // The bitmap undo_ was copied from; compared only, never dereferenced.
  const TBitmap* undoOf_ = nullptr;
  bool autoUndo_ = true;
  int selX1_ = -1, selY1_ = -1, selX2_ = -1, selY2_ = -1;
  TMsgLanguage msgLanguage_ = TMsgLanguage::msSystem;
  TPRPreviewsParams previewsParams_;
  TFont previewFont_;
};

template <class Worker>
void TVantixProc::RunOnSelection(bool needs24, Worker&& worker) {
  if (!bitmap_ || (needs24 && bitmap_->PixelFormat() != pf24bit)) return;
  if (autoUndo_) SaveUndo();
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  std::vector<TPoint> polygon;
  GetReSel(x1, y1, x2, y2, polygon);
  if (x1 > x2 || y1 > y2) return;
  const TProgressRec progress = MakeProgress();
  if (!NeedsPolygonPath(polygon)) {
    worker(*bitmap_, x1, y1, x2, y2, progress);
  } else {
    RunPolygon(x1, y1, x2, y2, polygon, [&](TBitmap& b, int a1, int b1, int a2, int b2) {
      worker(b, a1, b1, a2, b2, progress);
    });
  }
  Update();
}

template <class Worker>
void TVantixProc::RunOnWhole(bool needs24, Worker&& worker) {
  if (!bitmap_ || (needs24 && bitmap_->PixelFormat() != pf24bit)) return;
  if (autoUndo_) SaveUndo();
  TProgressRec progress = MakeProgress();
  worker(*bitmap_, progress);
  Update();
}

template <class Worker>
void TVantixProc::RunEffect(bool useRect, Worker&& worker) {
  if (!bitmap_ || bitmap_->PixelFormat() != pf24bit) return;
  if (autoUndo_) SaveUndo();
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  std::vector<TPoint> polygon;
  GetReSel(x1, y1, x2, y2, polygon);
  if (polygon.empty() && !useRect) {
    x1 = 0;
    y1 = 0;
    x2 = bitmap_->Width() - 1;
    y2 = bitmap_->Height() - 1;
  }
  if (x1 > x2 || y1 > y2) return;
  const TProgressRec progress = MakeProgress();
  if (polygon.empty()) {
    worker(*bitmap_, x1, y1, x2, y2, 0, 0, progress);
  } else {
    RunPolygon(x1, y1, x2, y2, polygon, [&](TBitmap& b, int a1, int b1, int a2, int b2) {
      worker(b, a1, b1, a2, b2, x1, y1, progress);
    });
  }
  Update();
}

}  // namespace vx
