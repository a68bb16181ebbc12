// The viewer's Process menu: Adjust... through the preview dialog on the selection, the
// Histogram panel following the picture, and the HSV colour chooser.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "controls/histogrambox.h"
#include "controls/hsvbox.h"
#include "dialogs/hsvcolordialog.h"
#include "dialogs/previews.h"
#include "platform/syscolors.h"
#include "testsupport.h"
#include "viewerwindow.h"

using namespace vx;
using namespace vxviewer;

namespace {

template <class Dialog>
void WhenShown(std::function<void(Dialog&)> drive, int triesLeft = 200) {
  QTimer::singleShot(5, [drive = std::move(drive), triesLeft]() mutable {
    auto* d = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    if (!d && triesLeft > 0) return WhenShown<Dialog>(std::move(drive), triesLeft - 1);
    ASSERT_NE(d, nullptr);
    drive(*d);
  });
}

class ViewerAdjust : public ::testing::Test {
 protected:
  void SetUp() override {
    const QString dir = QString::fromStdString(vxtest::TempDir()) + "/adjust";
    QDir().mkpath(dir);
    settings = std::make_unique<QSettings>(dir + "/viewer.ini", QSettings::IniFormat);
    settings->clear();
    w = std::make_unique<TViewerWindow>(settings.get());
    w->SetQuiet(true);
    w->resize(640, 480);
    w->show();
    TBitmap img;
    img.SetPixelFormat(pf24bit);
    img.SetSize(40, 30);
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x) {
        uint8_t* p = img.ScanLine(y) + 3 * x;
        p[0] = static_cast<uint8_t>(20 + 4 * x);
        p[1] = static_cast<uint8_t>(30 + 5 * y);
        p[2] = 100;
      }
    w->View().Assign(&img);
    original = img;
    QCoreApplication::processEvents();
  }
  void TearDown() override {
    w->SetModified(false);
    w.reset();
  }
  std::unique_ptr<QSettings> settings;
  std::unique_ptr<TViewerWindow> w;
  TBitmap original;
};

TEST_F(ViewerAdjust, AdjustAppliesTheDialogToTheSelection) {
  w->SelectImageRect(5, 5, 14, 9);
  WhenShown<TfPreviews>([](TfPreviews& d) {
    EXPECT_EQ(d.SourceView().Bitmap().Width(), 10);
    d.Pages()->setCurrentIndex(static_cast<int>(ppRGB));
    QLineEdit* red = d.Box(ppRGB, previewparam::kRed);
    QTest::keyClick(red, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(red, "20");
    QTest::mouseClick(d.OkButton(), Qt::LeftButton);
  });
  w->Action("processAdjust")->trigger();
  const TBitmap& b = w->View().Bitmap();
  EXPECT_EQ(b.ScanLine(7)[3 * 10 + 2], 120);
  EXPECT_EQ(b.ScanLine(7)[3 * 20 + 2], 100);
  EXPECT_EQ(b.ScanLine(3)[3 * 10 + 2], 100);
  EXPECT_TRUE(w->IsModified());
  w->Proc().Undo();
  EXPECT_EQ(w->View().Bitmap().ScanLine(7)[3 * 10 + 2], 100);

  // Cancelled: nothing changes, nothing is marked.
  w->SetModified(false);
  WhenShown<TfPreviews>([](TfPreviews& d) { QTest::mouseClick(d.CancelButton(), Qt::LeftButton); });
  w->Action("processAdjust")->trigger();
  EXPECT_FALSE(w->IsModified());
}

TEST_F(ViewerAdjust, HistogramPanelFollowsEveryChange) {
  auto* dock = w->findChild<QDockWidget*>("histogramPanel");
  ASSERT_NE(dock, nullptr);
  EXPECT_FALSE(dock->isVisible());
  w->Action("processHistogram")->trigger();
  QCoreApplication::processEvents();
  ASSERT_TRUE(dock->isVisible());
  auto* box = dock->findChild<THistogramBox*>("histogram");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->AttachedVantixProc(), &w->Proc());
  const QImage before = box->grab().toImage();
  w->Action("imageNegative")->trigger();
  QCoreApplication::processEvents();
  EXPECT_NE(box->grab().toImage(), before);
}

TEST_F(ViewerAdjust, ColoursAreChosenInTheHSVBox) {
  WhenShown<THSVColorDialog>([](THSVColorDialog& d) {
    THSVBox* box = d.Box();
    // Full saturation and value at hue 0: the square's top-right corner.
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() - THSVBox::kStripWidth - 7, 1));
    EXPECT_GT(box->Sat(), 90);
    d.accept();
  });
  w->Action("viewBackgroundColour")->trigger();
  const TColor c = ColorToRGB(w->View().Background());
  EXPECT_GT(c & 0xFF, 200u);         // red
  EXPECT_LT((c >> 16) & 0xFF, 60u);  // little blue
}

}  // namespace
