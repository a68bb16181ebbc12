#pragma once
// The library's own metafile player: WMF (with or without the placeable header) and EMF
// records played through a GDI-like state machine onto cairo.
#include <cstdint>
#include <memory>
#include <vector>

#include "io/metafile.h"

namespace vx {

class TBitmap;

struct TMetafileInfo {
  bool enhanced = false;
  int width = 0, height = 0;  // natural size in pixels at the screen resolution
};

// Reads the header of a metafile held in memory; false when it is none.
bool ProbeMetafile(const std::vector<uint8_t>& bytes, TMetafileInfo& info);

// Draws the metafile scaled to width x height over what target (pf24bit, at least that
// large) already holds, at (0, 0). False when the bytes are no metafile or the target
// cannot be drawn on.
bool RenderMetafile(const std::vector<uint8_t>& bytes, TBitmap& target, int width, int height);

// The player ImportMetafile uses unless the application registers another.
std::unique_ptr<IMetafilePlayer> MakeMetafilePlayer();

}  // namespace vx
