// CCITT T.4 / T.6 row coding. Decoding works on the list of colour changes of a row: the
// reference row is turned into its changes (a few machine words a row for text pages), the
// codes are resolved through small two-level lookup tables over a 64-bit bit window, and the
// decoded changes are painted into the output row a byte run at a time.
#include "codecs/tifccitt.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <memory>

#include "core/vxutils.h"

namespace vx {
namespace {

// ---------------------------------------------------------------------------------------
// Code tables (T.4 tables 2, 3 and 4), as bit strings.

constexpr const char* kWhiteTerm[64] = {
    "00110101", "000111",   "0111",     "1000",     "1011",     "1100",     "1110",     "1111",
    "10011",    "10100",    "00111",    "01000",    "001000",   "000011",   "110100",   "110101",
    "101010",   "101011",   "0100111",  "0001100",  "0001000",  "0010111",  "0000011",  "0000100",
    "0101000",  "0101011",  "0010011",  "0100100",  "0011000",  "00000010", "00000011", "00011010",
    "00011011", "00010010", "00010011", "00010100", "00010101", "00010110", "00010111", "00101000",
    "00101001", "00101010", "00101011", "00101100", "00101101", "00000100", "00000101", "00001010",
    "00001011", "01010010", "01010011", "01010100", "01010101", "00100100", "00100101", "01011000",
    "01011001", "01011010", "01011011", "01001010", "01001011", "00110010", "00110011", "00110100"};

// Make-up codes for 64, 128, ... 1728.
constexpr const char* kWhiteMakeup[27] = {
    "11011",     "10010",     "010111",    "0110111",   "00110110",  "00110111",  "01100100",
    "01100101",  "01101000",  "01100111",  "011001100", "011001101", "011010010", "011010011",
    "011010100", "011010101", "011010110", "011010111", "011011000", "011011001", "011011010",
    "011011011", "010011000", "010011001", "010011010", "011000",    "010011011"};

constexpr const char* kBlackTerm[64] = {
    "0000110111",   "010",          "11",           "10",           "011",          "0011",
    "0010",         "00011",        "000101",       "000100",       "0000100",      "0000101",
    "0000111",      "00000100",     "00000111",     "000011000",    "0000010111",   "0000011000",
    "0000001000",   "00001100111",  "00001101000",  "00001101100",  "00000110111",  "00000101000",
    "00000010111",  "00000011000",  "000011001010", "000011001011", "000011001100", "000011001101",
    "000001101000", "000001101001", "000001101010", "000001101011", "000011010010", "000011010011",
    "000011010100", "000011010101", "000011010110", "000011010111", "000001101100", "000001101101",
    "000011011010", "000011011011", "000001010100", "000001010101", "000001010110", "000001010111",
    "000001100100", "000001100101", "000001010010", "000001010011", "000000100100", "000000110111",
    "000000111000", "000000100111", "000000101000", "000001011000", "000001011001", "000000101011",
    "000000101100", "000001011010", "000001100110", "000001100111"};

constexpr const char* kBlackMakeup[27] = {
    "0000001111",    "000011001000",  "000011001001",  "000001011011",  "000000110011",
    "000000110100",  "000000110101",  "0000001101100", "0000001101101", "0000001001010",
    "0000001001011", "0000001001100", "0000001001101", "0000001110010", "0000001110011",
    "0000001110100", "0000001110101", "0000001110110", "0000001110111", "0000001010010",
    "0000001010011", "0000001010100", "0000001010101", "0000001011010", "0000001011011",
    "0000001100100", "0000001100101"};

// Make-up codes for 1792, 1856, ... 2560, shared by both colours.
constexpr const char* kExtMakeup[13] = {
    "00000001000",  "00000001100",  "00000001101",  "000000010010", "000000010011",
    "000000010100", "000000010101", "000000010110", "000000010111", "000000011100",
    "000000011101", "000000011110", "000000011111"};

constexpr int kMaxMakeupRun = 2560;

// Two-dimensional modes. Vertical modes carry a1 - b1 + 3 (0..6).
enum Mode : uint16_t { mVL3, mVL2, mVL1, mV0, mVR1, mVR2, mVR3, mPass, mHoriz, mUncomp };

struct ModeCode {
  const char* bits;
  Mode mode;
};
constexpr ModeCode kModeCodes[] = {
    {"1", mV0},        {"011", mVR1},          {"010", mVL1},    {"001", mHoriz},
    {"0001", mPass},   {"000011", mVR2},       {"000010", mVL2}, {"0000011", mVR3},
    {"0000010", mVL3}, {"0000001111", mUncomp}};

constexpr uint32_t kEOLCode = 1;  // 000000000001
constexpr int kEOLLen = 12;

// ---------------------------------------------------------------------------------------
// Decoding tables. An entry packs kind (4 bits), code length (6 bits) and value (16 bits).
// A link entry points at a second-level table indexed by the bits after the first level,
// its length field giving how many. Entries whose prefix is a long run of zeros (EOL, fill
// and the one-dimensional extension) are resolved by counting zeros instead.

enum Kind : uint32_t { kInvalid = 0, kTerm, kMakeup, kModeKind, kZeros, kLink };

constexpr uint32_t Entry(Kind kind, int len, int value) {
  return (uint32_t(kind) << 28) | (uint32_t(len) << 16) | uint32_t(value);
}
inline Kind EntryKind(uint32_t e) {
  return Kind(e >> 28);
}
inline int EntryLen(uint32_t e) {
  return int((e >> 16) & 63);
}
inline int EntryValue(uint32_t e) {
  return int(e & 0xFFFF);
}

struct CodeDef {
  uint32_t bits;  // right-aligned
  int len;
  Kind kind;
  int value;
};

uint32_t ParseBits(const char* s, int& len) {
  uint32_t v = 0;
  len = 0;
  for (; *s; ++s, ++len) v = (v << 1) | uint32_t(*s == '1');
  return v;
}

class DecodeTable {
 public:
  DecodeTable(const std::vector<CodeDef>& codes, int primaryBits) : p_(primaryBits) {
    t_.assign(size_t(1) << p_, Entry(kInvalid, 0, 0));
    std::vector<int> longest(size_t(1) << p_, 0);
    for (const CodeDef& c : codes) {
      if (c.len <= p_) {
        const int free = p_ - c.len;
        for (uint32_t s = 0; s < (1u << free); ++s)
          t_[(c.bits << free) | s] = Entry(c.kind, c.len, c.value);
      } else {
        int& l = longest[c.bits >> (c.len - p_)];
        l = std::max(l, c.len);
      }
    }
    for (size_t prefix = 0; prefix < longest.size(); ++prefix) {
      if (longest[prefix] == 0) continue;
      const int extra = longest[prefix] - p_;
      const size_t base = t_.size();
      t_.resize(base + (size_t(1) << extra), Entry(kInvalid, 0, 0));
      t_[prefix] = Entry(kLink, extra, int(base));
      for (const CodeDef& c : codes) {
        if (c.len <= p_ || (c.bits >> (c.len - p_)) != prefix) continue;
        const int own = c.len - p_;
        const uint32_t low = c.bits & ((1u << own) - 1);
        const int free = extra - own;
        for (uint32_t s = 0; s < (1u << free); ++s)
          t_[base + ((low << free) | s)] = Entry(c.kind, c.len, c.value);
      }
    }
    // Prefixes of eight or more zeros (seven for a seven-bit table): EOL and friends.
    const uint32_t zeroPrefixes = p_ > 8 ? (1u << (p_ - 8)) : 1u;
    for (uint32_t i = 0; i < zeroPrefixes; ++i)
      if (EntryKind(t_[i]) == kInvalid) t_[i] = Entry(kZeros, 0, 0);
  }

