#include "proc/resample.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numbers>
#include <vector>

#include "core/arith.h"
#include "platform/canvas.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace vx {

namespace {

bool gResampleSimd = true;

double Sinc(double t) {
  if (t == 0) return 1;
  const double pt = std::numbers::pi * t;
  return std::sin(pt) / pt;
}

// Byte result of one weighted sum in the reference arithmetic: clamp, else round half
// to even.
inline uint8_t FinishExact(double s) {
  if (s > 255) return 255;
  if (s < 0) return 0;
  return static_cast<uint8_t>(Round(s));
}

// Contributor lists of every destination column (or row). Each list keeps the double
// weights of the reference arithmetic and, beside them, fixed-point copies: the fast
// path sums integers and only falls back to the double sum when the integer result lies
// so close to a rounding boundary that the two could disagree.
struct TContributors {
  std::vector<int> first;  // offset of list i in the flat arrays
  std::vector<int> count;  // entries of list i
  std::vector<int> index;  // source index of each entry
  std::vector<double> weight;
  std::vector<int32_t> fixed;  // round(weight * 2^shift)
  std::vector<int32_t> slack;  // per list: largest distance between the two sums, fixed units
  int shift = 22;
};

int Mirror(int j, int len) {
  if (j < 0)
    j = -j;
  else if (j >= len)
    j = 2 * len - 1 - j;
  // A support wider than a tiny image mirrors past the far edge too; stay inside.
  return ilimit(j, 0, len - 1);
}

TContributors BuildContributors(TResampleFilter filter, int srcLen, int dstLen) {
  TContributors c;
  const double support = ResampleFilterSupport(filter);
  const double scale = static_cast<double>(dstLen) / srcLen;
  c.first.resize(dstLen);
  c.count.resize(dstLen);
  double maxAbsSum = 0;
  int maxCount = 0;
  for (int i = 0; i < dstLen; ++i) {
    c.first[i] = static_cast<int>(c.index.size());
    const double centre = i / scale;
    double absSum = 0;
    if (scale >= 1) {
      const int left = static_cast<int>(std::floor(centre - support));
      const int right = static_cast<int>(std::ceil(centre + support));
      for (int j = left; j <= right; ++j) {
        const double w = ResampleFilterKernel(filter, centre - j);
        if (w == 0) continue;
        c.index.push_back(Mirror(j, srcLen));
        c.weight.push_back(w);
        absSum += std::fabs(w);
      }
    } else {
      const double width = support / scale;
      const double f = 1 / scale;
      const int left = static_cast<int>(std::floor(centre - width));
      const int right = static_cast<int>(std::ceil(centre + width));
      for (int j = left; j <= right; ++j) {
        const double w = ResampleFilterKernel(filter, (centre - j) / f) / f;
        if (w == 0) continue;
        c.index.push_back(Mirror(j, srcLen));
        c.weight.push_back(w);
        absSum += std::fabs(w);
      }
    }
    c.count[i] = static_cast<int>(c.index.size()) - c.first[i];
    // The sampled kernels do not sum to 1 (a triangle reducing 30 to 29 pixels sums to
    // anything from 0.93 to 1.07), which turns a flat area into bands. Each list is
    // divided by its own sum, in list order, so flat areas stay flat.
    double sum = 0;
    for (int k = c.first[i]; k < c.first[i] + c.count[i]; ++k) sum += c.weight[k];
    if (sum != 0) {
      absSum = 0;
      for (int k = c.first[i]; k < c.first[i] + c.count[i]; ++k) {
        c.weight[k] /= sum;
        absSum += std::fabs(c.weight[k]);
      }
    }
    maxAbsSum = std::max(maxAbsSum, absSum);
    maxCount = std::max(maxCount, c.count[i]);
  }
  // Largest shift that keeps every integer sum (plus the rounding half) inside 31 bits,
  // each fixed weight being off by at most one unit.
  c.shift = 22;
  auto fits = [&](int s) {
    const double scaleF = std::ldexp(1.0, s);
    return (maxAbsSum * scaleF + 0.5 * maxCount) * 255 + scaleF < 2147483647.0 * 0.99;
  };
  while (c.shift > 8 && !fits(c.shift)) --c.shift;
  const double scaleF = std::ldexp(1.0, c.shift);
  c.fixed.resize(c.weight.size());
  for (size_t k = 0; k < c.weight.size(); ++k)
    c.fixed[k] = static_cast<int32_t>(std::lround(c.weight[k] * scaleF));
  c.slack.resize(dstLen);
  for (int i = 0; i < dstLen; ++i) {
    // Each fixed weight is within half a unit of the true one: the integer sum is within
    // 255/2 units a tap of the exact sum, and the double sum is far closer than one unit.
    c.slack[i] = c.count[i] * 128 + 4;
  }
  return c;
}

// Integer sum -> byte, or -1 when it lies too close to a rounding boundary.
inline int FinishFixed(int32_t acc, int shift, int32_t slack) {
  const int32_t half = int32_t{1} << (shift - 1);
  const int32_t frac = acc & ((int32_t{1} << shift) - 1);
  if (std::abs(frac - half) <= slack) return -1;
  const int32_t v = (acc + half) >> shift;
  return v < 0 ? 0 : v > 255 ? 255 : v;
}

void ReportProgress(const TProgressEvent& onProgress, TObject* sender, int64_t done, double total) {
  if (onProgress) onProgress(sender, TruncI(static_cast<double>(done) * 100 / total));
}

// The reference double sums, for values the integer sums cannot settle.
uint8_t HorizontalExact(const TContributors& c, const uint8_t* src, int i, int ch) {
  const int first = c.first[i], n = c.count[i];
  double s = 0;
  for (int t = 0; t < n; ++t) s += c.weight[first + t] * src[3 * c.index[first + t] + ch];
  return FinishExact(s);
}
uint8_t VerticalExact(const TContributors& c, const TBitmap& inter, int y, int byte) {
  const int first = c.first[y], n = c.count[y];
  double s = 0;
  for (int t = 0; t < n; ++t) s += c.weight[first + t] * inter.ScanLine(c.index[first + t])[byte];
  return FinishExact(s);
}

// One source row into one intermediate row.
void HorizontalRow(const TContributors& c, const uint8_t* src, uint8_t* dst, int dstW) {
  const int shift = c.shift;
  for (int i = 0; i < dstW; ++i) {
    const int first = c.first[i], n = c.count[i];
    const int* idx = c.index.data() + first;
    const int32_t* w = c.fixed.data() + first;
    int32_t a0 = 0, a1 = 0, a2 = 0;
    for (int t = 0; t < n; ++t) {
      const uint8_t* p = src + 3 * idx[t];
      a0 += w[t] * p[0];
      a1 += w[t] * p[1];
      a2 += w[t] * p[2];
    }
    const int32_t acc[3] = {a0, a1, a2};
    for (int ch = 0; ch < 3; ++ch) {
      int v = FinishFixed(acc[ch], shift, c.slack[i]);
      if (v < 0) v = HorizontalExact(c, src, i, ch);
      dst[3 * i + ch] = static_cast<uint8_t>(v);
    }
  }
}

// Scalar vertical pass over the byte columns [b0, b1) of every destination row.
void VerticalBlock(const TContributors& c, const TBitmap& inter, TBitmap& dest, int b0, int b1,
                   std::vector<int32_t>& acc) {
  const int n = b1 - b0;
  const int shift = c.shift;
  for (int y = 0; y < dest.Height(); ++y) {
    const int first = c.first[y], cnt = c.count[y];
    std::fill(acc.begin(), acc.begin() + n, 0);
    for (int t = 0; t < cnt; ++t) {
      const uint8_t* row = inter.ScanLine(c.index[first + t]) + b0;
      const int32_t w = c.fixed[first + t];
      for (int k = 0; k < n; ++k) acc[k] += w * row[k];
    }
    uint8_t* out = dest.ScanLine(y) + b0;
    const int32_t slack = c.slack[y];
    for (int k = 0; k < n; ++k) {
      int v = FinishFixed(acc[k], shift, slack);
      if (v < 0) v = VerticalExact(c, inter, y, b0 + k);
      out[k] = static_cast<uint8_t>(v);
    }
  }
}

#if defined(__x86_64__) || defined(__i386__)
#define VX_RESAMPLE_AVX2 1

// ---- AVX2 paths: the same integer sums eight lanes at a time ----

// Lanes whose integer sum lies within slack of a rounding boundary.
__attribute__((target("avx2"))) inline int NearHalfMask(__m256i acc, __m256i mask, __m256i half,
                                                        __m256i slack) {
  const __m256i d = _mm256_abs_epi32(_mm256_sub_epi32(_mm256_and_si256(acc, mask), half));
  const __m256i far = _mm256_cmpgt_epi32(d, slack);
  return ~_mm256_movemask_ps(_mm256_castsi256_ps(far)) & 0xFF;
}

// Eight rows at once: the rows are interleaved byte by byte (t[k * 8 + r] = row r, byte k)
// so that every tap is one 8-byte load for all eight rows. t holds 8 bytes a row byte,
// past 2^31 for rows of 90 million pixels: offsets into it are taken in size_t.
__attribute__((target("avx2"))) void HorizontalRows8(const TContributors& c,
                                                     const uint8_t* const rows[8], int rowCount,
                                                     int rowBytes, uint8_t* const out[8], int dstW,
                                                     uint8_t* t) {
  int k = 0;
  for (; k + 8 <= rowBytes; k += 8) {
    __m128i a[8];
    for (int r = 0; r < 8; ++r)
      a[r] = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows[r] + k));
    const __m128i b0 = _mm_unpacklo_epi8(a[0], a[1]), b1 = _mm_unpacklo_epi8(a[2], a[3]);
    const __m128i b2 = _mm_unpacklo_epi8(a[4], a[5]), b3 = _mm_unpacklo_epi8(a[6], a[7]);
    const __m128i c0 = _mm_unpacklo_epi16(b0, b1), c1 = _mm_unpackhi_epi16(b0, b1);
    const __m128i c2 = _mm_unpacklo_epi16(b2, b3), c3 = _mm_unpackhi_epi16(b2, b3);
    auto* d = reinterpret_cast<__m128i*>(t + 8 * static_cast<size_t>(k));
    _mm_storeu_si128(d + 0, _mm_unpacklo_epi32(c0, c2));
    _mm_storeu_si128(d + 1, _mm_unpackhi_epi32(c0, c2));
    _mm_storeu_si128(d + 2, _mm_unpacklo_epi32(c1, c3));
    _mm_storeu_si128(d + 3, _mm_unpackhi_epi32(c1, c3));
  }
  for (; k < rowBytes; ++k)
    for (int r = 0; r < 8; ++r) t[8 * static_cast<size_t>(k) + r] = rows[r][k];

  const int shift = c.shift;
  const __m256i maskv = _mm256_set1_epi32((int32_t{1} << shift) - 1);
  const __m256i halfv = _mm256_set1_epi32(int32_t{1} << (shift - 1));
  for (int i = 0; i < dstW; ++i) {
    const int first = c.first[i], n = c.count[i];
    __m256i acc[3] = {_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256()};
    for (int j = 0; j < n; ++j) {
      const uint8_t* p = t + 24 * static_cast<size_t>(c.index[first + j]);
      const __m256i w = _mm256_set1_epi32(c.fixed[first + j]);
      for (int ch = 0; ch < 3; ++ch) {
        const __m256i v =
            _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 8 * ch)));
        acc[ch] = _mm256_add_epi32(acc[ch], _mm256_mullo_epi32(v, w));
      }
    }
    const __m256i slackv = _mm256_set1_epi32(c.slack[i]);
    for (int ch = 0; ch < 3; ++ch) {
      const int near = NearHalfMask(acc[ch], maskv, halfv, slackv);
      const __m256i v = _mm256_srai_epi32(_mm256_add_epi32(acc[ch], halfv), shift);
      const __m128i p16 =
          _mm_packs_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
      uint64_t bytes = static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_packus_epi16(p16, p16)));
      for (int r = 0; r < rowCount; ++r, bytes >>= 8) {
        out[r][3 * i + ch] =
            (near >> r) & 1 ? HorizontalExact(c, rows[r], i, ch) : static_cast<uint8_t>(bytes);
      }
    }
  }
}

