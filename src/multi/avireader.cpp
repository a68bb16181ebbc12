// Reading AVI frames through libavformat / libavcodec, converted with libswscale.
#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "multi/avifile.h"
#include "multi/avistreamio.h"
#include "platform/exceptions.h"
#include "platform/screen.h"

namespace vx {

using avi::ErrorText;
using avi::TStreamIO;

namespace {

std::string Why(std::string_view what, int code) {
  return "AVI: " + std::string(what) + " (" + ErrorText(code) + ")";
}

bool IsOneBit(AVPixelFormat f) {
  return f == AV_PIX_FMT_MONOBLACK || f == AV_PIX_FMT_MONOWHITE;
}

// The full-range "J" formats are the plain YUV formats with a range flag to swscale.
AVPixelFormat WithoutJpegRange(AVPixelFormat f, bool& fullRange) {
  switch (f) {
    case AV_PIX_FMT_YUVJ420P:
      fullRange = true;
      return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P:
      fullRange = true;
      return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P:
      fullRange = true;
      return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P:
      fullRange = true;
      return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P:
      fullRange = true;
      return AV_PIX_FMT_YUV411P;
    default:
      return f;
  }
}

// Sizes bitmap for a decoded frame, keeping its block when it already fits (the pixel
// limit is still asked, since it may have been lowered since).
bool PrepareBitmap(TBitmap& bitmap, int w, int h, TPixelFormat pf, const TProgressRec& progress) {
  if (bitmap.Width() == w && bitmap.Height() == h && bitmap.PixelFormat() == pf)
    return ImageSizeAllowed(w, h, progress);
  return SizeImage(bitmap, w, h, pf, progress);
}

// What the conversion context was made for.
struct TSwsKey {
  int Width = 0;
  int Height = 0;
  AVPixelFormat Format = AV_PIX_FMT_NONE;
  bool FullRange = false;
  AVColorSpace Colorspace = AVCOL_SPC_UNSPECIFIED;
  bool operator==(const TSwsKey&) const = default;
};

}  // namespace

struct TAVIReader::Impl {
  ~Impl() { Close(); }

  void Close() {
    sws_freeContext(sws);
    sws = nullptr;
    av_frame_free(&frame);
    av_frame_free(&last);
    av_frame_free(&pending);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    io.reset();
    file.reset();
    streamIndex = -1;
    framesRead = 0;
    flushed = false;
  }

  bool Open(TStream& source, const TProgressRec& progress);
  TAVIReadResult Read(TBitmap& bitmap, const TProgressRec& progress);
  TAVIReadResult TakeDecoded(TBitmap& bitmap, const TProgressRec& progress);
  bool Convert(const AVFrame* f, TBitmap& bitmap, const TProgressRec& progress);
  bool ConvertOneBit(const AVFrame* f, TBitmap& bitmap, const TProgressRec& progress);
  TAVIReadResult Deliver(const AVFrame* f, TBitmap& bitmap, const TProgressRec& progress);

  std::unique_ptr<TFileStream> file;
  std::unique_ptr<TStreamIO> io;
  AVFormatContext* format = nullptr;
  AVCodecContext* decoder = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  // The last frame handed over, kept (by reference) to repeat for dropped frames, and
  // the frame decoded after a gap, held back while the repeats are handed out.
  AVFrame* last = nullptr;
  AVFrame* pending = nullptr;
  int64_t repeats = 0;
  int64_t repeatBudget = 0;
  bool inOrder = true;
  int64_t nextTs = AV_NOPTS_VALUE;
  SwsContext* sws = nullptr;
  TSwsKey swsKey;
  int streamIndex = -1;
  bool flushed = false;

