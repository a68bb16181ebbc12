// The viewer as a user drives it, on the offscreen platform: menu actions and keys,
// the mouse and the wheel on the view, grabbed pixels, status texts, files written.
#include <gtest/gtest.h>

#include <cstring>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <QUrl>
#include <QWheelEvent>
#include <cstdio>
#include <memory>

#include "imagefiles.h"
#include "io/vantixio.h"
#include "platform/canvas.h"
#include "platform/stream.h"
#include "platform/syscolors.h"
#include "testsupport.h"
#include "viewerwindow.h"
#include "viewtest.h"

using namespace vx;
using namespace vxtest;
using namespace vxviewer;

namespace {

// A window whose questions are answered by the test.
class TScriptedWindow : public TViewerWindow {
 public:
  explicit TScriptedWindow(QSettings* s) : TViewerWindow(s) {}

  QString openAnswer;
  QString saveAnswer;
  QString saveFilterAnswer;
  QMessageBox::StandardButton saveChangesAnswer = QMessageBox::Cancel;
  bool yesAnswer = true;
  TResizeRequest resizeAnswer;
  TColor colourAnswer = 0;
  int saveChangesAsked = 0;
  QStringList errors;

 protected:
  QString ChooseOpenFile() override { return openAnswer; }
  QString ChooseSaveFile(QString* filter) override {
    *filter = saveFilterAnswer;
    return saveAnswer;
  }
  QMessageBox::StandardButton AskSaveChanges() override {
    ++saveChangesAsked;
    return saveChangesAnswer;
  }
  bool AskYesNo(const QString&) override { return yesAnswer; }
  void ShowError(const QString& text) override { errors << text; }
  bool ChooseResize(TResizeRequest& r) override {
    r = resizeAnswer;
    return true;
  }
  bool ChooseBackground(TColor& c) override {
    c = colourAnswer;
    return true;
  }
};

TColor Gradient(int x, int y) {
  return RGB2TColor(static_cast<uint8_t>(x * 6), static_cast<uint8_t>(y * 8), 90);
}

// A w x h gradient written in the format of the file name's extension.
void WriteImage(const QString& path, int w, int h) {
  TBitmap b;
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.Canvas().SetPixel(x, y, Gradient(x, y));
  TVantixIO io;
  io.SetAttachedBitmap(&b);
  io.SaveToFile(path.toStdString());
  ASSERT_FALSE(io.Aborting()) << io.LastError();
}

TBitmap ReadImage(const QString& path) {
  TBitmap b;
  TVantixIO io;
  io.SetAttachedBitmap(&b);
  io.LoadFromFile(path.toStdString());
  EXPECT_FALSE(io.Aborting()) << io.LastError();
  return b;
}

TColor Px(TBitmap& b, int x, int y) {
  return ColorToRGB(b.Canvas().Pixel(x, y));
}

class Viewer : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = QString::fromStdString(TempDir()) + "/" +
          ::testing::UnitTest::GetInstance()->current_test_info()->name();
    QDir().mkpath(dir);
    settings = std::make_unique<QSettings>(dir + "/viewer.ini", QSettings::IniFormat);
    settings->clear();
    w = std::make_unique<TScriptedWindow>(settings.get());
    w->resize(640, 480);
    w->show();
    QCoreApplication::processEvents();
  }
  void TearDown() override {
    w->SetModified(false);  // no question on destruction
    w.reset();
  }
  QString File(const char* name, int width = 40, int height = 30) {
    const QString path = dir + "/" + name;
    WriteImage(path, width, height);
    return path;
  }
  TBitmap& Image() { return w->View().Bitmap(); }
  QWidget* Client() { return w->View().viewport(); }
  void Trigger(const char* action) {
    QAction* a = w->Action(action);
    ASSERT_NE(a, nullptr) << action;
    a->trigger();
  }
  void Key(int key, Qt::KeyboardModifiers m = Qt::NoModifier) {
    QTest::keyClick(w.get(), static_cast<Qt::Key>(key), m);
  }

  QString dir;
  std::unique_ptr<QSettings> settings;
  std::unique_ptr<TScriptedWindow> w;
};

