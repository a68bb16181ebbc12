#include "acquire/capturedraw.h"

#include <cstring>

#include "core/vxdefs.h"
#include "platform/canvas.h"
#include "proc/dibtransfer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace vx {

TCapFrameDecoder::~TCapFrameDecoder() {
  if (jpeg_) avcodec_free_context(&jpeg_);
  if (frame_) av_frame_free(&frame_);
  if (packet_) av_packet_free(&packet_);
  if (sws_) sws_freeContext(sws_);
}

bool TCapFrameDecoder::Decode(const TBitmapInfoHeader& format, const uint8_t* data, size_t size,
                              TBitmap& bitmap) {
  if (!data || size == 0) return false;
  if (format.biCompression == FourCC('M', 'J', 'P', 'G')) return DecodeJpeg(data, size, bitmap);
  uint8_t header[sizeof(TBitmapInfoHeader)];
  std::memcpy(header, &format, sizeof header);
  return CopyDIB2Bitmap(header, sizeof header, bitmap, data, size) != 0;
}

bool TCapFrameDecoder::DecodeJpeg(const uint8_t* data, size_t size, TBitmap& bitmap) {
  if (!jpeg_) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
    if (!codec) return false;
    jpeg_ = avcodec_alloc_context3(codec);
    if (!jpeg_ || avcodec_open2(jpeg_, codec, nullptr) < 0) {
      avcodec_free_context(&jpeg_);
      return false;
    }
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
  }
  if (!frame_ || !packet_ || size > static_cast<size_t>(INT32_MAX)) return false;
  if (av_new_packet(packet_, static_cast<int>(size)) < 0) return false;
  std::memcpy(packet_->data, data, size);
  const bool sent = avcodec_send_packet(jpeg_, packet_) >= 0;
  av_packet_unref(packet_);
  if (!sent || avcodec_receive_frame(jpeg_, frame_) < 0) return false;
  const int w = frame_->width, h = frame_->height;
  TBitmap decoded;
  if (!SizeImage(decoded, w, h, pf24bit, ResetNullpr())) {
    av_frame_unref(frame_);
    return false;
  }
  sws_ = sws_getCachedContext(sws_, w, h, static_cast<AVPixelFormat>(frame_->format), w, h,
                              AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (!sws_) {
    av_frame_unref(frame_);
    return false;
  }
  uint8_t* dst[4] = {decoded.ScanLine(0), nullptr, nullptr, nullptr};
  int lines[4] = {decoded.RowLen(), 0, 0, 0};
  sws_scale(sws_, frame_->data, frame_->linesize, 0, h, dst, lines);
  av_frame_unref(frame_);
  bitmap.Swap(decoded);
  return true;
}

TDrawDib DrawDibOpen() {
  return new TCapFrameDecoder;
}

bool DrawDibClose(TDrawDib handle) {
  delete handle;
  return handle != nullptr;
}

bool DrawDibDraw(TDrawDib handle, TBitmap& dest, int x, int y, int width, int height,
                 const TBitmapInfoHeader* format, const uint8_t* data, size_t size) {
  if (!handle || !format) return false;
  const int fw = format->biWidth, fh = format->biHeight < 0 ? -format->biHeight : format->biHeight;
  if (x == 0 && y == 0 && width == fw && height == fh && dest.Width() == fw && dest.Height() == fh)
    return handle->Decode(*format, data, size, dest);
  TBitmap frame;
  if (!handle->Decode(*format, data, size, frame)) return false;
  dest.Canvas().StretchDraw(Rect(x, y, x + width, y + height), frame, smNearest);
  return true;
}

}  // namespace vx
