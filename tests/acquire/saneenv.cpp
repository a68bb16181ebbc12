#include "saneenv.h"

#include <dlfcn.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "acquire/imscan.h"
#include "testsupport.h"

namespace vxtest {

namespace {

std::string ConfigDir() {
  static const std::string dir = TempDir() + "/sane.d";
  return dir;
}

void WriteTestConf(const std::string& readStatus, bool handScanner) {
  std::ofstream conf(ConfigDir() + "/test.conf");
  // The defaults of the backend, except a colour test picture and a scan area large
  // enough for A4.
  conf << "number_of_devices 2\nmode Gray\ndepth 8\nhand-scanner "
       << (handScanner ? "true" : "false")
       << "\nthree-pass false\n"
          "three-pass-order RGB\nresolution_min 1.0\nresolution_max 1200.0\n"
          "resolution_quant 1.0\nresolution 50.0\ntest-picture \"Color pattern\"\n"
          "invert-endianess false\nread-limit false\nread-limit-size 1\nread-delay false\n"
          "read-delay-duration 1000\nread-status-code \""
       << readStatus
       << "\"\nfuzzy-parameters false\nppl-loss 0\nnon-blocking false\nselect-fd false\n"
          "enable-test-options false\ngeometry_min 0.0\ngeometry_max 300.0\n"
          "geometry_quant 1.0\ntl_x 0.0\ntl_y 0.0\nbr_x 80.0\nbr_y 100.0\n";
}

}  // namespace

void UseSaneTestBackend(const std::string& readStatus, bool handScanner) {
  static bool once = [] {
    std::system(("mkdir -p '" + ConfigDir() + "'").c_str());
    std::ofstream(ConfigDir() + "/dll.conf") << "test\n";
    setenv("SANE_CONFIG_DIR", ConfigDir().c_str(), 1);
    // Keeps the test backend mapped across sane_exit, so that what it does (and any
    // memory it loses) can be named in a report.
    dlopen("/usr/lib/x86_64-linux-gnu/sane/libsane-test.so.1", RTLD_NOW | RTLD_NODELETE);
    vx::SetTwainManagerChoice(vx::TVXTWManagerChoice::twmBuiltin);
    return true;
  }();
  (void)once;
  WriteTestConf(readStatus, handScanner);
}

bool ReadPnm(const std::string& bytes, Pnm& out) {
  std::istringstream in(bytes);
  std::string magic;
  in >> magic;
  if (magic.size() != 2 || magic[0] != 'P' ||
      (magic[1] != '4' && magic[1] != '5' && magic[1] != '6'))
    return false;
  out.kind = magic[1];
  auto next = [&](int& v) {
    in >> std::ws;
    while (in.peek() == '#') {
      std::string line;
      std::getline(in, line);
      in >> std::ws;
    }
    return static_cast<bool>(in >> v);
  };
  int maxval = 1;
  if (!next(out.width) || !next(out.height)) return false;
  if (out.kind != '4' && !next(maxval)) return false;
  in.get();  // the one whitespace byte before the samples
  const size_t row = out.kind == '4'   ? (static_cast<size_t>(out.width) + 7) / 8
                     : out.kind == '5' ? static_cast<size_t>(out.width)
                                       : static_cast<size_t>(out.width) * 3;
  out.data.resize(row * static_cast<size_t>(out.height));
  in.read(reinterpret_cast<char*>(out.data.data()), static_cast<std::streamsize>(out.data.size()));
  return static_cast<size_t>(in.gcount()) == out.data.size() &&
         maxval == (out.kind == '4' ? 1 : 255);
}

std::string ScanImage(const std::string& device, const std::string& options) {
  return RunCommand("scanimage -d '" + device + "' --format=pnm " + options + " 2>/dev/null");
}

}  // namespace vxtest

// SANE's test backend loses its reader's buffer when a scan is cancelled while the
// reader runs (it is freed by nothing after the thread is cancelled); that is the
// backend's, not ours, and only that is excused.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libsane-test.so\n";
}
