#pragma once
// The image buffer: one contiguous block of rows padded to 4 bytes, top row first.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/event.h"
#include "platform/object.h"
#include "platform/types.h"

namespace vx {

enum class TPixelFormat {
  pfDevice,
  pf1bit,
  pf4bit,
  pf8bit,
  pf15bit,
  pf16bit,
  pf24bit,
  pf32bit,
  pfCustom
};
using enum TPixelFormat;

class TCanvas;

// Bits a pixel that a format is stored with. pfDevice and pfCustom are kept as 24-bit rows.
int StorageBits(TPixelFormat pf);

class TBitmap : public TObject {
 public:
  TBitmap();
  ~TBitmap() override;
  TBitmap(const TBitmap& other);
  TBitmap& operator=(const TBitmap& other);

  int Width() const { return width_; }
  int Height() const { return height_; }
  // Setting either reallocates the pixel block; its contents are then undefined
  // (in practice zero for new rows) and the caller overwrites them. A refused
  // allocation throws and leaves size, format and pixels as they were.
  void SetWidth(int w);
  void SetHeight(int h);
  void SetSize(int w, int h);
  bool Empty() const { return width_ == 0 || height_ == 0; }

  TPixelFormat PixelFormat() const { return format_; }
  // Converts the pixels to the new format (pf1bit to pf24bit and back, and between the
  // storage formats through 24 bits). Two-colour conversion picks the nearer of black
  // and white.
  void SetPixelFormat(TPixelFormat pf);

  // Address of the first byte of row 0 = top. Rows are RowLen() bytes apart.
  uint8_t* ScanLine(int row);
  const uint8_t* ScanLine(int row) const;
  int RowLen() const { return rowLen_; }
  // The whole pixel block, row 0 first.
  uint8_t* Bits() { return pixels_.data(); }
  const uint8_t* Bits() const { return pixels_.data(); }
  size_t BitsSize() const { return pixels_.size(); }

  // Palette of the indexed storage formats (pf1bit: black, white unless set).
  const std::vector<TRGB>& Palette() const { return palette_; }
  void SetPalette(std::vector<TRGB> pal) { palette_ = std::move(pal); }

  TCanvas& Canvas();

  // Deep copy of another bitmap (size, format, palette, pixels).
  void Assign(const TBitmap& source);
  // Exchanges size, format, palette and pixels with other; canvases, events and the
  // modified flags stay with their bitmaps.
  void Swap(TBitmap& other) noexcept;

  bool Modified() const { return modified_; }
  // Setting true tells whoever displays this bitmap that its pixels changed.
  void SetModified(bool m);
  TNotifyEvent OnChange;

 private:
  static std::vector<TRGB> DefaultPalette(TPixelFormat pf);

  int width_ = 0;
  int height_ = 0;
  int rowLen_ = 0;
  TPixelFormat format_ = pf24bit;
  std::vector<uint8_t> pixels_;
  std::vector<TRGB> palette_;
  std::unique_ptr<TCanvas> canvas_;
  bool modified_ = false;
};

}  // namespace vx
