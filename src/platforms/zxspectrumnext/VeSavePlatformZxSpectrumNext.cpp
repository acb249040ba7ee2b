#include "VeSavePlatformZxSpectrumNext.h"

#include <algorithm>
#include <vector>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VePaletteSteps.h"
#include "VePlatformZxSpectrumNext.h"
#include "VeStream.h"

TVeZxSpectrumNextEngineOptions::TVeZxSpectrumNextEngineOptions() {
  FMaxColorCount = NextPaletteEntries;
}

TVeZxSpectrumNextEngineUI::TVeZxSpectrumNextEngineUI(TVeDestEngineOptions& options)
    : TVeDestEngineUIEx(options) {
  AddPositionBorder();
  AddPaletteSeparator();
  AddPaletteView(16, 16);
  AddMaxColorCount(NextPaletteEntries);
  AddDithering(false);
}

void NextAssignIndices(const int* nine, int count, int* index) {
  std::vector<bool> taken(NextPaletteEntries, false);
  for (int i = 0; i < count; ++i) {
    const int own = nine[i] >> 1;
    index[i] = -1;
    if (own != NextTransparent && !taken[size_t(own)]) {
      index[i] = own;
      taken[size_t(own)] = true;
    }
  }
  int next = 0;
  for (int i = 0; i < count; ++i) {
    if (index[i] >= 0) continue;
    while (next < NextPaletteEntries && (taken[size_t(next)] || next == NextTransparent))
      ++next;
    index[i] = next < NextPaletteEntries ? next : NextTransparent;
    if (next < NextPaletteEntries) taken[size_t(next)] = true;
  }
}

// 256 palette entries, each any nine-bit colour but the transparent ones.
TVeModeRule TVeZxSpectrumNextEngine::ModeRule(const TVeDestEngineOptions&) {
  TVeModeRule rule;
  rule.Checkable = true;
  rule.ColorsPerScreen = 256;
  VeAddRuleColors(rule, NextPictureColors());
  return rule;
}

std::unique_ptr<TVeBitmap>
TVeZxSpectrumNextEngine::Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                 std::unique_ptr<TVeStreamList>& files, TVeDestProgress& progress,
                                 TVeDestEngineOptions& options, const TVePalette256*,
                                 const TVePalette256*) {
  if (source.Width() != NextWidth || source.Height() != NextHeight) VeInternalError();
  progress.SetProgress(2, 0);
  TVePalette256 chosen;
  auto dithered = VeQuantizeAndDither(cancel, source, options, NextPictureColors(),
                                      NextPaletteEntries, chosen, progress);
  const int count = std::min(chosen.Count(), NextPaletteEntries);
  int nine[NextPaletteEntries], index[NextPaletteEntries];
  for (int i = 0; i < count; ++i) {
    nine[i] = NextNineBitOf(chosen.GetRGBQuad(i) & 0xFFFFFF);
    if (nine[i] < 0 || NextIsTransparent(nine[i])) VeInternalError();
  }
  NextAssignIndices(nine, count, index);

  // Entries no pixel uses stay black.
  uint8_t paletteBytes[NextPaletteBytes] = {};
  for (int i = 0; i < count; ++i)
    NextPutEntry(paletteBytes + 2 * index[i], nine[i]);
  TVePalette256 shown;
  NextReadPalette(paletteBytes, shown);
  options.SetPalette(&shown);

  files = std::make_unique<TVeStreamList>();
  TVeStream* nxi = files->AddNew("nxi", NextPaletteBytes + NextPixelBytes);
  TVeStream* sl2 = files->AddNew("sl2", NextPixelBytes);
  TVeStream* nxp = sl2->AddNewSub("nxp", NextPaletteBytes);
  std::copy_n(paletteBytes, NextPaletteBytes, nxi->Data());
  std::copy_n(paletteBytes, NextPaletteBytes, nxp->Data());
  auto result = std::make_unique<TVeBitmap8>(NextWidth, &shown, NextHeight);
  uint8_t* pixels = sl2->Data();
  for (int y = 0; y < NextHeight; ++y)
    for (int x = 0; x < NextWidth; ++x) {
      const uint8_t v = uint8_t(index[dithered->GetPixel(x, y)]);
      pixels[y * NextWidth + x] = v;
      result->SetPixel(x, y, v);
    }
  std::copy_n(pixels, NextPixelBytes, nxi->Data() + NextPaletteBytes);
  return result;
}

void RegisterZxSpectrumNextEngines(TVeDestEngineList& list) {
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeZxSpectrumNextEngine>>());
}