  std::string fileName;
  int threads = 1;
  int frameCount = 0;
  int delayMs = 0;
  double fps = 0;
  int width = 0;
  int height = 0;
  int bitCount = 24;
  int framesRead = 0;
};

bool TAVIReader::Impl::Open(TStream& source, const TProgressRec& progress) {
  try {
    io = std::make_unique<TStreamIO>(source, false);
  } catch (const std::bad_alloc&) {
    progress.FailOutOfMemory("for the AVI reader");
    return false;
  }
  format = avformat_alloc_context();
  packet = av_packet_alloc();
  frame = av_frame_alloc();
  last = av_frame_alloc();
  pending = av_frame_alloc();
  if (!io->Context() || !format || !packet || !frame || !last || !pending) {
    progress.FailOutOfMemory("for the AVI reader");
    return false;
  }
  format->pb = io->Context();
  format->flags |= AVFMT_FLAG_CUSTOM_IO;
  try {
    repeatBudget = std::max<int64_t>(source.Size() - io->Base(), 0) / 8;
  } catch (...) {
    repeatBudget = 0;
  }
  // Only the AVI demuxer looks at the data: the file is untrusted and is named an AVI.
  const AVInputFormat* aviFormat = av_find_input_format("avi");
  int rc = avformat_open_input(&format, nullptr, aviFormat, nullptr);
  if (rc < 0) {  // the context was freed by the failed open
    progress.Fail(io->StreamError().empty() ? Why("not a readable AVI file", rc)
                                            : "AVI: " + io->StreamError());
    return false;
  }

  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const AVStream* st = format->streams[i];
    if (streamIndex < 0 && st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
        !(st->disposition & AV_DISPOSITION_ATTACHED_PIC))
      streamIndex = static_cast<int>(i);
    else
      format->streams[i]->discard = AVDISCARD_ALL;
  }
  if (streamIndex < 0) {
    progress.Fail("AVI: the file holds no video stream");
    return false;
  }
  AVStream* st = format->streams[streamIndex];
  const AVCodecParameters* par = st->codecpar;
  width = par->width;
  height = par->height;
  if (!ImageSizeAllowed(width, height, progress)) return false;

  // Frame duration = scale / rate of the stream, which is the stream's time base.
  AVRational perFrame = st->time_base;
  if (perFrame.num <= 0 || perFrame.den <= 0) perFrame = av_inv_q(st->avg_frame_rate);
  if (perFrame.num > 0 && perFrame.den > 0) {
    fps = av_q2d(av_inv_q(perFrame));
    const int64_t ms = int64_t{1000} * perFrame.num / perFrame.den;
    delayMs = static_cast<int>(std::min<int64_t>(ms, std::numeric_limits<int>::max()));
  }
  frameCount = st->nb_frames > 0 && st->nb_frames <= std::numeric_limits<int>::max()
                   ? static_cast<int>(st->nb_frames)
                   : 0;
  bitCount = par->codec_id == AV_CODEC_ID_RAWVIDEO && par->bits_per_coded_sample > 0
                 ? par->bits_per_coded_sample
                 : 24;

  const AVCodec* codec = avcodec_find_decoder(par->codec_id);
  if (!codec) {
    progress.Fail("AVI: no decoder for the video codec " +
                  std::string(avcodec_get_name(par->codec_id)));
    return false;
  }
  decoder = avcodec_alloc_context3(codec);
  if (!decoder) {
    progress.FailOutOfMemory("for the AVI decoder");
    return false;
  }
  rc = avcodec_parameters_to_context(decoder, par);
  if (rc < 0) {
    progress.Fail(Why("the video stream parameters are not usable", rc));
    return false;
  }
  // The decoder allocates its own pictures before we see them: hold it to our limit.
  if (MaxImagePixels() != 0)
    decoder->max_pixels =
        static_cast<int64_t>(std::min<uint64_t>(MaxImagePixels(), std::numeric_limits<int>::max()));
  decoder->thread_count = threads;
  decoder->pkt_timebase = st->time_base;
  inOrder = !(codec->capabilities & AV_CODEC_CAP_DELAY);
  rc = avcodec_open2(decoder, codec, nullptr);
  if (rc < 0) {
    progress.Fail(Why("the video decoder cannot start", rc));
    return false;
  }
  return true;
}

