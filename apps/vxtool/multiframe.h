#pragma once
// Reading and writing every image of a multi-image file (GIF frames, TIFF pages, AVI
// frames) for the frames, split and join commands.
#include <functional>
#include <memory>
#include <string>

#include "core/vxdefs.h"
#include "io/ioparams.h"
#include "multi/avifile.h"
#include "platform/bitmap.h"

namespace vxtool {

enum class MultiFormat { None, Gif, Tiff, Avi };

// Silences FFmpeg's own messages: the tool reports every failure itself, and the
// decoders' complaints about a broken frame would only repeat it.
void QuietFFmpeg();

// By the lower-cased extension: .gif, .tif / .tiff, .avi.
MultiFormat MultiFormatOf(const std::string& fileName);
const char* MultiFormatName(MultiFormat format);

// One image as read: its bitmap (the callee may take it with Swap), the parameter set
// its reader filled, its position and how long it is shown.
struct FrameInfo {
  vx::TBitmap& bitmap;
  vx::TIOParamsVals& params;
  int index;
  int delayMs;
};
using FrameSink = std::function<bool(const FrameInfo&)>;

// Reads every image of a GIF, TIFF or AVI in order; the sink returning false stops
// the reading. Delays: GIF frames their own (10 ms until the first frame that gives
// one, then the last one given), TIFF pages 100 ms, AVI frames the stream's frame
// duration. Returns the number of images handed over; a failure fails progress (the
// images before it were handed over).
int ReadAllFrames(const std::string& fileName, MultiFormat format, const FrameSink& sink,
                  vx::TProgressRec& progress);

// Collects images into a multi-image file.
class FrameWriter {
 public:
  virtual ~FrameWriter() = default;
  // False, with progress failed, when the image cannot be added.
  virtual bool Add(const vx::TBitmap& bitmap, int delayMs, vx::TProgressRec& progress) = 0;
  // Completes the file; false, with progress failed, when it cannot be written.
  virtual bool Finish(vx::TProgressRec& progress) = 0;
};

// Settings of the written file. codec: for AVI a compressor name (AVICompressorFromName),
// for TIFF a compression ("none", "lzw", "packbits", "deflate"); empty for the default.
struct WriteSettings {
  std::string codec;
  int quality = 75;  // Motion JPEG
};

// Checks the codec name for the format; false with error set.
bool CheckCodec(MultiFormat format, const std::string& codec, std::string& error);

// A writer for fileName. Throws vx::EVXError when the file cannot be created.
std::unique_ptr<FrameWriter> MakeFrameWriter(const std::string& fileName, MultiFormat format,
                                             const WriteSettings& settings);

}  // namespace vxtool
