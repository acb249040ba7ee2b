#include <gtest/gtest.h>

#include <cstring>

#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VePalette.h"
#include "VePaletteList.h"

namespace {

// A variable-size mode with a native size and the "1:2" pixels of a wide mode.
class TWideOptions : public TVeDestEngineOptions {
public:
  TWideOptions() { FAspectIndex = 1; }
  TVeSize GetDefaultSize() const override { return {640, 200}; }
  int PaletteHookRuns = 0;
  void PaletteChanged() override { ++PaletteHookRuns; }
};

class TFixedOptions : public TVeDestFixedSizeEngineOptions {
public:
  TVeSize GetDefaultSize() const override { return {256, 192}; }
};

// A panel with every common group, as an engine panel would build it.
class TFullPanel : public TVeDestEngineUIEx {
public:
  TFullPanel(TVeDestEngineOptions& o, std::vector<int> aspects = {}) : TVeDestEngineUIEx(o) {
    AddDimension();
    AddPositionBorder(aspects);
    AddPaletteSeparator();
    AddPaletteMode(2051, true);
    AddColorUsage({0, 1, 2, 3}, 1u << pmColor);
    AddMaxColorCount();
    AddFixedPalette();
    AddPaletteNumberLabel();
    AddHam(true, false, true);
    AddDithering(true);
    AddFileFormat("AMSDos header");
    AddComment();
  }
};

class THost : public IVeOptionsHost {
public:
  int Changes = 0;
  int Border = -1;
  void OptionsChanged() override { ++Changes; }
  void SetBorderColor(int rgb) override { Border = rgb; }
};

} // namespace

TEST(VeDestEngineOptions, DefaultsAndConstruction) {
  auto o = VeNewOptions<TVeDestEngineOptions>();
  EXPECT_EQ(o->Width(), 0);
  EXPECT_EQ(o->AspectIndex(), VeAspectSquare);
  EXPECT_EQ(o->NativeAspect(), VeAspectSquare);
  EXPECT_EQ(o->MaxFlickering(), 100);
  EXPECT_EQ(o->MaxColorCount(), 256);
  EXPECT_EQ(o->HamInitialLines(), 16);
  EXPECT_EQ(o->HamPrevLines(), 4);
  EXPECT_EQ(o->HamMaxChanges(), 1);
  EXPECT_EQ(o->DitherMethod(), dmFloydSteinberg);
  EXPECT_EQ(o->ErrorDiffusion(), 90);
  EXPECT_TRUE(o->LimitErrorInsideBlock() && o->LimitErrorAtBoundary() && o->Serpentine());
  EXPECT_TRUE(o->FileFormatFlag());
  EXPECT_EQ(o->Palette().GetCount(), 0);
  EXPECT_EQ(o->GetCellWidth(), 1);
  EXPECT_EQ(o->GetMinSize(), (TVeSize{8, 8}));
  EXPECT_EQ(o->GetMaxSize(), (TVeSize{2048, 2048}));

  // The subclass's size and aspect arrive before the hook runs once.
  auto w = VeNewOptions<TWideOptions>();
  EXPECT_EQ(w->Width(), 640);
  EXPECT_EQ(w->Height(), 200);
  EXPECT_EQ(w->NativeAspect(), 1);
  EXPECT_EQ(w->PaletteHookRuns, 1);
  EXPECT_EQ(w->GetAspectPair(), (TVeAspectPair{2, 1}));
}

