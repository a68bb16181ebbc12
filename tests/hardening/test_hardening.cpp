// Loads and saves under hostile conditions, seen from the component: allocations that
// fail at any point, a disk that fills up, images over the pixel limit. This binary
// replaces the global operator new, so the failure can be injected anywhere.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "codecs/pngfilt.h"
#include "core/vxdefs.h"
#include "io/ioparams.h"
#include "io/vantixio.h"
#include "pixellimit.h"
#include "platform/bitmap.h"
#include "platform/exceptions.h"
#include "platform/stream.h"
#include "testsupport.h"

namespace {

// Allocation number gFailFrom (counted from when it was armed) and every one after it
// fail, as they do when memory has really run out; 0 disarms.
size_t gFailFrom = 0;
size_t gAllocations = 0;
// Independently: every allocation of at least this many bytes fails; 0 disarms.
size_t gFailAtLeast = 0;

bool ShouldFail(size_t n) {
  if (gFailAtLeast != 0 && n >= gFailAtLeast) return true;
  if (gFailFrom == 0) return false;
  return ++gAllocations >= gFailFrom;
}

}  // namespace

void* operator new(size_t n) {
  if (ShouldFail(n)) throw std::bad_alloc();
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new(size_t n, const std::nothrow_t&) noexcept {
  if (ShouldFail(n)) return nullptr;
  return std::malloc(n ? n : 1);
}
// Out of line so the compiler cannot pair our malloc with free at the call site.
[[gnu::noinline]] void operator delete(void* p) noexcept {
  std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, size_t) noexcept {
  std::free(p);
}

using namespace vx;

namespace {

struct TArmed {
  explicit TArmed(size_t from) {
    gAllocations = 0;
    gFailFrom = from;
  }
  ~TArmed() { gFailFrom = 0; }
  TArmed(const TArmed&) = delete;
  TArmed& operator=(const TArmed&) = delete;
  // Whether the armed allocation was reached at all.
  static bool Reached() { return gAllocations >= gFailFrom; }
};

// A picture with some structure: gradients plus a few flat blocks.
TBitmap Picture(int w, int h, TPixelFormat pf = pf24bit) {
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<TRGB*>(b.ScanLine(y));
    for (int x = 0; x < w; ++x)
      row[x] = ((x / 8 + y / 8) % 3 == 0)
                   ? TRGB{40, 200, 90}
                   : TRGB{static_cast<uint8_t>(x * 7), static_cast<uint8_t>(y * 11),
                          static_cast<uint8_t>((x + y) * 3)};
  }
  if (pf != pf24bit) b.SetPixelFormat(pf);
  return b;
}

// Pixels no coder can shrink much: what it takes to fill a small disk.
TBitmap Noise(int w, int h) {
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  uint32_t seed = 12345;
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int i = 0; i < w * 3; ++i) {
      seed = seed * 1664525u + 1013904223u;
      row[i] = static_cast<uint8_t>(seed >> 24);
    }
  }
  return b;
}

// What a load must leave in place when it fails for want of memory.
TBitmap Sentinel() {
  return Picture(5, 4);
}

bool SameImage(const TBitmap& a, const TBitmap& b) {
  return a.Width() == b.Width() && a.Height() == b.Height() && a.PixelFormat() == b.PixelFormat() &&
         vxtest::BitmapRGB(a) == vxtest::BitmapRGB(b);
}

std::vector<uint8_t> Saved(const TBitmap& picture, int fileType,
                           const std::function<void(TIOParamsVals&)>& tune) {
  TBitmap b = picture;
  TVantixIO io;
  io.SetAttachedBitmap(&b);
  tune(io.Params());
  TMemoryStream s;
  io.SaveToStream(s, fileType);
  EXPECT_FALSE(io.Aborting()) << io.LastError();
  return s.Data();
}

// An icon file of one entry whose data is given (a DIB with a doubled height and an AND
// mask, or a whole PNG file).
std::vector<uint8_t> IconFile(int w, int h, const std::vector<uint8_t>& entry) {
  TMemoryStream s;
  WriteLE16(s, 0);
  WriteLE16(s, 1);
  WriteLE16(s, 1);
  WriteU8(s, static_cast<uint8_t>(w));
  WriteU8(s, static_cast<uint8_t>(h));
  WriteU8(s, 0);
  WriteU8(s, 0);
  WriteLE16(s, 1);
  WriteLE16(s, 32);
  WriteLE32(s, static_cast<uint32_t>(entry.size()));
  WriteLE32(s, 22);
  s.WriteBuffer(entry.data(), static_cast<int64_t>(entry.size()));
  return s.Data();
}

