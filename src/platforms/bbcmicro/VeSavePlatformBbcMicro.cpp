#include "VeSavePlatformBbcMicro.h"

#include <algorithm>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeImage.h"
#include "VePaletteSteps.h"
#include "VeQuantization.h"
#include "VeStream.h"

namespace {

constexpr uint32_t Bit(int v) {
  return 1u << v;
}
constexpr uint32_t PaletteModes = Bit(bbcModeBlackWhite) | Bit(bbcModeColor) | Bit(bbcModeCustom);

// The mode's default logical colours that are still ones.
void DefaultPalette(const TVeBbcModeInfo& m, TVePalette256& palette) {
  TVePalette256 physical;
  BbcMakePhysicalPalette(physical);
  palette.BeginUpdate();
  palette.Clear();
  const std::vector<int> logical = BbcDefaultLogical(m);
  for (int l = 0; l < m.Shown(); ++l)
    palette.AddColor(physical.Color(logical[size_t(l)]));
  palette.EndUpdate();
}

// Physical numbers of the logical colours: the chosen colours in physical order, so a
// picture in the mode's default colours needs no palette change.
std::vector<int> ChooseColors(const TVeBbcModeInfo& m, const TVeCancelFlag* cancel,
                              const TVeBitmap32& source, TVeDestEngineOptions& options) {
  if (options.PaletteMode() == bbcModeBlackWhite) return {0, 7};
  TVePalette256 physical;
  BbcMakePhysicalPalette(physical);
  const int k = VeColorLimit(options, m.Shown());
  std::vector<int> chosen;
  if (options.PaletteMode() != bbcModeCustom && k >= BbcPhysicalColors) {
    for (int c = 0; c < BbcPhysicalColors; ++c)
      chosen.push_back(c);
    return chosen;
  }
  TVeImage image(source);
  image.ApplyFixes(options.SaturationFix(), options.LightnessFix());
  TVeQuantizationArgs args;
  args.Abort = cancel;
  args.K = k;
  args.Method = options.ColorDistance();
  args.PerceptualChoice = true;
  TVePalette256 found;
  if (options.PaletteMode() == bbcModeCustom) {
    std::vector<bool> used(BbcPhysicalColors);
    int allowed = 0;
    for (int c = 0; c < BbcPhysicalColors; ++c)
      if ((used[size_t(c)] = options.AllowedColors1()[size_t(c)] != 0)) ++allowed;
    // The marked colours themselves when the mode shows them all; an empty grid allows
    // every colour rather than none.
    if (allowed == 0) std::fill(used.begin(), used.end(), true);
    if (allowed > 0 && allowed <= k) {
      for (int c = 0; c < BbcPhysicalColors; ++c)
        if (used[size_t(c)]) chosen.push_back(c);
      return chosen;
    }
    QuantizeUsed(args, found, &physical, used, nullptr, TVeQuantizationPixels::Of(image));
  } else {
    QuantizeImage(args, found, &physical, nullptr, TVeQuantizationPixels::Of(image));
  }
  for (int i = 0; i < found.Count(); ++i) {
    const int c = physical.FindExact(found.GetRGBQuad(i));
    if (c >= 0 && std::find(chosen.begin(), chosen.end(), c) == chosen.end()) chosen.push_back(c);
  }
  if (chosen.empty()) chosen.push_back(0);
  std::sort(chosen.begin(), chosen.end());
  return chosen;
}

} // namespace

std::string BbcMicroExtension(const TVeBbcModeInfo& mode) {
  return "bb" + std::to_string(mode.Mode);
}

// ---- Options and panel ----------------------------------------------------------------------

TVeBbcMicroEngineOptions::TVeBbcMicroEngineOptions(const TVeBbcModeInfo& mode) : FMode(&mode) {
  FAspectIndex = mode.Aspect;
  FPaletteType = ptRGB111;
  FPaletteMode = bbcModeColor;
  FMaxColorCount = mode.Shown();
  // All of the error: at 90 % the results of every mode were 2 to 5 L* darker than their
  // photographs and their viewed error 10 to 20 % higher.
  FErrorDiffusion = 100;
}

