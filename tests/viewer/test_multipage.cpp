// The viewer's page strip and folder grid, on the offscreen platform.
#include <gtest/gtest.h>

#include <QDir>
#include <QDockWidget>
#include <QSettings>
#include <QTest>
#include <memory>

#include "io/vantixio.h"
#include "multi/vantixmio.h"
#include "multi/vantixmview.h"
#include "multipage.h"
#include "platform/canvas.h"
#include "testsupport.h"
#include "viewerwindow.h"

using namespace vx;
using namespace vxviewer;

namespace {

TBitmap Filled(int w, int h, TColor c) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(w, h);
  b.Canvas().Brush().Color = c;
  b.Canvas().FillRect(TRect{0, 0, w, h});
  return b;
}

// A file of pages of the given widths (10 pixels high), written by the multi-image
// component.
void WritePages(const QString& path, const std::vector<int>& widths) {
  TVantixMView view;
  TVantixMIO mio;
  mio.SetAttachedMView(&view);
  for (size_t i = 0; i < widths.size(); ++i)
    view.SetImage(view.AppendImage(), Filled(widths[i], 10, 0x102030 * static_cast<int>(i + 1)));
  mio.SaveToFile(path.toStdString());
  ASSERT_FALSE(mio.Aborting()) << mio.LastError();
}

class Pages : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = QString::fromStdString(vxtest::TempDir()) + "/pages-" +
          ::testing::UnitTest::GetInstance()->current_test_info()->name();
    QDir().mkpath(dir);
    settings = std::make_unique<QSettings>(dir + "/viewer.ini", QSettings::IniFormat);
    w = std::make_unique<TViewerWindow>(settings.get());
    w->SetQuiet(true);
    w->resize(800, 600);
    w->show();
    pages = w->findChild<TMultipage*>();
    ASSERT_NE(pages, nullptr);
  }
  QDockWidget* Dock() { return w->findChild<QDockWidget*>("pagesDock"); }

  QString dir;
  std::unique_ptr<QSettings> settings;
  std::unique_ptr<TViewerWindow> w;
  TMultipage* pages = nullptr;
};

}  // namespace

TEST_F(Pages, AMultiPageFileFillsTheStripAndSelectingShowsAPage) {
  const QString tif = dir + "/three.tif";
  WritePages(tif, {20, 30, 40});
  ASSERT_TRUE(w->Open(tif));
  EXPECT_TRUE(Dock()->isVisible());
  ASSERT_EQ(pages->Strip().ImageCount(), 3);
  EXPECT_EQ(w->View().Bitmap().Width(), 20);
  pages->Strip().SetSelectedImage(2);
  EXPECT_EQ(w->View().Bitmap().Width(), 40);

  // Every page into one animated GIF.
  const QString gif = dir + "/all.gif";
  ASSERT_TRUE(pages->SaveAllPages(gif));
  EXPECT_EQ(EnumGifIm(gif.toStdString()), 3);
  EXPECT_FALSE(pages->SaveAllPages(dir + "/all.png"));  // one page only: refused

  // Playing walks the pages in the picture too.
  w->Action("pagesPlay")->trigger();
  EXPECT_TRUE(pages->Strip().Playing());
  QTest::qWait(400);  // 100 ms a page
  w->Action("pagesPlay")->trigger();
  EXPECT_FALSE(pages->Strip().Playing());

  // A single picture puts the strip away.
  const QString one = dir + "/one.tif";
  WritePages(one, {8});
  ASSERT_TRUE(w->Open(one));
  EXPECT_FALSE(Dock()->isVisible());
  EXPECT_EQ(pages->Strip().ImageCount(), 0);
}

TEST_F(Pages, AFolderBecomesAGridOfThumbnailsThatOpenTheirFile) {
  for (int i = 0; i < 3; ++i) {
    TBitmap b = Filled(60 + 10 * i, 40, 0x0000FF);
    TVantixIO io;
    io.SetAttachedBitmap(&b);
    io.SaveToFile((dir + QString("/img%1.png").arg(i)).toStdString());
  }
  ASSERT_EQ(pages->BrowseFolder(dir), 3);
  EXPECT_TRUE(pages->Browsing());
  EXPECT_EQ(pages->Strip().StoreType(), vxtThumb);
  EXPECT_FALSE(pages->Strip().ImageHeld(0));  // nothing read before it is in sight
  pages->Strip().SetSelectedImage(1);
  EXPECT_EQ(w->CurrentFile(), dir + "/img1.png");
  EXPECT_EQ(w->View().Bitmap().Width(), 70);
  EXPECT_EQ(pages->Strip().ImageCount(), 3);  // the grid stays
  EXPECT_LE(pages->Strip().ImageWidth(1), 100);
}

TEST_F(Pages, AVideoOpensAsFrames) {
  if (!vxtest::CommandSucceeds("ffmpeg -version")) GTEST_SKIP() << "no ffmpeg";
  const QString avi = dir + "/clip.avi";
  ASSERT_TRUE(vxtest::CommandSucceeds(
      "ffmpeg -v error -y -f lavfi -i testsrc=size=48x32:rate=10 -frames:v 3 -c:v mjpeg " +
      avi.toStdString()));
  ASSERT_TRUE(w->Open(avi));
  EXPECT_EQ(pages->Strip().ImageCount(), 3);
  EXPECT_EQ(w->View().Bitmap().Width(), 48);
  EXPECT_EQ(w->CurrentFile(), avi);
  EXPECT_EQ(pages->Strip().ImageDelayTime(0), 100);
  EXPECT_FALSE(w->Open(dir + "/missing.avi"));
}
