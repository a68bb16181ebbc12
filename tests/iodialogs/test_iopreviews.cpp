// The save-parameter dialog driven through its controls, and DoPreviews of the
// input/output component.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <filesystem>

#include "dialogs/iopreviews.h"
#include "io/iopreviewhook.h"
#include "io/vantixio.h"
#include "iodialogstest.h"
#include "multi/vantixmio.h"
#include "multi/vantixmview.h"
#include "platform/bitmap.h"
#include "testsupport.h"
#include "view/vantixview.h"

namespace {

using namespace vx;
using vxtest::Picture;

// A form on a picture and a parameter set, shown (which fills it and makes the first
// preview) with the given pages and lock state.
struct Form {
  TIOParamsVals params;
  TBitmap image = Picture(64, 48);
  TfIOPreviews dialog;

  explicit Form(TPreviewParams pages, bool locked = true) {
    dialog.SetParams(&params);
    dialog.SetDefaultLockPreview(locked);
    dialog.SetLanguage(msEnglish);
    dialog.SetSourceImage(image);
    EXPECT_TRUE(dialog.SetPreviewParams(pages));
    dialog.show();
  }
};

void TypeInto(QLineEdit* edit, const QString& text) {
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Backspace);
  QTest::keyClicks(edit, text);
}

int64_t BytesIn(const QString& label) {
  return label.section(' ', 0, 0).toLongLong();
}

TEST(IOPreviews, AutoPageComesFromTheFileType) {
  TIOParamsVals p;
  TfIOPreviews d;
  d.SetParams(&p);
  p.FileType = ioUnknown;
  EXPECT_FALSE(d.SetPreviewParams({ppAUTO}));
  p.FileType = ioWMF;
  EXPECT_FALSE(d.SetPreviewParams({ppAUTO}));
  // Nothing to show at all is no dialog either.
  EXPECT_FALSE(d.SetPreviewParams({}));
  p.FileType = ioPNG;
  ASSERT_TRUE(d.SetPreviewParams({ppAUTO}));
  for (int i = 0; i < kIOPreviewPageCount; ++i)
    EXPECT_EQ(d.PageVisible(static_cast<TIOPreviewPage>(i)), i == static_cast<int>(ipPNG)) << i;
  EXPECT_TRUE(d.SetPreviewParams({ppALL}));
  EXPECT_TRUE(d.PageVisible(ipJPEG) && d.PageVisible(ipPCX));
}

TEST(IOPreviews, FirstVisiblePageIsActiveAndCaptionsComeFromTheTable) {
  Form f({ppGIF, ppPCX});
  EXPECT_EQ(f.dialog.ActivePage(), ipGIF);
  EXPECT_EQ(f.dialog.windowTitle(), "Parameters Preview");
  EXPECT_EQ(f.dialog.LockButton()->toolTip(), "Lock preview");
  EXPECT_FALSE(f.dialog.PreviewButton()->isEnabled());  // locked
  EXPECT_EQ(f.dialog.OriginalSizeText(), QString("%1 bytes").arg((24 * 64 + 31) / 32 * 4 * 48));
  EXPECT_NE(f.dialog.CompressedSizeText(), "---");
  f.dialog.SetLanguage(msItalian);
  EXPECT_EQ(f.dialog.LockButton()->toolTip(), "Blocca anteprima");
}

TEST(IOPreviews, TiffCmykFixesTheColoursAndSavesFourSamples) {
  Form f({ppTIFF});
  auto& t = f.dialog.Tiff;
  t.Photometric->setCurrentIndex(ioTIFF_CMYK);
  EXPECT_FALSE(t.Colours->isEnabled());
  EXPECT_EQ(t.Colours->currentText(), "16M");
  t.Photometric->setCurrentIndex(ioTIFF_BLACKISZERO);
  EXPECT_FALSE(t.Colours->isEnabled());
  EXPECT_EQ(t.Colours->currentText(), "B/W");
  t.Photometric->setCurrentIndex(ioTIFF_RGB);  // B/W makes no sense for RGB
  EXPECT_TRUE(t.Colours->isEnabled());
  EXPECT_EQ(t.Colours->currentText(), "16M");
  t.Photometric->setCurrentIndex(ioTIFF_CMYK);
  f.dialog.accept();
  EXPECT_EQ(f.params.TIFF_PhotometInterpret, ioTIFF_CMYK);
  EXPECT_EQ(f.params.BitsPerSample, 8);
  EXPECT_EQ(f.params.SamplesPerPixel, 4);
}

