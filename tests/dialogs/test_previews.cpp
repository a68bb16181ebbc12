// The processing preview dialog driven as a user drives it: clicks on its buttons, keys
// typed into its number boxes, drags on its rulers; and opened from the processing
// component, whose image it writes back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <fstream>
#include <functional>
#include <memory>

#include "controls/histogrambox.h"
#include "controls/hsvbox.h"
#include "controls/rulerbox.h"
#include "dialogs/previews.h"
#include "proc/colorspace.h"
#include "proc/filters.h"
#include "proc/vantixproc.h"
#include "testsupport.h"
#include "view/vantixview.h"

using namespace vx;
using namespace vx::previewparam;

namespace {

// A colourful image with no saturated channel, so that shifts by a few levels show.
TBitmap Fixture(int w = 64, int h = 48) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      row[3 * x] = static_cast<uint8_t>(40 + (x * 3 + y) % 150);
      row[3 * x + 1] = static_cast<uint8_t>(30 + (y * 4) % 170);
      row[3 * x + 2] = static_cast<uint8_t>(50 + ((x * y) % 140));
    }
  }
  return b;
}

bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), static_cast<size_t>(a.Width()) * 3) != 0)
      return false;
  return true;
}

// The dialog opened on an image, non-modally, as it is once it has been activated.
std::unique_ptr<TfPreviews> Open(const TBitmap& image, TPreviewEffects effects,
                                 bool locked = false) {
  auto d = std::make_unique<TfPreviews>();
  d->SetSourceImage(image);
  d->SetEffects(effects);
  d->SetDefaultLockPreview(locked);
  d->SetLanguage(msEnglish);
  d->show();
  QApplication::processEvents();
  return d;
}

// Replaces the text of a number box by typing.
void Type(QLineEdit* box, const QString& text) {
  QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(box, Qt::Key_Backspace);
  QTest::keyClicks(box, text);
}

int VisibleTabs(const TfPreviews& d) {
  int n = 0;
  for (int i = 0; i < d.Pages()->count(); ++i) n += d.Pages()->isTabVisible(i) ? 1 : 0;
  return n;
}

TEST(Previews, EffectsChooseThePagesShown) {
  const TBitmap img = Fixture();
  auto lens = Open(img, {peLens});
  EXPECT_EQ(VisibleTabs(*lens), 1);
  EXPECT_TRUE(lens->Pages()->isTabVisible(static_cast<int>(ppLens)));
  EXPECT_EQ(lens->ActivePage(), ppLens);
  // The lens starts at the image centre with half the longer side.
  EXPECT_EQ(lens->Value(ppLens, kLeft), 32);
  EXPECT_EQ(lens->Value(ppLens, kTop), 24);
  EXPECT_EQ(lens->Value(ppLens, kWidth), 32);
  EXPECT_EQ(lens->Value(ppLens, kRefraction), 7);

  auto all = Open(img, {peAll});
  EXPECT_EQ(VisibleTabs(*all), kPreviewPageCount);
  EXPECT_EQ(all->ActivePage(), ppContrast);

  auto two = Open(img, {peWave, peRGB});
  EXPECT_EQ(VisibleTabs(*two), 2);
  EXPECT_EQ(two->ActivePage(), ppRGB);
}

TEST(Previews, UnlockedPreviewWaitsForThePreviewButton) {
  const TBitmap img = Fixture();
  auto d = Open(img, {peRGB});
  ASSERT_FALSE(d->LockButton()->isChecked());
  ASSERT_TRUE(d->PreviewButton()->isEnabled());
  const TBitmap before = d->ResultView().Bitmap();
  ASSERT_FALSE(before.Empty());

  Type(d->Box(ppRGB, kRed), "10");
  EXPECT_EQ(d->Value(ppRGB, kRed), 10);
  EXPECT_EQ(d->Bar(ppRGB, kRed)->value(), 10);
  EXPECT_TRUE(SamePixels(d->ResultView().Bitmap(), before));

  QTest::mouseClick(d->PreviewButton(), Qt::LeftButton);
  const TBitmap& after = d->ResultView().Bitmap();
  ASSERT_TRUE(!after.Empty() && after.Width() == before.Width());
  EXPECT_EQ(after.ScanLine(0)[2], before.ScanLine(0)[2] + 10);
  EXPECT_EQ(after.ScanLine(0)[1], before.ScanLine(0)[1]);

  // Locked, every change renders at once and the Preview button is off.
  QTest::mouseClick(d->LockButton(), Qt::LeftButton);
  EXPECT_FALSE(d->PreviewButton()->isEnabled());
  Type(d->Box(ppRGB, kGreen), "-5");
  EXPECT_EQ(d->ResultView().Bitmap().ScanLine(0)[1], before.ScanLine(0)[1] - 5);
}

