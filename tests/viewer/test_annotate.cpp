// The viewer's objects as a user meets them: the Annotate tools and properties, the
// Measure menu, object files and DXF drawings through the File menu, burning objects
// into the picture, and the headless flags of the program.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSettings>
#include <QTest>
#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>

#include "io/vantixio.h"
#include "platform/canvas.h"
#include "platform/syscolors.h"
#include "testsupport.h"
#include "viewerwindow.h"
#include "viewtest.h"

using namespace vx;
using namespace vxtest;
using namespace vxviewer;

namespace {

constexpr TColor kGround = 0x804020;  // the picture: a plain colour
const std::string kPython = "/usr/bin/python3";

class TAnnotatingWindow : public TViewerWindow {
 public:
  explicit TAnnotatingWindow(QSettings* s) : TViewerWindow(s) {}

  QString fileAnswer;
  TColor colourAnswer = 0;
  QFont fontAnswer;
  std::vector<double> numbers;
  QMessageBox::StandardButton objectsAnswer = QMessageBox::Discard;
  int objectsAsked = 0;
  QStringList errors;

 protected:
  QString ChooseObjectsFile(bool, const QString&) override { return fileAnswer; }
  bool ChooseColour(TColor& c, const QString&) override {
    c = colourAnswer;
    return true;
  }
  bool ChooseFont(QFont& f) override {
    f = fontAnswer;
    return true;
  }
  bool AskNumber(const QString&, const QString&, double& v, double, double, int) override {
    if (numbers.empty()) return false;
    v = numbers.front();
    numbers.erase(numbers.begin());
    return true;
  }
  QMessageBox::StandardButton AskSaveObjectChanges() override {
    ++objectsAsked;
    return objectsAnswer;
  }
  QMessageBox::StandardButton AskSaveChanges() override { return QMessageBox::Discard; }
  void ShowError(const QString& text) override { errors << text; }
};

void WritePicture(const QString& path, int w, int h) {
  TBitmap b;
  b.SetSize(w, h);
  FillImage(b, kGround);
  TVantixIO io;
  io.SetAttachedBitmap(&b);
  io.SaveToFile(path.toStdString());
  ASSERT_FALSE(io.Aborting()) << io.LastError();
}

class Annotate : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = QString::fromStdString(vxtest::TempDir()) + "/annotate_" +
          ::testing::UnitTest::GetInstance()->current_test_info()->name();
    QDir().mkpath(dir);
    settings = std::make_unique<QSettings>(dir + "/viewer.ini", QSettings::IniFormat);
    settings->clear();
    settings->setValue("fitOnOpen", false);
    w = std::make_unique<TAnnotatingWindow>(settings.get());
    w->resize(640, 480);
    w->show();
    QCoreApplication::processEvents();
    picture = dir + "/picture.bmp";
    WritePicture(picture, 200, 150);
    ASSERT_TRUE(w->Open(picture));
  }
  void TearDown() override {
    w->SetModified(false);
    w->SetObjectsModified(false);
    w.reset();
  }
  void Trigger(const char* name) {
    QAction* a = w->Action(name);
    ASSERT_NE(a, nullptr) << name;
    a->trigger();
  }
  bool Checked(const char* name) {
    QAction* a = w->Action(name);
    return a && a->isChecked();
  }
  TVantixVect& V() { return w->Vect(); }
  QWidget* Client() { return V().viewport(); }
  QPoint At(int x, int y) { return {V().XBmp2Scr(x), V().YBmp2Scr(y)}; }
  void DragImage(int x1, int y1, int x2, int y2) {
    const QPoint a = At(x1, y1), b = At(x2, y2);
    Drag(Client(), a.x(), a.y(), b.x(), b.y());
  }

  QString dir, picture;
  std::unique_ptr<QSettings> settings;
  std::unique_ptr<TAnnotatingWindow> w;
};

