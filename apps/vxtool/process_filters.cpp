// vxtool process: convolution, morphology, effects, geometry, statistics and the
// Fourier transform.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "platform/exceptions.h"
#include "proc/histogram.h"
#include "proc/vantixproc.h"
#include "proc/vxfft.h"

namespace vxtool {

namespace {

using Args = std::vector<std::string>;
constexpr int kBig = 1 << 20;

bool Ints(const Args& a, size_t from, size_t count, int lo, int hi, std::vector<int>& out,
          std::string& error) {
  out.assign(count, 0);
  for (size_t i = 0; i < count; ++i)
    if (!ParseIntArg(a[from + i], lo, hi, out[i], error)) return false;
  return true;
}

bool ParseDoubleArg(const std::string& text, double lo, double hi, double& value,
                    std::string& error) {
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || errno == ERANGE || !(v >= lo && v <= hi)) {
    error =
        "\"" + text + "\" is not a number from " + std::to_string(lo) + " to " + std::to_string(hi);
    return false;
  }
  value = v;
  return true;
}

bool ParseBoolArg(const std::string& text, bool& value, std::string& error) {
  if (text == "0" || text == "1") {
    value = text == "1";
    return true;
  }
  error = "\"" + text + "\" is not 0 or 1";
  return false;
}

bool ParsePreset(const std::string& name, vx::TVXFilterPresets& preset, std::string& error) {
  static const char* const kNames[vx::kFilterPresetCount] = {
      "fpNone",      "fpBlur",      "fpEdge",     "fpEmboss",  "fpHighPass1",
      "fpHighPass2", "fpHighPass3", "fpLowPass1", "fpLowPass2"};
  for (int i = 0; i < vx::kFilterPresetCount; ++i)
    if (name == kNames[i]) {
      preset = static_cast<vx::TVXFilterPresets>(i);
      return true;
    }
  error = "unknown preset \"" + name +
          "\" (fpNone, fpBlur, fpEdge, fpEmboss, fpHighPass1..3, fpLowPass1, fpLowPass2)";
  return false;
}

bool ParseFtType(const Args& a, size_t at, vx::TVXFtImageType& type, std::string& error) {
  if (a.size() <= at || a[at] == "rgb") {
    type = vx::vxitRGB;
    return true;
  }
  if (a[at] == "gray") {
    type = vx::vxitGrayscale;
    return true;
  }
  error = "transform type \"" + a[at] + "\" is neither rgb nor gray";
  return false;
}

ProcessStep MorphStep(void (vx::TVantixProc::*method)(int), int k) {
  return [=](ProcessContext& c) { (c.proc.*method)(k); };
}

ProcessOp MorphOp(const char* name, const char* help, void (vx::TVantixProc::*method)(int)) {
  return {name, "K", help, 1, 1, [=](const Args& a, std::string& error) -> ProcessStep {
            int k = 0;
            if (!ParseIntArg(a[0], 0, 1 << 16, k, error)) return {};
            return MorphStep(method, k);
          }};
}

std::vector<ProcessOp> FilterOps() {
  std::vector<ProcessOp> ops;
  ops.push_back({"ApplyFilter", "K1,...,K9,DIVISOR",
                 "3x3 convolution (kernel rows top first; divisor 0 counts as 1)", 10, 10,
                 [](const Args& a, std::string& error) -> ProcessStep {
                   std::vector<int> v;
                   if (!Ints(a, 0, 10, INT32_MIN + 1, INT32_MAX, v, error)) return {};
                   vx::TGraphFilter f;
                   for (size_t k = 0; k < 9; ++k) f.Values[k] = v[k];
                   f.Divisor = v[9];
                   return [=](ProcessContext& c) { c.proc.ApplyFilter(f); };
                 }});
  ops.push_back({"ApplyFilterPreset", "PRESET", "preset convolution (fpBlur, fpEdge, ...)", 1, 1,
                 [](const Args& a, std::string& error) -> ProcessStep {
                   vx::TVXFilterPresets p = vx::fpNone;
                   if (!ParsePreset(a[0], p, error)) return {};
                   return [=](ProcessContext& c) { c.proc.ApplyFilterPreset(p); };
                 }});
  ops.push_back({"ApplyFilterFile", "FILE", "convolution with a kernel file", 1, 1,
                 [](const Args& a, std::string& error) -> ProcessStep {
                   vx::TGraphFilter f;
                   try {
                     if (!vx::LoadFilterFromFile(a[0], f)) {
                       error = "\"" + a[0] + "\" is not a 3x3 kernel file";
                       return {};
                     }
                   } catch (const vx::EVXError& e) {
                     error = e.what();
                     return {};
                   }
                   return [=](ProcessContext& c) { c.proc.ApplyFilter(f); };
                 }});
  ops.push_back(
      MorphOp("Maximum", "brightest pixel of each (2K+1)^2 window", &vx::TVantixProc::Maximum));
  ops.push_back(
      MorphOp("Minimum", "darkest pixel of each (2K+1)^2 window", &vx::TVantixProc::Minimum));
  ops.push_back(MorphOp("Opening", "Minimum then Maximum", &vx::TVantixProc::Opening));
  ops.push_back(MorphOp("Closing", "Maximum then Minimum", &vx::TVantixProc::Closing));
  ops.push_back({"BumpMapping", "LEFT,TOP,WIDTH,HEIGHT,PERCENT,COLOUR",
                 "relief lit from (LEFT, TOP); PERCENT of the picture kept", 6, 6,
                 [](const Args& a, std::string& error) -> ProcessStep {
                   std::vector<int> v;
                   uint8_t r = 0, g = 0, b = 0;
                   if (!Ints(a, 0, 2, -kBig, kBig, v, error)) return {};
                   std::vector<int> size;
                   int percent = 0;
                   if (!Ints(a, 2, 2, 1, kBig, size, error) ||
                       !ParseIntArg(a[4], 0, 100, percent, error) ||
                       !ParseColourArg(a[5], r, g, b, error))
                     return {};
                   const vx::TRGB colour = vx::CreateRGB(r, g, b);
                   return [=](ProcessContext& c) {
                     c.proc.BumpMapping(v[0], v[1], size[0], size[1], percent, colour);
                   };
                 }});
  ops.push_back({"Lens", "X,Y,WIDTH,HEIGHT,REFRACTION", "lens over the box centred at (X, Y)", 5, 5,
                 [](const Args& a, std::string& error) -> ProcessStep {
                   std::vector<int> v;
                   double n = 1;
                   if (!Ints(a, 0, 4, -kBig, kBig, v, error) ||
                       !ParseDoubleArg(a[4], 0, 1000, n, error))
                     return {};
                   return [=](ProcessContext& c) { c.proc.Lens(v[0], v[1], v[2], v[3], n); };
                 }});
  ops.push_back({"Wave", "AMPLITUDE,WAVELENGTH,PHASE[,REFLECTIVE]",
                 "circular wave (PHASE in degrees, REFLECTIVE 0 or 1)", 3, 4,
                 [](const Args& a, std::string& error) -> ProcessStep {
                   std::vector<int> v;
                   bool reflective = false;
                   if (!Ints(a, 0, 3, -kBig, kBig, v, error) ||
                       (a.size() > 3 && !ParseBoolArg(a[3], reflective, error)))
                     return {};
                   return [=](ProcessContext& c) { c.proc.Wave(v[0], v[1], v[2], reflective); };
                 }});
  ops.push_back({"ImageResize", "WIDTH,HEIGHT[,COLOUR]",
                 "canvas size without scaling; new area COLOUR (black)", 2, 3,
                 [](const Args& a, std::string& error) -> ProcessStep {
                   std::vector<int> v;
                   uint8_t r = 0, g = 0, b = 0;
                   if (!Ints(a, 0, 2, 1, 65535, v, error) ||
                       (a.size() > 2 && !ParseColourArg(a[2], r, g, b, error)))
                     return {};
                   const vx::TColor colour = vx::RGB2TColor(r, g, b);
                   return [=](ProcessContext& c) {
                     c.proc.SetBackground(colour);
                     c.proc.ImageResize(v[0], v[1]);
                   };
                 }});
  ops.push_back({"Rotate", "DEGREES[,ANTIALIAS[,COLOUR]]",
                 "counter-clockwise; ANTIALIAS 0 or 1 (1); corners COLOUR (black)", 1, 3,
                 [](const Args& a, std::string& error) -> ProcessStep {
                   int angle = 0;
                   bool antialias = true;
                   uint8_t r = 0, g = 0, b = 0;
                   if (!ParseIntArg(a[0], -kBig, kBig, angle, error) ||
                       (a.size() > 1 && !ParseBoolArg(a[1], antialias, error)) ||
                       (a.size() > 2 && !ParseColourArg(a[2], r, g, b, error)))
                     return {};
                   const vx::TColor colour = vx::RGB2TColor(r, g, b);
                   return [=](ProcessContext& c) {
                     c.proc.SetBackground(colour);
                     c.proc.Rotate(angle, antialias);
                   };
                 }});
  ops.push_back({"Flip", "fdHorizontal|fdVertical", "mirror the image", 1, 1,
                 [](const Args& a, std::string& error) -> ProcessStep {
                   if (a[0] != "fdHorizontal" && a[0] != "fdVertical") {
                     error = "direction \"" + a[0] + "\" is neither fdHorizontal nor fdVertical";
                     return {};
                   }
                   const vx::TFlipDir d =
                       a[0] == "fdHorizontal" ? vx::fdHorizontal : vx::fdVertical;
                   return [=](ProcessContext& c) { c.proc.Flip(d); };
                 }});
  ops.push_back({"CropSel", "", "keep only the selection (--select)", 0, 0,
                 [](const Args&, std::string&) -> ProcessStep {
                   return [](ProcessContext& c) { c.proc.CropSel(); };
                 }});
  ops.push_back({"HistAutoEqualize", "", "automatic histogram equalisation", 0, 0,
                 [](const Args&, std::string&) -> ProcessStep {
                   return [](ProcessContext& c) { c.proc.HistAutoEqualize(); };
                 }});
  ops.push_back({"HistEqualize", "LOW,HIGH", "stretch levels: LOW to black, HIGH to white", 2, 2,
                 [](const Args& a, std::string& error) -> ProcessStep {
                   uint8_t lr = 0, lg = 0, lb = 0, hr = 0, hg = 0, hb = 0;
                   if (!ParseColourArg(a[0], lr, lg, lb, error) ||
                       !ParseColourArg(a[1], hr, hg, hb, error))
                     return {};
                   const vx::TRGB lo = vx::CreateRGB(lr, lg, lb), hi = vx::CreateRGB(hr, hg, hb);
                   return [=](ProcessContext& c) { c.proc.HistEqualize(lo, hi); };
                 }});
  ops.push_back({"CalcImageNumColors", "", "print the number of distinct colours", 0, 0,
                 [](const Args&, std::string&) -> ProcessStep {
                   return [](ProcessContext& c) {
                     std::printf("colours: %d\n", c.proc.CalcImageNumColors());
                   };
                 }});
  ops.push_back({"GetHistogram", "", "print the grey histogram (level count, non-zero levels)", 0,
                 0, [](const Args&, std::string&) -> ProcessStep {
                   return [](ProcessContext& c) {
                     vx::THistogram h{};
                     c.proc.GetHistogram(h);
                     std::printf("grey histogram:");
                     for (int v = 0; v < 256; ++v)
                       if (h[static_cast<size_t>(v)].Gray)
                         std::printf(" %d:%u", v, h[static_cast<size_t>(v)].Gray);
                     std::printf("\n");
                   };
                 }});
  ops.push_back({"FTDisplayFrom", "[rgb|gray]", "replace the image by its log-magnitude spectrum",
                 0, 1, [](const Args& a, std::string& error) -> ProcessStep {
                   vx::TVXFtImageType type = vx::vxitRGB;
                   if (!ParseFtType(a, 0, type, error)) return {};
                   return [=](ProcessContext& c) {
                     auto ft = c.proc.FTCreateImage(type, -1, -1);
                     if (ft) c.proc.FTDisplayFrom(*ft);
                   };
                 }});
  ops.push_back({"FTConvertFrom", "[rgb|gray[,lopass|hipass,RADIUS]]",
                 "Fourier transform, optionally filtered, and back", 0, 3,
                 [](const Args& a, std::string& error) -> ProcessStep {
                   vx::TVXFtImageType type = vx::vxitRGB;
                   if (!ParseFtType(a, 0, type, error)) return {};
                   int mode = 0, radius = 0;
                   if (a.size() == 2) {
                     error = "a filter needs lopass or hipass and a radius";
                     return {};
                   }
                   if (a.size() == 3) {
                     if (a[1] != "lopass" && a[1] != "hipass") {
                       error = "filter \"" + a[1] + "\" is neither lopass nor hipass";
                       return {};
                     }
                     mode = a[1] == "lopass" ? 1 : 2;
                     if (!ParseIntArg(a[2], -1, kBig, radius, error)) return {};
                   }
                   return [=](ProcessContext& c) {
                     auto ft = c.proc.FTCreateImage(type, -1, -1);
                     if (!ft) return;
                     if (mode == 1) ft->LoPass(radius);
                     if (mode == 2) ft->HiPass(radius);
                     c.proc.FTConvertFrom(*ft);
                   };
                 }});
  return ops;
}

const struct Registrar {
  Registrar() {
    for (ProcessOp& op : FilterOps()) ProcessOpRegistrar{std::move(op)};
  }
} gRegistrar;

}  // namespace

}  // namespace vxtool