TEST(IOPreviews, TypedQualityMovesTheBarAndRefreshesThePreview) {
  Form f({ppJPEG});
  const int before = f.dialog.PreviewCount();
  const QString sizeAt50 = f.dialog.CompressedSizeText();
  TypeInto(f.dialog.Jpeg.Quality, "75");
  EXPECT_EQ(f.dialog.Jpeg.QualityBar->value(), 75);
  EXPECT_GT(f.dialog.PreviewCount(), before);
  EXPECT_NE(f.dialog.CompressedSizeText(), sizeAt50);
  // The result holds the decoded JPEG, not a copy of the source.
  const TBitmap& r = f.dialog.ResultView().Bitmap();
  ASSERT_EQ(r.Width(), 64);
  EXPECT_NE(vxtest::BitmapRGB(r), vxtest::BitmapRGB(f.image));
  // An empty quality counts as 50.
  TypeInto(f.dialog.Jpeg.Quality, "");
  EXPECT_EQ(f.dialog.Jpeg.QualityBar->value(), 50);
  EXPECT_EQ(f.dialog.CompressedSizeText(), sizeAt50);
}

TEST(IOPreviews, UnlockedChangesWaitForThePreviewButton) {
  Form f({ppPNG}, false);
  EXPECT_TRUE(f.dialog.PreviewButton()->isEnabled());
  const int before = f.dialog.PreviewCount();
  f.dialog.Png.Colours->setCurrentIndex(0);
  EXPECT_EQ(f.dialog.PreviewCount(), before);
  QTest::mouseClick(f.dialog.PreviewButton(), Qt::LeftButton);
  EXPECT_EQ(f.dialog.PreviewCount(), before + 1);
  EXPECT_EQ(f.dialog.ResultView().Bitmap().PixelFormat(), pf1bit);
  // Pressing the lock previews at once.
  f.dialog.LockButton()->setChecked(true);
  EXPECT_FALSE(f.dialog.PreviewButton()->isEnabled());
  EXPECT_EQ(f.dialog.PreviewCount(), before + 2);
}

TEST(IOPreviews, SwitchingPagesDropsTheEditsOfThePageLeft) {
  Form f({ppALL});
  ASSERT_EQ(f.dialog.ActivePage(), ipJPEG);
  TypeInto(f.dialog.Jpeg.Quality, "20");
  EXPECT_EQ(f.dialog.WorkingCopy().JPEG_Quality, 20);
  f.dialog.SetActivePage(ipPNG);
  f.dialog.SetActivePage(ipJPEG);
  EXPECT_EQ(f.dialog.Jpeg.QualityBar->value(), 50);
  EXPECT_EQ(f.dialog.Jpeg.Quality->text(), "50");
  f.dialog.accept();
  EXPECT_EQ(f.params.JPEG_Quality, 50);
}

TEST(IOPreviews, OkWritesOnlyTheActivePageAndCancelNothing) {
  {
    Form f({ppPNG});
    f.params.JPEG_Quality = 33;
    f.dialog.Png.Colours->setCurrentIndex(1);  // 256
    f.dialog.Png.Filter->setCurrentIndex(ioPNG_FILTER_PAETH);
    f.dialog.accept();
    EXPECT_EQ(f.params.BitsPerSample, 8);
    EXPECT_EQ(f.params.SamplesPerPixel, 1);
    EXPECT_EQ(f.params.PNG_Filter, ioPNG_FILTER_PAETH);
    EXPECT_EQ(f.params.JPEG_Quality, 33);
  }
  {
    Form f({ppPNG});
    const TIOParamsVals before = f.params;
    f.dialog.Png.Colours->setCurrentIndex(0);
    f.dialog.Png.Interlaced->setChecked(true);
    f.dialog.reject();
    EXPECT_EQ(f.params.BitsPerSample, before.BitsPerSample);
    EXPECT_EQ(f.params.SamplesPerPixel, before.SamplesPerPixel);
    EXPECT_FALSE(f.params.PNG_Interlaced);
  }
}

TEST(IOPreviews, ColourListsReadAndWriteTheirPairs) {
  // Reading picks the entry of the pair; BMP's 32-bit entry and TIFF's 16M for CMYK
  // are never picked from a set.
  EXPECT_EQ(ColourIndexOf(ipTIFF, 8, 3), 4);
  EXPECT_EQ(ColourIndexOf(ipTIFF, 16, 1), 3);
  EXPECT_EQ(ColourIndexOf(ipBMP, 8, 3), 4);
  EXPECT_EQ(ColourIndexOf(ipBMP, 5, 3), 3);
  EXPECT_EQ(ColourIndexOf(ipPCX, 4, 1), 1);
  EXPECT_EQ(ColourIndexOf(ipPNG, 1, 1), 0);
  EXPECT_EQ(ColourIndexOf(ipPNG, 4, 1), 1);
  EXPECT_EQ(ColourIndexOf(ipPNG, 16, 3), 2);
  // GIF: bits per sample is the list index + 1.
  Form f({ppGIF});
  f.dialog.Gif.Colours->setCurrentIndex(3);  // 16
  f.dialog.accept();
  EXPECT_EQ(f.params.BitsPerSample, 4);
  EXPECT_EQ(f.params.SamplesPerPixel, 1);
}

