// TVantixProc: statistics, automatic level adjustments and the Fourier
// transform, thin layers over their workers.
#include <algorithm>
#include <cstdint>

#include "platform/canvas.h"
#include "proc/histogram.h"
#include "proc/vantixproc.h"
#include "proc/vxfft.h"

namespace vx {

void TVantixProc::GetHistogram(THistogram& histogram) {
  if (!bitmap_ || bitmap_->PixelFormat() != pf24bit) return;
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  std::vector<TPoint> polygon;
  GetReSel(x1, y1, x2, y2, polygon);
  vx::GetHistogram(*bitmap_, histogram, x1, y1, x2, y2);
}

int TVantixProc::CalcImageNumColors() {
  if (!bitmap_) return 0;
  if (bitmap_->PixelFormat() == pf1bit) return 2;
  if (bitmap_->PixelFormat() != pf24bit) return 0;
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  std::vector<TPoint> polygon;
  GetReSel(x1, y1, x2, y2, polygon);
  return GetImageNumColors(*bitmap_, x1, y1, x2, y2);
}

void TVantixProc::CalcImagePalette(std::vector<TRGB>& palette, int reserved, int colours) {
  if (!bitmap_ || bitmap_->PixelFormat() != pf24bit) {
    palette.clear();
    return;
  }
  vx::CalcImagePalette(*bitmap_, palette, reserved, colours);
}

void TVantixProc::HistAutoEqualize() {
  RunOnSelection(true, [&](TBitmap& b, int x1, int y1, int x2, int y2, const TProgressRec& p) {
    vx::HistAutoEqualize(b, x1, y1, x2, y2, p);
  });
}

void TVantixProc::HistEqualize(const TRGB& loThresh, const TRGB& hiThresh) {
  RunOnSelection(true, [&](TBitmap& b, int x1, int y1, int x2, int y2, const TProgressRec& p) {
    vx::HistEqualize(b, loThresh, hiThresh, x1, y1, x2, y2, p);
  });
}

std::unique_ptr<TVXFtImage> TVantixProc::FTCreateImage(TVXFtImageType type, int width, int height) {
  if (!bitmap_ || bitmap_->PixelFormat() != pf24bit || bitmap_->Empty()) return nullptr;
  auto image = std::make_unique<TVXFtImage>();
  image->OnProgress = OnProgress;
  image->Sender = this;
  if (width < 0 && height < 0) {
    if (!image->BuildFT(*bitmap_, type)) return nullptr;
    return image;
  }
  const int64_t w = bitmap_->Width(), h = bitmap_->Height();
  int64_t nw = width, nh = height;
  if (nw < 0) nw = h > 0 ? w * nh / h : 0;
  if (nh < 0) nh = w > 0 ? h * nw / w : 0;
  // The square transform of a huge side would not fit in memory.
  nw = std::clamp<int64_t>(nw, 1, kMaxFTImageSide);
  nh = std::clamp<int64_t>(nh, 1, kMaxFTImageSide);
  TBitmap scaled;
  SizeBitmap(scaled, static_cast<int>(nw), static_cast<int>(nh), pf24bit);
  scaled.Canvas().StretchDraw(Rect(0, 0, static_cast<int>(nw), static_cast<int>(nh)), *bitmap_,
                              smHalftone);
  image->BuildFT(scaled, type);
  return image;
}

void TVantixProc::FTConvertFrom(const TVXFtImage& image) {
  if (!bitmap_) return;
  image.BuildBitmap(*bitmap_);
  Update();
}

void TVantixProc::FTDisplayFrom(const TVXFtImage& image) {
  if (!bitmap_) return;
  image.GetFTImage(*bitmap_);
  Update();
}

}  // namespace vx
