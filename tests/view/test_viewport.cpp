// The view's viewport arithmetic, painting and image-host side.
#include <gtest/gtest.h>

#include <QScrollBar>
#include <climits>

#include "io/vantixio.h"
#include "platform/clipboard.h"
#include "platform/syscolors.h"
#include "proc/dibtransfer.h"
#include "proc/vantixproc.h"
#include "testsupport.h"
#include "viewtest.h"

using namespace vx;
using namespace vxtest;

namespace {

struct Counter {
  int calls = 0;
  int lastChange = -1;
  void OnView(TObject*, int change) {
    ++calls;
    lastChange = change;
  }
  void OnNotify(TObject*) { ++calls; }
};

TEST(ViewMapping, ScreenToBitmapRoundsTiesToEven) {
  auto v = MakeView(50, 50, 100, 100);
  v->SetZoom(200);
  ASSERT_EQ(v->ViewX(), 0);
  ASSERT_EQ(v->OffsetX(), 0);
  EXPECT_EQ(v->XScr2Bmp(1), 0);  // 0.5 -> 0
  EXPECT_EQ(v->XScr2Bmp(3), 2);  // 1.5 -> 2
  EXPECT_EQ(v->YScr2Bmp(5), 2);  // 2.5 -> 2
  v->SetViewXY(10, 20);
  EXPECT_EQ(v->XScr2Bmp(0), 5);
  EXPECT_EQ(v->XBmp2Scr(5), 0);
  EXPECT_EQ(v->YBmp2Scr(15), 10);
}

TEST(ViewScroll, FittingImageClampsButStillNotifies) {
  auto v = MakeView(200, 200, 50, 50);
  Counter c;
  v->OnViewChange = TViewChangeEvent::Bind(&c, &Counter::OnView);
  int mx = -1, my = -1;
  v->GetMaxViewXY(mx, my);
  EXPECT_EQ(mx, 0);
  EXPECT_EQ(my, 0);
  Grab(*v);
  const int renders = v->RenderCount();
  v->SetViewX(50);
  EXPECT_EQ(v->ViewX(), 0);
  EXPECT_EQ(c.calls, 1);
  EXPECT_EQ(c.lastChange, 0);
  EXPECT_TRUE(v->BufferDirty());
  Grab(*v);
  EXPECT_EQ(v->RenderCount(), renders + 1);
  v->SetViewX(0);
  EXPECT_EQ(c.calls, 1);
}

TEST(ViewScroll, ClampsToMaximaAndMovesTheBars) {
  auto v = MakeView(100, 80, 300, 200);
  v->SetScrollBars(ssBoth);
  ASSERT_TRUE(v->horizontalScrollBar()->isVisible());
  ASSERT_TRUE(v->verticalScrollBar()->isVisible());
  int mx = 0, my = 0;
  v->GetMaxViewXY(mx, my);
  EXPECT_EQ(mx, 300 - v->ClientWidth());
  EXPECT_EQ(my, 200 - v->ClientHeight());
  v->SetViewXY(1000, -4);
  EXPECT_EQ(v->ViewX(), mx);
  EXPECT_EQ(v->ViewY(), 0);
  EXPECT_EQ(v->horizontalScrollBar()->value(), mx);
  // The bars drive the view.
  v->verticalScrollBar()->setValue(7);
  EXPECT_EQ(v->ViewY(), 7);
  v->horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
  EXPECT_EQ(v->ViewX(), mx - 1);
  // Bars disappear once the image fits.
  v->SetZoom(25);
  EXPECT_FALSE(v->horizontalScrollBar()->isVisible());
  EXPECT_EQ(v->ViewX(), 0);
}

TEST(ViewZoom, GuardsIgnoreNonPositiveAndUnchangedValues) {
  auto v = MakeView(100, 100, 50, 50);
  Counter c;
  v->OnViewChange = TViewChangeEvent::Bind(&c, &Counter::OnView);
  for (int z : {0, -5, 100}) v->SetZoom(z);
  EXPECT_EQ(v->Zoom(), 100);
  EXPECT_EQ(c.calls, 0);
  v->SetZoom(300);
  EXPECT_EQ(v->Zoom(), 300);
  EXPECT_EQ(c.calls, 1);
  EXPECT_EQ(c.lastChange, 1);
  EXPECT_EQ(v->ZoomedWidth(), 150);
}

TEST(ViewCenter, OffsetsAndBackgroundAround) {
  auto v = MakeView(200, 100, 50, 50, 0x0000FF);
  v->SetBackground(0x00FF00);
  v->SetCenter(true);
  EXPECT_EQ(v->OffsetX(), 75);
  EXPECT_EQ(v->OffsetY(), 25);
  EXPECT_EQ(v->ExtentX(), 50);
  EXPECT_EQ(v->ExtentY(), 50);
  const QImage img = Grab(*v);
  EXPECT_EQ(PixelAt(img, 74, 50), 0x00FF00);
  EXPECT_EQ(PixelAt(img, 75, 25), 0x0000FF);
  EXPECT_EQ(PixelAt(img, 124, 74), 0x0000FF);
  EXPECT_EQ(PixelAt(img, 125, 74), 0x00FF00);
  EXPECT_EQ(PixelAt(img, 100, 75), 0x00FF00);
  // An odd leftover: the division truncates.
  v->resize(201, 100);
  EXPECT_EQ(v->OffsetX(), 75);
}

TEST(ViewZoom, FitUsesTheOuterSize) {
  auto v = MakeView(105, 105, 0, 10);
  v->Fit();
  EXPECT_EQ(v->Zoom(), 100);
  v->Bitmap().SetSize(400, 200);
  v->Update();
  v->Fit();
  EXPECT_EQ(v->Zoom(), 26);
}

TEST(ViewZoom, AutoFitNeverGoesBelowOne) {
  auto v = MakeView(20, 20, 4000, 3000);
  v->SetAutoFit(true);
  EXPECT_EQ(v->Zoom(), 1);
  v->Bitmap().SetSize(40, 20);
  v->Update();
  EXPECT_EQ(v->Zoom(), 50);
}

TEST(ViewZoom, ZoomAtCentresTheBitmapPoint) {
  auto v = MakeView(100, 100, 400, 400);
  v->ZoomAt(30, 40, 300);  // bitmap point (30, 40)
  EXPECT_EQ(v->Zoom(), 300);
  EXPECT_EQ(v->ViewX(), 90 - 50);
  EXPECT_EQ(v->ViewY(), 120 - 50);
  EXPECT_EQ(v->XScr2Bmp(50), 30);
  EXPECT_EQ(v->PaintLockCount(), 0);
}

// 30000 pixels at 10^7 % are 3 * 10^9 zoomed pixels, more than an int holds: sizes and
// positions stop at the int range instead of wrapping to negative values.
TEST(ViewZoom, HugeZoomedSizesSaturateInsteadOfWrapping) {
  auto v = MakeView(100, 50, 30000, 2, 0x123456);
  v->SetZoom(10'000'000);
  EXPECT_EQ(v->ZoomedWidth(), INT_MAX);
  EXPECT_EQ(v->ZoomedHeight(), 200'000);
  EXPECT_EQ(v->ExtentX(), 100);
  int mx = 0, my = 0;
  v->GetMaxViewXY(mx, my);
  EXPECT_EQ(mx, INT_MAX - 100);
  EXPECT_EQ(v->IdealComponentWidth(), INT_MAX);
  EXPECT_EQ(v->XBmp2Scr(29999), INT_MAX);
  EXPECT_EQ(PixelAt(Grab(*v), 50, 10), 0x123456u);  // the image is still drawn
  v->SetViewX(INT_MAX);
  EXPECT_EQ(v->ViewX(), INT_MAX - 100);
  EXPECT_EQ(v->XScr2Bmp(0), 21475);  // (2^31 - 101) / 10^5, rounded
  EXPECT_GT(v->XBmp2Scr(29999), v->XBmp2Scr(0));

  // Past 200 times the client width in percent the source rectangle rounds to no pixel;
  // the client still shows the pixel under it instead of what was there before.
  auto u = MakeView(100, 50, 1000, 2, 0x123456);
  EXPECT_EQ(PixelAt(Grab(*u), 50, 30), ColorToRGB(clBtnFace));  // below the image
  u->SetZoom(25'000);
  EXPECT_EQ(PixelAt(Grab(*u), 50, 30), 0x123456u);

  // Zooming in at a point far right moves the view right, never back to the left edge.
  auto w = MakeView(100, 50, 30000, 2);
  w->SetViewX(24950);
  ASSERT_EQ(w->XScr2Bmp(50), 25000);
  w->ZoomAt(50, 0, 10'000'000);
  w->GetMaxViewXY(mx, my);
  EXPECT_EQ(w->ViewX(), mx);
}

TEST(ViewPaint, ChessboardSquares) {
  auto v = MakeView(40, 20, 0, 0);
  v->SetBackground(0x102030);
  v->SetBackgroundStyle(vxbsChessboard);
  const QImage img = Grab(*v);
  const TColor inv = ~0x102030 & 0xFFFFFF;
  EXPECT_EQ(PixelAt(img, 0, 0), inv);
  EXPECT_EQ(PixelAt(img, 15, 15), inv);
  EXPECT_EQ(PixelAt(img, 16, 0), 0x102030);
  EXPECT_EQ(PixelAt(img, 0, 16), 0x102030);
  EXPECT_EQ(PixelAt(img, 32, 0), inv);
  EXPECT_EQ(PixelAt(img, 39, 19), 0x102030);
}

TEST(ViewPaint, HatchAndDiagonalStylesCoverTheClient) {
  for (auto style : {vxbsHorizontal, vxbsCross, vxbsDiagCross, vxbsDiagonals}) {
    auto v = MakeView(32, 32, 0, 0);
    v->SetBackground(0x000000);
    v->SetBackgroundStyle(style);
    const QImage img = Grab(*v);
    int background = 0, complement = 0;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) {
        const TColor c = PixelAt(img, x, y);
        background += c == 0;
        complement += c == 0xFFFFFF;
      }
    EXPECT_EQ(background + complement, 32 * 32) << static_cast<int>(style);
    EXPECT_GT(background, 0);
    EXPECT_GT(complement, 0);
  }
}

// On a mid grey the complement (0x7F7F7F on 0x808080) is invisible: every pattern
// must still show, in a colour far from the background.
TEST(ViewPaint, PatternsShowOnMidGrey) {
  for (int style = 1; style <= 8; ++style) {
    auto v = MakeView(32, 32, 0, 0);
    v->SetBackground(clGray);
    v->SetBackgroundStyle(static_cast<TVXBackgroundStyle>(style));
    const QImage img = Grab(*v);
    int far = 0;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) {
        const TColor c = PixelAt(img, x, y);
        if (c == clGray) continue;
        EXPECT_GE(std::abs(static_cast<int>(c & 0xFF) - 0x80), 96) << style;
        ++far;
      }
    EXPECT_GT(far, 0) << style;
  }
  EXPECT_EQ(PatternColor(0x102030), ~0x102030 & 0xFFFFFF);  // far enough: the complement
  EXPECT_EQ(PatternColor(0x808080), 0x000000);
  EXPECT_EQ(PatternColor(0x707070), 0xFFFFFF);
}

TEST(ViewPaint, SourceWidthLosesOnePixelWhenRoundingOvershoots) {
  // 5 pixels at 250 % are 12 wide; with 6 on screen at ViewX 6 the source starts at
  // Round(2.5000000000000004) = 3 and would be 3 wide, one past the edge.
  auto v = MakeView(6, 6, 5, 5);
  for (int x = 0; x < 5; ++x)
    for (int y = 0; y < 5; ++y) v->Bitmap().Canvas().SetPixel(x, y, 0x000010 * (x + 1));
  v->SetZoom(250);
  v->SetViewXY(6, 6);
  const TRect r = v->PaintSourceRect();
  EXPECT_EQ(r.left, 3);
  EXPECT_EQ(r.right, 2);  // width
  EXPECT_EQ(r.top, 3);
  EXPECT_EQ(r.bottom, 2);
  const QImage img = Grab(*v);
  EXPECT_EQ(PixelAt(img, 0, 0), 0x000040);
  EXPECT_EQ(PixelAt(img, 5, 5), 0x000050);
  // Where Round does not overshoot, nothing is taken off.
  v->SetViewXY(0, 0);
  EXPECT_EQ(v->PaintSourceRect().left, 0);
  EXPECT_EQ(v->PaintSourceRect().right, 3);
}

TEST(ViewPaint, UnfilteredZoomReplicatesPixels) {
  auto v = MakeView(40, 40, 4, 4, 0xFFFFFF);
  v->Bitmap().Canvas().SetPixel(1, 2, 0x0000FF);
  v->SetZoom(1000);
  const QImage img = Grab(*v);
  EXPECT_EQ(PixelAt(img, 10, 20), 0x0000FF);
  EXPECT_EQ(PixelAt(img, 19, 29), 0x0000FF);
  EXPECT_EQ(PixelAt(img, 20, 20), 0xFFFFFF);
  EXPECT_EQ(PixelAt(img, 9, 29), 0xFFFFFF);
  // A two-colour image is shown through the same path.
  v->Bitmap().SetPixelFormat(pf1bit);
  v->Update();
  const QImage mono = Grab(*v);
  EXPECT_EQ(PixelAt(mono, 15, 25), 0x000000);
  EXPECT_EQ(PixelAt(mono, 5, 5), 0xFFFFFF);
}

TEST(ViewPaint, CacheIsReusedUntilDirty) {
  auto v = MakeView(50, 50, 100, 100);
  v->Select(5, 5, 30, 30);
  Grab(*v);
  const int renders = v->RenderCount();
  Grab(*v);
  v->AnimationStep(true);
  Grab(*v);
  EXPECT_EQ(v->RenderCount(), renders);  // ants are an overlay
  v->SetViewXY(3, 3);
  Grab(*v);
  EXPECT_EQ(v->RenderCount(), renders + 1);
}

TEST(ViewPaint, FilterIsDeferredAfterZoomAndUsedAfterCountdown) {
  auto v = MakeView(40, 40, 10, 10, 0x000000);
  for (int x = 5; x < 10; ++x)
    for (int y = 0; y < 10; ++y) v->Bitmap().Canvas().SetPixel(x, y, 0xFFFFFF);
  v->DeferZoomFilter = true;
  v->SetZoomFilter(rfTriangle);
  v->SetZoom(400);
  EXPECT_EQ(v->FilterCountdown(), 2);
  // Fast path: a hard edge between columns 19 and 20.
  QImage img = Grab(*v);
  EXPECT_EQ(PixelAt(img, 18, 5), 0x000000);
  EXPECT_EQ(PixelAt(img, 21, 5), 0xFFFFFF);
  v->AnimationStep(true);
  v->AnimationStep(true);
  EXPECT_EQ(v->FilterCountdown(), 0);
  img = Grab(*v);
  const TColor mid = PixelAt(img, 19, 5);
  EXPECT_NE(mid, 0x000000);
  EXPECT_NE(mid, 0xFFFFFF);
}

TEST(ViewPaint, PaintToAndDrawToABitmap) {
  auto v = MakeView(30, 30, 10, 10, 0x0000FF);
  v->SetBackground(0x00FF00);
  v->SetZoom(200);
  TBitmap target;
  target.SetSize(30, 30);
  v->PaintTo(target);
  EXPECT_EQ(target.Canvas().Pixel(19, 19), 0x0000FF);
  EXPECT_EQ(target.Canvas().Pixel(25, 5), 0x00FF00);
  TBitmap drawn;
  drawn.SetSize(30, 30);
  FillImage(drawn, 0x123456);
  v->DrawTo(drawn);
  EXPECT_EQ(drawn.Canvas().Pixel(0, 0), 0x0000FF);
  EXPECT_EQ(drawn.Canvas().Pixel(25, 5), 0x123456);  // no background
}

// Painting onto the view's own image reads the pixels it overwrites: the result must be
// what painting onto any other bitmap gives.
TEST(ViewPaint, PaintToTheViewsOwnImageReadsAnUntouchedCopy) {
  auto v = MakeView(40, 40, 20, 20);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x)
      v->Bitmap().Canvas().SetPixel(x, y, RGB2TColor(x * 12, y * 12, 99));
  v->SetZoom(200);
  v->SetViewXY(6, 4);
  TBitmap expected;
  expected.SetSize(20, 20);
  v->PaintTo(expected);
  v->PaintTo(v->Bitmap());
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x)
      ASSERT_EQ(v->Bitmap().Canvas().Pixel(x, y), expected.Canvas().Pixel(x, y)) << x << "," << y;
  // DrawTo has the same hazard.
  TBitmap drawn;
  drawn.Assign(v->Bitmap());
  v->DrawTo(drawn);
  v->DrawTo(v->Bitmap());
  EXPECT_EQ(BitmapRGB(v->Bitmap()), BitmapRGB(drawn));
}

