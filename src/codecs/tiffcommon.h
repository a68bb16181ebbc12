#pragma once
// Pieces shared by the TIFF reader, writer and page editor: byte order, field types,
// tag numbers and a reader that never leaves the TIFF data.
#include <cstdint>
#include <vector>

#include "platform/stream.h"

namespace vx::tiff {

enum Tag : uint16_t {
  kNewSubfileType = 254,
  kImageWidth = 256,
  kImageLength = 257,
  kBitsPerSample = 258,
  kCompression = 259,
  kPhotometric = 262,
  kFillOrder = 266,
  kDocumentName = 269,
  kImageDescription = 270,
  kStripOffsets = 273,
  kOrientation = 274,
  kSamplesPerPixel = 277,
  kRowsPerStrip = 278,
  kStripByteCounts = 279,
  kXResolution = 282,
  kYResolution = 283,
  kPlanarConfig = 284,
  kPageName = 285,
  kXPosition = 286,
  kYPosition = 287,
  kFreeOffsets = 288,
  kFreeByteCounts = 289,
  kT4Options = 292,
  kResolutionUnit = 296,
  kPageNumber = 297,
  kSoftware = 305,
  kPredictor = 317,
  kColorMap = 320,
  kTileWidth = 322,
  kTileLength = 323,
  kTileOffsets = 324,
  kTileByteCounts = 325,
  kSubIFDs = 330,
  kExtraSamples = 338,
  kSampleFormat = 339,
  kJPEGTables = 347,
  kJPEGInterchangeFormat = 513,
  kJPEGInterchangeFormatLength = 514,
  kExifIFD = 34665,
  kGPSIFD = 34853,
  kInteropIFD = 40965,
};

enum FieldType : uint16_t {
  kByte = 1,
  kAscii = 2,
  kShort = 3,
  kLong = 4,
  kRational = 5,
  kSByte = 6,
  kUndefined = 7,
  kSShort = 8,
  kSLong = 9,
  kSRational = 10,
  kFloat = 11,
  kDouble = 12,
  kIfd = 13,
};

// Bytes one value of a field type takes; 0 for unknown types.
inline int TypeSize(uint16_t type) {
  static constexpr int sizes[14] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
  return type < 14 ? sizes[type] : 0;
}

// Integers in the byte order of one file.
struct ByteOrder {
  bool big = false;
  uint16_t U16(const uint8_t* p) const {
    return big ? static_cast<uint16_t>((p[0] << 8) | p[1])
               : static_cast<uint16_t>(p[0] | (p[1] << 8));
  }
  uint32_t U32(const uint8_t* p) const {
    const uint32_t b0 = p[0], b1 = p[1], b2 = p[2], b3 = p[3];
    return big ? (b0 << 24) | (b1 << 16) | (b2 << 8) | b3
               : b0 | (b1 << 8) | (b2 << 16) | (b3 << 24);
  }
  void Put16(uint8_t* p, uint32_t v) const {
    if (big) {
      p[0] = static_cast<uint8_t>(v >> 8);
      p[1] = static_cast<uint8_t>(v);
    } else {
      p[0] = static_cast<uint8_t>(v);
      p[1] = static_cast<uint8_t>(v >> 8);
    }
  }
  void Put32(uint8_t* p, uint32_t v) const {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (big ? 8 * (3 - i) : 8 * i));
  }
};

// One raw directory entry; value holds the 4 value bytes as stored.
struct Entry {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint32_t count = 0;
  uint8_t value[4] = {};
  // Bytes of the entry's data, or -1 when the type is unknown.
  int64_t DataSize() const {
    const int s = TypeSize(type);
    return s == 0 ? -1 : static_cast<int64_t>(s) * count;
  }
};

