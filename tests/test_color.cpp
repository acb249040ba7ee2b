#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "VeColor.h"

TEST(VeColorTransfer, ByteToLinearBranches) {
  EXPECT_EQ(ByteToLinear(0), 0.0);
  EXPECT_EQ(ByteToLinear(255), 1.0);
  // 10/255 lies below the 0.04045 knee, 11/255 above it.
  EXPECT_NEAR(ByteToLinear(10), 0.0030353, 1e-7);
  EXPECT_NEAR(ByteToLinear(11), 0.0033465, 1e-7);
  EXPECT_EQ(ByteToLinear(10), 10.0 / 255 / 12.92);
}

TEST(VeColorTransfer, LinearToByteClampsAndRounds) {
  EXPECT_NEAR(255 * LinearToSRGB(0.5), 187.516, 1e-3);
  EXPECT_EQ(LinearToByte(0.5), 188);
  EXPECT_EQ(LinearToByte(1.2), 255);
  EXPECT_EQ(LinearToByte(-0.1), 0);
  EXPECT_LT(LinearToSRGB(-0.1), 0); // negative values take the linear branch
  for (int b = 0; b < 256; ++b)
    EXPECT_EQ(LinearToByte(ByteToLinear(uint8_t(b))), b) << b;
}

TEST(VeColorTransfer, LinearToByteFollowsTheFormulaAtEveryStep) {
  auto formula = [](double v) {
    double x = 255 * LinearToSRGB(v);
    x = std::clamp(x, 0.0, 255.0);
    return int(std::nearbyint(x));
  };
  for (int b = 1; b < 256; ++b) {
    double v = SRGBToLinear((b - 0.5) / 255);
    for (int k = 0; k < 8; ++k)
      v = std::nextafter(v, 0.0);
    for (int k = 0; k < 16; ++k, v = std::nextafter(v, 1.0))
      ASSERT_EQ(LinearToByte(v), formula(v)) << v;
  }
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-0.01, 1.01);
  for (int i = 0; i < 200000; ++i) {
    const double v = u(rng) * u(rng) * u(rng);
    ASSERT_EQ(LinearToByte(v), formula(v)) << v;
  }
  EXPECT_EQ(LinearToByte(std::nan("")), 0);
  EXPECT_EQ(LinearToByte(1e-300), 0);
  EXPECT_EQ(LinearToLevel(std::nan(""), 31), 0);
}

TEST(VeColorTransfer, ChannelLevels) {
  for (int m : {1, 3, 5, 7, 15, 31, 63, 255}) {
    EXPECT_EQ(LevelToLinear(0, m), 0.0);
    EXPECT_EQ(LevelToLinear(m, m), 1.0);
    for (int k = 0; k <= m; ++k) {
      EXPECT_DOUBLE_EQ(LevelToLinear(k, m), SRGBToLinear(double(k) / m));
      EXPECT_EQ(LinearToLevel(LevelToLinear(k, m), m), k) << k << "/" << m;
    }
    EXPECT_EQ(LinearToLevel(-1, m), 0);
    EXPECT_EQ(LinearToLevel(2, m), m);
  }
  EXPECT_EQ(Level31ToLinear(31), 1.0);
  EXPECT_EQ(LinearToLevel7(0.5), 5); // 7 * 0.7354 = 5.15
  EXPECT_THROW(LevelToLinear(8, 7), EInternalError);
  EXPECT_THROW(LevelToLinear(-1, 7), EInternalError);
  EXPECT_THROW(LinearToLevel(0.5, 0), EInternalError);
}

TEST(VeColorRecord, PackedForms) {
  TVeColor a, b;
  a.SetStdRGB(0x00332211u); // system colour: red in the low byte
  b.SetRGBQuad(0x00112233u);
  EXPECT_EQ(a.GetStdRGB(), (TVeStdRGBColor{0x11, 0x22, 0x33}));
  EXPECT_EQ(b.GetStdRGB(), a.GetStdRGB());
  EXPECT_EQ(a.GetRGBQuad(), 0x112233u);
  EXPECT_EQ(a.GetSysColor(), 0x332211u);
  EXPECT_FALSE(a.IsGray());
  a.InitStdRGB(7, 7, 7);
  EXPECT_TRUE(a.IsGray());
}

