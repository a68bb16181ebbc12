#pragma once
// Resolution of system colours to RGB. A display unit may replace the table with the
// desktop's own colours; until then the classic defaults apply.
#include "platform/types.h"

namespace vx {

// Resolves a system colour (high bit set) to its current RGB value; other colours
// are returned as they are.
TColor ColorToRGB(TColor color);

// Replaces the RGB value (0x00BBGGRR) of system colour index (0..30).
void SetSystemColor(int index, TColor rgb);

}  // namespace vx
