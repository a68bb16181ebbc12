// The JPEG and PNG readers running out of memory at every allocation in turn: no
// exception leaves them, they end in Aborting with the shortage recorded, nothing stays
// allocated, and a picture that could not be sized leaves the bitmap as it was.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "allocfail.h"
#include "codecs/jpegfilt.h"
#include "codecs/pngfilt.h"
#include "core/vxdefs.h"
#include "io/ioparams.h"
#include "platform/stream.h"
#include "testsupport.h"

using namespace vx;

namespace {

using ReadFunction = void (*)(TStream&, TBitmap&, TIOParamsVals&, TProgressRec&, bool);

TBitmap Known() {
  TBitmap b;
  SizeBitmap(b, 7, 5, pf24bit);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 21; ++x) b.ScanLine(y)[x] = static_cast<uint8_t>(x * 13 + y * 7);
  return b;
}

bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat())
    return false;
  for (int y = 0; y < a.Height(); ++y)
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), static_cast<size_t>(a.RowLen())) != 0)
      return false;
  return true;
}

// What one read with a refused allocation came to. Plain values only, so that keeping
// them allocates nothing while the heap is being compared.
struct Outcome {
  bool threw = false;
  bool refused = false;  // an allocation was refused at all
  bool aborted = false;
  bool outOfMemory = false;
  bool kept = false;      // the bitmap is the known picture still
  bool complete = false;  // the bitmap is the whole picture
  char reason[200] = {};
  size_t heapBefore = 0, heapAfter = 0, liveBefore = 0, liveAfter = 0;
};

Outcome ReadRefusing(ReadFunction read, const std::vector<uint8_t>& file, const TBitmap& whole,
                     const TBitmap& known, size_t n, bool andLater) {
  Outcome o;
  o.heapBefore = vxtest::HeapInUse();
  o.liveBefore = vxtest::LiveAllocations();
  {
    TMemoryStream stream(file);
    TBitmap bitmap(known);
    TIOParamsVals params;
    TFailure failure;
    bool abort = false;
    TProgressRec progress;
    progress.Aborting = &abort;
    progress.Failure = &failure;
    {
      vxtest::AllocationFailureScope scope;
      vxtest::FailAllocationNumber(n, andLater);
      try {
        read(stream, bitmap, params, progress, false);
      } catch (...) {
        o.threw = true;
      }
      o.refused = vxtest::AllocationWasRefused();
    }
    o.aborted = abort;
    o.outOfMemory = failure.OutOfMemory;
    o.kept = SamePixels(bitmap, known);
    o.complete = SamePixels(bitmap, whole);
    std::strncpy(o.reason, failure.Reason.c_str(), sizeof o.reason - 1);
  }
  o.heapAfter = vxtest::HeapInUse();
  o.liveAfter = vxtest::LiveAllocations();
  return o;
}

// Refuses the first, second, ... allocation of a read (with andLater, that one and all
// after it) until the read needs no more.
void RefuseEachAllocation(ReadFunction read, const std::vector<uint8_t>& file, bool andLater) {
  TBitmap whole;
  TIOParamsVals params;
  TProgressRec progress;
  bool abort = false;
  progress.Aborting = &abort;
  TMemoryStream stream(file);
  read(stream, whole, params, progress, false);  // also settles the libraries' first-use state
  ASSERT_FALSE(abort);
  const TBitmap known = Known();
  bool sizingRefused = false;
  size_t n = 1;
  for (; n < 1000; ++n) {
    const Outcome o = ReadRefusing(read, file, whole, known, n, andLater);
    SCOPED_TRACE("allocation " + std::to_string(n) + ": " + o.reason);
    EXPECT_FALSE(o.threw);
    EXPECT_EQ(o.liveAfter, o.liveBefore);
    // The heap may keep a few freed small blocks in its caches; the library states
    // themselves are tens of kilobytes.
    EXPECT_LT(o.heapAfter, o.heapBefore + 4096);
    if (!o.refused) {  // past the read's last allocation
      EXPECT_FALSE(o.aborted);
      EXPECT_TRUE(o.complete);
      break;
    }
    if (!o.aborted) {  // the library did without the block
      EXPECT_TRUE(o.complete);
      continue;
    }
    EXPECT_TRUE(o.outOfMemory);
    if (std::strstr(o.reason, "for an image of")) {
      sizingRefused = true;
      EXPECT_TRUE(o.kept);
    }
  }
  EXPECT_GT(n, 2u);
  if (!andLater) {
    EXPECT_TRUE(sizingRefused);
  }
}

std::vector<uint8_t> CmykJpeg() {
  TBitmap photo;
  SizeBitmap(photo, 24, 16, pf24bit);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 72; ++x) photo.ScanLine(y)[x] = static_cast<uint8_t>(x * 3 + y * 5);
  TIOParamsVals params;
  params.JPEG_ColorSpace = ioJPEG_CMYK;
  TMemoryStream out;
  bool abort = false;
  TProgressRec progress;
  progress.Aborting = &abort;
  WriteJPegStream(out, photo, params, progress);
  EXPECT_FALSE(abort);
  return out.Data();
}

TEST(ReaderMemory, JpegReaderStopsCleanlyAtEveryRefusedAllocation) {
  const auto orig = ReadWholeFile(vxtest::CorpusPath("jpeg/testorig.jpg"));
  const auto cmyk = CmykJpeg();
  for (const bool andLater : {false, true}) {
    SCOPED_TRACE(andLater ? "every allocation from then on refused" : "one allocation refused");
    RefuseEachAllocation(ReadJPegStream, orig, andLater);
    RefuseEachAllocation(ReadJPegStream, cmyk, andLater);
  }
}

TEST(ReaderMemory, PngReaderStopsCleanlyAtEveryRefusedAllocation) {
  for (const char* name : {"basn2c08.png", "ibasn3p08.png", "basn6a16.png", "basn0g01.png"}) {
    const auto data = ReadWholeFile(vxtest::CorpusPath(std::string("png/") + name));
    for (const bool andLater : {false, true}) {
      SCOPED_TRACE(std::string(name) + (andLater ? ", every allocation from then on refused"
                                                 : ", one allocation refused"));
      RefuseEachAllocation(ReadPNGStream, data, andLater);
    }
  }
}

}  // namespace
