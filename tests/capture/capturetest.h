#pragma once
// Shared fixture of the capture tests: the machine's cameras are hidden (an empty
// device folder) so that the test pattern is driver 0, and the pattern's remembered
// settings start from 320 x 240 RGB at 30 frames a second.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "acquire/capturedriver.h"
#include "acquire/capturewindow.h"
#include "proc/dibtransfer.h"
#include "testsupport.h"

namespace vxtest {

inline constexpr int kPatternDriver = 0;

// Sets the test pattern's remembered format through a capture window of its own.
inline void SetPatternFormat(int width, int height, uint32_t compression = vx::BI_RGB,
                             int fps = 30) {
  using namespace vx;
  const TCapHwnd w = capCreateCaptureWindow("setup", 0, 0, 0, 0, 0, nullptr, 0);
  ASSERT_TRUE(capSendMessage(w, WM_CAP_DRIVER_CONNECT, kPatternDriver));
  capSetInput(w, 0);
  ASSERT_TRUE(capSetFrameRate(w, fps));
  TBitmapInfoHeader f = MakeCapFormat(width, height, compression);
  ASSERT_TRUE(capSendMessage(w, WM_CAP_SET_VIDEOFORMAT, sizeof f, reinterpret_cast<intptr_t>(&f)));
  capDestroyWindow(w);
}

// Runs the event loop until done() holds or timeoutMs passes; returns done().
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

inline void SpinEvents(int ms) {
  WaitUntil([] { return false; }, ms);
}

class CaptureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vx::SetV4L2DeviceFolder(TempDir() + "/no-cameras");
    vx::ResetV4L2Ops();
    vx::SetCapAudioInput("", "");
    SetPatternFormat(320, 240);
  }
  void TearDown() override { vx::SetV4L2DeviceFolder("/dev"); }
};

}  // namespace vxtest