TEST_F(Viewer, OpenShowsTheImageWithItsStatus) {
  ASSERT_TRUE(w->Open(File("photo.png")));
  EXPECT_EQ(w->windowTitle(), "photo.png - Vantix viewer");
  EXPECT_EQ(w->StatusText(TStatusField::Size), "40 x 30, 24 bit");
  EXPECT_EQ(w->StatusText(TStatusField::Zoom), "100 %");
  EXPECT_TRUE(w->StatusText(TStatusField::Selection).isEmpty());
  TVantixView& v = w->View();
  // Centred, and shown as it is in the file.
  const QImage shot = Grab(v);
  EXPECT_EQ(PixelAt(shot, v.XBmp2Scr(7), v.YBmp2Scr(5)), Gradient(7, 5));
  // The pointer's pixel: the one it lies in at 400 %, not the nearest corner.
  v.SetZoom(400);
  Move(Client(), v.XBmp2Scr(12) + 3, v.YBmp2Scr(9) + 3, Qt::NoButton);
  EXPECT_EQ(w->StatusText(TStatusField::Position), "12, 9");
  EXPECT_EQ(w->StatusText(TStatusField::Colour), "RGB 72 72 90  #48485A");
  EXPECT_EQ(w->StatusText(TStatusField::Zoom), "400 %");
  Move(Client(), 1, 1, Qt::NoButton);  // background, outside the image
  EXPECT_TRUE(w->StatusText(TStatusField::Position).isEmpty());
}

TEST_F(Viewer, OpenDrawsAMetafileAtItsOwnSize) {
  const std::string emf = std::string(VX_METAFILE_DATA_DIR) + "/ink_shapes.emf";
  TBitmap expected;
  TVantixIO io;
  io.SetAttachedBitmap(&expected);
  io.LoadFromFile(emf);
  ASSERT_FALSE(io.Aborting()) << io.LastError();
  ASSERT_TRUE(w->Open(QString::fromStdString(emf)));
  ASSERT_EQ(Image().Width(), expected.Width());
  ASSERT_EQ(Image().Height(), expected.Height());
  for (int y = 0; y < expected.Height(); y += 7)
    ASSERT_EQ(std::memcmp(Image().ScanLine(y), expected.ScanLine(y), expected.RowLen()), 0) << y;
}

TEST_F(Viewer, FailedOpenKeepsThePictureAndSaysWhy) {
  const QString good = File("good.png");
  ASSERT_TRUE(w->Open(good));
  // A PNG cut in the middle of its pixel data decodes partly and then fails.
  const QString big = File("big.png", 200, 200);
  QFile in(big);
  ASSERT_TRUE(in.open(QIODevice::ReadOnly));
  const QByteArray bytes = in.readAll();
  QFile cut(dir + "/cut.png");
  ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
  cut.write(bytes.left(bytes.size() / 2));
  cut.close();

  ASSERT_FALSE(w->Open(dir + "/cut.png"));
  ASSERT_EQ(w->errors.size(), 1);
  EXPECT_TRUE(w->errors[0].startsWith("Cannot open cut.png: ")) << w->errors[0].toStdString();
  EXPECT_GT(w->errors[0].size(), QString("Cannot open cut.png: ").size());
  EXPECT_EQ(Image().Width(), 40);
  EXPECT_EQ(Px(Image(), 39, 29), Gradient(39, 29));
  EXPECT_EQ(w->CurrentFile(), QFileInfo(good).absoluteFilePath());
  EXPECT_EQ(w->windowTitle(), "good.png - Vantix viewer");

  EXPECT_FALSE(w->Open(dir + "/missing.png"));
  EXPECT_EQ(w->errors.size(), 2);
  EXPECT_EQ(Image().Width(), 40);
}

