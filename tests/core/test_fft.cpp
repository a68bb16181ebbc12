// Fourier transform image: the transform against a direct DFT, the round trip, the
// frequency filters, the spectrum display and the object's life cycle.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <numbers>
#include <random>
#include <tuple>
#include <vector>

#include "proc/vxfft.h"

namespace {

using namespace vx;

TBitmap Noise(int w, int h, uint32_t seed) {
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < 3 * w; ++x) b.ScanLine(y)[x] = static_cast<uint8_t>(rng() >> 24);
  return b;
}

TBitmap Filled(int w, int h, TRGB c) {
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) reinterpret_cast<TRGB*>(b.ScanLine(y))[x] = c;
  return b;
}

TRGB& At(TBitmap& b, int x, int y) {
  return reinterpret_cast<TRGB*>(b.ScanLine(y))[x];
}
TRGB At(const TBitmap& b, int x, int y) {
  return reinterpret_cast<const TRGB*>(b.ScanLine(y))[x];
}

std::complex<double> Element(TVXFtImage& ft, int x, int y) {
  const TVXComplexImage c = ft.GetComplexImage(x, y);
  return {*c.GrayReal, *c.GrayImag};
}

// Largest per-channel difference between two images of the same size.
int MaxDifference(const TBitmap& a, const TBitmap& b) {
  int worst = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width() * 3; ++x)
      worst = std::max(worst, std::abs(a.ScanLine(y)[x] - b.ScanLine(y)[x]));
  return worst;
}

// Snapshot of every element of the grey plane.
std::vector<std::complex<double>> GrayPlane(TVXFtImage& ft) {
  std::vector<std::complex<double>> v;
  for (int y = 0; y < ft.N(); ++y)
    for (int x = 0; x < ft.N(); ++x) v.push_back(Element(ft, x, y));
  return v;
}

TEST(FtImage, GreyTransformMatchesDirectDft) {
  // 7 x 5 image in a 8 x 8 square at (0, 1). The direct transform of the padded, normalised
  // and checkerboarded samples, scaled 1/N (1/sqrt(N) per direction), must come out.
  for (auto [w, h] : {std::pair{7, 5}, std::pair{2, 1}, std::pair{16, 16}}) {
    const TBitmap b = Noise(w, h, 11);
    TVXFtImage ft;
    ft.BuildFT(b, vxitGrayscale);
    int n = 1;
    while (n < w || n < h) n *= 2;
    ASSERT_EQ(ft.N(), n);
    ASSERT_EQ(ft.OffsetX(), (n - w) / 2);
    ASSERT_EQ(ft.OffsetY(), (n - h) / 2);
    std::vector<double> f(static_cast<size_t>(n) * n, 0.0);
    int largest = 1;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int g = RGBToGray(At(b, x, y));
        largest = std::max(largest, g);
        f[(y + ft.OffsetY()) * n + x + ft.OffsetX()] = g;
      }
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) f[y * n + x] *= ((x + y) % 2 ? -1.0 : 1.0) / largest;
    double worst = 0;
    for (int v = 0; v < n; ++v)
      for (int u = 0; u < n; ++u) {
        std::complex<double> sum = 0;
        for (int y = 0; y < n; ++y)
          for (int x = 0; x < n; ++x)
            sum += f[y * n + x] * std::polar(1.0, -2 * std::numbers::pi * (u * x + v * y) / n);
        worst = std::max(worst, std::abs(sum / double(n) - Element(ft, u, v)));
      }
    EXPECT_LT(worst, 1e-5) << w << "x" << h;
  }
}

TEST(FtImage, ZeroFrequencyOfAConstantImageSitsAtTheCentre) {
  const TBitmap b = Filled(16, 16, CreateRGB(90, 90, 90));
  TVXFtImage ft;
  ft.BuildFT(b, vxitGrayscale);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const auto e = Element(ft, x, y);
      if (x == 8 && y == 8)
        EXPECT_NEAR(e.real(), 16.0, 1e-5);  // 256 samples of 1 / N
      else
        ASSERT_LT(std::abs(e), 1e-6) << x << "," << y;
    }
}