TEST(VeDestEngineOptions, SettersClampAndMarkOnlyRealChanges) {
  auto o = VeNewOptions<TVeDestEngineOptions>();
  o->BeginUpdate();
  o->SetMaxColorCount(256);
  o->SetDitherMethod(1);
  o->SetComment("");
  o->SetPalette(nullptr); // an empty palette equals none
  o->EndUpdate();
  EXPECT_FALSE(o->Modified());

  // A palette that differs only in the entries it hides is a new palette.
  TVePalette256 p;
  p.AddRGB(1, 2, 3);
  p.AddRGB(4, 5, 6);
  o->SetPalette(&p);
  p.GetPColor(1)->Excluded = true;
  o->BeginUpdate();
  o->SetPalette(&p);
  o->EndUpdate();
  EXPECT_TRUE(o->Modified());
  EXPECT_TRUE(o->Palette().Color(1).Excluded);
  o->BeginUpdate();
  o->SetPalette(&p);
  o->EndUpdate();
  EXPECT_FALSE(o->Modified());
  o->SetPalette(nullptr);

  o->SetMaxColorCount(300);
  EXPECT_EQ(o->MaxColorCount(), 256);
  o->SetMaxColorCount(-5);
  EXPECT_EQ(o->MaxColorCount(), 0);
  EXPECT_TRUE(o->Modified());

  o->SetMaxFlickering(101);
  o->SetErrorDiffusion(-1);
  o->SetLightnessFix(-200);
  o->SetSaturationFix(91);
  o->SetEnginePercent(500);
  o->SetHamInitialLines(0);
  o->SetHamPrevLines(-3);
  o->SetHamNextLines(-1);
  o->SetHamMaxChanges(-7);
  EXPECT_EQ(o->MaxFlickering(), 100);
  EXPECT_EQ(o->ErrorDiffusion(), 0);
  EXPECT_EQ(o->LightnessFix(), -90);
  EXPECT_EQ(o->SaturationFix(), 90);
  EXPECT_EQ(o->EnginePercent(), 100);
  EXPECT_EQ(o->HamInitialLines(), 1);
  EXPECT_EQ(o->HamPrevLines(), 0);
  EXPECT_EQ(o->HamNextLines(), 0);
  EXPECT_EQ(o->HamMaxChanges(), 1);

  // Table indices stay inside their tables; the border colour stays 24-bit.
  o->SetAspectIndex(200);
  o->SetPositionMode(9);
  o->SetDitherMethod(-4);
  o->SetBorderColor(int(0xFF123456));
  EXPECT_EQ(o->AspectIndex(), VeAspectCount - 1);
  EXPECT_EQ(o->PositionMode(), 3);
  EXPECT_EQ(o->DitherMethod(), 0);
  EXPECT_EQ(o->BorderColor(), 0x123456);
  uint8_t r, g, b;
  o->GetBorderRGB(r, g, b);
  EXPECT_EQ(r, 0x12);
  EXPECT_EQ(g, 0x34);
  EXPECT_EQ(b, 0x56);

  // A size beyond the maximum cannot reach the preparation.
  o->SetWidth(5000);
  o->SetHeight(-3);
  EXPECT_EQ(o->Width(), 2048);
  EXPECT_EQ(o->Height(), 0);
}

TEST(VeDestEngineOptions, UpdateBracketRunsChangedOnceAtTheEnd) {
  auto o = VeNewOptions<TWideOptions>();
  o->BeginUpdate();
  o->BeginUpdate();
  o->SetSerpentine(false);
  o->EndUpdate();
  EXPECT_EQ(o->PaletteHookRuns, 1);
  o->EndUpdate();
  EXPECT_EQ(o->PaletteHookRuns, 2);
  EXPECT_TRUE(o->Modified());
  o->EndUpdate(); // unbalanced: ignored
  EXPECT_EQ(o->UpdateLock(), 0);
  EXPECT_EQ(o->PaletteHookRuns, 2);
  o->BeginUpdate();
  EXPECT_FALSE(o->Modified());
}

TEST(VeDestEngineOptions, AssignCopiesEverythingButLockAndModified) {
  auto a = VeNewOptions<TVeDestEngineOptions>();
  a->SetWidth(320);
  a->SetHeight(100);
  a->SetAspectIndex(17);
  a->SetPositionMode(2);
  a->SetPaletteType(ptFixed);
  a->Palette().AddRGB(1, 2, 3);
  a->FixedPalette().AddRGB(4, 5, 6);
  a->SetEngineFlagC(true);
  a->SetEngineWord2(777);
  TVeAllowedColors allowed{};
  allowed[4095] = 1;
  a->SetAllowedColors2(allowed);
  a->SetComment("hello");
  a->SetDitherMethod(dmAtkinson);
  a->BeginUpdate();

  auto b = VeNewOptions<TVeDestEngineOptions>();
  b->Assign(*a);
  EXPECT_EQ(b->UpdateLock(), 0);
  EXPECT_EQ(b->Width(), 320);
  EXPECT_EQ(b->Height(), 100);
  EXPECT_EQ(b->AspectIndex(), 17);
  EXPECT_EQ(b->PositionMode(), 2);
  EXPECT_EQ(b->PaletteType(), ptFixed);
  EXPECT_TRUE(b->Palette().Equals(&a->Palette()));
  EXPECT_TRUE(b->FixedPalette().Equals(&a->FixedPalette()));
  EXPECT_TRUE(b->EngineFlagC());
  EXPECT_EQ(b->EngineWord2(), 777);
  EXPECT_EQ(b->AllowedColors2()[4095], 1);
  EXPECT_EQ(b->Comment(), "hello");
  EXPECT_EQ(b->DitherMethod(), dmAtkinson);
  // The copy owns its palettes.
  a->Palette().AddRGB(7, 8, 9);
  EXPECT_EQ(b->Palette().GetCount(), 1);

  // Fixed-size options keep their own size.
  auto f = VeNewOptions<TFixedOptions>();
  f->Assign(*a);
  EXPECT_EQ(f->Width(), 256);
  EXPECT_EQ(f->Height(), 192);
  f->SetWidth(10);
  EXPECT_EQ(f->Width(), 256);
}