TEST(ViewLock, LockedPaintEventsDoNotRender) {
  auto v = MakeView(30, 30, 10, 10, 0x0000FF);
  Grab(*v);
  const int renders = v->RenderCount();
  v->LockPaint();
  FillImage(v->Bitmap(), 0x00FF00);
  v->Update();  // invalidates, but the platform's paint must not render while locked
  EXPECT_EQ(PixelAt(Grab(*v), 5, 5), 0x0000FFu);
  EXPECT_EQ(v->RenderCount(), renders);
  v->UnLockPaint();
  EXPECT_EQ(PixelAt(Grab(*v), 5, 5), 0x00FF00u);
  EXPECT_EQ(v->RenderCount(), renders + 1);
}

// Without the double buffer every Paint shows the image as it is now; with it, only an
// Update makes pixels written straight into the image visible.
TEST(ViewPaint, DirectPixelWritesShowOnPaintWithoutDoubleBuffer) {
  auto v = MakeView(30, 30, 10, 10, 0x000000);
  ASSERT_FALSE(v->DoubleBuffer());
  Grab(*v);
  v->Bitmap().Canvas().SetPixel(3, 4, 0x0000FF);
  v->Paint();
  EXPECT_EQ(PixelAt(Grab(*v), 3, 4), 0x0000FFu);

  v->SetDoubleBuffer(true);
  Grab(*v);
  v->Bitmap().Canvas().SetPixel(3, 4, 0x00FF00);
  v->Paint();
  EXPECT_EQ(PixelAt(Grab(*v), 3, 4), 0x0000FFu);  // the buffer is shown as it was
  v->Update();
  EXPECT_EQ(PixelAt(Grab(*v), 3, 4), 0x00FF00u);
}

