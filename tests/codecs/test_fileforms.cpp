// The file-name forms of the PCX and GIF codecs: the same files and images as the stream
// forms, refused writes that leave an existing file alone, and file-system errors raised.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codecs/giffilter.h"
#include "codecs/pcxfilter.h"
#include "io/lzwhooks.h"
#include "platform/bitmap.h"
#include "platform/exceptions.h"
#include "platform/stream.h"
#include "testsupport.h"

namespace {

using namespace vx;
using Bytes = std::vector<uint8_t>;

TBitmap Gradient(int w, int h) {
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      reinterpret_cast<TRGB*>(b.ScanLine(y))[x] =
          CreateRGB(static_cast<uint8_t>(x * 20), static_cast<uint8_t>(y * 30), 90);
  return b;
}

Bytes Slurp(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}

void Put(const std::string& name, const std::string& content) {
  std::ofstream(name, std::ios::binary) << content;
}

struct TOutcome {
  bool aborted = false;
  TProgressRec progress;
  TOutcome() { progress.Aborting = &aborted; }
};

// Writes through the stream form into memory.
template <class Writer>
Bytes InMemory(Writer write, TBitmap& b, TIOParamsVals& p) {
  TMemoryStream s;
  TOutcome o;
  write(s, b, p, o.progress);
  EXPECT_FALSE(o.aborted);
  return s.Data();
}

TEST(CodecFileForms, WriteTheStreamFormsBytesAndReadThemBack) {
  const std::string dir = vxtest::TempDir();
  TBitmap src = Gradient(11, 7);

  TIOParamsVals pcxParams;
  pcxParams.BitsPerSample = 8;
  pcxParams.SamplesPerPixel = 3;
  TOutcome wrotePcx;
  WritePcx(dir + "/a.pcx", src, pcxParams, wrotePcx.progress);
  ASSERT_FALSE(wrotePcx.aborted);
  EXPECT_EQ(Slurp(dir + "/a.pcx"), InMemory(WritePcxStream, src, pcxParams));
  TBitmap pcx;
  TIOParamsVals readPcx;
  TOutcome readPcxOutcome;
  ReadPcx(dir + "/a.pcx", pcx, readPcx, false, readPcxOutcome.progress);
  ASSERT_FALSE(readPcxOutcome.aborted);
  EXPECT_EQ(vxtest::BitmapRGB(pcx), vxtest::BitmapRGB(src));
  // A preview fills the parameters and leaves the bitmap alone.
  TBitmap untouched;
  TIOParamsVals preview;
  TOutcome previewOutcome;
  ReadPcx(dir + "/a.pcx", untouched, preview, true, previewOutcome.progress);
  EXPECT_EQ(preview.Width, 11);
  EXPECT_EQ(preview.Height, 7);
  EXPECT_TRUE(untouched.Empty());

  TIOParamsVals gifParams;
  gifParams.BitsPerSample = 8;
  TOutcome wroteGif;
  WriteGif(dir + "/a.gif", src, gifParams, wroteGif.progress);
  ASSERT_FALSE(wroteGif.aborted);
  EXPECT_EQ(Slurp(dir + "/a.gif"), InMemory(WriteGifStream, src, gifParams));
  TBitmap gif;
  TIOParamsVals readGif;
  TOutcome readGifOutcome;
  int count = -1;
  ReadGif(dir + "/a.gif", gif, count, readGif, readGifOutcome.progress);
  ASSERT_FALSE(readGifOutcome.aborted);
  EXPECT_EQ(count, 1);
  TMemoryStream gifStream(Slurp(dir + "/a.gif"));
  TBitmap fromStream;
  TIOParamsVals streamParams;
  TOutcome streamOutcome;
  int streamCount = 0;
  ReadGifStream(gifStream, fromStream, streamCount, false, streamParams, streamOutcome.progress);
  EXPECT_EQ(vxtest::BitmapRGB(gif), vxtest::BitmapRGB(fromStream));
  EXPECT_EQ(gif.Width(), 11);
}

TEST(CodecFileForms, RefusedWritesLeaveAnExistingFileAndCreateNone) {
  const std::string dir = vxtest::TempDir();
  TBitmap src = Gradient(4, 4);

  TIOParamsVals twoBits;  // a layout PCX cannot hold
  twoBits.BitsPerSample = 2;
  twoBits.SamplesPerPixel = 1;
  Put(dir + "/keep.pcx", "precious");
  TOutcome pcx;
  WritePcx(dir + "/keep.pcx", src, twoBits, pcx.progress);
  EXPECT_TRUE(pcx.aborted);
  EXPECT_EQ(Slurp(dir + "/keep.pcx"), Bytes({'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'}));
  TOutcome fresh;
  WritePcx(dir + "/new.pcx", src, twoBits, fresh.progress);
  EXPECT_FALSE(std::filesystem::exists(dir + "/new.pcx"));

  // Without an LZW coder the GIF writer refuses.
  const TGIFLZWCompFunc saved = DefGIF_LZWCOMPFUNC;
  DefGIF_LZWCOMPFUNC = nullptr;
  TIOParamsVals noCoder;
  noCoder.GIF_LZWCompress = nullptr;
  Put(dir + "/keep.gif", "precious");
  TOutcome gif;
  WriteGif(dir + "/keep.gif", src, noCoder, gif.progress);
  DefGIF_LZWCOMPFUNC = saved;
  EXPECT_TRUE(gif.aborted);
  EXPECT_EQ(Slurp(dir + "/keep.gif"), Bytes({'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'}));
}

TEST(CodecFileForms, FileSystemErrorsAreRaised) {
  const std::string dir = vxtest::TempDir();
  TBitmap b = Gradient(3, 3);
  TIOParamsVals p;
  TOutcome o;
  int count = 0;
  EXPECT_THROW(ReadPcx(dir + "/missing.pcx", b, p, false, o.progress), EFOpenError);
  EXPECT_THROW(ReadGif(dir + "/missing.gif", b, count, p, o.progress), EFOpenError);
  p.BitsPerSample = 8;
  p.SamplesPerPixel = 3;
  EXPECT_THROW(WritePcx(dir + "/no/such/dir.pcx", b, p, o.progress), EFCreateError);
  EXPECT_THROW(WriteGif(dir + "/no/such/dir.gif", b, p, o.progress), EFCreateError);
}

}  // namespace
