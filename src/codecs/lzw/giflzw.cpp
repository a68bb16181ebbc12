// GIF LZW coder.
//
// The decoder first gathers the image's data sub-blocks into one contiguous buffer (that
// also moves the stream to just past the terminator, whatever happens while decoding),
// then decodes it in one pass. Every code's string already sits in the output: a new
// entry is "the previous code's output plus the first byte of what follows it", and
// that is exactly the span of output starting where the previous code was written. So
// the table holds only (start, length) pairs and emitting a string is a copy from
// earlier output, done eight bytes at a time where there is room.
#include "codecs/lzw/giflzw.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/lzw/lzwbytes.h"
#include "platform/stream.h"

namespace vx {

namespace {

constexpr int kMaxBits = 12;
constexpr int kTableSize = 1 << kMaxBits;  // 4096 codes
static_assert(kGIFLZWMaxCodeSize == kMaxBits - 1, "the widest code size leaves room in 12 bits");

// Interlaced row order: pass start rows and steps.
constexpr int kPassStart[4] = {0, 4, 2, 1};
constexpr int kPassStep[4] = {8, 8, 4, 2};

using lzw::Copy8;
using lzw::Load64LE;

// Reads the data sub-blocks up to and including the zero-length terminator (or the end
// of the stream) and appends their bytes to data.
void ReadSubBlocks(TStream& stream, std::vector<uint8_t>& data) {
  for (;;) {
    uint8_t len = 0;
    if (stream.Read(&len, 1) != 1 || len == 0) return;
    const size_t old = data.size();
    data.resize(old + len);
    const int64_t got = stream.Read(data.data() + old, len);
    if (got < len) {
      data.resize(old + static_cast<size_t>(std::max<int64_t>(got, 0)));
      return;
    }
  }
}

// What DecodeCodes made of a code stream.
struct TDecoded {
  size_t pixels = 0;     // produced; the bytes after them in out are unspecified
  bool refused = false;  // a literal code beyond 255, which no byte index can hold
};

// Decodes the LZW code stream `in` (inSize bytes, followed by at least 16 readable
// padding bytes) into out[0, total), for minimum code sizes 0..11.
TDecoded DecodeCodes(const uint8_t* in, size_t inSize, int minCodeSize, uint8_t* out,
                     size_t total) {
  TDecoded result;
  if (total == 0) return result;
  const uint32_t clear = 1u << minCodeSize;
  const uint32_t eoi = clear + 1;
  const uint32_t first = clear + 2;

  // Where each code's string starts and how long it is. Literals point into a table of
  // the byte values (padded so that eight bytes can always be read from it); the clear
  // and end codes have length 0, which sends them down the slow path.
  alignas(8) uint8_t literals[256 + 8];
  const uint8_t* srcs[kTableSize];
  uint16_t lens[kTableSize];
  // Above code size 8 the literals past 255 get length 0 too: a stream that uses one
  // describes pixel values the image cannot hold, and is refused on the slow path.
  for (uint32_t c = 0; c < 256 + 8; ++c) literals[c] = static_cast<uint8_t>(c);
  for (uint32_t c = 0; c < clear; ++c) {
    srcs[c] = literals + std::min<uint32_t>(c, 255);
    lens[c] = c < 256 ? 1 : 0;
  }
  srcs[clear] = srcs[eoi] = literals;
  lens[clear] = lens[eoi] = 0;

  uint32_t next = first;
  int bits = minCodeSize + 1;
  uint32_t mask = (1u << bits) - 1;
  bool havePrev = false;
  const uint8_t* prevStart = out;
  uint32_t prevLen = 0;

  uint64_t buf = 0;
  int nb = 0;
  size_t ip = 0;
  const uint64_t totalBits = static_cast<uint64_t>(inSize) * 8;
  uint8_t* d = out;
  uint8_t* const end = out + total;

  for (;;) {
    if (nb < bits) {
      buf |= Load64LE(in + ip) << nb;
      ip += static_cast<size_t>((63 - nb) >> 3);
      nb |= 56;
    }
    const uint32_t code = static_cast<uint32_t>(buf) & mask;
    buf >>= bits;
    nb -= bits;
    // Past the real data the buffer holds padding zeros: a code that needed any of
    // them was never written, so the data ended before the end code.
    if (ip > inSize && static_cast<uint64_t>(ip) * 8 - static_cast<uint64_t>(nb) > totalBits) break;

    const size_t room = static_cast<size_t>(end - d);
    uint32_t len;
    if (code < next && lens[code] != 0) {
      len = lens[code];
      const uint8_t* s = srcs[code];
      // The source lies wholly before d (an entry's string ends no later than the
      // output of the code that defined it), or in the literal table, so copying in
      // chunks of eight is exact; the bytes written past the string are overwritten
      // by what follows.
      if (len <= 8 && room >= 8) {
        Copy8(d, s);
      } else if (((len + 7u) & ~7u) <= room) {
        for (uint32_t k = 0; k < len; k += 8) Copy8(d + k, s + k);
      } else if (len <= room) {
        std::memcpy(d, s, len);
      } else {
        std::memcpy(d, s, room);
        d = end;
        break;
      }
    } else if (code == clear) {
      next = first;
      bits = minCodeSize + 1;
      mask = (1u << bits) - 1;
      havePrev = false;
      continue;
    } else if (code == next && havePrev) {
      // The string not yet in the table: previous string plus its own first byte.
      // It starts right where the previous one ended, so a forward copy from the
      // previous string's start reproduces that first byte at the end.
      len = prevLen + 1;
      const uint8_t* s = prevStart;
      const size_t n = std::min<size_t>(len, room);
      if (prevLen >= 8 && ((n + 7) & ~size_t{7}) <= room) {
        for (size_t k = 0; k < n; k += 8) Copy8(d + k, s + k);
      } else {
        for (size_t k = 0; k < n; ++k) d[k] = s[k];
      }
      if (n < len) {
        d = end;
        break;
      }
    } else {
      // A literal beyond 255 is refused; the end code, or a code beyond the next free
      // entry (corrupt data), ends the pixels.
      result.refused = code < clear;
      break;
    }

    if (havePrev && next < kTableSize) {
      srcs[next] = prevStart;
      lens[next] = static_cast<uint16_t>(prevLen + 1);
      ++next;
    }
    // A full table keeps 12-bit codes and adds nothing until the next clear code.
    if (next > mask && bits < kMaxBits) {
      ++bits;
      mask = (1u << bits) - 1;
    }
    havePrev = true;
    prevStart = d;
    prevLen = len;
    if (len >= room) {
      d = end;
      break;
    }
    d += len;
  }
  result.pixels = static_cast<size_t>(d - out);
  return result;
}

// Packs variable-width codes LSB first into bytes.
class TCodeWriter {
 public:
  explicit TCodeWriter(std::vector<uint8_t>& out) : out_(out) {}
  void Put(uint32_t code, int bits) {
    acc_ |= static_cast<uint64_t>(code) << nacc_;
    nacc_ += bits;
    while (nacc_ >= 8) {
      out_.push_back(static_cast<uint8_t>(acc_));
      acc_ >>= 8;
      nacc_ -= 8;
    }
  }
  void Flush() {
    if (nacc_ > 0) out_.push_back(static_cast<uint8_t>(acc_));
    acc_ = 0;
    nacc_ = 0;
  }