// Vertical pass over the byte columns [b0, b1) of every destination row, 32 bytes a step.
__attribute__((target("avx2"))) void VerticalBlockAvx2(const TContributors& c, const TBitmap& inter,
                                                       TBitmap& dest, int b0, int b1,
                                                       std::vector<const uint8_t*>& rows) {
  const int shift = c.shift;
  const __m256i maskv = _mm256_set1_epi32((int32_t{1} << shift) - 1);
  const __m256i halfv = _mm256_set1_epi32(int32_t{1} << (shift - 1));
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  for (int y = 0; y < dest.Height(); ++y) {
    const int first = c.first[y], cnt = c.count[y];
    for (int j = 0; j < cnt; ++j) rows[j] = inter.ScanLine(c.index[first + j]);
    const int32_t* wts = c.fixed.data() + first;
    uint8_t* out = dest.ScanLine(y);
    const __m256i slackv = _mm256_set1_epi32(c.slack[y]);
    int k = b0;
    for (; k + 32 <= b1; k += 32) {
      __m256i acc[4] = {_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256(),
                        _mm256_setzero_si256()};
      for (int j = 0; j < cnt; ++j) {
        const uint8_t* p = rows[j] + k;
        const __m256i w = _mm256_set1_epi32(wts[j]);
        for (int q = 0; q < 4; ++q) {
          const __m256i v =
              _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 8 * q)));
          acc[q] = _mm256_add_epi32(acc[q], _mm256_mullo_epi32(v, w));
        }
      }
      int near[4];
      __m256i v[4];
      for (int q = 0; q < 4; ++q) {
        near[q] = NearHalfMask(acc[q], maskv, halfv, slackv);
        v[q] = _mm256_srai_epi32(_mm256_add_epi32(acc[q], halfv), shift);
      }
      const __m256i p8 =
          _mm256_packus_epi16(_mm256_packs_epi32(v[0], v[1]), _mm256_packs_epi32(v[2], v[3]));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k),
                          _mm256_permutevar8x32_epi32(p8, order));
      for (int q = 0; q < 4; ++q)
        for (int m = near[q]; m != 0; m &= m - 1)
          out[k + 8 * q + __builtin_ctz(static_cast<unsigned>(m))] =
              VerticalExact(c, inter, y, k + 8 * q + __builtin_ctz(static_cast<unsigned>(m)));
    }
    for (; k < b1; ++k) {
      int32_t a = 0;
      for (int j = 0; j < cnt; ++j) a += wts[j] * rows[j][k];
      const int r = FinishFixed(a, shift, c.slack[y]);
      out[k] = static_cast<uint8_t>(r < 0 ? VerticalExact(c, inter, y, k) : r);
    }
  }
}

