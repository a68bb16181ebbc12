#pragma once
// TVXQuantizer: the one colour quantizer the codecs and processing routines
// create. An image with no more colours than asked for gets exactly its own
// colours. Otherwise, up to 256 colours it uses median cut; above that a
// self-organising map (NeuQuant, Dekker) learns the palette from a sample of
// the pixels.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/bitmap.h"
#include "platform/types.h"
#include "quant/exactpal.h"
#include "quant/stdquant.h"

namespace vx {

// Neural-net state. All learning arithmetic is on 32-bit integers with
// truncating division, so results do not depend on the platform's floating
// point.
struct TNeuralQuantizer {
  int netSize = 0;               // n
  int maxNetPos = 0;             // n - 1
  int initRadius = 0;            // n div 8
  int radius = 0;                // in 1/64 units
  std::vector<int32_t> network;  // n * 4: blue, green, red, palette index
  std::vector<int32_t> bias;
  std::vector<int32_t> freq;
  std::vector<int32_t> radPower;  // n div 8 neighbourhood weights
  int32_t netIndex[256] = {};     // first neuron to search for each green value
  int64_t lengthCount = 0;        // width * height * 3
  int sampleFactor = 1;           // 1..30
  int alphaDec = 30;
};

// Sampling factor used for a bitmap of width x height and a quality (-1 =
// automatic).
int NeuralSamplingFactor(int64_t pixels, int quality);

// Learns an n-colour palette from the bitmap (pf24bit) and writes it to
// palette[0..n-1].
std::unique_ptr<TNeuralQuantizer> CreateNeuralQuantizer(const TBitmap& bitmap, TRGB* palette,
                                                        int ncolors, int quality);
// Palette index of the neuron nearest to the colour (city-block distance).
int NeuralFindIndex(const TNeuralQuantizer& q, const TRGB& color);

class TVXQuantizer {
 public:
  enum TKind { kNeuralNet = 0, kMedianCut = 1, kExact = 2 };

  // Fills palette[0 .. ncolors-1] (the exact palette and median cut leave
  // entries they did not make as they were). reserved and method are accepted
  // for callers that pass them and are not read; quality matters only for the
  // neural net (-1 = automatic). A non-empty image of at most ncolors colours
  // gets them as the palette, sorted (see TExactPalette), each mapping to its
  // own entry. Any other image is reduced by ncolors alone: above 256 the
  // neural net, otherwise median cut. ncolors below 1 is taken as 1.
  TVXQuantizer(const TBitmap& bitmap, TRGB* palette, int reserved, int ncolors, int quality = -1,
               int method = 0);
  // The same with a palette of its own (ncolors entries, black where nothing
  // was made).
  TVXQuantizer(const TBitmap& bitmap, int ncolors, int quality = -1);
  ~TVXQuantizer();
  TVXQuantizer(const TVXQuantizer&) = delete;
  TVXQuantizer& operator=(const TVXQuantizer&) = delete;

  // Palette index of any colour. Inline, as writers call it once a pixel.
  int GetRGBIndex(const TRGB& color) const {
    if (kind_ == kMedianCut) return MedianCutFindIndex(*medianCut_, color);
    if (kind_ == kExact) return exact_.Find(color);
    return NeuralFindIndex(*neural_, color);
  }

  // The palette as filled by the constructor.
  const std::vector<TRGB>& Palette() const { return palette_; }
  // Entries actually produced (the exact palette and median cut may make fewer
  // than asked).
  int ColorsMade() const { return colorsMade_; }
  TKind Kind() const { return kind_; }

 private:
  void Build(const TBitmap& bitmap, TRGB* palette, int ncolors, int quality);

  TKind kind_ = kMedianCut;
  TExactPalette exact_;
  TMedianCutHandle medianCut_;
  std::unique_ptr<TNeuralQuantizer> neural_;
  std::vector<TRGB> palette_;
  int colorsMade_ = 0;
};

}  // namespace vx
