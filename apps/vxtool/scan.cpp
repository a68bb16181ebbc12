// vxtool scan: lists the scanners, or scans one page (or a feeder's pages) to a file.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "acquire/imscan.h"
#include "acquire/twainparams.h"
#include "commands.h"
#include "io/ioparams.h"
#include "io/vantixio.h"
#include "loadsave.h"
#include "multiframe.h"
#include "platform/bitmap.h"
#include "platform/exceptions.h"
#include "progress.h"

namespace vxtool {

namespace {

const char kScanUsage[] =
    "usage: vxtool scan --list\n"
    "       vxtool scan OUT [--source NAME] [--resolution DPI] [--mode color|gray|lineart]\n"
    "                       [--adf] [--area L,T,R,B]\n"
    "  --source NAME     a SANE device name (test:0) or the start of a scanner's name\n"
    "  --area L,T,R,B    the area to scan, in inches (default: the scanner's own area)\n"
    "  --adf             scan every page of the feeder; OUT must then be .tif/.tiff/.gif\n";

struct ScanOptions {
  std::string out;
  std::string source;
  double resolution = 0;
  int pixelType = -1;
  bool feeder = false;
  bool area = false;
  double frame[4] = {0, 0, 0, 0};
};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool ParseNumber(const std::string& text, double& v) {
  char* end = nullptr;
  v = std::strtod(text.c_str(), &end);
  return !text.empty() && end && *end == 0;
}

bool ParseArea(const std::string& text, double (&frame)[4]) {
  size_t at = 0;
  for (int i = 0; i < 4; ++i) {
    const size_t comma = text.find(',', at);
    if ((i < 3) != (comma != std::string::npos)) return false;
    if (!ParseNumber(text.substr(at, comma == std::string::npos ? std::string::npos : comma - at),
                     frame[i]))
      return false;
    at = comma + 1;
  }
  return frame[2] > frame[0] && frame[3] > frame[1] && frame[0] >= 0 && frame[1] >= 0;
}

// 2 on a usage error (after a message), else 0.
int ParseScanArgs(const std::vector<std::string>& args, ScanOptions& o) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& v) {
      if (i + 1 >= args.size()) return false;
      v = args[++i];
      return true;
    };
    std::string v;
    if (a == "--source") {
      if (!value(o.source)) return std::fputs(kScanUsage, stderr), 2;
    } else if (a == "--resolution") {
      if (!value(v) || !ParseNumber(v, o.resolution) || o.resolution <= 0 || o.resolution > 32767) {
        std::fputs("vxtool: --resolution needs a positive number of dots per inch\n", stderr);
        return 2;
      }
    } else if (a == "--mode") {
      if (!value(v)) return std::fputs(kScanUsage, stderr), 2;
      v = Lower(v);
      o.pixelType = v == "color" || v == "colour" ? 2
                    : v == "gray" || v == "grey"  ? 1
                    : v == "lineart"              ? 0
                                                  : -1;
      if (o.pixelType < 0) {
        std::fputs("vxtool: --mode is color, gray or lineart\n", stderr);
        return 2;
      }
    } else if (a == "--adf") {
      o.feeder = true;
    } else if (a == "--area") {
      if (!value(v) || !ParseArea(v, o.frame)) {
        std::fputs("vxtool: --area needs L,T,R,B in inches with L < R and T < B\n", stderr);
        return 2;
      }
      o.area = true;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "vxtool: unknown scan option \"%s\"\n\n%s", a.c_str(), kScanUsage);
      return 2;
    } else if (o.out.empty()) {
      o.out = a;
    } else {
      std::fputs(kScanUsage, stderr);
      return 2;
    }
  }
  if (o.out.empty()) return std::fputs(kScanUsage, stderr), 2;
  if (o.feeder && MultiFormatOf(o.out) != MultiFormat::Gif &&
      MultiFormatOf(o.out) != MultiFormat::Tiff) {
    std::fputs("vxtool: several pages go to a .tif, .tiff or .gif file\n", stderr);
    return 2;
  }
  return 0;
}

std::string DeviceOf(const vx::TW_IDENTITY& id) {
  const std::string info(id.Version.Info, strnlen(id.Version.Info, sizeof id.Version.Info));
  return info.rfind("SANE ", 0) == 0 ? info.substr(5) : std::string{};
}

// Selects by SANE device name, else by the start of the product name.
bool SelectSource(vx::TVXTWainParams& tw, const std::string& name) {
  const int n = tw.GetSourceCount();
  for (int i = 0; i < n; ++i)
    if (DeviceOf(*tw.SourceIdentity(i)) == name) {
      tw.SetSelectedSource(i);
      return true;
    }
  return tw.SelectSourceByName(name);
}

