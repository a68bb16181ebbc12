// Scanning a document feeder into the thumbnail view through the multi-image component,
// over SANE's test backend.
#include <gtest/gtest.h>

#include <string>

#include "acquire/twainparams.h"
#include "multi/vantixmio.h"
#include "multi/vantixmview.h"
#include "platform/bitmap.h"
#include "saneenv.h"

using namespace vx;

namespace {

TBitmap Solid(int w, int h) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(w, h);
  return b;
}

void SelectFeeder(TVXTWainParams& tw) {
  for (int i = 0; i < tw.GetSourceCount(); ++i)
    if (tw.GetSourceName(i).find("test:0") != std::string::npos) tw.SetSelectedSource(i);
  tw.SetVisibleDialog(false);
  tw.SetFeederEnabled(true);
  tw.XResolution().SetCurrentValue(20);
  tw.YResolution().SetCurrentValue(20);
}

}  // namespace

TEST(MIOAcquire, FeederPagesGoInAtTheSelectedImage) {
  vxtest::UseSaneTestBackend();
  TVantixMView view;
  TVantixMIO mio;
  mio.SetAttachedMView(&view);
  view.SetImage(view.AppendImage(), Solid(3, 3));
  view.SetImage(view.AppendImage(), Solid(7, 5));
  view.SetSelectedImage(1);
  SelectFeeder(mio.TWainParams());

  ASSERT_TRUE(mio.Acquire()) << mio.LastError();
  ASSERT_EQ(view.ImageCount(), 12);
  ASSERT_EQ(mio.ParamsCount(), 12);
  EXPECT_EQ(view.ImageWidth(0), 3);
  EXPECT_EQ(view.ImageWidth(11), 7) << "the old image 1 moves behind the pages";
  for (int i = 1; i <= 10; ++i) {
    SCOPED_TRACE(i);
    EXPECT_GT(view.ImageWidth(i), 7);
    EXPECT_EQ(view.ImageDelayTime(i), 100);
    // Each page's parameter set is the one filled by the scanner.
    EXPECT_EQ(mio.Params(i)->DpiX, 20);
    EXPECT_EQ(mio.Params(i)->Width, view.ImageWidth(i));
  }
  EXPECT_NE(mio.Params(0)->DpiX, 20);
  EXPECT_FALSE(mio.Aborting());
}

TEST(MIOAcquire, WithoutAViewNothingIsScanned) {
  vxtest::UseSaneTestBackend();
  TVantixMIO mio;
  SelectFeeder(mio.TWainParams());
  EXPECT_FALSE(mio.Acquire());
}
