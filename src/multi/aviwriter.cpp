// Writing AVI frames through libavcodec / libavformat.
#include <algorithm>
#include <cstring>
#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

#include "multi/aviencoders.h"
#include "multi/avifile.h"
#include "multi/avistreamio.h"
#include "platform/exceptions.h"

namespace vx {

using avi::ErrorText;
using avi::TStreamIO;

namespace {

std::string Why(std::string_view what, int code) {
  return "AVI: " + std::string(what) + " (" + ErrorText(code) + ")";
}

// Motion JPEG quality 1..100 onto the encoder's quantiser scale 31..1.
int QuantiserForQuality(int quality) {
  const int q = std::clamp(quality, 1, 100);
  return 1 + ((100 - q) * 30 + 49) / 99;
}

// Uncompressed frames go in as a DIB stores them, bottom row first; FFmpeg marks such a
// stream with this tag so that it keeps the height positive in the header.
constexpr char kBottomUp[] = "BottomUp";

}  // namespace

struct TAVIWriter::Impl {
  ~Impl() { Release(); }

  void Release() {
    sws_freeContext(sws);
    sws = nullptr;
    av_frame_free(&input);
    av_packet_free(&packet);
    avcodec_free_context(&encoder);
    avformat_free_context(format);
    format = nullptr;
    stream = nullptr;
    io.reset();
    file.reset();
    out = nullptr;
  }

  void Create(TStream& target, int delayMs);
  bool Start(const TProgressRec& progress);
  bool FillInput(const TBitmap& bitmap, const TProgressRec& progress);
  bool Encode(const AVFrame* f, const TProgressRec& progress);
  bool FailWrite(int rc, const TProgressRec& progress);

  std::unique_ptr<TFileStream> file;
  TStream* out = nullptr;
  int64_t base = 0;
  std::unique_ptr<TStreamIO> io;
  AVFormatContext* format = nullptr;
  AVStream* stream = nullptr;
  AVCodecContext* encoder = nullptr;
  AVFrame* input = nullptr;
  AVPacket* packet = nullptr;
  SwsContext* sws = nullptr;

