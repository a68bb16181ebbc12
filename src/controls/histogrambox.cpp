#include "controls/histogrambox.h"

#include <algorithm>
#include <random>

#include "platform/canvas.h"
#include "proc/vantixproc.h"

namespace vx {

namespace {

using THist = std::array<THistogramItem, 256>;

// The channels in drawing order, each with its pen and its counter.
struct TChannel {
  THistogramBox::THistogramKindItem kind;
  TColor pen;
  uint32_t THistogramItem::*count;
};
constexpr TChannel kChannels[] = {
    {THistogramBox::hkRed, 0x0000FF, &THistogramItem::R},
    {THistogramBox::hkGreen, 0x008000, &THistogramItem::G},
    {THistogramBox::hkBlue, 0xFF0000, &THistogramItem::B},
    {THistogramBox::hkGray, 0x000000, &THistogramItem::Gray},
};

// Histogram entry shown in plot column x of pw.
int EntryOf(int x, int pw) {
  return std::min(255, static_cast<int>(static_cast<double>(x) / pw * 256));
}

// Top of the bar or line point for a counter: ph - round(count / max * ph).
int Height(uint32_t count, uint32_t max, int ph) {
  return RoundEven(static_cast<double>(count) / max * ph);
}

}  // namespace

THistogramBox::THistogramBox(QWidget* parent) : TBufferedControl(parent, 256, 105) {
  Redraw();
}

THistogramBox::~THistogramBox() {
  if (proc_) proc_->RemoveFreeNotification(this);
}

void THistogramBox::SetAttachedVantixProc(TVantixProc* proc) {
  if (proc_ == proc) return;
  if (proc_) proc_->RemoveFreeNotification(this);
  proc_ = proc;
  if (proc_) proc_->FreeNotification(this);
}

void THistogramBox::Notification(TFreeNotifier* object, TOperation operation) {
  TFreeNotifier::Notification(object, operation);
  if (operation == opRemove && object == proc_) proc_ = nullptr;
}

void THistogramBox::SetBackground(TColor c) {
  background_ = c;
  Update();
}

void THistogramBox::SetHistogramKindFlags(HistogramKinds k) {
  if (kind_ == k) return;
  kind_ = k;
  Update();
}

void THistogramBox::SetLabelFlags(HistogramLabels l) {
  if (labels_ == l) return;
  labels_ = l;
  Update();
}

void THistogramBox::SetCompBar(bool on) {
  if (compBar_ == on) return;
  compBar_ = on;
  Update();
}

void THistogramBox::SetHistogramStyle(THistogramStyle s) {
  if (style_ == s) return;
  style_ = s;
  Update();
}

bool THistogramBox::TakeHistogram(THist& h) const {
  h = {};
  if (Designing()) {
    // Sample content for the form designer: any plausible histogram will do.
    std::minstd_rand rnd(12345);
    for (THistogramItem& e : h) {
      e.R = rnd() % 256;
      e.G = rnd() % 256;
      e.B = rnd() % 256;
      e.Gray = rnd() % 256;
    }
    return true;
  }
  if (!proc_ || !proc_->AttachedBitmap()) return false;
  proc_->GetHistogram(h);
  return true;
}

uint32_t THistogramBox::MaxCount(const THist& h) const {
  uint32_t max = 0;
  for (const TChannel& ch : kChannels) {
    if (!kind_.testFlag(ch.kind)) continue;
    for (const THistogramItem& e : h) max = std::max(max, e.*ch.count);
  }
  return max;
}

void THistogramBox::DrawVerticalLabels(TPlot& plot, uint32_t max) {
  const QString top = QString::number(max);
  WriteText(0, 0, top, background_);
  WriteText(0, plot.ph / 2, QString::number(max / 2), background_);
  const int tw = TextWidth(top);
  plot.pw -= tw + 2;
  plot.lm += tw + 2;
}

void THistogramBox::DrawHorizontalLabels(TPlot& plot, TColor axisColor) {
  const int fh = FontHeight();
  const int th = TextHeight();
  const int y = plot.ph - fh - 1;
  for (int i = 0; i < 4; ++i)
    WriteText(plot.lm + RoundEven(i * 64 / 256.0 * plot.pw), y, QString::number(i * 64),
              background_);
  const QString last = QStringLiteral("255");
  WriteText(plot.lm + plot.pw - TextWidth(last), y, last, background_);
  plot.ph -= th + 2;
  TCanvas& canvas = buffer_.Canvas();
  canvas.Pen().Color = axisColor;
  canvas.Pen().Width = 1;
  canvas.Line(plot.lm - 1, 0, plot.lm - 1, plot.ph);
  canvas.Line(plot.lm - 1, plot.ph, plot.lm + plot.pw, plot.ph);
}

void THistogramBox::DrawRamp(const TPlot& plot) {
  const bool red = kind_.testFlag(hkRed) || kind_.testFlag(hkGray);
  const bool green = kind_.testFlag(hkGreen) || kind_.testFlag(hkGray);
  const bool blue = kind_.testFlag(hkBlue) || kind_.testFlag(hkGray);
  const int h = buffer_.Height(), w = buffer_.Width();
  for (int row = std::max(0, h - plot.bar); row < h; ++row) {
    uint8_t* line = buffer_.ScanLine(row);
    for (int u = 0; u < plot.pw; ++u) {
      const int x = plot.lm + u;
      if (x < 0 || x >= w) continue;
      const auto level =
          static_cast<uint8_t>(std::min(255, RoundEven(static_cast<double>(u) / plot.pw * 256)));
      uint8_t* p = line + 3 * x;
      p[0] = blue ? level : 0;
      p[1] = green ? level : 0;
      p[2] = red ? level : 0;
    }
  }
}

void THistogramBox::DrawBars(const TPlot& plot, const THist& h, uint32_t max) {
  TCanvas& canvas = buffer_.Canvas();
  canvas.Pen().Width = 1;
  for (int x = 0; x < plot.pw; ++x) {
    const THistogramItem& e = h[static_cast<size_t>(EntryOf(x, plot.pw))];
    for (const TChannel& ch : kChannels) {
      if (!kind_.testFlag(ch.kind)) continue;
      canvas.Pen().Color = ch.pen;
      canvas.Line(plot.lm + x, plot.ph - 1, plot.lm + x,
                  plot.ph - Height(e.*ch.count, max, plot.ph) - 2);
    }
  }
}

void THistogramBox::DrawLines(const TPlot& plot, const THist& h, uint32_t max) {
  TCanvas& canvas = buffer_.Canvas();
  canvas.Pen().Width = 1;
  for (const TChannel& ch : kChannels) {
    if (!kind_.testFlag(ch.kind)) continue;
    canvas.Pen().Color = ch.pen;
    int px = plot.lm, py = plot.ph - 1;
    for (int x = 0; x < plot.pw; ++x) {
      const THistogramItem& e = h[static_cast<size_t>(EntryOf(x, plot.pw))];
      const int nx = plot.lm + x, ny = plot.ph - Height(e.*ch.count, max, plot.ph) - 1;
      canvas.Line(px, py, nx, ny);
      px = nx;
      py = ny;
    }
  }
}

void THistogramBox::Redraw() {
  FillRect(0, 0, buffer_.Width(), buffer_.Height(), background_);
  if (buffer_.Empty()) return;
  THist h;
  if (!TakeHistogram(h)) return;
  const uint32_t max = MaxCount(h);
  if (max == 0) return;
  TPlot plot;
  plot.pw = buffer_.Width();
  plot.ph = buffer_.Height();
  plot.bar = static_cast<int>(FontHeight() * 1.2);
  if (compBar_) plot.ph -= plot.bar + 2;
  TColor axisColor = clBlack;
  if (labels_.testFlag(hlVertical)) {
    DrawVerticalLabels(plot, max);
    axisColor = FontColor();
  }
  if (labels_.testFlag(hlHorizontal)) DrawHorizontalLabels(plot, axisColor);
  leftMargin_ = plot.lm;
  if (plot.pw <= 0 || plot.ph <= 0) return;
  if (compBar_) DrawRamp(plot);
  if (style_ == hsBars)
    DrawBars(plot, h, max);
  else
    DrawLines(plot, h, max);
}

}  // namespace vx
