#pragma once
// One vector object over an image: its box in image pixels, its kind, how it is drawn,
// and for frames the objects it holds. The store (vxvstore.h) keeps these by value.
#include <cstdint>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "platform/canvas.h"
#include "platform/set.h"
#include "platform/types.h"
#include "vect/vxvfont.h"

namespace vx {

enum class TVXVObjectKind : uint8_t {
  vxkFRAME,
  vxkLINE,
  vxkBOX,
  vxkELLIPSE,
  vxkARC,
  vxkBITMAP,
  vxkTEXT
};
using enum TVXVObjectKind;
inline constexpr int kVXVKindCount = 7;

// Line ends.
enum class TVXShape : uint8_t { vxsNONE, vxsINARROW, vxsOUTARROW };
using enum TVXShape;
inline constexpr int kVXVShapeCount = 3;

// Pen styles as stored in VXV files (one byte).
enum class TPenStyle : uint8_t {
  psSolid,
  psDash,
  psDot,
  psDashDot,
  psDashDotDot,
  psClear,
  psInsideFrame,
  psUserStyle,
  psAlternate
};
using enum TPenStyle;
inline constexpr int kPenStyleCount = 9;
inline constexpr int kBrushStyleCount = 8;  // bsSolid .. bsDiagCross (platform/canvas.h)

enum class TVXVStyleItem { vxvsSelectable, vxvsMoveable, vxvsSizeable, vxvsVisible };
using enum TVXVStyleItem;
using TVXVStyle = TSet<TVXVStyleItem>;
inline constexpr TVXVStyle kVXVStyleAll{vxvsSelectable, vxvsMoveable, vxvsSizeable, vxvsVisible};

// Special indices every object operation accepts, besides slots 0 .. SlotCount() - 1.
inline constexpr int32_t kVXVTemplate = -1;  // the new-object template
inline constexpr int32_t kVXVLastSlot = -2;  // the last slot of the array
inline constexpr int32_t kVXVRoot = -3;      // the root frame
inline constexpr int32_t kVXVNone = -4;      // no object

inline constexpr int32_t kTextAlignLeft = 0;
inline constexpr int32_t kTextAlignRight = 1;
inline constexpr int32_t kTextAlignCenter = 2;

struct TVXVObject {
  // Box in image pixels. A line runs from (Left, Top) to (Right, Bottom) in either
  // direction; every other kind is ordered (Left <= Right, Top <= Bottom) when added.
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  TVXVObjectKind Kind = vxkFRAME;
  // Frame holding the object: kVXVRoot for top-level objects, a slot, or kVXVNone (the
  // root, the template, and unused slots).
  int32_t Parent = kVXVNone;
  // Frames only: the children in drawing order (first drawn first). ChildCount is always
  // Children.size(); the store keeps both.
  int32_t ChildCount = 0;
  std::vector<int32_t> Children;
  TVXShape BeginShape = vxsNONE;
  TVXShape EndShape = vxsNONE;
  int32_t ShapeWidth = 10;    // arrow head base width, image pixels
  int32_t ShapeHeight = 20;   // arrow head length, image pixels
  TColor PenColor = clWhite;  // also the text colour
  TPenStyle PenStyle = psSolid;
  int32_t PenWidth = 1;
  TColor BrushColor = clWhite;
  TBrushStyle BrushStyle = bsClear;
  double ArcBegin = 0;                   // radians
  double ArcEnd = 2 * std::numbers::pi;  // radians
  int32_t BitmapIndex = -1;              // entry of the store's bitmap table, -1 none
  std::string Text;                      // text objects; empty = none
  std::optional<TVXLogFont> Font;        // none possible
  uint8_t TextAlign = kTextAlignLeft;    // 0 left, 1 right, 2 centre
  std::string Name;                      // empty = none
  int32_t ID = 0;
  TVXVStyle Style = kVXVStyleAll;  // only visible objects are drawn

  bool IsFrame() const { return Kind == vxkFRAME; }
  bool Visible() const { return Style.Contains(vxvsVisible); }
  // The box with Left <= Right and Top <= Bottom (a line's box may be stored reversed).
  TRect OrderedBox() const;
  // Orders the box in place.
  void OrderBox();
};

}  // namespace vx
