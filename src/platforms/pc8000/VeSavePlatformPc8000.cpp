#include "VeSavePlatformPc8000.h"

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VePairCellImage.h"
#include "VePlatformPc8000.h"
#include "VeStream.h"

const TVePc8000ModeInfo& Pc8000ModeInfo(int index) {
  static const TVePc8000ModeInfo modes[] = {{"256x192x4", Pc8000Width, Pc8000Height}};
  if (index != 0) VeInternalError();
  return modes[index];
}

TVePc8000EngineOptions::TVePc8000EngineOptions(const TVePc8000ModeInfo& mode)
    : TVeModeTableOptions(mode) {
  FAspectIndex = 15; // "1.475:1": a 5 MHz dot clock
  FDitherMethod = dmJarvisJudiceNinke;
}

void TVePc8000EngineOptions::PaletteChanged() {
  TVePalette256 p;
  Pc8000MakePalette(p);
  SetPalette(&p);
}

TVePc8000EngineUI::TVePc8000EngineUI(TVeDestEngineOptions& options) : TVeDestEngineUIEx(options) {
  AddPositionBorder();
  AddPaletteSeparator();
  AddPaletteView(16, 1);
  AddDithering(true);
}

std::unique_ptr<TVeBitmap> Pc8000Convert(const TVePc8000ModeInfo& m, const TVeCancelFlag* cancel,
                                         const TVeBitmap32& source,
                                         std::unique_ptr<TVeStreamList>& files,
                                         TVeDestProgress& progress, TVeDestEngineOptions& options) {
  if (source.Width() != m.Width || source.Height() != m.Height) VeInternalError();
  TVePalette256 palette;
  Pc8000MakePalette(palette);
  options.SetPalette(&palette);
  files = std::make_unique<TVeStreamList>();
  TVeStream* pk8 = files->AddNew("pk8", Pc8000FileBytes);
  // The TMS layout with names 0-255 in each third: the tables read as a plain bitmap.
  TVeMSXScreen2Screen screen(pk8->Data());
  screen.Initialise();
  TVePairCellImage image(source, 8, 1, Pc8000Pairs());
  image.KeepWorkingPixels = false;
  return image.Convert(cancel, VeCellOptionsOf(options), &screen, &progress);
}

void RegisterPc8000Engines(TVeDestEngineList& list) {
  VeReplaceModeTableEngines<TVePc8000Family, 1>(list);
}
