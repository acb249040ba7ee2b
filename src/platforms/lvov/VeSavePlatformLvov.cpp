#include "VeSavePlatformLvov.h"

#include <vector>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VePaletteSteps.h"
#include "VePlatformLvov.h"
#include "VeStream.h"

const TVeLvovModeInfo& LvovModeInfo(int index) {
  static const TVeLvovModeInfo modes[] = {
      {"200x225x2", LvovWindowWidth, LvovWindowHeight, LvovWindowLeft, LvovWindowTop, "lvw"},
      {"256x256x2", LvovSize, LvovSize, 0, 0, "lvs"},
  };
  if (index < 0 || index >= 2) VeInternalError();
  return modes[index];
}

TVeLvovEngineOptions::TVeLvovEngineOptions(const TVeLvovModeInfo& mode)
    : TVeModeTableOptions(mode) {
  // A 5 MHz dot clock: pixels about 1.47 times as wide as high.
  FAspectIndex = 15;
  FPaletteType = LvovFullLevels;
}

void TVeLvovEngineOptions::SetPaletteType(TVePaletteType value) {
  TVeModeTableOptions::SetPaletteType(value);
  PaletteChanged();
}

void TVeLvovEngineOptions::PaletteChanged() {
  // Before a conversion the panel shows the eight colours the bytes choose from.
  TVePalette256 p;
  for (int c = 0; c < 8; ++c) {
    const uint32_t q = LvovColorRGB(c, FPaletteType);
    p.AddRGB(uint8_t(q >> 16), uint8_t(q >> 8), uint8_t(q));
  }
  SetPalette(&p);
}

TVeLvovEngineUI::TVeLvovEngineUI(TVeDestEngineOptions& options) : TVeDestEngineUIEx(options) {
  AddPositionBorder();
  AddPaletteSeparator();
  AddPaletteTypeList({{"8 colours (FFh)", LvovFullLevels}, {"8 colours (A4h)", LvovDimLevels}});
  AddPaletteView(8, 1);
  AddDithering(false);
}

uint8_t LvovBestPaletteByte(const TVeBitmap32& source, const TVeDestEngineOptions& options) {
  std::vector<TVePalette256> candidates(LvovPaletteBytes);
  for (int b = 0; b < LvovPaletteBytes; ++b)
    LvovMakePalette(candidates[size_t(b)], uint8_t(b), options.PaletteType());
  return uint8_t(VeNearestPalette(source, options, candidates));
}

std::unique_ptr<TVeBitmap> LvovConvert(const TVeLvovModeInfo& m, const TVeCancelFlag* cancel,
                                       const TVeBitmap32& source,
                                       std::unique_ptr<TVeStreamList>& files,
                                       TVeDestProgress& progress, TVeDestEngineOptions& options) {
  if (source.Width() != m.Width || source.Height() != m.Height) VeInternalError();
  progress.SetProgress(2, 0);
  const uint8_t paletteByte = LvovBestPaletteByte(source, options);
  TVePalette256 palette;
  LvovMakePalette(palette, paletteByte, options.PaletteType());
  options.SetPalette(&palette);
  progress.Step();
  auto result = VeDitherToPalette(cancel, source, options, palette, progress);
  files = std::make_unique<TVeStreamList>();
  TVeStream* file = files->AddNew(m.Extension, LvovFileBytes);
  uint8_t* data = file->Data();
  for (int y = 0; y < m.Height; ++y)
    for (int x = 0; x < m.Width; ++x)
      LvovSetPixel(data, m.Left + x, m.Top + y, result->GetPixel(x, y));
  data[LvovScreenBytes] = paletteByte;
  return result;
}

void RegisterLvovEngines(TVeDestEngineList& list) {
  VeReplaceModeTableEngines<TVeLvovFamily, 2>(list);
}
