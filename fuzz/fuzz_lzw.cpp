// Arbitrary bytes into both LZW decoders, and a round trip through both coders.
//
// Layout of an input: bytes 0-1 width, 2-3 height (each folded into 1..256 so that the
// pixel buffer stays small), byte 4 flags (bit 0 interlaced, bits 1-3 bits per pixel
// for the round trip, bits 4-7 with byte 5 the TIFF row length), the rest is the data:
// a GIF image's LZW data (minimum code size byte, sub-blocks) and, as it is, a TIFF strip.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/lzw/giflzw.h"
#include "codecs/lzw/tifflzw.h"
#include "fuzz_target.h"
#include "platform/stream.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

void FuzzGifDecode(const uint8_t* data, size_t size, int width, int height, bool interlaced) {
  constexpr size_t kGuard = 16;
  const size_t total = static_cast<size_t>(width) * static_cast<size_t>(height);
  std::vector<uint8_t> buf(total + 2 * kGuard, 0xA5);
  vx::TMemoryStream ms(std::vector<uint8_t>(data, data + size));
  vx::GIFLZWDecompress(ms, height, width, interlaced, buf.data() + kGuard);
  for (size_t i = 0; i < kGuard; ++i) Check(buf[i] == 0xA5 && buf[kGuard + total + i] == 0xA5);
  // Data present means something was read; never more than there is.
  Check(ms.Position() <= static_cast<int64_t>(size));
  Check(size == 0 || ms.Position() > 0);
}

void FuzzTiffDecode(const uint8_t* data, size_t size, int rowBytes) {
  // An exactly sized copy, so that a sanitizer sees any read past the strip.
  std::unique_ptr<uint8_t[]> strip(new uint8_t[size > 0 ? size : 1]);
  if (size > 0) std::memcpy(strip.get(), data, size);
  void* state = nullptr;
  size_t produced = 0;
  // Bounded by output: at most about 1 MB per input.
  while (produced < (1u << 20)) {
    const uint8_t* row = vx::TIFFLZWDecompress(strip.get(), static_cast<int64_t>(size), rowBytes, state);
    if (row == nullptr) break;
    volatile uint8_t sink = row[0] ^ row[rowBytes - 1];
    (void)sink;
    produced += static_cast<size_t>(rowBytes);
  }
  vx::TIFFLZWDecompress(nullptr, 0, 0, state);
  Check(state == nullptr);
}

void FuzzGifRoundTrip(const uint8_t* data, size_t size, int bits, bool interlaced) {
  if (size == 0) return;
  const int width = 1 + static_cast<int>(data[0] % 64);
  const int height = static_cast<int>((size + static_cast<size_t>(width) - 1) / static_cast<size_t>(width));
  std::vector<uint8_t> src(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
  const uint8_t mask = static_cast<uint8_t>((1u << (bits < 2 ? 2 : bits)) - 1);
  for (size_t i = 0; i < size; ++i) src[i] = data[i] & mask;
  vx::TMemoryStream ms;
  vx::GIFLZWCompress(ms, height, width, interlaced, src.data(), bits);
  ms.SetPosition(0);
  std::vector<uint8_t> back(src.size());
  vx::GIFLZWDecompress(ms, height, width, interlaced, back.data());
  Check(back == src);
  Check(ms.Position() == ms.Size());
}

void FuzzTiffRoundTrip(const uint8_t* data, size_t size, int rowBytes) {
  if (size == 0) return;
  const size_t rows = (size + static_cast<size_t>(rowBytes) - 1) / static_cast<size_t>(rowBytes);
  std::vector<uint8_t> src(rows * static_cast<size_t>(rowBytes), 0);
  std::memcpy(src.data(), data, size);
  vx::TMemoryStream ms;
  void* state = nullptr;
  for (size_t r = 0; r < rows; ++r)
    Check(vx::TIFFLZWCompress(src.data() + r * static_cast<size_t>(rowBytes), rowBytes, ms, state));
  Check(vx::TIFFLZWCompress(nullptr, 0, ms, state));
  const std::vector<uint8_t>& strip = ms.Data();
  for (size_t r = 0; r < rows; ++r) {
    const uint8_t* row =
        vx::TIFFLZWDecompress(strip.data(), static_cast<int64_t>(strip.size()), rowBytes, state);
    Check(row != nullptr);
    Check(std::memcmp(row, src.data() + r * static_cast<size_t>(rowBytes), static_cast<size_t>(rowBytes)) == 0);
  }
  vx::TIFFLZWDecompress(nullptr, 0, 0, state);
}

int FuzzLzw(const uint8_t* data, size_t size) {
  if (size < 6) {
    FuzzGifDecode(data, size, 1, 1, false);
    FuzzTiffDecode(data, size, 1);
    return 0;
  }
  const int width = 1 + ((data[0] | (data[1] << 8)) % 256);
  const int height = 1 + ((data[2] | (data[3] << 8)) % 256);
  const bool interlaced = (data[4] & 1) != 0;
  const int bits = 1 + ((data[4] >> 1) & 7);
  const int rowBytes = 1 + (((data[4] >> 4) | (data[5] << 4)) % 4096);
  const uint8_t* body = data + 6;
  const size_t bodySize = size - 6;
  FuzzGifDecode(body, bodySize, width, height, interlaced);
  FuzzTiffDecode(body, bodySize, rowBytes);
  // The round trips on a bounded prefix keep each run quick.
  const size_t n = bodySize < 65536 ? bodySize : 65536;
  FuzzGifRoundTrip(body, n, bits, interlaced);
  FuzzTiffRoundTrip(body, n, rowBytes);
  return 0;
}

const vxfuzz::Registrar kRegistrar("lzw", FuzzLzw);

}  // namespace