std::vector<uint8_t> IconDIB24(const TBitmap& picture) {
  const int w = picture.Width(), h = picture.Height();
  TMemoryStream s;
  WriteLE32(s, 40);
  WriteLE32(s, static_cast<uint32_t>(w));
  WriteLE32(s, static_cast<uint32_t>(h * 2));
  WriteLE16(s, 1);
  WriteLE16(s, 24);
  for (int i = 0; i < 6; ++i) WriteLE32(s, 0);
  const int rowLen = (w * 3 + 3) / 4 * 4;
  std::vector<uint8_t> row(static_cast<size_t>(rowLen));
  for (int y = h - 1; y >= 0; --y) {
    std::memcpy(row.data(), picture.ScanLine(y), static_cast<size_t>(w) * 3);
    s.WriteBuffer(row.data(), rowLen);
  }
  const std::vector<uint8_t> mask(static_cast<size_t>((w + 31) / 32 * 4 * h), 0);
  s.WriteBuffer(mask.data(), static_cast<int64_t>(mask.size()));
  return s.Data();
}

struct TFixture {
  const char* name;
  std::function<std::vector<uint8_t>()> make;
};

std::vector<TFixture> Fixtures() {
  const auto none = [](TIOParamsVals&) {};
  return {
      {"BMP 24-bit", [=] { return Saved(Picture(37, 23), ioBMP, none); }},
      {"BMP RLE8",
       [] {
         return Saved(Picture(37, 23), ioBMP, [](TIOParamsVals& p) {
           p.BitsPerSample = 8;
           p.SamplesPerPixel = 1;
           p.BMP_Compression = ioBMP_RLE;
         });
       }},
      {"BMP 1-bit", [=] { return Saved(Picture(37, 23, pf1bit), ioBMP, none); }},
      {"GIF", [=] { return Saved(Picture(37, 23), ioGIF, none); }},
      {"PCX", [=] { return Saved(Picture(37, 23), ioPCX, none); }},
      {"TIFF LZW",
       [] {
         return Saved(Picture(37, 23), ioTIFF,
                      [](TIOParamsVals& p) { p.TIFF_Compression = ioTIFF_LZW; });
       }},
      {"TIFF G4",
       [] {
         return Saved(Picture(37, 23, pf1bit), ioTIFF,
                      [](TIOParamsVals& p) { p.TIFF_Compression = ioTIFF_G4FAX; });
       }},
      {"JPEG", [=] { return Saved(Picture(37, 23), ioJPEG, none); }},
      {"PNG", [=] { return Saved(Picture(37, 23), ioPNG, none); }},
      {"ICO 24-bit", [] { return IconFile(16, 16, IconDIB24(Picture(16, 16))); }},
      {"ICO PNG", [=] { return IconFile(16, 16, Saved(Picture(16, 16), ioPNG, none)); }},
  };
}

// Loads data by content into a fresh component; returns what the bitmap became.
struct TLoadResult {
  bool aborted = false;
  std::string reason;
  bool threw = false;
};

TLoadResult LoadInto(TBitmap& bitmap, const std::vector<uint8_t>& data, size_t failFrom) {
  TVantixIO io;
  io.SetAttachedBitmap(&bitmap);
  TMemoryStream s(data);
  TLoadResult r;
  {
    TArmed armed(failFrom);
    try {
      io.LoadFromStream(s);
    } catch (const std::exception& e) {
      r.threw = true;
      r.reason = e.what();
    } catch (...) {
      r.threw = true;
    }
  }
  r.aborted = io.Aborting();
  if (!r.threw) r.reason = io.LastError();
  return r;
}

