#include "VeSavePlatformPp01.h"

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VePaletteSteps.h"
#include "VePlatformPp01.h"
#include "VeStream.h"

const TVePp01ModeInfo& Pp01ModeInfo(int index) {
  static const TVePp01ModeInfo modes[] = {{"256x256x3", Pp01Size, Pp01Size}};
  if (index != 0) VeInternalError();
  return modes[0];
}

TVePp01EngineOptions::TVePp01EngineOptions(const TVePp01ModeInfo& mode)
    : TVeModeTableOptions(mode) {
  // No dot clock is published; 256 x 256 filling a 4:3 picture.
  FAspectIndex = 13;
  FMaxColorCount = 8;
  FPaletteType = Pp01FullLevels;
}

void TVePp01EngineOptions::SetPaletteType(TVePaletteType value) {
  TVeModeTableOptions::SetPaletteType(value);
  PaletteChanged();
}

void TVePp01EngineOptions::PaletteChanged() {
  TVePalette256 p;
  Pp01MakePalette(p, FPaletteType);
  SetPalette(&p);
}

TVePp01EngineUI::TVePp01EngineUI(TVeDestEngineOptions& options) : TVeDestEngineUIEx(options) {
  AddPositionBorder();
  AddPaletteSeparator();
  AddPaletteTypeList({{"8 colours (FFh)", Pp01FullLevels}, {"8 colours (80h)", Pp01HalfLevels}});
  AddPaletteView(8, 1);
  AddMaxColorCount(8);
  AddDithering(false);
}

std::unique_ptr<TVeBitmap> Pp01Convert(const TVePp01ModeInfo& m, const TVeCancelFlag* cancel,
                                       const TVeBitmap32& source,
                                       std::unique_ptr<TVeStreamList>& files,
                                       TVeDestProgress& progress, TVeDestEngineOptions& options) {
  if (source.Width() != m.Width || source.Height() != m.Height) VeInternalError();
  progress.SetProgress(2, 0);
  TVePalette256 machine, palette;
  Pp01MakePalette(machine, options.PaletteType());
  auto result = VeQuantizeAndDither(cancel, source, options, machine, 8, palette, progress);
  // The chosen colours' numbers among the machine's eight.
  int color[8] = {};
  for (int i = 0; i < palette.Count() && i < 8; ++i) {
    const uint32_t q = palette.GetRGBQuad(i);
    const int k = machine.FindExact(q);
    color[i] =
        k >= 0
            ? k
            : machine.FindNearestLin(
                  TVeColor::FromStdRGB(uint8_t(q >> 16), uint8_t(q >> 8), uint8_t(q)).GetLinRGB());
  }
  files = std::make_unique<TVeStreamList>();
  uint8_t* planes = files->AddNew("pp1", Pp01FileBytes)->Data();
  for (int y = 0; y < Pp01Size; ++y)
    for (int x = 0; x < Pp01Size; ++x)
      Pp01SetPixel(planes, x, y, color[result->GetPixel(x, y) & 7]);
  return result;
}

void RegisterPp01Engines(TVeDestEngineList& list) {
  VeReplaceModeTableEngines<TVePp01Family, 1>(list);
}
