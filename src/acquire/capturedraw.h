#pragma once
// Decoding captured frames into bitmaps: the stand-in for the platform's stretch-draw
// service. Uncompressed and YUV frames go through the library's own DIB decoder; Motion
// JPEG pictures through FFmpeg's decoder.
#include <cstddef>
#include <cstdint>

#include "acquire/capturewindow.h"
#include "platform/bitmap.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace vx {

class TCapFrameDecoder {
 public:
  TCapFrameDecoder() = default;
  TCapFrameDecoder(const TCapFrameDecoder&) = delete;
  TCapFrameDecoder& operator=(const TCapFrameDecoder&) = delete;
  ~TCapFrameDecoder();

  // Decodes size bytes laid out as format says into bitmap (pf1bit for a 1-bit format,
  // pf24bit otherwise, at the format's size). False, with bitmap unchanged, when the
  // data does not hold a frame of that format.
  bool Decode(const TBitmapInfoHeader& format, const uint8_t* data, size_t size, TBitmap& bitmap);

 private:
  bool DecodeJpeg(const uint8_t* data, size_t size, TBitmap& bitmap);

  AVCodecContext* jpeg_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  SwsContext* sws_ = nullptr;
};

// The draw handle: opened once by whoever decodes frames (the video view opens it at
// creation), closed at the end.
using TDrawDib = TCapFrameDecoder*;
TDrawDib DrawDibOpen();
bool DrawDibClose(TDrawDib handle);
// Draws the frame (format, data) into dest's rectangle (x, y, width, height): decoded
// straight into dest when the rectangle is the whole frame at (0, 0) and dest has the
// frame's size, stretched (nearest pixel) otherwise.
bool DrawDibDraw(TDrawDib handle, TBitmap& dest, int x, int y, int width, int height,
                 const TBitmapInfoHeader* format, const uint8_t* data, size_t size);

}  // namespace vx
