#pragma once
// GIF LZW coder (codes of 1..12 bits, clear and end codes, data sub-blocks).
#include <cstdint>

namespace vx {
class TStream;
// Always reads to the end of the sub-blocks (or of the stream). Minimum code sizes 0..11
// are decoded (clear = 1 << size, end = clear + 1, first codes size + 1 bits wide, at most
// 12). Decoding stops at the end code, at width * height pixels, at a code beyond the
// next free entry or when the data runs out; pixels not decoded are 0. A full table is
// kept until the next clear code. A code size of 12 or more (no room for any code) and a
// literal code beyond 255 (a pixel value no byte holds, possible from code size 9 on)
// refuse the data: every pixel is 0. GIFLZWDecode tells which happened; the hook form
// GIFLZWDecompress cannot.
constexpr int kGIFLZWMaxCodeSize = 11;
enum class TGIFLZWResult { Decoded, Refused };
TGIFLZWResult GIFLZWDecode(TStream& stream, int height, int width, bool interlaced, uint8_t* dest);
void GIFLZWDecompress(TStream& stream, int height, int width, bool interlaced, uint8_t* dest);
// Writes minimum code size max(2, bitsPerPixel) (1-bit images use 2-bit literals);
// indices are masked to that size. The table is restarted before it fills.
void GIFLZWCompress(TStream& stream, int height, int width, bool interlaced, const uint8_t* source,
                    int bitsPerPixel);
}  // namespace vx
