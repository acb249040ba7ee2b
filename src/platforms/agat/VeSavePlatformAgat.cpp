#include "VeSavePlatformAgat.h"

#include <utility>
#include <vector>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeGenericEngine.h"
#include "VeImage.h"
#include "VePaletteSteps.h"
#include "VeStream.h"

namespace {

// Lines fill the height of a 4:3 picture and the 512-dot raster its width: a 512-wide pixel
// is 2:3, a 256-wide one 4:3, a 128-wide one on every line 8:3.
constexpr uint8_t Aspect512 = 7, Aspect256 = 13, Aspect128 = 19;

constexpr TVeAgatScreen Low{agat16Colors, 64, 64, 32, false};
constexpr TVeAgatScreen Mid{agat16Colors, 128, 128, 64, false};
constexpr TVeAgatScreen MidEveryLine{agat16Colors, 128, 256, 64, true};
constexpr TVeAgatScreen Mono256{agatMono, 256, 256, 32, false};
constexpr TVeAgatScreen Color256{agat4Colors, 256, 256, 64, true};
constexpr TVeAgatScreen Mono512{agatMono, 512, 256, 64, true};

// The colours a page may show: the 16, or every palette number's.
std::vector<TVePalette256> Candidates(const TVeAgatScreen& s, TVePaletteType type) {
  std::vector<TVePalette256> c(s.Kind == agat16Colors ? 1 : AgatPaletteNumbers);
  for (size_t n = 0; n < c.size(); ++n)
    AgatMakePalette(c[n], s.Kind, int(n), type);
  return c;
}

} // namespace

const TVeAgatModeInfo& AgatModeInfo(int index) {
  static const TVeAgatModeInfo modes[AgatModeCount] = {
      {"64x64x4", Low, 64, 64, Aspect256, false, "gnr", 2},
      {"64x64x8 Gigascreen", Low, 64, 64, Aspect256, true, "gn2", 2},
      {"128x128x4", Mid, 128, 128, Aspect256, false, "gsr", 1},
      {"128x128x8 Gigascreen", Mid, 128, 128, Aspect256, true, "gs2", 1},
      {"128x256x4", MidEveryLine, 128, 256, Aspect128, false, "gsl", 1},
      {"128x256x8 Gigascreen", MidEveryLine, 128, 256, Aspect128, true, "gl2", 1},
      {"256x256x1", Mono256, 256, 256, Aspect256, false, "bvr", 1},
      {"256x256x2 Gigascreen", Mono256, 256, 256, Aspect256, true, "bv2", 1},
      {"256x256x2", Color256, 256, 256, Aspect256, false, "gvr", 1},
      {"256x256x4 Gigascreen", Color256, 256, 256, Aspect256, true, "gv2", 1},
      {"512x256x1", Mono512, 512, 256, Aspect512, false, "gdp", 1},
      {"512x256x2 Gigascreen", Mono512, 512, 256, Aspect512, true, "gd2", 1},
  };
  if (index < 0 || index >= AgatModeCount) VeInternalError();
  return modes[index];
}

TVeAgatEngineOptions::TVeAgatEngineOptions(const TVeAgatModeInfo& mode)
    : TVeModeTableOptions(mode) {
  FAspectIndex = mode.Aspect;
  FPaletteType = AgatCommunityColors;
  if (mode.Screen.Kind == agatMono) FDitherMethod = dmJarvisJudiceNinke;
}

void TVeAgatEngineOptions::SetPaletteType(TVePaletteType value) {
  TVeModeTableOptions::SetPaletteType(value);
  PaletteChanged();
}

void TVeAgatEngineOptions::PaletteChanged() {
  TVePalette256 p;
  AgatMakePalette(p, FMode->Screen.Kind, 0, FPaletteType);
  if (FMode->Flicker) {
    TVePalette256 mix;
    mix.MakeMixTable(&p, FMaxFlickering, p.Count());
    p = mix;
  }
  SetPalette(&p);
}