TEST_F(Viewer, ChangesAreMarkedAndNeverLostWithoutAsking) {
  const QString first = File("first.png"), second = File("second.png", 10, 10);
  ASSERT_TRUE(w->Open(first));
  Trigger("imageNegative");
  EXPECT_TRUE(w->IsModified());
  EXPECT_EQ(w->windowTitle(), "first.png* - Vantix viewer");

  // Cancel keeps everything: the window stays, the other file is not opened.
  w->saveChangesAnswer = QMessageBox::Cancel;
  EXPECT_FALSE(w->close());
  EXPECT_TRUE(w->isVisible());
  EXPECT_FALSE(w->OpenAsking(second));
  w->openAnswer = second;
  Trigger("fileOpen");
  EXPECT_EQ(w->saveChangesAsked, 3);
  EXPECT_EQ(Image().Width(), 40);

  // Save writes the current file in its format, then the other one opens.
  w->saveChangesAnswer = QMessageBox::Save;
  ASSERT_TRUE(w->OpenAsking(second));
  EXPECT_FALSE(w->IsModified());
  EXPECT_EQ(Image().Width(), 10);
  TBitmap saved = ReadImage(first);
  EXPECT_EQ(Px(saved, 3, 4), ~Gradient(3, 4) & 0xFFFFFF);

  // Discard drops the change.
  Trigger("filterBlur");
  ASSERT_TRUE(w->IsModified());
  w->saveChangesAnswer = QMessageBox::Discard;
  EXPECT_TRUE(w->close());
  EXPECT_EQ(w->saveChangesAsked, 5);
}

TEST_F(Viewer, SaveAsTakesTheExtensionFromTheChosenFilter) {
  ASSERT_TRUE(w->Open(File("source.bmp")));
  Trigger("imageFlipHorizontal");
  w->saveAnswer = dir + "/typed";
  w->saveFilterAnswer = "JPEG (*.jpg *.jpeg)";
  Trigger("fileSaveAs");
  ASSERT_TRUE(QFile::exists(dir + "/typed.jpg"));
  EXPECT_EQ(w->CurrentFile(), dir + "/typed.jpg");
  EXPECT_FALSE(w->IsModified());
  TVantixIO probe;
  probe.ParamsFromFile((dir + "/typed.jpg").toStdString());
  EXPECT_EQ(probe.Params().FileType, ioJPEG);

  // A failed save keeps the change and says why.
  Trigger("imageNegative");
  EXPECT_FALSE(w->SaveAs(dir + "/no/such/folder/x.png"));
  ASSERT_EQ(w->errors.size(), 1);
  EXPECT_TRUE(w->errors[0].startsWith("Cannot save x.png: "));
  EXPECT_TRUE(w->IsModified());
  // Save goes to the current file.
  Trigger("fileSave");
  EXPECT_FALSE(w->IsModified());
}

