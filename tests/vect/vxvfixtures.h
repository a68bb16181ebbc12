#pragma once
// Byte-level helpers for the VXV tests: a writer of little-endian fields, and a reader of
// the VXV4 layout written from the format's description, independent of the library.
#include <zlib.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace vxvtest {

class Bytes {
 public:
  Bytes& U8(uint8_t v) {
    b_.push_back(v);
    return *this;
  }
  Bytes& I32(int32_t v) {
    for (int k = 0; k < 4; ++k)
      b_.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * k)));
    return *this;
  }
  Bytes& F64(double v) {
    const auto u = std::bit_cast<uint64_t>(v);
    for (int k = 0; k < 8; ++k) b_.push_back(static_cast<uint8_t>(u >> (8 * k)));
    return *this;
  }
  Bytes& Raw(const void* p, size_t n) {
    const auto* c = static_cast<const uint8_t*>(p);
    b_.insert(b_.end(), c, c + n);
    return *this;
  }
  Bytes& Raw(const std::vector<uint8_t>& v) { return Raw(v.data(), v.size()); }
  Bytes& Str(const std::string& s) {
    I32(static_cast<int32_t>(s.size()));
    return Raw(s.data(), s.size());
  }
  Bytes& Zero(size_t n) {
    b_.insert(b_.end(), n, 0);
    return *this;
  }
  void PutI32At(size_t at, int32_t v) {
    for (int k = 0; k < 4; ++k)
      b_[at + k] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * k));
  }
  void PutF64At(size_t at, double v) {
    const auto u = std::bit_cast<uint64_t>(v);
    for (int k = 0; k < 8; ++k) b_[at + k] = static_cast<uint8_t>(u >> (8 * k));
  }
  size_t Size() const { return b_.size(); }
  std::vector<uint8_t>& Data() { return b_; }

 private:
  std::vector<uint8_t> b_;
};

inline std::vector<uint8_t> Deflate(const std::vector<uint8_t>& in) {
  uLongf len = compressBound(static_cast<uLong>(in.size()));
  std::vector<uint8_t> out(len);
  if (compress2(out.data(), &len, in.data(), static_cast<uLong>(in.size()),
                Z_DEFAULT_COMPRESSION) != Z_OK)
    throw std::runtime_error("compress2");
  out.resize(len);
  return out;
}

struct ParsedObject {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  uint8_t kind = 0;
  std::string name;
  int32_t id = 0, penColor = 0;
  uint8_t penStyle = 0;
  int32_t penWidth = 0, brushColor = 0;
  uint8_t brushStyle = 0, style = 0;
  int32_t childCount = 0;
  uint8_t beginShape = 0, endShape = 0;
  int32_t shapeWidth = 0, shapeHeight = 0;
  double arcBegin = 0, arcEnd = 0;
  int32_t bitmapIndex = 0;
  uint8_t textAlign = 0;
  std::string text;
  bool hasFont = false;
  std::array<uint8_t, 60> font{};
};

struct ParsedVXV {
  uint32_t length = 0;
  double scale = 0;
  std::vector<int32_t> counts;
  std::vector<std::vector<uint8_t>> pngs;  // empty where no bitmap follows
  int32_t objectCount = 0;
  std::vector<ParsedObject> objects;  // block order
  std::vector<uint8_t> payload;       // the inflated object data
  int compressionLevelFlag = -1;      // FLEVEL of the zlib header
};

class Reader {
 public:
  Reader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
  void Need(size_t k) const {
    if (pos_ + k > n_) throw std::runtime_error("short VXV data at " + std::to_string(pos_));
  }
  uint8_t U8() {
    Need(1);
    return p_[pos_++];
  }
  int32_t I32() {
    Need(4);
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) v |= static_cast<uint32_t>(p_[pos_ + k]) << (8 * k);
    pos_ += 4;
    return static_cast<int32_t>(v);
  }
  uint32_t BE32() {
    Need(4);
    const uint32_t v = static_cast<uint32_t>(p_[pos_]) << 24 |
                       static_cast<uint32_t>(p_[pos_ + 1]) << 16 |
                       static_cast<uint32_t>(p_[pos_ + 2]) << 8 | p_[pos_ + 3];
    pos_ += 4;
    return v;
  }
  double F64() {
    const auto lo = static_cast<uint32_t>(I32());
    const auto hi = static_cast<uint32_t>(I32());
    return std::bit_cast<double>(static_cast<uint64_t>(hi) << 32 | lo);
  }
  std::string Str(size_t k) {
    Need(k);
    std::string s(reinterpret_cast<const char*>(p_ + pos_), k);
    pos_ += k;
    return s;
  }
  size_t Pos() const { return pos_; }
  void Skip(size_t k) {
    Need(k);
    pos_ += k;
  }
  const uint8_t* Here() const { return p_ + pos_; }
  size_t Left() const { return n_ - pos_; }

 private:
  const uint8_t* p_;
  size_t n_;
  size_t pos_ = 0;
};