  // Resolves the code at the top of win (at least 16 valid bits).
  uint32_t Lookup(uint64_t win) const {
    uint32_t e = t_[size_t(win >> (64 - p_))];
    if (EntryKind(e) == kLink)
      e = t_[size_t(EntryValue(e)) + size_t((win << p_) >> (64 - EntryLen(e)))];
    return e;
  }

 private:
  int p_;
  std::vector<uint32_t> t_;
};

std::vector<CodeDef> RunCodes(const char* const* term, const char* const* makeup) {
  std::vector<CodeDef> codes;
  int len = 0;
  for (int i = 0; i < 64; ++i) {
    const uint32_t b = ParseBits(term[i], len);
    codes.push_back({b, len, kTerm, i});
  }
  for (int i = 0; i < 27; ++i) {
    const uint32_t b = ParseBits(makeup[i], len);
    codes.push_back({b, len, kMakeup, (i + 1) * 64});
  }
  for (int i = 0; i < 13; ++i) {
    const uint32_t b = ParseBits(kExtMakeup[i], len);
    codes.push_back({b, len, kMakeup, 1792 + i * 64});
  }
  return codes;
}

const DecodeTable& WhiteTable() {
  static const DecodeTable t(RunCodes(kWhiteTerm, kWhiteMakeup), 9);
  return t;
}
const DecodeTable& BlackTable() {
  static const DecodeTable t(RunCodes(kBlackTerm, kBlackMakeup), 9);
  return t;
}
const DecodeTable& ModeTable() {
  static const DecodeTable t = [] {
    std::vector<CodeDef> codes;
    int len = 0;
    for (const ModeCode& m : kModeCodes) {
      const uint32_t b = ParseBits(m.bits, len);
      codes.push_back({b, len, kModeKind, int(m.mode)});
    }
    return DecodeTable(codes, 7);
  }();
  return t;
}

// ---------------------------------------------------------------------------------------
// Bit reader over a bounded buffer. win holds the next bits, most significant first; bits
// past the end of the data read as zero, and pos > endBits tells that a code used them.

class BitReader {
 public:
  BitReader(const uint8_t* in, int64_t size, int fillOrder, int64_t bitPos)
      : in_(in), size_(size), rev_(fillOrder == 2 ? ReverseBitsTable() : nullptr) {
    endBits = size * 8;
    Seek(bitPos);
  }

