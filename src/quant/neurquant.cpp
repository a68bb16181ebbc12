#include "quant/neurquant.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "core/arith.h"

namespace vx {

namespace {

// Learning constants of the network.
constexpr int kNetBiasShift = 4;   // colour values are kept in 1/16 units
constexpr int kIntBiasShift = 16;  // bias and frequency in 1/65536 units
constexpr int kIntBias = 1 << kIntBiasShift;
constexpr int kGammaShift = 10;
constexpr int kBetaShift = 10;
constexpr int kBeta = kIntBias >> kBetaShift;                       // 64
constexpr int kBetaGamma = kIntBias << (kGammaShift - kBetaShift);  // 65536
constexpr int kRadiusBiasShift = 6;
constexpr int kRadiusDec = 30;
constexpr int kAlphaBiasShift = 10;
constexpr int kInitAlpha = 1 << kAlphaBiasShift;  // 1024
constexpr int kRadBiasShift = 8;
constexpr int kRadBias = 1 << kRadBiasShift;
constexpr int kAlphaRadBias = 1 << (kAlphaBiasShift + kRadBiasShift);  // 262144
constexpr int kPrime1 = 499, kPrime2 = 491, kPrime3 = 487, kPrime4 = 503;

int Contest(TNeuralQuantizer& q, int b, int g, int r) {
  int bestd = 0x7FFFFFFF, bestbiasd = 0x7FFFFFFF;
  int bestpos = -1, bestbiaspos = -1;
  for (int i = 0; i < q.netSize; ++i) {
    const int32_t* n = &q.network[static_cast<size_t>(i) * 4];
    const int dist = std::abs(n[0] - b) + std::abs(n[1] - g) + std::abs(n[2] - r);
    if (dist < bestd) {
      bestd = dist;
      bestpos = i;
    }
    const int biasdist = dist - (q.bias[i] >> (kIntBiasShift - kNetBiasShift));
    if (biasdist < bestbiasd) {
      bestbiasd = biasdist;
      bestbiaspos = i;
    }
    const int betafreq = q.freq[i] >> kBetaShift;
    q.freq[i] -= betafreq;
    q.bias[i] += betafreq << kGammaShift;
  }
  q.freq[bestpos] += kBeta;
  q.bias[bestpos] -= kBetaGamma;
  return bestbiaspos;
}

void AlterSingle(TNeuralQuantizer& q, int alpha, int i, int b, int g, int r) {
  int32_t* n = &q.network[static_cast<size_t>(i) * 4];
  n[0] -= static_cast<int32_t>(static_cast<int64_t>(n[0] - b) * alpha / kInitAlpha);
  n[1] -= static_cast<int32_t>(static_cast<int64_t>(n[1] - g) * alpha / kInitAlpha);
  n[2] -= static_cast<int32_t>(static_cast<int64_t>(n[2] - r) * alpha / kInitAlpha);
}

void AlterNeighbours(TNeuralQuantizer& q, int rad, int i, int b, int g, int r) {
  const int lo = std::max(i - rad, -1);
  const int hi = std::min(i + rad, q.netSize);
  int j = i + 1, k = i - 1, m = 1;
  auto move = [&](int idx, int64_t a) {
    int32_t* p = &q.network[static_cast<size_t>(idx) * 4];
    p[0] -= static_cast<int32_t>(a * (p[0] - b) / kAlphaRadBias);
    p[1] -= static_cast<int32_t>(a * (p[1] - g) / kAlphaRadBias);
    p[2] -= static_cast<int32_t>(a * (p[2] - r) / kAlphaRadBias);
  };
  while (j < hi || k > lo) {
    const int64_t a = q.radPower[static_cast<size_t>(m++)];
    if (j < hi) move(j++, a);
    if (k > lo) move(k--, a);
  }
}

// Neighbourhood weights alpha * (1 - k^2 / rad^2) in kRadBias units. rad starts at
// n / 8, up to 8192 for the largest palettes, so rad^2 * kRadBias needs 64 bits; the
// weight itself is at most kInitAlpha * kRadBias.
void SetRadPower(TNeuralQuantizer& q, int rad, int alpha) {
  const int64_t radSquared = static_cast<int64_t>(rad) * rad;
  for (int k = 0; k < rad; ++k) {
    const int64_t falloff = (radSquared - static_cast<int64_t>(k) * k) * kRadBias / radSquared;
    q.radPower[k] = static_cast<int32_t>(alpha * falloff);
  }
}

void Learn(TNeuralQuantizer& q, const TBitmap& bitmap) {
  const int w = bitmap.Width(), h = bitmap.Height();
  const int64_t pixels = static_cast<int64_t>(w) * h;
  if (pixels == 0) return;
  const int64_t samplePixels = q.lengthCount / (3 * q.sampleFactor);
  const int64_t delta = std::max<int64_t>(samplePixels / 100, 1);
  int alpha = kInitAlpha;
  q.radius = q.initRadius << kRadiusBiasShift;
  int rad = q.radius >= 128 ? q.radius >> kRadiusBiasShift : 0;
  SetRadPower(q, rad, alpha);

  int64_t step;
  if (q.lengthCount % kPrime1 != 0)
    step = kPrime1;
  else if (q.lengthCount % kPrime2 != 0)
    step = kPrime2;
  else if (q.lengthCount % kPrime3 != 0)
    step = kPrime3;
  else
    step = kPrime4;

  int64_t pos = 0;
  for (int64_t i = 1; i <= samplePixels; ++i) {
    const auto* row = reinterpret_cast<const TRGB*>(bitmap.ScanLine(static_cast<int>(pos / w)));
    const TRGB& px = row[pos % w];
    const int b = px.b << kNetBiasShift, g = px.g << kNetBiasShift, r = px.r << kNetBiasShift;
    const int j = Contest(q, b, g, r);
    AlterSingle(q, alpha, j, b, g, r);
    if (rad > 0) AlterNeighbours(q, rad, j, b, g, r);
    pos = (pos + step) % pixels;
    if (i % delta == 0) {
      alpha -= alpha / q.alphaDec;
      q.radius -= q.radius / kRadiusDec;
      rad = q.radius >= 128 ? q.radius >> kRadiusBiasShift : 0;
      SetRadPower(q, rad, alpha);
    }
  }
}

// The first smallest green among the neurons not yet placed, kept up to date as the
// index sort moves entries: a tournament over the positions, where each node holds the
// winner of its two halves (ties go to the earlier position). Scanning the rest at every
// step instead costs n^2 / 2 comparisons, seconds for 65536 colours.
class TSmallestGreen {
 public:
  explicit TSmallestGreen(const TNeuralQuantizer& q) : q_(q) {
    while (leaves_ < q.netSize) leaves_ <<= 1;
    tree_.assign(2 * static_cast<size_t>(leaves_), q.netSize);
    for (int i = 0; i < q.netSize; ++i) tree_[static_cast<size_t>(leaves_ + i)] = i;
    for (int k = leaves_ - 1; k >= 1; --k) tree_[k] = Better(tree_[2 * k], tree_[2 * k + 1]);
  }
  int Winner() const { return tree_[1]; }
  // The neuron at pos has been placed and takes no further part.
  void Retire(int pos) {
    tree_[static_cast<size_t>(leaves_ + pos)] = q_.netSize;
    Replay(pos);
  }
  // The neuron at pos was replaced by another one.
  void Replay(int pos) {
    for (int k = (leaves_ + pos) / 2; k >= 1; k /= 2)
      tree_[k] = Better(tree_[2 * k], tree_[2 * k + 1]);
  }

