// The viewer's Capture window on the test-pattern driver: show video, freeze, and copy
// the frozen frame into the main picture.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <memory>

#include "acquire/capturedriver.h"
#include "acquire/vxcapview.h"
#include "testsupport.h"
#include "viewerwindow.h"

using namespace vx;
using namespace vxviewer;

namespace {

TEST(ViewerCapture, FrozenFrameIsCopiedIntoThePicture) {
  SetV4L2DeviceFolder(vxtest::TempDir() + "/no-cameras");  // the test pattern is driver 0
  QSettings settings(QString::fromStdString(vxtest::TempDir()) + "/capture.ini",
                     QSettings::IniFormat);
  TViewerWindow window(&settings);
  window.show();
  QWidget* panel = window.ShowCaptureWindow();
  ASSERT_NE(panel, nullptr);
  auto* video = panel->findChild<TVantixVideoView*>();
  ASSERT_NE(video, nullptr);
  auto click = [&](const char* name) {
    auto* b = panel->findChild<QPushButton*>(name);
    ASSERT_NE(b, nullptr) << name;
    b->click();
  };
  QTest::qWait(50);  // the capture window comes with the first paint
  click("captureShow");
  EXPECT_TRUE(video->ShowVideo());
  EXPECT_TRUE(video->Connected());
  click("captureFreeze");
  ASSERT_TRUE(video->Frozen());
  click("captureCopy");
  EXPECT_EQ(window.View().Bitmap().Width(), video->Bitmap().Width());
  EXPECT_EQ(window.View().Bitmap().Height(), video->Bitmap().Height());
  EXPECT_TRUE(window.IsModified());
  click("captureShow");
  EXPECT_FALSE(video->ShowVideo());
  EXPECT_EQ(window.ShowCaptureWindow(), panel);  // one window, raised again
  SetV4L2DeviceFolder("/dev");
}

}  // namespace