TEST(VeDestEngineOptions, Tables) {
  EXPECT_STREQ(VeAspectRatios[0].Label, "1:2.4");
  EXPECT_EQ(VeAspectRatios[18].X, 250);
  EXPECT_EQ(VeAspectRatios[18].Y, 569);
  EXPECT_EQ(VeAspectRatios[21].Y, 2276);
  EXPECT_STREQ(VePositionModes[1], "Fit result in source");
  EXPECT_STREQ(VePaletteModes[10], "\u0421olor (bright)");
  EXPECT_STREQ(VePaletteModes[11], "\u0421olor");
  EXPECT_NE(std::strcmp(VePaletteModes[11], "Color"), 0);
  EXPECT_STREQ(VePaletteModes[16], "Custom");
  EXPECT_STREQ(VeDitherMethods[1], "Floyd\u2013Steinberg");
  EXPECT_STREQ(VeDitherMethods[8], "Atkinson");
}

TEST(VeDestEngineOptions, DimensionFromSource) {
  auto o = VeNewOptions<TWideOptions>(); // "1:2"
  EXPECT_EQ(VeDimensionFromSource(*o, 640, 400), (TVeSize{640, 200}));
  auto s = VeNewOptions<TVeDestEngineOptions>();
  EXPECT_EQ(VeDimensionFromSource(*s, 5000, 1000), (TVeSize{2048, 410}));
  EXPECT_EQ(VeDimensionFromSource(*s, 1000, 5000), (TVeSize{410, 2048}));
  EXPECT_EQ(VeDimensionFromSource(*s, 4, 4), (TVeSize{8, 8}));
  EXPECT_EQ(VeDimensionFromSource(*s, 100000, 1), (TVeSize{2048, 8}));
  EXPECT_EQ(VeDimensionFromSource(*s, 0, 0), (TVeSize{8, 8}));
  // Ties round to even: 3 * 1 / 2 = 1.5 -> 2, 5 * 1 / 2 = 2.5 -> 2.
  EXPECT_EQ(VeMulDivRound(3, 1, 2), 2);
  EXPECT_EQ(VeMulDivRound(5, 1, 2), 2);
  EXPECT_EQ(VeMulDivRound(7, 1, 2), 4);
}

TEST(VeDestEngineUI, AspectOffers) {
  using V = std::vector<int>;
  EXPECT_EQ(TVeDestEngineUIEx::OfferedAspects(18, {}), (V{10, 17, 18}));
  EXPECT_EQ(TVeDestEngineUIEx::OfferedAspects(2, {}), (V{1, 2, 10}));
  EXPECT_EQ(TVeDestEngineUIEx::OfferedAspects(21, {}), (V{10, 20, 21}));
  EXPECT_EQ(TVeDestEngineUIEx::OfferedAspects(10, {}), (V{10}));
  EXPECT_EQ(TVeDestEngineUIEx::OfferedAspects(10, {17, 1}), (V{1, 10, 17}));

  auto o = VeNewOptions<TVeDestEngineOptions>();
  o->SetAspectIndex(18);
  TFullPanel panel(*o);
  const TVeUIControl* list = panel.Find(ciAspect);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->Items, (std::vector<std::string>{"1:1", "2:1", "2.276:1"}));
  EXPECT_EQ(list->SelectedValue(), 18);

  auto square = VeNewOptions<TVeDestEngineOptions>();
  TFullPanel plain(*square);
  EXPECT_FALSE(plain.Has(ciAspect)); // only 1:1 would be offered
}

