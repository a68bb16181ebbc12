#include "testsupport.h"

#include <unistd.h>
#include <cstdio>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include "core/vxdefs.h"
#include "platform/bitmap.h"

namespace fs = std::filesystem;

namespace vxtest {

std::string CorpusDir() {
  if (const char* env = std::getenv("VX_CORPUS_DIR")) return env;
  return VX_CORPUS_DIR;
}

std::string CorpusPath(const std::string& relative) {
  return CorpusDir() + "/" + relative;
}

std::vector<std::string> CorpusFiles(const std::string& subfolder,
                                     const std::vector<std::string>& extensions) {
  std::vector<std::string> out;
  const fs::path dir = fs::path(CorpusDir()) / subfolder;
  if (!fs::exists(dir)) return out;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (!e.is_regular_file()) continue;
    std::string ext = e.path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
    if (extensions.empty() ||
        std::find(extensions.begin(), extensions.end(), ext) != extensions.end())
      out.push_back(e.path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

namespace {

// Removes the process's temporary folder when the process ends (only in the process that
// made it: a forked child must not take its parent's files away).
struct TTempFolder {
  std::string path;
  pid_t owner = 0;
  ~TTempFolder() {
    if (owner != ::getpid()) return;
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

}  // namespace

std::string TempDir() {
  static const TTempFolder folder = [] {
    fs::path p = fs::temp_directory_path() / ("vxtest-" + std::to_string(::getpid()));
    fs::remove_all(p);
    fs::create_directories(p);
    return TTempFolder{p.string(), ::getpid()};
  }();
  return folder.path;
}

std::string RunCommand(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

bool CommandSucceeds(const std::string& cmd) {
  return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0;
}

std::vector<uint8_t> BitmapRGB(const vx::TBitmap& b) {
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(b.Width()) * static_cast<size_t>(b.Height()) * 3);
  for (int y = 0; y < b.Height(); ++y) {
    const uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < b.Width(); ++x) {
      if (b.PixelFormat() == vx::pf1bit) {
        const uint8_t v = vx::GetPixelbw(row, x) ? 255 : 0;
        out.insert(out.end(), {v, v, v});
      } else {
        out.insert(out.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
      }
    }
  }
  return out;
}

}  // namespace vxtest
