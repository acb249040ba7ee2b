#include "VeSavePlatformPmd85.h"

#include <utility>
#include <vector>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VePairCellImage.h"
#include "VePlatformPmd85.h"
#include "VeStream.h"

const TVePmd85ModeInfo& Pmd85ModeInfo(int index) {
  static const TVePmd85ModeInfo modes[] = {
      {"288x256x2", false, Pmd85Width, Pmd85Height, 1, "p85"},
      {"288x256x2 ColorAce", true, Pmd85Width, Pmd85Height, 2, "pca"},
  };
  if (index < 0 || index >= 2) VeInternalError();
  return modes[index];
}

namespace {

const TVePalette256& ModePalette(const TVePmd85ModeInfo& m) {
  return m.ColorAce ? Pmd85ColorAcePalette() : Pmd85Palette();
}

} // namespace

TVePmd85EngineOptions::TVePmd85EngineOptions(const TVePmd85ModeInfo& mode)
    : TVeModeTableOptions(mode) {
  // 288 pixels across a 4:3 picture of 256 lines: about 1.2 times as wide as high.
  FAspectIndex = 11;
  FDitherMethod = dmJarvisJudiceNinke;
}

void TVePmd85EngineOptions::PaletteChanged() {
  SetPalette(&ModePalette(*FMode));
}

TVePmd85EngineUI::TVePmd85EngineUI(TVeDestEngineOptions& options) : TVeDestEngineUIEx(options) {
  auto* own = dynamic_cast<TVePmd85EngineOptions*>(&options);
  if (!own) VeInternalError();
  AddPositionBorder();
  AddPaletteSeparator();
  AddPaletteView(own->Mode().ColorAce ? 8 : 5, 1);
  AddDithering(true);
}

std::unique_ptr<TVeBitmap> Pmd85Convert(const TVePmd85ModeInfo& m, const TVeCancelFlag* cancel,
                                        const TVeBitmap32& source,
                                        std::unique_ptr<TVeStreamList>& files,
                                        TVeDestProgress& progress, TVeDestEngineOptions& options) {
  if (source.Width() != m.Width || source.Height() != m.Height) VeInternalError();
  const TVePalette256& palette = ModePalette(m);
  options.SetPalette(&palette);
  // Every cell is black paper and one colour; the file keeps the attribute (pair) making it.
  std::vector<TVeCellPair> pairs;
  for (int c = 1; c < palette.Count(); ++c)
    pairs.push_back({0, c, m.ColorAce ? Pmd85ColorAceAttr(c) : c - 1});
  files = std::make_unique<TVeStreamList>();
  TVeStream* file = files->AddNew(m.Extension, Pmd85ScreenBytes);
  TVePmd85Screen screen(file->Data(), m.CellHeight);
  TVePairCellImage image(source, 6, m.CellHeight, std::move(pairs));
  image.KeepWorkingPixels = false;
  return image.Convert(cancel, VeCellOptionsOf(options), &screen, &progress);
}

void RegisterPmd85Engines(TVeDestEngineList& list) {
  VeReplaceModeTableEngines<TVePmd85Family, 2>(list);
}
