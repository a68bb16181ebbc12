#include "controls/rulerbox.h"

#include <QMouseEvent>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/canvas.h"

namespace vx {

namespace {

// Ticks are never drawn denser than this many per walk: a frequency far below a pixel
// would otherwise take forever and show only a solid band.
constexpr double kMaxTicks = 1e6;

// Up to 15 significant digits, fixed notation unless the exponent is 15 or more or the
// value is below 0.00001, then d.dddE+ddd (at least three exponent digits).
QString GeneralFormat(double v) {
  if (v == 0 || !std::isfinite(v)) return v == 0 ? QStringLiteral("0") : QString::number(v);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", v);
  const char* e = std::strchr(buf, 'e');
  const int exp = std::atoi(e + 1);
  auto trim = [](std::string s) {
    if (s.find('.') == std::string::npos) return s;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
  };
  if (exp >= 15 || exp < -5) {
    std::string mant = trim(std::string(buf, static_cast<size_t>(e - buf)));
    char ex[16];
    std::snprintf(ex, sizeof ex, "E%c%03d", exp < 0 ? '-' : '+', std::abs(exp));
    return QString::fromStdString(mant + ex);
  }
  std::snprintf(buf, sizeof buf, "%.*f", std::max(0, 14 - exp), v);
  return QString::fromStdString(trim(buf));
}

}  // namespace

TRulerBox::TRulerBox(QWidget* parent) : TBufferedControl(parent, 300, 40) {
  grips_.push_back(TGrip{0, background_, gkTriangle, viewMin_, viewMax_});
  scrollTimer_.setInterval(10);
  connect(&scrollTimer_, &QTimer::timeout, this, &TRulerBox::ScrollStep);
  Redraw();
}

// ---- properties ----

void TRulerBox::SetViewPos(double v) {
  viewPos_ = v;
  ApplyViewLimits();
  Update();
}

void TRulerBox::SetDotPerUnit(double v) {
  if (Designing() && fitInView_) return;
  dotPerUnit_ = v;
  Update();
}

void TRulerBox::SetFrequency(double v) {
  frequency_ = v;
  Update();
}

void TRulerBox::SetLabelFreq(double v) {
  labelFreq_ = v;
  Update();
}

void TRulerBox::SetViewMin(double v) {
  viewMin_ = v;
  ApplyViewLimits();
  for (TGrip& g : grips_) g.Min = v;
  Update();
}

void TRulerBox::SetViewMax(double v) {
  viewMax_ = v;
  ApplyViewLimits();
  for (TGrip& g : grips_) g.Max = v;
  Update();
}

void TRulerBox::SetFitInView(bool on) {
  fitInView_ = on;
  Update();
}
void TRulerBox::SetRuler(bool on) {
  ruler_ = on;
  Update();
}
void TRulerBox::SetRulerDir(TRulerDir d) {
  rulerDir_ = d;
  Update();
}
void TRulerBox::SetGripsDir(TGripsDir d) {
  gripsDir_ = d;
  Update();
}
void TRulerBox::SetGripBaseDim(int d) {
  gripBaseDim_ = d;
  Update();
}
void TRulerBox::SetHexLabels(bool on) {
  hexLabels_ = on;
  Update();
}
void TRulerBox::SetBackground(TColor c) {
  background_ = c;
  Update();
}
void TRulerBox::SetRulerColor(TColor c) {
  rulerColor_ = c;
  Update();
}

void TRulerBox::SetGripsCount(int n) {
  n = std::max(0, n);
  if (taken_ >= n) taken_ = -1;
  grips_.resize(static_cast<size_t>(n), TGrip{0, background_, gkTriangle, viewMin_, viewMax_});
  Update();
}

double TRulerBox::GripsPos(int i) const {
  return i >= 0 && i < GripsCount() ? grips_[size_t(i)].Pos : 0;
}
TColor TRulerBox::GripsCol(int i) const {
  return i >= 0 && i < GripsCount() ? grips_[size_t(i)].Color : 0;
}
TRulerBox::TGripKind TRulerBox::GripsKind(int i) const {
  return i >= 0 && i < GripsCount() ? grips_[size_t(i)].Kind : gkTriangle;
}
double TRulerBox::GripsMin(int i) const {
  return i >= 0 && i < GripsCount() ? grips_[size_t(i)].Min : 0;
}
double TRulerBox::GripsMax(int i) const {
  return i >= 0 && i < GripsCount() ? grips_[size_t(i)].Max : 0;
}

void TRulerBox::SetGripsPos(int i, double pos) {
  if (i < 0 || i >= GripsCount()) return;
  grips_[size_t(i)].Pos = pos;
  ApplyGripLimits(i);
  OnRulerPosChange(this, i);
  Update();
}

void TRulerBox::SetGripsCol(int i, TColor c) {
  if (i < 0 || i >= GripsCount()) return;
  grips_[size_t(i)].Color = c;
  Update();
}

void TRulerBox::SetGripsKind(int i, TGripKind k) {
  if (i < 0 || i >= GripsCount()) return;
  grips_[size_t(i)].Kind = k;
  Update();
}

void TRulerBox::SetGripsMin(int i, double v) {
  if (i < 0 || i >= GripsCount()) return;
  grips_[size_t(i)].Min = v;
  for (int g = 0; g < GripsCount(); ++g) ApplyGripLimits(g);
  Update();
}

void TRulerBox::SetGripsMax(int i, double v) {
  if (i < 0 || i >= GripsCount()) return;
  grips_[size_t(i)].Max = v;
  for (int g = 0; g < GripsCount(); ++g) ApplyGripLimits(g);
  Update();
}

// ---- geometry ----

void TRulerBox::ApplyViewLimits() {
  if (!(viewMin_ < viewMax_)) return;
  const double last = viewMax_ - AxisLength() / dotPerUnit_;
  if (viewPos_ < viewMin_)
    viewPos_ = viewMin_;
  else if (viewPos_ > last)
    viewPos_ = last;
}

void TRulerBox::ApplyGripLimits(int i) {
  const TGrip& g = grips_[size_t(i)];
  if (!(g.Max > g.Min)) return;
  if (g.Pos < g.Min)
    SetGripsPos(i, g.Min);
  else if (g.Pos > g.Max)
    SetGripsPos(i, g.Max);
}

int TRulerBox::BandHeight() const {
  return ruler_ ? static_cast<int>(FontHeight() * 1.7) + 3 : 0;
}

int TRulerBox::GripScreenPos(int i) const {
  if (Designing()) return i * (gripBaseDim_ + 5);
  return RoundEven((grips_[size_t(i)].Pos - viewPos_) * dotPerUnit_);
}

std::vector<TPoint> TRulerBox::GripPoints(int i) const {
  const int b = GripScreenPos(i), h = gripBaseDim_ / 2, q = gripBaseDim_ / 4;
  const int rh = BandHeight();
  const int across = Horizontal() ? buffer_.Height() : buffer_.Width();
  const bool up = gripsDir_ == gdUp;
  const int base = up ? across - 1 : 0;
  const int apex = up ? rh : across - 1 - rh;
  const int m = up ? apex + (base - apex) / 3 : base + (apex - base) / 3 * 2;
  const int m2 = up ? apex + (base - apex) / 2 : base + (apex - base) / 2;
  std::vector<TPoint> pts;
  switch (grips_[size_t(i)].Kind) {
    case gkTriangle:
      pts = {{b - h, base}, {b + h, base}, {b, apex}};
      break;
    case gkLeftTriangle:
      pts = {{b - h, base}, {b, base}, {b, apex}};
      break;
    case gkRightTriangle:
      pts = {{b, base}, {b + h, base}, {b, apex}};
      break;
    case gkArrow:
      pts = {{b - q, base}, {b + q, base}, {b + q, m}, {b + h, m},
             {b, apex},     {b - h, m},    {b - q, m}};
      break;
    case gkArrow2:
      pts = {{b - h, base}, {b + h, base}, {b + h, m2}, {b, apex}, {b - h, m2}};
      break;
  }
  if (!Horizontal())
    for (TPoint& p : pts) std::swap(p.x, p.y);
  return pts;
}

QString TRulerBox::LabelText(double value, bool hex) {
  if (!hex) return GeneralFormat(value);
  const double mag = std::trunc(std::fabs(value));
  QString s = mag < 1.8e19 ? QString::number(static_cast<qulonglong>(mag), 16).toUpper()
                           : QStringLiteral("FFFFFFFFFFFFFFFF");
  return value < 0 ? QStringLiteral("-") + s : s;
}

// ---- drawing ----

void TRulerBox::Redraw() {
  if (fitInView_ && viewMax_ > viewMin_) {
    dotPerUnit_ = AxisLength() / (viewMax_ - viewMin_);
    ApplyViewLimits();
  }
  if (buffer_.Empty()) return;
  DrawGripArea();
  if (ruler_) DrawBand();
}

void TRulerBox::DrawGripArea() {
  const int w = buffer_.Width(), h = buffer_.Height(), rh = BandHeight();
  const bool up = gripsDir_ == gdUp;
  if (Horizontal())
    up ? FillRect(0, rh, w, h, background_) : FillRect(0, 0, w, h - rh, background_);
  else
    up ? FillRect(rh, 0, w, h, background_) : FillRect(0, 0, w - rh, h, background_);
  TCanvas& canvas = buffer_.Canvas();
  for (int i = 0; i < GripsCount(); ++i) {
    const std::vector<TPoint> pts = GripPoints(i);
    canvas.Brush().Color = grips_[size_t(i)].Color;
    canvas.Brush().Style = bsSolid;
    canvas.Polygon(pts);
    canvas.Pen().Color = clBlack;
    canvas.Pen().Width = 1;
    for (size_t k = 0; k < pts.size(); ++k) {
      const TPoint& a = pts[k];
      const TPoint& z = pts[(k + 1) % pts.size()];
      canvas.Line(a.x, a.y, z.x, z.y);
    }
  }
}

void TRulerBox::DrawBand() {
  const int w = buffer_.Width(), h = buffer_.Height(), rh = BandHeight();
  const bool up = gripsDir_ == gdUp;
  if (Horizontal())
    up ? FillRect(0, 0, w, rh + 1, rulerColor_) : FillRect(0, h - rh, w, h, rulerColor_);
  else
    up ? FillRect(0, 0, rh, h, rulerColor_) : FillRect(w - rh, 0, w, h, rulerColor_);
  DrawScale(frequency_, rh / 4, false);
  DrawScale(labelFreq_, rh / 2, true);
}

void TRulerBox::DrawScale(double freq, int tickLength, bool labels) {
  if (!(freq > 0) || !(dotPerUnit_ > 0)) return;
  const double count = std::trunc(AxisLength() / dotPerUnit_ / freq) + 2;
  if (!(count <= kMaxTicks)) return;
  const double t0 = viewPos_ - freq * (viewPos_ / freq - std::trunc(viewPos_ / freq));
  for (int k = 0; k < static_cast<int>(count); ++k) {
    const double value = t0 + k * freq;
    const int p = RoundEven((value - viewPos_) * dotPerUnit_);
    DrawTick(p, tickLength);
    if (labels) DrawLabel(p, LabelText(value, hexLabels_));
  }
}

void TRulerBox::DrawTick(int p, int length) {
  const int w = buffer_.Width(), h = buffer_.Height(), rh = BandHeight();
  const bool up = gripsDir_ == gdUp;
  TCanvas& canvas = buffer_.Canvas();
  canvas.Pen().Color = FontColor();
  canvas.Pen().Width = 1;
  if (Horizontal())
    up ? canvas.Line(p, rh, p, rh - length) : canvas.Line(p, h - rh, p, h - rh + length);
  else
    up ? canvas.Line(rh, p, rh - length, p) : canvas.Line(w - rh, p, w - rh + length, p);
}

void TRulerBox::DrawLabel(int p, const QString& text) {
  const int tw = TextWidth(text);
  const bool up = gripsDir_ == gdUp;
  if (Horizontal())
    WriteText(p - tw / 2, up ? 0 : buffer_.Height() - FontHeight(), text, rulerColor_);
  else if (up)
    WriteTurnedText(0, p + tw / 2, text, rulerColor_, true);
  else
    WriteTurnedText(buffer_.Width(), p - tw / 2, text, rulerColor_, false);
}

// ---- mouse ----

int TRulerBox::GripAt(QPoint p) const {
  for (int i = GripsCount() - 1; i >= 0; --i) {
    const std::vector<TPoint> pts = GripPoints(i);
    int l = pts[0].x, r = pts[0].x, t = pts[0].y, b = pts[0].y;
    for (const TPoint& q : pts) {
      l = std::min(l, q.x);
      r = std::max(r, q.x);
      t = std::min(t, q.y);
      b = std::max(b, q.y);
    }
    if (p.x() >= l && p.x() < r && p.y() >= t && p.y() < b) return i;
  }
  return -1;
}

void TRulerBox::Press(QMouseEvent* event, bool dbl) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint p = event->position().toPoint();
  buttonDown_ = true;
  downPoint_ = p;
  lastAlong_ = Along(p);
  taken_ = GripAt(p);
  if (taken_ >= 0) {
    if (dbl) OnRulerGripDblClick(this, taken_);
    downGripScreen_ = GripScreenPos(taken_);
  } else if (dotPerUnit_ != 0) {
    OnRulerClick(this, Along(p) / dotPerUnit_ + viewPos_);
  }
}

