#pragma once
// FFmpeg I/O over a TStream, and the small FFmpeg helpers the AVI reader and writer
// share. Private to src/multi.
extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
}

#include <cstdint>
#include <string>

#include "platform/stream.h"

namespace vx::avi {

// An AVIOContext that reads from or writes to stream, with offsets counted from the
// stream's position when it is made (so that an AVI embedded in a larger stream works).
class TStreamIO {
 public:
  TStreamIO(TStream& stream, bool writable);
  ~TStreamIO();
  TStreamIO(const TStreamIO&) = delete;
  TStreamIO& operator=(const TStreamIO&) = delete;

  // Null when FFmpeg could not allocate the context.
  AVIOContext* Context() const { return context_; }
  TStream& Stream() const { return stream_; }
  int64_t Base() const { return base_; }
  // The stream's complaint about its last failed write or read, if any.
  const std::string& StreamError() const { return streamError_; }

 private:
  static int ReadPacket(void* opaque, uint8_t* buf, int size);
  static int WritePacket(void* opaque, uint8_t* buf, int size);
  static int64_t SeekTo(void* opaque, int64_t offset, int whence);

  TStream& stream_;
  int64_t base_ = 0;
  AVIOContext* context_ = nullptr;
  std::string streamError_;
};

// FFmpeg's text for an error code.
std::string ErrorText(int code);

}  // namespace vx::avi
