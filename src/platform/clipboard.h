#pragma once
// The clipboard as the components see it: one packed device-independent bitmap at a
// time. The default keeps it in this process; the widget library installs the system
// clipboard instead.
#include <cstdint>
#include <memory>
#include <vector>

namespace vx {

class TClipboard {
 public:
  virtual ~TClipboard() = default;
  virtual bool HasDIB() = 0;
  // The packed DIB (40-byte header, colour table, bottom-up rows); empty when none.
  virtual std::vector<uint8_t> GetDIB() = 0;
  virtual void SetDIB(const std::vector<uint8_t>& dib) = 0;
  virtual void Clear() = 0;
};

// The clipboard in use (never null).
TClipboard& Clipboard();
// Installs another clipboard; nullptr restores the in-process one. Returns the old one.
std::unique_ptr<TClipboard> SetClipboard(std::unique_ptr<TClipboard> clipboard);

}  // namespace vx