TEST(VeDestEngineUI, GroupsInScreenOrder) {
  auto o = VeNewOptions<TVeDestEngineOptions>();
  TFullPanel panel(*o);
  int lastGroup = 0;
  for (const TVeUIControl& c : panel.Controls()) {
    EXPECT_GE(int(c.Group), lastGroup);
    lastGroup = int(c.Group);
  }
  EXPECT_EQ(panel.Find(ciPaletteMode)->Items,
            (std::vector<std::string>{"Black/white", "Gray", "\u0421olor"}));
  EXPECT_EQ(panel.Find(ciHamPrevLines)->Caption, "Extra lines:");
  EXPECT_EQ(panel.Find(ciHamMaxChanges)->Value, 1);
  EXPECT_EQ(panel.Find(ciDitherMethod)->Items.size(), 11u);
  EXPECT_EQ(panel.Find(ciFileFormatFlag)->Caption, "AMSDos header");
  EXPECT_EQ(panel.Find(ciLightnessFix)->Min, -90);
  EXPECT_EQ(panel.Find(ciErrorDiffusion)->Max, 100);
}

TEST(VeDestEngineUI, ControlsChangedWritesAndReportsOnlyRealChanges) {
  auto o = VeNewOptions<TVeDestEngineOptions>();
  o->SetWidth(320);
  o->SetHeight(200);
  TFullPanel panel(*o);
  THost host;
  panel.SetDest(&host);

  panel.SetValue(ciMaxColorCount, 256); // unchanged
  EXPECT_EQ(host.Changes, 0);
  panel.SetValue(ciMaxColorCount, 300); // the edit's range keeps it at 256
  EXPECT_EQ(host.Changes, 0);
  panel.SetValue(ciMaxColorCount, 16);
  EXPECT_EQ(o->MaxColorCount(), 16);
  EXPECT_EQ(host.Changes, 1);

  // Color usage follows the "Сolor" entry of the mode list.
  EXPECT_FALSE(panel.Find(ciColorUsage)->Enabled);
  panel.SelectValue(ciPaletteMode, pmColor);
  EXPECT_EQ(o->PaletteMode(), pmColor);
  EXPECT_TRUE(panel.Find(ciColorUsage)->Enabled);
  EXPECT_EQ(host.Changes, 2);

  panel.SelectValue(ciDitherMethod, dmStucki);
  panel.SetChecked(ciSerpentine, false);
  panel.SetText(ciComment, "note");
  panel.SetValue(ciLightnessFix, -120);
  EXPECT_EQ(o->DitherMethod(), dmStucki);
  EXPECT_FALSE(o->Serpentine());
  EXPECT_EQ(o->Comment(), "note");
  EXPECT_EQ(o->LightnessFix(), -90);

  // The max-change slider writes its value back on the first change.
  EXPECT_EQ(o->HamMaxChanges(), 1);

  panel.BorderColorSelected(0x00FF00);
  EXPECT_EQ(host.Border, 0x00FF00);
  EXPECT_EQ(o->BorderColor(), 0x00FF00);
}

TEST(VeDestEngineUI, SourceSizeToDimension) {
  auto o = VeNewOptions<TWideOptions>();
  TFullPanel panel(*o);
  THost host;
  panel.SetDest(&host);
  panel.SourceSizeToDimension(640, 400);
  EXPECT_EQ(o->Width(), 640);
  EXPECT_EQ(o->Height(), 200);
  EXPECT_EQ(host.Changes, 0); // the native size was 640 x 200 already
  panel.SourceSizeToDimension(4, 4);
  EXPECT_EQ(o->Width(), 8);
  EXPECT_EQ(o->Height(), 8);
  EXPECT_EQ(host.Changes, 1);

  panel.SetChecked(ciDimensionLock, true);
  panel.SourceSizeToDimension(5000, 1000);
  EXPECT_EQ(o->Width(), 8);
  panel.SetChecked(ciDimensionLock, false);
  panel.SourceSizeToDimension(5000, 1000);
  EXPECT_EQ(o->Width(), 2048);
  EXPECT_EQ(o->Height(), 205); // 1:2 halves the height first
}