// A PNG stream is chunks after the signature up to and including IEND.
inline std::vector<uint8_t> TakePNG(Reader& r) {
  const size_t start = r.Pos();
  static const uint8_t sig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  r.Need(8);
  if (std::memcmp(r.Here(), sig, 8) != 0) throw std::runtime_error("no PNG signature");
  r.Skip(8);
  for (;;) {
    const uint32_t len = r.BE32();
    const std::string type = r.Str(4);
    r.Skip(len + 4);
    if (type == "IEND") break;
  }
  const size_t end = r.Pos();
  return std::vector<uint8_t>(r.Here() - (end - start), r.Here());
}

inline std::vector<uint8_t> Inflate(const uint8_t* p, size_t n, size_t& consumed) {
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) throw std::runtime_error("inflateInit");
  std::vector<uint8_t> out;
  zs.next_in = const_cast<Bytef*>(p);
  zs.avail_in = static_cast<uInt>(n);
  int rc = Z_OK;
  uint8_t buf[16384];
  while (rc == Z_OK) {
    zs.next_out = buf;
    zs.avail_out = sizeof buf;
    rc = inflate(&zs, Z_NO_FLUSH);
    out.insert(out.end(), buf, buf + (sizeof buf - zs.avail_out));
  }
  consumed = zs.total_in;
  inflateEnd(&zs);
  if (rc != Z_STREAM_END) throw std::runtime_error("bad zlib stream");
  return out;
}

inline ParsedObject ParseBlock(Reader& r) {
  ParsedObject o;
  o.left = r.I32();
  o.top = r.I32();
  o.right = r.I32();
  o.bottom = r.I32();
  o.kind = r.U8();
  o.name = r.Str(static_cast<size_t>(r.I32()));
  o.id = r.I32();
  o.penColor = r.I32();
  o.penStyle = r.U8();
  o.penWidth = r.I32();
  o.brushColor = r.I32();
  o.brushStyle = r.U8();
  o.style = r.U8();
  switch (o.kind) {
    case 0:
      o.childCount = r.I32();
      break;
    case 1:
      o.beginShape = r.U8();
      o.endShape = r.U8();
      o.shapeWidth = r.I32();
      o.shapeHeight = r.I32();
      break;
    case 4:
      o.arcBegin = r.F64();
      o.arcEnd = r.F64();
      break;
    case 5:
      o.bitmapIndex = r.I32();
      break;
    case 6: {
      o.textAlign = r.U8();
      o.text = r.Str(static_cast<size_t>(r.I32()));
      const uint8_t flag = r.U8();
      if (flag > 1) throw std::runtime_error("font flag");
      o.hasFont = flag == 1;
      if (o.hasFont) {
        r.Need(60);
        std::memcpy(o.font.data(), r.Here(), 60);
        r.Skip(60);
      }
      break;
    }
    default:
      break;
  }
  return o;
}

inline ParsedVXV ParseVXV4(const std::vector<uint8_t>& data) {
  Reader r(data.data(), data.size());
  ParsedVXV v;
  if (r.Str(4) != "VXV4") throw std::runtime_error("signature");
  v.length = static_cast<uint32_t>(r.I32());
  v.scale = r.F64();
  const int32_t n = r.I32();
  for (int32_t k = 0; k < n; ++k) {
    v.counts.push_back(r.I32());
    v.pngs.push_back(v.counts.back() > 0 ? TakePNG(r) : std::vector<uint8_t>{});
  }
  if (r.Left() >= 2) v.compressionLevelFlag = r.Here()[1] >> 6;
  size_t consumed = 0;
  v.payload = Inflate(r.Here(), r.Left(), consumed);
  if (consumed != r.Left()) throw std::runtime_error("bytes after the zlib stream");
  Reader z(v.payload.data(), v.payload.size());
  v.objectCount = z.I32();
  // Blocks in order: a frame's children follow it at once.
  std::vector<int32_t> pending{v.objectCount};
  while (!pending.empty()) {
    if (pending.back() == 0) {
      pending.pop_back();
      continue;
    }
    --pending.back();
    v.objects.push_back(ParseBlock(z));
    if (v.objects.back().kind == 0 && v.objects.back().childCount > 0)
      pending.push_back(v.objects.back().childCount);
  }
  if (z.Left() != 0) throw std::runtime_error("bytes after the last object");
  return v;
}

}  // namespace vxvtest
