#include "VeCommonEngines.h"

#include "VeBitmap.h"
#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeImage.h"
#include "VePalette.h"
#include "VeQuantization.h"
#include "VeStream.h"

// ---- Options

TVeCustomPaletteEngineOptions::TVeCustomPaletteEngineOptions() {
  FErrorDiffusion = 95;
}

void TVeCustomPaletteEngineOptions::PaletteChanged() {
  if (UpdateLock() > 0) return;
  if (PaletteType() == ptColored) {
    SetBasePalette(&Palette());
    return;
  }
  if (PaletteType() > ptRGB111) {
    SetBasePalette(nullptr);
    return;
  }
  // An options palette holds at most 729 colours; the larger generated palettes (RGB444
  // and up in colour) cannot be listed, so no fixed palette is offered for them.
  TVePaletteRGB generated(PaletteType(), GrayPalette());
  const TVePalette* colours =
      GrayPalette() ? static_cast<const TVePalette*>(generated.GrayPalette()) : &generated;
  if (colours->GetCount() > TVePalette256::MaxColors) {
    SetBasePalette(nullptr);
    return;
  }
  TVePalette256 base;
  base.Assign(colours);
  SetBasePalette(&base);
}

TVeCustomOriginalPaletteEngineOptions::TVeCustomOriginalPaletteEngineOptions() {
  FErrorDiffusion = 95;
}

// ---- Panels

TVeCustomBWEngineUI::TVeCustomBWEngineUI(TVeDestEngineOptions& options)
    : TVeDestEngineUIEx(options) {
  AddDimension(false);
  AddPositionBorder();
  AddDithering(false);
}

TVeCustomPaletteEngineUI::TVeCustomPaletteEngineUI(TVeDestEngineOptions& options)
    : TVeDestEngineUIEx(options) {
  AddDimension();
  AddPositionBorder();
  AddPaletteSeparator();
  AddPaletteList();
  AddPaletteView(16, 16);
  AddMaxColorCount();
  AddKeepWholePalette();
  AddGrayPalette();
  AddFixedPalette();
  AddDithering(false);
}

TVeCustomOriginalPaletteEngineUI::TVeCustomOriginalPaletteEngineUI(TVeDestEngineOptions& options)
    : TVeDestEngineUIEx(options) {
  AddDimension();
  AddPositionBorder();
  AddPaletteSeparator();
  AddUseOnlyOriginalColors();
  AddPaletteView(16, 16, true);
  FindMutable(ciPaletteView)->Caption = "P&alette:";
  AddDithering(false);
}

// ---- Engines

std::unique_ptr<TVeBitmap>
TVeCustomBWEngine::Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                           std::unique_ptr<TVeStreamList>& /*files*/, TVeDestProgress& /*progress*/,
                           TVeDestEngineOptions& options, const TVePalette256* /*usedColors*/,
                           const TVePalette256* /*sourcePalette*/) {
  TVeImage image(source);
  return image.DitherTwoColors(cancel, VeDitherOptionsOf(options), 1, 0, nullptr, nullptr);
}

TVeModeRule TVeCustomBWEngine::ModeRule(const TVeDestEngineOptions&) {
  TVeModeRule rule;
  rule.Checkable = true;
  rule.Colors = {0x000000, 0xFFFFFF};
  return rule;
}

TVeModeRule TVeCustomPaletteEngine::ModeRule(const TVeDestEngineOptions& options) {
  TVeModeRule rule;
  rule.Checkable = true;
  int available = 0;
  if (options.PaletteType() == ptColored) {
    VeAddRuleColors(rule, options.Palette());
    available = options.Palette().GetCount();
  } else {
    TVePaletteRGB generated(options.PaletteType(), options.GrayPalette());
    const TVePalette& r = options.GrayPalette()
                              ? static_cast<const TVePalette&>(*generated.GrayPalette())
                              : generated;
    available = r.GetCount();
    // Listing millions of colours would make every match slow; such a palette takes any.
    if (available <= 4096)
      VeAddRuleColors(rule, r);
    else
      rule.ChannelBits = 8;
  }
  const int n = options.MaxColorCount();
  if (n > 1 && n < available) rule.ColorsPerScreen = n;
  return rule;
}