TEST(VeColorRecord, SetterKeepsCachesForEqualValue) {
  TVeColor c;
  c.SetStdRGB(0x204080u);
  const TVeLab lab = c.GetLab();
  ASSERT_TRUE(c.ValidFlags() & TVeColor::vLab);
  c.SetStdRGB(0x204080u);
  EXPECT_TRUE(c.ValidFlags() & TVeColor::vLab);
  EXPECT_EQ(c.GetLab(), lab);
  c.SetStdRGB(0x204081u);
  EXPECT_EQ(c.ValidFlags(), TVeColor::vStdRGB);
  EXPECT_NE(c.GetLab(), lab);

  // Same for linear values: an equal value keeps the derived bytes and HSL.
  c.SetLinRGB(0.1, 0.2, 0.3);
  c.GetHSL();
  const uint8_t flags = c.ValidFlags();
  c.SetLinRGB(0.1, 0.2, 0.3);
  EXPECT_EQ(c.ValidFlags(), flags);
  c.SetHSL(c.GetHSL().H, c.GetHSL().S, c.GetHSL().L);
  EXPECT_EQ(c.ValidFlags(), flags);
}

TEST(VeColorRecord, SetLinGrayStoresBoth) {
  TVeColor c;
  c.SetLinGray(0.5);
  EXPECT_TRUE(c.ValidFlags() & TVeColor::vLinGray);
  EXPECT_EQ(c.GetLinGray(), 0.5);
  EXPECT_EQ(c.GetStdRGB(), (TVeStdRGBColor{188, 188, 188}));
  EXPECT_EQ(c.GetGrayByte(), 188);

  // MakeGray keeps the luminance.
  TVeColor d = TVeColor::FromStdRGB(200, 30, 90);
  const double y = d.GetLinGray();
  d.MakeGray();
  EXPECT_EQ(d.GetLinGray(), y);
  EXPECT_EQ(d.GetLinRGB(), (TVeLinRGBColor{y, y, y}));
}

TEST(VeColorRecord, InitClearsExcludedSettersKeepIt) {
  TVeColor c;
  c.InitStdRGB(1, 2, 3);
  c.Excluded = true;
  c.SetLinRGB(0.5, 0.5, 0.5);
  EXPECT_TRUE(c.Excluded);
  c.InitLin(0.1, 0.1, 0.1);
  EXPECT_FALSE(c.Excluded);
}

TEST(VeColorRecord, LabOfWhiteAndBlack) {
  const TVeLab w = TVeColor::FromStdRGB(255, 255, 255).GetLab();
  EXPECT_NEAR(w.L, 100, 1e-4); // the matrix gives Y = 100.00001 for white
  EXPECT_NEAR(w.A, 0, 1e-4);
  EXPECT_NEAR(w.B, 0, 1e-4);
  const TVeLab k = TVeColor::FromStdRGB(0, 0, 0).GetLab();
  EXPECT_NEAR(k.L, 0, 1e-12);
  EXPECT_NEAR(k.A, 0, 1e-12);
  EXPECT_NEAR(k.B, 0, 1e-12);
}

TEST(VeColorRecord, RoundTripsThroughLabHslXyz) {
  for (uint32_t q :
       {0x000000u, 0xFFFFFFu, 0x123456u, 0xFF0000u, 0x00FF80u, 0x0A0B0Cu, 0x808080u, 0xC0FFEEu}) {
    TVeColor src;
    src.SetRGBQuad(q);
    const TVeLab lab = src.GetLab();
    TVeColor viaLab;
    viaLab.SetLab(lab.L, lab.A, lab.B);
    EXPECT_EQ(viaLab.GetRGBQuad(), q) << std::hex << q;

    const TVeHSL hsl = src.GetHSL();
    TVeColor viaHsl;
    viaHsl.SetHSL(hsl.H, hsl.S, hsl.L);
    const TVeLinRGBColor a = src.GetLinRGB(), b = viaHsl.GetLinRGB();
    EXPECT_NEAR(a.R, b.R, 1e-12);
    EXPECT_NEAR(a.G, b.G, 1e-12);
    EXPECT_NEAR(a.B, b.B, 1e-12);
    EXPECT_EQ(viaHsl.GetRGBQuad(), q);
  }
}

TEST(VeColorRecord, HslOfPrimaries) {
  TVeHSL h = TVeColor::FromLin({1, 0, 0}).GetHSL();
  EXPECT_DOUBLE_EQ(h.H, 0);
  EXPECT_DOUBLE_EQ(h.S, 1);
  EXPECT_DOUBLE_EQ(h.L, 0.5);
  h = TVeColor::FromLin({0, 1, 0}).GetHSL();
  EXPECT_NEAR(h.H, 1.0 / 3, 1e-15);
  h = TVeColor::FromLin({0, 0, 1}).GetHSL();
  EXPECT_NEAR(h.H, 2.0 / 3, 1e-15);
  h = TVeColor::FromLin({0.3, 0.3, 0.3}).GetHSL();
  EXPECT_EQ(h.H, 0);
  EXPECT_EQ(h.S, 0);
  EXPECT_EQ(h.L, 0.3);
}

