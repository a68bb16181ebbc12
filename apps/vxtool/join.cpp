// vxtool join: images (single files, or every image of GIF, TIFF and AVI inputs) into one
// multi-page TIFF, animated GIF or AVI.
#include <cstdio>
#include <cstdlib>

#include "commands.h"
#include "io/vantixio.h"
#include "loadsave.h"
#include "multiframe.h"
#include "platform/exceptions.h"
#include "progress.h"

namespace vxtool {

namespace {

constexpr int kDefaultDelay = 100;

const char kJoinUsage[] =
    "usage: vxtool join OUT IN... [--delay MS] [--codec NAME] [--quality N]\n"
    "  OUT ends in .tif/.tiff, .gif or .avi; GIF, TIFF and AVI inputs give all their images\n"
    "  --delay MS    the delay of every image (default: each input's own, else 100 ms)\n"
    "  --codec NAME  AVI: none, mjpeg, ffv1, huffyuv, mpeg4; TIFF: none, lzw, packbits, deflate\n"
    "  --quality N   Motion JPEG quality 1..100 (default 75)\n";

bool TakeOption(std::vector<std::string>& args, const std::string& name, std::string& value,
                bool& bad) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] != name) continue;
    if (i + 1 >= args.size()) {
      bad = true;
      return false;
    }
    value = args[i + 1];
    args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
               args.begin() + static_cast<std::ptrdiff_t>(i + 2));
    return true;
  }
  return false;
}

}  // namespace

int RunJoin(const std::vector<std::string>& allArgs) {
  std::vector<std::string> args = allArgs;
  std::string delayText, qualityText;
  WriteSettings settings;
  bool bad = false;
  const bool fixedDelay = TakeOption(args, "--delay", delayText, bad);
  TakeOption(args, "--codec", settings.codec, bad);
  const bool haveQuality = TakeOption(args, "--quality", qualityText, bad);
  int delay = kDefaultDelay;
  std::string error;
  if (bad || args.size() < 2 || (fixedDelay && !ParseIntArg(delayText, 0, 655350, delay, error)) ||
      (haveQuality && !ParseIntArg(qualityText, 1, 100, settings.quality, error))) {
    if (!error.empty()) std::fprintf(stderr, "vxtool: %s\n", error.c_str());
    std::fputs(kJoinUsage, stderr);
    return 2;
  }
  const std::string out = args[0];
  const MultiFormat format = MultiFormatOf(out);
  if (format == MultiFormat::None) {
    std::fprintf(stderr, "vxtool: \"%s\" must end in .tif, .tiff, .gif or .avi\n", out.c_str());
    return 2;
  }
  if (!CheckCodec(format, settings.codec, error)) {
    std::fprintf(stderr, "vxtool: %s\n", error.c_str());
    return 2;
  }

  std::unique_ptr<FrameWriter> writer = MakeFrameWriter(out, format, settings);
  bool aborting = false;
  vx::TFailure failure;
  vx::TProgressRec progress;
  progress.Aborting = &aborting;
  progress.Failure = &failure;
  int written = 0;
  auto add = [&](const vx::TBitmap& bitmap, int ownDelay) {
    if (!writer->Add(bitmap, fixedDelay ? delay : ownDelay, progress)) return false;
    ++written;
    return true;
  };

  for (size_t i = 1; i < args.size() && !aborting; ++i) {
    const std::string& in = args[i];
    const MultiFormat inFormat = MultiFormatOf(in);
    if (inFormat == MultiFormat::None) {
      vx::TBitmap bitmap;
      vx::TVantixIO io;
      io.SetAttachedBitmap(&bitmap);
      if (!LoadWithProgress(io, in)) return 1;
      if (!add(bitmap, kDefaultDelay)) break;
      continue;
    }
    ProgressBar bar("reading " + in);
    progress.ProgressEvent = bar.Handler();
    const int n = ReadAllFrames(
        in, inFormat, [&](const FrameInfo& f) { return add(f.bitmap, f.delayMs); }, progress);
    progress.ProgressEvent = nullptr;
    if (n == 0 && !aborting) {
      std::fprintf(stderr, "vxtool: \"%s\" holds no images\n", in.c_str());
      return 1;
    }
  }
  if (!aborting && written > 0) writer->Finish(progress);
  if (aborting) {
    std::fprintf(stderr, "vxtool: joining into \"%s\" failed: %s\n", out.c_str(),
                 failure.Reason.empty() ? "no reason given" : failure.Reason.c_str());
    return 1;
  }
  std::printf("%s: %d %s written as %s\n", out.c_str(), written, written == 1 ? "image" : "images",
              MultiFormatName(format));
  return 0;
}

}  // namespace vxtool