  void Seek(int64_t bitPos) {
    next_ = bitPos >> 3;
    win = 0;
    avail_ = 0;
    pos = bitPos & ~int64_t(7);
    Refill();
    Consume(int(bitPos & 7));
  }

  // Tops the window up to at least 57 bits.
  void Refill() {
    if (avail_ > 56) return;
    if (next_ + 8 <= size_) {
      uint64_t v;
      if (rev_) {
        v = 0;
        for (int i = 0; i < 8; ++i) v = (v << 8) | rev_[in_[next_ + i]];
      } else {
        std::memcpy(&v, in_ + next_, 8);
        if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
      }
      win |= v >> avail_;
      const int take = (63 - avail_) >> 3;
      next_ += take;
      avail_ += take * 8;
      return;
    }
    while (avail_ <= 56) {
      uint64_t b = 0;
      if (next_ < size_) b = rev_ ? rev_[in_[next_]] : in_[next_];
      ++next_;
      win |= b << (56 - avail_);
      avail_ += 8;
    }
  }

  void Consume(int n) {
    win <<= n;
    avail_ -= n;
    pos += n;
  }
  // Reads one bit (window refilled by the caller).
  int Bit() {
    const int b = int(win >> 63);
    Consume(1);
    return b;
  }
  bool Exhausted() const { return pos > endBits; }

  uint64_t win = 0;
  int64_t pos = 0;
  int64_t endBits = 0;

 private:
  const uint8_t* in_;
  int64_t size_;
  const uint8_t* rev_;
  int64_t next_ = 0;
  int avail_ = 0;
};

enum class ZeroCode { EOL, Uncompressed, Bad };

// Resolves a code that starts with a long run of zeros: EOL after eleven or more zeros (fill
// included), the one-dimensional extension 000000001111 (uncompressed mode), anything else
// is bad. Running off the end of the data is bad too.
ZeroCode ReadZeros(BitReader& br) {
  int64_t zeros = 0;
  for (;;) {
    br.Refill();
    const int lz = std::min(std::countl_zero(br.win), 32);
    br.Consume(lz);
    zeros += lz;
    if (br.Exhausted()) return ZeroCode::Bad;
    if (lz < 32) break;
  }
  if (zeros >= 11) {
    br.Consume(1);
    return br.Exhausted() ? ZeroCode::Bad : ZeroCode::EOL;
  }
  if (zeros == 8 && (br.win >> 60) == 0xF) {
    br.Consume(4);
    return br.Exhausted() ? ZeroCode::Bad : ZeroCode::Uncompressed;
  }
  return ZeroCode::Bad;
}

// ---------------------------------------------------------------------------------------
// A decoded row as its list of colour changes. The row starts white; change k is where the
// colour flips for the k-th time. The list keeps the runs of length 0 the codes produce (a
// horizontal mode with a run of 0, a vertical mode with a1 = a0): some encoders code the
// next row against that run structure, and libtiff decodes it the same way. Positions are
// cut at the row end; the list is bounded like libtiff's run buffer.

class RowBuilder {
 public:
  RowBuilder(int32_t* changes, int capacity, int width)
      : c_(changes), cap_(capacity), width_(width) {}

  // Continues the current colour by len pixels.
  void Extend(int64_t len) {
    if (len > 0) pos = int(std::min<int64_t>(width_, pos + len));
  }
  // Ends the current run after len more pixels; the colour flips.
  void EndRun(int64_t len) {
    Extend(len);
    if (n == cap_) {
      overflow = true;
      return;
    }
    c_[n++] = pos;
    white = !white;
  }
  // Pixels of a given colour (uncompressed mode), flipping first when needed.
  void Paint(bool w, int64_t len) {
    if (len <= 0 || pos >= width_) return;
    SetColour(w);
    Extend(len);
  }
  void SetColour(bool w) {
    if (w != white) EndRun(0);
  }
  void FillRest(bool w) { Paint(w, width_ - pos); }

