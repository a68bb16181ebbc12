// Whole-buffer zlib helpers and the compression streams, checked against zlib itself.
#include <gtest/gtest.h>

#include <zlib.h>

#include <string>
#include <vector>

#include "allocfail.h"
#include "codecs/vxzlib.h"
#include "platform/stream.h"

using namespace vx;

namespace {

std::vector<uint8_t> Data(size_t n, bool compressible) {
  std::vector<uint8_t> v(n);
  uint32_t seed = 7;
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1664525u + 1013904223u;
    v[i] = compressible ? static_cast<uint8_t>((i / 64) % 7 + (seed >> 31))
                        : static_cast<uint8_t>(seed >> 24);
  }
  return v;
}

std::vector<uint8_t> ZlibInflate(const std::vector<uint8_t>& in, size_t size) {
  std::vector<uint8_t> out(size + 1);
  uLongf len = static_cast<uLongf>(out.size());
  EXPECT_EQ(uncompress(out.data(), &len, in.data(), static_cast<uLong>(in.size())), Z_OK);
  out.resize(len);
  return out;
}

std::vector<uint8_t> ZlibDeflate(const std::vector<uint8_t>& in) {
  std::vector<uint8_t> out(compressBound(static_cast<uLong>(in.size())));
  uLongf len = static_cast<uLongf>(out.size());
  EXPECT_EQ(compress2(out.data(), &len, in.data(), static_cast<uLong>(in.size()), 6), Z_OK);
  out.resize(len);
  return out;
}

TEST(ZlibBuf, RoundTripsAgainstZlib) {
  for (const size_t n : {size_t{0}, size_t{1}, size_t{1000}, size_t{100000}}) {
    for (const bool compressible : {false, true}) {
      SCOPED_TRACE(std::to_string(n) + (compressible ? " compressible" : " random"));
      const auto in = Data(n, compressible);
      std::vector<uint8_t> packed;
      int64_t packedBytes = -1;
      CompressBuf(in.data(), static_cast<int64_t>(in.size()), packed, packedBytes);
      ASSERT_EQ(packedBytes, static_cast<int64_t>(packed.size()));
      ASSERT_GT(packedBytes, 0);  // even nothing is a valid stream
      EXPECT_EQ(ZlibInflate(packed, n), in);

      // Whatever the estimate, the same bytes come back.
      const auto theirs = ZlibDeflate(in);
      for (const int64_t estimate :
           {int64_t{0}, int64_t{1}, static_cast<int64_t>(n), int64_t{1} << 40}) {
        std::vector<uint8_t> out;
        int64_t outBytes = -1;
        DecompressBuf(theirs.data(), static_cast<int64_t>(theirs.size()), estimate, out, outBytes);
        EXPECT_EQ(outBytes, static_cast<int64_t>(n));
        EXPECT_EQ(out, in);
      }
    }
  }
}

TEST(ZlibBuf, BadDataAndBombsRaise) {
  const auto in = Data(5000, true);
  auto z = ZlibDeflate(in);
  std::vector<uint8_t> out;
  int64_t n = 0;
  // Cut short, damaged, not zlib at all.
  EXPECT_THROW(DecompressBuf(z.data(), static_cast<int64_t>(z.size()) - 5, 0, out, n),
               EDecompressionError);
  auto damaged = z;
  damaged[z.size() / 2] ^= 0x55;
  damaged[z.size() / 2 + 1] ^= 0x55;
  EXPECT_THROW(DecompressBuf(damaged.data(), static_cast<int64_t>(damaged.size()), 0, out, n),
               EZlibError);
  const uint8_t junk[] = {1, 2, 3, 4, 5, 6};
  EXPECT_THROW(DecompressBuf(junk, sizeof junk, 0, out, n), EDecompressionError);
  EXPECT_TRUE(out.empty());

  // Eight megabytes of zeros from a few kilobytes: refused past the limit, with a reason.
  const std::vector<uint8_t> zeros(8 << 20, 0);
  const auto bomb = ZlibDeflate(zeros);
  ASSERT_LT(bomb.size(), 20000u);
  try {
    DecompressBuf(bomb.data(), static_cast<int64_t>(bomb.size()), 0, out, n, 1 << 20);
    FAIL() << "no exception";
  } catch (const EDecompressionError& e) {
    EXPECT_NE(std::string(e.what()).find("limit"), std::string::npos) << e.what();
  }
  // Exactly at the limit is fine.
  DecompressBuf(bomb.data(), static_cast<int64_t>(bomb.size()), 0, out, n, 8 << 20);
  EXPECT_EQ(n, 8 << 20);
}

