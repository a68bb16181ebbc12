// TIFF LZW coder.
//
// Codes are 9 to 12 bits, 256 clears the table, 257 ends the strip, new entries start
// at 258. Standard TIFF LZW packs codes most significant bit first and widens them one
// entry early (when the next free entry reaches 2^bits - 1). Some old writers packed
// them least significant bit first and widened them only at 2^bits; such a strip starts
// with the bytes 0x00 and 0x01-ish (a clear code read the other way round), which is
// how it is told apart.
//
// The decoder writes into one contiguous output buffer. Every entry is "the output of
// the code before plus the first byte of the output after it", which is exactly the
// span of output starting where that earlier code was written: the table holds only
// (start, length) pairs and a string is a copy from earlier output, eight bytes at a
// time where there is room. Codes come from a 64-bit buffer refilled eight bytes at a
// time while the strip has them.
//
// Whole strips decode straight into the caller's rows (TIFFLZWDecodeStrip). The
// row-at-a-time hook keeps the strip's output so far in its state and hands out one
// row after another from it; a string that runs past a row simply waits there.
#include "codecs/lzw/tifflzw.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/lzw/lzwbytes.h"
#include "platform/stream.h"

namespace vx {

namespace {

constexpr uint32_t kClear = 256;
constexpr uint32_t kEOI = 257;
constexpr uint32_t kFirst = 258;
constexpr int kMinBits = 9;
constexpr int kMaxBits = 12;
constexpr uint32_t kTableSize = 1u << kMaxBits;
// The longest string: each entry is one byte longer than the entry it extends.
constexpr size_t kLongestString = kTableSize - kFirst + 1;

inline uint64_t Load64BE(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  v = __builtin_bswap64(v);
#endif
  return v;
}

using lzw::Copy8;
using lzw::Load64LE;

enum class TStatus { kRunning, kEnded, kCorrupt };

// Everything a decoder carries from one call to the next. Output positions are offsets
// into the caller's buffer, so that the row hook may grow (move) its buffer.
struct TDecoder {
  const uint8_t* in = nullptr;
  size_t size = 0;
  size_t ip = 0;
  // Standard order: the unread bits at the top of buf; old order: at the bottom. The
  // bits below (above) the nb valid ones are the next bytes' own bits or zero, so
  // refilling may OR whole bytes over them.
  uint64_t buf = 0;
  int nb = 0;
  bool compat = false;
  int bits = kMinBits;
  uint32_t next = kFirst;
  bool havePrev = false;
  size_t prevStart = 0;
  uint32_t prevLen = 0;
  TStatus status = TStatus::kRunning;
  // Entry c: where its string starts in the output (upper 48 bits) and its length
  // (lower 16), in one word so that one load gives both.
  uint64_t entries[kTableSize];

  void Start(const uint8_t* input, size_t inputSize) {
    in = input;
    size = inputSize;
    compat = inputSize >= 2 && input[0] == 0 && (input[1] & 1) != 0;
  }
};

// The bit reader of one code order, on local copies of the decoder's fields so that the
// output stores (which may alias anything) do not force them back to memory.
template <bool kCompat>
struct TBits {
  const uint8_t* in;
  size_t size, ip;
  uint64_t buf;
  int nb;

