#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QTest>
#include <vector>

#include "controls/rulerbox.h"
#include "controlstest.h"
#include "platform/syscolors.h"

using vx::TRulerBox;
using vxtest::Px;

namespace {

int BandOf(const TRulerBox& r) {
  return static_cast<int>(QFontInfo(vxtest::LabelFontOf(r)).pixelSize() * 1.7) + 3;
}

vx::TColor Ink(const TRulerBox& r) {
  const QColor c = r.palette().color(QPalette::WindowText);
  return c.red() | (c.green() << 8) | (c.blue() << 16);
}

// Whether column p of a horizontal ruler (grips up) carries a tick of length len: the
// rows rh - len + 1 .. rh in the ink colour (a label tick below its label's cell, which
// is written after it).
void ExpectTick(const QImage& img, const TRulerBox& r, int p, int len) {
  const int rh = BandOf(r);
  const int top = len == rh / 2
                      ? std::max(rh - len + 1, QFontMetrics(vxtest::LabelFontOf(r)).height())
                      : rh - len + 1;
  ASSERT_LT(top, rh);
  if (len != rh / 2) {
    EXPECT_NE(Px(img, p, top - 1), Ink(r));
  }
  for (int y = top; y <= rh; ++y) ASSERT_EQ(Px(img, p, y), Ink(r)) << p << "," << y;
}

void ExpectNoTick(const QImage& img, const TRulerBox& r, int p) {
  EXPECT_EQ(Px(img, p, BandOf(r)), vx::ColorToRGB(r.RulerColor())) << p;
}

// The label cell as the ruler writes it: filled with the band colour, the text in ink.
void ExpectLabel(const QImage& img, const TRulerBox& r, int p, const QString& text) {
  const QFont f = vxtest::LabelFontOf(r);
  const QFontMetrics fm(f);
  const int tw = fm.horizontalAdvance(text), x0 = p - tw / 2;
  QImage ref(tw, fm.height(), QImage::Format_RGB32);
  const vx::TColor band = vx::ColorToRGB(r.RulerColor());
  ref.fill(QColor(band & 0xFF, (band >> 8) & 0xFF, band >> 16));
  QPainter painter(&ref);
  painter.setFont(f);
  painter.setPen(r.palette().color(QPalette::WindowText));
  painter.drawText(0, fm.ascent(), text);
  painter.end();
  for (int y = 0; y < ref.height(); ++y)
    for (int x = std::max(0, -x0); x < tw && x0 + x < img.width(); ++x)
      ASSERT_EQ(Px(img, x0 + x, y), Px(ref, x, y)) << text.toStdString() << " " << x << "," << y;
}

}  // namespace

TEST(RulerBox, DefaultTicksAndLabels) {
  TRulerBox r;
  EXPECT_EQ(r.width(), 300);
  EXPECT_EQ(r.height(), 40);
  EXPECT_EQ(r.GripsCount(), 1);
  EXPECT_EQ(r.Background(), vx::clBtnFace);
  EXPECT_EQ(r.GripBaseDim(), 12);
  EXPECT_EQ(r.BandHeight(), BandOf(r));
  const QImage img = vxtest::GrabWidget(r);
  const int rh = BandOf(r);
  for (int p = 10; p < 300; p += 10) {
    ExpectTick(img, r, p, p % 40 == 0 ? rh / 2 : rh / 4);
    ExpectNoTick(img, r, p - 5);
  }
  for (int p = 40; p < 300; p += 40) ExpectLabel(img, r, p, QString::number(p));
  ExpectLabel(img, r, 0, QStringLiteral("0"));
}

TEST(RulerBox, ViewPosShiftsTheScale) {
  TRulerBox r;
  r.SetViewPos(15);
  const QImage img = vxtest::GrabWidget(r);
  // Ticks at values 10, 20, ... are drawn at -5, 5, 15 ...; labels at 0, 40 ... at -15, 25.
  for (int p = 5; p < 300; p += 10)
    ExpectTick(img, r, p, (p + 15) % 40 == 0 ? BandOf(r) / 2 : BandOf(r) / 4);
  ExpectNoTick(img, r, 10);
  ExpectNoTick(img, r, 0);
  ExpectLabel(img, r, 25, QStringLiteral("40"));
  ExpectLabel(img, r, 65, QStringLiteral("80"));
}

TEST(RulerBox, LabelTexts) {
  EXPECT_EQ(TRulerBox::LabelText(255, true), "FF");
  EXPECT_EQ(TRulerBox::LabelText(-16, true), "-10");
  EXPECT_EQ(TRulerBox::LabelText(0, true), "0");
  EXPECT_EQ(TRulerBox::LabelText(40, false), "40");
  EXPECT_EQ(TRulerBox::LabelText(-2.5, false), "-2.5");
  EXPECT_EQ(TRulerBox::LabelText(0.1 + 0.2, false), "0.3");
  TRulerBox r;
  r.SetHexLabels(true);
  r.SetLabelFreq(255);
  r.SetGripsCount(0);
  ExpectLabel(vxtest::GrabWidget(r), r, 255, QStringLiteral("FF"));
  r.SetLabelFreq(16);
  r.SetViewPos(-16);
  ExpectLabel(vxtest::GrabWidget(r), r, 0, QStringLiteral("-10"));
}

