#pragma once
// Turning an image the way its file says it is meant to be seen: the eight
// orientations of the TIFF Orientation tag (and of EXIF, which took them over).
#include "platform/bitmap.h"

namespace vx {

// Brings stored pixels to their intended view. orientation, as the tag gives it
// (row 0 / column 0 of the stored image seen at):
//   1 top / left: nothing to do         5 left / top: transpose
//   2 top / right: mirror left-right    6 right / top: a quarter turn clockwise
//   3 bottom / right: half turn         7 right / bottom: transverse
//   4 bottom / left: mirror top-bottom  8 left / bottom: a quarter turn counter-clockwise
// 5 to 8 swap width and height. Values outside 1..8 count as 1. pf24bit and pf1bit
// images take every orientation; other formats only 1 to 4 (false, unchanged, for 5 to
// 8, which need a quarter turn).
bool ApplyOrientation(TBitmap& bitmap, int orientation);

}  // namespace vx
