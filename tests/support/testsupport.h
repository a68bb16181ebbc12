#pragma once
// Helpers shared by the test binaries.
#include <string>
#include <vector>

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

}  // namespace vxtest
