#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <tuple>
#include <vector>

#include "VeDestEngineOptions.h"
#include "VeImage.h"

namespace {

// A deterministic picture with gradients, edges and some noise.
TVeBitmap32 TestPicture(int w, int h, uint32_t seed = 1) {
  TVeBitmap32 b(w, h);
  uint32_t s = seed;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      s = s * 1664525u + 1013904223u;
      const int n = int(s >> 28) - 8;
      const int r = std::clamp(x * 255 / std::max(1, w - 1) + n, 0, 255);
      const int g = std::clamp(y * 255 / std::max(1, h - 1) + n, 0, 255);
      const int bl = std::clamp(((x / 5 + y / 3) % 2) * 180 + 30 + n, 0, 255);
      b.Pixel(x, y) = VeRGBQuad(uint8_t(r), uint8_t(g), uint8_t(bl));
    }
  return b;
}

TVePalette256 Palette16() {
  TVePalette256 p;
  p.MakeCube16();
  return p;
}

TVeImage Uniform(int w, int h, double y) {
  TVeImage img(w, h);
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i)
      img.GetPixels(i, j)->SetLinGray(y);
  return img;
}

// The palette driver written out the plain way: nearest search through the palette, every
// share added to the record with error * weight / divisor.
struct TReference {
  std::vector<int> Index; // stored order
  double TotalError = 0;
};

TReference ReferenceDither(TVeImage& img, const TVeDitherOptions& o, const TVePalette& pal) {
  TReference r;
  const int w = img.Width(), h = img.Height();
  r.Index.assign(size_t(w) * h, -1);
  if (o.GrayPalette) img.MakeGray();
  const TVeKernel& k = VeDitherKernel(o.DitherMethod);
  img.Reversed = false;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      TVePixel* p = img.GetPixels(x, y);
      const TVeLinRGBColor v = p->GetLinRGB();
      const int idx =
          o.GrayPalette ? pal.FindNearestGray(p->Color()) : pal.FindNearest(0, p->Color());
      const int sx = img.Reversed ? w - 1 - x : x;
      r.Index[size_t(y) * w + sx] = idx;
      TVeLinRGBColor c = pal.GetLinRGB(idx);
      r.TotalError += DeltaRGB(v, c);
      p->SetLinRGB(c);
      if (o.GrayPalette) {
        const double yc = pal.GetLinGray(idx);
        c = {yc, yc, yc};
      }
      const double s = o.ErrorDiffusion;
      const TVeLinRGBColor e{(v.R - c.R) * s / 100, (v.G - c.G) * s / 100, (v.B - c.B) * s / 100};
      for (int i = 0; i < k.Count; ++i) {
        const TVeKernelTap& t = k.Taps[i];
        const int tx = x + t.DX, ty = y + t.DY;
        if (tx < 0 || tx >= w || ty >= h) continue;
        TVePixel* q = img.GetPixels(tx, ty);
        const TVeLinRGBColor qv = q->GetLinRGB();
        q->SetLinRGB(qv.R + e.R * t.Weight / k.Divisor, qv.G + e.G * t.Weight / k.Divisor,
                     qv.B + e.B * t.Weight / k.Divisor);
      }
    }
    if (o.Serpentine) img.Reversed = !img.Reversed;
  }
  img.Reversed = false;
  return r;
}

std::vector<int> Indices(const TVeBitmap& b) {
  std::vector<int> v;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      v.push_back(b.GetPixel(x, y));
  return v;
}

void ExpectSamePixels(const TVeImage& a, const TVeImage& b) {
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) {
      const TVeLinRGBColor& p = a.Scanline(y)[x].GetLinRGB();
      const TVeLinRGBColor& q = b.Scanline(y)[x].GetLinRGB();
      ASSERT_TRUE(p == q) << x << "," << y;
    }
}

} // namespace