TEST(ViewLock, NestingNeverBelowZero) {
  auto v = MakeView(30, 30, 10, 10);
  EXPECT_EQ(v->LockPaint(), 1);
  EXPECT_EQ(v->LockPaint(), 2);
  EXPECT_EQ(v->NPUnLockPaint(), 1);
  EXPECT_EQ(v->UnLockPaint(), 0);
  EXPECT_EQ(v->UnLockPaint(), 0);
}

TEST(ViewImage, ClearBlankAndAssign) {
  auto v = MakeView(30, 30, 10, 10, 0x0000FF);
  Counter c;
  v->OnImageChange = TNotifyEvent::Bind(&c, &Counter::OnNotify);
  v->SetBackground(0x00FF00);
  EXPECT_EQ(c.calls, 1);
  v->Clear();
  EXPECT_EQ(v->Bitmap().Canvas().Pixel(3, 3), 0x00FF00);
  v->Blank();
  EXPECT_EQ(v->Bitmap().Width(), 1);

  auto w = MakeView(30, 30, 7, 5, 0x445566);
  w->SetDPI(300, 150);
  w->SetBackground(0x010203);
  v->Assign(w.get());
  EXPECT_EQ(v->Bitmap().Width(), 7);
  EXPECT_EQ(v->Bitmap().Canvas().Pixel(6, 4), 0x445566);
  EXPECT_EQ(v->DpiX(), 300);
  EXPECT_EQ(v->Background(), 0x010203);

  TBitmap eight;
  eight.SetPixelFormat(pf8bit);
  eight.SetSize(3, 2);
  v->Assign(&eight);
  EXPECT_EQ(v->Bitmap().PixelFormat(), pf24bit);
  EXPECT_EQ(v->Bitmap().Width(), 3);
  TBitmap mono;
  mono.SetPixelFormat(pf1bit);
  mono.SetSize(9, 4);
  v->Assign(&mono);
  EXPECT_EQ(v->Bitmap().PixelFormat(), pf1bit);
  v->Assign(static_cast<const TBitmap*>(nullptr));  // clears
  EXPECT_EQ(v->Bitmap().Canvas().Pixel(0, 0), 0x000000);
}

