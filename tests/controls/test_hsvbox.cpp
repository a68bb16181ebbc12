#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "controls/hsvbox.h"
#include "controlstest.h"
#include "platform/syscolors.h"
#include "proc/colorspace.h"

using vx::THSVBox;
using vxtest::Px;

namespace {

vx::TColor ToColor(const vx::TRGB& c) {
  return c.r | (c.g << 8) | (c.b << 16);
}

int RoundHalfEven(double v) {
  return static_cast<int>(std::nearbyint(v));
}

// The box's picture computed from the drawing rules: square, gap, strip, then both
// grips inverted.
std::vector<vx::TColor> Expected(int w, int h, int hue, int sat, int val, vx::TColor bg) {
  const int s = w - 25;
  std::vector<vx::TColor> img(static_cast<size_t>(w * h));
  auto at = [&](int x, int y) -> vx::TColor& { return img[static_cast<size_t>(y * w + x)]; };
  const float fv = 100.0f / h, fs = 100.0f / s;
  for (int c = 0; c < h; ++c) {
    const int y = h - 1 - c;
    for (int f = 0; f < s; ++f)
      at(f, y) = ToColor(vx::HSV2RGB(hue, int(f * double(fs)), int(c * double(fv))));
    for (int x = s; x < s + 5; ++x) at(x, y) = vx::ColorToRGB(bg);
    for (int x = s + 5; x < w; ++x) at(x, y) = ToColor(vx::HSV2RGB(int(c * (360.0 / h)), 99, 99));
  }
  auto frame = [&](int l, int t, int r, int b) {
    for (int y = t; y < b; ++y)
      for (int x = l; x < r; ++x)
        if ((y == t || y == b - 1 || x == l || x == r - 1) && x >= 0 && y >= 0 && x < w && y < h)
          at(x, y) ^= 0xFFFFFF;
  };
  const int hy = RoundHalfEven((h - 1) * ((359 - hue) / 360.0));
  frame(s + 5, hy - 2, w, hy + 2);
  const int gx = RoundHalfEven(sat / 99.0 * (s - 1)),
            gy = h - 1 - RoundHalfEven((h - 1) * val / 99.0);
  frame(gx - 3, gy - 3, gx + 3, gy + 3);
  return img;
}

void ExpectPicture(THSVBox& box) {
  const QImage img = vxtest::GrabWidget(box);
  const int w = box.width(), h = box.height();
  const auto want = Expected(w, h, box.Hue(), box.Sat(), box.Val(), box.Background());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      ASSERT_EQ(Px(img, x, y), want[static_cast<size_t>(y * w + x)]) << x << "," << y;
}

struct TCounter {
  int n = 0;
};

}  // namespace

TEST(HSVBox, DefaultsAndPicture) {
  THSVBox box;
  EXPECT_EQ(box.width(), 105);
  EXPECT_EQ(box.height(), 105);
  EXPECT_EQ(box.Color(), vx::clBlack);
  EXPECT_EQ(box.Background(), vx::clBtnFace);
  ExpectPicture(box);
  box.SetHue(200);
  box.SetSat(40);
  box.SetVal(70);
  ExpectPicture(box);
  box.resize(160, 90);
  ExpectPicture(box);
}

TEST(HSVBox, ClicksAtTheEnds) {
  THSVBox box;
  box.show();
  int changes = 0;
  box.OnChange = [&](vx::TObject*) { ++changes; };
  const int s = 105 - 25;
  struct Case {
    int x, y, hue, sat, val;
  } cases[] = {{0, 0, 0, 0, 99},
               {s - 1, 104, 0, 99, 0},
               {s + 5, 0, 359, 99, 0},
               {104, 104, 0, 99, 0},
               {40, 52, 0, RoundHalfEven(40.0 / 79 * 99), 99 - RoundHalfEven(52.0 / 104 * 99)}};
  for (const Case& c : cases) {
    vxtest::Click(&box, c.x, c.y);
    EXPECT_EQ(box.Hue(), c.hue) << c.x << "," << c.y;
    EXPECT_EQ(box.Sat(), c.sat) << c.x << "," << c.y;
    EXPECT_EQ(box.Val(), c.val) << c.x << "," << c.y;
    const vx::TRGB rgb = vx::HSV2RGB(c.hue, c.sat, c.val);
    EXPECT_EQ(box.Color(), ToColor(rgb));
    EXPECT_EQ(box.Red(), rgb.r);
    ExpectPicture(box);
  }
  EXPECT_EQ(changes, 5);
}

