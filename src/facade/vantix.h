#pragma once
// TVantix: one control for display, processing and file input/output. It is a
// TVantixView that owns a TVantixProc and a TVantixIO, both attached to itself, and
// offers their methods and properties under their own names. It adds no image logic:
// every call goes to the member that does the work, so an application that starts
// with the facade and later uses the components directly sees the same behaviour.
#include <QFont>
#include <memory>
#include <string>
#include <vector>

#include "io/vantixio.h"
#include "proc/vantixproc.h"
#include "view/vantixview.h"

namespace vx {

class TStream;

class TVantix : public TVantixView {
  Q_OBJECT
  Q_PROPERTY(bool AutoUndo READ AutoUndo WRITE SetAutoUndo)
  Q_PROPERTY(int MsgLanguage READ MsgLanguageInt WRITE SetMsgLanguageInt)
  Q_PROPERTY(int ProcPreviewsParams READ ProcPreviewsParamsBits WRITE SetProcPreviewsParamsBits)
  Q_PROPERTY(int IOPreviewsParams READ IOPreviewsParamsBits WRITE SetIOPreviewsParamsBits)
  Q_PROPERTY(QFont PreviewFont READ PreviewQFont WRITE SetPreviewQFont)
  Q_PROPERTY(bool StreamHeaders READ StreamHeaders WRITE SetStreamHeaders)

 public:
  explicit TVantix(QWidget* parent = nullptr);
  ~TVantix() override;

 protected:
  // For a facade whose input/output component is a subclass (one that overrides the
  // virtual load, save or parameter operations): the facade adopts it and attaches it
  // to itself. nullptr gives the standard component.
  TVantix(QWidget* parent, std::unique_ptr<TVantixIO> io);

 public:
  // The members themselves, for what the facade does not re-expose.
  TVantixProc& Proc() { return *proc_; }
  TVantixIO& IO() { return *io_; }
  const TVantixProc& Proc() const { return *proc_; }
  const TVantixIO& IO() const { return *io_; }

  // ---- properties over both members ----
  // Read from the processing component; written to both, so that processing and
  // file operations report through the one handler.
  const TProgressEvent& OnProgress() const { return proc_->OnProgress; }
  void SetOnProgress(const TProgressEvent& handler);
  TMsgLanguage MsgLanguage() const { return proc_->MsgLanguage(); }
  void SetMsgLanguage(TMsgLanguage language);
  // Read from the input/output component; written to it, then to the processing one.
  const TFont& PreviewFont() const { return io_->PreviewFont(); }
  void SetPreviewFont(const TFont& font);

  bool AutoUndo() const { return proc_->AutoUndo(); }
  void SetAutoUndo(bool v) { proc_->SetAutoUndo(v); }
  TPRPreviewsParams ProcPreviewsParams() const { return proc_->PreviewsParams(); }
  void SetProcPreviewsParams(TPRPreviewsParams p) { proc_->SetPreviewsParams(p); }
  const TVXPreviewEvent& OnPreview() const { return proc_->OnPreview; }
  void SetOnPreview(const TVXPreviewEvent& handler) { proc_->OnPreview = handler; }
  bool CanUndo() const { return proc_->CanUndo(); }

  TIOPreviewsParams IOPreviewsParams() const { return io_->PreviewsParams(); }
  void SetIOPreviewsParams(TIOPreviewsParams p) { io_->SetPreviewsParams(p); }
  bool StreamHeaders() const { return io_->StreamHeaders(); }
  void SetStreamHeaders(bool v) { io_->SetStreamHeaders(v); }
  bool Aborting() const { return io_->Aborting(); }
  void SetAborting(bool v) { io_->SetAborting(v); }
  TIOParamsVals& IOParams() { return io_->Params(); }
  const TIOParamsVals& IOParams() const { return io_->Params(); }
  void SetIOParams(const TIOParamsVals& params) { io_->AssignParams(&params); }

