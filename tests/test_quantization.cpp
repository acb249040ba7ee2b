#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "VeQuantization.h"

namespace {

class Quantization : public ::testing::Test {
protected:
  void TearDown() override { SetProcessorCount(0); }
};

uint32_t Quad(int r, int g, int b) {
  return uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

// A deterministic picture with smooth gradients and some noise: many distinct colours.
std::vector<uint32_t> Picture(int w, int h, uint32_t seed = 1) {
  std::vector<uint32_t> px;
  uint32_t s = seed;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      s = s * 1664525u + 1013904223u;
      int n = int(s >> 28) - 8;
      int r = std::clamp(x * 255 / w + n, 0, 255);
      int g = std::clamp((x + y) * 255 / (w + h) + n / 2, 0, 255);
      int b = std::clamp(255 - y * 255 / h + n, 0, 255);
      if ((x / 16 + y / 16) % 5 == 0) r = g = b = std::clamp(128 + n * 4, 0, 255);
      px.push_back(Quad(r, g, b));
    }
  return px;
}

// Hardware palette of 3 bits per channel, searched by brute force.
TVeQuantizationPalette RGB333() {
  auto level = [](int k) {
    double c = k / 7.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  TVeQuantizationPalette p;
  for (int r = 0; r < 8; ++r)
    for (int g = 0; g < 8; ++g)
      for (int b = 0; b < 8; ++b)
        p.AddLin({level(r), level(g), level(b)});
  return p;
}

bool IsRGB333(uint32_t quad, const TVeQuantizationPalette& hw) {
  return hw.FindExact(quad) >= 0;
}

std::vector<uint32_t> Quads(const TVeQuantizationPalette& p) {
  std::vector<uint32_t> q;
  for (auto& e : p.Entries)
    q.push_back(e.Quad);
  return q;
}

TVeQuantizationPalette Quantize(const std::vector<uint32_t>& px, int k, int workers,
                                const IVeQuantizationPalette* hw = nullptr, bool pairs = false,
                                const IVeQuantizationPalette* fixed = nullptr) {
  SetProcessorCount(workers);
  TVeQuantization q(nullptr, k, false);
  q.Hardware = hw;
  q.Initial = q.Pinned = fixed;
  q.PairThreshold = 0.3;
  q.AddPixels(px.data(), px.size());
  TVeQuantizationPalette out;
  if (pairs)
    q.ExecutePairs(out);
  else
    q.Execute(out);
  return out;
}

} // namespace

TEST_F(Quantization, FewColoursAreKeptAndFilledWithBlackOrWhite) {
  std::vector<uint32_t> px = {Quad(255, 0, 0), Quad(0, 0, 255), Quad(0, 255, 0), Quad(255, 0, 0)};
  // White is farther from red, green and blue than black is, so it comes first.
  EXPECT_EQ(Quads(Quantize(px, 4, 1)),
            (std::vector<uint32_t>{Quad(0, 0, 255), Quad(255, 0, 0), Quad(0, 255, 0),
                                   Quad(255, 255, 255)}));
  EXPECT_EQ(Quads(Quantize(px, 6, 1)),
            (std::vector<uint32_t>{0, Quad(0, 0, 255), Quad(255, 0, 0), Quad(0, 255, 0),
                                   Quad(255, 255, 255)}));
  // Black already present: only white can be added.
  std::vector<uint32_t> grey = {Quad(0, 0, 0), Quad(100, 100, 100)};
  EXPECT_EQ(Quads(Quantize(grey, 5, 1)),
            (std::vector<uint32_t>{0, Quad(100, 100, 100), Quad(255, 255, 255)}));
  // No colours at all: black and white.
  EXPECT_EQ(Quads(Quantize({}, 2, 1)), (std::vector<uint32_t>{0, Quad(255, 255, 255)}));
}

TEST_F(Quantization, KBelowTwoIsRaisedToTwo) {
  TVeQuantization q(nullptr, 1, false);
  EXPECT_EQ(q.K(), 2);
  auto out = Quantize(Picture(32, 32), 1, 1);
  EXPECT_EQ(out.Count(), 2);
  auto out0 = Quantize(Picture(32, 32), -5, 1);
  EXPECT_EQ(out0.Count(), 2);
}

TEST_F(Quantization, CollectionMergesEqualColoursInByteOrder) {
  TVeQuantization q(nullptr, 4, false);
  std::vector<uint32_t> px = {Quad(9, 9, 9), 0xFF000001, Quad(0, 0, 1), Quad(9, 9, 9)};
  q.AddPixels(px.data(), px.size());
  q.AddColor(0, 0, 1, 5);
  q.AddColor(Quad(3, 0, 0), {0.5, 0.5, 0.5}, 0);
  const auto& c = q.Colors();
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(c[0].Key(), Quad(0, 0, 1));
  EXPECT_EQ(c[0].Weight, 7u);
  EXPECT_EQ(c[1].Key(), Quad(3, 0, 0));
  EXPECT_EQ(c[1].Weight, 1u); // a weight of 0 counts as 1
  EXPECT_EQ(c[1].Lin, (TVeQuantizationLin{0.5, 0.5, 0.5}));
  EXPECT_EQ(c[2].Weight, 2u);
}

TEST_F(Quantization, ConvergedAssignmentsAreTheNearestCentres) {
  auto px = Picture(96, 96, 7);
  for (int k : {5, 16, 64}) {
    SetProcessorCount(2);
    TVeQuantization q(nullptr, k, false);
    q.AddPixels(px.data(), px.size());
    TVeQuantizationPalette out;
    q.Execute(out);
    ASSERT_LT(q.Passes(), TVeQuantization::MaxPasses);
    const auto& clusters = q.Clusters();
    EXPECT_EQ(int(clusters.size()), k);
    EXPECT_EQ(out.Count(), k);
    for (const auto& color : q.Colors()) {
      int best = -1;
      double bestD = 0;
      for (size_t c = 0; c < clusters.size(); ++c) {
        double d = VeQuantizationDistance(color.Lin, clusters[c].Centre);
        if (best < 0 || d < bestD) best = int(c), bestD = d;
      }
      ASSERT_EQ(color.Cluster, best);
    }
    // Sorted by luminance.
    for (int i = 1; i < out.Count(); ++i)
      EXPECT_LE(VeQuantizationLuminance(out.Entries[size_t(i - 1)].Lin),
                VeQuantizationLuminance(out.Entries[size_t(i)].Lin));
  }
}

TEST_F(Quantization, HardwarePaletteBoundsEveryOutputColour) {
  auto hw = RGB333();
  auto px = Picture(64, 64, 3);
  for (bool pairs : {false, true}) {
    auto out = Quantize(px, pairs ? 8 : 24, 2, &hw, pairs);
    EXPECT_EQ(out.Count(), pairs ? 8 : 24);
    for (auto q : Quads(out))
      EXPECT_TRUE(IsRGB333(q, hw)) << std::hex << q;
    auto quads = Quads(out);
    EXPECT_EQ(std::set<uint32_t>(quads.begin(), quads.end()).size(), quads.size());
  }
  // Gray snapping picks hardware colours by luminance; the method flag is not supported.
  TVeQuantization gray(nullptr, 6, true);
  gray.Hardware = &hw;
  gray.AddPixels(px.data(), px.size());
  TVeQuantizationPalette out;
  gray.Execute(out);
  for (auto q : Quads(out))
    EXPECT_TRUE(IsRGB333(q, hw));
  TVeQuantization method(nullptr, 6, false, true);
  method.Hardware = &hw;
  method.AddPixels(px.data(), px.size());
  EXPECT_THROW(method.Execute(out), EInternalError);
}

TEST_F(Quantization, PinnedColoursStartTheOutput) {
  TVeQuantizationPalette fixed;
  fixed.AddRGB(200, 10, 10);
  fixed.AddRGB(0, 0, 0);
  fixed.AddRGB(30, 200, 30);
  auto px = Picture(64, 64, 5);
  auto out = Quantize(px, 12, 2, nullptr, false, &fixed);
  ASSERT_EQ(out.Count(), 12);
  EXPECT_EQ(out.Entries[0].Quad, Quad(200, 10, 10));
  EXPECT_EQ(out.Entries[1].Quad, 0u);
  EXPECT_EQ(out.Entries[2].Quad, Quad(30, 200, 30));
  for (int i = 3; i < 12; ++i)
    EXPECT_LT(fixed.FindExact(out.Entries[size_t(i)].Quad), 0);
  // Exactly k pinned colours: they are the palette.
  auto three = Quantize(px, 3, 2, nullptr, false, &fixed);
  EXPECT_EQ(Quads(three), Quads(fixed));
}

TEST_F(Quantization, ResultsDoNotDependOnTheWorkerCount) {
  auto hw = RGB333();
  auto px = Picture(80, 60, 11);
  for (int k : {2, 16, 100}) {
    auto one = Quantize(px, k, 1);
    EXPECT_EQ(Quads(Quantize(px, k, 4)), Quads(one)) << k;
    auto three = Quantize(px, k, 3);
    for (size_t i = 0; i < one.Entries.size(); ++i)
      EXPECT_EQ(three.Entries[i].Lin, one.Entries[i].Lin);
    EXPECT_EQ(Quads(Quantize(px, k, 4, &hw)), Quads(Quantize(px, k, 1, &hw)));
  }
  EXPECT_EQ(Quads(Quantize(px, 6, 4, nullptr, true)), Quads(Quantize(px, 6, 1, nullptr, true)));
}

TEST_F(Quantization, PairModeAndAbort) {
  auto px = Picture(48, 48, 9);
  auto out = Quantize(px, 6, 2, nullptr, true);
  EXPECT_EQ(out.Count(), 6);
  TVeQuantization big(nullptr, 17, false);
  EXPECT_THROW(big.ExecutePairs(out), EInternalError);

  TVeCancelFlag cancel{1};
  for (int workers : {1, 2}) {
    SetProcessorCount(workers);
    TVeQuantization q(&cancel, 8, false);
    q.AddPixels(px.data(), px.size());
    EXPECT_THROW(q.Execute(out), EAbort);
  }
}
