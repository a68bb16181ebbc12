#include "acquire/capturerecorder.h"

#include <chrono>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace vx {

namespace {

std::mutex& AudioInputMutex() {
  static std::mutex m;
  return m;
}
std::pair<std::string, std::string>& AudioInputChoice() {
  static std::pair<std::string, std::string> choice;
  return choice;
}

// The inputs tried for sound, in order.
std::vector<std::pair<std::string, std::string>> AudioCandidates() {
  std::lock_guard lock(AudioInputMutex());
  if (!AudioInputChoice().first.empty()) return {AudioInputChoice()};
  return {{"pulse", "default"}, {"alsa", "default"}};
}

AVFormatContext* OpenAudioInput(bool& generated) {
  avdevice_register_all();
  for (const auto& [format, device] : AudioCandidates()) {
    const AVInputFormat* input = av_find_input_format(format.c_str());
    if (!input) continue;
    AVFormatContext* ctx = nullptr;
    if (avformat_open_input(&ctx, device.c_str(), input, nullptr) < 0) continue;
    const int s = av_find_best_stream(ctx, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (s >= 0 && ctx->streams[s]->codecpar->codec_id == AV_CODEC_ID_PCM_S16LE) {
      generated = format == "lavfi";
      return ctx;
    }
    avformat_close_input(&ctx);
  }
  return nullptr;
}

}  // namespace

// Sound: packets of the audio input copied into the file's audio stream, on a thread of
// their own. A generated input (lavfi) is held back to real time like a device.
class TCapAvAudio {
 public:
  TCapAvAudio(AVFormatContext* input, bool generated) : input_(input), generated_(generated) {
    source_ = av_find_best_stream(input_, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  }
  ~TCapAvAudio() {
    Stop();
    avformat_close_input(&input_);
  }

  bool AddStream(AVFormatContext* output) {
    stream_ = avformat_new_stream(output, nullptr);
    if (!stream_) return false;
    if (avcodec_parameters_copy(stream_->codecpar, input_->streams[source_]->codecpar) < 0)
      return false;
    stream_->codecpar->codec_tag = 0;
    stream_->time_base = {
        1, stream_->codecpar->sample_rate > 0 ? stream_->codecpar->sample_rate : 44100};
    return true;
  }

  void Start(TCapRecorder& recorder) {
    thread_ = std::thread([this, &recorder] { Run(recorder); });
  }

  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }

