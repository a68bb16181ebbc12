#pragma once
// TIFF LZW coder: MSB-first codes with early change; the decoder also reads the old
// LSB-first variant.
#include <cstdint>

namespace vx {
class TStream;
// Returns nullptr on corrupt codes, or when the strip ends before any byte of the row;
// a strip ending inside a row gives that row with the rest zeroed (and nullptr next).
// A strip without a leading clear code is accepted.
const uint8_t* TIFFLZWDecompress(const uint8_t* input, int64_t inputSize, int wanted, void*& state);
// Writes each row's complete bytes to the stream at once; after a failed write every
// further call returns false (the closing call still frees the state).
bool TIFFLZWCompress(const uint8_t* row, int count, TStream& output, void*& state);
}  // namespace vx
