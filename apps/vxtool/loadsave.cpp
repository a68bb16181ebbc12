#include "loadsave.h"

#include <cstdio>

#include "io/vantixio.h"
#include "platform/bitmap.h"
#include "platform/exceptions.h"
#include "progress.h"

namespace vxtool {

namespace {

void ReportFailure(const char* step, const std::string& fileName, const std::string& reason) {
  std::fprintf(stderr, "vxtool: %s \"%s\" failed: %s\n", step, fileName.c_str(),
               reason.empty() ? "no reason given" : reason.c_str());
  if (reason.find("pixel limit") != std::string::npos)
    std::fprintf(stderr,
                 "vxtool: the limit guards against files that claim huge sizes; raise it with "
                 "--max-pixels N (0 = no limit)\n");
}

}  // namespace

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
    ReportFailure("loading", fileName, io.LastError());
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
    // The PNG writer reports by exception; the component still knows the cause.
    if (!io.LastError().empty() && io.LastError() != e.what())
      std::fprintf(stderr, "vxtool: %s: %s\n", e.what(), io.LastError().c_str());
    else
      std::fprintf(stderr, "vxtool: %s\n", e.what());
    return false;
  }
  if (io.Aborting()) {
    ReportFailure("saving", fileName, io.LastError());
    return false;
  }
  return true;
}

}  // namespace vxtool
