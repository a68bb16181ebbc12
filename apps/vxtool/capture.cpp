// vxtool capture: lists the video capture drivers, grabs one frame into an image file
// or records an AVI, through the same capture window the video view drives.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "acquire/capturedraw.h"
#include "acquire/capturewindow.h"
#include "commands.h"
#include "io/vantixio.h"
#include "loadsave.h"

namespace vxtool {

namespace {

using namespace vx;

constexpr const char* kCaptureUsage =
    "usage: vxtool capture --list\n"
    "       vxtool capture OUT.png [--driver N] [--size WxH]\n"
    "       vxtool capture OUT.avi [--driver N] [--size WxH] [--fps F] [--seconds S]\n";

struct CaptureArgs {
  std::string out;
  int driver = 0;
  int width = 0, height = 0;
  int fps = 15;
  double seconds = 5;
};

int Usage(const std::string& why) {
  std::fprintf(stderr, "vxtool capture: %s\n%s", why.c_str(), kCaptureUsage);
  return 2;
}

int Fail(const char* text) {
  std::fprintf(stderr, "vxtool capture: %s\n", text);
  return 1;
}

bool ParseArgs(const std::vector<std::string>& args, CaptureArgs& a, std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    try {
      if (arg == "--driver" && hasValue) {
        a.driver = std::stoi(args[++i]);
      } else if (arg == "--size" && hasValue) {
        const std::string v = args[++i];
        const size_t x = v.find_first_of("xX");
        if (x == std::string::npos) throw std::invalid_argument("size");
        a.width = std::stoi(v.substr(0, x));
        a.height = std::stoi(v.substr(x + 1));
        if (a.width < 1 || a.height < 1) throw std::invalid_argument("size");
      } else if (arg == "--fps" && hasValue) {
        a.fps = std::stoi(args[++i]);
        if (a.fps < 1 || a.fps > 1000) throw std::invalid_argument("fps");
      } else if (arg == "--seconds" && hasValue) {
        a.seconds = std::stod(args[++i]);
        if (!(a.seconds > 0) || a.seconds > 86400) throw std::invalid_argument("seconds");
      } else if (!arg.empty() && arg[0] != '-' && a.out.empty()) {
        a.out = arg;
      } else {
        error = "unexpected argument \"" + arg + "\"";
        return false;
      }
    } catch (const std::exception&) {
      error = "bad value for " + arg;
      return false;
    }
  }
  if (a.out.empty()) error = "no output file";
  return error.empty();
}

bool EndsWith(const std::string& s, const char* tail) {
  const std::string t = tail;
  if (s.size() < t.size()) return false;
  std::string end = s.substr(s.size() - t.size());
  for (char& c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return end == t;
}

// Where the frame callback leaves the grabbed frame.
struct Grabbed {
  TDrawDib draw = nullptr;
  TBitmapInfoHeader format{};
  TBitmap bitmap;
  bool got = false;
};

intptr_t OnFrame(TCapHwnd window, const TVideoHdr* header) {
  auto* g = reinterpret_cast<Grabbed*>(capSendMessage(window, WM_CAP_GET_USER_DATA));
  if (!g || !header) return 0;
  const int w = g->format.biWidth, h = std::abs(g->format.biHeight);
  g->bitmap.SetSize(w, h);
  g->got =
      DrawDibDraw(g->draw, g->bitmap, 0, 0, w, h, &g->format, header->lpData, header->dwBytesUsed);
  return 1;
}

int List() {
  int count = 0;
  for (int i = 0; i < 10; ++i) {
    std::string name, version;
    if (!capGetDriverDescription(i, name, version)) continue;
    std::printf("%d: %s %s\n", i, name.c_str(), version.c_str());
    ++count;
  }
  if (count == 0) std::printf("no video capture drivers\n");
  return 0;
}

// Connects the window to the driver and sets the size asked for.
int Connect(TCapHwnd window, const CaptureArgs& a) {
  if (!capSendMessage(window, WM_CAP_DRIVER_CONNECT, static_cast<uintptr_t>(a.driver)))
    return Fail(kCapTextOpenDriver);
  if (a.width > 0) {
    TBitmapInfoHeader format{};
    capSendMessage(window, WM_CAP_GET_VIDEOFORMAT, sizeof format,
                   reinterpret_cast<intptr_t>(&format));
    format.biWidth = a.width;
    format.biHeight = a.height;
    if (!capSendMessage(window, WM_CAP_SET_VIDEOFORMAT, sizeof format,
                        reinterpret_cast<intptr_t>(&format))) {
      std::fprintf(stderr, "vxtool capture: the driver refuses the size %dx%d\n", a.width,
                   a.height);
      return 1;
    }
  }
  return 0;
}

int GrabFrame(TCapHwnd window, const CaptureArgs& a) {
  Grabbed g;
  g.draw = DrawDibOpen();
  capSendMessage(window, WM_CAP_GET_VIDEOFORMAT, sizeof g.format,
                 reinterpret_cast<intptr_t>(&g.format));
  capSendMessage(window, WM_CAP_SET_USER_DATA, 0, reinterpret_cast<intptr_t>(&g));
  capSendMessage(window, WM_CAP_SET_CALLBACK_FRAME, 0, reinterpret_cast<intptr_t>(&OnFrame));
  const bool grabbed = capSendMessage(window, WM_CAP_GRAB_FRAME) != 0 && g.got;
  capSendMessage(window, WM_CAP_SET_CALLBACK_FRAME, 0, 0);
  DrawDibClose(g.draw);
  if (!grabbed) return Fail(kCapTextOpenDriver);
  TVantixIO io;
  io.SetAttachedBitmap(&g.bitmap);
  return SaveWithProgress(io, a.out) ? 0 : 1;
}

int Record(TCapHwnd window, const CaptureArgs& a) {
  TCAPTUREPARMS parms;
  capSendMessage(window, WM_CAP_GET_SEQUENCE_SETUP, sizeof parms,
                 reinterpret_cast<intptr_t>(&parms));
  parms.dwRequestMicroSecPerFrame = static_cast<uint32_t>(std::lround(1e6 / a.fps));
  parms.fYield = 1;
  parms.fCaptureAudio = 0;
  capSendMessage(window, WM_CAP_SET_SEQUENCE_SETUP, sizeof parms,
                 reinterpret_cast<intptr_t>(&parms));
  if (!capSendMessage(window, WM_CAP_FILE_SET_CAPTURE_FILE, 0,
                      reinterpret_cast<intptr_t>(a.out.c_str())))
    return Fail(kCapTextCreateAvi);
  if (!capSendMessage(window, WM_CAP_SEQUENCE)) return Fail(kCapTextStartRecording);
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(a.seconds);
  while (std::chrono::steady_clock::now() < end) capWaitDispatch(window, 50);
  capSendMessage(window, WM_CAP_STOP);
  TCAPSTATUS status;
  capSendMessage(window, WM_CAP_GET_STATUS, sizeof status, reinterpret_cast<intptr_t>(&status));
  std::printf("%s: %u frames at %d frames a second\n", a.out.c_str(), status.dwCurrentVideoFrame,
              a.fps);
  return 0;
}

}  // namespace

int RunCaptureProgram(const std::vector<std::string>& args) {
  if (args.size() == 1 && args[0] == "--list") return List();
  CaptureArgs a;
  std::string error;
  if (!ParseArgs(args, a, error)) return Usage(error);
  const bool avi = EndsWith(a.out, ".avi");
  const TCapHwnd window = capCreateCaptureWindow("vxtool", 0, 0, 0, 0, 0, nullptr, 0);
  int status = Connect(window, a);
  if (status == 0) status = avi ? Record(window, a) : GrabFrame(window, a);
  capDestroyWindow(window);
  return status;
}

}  // namespace vxtool

int main(int argc, char** argv) {
  try {
    return vxtool::RunCaptureProgram(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vxtool capture: %s\n", e.what());
    return 1;
  }
}