TEST(FtImage, ForwardThenInverseReproducesTheImage) {
  // The inverse is stretched over the square: the black padding gives 0 and the brightest
  // sample 255, so images holding 255 in each channel come back within one level.
  struct Case {
    int w, h;
    TVXFtImageType type;
  };
  for (const Case& c : {Case{37, 23, vxitRGB}, Case{2, 1, vxitRGB}, Case{1, 3, vxitGrayscale},
                        Case{300, 200, vxitGrayscale}}) {
    TBitmap b = Noise(c.w, c.h, 5);
    At(b, 0, 0) = CreateRGB(255, 255, 255);
    // Grey mode transforms (R*21 + G*71 + B*7) div 100, stretched back so that its
    // largest value is 255.
    TBitmap expect = b;
    if (c.type == vxitGrayscale) {
      int largest = 1;
      for (int y = 0; y < c.h; ++y)
        for (int x = 0; x < c.w; ++x) largest = std::max(largest, RGBToGray(At(b, x, y)));
      for (int y = 0; y < c.h; ++y)
        for (int x = 0; x < c.w; ++x) {
          const auto g = static_cast<uint8_t>(RGBToGray(At(b, x, y)) * 255 / largest);
          At(expect, x, y) = CreateRGB(g, g, g);
        }
    }
    TVXFtImage ft;
    ft.BuildFT(b, c.type);
    TBitmap back;
    ft.BuildBitmap(back);
    ASSERT_EQ(back.Width(), c.w);
    ASSERT_EQ(back.Height(), c.h);
    EXPECT_EQ(back.PixelFormat(), pf24bit);
    EXPECT_LE(MaxDifference(back, expect), 1) << c.w << "x" << c.h;
    if (c.w == 300) {
      EXPECT_EQ(ft.N(), 512);
      EXPECT_EQ(ft.OffsetX(), 106);
      EXPECT_EQ(ft.OffsetY(), 156);
    }
  }
  // Brightest pixel 200: the stretch brings it to 255.
  TBitmap dim = Filled(5, 3, CreateRGB(100, 100, 100));
  At(dim, 2, 1) = CreateRGB(200, 200, 200);
  TVXFtImage ft;
  ft.BuildFT(dim, vxitGrayscale);
  TBitmap back;
  ft.BuildBitmap(back);
  EXPECT_GE(At(back, 2, 1).r, 254);
  EXPECT_NEAR(At(back, 0, 0).r, 127, 1);
}

TEST(FtImage, FiltersThatKeepEverythingChangeNothing) {
  TVXFtImage ft;
  ft.BuildFT(Noise(20, 12, 6), vxitGrayscale);
  const auto before = GrayPlane(ft);
  ft.LoPass(static_cast<int>(std::ceil(32 * 0.71)));
  ft.HiPass(-1);
  ft.ClearZone(5, 5, 4, 9);  // x2 < x1
  EXPECT_EQ(GrayPlane(ft), before);
  // HiPass(0) takes the mean only.
  ft.HiPass(0);
  const auto after = GrayPlane(ft);
  for (size_t i = 0; i < after.size(); ++i) {
    if (i == 16 * 32 + 16)
      EXPECT_EQ(after[i], std::complex<double>(0, 0));
    else
      ASSERT_EQ(after[i], before[i]) << i;
  }
}

