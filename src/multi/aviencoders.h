#pragma once
// Which FFmpeg encoder and pixel format stand behind each compressor. Private to src/multi.
extern "C" {
#include <libavcodec/codec_id.h>
#include <libavutil/pixfmt.h>
}

#include "multi/avifile.h"

namespace vx::avi {

struct TEncoderChoice {
  AVCodecID Codec;
  AVPixelFormat PixelFormat;
};

TEncoderChoice EncoderFor(TAVICompressor compressor);

}  // namespace vx::avi
