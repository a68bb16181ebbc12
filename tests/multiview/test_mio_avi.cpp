// AVI frames in and out of the thumbnail view, with the ffmpeg program as the peer.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "multi/vantixmio.h"
#include "mviewtest.h"
#include "testsupport.h"

using namespace vx;
using vxtest::ImageRGB;
using vxtest::MakeMView;
using vxtest::PatternBitmap;
using vxtest::SolidBitmap;

namespace {

bool HaveFFmpeg() {
  static const bool have = vxtest::CommandSucceeds("ffmpeg -version && ffprobe -version");
  return have;
}

// Four 32 x 24 frames of ffmpeg's test pattern at 25 frames a second, uncompressed.
std::string PeerClip() {
  static const std::string path = [] {
    const std::string name = vxtest::TempDir() + "/clip.avi";
    const bool ok = vxtest::CommandSucceeds(
        "ffmpeg -v error -y -f lavfi -i testsrc=size=32x24:rate=25 -frames:v 4 -c:v rawvideo "
        "-pix_fmt bgr24 " +
        name);
    return ok ? name : std::string();
  }();
  return path;
}

// Every frame as ffmpeg decodes it, row-major RGB.
std::vector<std::vector<uint8_t>> PeerFrames(const std::string& path, int w, int h) {
  const std::string raw =
      vxtest::RunCommand("ffmpeg -v error -i " + path + " -f rawvideo -pix_fmt rgb24 -");
  std::vector<std::vector<uint8_t>> frames;
  const size_t size = static_cast<size_t>(w) * h * 3;
  for (size_t at = 0; at + size <= raw.size(); at += size)
    frames.emplace_back(raw.begin() + static_cast<long>(at),
                        raw.begin() + static_cast<long>(at + size));
  return frames;
}

std::string Probe(const std::string& path, const std::string& entry) {
  std::string out = vxtest::RunCommand(
      "ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=" + entry +
      " -of default=nokey=1:noprint_wrappers=1 " + path);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

}  // namespace

TEST(MIOAvi, FramesGoInAtTheSelectedImageWithTheirDelay) {
  if (!HaveFFmpeg() || PeerClip().empty()) GTEST_SKIP() << "ffmpeg is not available";
  auto view = MakeMView(300, 120);
  TVantixMIO mio;
  mio.SetAttachedMView(view.get());
  for (int i = 0; i < 2; ++i) view->SetImage(view->AppendImage(), SolidBitmap(5, 5, 0x808080));
  view->SetSelectedImage(1);
  mio.LoadFromFile(PeerClip());
  ASSERT_FALSE(mio.Aborting()) << mio.LastError();
  ASSERT_EQ(view->ImageCount(), 6);
  ASSERT_EQ(mio.ParamsCount(), 6);
  const auto peer = PeerFrames(PeerClip(), 32, 24);
  ASSERT_EQ(peer.size(), 4u);
  for (int f = 0; f < 4; ++f) {
    SCOPED_TRACE(f);
    const int at = 1 + f;
    EXPECT_EQ(ImageRGB(*view, at), peer[f]);
    EXPECT_EQ(view->ImageDelayTime(at), 40);
    const TIOParamsVals& p = *mio.Params(at);
    EXPECT_EQ(p.GIF_DelayTime, 40);
    EXPECT_EQ(p.TIFF_ImageIndex, at);
    EXPECT_EQ(p.FileName, PeerClip());
    EXPECT_EQ(p.FileType, ioUnknown);
    EXPECT_EQ(p.BitsPerSample, 8);
    EXPECT_EQ(p.SamplesPerPixel, 3);
  }
  EXPECT_EQ(view->ImageWidth(5), 5);  // the old image 1

  mio.LoadFromFile(vxtest::TempDir() + "/missing.avi");
  EXPECT_TRUE(mio.Aborting());
  EXPECT_EQ(view->ImageCount(), 6);
}

TEST(MIOAvi, SavedFramesOpenInFFmpegAndOddSizesRepeatTheLastFittingImage) {
  if (!HaveFFmpeg()) GTEST_SKIP() << "ffmpeg is not available";
  auto view = MakeMView(300, 120);
  TVantixMIO mio;
  mio.SetAttachedMView(view.get());
  const std::vector<TBitmap> images = {PatternBitmap(32, 24, 1), PatternBitmap(20, 20, 2),
                                       PatternBitmap(32, 24, 3)};
  for (const TBitmap& b : images) view->SetImage(view->AppendImage(), b);
  view->SetImageDelayTime(0, 100);
  const std::string out = vxtest::TempDir() + "/saved.avi";
  mio.SaveToFile(out);
  ASSERT_FALSE(mio.Aborting()) << mio.LastError();
  EXPECT_EQ(Probe(out, "nb_read_frames"), "3");
  EXPECT_EQ(Probe(out, "r_frame_rate"), "10/1");
  const auto back = PeerFrames(out, 32, 24);
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back[0], vxtest::BitmapRGB(images[0]));
  EXPECT_EQ(back[1], vxtest::BitmapRGB(images[0]));  // in place of the 20 x 20 image
  EXPECT_EQ(back[2], vxtest::BitmapRGB(images[2]));
}

TEST(MIOAvi, ACancelledCompressorChoiceLeavesAnEmptyFile) {
  auto view = MakeMView(300, 120);
  TVantixMIO mio;
  mio.SetAttachedMView(view.get());
  view->SetImage(view->AppendImage(), PatternBitmap(16, 16, 1));
  mio.AVIAskCompressor = true;
  const std::string out = vxtest::TempDir() + "/cancelled.avi";
  bool shown = false;
  QTimer::singleShot(0, [&] {
    if (QWidget* dialog = QApplication::activeModalWidget()) {
      shown = true;
      static_cast<QDialog*>(dialog)->reject();
    }
  });
  mio.SaveToFile(out);
  EXPECT_TRUE(shown);
  ASSERT_TRUE(std::filesystem::exists(out));
  EXPECT_EQ(std::filesystem::file_size(out), 0u);

  mio.AVIAskCompressor = false;
  EXPECT_THROW(mio.SaveToFile("/nonexistent-folder/x.avi"), std::exception);
}
