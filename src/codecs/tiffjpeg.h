#pragma once
// JPEG-compressed TIFF strips and tiles (compression 7), decoded with libjpeg.
#include <cstddef>
#include <cstdint>
#include <string>

namespace vx::tiff {

// One strip or tile and what the page expects of it.
struct TJpegBlock {
  // The page's JPEGTables stream (quantization and Huffman tables the blocks share);
  // may be empty when every block carries its own.
  const uint8_t* tables = nullptr;
  size_t tablesSize = 0;
  const uint8_t* data = nullptr;
  size_t dataSize = 0;
  // YCbCr pages: libjpeg upsamples the chroma and converts to RGB, as libtiff's RGBA
  // reading has it do. Other pages come out as their stored components.
  bool ycbcrToRgb = false;
  int components = 1;      // samples each pixel must have
  uint32_t width = 0;      // the block's width: the JPEG must be exactly as wide
  uint32_t maxHeight = 0;  // the block's height: the JPEG may not be taller
  uint32_t rows = 0;       // rows wanted (the JPEG may hold more, as a tile at the edge)
  size_t rowBytes = 0;     // stride of out, at least width * components
  uint8_t* out = nullptr;
};

// Decodes up to b.rows rows into b.out. Returns the rows decoded; fewer than wanted
// when the data is refused or breaks off, with libjpeg's reason (or ours) in why.
// Data that merely ends early decodes as libjpeg completes it (grey), as with libtiff.
int DecodeJpegBlock(const TJpegBlock& b, std::string& why);

// The most bytes one byte of JPEG data can decode to, for Huffman coding: each 8 x 8
// block of each component takes at least one bit (a progressive DC scan); with one
// component at 4 x 4 sampling and three at 1 x 1, 19 blocks give 1024 pixels of four
// samples. Arithmetic coding can go beyond; pages that large are refused.
inline constexpr long double kJpegMostBytesPerByte = 8.0L * 1024 * 4 / 19;

}  // namespace vx::tiff
