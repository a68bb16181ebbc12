#pragma once
// Writes a recording: video frames of a capture format, encoded by the window's
// compressor, and optionally sound from the audio input, into an AVI file through
// libavformat. Internal to the capture layer; runs on the capture thread (video) and a
// thread of its own (sound).
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "acquire/capturedraw.h"
#include "acquire/capturedriver.h"
#include "platform/bitmap.h"

struct AVFormatContext;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwsContext;

namespace vx {

class TCapAvAudio;

class TCapRecorder {
 public:
  TCapRecorder();
  ~TCapRecorder();
  TCapRecorder(const TCapRecorder&) = delete;
  TCapRecorder& operator=(const TCapRecorder&) = delete;

  // Creates the file and the streams; false (and nothing left open) on any failure,
  // including sound asked for without an input to take it from.
  bool Open(const std::string& fileName, const TBitmapInfoHeader& format, uint32_t microSecPerFrame,
            const TCapCompressor& compressor, bool audio);
  // Writes one frame into slot (its index at the recording rate; skipped slots stay
  // empty, so the file keeps time).
  bool WriteVideo(const TCapRawFrame& frame, int64_t slot);
  // Flushes the encoder and finishes the file.
  bool Close();
  bool IsOpen() const { return context_ != nullptr; }
  uint32_t FramesWritten() const { return frames_; }

 private:
  bool OpenVideo(const TBitmapInfoHeader& format, uint32_t microSecPerFrame,
                 const TCapCompressor& compressor);
  bool Encode(AVFrame* frame);
  bool WritePacket(AVPacket* packet, AVStream* stream, int64_t fromTimeBaseNum,
                   int64_t fromTimeBaseDen);
  void Free();

  AVFormatContext* context_ = nullptr;
  AVCodecContext* encoder_ = nullptr;
  AVStream* video_ = nullptr;
  AVFrame* picture_ = nullptr;
  AVPacket* packet_ = nullptr;
  SwsContext* sws_ = nullptr;
  TBitmapInfoHeader format_{};
  TCapFrameDecoder decoder_;
  TBitmap decoded_;
  std::unique_ptr<TCapAvAudio> audio_;
  std::mutex writeMutex_;
  uint32_t frames_ = 0;
  int64_t lastSlot_ = -1;
  bool failed_ = false;
  friend class TCapAvAudio;
};

// Whether a sound input can be opened right now.
bool CapAudioInputAvailable();

}  // namespace vx
