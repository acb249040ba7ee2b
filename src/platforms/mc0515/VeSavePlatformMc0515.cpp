#include "VeSavePlatformMc0515.h"

#include <utility>
#include <vector>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VePairCellImage.h"
#include "VePlatformMc0515.h"
#include "VeStream.h"

const TVeMc0515ModeInfo& Mc0515ModeInfo(int index) {
  // 320 x 200 on a 4:3 picture: pixels 1.2 times as high as wide; 640 x 200: 2.4 times.
  static const TVeMc0515ModeInfo modes[] = {
      {"320x200x4", false, 320, Mc0515Height, 8, "m05"},
      {"640x200x1", true, 640, Mc0515Height, 0, "m06"},
  };
  if (index < 0 || index >= 2) VeInternalError();
  return modes[index];
}

namespace {

// A cell's ink and paper share the bright bit: each colour alone and each pair once, both
// brightnesses.
std::vector<TVeCellPair> CellPairs() {
  std::vector<TVeCellPair> pairs;
  for (int bright = 0; bright < 2; ++bright) {
    const int base = bright * 8;
    for (int c = 0; c < 8; ++c)
      pairs.push_back({base + c, base + c, Mc0515Attr(c, c, bright)});
    for (int paper = 0; paper < 8; ++paper)
      for (int ink = paper + 1; ink < 8; ++ink)
        pairs.push_back({base + paper, base + ink, Mc0515Attr(ink, paper, bright)});
  }
  return pairs;
}

// Clear pixels show the border colour, set ones its complement; never bright.
std::vector<TVeCellPair> ScreenPairs() {
  std::vector<TVeCellPair> pairs;
  for (int border = 0; border < 8; ++border)
    pairs.push_back({border, border ^ 7, border});
  return pairs;
}

} // namespace

TVeMc0515EngineOptions::TVeMc0515EngineOptions(const TVeMc0515ModeInfo& mode)
    : TVeModeTableOptions(mode) {
  FAspectIndex = mode.Aspect;
  FDitherMethod = dmJarvisJudiceNinke;
}

void TVeMc0515EngineOptions::PaletteChanged() {
  SetPalette(&Mc0515Palette());
}

TVeMc0515EngineUI::TVeMc0515EngineUI(TVeDestEngineOptions& options) : TVeDestEngineUIEx(options) {
  AddPositionBorder();
  AddPaletteSeparator();
  AddPaletteView(16, 1);
  AddDithering(true);
}

std::unique_ptr<TVeBitmap> Mc0515Convert(const TVeMc0515ModeInfo& m, const TVeCancelFlag* cancel,
                                         const TVeBitmap32& source,
                                         std::unique_ptr<TVeStreamList>& files,
                                         TVeDestProgress& progress, TVeDestEngineOptions& options) {
  if (source.Width() != m.Width || source.Height() != m.Height) VeInternalError();
  options.SetPalette(&Mc0515Palette());
  files = std::make_unique<TVeStreamList>();
  TVeStream* file = files->AddNew(m.Extension, m.HiRes ? Mc0515HiResFileBytes : Mc0515ScreenBytes);
  std::unique_ptr<TVeCellScreen> screen;
  if (m.HiRes)
    screen = std::make_unique<TVeMc0515HiResScreen>(file->Data());
  else
    screen = std::make_unique<TVeMc0515Screen>(file->Data());
  TVePairCellImage image(source, m.HiRes ? m.Width : 8, m.HiRes ? m.Height : 1,
                         m.HiRes ? ScreenPairs() : CellPairs());
  image.KeepWorkingPixels = false;
  return image.Convert(cancel, VeCellOptionsOf(options), screen.get(), &progress);
}

void RegisterMc0515Engines(TVeDestEngineList& list) {
  VeReplaceModeTableEngines<TVeMc0515Family, 2>(list);
}
