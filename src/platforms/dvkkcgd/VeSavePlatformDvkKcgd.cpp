#include "VeSavePlatformDvkKcgd.h"

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VePaletteSteps.h"
#include "VePlatformDvkKcgd.h"
#include "VeStream.h"

TVeKcgdEngineOptions::TVeKcgdEngineOptions() {
  // 400 pixels across a 4:3 picture of 240 lines: about 0.8 times as wide as high.
  FAspectIndex = 8;
  FMaxColorCount = KcgdRegisters;
}

TVeKcgdEngineUI::TVeKcgdEngineUI(TVeDestEngineOptions& options) : TVeDestEngineUIEx(options) {
  AddPositionBorder();
  AddPaletteSeparator();
  AddPaletteView(16, 1);
  AddMaxColorCount(KcgdRegisters);
  AddDithering(false);
}

std::unique_ptr<TVeBitmap>
TVeKcgdEngine::Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                       std::unique_ptr<TVeStreamList>& files, TVeDestProgress& progress,
                       TVeDestEngineOptions& options, const TVePalette256*, const TVePalette256*) {
  if (source.Width() != KcgdWidth || source.Height() != KcgdHeight) VeInternalError();
  progress.SetProgress(2, 0);
  TVePalette256 palette;
  auto result =
      VeQuantizeAndDither(cancel, source, options, KcgdPalette(), KcgdRegisters, palette, progress);
  files = std::make_unique<TVeStreamList>();
  uint8_t* data = files->AddNew("kcg", KcgdFileBytes)->Data();
  for (int y = 0; y < KcgdHeight; ++y)
    for (int x = 0; x < KcgdWidth; ++x)
      KcgdSetPixel(data, x, y, result->GetPixel(x, y));
  // Registers the picture does not use stay black.
  for (int i = 0; i < palette.Count() && i < KcgdRegisters; ++i)
    data[KcgdPixelBytes + i] = uint8_t(KcgdPalette().IndexOf(palette.GetRGBQuad(i)));
  return result;
}

void RegisterDvkKcgdEngines(TVeDestEngineList& list) {
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeKcgdEngine>>());
}
