// Drawing of the vector view: every kind at several zooms and scroll positions with the
// truncating mapping, arrow heads against their formula, text at an escapement, pen and
// brush styles, objects burnt into the image, fonts and icons, and extreme zooms.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <cmath>
#include <numbers>

#include "platform/syscolors.h"
#include "vecttest.h"

using namespace vx;
using namespace vxtest;

namespace {

constexpr TColor kImage = 0x336699;
constexpr TColor kRed = 0x0000FF;
constexpr TColor kGreen = 0x00FF00;

struct View {
  int zoom, viewX, viewY;
};

// The mapping of the objects: truncation, not the view's rounding.
int Map(int v, int zoom, int scroll) {
  return static_cast<int>(std::trunc(v * (zoom / 100.0))) - scroll;
}

bool RedNear(const QImage& img, int x, int y, int reach = 1) {
  for (int dy = -reach; dy <= reach; ++dy)
    for (int dx = -reach; dx <= reach; ++dx)
      if (x + dx >= 0 && y + dy >= 0 && x + dx < img.width() && y + dy < img.height() &&
          PixelAt(img, x + dx, y + dy) == kRed)
        return true;
  return false;
}

// Odd coordinates map to .5 at zoom 50: truncation and rounding disagree there.
constexpr int kL = 31, kT = 31, kR = 81, kB = 61;

class KindsAtZoom : public ::testing::TestWithParam<View> {
 protected:
  void SetUp() override {
    v = MakeVect(200, 150, 400, 300, kImage);
    v->SetZoomObjectsWidth(false);  // one-pixel pens: exact pixels at every zoom
    v->SetZoom(GetParam().zoom);
    v->SetViewXY(GetParam().viewX, GetParam().viewY);
    ASSERT_EQ(v->ViewX(), GetParam().viewX);
    ASSERT_GT(X(kL), 0);
    ASSERT_LT(X(kR) + 1, v->ClientWidth());
    ASSERT_LT(Y(kB) + 1, v->ClientHeight());
  }
  int X(int x) const { return Map(x, GetParam().zoom, GetParam().viewX); }
  int Y(int y) const { return Map(y, GetParam().zoom, GetParam().viewY); }
  std::unique_ptr<TVantixVect> v;
};

TEST_P(KindsAtZoom, BoxCoversItsInclusiveBoxWithPenAndBrush) {
  AddObj(*v, vxkBOX, kL, kT, kR, kB, bsSolid);
  const QImage img = Grab(*v);
  for (auto [x, y] : {std::pair{X(kL), Y(kT)}, {X(kR), Y(kT)}, {X(kL), Y(kB)}, {X(kR), Y(kB)}})
    EXPECT_EQ(PixelAt(img, x, y), kRed) << x << "," << y;
  const int my = (Y(kT) + Y(kB)) / 2;
  EXPECT_EQ(PixelAt(img, X(kL) - 1, my), kImage);
  EXPECT_EQ(PixelAt(img, X(kR) + 1, my), kImage);
  EXPECT_EQ(PixelAt(img, (X(kL) + X(kR)) / 2, my), kGreen);
}

TEST_P(KindsAtZoom, EllipseTouchesTheMiddleOfEachSide) {
  AddObj(*v, vxkELLIPSE, kL, kT, kR, kB, bsSolid);
  const QImage img = Grab(*v);
  const int mx = (X(kL) + X(kR)) / 2, my = (Y(kT) + Y(kB)) / 2;
  EXPECT_TRUE(RedNear(img, mx, Y(kT)));
  EXPECT_TRUE(RedNear(img, mx, Y(kB)));
  EXPECT_TRUE(RedNear(img, X(kL), my));
  EXPECT_TRUE(RedNear(img, X(kR), my));
  EXPECT_EQ(PixelAt(img, X(kL) - 1, my), kImage);
  EXPECT_EQ(PixelAt(img, X(kL), Y(kT)), kImage);  // the box corner lies outside
  EXPECT_EQ(PixelAt(img, mx, my), kGreen);
}

TEST_P(KindsAtZoom, LineRunsFromStartToEnd) {
  AddObj(*v, vxkLINE, kR, kT, kL, kB);  // drawn from its start, whatever the order
  const QImage img = Grab(*v);
  EXPECT_EQ(PixelAt(img, X(kR), Y(kT)), kRed);
  EXPECT_EQ(PixelAt(img, X(kL), Y(kB)), kRed);
  EXPECT_TRUE(RedNear(img, (X(kL) + X(kR)) / 2, (Y(kT) + Y(kB)) / 2));
  EXPECT_EQ(PixelAt(img, X(kL), Y(kT)), kImage);
}

TEST_P(KindsAtZoom, ArcFromZeroToPiIsTheUpperHalf) {
  // Counter-clockwise from three o'clock to nine o'clock on screen: over the top.
  const int32_t a = AddObj(*v, vxkARC, kL, kT, kR, kB, bsSolid);
  v->SetObjArcBegin(a, 0);
  v->SetObjArcEnd(a, std::numbers::pi);
  const QImage img = Grab(*v);
  const int mx = (X(kL) + X(kR)) / 2, my = (Y(kT) + Y(kB)) / 2;
  EXPECT_TRUE(RedNear(img, mx, Y(kT)));
  EXPECT_FALSE(RedNear(img, mx, Y(kB)));
  EXPECT_EQ(PixelAt(img, mx, my), kImage);  // an arc is never filled
}

TEST_P(KindsAtZoom, BitmapIsStretchedOntoTheBox) {
  const int32_t i = AddObj(*v, vxkBITMAP, kL, kT, kR, kB);
  TBitmap b;
  b.SetSize(2, 2);
  const TColor colours[4] = {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF};
  for (int k = 0; k < 4; ++k) b.Canvas().SetPixel(k % 2, k / 2, colours[k]);
  v->SetObjBitmap(i, &b);
  const QImage img = Grab(*v);
  const int w = X(kR) - X(kL) + 1, h = Y(kB) - Y(kT) + 1;
  for (int k = 0; k < 4; ++k)
    EXPECT_EQ(PixelAt(img, X(kL) + w / 4 + (k % 2) * w / 2, Y(kT) + h / 4 + (k / 2) * h / 2),
              colours[k])
        << k;
  EXPECT_EQ(PixelAt(img, X(kR), Y(kB)), colours[3]);
  EXPECT_EQ(PixelAt(img, X(kR) + 1, Y(kB)), kImage);
}

INSTANTIATE_TEST_SUITE_P(Zooms, KindsAtZoom,
                         ::testing::Values(View{100, 0, 0}, View{200, 30, 20}, View{50, 0, 0},
                                           View{300, 60, 50}));

TEST(VectDraw, BitmapWithoutPictureShowsAPlaceholder) {
  auto v = MakeVect(100, 100, 100, 100, kImage);
  const int32_t i = AddObj(*v, vxkBITMAP, 10, 10, 50, 50);
  v->SetObjBitmap(i, nullptr);
  const QImage img = Grab(*v);
  EXPECT_EQ(PixelAt(img, 10, 10), kRed);
  EXPECT_EQ(PixelAt(img, 50, 30), kRed);
  EXPECT_TRUE(RedNear(img, 30, 30));  // the diagonals cross in the middle
  EXPECT_EQ(PixelAt(img, 20, 30), kImage);
}

// ---- arrow heads ----

struct Arrow {
  int px, py, qx, qy;  // the end P the head sits at, the other end Q (image pixels)
  TVXShape shape;
};

// The three corners, worked out from the definition: u along the line from P to Q, n
// across it, vectors applied by their truncated components.
std::vector<QPoint> Corners(double px, double py, double qx, double qy, double w, double h,
                            TVXShape shape) {
  double ux = 0, uy = 0;
  if (px == qx) {
    uy = qy > py ? 1 : -1;
  } else {
    const double d = std::hypot(qx - px, qy - py);
    ux = (qx - px) / d, uy = (qy - py) / d;
  }
  const double nx = -uy, ny = ux;
  auto add = [](double x, double y, double vx, double vy) {
    return QPoint(static_cast<int>(x + std::trunc(vx)), static_cast<int>(y + std::trunc(vy)));
  };
  if (shape == vxsINARROW)
    return {add(px, py, w / 2 * nx, w / 2 * ny), add(px, py, -w / 2 * nx, -w / 2 * ny),
            add(px, py, h * ux, h * uy)};
  const QPoint b = add(px, py, h * ux, h * uy);
  return {QPoint(static_cast<int>(px), static_cast<int>(py)),
          add(b.x(), b.y(), w / 2 * nx, w / 2 * ny), add(b.x(), b.y(), -w / 2 * nx, -w / 2 * ny)};
}

TEST(VectDraw, ArrowHeadCornersFollowTheFormula) {
  const int lines[][4] = {{30, 40, 150, 100}, {100, 20, 100, 130}, {160, 120, 20, 30}};
  for (int zoom : {100, 200}) {
    for (const auto& ln : lines) {
      auto v = MakeVect(400, 300, 400, 300, kImage);
      v->SetZoom(zoom);
      TVXVObject o = v->Objects().Template();
      o.Kind = vxkLINE;
      o.Left = ln[0], o.Top = ln[1], o.Right = ln[2], o.Bottom = ln[3];
      o.PenColor = kRed, o.BrushColor = kGreen, o.BrushStyle = bsSolid;
      o.BeginShape = vxsINARROW, o.EndShape = vxsOUTARROW;
      o.ShapeWidth = 24, o.ShapeHeight = 36;
      v->AddVObject(kVXVRoot, o);
      const QImage img = Grab(*v);
      const double f = zoom / 100.0;
      const double sx = std::trunc(ln[0] * f), sy = std::trunc(ln[1] * f);
      const double ex = std::trunc(ln[2] * f), ey = std::trunc(ln[3] * f);
      const double w = std::trunc(24 * f), h = std::trunc(36 * f);
      for (auto [corners, name] : {std::pair{Corners(sx, sy, ex, ey, w, h, vxsINARROW), "begin"},
                                   std::pair{Corners(ex, ey, sx, sy, w, h, vxsOUTARROW), "end"}}) {
        for (const QPoint& c : corners)
          EXPECT_EQ(PixelAt(img, c.x(), c.y()), kRed)
              << name << " corner " << c.x() << "," << c.y() << " zoom " << zoom << " line "
              << ln[0] << "," << ln[1];
        const QPoint centroid((corners[0] + corners[1] + corners[2]) / 3);
        EXPECT_EQ(PixelAt(img, centroid.x(), centroid.y()), kGreen) << name << " zoom " << zoom;
      }
    }
  }
}

// ---- text ----

struct Ink {
  int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
  bool any() const { return left <= right; }
};

Ink InkOf(const QImage& img, TColor ground) {
  Ink k;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (PixelAt(img, x, y) != ground) {
        k.left = std::min(k.left, x), k.right = std::max(k.right, x);
        k.top = std::min(k.top, y), k.bottom = std::max(k.bottom, y);
      }
  return k;
}

TEST(VectText, EscapementTurnsTheTextAboutItsPlacedCorner) {
  constexpr int kBoxL = 20, kBoxT = 20, kBoxR = 260, kBoxB = 260;
  for (int escapement : {0, 900, -900, 300}) {
    auto v = MakeVect(300, 300, 300, 300, 0x000000);
    const int32_t t = AddObj(*v, vxkTEXT, kBoxL, kBoxT, kBoxR, kBoxB);
    v->SetObjPenColor(t, 0xFFFFFF);
    v->SetObjText(t, "HHHHHH");
    v->SetObjFontHeight(t, -24);
    v->SetObjFontAngle(t, escapement / 10.0);
    TVXLogFont record = *v->Objects().ObjFont(t);
    const QFontMetricsF fm(LogFontToQFont(record, -24));
    const double w = fm.horizontalAdvance("HHHHHH"), h = fm.height();
    const double a = escapement / 10.0 * std::numbers::pi / 180;
    const int boxW = kBoxR - kBoxL, boxH = kBoxB - kBoxT;
    const int ox = kBoxL + static_cast<int>(std::abs(std::trunc(std::sin(a) * h)));
    const int oy =
        kBoxT + static_cast<int>(std::trunc((boxH - std::cos(a) * h) + std::sin(a) * w)) / 2;
    // The text cell turned counter-clockwise about (ox, oy): its corners.
    const double cx[4] = {0, w, 0, w}, cy[4] = {0, 0, h, h};
    double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
    for (int k = 0; k < 4; ++k) {
      const double x = ox + cx[k] * std::cos(a) + cy[k] * std::sin(a);
      const double y = oy - cx[k] * std::sin(a) + cy[k] * std::cos(a);
      minX = std::min(minX, x), maxX = std::max(maxX, x);
      minY = std::min(minY, y), maxY = std::max(maxY, y);
    }
    const Ink ink = InkOf(Grab(*v), 0x000000);
    ASSERT_TRUE(ink.any()) << escapement;
    EXPECT_GE(ink.left, std::floor(minX) - 1) << escapement;
    EXPECT_LE(ink.right, std::ceil(maxX) + 1) << escapement;
    EXPECT_GE(ink.top, std::floor(minY) - 1) << escapement;
    EXPECT_LE(ink.bottom, std::ceil(maxY) + 1) << escapement;
    const int inkW = ink.right - ink.left, inkH = ink.bottom - ink.top;
    if (std::abs(escapement) == 900) {
      EXPECT_GT(inkH, 3 * inkW) << escapement;
    } else if (escapement == 0) {
      EXPECT_GT(inkW, 3 * inkH);
    }
    (void)boxW;
  }
}

TEST(VectText, TextStaysInsideItsBoxAndAnOpaqueBrushFillsIt) {
  auto v = MakeVect(300, 200, 300, 200, 0x000000);
  const int32_t t = AddObj(*v, vxkTEXT, 20, 20, 80, 50);
  v->SetObjPenColor(t, 0xFFFFFF);
  v->SetObjText(t, "WWWWWWWWWWWWWWWWWWWWWWWW");
  v->SetObjFontHeight(t, -20);
  const Ink ink = InkOf(Grab(*v), 0x000000);
  ASSERT_TRUE(ink.any());
  EXPECT_GE(ink.left, 20);
  EXPECT_LE(ink.right, 79);
  EXPECT_GE(ink.top, 20);
  EXPECT_LE(ink.bottom, 49);
  v->SetObjBrushStyle(t, bsSolid);
  const QImage img = Grab(*v);
  EXPECT_EQ(PixelAt(img, 21, 21), kGreen);
  EXPECT_EQ(PixelAt(img, 81, 30), 0x000000);
}

TEST(VectText, FontRecordHeightsMapToCharacterAndCellHeights) {
  TVXLogFont r;
  r.SetFaceName("Arial");
  EXPECT_EQ(LogFontToQFont(r, -30).pixelSize(), 30);
  EXPECT_NEAR(QFontMetricsF(LogFontToQFont(r, 30)).height(), 30, 1.0);
  EXPECT_LT(LogFontToQFont(r, 30).pixelSize(), 30);  // the cell is taller than the em
  r.Weight = 700;
  r.Italic = 1;
  r.Underline = 1;
  const QFont q = LogFontToQFont(r, -12);
  EXPECT_EQ(q.weight(), QFont::Bold);
  EXPECT_TRUE(q.italic());
  EXPECT_TRUE(q.underline());
  EXPECT_FALSE(q.strikeOut());
}

TEST(VectText, SetObjFontCapturesTheQFontAndKeepsTheAngle) {
  auto v = MakeVect(100, 100, 100, 100);
  const int32_t t = AddObj(*v, vxkTEXT, 0, 0, 50, 20);
  v->SetObjFontAngle(t, 45);
  QFont f("Arial");
  f.setPixelSize(18);
  f.setBold(true);
  f.setItalic(true);
  v->SetObjFont(t, f, 0x123456);
  const TVXLogFont* r = v->Objects().ObjFont(t);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->Height, -18);
  EXPECT_EQ(r->Weight, 700);
  EXPECT_EQ(r->Italic, 1);
  EXPECT_EQ(r->FaceNameString(), "Arial");
  EXPECT_EQ(v->ObjPenColor(t), 0x123456);
  EXPECT_EQ(v->ObjFontAngle(t), 45);
  v->SetDPI(96, 96);
  QFont points("Arial", 12);
  v->SetObjFont(t, points);
  EXPECT_EQ(v->ObjFontHeight(t), -16);  // 12 points at 96 dpi
}

