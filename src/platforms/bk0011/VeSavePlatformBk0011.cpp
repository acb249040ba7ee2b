#include "VeSavePlatformBk0011.h"

#include <vector>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VePaletteSteps.h"
#include "VePlatformBk0011.h"
#include "VeStream.h"

const TVeBk0011ModeInfo& Bk0011ModeInfo(int index) {
  // 512 x 256 filling a 4:3 picture: pixels 1.5 times as high as wide; 256 x 256 pixels
  // 1.33 times as wide as high.
  static const TVeBk0011ModeInfo modes[] = {
      {"256x256x2", true, 256, 256, 13},
      {"512x256x1", false, 512, 256, 7},
  };
  if (index < 0 || index >= 2) VeInternalError();
  return modes[index];
}

namespace {

void MakeShown(const TVeBk0011ModeInfo& m, TVePaletteType levels, int number, TVePalette256& p) {
  if (m.Color) {
    Bk0011MakePalette(p, number, levels);
  } else {
    p.Clear();
    p.AddRGB(0, 0, 0);
    p.AddRGB(255, 255, 255);
  }
}

} // namespace

TVeBk0011EngineOptions::TVeBk0011EngineOptions(const TVeBk0011ModeInfo& mode)
    : TVeModeTableOptions(mode) {
  FAspectIndex = mode.Aspect;
  FPaletteType = Bk0011LinearLevels;
}

void TVeBk0011EngineOptions::SetPaletteType(TVePaletteType value) {
  TVeModeTableOptions::SetPaletteType(value);
  PaletteChanged();
}

void TVeBk0011EngineOptions::PaletteChanged() {
  TVePalette256 p;
  MakeShown(*FMode, FPaletteType, 0, p);
  SetPalette(&p);
}

TVeBk0011EngineUI::TVeBk0011EngineUI(TVeDestEngineOptions& options) : TVeDestEngineUIEx(options) {
  auto* own = dynamic_cast<TVeBk0011EngineOptions*>(&options);
  if (!own) VeInternalError();
  AddPositionBorder();
  AddPaletteSeparator();
  if (own->Mode().Color)
    AddPaletteTypeList(
        {{"Red at 55h and AAh", Bk0011LinearLevels}, {"Red at 8Eh and C0h", Bk0011EmulatorLevels}});
  AddPaletteView(4, 1);
  AddDithering(false);
}

std::unique_ptr<TVeBitmap> Bk0011Convert(const TVeBk0011ModeInfo& m, const TVeCancelFlag* cancel,
                                         const TVeBitmap32& source,
                                         std::unique_ptr<TVeStreamList>& files,
                                         TVeDestProgress& progress, TVeDestEngineOptions& options) {
  if (source.Width() != m.Width || source.Height() != m.Height) VeInternalError();
  progress.SetProgress(2, 0);
  int number = 0;
  TVePalette256 palette;
  if (m.Color) {
    std::vector<TVePalette256> candidates(Bk0011Palettes);
    for (int n = 0; n < Bk0011Palettes; ++n)
      Bk0011MakePalette(candidates[size_t(n)], n, options.PaletteType());
    number = VeNearestPalette(source, options, candidates);
  }
  MakeShown(m, options.PaletteType(), number, palette);
  options.SetPalette(&palette);
  progress.Step();
  auto result = VeDitherToPalette(cancel, source, options, palette, progress);
  files = std::make_unique<TVeStreamList>();
  TVeStream* bin = files->AddNew("bin", Bk0011FileBytes);
  Bk0011WriteBinHeader(bin->Data(), Bk0011ScreenAddress, Bk0011ScreenBytes);
  uint8_t* screen = bin->Data() + Bk0011BinHeader;
  for (int y = 0; y < m.Height; ++y)
    for (int x = 0; x < m.Width; ++x)
      Bk0011SetPixel(screen, x, y, result->GetPixel(x, y), m.Color);
  if (m.Color) {
    uint8_t* reg = bin->AddNewSub("reg", Bk0011RegisterFileBytes)->Data();
    Bk0011WriteBinHeader(reg, Bk0011RegisterAddress, 2);
    reg[Bk0011BinHeader + 1] = uint8_t(number); // bits 11-8 of the word
  }
  return result;
}

void RegisterBk0011Engines(TVeDestEngineList& list) {
  VeReplaceModeTableEngines<TVeBk0011Family, 2>(list);
}
