// The V4L2 driver: device discovery, formats, inputs and controls through the device's
// own ioctls; streaming through FFmpeg's video4linux2 input.
#include <dirent.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

#include "acquire/captureinput.h"
#include "proc/dibtransfer.h"

namespace vx {

namespace {

int SysOpen(const char* path, int flags) {
  return ::open(path, flags);
}
int SysClose(int fd) {
  return ::close(fd);
}
int SysIoctl(int fd, unsigned long request, void* arg) {
  int r;
  do r = ::ioctl(fd, request, arg);
  while (r < 0 && errno == EINTR);
  return r;
}

std::mutex& FolderMutex() {
  static std::mutex m;
  return m;
}
std::string& DeviceFolder() {
  static std::string folder = "/dev";
  return folder;
}

std::string Text(const __u8* s, size_t n) {
  size_t len = 0;
  while (len < n && s[len]) ++len;
  return std::string(reinterpret_cast<const char*>(s), len);
}

// The four-character codes our frames use for the device formats we pass on as they
// are; other formats are converted to 24-bit RGB on the capture thread.
uint32_t CompressionOf(uint32_t v4l2) {
  switch (v4l2) {
    case V4L2_PIX_FMT_YUYV:
      return FourCC('Y', 'U', 'Y', '2');
    case V4L2_PIX_FMT_UYVY:
      return FourCC('U', 'Y', 'V', 'Y');
    case V4L2_PIX_FMT_YVYU:
      return FourCC('Y', 'V', 'Y', 'U');
    case V4L2_PIX_FMT_YUV420:
      return FourCC('I', '4', '2', '0');
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG:
      return FourCC('M', 'J', 'P', 'G');
    default:
      return BI_RGB;
  }
}

// The name FFmpeg's V4L2 input gives a device format (its "input_format" option).
const char* InputFormatName(uint32_t v4l2) {
  switch (v4l2) {
    case V4L2_PIX_FMT_YUYV:
      return "yuyv422";
    case V4L2_PIX_FMT_UYVY:
      return "uyvy422";
    case V4L2_PIX_FMT_YVYU:
      return "yvyu422";
    case V4L2_PIX_FMT_YUV420:
      return "yuv420p";
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG:
      return "mjpeg";
    case V4L2_PIX_FMT_RGB24:
      return "rgb24";
    case V4L2_PIX_FMT_BGR24:
      return "bgr24";
    case V4L2_PIX_FMT_NV12:
      return "nv12";
    case V4L2_PIX_FMT_GREY:
      return "gray";
    default:
      return nullptr;
  }
}

class TDevice {
 public:
  explicit TDevice(const std::string& path, int flags = O_RDWR | O_NONBLOCK)
      : fd_(V4L2Ops().Open(path.c_str(), flags)) {}
  ~TDevice() {
    if (fd_ >= 0) V4L2Ops().Close(fd_);
  }
  TDevice(const TDevice&) = delete;
  TDevice& operator=(const TDevice&) = delete;
  bool Ok() const { return fd_ >= 0; }
  template <class T>
  bool Io(unsigned long request, T& arg) const {
    return fd_ >= 0 && V4L2Ops().Ioctl(fd_, request, &arg) == 0;
  }