  int pos = 0;
  int n = 0;
  bool white = true;
  bool overflow = false;

 private:
  int32_t* c_;
  int cap_;
  int width_;
};

// Room for the changes of one decoded row: two for each pixel, as libtiff allows.
size_t ChangeCapacity(int width) {
  return 2 * size_t(width) + 64;
}

// Sets the bits from..to-1 of a most-significant-first row.
inline void SetRun(uint8_t* out, int from, int to) {
  if (from >= to) return;
  int fb = from >> 3;
  const int lb = (to - 1) >> 3;
  const uint8_t head = uint8_t(0xFF >> (from & 7));
  const uint8_t tail = uint8_t(0xFF << (7 - ((to - 1) & 7)));
  if (fb == lb) {
    out[fb] |= uint8_t(head & tail);
    return;
  }
  out[fb] |= head;
  ++fb;
  if (lb - fb > 16) {
    std::memset(out + fb, 0xFF, size_t(lb - fb));
  } else {
    for (; fb < lb; ++fb) out[fb] = 0xFF;
  }
  out[lb] |= tail;
}

// Paints a row from its changes: cleared (black) first, then the white runs set. The bits
// of the last byte past width keep their values.
void Render(uint8_t* out, int width, const int32_t* changes, int n) {
  const int bytes = (width + 7) / 8;
  const uint8_t keep = uint8_t(0xFF >> (((width - 1) & 7) + 1));  // padding bits
  const uint8_t padding = uint8_t(out[bytes - 1] & keep);
  std::memset(out, 0, size_t(bytes));
  int p = 0;
  for (int i = 0; i < n; i += 2) {
    SetRun(out, p, changes[i]);
    p = i + 1 < n ? changes[i + 1] : width;
  }
  if (n % 2 == 0) SetRun(out, p, width);
  out[bytes - 1] = uint8_t((out[bytes - 1] & ~keep) | padding);
}

constexpr int kSentinels = 4;

// Colour changes of a row whose white pixels are the bits equal to whiteBit; followed by
// kSentinels copies of width. changes must hold width + kSentinels entries.
int RowChanges(const uint8_t* row, int width, int whiteBit, int32_t* changes) {
  int n = 0;
  uint64_t prev = uint64_t(whiteBit);
  const int bytes = (width + 7) / 8;
  for (int base = 0; base < width; base += 64) {
    const int first = base >> 3;
    const int count = std::min(8, bytes - first);
    uint64_t w = 0;
    for (int i = 0; i < count; ++i) w |= uint64_t(row[first + i]) << (56 - 8 * i);
    uint64_t t = w ^ ((w >> 1) | (prev << 63));
    const int valid = std::min(64, width - base);
    if (valid < 64) t &= ~(~uint64_t(0) >> valid);
    prev = w & 1;
    while (t) {
      const int lz = std::countl_zero(t);
      changes[n++] = base + lz;
      t ^= (uint64_t(1) << 63) >> lz;
    }
  }
  for (int i = 0; i < kSentinels; ++i) changes[n + i] = width;
  return n;
}

// Finds b1 on the reference changes: the first change right of a0 into the colour opposite
// to the current one (even entries turn black, odd ones white). j is a running index.
inline int FindB1(const int32_t* ref, int& j, int a0, bool white) {
  while (j > 0 && ref[j - 1] > a0) --j;
  while (ref[j] <= a0) ++j;
  if ((j & 1) != (white ? 0 : 1)) ++j;
  return ref[j];
}

// Uncompressed mode (T.4 annex / T.6): literal pixel patterns until an exit code, whose
// trailing bit gives the colour of the run that follows.
bool DecodeUncompressed(BitReader& br, RowBuilder& rb) {
  for (;;) {
    br.Refill();
    const int lz = std::min(std::countl_zero(br.win), 12);
    if (lz <= 4) {  // lz white pixels and one black
      br.Consume(lz + 1);
      rb.Paint(true, lz);
      rb.Paint(false, 1);
    } else if (lz == 5) {  // 000001: five white pixels
      br.Consume(6);
      rb.Paint(true, 5);
    } else if (lz <= 10) {  // exit: lz - 6 white pixels, then the colour bit
      br.Consume(lz + 1);
      rb.Paint(true, lz - 6);
      rb.SetColour(br.Bit() == 0);
      return !br.Exhausted() && !rb.overflow;
    } else {
      return false;
    }
    if (br.Exhausted() || rb.overflow) return false;
  }
}

// Decodes one run of the current colour (make-up codes ended by a terminating code) and
// ends it.
bool DecodeRun(BitReader& br, RowBuilder& rb) {
  const DecodeTable& table = rb.white ? WhiteTable() : BlackTable();
  for (;;) {
    br.Refill();
    const uint32_t e = table.Lookup(br.win);
    const Kind k = EntryKind(e);
    if (k != kTerm && k != kMakeup) return false;
    br.Consume(EntryLen(e));
    if (k == kTerm) {
      rb.EndRun(EntryValue(e));
      return !br.Exhausted() && !rb.overflow;
    }
    rb.Extend(EntryValue(e));
    if (br.Exhausted()) return false;
  }
}

enum class RowResult { Ok, Bad };

// One-dimensional row into rb (which may already hold pixels when called after a Group 3
// tag bit).
RowResult Decode1D(BitReader& br, RowBuilder& rb, int width) {
  const DecodeTable& wt = WhiteTable();
  const DecodeTable& bt = BlackTable();
  bool makeup = false;
  bool first = true;
  while (rb.pos < width || makeup) {
    br.Refill();
    const uint32_t e = (rb.white ? wt : bt).Lookup(br.win);
    switch (EntryKind(e)) {
      case kTerm:
        br.Consume(EntryLen(e));
        rb.EndRun(EntryValue(e));
        makeup = false;
        break;
      case kMakeup:
        br.Consume(EntryLen(e));
        rb.Extend(EntryValue(e));
        makeup = true;
        break;
      case kZeros: {
        const int64_t at = br.pos;
        const ZeroCode z = ReadZeros(br);
        if (z == ZeroCode::EOL) {
          if (first) break;  // the EOL in front of the row
          if (makeup) return RowResult::Bad;
          // Early end of the row: the rest is white (blank paper, as libtiff and fax
          // machines show a short row, whatever colour the last run had), and the EOL is
          // left for the next row.
          br.Seek(at);
          rb.FillRest(true);
          return RowResult::Ok;
        }
        if (z == ZeroCode::Uncompressed && !makeup) {
          if (!DecodeUncompressed(br, rb)) return RowResult::Bad;
          break;
        }
        return RowResult::Bad;
      }
      default:
        return RowResult::Bad;
    }
    if (br.Exhausted() || rb.overflow) return RowResult::Bad;
    first = false;
  }
  return RowResult::Ok;
}

// Two-dimensional row against the reference changes ref (with sentinels).
RowResult Decode2D(BitReader& br, RowBuilder& rb, int width, const int32_t* ref) {
  const DecodeTable& mt = ModeTable();
  int a0 = -1;  // the imaginary white pixel in front of the row until something is coded
  bool first = true;
  int j = 0;
  while (a0 < width) {
    br.Refill();
    const uint32_t e = mt.Lookup(br.win);
    const Kind k = EntryKind(e);
    if (k == kModeKind) {
      br.Consume(EntryLen(e));
      const int mode = EntryValue(e);
      if (mode <= mVR3) {
        const int a1 = std::min(width, FindB1(ref, j, a0, rb.white) + mode - mV0);
        if (a1 < rb.pos) return RowResult::Bad;
        rb.EndRun(a1 - rb.pos);
      } else if (mode == mPass) {
        FindB1(ref, j, a0, rb.white);
        rb.Extend(ref[j + 1] - rb.pos);
        a0 = ref[j + 1];
        if (br.Exhausted()) return RowResult::Bad;
        first = false;
        continue;
      } else if (mode == mHoriz) {
        if (!DecodeRun(br, rb) || !DecodeRun(br, rb)) return RowResult::Bad;
      } else if (!DecodeUncompressed(br, rb)) {
        return RowResult::Bad;
      }
    } else if (k == kZeros) {
      const int64_t at = br.pos;
      const ZeroCode z = ReadZeros(br);
      if (z == ZeroCode::EOL) {
        if (first) {
          // Group 3 two-dimensional: the tag bit after the EOL tells how the row is coded.
          br.Refill();
          const int tag = br.Bit();
          if (br.Exhausted()) return RowResult::Bad;
          if (tag == 1) return Decode1D(br, rb, width);
        } else {
          br.Seek(at);  // early end of the row, as in Decode1D
          rb.FillRest(true);
          return RowResult::Ok;
        }
      } else if (z != ZeroCode::Uncompressed || !DecodeUncompressed(br, rb)) {
        return RowResult::Bad;
      }
    } else {
      return RowResult::Bad;
    }
    if (br.Exhausted() || rb.overflow) return RowResult::Bad;
    first = false;
    if (rb.n > 0 || rb.pos > 0) a0 = rb.pos;
  }
  return RowResult::Ok;
}
// A change list kept by the caller from the previous row must be in order, inside the row
// and small enough.
// Copies it to ref with sentinels; false when it is unusable.
bool CopyChanges(const std::vector<int32_t>& c, int width, size_t cap, int32_t* ref) {
  if (c.empty() || c.size() > cap) return false;
  int32_t prev = 0;
  for (size_t i = 0; i < c.size(); ++i) {
    const int32_t v = c[i];
    if (v < prev || v > width) return false;
    ref[i] = prev = v;
  }
  std::fill_n(ref + c.size(), kSentinels, width);
  return true;
}

bool ValidInput(const uint8_t* out, const uint8_t* in, int64_t inSize, int width, int64_t bitPos) {
  if (!out || width <= 0 || inSize < 0 || (inSize > 0 && !in)) return false;
  if (inSize > std::numeric_limits<int64_t>::max() / 8 - 64) return false;
  return bitPos >= 0 && bitPos <= inSize * 8;
}

// ---------------------------------------------------------------------------------------
// Encoding.

struct EncCode {
  uint16_t bits;
  uint8_t len;
};

struct EncTable {
  std::array<EncCode, 64> term;
  std::array<EncCode, 41> makeup;  // index run / 64, 1..40
};

EncTable MakeEncTable(const char* const* term, const char* const* makeup) {
  EncTable t{};
  int len = 0;
  for (int i = 0; i < 64; ++i) {
    const uint32_t b = ParseBits(term[i], len);
    t.term[size_t(i)] = {uint16_t(b), uint8_t(len)};
  }
  for (int i = 0; i < 27; ++i) {
    const uint32_t b = ParseBits(makeup[i], len);
    t.makeup[size_t(i + 1)] = {uint16_t(b), uint8_t(len)};
  }
  for (int i = 0; i < 13; ++i) {
    const uint32_t b = ParseBits(kExtMakeup[i], len);
    t.makeup[size_t(28 + i)] = {uint16_t(b), uint8_t(len)};
  }
  return t;
}

const EncTable& WhiteEnc() {
  static const EncTable t = MakeEncTable(kWhiteTerm, kWhiteMakeup);
  return t;
}
const EncTable& BlackEnc() {
  static const EncTable t = MakeEncTable(kBlackTerm, kBlackMakeup);
  return t;
}

// Appends bits to a byte buffer, most significant bit first.
class BitWriter {
 public:
  // Continues at bitPos of buf; whatever buf holds after bitPos is dropped.
  BitWriter(std::vector<uint8_t>& buf, int64_t bitPos)
      : buf_(buf), pos_(std::max<int64_t>(0, bitPos)) {
    buf_.resize(size_t((pos_ + 7) >> 3), 0);
    if (pos_ & 7) buf_.back() &= uint8_t(0xFF << (8 - (pos_ & 7)));
  }

