#include "testsupport.h"

#include <unistd.h>
#include <algorithm>
#include <cstdlib>
#include <filesystem>

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

std::string TempDir() {
  static const std::string dir = [] {
    fs::path p = fs::temp_directory_path() / ("vxtest-" + std::to_string(::getpid()));
    fs::remove_all(p);
    fs::create_directories(p);
    return p.string();
  }();
  return dir;
}

}  // namespace vxtest
