// TIFF LZW coder.
//
// Codes are 9 to 12 bits, 256 clears the table, 257 ends the strip, new entries start
// at 258. Standard TIFF LZW packs codes most significant bit first and widens them one
// entry early (when the next free entry reaches 2^bits - 1). Some old writers packed
// them least significant bit first and widened them only at 2^bits; such a strip starts
// with the bytes 0x00 and 0x01-ish (a clear code read the other way round), which is
// how it is told apart.
//
// The decoder is asked for one row at a time and keeps everything in its state: read
// position, table, and the tail of a string that did not fit in the previous row.
#include "codecs/lzw/tifflzw.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/stream.h"

namespace vx {

namespace {

constexpr uint32_t kClear = 256;
constexpr uint32_t kEOI = 257;
constexpr uint32_t kFirst = 258;
constexpr int kMinBits = 9;
constexpr int kMaxBits = 12;
constexpr uint32_t kTableSize = 1u << kMaxBits;

struct TDecoderState {
  bool started = false;
  bool compat = false;  // old LSB-first, late-widening codes
  bool finished = false;
  int64_t inPos = 0;
  uint64_t bitBuf = 0;
  int bitCount = 0;
  int bits = kMinBits;
  uint32_t next = kFirst;
  int32_t prev = -1;  // previous code since the last clear, -1 when none

  // The table: each entry is its prefix code plus one byte.
  uint16_t prefix[kTableSize];
  uint8_t suffix[kTableSize];
  uint8_t firstByte[kTableSize];
  uint16_t length[kTableSize];

  // A decoded string that ran past the end of the previous row.
  uint8_t pending[kTableSize + 1];
  uint32_t pendingPos = 0;
  uint32_t pendingLen = 0;

  std::vector<uint8_t> row;