TEST(ZlibBuf, RunningOutOfMemoryReleasesTheZlibState) {
  const auto in = Data(4 << 20, true);
  const std::vector<uint8_t> zeros(8 << 20, 0);
  const auto bomb = ZlibDeflate(zeros);
  std::vector<uint8_t> out;
  int64_t n = 0;
  // The output block is the only allocation this large: it fails after the zlib state
  // exists, which must then be released (the deflate state alone is over 200 KiB).
  for (int round = 0; round < 2; ++round) {
    const size_t before = vxtest::HeapInUse();
    vxtest::FailAllocationsFrom(4 << 20);
    bool threw = false;
    try {
      if (round == 0)
        CompressBuf(in.data(), static_cast<int64_t>(in.size()), out, n);
      else
        DecompressBuf(bomb.data(), static_cast<int64_t>(bomb.size()), 8 << 20, out, n);
    } catch (const std::bad_alloc&) {
      threw = true;
    }
    vxtest::StopFailingAllocations();
    SCOPED_TRACE(round);
    EXPECT_TRUE(threw);
    EXPECT_LT(vxtest::HeapInUse(), before + 1024);
  }
}

TEST(ZlibStream, CompressionStreamWritesAZlibStream) {
  const auto in = Data(400000, true);
  TMemoryStream dest;
  dest.Write("HEAD", 4);
  int progress = 0;
  double rate = 0;
  {
    TCompressionStream z(TCompressionLevel::clMax, dest);
    z.OnProgress = [&](TObject*) { ++progress; };
    EXPECT_EQ(z.CompressionRate(), 0);
    size_t done = 0;
    for (size_t chunk = 1; done < in.size(); chunk = chunk * 3 + 1) {
      const size_t n = std::min(chunk, in.size() - done);
      EXPECT_EQ(z.Write(in.data() + done, static_cast<int64_t>(n)), static_cast<int64_t>(n));
      done += n;
    }
    EXPECT_EQ(z.Position(), static_cast<int64_t>(in.size()));
    uint8_t b;
    EXPECT_THROW(z.Read(&b, 1), ECompressionError);
    EXPECT_THROW(z.Seek(10, soBeginning), ECompressionError);
    z.Finish();
    rate = z.CompressionRate();
  }  // destroying after Finish adds nothing
  EXPECT_GT(rate, 50);
  const std::vector<uint8_t> packed(dest.Data().begin() + 4, dest.Data().end());
  EXPECT_NEAR(rate, (1.0 - double(packed.size()) / double(in.size())) * 100, 1e-9);
  EXPECT_EQ(ZlibInflate(packed, in.size()), in);

  // Random data fills the 64 KiB buffer several times; destruction finishes the stream.
  const auto noise = Data(300000, false);
  TMemoryStream d2;
  {
    TCompressionStream z(TCompressionLevel::clFastest, d2);
    z.OnProgress = [&](TObject*) { ++progress; };
    z.Write(noise.data(), static_cast<int64_t>(noise.size()));
  }
  EXPECT_GE(progress, 4);
  EXPECT_EQ(ZlibInflate(d2.Data(), noise.size()), noise);
}

TEST(ZlibStream, DecompressionStreamReadsAndSeeks) {
  const auto in = Data(200000, true);
  auto z = ZlibDeflate(in);
  z.insert(z.begin(), {'X', 'Y'});
  z.insert(z.end(), {'T', 'A', 'I', 'L'});
  TMemoryStream source(z);
  source.SetPosition(2);
  TDecompressionStream d(source);
  std::vector<uint8_t> out(in.size() + 10);
  size_t got = 0;
  for (size_t chunk = 1; got < in.size(); chunk = chunk * 2 + 3) {
    const int64_t n = d.Read(out.data() + got, static_cast<int64_t>(chunk));
    ASSERT_GT(n, 0);
    got += static_cast<size_t>(n);
  }
  out.resize(got);
  EXPECT_EQ(out, in);
  uint8_t b = 0;
  EXPECT_EQ(d.Read(&b, 1), 0);  // the end of the data

  // Back to the start, then forward seeks by reading.
  EXPECT_EQ(d.Seek(0, soBeginning), 0);
  EXPECT_EQ(d.Seek(1000, soCurrent), 1000);
  EXPECT_EQ(d.Seek(150000, soBeginning), 150000);
  ASSERT_EQ(d.Read(&b, 1), 1);
  EXPECT_EQ(b, in[150000]);
  EXPECT_THROW(d.Seek(10, soBeginning), EDecompressionError);
  EXPECT_THROW(d.Seek(-1, soCurrent), EDecompressionError);
  EXPECT_THROW(d.Write(&b, 1), EDecompressionError);

  // Damaged data raises.
  auto bad = ZlibDeflate(in);
  bad[2] ^= 0xFF;
  bad[3] ^= 0xFF;
  TMemoryStream badSource(bad);
  TDecompressionStream bd(badSource);
  std::vector<uint8_t> sink(in.size());
  EXPECT_THROW(bd.Read(sink.data(), static_cast<int64_t>(sink.size())), EDecompressionError);

  // A source that ends early gives what was there.
  std::vector<uint8_t> cut(z.begin() + 2,
                           z.begin() + 2 + static_cast<std::ptrdiff_t>(z.size() / 3));
  TMemoryStream cutSource(cut);
  TDecompressionStream cd(cutSource);
  const int64_t n = cd.Read(sink.data(), static_cast<int64_t>(sink.size()));
  EXPECT_GT(n, 0);
  EXPECT_LT(n, static_cast<int64_t>(in.size()));
  EXPECT_TRUE(std::equal(sink.begin(), sink.begin() + n, in.begin()));
}

}  // namespace