TEST(VectText, TemplateWritesInArialWithTheViewsTextColour) {
  auto v = MakeVect(100, 100, 100, 100);
  const TVXVObject& t = v->Objects().Template();
  ASSERT_TRUE(t.Font.has_value());
  EXPECT_EQ(t.Font->FaceNameString(), "Arial");
  EXPECT_LT(t.Font->Height, 0);
  const QColor text = v->palette().color(QPalette::WindowText);
  EXPECT_EQ(t.PenColor,
            RGB2TColor(static_cast<uint8_t>(text.red()), static_cast<uint8_t>(text.green()),
                       static_cast<uint8_t>(text.blue())));
  const TBitmap* icon = v->ObjBitmap(kVXVTemplate);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->Width(), 64);
  EXPECT_EQ(icon->Height(), 64);
}

// ---- pens and brushes ----

TEST(VectStyles, PenAndBrushStylesMapToThePainter) {
  auto v = MakeVect(200, 200, 200, 200, kImage);
  const int32_t dash = AddObj(*v, vxkBOX, 10, 10, 90, 40);
  v->SetObjPenStyle(dash, psDash);
  const int32_t clear = AddObj(*v, vxkBOX, 110, 10, 190, 40, bsSolid);
  v->SetObjPenStyle(clear, psClear);
  const int32_t hatch = AddObj(*v, vxkBOX, 10, 60, 90, 120, bsHorizontal);
  const QImage img = Grab(*v);
  int red = 0;
  for (int x = 10; x <= 90; ++x) red += PixelAt(img, x, 10) == kRed;
  EXPECT_GT(red, 20);
  EXPECT_LT(red, 75);                        // dashes, not a solid edge
  EXPECT_EQ(PixelAt(img, 110, 10), kGreen);  // no outline, the brush to the edge
  int hatchRows = 0;
  for (int y = 61; y < 120; ++y) hatchRows += PixelAt(img, 50, y) == kGreen;
  EXPECT_GE(hatchRows, 6);
  EXPECT_LE(hatchRows, 8);  // one line every 8 rows
  (void)hatch;
}

