#include "acquire/capturedriver.h"

#include <map>
#include <mutex>

#include "acquire/captureinput.h"

namespace vx {

namespace {

std::mutex& SettingsMutex() {
  static std::mutex m;
  return m;
}

}  // namespace

TBitmapInfoHeader MakeCapFormat(int width, int height, uint32_t compression) {
  TBitmapInfoHeader h;
  h.biWidth = width;
  h.biHeight = height;
  h.biCompression = compression;
  h.biBitCount = static_cast<uint16_t>(CapBitCountOf(compression));
  h.biSizeImage = static_cast<uint32_t>(CapFrameBytes(h));
  return h;
}

TCapDriverSettings* FindCapDriverSettings(const std::string& key, bool create) {
  // Node-based map: the returned pointer stays valid while other drivers are added.
  static std::map<std::string, TCapDriverSettings> settings;
  std::lock_guard lock(SettingsMutex());
  auto it = settings.find(key);
  if (it != settings.end()) return &it->second;
  if (!create) return nullptr;
  return &settings[key];
}

std::vector<TCapDriverEntry> EnumerateCapDrivers() {
  std::vector<TCapDriverEntry> drivers = EnumerateV4L2Drivers();
  constexpr size_t kMaxDrivers = 10;
  if (drivers.size() > kMaxDrivers - 1) drivers.resize(kMaxDrivers - 1);
  drivers.push_back({"Vantix test pattern", "FFmpeg lavfi testsrc2", "testpattern",
                     [] { return MakeTestPatternDriver(); }});
  return drivers;
}

}  // namespace vx