TEST(FtImage, LowAndHighPassSplitTheSquareByDistance) {
  TVXFtImage lo, hi;
  lo.BuildFT(Noise(16, 16, 7), vxitRGB);
  hi.Assign(lo);
  lo.LoPass(3);
  hi.HiPass(3);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const bool near = std::trunc(std::hypot(x - 8, y - 8)) <= 3;
      const TVXComplexImage l = lo.GetComplexImage(x, y), h = hi.GetComplexImage(x, y);
      for (auto [lr, li, hr, hi2] : {std::tuple{l.RedReal, l.RedImag, h.RedReal, h.RedImag},
                                     std::tuple{l.BlueReal, l.BlueImag, h.BlueReal, h.BlueImag}}) {
        // Exactly one of the two filters zeroed the element.
        EXPECT_EQ(*lr == 0 && *li == 0, !near) << x << "," << y;
        EXPECT_EQ(*hr == 0 && *hi2 == 0, near) << x << "," << y;
      }
    }
}

TEST(FtImage, HighPassOfAConstantImageLeavesNoEnergy) {
  TVXFtImage ft;
  ft.BuildFT(Filled(8, 8, CreateRGB(40, 80, 120)), vxitRGB);
  ft.HiPass(0);
  double energy = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const TVXComplexImage c = ft.GetComplexImage(x, y);
      for (float* p : {c.RedReal, c.RedImag, c.GreenReal, c.GreenImag, c.BlueReal, c.BlueImag})
        energy += double(*p) * *p;
    }
  EXPECT_LT(energy, 1e-10);
  TBitmap back;
  ft.BuildBitmap(back);
  EXPECT_EQ(MaxDifference(back, Filled(8, 8, CreateRGB(0, 0, 0))), 0);  // uniform, no noise
}

TEST(FtImage, ClearedSquareGivesAUniformImage) {
  TVXFtImage ft;
  ft.BuildFT(Noise(10, 6, 8), vxitRGB);
  ft.ClearZone(-4, -4, 100, 100);  // clipped to the square
  TBitmap back;
  ft.BuildBitmap(back);
  EXPECT_EQ(MaxDifference(back, Filled(10, 6, CreateRGB(0, 0, 0))), 0);
}

TEST(FtImage, SpectrumOfAConstantImageIsOneBrightPoint) {
  TVXFtImage ft;
  ft.BuildFT(Filled(16, 16, CreateRGB(0, 128, 255)), vxitRGB);
  TBitmap spectrum;
  ft.GetFTImage(spectrum);
  ASSERT_EQ(spectrum.Width(), 16);
  ASSERT_EQ(spectrum.Height(), 16);
  // Red is all dark: its plane is 0 everywhere and has nothing to show.
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const TRGB c = At(spectrum, x, y);
      const uint8_t expect = x == 8 && y == 8 ? 255 : 0;
      ASSERT_EQ(c.g, expect) << x << "," << y;
      ASSERT_EQ(c.b, expect) << x << "," << y;
      ASSERT_EQ(c.r, 0);
    }
  // The grey spectrum goes to all three bytes.
  TVXFtImage grey;
  grey.BuildFT(Filled(8, 8, CreateRGB(9, 9, 9)), vxitGrayscale);
  grey.GetFTImage(spectrum);
  EXPECT_EQ(At(spectrum, 4, 4), CreateRGB(255, 255, 255));
  EXPECT_EQ(At(spectrum, 3, 4), CreateRGB(0, 0, 0));
}

TEST(FtImage, RebuildingReplacesThePlanesAndAssignCopiesThem) {
  TVXFtImage ft;
  ft.BuildFT(Noise(20, 20, 9), vxitRGB);
  ft.BuildFT(Noise(20, 20, 9), vxitGrayscale);
  EXPECT_FALSE(ft.HasRGBPlanes());
  const TBitmap small = Filled(4, 4, CreateRGB(255, 255, 255));
  ft.BuildFT(small, vxitGrayscale);  // second grey build, smaller square
  EXPECT_EQ(ft.N(), 4);
  EXPECT_EQ(ft.GetComplexImage(0, 0).RedReal, nullptr);
  TVXFtImage copy;
  copy.Assign(ft);
  copy.HiPass(100);
  EXPECT_NEAR(*ft.GetComplexImage(2, 2).GrayReal, 4.0, 1e-5);
  EXPECT_EQ(*copy.GetComplexImage(2, 2).GrayReal, 0.0f);
  EXPECT_EQ(ft.GetComplexImage(4, 0).GrayReal, nullptr);  // outside the square
  ft.BuildFT(Noise(3, 3, 1), vxitRGB);
  EXPECT_FALSE(ft.HasGrayPlane());
  EXPECT_TRUE(ft.HasRGBPlanes());
}

