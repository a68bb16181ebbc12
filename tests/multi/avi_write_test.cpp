// Writing AVIs: ffprobe and ffmpeg read them back, and so does our reader.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "avi_peer.h"
#include "multi/avifile.h"
#include "platform/stream.h"
#include "testsupport.h"

using namespace vx;
using namespace avitest;

namespace {

static_assert(mmioFOURCC("vids") == 0x73646976);
static_assert(mmioFOURCC("00dbXYZ") == mmioFOURCC("00db"));
static_assert(mmioFOURCC("ab") == 0x6261);

struct TProgressProbe {
  bool aborting = false;
  TFailure failure;
  TProgressRec rec;
  TProgressProbe() {
    rec.Aborting = &aborting;
    rec.Failure = &failure;
  }
};

#define SKIP_WITHOUT_FFMPEG() \
  if (!HaveFFmpeg()) GTEST_SKIP() << "ffmpeg is not installed"

std::string OutPath(const std::string& name) {
  return (std::filesystem::path(vxtest::TempDir()) / (name + ".avi")).string();
}

// Writes the frames with one delay; false (with the failure) when the writer refused.
void WriteFrames(const std::string& path, const std::vector<TBitmap>& frames, int delayMs,
                 const TAVICompressorOptions& options) {
  TProgressProbe probe;
  TAVIWriter writer;
  writer.Create(path, delayMs, options);
  for (const auto& f : frames) ASSERT_TRUE(writer.AddFrame(f, probe.rec)) << probe.failure.Reason;
  ASSERT_TRUE(writer.Finish(probe.rec)) << probe.failure.Reason;
  EXPECT_FALSE(probe.aborting);
}

std::vector<std::vector<uint8_t>> OurFrames(const std::string& path) {
  std::vector<std::vector<uint8_t>> frames;
  TProgressProbe probe;
  ReadAVIFrames(
      path, [&](TBitmap& b, TIOParamsVals&, int) { return frames.push_back(PackedBGR(b)), true; },
      probe.rec);
  EXPECT_FALSE(probe.aborting) << probe.failure.Reason;
  return frames;
}

struct TWriteCase {
  TAVICompressor compressor;
  const char* codecName;  // as ffprobe names it
  int width, height;
  bool lossless;
};

const TWriteCase kWrites[] = {
    {aviFullFrames, "rawvideo", 37, 21, true}, {aviFFV1, "ffv1", 37, 21, true},
    {aviHuffyuv, "huffyuv", 37, 21, true},     {aviMJPEG, "mjpeg", 47, 31, false},
    {aviMPEG4, "mpeg4", 48, 32, false},
};

class AviWritePeer : public ::testing::TestWithParam<TWriteCase> {};

TEST_P(AviWritePeer, PeerReadsOurFrames) {
  SKIP_WITHOUT_FFMPEG();
  const TWriteCase& c = GetParam();
  if (!AVICompressorAvailable(c.compressor)) GTEST_SKIP() << "no encoder";
  std::vector<TBitmap> frames;
  for (int i = 0; i < 4; ++i) frames.push_back(Pattern(c.width, c.height, i));
  const std::string path = OutPath(std::string("ours_") + c.codecName);
  TAVICompressorOptions options;
  options.Compressor = c.compressor;
  options.Quality = 90;
  options.BitRate = 4000000;
  WriteFrames(path, frames, 40, options);

  const TProbed probed = Probe(path);
  EXPECT_EQ(probed.Codec, c.codecName);
  EXPECT_EQ(probed.Frames, "4");
  EXPECT_EQ(probed.Rate, "25/1");
  EXPECT_EQ(probed.Width, c.width);
  EXPECT_EQ(probed.Height, c.height);

  const auto peer = PeerFrames(path, c.width, c.height);
  const auto ours = OurFrames(path);
  ASSERT_EQ(peer.size(), 4u);
  ASSERT_EQ(ours.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    const auto source = PackedBGR(frames[i]);
    if (c.lossless) {
      EXPECT_EQ(peer[i], source) << "frame " << i;
    } else {
      EXPECT_LT(MeanDifference(peer[i], source), 10.0) << "frame " << i;
    }
    EXPECT_EQ(ours[i], peer[i]) << "frame " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Compressors, AviWritePeer, ::testing::ValuesIn(kWrites),
                         [](const auto& p) { return std::string(p.param.codecName); });

// Motion JPEG quality and MPEG-4 bit rate reach the encoder: more of either, a larger
// file closer to the source.
TEST(AviWrite, QualityAndBitRateReachTheEncoder) {
  SKIP_WITHOUT_FFMPEG();
  // Enough frames for the rate control to settle.
  std::vector<TBitmap> frames;
  for (int i = 0; i < 16; ++i) frames.push_back(Pattern(64, 48, i));
  struct {
    TAVICompressor compressor;
    int lowQuality, highQuality;
    int64_t lowRate, highRate;
  } cases[] = {{aviMJPEG, 10, 95, 0, 0}, {aviMPEG4, 75, 75, 100000, 8000000}};
  for (const auto& c : cases) {
    double error[2];
    uintmax_t size[2];
    for (int high = 0; high < 2; ++high) {
      TAVICompressorOptions options;
      options.Compressor = c.compressor;
      options.Quality = high ? c.highQuality : c.lowQuality;
      options.BitRate = high ? c.highRate : c.lowRate;
      const std::string path = OutPath(std::string("setting_") + AVICompressorName(c.compressor) +
                                       (high ? "_hi" : "_lo"));
      WriteFrames(path, frames, 40, options);
      size[high] = std::filesystem::file_size(path);
      const auto peer = PeerFrames(path, 64, 48);
      ASSERT_EQ(peer.size(), 16u);
      error[high] = MeanDifference(peer[15], PackedBGR(frames[15]));
    }
    EXPECT_GT(size[1], size[0]) << AVICompressorName(c.compressor);
    EXPECT_LT(error[1], error[0]) << AVICompressorName(c.compressor);
  }
}

// Uncompressed frames are stored as a DIB stores them: a positive height and the bottom
// row first, so that every player shows them upright.
TEST(AviWrite, FullFramesAreBottomUpDIBRows) {
  const TBitmap frame = Pattern(5, 3, 1);
  TMemoryStream stream;
  {
    TProgressProbe probe;
    TAVIWriter writer;
    writer.Create(stream, 100);
    ASSERT_TRUE(writer.AddFrame(frame, probe.rec)) << probe.failure.Reason;
    ASSERT_TRUE(writer.Finish(probe.rec)) << probe.failure.Reason;
  }
  const auto& bytes = stream.Data();
  auto find = [&](const char* tag, size_t from = 0) {
    for (size_t i = from; i + 8 <= bytes.size(); ++i)
      if (std::memcmp(&bytes[i], tag, std::strlen(tag)) == 0) return i;
    return bytes.size();
  };
  const size_t strf = find("strf");
  ASSERT_LT(strf + 8 + 40, bytes.size());
  int32_t biHeight;
  uint16_t biBitCount;
  std::memcpy(&biHeight, &bytes[strf + 8 + 8], 4);
  std::memcpy(&biBitCount, &bytes[strf + 8 + 14], 2);
  EXPECT_EQ(biHeight, 3);
  EXPECT_EQ(biBitCount, 24);
  const size_t chunk = find("00d", find("movi"));  // 00db or 00dc
  ASSERT_LE(chunk + 8 + 3 * 16, bytes.size());
  uint32_t size;
  std::memcpy(&size, &bytes[chunk + 4], 4);
  EXPECT_EQ(size, 3u * 16u);  // rows padded to four bytes
  for (int stored = 0; stored < 3; ++stored)
    EXPECT_EQ(0, std::memcmp(&bytes[chunk + 8 + stored * 16], frame.ScanLine(2 - stored), 15))
        << "stored row " << stored;
}

// Frames of another size than the first are replaced by the last frame of that size.
TEST(AviWrite, OddSizedImagesRepeatTheLastReferenceImage) {
  SKIP_WITHOUT_FFMPEG();
  const TBitmap a = Pattern(16, 8, 0), b = Pattern(16, 8, 1), odd = Pattern(9, 9, 2);
  TBitmap mono;
  mono.SetPixelFormat(pf1bit);
  mono.SetSize(16, 8);
  for (int y = 0; y < 8; ++y) mono.ScanLine(y)[0] = 0xF0;
  const std::string path = OutPath("odd_sizes");
  WriteFrames(path, {a, odd, b, odd, odd, mono}, 100, {});
  const auto peer = PeerFrames(path, 16, 8);
  ASSERT_EQ(peer.size(), 6u);
  EXPECT_EQ(peer[0], PackedBGR(a));
  EXPECT_EQ(peer[1], PackedBGR(a));
  EXPECT_EQ(peer[2], PackedBGR(b));
  EXPECT_EQ(peer[3], PackedBGR(b));
  EXPECT_EQ(peer[4], PackedBGR(b));
  EXPECT_EQ(peer[5], PackedBGR(mono));  // 1-bit images go in as black and white pixels
  EXPECT_EQ(Probe(path).Rate, "10/1");
}

// The rate is trunc(1000 / delay) frames a second; longer delays than a second keep
// their length instead of becoming a rate of 0.
TEST(AviWrite, RateFollowsTheFirstDelay) {
  SKIP_WITHOUT_FFMPEG();
  struct {
    int delay;
    int rate, scale;
    const char* probed;
    int readDelay;
  } cases[] = {{0, 1000, 1, "1000/1", 1},
               {33, 30, 1, "30/1", 33},
               {1000, 1, 1, "1/1", 1000},
               {2500, 1000, 2500, "2/5", 2500}};
  EXPECT_EQ(AVIRateFromDelay(-5), 1000);
  EXPECT_EQ(AVIRateFromDelay(300), 3);
  EXPECT_EQ(AVIDelayFromRate(29.97), 33);
  EXPECT_EQ(AVIDelayFromRate(0), 0);
  for (const auto& c : cases) {
    const std::string path = OutPath("rate_" + std::to_string(c.delay));
    TProgressProbe probe;
    TAVIWriter writer;
    writer.Create(path, c.delay);
    EXPECT_EQ(writer.Rate(), c.rate);
    EXPECT_EQ(writer.Scale(), c.scale);
    ASSERT_TRUE(writer.AddFrame(Pattern(8, 8, 0), probe.rec));
    ASSERT_TRUE(writer.AddFrame(Pattern(8, 8, 1), probe.rec));
    ASSERT_TRUE(writer.Finish(probe.rec));
    EXPECT_EQ(Probe(path).Rate, c.probed) << c.delay;
    TAVIReader reader;
    ASSERT_TRUE(reader.Open(path, probe.rec));
    EXPECT_EQ(reader.DelayMs(), c.readDelay) << c.delay;
    EXPECT_EQ(reader.FrameCount(), 2);
  }
}

TEST(AviWrite, CancelLeavesAnEmptyFile) {
  const std::string path = OutPath("cancelled");
  TProgressProbe probe;
  TAVIWriter writer;
  writer.Create(path, 40);
  ASSERT_TRUE(writer.AddFrame(Pattern(8, 8, 0), probe.rec));
  writer.Cancel();
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(std::filesystem::file_size(path), 0u);

  // Into a stream: cut back to where the writer began.
  TMemoryStream stream;
  WriteLE32(stream, 0x12345678);
  TAVIWriter second;
  second.Create(stream, 40);
  second.Cancel();
  EXPECT_EQ(stream.Size(), 4);
}

TEST(AviWrite, UncreatableFileRaises) {
  TAVIWriter writer;
  try {
    writer.Create(vxtest::TempDir() + "/no/such/folder/x.avi", 40);
    FAIL() << "no exception";
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "unable to create AVI file");
  }
  TProgressProbe probe;
  EXPECT_FALSE(writer.AddFrame(Pattern(4, 4, 0), probe.rec));
  EXPECT_TRUE(probe.aborting);
}

// A stream that refuses the data fails the save with the stream's reason.
TEST(AviWrite, RefusedWritesFail) {
  class TFullStream : public TMemoryStream {
   public:
    int64_t Write(const void* buffer, int64_t count) override {
      if (Size() + count > 2000) return 0;
      return TMemoryStream::Write(buffer, count);
    }
    std::string ErrorText() const override { return "No space left on device"; }
  } stream;
  TProgressProbe probe;
  TAVIWriter writer;
  writer.Create(stream, 40);
  bool ok = true;
  for (int i = 0; i < 20 && ok; ++i) ok = writer.AddFrame(Pattern(40, 30, i), probe.rec);
  if (ok) ok = writer.Finish(probe.rec);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(probe.aborting);
  EXPECT_NE(probe.failure.Reason.find("No space left"), std::string::npos) << probe.failure.Reason;
}

TEST(AviWrite, FirstImageMustHavePixels) {
  TMemoryStream stream;
  TProgressProbe probe;
  TAVIWriter writer;
  writer.Create(stream, 40);
  EXPECT_FALSE(writer.AddFrame(TBitmap(), probe.rec));
  EXPECT_TRUE(probe.aborting);
}

TEST(AviCompressors, NamesRoundTrip) {
  for (TAVICompressor c : AVICompressors()) {
    TAVICompressor parsed{};
    ASSERT_TRUE(AVICompressorFromName(AVICompressorName(c), parsed));
    EXPECT_EQ(parsed, c);
    EXPECT_STRNE(AVICompressorCaption(c), "");
  }
  TAVICompressor c = aviMJPEG;
  EXPECT_TRUE(AVICompressorFromName("RAW", c));
  EXPECT_EQ(c, aviFullFrames);
  EXPECT_FALSE(AVICompressorFromName("h264", c));
  EXPECT_EQ(TAVICompressorOptions{}.Compressor, aviFullFrames);
}

}  // namespace