// Every allocation of every load, failed in turn: the load either completes with the
// right image or ends in Aborting with the bitmap it was given untouched and a reason.
TEST(AllocationFailure, EveryLoadFailsCleanlyAndKeepsTheBitmap) {
  for (const TFixture& f : Fixtures()) {
    SCOPED_TRACE(f.name);
    const std::vector<uint8_t> data = f.make();
    TBitmap expected;
    const TLoadResult clean = LoadInto(expected, data, 0);
    ASSERT_FALSE(clean.aborted) << clean.reason;
    ASSERT_FALSE(expected.Empty());

    int failures = 0;
    size_t n = 1;
    for (; n < 20000; ++n) {
      TBitmap bitmap = Sentinel();
      const TLoadResult r = LoadInto(bitmap, data, n);
      ASSERT_FALSE(r.threw) << "allocation " << n << ": " << r.reason;
      if (r.aborted) {
        ++failures;
        EXPECT_TRUE(SameImage(bitmap, Sentinel())) << "allocation " << n << ": " << r.reason;
        EXPECT_FALSE(r.reason.empty()) << "allocation " << n;
      } else {
        EXPECT_TRUE(SameImage(bitmap, expected)) << "allocation " << n;
        break;  // allocation n was never reached: every point has been tried
      }
    }
    EXPECT_GT(failures, 0);
    EXPECT_LT(n, 20000u);
  }
}

// Savers under the same sweep: no exception but the PNG writer's documented one, and
// every failure reported with a reason.
TEST(AllocationFailure, EverySaveFailsCleanly) {
  const struct {
    int type;
    TPixelFormat pf;
  } cases[] = {{ioBMP, pf24bit},  {ioBMP, pf1bit},   {ioGIF, pf24bit}, {ioPCX, pf24bit},
               {ioTIFF, pf24bit}, {ioJPEG, pf24bit}, {ioPNG, pf24bit}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    int failures = 0;
    size_t n = 1;
    for (; n < 20000; ++n) {
      TBitmap bitmap = Picture(29, 17, c.pf);
      TVantixIO io;
      io.SetAttachedBitmap(&bitmap);
      TMemoryStream s;
      bool threw = false;
      {
        TArmed armed(n);
        try {
          io.SaveToStream(s, c.type);
        } catch (const EInvalidGraphic&) {
          threw = c.type == ioPNG ? false : true;
          EXPECT_TRUE(io.Aborting());
        } catch (...) {
          threw = true;
        }
      }
      ASSERT_FALSE(threw) << "allocation " << n;
      if (!io.Aborting()) break;
      ++failures;
      EXPECT_FALSE(io.LastError().empty()) << "allocation " << n;
    }
    EXPECT_GT(failures, 0);
    EXPECT_LT(n, 20000u);
  }
}

// A refused allocation leaves size, format and pixels as they were.
TEST(AllocationFailure, BitmapSizingIsAllOrNothing) {
  TBitmap b = Picture(40, 30);
  const std::vector<uint8_t> before = vxtest::BitmapRGB(b);
  gFailAtLeast = 1 << 20;
  EXPECT_THROW(b.SetSize(2000, 2000), std::bad_alloc);
  EXPECT_THROW(b.SetHeight(20000), std::bad_alloc);
  gFailAtLeast = 0;
  EXPECT_EQ(b.Width(), 40);
  EXPECT_EQ(b.Height(), 30);
  EXPECT_EQ(vxtest::BitmapRGB(b), before);

  TBitmap big = Picture(700, 500);
  const std::vector<uint8_t> bigBefore = vxtest::BitmapRGB(big);
  gFailAtLeast = 1 << 20;  // the 24-bit block of 1 MB and more cannot be had again
  EXPECT_THROW(big.SetPixelFormat(pf32bit), std::bad_alloc);
  gFailAtLeast = 0;
  EXPECT_EQ(big.PixelFormat(), pf24bit);
  EXPECT_EQ(vxtest::BitmapRGB(big), bigBefore);

  // The readers' sizing step reports instead of throwing.
  bool aborting = false;
  TFailure failure;
  TProgressRec p;
  p.Aborting = &aborting;
  p.Failure = &failure;
  gFailAtLeast = 1 << 20;
  EXPECT_FALSE(SizeImage(b, 3000, 3000, pf24bit, p));
  gFailAtLeast = 0;
  EXPECT_TRUE(aborting);
  EXPECT_TRUE(failure.OutOfMemory);
  EXPECT_NE(failure.Reason.find("3000 x 3000"), std::string::npos) << failure.Reason;
  EXPECT_EQ(vxtest::BitmapRGB(b), before);
}

// ---- the pixel limit, seen from the component ----

