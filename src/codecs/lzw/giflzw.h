#pragma once
// GIF LZW coder (variable code sizes 2..12 bits, clear and end codes, data sub-blocks).
#include <cstdint>

namespace vx {
class TStream;
void GIFLZWDecompress(TStream& stream, int height, int width, bool interlaced, uint8_t* dest);
void GIFLZWCompress(TStream& stream, int height, int width, bool interlaced, const uint8_t* source,
                    int bitsPerPixel);
}  // namespace vx
