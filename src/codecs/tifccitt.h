#pragma once
// CCITT bilevel row coding for TIFF: modified Huffman (compression 2), Group 3 one- and
// two-dimensional (compression 3) and Group 4 (compression 4). One row per call; the caller
// keeps the running state of a strip (bit position, reference row, pending output bits).
//
// Pixel conventions:
// - decoders write rows with 1 = a pixel coded white, 0 = coded black, most significant bit
//   first; only the bits below width are touched.
// - encoders read pf1bit rows where bit 0 is coded white and bit 1 coded black (so under
//   photometric BlackIsZero the bitmap's black pixels become code-white runs, as TIFF wants).
//
// Every decoder is bounded by inSize: it never reads past in[inSize - 1], and it reports a
// row that runs out of data or holds a code T.4/T.6 do not define with -1. On -1 the part
// of the row decoded so far is kept and the rest of the row is set white.
#include <cstdint>
#include <vector>

#include "platform/stream.h"

namespace vx {

// One modified Huffman row from bit 0 of in (rows are byte-aligned). out: at least
// (width + 7) / 8 bytes. fillOrder 2 = least significant bit first, anything else = most
// significant first. Returns the bytes consumed (bit count rounded up), or -1.
int CCITTHuffmanGetLine(uint8_t* out, const uint8_t* in, int64_t inSize, int width, int fillOrder);

// One one-dimensional (Group 3 1-D) row starting at bit bitPos of in. An EOL in front of the
// row (fill zeros included) is skipped; an EOL inside the row ends it, the rest white, and
// is left unread for the next row (the same in two-dimensional rows). Returns the bit position
// after the row, or -1 on bad data / data exhausted.
int64_t CCITTHuffmanGetLine(uint8_t* out, const uint8_t* in, int64_t inSize, int width,
                            int64_t bitPos, int fillOrder);

// One Group 3 two-dimensional or Group 4 row starting at bitPos, coded against refLine
// ((width + 7) / 8 bytes, same convention as out; all white for the first row of a strip).
// A row that starts with EOL and tag bit 1 is decoded one-dimensionally, EOL and tag bit 0
// two-dimensionally. On return refLine holds a copy of the decoded row (out may be refLine).
// Returns the bit position after the row, or -1.
//
// refChanges, when given, carries the colour changes of the previous row from call to call
// (pass the same vector for every row of a strip, empty at its start). Some encoders code a
// row against the previous row's runs including runs of length 0 (for instance a horizontal
// mode with a white run of 0), which the bits of refLine cannot show; libtiff decodes such
// data that way, and so do we with refChanges. Without it the reference is taken from the
// bits of refLine.
int64_t CCITT3_2D_GetLine(uint8_t* out, const uint8_t* in, int64_t inSize, int width,
                          uint8_t* refLine, int64_t bitPos, int fillOrder,
                          std::vector<int32_t>* refChanges = nullptr);

// Encoders. row = a pf1bit row of width pixels ((width + 7) / 8 bytes); output is always
// most significant bit first and goes to the stream in whole bytes.

// The run coder shared by all encoders: appends the one-dimensional runs of the row at bit
// bitPos of buffer and advances bitPos. The buffer is first cut to the bits before bitPos,
// then grows to hold the new bits (its last byte padded with zero bits).
void CCITTHuffmanPutLine(const uint8_t* row, int width, std::vector<uint8_t>& buffer,
                         int64_t& bitPos);

// One modified Huffman row, padded with zero bits to a byte boundary.
void CCITTHuffmanPutLine(const uint8_t* row, int width, TStream& stream);

// One Group 3 one-dimensional row, EOL first, not byte-aligned: the pending bits
// (pendingBits 0..7, the top bits of pendingByte) go in front and the trailing 0..7 bits
// become the new pending state. Start a strip with pendingBits 0. Closing call after the
// last row (row == nullptr or width == 0): the pending bits padded with zeros are written
// and the state is reset.
void CCITTHuffmanPutLineG3(const uint8_t* row, int width, TStream& stream, uint8_t& pendingByte,
                           int& pendingBits);

// One Group 3 two-dimensional row: EOL, tag bit 1 and a one-dimensional row when refLine is
// empty (first row of a strip), else tag bit 0 and the row coded against refLine; the row
// then becomes refLine. Start a strip with refLine empty and pendingBits 0. Closing call
// (row == nullptr or width == 0): one EOL, the pending bits padded with zeros; the state
// (pending bits, refLine) is reset.
void CCITTHuffmanPutLineG32D(const uint8_t* row, int width, TStream& stream, uint8_t& pendingByte,
                             int& pendingBits, std::vector<uint8_t>& refLine);

// One Group 4 row, coded against refLine (empty = all white) and then stored in it.
// Closing call (row == nullptr or width == 0): EOFB (two EOLs) and zero bits to a byte
// boundary are written; the state is reset.
void CCITTHuffmanPutLineG4(const uint8_t* row, int width, TStream& stream, uint8_t& pendingByte,
                           int& pendingBits, std::vector<uint8_t>& refLine);

}  // namespace vx