TEST(ViewImage, PaletteHas256Entries) {
  auto v = MakeView(30, 30, 16, 16, 0x2080F0);
  const auto pal = v->CreatePalette();
  ASSERT_EQ(pal.size(), 256u);
}

TEST(ViewHost, SubscriberRemovalIsByObjectIdentity) {
  auto v = MakeView(30, 30, 10, 10);
  Counter a, b;
  v->RegisterBitmapChangeEvent(TNotifyEvent::Bind(&a, &Counter::OnNotify));
  v->RegisterBitmapChangeEvent(TNotifyEvent::Bind(&b, &Counter::OnNotify));
  v->RemoveBitmapChangeEvent(TNotifyEvent::Bind(&a, &Counter::OnNotify));
  ASSERT_EQ(v->BitmapChangeEventCount(), 1);
  v->CallBitmapChangeEvents();
  EXPECT_EQ(a.calls, 0);
  EXPECT_EQ(b.calls, 1);
  // A plain callable has no identity and never removes anything.
  v->RemoveBitmapChangeEvent(TNotifyEvent([](TObject*) {}));
  EXPECT_EQ(v->BitmapChangeEventCount(), 1);
}

TEST(ViewHost, AttachedIOLoadsIntoTheViewAndItRepaints) {
  TBitmap source;
  source.SetSize(12, 8);
  FillImage(source, 0x0080FF);
  const std::string file = TempDir() + "/view_load.bmp";
  {
    TVantixIO writer;
    writer.SetAttachedBitmap(&source);
    writer.SaveToFileBMP(file);
    ASSERT_FALSE(writer.Aborting());
  }
  auto v = MakeView(40, 40, 2, 2, 0x000000);
  Counter c;
  v->OnImageChange = TNotifyEvent::Bind(&c, &Counter::OnNotify);
  TVantixIO io;
  io.SetAttachedVantix(v.get());
  io.LoadFromFile(file);
  ASSERT_FALSE(io.Aborting());
  EXPECT_EQ(v->Bitmap().Width(), 12);
  EXPECT_EQ(v->ExtentX(), 12);
  EXPECT_GE(c.calls, 1);
  EXPECT_TRUE(v->BufferDirty());
  const QImage img = Grab(*v);
  EXPECT_EQ(PixelAt(img, 11, 7), 0x0080FF);
}

