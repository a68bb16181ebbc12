// The open and save dialogs: their rules, the preview pane on real files our writers
// made, and whole Execute runs answered from inside the modal loop.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <filesystem>

#include "dialogs/iopreviews.h"
#include "dialogs/openvantixdialog.h"
#include "dialogs/savevantixdialog.h"
#include "io/fileformats.h"
#include "io/vantixio.h"
#include "iodialogstest.h"
#include "multi/vantixmio.h"
#include "multi/vantixmview.h"
#include "testsupport.h"
#include "view/vantixview.h"

namespace {

using namespace vx;
using vxtest::Fixture;

std::string Text(QLabel* l) {
  return l->text().toStdString();
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// ---- rules ----

TEST(OpenSaveRules, FilterOfABmpOnlyTable) {
  for (int code = ioTIFF; code <= ioEMF; ++code)
    if (code != ioBMP) VXFileFormatRemove(code);
  EXPECT_EQ(VXBuildFilter(),
            "All graphics|*.bmp;*.avi|Windows Bitmap (BMP)|*.bmp|Video for Windows (AVI)|*.avi");
  VXFileFormatReset();
  const std::string full = VXBuildFilter();
  EXPECT_EQ(full.rfind("All graphics|*.tif;*.tiff;*.gif;*.jpg;*.jpeg;*.jpe;*.pcx;", 0), 0u);
  EXPECT_NE(full.find("|TIFF Bitmap (TIF;TIFF)|*.tif;*.tiff|"), std::string::npos);
  EXPECT_NE(full.find("|JPEG Bitmap (JPG;JPEG;JPE)|*.jpg;*.jpeg;*.jpe|"), std::string::npos);
  QStringList patterns;
  const QStringList filters = VXFilterToNameFilters(full, &patterns);
  ASSERT_EQ(filters.size(), 12);  // all, ten formats, AVI
  EXPECT_EQ(filters[1], "TIFF Bitmap (TIF;TIFF) (*.tif *.tiff)");
  EXPECT_EQ(patterns[1], "*.tif;*.tiff");
}

TEST(OpenSaveRules, PatternExtensionAndParameterPage) {
  EXPECT_EQ(VXPatternExtension("*.jpg;*.jpeg"), ".jpg");
  EXPECT_EQ(VXPatternExtension("*.png"), ".png");
  EXPECT_EQ(VXPatternExtension("*"), "");
  struct Case {
    const char* name;
    bool bare;
    bool found;
    TPreviewParamsItems page;
  };
  const Case cases[] = {{"a/photo.JPE", false, true, ppJPEG}, {"x.tiff", false, true, ppTIFF},
                        {"x.gif", false, true, ppGIF},        {"x.bmp", false, true, ppBMP},
                        {"x.pcx", false, true, ppPCX},        {"x.png", false, true, ppPNG},
                        {"x.ico", false, false, ppALL},       {"photo", false, false, ppALL},
                        {"jpeg", true, true, ppJPEG},         {"tif", true, true, ppTIFF},
                        {"avi", true, false, ppALL}};
  for (const Case& c : cases) {
    TPreviewParamsItems page = ppALL;
    EXPECT_EQ(VXPreviewPageOf(c.name, c.bare, page), c.found) << c.name;
    if (c.found) {
      EXPECT_EQ(page, c.page) << c.name;
    }
  }
}

TEST(OpenSaveRules, InformationTexts) {
  TIOParamsVals p;
  p.Width = 100;
  p.Height = 10;
  p.BitsPerSample = 1;
  p.SamplesPerPixel = 1;
  p.DpiX = 72;
  p.DpiY = 300;
  p.FileType = ioBMP;
  TVXPreviewInfo info = VXPreviewInfo(&p, 1, 900, msEnglish);
  EXPECT_EQ(info.Texts[0], "100 x 10 pixel");
  EXPECT_EQ(info.Texts[1], "2 Colors (1 bit)");
  EXPECT_EQ(info.Texts[2], "72 x 300 dpi");
  EXPECT_EQ(info.Texts[3], "Windows Bitmap (BMP) ver.3");
  EXPECT_EQ(info.Texts[4], "File: 900 bytes   Mem: 160 bytes");
  p.BitsPerSample = 8;
  p.SamplesPerPixel = 4;
  p.Width = 640;
  p.Height = 480;
  info = VXPreviewInfo(&p, 3, 2048, msEnglish);
  EXPECT_EQ(info.Texts[0], "640 x 480 pixel , 3 frames");
  EXPECT_EQ(info.Texts[1], "16777216 Colors (32 bit)");
  EXPECT_EQ(info.Texts[4], "File: 2 Kb   Mem: 2700 Kb");  // 1920 * 480 * 3 bytes
  p.SamplesPerPixel = 3;
  EXPECT_EQ(VXPreviewInfo(&p, 1, 0, msEnglish).Texts[1], "16777216 Colors (24 bit)");
  p.BitsPerSample = 4;
  p.SamplesPerPixel = 1;
  EXPECT_EQ(VXPreviewInfo(&p, 1, 0, msGerman).Texts[1].substr(0, 3), "16 ");
  for (const std::string& t : VXPreviewInfo(nullptr, 1, 0, msEnglish).Texts) EXPECT_EQ(t, "");
}

// ---- the pane ----

TEST(OpenDialogPane, OneFrameGifIsShownInTheSingleView) {
  TOpenVantixDialog d;
  int changes = 0;
  d.OnSelectionChange = [&](TObject*) { ++changes; };
  d.SelectionChanged(QString::fromStdString(Fixture("one.gif")));
  EXPECT_EQ(changes, 1);
  EXPECT_FALSE(d.VantixView().isHidden());
  EXPECT_TRUE(d.VantixMView().isHidden());
  EXPECT_TRUE(d.ZoomCombo()->isEnabled());
  EXPECT_EQ(d.ZoomCombo()->currentText(), "Fit");
  EXPECT_FALSE(d.PlayButton()->isEnabled());
  EXPECT_TRUE(d.PreviewButton()->isEnabled());
  EXPECT_EQ(Text(d.PicLabel(1)), "40 x 30 pixel");
  EXPECT_EQ(Text(d.InfoLabel(1)).rfind("CompuServe Bitmap (GIF)", 0), 0u);
  EXPECT_EQ(d.VantixView().Bitmap().Width(), 40);
  EXPECT_TRUE(d.ProgressBar()->isHidden());
}

TEST(OpenDialogPane, ThreeFrameGifAndTifPagesUseTheThumbnailView) {
  for (const char* name : {"three.gif", "pages.tif"}) {
    SCOPED_TRACE(name);
    TOpenVantixDialog d;
    d.SelectionChanged(QString::fromStdString(Fixture(name)));
    EXPECT_TRUE(d.VantixView().isHidden());
    EXPECT_FALSE(d.VantixMView().isHidden());
    EXPECT_FALSE(d.ZoomCombo()->isEnabled());
    EXPECT_TRUE(d.PlayButton()->isEnabled());
    EXPECT_EQ(d.FrameCount(), 3);
    EXPECT_EQ(d.VantixMView().ImageCount(), 3);
    EXPECT_TRUE(EndsWith(Text(d.PicLabel(1)), " , 3 frames")) << Text(d.PicLabel(1));
    // The full preview copies the current frame.
    std::unique_ptr<QDialog> full = d.MakeFullPreview();
    ASSERT_TRUE(full);
    EXPECT_EQ(full->objectName(), "PreviewForm");
    auto* v = full->findChild<TVantixView*>();
    ASSERT_TRUE(v);
    EXPECT_EQ(v->Bitmap().Width(), 40);
    EXPECT_EQ(full->width(), 100);  // small pictures get a 100-pixel window
  }
}

TEST(OpenDialogPane, PagesOfATiffFileAreShownAsOneImage) {
  TOpenVantixDialog d;
  d.SelectionChanged(QString::fromStdString(Fixture("pages.tiff")));
  EXPECT_FALSE(d.VantixView().isHidden());
  EXPECT_TRUE(d.VantixMView().isHidden());
  EXPECT_EQ(d.FrameCount(), 1);
  EXPECT_EQ(Text(d.PicLabel(1)), "40 x 30 pixel");
}

TEST(OpenDialogPane, BilevelFileShowsTwoColoursAndItsMemory) {
  TOpenVantixDialog d;
  d.SetMsgLanguage(msEnglish);
  const std::string file = Fixture("bilevel.bmp");
  d.SelectionChanged(QString::fromStdString(file));
  EXPECT_EQ(Text(d.PicLabel(2)), "2 Colors (1 bit)");
  const auto size = std::filesystem::file_size(file);
  EXPECT_EQ(Text(d.InfoLabel(2)), "File: " + std::to_string(size) + " bytes   Mem: 160 bytes");
  // Without the picture only the parameters are read; the texts stay.
  d.PreviewCheck()->setChecked(false);
  EXPECT_EQ(Text(d.PicLabel(1)), "");
  d.SelectionChanged(QString::fromStdString(file));
  EXPECT_EQ(Text(d.PicLabel(2)), "2 Colors (1 bit)");
  EXPECT_EQ(d.VantixView().Bitmap().Width(), 1);  // blank
  d.PreviewCheck()->setChecked(true);
  EXPECT_EQ(d.VantixView().Bitmap().Width(), 100);
}

TEST(OpenDialogPane, MissingOrBrokenFilesShowNothing) {
  TOpenVantixDialog d;
  d.SelectionChanged(QString::fromStdString(Fixture("one.gif")));
  ASSERT_TRUE(d.PreviewButton()->isEnabled());
  const std::string broken = vxtest::TempDir() + "/broken.png";
  {
    std::FILE* f = std::fopen(broken.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fputs("\x89PNG\r\n\x1a\n junk", f);
    std::fclose(f);
  }
  for (const std::string& name : {vxtest::TempDir() + "/none.gif", broken, vxtest::TempDir()}) {
    SCOPED_TRACE(name);
    int changes = 0;
    d.OnSelectionChange = [&](TObject*) { ++changes; };
    d.SelectionChanged(QString::fromStdString(name));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(Text(d.InfoLabel(1)), "");
    EXPECT_EQ(Text(d.InfoLabel(2)), "");
    EXPECT_EQ(Text(d.PicLabel(1)), "");
    EXPECT_FALSE(d.PreviewButton()->isEnabled());
    EXPECT_EQ(d.VantixView().Bitmap().Width(), 1);
  }
}

TEST(OpenDialogPane, ZoomListSetsTheViewsZoom) {
  TOpenVantixDialog d;
  d.SelectionChanged(QString::fromStdString(Fixture("one.gif")));
  QComboBox* zoom = d.ZoomCombo();
  ASSERT_EQ(zoom->count(), 11);
  EXPECT_EQ(zoom->itemText(10), "400%");
  zoom->setCurrentIndex(8);
  emit zoom->activated(8);
  EXPECT_EQ(d.VantixView().Zoom(), 200);
}

// ---- whole runs ----

QComboBox* TypeCombo(QFileDialog& d) {
  return d.findChild<QComboBox*>("fileTypeCombo");
}

// What a user's choice in the file-type list sends.
void ChooseType(QComboBox* types, int index) {
  types->setCurrentIndex(index);
  emit types->activated(index);
  emit types->textActivated(types->itemText(index));
}

TEST(SaveDialog, TypeChangeGivesTheNameTheNewExtension) {
  TSaveVantixDialog d;
  d.AutoSetFilter = false;
  bool checked = false;
  int typeChanges = 0;
  d.OnTypeChange = [&](TObject*) { ++typeChanges; };
  d.OnShow = [&](TObject*) {
    vxtest::WhenModal([&] {
      QLineEdit* name = d.Dialog().NameEdit();
      ASSERT_TRUE(name);
      name->setText("photo.jpg");
      QComboBox* types = TypeCombo(d.Dialog());
      ASSERT_TRUE(types);
      ASSERT_EQ(types->count(), 7);
      ChooseType(types, 4);  // PNG
      EXPECT_EQ(name->text(), "photo.png");
      // The stem ends at the first dot.
      name->setText("photo.old.jpg");
      ChooseType(types, 2);  // TIFF
      EXPECT_EQ(name->text(), "photo.tif");
      checked = true;
      d.Dialog().reject();
    });
  };
  EXPECT_FALSE(d.Execute());
  EXPECT_TRUE(checked);
  EXPECT_EQ(typeChanges, 2);
}

TEST(SaveDialog, NameWithoutExtensionTakesTheTypesExtension) {
  TSaveVantixDialog d;
  d.AutoSetFilter = false;
  d.InitialDir = QString::fromStdString(vxtest::TempDir());
  d.FilterIndex = 5;  // PNG
  bool asked = false;
  d.OnCanClose = [&](TObject*, bool& canClose) {
    EXPECT_TRUE(canClose);
    asked = true;
  };
  d.OnShow = [&](TObject*) {
    vxtest::WhenModal([&] {
      d.Dialog().NameEdit()->setText("picture");
      d.Dialog().accept();
    });
  };
  ASSERT_TRUE(d.Execute());
  EXPECT_TRUE(asked);
  EXPECT_TRUE(d.FileName.endsWith("/picture.png")) << d.FileName.toStdString();
  EXPECT_EQ(d.FilterIndex, 5);
}

TEST(SaveDialog, CancelAfterAdvancedRestoresTheParameters) {
  TBitmap image = vxtest::Picture(32, 24);
  TVantixIO io;
  io.SetAttachedBitmap(&image);
  io.Params().JPEG_Quality = 50;
  io.OnIOPreview = [](TObject*, TfIOPreviews* form) {
    vxtest::WhenModal([form] {
      EXPECT_TRUE(form->PageVisible(ipJPEG));
      EXPECT_FALSE(form->PageVisible(ipPNG));
      form->Jpeg.QualityBar->setValue(90);
      form->accept();
    });
  };
  TSaveVantixDialog d;
  d.SetAttachedVantixIO(&io);
  int advanced = -1;
  d.OnShow = [&](TObject*) {
    vxtest::WhenModal([&] {
      EXPECT_TRUE(d.AdvancedButton()->isVisibleTo(&d.Dialog()));
      EXPECT_EQ(d.AdvancedButton()->text(), "Advanced...");
      d.Dialog().NameEdit()->setText("photo.jpg");
      advanced = d.DoAdvanced() ? 1 : 0;
      EXPECT_EQ(io.Params().JPEG_Quality, 90);
      d.Dialog().reject();
    });
  };
  d.SetMsgLanguage(msEnglish);
  EXPECT_FALSE(d.Execute());
  EXPECT_EQ(advanced, 1);
  EXPECT_EQ(io.Params().JPEG_Quality, 50);
}

TEST(SaveDialog, AdvancedFallsBackToTheDefaultExtension) {
  TBitmap image = vxtest::Picture(16, 16);
  TVantixIO io;
  io.SetAttachedBitmap(&image);
  TIOPreviewPage shown = ipJPEG;
  io.OnIOPreview = [&](TObject*, TfIOPreviews* form) {
    vxtest::WhenModal([&, form] {
      shown = form->ActivePage();
      form->reject();
    });
  };
  TSaveVantixDialog d;
  d.SetAttachedVantixIO(&io);
  d.FileName = "noext";
  EXPECT_FALSE(d.DoAdvanced());  // no extension, no DefaultExt: nothing opens
  d.DefaultExt = "pcx";
  EXPECT_FALSE(d.DoAdvanced());  // cancelled
  EXPECT_EQ(shown, ipPCX);
}

TEST(SaveDialog, AttachmentTakesOnlyInputOutputComponents) {
  TSaveVantixDialog d;
  TComponent other;
  d.SetAttachedVantixIO(&other);
  EXPECT_EQ(d.AttachedVantixIO(), nullptr);
  {
    TVantixIO io;
    d.SetAttachedVantixIO(&io);
    EXPECT_EQ(d.AttachedVantixIO(), &io);
  }
  EXPECT_EQ(d.AttachedVantixIO(), nullptr);
  // An empty multi-image component: the dialog does not open.
  TVantixMIO mio;
  d.SetAttachedVantixIO(&mio);
  bool shown = false;
  d.OnShow = [&](TObject*) {
    shown = true;
    vxtest::WhenModal([&] { d.Dialog().reject(); });
  };
  EXPECT_FALSE(d.Execute());
  EXPECT_FALSE(shown);
}

TEST(SaveDialog, WithoutPreviewOnlyTheSelectionEventFires) {
  TSaveVantixDialog d;
  d.ExOptions = {sdShowAdvanced};
  int changes = 0;
  d.OnSelectionChange = [&](TObject*) { ++changes; };
  d.OnShow = [&](TObject*) {
    vxtest::WhenModal([&] {
      EXPECT_FALSE(d.PicturePanel()->isVisibleTo(&d.Dialog()));
      EXPECT_FALSE(d.PreviewCheck()->isVisibleTo(&d.Dialog()));
      d.SelectionChanged(QString::fromStdString(Fixture("one.gif")));
      d.Dialog().reject();
    });
  };
  EXPECT_FALSE(d.Execute());
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(Text(d.PicLabel(1)), "");
}

TEST(OpenDialog, ExecuteBuildsTheFilterAndReturnsTheChosenFile) {
  TOpenVantixDialog d;
  d.InitialDir = QString::fromStdString(std::filesystem::path(Fixture("one.gif")).parent_path());
  int closes = 0;
  d.OnClose = [&](TObject*) { ++closes; };
  d.OnShow = [&](TObject*) {
    vxtest::WhenModal([&] {
      EXPECT_TRUE(d.PreviewCheck()->isVisibleTo(&d.Dialog()));
      EXPECT_EQ(d.PreviewCheck()->text(), "Preview");
      d.Dialog().selectFile(QString::fromStdString(Fixture("one.gif")));
      d.Dialog().accept();
    });
  };
  d.SetMsgLanguage(msEnglish);
  ASSERT_TRUE(d.Execute());
  EXPECT_EQ(d.Filter.toStdString(), VXBuildFilter());
  EXPECT_TRUE(d.FileName.endsWith("one.gif"));
  EXPECT_EQ(d.Files.size(), 1);
  EXPECT_EQ(closes, 1);
  // Closing blanks the pane.
  EXPECT_EQ(d.VantixView().Bitmap().Width(), 1);
}

TEST(OpenDialog, CanCloseFalseKeepsTheDialogOpen) {
  TOpenVantixDialog d;
  int asks = 0;
  d.OnCanClose = [&](TObject*, bool& canClose) {
    ++asks;
    canClose = false;
  };
  d.OnShow = [&](TObject*) {
    vxtest::WhenModal([&] {
      d.Dialog().selectFile(QString::fromStdString(Fixture("one.gif")));
      d.Dialog().accept();
      EXPECT_TRUE(d.Dialog().isVisible());
      d.Dialog().reject();
    });
  };
  EXPECT_FALSE(d.Execute());
  EXPECT_EQ(asks, 1);
}

}  // namespace
