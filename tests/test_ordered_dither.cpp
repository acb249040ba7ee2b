// The ordered dithering methods: threshold tables and the palette, true-colour and
// two-colour drivers.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "VeDestEngineOptions.h"
#include "VeImage.h"
#include "VeThresholdMatrix.h"

namespace {

TVeImage Uniform(int w, int h, double y) {
  TVeImage img(w, h);
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i)
      img.GetPixels(i, j)->SetLinGray(y);
  return img;
}

// Linear gray rising from 0 at the left to 1 at the right.
TVeImage Ramp(int w, int h) {
  TVeImage img(w, h);
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i)
      img.GetPixels(i, j)->SetLinGray(double(i) / (w - 1));
  return img;
}

TVePalette256 Grays(int levels) {
  TVePalette256 p;
  for (int i = 0; i < levels; ++i) {
    const double v = double(i) / (levels - 1);
    p.AddLin({v, v, v});
  }
  return p;
}

TVeDitherOptions Ordered(int method, int strength = 100) {
  TVeDitherOptions o;
  o.DitherMethod = uint8_t(method);
  o.ErrorDiffusion = strength;
  return o;
}

std::vector<int> Pixels(const TVeBitmap& b) {
  std::vector<int> v;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      v.push_back(b.GetPixel(x, y));
  return v;
}

// Whether the picture repeats with the period in both directions.
bool Repeats(const TVeBitmap& b, int period) {
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const int v = b.GetPixel(x, y);
      if (x >= period && b.GetPixel(x - period, y) != v) return false;
      if (y >= period && b.GetPixel(x, y - period) != v) return false;
    }
  return true;
}

} // namespace

TEST(ThresholdMatrix, TablesAreRankPermutationsAndBayerIsTheRecursiveOne) {
  std::vector<int> bayer(VeBayerMatrix, VeBayerMatrix + 64);
  std::sort(bayer.begin(), bayer.end());
  std::vector<int> ranks(64);
  std::iota(ranks.begin(), ranks.end(), 0);
  EXPECT_EQ(bayer, ranks);
  std::vector<int> noise(VeBlueNoiseMatrix, VeBlueNoiseMatrix + 4096);
  std::sort(noise.begin(), noise.end());
  ranks.resize(4096);
  std::iota(ranks.begin(), ranks.end(), 0);
  EXPECT_EQ(noise, ranks);

  // M(2n) = [4M, 4M+2; 4M+3, 4M+1]: the quadrant gives a rank's low two bits, and the
  // pixel's place in its 2x2 block the high two.
  const int base[2][2] = {{0, 2}, {3, 1}};
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      EXPECT_EQ(VeBayerMatrix[y * 8 + x] / 16, base[y % 2][x % 2]) << x << "," << y;
      EXPECT_EQ(VeBayerMatrix[y * 8 + x] % 4, base[y / 4][x / 4]) << x << "," << y;
    }
  EXPECT_EQ(VeBayerMatrix[0], 0);
  EXPECT_EQ(VeBayerMatrix[1], 32);
  EXPECT_EQ(VeBayerMatrix[9], 16);

  // Thresholds lie strictly inside (0, 1) and other methods get the middle.
  EXPECT_DOUBLE_EQ(VeOrderedThreshold(VeOrderedBayer, 0, 0), 0.5 / 64);
  EXPECT_DOUBLE_EQ(VeOrderedThreshold(VeOrderedBayer, 8, 16), 0.5 / 64);
  EXPECT_DOUBLE_EQ(VeOrderedThreshold(VeOrderedBlueNoise, 64, 128),
                   VeOrderedThreshold(VeOrderedBlueNoise, 0, 0));
  EXPECT_DOUBLE_EQ(VeOrderedThreshold(dmFloydSteinberg, 3, 3), 0.5);
}

TEST(ThresholdMatrix, BlueNoiseHalfToneHasNoClumps) {
  // At 50 % a blue-noise tile scatters its dots: few same-valued 2x2 blocks, unlike white
  // noise (about one block in eight).
  int solid = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      auto on = [](int i, int j) { return VeBlueNoiseMatrix[(j & 63) * 64 + (i & 63)] >= 2048; };
      const bool a = on(x, y);
      solid += a == on(x + 1, y) && a == on(x, y + 1) && a == on(x + 1, y + 1);
    }
  EXPECT_LT(solid, 4096 / 40);
}

