// The 12-byte stream headers in front of PCX, TIFF and JPEG images embedded in a stream:
// the bytes written, images read back one after the other, and the position after each.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "io/fileformats.h"
#include "io/vantixio.h"
#include "platform/bitmap.h"
#include "platform/stream.h"
#include "testsupport.h"

namespace {

using namespace vx;
using Bytes = std::vector<uint8_t>;

struct THeadedFormat {
  const char* name;
  int fileType;
  const char* magic;
  Bytes signature;  // how the image data right after the header begins
  bool lossless;
  // The JPEG loader takes a header it meets whatever StreamHeaders says.
  bool recognisedWithoutStreamHeaders;
  void (TVantixIO::*save)(TStream&);
  void (*load)(TVantixIO&, TStream&);  // the format's own stream loader
};

const THeadedFormat kFormats[] = {
    {"PCX",
     ioPCX,
     "PCX2",
     {0x0A},
     true,
     false,
     &TVantixIO::SaveToStreamPCX,
     [](TVantixIO& io, TStream& s) { io.LoadFromStreamPCX(s); }},
    {"TIFF",
     ioTIFF,
     "TIFF",
     {},
     true,
     false,
     &TVantixIO::SaveToStreamTIFF,
     [](TVantixIO& io, TStream& s) { io.LoadFromStreamTIFF(s); }},
    {"JPEG",
     ioJPEG,
     "JFIF",
     {0xFF, 0xD8, 0xFF},
     false,
     true,
     &TVantixIO::SaveToStreamJpeg,
     [](TVantixIO& io, TStream& s) { io.LoadFromStreamJpeg(s); }},
};

TBitmap Picture(int w, int h, int seed) {
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      reinterpret_cast<TRGB*>(b.ScanLine(y))[x] =
          CreateRGB(static_cast<uint8_t>(seed + 9 * x), static_cast<uint8_t>(200 - 11 * y),
                    static_cast<uint8_t>(seed * 3 + x * y));
  return b;
}

uint32_t LE32(const Bytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

void SetWriteParams(TVantixIO& io) {
  io.Params().BitsPerSample = 8;
  io.Params().SamplesPerPixel = 3;
}

// What the image data alone decodes to, with no header anywhere.
Bytes DecodeBare(const THeadedFormat& f, const Bytes& data) {
  TBitmap b;
  TVantixIO io;
  io.SetAttachedBitmap(&b);
  TMemoryStream s(data);
  f.load(io, s);
  EXPECT_FALSE(io.Aborting()) << f.name << ": " << io.LastError();
  return vxtest::BitmapRGB(b);
}

void PrintTo(const THeadedFormat& f, std::ostream* os) {
  *os << f.name;
}

class StreamHeaders : public ::testing::TestWithParam<THeadedFormat> {};

// Two headed images after a few bytes of something else, and a trailer after them: each
// header holds the magic, four zero bytes and the exact length of its image's data, and
// each read leaves the stream at the end of its image, not wherever the decoder stopped.
TEST_P(StreamHeaders, HeaderBytesReadBackAndPositionAfterEachImage) {
  const THeadedFormat& f = GetParam();
  TBitmap first = Picture(13, 9, 1), second = Picture(6, 11, 2);
  const Bytes prefix = {'a', 'b', 'c', 'd', 'e'}, trailer = {'e', 'n', 'd'};
  TMemoryStream s;
  s.WriteBuffer(prefix.data(), static_cast<int64_t>(prefix.size()));
  TVantixIO io;
  io.SetStreamHeaders(true);
  std::vector<int64_t> starts;
  for (TBitmap* b : {&first, &second}) {
    io.SetAttachedBitmap(b);
    SetWriteParams(io);
    starts.push_back(s.Position());
    (io.*f.save)(s);
    ASSERT_FALSE(io.Aborting()) << f.name << ": " << io.LastError();
  }
  const int64_t end = s.Position();
  s.WriteBuffer(trailer.data(), static_cast<int64_t>(trailer.size()));
  starts.push_back(end);

  const Bytes& all = s.Data();
  std::vector<Bytes> bare;
  for (size_t i = 0; i < 2; ++i) {
    const size_t at = static_cast<size_t>(starts[i]);
    EXPECT_EQ(std::string(all.begin() + at, all.begin() + at + 4), f.magic) << f.name;
    EXPECT_EQ(LE32(all, at + 4), 0u) << f.name;
    const uint32_t length = LE32(all, at + 8);
    ASSERT_EQ(at + 12 + length, static_cast<size_t>(starts[i + 1])) << f.name << " image " << i;
    bare.emplace_back(all.begin() + at + 12, all.begin() + at + 12 + length);
    if (f.fileType == ioTIFF) {
      const std::string order(bare.back().begin(), bare.back().begin() + 2);
      EXPECT_TRUE(order == "II" || order == "MM") << order;
    } else {
      EXPECT_TRUE(std::equal(f.signature.begin(), f.signature.end(), bare.back().begin()))
          << f.name;
    }
  }

  // The first image through detection, the second through the format's own loader.
  TBitmap got;
  io.SetAttachedBitmap(&got);
  s.SetPosition(starts[0]);
  io.LoadFromStream(s);
  ASSERT_FALSE(io.Aborting()) << f.name << ": " << io.LastError();
  EXPECT_EQ(io.Params().FileType, f.fileType);
  EXPECT_EQ(vxtest::BitmapRGB(got), DecodeBare(f, bare[0])) << f.name;
  if (f.lossless) {
    EXPECT_EQ(vxtest::BitmapRGB(got), vxtest::BitmapRGB(first)) << f.name;
  }
  EXPECT_EQ(s.Position(), starts[1]) << f.name;

  f.load(io, s);
  ASSERT_FALSE(io.Aborting()) << f.name << ": " << io.LastError();
  EXPECT_EQ(got.Width(), 6);
  EXPECT_EQ(vxtest::BitmapRGB(got), DecodeBare(f, bare[1])) << f.name;
  if (f.lossless) {
    EXPECT_EQ(vxtest::BitmapRGB(got), vxtest::BitmapRGB(second)) << f.name;
  }
  EXPECT_EQ(s.Position(), end) << f.name;

  if (f.recognisedWithoutStreamHeaders) {
    io.SetStreamHeaders(false);
    s.SetPosition(starts[1]);
    f.load(io, s);
    ASSERT_FALSE(io.Aborting()) << f.name << ": " << io.LastError();
    EXPECT_EQ(vxtest::BitmapRGB(got), DecodeBare(f, bare[1])) << f.name;
    EXPECT_EQ(s.Position(), end) << f.name;
  }
}

void PutLE32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A header whose length also covers a few bytes after the image data (as a writer that
// pads its records leaves them): the reader goes by the header, not by where the
// decoder stopped.
TEST_P(StreamHeaders, ReadersSkipToTheEndTheHeaderGives) {
  const THeadedFormat& f = GetParam();
  TBitmap b = Picture(9, 6, 5);
  TVantixIO io;
  io.SetAttachedBitmap(&b);
  SetWriteParams(io);
  TMemoryStream data;
  (io.*f.save)(data);
  ASSERT_FALSE(io.Aborting()) << f.name << ": " << io.LastError();
  const Bytes padding = {0, 0, 0, 0, 0, 0, 0};
  Bytes headed(f.magic, f.magic + 4);
  PutLE32(headed, 0);
  PutLE32(headed, static_cast<uint32_t>(data.Size() + padding.size()));
  headed.insert(headed.end(), data.Data().begin(), data.Data().end());
  headed.insert(headed.end(), padding.begin(), padding.end());
  const int64_t end = static_cast<int64_t>(headed.size());
  headed.insert(headed.end(), {'n', 'e', 'x', 't'});

  TMemoryStream s(headed);
  TBitmap got;
  io.SetAttachedBitmap(&got);
  io.SetStreamHeaders(true);
  f.load(io, s);
  ASSERT_FALSE(io.Aborting()) << f.name << ": " << io.LastError();
  EXPECT_EQ(vxtest::BitmapRGB(got), DecodeBare(f, data.Data())) << f.name;
  EXPECT_EQ(s.Position(), end) << f.name;
}

std::string FormatName(const ::testing::TestParamInfo<THeadedFormat>& format) {
  return format.param.name;
}

INSTANTIATE_TEST_SUITE_P(Formats, StreamHeaders, ::testing::ValuesIn(kFormats), FormatName);

// Without StreamHeaders the same writers put out the bare image data.
TEST(StreamHeadersOff, WritersPutOutTheBareData) {
  for (const THeadedFormat& f : kFormats) {
    TBitmap b = Picture(5, 4, 3);
    TVantixIO io;
    io.SetAttachedBitmap(&b);
    SetWriteParams(io);
    TMemoryStream bare, headed;
    (io.*f.save)(bare);
    io.SetStreamHeaders(true);
    (io.*f.save)(headed);
    ASSERT_EQ(headed.Size(), bare.Size() + 12) << f.name;
    EXPECT_TRUE(std::equal(bare.Data().begin(), bare.Data().end(), headed.Data().begin() + 12))
        << f.name;
  }
}

// The older PCX header form: "PCX" and a zero, the data 4 bytes after the header's start,
// running to the end of the stream.
TEST(StreamHeadersPcx, FourByteFormReadsTheRestOfTheStream) {
  TBitmap b = Picture(7, 3, 4);
  TVantixIO io;
  io.SetAttachedBitmap(&b);
  SetWriteParams(io);
  TMemoryStream pcx;
  io.SaveToStreamPCX(pcx);
  ASSERT_FALSE(io.Aborting());
  TMemoryStream s;
  s.WriteBuffer("xy", 2);
  s.WriteBuffer("PCX\0", 4);
  s.WriteBuffer(pcx.Data().data(), pcx.Size());
  s.SetPosition(2);
  TBitmap got;
  io.SetAttachedBitmap(&got);
  io.SetStreamHeaders(true);
  io.LoadFromStreamPCX(s);
  ASSERT_FALSE(io.Aborting()) << io.LastError();
  EXPECT_EQ(vxtest::BitmapRGB(got), vxtest::BitmapRGB(b));
}

}  // namespace