 private:
  void Run(TCapRecorder& recorder) {
    AVPacket* packet = av_packet_alloc();
    if (!packet) return;
    const AVRational from = input_->streams[source_]->time_base;
    const auto start = std::chrono::steady_clock::now();
    int64_t first = AV_NOPTS_VALUE;
    while (!stop_) {
      if (av_read_frame(input_, packet) < 0) break;
      if (packet->stream_index != source_) {
        av_packet_unref(packet);
        continue;
      }
      if (first == AV_NOPTS_VALUE) first = packet->pts;
      packet->pts -= first;
      packet->dts = packet->pts;
      if (generated_) {
        const auto due =
            start + std::chrono::microseconds(av_rescale_q(packet->pts, from, {1, 1000000}));
        while (!stop_ && std::chrono::steady_clock::now() < due)
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      if (!stop_) recorder.WritePacket(packet, stream_, from.num, from.den);
      av_packet_unref(packet);
    }
    av_packet_free(&packet);
  }

  AVFormatContext* input_;
  bool generated_;
  int source_ = -1;
  AVStream* stream_ = nullptr;
  std::thread thread_;
  std::atomic<bool> stop_{false};
};

bool CapAudioInputAvailable() {
  bool generated = false;
  AVFormatContext* ctx = OpenAudioInput(generated);
  if (!ctx) return false;
  avformat_close_input(&ctx);
  return true;
}

void SetCapAudioInput(const std::string& format, const std::string& device) {
  std::lock_guard lock(AudioInputMutex());
  AudioInputChoice() = {format, device};
}

std::vector<TCapCompressor> capListCompressors() {
  struct TKnown {
    const char* Name;
    const char* Display;
    bool Quality;
  };
  static constexpr TKnown kKnown[] = {{"mjpeg", "Motion JPEG", true},
                                      {"rawvideo", "Uncompressed RGB", false},
                                      {"mpeg4", "MPEG-4 Part 2", true},
                                      {"ffv1", "FFV1 (lossless)", false},
                                      {"huffyuv", "HuffYUV (lossless)", false}};
  std::vector<TCapCompressor> list;
  for (const TKnown& k : kKnown)
    if (avcodec_find_encoder_by_name(k.Name)) list.push_back({k.Name, k.Display, 75, k.Quality});
  // The file is still Motion JPEG when the library was built without it: opening the
  // recording then fails and says so.
  if (list.empty() || list.front().Name != "mjpeg")
    list.insert(list.begin(), {"mjpeg", "Motion JPEG", 75, true});
  return list;
}

TCapRecorder::TCapRecorder() = default;
TCapRecorder::~TCapRecorder() {
  Close();
}

bool TCapRecorder::Open(const std::string& fileName, const TBitmapInfoHeader& format,
                        uint32_t microSecPerFrame, const TCapCompressor& compressor, bool audio) {
  Close();
  failed_ = false;
  format_ = format;
  frames_ = 0;
  lastSlot_ = -1;
  if (microSecPerFrame == 0 || format.biWidth <= 0 || format.biHeight == 0) return false;
  if (audio) {
    bool generated = false;
    AVFormatContext* input = OpenAudioInput(generated);
    if (!input) return false;
    audio_ = std::make_unique<TCapAvAudio>(input, generated);
  }
  if (avformat_alloc_output_context2(&context_, nullptr, "avi", fileName.c_str()) < 0 ||
      !context_) {
    Free();
    return false;
  }
  if (!OpenVideo(format, microSecPerFrame, compressor) ||
      (audio_ && !audio_->AddStream(context_)) ||
      avio_open(&context_->pb, fileName.c_str(), AVIO_FLAG_WRITE) < 0) {
    Free();
    return false;
  }
  if (avformat_write_header(context_, nullptr) < 0) {
    Free();
    return false;
  }
  if (audio_) audio_->Start(*this);
  return true;
}

bool TCapRecorder::OpenVideo(const TBitmapInfoHeader& format, uint32_t microSecPerFrame,
                             const TCapCompressor& compressor) {
  const AVCodec* codec =
      avcodec_find_encoder_by_name(compressor.Name.empty() ? "mjpeg" : compressor.Name.c_str());
  if (!codec) return false;
  encoder_ = avcodec_alloc_context3(codec);
  if (!encoder_) return false;
  encoder_->width = format.biWidth;
  encoder_->height = std::abs(format.biHeight);
  // The rate as a small fraction where one is that close (66,667 us is 15/1).
  encoder_->time_base = av_inv_q(av_d2q(1e6 / microSecPerFrame, 100000));
  encoder_->framerate = av_inv_q(encoder_->time_base);
  AVPixelFormat pf = AV_PIX_FMT_BGR24;
  if (codec->pix_fmts) {
    pf = codec->pix_fmts[0];
    for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p)
      if (*p == AV_PIX_FMT_BGR24) pf = *p;
  }
  encoder_->pix_fmt = pf;
  if (pf == AV_PIX_FMT_YUVJ420P || pf == AV_PIX_FMT_YUVJ422P)
    encoder_->color_range = AVCOL_RANGE_JPEG;
  if (compressor.HasQuality) {
    // Quality 100 is the finest quantiser (2), 1 the coarsest (31).
    const int q = 2 + (100 - std::clamp(compressor.Quality, 1, 100)) * 29 / 99;
    encoder_->flags |= AV_CODEC_FLAG_QSCALE;
    encoder_->global_quality = FF_QP2LAMBDA * q;
  }
  if (context_->oformat->flags & AVFMT_GLOBALHEADER) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (avcodec_open2(encoder_, codec, nullptr) < 0) return false;
  video_ = avformat_new_stream(context_, nullptr);
  if (!video_ || avcodec_parameters_from_context(video_->codecpar, encoder_) < 0) return false;
  video_->time_base = encoder_->time_base;
  video_->avg_frame_rate = encoder_->framerate;
  video_->r_frame_rate = encoder_->framerate;
  picture_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (!picture_ || !packet_) return false;
  picture_->format = pf;
  picture_->width = encoder_->width;
  picture_->height = encoder_->height;
  return av_frame_get_buffer(picture_, 0) >= 0;
}

bool TCapRecorder::WriteVideo(const TCapRawFrame& frame, int64_t slot) {
  if (!context_ || failed_ || slot <= lastSlot_) return false;
  // A picture the decoder cannot read (a damaged camera frame) leaves its slot empty.
  if (!decoder_.Decode(format_, frame.Data.data(), frame.Data.size(), decoded_)) return true;
  if (decoded_.Width() != encoder_->width || decoded_.Height() != encoder_->height ||
      decoded_.PixelFormat() != pf24bit)
    return true;
  if (av_frame_make_writable(picture_) < 0) {
    failed_ = true;
    return false;
  }
  sws_ = sws_getCachedContext(sws_, encoder_->width, encoder_->height, AV_PIX_FMT_BGR24,
                              encoder_->width, encoder_->height, encoder_->pix_fmt, SWS_BICUBIC,
                              nullptr, nullptr, nullptr);
  if (!sws_) {
    failed_ = true;
    return false;
  }
  const uint8_t* src[4] = {decoded_.ScanLine(0), nullptr, nullptr, nullptr};
  const int lines[4] = {decoded_.RowLen(), 0, 0, 0};
  sws_scale(sws_, src, lines, 0, encoder_->height, picture_->data, picture_->linesize);
  picture_->pts = slot;
  lastSlot_ = slot;
  if (!Encode(picture_)) {
    failed_ = true;
    return false;
  }
  ++frames_;
  return true;
}

bool TCapRecorder::Encode(AVFrame* frame) {
  if (avcodec_send_frame(encoder_, frame) < 0) return false;
  for (;;) {
    const int r = avcodec_receive_packet(encoder_, packet_);
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
    if (r < 0) return false;
    const bool ok = WritePacket(packet_, video_, encoder_->time_base.num, encoder_->time_base.den);
    av_packet_unref(packet_);
    if (!ok) return false;
  }
}

bool TCapRecorder::WritePacket(AVPacket* packet, AVStream* stream, int64_t num, int64_t den) {
  av_packet_rescale_ts(packet, AVRational{static_cast<int>(num), static_cast<int>(den)},
                       stream->time_base);
  packet->stream_index = stream->index;
  std::lock_guard lock(writeMutex_);
  if (!context_) return false;
  return av_interleaved_write_frame(context_, packet) >= 0;
}

bool TCapRecorder::Close() {
  if (!context_) return false;
  if (audio_) audio_->Stop();
  bool ok = !failed_;
  if (encoder_ && packet_) ok = Encode(nullptr) && ok;
  {
    std::lock_guard lock(writeMutex_);
    ok = av_write_trailer(context_) >= 0 && ok;
  }
  Free();
  return ok;
}

void TCapRecorder::Free() {
  audio_.reset();
  if (sws_) {
    sws_freeContext(sws_);
    sws_ = nullptr;
  }
  if (picture_) av_frame_free(&picture_);
  if (packet_) av_packet_free(&packet_);
  if (encoder_) avcodec_free_context(&encoder_);
  if (context_) {
    if (context_->pb) avio_closep(&context_->pb);
    avformat_free_context(context_);
    context_ = nullptr;
  }
  video_ = nullptr;
}

}  // namespace vx