void TVeBbcMicroEngineOptions::SetPaletteMode(uint8_t value) {
  TVeDestFixedSizeEngineOptions::SetPaletteMode(value);
  PaletteChanged();
}

void TVeBbcMicroEngineOptions::PaletteChanged() {
  TVePalette256 shown, physical;
  if (FPaletteMode == bbcModeBlackWhite) {
    shown.AddRGB(0, 0, 0);
    shown.AddRGB(255, 255, 255);
  } else {
    DefaultPalette(*FMode, shown);
  }
  BbcMakePhysicalPalette(physical);
  SetPalette(&shown);
  SetBasePalette(&physical);
}

TVeModeRule BbcMicroModeRule(const TVeBbcModeInfo& mode) {
  TVeModeRule rule;
  rule.Checkable = true;
  rule.ColorsPerScreen = mode.Shown();
  TVePalette256 physical;
  BbcMakePhysicalPalette(physical);
  VeAddRuleColors(rule, physical);
  return rule;
}

TVeBbcMicroEngineUI::TVeBbcMicroEngineUI(TVeDestEngineOptions& options)
    : TVeDestEngineUIEx(options) {
  auto* own = dynamic_cast<TVeBbcMicroEngineOptions*>(&options);
  if (!own) VeInternalError();
  const TVeBbcModeInfo& m = own->Mode();
  AddPositionBorder();
  AddPaletteSeparator();
  AddPaletteMode(PaletteModes, true);
  AddPaletteView(m.Shown(), 1);
  AddMaxColorCount(m.Shown());
  TVeUIControl* count = FindMutable(ciMaxColorCount);
  count->TieId = ciPaletteMode;
  count->TieMask = Bit(bbcModeColor) | Bit(bbcModeCustom);
  UpdateTies();
  AddDithering(false);
}

// ---- Conversion -----------------------------------------------------------------------------

std::unique_ptr<TVeBitmap> BbcMicroConvert(const TVeBbcModeInfo& m, const TVeCancelFlag* cancel,
                                           const TVeBitmap32& source,
                                           std::unique_ptr<TVeStreamList>& files,
                                           TVeDestProgress& progress,
                                           TVeDestEngineOptions& options) {
  if (source.Width() != m.Width || source.Height() != BbcScreenHeight) VeInternalError();
  progress.SetProgress(1, 0);
  const std::vector<int> chosen = ChooseColors(m, cancel, source, options);
  TVePalette256 palette;
  for (int c : chosen)
    palette.AddRGB(uint8_t(BbcPhysicalRGB(c) >> 16), uint8_t(BbcPhysicalRGB(c) >> 8),
                   uint8_t(BbcPhysicalRGB(c)));
  options.SetPalette(&palette);

  files = std::make_unique<TVeStreamList>();
  TVeStream* dump = files->AddNew(BbcMicroExtension(m), m.ScreenBytes());
  TVeBbcScreen screen(m, dump->Data());
  TVeImage image(source);
  const TVeDitherOptions d = VeDitherOptionsOf(options);
  std::unique_ptr<TVeBitmap> result =
      options.PaletteMode() == bbcModeBlackWhite
          ? image.DitherTwoColors(cancel, d, 1, 0, &palette, &screen)
          : image.DitherPalette(cancel, d, nullptr, palette, &screen);
  // Logical colours beyond the chosen ones keep the mode's defaults.
  std::vector<int> logical = BbcDefaultLogical(m);
  for (size_t l = 0; l < chosen.size(); ++l)
    logical[l] = chosen[l];
  logical.resize(size_t(m.Shown()));
  TVeStream* vdu = dump->AddNewSub("vdu", 0);
  vdu->Bytes() = BbcVduPalette(logical);
  progress.Step();
  return result;
}

void RegisterBbcMicroEngines(TVeDestEngineList& list) {
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeBbcMicroMode0Engine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeBbcMicroMode1Engine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeBbcMicroMode2Engine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeBbcMicroMode4Engine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeBbcMicroMode5Engine>>());
}
