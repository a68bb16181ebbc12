#pragma once
// The subcommands of vxtool. Each returns the process exit status:
// 0 success, 1 a load or save failed, 2 usage error.
#include <string>
#include <vector>

namespace vxtool {

int RunInfo(const std::vector<std::string>& args);
int RunConvert(const std::vector<std::string>& args);
int RunDemo(const std::vector<std::string>& args);

// Name of a file-type code ("BMP", "TIFF", …, or the number).
std::string TypeName(int fileType);

}  // namespace vxtool