TEST(ViewHost, AttachedProcEditsOnlyTheSelectedPolygon) {
  auto v = MakeView(60, 60, 40, 40, 0x000000);
  TVantixProc proc;
  proc.SetAttachedVantix(v.get());
  // A triangle: (0,0), (30,0), (0,30).
  v->AddSelPoint(0, 0);
  v->AddSelPoint(30, 0);
  v->AddSelPoint(0, 30);
  ASSERT_EQ(v->SelectionKind(), skPolygon);
  proc.Negative();
  TCanvas& c = v->Bitmap().Canvas();
  EXPECT_EQ(c.Pixel(2, 2), 0xFFFFFF);
  EXPECT_EQ(c.Pixel(25, 25), 0x000000);  // inside the box, outside the triangle
  EXPECT_EQ(c.Pixel(35, 2), 0x000000);

  v->Select(10, 10, 20, 20);
  ASSERT_EQ(v->SelectionKind(), skRectangle);
  const TRect r = v->SelectionRect();
  EXPECT_EQ(r, (TRect{10, 10, 20, 20}));
  proc.Negative();
  EXPECT_EQ(c.Pixel(15, 15), 0xFFFFFF);
  EXPECT_EQ(c.Pixel(30, 30), 0x000000);
}

TEST(ViewHost, ComponentSelectionReachesTheViewInBitmapCoordinates) {
  auto v = MakeView(60, 60, 40, 40, 0x000000);
  v->SetZoom(200);  // bitmap and client coordinates now differ
  TVantixProc proc;
  proc.SetAttachedVantix(v.get());
  proc.Select(5, 6, 12, 14);
  ASSERT_EQ(v->SelectionKind(), skRectangle);
  EXPECT_EQ(v->SelectionRect(), (TRect{5, 6, 12, 14}));
  EXPECT_EQ(v->SelectionBase(), vxsbClientArea);  // restored after the call
  proc.SelectAll();
  EXPECT_EQ(v->SelectionKind(), skNone);
}