bool TAVIReader::Impl::ConvertOneBit(const AVFrame* f, TBitmap& bitmap,
                                     const TProgressRec& progress) {
  const auto pf = static_cast<AVPixelFormat>(f->format);
  // Bit 0 is the dark colour in a 1-bit bitmap; find which stored value is the dark one.
  bool invert = pf == AV_PIX_FMT_MONOWHITE;
  const uint32_t* pal =
      pf == AV_PIX_FMT_PAL8 ? reinterpret_cast<const uint32_t*>(f->data[1]) : nullptr;
  auto grey = [](uint32_t argb) {
    return RGBToGray(CreateRGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF));
  };
  if (pal) invert = grey(pal[0]) > grey(pal[1]);
  if (!PrepareBitmap(bitmap, f->width, f->height, pf1bit, progress)) return false;
  const int w = f->width;
  for (int y = 0; y < f->height; ++y) {
    const uint8_t* src = f->data[0] + static_cast<ptrdiff_t>(y) * f->linesize[0];
    uint8_t* dst = bitmap.ScanLine(y);
    std::memset(dst, 0, bitmap.RowLen());
    if (pal) {
      for (int x = 0; x < w; ++x)
        if ((src[x] & 1) != static_cast<int>(invert)) dst[x >> 3] |= 0x80 >> (x & 7);
    } else {
      const int bytes = (w + 7) / 8;
      for (int i = 0; i < bytes; ++i) dst[i] = invert ? ~src[i] : src[i];
      if (w % 8) dst[bytes - 1] &= static_cast<uint8_t>(0xFF00 >> (w % 8));
    }
  }
  return true;
}

bool TAVIReader::Impl::Convert(const AVFrame* f, TBitmap& bitmap, const TProgressRec& progress) {
  if (f->width <= 0 || f->height <= 0) {
    progress.Fail("AVI: frame " + std::to_string(framesRead) + " has no pixels");
    return false;
  }
  const auto pf = static_cast<AVPixelFormat>(f->format);
  if (bitCount == 1 && (IsOneBit(pf) || pf == AV_PIX_FMT_PAL8))
    return ConvertOneBit(f, bitmap, progress);
  bool fullRange = f->color_range == AVCOL_RANGE_JPEG;
  const AVPixelFormat source = WithoutJpegRange(pf, fullRange);
  // Same filter as FFmpeg's own conversion, so lossy frames come out as its tools show them.
  const TSwsKey key{f->width, f->height, source, fullRange, f->colorspace};
  if (!sws || !(key == swsKey)) {
    sws_freeContext(sws);
    sws = sws_getContext(f->width, f->height, source, f->width, f->height, AV_PIX_FMT_BGR24,
                         SWS_BICUBIC, nullptr, nullptr, nullptr);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(source);
    if (sws && desc && !(desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL))) {
      // YUV: the matrix the frame names (BT.601 when it names none) and its range.
      const int matrix = f->colorspace == AVCOL_SPC_UNSPECIFIED ? SWS_CS_DEFAULT : f->colorspace;
      sws_setColorspaceDetails(sws, sws_getCoefficients(matrix), fullRange ? 1 : 0,
                               sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    }
    swsKey = key;
  }
  if (!sws) {
    const char* name = av_get_pix_fmt_name(pf);
    progress.Fail("AVI: frames of pixel format " + std::string(name ? name : "unknown") +
                  " cannot be converted");
    return false;
  }
  if (!PrepareBitmap(bitmap, f->width, f->height, pf24bit, progress)) return false;
  uint8_t* dst[4] = {bitmap.ScanLine(0), nullptr, nullptr, nullptr};
  int dstStride[4] = {bitmap.RowLen(), 0, 0, 0};
  sws_scale(sws, f->data, f->linesize, 0, f->height, dst, dstStride);
  return true;
}