// Random access to TIFF data that starts at a base position of a stream. Offsets are
// relative to that base (the TIFF header), so a TIFF embedded in a larger stream reads
// the same as the file on its own.
class Source {
 public:
  explicit Source(TStream& s) : s_(s) {
    base_ = s.Position();
    const int64_t total = s.Size();
    size_ = total > base_ ? total - base_ : 0;
  }
  int64_t Size() const { return size_; }
  int64_t Base() const { return base_; }
  bool Contains(uint64_t off, uint64_t n) const {
    return off <= static_cast<uint64_t>(size_) && n <= static_cast<uint64_t>(size_) - off;
  }
  bool ReadAt(uint64_t off, void* buffer, uint64_t n) {
    if (!Contains(off, n)) return false;
    if (n == 0) return true;
    if (s_.Seek(base_ + static_cast<int64_t>(off), soBeginning) !=
        base_ + static_cast<int64_t>(off))
      return false;
    return s_.Read(buffer, static_cast<int64_t>(n)) == static_cast<int64_t>(n);
  }
  bool ReadVec(uint64_t off, uint64_t n, std::vector<uint8_t>& out) {
    if (!Contains(off, n)) return false;
    out.resize(n);
    return ReadAt(off, out.data(), n);
  }

 private:
  TStream& s_;
  int64_t base_ = 0;
  int64_t size_ = 0;
};

// Reads the IFD at off: its entries (in file byte order decoded to host values) and the
// offset of the next IFD. False when the directory does not lie inside the data. A
// missing next pointer after complete entries counts as the end of the chain.
inline bool ReadIfd(Source& src, const ByteOrder& bo, uint32_t off, std::vector<Entry>* entries,
                    uint32_t& next) {
  uint8_t b[4];
  if (!src.ReadAt(off, b, 2)) return false;
  const uint32_t n = bo.U16(b);
  const uint64_t entriesAt = static_cast<uint64_t>(off) + 2;
  if (!src.Contains(entriesAt, uint64_t{n} * 12)) return false;
  if (entries) {
    std::vector<uint8_t> raw;
    if (!src.ReadVec(entriesAt, uint64_t{n} * 12, raw)) return false;
    entries->resize(n);
    for (uint32_t i = 0; i < n; ++i) {
      const uint8_t* p = raw.data() + i * 12;
      Entry& e = (*entries)[i];
      e.tag = bo.U16(p);
      e.type = bo.U16(p + 2);
      e.count = bo.U32(p + 4);
      for (int k = 0; k < 4; ++k) e.value[k] = p[8 + k];
    }
  }
  next = src.ReadAt(entriesAt + uint64_t{n} * 12, b, 4) ? bo.U32(b) : 0;
  return true;
}

// Reads the values of an integer entry (BYTE, SHORT, LONG, their signed forms, IFD)
// from the value field or from its offset. False when the data lies outside the file,
// the type is not an integer type, or there are more than maxCount values.
inline bool ReadInts(Source& src, const ByteOrder& bo, const Entry& e, std::vector<uint32_t>& out,
                     uint32_t maxCount) {
  out.clear();
  const int ts = TypeSize(e.type);
  const bool integer = e.type == kByte || e.type == kShort || e.type == kLong || e.type == kSByte ||
                       e.type == kSShort || e.type == kSLong || e.type == kIfd ||
                       e.type == kUndefined;
  if (!integer || e.count > maxCount) return false;
  const uint64_t bytes = uint64_t{e.count} * static_cast<uint64_t>(ts);
  std::vector<uint8_t> data;
  const uint8_t* p = e.value;
  if (bytes > 4) {
    if (!src.ReadVec(bo.U32(e.value), bytes, data)) return false;
    p = data.data();
  }
  out.resize(e.count);
  for (uint32_t i = 0; i < e.count; ++i) {
    switch (ts) {
      case 1:
        out[i] = p[i];
        break;
      case 2:
        out[i] = bo.U16(p + 2 * i);
        break;
      default:
        out[i] = bo.U32(p + 4 * i);
        break;
    }
  }
  return true;
}

}  // namespace vx::tiff
