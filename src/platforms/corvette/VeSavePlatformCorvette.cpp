#include "VeSavePlatformCorvette.h"

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VePaletteSteps.h"
#include "VePlatformCorvette.h"
#include "VeStream.h"

const TVeCorvetteModeInfo& CorvetteModeInfo(int index) {
  static const TVeCorvetteModeInfo modes[] = {{"512x256x3", CorvetteWidth, CorvetteHeight}};
  if (index != 0) VeInternalError();
  return modes[0];
}

TVeCorvetteEngineOptions::TVeCorvetteEngineOptions(const TVeCorvetteModeInfo& mode)
    : TVeModeTableOptions(mode) {
  // 512 pixels at 10 MHz: about 0.74 times as wide as high.
  FAspectIndex = 5;
  FMaxColorCount = CorvetteLutEntries;
}

void TVeCorvetteEngineOptions::PaletteChanged() {
  SetPalette(&CorvettePalette());
}

TVeCorvetteEngineUI::TVeCorvetteEngineUI(TVeDestEngineOptions& options)
    : TVeDestEngineUIEx(options) {
  AddPositionBorder();
  AddPaletteSeparator();
  AddPaletteView(16, 1);
  AddMaxColorCount(CorvetteLutEntries);
  AddDithering(false);
}

std::unique_ptr<TVeBitmap> CorvetteConvert(const TVeCorvetteModeInfo& m,
                                           const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                           std::unique_ptr<TVeStreamList>& files,
                                           TVeDestProgress& progress,
                                           TVeDestEngineOptions& options) {
  if (source.Width() != m.Width || source.Height() != m.Height) VeInternalError();
  progress.SetProgress(2, 0);
  const TVePalette256& machine = CorvettePalette();
  TVePalette256 palette;
  auto result =
      VeQuantizeAndDither(cancel, source, options, machine, CorvetteLutEntries, palette, progress);
  files = std::make_unique<TVeStreamList>();
  uint8_t* data = files->AddNew("kor", CorvetteFileBytes)->Data();
  for (int y = 0; y < CorvetteHeight; ++y)
    for (int x = 0; x < CorvetteWidth; ++x)
      CorvetteSetPixel(data, x, y, result->GetPixel(x, y));
  // Unused entries stay black (colour 0).
  for (int i = 0; i < CorvetteLutEntries; ++i) {
    int color = 0;
    if (i < palette.Count()) {
      const uint32_t q = palette.GetRGBQuad(i);
      color = machine.FindExact(q);
      if (color < 0)
        color = machine.FindNearestLin(
            TVeColor::FromStdRGB(uint8_t(q >> 16), uint8_t(q >> 8), uint8_t(q)).GetLinRGB());
    }
    data[CorvetteScreenBytes + i] = CorvetteLutByte(i, color);
  }
  return result;
}

void RegisterCorvetteEngines(TVeDestEngineList& list) {
  VeReplaceModeTableEngines<TVeCorvetteFamily, 1>(list);
}
