#include "VeSavePlatformSpetsialist.h"

#include <utility>
#include <vector>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VePairCellImage.h"
#include "VePlatformSpetsialist.h"
#include "VeStream.h"

const TVeSpecialistModeInfo& SpecialistModeInfo(int index) {
  static const TVeSpecialistModeInfo modes[] = {
      {"384x256", false, SpecialistWidth, SpecialistHeight},
      {"384x256 MX", true, SpecialistWidth, SpecialistHeight},
  };
  if (index < 0 || index >= 2) VeInternalError();
  return modes[index];
}

namespace {

void MakeModePalette(const TVeSpecialistModeInfo& m, TVePaletteType type, TVePalette256& p) {
  if (m.Mx)
    SpecialistMakeMxPalette(p, type);
  else
    p.Assign(&SpecialistMonoPalette());
}

// Every paper and ink pair once (the two orders show the same colours), and each colour
// alone; the attribute is the colour byte, ink in the high nibble.
std::vector<TVeCellPair> MxPairs() {
  std::vector<TVeCellPair> pairs;
  for (int c = 0; c < 16; ++c)
    pairs.push_back({c, c, c << 4 | c});
  for (int paper = 0; paper < 16; ++paper)
    for (int ink = paper + 1; ink < 16; ++ink)
      pairs.push_back({paper, ink, ink << 4 | paper});
  return pairs;
}

void WriteRksHeader(uint8_t* to) {
  const int end = SpecialistLoadAddress + SpecialistScreenBytes - 1;
  to[0] = uint8_t(SpecialistLoadAddress);
  to[1] = uint8_t(SpecialistLoadAddress >> 8);
  to[2] = uint8_t(end);
  to[3] = uint8_t(end >> 8);
}

} // namespace

TVeSpecialistEngineOptions::TVeSpecialistEngineOptions(const TVeSpecialistModeInfo& mode)
    : TVeModeTableOptions(mode) {
  // An 8 MHz dot clock: pixels about 0.92 times as wide as high.
  FAspectIndex = 9;
  FDitherMethod = dmJarvisJudiceNinke;
  if (mode.Mx) FPaletteType = SpecialistMxLevels;
}

void TVeSpecialistEngineOptions::SetPaletteType(TVePaletteType value) {
  TVeModeTableOptions::SetPaletteType(value);
  PaletteChanged();
}

void TVeSpecialistEngineOptions::PaletteChanged() {
  TVePalette256 p;
  MakeModePalette(*FMode, FPaletteType, p);
  SetPalette(&p);
}

TVeSpecialistEngineUI::TVeSpecialistEngineUI(TVeDestEngineOptions& options)
    : TVeDestEngineUIEx(options) {
  auto* own = dynamic_cast<TVeSpecialistEngineOptions*>(&options);
  if (!own) VeInternalError();
  AddPositionBorder();
  AddPaletteSeparator();
  if (own->Mode().Mx) {
    AddPaletteTypeList({{"16 colours (C0h/FFh)", SpecialistMxLevels},
                        {"16 colours (CGA levels)", SpecialistMxCgaLevels}});
    AddPaletteView(16, 1);
  } else {
    AddPaletteView(2, 1);
  }
  AddDithering(true);
}

std::unique_ptr<TVeBitmap> SpecialistConvert(const TVeSpecialistModeInfo& m,
                                             const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                             std::unique_ptr<TVeStreamList>& files,
                                             TVeDestProgress& progress,
                                             TVeDestEngineOptions& options) {
  if (source.Width() != m.Width || source.Height() != m.Height) VeInternalError();
  TVePalette256 palette;
  MakeModePalette(m, options.PaletteType(), palette);
  options.SetPalette(&palette);
  files = std::make_unique<TVeStreamList>();
  TVeStream* rks = files->AddNew("rks", SpecialistRksBytes);
  WriteRksHeader(rks->Data());
  uint8_t* colors = nullptr;
  if (m.Mx) colors = rks->AddNewSub("mxc", SpecialistScreenBytes)->Data();
  TVeSpecialistScreen screen(rks->Data() + SpecialistRksHeader, colors);
  TVePairCellImage image(source, 8, 1, m.Mx ? MxPairs() : std::vector<TVeCellPair>{{0, 1, 0}});
  image.KeepWorkingPixels = false;
  return image.Convert(cancel, VeCellOptionsOf(options), &screen, &progress);
}

void RegisterSpecialistEngines(TVeDestEngineList& list) {
  VeReplaceModeTableEngines<TVeSpecialistFamily, 2>(list);
}
