#include "loadsave.h"

#include <cstdio>

#include "io/vantixio.h"
#include "platform/bitmap.h"
#include "platform/exceptions.h"
#include "progress.h"

namespace vxtool {

bool LoadWithProgress(vx::TVantixIO& io, const std::string& fileName) {
  try {
    ProgressBar bar("loading " + fileName);
    io.OnProgress = bar.Handler();
    io.LoadFromFile(fileName);
    io.OnProgress = nullptr;
  } catch (const vx::EVXError& e) {
    io.OnProgress = nullptr;
    std::fprintf(stderr, "vxtool: %s\n", e.what());
    return false;
  }
  if (io.Aborting() || !io.Bitmap() || io.Bitmap()->Empty()) {
    std::fprintf(stderr, "vxtool: loading \"%s\" failed\n", fileName.c_str());
    return false;
  }
  return true;
}

bool SaveWithProgress(vx::TVantixIO& io, const std::string& fileName) {
  try {
    ProgressBar bar("saving " + fileName);
    io.OnProgress = bar.Handler();
    io.SaveToFile(fileName);
    io.OnProgress = nullptr;
  } catch (const vx::EVXError& e) {
    io.OnProgress = nullptr;
    std::fprintf(stderr, "vxtool: %s\n", e.what());
    return false;
  }
  if (io.Aborting()) {
    std::fprintf(stderr,
                 "vxtool: saving \"%s\" failed (format not writable here, or the writer "
                 "refused the image)\n",
                 fileName.c_str());
    return false;
  }
  return true;
}

}  // namespace vxtool
