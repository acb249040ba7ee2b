#include "VeSavePlatformZxSpectrum.h"
#include "VeSavePlatformZxSpectrumShowTapes.h"
#include "VeSavePlatformZxSpectrumTape.h"

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeImage.h"
#include "VePlatformZxSpectrum.h"
#include "VeRowFeed.h"
#include "VeSavePlatformZxSpectrumGigascreen.h"
#include "VeSavePlatformZxSpectrumMulticolor.h"
#include "VeStream.h"

// ---- Options ------------------------------------------------------------------------------

TVeZxSpectrumColorEngineOptions::TVeZxSpectrumColorEngineOptions() {
  FPaletteType = ptColoredLinear;
  FPaletteMode = zxModeColor;
  FErrorDiffusion = 90;
}

TVeZxSpectrumStandardEngineOptions::TVeZxSpectrumStandardEngineOptions() {
  FErrorDiffusion = 100;
  FLimitErrorInsideBlock = false;
}

void TVeZxSpectrumColorEngineOptions::SetPaletteType(TVePaletteType value) {
  TVeZxSpectrumEngineOptions::SetPaletteType(value);
  PaletteChanged();
}

void TVeZxSpectrumColorEngineOptions::SetPaletteMode(uint8_t value) {
  TVeZxSpectrumEngineOptions::SetPaletteMode(value);
  PaletteChanged();
}

void TVeZxSpectrumColorEngineOptions::PaletteChanged() {
  TVePalette256 p;
  if (FPaletteMode == zxModeBlackWhite)
    ZxSpectrumMakeBlackWhitePalette(p);
  else if (FPaletteMode == zxModeGray)
    ZxSpectrumMakeGrayPalette(p, FPaletteType);
  else
    ZxSpectrumMakePalette(p, FPaletteType);
  SetPalette(&p);
}

// ---- Panel --------------------------------------------------------------------------------

std::vector<std::pair<std::string, TVePaletteType>> ZxSpectrumPaletteTypeList() {
  std::vector<std::pair<std::string, TVePaletteType>> types;
  for (TVePaletteType t : {ptPulsar, ptColoredLinear, ptVardel})
    types.emplace_back(VePaletteTypeName(t), t);
  return types;
}

std::vector<int> ZxSpectrumBorderColors(const TVeDestEngineOptions& options) {
  TVePalette256 p;
  ZxSpectrumMakePalette(p, ZxSpectrumPaletteType(options.PaletteType()));
  std::vector<int> colors;
  for (int i = 0; i < 8 && i < p.Count(); ++i)
    colors.push_back(int(p.GetRGBQuad(i) & 0xFFFFFF));
  return colors;
}

TVeZxSpectrumColorEngineUI::TVeZxSpectrumColorEngineUI(TVeDestEngineOptions& options)
    : TVeDestEngineUIEx(options) {
  AddPositionBorder();
  SetBorderColors(ZxSpectrumBorderColors);
  AddPaletteSeparator();
  AddPaletteMode(ZxSpectrumModeMask);
  AddPaletteTypeList(ZxSpectrumPaletteTypeList());
  // Colour usage only means something for the "Сolor" mode.
  AddColorUsage({0, 1, 2, 3}, 1u << zxModeColor);
  AddDithering(true);
}

// ---- Engine -------------------------------------------------------------------------------

std::unique_ptr<TVeBitmap> TVeZxSpectrumEngine::Run(const TVeCancelFlag* cancel,
                                                    const TVeBitmap32& source, TVeRowFeed* arriving,
                                                    std::unique_ptr<TVeStreamList>& files,
                                                    TVeDestProgress& progress,
                                                    TVeDestEngineOptions& options) {
  if (options.PaletteMode() == zxModeBlackWhite) {
    if (arriving) arriving->WaitRowsOrAbort(source.Height());
    TVeImage image(source);
    files = std::make_unique<TVeStreamList>();
    TVeStream* s = files->AddNew("scr", ZxPixelBytes);
    TVeZxSpectrumBWScreen screen(s->Data());
    TVePalette256 bw;
    ZxSpectrumMakeBlackWhitePalette(bw);
    options.SetPalette(&bw);
    return image.DitherTwoColors(cancel, VeDitherOptionsOf(options), 1, 0, nullptr, &screen);
  }
  files = std::make_unique<TVeStreamList>();
  TVeStream* s = files->AddNew("scr", ZxScreenBytes);
  TVeZxSpectrumColorScreen screen(s->Data());
  return ZxSpectrumConvertCells(cancel, source, progress, options, screen, arriving);
}

std::unique_ptr<TVeBitmap> ZxSpectrumConvertCells(const TVeCancelFlag* cancel,
                                                  const TVeBitmap32& source,
                                                  TVeDestProgress& progress,
                                                  TVeDestEngineOptions& options,
                                                  TVeCellScreen& screen, TVeRowFeed* arriving) {
  const TVePaletteType type = options.PaletteType();
  TVeSpectrumZxColorImage image(8, source, options.GetCellHeight(), arriving);
  image.KeepWorkingPixels = false; // the image ends here
  TVePalette256 full;
  ZxSpectrumMakePalette(full, type);
  options.SetPalette(&full);
  if (options.PaletteMode() == zxModeGray) {
    std::unique_ptr<TVeBitmap> result = image.ConvertGray(cancel, options, &screen, &progress);
    // The palette reported with the result is the gray one.
    TVePalette256 gray;
    ZxSpectrumMakeGrayPalette(gray, type);
    options.SetPalette(&gray);
    return result;
  }
  return image.Convert(cancel, options, &screen, &progress);
}

TVeModeRule ZxSpectrumCellRule(const TVeDestEngineOptions& options) {
  TVeModeRule rule;
  rule.Checkable = true;
  if (options.PaletteMode() == zxModeBlackWhite) {
    rule.Colors = {0x000000, 0xFFFFFF};
    return rule;
  }
  rule.CellWidth = options.GetCellWidth();
  rule.CellHeight = options.GetCellHeight();
  rule.ColorsPerCell = 2;
  const TVePaletteType type = options.PaletteType(); // as the conversion takes it
  // Ink and paper share the bright bit; black is the same colour in both halves.
  for (int i = 0; i < 16; ++i)
    if (options.PaletteMode() != zxModeGray || i % 8 == 0 || i % 8 == 7) {
      rule.Colors.push_back(ZxSpectrumColorRGB(type, i) & 0xFFFFFF);
      rule.Groups.push_back(i < 8 ? 1 : 2);
    }
  return rule;
}

void RegisterZxSpectrumEngines(TVeDestEngineList& list) {
  RegisterZxSpectrumTapeExport();
  RegisterZxSpectrumShowTapeExports();
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeZxSpectrumEngine>>());
  RegisterZxSpectrumMulticolorEngines(list);
  RegisterZxSpectrumGigascreenEngines(list);
}
