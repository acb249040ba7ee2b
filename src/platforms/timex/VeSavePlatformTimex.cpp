#include "VeSavePlatformTimex.h"

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeGenericEngine.h"
#include "VeImage.h"
#include "VePlatformTimex.h"
#include "VeStream.h"
#include "zxspectrumulaplus/VePlatformZxSpectrumUlaPlus.h"

namespace {
constexpr uint32_t Bit(int v) {
  return 1u << v;
}
} // namespace

// ---- Options and panels -------------------------------------------------------------------

TVeTimexHiColorEngineUI::TVeTimexHiColorEngineUI(TVeDestEngineOptions& options)
    : TVeDestEngineUIEx(options) {
  AddPositionBorder();
  AddPaletteSeparator();
  AddPaletteMode(Bit(zxModeGray) | Bit(zxModeColor));
  AddPaletteTypeList(ZxSpectrumPaletteTypeList());
  AddColorUsage({0, 1, 2, 3}, Bit(zxModeColor));
  AddDithering(true);
}

TVeTimexHiResEngineOptions::TVeTimexHiResEngineOptions() {
  FAspectIndex = 1; // "1:2": the Spectrum's pixel split in two
  FDitherMethod = dmJarvisJudiceNinke;
}

void TVeTimexHiResEngineOptions::PaletteChanged() {
  TVePalette256 p;
  ZxSpectrumMakePalette(p, FPaletteType);
  SetPalette(&p);
}

TVeTimexHiResEngineUI::TVeTimexHiResEngineUI(TVeDestEngineOptions& options)
    : TVeDestEngineUIEx(options) {
  AddPositionBorder();
  AddPaletteSeparator();
  AddPaletteMode(Bit(zxModeBlackWhite) | Bit(zxModeColor));
  AddPaletteTypeList(ZxSpectrumPaletteTypeList());
  // The whole screen is one cell, so the block limits apply.
  AddDithering(true);
}

// ---- Engines --------------------------------------------------------------------------------

std::unique_ptr<TVeBitmap>
TVeTimexHiColorEngine::Run(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                           TVeRowFeed* arriving, std::unique_ptr<TVeStreamList>& files,
                           TVeDestProgress& progress, TVeDestEngineOptions& options) {
  files = std::make_unique<TVeStreamList>();
  TVeStream* scr = files->AddNew("scr", TimexHiColorBytes);
  // The ULA+ unit's Timex layout without its colour table: the same screen.
  TVeULAPlusExtendedScreen screen(scr->Data());
  return ZxSpectrumConvertCells(cancel, source, progress, options, screen, arriving);
}

std::unique_ptr<TVeBitmap>
TVeTimexInterlacedEngine::Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                  std::unique_ptr<TVeStreamList>& files, TVeDestProgress& progress,
                                  TVeDestEngineOptions& options, const TVePalette256* used,
                                  const TVePalette256* sourcePalette) {
  // The two display files hold two Spectrum screens; shown alternately they are the
  // Spectrum's interlaced picture, file included.
  return TVeZxSpectrumInterlacedEngine::Convert(cancel, source, files, progress, options, used,
                                                sourcePalette);
}

std::unique_ptr<TVeBitmap>
TVeTimexHiResEngine::Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                             std::unique_ptr<TVeStreamList>& files, TVeDestProgress& progress,
                             TVeDestEngineOptions& options, const TVePalette256*,
                             const TVePalette256*) {
  if (source.Width() != TimexHiResWidth || source.Height() != ZxScreenHeight) VeInternalError();
  TVePalette256 full;
  ZxSpectrumMakePalette(full, options.PaletteType());
  options.SetPalette(&full);
  files = std::make_unique<TVeStreamList>();
  TVeStream* scr = files->AddNew("scr", TimexHiResBytes);
  TVeTimexHiResScreen screen(scr->Data());
  TVeTimexHiResImage image(source);
  image.BlackWhite = options.PaletteMode() == zxModeBlackWhite;
  return image.Convert(cancel, VeCellOptionsOf(options), &screen, &progress);
}

void RegisterTimexEngines(TVeDestEngineList& list) {
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeTimexHiColorEngine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeTimexInterlacedEngine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeTimexHiResEngine>>());
  VeMarkPreviewOnly(list, "Timex", "512x192x2", "no Timex screen shows four colours at 512 x 192");
}