TEST(OrderedDither, FlatGrayRepeatsTheTileAndMixesInProportion) {
  const TVePalette256 bw = Grays(2);
  for (double level : {0.25, 0.5}) {
    // Bayer: one 8x8 tile of 64 thresholds; level * 64 of them fall below the gray.
    TVeImage img = Uniform(40, 24, level);
    auto r = img.DitherPalette(nullptr, Ordered(dmOrderedBayer), nullptr, bw);
    EXPECT_TRUE(Repeats(*r, 8));
    int lit = 0;
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x)
        lit += r->GetPixel(x, y);
    EXPECT_EQ(lit, int(level * 64));

    // The two-colour driver shows the same pattern.
    TVeImage two = Uniform(40, 24, level);
    auto t = two.DitherTwoColors(nullptr, Ordered(dmOrderedBayer), 1, 0, nullptr, nullptr);
    EXPECT_EQ(Pixels(*t), Pixels(*r));
  }
  // Blue noise repeats at 64, and at no shorter power of two.
  TVeImage img = Uniform(192, 128, 0.5);
  auto r = img.DitherPalette(nullptr, Ordered(dmBlueNoise), nullptr, bw);
  EXPECT_TRUE(Repeats(*r, 64));
  EXPECT_FALSE(Repeats(*r, 32));
  const std::vector<int> px = Pixels(*r);
  EXPECT_EQ(std::count(px.begin(), px.end(), 1), 192 * 128 / 2);
}

TEST(OrderedDither, GradientRisesOnAverageAndKeepsItsMean) {
  const TVePalette256 grays = Grays(4);
  const TVePaletteRGB rgb(3, 3, 3); // 512 colours: the true-colour driver
  for (int method : {dmOrderedBayer, dmBlueNoise}) {
    const int w = 256, h = 64, band = 16;
    TVeImage a = Ramp(w, h), b = Ramp(w, h);
    a.DitherPalette(nullptr, Ordered(method), nullptr, grays);
    b.Dither(nullptr, Ordered(method), nullptr, rgb);
    for (TVeImage* img : {&a, &b}) {
      double last = -1;
      for (int x0 = 0; x0 < w; x0 += band) {
        double sum = 0, want = 0;
        for (int y = 0; y < h; ++y)
          for (int x = x0; x < x0 + band; ++x) {
            sum += img->GetPixels(x, y)->GetLinGray();
            want += double(x) / (w - 1);
          }
        EXPECT_GE(sum, last) << "method " << method << " band " << x0;
        last = sum;
        // Four evenly spaced levels: the offset spans a step, so the mean holds.
        if (img == &a) {
          EXPECT_NEAR(sum / (band * h), want / (band * h), 0.02) << x0;
        }
      }
    }
  }
}

TEST(OrderedDither, PositionAloneDecides) {
  // Scan direction, strength of zero and the diffusion window play no part: serpentine or
  // not, whole or area-by-area, the result is the same and zero strength is plain mapping.
  const TVePalette256 pal = Grays(3);
  for (int method : {dmOrderedBayer, dmBlueNoise}) {
    TVeImage a = Ramp(77, 29), b = Ramp(77, 29), c = Ramp(77, 29);
    TVeDitherOptions o = Ordered(method, 90);
    o.Serpentine = true;
    auto ra = a.DitherPalette(nullptr, o, nullptr, pal);
    o.Serpentine = false;
    auto rb = b.DitherPalette(nullptr, o, nullptr, pal);
    EXPECT_EQ(Pixels(*ra), Pixels(*rb));
    c.DitherWhole(nullptr, o, true, &pal);
    for (int y = 0; y < 29; ++y)
      for (int x = 0; x < 77; ++x)
        ASSERT_EQ(c.GetPixels(x, y)->GetLinGray(), a.GetPixels(x, y)->GetLinGray());

    TVeImage z = Ramp(77, 29), n = Ramp(77, 29);
    auto rz = z.DitherPalette(nullptr, Ordered(method, 0), nullptr, pal);
    auto rn = n.DitherPalette(nullptr, Ordered(dmNone), nullptr, pal);
    EXPECT_EQ(Pixels(*rz), Pixels(*rn));
  }
}

TEST(OrderedDither, SpreadIsTheMeanStepOfThePalette) {
  EXPECT_DOUBLE_EQ(VeOrderedSpread(Grays(2), false), 1.0);
  EXPECT_DOUBLE_EQ(VeOrderedSpread(Grays(5), true), 0.25);
  // A channel with a single level does not count; repeated colours do not shrink the step.
  TVePalette256 blues;
  blues.AddLin({0, 0, 0});
  blues.AddLin({0, 0, 0.5});
  blues.AddLin({0, 0, 0.5});
  blues.AddLin({0, 0, 1});
  EXPECT_DOUBLE_EQ(VeOrderedSpread(blues, false), 0.5);
  TVePalette256 one;
  one.AddLin({0.3, 0.3, 0.3});
  EXPECT_DOUBLE_EQ(VeOrderedSpread(one, false), 0.0);
  EXPECT_NEAR(VeOrderedSpread(TVePaletteRGB(1, 1, 1), false), 1.0, 1e-12);
}

TEST(OrderedDither, OtherDriversFallBackToFloydSteinberg) {
  // Drivers without an ordered form diffuse rather than silently not dithering.
  const TVeKernel& fs = VeDitherKernel(dmFloydSteinberg);
  for (int method : {dmOrderedBayer, dmBlueNoise}) {
    const TVeKernel& k = VeDitherKernel(method);
    EXPECT_EQ(k.Count, fs.Count);
    EXPECT_EQ(k.Divisor, fs.Divisor);
  }
}
