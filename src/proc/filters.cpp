#include "proc/filters.h"

#include <immintrin.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/arith.h"
#include "platform/exceptions.h"
#include "platform/stream.h"
#include "proc/region.h"

namespace vx {

namespace {

inline uint8_t ClampByte(int64_t v) {
  return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

constexpr TGraphFilter kPresets[kFilterPresetCount] = {
    {{0, 0, 0, 0, 1, 0, 0, 0, 0}, 0},          // fpNone
    {{1, 1, 1, 1, 1, 1, 1, 1, 1}, 9},          // fpBlur
    {{1, 1, 1, 1, -8, 1, 1, 1, 1}, 1},         // fpEdge
    {{-1, 0, 1, -1, 1, 1, -1, 0, 1}, 1},       // fpEmboss
    {{0, -1, 0, -1, 5, -1, 0, -1, 0}, 1},      // fpHighPass1
    {{-1, -1, -1, -1, 9, -1, -1, -1, -1}, 1},  // fpHighPass2
    {{1, -2, 1, -2, 5, -2, 1, -2, 1}, 1},      // fpHighPass3
    {{1, 1, 1, 1, 1, 1, 1, 1, 1}, 10},         // fpLowPass1
    {{1, 2, 1, 2, 4, 2, 1, 2, 1}, 16},         // fpLowPass2
};

// ---- convolution ----

// The non-zero kernel entries of one output row: the source row each reads, the
// column offset in bytes (output byte i reads byte i + offset) and its weight.
struct TTaps {
  const uint8_t* row[9];
  int offset[9];  // -3, 0 or 3: the neighbour's column offset in bytes
  int16_t weight[9];
  int count = 0;
};

bool gConvolveSimd = true;

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

// Output bytes from..to-1 (byte offsets within the row) for pixels whose left
// or right neighbour may be clamped: rows[r] are the three source rows.
void ConvolveBytesScalar(const uint8_t* const rows[3], const TGraphFilter& f, int64_t divisor,
                         int width, int from, int to, uint8_t* out) {
  for (int i = from; i < to; ++i) {
    const int x = i / 3;
    const int offs[3] = {x > 0 ? -3 : 0, 0, x < width - 1 ? 3 : 0};
    int64_t sum = 0;
    for (int k = 0; k < 9; ++k) {
      const int32_t w = f.Values[static_cast<size_t>(k)];
      if (w != 0) sum += static_cast<int64_t>(w) * rows[k / 3][i + offs[k % 3]];
    }
    out[i] = ClampByte(sum / divisor);
  }
}

// Interior bytes with 16-bit sums; the caller guarantees sum(|weight|) * 255
// fits in 16 bits and |divisor| < 2^24. The division goes through single
// precision: with |sum| < 2^24 the correctly rounded quotient never crosses an
// integer the exact one does not reach, so the truncation equals the integer
// division. Returns the first byte not done.
__attribute__((target("avx2"))) int ConvolveBytesAvx2(const TTaps& t, int divisor, int from, int to,
                                                      uint8_t* out) {
  __m256i w[9];
  for (int k = 0; k < t.count; ++k) w[k] = _mm256_set1_epi16(t.weight[k]);
  const __m256 dv = _mm256_set1_ps(static_cast<float>(divisor));
  int i = from;
  for (; i + 16 <= to; i += 16) {
    __m256i acc = _mm256_setzero_si256();
    for (int k = 0; k < t.count; ++k) {
      const __m256i v = _mm256_cvtepu8_epi16(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(t.row[k] + i + t.offset[k])));
      acc = _mm256_add_epi16(acc, _mm256_mullo_epi16(v, w[k]));
    }
    if (divisor != 1) {
      __m256i lo = _mm256_cvtepi16_epi32(_mm256_castsi256_si128(acc));
      __m256i hi = _mm256_cvtepi16_epi32(_mm256_extracti128_si256(acc, 1));
      lo = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(lo), dv));
      hi = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(hi), dv));
      // packs works per 128-bit lane; the permute puts the quarters back in
      // order.
      acc = _mm256_permute4x64_epi64(_mm256_packs_epi32(lo, hi), 0xD8);
    }
    // Saturating packs clamp to 0..255 exactly as blimit does.
    const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(acc, acc), 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm256_castsi256_si128(bytes));
  }
  return i;
}

// ---- morphology ----

