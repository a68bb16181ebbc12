// The capture window without a view: drivers, frames against FFmpeg's own test pattern,
// the order of delivery, and the V4L2 driver against a stand-in device.
#include <fcntl.h>
#include <linux/videodev2.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "acquire/capturedraw.h"
#include "capturetest.h"
#include "platform/bitmap.h"

namespace vxtest {
namespace {

using namespace vx;

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// FFmpeg's frames 0..count-1 of the pattern through the same pixel format, raw.
std::vector<uint8_t> PeerFrames(int w, int h, const char* pixFmt, int count) {
  const std::string out = TempDir() + "/peer_" + pixFmt + std::to_string(w) + ".raw";
  const std::string cmd = "ffmpeg -v error -y -f lavfi -i testsrc2=size=" + std::to_string(w) +
                          "x" + std::to_string(h) + ":rate=30,format=" + pixFmt + " -frames:v " +
                          std::to_string(count) + " -f rawvideo -pix_fmt " + pixFmt + " " + out;
  if (!CommandSucceeds(cmd)) return {};
  return ReadFile(out);
}

struct Collected {
  std::vector<std::pair<uint64_t, std::vector<uint8_t>>> frames;
};

intptr_t Collect(TCapHwnd w, const TVideoHdr* h) {
  auto* c = reinterpret_cast<Collected*>(capSendMessage(w, WM_CAP_GET_USER_DATA));
  c->frames.emplace_back(h->FrameNumber,
                         std::vector<uint8_t>(h->lpData, h->lpData + h->dwBytesUsed));
  return 1;
}

// A window on the test pattern whose frames go into c.
TCapHwnd OpenCollecting(Collected& c) {
  const TCapHwnd w = capCreateCaptureWindow("t", 0, 0, 0, 0, 0, nullptr, 0);
  EXPECT_TRUE(capSendMessage(w, WM_CAP_DRIVER_CONNECT, kPatternDriver));
  capSendMessage(w, WM_CAP_SET_USER_DATA, 0, reinterpret_cast<intptr_t>(&c));
  capSendMessage(w, WM_CAP_SET_CALLBACK_FRAME, 0, reinterpret_cast<intptr_t>(&Collect));
  return w;
}

// Previews every frame (rate 0) into the callback until count frames arrived.
Collected Capture(int count) {
  Collected c;
  const TCapHwnd w = OpenCollecting(c);
  capSendMessage(w, WM_CAP_SET_PREVIEWRATE, 0);
  EXPECT_TRUE(capSendMessage(w, WM_CAP_SET_PREVIEW, 1));
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (static_cast<int>(c.frames.size()) < count && std::chrono::steady_clock::now() < end)
    capWaitDispatch(w, 50);
  capDestroyWindow(w);
  return c;
}

TEST_F(CaptureTest, DriverListEndsWithTheTestPattern) {
  std::string name, version;
  ASSERT_TRUE(capGetDriverDescription(0, name, version));
  EXPECT_EQ(name, "Vantix test pattern");
  EXPECT_FALSE(version.empty());
  for (int i : {1, 9, 10, -1}) EXPECT_FALSE(capGetDriverDescription(i, name, version)) << i;
}

TEST_F(CaptureTest, ConnectReportsFormatCapsAndRefusesMissingDriver) {
  const TCapHwnd w = capCreateCaptureWindow("t", 0, 0, 0, 0, 0, nullptr, 0);
  EXPECT_FALSE(capSendMessage(w, WM_CAP_DRIVER_CONNECT, 5));
  EXPECT_EQ(capSendMessage(w, WM_CAP_GET_VIDEOFORMAT), 0);  // nothing connected
  ASSERT_TRUE(capSendMessage(w, WM_CAP_DRIVER_CONNECT, kPatternDriver));
  EXPECT_EQ(capSendMessage(w, WM_CAP_GET_VIDEOFORMAT), 40);
  TBitmapInfoHeader f{};
  EXPECT_EQ(capSendMessage(w, WM_CAP_GET_VIDEOFORMAT, sizeof f, reinterpret_cast<intptr_t>(&f)),
            40);
  EXPECT_EQ(f.biWidth, 320);
  EXPECT_EQ(f.biHeight, 240);
  EXPECT_EQ(f.biBitCount, 24);
  EXPECT_EQ(f.biSizeImage, 320u * 3 * 240);
  TCAPDRIVERCAPS caps;
  ASSERT_TRUE(
      capSendMessage(w, WM_CAP_DRIVER_GET_CAPS, sizeof caps, reinterpret_cast<intptr_t>(&caps)));
  EXPECT_EQ(caps.wDeviceIndex, 0u);
  EXPECT_FALSE(caps.fHasOverlay);
  EXPECT_TRUE(caps.fHasDlgVideoSource && caps.fHasDlgVideoFormat && caps.fHasDlgVideoDisplay);
  // Sizes a pattern cannot have are refused and leave the format alone.
  TBitmapInfoHeader odd = MakeCapFormat(321, 240, FourCC('Y', 'U', 'Y', '2'));
  EXPECT_FALSE(
      capSendMessage(w, WM_CAP_SET_VIDEOFORMAT, sizeof odd, reinterpret_cast<intptr_t>(&odd)));
  capSendMessage(w, WM_CAP_GET_VIDEOFORMAT, sizeof f, reinterpret_cast<intptr_t>(&f));
  EXPECT_EQ(f.biWidth, 320);
  capDestroyWindow(w);
  EXPECT_EQ(capSendMessage(w, WM_CAP_GET_VIDEOFORMAT), 0);  // a destroyed window answers nothing
}

struct FrameCase {
  uint32_t compression;
  const char* peerFormat;
  int width, height;
};

class PatternFrames : public CaptureTest, public ::testing::WithParamInterface<FrameCase> {};

// The frames equal FFmpeg's own rendering of the pattern in the same pixel format, frame
// for frame, and arrive in order.
TEST_P(PatternFrames, EqualFFmpegFrameForFrame) {
  const FrameCase fc = GetParam();
  SetPatternFormat(fc.width, fc.height, fc.compression);
  const Collected c = Capture(6);
  ASSERT_GE(c.frames.size(), 6u);
  const uint64_t last = c.frames.back().first;
  const std::vector<uint8_t> peer =
      PeerFrames(fc.width, fc.height, fc.peerFormat, static_cast<int>(last) + 1);
  ASSERT_FALSE(peer.empty()) << "ffmpeg did not run";
  const size_t tight = peer.size() / (last + 1);
  TCapFrameDecoder decoder;
  const TBitmapInfoHeader format = MakeCapFormat(fc.width, fc.height, fc.compression);
  for (size_t i = 0; i < c.frames.size(); ++i) {
    const auto& [number, data] = c.frames[i];
    if (i > 0) {
      EXPECT_GT(number, c.frames[i - 1].first);
    }
    const uint8_t* ref = peer.data() + number * tight;
    if (fc.compression == BI_RGB) {
      // Ours are bottom-up padded rows: compare through the decoder, row by row.
      TBitmap b;
      ASSERT_TRUE(decoder.Decode(format, data.data(), data.size(), b));
      for (int y = 0; y < fc.height; ++y)
        ASSERT_EQ(
            std::memcmp(b.ScanLine(y), ref + static_cast<size_t>(y) * fc.width * 3, fc.width * 3),
            0)
            << "frame " << number << " row " << y;
    } else {
      ASSERT_EQ(data.size(), tight);
      ASSERT_EQ(std::memcmp(data.data(), ref, tight), 0) << "frame " << number;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, PatternFrames,
    ::testing::Values(FrameCase{BI_RGB, "bgr24", 320, 240},
                      FrameCase{BI_RGB, "bgr24", 162, 98},  // padded rows
                      FrameCase{FourCC('Y', 'U', 'Y', '2'), "yuyv422", 320, 240},
                      FrameCase{FourCC('I', '4', '2', '0'), "yuv420p", 176, 144}),
    [](const ::testing::TestParamInfo<FrameCase>& p) {
      return std::string(p.param.peerFormat) + "_" + std::to_string(p.param.width);
    });

TEST_F(CaptureTest, PreviewRateSpacesFramesAndDisconnectEndsThem) {
  Collected c;
  const TCapHwnd w = OpenCollecting(c);
  capSendMessage(w, WM_CAP_SET_PREVIEWRATE, 100);  // every third frame at 30 a second
  capSendMessage(w, WM_CAP_SET_PREVIEW, 1);
  while (c.frames.size() < 4) capWaitDispatch(w, 50);
  for (size_t i = 1; i < c.frames.size(); ++i)
    EXPECT_EQ(c.frames[i].first - c.frames[i - 1].first, 3u);
  // Frames captured but not yet handed out are dropped with the connection.
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  capSendMessage(w, WM_CAP_DRIVER_DISCONNECT);
  const size_t before = c.frames.size();
  EXPECT_EQ(capWaitDispatch(w, 150), 0);
  EXPECT_EQ(c.frames.size(), before);
  capDestroyWindow(w);
}

TEST_F(CaptureTest, GrabDeliversOneFrameAndStopsPreview) {
  Collected c;
  const TCapHwnd w = OpenCollecting(c);
  capSendMessage(w, WM_CAP_SET_PREVIEW, 1);
  ASSERT_TRUE(capSendMessage(w, WM_CAP_GRAB_FRAME));
  ASSERT_EQ(c.frames.size(), 1u);  // delivered inside the call
  EXPECT_EQ(c.frames[0].second.size(), 320u * 3 * 240);
  EXPECT_EQ(capWaitDispatch(w, 200), 0);  // preview is off now
  TCAPSTATUS st;
  capSendMessage(w, WM_CAP_GET_STATUS, sizeof st, reinterpret_cast<intptr_t>(&st));
  EXPECT_FALSE(st.fLiveWindow);
  capDestroyWindow(w);
  EXPECT_FALSE(capSendMessage(0, WM_CAP_GRAB_FRAME));
}

// ---- V4L2 through a stand-in device ----

// video0 is a camera, video1 a metadata node, video10 a camera busy elsewhere.
struct FakeDevice {
  const char* card;
  uint32_t caps;
  bool busy;
};
std::map<int, FakeDevice> gFakes;
std::map<std::string, int> gFakePaths;
bool gUnplugged = false;  // the node still answers its name, but the device is gone

int FakeOpen(const char* path, int) {
  const auto it = gFakePaths.find(path);
  if (it == gFakePaths.end()) {
    errno = ENOENT;
    return -1;
  }
  return it->second;
}
int FakeClose(int) {
  return 0;
}
int FakeIoctl(int fd, unsigned long request, void* arg) {
  const auto it = gFakes.find(fd);
  if (it == gFakes.end()) return errno = EBADF, -1;
  const FakeDevice& d = it->second;
  if (request == VIDIOC_QUERYCAP) {
    auto* cap = static_cast<v4l2_capability*>(arg);
    std::memset(cap, 0, sizeof *cap);
    std::strcpy(reinterpret_cast<char*>(cap->driver), "fakecam");
    std::strcpy(reinterpret_cast<char*>(cap->card), d.card);
    cap->version = (5u << 16) | (10u << 8) | 3u;
    cap->capabilities = d.caps | V4L2_CAP_DEVICE_CAPS;
    cap->device_caps = d.caps;
    return 0;
  }
  if (request == VIDIOC_G_FMT || request == VIDIOC_S_FMT) {
    if (gUnplugged) return errno = ENODEV, -1;
    if (request == VIDIOC_S_FMT && d.busy) return errno = EBUSY, -1;
    auto* f = static_cast<v4l2_format*>(arg);
    f->fmt.pix.width = 640;
    f->fmt.pix.height = 480;
    f->fmt.pix.pixelformat = V4L2_PIX_FMT_YUYV;
    return 0;
  }
  return errno = EINVAL, -1;
}

TEST_F(CaptureTest, V4L2DevicesComeFirstAndBusyOrMissingOnesRefuseToConnect) {
  const std::string dir = TempDir() + "/fake-dev";
  std::filesystem::create_directories(dir);
  gFakes = {{100, {"Fake Camera", V4L2_CAP_VIDEO_CAPTURE, false}},
            {101, {"Fake Metadata", V4L2_CAP_META_CAPTURE, false}},
            {110, {"Busy Camera", V4L2_CAP_VIDEO_CAPTURE, true}}};
  gFakePaths = {{dir + "/video0", 100}, {dir + "/video1", 101}, {dir + "/video10", 110}};
  for (const char* n : {"video0", "video1", "video10", "videox", "vbi0"})
    std::ofstream(dir + "/" + n).put('x');
  SetV4L2DeviceFolder(dir);
  V4L2Ops() = {FakeOpen, FakeClose, FakeIoctl};

  std::string name, version;
  ASSERT_TRUE(capGetDriverDescription(0, name, version));
  EXPECT_EQ(name, "Fake Camera");
  EXPECT_EQ(version, "fakecam 5.10.3");
  ASSERT_TRUE(capGetDriverDescription(1, name, version));
  EXPECT_EQ(name, "Busy Camera");  // video10 after video0; the metadata node is not listed
  ASSERT_TRUE(capGetDriverDescription(2, name, version));
  EXPECT_EQ(name, "Vantix test pattern");
  EXPECT_FALSE(capGetDriverDescription(3, name, version));

  const TCapHwnd w = capCreateCaptureWindow("t", 0, 0, 0, 0, 0, nullptr, 0);
  ASSERT_TRUE(capSendMessage(w, WM_CAP_DRIVER_CONNECT, 0));
  TBitmapInfoHeader f{};
  capSendMessage(w, WM_CAP_GET_VIDEOFORMAT, sizeof f, reinterpret_cast<intptr_t>(&f));
  EXPECT_EQ(f.biWidth, 640);
  EXPECT_EQ(f.biHeight, 480);
  EXPECT_EQ(f.biBitCount, 16);
  EXPECT_EQ(f.biCompression, FourCC('Y', 'U', 'Y', '2'));
  EXPECT_FALSE(capSendMessage(w, WM_CAP_DRIVER_CONNECT, 1));  // busy
  gUnplugged = true;                                          // unplugged after the listing
  EXPECT_FALSE(capSendMessage(w, WM_CAP_DRIVER_CONNECT, 0));
  gUnplugged = false;
  capDestroyWindow(w);
  ResetV4L2Ops();
}

}  // namespace
}  // namespace vxtest
