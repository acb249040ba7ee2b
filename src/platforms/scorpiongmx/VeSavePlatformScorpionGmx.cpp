#include "VeSavePlatformScorpionGmx.h"

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VePairCellImage.h"
#include "VePlatformScorpionGmx.h"
#include "VeStream.h"
#include "zxspectrum/VePlatformZxSpectrum.h"
#include "zxspectrum/VeSavePlatformZxSpectrum.h"

const TVeGmxModeInfo& GmxModeInfo(int index) {
  static const TVeGmxModeInfo modes[] = {
      {"640x200x4", false, GmxWidth, GmxHeight},
      {"160x200x4", true, GmxFatWidth, GmxHeight},
  };
  if (index < 0 || index >= 2) VeInternalError();
  return modes[index];
}

TVeGmxEngineOptions::TVeGmxEngineOptions(const TVeGmxModeInfo& mode) : TVeModeTableOptions(mode) {
  // A 14 MHz dot clock: pixels about half as wide as high, four of them twice as wide.
  FAspectIndex = mode.Fat ? 17 : 1;
  FDitherMethod = dmJarvisJudiceNinke;
}

void TVeGmxEngineOptions::SetPaletteType(TVePaletteType value) {
  TVeModeTableOptions::SetPaletteType(value);
  PaletteChanged();
}

void TVeGmxEngineOptions::PaletteChanged() {
  TVePalette256 p;
  ZxSpectrumMakePalette(p, FPaletteType);
  SetPalette(&p);
}

TVeGmxEngineUI::TVeGmxEngineUI(TVeDestEngineOptions& options) : TVeDestEngineUIEx(options) {
  AddPositionBorder();
  AddPaletteSeparator();
  AddPaletteTypeList(ZxSpectrumPaletteTypeList());
  AddPaletteView(16, 1);
  AddDithering(true);
}

std::unique_ptr<TVeBitmap> GmxConvert(const TVeGmxModeInfo& m, const TVeCancelFlag* cancel,
                                      const TVeBitmap32& source,
                                      std::unique_ptr<TVeStreamList>& files,
                                      TVeDestProgress& progress, TVeDestEngineOptions& options) {
  if (source.Width() != m.Width || source.Height() != m.Height) VeInternalError();
  TVePalette256 palette;
  ZxSpectrumMakePalette(palette, options.PaletteType());
  options.SetPalette(&palette);
  files = std::make_unique<TVeStreamList>();
  TVeStream* gmx = files->AddNew("gmx", GmxFileBytes);
  TVeScorpionGmxScreen screen(gmx->Data(), m.Fat);
  TVePairCellImage image(source, m.Fat ? 2 : 8, 1, GmxPairs());
  image.KeepWorkingPixels = false;
  return image.Convert(cancel, VeCellOptionsOf(options), &screen, &progress);
}

void RegisterScorpionGmxEngines(TVeDestEngineList& list) {
  VeReplaceModeTableEngines<TVeGmxFamily, 2>(list);
}
