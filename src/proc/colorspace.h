#pragma once
// The colour models of the hue/saturation operations.
//   HSL: doubles, H in [0, 1) as a fraction of a turn, S and L in [0, 1].
//   HSV: integers, H 0..359 degrees, S 0..99, V 0..99.
#include "platform/types.h"

namespace vx {

void RGB2HSL(const TRGB& c, double& h, double& s, double& l);
// H, S and L are clamped to [0, 1] first (hue is clamped, not wrapped); each channel
// is blimit(trunc(value * 255)).
TRGB HSL2RGB(double h, double s, double l);

// Channels go through the 0..99 scale first: round(c / 255 * 99).
void RGB2HSV(const TRGB& c, int& h, int& s, int& v);
// H is clamped to 0..359, S and V to 0..99; each channel is round(c / 99 * 255).
TRGB HSV2RGB(int h, int s, int v);

}  // namespace vx
