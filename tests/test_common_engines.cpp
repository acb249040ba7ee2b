#include <gtest/gtest.h>

#include <set>

#include "VeBitmap.h"
#include "VeCommonEngines.h"
#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VePalette.h"
#include "VePictureCodecs.h"
#include "VeStream.h"

namespace {

// A smooth colour picture with many distinct colours.
TVeBitmap32 Gradient(int w, int h) {
  TVeBitmap32 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.Pixel(x, y) = VeRGBQuad(uint8_t(x * 255 / (w - 1)), uint8_t(y * 255 / (h - 1)),
                                uint8_t((x + y) * 127 / (w + h)));
  return b;
}

template <class E> struct TRun {
  std::unique_ptr<TVeDestEngineOptions> Options = E().CreateOptions();
  std::unique_ptr<TVeStreamList> Files;
  TVeDestProgress Progress;

  std::unique_ptr<TVeBitmap> Convert(const TVeBitmap32& source, const TVePalette256* used = nullptr,
                                     const TVePalette256* file = nullptr,
                                     const TVeCancelFlag* cancel = nullptr) {
    return E::Convert(cancel, source, Files, Progress, *Options, used, file);
  }
};

std::set<uint32_t> ColoursOf(const TVeBitmap& b) {
  std::unique_ptr<TVeBitmap32> p = b.ToBitmap32();
  std::set<uint32_t> s;
  for (size_t i = 0; i < p->PixelCount(); ++i)
    s.insert(p->Data()[i] & 0xFFFFFF);
  return s;
}

std::unique_ptr<TVePalette256> ListPalette(int n) {
  auto p = std::make_unique<TVePalette256>();
  for (int i = 0; i < n; ++i)
    p->AddRGB(uint8_t(i * 37 % 256), uint8_t(i * 91 % 256), uint8_t(255 - i * 13 % 256));
  return p;
}

} // namespace

TEST(CommonEngineOptions, DefaultsAndPaletteHook) {
  EXPECT_EQ(TVeCustomBWEngine().CreateOptions()->ErrorDiffusion(), 90);
  EXPECT_EQ(TVeCustomOriginalPaletteEngine().CreateOptions()->ErrorDiffusion(), 95);
  auto o = TVeCustomPaletteEngine().CreateOptions();
  EXPECT_EQ(o->ErrorDiffusion(), 95);
  EXPECT_EQ(o->PaletteType(), ptRGB888);
  EXPECT_EQ(o->MaxColorCount(), 256);
  EXPECT_EQ(o->GetWidth(), 0); // follows the source

  o->BeginUpdate();
  o->SetPaletteType(ptRGB222);
  EXPECT_EQ(o->BasePalette().GetCount(), 0); // nothing happens inside the bracket
  o->EndUpdate();
  EXPECT_EQ(o->BasePalette().GetCount(), 64);
  o->BeginUpdate();
  o->SetGrayPalette(true);
  o->EndUpdate();
  EXPECT_EQ(o->BasePalette().GetCount(), 4);
  EXPECT_EQ(o->BasePalette().GetRGBQuad(3), 0xFFFFFFu);

  auto list = ListPalette(20);
  o->BeginUpdate();
  o->SetPaletteType(ptColored);
  o->SetPalette(list.get());
  o->EndUpdate();
  EXPECT_TRUE(o->BasePalette().Equals(list.get()));

  // The copy a run works on keeps the rebuilt base palette.
  auto copy = TVeCustomPaletteEngine().CreateOptions();
  copy->Assign(*o);
  EXPECT_TRUE(copy->BasePalette().Equals(list.get()));
}