TEST_F(Annotate, ToolsPlaceObjectsAndShareOneModeWithTheMouseMenu) {
  EXPECT_TRUE(Checked("mouseSelect"));
  Trigger("annotateBox");
  EXPECT_TRUE(Checked("annotateBox"));
  EXPECT_FALSE(Checked("mouseSelect"));
  EXPECT_TRUE(V().MouseInteract().Empty());
  DragImage(10, 10, 60, 40);
  ASSERT_EQ(V().ObjectsCount(), 1);
  EXPECT_EQ(V().ObjKind(0), vxkBOX);
  EXPECT_EQ(V().ObjRect(0), (TRect{10, 10, 60, 40}));
  EXPECT_EQ(V().ObjPenColor(0), clRed);
  EXPECT_TRUE(w->ObjectsModified());
  EXPECT_TRUE(w->windowTitle().startsWith("picture.bmp*"));
  Trigger("annotateArrow");
  DragImage(20, 100, 150, 120);
  ASSERT_EQ(V().ObjectsCount(), 2);
  EXPECT_EQ(V().ObjKind(1), vxkLINE);
  EXPECT_EQ(V().ObjEndShape(1), vxsOUTARROW);
  Trigger("annotateLine");
  DragImage(20, 130, 150, 140);
  EXPECT_EQ(V().ObjEndShape(2), vxsNONE);
  // The picture tool asks for a picture, which a click then places at its own size.
  const QString small = dir + "/small.bmp";
  WritePicture(small, 12, 9);
  w->fileAnswer = small;
  Trigger("annotatePicture");
  const QPoint p = At(100, 100);
  Press(Client(), p.x(), p.y());
  Release(Client(), p.x(), p.y());
  ASSERT_EQ(V().ObjectsCount(), 4);
  EXPECT_EQ(V().ObjKind(3), vxkBITMAP);
  EXPECT_EQ(V().ObjRect(3), (TRect{100, 100, 111, 108}));
  ASSERT_NE(V().ObjBitmap(3), nullptr);
  EXPECT_EQ(V().ObjBitmap(3)->Width(), 12);
  // Back to selecting the picture: no object is placed by a drag.
  Trigger("mouseSelect");
  EXPECT_FALSE(Checked("annotateLine"));
  DragImage(100, 10, 150, 60);
  EXPECT_EQ(V().ObjectsCount(), 4);
  EXPECT_TRUE(V().Selected());
}

TEST_F(Annotate, TextToolOpensTheEditorAndTypedTextIsKept) {
  Trigger("annotateText");
  DragImage(10, 10, 120, 40);
  QLineEdit* edit = V().TextEditor();
  ASSERT_NE(edit, nullptr);
  QTest::keyClicks(edit, "Note");
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(V().TextEditor(), nullptr);
  EXPECT_EQ(V().ObjText(0), "Note");
  // The window's Escape (deselect) does not reach past an open editor.
  V().OpenTextEditor(0);
  QTest::keyClicks(V().TextEditor(), "s");
  QTest::keyClick(V().TextEditor(), Qt::Key_Escape);
  EXPECT_EQ(V().ObjText(0), "Note");
}

