// The capture window: a handle with its driver, its display state, a capture thread
// that reads the driver and records, and a queue that brings frames to the owning
// thread in order.
#include "acquire/capturewindow.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "acquire/capturedraw.h"
#include "acquire/capturedriver.h"
#include "acquire/capturerecorder.h"

namespace vx {

namespace {

using Clock = std::chrono::steady_clock;

// Frames the owner may fall behind by before the oldest live frames are dropped.
constexpr size_t kMaxQueuedFrames = 3;
constexpr auto kGrabTimeout = std::chrono::seconds(5);
constexpr auto kStopTimeout = std::chrono::seconds(5);

struct TQueuedFrame {
  TCapRawFrame Frame;
  std::shared_ptr<const TCapPicture> Picture;
  bool Grab = false;
};

TCapDialogHook gDialogHook = nullptr;

bool CopyCString(const std::string& text, uintptr_t size, intptr_t buffer) {
  if (!buffer || size == 0) return false;
  char* out = reinterpret_cast<char*>(buffer);
  const size_t n = std::min<size_t>(text.size(), size - 1);
  std::memcpy(out, text.data(), n);
  out[n] = 0;
  return true;
}

// Whether a file can be written there, leaving no file behind that was not there.
bool CanCreateFile(const std::string& name) {
  if (name.empty()) return false;
  struct stat st {};
  const bool existed = ::stat(name.c_str(), &st) == 0;
  if (existed && !S_ISREG(st.st_mode)) return false;
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT, 0666);
  if (fd < 0) return false;
  ::close(fd);
  if (!existed) ::unlink(name.c_str());
  return true;
}

class TCapWindow {
 public:
  TCapWindow(TCapHwnd handle, ICapWindowHost* host) : handle_(handle), host_(host) {}
  ~TCapWindow() { Disconnect(); }

  intptr_t Message(uint32_t msg, uintptr_t w, intptr_t l);
  int Dispatch();
  int WaitDispatch(int timeoutMs);
  void Place(int x, int y, int width, int height) {
    if (host_) host_->CapPlace(handle_, x, y, width, height);
  }
  void Show(bool visible) {
    if (host_) host_->CapShow(handle_, visible);
  }
  std::shared_ptr<const TCapPicture> Picture() const { return picture_; }
  bool Scale() const { return scale_; }
  TCapDriver* Driver() { return driver_.get(); }
  bool Reformat(const TBitmapInfoHeader& format);
  TCapCompressor compressor = capListCompressors().front();
  void Disconnect();

 private:
  bool Connect(int index);
  bool EnsureStreaming();
  void StopStreaming();
  void CaptureLoop();
  void Publish(TQueuedFrame&& frame);
  bool Grab();
  bool Sequence();
  bool StopRecording();
  bool SetDisplay(bool& flag, bool on);
  void Wake();

  TCapHwnd handle_;
  ICapWindowHost* host_;
  uintptr_t userData_ = 0;
  TCapFrameCallback frameCallback_ = nullptr;
  TCapYieldCallback yieldCallback_ = nullptr;
  std::unique_ptr<TCapDriver> driver_;
  int driverIndex_ = -1;
  std::string driverName_, driverVersion_;
  TCAPTUREPARMS parms_;
  std::string captureFile_ = "capture.avi";
  bool scale_ = false;
  std::shared_ptr<const TCapPicture> picture_;
  uint64_t generation_ = 0;  // changes at every disconnect; stale frames are dropped

