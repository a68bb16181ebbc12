#pragma once
// Sets the process-wide pixel limit for one test and puts the old one back after it.
#include <cstdint>

#include "core/vxdefs.h"

namespace vxtest {

class PixelLimit {
 public:
  explicit PixelLimit(uint64_t pixels) : saved_(vx::MaxImagePixels()) {
    vx::SetMaxImagePixels(pixels);
  }
  ~PixelLimit() { vx::SetMaxImagePixels(saved_); }
  PixelLimit(const PixelLimit&) = delete;
  PixelLimit& operator=(const PixelLimit&) = delete;

 private:
  uint64_t saved_;
};

}  // namespace vxtest