// The size shown is the size of the file the same settings write.
TEST(IOPreviews, CompressedSizeIsTheSizeOfTheSavedFile) {
  struct Case {
    TPreviewParamsItems page;
    const char* ext;
    std::function<void(TfIOPreviews&)> set;
  };
  const Case cases[] = {
      {ppJPEG, "jpg", [](TfIOPreviews& d) { TypeInto(d.Jpeg.Quality, "75"); }},
      {ppJPEG, "jpg", [](TfIOPreviews& d) { d.Jpeg.Progressive->setChecked(true); }},
      {ppTIFF, "tif",
       [](TfIOPreviews& d) { d.Tiff.Compression->setCurrentIndex(ioTIFF_PACKBITS); }},
      {ppTIFF, "tif", [](TfIOPreviews& d) { d.Tiff.Colours->setCurrentIndex(2); }},
      {ppGIF, "gif", [](TfIOPreviews& d) { d.Gif.Colours->setCurrentIndex(3); }},
      {ppBMP, "bmp",
       [](TfIOPreviews& d) {
         d.Bmp.Colours->setCurrentIndex(2);
         d.Bmp.Compression->setCurrentIndex(ioBMP_RLE);
       }},
      {ppPCX, "pcx", [](TfIOPreviews& d) { d.Pcx.Colours->setCurrentIndex(1); }},
      {ppPNG, "png", [](TfIOPreviews& d) { d.Png.Compression->setCurrentIndex(9); }},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ext);
    Form f({c.page});
    const int before = f.dialog.PreviewCount();
    c.set(f.dialog);
    EXPECT_GT(f.dialog.PreviewCount(), before);
    const int64_t shown = BytesIn(f.dialog.CompressedSizeText());
    f.dialog.accept();
    TVantixIO io;
    TBitmap copy = f.image;
    io.SetAttachedBitmap(&copy);
    io.Params().Assign(f.params);
    const std::string file = vxtest::TempDir() + "/size" + std::to_string(n++) + "." + c.ext;
    io.SaveToFile(file);
    ASSERT_FALSE(io.Aborting()) << io.LastError();
    EXPECT_EQ(shown, static_cast<int64_t>(std::filesystem::file_size(file)));
  }
}

TEST(IOPreviews, ResultFollowsTheSourceZoomAndScroll) {
  Form f({ppBMP});
  f.dialog.resize(500, 400);
  f.dialog.SourceView().SetZoom(400);
  f.dialog.SourceView().SetViewXY(30, 20);
  EXPECT_EQ(f.dialog.ResultView().Zoom(), 400);
  EXPECT_EQ(f.dialog.ResultView().ViewX(), f.dialog.SourceView().ViewX());
  EXPECT_EQ(f.dialog.ResultView().ViewY(), f.dialog.SourceView().ViewY());
  // A new preview keeps them in step too.
  f.dialog.Bmp.Colours->setCurrentIndex(1);
  EXPECT_EQ(f.dialog.ResultView().Zoom(), 400);
}

TEST(IOPreviews, ColourPanelsOfferThePaletteOfThePreview) {
  Form f({ppGIF});
  f.dialog.Gif.Colours->setCurrentIndex(1);  // 4 colours
  size_t offered = 99;
  f.dialog.ColourChooser = [&](const std::vector<TRGB>& palette, TRGB& c) {
    offered = palette.size();
    c = palette.empty() ? TRGB{1, 2, 3} : palette.back();
    return true;
  };
  EXPECT_FALSE(f.dialog.Gif.TranspColor->isEnabled());
  f.dialog.Gif.Transparent->setChecked(true);
  EXPECT_TRUE(f.dialog.Gif.TranspColor->isEnabled());
  QTest::mouseClick(f.dialog.Gif.TranspColor, Qt::LeftButton);
  EXPECT_EQ(offered, 4u);
  const TRGB chosen = f.dialog.PreviewParamsSet().ColorMap[3];
  f.dialog.accept();
  EXPECT_TRUE(f.params.GIF_FlagTranspColor);
  EXPECT_EQ(f.params.GIF_TranspColor.r, chosen.r);
  EXPECT_EQ(f.params.GIF_TranspColor.g, chosen.g);
  EXPECT_EQ(f.params.GIF_TranspColor.b, chosen.b);
  // PNG at 16M has no palette: any colour may be chosen.
  Form g({ppPNG});
  g.dialog.ColourChooser = f.dialog.ColourChooser;
  QTest::mouseClick(g.dialog.Png.Background, Qt::LeftButton);
  EXPECT_EQ(offered, 0u);
  g.dialog.accept();
  EXPECT_EQ(g.params.PNG_Background.r, 3);
}

