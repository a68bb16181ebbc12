// Live preview cost: the test-pattern driver at 1280 x 720, 30 frames a second, shown in
// a 1280 x 720 video view with OnVideoFrame assigned, offscreen. Reports the frames
// delivered a second and how busy the GUI thread was (its CPU time over the wall time),
// against the targets of at least 29 frames a second and under half a core.
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <chrono>
#include <cstdio>
#include <thread>

#include "acquire/capturedriver.h"
#include "acquire/vxcapview.h"

namespace {

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vx;
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const double seconds = argc > 1 ? std::atof(argv[1]) : 4.0;
  SetV4L2DeviceFolder("/nonexistent");  // the test pattern is driver 0
  {
    const TCapHwnd w = capCreateCaptureWindow("setup", 0, 0, 0, 0, 0, nullptr, 0);
    capSendMessage(w, WM_CAP_DRIVER_CONNECT, 0);
    capSetFrameRate(w, 30);
    TBitmapInfoHeader f = MakeCapFormat(1280, 720, BI_RGB);
    capSendMessage(w, WM_CAP_SET_VIDEOFORMAT, sizeof f, reinterpret_cast<intptr_t>(&f));
    capDestroyWindow(w);
  }
  TVantixVideoView view;
  view.SetBorderStyle(bsNone);
  view.resize(1280, 720);
  view.show();
  QCoreApplication::processEvents();
  long frames = 0;
  uint64_t checksum = 0;
  view.SetPreviewRate(33);
  view.SetOnVideoFrame([&](TObject*, TBitmap* b) {
    ++frames;
    checksum += b->ScanLine(b->Height() / 2)[b->Width()];
  });
  view.SetShowVideo(true);
  // Settle for half a second, then measure.
  QElapsedTimer settle;
  settle.start();
  while (settle.elapsed() < 500) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
  const long frames0 = frames;
  const double cpu0 = ThreadCpuSeconds();
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < seconds * 1000)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
  const double wall = static_cast<double>(t.nsecsElapsed()) * 1e-9;
  const double cpu = ThreadCpuSeconds() - cpu0;
  view.SetShowVideo(false);
  const double fps = static_cast<double>(frames - frames0) / wall;
  std::printf("test pattern 1280x720 @30, preview with OnVideoFrame, %.1f s\n", wall);
  std::printf("frames delivered per second: %.2f (target >= 29; ratio to the source rate %.3f)\n",
              fps, fps / 30);
  std::printf("GUI thread busy: %.1f %% of one core (target < 50 %%)\n", 100 * cpu / wall);
  std::printf("(checksum %llu)\n", static_cast<unsigned long long>(checksum));
  return fps >= 29 && cpu / wall < 0.5 ? 0 : 1;
}
