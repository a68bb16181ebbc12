#include "avi_peer.h"

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "testsupport.h"

namespace avitest {

namespace fs = std::filesystem;

bool HaveFFmpeg() {
  static const bool have =
      vxtest::CommandSucceeds("ffmpeg -version") && vxtest::CommandSucceeds("ffprobe -version");
  return have;
}

bool HaveEncoder(const std::string& name) {
  return HaveFFmpeg() &&
         vxtest::RunCommand("ffmpeg -hide_banner -encoders 2>/dev/null").find(" " + name + " ") !=
             std::string::npos;
}

std::string MakeClip(const std::string& name, const std::string& encoderArgs, int width, int height,
                     int frames, const std::string& rate) {
  static std::map<std::string, std::string> made;
  if (auto it = made.find(name); it != made.end()) return it->second;
  const std::string path = (fs::path(vxtest::TempDir()) / (name + ".avi")).string();
  const std::string cmd =
      "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=" + std::to_string(width) + "x" +
      std::to_string(height) + ":rate=" + rate + " -frames:v " + std::to_string(frames) + " " +
      encoderArgs + " '" + path + "'";
  std::string result = HaveFFmpeg() && vxtest::CommandSucceeds(cmd) ? path : std::string();
  made[name] = result;
  return result;
}

std::vector<std::vector<uint8_t>> PeerFrames(const std::string& path, int width, int height) {
  const std::string raw =
      vxtest::RunCommand("ffmpeg -nostdin -v error -i '" + path +
                         "' -vsync passthrough -f rawvideo -pix_fmt bgr24 - 2>/dev/null");
  const size_t frameBytes = static_cast<size_t>(width) * height * 3;
  std::vector<std::vector<uint8_t>> frames;
  for (size_t at = 0; frameBytes && at + frameBytes <= raw.size(); at += frameBytes)
    frames.emplace_back(raw.begin() + at, raw.begin() + at + frameBytes);
  return frames;
}

TProbed Probe(const std::string& path) {
  const std::string out = vxtest::RunCommand(
      "ffprobe -v error -select_streams v:0 -show_entries "
      "stream=codec_name,nb_frames,r_frame_rate,width,height -of default=nw=1 '" +
      path + "'");
  TProbed p;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "codec_name") p.Codec = value;
    if (key == "nb_frames") p.Frames = value;
    if (key == "r_frame_rate") p.Rate = value;
    if (key == "width") p.Width = std::atoi(value.c_str());
    if (key == "height") p.Height = std::atoi(value.c_str());
  }
  return p;
}

std::vector<uint8_t> PackedBGR(const vx::TBitmap& bitmap) {
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(bitmap.Width()) * bitmap.Height() * 3);
  for (int y = 0; y < bitmap.Height(); ++y) {
    const uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x) {
      if (bitmap.PixelFormat() == vx::pf1bit) {
        const uint8_t v = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
        out.insert(out.end(), {v, v, v});
      } else {
        out.insert(out.end(), row + 3 * x, row + 3 * x + 3);
      }
    }
  }
  return out;
}

int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size()) return 256;
  int worst = 0;
  for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

double MeanDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size() || a.empty()) return 256;
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += std::abs(a[i] - b[i]);
  return sum / static_cast<double>(a.size());
}

vx::TBitmap Pattern(int width, int height, int seed) {
  vx::TBitmap b;
  b.SetPixelFormat(vx::pf24bit);
  b.SetSize(width, height);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<uint8_t>(x * 255 / std::max(width - 1, 1));
      row[3 * x + 1] = static_cast<uint8_t>(y * 255 / std::max(height - 1, 1));
      row[3 * x + 2] = static_cast<uint8_t>((x * 7 + y * 3 + seed * 40) & 0xFF);
    }
  }
  return b;
}

}  // namespace avitest