TEST(Kernel, TapsAndDivisors) {
  const int divisors[] = {1, 16, 48, 42, 32, 32, 16, 4, 8};
  const int sums[] = {0, 16, 48, 42, 32, 32, 16, 4, 6};
  for (int m = 0; m < VeKernelCount; ++m) {
    const TVeKernel& k = VeDitherKernel(m);
    int sum = 0;
    for (int i = 0; i < k.Count; ++i) {
      sum += k.Taps[i].Weight;
      EXPECT_TRUE(k.Taps[i].DY > 0 || k.Taps[i].DX > 0) << m; // only unvisited pixels
    }
    if (m > 0) {
      EXPECT_EQ(k.Divisor, divisors[m]);
    }
    EXPECT_EQ(sum, sums[m]) << m;
  }
  EXPECT_EQ(VeDitherKernel(VeDitherMethodCount).Count, 0); // past the list
  EXPECT_EQ(VeDitherKernel(-1).Count, 0);
}

TEST(Diffuse, OnePixelWideKeepsOnlyTheShareBelow) {
  TVeImage img = Uniform(1, 3, 0.25);
  img.DiffuseColor(0, 0, {0.16, 0.32, 0.48}, dmFloydSteinberg);
  const TVeLinRGBColor v = img.GetPixels(0, 1)->GetLinRGB();
  EXPECT_DOUBLE_EQ(v.R, 0.25 + 0.16 * 5 / 16);
  EXPECT_DOUBLE_EQ(v.G, 0.25 + 0.32 * 5 / 16);
  EXPECT_DOUBLE_EQ(v.B, 0.25 + 0.48 * 5 / 16);
  EXPECT_EQ(img.GetPixels(0, 2)->GetLinRGB().R, 0.25);

  img.DiffuseGray(0, 1, 0.32, dmFloydSteinberg);
  EXPECT_DOUBLE_EQ(img.GetPixels(0, 2)->GetLinGray(), 0.25 + 0.32 * 5 / 16);
  // Method 0 and unknown methods spread nothing.
  TVeImage b = Uniform(3, 3, 0.5);
  b.DiffuseColor(1, 1, {1, 1, 1}, dmNone);
  b.DiffuseGray(1, 1, 1, 42);
  ExpectSamePixels(b, Uniform(3, 3, 0.5));
}

TEST(Diffuse, ReversedRowSendsForwardShareLeft) {
  TVeImage img = Uniform(4, 2, 0.0);
  img.Reversed = true;
  // Scan position 1 of a reversed row is stored column 2; its 7/16 share lands in column 1.
  img.DiffuseGray(1, 0, 1.6, dmFloydSteinberg);
  img.Reversed = false;
  EXPECT_DOUBLE_EQ(img.GetPixels(1, 0)->GetLinGray(), 0.7);
  EXPECT_EQ(img.GetPixels(3, 0)->GetLinGray(), 0.0);
  EXPECT_DOUBLE_EQ(img.GetPixels(3, 1)->GetLinGray(), 0.3);
  EXPECT_DOUBLE_EQ(img.GetPixels(2, 1)->GetLinGray(), 0.5);
  EXPECT_DOUBLE_EQ(img.GetPixels(1, 1)->GetLinGray(), 0.1);
}

TEST(Diffuse, AtkinsonDropsAQuarter) {
  TVeImage img = Uniform(7, 5, 0.0);
  img.DiffuseGray(3, 1, 1.0, dmAtkinson);
  double sum = 0;
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x)
      sum += img.GetPixels(x, y)->GetLinGray();
  EXPECT_DOUBLE_EQ(sum, 0.75);
}

TEST(DitherPalette, MatchesPlainReference) {
  const TVeBitmap32 pic = TestPicture(23, 17);
  const TVePalette256 pal = Palette16();
  for (int m = 0; m < VeKernelCount; ++m)
    for (int serp = 0; serp < 2; ++serp)
      for (int gray = 0; gray < 2; ++gray) {
        TVeDitherOptions o;
        o.DitherMethod = uint8_t(m);
        o.Serpentine = serp;
        o.GrayPalette = gray;
        o.ErrorDiffusion = m % 2 ? 90 : 100;
        SCOPED_TRACE(testing::Message() << "method " << m << " serp " << serp << " gray " << gray);
        TVeImage a(pic), b(pic);
        auto bmp = a.DitherPalette(nullptr, o, nullptr, pal);
        const TReference ref = ReferenceDither(b, o, pal);
        EXPECT_EQ(Indices(*bmp), ref.Index);
        EXPECT_EQ(a.TotalError, ref.TotalError);
        ExpectSamePixels(a, b);
        EXPECT_FALSE(a.Reversed);
      }
}

