#pragma once
// TIFF LZW coder: MSB-first codes with early change; the decoder also reads the old
// LSB-first variant.
#include <cstddef>
#include <cstdint>

namespace vx {
class TStream;
// Returns nullptr on corrupt codes, or when the strip ends before any byte of the row;
// a strip ending inside a row gives that row with the rest zeroed (and nullptr next).
// A strip without a leading clear code is accepted. The state keeps the strip's output
// so far (as much as the rows asked for, plus at most one string).
const uint8_t* TIFFLZWDecompress(const uint8_t* input, int64_t inputSize, int wanted, void*& state);
// Decodes a whole strip into out[0, total) in one pass: the same bytes as the row
// calls give. Returns the bytes produced (fewer than total when the strip ends early
// or holds a corrupt code, which sets corrupt); output past total is dropped.
size_t TIFFLZWDecodeStrip(const uint8_t* input, int64_t inputSize, uint8_t* out, size_t total,
                          bool& corrupt);
// Writes each row's complete bytes to the stream at once; after a failed write every
// further call returns false (the closing call still frees the state).
bool TIFFLZWCompress(const uint8_t* row, int count, TStream& output, void*& state);
}  // namespace vx
