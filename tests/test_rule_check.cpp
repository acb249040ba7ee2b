// The rule check of pictures drawn for a mode, and "Keep pixels", which converts such a
// picture without touching it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "VeBatch.h"
#include "VeBitmap.h"
#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeLoadSource.h"
#include "VePictureCodecs.h"
#include "VePlatforms.h"
#include "VeRuleCheck.h"
#include "VeSourceEngines.h"
#include "VeSourcePrepare.h"
#include "VeStream.h"
#include "test_photo.h"

namespace {

TVeBitmap32 Photo(int w, int h) {
  return TestPhoto(w, h);
}

const TVeDestEngineClass& Engine(const std::string& platform, const std::string& mode) {
  VeRegisterPlatforms();
  const TVeDestEngineClass* c = DestEngineList().Find(platform, mode);
  if (!c || c->GetModeName() != mode) throw std::runtime_error("no engine for " + mode);
  return *c;
}

struct TConverted {
  TVeConversionResult Result;
  TVeBitmap32 Preview;
};

TConverted Convert(const TVeDestEngineClass& engine, const TVeBitmap32& picture,
                   bool keepPixels = false) {
  auto options = engine.Create()->CreateOptions();
  options->BeginUpdate();
  VeApplyControllerDefaults(*options);
  options->SetKeepPixels(keepPixels);
  options->EndUpdate();
  TVeDestProgress progress;
  TConverted c;
  c.Result = VeConvertPicture(engine, *options, picture, nullptr, nullptr, nullptr, progress);
  c.Preview = *c.Result.Bitmap->ToBitmap32();
  return c;
}

std::vector<TVeRuleBreak> Check(const TVeDestEngineClass& engine, const TVeBitmap32& picture) {
  auto options = engine.Create()->CreateOptions();
  return VeCheckRule(engine.GetModeRule(*options), picture);
}

std::string Texts(const std::vector<TVeRuleBreak>& breaks) {
  std::string s;
  for (const TVeRuleBreak& b : breaks)
    s += b.Text() + "\n";
  return s;
}

// A machine colour the area of the picture does not hold, of the given group when the rule
// has groups.
uint32_t OtherColor(const TVeModeRule& rule, const TVeBitmap32& p, int x0, int y0, int w, int h,
                    uint8_t group = 0xFF) {
  for (size_t i = 0; i < rule.Colors.size(); ++i) {
    if (!rule.Groups.empty() && !(rule.Groups[i] & group)) continue;
    bool used = false;
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x)
        used = used || (p.Pixel(x, y) & 0xFFFFFF) == rule.Colors[i];
    if (!used) return rule.Colors[i];
  }
  return 0x123456;
}

} // namespace

TEST(RuleCheck, EveryCheckedModePassesWithItsOwnConversion) {
  VeRegisterPlatforms();
  TVeDestEngineList& list = DestEngineList();
  int checked = 0;
  for (int p = 0; p < list.Count(); ++p)
    for (int m = 0; m < list.GetSubTypes(p).Count(); ++m) {
      const TVeDestEngineClass& e = *list.GetSubTypes(p).GetEngineClass(m);
      auto options = e.Create()->CreateOptions();
      if (!e.GetModeRule(*options).Checkable) continue;
      ++checked;
      // Modes of any size are checked at one.
      const int w = options->Width() ? options->Width() : 160;
      const int h = options->Height() ? options->Height() : 120;
      TConverted c = Convert(e, Photo(w, h));
      EXPECT_EQ(Texts(Check(e, c.Preview)), "") << e.GetPlatformName() << " " << e.GetModeName();
    }
  // ZX standard and two multicolour modes, MSX screen 2, CPC 0, 1, 2 and overscan, BBC.
  EXPECT_GE(checked, 15);
}

