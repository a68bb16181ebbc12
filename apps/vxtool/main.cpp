// vxtool: inspect and convert image files with the Vantix core.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "commands.h"

namespace {

const char kUsage[] =
    "usage: vxtool COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  info FILE...                  detected format, size, depth, resolution, palette and\n"
    "                                the format's own parameters (no pixels are decoded)\n"
    "  convert IN OUT [NAME=VALUE]   load IN, set parameters by name, save OUT; the output\n"
    "                                format follows OUT's extension\n"
    "                                (e.g. JPEG_Quality=90 TIFF_Compression=ioTIFF_G4FAX\n"
    "                                BitsPerSample=1 GIF_TranspColor=#ff0000)\n"
    "  demo DIR                      make sample images, write them in every format, read\n"
    "                                them back and print a table\n"
    "  process IN OUT OP[:ARGS]...   load IN, apply the operations in order, save OUT\n"
    "                                (e.g. Contrast:30 Resample:800,600,rfLanczos3\n"
    "                                ConvertToGray); --select X1,Y1,X2,Y2 limits them to\n"
    "                                a rectangle; \"vxtool process --list\" shows them all\n"
    "  --help                        this text\n"
    "\n"
    "exit status: 0 success, 1 a load or save failed, 2 usage error\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string cmd = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  try {
    if (cmd == "info") return vxtool::RunInfo(args);
    if (cmd == "convert") return vxtool::RunConvert(args);
    if (cmd == "demo") return vxtool::RunDemo(args);
    if (cmd == "process") return vxtool::RunProcess(args);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vxtool: %s\n", e.what());
    return 1;
  }
  std::fprintf(stderr, "vxtool: unknown command \"%s\"\n\n%s", cmd.c_str(), kUsage);
  return 2;
}
