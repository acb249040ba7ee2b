#include "VeSavePlatformZxSpectrumMulticolor.h"

#include <algorithm>
#include <cstring>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeImage.h"
#include "VePlatformZxSpectrum.h"
#include "VeStream.h"

namespace {
// "Gray" and "Сolor" of the mode list.
constexpr uint32_t ZxGrayColorModeMask = (1u << zxModeGray) | (1u << zxModeColor);

} // namespace

// ---- Options and panels -------------------------------------------------------------------

TVeZxSpectrumMultiColor1EngineOptions::TVeZxSpectrumMultiColor1EngineOptions() {
  FDitherMethod = 2; // Jarvis, Judice & Ninke
  FLimitErrorInsideBlock = false;
  FLimitErrorAtBoundary = false;
}

TVeZxSpectrumMultiColorEngineUI::TVeZxSpectrumMultiColorEngineUI(TVeDestEngineOptions& options)
    : TVeDestEngineUIEx(options) {
  AddPositionBorder();
  SetBorderColors(ZxSpectrumBorderColors);
  AddPaletteSeparator();
  AddPaletteMode(ZxGrayColorModeMask);
  AddColorUsage({0, 1, 2, 3}, 1u << zxModeColor);
  AddDithering(true);
}

TVeZxSpectrumInterlacedEngineOptions::TVeZxSpectrumInterlacedEngineOptions() {
  FAspectIndex = 17; // 1:2, each picture line is one of two interlaced fields
}

void TVeZxSpectrumInterlacedEngineOptions::PaletteChanged() {
  TVePalette256 p;
  ZxSpectrumMakePalette(p, FPaletteType);
  SetPalette(&p);
}

void TVeZxSpectrumTricolorEngineOptions::PaletteChanged() {
  TVePalette256 p;
  ZxSpectrumMakeTricolorPalette(p, FPaletteType);
  SetPalette(&p);
}

TVeZxSpectrumTricolorEngineUI::TVeZxSpectrumTricolorEngineUI(TVeDestEngineOptions& options)
    : TVeDestEngineUIEx(options) {
  AddPositionBorder();
  SetBorderColors(ZxSpectrumBorderColors);
  AddDithering(false);
}

// ---- Multicolor 8x1 and 8x2 ---------------------------------------------------------------

std::unique_ptr<TVeBitmap>
TVeZxSpectrumMultiColor1Engine::Run(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                    TVeRowFeed* arriving, std::unique_ptr<TVeStreamList>& files,
                                    TVeDestProgress& progress, TVeDestEngineOptions& options) {
  files = std::make_unique<TVeStreamList>();
  TVeStream* mlt = files->AddNew("mlt", 2 * ZxPixelBytes);
  // A standard screen whose attribute rows are pixel lines: line y at 6144 + 32 y.
  TVeZxSpectrumColorScreen screen(mlt->Data());
  std::unique_ptr<TVeBitmap> result =
      ZxSpectrumConvertCells(cancel, source, progress, options, screen, arriving);
  // The same picture with its pixel lines one after another.
  TVeStream* mc = files->AddNew("mc", 2 * ZxPixelBytes);
  const uint8_t* from = files->GetStream(0)->Data();
  uint8_t* to = mc->Data();
  for (int y = 0; y < ZxScreenHeight; ++y)
    std::memcpy(to + 32 * y, from + ZxScreenOffset(y, 0), 32);
  std::memcpy(to + ZxPixelBytes, from + ZxPixelBytes, ZxPixelBytes);
  return result;
}

std::unique_ptr<TVeBitmap>
TVeZxSpectrumMultiColor2Engine::Run(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                    TVeRowFeed* arriving, std::unique_ptr<TVeStreamList>& files,
                                    TVeDestProgress& progress, TVeDestEngineOptions& options) {
  files = std::make_unique<TVeStreamList>();
  // One attribute per 8 x 2 cell: cell row r at 6144 + 32 r.
  TVeStream* ifl = files->AddNew("ifl", ZxPixelBytes + ZxPixelBytes / 2);
  TVeZxSpectrumColorScreen screen(ifl->Data());
  return ZxSpectrumConvertCells(cancel, source, progress, options, screen, arriving);
}

// ---- Interlaced v1 ------------------------------------------------------------------------

