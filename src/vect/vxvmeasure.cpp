#include "vect/vxvmeasure.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/arith.h"

namespace vx {

namespace {

// The outline of a very large ellipse is followed with at most this many chords; below
// a radius of about 10000 pixels the count the rule asks for is used unchanged.
constexpr int64_t kMaxEllipseChords = 8192;

double DistToEllipse(const TVXVObject& o, double x, double y) {
  // In 64 bits: imported boxes may span the whole 32-bit range.
  const int64_t rx = Div(int64_t{o.Right} - o.Left, 2);
  const int64_t ry = Div(int64_t{o.Bottom} - o.Top, 2);
  const int64_t n = std::min(
      Trunc(static_cast<double>(std::min(rx, ry)) * 2 * std::numbers::pi) / 8, kMaxEllipseChords);
  if (n < 2) return kVXVFarDistance;
  const double cx = (static_cast<double>(o.Left) + o.Right) / 2;
  const double cy = (static_cast<double>(o.Top) + o.Bottom) / 2;
  double best = kVXVFarDistance;
  double px = cx + static_cast<double>(rx), py = cy;
  for (int64_t k = 1; k <= n; ++k) {
    const double t = 2 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(n);
    const double qx = cx + std::cos(t) * static_cast<double>(rx);
    const double qy = cy + std::sin(t) * static_cast<double>(ry);
    best = std::min(best, DistPtSegment(x, y, px, py, qx, qy));
    px = qx;
    py = qy;
  }
  return best;
}

bool FilledInside(const TVXVObject& o) {
  return o.Kind != vxkBOX || o.BrushStyle != bsClear;
}

double DistToBox(const TVXVObject& o, double x, double y) {
  const TRect b = o.OrderedBox();
  if (x >= b.left && x <= b.right && y >= b.top && y <= b.bottom && FilledInside(o)) return 0;
  const double l = b.left, t = b.top, r = b.right, btm = b.bottom;
  return std::min({DistPtSegment(x, y, l, t, r, t), DistPtSegment(x, y, r, t, r, btm),
                   DistPtSegment(x, y, r, btm, l, btm), DistPtSegment(x, y, l, btm, l, t)});
}

}  // namespace

double DistPtSegment(double px, double py, double x1, double y1, double x2, double y2) {
  const double dx = x2 - x1, dy = y2 - y1;
  const double len2 = dx * dx + dy * dy;
  if (len2 > 0) {
    const double t = ((px - x1) * dx + (py - y1) * dy) / len2;
    if (t >= 0 && t <= 1) return std::abs((px - x1) * dy - (py - y1) * dx) / std::sqrt(len2);
  }
  return std::min(std::hypot(px - x1, py - y1), std::hypot(px - x2, py - y2));
}

double CalcDistPtObj(const TVXVObject& object, double x, double y) {
  switch (object.Kind) {
    case vxkLINE:
      return DistPtSegment(x, y, object.Left, object.Top, object.Right, object.Bottom);
    case vxkELLIPSE:
    case vxkARC:
      return DistToEllipse(object, x, y);
    default:
      return DistToBox(object, x, y);
  }
}

bool BoxesMeet(const TRect& a, const TRect& b) {
  const int al = std::min(a.left, a.right), ar = std::max(a.left, a.right);
  const int at = std::min(a.top, a.bottom), ab = std::max(a.top, a.bottom);
  const int bl = std::min(b.left, b.right), br = std::max(b.left, b.right);
  const int bt = std::min(b.top, b.bottom), bb = std::max(b.top, b.bottom);
  return al <= br && bl <= ar && at <= bb && bt <= ab;
}

double PolygonArea(const std::vector<TPoint>& points) {
  const size_t n = points.size();
  if (n < 3) return 0;
  double sum = 0;
  for (size_t i = 0; i < n; ++i) {
    const TPoint& p = points[i];
    const TPoint& q = points[(i + 1) % n];
    sum += (static_cast<double>(p.x) - q.x) * (static_cast<double>(q.y) + p.y);
  }
  return std::abs(sum) / 2;
}

double PolylineLength(const std::vector<TPoint>& points, bool closed, double coefX, double coefY) {
  const size_t n = points.size();
  if (n < 2) return 0;
  auto edge = [&](const TPoint& p, const TPoint& q) {
    return std::hypot((static_cast<double>(q.x) - p.x) * coefX,
                      (static_cast<double>(q.y) - p.y) * coefY);
  };
  double len = 0;
  for (size_t i = 1; i < n; ++i) len += edge(points[i - 1], points[i]);
  if (closed && n > 2) len += edge(points[n - 1], points[0]);
  return len;
}

double DragLength(int dx, int dy, double zoom, double coefX, double coefY) {
  if (zoom <= 0) return 0;
  return std::hypot(dx * 100 / zoom * coefX, dy * 100 / zoom * coefY);
}

TRect TVXVObject::OrderedBox() const {
  return {std::min(Left, Right), std::min(Top, Bottom), std::max(Left, Right),
          std::max(Top, Bottom)};
}

void TVXVObject::OrderBox() {
  if (Left > Right) std::swap(Left, Right);
  if (Top > Bottom) std::swap(Top, Bottom);
}

}  // namespace vx
