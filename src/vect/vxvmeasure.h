#pragma once
// Measurement geometry of the vector layer that needs no widget: distances from a point
// to objects, polygon areas and polyline lengths, in image pixels or scaled units.
#include <vector>

#include "platform/types.h"
#include "vect/vxvobject.h"

namespace vx {

// Distance reported for an ellipse too small to be outlined.
inline constexpr double kVXVFarDistance = 10000000;

// Distance from (px, py) to the segment (x1, y1)-(x2, y2); to the nearer end when the
// foot of the perpendicular falls outside it.
double DistPtSegment(double px, double py, double x1, double y1, double x2, double y2);

// Distance from (x, y) to an object: a line's segment; the outline of an ellipse or arc
// (its whole ellipse, as chords); the edges of a box, bitmap, text or frame, 0 inside
// any of them except a box with a clear brush.
double CalcDistPtObj(const TVXVObject& object, double x, double y);

// Whether two inclusive rectangles (any corner order) share a pixel.
bool BoxesMeet(const TRect& a, const TRect& b);

// Shoelace area of the polygon (closing edge included), 0 below three vertices.
double PolygonArea(const std::vector<TPoint>& points);
// Sum of the edge lengths sqrt((dx * coefX)^2 + (dy * coefY)^2) over consecutive
// vertices, plus the closing edge when closed and there are more than two.
double PolylineLength(const std::vector<TPoint>& points, bool closed, double coefX, double coefY);
// Length of a drag of (dx, dy) client pixels at zoom (percent).
double DragLength(int dx, int dy, double zoom, double coefX, double coefY);

}  // namespace vx
