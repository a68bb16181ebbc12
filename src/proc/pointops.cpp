#include "proc/pointops.h"

#include <cmath>
#include <cstdint>

#include "core/arith.h"
#include "platform/canvas.h"
#include "proc/region.h"
#include "quant/neurquant.h"

namespace vx {

namespace {

// Runs op on every pixel of the region of a pf24bit bitmap, one progress step a row.
template <class Op>
void ForEachPixel(TBitmap& bitmap, int x1, int y1, int x2, int y2, const TProgressRec& progress,
                  Op op) {
  if (bitmap.PixelFormat() != pf24bit || !ClampRegion(bitmap, x1, y1, x2, y2)) return;
  for (int y = y1; y <= y2; ++y) {
    auto* row = reinterpret_cast<TRGB*>(bitmap.ScanLine(y));
    for (int x = x1; x <= x2; ++x) op(row[x]);
    ReportRow(progress, y, y1, y2);
  }
}

// Applies op to count bytes. The bulk goes in blocks of a fixed length: at -O2 the
// compiler only vectorises a loop whose trip count it knows to be a whole number of
// vectors, so a plain loop over a row's run-time length stays one byte a step (about
// five times slower than memory allows on a large image).
template <class Op>
void ApplyToBytes(uint8_t* p, size_t count, Op op) {
  constexpr size_t kBlock = 64;
  size_t i = 0;
  for (; i + kBlock <= count; i += kBlock)
    for (size_t k = 0; k < kBlock; ++k) p[i + k] = op(p[i + k]);
  for (; i < count; ++i) p[i] = op(p[i]);
}

// For operations that treat the three channels alike: a byte loop over each row's part
// (a loop over 3-byte pixels is not vectorised at all).
template <class Op>
void ForEachChannelByte(TBitmap& bitmap, int x1, int y1, int x2, int y2,
                        const TProgressRec& progress, Op op) {
  if (bitmap.PixelFormat() != pf24bit || !ClampRegion(bitmap, x1, y1, x2, y2)) return;
  const size_t count = static_cast<size_t>(x2 - x1 + 1) * 3;
  for (int y = y1; y <= y2; ++y) {
    ApplyToBytes(bitmap.ScanLine(y) + static_cast<size_t>(x1) * 3, count, op);
    ReportRow(progress, y, y1, y2);
  }
}

double ContrastFactor(int amount) {
  return amount < 0 ? 1 - std::sqrt(static_cast<double>(-amount)) / 10 : amount / 10.0 + 1;
}

inline uint8_t ClampByte(int64_t v) {
  return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

inline uint8_t ContrastChannel(int c, int ref, double x) {
  // 64-bit so that a huge amount saturates instead of overflowing.
  return ClampByte(ref + Trunc((c - ref) * x));
}

// Whole-image progress of the conversions: trunc(100 / (height + 0.5) * rowsDone).
void ReportWhole(const TProgressRec& progress, int rowsDone, int height) {
  progress.Report(TruncI(100 / (height + 0.5L) * rowsDone));
}

// Channel extraction progress: trunc(100 / height * rowIndex), before the index moves on.
void ReportIndex(const TProgressRec& progress, int rowIndex, int height) {
  progress.Report(TruncI(100.0L / height * rowIndex));
}

inline void SetGrey(TRGB& p, uint8_t v) {
  p.r = p.g = p.b = v;
}

uint8_t HSVGrey(const TRGB& c, int channel) {
  int h, s, v;
  RGB2HSV(c, h, s, v);
  switch (channel) {
    case 1:
      return static_cast<uint8_t>(TruncI(s / 99.0 * 255));
    case 2:
      return static_cast<uint8_t>(TruncI(v / 99.0 * 255));
    default:
      return static_cast<uint8_t>(TruncI(h / 359.0 * 255));
  }
}

// Fills three pf24bit images of the source's size from one pass over it; out(pixel, a, b, c)
// gives the three grey values.
template <class Split>
void SplitChannels(const TBitmap& bitmap, TBitmap& a, TBitmap& b, TBitmap& c,
                   const TProgressRec& progress, Split split) {
  if (bitmap.PixelFormat() != pf24bit) return;
  // An output that is the source itself would be overwritten while read.
  TBitmap copy;
  const TBitmap* src = &bitmap;
  if (&a == &bitmap || &b == &bitmap || &c == &bitmap) {
    copy.Assign(bitmap);
    src = &copy;
  }
  const int w = src->Width(), h = src->Height();
  for (TBitmap* out : {&a, &b, &c}) SizeBitmap(*out, w, h, pf24bit);
  for (int y = 0; y < h; ++y) {
    const auto* s = reinterpret_cast<const TRGB*>(src->ScanLine(y));
    auto* ra = reinterpret_cast<TRGB*>(a.ScanLine(y));
    auto* rb = reinterpret_cast<TRGB*>(b.ScanLine(y));
    auto* rc = reinterpret_cast<TRGB*>(c.ScanLine(y));
    for (int x = 0; x < w; ++x) {
      uint8_t va, vb, vc;
      split(s[x], va, vb, vc);
      SetGrey(ra[x], va);
      SetGrey(rb[x], vb);
      SetGrey(rc[x], vc);
    }
    ReportIndex(progress, y, h);
  }
}

}  // namespace

// ---- reference levels ----

void GetMediaContrastRGB(const TBitmap& bitmap, int& refR, int& refG, int& refB) {
  refR = refG = refB = 128;
  if (bitmap.PixelFormat() != pf24bit || bitmap.Empty()) return;
  int64_t sr = 0, sg = 0, sb = 0;
  const int w = bitmap.Width(), h = bitmap.Height();
  for (int y = 0; y < h; ++y) {
    const auto* row = reinterpret_cast<const TRGB*>(bitmap.ScanLine(y));
    for (int x = 0; x < w; ++x) {
      sr += row[x].r;
      sg += row[x].g;
      sb += row[x].b;
    }
  }
  // The mean over every pixel, so a reference never leaves 0..255.
  const int64_t n = int64_t{w} * h;
  refR = static_cast<int>(sr / n);
  refG = static_cast<int>(sg / n);
  refB = static_cast<int>(sb / n);
}

int GetMediaContrast(const TBitmap& bitmap) {
  if (bitmap.PixelFormat() != pf24bit || bitmap.Empty()) return 128;
  int64_t sum = 0;
  const int n = 3 * bitmap.Width();
  for (int y = 0; y < bitmap.Height(); ++y) {
    const uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < n; ++x) sum += row[x];
  }
  return static_cast<int>(sum / (int64_t{n} * bitmap.Height()));
}

// ---- region workers ----

void ContrastRGB(TBitmap& bitmap, int amount, int refR, int refG, int refB, int x1, int y1, int x2,
                 int y2, const TProgressRec& progress) {
  const double f = ContrastFactor(amount);
  ForEachPixel(bitmap, x1, y1, x2, y2, progress, [&](TRGB& p) {
    p.r = ContrastChannel(p.r, refR, f);
    p.g = ContrastChannel(p.g, refG, f);
    p.b = ContrastChannel(p.b, refB, f);
  });
}

void ContrastRGB(TBitmap& bitmap, int amount, int x1, int y1, int x2, int y2,
                 const TProgressRec& progress) {
  int r, g, b;
  GetMediaContrastRGB(bitmap, r, g, b);
  ContrastRGB(bitmap, amount, r, g, b, x1, y1, x2, y2, progress);
}

void Contrast(TBitmap& bitmap, int amount, int reference, int x1, int y1, int x2, int y2,
              const TProgressRec& progress) {
  const double f = ContrastFactor(amount);
  ForEachPixel(bitmap, x1, y1, x2, y2, progress, [&](TRGB& p) {
    p.r = ContrastChannel(p.r, reference, f);
    p.g = ContrastChannel(p.g, reference, f);
    p.b = ContrastChannel(p.b, reference, f);
  });
}

void Contrast(TBitmap& bitmap, int amount, int x1, int y1, int x2, int y2,
              const TProgressRec& progress) {
  Contrast(bitmap, amount, GetMediaContrast(bitmap), x1, y1, x2, y2, progress);
}

void IntensityRGBall(TBitmap& bitmap, int r, int g, int b, int x1, int y1, int x2, int y2,
                     const TProgressRec& progress) {
  // A table a channel: one read a byte instead of an add and a clamp.
  uint8_t tr[256], tg[256], tb[256];
  // Beyond +-255 every byte saturates the same way; keeps c + r from overflowing.
  r = ilimit(r, -256, 256);
  g = ilimit(g, -256, 256);
  b = ilimit(b, -256, 256);
  for (int c = 0; c < 256; ++c) {
    tr[c] = blimit(c + r);
    tg[c] = blimit(c + g);
    tb[c] = blimit(c + b);
  }
  ForEachPixel(bitmap, x1, y1, x2, y2, progress, [&](TRGB& p) {
    p.r = tr[p.r];
    p.g = tg[p.g];
    p.b = tb[p.b];
  });
}

void HSLvar(TBitmap& bitmap, int hue, int saturation, int luminosity, int x1, int y1, int x2,
            int y2, const TProgressRec& progress) {
  const double dh = hue / 360.0, ds = saturation / 100.0, dl = luminosity / 100.0;
  ForEachPixel(bitmap, x1, y1, x2, y2, progress, [&](TRGB& p) {
    double h, s, l;
    RGB2HSL(p, h, s, l);
    p = HSL2RGB(h + dh, s + ds, l + dl);
  });
}

void HSVvar(TBitmap& bitmap, int hue, int saturation, int value, int x1, int y1, int x2, int y2,
            const TProgressRec& progress) {
  // The sums are clamped to 0..359 and 0..99 anyway; this keeps them from overflowing.
  hue = ilimit(hue, -1000, 1000);
  saturation = ilimit(saturation, -1000, 1000);
  value = ilimit(value, -1000, 1000);
  ForEachPixel(bitmap, x1, y1, x2, y2, progress, [&](TRGB& p) {
    int h, s, v;
    RGB2HSV(p, h, s, v);
    p = HSV2RGB(h + hue, s + saturation, v + value);
  });
}

void Negative(TBitmap& bitmap, int x1, int y1, int x2, int y2, const TProgressRec& progress) {
  if (bitmap.PixelFormat() == pf1bit) {
    if (!ClampRegion(bitmap, x1, y1, x2, y2)) return;
    for (int y = y1; y <= y2; ++y) {
      uint8_t* row = bitmap.ScanLine(y);
      int x = x1;
      for (; x <= x2 && (x & 7); ++x) SetPixelbw(row, x, !GetPixelbw(row, x));
      for (; x + 7 <= x2; x += 8) row[x >> 3] = static_cast<uint8_t>(~row[x >> 3]);
      for (; x <= x2; ++x) SetPixelbw(row, x, !GetPixelbw(row, x));
      ReportRow(progress, y, y1, y2);
    }
    return;
  }
  ForEachChannelByte(bitmap, x1, y1, x2, y2, progress,
                     [](uint8_t c) { return static_cast<uint8_t>(255 - c); });
}

void ConvertToGray(TBitmap& bitmap, int x1, int y1, int x2, int y2, const TProgressRec& progress) {
  ForEachPixel(bitmap, x1, y1, x2, y2, progress,
               [](TRGB& p) { SetGrey(p, static_cast<uint8_t>(RGBToGray(p))); });
}

void Threshold(TBitmap& bitmap, const TRGB& downLimit, const TRGB& upLimit, const TRGB& downValue,
               const TRGB& upValue, int x1, int y1, int x2, int y2, const TProgressRec& progress) {
  if (downLimit == TRGB{0, 0, 0} && upLimit == TRGB{255, 255, 255}) return;
  ForEachPixel(bitmap, x1, y1, x2, y2, progress, [&](TRGB& p) {
    if (p.r <= downLimit.r) p.r = downValue.r;
    if (p.g <= downLimit.g) p.g = downValue.g;
    if (p.b <= downLimit.b) p.b = downValue.b;
    if (p.r > upLimit.r) p.r = upValue.r;
    if (p.g > upLimit.g) p.g = upValue.g;
    if (p.b > upLimit.b) p.b = upValue.b;
  });
}

void CastColorRange(TBitmap& bitmap, const TRGB& beginColor, const TRGB& endColor,
                    const TRGB& castColor, int x1, int y1, int x2, int y2,
                    const TProgressRec& progress) {
  ForEachPixel(bitmap, x1, y1, x2, y2, progress, [&](TRGB& p) {
    if (beginColor.r <= p.r && p.r <= endColor.r && beginColor.g <= p.g && p.g <= endColor.g &&
        beginColor.b <= p.b && p.b <= endColor.b)
      p = castColor;
  });
}

void Merge(TBitmap& bitmap, const TBitmap& other, int percent, int x1, int y1, int x2, int y2,
           const TProgressRec& progress) {
  if (bitmap.PixelFormat() != pf24bit || other.Empty() || !ClampRegion(bitmap, x1, y1, x2, y2))
    return;
  TBitmap over;
  SizeBitmap(over, x2 - x1 + 1, y2 - y1 + 1, pf24bit);
  over.Canvas().StretchDraw(Rect(0, 0, over.Width(), over.Height()), other);
  const int keep = percent, take = 100 - percent;
  for (int y = y1; y <= y2; ++y) {
    uint8_t* row = bitmap.ScanLine(y) + 3 * x1;
    const uint8_t* o = over.ScanLine(y - y1);
    for (int k = 0; k < 3 * (x2 - x1 + 1); ++k)
      row[k] = ClampByte(Round(static_cast<double>(row[k]) * keep / 100.0 +
                               static_cast<double>(o[k]) * take / 100.0));
    ReportRow(progress, y, y1, y2);
  }
}

// ---- channel extraction ----

std::unique_ptr<TBitmap> GetRGBChannel(const TBitmap& bitmap, int channel,
                                       const TProgressRec& progress) {
  if (bitmap.PixelFormat() != pf24bit || channel < 0) return nullptr;
  const int offset = imin(channel, 2);
  auto out = std::make_unique<TBitmap>();
  const int w = bitmap.Width(), h = bitmap.Height();
  SizeBitmap(*out, w, h, pf24bit);
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = bitmap.ScanLine(y);
    auto* d = reinterpret_cast<TRGB*>(out->ScanLine(y));
    for (int x = 0; x < w; ++x) SetGrey(d[x], s[3 * x + offset]);
    ReportIndex(progress, y, h);
  }
  return out;
}

