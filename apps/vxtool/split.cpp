// vxtool split: every image of a GIF, TIFF or AVI into a file of its own.
#include <cstdio>

#include "commands.h"
#include "io/vantixio.h"
#include "loadsave.h"
#include "multiframe.h"
#include "progress.h"

namespace vxtool {

namespace {

// The one number field of a pattern: "%d", "%03d" and the like; "%%" is a percent sign.
// False with error set for a pattern without exactly one such field.
bool ExpandPattern(const std::string& pattern, int number, std::string& out, std::string& error) {
  out.clear();
  int fields = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') {
      out += pattern[i];
      continue;
    }
    if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    size_t j = i + 1;
    const bool zero = j < pattern.size() && pattern[j] == '0';
    int width = 0;
    while (j < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[j])) &&
           width < 100)
      width = width * 10 + (pattern[j++] - '0');
    if (j >= pattern.size() || pattern[j] != 'd' || width >= 100) {
      error = "the pattern may only hold one %d field (e.g. page-%03d.png)";
      return false;
    }
    std::string digits = std::to_string(number);
    if (static_cast<int>(digits.size()) < width)
      digits.insert(0, static_cast<size_t>(width) - digits.size(), zero ? '0' : ' ');
    out += digits;
    ++fields;
    i = j;
  }
  if (fields != 1) {
    error = "the pattern needs one %d field for the image number (e.g. page-%03d.png)";
    return false;
  }
  return true;
}

}  // namespace

int RunSplit(const std::vector<std::string>& args) {
  if (args.size() != 2) {
    std::fprintf(stderr, "usage: vxtool split IN OUT-PATTERN (e.g. page-%%03d.png)\n");
    return 2;
  }
  const std::string& in = args[0];
  const std::string& pattern = args[1];
  const MultiFormat format = MultiFormatOf(in);
  std::string error, probe;
  if (format == MultiFormat::None) {
    std::fprintf(stderr, "vxtool: \"%s\" is not a GIF, TIFF or AVI file name\n", in.c_str());
    return 2;
  }
  if (!ExpandPattern(pattern, 0, probe, error)) {
    std::fprintf(stderr, "vxtool: %s\n", error.c_str());
    return 2;
  }

  bool aborting = false;
  vx::TFailure failure;
  ProgressBar bar("splitting " + in);
  vx::TProgressRec progress;
  progress.ProgressEvent = bar.Handler();
  progress.Aborting = &aborting;
  progress.Failure = &failure;
  bool saved = true;
  const int count = ReadAllFrames(
      in, format,
      [&](const FrameInfo& f) {
        std::string out;
        ExpandPattern(pattern, f.index, out, error);
        vx::TVantixIO io;
        io.SetAttachedBitmap(&f.bitmap);
        // Written at the depth the bitmap has, whatever depth the frame was stored in.
        const bool mono = f.bitmap.PixelFormat() == vx::pf1bit;
        io.Params().BitsPerSample = mono ? 1 : 8;
        io.Params().SamplesPerPixel = mono ? 1 : 3;
        saved = SaveWithProgress(io, out);
        if (saved) std::printf("%s\n", out.c_str());
        return saved;
      },
      progress);
  if (!saved) return 1;
  if (aborting) {
    std::fprintf(stderr, "vxtool: reading \"%s\" failed after %d images: %s\n", in.c_str(), count,
                 failure.Reason.empty() ? "no reason given" : failure.Reason.c_str());
    return 1;
  }
  std::fprintf(stderr, "%s: %d %s written\n", in.c_str(), count, count == 1 ? "image" : "images");
  return 0;
}

}  // namespace vxtool
