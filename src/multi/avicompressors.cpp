// The compressors the AVI writer offers, their names and the frame-timing rules.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "multi/aviencoders.h"
#include "multi/avifile.h"

namespace vx {

namespace {

struct TCompressorRow {
  TAVICompressor Compressor;
  const char* Name;
  const char* Caption;
  AVCodecID Codec;
  AVPixelFormat PixelFormat;
};

// The pixel formats are those each encoder keeps our 24-bit pixels in best: exactly for
// the lossless ones, in the codec's usual sampling for the lossy ones.
constexpr TCompressorRow kCompressors[] = {
    {aviFullFrames, "none", "Full frames (uncompressed)", AV_CODEC_ID_RAWVIDEO, AV_PIX_FMT_BGR24},
    {aviMJPEG, "mjpeg", "Motion JPEG", AV_CODEC_ID_MJPEG, AV_PIX_FMT_YUVJ420P},
    {aviFFV1, "ffv1", "FFV1 (lossless)", AV_CODEC_ID_FFV1, AV_PIX_FMT_BGR0},
    {aviHuffyuv, "huffyuv", "Huffyuv (lossless)", AV_CODEC_ID_HUFFYUV, AV_PIX_FMT_RGB24},
    {aviMPEG4, "mpeg4", "MPEG-4 Part 2", AV_CODEC_ID_MPEG4, AV_PIX_FMT_YUV420P},
};

const TCompressorRow& Row(TAVICompressor c) {
  for (const auto& row : kCompressors)
    if (row.Compressor == c) return row;
  return kCompressors[0];
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

namespace avi {
TEncoderChoice EncoderFor(TAVICompressor compressor) {
  const auto& row = Row(compressor);
  return {row.Codec, row.PixelFormat};
}
}  // namespace avi

const std::vector<TAVICompressor>& AVICompressors() {
  static const std::vector<TAVICompressor> all = [] {
    std::vector<TAVICompressor> list;
    for (const auto& row : kCompressors) list.push_back(row.Compressor);
    return list;
  }();
  return all;
}

const char* AVICompressorCaption(TAVICompressor compressor) {
  return Row(compressor).Caption;
}

const char* AVICompressorName(TAVICompressor compressor) {
  return Row(compressor).Name;
}

bool AVICompressorFromName(std::string_view name, TAVICompressor& compressor) {
  if (SameName(name, "raw") || SameName(name, "uncompressed") || SameName(name, "rawvideo")) {
    compressor = aviFullFrames;
    return true;
  }
  for (const auto& row : kCompressors)
    if (SameName(name, row.Name)) {
      compressor = row.Compressor;
      return true;
    }
  return false;
}

bool AVICompressorAvailable(TAVICompressor compressor) {
  return avcodec_find_encoder(Row(compressor).Codec) != nullptr;
}

int AVIRateFromDelay(int delayMs) {
  return 1000 / std::max(delayMs, 1);
}

int AVIDelayFromRate(double fps) {
  if (!(fps > 0)) return 0;
  const double ms = std::trunc(1000.0 / fps);
  return ms >= std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                               : static_cast<int>(ms);
}

}  // namespace vx
