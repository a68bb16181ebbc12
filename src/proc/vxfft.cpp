#include "proc/vxfft.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "core/arith.h"

namespace vx {

namespace {

// The one-dimensional transforms run on blocks of kLanes rows or columns at once: each
// "line" holds element k of kLanes independent sequences, so every butterfly is a
// kLanes-wide vector operation with one twiddle. Each sequence still goes through
// exactly the butterflies of a transform of its own.
constexpr int kLanes = 16;
using Lanes = float __attribute__((vector_size(kLanes * sizeof(float))));
// Aligned for the widest vector unit whatever the alignment the default target gives Lanes.
struct alignas(64) Line {
  Lanes re;
  Lanes im;
};

// Natural-order input, bit-reversed output: at depth d the blocks of 2b lines
// (b = N >> d) take twiddle j of that depth on their second half, then p += t and
// q = old p - t. Twiddles of depth d start at index 2^(d-1) - 1. Built for the widest
// vector unit the processor has.
__attribute__((target_clones("avx512f", "avx2", "default"))) void Butterflies(
    Line* lines, size_t stride, int n, const float* cosTab, const float* sinTab, float sign) {
  int base = 0;
  for (int blocks = 1, b = n >> 1; b >= 1; blocks <<= 1, b >>= 1) {
    for (int j = 0; j < blocks; ++j) {
      const float c = cosTab[base + j];
      const float s = sign * sinTab[base + j];
      Line* p = lines + static_cast<size_t>(j) * 2 * b * stride;
      Line* q = p + b * stride;
      for (int k = 0; k < b; ++k, p += stride, q += stride) {
        const Lanes tr = q->re * c - q->im * s;
        const Lanes ti = q->re * s + q->im * c;
        const Lanes r = p->re, i = p->im;
        p->re = r + tr;
        p->im = i + ti;
        q->re = r - tr;
        q->im = i - ti;
      }
    }
    base += blocks;
  }
}

// Back to natural order.
void Unscramble(Line* lines, size_t stride, int n, const int* bitReverse) {
  for (int i = 0; i < n; ++i) {
    const int j = bitReverse[i];
    if (i > j) {
      Line& a = lines[i * stride];
      Line& b = lines[j * stride];
      // Member by member: a whole-struct swap becomes a slow block move.
      const Lanes re = a.re, im = a.im;
      a.re = b.re;
      a.im = b.im;
      b.re = re;
      b.im = im;
    }
  }
}

// Lane j of lines[first .. first + kLanes - 1] := rows[j][first .. first + kLanes - 1]
// (count rows), through tiles that stay in the first-level cache.
void GatherTransposed(Line* lines, const float* const* rows, int count, int first, int imagOffset) {
  alignas(64) float tile[kLanes][kLanes];
  alignas(64) float turned[kLanes][kLanes];
  for (int part = 0; part < 2; ++part) {
    const int off = first + (part ? imagOffset : 0);
    for (int j = 0; j < count; ++j) std::memcpy(tile[j], rows[j] + off, sizeof(tile[j]));
    for (int j = count; j < kLanes; ++j) std::memset(tile[j], 0, sizeof(tile[j]));
    for (int i = 0; i < kLanes; ++i)
      for (int j = 0; j < kLanes; ++j) turned[i][j] = tile[j][i];
    for (int i = 0; i < kLanes; ++i)
      std::memcpy(part ? &lines[first + i].im : &lines[first + i].re, turned[i], sizeof(Lanes));
  }
}

// The inverse of GatherTransposed, each value multiplied by scale on the way.
void ScatterTransposed(const Line* lines, float* const* rows, int count, int first, int imagOffset,
                       float scale) {
  alignas(64) float tile[kLanes][kLanes];
  alignas(64) float turned[kLanes][kLanes];
  for (int part = 0; part < 2; ++part) {
    for (int i = 0; i < kLanes; ++i) {
      const Lanes v = (part ? lines[first + i].im : lines[first + i].re) * scale;
      std::memcpy(turned[i], &v, sizeof(Lanes));
    }
    for (int j = 0; j < kLanes; ++j)
      for (int i = 0; i < kLanes; ++i) tile[j][i] = turned[i][j];
    const int off = first + (part ? imagOffset : 0);
    for (int j = 0; j < count; ++j) std::memcpy(rows[j] + off, tile[j], sizeof(tile[j]));
  }
}

}  // namespace

TVXFtImage::TVXFtImage() = default;
TVXFtImage::~TVXFtImage() = default;

TVXFtImage::TVXFtImage(const TVXFtImage& other) {
  Assign(other);
}

TVXFtImage& TVXFtImage::operator=(const TVXFtImage& other) {
  Assign(other);
  return *this;
}

void TVXFtImage::BuildTables(int n) {
  n_ = n;
  log2n_ = TruncI(std::log(static_cast<double>(n)) / std::log(2.0) + 0.5);
  scale_ = 1 / std::sqrt(static_cast<double>(n));
  sine_.resize(static_cast<size_t>(n));
  bitReverse_.resize(static_cast<size_t>(n));
  power_.resize(static_cast<size_t>(log2n_) + 1);
  for (int i = 0; i < n; ++i) {
    sine_[i] = std::sin(2 * std::numbers::pi * i / n);
    int r = 0;
    for (int bit = 0; bit < log2n_; ++bit)
      if (i & (1 << bit)) r |= 1 << (log2n_ - 1 - bit);
    bitReverse_[i] = r;
  }
  for (int i = 0; i <= log2n_; ++i) power_[i] = TruncI(std::pow(2.0, i) + 0.5);

  // The twiddle of block j at depth d is w = bitReverse[start div b] with start = 2jb,
  // so w = bitReverse[2j]; the cosine is the sine a quarter period on. Below N = 4 there
  // is no quarter period in the table (N div 4 = 0 would give cos 0 = sin 0 = 0), so the
  // only twiddle there, w = 0, takes its exact cosine 1.
  blockCos_.clear();
  blockSin_.clear();
  for (int depth = 1; depth <= log2n_; ++depth) {
    const int blocks = power_[depth - 1];
    for (int j = 0; j < blocks; ++j) {
      const int w = bitReverse_[2 * j];
      const double c = n >= 4 ? sine_[(w + n / 4) % n] : std::cos(2 * std::numbers::pi * w / n);
      blockCos_.push_back(static_cast<float>(c));
      blockSin_.push_back(static_cast<float>(sine_[w]));
    }
  }
}

void TVXFtImage::ReleasePlanes() {
  red_ = Plane();
  green_ = Plane();
  blue_ = Plane();
  gray_ = Plane();
}

void TVXFtImage::Fft2d(Plane& plane, float sign, int passes, int passesDone) const {
  if (sign != 1.0f) sign = -1.0f;
  const int n = n_;
  const float scale = static_cast<float>(scale_);
  std::vector<Line> lines(static_cast<size_t>(n));
  // One-dimensional transforms of the kLanes sequences in lines first, stride apart.
  const auto transform = [&](Line* first, size_t stride) {
    Butterflies(first, stride, n, blockCos_.data(), blockSin_.data(), sign);
    Unscramble(first, stride, n, bitReverse_.data());
  };

  // Rows, kLanes at a time, transposed into the lines tile by tile.
  if (n >= kLanes) {
    float* rows[kLanes];
    for (int y0 = 0; y0 < n; y0 += kLanes) {
      for (int j = 0; j < kLanes; ++j) rows[j] = Row(plane, y0 + j);
      for (int k0 = 0; k0 < n; k0 += kLanes) GatherTransposed(lines.data(), rows, kLanes, k0, n);
      transform(lines.data(), 1);
      for (int k0 = 0; k0 < n; k0 += kLanes)
        ScatterTransposed(lines.data(), rows, kLanes, k0, n, scale);
    }
  } else {
    // Small squares: all rows in one block, element by element.
    std::memset(static_cast<void*>(lines.data()), 0, lines.size() * sizeof(Line));
    for (int y = 0; y < n; ++y)
      for (int k = 0; k < n; ++k) {
        lines[k].re[y] = Row(plane, y)[k];
        lines[k].im[y] = Row(plane, y)[n + k];
      }
    transform(lines.data(), 1);
    for (int y = 0; y < n; ++y)
      for (int k = 0; k < n; ++k) {
        Row(plane, y)[k] = lines[k].re[y] * scale;
        Row(plane, y)[n + k] = lines[k].im[y] * scale;
      }
  }

  // Columns, kLanes at a time: line y is the run of kLanes elements of row y. Up to
  // kGroups runs side by side are gathered in one sweep down the plane, so that each row
  // is visited with a longer contiguous access.
  constexpr int kGroups = 4;
  const TProgressRec progress{OnProgress, Sender};
  const double p = 100.0 / (static_cast<double>(passes) * n);
  std::vector<Line> columns(static_cast<size_t>(n) * kGroups);
  for (int x0 = 0; x0 < n; x0 += kLanes * kGroups) {
    const int count = imin(kLanes * kGroups, n - x0);
    const int groups = (count + kLanes - 1) / kLanes;
    if (count < kLanes * kGroups)
      std::memset(static_cast<void*>(columns.data()), 0, columns.size() * sizeof(Line));
    for (int y = 0; y < n; ++y) {
      const float* row = Row(plane, y);
      Line* out = columns.data() + static_cast<size_t>(y) * kGroups;
      if (count == kLanes * kGroups) {
        // Fixed-size copies compile to plain vector moves.
        for (int g = 0; g < kGroups; ++g) {
          std::memcpy(&out[g].re, row + x0 + g * kLanes, sizeof(Lanes));
          std::memcpy(&out[g].im, row + n + x0 + g * kLanes, sizeof(Lanes));
        }
      } else {
        for (int g = 0; g < groups; ++g) {
          const size_t part = imin(kLanes, count - g * kLanes) * sizeof(float);
          std::memcpy(&out[g].re, row + x0 + g * kLanes, part);
          std::memcpy(&out[g].im, row + n + x0 + g * kLanes, part);
        }
      }
    }
    for (int g = 0; g < groups; ++g) transform(columns.data() + g, kGroups);
    for (Line& c : columns) {
      c.re *= scale;
      c.im *= scale;
    }
    for (int y = 0; y < n; ++y) {
      float* row = Row(plane, y);
      const Line* in = columns.data() + static_cast<size_t>(y) * kGroups;
      if (count == kLanes * kGroups) {
        for (int g = 0; g < kGroups; ++g) {
          std::memcpy(row + x0 + g * kLanes, &in[g].re, sizeof(Lanes));
          std::memcpy(row + n + x0 + g * kLanes, &in[g].im, sizeof(Lanes));
        }
      } else {
        for (int g = 0; g < groups; ++g) {
          const size_t part = imin(kLanes, count - g * kLanes) * sizeof(float);
          std::memcpy(row + x0 + g * kLanes, &in[g].re, part);
          std::memcpy(row + n + x0 + g * kLanes, &in[g].im, part);
        }
      }
    }
    for (int j = 0; j < count; ++j) progress.Report(TruncI(p * (x0 + j) + p * passesDone * n));
  }
}

bool TVXFtImage::BuildFT(const TBitmap& bitmap, TVXFtImageType type) {
  normalise_ = false;
  if (bitmap.Width() > kMaxN || bitmap.Height() > kMaxN) {
    // A 16385 x 1 strip alone would ask for 8 GiB a plane.
    ReleasePlanes();
    type_ = vxitUnknown;
    sourceWidth_ = bitmap.Width();
    sourceHeight_ = bitmap.Height();
    offsetX_ = offsetY_ = 0;
    return false;
  }
  // Planes of the other type go; those of this type are overwritten in their storage.
  if (type != vxitRGB) red_ = green_ = blue_ = Plane();
  if (type != vxitGrayscale) gray_ = Plane();
  type_ = type;
  TBitmap converted;
  const TBitmap* src = &bitmap;
  if (bitmap.PixelFormat() != pf24bit) {
    converted.Assign(bitmap);
    converted.SetPixelFormat(pf24bit);
    src = &converted;
  }
  const int w = src->Width(), h = src->Height();
  sourceWidth_ = w;
  sourceHeight_ = h;
  int n = 1;
  while (n < w || n < h) n <<= 1;
  offsetX_ = (n - w) / 2;
  offsetY_ = (n - h) / 2;
  if (type == vxitUnknown) return true;
  if (n != n_ || sine_.empty()) BuildTables(n);

  normalise_ = true;
  const int passes = type == vxitRGB ? 3 : 1;
  int passesDone = 0;
  // sample(pixel) is the plane's value of one pixel. Every element is written once: the
  // padding 0, the image sample / largest, negated where x + y is odd (the checkerboard
  // moves the zero frequency to the centre).
  const auto build = [&](Plane& plane, auto sample) {
    plane.resize(static_cast<size_t>(n) * 2 * n);
    int largest = 1;
    for (int y = 0; y < h; ++y) {
      const auto* in = reinterpret_cast<const TRGB*>(src->ScanLine(y));
      for (int x = 0; x < w; ++x) largest = imax(largest, sample(in[x]));
    }
    // sample / largest for every possible sample, and its negation.
    const float divisor = static_cast<float>(largest);
    float value[2][256];
    for (int v = 0; v < 256; ++v) {
      value[0][v] = static_cast<float>(v) / divisor;
      value[1][v] = -value[0][v];
    }
    for (int y = 0; y < n; ++y) {
      float* row = Row(plane, y);
      std::fill(row, row + 2 * n, 0.0f);
      const int sy = y - offsetY_;
      if (sy < 0 || sy >= h) continue;
      const auto* in = reinterpret_cast<const TRGB*>(src->ScanLine(sy));
      for (int x = 0; x < w; ++x) {
        const int px = x + offsetX_;
        row[px] = value[(px + y) & 1][sample(in[x])];
      }
    }
    Fft2d(plane, -1.0f, passes, passesDone++);
  };
  if (type == vxitRGB) {
    build(red_, [](const TRGB& c) { return static_cast<int>(c.r); });
    build(green_, [](const TRGB& c) { return static_cast<int>(c.g); });
    build(blue_, [](const TRGB& c) { return static_cast<int>(c.b); });
  } else {
    build(gray_, [](const TRGB& c) { return RGBToGray(c); });
  }
  normalise_ = false;
  return true;
}

void TVXFtImage::GetFTImage(TBitmap& bitmap) const {
  if (red_.empty() && gray_.empty()) return;
  const int n = n_;
  SizeBitmap(bitmap, n, n, pf24bit);
  std::vector<double> values(static_cast<size_t>(n) * n);
  // Writes the log-magnitude of plane into byte channel of each pixel (all three for 3).
  const auto draw = [&](const Plane& plane, int channel) {
    double lo = 1e20, hi = -1e20;
    for (int y = 0; y < n; ++y) {
      const float* row = plane.data() + static_cast<size_t>(y) * 2 * n;
      for (int x = 0; x < n; ++x) {
        const double re = row[x], im = row[n + x];
        const double m = std::sqrt(re * re + im * im);
        const double v = m > 0 ? std::log(std::sqrt(m)) : 0;
        values[static_cast<size_t>(y) * n + x] = v;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
      }
    }
    if (lo > -1e-5 && lo < 1e-5) lo = 0;
    // A flat spectrum (one element, or all magnitudes equal) has no range to stretch.
    const double factor = hi > lo ? 255 / (hi - lo) : 0;
    for (int y = 0; y < n; ++y) {
      uint8_t* out = bitmap.ScanLine(y);
      for (int x = 0; x < n; ++x, out += 3) {
        const uint8_t b = blimit(TruncI(factor * (values[static_cast<size_t>(y) * n + x] - lo)));
        if (channel == 3)
          out[0] = out[1] = out[2] = b;
        else
          out[channel] = b;
      }
    }
  };
  if (type_ == vxitRGB && !red_.empty()) {
    draw(red_, 2);
    draw(green_, 1);
    draw(blue_, 0);
  } else if (!gray_.empty()) {
    draw(gray_, 3);
  }
}

void TVXFtImage::BuildBitmap(TBitmap& bitmap) const {
  if (red_.empty() && gray_.empty()) return;
  const int n = n_;
  const int w = sourceWidth_, h = sourceHeight_;
  SizeBitmap(bitmap, w, h, pf24bit);
  const int passes = type_ == vxitRGB ? 3 : 1;
  int passesDone = 0;
  const auto inverse = [&](const Plane& source, int channel) {
    Plane plane = source;
    Fft2d(plane, 1.0f, passes, passesDone++);
    // |re| undoes the checkerboard's alternating sign.
    float lo = std::fabs(plane[0]), hi = lo;
    for (int y = 0; y < n; ++y) {
      float* row = Row(plane, y);
      for (int x = 0; x < n; ++x) {
        const float v = std::fabs(row[x]);
        row[x] = v;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
      }
    }
    // Values that differ only by rounding noise (a uniform result, or nothing left at all)
    // are not stretched into noise: the image comes back uniform, at 0.
    const float range = hi - lo;
    const float factor = range > 1e-5f * hi ? 255.0f / range : 0.0f;
    for (int y = 0; y < h; ++y) {
      const float* row = Row(plane, y + offsetY_) + offsetX_;
      uint8_t* out = bitmap.ScanLine(y);
      for (int x = 0; x < w; ++x, out += 3) {
        const uint8_t b = blimit(TruncI(factor * (row[x] - lo)));
        if (channel == 3)
          out[0] = out[1] = out[2] = b;
        else
          out[channel] = b;
      }
    }
  };
  if (type_ == vxitRGB && !red_.empty()) {
    inverse(red_, 2);
    inverse(green_, 1);
    inverse(blue_, 0);
  } else if (!gray_.empty()) {
    inverse(gray_, 3);
  }
}

template <class Pred>
void TVXFtImage::ZeroWhere(Pred zero) {
  const int n = n_;
  for (Plane* plane : {&red_, &green_, &blue_, &gray_}) {
    if (plane->empty()) continue;
    for (int y = 0; y < n; ++y) {
      float* row = Row(*plane, y);
      for (int x = 0; x < n; ++x)
        if (zero(x, y)) row[x] = row[n + x] = 0.0f;
    }
  }
}

namespace {
int CentreDistance(int x, int y, int n) {
  const double dx = x - n / 2, dy = y - n / 2;
  return TruncI(std::sqrt(dx * dx + dy * dy));
}
}  // namespace

void TVXFtImage::HiPass(int radius) {
  const int n = n_;
  ZeroWhere([n, radius](int x, int y) { return CentreDistance(x, y, n) <= radius; });
}

void TVXFtImage::LoPass(int radius) {
  const int n = n_;
  ZeroWhere([n, radius](int x, int y) { return CentreDistance(x, y, n) > radius; });
}

void TVXFtImage::ClearZone(int x1, int y1, int x2, int y2) {
  x1 = imax(x1, 0);
  y1 = imax(y1, 0);
  x2 = imin(x2, n_ - 1);
  y2 = imin(y2, n_ - 1);
  if (x2 < x1 || y2 < y1) return;
  ZeroWhere([=](int x, int y) { return x >= x1 && x <= x2 && y >= y1 && y <= y2; });
}

TVXComplexImage TVXFtImage::GetComplexImage(int x, int y) {
  TVXComplexImage c;
  if (x < 0 || y < 0 || x >= n_ || y >= n_) return c;
  const auto at = [&](Plane& plane, float*& re, float*& im) {
    if (plane.empty()) return;
    re = Row(plane, y) + x;
    im = re + n_;
  };
  at(red_, c.RedReal, c.RedImag);
  at(blue_, c.BlueReal, c.BlueImag);
  at(green_, c.GreenReal, c.GreenImag);
  at(gray_, c.GrayReal, c.GrayImag);
  return c;
}

void TVXFtImage::Assign(const TVXFtImage& source) {
  if (&source == this) return;
  ReleasePlanes();
  normalise_ = source.normalise_;
  offsetX_ = source.offsetX_;
  offsetY_ = source.offsetY_;
  sourceWidth_ = source.sourceWidth_;
  sourceHeight_ = source.sourceHeight_;
  OnProgress = source.OnProgress;
  Sender = source.Sender;
  type_ = source.type_;
  if (source.n_ > 0) {
    BuildTables(source.n_);
  } else {
    n_ = log2n_ = 0;
    scale_ = 0;
    sine_.clear();
    bitReverse_.clear();
    power_.clear();
    blockCos_.clear();
    blockSin_.clear();
  }
  red_ = source.red_;
  green_ = source.green_;
  blue_ = source.blue_;
  gray_ = source.gray_;
}

}  // namespace vx