  // Shared with the capture thread, under mutex_.
  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread thread_;
  bool threadRunning_ = false;
  bool stopThread_ = false;
  bool preview_ = false;
  bool overlay_ = false;
  int previewRateMs_ = 66;
  int64_t nextDueUs_ = 0;
  bool grabWanted_ = false;
  std::deque<TQueuedFrame> queue_;
  TBitmapInfoHeader format_{};
  std::unique_ptr<TCapRecorder> recorder_;
  bool recording_ = false;
  bool stopRecording_ = false;
  int64_t recordStartUs_ = -1;
  int64_t recordLimitUs_ = 0;
  int64_t recordMicroSecPerFrame_ = 1;
  uint32_t framesRecorded_ = 0;
  uint32_t framesDropped_ = 0;
  Clock::time_point recordStarted_;
  bool recordAudio_ = false;
  std::atomic<bool> wakePending_{false};
};

std::mutex& RegistryMutex() {
  static std::mutex m;
  return m;
}
std::map<TCapHwnd, std::shared_ptr<TCapWindow>>& Registry() {
  static std::map<TCapHwnd, std::shared_ptr<TCapWindow>> windows;
  return windows;
}

std::shared_ptr<TCapWindow> Find(TCapHwnd h) {
  std::lock_guard lock(RegistryMutex());
  auto it = Registry().find(h);
  return it == Registry().end() ? nullptr : it->second;
}

// ---- connection ----

bool TCapWindow::Connect(int index) {
  Disconnect();
  const std::vector<TCapDriverEntry> drivers = EnumerateCapDrivers();
  if (index < 0 || index >= static_cast<int>(drivers.size())) return false;
  std::unique_ptr<TCapDriver> driver = drivers[static_cast<size_t>(index)].Make();
  if (!driver || !driver->Open()) return false;
  driver_ = std::move(driver);
  driverIndex_ = index;
  driverName_ = drivers[static_cast<size_t>(index)].Name;
  driverVersion_ = drivers[static_cast<size_t>(index)].Version;
  std::lock_guard lock(mutex_);
  format_ = driver_->Format();
  return true;
}

void TCapWindow::Disconnect() {
  if (!driver_) return;
  StopRecording();
  StopStreaming();
  {
    std::lock_guard lock(mutex_);
    queue_.clear();
    preview_ = overlay_ = false;
    grabWanted_ = false;
  }
  ++generation_;
  driver_->Close();
  driver_.reset();
  driverIndex_ = -1;
  if (picture_) {
    picture_.reset();
    if (host_) host_->CapInvalidate(handle_);
  }
}

// ---- streaming ----

bool TCapWindow::EnsureStreaming() {
  if (!driver_) return false;
  {
    std::lock_guard lock(mutex_);
    if (threadRunning_) return true;
  }
  if (thread_.joinable()) thread_.join();  // a stream that ended on its own
  driver_->ClearInterrupt();
  if (!driver_->StartStream()) return false;
  std::lock_guard lock(mutex_);
  format_ = driver_->Format();
  stopThread_ = false;
  threadRunning_ = true;
  nextDueUs_ = 0;
  thread_ = std::thread([this] { CaptureLoop(); });
  return true;
}

void TCapWindow::StopStreaming() {
  {
    std::lock_guard lock(mutex_);
    stopThread_ = true;
  }
  if (driver_) driver_->Interrupt();
  if (thread_.joinable()) thread_.join();
  if (driver_) {
    driver_->StopStream();
    driver_->ClearInterrupt();
  }
  std::lock_guard lock(mutex_);
  threadRunning_ = false;
}

void TCapWindow::CaptureLoop() {
  TCapFrameDecoder decoder;
  for (;;) {
    TCapRawFrame frame;
    const bool ok = driver_->ReadFrame(frame);
    std::unique_lock lock(mutex_);
    if (!ok || stopThread_) {
      if (recorder_) {
        recorder_->Close();
        recorder_.reset();
      }
      recording_ = false;
      threadRunning_ = false;
      changed_.notify_all();
      return;
    }
    // Recording: the frame goes into the slot of its time at the recording rate.
    if (recording_) {
      if (recordStartUs_ < 0) recordStartUs_ = frame.TimeUs;
      const int64_t elapsed = frame.TimeUs - recordStartUs_;
      const bool overTime = recordLimitUs_ > 0 && elapsed >= recordLimitUs_;
      if (!stopRecording_ && !overTime) {
        const int64_t slot = elapsed / recordMicroSecPerFrame_;
        TCapRecorder* recorder = recorder_.get();
        lock.unlock();
        const bool written = recorder->WriteVideo(frame, slot);
        lock.lock();
        if (written) framesRecorded_ = recorder->FramesWritten();
      } else {
        recorder_->Close();
        recorder_.reset();
        recording_ = false;
        changed_.notify_all();
      }
    }
    const bool live = (preview_ || overlay_) && frame.TimeUs + 500 >= nextDueUs_;
    const bool grab = grabWanted_;
    if (!live && !grab) continue;
    if (live)
      nextDueUs_ = std::max<int64_t>(nextDueUs_ + previewRateMs_ * int64_t{1000}, frame.TimeUs);
    grabWanted_ = false;
    const TBitmapInfoHeader format = format_;
    lock.unlock();

    TQueuedFrame queued;
    if (host_) {
      // The picture for the window is decoded here, off the owner's thread.
      TBitmap bitmap;
      if (decoder.Decode(format, frame.Data.data(), frame.Data.size(), bitmap)) {
        if (bitmap.PixelFormat() != pf24bit) bitmap.SetPixelFormat(pf24bit);
        auto picture = std::make_shared<TCapPicture>();
        picture->Width = bitmap.Width();
        picture->Height = bitmap.Height();
        picture->Stride = bitmap.RowLen();
        picture->Pixels.assign(bitmap.Bits(), bitmap.Bits() + bitmap.BitsSize());
        queued.Picture = std::move(picture);
      }
    }
    queued.Frame = std::move(frame);
    queued.Grab = grab;
    Publish(std::move(queued));
  }
}

void TCapWindow::Publish(TQueuedFrame&& frame) {
  {
    std::lock_guard lock(mutex_);
    // A slow owner loses the oldest live frames, never a grabbed one, never the order.
    while (queue_.size() >= kMaxQueuedFrames) {
      auto it =
          std::find_if(queue_.begin(), queue_.end(), [](const TQueuedFrame& f) { return !f.Grab; });
      if (it == queue_.end()) break;
      queue_.erase(it);
      ++framesDropped_;
    }
    queue_.push_back(std::move(frame));
  }
  changed_.notify_all();
  Wake();
}

void TCapWindow::Wake() {
  if (host_ && !wakePending_.exchange(true)) host_->CapWake(handle_);
}

int TCapWindow::Dispatch() {
  wakePending_ = false;
  std::deque<TQueuedFrame> frames;
  {
    std::lock_guard lock(mutex_);
    frames.swap(queue_);
  }
  const uint64_t generation = generation_;
  int handed = 0;
  for (TQueuedFrame& f : frames) {
    // A callback may have disconnected: what was queued before belongs to the old link.
    if (generation != generation_) break;
    if (f.Picture) {
      picture_ = f.Picture;
      if (host_) host_->CapInvalidate(handle_);
    }
    if (frameCallback_) {
      TVideoHdr header;
      header.lpData = f.Frame.Data.data();
      header.dwBufferLength = header.dwBytesUsed = static_cast<uint32_t>(f.Frame.Data.size());
      header.dwTimeCaptured = static_cast<uint32_t>(f.Frame.TimeUs / 1000);
      header.FrameNumber = f.Frame.Number;
      header.dwFlags = f.Grab ? 1u : 0u;
      ++handed;
      frameCallback_(handle_, &header);
    }
  }
  return handed;
}

int TCapWindow::WaitDispatch(int timeoutMs) {
  {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(std::max(0, timeoutMs)),
                      [this] { return !queue_.empty() || !threadRunning_; });
  }
  return Dispatch();
}

