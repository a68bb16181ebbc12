// "vxtool capture" hands its arguments to vxtool-capture, the program beside this one
// that holds the video capture layer.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"

namespace vxtool {

int RunCapture(const std::vector<std::string>& args) {
  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  std::string program = "vxtool-capture";
  if (n > 0) {
    std::string path(self, static_cast<size_t>(n));
    program = path.substr(0, path.rfind('/') + 1) + program;
  }
  std::vector<std::string> all{program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::fflush(nullptr);
  ::execv(program.c_str(), argv.data());
  std::fprintf(stderr, "vxtool: cannot run %s: %s\n", program.c_str(), std::strerror(errno));
  return 1;
}

}  // namespace vxtool
