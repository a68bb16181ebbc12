#pragma once
// A private SANE set-up for the acquisition tests: a config folder whose dll.conf names
// only the test backend, so that the devices test:0 and test:1 (and nothing of the
// machine's) appear.
#include <string>
#include <vector>

namespace vxtest {

// Writes the folder (once per process), points SANE_CONFIG_DIR at it and makes the
// built-in manager the one loaded. readStatus is the test backend's read-status-code
// ("Default", "SANE_STATUS_JAMMED", …); it can be changed between acquisitions.
// handScanner makes the backend a hand scanner, which does not know the image's length
// in advance.
void UseSaneTestBackend(const std::string& readStatus = "Default", bool handScanner = false);

// A PNM image (P4, P5 or P6) as written by scanimage.
struct Pnm {
  char kind = 0;  // '4', '5' or '6'
  int width = 0, height = 0;
  std::vector<uint8_t> data;  // rows as stored (P4: packed bits, 1 = black)
};
bool ReadPnm(const std::string& bytes, Pnm& out);

// scanimage's output for a device and options; empty when it fails.
std::string ScanImage(const std::string& device, const std::string& options);

}  // namespace vxtest