TEST(Previews, NumberBoxesAndTrackBarsMirrorAndClamp) {
  auto d = Open(Fixture(), {peRGB, peMorph});
  Type(d->Box(ppRGB, kBlue), "999");
  EXPECT_EQ(d->Value(ppRGB, kBlue), 255);
  EXPECT_EQ(d->Box(ppRGB, kBlue)->text(), "255");
  Type(d->Box(ppRGB, kBlue), "abc");  // not a number: 0
  EXPECT_EQ(d->Value(ppRGB, kBlue), 0);
  d->Bar(ppRGB, kGreen)->setValue(-40);
  EXPECT_EQ(d->Box(ppRGB, kGreen)->text(), "-40");

  d->Pages()->setCurrentIndex(static_cast<int>(ppMorph));
  EXPECT_EQ(d->Value(ppMorph, kWindowSize), 1);
  Type(d->Box(ppMorph, kWindowSize), "x");  // the window size reads as 1
  EXPECT_EQ(d->Value(ppMorph, kWindowSize), 1);
}

TEST(Previews, CopyResultToSourceTwiceAppliesOnce) {
  const TBitmap img = Fixture();
  auto d = Open(img, {peRGB});
  Type(d->Box(ppRGB, kRed), "10");
  QTest::mouseClick(d->CopyButton(), Qt::LeftButton);
  EXPECT_EQ(d->Value(ppRGB, kRed), 0);  // parameters back to their defaults
  EXPECT_EQ(d->Box(ppRGB, kRed)->text(), "0");
  QTest::mouseClick(d->CopyButton(), Qt::LeftButton);
  TBitmap expected = img;
  for (int y = 0; y < expected.Height(); ++y)
    for (int x = 0; x < expected.Width(); ++x) expected.ScanLine(y)[3 * x + 2] += 10;
  EXPECT_TRUE(SamePixels(d->SourceView().Bitmap(), expected));
}

struct TDefaultCase {
  TPreviewEffect effect;
  bool identity;
};

TEST(Previews, OkAtDefaultsIsTheIdentityOnlyForTheNeutralPages) {
  const TBitmap img = Fixture();
  const TDefaultCase cases[] = {
      {peContrast, true}, {peHSV, true},      {peHSL, true},    {peRGB, true},
      {peUserFilt, true}, {peEqualize, true}, {peRotate, true}, {peBumpMap, false},
      {peLens, false},    {peWave, false},    {peMorph, false},
  };
  for (const TDefaultCase& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.effect));
    auto d = Open(img, {c.effect});
    QTest::mouseClick(d->OkButton(), Qt::LeftButton);
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_EQ(SamePixels(d->Image(), img), c.identity);
  }
}

TEST(Previews, CancelKeepsTheImage) {
  const TBitmap img = Fixture();
  auto d = Open(img, {peRGB});
  Type(d->Box(ppRGB, kRed), "50");
  QTest::mouseClick(d->CancelButton(), Qt::LeftButton);
  EXPECT_EQ(d->result(), QDialog::Rejected);
  EXPECT_TRUE(SamePixels(d->Image(), img));
}