 private:
  int fd_;
};

// Whether a device node captures video, with its name and version.
bool QueryCapture(const TDevice& dev, std::string& name, std::string& version) {
  v4l2_capability cap{};
  if (!dev.Io(VIDIOC_QUERYCAP, cap)) return false;
  const uint32_t caps =
      (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
  if (!(caps & V4L2_CAP_VIDEO_CAPTURE)) return false;
  name = Text(cap.card, sizeof cap.card);
  version = Text(cap.driver, sizeof cap.driver) + " " + std::to_string((cap.version >> 16) & 0xFF) +
            "." + std::to_string((cap.version >> 8) & 0xFF) + "." +
            std::to_string(cap.version & 0xFF);
  return true;
}

class TV4L2Driver : public TCapDriver {
 public:
  explicit TV4L2Driver(std::string path)
      : path_(std::move(path)), settings_(FindCapDriverSettings("v4l2:" + path_, true)) {}
  ~TV4L2Driver() override { Close(); }

  bool Open() override {
    Close();
    device_ = std::make_unique<TDevice>(path_);
    std::string name, version;
    if (!device_->Ok() || !QueryCapture(*device_, name, version)) {
      device_.reset();
      return false;
    }
    // A device streaming to another program refuses a format change: find out now
    // rather than at the first frame.
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (!device_->Io(VIDIOC_G_FMT, fmt)) {
      device_.reset();
      return false;
    }
    if (settings_->Format.biWidth > 0) {
      fmt.fmt.pix.width = static_cast<uint32_t>(settings_->Format.biWidth);
      fmt.fmt.pix.height = static_cast<uint32_t>(std::abs(settings_->Format.biHeight));
      if (settings_->DevicePixel) fmt.fmt.pix.pixelformat = settings_->DevicePixel;
    }
    if (!device_->Io(VIDIOC_S_FMT, fmt)) {
      device_.reset();
      return false;
    }
    pixel_ = fmt.fmt.pix.pixelformat;
    width_ = static_cast<int>(fmt.fmt.pix.width);
    height_ = static_cast<int>(fmt.fmt.pix.height);
    return width_ > 0 && height_ > 0;
  }

  void Close() override {
    StopStream();
    device_.reset();
  }

  TBitmapInfoHeader Format() const override {
    if (!device_) return {};
    return MakeCapFormat(width_, height_, CompressionOf(pixel_));
  }

  bool SetFormat(const TBitmapInfoHeader& f) override {
    if (!device_) return false;
    // The compression code names the device format; BI_RGB keeps the current one.
    uint32_t pixel = pixel_;
    for (uint32_t candidate : DeviceFormats())
      if (f.biCompression != BI_RGB && CompressionOf(candidate) == f.biCompression)
        pixel = candidate;
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    fmt.fmt.pix.width = static_cast<uint32_t>(f.biWidth);
    fmt.fmt.pix.height = static_cast<uint32_t>(std::abs(f.biHeight));
    fmt.fmt.pix.pixelformat = pixel;
    fmt.fmt.pix.field = V4L2_FIELD_ANY;
    if (!device_->Io(VIDIOC_S_FMT, fmt)) return false;
    pixel_ = fmt.fmt.pix.pixelformat;
    width_ = static_cast<int>(fmt.fmt.pix.width);
    height_ = static_cast<int>(fmt.fmt.pix.height);
    settings_->Format = MakeCapFormat(width_, height_, BI_RGB);
    settings_->DevicePixel = pixel_;
    return true;
  }

  std::vector<TCapFormatOption> FormatOptions() override {
    std::vector<TCapFormatOption> options;
    if (!device_) return options;
    for (uint32_t pixel : DeviceFormats()) {
      v4l2_fmtdesc desc{};
      TCapFormatOption option;
      option.Compression = CompressionOf(pixel);
      option.BitCount = CapBitCountOf(option.Compression);
      for (desc.index = 0, desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
           device_->Io(VIDIOC_ENUM_FMT, desc); ++desc.index)
        if (desc.pixelformat == pixel)
          option.Description = Text(desc.description, sizeof desc.description);
      v4l2_frmsizeenum size{};
      size.pixel_format = pixel;
      for (size.index = 0; device_->Io(VIDIOC_ENUM_FRAMESIZES, size); ++size.index) {
        if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
          option.Sizes.push_back(
              {static_cast<int>(size.discrete.width), static_cast<int>(size.discrete.height)});
        } else {
          // Stepwise ranges: offer the common sizes that fit.
          for (TCapSize s :
               {TCapSize{160, 120}, {320, 240}, {640, 480}, {800, 600}, {1280, 720}, {1920, 1080}})
            if (s.Width >= static_cast<int>(size.stepwise.min_width) &&
                s.Width <= static_cast<int>(size.stepwise.max_width) &&
                s.Height >= static_cast<int>(size.stepwise.min_height) &&
                s.Height <= static_cast<int>(size.stepwise.max_height))
              option.Sizes.push_back(s);
          break;
        }
      }
      options.push_back(std::move(option));
    }
    return options;
  }

  TCapSourceInfo SourceInfo() override {
    TCapSourceInfo info;
    if (!device_) return info;
    v4l2_input input{};
    for (input.index = 0; device_->Io(VIDIOC_ENUMINPUT, input); ++input.index)
      info.Inputs.push_back(Text(input.name, sizeof input.name));
    int current = 0;
    if (device_->Io(VIDIOC_G_INPUT, current)) info.CurrentInput = current;
    v4l2_queryctrl q{};
    q.id = V4L2_CTRL_FLAG_NEXT_CTRL;
    while (device_->Io(VIDIOC_QUERYCTRL, q)) {
      const uint32_t id = q.id;
      q.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
      if (q.flags & V4L2_CTRL_FLAG_DISABLED) continue;
      if (q.type != V4L2_CTRL_TYPE_INTEGER && q.type != V4L2_CTRL_TYPE_BOOLEAN &&
          q.type != V4L2_CTRL_TYPE_MENU)
        continue;
      TCapControl c;
      c.Id = id;
      c.Name = Text(q.name, sizeof q.name);
      c.Kind = q.type == V4L2_CTRL_TYPE_BOOLEAN ? cckBoolean
               : q.type == V4L2_CTRL_TYPE_MENU  ? cckMenu
                                                : cckInteger;
      c.Minimum = q.minimum;
      c.Maximum = q.maximum;
      c.Step = q.step > 0 ? q.step : 1;
      c.Default = q.default_value;
      v4l2_control value{};
      value.id = id;
      c.Value = device_->Io(VIDIOC_G_CTRL, value) ? value.value : q.default_value;
      if (c.Kind == cckMenu) {
        for (int i = c.Minimum; i <= c.Maximum && i - c.Minimum < 64; ++i) {
          v4l2_querymenu m{};
          m.id = id;
          m.index = static_cast<uint32_t>(i);
          c.Items.push_back(device_->Io(VIDIOC_QUERYMENU, m) ? Text(m.name, sizeof m.name)
                                                             : std::to_string(i));
        }
      }
      info.Controls.push_back(std::move(c));
    }
    return info;
  }

  bool SetInput(int input) override { return device_ && device_->Io(VIDIOC_S_INPUT, input); }
  bool SetControl(uint32_t id, int value) override {
    v4l2_control c{};
    c.id = id;
    c.value = value;
    return device_ && device_->Io(VIDIOC_S_CTRL, c);
  }
  int FrameRate() const override { return 0; }
  bool SetFrameRate(int) override { return false; }
  bool HasSourceDialog() override {
    const TCapSourceInfo info = SourceInfo();
    return info.Inputs.size() > 1 || !info.Controls.empty();
  }

  bool StartStream() override {
    StopStream();
    if (!device_) return false;
    std::map<std::string, std::string> options{
        {"video_size", std::to_string(width_) + "x" + std::to_string(height_)}};
    if (const char* name = InputFormatName(pixel_)) options["input_format"] = name;
    if (!input_.Open("video4linux2", path_, options, InterruptFlag())) return false;
    format_ = MakeCapFormat(input_.Width(), input_.Height(),
                            input_.IsJpeg() ? FourCC('M', 'J', 'P', 'G') : CompressionOf(pixel_));
    return true;
  }

  bool ReadFrame(TCapRawFrame& frame) override {
    return !Interrupted() && input_.Read(frame, format_);
  }

  void StopStream() override { input_.Close(); }

 private:
  std::vector<uint32_t> DeviceFormats() const {
    std::vector<uint32_t> formats;
    v4l2_fmtdesc desc{};
    desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (desc.index = 0; device_ && device_->Io(VIDIOC_ENUM_FMT, desc); ++desc.index)
      if (InputFormatName(desc.pixelformat)) formats.push_back(desc.pixelformat);
    return formats;
  }

  std::string path_;
  TCapDriverSettings* settings_;
  std::unique_ptr<TDevice> device_;
  uint32_t pixel_ = 0;
  int width_ = 0, height_ = 0;
  TBitmapInfoHeader format_{};
  TCapAvInput input_;
};

}  // namespace

TV4L2Ops& V4L2Ops() {
  static TV4L2Ops ops{SysOpen, SysClose, SysIoctl};
  return ops;
}

void ResetV4L2Ops() {
  V4L2Ops() = {SysOpen, SysClose, SysIoctl};
}

void SetV4L2DeviceFolder(const std::string& folder) {
  std::lock_guard lock(FolderMutex());
  DeviceFolder() = folder;
}

std::vector<TCapDriverEntry> EnumerateV4L2Drivers() {
  std::string folder;
  {
    std::lock_guard lock(FolderMutex());
    folder = DeviceFolder();
  }
  std::vector<std::pair<int, std::string>> nodes;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* e = ::readdir(dir)) {
      const char* n = e->d_name;
      if (std::strncmp(n, "video", 5) != 0 || !n[5]) continue;
      char* end = nullptr;
      const long number = std::strtol(n + 5, &end, 10);
      if (*end || number < 0) continue;
      nodes.emplace_back(static_cast<int>(number), folder + "/" + n);
    }
    ::closedir(dir);
  }
  std::sort(nodes.begin(), nodes.end());
  std::vector<TCapDriverEntry> drivers;
  for (const auto& [number, path] : nodes) {
    TDevice dev(path);
    std::string name, version;
    if (!dev.Ok() || !QueryCapture(dev, name, version)) continue;
    drivers.push_back(
        {name, version, "v4l2:" + path, [p = path] { return std::make_unique<TV4L2Driver>(p); }});
  }
  return drivers;
}

}  // namespace vx
