#include "VeSavePlatformSymbOS.h"

#include <vector>

#include "VeDestEngineList.h"
#include "VePaletteSteps.h"
#include "VeStream.h"

namespace {

// Only the two hosts' colours are offered; any other stored type means the MSX's.
TVePaletteType HostType(TVePaletteType type) {
  return type == SymbOSCpcColors ? SymbOSCpcColors : SymbOSMsxColors;
}

} // namespace

TVeSymbOSEngineOptions::TVeSymbOSEngineOptions() {
  FPaletteType = SymbOSMsxColors;
}

void TVeSymbOSEngineOptions::SetPaletteType(TVePaletteType value) {
  TVeSizedOptions::SetPaletteType(value);
  PaletteChanged();
}

void TVeSymbOSEngineOptions::PaletteChanged() {
  TVePalette256 p;
  SymbOSMakePalette(p, HostType(FPaletteType));
  SetPalette(&p);
}

TVeSymbOSEngineUI::TVeSymbOSEngineUI(TVeDestEngineOptions& options) : TVeDestEngineUIEx(options) {
  AddPositionBorder();
  AddPaletteSeparator();
  AddPaletteTypeList({{"MSX2 desktop (16 colours)", SymbOSMsxColors},
                      {"CPC desktop (4 colours)", SymbOSCpcColors}});
  AddPaletteView(16, 1);
  AddDithering(false);
}

std::unique_ptr<TVeBitmap> TVeSymbOSEngine::Convert(const TVeCancelFlag* cancel,
                                                    const TVeBitmap32& source,
                                                    std::unique_ptr<TVeStreamList>& files,
                                                    TVeDestProgress& progress,
                                                    TVeDestEngineOptions& options,
                                                    const TVePalette256*, const TVePalette256*) {
  if (source.Width() != SymbOSWidth || source.Height() != SymbOSHeight) VeInternalError();
  progress.SetProgress(1, 0);
  const TVePaletteType type = HostType(options.PaletteType());
  TVePalette256 palette;
  SymbOSMakePalette(palette, type);
  options.SetPalette(&palette);
  auto result = VeDitherToPalette(cancel, source, options, palette, progress);
  std::vector<uint8_t> indices(size_t(SymbOSWidth) * SymbOSHeight);
  for (int y = 0; y < SymbOSHeight; ++y)
    for (int x = 0; x < SymbOSWidth; ++x)
      indices[size_t(y) * SymbOSWidth + size_t(x)] = uint8_t(result->GetPixel(x, y));
  files = std::make_unique<TVeStreamList>();
  files->AddNew("sgx", 0)->Bytes() =
      SgxWrite(indices.data(), SymbOSWidth, SymbOSHeight, SymbOSColorCount(type) == 16);
  return result;
}

void RegisterSymbOSEngines(TVeDestEngineList& list) {
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeSymbOSEngine>>());
}
