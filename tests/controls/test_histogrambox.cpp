#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <cmath>
#include <memory>

#include "controls/histogrambox.h"
#include "controlstest.h"
#include "platform/canvas.h"
#include "proc/histogram.h"
#include "proc/vantixproc.h"

using vx::THistogramBox;
using vxtest::Px;

namespace {

// A processing component over a bitmap whose pixels are all grey level `level`, except
// the right half at `level2` when that is not negative.
struct TGreyImage {
  vx::TBitmap bitmap;
  vx::TVantixProc proc;
  TGreyImage(int level, int level2 = -1) {
    bitmap.SetSize(16, 8);
    auto& c = bitmap.Canvas();
    c.Brush().Color = level * 0x010101;
    c.FillRect({0, 0, 16, 8});
    if (level2 >= 0) {
      c.Brush().Color = level2 * 0x010101;
      c.FillRect({8, 0, 16, 8});
    }
    proc.SetAttachedBitmap(&bitmap);
    vx::GetHistogram(bitmap, hist, 0, 0, 15, 7);
  }
  vx::THistogram hist;
};

// The level whose grey entry is `entry`.
int LevelFor(int entry) {
  for (int l = 0; l < 256; ++l) {
    TGreyImage probe(l);
    if (probe.hist[entry].Gray) return l;
  }
  return -1;
}

std::unique_ptr<THistogramBox> PlainBox(vx::TVantixProc& proc, int w, int h) {
  auto box = std::make_unique<THistogramBox>();
  box->SetLabelFlags({});
  box->SetCompBar(false);
  box->resize(w, h);
  box->SetAttachedVantixProc(&proc);
  box->Update();
  return box;
}

// Bar of column x reaches up to (excluding) ph - round(count / max * ph) - 2 from ph - 1.
void ExpectBars(const QImage& img, const vx::THistogram& hist, int pw, int ph) {
  uint32_t max = 0;
  for (const auto& e : hist) max = std::max(max, e.Gray);
  for (int x = 0; x < pw; ++x) {
    const int entry = static_cast<int>(std::floor(x / double(pw) * 256));
    const int top = ph - static_cast<int>(std::nearbyint(double(hist[entry].Gray) / max * ph)) - 2;
    for (int y = 0; y < ph; ++y) {
      const vx::TColor want = y > top ? vx::clBlack : vx::clWhite;
      ASSERT_EQ(Px(img, x, y), want) << "x " << x << " y " << y;
    }
  }
}

}  // namespace

TEST(HistogramBox, DefaultsAndEmpty) {
  THistogramBox box;
  EXPECT_EQ(box.width(), 256);
  EXPECT_EQ(box.height(), 105);
  EXPECT_EQ(box.Background(), 0xFFFFFF);
  EXPECT_EQ(box.HistogramKindFlags(), THistogramBox::hkGray);
  EXPECT_EQ(box.LabelFlags(), THistogramBox::hlVertical | THistogramBox::hlHorizontal);
  EXPECT_TRUE(box.CompBar());
  EXPECT_EQ(box.HistogramStyle(), THistogramBox::hsBars);
  EXPECT_EQ(box.property("HistogramStyle").toInt(), THistogramBox::hsBars);
  // Nothing attached: only the background.
  box.SetBackground(0x123456);
  const QImage img = vxtest::GrabWidget(box);
  for (int y = 0; y < 105; y += 13)
    for (int x = 0; x < 256; x += 7) ASSERT_EQ(Px(img, x, y), 0x123456);
}

TEST(HistogramBox, SingleGreyLevelIsOneFullBar) {
  // Without labels or bar the plot is the whole control; widths that map one, two or
  // less than one column to an entry.
  struct Case {
    int width, level, level2;
  } cases[] = {{256, 100, -1}, {512, 100, -1}, {200, LevelFor(4), -1},
               {200, 5, 60},   {512, 7, 200},  {256, 0, 255}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    TGreyImage image(c.level, c.level2);
    auto box = PlainBox(image.proc, c.width, 90);
    ExpectBars(vxtest::GrabWidget(*box), image.hist, c.width, 90);
  }
}

