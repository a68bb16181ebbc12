#pragma once
// The subcommands of vxtool. Each returns the process exit status:
// 0 success, 1 a load or save failed, 2 usage error.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vx {
class TBitmap;
class TVantixProc;
}  // namespace vx

namespace vxtool {

int RunInfo(const std::vector<std::string>& args);
int RunConvert(const std::vector<std::string>& args);
int RunDemo(const std::vector<std::string>& args);
int RunProcess(const std::vector<std::string>& args);
// Multi-image files (GIF, TIFF, AVI): list, split into single files, join.
int RunFrames(const std::vector<std::string>& args);
int RunSplit(const std::vector<std::string>& args);
int RunJoin(const std::vector<std::string>& args);

// ---- the operations of "vxtool process" ----

// What an operation works with: the component attached to the image being edited.
struct ProcessContext {
  vx::TVantixProc& proc;
  vx::TBitmap& bitmap;
};

using ProcessStep = std::function<void(ProcessContext&)>;

// One entry of the operation table. prepare checks and converts the arguments
// (already split at commas) before any image is loaded and returns the step to run,
// or an empty function after setting error.
struct ProcessOp {
  std::string name;   // the component's method name, e.g. "Contrast"
  std::string usage;  // arguments, e.g. "AMOUNT"; empty for none
  std::string help;   // one line
  int minArgs = 0;
  int maxArgs = 0;
  std::function<ProcessStep(const std::vector<std::string>& args, std::string& error)> prepare;
};

// The table. Further families add their entries from their own source files with a
// static ProcessOpRegistrar.
std::vector<ProcessOp>& ProcessOps();
struct ProcessOpRegistrar {
  explicit ProcessOpRegistrar(ProcessOp op) { ProcessOps().push_back(std::move(op)); }
};

// Argument parsers for operation entries; each returns false with error set.
bool ParseIntArg(const std::string& text, int lo, int hi, int& value, std::string& error);
// "#RRGGBB", or one number 0..255 for a grey.
bool ParseColourArg(const std::string& text, uint8_t& r, uint8_t& g, uint8_t& b,
                    std::string& error);

// Name of a file-type code ("BMP", "TIFF", …, or the number).
std::string TypeName(int fileType);

}  // namespace vxtool