  TDecoderState() {
    for (uint32_t c = 0; c < 256; ++c) {
      prefix[c] = 0;
      suffix[c] = static_cast<uint8_t>(c);
      firstByte[c] = static_cast<uint8_t>(c);
      length[c] = 1;
    }
  }
};

// Reads the next code; false when the strip has fewer bits left than a code needs.
bool NextCode(TDecoderState& s, const uint8_t* in, int64_t size, uint32_t& code) {
  if (s.compat) {
    while (s.bitCount < s.bits && s.inPos < size) {
      s.bitBuf |= static_cast<uint64_t>(in[s.inPos++]) << s.bitCount;
      s.bitCount += 8;
    }
    if (s.bitCount < s.bits) return false;
    code = static_cast<uint32_t>(s.bitBuf) & ((1u << s.bits) - 1);
    s.bitBuf >>= s.bits;
  } else {
    // Bits are kept at the top of the 64-bit buffer.
    while (s.bitCount <= 56 && s.inPos < size) {
      s.bitBuf |= static_cast<uint64_t>(in[s.inPos++]) << (56 - s.bitCount);
      s.bitCount += 8;
    }
    if (s.bitCount < s.bits) return false;
    code = static_cast<uint32_t>(s.bitBuf >> (64 - s.bits));
    s.bitBuf <<= s.bits;
  }
  s.bitCount -= s.bits;
  return true;
}

// Writes the string of code (length len) into d, last byte first.
inline void WriteString(const TDecoderState& s, uint32_t code, uint32_t len, uint8_t* d) {
  uint8_t* p = d + len;
  while (code >= kFirst) {
    *--p = s.suffix[code];
    code = s.prefix[code];
  }
  *--p = static_cast<uint8_t>(code);
}

enum class TFill { fOk, fEnd, fCorrupt };

// Fills row[filled, wanted) from the strip; updates filled.
TFill FillRow(TDecoderState& s, const uint8_t* in, int64_t size, uint8_t* row, size_t wanted,
              size_t& filled) {
  if (s.pendingLen > s.pendingPos) {
    const size_t n = std::min<size_t>(s.pendingLen - s.pendingPos, wanted - filled);
    std::memcpy(row + filled, s.pending + s.pendingPos, n);
    s.pendingPos += static_cast<uint32_t>(n);
    filled += n;
  }
  const int widenAt = s.compat ? 0 : 1;  // early change: widen one entry sooner
  while (filled < wanted) {
    if (s.finished) return TFill::fEnd;
    uint32_t code;
    if (!NextCode(s, in, size, code)) {
      s.finished = true;
      return TFill::fEnd;
    }
    if (code == kClear) {
      s.next = kFirst;
      s.bits = kMinBits;
      s.prev = -1;
      continue;
    }
    if (code == kEOI) {
      s.finished = true;
      return TFill::fEnd;
    }
    uint32_t len;
    uint8_t firstOfCode;
    if (s.prev < 0) {
      // First code after a clear (or at the start, where a missing clear is forgiven).
      if (code >= 256) {
        s.finished = true;
        return TFill::fCorrupt;
      }
      row[filled++] = static_cast<uint8_t>(code);
      s.prev = static_cast<int32_t>(code);
      continue;
    }
    const uint32_t prev = static_cast<uint32_t>(s.prev);
    const bool known = code < 256 || (code >= kFirst && code < s.next);
    if (known) {
      len = s.length[code];
      firstOfCode = s.firstByte[code];
    } else if (code == s.next && s.next < kTableSize) {
      len = s.length[prev] + 1u;
      firstOfCode = s.firstByte[prev];
    } else {
      s.finished = true;
      return TFill::fCorrupt;
    }
    // A full table is kept as it is until the next clear code.
    if (s.next < kTableSize) {
      s.prefix[s.next] = static_cast<uint16_t>(prev);
      s.suffix[s.next] = firstOfCode;
      s.firstByte[s.next] = s.firstByte[prev];
      s.length[s.next] = static_cast<uint16_t>(s.length[prev] + 1u);
      ++s.next;
      if (s.next + static_cast<uint32_t>(widenAt) >= (1u << s.bits) && s.bits < kMaxBits) ++s.bits;
    }
    s.prev = static_cast<int32_t>(code);

    const size_t room = wanted - filled;
    if (len == 1) {
      row[filled++] = static_cast<uint8_t>(code);
    } else if (len <= room) {
      WriteString(s, code, len, row + filled);
      filled += len;
    } else {
      WriteString(s, code, len, s.pending);
      std::memcpy(row + filled, s.pending, room);
      filled += room;
      s.pendingPos = static_cast<uint32_t>(room);
      s.pendingLen = len;
    }
  }
  return TFill::fOk;
}

struct TEncoderState {
  std::vector<uint32_t> slots;
  uint32_t next = kFirst;
  int bits = kMinBits;
  bool haveEnt = false;
  uint32_t ent = 0;
  // What a decoder holds after the codes written so far (widths follow it).
  uint32_t decNext = kFirst;
  bool decHasPrev = false;
  uint64_t acc = 0;
  int nacc = 0;
  bool failed = false;
  std::vector<uint8_t> out;

  static constexpr int kSlotBits = 13;
  static constexpr uint32_t kSlots = 1u << kSlotBits;
  static constexpr uint32_t kEmpty = 0xFFFFFFFFu;

  TEncoderState() : slots(kSlots, kEmpty) {}