bool UseAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has && gResampleSimd;
}
#else
bool UseAvx2() {
  return false;
}
#endif

void HorizontalPass(TResampleFilter filter, const TBitmap& src, TBitmap& inter,
                    const TProgressEvent& onProgress, TObject* sender, double total) {
  const TContributors c = BuildContributors(filter, src.Width(), inter.Width());
#ifdef VX_RESAMPLE_AVX2
  if (UseAvx2()) {
    const int h = src.Height(), rowBytes = 3 * src.Width();
    std::vector<uint8_t> t(static_cast<size_t>(rowBytes) * 8);
    for (int y0 = 0; y0 < h; y0 += 8) {
      const int count = imin(8, h - y0);
      const uint8_t* rows[8];
      uint8_t* out[8];
      for (int r = 0; r < 8; ++r) {
        rows[r] = src.ScanLine(y0 + imin(r, count - 1));
        out[r] = inter.ScanLine(y0 + imin(r, count - 1));
      }
      HorizontalRows8(c, rows, count, rowBytes, out, inter.Width(), t.data());
      if (onProgress)
        for (int r = 0; r < count; ++r) ReportProgress(onProgress, sender, y0 + r + 1, total);
    }
    return;
  }
#endif
  for (int y = 0; y < src.Height(); ++y) {
    HorizontalRow(c, src.ScanLine(y), inter.ScanLine(y), inter.Width());
    ReportProgress(onProgress, sender, y + 1, total);
  }
}