std::unique_ptr<TVeBitmap>
TVeZxSpectrumInterlacedEngine::Run(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                   TVeRowFeed* arriving, std::unique_ptr<TVeStreamList>& files,
                                   TVeDestProgress& progress, TVeDestEngineOptions& options) {
  files = std::make_unique<TVeStreamList>();
  // Bright white ink on black paper everywhere, which "Black/white" leaves as it is.
  TVeStream* lce = files->AddNew("lce", ZxInterlacedBytes, 71);
  TVeZxSpectrumInterlacedScreen screen(lce->Data());
  if (options.PaletteMode() == zxModeBlackWhite) {
    TVeImage image(source);
    TVePalette256 bw;
    ZxSpectrumMakeBlackWhitePalette(bw);
    // White (index 1) is a set bit, shown by the white ink.
    return image.DitherTwoColors(cancel, VeDitherOptionsOf(options), 1, 0, &bw, &screen);
  }
  std::unique_ptr<TVeBitmap> result =
      ZxSpectrumConvertCells(cancel, source, progress, options, screen, arriving);
  TVePalette256 full;
  ZxSpectrumMakePalette(full, options.PaletteType());
  options.SetPalette(&full);
  return result;
}

// ---- Tricolor -----------------------------------------------------------------------------

std::unique_ptr<TVeBitmap> TVeZxSpectrumTricolorEngine::Convert(
    const TVeCancelFlag* cancel, const TVeBitmap32& source, std::unique_ptr<TVeStreamList>& files,
    TVeDestProgress&, TVeDestEngineOptions& options, const TVePalette256*, const TVePalette256*) {
  files = std::make_unique<TVeStreamList>();
  TVeStream* rgb = files->AddNew("rgb", ZxTricolorBytes);
  TVeZxSpectrumTricolorScreen screen(rgb->Data());
  TVePalette256 palette;
  ZxSpectrumMakeTricolorPalette(palette, options.PaletteType());
  options.SetPalette(&palette);
  TVeDitherOptions d = VeDitherOptionsOf(options);
  d.GrayPalette = false; // the colours are matched, never their gray levels
  TVeImage image(source);
  return image.DitherPalette(cancel, d, nullptr, palette, &screen);
}

// ---- B/W Giga -----------------------------------------------------------------------------

namespace {
// Black, the gray of black and white alternating, white.
void BWGigascreenPalette(TVePalette256& p) {
  p.BeginUpdate();
  p.Clear();
  p.AddLin({0.0, 0.0, 0.0});
  p.AddLin({0.5, 0.5, 0.5});
  p.AddLin({1.0, 1.0, 1.0});
  p.EndUpdate();
}
} // namespace

TVeZxSpectrumBWGigascreenEngineOptions::TVeZxSpectrumBWGigascreenEngineOptions() {
  FCalculation = 1; // "Linear"
}

void TVeZxSpectrumBWGigascreenEngineOptions::PaletteChanged() {
  TVePalette256 p;
  BWGigascreenPalette(p);
  SetPalette(&p);
}

TVeZxSpectrumBWGigascreenEngineUI::TVeZxSpectrumBWGigascreenEngineUI(TVeDestEngineOptions& options)
    : TVeDestEngineUIEx(options) {
  AddPositionBorder();
  SetBorderColors(ZxSpectrumBorderColors);
  AddDithering(false);
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumBWGigascreenEngine::Convert(
    const TVeCancelFlag* cancel, const TVeBitmap32& source, std::unique_ptr<TVeStreamList>& files,
    TVeDestProgress&, TVeDestEngineOptions& options, const TVePalette256*, const TVePalette256*) {
  files = std::make_unique<TVeStreamList>();
  TVeStream* lcm = files->AddNew("lcm", ZxBWGigascreenBytes);
  TVeZxSpectrumBWGigascreenScreen screen(lcm->Data());
  TVeDitherOptions d = VeDitherOptionsOf(options);
  d.GrayPalette = false;
  TVeImage image(source);
  std::unique_ptr<TVeBitmap> result = image.DitherFlickerGray(cancel, d, &screen);
  options.SetPalette(&result->Palette());
  return result;
}

// ---- Registration -------------------------------------------------------------------------

void RegisterZxSpectrumMulticolorEngines(TVeDestEngineList& list) {
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeZxSpectrumInterlacedEngine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeZxSpectrumMultiColor1Engine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeZxSpectrumMultiColor2Engine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeZxSpectrumBWGigascreenEngine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeZxSpectrumTricolorEngine>>());
}
