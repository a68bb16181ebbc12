#include "proc/histogram.h"

#include <cstdint>
#include <cstring>

#include "core/arith.h"
#include "core/vxlists.h"
#include "proc/region.h"
#include "proc/vantixproc.h"
#include "quant/neurquant.h"

namespace vx {

namespace {

inline const TRGB* PixelRow(const TBitmap& bitmap, int y) {
  return reinterpret_cast<const TRGB*>(bitmap.ScanLine(y));
}
inline TRGB* PixelRow(TBitmap& bitmap, int y) {
  return reinterpret_cast<TRGB*>(bitmap.ScanLine(y));
}

inline TRGB MapChannels(const TRGB& c, const uint8_t* table) {
  return TRGB{table[c.b], table[c.g], table[c.r]};
}

}  // namespace

void GetHistogram(const TBitmap& bitmap, THistogram& histogram, int x1, int y1, int x2, int y2) {
  if (bitmap.PixelFormat() != pf24bit) return;
  histogram.fill(THistogramItem{});
  if (!ClampRegion(bitmap, x1, y1, x2, y2)) return;
  for (int y = y1; y <= y2; ++y) {
    const TRGB* row = PixelRow(bitmap, y);
    for (int x = x1; x <= x2; ++x) {
      const TRGB& c = row[x];
      ++histogram[c.r].R;
      ++histogram[c.g].G;
      ++histogram[c.b].B;
      ++histogram[RGBToGray(c)].Gray;
    }
  }
}

int GetImageNumColors(const TBitmap& bitmap, int x1, int y1, int x2, int y2) {
  if (bitmap.PixelFormat() != pf24bit || !ClampRegion(bitmap, x1, y1, x2, y2)) return 0;
  THash1 colours(13);
  for (int y = y1; y <= y2; ++y) {
    const TRGB* row = PixelRow(bitmap, y);
    for (int x = x1; x <= x2; ++x) {
      const TRGB& c = row[x];
      colours.Insert(static_cast<uint32_t>(c.b) | static_cast<uint32_t>(c.g) << 8 |
                     static_cast<uint32_t>(c.r) << 16);
    }
  }
  return static_cast<int>(colours.Count());
}

void CalcImagePalette(const TBitmap& bitmap, std::vector<TRGB>& palette, int reserved,
                      int colours) {
  if (colours < 1 || bitmap.PixelFormat() != pf24bit || bitmap.Empty()) {
    palette.clear();
    return;
  }
  colours = imin(colours, kMaxPaletteColours);
  palette.resize(static_cast<size_t>(colours));
  TVXQuantizer quantizer(bitmap, palette.data(), reserved, colours, -1, 0);
}

void HistAutoEqualize(TBitmap& bitmap, int x1, int y1, int x2, int y2,
                      const TProgressRec& progress) {
  if (bitmap.PixelFormat() != pf24bit || !ClampRegion(bitmap, x1, y1, x2, y2)) return;
  const int w = bitmap.Width(), h = bitmap.Height();
  // The output levels are handed out in quotas of (pixels / 256); below 256
  // pixels there is no quota to hand out, so the image is left as it is.
  const int64_t quota = Div(static_cast<int64_t>(w) * h, 256);
  if (quota <= 0) return;

  // Grey histogram of the whole bitmap, whatever the rectangle.
  THistogram hist;
  GetHistogram(bitmap, hist, 0, 0, w - 1, h - 1);

  // Input level k spreads over the output levels lo[k]..hi[k].
  uint8_t lo[256], hi[256];
  int level = 0;
  int64_t sum = 0;
  for (int k = 0; k < 256; ++k) {
    lo[k] = blimit(level);
    sum += hist[k].Gray;
    while (sum > quota) {
      sum -= quota;
      ++level;
    }
    hi[k] = blimit(level);
  }

  // Results of the rectangle, written back once every neighbourhood has been
  // read from the untouched image.
  const int rw = x2 - x1 + 1, rh = y2 - y1 + 1;
  std::vector<TRGB> result(static_cast<size_t>(rw) * rh);
  for (int y = y1; y <= y2; ++y) {
    const TRGB* rows[3] = {PixelRow(bitmap, imax(y - 1, 0)), PixelRow(bitmap, y),
                           PixelRow(bitmap, imin(y + 1, h - 1))};
    TRGB* out = result.data() + static_cast<size_t>(y - y1) * rw;
    for (int x = x1; x <= x2; ++x) {
      const int cols[3] = {imax(x - 1, 0), x, imin(x + 1, w - 1)};
      int sr = 0, sg = 0, sb = 0;
      for (const TRGB* row : rows) {
        for (int cx : cols) {
          sr += row[cx].r;
          sg += row[cx].g;
          sb += row[cx].b;
        }
      }
      const TRGB avg{static_cast<uint8_t>(DivI(sb, 9)), static_cast<uint8_t>(DivI(sg, 9)),
                     static_cast<uint8_t>(DivI(sr, 9))};
      const TRGB& pixel = rows[1][x];
      const int g = RGBToGray(pixel);
      const int a = RGBToGray(avg);
      TRGB& o = out[x - x1];
      if (lo[g] == hi[g])
        o = MapChannels(pixel, lo);
      else if (a > hi[g])
        o = MapChannels(pixel, hi);
      else if (a < lo[g])
        o = MapChannels(pixel, lo);
      else
        o = avg;
    }
    ReportRow(progress, y, y1, y2);
  }
  for (int y = y1; y <= y2; ++y)
    std::memcpy(PixelRow(bitmap, y) + x1, result.data() + static_cast<size_t>(y - y1) * rw,
                static_cast<size_t>(rw) * sizeof(TRGB));
}

void HistEqualize(TBitmap& bitmap, const TRGB& loThresh, const TRGB& hiThresh, int x1, int y1,
                  int x2, int y2, const TProgressRec& progress) {
  if (bitmap.PixelFormat() != pf24bit || !ClampRegion(bitmap, x1, y1, x2, y2)) return;
  const auto atLeastOne = [](uint8_t v) { return v < 1 ? uint8_t{1} : v; };
  const TRGB hiRaised{atLeastOne(hiThresh.b), atLeastOne(hiThresh.g), atLeastOne(hiThresh.r)};
  if (hiRaised == loThresh) return;

  // table[channel][v] = T2[T1[v]], channels in pixel byte order B, G, R.
  const int los[3] = {loThresh.b, loThresh.g, loThresh.r};
  const int his[3] = {hiRaised.b, hiRaised.g, hiRaised.r};
  uint8_t table[3][256];
  for (int c = 0; c < 3; ++c) {
    const int lo = los[c], hi = his[c];
    const extended d = lo == 255 ? 1 : 255 - lo;
    uint8_t t1[256], t2[256];
    for (int v = 0; v < 256; ++v) {
      t1[v] = blimit(static_cast<int>(Round(static_cast<extended>(v - lo) / d * 255)));
      t2[v] = blimit(static_cast<int>(Round(static_cast<extended>(v) / hi * 255)));
    }
    for (int v = 0; v < 256; ++v) table[c][v] = t2[t1[v]];
  }

  for (int y = y1; y <= y2; ++y) {
    uint8_t* p = bitmap.ScanLine(y) + static_cast<size_t>(x1) * 3;
    for (int x = x1; x <= x2; ++x, p += 3) {
      p[0] = table[0][p[0]];
      p[1] = table[1][p[1]];
      p[2] = table[2][p[2]];
    }
    ReportRow(progress, y, y1, y2);
  }
}

}  // namespace vx