TEST(PixelLimit, EveryFormatRefusesOverTheLimitAndLoadsAtIt) {
  for (const TFixture& f : Fixtures()) {
    SCOPED_TRACE(f.name);
    const std::vector<uint8_t> data = f.make();
    TBitmap probe;
    ASSERT_FALSE(LoadInto(probe, data, 0).aborted);
    const uint64_t pixels = static_cast<uint64_t>(probe.Width()) * probe.Height();
    {
      vxtest::PixelLimit limit(pixels - 1);
      TBitmap bitmap = Sentinel();
      const TLoadResult r = LoadInto(bitmap, data, 0);
      EXPECT_TRUE(r.aborted);
      EXPECT_NE(r.reason.find("pixel limit"), std::string::npos) << r.reason;
      EXPECT_TRUE(SameImage(bitmap, Sentinel()));

      // The parameters still tell the real size.
      TVantixIO io;
      TMemoryStream s(data);
      io.ParamsFromStream(s);
      EXPECT_EQ(io.Params().Width, probe.Width());
      EXPECT_EQ(io.Params().Height, probe.Height());
    }
    {
      vxtest::PixelLimit limit(pixels);
      TBitmap bitmap = Sentinel();
      EXPECT_FALSE(LoadInto(bitmap, data, 0).aborted);
      EXPECT_TRUE(SameImage(bitmap, probe));
    }
  }
}

// ---- a full disk ----

TEST(DiskFull, StreamSavesKeepTheSystemsReason) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  for (int type : {ioBMP, ioTIFF, ioPCX, ioGIF, ioJPEG, ioPNG}) {
    SCOPED_TRACE(type);
    TBitmap b = Picture(600, 400);
    TVantixIO io;
    io.SetAttachedBitmap(&b);
    TFileStream full("/dev/full", fmOpenWrite);
    try {
      io.SaveToStream(full, type);
    } catch (const EInvalidGraphic&) {
      EXPECT_EQ(type, ioPNG);  // the PNG writer reports by exception, as documented
    }
    EXPECT_TRUE(io.Aborting());
    EXPECT_NE(io.LastError().find(std::strerror(ENOSPC)), std::string::npos) << io.LastError();
  }
}

// A few bytes fit the stdio buffer and fail only when it is flushed: still an error.
TEST(DiskFull, MemoryStreamSaveToFileReportsTheFlush) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  TMemoryStream s(std::vector<uint8_t>(100, 7));
  try {
    s.SaveToFile("/dev/full");
    ADD_FAILURE() << "a refused write was reported as success";
  } catch (const EWriteError& e) {
    EXPECT_NE(std::string(e.what()).find(std::strerror(ENOSPC)), std::string::npos) << e.what();
  }
}

// A small file system of our own, filled up: the old file survives, no temporary file is
// left behind, and the reason is the system's.
TEST(DiskFull, FileSavesKeepTheOldFileAndSayWhy) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(vxtest::TempDir()) / "small-disk";
  fs::create_directories(dir);
  if (geteuid() != 0 ||
      !vxtest::CommandSucceeds("mount -t tmpfs -o size=64k tmpfs '" + dir.string() + "'"))
    GTEST_SKIP() << "cannot mount a small file system here";
  struct TUnmount {
    std::string d;
    ~TUnmount() { vxtest::CommandSucceeds("umount '" + d + "'"); }
  } unmount{dir.string()};

  for (const char* ext : {".bmp", ".png", ".tif", ".jpg"}) {
    SCOPED_TRACE(ext);
    const fs::path name = dir / (std::string("picture") + ext);
    {
      std::ofstream old(name, std::ios::binary);
      old << "the old file";
    }
    TBitmap b = Noise(600, 400);  // 720 kB of noise: more than the disk holds in any format
    TVantixIO io;
    io.SetAttachedBitmap(&b);
    try {
      io.SaveToFile(name.string());
    } catch (const EInvalidGraphic&) {
      EXPECT_EQ(std::string(ext), ".png");
    }
    EXPECT_TRUE(io.Aborting());
    EXPECT_NE(io.LastError().find(std::strerror(ENOSPC)), std::string::npos) << io.LastError();
    {
      std::ifstream in(name, std::ios::binary);
      const std::string content((std::istreambuf_iterator<char>(in)), {});
      EXPECT_TRUE(content == "the old file") << "the old file was replaced";
    }
    int files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++files;
    EXPECT_EQ(files, 1) << "a temporary file was left behind";
    fs::remove(name);
  }
}

}  // namespace
