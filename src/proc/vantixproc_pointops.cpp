// TVantixProc: colour and point operations, conversions and resampling, each a
// thin layer of the operation template over its worker.
#include <cstdint>

#include "platform/canvas.h"
#include "proc/pointops.h"
#include "proc/vantixproc.h"

namespace vx {

void TVantixProc::Contrast(int amount) {
  if (!bitmap_ || bitmap_->PixelFormat() != pf24bit) return;
  if (bitmap_->Width() < 2 || bitmap_->Height() < 2) return;
  // The reference levels come from the whole image even when a part is
  // processed.
  int refR = 128, refG = 128, refB = 128;
  GetMediaContrastRGB(*bitmap_, refR, refG, refB);
  RunOnSelection(true, [&](TBitmap& b, int x1, int y1, int x2, int y2, const TProgressRec& p) {
    ContrastRGB(b, amount, refR, refG, refB, x1, y1, x2, y2, p);
  });
}

void TVantixProc::IntensityRGBall(int r, int g, int b) {
  RunOnSelection(true, [&](TBitmap& bm, int x1, int y1, int x2, int y2, const TProgressRec& p) {
    vx::IntensityRGBall(bm, r, g, b, x1, y1, x2, y2, p);
  });
}

void TVantixProc::HSLvar(int hue, int saturation, int luminosity) {
  RunOnSelection(true, [&](TBitmap& b, int x1, int y1, int x2, int y2, const TProgressRec& p) {
    vx::HSLvar(b, hue, saturation, luminosity, x1, y1, x2, y2, p);
  });
}

void TVantixProc::HSVvar(int hue, int saturation, int value) {
  RunOnSelection(true, [&](TBitmap& b, int x1, int y1, int x2, int y2, const TProgressRec& p) {
    vx::HSVvar(b, hue, saturation, value, x1, y1, x2, y2, p);
  });
}

void TVantixProc::Negative() {
  // The worker also inverts pf1bit images and skips what it does not handle.
  RunOnSelection(false, [&](TBitmap& b, int x1, int y1, int x2, int y2, const TProgressRec& p) {
    vx::Negative(b, x1, y1, x2, y2, p);
  });
}

void TVantixProc::ConvertToGray() {
  RunOnSelection(true, [&](TBitmap& b, int x1, int y1, int x2, int y2, const TProgressRec& p) {
    vx::ConvertToGray(b, x1, y1, x2, y2, p);
  });
}

void TVantixProc::Threshold(const TRGB& downLimit, const TRGB& upLimit, const TRGB& downValue,
                            const TRGB& upValue) {
  RunOnSelection(true, [&](TBitmap& b, int x1, int y1, int x2, int y2, const TProgressRec& p) {
    vx::Threshold(b, downLimit, upLimit, downValue, upValue, x1, y1, x2, y2, p);
  });
}

void TVantixProc::CastColorRange(const TRGB& beginColor, const TRGB& endColor,
                                 const TRGB& castColor) {
  RunOnSelection(true, [&](TBitmap& b, int x1, int y1, int x2, int y2, const TProgressRec& p) {
    vx::CastColorRange(b, beginColor, endColor, castColor, x1, y1, x2, y2, p);
  });
}

void TVantixProc::Merge(const TBitmap& bitmap, int percent) {
  // Merging the image with itself, or with its undo copy (which the undo step
  // is about to overwrite), must read the pixels as they were.
  std::unique_ptr<TBitmap> own;
  const TBitmap* other = &bitmap;
  if (other == bitmap_ || other == undo_.get()) {
    own = std::make_unique<TBitmap>(bitmap);
    other = own.get();
  }
  RunOnSelection(true, [&](TBitmap& b, int x1, int y1, int x2, int y2, const TProgressRec& p) {
    vx::Merge(b, *other, percent, x1, y1, x2, y2, p);
  });
}

std::unique_ptr<TBitmap> TVantixProc::GetRGBChannel(int channel) {
  if (!bitmap_ || channel < 0 || bitmap_->PixelFormat() != pf24bit) return nullptr;
  return vx::GetRGBChannel(*bitmap_, channel, MakeProgress());
}

std::unique_ptr<TBitmap> TVantixProc::GetHSVChannel(int channel) {
  if (!bitmap_ || bitmap_->PixelFormat() != pf24bit) return nullptr;
  return vx::GetHSVChannel(*bitmap_, channel, MakeProgress());
}

void TVantixProc::GetRGBChannelAll(TBitmap& r, TBitmap& g, TBitmap& b) {
  if (!bitmap_ || bitmap_->PixelFormat() != pf24bit) return;
  vx::GetRGBChannelAll(*bitmap_, r, g, b, MakeProgress());
}

void TVantixProc::GetHSVChannelAll(TBitmap& h, TBitmap& s, TBitmap& v) {
  if (!bitmap_ || bitmap_->PixelFormat() != pf24bit) return;
  vx::GetHSVChannelAll(*bitmap_, h, s, v, MakeProgress());
}

void TVantixProc::ConvertTo(int colours) {
  RunOnWhole(true, [&](TBitmap& b, TProgressRec& p) { vx::ConvertTo(b, colours, p); });
}

void TVantixProc::ConvertToPalette(int colours, std::vector<TRGB>& palette) {
  RunOnWhole(true,
             [&](TBitmap& b, TProgressRec& p) { vx::ConvertToPalette(b, colours, palette, p); });
}

void TVantixProc::ConvertToBWOrdered() {
  RunOnWhole(true, [&](TBitmap& b, TProgressRec& p) { vx::ConvertToBWOrdered(b, p); });
}

void TVantixProc::ConvertToBWThreshold(int threshold) {
  RunOnWhole(true, [&](TBitmap& b, TProgressRec& p) { vx::ConvertToBWThreshold(b, threshold, p); });
}

void TVantixProc::ConvertTo24Bit() {
  if (!bitmap_ || bitmap_->PixelFormat() != pf1bit) return;
  RunOnWhole(false, [&](TBitmap& b, TProgressRec& p) { vx::ConvertTo24Bit(b, p); });
}

void TVantixProc::Resample(int newWidth, int newHeight, TResampleFilter filter) {
  if (!bitmap_) return;
  if (autoUndo_) SaveUndo();
  if (newWidth < 0 && newHeight < 0) return;
  const int64_t w = bitmap_->Width(), h = bitmap_->Height();
  if (w == 0 || h == 0) return;
  // A derived size is worked out in 64 bits: a very flat or tall image can ask
  // for more than an int holds, which must not wrap into some other size.
  int64_t nw = newWidth, nh = newHeight;
  if (nw < 0) nw = w * nh / h;
  if (nh < 0) nh = nw * h / w;
  if (nw <= 0 || nh <= 0 || nw > INT32_MAX || nh > INT32_MAX) return;
  newWidth = static_cast<int>(nw);
  newHeight = static_cast<int>(nh);

  TBitmap result;
  if (filter != rfNone && bitmap_->PixelFormat() != pf1bit) {
    // The filtered resampler reads 24-bit pixels; other storage formats go
    // through a 24-bit copy rather than coming out blank.
    const TBitmap* source = bitmap_;
    TBitmap converted;
    if (bitmap_->PixelFormat() != pf24bit) {
      converted.Assign(*bitmap_);
      converted.SetPixelFormat(pf24bit);
      source = &converted;
    }
    SizeBitmap(result, newWidth, newHeight, pf24bit);
    vx::Resample(*source, result, filter, OnProgress, this);
  } else {
    SizeBitmap(result, newWidth, newHeight, bitmap_->PixelFormat());
    result.SetPalette(bitmap_->Palette());
    result.Canvas().StretchDraw(Rect(0, 0, newWidth, newHeight), *bitmap_, smHalftone);
  }
  CopyBitmap(result, *bitmap_);
  Update();
}

}  // namespace vx