TEST(DitherPalette, FromThePictureAsFromAWholeImage) {
  // The rows read as the diffusion reaches them give what a whole working image gives, and
  // the fixes, the gray step and large palettes (which need the image) still apply.
  const TVeBitmap32 pic = TestPicture(29, 13, 5);
  const TVePalette256 pal = Palette16();
  TVePalette256 output;
  for (int i = pal.GetCount() - 1; i >= 0; --i)
    output.AddColor(pal.Color(i));
  for (int m = 0; m < VeKernelCount + 2; ++m)
    for (int variant = 0; variant < 4; ++variant) {
      TVeDitherOptions o;
      o.DitherMethod = uint8_t(m < VeKernelCount ? m : dmOrderedBayer + (m - VeKernelCount));
      o.Serpentine = variant % 2;
      o.GrayPalette = variant == 2;
      o.LightnessFix = variant == 3 ? 20 : 0;
      o.ErrorDiffusion = m % 2 ? 85 : 100;
      SCOPED_TRACE(testing::Message()
                   << "method " << int(o.DitherMethod) << " variant " << variant);
      TVeImage whole(pic);
      auto a = whole.Dither(nullptr, o, variant == 1 ? &output : nullptr, pal);
      auto b = TVeImage::DitherSource(nullptr, o, variant == 1 ? &output : nullptr, pal, pic);
      EXPECT_EQ(Indices(*a), Indices(*b));
    }
}

TEST(DitherPalette, StrengthZeroIsPlainMapping) {
  const TVeBitmap32 pic = TestPicture(20, 12);
  const TVePalette256 pal = Palette16();
  TVeDitherOptions none, zero;
  none.DitherMethod = dmNone;
  zero.DitherMethod = dmStucki;
  zero.ErrorDiffusion = 0;
  TVeImage a(pic), b(pic), c(pic);
  auto ra = a.DitherPalette(nullptr, none, nullptr, pal);
  auto rb = b.DitherPalette(nullptr, zero, nullptr, pal);
  EXPECT_EQ(Indices(*ra), Indices(*rb));
  ExpectSamePixels(a, b);
  // Plain mapping: each pixel's own nearest colour.
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 20; ++x)
      ASSERT_EQ(ra->GetPixel(x, y), pal.FindNearest(0, c.GetPixels(x, y)->Color()));
}

TEST(DitherPalette, GrayModeSeesOnlyLuminance) {
  const TVeBitmap32 pic = TestPicture(24, 16, 7);
  TVeImage grayPic(pic);
  grayPic.MakeGray();
  TVePalette256 grays;
  for (int i = 0; i < 6; ++i)
    grays.AddLin({i / 5.0, i / 5.0, i / 5.0});
  TVeDitherOptions o;
  o.GrayPalette = true;
  TVeImage a(pic);
  auto ra = a.DitherPalette(nullptr, o, nullptr, grays);
  auto rb = grayPic.DitherPalette(nullptr, o, nullptr, grays);
  EXPECT_EQ(Indices(*ra), Indices(*rb));
}

TEST(DitherPalette, OutputPaletteIndicesAndFailures) {
  const TVeBitmap32 pic = TestPicture(16, 8);
  const TVePalette256 search = Palette16();
  TVePalette256 output;
  for (int i = search.GetCount() - 1; i >= 0; --i)
    output.AddColor(search.Color(i));
  output.AddRGB(1, 2, 3);
  TVeDitherOptions o;
  TVeImage a(pic), b(pic);
  auto ra = a.DitherPalette(nullptr, o, nullptr, search);
  auto rb = b.DitherPalette(nullptr, o, &output, search);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x)
      ASSERT_EQ(rb->GetPixel(x, y), output.IndexOf(search.GetRGBQuad(ra->GetPixel(x, y))));
  EXPECT_EQ(rb->BitCount(), 8); // 17 output colours

  TVePalette256 lacking;
  lacking.AddRGB(0, 0, 0);
  TVeImage c(pic);
  EXPECT_THROW(c.DitherPalette(nullptr, o, &lacking, search), EInternalError);

  TVePalette256 big;
  for (int i = 0; i < 300; ++i)
    big.AddRGB(uint8_t(i), uint8_t(i / 2), 0);
  TVeImage d(pic);
  EXPECT_THROW(d.DitherPalette(nullptr, o, nullptr, big), EInternalError);
}

