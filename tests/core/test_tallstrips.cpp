// Progress of the workers over strips with more rows than 100 * rows fits in an int
// (21,474,836): the percentages must keep climbing from 0 to 100, as on small images.
// One worker for each formula: the region workers' ReportRow (point operations,
// histograms, one-pass filters, bump mapping), the two-pass morphology, the resampler.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "core/vxdefs.h"
#include "proc/filters.h"
#include "proc/pointops.h"
#include "proc/resample.h"

namespace vx {
namespace {

constexpr int kRows = 21'500'000;

// Percentages as a worker reports them, checked as they come (too many to keep).
struct TProgressLog {
  int64_t count = 0;
  int first = -1, last = -1;
  bool rising = true;

  TProgressEvent Event() {
    return [this](TObject*, int p) {
      if (count++ == 0) first = p;
      if (p < last) rising = false;
      last = p;
    };
  }
};

TBitmap Strip(int rows) {
  TBitmap b;
  SizeBitmap(b, 1, rows, pf24bit);
  for (int y = 0; y < rows; ++y) b.ScanLine(y)[0] = static_cast<uint8_t>(y);
  return b;
}

TEST(TallStrips, ProgressClimbsToOneHundred) {
  struct Case {
    std::string name;
    int64_t reports;  // how many the worker makes for kRows rows
    int last;
    std::function<void(TBitmap&, TProgressLog&)> run;
  };
  const auto progress = [](TProgressLog& log) {
    TProgressRec p;
    p.ProgressEvent = log.Event();
    return p;
  };
  const Case cases[] = {
      {"negative", kRows, 100,
       [&](TBitmap& b, TProgressLog& log) { Negative(b, 0, 0, 0, kRows - 1, progress(log)); }},
      {"opening", 2 * int64_t{kRows}, 100,
       [&](TBitmap& b, TProgressLog& log) {
         MorphFilter(b, 1, moOpening, 0, 0, 0, kRows - 1, progress(log));
       }},
      // kRows intermediate rows and one destination column, of kRows + 1.5 steps in
      // all: 99 at the end.
      {"resample", kRows + 1, 99,
       [&](TBitmap& b, TProgressLog& log) {
         TBitmap dest;
         SizeBitmap(dest, 1, kRows / 2, pf24bit);
         Resample(b, dest, rfTriangle, log.Event());
       }},
  };
  for (const Case& c : cases) {
    TBitmap b = Strip(kRows);
    TProgressLog log;
    c.run(b, log);
    EXPECT_EQ(log.count, c.reports) << c.name;
    EXPECT_EQ(log.first, 0) << c.name;
    EXPECT_TRUE(log.rising) << c.name;
    EXPECT_EQ(log.last, c.last) << c.name;
  }
}

}  // namespace
}  // namespace vx
