#include <gtest/gtest.h>

#include <vector>

#include "controls/vxgradientbar.h"
#include "controlstest.h"

using vx::TVXGradientBar;
using vxtest::Px;

namespace {

// Channel c of entry i: begin + trunc(i * (end - begin) / 255).
vx::TColor Entry(vx::TColor b, vx::TColor e, int i) {
  vx::TColor out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const int from = (b >> shift) & 0xFF, to = (e >> shift) & 0xFF;
    out |= (from + static_cast<int>(i * ((to - from) / 255.0))) << shift;
  }
  return out;
}

// The bar's picture: the ramp with entry 0 at the start (left, or bottom), then the grip
// outline inverted when shown.
std::vector<vx::TColor> Expected(const TVXGradientBar& bar, bool grip) {
  const int w = bar.width(), h = bar.height();
  const bool horiz = bar.Direction() == TVXGradientBar::gdHorizontal;
  std::vector<vx::TColor> img(size_t(w * h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int a = horiz ? x : h - 1 - y, n = horiz ? w : h;
      img[size_t(y * w + x)] = bar.Table()[size_t(int(255.0 / (n - 1) * a))];
    }
  if (!grip) return img;
  const int n = horiz ? w : h;
  const int p = int(bar.ColorIndex() * ((n - 1) / 255.0));
  const int lo = (horiz ? p : n - 1 - p) - 3, hi = lo + 6;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int along = horiz ? x : y, across = horiz ? y : x, m = horiz ? h : w;
      const bool edge = along >= lo && along < hi &&
                        (along == lo || along == hi - 1 || across == 0 || across == m - 1);
      if (edge) img[size_t(y * w + x)] ^= 0xFFFFFF;
    }
  return img;
}

void ExpectPicture(TVXGradientBar& bar, bool grip = true) {
  const QImage img = vxtest::GrabWidget(bar);
  const auto want = Expected(bar, grip);
  for (int y = 0; y < bar.height(); ++y)
    for (int x = 0; x < bar.width(); ++x)
      ASSERT_EQ(Px(img, x, y), want[size_t(y * bar.width() + x)]) << x << "," << y;
}

}  // namespace

TEST(GradientBar, Table) {
  TVXGradientBar bar;
  EXPECT_EQ(bar.width(), 40);
  EXPECT_EQ(bar.height(), 300);
  EXPECT_EQ(bar.Direction(), TVXGradientBar::gdVertical);
  EXPECT_EQ(bar.MouseInteract(), TVXGradientBar::migDragGrip);
  EXPECT_EQ(bar.Table()[0], vx::clBlack);
  EXPECT_EQ(bar.Table()[128], 0x808080);
  EXPECT_EQ(bar.Table()[255], vx::clWhite);
  struct Case {
    vx::TColor begin, end;
  } cases[] = {{vx::clWhite, vx::clBlack}, {0x102030, 0xF0E0D0}, {0x00FF07, 0x7F00FE}};
  for (const Case& c : cases) {
    bar.SetBeginColor(c.begin);
    bar.SetEndColor(c.end);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(bar.Table()[size_t(i)], Entry(c.begin, c.end, i)) << i;
    EXPECT_EQ(bar.Table()[0], c.begin);
    EXPECT_EQ(bar.Table()[255], c.end);
  }
  bar.SetColorIndex(300);
  EXPECT_EQ(bar.ColorIndex(), 255);
  EXPECT_EQ(bar.Color(), 0x7F00FE);
  EXPECT_EQ(bar.RGB(), (vx::TRGB{0x7F, 0x00, 0xFE}));
  ExpectPicture(bar);
}

TEST(GradientBar, PictureBothWays) {
  TVXGradientBar bar;
  bar.SetEndColor(0x3080F0);
  ExpectPicture(bar);
  bar.SetColorIndex(77);
  ExpectPicture(bar);
  bar.SetDirection(TVXGradientBar::gdHorizontal);
  bar.resize(200, 30);
  ExpectPicture(bar);
  bar.SetMouseInteract({});
  bar.SetColorIndex(10);
  ExpectPicture(bar, false);
  bar.SetMouseInteract(TVXGradientBar::migDragGrip);
  bar.SetDesigning(true);
  ExpectPicture(bar, false);
}

TEST(GradientBar, Clicks) {
  TVXGradientBar bar;
  bar.show();
  int changes = 0;
  bar.OnChange = [&](vx::TObject*) { ++changes; };
  // Vertical: the bottom row is entry 0, the top row entry 255.
  struct Case {
    int x, y, index;
  } vertical[] = {{5, 299, 0},
                  {5, 0, 255},
                  {5, 150, int((299 - 150) / 299.0 * 255)},
                  {-9, 500, 0},
                  {90, -30, 255}};
  for (const Case& c : vertical) {
    vxtest::Click(&bar, c.x, c.y);
    EXPECT_EQ(bar.ColorIndex(), c.index) << c.y;
    ExpectPicture(bar);
  }
  EXPECT_EQ(changes, 5);
  bar.SetDirection(TVXGradientBar::gdHorizontal);
  bar.resize(200, 30);
  vxtest::Click(&bar, 199, 3);
  EXPECT_EQ(bar.ColorIndex(), 255);
  vxtest::Click(&bar, 0, 3);
  EXPECT_EQ(bar.ColorIndex(), 0);
  // Dragging follows the mouse, clamped to the bar.
  vxtest::Press(&bar, 10, 3);
  vxtest::Move(&bar, 120, 50);
  EXPECT_EQ(bar.ColorIndex(), int(120 / 199.0 * 255));
  vxtest::Move(&bar, 400, 5);
  EXPECT_EQ(bar.ColorIndex(), 255);
  vxtest::Release(&bar, 400, 5);
  ExpectPicture(bar);
  EXPECT_EQ(changes, 10);
  // Other buttons, and a bar without grip interaction, ignore the mouse.
  vxtest::Click(&bar, 50, 3, Qt::RightButton);
  bar.SetMouseInteract({});
  vxtest::Click(&bar, 50, 3);
  EXPECT_EQ(bar.ColorIndex(), 255);
  EXPECT_EQ(changes, 10);
}