bool TCapWindow::SetDisplay(bool& flag, bool on) {
  if (!driver_) return false;
  if (on && !EnsureStreaming()) return false;
  std::lock_guard lock(mutex_);
  if (on && !flag) nextDueUs_ = 0;
  flag = on;
  return true;
}

bool TCapWindow::Reformat(const TBitmapInfoHeader& format) {
  if (!driver_) return false;
  bool wasStreaming;
  {
    std::lock_guard lock(mutex_);
    if (recording_) return false;
    wasStreaming = threadRunning_;
  }
  if (wasStreaming) StopStreaming();
  const bool ok = driver_->SetFormat(format);
  {
    std::lock_guard lock(mutex_);
    format_ = driver_->Format();
    queue_.clear();
  }
  ++generation_;
  if (wasStreaming) EnsureStreaming();
  return ok;
}

// ---- grabbing and recording ----

bool TCapWindow::Grab() {
  if (!driver_ || !EnsureStreaming()) return false;
  {
    std::unique_lock lock(mutex_);
    queue_.clear();
    preview_ = overlay_ = false;
    grabWanted_ = true;
    const bool got = changed_.wait_for(lock, kGrabTimeout, [this] {
      return !threadRunning_ || std::any_of(queue_.begin(), queue_.end(),
                                            [](const TQueuedFrame& f) { return f.Grab; });
    });
    grabWanted_ = false;
    // A live frame that was on its way when the grab began is older than the grab.
    std::erase_if(queue_, [](const TQueuedFrame& f) { return !f.Grab; });
    if (!got || queue_.empty()) return false;
  }
  Dispatch();
  return true;
}

