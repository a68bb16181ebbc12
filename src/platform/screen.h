#pragma once
// Screen resolution in dots per inch. 96 until a display unit sets the real values;
// readers use them for images whose files carry no resolution.
namespace vx {
extern int gSystemDPIX;
extern int gSystemDPIY;
}  // namespace vx
