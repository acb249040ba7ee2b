#include "VeSavePlatformOkean240.h"

#include <utility>
#include <vector>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VePairCellImage.h"
#include "VePaletteSteps.h"
#include "VePlatformOkean240.h"
#include "VeStream.h"

const TVeOkean240ModeInfo& Okean240ModeInfo(int index) {
  // 512 pixels at 12 MHz: about 0.61 times as wide as high, twice that at 256.
  static const TVeOkean240ModeInfo modes[] = {
      {"256x256x2", true, 256, 256, 11},
      {"512x256x1", false, 512, 256, 3},
  };
  if (index < 0 || index >= 2) VeInternalError();
  return modes[index];
}

TVeOkean240EngineOptions::TVeOkean240EngineOptions(const TVeOkean240ModeInfo& mode)
    : TVeModeTableOptions(mode) {
  FAspectIndex = mode.Aspect;
  FPaletteType = Okean240Wiring1;
  if (!mode.Color) FDitherMethod = dmJarvisJudiceNinke;
}

void TVeOkean240EngineOptions::SetPaletteType(TVePaletteType value) {
  TVeModeTableOptions::SetPaletteType(value);
  PaletteChanged();
}

void TVeOkean240EngineOptions::PaletteChanged() {
  TVePalette256 p;
  Okean240MakeColors(p, FPaletteType);
  SetPalette(&p);
}

TVeOkean240EngineUI::TVeOkean240EngineUI(TVeDestEngineOptions& options)
    : TVeDestEngineUIEx(options) {
  auto* own = dynamic_cast<TVeOkean240EngineOptions*>(&options);
  if (!own) VeInternalError();
  AddPositionBorder();
  AddPaletteSeparator();
  AddPaletteTypeList(
      {{"Wiring 1", Okean240Wiring1}, {"Wiring 2 (red and green swapped)", Okean240Wiring2}});
  AddPaletteView(8, 1);
  AddDithering(!own->Mode().Color);
}

std::unique_ptr<TVeBitmap> Okean240Convert(const TVeOkean240ModeInfo& m,
                                           const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                           std::unique_ptr<TVeStreamList>& files,
                                           TVeDestProgress& progress,
                                           TVeDestEngineOptions& options) {
  if (source.Width() != m.Width || source.Height() != m.Height) VeInternalError();
  const TVePaletteType wiring = options.PaletteType();
  files = std::make_unique<TVeStreamList>();
  uint8_t* data = files->AddNew("okn", Okean240FileBytes)->Data();
  if (!m.Color) {
    // The whole page is one cell: the trial of every palette number picks the pair.
    TVePalette256 colors;
    Okean240MakeColors(colors, wiring);
    options.SetPalette(&colors);
    std::vector<TVeCellPair> pairs;
    for (int n = 0; n < Okean240Palettes; ++n)
      pairs.push_back({Okean240Color(n, 0, false), Okean240Color(n, 1, false), n});
    TVeOkean240MonoScreen screen(data);
    TVePairCellImage image(source, m.Width, m.Height, std::move(pairs));
    image.KeepWorkingPixels = false;
    return image.Convert(cancel, VeCellOptionsOf(options), &screen, &progress);
  }
  progress.SetProgress(2, 0);
  std::vector<TVePalette256> candidates(Okean240Palettes);
  for (int n = 0; n < Okean240Palettes; ++n)
    Okean240MakePalette(candidates[size_t(n)], n, true, wiring);
  const int number = VeNearestPalette(source, options, candidates);
  const TVePalette256& palette = candidates[size_t(number)];
  options.SetPalette(&palette);
  progress.Step();
  auto result = VeDitherToPalette(cancel, source, options, palette, progress);
  for (int y = 0; y < m.Height; ++y)
    for (int x = 0; x < m.Width; ++x)
      Okean240SetPixel(data, x, y, result->GetPixel(x, y), true);
  data[Okean240PageBytes] = uint8_t(Okean240ColorBit | number);
  return result;
}

void RegisterOkean240Engines(TVeDestEngineList& list) {
  VeReplaceModeTableEngines<TVeOkean240Family, 2>(list);
}