  // The scanner parameters and the parameter dialog's event belong to the input/output
  // component; these reach them once the component has them (they are only compiled
  // when used).
  template <class IO = TVantixIO>
  auto& TWainParams() {
    return static_cast<IO&>(*io_).TWainParams();
  }
  template <class IO = TVantixIO>
  const auto& OnIOPreview() const {
    return static_cast<const IO&>(*io_).OnPreview;
  }
  template <class IO = TVantixIO, class Handler>
  void SetOnIOPreview(const Handler& handler) {
    static_cast<IO&>(*io_).OnPreview = handler;
  }

  // ---- assignment ----
  // The input/output parameters first, then the image, background and resolution.
  void Assign(const TVantixView* source);
  using TVantixView::Assign;
  // From another facade or an input/output component: their parameters; anything else
  // is ignored.
  void AssignIOParams(const TObject* source);

  // (x, y) is a point of the client area; the clipboard image lands with its top-left
  // on the image pixel shown there.
  void PointPasteFromClip(int x, int y);

  // ---- processing ----
  void SaveUndo() { proc_->SaveUndo(); }
  void ClearUndo() { proc_->ClearUndo(); }
  void Undo() { proc_->Undo(); }
  void Negative() { proc_->Negative(); }
  void HSLvar(int hue, int saturation, int luminosity) {
    proc_->HSLvar(hue, saturation, luminosity);
  }
  void HSVvar(int hue, int saturation, int value) { proc_->HSVvar(hue, saturation, value); }
  void IntensityRGBall(int r, int g, int b) { proc_->IntensityRGBall(r, g, b); }
  void Contrast(int amount) { proc_->Contrast(amount); }
  void ApplyFilter(const TGraphFilter& filter) { proc_->ApplyFilter(filter); }
  void ApplyFilterPreset(TVXFilterPresets preset) { proc_->ApplyFilterPreset(preset); }
  void ConvertToGray() { proc_->ConvertToGray(); }
  void CastColorRange(const TRGB& beginColor, const TRGB& endColor, const TRGB& castColor) {
    proc_->CastColorRange(beginColor, endColor, castColor);
  }
  void Rotate(int angle, bool antialias) { proc_->Rotate(angle, antialias); }
  void Flip(TFlipDir direction) { proc_->Flip(direction); }
  void ImageResize(int newWidth, int newHeight) { proc_->ImageResize(newWidth, newHeight); }
  void Resample(int newWidth, int newHeight, TResampleFilter filter) {
    proc_->Resample(newWidth, newHeight, filter);
  }
  bool DoPreviews(TPreviewEffects effects) { return proc_->DoPreviews(effects); }
  // The processing component's Clear (the image filled with the background); the
  // view's own Clear stays reachable as TVantixView::Clear.
  void Clear() { proc_->Clear(); }
  void SelCopyToClip() { proc_->SelCopyToClip(); }
  void CopyToClipboard() { proc_->CopyToClipboard(); }
  void SelPasteFromClipStretch() { proc_->SelPasteFromClipStretch(); }
  void PasteFromClipboard() { proc_->PasteFromClipboard(); }
  void SelCutToClip() { proc_->SelCutToClip(); }
  void Merge(const TBitmap& bitmap, int percent) { proc_->Merge(bitmap, percent); }
  void Threshold(const TRGB& downLimit, const TRGB& upLimit, const TRGB& downValue,
                 const TRGB& upValue) {
    proc_->Threshold(downLimit, upLimit, downValue, upValue);
  }
  void HistEqualize(const TRGB& loThresh, const TRGB& hiThresh) {
    proc_->HistEqualize(loThresh, hiThresh);
  }
  void HistAutoEqualize() { proc_->HistAutoEqualize(); }
  void ClearSel() { proc_->ClearSel(); }
  void ConvertTo(int colours) { proc_->ConvertTo(colours); }
  void CropSel() { proc_->CropSel(); }
  void BumpMapping(int left, int top, int width, int height, int sourcePercent, const TRGB& color) {
    proc_->BumpMapping(left, top, width, height, sourcePercent, color);
  }
  void GetHistogram(THistogram& histogram) { proc_->GetHistogram(histogram); }
  void CalcImagePalette(std::vector<TRGB>& palette, int reserved, int colours) {
    proc_->CalcImagePalette(palette, reserved, colours);
  }
  int CalcImageNumColors() { return proc_->CalcImageNumColors(); }
  std::unique_ptr<TBitmap> GetHSVChannel(int channel) { return proc_->GetHSVChannel(channel); }
  void GetHSVChannelAll(TBitmap& h, TBitmap& s, TBitmap& v) { proc_->GetHSVChannelAll(h, s, v); }
  std::unique_ptr<TBitmap> GetRGBChannel(int channel) { return proc_->GetRGBChannel(channel); }
  void GetRGBChannelAll(TBitmap& r, TBitmap& g, TBitmap& b) { proc_->GetRGBChannelAll(r, g, b); }
  void ConvertToBWOrdered() { proc_->ConvertToBWOrdered(); }
  void ConvertToBWThreshold(int threshold) { proc_->ConvertToBWThreshold(threshold); }
  void ConvertTo24Bit() { proc_->ConvertTo24Bit(); }
  void Lens(int x, int y, int width, int height, double refraction) {
    proc_->Lens(x, y, width, height, refraction);
  }
  void Wave(int amplitude, int wavelength, int phase, bool reflective) {
    proc_->Wave(amplitude, wavelength, phase, reflective);
  }
  int WriteHiddenText(const std::string& text) { return proc_->WriteHiddenText(text); }
  int WriteHiddenData(const void* buffer, int size) { return proc_->WriteHiddenData(buffer, size); }
  std::string ReadHiddenText() { return proc_->ReadHiddenText(); }
  int ReadHiddenData(void* buffer, int size) { return proc_->ReadHiddenData(buffer, size); }
  int GetHiddenDataSpace() { return proc_->GetHiddenDataSpace(); }
  std::unique_ptr<TVXFtImage> FTCreateImage(TVXFtImageType type, int width, int height) {
    return proc_->FTCreateImage(type, width, height);
  }
  void FTConvertFrom(const TVXFtImage& image) { proc_->FTConvertFrom(image); }
  void FTDisplayFrom(const TVXFtImage& image) { proc_->FTDisplayFrom(image); }
  void Maximum(int windowSize) { proc_->Maximum(windowSize); }
  void Minimum(int windowSize) { proc_->Minimum(windowSize); }
  void Opening(int windowSize) { proc_->Opening(windowSize); }
  void Closing(int windowSize) { proc_->Closing(windowSize); }

