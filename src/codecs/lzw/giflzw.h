#pragma once
// GIF LZW coder (variable code sizes 2..12 bits, clear and end codes, data sub-blocks).
#include <cstdint>

namespace vx {
class TStream;
// Always reads to the end of the sub-blocks (or of the stream). Minimum code sizes 1..8
// are decoded; any other leaves the pixels 0. Decoding stops at the end code, at
// width * height pixels, at a code beyond the next free entry or when the data runs
// out; pixels not decoded are 0. A full table is kept until the next clear code.
void GIFLZWDecompress(TStream& stream, int height, int width, bool interlaced, uint8_t* dest);
// Writes minimum code size max(2, bitsPerPixel) (1-bit images use 2-bit literals);
// indices are masked to that size. The table is restarted before it fills.
void GIFLZWCompress(TStream& stream, int height, int width, bool interlaced, const uint8_t* source,
                    int bitsPerPixel);
}  // namespace vx
