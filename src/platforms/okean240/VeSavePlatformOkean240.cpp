#include "VeSavePlatformOkean240.h"

#include <utility>
#include <vector>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeImage.h"
#include "VePairCellImage.h"
#include "VePaletteSteps.h"
#include "VePlatformOkean240.h"
#include "VeStream.h"

const TVeOkean240ModeInfo& Okean240ModeInfo(int index) {
  // 512 pixels at 12 MHz: about 0.61 times as wide as high, twice that at 256.
  static const TVeOkean240ModeInfo modes[] = {
      {"256x256x2", true, 256, 256, 11},
      {"512x256x1", false, 512, 256, 3},
      {"256x256x4 Gigascreen", true, 256, 256, 11, true},
      {"512x256x2 Gigascreen", false, 512, 256, 3, true},
  };
  if (index < 0 || index >= 4) VeInternalError();
  return modes[index];
}

TVeOkean240EngineOptions::TVeOkean240EngineOptions(const TVeOkean240ModeInfo& mode)
    : TVeModeTableOptions(mode) {
  FAspectIndex = mode.Aspect;
  FPaletteType = Okean240Wiring1;
  if (!mode.Color && !mode.Giga) FDitherMethod = dmJarvisJudiceNinke;
  FMaxFlickering = 100;
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
  if (own->Mode().Giga) AddMaxFlickering();
  AddDithering(!own->Mode().Color && !own->Mode().Giga);
}

namespace {

// Both pages with the palette number whose colours suit the picture, each pixel a pair of
// its colours shown on alternate frames; the preview's value names both, first * n + second.
std::unique_ptr<TVeBitmap> ConvertGiga(const TVeOkean240ModeInfo& m, const TVeCancelFlag* cancel,
                                       const TVeBitmap32& source,
                                       std::unique_ptr<TVeStreamList>& files,
                                       TVeDestProgress& progress, TVeDestEngineOptions& options) {
  progress.SetProgress(3, 0);
  const TVePaletteType wiring = options.PaletteType();
  std::vector<TVePalette256> candidates(Okean240Palettes);
  for (int k = 0; k < Okean240Palettes; ++k)
    Okean240MakePalette(candidates[size_t(k)], k, m.Color, wiring);
  const int number = VeNearestPalette(source, options, candidates);
  const TVePalette256& pens = candidates[size_t(number)];
  const int n = pens.Count();
  TVePalette256 mix;
  mix.MakeMixTable(&pens, options.MaxFlickering(), n);
  options.SetPalette(&mix);
  progress.Step();
  TVeImage image(source);
  auto result = image.DitherFlickerColor(cancel, VeDitherOptionsOf(options), nullptr, mix, nullptr);
  const TVeBitmapList* frames = result->Frames();
  if (!frames || frames->Count() != 2) VeInternalError();
  progress.Step();
  files = std::make_unique<TVeStreamList>();
  uint8_t* data = files->AddNew("okg", Okean240GigaFileBytes)->Data();
  for (int y = 0; y < m.Height; ++y)
    for (int x = 0; x < m.Width; ++x) {
      const int a = frames->GetBitmap(0)->GetPixel(x, y);
      const int b = frames->GetBitmap(1)->GetPixel(x, y);
      Okean240SetPixel(data, x, y, a, m.Color);
      Okean240SetPixel(data + Okean240PageBytes, x, y, b, m.Color);
      result->SetPixel(x, y, a * n + b);
    }
  data[2 * Okean240PageBytes] = uint8_t((m.Color ? Okean240ColorBit : 0) | number);
  progress.Step();
  return result;
}

} // namespace

std::unique_ptr<TVeBitmap> Okean240Convert(const TVeOkean240ModeInfo& m,
                                           const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                           std::unique_ptr<TVeStreamList>& files,
                                           TVeDestProgress& progress,
                                           TVeDestEngineOptions& options) {
  if (source.Width() != m.Width || source.Height() != m.Height) VeInternalError();
  const TVePaletteType wiring = options.PaletteType();
  if (m.Giga) return ConvertGiga(m, cancel, source, files, progress, options);
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
  VeReplaceModeTableEngines<TVeOkean240Family, 4>(list);
}
