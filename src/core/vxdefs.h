#pragma once
// Pixel conventions, colour helpers and the progress record that every codec and
// worker takes.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/arith.h"
#include "platform/bitmap.h"
#include "platform/event.h"
#include "platform/types.h"

namespace vx {

class TStream;

// ---- progress ----

using TProgressEvent = TMethod<TObject*, int>;

enum class TVXJob { vxjNOTHING, vxjGENERALPROCESSING, vxjVIDEOCAP_CONNECTING };
using enum TVXJob;
using TVXJobEvent = TMethod<TObject*, TVXJob, int>;

// The reason recorded when not even a reason can be allocated; short enough to be
// stored without an allocation.
inline constexpr const char* kOutOfMemoryReason = "out of memory";
// Stores reason in slot; under a shortage of memory stores kOutOfMemoryReason.
void SetFailureReason(std::string& slot, std::string_view reason) noexcept;

// Why a load or save failed: the reason of the first step that failed, and whether it
// was a shortage of memory (then a half-read image is not worth keeping).
struct TFailure {
  std::string Reason;
  bool OutOfMemory = false;

  void Clear() {
    Reason.clear();
    OutOfMemory = false;
  }
};

struct TProgressRec {
  TProgressEvent ProgressEvent;
  TObject* Sender = nullptr;
  int32_t Value = 0;
  int32_t Total = 0;
  double PercentPerStep = 0;
  bool* Aborting = nullptr;
  // Where the reason of a failure goes; may be null.
  TFailure* Failure = nullptr;

  // Reports trunc(Value * PercentPerStep) when an event is assigned.
  void Report() const;
  void Report(int percent) const;
  bool Aborted() const { return Aborting && *Aborting; }
  void Abort() const {
    if (Aborting) *Aborting = true;
  }
  // Aborts and records why, unless an earlier step already said why.
  void Fail(std::string_view reason) const;
  // As Fail, for a refused allocation.
  void FailOutOfMemory(std::string_view what) const;
};

// Fails progress with prefix + text as the reason (as out of memory when asked); never
// throws: when even the joined text cannot be stored, the abort and the shortage still are.
void FailSafely(const TProgressRec& progress, std::string_view prefix, std::string_view text,
                bool outOfMemory) noexcept;

// Records why a C codec library stopped, once no library frame is below the caller: a
// refused allocation, the stream's own complaint (a full disk) when the stream failed,
// or else the library's message prefixed with the codec's name ("JPEG", "PNG").
void FailFromLibrary(const TProgressRec& progress, std::string_view codec, bool outOfMemory,
                     bool streamFailed, std::string_view message, TStream& stream) noexcept;

// 100 * done / total, computed in 64 bits so that tall images cannot overflow it.
inline int PercentOf(int64_t done, int64_t total) {
  return total > 0 ? static_cast<int>(done * 100 / total) : 100;
}

// ---- the pixel limit ----

// The most pixels a reader may allocate for one image, process-wide. It keeps a small
// file that claims a huge size (a decompression bomb) from taking the machine's memory.
inline constexpr uint64_t kDefaultMaxImagePixels = uint64_t{1} << 28;
uint64_t MaxImagePixels();
// 0 lifts the limit.
void SetMaxImagePixels(uint64_t pixels);
// True when a width x height image is within the limit; otherwise fails progress with
// the limit as the reason.
bool ImageSizeAllowed(int64_t width, int64_t height, const TProgressRec& progress);
// The readers' sizing step: checks the limit, then sizes the bitmap (1x1, format,
// size). False, with progress failed and the bitmap as it was, when the limit or the
// allocation refuses.
bool SizeImage(TBitmap& bitmap, int width, int height, TPixelFormat pf,
               const TProgressRec& progress);

// Shared abort flag of nullpr; starts false.
extern bool vxAlwaysTrueBoolean;
// The record passed where no progress is wanted. Reset its abort flag (ResetNullpr)
// before handing it to a routine whose failure must not leak into later calls.
extern TProgressRec nullpr;
TProgressRec& ResetNullpr();

// ---- colour helpers ----

inline TRGB CreateRGB(uint8_t r, uint8_t g, uint8_t b) {
  return TRGB{b, g, r};
}
inline bool EqualRGB(const TRGB& a, const TRGB& b) {
  return a == b;
}
inline TColor TRGB2TColor(const TRGB& c) {
  return c.r + c.g * 256 + c.b * 65536;
}
inline TColor RGB2TColor(uint8_t r, uint8_t g, uint8_t b) {
  return r + g * 256 + b * 65536;
}
// Resolves system colours first.
TRGB TColor2TRGB(TColor c);
inline int RGBToGray(const TRGB& c) {
  return (c.r * 21 + c.g * 71 + c.b * 7) / 100;
}

inline void bswap(uint8_t& a, uint8_t& b) {
  const uint8_t t = a;
  a = b;
  b = t;
}
inline void iswap(int& a, int& b) {
  const int t = a;
  a = b;
  b = t;
}
inline void OrdCor(int& x1, int& y1, int& x2, int& y2) {
  if (x1 > x2) iswap(x1, x2);
  if (y1 > y2) iswap(y1, y2);
}

// ---- 1-bit rows: most significant bit is the leftmost pixel ----

inline bool GetPixelbw(const uint8_t* row, int x) {
  return (row[x >> 3] & (0x80 >> (x & 7))) != 0;
}
inline void SetPixelbw(uint8_t* row, int x, bool value) {
  const auto mask = static_cast<uint8_t>(0x80 >> (x & 7));
  if (value)
    row[x >> 3] |= mask;
  else
    row[x >> 3] &= static_cast<uint8_t>(~mask);
}

// Inverts every bit of a pf1bit image, padding included.
void Negative1Bit(TBitmap& bitmap);
// dest takes source's format and size, then the whole pixel block in one copy. An
// empty source leaves dest 1x1 in the source's format.
void CopyBitmap(const TBitmap& source, TBitmap& dest);
// dest becomes the pf24bit expansion of the pf1bit source (set = white, clear = black).
void Conv1to24(const TBitmap& source, TBitmap& dest, const TProgressRec& progress);

// The readers' sizing sequence: 1x1, format, final size.
void SizeBitmap(TBitmap& bitmap, int width, int height, TPixelFormat pf);

}  // namespace vx