TAVIReadResult TAVIReader::Impl::Deliver(const AVFrame* f, TBitmap& bitmap,
                                         const TProgressRec& progress) {
  if (!Convert(f, bitmap, progress)) return avirFailed;
  ++framesRead;
  return avirFrame;
}

TAVIReadResult TAVIReader::Impl::TakeDecoded(TBitmap& bitmap, const TProgressRec& progress) {
  const int64_t ts = frame->best_effort_timestamp;
  // Each frame of an AVI takes one tick of the stream's time base; a frame that comes
  // later than the next tick follows dropped frames (empty chunks), during which the
  // picture before stays. How many are made up is bounded by the declared length and by
  // what the data can hold (a dropped frame takes at least an 8-byte chunk header).
  // Decoders that reorder frames guess their timestamps, so only frames that come out in
  // stored order are trusted to show a gap.
  int64_t gap = 0;
  if (inOrder && last->data[0] && ts != AV_NOPTS_VALUE && nextTs != AV_NOPTS_VALUE && ts > nextTs)
    gap = std::min({ts - nextTs, int64_t{std::max(0, frameCount - framesRead - 1)}, repeatBudget});
  if (gap > 0) {
    repeatBudget -= gap;
    av_frame_unref(pending);
    av_frame_move_ref(pending, frame);
    repeats = gap - 1;
    ++nextTs;
    return Deliver(last, bitmap, progress);
  }
  av_frame_unref(last);
  av_frame_move_ref(last, frame);
  nextTs = (ts != AV_NOPTS_VALUE ? ts : nextTs) + 1;
  return Deliver(last, bitmap, progress);
}

TAVIReadResult TAVIReader::Impl::Read(TBitmap& bitmap, const TProgressRec& progress) {
  if (pending->data[0]) {
    if (repeats > 0) {
      --repeats;
      ++nextTs;
      return Deliver(last, bitmap, progress);
    }
    av_frame_unref(frame);
    av_frame_move_ref(frame, pending);
    return TakeDecoded(bitmap, progress);
  }
  for (;;) {
    int rc = avcodec_receive_frame(decoder, frame);
    if (rc == 0) return TakeDecoded(bitmap, progress);
    if (rc == AVERROR_EOF) break;
    if (rc != AVERROR(EAGAIN)) {
      progress.Fail(Why("frame " + std::to_string(framesRead) + " cannot be decoded", rc));
      return avirFailed;
    }
    if (flushed) break;

    rc = av_read_frame(format, packet);
    if (rc == AVERROR_EOF) {
      // Let the decoder hand out the frames it still holds.
      avcodec_send_packet(decoder, nullptr);
      flushed = true;
      continue;
    }
    if (rc < 0) {
      progress.Fail(
          !io->StreamError().empty()
              ? "AVI: " + io->StreamError()
              : Why("the file cannot be read after frame " + std::to_string(framesRead), rc));
      return avirFailed;
    }
    // An empty packet would tell the decoder to drain: a dropped frame is made up from
    // the timestamps instead.
    if (packet->stream_index != streamIndex || packet->size == 0) {
      av_packet_unref(packet);
      continue;
    }
    rc = avcodec_send_packet(decoder, packet);
    av_packet_unref(packet);
    if (rc < 0 && rc != AVERROR(EAGAIN)) {
      progress.Fail(Why("frame " + std::to_string(framesRead) + " cannot be decoded", rc));
      return avirFailed;
    }
  }
  // The index promised more frames than the data holds: the file is cut short.
  if (frameCount > 0 && framesRead < frameCount) {
    progress.Fail("AVI: the file ends after " + std::to_string(framesRead) + " of " +
                  std::to_string(frameCount) + " frames");
    return avirFailed;
  }
  return avirEnd;
}

TAVIReader::TAVIReader() : impl_(std::make_unique<Impl>()) {}
TAVIReader::~TAVIReader() = default;