TEST(DitherPalette, DataGridFollowsMirror) {
  const TVeBitmap32 pic = TestPicture(9, 4);
  const TVePalette256 pal = Palette16();
  std::vector<uint8_t> mem(9 * 4, 0xEE);
  TVeScreen8 grid(9, mem.data(), 4);
  TVeImage img(pic);
  auto r = img.DitherPalette(nullptr, TVeDitherOptions{}, nullptr, pal, &grid);
  EXPECT_FALSE(grid.Reversed);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 9; ++x)
      ASSERT_EQ(grid.GetPixel(x, y), r->GetPixel(x, y));
}

TEST(DitherPalette, AbortBeforeAnyPixel) {
  TVeImage img(TestPicture(8, 8));
  TVeCancelFlag cancel{1};
  EXPECT_THROW(img.DitherPalette(&cancel, TVeDitherOptions{}, nullptr, Palette16()), EAbort);
  // Nothing quantized yet: the first pixel still holds its source bytes.
  EXPECT_EQ(img.GetPixels(0, 0)->GetRGBQuad(), TestPicture(8, 8).Pixel(0, 0) & 0xFFFFFF);
}

TEST(DitherTrial, AreaLeavesErrorInNeighbours) {
  const TVeBitmap32 pic = TestPicture(10, 10, 3);
  const TVePalette256 pal = Palette16();
  TVeDitherOptions o;
  o.Serpentine = false;
  o.Palette = &pal;
  TVeImage a(pic);
  a.DitherTrial(nullptr, o, 4, 5);
  // The plain way on the same picture, restricted to the area by hand.
  TVeImage c(pic);
  const TVeKernel& k = VeDitherKernel(o.DitherMethod);
  double total = 0;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) {
      TVePixel* p = c.GetPixels(x, y);
      const TVeLinRGBColor v = p->GetLinRGB();
      const int idx = pal.FindNearest(0, p->Color());
      const TVeLinRGBColor col = pal.GetLinRGB(idx);
      total += DeltaRGB(v, col);
      p->SetLinRGB(col);
      for (int i = 0; i < k.Count; ++i) {
        const int tx = x + k.Taps[i].DX, ty = y + k.Taps[i].DY;
        if (tx < 0 || tx >= 10 || ty >= 10) continue;
        TVePixel* q = c.GetPixels(tx, ty);
        const TVeLinRGBColor qv = q->GetLinRGB();
        const double f = o.ErrorDiffusion, w = k.Taps[i].Weight;
        q->SetLinRGB(qv.R + (v.R - col.R) * f / 100 * w / k.Divisor,
                     qv.G + (v.G - col.G) * f / 100 * w / k.Divisor,
                     qv.B + (v.B - col.B) * f / 100 * w / k.Divisor);
      }
    }
  EXPECT_EQ(a.TotalError, total);
  ExpectSamePixels(a, c);
}

TEST(DitherTrueColor, MatchesPaletteSearchAndWritesQuads) {
  const TVeBitmap32 pic = TestPicture(21, 13, 5);
  TVePaletteRGB rgb(ptRGB565);
  TVeDitherOptions o;
  TVeImage a(pic);
  auto r = a.DitherTrueColor(nullptr, o, rgb);
  ASSERT_EQ(r->BitCount(), 24);
  // The same walk written plainly.
  TVeImage b(pic);
  const TVeKernel& k = VeDitherKernel(o.DitherMethod);
  for (int y = 0; y < 13; ++y) {
    for (int x = 0; x < 21; ++x) {
      TVePixel* p = b.GetPixels(x, y);
      const TVeLinRGBColor v = p->GetLinRGB();
      const int idx = rgb.FindNearest(0, p->Color());
      const int sx = b.Reversed ? 20 - x : x;
      ASSERT_EQ(uint32_t(r->GetPixel(sx, y)), rgb.GetRGBQuad(idx));
      const TVeLinRGBColor c = rgb.GetLinRGB(idx);
      p->SetLinRGB(c);
      const double s = o.ErrorDiffusion;
      for (int i = 0; i < k.Count; ++i) {
        const int tx = x + k.Taps[i].DX, ty = y + k.Taps[i].DY;
        if (tx < 0 || tx >= 21 || ty >= 13) continue;
        TVePixel* q = b.GetPixels(tx, ty);
        const TVeLinRGBColor qv = q->GetLinRGB();
        const double w = k.Taps[i].Weight;
        q->SetLinRGB(qv.R + (v.R - c.R) * s / 100 * w / k.Divisor,
                     qv.G + (v.G - c.G) * s / 100 * w / k.Divisor,
                     qv.B + (v.B - c.B) * s / 100 * w / k.Divisor);
      }
    }
    b.Reversed = !b.Reversed;
  }
  b.Reversed = false;
  ExpectSamePixels(a, b);

  // Dither picks the driver by the palette's size.
  TVeImage c(pic), d(pic);
  EXPECT_EQ(c.Dither(nullptr, o, nullptr, rgb)->BitCount(), 24);
  const TVePalette256 pal = Palette16();
  EXPECT_EQ(d.Dither(nullptr, o, nullptr, pal)->BitCount(), 4);
}

