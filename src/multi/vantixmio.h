#pragma once
// TVantixMIO: loads and saves whole multi-image files - every page of a TIFF, every
// frame of a GIF or an AVI - into and out of an attached thumbnail view, and keeps one
// parameter set for every image of the view, in the view's order.
//
// Failures are reported through Aborting (and LastError), never by exceptions, except
// that opening or creating a file can throw.
#include <memory>
#include <string>
#include <vector>

#include "core/vxdefs.h"
#include "io/ioparams.h"
#include "io/vantixio.h"
#include "multi/avifile.h"
#include "platform/component.h"
#include "platform/font.h"

namespace vx {

class TVantixMView;
class TStream;
enum class TMsgLanguage;

class TVantixMIO : public TComponent {
 public:
  explicit TVantixMIO(TComponent* owner = nullptr);
  ~TVantixMIO() override;

  // ---- attachment ----
  TVantixMView* AttachedMView() const { return view_; }
  void SetAttachedMView(TVantixMView* view);

  // ---- properties ----
  TMsgLanguage MsgLanguage() const { return msgLanguage_; }
  void SetMsgLanguage(TMsgLanguage l) { msgLanguage_ = l; }
  TIOPreviewsParams PreviewsParams() const { return previewsParams_; }
  void SetPreviewsParams(TIOPreviewsParams p) { previewsParams_ = p; }
  const TFont& PreviewFont() const { return previewFont_; }
  void SetPreviewFont(const TFont& f) { previewFont_ = f; }
  // What AVI files are written with when no one is asked.
  TAVICompressorOptions AVICompressor;
  // Shows the compressor chooser (starting from AVICompressor) before an AVI is
  // written; a cancelled choice leaves an empty file. Off: nothing is asked.
  bool AVIAskCompressor = false;

  // The parameter set of image index; nullptr when there is none.
  TIOParamsVals* Params(int index);
  int ParamsCount() const { return static_cast<int>(params_.size()); }
  bool Aborting() const { return aborting_; }
  void SetAborting(bool v) { aborting_ = v; }
  // Why the last operation failed; empty after a success.
  const std::string& LastError() const { return failure_.Reason; }

  TProgressEvent OnProgress;

  // ---- the parameter list ----
  void InsertIOParam(int index);
  void RemoveIOParam(int index);
  // The view's Update and image-change notification.
  void Update();

  // ---- loading and saving ----
  // By the lower-case extension: .gif, .tif/.tiff, .avi; any other does nothing.
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName);
  void LoadFromFileGif(const std::string& fileName);
  void LoadFromStreamGif(TStream& stream);
  void SaveToFileGif(const std::string& fileName);
  void SaveToStreamGif(TStream& stream);
  void LoadFromFileTIFF(const std::string& fileName);
  void LoadFromStreamTIFF(TStream& stream);
  void SaveToFileTIFF(const std::string& fileName);
  void SaveToStreamTIFF(TStream& stream);
  void LoadFromFileAVI(const std::string& fileName);
  void SaveToFileAVI(const std::string& fileName);

  // The scanner settings Acquire uses.
  TVXTWainParams& TWainParams() { return *twainParams_; }
  // Shows the source selection and selects the chosen source in TWainParams.
  bool SelectAcquireSource();
  // Scans every page the source delivers into the view, inserted in order at the
  // selected image (0 when none); true when at least one page arrived.
  bool Acquire();
  // The save-parameter dialog for image index, previewing the view's current image;
  // true when the user pressed OK (the set is changed only then).
  bool DoPreviews(int index, TPreviewParams pages);

  void Notification(TFreeNotifier* object, TOperation operation) override;

 private:
  enum class TMultiFormat { mfGif, mfTIFF };
  TProgressRec MakeProgress();
  bool Begin(bool saving);
  void Renumber();
  void OnBitmapChange(TObject* sender);
  void Detach();
  void LoadPages(TStream& stream, TMultiFormat format);
  void SavePages(TStream& stream, TMultiFormat format);
  template <class Save>
  void SaveFileSafely(const std::string& fileName, Save&& save);

  TVantixMView* view_ = nullptr;
  std::vector<std::unique_ptr<TIOParamsVals>> params_;
  std::unique_ptr<TVXTWainParams> twainParams_;
  TMsgLanguage msgLanguage_;
  TIOPreviewsParams previewsParams_;
  TFont previewFont_;
  bool aborting_ = false;
  TFailure failure_;
};

}  // namespace vx
