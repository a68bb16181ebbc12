#pragma once
// The load and save steps the subcommands share: progress bar, and a message naming the
// file and the step when it fails.
#include <string>

namespace vx {
class TVantixIO;
}

namespace vxtool {

// Loads fileName into the component's bitmap; false (after a message) on failure.
bool LoadWithProgress(vx::TVantixIO& io, const std::string& fileName);
// Saves the component's bitmap to fileName; false (after a message) on failure.
bool SaveWithProgress(vx::TVantixIO& io, const std::string& fileName);

}  // namespace vxtool
