// vxtool process: load an image, run a chain of processing operations named as the
// component's methods, save the result.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "commands.h"
#include "io/fileformats.h"
#include "io/vantixio.h"
#include "loadsave.h"
#include "platform/bitmap.h"
#include "platform/exceptions.h"
#include "proc/orientation.h"
#include "proc/vantixproc.h"
#include "progress.h"

namespace vxtool {

bool ParseIntArg(const std::string& text, int lo, int hi, int& value, std::string& error) {
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno == ERANGE || v < lo || v > hi) {
    error = "\"" + text + "\" is not a whole number from " + std::to_string(lo) + " to " +
            std::to_string(hi);
    return false;
  }
  value = static_cast<int>(v);
  return true;
}

bool ParseColourArg(const std::string& text, uint8_t& r, uint8_t& g, uint8_t& b,
                    std::string& error) {
  if (text.size() == 7 && text[0] == '#') {
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str() + 1, &end, 16);
    if (*end == '\0') {
      r = static_cast<uint8_t>(v >> 16);
      g = static_cast<uint8_t>(v >> 8);
      b = static_cast<uint8_t>(v);
      return true;
    }
  }
  int grey = 0;
  if (!ParseIntArg(text, 0, 255, grey, error)) {
    error = "\"" + text + "\" is not a colour (#RRGGBB or a grey level 0..255)";
    return false;
  }
  r = g = b = static_cast<uint8_t>(grey);
  return true;
}