TEST(VeDestEngineUI, NativeAndImageDimensionButton) {
  auto o = VeNewOptions<TWideOptions>();
  TFullPanel panel(*o);
  panel.SelectValue(ciAspect, VeAspectSquare);
  panel.SetValue(ciWidth, 100);
  panel.SetValue(ciHeight, 50);
  panel.Press(ciNativeDimension);
  EXPECT_EQ(o->Width(), 640);
  EXPECT_EQ(o->Height(), 200);
  EXPECT_EQ(o->AspectIndex(), 1);
  EXPECT_EQ(panel.Find(ciNativeDimension)->Caption, "&Native dimension"); // no source

  panel.SetSourcePictureSize(300, 150);
  panel.Press(ciNativeDimension);
  EXPECT_EQ(panel.Find(ciNativeDimension)->Caption, "&Image dimension");
  panel.Press(ciNativeDimension);
  EXPECT_EQ(o->Width(), 300);
  EXPECT_EQ(o->Height(), 150);
  EXPECT_EQ(o->AspectIndex(), VeAspectSquare);
  EXPECT_EQ(panel.Find(ciNativeDimension)->Caption, "&Native dimension");
}

namespace {
class TTypePanel : public TVeDestEngineUIEx {
public:
  explicit TTypePanel(TVeDestEngineOptions& o) : TVeDestEngineUIEx(o) {
    AddPaletteSeparator();
    AddPaletteTypeList({{"Pulsar (205)", ptPulsar}, {"Linear", ptColoredLinear}});
    AddPaletteView(16, 16);
    AddPaletteNumberLabel();
    AddDithering(false);
  }
};
} // namespace

TEST(VeDestEngineUI, PaletteChoiceRefreshesViewAndLabel) {
  auto o = VeNewOptions<TVeDestEngineOptions>();
  o->SetPaletteType(ptPulsar);
  o->SetPaletteNumber(3);
  TTypePanel panel(*o);
  panel.RefreshPaletteControls();
  EXPECT_EQ(panel.Find(ciPaletteNumberLabel)->Text, "3, 0");
  o->Palette().AddRGB(9, 9, 9);              // as an engine's hook would
  panel.SelectValue(ciDitherMethod, dmNone); // not a palette choice: view and label stay
  EXPECT_EQ(panel.Find(ciPaletteView)->Palette->GetCount(), 0);
  EXPECT_EQ(panel.Find(ciPaletteNumberLabel)->Text, "3, 0");
  panel.SelectValue(ciPaletteTypeList, ptColoredLinear);
  EXPECT_EQ(o->PaletteType(), ptColoredLinear);
  EXPECT_EQ(panel.Find(ciPaletteView)->Palette->GetCount(), 1);
  EXPECT_EQ(panel.Find(ciPaletteNumberLabel)->Text, "");
  panel.ShowResultPalette(&o->Palette(), 5, -1);
  EXPECT_EQ(panel.Find(ciPaletteNumberLabel)->Text, "5");
}

namespace {
class TListPanel : public TVeDestEngineUIEx {
public:
  explicit TListPanel(TVeDestEngineOptions& o) : TVeDestEngineUIEx(o) {
    AddPaletteSeparator();
    AddPaletteList();
    AddPaletteView(16, 16);
  }
};
} // namespace

TEST(VeDestEngineUI, PaletteListOfGeneratedTypesAndLibrary) {
  TVePalette256 mine;
  mine.AddRGB(1, 2, 3);
  mine.AddRGB(4, 5, 6);
  VeSetPaletteLibrary([&] {
    return std::vector<std::pair<std::string, const TVePalette256*>>{{"mine", &mine}};
  });
  auto o = VeNewOptions<TVeDestEngineOptions>();
  TListPanel panel(*o);
  const TVeUIControl* list = panel.Find(ciPaletteList);
  ASSERT_EQ(list->Items.size(), 11u);
  EXPECT_EQ(list->Items[0], "RGB888");
  EXPECT_EQ(list->Items[9], "RGB111");
  EXPECT_EQ(list->Items[10], "mine");
  EXPECT_EQ(list->ItemIndex, 0);

  panel.Select(ciPaletteList, 10);
  EXPECT_EQ(o->PaletteType(), ptColored);
  EXPECT_TRUE(o->Palette().Equals(&mine));
  EXPECT_EQ(panel.Find(ciPaletteView)->Palette->GetCount(), 2);
  panel.Select(ciPaletteList, 5);
  EXPECT_EQ(o->PaletteType(), ptRGB444);
  EXPECT_EQ(o->Palette().GetCount(), 0);
  panel.Select(ciPaletteList, -1); // no selection stands for a list palette
  EXPECT_EQ(o->PaletteType(), ptColored);

  // A panel made for options holding a list palette selects it.
  o->SetPalette(&mine);
  TListPanel again(*o);
  EXPECT_EQ(again.Find(ciPaletteList)->ItemIndex, 10);
  VeSetPaletteLibrary(nullptr);
}

