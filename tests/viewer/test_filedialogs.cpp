// The viewer's File > Open and Save as on the library's dialogs with preview, answered
// from inside their modal loops.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QTimer>
#include <filesystem>
#include <functional>

#include "dialogs/iopreviews.h"
#include "dialogs/openvantixdialog.h"
#include "dialogs/vxcommondialog.h"
#include "io/vantixio.h"
#include "platform/bitmap.h"
#include "testsupport.h"
#include "viewerwindow.h"

using namespace vx;

namespace {

// The window with the real file dialogs; only the exposed choosers are called.
class TDialogWindow : public vxviewer::TViewerWindow {
 public:
  using TViewerWindow::TViewerWindow;
  QString AskOpen() { return ChooseOpenFile(); }
};

template <class W>
W* Modal() {
  return qobject_cast<W*>(QApplication::activeModalWidget());
}

void Later(std::function<void()> step) {
  QTimer::singleShot(0, std::move(step));
}

std::string MakePicture(const std::string& name) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(48, 32);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 48; ++x) {
      uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = static_cast<uint8_t>(x * 5);
      p[1] = static_cast<uint8_t>(y * 7);
      p[2] = static_cast<uint8_t>((x ^ y) * 4);
    }
  TVantixIO io;
  io.SetAttachedBitmap(&b);
  const std::string path = vxtest::TempDir() + "/" + name;
  io.SaveToFile(path);
  return path;
}

struct ViewerDialogs : ::testing::Test {
  QString dir = QString::fromStdString(vxtest::TempDir());
  QSettings settings{dir + "/dialogs.ini", QSettings::IniFormat};
  TDialogWindow window{&settings};
};

TEST_F(ViewerDialogs, OpenUsesThePreviewDialog) {
  const std::string file = MakePicture("open.png");
  bool previewed = false;
  Later([&] {
    auto* d = Modal<TVXFileDialog>();
    ASSERT_TRUE(d);
    auto* label = d->findChild<QLabel*>("PicLabel1");
    ASSERT_TRUE(label);
    // The folder's listing arrives in the background; until then selecting is only text.
    for (int i = 0; i < 200 && label->text().isEmpty(); ++i) {
      d->selectFile(QString::fromStdString(file));
      QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    previewed = label->text() == "48 x 32 pixel";
    d->accept();
  });
  EXPECT_EQ(QFileInfo(window.AskOpen()).fileName(), "open.png");
  EXPECT_TRUE(previewed);
}

// Save as > Advanced... sets the JPEG quality the picture is then saved with.
TEST_F(ViewerDialogs, AdvancedSetsTheQualityBeforeSaving) {
  ASSERT_TRUE(window.Open(QString::fromStdString(MakePicture("photo.png"))));
  const QString target = dir + "/advanced.jpg";
  Later([&] {
    auto* d = Modal<TVXFileDialog>();
    ASSERT_TRUE(d);
    // The current file is selected once the folder's listing arrives (in the
    // background); a name typed before that would be replaced.
    auto* model = d->findChild<QFileSystemModel*>();
    ASSERT_TRUE(model);
    for (int i = 0; i < 200 && model->rowCount(model->index(dir)) == 0; ++i)
      QApplication::processEvents(QEventLoop::AllEvents, 10);
    QApplication::processEvents();
    // A wrong name must fail the test, not wait for an answer.
    d->setOption(QFileDialog::DontConfirmOverwrite);
    d->findChild<QLineEdit*>("fileNameEdit")->setText(target);
    Later([] {
      auto* form = Modal<TfIOPreviews>();
      ASSERT_TRUE(form);
      EXPECT_EQ(form->ActivePage(), ipJPEG);
      form->Jpeg.QualityBar->setValue(5);
      form->accept();
    });
    d->findChild<QPushButton*>("AdvancedButton")->click();
    EXPECT_EQ(d->findChild<QLineEdit*>("fileNameEdit")->text(), target);
    d->accept();
  });
  ASSERT_TRUE(window.SaveAsDialog());
  ASSERT_TRUE(QFileInfo::exists(target));
  // The same picture at quality 5 has the same size; at the default it is larger.
  TBitmap b;
  TVantixIO io;
  io.SetAttachedBitmap(&b);
  io.LoadFromFile(dir.toStdString() + "/photo.png");
  io.Params().JPEG_Quality = 5;
  io.SaveToFile(dir.toStdString() + "/q5.jpg");
  EXPECT_EQ(std::filesystem::file_size(target.toStdString()),
            std::filesystem::file_size(dir.toStdString() + "/q5.jpg"));
}

}  // namespace
