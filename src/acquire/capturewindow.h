#pragma once
// The capture-window layer: a small message-driven capture window in the shape of the
// classic desktop video-capture API, built on FFmpeg's devices (V4L2 cameras and a
// lavfi test pattern). No toolkit here: a window is a handle, its "parent" is a host
// object that places and paints it, and frames captured on the window's own thread
// are handed to the owning thread through a queue that the owner drains with
// capDispatch (the host's Wake tells it when).
//
// Messages carry the classic codes and values; wParam/lParam carry integers or
// pointers to the records below, as the original calls did.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vx {

// ---- handles and messages ----

using TCapHwnd = uintptr_t;  // 0 = no window

inline constexpr uint32_t WM_USER = 0x0400;
inline constexpr uint32_t WM_CAP_START = WM_USER;
inline constexpr uint32_t WM_CAP_SET_CALLBACK_ERROR = WM_CAP_START + 2;
inline constexpr uint32_t WM_CAP_SET_CALLBACK_STATUS = WM_CAP_START + 3;
inline constexpr uint32_t WM_CAP_SET_CALLBACK_YIELD = WM_CAP_START + 4;
inline constexpr uint32_t WM_CAP_SET_CALLBACK_FRAME = WM_CAP_START + 5;
inline constexpr uint32_t WM_CAP_SET_CALLBACK_VIDEOSTREAM = WM_CAP_START + 6;
inline constexpr uint32_t WM_CAP_GET_USER_DATA = WM_CAP_START + 8;
inline constexpr uint32_t WM_CAP_SET_USER_DATA = WM_CAP_START + 9;
inline constexpr uint32_t WM_CAP_DRIVER_CONNECT = WM_CAP_START + 10;
inline constexpr uint32_t WM_CAP_DRIVER_DISCONNECT = WM_CAP_START + 11;
inline constexpr uint32_t WM_CAP_DRIVER_GET_NAME = WM_CAP_START + 12;
inline constexpr uint32_t WM_CAP_DRIVER_GET_VERSION = WM_CAP_START + 13;
inline constexpr uint32_t WM_CAP_DRIVER_GET_CAPS = WM_CAP_START + 14;
inline constexpr uint32_t WM_CAP_FILE_SET_CAPTURE_FILE = WM_CAP_START + 20;
inline constexpr uint32_t WM_CAP_FILE_GET_CAPTURE_FILE = WM_CAP_START + 21;
inline constexpr uint32_t WM_CAP_DLG_VIDEOFORMAT = WM_CAP_START + 41;
inline constexpr uint32_t WM_CAP_DLG_VIDEOSOURCE = WM_CAP_START + 42;
inline constexpr uint32_t WM_CAP_DLG_VIDEODISPLAY = WM_CAP_START + 43;
inline constexpr uint32_t WM_CAP_GET_VIDEOFORMAT = WM_CAP_START + 44;
inline constexpr uint32_t WM_CAP_SET_VIDEOFORMAT = WM_CAP_START + 45;
inline constexpr uint32_t WM_CAP_DLG_VIDEOCOMPRESSION = WM_CAP_START + 46;
inline constexpr uint32_t WM_CAP_SET_PREVIEW = WM_CAP_START + 50;
inline constexpr uint32_t WM_CAP_SET_OVERLAY = WM_CAP_START + 51;
inline constexpr uint32_t WM_CAP_SET_PREVIEWRATE = WM_CAP_START + 52;
inline constexpr uint32_t WM_CAP_SET_SCALE = WM_CAP_START + 53;
inline constexpr uint32_t WM_CAP_GET_STATUS = WM_CAP_START + 54;
inline constexpr uint32_t WM_CAP_GRAB_FRAME = WM_CAP_START + 60;
inline constexpr uint32_t WM_CAP_GRAB_FRAME_NOSTOP = WM_CAP_START + 61;
inline constexpr uint32_t WM_CAP_SEQUENCE = WM_CAP_START + 62;
inline constexpr uint32_t WM_CAP_SET_SEQUENCE_SETUP = WM_CAP_START + 64;
inline constexpr uint32_t WM_CAP_GET_SEQUENCE_SETUP = WM_CAP_START + 65;
inline constexpr uint32_t WM_CAP_STOP = WM_CAP_START + 68;
inline constexpr uint32_t WM_CAP_ABORT = WM_CAP_START + 69;

// Window styles accepted by capCreateCaptureWindow (only these two matter here).
inline constexpr uint32_t WS_CHILD = 0x40000000;
inline constexpr uint32_t WS_VISIBLE = 0x10000000;

// ---- records ----

inline constexpr uint32_t BI_RGB = 0;

