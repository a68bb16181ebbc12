#include "io/safesave.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/exceptions.h"
#include "platform/stream.h"

namespace vx {

namespace {

// Mode a newly created file gets: what the process umask allows of rw-rw-rw-.
mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

void SaveFileAtomically(const std::string& fileName,
                        const std::function<bool(TFileStream& out)>& write) {
  namespace fs = std::filesystem;
  const fs::path target(fileName);
  const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string pattern = (dir / ("." + target.filename().string() + ".vxtmp-XXXXXX")).string();
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0)
    throw EFCreateError("Cannot create file \"" + fileName + "\": " + std::strerror(errno));
  ::close(fd);
  struct stat st {};
  ::chmod(pattern.c_str(),
          ::stat(fileName.c_str(), &st) == 0 ? (st.st_mode & 07777) : NewFileMode());
  bool ok = false;
  try {
    TFileStream out(pattern, fmOpenReadWrite);
    ok = write(out);
  } catch (...) {
    std::remove(pattern.c_str());
    throw;
  }
  if (!ok) {
    std::remove(pattern.c_str());
    return;
  }
  if (std::rename(pattern.c_str(), fileName.c_str()) != 0) {
    const std::string why = std::strerror(errno);
    std::remove(pattern.c_str());
    throw EFCreateError("Cannot replace file \"" + fileName + "\": " + why);
  }
}

}  // namespace vx
