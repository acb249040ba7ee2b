#include "VeSavePlatformZxSpectrumGigascreen.h"

#include <string>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VePlatformZxSpectrumGigascreen.h"
#include "VeStream.h"

TVeZxSpectrumGigascreenEngineOptions::TVeZxSpectrumGigascreenEngineOptions() {
  FCalculation = 1; // "Linear"
  FMaxFlickering = 100;
}

void TVeZxSpectrumGigascreenEngineOptions::BuildMixedPalette(bool display) {
  TVeZxMixedPaletteArgs args;
  args.PaletteType = ZxSpectrumPaletteType(FPaletteType);
  args.Calculation = FCalculation;
  args.MaxFlickering = FMaxFlickering; // the slider limits safe mode too
  args.ColorUsage = FColorUsage;
  args.NoGrays = FEngineFlagB != 0;
  args.Display = display;
  args.Gray = FPaletteMode == zxModeGray;
  args.SafeMode = FSafeMode;
  TVePalette256 mixed;
  ZxSpectrumMakeMixedPalette(mixed, args);
  SetPalette(&mixed);
}

void TVeZxSpectrumGigascreenEngineOptions::PaletteChanged() {
  BuildMixedPalette(true);
}

TVeZxSpectrumGigascreenEngineUI::TVeZxSpectrumGigascreenEngineUI(TVeDestEngineOptions& options)
    : TVeDestEngineUIEx(options) {
  AddPositionBorder();
  SetBorderColors(ZxSpectrumBorderColors);
  AddPaletteSeparator();
  AddPaletteMode((1u << zxModeGray) | (1u << zxModeColor));
  AddPaletteTypeList(ZxSpectrumPaletteTypeList());
  AddPaletteView(16, 16);
  AddCalculation();
  AddColorUsage({0, 1, 3});
  AddMaxFlickering();
  AddSafeMode();
  AddDithering(true);
}

TVeZxSpectrumMultiGigascreen1EngineOptions::TVeZxSpectrumMultiGigascreen1EngineOptions() {
  FDitherMethod = dmJarvisJudiceNinke;
}

TVeZxSpectrumGigaInterlacedEngineOptions::TVeZxSpectrumGigaInterlacedEngineOptions() {
  FCalculation = 1; // "Linear"
  FMaxFlickering = 100;
}

void TVeZxSpectrumGigaInterlacedEngineOptions::PaletteChanged() {
  TVePalette256 p;
  ZxSpectrumMakePalette(p, FPaletteType);
  SetPalette(&p);
}

TVeZxSpectrumGigaInterlacedEngineUI::TVeZxSpectrumGigaInterlacedEngineUI(
    TVeDestEngineOptions& options)
    : TVeDestEngineUIEx(options) {
  AddPositionBorder();
  SetBorderColors(ZxSpectrumBorderColors);
  AddPaletteSeparator();
  AddPaletteMode((1u << zxModeGray) | (1u << zxModeColor));
  AddPaletteTypeList(ZxSpectrumPaletteTypeList());
  AddPaletteView(16, 1);
  AddColorUsage({0, 1, 3});
  AddFlickerStyle();
  AddDithering(true);
}

namespace {
// The border as the nearest of the eight dark colours, for the MG header.
int MgBorder(const TVeDestEngineOptions& o) {
  TVePalette256 dark;
  ZxSpectrumMakePalette(dark, ZxSpectrumPaletteType(o.PaletteType()));
  while (dark.Count() > 8)
    dark.Delete(dark.Count() - 1);
  uint8_t r, g, b;
  o.GetBorderRGB(r, g, b);
  return dark.FindNearestLin(TVeColor::FromStdRGB(r, g, b).GetLinRGB());
}

// The gigascreen conversion straight onto an MG screen of the options' cell height.
std::unique_ptr<TVeBitmap> ConvertMultiGiga(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                            std::unique_ptr<TVeStreamList>& files,
                                            TVeDestProgress& progress,
                                            TVeDestEngineOptions& options) {
  auto& o = dynamic_cast<TVeZxSpectrumGigascreenEngineOptions&>(options);
  const int h = o.GetCellHeight();
  o.BuildMixedPalette(false);
  o.SetGrayPalette(o.PaletteMode() == zxModeGray);
  files = std::make_unique<TVeStreamList>();
  TVeStream* mg =
      files->AddNew("mg" + std::to_string(h), TVeZxSpectrumMultiGigascreenScreen::FileSize(h));
  mg->HeaderSize = 256;
  std::unique_ptr<TVeBitmap> result;
  if (h == 1) {
    // Side cells are 8 x 8; the image walks the middle columns line by line itself.
    TVeZxSpectrumMultiGigascreen1Image image(8, source, 8);
    TVeZxSpectrumMultiGigascreen1Screen screen(mg->Data(), MgBorder(o));
    result = image.Convert(cancel, o, &screen, &progress);
  } else {
    TVeZxSpectrumGigascreenImage image(8, source, h);
    TVeZxSpectrumMultiGigascreenScreen screen(mg->Data(), h, MgBorder(o));
    result = image.Convert(cancel, o, &screen, &progress);
  }
  o.BuildMixedPalette(true);
  return result;
}
} // namespace