TEST(DitherTwoColors, HalfLuminanceIsLight) {
  TVeImage img = Uniform(3, 2, 0.5);
  TVeDitherOptions o;
  o.DitherMethod = dmNone;
  auto r = img.DitherTwoColors(nullptr, o, 1, 0, nullptr, nullptr);
  ASSERT_EQ(r->BitCount(), 1);
  EXPECT_EQ(r->Palette().GetCount(), 0);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      EXPECT_EQ(r->GetPixel(x, y), 1);
  EXPECT_EQ(img.GetPixels(0, 0)->GetLinGray(), 1.0);

  // A palette picks the kind; the bits variant writes 1 and 0 into the grid.
  TVePalette256 pal = Palette16();
  TVeImage g = Uniform(8, 4, 0.3);
  std::vector<uint8_t> mem(8 * 4, 9);
  TVeScreen8 grid(8, mem.data(), 4);
  auto rb = g.DitherTwoColorsBits(nullptr, TVeDitherOptions{}, 15, 2, &pal, &grid);
  EXPECT_EQ(rb->BitCount(), 4);
  int lit = 0;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) {
      const int v = rb->GetPixel(x, y);
      ASSERT_TRUE(v == 15 || v == 2);
      ASSERT_EQ(grid.GetPixel(x, y), v == 15 ? 1 : 0);
      lit += v == 15;
    }
  EXPECT_GT(lit, 4); // about 30 % of 32
  EXPECT_LT(lit, 16);
}

TEST(DitherTwoColors, AtkinsonContrastsMoreThanFloydSteinberg) {
  // Mid-dark gray: Atkinson's lost error leaves fewer lit pixels in shadows.
  auto litCount = [](int method, double y) {
    TVeImage img = Uniform(32, 32, y);
    TVeDitherOptions o;
    o.DitherMethod = uint8_t(method);
    o.ErrorDiffusion = 100;
    auto r = img.DitherTwoColors(nullptr, o, 1, 0, nullptr, nullptr);
    int n = 0;
    for (int j = 0; j < 32; ++j)
      for (int i = 0; i < 32; ++i)
        n += r->GetPixel(i, j);
    return n;
  };
  EXPECT_LT(litCount(dmAtkinson, 0.2), litCount(dmFloydSteinberg, 0.2));
  EXPECT_GT(litCount(dmAtkinson, 0.8), litCount(dmFloydSteinberg, 0.8));
}

TEST(DitherFlicker, GrayHalfAlternatesFrames) {
  TVeImage img = Uniform(6, 4, 0.5);
  std::vector<uint8_t> mem(6 * 4, 0);
  TVeScreen8 grid(6, mem.data(), 4);
  auto r = img.DitherFlickerGray(nullptr, TVeDitherOptions{}, &grid);
  ASSERT_NE(r->Frames(), nullptr);
  ASSERT_EQ(r->Frames()->Count(), 2);
  TVeBitmap* a = r->Frames()->GetBitmap(0);
  TVeBitmap* b = r->Frames()->GetBitmap(1);
  EXPECT_EQ(a->BitCount(), 1);
  EXPECT_EQ(r->Palette().GetCount(), 3);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) {
      EXPECT_EQ(r->GetPixel(x, y), 1);
      const int fa = a->GetPixel(x, y), fb = b->GetPixel(x, y);
      EXPECT_EQ(fa + fb, 1);
      EXPECT_EQ(fa, (x + y) % 2 == 0 ? 1 : 0) << x << "," << y; // a chessboard from (0, 0)
      EXPECT_EQ(grid.GetPixel(x, y), 2 * fa + fb);
    }
}

