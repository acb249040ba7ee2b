#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "VeImage.h"
#include "VePixel.h"
#include "VeSource.h"
#include "VeSourcePrepare.h"

namespace {

// The working pixel must answer every question exactly as a colour record driven through the
// same calls would, or conversions would change.
void ExpectSame(const TVePixel& p, const TVeColor& c) {
  EXPECT_EQ(p.GetLinRGB(), c.GetLinRGB());
  EXPECT_EQ(p.GetLinGray(), c.GetLinGray());
  EXPECT_EQ(p.GetGrayByte(), c.GetGrayByte());
  EXPECT_EQ(p.GetStdRGB(), c.GetStdRGB());
  EXPECT_EQ(p.IsGray(), c.IsGray());
}

// The defining formula of a byte, against which the fast conversion is checked.
uint8_t FormulaByte(double v) {
  double x = 255.0 * LinearToSRGB(v);
  if (!(x >= 0)) x = 0;
  if (x > 255) x = 255;
  return uint8_t(std::nearbyint(x));
}

TEST(Pixel, LinearToByteIsTheFormulaEverywhere) {
  std::mt19937_64 random(3);
  std::uniform_real_distribution<double> any(-0.2, 1.3);
  for (int i = 0; i < 200000; ++i) {
    const double v = any(random);
    ASSERT_EQ(LinearToByte(v), FormulaByte(v)) << v;
  }
  // Right at each rounding boundary, found by bisection on the formula.
  for (int b = 0; b < 255; ++b) {
    double lo = ByteToLinear(uint8_t(b)), hi = ByteToLinear(uint8_t(b + 1));
    for (;;) {
      const double mid = lo + (hi - lo) / 2;
      if (mid <= lo || mid >= hi) break;
      (FormulaByte(mid) > b ? hi : lo) = mid;
    }
    double u = lo;
    for (int q = 0; q < 8; ++q)
      u = std::nextafter(u, -1.0);
    for (int q = 0; q < 16; ++q, u = std::nextafter(u, 2.0))
      ASSERT_EQ(LinearToByte(u), FormulaByte(u)) << b << " " << u;
  }
  EXPECT_EQ(LinearToByte(NAN), 0);
  EXPECT_EQ(LinearToByte(-HUGE_VAL), 0);
  EXPECT_EQ(LinearToByte(HUGE_VAL), 255);
}

TEST(Pixel, AnswersAsTheColourRecord) {
  // Every byte value comes back exactly after the trip through linear light.
  for (int b = 0; b < 256; ++b) {
    TVePixel p;
    p.InitStdRGB(uint8_t(b), uint8_t(255 - b), uint8_t(b / 2));
    ExpectSame(p, TVeColor::FromStdRGB(uint8_t(b), uint8_t(255 - b), uint8_t(b / 2)));
  }
  // Diffusion drives values out of range; a gray keeps its own luminance, which the sum of
  // the weights would not give back exactly.
  TVePixel p;
  TVeColor c;
  p.InitRGBQuad(0x3080C0);
  c.InitRGBQuad(0x3080C0);
  const double steps[][3] = {{0.1, -0.2, 0.3}, {1.7, 0.0, -0.4}, {0.3, 0.3, 0.3}};
  for (const auto& s : steps) {
    p.SetLinRGB(s[0], s[1], s[2]);
    c.SetLinRGB(s[0], s[1], s[2]);
    ExpectSame(p, c);
  }
  for (double y : {0.1, 0.37, 0.9999, 1.3}) {
    p.SetLinGray(y);
    c.SetLinGray(y);
    ExpectSame(p, c);
    // Storing the same value again keeps the gray's luminance.
    p.SetLinRGB(y, y, y);
    c.SetLinRGB(y, y, y);
    ExpectSame(p, c);
  }
  p.SetLinRGB(0.2, 0.5, 0.7);
  c.SetLinRGB(0.2, 0.5, 0.7);
  p.MakeGray();
  c.MakeGray();
  ExpectSame(p, c);
  // The record made from a pixel searches and fixes like the pixel's own record.
  ExpectSame(p, p.Color());
  EXPECT_EQ(p.Color().GetLab(), c.GetLab());
}

TEST(Pixel, FixedQuadsMatchAFixedWorkingImage) {
  TVeBitmap32 pic(67, 71);
  uint32_t s = 7;
  for (size_t i = 0; i < pic.PixelCount(); ++i) {
    s = s * 1664525u + 1013904223u;
    pic.Data()[i] = s | 0xFF000000u;
  }
  for (int saturation : {0, 40, -70})
    for (int lightness : {0, 25, -67})
      for (bool gray : {false, true}) {
        TVeImage image(pic);
        image.ApplyFixes(saturation, lightness);
        if (gray) image.MakeGray();
        const std::vector<uint32_t> quads = VeFixedQuads(pic, saturation, lightness, gray);
        ASSERT_EQ(quads.size(), pic.PixelCount());
        for (int y = 0; y < pic.Height(); ++y)
          for (int x = 0; x < pic.Width(); ++x)
            ASSERT_EQ(quads[size_t(y) * 67 + size_t(x)], image.GetPixels(x, y)->GetRGBQuad())
                << saturation << " " << lightness << " " << gray;
      }
}

TEST(Pixel, WholePictureIsItsOwnRegionAndAPartIsCopied) {
  TVeSource source;
  TVePicture file;
  file.Allocate(40, 30, 24);
  for (int i = 0; i < 3; ++i)
    file.Row(6)[5 * 3 + i] = 0xFF;
  source.OpenPicture(file);
  ASSERT_EQ(source.RegionImage(), source.Image());
  const TVeBitmap32 pic = *source.Image();
  source.SetRegion({5, 6, 15, 16});
  ASSERT_NE(source.RegionImage(), source.Image());
  EXPECT_EQ(source.RegionImage()->Width(), 10);
  EXPECT_EQ(source.RegionImage()->Pixel(0, 0), 0xFFFFFFFFu);
  source.SetRegion({0, 0, 40, 30});
  EXPECT_EQ(source.RegionImage(), source.Image());

  // Without a copy asked for, a picture of the result's size is not duplicated.
  const TVeResizeResult same = VeResizeSource(pic, 40, 30, 1, 1, 0, false, nullptr, false);
  EXPECT_TRUE(same.SameAsRegion);
  EXPECT_EQ(same.Picture.PixelCount(), 0u);
  const TVeResizeResult copy = VeResizeSource(pic, 40, 30, 1, 1, 0, false);
  EXPECT_FALSE(copy.SameAsRegion);
  EXPECT_TRUE(copy.Picture == pic);
}

} // namespace