std::unique_ptr<TVeBitmap> TVeZxSpectrumMultiGigascreen4Engine::Convert(
    const TVeCancelFlag* cancel, const TVeBitmap32& source, std::unique_ptr<TVeStreamList>& files,
    TVeDestProgress& progress, TVeDestEngineOptions& options, const TVePalette256*,
    const TVePalette256*) {
  return ConvertMultiGiga(cancel, source, files, progress, options);
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumMultiGigascreen2Engine::Convert(
    const TVeCancelFlag* cancel, const TVeBitmap32& source, std::unique_ptr<TVeStreamList>& files,
    TVeDestProgress& progress, TVeDestEngineOptions& options, const TVePalette256*,
    const TVePalette256*) {
  return ConvertMultiGiga(cancel, source, files, progress, options);
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumMultiGigascreen1Engine::Convert(
    const TVeCancelFlag* cancel, const TVeBitmap32& source, std::unique_ptr<TVeStreamList>& files,
    TVeDestProgress& progress, TVeDestEngineOptions& options, const TVePalette256*,
    const TVePalette256*) {
  return ConvertMultiGiga(cancel, source, files, progress, options);
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumGigaInterlacedEngine1::Convert(
    const TVeCancelFlag* cancel, const TVeBitmap32& source, std::unique_ptr<TVeStreamList>& files,
    TVeDestProgress& progress, TVeDestEngineOptions& options, const TVePalette256*,
    const TVePalette256*) {
  const TVePaletteType type = ZxSpectrumPaletteType(options.PaletteType());
  TVeZxMixedPaletteArgs args;
  args.PaletteType = type;
  args.Calculation = options.Calculation();
  args.MaxFlickering = options.MaxFlickering();
  args.ColorUsage = options.ColorUsage();
  args.Gray = options.PaletteMode() == zxModeGray;
  TVePalette256 mixed;
  ZxSpectrumMakeMixedPalette(mixed, args);
  options.SetPalette(&mixed);
  options.SetGrayPalette(args.Gray);
  files = std::make_unique<TVeStreamList>();
  // Bright white ink on black paper wherever the conversion writes nothing.
  TVeStream* lce = files->AddNew("lce", ZxInterlacedBytes, 71);
  TVeZxSpectrumGigaInterlacedScreen screen(lce->Data());
  TVeZxSpectrumGigaInterlacedImage image(8, source, 8);
  image.Style = options.FlickerStyle();
  image.Convert(cancel, options, &screen, &progress);
  TVePalette256 pure;
  ZxSpectrumMakePalette(pure, type);
  options.SetPalette(&pure);
  return ZxSpectrumInterlacedFields(screen, pure);
}

std::unique_ptr<TVeBitmap>
TVeZxSpectrumGigascreenEngine::Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                       std::unique_ptr<TVeStreamList>& files,
                                       TVeDestProgress& progress, TVeDestEngineOptions& options,
                                       const TVePalette256*, const TVePalette256*) {
  auto& o = dynamic_cast<TVeZxSpectrumGigascreenEngineOptions&>(options);
  // Converting needs every ordered pair; the panel shows each pair once. A failed run leaves
  // the conversion palette until the next refresh.
  o.BuildMixedPalette(false);
  o.SetGrayPalette(o.PaletteMode() == zxModeGray);
  TVeZxSpectrumGigascreenImage image(8, source, o.GetCellHeight());
  files = std::make_unique<TVeStreamList>();
  TVeStream* img = files->AddNew("img", ZxGigascreenBytes);
  TVeZxSpectrumGigascreenScreen screen(img->Data());
  std::unique_ptr<TVeBitmap> result = image.Convert(cancel, o, &screen, &progress);

  // The same frames in the MG layout, with the border as the nearest dark colour.
  TVeStream* mg8 = files->AddNew("mg8", TVeZxSpectrumMultiGigascreenScreen::FileSize(8));
  mg8->HeaderSize = 256;
  TVeZxSpectrumMultiGigascreenScreen mg(mg8->Data(), 8, MgBorder(o));
  const TVeZxSpectrumGigascreenScreen from(files->GetStream(0)->Data());
  for (int y = 0; y < ZxScreenHeight; ++y)
    for (int x = 0; x < ZxScreenWidth; ++x) {
      mg.SetPixel(x, y, from.GetPixel(x, y));
      mg.SetPixel2(x, y, from.GetPixel2(x, y));
    }
  for (int cy = 0; cy < 24; ++cy)
    for (int cx = 0; cx < 32; ++cx) {
      mg.SetAttr(cx, cy, from.GetAttr(cx, cy));
      mg.SetAttr2(cx, cy, from.GetAttr2(cx, cy));
    }
  o.BuildMixedPalette(true);
  return result;
}

void RegisterZxSpectrumGigascreenEngines(TVeDestEngineList& list) {
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeZxSpectrumGigascreenEngine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeZxSpectrumMultiGigascreen4Engine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeZxSpectrumMultiGigascreen2Engine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeZxSpectrumMultiGigascreen1Engine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeZxSpectrumGigaInterlacedEngine1>>());
}
