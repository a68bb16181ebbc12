// Selections and the mouse: zoom clicks, rectangles, grips, polygons, ellipses and the
// marching ants.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <cstdio>
#include <map>
#include <random>

#include "viewtest.h"

using namespace vx;
using namespace vxtest;

namespace {

struct Events {
  int changing = 0;
  int change = 0;
  void Changing(TObject*) { ++changing; }
  void Change(TObject*) { ++change; }
  void Attach(TVantixView& v) {
    v.OnSelectionChanging = TNotifyEvent::Bind(this, &Events::Changing);
    v.OnSelectionChange = TNotifyEvent::Bind(this, &Events::Change);
  }
};

TEST(MouseZoom, ClicksFollowTheZoomTable) {
  struct Case {
    int from;
    Qt::MouseButton button;
    int to;
  };
  const Case cases[] = {{100, Qt::LeftButton, 200},  {33, Qt::LeftButton, 50},
                        {150, Qt::RightButton, 100}, {250, Qt::RightButton, 150},
                        {100, Qt::RightButton, 75},  {2, Qt::RightButton, 2},
                        {1, Qt::LeftButton, 2},      {75, Qt::LeftButton, 100}};
  for (const Case& c : cases) {
    auto v = MakeView(100, 100, 400, 400);
    v->SetZoom(c.from);
    v->SetMouseInteract({miZoom});
    Press(v->viewport(), 10, 10, c.button);
    Release(v->viewport(), 10, 10, c.button);
    EXPECT_EQ(v->Zoom(), c.to) << c.from;
  }
}

TEST(MouseZoom, ClickZoomsAndDragSelectsWhenBothAreSet) {
  auto v = MakeView(100, 100, 400, 400);
  v->SetMouseInteract({miZoom, miSelect});
  Press(v->viewport(), 20, 20);
  Release(v->viewport(), 20, 20);
  EXPECT_EQ(v->Zoom(), 200);
  EXPECT_FALSE(v->Selected());
  Drag(v->viewport(), 10, 10, 50, 40);
  EXPECT_EQ(v->Zoom(), 200);
  ASSERT_TRUE(v->Selected());
  EXPECT_TRUE(TVantixView::IsRectangle(v->PolySelPoints()));
  // After the zoom click the grips still work.
  EXPECT_EQ(v->GetResizingGrip(50, 40), 2);
}

// A zoom click inside a selection arms the move grip on the way down; once it zoomed,
// a drag in zoom-only mode must not move the old selection.
TEST(MouseZoom, ZoomClickInsideASelectionLeavesNoGripArmed) {
  auto v = MakeView(100, 100, 400, 400);
  v->SetMouseInteract({miZoom, miSelect});
  v->Select(20, 20, 60, 60);  // image 20..60
  Press(v->viewport(), 40, 40);
  Release(v->viewport(), 40, 40);
  ASSERT_EQ(v->Zoom(), 200);
  EXPECT_EQ(v->MoveGrip(), -1);
  EXPECT_EQ(v->ResizeGrip(), -1);
  v->SetMouseInteract({miZoom});
  Drag(v->viewport(), 50, 50, 90, 80);
  EXPECT_EQ(v->SelX1(), 20);
  EXPECT_EQ(v->SelY1(), 20);
  EXPECT_EQ(v->SelX2(), 60);
  EXPECT_EQ(v->SelY2(), 60);
}

TEST(MouseSelect, ClickWithoutDragSelectsNothingButReports) {
  auto v = MakeView(100, 100, 200, 200);
  Events e;
  e.Attach(*v);
  v->SetMouseInteract({miSelect});
  Press(v->viewport(), 30, 30);
  Release(v->viewport(), 30, 30);
  EXPECT_FALSE(v->Selected());
  EXPECT_EQ(e.change, 1);
  // An existing selection survives a click elsewhere.
  v->Select(5, 5, 15, 15);
  Press(v->viewport(), 60, 60);
  Release(v->viewport(), 60, 60);
  EXPECT_TRUE(v->Selected());
  EXPECT_EQ(e.change, 2);
}

TEST(MouseSelect, DragMakesAnOrderedRectangleAndFiresEvents) {
  auto v = MakeView(100, 100, 200, 200);
  Events e;
  e.Attach(*v);
  v->SetMouseInteract({miSelect});
  Drag(v->viewport(), 60, 50, 20, 10);
  ASSERT_TRUE(v->Selected());
  EXPECT_EQ(v->SelX1(), 20);
  EXPECT_EQ(v->SelY1(), 10);
  EXPECT_EQ(v->SelX2(), 60);
  EXPECT_EQ(v->SelY2(), 50);
  EXPECT_EQ(v->PolySel(0), (TPoint{20, 10}));
  EXPECT_EQ(v->PolySel(2), (TPoint{60, 50}));
  EXPECT_EQ(v->PolySel(9), (TPoint{0, 0}));
  EXPECT_GE(e.changing, 3);
  EXPECT_EQ(e.change, 1);
  EXPECT_FALSE(v->RectDragging());
}

TEST(MouseSelect, LeftEdgeDraggedAcrossBecomesTheRightEdge) {
  auto v = MakeView(100, 100, 200, 200);
  v->SetMouseInteract({miSelect});
  v->Select(10, 10, 20, 40);  // 10 wide
  ASSERT_EQ(v->GetResizingGrip(10, 25), 4);
  Press(v->viewport(), 10, 25);
  EXPECT_EQ(v->ResizeGrip(), 4);
  Move(v->viewport(), 25, 25);
  EXPECT_EQ(v->ResizeGrip(), 5);
  EXPECT_EQ(v->SelX1(), 20);
  EXPECT_EQ(v->SelX2(), 25);
  Move(v->viewport(), 30, 25);  // continues as the right edge
  EXPECT_EQ(v->SelX1(), 20);
  EXPECT_EQ(v->SelX2(), 30);
  Release(v->viewport(), 30, 25);
  EXPECT_EQ(v->ResizeGrip(), -1);
  EXPECT_EQ(v->SelY1(), 10);
  EXPECT_EQ(v->SelY2(), 40);
}

TEST(MouseSelect, GripsAndCursors) {
  auto v = MakeView(100, 100, 200, 200);
  v->SetMouseInteract({miSelect});
  v->Select(20, 20, 60, 50);
  struct Case {
    int x, y, grip, cursor;
  };
  const Case cases[] = {{20, 20, 0, crMoveNWSE}, {62, 18, 1, crMoveNESW}, {60, 50, 2, crMoveNWSE},
                        {17, 53, 3, crMoveNESW}, {21, 35, 4, crMoveWE},   {59, 35, 5, crMoveWE},
                        {40, 21, 6, crMoveNS},   {40, 52, 7, crMoveNS},   {40, 35, -1, crMove},
                        {80, 80, -1, crCross2}};
  for (const Case& c : cases) {
    EXPECT_EQ(v->GetResizingGrip(c.x, c.y), c.grip) << c.x << "," << c.y;
    Move(v->viewport(), c.x, c.y, Qt::NoButton);
    EXPECT_EQ(v->ShownCursor(), c.cursor) << c.x << "," << c.y;
  }
}

TEST(MouseSelect, DraggingTheInsideMovesTheSelection) {
  auto v = MakeView(100, 100, 200, 200);
  v->SetZoom(200);
  v->SetMouseInteract({miSelect});
  v->Select(20, 20, 60, 60);  // bitmap 10..30
  Drag(v->viewport(), 40, 40, 50, 30);
  EXPECT_EQ(v->SelX1(), 15);
  EXPECT_EQ(v->SelY1(), 5);
  EXPECT_EQ(v->SelX2(), 35);
  EXPECT_EQ(v->SelY2(), 25);
}

TEST(MouseSelect, DragPastTheEdgeScrolls) {
  auto v = MakeView(100, 100, 400, 400);
  v->SetMouseInteract({miSelect});
  Press(v->viewport(), 50, 50);
  Move(v->viewport(), 120, 60);
  EXPECT_EQ(v->ViewX(), 21);  // 120 - 99
  EXPECT_EQ(v->ViewY(), 0);
  Release(v->viewport(), 99, 60);
  EXPECT_EQ(v->SelX1(), 50);  // the anchor kept its place on the image
}

TEST(SelectApi, DegenerateSelections) {
  auto v = MakeView(100, 100, 200, 200);
  v->Select(5, 5, 5, 20);
  EXPECT_FALSE(v->Selected());
  v->SetZoom(400);
  v->Select(0, 0, 2, 2);
  ASSERT_TRUE(v->Selected());
  ASSERT_EQ(v->PolySelCount(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(v->PolySel(i), (TPoint{0, 0}));
  EXPECT_FALSE(TVantixView::IsRectangle(v->PolySelPoints()));
  EXPECT_EQ(v->GetResizingGrip(0, 0), -1);
  EXPECT_EQ(v->GetMovingGrip(0, 0), -1);
  v->DeSelect();
  EXPECT_FALSE(v->Selected());
  EXPECT_EQ(v->PolySelCount(), 0);
  EXPECT_EQ(v->SelectionKind(), skNone);
}

TEST(SelectApi, IsRectangleNeedsAlternatingAxisEdges) {
  using P = std::vector<TPoint>;
  EXPECT_TRUE(TVantixView::IsRectangle(P{{0, 0}, {5, 0}, {5, 5}, {0, 5}}));
  EXPECT_TRUE(TVantixView::IsRectangle(P{{0, 0}, {0, 5}, {5, 5}, {5, 0}}));
  EXPECT_FALSE(TVantixView::IsRectangle(P{{0, 0}, {5, 0}, {5, 5}}));
  EXPECT_FALSE(TVantixView::IsRectangle(P{{0, 0}, {5, 1}, {5, 5}, {0, 5}}));
  EXPECT_FALSE(TVantixView::IsRectangle(P{{0, 0}, {5, 0}, {5, 0}, {0, 0}}));
}

TEST(SelectApi, ZoomSelectionFillsTheView) {
  auto v = MakeView(100, 100, 400, 400);
  v->SetSelectionBase(vxsbBitmap);
  v->Select(100, 100, 149, 124);  // 50 x 25
  v->ZoomSelection();
  EXPECT_FALSE(v->Selected());
  EXPECT_EQ(v->Zoom(), 200);
  EXPECT_EQ(v->ViewX(), 200);
  EXPECT_EQ(v->ViewY(), 200 - 25);
}

TEST(MousePolygon, ClicksAndDoubleClickMakeAPolygon) {
  auto v = MakeView(100, 100, 200, 200);
  Events e;
  e.Attach(*v);
  v->SetMouseInteract({miSelectPolygon});
  for (auto [x, y] : {std::pair{10, 10}, {60, 10}})
    Press(v->viewport(), x, y), Release(v->viewport(), x, y);
  EXPECT_TRUE(v->PolygonDrawing());
  Move(v->viewport(), 50, 70, Qt::NoButton);  // the rubber band follows
  DoubleClick(v->viewport(), 40, 70);
  EXPECT_FALSE(v->PolygonDrawing());
  ASSERT_EQ(v->PolySelCount(), 3);
  EXPECT_EQ(v->PolySel(2), (TPoint{40, 70}));
  EXPECT_EQ(v->SelectionKind(), skPolygon);
  EXPECT_GE(e.changing, 4);
  // A new click after finishing starts a new polygon.
  Press(v->viewport(), 5, 5);
  EXPECT_EQ(v->PolySelCount(), 1);
}

TEST(MousePolygon, CtrlSnapsToTheAnchorRow) {
  auto v = MakeView(100, 100, 200, 200);
  v->SetMouseInteract({miSelectPolygon});
  Press(v->viewport(), 10, 10);
  Release(v->viewport(), 10, 10);
  Press(v->viewport(), 80, 14, Qt::LeftButton, Qt::ControlModifier);
  EXPECT_EQ(v->PolySel(1), (TPoint{80, 10}));
}

TEST(MousePolygon, CtrlUpAndLeftShrinksTheLargerOffset) {
  auto v = MakeView(200, 200, 300, 300);
  v->SetMouseInteract({miSelectPolygon});
  Press(v->viewport(), 100, 100);
  Release(v->viewport(), 100, 100);
  Press(v->viewport(), 80, 70, Qt::LeftButton, Qt::ControlModifier);
  Release(v->viewport(), 80, 70, Qt::LeftButton, Qt::ControlModifier);
  EXPECT_EQ(v->PolySel(1), (TPoint{80, 80}));
  Press(v->viewport(), 80, 100, Qt::LeftButton, Qt::ControlModifier);  // straight below
  EXPECT_EQ(v->PolySel(2), (TPoint{80, 100}));
}

TEST(MouseEllipse, RadiiTenAndFourGiveSixVertices) {
  auto v = MakeView(100, 100, 200, 200);
  v->SetMouseInteract({miSelectCircle});
  Press(v->viewport(), 50, 50);
  Move(v->viewport(), 60, 54);
  ASSERT_EQ(v->PolySelCount(), 6);  // Trunc(4 * 2 pi) div 4
  EXPECT_EQ(v->PolySel(0), (TPoint{60, 50}));
  Release(v->viewport(), 60, 54);
  EXPECT_FALSE(v->CircleDragging());
  // A flat drag makes no vertices.
  Press(v->viewport(), 50, 50);
  Move(v->viewport(), 70, 50);
  EXPECT_EQ(v->PolySelCount(), 0);
}

TEST(MouseScroll, TheImageFollowsTheHand) {
  auto v = MakeView(100, 100, 400, 400);
  v->SetMouseInteract({miScroll});
  v->SetViewXY(100, 100);
  Press(v->viewport(), 50, 50);
  Move(v->viewport(), 30, 60);
  EXPECT_EQ(v->ViewX(), 120);
  EXPECT_EQ(v->ViewY(), 90);
  Release(v->viewport(), 20, 60);
  EXPECT_EQ(v->ViewX(), 130);
}

// A derived view reaches the scroll step, the selection building blocks and the
// scroll-bar setting through the view's own code paths.
class TSpyView : public TVantixView {
 public:
  std::vector<TPoint> scrolls;
  int selects = 0, points = 0, bars = 0;
  void SubMouseMoveScroll(int x, int y) override {
    scrolls.push_back({x, y});
    TVantixView::SubMouseMoveScroll(x, y);
  }
  void Select(int x1, int y1, int x2, int y2) override {
    ++selects;
    TVantixView::Select(x1, y1, x2, y2);
  }
  void AddSelPoint(int x, int y) override {
    ++points;
    TVantixView::AddSelPoint(x, y);
  }
  void SetScrollBars(TScrollStyle s) override {
    ++bars;
    TVantixView::SetScrollBars(s);
  }
};

TEST(MouseScroll, OverridableStepsAreCalled) {
  TSpyView v;
  v.SetBorderStyle(bsNone);
  v.resize(100, 100);
  v.show();
  v.Bitmap().SetSize(400, 400);
  v.Update();
  v.SetMouseInteract({miScroll});
  v.SetViewXY(100, 100);
  Press(v.viewport(), 50, 50);
  Move(v.viewport(), 30, 60);
  Release(v.viewport(), 20, 60);
  ASSERT_EQ(v.scrolls.size(), 2u);
  EXPECT_EQ(v.scrolls[0], (TPoint{30, 60}));
  EXPECT_EQ(v.scrolls[1], (TPoint{20, 60}));
  EXPECT_EQ(v.ViewX(), 130);

  v.SetMouseInteract({miSelect});
  Drag(v.viewport(), 10, 10, 40, 30);
  EXPECT_GE(v.selects, 2);
  v.SetMouseInteract({miSelectPolygon});
  Press(v.viewport(), 10, 10);
  EXPECT_EQ(v.points, 1);
  v.setProperty("ScrollBars", static_cast<int>(ssBoth));
  EXPECT_EQ(v.bars, 1);
}

TEST(MouseInteractSet, NewItemRestrictsTheSet) {
  struct Case {
    TVXMouseInteract from, to, expected;
  };
  const Case cases[] = {
      {{miZoom, miSelect}, {miZoom, miSelect, miSelectPolygon}, {miSelectPolygon}},
      {{}, {miScroll, miSelect, miZoom}, {miZoom, miScroll}},
      {{miScroll}, {miScroll, miZoom, miSelectCircle}, {miSelectCircle}},
      {{miSelect}, {miSelect, miZoom}, {miZoom, miSelect}},
      {{miZoom, miSelect}, {miSelect}, {miSelect}},
  };
  for (const Case& c : cases) {
    auto v = MakeView(50, 50, 10, 10);
    v->SetMouseInteract(c.from);
    v->SetMouseInteract(c.to);
    EXPECT_EQ(v->MouseInteract(), c.expected);
  }
}

TEST(Ants, PatternAtPhaseZeroAndOneTickLater) {
  auto v = MakeView(60, 40, 60, 40, 0x808080);
  v->SetSelectionOptions({vxsoAnimated});  // no grips over the corners
  v->SetSelColor1(0x0000FF);
  v->SetSelColor2(0x00FF00);
  v->Select(5, 10, 40, 30);
  QImage img = Grab(*v);
  const TColor c1 = 0x0000FF, c2 = 0x00FF00;
  const TColor phase0[] = {c1, c1, c1, c2, c2, c2, c1, c1, c1, c2};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(PixelAt(img, 5 + i, 10), phase0[i]) << i;
  EXPECT_EQ(PixelAt(img, 20, 20), 0x808080);  // inside untouched
  v->AnimationStep(true);
  img = Grab(*v);
  const TColor phase1[] = {c1, c1, c2, c2, c2, c1, c1, c1, c2, c2};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(PixelAt(img, 5 + i, 10), phase1[i]) << i;
  // A hidden selection draws nothing.
  v->SetVisibleSelection(false);
  img = Grab(*v);
  EXPECT_EQ(PixelAt(img, 5, 10), 0x808080);
}

// At 10^8 % the edges of a 1000-pixel selection run for 10^9 pixels, almost all off
// screen: painting must not walk them, and the ants on screen keep the phase they would
// have after walking the three other edges.
TEST(Ants, EdgesFarOffScreenCostNothingAndKeepThePhase) {
  auto v = MakeView(60, 40, 1000, 1000, 0x808080);
  v->SetSelectionOptions({vxsoAnimated});
  v->SetSelColor1(0x0000FF);
  v->SetSelColor2(0x00FF00);
  v->SetZoom(100'000'000);
  v->SetViewXY(0, 500);
  v->SelectBitmapRect(0, 0, 999, 999);
  QElapsedTimer t;
  t.start();
  const QImage img = Grab(*v);
  EXPECT_LT(t.elapsed(), 2000);
  // The left edge is the closing one, walked upwards from screen y 999e6 - 500 after
  // 3 * 999e6 pixels; 999e6 is a multiple of 6.
  for (int y = 0; y < 40; ++y) {
    const int counter = ((-(500 + y)) % 6 + 6) % 6;
    EXPECT_EQ(PixelAt(img, 0, y), counter < 3 ? 0x0000FFu : 0x00FF00u) << y;
  }
  EXPECT_EQ(PixelAt(img, 30, 20), 0x808080u);
}

// The pixels of the ant pattern, walked the slow way along every edge with the usual
// line stepping (end points excluded): 3 of Color1, 3 of Color2, carried across edges.
// Where two edges meet on a pixel Color2 wins, as it is drawn last.
std::map<std::pair<int64_t, int64_t>, bool> ReferenceAnts(const std::vector<QPoint>& pts,
                                                          int phase) {
  std::map<std::pair<int64_t, int64_t>, bool> second;  // pixel -> drawn in Color2
  int counter = phase;
  auto edge = [&](QPoint a, QPoint b) {
    int64_t x = a.x(), y = a.y();
    const int64_t dx = std::abs(int64_t{b.x()} - x), dy = -std::abs(int64_t{b.y()} - y);
    const int64_t sx = x < b.x() ? 1 : -1, sy = y < b.y() ? 1 : -1;
    int64_t err = dx + dy;
    while (x != b.x() || y != b.y()) {
      const bool two = counter >= 3;
      if (counter >= 5) counter = -1;
      ++counter;
      second[{x, y}] |= two;
      const int64_t e2 = 2 * err;
      if (e2 >= dy) err += dy, x += sx;
      if (e2 <= dx) err += dx, y += sy;
    }
  };
  for (size_t i = 1; i < pts.size(); ++i) edge(pts[i - 1], pts[i]);
  edge(pts.back(), pts.front());
  return second;
}

// Checks every client pixel against the reference, now and one tick later; returns
// how many ant pixels were on screen.
int CompareWithReferenceAnts(TVantixView& v, const std::vector<TPoint>& poly) {
  int onScreen = 0;
  for (int tick = 0; tick < 2; ++tick) {
    std::vector<QPoint> scr;
    for (const TPoint& p : poly) scr.emplace_back(v.XBmp2Scr(p.x), v.YBmp2Scr(p.y));
    const auto expected = ReferenceAnts(scr, tick);
    const QImage img = Grab(v);
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) {
        const auto it = expected.find({x, y});
        const TColor want = it == expected.end() ? 0x808080u : it->second ? 0x00FF00u : 0x0000FFu;
        onScreen += it != expected.end();
        EXPECT_EQ(PixelAt(img, x, y), want) << x << "," << y << " tick " << tick;
        if (PixelAt(img, x, y) != want) return -1;
      }
    v.AnimationStep(true);
  }
  return onScreen;
}

// Slanted edges that run thousands of pixels off screen: the part on screen shows the
// pattern exactly where walking the whole outline would put it.
TEST(Ants, ClippedSlantedEdgesKeepThePhase) {
  auto make = [] {
    auto v = MakeView(120, 90, 400, 400, 0x808080);
    v->SetSelectionOptions({vxsoAnimated});
    v->SetSelColor1(0x0000FF);
    v->SetSelColor2(0x00FF00);
    v->SetSelectionBase(vxsbBitmap);
    return v;
  };
  auto v = make();
  v->SetZoom(1000);
  v->SetViewXY(1500, 1200);
  const std::vector<TPoint> poly = {{3, 7}, {390, 131}, {161, 128}, {170, 395}, {151, 122}};
  for (const TPoint& p : poly) v->AddSelPoint(p.x, p.y);
  EXPECT_GT(CompareWithReferenceAnts(*v, poly), 50);

  // Random outlines at random zooms and scroll positions.
  std::mt19937 rng(15);
  int onScreen = 0;
  for (int round = 0; round < 12; ++round) {
    auto r = make();
    std::vector<TPoint> random;
    for (int i = 0; i < 6; ++i)
      random.push_back({static_cast<int>(rng() % 400), static_cast<int>(rng() % 400)});
    r->SetZoom(100 + static_cast<int>(rng() % 900));
    int mx = 0, my = 0;
    r->GetMaxViewXY(mx, my);
    r->SetViewXY(static_cast<int>(rng() % (mx + 1)), static_cast<int>(rng() % (my + 1)));
    for (const TPoint& p : random) r->AddSelPoint(p.x, p.y);
    const int n = CompareWithReferenceAnts(*r, random);
    ASSERT_GE(n, 0) << "round " << round;
    onScreen += n;
  }
  EXPECT_GT(onScreen, 500);
}

// A polygon with vertices far off screen and an ellipse at an extreme zoom: each paint
// costs what is on screen, not the outline's length.
TEST(Ants, LongSlantedEdgesPaintQuickly) {
  auto v = MakeView(200, 150, 1000, 1000, 0x808080);
  v->SetSelectionOptions({vxsoAnimated});
  v->SetSelectionBase(vxsbBitmap);
  v->SetZoom(10'000'000);                // 10^5 times: the edges run for about 10^8 pixels
  v->SetViewXY(50'199'900, 50'249'925);  // the middle of the edge (999, 7)-(5, 998)
  for (const TPoint& p : std::vector<TPoint>{{0, 0}, {999, 7}, {5, 998}}) v->AddSelPoint(p.x, p.y);
  Grab(*v);  // the image itself is rendered once
  QElapsedTimer t;
  t.start();
  const QImage img = Grab(*v);
  const double polygonMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
  EXPECT_LT(polygonMs, 50);
  // The slanted edge from (999, 7) to (5, 998) crosses the client area.
  int ants = 0;
  for (int y = 0; y < 150; ++y)
    for (int x = 0; x < 200; ++x) ants += PixelAt(img, x, y) != 0x808080u;
  EXPECT_GT(ants, 100);

  auto e = MakeView(200, 150, 400, 400, 0x808080);
  e->SetSelectionOptions({vxsoAnimated});
  e->SetMouseInteract({miSelectCircle});
  Press(e->viewport(), 100, 75);
  Move(e->viewport(), 190, 140);
  Release(e->viewport(), 190, 140);
  ASSERT_GT(e->PolySelCount(), 80);
  // Centred on a vertex where the outline runs at 45 degrees: its two edges cross the
  // client area slanted, for about 10^7 pixels each.
  const TPoint at = e->PolySel(e->PolySelCount() * 5 / 8);
  e->ZoomAt(e->XBmp2Scr(at.x), e->YBmp2Scr(at.y), 1'000'000'000);
  Grab(*e);
  t.restart();
  Grab(*e);
  const double ellipseMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
  EXPECT_LT(ellipseMs, 50);
  ants = 0;
  const QImage ellipse = Grab(*e);
  for (int y = 0; y < 150; ++y)
    for (int x = 0; x < 200; ++x) ants += PixelAt(ellipse, x, y) != 0x808080u;
  EXPECT_GT(ants, 100);
  std::printf("ant edges: polygon %.2f ms, ellipse %.2f ms\n", polygonMs, ellipseMs);
}

TEST(Ants, GripsAreSixPixelSquares) {
  auto v = MakeView(60, 40, 60, 40, 0x808080);
  v->Select(10, 10, 40, 30);
  const QImage img = Grab(*v);
  EXPECT_EQ(PixelAt(img, 7, 7), clBlack);  // outline
  EXPECT_EQ(PixelAt(img, 12, 12), clBlack);
  EXPECT_EQ(PixelAt(img, 9, 9), clWhite);  // fill
  EXPECT_EQ(PixelAt(img, 13, 13), 0x808080);
  EXPECT_EQ(PixelAt(img, 6, 6), 0x808080);
}

TEST(SelectApi, AssignSelToCopiesTheRegion) {
  auto v = MakeView(60, 60, 40, 40, 0x0000FF);
  v->SetDPI(200, 200);
  auto w = MakeView(60, 60, 5, 5, 0x000000);
  v->Select(10, 10, 30, 20);
  v->AssignSelTo(*w);
  EXPECT_EQ(w->Bitmap().Width(), 20);
  EXPECT_EQ(w->Bitmap().Height(), 10);
  EXPECT_EQ(w->Bitmap().Canvas().Pixel(19, 9), 0x0000FF);
  EXPECT_EQ(w->DpiX(), 200);
  TBitmap b;
  v->AssignSelTo(b);
  EXPECT_EQ(b.Width(), 20);
  EXPECT_TRUE(b.Modified());
}

TEST(SelectApi, ImageResizeRemovesTheSelection) {
  auto v = MakeView(60, 60, 40, 40);
  v->Select(10, 10, 30, 20);
  v->Bitmap().SetSize(50, 50);
  v->Update();
  EXPECT_FALSE(v->Selected());
}

}  // namespace