void VerticalPass(TResampleFilter filter, const TBitmap& inter, TBitmap& dest,
                  const TProgressEvent& onProgress, TObject* sender, double total) {
  const TContributors c = BuildContributors(filter, inter.Height(), dest.Height());
  // Columns are finished in blocks so that the rows stay in cache; progress still
  // counts one step a destination column.
  constexpr int kBlockPixels = 256;
  const int w = dest.Width();
  std::vector<int32_t> acc(3 * kBlockPixels);
  int maxCount = 0;
  for (int n : c.count) maxCount = imax(maxCount, n);
  std::vector<const uint8_t*> rows(static_cast<size_t>(maxCount));
  const bool simd = UseAvx2();
  const int64_t done0 = inter.Height();
  for (int x0 = 0; x0 < w; x0 += kBlockPixels) {
    const int x1 = imin(w, x0 + kBlockPixels);
#ifdef VX_RESAMPLE_AVX2
    if (simd)
      VerticalBlockAvx2(c, inter, dest, 3 * x0, 3 * x1, rows);
    else
#endif
      VerticalBlock(c, inter, dest, 3 * x0, 3 * x1, acc);
    if (onProgress)
      for (int x = x0; x < x1; ++x) ReportProgress(onProgress, sender, done0 + x + 1, total);
  }
}