namespace {

void Quantize(const TVeCancelFlag* cancel, TVeDestProgress& progress, bool gray, int k,
              TVePalette256& output, const TVePalette* hardware, const TVePalette256& fixed,
              const TVeBitmap32& source, const TVeDestEngineOptions& options) {
  TVeQuantizationArgs args;
  args.Abort = cancel;
  args.Progress = [&progress](int) { progress.Step(); };
  args.Gray = gray;
  args.Method = VeMethodDeltaRGB;
  args.K = k;
  // Counted from the picture's quads; a copy only when fixes or gray change them.
  std::vector<uint32_t> quads;
  const uint32_t* from = source.Data();
  if (gray || options.SaturationFix() != 0 || options.LightnessFix() != 0) {
    quads = VeFixedQuads(source, options.SaturationFix(), options.LightnessFix(), gray);
    from = quads.data();
  }
  QuantizeImage(args, output, hardware, &fixed,
                TVeQuantizationPixels::OfQuads(from, source.PixelCount()));
}

} // namespace

std::unique_ptr<TVeBitmap>
TVeCustomPaletteEngine::Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                std::unique_ptr<TVeStreamList>& /*files*/,
                                TVeDestProgress& progress, TVeDestEngineOptions& options,
                                const TVePalette256* /*usedColors*/,
                                const TVePalette256* /*sourcePalette*/) {
  const TVeDitherOptions dither = VeDitherOptionsOf(options);
  const int n = options.MaxColorCount();
  const bool gray = options.GrayPalette();
  TVePalette256& p = options.Palette();
  const TVePalette256& fixed = options.FixedPalette();

  if (options.PaletteType() == ptColored) {
    if (p.GetCount() == 0) throw EVeError("No palette selected");
    std::unique_ptr<TVePalette256> whole;
    if (n >= 2 && n < p.GetCount()) {
      whole = std::make_unique<TVePalette256>(p);
      Quantize(cancel, progress, false, n, p, whole.get(), fixed, source, options);
      // An indexed file holds at most 256 colours, so a larger list palette cannot be kept.
      if (!options.KeepWholePalette() || whole->GetCount() > 256) whole.reset();
    }
    return TVeImage::DitherSource(cancel, dither, whole.get(), p, source);
  }

  TVePaletteRGB generated(options.PaletteType(), gray);
  // As a gray palette only the type's grays take part, as the base palette shows.
  const TVePalette& r = gray ? static_cast<const TVePalette&>(*generated.GrayPalette()) : generated;
  // The result palette stays empty for direct 24-bit output.
  p.Clear();
  if (r.GetCount() <= 256) p.Assign(&r);
  if (n > 1 && n < r.GetCount()) {
    Quantize(cancel, progress, gray, n, p, &r, fixed, source, options);
    return TVeImage::DitherSource(cancel, dither, nullptr, p, source);
  }
  return TVeImage::DitherSource(cancel, dither, nullptr, r, source);
}

std::unique_ptr<TVeBitmap> TVeCustomOriginalPaletteEngine::Convert(
    const TVeCancelFlag* cancel, const TVeBitmap32& source,
    std::unique_ptr<TVeStreamList>& /*files*/, TVeDestProgress& /*progress*/,
    TVeDestEngineOptions& options, const TVePalette256* usedColors,
    const TVePalette256* sourcePalette) {
  // Pictures without a stored palette pass through.
  if (!sourcePalette || sourcePalette->GetCount() == 0)
    return std::make_unique<TVeBitmap24>(source);
  std::unique_ptr<TVeBitmap> result;
  TVeImage image(source);
  if (options.UseOnlyOriginalColors() && usedColors && usedColors->GetCount() > 0) {
    // First bring every pixel onto a colour the picture really uses, then map those
    // colours to the file palette without further dithering or adjustment.
    image.Dither(cancel, VeDitherOptionsOf(options), nullptr, *usedColors);
    TVeImage copy(image);
    options.SetDitherMethod(0); // "None"
    options.SetLightnessFix(0);
    result = copy.Dither(cancel, VeDitherOptionsOf(options), nullptr, *sourcePalette);
  } else {
    result = image.Dither(cancel, VeDitherOptionsOf(options), nullptr, *sourcePalette);
  }
  options.SetPalette(sourcePalette);
  return result;
}

// ---- Registration

void VeRegisterCommonEngines(TVeDestEngineList& list) {
  int platform = list.IndexOf(TVeCustomBWEngine::PlatformName());
  if (platform >= 0) {
    const TVeDestSubTypes& modes = list.GetSubTypes(platform);
    int mode = modes.IndexOf(TVeCustomBWEngine::ModeName());
    if (mode >= 0 &&
        dynamic_cast<const TVeDestEngineClassOf<TVeCustomBWEngine>*>(modes.GetEngineClass(mode)))
      return;
  }
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeCustomBWEngine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeCustomPaletteEngine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeCustomOriginalPaletteEngine>>());
}