TEST(ViewerFiles, FilterExtensionRules) {
  struct Case {
    const char* typed;
    const char* filter;
    const char* saved;
  };
  const Case cases[] = {
      {"photo", "PNG (*.png)", "photo.png"},
      {"photo", "JPEG (*.jpg *.jpeg)", "photo.jpg"},
      {"photo.JPG", "PNG (*.png)", "photo.JPG"},  // an extension we write wins
      {"photo.tiff", "BMP (*.bmp)", "photo.tiff"},
      {"photo.v2", "TIFF (*.tif *.tiff)", "photo.v2.tif"},
      {"photo.", "BMP (*.bmp)", "photo.bmp"},
      {"dir.d/photo", "GIF (*.gif)", "dir.d/photo.gif"},
      {"", "PNG (*.png)", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(WithFilterExtension(c.typed, c.filter), c.saved) << c.typed;
  EXPECT_EQ(SaveFilterFor("a/b.JPEG"), "JPEG (*.jpg *.jpeg)");
  EXPECT_TRUE(SaveFilterFor("a/b.ico").isEmpty());
}

TEST_F(Viewer, ImageMenuTurnsFlipsCropsAndResizes) {
  ASSERT_TRUE(w->Open(File("g.png")));
  Trigger("imageRotateLeft");
  ASSERT_EQ(Image().Width(), 30);
  ASSERT_EQ(Image().Height(), 40);
  EXPECT_EQ(Px(Image(), 0, 0), Gradient(39, 0));  // the top-right corner went left
  EXPECT_EQ(Px(Image(), 5, 9), Gradient(39 - 9, 5));
  EXPECT_EQ(w->StatusText(TStatusField::Size), "30 x 40, 24 bit");
  Trigger("imageRotateRight");
  EXPECT_EQ(Px(Image(), 11, 7), Gradient(11, 7));
  Trigger("imageRotate180");
  EXPECT_EQ(Px(Image(), 0, 0), Gradient(39, 29));
  Trigger("imageFlipHorizontal");
  Trigger("imageFlipVertical");
  EXPECT_EQ(Px(Image(), 0, 0), Gradient(0, 0));

  w->SelectImageRect(5, 6, 14, 20);
  Trigger("imageCrop");
  ASSERT_EQ(Image().Width(), 10);
  ASSERT_EQ(Image().Height(), 15);
  EXPECT_EQ(Px(Image(), 0, 0), Gradient(5, 6));
  EXPECT_EQ(Px(Image(), 9, 14), Gradient(14, 20));
  EXPECT_FALSE(w->View().Selected());

  w->resizeAnswer = {20, 30, true, rfLanczos3};
  Trigger("imageResize");
  EXPECT_EQ(Image().Width(), 20);
  EXPECT_EQ(Image().Height(), 30);
  w->resizeAnswer = {25, 35, false, rfNone};  // canvas only: pixels stay, new area filled
  const TColor corner = Px(Image(), 0, 0);
  Trigger("imageResize");
  EXPECT_EQ(Image().Width(), 25);
  EXPECT_EQ(Px(Image(), 0, 0), corner);
  // Undo steps back one operation.
  Trigger("editUndo");
  EXPECT_EQ(Image().Width(), 20);
}

TEST_F(Viewer, ResizeDialogKeepsTheAspectRatio) {
  TResizeDialog d(400, 300);
  d.WidthBox()->setValue(200);
  EXPECT_EQ(d.HeightBox()->value(), 150);
  d.HeightBox()->setValue(30);
  EXPECT_EQ(d.WidthBox()->value(), 40);
  d.KeepAspectBox()->setChecked(false);
  d.WidthBox()->setValue(77);
  EXPECT_EQ(d.HeightBox()->value(), 30);
  TResizeRequest r = d.Request();
  EXPECT_EQ(r.width, 77);
  EXPECT_TRUE(r.resample);
  EXPECT_EQ(r.filter, rfLanczos3);
  d.MethodBox()->setCurrentIndex(d.MethodBox()->count() - 1);
  EXPECT_FALSE(d.Request().resample);
}

TEST_F(Viewer, FiltersWorkOnEveryDepth) {
  const QString path = dir + "/dot.bmp";
  {
    TBitmap b;
    b.SetSize(9, 9);
    FillImage(b, 0x000000);
    b.Canvas().SetPixel(4, 4, 0xFFFFFF);
    TVantixIO io;
    io.SetAttachedBitmap(&b);
    io.SaveToFile(path.toStdString());
  }
  ASSERT_TRUE(w->Open(path));
  Trigger("filterMaximum");  // the white pixel grows to 3 x 3
  EXPECT_EQ(Px(Image(), 3, 3), 0xFFFFFFu);
  EXPECT_EQ(Px(Image(), 2, 4), 0x000000u);
  Trigger("filterMinimum");  // and shrinks back
  EXPECT_EQ(Px(Image(), 4, 4), 0xFFFFFFu);
  EXPECT_EQ(Px(Image(), 3, 3), 0x000000u);
  Trigger("filterBlur");
  const TColor blurred = Px(Image(), 4, 4);
  EXPECT_NE(blurred, 0xFFFFFFu);
  EXPECT_NE(Px(Image(), 3, 4), 0x000000u);
  const TColor beside = Px(Image(), 3, 4);
  Trigger("filterSharpen");  // the blurred square's edge gets steeper
  EXPECT_GT(Px(Image(), 3, 4) & 0xFF, beside & 0xFF);
  for (const char* f : {"filterEdges", "filterEmboss"}) {
    const std::vector<uint8_t> before = BitmapRGB(Image());
    Trigger(f);
    EXPECT_NE(BitmapRGB(Image()), before) << f;
  }

  // Auto levels spreads a dull picture over the whole range (from 256 pixels on).
  Image().SetSize(32, 32);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const auto v = static_cast<uint8_t>(100 + x);
      Image().Canvas().SetPixel(x, y, RGB2TColor(v, v, v));
    }
  Trigger("filterAutoLevels");
  EXPECT_LT(Px(Image(), 0, 0) & 0xFF, 60u);
  EXPECT_GT(Px(Image(), 31, 0) & 0xFF, 200u);

  // A two-colour picture is made true colour first instead of being left alone.
  Trigger("imageTwoColours");
  ASSERT_EQ(Image().PixelFormat(), pf1bit);
  const std::vector<uint8_t> before = BitmapRGB(Image());
  Trigger("filterBlur");
  EXPECT_EQ(Image().PixelFormat(), pf24bit);
  EXPECT_NE(BitmapRGB(Image()), before);
}

TEST_F(Viewer, SelectAllIsExactlyTheImageAndEscapeOrAClickDeselects) {
  ASSERT_TRUE(w->Open(File("s.png")));
  Trigger("editSelectAll");
  TVantixView& v = w->View();
  ASSERT_TRUE(v.Selected());
  EXPECT_EQ(v.SelectionRect(), (TRect{0, 0, 39, 29}));
  EXPECT_EQ(w->StatusText(TStatusField::Selection), "selection 40 x 30 at 0, 0");
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  Key(Qt::Key_Escape);
  EXPECT_FALSE(v.Selected());
  EXPECT_TRUE(w->StatusText(TStatusField::Selection).isEmpty());

  // A drag selects (the status follows), a plain click deselects.
  v.SetZoom(200);
  const int x0 = v.XBmp2Scr(4), y0 = v.YBmp2Scr(3);
  Drag(Client(), x0, y0, x0 + 20, y0 + 10);
  ASSERT_TRUE(v.Selected());
  EXPECT_EQ(w->StatusText(TStatusField::Selection), "selection 11 x 6 at 4, 3");
  Press(Client(), x0 + 5, y0 + 5);
  Release(Client(), x0 + 5, y0 + 5);
  EXPECT_FALSE(v.Selected());
  EXPECT_EQ(v.Zoom(), 200);  // and does not zoom
}

TEST_F(Viewer, KeyboardZoomsAboutTheCentreAndFits) {
  ASSERT_TRUE(w->Open(File("z.png", 400, 300)));
  TVantixView& v = w->View();
  ASSERT_EQ(v.Zoom(), 100);
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  // The image point in the centre of the client area stays there (the client itself
  // shrinks when the scroll bars come).
  const int bx = v.XScr2Bmp(v.ClientWidth() / 2), by = v.YScr2Bmp(v.ClientHeight() / 2);
  Key(Qt::Key_Plus);
  EXPECT_EQ(v.Zoom(), 150);
  Key(Qt::Key_Plus);
  EXPECT_EQ(v.Zoom(), 200);
  EXPECT_NEAR(v.XScr2Bmp(v.ClientWidth() / 2), bx, 1);
  EXPECT_NEAR(v.YScr2Bmp(v.ClientHeight() / 2), by, 1);
  Key(Qt::Key_Minus);
  EXPECT_EQ(v.Zoom(), 150);
  Key(Qt::Key_0);
  EXPECT_EQ(v.Zoom(), 100);
  Key(Qt::Key_F);  // the whole image in the client area, as large as it fits
  EXPECT_LE(v.ZoomedWidth(), v.ClientWidth());
  EXPECT_LE(v.ZoomedHeight(), v.ClientHeight());
  EXPECT_TRUE(v.ZoomedWidth() > v.ClientWidth() - 5 || v.ZoomedHeight() > v.ClientHeight() - 5);
  EXPECT_EQ(w->StatusText(TStatusField::Zoom), QString("%1 %").arg(v.Zoom()));
}

TEST_F(Viewer, WheelScrollsAndCtrlWheelZoomsAboutThePointer) {
  ASSERT_TRUE(w->Open(File("wheel.png", 400, 300)));
  TVantixView& v = w->View();
  v.SetZoom(400);
  v.SetViewXY(600, 500);
  auto wheel = [&](QPoint at, int delta, Qt::KeyboardModifiers m) {
    QWheelEvent e(at, Client()->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, m,
                  Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(Client(), &e);
  };
  wheel({100, 100}, -120, Qt::NoModifier);  // one notch down
  EXPECT_GE(v.ViewY(), 530);
  EXPECT_EQ(v.ViewX(), 600);
  wheel({100, 100}, -120, Qt::ShiftModifier);  // sideways
  EXPECT_GE(v.ViewX(), 630);

  const QPoint p(150, 90);
  const double bx = (p.x() + v.ViewX() - v.OffsetX()) / 4.0;
  const double by = (p.y() + v.ViewY() - v.OffsetY()) / 4.0;
  wheel(p, 120, Qt::ControlModifier);
  EXPECT_EQ(v.Zoom(), 500);
  EXPECT_NEAR((p.x() + v.ViewX() - v.OffsetX()) / 5.0, bx, 0.2);
  EXPECT_NEAR((p.y() + v.ViewY() - v.OffsetY()) / 5.0, by, 0.2);
  wheel(p, -240, Qt::ControlModifier);  // two notches out
  EXPECT_EQ(v.Zoom(), 300);
  EXPECT_EQ(w->StatusText(TStatusField::Zoom), "300 %");
}

TEST_F(Viewer, LargeImagesFitOnOpenUnlessTurnedOff) {
  const QString big = File("big.png", 1600, 1200);
  ASSERT_TRUE(w->Open(big));
  TVantixView& v = w->View();
  EXPECT_LT(v.Zoom(), 100);
  EXPECT_LE(v.ZoomedWidth(), v.ClientWidth());
  EXPECT_LE(v.ZoomedHeight(), v.ClientHeight());
  ASSERT_TRUE(w->Open(File("small.png", 20, 20)));
  EXPECT_EQ(v.Zoom(), 100);  // small images are not blown up
  Trigger("viewFitOnOpen");  // off
  EXPECT_FALSE(w->FitOnOpen());
  EXPECT_FALSE(settings->value("fitOnOpen").toBool());
  ASSERT_TRUE(w->Open(big));
  EXPECT_EQ(v.Zoom(), 100);
}

TEST_F(Viewer, BackgroundColourAndContrastingPatterns) {
  ASSERT_TRUE(w->Open(File("bg.png", 10, 10)));
  w->colourAnswer = 0x00A0C0;
  Trigger("viewBackgroundColour");
  TVantixView& v = w->View();
  EXPECT_EQ(v.Background(), 0x00A0C0);
  EXPECT_EQ(PixelAt(Grab(v), 2, 2), 0x00A0C0u);
  EXPECT_EQ(settings->value("background").toInt(), 0x00A0C0);

  // The default grey with a pattern: two clearly different colours around the image.
  w->colourAnswer = clGray;
  Trigger("viewBackgroundColour");
  Trigger("viewBackground5");  // cross hatch
  const QImage shot = Grab(v);
  int grey = 0, other = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) {
      const TColor c = PixelAt(shot, x, y);
      if (c == clGray)
        ++grey;
      else if (std::abs(static_cast<int>(c & 0xFF) - 0x80) >= 96)
        ++other;
    }
  EXPECT_GT(grey, 0);
  EXPECT_GT(other, 0);
  EXPECT_EQ(grey + other, 40 * 40);
}

TEST_F(Viewer, PageKeysWalkTheFolderInNaturalOrder) {
  const QString folder = dir + "/pics";
  QDir().mkpath(folder);
  for (const char* n : {"img1.png", "img2.bmp", "IMG10.png"}) WriteImage(folder + "/" + n, 8, 8);
  QFile notes(folder + "/notes.txt");
  ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
  notes.write("not a picture");
  notes.close();
  const QStringList files = ImageFilesInFolder(folder);
  ASSERT_EQ(files.size(), 3);
  EXPECT_TRUE(files[2].endsWith("IMG10.png"));

  ASSERT_TRUE(w->Open(folder + "/img2.bmp"));
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  Key(Qt::Key_PageDown);
  EXPECT_TRUE(w->CurrentFile().endsWith("IMG10.png"));
  Key(Qt::Key_PageDown);  // the last one: stays
  EXPECT_TRUE(w->CurrentFile().endsWith("IMG10.png"));
  Key(Qt::Key_PageUp);
  Key(Qt::Key_PageUp);
  EXPECT_TRUE(w->CurrentFile().endsWith("img1.png"));
  // A file removed meanwhile still has neighbours where it would sort.
  EXPECT_TRUE(NeighbourImage(folder + "/img3.png", 1).endsWith("IMG10.png"));
  EXPECT_TRUE(NeighbourImage(folder + "/img3.png", -1).endsWith("img2.bmp"));
}

TEST_F(Viewer, DroppedFilesOpenAndAreRemembered) {
  const QString a = File("a.png", 12, 12), b = File("b.png", 14, 14);
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(b)});
  QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(w.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(w.get(), &drop);
  EXPECT_EQ(Image().Width(), 14);

  ASSERT_TRUE(w->Open(a));
  EXPECT_EQ(w->RecentFiles(),
            (QStringList{QFileInfo(a).absoluteFilePath(), QFileInfo(b).absoluteFilePath()}));
  Trigger("fileRecent2");
  EXPECT_EQ(Image().Width(), 14);
  // A new window reads the same list.
  TScriptedWindow again(settings.get());
  EXPECT_EQ(again.RecentFiles().size(), 2);
  ASSERT_NE(again.Action("fileRecent1"), nullptr);
  EXPECT_EQ(again.Action("fileRecent1")->toolTip(), QFileInfo(b).absoluteFilePath());
}

