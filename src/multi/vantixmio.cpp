#include "multi/vantixmio.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "acquire/imscan.h"
#include "acquire/twaindsm.h"
#include "acquire/twainparams.h"
#include "codecs/giffilter.h"
#include "codecs/tiffilt.h"
#include "core/vxutils.h"
#include "io/iopreviewhook.h"
#include "io/safesave.h"
#include "multi/vantixmview.h"
#include "platform/bitmap.h"
#include "platform/exceptions.h"
#include "platform/stream.h"

namespace vx {

namespace {

std::string LowerExtension(const std::string& fileName) {
  std::string ext = std::filesystem::path(fileName).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

TColor RGBToColor(TRGB c) {
  return static_cast<TColor>(c.r) | (static_cast<TColor>(c.g) << 8) |
         (static_cast<TColor>(c.b) << 16);
}

}  // namespace

TVantixMIO::TVantixMIO(TComponent* owner)
    : TComponent(owner),
      twainParams_(std::make_unique<TVXTWainParams>()),
      msgLanguage_(static_cast<TMsgLanguage>(0)) {}

TVantixMIO::~TVantixMIO() {
  Detach();
}

// ---- attachment ----

void TVantixMIO::Detach() {
  if (!view_) return;
  view_->RemoveBitmapChangeEvent(TNotifyEvent::Bind(this, &TVantixMIO::OnBitmapChange));
  view_->RemoveFreeNotification(this);
  view_ = nullptr;
}

void TVantixMIO::SetAttachedMView(TVantixMView* view) {
  Detach();
  view_ = view;
  if (!view_) return;
  view_->FreeNotification(this);
  view_->RegisterBitmapChangeEvent(TNotifyEvent::Bind(this, &TVantixMIO::OnBitmapChange));
}

void TVantixMIO::Notification(TFreeNotifier* object, TOperation operation) {
  TComponent::Notification(object, operation);
  // The view is half destroyed: forget it without calling it.
  if (operation == opRemove && view_ && object == static_cast<TFreeNotifier*>(view_))
    view_ = nullptr;
}

void TVantixMIO::OnBitmapChange(TObject*) {
  if (!view_) return;
  const int op = view_->GetLastOp();
  const int index = view_->GetLastOpIdx();
  if (op == 1) InsertIOParam(index);
  if (op == 2) RemoveIOParam(index);
}

// ---- the parameter list ----

TIOParamsVals* TVantixMIO::Params(int index) {
  if (index < 0 || index >= ParamsCount()) return nullptr;
  return params_[static_cast<size_t>(index)].get();
}

void TVantixMIO::Renumber() {
  for (size_t i = 0; i < params_.size(); ++i) {
    params_[i]->TIFF_ImageIndex = static_cast<int>(i);
    params_[i]->GIF_ImageIndex = static_cast<int>(i);
  }
}

void TVantixMIO::InsertIOParam(int index) {
  auto set = std::make_unique<TIOParamsVals>();
  const int count = ParamsCount();
  index = std::max(index, 0);
  // A new image starts from its neighbour's settings.
  if (count > 0) set->Assign(*params_[static_cast<size_t>(std::min(index, count - 1))]);
  if (index >= count)
    params_.push_back(std::move(set));
  else
    params_.insert(params_.begin() + index, std::move(set));
  Renumber();
}

void TVantixMIO::RemoveIOParam(int index) {
  if (index < 0 || index >= ParamsCount()) return;
  params_.erase(params_.begin() + index);
  Renumber();
}

void TVantixMIO::Update() {
  if (!view_) return;
  view_->Update();
  view_->ImageChange();
}

// ---- shared steps ----

TProgressRec TVantixMIO::MakeProgress() {
  TProgressRec p;
  p.ProgressEvent = OnProgress;
  p.Sender = this;
  p.Aborting = &aborting_;
  p.Failure = &failure_;
  return p;
}

bool TVantixMIO::Begin(bool saving) {
  aborting_ = false;
  failure_.Clear();
  if (!view_) {
    failure_.Reason = "no thumbnail view is attached";
    return false;
  }
  if (saving && view_->ImageCount() == 0) {
    failure_.Reason = "the view holds no image to save";
    return false;
  }
  return true;
}

// One loop for the pages of a TIFF and the frames of a GIF: each is read into an image
// inserted at the selected position and onward.
void TVantixMIO::LoadPages(TStream& stream, TMultiFormat format) {
  if (!Begin(false)) return;
  const bool gif = format == TMultiFormat::mfGif;
  const int64_t p = stream.Position();
  int index = std::max(view_->SelectedImage(), 0);
  int defaultDelay = 10;
  TProgressRec progress = MakeProgress();
  int n = 0;
  for (int i = 0;; ++i, ++index) {
    view_->InsertImage(index);
    TIOParamsVals* params = Params(index);
    if (!params) {  // the view is not in step with us: nothing sensible to fill
      progress.Fail("the parameter list lost step with the view");
      break;
    }
    TBitmap bitmap;
    stream.Seek(p, TSeekOrigin::soBeginning);
    if (gif) {
      params->GIF_ImageIndex = i;
      ReadGifStream(stream, bitmap, n, false, *params, progress);
      params->FileType = ioGIF;
    } else {
      params->TIFF_ImageIndex = i;
      TIFFReadStream(&bitmap, stream, n, params, progress, false);
      params->FileType = ioTIFF;
    }
    params->GIF_ImageIndex = index;
    params->TIFF_ImageIndex = index;
    params->FileName.clear();
    if (aborting_) {
      view_->DeleteImage(index);
      break;
    }
    if (n <= 0) {
      view_->DeleteImage(index);
      break;
    }
    view_->SetImage(index, bitmap);
    if (gif) {
      view_->SetImageBackground(index, RGBToColor(params->GIF_Background));
      if (params->GIF_DelayTime > 0) defaultDelay = params->GIF_DelayTime * 10;
      view_->SetImageDelayTime(index, defaultDelay);
    } else {
      view_->SetImageDelayTime(index, 100);
    }
    progress.Report(PercentOf(int64_t{i} + 1, n));
    if (aborting_ || i + 1 >= n) break;
  }
  Update();
}

void TVantixMIO::SavePages(TStream& stream, TMultiFormat format) {
  if (!Begin(true)) return;
  const int64_t p = stream.Position();
  TProgressRec progress = MakeProgress();
  // The codecs report nothing of their own while saving; their failures still count.
  TProgressRec quiet = progress;
  quiet.ProgressEvent = nullptr;
  const int count = view_->ImageCount();
  for (int index = 0; index < count; ++index) {
    stream.Seek(p, TSeekOrigin::soBeginning);
    TBitmap* bitmap = view_->GetBitmap(index);
    TIOParamsVals* params = Params(index);
    if (!bitmap || !params) {
      if (bitmap) view_->ReleaseBitmap(index);
      progress.Fail("image " + std::to_string(index) + " has no pixels to save");
      break;
    }
    if (bitmap->PixelFormat() != pf24bit && bitmap->PixelFormat() != pf1bit)
      bitmap->SetPixelFormat(pf24bit);
    params->TIFF_ImageIndex = index;
    params->GIF_ImageIndex = index;
    if (format == TMultiFormat::mfGif) {
      if (index == 0)
        WriteGifStream(stream, *bitmap, *params, quiet);
      else if (InsertGifImStream(stream, *bitmap, *params, quiet) == 0)
        quiet.Fail("GIF: the frame could not be added");
    } else {
      if (TIFFWriteStream(stream, index > 0, *bitmap, *params, quiet) == 0)
        quiet.Fail("TIFF: the page could not be written");
    }
    view_->ReleaseBitmap(index);
    progress.Report(PercentOf(int64_t{index} + 1, count));
    if (aborting_) break;
  }
}

// A failed save leaves any earlier file of that name as it was.
template <class Save>
void TVantixMIO::SaveFileSafely(const std::string& fileName, Save&& save) {
  if (!Begin(true)) return;
  SaveFileAtomically(fileName, [&](TFileStream& out) {
    save(out);
    if (!aborting_ && !out.FlushBuffers()) MakeProgress().Fail(out.ErrorText());
    return !aborting_;
  });
}

// ---- the public forms ----

void TVantixMIO::LoadFromStreamGif(TStream& stream) {
  LoadPages(stream, TMultiFormat::mfGif);
}

void TVantixMIO::LoadFromStreamTIFF(TStream& stream) {
  LoadPages(stream, TMultiFormat::mfTIFF);
}

void TVantixMIO::SaveToStreamGif(TStream& stream) {
  SavePages(stream, TMultiFormat::mfGif);
}

void TVantixMIO::SaveToStreamTIFF(TStream& stream) {
  SavePages(stream, TMultiFormat::mfTIFF);
}

void TVantixMIO::LoadFromFileGif(const std::string& fileName) {
  if (!Begin(false)) return;
  TFileStream in(fileName, fmOpenRead);
  LoadFromStreamGif(in);
}

void TVantixMIO::LoadFromFileTIFF(const std::string& fileName) {
  if (!Begin(false)) return;
  TFileStream in(fileName, fmOpenRead);
  LoadFromStreamTIFF(in);
}

void TVantixMIO::SaveToFileGif(const std::string& fileName) {
  SaveFileSafely(fileName, [this](TStream& s) { SaveToStreamGif(s); });
}

void TVantixMIO::SaveToFileTIFF(const std::string& fileName) {
  SaveFileSafely(fileName, [this](TStream& s) { SaveToStreamTIFF(s); });
}

void TVantixMIO::LoadFromFile(const std::string& fileName) {
  const std::string ext = LowerExtension(fileName);
  if (ext == ".gif")
    LoadFromFileGif(fileName);
  else if (ext == ".tif" || ext == ".tiff")
    LoadFromFileTIFF(fileName);
  else if (ext == ".avi")
    LoadFromFileAVI(fileName);
}

void TVantixMIO::SaveToFile(const std::string& fileName) {
  const std::string ext = LowerExtension(fileName);
  if (ext == ".gif")
    SaveToFileGif(fileName);
  else if (ext == ".tif" || ext == ".tiff")
    SaveToFileTIFF(fileName);
  else if (ext == ".avi")
    SaveToFileAVI(fileName);
}

bool TVantixMIO::SelectAcquireSource() {
  std::string name;
  return VXTW_SelectImageSource(VXFindHandle(this), name) && twainParams_->SelectSourceByName(name);
}

bool TVantixMIO::Acquire() {
  aborting_ = false;
  failure_.Clear();
  if (!view_) return false;
  int position = std::max(view_->SelectedImage(), 0);
  position = std::min(position, view_->ImageCount());
  // Each page becomes a new image at the acquisition position; inserting it makes the
  // view's notification insert its parameter set, which the scanner code then fills.
  TIOParamsVals spare;
  auto onPage = [&](TBitmap& page, TIOParamsVals*& params) {
    view_->InsertImage(position);
    TIOParamsVals* set = Params(position);
    params = set ? set : &spare;
    view_->SetImage(position, page);
    view_->SetImageDelayTime(position, 100);
    ++position;
  };
  const TWindowHandle window = VXFindHandle(this);
  TProgressRec p = MakeProgress();
  const bool ok = VXTW_Acquire(window, nullptr, true, p, nullptr, *twainParams_, onPage);
  if (!ok && failure_.Reason.empty()) failure_.Reason = twainParams_->LastError();
  if (auto& focus = TwainPlatformHooks().FocusWindow; focus && window) focus(window);
  Update();
  return ok;
}

bool TVantixMIO::DoPreviews(int index, TPreviewParams pages) {
  if (!view_) return false;
  const int current = view_->SelectedImage();
  TIOParamsVals* params = Params(index);
  if (current < 0 || current >= view_->ImageCount() || !params) return false;
  // The current image may have to be loaded from its file for the preview.
  TBitmap* image = view_->GetBitmap(current);
  if (!image) {
    view_->ReleaseBitmap(current);
    return false;
  }
  TIOPreviewRequest request;
  request.Image = image;
  request.Params = params;
  request.Pages = pages;
  request.LockPreview = previewsParams_.Contains(ioppDefaultLockPreview);
  request.Language = msgLanguage_;
  request.Font = &previewFont_;
  request.Sender = this;
  const bool ok = RunIOPreviews(request);
  view_->ReleaseBitmap(current);
  Renumber();
  Update();
  return ok;
}

}  // namespace vx
