#include "quant/stdquant.h"

#include <algorithm>
#include <cstring>

#include "core/arith.h"

namespace vx {

namespace {

constexpr int kMaxBoxes = 256;
constexpr int kCells = 32 * 32 * 32;
// Score of a split that cannot be made; any real split scores below it.
constexpr double kNoSplit = 17523.6;

inline int CellIndex(int r, int g, int b) {
  return (r << 10) | (g << 5) | b;
}

void BoxStatistics(TMedianCutBox& box, int64_t pixelTotal) {
  box.error = 0;
  for (int c = 0; c < 3; ++c) {
    double sum = 0, sum2 = 0;
    for (int v = box.lower[c]; v < box.upper[c]; ++v) {
      const double h = static_cast<double>(box.hist[c][v]);
      sum += v * h;
      sum2 += static_cast<double>(v) * v * h;
    }
    // An empty box has no mean; it is never split because its error stays 0.
    const double mean = box.count > 0 ? sum / static_cast<double>(box.count) : 0.0;
    box.mean[c] = mean;
    box.error += sum2 - static_cast<double>(box.count) * mean * mean;
  }
  if (pixelTotal > 0) box.error /= static_cast<double>(pixelTotal);
}

// Tries to split box along channel c into lowerHalf and upperHalf. Returns
// false when the split is impossible.
bool SplitAlong(const TMedianCutBox& box, int c, const uint32_t* cube, int64_t pixelTotal,
                TMedianCutBox& lowerHalf, TMedianCutBox& upperHalf) {
  const int lo = box.lower[c], hi = box.upper[c];
  if (hi == lo + 1) return false;
  const double m = box.mean[c];
  const int64_t d = box.count;
  const int64_t* h = box.hist[c];
  const int start = static_cast<int>(Round((lo + m) / 2));
  const int end = static_cast<int>(Round((hi + m) / 2));

  int64_t s = 0;
  for (int v = lo; v < start; ++v) s += h[v];
  double best = -1, t = 0;
  int cut = start;
  int64_t below = d;
  for (int v = start; v <= end; ++v) {
    // The box's pixels all lie below its upper bound, so s reaches d before v
    // leaves the histogram; the bound only guards against an inconsistent box.
    const int64_t hv = v < 32 ? h[v] : 0;
    s += hv;
    if (s == d) break;
    t += static_cast<double>(hv) * v / static_cast<double>(d);
    const double diff = m - t;
    const double score = static_cast<double>(s) / static_cast<double>(d - s) * (diff * diff);
    if (score > best) {
      best = score;
      cut = v;
      below = s;
    }
  }

  lowerHalf = box;
  lowerHalf.count = below;
  lowerHalf.upper[c] = cut + 1;
  upperHalf = box;
  upperHalf.count = d - below;
  upperHalf.lower[c] = cut + 1;
  if (lowerHalf.count == 0 || upperHalf.count == 0) return false;

  // Rebuild the histograms: the lower half from the cube, the upper half as
  // what is left.
  std::memset(lowerHalf.hist, 0, sizeof lowerHalf.hist);
  for (int r = lowerHalf.lower[0]; r < lowerHalf.upper[0]; ++r)
    for (int g = lowerHalf.lower[1]; g < lowerHalf.upper[1]; ++g)
      for (int b = lowerHalf.lower[2]; b < lowerHalf.upper[2]; ++b) {
        const int64_t n = cube[CellIndex(r, g, b)];
        if (n == 0) continue;
        lowerHalf.hist[0][r] += n;
        lowerHalf.hist[1][g] += n;
        lowerHalf.hist[2][b] += n;
        upperHalf.hist[0][r] -= n;
        upperHalf.hist[1][g] -= n;
        upperHalf.hist[2][b] -= n;
      }

  for (TMedianCutBox* half : {&lowerHalf, &upperHalf}) {
    for (int ch = 0; ch < 3; ++ch) {
      int first = -1, last = -1;
      for (int v = 0; v < 32; ++v)
        if (half->hist[ch][v] != 0) {
          if (first < 0) first = v;
          last = v;
        }
      if (first >= 0) {
        half->lower[ch] = first;
        half->upper[ch] = last + 1;
      }
    }
    BoxStatistics(*half, pixelTotal);
  }
  return true;
}

// Splits boxes[index] into itself and boxes[next]. On failure the box's error
// is set to 0 so that it is not chosen again.
bool SplitBox(TMedianCutQuantizer& q, int index, int next) {
  TMedianCutBox& box = q.boxes[index];
  if (box.error == 0 || box.count == 0) {
    box.error = 0;
    return false;
  }
  TMedianCutBox lowerHalf[3], upperHalf[3];
  double score[3];
  for (int c = 0; c < 3; ++c) {
    if (SplitAlong(box, c, q.cube.get(), q.pixelTotal, lowerHalf[c], upperHalf[c]))
      score[c] = lowerHalf[c].error + upperHalf[c].error;
    else
      score[c] = kNoSplit;
  }
  int bestC = 0;
  for (int c = 1; c < 3; ++c)
    if (score[c] < score[bestC]) bestC = c;
  if (!(score[bestC] < kNoSplit)) {
    box.error = 0;
    return false;
  }
  q.boxes[index] = lowerHalf[bestC];
  q.boxes[next] = upperHalf[bestC];
  return true;
}

}  // namespace

TMedianCutHandle CreateMedianCutQuantizer(const TBitmap& bitmap, TRGB* palette, int /*reserved*/,
                                          int ncolors) {
  auto q = std::make_unique<TMedianCutQuantizer>();
  q->cube = std::make_unique<uint32_t[]>(kCells);
  q->boxes = std::make_unique<TMedianCutBox[]>(kMaxBoxes);
  q->lookup = std::make_unique<uint8_t[]>(kCells);
  q->colorsWanted = std::clamp(ncolors, 1, kMaxBoxes);

  const TBitmap* source = &bitmap;
  TBitmap converted;
  if (bitmap.PixelFormat() != pf24bit && !bitmap.Empty()) {
    converted.Assign(bitmap);
    converted.SetPixelFormat(pf24bit);
    source = &converted;
  }
  q->width = source->Width();
  q->height = source->Height();
  q->pixelTotal = static_cast<int64_t>(q->width) * q->height;

  TMedianCutBox& box0 = q->boxes[0];
  for (int y = 0; y < q->height; ++y) {
    const auto* row = reinterpret_cast<const TRGB*>(source->ScanLine(y));
    for (int x = 0; x < q->width; ++x) {
      const int r5 = row[x].r >> 3, g5 = row[x].g >> 3, b5 = row[x].b >> 3;
      ++box0.hist[0][r5];
      ++box0.hist[1][g5];
      ++box0.hist[2][b5];
      ++q->cube[CellIndex(r5, g5, b5)];
    }
  }
  for (int c = 0; c < 3; ++c) {
    box0.lower[c] = 0;
    box0.upper[c] = 32;
  }
  box0.count = q->pixelTotal;
  BoxStatistics(box0, q->pixelTotal);

  int i = 1;
  while (i < q->colorsWanted) {
    double bestError = 0;
    int best = -1;
    for (int k = 0; k < i; ++k)
      if (q->boxes[k].error > bestError) {
        bestError = q->boxes[k].error;
        best = k;
      }
    if (best < 0) break;
    if (SplitBox(*q, best, i)) ++i;
  }
  q->colorsMade = i;

  for (int k = 0; k < q->colorsMade; ++k) {
    const TMedianCutBox& b = q->boxes[k];
    palette[k].r = static_cast<uint8_t>(Round(b.mean[0]) << 3);
    palette[k].g = static_cast<uint8_t>(Round(b.mean[1]) << 3);
    palette[k].b = static_cast<uint8_t>(Round(b.mean[2]) << 3);
  }

  for (int k = 0; k < q->colorsMade; ++k) {
    const TMedianCutBox& b = q->boxes[k];
    for (int r = b.lower[0]; r < b.upper[0]; ++r)
      for (int g = b.lower[1]; g < b.upper[1]; ++g)
        for (int bl = b.lower[2]; bl < b.upper[2]; ++bl)
          q->lookup[CellIndex(r, g, bl)] = static_cast<uint8_t>(k);
  }
  return q;
}

void FreeMedianCutQuantizer(TMedianCutHandle& handle) {
  handle.reset();
}

}  // namespace vx
