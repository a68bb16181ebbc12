#include "multi/avistreamio.h"

extern "C" {
#include <libavutil/mem.h>
}

#include <cstdio>

namespace vx::avi {

namespace {
constexpr int kBufferSize = 64 * 1024;
}

TStreamIO::TStreamIO(TStream& stream, bool writable) : stream_(stream) {
  try {
    base_ = stream.Position();
  } catch (...) {
    base_ = 0;
  }
  auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
  if (!buffer) return;
  context_ = avio_alloc_context(buffer, kBufferSize, writable ? 1 : 0, this,
                                writable ? nullptr : &TStreamIO::ReadPacket,
                                writable ? &TStreamIO::WritePacket : nullptr, &TStreamIO::SeekTo);
  if (!context_) av_free(buffer);
}

TStreamIO::~TStreamIO() {
  if (context_) {
    av_freep(&context_->buffer);
    avio_context_free(&context_);
  }
}

int TStreamIO::ReadPacket(void* opaque, uint8_t* buf, int size) {
  auto* self = static_cast<TStreamIO*>(opaque);
  const int64_t got = ReadNoThrow(self->stream_, buf, size);
  if (got < 0) {
    self->streamError_ = self->stream_.ErrorText();
    return AVERROR(EIO);
  }
  return got == 0 ? AVERROR_EOF : static_cast<int>(got);
}

int TStreamIO::WritePacket(void* opaque, uint8_t* buf, int size) {
  auto* self = static_cast<TStreamIO*>(opaque);
  if (!WriteNoThrow(self->stream_, buf, size)) {
    self->streamError_ = self->stream_.ErrorText();
    return AVERROR(EIO);
  }
  return size;
}

int64_t TStreamIO::SeekTo(void* opaque, int64_t offset, int whence) {
  auto* self = static_cast<TStreamIO*>(opaque);
  try {
    switch (whence & ~AVSEEK_FORCE) {
      case AVSEEK_SIZE:
        return self->stream_.Size() - self->base_;
      case SEEK_SET:
        if (offset < 0) return AVERROR(EINVAL);
        return self->stream_.Seek(self->base_ + offset, soBeginning) - self->base_;
      case SEEK_CUR:
        return self->stream_.Seek(offset, soCurrent) - self->base_;
      case SEEK_END:
        return self->stream_.Seek(offset, soEnd) - self->base_;
      default:
        return AVERROR(EINVAL);
    }
  } catch (...) {
    return AVERROR(EIO);
  }
}

std::string ErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

}  // namespace vx::avi