std::unique_ptr<TBitmap> GetHSVChannel(const TBitmap& bitmap, int channel,
                                       const TProgressRec& progress) {
  if (bitmap.PixelFormat() != pf24bit) return nullptr;
  auto out = std::make_unique<TBitmap>();
  const int w = bitmap.Width(), h = bitmap.Height();
  SizeBitmap(*out, w, h, pf24bit);
  for (int y = 0; y < h; ++y) {
    const auto* s = reinterpret_cast<const TRGB*>(bitmap.ScanLine(y));
    auto* d = reinterpret_cast<TRGB*>(out->ScanLine(y));
    for (int x = 0; x < w; ++x) SetGrey(d[x], HSVGrey(s[x], channel));
    ReportIndex(progress, y, h);
  }
  return out;
}

void GetRGBChannelAll(const TBitmap& bitmap, TBitmap& r, TBitmap& g, TBitmap& b,
                      const TProgressRec& progress) {
  SplitChannels(bitmap, r, g, b, progress,
                [](const TRGB& p, uint8_t& vr, uint8_t& vg, uint8_t& vb) {
                  vr = p.r;
                  vg = p.g;
                  vb = p.b;
                });
}

void GetHSVChannelAll(const TBitmap& bitmap, TBitmap& h, TBitmap& s, TBitmap& v,
                      const TProgressRec& progress) {
  SplitChannels(bitmap, h, s, v, progress,
                [](const TRGB& p, uint8_t& vh, uint8_t& vs, uint8_t& vv) {
                  int hh, ss, vvv;
                  RGB2HSV(p, hh, ss, vvv);
                  vh = static_cast<uint8_t>(TruncI(hh / 359.0 * 255));
                  vs = static_cast<uint8_t>(TruncI(ss / 99.0 * 255));
                  vv = static_cast<uint8_t>(TruncI(vvv / 99.0 * 255));
                });
}