TEST_F(Annotate, PropertiesApplyToTheSelectionOrElseToNewObjects) {
  Trigger("annotateBox");
  DragImage(10, 10, 60, 40);
  DragImage(80, 10, 120, 40);
  Trigger("annotateSelect");
  V().UnSelAllObjects();
  V().AddSelObject(0);
  w->colourAnswer = 0x00FF00;
  Trigger("annotatePenColour");
  EXPECT_EQ(V().ObjPenColor(0), 0x00FF00);
  EXPECT_EQ(V().ObjPenColor(1), clRed);
  w->colourAnswer = 0xFF0000;
  Trigger("annotateBrushColour");
  EXPECT_EQ(V().ObjBrushColor(0), 0xFF0000);
  EXPECT_EQ(V().ObjBrushStyle(0), bsSolid);  // a chosen fill fills
  Trigger("annotateBrushStyle7");
  EXPECT_EQ(V().ObjBrushStyle(0), bsDiagCross);
  Trigger("annotatePenStyle1");
  EXPECT_EQ(V().ObjPenStyle(0), psDash);
  w->numbers = {5};
  Trigger("annotatePenWidth");
  EXPECT_EQ(V().ObjPenWidth(0), 5);
  QFont f("Arial");
  f.setPixelSize(20);
  f.setBold(true);
  w->fontAnswer = f;
  Trigger("annotateFont");
  EXPECT_EQ(V().ObjFontHeight(0), -20);
  EXPECT_TRUE(V().ObjFontStyles(0).Contains(fsBold));
  Trigger("annotateEnd1");
  EXPECT_EQ(V().ObjEndShape(0), vxsINARROW);
  w->numbers = {16, 30};
  Trigger("annotateArrowSize");
  EXPECT_EQ(V().ObjShapeWidth(0), 16);
  EXPECT_EQ(V().ObjShapeHeight(0), 30);
  // With nothing selected, the next objects get it.
  V().UnSelAllObjects();
  w->colourAnswer = 0x00FFFF;
  Trigger("annotatePenColour");
  EXPECT_EQ(V().ObjPenColor(kVXVTemplate), 0x00FFFF);
  EXPECT_EQ(V().ObjPenColor(1), clRed);
  // Delete removes the selected objects, not the picture's selection.
  V().AddSelObject(1);
  Trigger("editClear");
  EXPECT_EQ(V().ObjectsCount(), 1);
  EXPECT_EQ(ColorToRGB(w->View().Bitmap().Canvas().Pixel(90, 20)), kGround);
}

TEST_F(Annotate, CopyAndPasteObjectsThroughTheEditMenu) {
  Trigger("annotateEllipse");
  DragImage(10, 10, 60, 40);
  V().AddSelObject(0);
  Trigger("editCopy");
  Trigger("editPaste");
  ASSERT_EQ(V().ObjectsCount(), 2);
  EXPECT_EQ(V().ObjKind(1), vxkELLIPSE);
  EXPECT_EQ(V().ObjRect(1), (TRect{20, 20, 70, 50}));
  EXPECT_FALSE(w->IsModified());  // the picture itself is untouched
  Trigger("editCut");
  EXPECT_EQ(V().ObjectsCount(), 1);
}

TEST_F(Annotate, MeasureAreaAndLengthInUnitsWithAScaleFromTheSelection) {
  Trigger("annotateBox");  // a tool first: measuring must bring back a way to select
  Trigger("measureArea");
  EXPECT_TRUE(Checked("measureArea"));
  EXPECT_TRUE(V().MouseInteract().Contains(miSelect));
  EXPECT_TRUE(Checked("mouseSelect"));
  w->SelectImageRect(0, 0, 10, 10);
  Move(Client(), 50, 50, Qt::NoButton);
  EXPECT_EQ(V().Hint()->Text(), "100.00 Pixels\u00B2");
  Trigger("measureLength");
  Move(Client(), 60, 50, Qt::NoButton);
  EXPECT_EQ(V().Hint()->Text(), "40.00 Pixels");
  // 40 pixels are 8 mm: the scale follows, in the chosen unit.
  w->View().SetDPI(254, 254);
  Trigger("measureUnit5");
  EXPECT_EQ(V().MUnit(), vxuMILLIMETERS);
  w->numbers = {8};
  Trigger("measureScaleFromSelection");
  EXPECT_NEAR(V().GetSelectionLen(), 8, 1e-9);
  Move(Client(), 61, 50, Qt::NoButton);
  EXPECT_EQ(V().Hint()->Text(), "8.00 MM");
  w->numbers = {2};
  Trigger("measureScale");
  EXPECT_DOUBLE_EQ(V().Scale(), 2);
  Trigger("measureDrag");
  EXPECT_TRUE(V().MouseInteractVt().Contains(miDragLen));
  Trigger("measureOff");
  EXPECT_TRUE(V().MouseInteractVt().Empty());
  EXPECT_FALSE(V().Hint()->isVisible());
}