TEST(HSVBox, DragIsClampedToTheArea) {
  THSVBox box;
  box.show();
  vxtest::Press(&box, 30, 30);
  vxtest::Move(&box, -40, 300);
  EXPECT_EQ(box.Sat(), 0);
  EXPECT_EQ(box.Val(), 0);
  vxtest::Move(&box, 500, -20);
  EXPECT_EQ(box.Sat(), 99);
  EXPECT_EQ(box.Val(), 99);
  vxtest::Release(&box, 500, -20);
  // In the strip the point stays in the strip: far left is still its first column.
  vxtest::Press(&box, 100, 104);
  vxtest::Move(&box, -40, -30);
  EXPECT_EQ(box.Hue(), 359);
  EXPECT_EQ(box.Sat(), 99);
  vxtest::Release(&box, -40, -30);
  ExpectPicture(box);
}

TEST(HSVBox, SettersClampAndStaySilent) {
  THSVBox box;
  int changes = 0;
  box.OnChange = [&](vx::TObject*) { ++changes; };
  box.SetHue(400);
  EXPECT_EQ(box.Hue(), 359);
  box.SetSat(-5);
  EXPECT_EQ(box.Sat(), 0);
  box.SetVal(120);
  EXPECT_EQ(box.Val(), 99);
  EXPECT_EQ(changes, 0);
  ExpectPicture(box);
  box.SetRGB(255, 0, 0);
  EXPECT_EQ(box.Hue(), 0);
  EXPECT_EQ(box.Sat(), 99);
  EXPECT_EQ(box.Val(), 99);
  EXPECT_EQ(box.Color(), 0x0000FF);
  ExpectPicture(box);
}

TEST(HSVBox, SystemColourIsKept) {
  THSVBox box;
  box.SetColor(vx::clBtnFace);
  EXPECT_EQ(box.Color(), vx::clBtnFace);
  const vx::TColor rgb = vx::ColorToRGB(vx::clBtnFace);
  EXPECT_EQ(box.Red(), rgb & 0xFF);
  EXPECT_EQ(box.Green(), (rgb >> 8) & 0xFF);
  EXPECT_EQ(box.Blue(), (rgb >> 16) & 0xFF);
  int h = 0, s = 0, v = 0;
  vx::RGB2HSV(vx::TRGB{uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb)}, h, s, v);
  EXPECT_EQ(box.Hue(), h);
  EXPECT_EQ(box.Sat(), s);
  EXPECT_EQ(box.Val(), v);
  ExpectPicture(box);
}

TEST(HSVBox, GapIsDead) {
  THSVBox box;
  box.show();
  box.SetHue(120);
  box.SetSat(50);
  box.SetVal(50);
  int changes = 0;
  box.OnChange = [&](vx::TObject*) { ++changes; };
  const QImage before = vxtest::GrabWidget(box);
  for (int x = 80; x < 85; ++x) {
    vxtest::Press(&box, x, 10);
    vxtest::Move(&box, 10, 60);
    vxtest::Move(&box, 100, 60);
    vxtest::Release(&box, 100, 60);
  }
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(box.Hue(), 120);
  EXPECT_EQ(box.Sat(), 50);
  EXPECT_EQ(box.Val(), 50);
  EXPECT_EQ(vxtest::GrabWidget(box), before);
}