// ---- conversions ----

void ConvertToPalette(TBitmap& bitmap, int colours, std::vector<TRGB>& palette,
                      TProgressRec& progress) {
  if (colours <= 2) {
    if (bitmap.PixelFormat() != pf24bit) return;
    ConvertToBWOrdered(bitmap, progress);
    palette = {TRGB{0, 0, 0}, TRGB{255, 255, 255}};
    return;
  }
  if (bitmap.PixelFormat() != pf24bit || bitmap.Empty()) return;
  // More entries than this cannot be told apart in practice and would only cost memory.
  colours = imin(colours, kMaxConvertColours);
  palette.assign(static_cast<size_t>(colours), TRGB{});
  const TVXQuantizer quantizer(bitmap, palette.data(), 0x7FFFFFF, colours, -1, 0);
  const int w = bitmap.Width(), h = bitmap.Height();
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<TRGB*>(bitmap.ScanLine(y));
    // Neighbouring pixels are often equal: reuse the last lookup. It starts from the
    // row's first pixel, a colour of the image: an exact palette finds any other
    // colour only by a search over all its entries.
    TRGB last = row[0];
    TRGB lastOut = palette[static_cast<size_t>(quantizer.GetRGBIndex(last))];
    for (int x = 0; x < w; ++x) {
      if (!(row[x] == last)) {
        last = row[x];
        lastOut = palette[static_cast<size_t>(quantizer.GetRGBIndex(last))];
      }
      row[x] = lastOut;
    }
    ReportWhole(progress, y + 1, h);
  }
}