TEST(VectStyles, InsideFramePenKeepsWithinTheBox) {
  auto v = MakeVect(200, 100, 200, 100, kImage);
  const int32_t a = AddObj(*v, vxkBOX, 20, 20, 80, 80);
  v->SetObjPenWidth(a, 5);
  const int32_t b = AddObj(*v, vxkBOX, 120, 20, 180, 80);
  v->SetObjPenWidth(b, 5);
  v->SetObjPenStyle(b, psInsideFrame);
  const QImage img = Grab(*v);
  EXPECT_EQ(PixelAt(img, 18, 50), kRed);  // a centred pen sticks out
  EXPECT_EQ(PixelAt(img, 119, 50), kImage);
  EXPECT_EQ(PixelAt(img, 120, 50), kRed);
  EXPECT_EQ(PixelAt(img, 124, 50), kRed);
}

TEST(VectStyles, PenWidthFollowsTheZoomUnlessTold) {
  for (bool zoomWidths : {true, false}) {
    auto v = MakeVect(300, 300, 300, 300, kImage);
    v->SetZoomObjectsWidth(zoomWidths);
    v->SetZoom(300);
    AddObj(*v, vxkLINE, 10, 20, 80, 20);
    const QImage img = Grab(*v);
    int thick = 0;
    for (int y = 50; y < 70; ++y) thick += PixelAt(img, 100, y) == kRed;
    EXPECT_EQ(thick, zoomWidths ? 3 : 1);
  }
}

