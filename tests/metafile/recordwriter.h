#pragma once
// Small writers of WMF and EMF record streams for tests that need exact shapes, exact
// colours and deliberately broken files.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace vxtest {

inline void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// A 24-bit bottom-up packed DIB; pixels are 0x00RRGGBB, top row first.
inline std::vector<uint8_t> PackedDib(int w, int h, const std::vector<uint32_t>& pixels) {
  std::vector<uint8_t> d;
  Put32(d, 40);
  Put32(d, static_cast<uint32_t>(w));
  Put32(d, static_cast<uint32_t>(h));
  Put16(d, 1);
  Put16(d, 24);
  for (int i = 0; i < 6; ++i) Put32(d, 0);
  const int rowLen = (w * 3 + 3) & ~3;
  for (int y = h - 1; y >= 0; --y) {
    for (int x = 0; x < w; ++x) {
      const uint32_t p = pixels[static_cast<size_t>(y * w + x)];
      d.push_back(static_cast<uint8_t>(p));
      d.push_back(static_cast<uint8_t>(p >> 8));
      d.push_back(static_cast<uint8_t>(p >> 16));
    }
    for (int k = w * 3; k < rowLen; ++k) d.push_back(0);
  }
  return d;
}

// WMF: records of 16-bit words after the placeable header (bounds in logical units,
// unitsPerInch) and the standard header.
class WmfWriter {
 public:
  // params are the record's words in file order; bytes follow them.
  WmfWriter& Rec(uint16_t function, std::initializer_list<int> params,
                 const std::vector<uint8_t>& bytes = {}) {
    std::vector<uint8_t> r;
    for (int p : params) Put16(r, static_cast<uint32_t>(p) & 0xFFFF);
    r.insert(r.end(), bytes.begin(), bytes.end());
    if (r.size() % 2) r.push_back(0);
    const auto words = static_cast<uint32_t>(3 + r.size() / 2);
    if (words > maxWords_) maxWords_ = words;
    Put32(body_, words);
    Put16(body_, function);
    body_.insert(body_.end(), r.begin(), r.end());
    return *this;
  }
  // Appends raw bytes (for broken records).
  WmfWriter& Raw(const std::vector<uint8_t>& bytes) {
    body_.insert(body_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  std::vector<uint8_t> Bytes(bool placeable, int left, int top, int right, int bottom,
                             int unitsPerInch, uint16_t objects = 16) const {
    std::vector<uint8_t> out;
    if (placeable) {
      Put32(out, 0x9AC6CDD7);
      Put16(out, 0);
      for (int v : {left, top, right, bottom}) Put16(out, static_cast<uint32_t>(v) & 0xFFFF);
      Put16(out, static_cast<uint32_t>(unitsPerInch));
      Put32(out, 0);
      // Checksum: the exclusive-or of the ten words before it.
      uint16_t sum = 0;
      for (size_t i = 0; i + 1 < out.size(); i += 2)
        sum = static_cast<uint16_t>(sum ^ (out[i] | out[i + 1] << 8));
      Put16(out, sum);
    }
    Put16(out, 1);
    Put16(out, 9);
    Put16(out, 0x300);
    Put32(out, static_cast<uint32_t>(9 + body_.size() / 2 + 3));
    Put16(out, objects);
    Put32(out, maxWords_);
    Put16(out, 0);
    out.insert(out.end(), body_.begin(), body_.end());
    Put32(out, 3);
    Put16(out, 0);
    return out;
  }

 private:
  std::vector<uint8_t> body_;
  uint32_t maxWords_ = 3;
};

// EMF: a header whose reference device has 96 pixels an inch and whose frame is
// width x height of those pixels, so that logical units in MM_TEXT are output pixels at
// the natural size.
class EmfWriter {
 public:
  EmfWriter& Rec(uint32_t type, std::initializer_list<int64_t> params,
                 const std::vector<uint8_t>& bytes = {}) {
    std::vector<uint8_t> r;
    for (int64_t p : params) Put32(r, static_cast<uint32_t>(p));
    r.insert(r.end(), bytes.begin(), bytes.end());
    while (r.size() % 4) r.push_back(0);
    Put32(body_, type);
    Put32(body_, static_cast<uint32_t>(8 + r.size()));
    body_.insert(body_.end(), r.begin(), r.end());
    ++records_;
    return *this;
  }
  EmfWriter& Raw(const std::vector<uint8_t>& bytes) {
    body_.insert(body_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  std::vector<uint8_t> Bytes(int width, int height, bool withEof = true) const {
    std::vector<uint8_t> out;
    Put32(out, 1);
    Put32(out, 88);
    for (int v : {0, 0, width - 1, height - 1}) Put32(out, static_cast<uint32_t>(v));
    // Frame in hundredths of a millimetre, exclusive of the last pixel.
    const auto hmm = [](int px) { return static_cast<uint32_t>(px * 2540 / 96); };
    for (uint32_t v : {0u, 0u, hmm(width), hmm(height)}) Put32(out, v);
    Put32(out, 0x464D4520);
    Put32(out, 0x10000);
    Put32(out, 0);  // size, patched below
    Put32(out, records_ + 2);
    Put16(out, 32);
    Put16(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 960);  // reference device: 960 x 960 pixels on 254 x 254 mm
    Put32(out, 960);
    Put32(out, 254);
    Put32(out, 254);
    out.insert(out.end(), body_.begin(), body_.end());
    if (withEof) {
      Put32(out, 14);
      Put32(out, 20);
      Put32(out, 0);
      Put32(out, 16);
      Put32(out, 20);
    }
    const auto n = static_cast<uint32_t>(out.size());
    for (int i = 0; i < 4; ++i)
      out[48 + static_cast<size_t>(i)] = static_cast<uint8_t>(n >> (8 * i));
    return out;
  }

 private:
  std::vector<uint8_t> body_;
  uint32_t records_ = 0;
};

}  // namespace vxtest
