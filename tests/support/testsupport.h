#pragma once
// Helpers shared by the test binaries.
#include <cstdint>
#include <string>
#include <vector>

namespace vx {
class TBitmap;
}

namespace vxtest {

// Folder of the shared corpus of real image files.
std::string CorpusDir();
// Path of a corpus file, e.g. CorpusPath("gif/fire.gif").
std::string CorpusPath(const std::string& relative);
// All files under a corpus subfolder whose names end in one of the extensions
// (lower case, with dot); sorted.
std::vector<std::string> CorpusFiles(const std::string& subfolder,
                                     const std::vector<std::string>& extensions);
// A fresh, empty temporary folder for this test process.
std::string TempDir();

// Standard output of a shell command (empty when it cannot be started).
std::string RunCommand(const std::string& cmd);
// Whether a shell command exits with 0 (its output is discarded); used to probe peers.
bool CommandSucceeds(const std::string& cmd);
// A bitmap's pixels as row-major red, green, blue bytes (pf1bit: set = white), the layout
// peers such as ImageMagick's rgb:- and Pillow's tobytes() produce.
std::vector<uint8_t> BitmapRGB(const vx::TBitmap& bitmap);

}  // namespace vxtest