void HalftoneStretch(const TBitmap& src, TBitmap& dest) {
  dest.Canvas().StretchDraw(Rect(0, 0, dest.Width(), dest.Height()), src, smHalftone);
}

}  // namespace

void ResampleEnableSimd(bool enable) {
  gResampleSimd = enable;
}

double ResampleFilterSupport(TResampleFilter filter) {
  switch (filter) {
    case rfTriangle:
    case rfHermite:
      return 1.0;
    case rfBell:
      return 1.5;
    case rfBSpline:
    case rfMitchell:
      return 2.0;
    case rfLanczos3:
      return 3.0;
    case rfNone:
      break;
  }
  return 0;
}

double ResampleFilterKernel(TResampleFilter filter, double x) {
  const double a = std::fabs(x);
  switch (filter) {
    case rfTriangle:
      return a < 1 ? 1 - a : 0;
    case rfHermite:
      return a < 1 ? (2 * a - 3) * a * a + 1 : 0;
    case rfBell:
      if (a < 0.5) return 0.75 - a * a;
      if (a < 1.5) return 0.5 * (a - 1.5) * (a - 1.5);
      return 0;
    case rfBSpline:
      if (a < 1) return 0.5 * a * a * a - a * a + 2.0 / 3.0;
      if (a < 2) return (2 - a) * (2 - a) * (2 - a) / 6;
      return 0;
    case rfLanczos3:
      return a < 3 ? Sinc(a) * Sinc(a / 3) : 0;
    case rfMitchell:
      if (a < 1) return (7 * a * a * a - 12 * a * a + 16.0 / 3.0) / 6;
      if (a < 2) return (-(7.0 / 3.0) * a * a * a + 12 * a * a - 20 * a + 32.0 / 3.0) / 6;
      return 0;
    case rfNone:
      break;
  }
  return 0;
}

void Resample(const TBitmap& source, TBitmap& dest, TResampleFilter filter,
              const TProgressEvent& onProgress, TObject* sender) {
  if (source.PixelFormat() != pf24bit || source.Empty() || dest.Empty()) return;
  if (dest.PixelFormat() != pf24bit) dest.SetPixelFormat(pf24bit);
  if (filter == rfNone) {
    HalftoneStretch(source, dest);
    return;
  }
  const double total = dest.Width() + source.Height() + 0.5;
  TBitmap inter;
  SizeBitmap(inter, dest.Width(), source.Height(), pf24bit);
  HorizontalPass(filter, source, inter, onProgress, sender, total);
  VerticalPass(filter, inter, dest, onProgress, sender, total);
}

void QuickResample(const TBitmap& source, TBitmap& dest, TResampleFilter filter,
                   const TProgressEvent& onProgress, TObject* sender) {
  if (source.Empty() || dest.Empty()) return;
  TBitmap copy;
  const TBitmap* src = &source;
  if (source.PixelFormat() != pf24bit) {
    copy.Assign(source);
    copy.SetPixelFormat(pf24bit);
    src = &copy;
  }
  if (dest.PixelFormat() != pf24bit) dest.SetPixelFormat(pf24bit);
  const double total = dest.Width() + src->Height() + 0.5;
  TBitmap inter;
  SizeBitmap(inter, dest.Width(), src->Height(), pf24bit);
  // Reduction is left to the halftone stretch: cheaper, and no wider support is needed.
  if (filter == rfNone || dest.Width() < src->Width()) {
    HalftoneStretch(*src, inter);
    ReportProgress(onProgress, sender, src->Height(), total);
  } else {
    HorizontalPass(filter, *src, inter, onProgress, sender, total);
  }
  if (filter == rfNone || dest.Height() < src->Height()) {
    HalftoneStretch(inter, dest);
    ReportProgress(onProgress, sender, static_cast<int64_t>(src->Height()) + dest.Width(), total);
  } else {
    VerticalPass(filter, inter, dest, onProgress, sender, total);
  }
}

}  // namespace vx