TEST(VeColorRecord, EmptyColourReadsAsBlack) {
  TVeColor c;
  EXPECT_TRUE(c.IsEmpty());
  const TVeLab lab = c.GetLab(); // must not recurse between XYZ and Lab
  EXPECT_NEAR(lab.L, 0, 1e-12);
  EXPECT_EQ(c.GetStdRGB(), (TVeStdRGBColor{0, 0, 0}));
  TVeColor d;
  EXPECT_EQ(d.GetXYZ(), (TVeXYZ{0, 0, 0}));
  TVeColor e = TVeColor::FromStdRGB(9, 9, 9);
  e.Clear();
  EXPECT_TRUE(e.IsEmpty());
  EXPECT_EQ(e.GetLinGray(), 0);
}

TEST(VeColorRecord, OutOfRangeLinearValuesCarried) {
  TVeColor c = TVeColor::FromLin({1.5, -0.25, 0.5});
  EXPECT_EQ(c.GetLinRGB().R, 1.5);
  EXPECT_EQ(c.GetLinRGB().G, -0.25);
  EXPECT_EQ(c.GetStdRGB(), (TVeStdRGBColor{255, 0, 188}));
}

TEST(VeColorMath, LinearOperationsAndDistances) {
  const TVeLinRGBColor a{0.1, 0.2, 0.3}, b{0.5, 0.25, 0.0};
  EXPECT_EQ(a + b, (TVeLinRGBColor{0.1 + 0.5, 0.2 + 0.25, 0.3}));
  EXPECT_EQ(TVeLinRGBColor::AddScaled(a, -2, b), (TVeLinRGBColor{0.1 - 1.0, 0.2 - 0.5, 0.3}));
  EXPECT_EQ(TVeLinRGBColor::Mean(a, b), (TVeLinRGBColor{0.3, (0.2 + 0.25) / 2, 0.15}));
  EXPECT_DOUBLE_EQ(DeltaRGB(TVeLinRGBColor{1, 0, 0}, TVeLinRGBColor{0, 0, 0}), VeLumR);
  EXPECT_DOUBLE_EQ(DeltaRGB(TVeLinRGBColor{0, 0.5, 0}, TVeLinRGBColor{0, 0, 0}), VeLumG / 4);
  EXPECT_EQ(DeltaRGB(a, b), DeltaRGB(b, a));
  EXPECT_DOUBLE_EQ(DeltaGray(0.2, 0.7), 0.5);
  EXPECT_EQ(DeltaGray(0.7, 0.2), DeltaGray(0.2, 0.7));
  EXPECT_DOUBLE_EQ(TVeColor::FromLin({1, 1, 1}).GetLinGray(), VeLumR + VeLumG + VeLumB);
}

TEST(VeColorFixes, Lightness) {
  const TVeLinRGBColor v{0.9, 0.3, 0.06};
  auto fixed = [&](int p) {
    TVeColor c = TVeColor::FromLin(v);
    VeLightnessFix(c, p);
    return c.GetLinRGB();
  };
  // -66 and -67 both mean a third.
  EXPECT_EQ(fixed(-66), fixed(-67));
  EXPECT_NEAR(fixed(-66).R, 0.3, 1e-15);
  EXPECT_NEAR(fixed(-66).B, 0.02, 1e-15);
  EXPECT_NEAR(fixed(-90).G, 0.03, 1e-15);
  EXPECT_NEAR(fixed(-50).R, 0.45, 1e-15);
  EXPECT_NEAR(fixed(90).R, 1 - 0.1 * 0.1, 1e-15);
  EXPECT_NEAR(fixed(90).B, 1 - 0.1 * 0.94, 1e-15);
  EXPECT_EQ(fixed(0), v);
}

TEST(VeColorFixes, Saturation) {
  auto fixedS = [](double s, int q) {
    TVeColor c;
    c.SetHSL(0.25, s, 0.4);
    VeSaturationFix(c, q);
    const TVeHSL h = c.GetHSL();
    EXPECT_EQ(h.H, 0.25);
    EXPECT_EQ(h.L, 0.4);
    return h.S;
  };
  EXPECT_NEAR(fixedS(0.5, 90), 0.95, 1e-15);
  EXPECT_NEAR(fixedS(0.5, -90), 0.05, 1e-15);
  EXPECT_EQ(fixedS(0.5, 0), 0.5);
  EXPECT_NEAR(fixedS(0.0, 50), 0.5, 1e-15);
}

TEST(VeColorFixes, LightnessRunsBeforeSaturation) {
  TVeColor a = TVeColor::FromLin({0.8, 0.4, 0.2});
  TVeColorFix(-50, 40).Apply(a);
  TVeColor b = TVeColor::FromLin({0.8, 0.4, 0.2});
  VeLightnessFix(b, -50);
  VeSaturationFix(b, 40);
  EXPECT_EQ(a.GetLinRGB(), b.GetLinRGB());
  EXPECT_FALSE(TVeColorFix(0, 0).Active());
}
