// Choosing a mode's few colours out of the machine's: a gray picture must come back in
// neutral colours, and a colourful one must get as many colours as the mode shows.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "VeBatch.h"
#include "VeColorDistance.h"
#include "VeDestEngineList.h"
#include "VeDestEngineUI.h"
#include "VePlatforms.h"
#include "VeQuantization.h"
#include "platforms/msx/test_msx_support.h"
#include "test_photo.h"

namespace {

double Chroma(uint32_t quad) {
  const TVeLab lab =
      TVeColor::FromStdRGB(uint8_t(quad >> 16), uint8_t(quad >> 8), uint8_t(quad)).GetLab();
  return std::hypot(lab.A, lab.B);
}

// The photograph in gray, of equal luminance pixel by pixel.
TVeBitmap32 GrayPhoto(int w, int h) {
  TVeBitmap32 b = msxtest::Photo(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      TVeColor c;
      c.InitRGBQuad(b.Pixel(x, y));
      c.MakeGray();
      b.Pixel(x, y) = c.GetRGBQuad();
    }
  return b;
}

} // namespace

TEST(PaletteChoice, GrayPhotographGetsOnlyNeutralColours) {
  VeRegisterPlatforms();
  // The Gate Array's black and gray are measured a little green (chroma 11 and 8); every
  // other colour of these machines has a chroma of 30 or more.
  const double bound = 12;
  const std::pair<const char*, const char*> modes[] = {
      {"Amstrad CPC", "0 160x200x4"}, {"Amstrad CPC", "1 320x200x2"}, {"BBC Micro", "1 320x256x2"}};
  for (const auto& [platform, mode] : modes) {
    SCOPED_TRACE(std::string(platform) + " " + mode);
    const TVeDestEngineClass* c = DestEngineList().Find(platform, mode);
    ASSERT_TRUE(c);
    auto options = c->Create()->CreateOptions();
    const TVeBitmap32 gray = GrayPhoto(options->Width(), options->Height());
    std::unique_ptr<TVeStreamList> files;
    TVeDestProgress progress;
    auto result = c->Convert(nullptr, gray, files, progress, *options, nullptr, nullptr);
    ASSERT_TRUE(result);
    // The inks written back to the options are the ones the picture and its files use.
    EXPECT_GE(options->Palette().Count(), 2);
    for (int i = 0; i < options->Palette().Count(); ++i)
      EXPECT_LE(Chroma(options->Palette().GetRGBQuad(i)), bound) << "ink " << i;
  }
}

namespace {

// A machine whose tinted colours lie close to its grays by "Delta RGB", which hardly
// weighs blue and weighs red little: a pastel blue and a pastel magenta.
TVePalette256 TintedMachine() {
  TVePalette256 p;
  for (const TVeLinRGBColor& c :
       {TVeLinRGBColor{0, 0, 0}, TVeLinRGBColor{0.45, 0.45, 0.45}, TVeLinRGBColor{1, 1, 1},
        TVeLinRGBColor{0.43, 0.48, 0.97}, TVeLinRGBColor{0.98, 0.5, 0.98},
        TVeLinRGBColor{0.95, 0.1, 0.05}, TVeLinRGBColor{0.05, 0.1, 0.9}})
    p.AddLin(c);
  return p;
}

} // namespace

TEST(PaletteChoice, QuantizerSnapsGraysToGraysAndFillsColourfulPictures) {
  const TVePalette256 machine = TintedMachine();
  TVeQuantizationArgs args;
  args.K = 4;
  args.PerceptualChoice = true;
  // A gray ramp: the tinted colours would be nearer by "Delta RGB" to some of its levels.
  std::vector<uint32_t> ramp;
  for (int v = 0; v < 256; ++v)
    ramp.push_back(uint32_t(v) << 16 | uint32_t(v) << 8 | uint32_t(v));
  TVePalette256 out;
  QuantizeImage(args, out, &machine, nullptr,
                TVeQuantizationPixels::OfQuads(ramp.data(), ramp.size()));
  ASSERT_GE(out.Count(), 2);
  for (int i = 0; i < out.Count(); ++i)
    EXPECT_LE(Chroma(out.GetRGBQuad(i)), 1.0) << i;

  // Red, blue and their mixes: every place is used, and the red and the blue are there.
  std::vector<uint32_t> colourful;
  for (int v = 0; v < 256; ++v) {
    colourful.push_back(uint32_t(240) << 16 | uint32_t(v / 8) << 8 | uint32_t(v / 4));
    colourful.push_back(uint32_t(v / 4) << 16 | uint32_t(v / 8) << 8 | uint32_t(240));
  }
  QuantizeImage(args, out, &machine, nullptr,
                TVeQuantizationPixels::OfQuads(colourful.data(), colourful.size()));
  EXPECT_EQ(out.Count(), 4);
  EXPECT_GE(out.FindExact(machine.GetRGBQuad(5)), 0);
  EXPECT_GE(out.FindExact(machine.GetRGBQuad(6)), 0);
}

