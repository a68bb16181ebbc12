// The viewer's File menu scanning entries over SANE's test backend.
#include <gtest/gtest.h>

#include <QAction>
#include <QSettings>
#include <QTemporaryDir>

#include "acquire/twainparams.h"
#include "io/vantixio.h"
#include "multipage.h"
#include "platform/bitmap.h"
#include "saneenv.h"
#include "view/vantixview.h"
#include "viewerwindow.h"

using namespace vx;

namespace {

class TQuietWindow : public vxviewer::TViewerWindow {
 public:
  explicit TQuietWindow(QSettings* s) : TViewerWindow(s) {}
  QStringList errors;
  vx::TVXTWainParams& Twain() { return IO().TWainParams(); }

 protected:
  void ShowError(const QString& text) override { errors << text; }
};

struct ViewerScan : ::testing::Test {
  QTemporaryDir dir;
  QSettings settings{dir.filePath("viewer.ini"), QSettings::IniFormat};
  void SetUp() override { vxtest::UseSaneTestBackend(); }
};

TEST_F(ViewerScan, AcquireShowsTheScannedPicture) {
  TQuietWindow w(&settings);
  w.Twain().SetVisibleDialog(false);
  w.Twain().XResolution().SetCurrentValue(30);
  w.Twain().YResolution().SetCurrentValue(30);
  w.Action("fileAcquire")->trigger();
  EXPECT_TRUE(w.errors.isEmpty()) << w.errors.join("; ").toStdString();
  EXPECT_EQ(w.View().GetFBitmap()->Width(), static_cast<int>(80 / 25.4 * 30));
  EXPECT_TRUE(w.IsModified());
}

TEST_F(ViewerScan, AcquirePagesFillsTheStripOfPages) {
  TQuietWindow w(&settings);
  w.Twain().SetVisibleDialog(false);
  w.Twain().SetFeederEnabled(true);
  w.Twain().XResolution().SetCurrentValue(10);
  w.Twain().YResolution().SetCurrentValue(10);
  w.Action("fileAcquirePages")->trigger();
  ASSERT_TRUE(w.errors.isEmpty()) << w.errors.join("; ").toStdString();
  auto* pages = w.findChild<vxviewer::TMultipage*>();
  ASSERT_NE(pages, nullptr);
  ASSERT_EQ(pages->Strip().ImageCount(), 10);
  EXPECT_EQ(pages->Strip().SelectedImage(), 0);
  // The picture shows the first page, new and unsaved.
  EXPECT_EQ(w.View().GetFBitmap()->Width(), pages->Strip().ImageWidth(0));
  EXPECT_TRUE(w.CurrentFile().isEmpty());
  EXPECT_TRUE(w.IsModified());
}

TEST_F(ViewerScan, AFailureIsReportedWithSanesWords) {
  vxtest::UseSaneTestBackend("SANE_STATUS_JAMMED");
  TQuietWindow w(&settings);
  w.Twain().SetVisibleDialog(false);
  w.Action("fileAcquire")->trigger();
  vxtest::UseSaneTestBackend();
  ASSERT_EQ(w.errors.size(), 1);
  EXPECT_TRUE(w.errors[0].contains("Document feeder jammed"));
}

}  // namespace
