// vxtool demo: sample images made in code, written in every format with a few
// settings, read back and compared.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>

#include "commands.h"
#include "core/vxdefs.h"
#include "io/fileformats.h"
#include "io/paramfields.h"
#include "io/vantixio.h"
#include "platform/bitmap.h"
#include "platform/stream.h"

namespace vxtool {

namespace {

struct Sample {
  const char* name;
  std::function<void(vx::TBitmap&)> make;
};

void Gradient(vx::TBitmap& b) {
  vx::SizeBitmap(b, 256, 128, vx::pf24bit);
  for (int y = 0; y < 128; ++y) {
    auto* row = reinterpret_cast<vx::TRGB*>(b.ScanLine(y));
    for (int x = 0; x < 256; ++x)
      row[x] = vx::CreateRGB(static_cast<uint8_t>(x), static_cast<uint8_t>(y * 2),
                             static_cast<uint8_t>(255 - x));
  }
}

void Rings(vx::TBitmap& b) {
  vx::SizeBitmap(b, 201, 151, vx::pf24bit);
  for (int y = 0; y < 151; ++y) {
    auto* row = reinterpret_cast<vx::TRGB*>(b.ScanLine(y));
    for (int x = 0; x < 201; ++x) {
      const double d = std::hypot(x - 100.0, y - 75.0);
      const auto v = static_cast<uint8_t>(127.5 + 127.5 * std::sin(d / 6.0));
      row[x] = vx::CreateRGB(v, static_cast<uint8_t>(255 - v), static_cast<uint8_t>((x * y) & 255));
    }
  }
}

void Sixteen(vx::TBitmap& b) {
  vx::SizeBitmap(b, 64, 48, vx::pf24bit);
  for (int y = 0; y < 48; ++y) {
    auto* row = reinterpret_cast<vx::TRGB*>(b.ScanLine(y));
    for (int x = 0; x < 64; ++x) {
      const int c = (x / 16) + 4 * (y / 12);
      row[x] = vx::CreateRGB(static_cast<uint8_t>(c * 17), static_cast<uint8_t>(255 - c * 13),
                             static_cast<uint8_t>((c % 3) * 120));
    }
  }
}

void Checker(vx::TBitmap& b) {
  vx::SizeBitmap(b, 97, 61, vx::pf1bit);
  for (int y = 0; y < 61; ++y)
    for (int x = 0; x < 97; ++x) vx::SetPixelbw(b.ScanLine(y), x, ((x / 7) + (y / 5)) % 2 == 0);
}

// What a target keeps of an image's colours.
enum class Keeps {
  everything,     // a lossless true-colour file
  palette,        // a palette of paletteSize colours: exactly, when the image has no more
  blackAndWhite,  // a bilevel file: black and white only
  approximation,  // a lossy file
};

struct Target {
  const char* label;
  const char* ext;
  std::vector<std::pair<const char*, const char*>> settings;
  Keeps keeps;
  int paletteSize = 0;
};

// Distinct colours of an image, counted up to limit + 1.
int CountColours(const vx::TBitmap& image, int limit) {
  vx::TBitmap rgb;
  rgb.Assign(image);
  rgb.SetPixelFormat(vx::pf24bit);
  std::set<uint32_t> seen;
  for (int y = 0; y < rgb.Height(); ++y) {
    const auto* row = reinterpret_cast<const vx::TRGB*>(rgb.ScanLine(y));
    for (int x = 0; x < rgb.Width(); ++x) {
      seen.insert(static_cast<uint32_t>(row[x].r) << 16 | row[x].g << 8 | row[x].b);
      if (static_cast<int>(seen.size()) > limit) return limit + 1;
    }
  }
  return static_cast<int>(seen.size());
}

// Whether a round trip must give the pixels back exactly.
bool MustBeExact(const Target& t, const vx::TBitmap& original, int colours) {
  switch (t.keeps) {
    case Keeps::everything:
      return true;
    case Keeps::palette:
      return colours <= t.paletteSize;
    case Keeps::blackAndWhite:
      return original.PixelFormat() == vx::pf1bit;
    case Keeps::approximation:
      break;
  }
  return false;
}

// Peak signal-to-noise ratio over the 24-bit expansion; infinity when identical.
double Psnr(const vx::TBitmap& a0, const vx::TBitmap& b0) {
  vx::TBitmap a, b;
  a.Assign(a0);
  b.Assign(b0);
  a.SetPixelFormat(vx::pf24bit);
  b.SetPixelFormat(vx::pf24bit);
  double se = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width() * 3; ++x) {
      const double d = a.ScanLine(y)[x] - b.ScanLine(y)[x];
      se += d * d;
    }
  if (se == 0) return INFINITY;
  return 10 * std::log10(255.0 * 255.0 * a.Width() * a.Height() * 3 / se);
}

}  // namespace