  // ---- input/output ----
  bool DoIOPreviews(TPreviewParams pages) { return io_->DoPreviews(pages); }
  void LoadFromFile(const std::string& fileName) { io_->LoadFromFile(fileName); }
  void SaveToFile(const std::string& fileName) { io_->SaveToFile(fileName); }
  void LoadFromStream(TStream& stream) { io_->LoadFromStream(stream); }
  void SaveToStream(TStream& stream, int fileType) { io_->SaveToStream(stream, fileType); }
  void ParamsFromFile(const std::string& fileName) { io_->ParamsFromFile(fileName); }
  void ParamsFromStream(TStream& stream) { io_->ParamsFromStream(stream); }
  void ImportMetafile(const std::string& fileName, int width, int height) {
    io_->ImportMetafile(fileName, width, height);
  }
  bool Acquire() { return io_->Acquire(); }
  bool SelectAcquireSource() { return io_->SelectAcquireSource(); }

  void LoadFromFileJpeg(const std::string& fileName) { io_->LoadFromFileJpeg(fileName); }
  void SaveToFileJpeg(const std::string& fileName) { io_->SaveToFileJpeg(fileName); }
  void LoadFromStreamJpeg(TStream& stream) { io_->LoadFromStreamJpeg(stream); }
  void SaveToStreamJpeg(TStream& stream) { io_->SaveToStreamJpeg(stream); }
  int LoadFromFileGif(const std::string& fileName) { return io_->LoadFromFileGif(fileName); }
  void SaveToFileGif(const std::string& fileName) { io_->SaveToFileGif(fileName); }
  int InsertToFileGif(const std::string& fileName) { return io_->InsertToFileGif(fileName); }
  int LoadFromStreamGif(TStream& stream) { return io_->LoadFromStreamGif(stream); }
  void SaveToStreamGif(TStream& stream) { io_->SaveToStreamGif(stream); }
  void LoadFromFilePCX(const std::string& fileName) { io_->LoadFromFilePCX(fileName); }
  void SaveToFilePCX(const std::string& fileName) { io_->SaveToFilePCX(fileName); }
  void LoadFromStreamPCX(TStream& stream) { io_->LoadFromStreamPCX(stream); }
  void SaveToStreamPCX(TStream& stream) { io_->SaveToStreamPCX(stream); }
  int LoadFromFileTIFF(const std::string& fileName) { return io_->LoadFromFileTIFF(fileName); }
  void SaveToFileTIFF(const std::string& fileName) { io_->SaveToFileTIFF(fileName); }
  int InsertToFileTIFF(const std::string& fileName) { return io_->InsertToFileTIFF(fileName); }
  int LoadFromStreamTIFF(TStream& stream) { return io_->LoadFromStreamTIFF(stream); }
  void SaveToStreamTIFF(TStream& stream) { io_->SaveToStreamTIFF(stream); }
  void LoadFromFileBMP(const std::string& fileName) { io_->LoadFromFileBMP(fileName); }
  void SaveToFileBMP(const std::string& fileName) { io_->SaveToFileBMP(fileName); }
  void LoadFromStreamBMP(TStream& stream) { io_->LoadFromStreamBMP(stream); }
  void SaveToStreamBMP(TStream& stream) { io_->SaveToStreamBMP(stream); }
  void LoadFromFileICO(const std::string& fileName) { io_->LoadFromFileICO(fileName); }
  void LoadFromStreamICO(TStream& stream) { io_->LoadFromStreamICO(stream); }
  void LoadFromFileCUR(const std::string& fileName) { io_->LoadFromFileCUR(fileName); }
  void LoadFromStreamCUR(TStream& stream) { io_->LoadFromStreamCUR(stream); }
  void LoadFromFilePNG(const std::string& fileName) { io_->LoadFromFilePNG(fileName); }
  void SaveToFilePNG(const std::string& fileName) { io_->SaveToFilePNG(fileName); }
  void LoadFromStreamPNG(TStream& stream) { io_->LoadFromStreamPNG(stream); }
  // Both spellings: the lower-case one is the name applications have always called.
  void saveToStreamPNG(TStream& stream) { io_->SaveToStreamPNG(stream); }
  void SaveToStreamPNG(TStream& stream) { io_->SaveToStreamPNG(stream); }

 private:
  int MsgLanguageInt() const { return static_cast<int>(MsgLanguage()); }
  void SetMsgLanguageInt(int v);
  int ProcPreviewsParamsBits() const { return static_cast<int>(ProcPreviewsParams().Bits()); }
  void SetProcPreviewsParamsBits(int v) {
    SetProcPreviewsParams(TPRPreviewsParams::FromBits(static_cast<uint64_t>(v)));
  }
  int IOPreviewsParamsBits() const { return static_cast<int>(IOPreviewsParams().Bits()); }
  void SetIOPreviewsParamsBits(int v) {
    SetIOPreviewsParams(TIOPreviewsParams::FromBits(static_cast<uint64_t>(v)));
  }
  QFont PreviewQFont() const;
  void SetPreviewQFont(const QFont& font);

  // Created processing first, then input/output; destroyed in the same order.
  std::unique_ptr<TVantixProc> proc_;
  std::unique_ptr<TVantixIO> io_;
};

}  // namespace vx
