// The source's own dialog and the manager's selection on the Qt side, driven as a user
// would, over SANE's test backend.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "acquire/imscan.h"
#include "acquire/twaindialogs.h"
#include "acquire/twainparams.h"
#include "platform/bitmap.h"
#include "saneenv.h"

using namespace vx;

namespace {

// Runs act on the first visible dialog of type D once it shows.
template <class D>
void WhenShown(std::function<void(D&)> act) {
  auto* timer = new QTimer(qApp);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = qobject_cast<D*>(w); d && d->isVisible()) {
        timer->stop();
        timer->deleteLater();
        act(*d);
        return;
      }
  });
  timer->start(5);
}

TVXTWainParams Visible() {
  vxtest::UseSaneTestBackend();
  TVXTWainParams tw;
  tw.SetVisibleDialog(true);
  EXPECT_TRUE(tw.SelectSourceByName("noname"));
  return tw;
}

TEST(SourceDialog, ScanTakesTheDialogsSettings) {
  TVXTWainParams tw = Visible();
  WhenShown<TVXTWSourceUIDialog>([](TVXTWSourceUIDialog& d) {
    d.ResolutionBox()->setValue(40);
    d.ModeBox()->setCurrentIndex(d.ModeBox()->findData(0));  // black and white
    d.findChild<QPushButton*>("scan")->click();
  });
  TBitmap bmp;
  TProgressRec pr = ResetNullpr();
  ASSERT_TRUE(VXTW_Acquire(0, &bmp, false, pr, nullptr, tw)) << tw.LastError();
  EXPECT_EQ(bmp.PixelFormat(), pf1bit);
  EXPECT_EQ(bmp.Width(), static_cast<int>(80 / 25.4 * 40));
  EXPECT_EQ(VXTW_LastSession().FinalState, 1);
}

TEST(SourceDialog, CancelEndsWithoutAnImageOrAnError) {
  TVXTWainParams tw = Visible();
  WhenShown<TVXTWSourceUIDialog>(
      [](TVXTWSourceUIDialog& d) { d.findChild<QPushButton*>("cancel")->click(); });
  TBitmap bmp;
  TProgressRec pr = ResetNullpr();
  EXPECT_FALSE(VXTW_Acquire(0, &bmp, false, pr, nullptr, tw));
  EXPECT_TRUE(bmp.Empty());
  EXPECT_EQ(tw.LastError(), "");
  EXPECT_EQ(VXTW_LastSession().FinalState, 1);
}

// A scan that fails after Scan was pressed ends the session instead of waiting on.
TEST(SourceDialog, AFailedScanClosesTheSession) {
  TVXTWainParams tw = Visible();
  vxtest::UseSaneTestBackend("SANE_STATUS_IO_ERROR");
  WhenShown<TVXTWSourceUIDialog>(
      [](TVXTWSourceUIDialog& d) { d.findChild<QPushButton*>("scan")->click(); });
  TBitmap bmp;
  TProgressRec pr = ResetNullpr();
  const bool ok = VXTW_Acquire(0, &bmp, false, pr, nullptr, tw);
  vxtest::UseSaneTestBackend();
  EXPECT_FALSE(ok);
  EXPECT_EQ(tw.LastError(), "Error during device I/O");
  EXPECT_EQ(VXTW_LastSession().FinalState, 1);
}

TEST(SelectSourceDialog, ReturnsTheChosenProductName) {
  vxtest::UseSaneTestBackend();
  WhenShown<TVXTWSelectSourceDialog>([](TVXTWSelectSourceDialog& d) {
    d.findChild<QListWidget*>()->setCurrentRow(1);
    d.accept();
  });
  std::string name;
  ASSERT_TRUE(VXTW_SelectImageSource(0, name));
  EXPECT_EQ(name, "Noname frontend-tester test:1");
  WhenShown<TVXTWSelectSourceDialog>([](TVXTWSelectSourceDialog& d) { d.reject(); });
  EXPECT_FALSE(VXTW_SelectImageSource(0, name));
}

}  // namespace