int RunDemo(const std::vector<std::string>& args) {
  const std::string dir = args.empty() ? "." : args[0];
  std::filesystem::create_directories(dir);
  const std::vector<Sample> samples = {
      {"gradient", Gradient}, {"rings", Rings}, {"sixteen", Sixteen}, {"checker", Checker}};
  const std::vector<Target> targets = {
      {"BMP 24-bit", "bmp", {}, Keeps::everything},
      {"BMP 8-bit RLE",
       "bmp",
       {{"BitsPerSample", "8"}, {"SamplesPerPixel", "1"}, {"BMP_Compression", "ioBMP_RLE"}},
       Keeps::palette,
       256},
      {"BMP 4-bit", "bmp", {{"BitsPerSample", "4"}, {"SamplesPerPixel", "1"}}, Keeps::palette, 16},
      {"BMP 1-bit", "bmp", {{"BitsPerSample", "1"}, {"SamplesPerPixel", "1"}}, Keeps::palette, 2},
      {"GIF 8-bit", "gif", {{"BitsPerSample", "8"}, {"SamplesPerPixel", "1"}}, Keeps::palette, 256},
      {"TIFF LZW", "tif", {{"TIFF_Compression", "ioTIFF_LZW"}}, Keeps::everything},
      {"TIFF G4",
       "tif",
       {{"TIFF_Compression", "ioTIFF_G4FAX"}, {"BitsPerSample", "1"}, {"SamplesPerPixel", "1"}},
       Keeps::blackAndWhite},
      {"PCX 24-bit", "pcx", {}, Keeps::everything},
      {"PNG", "png", {}, Keeps::everything},
      {"JPEG q90", "jpg", {{"JPEG_Quality", "90"}}, Keeps::approximation},
  };

  std::printf("%-9s %-14s %9s %8s  %s\n", "image", "format", "bytes", "ms", "read back");
  int mismatches = 0, ok = 0, unavailable = 0;
  for (const auto& s : samples) {
    vx::TBitmap original;
    s.make(original);
    const int colours = CountColours(original, 256);
    for (const auto& t : targets) {
      vx::TBitmap work;
      work.Assign(original);
      vx::TVantixIO io;
      io.SetAttachedBitmap(&work);
      for (const auto& [n, v] : t.settings) {
        std::string err;
        vx::SetParamByName(io.Params(), n, v, err);
      }
      const std::string file =
          dir + "/" + s.name + "-" + std::to_string(&t - targets.data()) + "." + t.ext;
      const auto t0 = std::chrono::steady_clock::now();
      io.SaveToFile(file);
      const bool saved = !io.Aborting();
      vx::TBitmap back;
      vx::TVantixIO in;
      in.SetAttachedBitmap(&back);
      bool loaded = false;
      if (saved) {
        in.LoadFromFile(file);
        loaded = !in.Aborting();
      }
      const double ms =
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
      std::string result;
      long long bytes = 0;
      if (!saved) {
        result = "format not available in this build (save aborted)";
        ++unavailable;
      } else {
        bytes = static_cast<long long>(std::filesystem::file_size(file));
        if (!loaded) {
          result = "MISMATCH: written but could not be read back";
          ++mismatches;
        } else if (back.Width() != original.Width() || back.Height() != original.Height()) {
          result = "MISMATCH: size " + std::to_string(back.Width()) + "x" +
                   std::to_string(back.Height());
          ++mismatches;
        } else {
          const double psnr = Psnr(original, back);
          char buf[64];
          if (std::isinf(psnr))
            std::snprintf(buf, sizeof buf, "identical, %s", in.Params().GetFileTypeStr().c_str());
          else
            std::snprintf(buf, sizeof buf, "PSNR %.1f dB", psnr);
          result = buf;
          if (MustBeExact(t, original, colours) && !std::isinf(psnr)) {
            result = "MISMATCH: " + result;
            ++mismatches;
          } else {
            ++ok;
          }
        }
      }
      std::printf("%-9s %-14s %9lld %8.1f  %s\n", s.name, t.label, bytes, ms, result.c_str());
    }
  }
  std::printf("\n%d round trips ok, %d mismatches, %d not available in this build; files in %s\n",
              ok, mismatches, unavailable, dir.c_str());
  return mismatches ? 1 : 0;
}

}  // namespace vxtool
