#pragma once
// TVXFtImage: the two-dimensional discrete Fourier transform of an image, in
// colour (one complex plane per channel) or grey (one plane). Frequencies can
// be suppressed (high-pass, low-pass, rectangular zones) and the planes turned
// back into an image or into a viewable log-magnitude spectrum.
//
// The transform is square, N x N with N a power of two; the image sits centred
// in it on black. Each plane is N rows of 2N single-precision floats (N real
// parts, then N imaginary parts) in one allocation. Every one-dimensional
// transform is scaled by 1/sqrt(N), so forward followed by inverse is the
// identity. The zero frequency sits at (N/2, N/2) after the forward transform.
#include <cstdint>
#include <vector>

#include "core/vxdefs.h"
#include "platform/bitmap.h"

namespace vx {

enum class TVXFtImageType { vxitUnknown, vxitRGB, vxitGrayscale };
using enum TVXFtImageType;

// Pointers to the real and imaginary parts of one element in each plane;
// nullptr for a plane that does not exist (or an element outside the square).
struct TVXComplexImage {
  float* RedReal = nullptr;
  float* RedImag = nullptr;
  float* BlueReal = nullptr;
  float* BlueImag = nullptr;
  float* GreenReal = nullptr;
  float* GreenImag = nullptr;
  float* GrayImag = nullptr;
  float* GrayReal = nullptr;
};

class TVXFtImage {
 public:
  TVXFtImage();
  ~TVXFtImage();
  // Copies go through Assign.
  TVXFtImage(const TVXFtImage& other);
  TVXFtImage& operator=(const TVXFtImage& other);

  // The largest square transformed: one plane of N x N is 8 N^2 bytes, so three
  // planes at this side take 1.5 GiB, and each doubling four times that.
  static constexpr int kMaxN = 8192;

  // Transforms the bitmap (a pf24bit copy is used for other formats): vxitRGB
  // builds the red, green and blue planes, vxitGrayscale the grey plane from
  // (R*21 + G*71 + B*7) div 100. Samples are divided by the plane's largest one
  // (at least 1). Any planes of a previous build are released; vxitUnknown
  // leaves the object empty. Progress: 100 over all planes, reported after each
  // column of the column pass. An image with a side above kMaxN is refused before
  // anything is allocated: false, the object left empty (no planes, vxitUnknown,
  // the refused image's size as source size). True otherwise.
  bool BuildFT(const TBitmap& bitmap, TVXFtImageType type);

  // Makes bitmap N x N pf24bit and draws the log-magnitude spectrum into it
  // (red plane in R, green in G, blue in B; the grey plane in all three).
  // Nothing when no plane exists.
  void GetFTImage(TBitmap& bitmap) const;

  // Makes bitmap pf24bit of the source image's size and fills it with the
  // inverse transform, |real part| stretched linearly over the whole square so
  // that its smallest value becomes 0 and its largest 255. A plane whose values
  // are all (nearly) equal gives 0. Nothing when no plane exists. The planes
  // are not changed.
  void BuildBitmap(TBitmap& bitmap) const;

  // Zero every element whose distance from the centre, trunc(sqrt(dx^2 +
  // dy^2)), is
  // <= radius (HiPass) or > radius (LoPass), in every existing plane.
  void HiPass(int radius);
  void LoPass(int radius);
  // Zero every element with x1 <= x <= x2 and y1 <= y <= y2, clipped to the
  // square.
  void ClearZone(int x1, int y1, int x2, int y2);

  // Element (x, y) of each plane.
  TVXComplexImage GetComplexImage(int x, int y);

  // Drops own planes and becomes a copy of source (planes duplicated).
  void Assign(const TVXFtImage& source);

  int N() const { return n_; }
  int Log2N() const { return log2n_; }
  TVXFtImageType Type() const { return type_; }
  int OffsetX() const { return offsetX_; }
  int OffsetY() const { return offsetY_; }
  int SourceWidth() const { return sourceWidth_; }
  int SourceHeight() const { return sourceHeight_; }
  bool HasRGBPlanes() const { return !red_.empty(); }
  bool HasGrayPlane() const { return !gray_.empty(); }

  // Progress of BuildFT and BuildBitmap (percent), fired with Sender when
  // assigned.
  TProgressEvent OnProgress;
  TObject* Sender = nullptr;

 private:
  using Plane = std::vector<float>;  // N rows of 2N floats, empty when the plane is absent

  void BuildTables(int n);
  void ReleasePlanes();
  // Runs the two-dimensional transform over a plane: every row, then every
  // column.
  void Fft2d(Plane& plane, float sign, int passes, int passesDone) const;
  // Zeroes (real and imaginary) every element (x, y) of every existing plane where zero(x, y).
  template <class Pred>
  void ZeroWhere(Pred zero);
  float* Row(Plane& plane, int y) const { return plane.data() + static_cast<size_t>(y) * 2 * n_; }
  const float* Row(const Plane& plane, int y) const {
    return plane.data() + static_cast<size_t>(y) * 2 * n_;
  }

  int n_ = 0;
  int log2n_ = 0;
  double scale_ = 0;
  bool normalise_ = false;
  int offsetX_ = 0, offsetY_ = 0;
  int sourceWidth_ = 0, sourceHeight_ = 0;
  TVXFtImageType type_ = vxitUnknown;

  std::vector<double> sine_;     // sin(2*pi*i/N)
  std::vector<int> bitReverse_;  // i with its log2N low bits reversed
  std::vector<int> power_;       // 2^i, i = 0..log2N
  // Twiddles of each butterfly block (cosine, sine) as the float kernels use
  // them.
  std::vector<float> blockCos_, blockSin_;

  Plane red_, green_, blue_, gray_;
};

}  // namespace vx
