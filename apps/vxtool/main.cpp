// vxtool: inspect and convert image files with the Vantix core.
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "commands.h"
#include "core/vxdefs.h"

namespace {

const char kUsage[] =
    "usage: vxtool COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  info FILE...                  detected format, size, depth, resolution, palette and\n"
    "                                the format's own parameters (no pixels are decoded)\n"
    "  convert IN OUT [NAME=VALUE]   load IN, set parameters by name, save OUT; the output\n"
    "                                format follows OUT's extension; --auto-orient turns\n"
    "                                the pixels upright by the file's orientation tag\n"
    "                                (e.g. JPEG_Quality=90 TIFF_Compression=ioTIFF_G4FAX\n"
    "                                BitsPerSample=1 GIF_TranspColor=#ff0000)\n"
    "  demo DIR                      make sample images, write them in every format, read\n"
    "                                them back and print a table\n"
    "  process IN OUT OP[:ARGS]...   load IN, apply the operations in order, save OUT\n"
    "                                (e.g. Contrast:30 Resample:800,600,rfLanczos3\n"
    "                                ConvertToGray); --select X1,Y1,X2,Y2 limits them to\n"
    "                                a rectangle; --auto-orient as for convert;\n"
    "                                \"vxtool process --list\" shows them all\n"
    "  frames FILE                   the images of a GIF, TIFF or AVI: count, size, depth\n"
    "                                and delay of each\n"
    "  split IN OUT-PATTERN          every image of a GIF, TIFF or AVI into its own file\n"
    "                                (e.g. page-%03d.png)\n"
    "  join OUT IN... [--delay MS] [--codec NAME]\n"
    "                                images into a multi-page TIFF, animated GIF or AVI\n"
    "                                (\"vxtool join\" alone shows the options)\n"
    "  --help                        this text\n"
    "\n"
    "options (any command):\n"
    "  --max-pixels N                largest image a reader may allocate, in pixels\n"
    "                                (default 268435456 = 2^28; 0 = no limit)\n"
    "\n"
    "exit status: 0 success, 1 a load or save failed, 2 usage error\n";

// Takes "--max-pixels N" (or "--max-pixels=N") out of the arguments and applies it.
// False on a malformed value.
bool TakeMaxPixels(std::vector<std::string>& args) {
  for (size_t i = 0; i < args.size(); ++i) {
    std::string value;
    size_t used = 1;
    if (args[i] == "--max-pixels") {
      if (i + 1 >= args.size()) return false;
      value = args[i + 1];
      used = 2;
    } else if (args[i].rfind("--max-pixels=", 0) == 0) {
      value = args[i].substr(13);
    } else {
      continue;
    }
    if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos) return false;
    errno = 0;
    const unsigned long long n = std::strtoull(value.c_str(), nullptr, 10);
    if (errno == ERANGE) return false;
    vx::SetMaxImagePixels(n);
    args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
               args.begin() + static_cast<std::ptrdiff_t>(i + used));
    --i;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> all(argv + 1, argv + argc);
  if (!TakeMaxPixels(all)) {
    std::fputs("vxtool: --max-pixels needs a whole number of pixels (0 = no limit)\n", stderr);
    return 2;
  }
  if (all.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string cmd = all[0];
  const std::vector<std::string> args(all.begin() + 1, all.end());
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  try {
    if (cmd == "info") return vxtool::RunInfo(args);
    if (cmd == "convert") return vxtool::RunConvert(args);
    if (cmd == "demo") return vxtool::RunDemo(args);
    if (cmd == "process") return vxtool::RunProcess(args);
    if (cmd == "frames") return vxtool::RunFrames(args);
    if (cmd == "split") return vxtool::RunSplit(args);
    if (cmd == "join") return vxtool::RunJoin(args);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vxtool: %s\n", e.what());
    return 1;
  }
  std::fprintf(stderr, "vxtool: unknown command \"%s\"\n\n%s", cmd.c_str(), kUsage);
  return 2;
}
