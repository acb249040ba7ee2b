#include "VeSavePlatformProfi.h"

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VePairCellImage.h"
#include "VePlatformProfi.h"
#include "VeStream.h"
#include "zxspectrum/VeSavePlatformZxSpectrum.h"

const TVeProfiModeInfo& ProfiModeInfo(int index) {
  static const TVeProfiModeInfo modes[] = {{"512x240x4", ProfiWidth, ProfiHeight}};
  if (index != 0) VeInternalError();
  return modes[index];
}

TVeProfiEngineOptions::TVeProfiEngineOptions(const TVeProfiModeInfo& mode)
    : TVeModeTableOptions(mode) {
  FAspectIndex = 1; // "1:2": 512 pixels across a Spectrum's line
  FDitherMethod = dmJarvisJudiceNinke;
}

void TVeProfiEngineOptions::SetPaletteType(TVePaletteType value) {
  TVeModeTableOptions::SetPaletteType(value);
  PaletteChanged();
}

void TVeProfiEngineOptions::PaletteChanged() {
  TVePalette256 p;
  ZxSpectrumMakePalette(p, FPaletteType);
  SetPalette(&p);
}

TVeProfiEngineUI::TVeProfiEngineUI(TVeDestEngineOptions& options) : TVeDestEngineUIEx(options) {
  AddPositionBorder();
  AddPaletteSeparator();
  AddPaletteTypeList(ZxSpectrumPaletteTypeList());
  AddPaletteView(16, 1);
  AddDithering(true);
}

std::unique_ptr<TVeBitmap> ProfiConvert(const TVeProfiModeInfo& m, const TVeCancelFlag* cancel,
                                        const TVeBitmap32& source,
                                        std::unique_ptr<TVeStreamList>& files,
                                        TVeDestProgress& progress, TVeDestEngineOptions& options) {
  if (source.Width() != m.Width || source.Height() != m.Height) VeInternalError();
  TVePalette256 palette;
  ZxSpectrumMakePalette(palette, options.PaletteType());
  options.SetPalette(&palette);
  files = std::make_unique<TVeStreamList>();
  TVeStream* prf = files->AddNew("prf", ProfiFileBytes);
  TVeProfiScreen screen(prf->Data());
  TVePairCellImage image(source, 8, 1, ProfiPairs());
  image.KeepWorkingPixels = false;
  return image.Convert(cancel, VeCellOptionsOf(options), &screen, &progress);
}

void RegisterProfiEngines(TVeDestEngineList& list) {
  VeReplaceModeTableEngines<TVeProfiFamily, 1>(list);
}