TEST(RuleCheck, FindsPlantedClashesAtTheirCell) {
  {
    const TVeDestEngineClass& zx = Engine("ZX Spectrum", "256x192x4");
    TVeBitmap32 p = Convert(zx, Photo(256, 192)).Preview;
    const TVeModeRule rule = zx.GetModeRule(*zx.Create()->CreateOptions());
    // Two new colours of the same brightness: the cell holds at least three.
    for (int i = 0; i < 2; ++i) {
      const uint32_t c = OtherColor(rule, p, 8, 16, 8, 8, 2);
      p.Pixel(9 + i, 17) = 0xFF000000u | c;
    }
    const auto breaks = Check(zx, p);
    ASSERT_EQ(breaks.size(), 1u) << Texts(breaks);
    EXPECT_EQ(breaks[0].Text().rfind("cell 8,16 (8x8): ", 0), 0u) << breaks[0].Text();
    EXPECT_NE(breaks[0].What.find("colours, at most 2"), std::string::npos);
  }
  {
    // Ink and paper of different brightness break the rule with two colours.
    const TVeDestEngineClass& zx = Engine("ZX Spectrum", "256x192x4");
    const TVeModeRule rule = zx.GetModeRule(*zx.Create()->CreateOptions());
    TVeBitmap32 p(256, 192, 0xFF000000u | rule.Colors[1]); // dark blue
    p.Pixel(100, 60) = 0xFF000000u | rule.Colors[9];       // bright blue
    p.Pixel(0, 0) = 0xFF000000u | rule.Colors[8];          // black: either brightness
    const auto breaks = Check(zx, p);
    EXPECT_EQ(Texts(breaks), "cell 96,56 (8x8): dark and bright colours mixed\n");
  }
  {
    const TVeDestEngineClass& msx = Engine("MSX", "2 256x192x4");
    TVeBitmap32 p = Convert(msx, Photo(256, 192)).Preview;
    const TVeModeRule rule = msx.GetModeRule(*msx.Create()->CreateOptions());
    for (int i = 0; i < 2; ++i)
      p.Pixel(17 + i, 5) = 0xFF000000u | OtherColor(rule, p, 16, 5, 8, 1);
    EXPECT_EQ(Texts(Check(msx, p)).rfind("cell 16,5 (8x1): ", 0), 0u) << Texts(Check(msx, p));
    EXPECT_EQ(Check(msx, p).size(), 1u);
  }
  {
    const TVeDestEngineClass& cpc = Engine("Amstrad CPC", "1 320x200x2");
    const TVeBitmap32 good = Convert(cpc, Photo(320, 200)).Preview;
    const TVeModeRule rule = cpc.GetModeRule(*cpc.Create()->CreateOptions());
    TVeBitmap32 fifth = good;
    fifth.Pixel(100, 50) = 0xFF000000u | OtherColor(rule, good, 0, 0, 320, 200);
    EXPECT_EQ(Texts(Check(cpc, fifth)), "screen 0,0 (320x200): 5 colours, at most 4\n");
    TVeBitmap32 foreign = good;
    foreign.Pixel(37, 41) = 0xFF123456;
    EXPECT_EQ(Texts(Check(cpc, foreign)),
              "block 32,40 (8x8): colour #123456 is not a machine colour\n");
    // Within the tolerance a colour still counts as the machine's.
    TVeBitmap32 near = good;
    const uint32_t c = near.Pixel(3, 3);
    near.Pixel(3, 3) = (c & 0xFFFFFF00u) | ((c & 0xFF) > 128 ? (c & 0xFF) - 4 : (c & 0xFF) + 4);
    EXPECT_EQ(Texts(Check(cpc, near)), "");
  }
}

TEST(RuleCheck, PalettesOfTheWholeScreen) {
  // CGA 320 x 200: a background of 16 and one of the six fixed triples.
  const TVeDestEngineClass& cga = Engine("IBM", "CGA 320x200x2");
  const TVeModeRule rule = cga.GetModeRule(*cga.Create()->CreateOptions());
  ASSERT_EQ(rule.Colors.size(), 16u);
  const uint32_t blue = rule.Colors[1], green = rule.Colors[2], red = rule.Colors[4],
                 brown = rule.Colors[6], cyan = rule.Colors[3];
  TVeBitmap32 p(320, 200, 0xFF000000u | blue);
  p.Pixel(1, 1) = 0xFF000000u | green;
  p.Pixel(2, 1) = 0xFF000000u | red;
  p.Pixel(3, 1) = 0xFF000000u | brown;
  EXPECT_EQ(Texts(Check(cga, p)), "");
  p.Pixel(3, 1) = 0xFF000000u | cyan; // of the other palette
  EXPECT_EQ(
      Texts(Check(cga, p)),
      "screen 0,0 (320x200): 2 colours outside the nearest of the mode's palettes, at most 1\n");
  // CGA 640 x 200: black and one colour; two colours on blue break it.
  const TVeDestEngineClass& hi = Engine("IBM", "CGA 640x200x1");
  TVeBitmap32 two(640, 200, 0xFF000000u | blue);
  two.Pixel(5, 5) = 0xFF000000u | red;
  EXPECT_NE(Texts(Check(hi, two)).find("outside the nearest"), std::string::npos);
  two.Fill(0xFF000000u);
  two.Pixel(5, 5) = 0xFF000000u | red;
  EXPECT_EQ(Texts(Check(hi, two)), "");

  // VGA 256 colours of the 6-bit DAC: a count, whatever the colours.
  const TVeDestEngineClass& vga = Engine("IBM", "VGA 320x200x8");
  auto vgaOptions = vga.Create()->CreateOptions();
  TVeBitmap32 many(vgaOptions->Width(), vgaOptions->Height(), 0xFF000000u);
  for (int i = 0; i < 300; ++i)
    many.Pixel(i, 0) =
        0xFF000000u | uint32_t(i % 64 * 255 / 63) << 16 | uint32_t(i / 64 * 4) << 8 | 8;
  EXPECT_EQ(Texts(Check(vga, many)), "screen 0,0 (320x200): 301 colours, at most 256\n");

  // "Palette": the number of colours chosen.
  const TVeDestEngineClass& pal = Engine("Common", "Palette");
  auto o = pal.Create()->CreateOptions();
  o->SetMaxColorCount(16);
  TVeBitmap32 seventeen(64, 8, 0xFF000000u);
  for (int i = 1; i < 17; ++i)
    seventeen.Pixel(i, 0) = 0xFF000000u | uint32_t(i * 15);
  EXPECT_EQ(VeCheckRule(pal.GetModeRule(*o), seventeen).size(), 1u);
  seventeen.Pixel(16, 0) = 0xFF000000u;
  EXPECT_TRUE(VeCheckRule(pal.GetModeRule(*o), seventeen).empty());
}

