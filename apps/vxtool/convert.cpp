// vxtool convert: load, set parameters by name, save; --auto-orient first turns the
// image the way its file's orientation says it is meant to be seen.
#include <cstdio>

#include "commands.h"
#include "io/fileformats.h"
#include "io/paramfields.h"
#include "io/vantixio.h"
#include "loadsave.h"
#include "platform/bitmap.h"
#include "platform/exceptions.h"
#include "proc/orientation.h"
#include "progress.h"

namespace vxtool {

namespace {

// The picture size asked of a metafile; -1 on a side keeps the aspect ratio.
struct MetafileSize {
  bool given = false;
  int width = -1, height = -1;
};

bool TakeMetafileSize(const std::string& option, const std::string& value, MetafileSize& size) {
  std::string error;
  int n = 0;
  if (!ParseIntArg(value, -1, 1 << 20, n, error) || n == 0) return false;
  (option == "--width" ? size.width : size.height) = n;
  size.given = true;
  return true;
}

bool ImportMetafileWithSize(vx::TVantixIO& io, const std::string& in, const MetafileSize& size) {
  io.ImportMetafile(in, size.width, size.height);
  if (io.Aborting() || !io.Bitmap() || io.Bitmap()->Empty()) {
    std::fprintf(stderr, "vxtool: importing \"%s\" failed: %s\n", in.c_str(),
                 io.LastError().empty() ? "not a metafile" : io.LastError().c_str());
    return false;
  }
  return true;
}

}  // namespace

int RunConvert(const std::vector<std::string>& allArgs) {
  std::vector<std::string> args;
  bool autoOrient = false;
  MetafileSize metaSize;
  for (size_t i = 0; i < allArgs.size(); ++i) {
    const std::string& a = allArgs[i];
    if (a == "--auto-orient") {
      autoOrient = true;
    } else if (a == "--width" || a == "--height") {
      if (i + 1 >= allArgs.size() || !TakeMetafileSize(a, allArgs[i + 1], metaSize)) {
        std::fprintf(stderr, "vxtool: %s needs a whole number of pixels (-1 keeps the aspect)\n",
                     a.c_str());
        return 2;
      }
      ++i;
    } else {
      args.push_back(a);
    }
  }
  if (args.size() < 2) {
    std::fprintf(stderr,
                 "usage: vxtool convert IN OUT [NAME=VALUE...] [--auto-orient] "
                 "[--width W] [--height H]\n");
    return 2;
  }
  const std::string& in = args[0];
  const std::string& out = args[1];
  std::vector<std::pair<std::string, std::string>> settings;
  for (size_t i = 2; i < args.size(); ++i) {
    const size_t eq = args[i].find('=');
    if (eq == std::string::npos || eq == 0) {
      std::fprintf(stderr, "vxtool: \"%s\" is not NAME=VALUE\n", args[i].c_str());
      return 2;
    }
    settings.emplace_back(args[i].substr(0, eq), args[i].substr(eq + 1));
  }

  vx::TBitmap bitmap;
  vx::TVantixIO io;
  io.SetAttachedBitmap(&bitmap);
  // Check the settings before doing any work.
  {
    vx::TIOParamsVals probe;
    for (const auto& [name, value] : settings) {
      std::string error;
      if (!vx::SetParamByName(probe, name, value, error)) {
        std::fprintf(stderr, "vxtool: %s\n", error.c_str());
        return 2;
      }
    }
  }
  if (metaSize.given ? !ImportMetafileWithSize(io, in, metaSize) : !LoadWithProgress(io, in))
    return 1;
  // Only the TIFF reader sets an orientation; every other file keeps the default 1.
  if (autoOrient && !vx::ApplyOrientation(bitmap, io.Params().TIFF_Orientation)) {
    std::fprintf(stderr, "vxtool: cannot turn a %d x %d image of this pixel format\n",
                 bitmap.Width(), bitmap.Height());
    return 1;
  }
  for (const auto& [name, value] : settings) {
    std::string error;
    vx::SetParamByName(io.Params(), name, value, error);
  }
  if (!SaveWithProgress(io, out)) return 1;
  std::printf("%s -> %s: %d x %d, written as %s\n", in.c_str(), out.c_str(), bitmap.Width(),
              bitmap.Height(), TypeName(vx::FindFileFormat(out, false)).c_str());
  return 0;
}

}  // namespace vxtool
