// Arbitrary bytes into the three CCITT decoders, then a round trip of the decoded rows
// through the encoders.
//
// Layout of an input: bytes 0-1 the width (folded into 1..4096), byte 2 flags (bit 0 fill
// order 2, bits 1-2 which decoder: modified Huffman, one-dimensional, two-dimensional);
// the rest is the strip. Rows are decoded until a row fails or 64 rows are done.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/tifccitt.h"
#include "fuzz_target.h"
#include "platform/stream.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

constexpr size_t kGuard = 8;
constexpr int kMaxRows = 64;

int FuzzCCITT(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const int width = 1 + int((data[0] | (data[1] << 8)) % 4096);
  const int fillOrder = (data[2] & 1) ? 2 : 1;
  const int decoder = (data[2] >> 1) % 3;
  const size_t n = size - 3;
  // An exactly sized copy, so that a sanitizer sees any read past the strip.
  std::unique_ptr<uint8_t[]> strip(new uint8_t[n > 0 ? n : 1]);
  if (n > 0) std::memcpy(strip.get(), data + 3, n);
  const size_t bytes = size_t((width + 7) / 8);
  std::vector<uint8_t> row(bytes + 2 * kGuard, 0x5A);
  std::vector<uint8_t> ref(bytes, 0xFF);
  std::vector<int32_t> refChanges;
  std::vector<std::vector<uint8_t>> rows;
  int64_t pos = 0;
  for (int y = 0; y < kMaxRows; ++y) {
    uint8_t* out = row.data() + kGuard;
    int64_t next;
    if (decoder == 0) {
      const int64_t at = pos / 8;
      const int r =
          vx::CCITTHuffmanGetLine(out, strip.get() + at, int64_t(n) - at, width, fillOrder);
      next = r < 0 ? -1 : (at + r) * 8;
    } else if (decoder == 1) {
      next = vx::CCITTHuffmanGetLine(out, strip.get(), int64_t(n), width, pos, fillOrder);
    } else {
      next = vx::CCITT3_2D_GetLine(out, strip.get(), int64_t(n), width, ref.data(), pos, fillOrder,
                                   &refChanges);
      Check(std::memcmp(ref.data(), out, bytes) == 0);
    }
    for (size_t i = 0; i < kGuard; ++i) Check(row[i] == 0x5A && row[kGuard + bytes + i] == 0x5A);
    if (next < 0) break;
    Check(next > pos && next <= int64_t(n) * 8);
    pos = next;
    // Decoder rows are 1 = white; encoder rows 0 = white.
    std::vector<uint8_t> enc(out, out + bytes);
    for (uint8_t& b : enc) b = uint8_t(~b);
    rows.push_back(std::move(enc));
  }
  if (rows.empty()) return 0;
  // Round trip: what we decoded must encode and decode back to the same pixels.
  vx::TMemoryStream ms;
  uint8_t pendingByte = 0;
  int pendingBits = 0;
  std::vector<uint8_t> encRef;
  for (const auto& r : rows)
    vx::CCITTHuffmanPutLineG4(r.data(), width, ms, pendingByte, pendingBits, encRef);
  vx::CCITTHuffmanPutLineG4(nullptr, 0, ms, pendingByte, pendingBits, encRef);
  std::vector<uint8_t> coded(size_t(ms.Size()));
  ms.SetPosition(0);
  ms.ReadBuffer(coded.data(), int64_t(coded.size()));
  std::vector<uint8_t> back(bytes), ref2(bytes, 0xFF);
  std::vector<int32_t> changes2;
  pos = 0;
  for (const auto& r : rows) {
    pos = vx::CCITT3_2D_GetLine(back.data(), coded.data(), int64_t(coded.size()), width,
                                ref2.data(), pos, 1, &changes2);
    Check(pos > 0);
    for (int x = 0; x < width; ++x) {
      const int a = (r[size_t(x / 8)] >> (7 - x % 8)) & 1;
      const int b = (back[size_t(x / 8)] >> (7 - x % 8)) & 1;
      Check(a != b);
    }
  }
  return 0;
}

const vxfuzz::Registrar registrar("ccitt", FuzzCCITT);

}  // namespace