bool TCapWindow::Sequence() {
  if (!driver_) return false;
  {
    std::lock_guard lock(mutex_);
    if (recording_) return false;
  }
  auto recorder = std::make_unique<TCapRecorder>();
  if (!EnsureStreaming()) return false;
  TBitmapInfoHeader format;
  {
    std::lock_guard lock(mutex_);
    format = format_;
  }
  if (!recorder->Open(captureFile_, format, std::max<uint32_t>(1, parms_.dwRequestMicroSecPerFrame),
                      compressor, parms_.fCaptureAudio != 0))
    return false;
  {
    std::lock_guard lock(mutex_);
    recorder_ = std::move(recorder);
    recording_ = true;
    stopRecording_ = false;
    recordStartUs_ = -1;
    recordMicroSecPerFrame_ = std::max<uint32_t>(1, parms_.dwRequestMicroSecPerFrame);
    recordLimitUs_ =
        parms_.fLimitEnabled && parms_.wTimeLimit ? parms_.wTimeLimit * int64_t{1000000} : 0;
    framesRecorded_ = framesDropped_ = 0;
    recordStarted_ = Clock::now();
    recordAudio_ = parms_.fCaptureAudio != 0;
  }
  if (parms_.fYield) return true;
  // Not yielding: the caller waits here; frames still reach the frame callback, and the
  // yield callback (or a frame handler) may stop the recording.
  for (;;) {
    WaitDispatch(20);
    if (yieldCallback_) yieldCallback_(handle_);
    std::lock_guard lock(mutex_);
    if (!recording_) break;
  }
  return true;
}

bool TCapWindow::StopRecording() {
  std::unique_lock lock(mutex_);
  if (!recording_) return false;
  stopRecording_ = true;
  if (!changed_.wait_for(lock, kStopTimeout, [this] { return !recording_ || !threadRunning_; })) {
    // The driver stopped delivering frames: finish the file here.
    lock.unlock();
    StopStreaming();
    lock.lock();
  }
  if (recorder_) {
    recorder_->Close();
    recorder_.reset();
  }
  recording_ = false;
  return true;
}

// ---- the message entry ----

