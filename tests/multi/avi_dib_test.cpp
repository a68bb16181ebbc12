// AVIs of uncompressed DIB frames put together byte by byte: the depths a DIB declares
// (1 bit with its palette, 4 and 8 bits, 16 bits) and frames the file marks as dropped.
#include <gtest/gtest.h>

#include <cstring>

#include "avi_peer.h"
#include "multi/avifile.h"
#include "platform/stream.h"

using namespace vx;

namespace {

void Put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void PutTag(std::vector<uint8_t>& b, const char* tag) {
  Put32(b, mmioFOURCC(tag));
}
// A chunk: tag, size, data, a pad byte for odd sizes.
void PutChunk(std::vector<uint8_t>& b, const char* tag, const std::vector<uint8_t>& data) {
  PutTag(b, tag);
  Put32(b, static_cast<uint32_t>(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  if (data.size() % 2) b.push_back(0);
}
std::vector<uint8_t> List(const char* type, const std::vector<uint8_t>& content) {
  std::vector<uint8_t> b;
  PutTag(b, type);
  b.insert(b.end(), content.begin(), content.end());
  return b;
}

struct TDibClip {
  int width = 0, height = 0, bits = 0;
  std::vector<uint32_t> palette;             // 0x00RRGGBB
  std::vector<std::vector<uint8_t>> frames;  // stored rows (bottom-up, padded); empty = dropped
};

// A RIFF AVI of one video stream at 10 frames a second with an index.
std::vector<uint8_t> BuildAvi(const TDibClip& c) {
  const uint32_t n = static_cast<uint32_t>(c.frames.size());
  std::vector<uint8_t> avih;
  for (uint32_t v : {100000u, 0u, 0u, 0x10u, n, 0u, 1u, 0u, static_cast<uint32_t>(c.width),
                     static_cast<uint32_t>(c.height), 0u, 0u, 0u, 0u})
    Put32(avih, v);
  std::vector<uint8_t> strh;
  PutTag(strh, "vids");
  Put32(strh, 0);  // handler
  for (uint32_t v : {0u, 0u, 0u, 1u, 10u, 0u, n, 0u, 0xFFFFFFFFu, 0u}) Put32(strh, v);
  for (int v : {0, 0, c.width, c.height}) Put16(strh, static_cast<uint16_t>(v));
  std::vector<uint8_t> strf;
  const uint32_t rowLen = static_cast<uint32_t>((c.bits * c.width + 31) / 32 * 4);
  for (uint32_t v : {40u, static_cast<uint32_t>(c.width), static_cast<uint32_t>(c.height)})
    Put32(strf, v);
  Put16(strf, 1);
  Put16(strf, static_cast<uint16_t>(c.bits));
  for (uint32_t v : {0u, rowLen * static_cast<uint32_t>(c.height), 0u, 0u,
                     static_cast<uint32_t>(c.palette.size()), 0u})
    Put32(strf, v);
  for (uint32_t p : c.palette) Put32(strf, p);

  std::vector<uint8_t> strl, hdrl, movi, idx1;
  PutChunk(strl, "strh", strh);
  PutChunk(strl, "strf", strf);
  PutChunk(hdrl, "avih", avih);
  PutChunk(hdrl, "LIST", List("strl", strl));
  uint32_t offset = 4;  // from the "movi" tag
  for (const auto& f : c.frames) {
    PutChunk(movi, "00db", f);
    PutTag(idx1, "00db");
    Put32(idx1, f.empty() ? 0 : 0x10);
    Put32(idx1, offset);
    Put32(idx1, static_cast<uint32_t>(f.size()));
    offset += 8 + static_cast<uint32_t>(f.size() + f.size() % 2);
  }
  std::vector<uint8_t> riff;
  PutChunk(riff, "LIST", List("hdrl", hdrl));
  PutChunk(riff, "LIST", List("movi", movi));
  PutChunk(riff, "idx1", idx1);
  std::vector<uint8_t> file;
  PutChunk(file, "RIFF", List("AVI ", riff));
  return file;
}

struct TRead {
  std::vector<TBitmap> frames;
  TIOParamsVals params;
  bool aborting = false;
  std::string reason;
};

TRead ReadClip(const std::vector<uint8_t>& bytes) {
  TRead r;
  TMemoryStream stream(bytes);
  TFailure failure;
  TProgressRec progress;
  progress.Aborting = &r.aborting;
  progress.Failure = &failure;
  TAVIReader reader;
  if (reader.Open(stream, progress)) {
    TBitmap b;
    while (reader.ReadFrame(b, progress) == avirFrame) r.frames.push_back(b);
    if (!r.frames.empty()) reader.FillParams(r.params, r.frames[0], 0);
  }
  r.reason = failure.Reason;
  return r;
}

// Two 1-bit frames: the palette puts white first, so the stored bits are the inverse
// of our bit 0 = dark rule.
TEST(AviDib, OneBitFramesBecomeOneBitBitmaps) {
  TDibClip c;
  c.width = 10;
  c.height = 3;
  c.bits = 1;
  c.palette = {0xFFFFFF, 0x000000};
  // Stored rows, bottom first; 4 bytes each. Image row y has pixels x < y + 1 black.
  for (int f = 0; f < 2; ++f) {
    std::vector<uint8_t> rows;
    for (int stored = 0; stored < 3; ++stored) {
      const int y = 2 - stored;
      uint16_t bits = 0;  // 1 = palette entry 1 = black
      for (int x = 0; x <= y + f; ++x) bits |= static_cast<uint16_t>(0x8000 >> x);
      rows.insert(rows.end(), {static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits), 0, 0});
    }
    c.frames.push_back(rows);
  }
  const TRead r = ReadClip(BuildAvi(c));
  ASSERT_FALSE(r.aborting) << r.reason;
  ASSERT_EQ(r.frames.size(), 2u);
  for (int f = 0; f < 2; ++f) {
    const TBitmap& b = r.frames[f];
    ASSERT_EQ(b.PixelFormat(), pf1bit);
    ASSERT_EQ(b.Width(), 10);
    ASSERT_EQ(b.Height(), 3);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 10; ++x) {
        const bool white = b.ScanLine(y)[x >> 3] & (0x80 >> (x & 7));
        EXPECT_EQ(white, x > y + f) << "frame " << f << " at " << x << "," << y;
      }
  }
  EXPECT_EQ(r.params.BitsPerSample, 1);
  EXPECT_EQ(r.params.SamplesPerPixel, 1);
  EXPECT_EQ(r.params.GIF_DelayTime, 100);
}

// 4- and 8-bit frames take their colours from the palette; 16-bit frames are 5-5-5.
TEST(AviDib, PaletteAndHighColourFramesBecome24Bit) {
  const uint32_t pal[3] = {0x102030, 0xC08040, 0x00FF00};
  struct {
    int bits;
    std::vector<uint8_t> row;  // one stored row of 3 pixels, padded
    int bitsPerSample, samples;
  } cases[] = {
      {4, {0x01, 0x20, 0, 0}, 4, 1},
      {8, {0, 1, 2, 0}, 8, 1},
      // 0x0000 black, 0x7C00 red, 0x03E0 green (5-5-5)
      {16, {0x00, 0x00, 0x00, 0x7C, 0xE0, 0x03, 0, 0}, 8, 3},
  };
  for (const auto& tc : cases) {
    TDibClip c;
    c.width = 3;
    c.height = 2;
    c.bits = tc.bits;
    if (tc.bits <= 8) c.palette.assign(pal, pal + 3);
    std::vector<uint8_t> rows = tc.row;
    rows.insert(rows.end(), tc.row.begin(), tc.row.end());
    c.frames = {rows};
    const TRead r = ReadClip(BuildAvi(c));
    ASSERT_FALSE(r.aborting) << tc.bits << ": " << r.reason;
    ASSERT_EQ(r.frames.size(), 1u) << tc.bits;
    const TBitmap& b = r.frames[0];
    ASSERT_EQ(b.PixelFormat(), pf24bit);
    const uint8_t* p = b.ScanLine(1);
    if (tc.bits <= 8) {
      for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(p[3 * x], pal[x] & 0xFF) << tc.bits << " x " << x;
        EXPECT_EQ(p[3 * x + 1], (pal[x] >> 8) & 0xFF) << tc.bits << " x " << x;
        EXPECT_EQ(p[3 * x + 2], (pal[x] >> 16) & 0xFF) << tc.bits << " x " << x;
      }
    } else {
      EXPECT_EQ(p[0] + p[1] + p[2], 0);
      EXPECT_GE(p[5], 248);  // red
      EXPECT_EQ(p[3] + p[4], 0);
      EXPECT_GE(p[7], 248);  // green
    }
    EXPECT_EQ(r.params.BitsPerSample, tc.bitsPerSample) << tc.bits;
    EXPECT_EQ(r.params.SamplesPerPixel, tc.samples) << tc.bits;
  }
}