// ---- what is drawn ----

TEST(VectDraw, ObjectsOffTheImageOnScreenAreSkippedWithTheirArrows) {
  auto v = MakeVect(100, 100, 400, 100, kImage);
  v->SetViewX(100);
  // The line lies left of the visible part; its arrow head would reach into it.
  const int32_t i = AddObj(*v, vxkLINE, 95, 20, 95, 80, bsSolid);
  v->SetObjBeginShape(i, vxsINARROW);
  v->SetObjShapeWidth(i, 40);
  const QImage hidden = Grab(*v);
  for (int x = 0; x < 16; ++x) EXPECT_EQ(PixelAt(hidden, x, 20), kImage) << x;
  v->SetObjRect(i, TRect{100, 20, 100, 80});  // now on the image's edge: drawn
  EXPECT_EQ(PixelAt(Grab(*v), 0, 20), kRed);
}

TEST(VectDraw, HiddenObjectsAndInvisibleStylesDrawNothing) {
  auto v = MakeVect(100, 100, 100, 100, kImage);
  const int32_t a = AddObj(*v, vxkBOX, 10, 10, 40, 40, bsSolid);
  const int32_t b = AddObj(*v, vxkBOX, 50, 50, 90, 90, bsSolid);
  v->SetObjStyle(b, {vxvsSelectable});
  QImage img = Grab(*v);
  EXPECT_EQ(PixelAt(img, 20, 20), kGreen);
  EXPECT_EQ(PixelAt(img, 70, 70), kImage);
  v->SetAllObjectsHidden(true);
  EXPECT_EQ(PixelAt(Grab(*v), 20, 20), kImage);
  v->SetAllObjectsHidden(false);
  EXPECT_EQ(PixelAt(Grab(*v), 20, 20), kGreen);
  (void)a;
}

