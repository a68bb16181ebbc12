// vxtool info: what a file is, from a parameter-only read.
#include <cstdio>

#include "commands.h"
#include "io/fileformats.h"
#include "io/paramfields.h"
#include "io/vantixio.h"
#include "platform/exceptions.h"
#include "platform/stream.h"

namespace vxtool {

std::string TypeName(int fileType) {
  if (fileType == vx::ioUnknown) return "unknown";
  const std::string ext = vx::VXFileFormatGetExt(fileType, 0);
  return ext.empty() ? std::to_string(fileType) : ext;
}

namespace {

// The parameter prefix of a format's own fields.
std::string FieldPrefix(int fileType) {
  switch (fileType) {
    case vx::ioTIFF:
      return "TIFF_";
    case vx::ioGIF:
      return "GIF_";
    case vx::ioJPEG:
      return "JPEG_";
    case vx::ioPCX:
      return "PCX_";
    case vx::ioBMP:
      return "BMP_";
    case vx::ioICO:
      return "ICO_";
    case vx::ioCUR:
      return "CUR_";
    case vx::ioPNG:
      return "PNG_";
    default:
      return {};
  }
}

int InfoOne(const std::string& name) {
  int byContent = vx::ioUnknown;
  int64_t size = 0;
  try {
    vx::TFileStream f(name, vx::fmOpenRead);
    size = f.Size();
    byContent = vx::FindStreamFormat(f);
  } catch (const vx::EVXError& e) {
    std::fprintf(stderr, "vxtool: %s\n", e.what());
    return 1;
  }
  const std::string ext = vx::ExtractFileExtLower(name);
  const vx::TVXFileFormatInfo* byExt =
      ext.size() > 1 ? vx::VXFileFormatGetInfo2(ext.substr(1)) : nullptr;

  vx::TVantixIO io;
  io.ParamsFromFile(name);
  const vx::TIOParamsVals& p = io.Params();

  std::printf("%s\n", name.c_str());
  std::printf("  format         %s (by content)%s\n", TypeName(byContent).c_str(),
              !byExt ? ", extension unknown"
              : byExt->FileType == byContent
                  ? ", extension agrees"
                  : (", extension says " + TypeName(byExt->FileType)).c_str());
  if (byContent == vx::ioUnknown) return 1;
  std::printf("  type           %s\n", p.GetFileTypeStr().c_str());
  std::printf("  file size      %lld bytes\n", static_cast<long long>(size));
  if (p.FileType == vx::ioUnknown) {
    std::printf("  parameters     could not be read\n");
    return 1;
  }
  std::printf("  image          %d x %d\n", p.Width, p.Height);
  std::printf("  samples        %d bits x %d\n", p.BitsPerSample, p.SamplesPerPixel);
  std::printf("  resolution     %d x %d dpi\n", p.DpiX, p.DpiY);
  std::printf("  palette        %d entries\n", p.ColorMapCount);
  const std::string prefix = FieldPrefix(byContent);
  if (!prefix.empty())
    for (const auto& f : vx::DescribeParams(p, prefix))
      std::printf("  %-22s %s\n", f.name.c_str(), f.value.c_str());
  return 0;
}

}  // namespace

int RunInfo(const std::vector<std::string>& args) {
  if (args.empty()) {
    std::fprintf(stderr, "usage: vxtool info FILE...\n");
    return 2;
  }
  int status = 0;
  for (const auto& a : args) status = std::max(status, InfoOne(a));
  return status;
}

}  // namespace vxtool