TEST(CommonEnginePanels, GroupsInScreenOrder) {
  auto ids = [](const TVeDestEngineUI& ui) {
    std::vector<int> v;
    for (auto& c : ui.Controls())
      v.push_back(c.Id);
    return v;
  };
  auto has = [](const std::vector<int>& v, int id) {
    return std::find(v.begin(), v.end(), id) != v.end();
  };
  auto pos = [](const std::vector<int>& v, int id) {
    return std::find(v.begin(), v.end(), id) - v.begin();
  };

  auto bwOptions = TVeCustomBWEngine().CreateOptions();
  auto bw = ids(*TVeCustomBWEngine().CreateUI(*bwOptions));
  EXPECT_FALSE(has(bw, ciNativeDimension));
  EXPECT_FALSE(has(bw, ciAspect)); // 1:1 is the only ratio
  EXPECT_FALSE(has(bw, ciPaletteSeparator));
  EXPECT_FALSE(has(bw, ciLimitErrorInsideBlock));
  EXPECT_LT(pos(bw, ciWidth), pos(bw, ciPosition));
  EXPECT_LT(pos(bw, ciBorderColor), pos(bw, ciDitherMethod));
  EXPECT_TRUE(has(bw, ciSaturationFix));

  auto pOptions = TVeCustomPaletteEngine().CreateOptions();
  auto pUI = TVeCustomPaletteEngine().CreateUI(*pOptions);
  auto p = ids(*pUI);
  std::vector<int> order = {ciPaletteSeparator, ciPaletteList,      ciPaletteView,
                            ciMaxColorCount,    ciKeepWholePalette, ciGrayPalette,
                            ciFixedPalette,     ciFixedPaletteView, ciDitherSeparator};
  for (size_t i = 1; i < order.size(); ++i)
    EXPECT_LT(pos(p, order[i - 1]), pos(p, order[i])) << i;
  const TVeUIControl* view = pUI->Find(ciPaletteView);
  EXPECT_EQ(view->Columns, 16);
  EXPECT_EQ(view->Rows, 16);
  EXPECT_EQ(pUI->Find(ciFixedPaletteView)->Rows, 1);
  EXPECT_EQ(pUI->Find(ciPaletteList)->Items[0], "RGB888");
  EXPECT_EQ(pUI->Find(ciPaletteList)->Items[9], "RGB111");

  auto oOptions = TVeCustomOriginalPaletteEngine().CreateOptions();
  auto oUI = TVeCustomOriginalPaletteEngine().CreateUI(*oOptions);
  auto o = ids(*oUI);
  EXPECT_LT(pos(o, ciUseOnlyOriginalColors), pos(o, ciPaletteView));
  EXPECT_FALSE(has(o, ciPaletteList));
  EXPECT_TRUE(oUI->Find(ciPaletteView)->OriginalPaletteView);
  EXPECT_EQ(oUI->Find(ciPaletteView)->Caption, "P&alette:");
}

TEST(CommonEnginePanels, FixedPaletteListFollowsTheBasePalette) {
  // Library: one palette inside RGB222, one with a colour outside, one as big as the base.
  TVePalette256 inside, outside, whole;
  inside.AddRGB(0, 0, 0);
  inside.AddRGB(255, 255, 255);
  inside.AddRGB(85, 170, 255);
  outside.AddRGB(0, 0, 0);
  outside.AddRGB(1, 2, 3);
  TVePaletteRGB rgb222(ptRGB222);
  whole.Assign(&rgb222);
  VeSetPaletteLibrary([&] {
    return std::vector<std::pair<std::string, const TVePalette256*>>{
        {"inside", &inside}, {"outside", &outside}, {"whole", &whole}};
  });
  auto options = TVeCustomPaletteEngine().CreateOptions();
  auto ui = TVeCustomPaletteEngine().CreateUI(*options);
  ui->SelectValue(ciPaletteList, int(ptRGB222));
  EXPECT_EQ(options->PaletteType(), ptRGB222);
  const TVeUIControl* fixed = ui->Find(ciFixedPalette);
  EXPECT_EQ(fixed->Items, (std::vector<std::string>{"None", "inside"}));
  EXPECT_TRUE(fixed->Enabled);
  ui->Select(ciFixedPalette, 1);
  EXPECT_TRUE(options->FixedPalette().Equals(&inside));
  // Choosing a list palette stores ptColored and copies it.
  ui->SelectValue(ciPaletteList, 12); // "whole": the third library palette
  EXPECT_EQ(options->PaletteType(), ptColored);
  EXPECT_TRUE(options->Palette().Equals(&whole));
  EXPECT_EQ(ui->Find(ciFixedPalette)->Items, (std::vector<std::string>{"None", "inside"}));
  VeSetPaletteLibrary(nullptr);
}

