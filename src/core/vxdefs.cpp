#include "core/vxdefs.h"

#include <array>
#include <cstring>
#include <new>
#include <string>

#include "core/vxutils.h"
#include "platform/exceptions.h"
#include "platform/stream.h"
#include "platform/syscolors.h"

namespace vx {

bool vxAlwaysTrueBoolean = false;
TProgressRec nullpr{{}, nullptr, 0, 0, 0, &vxAlwaysTrueBoolean, nullptr};

TProgressRec& ResetNullpr() {
  vxAlwaysTrueBoolean = false;
  nullpr.Value = 0;
  nullpr.Total = 0;
  nullpr.PercentPerStep = 0;
  nullpr.Aborting = &vxAlwaysTrueBoolean;
  nullpr.Failure = nullptr;
  return nullpr;
}

// Recording the reason must not fail the failure: when even that string cannot be
// allocated, memory is what ran out, and a text that short needs no allocation.
void SetFailureReason(std::string& slot, std::string_view reason) noexcept {
  try {
    slot = reason;
  } catch (const std::bad_alloc&) {
    slot = kOutOfMemoryReason;
  }
}

void TProgressRec::Fail(std::string_view reason) const {
  if (Failure && Failure->Reason.empty()) SetFailureReason(Failure->Reason, reason);
  Abort();
}

void TProgressRec::FailOutOfMemory(std::string_view what) const {
  if (Failure) {
    Failure->OutOfMemory = true;
    if (Failure->Reason.empty()) {
      try {
        Failure->Reason = "not enough memory " + std::string(what);
      } catch (const std::bad_alloc&) {
        Failure->Reason = kOutOfMemoryReason;
      }
    }
  }
  Abort();
}

void FailSafely(const TProgressRec& progress, std::string_view prefix, std::string_view text,
                bool outOfMemory) noexcept {
  try {
    std::string reason(prefix);
    reason += text;
    if (outOfMemory)
      progress.FailOutOfMemory(reason);
    else
      progress.Fail(reason);
  } catch (const std::bad_alloc&) {
    if (progress.Failure) {
      progress.Failure->OutOfMemory = true;
      if (progress.Failure->Reason.empty()) progress.Failure->Reason = kOutOfMemoryReason;
    }
    progress.Abort();
  }
}

void FailFromLibrary(const TProgressRec& progress, std::string_view codec, bool outOfMemory,
                     bool streamFailed, std::string_view message, TStream& stream) noexcept {
  try {
    if (outOfMemory) {
      FailSafely(progress, "in the " + std::string(codec) + " codec: ", message, true);
      return;
    }
    if (streamFailed) {
      const std::string why = stream.ErrorText();
      if (!why.empty()) {
        FailSafely(progress, "", why, false);
        return;
      }
    }
    FailSafely(progress, std::string(codec) + ": ", message, false);
  } catch (const std::bad_alloc&) {
    FailSafely(progress, "", kOutOfMemoryReason, outOfMemory);
  }
}

namespace {
uint64_t gMaxImagePixels = kDefaultMaxImagePixels;
}

uint64_t MaxImagePixels() {
  return gMaxImagePixels;
}

void SetMaxImagePixels(uint64_t pixels) {
  gMaxImagePixels = pixels;
}

bool ImageSizeAllowed(int64_t width, int64_t height, const TProgressRec& progress) {
  if (width <= 0 || height <= 0) return true;
  const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  if (gMaxImagePixels == 0 || pixels <= gMaxImagePixels) return true;
  try {
    progress.Fail("image of " + std::to_string(width) + " x " + std::to_string(height) + " = " +
                  std::to_string(pixels) + " pixels exceeds the pixel limit of " +
                  std::to_string(gMaxImagePixels));
  } catch (const std::bad_alloc&) {
    progress.Fail({});
  }
  return false;
}

bool SizeImage(TBitmap& bitmap, int width, int height, TPixelFormat pf,
               const TProgressRec& progress) {
  if (!ImageSizeAllowed(width, height, progress)) return false;
  try {
    TBitmap fresh;
    SizeBitmap(fresh, width, height, pf);
    bitmap.Swap(fresh);
  } catch (const std::bad_alloc&) {
    try {
      progress.FailOutOfMemory("for an image of " + std::to_string(width) + " x " +
                               std::to_string(height) + " pixels");
    } catch (const std::bad_alloc&) {
      progress.FailOutOfMemory({});
    }
    return false;
  } catch (const EOutOfResources& e) {
    progress.Fail(e.what());
    return false;
  }
  return true;
}

void TProgressRec::Report() const {
  if (ProgressEvent) ProgressEvent(Sender, TruncI(Value * PercentPerStep));
}

void TProgressRec::Report(int percent) const {
  if (ProgressEvent) ProgressEvent(Sender, percent);
}

TRGB TColor2TRGB(TColor c) {
  const TColor v = ColorToRGB(c);
  return TRGB{static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

void Negative1Bit(TBitmap& bitmap) {
  if (bitmap.PixelFormat() != pf1bit) return;
  const int len = BitmapRowLen(bitmap.Width(), 1);
  for (int y = 0; y < bitmap.Height(); ++y) {
    uint8_t* row = bitmap.ScanLine(y);
    for (int i = 0; i < len; ++i) row[i] = static_cast<uint8_t>(~row[i]);
  }
}

void SizeBitmap(TBitmap& bitmap, int width, int height, TPixelFormat pf) {
  bitmap.SetSize(1, 1);
  bitmap.SetPixelFormat(pf);
  bitmap.SetSize(width, height);
}

void CopyBitmap(const TBitmap& source, TBitmap& dest) {
  if (&source == &dest) return;
  // A destination of the same shape keeps its block: the copy is all that changes, and
  // an undo copy taken before every operation costs no reallocation.
  const bool sameShape = !source.Empty() && dest.Width() == source.Width() &&
                         dest.Height() == source.Height() &&
                         dest.PixelFormat() == source.PixelFormat();
  if (!sameShape) dest.SetSize(1, 1);
  dest.SetPixelFormat(source.PixelFormat());
  if (source.Empty()) return;
  dest.SetSize(source.Width(), source.Height());
  dest.SetPalette(source.Palette());
  const size_t bytes = static_cast<size_t>(source.RowLen()) * static_cast<size_t>(source.Height());
  std::memcpy(dest.Bits(), source.Bits(), bytes);
}

namespace {
// Each 1-bit byte expands to 8 pixels = 24 bytes, most significant bit first.
const std::array<std::array<uint8_t, 24>, 256>& Expand1to24Table() {
  static const auto table = [] {
    std::array<std::array<uint8_t, 24>, 256> t{};
    for (int v = 0; v < 256; ++v)
      for (int bit = 0; bit < 8; ++bit) {
        const uint8_t c = (v & (0x80 >> bit)) ? 255 : 0;
        t[v][bit * 3] = t[v][bit * 3 + 1] = t[v][bit * 3 + 2] = c;
      }
    return t;
  }();
  return table;
}
}  // namespace

void Conv1to24(const TBitmap& source, TBitmap& dest, const TProgressRec& progress) {
  const int w = source.Width(), h = source.Height();
  SizeBitmap(dest, w, h, pf24bit);
  const auto& table = Expand1to24Table();
  const int fullBytes = w / 8, rest = w % 8;
  for (int y = 0; y < h; ++y) {
    const uint8_t* src = source.ScanLine(y);
    uint8_t* dst = dest.ScanLine(y);
    for (int i = 0; i < fullBytes; ++i, dst += 24) std::memcpy(dst, table[src[i]].data(), 24);
    if (rest) std::memcpy(dst, table[src[fullBytes]].data(), static_cast<size_t>(rest) * 3);
    progress.Report(TruncI(y * 100.0 / (h + 0.5)));
  }
}

}  // namespace vx