TVeAgatEngineUI::TVeAgatEngineUI(TVeDestEngineOptions& options) : TVeDestEngineUIEx(options) {
  auto* own = dynamic_cast<TVeAgatEngineOptions*>(&options);
  if (!own) VeInternalError();
  const TVeAgatModeInfo& m = own->Mode();
  AddPositionBorder();
  AddPaletteSeparator();
  AddPaletteTypeList({{"Community colours (8-15 bright)", AgatCommunityColors},
                      {"0-7 full, 8-15 half level", AgatFullFirstColors}});
  const int n = m.Screen.Colors();
  AddPaletteView(n, m.Flicker ? n : 1);
  if (m.Flicker) AddMaxFlickering();
  AddDithering(false);
}

std::unique_ptr<TVeBitmap> AgatConvert(const TVeAgatModeInfo& m, const TVeCancelFlag* cancel,
                                       const TVeBitmap32& source,
                                       std::unique_ptr<TVeStreamList>& files,
                                       TVeDestProgress& progress, TVeDestEngineOptions& options) {
  if (source.Width() != m.Width || source.Height() != m.Height) VeInternalError();
  const TVeAgatScreen& s = m.Screen;
  progress.SetProgress(2, 0);
  // The palette number is one for the whole picture (both pages of a Gigascreen).
  const std::vector<TVePalette256> candidates = Candidates(s, options.PaletteType());
  int number = 0;
  if (candidates.size() > 1 && !m.Flicker) {
    number = VeNearestPalette(source, options, candidates);
  } else if (candidates.size() > 1) {
    // Two pages show the mixes too, so those decide.
    std::vector<TVePalette256> mixes(candidates.size());
    for (size_t i = 0; i < mixes.size(); ++i)
      mixes[i].MakeMixTable(&candidates[i], 100, s.Colors());
    number = VeNearestPalette(source, options, mixes);
  }
  const TVePalette256& palette = candidates[size_t(number)];
  progress.Step();
  files = std::make_unique<TVeStreamList>();
  uint8_t* file = files->AddNew(m.Ext, AgatFileBytes(m.DataBytes()))->Data();
  uint8_t* page = file + AgatHeaderBytes;
  AgatFinishFile(file, m.DataBytes(), number);
  if (!m.Flicker) {
    options.SetPalette(&palette);
    auto result = VeDitherToPalette(cancel, source, options, palette, progress);
    for (int y = 0; y < m.Height; ++y)
      for (int x = 0; x < m.Width; ++x)
        AgatSetPixel(s, page, x, y, result->GetPixel(x, y));
    return result;
  }
  const int n = s.Colors();
  TVePalette256 allowed;
  allowed.MakeMixTable(&palette, options.MaxFlickering(), n);
  options.SetPalette(&allowed);
  TVeImage image(source);
  std::unique_ptr<TVeBitmap> found =
      image.DitherFlickerColor(cancel, VeDitherOptionsOf(options), nullptr, allowed, nullptr);
  const TVeBitmapList* frames = found->Frames();
  if (!frames || frames->Count() != 2) VeInternalError();
  // Every pair's true mix, so the preview shows what the screen shows whatever was allowed.
  TVePalette256 mix;
  mix.MakeMixTable(&palette, 100, n);
  auto result = std::make_unique<TVeBitmap8>(m.Width, &mix, m.Height);
  TVeBitmap* a = result->AddFrame(&palette);
  TVeBitmap* b = result->AddFrame(&palette);
  uint8_t* second = page + s.PageBytes();
  for (int y = 0; y < m.Height; ++y)
    for (int x = 0; x < m.Width; ++x) {
      const int va = frames->GetBitmap(0)->GetPixel(x, y);
      const int vb = frames->GetBitmap(1)->GetPixel(x, y);
      a->SetPixel(x, y, va);
      b->SetPixel(x, y, vb);
      result->SetPixel(x, y, va * n + vb);
      AgatSetPixel(s, page, x, y, va);
      AgatSetPixel(s, second, x, y, vb);
    }
  progress.Step();
  return result;
}

namespace {

template <int... I> void ReplaceRows(TVeDestEngineList& list, std::integer_sequence<int, I...>) {
  (list.Replace(std::make_unique<TVeDestEngineClassOf<TVeAgatEngineT<I>>>()), ...);
}

} // namespace

void RegisterAgatEngines(TVeDestEngineList& list) {
  ReplaceRows(list, AgatFinishedRows{});
  VeMarkPreviewOnly(list, "Agat", "128x128x4 HAM",
                    "the 16-colour modes have no palette to change between lines, and no "
                    "Agat line-change mode is documented");
}