TEST(CommonEngines, BlackWhiteThresholdsLuminanceAtHalf) {
  // Bytes 187 and 188 lie on either side of linear 0.5.
  TVeBitmap32 src(4, 2);
  for (int x = 0; x < 4; ++x) {
    src.Pixel(x, 0) = VeRGBQuad(188, 188, 188);
    src.Pixel(x, 1) = VeRGBQuad(187, 187, 187);
  }
  TRun<TVeCustomBWEngine> run;
  run.Options->SetDitherMethod(0);
  auto bmp = run.Convert(src);
  ASSERT_EQ(bmp->BitCount(), 1);
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(bmp->GetPixel(x, 0), 1);
    EXPECT_EQ(bmp->GetPixel(x, 1), 0);
  }
  EXPECT_EQ(ColoursOf(*bmp), (std::set<uint32_t>{0x000000, 0xFFFFFF}));
  EXPECT_EQ(run.Options->Palette().GetCount(), 0);
  EXPECT_FALSE(run.Files);
}

TEST(CommonEngines, PaletteGeneratedTypes) {
  TVeBitmap32 src = Gradient(48, 32);
  {
    // RGB888 without a colour limit: direct 24-bit dithering, empty result palette.
    TRun<TVeCustomPaletteEngine> run;
    run.Options->SetMaxColorCount(0);
    auto bmp = run.Convert(src);
    EXPECT_EQ(bmp->BitCount(), 24);
    EXPECT_EQ(run.Options->Palette().GetCount(), 0);
    EXPECT_EQ(bmp->Width(), 48);
  }
  {
    // The defaults: quantized to 256 colours chosen from the full range.
    TRun<TVeCustomPaletteEngine> run;
    auto bmp = run.Convert(src);
    EXPECT_EQ(bmp->BitCount(), 8);
    const TVePalette256& p = run.Options->Palette();
    EXPECT_GT(p.GetCount(), 16);
    EXPECT_LE(p.GetCount(), 256);
    for (uint32_t c : ColoursOf(*bmp))
      EXPECT_GE(p.FindExact(c), 0) << std::hex << c;
  }
  {
    // RGB333 reduced to 16: every colour is an RGB333 level.
    TRun<TVeCustomPaletteEngine> run;
    run.Options->SetPaletteType(ptRGB333);
    run.Options->SetMaxColorCount(16);
    auto bmp = run.Convert(src);
    EXPECT_EQ(bmp->BitCount(), 4);
    TVePaletteRGB rgb333(ptRGB333);
    EXPECT_LE(run.Options->Palette().GetCount(), 16);
    for (uint32_t c : ColoursOf(*bmp))
      EXPECT_GE(rgb333.FindExact(c), 0) << std::hex << c;
  }
  {
    // RGB111 has 8 colours: the count does not reduce it, the palette is used whole.
    TRun<TVeCustomPaletteEngine> run;
    run.Options->SetPaletteType(ptRGB111);
    auto bmp = run.Convert(src);
    EXPECT_EQ(run.Options->Palette().GetCount(), 8);
    EXPECT_EQ(bmp->Palette().GetCount(), 8);
  }
}