// The 40-byte device-independent bitmap header that describes a video format.
struct TBitmapInfoHeader {
  uint32_t biSize = 40;
  int32_t biWidth = 0;
  int32_t biHeight = 0;
  uint16_t biPlanes = 1;
  uint16_t biBitCount = 0;
  uint32_t biCompression = BI_RGB;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
};
static_assert(sizeof(TBitmapInfoHeader) == 40);

// The driver's capabilities, 44 bytes.
struct TCAPDRIVERCAPS {
  uint32_t wDeviceIndex = 0;
  int32_t fHasOverlay = 0;
  int32_t fHasDlgVideoSource = 0;
  int32_t fHasDlgVideoFormat = 0;
  int32_t fHasDlgVideoDisplay = 0;
  int32_t fCaptureInitialized = 0;
  int32_t fDriverSuppliesPalettes = 0;
  uint32_t hVideoIn = 0;
  uint32_t hVideoOut = 0;
  uint32_t hVideoExtIn = 0;
  uint32_t hVideoExtOut = 0;
};
static_assert(sizeof(TCAPDRIVERCAPS) == 44);

// The capture parameters of a recording, 92 bytes. Booleans are 32-bit; any non-zero
// value is true.
struct TCAPTUREPARMS {
  uint32_t dwRequestMicroSecPerFrame = 66667;
  int32_t fMakeUserHitOKToCapture = 0;
  uint32_t wPercentDropForError = 10;
  int32_t fYield = 0;
  uint32_t dwIndexSize = 34952;
  uint32_t wChunkGranularity = 0;
  int32_t fUsingDOSMemory = 0;
  uint32_t wNumVideoRequested = 10;
  int32_t fCaptureAudio = 0;
  uint32_t wNumAudioRequested = 4;
  uint32_t vKeyAbort = 0x1B;  // Escape
  int32_t fAbortLeftMouse = 0;
  int32_t fAbortRightMouse = 0;
  int32_t fLimitEnabled = 0;
  uint32_t wTimeLimit = 0;  // seconds, when fLimitEnabled
  int32_t fMCIControl = 0;
  int32_t fStepMCIDevice = 0;
  uint32_t dwMCIStartTime = 0;
  uint32_t dwMCIStopTime = 0;
  int32_t fStepCaptureAt2x = 0;
  uint32_t wStepCaptureAverageFrames = 0;
  uint32_t dwAudioBufferSize = 0;
  int32_t fDisableWriteCache = 0;
};
static_assert(sizeof(TCAPTUREPARMS) == 92);

// What the window is doing (WM_CAP_GET_STATUS, lParam = pointer, wParam = size).
struct TCAPSTATUS {
  uint32_t uiImageWidth = 0;
  uint32_t uiImageHeight = 0;
  int32_t fLiveWindow = 0;
  int32_t fOverlayWindow = 0;
  int32_t fScale = 0;
  int32_t fAudioHardware = 0;
  int32_t fCapFileExists = 0;
  uint32_t dwCurrentVideoFrame = 0;
  uint32_t dwCurrentVideoFramesDropped = 0;
  uint32_t dwCurrentTimeElapsedMS = 0;
  int32_t fCapturingNow = 0;
  uint32_t dwReturn = 0;
};

// One captured frame as the frame callback sees it. The data stays valid for the
// duration of the callback only.
struct TVideoHdr {
  const uint8_t* lpData = nullptr;
  uint32_t dwBufferLength = 0;
  uint32_t dwBytesUsed = 0;
  uint32_t dwTimeCaptured = 0;  // milliseconds since streaming started
  uintptr_t dwUser = 0;
  uint32_t dwFlags = 0;
  uint64_t FrameNumber = 0;  // the driver's count, from 0 when streaming started
};

// The frame callback: WM_CAP_SET_CALLBACK_FRAME with lParam = the routine (0 = none).
// Runs on the thread that owns the window, from capDispatch or from the blocking
// messages (WM_CAP_GRAB_FRAME, a non-yielding WM_CAP_SEQUENCE).
using TCapFrameCallback = intptr_t (*)(TCapHwnd window, const TVideoHdr* header);
// Called repeatedly while a non-yielding recording runs; sending WM_CAP_STOP from it
// ends the recording.
using TCapYieldCallback = intptr_t (*)(TCapHwnd window);

// ---- the host (the "parent window") ----

// Whatever shows a capture window implements this. Wake may be called from any thread
// and must make the owning thread call capDispatch(window) soon; the other calls come
// on the owning thread.
class ICapWindowHost {
 public:
  virtual ~ICapWindowHost() = default;
  virtual void CapWake(TCapHwnd window) = 0;
  // The picture to show changed (see capLatestPicture).
  virtual void CapInvalidate(TCapHwnd window) = 0;
  virtual void CapPlace(TCapHwnd window, int x, int y, int width, int height) = 0;
  virtual void CapShow(TCapHwnd window, bool visible) = 0;
};