void ConvertTo(TBitmap& bitmap, int colours, TProgressRec& progress) {
  std::vector<TRGB> palette;
  ConvertToPalette(bitmap, colours, palette, progress);
}

void ConvertToBWThreshold(TBitmap& bitmap, int threshold, const TProgressRec& progress) {
  if (bitmap.PixelFormat() != pf24bit || bitmap.Empty()) return;
  if (threshold == -1) {
    int r, g, b;
    GetMediaContrastRGB(bitmap, r, g, b);
    threshold = (r * 21 + g * 71 + b * 7) / 100;
  }
  const int w = bitmap.Width(), h = bitmap.Height();
  TBitmap out;
  SizeBitmap(out, w, h, pf1bit);
  for (int y = 0; y < h; ++y) {
    const auto* s = reinterpret_cast<const TRGB*>(bitmap.ScanLine(y));
    uint8_t* d = out.ScanLine(y);
    for (int x = 0; x < w; ++x) SetPixelbw(d, x, RGBToGray(s[x]) >= threshold);
    ReportWhole(progress, y + 1, h);
  }
  out.SetPalette({TRGB{0, 0, 0}, TRGB{255, 255, 255}});
  bitmap.Assign(out);
}

void ConvertTo24Bit(TBitmap& bitmap, const TProgressRec& progress) {
  if (bitmap.PixelFormat() != pf1bit) return;
  TBitmap copy;
  copy.Assign(bitmap);
  Conv1to24(copy, bitmap, progress);
}

}  // namespace vx