TEST(DitherFlicker, PairAndColorIndices) {
  TVePalette256 base;
  base.AddRGB(0, 0, 0);
  base.AddRGB(255, 255, 255);
  TVePalette256 mix;
  mix.MakeMixTable(&base, 100, 2);
  // Gray 0.5 in a pair of black and white: both frames differ, index is A * n + B.
  TVeImage img = Uniform(4, 2, 0.5);
  auto r = img.DitherFlickerPair(nullptr, TVeDitherOptions{}, 1, 0, mix, nullptr);
  TVeBitmap* a = r->Frames()->GetBitmap(0);
  TVeBitmap* b = r->Frames()->GetBitmap(1);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) {
      EXPECT_NE(a->GetPixel(x, y), b->GetPixel(x, y));
      EXPECT_EQ(r->GetPixel(x, y), a->GetPixel(x, y) * 2 + b->GetPixel(x, y));
    }
  EXPECT_EQ(a->GetPixel(0, 0), 1); // parity gives frame A the light colour first

  TVePalette256 odd;
  for (int i = 0; i < 3; ++i)
    odd.AddRGB(uint8_t(i), 0, 0);
  EXPECT_THROW(img.DitherFlickerPair(nullptr, TVeDitherOptions{}, 1, 0, odd, nullptr),
               EInternalError);
  EXPECT_THROW(img.DitherFlickerColor(nullptr, TVeDitherOptions{}, nullptr, odd, nullptr),
               EInternalError);

  // Colour flicker: the mixed gray is shown by alternating the two pure colours, with the
  // excluded reversed pair aliased to the listed one.
  TVeImage c = Uniform(4, 2, 0.5);
  auto rc = c.DitherFlickerColor(nullptr, TVeDitherOptions{}, &base, mix, nullptr);
  TVeBitmap* ca = rc->Frames()->GetBitmap(0);
  TVeBitmap* cb = rc->Frames()->GetBitmap(1);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(rc->GetPixel(x, y), 1); // entry 0 * 2 + 1: black with white
      EXPECT_EQ(ca->GetPixel(x, y) + cb->GetPixel(x, y), 1);
    }
  EXPECT_EQ(ca->GetPixel(0, 0), 1);
  EXPECT_EQ(ca->GetPixel(1, 0), 0);
}

TEST(Image, WholeImageOperations) {
  TVeBitmap32 pic = TestPicture(5, 4);
  TVeImage img(pic);
  auto back = img.ToBitmap32();
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x)
      ASSERT_EQ(back->Pixel(x, y), pic.Pixel(x, y) | 0xFF000000u);

  TVeImage lim = Uniform(2, 1, 0.8);
  lim.GetPixels(1, 0)->SetLinGray(0.2);
  EXPECT_DOUBLE_EQ(lim.MaxLuminance(), 0.8);
  lim.LimitLuminance(0.4);
  EXPECT_NEAR(lim.GetPixels(0, 0)->GetLinGray(), 0.4, 1e-12);
  EXPECT_EQ(lim.GetPixels(1, 0)->GetLinGray(), 0.2);

  TVePalette256 range;
  range.AddLin({0.2, 0.2, 0.2});
  range.AddLin({0.6, 0.6, 0.6});
  range.AddLin({1.0, 1.0, 1.0});
  range.GetPColor(2)->Excluded = true;
  TVeImage fit = Uniform(3, 1, 0.0);
  fit.GetPixels(1, 0)->SetLinGray(0.9);
  fit.GetPixels(2, 0)->SetLinGray(0.4);
  fit.FitLuminance(range);
  EXPECT_NEAR(fit.GetPixels(0, 0)->GetLinGray(), 0.2, 1e-9); // black lifted to lo
  EXPECT_NEAR(fit.GetPixels(1, 0)->GetLinGray(), 0.6, 1e-9); // scaled down to hi
  EXPECT_EQ(fit.GetPixels(2, 0)->GetLinGray(), 0.4);

  TVeImage part(5, 2);
  part.CopyRows(img, 2);
  EXPECT_EQ(part.GetPixels(3, 1)->GetRGBQuad(), img.GetPixels(3, 3)->GetRGBQuad());
  EXPECT_THROW(part.CopyRows(img, 3), EInternalError); // would read past the last row
  TVeImage narrow(4, 1);
  EXPECT_THROW(narrow.CopyRows(img, 0), EInternalError);

  TVePalette256 found;
  TVeImage two = Uniform(3, 3, 0.0);
  two.GetPixels(1, 2)->InitRGBQuad(0x102030);
  two.CollectColors(found, 1, 0);
  EXPECT_EQ(found.GetCount(), 2);
  EXPECT_EQ(found.Color(0).UseCount, 4);

  two.SetHeight(5);
  EXPECT_EQ(two.Height(), 5);
  EXPECT_EQ(two.GetPixels(0, 4)->GetLinRGB(), TVeLinRGBColor{});
  EXPECT_THROW(TVeImage(-1, 2), EVeError);
}