// A dropped frame (an empty chunk) shows the frame before it for its duration.
TEST(AviDib, DroppedFramesRepeatThePreviousFrame) {
  TDibClip c;
  c.width = 2;
  c.height = 1;
  c.bits = 24;
  c.frames = {{1, 2, 3, 4, 5, 6, 0, 0}, {}, {9, 9, 9, 7, 7, 7, 0, 0}};
  const TRead r = ReadClip(BuildAvi(c));
  ASSERT_FALSE(r.aborting) << r.reason;
  ASSERT_EQ(r.frames.size(), 3u);
  EXPECT_EQ(avitest::PackedBGR(r.frames[1]), avitest::PackedBGR(r.frames[0]));
  EXPECT_EQ(r.frames[0].ScanLine(0)[0], 1);
  EXPECT_EQ(r.frames[2].ScanLine(0)[3], 7);
}

// Frame data shorter than the header promises is a failed frame, not a garbled one.
TEST(AviDib, ShortFrameFailsAndKeepsTheFramesBefore) {
  TDibClip c;
  c.width = 4;
  c.height = 4;
  c.bits = 24;
  c.frames = {std::vector<uint8_t>(48, 0x40), std::vector<uint8_t>(20, 0x80)};
  const TRead r = ReadClip(BuildAvi(c));
  EXPECT_TRUE(r.aborting);
  EXPECT_FALSE(r.reason.empty());
  ASSERT_EQ(r.frames.size(), 1u);
  EXPECT_EQ(r.frames[0].ScanLine(3)[0], 0x40);
}

}  // namespace