TEST_F(Annotate, ObjectFilesRoundTripAndUnsavedObjectsAreAskedAbout) {
  Trigger("annotateBox");
  DragImage(10, 10, 60, 40);
  Trigger("annotateLine");
  DragImage(5, 100, 150, 120);
  w->fileAnswer = dir + "/objects";
  Trigger("fileSaveObjects");
  ASSERT_TRUE(QFile::exists(dir + "/objects.vxv"));
  EXPECT_FALSE(w->ObjectsModified());
  V().RemoveObject(0);
  w->SetObjectsModified(true);
  w->fileAnswer = dir + "/objects.vxv";
  w->objectsAnswer = QMessageBox::Cancel;
  Trigger("fileLoadObjects");
  EXPECT_EQ(w->objectsAsked, 1);
  EXPECT_EQ(V().ObjectsCount(), 1);  // cancelled: nothing loaded
  w->objectsAnswer = QMessageBox::Discard;
  Trigger("fileLoadObjects");
  EXPECT_EQ(w->objectsAsked, 2);
  ASSERT_EQ(V().ObjectsCount(), 2);
  EXPECT_EQ(V().ObjRect(0), (TRect{10, 10, 60, 40}));
  EXPECT_EQ(V().ObjRect(1), (TRect{5, 100, 150, 120}));
  EXPECT_FALSE(w->ObjectsModified());
  // A damaged file reports and keeps what could be read.
  QFile bad(dir + "/bad.vxv");
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("NOPE and more bytes");
  bad.close();
  EXPECT_FALSE(w->LoadObjects(dir + "/bad.vxv"));
  ASSERT_FALSE(w->errors.isEmpty());
  EXPECT_TRUE(w->errors.back().contains("unrecognized VXV stream"))
      << w->errors.back().toStdString();
  // Opening another picture asks about objects not saved, and drops them.
  Trigger("annotateBox");
  DragImage(10, 10, 30, 30);
  ASSERT_TRUE(w->OpenAsking(picture));
  EXPECT_EQ(w->objectsAsked, 3);
  EXPECT_EQ(V().ObjectsCount(), 0);
}

TEST_F(Annotate, BurningDrawsTheObjectsIntoThePicture) {
  Trigger("annotateBox");
  DragImage(10, 10, 60, 40);
  V().SetObjPenWidth(0, 1);
  V().SetZoom(200);
  Trigger("imageBurnObjects");
  EXPECT_EQ(V().ObjectsCount(), 0);
  EXPECT_TRUE(w->IsModified());
  TCanvas& c = w->View().Bitmap().Canvas();
  EXPECT_EQ(ColorToRGB(c.Pixel(10, 10)), clRed);
  EXPECT_EQ(ColorToRGB(c.Pixel(60, 25)), clRed);
  EXPECT_EQ(ColorToRGB(c.Pixel(30, 25)), kGround);
  Trigger("editUndo");
  EXPECT_EQ(ColorToRGB(w->View().Bitmap().Canvas().Pixel(10, 10)), kGround);
}

bool HaveEzdxf() {
  return CommandSucceeds(kPython + " -c 'import ezdxf'");
}

// A drawing from 0,0 to 100,50 with one line across it, one circle and one arc.
std::string WriteDrawing(const QString& dir) {
  const std::string out = (dir + "/drawing.dxf").toStdString();
  std::ostringstream py;
  py << "import ezdxf\n"
     << "doc = ezdxf.new('R2000')\n"
     << "msp = doc.modelspace()\n"
     << "msp.dxf.extmin = (0, 0, 0)\n"
     << "msp.dxf.extmax = (100, 50, 0)\n"
     << "msp.add_line((0, 0), (100, 50))\n"
     << "msp.add_circle((50, 25), 20)\n"
     << "msp.add_arc((20, 30), 15, 0, 180)\n"
     << "doc.saveas('" << out << "')\n";
  const std::string script = (dir + "/drawing.py").toStdString();
  std::ofstream(script) << py.str();
  EXPECT_TRUE(CommandSucceeds(kPython + " " + script)) << RunCommand(kPython + " " + script);
  return out;
}