TEST(ColorDistance, KnownCIEDE2000Differences) {
  // Pairs from the published test data of the formula.
  struct TPair {
    TVeLab A, B;
    double Expected;
  };
  const TPair pairs[] = {{{50, 2.6772, -79.7751}, {50, 0, -82.7485}, 2.0425},
                         {{50, 0, 0}, {50, -1, 2}, 2.3669},
                         {{60.2574, -34.0099, 36.2677}, {60.4626, -34.1751, 39.4387}, 1.2644}};
  for (const TPair& p : pairs) {
    TVeColor a, b;
    a.SetLab(p.A.L, p.A.A, p.A.B);
    b.SetLab(p.B.L, p.B.A, p.B.B);
    EXPECT_NEAR(std::sqrt(VeColorDistance(VeMethodCIEDE2000, a, b)), p.Expected, 1e-4);
  }
}

TEST(ColorDistance, NearestSearchesAgreeWithBruteForce) {
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) & 0xFFFF;
  };
  TVePalette256 palette;
  for (int i = 0; i < 40; ++i)
    palette.AddRGB(uint8_t(next()), uint8_t(next()), uint8_t(next()));
  const TVePaletteRGB rgb333(ptRGB333);
  for (int method : {VeMethodCIE76, VeMethodCIEDE2000, VeMethodOklab}) {
    SCOPED_TRACE(VeDistanceNames[method]);
    for (int t = 0; t < 300; ++t) {
      // Error diffusion leaves values a little outside 0..1.
      const TVeColor c = TVeColor::FromLin(
          {next() / 54613.0 - 0.1, next() / 54613.0 - 0.1, next() / 54613.0 - 0.1});
      for (const TVePalette* p :
           {static_cast<const TVePalette*>(&palette), static_cast<const TVePalette*>(&rgb333)}) {
        int best = -1;
        double bestD = 0;
        for (int i = 0; i < p->Count(); ++i) {
          const double d = VeColorDistance(method, c, TVeColor::FromLin(p->GetLinRGB(i)));
          if (best < 0 || d < bestD) {
            bestD = d;
            best = i;
          }
        }
        ASSERT_EQ(p->FindNearest(method, c), best) << t;
      }
    }
  }
}

// A panel that offers "Color distance" must mean it: on a photograph every such mode converts
// differently by CIELAB than by Delta RGB. (The cell modes once offered it and ignored it.)
TEST(ColorDistance, EveryModeOfferingItUsesIt) {
  VeRegisterPlatforms();
  TVeDestEngineList& list = DestEngineList();
  int offered = 0;
  for (int p = 0; p < list.Count(); ++p)
    for (int m = 0; m < list.GetSubTypes(p).Count(); ++m) {
      const TVeDestEngineClass& e = *list.GetSubTypes(p).GetEngineClass(m);
      // "Original palette" dithers to the palette of an indexed source; a photograph has none.
      if (e.PreviewOnly() || e.GetModeName() == "Original palette") continue;
      auto probe = e.Create()->CreateOptions();
      auto ui = e.Create()->CreateUI(*probe);
      if (!ui->Has(ciColorDistance)) continue;
      ++offered;
      const int w = probe->Width() ? probe->Width() : 160;
      const int h = probe->Height() ? probe->Height() : 120;
      const TVeBitmap32 photo = TestPhoto(w, h);
      std::vector<uint32_t> shown[2];
      for (int distance : {VeMethodDeltaRGB, VeMethodCIE76}) {
        auto options = e.Create()->CreateOptions();
        options->BeginUpdate();
        VeApplyControllerDefaults(*options);
        options->SetColorDistance(distance);
        options->EndUpdate();
        TVeDestProgress progress;
        const TVeConversionResult r =
            VeConvertPicture(e, *options, photo, nullptr, nullptr, nullptr, progress);
        const auto b = r.Bitmap->ToBitmap32();
        auto& out = shown[distance == VeMethodDeltaRGB ? 0 : 1];
        for (int y = 0; y < b->Height(); ++y)
          for (int x = 0; x < b->Width(); ++x)
            out.push_back(b->Pixel(x, y));
      }
      EXPECT_NE(shown[0], shown[1]) << e.GetPlatformName() << " " << e.GetModeName();
    }
  EXPECT_GE(offered, 90);
}
