#pragma once
// The capture drivers behind the capture window: what a driver can do, the list of
// installed drivers, and the seams the tests use to stand in for V4L2 devices and the
// audio input. Internal to the capture layer.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "acquire/capturewindow.h"

namespace vx {

// One frame as the driver hands it over, laid out as its format header says
// (bottom-up padded rows for BI_RGB, the packed or planar layout of a four-character
// code, one JPEG picture for MJPG).
struct TCapRawFrame {
  std::vector<uint8_t> Data;
  int64_t TimeUs = 0;  // since streaming started
  uint64_t Number = 0;
};

class TCapDriver {
 public:
  virtual ~TCapDriver() = default;
  // Connects: checks that the device is there and free. False when it is not.
  virtual bool Open() = 0;
  virtual void Close() = 0;
  virtual TBitmapInfoHeader Format() const = 0;
  // Chooses size and layout (biWidth, biHeight, biCompression); false when refused.
  virtual bool SetFormat(const TBitmapInfoHeader& format) = 0;
  virtual std::vector<TCapFormatOption> FormatOptions() = 0;
  virtual TCapSourceInfo SourceInfo() = 0;
  virtual bool SetInput(int input) = 0;
  virtual bool SetControl(uint32_t id, int value) = 0;
  virtual int FrameRate() const = 0;
  virtual bool SetFrameRate(int fps) = 0;
  virtual bool HasSourceDialog() = 0;

  // Streaming runs on the window's capture thread.
  virtual bool StartStream() = 0;
  // Blocks until the next frame; false when streaming failed or was interrupted.
  virtual bool ReadFrame(TCapRawFrame& frame) = 0;
  virtual void StopStream() = 0;
  // Makes a blocked ReadFrame return soon; callable from any thread.
  void Interrupt() { interrupted_ = true; }
  void ClearInterrupt() { interrupted_ = false; }
  bool Interrupted() const { return interrupted_; }

 protected:
  const std::atomic<bool>* InterruptFlag() const { return &interrupted_; }

 private:
  std::atomic<bool> interrupted_{false};
};

struct TCapDriverEntry {
  std::string Name;
  std::string Version;
  std::string Key;  // what the driver's remembered settings are filed under
  std::function<std::unique_ptr<TCapDriver>()> Make;
};

// Every V4L2 capture device in number order, then the test pattern; at most ten.
std::vector<TCapDriverEntry> EnumerateCapDrivers();

// ---- the drivers ----

std::unique_ptr<TCapDriver> MakeTestPatternDriver();
// The V4L2 devices in the device folder that can capture video, each with its entry.
std::vector<TCapDriverEntry> EnumerateV4L2Drivers();

// ---- seams ----

// The system calls the V4L2 driver makes on its own descriptors; tests replace them to
// act as a device. The streaming itself goes through the codec library's V4L2 input.
struct TV4L2Ops {
  int (*Open)(const char* path, int flags);
  int (*Close)(int fd);
  int (*Ioctl)(int fd, unsigned long request, void* arg);
};
TV4L2Ops& V4L2Ops();
void ResetV4L2Ops();
// Where the video device nodes are looked for ("/dev").
void SetV4L2DeviceFolder(const std::string& folder);

// The audio input a recording with sound uses: a libavdevice input format and device
// ("pulse"/"default", then "alsa"/"default" when none is set). Set a format to use it
// alone; an empty format restores the search.
void SetCapAudioInput(const std::string& format, const std::string& device);

// Settings of a driver kept across connections for the life of the process.
struct TCapDriverSettings {
  TBitmapInfoHeader Format{};
  int FrameRate = 0;
  int Input = 0;
  uint32_t DevicePixel = 0;  // a V4L2 device's pixel format
};
TCapDriverSettings* FindCapDriverSettings(const std::string& key, bool create);

// Helpers for the header of a format.
TBitmapInfoHeader MakeCapFormat(int width, int height, uint32_t compression);
// Bytes of one BI_RGB row of 24-bit pixels.
inline size_t DibRowBytes(int width) {
  return ((static_cast<size_t>(width) * 24 + 31) / 32) * 4;
}

}  // namespace vx