TEST(VeDestEngineUI, FixedPaletteListFollowsBasePalette) {
  TVePalette256 two, four, foreign, big;
  two.AddRGB(0, 0, 0);
  two.AddRGB(255, 255, 255);
  for (int i = 0; i < 4; ++i)
    four.AddRGB(uint8_t(i * 85), uint8_t(i * 85), uint8_t(i * 85));
  // The base palette below steps by 15: it holds 0 and 255 but not 85.
  foreign.AddRGB(1, 2, 3);
  for (int i = 0; i < 17; ++i)
    big.AddRGB(uint8_t(i * 15), uint8_t(i * 15), uint8_t(i * 15));
  VeSetPaletteLibrary([&] {
    return std::vector<std::pair<std::string, const TVePalette256*>>{
        {"two", &two}, {"four", &four}, {"foreign", &foreign}, {"big", &big}};
  });
  auto o = VeNewOptions<TVeDestEngineOptions>();
  TFullPanel panel(*o);
  EXPECT_FALSE(panel.Find(ciFixedPalette)->Enabled); // empty base palette
  EXPECT_EQ(panel.Find(ciFixedPalette)->Items.size(), 1u);

  TVePalette256 base;
  for (int i = 0; i < 18; ++i)
    base.AddRGB(uint8_t(i * 15), uint8_t(i * 15), uint8_t(i * 15));
  o->SetBasePalette(&base);
  panel.SetValue(ciMaxColorCount, 8);
  const TVeUIControl* list = panel.Find(ciFixedPalette);
  EXPECT_TRUE(list->Enabled);
  // "four" and "foreign" are not contained in the base palette, "big" is too large.
  EXPECT_EQ(list->Items, (std::vector<std::string>{"None", "two"}));
  panel.Select(ciFixedPalette, 1);
  EXPECT_TRUE(o->FixedPalette().Equals(&two));
  panel.Select(ciFixedPalette, 0);
  EXPECT_EQ(o->FixedPalette().GetCount(), 0);

  // The library changes under a shown panel: a chosen fixed palette stays while it is there,
  // and is dropped (telling the host) once it is gone.
  struct THost : IVeOptionsHost {
    int Changes = 0;
    void OptionsChanged() override { ++Changes; }
    void SetBorderColor(int) override {}
  } host;
  panel.SetDest(&host);
  panel.Select(ciFixedPalette, 1);
  const int changes = host.Changes;
  std::vector<std::pair<std::string, const TVePalette256*>> library{{"big", &big}, {"two", &two}};
  VeSetPaletteLibrary([&] { return library; });
  panel.PaletteLibraryChanged();
  EXPECT_EQ(list->Items, (std::vector<std::string>{"None", "two"}));
  EXPECT_EQ(list->ItemIndex, 1);
  EXPECT_TRUE(o->FixedPalette().Equals(&two));
  EXPECT_EQ(host.Changes, changes);
  library.pop_back();
  panel.PaletteLibraryChanged();
  EXPECT_EQ(list->Items, (std::vector<std::string>{"None"}));
  EXPECT_EQ(o->FixedPalette().GetCount(), 0);
  EXPECT_EQ(host.Changes, changes + 1);
  panel.SetDest(nullptr);
  VeSetPaletteLibrary(nullptr);

  // By default the shared palette list is the library.
  auto added = std::make_unique<TVePalette256>(two);
  added->Name = "shared two";
  added->FileName = "/nowhere/shared two";
  TVePaletteList::Shared().Add(std::move(added));
  auto entries = VePaletteLibraryEntries();
  bool found = false;
  for (auto& e : entries)
    found = found || e.first == "shared two";
  EXPECT_TRUE(found);
  for (int i = 0; i < TVePaletteList::Shared().Count(); ++i)
    if (TVePaletteList::Shared().Items(i)->Name == "shared two")
      TVePaletteList::Shared().Items(i)->Temporary = true;
  TVePaletteList::Shared().RemoveTemporary();
}
