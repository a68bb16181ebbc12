#include "proc/colorspace.h"

#include "core/arith.h"
#include "core/vxdefs.h"

namespace vx {

namespace {

double Clamp01(double v) {
  return v < 0 ? 0 : v > 1 ? 1 : v;
}

// One channel of the HSL to RGB conversion for hue h (a fraction of a turn).
double HueToChannel(double m1, double m2, double h) {
  if (h < 0)
    h += 1;
  else if (h > 1)
    h -= 1;
  if (6 * h < 1) return m1 + (m2 - m1) * 6 * h;
  if (2 * h < 1) return m2;
  if (3 * h < 2) return m1 + (m2 - m1) * (2.0 / 3.0 - h) * 6;
  return m1;
}

uint8_t UnitToByte(double v) {
  return blimit(TruncI(v * 255));
}

int To99(uint8_t c) {
  return RoundI(c / 255.0 * 99);
}

uint8_t From99(int c) {
  return static_cast<uint8_t>(RoundI(c / 99.0 * 255));
}

}  // namespace

void RGB2HSL(const TRGB& c, double& h, double& s, double& l) {
  const double r = c.r / 255.0, g = c.g / 255.0, b = c.b / 255.0;
  const double mx = dmax(r, dmax(g, b)), mn = dmin(r, dmin(g, b));
  l = (mx + mn) / 2;
  if (mx == mn) {
    s = 0;
    h = 0;
    return;
  }
  const double delta = mx - mn;
  s = l < 0.5 ? delta / (mx + mn) : delta / (2 - mx - mn);
  double hh;
  if (r == mx)
    hh = (g - b) / delta;
  else if (g == mx)
    hh = 2 + (b - r) / delta;
  else
    hh = 4 + (r - g) / delta;
  h = hh / 6;
  if (h < 0) h += 1;
}

TRGB HSL2RGB(double h, double s, double l) {
  h = Clamp01(h);
  s = Clamp01(s);
  l = Clamp01(l);
  if (s == 0) {
    const uint8_t v = UnitToByte(l);
    return CreateRGB(v, v, v);
  }
  const double m2 = l <= 0.5 ? l * (1 + s) : l + s - l * s;
  const double m1 = 2 * l - m2;
  return CreateRGB(UnitToByte(HueToChannel(m1, m2, h + 1.0 / 3.0)),
                   UnitToByte(HueToChannel(m1, m2, h)),
                   UnitToByte(HueToChannel(m1, m2, h - 1.0 / 3.0)));
}

void RGB2HSV(const TRGB& c, int& h, int& s, int& v) {
  const int r = To99(c.r), g = To99(c.g), b = To99(c.b);
  const int mx = imax(r, imax(g, b)), mn = imin(r, imin(g, b));
  v = mx;
  s = mx == 0 ? 0 : (mx - mn) * 99 / mx;
  if (s == 0) {
    h = 0;
    return;
  }
  const int delta = mx - mn;
  if (r == mx)
    h = (g - b) * 60 / delta;
  else if (g == mx)
    h = (b - r) * 60 / delta + 120;
  else
    h = (r - g) * 60 / delta + 240;
  if (h < 0) h += 360;
}

TRGB HSV2RGB(int h, int s, int v) {
  h = ilimit(h, 0, 359);
  s = ilimit(s, 0, 99);
  v = ilimit(v, 0, 99);
  if (s == 0) {
    const uint8_t c = From99(v);
    return CreateRGB(c, c, c);
  }
  const int i = h / 60, f = h % 60;
  const int p = v - s * v / 99;
  const int q = v - f * s * v / 5940;
  const int t = v - (60 - f) * s * v / 5940;
  int r, g, b;
  switch (i) {
    case 0:
      r = v, g = t, b = p;
      break;
    case 1:
      r = q, g = v, b = p;
      break;
    case 2:
      r = p, g = v, b = t;
      break;
    case 3:
      r = p, g = q, b = v;
      break;
    case 4:
      r = t, g = p, b = v;
      break;
    default:
      r = v, g = p, b = q;
      break;
  }
  return CreateRGB(From99(r), From99(g), From99(b));
}

}  // namespace vx