TEST(Previews, EqualizationWithOnlyRedCheckedMovesOnlyRedLimits) {
  const TBitmap img = Fixture();
  auto d = Open(img, {peEqualize}, /*locked=*/true);
  TRulerBox* ruler = d->ThresholdRuler();
  EXPECT_EQ(ruler->GripsKind(0), TRulerBox::gkArrow2);
  EXPECT_EQ(ruler->GripsCol(1), 0x808080);
  EXPECT_EQ(d->Histogram()->HistogramKindFlags(), THistogramBox::hkGray);
  // The ruler sits under the histogram's plotting area.
  EXPECT_EQ(ruler->x(), d->Histogram()->PlotLeft());

  d->ChannelList()->item(3)->setCheckState(Qt::Unchecked);
  d->ChannelList()->item(0)->setCheckState(Qt::Checked);
  EXPECT_EQ(d->Histogram()->HistogramKindFlags(), THistogramBox::hkRed);

  const TBitmap before = d->ResultView().Bitmap();
  // Drag the low grip to the middle of the ruler.
  const int gx = ruler->GripScreenPos(0);
  const std::vector<TPoint> pts = ruler->GripPoints(0);
  int cy = 0;
  for (const TPoint& p : pts) cy += p.y;
  cy /= static_cast<int>(pts.size());
  QTest::mousePress(ruler, Qt::LeftButton, {}, QPoint(gx + 1, cy));
  QMouseEvent move(QEvent::MouseMove, QPointF(gx + 1 + ruler->width() / 2, cy),
                   ruler->mapToGlobal(QPointF(gx + 1 + ruler->width() / 2, cy)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(ruler, &move);
  QTest::mouseRelease(ruler, Qt::LeftButton, {}, QPoint(gx + 1 + ruler->width() / 2, cy));

  const TRGB lo = d->ThresholdLow();
  EXPECT_GT(lo.r, 100);
  EXPECT_EQ(lo.g, 0);
  EXPECT_EQ(lo.b, 0);
  EXPECT_EQ(d->ThresholdHigh().r, 255);
  EXPECT_EQ(d->RangeLow().r, 0);
  // Locked: the preview's red channel changed, the others did not.
  const TBitmap& after = d->ResultView().Bitmap();
  bool redChanged = false, otherChanged = false;
  for (int y = 0; y < after.Height(); ++y)
    for (int x = 0; x < after.Width(); ++x) {
      const uint8_t* a = after.ScanLine(y) + 3 * x;
      const uint8_t* b = before.ScanLine(y) + 3 * x;
      redChanged |= a[2] != b[2];
      otherChanged |= a[0] != b[0] || a[1] != b[1];
    }
  EXPECT_TRUE(redChanged);
  EXPECT_FALSE(otherChanged);

  // Grips never cross: pushing the high grip below the low one drags it along.
  ruler->SetGripsPos(1, 20);
  EXPECT_EQ(ruler->GripsPos(0), 20);
  EXPECT_EQ(d->ThresholdLow().r, 20);
}

TEST(Previews, UserFilterPresetsAndKernelFiles) {
  auto d = Open(Fixture(), {peUserFilt});
  d->FilterPresets()->setCurrentRow(1);  // Blur
  const TGraphFilter blur = FilterPreset(fpBlur);
  EXPECT_EQ(d->Filter(), blur);
  EXPECT_EQ(d->FilterBox(4)->text(), QString::number(blur.Values[4]));
  EXPECT_EQ(d->FilterBox(9)->text(), QString::number(blur.Divisor));

  const std::string file = vxtest::TempDir() + "/blur.flt";
  d->ChooseFilterFile = [&](bool) { return QString::fromStdString(file); };
  QTest::mouseClick(d->SaveButton(), Qt::LeftButton);
  d->FilterPresets()->setCurrentRow(0);
  ASSERT_EQ(d->Filter(), FilterPreset(fpNone));
  QTest::mouseClick(d->LoadButton(), Qt::LeftButton);
  EXPECT_EQ(d->Filter(), blur);

  // A box typed into changes its kernel value; the divisor reads a non-number as 1.
  Type(d->FilterBox(0), "3");
  EXPECT_EQ(d->Filter().Values[0], 3);
  Type(d->FilterBox(9), "z");
  EXPECT_EQ(d->Filter().Divisor, 1);

  // A file with a wrong header leaves the kernel.
  const std::string bad = vxtest::TempDir() + "/bad.flt";
  std::ofstream(bad, std::ios::binary) << std::string(43, '\x07');
  const TGraphFilter kept = d->Filter();
  d->ChooseFilterFile = [&](bool) { return QString::fromStdString(bad); };
  QTest::mouseClick(d->LoadButton(), Qt::LeftButton);
  EXPECT_EQ(d->Filter(), kept);
}

TEST(Previews, CaptionsFollowTheLanguage) {
  auto d = Open(Fixture(), {peAll});
  EXPECT_EQ(d->windowTitle(), "Preview");
  EXPECT_EQ(d->CancelButton()->text(), "Cancel");
  EXPECT_EQ(d->LockButton()->toolTip(), "Lock preview");
  EXPECT_EQ(d->Pages()->tabText(static_cast<int>(ppContrast)), "Contrast");
  EXPECT_EQ(d->Pages()->tabText(static_cast<int>(ppHSV)), "HSV");

  d->SetLanguage(msGerman);
  EXPECT_EQ(d->windowTitle(), "Vorschau");
  EXPECT_EQ(d->CancelButton()->text(), "Abbrechen");
  EXPECT_EQ(d->LockButton()->toolTip(), "Vorschau einfrieren");
  EXPECT_EQ(d->PreviewButton()->text(), "&Vorschau");
  EXPECT_EQ(d->Pages()->tabText(static_cast<int>(ppLens)),
            QString::fromStdString(vxmsg(VXMSG_LENS, msGerman)));
  EXPECT_EQ(d->ParamLabel(ppContrast, kBrightness)->text(),
            QString::fromStdString(vxmsg(VXMSG_BRIGHTNESS, msGerman)));
  // Fixed tabs keep their captions.
  EXPECT_EQ(d->Pages()->tabText(static_cast<int>(ppFFT)), "FFT");

  d->SetLanguage(msSpanish);
  EXPECT_EQ(d->OkButton()->text(), "Aceptar");
  EXPECT_EQ(d->CopyButton()->toolTip(),
            QString::fromStdString(vxmsg(VXMSG_COPYRESULTTOSOURCE, msSpanish)));
}

TEST(Previews, FrequencyPageClearsTheSelectedZoneInThePreviewOnly) {
  const TBitmap img = Fixture();
  auto d = Open(img, {peFFT}, /*locked=*/true);
  TVantixView& f = d->FrequencyView();
  ASSERT_FALSE(f.Bitmap().Empty());
  EXPECT_EQ(f.Bitmap().Width(), 128);  // the spectrum of the 128-pixel thumbnail
  const TBitmap unclear = d->ResultView().Bitmap();
  f.SelectBitmapRect(0, 0, 127, 127);  // everything: the preview goes flat
  QTest::mouseClick(d->ClearButton(), Qt::LeftButton);
  EXPECT_FALSE(SamePixels(d->ResultView().Bitmap(), unclear));
  QTest::mouseClick(d->ResetButton(), Qt::LeftButton);
  EXPECT_FALSE(f.Selected());
  EXPECT_TRUE(SamePixels(d->ResultView().Bitmap(), unclear));
  EXPECT_EQ(d->FrequencyProgress()->value(), 0);
}

TEST(Previews, ClickOnTheResultPicksTheLensCentre) {
  auto d = Open(Fixture(), {peLens});
  TVantixView& r = d->ResultView();
  const double z = d->SourceView().Zoom() / 100.0;
  const QPoint at(r.OffsetX() + 20, r.OffsetY() + 10);
  QTest::mouseClick(r.viewport(), Qt::LeftButton, {}, at);
  EXPECT_EQ(d->Value(ppLens, kLeft), static_cast<int>((20 + d->SourceView().ViewX()) / z));
  EXPECT_EQ(d->Value(ppLens, kTop), static_cast<int>((10 + d->SourceView().ViewY()) / z));
}

TEST(Previews, HSVBoxesSetTheShiftsAndAClickPicksTheBaseColour) {
  auto d = Open(Fixture(), {peHSV});
  THSVBox* base = d->BaseColorBox();
  THSVBox* now = d->NewColorBox();
  // Drag in the new-colour box's square: the shifts become new - base.
  QTest::mouseClick(now, Qt::LeftButton, {}, QPoint(now->width() / 4, now->height() / 2));
  EXPECT_EQ(d->Value(ppHSV, kSaturation), now->Sat() - base->Sat());
  EXPECT_EQ(d->Value(ppHSV, kValue), now->Val() - base->Val());
  EXPECT_EQ(d->Value(ppHSV, kHue), now->Hue() - base->Hue());

  // A left click on the result reads its pixel into the base-colour box.
  TVantixView& r = d->ResultView();
  const QPoint at(r.OffsetX() + 3, r.OffsetY() + 2);
  const uint8_t* px = r.Bitmap().ScanLine(r.YScr2Bmp(at.y())) + 3 * r.XScr2Bmp(at.x());
  int h = 0, sat = 0, v = 0;
  RGB2HSV(TRGB{px[0], px[1], px[2]}, h, sat, v);
  QTest::mouseClick(r.viewport(), Qt::LeftButton, {}, at);
  EXPECT_EQ(base->Hue(), h);
  EXPECT_EQ(base->Sat(), sat);
  EXPECT_EQ(base->Val(), v);
  EXPECT_EQ(d->Value(ppHSV, kValue), now->Val() - v);
}

TEST(Previews, TheSourceViewsZoomRefreshesThePreview) {
  auto d = Open(Fixture(200, 150), {peContrast});
  TVantixView& s = d->SourceView();
  s.SetZoom(25);
  EXPECT_EQ(d->ResultView().Bitmap().Width(), s.ExtentX());
  EXPECT_EQ(d->ResultView().Bitmap().Width(), 50);
  s.SetZoom(50);
  EXPECT_EQ(d->ResultView().Bitmap().Width(), 100);
}

TEST(Previews, FlipsAndTheFrequencyPageApplyOnOk) {
  const TBitmap img = Fixture();
  auto flip = Open(img, {peRotate});
  QTest::mouseClick(flip->FlipHorButton(), Qt::LeftButton);
  QTest::mouseClick(flip->OkButton(), Qt::LeftButton);
  const TBitmap& f = flip->Image();
  ASSERT_EQ(f.Width(), img.Width());
  for (int x = 0; x < img.Width(); ++x)
    EXPECT_EQ(f.ScanLine(3)[3 * x], img.ScanLine(3)[3 * (img.Width() - 1 - x)]);

  // Clearing the whole spectrum of the preview clears the whole spectrum of the image.
  auto fft = Open(img, {peFFT});
  fft->FrequencyView().SelectBitmapRect(0, 0, 127, 127);
  QTest::mouseClick(fft->OkButton(), Qt::LeftButton);
  const TBitmap& z = fft->Image();
  ASSERT_EQ(z.Width(), img.Width());
  ASSERT_EQ(z.Height(), img.Height());
  for (int y = 0; y < z.Height(); ++y)
    for (int x = 0; x < 3 * z.Width(); ++x) ASSERT_EQ(z.ScanLine(y)[x], 0) << x << "," << y;
  EXPECT_FALSE(fft->FrequencyView().Selected());
}

// ---- opened from the processing component ----

// Runs what the test gives on the dialog once it is shown modally.
// The dialog lets pending events run while it opens, so the first tick may come before
// it is modal: keep looking (for a while) until it is.
void WhenShown(std::function<void(TfPreviews&)> drive, int triesLeft = 200) {
  QTimer::singleShot(5, [drive = std::move(drive), triesLeft]() mutable {
    auto* d = qobject_cast<TfPreviews*>(QApplication::activeModalWidget());
    if (!d && triesLeft > 0) return WhenShown(std::move(drive), triesLeft - 1);
    ASSERT_NE(d, nullptr);
    drive(*d);
  });
}

// A view showing an image and a processing component attached to it.
struct TViewWithProc {
  explicit TViewWithProc(const TBitmap& image) {
    view.Assign(&image);
    proc.SetAttachedVantix(&view);
  }
  TVantixView view;
  TVantixProc proc;
};

TEST(Previews, DoPreviewsWritesTheSelectionBackWithUndo) {
  const TBitmap img = Fixture();
  TViewWithProc attached(img);
  TVantixView& view = attached.view;
  TVantixProc& proc = attached.proc;
  proc.SetMsgLanguage(msItalian);
  proc.Select(10, 5, 29, 24);
  bool shown = false;
  proc.OnPreview = [&](TObject* sender, TObject* form) {
    EXPECT_EQ(sender, &proc);
    // The form is the dialog itself, not yet visible, so the handler can still adjust it.
    auto* d = dynamic_cast<TfPreviews*>(form);
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(d->isVisible());
    shown = true;
  };
  int progressCalls = 0;
  proc.OnProgress = [&](TObject* sender, int) {
    EXPECT_EQ(sender, &proc);
    ++progressCalls;
  };
  proc.SetPreviewsParams({prppDefaultLockPreview});
  WhenShown([&progressCalls](TfPreviews& d) {
    EXPECT_EQ(d.CancelButton()->text(), "Annulla");
    EXPECT_TRUE(d.LockButton()->isChecked());
    EXPECT_EQ(d.SourceView().Bitmap().Width(), 20);
    EXPECT_EQ(d.SourceView().Bitmap().Height(), 20);
    d.Pages()->setCurrentIndex(static_cast<int>(ppRGB));
    Type(d.Box(ppRGB, kGreen), "7");
    EXPECT_EQ(progressCalls, 0);  // the preview reports no progress; only OK does
    QTest::mouseClick(d.OkButton(), Qt::LeftButton);
  });
  ASSERT_TRUE(proc.DoPreviews({peAll}));
  EXPECT_TRUE(shown);
  EXPECT_GT(progressCalls, 0);
  const TBitmap& out = view.Bitmap();
  ASSERT_EQ(out.Width(), img.Width());
  ASSERT_EQ(out.Height(), img.Height());
  for (int y = 0; y < img.Height(); ++y)
    for (int x = 0; x < img.Width(); ++x) {
      const bool inside = x >= 10 && x <= 29 && y >= 5 && y <= 24;
      EXPECT_EQ(out.ScanLine(y)[3 * x + 1], img.ScanLine(y)[3 * x + 1] + (inside ? 7 : 0))
          << x << "," << y;
      EXPECT_EQ(out.ScanLine(y)[3 * x + 2], img.ScanLine(y)[3 * x + 2]);
    }
  ASSERT_TRUE(proc.CanUndo());
  proc.Undo();
  EXPECT_TRUE(SamePixels(view.Bitmap(), img));
}

TEST(Previews, DoPreviewsWholeImageTakesTheResultsSize) {
  const TBitmap img = Fixture();
  TViewWithProc attached(img);
  TVantixView& view = attached.view;
  TVantixProc& proc = attached.proc;
  WhenShown([](TfPreviews& d) {
    Type(d.Box(ppRotate, kAngle), "90");
    QTest::mouseClick(d.OkButton(), Qt::LeftButton);
  });
  ASSERT_TRUE(proc.DoPreviews({peRotate}));
  EXPECT_EQ(view.Bitmap().Width(), img.Height());
  EXPECT_EQ(view.Bitmap().Height(), img.Width());
}

TEST(Previews, DoPreviewsCancelledOrImpossibleChangesNothing) {
  const TBitmap img = Fixture();
  TBitmap target = img;
  TVantixProc proc;
  proc.SetAttachedBitmap(&target);
  WhenShown([](TfPreviews& d) {
    Type(d.Box(ppRGB, kRed), "30");
    QTest::mouseClick(d.CancelButton(), Qt::LeftButton);
  });
  EXPECT_FALSE(proc.DoPreviews({peRGB}));
  EXPECT_TRUE(SamePixels(target, img));
  EXPECT_FALSE(proc.CanUndo());

  // Without a registered dialog, and on an image too small or not true colour.
  const TPreviewDialogFactory factory = RegisterPreviewDialog(nullptr);
  EXPECT_FALSE(proc.DoPreviews({peAll}));
  RegisterPreviewDialog(factory);
  TBitmap tiny = Fixture(1, 5);
  proc.SetAttachedBitmap(&tiny);
  EXPECT_FALSE(proc.DoPreviews({peAll}));
  TBitmap mono;
  mono.SetPixelFormat(pf1bit);
  mono.SetSize(8, 8);
  proc.SetAttachedBitmap(&mono);
  EXPECT_FALSE(proc.DoPreviews({peAll}));
}

}  // namespace