TEST_F(Viewer, PasteAtThePointerLandsUnderIt) {
  ASSERT_TRUE(w->Open(File("p.png", 100, 100)));
  TVantixView& v = w->View();
  v.SetZoom(300);
  v.SetViewXY(60, 30);
  TBitmap red;
  red.SetSize(2, 2);
  FillImage(red, 0x0000FF);
  TVantixProc source;
  source.SetAttachedBitmap(&red);
  source.CopyToClipboard();
  Move(Client(), v.XBmp2Scr(40) + 1, v.YBmp2Scr(25) + 1, Qt::NoButton);
  Trigger("editPasteHere");
  EXPECT_EQ(Px(Image(), 40, 25), 0x0000FFu);
  EXPECT_EQ(Px(Image(), 41, 26), 0x0000FFu);
  EXPECT_EQ(Px(Image(), 42, 26), Gradient(42, 26));
  EXPECT_TRUE(w->IsModified());
}

// The program itself: --select shows in the status line of the screenshot run, which
// exits cleanly with the picture drawn.
TEST_F(Viewer, ScreenshotRunWithZoomAndSelection) {
  const QString image = File("shot.bmp", 60, 40);
  const QString out = dir + "/shot.png";
  const std::string home = dir.toStdString();
  const std::string cmd = "QT_QPA_PLATFORM=offscreen HOME=" + home + " XDG_CONFIG_HOME=" + home +
                          " " VXVIEWER_PATH " --screenshot " + out.toStdString() +
                          " --zoom 300 --select 5,5,20,15 " + image.toStdString() + " 2>&1";
  ASSERT_TRUE(CommandSucceeds(cmd)) << RunCommand(cmd);
  QImage shot(out);
  ASSERT_FALSE(shot.isNull());
  EXPECT_GT(shot.width(), 180);
  // The same selection through the window refreshes its status line.
  ASSERT_TRUE(w->Open(image));
  w->SelectImageRect(5, 5, 20, 15);
  EXPECT_EQ(w->StatusText(TStatusField::Selection), "selection 16 x 11 at 5, 5");
}

}  // namespace