TEST(Image, FixesAndGrayAreSameOnAnyWorkerCount) {
  const TVeBitmap32 pic = TestPicture(80, 90, 11);
  const TVePalette256 pal = Palette16();
  auto run = [&](int workers) {
    SetProcessorCount(workers);
    TVeImage img(pic);
    TVeDitherOptions o;
    o.LightnessFix = 20;
    o.SaturationFix = -30;
    auto r = img.DitherPalette(nullptr, o, nullptr, pal);
    img.PrepareAll();
    auto preview = img.ToBitmap32();
    TVeImage g(pic);
    g.MakeGray();
    return std::make_tuple(Indices(*r), img.TotalError, *preview, *g.ToBitmap32());
  };
  const auto one = run(1);
  const auto four = run(4);
  SetProcessorCount(0);
  EXPECT_TRUE(one == four);
}

TEST(DitherTrueColor, LevelSearchAgreesWithPalette) {
  // Values on levels, between them and outside 0..1, for uniform and tabled level sets.
  const TVePaletteRGB palettes[] = {TVePaletteRGB(ptRGB111), TVePaletteRGB(ptRGB565),
                                    TVePaletteRGB(ptMSX9958), TVePaletteRGB(ptRGB888)};
  for (const TVePaletteRGB& pal : palettes) {
    const int w = 97, h = 7;
    TVeImage img(w, h);
    uint32_t s = 17;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        auto next = [&] {
          s = s * 1664525u + 1013904223u;
          return s >> 8;
        };
        auto level = [&](int ch) {
          const TVePaletteRGB::TChannel& c = pal.Channel(ch);
          const double a = c.Lin[size_t(next() % unsigned(c.Count))];
          switch (y % 4) {
          case 0:
            return a;
          case 1:
            return (a + c.Lin[size_t(next() % unsigned(c.Count))]) / 2;
          case 2:
            return double(next() % 1000) / 800 - 0.1;
          default:
            return std::nextafter(a, y % 2 ? 2.0 : -1.0);
          }
        };
        img.GetPixels(x, y)->SetLinRGB(level(0), level(1), level(2));
      }
    TVeImage ref(img);
    TVeDitherOptions o;
    o.DitherMethod = dmNone;
    auto r = img.DitherTrueColor(nullptr, o, pal);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        ASSERT_EQ(uint32_t(r->GetPixel(x, y)),
                  pal.GetRGBQuad(pal.FindNearestLin(ref.GetPixels(x, y)->GetLinRGB())))
            << x << "," << y;
  }
}

TEST(DitherOptions, ReadFromEngineOptions) {
  TVeDestEngineOptions opts;
  TVeDitherOptions d = VeDitherOptionsOf(opts);
  EXPECT_EQ(d.DitherMethod, 1);
  EXPECT_EQ(d.ErrorDiffusion, 90);
  EXPECT_TRUE(d.Serpentine);
  EXPECT_FALSE(d.GrayPalette);
  EXPECT_EQ(d.Palette, &opts.Palette());
  opts.SetSerpentine(false);
  opts.SetLightnessFix(-30);
  d = VeDitherOptionsOf(opts);
  EXPECT_FALSE(d.Serpentine);
  EXPECT_EQ(d.LightnessFix, -30);
}
