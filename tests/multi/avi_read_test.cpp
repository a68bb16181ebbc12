// Reading AVIs that the ffmpeg program wrote, compared frame by frame with its own decode.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "avi_peer.h"
#include "multi/avifile.h"
#include "pixellimit.h"
#include "platform/screen.h"
#include "platform/stream.h"
#include "testsupport.h"

using namespace vx;
using namespace avitest;

namespace {

struct TProgressProbe {
  bool aborting = false;
  TFailure failure;
  TProgressRec rec;
  TProgressProbe() {
    rec.Aborting = &aborting;
    rec.Failure = &failure;
  }
};

std::vector<TBitmap> ReadAll(TAVIReader& reader, TProgressProbe& probe) {
  std::vector<TBitmap> frames;
  TBitmap bitmap;
  while (reader.ReadFrame(bitmap, probe.rec) == avirFrame) frames.push_back(bitmap);
  return frames;
}

#define SKIP_WITHOUT_FFMPEG() \
  if (!HaveFFmpeg()) GTEST_SKIP() << "ffmpeg is not installed"

struct TClipCase {
  const char* name;
  const char* args;
  int bitCount;
  int bitsPerSample;
  int samplesPerPixel;
  // Largest difference from ffmpeg's own decode (same decoder, so lossy codecs only
  // differ where the colour conversion does).
  int tolerance;
  const char* encoder;  // needed in ffmpeg, or null
};

const TClipCase kClips[] = {
    {"raw_bgr24", "-c:v rawvideo -pix_fmt bgr24", 24, 8, 3, 0, nullptr},
    {"raw_pal8", "-c:v rawvideo -pix_fmt pal8", 8, 8, 1, 0, nullptr},
    {"mjpeg", "-c:v mjpeg -q:v 3", 24, 8, 3, 2, nullptr},
    {"msvideo1", "-c:v msvideo1", 24, 8, 3, 0, nullptr},
    {"huffyuv", "-c:v huffyuv", 24, 8, 3, 0, nullptr},
    {"ffv1", "-c:v ffv1", 24, 8, 3, 0, nullptr},
    {"mpeg4", "-c:v mpeg4 -q:v 4", 24, 8, 3, 2, nullptr},
    {"h264", "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -bf 2", 24, 8, 3, 2, "libx264"},
};

class AviReadPeer : public ::testing::TestWithParam<TClipCase> {};

TEST_P(AviReadPeer, FramesMatchThePeerDecode) {
  SKIP_WITHOUT_FFMPEG();
  const TClipCase& c = GetParam();
  if (c.encoder && !HaveEncoder(c.encoder)) GTEST_SKIP() << c.encoder << " is missing";
  const std::string path = MakeClip(c.name, c.args);
  ASSERT_FALSE(path.empty());

  TProgressProbe probe;
  TAVIReader reader;
  ASSERT_TRUE(reader.Open(path, probe.rec)) << probe.failure.Reason;
  EXPECT_EQ(reader.FrameCount(), 6);
  EXPECT_EQ(reader.DelayMs(), 80);  // 12.5 frames a second
  EXPECT_EQ(reader.Width(), 64);
  EXPECT_EQ(reader.Height(), 48);
  EXPECT_EQ(reader.BitCount(), c.bitCount);

  const std::vector<TBitmap> ours = ReadAll(reader, probe);
  EXPECT_FALSE(probe.aborting) << probe.failure.Reason;
  const auto peer = PeerFrames(path, 64, 48);
  ASSERT_EQ(ours.size(), 6u);
  ASSERT_EQ(peer.size(), 6u);
  for (size_t i = 0; i < ours.size(); ++i) {
    EXPECT_EQ(ours[i].PixelFormat(), pf24bit);
    EXPECT_LE(MaxDifference(PackedBGR(ours[i]), peer[i]), c.tolerance) << "frame " << i;
  }

  TIOParamsVals params;
  params.SetColorMap(std::vector<TRGB>(4));
  reader.FillParams(params, ours[3], 3);
  EXPECT_EQ(params.GIF_DelayTime, 80);
  EXPECT_EQ(params.BitsPerSample, c.bitsPerSample);
  EXPECT_EQ(params.SamplesPerPixel, c.samplesPerPixel);
  EXPECT_EQ(params.GIF_ImageIndex, 3);
  EXPECT_EQ(params.TIFF_ImageIndex, 3);
  EXPECT_EQ(params.DpiX, gSystemDPIX);
  EXPECT_EQ(params.DpiY, gSystemDPIY);
  EXPECT_EQ(params.Width, 64);
  EXPECT_EQ(params.Height, 48);
  EXPECT_EQ(params.FileName, path);
  EXPECT_EQ(params.FileType, ioUnknown);
  EXPECT_EQ(params.ColorMapCount, 0);
  EXPECT_TRUE(params.ColorMap.empty());
}

INSTANTIATE_TEST_SUITE_P(Codecs, AviReadPeer, ::testing::ValuesIn(kClips),
                         [](const auto& p) { return std::string(p.param.name); });

// Odd widths pad the stored rows; the frame rate decides the delay.
TEST(AviRead, OddSizeAndFractionalRates) {
  SKIP_WITHOUT_FFMPEG();
  struct {
    const char* name;
    int w, h;
    const char* rate;
    int delay;
  } cases[] = {{"odd_ntsc", 33, 17, "30000/1001", 33}, {"slow", 31, 9, "1/2", 2000}};
  for (const auto& c : cases) {
    const std::string path = MakeClip(c.name, "-c:v rawvideo -pix_fmt bgr24", c.w, c.h, 3, c.rate);
    ASSERT_FALSE(path.empty());
    TProgressProbe probe;
    TAVIReader reader;
    ASSERT_TRUE(reader.Open(path, probe.rec)) << probe.failure.Reason;
    EXPECT_EQ(reader.DelayMs(), c.delay) << c.name;
    const auto ours = ReadAll(reader, probe);
    const auto peer = PeerFrames(path, c.w, c.h);
    ASSERT_EQ(ours.size(), 3u) << c.name;
    ASSERT_EQ(peer.size(), 3u) << c.name;
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(PackedBGR(ours[i]), peer[i]) << c.name << " " << i;
  }
}

// An AVI inside a larger stream is read from the stream's position.
TEST(AviRead, ReadsFromAStreamAtItsPosition) {
  SKIP_WITHOUT_FFMPEG();
  const std::string path = MakeClip("ffv1", "-c:v ffv1");
  ASSERT_FALSE(path.empty());
  std::vector<uint8_t> bytes(100, 0xAB);
  const auto file = ReadWholeFile(path);
  bytes.insert(bytes.end(), file.begin(), file.end());
  TMemoryStream stream(bytes);
  stream.Seek(100, soBeginning);
  TProgressProbe probe;
  TAVIReader reader;
  ASSERT_TRUE(reader.Open(stream, probe.rec)) << probe.failure.Reason;
  const auto ours = ReadAll(reader, probe);
  const auto peer = PeerFrames(path, 64, 48);
  ASSERT_EQ(ours.size(), peer.size());
  for (size_t i = 0; i < ours.size(); ++i) EXPECT_EQ(PackedBGR(ours[i]), peer[i]);
  TIOParamsVals params;
  reader.FillParams(params, ours[0], 0);
  EXPECT_EQ(params.FileName, "");
}

TEST(AviRead, FilesWithoutVideoFailCleanly) {
  SKIP_WITHOUT_FFMPEG();
  const std::string dir = vxtest::TempDir();
  const std::string audio = dir + "/audio_only.avi";
  ASSERT_TRUE(
      vxtest::CommandSucceeds("ffmpeg -nostdin -v error -y -f lavfi -i "
                              "sine=duration=0.2 -c:a pcm_s16le '" +
                              audio + "'"));
  const std::string notAvi = dir + "/not_avi.avi";
  WriteWholeFile(notAvi, std::vector<uint8_t>(500, 'x'));
  const std::string empty = dir + "/empty.avi";
  WriteWholeFile(empty, {});
  struct {
    std::string path;
    const char* reason;
  } cases[] = {{audio, "no video stream"},
               {notAvi, "not a readable AVI"},
               {empty, "not a readable AVI"},
               {dir + "/missing.avi", "missing.avi"}};
  for (const auto& c : cases) {
    TProgressProbe probe;
    TAVIReader reader;
    EXPECT_FALSE(reader.Open(c.path, probe.rec)) << c.path;
    EXPECT_TRUE(probe.aborting) << c.path;
    EXPECT_NE(probe.failure.Reason.find(c.reason), std::string::npos) << probe.failure.Reason;
    EXPECT_FALSE(reader.IsOpen());
    TBitmap b;
    EXPECT_EQ(reader.ReadFrame(b, probe.rec), avirFailed);

    TProgressProbe again;
    int calls = 0;
    EXPECT_EQ(ReadAVIFrames(
                  c.path, [&](TBitmap&, TIOParamsVals&, int) { return ++calls, true; }, again.rec),
              0);
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(again.aborting);
  }
}

// A cut-off file fails, and the frames before the cut are handed over intact.
TEST(AviRead, TruncatedFileKeepsTheFramesBeforeTheCut) {
  SKIP_WITHOUT_FFMPEG();
  const std::string path = MakeClip("raw_bgr24", "-c:v rawvideo -pix_fmt bgr24");
  ASSERT_FALSE(path.empty());
  auto bytes = ReadWholeFile(path);
  bytes.resize(bytes.size() / 2);
  const std::string cut = vxtest::TempDir() + "/cut.avi";
  WriteWholeFile(cut, bytes);
  const auto peer = PeerFrames(path, 64, 48);

  TProgressProbe probe;
  std::vector<int> percents;
  probe.rec.ProgressEvent = [&](TObject*, int p) { percents.push_back(p); };
  std::vector<std::vector<uint8_t>> got;
  const int n = ReadAVIFrames(
      cut,
      [&](TBitmap& b, TIOParamsVals& p, int index) {
        EXPECT_EQ(p.GIF_ImageIndex, index);
        got.push_back(PackedBGR(b));
        return true;
      },
      probe.rec);
  EXPECT_TRUE(probe.aborting);
  EXPECT_GT(n, 0);
  EXPECT_LT(n, 6);
  ASSERT_EQ(static_cast<int>(got.size()), n);
  for (int i = 0; i < n; ++i) EXPECT_EQ(got[i], peer[i]) << i;
  ASSERT_EQ(static_cast<int>(percents.size()), n);
  EXPECT_EQ(percents.front(), 100 / 6);
}

TEST(AviRead, SinkAndAbortStopTheReading) {
  SKIP_WITHOUT_FFMPEG();
  const std::string path = MakeClip("ffv1", "-c:v ffv1");
  ASSERT_FALSE(path.empty());
  TProgressProbe probe;
  EXPECT_EQ(ReadAVIFrames(
                path, [](TBitmap&, TIOParamsVals&, int i) { return i < 1; }, probe.rec),
            2);
  EXPECT_FALSE(probe.aborting);

  TProgressProbe user;
  user.rec.ProgressEvent = [&](TObject*, int) { user.aborting = true; };
  EXPECT_EQ(ReadAVIFrames(
                path, [](TBitmap&, TIOParamsVals&, int) { return true; }, user.rec),
            1);
}

TEST(AviRead, PixelLimitRefusesTheFile) {
  SKIP_WITHOUT_FFMPEG();
  const std::string path = MakeClip("mjpeg", "-c:v mjpeg -q:v 3");
  ASSERT_FALSE(path.empty());
  vxtest::PixelLimit limit(64 * 48 - 1);
  TProgressProbe probe;
  TAVIReader reader;
  EXPECT_FALSE(reader.Open(path, probe.rec));
  EXPECT_TRUE(probe.aborting);
  EXPECT_NE(probe.failure.Reason.find("pixel limit"), std::string::npos) << probe.failure.Reason;
}

}  // namespace
