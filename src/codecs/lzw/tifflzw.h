#pragma once
// TIFF LZW coder: MSB-first codes with early change; the decoder also reads the old
// LSB-first variant.
#include <cstdint>

namespace vx {
class TStream;
const uint8_t* TIFFLZWDecompress(const uint8_t* input, int64_t inputSize, int wanted, void*& state);
bool TIFFLZWCompress(const uint8_t* row, int count, TStream& output, void*& state);
}  // namespace vx
