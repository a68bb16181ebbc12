// The Ctrl constraint of polygon selection: snapping to the anchor's row or column,
// and the near-45-degree cases by quadrant.
#include <gtest/gtest.h>

#include "core/vxutils.h"

using namespace vx;

namespace {

TEST(CastPolySel, QuadrantTable) {
  struct Case {
    int x, y;    // mouse
    int ex, ey;  // constrained
    const char* why;
  };
  // Anchor (100, 100); client y grows downwards.
  const Case cases[] = {
      {110, 150, 100, 150, "steep: onto the column"},
      {150, 110, 150, 100, "flat: onto the row"},
      {120, 130, 130, 130, "right and below, f > e: x grows"},
      {130, 120, 130, 130, "right and below, f <= e: y grows"},
      {80, 70, 80, 80, "left and above, f > e: y moves down"},
      {70, 80, 80, 80, "left and above, f <= e: x moves right"},
      {80, 130, 70, 130, "left, not above, f > e: x moves left"},
      {70, 120, 70, 130, "left, not above, f <= e: y moves down"},
      {120, 70, 130, 70, "not left, above, f > e: x moves right"},
      {130, 80, 130, 70, "not left, above, f <= e: y moves up"},
      {100, 80, 120, 80, "straight above counts as not left"},
      {100, 120, 100, 120, "straight below stays"},
      {120, 100, 120, 100, "straight right stays"},
      {130, 130, 130, 130, "on the diagonal stays"},
  };
  for (const Case& c : cases) {
    int x = c.x, y = c.y;
    CastPolySelCC(100, 100, x, y);
    EXPECT_EQ(x, c.ex) << c.why;
    EXPECT_EQ(y, c.ey) << c.why;
  }
}

}  // namespace