 private:
  int Green(int pos) const { return q_.network[static_cast<size_t>(pos) * 4 + 1]; }
  // a lies before b; netSize stands for no neuron.
  int Better(int a, int b) const {
    if (b >= q_.netSize) return a;
    if (a >= q_.netSize) return b;
    return Green(b) < Green(a) ? b : a;
  }

  const TNeuralQuantizer& q_;
  int leaves_ = 1;
  std::vector<int> tree_;
};

// Sorts the neurons by green as a selection sort does (each step swaps the first
// smallest of the rest forward, so equal greens end in the order those swaps give) and
// records where the search for each green value starts.
void BuildIndex(TNeuralQuantizer& q) {
  TSmallestGreen order(q);
  int previousCol = 0, startPos = 0;
  for (int i = 0; i < q.netSize; ++i) {
    const int smallPos = order.Winner();
    int32_t* p = &q.network[static_cast<size_t>(i) * 4];
    int32_t* c = &q.network[static_cast<size_t>(smallPos) * 4];
    const int smallVal = c[1];
    if (smallPos != i) {
      for (int k = 0; k < 4; ++k) std::swap(p[k], c[k]);
      order.Replay(smallPos);
    }
    order.Retire(i);
    if (smallVal != previousCol) {
      q.netIndex[previousCol] = (startPos + i) >> 1;
      for (int j = previousCol + 1; j < smallVal; ++j) q.netIndex[j] = i;
      previousCol = smallVal;
      startPos = i;
    }
  }
  q.netIndex[previousCol] = (startPos + q.maxNetPos) >> 1;
  for (int j = previousCol + 1; j < 256; ++j) q.netIndex[j] = q.maxNetPos;
}

}  // namespace

int NeuralSamplingFactor(int64_t pixels, int quality) {
  if (quality == -1) {
    if (pixels < 2000) return 1;
    const auto f = Round((static_cast<extended>(pixels) * 13 - 26000) / 148000 + 2);
    return static_cast<int>(std::clamp<int64_t>(f, 1, 30));
  }
  const int q = std::clamp(quality, 0, 100);
  return TruncI(static_cast<extended>(100 - q) / 100 * 29) + 1;
}

std::unique_ptr<TNeuralQuantizer> CreateNeuralQuantizer(const TBitmap& bitmap, TRGB* palette,
                                                        int ncolors, int quality) {
  auto q = std::make_unique<TNeuralQuantizer>();
  const int n = std::max(ncolors, 1);
  q->netSize = n;
  q->maxNetPos = n - 1;
  q->initRadius = n / 8;
  q->radius = q->initRadius << kRadiusBiasShift;
  q->network.assign(static_cast<size_t>(n) * 4, 0);
  q->bias.assign(static_cast<size_t>(n), 0);
  q->freq.assign(static_cast<size_t>(n), kIntBias / n);
  q->radPower.assign(static_cast<size_t>(std::max(q->initRadius, 1)), 0);
  for (int i = 0; i < n; ++i) {
    int32_t* p = &q->network[static_cast<size_t>(i) * 4];
    p[0] = p[1] = p[2] = static_cast<int32_t>((static_cast<int64_t>(i) << (kNetBiasShift + 8)) / n);
  }

  const TBitmap* source = &bitmap;
  TBitmap converted;
  if (bitmap.PixelFormat() != pf24bit && !bitmap.Empty()) {
    converted.Assign(bitmap);
    converted.SetPixelFormat(pf24bit);
    source = &converted;
  }
  const int64_t pixels = static_cast<int64_t>(source->Width()) * source->Height();
  q->lengthCount = pixels * 3;
  q->sampleFactor = NeuralSamplingFactor(pixels, quality);
  q->alphaDec = 30 + (q->sampleFactor - 1) / 3;
  Learn(*q, *source);

  // Learning moves a neuron only part of the way towards a sample, so it stays within
  // 0..255; the clamp is what BuildIndex relies on to index netIndex by green, whatever
  // the learning did.
  for (int i = 0; i < n; ++i) {
    int32_t* p = &q->network[static_cast<size_t>(i) * 4];
    for (int k = 0; k < 3; ++k) p[k] = std::clamp(p[k] / (1 << kNetBiasShift), 0, 255);
    p[3] = i;
  }
  for (int i = 0; i < n; ++i) {
    const int32_t* p = &q->network[static_cast<size_t>(i) * 4];
    palette[i] = TRGB{blimit(p[0]), blimit(p[1]), blimit(p[2])};
  }
  BuildIndex(*q);
  return q;
}

int NeuralFindIndex(const TNeuralQuantizer& q, const TRGB& color) {
  const int b = color.b, g = color.g, r = color.r;
  int bestd = 1000, best = -1;
  int i = q.netIndex[g];
  int j = i - 1;
  while (i < q.netSize || j >= 0) {
    if (i < q.netSize) {
      const int32_t* p = &q.network[static_cast<size_t>(i) * 4];
      int dist = p[1] - g;
      if (dist >= bestd) {
        i = q.netSize;
      } else {
        ++i;
        if (dist < 0) dist = -dist;
        dist += std::abs(p[0] - b);
        if (dist < bestd) {
          dist += std::abs(p[2] - r);
          if (dist < bestd) {
            bestd = dist;
            best = p[3];
          }
        }
      }
    }
    if (j >= 0) {
      const int32_t* p = &q.network[static_cast<size_t>(j) * 4];
      int dist = g - p[1];
      if (dist >= bestd) {
        j = -1;
      } else {
        --j;
        if (dist < 0) dist = -dist;
        dist += std::abs(p[0] - b);
        if (dist < bestd) {
          dist += std::abs(p[2] - r);
          if (dist < bestd) {
            bestd = dist;
            best = p[3];
          }
        }
      }
    }
  }
  return best;
}

TVXQuantizer::TVXQuantizer(const TBitmap& bitmap, TRGB* palette, int /*reserved*/, int ncolors,
                           int quality, int /*method*/) {
  Build(bitmap, palette, ncolors, quality);
}

TVXQuantizer::TVXQuantizer(const TBitmap& bitmap, int ncolors, int quality) {
  Build(bitmap, nullptr, ncolors, quality);
}

TVXQuantizer::~TVXQuantizer() = default;

void TVXQuantizer::Build(const TBitmap& bitmap, TRGB* palette, int ncolors, int quality) {
  const int n = std::max(ncolors, 1);
  palette_.assign(static_cast<size_t>(n), TRGB{});
  // The caller's array is written directly so that entries the palette does not
  // make keep whatever the caller had there.
  TRGB* target = palette ? palette : palette_.data();
  // Both reductions read 24-bit pixels; the copy is made once for the colour count
  // and the reduction alike.
  const TBitmap* source = &bitmap;
  TBitmap converted;
  if (bitmap.PixelFormat() != pf24bit && !bitmap.Empty()) {
    converted.Assign(bitmap);
    converted.SetPixelFormat(pf24bit);
    source = &converted;
  }
  if (exact_.Collect(*source, n)) {
    kind_ = kExact;
    std::copy(exact_.Colours().begin(), exact_.Colours().end(), target);
    colorsMade_ = exact_.Size();
  } else if (n > 256) {
    kind_ = kNeuralNet;
    neural_ = CreateNeuralQuantizer(*source, target, n, quality);
    colorsMade_ = n;
  } else {
    kind_ = kMedianCut;
    medianCut_ = CreateMedianCutQuantizer(*source, target, 0, n);
    colorsMade_ = medianCut_->colorsMade;
  }
  if (palette) std::copy(palette, palette + n, palette_.begin());
}

}  // namespace vx
