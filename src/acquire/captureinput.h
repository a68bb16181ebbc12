#pragma once
// An FFmpeg device input (lavfi, video4linux2) read packet by packet and turned into
// the raw frames of a capture format. Internal to the capture layer.
#include <atomic>
#include <map>
#include <string>

#include "acquire/capturedriver.h"

struct AVFormatContext;
struct AVPacket;
struct SwsContext;

namespace vx {

class TCapAvInput {
 public:
  TCapAvInput() = default;
  TCapAvInput(const TCapAvInput&) = delete;
  TCapAvInput& operator=(const TCapAvInput&) = delete;
  ~TCapAvInput();

  // Opens format ("lavfi", "video4linux2") on url with the given options. interrupt,
  // when set, aborts blocking reads.
  bool Open(const char* format, const std::string& url,
            const std::map<std::string, std::string>& options, const std::atomic<bool>* interrupt);
  void Close();
  bool IsOpen() const { return context_ != nullptr; }

  // The video stream as opened.
  int Width() const { return width_; }
  int Height() const { return height_; }
  bool IsJpeg() const { return jpeg_; }
  // The frame rate the input announces, frames per second (0 when unknown).
  double Rate() const { return rate_; }

  // Reads the next video packet and lays it out as format says (its size must be the
  // stream's). TimeUs is the packet time from the first packet on.
  bool Read(TCapRawFrame& frame, const TBitmapInfoHeader& format);

 private:
  bool Convert(const AVPacket& packet, TCapRawFrame& frame, const TBitmapInfoHeader& format);

  AVFormatContext* context_ = nullptr;
  AVPacket* packet_ = nullptr;
  SwsContext* sws_ = nullptr;
  int stream_ = -1;
  int width_ = 0, height_ = 0;
  int pixFmt_ = -1;
  bool jpeg_ = false;
  double rate_ = 0;
  double timeBase_ = 0;
  int64_t firstPts_ = INT64_MIN;
  uint64_t count_ = 0;
};

// The codec library's pixel format that lays out a capture format's frames: bgr24 for
// BI_RGB (rows flipped), yuyv422, uyvy422, yvyu422, yuv420p, yuv410p-like planar codes;
// -1 for MJPG and unknown codes.
int CapPixelFormatOf(uint32_t compression);
// Bytes one frame of the format holds (0 for MJPG, whose pictures vary).
size_t CapFrameBytes(const TBitmapInfoHeader& format);
// The bit count that goes with a compression code.
int CapBitCountOf(uint32_t compression);

}  // namespace vx