// Every kind, burnt into the image at 1:1 while the view shows another zoom, gives the
// image exactly what the view shows at 100 %.
TEST(VectDraw, BurntObjectsEqualTheViewAtActualSize) {
  auto v = MakeVect(300, 200, 300, 200, kImage);
  AddObj(*v, vxkBOX, 10, 10, 60, 40, bsSolid);
  AddObj(*v, vxkELLIPSE, 70, 10, 130, 50, bsDiagCross);
  const int32_t l = AddObj(*v, vxkLINE, 20, 100, 150, 160, bsSolid);
  v->SetObjEndShape(l, vxsOUTARROW);
  v->SetObjPenWidth(l, 3);
  const int32_t a = AddObj(*v, vxkARC, 160, 10, 240, 70);
  v->SetObjArcEnd(a, 4);
  AddObj(*v, vxkBITMAP, 250, 10, 290, 60);
  const int32_t t = AddObj(*v, vxkTEXT, 20, 170, 200, 195);
  v->SetObjText(t, "Burnt text");
  v->SetObjFontHeight(t, -16);
  v->SetObjFontAngle(t, 5);
  const QImage shown = Grab(*v);
  v->SetZoom(200);
  v->CopyObjectsToBack();
  EXPECT_EQ(v->ObjectsCount(), 6);  // the objects stay
  v->SetAllObjectsHidden(true);
  v->SetZoom(100);
  const QImage burnt = Grab(*v);
  int differ = 0;
  for (int y = 0; y < shown.height(); ++y)
    for (int x = 0; x < shown.width(); ++x) differ += shown.pixel(x, y) != burnt.pixel(x, y);
  EXPECT_EQ(differ, 0);
}