TEST(FtImage, EmptyAndUnbuiltObjectsAreHarmless) {
  TVXFtImage ft;
  TBitmap out = Filled(2, 2, CreateRGB(1, 2, 3));
  ft.BuildBitmap(out);
  ft.GetFTImage(out);
  ft.HiPass(3);
  ft.ClearZone(0, 0, 5, 5);
  EXPECT_EQ(ft.GetComplexImage(0, 0).GrayReal, nullptr);
  EXPECT_EQ(At(out, 1, 1), CreateRGB(1, 2, 3));
  TBitmap empty;
  SizeBitmap(empty, 0, 0, pf24bit);
  ft.BuildFT(empty, vxitRGB);
  EXPECT_EQ(ft.N(), 1);
  ft.BuildBitmap(out);
  EXPECT_TRUE(out.Empty());
  // A 1 x 1 image has nothing to stretch against and comes back uniform.
  ft.BuildFT(Filled(1, 1, CreateRGB(200, 0, 0)), vxitRGB);
  ft.BuildBitmap(out);
  EXPECT_EQ(At(out, 0, 0), CreateRGB(0, 0, 0));
  ft.GetFTImage(out);
  EXPECT_EQ(out.Width(), 1);
}

TEST(FtImage, SidesAboveTheLargestSquareAreRefusedBeforeAnyPlane) {
  // One pixel past the largest side doubles the square: 8193 x 1 would take 2 GiB a
  // plane and a 16384-point transform of every row and column.
  TVXFtImage ft;
  int reports = 0;
  ft.OnProgress = [&](TObject*, int) { ++reports; };
  for (auto [w, h] : {std::pair{TVXFtImage::kMaxN + 1, 1}, std::pair{1, TVXFtImage::kMaxN + 1}}) {
    ASSERT_TRUE(ft.BuildFT(Noise(8, 8, 2), vxitRGB));
    reports = 0;
    EXPECT_FALSE(ft.BuildFT(Noise(w, h, 3), vxitGrayscale)) << w;
    EXPECT_FALSE(ft.HasGrayPlane());
    EXPECT_FALSE(ft.HasRGBPlanes());  // the earlier build is gone too
    EXPECT_EQ(ft.Type(), vxitUnknown);
    EXPECT_EQ(ft.SourceWidth(), w);
    EXPECT_EQ(reports, 0);
    TBitmap out = Filled(2, 2, CreateRGB(1, 2, 3));
    ft.BuildBitmap(out);
    EXPECT_EQ(out.Width(), 2);
    EXPECT_EQ(At(out, 1, 1), CreateRGB(1, 2, 3));
  }
}

TEST(FtImage, ProgressCoversAllPlanes) {
  TVXFtImage ft;
  std::vector<int> reports;
  ft.OnProgress = [&](TObject*, int p) { reports.push_back(p); };
  ft.BuildFT(Noise(8, 8, 10), vxitRGB);
  ASSERT_EQ(reports.size(), 24u);  // one per column of each of the three planes
  // trunc(p * column + p * planesDone * N), p = 100 / (3 * N)
  const double p = 100.0 / 24;
  for (int i = 0; i < 24; ++i)
    EXPECT_EQ(reports[i], static_cast<int>(p * (i % 8) + p * (i / 8) * 8));
}

}  // namespace
