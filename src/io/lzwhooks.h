#pragma once
// The four LZW hooks. They start out holding the library's own GIF and TIFF coders;
// an application may replace them, or clear them (nullptr) to run without LZW.
// SetDefaultParams copies their current values into each parameter set, and the
// codecs prefer the parameter-set routine over the global one.
#include <cstdint>

namespace vx {

class TStream;

// Reads one GIF image's LZW data (minimum code size byte, data sub-blocks, zero-length
// terminator) from the stream and writes width * height palette indices, one byte
// each, into dest in display order (rows de-interlaced when interlaced). Leaves the
// stream after the terminator. Not moving the stream position signals failure.
using TGIFLZWDecompFunc = void (*)(TStream& stream, int height, int width, bool interlaced,
                                   uint8_t* dest);
// Encodes width * height palette indices (display order; interlaces the rows itself
// when asked) as GIF image data: minimum code size, data sub-blocks, terminator.
using TGIFLZWCompFunc = void (*)(TStream& stream, int height, int width, bool interlaced,
                                 const uint8_t* source, int bitsPerPixel);

// Decodes one row of a TIFF LZW strip. input/inputSize is the whole strip's compressed
// data at every call of that strip; the coder keeps its read position in state, which
// is nullptr at the start of each strip. Returns the next decoded row of `wanted`
// bytes, or nullptr on failure (the row buffer belongs to the state). After the strip
// it is called once more with input nullptr and wanted 0 to free the state.
// The input size is part of the call so that no coder ever reads past the strip.
using TTIFFLZWDecompFunc = const uint8_t* (*)(const uint8_t* input, int64_t inputSize, int wanted,
                                              void*& state);
// Encodes one row of a TIFF LZW strip to the output stream. After the strip's last row
// it is called with row nullptr and count 0 to flush and free the state. Returns false
// when the output could not be written.
using TTIFFLZWCompFunc = bool (*)(const uint8_t* row, int count, TStream& output, void*& state);

extern TGIFLZWDecompFunc DefGIF_LZWDECOMPFUNC;
extern TGIFLZWCompFunc DefGIF_LZWCOMPFUNC;
extern TTIFFLZWDecompFunc DefTIFF_LZWDECOMPFUNC;
extern TTIFFLZWCompFunc DefTIFF_LZWCOMPFUNC;

}  // namespace vx