  void Put(uint32_t code, int len) {
    const size_t need = size_t((pos_ + len + 7) >> 3);
    if (need > buf_.size()) buf_.resize(std::max(need, buf_.size() * 2 + 16), 0);
    while (len > 0) {
      const int off = int(pos_ & 7);
      const int take = std::min(8 - off, len);
      const uint32_t v = (code >> (len - take)) & ((1u << take) - 1);
      buf_[size_t(pos_ >> 3)] |= uint8_t(v << (8 - off - take));
      pos_ += take;
      len -= take;
    }
  }
  void Put(EncCode c) { Put(c.bits, c.len); }
  void PadToByte() { pos_ = (pos_ + 7) & ~int64_t(7); }
  // Trims the buffer to the bits written and returns their count.
  int64_t Finish() {
    buf_.resize(size_t((pos_ + 7) >> 3));
    return pos_;
  }

 private:
  std::vector<uint8_t>& buf_;
  int64_t pos_;
};

void PutRun(BitWriter& w, int64_t run, bool white) {
  const EncTable& t = white ? WhiteEnc() : BlackEnc();
  while (run > kMaxMakeupRun) {
    w.Put(t.makeup[kMaxMakeupRun / 64]);
    run -= kMaxMakeupRun;
  }
  if (run >= 64) {
    w.Put(t.makeup[size_t(run / 64)]);
    run %= 64;
  }
  w.Put(t.term[size_t(run)]);
}

void Put1D(BitWriter& w, const int32_t* changes, int n, int width) {
  int p = 0;
  bool white = true;
  for (int i = 0; i <= n; ++i) {
    const int e = i < n ? changes[i] : width;
    PutRun(w, e - p, white);
    p = e;
    white = !white;
  }
}

// T.4 4.2.1.3.3 coding procedure against the reference changes (both with sentinels).
void Put2D(BitWriter& w, const int32_t* cur, const int32_t* ref, int width) {
  static constexpr EncCode kVertical[7] = {{0x02, 7}, {0x02, 6}, {0x02, 3}, {0x1, 1},
                                           {0x03, 3}, {0x03, 6}, {0x03, 7}};
  int a0 = -1;
  bool white = true;
  int i = 0, j = 0;
  for (;;) {
    while (cur[i] <= a0) ++i;
    const int a1 = cur[i];
    const int b1 = FindB1(ref, j, a0, white);
    const int b2 = ref[j + 1];
    if (b2 < a1) {
      w.Put(0x1, 4);  // pass
      a0 = b2;
    } else if (a1 - b1 >= -3 && a1 - b1 <= 3) {
      w.Put(kVertical[a1 - b1 + 3]);
      a0 = a1;
      white = !white;
    } else {
      const int a2 = cur[i + 1];
      const int start = std::max(a0, 0);
      w.Put(0x1, 3);  // horizontal
      PutRun(w, a1 - start, white);
      PutRun(w, a2 - a1, !white);
      a0 = a2;
    }
    if (a0 >= width) break;
  }
}

// Loads the pending bits into a fresh buffer.
BitWriter StartWithPending(std::vector<uint8_t>& buf, uint8_t pendingByte, int pendingBits) {
  if (pendingBits < 0 || pendingBits > 7) pendingBits = 0;
  buf.clear();
  BitWriter w(buf, 0);
  if (pendingBits > 0) w.Put(uint32_t(pendingByte) >> (8 - pendingBits), pendingBits);
  return w;
}

// Writes the whole bytes and keeps the rest as the pending state.
void FlushWhole(BitWriter& w, std::vector<uint8_t>& buf, TStream& stream, uint8_t& pendingByte,
                int& pendingBits) {
  const int64_t bits = w.Finish();
  const int64_t whole = bits >> 3;
  if (whole > 0) stream.WriteBuffer(buf.data(), whole);
  pendingBits = int(bits & 7);
  pendingByte = pendingBits ? uint8_t(buf[size_t(whole)] & (0xFF << (8 - pendingBits))) : 0;
}

void FlushAll(BitWriter& w, std::vector<uint8_t>& buf, TStream& stream, uint8_t& pendingByte,
              int& pendingBits) {
  w.PadToByte();
  const int64_t bits = w.Finish();
  if (bits > 0) stream.WriteBuffer(buf.data(), bits >> 3);
  pendingByte = 0;
  pendingBits = 0;
}

// Changes of an encoder row (bit 0 = code white) with sentinels.
int EncoderChanges(const uint8_t* row, int width, std::vector<int32_t>& changes) {
  changes.resize(size_t(width) + kSentinels);
  return RowChanges(row, width, 0, changes.data());
}

// Changes of the reference row; an empty (or mismatched) reference is all white.
void ReferenceChanges(const std::vector<uint8_t>& refLine, int width,
                      std::vector<int32_t>& changes) {
  if (refLine.size() >= size_t((width + 7) / 8)) {
    EncoderChanges(refLine.data(), width, changes);
  } else {
    changes.assign(kSentinels, width);
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------

int64_t CCITTHuffmanGetLine(uint8_t* out, const uint8_t* in, int64_t inSize, int width,
                            int64_t bitPos, int fillOrder) {
  if (!ValidInput(out, in, inSize, width, bitPos)) return -1;
  const size_t cap = ChangeCapacity(width);
  const auto changes = std::make_unique_for_overwrite<int32_t[]>(cap);
  RowBuilder rb(changes.get(), int(cap), width);
  BitReader br(in, inSize, fillOrder, bitPos);
  const RowResult r = Decode1D(br, rb, width);
  if (r != RowResult::Ok) rb.FillRest(true);
  Render(out, width, changes.get(), rb.n);
  return r == RowResult::Ok ? br.pos : -1;
}

int CCITTHuffmanGetLine(uint8_t* out, const uint8_t* in, int64_t inSize, int width, int fillOrder) {
  const int64_t bits = CCITTHuffmanGetLine(out, in, inSize, width, 0, fillOrder);
  if (bits < 0) return -1;
  const int64_t bytes = (bits + 7) / 8;
  return bytes > std::numeric_limits<int>::max() ? -1 : int(bytes);
}

int64_t CCITT3_2D_GetLine(uint8_t* out, const uint8_t* in, int64_t inSize, int width,
                          uint8_t* refLine, int64_t bitPos, int fillOrder,
                          std::vector<int32_t>* refChanges) {
  if (!refLine || !ValidInput(out, in, inSize, width, bitPos)) return -1;
  const size_t cap = ChangeCapacity(width);
  const auto buf = std::make_unique_for_overwrite<int32_t[]>(2 * cap + kSentinels);
  int32_t* ref = buf.get();
  int32_t* cur = ref + cap + kSentinels;
  if (!refChanges || !CopyChanges(*refChanges, width, cap, ref)) RowChanges(refLine, width, 1, ref);
  RowBuilder rb(cur, int(cap), width);
  BitReader br(in, inSize, fillOrder, bitPos);
  const RowResult r = Decode2D(br, rb, width, ref);
  if (r != RowResult::Ok) rb.FillRest(true);
  Render(out, width, cur, rb.n);
  std::memmove(refLine, out, size_t((width + 7) / 8));
  if (refChanges) refChanges->assign(cur, cur + rb.n);
  return r == RowResult::Ok ? br.pos : -1;
}

void CCITTHuffmanPutLine(const uint8_t* row, int width, std::vector<uint8_t>& buffer,
                         int64_t& bitPos) {
  BitWriter w(buffer, bitPos);
  if (row && width > 0) {
    std::vector<int32_t> changes;
    const int n = EncoderChanges(row, width, changes);
    Put1D(w, changes.data(), n, width);
  }
  bitPos = w.Finish();
}

void CCITTHuffmanPutLine(const uint8_t* row, int width, TStream& stream) {
  if (!row || width <= 0) return;
  std::vector<uint8_t> buf;
  int64_t bits = 0;
  CCITTHuffmanPutLine(row, width, buf, bits);
  stream.WriteBuffer(buf.data(), (bits + 7) >> 3);
}

void CCITTHuffmanPutLineG3(const uint8_t* row, int width, TStream& stream, uint8_t& pendingByte,
                           int& pendingBits) {
  std::vector<uint8_t> buf;
  BitWriter w = StartWithPending(buf, pendingByte, pendingBits);
  if (!row || width <= 0) {
    FlushAll(w, buf, stream, pendingByte, pendingBits);
    return;
  }
  std::vector<int32_t> changes;
  const int n = EncoderChanges(row, width, changes);
  w.Put(kEOLCode, kEOLLen);
  Put1D(w, changes.data(), n, width);
  FlushWhole(w, buf, stream, pendingByte, pendingBits);
}

void CCITTHuffmanPutLineG32D(const uint8_t* row, int width, TStream& stream, uint8_t& pendingByte,
                             int& pendingBits, std::vector<uint8_t>& refLine) {
  std::vector<uint8_t> buf;
  BitWriter w = StartWithPending(buf, pendingByte, pendingBits);
  if (!row || width <= 0) {
    w.Put(kEOLCode, kEOLLen);
    FlushAll(w, buf, stream, pendingByte, pendingBits);
    refLine.clear();
    return;
  }
  const size_t bytes = size_t((width + 7) / 8);
  std::vector<int32_t> cur;
  const int n = EncoderChanges(row, width, cur);
  w.Put(kEOLCode, kEOLLen);
  if (refLine.size() < bytes) {
    w.Put(1, 1);
    Put1D(w, cur.data(), n, width);
  } else {
    std::vector<int32_t> ref;
    ReferenceChanges(refLine, width, ref);
    w.Put(0, 1);
    Put2D(w, cur.data(), ref.data(), width);
  }
  refLine.assign(row, row + bytes);
  FlushWhole(w, buf, stream, pendingByte, pendingBits);
}

void CCITTHuffmanPutLineG4(const uint8_t* row, int width, TStream& stream, uint8_t& pendingByte,
                           int& pendingBits, std::vector<uint8_t>& refLine) {
  std::vector<uint8_t> buf;
  BitWriter w = StartWithPending(buf, pendingByte, pendingBits);
  if (!row || width <= 0) {
    w.Put(kEOLCode, kEOLLen);
    w.Put(kEOLCode, kEOLLen);
    FlushAll(w, buf, stream, pendingByte, pendingBits);
    refLine.clear();
    return;
  }
  const size_t bytes = size_t((width + 7) / 8);
  std::vector<int32_t> cur, ref;
  EncoderChanges(row, width, cur);
  ReferenceChanges(refLine, width, ref);
  Put2D(w, cur.data(), ref.data(), width);
  refLine.assign(row, row + bytes);
  FlushWhole(w, buf, stream, pendingByte, pendingBits);
}

}  // namespace vx