// Sliding-window extreme with ties going to the earliest index: for each i in
// 0..n-1 the index of the best value among get(max(i - k, 0)) .. get(min(i + k,
// n - 1)). A monotonic queue keeps it linear in n whatever k is.
template <class Get, class Better, class Put>
void SlidingBest(int n, int k, Get get, Better better, Put put, std::vector<int>& queue) {
  queue.resize(static_cast<size_t>(n));
  int head = 0, tail = 0;
  int next = 0;  // next index to enter the window
  for (int i = 0; i < n; ++i) {
    const int hi = static_cast<int>(std::min<int64_t>(static_cast<int64_t>(i) + k, n - 1));
    for (; next <= hi; ++next) {
      // Equal values stay: the earlier one keeps the front.
      while (tail > head && better(get(next), get(queue[static_cast<size_t>(tail - 1)]))) --tail;
      queue[static_cast<size_t>(tail++)] = next;
    }
    const int64_t lo = static_cast<int64_t>(i) - k;
    while (queue[static_cast<size_t>(head)] < lo) ++head;
    put(i, queue[static_cast<size_t>(head)]);
  }
}

// One maximum (isMax) or minimum pass over the region.
void MorphPass(TBitmap& bitmap, int k, bool isMax, int x1, int y1, int x2, int y2,
               const TProgressRec& progress, int pass, int passes) {
  const int rw = x2 - x1 + 1, rh = y2 - y1 + 1;
  const size_t n = static_cast<size_t>(rw) * static_cast<size_t>(rh);
  std::vector<TRGB> colour(n);
  std::vector<uint8_t> grey(n);
  for (int y = 0; y < rh; ++y) {
    const auto* row = reinterpret_cast<const TRGB*>(bitmap.ScanLine(y1 + y)) + x1;
    TRGB* c = colour.data() + static_cast<size_t>(y) * rw;
    uint8_t* g = grey.data() + static_cast<size_t>(y) * rw;
    std::memcpy(c, row, static_cast<size_t>(rw) * 3);
    for (int x = 0; x < rw; ++x) g[x] = static_cast<uint8_t>(RGBToGray(c[x]));
  }
  const int start = isMax ? 0 : 255;
  auto better = [isMax](int a, int b) { return isMax ? a > b : a < b; };

  // Rows first: the best grey of each row window and the column it came from.
  std::vector<uint8_t> rowBest(n);
  std::vector<int> rowCol(n);
  std::vector<int> queue;
  for (int y = 0; y < rh; ++y) {
    const uint8_t* g = grey.data() + static_cast<size_t>(y) * rw;
    uint8_t* best = rowBest.data() + static_cast<size_t>(y) * rw;
    int* col = rowCol.data() + static_cast<size_t>(y) * rw;
    SlidingBest(
        rw, k, [g](int i) { return static_cast<int>(g[i]); }, better,
        [&](int i, int j) {
          best[i] = g[j];
          col[i] = j;
        },
        queue);
  }
  // Then columns over those: the earliest row holding the best grey, and within
  // it the earliest column, is the earliest window position in reading order.
  std::vector<int> chosen(n);
  for (int x = 0; x < rw; ++x) {
    SlidingBest(
        rh, k, [&](int i) { return static_cast<int>(rowBest[static_cast<size_t>(i) * rw + x]); },
        better,
        [&](int i, int j) {
          const size_t at = static_cast<size_t>(j) * rw + x;
          const size_t self = static_cast<size_t>(i) * rw + x;
          chosen[self] = better(rowBest[at], start)
                             ? static_cast<int>(static_cast<size_t>(j) * rw) + rowCol[at]
                             : static_cast<int>(self);
        },
        queue);
  }
  for (int y = 0; y < rh; ++y) {
    auto* row = reinterpret_cast<TRGB*>(bitmap.ScanLine(y1 + y)) + x1;
    const int* ch = chosen.data() + static_cast<size_t>(y) * rw;
    for (int x = 0; x < rw; ++x) row[x] = colour[static_cast<size_t>(ch[x])];
    if (passes == 1)
      ReportRow(progress, y1 + y, y1, y2);
    else
      progress.Report(TruncI(static_cast<double>(y + 1 + pass * rh) * 100 / (y2 - y1 + 0.5) / 2));
  }
}

}  // namespace

TGraphFilter FilterPreset(TVXFilterPresets preset) {
  const int i = static_cast<int>(preset);
  return kPresets[i >= 0 && i < kFilterPresetCount ? i : 0];
}

void ApplyFilterEnableSimd(bool enable) {
  gConvolveSimd = enable;
}

