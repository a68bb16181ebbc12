#pragma once
// Windows and OS/2 device-independent bitmap files (read and write), and the
// icon and cursor files that share their layout (read). Little-endian
// throughout.
//
// Readers produce pf24bit, or pf1bit for one bit a pixel (bit 0 black, so a
// file whose two-entry palette is white, black has its bits inverted). They
// fill the parameter set with what they find and report any failure - a wrong
// signature, truncated or inconsistent data - through progress.Fail (Aborting
// and a reason); rows decoded before the failure stay in the bitmap. Nothing is
// read past the data, and no bitmap is sized beyond what the data can describe
// or beyond the pixel limit (MaxImagePixels): such a file leaves the bitmap as
// it was. Previews are not limited and report the size the header gives.
#include <cstdint>

#include "core/vxdefs.h"
#include "io/ioparams.h"
#include "platform/bitmap.h"
#include "platform/stream.h"

namespace vx {

// Reads a BMP file starting at the stream's position. dataLength is the number
// of bytes of the file in the stream (0 or less: unknown, then the file-size
// field or the stream's end bounds the data). With preview only the parameters
// are filled.
void BMPReadStream(TStream& stream, TBitmap& bitmap, int64_t dataLength, bool preview,
                   TIOParamsVals& params, TProgressRec& progress);

// Writes the bitmap (pf24bit or pf1bit; other formats through a 24-bit copy) at
// 1, 4, 8 or 24 bits as BitsPerSample / SamplesPerPixel ask, RLE for 4 and 8
// bits when BMP_Compression is ioBMP_RLE, with the header that BMP_Version
// names. 4 and 8-bit files get a palette from TVXQuantizer; 1-bit files keep an
// image's two colours (darker first) or else dither to black and white.
// params.ColorMap receives the palette written.
void BMPWriteStream(TStream& stream, TBitmap& bitmap, TIOParamsVals& params,
                    TProgressRec& progress);

// Read image ICO_ImageIndex of an icon file / CUR_ImageIndex of a cursor file.
// 1, 4, 8, 24 and 32-bit entries and PNG-compressed entries decode; alpha is
// flattened onto background. The transparency (AND) mask is not applied. An
// index outside the directory leaves bitmap and parameters as they were and
// sets Aborting.
void ICOReadStream(TStream& stream, TBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress,
                   bool preview, const TRGB& background = TRGB{});
void CURReadStream(TStream& stream, TBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress,
                   bool preview, const TRGB& background = TRGB{});

// Content tests used by format detection; they leave the stream position
// unchanged.
bool ICOTryStream(TStream& stream);
bool CURTryStream(TStream& stream);

// Decodes a PNG-compressed icon entry (data of size bytes) into a pf24bit
// bitmap, alpha flattened onto background. Returns false, with progress failed
// and its reason recorded, on bad or truncated data (the bitmap then holds the
// rows decoded, the rest background), and - with the bitmap untouched - when the
// image is over the pixel limit, larger than the data can justify, or its
// bitmap and row buffers cannot be allocated. width and height receive the
// image size from the PNG header (0 when it was never read).
bool ICODecodePNG(const uint8_t* data, size_t size, TBitmap& bitmap, const TRGB& background,
                  int& width, int& height, const TProgressRec& progress);

}  // namespace vx
