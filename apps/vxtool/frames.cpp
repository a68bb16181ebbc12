// vxtool frames: the images of a GIF, TIFF or AVI with their size, depth and delay.
#include <cstdio>

#include "commands.h"
#include "multiframe.h"
#include "progress.h"

namespace vxtool {

int RunFrames(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: vxtool frames FILE (.gif, .tif, .tiff, .avi)\n");
    return 2;
  }
  const std::string& file = args[0];
  const MultiFormat format = MultiFormatOf(file);
  if (format == MultiFormat::None) {
    std::fprintf(stderr, "vxtool: \"%s\" is not a GIF, TIFF or AVI file name\n", file.c_str());
    return 2;
  }
  if (format == MultiFormat::Avi) {
    QuietFFmpeg();
    vx::TAVIReader reader;
    bool aborting = false;
    vx::TFailure failure;
    vx::TProgressRec quiet;
    quiet.Aborting = &aborting;
    quiet.Failure = &failure;
    if (reader.Open(file, quiet))
      std::printf("%s: AVI, %s video, %d x %d, %.3f frames a second, %d frames declared\n",
                  file.c_str(), reader.CodecName().c_str(), reader.Width(), reader.Height(),
                  reader.FramesPerSecond(), reader.FrameCount());
  }

  bool aborting = false;
  vx::TFailure failure;
  ProgressBar bar("reading " + file);
  vx::TProgressRec progress;
  progress.ProgressEvent = bar.Handler();
  progress.Aborting = &aborting;
  progress.Failure = &failure;
  std::vector<std::string> lines;
  const int count = ReadAllFrames(
      file, format,
      [&](const FrameInfo& f) {
        char line[160];
        std::snprintf(line, sizeof line, "%5d  %d x %d, %d bits, delay %d ms", f.index,
                      f.bitmap.Width(), f.bitmap.Height(),
                      f.params.BitsPerSample * f.params.SamplesPerPixel, f.delayMs);
        lines.emplace_back(line);
        return true;
      },
      progress);
  std::printf("%s: %d %s\n", file.c_str(), count, count == 1 ? "image" : "images");
  for (const auto& line : lines) std::printf("%s\n", line.c_str());
  if (aborting) {
    std::fprintf(stderr, "vxtool: reading \"%s\" failed after %d images: %s\n", file.c_str(), count,
                 failure.Reason.empty() ? "no reason given" : failure.Reason.c_str());
    return 1;
  }
  return 0;
}

}  // namespace vxtool