// ---- the component ----

TEST(IOPreviews, DoPreviewsShowsTheDialogOnTheComponentsParameters) {
  TBitmap image = Picture(32, 32);
  TVantixIO io;
  io.SetAttachedBitmap(&image);
  io.SetMsgLanguage(msEnglish);
  io.SetPreviewsParams({ioppDefaultLockPreview});
  int fired = 0;
  io.OnIOPreview = [&](TObject* sender, TfIOPreviews* form) {
    ++fired;
    EXPECT_EQ(sender, &io);
    EXPECT_EQ(form->Params(), &io.Params());
    vxtest::WhenModal([form] {
      EXPECT_TRUE(form->LockButton()->isChecked());
      EXPECT_EQ(form->SourceView().Bitmap().Width(), 32);
      TypeInto(form->Jpeg.Quality, "90");
      form->accept();
    });
  };
  EXPECT_TRUE(io.DoPreviews({ppJPEG}));
  EXPECT_EQ(io.Params().JPEG_Quality, 90);
  EXPECT_EQ(fired, 1);

  io.OnIOPreview = [&](TObject*, TfIOPreviews* form) {
    ++fired;
    vxtest::WhenModal([form] {
      TypeInto(form->Jpeg.Quality, "10");
      form->reject();
    });
  };
  EXPECT_FALSE(io.DoPreviews({ppJPEG}));
  EXPECT_EQ(io.Params().JPEG_Quality, 90);
  // Unknown file type with ppAUTO: no dialog, no event.
  EXPECT_FALSE(io.DoPreviews({ppAUTO}));
  EXPECT_EQ(fired, 2);
}

TEST(IOPreviews, DoPreviewsNeedsABitmapAndTheWidgetLibrary) {
  TVantixIO io;
  bool fired = false;
  io.OnIOPreview = [&](TObject*, TfIOPreviews*) { fired = true; };
  EXPECT_FALSE(io.DoPreviews({ppALL}));
  TBitmap image = Picture(8, 8);
  io.SetAttachedBitmap(&image);
  const TIOPreviewRunner runner = SetIOPreviewRunner(nullptr);
  EXPECT_FALSE(io.DoPreviews({ppALL}));
  SetIOPreviewRunner(runner);
  EXPECT_FALSE(fired);
}

}  // namespace

TEST(IOPreviews, MultiImageDoPreviewsEditsTheSetOfTheGivenImage) {
  TVantixMView view;
  TVantixMIO mio;
  mio.SetAttachedMView(&view);
  mio.SetMsgLanguage(msEnglish);
  EXPECT_FALSE(mio.DoPreviews(0, {ppJPEG})) << "no image yet";
  view.SetImage(view.AppendImage(), Picture(16, 16));
  view.SetImage(view.AppendImage(), Picture(24, 20));
  view.SetSelectedImage(1);
  mio.Params(0)->JPEG_Quality = 40;
  mio.Params(1)->JPEG_Quality = 40;
  auto form = [] { return dynamic_cast<TfIOPreviews*>(QApplication::activeModalWidget()); };

  vxtest::WhenModal([&] {
    ASSERT_NE(form(), nullptr);
    form()->Jpeg.QualityBar->setValue(10);
    form()->reject();
  });
  EXPECT_FALSE(mio.DoPreviews(0, {ppJPEG}));
  EXPECT_EQ(mio.Params(0)->JPEG_Quality, 40);

  vxtest::WhenModal([&] {
    ASSERT_NE(form(), nullptr);
    EXPECT_EQ(form()->SourceView().Bitmap().Width(), 24) << "previews the current image";
    form()->Jpeg.QualityBar->setValue(85);
    form()->accept();
  });
  EXPECT_TRUE(mio.DoPreviews(0, {ppJPEG}));
  EXPECT_EQ(mio.Params(0)->JPEG_Quality, 85);
  EXPECT_EQ(mio.Params(1)->JPEG_Quality, 40);
  EXPECT_FALSE(mio.DoPreviews(5, {ppJPEG})) << "no such image";
}