void TRulerBox::mousePressEvent(QMouseEvent* event) {
  Press(event, false);
}

void TRulerBox::mouseDoubleClickEvent(QMouseEvent* event) {
  Press(event, true);
}

bool TRulerBox::PastEnd(int c, bool entering) const {
  // Entering the scroll a horizontal ruler needs the mouse past the last column, a
  // vertical one on or past the last row; scrolling goes on while at or past the end.
  if (!entering) return c >= AxisLength();
  return Horizontal() ? c > AxisLength() : c >= AxisLength();
}

void TRulerBox::mouseMoveEvent(QMouseEvent* event) {
  if (!buttonDown_ || !(event->buttons() & Qt::LeftButton) || taken_ < 0 || dotPerUnit_ == 0)
    return;
  const int c = Along(event->position().toPoint());
  lastAlong_ = c;
  if (BeforeStart(c) || PastEnd(c, true)) {
    if (scrollDir_ == 0) {
      scrollDir_ = BeforeStart(c) ? -1 : 1;
      ScrollStep();
      if (scrollDir_ != 0) scrollTimer_.start();
    }
    return;
  }
  scrollDir_ = 0;
  scrollTimer_.stop();
  const int d = downGripScreen_ - Along(downPoint_);
  SetGripsPos(taken_, (c + d) / dotPerUnit_ + viewPos_);
}

