// The test-pattern driver: FFmpeg's lavfi sources (testsrc2 first) paced to their frame
// rate, so that the capture window behaves as with a camera on machines without one.
#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "acquire/captureinput.h"
#include "proc/dibtransfer.h"

namespace vx {

namespace {

struct TPattern {
  const char* Filter;
  const char* Name;
};
constexpr TPattern kPatterns[] = {{"testsrc2", "Test pattern 2 (testsrc2)"},
                                  {"testsrc", "Test pattern (testsrc)"},
                                  {"smptebars", "SMPTE colour bars"},
                                  {"rgbtestsrc", "RGB test pattern"}};
constexpr int kPatternCount = static_cast<int>(std::size(kPatterns));

constexpr TCapSize kSizes[] = {{160, 120}, {176, 144},  {320, 240},  {352, 288},  {640, 480},
                               {800, 600}, {1024, 768}, {1280, 720}, {1920, 1080}};
constexpr int kDefaultWidth = 320, kDefaultHeight = 240, kDefaultRate = 30;
constexpr int kMaxSide = 4096;

const char* FilterFormat(uint32_t compression) {
  if (compression == FourCC('Y', 'U', 'Y', '2')) return "yuyv422";
  if (compression == FourCC('I', '4', '2', '0')) return "yuv420p";
  return "bgr24";
}

class TTestPatternDriver : public TCapDriver {
 public:
  TTestPatternDriver() : settings_(FindCapDriverSettings("testpattern", true)) {
    if (settings_->Format.biWidth == 0)
      settings_->Format = MakeCapFormat(kDefaultWidth, kDefaultHeight, BI_RGB);
    if (settings_->FrameRate <= 0) settings_->FrameRate = kDefaultRate;
  }

  bool Open() override { return true; }
  void Close() override { StopStream(); }
  TBitmapInfoHeader Format() const override { return settings_->Format; }

  bool SetFormat(const TBitmapInfoHeader& f) override {
    const int w = f.biWidth, h = std::abs(f.biHeight);
    const bool yuv = f.biCompression != BI_RGB;
    if (w < 2 || h < 2 || w > kMaxSide || h > kMaxSide) return false;
    if (yuv && (CapPixelFormatOf(f.biCompression) < 0 || w % 2 || h % 2)) return false;
    if (f.biCompression == FourCC('M', 'J', 'P', 'G')) return false;
    settings_->Format = MakeCapFormat(w, h, f.biCompression);
    return true;
  }

  std::vector<TCapFormatOption> FormatOptions() override {
    std::vector<TCapSize> sizes(std::begin(kSizes), std::end(kSizes));
    return {{BI_RGB, 24, "RGB 24 bits", sizes},
            {FourCC('Y', 'U', 'Y', '2'), 16, "YUY2 (4:2:2 packed)", sizes},
            {FourCC('I', '4', '2', '0'), 12, "I420 (4:2:0 planar)", sizes}};
  }

  TCapSourceInfo SourceInfo() override {
    TCapSourceInfo info;
    for (const auto& p : kPatterns) info.Inputs.push_back(p.Name);
    info.CurrentInput = settings_->Input;
    return info;
  }
  bool SetInput(int input) override {
    if (input < 0 || input >= kPatternCount) return false;
    settings_->Input = input;
    return true;
  }
  bool SetControl(uint32_t, int) override { return false; }
  int FrameRate() const override { return settings_->FrameRate; }
  bool SetFrameRate(int fps) override {
    if (fps < 1 || fps > 240) return false;
    settings_->FrameRate = fps;
    return true;
  }
  bool HasSourceDialog() override { return true; }

  bool StartStream() override {
    StopStream();
    format_ = settings_->Format;
    const std::string graph = std::string(kPatterns[settings_->Input].Filter) +
                              "=size=" + std::to_string(format_.biWidth) + "x" +
                              std::to_string(std::abs(format_.biHeight)) +
                              ":rate=" + std::to_string(settings_->FrameRate) +
                              ",format=" + FilterFormat(format_.biCompression);
    if (!input_.Open("lavfi", graph, {}, nullptr)) return false;
    start_ = std::chrono::steady_clock::now();
    return true;
  }

  bool ReadFrame(TCapRawFrame& frame) override {
    if (Interrupted() || !input_.IsOpen() || !input_.Read(frame, format_)) return false;
    // A generated source runs as fast as it is read: hold each frame back to its time.
    const auto due = start_ + std::chrono::microseconds(frame.TimeUs);
    while (!Interrupted()) {
      const auto now = std::chrono::steady_clock::now();
      if (now >= due) return true;
      std::this_thread::sleep_for(
          std::min<std::chrono::steady_clock::duration>(due - now, std::chrono::milliseconds(10)));
    }
    return false;
  }

  void StopStream() override { input_.Close(); }

 private:
  TCapDriverSettings* settings_;
  TBitmapInfoHeader format_{};
  TCapAvInput input_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace

std::unique_ptr<TCapDriver> MakeTestPatternDriver() {
  return std::make_unique<TTestPatternDriver>();
}

}  // namespace vx
