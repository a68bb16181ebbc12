#include "acquire/captureinput.h"

#include <cstring>

#include "proc/dibtransfer.h"

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace vx {

namespace {

int InterruptCallback(void* opaque) {
  const auto* flag = static_cast<const std::atomic<bool>*>(opaque);
  return flag && flag->load() ? 1 : 0;
}

void RegisterDevicesOnce() {
  static const bool registered = [] {
    avdevice_register_all();
    av_log_set_level(AV_LOG_QUIET);
    return true;
  }();
  (void)registered;
}

}  // namespace

int CapPixelFormatOf(uint32_t compression) {
  if (compression == BI_RGB) return AV_PIX_FMT_BGR24;
  if (compression == FourCC('Y', 'U', 'Y', '2')) return AV_PIX_FMT_YUYV422;
  if (compression == FourCC('U', 'Y', 'V', 'Y')) return AV_PIX_FMT_UYVY422;
  if (compression == FourCC('Y', 'V', 'Y', 'U')) return AV_PIX_FMT_YVYU422;
  if (compression == FourCC('I', '4', '2', '0')) return AV_PIX_FMT_YUV420P;
  return -1;
}

int CapBitCountOf(uint32_t compression) {
  if (compression == FourCC('I', '4', '2', '0')) return 12;
  if (compression == BI_RGB || compression == FourCC('M', 'J', 'P', 'G')) return 24;
  return 16;
}

size_t CapFrameBytes(const TBitmapInfoHeader& format) {
  if (format.biWidth <= 0 || format.biHeight == 0) return 0;
  const int h = format.biHeight < 0 ? -format.biHeight : format.biHeight;
  if (format.biCompression == BI_RGB) return DibRowBytes(format.biWidth) * static_cast<size_t>(h);
  const int pf = CapPixelFormatOf(format.biCompression);
  if (pf < 0) return 0;
  const int n = av_image_get_buffer_size(static_cast<AVPixelFormat>(pf), format.biWidth, h, 1);
  return n > 0 ? static_cast<size_t>(n) : 0;
}

TCapAvInput::~TCapAvInput() {
  Close();
}

bool TCapAvInput::Open(const char* format, const std::string& url,
                       const std::map<std::string, std::string>& options,
                       const std::atomic<bool>* interrupt) {
  Close();
  RegisterDevicesOnce();
  const AVInputFormat* input = av_find_input_format(format);
  if (!input) return false;
  context_ = avformat_alloc_context();
  if (!context_) return false;
  context_->interrupt_callback.callback = InterruptCallback;
  context_->interrupt_callback.opaque = const_cast<std::atomic<bool>*>(interrupt);
  AVDictionary* dict = nullptr;
  for (const auto& [key, value] : options) av_dict_set(&dict, key.c_str(), value.c_str(), 0);
  const int opened = avformat_open_input(&context_, url.c_str(), input, &dict);
  av_dict_free(&dict);
  if (opened < 0) {
    context_ = nullptr;  // freed by avformat_open_input
    return false;
  }
  stream_ = av_find_best_stream(context_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (stream_ < 0) {
    Close();
    return false;
  }
  const AVStream* st = context_->streams[stream_];
  const AVCodecParameters* par = st->codecpar;
  width_ = par->width;
  height_ = par->height;
  jpeg_ = par->codec_id == AV_CODEC_ID_MJPEG;
  pixFmt_ = par->format;
  if (!jpeg_ && par->codec_id != AV_CODEC_ID_RAWVIDEO) {
    Close();
    return false;
  }
  rate_ = st->avg_frame_rate.den ? av_q2d(st->avg_frame_rate) : 0;
  if (rate_ <= 0 && st->r_frame_rate.den) rate_ = av_q2d(st->r_frame_rate);
  timeBase_ = av_q2d(st->time_base);
  packet_ = av_packet_alloc();
  firstPts_ = INT64_MIN;
  count_ = 0;
  if (!packet_ || width_ <= 0 || height_ <= 0) {
    Close();
    return false;
  }
  return true;
}

void TCapAvInput::Close() {
  if (packet_) av_packet_free(&packet_);
  if (context_) avformat_close_input(&context_);
  if (sws_) {
    sws_freeContext(sws_);
    sws_ = nullptr;
  }
  stream_ = -1;
}

bool TCapAvInput::Read(TCapRawFrame& frame, const TBitmapInfoHeader& format) {
  if (!context_) return false;
  for (;;) {
    av_packet_unref(packet_);
    if (av_read_frame(context_, packet_) < 0) return false;
    if (packet_->stream_index != stream_) continue;
    const int64_t pts = packet_->pts != AV_NOPTS_VALUE ? packet_->pts : packet_->dts;
    if (pts != AV_NOPTS_VALUE) {
      if (firstPts_ == INT64_MIN) firstPts_ = pts;
      frame.TimeUs =
          static_cast<int64_t>(static_cast<double>(pts - firstPts_) * timeBase_ * 1e6 + 0.5);
    } else {
      frame.TimeUs =
          rate_ > 0 ? static_cast<int64_t>(static_cast<double>(count_) * 1e6 / rate_) : 0;
    }
    frame.Number = count_++;
    const bool ok = Convert(*packet_, frame, format);
    av_packet_unref(packet_);
    return ok;
  }
}

bool TCapAvInput::Convert(const AVPacket& packet, TCapRawFrame& frame,
                          const TBitmapInfoHeader& format) {
  if (jpeg_) {
    if (format.biCompression != FourCC('M', 'J', 'P', 'G')) return false;
    frame.Data.assign(packet.data, packet.data + packet.size);
    return true;
  }
  const auto src = static_cast<AVPixelFormat>(pixFmt_);
  const int need = av_image_get_buffer_size(src, width_, height_, 1);
  if (need <= 0 || packet.size < need) return false;
  uint8_t* srcData[4];
  int srcLines[4];
  if (av_image_fill_arrays(srcData, srcLines, packet.data, src, width_, height_, 1) < 0)
    return false;

  const int dstFmt = CapPixelFormatOf(format.biCompression);
  if (dstFmt < 0 || format.biWidth != width_ || std::abs(format.biHeight) != height_) return false;
  frame.Data.resize(CapFrameBytes(format));
  uint8_t* dstData[4] = {};
  int dstLines[4] = {};
  if (format.biCompression == BI_RGB) {
    // Bottom-up rows: start at the last row and walk backwards.
    const int row = static_cast<int>(DibRowBytes(width_));
    dstData[0] = frame.Data.data() + static_cast<size_t>(row) * (height_ - 1);
    dstLines[0] = -row;
    if (src == AV_PIX_FMT_BGR24) {
      for (int y = 0; y < height_; ++y)
        std::memcpy(dstData[0] - static_cast<ptrdiff_t>(row) * y,
                    srcData[0] + static_cast<size_t>(srcLines[0]) * y,
                    static_cast<size_t>(width_) * 3);
      return true;
    }
  } else {
    av_image_fill_arrays(dstData, dstLines, frame.Data.data(), static_cast<AVPixelFormat>(dstFmt),
                         width_, height_, 1);
    if (src == dstFmt) {
      std::memcpy(frame.Data.data(), packet.data, frame.Data.size());
      return true;
    }
  }
  sws_ = sws_getCachedContext(sws_, width_, height_, src, width_, height_,
                              static_cast<AVPixelFormat>(dstFmt), SWS_BICUBIC, nullptr, nullptr,
                              nullptr);
  if (!sws_) return false;
  sws_scale(sws_, srcData, srcLines, 0, height_, dstData, dstLines);
  return true;
}

}  // namespace vx