void TRulerBox::ScrollStep() {
  const bool going = buttonDown_ && taken_ >= 0 && dotPerUnit_ != 0 &&
                     (scrollDir_ < 0 ? BeforeStart(lastAlong_) : PastEnd(lastAlong_, false));
  if (!going) {
    scrollDir_ = 0;
    scrollTimer_.stop();
    return;
  }
  const int d = downGripScreen_ - Along(downPoint_);
  const double pixel = 1 / dotPerUnit_;
  TGrip& g = grips_[size_t(taken_)];
  if (scrollDir_ < 0) {
    g.Pos = d / dotPerUnit_ + viewPos_ - pixel;
    ApplyGripLimits(taken_);
    viewPos_ -= pixel;
  } else {
    g.Pos = (AxisLength() + d - 1) / dotPerUnit_ + viewPos_ + pixel;
    ApplyGripLimits(taken_);
    viewPos_ += pixel;
  }
  ApplyViewLimits();
  Refresh();
  OnRulerPosChange(this, taken_);
}

void TRulerBox::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  scrollTimer_.stop();
  scrollDir_ = 0;
  if (taken_ >= 0 && event->position().toPoint() == downPoint_) OnRulerGripClick(this, taken_);
  taken_ = -1;
  buttonDown_ = false;
}

}  // namespace vx