// A TIFF whose orientation tag says "rotated 90 degrees clockwise" is shown upright;
// with the toggle off it is shown as stored.
TEST_F(Viewer, OrientationTagTurnsTheImageUprightUnlessTurnedOff) {
  if (!CommandSucceeds("command -v tiffset"))
    GTEST_SKIP() << "tiffset (libtiff-tools) is not installed";
  const QString tif = File("turned.tif", 40, 30);
  const std::string cmd = "tiffset -s 274 6 '" + tif.toStdString() + "'";
  ASSERT_TRUE(CommandSucceeds(cmd)) << RunCommand(cmd);
  TBitmap stored = ReadImage(tif);
  ASSERT_EQ(stored.Width(), 40);

  EXPECT_TRUE(w->AutoOrient());
  ASSERT_TRUE(w->Open(tif));
  ASSERT_EQ(Image().Width(), 30);
  ASSERT_EQ(Image().Height(), 40);
  // Orientation 6: the stored top row becomes the right-hand column, read downwards.
  for (int x = 0; x < 40; x += 13)
    EXPECT_EQ(Image().Canvas().Pixel(29, x), stored.Canvas().Pixel(x, 0)) << x;

  Trigger("viewAutoOrient");  // off
  EXPECT_FALSE(settings->value("autoOrient").toBool());
  ASSERT_TRUE(w->Open(tif));
  EXPECT_EQ(Image().Width(), 40);
  EXPECT_EQ(Image().Height(), 30);
}