intptr_t TCapWindow::Message(uint32_t msg, uintptr_t w, intptr_t l) {
  switch (msg) {
    case WM_CAP_SET_USER_DATA:
      userData_ = static_cast<uintptr_t>(l);
      return 1;
    case WM_CAP_GET_USER_DATA:
      return static_cast<intptr_t>(userData_);
    case WM_CAP_SET_CALLBACK_FRAME:
      frameCallback_ = reinterpret_cast<TCapFrameCallback>(l);
      return 1;
    case WM_CAP_SET_CALLBACK_YIELD:
      yieldCallback_ = reinterpret_cast<TCapYieldCallback>(l);
      return 1;
    case WM_CAP_SET_CALLBACK_ERROR:
    case WM_CAP_SET_CALLBACK_STATUS:
    case WM_CAP_SET_CALLBACK_VIDEOSTREAM:
      return 1;
    case WM_CAP_DRIVER_CONNECT:
      return Connect(static_cast<int>(w)) ? 1 : 0;
    case WM_CAP_DRIVER_DISCONNECT: {
      const bool was = driver_ != nullptr;
      Disconnect();
      return was ? 1 : 0;
    }
    case WM_CAP_DRIVER_GET_NAME:
      return driver_ && CopyCString(driverName_, w, l) ? 1 : 0;
    case WM_CAP_DRIVER_GET_VERSION:
      return driver_ && CopyCString(driverVersion_, w, l) ? 1 : 0;
    case WM_CAP_DRIVER_GET_CAPS: {
      if (!driver_ || !l || w < sizeof(TCAPDRIVERCAPS)) return 0;
      TCAPDRIVERCAPS caps;
      caps.wDeviceIndex = static_cast<uint32_t>(driverIndex_);
      caps.fHasOverlay = 0;  // no device here draws into the screen on its own
      caps.fHasDlgVideoSource = driver_->HasSourceDialog() ? 1 : 0;
      caps.fHasDlgVideoFormat = 1;
      caps.fHasDlgVideoDisplay = 1;
      caps.fCaptureInitialized = 1;
      std::memcpy(reinterpret_cast<void*>(l), &caps, sizeof caps);
      return 1;
    }
    case WM_CAP_GET_VIDEOFORMAT: {
      if (!driver_) return 0;
      TBitmapInfoHeader format;
      {
        std::lock_guard lock(mutex_);
        format = format_;
      }
      if (!l || w == 0) return sizeof format;
      const size_t n = std::min<size_t>(w, sizeof format);
      std::memcpy(reinterpret_cast<void*>(l), &format, n);
      return static_cast<intptr_t>(n);
    }
    case WM_CAP_SET_VIDEOFORMAT: {
      if (!l || w < sizeof(TBitmapInfoHeader)) return 0;
      TBitmapInfoHeader format;
      std::memcpy(&format, reinterpret_cast<const void*>(l), sizeof format);
      return Reformat(format) ? 1 : 0;
    }
    case WM_CAP_SET_PREVIEW:
      return SetDisplay(preview_, w != 0) ? 1 : 0;
    case WM_CAP_SET_OVERLAY:
      return SetDisplay(overlay_, w != 0) ? 1 : 0;
    case WM_CAP_SET_PREVIEWRATE: {
      std::lock_guard lock(mutex_);
      previewRateMs_ = static_cast<int>(std::min<uintptr_t>(w, 60000));
      return 1;
    }
    case WM_CAP_SET_SCALE:
      scale_ = w != 0;
      if (host_) host_->CapInvalidate(handle_);
      return 1;
    case WM_CAP_GET_STATUS: {
      if (!l || w < sizeof(TCAPSTATUS)) return 0;
      TCAPSTATUS st;
      std::lock_guard lock(mutex_);
      st.uiImageWidth = static_cast<uint32_t>(format_.biWidth);
      st.uiImageHeight = static_cast<uint32_t>(std::abs(format_.biHeight));
      st.fLiveWindow = preview_;
      st.fOverlayWindow = overlay_;
      st.fScale = scale_;
      st.fAudioHardware = recordAudio_;
      st.fCapFileExists = !captureFile_.empty();
      st.dwCurrentVideoFrame = framesRecorded_;
      st.dwCurrentVideoFramesDropped = framesDropped_;
      st.dwCurrentTimeElapsedMS =
          recording_ ? static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                 Clock::now() - recordStarted_)
                                                 .count())
                     : 0;
      st.fCapturingNow = recording_;
      std::memcpy(reinterpret_cast<void*>(l), &st, sizeof st);
      return 1;
    }
    case WM_CAP_GRAB_FRAME:
    case WM_CAP_GRAB_FRAME_NOSTOP: {
      bool preview, overlay;
      {
        std::lock_guard lock(mutex_);
        preview = preview_;
        overlay = overlay_;
      }
      const bool ok = Grab();
      if (msg == WM_CAP_GRAB_FRAME_NOSTOP) {
        SetDisplay(preview_, preview);
        SetDisplay(overlay_, overlay);
      }
      return ok ? 1 : 0;
    }
    case WM_CAP_GET_SEQUENCE_SETUP:
      if (!l || w < sizeof(TCAPTUREPARMS)) return 0;
      std::memcpy(reinterpret_cast<void*>(l), &parms_, sizeof parms_);
      return 1;
    case WM_CAP_SET_SEQUENCE_SETUP:
      if (!l || w < sizeof(TCAPTUREPARMS)) return 0;
      std::memcpy(&parms_, reinterpret_cast<const void*>(l), sizeof parms_);
      return 1;
    case WM_CAP_FILE_SET_CAPTURE_FILE: {
      const char* name = reinterpret_cast<const char*>(l);
      if (!name || !CanCreateFile(name)) return 0;
      captureFile_ = name;
      return 1;
    }
    case WM_CAP_FILE_GET_CAPTURE_FILE:
      return CopyCString(captureFile_, w, l) ? 1 : 0;
    case WM_CAP_SEQUENCE:
      return Sequence() ? 1 : 0;
    case WM_CAP_STOP:
    case WM_CAP_ABORT:
      return StopRecording() ? 1 : 0;
    case WM_CAP_DLG_VIDEOSOURCE:
    case WM_CAP_DLG_VIDEOFORMAT:
    case WM_CAP_DLG_VIDEODISPLAY:
    case WM_CAP_DLG_VIDEOCOMPRESSION: {
      if (!gDialogHook || (!driver_ && msg != WM_CAP_DLG_VIDEOCOMPRESSION)) return 0;
      const TCapDialog dialog = msg == WM_CAP_DLG_VIDEOSOURCE    ? cdVideoSource
                                : msg == WM_CAP_DLG_VIDEOFORMAT  ? cdVideoFormat
                                : msg == WM_CAP_DLG_VIDEODISPLAY ? cdVideoDisplay
                                                                 : cdVideoCompression;
      return gDialogHook(handle_, dialog) ? 1 : 0;
    }
    default:
      return 0;
  }
}

}  // namespace

// ---- entry points ----

