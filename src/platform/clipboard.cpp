#include "platform/clipboard.h"

namespace vx {

namespace {

class TMemoryClipboard : public TClipboard {
 public:
  bool HasDIB() override { return !dib_.empty(); }
  std::vector<uint8_t> GetDIB() override { return dib_; }
  void SetDIB(const std::vector<uint8_t>& dib) override { dib_ = dib; }
  void Clear() override { dib_.clear(); }

 private:
  std::vector<uint8_t> dib_;
};

std::unique_ptr<TClipboard>& Current() {
  static std::unique_ptr<TClipboard> current = std::make_unique<TMemoryClipboard>();
  return current;
}

}  // namespace

TClipboard& Clipboard() {
  return *Current();
}

std::unique_ptr<TClipboard> SetClipboard(std::unique_ptr<TClipboard> clipboard) {
  if (!clipboard) clipboard = std::make_unique<TMemoryClipboard>();
  std::swap(Current(), clipboard);
  return clipboard;
}

}  // namespace vx
