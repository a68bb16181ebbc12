#pragma once
// Metafile import goes through a player that an application (or the widget library)
// registers; without one, importing a metafile fails cleanly.
#include <memory>
#include <string>

namespace vx {

class TCanvas;

class IMetafilePlayer {
 public:
  virtual ~IMetafilePlayer() = default;
  // Opens a metafile; returns false when it cannot be read. width and height receive
  // its natural size in pixels; enhanced tells the enhanced format from the old one.
  virtual bool Load(const std::string& fileName, int& width, int& height, bool& enhanced) = 0;
  // Draws the loaded metafile scaled to width x height at (0, 0).
  virtual void Play(TCanvas& canvas, int width, int height) = 0;
};

// Registers the player; nullptr removes it. Returns the previous one.
std::unique_ptr<IMetafilePlayer> SetMetafilePlayer(std::unique_ptr<IMetafilePlayer> player);
IMetafilePlayer* MetafilePlayer();

}  // namespace vx
