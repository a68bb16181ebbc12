// The AVI half of the multi-image component: frames in and out through the FFmpeg-based
// reader and writer.
#include <algorithm>

#include "multi/avicompressordialog.h"
#include "multi/avifile.h"
#include "multi/vantixmio.h"
#include "multi/vantixmview.h"

namespace vx {

void TVantixMIO::LoadFromFileAVI(const std::string& fileName) {
  if (!Begin(false)) return;
  TProgressRec progress = MakeProgress();
  int index = std::max(view_->SelectedImage(), 0);
  ReadAVIFrames(
      fileName,
      [&](TBitmap& bitmap, TIOParamsVals& frameParams, int) {
        view_->InsertImage(index);
        TIOParamsVals* params = Params(index);
        if (!params) {
          view_->DeleteImage(index);
          progress.Fail("the parameter list lost step with the view");
          return false;
        }
        params->Assign(frameParams);
        params->GIF_ImageIndex = index;
        params->TIFF_ImageIndex = index;
        view_->SetImage(index, bitmap);
        view_->SetImageDelayTime(index, frameParams.GIF_DelayTime);
        ++index;
        return !aborting_;
      },
      progress);
  Update();
}

void TVantixMIO::SaveToFileAVI(const std::string& fileName) {
  if (!Begin(true)) return;
  TProgressRec progress = MakeProgress();
  TAVIWriter writer;
  TAVICompressorOptions options = AVICompressor;
  writer.Create(fileName, view_->ImageDelayTime(0), options);
  if (AVIAskCompressor) {
    // A cancelled choice ends the save with an empty file.
    if (!ChooseAVICompressor(options, view_)) {
      writer.Cancel();
      return;
    }
    writer.SetOptions(options);
  }
  const int count = view_->ImageCount();
  for (int i = 0; i < count; ++i) {
    TBitmap* bitmap = view_->GetBitmap(i);
    if (!bitmap) {
      progress.Fail("image " + std::to_string(i) + " has no pixels to save");
      break;
    }
    const bool ok = writer.AddFrame(*bitmap, progress);
    view_->ReleaseBitmap(i);
    progress.Report(PercentOf(int64_t{i} + 1, count));
    if (!ok || aborting_) break;
  }
  // What was written stays a playable file, even when a frame failed.
  writer.Finish(progress);
}

}  // namespace vx