namespace {

constexpr int kBig = 1 << 20;

using Args = std::vector<std::string>;

bool Ints(const Args& a, int lo, int hi, std::vector<int>& out, std::string& error) {
  out.resize(a.size());
  for (size_t i = 0; i < a.size(); ++i)
    if (!ParseIntArg(a[i], lo, hi, out[i], error)) return false;
  return true;
}

bool Colours(const Args& a, std::vector<vx::TRGB>& out, std::string& error) {
  out.resize(a.size());
  for (size_t i = 0; i < a.size(); ++i) {
    uint8_t r = 0, g = 0, b = 0;
    if (!ParseColourArg(a[i], r, g, b, error)) return false;
    out[i] = vx::CreateRGB(r, g, b);
  }
  return true;
}

bool ParseFilter(const std::string& name, vx::TResampleFilter& f, std::string& error) {
  static const std::pair<const char*, vx::TResampleFilter> kFilters[] = {
      {"rfNone", vx::rfNone},        {"rfTriangle", vx::rfTriangle}, {"rfHermite", vx::rfHermite},
      {"rfBell", vx::rfBell},        {"rfBSpline", vx::rfBSpline},   {"rfLanczos3", vx::rfLanczos3},
      {"rfMitchell", vx::rfMitchell}};
  for (const auto& [n, v] : kFilters)
    if (name == n) {
      f = v;
      return true;
    }
  error = "unknown filter \"" + name +
          "\" (rfNone, rfTriangle, rfHermite, rfBell, rfBSpline, "
          "rfLanczos3, rfMitchell)";
  return false;
}

// An entry whose arguments are all integers in lo..hi.
ProcessOp IntOp(std::string name, std::string usage, std::string help, int minArgs, int maxArgs,
                int lo, int hi,
                std::function<void(vx::TVantixProc&, const std::vector<int>&)> run) {
  return {std::move(name),
          std::move(usage),
          std::move(help),
          minArgs,
          maxArgs,
          [=](const Args& a, std::string& error) -> ProcessStep {
            std::vector<int> v;
            if (!Ints(a, lo, hi, v, error)) return {};
            return [=](ProcessContext& c) { run(c.proc, v); };
          }};
}

// Replaces the image with a channel picture the component returns.
ProcessStep ChannelStep(bool hsv, int channel) {
  return [=](ProcessContext& c) {
    auto result = hsv ? c.proc.GetHSVChannel(channel) : c.proc.GetRGBChannel(channel);
    if (!result) return;
    vx::CopyBitmap(*result, c.bitmap);
    c.proc.Update();
  };
}

std::vector<ProcessOp> BuiltinOps() {
  std::vector<ProcessOp> ops;
  ops.push_back(IntOp("Contrast", "AMOUNT", "raise (or, negative, lower) the contrast", 1, 1, -kBig,
                      kBig,
                      [](vx::TVantixProc& p, const std::vector<int>& v) { p.Contrast(v[0]); }));
  ops.push_back(IntOp(
      "IntensityRGBall", "R,G,B", "add to each channel", 3, 3, -255, 255,
      [](vx::TVantixProc& p, const std::vector<int>& v) { p.IntensityRGBall(v[0], v[1], v[2]); }));
  ops.push_back(IntOp(
      "HSLvar", "HUE,SAT,LUM", "shift hue (degrees), saturation and lightness (%)", 3, 3, -kBig,
      kBig, [](vx::TVantixProc& p, const std::vector<int>& v) { p.HSLvar(v[0], v[1], v[2]); }));
  ops.push_back(IntOp(
      "HSVvar", "HUE,SAT,VAL", "shift hue (degrees), saturation and value (0..99)", 3, 3, -kBig,
      kBig, [](vx::TVantixProc& p, const std::vector<int>& v) { p.HSVvar(v[0], v[1], v[2]); }));
  ops.push_back(IntOp("Negative", "", "invert every channel (or bit)", 0, 0, 0, 0,
                      [](vx::TVantixProc& p, const std::vector<int>&) { p.Negative(); }));
  ops.push_back(IntOp("ConvertToGray", "", "grey levels", 0, 0, 0, 0,
                      [](vx::TVantixProc& p, const std::vector<int>&) { p.ConvertToGray(); }));
  ops.push_back({"Threshold", "DOWNLIMIT,UPLIMIT,DOWNVALUE,UPVALUE",
                 "channels at or below DOWNLIMIT become DOWNVALUE, above UPLIMIT UPVALUE (colours)",
                 4, 4, [](const Args& a, std::string& error) -> ProcessStep {
                   std::vector<vx::TRGB> c;
                   if (!Colours(a, c, error)) return {};
                   return [=](ProcessContext& x) { x.proc.Threshold(c[0], c[1], c[2], c[3]); };
                 }});
  ops.push_back({"CastColorRange", "BEGIN,END,CAST", "pixels between BEGIN and END become CAST", 3,
                 3, [](const Args& a, std::string& error) -> ProcessStep {
                   std::vector<vx::TRGB> c;
                   if (!Colours(a, c, error)) return {};
                   return [=](ProcessContext& x) { x.proc.CastColorRange(c[0], c[1], c[2]); };
                 }});
  ops.push_back({"Merge", "FILE,PERCENT", "blend with another image (PERCENT of this one kept)", 2,
                 2, [](const Args& a, std::string& error) -> ProcessStep {
                   int percent = 0;
                   if (!ParseIntArg(a[1], 0, 100, percent, error)) return {};
                   auto other = std::make_shared<vx::TBitmap>();
                   vx::TVantixIO io;
                   io.SetAttachedBitmap(other.get());
                   try {
                     io.LoadFromFile(a[0]);
                   } catch (const vx::EVXError& e) {
                     error = e.what();
                     return {};
                   }
                   if (io.Aborting() || other->Empty()) {
                     error = "loading \"" + a[0] + "\" failed: " + io.LastError();
                     return {};
                   }
                   return [=](ProcessContext& x) { x.proc.Merge(*other, percent); };
                 }});
  ops.push_back({"GetRGBChannel", "CHANNEL", "keep one channel as grey (0 blue, 1 green, 2 red)", 1,
                 1, [](const Args& a, std::string& error) -> ProcessStep {
                   int ch = 0;
                   if (!ParseIntArg(a[0], 0, 2, ch, error)) return {};
                   return ChannelStep(false, ch);
                 }});
  ops.push_back({"GetHSVChannel", "CHANNEL", "keep hue, saturation or value as grey (0, 1, 2)", 1,
                 1, [](const Args& a, std::string& error) -> ProcessStep {
                   int ch = 0;
                   if (!ParseIntArg(a[0], 0, 2, ch, error)) return {};
                   return ChannelStep(true, ch);
                 }});
  ops.push_back(IntOp("ConvertTo", "COLOURS", "reduce to COLOURS colours (2 or fewer: dither)", 1,
                      1, 1, 1 << 24,
                      [](vx::TVantixProc& p, const std::vector<int>& v) { p.ConvertTo(v[0]); }));
  ops.push_back(IntOp("ConvertToBWOrdered", "", "ordered dither to black and white", 0, 0, 0, 0,
                      [](vx::TVantixProc& p, const std::vector<int>&) { p.ConvertToBWOrdered(); }));
  ops.push_back(IntOp("ConvertToBWThreshold", "[THRESHOLD]",
                      "black below THRESHOLD, white from it (automatic without one)", 0, 1, -1, 255,
                      [](vx::TVantixProc& p, const std::vector<int>& v) {
                        p.ConvertToBWThreshold(v.empty() ? -1 : v[0]);
                      }));
  ops.push_back(IntOp("ConvertTo24Bit", "", "1-bit image to true colour", 0, 0, 0, 0,
                      [](vx::TVantixProc& p, const std::vector<int>&) { p.ConvertTo24Bit(); }));
  ops.push_back({"Resample", "WIDTH,HEIGHT[,FILTER]",
                 "scale the whole image; -1 keeps the aspect ratio; FILTER default rfTriangle", 2,
                 3, [](const Args& a, std::string& error) -> ProcessStep {
                   int w = 0, h = 0;
                   vx::TResampleFilter f = vx::rfTriangle;
                   if (!ParseIntArg(a[0], -1, 65535, w, error) ||
                       !ParseIntArg(a[1], -1, 65535, h, error) ||
                       (a.size() > 2 && !ParseFilter(a[2], f, error)))
                     return {};
                   if (w <= 0 && h <= 0) {
                     error = "Resample needs at least one positive size";
                     return {};
                   }
                   if (w == 0 || h == 0) {
                     error = "a size of 0 is not allowed (use -1 to keep the aspect ratio)";
                     return {};
                   }
                   return [=](ProcessContext& x) { x.proc.Resample(w, h, f); };
                 }});
  ops.push_back({"ClearSel", "[COLOUR]", "fill the selection (or the image) with COLOUR (black)", 0,
                 1, [](const Args& a, std::string& error) -> ProcessStep {
                   std::vector<vx::TRGB> c;
                   if (!Colours(a, c, error)) return {};
                   const vx::TColor colour = c.empty() ? vx::clBlack : vx::TRGB2TColor(c[0]);
                   return [=](ProcessContext& x) {
                     x.proc.SetBackground(colour);
                     x.proc.ClearSel();
                   };
                 }});
  return ops;
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t p = s.find(sep, start);
    parts.push_back(s.substr(start, p == std::string::npos ? std::string::npos : p - start));
    if (p == std::string::npos) return parts;
    start = p + 1;
  }
}