TEST(RuleCheck, ModesWithoutARuleAreNotCheckable) {
  const TVeDestEngineClass& b0 = Engine("Amstrad CPC", "B0 192x272x8");
  EXPECT_FALSE(b0.GetModeRule(*b0.Create()->CreateOptions()).Checkable);
  const TVeDestEngineClass& giga = Engine("ZX Spectrum", "256x192x4 B/W Giga");
  EXPECT_FALSE(giga.GetModeRule(*giga.Create()->CreateOptions()).Checkable);
}

TEST(KeepPixels, DrawnPicturesComeBackUnchanged) {
  // Pictures that obey their rule, made by the converter itself; "Keep pixels" gives them
  // back pixel for pixel, where a second dithered conversion would move some. CPC mode 0 has
  // wide pixels: the picture of its size is still taken as it is.
  for (auto [platform, mode] : std::vector<std::pair<std::string, std::string>>{
           {"ZX Spectrum", "256x192x4"}, {"MSX", "2 256x192x4"}, {"Amstrad CPC", "0 160x200x4"}}) {
    const TVeDestEngineClass& e = Engine(platform, mode);
    auto options = e.Create()->CreateOptions();
    const TVeBitmap32 drawn = Convert(e, Photo(options->Width(), options->Height())).Preview;
    ASSERT_EQ(Texts(Check(e, drawn)), "") << mode;
    TConverted kept = Convert(e, drawn, true);
    EXPECT_TRUE(kept.Preview.Width() == drawn.Width() && kept.Preview.Height() == drawn.Height());
    int changed = 0;
    for (int y = 0; y < drawn.Height(); ++y)
      for (int x = 0; x < drawn.Width(); ++x)
        changed += (kept.Preview.Pixel(x, y) & 0xFFFFFF) != (drawn.Pixel(x, y) & 0xFFFFFF);
    EXPECT_EQ(changed, 0) << mode;
    // The native file reads back to the same pixels (a CPC screen keeps its inks in a
    // companion file, which the loaders' own tests cover).
    if (platform == "Amstrad CPC") continue;
    ASSERT_TRUE(kept.Result.Files && kept.Result.Files->Count() > 0) << mode;
    TVeStream* stream = kept.Result.Files->GetStream(0);
    const std::vector<uint8_t>& bytes = stream->Bytes();
    const std::string name = "drawn." + stream->Extension;
    TVeMemoryLoadSource src(name, int32_t(bytes.size()), bytes.data());
    auto list = ProbeSource(&src);
    ASSERT_TRUE(list && list->Count() > 0) << mode;
    auto read = list->Engines(0)->CreateBitmap()->ToBitmap32();
    ASSERT_TRUE(read->Width() == drawn.Width() && read->Height() == drawn.Height()) << mode;
    changed = 0;
    for (int y = 0; y < drawn.Height(); ++y)
      for (int x = 0; x < drawn.Width(); ++x)
        changed += (read->Pixel(x, y) & 0xFFFFFF) != (drawn.Pixel(x, y) & 0xFFFFFF);
    EXPECT_EQ(changed, 0) << mode;
  }
}

TEST(KeepPixels, OffByDefaultAndIgnoredForOtherSizes) {
  const TVeDestEngineClass& zx = Engine("ZX Spectrum", "256x192x4");
  auto options = zx.Create()->CreateOptions();
  EXPECT_FALSE(options->KeepPixels());
  options->SetKeepPixels(true);
  EXPECT_EQ(VeRunPositionMode(*options, 256, 192), pmStretched);
  EXPECT_EQ(VeRunPositionMode(*options, 300, 192), options->PositionMode());
  VeApplyKeepPixels(*options);
  EXPECT_EQ(options->DitherMethod(), dmNone);
}