TEST(RulerBox, ViewLimitsAndFit) {
  TRulerBox r;
  r.SetViewMin(0);
  r.SetViewMax(100);
  EXPECT_EQ(r.GripsMin(0), 0);
  EXPECT_EQ(r.GripsMax(0), 100);
  r.SetViewPos(50);
  EXPECT_EQ(r.ViewPos(), -200);
  r.SetViewPos(-20);
  EXPECT_EQ(r.ViewPos(), 0);
  r.show();
  r.SetFitInView(true);
  EXPECT_EQ(r.DotPerUnit(), 3);
  r.resize(600, 40);
  EXPECT_EQ(r.DotPerUnit(), 6);
}

TEST(RulerBox, GripLimitsFireTwice) {
  TRulerBox r;
  std::vector<std::pair<int, double>> events;
  r.OnRulerPosChange = [&](vx::TObject*, int g) { events.emplace_back(g, r.GripsPos(g)); };
  r.SetGripsMin(0, 10);
  r.SetGripsMax(0, 20);
  events.clear();
  r.SetGripsPos(0, 25);
  EXPECT_EQ(r.GripsPos(0), 20);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0], std::make_pair(0, 20.0));
  EXPECT_EQ(events[1], std::make_pair(0, 20.0));
  r.SetGripsPos(5, 3);  // no such grip
  EXPECT_EQ(r.GripsPos(5), 0);
  EXPECT_EQ(events.size(), 2u);
}

TEST(RulerBox, MouseOnGripsAndBand) {
  TRulerBox r;
  r.show();
  r.SetGripsCount(2);
  r.SetGripsPos(0, 50);
  r.SetGripsPos(1, 150);
  r.SetGripsMin(1, 100);
  r.SetGripsMax(1, 200);
  std::vector<int> clicks, dbl;
  std::vector<double> bandClicks;
  r.OnRulerGripClick = [&](vx::TObject*, int g) { clicks.push_back(g); };
  r.OnRulerGripDblClick = [&](vx::TObject*, int g) { dbl.push_back(g); };
  r.OnRulerClick = [&](vx::TObject*, double p) { bandClicks.push_back(p); };
  vxtest::Click(&r, 150, 36);
  EXPECT_EQ(clicks, std::vector<int>{1});
  // A double click: press, release, second press (the double-click one), release. Each
  // release at the press point is a click.
  vxtest::Click(&r, 50, 36);
  vxtest::Press(&r, 50, 36, Qt::LeftButton, true);
  vxtest::Release(&r, 50, 36);
  EXPECT_EQ(dbl, std::vector<int>{0});
  EXPECT_EQ(clicks, (std::vector<int>{1, 0, 0}));
  vxtest::Click(&r, 80, 5);
  ASSERT_EQ(bandClicks.size(), 1u);
  EXPECT_EQ(bandClicks[0], 80);
  // Dragging grip 1 by its edge keeps the offset, and past its Max stops there.
  vxtest::Press(&r, 152, 36);
  vxtest::Move(&r, 172, 20);
  EXPECT_EQ(r.GripsPos(1), 170);
  vxtest::Move(&r, 290, 20);
  EXPECT_EQ(r.GripsPos(1), 200);
  vxtest::Release(&r, 290, 20);
  EXPECT_EQ(clicks.size(), 3u);
}

TEST(RulerBox, AutoScrollOnePixelAStep) {
  TRulerBox r;
  r.show();
  r.SetViewMin(-30);
  r.SetViewMax(1000);
  // Setting the limits one after the other moved the view to -30; back to the start.
  EXPECT_EQ(r.ViewPos(), -30);
  r.SetViewPos(0);
  r.SetGripsPos(0, 20);
  int events = 0;
  r.OnRulerPosChange = [&](vx::TObject*, int) { ++events; };
  vxtest::Press(&r, 20, 36);
  vxtest::Move(&r, -5, 36);
  EXPECT_TRUE(QTest::qWaitFor([&] { return r.ViewPos() == -30; }, 5000));
  QTest::qWait(30);
  // The view stops at ViewMin; the grip follows the start of the view.
  EXPECT_EQ(r.ViewPos(), -30);
  EXPECT_EQ(r.GripsPos(0), -30);
  EXPECT_GE(events, 30);
  vxtest::Release(&r, -5, 36);
  const int after = events;
  QTest::qWait(50);
  EXPECT_EQ(events, after);
  // Towards higher values: each step moves the view by exactly one pixel.
  vxtest::Press(&r, 0, 36);
  vxtest::Move(&r, 305, 36);
  QTest::qWait(60);
  vxtest::Release(&r, 305, 36);
  const double moved = r.ViewPos() + 30;
  EXPECT_GT(moved, 0);
  EXPECT_EQ(moved, std::trunc(moved));
  // The grip stays on the last pixel: (length + d - 1) / DotPerUnit + the old ViewPos + 1.
  EXPECT_EQ(r.GripsPos(0), r.ViewPos() + 299);
}