TEST(CommonEngines, GeneratedTypeInItsGrayForm) {
  TVeBitmap32 src = Gradient(48, 32);
  {
    // RGB222 as a gray palette: its four grays, not its 64 colours.
    TRun<TVeCustomPaletteEngine> run;
    run.Options->SetPaletteType(ptRGB222);
    run.Options->SetGrayPalette(true);
    auto bmp = run.Convert(src);
    const TVePalette256& p = run.Options->Palette();
    ASSERT_EQ(p.GetCount(), 4);
    EXPECT_EQ(bmp->Palette().GetCount(), 4);
    EXPECT_EQ(bmp->BitCount(), 4);
    for (uint32_t c : ColoursOf(*bmp)) {
      EXPECT_GE(p.FindExact(c), 0) << std::hex << c;
      EXPECT_TRUE((c >> 16 & 255) == (c & 255) && (c >> 8 & 255) == (c & 255)) << std::hex << c;
    }
  }
  {
    // RGB888's gray form has 256 grays: an indexed gray result, not 24-bit colour.
    TRun<TVeCustomPaletteEngine> run;
    run.Options->SetGrayPalette(true);
    run.Options->SetMaxColorCount(0);
    auto bmp = run.Convert(src);
    EXPECT_EQ(bmp->BitCount(), 8);
    EXPECT_EQ(run.Options->Palette().GetCount(), 256);
    for (uint32_t c : ColoursOf(*bmp))
      EXPECT_TRUE((c >> 16 & 255) == (c & 255) && (c >> 8 & 255) == (c & 255)) << std::hex << c;
  }
  {
    // Reduced to 8 of RGB888's grays: only grays of the reduced palette.
    TRun<TVeCustomPaletteEngine> run;
    run.Options->SetGrayPalette(true);
    run.Options->SetMaxColorCount(8);
    auto bmp = run.Convert(src);
    const TVePalette256& p = run.Options->Palette();
    EXPECT_LE(p.GetCount(), 8);
    for (uint32_t c : ColoursOf(*bmp)) {
      EXPECT_GE(p.FindExact(c), 0) << std::hex << c;
      EXPECT_TRUE((c >> 16 & 255) == (c & 255) && (c >> 8 & 255) == (c & 255)) << std::hex << c;
    }
  }
}

TEST(CommonEngines, PaletteListPalettes) {
  TVeBitmap32 src = Gradient(40, 24);
  auto list16 = ListPalette(16);
  for (int count : {0, 16, 256}) {
    // A 16-colour list palette with no limit or a limit of 16 or more is used whole.
    TRun<TVeCustomPaletteEngine> run;
    run.Options->SetPaletteType(ptColored);
    run.Options->SetPalette(list16.get());
    run.Options->SetMaxColorCount(count);
    auto bmp = run.Convert(src);
    EXPECT_EQ(bmp->BitCount(), 4) << count;
    EXPECT_TRUE(bmp->Palette().Equals(list16.get())) << count;
    EXPECT_TRUE(run.Options->Palette().Equals(list16.get())) << count;
  }
  auto list256 = ListPalette(256);
  for (bool keep : {false, true}) {
    TRun<TVeCustomPaletteEngine> run;
    run.Options->SetPaletteType(ptColored);
    run.Options->SetPalette(list256.get());
    run.Options->SetMaxColorCount(8);
    run.Options->SetKeepWholePalette(keep);
    auto bmp = run.Convert(src);
    const TVePalette256& p = run.Options->Palette();
    EXPECT_LE(p.GetCount(), 8);
    EXPECT_TRUE(list256->ContainsAll(&p));
    std::set<uint32_t> used = ColoursOf(*bmp);
    EXPECT_LE(used.size(), 8u);
    for (uint32_t c : used)
      EXPECT_GE(p.FindExact(c), 0);
    if (keep) {
      // The file keeps every entry of the list palette; the pixels use only the reduced set.
      EXPECT_EQ(bmp->BitCount(), 8);
      EXPECT_TRUE(bmp->Palette().Equals(list256.get()));
    } else {
      EXPECT_EQ(bmp->BitCount(), 4);
    }
  }
  {
    // A list palette larger than an indexed file can hold is not kept whole.
    auto list300 = ListPalette(300);
    TRun<TVeCustomPaletteEngine> run;
    run.Options->SetPaletteType(ptColored);
    run.Options->SetPalette(list300.get());
    run.Options->SetMaxColorCount(8);
    run.Options->SetKeepWholePalette(true);
    auto bmp = run.Convert(src);
    EXPECT_EQ(bmp->BitCount(), 4);
    EXPECT_LE(ColoursOf(*bmp).size(), 8u);
  }
  TRun<TVeCustomPaletteEngine> none;
  none.Options->SetPaletteType(ptColored);
  EXPECT_THROW(none.Convert(src), EVeError);
}

