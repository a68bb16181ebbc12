#pragma once
// A bounded little-endian cursor over one metafile record. Every read checks what is
// left; a read past the end returns false and leaves the value zero, so a short record
// can never make the player look outside the bytes it was given.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vx::metafile {

class TRecordReader {
 public:
  TRecordReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  size_t Remaining() const { return size_ - pos_; }
  size_t Position() const { return pos_; }
  const uint8_t* Data() const { return data_; }
  size_t Size() const { return size_; }
  bool Ok() const { return ok_; }

  bool Skip(size_t n) {
    if (n > Remaining()) return Fail();
    pos_ += n;
    return true;
  }
  uint8_t U8() { return static_cast<uint8_t>(Read(1)); }
  uint16_t U16() { return static_cast<uint16_t>(Read(2)); }
  int16_t I16() { return static_cast<int16_t>(U16()); }
  uint32_t U32() { return static_cast<uint32_t>(Read(4)); }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  float F32() {
    const uint32_t bits = U32();
    float f = 0;
    std::memcpy(&f, &bits, sizeof f);
    return f;
  }

  // Bytes [offset, offset + length) of the whole record, or nullptr when they do not fit.
  const uint8_t* Span(uint64_t offset, uint64_t length) const {
    if (offset > size_ || length > size_ - offset) return nullptr;
    return data_ + offset;
  }

 private:
  bool Fail() {
    ok_ = false;
    pos_ = size_;
    return false;
  }
  uint64_t Read(size_t n) {
    if (n > Remaining()) {
      Fail();
      return 0;
    }
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= uint64_t{data_[pos_ + i]} << (8 * i);
    pos_ += n;
    return v;
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace vx::metafile