  explicit TBits(const TDecoder& d) : in(d.in), size(d.size), ip(d.ip), buf(d.buf), nb(d.nb) {}
  void Store(TDecoder& d) const {
    d.ip = ip;
    d.buf = buf;
    d.nb = nb;
  }
  // False when the strip has fewer bits left than a code needs.
  bool Next(int bits, uint32_t& code) {
    if (nb < bits) {
      if (ip + 8 <= size) {
        if constexpr (kCompat)
          buf |= Load64LE(in + ip) << nb;
        else
          buf |= Load64BE(in + ip) >> nb;
        ip += static_cast<size_t>((63 - nb) >> 3);
        nb |= 56;
      } else {
        for (; nb <= 56 && ip < size; nb += 8, ++ip) {
          if constexpr (kCompat)
            buf |= static_cast<uint64_t>(in[ip]) << nb;
          else
            buf |= static_cast<uint64_t>(in[ip]) << (56 - nb);
        }
        if (nb < bits) return false;
      }
    }
    if constexpr (kCompat) {
      code = static_cast<uint32_t>(buf) & ((1u << bits) - 1);
      buf >>= bits;
    } else {
      code = static_cast<uint32_t>(buf >> (64 - bits));
      buf <<= bits;
    }
    nb -= bits;
    return true;
  }
};

// Decodes codes into base[pos...] while pos < limit; no byte is written at or past
// capacity (a string that does not fit is cut there and ends the decoding). Returns the
// new output position, which may lie past limit by the rest of the last string.
template <bool kCompat>
size_t DecodeCodes(TDecoder& d, uint8_t* base, size_t pos, size_t limit, size_t capacity) {
  TBits<kCompat> in(d);
  int bits = d.bits;
  uint32_t next = d.next;
  bool havePrev = d.havePrev;
  size_t prevStart = d.prevStart;
  uint32_t prevLen = d.prevLen;
  // Early change: the standard order widens one entry sooner.
  constexpr uint32_t kWidenAt = kCompat ? 0 : 1;
  TStatus status = TStatus::kRunning;
  while (pos < limit) {
    uint32_t code;
    if (!in.Next(bits, code)) {
      status = TStatus::kEnded;
      break;
    }
    uint8_t* const o = base + pos;
    const size_t room = capacity - pos;
    uint32_t len;
    if (code < 256) {
      *o = static_cast<uint8_t>(code);
      len = 1;
    } else if (code >= kFirst && code < next) {
      // The string lies wholly before o, so chunks of eight copy it exactly; what they
      // write past its end is overwritten by the strings that follow.
      const uint64_t e = d.entries[code];
      len = static_cast<uint32_t>(e & 0xFFFF);
      const uint8_t* s = base + (e >> 16);
      if (len <= 8 && room >= 8) {
        Copy8(o, s);
      } else if (((len + 7u) & ~7u) <= room) {
        for (uint32_t k = 0; k < len; k += 8) Copy8(o + k, s + k);
      } else if (len <= room) {
        std::memcpy(o, s, len);
      } else {
        std::memcpy(o, s, room);
        pos = capacity;
        status = TStatus::kEnded;
        break;
      }
    } else if (code == next && havePrev) {
      // The entry being defined: the previous string plus its own first byte. It
      // starts where the previous string did and runs one byte past it, so a forward
      // copy (in chunks only when they cannot overtake the bytes they read) makes it.
      len = prevLen + 1;
      const uint8_t* s = base + prevStart;
      const size_t n = std::min<size_t>(len, room);
      if (prevLen >= 8 && ((n + 7) & ~size_t{7}) <= room) {
        for (size_t k = 0; k < n; k += 8) Copy8(o + k, s + k);
      } else {
        for (size_t k = 0; k < n; ++k) o[k] = s[k];
      }
      if (n < len) {
        pos = capacity;
        status = TStatus::kEnded;
        break;
      }
    } else if (code == kClear) {
      bits = kMinBits;
      next = kFirst;
      havePrev = false;
      continue;
    } else {
      // The end code ends the strip; any other code (beyond the next free entry, or
      // not a literal right after a clear) is corrupt.
      status = code == kEOI ? TStatus::kEnded : TStatus::kCorrupt;
      break;
    }
    // A full table is kept as it is until the next clear code.
    if (havePrev && next < kTableSize) {
      d.entries[next] = (static_cast<uint64_t>(prevStart) << 16) | (prevLen + 1);
      ++next;
      if (next + kWidenAt >= (1u << bits) && bits < kMaxBits) ++bits;
    }
    havePrev = true;
    prevStart = pos;
    prevLen = len;
    pos += len;
  }
  in.Store(d);
  d.bits = bits;
  d.next = next;
  d.havePrev = havePrev;
  d.prevStart = prevStart;
  d.prevLen = prevLen;
  d.status = status;
  return pos;
}

size_t Decode(TDecoder& d, uint8_t* base, size_t pos, size_t limit, size_t capacity) {
  if (d.status != TStatus::kRunning) return pos;
  return d.compat ? DecodeCodes<true>(d, base, pos, limit, capacity)
                  : DecodeCodes<false>(d, base, pos, limit, capacity);
}

// The row hook's state: the decoder and the strip's output so far.
struct TRowState {
  TDecoder dec;
  bool started = false;
  bool done = false;
  std::vector<uint8_t> out;
  size_t pos = 0;       // bytes decoded
  size_t rowStart = 0;  // where the next row to hand out starts
};

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

const uint8_t* TIFFLZWDecompress(const uint8_t* input, int64_t inputSize, int wanted,
                                 void*& state) {
  auto* s = static_cast<TRowState*>(state);
  if (input == nullptr || wanted <= 0) {
    // The closing call (or a request for nothing): free the state.
    if (input == nullptr && wanted == 0) {
      delete s;
      state = nullptr;
    }
    return nullptr;
  }
  if (s == nullptr) {
    s = new TRowState;
    state = s;
  }
  const size_t size = inputSize > 0 ? static_cast<size_t>(inputSize) : 0;
  if (!s->started) {
    s->started = true;
    s->dec.Start(input, size);
  }
  // The same strip at every call, though perhaps at another address.
  s->dec.in = input;
  s->dec.size = size;
  s->dec.ip = std::min(s->dec.ip, size);
  if (s->done) return nullptr;
  const size_t rowEnd = s->rowStart + static_cast<size_t>(wanted);
  // Room for the longest string past the row, and for eight-byte copies.
  const size_t need = rowEnd + kLongestString + 8;
  if (s->out.size() < need) s->out.resize(std::max(need, s->out.size() * 2));
  if (s->pos < rowEnd) s->pos = Decode(s->dec, s->out.data(), s->pos, rowEnd, s->out.size());
  uint8_t* row = s->out.data() + s->rowStart;
  if (s->pos < rowEnd) {
    // A strip that ends inside a row still yields that row, zero-filled, as long as
    // some of it was decoded; a row with nothing in it, or corrupt codes, fails.
    s->done = true;
    if (s->dec.status != TStatus::kEnded || s->pos == s->rowStart) return nullptr;
    std::memset(s->out.data() + s->pos, 0, rowEnd - s->pos);
  }
  s->rowStart = rowEnd;
  return row;
}

size_t TIFFLZWDecodeStrip(const uint8_t* input, int64_t inputSize, uint8_t* out, size_t total,
                          bool& corrupt) {
  corrupt = false;
  if (input == nullptr || inputSize <= 0 || total == 0) return 0;
  auto d = std::make_unique<TDecoder>();
  d->Start(input, static_cast<size_t>(inputSize));
  const size_t got = Decode(*d, out, 0, total, total);
  corrupt = d->status == TStatus::kCorrupt;
  return got;
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