// ---- the classic entry points ----

// Name and version of driver index (0..9); false when there is no such driver.
// Drivers are every V4L2 capture device (/dev/video*, in number order), then the
// test-pattern driver.
bool capGetDriverDescription(int index, std::string& name, std::string& version);

// Creates a capture window. parent may be null (then nothing is shown and frames are
// only handed to the frame callback); the window belongs to the calling thread.
TCapHwnd capCreateCaptureWindow(const std::string& name, uint32_t style, int x, int y, int width,
                                int height, ICapWindowHost* parent, int id);
// Stops everything the window does (no callback runs afterwards) and frees it.
bool capDestroyWindow(TCapHwnd window);
bool capMoveWindow(TCapHwnd window, int x, int y, int width, int height);
bool capShowWindow(TCapHwnd window, bool visible);

// The message entry. Unknown windows and messages answer 0.
intptr_t capSendMessage(TCapHwnd window, uint32_t message, uintptr_t wParam = 0,
                        intptr_t lParam = 0);

// Runs the frame callback for every frame queued since the last call, in order. Returns
// the number of frames handed out.
int capDispatch(TCapHwnd window);
// Waits up to timeoutMs for queued frames, then dispatches them (for owners without an
// event loop, such as the command-line tool).
int capWaitDispatch(TCapHwnd window, int timeoutMs);

// ---- what a host draws ----

// The latest picture of the live window (or the grabbed frame): top-down 24-bit
// B, G, R rows, Stride bytes apart.
struct TCapPicture {
  int Width = 0;
  int Height = 0;
  int Stride = 0;
  std::vector<uint8_t> Pixels;
};
// The picture to show now; null when there is none (not connected, nothing captured
// yet). Call on the owning thread; the picture stays valid as long as it is held.
std::shared_ptr<const TCapPicture> capLatestPicture(TCapHwnd window);
bool capGetScale(TCapHwnd window);

// ---- driver details for the configuration dialogs ----

struct TCapSize {
  int Width = 0;
  int Height = 0;
};

struct TCapFormatOption {
  uint32_t Compression = BI_RGB;  // BI_RGB or a four-character code
  int BitCount = 24;
  std::string Description;
  std::vector<TCapSize> Sizes;
};

enum class TCapControlKind { cckInteger, cckBoolean, cckMenu };
using enum TCapControlKind;

struct TCapControl {
  uint32_t Id = 0;
  std::string Name;
  TCapControlKind Kind = cckInteger;
  int Minimum = 0;
  int Maximum = 0;
  int Step = 1;
  int Default = 0;
  int Value = 0;
  std::vector<std::string> Items;  // menu entries, Minimum..Maximum
};

struct TCapSourceInfo {
  std::vector<std::string> Inputs;
  int CurrentInput = 0;
  std::vector<TCapControl> Controls;
};

// The connected driver's formats, inputs and controls; empty when not connected.
std::vector<TCapFormatOption> capGetFormatOptions(TCapHwnd window);
TCapSourceInfo capGetSourceInfo(TCapHwnd window);
bool capSetInput(TCapHwnd window, int input);
bool capSetControl(TCapHwnd window, uint32_t id, int value);
// The test-pattern driver's frame rate (frames per second); V4L2 devices keep their own.
bool capSetFrameRate(TCapHwnd window, int framesPerSecond);
int capGetFrameRate(TCapHwnd window);

// The recording encoder of a window.
struct TCapCompressor {
  std::string Name;     // the encoder's name in the codec library ("mjpeg", "ffv1", …)
  std::string Display;  // what a user reads
  int Quality = 75;     // 1..100 where the encoder has a quality scale
  bool HasQuality = false;
};
// The encoders that can write AVI on this machine, the default (Motion JPEG) first.
std::vector<TCapCompressor> capListCompressors();
TCapCompressor capGetCompressor(TCapHwnd window);
bool capSetCompressor(TCapHwnd window, const TCapCompressor& compressor);

// The four driver dialogs are drawn by the toolkit side: it installs this hook, and the
// WM_CAP_DLG_… messages call it on the sending thread. Without a hook they answer 0.
enum class TCapDialog { cdVideoSource, cdVideoFormat, cdVideoDisplay, cdVideoCompression };
using enum TCapDialog;
using TCapDialogHook = bool (*)(TCapHwnd window, TCapDialog dialog);
void capSetDialogHook(TCapDialogHook hook);

// ---- texts ----

inline constexpr const char* kCapTextOpenDriver = "Unable to open video capture driver";
inline constexpr const char* kCapTextCreateAvi = "Unable to create AVI file";
inline constexpr const char* kCapTextStartRecording = "Unable to start video recording";

}  // namespace vx
