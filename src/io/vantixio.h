#pragma once
// TVantixIO: loads images into, and saves them from, the bitmap of whatever it is
// attached to (a view, a picture control or a bare bitmap). Failures are reported
// through Aborting, never by exceptions — except that opening a file can throw.
#include <memory>
#include <string>
#include <string_view>

#include "core/vxdefs.h"
#include "io/ioparams.h"
#include "platform/attachment.h"
#include "platform/component.h"
#include "platform/font.h"
#include "platform/set.h"

namespace vx {

class IImageHost;
class IPictureHost;
class TVXTWainParams;
class TStream;
enum class TMsgLanguage;

enum class TIOPreviewsParamsItems { ioppDefaultLockPreview };
using enum TIOPreviewsParamsItems;
using TIOPreviewsParams = TSet<TIOPreviewsParamsItems>;

enum class TPreviewParamsItems { ppALL, ppAUTO, ppJPEG, ppTIFF, ppGIF, ppBMP, ppPCX, ppPNG };
using enum TPreviewParamsItems;
using TPreviewParams = TSet<TPreviewParamsItems>;

// The save-parameter dialog, a widget of vxcontrols; vxcore only passes it along.
class TfIOPreviews;
// (Sender, the dialog): fired just before the dialog is shown.
using TVXIOPreviewEvent = TMethod<TObject*, TfIOPreviews*>;

class TVantixIO : public TComponent, public TImageAttachment {
 public:
  explicit TVantixIO(TComponent* owner = nullptr);
  ~TVantixIO() override;

  // ---- attachment ----
  // The bitmap worked on; nullptr when nothing is attached.
  TBitmap* Bitmap() const { return bitmap_; }

  TMsgLanguage MsgLanguage() const { return msgLanguage_; }
  void SetMsgLanguage(TMsgLanguage l) { msgLanguage_ = l; }
  TIOPreviewsParams PreviewsParams() const { return previewsParams_; }
  void SetPreviewsParams(TIOPreviewsParams p) { previewsParams_ = p; }
  bool StreamHeaders() const { return streamHeaders_; }
  void SetStreamHeaders(bool v) { streamHeaders_ = v; }
  const TFont& PreviewFont() const { return previewFont_; }
  void SetPreviewFont(const TFont& f) { previewFont_ = f; }

  TIOParamsVals& Params() { return *params_; }
  const TIOParamsVals& Params() const { return *params_; }
  bool Aborting() const { return aborting_; }
  void SetAborting(bool v) { aborting_ = v; }
  // The scanner settings (source, resolution, pixel type, area…) Acquire uses.
  TVXTWainParams& TWainParams() { return *twainParams_; }

  // Why the last load or save failed (the system's text for file errors, the codec's
  // reason for refused data, the pixel limit for oversized images); empty after a
  // success.
  const std::string& LastError() const { return failure_.Reason; }

  TProgressEvent OnProgress;
  TVXIOPreviewEvent OnIOPreview;

  // ---- loading ----
  void LoadFromFileBMP(const std::string& fileName);
  void LoadFromStreamBMP(TStream& stream);
  int LoadFromFileGif(const std::string& fileName);
  int LoadFromStreamGif(TStream& stream);
  void LoadFromFileJpeg(const std::string& fileName);
  void LoadFromStreamJpeg(TStream& stream);
  void LoadFromFilePCX(const std::string& fileName);
  void LoadFromStreamPCX(TStream& stream);
  int LoadFromFileTIFF(const std::string& fileName);
  int LoadFromStreamTIFF(TStream& stream);
  void LoadFromFilePNG(const std::string& fileName);
  void LoadFromStreamPNG(TStream& stream);
  void LoadFromFileICO(const std::string& fileName);
  void LoadFromStreamICO(TStream& stream);
  void LoadFromFileCUR(const std::string& fileName);
  void LoadFromStreamCUR(TStream& stream);

  // ---- saving (files are replaced only when the write succeeds) ----
  void SaveToFileBMP(const std::string& fileName);
  void SaveToFileGif(const std::string& fileName);
  void SaveToFileJpeg(const std::string& fileName);
  void SaveToFilePCX(const std::string& fileName);
  void SaveToFileTIFF(const std::string& fileName);
  void SaveToFilePNG(const std::string& fileName);
  void SaveToStreamBMP(TStream& stream);
  void SaveToStreamGif(TStream& stream);
  void SaveToStreamJpeg(TStream& stream);
  void SaveToStreamPCX(TStream& stream);
  void SaveToStreamTIFF(TStream& stream);
  void SaveToStreamPNG(TStream& stream);

  // ---- generic ----
  // The five virtual ones can be overridden by a component that handles more sources;
  // whoever owns the component (the facade) calls them through it.
  virtual void LoadFromFile(const std::string& fileName);
  virtual void SaveToFile(const std::string& fileName);
  virtual void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream, int fileType);
  virtual void ParamsFromFile(const std::string& fileName);
  virtual void ParamsFromStream(TStream& stream);
  void ImportMetafile(const std::string& fileName, int width, int height);
  void Clear();
  void AssignParams(const TObject* source);

  // ---- multi-image files ----
  int InsertToFileGif(const std::string& fileName);
  int InsertToFileTIFF(const std::string& fileName);

  // Edits Params for saving in the parameter dialog, previewing the attached bitmap;
  // true when the user pressed OK. False without a bitmap or when the widget library
  // (which provides the dialog) is not loaded.
  bool DoPreviews(TPreviewParams pages);
  // Scans one image from the selected source into the bitmap; true when one arrived.
  // A failure's reason is in LastError (a user's cancel leaves it empty).
  bool Acquire();
  // Shows the source selection and selects the chosen source in TWainParams.
  bool SelectAcquireSource();

  void Notification(TFreeNotifier* object, TOperation operation) override;

 private:
  TProgressRec MakeProgress();
  void SetReason(std::string_view why, bool replace = false) noexcept;
  template <class Read>
  void ReadIntoBitmap(const char* format, Read&& read);
  template <class Write>
  void WriteGuarded(TStream& stream, Write&& write);
  bool BeginLoad();
  bool BeginSave();
  void AfterLoad(int fileType, bool fromFile, const std::string& fileName, bool passDpi);
  template <class Writer>
  void SaveFileSafely(const std::string& fileName, Writer&& write);
  template <class Writer>
  void WriteWithStreamHeader(TStream& stream, const char* magic, bool onlyWhenOk, Writer&& write);
  void ReadStreamFormat(TStream& stream, int fileType);
  void ReadRegistered(TStream& stream, int fileType);

  TMsgLanguage msgLanguage_;
  TIOPreviewsParams previewsParams_;
  bool streamHeaders_ = false;
  TFont previewFont_;
  std::unique_ptr<TIOParamsVals> params_;
  std::unique_ptr<TVXTWainParams> twainParams_;
  bool aborting_ = false;
  TFailure failure_;
};

// Multi-image helpers on files.
int DeleteGifIm(const std::string& fileName, int index);
int EnumGifIm(const std::string& fileName);     // 0 on any error
bool CheckAniGif(const std::string& fileName);  // false on any error
int DeleteTIFFIm(const std::string& fileName, int index);
int EnumTIFFIm(const std::string& fileName);

}  // namespace vx