 private:
  std::vector<uint8_t>& out_;
  uint64_t acc_ = 0;
  int nacc_ = 0;
};

// Open-addressing dictionary from (prefix code, byte) to code.
class TEncodeTable {
 public:
  TEncodeTable() : slots_(kSlots) { Clear(); }
  void Clear() { std::fill(slots_.begin(), slots_.end(), kEmpty); }
  // Returns the code for (prefix, c) or -1; on a miss, slot receives the free slot.
  int Find(uint32_t prefix, uint32_t c, uint32_t& slot) const {
    const uint32_t key = (prefix << 8) | c;
    uint32_t h = ((key * 2654435761u) >> (32 - kSlotBits));
    for (;;) {
      const uint32_t v = slots_[h];
      if (v == kEmpty) {
        slot = h;
        return -1;
      }
      if ((v >> 12) == key) return static_cast<int>(v & 0xFFF);
      h = (h + 1) & (kSlots - 1);
    }
  }
  void Insert(uint32_t slot, uint32_t prefix, uint32_t c, uint32_t code) {
    slots_[slot] = (((prefix << 8) | c) << 12) | code;
  }

 private:
  static constexpr int kSlotBits = 13;
  static constexpr uint32_t kSlots = 1u << kSlotBits;
  static constexpr uint32_t kEmpty = 0xFFFFFFFFu;
  std::vector<uint32_t> slots_;
};

}  // namespace

TGIFLZWResult GIFLZWDecode(TStream& stream, int height, int width, bool interlaced, uint8_t* dest) {
  const size_t w = width > 0 ? static_cast<size_t>(width) : 0;
  const size_t h = height > 0 ? static_cast<size_t>(height) : 0;
  const size_t total = w * h;

  uint8_t minCodeSize = 0;
  const bool haveSize = stream.Read(&minCodeSize, 1) == 1;
  std::vector<uint8_t> data;
  if (haveSize) ReadSubBlocks(stream, data);
  if (dest == nullptr || total == 0) return TGIFLZWResult::Decoded;

  // Code sizes up to 11 leave room for the clear and end codes and the table within
  // 12-bit codes; from 12 on there is none, and no such stream can be decoded.
  if (!haveSize || minCodeSize > kGIFLZWMaxCodeSize) {
    std::memset(dest, 0, total);
    return haveSize ? TGIFLZWResult::Refused : TGIFLZWResult::Decoded;
  }
  const size_t inSize = data.size();
  data.resize(inSize + 16, 0);  // the bit reader loads 8 bytes at a time

  // Decoding is into file row order; interlaced rows are then moved to their display
  // places in place, following the cycles of the row permutation with one spare row.
  const TDecoded got = DecodeCodes(data.data(), inSize, minCodeSize, dest, total);
  if (got.refused) {
    std::memset(dest, 0, total);
    return TGIFLZWResult::Refused;
  }
  std::memset(dest + got.pixels, 0, total - got.pixels);
  if (!interlaced || h < 3) return TGIFLZWResult::Decoded;  // rows already in display order
  std::vector<uint32_t> source(h);  // display row y holds file row source[y]
  uint32_t fileRow = 0;
  for (int pass = 0; pass < 4; ++pass)
    for (size_t y = static_cast<size_t>(kPassStart[pass]); y < h;
         y += static_cast<size_t>(kPassStep[pass]))
      source[y] = fileRow++;
  std::vector<uint8_t> spare(w);
  std::vector<bool> done(h, false);
  for (size_t start = 0; start < h; ++start) {
    if (done[start] || source[start] == start) continue;
    std::memcpy(spare.data(), dest + start * w, w);
    size_t y = start;
    while (source[y] != start) {
      std::memcpy(dest + y * w, dest + static_cast<size_t>(source[y]) * w, w);
      done[y] = true;
      y = source[y];
    }
    std::memcpy(dest + y * w, spare.data(), w);
    done[y] = true;
  }
  return TGIFLZWResult::Decoded;
}

void GIFLZWDecompress(TStream& stream, int height, int width, bool interlaced, uint8_t* dest) {
  GIFLZWDecode(stream, height, width, interlaced, dest);
}

void GIFLZWCompress(TStream& stream, int height, int width, bool interlaced, const uint8_t* source,
                    int bitsPerPixel) {
  const size_t w = width > 0 ? static_cast<size_t>(width) : 0;
  const size_t h = height > 0 ? static_cast<size_t>(height) : 0;
  const size_t total = source != nullptr ? w * h : 0;

  // A bilevel image is coded with 2-bit literals: GIF has no 1-bit minimum code size.
  const int minCodeSize = std::clamp(bitsPerPixel, 2, 8);
  const uint32_t clear = 1u << minCodeSize;
  const uint32_t eoi = clear + 1;
  const uint32_t first = clear + 2;
  const uint32_t pixelMask = clear - 1;
  // Like giflib, restart the table before its last code so that no decoder meets 4095.
  constexpr uint32_t kClearAt = kTableSize - 1;

  std::vector<uint8_t> codes;
  codes.reserve(total / 2 + 16);
  TCodeWriter writer(codes);
  TEncodeTable table;

  int bits = minCodeSize + 1;
  uint32_t encNext = first;  // encoder's next free code
  // What a decoder will have after the codes written so far: its next free entry and
  // whether it holds a previous code. Code widths follow the decoder, not the encoder.
  uint32_t decNext = first;
  bool decHasPrev = false;
  auto emit = [&](uint32_t code) {
    writer.Put(code, bits);
    if (code == clear) {
      bits = minCodeSize + 1;
      decNext = first;
      decHasPrev = false;
      return;
    }
    if (decHasPrev && decNext < kTableSize) ++decNext;
    decHasPrev = true;
    if (decNext >= (1u << bits) && bits < kMaxBits) ++bits;
  };

  emit(clear);
  if (total > 0) {
    // Rows in file order.
    std::vector<size_t> order;
    order.reserve(h);
    if (interlaced) {
      for (int pass = 0; pass < 4; ++pass)
        for (size_t y = static_cast<size_t>(kPassStart[pass]); y < h;
             y += static_cast<size_t>(kPassStep[pass]))
          order.push_back(y);
    } else {
      for (size_t y = 0; y < h; ++y) order.push_back(y);
    }

    bool haveEnt = false;
    uint32_t ent = 0;
    for (size_t y : order) {
      const uint8_t* row = source + y * w;
      for (size_t x = 0; x < w; ++x) {
        const uint32_t c = row[x] & pixelMask;
        if (!haveEnt) {
          ent = c;
          haveEnt = true;
          continue;
        }
        uint32_t slot = 0;
        const int found = table.Find(ent, c, slot);
        if (found >= 0) {
          ent = static_cast<uint32_t>(found);
          continue;
        }
        emit(ent);
        if (encNext >= kClearAt) {
          emit(clear);
          table.Clear();
          encNext = first;
        } else {
          table.Insert(slot, ent, c, encNext++);
        }
        ent = c;
      }
    }
    emit(ent);
  }
  emit(eoi);
  writer.Flush();

  std::vector<uint8_t> out;
  out.reserve(codes.size() + codes.size() / 255 + 3);
  out.push_back(static_cast<uint8_t>(minCodeSize));
  for (size_t i = 0; i < codes.size(); i += 255) {
    const size_t n = std::min<size_t>(255, codes.size() - i);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), codes.begin() + static_cast<std::ptrdiff_t>(i),
               codes.begin() + static_cast<std::ptrdiff_t>(i + n));
  }
  out.push_back(0);
  stream.WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
}

}  // namespace vx