void PrintOps(FILE* out) {
  std::fprintf(out, "operations (OP or OP:ARG,ARG...):\n");
  for (const ProcessOp& op : ProcessOps()) {
    const std::string call = op.usage.empty() ? op.name : op.name + ":" + op.usage;
    std::fprintf(out, "  %-40s %s\n", call.c_str(), op.help.c_str());
  }
}

struct Planned {
  std::string text;
  ProcessStep step;
};

}  // namespace

std::vector<ProcessOp>& ProcessOps() {
  static std::vector<ProcessOp> ops = BuiltinOps();
  return ops;
}

int RunProcess(const std::vector<std::string>& args) {
  if (args.size() == 1 && (args[0] == "--list" || args[0] == "--help")) {
    PrintOps(stdout);
    return 0;
  }
  std::vector<std::string> positional;
  bool selected = false;
  bool autoOrient = false;
  int sel[4] = {-1, -1, -1, -1};
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--select") {
      const std::vector<std::string> v =
          i + 1 < args.size() ? Split(args[i + 1], ',') : std::vector<std::string>{};
      std::string error = "--select needs X1,Y1,X2,Y2";
      bool ok = v.size() == 4;
      for (int k = 0; ok && k < 4; ++k)
        ok = ParseIntArg(v[static_cast<size_t>(k)], 0, kBig, sel[k], error);
      if (!ok) {
        std::fprintf(stderr, "vxtool: %s\n", error.c_str());
        return 2;
      }
      selected = true;
      ++i;
    } else if (args[i] == "--auto-orient") {
      autoOrient = true;
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() < 3) {
    std::fprintf(stderr,
                 "usage: vxtool process IN OUT OP[:ARGS]... [--select X1,Y1,X2,Y2] "
                 "[--auto-orient]\n\n");
    PrintOps(stderr);
    return 2;
  }
  const std::string& in = positional[0];
  const std::string& out = positional[1];

  // Every operation and its arguments are checked before any work is done.
  std::vector<Planned> plan;
  for (size_t i = 2; i < positional.size(); ++i) {
    const std::string& text = positional[i];
    const size_t colon = text.find(':');
    const std::string name = text.substr(0, colon);
    const ProcessOp* op = nullptr;
    for (const ProcessOp& o : ProcessOps())
      if (o.name == name) op = &o;
    if (!op) {
      std::fprintf(stderr, "vxtool: unknown operation \"%s\" (vxtool process --list)\n",
                   name.c_str());
      return 2;
    }
    const std::vector<std::string> opArgs = colon == std::string::npos
                                                ? std::vector<std::string>{}
                                                : Split(text.substr(colon + 1), ',');
    const int n = static_cast<int>(opArgs.size());
    if (n < op->minArgs || n > op->maxArgs) {
      std::fprintf(stderr, "vxtool: %s takes %s\n", op->name.c_str(),
                   op->usage.empty() ? "no arguments" : op->usage.c_str());
      return 2;
    }
    std::string error;
    ProcessStep step = op->prepare(opArgs, error);
    if (!step) {
      std::fprintf(stderr, "vxtool: %s: %s\n", op->name.c_str(), error.c_str());
      return 2;
    }
    plan.push_back({text, std::move(step)});
  }

  vx::TBitmap bitmap;
  vx::TVantixIO io;
  io.SetAttachedBitmap(&bitmap);
  if (!LoadWithProgress(io, in)) return 1;
  // Turned before the operations, so that a selection is given in the image as seen.
  // Only the TIFF reader sets an orientation; every other file keeps the default 1.
  if (autoOrient && !vx::ApplyOrientation(bitmap, io.Params().TIFF_Orientation)) {
    std::fprintf(stderr, "vxtool: cannot turn a %d x %d image of this pixel format\n",
                 bitmap.Width(), bitmap.Height());
    return 1;
  }

  vx::TVantixProc proc;
  proc.SetAttachedBitmap(&bitmap);
  // The tool keeps no history; an undo copy per step would only cost memory.
  proc.SetAutoUndo(false);
  if (selected) {
    if (sel[0] >= bitmap.Width() || sel[1] >= bitmap.Height()) {
      std::fprintf(stderr, "vxtool: the selection lies outside the %d x %d image\n", bitmap.Width(),
                   bitmap.Height());
      return 2;
    }
    proc.Select(sel[0], sel[1], sel[2], sel[3]);
  }
  ProcessContext context{proc, bitmap};
  for (Planned& p : plan) {
    ProgressBar bar(p.text);
    proc.OnProgress = bar.Handler();
    p.step(context);
    proc.OnProgress = nullptr;
  }

  if (!SaveWithProgress(io, out)) return 1;
  std::printf("%s -> %s: %zu operation%s, %d x %d, written as %s\n", in.c_str(), out.c_str(),
              plan.size(), plan.size() == 1 ? "" : "s", bitmap.Width(), bitmap.Height(),
              TypeName(vx::FindFileFormat(out, false)).c_str());
  return 0;
}

}  // namespace vxtool