bool TAVIReader::Open(const std::string& fileName, const TProgressRec& progress) {
  Close();
  try {
    impl_->file = std::make_unique<TFileStream>(fileName, fmOpenRead);
  } catch (const EVXError& e) {
    progress.Fail(e.what());
    return false;
  } catch (const std::bad_alloc&) {
    progress.FailOutOfMemory("for the AVI reader");
    return false;
  }
  if (!impl_->Open(*impl_->file, progress)) {
    Close();
    return false;
  }
  impl_->fileName = fileName;
  return true;
}

bool TAVIReader::Open(TStream& stream, const TProgressRec& progress) {
  Close();
  if (!impl_->Open(stream, progress)) {
    Close();
    return false;
  }
  return true;
}

void TAVIReader::Close() {
  const int threads = impl_->threads;
  impl_ = std::make_unique<Impl>();
  impl_->threads = threads;
}

bool TAVIReader::IsOpen() const {
  return impl_->decoder != nullptr;
}
int TAVIReader::FrameCount() const {
  return impl_->frameCount;
}
int TAVIReader::DelayMs() const {
  return impl_->delayMs;
}
double TAVIReader::FramesPerSecond() const {
  return impl_->fps;
}
int TAVIReader::Width() const {
  return impl_->width;
}
int TAVIReader::Height() const {
  return impl_->height;
}
int TAVIReader::BitCount() const {
  return impl_->bitCount;
}
std::string TAVIReader::CodecName() const {
  return impl_->decoder ? avcodec_get_name(impl_->decoder->codec_id) : "";
}
int TAVIReader::FramesRead() const {
  return impl_->framesRead;
}
void TAVIReader::SetDecoderThreads(int threads) {
  impl_->threads = std::max(threads, 0);
}
int TAVIReader::DecoderThreads() const {
  return impl_->threads;
}

TAVIReadResult TAVIReader::ReadFrame(TBitmap& bitmap, const TProgressRec& progress) {
  if (!IsOpen()) {
    progress.Fail("AVI: no file is open");
    return avirFailed;
  }
  try {
    return impl_->Read(bitmap, progress);
  } catch (const std::bad_alloc&) {
    progress.FailOutOfMemory("while decoding AVI frames");
    return avirFailed;
  }
}

void TAVIReader::FillParams(TIOParamsVals& params, const TBitmap& bitmap, int index) const {
  params.GIF_DelayTime = impl_->delayMs;
  switch (impl_->bitCount) {
    case 1:
    case 4:
    case 8:
      params.BitsPerSample = impl_->bitCount;
      params.SamplesPerPixel = 1;
      break;
    case 15:
      params.BitsPerSample = 5;
      params.SamplesPerPixel = 3;
      break;
    default:
      params.BitsPerSample = 8;
      params.SamplesPerPixel = 3;
      break;
  }
  params.GIF_ImageIndex = index;
  params.TIFF_ImageIndex = index;
  params.DpiX = gSystemDPIX;
  params.DpiY = gSystemDPIY;
  params.Width = bitmap.Width();
  params.Height = bitmap.Height();
  params.FileName = impl_->fileName;
  params.FileType = ioUnknown;
  params.FreeColorMap();
}

int ReadAVIFrames(const std::string& fileName, const TAVIFrameSink& sink,
                  const TProgressRec& progress) {
  TAVIReader reader;
  if (!reader.Open(fileName, progress)) return 0;
  int handed = 0;
  TBitmap bitmap;
  TIOParamsVals params;
  while (!progress.Aborted()) {
    if (reader.ReadFrame(bitmap, progress) != avirFrame) break;
    params.SetDefaultParams();
    reader.FillParams(params, bitmap, handed);
    const bool more = sink(bitmap, params, handed);
    ++handed;
    progress.Report(std::min(100, PercentOf(handed, std::max(reader.FrameCount(), handed))));
    if (!more) break;
  }
  return handed;
}

}  // namespace vx