// The point given to a point paste is a client point: on a zoomed and scrolled view the
// picture lands on the image pixel under it.
TEST(ViewHost, PointPasteConvertsTheClientPointToTheImage) {
  auto v = MakeView(60, 60, 100, 100, 0x000000);
  v->SetZoom(200);
  v->SetViewXY(20, 30);
  TBitmap red;
  red.SetSize(3, 2);
  FillImage(red, 0x0000FF);
  Clipboard().SetDIB(CopyBitmaptoDIB(red));
  TVantixProc proc;
  proc.SetAttachedVantix(v.get());
  proc.PointPasteFromClip(10, 10);  // image point (15, 20)
  TCanvas& c = v->Bitmap().Canvas();
  EXPECT_EQ(c.Pixel(15, 20), 0x0000FF);
  EXPECT_EQ(c.Pixel(17, 21), 0x0000FF);
  EXPECT_EQ(c.Pixel(14, 20), 0x000000);
  EXPECT_EQ(c.Pixel(18, 21), 0x000000);
  EXPECT_EQ(c.Pixel(10, 10), 0x000000);
  proc.Undo();
  EXPECT_EQ(c.Pixel(15, 20), 0x000000);
}

TEST(ViewHost, DestroyedViewLeavesComponentsDetached) {
  TVantixIO io;
  TVantixProc proc;
  {
    auto v = MakeView(30, 30, 10, 10);
    io.SetAttachedVantix(v.get());
    proc.SetAttachedVantix(v.get());
    ASSERT_EQ(io.Bitmap(), v->GetFBitmap());
  }
  EXPECT_EQ(io.AttachedVantix(), nullptr);
  EXPECT_EQ(io.Bitmap(), nullptr);
  EXPECT_EQ(proc.AttachedVantix(), nullptr);
  EXPECT_EQ(proc.AttachedBitmap(), nullptr);
  proc.Negative();  // nothing to work on, nothing touched
  io.Update();
}

}  // namespace