int ListSources() {
  vx::TVXTWainParams tw;
  const int n = tw.GetSourceCount();
  if (n == 0) {
    std::puts("no scanners found");
    return 0;
  }
  for (int i = 0; i < n; ++i) {
    const std::string device = DeviceOf(*tw.SourceIdentity(i));
    std::printf("%d  %s%s%s\n", i, tw.GetSourceName(i).c_str(), device.empty() ? "" : "  device ",
                device.c_str());
  }
  return 0;
}

void ApplySettings(vx::TVXTWainParams& tw, const ScanOptions& o) {
  tw.SetVisibleDialog(false);
  if (o.resolution > 0) {
    tw.XResolution().SetCurrentValue(o.resolution);
    tw.YResolution().SetCurrentValue(o.resolution);
  }
  if (o.pixelType >= 0) tw.PixelType().SetCurrentValue(o.pixelType);
  tw.SetFeederEnabled(o.feeder);
  // Without an area the frame stays empty, and the scanner keeps its own.
  for (int i = 0; i < 4; ++i) tw.SetAcquireFrame(i, o.area ? o.frame[i] : 0);
}

int Fail(const std::string& why) {
  std::fprintf(stderr, "vxtool: scanning failed: %s\n",
               why.empty() ? "no image was acquired" : why.c_str());
  return 1;
}

// Writes the pages: the first as a new file, the others inserted after it.
bool WritePages(std::vector<vx::TBitmap>& pages,
                std::vector<std::unique_ptr<vx::TIOParamsVals>>& params, const std::string& out) {
  vx::TVantixIO io;
  for (size_t i = 0; i < pages.size(); ++i) {
    io.SetAttachedBitmap(&pages[i]);
    io.Params().Assign(*params[i]);
    if (i == 0) {
      if (!SaveWithProgress(io, out)) return false;
      continue;
    }
    io.Params().TIFF_ImageIndex = static_cast<int>(i);
    io.Params().GIF_ImageIndex = static_cast<int>(i);
    try {
      if (MultiFormatOf(out) == MultiFormat::Gif)
        io.InsertToFileGif(out);
      else
        io.InsertToFileTIFF(out);
    } catch (const vx::EVXError& e) {
      std::fprintf(stderr, "vxtool: %s\n", e.what());
      return false;
    }
    if (io.Aborting()) {
      std::fprintf(stderr, "vxtool: adding page %zu to \"%s\" failed: %s\n", i + 1, out.c_str(),
                   io.LastError().c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int RunScan(const std::vector<std::string>& args) {
  if (args.size() == 1 && args[0] == "--list") return ListSources();
  ScanOptions o;
  if (const int rc = ParseScanArgs(args, o)) return rc;

  vx::TVantixIO io;
  vx::TVXTWainParams& tw = io.TWainParams();
  if (!o.source.empty() && !SelectSource(tw, o.source)) {
    std::fprintf(stderr, "vxtool: no scanner named \"%s\" (see vxtool scan --list)\n",
                 o.source.c_str());
    return 1;
  }
  if (tw.GetSourceCount() == 0) return Fail("no scanner was found");
  ApplySettings(tw, o);

  if (!o.feeder) {
    vx::TBitmap bitmap;
    io.SetAttachedBitmap(&bitmap);
    {
      ProgressBar bar("scanning");
      io.OnProgress = bar.Handler();
      const bool ok = io.Acquire();
      io.OnProgress = nullptr;
      if (!ok) return Fail(io.LastError());
    }
    return SaveWithProgress(io, o.out) ? 0 : 1;
  }

  std::vector<vx::TBitmap> pages;
  std::vector<std::unique_ptr<vx::TIOParamsVals>> params;
  bool ok = false;
  {
    ProgressBar bar("scanning");
    ToolProgress progress;
    progress.rec.ProgressEvent = bar.Handler();
    ok = vx::VXTW_Acquire(0, nullptr, true, progress.rec, nullptr, tw,
                          [&](vx::TBitmap& page, vx::TIOParamsVals*& p) {
                            pages.push_back(page);
                            params.push_back(std::make_unique<vx::TIOParamsVals>());
                            p = params.back().get();
                          });
  }
  // Pages that arrived before a failure are still written.
  if (!pages.empty() && !WritePages(pages, params, o.out)) return 1;
  if (!ok || !tw.LastError().empty()) return Fail(tw.LastError());
  std::fprintf(stderr, "vxtool: %zu page%s scanned to %s\n", pages.size(),
               pages.size() == 1 ? "" : "s", o.out.c_str());
  return 0;
}

}  // namespace vxtool