TEST(CommonEngines, OriginalPalette) {
  TVeBitmap32 src = Gradient(20, 10);
  {
    // A picture without a stored palette (a JPEG) passes through unchanged.
    TRun<TVeCustomOriginalPaletteEngine> run;
    auto bmp = run.Convert(src);
    EXPECT_EQ(bmp->BitCount(), 24);
    EXPECT_EQ(*bmp->ToBitmap32(), src);
    TVePalette256 empty;
    EXPECT_EQ(*run.Convert(src, &empty, &empty)->ToBitmap32(), src);
  }
  auto file = ListPalette(16);
  {
    TRun<TVeCustomOriginalPaletteEngine> run;
    auto bmp = run.Convert(src, nullptr, file.get());
    EXPECT_EQ(bmp->BitCount(), 4);
    EXPECT_TRUE(run.Options->Palette().Equals(file.get()));
    for (uint32_t c : ColoursOf(*bmp))
      EXPECT_GE(file->FindExact(c), 0);
  }
  {
    // Only the colours the picture used: two of the sixteen.
    TVePalette256 used;
    used.AddRGB(file->GetStdRGB(2).R, file->GetStdRGB(2).G, file->GetStdRGB(2).B);
    used.AddRGB(file->GetStdRGB(9).R, file->GetStdRGB(9).G, file->GetStdRGB(9).B);
    TRun<TVeCustomOriginalPaletteEngine> run;
    run.Options->SetUseOnlyOriginalColors(true);
    auto bmp = run.Convert(src, &used, file.get());
    std::set<uint32_t> colours = ColoursOf(*bmp);
    EXPECT_LE(colours.size(), 2u);
    for (uint32_t c : colours)
      EXPECT_GE(used.FindExact(c), 0);
    EXPECT_TRUE(run.Options->Palette().Equals(file.get()));
  }
}

TEST(CommonEngines, CancelStopsTheRun) {
  TVeBitmap32 src = Gradient(64, 64);
  TVeCancelFlag cancel{1};
  TRun<TVeCustomPaletteEngine> run;
  EXPECT_THROW(run.Convert(src, nullptr, nullptr, &cancel), EAbort);
  TRun<TVeCustomBWEngine> bw;
  EXPECT_THROW(bw.Convert(src, nullptr, nullptr, &cancel), EAbort);
}

TEST(CommonEngines, RegisteredFirstInCatalogueOrder) {
  TVeDestEngineList& list = DestEngineList();
  VeRegisterCommonEngines(list);
  int modes = list.ModeCount();
  VeRegisterCommonEngines(list);
  EXPECT_EQ(list.ModeCount(), modes);
  ASSERT_EQ(list.Strings(0), "Common");
  const TVeDestSubTypes& common = list.GetSubTypes(0);
  ASSERT_EQ(common.Count(), 3);
  EXPECT_EQ(common.Strings(0), "B/W");
  EXPECT_EQ(common.Strings(1), "Palette");
  EXPECT_EQ(common.Strings(2), "Original palette");
  auto options = common.GetEngineClass(1)->Create()->CreateOptions();
  EXPECT_NE(dynamic_cast<TVeCustomPaletteEngineOptions*>(options.get()), nullptr);
  EXPECT_EQ(common.GetEngineClass(2)->GetPlatformName(), "Common");
  EXPECT_EQ(common.GetEngineClass(2)->GetDisplayScale(), 1);
}