  void Put(uint32_t code) {
    acc = (acc << bits) | code;
    nacc += bits;
    while (nacc >= 8) {
      nacc -= 8;
      out.push_back(static_cast<uint8_t>(acc >> nacc));
    }
    if (code == kClear) {
      bits = kMinBits;
      decNext = kFirst;
      decHasPrev = false;
      return;
    }
    if (code == kEOI) return;
    if (decHasPrev && decNext < kTableSize) ++decNext;
    decHasPrev = true;
    if (decNext + 1 >= (1u << bits) && bits < kMaxBits) ++bits;
  }
  void FlushBits() {
    if (nacc > 0) out.push_back(static_cast<uint8_t>(acc << (8 - nacc)));
    nacc = 0;
    acc = 0;
  }
  void ClearTable() {
    std::fill(slots.begin(), slots.end(), kEmpty);
    next = kFirst;
  }
  bool WriteOut(TStream& output) {
    if (out.empty()) return true;
    const int64_t n = static_cast<int64_t>(out.size());
    const bool ok = output.Write(out.data(), n) == n;
    out.clear();
    return ok;
  }
  void Encode(const uint8_t* row, size_t count) {
    // Restart the table as libtiff does, two entries short of full, so that no
    // decoder ever has to widen codes past 12 bits.
    constexpr uint32_t kClearAt = kTableSize - 2;
    size_t i = 0;
    if (!haveEnt && count > 0) {
      Put(kClear);
      ent = row[i++];
      haveEnt = true;
    }
    for (; i < count; ++i) {
      const uint32_t c = row[i];
      const uint32_t key = (ent << 8) | c;
      uint32_t h = (key * 2654435761u) >> (32 - kSlotBits);
      bool hit = false;
      for (;;) {
        const uint32_t v = slots[h];
        if (v == kEmpty) break;
        if ((v >> 12) == key) {
          ent = v & 0xFFF;
          hit = true;
          break;
        }
        h = (h + 1) & (kSlots - 1);
      }
      if (hit) continue;
      Put(ent);
      slots[h] = (key << 12) | next;
      ++next;
      if (next >= kClearAt) {
        Put(kClear);
        ClearTable();
      }
      ent = c;
    }
  }
};

}  // namespace

const uint8_t* TIFFLZWDecompress(const uint8_t* input, int64_t inputSize, int wanted, void*& state) {
  auto* s = static_cast<TDecoderState*>(state);
  if (input == nullptr || wanted <= 0) {
    // The closing call (or a request for nothing): free the state.
    if (input == nullptr && wanted == 0) {
      delete s;
      state = nullptr;
    }
    return nullptr;
  }
  if (s == nullptr) {
    s = new TDecoderState;
    state = s;
  }
  if (inputSize < 0) inputSize = 0;
  if (!s->started) {
    s->started = true;
    s->compat = inputSize >= 2 && input[0] == 0 && (input[1] & 1) != 0;
  }
  s->row.resize(static_cast<size_t>(wanted));
  size_t filled = 0;
  const TFill r = FillRow(*s, input, inputSize, s->row.data(), s->row.size(), filled);
  if (r == TFill::fOk) return s->row.data();
  // A strip that ends inside a row still yields that row, zero-filled, as long as
  // some of it was decoded; a row with nothing in it, or corrupt codes, fails.
  if (r == TFill::fEnd && filled > 0) {
    std::memset(s->row.data() + filled, 0, s->row.size() - filled);
    return s->row.data();
  }
  return nullptr;
}

bool TIFFLZWCompress(const uint8_t* row, int count, TStream& output, void*& state) {
  auto* s = static_cast<TEncoderState*>(state);
  if (row == nullptr) {
    // End of the strip: the pending string, the end code, the last partial byte.
    std::unique_ptr<TEncoderState> owned(s);
    state = nullptr;
    if (!owned) owned = std::make_unique<TEncoderState>();
    if (owned->failed) return false;
    if (!owned->haveEnt) {
      owned->Put(kClear);
    } else {
      owned->Put(owned->ent);
    }
    owned->Put(kEOI);
    owned->FlushBits();
    return owned->WriteOut(output);
  }
  if (s == nullptr) {
    s = new TEncoderState;
    state = s;
  }
  if (s->failed) return false;
  if (count > 0) s->Encode(row, static_cast<size_t>(count));
  if (!s->WriteOut(output)) s->failed = true;
  return !s->failed;
}

}  // namespace vx