TEST(VectDraw, BurningKeepsATwoColourImageTwoColour) {
  auto v = MakeVect(100, 100, 100, 100, 0xFFFFFF);
  v->Bitmap().SetPixelFormat(pf1bit);
  AddObj(*v, vxkBOX, 10, 10, 50, 50);
  v->CopyObjectsToBack();
  EXPECT_EQ(v->Bitmap().PixelFormat(), pf1bit);
  EXPECT_EQ(ColorToRGB(v->Bitmap().Canvas().Pixel(10, 10)), 0x000000);  // red is nearer black
  EXPECT_EQ(ColorToRGB(v->Bitmap().Canvas().Pixel(30, 30)), 0xFFFFFF);
}

TEST(VectDraw, PaintToABitmapIncludesObjectsAndGrips) {
  auto v = MakeVect(100, 100, 100, 100, kImage);
  const int32_t i = AddObj(*v, vxkBOX, 20, 20, 60, 60);
  v->AddSelObject(i);
  TBitmap out;
  out.SetSize(100, 100);
  v->PaintTo(out);
  EXPECT_EQ(ColorToRGB(out.Canvas().Pixel(30, 20)), kRed);
  // The grip's outline at (16, 16) is the image inverted.
  EXPECT_EQ(ColorToRGB(out.Canvas().Pixel(16, 16)), ~kImage & 0xFFFFFF);
  // On screen the grips are an overlay: the cached rendering has none.
  const QImage img = Grab(*v);
  EXPECT_EQ(PixelAt(img, 16, 16), ~kImage & 0xFFFFFF);
  v->UnSelAllObjects();
  EXPECT_EQ(PixelAt(Grab(*v), 16, 16), kImage);
}