  TAVICompressorOptions options;
  int rate = 0;
  int scale = 1;
  int refWidth = 0;
  int refHeight = 0;
  int frames = 0;
  bool failed = false;
};

void TAVIWriter::Impl::Create(TStream& target, int delayMs) {
  out = &target;
  // A rate of whole frames a second cannot hold a frame longer than a second: such
  // delays are written as their own scale instead of a rate of 0.
  if (delayMs <= 1000) {
    rate = AVIRateFromDelay(delayMs);
    scale = 1;
  } else {
    rate = 1000;
    scale = delayMs;
  }
  try {
    base = target.Position();
    io = std::make_unique<TStreamIO>(target, true);
  } catch (...) {
    throw EInvalidGraphic(kAVICreateError);
  }
  if (!io->Context() || avformat_alloc_output_context2(&format, nullptr, "avi", nullptr) < 0 ||
      !format)
    throw EInvalidGraphic(kAVICreateError);
  format->pb = io->Context();
  format->flags |= AVFMT_FLAG_CUSTOM_IO;
}

bool TAVIWriter::Impl::FailWrite(int rc, const TProgressRec& progress) {
  failed = true;
  if (!io->StreamError().empty())
    progress.Fail("AVI: " + io->StreamError());
  else
    progress.Fail(Why("the file cannot be written", rc));
  return false;
}

bool TAVIWriter::Impl::Start(const TProgressRec& progress) {
  const avi::TEncoderChoice choice = avi::EncoderFor(options.Compressor);
  const AVCodec* codec = avcodec_find_encoder(choice.Codec);
  if (!codec) {
    progress.Fail("AVI: the " + std::string(AVICompressorCaption(options.Compressor)) +
                  " encoder is not available");
    return false;
  }
  stream = avformat_new_stream(format, nullptr);
  encoder = avcodec_alloc_context3(codec);
  packet = av_packet_alloc();
  input = av_frame_alloc();
  if (!stream || !encoder || !packet || !input) {
    progress.FailOutOfMemory("for the AVI encoder");
    return false;
  }
  encoder->width = refWidth;
  encoder->height = refHeight;
  encoder->pix_fmt = choice.PixelFormat;
  encoder->time_base = AVRational{scale, rate};
  encoder->framerate = AVRational{rate, scale};
  // Every sample is a key frame, so each frame stands on its own.
  encoder->gop_size = 0;
  encoder->max_b_frames = 0;
  encoder->thread_count = 1;
  if (options.Compressor == aviMJPEG) {
    const int q = QuantiserForQuality(options.Quality);
    encoder->flags |= AV_CODEC_FLAG_QSCALE;
    encoder->global_quality = q * FF_QP2LAMBDA;
    encoder->qmin = 1;
    encoder->qmax = 31;
    encoder->color_range = AVCOL_RANGE_JPEG;
  } else if (options.Compressor == aviMPEG4) {
    encoder->bit_rate = std::max<int64_t>(options.BitRate, 1000);
  }
  int rc = avcodec_open2(encoder, codec, nullptr);
  if (rc < 0) {
    progress.Fail(Why("the " + std::string(AVICompressorCaption(options.Compressor)) +
                          " encoder refuses " + std::to_string(refWidth) + " x " +
                          std::to_string(refHeight) + " frames",
                      rc));
    return false;
  }
  rc = avcodec_parameters_from_context(stream->codecpar, encoder);
  if (rc < 0) {
    progress.Fail(Why("the stream cannot be described", rc));
    return false;
  }
  if (options.Compressor == aviFullFrames) {
    auto* extra =
        static_cast<uint8_t*>(av_mallocz(sizeof kBottomUp + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!extra) {
      progress.FailOutOfMemory("for the AVI header");
      return false;
    }
    std::memcpy(extra, kBottomUp, sizeof kBottomUp);
    av_freep(&stream->codecpar->extradata);
    stream->codecpar->extradata = extra;
    stream->codecpar->extradata_size = sizeof kBottomUp;
    stream->codecpar->codec_tag = 0;
  }
  stream->time_base = encoder->time_base;
  stream->avg_frame_rate = encoder->framerate;
  rc = avformat_write_header(format, nullptr);
  if (rc < 0) return FailWrite(rc, progress);

  input->format = encoder->pix_fmt;
  input->width = refWidth;
  input->height = refHeight;
  rc = av_frame_get_buffer(input, 0);
  if (rc < 0) {
    progress.FailOutOfMemory("for an AVI frame");
    return false;
  }
  if (options.Compressor != aviFullFrames) {
    // The full-range JPEG format is the plain one with the range told to swscale.
    const bool fullRange = encoder->pix_fmt == AV_PIX_FMT_YUVJ420P;
    sws = sws_getContext(refWidth, refHeight, AV_PIX_FMT_BGR24, refWidth, refHeight,
                         fullRange ? AV_PIX_FMT_YUV420P : encoder->pix_fmt, SWS_BICUBIC, nullptr,
                         nullptr, nullptr);
    if (!sws) {
      progress.Fail("AVI: frames cannot be converted for the encoder");
      return false;
    }
    if (fullRange) {
      const int* bt601 = sws_getCoefficients(SWS_CS_DEFAULT);
      sws_setColorspaceDetails(sws, bt601, 1, bt601, 1, 0, 1 << 16, 1 << 16);
    }
  }
  return true;
}

bool TAVIWriter::Impl::FillInput(const TBitmap& bitmap, const TProgressRec& progress) {
  const TBitmap* source = &bitmap;
  TBitmap widened;
  if (bitmap.PixelFormat() != pf24bit) {
    try {
      widened.Assign(bitmap);
      widened.SetPixelFormat(pf24bit);
    } catch (const std::bad_alloc&) {
      progress.FailOutOfMemory("for an AVI frame");
      return false;
    }
    source = &widened;
  }
  const int rc = av_frame_make_writable(input);
  if (rc < 0) {
    progress.FailOutOfMemory("for an AVI frame");
    return false;
  }
  if (options.Compressor == aviFullFrames) {
    const size_t bytes = static_cast<size_t>(refWidth) * 3;
    for (int y = 0; y < refHeight; ++y)
      std::memcpy(input->data[0] + static_cast<ptrdiff_t>(y) * input->linesize[0],
                  source->ScanLine(refHeight - 1 - y), bytes);
    return true;
  }
  const uint8_t* src[4] = {source->ScanLine(0), nullptr, nullptr, nullptr};
  const int srcStride[4] = {source->RowLen(), 0, 0, 0};
  sws_scale(sws, src, srcStride, 0, refHeight, input->data, input->linesize);
  return true;
}

bool TAVIWriter::Impl::Encode(const AVFrame* f, const TProgressRec& progress) {
  int rc = avcodec_send_frame(encoder, f);
  if (rc < 0) {
    failed = true;
    progress.Fail(Why("the encoder refuses frame " + std::to_string(frames), rc));
    return false;
  }
  for (;;) {
    rc = avcodec_receive_packet(encoder, packet);
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
    if (rc < 0) {
      failed = true;
      progress.Fail(Why("the encoder fails at frame " + std::to_string(frames), rc));
      return false;
    }
    av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
    packet->stream_index = stream->index;
    packet->flags |= AV_PKT_FLAG_KEY;
    rc = av_write_frame(format, packet);
    av_packet_unref(packet);
    if (rc < 0 || io->Context()->error < 0)
      return FailWrite(rc < 0 ? rc : io->Context()->error, progress);
  }
}

TAVIWriter::TAVIWriter() : impl_(std::make_unique<Impl>()) {}

TAVIWriter::~TAVIWriter() {
  if (impl_->out) {
    bool aborting = false;
    TProgressRec quiet;
    quiet.Aborting = &aborting;
    Finish(quiet);
  }
}

void TAVIWriter::Create(const std::string& fileName, int delayMs,
                        const TAVICompressorOptions& options) {
  impl_ = std::make_unique<Impl>();
  impl_->options = options;
  try {
    impl_->file = std::make_unique<TFileStream>(fileName, fmCreate);
  } catch (const EVXError&) {
    throw EInvalidGraphic(kAVICreateError);
  }
  impl_->Create(*impl_->file, delayMs);
}

void TAVIWriter::Create(TStream& stream, int delayMs, const TAVICompressorOptions& options) {
  impl_ = std::make_unique<Impl>();
  impl_->options = options;
  impl_->Create(stream, delayMs);
}

void TAVIWriter::SetOptions(const TAVICompressorOptions& options) {
  if (impl_->frames == 0 && !impl_->encoder) impl_->options = options;
}
const TAVICompressorOptions& TAVIWriter::Options() const {
  return impl_->options;
}
int TAVIWriter::Rate() const {
  return impl_->rate;
}
int TAVIWriter::Scale() const {
  return impl_->scale;
}
int TAVIWriter::FramesWritten() const {
  return impl_->frames;
}
int TAVIWriter::ReferenceWidth() const {
  return impl_->refWidth;
}
int TAVIWriter::ReferenceHeight() const {
  return impl_->refHeight;
}

bool TAVIWriter::AddFrame(const TBitmap& bitmap, const TProgressRec& progress) {
  Impl& m = *impl_;
  if (!m.out || m.failed) {
    progress.Fail(m.failed ? "AVI: an earlier frame could not be written"
                           : "AVI: no file is being written");
    return false;
  }
  try {
    if (m.frames == 0) {
      if (bitmap.Empty()) {
        progress.Fail("AVI: the first image has no pixels");
        return false;
      }
      m.refWidth = bitmap.Width();
      m.refHeight = bitmap.Height();
      if (!m.Start(progress)) {
        m.failed = true;
        return false;
      }
    }
    // An image of another size cannot go into the stream: the last frame of the
    // reference size stands in for it, so the timing of the rest is kept.
    if (bitmap.Width() == m.refWidth && bitmap.Height() == m.refHeight &&
        !m.FillInput(bitmap, progress))
      return false;
    m.input->pts = m.frames;
    m.input->pict_type = AV_PICTURE_TYPE_I;
    m.input->quality = m.encoder->global_quality;
    if (!m.Encode(m.input, progress)) return false;
  } catch (const std::bad_alloc&) {
    m.failed = true;
    progress.FailOutOfMemory("while writing AVI frames");
    return false;
  }
  ++m.frames;
  return true;
}

bool TAVIWriter::Finish(const TProgressRec& progress) {
  Impl& m = *impl_;
  if (!m.out) return !m.failed;
  bool ok = !m.failed;
  if (ok && m.frames > 0) {
    ok = m.Encode(nullptr, progress);
    if (ok) {
      const int rc = av_write_trailer(m.format);
      avio_flush(m.io->Context());
      if (rc < 0 || m.io->Context()->error < 0)
        ok = m.FailWrite(rc < 0 ? rc : m.io->Context()->error, progress);
    }
  }
  if (ok && !m.out->FlushBuffers()) {
    progress.Fail("AVI: " + m.out->ErrorText());
    ok = false;
  }
  m.Release();
  m.failed = !ok;
  return ok;
}

void TAVIWriter::Cancel() {
  Impl& m = *impl_;
  if (!m.out) return;
  TStream* target = m.out;
  const int64_t base = m.base;
  std::unique_ptr<TFileStream> file = std::move(m.file);
  m.Release();  // drops whatever FFmpeg still buffers
  try {
    target->SetSize(base);
    target->Seek(base, soBeginning);
  } catch (...) {
    // The file stays as far as it got; there is nobody to tell.
  }
}

}  // namespace vx