TEST(HistogramBox, ColumnsOfTheLevelAreFullHeight) {
  TGreyImage image(LevelFor(100));
  auto box = PlainBox(image.proc, 512, 90);
  const QImage img = vxtest::GrabWidget(*box);
  // Two columns per entry: 200 and 201 carry entry 100, their neighbours only the base.
  for (int x : {200, 201}) EXPECT_EQ(Px(img, x, 0), vx::clBlack);
  for (int x : {199, 202}) {
    EXPECT_EQ(Px(img, x, 0), vx::clWhite);
    EXPECT_EQ(Px(img, x, 88), vx::clWhite);
  }
  // Level 4 is skipped at 200 pixels (trunc(x / 200 * 256) jumps from 3 to 5).
  TGreyImage four(LevelFor(4));
  auto narrow = PlainBox(four.proc, 200, 90);
  const QImage n = vxtest::GrabWidget(*narrow);
  for (int x = 0; x < 200; ++x) ASSERT_EQ(Px(n, x, 0), vx::clWhite) << x;
}

TEST(HistogramBox, RampUnderThePlot) {
  TGreyImage image(100);
  for (int width : {256, 200, 333, 512}) {
    for (auto kind : {THistogramBox::hkGray, THistogramBox::hkRed, THistogramBox::hkBlue}) {
      SCOPED_TRACE(width);
      THistogramBox box;
      box.resize(width, 105);
      box.SetHistogramKindFlags(kind);
      box.SetAttachedVantixProc(&image.proc);
      box.Update();
      const QFont f = vxtest::LabelFontOf(box);
      const int fh = QFontInfo(f).pixelSize();
      const int bar = static_cast<int>(fh * 1.2);
      const int lm = QFontMetrics(f).horizontalAdvance(QStringLiteral("128")) + 2;
      EXPECT_EQ(box.PlotLeft(), lm);
      const int pw = width - lm;
      const QImage img = vxtest::GrabWidget(box);
      for (int u = 0; u < pw; ++u) {
        const int level = std::min(255, static_cast<int>(std::nearbyint(u / double(pw) * 256)));
        const int r = kind == THistogramBox::hkBlue ? 0 : level;
        const int b = kind == THistogramBox::hkRed ? 0 : level;
        const int g = kind == THistogramBox::hkGray ? level : 0;
        for (int y = 105 - bar; y < 105; ++y)
          ASSERT_EQ(Px(img, lm + u, y), r | (g << 8) | (b << 16)) << u << "," << y;
      }
      EXPECT_EQ(Px(img, lm + pw - 1, 104) & 0xFF, kind == THistogramBox::hkBlue ? 0 : 255);
      EXPECT_EQ(Px(img, lm + pw - 1, 104) >> 16, kind == THistogramBox::hkRed ? 0 : 255);
    }
  }
}

TEST(HistogramBox, LabelsAndAxes) {
  TGreyImage image(LevelFor(100));
  THistogramBox box;
  box.SetCompBar(false);
  box.SetAttachedVantixProc(&image.proc);
  box.Update();
  const QFont f = vxtest::LabelFontOf(box);
  const QFontMetrics fm(f);
  const int lm = fm.horizontalAdvance(QStringLiteral("128")) + 2;
  const int ph = 105 - fm.height() - 2;
  const QImage img = vxtest::GrabWidget(box);
  // The axes: the column left of the plot from the top down to ph, the row ph to the end.
  for (int y = 0; y <= ph; ++y) ASSERT_EQ(Px(img, lm - 1, y), vx::clBlack) << y;
  for (int x = lm - 1; x < 256; ++x) ASSERT_EQ(Px(img, x, ph), vx::clBlack) << x;
  // The bar of level 100 in the narrower plot, full height.
  const int pw = 256 - lm;
  int x100 = 0;
  while (static_cast<int>(std::floor(x100 / double(pw) * 256)) < 100) ++x100;
  EXPECT_EQ(Px(img, lm + x100, 0), vx::clBlack);
  EXPECT_EQ(Px(img, lm + x100 - 1, 0), vx::clWhite);
  // Some label ink in the top-left corner (the text of the maximum).
  bool ink = false;
  for (int y = 0; y < fm.height(); ++y)
    for (int x = 0; x < lm - 2; ++x) ink = ink || Px(img, x, y) != vx::clWhite;
  EXPECT_TRUE(ink);
}

TEST(HistogramBox, DestroyedComponentDetaches) {
  THistogramBox box;
  {
    TGreyImage image(10);
    box.SetAttachedVantixProc(&image.proc);
    EXPECT_EQ(box.AttachedVantixProc(), &image.proc);
  }
  EXPECT_EQ(box.AttachedVantixProc(), nullptr);
  box.Update();
}

TEST(HistogramBox, DesignTimeSample) {
  THistogramBox box;
  box.SetDesigning(true);
  const QImage img = vxtest::GrabWidget(box);
  int ink = 0;
  for (int x = 0; x < 256; ++x) ink += Px(img, x, 40) == vx::clBlack;
  EXPECT_GT(ink, 0);
}