void ApplyFilter(TBitmap& bitmap, const TGraphFilter& filter, int x1, int y1, int x2, int y2,
                 const TProgressRec& progress) {
  if (bitmap.PixelFormat() != pf24bit || !ClampRegion(bitmap, x1, y1, x2, y2)) return;
  const int width = bitmap.Width(), height = bitmap.Height();
  const int64_t divisor = filter.Divisor == 0 ? 1 : filter.Divisor;

  int64_t absSum = 0;
  for (int32_t v : filter.Values) absSum += std::llabs(v);
  const bool simd = gConvolveSimd && HasAvx2() && absSum * 255 <= 32767 &&
                    std::llabs(divisor) < (int64_t{1} << 24);

  const size_t rowBytes = static_cast<size_t>(width) * 3;
  // Rows are rewritten as soon as they are done, so the original of the row
  // above is kept aside; the current row and the one below are still untouched
  // when read.
  std::vector<uint8_t> above(rowBytes), out(rowBytes);
  std::memcpy(above.data(), bitmap.ScanLine(imax(y1 - 1, 0)), rowBytes);

  const int byteFrom = x1 * 3, byteTo = (x2 + 1) * 3;
  // Pixels whose neighbours are not clamped: the vector path's range.
  const int innerFrom = imax(x1, 1) * 3, innerTo = (imin(x2, width - 2) + 1) * 3;
  for (int y = y1; y <= y2; ++y) {
    uint8_t* current = bitmap.ScanLine(y);
    const uint8_t* rows[3] = {above.data(), current, bitmap.ScanLine(imin(y + 1, height - 1))};
    int done = byteFrom;
    if (simd && innerTo - innerFrom >= 16) {
      ConvolveBytesScalar(rows, filter, divisor, width, byteFrom, innerFrom, out.data());
      TTaps taps;
      for (int k = 0; k < 9; ++k) {
        const int32_t w = filter.Values[static_cast<size_t>(k)];
        if (w == 0) continue;
        taps.row[taps.count] = rows[k / 3];
        taps.offset[taps.count] = (k % 3 - 1) * 3;
        taps.weight[taps.count] = static_cast<int16_t>(w);
        ++taps.count;
      }
      done = ConvolveBytesAvx2(taps, static_cast<int>(divisor), innerFrom, innerTo, out.data());
    }
    ConvolveBytesScalar(rows, filter, divisor, width, done, byteTo, out.data());
    std::memcpy(above.data(), current, rowBytes);
    std::memcpy(current + byteFrom, out.data() + byteFrom, static_cast<size_t>(byteTo - byteFrom));
    ReportRow(progress, y, y1, y2);
  }
}

void SaveFilterToFile(const std::string& fileName, const TGraphFilter& filter) {
  TFileStream file(fileName, fmCreate);
  const uint8_t header[3] = {1, 3, 3};
  file.WriteBuffer(header, 3);
  for (int32_t v : filter.Values) WriteLE32(file, static_cast<uint32_t>(v));
  WriteLE32(file, static_cast<uint32_t>(filter.Divisor));
}

bool LoadFilterFromFile(const std::string& fileName, TGraphFilter& filter) {
  TFileStream file(fileName, fmOpenRead);
  uint8_t header[3] = {};
  if (file.Read(header, 3) != 3 || header[0] != 1 || header[1] != 3 || header[2] != 3) return false;
  uint32_t v[10];
  for (uint32_t& x : v)
    if (!TryReadLE32(file, x)) return false;
  for (size_t k = 0; k < 9; ++k) filter.Values[k] = static_cast<int32_t>(v[k]);
  filter.Divisor = static_cast<int32_t>(v[9]);
  return true;
}

void MorphFilter(TBitmap& bitmap, int windowSize, TMorphOp op, int x1, int y1, int x2, int y2,
                 const TProgressRec& progress) {
  if (windowSize < 0 || bitmap.PixelFormat() != pf24bit || !ClampRegion(bitmap, x1, y1, x2, y2))
    return;
  switch (op) {
    case moMaximum:
    case moMinimum:
      MorphPass(bitmap, windowSize, op == moMaximum, x1, y1, x2, y2, progress, 0, 1);
      break;
    case moOpening:
    case moClosing:
      MorphPass(bitmap, windowSize, op == moClosing, x1, y1, x2, y2, progress, 0, 2);
      MorphPass(bitmap, windowSize, op == moOpening, x1, y1, x2, y2, progress, 1, 2);
      break;
  }
}

void MorphFilter(TBitmap& bitmap, int windowSize, int op, int x1, int y1, int x2, int y2,
                 const TProgressRec& progress) {
  if (op < 0 || op > 3) return;
  MorphFilter(bitmap, windowSize, static_cast<TMorphOp>(op), x1, y1, x2, y2, progress);
}

}  // namespace vx