// Where the drawing's points land on a 200 x 150 picture.
struct Fit {
  double s = std::min(150.0 / 51, 200.0 / 101);
  int o = 150 - static_cast<int>(std::trunc(50 * s));
  int X(double x) const { return static_cast<int>(std::trunc(x * s)); }
  int Y(double y) const { return 150 - static_cast<int>(std::trunc(y * s)) - o; }
};

TEST_F(Annotate, ImportedDrawingLandsOnThePicture) {
  if (!HaveEzdxf()) GTEST_SKIP() << "python3-ezdxf is not installed";
  w->fileAnswer = QString::fromStdString(WriteDrawing(dir));
  Trigger("fileImportDXF");
  ASSERT_EQ(V().ObjectsCount(), 3);
  const Fit fit;
  EXPECT_EQ(V().ObjRect(0), (TRect{fit.X(0), fit.Y(0), fit.X(100), fit.Y(50)}));
  EXPECT_EQ(V().ObjKind(1), vxkELLIPSE);
  EXPECT_EQ(V().ObjKind(2), vxkARC);
  EXPECT_TRUE(w->ObjectsModified());
}

// The program: the drawing imported onto the picture is in the screenshot, and the
// objects saved on the way load back the same.
TEST_F(Annotate, HeadlessScreenshotDrawsImportedAndLoadedObjects) {
  if (!HaveEzdxf()) GTEST_SKIP() << "python3-ezdxf is not installed";
  const std::string drawing = WriteDrawing(dir);
  const QString out = dir + "/shot.png", saved = dir + "/saved.vxv";
  const std::string env = "QT_QPA_PLATFORM=offscreen HOME=" + dir.toStdString() +
                          " XDG_CONFIG_HOME=" + dir.toStdString() + " ";
  const std::string cmd = env + VXVIEWER_PATH " --screenshot " + out.toStdString() + " --dxf " +
                          drawing + " --save-vxv " + saved.toStdString() + " " +
                          picture.toStdString() + " 2>&1";
  ASSERT_TRUE(CommandSucceeds(cmd)) << RunCommand(cmd);
  QImage shot(out);
  ASSERT_FALSE(shot.isNull());
  // The picture is centred in the window: find its top-left corner.
  const TColor ground = kGround;
  int left = -1, top = -1;
  for (int y = 0; y < shot.height() && left < 0; ++y)
    for (int x = 0; x < shot.width(); ++x)
      if (PixelAt(shot, x, y) == ground) {
        left = x, top = y;
        break;
      }
  ASSERT_GE(left, 0);
  const Fit fit;
  // The line's middle, in the viewer's red; the picture's ground beside it.
  const int mx = (fit.X(0) + fit.X(100)) / 2, my = (fit.Y(0) + fit.Y(50)) / 2;
  bool red = false;
  for (int d = -2; d <= 2; ++d) red = red || PixelAt(shot, left + mx, top + my + d) == clRed;
  EXPECT_TRUE(red);
  EXPECT_EQ(PixelAt(shot, left + 190, top + 140), ground);
  // The saved objects are the drawing's, and load back onto the picture in the window.
  ASSERT_TRUE(w->LoadObjects(saved));
  ASSERT_EQ(V().ObjectsCount(), 3);
  EXPECT_EQ(V().ObjRect(0), (TRect{fit.X(0), fit.Y(0), fit.X(100), fit.Y(50)}));
  // And a run from the saved objects draws the same line.
  const QString again = dir + "/again.png";
  const std::string cmd2 = env + VXVIEWER_PATH " --screenshot " + again.toStdString() + " --vxv " +
                           saved.toStdString() + " --zoom 200 " + picture.toStdString() + " 2>&1";
  ASSERT_TRUE(CommandSucceeds(cmd2)) << RunCommand(cmd2);
  EXPECT_FALSE(QImage(again).isNull());
  // A missing object file fails the run.
  const std::string cmd3 = env + VXVIEWER_PATH " --screenshot " + again.toStdString() + " --vxv " +
                           (dir + "/missing.vxv").toStdString() + " " + picture.toStdString() +
                           " 2>&1";
  EXPECT_FALSE(CommandSucceeds(cmd3));
}

}  // namespace