bool capGetDriverDescription(int index, std::string& name, std::string& version) {
  if (index < 0 || index > 9) return false;
  const std::vector<TCapDriverEntry> drivers = EnumerateCapDrivers();
  if (index >= static_cast<int>(drivers.size())) return false;
  name = drivers[static_cast<size_t>(index)].Name.substr(0, 79);
  version = drivers[static_cast<size_t>(index)].Version.substr(0, 79);
  return true;
}

TCapHwnd capCreateCaptureWindow(const std::string& /*name*/, uint32_t style, int x, int y,
                                int width, int height, ICapWindowHost* parent, int /*id*/) {
  static TCapHwnd next = 0x1000;
  std::shared_ptr<TCapWindow> window;
  TCapHwnd handle;
  {
    std::lock_guard lock(RegistryMutex());
    handle = ++next;
    window = std::make_shared<TCapWindow>(handle, parent);
    Registry()[handle] = window;
  }
  window->Place(x, y, width, height);
  window->Show((style & WS_VISIBLE) != 0);
  return handle;
}

bool capDestroyWindow(TCapHwnd h) {
  std::shared_ptr<TCapWindow> window;
  {
    std::lock_guard lock(RegistryMutex());
    auto it = Registry().find(h);
    if (it == Registry().end()) return false;
    window = it->second;
    Registry().erase(it);
  }
  window->Disconnect();
  return true;
}

bool capMoveWindow(TCapHwnd h, int x, int y, int width, int height) {
  auto window = Find(h);
  if (!window) return false;
  window->Place(x, y, width, height);
  return true;
}

bool capShowWindow(TCapHwnd h, bool visible) {
  auto window = Find(h);
  if (!window) return false;
  window->Show(visible);
  return true;
}

intptr_t capSendMessage(TCapHwnd h, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  auto window = Find(h);
  return window ? window->Message(message, wParam, lParam) : 0;
}

int capDispatch(TCapHwnd h) {
  auto window = Find(h);
  return window ? window->Dispatch() : 0;
}

int capWaitDispatch(TCapHwnd h, int timeoutMs) {
  auto window = Find(h);
  return window ? window->WaitDispatch(timeoutMs) : 0;
}

std::shared_ptr<const TCapPicture> capLatestPicture(TCapHwnd h) {
  auto window = Find(h);
  return window ? window->Picture() : nullptr;
}

bool capGetScale(TCapHwnd h) {
  auto window = Find(h);
  return window && window->Scale();
}

std::vector<TCapFormatOption> capGetFormatOptions(TCapHwnd h) {
  auto window = Find(h);
  return window && window->Driver() ? window->Driver()->FormatOptions()
                                    : std::vector<TCapFormatOption>{};
}

TCapSourceInfo capGetSourceInfo(TCapHwnd h) {
  auto window = Find(h);
  return window && window->Driver() ? window->Driver()->SourceInfo() : TCapSourceInfo{};
}

bool capSetInput(TCapHwnd h, int input) {
  auto window = Find(h);
  if (!window || !window->Driver()) return false;
  // A new input of the test pattern is a new stream: restart it like a new format.
  if (!window->Driver()->SetInput(input)) return false;
  return window->Reformat(window->Driver()->Format());
}

bool capSetControl(TCapHwnd h, uint32_t id, int value) {
  auto window = Find(h);
  return window && window->Driver() && window->Driver()->SetControl(id, value);
}

bool capSetFrameRate(TCapHwnd h, int fps) {
  auto window = Find(h);
  if (!window || !window->Driver() || !window->Driver()->SetFrameRate(fps)) return false;
  return window->Reformat(window->Driver()->Format());
}

int capGetFrameRate(TCapHwnd h) {
  auto window = Find(h);
  return window && window->Driver() ? window->Driver()->FrameRate() : 0;
}

std::vector<TCapCompressor> capListCompressors();

TCapCompressor capGetCompressor(TCapHwnd h) {
  auto window = Find(h);
  return window ? window->compressor : capListCompressors().front();
}

bool capSetCompressor(TCapHwnd h, const TCapCompressor& compressor) {
  auto window = Find(h);
  if (!window) return false;
  for (const TCapCompressor& c : capListCompressors())
    if (c.Name == compressor.Name) {
      window->compressor = c;
      window->compressor.Quality = std::clamp(compressor.Quality, 1, 100);
      return true;
    }
  return false;
}

void capSetDialogHook(TCapDialogHook hook) {
  gDialogHook = hook;
}

}  // namespace vx