TEST(VectDraw, IconIsRenderedOntoWhiteAtTheAskedSize) {
  auto v = MakeVect(100, 100, 100, 100, kImage);
  const int32_t i = AddObj(*v, vxkBITMAP, 0, 0, 31, 31);
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  {
    QPainter p(&pm);
    p.fillRect(0, 0, 8, 16, Qt::blue);
  }
  v->SetObjBitmapICO(i, QIcon(pm), 32, 24);
  const TBitmap* b = v->ObjBitmap(i);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->Width(), 32);
  EXPECT_EQ(b->Height(), 24);
  EXPECT_EQ(b->PixelFormat(), pf24bit);
  EXPECT_EQ(ColorToRGB(const_cast<TBitmap*>(b)->Canvas().Pixel(31, 12)), 0xFFFFFF);
  EXPECT_EQ(ColorToRGB(const_cast<TBitmap*>(b)->Canvas().Pixel(8, 12)), 0xFF0000);
}

// At 2000x the objects' screen boxes run far past the client: drawing stays quick and
// the visible piece of the outline is where it belongs.
TEST(VectDraw, ExtremeZoomDrawsTheVisiblePieceQuickly) {
  auto v = MakeVect(200, 150, 200, 200, kImage);
  v->SetZoomObjectsWidth(false);
  AddObj(*v, vxkELLIPSE, 20, 20, 120, 120, bsSolid);
  const int32_t t = AddObj(*v, vxkTEXT, 110, 130, 190, 160);
  v->SetObjText(t, "Big");
  v->SetObjFontHeight(t, -24);
  AddObj(*v, vxkBITMAP, 120, 0, 190, 60);
  const int32_t l = AddObj(*v, vxkLINE, 0, 199, 199, 0);
  v->SetObjEndShape(l, vxsOUTARROW);
  v->SetZoom(200000);
  QElapsedTimer timer;
  timer.start();
  v->SetViewXY(20 * 2000 - 100, 70 * 2000 - 75);  // the ellipse's left end at client (100, 75)
  QImage img = Grab(*v);
  EXPECT_TRUE(RedNear(img, 100, 75));
  EXPECT_EQ(PixelAt(img, 110, 75), kGreen);
  for (int x : {130, 30}) v->SetViewXY(150 * 2000 - x, 125 * 2000), img = Grab(*v);
  v->SetViewXY(150 * 2000, 30 * 2000);
  img = Grab(*v);
  v->SetViewXY(100 * 2000, 100 * 2000);
  img = Grab(*v);
  EXPECT_LT(timer.elapsed(), 3000);
}

}  // namespace
